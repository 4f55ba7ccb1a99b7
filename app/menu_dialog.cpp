// Main menu dialog (see menu_dialog.h).
#include "app/menu_dialog.h"

#include "settings/env_settings.h"
#include "ui/message_box.h"
#include "ui/window_helpers.h"

INT_PTR CALLBACK MenuDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        SetOwnerWindow(dialog);
        CenterWindowOnScreen(dialog);
        SetWindowTextA(dialog, GetUpdateTitle());
        return FALSE;
    case WM_COMMAND:
        if (wParam == 1000) EndDialog(dialog, 0);
        return FALSE;
    case WM_CLOSE:
        EndDialog(dialog, 0);
        return FALSE;
    }
    return FALSE;
}
