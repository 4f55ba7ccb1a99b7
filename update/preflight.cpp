// The check before the first byte of an update (see preflight.h).
//
// On a sealed media (update.sum) every file the update would copy must be listed in the seal with
// its size, and every file the seal lists must be on the media; the bytes themselves are checked
// against the sealed digest while they are copied.
//
// The files are listed exactly as the copy stages will copy them: the executable's ".bin" name,
// the plain entries of the update list, then the files the help pattern matches. A file the media
// does not carry is skipped silently, as the copy skips it; one that is there but cannot be opened
// stops the update instead of being skipped, which would report a failed update as done.
#include "update/preflight.h"

#include <windows.h>
#include <sys/stat.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "settings/env_settings.h"
#include "ui/message_box.h"
#include "ui/message_pump.h"
#include "update/file_copy.h"
#include "update/media_seal.h"
#include "update/space_plan.h"
#include "update/update_files.h"

enum { kPathSize = 260, kNameSize = 128 };

static const char kFolderMissing[] =
    "インストール先フォルダ[%s]が見つかりません。\nゲームのインストール先を確認してください。";
static const char kMediaUnreadable[] =
    "ファイル[%s]の読み込みに失敗しました。\nアップデート用のメディアを確認してください。";
static const char kCannotReplace[] =
    "ファイル[%s]を書き換えられません。\nゲームを実行中の場合は終了して下さい。";
static const char kNoSpace[] =
    "インストール先の空き容量が不足しています。\n"
    "アップデートには%luMBの空き容量が必要です（現在の空き容量：%luMB）。";
static const char kCancelled[] = "アップデートを中止しました";
static const char kSealBroken[] =
    "アップデート用のメディアの検証ファイル[update.sum]が壊れています。\n"
    "メディアを確認してください。";
static const char kNotSealed[] =
    "ファイル[%s]がアップデート用のメディアの検証ファイルに含まれていません。\n"
    "メディアを確認してください。";
static const char kSealedSizeDiffers[] =
    "ファイル[%s]のサイズが正しくありません。\n"
    "アップデート用のメディアが破損している可能性があります。";
static const char kSealedFileMissing[] =
    "ファイル[%s]がアップデート用のメディアにありません。\n"
    "メディアが不完全な可能性があります。";

// The files found so far, with what the free-space sum needs of each.
struct Preflight {
    SpacePlanFile* files;
    uint32_t count;
    uint32_t capacity;
    bool stopped;  // a box has been shown (refused or cancelled)
};

static bool AddPlanned(Preflight* check, uint64_t newSize, bool replaces, uint64_t oldSize) {
    if (check->count == check->capacity) {
        uint32_t capacity = check->capacity ? check->capacity * 2 : 64;
        SpacePlanFile* grown =
            (SpacePlanFile*)realloc(check->files, (size_t)capacity * sizeof(SpacePlanFile));
        if (!grown) return false;
        check->files = grown;
        check->capacity = capacity;
    }
    check->files[check->count++] = {newSize, oldSize, replaces};
    return true;
}

static void Refuse(Preflight* check, const char* format, const char* name) {
    ShowErrorMessage(format, name);
    check->stopped = true;
}

// Drains the queue so the dialog stays responsive; true (after telling the user) once Cancel was
// pressed.
static bool CancelSeen(Preflight* check) {
    PumpMessages();
    if (!WasCopyCancelled()) return false;
    ShowErrorMessage(kCancelled);
    check->stopped = true;
    return true;
}

static bool FileSize(const char* path, uint64_t* size) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data)) return false;
    *size = (uint64_t)data.nFileSizeHigh << 32 | data.nFileSizeLow;
    return true;
}

// One file the update would copy from `source` (relative to the media folder) to `destination`.
// False when the update must stop (the box has been shown).
static bool CheckFile(Preflight* check, const char* source, const char* destination) {
    DWORD attributes = GetFileAttributesA(source);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return true;  // absent
    } else if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        return true;  // not a file: the copy skips it too
    }
    // Opened as the copy opens it.
    HANDLE file = CreateFileA(source, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    LARGE_INTEGER size = {};
    bool readable = file != INVALID_HANDLE_VALUE && GetFileSizeEx(file, &size);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    if (!readable) {
        Refuse(check, kMediaUnreadable, source);
        return false;
    }
    uint64_t sealedDigest, sealedSize;
    if (IsMediaSealed()) {
        if (!FindSealedFile(source, &sealedDigest, &sealedSize)) {
            Refuse(check, kNotSealed, source);
            return false;
        }
        if (sealedSize != (uint64_t)size.QuadPart) {
            Refuse(check, kSealedSizeDiffers, source);
            return false;
        }
    }
    uint64_t oldSize = 0;
    bool replaces = GetFileAttributesA(destination) != INVALID_FILE_ATTRIBUTES;
    if (replaces && (!DestinationReplaceable(destination) || !FileSize(destination, &oldSize))) {
        Refuse(check, kCannotReplace, destination);
        return false;
    }
    // Without memory for the list the update goes on unchecked for space, as it did before.
    AddPlanned(check, (uint64_t)size.QuadPart, replaces, oldSize);
    return !CancelSeen(check);
}

static bool Join(char* out, const char* folder, const char* name) {
    return snprintf(out, kPathSize, "%s\\%s", folder, name) < kPathSize;
}

// The executable, carried on the media under its ".bin" name.
static bool CheckExecutable(Preflight* check, const char* folder) {
    char configuredName[kNameSize], mediaName[kNameSize], destination[kPathSize];
    snprintf(configuredName, sizeof configuredName, "%s", GetExeNameSetting());
    MakeMediaExeName(configuredName, mediaName);
    // A destination that does not fit fails the copy itself, with its usual message.
    if (!Join(destination, folder, configuredName)) return true;
    return CheckFile(check, mediaName, destination);
}

// The files a pattern entry matches ("help\*.*"): its sub-folder must be a folder on the media,
// and the install folder must be able to hold a folder of that name.
static bool CheckPattern(Preflight* check, const char* folder, const char* pattern) {
    const char* slash = strchr(pattern, '\\');
    if (slash) {
        char subFolder[kPathSize], created[kPathSize];
        size_t length = (size_t)(slash - pattern);
        if (length >= sizeof subFolder) return true;
        memcpy(subFolder, pattern, length);
        subFolder[length] = '\0';
        struct _stat status;
        if (_stat(subFolder, &status) != 0 || !(status.st_mode & _S_IFDIR)) return true;
        if (!Join(created, folder, subFolder)) return true;
        DWORD attributes = GetFileAttributesA(created);
        if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            Refuse(check, kCannotReplace, created);
            return false;
        }
    }
    if (FindFirstMatch(pattern) != 0) return true;
    while (const char* match = FindNextMatch()) {
        char source[kPathSize], destination[kPathSize];
        snprintf(source, sizeof source, "%s", match);
        if (!Join(destination, folder, source)) continue;
        if (!CheckFile(check, source, destination)) return false;
    }
    return true;
}

// The cluster size of the volume holding `folder` (4096 when it cannot be told).
static uint32_t ClusterSizeOf(const char* folder) {
    char root[kPathSize];
    DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters, clusters;
    if (!GetVolumePathNameA(folder, root, sizeof root) ||
        !GetDiskFreeSpaceA(root, &sectorsPerCluster, &bytesPerSector, &freeClusters, &clusters) ||
        sectorsPerCluster == 0 || bytesPerSector == 0) {
        return 4096;
    }
    return sectorsPerCluster * bytesPerSector;
}

static bool CheckFreeSpace(Preflight* check, const char* folder) {
    ULARGE_INTEGER available;
    if (!GetDiskFreeSpaceExA(folder, &available, NULL, NULL)) return true;  // cannot be told
    uint64_t need = ComputeSpaceNeeded(check->files, check->count, ClusterSizeOf(folder));
    if (need <= available.QuadPart) return true;
    ShowErrorMessage(kNoSpace, (unsigned long)MebibytesRoundedUp(need),
                     (unsigned long)MebibytesRoundedDown(available.QuadPart));
    check->stopped = true;
    return false;
}

static bool RunChecks(Preflight* check, const char* folder) {
    if (CancelSeen(check)) return false;
    DWORD attributes = GetFileAttributesA(folder);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        Refuse(check, kFolderMissing, folder);
        return false;
    }
    // A sealed media: its seal must be intact, and every file it lists must be there (an
    // incomplete download must not pass for a complete update).
    MediaSealState seal = LoadMediaSeal();
    if (seal == kSealMalformed || seal == kSealDamaged) {
        Refuse(check, kSealBroken, "update.sum");
        return false;
    }
    for (uint32_t i = 0; i < GetSealedFileCount(); i++) {
        DWORD listed = GetFileAttributesA(GetSealedFileName(i));
        if (listed == INVALID_FILE_ATTRIBUTES || (listed & FILE_ATTRIBUTE_DIRECTORY)) {
            Refuse(check, kSealedFileMissing, GetSealedFileName(i));
            return false;
        }
    }
    if (!CheckExecutable(check, folder)) return false;
    for (int i = 0; i < GetUpdateFileListSize(); i++) {
        const char* entry = GetUpdateFileListEntry(i);
        bool goOn;
        if (entry[0] == '|') {
            goOn = CheckPattern(check, folder, entry + 1);
        } else {
            char destination[kPathSize];
            goOn = !Join(destination, folder, entry) || CheckFile(check, entry, destination);
        }
        if (!goOn) return false;
    }
    // Leftovers of interrupted updates go first: their space counts as free.
    RemoveLeftoverTemporaryFiles(folder);
    char help[kPathSize];
    if (Join(help, folder, "help")) RemoveLeftoverTemporaryFiles(help);
    if (!CheckFreeSpace(check, folder)) return false;
    return !CancelSeen(check);
}

int CheckUpdateBeforeCopying(const char* installFolder) {
    OpenCopyDialog();
    ShowCopyDialogText("ファイルの検査中...");
    Preflight check = {nullptr, 0, 0, false};
    bool goOn = RunChecks(&check, installFolder);
    free(check.files);
    if (goOn) return 0;
    CloseCopyDialog();
    return 1;
}
