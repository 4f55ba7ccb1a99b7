// One update into a known install folder, from the check before its first byte to the record
// that it was applied: the check (preflight.h) under the one-bar display, the executable drafted
// under it, the update list measured and drafted under the two-bar display, every draft put in
// place at once (update_commit.h) or, in the one-at-a-time order, each as soon as it is drafted,
// then `Updated` recorded and the backups removed.
//
// It shows no message: how the update ended is in the run (refusal, failure, game state), for the
// player's side to tell. The display is left open on a refusal or a stop, so that the message
// can be shown over it; the caller closes it.
#pragma once
#include "update/core/update_run.h"

enum UpdateOutcome : uint8_t {
    kUpdateDone,         // every file in place, `Updated` recorded, the display closed
    kUpdateRefused,      // refused before the first byte (run->refusal); nothing was written
    kUpdateStopped,      // stopped part-way (run->failure, run->game)
    kUpdateNotRecorded,  // every file in place, but `Updated` could not be recorded (run->error)
};

UpdateOutcome PerformUpdate(UpdateRun* run);
// The same after the check: the run's plan is made and checked. The executable's display is
// opened here when the check has not left it open.
UpdateOutcome CopyCheckedUpdate(UpdateRun* run);
