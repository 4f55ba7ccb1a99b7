// Copying single files under the modeless copy dialog: an animation, the file's name, a file bar
// (and in the two-bar dialog a total bar over all measured files) and a Cancel button. The
// message queue is drained while the copy runs, so the dialog repaints and Cancel is seen.
//
// Nothing half-written ever replaces a good file: each file is written to a temporary file in the
// destination folder and moved over the destination only when all its bytes and its times are
// written. A failed or cancelled copy removes the temporary file and leaves the destination as it
// was, byte for byte.
#pragma once
#include <windows.h>
#include <stdint.h>

enum { kCopyUnit = 131072 };  // bars count in units of 128 KiB; also the chunk size

// 1 when the one-bar dialog was created, 0 when it cannot be.
int OpenCopyDialog();
// Starts a multi-file copy: totals reset, the two-bar dialog created. 1 or 0 as above.
int OpenCopyDialogWithTotal(int64_t expectedTotal);
// 1 when no dialog was open; otherwise destroys it and returns 0.
int CloseCopyDialog();
// Adds the size of one file to the expected total (only while a copy dialog is open).
void AddFileToCopyTotal(const char* path);
// 1 on success (or when the source names a folder entry "\." or "\.."), 0 on failure or Cancel.
int CopyFileWithProgress(const char* source, const char* destination, int failIfExists);
INT_PTR CALLBACK CopyDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// For tests: the open copy dialog (null when none) and the totals.
HWND GetCopyDialog();
int64_t GetExpectedCopyTotal();
int64_t GetCopiedTotal();
