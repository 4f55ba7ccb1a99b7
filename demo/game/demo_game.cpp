// The demo game: what the demo update installs as its executable. It holds the mutex named by
// its title while it runs, as the real game does, so the launcher refuses to start meanwhile.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    HANDLE running = CreateMutexA(NULL, TRUE, "星降る丘の物語");
    MessageBoxA(NULL, "星降る丘の物語 Ver 1.02（デモ）\n\nアップデート済みのゲームです。",
                "星降る丘の物語", MB_OK | MB_ICONINFORMATION);
    CloseHandle(running);
    return 0;
}
