// The copy dialog of an update (see copy_dialog.h).
//
// Queue drains and bar updates are paced: a drain once 10 ms have passed since the last one (and
// always as a file, a step or the dialog begins), and a bar position sent only when it changes, at
// most 20 times a second (always the final one). Drawing two bars for every 128 KiB chunk would
// make a large update spend most of its time repainting.
#include "update/windows/copy_dialog.h"

#include <commctrl.h>

#include "ui/message_box.h"
#include "ui/window_helpers.h"
#include "update/core/space_plan.h"
#include "update/windows/update_texts.h"

enum {
    kFileBar = 1010,
    kNameText = 1012,
    kTotalBar = 1019,
    kAnimation = 1020,
    kCancelButton = 2,
};

static const double kDrainIntervalMs = 10.0;
static const double kBarIntervalMs = 50.0;

static double NowMs() {
    LARGE_INTEGER frequency, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return (double)now.QuadPart * 1000.0 / (double)frequency.QuadPart;
}

void DrainCopyDialogQueue(CopyDialog* dialog) {
    MSG msg;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // The update unwinds as after Cancel; the caller then ends the process.
            dialog->quit = true;
            dialog->quitStatus = (int)msg.wParam;
            *dialog->cancelled = true;
            continue;
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    dialog->lastDrain = NowMs();
}

bool CopyDialogSawQuit(const CopyDialog* dialog, int* status) {
    *status = dialog->quitStatus;
    return dialog->quit;
}

// A bar's range in 128 KiB units; ranges past 16 bits need the 32-bit message.
static void SetBarRange(CopyDialog* dialog, int bar, uint64_t upper) {
    HWND control = GetDlgItem(dialog->window, bar);
    if (!control) return;
    if (upper > 0xFFFF) {
        SendMessageA(control, PBM_SETRANGE32, 0, (LPARAM)(upper > INT32_MAX ? INT32_MAX : upper));
    } else {
        SendMessageA(control, PBM_SETRANGE, 0, MAKELPARAM(0, (WORD)upper));
    }
}

static void SetBarPosition(CopyDialog* dialog, int bar, int64_t position) {
    HWND control = GetDlgItem(dialog->window, bar);
    if (control) SendMessageA(control, PBM_SETPOS, (WPARAM)(int)position, 0);
}

static void SetNameText(CopyDialog* dialog, const char* text) {
    if (dialog->window) SetDlgItemTextA(dialog->window, kNameText, text);
}

INT_PTR CALLBACK CopyDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: {
            // The dialog object travels with the window.
            SetWindowLongPtrA(window, DWLP_USER, lParam);
            CopyDialog* dialog = (CopyDialog*)lParam;
            CenterWindowOnScreen(window);
            SetDlgItemTextA(window, kNameText, "");
            // COPYING has no total bar: the messages to it go nowhere.
            SendDlgItemMessageA(window, kFileBar, PBM_SETRANGE, 0, MAKELPARAM(0, 1));
            SendDlgItemMessageA(window, kFileBar, PBM_SETPOS, 0, 0);
            SendDlgItemMessageA(window, kTotalBar, PBM_SETRANGE, 0, MAKELPARAM(0, 1));
            SendDlgItemMessageA(window, kTotalBar, PBM_SETPOS, 0, 0);
            dialog->animation = GetDlgItem(window, kAnimation);
            SendMessageA(dialog->animation, ACM_OPENA, 0, (LPARAM) "AVI_FILECOPY");
            SendMessageA(dialog->animation, ACM_PLAY, (WPARAM)-1, MAKELPARAM(0, 0xFFFF));
            ShowWindow(dialog->animation, SW_SHOW);
            return TRUE;
        }
        case WM_COMMAND:
            if (LOWORD(wParam) == kCancelButton) {
                CopyDialog* dialog = (CopyDialog*)GetWindowLongPtrA(window, DWLP_USER);
                if (dialog) {
                    *dialog->cancelled = true;
                    SendMessageA(dialog->animation, ACM_STOP, 0, 0);
                }
            }
            return FALSE;
    }
    return FALSE;
}

void CloseCopyDialog(CopyDialog* dialog) {
    if (!dialog->window) return;
    // Hand the activation to the owner while both windows exist: a window manager asked to
    // activate a window only after the active one has gone may leave no window active at all,
    // and the keyboard would then reach nothing.
    HWND owner = GetWindow(dialog->window, GW_OWNER);
    if (owner && GetForegroundWindow() == dialog->window) SetForegroundWindow(owner);
    DestroyWindow(dialog->window);
    dialog->window = NULL;
    dialog->animation = NULL;
    DrainCopyDialogQueue(dialog);
}

bool OpenCopyDialog(CopyDialog* dialog, UpdateStage stage, uint64_t total) {
    bool twoBars = stage == kStageList;
    // The one-bar dialog of the check stays open for the executable.
    if (dialog->window && !twoBars && !GetDlgItem(dialog->window, kTotalBar)) return true;
    CloseCopyDialog(dialog);
    INITCOMMONCONTROLSEX classes = {sizeof classes, ICC_PROGRESS_CLASS | ICC_ANIMATE_CLASS};
    InitCommonControlsEx(&classes);
    HWND owner = GetOwnerWindow();
    HINSTANCE instance =
        owner ? (HINSTANCE)GetWindowLongPtrA(owner, GWLP_HINSTANCE) : GetModuleHandleA(NULL);
    dialog->total = total;
    dialog->totalShown = 0;
    dialog->window = CreateDialogParamA(instance, twoBars ? "COPYINGDELUX" : "COPYING", owner,
                                        CopyDialogProc, (LPARAM)dialog);
    if (!dialog->window) return false;
    if (twoBars) SetBarRange(dialog, kTotalBar, total < kCopyBarUnit ? 1 : total / kCopyBarUnit);
    DrainCopyDialogQueue(dialog);
    return true;
}

// ---- the progress table -------------------------------------------------------------------------

static CopyDialog* Of(void* context) {
    return (CopyDialog*)context;
}

static void ProgressOpen(void* context, UpdateStage stage, uint64_t total) {
    OpenCopyDialog(Of(context), stage, total);
}

static void ProgressClose(void* context) {
    CloseCopyDialog(Of(context));
}

static void ProgressShowStep(void* context, UpdateStep step) {
    SetNameText(Of(context), UpdateStepText(step));
    DrainCopyDialogQueue(Of(context));
}

static void ProgressBeginFile(void* context, const char* name, uint64_t size) {
    CopyDialog* dialog = Of(context);
    SetNameText(dialog, name);
    SetBarRange(dialog, kFileBar, size / kCopyBarUnit);
    SetBarPosition(dialog, kFileBar, 0);
    dialog->fileSize = size;
    dialog->fileShown = 0;
    dialog->lastDrain = 0;  // the first chunk of a file drains the queue
}

static void ProgressAdvance(void* context, uint64_t fileDone, uint64_t stageDone) {
    CopyDialog* dialog = Of(context);
    int64_t filePosition = (int64_t)(fileDone / kCopyBarUnit);
    int64_t totalPosition = (int64_t)(stageDone / kCopyBarUnit);
    if (filePosition == dialog->fileShown && totalPosition == dialog->totalShown) return;
    double now = NowMs();
    bool final = fileDone == dialog->fileSize;
    if (!final && now - dialog->lastBars < kBarIntervalMs) return;
    if (filePosition != dialog->fileShown) SetBarPosition(dialog, kFileBar, filePosition);
    if (totalPosition != dialog->totalShown) SetBarPosition(dialog, kTotalBar, totalPosition);
    dialog->fileShown = filePosition;
    dialog->totalShown = totalPosition;
    dialog->lastBars = now;
}

// Waits `ms` with the queue drained in short steps, so that Cancel is seen at once; 0: a drain
// when one is due.
static void ProgressWait(void* context, uint32_t ms, const bool* stopWhenSet) {
    CopyDialog* dialog = Of(context);
    if (ms == 0) {
        if (NowMs() - dialog->lastDrain >= kDrainIntervalMs) DrainCopyDialogQueue(dialog);
        return;
    }
    DWORD start = GetTickCount();
    for (;;) {
        DrainCopyDialogQueue(dialog);
        if (stopWhenSet && *stopWhenSet) return;
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= ms) return;
        Sleep(ms - elapsed < 20 ? ms - elapsed : 20);
    }
}

static void ProgressTell(void* context, UpdateNotice notice, const char* file) {
    if (Of(context)->quit) return;
    switch (notice) {
        case kNoticeRecovered:
            ShowInfoMessage(kRecoveredEarlier);
            return;
        case kNoticeWasPartly:
            ShowInfoMessage(kWasPartlyEarlier);
            return;
        case kNoticeSideFileLeft:
            ShowInfoMessage(kSideFileLeftEarlier, file);
            return;
    }
}

static bool ProgressAskFileByFile(void* context, uint64_t neededAllAtOnce, uint64_t available) {
    if (Of(context)->quit) return false;
    return AskYesNoDefaultNo(kOneAtATimeQuestion,
                             (unsigned long)MebibytesRoundedUp(neededAllAtOnce),
                             (unsigned long)MebibytesRoundedDown(available));
}

void InitCopyDialog(CopyDialog* dialog, bool* cancelled) {
    *dialog = {};
    dialog->cancelled = cancelled;
    dialog->progress = {dialog,           ProgressOpen,      ProgressClose,
                        ProgressShowStep, ProgressBeginFile, ProgressAdvance,
                        ProgressWait,     ProgressTell,      ProgressAskFileByFile};
}
