// The plan of an update: every file it will copy, found in one walk of the media in copying
// order: the game executable (carried under its ".bin" name, installed under EXENAME), the plain
// entries of the update file list, then the files of its pattern entries ("|help\*.*"). A file the
// media does not carry is not planned (it is skipped, as it always was); one that is there but
// cannot be opened stops the update. The launcher and the media tools make the same plan.
#pragma once
#include "update/core/update_run.h"

// True when the plan is made (run->plan); false when the update must stop: the failure is recorded
// in the run (a media file that cannot be read, memory exhausted, Cancel).
bool BuildUpdatePlan(UpdateRun* run);
// The sizes of the files of one stage, and whether it has any.
uint64_t PlannedStageTotal(const UpdatePlan* plan, UpdateStage stage);
bool PlanHasStage(const UpdatePlan* plan, UpdateStage stage);

// Composes the full paths of `file`, file `index` of the plan, in the run's install folder: the
// installed name, its draft "~vup" + 8 hex digits + ".new" and its backup (".old") beside it.
// False when one of them does not fit a path (it is then empty).
bool ComposePlannedPaths(const UpdateRun* run, PlannedFile* file, uint32_t index);

// A pattern entry split at its last separator ("help\*.*": "help"), code page 932 aware: the
// trail byte of a double-byte character may be 0x5C. `folder` (kUpdatePathBytes bytes) is empty
// when the pattern names no folder. False when the folder does not fit.
bool SplitPatternFolder(const char* pattern, char* folder);
