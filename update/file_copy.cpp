// Copying single files under the copy dialog (see file_copy.h).
//
// The copy runs on the user-interface thread inside the menu's command handler; the message queue
// is drained between chunks so the dialog repaints, its animation runs and Cancel is seen. Queue
// drains and bar updates are paced: a drain before a chunk once 10 ms have passed since the last
// one (and always before the first), and a bar position sent only when it changes, at most 20
// times a second (always the final one). Drawing two bars for every 128 KiB chunk would make
// a large update spend most of its time repainting.
//
// Safety of the destination: the bytes go to a new temporary file beside the destination; only
// after all bytes and the source's times are written does it replace the destination (which
// loses a read-only attribute first) and end with the archive attribute alone. A destination that
// another process holds open (the game still running) is refused before any byte is copied.
//
// Durability: the temporary file's data is flushed to the disk (FlushFileBuffers) before it is
// moved over the destination, and the move is made with MOVEFILE_WRITE_THROUGH, which returns
// only once the rename itself is on the disk. On NTFS, whose metadata changes are journalled, a
// power cut at any moment therefore leaves the destination's name on either the complete old
// file or the complete new one: the rename cannot reach the disk before the data it points to.
// On FAT32 and exFAT (USB sticks) the data is still flushed before the rename, but the file
// system keeps no journal, so a cut in the middle of the rename itself can lose the name.
//
// Nothing left behind: a copy that fails or is cancelled deletes its temporary file; one cut off
// by a quit message (which ends the process from the queue drain) deletes it on the way out. Only
// a killed process or a power cut can leave one, and the next update removes such leftovers
// before it measures the free space (RemoveLeftoverTemporaryFiles).
//
// Cancel: the cancel flag stays set until the next copy of its own (one that opens its own
// dialog) or ResetCopyState, so a Cancel pressed at any moment while a dialog is up, between two
// files or while the files are measured, stops the next file before its first byte.
#include "update/file_copy.h"

#include <commctrl.h>
#include <mbstring.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ui/alloc.h"
#include "ui/message_box.h"
#include "ui/message_pump.h"
#include "ui/window_helpers.h"
#include "update/media_seal.h"
#include "update/sum_file.h"

enum {
    kFileBar = 1010,
    kNameText = 1012,
    kTotalBar = 1019,
    kAnimation = 1020,
    kCancelButton = 2,
    kPathSize = 260,
};

static const double kDrainIntervalMs = 10.0;
static const double kBarIntervalMs = 50.0;

static HWND g_copyDialog;
static HWND g_animation;
static volatile int g_cancelFlag;
static int64_t g_expectedTotal;
static int64_t g_copiedTotal;
static bool g_classesRegistered;
static int g_replacedCount;
static bool g_lastCopyDamaged;
static char g_lastCopySource[kPathSize];

// The temporary file being written, so that leaving the process in the middle of a copy (a quit
// message met while the queue is drained) removes it.
static HANDLE g_openOutput = INVALID_HANDLE_VALUE;
static char g_openTemporary[kPathSize];
static bool g_exitHookRegistered;

static void RemoveOpenTemporaryFile() {
    if (g_openOutput == INVALID_HANDLE_VALUE) return;
    CloseHandle(g_openOutput);
    g_openOutput = INVALID_HANDLE_VALUE;
    DeleteFileA(g_openTemporary);
}

void ResetCopyState() {
    g_cancelFlag = 0;
    g_replacedCount = 0;
}

bool WasCopyCancelled() { return g_cancelFlag != 0; }
bool WasLastCopyDamaged() { return g_lastCopyDamaged; }
const char* GetLastCopySource() { return g_lastCopySource; }
int GetReplacedFileCount() { return g_replacedCount; }

HWND GetCopyDialog() { return g_copyDialog; }
int64_t GetExpectedCopyTotal() { return g_expectedTotal; }
int64_t GetCopiedTotal() { return g_copiedTotal; }

static double NowMs() {
    static LARGE_INTEGER frequency;
    if (!frequency.QuadPart) QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return (double)now.QuadPart * 1000.0 / (double)frequency.QuadPart;
}

// A bar's range in 128 KiB units; ranges past 16 bits need the 32-bit message.
static void SetBarRange(int bar, int64_t upper) {
    HWND control = GetDlgItem(g_copyDialog, bar);
    if (!control) return;
    if (upper > 0xFFFF) {
        SendMessageA(control, PBM_SETRANGE32, 0, (LPARAM)(upper > INT32_MAX ? INT32_MAX : upper));
    } else {
        SendMessageA(control, PBM_SETRANGE, 0, MAKELPARAM(0, (WORD)upper));
    }
}

static void SetBarPosition(int bar, int64_t position) {
    HWND control = GetDlgItem(g_copyDialog, bar);
    if (control) SendMessageA(control, PBM_SETPOS, (WPARAM)(int)position, 0);
}

static void SetTotalRange() {
    int64_t upper = g_expectedTotal / kCopyUnit;
    SetBarRange(kTotalBar, upper < 1 ? 1 : upper);
    SetBarPosition(kTotalBar, 0);
}

static void SetNameText(const char* text) {
    if (g_copyDialog) SetDlgItemTextA(g_copyDialog, kNameText, text);
}

INT_PTR CALLBACK CopyDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        CenterWindowOnScreen(dialog);
        SetDlgItemTextA(dialog, kNameText, "");
        // COPYING has no total bar: the messages to it go nowhere.
        SendDlgItemMessageA(dialog, kFileBar, PBM_SETRANGE, 0, MAKELPARAM(0, 1));
        SendDlgItemMessageA(dialog, kFileBar, PBM_SETPOS, 0, 0);
        SendDlgItemMessageA(dialog, kTotalBar, PBM_SETRANGE, 0, MAKELPARAM(0, 1));
        SendDlgItemMessageA(dialog, kTotalBar, PBM_SETPOS, 0, 0);
        g_animation = GetDlgItem(dialog, kAnimation);
        SendMessageA(g_animation, ACM_OPENA, 0, (LPARAM) "AVI_FILECOPY");
        SendMessageA(g_animation, ACM_PLAY, (WPARAM)-1, MAKELPARAM(0, 0xFFFF));
        ShowWindow(g_animation, SW_SHOW);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == kCancelButton) {
            g_cancelFlag = 1;
            SendMessageA(g_animation, ACM_STOP, 0, 0);
        }
        return FALSE;
    }
    return FALSE;
}

static int CreateCopyDialog(const char* templateName) {
    CloseCopyDialog();
    if (!g_classesRegistered) {
        INITCOMMONCONTROLSEX classes = {sizeof classes, ICC_PROGRESS_CLASS | ICC_ANIMATE_CLASS};
        InitCommonControlsEx(&classes);
        g_classesRegistered = true;
    }
    HWND owner = GetOwnerWindow();
    HINSTANCE instance =
        owner ? (HINSTANCE)GetWindowLongPtrA(owner, GWLP_HINSTANCE) : GetModuleHandleA(NULL);
    g_copyDialog = CreateDialogParamA(instance, templateName, owner, CopyDialogProc, 0);
    if (!g_copyDialog) return 0;
    PumpMessages();
    return 1;
}

int OpenCopyDialog() { return CreateCopyDialog("COPYING"); }

int OpenCopyDialogWithTotal(int64_t expectedTotal) {
    g_expectedTotal = expectedTotal;
    g_copiedTotal = 0;
    if (!CreateCopyDialog("COPYINGDELUX")) return 0;
    SetTotalRange();
    PumpMessages();
    return 1;
}

int CloseCopyDialog() {
    if (!g_copyDialog) return 1;
    // Hand the activation to the owner while both windows exist: a window manager asked to
    // activate a window only after the active one has gone may leave no window active at all,
    // and the keyboard would then reach nothing.
    HWND owner = GetWindow(g_copyDialog, GW_OWNER);
    if (owner && GetForegroundWindow() == g_copyDialog) SetForegroundWindow(owner);
    DestroyWindow(g_copyDialog);
    PumpMessages();
    g_copyDialog = NULL;
    return 0;
}

bool IsOneBarCopyDialogOpen() { return g_copyDialog && !GetDlgItem(g_copyDialog, kTotalBar); }

void ShowCopyDialogText(const char* text) {
    SetNameText(text);
    PumpMessages();
}

void AddFileToCopyTotal(const char* path) {
    if (!g_copyDialog) return;
    SetNameText("ファイルの検査中...");
    PumpMessages();
    FILE* file = fopen(path, "rb");
    if (!file) return;
    int64_t length = _fseeki64(file, 0, SEEK_END) == 0 ? _ftelli64(file) : 0;
    fclose(file);
    if (length > 0) g_expectedTotal += length;
    SetTotalRange();
    PumpMessages();
}

// "\." and "\.." name a folder itself or its parent, as a wildcard listing reports them.
static bool IsFolderEntry(const char* path) {
    size_t n = strlen(path);
    return (n >= 2 && strcmp(path + n - 2, "\\.") == 0) ||
           (n >= 3 && strcmp(path + n - 3, "\\..") == 0);
}

// The temporary file beside `destination`: its folder, then "~vupNNNN.tmp" (four lower-case hex
// digits). False when no such name fits the path buffer.
static bool MakeTemporaryName(const char* destination, char* temporary) {
    static unsigned counter;
    // Multibyte-aware: in "表.htm" the second byte of "表" is 0x5C, not a folder separator.
    const char* slash =
        (const char*)_mbsrchr((const unsigned char*)destination, (unsigned int)'\\');
    size_t folderLength = slash ? (size_t)(slash - destination + 1) : 0;
    char name[32];
    snprintf(name, sizeof name, "~vup%04x.tmp", (unsigned)((GetCurrentProcessId() + counter++) & 0xFFFF));
    if (folderLength + strlen(name) >= kPathSize) return false;
    memcpy(temporary, destination, folderLength);
    strcpy(temporary + folderLength, name);
    return true;
}

bool IsLeftoverTemporaryName(const char* name) {
    if (strlen(name) != 12 || _strnicmp(name, "~vup", 4) != 0 || _stricmp(name + 8, ".tmp") != 0) {
        return false;
    }
    for (int i = 4; i < 8; i++) {
        if (!isxdigit((unsigned char)name[i])) return false;
    }
    return true;
}

int RemoveLeftoverTemporaryFiles(const char* folder) {
    char pattern[kPathSize];
    if (snprintf(pattern, sizeof pattern, "%s\\~vup*.tmp", folder) >= (int)sizeof pattern) return 0;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) return 0;
    int removed = 0;
    do {
        char path[kPathSize];
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
            !IsLeftoverTemporaryName(found.cFileName) ||
            snprintf(path, sizeof path, "%s\\%s", folder, found.cFileName) >= (int)sizeof path) {
            continue;
        }
        if (found.dwFileAttributes & FILE_ATTRIBUTE_READONLY) {
            SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
        }
        if (DeleteFileA(path)) removed++;
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return removed;
}

// False when the destination exists but cannot be replaced now: another process holds it open
// (the game still running), or it may not be written. Its attributes are left as they were.
bool DestinationReplaceable(const char* destination) {
    DWORD attributes = GetFileAttributesA(destination);
    if (attributes == INVALID_FILE_ATTRIBUTES) return true;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return false;
    if (attributes & FILE_ATTRIBUTE_READONLY) {
        SetFileAttributesA(destination, attributes & ~FILE_ATTRIBUTE_READONLY);
    }
    HANDLE probe = CreateFileA(destination, GENERIC_WRITE | DELETE, 0, NULL, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, NULL);
    if (probe != INVALID_HANDLE_VALUE) CloseHandle(probe);
    if (attributes & FILE_ATTRIBUTE_READONLY) SetFileAttributesA(destination, attributes);
    return probe != INVALID_HANDLE_VALUE;
}

// Gives `target` the creation, last-access and last-write times of `source`.
static bool CopyFileTimes(HANDLE source, HANDLE target) {
    FILETIME created, accessed, modified;
    return GetFileTime(source, &created, &accessed, &modified) &&
           SetFileTime(target, &created, &accessed, &modified);
}

// Progress of one file copy, paced (see the top of this file).
struct CopyPace {
    double lastDrain;
    double lastBars;
    int64_t fileShown;
    int64_t totalShown;
};

static void ShowProgress(CopyPace* pace, uint64_t done, bool final) {
    int64_t filePosition = (int64_t)(done >> 17);
    int64_t totalPosition = g_copiedTotal / kCopyUnit;
    if (filePosition == pace->fileShown && totalPosition == pace->totalShown) return;
    double now = NowMs();
    if (!final && now - pace->lastBars < kBarIntervalMs) return;
    if (filePosition != pace->fileShown) SetBarPosition(kFileBar, filePosition);
    if (totalPosition != pace->totalShown) SetBarPosition(kTotalBar, totalPosition);
    pace->fileShown = filePosition;
    pace->totalShown = totalPosition;
    pace->lastBars = now;
}

static bool CopyBytes(HANDLE source, HANDLE target, const char* sourceName, uint8_t* buffer,
                      uint64_t total, SumDigestState* digest);

// Copies the bytes and times of `source` into the new file `target`. True when all of it was
// written; false on a read or write error, a short read or write, or Cancel. On a sealed media
// the bytes are also digested as they pass, and they must be the sealed ones (size and digest);
// if not, the copy fails and g_lastCopyDamaged tells why.
static bool CopyContents(HANDLE source, HANDLE target, const char* sourceName, uint8_t* buffer) {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(source, &size)) return false;
    uint64_t total = (uint64_t)size.QuadPart;
    SumDigestState* digest = nullptr;
    uint64_t sealedDigest = 0, sealedSize = 0;
    if (IsMediaSealed()) {
        if (!FindSealedFile(sourceName, &sealedDigest, &sealedSize) || sealedSize != total) {
            g_lastCopyDamaged = true;
            return false;
        }
        digest = BeginSumDigest();
        if (!digest) return false;
    }
    bool copied = CopyBytes(source, target, sourceName, buffer, total, digest);
    if (digest) {
        bool intact = FinishSumDigest(digest) == sealedDigest;
        if (copied && !intact) g_lastCopyDamaged = true;
        copied = copied && intact;
    }
    return copied && CopyFileTimes(source, target);
}

// The byte loop of CopyContents: `total` bytes, each chunk also into `digest` when set.
static bool CopyBytes(HANDLE source, HANDLE target, const char* sourceName, uint8_t* buffer,
                      uint64_t total, SumDigestState* digest) {
    SetNameText(sourceName);
    SetBarRange(kFileBar, (int64_t)(total >> 17));
    SetBarPosition(kFileBar, 0);

    CopyPace pace = {0, 0, 0, g_copiedTotal / kCopyUnit};
    uint64_t done = 0;
    bool firstChunk = true;
    while (done < total) {
        double now = NowMs();
        if (firstChunk || now - pace.lastDrain >= kDrainIntervalMs) {
            PumpMessages();
            pace.lastDrain = NowMs();
            firstChunk = false;
        }
        if (g_cancelFlag) return false;
        DWORD want = total - done < kCopyUnit ? (DWORD)(total - done) : (DWORD)kCopyUnit;
        DWORD got = 0;
        // A read of zero bytes before the end (a source that shrank) must not loop forever.
        if (!ReadFile(source, buffer, want, &got, NULL) || got == 0) return false;
        if (digest) UpdateSumDigest(digest, buffer, got);
        DWORD written = 0;
        if (!WriteFile(target, buffer, got, &written, NULL) || written != got) return false;
        done += written;
        g_copiedTotal += written;
        ShowProgress(&pace, done, done == total);
    }
    return true;
}

// Moves the finished temporary file over the destination and gives it the source's times again
// (a replaced name may otherwise inherit the old file's creation time).
static bool ReplaceDestination(const char* temporary, const char* destination, HANDLE source) {
    DWORD attributes = GetFileAttributesA(destination);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
        SetFileAttributesA(destination, FILE_ATTRIBUTE_NORMAL);
    }
    if (!MoveFileExA(temporary, destination, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        if (attributes != INVALID_FILE_ATTRIBUTES) SetFileAttributesA(destination, attributes);
        return false;
    }
    HANDLE placed = CreateFileA(destination, FILE_WRITE_ATTRIBUTES, 0, NULL, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, NULL);
    bool timesSet = placed != INVALID_HANDLE_VALUE && CopyFileTimes(source, placed);
    if (placed != INVALID_HANDLE_VALUE) CloseHandle(placed);
    SetFileAttributesA(destination, FILE_ATTRIBUTE_ARCHIVE);
    return timesSet;
}

static int CopyOneFile(const char* source, const char* destination, int failIfExists,
                       uint8_t* buffer) {
    char temporary[kPathSize];
    if (strlen(destination) >= kPathSize || !MakeTemporaryName(destination, temporary)) return 0;
    HANDLE input = CreateFileA(source, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, NULL);
    if (input == INVALID_HANDLE_VALUE) return 0;
    bool exists = GetFileAttributesA(destination) != INVALID_FILE_ATTRIBUTES;
    if ((failIfExists && exists) || !DestinationReplaceable(destination)) {
        CloseHandle(input);
        return 0;
    }
    DeleteFileA(temporary);  // a leftover of an interrupted run
    HANDLE output = CreateFileA(temporary, GENERIC_WRITE, 0, NULL, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, NULL);
    if (output == INVALID_HANDLE_VALUE) {
        CloseHandle(input);
        return 0;
    }
    if (!g_exitHookRegistered) {
        atexit(RemoveOpenTemporaryFile);
        g_exitHookRegistered = true;
    }
    g_openOutput = output;
    strcpy(g_openTemporary, temporary);
    // The data reaches the disk before the name can point to it (see the top of this file).
    bool copied = CopyContents(input, output, source, buffer) && FlushFileBuffers(output);
    g_openOutput = INVALID_HANDLE_VALUE;
    copied = CloseHandle(output) && copied;
    if (copied) copied = ReplaceDestination(temporary, destination, input);
    CloseHandle(input);
    if (!copied) DeleteFileA(temporary);
    if (copied) g_replacedCount++;
    return copied ? 1 : 0;
}

int CopyFileWithProgress(const char* source, const char* destination, int failIfExists) {
    if (IsFolderEntry(source)) return 1;
    g_lastCopyDamaged = false;
    snprintf(g_lastCopySource, sizeof g_lastCopySource, "%s", source);
    bool dialogWasOpen = g_copyDialog != NULL;
    // A copy of its own starts afresh; one inside a larger copy stops once Cancel was pressed.
    if (!dialogWasOpen) g_cancelFlag = 0;
    if (g_cancelFlag) return 0;
    uint8_t* buffer = (uint8_t*)AllocOrWarn(kCopyUnit);
    if (!buffer) return 0;
    if (!dialogWasOpen) OpenCopyDialog();
    int result = CopyOneFile(source, destination, failIfExists, buffer);
    free(buffer);
    if (!dialogWasOpen) CloseCopyDialog();
    return result;
}
