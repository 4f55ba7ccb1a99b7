// The message of a stopped update (see update_report.h). Every text of a stopped update lives here.
#include "update/update_report.h"

#include <cstdio>

#include "ui/message_box.h"

static const char kCancelled[] = "アップデートを中止しました";
static const char kRestored[] = "ゲームは更新前の状態に戻しました。";
static const char kNotRestored[] =
    "ゲームを更新前の状態に戻せませんでした。\n"
    "もう一度アップデートを実行すると、更新前の状態に戻してから更新します。";
static const char kPartly[] =
    "ゲームは一部のファイルだけが更新された状態です。\nもう一度アップデートを実行してください。";
static const char kUnchanged[] = "ゲームのファイルは変更されていません。";

// Why the update stopped, naming `file`.
static const char* CauseFormat(UpdateFailure failure) {
    switch (failure) {
    case kFailMediaUnreadable:
        return "ファイル[%s]の読み込みに失敗しました。\nアップデート用のメディアを確認してください。";
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
               "ゲームを実行中の場合は終了し、そのファイルを使用しているプログラムを閉じてから、"
               "もう一度アップデートを実行してください。";
    case kFailAccessDenied:
        return "ファイル[%s]に書き込む権限がありません。\n"
               "アップデートを管理者として実行するか、書き込みのできるインストール先を"
               "指定してください。";
    case kFailDiskFull:
        return "インストール先の空き容量が不足したため、ファイル[%s]を書き込めませんでした。\n"
               "インストール先の容量を確認してください。";
    default:
        return "ファイル[%s]のコピーに失敗しました。\nインストール先を確認してください。";
    }
}

void ReportStoppedUpdate(const UpdateRun* run, GameState state) {
    const char* stateLine = state == kGameRestored      ? kRestored
                            : state == kGameNotRestored ? kNotRestored
                            : state == kGamePartly      ? kPartly
                                                        : kUnchanged;
    if (run->failure == kFailCancelled) {
        // Cancel before anything installed was touched says no more than that.
        if (state == kGameUnchanged) {
            ShowErrorMessage(kCancelled);
        } else {
            ShowErrorMessage("%s。\n%s", kCancelled, stateLine);
        }
        return;
    }
    char cause[768];
    snprintf(cause, sizeof cause, CauseFormat(run->failure), run->failedFile);
    ShowErrorMessage("%s\n%s", cause, stateLine);
}
