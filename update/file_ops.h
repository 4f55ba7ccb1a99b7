// Every file operation an update makes (open, read, write, flush, close, size, times, attributes,
// rename, delete, folders, free space, find) goes through one table of functions, so that a test
// can make any one of them fail, or stop the disk at it as a killed process would. Without a
// table of a test's the plain Win32 calls are made. Each function has the sense of the Win32 call
// it stands for and sets the thread's last error when it fails.
//
// Brief holds: another program (a virus scanner, an indexer) may hold a file for a moment just
// as the update opens, renames or deletes it. Such an operation is tried again, with growing
// waits, for about ten seconds in all (the ...WhenFree operations below) before the update gives
// up.
#pragma once
#include <windows.h>
#include <stdint.h>

struct FileOps {
    HANDLE (*open)(const char* path, DWORD access, DWORD share, DWORD disposition);
    BOOL (*read)(HANDLE file, void* buffer, DWORD size, DWORD* got);
    BOOL (*write)(HANDLE file, const void* buffer, DWORD size, DWORD* written);
    BOOL (*flush)(HANDLE file);
    BOOL (*close)(HANDLE file);
    BOOL (*size)(HANDLE file, LARGE_INTEGER* size);
    BOOL (*getTimes)(HANDLE file, FILETIME* created, FILETIME* accessed, FILETIME* written);
    BOOL (*setTimes)(HANDLE file, const FILETIME* created, const FILETIME* accessed,
                     const FILETIME* written);
    DWORD (*getAttributes)(const char* path);  // INVALID_FILE_ATTRIBUTES when it fails
    BOOL (*setAttributes)(const char* path, DWORD attributes);
    BOOL (*rename)(const char* from, const char* to, DWORD moveFlags);  // MoveFileExA
    BOOL (*remove)(const char* path);
    BOOL (*makeFolder)(const char* path);
    BOOL (*removeFolder)(const char* path);
    // Free bytes for this user on the volume of `folder`, and its cluster size.
    BOOL (*freeSpace)(const char* folder, uint64_t* available, uint32_t* clusterSize);
    HANDLE (*findFirst)(const char* pattern, WIN32_FIND_DATAA* found);
    BOOL (*findNext)(HANDLE search, WIN32_FIND_DATAA* found);
    BOOL (*findClose)(HANDLE search);
};

// The table in force: a test's, or the plain calls.
const FileOps* GetFileOps();
const FileOps* GetPlainFileOps();
// Tests only: `ops` replaces the plain calls until it is set back to null.
void SetFileOpsForTests(const FileOps* ops);

// Whether `error` means that another program holds the file for now.
bool IsHeldError(DWORD error);
// Whether `error` means that the volume is full.
bool IsDiskFullError(DWORD error);

// The operations by name, each tried again while another program holds the file briefly;
// `cancelled` may be null. A file that is already gone counts as removed.
HANDLE OpenWhenFree(const char* path, DWORD access, DWORD share, DWORD disposition,
                    volatile LONG* cancelled);
bool RenameWhenFree(const char* from, const char* to, DWORD moveFlags, volatile LONG* cancelled);
bool RemoveWhenFree(const char* path, volatile LONG* cancelled);
bool SetAttributesWhenFree(const char* path, DWORD attributes, volatile LONG* cancelled);
// Tests only: the time allowed for a hold (10000 ms unless set).
void SetBriefHoldLimitForTests(DWORD limitMs);
