// Owner window, caption and the four message-box kinds (see message_box.h).
#include "ui/message_box.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "ui/clipboard.h"
#include "ui/mbcs_text.h"

static HWND g_ownerWindow;
static MessageBoxAnswer g_testAnswer;
enum { kCaptionBytes = 260 };  // a window title, terminator included
static char g_caption[kCaptionBytes];

enum { kMessageBufferSize = 1024 };

void SetOwnerWindow(HWND window) {
    g_ownerWindow = window;
}

void SetMessageBoxAnswerForTests(MessageBoxAnswer answer) {
    g_testAnswer = answer;
}

HWND GetOwnerWindow() {
    return g_ownerWindow;
}

const char* GetOwnerWindowTitle() {
    // No owner (or one that is gone) means an empty caption. Wine's GetWindowTextA of a null
    // window fills the buffer with something else, so the null case is not asked at all.
    if (!g_ownerWindow || GetWindowTextA(g_ownerWindow, g_caption, sizeof g_caption) <= 0) {
        g_caption[0] = '\0';
    }
    return g_caption;
}

// Steps shared by every kind: format, foreground, clipboard (error kinds), caption, the box itself.
static int ShowBoxV(UINT flags, bool toClipboard, const char* format, va_list args) {
    // Format into a larger scratch buffer first so that the cut can respect character boundaries.
    char scratch[kMessageBufferSize * 2];
    if (vsnprintf(scratch, sizeof scratch, format, args) < 0) scratch[0] = '\0';
    char text[kMessageBufferSize];
    CopyMultibyteText(text, sizeof text, scratch);

    if (g_testAnswer) return g_testAnswer(flags, text);
    SetForegroundWindow(g_ownerWindow);
    if (toClipboard) CopyTextToClipboard(text);
    const char* caption = GetOwnerWindowTitle();
    return MessageBoxA(g_ownerWindow, text, caption, flags);
}

void ShowErrorMessage(const char* format, ...) {
    va_list args;
    va_start(args, format);
    ShowBoxV(MB_OK | MB_ICONERROR, true, format, args);
    va_end(args);
}

void ShowFatalMessage(const char* format, ...) {
    va_list args;
    va_start(args, format);
    int result = ShowBoxV(MB_RETRYCANCEL | MB_ICONERROR, true, format, args);
    va_end(args);
    // A box that could not be shown cannot be answered: retrying would spin without end.
    if (result == IDCANCEL || result == 0) exit(-1);
}

int ShowInfoMessage(const char* format, ...) {
    va_list args;
    va_start(args, format);
    int result = ShowBoxV(MB_OK, false, format, args);
    va_end(args);
    return result;
}

bool AskYesNo(const char* format, ...) {
    va_list args;
    va_start(args, format);
    int result = ShowBoxV(MB_YESNO | MB_ICONQUESTION, false, format, args);
    va_end(args);
    return result == IDYES;
}

bool AskYesNoDefaultNo(const char* format, ...) {
    va_list args;
    va_start(args, format);
    int result = ShowBoxV(MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2, false, format, args);
    va_end(args);
    return result == IDYES;
}
