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

// Whether the open copy dialog is the one-bar dialog.
bool IsOneBarCopyDialogOpen();
// Shows `text` in the open dialog's file-name line and drains the queue.
void ShowCopyDialogText(const char* text);

// State of one whole update: Cancel pressed in any copy dialog since the update began (a copy
// inside an open dialog then fails before its first byte), and how many files were replaced.
// ResetCopyState begins an update.
void ResetCopyState();
bool WasCopyCancelled();
int GetReplacedFileCount();
// Whether the last copy failed because its source is not the sealed file (a sealed media whose
// file is damaged: another size, another digest, or not listed), and that copy's source name.
bool WasLastCopyDamaged();
const char* GetLastCopySource();

// False when `destination` exists but cannot be replaced now: a folder, or a file another
// process holds open without sharing its deletion (the game still running).
bool DestinationReplaceable(const char* destination);
// Whether `name` is exactly one of the copy's own temporary names ("~vup" + 4 hex digits + ".tmp").
bool IsLeftoverTemporaryName(const char* name);
// Deletes the temporary files interrupted copies left in `folder` (names as above, nothing else);
// returns how many were removed.
int RemoveLeftoverTemporaryFiles(const char* folder);

// For tests: the open copy dialog (null when none) and the totals.
HWND GetCopyDialog();
int64_t GetExpectedCopyTotal();
int64_t GetCopiedTotal();
