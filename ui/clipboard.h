// Plain-text clipboard copy of error texts.
#pragma once

// Puts `text` (code page 932, line breaks as bare line feeds) on the clipboard as CF_TEXT.
// Returns 0 after the clipboard calls, -1 when no global memory block could be allocated.
int CopyTextToClipboard(const char* text);
