// The two copy stages of an update (see update_files.h).
#include "update/update_files.h"

#include <windows.h>
#include <mbstring.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ui/alloc.h"
#include "update/file_copy.h"
#include "update/update_commit.h"
#include "update/update_plan.h"
#include "update/update_report.h"

// The run whose drafts exist while the stages draft, so that leaving the process then (a quit
// message met while the queue is drained) removes them: until the commit begins, nothing installed
// has been touched and the drafts are all the update has written.
static UpdateRun* g_draftingRun;
static bool g_exitHookRegistered;

static void RemoveDraftsAtExit() {
    if (g_draftingRun) RemoveDrafts(g_draftingRun);
    g_draftingRun = nullptr;
}

static void BeginDrafting(UpdateRun* run) {
    if (!g_exitHookRegistered) {
        atexit(RemoveDraftsAtExit);
        g_exitHookRegistered = true;
    }
    g_draftingRun = run;
}

// The update stops: what it drafted goes, and the user is told how the game stands.
static int Stop(UpdateRun* run) {
    g_draftingRun = nullptr;
    GameState state = kGameUnchanged;
    if (run->fileByFile) {
        if (run->replaced > 0) state = kGamePartly;
    }
    RemoveDrafts(run);
    ReportStoppedUpdate(run, state);
    CloseCopyDialog();
    return 1;
}

// Drafts the plan's files of `stage`, in order; file by file, each is put in place at once.
static bool DraftStage(UpdateRun* run, UpdateStage stage) {
    uint8_t* buffer = (uint8_t*)AllocOrWarn(kCopyUnit);
    if (!buffer) {
        RecordFailure(run, kFailOther, ERROR_NOT_ENOUGH_MEMORY, "");
        return false;
    }
    bool goOn = true;
    for (uint32_t i = 0; i < run->plan.count && goOn; i++) {
        if (run->plan.files[i].stage != stage) continue;
        goOn = DraftPlannedFile(run, i, buffer) && (!run->fileByFile || PutDraftInPlaceNow(run, i));
        if (goOn) run->drafted++;
    }
    free(buffer);
    return goOn;
}

static bool HasStage(const UpdateRun* run, UpdateStage stage) {
    for (uint32_t i = 0; i < run->plan.count; i++) {
        if (run->plan.files[i].stage == stage) return true;
    }
    return false;
}

int CopyGameExecutable(UpdateRun* run) {
    // Not on the media: nothing to show.
    if (!HasStage(run, kStageExecutable)) {
        CloseCopyDialog();
        return 0;
    }
    // The check before the update leaves its one-bar dialog open for this copy.
    if (!IsOneBarCopyDialogOpen()) OpenCopyDialog(&run->cancelled);
    BeginDrafting(run);
    if (!DraftStage(run, kStageExecutable)) return Stop(run);
    CloseCopyDialog();
    return 0;
}

int CopyUpdateFiles(UpdateRun* run) {
    OpenCopyDialogWithTotal(0, &run->cancelled);
    BeginDrafting(run);
    ShowCopyDialogText("ファイルの検査中...");
    AddBytesToCopyTotal(PlannedStageTotal(&run->plan, kStageList));
    // Cancel pressed while the files were measured stops the list before its first file, even
    // when no file of the list is on the media.
    if (run->cancelled) RecordFailure(run, kFailCancelled, 0, "");
    if (run->failure != kFailNone || !MakePlanFolders(run) || !DraftStage(run, kStageList)) {
        return Stop(run);
    }
    g_draftingRun = nullptr;  // from here on the journal tells what to undo
    if (!run->fileByFile) {
        ShowCopyDialogText("ファイルを更新しています...");
        GameState state;
        if (!CommitUpdate(run, &state)) {
            ReportStoppedUpdate(run, state);
            CloseCopyDialog();
            return 1;
        }
    }
    CloseCopyDialog();
    return 0;
}
