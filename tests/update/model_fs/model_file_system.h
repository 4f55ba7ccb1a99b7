// A file system in memory behind the update's seam (update/core/update_fs.h), with the Windows
// semantics an update relies on, so that the update's tests can prove what it guarantees without a
// disk: any call can fail with a chosen error, the process can "crash" (every later call fails and
// the disk stays as it is), another program can hold a file for a while, and the power can be cut,
// keeping only what a real disk would have kept.
//
// What it models, as NTFS behaves under Win32:
//  - Drives ("C:\", "M:\") with a tree of folders and files; relative paths resolve against the
//    current folder (the media folder). Names match case-insensitively as code page 932 text and
//    keep the case they were created with; a double-byte character's trail byte (0x5C, a letter)
//    is never a separator nor lower-cased on its own. '/' separates like '\'; "." and ".." are
//    resolved as GetFullPathName resolves them.
//  - Open handles with access and sharing modes, checked as IoCheckShareAccess does: an open that
//    asks for no data access (no read, write or delete: only kFsWriteAttributes, or nothing) is
//    never checked and never bars another open.
//  - Read-only files: no write access, no kFsCreateAlways, no remove, no rename over them. Opening
//    one with kFsDelete and renaming it succeed, as on NTFS.
//  - kFsCreateAlways over a hidden or system file is kFsAccessDenied, as CreateFile refuses it
//    when the call does not ask for those attributes itself (the seam has no way to).
//  - Delete of an open file: when every handle shares delete the name stays "delete pending"
//    (listed by a search; any open, getAttributes, setAttributes, remove or rename of it, and a
//    rename over it, is kFsAccessDenied) until its last handle closes; otherwise kFsHeld.
//  - Rename (MoveFileEx without copying): the source is opened for delete, so a handle without
//    delete sharing makes it kFsHeld. Replacing a target that any handle has open, whatever its
//    sharing, is kFsAccessDenied (NTFS refuses to supersede an open file), as is a read-only,
//    delete-pending or folder target. A folder with an open handle anywhere under it cannot be
//    renamed (kFsAccessDenied). Another drive: kFsOther (ERROR_NOT_SAME_DEVICE).
//  - removeFolder of a folder that is not empty (a delete-pending name counts) or of a file:
//    kFsOther (ERROR_DIR_NOT_EMPTY, ERROR_DIRECTORY); of a read-only folder or a drive's root:
//    kFsAccessDenied.
//  - Searches match the last component with '*' and '?' as FindFirstFile does ("*.*" is every
//    name, "a.*" also matches "a", "*." matches names without a dot, "??" also matches "a"), in the
//    order of the lower-cased names, never "." or "..". There are no 8.3 short names: Windows
//    would also match a pattern against those ("*.htm" finding "x.html"); this model does not.
//  - Space: each file takes its size rounded up to whole clusters; a write that does not fit
//    writes nothing and is kFsDiskFull. A volume can be read-only (a CD): every change on it is
//    kFsAccessDenied and it has no free space.
//  - Times come from a virtual clock. Writing sets a file's write time and its archive attribute;
//    once a handle has set the times explicitly its later writes leave them (as NTFS does).
//
// Durability, as NTFS's journal gives it: a file's bytes are on the disk as of its last flush;
// metadata operations (a file created, a rename, a remove, a folder made or removed, attributes
// set) go to one journal in order and reach the disk as a prefix of it. A rename with
// kFsWriteThrough makes it and every earlier operation durable; a flush makes durable every
// operation up to the file's own latest one (its creation, its rename). Times are not journalled
// here. The disk as the test builds it (ModelAdd...) is durable from the start.
//
// Every call through the table is counted and may be traced. Handles the table hands out are ids
// that are never reused, so a stale or foreign handle is kFsOther, never a crash.
// Portable C++17: it builds natively and for Windows.
#pragma once
#include <stdint.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "update/core/update_fs.h"

struct ModelDisk;  // the tree, the handles and the journal (model_file_system.cpp)
struct ModelDiskFree {
    void operator()(ModelDisk* disk) const;
};

struct ModelFileSystem {
    UpdateFileSystem fs;  // the seam to hand the update; its context is this model
    uint64_t nowMs;       // the virtual clock (ModelAdvanceClock)
    uint32_t operations;  // calls made through `fs` so far; the first call is operation 1
    bool tracing;         // when set, each call appends "name path" to `trace`
    std::vector<std::string> trace;
    // Operation number -> the error it returns instead of running (it changes nothing).
    std::map<uint32_t, FsError> failures;
    // When not 0: this operation and every later one return kFsDeviceError and change nothing;
    // the process is gone, the disk stays as it is (ModelEndProcess, ModelPowerCut).
    uint32_t crashAt;
    bool updated;             // the registry's `Updated` flag (markUpdated)
    std::string notedCommit;  // the registry's note of a commit under way (noteCommit)
    std::unique_ptr<ModelDisk, ModelDiskFree> disk;
};

// Makes `model` an empty model (no drives, clock at 0, nothing planned) and fills `model->fs`.
// The model must not move afterwards: the table points to it.
void ModelInit(ModelFileSystem* model);

// --- The disk, as a test builds it (not counted, not journalled, durable at once) ---

enum : uint64_t { kModelDefaultCapacity = (uint64_t)1 << 40 };
enum : uint32_t { kModelDefaultCluster = 4096 };
// Adds drive `letter` or changes it: its capacity in bytes, its cluster size, whether it is
// read-only. A drive a path names first gets the defaults (1 TiB, 4 KiB, writable).
void ModelSetDrive(ModelFileSystem* model, char letter, uint64_t capacity, uint32_t clusterSize,
                   bool readOnly);
// The folder relative paths resolve against (absolute, "M:\" or "M:\disc1").
void ModelSetCurrentFolder(ModelFileSystem* model, const char* folder);
// The folder and every missing folder above it. False for a path that names a file on the way.
bool ModelAddFolder(ModelFileSystem* model, const char* path);
// A file with `bytes`, its folders made as needed, replacing a file of that name. Times default to
// the clock's. False when a folder is in the way or the path is not valid.
bool ModelAddFile(ModelFileSystem* model, const char* path, const std::string& bytes,
                  uint32_t attributes = kFsArchive, const FsTimes* times = nullptr);

// --- What the disk holds now (not counted) ---

bool ModelExists(const ModelFileSystem* model, const char* path);  // a file or a folder
bool ModelReadFile(const ModelFileSystem* model, const char* path, std::string* bytes);
// The attributes as getAttributes reports them (kFsFolder for a folder, kFsNormal for none).
bool ModelGetAttributes(const ModelFileSystem* model, const char* path, uint32_t* attributes);
bool ModelGetTimes(const ModelFileSystem* model, const char* path, FsTimes* times);
bool ModelIsDeletePending(const ModelFileSystem* model, const char* path);
// Everything under `folder`, by path relative to it as the names were created: a file's bytes, or
// "" for a folder, whose path ends with a backslash. Empty when `folder` is not a folder.
std::map<std::string, std::string> ModelSnapshot(const ModelFileSystem* model, const char* folder);
// The full path of the file (or folder) of each handle the update holds, in the order opened.
// Holds (below) are not listed; handles a crashed process left are.
std::vector<std::string> ModelOpenHandles(const ModelFileSystem* model);
uint64_t ModelFreeBytes(const ModelFileSystem* model, char letter);

// --- Time ---

// The FILETIME of virtual time 0 (2024-01-01 00:00 UTC); time t ms is this + t * 10000.
enum : uint64_t { kModelEpochFileTime = 133485408000000000ull };
// Moves the clock on by `ms`; holds that end by then are released.
void ModelAdvanceClock(ModelFileSystem* model, uint64_t ms);
// ModelAdvanceClock for the run's wait hook: `context` is the model.
void ModelWait(void* context, uint32_t ms);

// --- Other programs ---

// Opens `path` (a file or folder) as another program would, with `access` and `share`, and
// returns the hold's id (0 when nothing of that name exists). It is granted whatever is open
// already: the test decides what the other program has. The hold is a handle like the update's
// own: it bars opens, removes and renames as that program's handle would, follows its
// file through a rename and keeps a delete-pending name until it ends.
// Until ModelRelease:
uint32_t ModelHold(ModelFileSystem* model, const char* path, uint32_t access, uint32_t share);
// Until the clock reaches `untilMs`:
uint32_t ModelHoldUntil(ModelFileSystem* model, const char* path, uint32_t access, uint32_t share,
                        uint64_t untilMs);
// For `tries` refusals: the operation it refuses the tries-th time is refused, the next is not.
uint32_t ModelHoldForTries(ModelFileSystem* model, const char* path, uint32_t access,
                           uint32_t share, uint32_t tries);
// A name that opens, renames (from or to it) and removes fail on with kFsAccessDenied, as while a
// scanner or a pending delete has it, whether or not it exists. untilMs 0: until released or for
// `tries` refusals (tries 0: until released).
uint32_t ModelDeny(ModelFileSystem* model, const char* path, uint64_t untilMs, uint32_t tries);
// Ends a hold or a denial now (an id already ended is ignored).
void ModelRelease(ModelFileSystem* model, uint32_t id);

// --- The process and the power ---

// The update's process ends: Windows closes its handles (delete-pending names go when their last
// handle closes), its searches end, and the plans (failures, crashAt) are cleared for the next
// run. The counter runs on. Holds of other programs stay.
void ModelEndProcess(ModelFileSystem* model);
// Metadata operations in the journal not yet on the disk, in order.
uint32_t ModelPendingMetadataCount(const ModelFileSystem* model);
// The disk as it is after the power failed and came back: every file has its flushed bytes, of
// the pending metadata operations the first `keepPrefix` stay and the rest are undone (from the
// last), and everything that remains is durable. Every handle, hold, denial and search is gone,
// delete-pending names stay (their delete never ran), the plans are cleared. `updated` and
// `notedCommit` stay: the registry was flushed when their operations returned.
void ModelPowerCut(ModelFileSystem* model, uint32_t keepPrefix);
