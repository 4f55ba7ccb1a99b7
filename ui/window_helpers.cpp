// Window centring and document opening (see window_helpers.h).
#include "ui/window_helpers.h"

#include <shellapi.h>

#include "ui/message_box.h"

void CenterWindowOnScreen(HWND window) {
    RECT rect;
    GetWindowRect(window, &rect);
    int width = rect.right - rect.left;
    int height = rect.bottom - rect.top;
    HDC dc = GetDC(window);
    int screenWidth = GetDeviceCaps(dc, HORZRES);
    int screenHeight = GetDeviceCaps(dc, VERTRES);
    ReleaseDC(window, dc);
    int x = (screenWidth - width) / 2;
    int y = (screenHeight - height) / 2;
    SetWindowPos(window, NULL, x, y, 0, 0, SWP_NOZORDER | SWP_NOSIZE);
}

void OpenDocument(const char* path) {
    SHELLEXECUTEINFOA info = {};
    info.cbSize = sizeof info;
    info.fMask = 0;
    info.hwnd = GetOwnerWindow();
    info.lpVerb = "open";
    info.lpFile = path;
    info.nShow = SW_SHOWNORMAL;
    ShellExecuteExA(&info);
}
