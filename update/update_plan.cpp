// The plan of an update (see update_plan.h).
#include "update/update_plan.h"

#include <mbstring.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "settings/env_settings.h"
#include "update/file_ops.h"
#include "update/media_seal.h"
#include "update/update_files.h"
#include "update/update_list.h"

enum { kNameSize = 128 };

void BeginUpdateRun(UpdateRun* run, const char* installFolder) {
    memset(run, 0, sizeof *run);
    snprintf(run->installFolder, sizeof run->installFolder, "%s", installFolder);
}

void EndUpdateRun(UpdateRun* run) { ReleaseUpdatePlan(&run->plan); }

void RecordFailure(UpdateRun* run, UpdateFailure failure, DWORD error, const char* file) {
    if (run->failure != kFailNone) return;
    run->failure = failure;
    run->error = error;
    snprintf(run->failedFile, sizeof run->failedFile, "%s", file);
}

UpdateFailure FailureOfMediaError(DWORD error) {
    if (IsHeldError(error)) return kFailMediaInUse;
    return kFailMediaUnreadable;
}

UpdateFailure FailureOfInstallError(DWORD error) {
    if (IsHeldError(error)) return kFailInUse;
    if (IsDiskFullError(error)) return kFailDiskFull;
    if (error == ERROR_ACCESS_DENIED || error == ERROR_WRITE_PROTECT ||
        error == ERROR_PRIVILEGE_NOT_HELD) {
        return kFailAccessDenied;
    }
    return kFailOther;
}

bool InstallPath(const UpdateRun* run, const char* name, char* out) {
    int n = snprintf(out, kRunPathSize, "%s\\%s", run->installFolder, name);
    return n > 0 && n < kRunPathSize;
}

void ReleaseUpdatePlan(UpdatePlan* plan) {
    free(plan->files);
    memset(plan, 0, sizeof *plan);
}

int64_t PlannedStageTotal(const UpdatePlan* plan, UpdateStage stage) {
    int64_t total = 0;
    for (uint32_t i = 0; i < plan->count; i++) {
        if (plan->files[i].stage == stage) total += (int64_t)plan->files[i].size;
    }
    return total;
}

bool SplitPatternFolder(const char* pattern, char* folder) {
    const unsigned char* slash = _mbsrchr((const unsigned char*)pattern, '\\');
    size_t length = slash ? (size_t)((const char*)slash - pattern) : 0;
    if (length >= kRunPathSize) return false;
    memcpy(folder, pattern, length);
    folder[length] = '\0';
    return true;
}

bool BeginMatchSearch(MatchSearch* search, const char* pattern) {
    memset(search, 0, sizeof *search);
    search->handle = INVALID_HANDLE_VALUE;
    char folder[kRunPathSize];
    if (!SplitPatternFolder(pattern, folder)) return false;
    if (folder[0]) snprintf(search->folder, sizeof search->folder, "%s\\", folder);
    search->handle = GetFileOps()->findFirst(pattern, &search->found);
    if (search->handle == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_NO_MORE_FILES) search->error = error;
        return false;
    }
    search->pending = true;
    return true;
}

const char* NextMatch(MatchSearch* search) {
    const FileOps* ops = GetFileOps();
    while (search->handle != INVALID_HANDLE_VALUE) {
        if (search->pending) {
            search->pending = false;
        } else if (!ops->findNext(search->handle, &search->found)) {
            DWORD error = GetLastError();
            if (error != ERROR_NO_MORE_FILES) search->error = error;
            EndMatchSearch(search);
            return nullptr;
        }
        if (search->found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        int n = snprintf(search->match, sizeof search->match, "%s%s", search->folder,
                         search->found.cFileName);
        if (n > 0 && n < (int)sizeof search->match) return search->match;
    }
    return nullptr;
}

void EndMatchSearch(MatchSearch* search) {
    if (search->handle != INVALID_HANDLE_VALUE) GetFileOps()->findClose(search->handle);
    search->handle = INVALID_HANDLE_VALUE;
    search->pending = false;
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
// file can still be measured): true when something is there; false with *error 0 when nothing is,
// with the error when the folder cannot be looked at. A file standing where a folder of the path
// goes counts as nothing here: the check before copying refuses it.
static bool ExistingFile(const char* path, uint64_t* size, DWORD* attributes, DWORD* error) {
    const FileOps* ops = GetFileOps();
    *error = 0;
    *attributes = ops->getAttributes(path);
    if (*attributes == INVALID_FILE_ATTRIBUTES) {
        DWORD failed = GetLastError();
        if (failed != ERROR_FILE_NOT_FOUND && failed != ERROR_PATH_NOT_FOUND &&
            failed != ERROR_DIRECTORY) {
            *error = failed;
        }
        return false;
    }
    *size = 0;
    if (*attributes & FILE_ATTRIBUTE_DIRECTORY) return true;
    WIN32_FIND_DATAA found;
    HANDLE search = ops->findFirst(path, &found);
    if (search == INVALID_HANDLE_VALUE) {
        *error = GetLastError();
        return false;
    }
    ops->findClose(search);
    *size = (uint64_t)found.nFileSizeHigh << 32 | found.nFileSizeLow;
    return true;
}

// Plans one file from `source` on the media to `target` in the install folder. True when it is
// planned or not on the media; false when the update must stop (failure recorded).
static bool PlanFile(UpdateRun* run, const char* source, const char* target, UpdateStage stage) {
    const FileOps* ops = GetFileOps();
    DWORD attributes = ops->getAttributes(source);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return true;  // absent
        RecordFailure(run, FailureOfMediaError(error), error, source);
        return false;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return true;  // not a file: nothing to copy
    PlannedFile file = {};
    if (strlen(source) >= sizeof file.source || strlen(target) >= sizeof file.target) return true;
    strcpy(file.source, source);
    strcpy(file.target, target);
    file.stage = stage;
    // Opened as the drafting will open it, so that a file that cannot be read stops the update
    // now instead of half-way.
    HANDLE handle = OpenWhenFree(source, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING,
                                 &run->cancelled);
    if (handle == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        RecordFailure(run, run->cancelled ? kFailCancelled : FailureOfMediaError(error), error,
                      source);
        return false;
    }
    LARGE_INTEGER size;
    BOOL measured = ops->size(handle, &size);
    DWORD error = GetLastError();
    ops->close(handle);
    if (!measured) {
        RecordFailure(run, FailureOfMediaError(error), error, source);
        return false;
    }
    file.size = (uint64_t)size.QuadPart;
    file.sealed = IsMediaSealed() && FindSealedFile(source, &file.digest, &file.sealedSize);
    char destination[kRunPathSize];
    DWORD oldAttributes = 0;
    // A folder of that name is not replaced: the check refuses it, a commit fails on it.
    DWORD lookError = 0;
    file.replaces = InstallPath(run, target, destination) &&
                    ExistingFile(destination, &file.oldSize, &oldAttributes, &lookError) &&
                    !(oldAttributes & FILE_ATTRIBUTE_DIRECTORY);
    if (lookError) {
        RecordFailure(run, FailureOfInstallError(lookError), lookError, destination);
        return false;
    }
    if (!file.replaces) file.oldSize = 0;
    if (!AddToPlan(&run->plan, file)) {
        RecordFailure(run, kFailOther, ERROR_NOT_ENOUGH_MEMORY, source);
        return false;
    }
    return true;
}

static bool PlanExecutable(UpdateRun* run) {
    char configuredName[kNameSize], mediaName[kUpdateNameBytes];
    snprintf(configuredName, sizeof configuredName, "%s", GetExeNameSetting());
    MakeMediaExeName(configuredName, mediaName);
    return PlanFile(run, mediaName, configuredName, kStageExecutable);
}

// The files of a pattern entry: its folder must be a folder on the media; the install folder gets
// a folder of that name.
static bool PlanPattern(UpdateRun* run, const char* pattern) {
    char folder[kRunPathSize];
    if (!SplitPatternFolder(pattern, folder)) return true;
    if (folder[0]) {
        DWORD attributes = GetFileOps()->getAttributes(folder);
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            DWORD error = GetLastError();
            if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return true;
            RecordFailure(run, FailureOfMediaError(error), error, folder);
            return false;
        }
        if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return true;
        UpdatePlan* plan = &run->plan;
        if (plan->folderCount < kMaxPlanFolders) strcpy(plan->folders[plan->folderCount++], folder);
    }
    MatchSearch search;
    if (BeginMatchSearch(&search, pattern)) {
        while (const char* match = NextMatch(&search)) {
            if (!PlanFile(run, match, match, kStageList)) {
                EndMatchSearch(&search);
                return false;
            }
        }
    }
    // A folder that could not be read to its end would install part of the files as the whole.
    if (search.error) {
        RecordFailure(run, FailureOfMediaError(search.error), search.error,
                      folder[0] ? folder : pattern);
        return false;
    }
    return true;
}

bool BuildUpdatePlan(UpdateRun* run) {
    ReleaseUpdatePlan(&run->plan);
    if (!PlanExecutable(run)) return false;
    for (const char* entry : kUpdateFileList) {
        bool goOn = entry[0] == '|' ? PlanPattern(run, entry + 1)
                                    : PlanFile(run, entry, entry, kStageList);
        if (!goOn) return false;
    }
    return true;
}
