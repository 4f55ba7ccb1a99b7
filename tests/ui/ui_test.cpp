// The user-interface helpers, tested against the real message boxes, clipboard and windows of Wine.
#include <gtest/gtest.h>
#include <windows.h>

#include <stdint.h>

#include <functional>
#include <string>

#include "tests/support/win_support.h"
#include "ui/alloc.h"
#include "ui/clipboard.h"
#include "ui/mbcs_text.h"
#include "ui/message_box.h"
#include "ui/message_pump.h"
#include "ui/window_helpers.h"

namespace {

// Planted before a box is shown, so that a text left from an earlier run cannot pass for one the
// box copied.
const char kSentinel[] = "sentinel text";

HWND MakeOwner(const char* title) {
    HWND window = CreateWindowExA(0, "STATIC", title, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10,
                                  300, 200, NULL, NULL, GetModuleHandleA(NULL), NULL);
    EXPECT_NE(window, nullptr);
    return window;
}

// Answers besides the buttons: the Escape key as the user presses it, and the close box.
const int kEscapeKey = -1;
const int kCloseBox = -2;

void Answer(HWND box, int answer) {
    if (answer == kEscapeKey) {
        HWND focus = GetDlgItem(box, IDOK);
        if (!focus) focus = GetDlgItem(box, IDCANCEL);
        PostMessageA(focus ? focus : box, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
        PostMessageA(focus ? focus : box, WM_KEYUP, VK_ESCAPE, 0xC0010001);
    } else if (answer == kCloseBox) {
        PostMessageA(box, WM_SYSCOMMAND, SC_CLOSE, 0);
    } else {
        PressButton(box, answer);
    }
}

// Every test starts and ends without an owner window, and starts with the sentinel text on the
// clipboard.
class MessageBoxes : public ::testing::Test {
protected:
    void SetUp() override {
        SetOwnerWindow(NULL);
        SetClipboardText(kSentinel);
    }
    void TearDown() override { SetOwnerWindow(NULL); }
};
class Alloc : public MessageBoxes {};

TEST(Platform, AnsiCodePageIsJapanese) { EXPECT_EQ(GetACP(), 932u); }

TEST_F(MessageBoxes, WithoutOwnerTheBoxHasNoParentAndAnEmptyCaption) {
    WindowSeen seen;
    DriveDialog([] { ShowErrorMessage("no owner %d", 5); }, IDOK, &seen);
    EXPECT_EQ(seen.owner, nullptr);
    EXPECT_EQ(seen.caption, "");
    EXPECT_EQ(seen.text, "no owner 5");
}

TEST_F(MessageBoxes, ErrorBoxIsOwnedCaptionedAndCopiedToTheClipboard) {
    HWND owner = MakeOwner("ＶＯＲＬＩＮ アップデート Version 1.01");
    SetOwnerWindow(owner);
    EXPECT_EQ(GetOwnerWindow(), owner);
    SetClipboardText(kSentinel);
    WindowSeen seen;
    DriveDialog(
        [] {
            ShowErrorMessage("ファイル[%s]のコピーに失敗しました。\n実行中の場合は終了して下さい。",
                             "data.arc");
        },
        IDOK, &seen);
    const std::string expected =
        "ファイル[data.arc]のコピーに失敗しました。\n実行中の場合は終了して下さい。";
    EXPECT_EQ(seen.owner, owner);
    EXPECT_EQ(seen.caption, "ＶＯＲＬＩＮ アップデート Version 1.01");
    EXPECT_EQ(seen.text, expected);
    EXPECT_TRUE(seen.HasButton(IDOK));
    EXPECT_FALSE(seen.HasButton(IDRETRY));
    // Exact code page 932 bytes, the line break a bare line feed.
    EXPECT_TRUE(ClipboardHolds(expected));
    DestroyWindow(owner);
}

TEST_F(MessageBoxes, PercentInAnArgumentIsInsertedVerbatim) {
    WindowSeen seen;
    DriveDialog([] { ShowErrorMessage("[%s]", "100%d%s%%"); }, IDOK, &seen);
    EXPECT_EQ(seen.text, "[100%d%s%%]");
    EXPECT_TRUE(ClipboardHolds("[100%d%s%%]"));
}

TEST_F(MessageBoxes, CaptionFollowsTheOwnersCurrentTitle) {
    HWND owner = MakeOwner("first");
    SetOwnerWindow(owner);
    SetWindowTextA(owner, "second title");
    EXPECT_STREQ(GetOwnerWindowTitle(), "second title");
    WindowSeen seen;
    DriveDialog([] { ShowInfoMessage("x"); }, IDOK, &seen);
    EXPECT_EQ(seen.caption, "second title");
    DestroyWindow(owner);
}

TEST_F(MessageBoxes, InfoAndQuestionBoxesReturnTheAnswerAndLeaveTheClipboardAlone) {
    struct Case {
        const char* name;
        bool question;
        int button;
        int expected;  // info: the box's result; question: 1 for true
        int alsoAccepted;
    };
    const Case cases[] = {
        // Windows answers Escape and the close box on an OK box with IDOK, Wine with IDCANCEL;
        // either way the box closes and its result is passed on unchanged.
        {"info OK", false, IDOK, IDOK, IDOK},
        {"info escape", false, kEscapeKey, IDOK, IDCANCEL},
        {"info close box", false, kCloseBox, IDOK, IDCANCEL},
        {"question yes", true, IDYES, 1, 1},
        {"question no", true, IDNO, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HWND owner = MakeOwner("owner");
        SetOwnerWindow(owner);
        SetClipboardText(kSentinel);
        int result = -5;
        WindowSeen seen;
        DriveDialogWith(
            [&] {
                result = c.question ? (int)AskYesNo("アップデートを開始します。宜しいですか？")
                                    : ShowInfoMessage("アップデートを終了しました。");
            },
            [&](const WindowSeen& s) { Answer(s.window, c.button); }, &seen);
        EXPECT_TRUE(result == c.expected || result == c.alsoAccepted) << result;
        EXPECT_EQ(seen.owner, owner);
        EXPECT_EQ(seen.caption, "owner");
        EXPECT_EQ(seen.HasButton(IDYES), c.question);
        EXPECT_EQ(seen.HasButton(IDNO), c.question);
        EXPECT_EQ(seen.HasButton(IDOK), !c.question);
        EXPECT_TRUE(ClipboardHolds(kSentinel));
        DestroyWindow(owner);
    }
}

// The icon tells the kind of box at a glance: the stop sign for errors and fatal errors, the
// question mark for questions, none for information.
TEST_F(MessageBoxes, EachKindShowsItsIcon) {
    struct Case {
        const char* name;
        std::function<void()> show;
        int answer;
        LPCSTR icon;  // null: no icon
    };
    const Case cases[] = {
        {"error", [] { ShowErrorMessage("error"); }, IDOK, IDI_HAND},
        {"fatal", [] { ShowFatalMessage("fatal"); }, IDRETRY, IDI_HAND},
        {"information", [] { ShowInfoMessage("information"); }, IDOK, nullptr},
        {"question", [] { AskYesNo("question"); }, IDNO, IDI_QUESTION},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WindowSeen seen;
        DriveDialog(c.show, c.answer, &seen);
        EXPECT_EQ(seen.text, c.name);
        EXPECT_EQ(seen.icon, c.icon ? LoadIconA(NULL, c.icon) : nullptr);
    }
}

TEST_F(MessageBoxes, ErrorBoxClosedWithEscapeReturns) {
    WindowSeen seen;
    DriveDialogWith([] { ShowErrorMessage("escape"); },
                    [](const WindowSeen& s) { Answer(s.window, kEscapeKey); }, &seen);
    EXPECT_EQ(seen.text, "escape");
}

TEST_F(MessageBoxes, FatalRetryReturnsToTheCaller) {
    HWND owner = MakeOwner("owner");
    SetOwnerWindow(owner);
    WindowSeen seen;
    DriveDialog([] { ShowFatalMessage("Ffopen : ファイル[%s]の読み込みで失敗しました", "a.env"); },
                IDRETRY, &seen);
    EXPECT_EQ(seen.text, "Ffopen : ファイル[a.env]の読み込みで失敗しました");
    EXPECT_TRUE(seen.HasButton(IDRETRY));
    EXPECT_TRUE(seen.HasButton(IDCANCEL));
    EXPECT_TRUE(ClipboardHolds("Ffopen : ファイル[a.env]の読み込みで失敗しました"));
    DestroyWindow(owner);
}

std::string ProbePath() { return WindowsPath(VORLIN_UI_PROBE); }

// The fatal box in a child process: Cancel, the close box and Escape all end it with status -1
// after its exit handlers ran.
TEST_F(MessageBoxes, FatalCancelEndsTheProcessWithMinusOne) {
    const int answers[] = {IDCANCEL, kCloseBox, kEscapeKey};
    for (int answer : answers) {
        ScratchDir dir;
        std::string log = dir.File("log.txt");
        Child child = StartChild("\"" + ProbePath() + "\" fatal \"" + log + "\"", dir.path);
        WindowSeen seen;
        ASSERT_TRUE(WaitForDialog(child.id, nullptr, &seen));
        EXPECT_EQ(seen.text, "fatal probe");
        Answer(seen.window, answer);
        EXPECT_EQ(WaitChild(&child), 0xFFFFFFFFu);
        EXPECT_EQ(ReadBytes(log), "exit handler\n");
    }
}

TEST_F(MessageBoxes, LongTextIsCutAt1023BytesOnACharacterBoundary) {
    struct Cut {
        std::string prefix;
        size_t expectedLength;
    };
    const Cut cuts[] = {{"a", 1023}, {"ab", 1022}};
    for (const Cut& cut : cuts) {
        std::string text = cut.prefix;
        for (int i = 0; i < 600; i++) text += "あ";
        WindowSeen seen;
        DriveDialog([&] { ShowErrorMessage("%s", text.c_str()); }, IDOK, &seen);
        EXPECT_TRUE(ClipboardHolds(text.substr(0, cut.expectedLength)));
    }
}

TEST(Clipboard, CopyPlacesExactBytes) {
    const std::string text = "表示\nポ|%s\t終了";
    SetClipboardText(kSentinel);
    EXPECT_EQ(CopyTextToClipboard(text.c_str()), 0);
    EXPECT_TRUE(ClipboardHolds(text));
    EXPECT_EQ(CopyTextToClipboard(""), 0);
    EXPECT_TRUE(ClipboardHolds(""));
}

TEST(MessagePump, EmptyQueueReturnsZeroAtOnce) { EXPECT_EQ(PumpMessages(), 0); }

TEST(MessagePump, ThreePostedMessagesGiveThree) {
    PumpMessages();
    for (int i = 0; i < 3; i++) PostThreadMessageA(GetCurrentThreadId(), WM_APP + i, 0, 0);
    EXPECT_EQ(PumpMessages(), 3);
    EXPECT_EQ(PumpMessages(), 0);
}

TEST(MessagePump, QuitEndsTheProcessWithItsStatusAfterEarlierMessages) {
    ScratchDir dir;
    std::string log = dir.File("log.txt");
    Child child = StartChild("\"" + ProbePath() + "\" pump-quit \"" + log + "\"", dir.path);
    EXPECT_EQ(WaitChild(&child), 7u);
    EXPECT_EQ(ReadBytes(log), "dispatched 1\ndispatched 2\nexit handler\n");
}

struct CenterCase {
    const char* name;
    int width, height;
    int x, y;
};

TEST(Windows, CenterWindowOnScreen) {
    int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    int screenHeight = GetSystemMetrics(SM_CYSCREEN);
    ASSERT_EQ(screenWidth, 1024) << "tests run on a 1024x768 screen";
    ASSERT_EQ(screenHeight, 768);
    const CenterCase cases[] = {
        {"400x300", 400, 300, 312, 234},
        {"five pixels wider than the screen", 1029, 300, -2, 234},
        {"odd sizes truncate", 401, 301, 311, 233},
    };
    for (const CenterCase& c : cases) {
        HWND window = CreateWindowExA(WS_EX_TOOLWINDOW, "STATIC", "", WS_POPUP, 5, 7, c.width,
                                      c.height, NULL, NULL, GetModuleHandleA(NULL), NULL);
        ASSERT_NE(window, nullptr);
        CenterWindowOnScreen(window);
        RECT rect;
        GetWindowRect(window, &rect);
        EXPECT_EQ(rect.left, c.x) << c.name;
        EXPECT_EQ(rect.top, c.y) << c.name;
        EXPECT_EQ(rect.right - rect.left, c.width) << c.name;
        EXPECT_EQ(rect.bottom - rect.top, c.height) << c.name;
        DestroyWindow(window);
    }
}

TEST_F(Alloc, ExhaustedHeapShowsTheMallocBoxOnceAndReturnsNull) {
    HWND owner = MakeOwner("owner");
    SetOwnerWindow(owner);
    SetClipboardText(kSentinel);
    void* block = (void*)1;
    int boxes = 0;
    WindowSeen seen;
    // A request beyond any address space, of 32 or 64 bits.
    DriveDialogWith([&] { block = AllocOrWarn(SIZE_MAX - 15); },
                    [&](const WindowSeen& s) {
                        boxes++;
                        PressButton(s.window, IDOK);
                    },
                    &seen);
    EXPECT_EQ(block, nullptr);
    EXPECT_EQ(boxes, 1);
    EXPECT_EQ(seen.caption, "malloc");
    EXPECT_EQ(seen.text, "メモリ容量が不足しています。処理を中断します。");
    EXPECT_EQ(seen.owner, nullptr);
    EXPECT_TRUE(ClipboardHolds(kSentinel));
    void* small = AllocOrWarn(16);
    EXPECT_NE(small, nullptr);
    free(small);
    DestroyWindow(owner);
}

TEST(MultibyteText, CutsNeverSplitACharacter) {
    struct Case {
        const char* name;
        const char* text;
        size_t maxBytes;
        const char* expected;
    };
    const Case cases[] = {
        {"fits", "abc", 5, "abc"},
        {"ascii cut", "abcdef", 3, "abc"},
        {"cut before a lead byte", "aあい", 3, "aあ"},
        {"cut inside a character moves back", "aあい", 4, "aあ"},
        {"trail byte 0x5C is part of its character", "表表", 3, "表"},
        {"half-width katakana are single bytes", "ｱｲｳ", 2, "ｱｲ"},
        {"zero", "あ", 0, ""},
    };
    for (const Case& c : cases) {
        char buffer[64];
        strcpy(buffer, c.text);
        CutMultibyteText(buffer, c.maxBytes);
        EXPECT_STREQ(buffer, c.expected) << c.name;
        char copy[64];
        CopyMultibyteText(copy, c.maxBytes + 1, c.text);
        EXPECT_STREQ(copy, c.expected) << c.name;
    }
}

}  // namespace
