// The commit of an update and its undo (see update_commit.h).
//
// Every step of the undo looks at what is on the disk rather than at how far this process got,
// so the same steps undo a commit that failed here and one that a killed process left behind:
// for each file, last to first, a backup that exists is moved back over the name (whatever is there
// now is the new file or nothing); a draft that exists was never moved in and is deleted; an added
// file whose draft is gone was moved in and is deleted.
#include "update/core/update_commit.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "resfs/cp932_lower.h"
#include "update/core/journal_format.h"
#include "update/core/update_list.h"

enum : uint32_t { kMaxJournalBytes = 256u << 20 };

// Removes one of the update's side files when it is there; a backup of a read-only old file is
// read-only too, and is removed all the same.
static void RemoveSideFile(UpdateRun* run, const char* path) {
    uint32_t attributes = 0;
    if (run->fs->getAttributes(run->fs->context, path, &attributes) != kFsOk) return;
    if (attributes & kFsReadOnly) SetAttributesWhenFree(run, path, kFsNormal);
    RemoveWhenFree(run, path);
}

// Every rename of the commit and its undo is written through before the next step.
static FsError RenameThrough(UpdateRun* run, const char* from, const char* to, uint32_t flags,
                             bool cancellable) {
    return RenameWhenFree(run, from, to, flags | kFsWriteThrough, cancellable);
}

// The commit mark (run->sides.commitMark): written and flushed once every file of a commit is in
// place.
static const char kCommitMarkText[] = "COMMITTED\n";

// Whether `path` exists: kFsOk with *exists, or the error when that cannot be told.
static FsError PathExists(const UpdateRun* run, const char* path, bool* exists) {
    uint32_t attributes;
    FsError error = run->fs->getAttributes(run->fs->context, path, &attributes);
    *exists = error == kFsOk;
    if (error == kFsNotFound || error == kFsPathNotFound) return kFsOk;
    return error;
}

// Removes the journal; once it is gone, the registry's note of the commit under way goes too (a
// note left names a folder without a journal, which the next update clears).
static FsError RemoveJournal(UpdateRun* run) {
    FsError error = RemoveWhenFree(run, run->sides.journal);
    if (error == kFsOk) run->fs->noteCommit(run->fs->context, "");
    return error;
}

// Removes a folder the update made, once its files are gone. True when that is done: the folder
// is gone, or holds another program's or the player's files and stays theirs. False when it is
// still there holding nothing else (a removal that failed for a moment, or a side file of the
// update's own left in it), so that the journal naming it stays for the next update.
static bool FolderCleared(UpdateRun* run, const char* folder) {
    const UpdateFileSystem* fs = run->fs;
    FsError error = fs->removeFolder(fs->context, folder);
    if (error == kFsOk || error == kFsNotFound || error == kFsPathNotFound) return true;
    char pattern[kUpdatePathBytes];
    if (snprintf(pattern, sizeof pattern, "%s\\*", folder) >= (int)sizeof pattern) return true;
    FsSearch search = nullptr;
    FsFound found;
    if (fs->findFirst(fs->context, pattern, &search, &found) != kFsOk) return false;
    bool othersFiles = false;
    do {
        bool dots = strcmp(found.name, ".") == 0 || strcmp(found.name, "..") == 0;
        othersFiles =
            !dots && ((found.attributes & kFsFolder) || !IsUpdateSideFileName(found.name));
    } while (!othersFiles && fs->findNext(fs->context, search, &found) == kFsOk);
    fs->findClose(fs->context, search);
    return othersFiles;
}

// Paths of file line `index` of a journal: the installed name, its draft and its backup.
static bool EntryPaths(const UpdateRun* run, const char* name, uint32_t runId, uint32_t index,
                       char* target, char* draft, char* backup) {
    char side[kJournalMaxNameBytes + 1];
    if (!InstallFolderPath(run, name, target)) return false;
    if (!JournalSideNameOfRun(name, runId, index, ".new", side) ||
        !InstallFolderPath(run, side, draft)) {
        return false;
    }
    return JournalSideNameOfRun(name, runId, index, ".old", side) &&
           InstallFolderPath(run, side, backup);
}

// Undoes what a commit by `entries` did in the install folder, as found on the disk. True when the
// old game is whole again; false (the journal kept) when a step failed, with the file it failed on
// in `failedFile` and its error in *error. A journal that cannot be removed after a whole undo
// stays, and the next update undoes it once more, which finds nothing left to do: the game is the
// old one all the same. *touched tells whether an installed file was put back or removed: without,
// the commit had not begun, and only drafts and folders were cleared away.
static bool UndoCommit(UpdateRun* run, uint32_t runId, const JournalEntry* entries, uint32_t count,
                       char* failedFile, FsError* error, bool* touched) {
    *touched = false;
    uint32_t files = 0;
    for (uint32_t i = 0; i < count; i++) files += entries[i].kind != 'D';
    bool whole = true;
    uint32_t index = files;
    for (uint32_t i = count; i-- > 0;) {
        const JournalEntry& entry = entries[i];
        if (entry.kind == 'D') continue;
        index--;
        char target[kUpdatePathBytes], draft[kUpdatePathBytes], backup[kUpdatePathBytes];
        if (!EntryPaths(run, entry.name, runId, index, target, draft, backup)) continue;
        bool backupThere = false, draftThere = false, targetThere = false;
        FsError step = PathExists(run, backup, &backupThere);
        if (step == kFsOk) step = PathExists(run, draft, &draftThere);
        if (step == kFsOk) step = PathExists(run, target, &targetThere);
        if (step == kFsOk && entry.kind == 'R' && backupThere) {
            step = RenameThrough(run, backup, target, kFsReplace, false);
            *touched = true;
        } else if (step == kFsOk && entry.kind == 'A' && !draftThere && targetThere) {
            step = RemoveWhenFree(run, target);
            *touched = true;
        }
        if (step != kFsOk) {
            if (whole) {
                *error = step;
                snprintf(failedFile, kUpdatePathBytes, "%s", target);
            }
            whole = false;
            continue;
        }
        if (draftThere) RemoveWhenFree(run, draft);
    }
    // The folders it made, once empty; one that stays for a moment keeps the journal, but the old
    // game is whole all the same.
    bool cleared = true;
    for (uint32_t i = count; i-- > 0;) {
        char folder[kUpdatePathBytes];
        if (entries[i].kind == 'D' && InstallFolderPath(run, entries[i].name, folder)) {
            cleared = FolderCleared(run, folder) && cleared;
        }
    }
    if (whole && cleared && run->sides.journal[0]) RemoveJournal(run);
    return whole;
}

// Clears away what a committed update by `entries` left in the install folder: the backups of
// the old files, and any draft.
static void FinishCommittedUpdate(UpdateRun* run, uint32_t runId, const JournalEntry* entries,
                                  uint32_t count) {
    uint32_t index = 0;
    for (uint32_t i = 0; i < count; i++) {
        if (entries[i].kind == 'D') continue;
        char target[kUpdatePathBytes], draft[kUpdatePathBytes], backup[kUpdatePathBytes];
        if (EntryPaths(run, entries[i].name, runId, index++, target, draft, backup)) {
            RemoveSideFile(run, backup);
            RemoveSideFile(run, draft);
        }
    }
}

// Whether a backup of an old file (a ".old" side file of the update's own, of any run) is in the
// install folder or in a folder the update list writes into. kFsOk with *found, or the error that
// kept a folder from being looked at.
static FsError FindBackups(UpdateRun* run, bool* found) {
    const UpdateFileSystem* fs = run->fs;
    *found = false;
    char folders[1 + kUpdateFileListSize][kUpdatePathBytes];
    uint32_t count = 0;
    snprintf(folders[count++], kUpdatePathBytes, "%s", run->installFolder);
    for (const char* entry : kUpdateFileList) {
        const char* separator = entry[0] == '|' ? FindLastCp932Separator(entry, "\\") : nullptr;
        if (!separator) continue;
        int n = snprintf(folders[count], kUpdatePathBytes, "%s\\%.*s", run->installFolder,
                         (int)(separator - entry - 1), entry + 1);
        if (n > 0 && n < kUpdatePathBytes) count++;
    }
    for (uint32_t i = 0; i < count && !*found; i++) {
        char pattern[kUpdatePathBytes];
        if (snprintf(pattern, sizeof pattern, "%s\\~vup*.old", folders[i]) >= kUpdatePathBytes) {
            continue;
        }
        FsSearch search = nullptr;
        FsFound match;
        FsError error = fs->findFirst(fs->context, pattern, &search, &match);
        if (error == kFsNotFound || error == kFsPathNotFound) continue;
        if (error != kFsOk) return error;
        do {
            if (!(match.attributes & kFsFolder) && IsUpdateSideFileName(match.name)) *found = true;
        } while (!*found && fs->findNext(fs->context, search, &match) == kFsOk);
        fs->findClose(fs->context, search);
    }
    return kFsOk;
}

// The journal entries of the run's plan: the folders it made, then every file.
static JournalEntry* PlanJournal(const UpdateRun* run, uint32_t* count) {
    const UpdatePlan* plan = &run->plan;
    JournalEntry* entries =
        (JournalEntry*)malloc((size_t)(plan->folderCount + plan->count + 1) * sizeof *entries);
    if (!entries) return nullptr;
    uint32_t n = 0;
    for (uint32_t i = 0; i < plan->folderCount; i++) {
        if (!plan->folderMade[i]) continue;
        entries[n].kind = 'D';
        snprintf(entries[n++].name, sizeof entries[0].name, "%s", plan->folders[i]);
    }
    for (uint32_t i = 0; i < plan->count; i++) {
        entries[n].kind = plan->files[i].replaces ? 'R' : 'A';
        snprintf(entries[n++].name, sizeof entries[0].name, "%s", plan->files[i].target);
    }
    *count = n;
    return entries;
}

// Writes `text` as the whole file `path`, flushed.
static FsError WriteWholeFile(UpdateRun* run, const char* path, const char* text, size_t length) {
    const UpdateFileSystem* fs = run->fs;
    FsFile file = nullptr;
    FsError error = OpenWhenFree(run, path, kFsWrite, 0, kFsCreateAlways, false, &file);
    if (error != kFsOk) return error;
    size_t done = 0;
    while (error == kFsOk && done < length) {
        size_t piece = length - done < (1u << 20) ? length - done : (1u << 20);
        error = fs->write(fs->context, file, text + done, (uint32_t)piece);
        done += piece;
    }
    if (error == kFsOk) error = fs->flush(fs->context, file);
    FsError closed = fs->close(fs->context, file);
    return error != kFsOk ? error : closed;
}

// Writes the journal of the run's plan and flushes it (run->journalled), before the first
// installed file is touched and before the first folder is made. False with the failure recorded
// and nothing of the journal left.
static bool WriteCommitJournal(UpdateRun* run) {
    const char* journal = run->sides.journal;
    uint32_t count = 0;
    JournalEntry* entries = PlanJournal(run, &count);
    size_t length = 0;
    char* text = !entries ? nullptr
                 : run->runId
                     ? WriteJournalOfRun(entries, count, run->runId, run->installFolder, &length)
                     : WriteJournal(entries, count, &length);
    free(entries);
    FsError error = kFsNoMemory;
    const char* failed = run->installFolder;
    if (text && journal[0]) {
        // The note first: a journal is never where no note leads.
        error = run->fs->noteCommit(run->fs->context, run->installFolder);
        if (error == kFsOk) {
            error = WriteWholeFile(run, journal, text, length);
            failed = journal;
        }
    }
    free(text);
    if (error == kFsOk) {
        run->journalled = true;
        return true;
    }
    RecordFailure(run, FailureOfInstallError(run, error, failed), error, failed);
    if (failed == journal) RemoveJournal(run);
    return false;
}

bool MakePlanFolders(UpdateRun* run) {
    UpdatePlan* plan = &run->plan;
    bool toMake = false;
    for (uint32_t i = 0; i < plan->folderCount; i++) {
        const char* folder = plan->folderPaths[i];
        bool there = false;
        if (!folder[0] || (PathExists(run, folder, &there) == kFsOk && there)) continue;
        plan->folderMade[i] = true;
        toMake = true;
    }
    // The folders to make are named in the journal first, so that an update stopped after making
    // them, by any cause, is undone with them. The one-at-a-time order keeps what it put in them.
    if (toMake && !run->fileByFile && !WriteCommitJournal(run)) return false;
    for (uint32_t i = 0; i < plan->folderCount; i++) {
        if (!plan->folderMade[i]) continue;
        const char* folder = plan->folderPaths[i];
        FsError error = run->fs->makeFolder(run->fs->context, folder);
        if (error == kFsExists) {
            plan->folderMade[i] = false;  // another program's, made just now
            continue;
        }
        if (error != kFsOk) {
            RecordFailure(run, FailureOfInstallError(run, error, folder), error, folder);
            return false;
        }
    }
    return true;
}

void RemoveDrafts(UpdateRun* run) {
    for (uint32_t i = 0; i < run->plan.count; i++) {
        if (run->plan.files[i].draft[0]) RemoveSideFile(run, run->plan.files[i].draft);
    }
    bool cleared = true;
    for (uint32_t i = run->plan.folderCount; i-- > 0;) {
        if (run->plan.folderMade[i] && run->plan.folderPaths[i][0]) {
            cleared = FolderCleared(run, run->plan.folderPaths[i]) && cleared;
        }
    }
    // Last, and only once its folders are gone: until then, the next update finishes this
    // clearing away.
    if (run->journalled && cleared && RemoveJournal(run) == kFsOk) {
        run->journalled = false;
    }
}

void RemoveBackups(UpdateRun* run) {
    for (uint32_t i = 0; i < run->plan.count; i++) {
        if (run->plan.files[i].replaces && run->plan.files[i].backup[0]) {
            RemoveSideFile(run, run->plan.files[i].backup);
        }
    }
}

// Gives the installed file `index` the times of its source once more: a name given again within
// seconds of its old file's leaving may take over that file's creation time (Windows' name
// tunnelling). Its attributes are its draft's: a new file's, the archive attribute alone. False
// with the failure recorded.
static bool FinishPlacedFile(UpdateRun* run, uint32_t index) {
    const UpdateFileSystem* fs = run->fs;
    const PlannedFile* file = &run->plan.files[index];
    // No more exclusive than setting the times needs: a scanner reading the new file may stay.
    FsFile placed = nullptr;
    FsError error = OpenWhenFree(run, file->installed, kFsWriteAttributes, kFsShareAll,
                                 kFsOpenExisting, false, &placed);
    if (error == kFsOk) {
        error = fs->setTimes(fs->context, placed, &file->times);
        fs->close(fs->context, placed);
    }
    if (error == kFsOk) return true;
    RecordFailure(
        run, run->cancelled ? kFailCancelled : FailureOfInstallError(run, error, file->installed),
        error, file->installed);
    return false;
}

// The installed, draft and backup paths of file `index` all fit; otherwise the failure recorded.
static bool Placeable(UpdateRun* run, uint32_t index) {
    const PlannedFile* file = &run->plan.files[index];
    if (file->installed[0] && file->draft[0] && file->backup[0]) return true;
    RecordFailure(run, kFailOther, kFsNameTooLong, file->target);
    return false;
}

// Moves file `index` in: its old file aside (when it replaces one), its draft in, its times set.
static bool PutInPlace(UpdateRun* run, uint32_t index) {
    const PlannedFile* file = &run->plan.files[index];
    if (!Placeable(run, index)) return false;
    FsError error =
        file->replaces ? RenameThrough(run, file->installed, file->backup, 0, true) : kFsOk;
    if (error == kFsOk) error = RenameThrough(run, file->draft, file->installed, 0, true);
    if (error != kFsOk) {
        RecordFailure(
            run,
            run->cancelled ? kFailCancelled : FailureOfInstallError(run, error, file->installed),
            error, file->installed);
        return false;
    }
    return FinishPlacedFile(run, index);
}

bool CommitUpdate(UpdateRun* run) {
    run->game = kGameRestored;
    // Durable by its own flush (WriteWholeFile) before the first installed file is touched; an
    // update that made folders wrote it before making them.
    if (!run->journalled && !WriteCommitJournal(run)) {
        // Nothing installed has been touched: the drafts go.
        RemoveDrafts(run);
        return false;
    }
    uint32_t count = 0;
    JournalEntry* entries = PlanJournal(run, &count);
    if (!entries) {
        RecordFailure(run, kFailOther, kFsNoMemory, "");
        RemoveDrafts(run);
        return false;
    }
    bool placed = true;
    for (uint32_t i = 0; i < run->plan.count && placed; i++) {
        if (run->cancelled) {
            RecordFailure(run, kFailCancelled, kFsOk, run->plan.files[i].target);
            placed = false;
        } else {
            placed = PutInPlace(run, i);
        }
    }
    // The commit point: the commit mark written and flushed. Each rename before it was written
    // through, and the mark's own flush makes its creation durable, so once it returns every new
    // file is on the disk under its name; a power cut from here on leaves the new game, and the
    // next update, finding the journal with the mark, only clears away what is left. The journal
    // goes before the mark: a journal without its mark is always undone.
    const char* mark = run->sides.commitMark;
    if (placed && !mark[0]) {
        RecordFailure(run, kFailOther, kFsNameTooLong, run->installFolder);
        placed = false;
    }
    if (placed) {
        FsError error = WriteWholeFile(run, mark, kCommitMarkText, strlen(kCommitMarkText));
        if (error != kFsOk) {
            RecordFailure(run, FailureOfInstallError(run, error, mark), error, mark);
            RemoveWhenFree(run, mark);
            placed = false;
        }
    }
    // A journal and mark that cannot be removed now are cleared away by the next update.
    if (placed && RemoveJournal(run) == kFsOk) RemoveWhenFree(run, mark);
    run->journalled = false;
    if (!placed) {
        char failedFile[kUpdatePathBytes];
        FsError undoError = kFsOk;
        bool touched = false;
        if (!UndoCommit(run, run->runId, entries, count, failedFile, &undoError, &touched)) {
            run->game = kGameNotRestored;
        }
    }
    free(entries);
    return placed;
}

static const char kOneAtATimeText[] = "ONE-AT-A-TIME\n";

bool RecordOneAtATime(UpdateRun* run) {
    const char* path = run->sides.oneAtATime;
    if (!path[0]) {
        RecordFailure(run, kFailOther, kFsNameTooLong, run->installFolder);
        return false;
    }
    // Durable by its own flush before the first old file is replaced.
    FsError error = WriteWholeFile(run, path, kOneAtATimeText, strlen(kOneAtATimeText));
    if (error == kFsOk) return true;
    RecordFailure(run, FailureOfInstallError(run, error, path), error, path);
    RemoveWhenFree(run, path);
    return false;
}

void ClearOneAtATimeRecord(UpdateRun* run) {
    const char* path = run->sides.oneAtATime;
    bool there = false;
    if (path[0] && PathExists(run, path, &there) == kFsOk && there) {
        RemoveWhenFree(run, path);
    }
}

FsError FindOneAtATimeRecord(UpdateRun* run, bool* there) {
    const char* path = run->sides.oneAtATime;
    *there = false;
    return path[0] ? PathExists(run, path, there) : kFsOk;
}

bool PutDraftInPlaceNow(UpdateRun* run, uint32_t index) {
    const UpdateFileSystem* fs = run->fs;
    const PlannedFile* file = &run->plan.files[index];
    if (!Placeable(run, index)) return false;
    const char* target = file->installed;
    const char* draft = file->draft;
    uint32_t attributes = 0;
    bool readOnly =
        fs->getAttributes(fs->context, target, &attributes) == kFsOk && (attributes & kFsReadOnly);
    if (readOnly) fs->setAttributes(fs->context, target, kFsNormal);
    FsError error = RenameThrough(run, draft, target, kFsReplace, true);
    if (error != kFsOk) {
        if (readOnly) fs->setAttributes(fs->context, target, attributes);
        RemoveWhenFree(run, draft);
        RecordFailure(run,
                      run->cancelled ? kFailCancelled : FailureOfInstallError(run, error, target),
                      error, target);
        return false;
    }
    run->replaced++;
    return FinishPlacedFile(run, index);
}

// The whole journal file, or null: *found false when there is none, true with *error set when it
// cannot be read.
static uint8_t* ReadJournal(UpdateRun* run, const char* path, size_t* size, bool* found,
                            FsError* error) {
    const UpdateFileSystem* fs = run->fs;
    *found = false;
    FsFile file = nullptr;
    *error = OpenWhenFree(run, path, kFsRead, kFsShareRead, kFsOpenExisting, false, &file);
    if (*error != kFsOk) {
        // One that is there but cannot be read is not taken for none.
        *found = *error != kFsNotFound && *error != kFsPathNotFound;
        return nullptr;
    }
    *found = true;
    uint64_t length = 0;
    uint8_t* bytes = nullptr;
    *error = fs->size(fs->context, file, &length);
    if (*error == kFsOk && length > kMaxJournalBytes) *error = kFsOther;
    if (*error == kFsOk) {
        *size = (size_t)length;
        bytes = (uint8_t*)malloc(*size + 1);
        if (!bytes) *error = kFsNoMemory;
        size_t done = 0;
        while (bytes && done < *size) {
            uint32_t got = 0;
            size_t want = *size - done > (1u << 20) ? (1u << 20) : *size - done;
            *error = fs->read(fs->context, file, bytes + done, (uint32_t)want, &got);
            if (*error == kFsOk && got == 0) *error = kFsDeviceError;
            if (*error != kFsOk) {
                free(bytes);
                bytes = nullptr;
                break;
            }
            done += got;
        }
    }
    fs->close(fs->context, file);
    return bytes;
}

RecoveryResult RecoverInterruptedUpdate(UpdateRun* run) {
    const char* journal = run->sides.journal;
    if (!journal[0]) return kNoInterruptedUpdate;
    bool there = false;
    FsError error = PathExists(run, journal, &there);
    if (error != kFsOk) {
        RecordFailure(run, FailureOfInstallError(run, error, journal), error, journal);
        return kJournalNotLookedAt;
    }
    if (!there) {
        // A commit mark left alone: its journal was removed, the update was done.
        if (run->sides.commitMark[0]) RemoveWhenFree(run, run->sides.commitMark);
        return kNoInterruptedUpdate;
    }
    size_t size = 0;
    bool found = false;
    uint8_t* bytes = ReadJournal(run, journal, &size, &found, &error);
    if (!found) return kNoInterruptedUpdate;
    if (!bytes) {
        RecordFailure(run, FailureOfInstallError(run, error, journal), error, journal);
        return kInterruptedUpdateNotUndone;
    }
    JournalEntry* entries = nullptr;
    uint32_t count = 0;
    JournalRun written;
    bool complete = ParseJournalOfRun(bytes, size, &entries, &count, &written);
    free(bytes);
    if (!complete) {
        // Cut short while it was first written, no installed file had been touched yet, and the
        // drafts the stopped update left go with the leftovers. But a journal that cannot be read
        // beside backups (damaged, or of a later launcher's format) is the only record of what
        // they stand for: nothing is deleted, and the player is told.
        bool backups = false;
        error = FindBackups(run, &backups);
        if (error != kFsOk || backups) {
            RecordFailure(run, kFailJournalUnreadable, error, journal);
            return kInterruptedUpdateNotUndone;
        }
        RemoveJournal(run);
        return kNoInterruptedUpdate;
    }
    const char* mark = run->sides.commitMark;
    bool committed = false;
    if (mark[0]) {
        error = PathExists(run, mark, &committed);
        if (error != kFsOk) {
            free(entries);
            RecordFailure(run, FailureOfInstallError(run, error, mark), error, mark);
            return kJournalNotLookedAt;
        }
    }
    if (committed) {
        // Every new file was in place: what is left is the update's own side files.
        FinishCommittedUpdate(run, written.runId, entries, count);
        free(entries);
        if (RemoveJournal(run) == kFsOk) RemoveWhenFree(run, mark);
        return kInterruptedUpdateFinished;
    }
    char failedFile[kUpdatePathBytes];
    bool touched = false;
    bool undone = UndoCommit(run, written.runId, entries, count, failedFile, &error, &touched);
    free(entries);
    if (!undone) {
        RecordFailure(run, FailureOfInstallError(run, error, failedFile), error, failedFile);
        return kInterruptedUpdateNotUndone;
    }
    // Stopped before its commit began (its journal written before the folders it made): the game
    // was never changed, and there is nothing to tell.
    return touched ? kInterruptedUpdateUndone : kNoInterruptedUpdate;
}

int RemoveUpdateLeftovers(UpdateRun* run, const char* folder, char* left) {
    const UpdateFileSystem* fs = run->fs;
    char pattern[kUpdatePathBytes];
    if (snprintf(pattern, sizeof pattern, "%s\\~vup*", folder) >= (int)sizeof pattern) return 0;
    FsSearch search = nullptr;
    FsFound found;
    if (fs->findFirst(fs->context, pattern, &search, &found) != kFsOk) return 0;
    enum { kRetried = 8 };  // held ones tried again; more are left at once
    char held[kRetried][kUpdatePathBytes];
    uint32_t heldCount = 0;
    int notRemoved = 0;
    auto leave = [&](const char* path) {
        notRemoved++;
        if (left && !left[0]) snprintf(left, kUpdatePathBytes, "%s", path);
    };
    do {
        char path[kUpdatePathBytes];
        if ((found.attributes & kFsFolder) || !IsUpdateSideFileName(found.name) ||
            snprintf(path, sizeof path, "%s\\%s", folder, found.name) >= (int)sizeof path) {
            continue;
        }
        if (found.attributes & kFsReadOnly) fs->setAttributes(fs->context, path, kFsNormal);
        FsError error = fs->remove(fs->context, path);
        if (error == kFsOk || error == kFsNotFound) continue;
        if ((error == kFsHeld || error == kFsAccessDenied) && heldCount < kRetried) {
            snprintf(held[heldCount++], kUpdatePathBytes, "%s", path);
        } else {
            leave(path);
        }
    } while (fs->findNext(fs->context, search, &found) == kFsOk);
    fs->findClose(fs->context, search);
    HoldWait wait = {};
    while (heldCount > 0 && WaitOutHold(run, &wait, kFsHeld, false)) {
        uint32_t still = 0;
        for (uint32_t i = 0; i < heldCount; i++) {
            FsError error = fs->remove(fs->context, held[i]);
            if (error != kFsOk && error != kFsNotFound && still != i) {
                snprintf(held[still], kUpdatePathBytes, "%s", held[i]);
            }
            still += error != kFsOk && error != kFsNotFound;
        }
        heldCount = still;
    }
    for (uint32_t i = 0; i < heldCount; i++) leave(held[i]);
    return notRemoved;
}
