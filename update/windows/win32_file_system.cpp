// The Win32 operations behind the update core's file system (see win32_file_system.h).
//
// Each operation is the Win32 call of the same name and sense; a failure is told as the core's
// FsError, and the system's own error kept in `lastError`. The Win32 calls are stdcall in the
// 32-bit program: the table holds plain functions of its own calling convention that make them.
#include "update/windows/win32_file_system.h"

#include <cstdio>
#include <cstring>

#include "settings/registry_store.h"

FsError FsErrorOfWin32(DWORD error) {
    switch (error) {
        case ERROR_SUCCESS:
            return kFsOk;
        case ERROR_FILE_NOT_FOUND:
        case ERROR_NO_MORE_FILES:
            return kFsNotFound;
        case ERROR_PATH_NOT_FOUND:
        case ERROR_DIRECTORY:
        case ERROR_INVALID_NAME:
        case ERROR_BAD_NETPATH:
            return kFsPathNotFound;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
            return kFsExists;
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_USER_MAPPED_FILE:
            return kFsHeld;
        case ERROR_ACCESS_DENIED:
        case ERROR_WRITE_PROTECT:
        case ERROR_PRIVILEGE_NOT_HELD:
            return kFsAccessDenied;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return kFsDiskFull;
        case ERROR_CRC:
        case ERROR_NOT_READY:
        case ERROR_READ_FAULT:
        case ERROR_WRITE_FAULT:
        case ERROR_GEN_FAILURE:
        case ERROR_SECTOR_NOT_FOUND:
        case ERROR_DEVICE_REMOVED:
        case ERROR_HANDLE_EOF:
            return kFsDeviceError;
        case ERROR_FILENAME_EXCED_RANGE:
            return kFsNameTooLong;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY:
            return kFsNoMemory;
        default:
            return kFsOther;
    }
}

static Win32FileSystem* Of(void* context) {
    return (Win32FileSystem*)context;
}

// The outcome of a call that returned `ok`: kFsOk, or the thread's last error as the core's.
static FsError Result(void* context, BOOL ok) {
    if (ok) return kFsOk;
    DWORD error = GetLastError();
    Of(context)->lastError = error;
    FsError fsError = FsErrorOfWin32(error);
    return fsError == kFsOk ? kFsOther : fsError;
}

static HANDLE HandleOf(FsFile file) {
    return (HANDLE)file;
}

static FsError Win32Open(void* context, const char* path, uint32_t access, uint32_t share,
                         FsCreate create, FsFile* file) {
    DWORD desired = 0;
    if (access & kFsRead) desired |= GENERIC_READ;
    if (access & kFsWrite) desired |= GENERIC_WRITE;
    if (access & kFsDelete) desired |= DELETE;
    if (access & kFsWriteAttributes) desired |= FILE_WRITE_ATTRIBUTES;
    DWORD shareMode = 0;
    if (share & kFsShareRead) shareMode |= FILE_SHARE_READ;
    if (share & kFsShareWrite) shareMode |= FILE_SHARE_WRITE;
    if (share & kFsShareDelete) shareMode |= FILE_SHARE_DELETE;
    DWORD disposition = create == kFsCreateNew      ? CREATE_NEW
                        : create == kFsCreateAlways ? CREATE_ALWAYS
                                                    : OPEN_EXISTING;
    HANDLE handle =
        CreateFileA(path, desired, shareMode, NULL, disposition, FILE_ATTRIBUTE_NORMAL, NULL);
    if (handle == INVALID_HANDLE_VALUE) return Result(context, FALSE);
    *file = (FsFile)handle;
    return kFsOk;
}

static FsError Win32Read(void* context, FsFile file, void* buffer, uint32_t size, uint32_t* got) {
    DWORD read = 0;
    FsError error = Result(context, ReadFile(HandleOf(file), buffer, size, &read, NULL));
    if (error == kFsOk) *got = read;
    return error;
}

static FsError Win32Write(void* context, FsFile file, const void* buffer, uint32_t size) {
    DWORD written = 0;
    FsError error = Result(context, WriteFile(HandleOf(file), buffer, size, &written, NULL));
    if (error == kFsOk && written != size) {
        Of(context)->lastError = ERROR_DISK_FULL;
        return kFsDiskFull;
    }
    return error;
}

static FsError Win32Flush(void* context, FsFile file) {
    return Result(context, FlushFileBuffers(HandleOf(file)));
}

static FsError Win32Close(void* context, FsFile file) {
    return Result(context, CloseHandle(HandleOf(file)));
}

static FsError Win32Size(void* context, FsFile file, uint64_t* size) {
    LARGE_INTEGER length;
    FsError error = Result(context, GetFileSizeEx(HandleOf(file), &length));
    if (error == kFsOk) *size = (uint64_t)length.QuadPart;
    return error;
}

static uint64_t TimeValue(const FILETIME& time) {
    return (uint64_t)time.dwHighDateTime << 32 | time.dwLowDateTime;
}

static FILETIME FileTimeOf(uint64_t value) {
    FILETIME time;
    time.dwLowDateTime = (DWORD)value;
    time.dwHighDateTime = (DWORD)(value >> 32);
    return time;
}

static FsError Win32GetTimes(void* context, FsFile file, FsTimes* times) {
    FILETIME created, accessed, written;
    FsError error = Result(context, GetFileTime(HandleOf(file), &created, &accessed, &written));
    if (error == kFsOk) *times = {TimeValue(created), TimeValue(accessed), TimeValue(written)};
    return error;
}

static FsError Win32SetTimes(void* context, FsFile file, const FsTimes* times) {
    FILETIME created = FileTimeOf(times->created), accessed = FileTimeOf(times->accessed),
             written = FileTimeOf(times->written);
    return Result(context, SetFileTime(HandleOf(file), &created, &accessed, &written));
}

static FsError Win32GetAttributes(void* context, const char* path, uint32_t* attributes) {
    DWORD found = GetFileAttributesA(path);
    if (found == INVALID_FILE_ATTRIBUTES) return Result(context, FALSE);
    *attributes = found;
    return kFsOk;
}

static FsError Win32SetAttributes(void* context, const char* path, uint32_t attributes) {
    return Result(context, SetFileAttributesA(path, attributes));
}

static FsError Win32Rename(void* context, const char* from, const char* to, uint32_t flags) {
    DWORD moveFlags = 0;
    if (flags & kFsReplace) moveFlags |= MOVEFILE_REPLACE_EXISTING;
    if (flags & kFsWriteThrough) moveFlags |= MOVEFILE_WRITE_THROUGH;
    return Result(context, MoveFileExA(from, to, moveFlags));
}

static FsError Win32Remove(void* context, const char* path) {
    return Result(context, DeleteFileA(path));
}

static FsError Win32MakeFolder(void* context, const char* path) {
    return Result(context, CreateDirectoryA(path, NULL));
}

static FsError Win32RemoveFolder(void* context, const char* path) {
    return Result(context, RemoveDirectoryA(path));
}

static FsError Win32FreeSpace(void* context, const char* folder, uint64_t* available,
                              uint32_t* clusterSize) {
    ULARGE_INTEGER free;
    FsError error = Result(context, GetDiskFreeSpaceExA(folder, &free, NULL, NULL));
    if (error != kFsOk) return error;
    *available = free.QuadPart;
    // The cluster size of the volume; 4096 when it cannot be told.
    char root[MAX_PATH];
    DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters, clusters;
    *clusterSize = 4096;
    if (GetVolumePathNameA(folder, root, sizeof root) &&
        GetDiskFreeSpaceA(root, &sectorsPerCluster, &bytesPerSector, &freeClusters, &clusters) &&
        sectorsPerCluster != 0 && bytesPerSector != 0) {
        *clusterSize = sectorsPerCluster * bytesPerSector;
    }
    return kFsOk;
}

static bool IsDotName(const char* name) {
    return strcmp(name, ".") == 0 || strcmp(name, "..") == 0;
}

static void Found(const WIN32_FIND_DATAA& data, FsFound* found) {
    snprintf(found->name, sizeof found->name, "%s", data.cFileName);
    found->attributes = data.dwFileAttributes;
    found->size = (uint64_t)data.nFileSizeHigh << 32 | data.nFileSizeLow;
}

static FsError Win32FindNext(void* context, FsSearch search, FsFound* found) {
    WIN32_FIND_DATAA data;
    do {
        if (!FindNextFileA((HANDLE)search, &data)) return Result(context, FALSE);
    } while (IsDotName(data.cFileName));
    Found(data, found);
    return kFsOk;
}

static FsError Win32FindFirst(void* context, const char* pattern, FsSearch* search,
                              FsFound* found) {
    WIN32_FIND_DATAA data;
    HANDLE handle = FindFirstFileA(pattern, &data);
    if (handle == INVALID_HANDLE_VALUE) return Result(context, FALSE);
    if (IsDotName(data.cFileName)) {
        FsError error = Win32FindNext(context, (FsSearch)handle, found);
        if (error != kFsOk) {
            FindClose(handle);
            return error;
        }
    } else {
        Found(data, found);
    }
    *search = (FsSearch)handle;
    return kFsOk;
}

static void Win32FindClose(void*, FsSearch search) {
    FindClose((HANDLE)search);
}

static FsError Win32MarkUpdated(void* context) {
    Win32FileSystem* fs = Of(context);
    // Flushed: the record is on the disk when the update says it is done.
    if (WriteRegistryString(fs->regGlobal, fs->regLocal, "Updated", "1", 1) == 0) return kFsOk;
    return kFsOther;
}

// The registry value that names the install folder of a commit under way.
static const char kCommitNoteValue[] = "UpdatingFolder";

static FsError Win32NoteCommit(void* context, const char* folder) {
    Win32FileSystem* fs = Of(context);
    // Flushed: the note is on the disk before the journal it points to. Cleared, it is gone.
    int done = folder[0]
                   ? WriteRegistryString(fs->regGlobal, fs->regLocal, kCommitNoteValue, folder, 1)
                   : DeleteRegistryValue(fs->regGlobal, fs->regLocal, kCommitNoteValue);
    return done == 0 ? kFsOk : kFsOther;
}

static FsError Win32NotedCommit(void* context, char* folder) {
    Win32FileSystem* fs = Of(context);
    ReadRegistryString(fs->regGlobal, fs->regLocal, kCommitNoteValue, "", folder, kUpdatePathBytes);
    return kFsOk;
}

void InitWin32FileSystem(Win32FileSystem* fs, const char* regGlobal, const char* regLocal) {
    memset(fs, 0, sizeof *fs);
    fs->table = {fs,
                 Win32Open,
                 Win32Read,
                 Win32Write,
                 Win32Flush,
                 Win32Close,
                 Win32Size,
                 Win32GetTimes,
                 Win32SetTimes,
                 Win32GetAttributes,
                 Win32SetAttributes,
                 Win32Rename,
                 Win32Remove,
                 Win32MakeFolder,
                 Win32RemoveFolder,
                 Win32FreeSpace,
                 Win32FindFirst,
                 Win32FindNext,
                 Win32FindClose,
                 Win32MarkUpdated,
                 Win32NoteCommit,
                 Win32NotedCommit};
    snprintf(fs->regGlobal, sizeof fs->regGlobal, "%s", regGlobal);
    snprintf(fs->regLocal, sizeof fs->regLocal, "%s", regLocal);
}
