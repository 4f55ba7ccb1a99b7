// The owner window and the four kinds of message box through which the launcher reports
// everything the user must know. Every box is parented to the owner window (the menu dialog once
// it exists) and captioned with that window's current title. Error and fatal texts are also put on
// the clipboard, so a user can paste them into a support request.
#pragma once
#include <windows.h>

void SetOwnerWindow(HWND window);
HWND GetOwnerWindow();
// Fills the shared 260-byte caption buffer with the owner window's title and returns it.
const char* GetOwnerWindowTitle();

// printf-style format with up to four arguments (texts or 32-bit integers). A formatted text longer
// than 1023 bytes is cut at 1023 bytes without splitting a double-byte character.
void ShowErrorMessage(const char* format, ...);
// Retry returns to the caller, which repeats its step; Cancel (or a box that cannot be shown at
// all) ends the process through exit(-1).
void ShowFatalMessage(const char* format, ...);
int ShowInfoMessage(const char* format, ...);
bool AskYesNo(const char* format, ...);
// The same question with No as the default button, for a choice whose safe answer is No.
bool AskYesNoDefaultNo(const char* format, ...);

// Tests only: while set, no box is shown (and nothing placed on the clipboard); `answer` receives
// each box's flags and formatted text and returns the button pressed (IDOK, IDYES, IDNO, ...).
typedef int (*MessageBoxAnswer)(UINT flags, const char* text);
void SetMessageBoxAnswerForTests(MessageBoxAnswer answer);
