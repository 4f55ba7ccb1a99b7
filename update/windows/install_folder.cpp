// The install folder (see install_folder.h).
//
// When the registry names no install folder, the user chooses one in the SETUP dialog. The text
// proposed there is "<Windows drive root>Program Files\[INSTFOL\]INSTTO", or the folder the
// game's installation recorded. The confirmed text is normalised (forward slashes, trailing
// backslash, missing drive, missing backslash after the drive), network paths and drive roots are
// refused, and the user confirms once more. CreateFolderChain then enters or creates the folder
// one level at a time through the update's file system, so every missing parent is made too.
//
// Every double-byte test here is code page 932's own (ui/mbcs_text.h), whatever the system's code
// page: whether a backslash is a separator or the trail byte of a character such as 表
// (0x95 0x5C), and every search and character step inside a text.
//
// Every text here lives in a 260-byte buffer. A text that would not fit (a long default made of
// long settings, a browsed folder with INSTTO behind it, a drive or backslash put in front of a
// long typed text, an overlong edit field or registry value) is cut to 259 bytes without leaving
// half of a double-byte character behind; nothing is ever written past a buffer.
#include "update/windows/install_folder.h"

#include <shlobj.h>

#include <cstring>

#include "resfs/cp932_lower.h"
#include "resfs/path_limit.h"
#include "settings/env_settings.h"
#include "settings/setting_rules.h"
#include "settings/registry_store.h"
#include "ui/mbcs_text.h"
#include "ui/message_box.h"
#include "ui/window_helpers.h"
#include "update/windows/update_texts.h"

enum {
    kPathSize = kPathBytes,
    kFolderEdit = 1000,
    kBrowseButton = 1021,
    kMaxLevels = 999,  // CreateFolderChain walks levels 1 to 998
};

int IsLeadByte(unsigned char byte) {
    return IsCp932LeadByte(byte) ? 1 : 0;
}

// True when the text's last byte is a backslash that is a separator, not a trail byte.
static bool EndsWithSeparator(const char* path) {
    size_t length = strlen(path);
    if (length == 0 || path[length - 1] != '\\') return false;
    return length == 1 || !IsLeadByte((unsigned char)path[length - 2]);
}

char* StripTrailingBackslash(char* path) {
    if (EndsWithSeparator(path)) path[strlen(path) - 1] = '\0';
    return path;
}

char* AppendBackslash(char* path) {
    size_t length = strlen(path);
    // A path of 259 bytes fills its buffer: there is no room for one more byte.
    if (!EndsWithSeparator(path) && length < kPathSize - 1) {
        path[length] = '\\';
        path[length + 1] = '\0';
    }
    return path;
}

// Appends `text` to the text in `buffer` (`size` bytes), cut on a character boundary.
static void AppendText(char* buffer, size_t size, const char* text) {
    size_t length = strlen(buffer);
    CopyMultibyteText(buffer + length, size - length, text);
}

// The first `c` in `text` that is a character of its own, never the trail byte of another.
static unsigned char* FindChar(char* text, char c) {
    const char wanted[2] = {c, '\0'};
    return (unsigned char*)FindCp932Separator(text, wanted);
}

void CopyPathUpToSeparator(const char* source, char* destination, int n) {
    CopyMultibyteText(destination, kPathSize, source);
    char* separator = destination;
    for (int i = 0; i < n; i++) {
        // The step never passes the terminator, so an empty rest simply finds nothing.
        const char* found = FindCp932Separator(NextCp932Char(separator), "\\");
        if (!found) return;
        separator = destination + (found - destination);
    }
    *separator = '\0';
}

bool CreateFolderChain(const UpdateFileSystem* fs, const char* path) {
    // A path that does not fit a path buffer is refused rather than cut: a cut path would name
    // another folder.
    size_t length = strlen(path);
    if (length <= 2 || length >= kPathSize) return false;
    char target[kPathSize];
    strcpy(target, path);
    // "C:\" keeps its backslash: "C:" alone would name the drive's current directory.
    if (EndsWithSeparator(target) && target[length - 2] != ':') target[length - 1] = '\0';

    for (int n = 1; n < kMaxLevels; n++) {
        char level[kPathSize];
        CopyPathUpToSeparator(target, level, n);
        // A level that is a folder already is passed; any other is made.
        uint32_t attributes = 0;
        bool isFolder =
            fs->getAttributes(fs->context, level, &attributes) == kFsOk && (attributes & kFsFolder);
        if (!isFolder && fs->makeFolder(fs->context, level) != kFsOk) return false;
        if (strcmp(level, target) == 0) break;
    }
    return true;
}

// The Windows directory, or an empty text when it cannot be had.
static void ReadWindowsDirectory(char* windows) {
    UINT length = GetWindowsDirectoryA(windows, kPathSize);
    if (length == 0 || length >= kPathSize) windows[0] = '\0';
}

// "C:\Program Files\[INSTFOL\]INSTTO": the drive root is the Windows directory cut after its first
// backslash (empty when it has none).
static void BuildDefaultFolderText(char* text) {
    char windows[kPathSize];
    ReadWindowsDirectory(windows);
    unsigned char* backslash = FindChar(windows, '\\');
    if (backslash) {
        backslash[1] = '\0';
    } else {
        windows[0] = '\0';
    }

    ComposeProposedInstallFolder(windows, GetInstFolSetting(), GetInstToSetting(), text, kPathSize);
}

// The proposed text: the default, or the registry's InstTo when the game says it is installed
// (a missing InstTo keeps the default, an empty one empties the text).
static void ProposeFolderText(char* folderText) {
    BuildDefaultFolderText(folderText);
    const char* global = GetRegGlobalSetting();
    const char* local = GetRegLocalSetting();
    if (ReadRegistryInt(global, local, "IsInst", 0) == 0) return;
    // Read into a buffer as large as any value can be, so that a long value is cut on a
    // character boundary below rather than inside a double-byte character.
    char value[512];
    ReadRegistryString(global, local, "InstTo", folderText, value, sizeof value);
    CopyMultibyteText(folderText, kPathSize, value);
}

static void PrependText(char* text, const char* prefix) {
    char joined[kPathSize];
    CopyMultibyteText(joined, sizeof joined, prefix);
    AppendText(joined, sizeof joined, text);
    strcpy(text, joined);
}

// Puts the Windows directory's drive ("C:") in front of a text that names no drive, and a
// backslash after the drive where it is missing ("C:Games" -> "C:\Games").
static void CompleteDrive(char* text) {
    if (!FindChar(text, ':')) {
        char windows[kPathSize];
        ReadWindowsDirectory(windows);
        unsigned char* colon = FindChar(windows, ':');
        if (colon) {
            colon[1] = '\0';
            PrependText(text, windows);
        }
    }
    char* colon = (char*)FindChar(text, ':');
    if (colon && colon[1] != '\\') {
        char rest[kPathSize];
        strcpy(rest, colon + 1);
        colon[1] = '\0';
        AppendText(text, kPathSize, "\\");
        AppendText(text, kPathSize, rest);
    }
}

// The first pair of consecutive backslashes, found byte by byte, refuses the text (a network path
// "\\server\share", or a doubled separator) unless its first backslash is the trail byte of a
// double-byte character. Later pairs are not looked at.
static bool HasNetworkPair(const char* text) {
    const char* pair = strstr(text, "\\\\");
    if (!pair) return false;
    return pair == text || !IsLeadByte((unsigned char)pair[-1]);
}

static void RestoreDirectory(const char* saved) {
    if (saved[0]) SetCurrentDirectoryA(saved);
}

bool ChooseInstallFolder(char* folder) {
    // The shell's folder browser may change the current directory; every media path relies on it.
    char saved[520];
    DWORD savedLength = GetCurrentDirectoryA(sizeof saved, saved);
    if (savedLength == 0 || savedLength >= sizeof saved) saved[0] = '\0';

    char text[kPathSize];
    ProposeFolderText(text);

    HWND owner = GetOwnerWindow();
    HINSTANCE instance =
        owner ? (HINSTANCE)GetWindowLongPtrA(owner, GWLP_HINSTANCE) : GetModuleHandleA(NULL);
    // Only "次へ" (1) confirms. A dialog that could not be created (-1) counts as cancelled, so
    // the user is never asked about a folder that was never shown.
    if (DialogBoxParamA(instance, "SETUP", owner, SetupDialogProc, (LPARAM)text) != 1) {
        RestoreDirectory(saved);
        return false;
    }

    for (unsigned char* slash = FindChar(text, '/'); slash; slash = FindChar((char*)slash, '/')) {
        *slash = '\\';
    }
    if (HasNetworkPair(text)) {
        RestoreDirectory(saved);
        ShowErrorMessage(kNetworkFolder);
        return false;
    }
    StripTrailingBackslash(text);
    CompleteDrive(text);

    // After the completion above, a text ending in a separator is a drive root such as "C:\".
    if (EndsWithSeparator(text)) {
        ShowFatalMessage(kRootFolder);
        RestoreDirectory(saved);
        return false;
    }

    RestoreDirectory(saved);
    if (!AskYesNo(kConfirmFolder, text)) return false;
    CopyMultibyteText(folder, kPathSize, text);
    return true;
}

// The folder text SETUP shows and reads back, kept with the dialog.
static char* FolderTextOf(HWND dialog) {
    return (char*)GetWindowLongPtrA(dialog, DWLP_USER);
}

static void OnInitDialog(HWND dialog, char* folderText) {
    SetWindowLongPtrA(dialog, DWLP_USER, (LONG_PTR)folderText);
    CenterWindowOnScreen(dialog);
    SetDlgItemTextA(dialog, kFolderEdit, folderText);
}

// The edit field may hold more than a path buffer: read generously, then cut on a character
// boundary.
static void ReadFolderField(HWND dialog) {
    char field[1024] = "";
    GetDlgItemTextA(dialog, kFolderEdit, field, sizeof field);
    CopyMultibyteText(FolderTextOf(dialog), kPathSize, field);
}

void BrowseForInstallFolder(HWND owner, char* folderText) {
    char displayName[MAX_PATH] = "";
    BROWSEINFOA info = {};
    info.hwndOwner = owner;
    info.pidlRoot = NULL;  // the desktop
    info.pszDisplayName = displayName;
    info.lpszTitle = kBrowseTitle;
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_DONTGOBELOWDOMAIN;
    LPITEMIDLIST list = SHBrowseForFolderA(&info);
    if (!list) return;

    // The chosen folder is where the install folder is made, so INSTTO goes behind it; a drive
    // root such as "D:\" already ends in its backslash.
    char path[MAX_PATH] = "";
    if (SHGetPathFromIDListA(list, path)) {
        CopyMultibyteText(folderText, kPathSize, path);
        AppendBackslash(folderText);
        AppendText(folderText, kPathSize, GetInstToSetting());
    }
    CoTaskMemFree(list);
}

INT_PTR CALLBACK SetupDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        OnInitDialog(dialog, (char*)lParam);
        return TRUE;
    }
    if (message != WM_COMMAND) return FALSE;
    switch (LOWORD(wParam)) {
        case IDOK:  // "次へ"
            ReadFolderField(dialog);
            EndDialog(dialog, 1);
            return TRUE;
        case IDCANCEL:  // "ｷｬﾝｾﾙ", Escape and the close box
            EndDialog(dialog, 0);
            return TRUE;
        case kBrowseButton:
            BrowseForInstallFolder(dialog, FolderTextOf(dialog));
            SetDlgItemTextA(dialog, kFolderEdit, FolderTextOf(dialog));
            return TRUE;
        default:
            return FALSE;
    }
}
