// Copying single files under the real copy dialogs: contents, times, attributes, the bars, Cancel,
// and the destination that must survive every failure untouched.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <thread>

#include "tests/update/update_fixture.h"
#include "update/file_copy.h"

namespace {

class FileCopy : public UpdateTest {};

std::pair<int, int> BarRange(int bar) {
    PBRANGE range = {};
    SendDlgItemMessageA(GetCopyDialog(), bar, PBM_GETRANGE, FALSE, (LPARAM)&range);
    return {range.iLow, range.iHigh};
}

int BarPosition(int bar) { return (int)SendDlgItemMessageA(GetCopyDialog(), bar, PBM_GETPOS, 0, 0); }

std::string DialogText(int id) { return DialogItemText(GetCopyDialog(), id); }

// A large source that is quick to make: its length set, its bytes left as the file system gives
// them (zeros).
void MakeLargeSource(const std::string& path, int64_t size) { MakeSparseFile(path, size); }

uint64_t SizeOf(const std::string& path) { return FileSizeOf(path); }

TEST_F(FileCopy, FolderEntriesAreSkippedWithoutADialog) {
    for (const char* name : {"help\\.", "help\\..", "\\.", "x\\.."}) {
        std::string destination = install.File("out");
        EXPECT_EQ(CopyFileWithProgress(name, destination.c_str(), 0), 1) << name;
        EXPECT_EQ(GetCopyDialog(), nullptr);
        EXPECT_EQ(GetFileAttributesA(destination.c_str()), INVALID_FILE_ATTRIBUTES);
    }
}

TEST_F(FileCopy, SizesTimesAndAttributes) {
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
        ASSERT_EQ(OpenCopyDialog(), 1);
        EXPECT_EQ(CopyFileWithProgress("source.bin", destination.c_str(), 0), 1);
        EXPECT_NE(GetCopyDialog(), nullptr) << "a dialog the caller opened stays open";
        EXPECT_EQ(BarRange(1010), std::make_pair(0, c.fileBarHigh));
        EXPECT_EQ(BarPosition(1010), c.fileBarHigh);
        EXPECT_EQ(DialogText(1012), "source.bin");
        EXPECT_EQ(CloseCopyDialog(), 0);
        EXPECT_EQ(CloseCopyDialog(), 1);
        EXPECT_TRUE(ReadBytes(destination) == bytes);
        EXPECT_EQ(GetFileAttributesA(destination.c_str()), (DWORD)FILE_ATTRIBUTE_ARCHIVE);
        FileTimes times = TimesOf(destination);
        // (Wine keeps no creation time of its own on Linux file systems, so only the last
        // write time can be compared here.)
        EXPECT_TRUE(SameTime(times.modified, OldTime(10)));
        EXPECT_EQ(ListFolder(install.path), std::vector<std::string>{"target.bin"})
            << "no temporary file is left";
    }
}

TEST_F(FileCopy, ReadOnlyDestinationIsReplaced) {
    MakeSource(media.File("new.dat"), "new contents");
    std::string destination = install.File("old.dat");
    WriteBytes(destination, "old");
    SetFileAttributesA(destination.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    EXPECT_EQ(CopyFileWithProgress("new.dat", destination.c_str(), 0), 1);
    EXPECT_EQ(ReadBytes(destination), "new contents");
    EXPECT_EQ(GetFileAttributesA(destination.c_str()), (DWORD)FILE_ATTRIBUTE_ARCHIVE);
}

TEST_F(FileCopy, FailuresLeaveTheOldDestinationUntouched) {
    std::string destination = install.File("game.exe");
    const std::string old = "the installed game";
    WriteBytes(destination, old);
    SetFileAttributesA(destination.c_str(), FILE_ATTRIBUTE_READONLY);
    const DWORD oldAttributes = GetFileAttributesA(destination.c_str());
    MakeSource(media.File("game.bin"), Pattern(200000));
    struct Case {
        const char* name;
        const char* source;
        int failIfExists;
        bool holdDestination;
    };
    const Case cases[] = {
        {"missing source", "absent.bin", 0, false},
        {"destination exists and may not be replaced", "game.bin", 1, false},
        {"destination held open by the running game", "game.bin", 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HANDLE held = INVALID_HANDLE_VALUE;
        if (c.holdDestination) {
            held = CreateFileA(destination.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL,
                               OPEN_EXISTING, 0, NULL);
            ASSERT_NE(held, INVALID_HANDLE_VALUE);
        }
        EXPECT_EQ(CopyFileWithProgress(c.source, destination.c_str(), c.failIfExists), 0);
        if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
        EXPECT_EQ(ReadBytes(destination), old);
        EXPECT_EQ(GetFileAttributesA(destination.c_str()), oldAttributes);
        EXPECT_EQ(ListFolder(install.path), std::vector<std::string>{"game.exe"});
        EXPECT_EQ(GetCopyDialog(), nullptr);
    }
}

TEST_F(FileCopy, DestinationPathBeyondTheLimitFails) {
    MakeSource(media.File("a.dat"), "a");
    std::string destination = install.path + "\\" + std::string(300, 'd');
    EXPECT_EQ(CopyFileWithProgress("a.dat", destination.c_str(), 0), 0);
}

// Cancel pressed while a large file copies: the copy ends at the next chunk with 0, the old
// destination stays as it was, and the next copy clears the flag again.
TEST_F(FileCopy, CancelKeepsTheOldDestinationAndTheNextCopyGoesOn) {
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
    int result = CopyFileWithProgress("big.arc", destination.c_str(), 0);
    canceller.join();
    ASSERT_TRUE(pressed);
    EXPECT_EQ(result, 0);
    ASSERT_EQ(SizeOf(destination), 16u);
    EXPECT_EQ(ReadBytes(destination), "previous version");
    EXPECT_EQ(ListFolder(install.path), std::vector<std::string>{"big.arc"});
    EXPECT_EQ(GetCopyDialog(), nullptr);

    MakeSource(media.File("small.dat"), "small");
    EXPECT_EQ(CopyFileWithProgress("small.dat", install.File("small.dat").c_str(), 0), 1);
}

TEST_F(FileCopy, CopyWithoutADialogShowsOneForItsDuration) {
    MakeLargeSource(media.File("mid.dat"), 256ll << 20);
    std::atomic<bool> seen(false);
    std::thread watcher([&] {
        WindowSeen dialog;
        if (WaitForDialog(GetCurrentProcessId(), "ファイルのコピー中...", &dialog, 10000)) {
            seen = true;
        }
    });
    EXPECT_EQ(CopyFileWithProgress("mid.dat", install.File("mid.dat").c_str(), 0), 1);
    watcher.join();
    EXPECT_TRUE(seen);
    EXPECT_EQ(GetCopyDialog(), nullptr);
}

TEST_F(FileCopy, MeasuringRaisesTheTotalBar) {
    MakeSource(media.File("a.bin"), Pattern(300000));
    MakeSource(media.File("b.bin"), Pattern(100000));
    ASSERT_EQ(OpenCopyDialogWithTotal(0), 1);
    EXPECT_EQ(BarRange(1019), std::make_pair(0, 1));
    EXPECT_EQ(DialogText(1012), "");
    AddFileToCopyTotal("a.bin");
    AddFileToCopyTotal("b.bin");
    EXPECT_EQ(GetExpectedCopyTotal(), 400000);
    EXPECT_EQ(BarRange(1019), std::make_pair(0, 3));
    AddFileToCopyTotal("missing.bin");
    EXPECT_EQ(GetExpectedCopyTotal(), 400000);
    EXPECT_EQ(DialogText(1012), "ファイルの検査中...");
    // The copied total grows over the files of one multi-file copy.
    EXPECT_EQ(CopyFileWithProgress("a.bin", install.File("a.bin").c_str(), 0), 1);
    EXPECT_EQ(CopyFileWithProgress("b.bin", install.File("b.bin").c_str(), 0), 1);
    EXPECT_EQ(GetCopiedTotal(), 400000);
    EXPECT_EQ(BarPosition(1019), 3);
    CloseCopyDialog();
    // Without a dialog the measuring step does nothing.
    AddFileToCopyTotal("a.bin");
    EXPECT_EQ(GetExpectedCopyTotal(), 400000);
}

TEST_F(FileCopy, LargeTotalsStayPositiveAndUseTheWideRange) {
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
        ASSERT_EQ(OpenCopyDialogWithTotal(c.total), 1);
        EXPECT_EQ(GetExpectedCopyTotal(), c.total) << c.name;
        EXPECT_EQ(BarRange(1019), std::make_pair(0, c.high)) << c.name;
        CloseCopyDialog();
    }
}

// The dialog's animation: the launcher's own clip opens and plays in a real animation control.
TEST_F(FileCopy, AnimationClipPlaysInARealControl) {
    ASSERT_EQ(OpenCopyDialogWithTotal(0), 1);
    HWND animation = GetDlgItem(GetCopyDialog(), 1020);
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
    CloseCopyDialog();
}

// A disk that fills up mid-copy: the test drive T: is a small RAM disk (set up by ./test).
TEST_F(FileCopy, FullDiskLeavesTheOldFileIntact) {
    ULARGE_INTEGER freeBytes;
    if (!GetDiskFreeSpaceExA("T:\\", &freeBytes, NULL, NULL)) {
        GTEST_SKIP() << "no small test drive T: (mounted by ./test)";
    }
    std::string folder = "T:\\full-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(folder.c_str(), NULL);
    std::string destination = folder + "\\data.arc";
    WriteBytes(destination, "old archive");
    ASSERT_TRUE(GetDiskFreeSpaceExA("T:\\", &freeBytes, NULL, NULL));
    MakeSource(media.File("data.arc"), Pattern((size_t)freeBytes.QuadPart + (1u << 20)));
    EXPECT_EQ(CopyFileWithProgress("data.arc", destination.c_str(), 0), 0);
    EXPECT_EQ(ReadBytes(destination), "old archive");
    EXPECT_EQ(ListFolder(folder), std::vector<std::string>{"data.arc"});
    RemoveTree(folder);
}

// A file of 4 GiB and more is copied completely (a sparse source keeps the test quick to set up).
TEST_F(FileCopy, FilesOfFourGibibytesAndMoreAreCopiedWhole) {
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
    ASSERT_EQ(OpenCopyDialogWithTotal(0), 1);
    AddFileToCopyTotal("huge.arc");
    EXPECT_EQ(GetExpectedCopyTotal(), size.QuadPart);
    EXPECT_EQ(CopyFileWithProgress("huge.arc", destination.c_str(), 0), 1);
    EXPECT_EQ(GetCopiedTotal(), size.QuadPart);
    EXPECT_EQ(BarRange(1010), std::make_pair(0, 32768));
    CloseCopyDialog();
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
