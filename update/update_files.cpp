// The two copy stages of an update (see update_files.h).
#include "update/update_files.h"

#include <windows.h>
#include <mbstring.h>
#include <sys/stat.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "settings/env_settings.h"
#include "ui/message_box.h"
#include "update/file_copy.h"
#include "update/install_folder.h"

enum { kPathSize = 260, kNameSize = 128 };

// Measuring order and copying order.
static const char* const kUpdateFileList[] = {
    "update.arc", "fastdata.arc", "data.arc", "slowdata.arc", "voice.arc",
    "voice2.arc", "voice3.arc",   "update.txt", "|help\\*.*",
};

int GetUpdateFileListSize() { return (int)(sizeof kUpdateFileList / sizeof kUpdateFileList[0]); }

const char* GetUpdateFileListEntry(int index) { return kUpdateFileList[index]; }

static const char kPartlyUpdated[] =
    "ゲームは一部のファイルだけが更新された状態です。\nもう一度アップデートを実行してください。";

// Tells the user that the update stopped, truthfully: Cancel is reported as such, a failure with
// `failureFormat` naming `name`; either way, when files were already replaced, that the game is
// only partly updated.
static void ReportStoppedUpdate(const char* failureFormat, const char* name) {
    bool partly = GetReplacedFileCount() > 0;
    if (WasCopyCancelled()) {
        if (partly) {
            ShowErrorMessage("アップデートを中止しました。\n%s", kPartlyUpdated);
        } else {
            ShowErrorMessage("アップデートを中止しました");
        }
        return;
    }
    char failure[512];
    if (WasLastCopyDamaged()) {
        // The file copied is not the sealed one: the media is damaged, not the install folder.
        snprintf(failure, sizeof failure,
                 "ファイル[%s]のデータが正しくありません。\n"
                 "アップデート用のメディアが破損している可能性があります。",
                 GetLastCopySource());
    } else {
        snprintf(failure, sizeof failure, failureFormat, name);
    }
    ShowErrorMessage(partly ? "%s\n%s" : "%s", failure, kPartlyUpdated);
}

// The wildcard search: one at a time, module-wide.
static HANDLE g_search = INVALID_HANDLE_VALUE;
static int g_searchState = -1;  // -1 none or exhausted, 1 first result pending, 0 find-next
static char g_searchPattern[kPathSize];
static WIN32_FIND_DATAA g_found;
static char g_matchPath[kPathSize];

static bool CanOpenForReading(const char* path) {
    FILE* file = fopen(path, "rb");
    if (!file) return false;
    fclose(file);
    return true;
}

// `folder` + "\" + `name` into a 260-byte buffer; false when it would not fit.
static bool JoinPath(char* out, const char* folder, const char* name) {
    return snprintf(out, kPathSize, "%s\\%s", folder, name) < kPathSize;
}

void MakeMediaExeName(const char* exeName, char* mediaName) {
    snprintf(mediaName, kNameSize, "%s", exeName);
    _mbslwr((unsigned char*)mediaName);
    unsigned char* exe = _mbsstr((unsigned char*)mediaName, (const unsigned char*)".exe");
    if (exe) strcpy((char*)exe, ".bin");
}

int CopyGameExecutable(const char* installFolder) {
    char configuredName[kNameSize];
    char mediaName[kNameSize];
    snprintf(configuredName, sizeof configuredName, "%s", GetExeNameSetting());
    MakeMediaExeName(configuredName, mediaName);
    if (!CanOpenForReading(mediaName)) return 0;

    // The check before the update leaves its one-bar dialog open for this copy.
    if (!IsOneBarCopyDialogOpen()) OpenCopyDialog();
    char destination[kPathSize];
    // A destination that would not fit the path buffer makes the copy fail like any other.
    bool copied = JoinPath(destination, installFolder, configuredName) &&
                  CopyFileWithProgress(mediaName, destination, 0) == 1;
    if (!copied) {
        ReportStoppedUpdate("ファイル[%s]のコピーに失敗しました。\n実行中の場合は終了して下さい。",
                            mediaName);
    }
    CloseCopyDialog();
    return copied ? 0 : 1;
}

int CopyUpdateFiles(const char* installFolder) {
    OpenCopyDialogWithTotal(0);
    for (const char* entry : kUpdateFileList) MeasureUpdateEntry(entry);
    // Cancel pressed while the files were measured stops the list before its first file, even
    // when no file of the list is on the media.
    bool stopped = WasCopyCancelled();
    if (stopped) ReportStoppedUpdate("", "");
    for (const char* entry : kUpdateFileList) {
        if (stopped) break;
        if (CopyUpdateEntry(installFolder, entry) == 1) stopped = true;
    }
    CloseCopyDialog();
    return stopped ? 1 : 0;
}

void MeasureUpdateEntry(const char* entry) {
    if (entry[0] == '|') {
        MeasureMatchingFiles(entry + 1);
    } else if (CanOpenForReading(entry)) {
        AddFileToCopyTotal(entry);
    }
}

// The sub-folder a pattern names before its first backslash must exist on the media; it is made
// in the install folder. False when the entry is to be skipped.
static bool PrepareSubFolder(const char* pattern, const char* installFolder) {
    const unsigned char* slash = _mbschr((const unsigned char*)pattern, '\\');
    if (!slash) return true;
    char subFolder[kPathSize];
    size_t length = (size_t)((const char*)slash - pattern);
    if (length >= sizeof subFolder) return false;
    memcpy(subFolder, pattern, length);
    subFolder[length] = '\0';
    struct _stat status;
    if (_stat(subFolder, &status) != 0 || !(status.st_mode & _S_IFDIR)) return false;
    char created[kPathSize];
    if (JoinPath(created, installFolder, subFolder)) CreateDirectoryA(created, NULL);
    return true;
}

int CopyUpdateEntry(const char* installFolder, const char* entry) {
    int result;
    const char* named = entry;
    if (entry[0] == '|') {
        const char* pattern = entry + 1;
        named = pattern;
        if (!PrepareSubFolder(pattern, installFolder)) return 0;
        result = CopyMatchingFiles(pattern, installFolder, 0);
    } else {
        if (!CanOpenForReading(entry)) return 0;
        char destination[kPathSize];
        result = JoinPath(destination, installFolder, entry)
                     ? CopyFileWithProgress(entry, destination, 0)
                     : 0;
    }
    if (result == 1) return 0;
    ReportStoppedUpdate("ファイル[%s]のコピーに失敗しました。\nインストール先の容量を確認してください。",
                        named);
    return 1;
}

int CopyMatchingFiles(const char* pattern, const char* destinationFolder, int failIfExists) {
    if (FindFirstMatch(pattern) != 0) return 1;
    while (const char* match = FindNextMatch()) {
        char destination[kPathSize];
        if (strlen(destinationFolder) >= sizeof destination) return 0;
        strcpy(destination, destinationFolder);
        AppendBackslash(destination);
        if (strlen(destination) + strlen(match) >= sizeof destination) return 0;
        strcat(destination, match);
        if (CopyFileWithProgress(match, destination, failIfExists) == 0) return 0;
    }
    return 1;
}

void MeasureMatchingFiles(const char* pattern) {
    if (FindFirstMatch(pattern) != 0) return;
    while (const char* match = FindNextMatch()) AddFileToCopyTotal(match);
}

static void CloseSearch() {
    if (g_search != INVALID_HANDLE_VALUE) FindClose(g_search);
    g_search = INVALID_HANDLE_VALUE;
    g_searchState = -1;
}

int FindFirstMatch(const char* pattern) {
    CloseSearch();
    snprintf(g_searchPattern, sizeof g_searchPattern, "%s", pattern);
    g_search = FindFirstFileA(g_searchPattern, &g_found);
    if (g_search == INVALID_HANDLE_VALUE) return 1;
    g_searchState = 1;
    return 0;
}

// The pattern's drive and folder with the found name; an empty text (which no copy can open)
// when that would not fit the path buffer.
static const char* ComposeMatchPath() {
    char drive[_MAX_DRIVE], folder[_MAX_DIR], name[_MAX_FNAME], extension[_MAX_EXT];
    char foundName[_MAX_FNAME], foundExtension[_MAX_EXT];
    _splitpath(g_searchPattern, drive, folder, name, extension);
    _splitpath(g_found.cFileName, NULL, NULL, foundName, foundExtension);
    int n = snprintf(g_matchPath, sizeof g_matchPath, "%s%s%s%s", drive, folder, foundName,
                     foundExtension);
    if (n < 0 || n >= (int)sizeof g_matchPath) g_matchPath[0] = '\0';
    return g_matchPath;
}

const char* FindNextMatch() {
    if (g_search == INVALID_HANDLE_VALUE || g_searchState == -1) return nullptr;
    for (;;) {
        if (g_searchState == 1) {
            g_searchState = 0;
        } else if (!FindNextFileA(g_search, &g_found)) {
            CloseSearch();
            return nullptr;
        }
        if (!(g_found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return ComposeMatchPath();
    }
}
