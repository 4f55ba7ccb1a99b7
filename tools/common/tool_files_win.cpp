// File and folder access for the media tools on Windows, and their output. Paths are UTF-8 inside
// the tools and UTF-16 at every call ("...W" functions), so names outside the system's ANSI code
// page work too; code page 932 appears only where names become the launcher's names
// (cp932_names.h).
#include <windows.h>

#include "tools/common/tool_files.h"
#include "tools/common/tool_output.h"

#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <algorithm>

static std::wstring Wide(const std::string& text) {
    if (text.empty()) return std::wstring();
    int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), (int)text.size(), nullptr, 0);
    std::wstring wide((size_t)(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(CP_UTF8, 0, text.data(), (int)text.size(), &wide[0], n);
    return wide;
}

static std::string Utf8(const wchar_t* text, int length) {
    if (length == 0) return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string utf8((size_t)(n > 0 ? n : 0), '\0');
    if (n > 0) WideCharToMultiByte(CP_UTF8, 0, text, length, &utf8[0], n, nullptr, nullptr);
    if (length < 0 && !utf8.empty()) utf8.pop_back();  // the NUL that a length of -1 includes
    return utf8;
}

static std::string LastErrorText() {
    DWORD code = GetLastError();
    wchar_t text[512];
    DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             code, 0, text, sizeof text / sizeof text[0], nullptr);
    while (n > 0 && (text[n - 1] == L'\r' || text[n - 1] == L'\n' || text[n - 1] == L' ')) n--;
    if (n == 0) return "error " + std::to_string(code);
    return Utf8(text, (int)n);
}

static bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

static bool IsDriveOnly(const std::string& path) {
    return path.size() == 2 && path[1] == ':';
}

std::vector<std::string> GetCommandArguments(int argc, char** argv) {
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!wide) return std::vector<std::string>(argv + 1, argv + argc);
    std::vector<std::string> args;
    for (int i = 1; i < count; i++) args.push_back(Utf8(wide[i], -1));
    LocalFree(wide);
    return args;
}

// A console is given UTF-8 as its output code page, for anything written to it without
// WriteText.
void PrepareConsole() {
    SetConsoleOutputCP(CP_UTF8);
}

void WriteText(FILE* stream, const std::string& text) {
    HANDLE handle = (HANDLE)_get_osfhandle(_fileno(stream));
    DWORD mode;
    if (handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode)) {
        std::wstring wide = Wide(text);
        fflush(stream);
        DWORD written;
        WriteConsoleW(handle, wide.data(), (DWORD)wide.size(), &written, nullptr);
        return;
    }
    fwrite(text.data(), 1, text.size(), stream);
}

PathKind GetPathKind(const std::string& path, uint64_t* size) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &data))
        return kPathMissing;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return kPathDirectory;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) return kPathOther;
    *size = (uint64_t)data.nFileSizeHigh << 32 | data.nFileSizeLow;
    return kPathFile;
}

bool GetVolumeRoom(const std::string& path, uint64_t* available, uint32_t* clusterSize) {
    ULARGE_INTEGER free;
    std::wstring wide = Wide(path);
    if (!GetDiskFreeSpaceExW(wide.c_str(), &free, NULL, NULL)) return false;
    *available = free.QuadPart;
    *clusterSize = 4096;
    wchar_t root[MAX_PATH];
    DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters, clusters;
    if (GetVolumePathNameW(wide.c_str(), root, MAX_PATH) &&
        GetDiskFreeSpaceW(root, &sectorsPerCluster, &bytesPerSector, &freeClusters, &clusters) &&
        sectorsPerCluster != 0 && bytesPerSector != 0) {
        *clusterSize = sectorsPerCluster * bytesPerSector;
    }
    return true;
}

bool PathExists(const std::string& path) {
    return GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool ListDirectory(const std::string& dir, std::vector<DirEntry>* entries, std::string* error) {
    entries->clear();
    WIN32_FIND_DATAW found;
    HANDLE h = FindFirstFileW(Wide(JoinPath(dir, "*.*")).c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) {
        if (GetLastError() == ERROR_FILE_NOT_FOUND) return true;
        *error = LastErrorText();
        return false;
    }
    do {
        if (wcscmp(found.cFileName, L".") == 0 || wcscmp(found.cFileName, L"..") == 0) continue;
        DirEntry entry = {Utf8(found.cFileName, -1), kPathFile, 0};
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            entry.kind = kPathDirectory;
        else if (found.dwFileAttributes & FILE_ATTRIBUTE_DEVICE)
            entry.kind = kPathOther;
        else
            entry.size = (uint64_t)found.nFileSizeHigh << 32 | found.nFileSizeLow;
        entries->push_back(entry);
    } while (FindNextFileW(h, &found));
    FindClose(h);
    std::sort(entries->begin(), entries->end(),
              [](const DirEntry& a, const DirEntry& b) { return a.name < b.name; });
    return true;
}

std::string JoinPath(const std::string& dir, const std::string& name) {
    if (dir.empty() || IsSeparator(dir.back()) || IsDriveOnly(dir)) return dir + name;
    return dir + "\\" + name;
}

std::string PathFinalName(const std::string& path) {
    std::string trimmed = path;
    while (trimmed.size() > 1 && IsSeparator(trimmed.back())) trimmed.pop_back();
    size_t start = trimmed.size() >= 2 && trimmed[1] == ':' ? 2 : 0;
    for (size_t i = start; i < trimmed.size(); i++)
        if (IsSeparator(trimmed[i])) start = i + 1;
    return trimmed.substr(start);
}

// The volume and file number of an existing file or folder.
static bool GetFileIdentity(const std::string& path, BY_HANDLE_FILE_INFORMATION* info) {
    HANDLE h =
        CreateFileW(Wide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    BOOL ok = GetFileInformationByHandle(h, info);
    CloseHandle(h);
    return ok != FALSE;
}

bool IsSameFile(const std::string& a, const std::string& b) {
    BY_HANDLE_FILE_INFORMATION ia, ib;
    if (!GetFileIdentity(a, &ia) || !GetFileIdentity(b, &ib)) return false;
    return ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
           ia.nFileIndexHigh == ib.nFileIndexHigh && ia.nFileIndexLow == ib.nFileIndexLow;
}

bool ResolvePath(const std::string& path, std::string* resolved, std::string* error) {
    HANDLE h =
        CreateFileW(Wide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        *error = LastErrorText();
        return false;
    }
    std::wstring full(MAX_PATH, L'\0');
    DWORD n = GetFinalPathNameByHandleW(h, &full[0], (DWORD)full.size(), FILE_NAME_NORMALIZED);
    if (n >= full.size()) {
        full.resize(n + 1);
        n = GetFinalPathNameByHandleW(h, &full[0], (DWORD)full.size(), FILE_NAME_NORMALIZED);
    }
    if (n == 0 || n >= full.size()) {
        *error = LastErrorText();
        CloseHandle(h);
        return false;
    }
    CloseHandle(h);
    full.resize(n);
    if (full.compare(0, 8, L"\\\\?\\UNC\\") == 0)
        full = L"\\\\" + full.substr(8);
    else if (full.compare(0, 4, L"\\\\?\\") == 0)
        full = full.substr(4);
    *resolved = Utf8(full.data(), (int)full.size());
    return true;
}

bool IsPathWithin(const std::string& root, const std::string& path) {
    std::wstring r = Wide(root), p = Wide(path);
    if (r.empty() || p.size() < r.size() ||
        CompareStringOrdinal(r.data(), (int)r.size(), p.data(), (int)r.size(), TRUE) != CSTR_EQUAL)
        return false;
    return p.size() == r.size() || r.back() == L'\\' || p[r.size()] == L'\\';
}

bool MakeDirectory(const std::string& path, std::string* error) {
    std::wstring wide = Wide(path);
    if (CreateDirectoryW(wide.c_str(), nullptr)) return true;
    DWORD code = GetLastError();
    DWORD attributes = GetFileAttributesW(wide.c_str());
    if (code == ERROR_ALREADY_EXISTS && attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return true;
    SetLastError(code);
    *error =
        code == ERROR_ALREADY_EXISTS ? "something other than a folder is there" : LastErrorText();
    return false;
}

FILE* OpenFile(const std::string& path, const char* mode) {
    return _wfopen(Wide(path).c_str(), Wide(mode).c_str());
}

FILE* CreateNewFile(const std::string& path, std::string* error) {
    HANDLE h = CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        *error = LastErrorText();
        return nullptr;
    }
    int fd = _open_osfhandle((intptr_t)h, _O_WRONLY | _O_BINARY);
    if (fd < 0) {
        CloseHandle(h);
        *error = "cannot open the file for writing";
        return nullptr;
    }
    FILE* file = _fdopen(fd, "wb");
    if (!file) {
        _close(fd);
        *error = "cannot open the file for writing";
    }
    return file;
}

bool RemoveFile(const std::string& path) {
    return DeleteFileW(Wide(path).c_str()) != FALSE;
}

bool ReplaceFileWith(const std::string& from, const std::string& to, std::string* error) {
    if (MoveFileExW(Wide(from).c_str(), Wide(to).c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    *error = LastErrorText();
    return false;
}

bool RenamePath(const std::string& from, const std::string& to, std::string* error) {
    if (MoveFileExW(Wide(from).c_str(), Wide(to).c_str(), MOVEFILE_WRITE_THROUGH)) return true;
    *error = LastErrorText();
    return false;
}

bool RemoveTree(const std::string& path, std::string* error) {
    std::wstring wide = Wide(path);
    DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        *error = LastErrorText();
        return false;
    }
    // A link to a folder (a junction, a symbolic link) goes itself; what it leads to stays.
    bool folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    bool link = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    bool good = true;
    if (folder && !link) {
        std::vector<DirEntry> entries;
        if (!ListDirectory(path, &entries, error)) return false;
        for (const DirEntry& entry : entries)
            good = RemoveTree(JoinPath(path, entry.name), error) && good;
    }
    if (attributes & FILE_ATTRIBUTE_READONLY)
        SetFileAttributesW(wide.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    if (!(folder ? RemoveDirectoryW(wide.c_str()) : DeleteFileW(wide.c_str()))) {
        *error = LastErrorText();
        good = false;
    }
    return good;
}

uint32_t CurrentProcessNumber() {
    return (uint32_t)GetCurrentProcessId();
}

bool ReplaceFileWithBytes(const std::string& path, const std::string& bytes, std::string* error) {
    std::wstring target = Wide(path);
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

struct ChunkReader {
    HANDLE file;
};

ChunkReader* OpenChunkReader(const std::string& path, std::string* error) {
    HANDLE h = CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
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
