// The commit of an update and its undo (see update_commit.h).
//
// Every step of the undo looks at what is on the disk rather than at how far this process got,
// so the same steps undo a commit that failed here and one that a killed process left behind:
// for each file, last to first, a backup that exists is moved back over the name (whatever is there
// now is the new file or nothing); a draft that exists was never moved in and is deleted; an added
// file whose draft is gone was moved in and is deleted.
#include "update/update_commit.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "update/file_copy.h"
#include "update/file_ops.h"
#include "update/journal_format.h"

enum { kPathSize = kRunPathSize, kMaxJournalBytes = 256u << 20 };

// Whether `path` exists; false when that cannot be told (the error is not "not found").
static bool Exists(const char* path, bool* exists) {
    DWORD attributes = GetFileOps()->getAttributes(path);
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        *exists = true;
        return true;
    }
    DWORD error = GetLastError();
    *exists = false;
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// Every rename of the commit and its undo is written through before the next step.
static bool RenameHeld(const char* from, const char* to, DWORD flags, volatile LONG* cancelled) {
    return RenameWhenFree(from, to, flags | MOVEFILE_WRITE_THROUGH, cancelled);
}

static bool JournalPath(const char* installFolder, char* out) {
    return snprintf(out, kPathSize, "%s\\%s", installFolder, kJournalName) < kPathSize;
}

// Paths of file line `index` of a journal: the installed name, its draft and its backup.
static bool EntryPaths(const char* installFolder, const char* name, uint32_t index, char* target,
                       char* draft, char* backup) {
    char side[kJournalMaxNameBytes + 1];
    if (snprintf(target, kPathSize, "%s\\%s", installFolder, name) >= kPathSize) return false;
    if (!JournalSideName(name, index, ".new", side) ||
        snprintf(draft, kPathSize, "%s\\%s", installFolder, side) >= kPathSize) {
        return false;
    }
    return JournalSideName(name, index, ".old", side) &&
           snprintf(backup, kPathSize, "%s\\%s", installFolder, side) < kPathSize;
}

// Undoes what a commit by `entries` did in `installFolder`, as found on the disk. True when the
// old game is whole again and the journal is gone; false (the journal kept) when a step failed,
// with the file it failed on in `failedFile` and its error in *error.
static bool UndoCommit(const char* installFolder, const JournalEntry* entries, uint32_t count,
                       char* failedFile, DWORD* error) {
    const FileOps* ops = GetFileOps();
    uint32_t files = 0;
    for (uint32_t i = 0; i < count; i++) files += entries[i].kind != 'D';
    bool whole = true;
    uint32_t index = files;
    for (uint32_t i = count; i-- > 0;) {
        const JournalEntry& entry = entries[i];
        if (entry.kind == 'D') continue;
        index--;
        char target[kPathSize], draft[kPathSize], backup[kPathSize];
        if (!EntryPaths(installFolder, entry.name, index, target, draft, backup)) continue;
        bool backupThere, draftThere, targetThere;
        bool known = Exists(backup, &backupThere) && Exists(draft, &draftThere) &&
                     Exists(target, &targetThere);
        bool undone = known;
        if (known && entry.kind == 'R' && backupThere) {
            undone = RenameHeld(backup, target, MOVEFILE_REPLACE_EXISTING, nullptr);
        } else if (known && entry.kind == 'A' && !draftThere && targetThere) {
            undone = RemoveWhenFree(target, nullptr);
        }
        if (!undone) {
            if (whole) {
                *error = GetLastError();
                snprintf(failedFile, kPathSize, "%s", target);
            }
            whole = false;
            continue;
        }
        if (draftThere) RemoveWhenFree(draft, nullptr);
    }
    for (uint32_t i = count; i-- > 0;) {
        char folder[kPathSize];
        if (entries[i].kind == 'D' &&
            snprintf(folder, sizeof folder, "%s\\%s", installFolder, entries[i].name) < kPathSize) {
            ops->removeFolder(folder);  // only when empty: it held nothing but the update's files
        }
    }
    char journal[kPathSize];
    if (whole && JournalPath(installFolder, journal) && !RemoveWhenFree(journal, nullptr)) {
        *error = GetLastError();
        snprintf(failedFile, kPathSize, "%s", journal);
        whole = false;
    }
    return whole;
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

static bool WriteWholeFile(const char* path, const char* text, size_t length, DWORD* error) {
    const FileOps* ops = GetFileOps();
    HANDLE file = OpenWhenFree(path, GENERIC_WRITE, 0, CREATE_ALWAYS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *error = GetLastError();
        return false;
    }
    DWORD written = 0;
    bool whole = ops->write(file, text, (DWORD)length, &written) && written == length &&
                 ops->flush(file);
    *error = whole ? 0 : (GetLastError() ? GetLastError() : ERROR_DISK_FULL);
    whole = ops->close(file) && whole;
    if (!whole && *error == 0) *error = GetLastError();
    return whole;
}

bool MakePlanFolders(UpdateRun* run) {
    UpdatePlan* plan = &run->plan;
    for (uint32_t i = 0; i < plan->folderCount; i++) {
        char folder[kPathSize];
        if (!InstallPath(run, plan->folders[i], folder)) continue;
        bool there;
        if (Exists(folder, &there) && there) continue;
        if (!GetFileOps()->makeFolder(folder)) {
            DWORD error = GetLastError();
            if (error == ERROR_ALREADY_EXISTS) continue;
            RecordFailure(run, FailureOfInstallError(error), error, folder);
            return false;
        }
        plan->folderMade[i] = true;
    }
    return true;
}

void RemoveDrafts(UpdateRun* run) {
    for (uint32_t i = 0; i < run->plan.count; i++) {
        char draft[kPathSize];
        bool there;
        if (PlannedSidePath(run, i, ".new", draft) && Exists(draft, &there) && there) {
            RemoveWhenFree(draft, nullptr);
        }
    }
    for (uint32_t i = run->plan.folderCount; i-- > 0;) {
        char folder[kPathSize];
        if (run->plan.folderMade[i] && InstallPath(run, run->plan.folders[i], folder)) {
            GetFileOps()->removeFolder(folder);
        }
    }
}

void RemoveBackups(UpdateRun* run) {
    for (uint32_t i = 0; i < run->plan.count; i++) {
        char backup[kPathSize];
        if (!run->plan.files[i].replaces || !PlannedSidePath(run, i, ".old", backup)) continue;
        // The old file may have been read-only; a backup is deleted all the same.
        if (!RemoveWhenFree(backup, nullptr) && GetLastError() == ERROR_ACCESS_DENIED &&
            SetAttributesWhenFree(backup, FILE_ATTRIBUTE_NORMAL, nullptr)) {
            RemoveWhenFree(backup, nullptr);
        }
    }
}

// Moves file `index` in: its old file aside (when it replaces one), its draft in, its times set.
static bool PutInPlace(UpdateRun* run, uint32_t index) {
    const PlannedFile* file = &run->plan.files[index];
    char target[kPathSize], draft[kPathSize], backup[kPathSize];
    if (!InstallPath(run, file->target, target) || !PlannedSidePath(run, index, ".new", draft) ||
        !PlannedSidePath(run, index, ".old", backup)) {
        RecordFailure(run, kFailOther, ERROR_FILENAME_EXCED_RANGE, file->target);
        return false;
    }
    if ((file->replaces && !RenameHeld(target, backup, 0, &run->cancelled)) ||
        !RenameHeld(draft, target, 0, &run->cancelled)) {
        DWORD error = GetLastError();
        RecordFailure(run, run->cancelled ? kFailCancelled : FailureOfInstallError(error), error,
                      target);
        return false;
    }
    return FinishPlacedFile(run, index, target);
}

bool CommitUpdate(UpdateRun* run, GameState* state) {
    *state = kGameRestored;
    char journal[kPathSize];
    uint32_t count = 0;
    JournalEntry* entries = PlanJournal(run, &count);
    size_t length = 0;
    char* text = entries ? WriteJournal(entries, count, &length) : nullptr;
    DWORD error = ERROR_NOT_ENOUGH_MEMORY;
    if (!text || !JournalPath(run->installFolder, journal) ||
        !WriteWholeFile(journal, text, length, &error)) {
        // Nothing installed has been touched: the drafts go, the journal if it was begun.
        free(text);
        free(entries);
        RecordFailure(run, FailureOfInstallError(error), error, journal);
        RemoveWhenFree(journal, nullptr);
        RemoveDrafts(run);
        return false;
    }
    free(text);
    bool placed = true;
    for (uint32_t i = 0; i < run->plan.count && placed; i++) {
        if (run->cancelled) {
            RecordFailure(run, kFailCancelled, 0, run->plan.files[i].target);
            placed = false;
        } else {
            placed = PutInPlace(run, i);
        }
    }
    // The journal's removal is the moment the update is done.
    if (placed && !RemoveWhenFree(journal, nullptr)) {
        error = GetLastError();
        RecordFailure(run, FailureOfInstallError(error), error, journal);
        placed = false;
    }
    if (!placed) {
        char failedFile[kPathSize];
        DWORD undoError = 0;
        if (!UndoCommit(run->installFolder, entries, count, failedFile, &undoError)) {
            *state = kGameNotRestored;
        }
    }
    free(entries);
    return placed;
}

bool PutDraftInPlaceNow(UpdateRun* run, uint32_t index) {
    const FileOps* ops = GetFileOps();
    const PlannedFile* file = &run->plan.files[index];
    char target[kPathSize], draft[kPathSize];
    if (!InstallPath(run, file->target, target) || !PlannedSidePath(run, index, ".new", draft)) {
        RecordFailure(run, kFailOther, ERROR_FILENAME_EXCED_RANGE, file->target);
        return false;
    }
    DWORD attributes = ops->getAttributes(target);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
        ops->setAttributes(target, FILE_ATTRIBUTE_NORMAL);
    }
    if (!RenameHeld(draft, target, MOVEFILE_REPLACE_EXISTING, &run->cancelled)) {
        DWORD error = GetLastError();
        if (attributes != INVALID_FILE_ATTRIBUTES) ops->setAttributes(target, attributes);
        RemoveWhenFree(draft, nullptr);
        RecordFailure(run, run->cancelled ? kFailCancelled : FailureOfInstallError(error), error,
                      target);
        return false;
    }
    run->replaced++;
    return FinishPlacedFile(run, index, target);
}

// The whole journal file, or null: *found false when there is none, true with *error set when it
// cannot be read.
static uint8_t* ReadJournal(const char* path, size_t* size, bool* found, DWORD* error) {
    const FileOps* ops = GetFileOps();
    *found = false;
    *error = 0;
    HANDLE file = OpenWhenFree(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        DWORD failed = GetLastError();
        // One that is there but cannot be read is not taken for none.
        if (failed != ERROR_FILE_NOT_FOUND && failed != ERROR_PATH_NOT_FOUND) {
            *found = true;
            *error = failed;
        }
        return nullptr;
    }
    *found = true;
    LARGE_INTEGER length;
    uint8_t* bytes = nullptr;
    if (ops->size(file, &length) && length.QuadPart <= kMaxJournalBytes) {
        *size = (size_t)length.QuadPart;
        bytes = (uint8_t*)malloc(*size + 1);
        size_t done = 0;
        while (bytes && done < *size) {
            DWORD got = 0;
            DWORD want = *size - done > (1u << 20) ? (1u << 20) : (DWORD)(*size - done);
            if (!ops->read(file, bytes + done, want, &got) || got == 0) {
                *error = GetLastError() ? GetLastError() : ERROR_HANDLE_EOF;
                free(bytes);
                bytes = nullptr;
                break;
            }
            done += got;
        }
    } else {
        *error = GetLastError();
    }
    ops->close(file);
    return bytes;
}

RecoveryResult RecoverInterruptedUpdate(UpdateRun* run) {
    char journal[kPathSize];
    if (!JournalPath(run->installFolder, journal)) return kNoInterruptedUpdate;
    bool there;
    if (!Exists(journal, &there)) {
        DWORD error = GetLastError();
        RecordFailure(run, FailureOfInstallError(error), error, journal);
        return kJournalNotLookedAt;
    }
    if (!there) return kNoInterruptedUpdate;
    size_t size = 0;
    bool found;
    DWORD error;
    uint8_t* bytes = ReadJournal(journal, &size, &found, &error);
    if (!found) return kNoInterruptedUpdate;
    if (!bytes) {
        RecordFailure(run, FailureOfInstallError(error), error, journal);
        return kInterruptedUpdateNotUndone;
    }
    JournalEntry* entries = nullptr;
    uint32_t count = 0;
    bool complete = ParseJournal(bytes, size, &entries, &count);
    free(bytes);
    if (!complete) {
        // Cut short while it was written: no installed file had been touched yet. What the stopped
        // update left (its drafts) goes with the leftovers.
        RemoveWhenFree(journal, nullptr);
        return kNoInterruptedUpdate;
    }
    char failedFile[kPathSize];
    bool undone = UndoCommit(run->installFolder, entries, count, failedFile, &error);
    free(entries);
    if (!undone) {
        RecordFailure(run, FailureOfInstallError(error), error, failedFile);
        return kInterruptedUpdateNotUndone;
    }
    return kInterruptedUpdateUndone;
}

int RemoveUpdateLeftovers(const char* folder) {
    const FileOps* ops = GetFileOps();
    char pattern[kPathSize];
    if (snprintf(pattern, sizeof pattern, "%s\\~vup*", folder) >= (int)sizeof pattern) return 0;
    WIN32_FIND_DATAA found;
    HANDLE search = ops->findFirst(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) return 0;
    int removed = 0;
    do {
        char path[kPathSize];
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
            !IsUpdateSideFileName(found.cFileName) ||
            snprintf(path, sizeof path, "%s\\%s", folder, found.cFileName) >= (int)sizeof path) {
            continue;
        }
        if (found.dwFileAttributes & FILE_ATTRIBUTE_READONLY) {
            ops->setAttributes(path, FILE_ATTRIBUTE_NORMAL);
        }
        if (ops->remove(path)) removed++;
    } while (ops->findNext(search, &found));
    ops->findClose(search);
    return removed;
}
