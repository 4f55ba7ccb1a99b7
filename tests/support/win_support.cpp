// Test support for the Windows tests (see win_support.h).
#include "tests/support/win_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

namespace {

struct FindRequest {
    DWORD processId;
    const char* caption;
    HWND found;
    const std::string* text;  // when set: the message text (or caption) the dialog must show
};

std::string MessageText(HWND window) {
    char buffer[4096] = "";
    HWND text = GetDlgItem(window, 0xFFFF);
    if (text) GetWindowTextA(text, buffer, sizeof buffer);
    return buffer;
}

BOOL CALLBACK FindDialogProc(HWND window, LPARAM param) {
    FindRequest* request = (FindRequest*)param;
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != request->processId || !IsWindowVisible(window)) return TRUE;
    char className[64] = "";
    GetClassNameA(window, className, sizeof className);
    if (strcmp(className, "#32770") != 0) return TRUE;
    char caption[512] = "";
    GetWindowTextA(window, caption, sizeof caption);
    if (request->caption && strcmp(caption, request->caption) != 0) return TRUE;
    if (request->text && MessageText(window) != *request->text && caption != *request->text) {
        return TRUE;
    }
    request->found = window;
    return FALSE;
}

BOOL CALLBACK CollectButtonProc(HWND child, LPARAM param) {
    char className[64] = "";
    GetClassNameA(child, className, sizeof className);
    if (_stricmp(className, "Button") == 0 && IsWindowVisible(child)) {
        ((std::vector<int>*)param)->push_back(GetDlgCtrlID(child));
    }
    return TRUE;
}

}  // namespace

bool WindowSeen::HasButton(int id) const {
    for (int b : buttons) {
        if (b == id) return true;
    }
    return false;
}

static bool WaitForMatchingDialog(DWORD processId, const char* caption, const std::string* text,
                                  WindowSeen* seen, int timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        FindRequest request = {processId, caption, nullptr, text};
        EnumWindows(FindDialogProc, (LPARAM)&request);
        if (request.found) {
            HWND window = request.found;
            seen->window = window;
            seen->owner = GetWindow(window, GW_OWNER);
            char buffer[4096] = "";
            GetClassNameA(window, buffer, sizeof buffer);
            seen->className = buffer;
            buffer[0] = '\0';
            GetWindowTextA(window, buffer, sizeof buffer);
            seen->caption = buffer;
            seen->text = MessageText(window);
            seen->buttons.clear();
            EnumChildWindows(window, CollectButtonProc, (LPARAM)&seen->buttons);
            HWND icon = GetDlgItem(window, 1088);
            seen->icon = icon && IsWindowVisible(icon)
                             ? (HICON)SendMessageA(icon, STM_GETICON, 0, 0)
                             : nullptr;
            return true;
        }
        if (GetTickCount() - start > (DWORD)timeoutMs) return false;
        Sleep(20);
    }
}

bool WaitForDialog(DWORD processId, const char* caption, WindowSeen* seen, int timeoutMs) {
    return WaitForMatchingDialog(processId, caption, nullptr, seen, timeoutMs);
}

bool WaitForDialogWithText(DWORD processId, const std::string& text, WindowSeen* seen,
                           int timeoutMs) {
    return WaitForMatchingDialog(processId, nullptr, &text, seen, timeoutMs);
}

void PressButton(HWND dialog, int buttonId) {
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED),
                 (LPARAM)GetDlgItem(dialog, buttonId));
}

bool WaitForWindowGone(HWND window, int timeoutMs) {
    DWORD start = GetTickCount();
    while (IsWindow(window)) {
        if (GetTickCount() - start > (DWORD)timeoutMs) return false;
        Sleep(20);
    }
    return true;
}

void DriveDialogWith(const std::function<void()>& action,
                     const std::function<void(const WindowSeen&)>& onDialog, WindowSeen* seen) {
    bool appeared = false;
    std::thread driver([&] {
        appeared = WaitForDialog(GetCurrentProcessId(), nullptr, seen);
        if (appeared) onDialog(*seen);
    });
    action();
    driver.join();
    EXPECT_TRUE(appeared) << "no dialog appeared";
}

void DriveDialog(const std::function<void()>& action, int buttonId, WindowSeen* seen) {
    DriveDialogWith(action, [buttonId](const WindowSeen& s) { PressButton(s.window, buttonId); },
                    seen);
}

std::vector<std::string> BoxesDuring(const std::function<void()>& action) {
    std::vector<std::string> texts;
    std::atomic<bool> done(false);
    std::thread driver([&] {
        while (!done) {
            WindowSeen box;
            if (WaitForDialog(GetCurrentProcessId(), nullptr, &box, 50)) {
                texts.push_back(box.text);
                PressButton(box.window, IDOK);
                WaitForWindowGone(box.window, 5000);
            }
        }
    });
    action();
    done = true;
    driver.join();
    return texts;
}

std::string ReadClipboardText() {
    std::string text;
    for (int attempt = 0; attempt < 50 && !OpenClipboard(NULL); attempt++) Sleep(20);
    HANDLE data = GetClipboardData(CF_TEXT);
    if (data) {
        const char* p = (const char*)GlobalLock(data);
        if (p) text = p;
        GlobalUnlock(data);
    }
    CloseClipboard();
    return text;
}

static void PlaceClipboardText(const std::string& text) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
    memcpy(GlobalLock(block), text.c_str(), text.size() + 1);
    GlobalUnlock(block);
    for (int attempt = 0; attempt < 50 && !OpenClipboard(NULL); attempt++) Sleep(20);
    EmptyClipboard();
    if (!SetClipboardData(CF_TEXT, block)) GlobalFree(block);
    CloseClipboard();
}

void SetClipboardText(const std::string& text) {
    // Placed again until it reads back, so that a test starts from the text it planted and not
    // from a state the previous owner of the clipboard leaves behind a moment later.
    DWORD start = GetTickCount();
    do {
        PlaceClipboardText(text);
        if (ClipboardHolds(text, 500)) return;
    } while (GetTickCount() - start < 10000);
    ADD_FAILURE() << "the clipboard did not take the text \"" << text << "\"";
}

::testing::AssertionResult ClipboardHolds(const std::string& expected, int timeoutMs) {
    DWORD start = GetTickCount();
    std::string seen;
    for (;;) {
        seen = ReadClipboardText();
        if (seen == expected) return ::testing::AssertionSuccess();
        if (GetTickCount() - start > (DWORD)timeoutMs) break;
        Sleep(10);
    }
    return ::testing::AssertionFailure()
           << "the clipboard holds \"" << seen << "\" (" << seen.size() << " bytes), expected \""
           << expected << "\" (" << expected.size() << " bytes)";
}

std::string WindowsPath(const std::string& unixPath) {
    std::string path = "Z:" + unixPath;
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
    return path;
}

ScratchDir::ScratchDir() {
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    static unsigned counter;
    for (;;) {
        char name[MAX_PATH];
        snprintf(name, sizeof name, "%svorlin-test-%lu-%u", temp, GetCurrentProcessId(), counter++);
        if (CreateDirectoryA(name, NULL)) {
            path = name;
            return;
        }
    }
}

ScratchDir::~ScratchDir() { RemoveTree(path); }

InFolder::InFolder(const std::string& path) {
    GetCurrentDirectoryA(sizeof saved, saved);
    SetCurrentDirectoryA(path.c_str());
}

InFolder::~InFolder() { SetCurrentDirectoryA(saved); }

std::vector<std::string> ListFolder(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        std::string name = data.cFileName;
        if (name != "." && name != "..") names.push_back(name);
    } while (FindNextFileA(find, &data));
    FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

std::string DialogItemText(HWND dialog, int id) {
    char text[2048] = "";
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

void WriteBytes(const std::string& path, const std::string& bytes) {
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr) << path;
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
}

void MakeSparseFile(const std::string& path, int64_t size) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << path;
    LARGE_INTEGER end;
    end.QuadPart = size;
    SetFilePointerEx(h, end, NULL, FILE_BEGIN);
    SetEndOfFile(h);
    CloseHandle(h);
}

uint64_t FileSizeOf(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return ((uint64_t)data.nFileSizeHigh << 32) | data.nFileSizeLow;
}

std::string ReadBytes(const std::string& path) {
    std::string bytes;
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return bytes;
    char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) bytes.append(buffer, n);
    fclose(f);
    return bytes;
}

void RemoveTree(const std::string& path) {
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((path + "\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::string name = data.cFileName;
            if (name == "." || name == "..") continue;
            std::string child = path + "\\" + name;
            SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(child);
            } else {
                DeleteFileA(child.c_str());
            }
        } while (FindNextFileA(find, &data));
        FindClose(find);
    }
    RemoveDirectoryA(path.c_str());
}

Child StartChild(const std::string& commandLine, const std::string& directory) {
    Child child;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    BOOL ok = CreateProcessA(NULL, line.data(), NULL, NULL, FALSE, 0, NULL,
                             directory.empty() ? NULL : directory.c_str(), &startup, &info);
    EXPECT_TRUE(ok) << "cannot start " << commandLine << " error " << GetLastError();
    if (ok) {
        CloseHandle(info.hThread);
        child.process = info.hProcess;
        child.id = info.dwProcessId;
    }
    return child;
}

DWORD WaitChild(Child* child, int timeoutMs) {
    if (!child->process) return STILL_ACTIVE;
    DWORD status = STILL_ACTIVE;
    if (WaitForSingleObject(child->process, timeoutMs) == WAIT_OBJECT_0) {
        GetExitCodeProcess(child->process, &status);
    } else {
        TerminateProcess(child->process, 99);
        WaitForSingleObject(child->process, 5000);
    }
    CloseHandle(child->process);
    child->process = nullptr;
    return status;
}

Child::~Child() {
    if (!process) return;
    if (WaitForSingleObject(process, 0) == WAIT_TIMEOUT) {
        TerminateProcess(process, 99);
        WaitForSingleObject(process, 5000);
    }
    CloseHandle(process);
}

bool ChildRunning(const Child& child) {
    return child.process && WaitForSingleObject(child.process, 0) == WAIT_TIMEOUT;
}
