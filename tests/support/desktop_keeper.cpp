// Keeps Wine's desktop process running for the whole test session.
//
// Wine starts its desktop process (explorer.exe, which also runs the clipboard manager that
// mirrors the clipboard to the X server) with the first window of a session and ends it when the
// last window is gone. Each test runs in a process of its own, so without this program every test
// would start a new desktop, and a clipboard manager starting up takes over the clipboard from the
// X server a moment later: a text a test had just placed could be emptied under it. This program
// holds one hidden window until the session's wineserver ends it.
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    CreateWindowExA(WS_EX_TOOLWINDOW, "STATIC", "desktop keeper", WS_POPUP, 0, 0, 1, 1, NULL, NULL,
                    instance, NULL);
    MSG msg;
    while (GetMessageA(&msg, NULL, 0, 0) > 0) DispatchMessageA(&msg);
    return 0;
}
