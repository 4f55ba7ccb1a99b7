// The plan of an update (see update_plan.h).
#include "update/core/update_plan.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "resfs/cp932_lower.h"
#include "update/core/journal_format.h"
#include "update/core/update_list.h"

uint64_t PlannedStageTotal(const UpdatePlan* plan, UpdateStage stage) {
    uint64_t total = 0;
    for (uint32_t i = 0; i < plan->count; i++) {
        if (plan->files[i].stage == stage) total += plan->files[i].size;
    }
    return total;
}

bool PlanHasStage(const UpdatePlan* plan, UpdateStage stage) {
    for (uint32_t i = 0; i < plan->count; i++) {
        if (plan->files[i].stage == stage) return true;
    }
    return false;
}

bool SplitPatternFolder(const char* pattern, char* folder) {
    const char* separator = FindLastCp932Separator(pattern, "\\");
    size_t length = separator ? (size_t)(separator - pattern) : 0;
    if (length >= kUpdatePathBytes) return false;
    memcpy(folder, pattern, length);
    folder[length] = '\0';
    return true;
}

// The side file of `file` named by `extension`, or an empty text when it does not fit.
static bool ComposeSidePath(const UpdateRun* run, const PlannedFile* file, uint32_t index,
                            const char* extension, char* out) {
    char side[kJournalMaxNameBytes + 1];
    bool fits = JournalSideNameOfRun(file->target, run->runId, index, extension, side) &&
                InstallFolderPath(run, side, out);
    if (!fits) out[0] = '\0';
    return fits;
}

bool ComposePlannedPaths(const UpdateRun* run, PlannedFile* file, uint32_t index) {
    bool installed = InstallFolderPath(run, file->target, file->installed);
    if (!installed) file->installed[0] = '\0';
    bool draft = ComposeSidePath(run, file, index, ".new", file->draft);
    bool backup = ComposeSidePath(run, file, index, ".old", file->backup);
    return installed && draft && backup;
}

static bool AddToPlan(UpdatePlan* plan, const PlannedFile& file) {
    if (plan->count == plan->capacity) {
        uint32_t capacity = plan->capacity ? plan->capacity * 2 : 32;
        PlannedFile* grown =
            (PlannedFile*)realloc(plan->files, (size_t)capacity * sizeof(PlannedFile));
        if (!grown) return false;
        plan->files = grown;
        plan->capacity = capacity;
    }
    plan->files[plan->count++] = file;
    return true;
}

// The size and attributes of what is at `path` in the install folder, without opening it (a held
// file can still be measured): kFsOk with *there; the error when the folder cannot be looked at.
// A file standing where a folder of the path goes counts as nothing here: the check before
// copying refuses it.
static FsError LookAtInstalled(const UpdateRun* run, const char* path, bool* there, uint64_t* size,
                               uint32_t* attributes) {
    const UpdateFileSystem* fs = run->fs;
    *there = false;
    *size = 0;
    FsError error = fs->getAttributes(fs->context, path, attributes);
    if (error == kFsNotFound || error == kFsPathNotFound) return kFsOk;
    if (error != kFsOk) return error;
    *there = true;
    if (*attributes & kFsFolder) return kFsOk;
    FsSearch search = nullptr;
    FsFound found;
    error = fs->findFirst(fs->context, path, &search, &found);
    if (error != kFsOk) return error == kFsNotFound ? kFsOther : error;
    fs->findClose(fs->context, search);
    *size = found.size;
    return kFsOk;
}

// Plans one file from `source` on the media to `target` in the install folder. True when it is
// planned or not on the media; false when the update must stop (failure recorded).
static bool PlanFile(UpdateRun* run, const char* source, const char* target, UpdateStage stage) {
    const UpdateFileSystem* fs = run->fs;
    uint32_t attributes = 0;
    FsError error = fs->getAttributes(fs->context, source, &attributes);
    if (error == kFsNotFound || error == kFsPathNotFound) return true;  // absent
    if (error != kFsOk) {
        RecordFailure(run, FailureOfMediaError(error), error, source);
        return false;
    }
    if (attributes & kFsFolder) return true;  // not a file: nothing to copy
    PlannedFile file = {};
    if (strlen(source) >= sizeof file.source || strlen(target) >= sizeof file.target) return true;
    strcpy(file.source, source);
    strcpy(file.target, target);
    file.stage = stage;
    // Opened as the drafting will open it, so that a file that cannot be read stops the update
    // now instead of half-way.
    FsFile handle = nullptr;
    error = OpenWhenFree(run, source, kFsRead, kFsShareRead, kFsOpenExisting, true, &handle);
    if (error != kFsOk) {
        RecordFailure(run, run->cancelled ? kFailCancelled : FailureOfMediaError(error), error,
                      source);
        return false;
    }
    error = fs->size(fs->context, handle, &file.size);
    fs->close(fs->context, handle);
    if (error != kFsOk) {
        RecordFailure(run, FailureOfMediaError(error), error, source);
        return false;
    }
    file.sealed = FindSealedEntry(&run->seal, source, &file.sealIndex);
    if (file.sealed) {
        file.digest = run->seal.entries[file.sealIndex].digest;
        file.sealedSize = run->seal.entries[file.sealIndex].size;
    }
    ComposePlannedPaths(run, &file, run->plan.count);
    if (file.installed[0]) {
        // A folder of that name is not replaced: the check refuses it, a commit fails on it.
        uint32_t oldAttributes = 0;
        bool there = false;
        error = LookAtInstalled(run, file.installed, &there, &file.oldSize, &oldAttributes);
        if (error != kFsOk) {
            RecordFailure(run, FailureOfInstallError(run, error, file.installed), error,
                          file.installed);
            return false;
        }
        file.replaces = there && !(oldAttributes & kFsFolder);
    }
    if (!file.replaces) file.oldSize = 0;
    if (!AddToPlan(&run->plan, file)) {
        RecordFailure(run, kFailOther, kFsNoMemory, source);
        return false;
    }
    return true;
}

static bool PlanExecutable(UpdateRun* run) {
    char mediaName[kUpdateNameBytes];
    MakeMediaExeName(run->exeName, mediaName);
    return PlanFile(run, mediaName, run->exeName, kStageExecutable);
}

// The files of a pattern entry: its folder must be a folder on the media; the install folder gets
// a folder of that name. A folder that cannot be read to its end stops the update: it would
// install part of the files as the whole.
static bool PlanPattern(UpdateRun* run, const char* pattern) {
    const UpdateFileSystem* fs = run->fs;
    char folder[kUpdatePathBytes];
    if (!SplitPatternFolder(pattern, folder)) return true;
    const char* named = folder[0] ? folder : pattern;
    if (folder[0]) {
        uint32_t attributes = 0;
        FsError error = fs->getAttributes(fs->context, folder, &attributes);
        if (error == kFsNotFound || error == kFsPathNotFound) return true;
        if (error != kFsOk) {
            RecordFailure(run, FailureOfMediaError(error), error, folder);
            return false;
        }
        if (!(attributes & kFsFolder)) return true;
        UpdatePlan* plan = &run->plan;
        if (plan->folderCount < kMaxPlanFolders) {
            strcpy(plan->folders[plan->folderCount], folder);
            if (!InstallFolderPath(run, folder, plan->folderPaths[plan->folderCount])) {
                plan->folderPaths[plan->folderCount][0] = '\0';
            }
            plan->folderCount++;
        }
    }
    FsSearch search = nullptr;
    FsFound found;
    FsError error = fs->findFirst(fs->context, pattern, &search, &found);
    if (error == kFsNotFound) return true;
    if (error != kFsOk) {
        RecordFailure(run, FailureOfMediaError(error), error, named);
        return false;
    }
    bool planned = true;
    while (planned) {
        char match[kUpdatePathBytes];
        int n = snprintf(match, sizeof match, "%s%s%s", folder, folder[0] ? "\\" : "", found.name);
        // Names that would not fit a path are passed over.
        if (!(found.attributes & kFsFolder) && n > 0 && n < (int)sizeof match) {
            planned = PlanFile(run, match, match, kStageList);
        }
        if (!planned) break;
        error = fs->findNext(fs->context, search, &found);
        if (error == kFsNotFound) break;
        if (error != kFsOk) {
            RecordFailure(run, FailureOfMediaError(error), error, named);
            planned = false;
        }
    }
    fs->findClose(fs->context, search);
    return planned;
}

bool BuildUpdatePlan(UpdateRun* run) {
    ReleaseUpdatePlan(&run->plan);
    if (!PlanExecutable(run)) return false;
    for (const char* entry : kUpdateFileList) {
        bool goOn =
            entry[0] == '|' ? PlanPattern(run, entry + 1) : PlanFile(run, entry, entry, kStageList);
        if (!goOn) return false;
    }
    return true;
}
