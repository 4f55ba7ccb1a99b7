// Drafting files through the update core under the real copy dialogs: contents, times,
// attributes, the bars, Cancel, and the destination that must survive every failure untouched.
// Each copy is a one-file plan, drafted and put in place at once as in the one-at-a-time order.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <cstdlib>
#include <thread>

#include "tests/update/update_fixture.h"
#include "update/core/draft_pump.h"
#include "update/core/update_commit.h"
#include "update/core/update_plan.h"

namespace {

class CopyDialogTest : public UpdateTest {
protected:
    WindowsRun w;
    void SetUp() override {
        UpdateTest::SetUp();
        BeginWindowsRun(&w, install.path);
    }
    void TearDown() override {
        EndWindowsRun(&w);
        UpdateTest::TearDown();
    }
    // Copies `source` (on the media) to `target` (in the run's install folder) under the open
    // dialog, or under a one-bar dialog of its own for the copy's duration.
    bool CopyOne(const std::string& source, const std::string& target) {
        bool ownDialog = w.dialog.window == NULL;
        if (ownDialog) OpenCopyDialog(&w.dialog, kStageExecutable, 0);
        UpdatePlan* plan = &w.run.plan;
        ReleaseUpdatePlan(plan);
        plan->files = (PlannedFile*)calloc(1, sizeof(PlannedFile));
        plan->count = plan->capacity = 1;
        PlannedFile* file = &plan->files[0];
        snprintf(file->source, sizeof file->source, "%s", source.c_str());
        snprintf(file->target, sizeof file->target, "%s", target.c_str());
        file->stage = kStageList;
        ComposePlannedPaths(&w.run, file, 0);
        w.run.failure = kFailNone;
        uint8_t* buffer = (uint8_t*)malloc(kDraftChunk);
        bool copied = DraftPlannedFile(&w.run, 0, buffer) && PutDraftInPlaceNow(&w.run, 0);
        free(buffer);
        if (ownDialog) CloseCopyDialog(&w.dialog);
        return copied;
    }
    std::pair<int, int> BarRange(int bar) {
        PBRANGE range = {};
        SendDlgItemMessageA(w.dialog.window, bar, PBM_GETRANGE, FALSE, (LPARAM)&range);
        return {range.iLow, range.iHigh};
    }
    int BarPosition(int bar) {
        return (int)SendDlgItemMessageA(w.dialog.window, bar, PBM_GETPOS, 0, 0);
    }
    std::string DialogText(int id) { return DialogItemText(w.dialog.window, id); }
};

// A large source that is quick to make: its length set, its bytes left as the file system gives
// them (zeros).
void MakeLargeSource(const std::string& path, int64_t size) {
    MakeSparseFile(path, size);
}

uint64_t SizeOf(const std::string& path) {
    return FileSizeOf(path);
}

TEST_F(CopyDialogTest, SizesTimesAndAttributes) {
    struct Case {
        const char* name;
        size_t size;
        DWORD sourceAttributes;
        int fileBarHigh;  // the file bar's range after the copy: (0, size >> 17)
    };
    const Case cases[] = {
        {"empty", 0, FILE_ATTRIBUTE_NORMAL, 0},
        {"one byte", 1, FILE_ATTRIBUTE_READONLY, 0},
        {"exactly one chunk", 131072, FILE_ATTRIBUTE_HIDDEN, 1},
        {"one chunk and a byte", 131073, FILE_ATTRIBUTE_NORMAL, 1},
        {"several chunks", 3 * 131072 + 17, FILE_ATTRIBUTE_ARCHIVE, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string source = media.File("source.bin");
        std::string destination = install.File("target.bin");
        SetFileAttributesA(source.c_str(), FILE_ATTRIBUTE_NORMAL);
        std::string bytes = Pattern(c.size, (unsigned)c.size);
        MakeSource(source, bytes, c.sourceAttributes);
        ASSERT_TRUE(OpenCopyDialog(&w.dialog, kStageList, c.size));
        EXPECT_TRUE(CopyOne("source.bin", "target.bin"));
        EXPECT_EQ(BarRange(1010), std::make_pair(0, c.fileBarHigh));
        EXPECT_EQ(BarPosition(1010), c.fileBarHigh);
        EXPECT_EQ(DialogText(1012), "source.bin");
        CloseCopyDialog(&w.dialog);
        EXPECT_EQ(w.dialog.window, nullptr);
        EXPECT_TRUE(ReadBytes(destination) == bytes);
        EXPECT_EQ(GetFileAttributesA(destination.c_str()), (DWORD)FILE_ATTRIBUTE_ARCHIVE);
        FileTimes times = TimesOf(destination);
        // (Wine keeps no creation time of its own on Linux file systems, so only the last
        // write time can be compared here.)
        EXPECT_TRUE(SameTime(times.modified, OldTime(10)));
        EXPECT_EQ(ListFolder(install.path), std::vector<std::string>{"target.bin"})
            << "no draft is left";
    }
}

TEST_F(CopyDialogTest, ReadOnlyDestinationIsReplaced) {
    MakeSource(media.File("new.dat"), "new contents");
    std::string destination = install.File("old.dat");
    WriteBytes(destination, "old");
    SetFileAttributesA(destination.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    EXPECT_TRUE(CopyOne("new.dat", "old.dat"));
    EXPECT_EQ(ReadBytes(destination), "new contents");
    EXPECT_EQ(GetFileAttributesA(destination.c_str()), (DWORD)FILE_ATTRIBUTE_ARCHIVE);
}

TEST_F(CopyDialogTest, FailuresLeaveTheOldDestinationUntouched) {
    std::string destination = install.File("game.exe");
    const std::string old = "the installed game";
    WriteBytes(destination, old);
    SetFileAttributesA(destination.c_str(), FILE_ATTRIBUTE_READONLY);
    const DWORD oldAttributes = GetFileAttributesA(destination.c_str());
    MakeSource(media.File("game.bin"), Pattern(200000));
    struct Case {
        const char* name;
        const char* source;
        bool holdDestination;
        UpdateFailure failure;
    };
    const Case cases[] = {
        {"missing source", "absent.bin", false, kFailMediaUnreadable},
        // (a sharing violation or access denied, as the platform says)
        {"destination held open by the running game", "game.bin", true, kFailNone},
    };
    w.run.holdLimitMs = 300;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HANDLE held = INVALID_HANDLE_VALUE;
        if (c.holdDestination) {
            held = CreateFileA(destination.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL,
                               OPEN_EXISTING, 0, NULL);
            ASSERT_NE(held, INVALID_HANDLE_VALUE);
        }
        EXPECT_FALSE(CopyOne(c.source, "game.exe"));
        if (c.failure != kFailNone) {
            EXPECT_EQ(w.run.failure, c.failure);
        }
        if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
        EXPECT_EQ(ReadBytes(destination), old);
        EXPECT_EQ(GetFileAttributesA(destination.c_str()), oldAttributes);
        EXPECT_EQ(ListFolder(install.path), std::vector<std::string>{"game.exe"});
        EXPECT_EQ(w.dialog.window, nullptr);
    }
}

TEST_F(CopyDialogTest, DestinationPathBeyondTheLimitFails) {
    MakeSource(media.File("a.dat"), "a");
    EXPECT_FALSE(CopyOne("a.dat", std::string(300, 'd')));
    EXPECT_EQ(w.run.failure, kFailOther);
}

// Cancel pressed while a large file copies: the copy ends at the next chunk, the old destination
// stays as it was and no draft is left.
TEST_F(CopyDialogTest, CancelKeepsTheOldDestination) {
    MakeLargeSource(media.File("big.arc"), 1ll << 30);
    std::string destination = install.File("big.arc");
    WriteBytes(destination, "previous version");
    std::atomic<bool> pressed(false);
    std::thread canceller([&] {
        WindowSeen dialog;
        if (WaitForDialog(GetCurrentProcessId(), "ファイルのコピー中...", &dialog)) {
            PressButton(dialog.window, 2);
            pressed = true;
        }
    });
    bool copied = CopyOne("big.arc", "big.arc");
    canceller.join();
    ASSERT_TRUE(pressed);
    EXPECT_FALSE(copied);
    EXPECT_TRUE(w.run.cancelled);
    EXPECT_EQ(w.run.failure, kFailCancelled);
    ASSERT_EQ(SizeOf(destination), 16u);
    EXPECT_EQ(ReadBytes(destination), "previous version");
    EXPECT_EQ(ListFolder(install.path), std::vector<std::string>{"big.arc"});
    EXPECT_EQ(w.dialog.window, nullptr);
}

// The two-bar dialog's total bar spans the stage's bytes; the copied total grows over its files.
TEST_F(CopyDialogTest, TotalBarSpansTheStage) {
    MakeSource(media.File("a.bin"), Pattern(300000));
    MakeSource(media.File("b.bin"), Pattern(100000));
    ASSERT_TRUE(OpenCopyDialog(&w.dialog, kStageList, 400000));
    EXPECT_EQ(BarRange(1019), std::make_pair(0, 3));
    EXPECT_EQ(DialogText(1012), "");
    EXPECT_TRUE(CopyOne("a.bin", "a.bin"));
    EXPECT_TRUE(CopyOne("b.bin", "b.bin"));
    EXPECT_EQ(w.run.stageCopied, 400000u);
    EXPECT_EQ(BarPosition(1019), 3);
}

TEST_F(CopyDialogTest, LargeTotalsStayPositiveAndUseTheWideRange) {
    struct Case {
        const char* name;
        int64_t total;
        int high;
    };
    const Case cases[] = {
        {"3 GiB fits 16 bits", 3ll << 30, 24576},
        {"10 GiB needs the 32-bit range", 10ll << 30, 81920},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(OpenCopyDialog(&w.dialog, kStageList, c.total));
        EXPECT_EQ(w.dialog.total, (uint64_t)c.total) << c.name;
        EXPECT_EQ(BarRange(1019), std::make_pair(0, c.high)) << c.name;
        CloseCopyDialog(&w.dialog);
    }
}

// The dialog's animation: the launcher's own clip opens and plays in a real animation control.
TEST_F(CopyDialogTest, AnimationClipPlaysInARealControl) {
    ASSERT_TRUE(OpenCopyDialog(&w.dialog, kStageList, 0));
    HWND animation = GetDlgItem(w.dialog.window, 1020);
    ASSERT_NE(animation, nullptr);
    EXPECT_TRUE(IsWindowVisible(animation));
    char className[64] = "";
    GetClassNameA(animation, className, sizeof className);
    EXPECT_STREQ(className, "SysAnimate32");
    // Opening the clip again in the same control succeeds only if the resource is a clip the
    // control can play.
    EXPECT_NE(SendMessageA(animation, ACM_OPENA, 0, (LPARAM) "AVI_FILECOPY"), 0);
    EXPECT_NE(SendMessageA(animation, ACM_PLAY, (WPARAM)-1, MAKELPARAM(0, 0xFFFF)), 0);
    EXPECT_EQ(SendMessageA(animation, ACM_OPENA, 0, (LPARAM) "NO_SUCH_CLIP"), 0);
}

// A disk that fills up mid-copy: the test drive T: is a small RAM disk (set up by ./test).
TEST_F(CopyDialogTest, FullDiskLeavesTheOldFileIntact) {
    ULARGE_INTEGER freeBytes;
    if (!GetDiskFreeSpaceExA("T:\\", &freeBytes, NULL, NULL)) {
        GTEST_SKIP() << "no small test drive T: (mounted by ./test)";
    }
    std::string folder = "T:\\full-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(folder.c_str(), NULL);
    EndWindowsRun(&w);
    BeginWindowsRun(&w, folder);
    std::string destination = folder + "\\data.arc";
    WriteBytes(destination, "old archive");
    ASSERT_TRUE(GetDiskFreeSpaceExA("T:\\", &freeBytes, NULL, NULL));
    MakeSource(media.File("data.arc"), Pattern((size_t)freeBytes.QuadPart + (1u << 20)));
    EXPECT_FALSE(CopyOne("data.arc", "data.arc"));
    EXPECT_EQ(w.run.failure, kFailDiskFull);
    EXPECT_EQ(ReadBytes(destination), "old archive");
    EXPECT_EQ(ListFolder(folder), std::vector<std::string>{"data.arc"});
    RemoveTree(folder);
}

// A file of 4 GiB and more is copied completely (a sparse source keeps the test quick to set up).
TEST_F(CopyDialogTest, FilesOfFourGibibytesAndMoreAreCopiedWhole) {
    std::string source = media.File("huge.arc");
    LARGE_INTEGER size;
    size.QuadPart = (4ll << 30) + 5;
    LARGE_INTEGER tail;
    tail.QuadPart = size.QuadPart - 5;
    MakeLargeSource(source, tail.QuadPart);
    HANDLE h = CreateFileA(source.c_str(), GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    SetFilePointerEx(h, tail, NULL, FILE_BEGIN);
    DWORD written;
    WriteFile(h, "tail!", 5, &written, NULL);
    CloseHandle(h);
    std::string destination = install.File("huge.arc");
    ASSERT_TRUE(OpenCopyDialog(&w.dialog, kStageList, (uint64_t)size.QuadPart));
    EXPECT_TRUE(CopyOne("huge.arc", "huge.arc"));
    EXPECT_EQ(w.run.stageCopied, (uint64_t)size.QuadPart);
    EXPECT_EQ(BarRange(1010), std::make_pair(0, 32768));
    CloseCopyDialog(&w.dialog);
    EXPECT_EQ(SizeOf(destination), (uint64_t)size.QuadPart);
    HANDLE copy = CreateFileA(destination.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    SetFilePointerEx(copy, tail, NULL, FILE_BEGIN);
    char end[6] = "";
    DWORD got = 0;
    ReadFile(copy, end, 5, &got, NULL);
    CloseHandle(copy);
    EXPECT_STREQ(end, "tail!");
    DeleteFileA(destination.c_str());
    DeleteFileA(source.c_str());
}

}  // namespace
