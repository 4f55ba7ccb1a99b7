// A small program run by the ui tests as a child process, for behaviour that ends the process:
//   ui_probe fatal LOGFILE     shows a fatal box; writes "returned" if it returns
//   ui_probe pump-quit LOGFILE posts two messages and a quit message with status 7, then drains
// Every run records in LOGFILE the messages its window received and that its exit handler ran.
#include <windows.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ui/message_box.h"
#include "ui/message_pump.h"

static FILE* g_log;

static void OnExit() {
    fprintf(g_log, "exit handler\n");
    fclose(g_log);
}

static LRESULT CALLBACK ProbeWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_APP) fprintf(g_log, "dispatched %u\n", (unsigned)wParam);
    return DefWindowProcA(window, message, wParam, lParam);
}

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    g_log = fopen(argv[2], "wb");
    if (!g_log) return 3;
    atexit(OnExit);
    if (strcmp(argv[1], "fatal") == 0) {
        ShowFatalMessage("fatal %s", "probe");
        fprintf(g_log, "returned\n");
        return 0;
    }
    if (strcmp(argv[1], "pump-quit") == 0) {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = ProbeWindowProc;
        wc.hInstance = GetModuleHandleA(NULL);
        wc.lpszClassName = "VorlinProbe";
        RegisterClassA(&wc);
        HWND window = CreateWindowA("VorlinProbe", "", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL,
                                    wc.hInstance, NULL);
        PostMessageA(window, WM_APP, 1, 0);
        PostMessageA(window, WM_APP, 2, 0);
        PostThreadMessageA(GetCurrentThreadId(), WM_QUIT, 7, 0);
        PostMessageA(window, WM_APP, 3, 0);
        PumpMessages();
        fprintf(g_log, "pump returned\n");
        return 0;
    }
    return 2;
}
