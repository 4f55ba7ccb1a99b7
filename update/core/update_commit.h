// Putting an update's drafts in place, all or nothing, and finishing off an update that was
// stopped in the middle of doing so.
//
// The commit: a journal naming every file (journal_format.h) is written into the install folder
// and flushed; then, file by file, the old file is moved aside under its backup name and its draft
// moved in under the real name, each rename written through; once every file is in place a commit
// mark is written beside the journal and flushed. That flush is the moment the update counts as
// done: the journal, the mark and the backups are removed after it, and `Updated` is written. A
// failure or Cancel before that moment undoes the renames made so far.
//
// Recovery: an update that finds a journal undoes the interrupted commit before anything else,
// rather than finishing it. The undo needs only the old files, which the commit moved aside but
// never changed, and the same undo serves a commit that fails in this process; finishing would need
// every draft, and would install files of a media that may no longer be the one inserted. The
// update then goes on from the old game as from any other.
#pragma once
#include "update/core/update_run.h"

// Makes the plan's folders that do not exist yet (recorded in the plan). False with the failure
// recorded.
bool MakePlanFolders(UpdateRun* run);
// Puts every drafted file in place. True when committed; false with the failure recorded and
// run->game kGameRestored (undone; nothing of the update left) or kGameNotRestored (the undo
// itself failed; the journal stays for the next update).
bool CommitUpdate(UpdateRun* run);
// After a failure while drafting: removes the drafts made so far and the folders the update made.
void RemoveDrafts(UpdateRun* run);
// After the commit: removes the old files' backups (leftovers of a failure here are removed by the
// next update).
void RemoveBackups(UpdateRun* run);
// The record of the one-at-a-time order: written and flushed before its first file is put in
// place, removed once the update has every file in place, so that an update that finds it knows
// the game is partly updated. False with the failure recorded.
bool RecordOneAtATime(UpdateRun* run);
void ClearOneAtATimeRecord(UpdateRun* run);
// Whether the record is there: kFsOk with *there, or the error.
FsError FindOneAtATimeRecord(UpdateRun* run, bool* there);
// File by file: moves the draft of file `index` over its destination at once. False with the
// failure recorded (the draft removed).
bool PutDraftInPlaceNow(UpdateRun* run, uint32_t index);

enum RecoveryResult : uint8_t {
    kNoInterruptedUpdate,  // no journal, or one of an update stopped before any installed file
                           // was touched (cut short, or written before folders it made: cleared)
    kInterruptedUpdateUndone,
    kInterruptedUpdateFinished,   // it had passed its commit point: its side files cleared away
    kInterruptedUpdateNotUndone,  // failure recorded in the run; the journal stays
    kJournalNotLookedAt,          // whether there is one cannot be told: failure recorded
};
// Looks for the journal of an interrupted commit in the run's install folder and undoes it, or,
// when it had passed its commit point, clears away its side files.
RecoveryResult RecoverInterruptedUpdate(UpdateRun* run);
// Deletes the update's own side files (drafts, backups, earlier launchers' temporary files) left
// in `folder` without a journal. One another program holds is tried again within the run's hold
// limit, shared by every such file of the sweep, then left: its name carries another run's id, so
// it is never taken for this update's. Returns how many were left; `left` (kUpdatePathBytes, may
// be null) receives the first one's path when it is still empty.
int RemoveUpdateLeftovers(UpdateRun* run, const char* folder, char* left);
