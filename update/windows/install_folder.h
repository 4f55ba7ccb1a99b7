// The install folder: choosing it in the SETUP dialog (with the shell's folder browser), the
// normalisation and refusals of the typed text, the last confirmation, creating every missing
// level, and the small trailing-backslash helpers with their double-byte rule.
//
// Paths are code page 932 text in 260-byte buffers. A backslash at the end of a path counts as a
// separator only when the byte before it is not a Shift-JIS lead byte (0x81-0x9F, 0xE0-0xFC):
// the trail byte of a double-byte character may be 0x5C.
#pragma once
#include <windows.h>

#include "update/core/update_fs.h"

// True when a folder was confirmed (`folder`, 260 bytes, then holds it without a trailing
// backslash); false when the user cancelled, the folder was refused or the confirmation answered
// No.
bool ChooseInstallFolder(char* folder);
// The SETUP dialog; its parameter is the folder text (260 bytes), shown and read back.
INT_PTR CALLBACK SetupDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// Lets the user pick the folder in which the install folder is made; may replace `folderText`
// (260 bytes).
void BrowseForInstallFolder(HWND owner, char* folderText);
// True when every level of the absolute `path` exists afterwards (made through `fs`); false when
// the path is too short or a level is neither a folder nor can be made (levels made before stay).
bool CreateFolderChain(const UpdateFileSystem* fs, const char* path);
// `destination` (260 bytes) receives `source` cut before its n-th backslash (n >= 1; a backslash
// in the first position does not count), or the whole source when it has fewer.
void CopyPathUpToSeparator(const char* source, char* destination, int n);
char* StripTrailingBackslash(char* path);
// Appends a backslash unless the path already ends in one; never writes past 260 bytes.
char* AppendBackslash(char* path);
int IsLeadByte(unsigned char byte);
