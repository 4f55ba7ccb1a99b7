// Every text of the update that the player reads: the question, the copy dialogs' lines, the
// install folder's boxes, and the message that tells how an update ended. Code page 932, as the
// program's other texts.
#pragma once
#include "update/core/perform_update.h"
#include "update/core/update_run.h"

extern const char kUpdateQuestion[];       // before anything is done
extern const char kUpdateDoneText[];       // the update is applied
extern const char kUpdateCancelled[];      // Cancel, or a choice not made
extern const char kNoInstallFolder[];      // the registry names no install folder
extern const char kFolderNotWritable[];    // the chosen folder cannot be made
extern const char kNetworkFolder[];        // a network path was typed
extern const char kRootFolder[];           // a drive root was typed
extern const char kConfirmFolder[];        // "[%s]にインストールします"
extern const char kBrowseTitle[];          // the folder browser's line
extern const char kRecoveredEarlier[];     // an interrupted update was undone; the update goes on
extern const char kWasPartlyEarlier[];     // an earlier one-at-a-time update stopped part-way
extern const char kSideFileLeftEarlier[];  // %s: a side file of an earlier update, held: left
extern const char kOneAtATimeQuestion[];   // %lu MB needed at once, %lu MB free

// What the copy dialog says while no file is copied.
const char* UpdateStepText(UpdateStep step);

// Tells the player how the update ended, in one box: the done message, the refusal, or why it
// stopped and how the game stands. A declined update is told nothing.
void TellUpdateEnd(const UpdateRun* run, UpdateOutcome outcome);
