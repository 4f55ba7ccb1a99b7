// Message queue drain (see message_pump.h).
#include "ui/message_pump.h"

#include <windows.h>
#include <cstdlib>

int PumpMessages() {
    int count = 0;
    MSG msg;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) exit((int)msg.wParam);
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
        count++;
    }
    return count;
}
