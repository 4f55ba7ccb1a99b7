// The mount list of the resource file system.
//
// A mount is registered by a bare name such as "update" and resolves at once to a resource
// archive (the name plus ".arc") or, failing that, to a directory tree of that name whose files
// are indexed by name hash (recursively, at registration; later changes are not seen). Opens
// search the mounts in registration order. One critical section, the resource lock, guards the
// list, every scan (which changes the process's current directory and restores it) and every open.
#pragma once
#include <stdint.h>

#include "resfs/archive_format.h"
#include "resfs/path_limit.h"

enum MountKind : int32_t { Directory = 0, Archive = 1 };

struct DirIndexEntry {
    uint32_t nameHash;
    char* directory;  // absolute path of the folder holding the file; shared per folder
};

struct ResourceMount {
    char path[kPathBytes];  // Archive: "name.arc" as opened; Directory: "name\" (relative as
                            // registered)
    ArchiveHeader archiveHeader;
    ArchiveIndexEntry* archiveIndex;  // entryCount + 1 entries, Archive only
    DirIndexEntry* dirIndex;          // null until the first file is indexed
    int32_t dirCount;
    int32_t dirCapacity;
    int32_t unindexedAudioOnly;  // for a Directory mount without index: only .ogg/.wav are tried
    MountKind kind;
    ResourceMount* next;
    ResourceMount* prev;
    struct HashSet* seenHashes;  // speeds up the duplicate check while scanning
};

// 1: the name resolved to an archive; 0: to a directory (indexed); -1: neither (or the directory
// could not be entered, or memory ran out), and no mount was added.
int32_t MountResourceSource(const char* name, int32_t unindexedAudioOnly);
// Creates the resource lock on its first call (deleted at exit).
void EnsureResourceLock();
void EnterResourceLock();
void LeaveResourceLock();
// The first registered mount (walk with `next`); read with the lock held.
ResourceMount* GetFirstMount();

// Releases every mount and empties the list. The launcher never calls it (its mounts live until
// the process ends); tests that register mounts in several media folders in one process do.
void ForgetAllMounts();

// Lower-cases `name` in place with the ANSI code page's multibyte rules.
void LowerCaseName(char* name);
// True when the part of `name` from its last dot equals `extension`, case-insensitively.
bool HasExtension(const char* name, const char* extension);
