// The state of one update, handed from step to step: the install folder, the plan of every file it
// copies, Cancel, what is done and, once the update has stopped, what failed and where.
//
// The plan is made once (update_plan.h): the check before the first byte checks it, the copy
// dialogs measure it, the drafting works through it and the commit puts it in place.
#pragma once
#include <windows.h>
#include <stdint.h>

enum { kRunPathSize = 260 };

enum UpdateStage : uint8_t {
    kStageExecutable,  // drafted under the one-bar dialog
    kStageList,        // drafted under the two-bar dialog
};

struct PlannedFile {
    char source[kRunPathSize];  // on the media, relative to the media folder ("help\表.htm")
    char target[kRunPathSize];  // in the install folder, relative to it ("VORLIN.EXE")
    uint64_t size;              // as planned; the copy takes the file as it then is
    uint64_t oldSize;           // the file it replaces (when `replaces`)
    uint64_t digest;            // the sealed digest and size (when `sealed`)
    uint64_t sealedSize;
    FILETIME created, accessed, written;  // the source's times, read while it is drafted
    bool replaces;              // a file of that name is in the install folder now
    bool sealed;                // update.sum lists it
    UpdateStage stage;
};

enum { kMaxPlanFolders = 8 };

struct UpdatePlan {
    PlannedFile* files;
    uint32_t count;
    uint32_t capacity;
    // Sub-folders of the install folder that the update writes into, in order, and whether this
    // update made each one (it did not exist before).
    char folders[kMaxPlanFolders][kRunPathSize];
    bool folderMade[kMaxPlanFolders];
    uint32_t folderCount;
};

// Why an update stopped; each has its own message (update_report.h).
enum UpdateFailure {
    kFailNone,
    kFailCancelled,       // Cancel pressed
    kFailMediaUnreadable, // a media file cannot be opened or read (removed, damaged disc)
    kFailMediaDamaged,    // a media file is not the sealed one (size or digest)
    kFailMediaInUse,      // another program holds a media file, beyond the time allowed
    kFailInUse,           // another program holds the file, beyond the time allowed
    kFailAccessDenied,    // no right to write there (a standard user, a read-only volume)
    kFailDiskFull,        // the install volume filled up
    kFailOther,           // any other error of a file operation
};

// How far the installed game has moved when an update stops.
enum GameState {
    kGameUnchanged,   // nothing installed was touched
    kGameRestored,    // the commit was undone: the game is the old one again
    kGameNotRestored, // the commit could not be undone; the journal stays for the next update
    kGamePartly,      // files replaced one at a time: some are new, the rest old
};

struct UpdateRun {
    char installFolder[kRunPathSize];  // no trailing backslash
    UpdatePlan plan;
    volatile LONG cancelled;  // set by a copy dialog's Cancel; stays set for the whole update
    bool fileByFile;          // each file is put in place as soon as it is drafted
    uint32_t drafted;         // files of the plan drafted (all at once) or in place (file by file)
    uint32_t replaced;        // files put in place file by file
    UpdateFailure failure;
    DWORD error;              // the failed operation's system error
    char failedFile[kRunPathSize];  // the file to name: a media name, or a full installed path
};

// A new run for `installFolder` (copied; no trailing backslash).
void BeginUpdateRun(UpdateRun* run, const char* installFolder);
void EndUpdateRun(UpdateRun* run);
// Records the first failure of the run (later ones are consequences of it).
void RecordFailure(UpdateRun* run, UpdateFailure failure, DWORD error, const char* file);
// The failure a file operation's `error` stands for: on the media (a source) or in the install
// folder (a draft, backup or installed file).
UpdateFailure FailureOfMediaError(DWORD error);
UpdateFailure FailureOfInstallError(DWORD error);
// `out` (kRunPathSize bytes) receives the install folder joined with the relative `name`; false
// when that does not fit.
bool InstallPath(const UpdateRun* run, const char* name, char* out);
