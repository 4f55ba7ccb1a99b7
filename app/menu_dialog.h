// The main menu: the launcher's only top-level window.
#pragma once
#include <windows.h>

// Dialog procedure for the MAINDIALOG template. The dialog ends with 1 after a successful update
// (start-up then shows a fresh menu) and with 0 when the program is to end.
INT_PTR CALLBACK MenuDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Where the picture's top-left corner goes in client coordinates: centred in the square whose
// side is the client height, at the left edge (the client width plays no part). A picture larger
// than the square gets a negative origin and is cut at the edges.
void ComputePictureOrigin(int clientHeight, int pictureWidth, int pictureHeight, int* x, int* y);
