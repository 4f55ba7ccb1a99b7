// The check before the first byte of an update (see preflight.h).
//
// On a sealed media (update.sum) every file the update would copy must be listed in the seal with
// its size, and every file the seal lists must be on the media; the bytes themselves are checked
// against the sealed digest while they are drafted.
#include "update/core/preflight.h"

#include <stdio.h>
#include <stdlib.h>

#include "resfs/cp932_lower.h"
#include "update/core/space_plan.h"
#include "update/core/update_commit.h"
#include "update/core/update_plan.h"

// Records a refusal, naming `file` (may be null), unless the run already stopped for another cause.
static void RecordRefusal(UpdateRun* run, UpdateRefusal refusal, const char* file) {
    if (run->failure != kFailNone || run->refusal != kRefusedNone) return;
    run->refusal = refusal;
    snprintf(run->failedFile, sizeof run->failedFile, "%s", file ? file : "");
}

// One update per install folder: the lock is a file of the update's own in the install folder,
// open without sharing from this check to the end of the update (ReleaseInstallLock), so that a
// second launcher of any title or version is refused before it touches anything, and recovery
// never runs under a live commit. A lock a killed launcher left is taken over freely. False with
// the refusal (or the failure) recorded.
static bool TakeInstallLock(UpdateRun* run) {
    const char* path = run->sides.lock;
    if (!path[0]) {
        RecordFailure(run, kFailOther, kFsNameTooLong, run->installFolder);
        return false;
    }
    // A scanner may open the new lock file for a moment; a second launcher keeps it.
    FsError error = OpenWhenFree(run, path, kFsWrite, 0, kFsCreateAlways, true, &run->lock);
    if (error == kFsOk) return true;
    run->lock = nullptr;
    if (error == kFsHeld && run->cancelled) {
        RecordFailure(run, kFailCancelled, error, run->installFolder);
    } else if (error == kFsHeld) {
        RecordRefusal(run, kRefusedUpdateRunning, run->installFolder);
    } else {
        RecordFailure(run, FailureOfInstallError(run, error, path), error, run->installFolder);
    }
    return false;
}

// Whether the update `run` goes on after the recovery of an interrupted update in the install
// folder of `recovering` (run itself, or the run that recovered another folder): an undo is told,
// a failure of it stops the update with that failure.
static bool GoOnAfterRecovery(UpdateRun* run, const UpdateRun* recovering, RecoveryResult result) {
    switch (result) {
        case kNoInterruptedUpdate:
        case kInterruptedUpdateFinished:
            return true;
        case kInterruptedUpdateUndone:
            run->progress->tell(run->progress->context, kNoticeRecovered, nullptr);
            return true;
        case kInterruptedUpdateNotUndone:
            run->game = kGameNotRestored;
            break;
        case kJournalNotLookedAt:
            break;
    }
    if (recovering != run) {
        RecordFailure(run, recovering->failure, recovering->error, recovering->failedFile);
    }
    return false;
}

// An update whose commit was interrupted in another install folder than this one (the player has
// pointed this update elsewhere, at a folder chosen in the dialog, say) is undone first, in its
// own folder and under that folder's lock. False when that undo failed (recorded, naming the file
// in that folder). A folder another launcher is updating now is left to it.
static bool RecoverNotedCommit(UpdateRun* run) {
    const UpdateFileSystem* fs = run->fs;
    char noted[kUpdatePathBytes] = "";
    if (fs->notedCommit(fs->context, noted) != kFsOk || !noted[0] ||
        EqualCp932IgnoringCase(noted, run->installFolder)) {
        return true;  // none, or this folder's own, undone with it
    }
    UpdateRun other;
    BeginUpdateRun(&other, fs, run->progress, noted, run->exeName);
    other.holdLimitMs = run->holdLimitMs;
    bool goOn = true, done = true;
    uint32_t attributes = 0;
    if (fs->getAttributes(fs->context, noted, &attributes) != kFsOk) {
        // Gone (or out of reach, a removed drive): nothing left to undo here.
    } else if (!TakeInstallLock(&other)) {
        done = false;
    } else {
        goOn = done = GoOnAfterRecovery(run, &other, RecoverInterruptedUpdate(&other));
    }
    if (done) fs->noteCommit(fs->context, "");
    EndUpdateRun(&other);
    return goOn;
}

// Keeps the display answering; true once Cancel was pressed (recorded).
static bool CancelSeen(UpdateRun* run) {
    run->progress->wait(run->progress->context, 0, nullptr);
    if (!run->cancelled) return false;
    RecordFailure(run, kFailCancelled, kFsOk, "");
    return true;
}

// Loads the media's seal into run->seal and checks that it is intact and that every file it lists
// is on the media. False with the refusal recorded.
static bool CheckMediaSeal(UpdateRun* run) {
    FsError error = kFsOk;
    SealState state = LoadSeal(run->fs, &run->seal, &error);
    if (state == kSealUnreadable) {
        RecordFailure(run, FailureOfMediaError(error), error, kSealFileName);
        return false;
    }
    if (state == kSealMalformed || state == kSealDamaged) {
        RecordRefusal(run, kRefusedSealBroken, kSealFileName);
        return false;
    }
    for (uint32_t i = 0; i < run->seal.count; i++) {
        if (!SealedFileOnMedia(run, i)) {
            RecordRefusal(run, kRefusedSealedFileMissing, run->seal.entries[i].name);
            return false;
        }
    }
    return true;
}

bool SealedFileOnMedia(const UpdateRun* run, uint32_t index) {
    uint32_t attributes = 0;
    return run->fs->getAttributes(run->fs->context, run->seal.entries[index].name, &attributes) ==
               kFsOk &&
           !(attributes & kFsFolder);
}

UpdateRefusal CheckFileAgainstSeal(const UpdateRun* run, const PlannedFile* file) {
    if (run->seal.sealed && !file->sealed) return kRefusedNotSealed;
    if (file->sealed && file->sealedSize != file->size) return kRefusedSealedSizeDiffers;
    return kRefusedNone;
}

// One planned file against the seal. False with the refusal recorded.
static bool PlannedFileSealed(UpdateRun* run, const PlannedFile* file) {
    UpdateRefusal refusal = CheckFileAgainstSeal(run, file);
    if (refusal == kRefusedNone) return true;
    RecordRefusal(run, refusal, file->source);
    return false;
}

void MarkSealedEntriesCopied(const UpdateRun* run, bool* copied) {
    for (uint32_t i = 0; i < run->seal.count; i++) copied[i] = false;
    for (uint32_t i = 0; i < run->plan.count; i++) {
        const PlannedFile* file = &run->plan.files[i];
        if (file->sealed && file->sealIndex < run->seal.count) copied[file->sealIndex] = true;
    }
}

// Every file the seal lists is one the update copies. False with the refusal recorded.
static bool SealedFilesAllCopied(UpdateRun* run) {
    if (run->seal.count == 0) return true;
    bool* copied = (bool*)malloc(run->seal.count * sizeof(bool));
    if (!copied) {
        RecordFailure(run, kFailOther, kFsNoMemory, kSealFileName);
        return false;
    }
    MarkSealedEntriesCopied(run, copied);
    bool all = true;
    for (uint32_t i = 0; i < run->seal.count && all; i++) {
        if (!copied[i]) {
            RecordRefusal(run, kRefusedSealedNotCopied, run->seal.entries[i].name);
            all = false;
        }
    }
    free(copied);
    return all;
}

// Whether the installed file `destination` can be replaced now: true when it is absent or may be
// renamed; false with *error (kFsAccessDenied for a folder in the way, with *isFolder).
static bool DestinationReplaceable(UpdateRun* run, const char* destination, FsError* error,
                                   bool* isFolder) {
    const UpdateFileSystem* fs = run->fs;
    *error = kFsOk;
    *isFolder = false;
    uint32_t attributes = 0;
    if (fs->getAttributes(fs->context, destination, &attributes) != kFsOk) return true;
    if (attributes & kFsFolder) {
        *error = kFsAccessDenied;
        *isFolder = true;
        return false;
    }
    // What a rename of the file needs, no more: the right to delete it, and no other program
    // holding it without sharing its deletion. Readers that share it (an indexer) may stay.
    FsFile probe = nullptr;
    *error = OpenWhenFree(run, destination, kFsDelete, kFsShareAll, kFsOpenExisting, false, &probe);
    if (*error != kFsOk) return false;
    fs->close(fs->context, probe);
    return true;
}

// Each planned file against the seal, and its destination: replaceable now; each sub-folder the
// update writes into: not a file.
static bool CheckPlannedFiles(UpdateRun* run) {
    for (uint32_t i = 0; i < run->plan.count; i++) {
        if (!PlannedFileSealed(run, &run->plan.files[i])) return false;
        const char* destination = run->plan.files[i].installed;
        FsError error = kFsOk;
        bool isFolder = false;
        if (destination[0] && !DestinationReplaceable(run, destination, &error, &isFolder)) {
            if (isFolder) {
                RecordRefusal(run, kRefusedCannotReplace, destination);
            } else {
                RecordFailure(run,
                              run->cancelled ? kFailCancelled
                                             : FailureOfInstallError(run, error, destination),
                              error, destination);
            }
            return false;
        }
        if (CancelSeen(run)) return false;
    }
    for (uint32_t i = 0; i < run->plan.folderCount; i++) {
        const char* folder = run->plan.folderPaths[i];
        uint32_t attributes = 0;
        if (folder[0] && run->fs->getAttributes(run->fs->context, folder, &attributes) == kFsOk &&
            !(attributes & kFsFolder)) {
            RecordRefusal(run, kRefusedCannotReplace, folder);
            return false;
        }
    }
    return true;
}

bool ComputePlanRoom(const UpdatePlan* plan, uint32_t clusterSize, uint64_t* allAtOnce,
                     uint64_t* oneAtATime) {
    uint32_t count = plan->count;
    SpacePlanFile* files = (SpacePlanFile*)malloc((size_t)(count ? count : 1) * sizeof *files);
    if (!files) return false;
    for (uint32_t i = 0; i < count; i++) {
        const PlannedFile* file = &plan->files[i];
        files[i] = {file->size, file->oldSize, file->replaces};
    }
    *allAtOnce = ComputeSpaceNeededAllAtOnce(files, count, clusterSize);
    *oneAtATime = ComputeSpaceNeeded(files, count, clusterSize);
    free(files);
    return true;
}

// Room for every draft at once; failing that, the choice of the one-at-a-time order. A volume
// whose free space cannot be told (or no memory to tell it) is left to the drafts to find out.
static bool CheckRoom(UpdateRun* run) {
    uint64_t available;
    uint32_t clusterSize;
    if (run->fs->freeSpace(run->fs->context, run->installFolder, &available, &clusterSize) !=
        kFsOk) {
        return true;
    }
    uint64_t allAtOnce, oneAtATime;
    if (!ComputePlanRoom(&run->plan, clusterSize, &allAtOnce, &oneAtATime)) return true;
    if (allAtOnce <= available) return true;
    run->figures[0] = allAtOnce;
    run->figures[1] = oneAtATime;
    run->figures[2] = available;
    if (oneAtATime > available) {
        RecordRefusal(run, kRefusedNoRoom, run->installFolder);
        return false;
    }
    if (!run->progress->askFileByFile(run->progress->context, allAtOnce, available)) {
        RecordRefusal(run, kRefusedDeclined, nullptr);
        return false;
    }
    run->fileByFile = true;
    return true;
}

bool CheckUpdateBeforeCopying(UpdateRun* run) {
    if (CancelSeen(run)) return false;
    uint32_t attributes = 0;
    FsError error = run->fs->getAttributes(run->fs->context, run->installFolder, &attributes);
    if (error != kFsOk && error != kFsNotFound && error != kFsPathNotFound) {
        // There, perhaps, but it cannot be looked at: told by its cause, not as missing.
        RecordFailure(run, FailureOfInstallError(run, error, run->installFolder), error,
                      run->installFolder);
        return false;
    }
    if (error != kFsOk || !(attributes & kFsFolder)) {
        RecordRefusal(run, kRefusedFolderMissing, run->installFolder);
        return false;
    }
    if (!TakeInstallLock(run) || !RecoverNotedCommit(run) ||
        !GoOnAfterRecovery(run, run, RecoverInterruptedUpdate(run))) {
        return false;
    }
    // An earlier update in the one-at-a-time order that stopped part-way left the game partly
    // updated: the player is told, and this update makes it whole.
    bool partly = false;
    FsError look = FindOneAtATimeRecord(run, &partly);
    if (look != kFsOk) {
        RecordFailure(run, FailureOfInstallError(run, look, run->installFolder), look,
                      run->installFolder);
        return false;
    }
    if (partly) run->progress->tell(run->progress->context, kNoticeWasPartly, nullptr);
    if (!CheckMediaSeal(run)) return false;
    if (!BuildUpdatePlan(run) || !CheckPlannedFiles(run) || !SealedFilesAllCopied(run)) {
        return false;
    }
    // Leftovers of interrupted updates go first: their room counts as free.
    // One held by another program is left, and the player told.
    char left[kUpdatePathBytes] = "";
    RemoveUpdateLeftovers(run, run->installFolder, left);
    for (uint32_t i = 0; i < run->plan.folderCount; i++) {
        if (run->plan.folderPaths[i][0]) RemoveUpdateLeftovers(run, run->plan.folderPaths[i], left);
    }
    if (left[0]) run->progress->tell(run->progress->context, kNoticeSideFileLeft, left);
    return CheckRoom(run) && !CancelSeen(run);
}
