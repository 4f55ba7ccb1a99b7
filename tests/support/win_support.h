// Test support for the Windows tests: finding and driving real dialogs and message boxes, the real
// clipboard, child processes and scratch folders. Used from GoogleTest executables under Wine.
#pragma once
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

// What a test can read off a dialog window (a message box or one of the launcher's dialogs).
struct WindowSeen {
    HWND window = nullptr;
    HWND owner = nullptr;
    std::string className;
    std::string caption;
    std::string text;  // a message box's message text (its static control 0xFFFF)
    std::vector<int> buttons;  // ids of the visible push buttons, in child order
    HICON icon = nullptr;      // a message box's icon (its visible static control 1088), if any
    bool HasButton(int id) const;
};

// Waits up to `timeoutMs` for a visible top-level dialog (class "#32770") of process `processId`
// whose caption equals `caption` (any caption when null). Returns false on timeout.
bool WaitForDialog(DWORD processId, const char* caption, WindowSeen* seen, int timeoutMs = 15000);
// Waits for a dialog of process `processId` whose message text (or, for a dialog without one, its
// caption) equals `text`, whatever other dialogs the process shows meanwhile.
bool WaitForDialogWithText(DWORD processId, const std::string& text, WindowSeen* seen,
                           int timeoutMs = 15000);
// Presses a dialog's button as a click would: the button's command reaches the dialog.
void PressButton(HWND dialog, int buttonId);
// Waits until the window no longer exists.
bool WaitForWindowGone(HWND window, int timeoutMs = 15000);

// Runs `action` on this thread while a second thread waits for a dialog of this process, records
// what it shows into `seen`, and presses `buttonId` on it. Fails the test if no dialog appears.
void DriveDialog(const std::function<void()>& action, int buttonId, WindowSeen* seen);
// Same, but the second thread calls `onDialog` to act on the dialog.
void DriveDialogWith(const std::function<void()>& action,
                     const std::function<void(const WindowSeen&)>& onDialog, WindowSeen* seen);

// Runs `action` while a second thread answers every dialog box this process shows meanwhile with
// OK (boxes with an OK button only); returns the boxes' texts in order. For checking that an
// action shows no box at all, without hanging the test if it does.
std::vector<std::string> BoxesDuring(const std::function<void()>& action);

// The clipboard's CF_TEXT bytes ("" when it holds no text) and a way to plant a known text.
std::string ReadClipboardText();
void SetClipboardText(const std::string& text);
// Reads the clipboard until it holds exactly `expected` or the deadline passes. Wine mirrors the
// clipboard to the X server, and a process that owned it before can empty and set it again for a
// moment, so a single read may see a passing state. On failure the message shows what was last
// read.
::testing::AssertionResult ClipboardHolds(const std::string& expected, int timeoutMs = 10000);

// "Z:\..." for a path of the Linux file system, as Wine maps it.
std::string WindowsPath(const std::string& unixPath);
// A fresh empty folder under the temporary folder; removed with everything in it at destruction.
struct ScratchDir {
    std::string path;  // no trailing backslash
    ScratchDir();
    ~ScratchDir();
    std::string File(const std::string& name) const { return path + "\\" + name; }
};
// Makes `path` the current directory for the object's lifetime.
struct InFolder {
    char saved[MAX_PATH] = "";
    explicit InFolder(const std::string& path);
    ~InFolder();
};
void WriteBytes(const std::string& path, const std::string& bytes);
// A file of `size` zero bytes, made sparse so that even gigabytes are quick to set up.
void MakeSparseFile(const std::string& path, int64_t size);
// A file's size (0 when it cannot be read).
uint64_t FileSizeOf(const std::string& path);
std::string ReadBytes(const std::string& path);
void RemoveTree(const std::string& path);
// Names in a folder (files and sub-folders, without "." and ".."), sorted.
std::vector<std::string> ListFolder(const std::string& folder);
// The text of a dialog's control.
std::string DialogItemText(HWND dialog, int id);

// A child process started with `commandLine` in `directory`. One still running when the object
// goes (a test that failed half-way) is ended, so no process outlives its test.
struct Child {
    HANDLE process = nullptr;
    DWORD id = 0;
    Child() = default;
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    Child(Child&& other) noexcept : process(other.process), id(other.id) { other.process = nullptr; }
    Child& operator=(Child&& other) noexcept {
        std::swap(process, other.process);
        std::swap(id, other.id);
        return *this;
    }
    ~Child();
};
Child StartChild(const std::string& commandLine, const std::string& directory);
// Waits for the child's end and returns its exit status; STILL_ACTIVE (259) after a timeout, in
// which case the child is terminated.
DWORD WaitChild(Child* child, int timeoutMs = 15000);
bool ChildRunning(const Child& child);
