// Drafting the files of an update (see draft_pump.h).
//
// Durability: a draft's data is flushed to the disk before it can be moved into place, and every
// move is written through (the commit's renames return only once the rename itself is on the
// disk). On NTFS, whose metadata changes are journalled, a power cut at any moment therefore
// leaves each name on either the complete old file or the complete new one.
#include "update/core/draft_pump.h"

#include <stdio.h>

#include "update/core/sum_file.h"

// A failure of the draft of file `index`, told as the destination it stands for.
static bool FailInstall(UpdateRun* run, uint32_t index, FsError error) {
    const PlannedFile* file = &run->plan.files[index];
    RecordFailure(run,
                  run->cancelled
                      ? kFailCancelled
                      : FailureOfInstallError(run, error,
                                              file->installed[0] ? file->installed : file->target),
                  error, file->installed[0] ? file->installed : file->target);
    return false;
}

static bool FailMedia(UpdateRun* run, uint32_t index, UpdateFailure failure, FsError error) {
    RecordFailure(run, run->cancelled ? kFailCancelled : failure, error,
                  run->plan.files[index].source);
    return false;
}

// What ended a byte copy early.
enum CopyEnd { kCopied, kCopyCancelled, kCopyReadFailed, kCopyWriteFailed };

// Copies `total` bytes from `source` to `target`, each chunk also into `digest` when set; *error
// receives the failed operation's error.
static CopyEnd CopyBytes(UpdateRun* run, FsFile source, FsFile target, uint8_t* buffer,
                         uint64_t total, SumDigestState* digest, FsError* error) {
    const UpdateFileSystem* fs = run->fs;
    const UpdateProgress* progress = run->progress;
    uint64_t done = 0;
    while (done < total) {
        progress->wait(progress->context, 0, nullptr);
        if (run->cancelled) return kCopyCancelled;
        uint32_t want = total - done < kDraftChunk ? (uint32_t)(total - done) : kDraftChunk;
        uint32_t got = 0;
        *error = fs->read(fs->context, source, buffer, want, &got);
        if (*error != kFsOk) return kCopyReadFailed;
        // A read of nothing before the end (a source that shrank) must not loop for ever.
        if (got == 0) {
            *error = kFsDeviceError;
            return kCopyReadFailed;
        }
        if (digest) UpdateSumDigest(digest, buffer, got);
        *error = fs->write(fs->context, target, buffer, got);
        if (*error != kFsOk) return kCopyWriteFailed;
        done += got;
        run->stageCopied += got;
        progress->advance(progress->context, done, run->stageCopied);
    }
    return kCopied;
}

// The bytes and times of the open `source` into the open draft `output`.
static bool FillDraft(UpdateRun* run, uint32_t index, FsFile source, FsFile output,
                      uint8_t* buffer) {
    const UpdateFileSystem* fs = run->fs;
    PlannedFile* file = &run->plan.files[index];
    uint64_t total = 0;
    FsError error = fs->size(fs->context, source, &total);
    if (error != kFsOk) return FailMedia(run, index, kFailMediaUnreadable, error);
    run->progress->beginFile(run->progress->context, file->source, total);
    SumDigestState* digest = nullptr;
    if (file->sealed) {
        if (file->sealedSize != total) return FailMedia(run, index, kFailMediaDamaged, kFsOk);
        digest = BeginSumDigest();
        if (!digest) return FailMedia(run, index, kFailOther, kFsNoMemory);
    }
    CopyEnd end = CopyBytes(run, source, output, buffer, total, digest, &error);
    if (digest) {
        bool intact = FinishSumDigest(digest) == file->digest;
        if (end == kCopied && !intact) return FailMedia(run, index, kFailMediaDamaged, kFsOk);
    }
    switch (end) {
        case kCopied:
            break;
        case kCopyCancelled:
            return FailMedia(run, index, kFailCancelled, kFsOk);
        case kCopyReadFailed:
            return FailMedia(run, index, FailureOfMediaError(error), error);
        case kCopyWriteFailed:
            return FailInstall(run, index, error);
    }
    error = fs->getTimes(fs->context, source, &file->times);
    if (error != kFsOk) return FailMedia(run, index, kFailMediaUnreadable, error);
    error = fs->setTimes(fs->context, output, &file->times);
    if (error != kFsOk) return FailInstall(run, index, error);
    // The data reaches the disk before any name can point to it.
    error = fs->flush(fs->context, output);
    if (error != kFsOk) return FailInstall(run, index, error);
    return true;
}

bool DraftPlannedFile(UpdateRun* run, uint32_t index, uint8_t* buffer) {
    const UpdateFileSystem* fs = run->fs;
    PlannedFile* file = &run->plan.files[index];
    run->progress->beginFile(run->progress->context, file->source, file->size);
    if (run->cancelled) return FailMedia(run, index, kFailCancelled, kFsOk);
    const char* draft = file->draft;
    if (!draft[0]) return FailInstall(run, index, kFsNameTooLong);
    FsFile source = nullptr;
    FsError error =
        OpenWhenFree(run, file->source, kFsRead, kFsShareRead, kFsOpenExisting, true, &source);
    // Gone since the plan was made (a disc taken out): an error now, never a silent skip.
    if (error != kFsOk) return FailMedia(run, index, FailureOfMediaError(error), error);
    FsFile output = nullptr;
    error = OpenWhenFree(run, draft, kFsWrite, 0, kFsCreateNew, true, &output);
    if (error == kFsExists) {
        // A leftover of an interrupted run. Removed only when found: asking for a name that is
        // not there costs a search of the whole folder on some file systems (Wine's, for one).
        fs->remove(fs->context, draft);
        error = OpenWhenFree(run, draft, kFsWrite, 0, kFsCreateNew, true, &output);
    }
    if (error != kFsOk) {
        fs->close(fs->context, source);
        return FailInstall(run, index, error);
    }
    bool drafted = FillDraft(run, index, source, output, buffer);
    error = fs->close(fs->context, output);
    if (error != kFsOk && drafted) drafted = FailInstall(run, index, error);
    fs->close(fs->context, source);
    if (!drafted) fs->remove(fs->context, draft);
    return drafted;
}
