// The check before the first byte of an update (see preflight.h).
//
// On a sealed media (update.sum) every file the update would copy must be listed in the seal with
// its size, and every file the seal lists must be on the media; the bytes themselves are checked
// against the sealed digest while they are drafted.
#include "update/preflight.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ui/message_box.h"
#include "ui/message_pump.h"
#include "update/file_copy.h"
#include "update/file_ops.h"
#include "update/media_seal.h"
#include "update/space_plan.h"
#include "update/update_commit.h"
#include "update/update_plan.h"
#include "update/update_report.h"

static const char kFolderMissing[] =
    "インストール先フォルダ[%s]が見つかりません。\nゲームのインストール先を確認してください。";
static const char kCannotReplace[] =
    "ファイル[%s]を書き換えられません。\nゲームを実行中の場合は終了して下さい。";
static const char kNoSpace[] =
    "インストール先の空き容量が不足しています。\n"
    "アップデートには%luMBの空き容量が必要です（1ファイルずつ更新する場合でも%luMB）。\n"
    "現在の空き容量は%luMBです。";
static const char kOneAtATime[] =
    "インストール先の空き容量が不足しているため、すべてのファイルをまとめて更新できません。\n"
    "（必要な空き容量：%luMB、現在の空き容量：%luMB）\n\n"
    "ファイルを1つずつ更新しますか？\n"
    "この方法では、アップデートが途中で止まると、ゲームが一部のファイルだけ更新された状態に"
    "なることがあります。";
static const char kRecovered[] =
    "前回のアップデートが途中で中断されていたため、ゲームを更新前の状態に戻しました。\n"
    "このままアップデートを続けます。";
static const char kCancelled[] = "アップデートを中止しました";
static const char kSealBroken[] =
    "アップデート用のメディアの検証ファイル[update.sum]が壊れています。\n"
    "メディアを入手し直してから、もう一度アップデートを実行してください。";
static const char kNotSealed[] =
    "ファイル[%s]がアップデート用のメディアの検証ファイルに含まれていません。\n"
    "メディアを入手し直してから、もう一度アップデートを実行してください。";
static const char kSealedSizeDiffers[] =
    "ファイル[%s]のサイズが正しくありません。\n"
    "アップデート用のメディアが破損している可能性があります。\n"
    "メディアを入手し直してから、もう一度アップデートを実行してください。";
static const char kSealedFileMissing[] =
    "ファイル[%s]がアップデート用のメディアにありません。\n"
    "メディアが不完全な可能性があります。\n"
    "メディアを入手し直してから、もう一度アップデートを実行してください。";

// Drains the queue so the dialog stays responsive; true (after telling the user) once Cancel was
// pressed.
static bool CancelSeen(UpdateRun* run) {
    PumpMessages();
    if (!run->cancelled) return false;
    ShowErrorMessage(kCancelled);
    return true;
}

static bool Refuse(const char* format, const char* name) {
    ShowErrorMessage(format, name);
    return false;
}

// A sealed media: its seal must be intact, and every file it lists must be there (an incomplete
// download must not pass for a complete update).
static bool CheckSeal() {
    MediaSealState seal = LoadMediaSeal();
    if (seal == kSealMalformed || seal == kSealDamaged) return Refuse(kSealBroken, "update.sum");
    for (uint32_t i = 0; i < GetSealedFileCount(); i++) {
        DWORD listed = GetFileOps()->getAttributes(GetSealedFileName(i));
        if (listed == INVALID_FILE_ATTRIBUTES || (listed & FILE_ATTRIBUTE_DIRECTORY)) {
            return Refuse(kSealedFileMissing, GetSealedFileName(i));
        }
    }
    return true;
}

// Each planned file against the seal, and its destination: replaceable now.
static bool CheckPlannedFiles(UpdateRun* run) {
    for (uint32_t i = 0; i < run->plan.count; i++) {
        const PlannedFile* file = &run->plan.files[i];
        if (IsMediaSealed() && !file->sealed) return Refuse(kNotSealed, file->source);
        if (file->sealed && file->sealedSize != file->size) {
            return Refuse(kSealedSizeDiffers, file->source);
        }
        char destination[kRunPathSize];
        DWORD error = 0;
        if (InstallPath(run, file->target, destination) &&
            !DestinationReplaceable(destination, &error)) {
            if (error == ERROR_DIRECTORY) return Refuse(kCannotReplace, destination);
            RecordFailure(run, run->cancelled ? kFailCancelled : FailureOfInstallError(error),
                          error, destination);
            ReportStoppedUpdate(run, kGameUnchanged);
            return false;
        }
        if (CancelSeen(run)) return false;
    }
    // The install folder must be able to hold each sub-folder the update writes into.
    for (uint32_t i = 0; i < run->plan.folderCount; i++) {
        char folder[kRunPathSize];
        if (!InstallPath(run, run->plan.folders[i], folder)) continue;
        DWORD attributes = GetFileOps()->getAttributes(folder);
        if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            return Refuse(kCannotReplace, folder);
        }
    }
    return true;
}

// Room for every draft at once; failing that, the choice of the one-at-a-time order.
static bool CheckFreeSpace(UpdateRun* run) {
    uint64_t available;
    uint32_t clusterSize;
    if (!GetFileOps()->freeSpace(run->installFolder, &available, &clusterSize)) return true;
    uint32_t count = run->plan.count;
    SpacePlanFile* files = (SpacePlanFile*)malloc((size_t)(count ? count : 1) * sizeof *files);
    if (!files) return true;  // cannot be told without memory: the drafts will tell
    for (uint32_t i = 0; i < count; i++) {
        const PlannedFile* file = &run->plan.files[i];
        files[i] = {file->size, file->oldSize, file->replaces};
    }
    uint64_t allAtOnce = ComputeSpaceNeededAllAtOnce(files, count, clusterSize);
    uint64_t oneAtATime = ComputeSpaceNeeded(files, count, clusterSize);
    free(files);
    if (allAtOnce <= available) return true;
    unsigned long freeMb = (unsigned long)MebibytesRoundedDown(available);
    if (oneAtATime <= available) {
        if (!AskYesNoDefaultNo(kOneAtATime, (unsigned long)MebibytesRoundedUp(allAtOnce), freeMb)) {
            return false;
        }
        run->fileByFile = true;
        return true;
    }
    ShowErrorMessage(kNoSpace, (unsigned long)MebibytesRoundedUp(allAtOnce),
                     (unsigned long)MebibytesRoundedUp(oneAtATime), freeMb);
    return false;
}

static bool RunChecks(UpdateRun* run) {
    if (CancelSeen(run)) return false;
    DWORD attributes = GetFileOps()->getAttributes(run->installFolder);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return Refuse(kFolderMissing, run->installFolder);
    }
    switch (RecoverInterruptedUpdate(run)) {
    case kNoInterruptedUpdate: break;
    case kInterruptedUpdateUndone: ShowInfoMessage(kRecovered); break;
    case kInterruptedUpdateNotUndone: ReportStoppedUpdate(run, kGameNotRestored); return false;
    case kJournalNotLookedAt: ReportStoppedUpdate(run, kGameUnchanged); return false;
    }
    if (!CheckSeal()) return false;
    if (!BuildUpdatePlan(run)) {
        if (run->failure == kFailCancelled) return Refuse(kCancelled, "");
        ReportStoppedUpdate(run, kGameUnchanged);
        return false;
    }
    if (!CheckPlannedFiles(run)) return false;
    // Leftovers of interrupted updates go first: their space counts as free.
    RemoveUpdateLeftovers(run->installFolder);
    for (uint32_t i = 0; i < run->plan.folderCount; i++) {
        char folder[kRunPathSize];
        if (InstallPath(run, run->plan.folders[i], folder)) RemoveUpdateLeftovers(folder);
    }
    if (!CheckFreeSpace(run)) return false;
    return !CancelSeen(run);
}

int CheckUpdateBeforeCopying(UpdateRun* run) {
    OpenCopyDialog(&run->cancelled);
    ShowCopyDialogText("ファイルの検査中...");
    if (RunChecks(run)) return 0;
    CloseCopyDialog();
    return 1;
}
