// The update procedure (see update_procedure.h): the question, the install folder from the
// registry (or chosen by the user when the settings allow it), then the update itself through the
// core (update/core/perform_update.h) under the copy dialog, and the message that tells how it
// ended. A folder chosen here serves this update only.
#include "update/windows/update_procedure.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "resfs/cp932_lower.h"
#include "settings/env_settings.h"
#include "settings/registry_store.h"
#include "ui/message_box.h"
#include "update/core/perform_update.h"
#include "update/core/sum_file.h"
#include "update/windows/copy_dialog.h"
#include "update/windows/install_folder.h"
#include "update/windows/update_texts.h"
#include "update/windows/win32_file_system.h"

// A run of this update's own, which its side files' names carry: never 0, and not the same for two
// launchers started together.
static uint32_t NewRunId() {
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    uint32_t id = (uint32_t)counter.QuadPart ^ (uint32_t)(counter.QuadPart >> 32) ^
                  (GetCurrentProcessId() << 16) ^ GetTickCount();
    return id ? id : 1;
}

// The install folder from the registry, or chosen and made. False when there is none to use (the
// player has been told).
static bool FindInstallFolder(const UpdateFileSystem* fs, char* folder) {
    ReadRegistryString(GetRegGlobalSetting(), GetRegLocalSetting(), "InstTo", "", folder,
                       kUpdatePathBytes);
    if (folder[0] != '\0') return true;
    ShowErrorMessage(kNoInstallFolder);
    if (GetSettingInt("UPDATENEEDINSTALL", 1) != 0) return false;
    if (!ChooseInstallFolder(folder)) {
        ShowErrorMessage(kUpdateCancelled);
        return false;
    }
    if (!CreateFolderChain(fs, folder)) {
        ShowErrorMessage(kFolderNotWritable);
        return false;
    }
    return true;
}

void FormatFolderLockName(const char* folder, char name[kFolderLockNameBytes]) {
    char lower[kUpdatePathBytes];
    snprintf(lower, sizeof lower, "%s", folder);
    LowerCp932(lower);
    snprintf(name, kFolderLockNameBytes, "Global\\VorlinUpdate-%016llx",
             (unsigned long long)ComputeSumDigest(lower, strlen(lower)));
}

// The install folder's named lock, or null when another launcher holds it, or when it cannot be
// made for another cause: the update then goes on without it, guarded by the lock file alone.
static HANDLE TakeFolderLock(const char* folder, bool* heldElsewhere) {
    char name[kFolderLockNameBytes];
    FormatFolderLockName(folder, name);
    SetLastError(ERROR_SUCCESS);
    HANDLE lock = CreateMutexA(NULL, FALSE, name);
    DWORD error = GetLastError();
    // Another user's lock may be there without the right to open it.
    *heldElsewhere = lock ? error == ERROR_ALREADY_EXISTS : error == ERROR_ACCESS_DENIED;
    if (lock && *heldElsewhere) {
        CloseHandle(lock);
        return NULL;
    }
    return lock;
}

int RunUpdateOn(const UpdateFileSystem* fs, uint32_t holdLimitMs) {
    if (!AskYesNo(kUpdateQuestion)) return kRunUpdateStopped;
    char folder[kUpdatePathBytes];
    if (!FindInstallFolder(fs, folder)) return kRunUpdateNoFolder;

    UpdateRun run;
    CopyDialog dialog;
    InitCopyDialog(&dialog, &run.cancelled);
    BeginUpdateRun(&run, fs, &dialog.progress, folder, GetExeNameSetting());
    run.holdLimitMs = holdLimitMs;
    run.runId = NewRunId();
    bool heldElsewhere = false;
    HANDLE folderLock = TakeFolderLock(folder, &heldElsewhere);
    UpdateOutcome outcome = kUpdateRefused;
    if (heldElsewhere) {
        // Another launcher is updating this folder: refused before anything is touched.
        run.refusal = kRefusedUpdateRunning;
        snprintf(run.failedFile, sizeof run.failedFile, "%s", folder);
    } else {
        outcome = PerformUpdate(&run);
    }
    // The update's work on the install folder is over: another launcher may have it while the
    // player reads the message.
    ReleaseInstallLock(&run);
    if (folderLock) CloseHandle(folderLock);
    int quitStatus = 0;
    if (CopyDialogSawQuit(&dialog, &quitStatus)) {
        // A quit message met while the update ran: it has put everything back as after Cancel;
        // the process now ends as the message asked, without a box.
        CloseCopyDialog(&dialog);
        EndUpdateRun(&run);
        exit(quitStatus);
    }
    // The message is shown over the dialog of a stopped update, as it stood.
    TellUpdateEnd(&run, outcome);
    CloseCopyDialog(&dialog);
    EndUpdateRun(&run);
    return outcome == kUpdateDone ? kRunUpdateDone : kRunUpdateStopped;
}

int RunUpdate() {
    Win32FileSystem fs;
    InitWin32FileSystem(&fs, GetRegGlobalSetting(), GetRegLocalSetting());
    return RunUpdateOn(&fs.table, kDefaultHoldLimitMs);
}
