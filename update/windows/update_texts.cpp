// Every text of the update (see update_texts.h).
#include "update/windows/update_texts.h"

#include <cstdio>

#include "ui/message_box.h"
#include "update/core/space_plan.h"

const char kUpdateQuestion[] = "アップデートを開始します。宜しいですか？";
const char kUpdateDoneText[] = "アップデートを終了しました。";
const char kUpdateCancelled[] = "アップデートを中止しました";
const char kNoInstallFolder[] = "インストール先フォルダが無効又は特定できません";
const char kFolderNotWritable[] = "指定された場所には書き込み出来ません。";
const char kNetworkFolder[] =
    "ネットワークドライブには対応していません。\nローカルドライブを選択して下さい。";
const char kRootFolder[] = "ルートにはインストールできません";
const char kConfirmFolder[] = "[%s]にインストールします";
const char kBrowseTitle[] = "フォルダを作成する場所を選択してください";
const char kRecoveredEarlier[] =
    "前回のアップデートが途中で中断されていたため、ゲームを更新前の状態に戻しました。\n"
    "このままアップデートを続けます。";
const char kSideFileLeftEarlier[] =
    "前回のアップデートの一時ファイル[%s]を削除できませんでした。\n"
    "ほかのプログラムが使用している可能性があります。このファイルはアップデートには使われません。"
    "\nこのままアップデートを続けます。";
const char kWasPartlyEarlier[] =
    "前回のアップデートがファイルを1つずつ更新している途中で中断されたため、"
    "ゲームは一部のファイルだけが更新された状態です。\n"
    "このままアップデートを続けます。";
const char kOneAtATimeQuestion[] =
    "インストール先の空き容量が不足しているため、すべてのファイルをまとめて更新できません。\n"
    "（必要な空き容量：%luMB、現在の空き容量：%luMB）\n\n"
    "ファイルを1つずつ更新しますか？\n"
    "この方法では、アップデートが途中で止まると、ゲームが一部のファイルだけ更新された状態に"
    "なることがあります。";

static const char kGetTheMediaAgain[] =
    "メディアを入手し直してから、もう一度アップデートを実行してください。";

const char* UpdateStepText(UpdateStep step) {
    return step == kStepCommitting ? "ファイルを更新しています..." : "ファイルの検査中...";
}

// ---- refused before the first byte ------------------------------------------------------------

static void TellRefusal(const UpdateRun* run) {
    const char* file = run->failedFile;
    switch (run->refusal) {
        case kRefusedNone:
        case kRefusedDeclined:
            return;
        case kRefusedFolderMissing:
            ShowErrorMessage(
                "インストール先フォルダ[%s]が見つかりません。\n"
                "ゲームのインストール先を確認してください。",
                file);
            return;
        case kRefusedUpdateRunning:
            ShowErrorMessage(
                "インストール先フォルダ[%s]では、別のアップデートを実行中です。\n"
                "そのアップデートが終わってから、もう一度アップデートを実行してください。",
                file);
            return;
        case kRefusedCannotReplace:
            ShowErrorMessage(
                "ファイル[%s]を書き換えられません。\nゲームを実行中の場合は終了して下さい。", file);
            return;
        case kRefusedSealBroken:
            ShowErrorMessage(
                "アップデート用のメディアの検証ファイル[update.sum]が壊れています。\n%s",
                kGetTheMediaAgain);
            return;
        case kRefusedNotSealed:
            ShowErrorMessage(
                "ファイル[%s]がアップデート用のメディアの検証ファイルに含まれていません。\n%s",
                file, kGetTheMediaAgain);
            return;
        case kRefusedSealedSizeDiffers:
            ShowErrorMessage(
                "ファイル[%s]のサイズが正しくありません。\n"
                "アップデート用のメディアが破損している可能性があります。\n%s",
                file, kGetTheMediaAgain);
            return;
        case kRefusedSealedNotCopied:
            ShowErrorMessage(
                "アップデート用のメディアの検証ファイルに、アップデートでコピーされない"
                "ファイル[%s]が含まれています。\n%s",
                file, kGetTheMediaAgain);
            return;
        case kRefusedSealedFileMissing:
            ShowErrorMessage(
                "ファイル[%s]がアップデート用のメディアにありません。\n"
                "メディアが不完全な可能性があります。\n%s",
                file, kGetTheMediaAgain);
            return;
        case kRefusedNoRoom:
            ShowErrorMessage(
                "インストール先の空き容量が不足しています。\n"
                "アップデートには%luMBの空き容量が必要です（1ファイルずつ更新する場合でも%"
                "luMB）。\n"
                "現在の空き容量は%luMBです。",
                (unsigned long)MebibytesRoundedUp(run->figures[0]),
                (unsigned long)MebibytesRoundedUp(run->figures[1]),
                (unsigned long)MebibytesRoundedDown(run->figures[2]));
            return;
    }
}

// ---- stopped part-way ---------------------------------------------------------------------------

static const char kRestored[] = "ゲームは更新前の状態に戻しました。";
static const char kNotRestored[] =
    "ゲームを更新前の状態に戻せませんでした。\n"
    "もう一度アップデートを実行すると、更新前の状態に戻してから更新します。";
static const char kPartly[] =
    "ゲームは一部のファイルだけが更新された状態です。\nもう一度アップデートを実行してください。";
static const char kUnchanged[] = "ゲームのファイルは変更されていません。";

// Why the update stopped, naming a file.
static const char* CauseFormat(UpdateFailure failure) {
    switch (failure) {
        case kFailMediaUnreadable:
            return "ファイル[%s]"
                   "の読み込みに失敗しました。\nアップデート用のメディアを確認してください。";
        case kFailMediaDamaged:
            return "ファイル[%s]のデータが正しくありません。\n"
                   "アップデート用のメディアが破損している可能性があります。\n"
                   "メディアを入手し直してから、もう一度アップデートを実行してください。";
        case kFailMediaInUse:
            return "ファイル[%s]を他のプログラムが使用しているため、読み込めません。\n"
                   "そのファイルを使用しているプログラムを閉じてから、"
                   "もう一度アップデートを実行してください。";
        case kFailInUse:
            return "ファイル[%s]を他のプログラムが使用しているため、書き換えられません。\n"
                   "ゲームを実行中の場合は終了し、そのファイルを使用しているプログラムを閉じてから"
                   "、"
                   "もう一度アップデートを実行してください。";
        case kFailAccessDenied:
            return "ファイル[%s]に書き込む権限がありません。\n"
                   "アップデートを管理者として実行するか、書き込みのできるインストール先を"
                   "指定してください。";
        case kFailDiskFull:
            return "インストール先の空き容量が不足したため、ファイル[%s]を書き込めませんでした。\n"
                   "インストール先の容量を確認してください。";
        case kFailJournalUnreadable:
            return "前回中断されたアップデートの記録[%s]が読み取れないため、"
                   "ゲームのファイルが不完全な可能性があります。\n"
                   "ゲームを再インストールしてから、もう一度アップデートを実行してください。";
        default:
            return "ファイル[%s]のコピーに失敗しました。\nインストール先を確認してください。";
    }
}

static void TellStop(const UpdateRun* run) {
    GameState state = run->game;
    const char* stateLine = state == kGameRestored      ? kRestored
                            : state == kGameNotRestored ? kNotRestored
                            : state == kGamePartly      ? kPartly
                                                        : kUnchanged;
    if (run->failure == kFailCancelled) {
        // Cancel before anything installed was touched says no more than that.
        if (state == kGameUnchanged) {
            ShowErrorMessage(kUpdateCancelled);
        } else {
            ShowErrorMessage("%s。\n%s", kUpdateCancelled, stateLine);
        }
        return;
    }
    char cause[768];
    snprintf(cause, sizeof cause, CauseFormat(run->failure), run->failedFile);
    // Its own text says how the game stands and what to do.
    if (run->failure == kFailJournalUnreadable) {
        ShowErrorMessage("%s", cause);
        return;
    }
    ShowErrorMessage("%s\n%s", cause, stateLine);
}

void TellUpdateEnd(const UpdateRun* run, UpdateOutcome outcome) {
    switch (outcome) {
        case kUpdateDone:
            ShowInfoMessage(kUpdateDoneText);
            return;
        case kUpdateNotRecorded:
            ShowErrorMessage(
                "ゲームのファイルは更新されましたが、アップデートしたことをレジストリに"
                "記録できませんでした。\n"
                "もう一度アップデートを実行してください。");
            return;
        case kUpdateRefused:
            TellRefusal(run);
            return;
        case kUpdateStopped:
            TellStop(run);
            return;
    }
}
