// What the user is told when an update stops: why (the run's failure, with the file it names) and
// what became of the installed game (unchanged, restored, partly updated), in one error box.
#pragma once
#include "update/update_run.h"

void ReportStoppedUpdate(const UpdateRun* run, GameState state);
