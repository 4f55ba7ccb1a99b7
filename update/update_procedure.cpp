// The update procedure (see update_procedure.h): the question, the install folder from the
// registry (or chosen by the user when the settings allow it), the check before the first byte,
// both copy stages (every file drafted, then all put in place at once), and the record that the
// update was applied. A folder chosen here serves this update only.
#include "update/update_procedure.h"

#include "settings/env_settings.h"
#include "settings/registry_store.h"
#include "ui/message_box.h"
#include "update/install_folder.h"
#include "update/media_seal.h"
#include "update/preflight.h"
#include "update/update_commit.h"
#include "update/update_files.h"
#include "update/update_run.h"

// The stages for a known install folder: 0 done, 1 stopped (reported).
static int UpdateInstallFolder(UpdateRun* run) {
    // Everything that can be known before the first byte is checked now, so that a refused
    // update leaves the game as it was.
    if (CheckUpdateBeforeCopying(run) != 0 || CopyGameExecutable(run) != 0 ||
        CopyUpdateFiles(run) != 0) {
        return 1;
    }
    WriteRegistryInt(GetRegGlobalSetting(), GetRegLocalSetting(), "Updated", 1);
    RemoveBackups(run);
    ShowInfoMessage("アップデートを終了しました。");
    return 0;
}

int RunUpdate() {
    if (!AskYesNo("アップデートを開始します。宜しいですか？")) return 1;

    char folder[260];
    ReadRegistryString(GetRegGlobalSetting(), GetRegLocalSetting(), "InstTo", "", folder,
                       sizeof folder);
    if (folder[0] == '\0') {
        ShowErrorMessage("インストール先フォルダが無効又は特定できません");
        if (GetSettingInt("UPDATENEEDINSTALL", 1) != 0) return -1;
        if (ChooseInstallFolder(folder) != 0) {
            ShowErrorMessage("アップデートを中止しました");
            return -1;
        }
        if (CreateFolderChain(folder) != 0) {
            ShowErrorMessage("指定された場所には書き込み出来ません。");
            return -1;
        }
    }
    UpdateRun run;
    BeginUpdateRun(&run, folder);
    int result = UpdateInstallFolder(&run);
    EndUpdateRun(&run);
    ReleaseMediaSeal();
    return result;
}
