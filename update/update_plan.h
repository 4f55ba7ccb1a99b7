// The plan of an update: every file it will copy, found in one walk of the media in copying
// order: the game executable (carried under its ".bin" name, installed under EXENAME), the plain
// entries of the update file list, then the files of its pattern entries ("|help\*.*"). A file the
// media does not carry is not planned (it is skipped, as it always was); one that is there but
// cannot be opened stops the update.
#pragma once
#include "update/update_run.h"

// True when the plan is made (run->plan); false when the update must stop: the failure is recorded
// in the run (a media file that cannot be read, memory exhausted).
bool BuildUpdatePlan(UpdateRun* run);
void ReleaseUpdatePlan(UpdatePlan* plan);
// The sizes of the files of one stage.
int64_t PlannedStageTotal(const UpdatePlan* plan, UpdateStage stage);

// A pattern entry split at its folder ("help\*.*": "help" and "*.*"), code page 932 aware: the
// trail byte of a double-byte character may be 0x5C. `folder` (kRunPathSize bytes) is empty when
// the pattern names no folder. False when the folder does not fit.
bool SplitPatternFolder(const char* pattern, char* folder);

// A search of the files (not folders) a pattern matches, in the media folder.
struct MatchSearch {
    HANDLE handle;
    bool pending;  // the first result is still to be returned
    char folder[kRunPathSize];  // the pattern's folder with its backslash, or ""
    WIN32_FIND_DATAA found;
    char match[kRunPathSize];
    DWORD error;  // why the search ended early (a folder that cannot be read), or 0
};
// False when nothing matches or the folder cannot be searched (`error` then says why; no search is
// left open).
bool BeginMatchSearch(MatchSearch* search, const char* pattern);
// The next match as the pattern's folder and the found name ("help\readme.txt"); null when there
// is no more or the folder could not be read further (`error`); the search is then closed. Names that would not fit a path are passed over.
const char* NextMatch(MatchSearch* search);
void EndMatchSearch(MatchSearch* search);
