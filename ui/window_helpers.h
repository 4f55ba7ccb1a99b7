// Small window and shell helpers: centring a dialog on the screen, opening a document with the
// program the shell associates with it.
#pragma once
#include <windows.h>

// Moves `window` (never resizes it, never changes its Z order) so that it is centred on the whole
// primary screen; a window larger than the screen gets a negative position.
void CenterWindowOnScreen(HWND window);

// Opens `path` with the shell's "open" verb, relative names resolving against the current
// directory. The shell reports a document it cannot open in its own dialog.
void OpenDocument(const char* path);
