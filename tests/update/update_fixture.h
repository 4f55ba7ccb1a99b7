// Shared helpers of the update tests: a media folder made current, an install folder, files with
// known times and contents, and reading back what a copy left behind.
#pragma once
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/support/win_support.h"
#include "update/core/perform_update.h"
#include "update/windows/copy_dialog.h"
#include "update/windows/win32_file_system.h"

// A fixed, old file time (2001-02-03 04:05:06 UTC) given to source files, so that a copy that
// keeps the source's times is told apart from one that does not.
FILETIME OldTime(int secondsLater = 0);
// Writes `bytes` to `path` and gives it the old times and `attributes`.
void MakeSource(const std::string& path, const std::string& bytes,
                DWORD attributes = FILE_ATTRIBUTE_NORMAL);
// A deterministic byte pattern of `size` bytes.
std::string Pattern(size_t size, unsigned seed = 1);
// The three times of a file (zeroed when it cannot be opened).
struct FileTimes {
    FILETIME created, accessed, modified;
};
FileTimes TimesOf(const std::string& path);
bool SameTime(const FILETIME& a, const FILETIME& b);

// Runs `action` while a second thread waits for the box that shows `text` (passing over other
// dialogs such as the copy dialogs) and presses `button` on it. False if no such box appeared.
bool AnswerBox(const std::function<void()>& action, const std::string& text, int button);

// Watches the copy dialogs from inside the update's own thread, so that what it sees and does
// does not depend on timing: a hook on this thread sees each dialog's initialisation and each
// file name the dialog shows as it happens, however briefly.
struct CopyWatch {
    std::vector<int> bars;  // the copy dialogs created, in order: 1 or 2 progress bars
    std::string cancelAt;   // when set: Cancel is pressed as the dialog first shows this text
    bool cancelled = false;
    std::string listAt;      // when set: as the dialog shows this text, `listFolder` is listed
    std::string listFolder;  // into `listed`
    std::vector<std::string> listed;
};
void WatchCopiesDuring(CopyWatch* watch, const std::function<void()>& action);

// What the user is told when an update stops after files were replaced.
extern const char kStoppedPartly[];

// One update run on the Win32 file system under the real copy dialog, into `folder`.
struct WindowsRun {
    Win32FileSystem fs;
    CopyDialog dialog;
    UpdateRun run;
};
void BeginWindowsRun(WindowsRun* w, const std::string& folder, const char* exeName = "vorlin.exe",
                     uint32_t holdLimitMs = kDefaultHoldLimitMs);
// Closes the dialog and ends the run.
void EndWindowsRun(WindowsRun* w);

class UpdateTest : public ::testing::Test {
protected:
    ScratchDir media;
    ScratchDir install;
    InFolder inMedia{media.path};
    void SetUp() override;
    void TearDown() override;
};
