// The file system an update works on: every operation an update makes on the media, the install
// folder and the registry goes through this table, as SQLite's core reaches the disk only through
// its VFS. The launcher hands a run the Win32 operations (update/windows/win32_file_system.h); the
// tests hand it a model of them in memory that can fail any call with a chosen error, or cut the
// power, and so prove the update's guarantees without a disk.
//
// Paths are code page 932 text with backslash separators, at most kUpdatePathBytes - 1 bytes: the
// install folder's are absolute ("C:\Games\Hoshi\data.arc"), the media's are relative to the media
// folder ("help\index.htm"). Names are matched case-insensitively, as Windows matches them.
//
// Every operation returns kFsOk or the error that stopped it; an output is written only on kFsOk.
// No operation waits for a file another program holds (kFsHeld): the run decides whether to wait
// and for how long (update_run.h).
#pragma once
#include <stdint.h>

#include "resfs/path_limit.h"

enum { kUpdatePathBytes = kPathBytes };  // a path with its terminator

enum FsError : uint8_t {
    kFsOk = 0,
    kFsNotFound,      // no file or folder of that name
    kFsPathNotFound,  // a folder on the way is missing (or is a file)
    kFsExists,        // the name is taken (a new file, a rename without replace, a new folder)
    kFsHeld,          // another program holds the file (a sharing or lock violation)
    kFsAccessDenied,  // no right to do it: a read-only file or volume, a name pending deletion
    kFsDiskFull,      // the volume is full
    kFsDeviceError,   // the medium failed (a damaged disc, a removed stick, a CRC error)
    kFsNameTooLong,
    kFsNoMemory,
    kFsOther,
};

// Open files and searches, opaque to the run; null is none.
typedef struct FsFileHandle* FsFile;
typedef struct FsSearchHandle* FsSearch;

// What an open asks for, and what it lets other programs do meanwhile (Windows' sharing modes).
enum : uint32_t {
    kFsRead = 1,
    kFsWrite = 2,
    kFsDelete = 4,           // the right to rename or delete the file while it is open
    kFsWriteAttributes = 8,  // the right to set its times
};
enum : uint32_t {
    kFsShareRead = 1,
    kFsShareWrite = 2,
    kFsShareDelete = 4,
    kFsShareAll = 7,
};
enum FsCreate : uint8_t {
    kFsOpenExisting,
    kFsCreateNew,     // kFsExists when the name is taken
    kFsCreateAlways,  // an existing file is emptied
};
// File attributes, with Windows' values.
enum : uint32_t {
    kFsReadOnly = 0x1,
    kFsHidden = 0x2,
    kFsSystem = 0x4,
    kFsFolder = 0x10,
    kFsArchive = 0x20,
    kFsNormal = 0x80,
};
// Rename flags.
enum : uint32_t {
    kFsReplace = 1,       // an existing file of the new name is replaced
    kFsWriteThrough = 2,  // returns only once the rename itself is on the disk
};

// A file's three times, in Windows' FILETIME units.
struct FsTimes {
    uint64_t created, accessed, written;
};

// One name a search found.
struct FsFound {
    char name[kUpdatePathBytes];  // the name alone, without its folder
    uint32_t attributes;
    uint64_t size;
};

struct UpdateFileSystem {
    void* context;  // handed to every operation
    FsError (*open)(void* context, const char* path, uint32_t access, uint32_t share,
                    FsCreate create, FsFile* file);
    // *got is less than `size` only at the end of the file.
    FsError (*read)(void* context, FsFile file, void* buffer, uint32_t size, uint32_t* got);
    // All of `size` bytes, or an error (a short write is kFsDiskFull).
    FsError (*write)(void* context, FsFile file, const void* buffer, uint32_t size);
    // Returns once the file's data is on the disk.
    FsError (*flush)(void* context, FsFile file);
    // The handle is released whatever the result.
    FsError (*close)(void* context, FsFile file);
    FsError (*size)(void* context, FsFile file, uint64_t* size);
    FsError (*getTimes)(void* context, FsFile file, FsTimes* times);
    FsError (*setTimes)(void* context, FsFile file, const FsTimes* times);
    FsError (*getAttributes)(void* context, const char* path, uint32_t* attributes);
    FsError (*setAttributes)(void* context, const char* path, uint32_t attributes);
    FsError (*rename)(void* context, const char* from, const char* to, uint32_t flags);
    FsError (*remove)(void* context, const char* path);
    FsError (*makeFolder)(void* context, const char* path);
    FsError (*removeFolder)(void* context, const char* path);  // only an empty one
    // Free bytes for this user on the volume that holds `folder`, and its cluster size.
    FsError (*freeSpace)(void* context, const char* folder, uint64_t* available,
                         uint32_t* clusterSize);
    // The names `pattern` ("help\*.*", "C:\Games\~vup*") matches in its folder, folders
    // included, "." and ".." never. kFsNotFound when nothing matches.
    FsError (*findFirst)(void* context, const char* pattern, FsSearch* search, FsFound* found);
    // kFsNotFound after the last name.
    FsError (*findNext)(void* context, FsSearch search, FsFound* found);
    void (*findClose)(void* context, FsSearch search);
    // Records in the registry that the update was applied (`Updated` = 1), flushed.
    FsError (*markUpdated)(void* context);
    // The install folder of an update whose commit journal is about to be written: recorded in the
    // registry and flushed before the journal is, so that the next update finds an interrupted
    // commit wherever the player points it (a folder chosen in the dialog is in no other record);
    // "" once the journal is gone.
    FsError (*noteCommit)(void* context, const char* folder);
    // The folder noted (`folder`: kUpdatePathBytes bytes), "" when none.
    FsError (*notedCommit)(void* context, char* folder);
};
