// File and folder access for the archive tool on Windows (ANSI functions: names are code page
// 932 text, as the launcher sees them).
#include <windows.h>

#include "tools/arc/arc_files.h"

#include <stdio.h>

#include <algorithm>

#include "resfs/cp932_lower.h"

static std::string LastErrorText() {
    DWORD code = GetLastError();
    char text[512];
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             code, 0, text, sizeof text, nullptr);
    while (n > 0 && (text[n - 1] == '\r' || text[n - 1] == '\n' || text[n - 1] == ' ')) n--;
    if (n == 0) return "error " + std::to_string(code);
    return std::string(text, n);
}

PathKind GetPathKind(const std::string& path, uint64_t* size) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return kPathMissing;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return kPathDirectory;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) return kPathOther;
    *size = (uint64_t)data.nFileSizeHigh << 32 | data.nFileSizeLow;
    return kPathFile;
}

// Kinds come from the listing itself, as the launcher takes them: a name such as "old." cannot
// be opened again by name, since the platform drops trailing dots from paths.
bool ListDirectory(const std::string& dir, std::vector<DirEntry>* entries, std::string* error) {
    entries->clear();
    WIN32_FIND_DATAA found;
    HANDLE h = FindFirstFileA(JoinPath(dir, "*.*").c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) {
        if (GetLastError() == ERROR_FILE_NOT_FOUND) return true;
        *error = LastErrorText();
        return false;
    }
    do {
        DirEntry entry = {found.cFileName, kPathFile, 0};
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            entry.kind = kPathDirectory;
        else if (found.dwFileAttributes & FILE_ATTRIBUTE_DEVICE)
            entry.kind = kPathOther;
        else
            entry.size = (uint64_t)found.nFileSizeHigh << 32 | found.nFileSizeLow;
        entries->push_back(entry);
    } while (FindNextFileA(h, &found));
    FindClose(h);
    std::sort(entries->begin(), entries->end(),
              [](const DirEntry& a, const DirEntry& b) { return a.name < b.name; });
    return true;
}

// Whether the text ends in a separator; a trail byte 0x5C is not one.
static bool EndsInSeparator(const std::string& path) {
    if (path.empty()) return false;
    return FindFinalComponent(path.c_str())[0] == 0 && path.back() != ':';
}

std::string JoinPath(const std::string& dir, const std::string& name) {
    if (dir.empty() || EndsInSeparator(dir) || dir.back() == ':') return dir + name;
    return dir + "\\" + name;
}

std::string PathFinalName(const std::string& path) {
    std::string trimmed = path;
    while (trimmed.size() > 1 && EndsInSeparator(trimmed)) trimmed.pop_back();
    return FindFinalComponent(trimmed.c_str());
}

bool IsSameFile(const std::string& a, const std::string& b) {
    char fullA[MAX_PATH], fullB[MAX_PATH];
    DWORD na = GetFullPathNameA(a.c_str(), sizeof fullA, fullA, nullptr);
    DWORD nb = GetFullPathNameA(b.c_str(), sizeof fullB, fullB, nullptr);
    if (na == 0 || na >= sizeof fullA || nb == 0 || nb >= sizeof fullB) return false;
    return CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, fullA, -1, fullB, -1) == CSTR_EQUAL;
}

bool ReplaceFileWith(const std::string& from, const std::string& to, std::string* error) {
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    *error = LastErrorText();
    return false;
}

uint32_t CurrentProcessNumber() {
    return (uint32_t)GetCurrentProcessId();
}
