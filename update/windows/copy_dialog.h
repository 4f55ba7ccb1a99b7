// The modeless copy dialog of an update, as one object that shows what the update core reports
// (update/core/update_progress.h): an animation, the file's name, a file bar (and in the two-bar
// dialog COPYINGDELUX a total bar over the stage's bytes) and a Cancel button, which sets the
// run's flag. The message queue is drained while the update works, so the dialog repaints, its
// animation runs and Cancel is seen; there are no worker threads.
//
// A quit message met while the queue is drained ends the update as Cancel does; once the update
// has put everything back, the caller ends the process with the quit message's status
// (CopyDialogSawQuit).
#pragma once
#include <windows.h>
#include <stdint.h>

#include "update/core/update_progress.h"

enum : uint32_t { kCopyBarUnit = 131072 };  // the bars count in units of 128 KiB

struct CopyDialog {
    HWND window;              // the open dialog, or null
    HWND animation;           // its animation control
    bool* cancelled;          // the run's Cancel flag
    UpdateProgress progress;  // the table over this dialog, for the run
    uint64_t total;           // the stage's bytes (two-bar dialog)
    uint64_t fileSize;
    double lastDrain, lastBars;  // pacing, in milliseconds
    int64_t fileShown, totalShown;
    bool quit;  // a quit message was met
    int quitStatus;
};

// A closed dialog whose Cancel sets `*cancelled`.
void InitCopyDialog(CopyDialog* dialog, bool* cancelled);
// Opens the dialog of `stage` (replacing an open one of the other stage). False when it cannot
// be created.
bool OpenCopyDialog(CopyDialog* dialog, UpdateStage stage, uint64_t total);
void CloseCopyDialog(CopyDialog* dialog);
// Drains the queue now (a quit message is kept, not acted on).
void DrainCopyDialogQueue(CopyDialog* dialog);
// Whether a quit message was met; *status its wParam.
bool CopyDialogSawQuit(const CopyDialog* dialog, int* status);
INT_PTR CALLBACK CopyDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
