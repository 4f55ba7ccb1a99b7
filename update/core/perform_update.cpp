// One update into a known install folder (see perform_update.h).
#include "update/core/perform_update.h"

#include <stdlib.h>

#include "update/core/draft_pump.h"
#include "update/core/preflight.h"
#include "update/core/update_commit.h"
#include "update/core/update_plan.h"

// The update stops while drafting: what it drafted goes, and the game is as the order left it.
static UpdateOutcome Stop(UpdateRun* run) {
    run->game = run->fileByFile && run->replaced > 0 ? kGamePartly : kGameUnchanged;
    RemoveDrafts(run);
    return kUpdateStopped;
}

// Drafts the plan's files of `stage`, in order; file by file, each is put in place at once.
static bool DraftStage(UpdateRun* run, UpdateStage stage) {
    uint8_t* buffer = (uint8_t*)malloc(kDraftChunk);
    if (!buffer) {
        RecordFailure(run, kFailOther, kFsNoMemory, "");
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

UpdateOutcome PerformUpdate(UpdateRun* run) {
    const UpdateProgress* progress = run->progress;
    progress->open(progress->context, kStageExecutable, 0);
    progress->showStep(progress->context, kStepChecking);
    if (!CheckUpdateBeforeCopying(run)) {
        return run->refusal != kRefusedNone ? kUpdateRefused : kUpdateStopped;
    }
    return CopyCheckedUpdate(run);
}

UpdateOutcome CopyCheckedUpdate(UpdateRun* run) {
    const UpdateProgress* progress = run->progress;
    // The one-at-a-time order leaves a record of itself before it replaces anything.
    if (run->fileByFile && !RecordOneAtATime(run)) return kUpdateStopped;
    // The executable, under the one-bar display the check opened; not on the media: nothing to
    // show.
    if (PlanHasStage(&run->plan, kStageExecutable)) {
        progress->open(progress->context, kStageExecutable, 0);
        run->stageCopied = 0;
        if (!DraftStage(run, kStageExecutable)) return Stop(run);
    }
    progress->close(progress->context);

    run->stageCopied = 0;
    progress->open(progress->context, kStageList, PlannedStageTotal(&run->plan, kStageList));
    progress->showStep(progress->context, kStepChecking);
    // Cancel pressed while the files were measured stops the list before its first file, even
    // when no file of the list is on the media.
    if (run->cancelled) RecordFailure(run, kFailCancelled, kFsOk, "");
    if (run->failure != kFailNone || !MakePlanFolders(run) || !DraftStage(run, kStageList)) {
        return Stop(run);
    }
    if (!run->fileByFile) {
        progress->showStep(progress->context, kStepCommitting);
        if (!CommitUpdate(run)) return kUpdateStopped;
    }
    progress->close(progress->context);
    // Every file is in place, in either order: the game is no longer partly updated.
    ClearOneAtATimeRecord(run);
    // The game is new from the commit on; the record only tells the menu so.
    FsError recorded = run->fs->markUpdated(run->fs->context);
    RemoveBackups(run);
    if (recorded != kFsOk) {
        run->error = recorded;
        return kUpdateNotRecorded;
    }
    return kUpdateDone;
}
