// Plain-text clipboard copy (see clipboard.h). The clipboard owns the block once it takes it;
// a block it does not take is freed here.
#include "ui/clipboard.h"

#include <windows.h>
#include <cstring>

int CopyTextToClipboard(const char* text) {
    size_t size = strlen(text) + 1;
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
    if (!block) return -1;
    void* p = GlobalLock(block);
    if (p) {
        memcpy(p, text, size);
        GlobalUnlock(block);
    }
    bool taken = false;
    if (OpenClipboard(GetActiveWindow())) {
        EmptyClipboard();
        taken = SetClipboardData(CF_TEXT, block) != NULL;
        CloseClipboard();
    }
    if (!taken) GlobalFree(block);
    return 0;
}
