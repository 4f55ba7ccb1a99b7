// The two copy stages of an update: the game executable (carried on the media under a ".bin"
// name, installed under EXENAME) with the one-bar dialog, then the fixed update file list,
// measured and copied with the two-bar dialog, whose last step puts every drafted file in place.
// What each stage copies is the run's plan (update_plan.h).
#pragma once
#include "update/update_run.h"

// 0 when the executable was drafted (or put in place, file by file), or is not on the media;
// 1 when the update stopped (its box shown, the drafts removed, the dialog closed).
int CopyGameExecutable(UpdateRun* run);
// 0 when every planned list file was drafted and every draft of the update put in place (the
// update is done; the backups are removed by the caller after recording it); 1 when it stopped
// (its box shown, the game as the box says).
int CopyUpdateFiles(UpdateRun* run);
