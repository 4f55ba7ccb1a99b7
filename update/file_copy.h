// Copying files under the modeless copy dialog: an animation, the file's name, a file bar (and in
// the two-bar dialog a total bar over all measured files) and a Cancel button. The message queue
// is drained while a copy runs, so the dialog repaints and Cancel is seen.
//
// Nothing half-written ever replaces a good file: each file is written in full to a draft beside
// its destination, with the source's times, and flushed to the disk. An update drafts every file
// of its plan first and only then puts them in place (update_commit.h); a single copy
// (CopyFileWithProgress) moves its draft over the destination at once. A failed or cancelled copy
// removes its draft and leaves the destination as it was, byte for byte.
#pragma once
#include <windows.h>
#include <stdint.h>

#include "update/update_run.h"

enum { kCopyUnit = 131072 };  // bars count in units of 128 KiB; also the chunk size

// 1 when the one-bar dialog was created, 0 when it cannot be. Its Cancel sets `*cancelled` (an
// update's flag); without one, a flag of the dialog's own (WasCopyCancelled).
int OpenCopyDialog(volatile LONG* cancelled = nullptr);
// Starts a multi-file copy: totals reset, the two-bar dialog created. 1 or 0 as above.
int OpenCopyDialogWithTotal(int64_t expectedTotal, volatile LONG* cancelled = nullptr);
// 1 when no dialog was open; otherwise destroys it and returns 0.
int CloseCopyDialog();
// Adds `size` bytes, or the size of the file at `path`, to the expected total (only while a copy
// dialog is open).
void AddBytesToCopyTotal(int64_t size);
void AddFileToCopyTotal(const char* path);
// 1 on success (or when the source names a folder entry "\." or "\.."), 0 on failure or Cancel.
int CopyFileWithProgress(const char* source, const char* destination, int failIfExists);
INT_PTR CALLBACK CopyDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Whether the open copy dialog is the one-bar dialog.
bool IsOneBarCopyDialogOpen();
// Shows `text` in the open dialog's file-name line and drains the queue.
void ShowCopyDialogText(const char* text);

// The dialog's own Cancel flag (for copies outside an update): cleared by ResetCopyState and by a
// copy that opens its own dialog.
void ResetCopyState();
bool WasCopyCancelled();

// Drafts file `index` of the run's plan: its bytes, checked against the seal when it has one, and
// the source's times, into "~vup" + 8 hex digits + ".new" beside its destination, flushed. True
// when the draft is complete; false with the failure recorded in the run (Cancel included) and no
// draft left.
bool DraftPlannedFile(UpdateRun* run, uint32_t index, uint8_t* buffer);
// The full path of file `index`'s draft (".new") or backup (".old"); false when it does not fit.
bool PlannedSidePath(const UpdateRun* run, uint32_t index, const char* extension, char* out);
// Gives the installed file `path` the times of file `index` once more: a name given again within
// seconds of its old file's leaving may take over that file's creation time (Windows' name
// tunnelling). Its attributes are its draft's: a new file's, the archive attribute alone. False
// with the failure recorded.
bool FinishPlacedFile(UpdateRun* run, uint32_t index, const char* path);

// False when `destination` exists but cannot be replaced now: a folder, or a file another program
// holds without sharing its deletion (the game still running); *error then tells why.
bool DestinationReplaceable(const char* destination, DWORD* error);

// For tests: the open copy dialog (null when none) and the totals.
HWND GetCopyDialog();
int64_t GetExpectedCopyTotal();
int64_t GetCopiedTotal();
