// What a run reports to the player's side, and asks of it: the copy dialogs with their bars, the
// waits while another program holds a file, and the two questions an update may put. The launcher
// hands a run its copy dialog (update/windows/copy_dialog.h); the tests hand it a recorder.
//
// The run never waits or shows anything by itself: a pause goes through `wait`, which keeps the
// dialog answering, so Cancel is seen while a held file is waited for.
#pragma once
#include <stdint.h>

// The two displays of an update: the one-bar display while the update is checked and the game
// executable is drafted, the two-bar display (a bar for the file, one for the total) for the files
// of the update list.
enum UpdateStage : uint8_t {
    kStageExecutable,
    kStageList,
};

// What the display says while no file is being copied.
enum UpdateStep : uint8_t {
    kStepChecking,    // the media and the install folder are looked at
    kStepCommitting,  // the drafts are put in place
};

// What a run tells the player on its way, before it goes on.
enum UpdateNotice : uint8_t {
    kNoticeRecovered,     // an interrupted commit of an earlier update was undone
    kNoticeWasPartly,     // an earlier update in the one-at-a-time order stopped part-way
    kNoticeSideFileLeft,  // a side file of an earlier update is held by another program: left
};

struct UpdateProgress {
    void* context;  // handed to every call
    // Shows the display of `stage` (replacing one of the other stage); `total` is the bytes the
    // stage copies (the two-bar display's total bar).
    void (*open)(void* context, UpdateStage stage, uint64_t total);
    void (*close)(void* context);
    void (*showStep)(void* context, UpdateStep step);
    // A file begins to be copied (`name` as on the media), then `fileDone` of its bytes and
    // `stageDone` of the stage's are copied. Called for every chunk: the display paces itself.
    void (*beginFile)(void* context, const char* name, uint64_t size);
    void (*advance)(void* context, uint64_t fileDone, uint64_t stageDone);
    // Keeps the display answering for `ms` milliseconds (0: once, at once), returning early once
    // `*stopWhenSet` becomes true (when not null). Cancel sets the run's flag meanwhile.
    void (*wait)(void* context, uint32_t ms, const bool* stopWhenSet);
    // Something the player is told on the way, naming `file` (kNoticeSideFileLeft); the update
    // goes on.
    void (*tell)(void* context, UpdateNotice notice, const char* file);
    // Only the one-at-a-time order fits the volume: true to update file by file.
    bool (*askFileByFile)(void* context, uint64_t neededAllAtOnce, uint64_t available);
};
