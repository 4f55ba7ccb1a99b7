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

static const FileOps kPlainOps = {
    PlainOpen,
    PlainRead,
    PlainWrite,
    FlushFileBuffers,
    CloseHandle,
    GetFileSizeEx,
    GetFileTime,
    SetFileTime,
    GetFileAttributesA,
    SetFileAttributesA,
    MoveFileExA,
    DeleteFileA,
    PlainMakeFolder,
    RemoveDirectoryA,
    PlainFreeSpace,
    FindFirstFileA,
    FindNextFileA,
    FindClose,
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

bool WaitOutBriefHold(HoldWait* wait, DWORD error, volatile LONG* cancelled) {
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
