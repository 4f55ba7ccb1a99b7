// The main menu: the launcher's only top-level window.
#pragma once
#include <windows.h>

// Dialog procedure for the MAINDIALOG template. The dialog ends with 1 after a successful update
// (start-up then shows a fresh menu) and with 0 when the program is to end.
INT_PTR CALLBACK MenuDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
