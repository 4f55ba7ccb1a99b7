// The state of one update and the operations that wait out a held file (see update_run.h).
#include "update/core/update_run.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "resfs/cp932_lower.h"
#include "update/core/journal_format.h"

void BeginUpdateRun(UpdateRun* run, const UpdateFileSystem* fs, const UpdateProgress* progress,
                    const char* installFolder, const char* exeName) {
    memset(run, 0, sizeof *run);
    run->fs = fs;
    run->progress = progress;
    run->holdLimitMs = kDefaultHoldLimitMs;
    snprintf(run->installFolder, sizeof run->installFolder, "%s", installFolder);
    snprintf(run->exeName, sizeof run->exeName, "%s", exeName);
    SideFilePaths* sides = &run->sides;
    if (!InstallFolderPath(run, "~vup-lock.txt", sides->lock)) sides->lock[0] = 0;
    if (!InstallFolderPath(run, kJournalName, sides->journal)) sides->journal[0] = 0;
    if (!InstallFolderPath(run, "~vup-commit.txt", sides->commitMark)) sides->commitMark[0] = 0;
    if (!InstallFolderPath(run, "~vup-partly.txt", sides->oneAtATime)) sides->oneAtATime[0] = 0;
}

bool InstallFolderPath(const UpdateRun* run, const char* name, char* out) {
    int n = snprintf(out, kUpdatePathBytes, "%s\\%s", run->installFolder, name);
    return n > 0 && n < kUpdatePathBytes;
}

void ReleaseUpdatePlan(UpdatePlan* plan) {
    free(plan->files);
    memset(plan, 0, sizeof *plan);
}

void EndUpdateRun(UpdateRun* run) {
    ReleaseInstallLock(run);
    ReleaseUpdatePlan(&run->plan);
    ReleaseSeal(&run->seal);
}

void RecordFailure(UpdateRun* run, UpdateFailure failure, FsError error, const char* file) {
    if (run->failure != kFailNone || run->refusal != kRefusedNone) return;
    run->failure = failure;
    run->error = error;
    snprintf(run->failedFile, sizeof run->failedFile, "%s", file ? file : "");
}

UpdateFailure FailureOfMediaError(FsError error) {
    return error == kFsHeld ? kFailMediaInUse : kFailMediaUnreadable;
}

// The probe's name beside `path`: a side file of the update's own, so that one a stopped update
// leaves is removed with the other leftovers.
static bool ProbePath(const char* path, char* out) {
    const char* separator = FindLastCp932Separator(path, "\\");
    if (!separator) return false;
    int n = snprintf(out, kUpdatePathBytes, "%.*s\\~vup0000.tmp", (int)(separator - path), path);
    return n > 0 && n < kUpdatePathBytes;
}

// Whether a new file can be written in the folder of `path`.
static bool FolderWritable(const UpdateRun* run, const char* path) {
    const UpdateFileSystem* fs = run->fs;
    char probe[kUpdatePathBytes];
    FsFile file = nullptr;
    if (!ProbePath(path, probe) ||
        fs->open(fs->context, probe, kFsWrite, 0, kFsCreateAlways, &file) != kFsOk) {
        return false;
    }
    fs->close(fs->context, file);
    fs->remove(fs->context, probe);
    return true;
}

UpdateFailure FailureOfInstallError(const UpdateRun* run, FsError error, const char* path) {
    switch (error) {
        case kFsHeld:
            return kFailInUse;
        case kFsDiskFull:
            return kFailDiskFull;
        case kFsAccessDenied:
            return FolderWritable(run, path) ? kFailInUse : kFailAccessDenied;
        default:
            return kFailOther;
    }
}

void ReleaseInstallLock(UpdateRun* run) {
    if (!run->lock) return;
    run->fs->close(run->fs->context, run->lock);
    run->lock = nullptr;
    run->fs->remove(run->fs->context, run->sides.lock);
}

// A scanner's hold usually ends within the first few pauses; a program that keeps the file open is
// given the whole limit.
bool WaitOutHold(UpdateRun* run, HoldWait* wait, FsError error, bool cancellable) {
    if ((error != kFsHeld && error != kFsAccessDenied) || wait->waitedMs >= run->holdLimitMs) {
        return false;
    }
    if (cancellable && run->cancelled) return false;
    uint32_t pause = wait->tries < 5 ? 50u << wait->tries : 1000u;
    if (pause > run->holdLimitMs - wait->waitedMs) pause = run->holdLimitMs - wait->waitedMs;
    wait->tries++;
    run->progress->wait(run->progress->context, pause, cancellable ? &run->cancelled : nullptr);
    wait->waitedMs += pause;
    return !(cancellable && run->cancelled);
}

FsError OpenWhenFree(UpdateRun* run, const char* path, uint32_t access, uint32_t share,
                     FsCreate create, bool cancellable, FsFile* file) {
    HoldWait wait = {};
    for (;;) {
        FsError error = run->fs->open(run->fs->context, path, access, share, create, file);
        if (error == kFsOk || !WaitOutHold(run, &wait, error, cancellable)) return error;
    }
}

FsError RenameWhenFree(UpdateRun* run, const char* from, const char* to, uint32_t flags,
                       bool cancellable) {
    HoldWait wait = {};
    for (;;) {
        FsError error = run->fs->rename(run->fs->context, from, to, flags);
        if (error == kFsOk || !WaitOutHold(run, &wait, error, cancellable)) return error;
    }
}

FsError RemoveWhenFree(UpdateRun* run, const char* path) {
    HoldWait wait = {};
    for (;;) {
        FsError error = run->fs->remove(run->fs->context, path);
        if (error == kFsNotFound) return kFsOk;
        if (error == kFsOk || !WaitOutHold(run, &wait, error, false)) return error;
    }
}

FsError SetAttributesWhenFree(UpdateRun* run, const char* path, uint32_t attributes) {
    HoldWait wait = {};
    for (;;) {
        FsError error = run->fs->setAttributes(run->fs->context, path, attributes);
        if (error == kFsOk || !WaitOutHold(run, &wait, error, false)) return error;
    }
}
