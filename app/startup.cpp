// Start-up: process-wide services in a fixed order, the single-instance guard, and the menu loop.
//
// Order: COM, the resource mounts "update" and "fastdata", the settings file (found in the media
// folder or in a mount), the instance mutex (named by the update title; held until the
// process ends), the probe of the game's own mutex (named by TITLEBAR), then the menu again and
// again while it ends with 1. Every way out runs through exit(), so the exit handlers run in
// reverse order of registration: settings freed, resource lock deleted, COM released last.
#include <windows.h>
#include <objbase.h>
#include <cstdio>
#include <cstdlib>

#include "app/menu_dialog.h"
#include "resfs/mount_rules.h"
#include "resfs/mounts.h"
#include "settings/env_settings.h"

static void ReleaseCom() { CoUninitialize(); }

// Shown directly: no owner window exists yet, and nothing goes to the clipboard.
static void RefuseStart(const char* format, const char* argument) {
    char text[1024];
    snprintf(text, sizeof text, format, argument);
    MessageBoxA(NULL, text, GetUpdateTitle(), MB_OK | MB_ICONERROR);
    exit(0);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    CoInitialize(NULL);
    atexit(ReleaseCom);

    // The media's own archives or folders; a name that is neither is simply not searched.
    for (const char* mount : kResourceMounts) MountResourceSource(mount, 0);

    LoadEnvironmentSettings("vorlin.env");

    // A name the system rejects (a backslash in the title) ends the launcher silently.
    HANDLE instanceMutex = CreateMutexA(NULL, TRUE, GetUpdateTitle());
    if (!instanceMutex) exit(0);
    if (GetLastError() == ERROR_ALREADY_EXISTS) RefuseStart("[ %s ] は既に起動中です", GetUpdateTitle());

    HANDLE gameMutex = CreateMutexA(NULL, TRUE, GetTitlebarSetting());
    if (!gameMutex) exit(0);
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        RefuseStart("[ %s ] を終了後に起動してください", GetTitlebarSetting());
    }
    CloseHandle(gameMutex);

    while (DialogBoxParamA(instance, "MAINDIALOG", NULL, MenuDialogProc, 0) == 1) {
    }
    return 0;
}
