// The main menu dialog (see menu_dialog.h).
//
// On opening it registers itself as the owner of every later message box, refuses to run when
// the game is not installed (unless the settings allow an update without installation), labels
// its three buttons from the install state, and loads its background picture. The picture is
// centred in the square whose side is the client height, at the left of the client area.
//
// The update runs synchronously inside the command handler, while the copy dialogs drain the
// message queue; meanwhile the menu's buttons are disabled and every command is ignored, so
// neither a second update nor a second release of the picture can start from inside the first.
#include "app/menu_dialog.h"

#include "image/rct_load.h"
#include "settings/env_settings.h"
#include "settings/registry_store.h"
#include "ui/message_box.h"
#include "ui/window_helpers.h"
#include "update/windows/update_procedure.h"

enum {
    kExitButton = 1000,
    kReadmeButton = 1001,
    kUpdateButton = 1002,
    kFirstUnusedButton = 1003,
    kLastButton = 1007,
};

static BitmapSurface* g_menuPicture;
static int g_pictureX, g_pictureY;
static int g_updatedFlag;
static bool g_updateRunning;

void ComputePictureOrigin(int clientHeight, int pictureWidth, int pictureHeight, int* x, int* y) {
    *x = (clientHeight - pictureWidth) / 2;
    *y = (clientHeight - pictureHeight) / 2;
}

static void ReleaseMenuPicture() {
    ReleaseSurface(g_menuPicture, 0);
    g_menuPicture = nullptr;
}

static void DestroyButtons(HWND dialog, int from, int downTo) {
    for (int id = from; id >= downTo; id--) DestroyWindow(GetDlgItem(dialog, id));
}

static void OnInitDialog(HWND dialog) {
    SetOwnerWindow(dialog);
    CenterWindowOnScreen(dialog);
    SetWindowTextA(dialog, GetUpdateTitle());

    int installed = ReadRegistryInt(GetRegGlobalSetting(), GetRegLocalSetting(), "IsInst", 0);
    if (installed == 0 && GetSettingInt("UPDATENEEDINSTALL", 1) != 0) {
        ShowErrorMessage("「%s」をインストールしてから実行してください", GetTitlebarSetting());
        DestroyButtons(dialog, kLastButton, kExitButton);
        EndDialog(dialog, 0);
        return;
    }

    g_updatedFlag = ReadRegistryInt(GetRegGlobalSetting(), GetRegLocalSetting(), "Updated", 0);
    DestroyButtons(dialog, kLastButton, kFirstUnusedButton);
    SetDlgItemTextA(dialog, kUpdateButton, g_updatedFlag ? "再アップデート" : "アップデート");
    SetDlgItemTextA(dialog, kReadmeButton, "readme");
    SetDlgItemTextA(dialog, kExitButton, "終了");

    // Processed once the dialog is shown and its loop runs.
    keybd_event(VK_DOWN, 0, 0, 0);
    keybd_event(VK_DOWN, 0, KEYEVENTF_KEYUP, 0);
    keybd_event(VK_UP, 0, 0, 0);
    keybd_event(VK_UP, 0, KEYEVENTF_KEYUP, 0);

    g_menuPicture = LoadRctImage("update.rct");
    if (g_menuPicture) {
        RECT client;
        GetClientRect(dialog, &client);
        ComputePictureOrigin(client.bottom - client.top, g_menuPicture->width,
                             g_menuPicture->height, &g_pictureX, &g_pictureY);
    }
}

static void OnPaint(HWND dialog) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(dialog, &paint);
    // Without a picture (a file that is not an RCT picture) only the dialog's own background shows.
    if (g_menuPicture) {
        BitmapSurface* p = g_menuPicture;
        StretchDIBits(dc, g_pictureX, g_pictureY, p->width, p->height, 0, 0, p->width, p->height,
                      p->bits, (BITMAPINFO*)p->info, DIB_RGB_COLORS, SRCCOPY);
    }
    EndPaint(dialog, &paint);
}

static void SetButtonsEnabled(HWND dialog, BOOL enabled) {
    for (int id = kExitButton; id <= kUpdateButton; id++) {
        EnableWindow(GetDlgItem(dialog, id), enabled);
    }
}

static bool RunsUnderWine() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

static void OnUpdate(HWND dialog) {
    g_updateRunning = true;
    SetButtonsEnabled(dialog, FALSE);
    int result = RunUpdate();
    SetButtonsEnabled(dialog, TRUE);
    g_updateRunning = false;
    if (result == 0) {
        ReleaseMenuPicture();
        EndDialog(dialog, 1);
        return;
    }
    // The copy dialog that went away may have taken the activation with it, and the update button
    // lost the keyboard focus when it was disabled: make the menu active again and give the focus
    // back through the dialog manager (which also moves the default-button look), so that Enter
    // asks again.
    if (RunsUnderWine()) {
        // Under Wine the X window manager, not the program, moves the keyboard: when the copy
        // dialog and the box have gone it may leave it on no window at all, while Windows'
        // own view has the menu active. A window manager gives the keyboard to a window it
        // sees appear, so the menu appears once more.
        ShowWindow(dialog, SW_HIDE);
        ShowWindow(dialog, SW_SHOW);
    }
    SetForegroundWindow(dialog);
    SetActiveWindow(dialog);
    SendMessageA(dialog, WM_NEXTDLGCTL, (WPARAM)GetDlgItem(dialog, kUpdateButton), TRUE);
}

static void OnCommand(HWND dialog, WPARAM command) {
    if (g_updateRunning) return;
    switch (command) {
    case kExitButton:
        ReleaseMenuPicture();
        EndDialog(dialog, 0);
        break;
    case kReadmeButton:
        OpenDocument(g_updatedFlag ? GetUpdateReadmeSetting() : "update.txt");
        break;
    case kUpdateButton:
        OnUpdate(dialog);
        break;
    }
}

INT_PTR CALLBACK MenuDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog(dialog);
        break;
    case WM_PAINT:
        OnPaint(dialog);
        break;
    case WM_COMMAND:
        OnCommand(dialog, wParam);
        break;
    case WM_CLOSE:
        if (!g_updateRunning) {
            ReleaseMenuPicture();
            EndDialog(dialog, 0);
        }
        break;
    }
    return FALSE;
}
