// The table of file operations and the brief-hold retries (see file_ops.h).
#include "update/file_ops.h"

#include "ui/message_pump.h"

static HANDLE PlainOpen(const char* path, DWORD access, DWORD share, DWORD disposition) {
    return CreateFileA(path, access, share, NULL, disposition, FILE_ATTRIBUTE_NORMAL, NULL);
}
static BOOL PlainRead(HANDLE file, void* buffer, DWORD size, DWORD* got) {
    return ReadFile(file, buffer, size, got, NULL);
}
static BOOL PlainWrite(HANDLE file, const void* buffer, DWORD size, DWORD* written) {
    return WriteFile(file, buffer, size, written, NULL);
}
static BOOL PlainFreeSpace(const char* folder, uint64_t* available, uint32_t* clusterSize) {
    ULARGE_INTEGER free;
    if (!GetDiskFreeSpaceExA(folder, &free, NULL, NULL)) return FALSE;
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
    return TRUE;
}
static BOOL PlainMakeFolder(const char* path) { return CreateDirectoryA(path, NULL); }
// The Win32 calls themselves are stdcall in the 32-bit program: each is wrapped in a plain
// function of the table's own calling convention.
static BOOL PlainFlush(HANDLE file) { return FlushFileBuffers(file); }
static BOOL PlainClose(HANDLE file) { return CloseHandle(file); }
static BOOL PlainSize(HANDLE file, LARGE_INTEGER* size) { return GetFileSizeEx(file, size); }
static BOOL PlainGetTimes(HANDLE file, FILETIME* created, FILETIME* accessed, FILETIME* written) {
    return GetFileTime(file, created, accessed, written);
}
static BOOL PlainSetTimes(HANDLE file, const FILETIME* created, const FILETIME* accessed,
                          const FILETIME* written) {
    return SetFileTime(file, created, accessed, written);
}
static DWORD PlainGetAttributes(const char* path) { return GetFileAttributesA(path); }
static BOOL PlainSetAttributes(const char* path, DWORD attributes) {
    return SetFileAttributesA(path, attributes);
}
static BOOL PlainRename(const char* from, const char* to, DWORD flags) {
    return MoveFileExA(from, to, flags);
}
static BOOL PlainRemove(const char* path) { return DeleteFileA(path); }
static BOOL PlainRemoveFolder(const char* path) { return RemoveDirectoryA(path); }
static HANDLE PlainFindFirst(const char* pattern, WIN32_FIND_DATAA* found) {
    return FindFirstFileA(pattern, found);
}
static BOOL PlainFindNext(HANDLE search, WIN32_FIND_DATAA* found) {
    return FindNextFileA(search, found);
}
static BOOL PlainFindClose(HANDLE search) { return FindClose(search); }

static const FileOps kPlainOps = {
    PlainOpen,         PlainRead,          PlainWrite,     PlainFlush,     PlainClose,
    PlainSize,         PlainGetTimes,      PlainSetTimes,  PlainGetAttributes,
    PlainSetAttributes, PlainRename,       PlainRemove,    PlainMakeFolder, PlainRemoveFolder,
    PlainFreeSpace,    PlainFindFirst,     PlainFindNext,  PlainFindClose,
};

static const FileOps* g_testOps;
static DWORD g_holdLimitMs = 10000;

const FileOps* GetFileOps() { return g_testOps ? g_testOps : &kPlainOps; }
const FileOps* GetPlainFileOps() { return &kPlainOps; }
void SetFileOpsForTests(const FileOps* ops) { g_testOps = ops; }
void SetBriefHoldLimitForTests(DWORD limitMs) { g_holdLimitMs = limitMs; }

bool IsHeldError(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
           error == ERROR_USER_MAPPED_FILE;
}

bool IsDiskFullError(DWORD error) {
    return error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL;
}

// One operation's retries: started with {} before its first try.
struct HoldWait {
    DWORD waitedMs;
    int tries;
};
// After a try that failed with `error`: when the error is a hold and the time allowed for holds is
// not used up, waits (the queue drained, so a copy dialog stays responsive) and returns true to
// ask for another try; false when the operation has failed for good, or when `*cancelled` became
// non-zero while waiting. The last error is `error` again on return.
static bool WaitOutBriefHold(HoldWait* wait, DWORD error, volatile LONG* cancelled) {
    if (!IsHeldError(error) || wait->waitedMs >= g_holdLimitMs) {
        SetLastError(error);
        return false;
    }
    // 50 ms, doubling up to one second a try: a scanner's hold usually ends within the first
    // few, a program that keeps the file open is given the whole limit.
    DWORD pause = wait->tries < 5 ? 50u << wait->tries : 1000u;
    if (pause > g_holdLimitMs - wait->waitedMs) pause = g_holdLimitMs - wait->waitedMs;
    wait->tries++;
    // Waited in short steps with the queue drained, so that Cancel is seen at once.
    DWORD start = GetTickCount();
    for (;;) {
        PumpMessages();
        if (cancelled && *cancelled) {
            SetLastError(error);
            return false;
        }
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= pause) break;
        Sleep(pause - elapsed < 20 ? pause - elapsed : 20);
    }
    wait->waitedMs += pause;
    SetLastError(error);
    return true;
}

HANDLE OpenWhenFree(const char* path, DWORD access, DWORD share, DWORD disposition,
                    volatile LONG* cancelled) {
    HoldWait wait = {};
    for (;;) {
        HANDLE handle = GetFileOps()->open(path, access, share, disposition);
        if (handle != INVALID_HANDLE_VALUE) return handle;
        if (!WaitOutBriefHold(&wait, GetLastError(), cancelled)) return INVALID_HANDLE_VALUE;
    }
}

bool RenameWhenFree(const char* from, const char* to, DWORD moveFlags, volatile LONG* cancelled) {
    HoldWait wait = {};
    while (!GetFileOps()->rename(from, to, moveFlags)) {
        if (!WaitOutBriefHold(&wait, GetLastError(), cancelled)) return false;
    }
    return true;
}

bool RemoveWhenFree(const char* path, volatile LONG* cancelled) {
    HoldWait wait = {};
    while (!GetFileOps()->remove(path)) {
        DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND) return true;
        if (!WaitOutBriefHold(&wait, error, cancelled)) return false;
    }
    return true;
}

bool SetAttributesWhenFree(const char* path, DWORD attributes, volatile LONG* cancelled) {
    HoldWait wait = {};
    while (!GetFileOps()->setAttributes(path, attributes)) {
        if (!WaitOutBriefHold(&wait, GetLastError(), cancelled)) return false;
    }
    return true;
}
