// The whole update, from the opening question to the closing message.
#pragma once
#include <stdint.h>

#include "update/core/update_fs.h"

enum RunUpdateResult {
    kRunUpdateDone = 0,       // the update completed (Updated = 1, closing message shown)
    kRunUpdateStopped = 1,    // declined, refused or stopped part-way
    kRunUpdateNoFolder = -1,  // no usable install folder
};

// On the Win32 file system. Every outcome has been reported in a box.
int RunUpdate();
// The same on `fs`, waiting up to `holdLimitMs` for a file another program holds.
int RunUpdateOn(const UpdateFileSystem* fs, uint32_t holdLimitMs);

enum { kFolderLockNameBytes = 64 };
// The name of the install folder's named lock, which an update holds beside its lock file from
// its check to its end: the folder as Windows matches names, hashed (a mutex name holds no
// backslash of its own), in the global namespace so that every user's launcher sees it.
void FormatFolderLockName(const char* folder, char name[kFolderLockNameBytes]);
