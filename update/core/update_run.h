// The state of one update, and its one owner: the file system it works on, the display it reports
// to, the install folder, the plan of every file it copies, the media's seal, Cancel, what is done
// and, once the update has ended, how it ended. It is handed from step to step; no step keeps
// state of its own between calls.
//
// The plan is made once (update_plan.h): the check before the first byte checks it, the display
// measures it, the drafting works through it and the commit puts it in place.
#pragma once
#include <stdint.h>

#include "update/core/seal_index.h"
#include "update/core/update_fs.h"
#include "update/core/update_list.h"
#include "update/core/update_progress.h"

struct PlannedFile {
    char source[kUpdatePathBytes];  // on the media, relative to the media folder ("help\表.htm")
    char target[kUpdatePathBytes];  // in the install folder, relative to it ("VORLIN.EXE")
    // Its full paths in the install folder, composed once (ComposePlannedPaths): the installed
    // file, its draft and its backup; each empty when it does not fit a path.
    char installed[kUpdatePathBytes];
    char draft[kUpdatePathBytes];
    char backup[kUpdatePathBytes];
    uint64_t size;     // as planned; the copy takes the file as it then is
    uint64_t oldSize;  // the file it replaces (when `replaces`)
    uint64_t digest;   // the sealed digest and size (when `sealed`)
    uint64_t sealedSize;
    FsTimes times;  // the source's times, read while it is drafted
    bool replaces;  // a file of that name is in the install folder now
    bool sealed;    // update.sum lists it (as entry `sealIndex`)
    uint32_t sealIndex;
    UpdateStage stage;
};

enum { kMaxPlanFolders = 8 };

struct UpdatePlan {
    PlannedFile* files;
    uint32_t count;
    uint32_t capacity;
    // Sub-folders of the install folder that the update writes into, in order, and whether this
    // update made each one (it did not exist before).
    char folders[kMaxPlanFolders][kUpdatePathBytes];
    char folderPaths[kMaxPlanFolders][kUpdatePathBytes];  // full; empty when it does not fit
    bool folderMade[kMaxPlanFolders];
    uint32_t folderCount;
};

// Why an update stopped part-way; each has its own message.
enum UpdateFailure : uint8_t {
    kFailNone,
    kFailCancelled,          // Cancel pressed
    kFailMediaUnreadable,    // a media file cannot be opened or read (removed, damaged disc)
    kFailMediaDamaged,       // a media file is not the sealed one (size or digest)
    kFailMediaInUse,         // another program holds a media file, beyond the time allowed
    kFailInUse,              // another program holds the file, beyond the time allowed
    kFailAccessDenied,       // no right to write there (a standard user, a read-only volume)
    kFailDiskFull,           // the install volume filled up
    kFailJournalUnreadable,  // an interrupted update's journal cannot be read beside backups
    kFailOther,              // any other error of a file operation
};

// Why an update was refused before its first byte: nothing was written. Each has its own message.
enum UpdateRefusal : uint8_t {
    kRefusedNone,
    kRefusedFolderMissing,      // the install folder is not there (failedFile)
    kRefusedUpdateRunning,      // another update holds the install folder's lock
    kRefusedCannotReplace,      // a folder stands where a file goes, or a file where a folder goes
    kRefusedSealBroken,         // update.sum is damaged or not a seal
    kRefusedSealedFileMissing,  // the seal lists a file the media does not carry
    kRefusedSealedNotCopied,    // the seal lists a file the update would not copy
    kRefusedNotSealed,          // the update would copy a file the seal does not list
    kRefusedSealedSizeDiffers,  // a media file's size is not the sealed one
    kRefusedNoRoom,             // not even one file at a time fits (figures)
    kRefusedDeclined,           // the player declined the one-at-a-time order (told nothing)
};

// How far the installed game has moved when an update stops.
enum GameState : uint8_t {
    kGameUnchanged,    // nothing installed was touched
    kGameRestored,     // the commit was undone: the game is the old one again
    kGameNotRestored,  // the commit could not be undone; the journal stays for the next update
    kGamePartly,       // files replaced one at a time: some are new, the rest old
};

// The update's own files in the install folder, composed once when the run begins; each is empty
// when the install folder is too long for it.
struct SideFilePaths {
    char lock[kUpdatePathBytes];        // held from the check to the end: one update at a time
    char journal[kUpdatePathBytes];     // the commit's journal (journal_format.h)
    char commitMark[kUpdatePathBytes];  // the commit point: every new file is in place
    char oneAtATime[kUpdatePathBytes];  // the game is being updated one file at a time
};

struct UpdateRun {
    const UpdateFileSystem* fs;
    const UpdateProgress* progress;
    uint32_t holdLimitMs;  // how long a file another program holds is waited for
    // This update's own: its side files' names carry it, so that no side file another update
    // left is ever taken for one of this update's. 0 names them as earlier launchers did.
    uint32_t runId;
    char installFolder[kUpdatePathBytes];  // no trailing backslash
    char exeName[kUpdateNameBytes];        // EXENAME: the executable's installed name
    SideFilePaths sides;
    UpdatePlan plan;
    SealIndex seal;
    FsFile lock;           // the install folder's lock, held from the check to the end (or null)
    bool cancelled;        // set by the display's Cancel; stays set for the whole update
    bool fileByFile;       // each file is put in place as soon as it is drafted
    bool journalled;       // the commit's journal is written (before the folders it names)
    uint32_t drafted;      // files of the plan drafted (all at once) or in place (file by file)
    uint32_t replaced;     // files put in place file by file
    uint64_t stageCopied;  // bytes drafted in the stage under way
    // How the update ended (see PerformUpdate): a refusal, or a failure and the game's state.
    UpdateRefusal refusal;
    UpdateFailure failure;
    GameState game;
    FsError error;                      // the failed operation's error
    char failedFile[kUpdatePathBytes];  // the file to name: a media name, or a full installed path
    uint64_t figures[3];                // kRefusedNoRoom: needed all at once, one at a time, free
};

enum : uint32_t { kDefaultHoldLimitMs = 10000 };

// A new run on `fs`, reporting to `progress`, for `installFolder` (copied; no trailing backslash)
// and the executable's installed name `exeName`.
void BeginUpdateRun(UpdateRun* run, const UpdateFileSystem* fs, const UpdateProgress* progress,
                    const char* installFolder, const char* exeName);
// `out` (kUpdatePathBytes bytes) receives the install folder joined with the relative `name`
// ("help\index.htm", "~vup-journal.txt"); false when that does not fit.
bool InstallFolderPath(const UpdateRun* run, const char* name, char* out);
// Releases the install folder's lock, if taken, and frees the plan and the seal.
void EndUpdateRun(UpdateRun* run);
// Frees the plan's files and empties it.
void ReleaseUpdatePlan(UpdatePlan* plan);
// Records the first failure of the run (later ones are consequences of it).
void RecordFailure(UpdateRun* run, UpdateFailure failure, FsError error, const char* file);
// The failure an operation's `error` stands for: on the media (a source) or at `path` in the
// install folder (a draft, backup or installed file, a folder). Access denied that has lasted is
// told by the cause a probe can prove: when a new file can be written beside `path`, the folder
// is writable and the file itself is busy (a scanner, a name pending deletion), not forbidden.
UpdateFailure FailureOfMediaError(FsError error);
UpdateFailure FailureOfInstallError(const UpdateRun* run, FsError error, const char* path);

// Closes the install folder's lock, taken by the check before the first byte (preflight.h), and
// removes its file.
void ReleaseInstallLock(UpdateRun* run);

// One operation's waits (or one sweep's, shared by its files): started with {} before the first
// try. After a try that failed with `error`, WaitOutHold pauses and returns true to try again:
// for a held file (or access denied) while time is left of the run's hold limit and, with
// `cancellable`, Cancel was not pressed. 50 ms, doubling up to a second a try.
struct HoldWait {
    uint32_t waitedMs;
    uint32_t tries;
};
bool WaitOutHold(UpdateRun* run, HoldWait* wait, FsError error, bool cancellable);

// The operations an update makes on files another program may hold for a moment (a virus scanner,
// an indexer): each is tried again, with growing waits through the display, until the run's hold
// limit is used up. Access denied is waited out the same way: a scanner's handle and a name
// pending deletion refuse with it for as long as they last. With `cancellable`, Cancel ends the
// waiting. A file already gone counts as removed.
FsError OpenWhenFree(UpdateRun* run, const char* path, uint32_t access, uint32_t share,
                     FsCreate create, bool cancellable, FsFile* file);
FsError RenameWhenFree(UpdateRun* run, const char* from, const char* to, uint32_t flags,
                       bool cancellable);
FsError RemoveWhenFree(UpdateRun* run, const char* path);
FsError SetAttributesWhenFree(UpdateRun* run, const char* path, uint32_t attributes);
