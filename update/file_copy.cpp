// Copying files under the copy dialog (see file_copy.h).
//
// The copy runs on the user-interface thread inside the menu's command handler; the message queue
// is drained between chunks so the dialog repaints, its animation runs and Cancel is seen. Queue
// drains and bar updates are paced: a drain before a chunk once 10 ms have passed since the last
// one (and always before the first), and a bar position sent only when it changes, at most 20
// times a second (always the final one). Drawing two bars for every 128 KiB chunk would make
// a large update spend most of its time repainting.
//
// Durability: a draft's data is flushed to the disk (FlushFileBuffers) before it can be moved into
// place, and every move is made with MOVEFILE_WRITE_THROUGH, which returns only once the rename
// itself is on the disk. On NTFS, whose metadata changes are journalled, a power cut at any moment
// therefore leaves each name on either the complete old file or the complete new one: the rename
// cannot reach the disk before the data it points to. On FAT32 and exFAT (USB sticks) the data is
// still flushed before the rename, but the file system keeps no journal of its own, so a cut in the
// middle of a rename itself can lose the name.
//
// Nothing left behind: a copy that fails or is cancelled deletes its draft; one cut off by a quit
// message (which ends the process from the queue drain) deletes it on the way out. Only a killed
// process or a power cut can leave one, and the next update removes such leftovers before it
// measures the free space.
//
// Every file operation goes through the table of file_ops.h; one that fails because another
// program holds the file for a moment is tried again for a while (the ...WhenFree operations).
#include "update/file_copy.h"

#include <commctrl.h>
#include <mbstring.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ui/alloc.h"
#include "ui/message_box.h"
#include "ui/message_pump.h"
#include "ui/window_helpers.h"
#include "update/file_ops.h"
#include "update/journal_format.h"
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
static volatile LONG g_ownCancel;  // the flag of a dialog opened without an update's
static int64_t g_expectedTotal;
static int64_t g_copiedTotal;
static bool g_classesRegistered;

// The draft being written, so that leaving the process in the middle of a copy (a quit message met
// while the queue is drained) removes it.
static HANDLE g_openOutput = INVALID_HANDLE_VALUE;
static char g_openDraft[kPathSize];
static bool g_exitHookRegistered;

static void RemoveOpenDraft() {
    if (g_openOutput == INVALID_HANDLE_VALUE) return;
    CloseHandle(g_openOutput);
    g_openOutput = INVALID_HANDLE_VALUE;
    DeleteFileA(g_openDraft);
}

static void HoldOpenDraft(HANDLE output, const char* path) {
    if (!g_exitHookRegistered) {
        atexit(RemoveOpenDraft);
        g_exitHookRegistered = true;
    }
    g_openOutput = output;
    snprintf(g_openDraft, sizeof g_openDraft, "%s", path);
}

void ResetCopyState() { g_ownCancel = 0; }
bool WasCopyCancelled() { return g_ownCancel != 0; }

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

// The Cancel flag the open dialog sets.
static volatile LONG* DialogCancelFlag() {
    if (!g_copyDialog) return &g_ownCancel;
    return (volatile LONG*)GetWindowLongPtrA(g_copyDialog, DWLP_USER);
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
    SetBarPosition(kTotalBar, g_copiedTotal / kCopyUnit);
}

static void SetNameText(const char* text) {
    if (g_copyDialog) SetDlgItemTextA(g_copyDialog, kNameText, text);
}

INT_PTR CALLBACK CopyDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        // The flag Cancel sets travels with the dialog.
        SetWindowLongPtrA(dialog, DWLP_USER, lParam ? lParam : (LONG_PTR)&g_ownCancel);
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
            volatile LONG* cancelled = (volatile LONG*)GetWindowLongPtrA(dialog, DWLP_USER);
            if (cancelled) *cancelled = 1;
            SendMessageA(g_animation, ACM_STOP, 0, 0);
        }
        return FALSE;
    }
    return FALSE;
}

static int CreateCopyDialog(const char* templateName, volatile LONG* cancelled) {
    CloseCopyDialog();
    if (!g_classesRegistered) {
        INITCOMMONCONTROLSEX classes = {sizeof classes, ICC_PROGRESS_CLASS | ICC_ANIMATE_CLASS};
        InitCommonControlsEx(&classes);
        g_classesRegistered = true;
    }
    HWND owner = GetOwnerWindow();
    HINSTANCE instance =
        owner ? (HINSTANCE)GetWindowLongPtrA(owner, GWLP_HINSTANCE) : GetModuleHandleA(NULL);
    g_copyDialog = CreateDialogParamA(instance, templateName, owner, CopyDialogProc,
                                      (LPARAM)(cancelled ? cancelled : &g_ownCancel));
    if (!g_copyDialog) return 0;
    PumpMessages();
    return 1;
}

int OpenCopyDialog(volatile LONG* cancelled) { return CreateCopyDialog("COPYING", cancelled); }

int OpenCopyDialogWithTotal(int64_t expectedTotal, volatile LONG* cancelled) {
    g_expectedTotal = expectedTotal;
    g_copiedTotal = 0;
    if (!CreateCopyDialog("COPYINGDELUX", cancelled)) return 0;
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

void AddBytesToCopyTotal(int64_t size) {
    if (!g_copyDialog) return;
    if (size > 0) g_expectedTotal += size;
    SetTotalRange();
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
    AddBytesToCopyTotal(length);
}

// "\." and "\.." name a folder itself or its parent, as a wildcard listing reports them.
static bool IsFolderEntry(const char* path) {
    size_t n = strlen(path);
    return (n >= 2 && strcmp(path + n - 2, "\\.") == 0) ||
           (n >= 3 && strcmp(path + n - 3, "\\..") == 0);
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

// What ended a byte copy early.
enum CopyEnd { kCopied, kCopyCancelled, kCopyReadFailed, kCopyWriteFailed };

// Copies `total` bytes from `source` to `target` under the dialog, each chunk also into `digest`
// when set. The failed operation's error is the thread's last error.
static CopyEnd CopyBytes(HANDLE source, HANDLE target, const char* shownName, uint8_t* buffer,
                         uint64_t total, SumDigestState* digest, UpdateRun* run) {
    const FileOps* ops = GetFileOps();
    SetNameText(shownName);
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
        // The open dialog's Cancel (an update's own flag, or a single copy's).
        if (*DialogCancelFlag()) run->cancelled = 1;
        if (run->cancelled) return kCopyCancelled;
        DWORD want = total - done < kCopyUnit ? (DWORD)(total - done) : (DWORD)kCopyUnit;
        DWORD got = 0;
        if (!ops->read(source, buffer, want, &got)) return kCopyReadFailed;
        // A read of zero bytes before the end (a source that shrank) must not loop forever.
        if (got == 0) {
            SetLastError(ERROR_HANDLE_EOF);
            return kCopyReadFailed;
        }
        if (digest) UpdateSumDigest(digest, buffer, got);
        DWORD written = 0;
        if (!ops->write(target, buffer, got, &written)) return kCopyWriteFailed;
        if (written != got) {
            SetLastError(ERROR_DISK_FULL);
            return kCopyWriteFailed;
        }
        done += written;
        g_copiedTotal += written;
        ShowProgress(&pace, done, done == total);
    }
    return kCopied;
}

// Opens `path` with retries while another program holds it. INVALID_HANDLE_VALUE with the last
// error set when it cannot be opened (or Cancel was pressed while waiting).
bool PlannedSidePath(const UpdateRun* run, uint32_t index, const char* extension, char* out) {
    char side[kJournalMaxNameBytes + 1];
    return JournalSideName(run->plan.files[index].target, index, extension, side) &&
           InstallPath(run, side, out);
}

// A failure of the draft `draft` of file `index`, told as the destination it stands for.
static bool FailInstall(UpdateRun* run, uint32_t index, DWORD error) {
    char destination[kPathSize];
    if (!InstallPath(run, run->plan.files[index].target, destination)) {
        snprintf(destination, sizeof destination, "%s", run->plan.files[index].target);
    }
    RecordFailure(run, run->cancelled ? kFailCancelled : FailureOfInstallError(error), error,
                  destination);
    return false;
}

static bool FailMedia(UpdateRun* run, uint32_t index, UpdateFailure failure, DWORD error) {
    RecordFailure(run, run->cancelled ? kFailCancelled : failure, error,
                  run->plan.files[index].source);
    return false;
}

// The bytes and times of the open `source` into the open draft `output`.
static bool FillDraft(UpdateRun* run, uint32_t index, HANDLE source, HANDLE output,
                      uint8_t* buffer) {
    const FileOps* ops = GetFileOps();
    PlannedFile* file = &run->plan.files[index];
    LARGE_INTEGER size;
    if (!ops->size(source, &size)) return FailMedia(run, index, kFailMediaUnreadable, GetLastError());
    uint64_t total = (uint64_t)size.QuadPart;
    SumDigestState* digest = nullptr;
    if (file->sealed) {
        if (file->sealedSize != total) return FailMedia(run, index, kFailMediaDamaged, 0);
        digest = BeginSumDigest();
        if (!digest) return FailMedia(run, index, kFailOther, ERROR_NOT_ENOUGH_MEMORY);
    }
    CopyEnd end = CopyBytes(source, output, file->source, buffer, total, digest, run);
    DWORD error = GetLastError();
    if (digest) {
        bool intact = FinishSumDigest(digest) == file->digest;
        if (end == kCopied && !intact) return FailMedia(run, index, kFailMediaDamaged, 0);
    }
    switch (end) {
    case kCopied: break;
    case kCopyCancelled: return FailMedia(run, index, kFailCancelled, 0);
    case kCopyReadFailed: return FailMedia(run, index, FailureOfMediaError(error), error);
    case kCopyWriteFailed: return FailInstall(run, index, error);
    }
    if (!ops->getTimes(source, &file->created, &file->accessed, &file->written)) {
        return FailMedia(run, index, kFailMediaUnreadable, GetLastError());
    }
    if (!ops->setTimes(output, &file->created, &file->accessed, &file->written)) {
        return FailInstall(run, index, GetLastError());
    }
    // The data reaches the disk before any name can point to it (see the top of this file).
    if (!ops->flush(output)) return FailInstall(run, index, GetLastError());
    return true;
}

bool DraftPlannedFile(UpdateRun* run, uint32_t index, uint8_t* buffer) {
    const FileOps* ops = GetFileOps();
    PlannedFile* file = &run->plan.files[index];
    SetNameText(file->source);
    if (run->cancelled) return FailMedia(run, index, kFailCancelled, 0);
    char draft[kPathSize];
    if (!PlannedSidePath(run, index, ".new", draft)) {
        return FailInstall(run, index, ERROR_FILENAME_EXCED_RANGE);
    }
    HANDLE source = OpenWhenFree(file->source, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING,
                             &run->cancelled);
    if (source == INVALID_HANDLE_VALUE) {
        // Gone since the plan was made (a disc taken out): an error now, never a silent skip.
        return FailMedia(run, index, FailureOfMediaError(GetLastError()), GetLastError());
    }
    HANDLE output = OpenWhenFree(draft, GENERIC_WRITE, 0, CREATE_NEW, &run->cancelled);
    if (output == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_EXISTS) {
        // A leftover of an interrupted run. Removed only when found: asking for a name that is
        // not there costs a search of the whole folder on some file systems (Wine's, for one).
        ops->remove(draft);
        output = OpenWhenFree(draft, GENERIC_WRITE, 0, CREATE_NEW, &run->cancelled);
    }
    if (output == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        ops->close(source);
        return FailInstall(run, index, error);
    }
    HoldOpenDraft(output, draft);
    bool drafted = FillDraft(run, index, source, output, buffer);
    g_openOutput = INVALID_HANDLE_VALUE;
    if (!ops->close(output) && drafted) drafted = FailInstall(run, index, GetLastError());
    ops->close(source);
    if (!drafted) ops->remove(draft);
    return drafted;
}

bool FinishPlacedFile(UpdateRun* run, uint32_t index, const char* path) {
    const FileOps* ops = GetFileOps();
    const PlannedFile* file = &run->plan.files[index];
    // No more exclusive than setting the times needs: a scanner reading the new file may stay.
    HANDLE placed = OpenWhenFree(path, FILE_WRITE_ATTRIBUTES,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING,
                             nullptr);
    if (placed == INVALID_HANDLE_VALUE) return FailInstall(run, index, GetLastError());
    bool timesSet = ops->setTimes(placed, &file->created, &file->accessed, &file->written);
    DWORD error = GetLastError();
    ops->close(placed);
    if (!timesSet) return FailInstall(run, index, error);
    return true;
}

bool DestinationReplaceable(const char* destination, DWORD* error) {
    const FileOps* ops = GetFileOps();
    *error = 0;
    DWORD attributes = ops->getAttributes(destination);
    if (attributes == INVALID_FILE_ATTRIBUTES) return true;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        *error = ERROR_DIRECTORY;
        return false;
    }
    // What a rename of the file needs, no more: the right to delete it, and no other program
    // holding it without sharing its deletion. Readers that share it (an indexer) may stay.
    HANDLE probe = OpenWhenFree(destination, DELETE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                OPEN_EXISTING, nullptr);
    if (probe == INVALID_HANDLE_VALUE) {
        *error = GetLastError();
        return false;
    }
    ops->close(probe);
    return true;
}

// One file copied on its own: a one-file plan drafted and moved over the destination at once.
static int CopyOneFile(const char* source, const char* destination, int failIfExists,
                       uint8_t* buffer) {
    const FileOps* ops = GetFileOps();
    if (strlen(destination) >= kPathSize || strlen(source) >= kPathSize) return 0;
    UpdateRun run;
    char folder[kPathSize], name[kPathSize];
    const char* slash = (const char*)_mbsrchr((const unsigned char*)destination, '\\');
    if (!slash) return 0;
    snprintf(folder, sizeof folder, "%.*s", (int)(slash - destination), destination);
    snprintf(name, sizeof name, "%s", slash + 1);
    BeginUpdateRun(&run, folder);
    run.cancelled = *DialogCancelFlag();
    PlannedFile file = {};
    strcpy(file.source, source);
    strcpy(file.target, name);
    DWORD error;
    file.replaces = ops->getAttributes(destination) != INVALID_FILE_ATTRIBUTES;
    run.plan.files = &file;
    run.plan.count = 1;
    bool copied = !(failIfExists && file.replaces) && DestinationReplaceable(destination, &error) &&
                  DraftPlannedFile(&run, 0, buffer);
    if (run.cancelled) *DialogCancelFlag() = 1;
    char draft[kPathSize];
    if (copied && PlannedSidePath(&run, 0, ".new", draft)) {
        DWORD attributes = ops->getAttributes(destination);
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
            ops->setAttributes(destination, FILE_ATTRIBUTE_NORMAL);
        }
        copied = ops->rename(draft, destination, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
        if (!copied) {
            if (attributes != INVALID_FILE_ATTRIBUTES) ops->setAttributes(destination, attributes);
            ops->remove(draft);
        } else {
            copied = FinishPlacedFile(&run, 0, destination);
        }
    }
    run.plan.files = nullptr;  // on the stack, not the heap
    return copied ? 1 : 0;
}

int CopyFileWithProgress(const char* source, const char* destination, int failIfExists) {
    if (IsFolderEntry(source)) return 1;
    bool dialogWasOpen = g_copyDialog != NULL;
    // A copy of its own starts afresh; one inside a larger copy stops once Cancel was pressed.
    if (!dialogWasOpen) g_ownCancel = 0;
    if (*DialogCancelFlag()) return 0;
    uint8_t* buffer = (uint8_t*)AllocOrWarn(kCopyUnit);
    if (!buffer) return 0;
    if (!dialogWasOpen) OpenCopyDialog();
    int result = CopyOneFile(source, destination, failIfExists, buffer);
    free(buffer);
    if (!dialogWasOpen) CloseCopyDialog();
    return result;
}
