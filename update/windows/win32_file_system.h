// The Win32 operations behind the update core's file system (update/core/update_fs.h): files,
// folders, free space and searches through the system's calls, and `Updated` written to the
// settings registry key. The launcher hands one to each update; the tests wrap it to fail any
// call.
#pragma once
#include <windows.h>

#include "update/core/update_fs.h"

struct Win32FileSystem {
    UpdateFileSystem table;  // its context is this struct
    char regGlobal[128];     // the settings registry key that `Updated` is written under
    char regLocal[128];
    DWORD lastError;  // the system's error of the last operation that failed
};

// A file system over the Win32 calls, recording the update under REG_GLOBAL\REG_LOCAL.
void InitWin32FileSystem(Win32FileSystem* fs, const char* regGlobal, const char* regLocal);
// The core's name for a system error.
FsError FsErrorOfWin32(DWORD error);
