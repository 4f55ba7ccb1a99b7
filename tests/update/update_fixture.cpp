// Shared helpers of the update tests (see update_fixture.h).
#include "tests/update/update_fixture.h"

#include <algorithm>
#include <atomic>
#include <thread>

#include "ui/message_box.h"
#include "update/core/update_run.h"

FILETIME OldTime(int secondsLater) {
    SYSTEMTIME st = {2001, 2, 0, 3, 4, 5, 6, 0};
    FILETIME ft;
    SystemTimeToFileTime(&st, &ft);
    ULARGE_INTEGER v = {{ft.dwLowDateTime, ft.dwHighDateTime}};
    v.QuadPart += (ULONGLONG)secondsLater * 10000000ull;
    ft.dwLowDateTime = v.LowPart;
    ft.dwHighDateTime = v.HighPart;
    return ft;
}

void MakeSource(const std::string& path, const std::string& bytes, DWORD attributes) {
    WriteBytes(path, bytes);
    HANDLE h = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    FILETIME created = OldTime(0), accessed = OldTime(20), modified = OldTime(10);
    SetFileTime(h, &created, &accessed, &modified);
    CloseHandle(h);
    SetFileAttributesA(path.c_str(), attributes);
}

std::string Pattern(size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    uint32_t x = seed * 2654435761u + 1;
    for (size_t i = 0; i < size; i++) {
        x = x * 1664525u + 1013904223u;
        bytes[i] = (char)(x >> 24);
    }
    return bytes;
}

FileTimes TimesOf(const std::string& path) {
    FileTimes t = {};
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                           OPEN_EXISTING, 0, NULL);
    if (h == INVALID_HANDLE_VALUE) return t;
    GetFileTime(h, &t.created, &t.accessed, &t.modified);
    CloseHandle(h);
    return t;
}

bool SameTime(const FILETIME& a, const FILETIME& b) {
    return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
}

bool AnswerBox(const std::function<void()>& action, const std::string& text, int button) {
    std::atomic<bool> done(false), answered(false);
    std::thread driver([&] {
        while (!done && !answered) {
            WindowSeen box;
            if (WaitForDialogWithText(GetCurrentProcessId(), text, &box, 50)) {
                PressButton(box.window, button);
                answered = true;
            }
        }
    });
    action();
    done = true;
    driver.join();
    return answered;
}

const char kStoppedPartly[] =
    "アップデートを中止しました。\nゲームは一部のファイルだけが更新された状態です。\n"
    "もう一度アップデートを実行してください。";

static CopyWatch* g_watch;

static LRESULT CALLBACK WatchCopyDialogs(int code, WPARAM wParam, LPARAM lParam) {
    const CWPRETSTRUCT* message = (const CWPRETSTRUCT*)lParam;
    if (code == HC_ACTION && message->message == WM_INITDIALOG && GetDlgItem(message->hwnd, 1010) &&
        GetDlgItem(message->hwnd, 1020)) {
        g_watch->bars.push_back(GetDlgItem(message->hwnd, 1019) ? 2 : 1);
    }
    if (code == HC_ACTION && message->message == WM_SETTEXT && !g_watch->cancelled &&
        !g_watch->cancelAt.empty() && GetDlgCtrlID(message->hwnd) == 1012 && message->lParam &&
        g_watch->cancelAt == (const char*)message->lParam) {
        // As a click would: the command waits in the queue for the copy loop's next drain.
        HWND dialog = GetParent(message->hwnd);
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(2, BN_CLICKED), (LPARAM)GetDlgItem(dialog, 2));
        g_watch->cancelled = true;
    }
    if (code == HC_ACTION && message->message == WM_SETTEXT && !g_watch->listAt.empty() &&
        GetDlgCtrlID(message->hwnd) == 1012 && message->lParam &&
        g_watch->listAt == (const char*)message->lParam) {
        g_watch->listed = ListFolder(g_watch->listFolder);
    }
    return CallNextHookEx(NULL, code, wParam, lParam);
}

void WatchCopiesDuring(CopyWatch* watch, const std::function<void()>& action) {
    g_watch = watch;
    HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROCRET, WatchCopyDialogs, NULL, GetCurrentThreadId());
    EXPECT_NE(hook, nullptr);
    action();
    UnhookWindowsHookEx(hook);
    g_watch = nullptr;
}

void BeginWindowsRun(WindowsRun* w, const std::string& folder, const char* exeName,
                     uint32_t holdLimitMs) {
    InitWin32FileSystem(&w->fs, "", "");
    InitCopyDialog(&w->dialog, &w->run.cancelled);
    BeginUpdateRun(&w->run, &w->fs.table, &w->dialog.progress, folder.c_str(), exeName);
    w->run.holdLimitMs = holdLimitMs;
}

void EndWindowsRun(WindowsRun* w) {
    CloseCopyDialog(&w->dialog);
    EndUpdateRun(&w->run);
}

void UpdateTest::SetUp() {
    SetOwnerWindow(NULL);
}

void UpdateTest::TearDown() {}
