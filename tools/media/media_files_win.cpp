// File and folder access for the media tool on Windows: every call takes UTF-16 paths (converted
// from the tool's UTF-8), and listed names get their code page 932 form from the UTF-16 name, so
// the tool reads a media the same way under any system code page.
#include <windows.h>
#include <shellapi.h>

#include "tools/media/media_files.h"

#include <stdio.h>

#include <algorithm>

static const UINT kCodePage932 = 932;

static std::wstring Widen(const std::string& utf8) {
    if (utf8.empty()) return std::wstring();
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), (int)utf8.size(), nullptr, 0);
    std::wstring wide((size_t)n, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), (int)utf8.size(), &wide[0], n);
    return wide;
}

static std::string Narrow(const std::wstring& wide, UINT codePage) {
    if (wide.empty()) return std::string();
    int n = WideCharToMultiByte(codePage, 0, wide.data(), (int)wide.size(), nullptr, 0, nullptr,
                                nullptr);
    std::string text((size_t)n, '\0');
    WideCharToMultiByte(codePage, 0, wide.data(), (int)wide.size(), &text[0], n, nullptr, nullptr);
    return text;
}

// The code page 932 form of a UTF-16 name; false when a character has none (checked by
// converting back, which also refuses the "best fit" substitutes).
static bool ToCp932(const std::wstring& wide, std::string* cp932) {
    if (wide.empty()) {
        cp932->clear();
        return true;
    }
    BOOL usedDefault = FALSE;
    int n = WideCharToMultiByte(kCodePage932, WC_NO_BEST_FIT_CHARS, wide.data(), (int)wide.size(),
                                nullptr, 0, nullptr, &usedDefault);
    if (n <= 0 || usedDefault) return false;
    cp932->assign((size_t)n, '\0');
    WideCharToMultiByte(kCodePage932, WC_NO_BEST_FIT_CHARS, wide.data(), (int)wide.size(),
                        &(*cp932)[0], n, nullptr, &usedDefault);
    int back =
        MultiByteToWideChar(kCodePage932, MB_ERR_INVALID_CHARS, cp932->data(), n, nullptr, 0);
    std::wstring again((size_t)(back > 0 ? back : 0), L'\0');
    if (back > 0)
        MultiByteToWideChar(kCodePage932, MB_ERR_INVALID_CHARS, cp932->data(), n, &again[0], back);
    return !usedDefault && again == wide;
}

static std::string LastErrorText() {
    DWORD code = GetLastError();
    wchar_t text[512];
    DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             code, 0, text, 512, nullptr);
    while (n > 0 && (text[n - 1] == L'\r' || text[n - 1] == L'\n' || text[n - 1] == L' ')) n--;
    if (n == 0) return "error " + std::to_string(code);
    return Narrow(std::wstring(text, n), CP_UTF8);
}

std::vector<std::string> GetMediaArguments(int, char**) {
    std::vector<std::string> args;
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 0; wide && i < count; i++) args.push_back(Narrow(wide[i], CP_UTF8));
    LocalFree(wide);
    return args;
}

void PrepareMediaConsole() {
    SetConsoleOutputCP(CP_UTF8);
}

MediaPathKind GetMediaPathKind(const std::string& path, uint64_t* size) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(Widen(path).c_str(), GetFileExInfoStandard, &data))
        return kMediaMissing;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return kMediaFolder;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) return kMediaOther;
    *size = (uint64_t)data.nFileSizeHigh << 32 | data.nFileSizeLow;
    return kMediaFile;
}

bool ListMediaFolder(const std::string& dir, std::vector<MediaEntry>* entries, std::string* error) {
    entries->clear();
    WIN32_FIND_DATAW found;
    HANDLE h = FindFirstFileW(Widen(JoinMediaPath(dir, "*")).c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) {
        if (GetLastError() == ERROR_FILE_NOT_FOUND) return true;
        *error = LastErrorText();
        return false;
    }
    do {
        std::wstring wide = found.cFileName;
        if (wide == L"." || wide == L"..") continue;
        MediaEntry entry = {Narrow(wide, CP_UTF8), "", false, kMediaFile, 0};
        entry.hasCp932 = ToCp932(wide, &entry.cp932);
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            entry.kind = kMediaFolder;
        else if (found.dwFileAttributes & FILE_ATTRIBUTE_DEVICE)
            entry.kind = kMediaOther;
        else
            entry.size = (uint64_t)found.nFileSizeHigh << 32 | found.nFileSizeLow;
        entries->push_back(entry);
    } while (FindNextFileW(h, &found));
    FindClose(h);
    std::sort(entries->begin(), entries->end(),
              [](const MediaEntry& a, const MediaEntry& b) { return a.name < b.name; });
    return true;
}

std::string JoinMediaPath(const std::string& dir, const std::string& name) {
    if (dir.empty() || dir.back() == '\\' || dir.back() == '/' || dir.back() == ':')
        return dir + name;
    return dir + "\\" + name;
}

FILE* OpenMediaFile(const std::string& path) {
    return _wfopen(Widen(path).c_str(), L"rb");
}

struct ChunkReader {
    HANDLE file;
};

ChunkReader* OpenChunkReader(const std::string& path, std::string* error) {
    HANDLE h = CreateFileW(Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                           OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        *error = LastErrorText();
        return nullptr;
    }
    return new ChunkReader{h};
}

bool ReadNextChunk(ChunkReader* reader, size_t size, ChunkView* view, std::string* error) {
    view->buffer.resize(size);
    view->data = view->buffer.data();
    view->length = 0;
    while (view->length < size) {
        DWORD want = (DWORD)std::min<size_t>(size - view->length, 1u << 30), got = 0;
        if (!ReadFile(reader->file, view->buffer.data() + view->length, want, &got, nullptr)) {
            *error = LastErrorText();
            return false;
        }
        if (got == 0) break;
        view->length += got;
    }
    return true;
}

void ReleaseChunk(ChunkView* view) {
    view->length = 0;
}

void CloseChunkReader(ChunkReader* reader) {
    CloseHandle(reader->file);
    delete reader;
}

bool ReplaceFileWithBytes(const std::string& path, const std::string& bytes, std::string* error) {
    std::wstring target = Widen(path);
    std::wstring temporary = target + L".tmp" + std::to_wstring(GetCurrentProcessId());
    HANDLE h = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        *error = LastErrorText();
        return false;
    }
    DWORD written = 0;
    bool ok = WriteFile(h, bytes.data(), (DWORD)bytes.size(), &written, nullptr) &&
              written == bytes.size() && FlushFileBuffers(h);
    if (!ok) *error = LastErrorText();
    CloseHandle(h);
    if (ok && MoveFileExW(temporary.c_str(), target.c_str(),
                          MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    if (ok) *error = LastErrorText();
    DeleteFileW(temporary.c_str());
    return false;
}

std::string Cp932ToDisplay(const std::string& cp932) {
    if (cp932.empty()) return cp932;
    int n = MultiByteToWideChar(kCodePage932, 0, cp932.data(), (int)cp932.size(), nullptr, 0);
    std::wstring wide((size_t)n, L'\0');
    MultiByteToWideChar(kCodePage932, 0, cp932.data(), (int)cp932.size(), &wide[0], n);
    return Narrow(wide, CP_UTF8);
}
