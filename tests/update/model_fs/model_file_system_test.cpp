// The model file system holds to the Windows semantics the update's tests rely on: names, sharing,
// read-only files, delete pending, renames, folders, searches, free space, holds by other programs
// on a virtual clock, planned failures and crashes, and what survives a power cut.
//
// Code page 932 names are written as byte escapes, each double-byte character as two escapes, so
// the test means the same bytes in the native build (UTF-8 sources) and the Windows one (CP932).
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/update/model_fs/model_file_system.h"

namespace {

std::string AsciiLower(std::string text) {
    for (char& c : text) c = (c >= 'A' && c <= 'Z') ? (char)(c - 'A' + 'a') : c;
    return text;
}

// Files on C: and the media on M:, current folder M:\.
struct ModelFs : ::testing::Test {
    void SetUp() override {
        ModelInit(&m);
        ModelSetCurrentFolder(&m, "M:\\");
        ASSERT_TRUE(ModelAddFolder(&m, "M:\\"));
        ASSERT_TRUE(ModelAddFile(&m, "C:\\Games\\a.txt", "aaa"));
        ASSERT_TRUE(ModelAddFile(&m, "C:\\Games\\b.txt", "bbb"));
    }

    FsError Open(const char* path, uint32_t access, uint32_t share, FsCreate create, FsFile* file) {
        return m.fs.open(m.fs.context, path, access, share, create, file);
    }
    FsFile OpenOk(const char* path, uint32_t access, uint32_t share, FsCreate create) {
        FsFile file = nullptr;
        EXPECT_EQ(Open(path, access, share, create, &file), kFsOk) << path;
        return file;
    }
    FsError TryOpen(const char* path, uint32_t access, uint32_t share = kFsShareAll,
                    FsCreate create = kFsOpenExisting) {
        FsFile file = nullptr;
        FsError error = Open(path, access, share, create, &file);
        if (error == kFsOk) m.fs.close(m.fs.context, file);
        return error;
    }
    FsError Write(FsFile file, const std::string& bytes) {
        return m.fs.write(m.fs.context, file, bytes.data(), (uint32_t)bytes.size());
    }
    FsError Close(FsFile file) { return m.fs.close(m.fs.context, file); }
    FsError Rename(const char* from, const char* to, uint32_t flags) {
        return m.fs.rename(m.fs.context, from, to, flags);
    }
    FsError Remove(const char* path) { return m.fs.remove(m.fs.context, path); }
    FsError Attributes(const char* path, uint32_t* attributes) {
        return m.fs.getAttributes(m.fs.context, path, attributes);
    }
    std::string Bytes(const char* path) {
        std::string bytes;
        return ModelReadFile(&m, path, &bytes) ? bytes : "(none)";
    }
    // The names a search finds, in order; or the error that stopped it.
    std::vector<std::string> Find(const char* pattern, FsError* error) {
        std::vector<std::string> names;
        FsSearch search = nullptr;
        FsFound found;
        *error = m.fs.findFirst(m.fs.context, pattern, &search, &found);
        if (*error != kFsOk) return names;
        do {
            names.push_back(found.name);
        } while (m.fs.findNext(m.fs.context, search, &found) == kFsOk);
        m.fs.findClose(m.fs.context, search);
        return names;
    }

    ModelFileSystem m;
};

TEST_F(ModelFs, NamesMatchAsCodePage932TextWithoutCase) {
    struct Case {
        const char* name;
        const char* created;
        const char* asked;
        FsError expected;
    };
    const Case cases[] = {
        {"capitals differ", "C:\\Games\\Data.ARC", "c:\\GAMES\\data.arc", kFsOk},
        {"slashes separate too", "C:\\Games\\data.arc", "C:/games/DATA.arc", kFsOk},
        {"dot and dot-dot resolve as names", "C:\\Games\\data.arc", "C:\\x\\..\\.\\Games\\data.arc",
         kFsOk},
        {"relative to the current folder", "M:\\help\\index.htm", "help\\INDEX.HTM", kFsOk},
        {"from the current drive's root", "M:\\help\\index.htm", "\\HELP\\index.htm", kFsOk},
        {"trail byte 0x5C in a file name", "M:\\help\\\x95\x5C.htm", "HELP\\\x95\x5C.HTM", kFsOk},
        {"trail byte 0x5C ends a folder name", "M:\\\x95\x5C\\a.txt", "\x95\x5C\\A.TXT", kFsOk},
        {"the lead byte alone is no folder", "M:\\\x95\x5Cx.txt", "M:\\\x95", kFsNotFound},
        {"full-width capital and small", "M:\\\x82\x60.txt", "\x82\x81.TXT", kFsOk},
        // 0x8341 (katakana a) has trail byte 'A'; lower-casing the trail alone would make 0x8361.
        {"a trail byte 'A' is no capital", "M:\\\x83\x41.txt", "\x83\x61.txt", kFsNotFound},
        {"another name", "C:\\Games\\data.arc", "C:\\Games\\data.arx", kFsNotFound},
        {"a folder missing on the way", "C:\\Games\\data.arc", "C:\\Gone\\data.arc",
         kFsPathNotFound},
        {"a file on the way", "C:\\Games\\data.arc", "C:\\Games\\data.arc\\x", kFsPathNotFound},
        {"no such drive", "C:\\Games\\data.arc", "Q:\\Games\\data.arc", kFsPathNotFound},
        {"a wildcard is no name", "C:\\Games\\data.arc", "C:\\Games\\data.*", kFsOther},
    };
    for (const Case& c : cases) {
        ModelInit(&m);
        ModelSetCurrentFolder(&m, "M:\\");
        ASSERT_TRUE(ModelAddFile(&m, c.created, "x")) << c.name;
        EXPECT_EQ(TryOpen(c.asked, kFsRead), c.expected) << c.name;
    }
}

TEST_F(ModelFs, NamesKeepTheCaseTheyWereMadeWith) {
    FsFile file = OpenOk("C:\\Games\\NewFile.TXT", kFsWrite, 0, kFsCreateNew);
    Close(file);
    // Emptying it by another spelling keeps the name; a rename to another case changes it.
    Close(OpenOk("C:\\GAMES\\newfile.txt", kFsWrite, 0, kFsCreateAlways));
    EXPECT_EQ(ModelSnapshot(&m, "C:\\Games").count("NewFile.TXT"), 1u);
    EXPECT_EQ(Rename("C:\\Games\\newfile.txt", "C:\\Games\\NEWFILE.txt", 0), kFsOk);
    EXPECT_EQ(ModelSnapshot(&m, "C:\\Games").count("NEWFILE.txt"), 1u);
}

TEST_F(ModelFs, PathsTooLongAndInvalid) {
    std::string longName(256, 'n');
    std::string longPath = "C:\\Games\\" + std::string(250, 'p');
    struct Case {
        const char* name;
        std::string path;
        FsError expected;
    };
    const Case cases[] = {
        {"a name of 256 bytes", "C:\\" + longName, kFsNameTooLong},
        {"a full path of 259 bytes is allowed", longPath, kFsNotFound},
        {"a full path of 260 bytes", longPath + "x", kFsNameTooLong},
        // Relative to M:\media\, the full path passes MAX_PATH though the given text does not.
        {"too long once made full", std::string(255, 'r'), kFsNameTooLong},
        {"a colon in a name", "C:\\Games\\a:b", kFsOther},
        {"a UNC path", "\\\\server\\share\\a", kFsOther},
        {"an empty path", "", kFsPathNotFound},
    };
    ModelAddFolder(&m, "M:\\media");
    ModelSetCurrentFolder(&m, "M:\\media");
    for (const Case& c : cases) {
        EXPECT_EQ(TryOpen(c.path.c_str(), kFsRead), c.expected) << c.name;
    }
}

TEST_F(ModelFs, SharingAsWindowsChecksIt) {
    const uint32_t R = kFsRead, W = kFsWrite, D = kFsDelete, A = kFsWriteAttributes;
    const uint32_t sR = kFsShareRead, sW = kFsShareWrite, sD = kFsShareDelete;
    struct Case {
        const char* name;
        uint32_t access1, share1, access2, share2;
        FsError expected;
    };
    const Case cases[] = {
        {"two readers sharing read", R, sR, R, sR, kFsOk},
        {"a writer where the reader shares only read", R, sR, W, sR | sW, kFsHeld},
        {"a reader that does not share the writer's write", W, sR | sW, R, sR, kFsHeld},
        {"reader and writer both sharing write", W, sR | sW, R, sR | sW, kFsOk},
        {"exclusive reader bars another reader", R, 0, R, sR | sW | sD, kFsHeld},
        {"delete where the reader shares delete", R, sR | sD, D, sR | sW | sD, kFsOk},
        {"delete where the reader does not share it", R, sR | sW, D, sR | sW | sD, kFsHeld},
        {"a reader that does not share the deleter's delete", D, sR | sW | sD, R, sR | sW, kFsHeld},
        // Without read, write or delete access an open is neither checked nor recorded.
        {"times only, beside an exclusive reader", R, 0, A, 0, kFsOk},
        {"an exclusive times-only open bars nothing", A, 0, W, 0, kFsOk},
        {"no access at all, beside an exclusive writer", W, 0, 0, 0, kFsOk},
    };
    for (const Case& c : cases) {
        FsFile first = OpenOk("C:\\Games\\a.txt", c.access1, c.share1, kFsOpenExisting);
        EXPECT_EQ(TryOpen("C:\\Games\\a.txt", c.access2, c.share2), c.expected) << c.name;
        Close(first);
    }
    EXPECT_TRUE(ModelOpenHandles(&m).empty());
}

TEST_F(ModelFs, ReadOnlyAndHiddenFiles) {
    ModelAddFile(&m, "C:\\Games\\ro.txt", "ro", kFsReadOnly | kFsArchive);
    ModelAddFile(&m, "C:\\Games\\hidden.txt", "h", kFsHidden);
    ModelAddFile(&m, "C:\\Games\\system.txt", "s", kFsSystem);
    typedef std::function<FsError(ModelFs*)> Op;
    struct Case {
        const char* name;
        Op op;
        FsError expected;
    };
    const Case cases[] = {
        {"read it", [](ModelFs* t) { return t->TryOpen("C:\\Games\\ro.txt", kFsRead); }, kFsOk},
        {"write it", [](ModelFs* t) { return t->TryOpen("C:\\Games\\ro.txt", kFsWrite); },
         kFsAccessDenied},
        // Renaming a read-only file is allowed, so opening it for delete is too.
        {"open it for delete",
         [](ModelFs* t) { return t->TryOpen("C:\\Games\\ro.txt", kFsDelete); }, kFsOk},
        {"empty it",
         [](ModelFs* t) { return t->TryOpen("C:\\Games\\ro.txt", kFsWrite, 0, kFsCreateAlways); },
         kFsAccessDenied},
        {"make it anew",
         [](ModelFs* t) { return t->TryOpen("C:\\Games\\ro.txt", kFsWrite, 0, kFsCreateNew); },
         kFsExists},
        {"remove it", [](ModelFs* t) { return t->Remove("C:\\Games\\ro.txt"); }, kFsAccessDenied},
        {"replace it",
         [](ModelFs* t) { return t->Rename("C:\\Games\\a.txt", "C:\\Games\\ro.txt", kFsReplace); },
         kFsAccessDenied},
        {"empty a hidden file",
         [](ModelFs* t) {
             return t->TryOpen("C:\\Games\\hidden.txt", kFsWrite, 0, kFsCreateAlways);
         },
         kFsAccessDenied},
        {"empty a system file",
         [](ModelFs* t) {
             return t->TryOpen("C:\\Games\\system.txt", kFsWrite, 0, kFsCreateAlways);
         },
         kFsAccessDenied},
        {"write a hidden file",
         [](ModelFs* t) { return t->TryOpen("C:\\Games\\hidden.txt", kFsWrite); }, kFsOk},
        {"open a folder as a file", [](ModelFs* t) { return t->TryOpen("C:\\Games", kFsRead); },
         kFsAccessDenied},
    };
    for (const Case& c : cases) EXPECT_EQ(c.op(this), c.expected) << c.name;
    EXPECT_EQ(Bytes("C:\\Games\\ro.txt"), "ro");
    EXPECT_EQ(Bytes("C:\\Games\\hidden.txt"), "h");
    // Once its attribute is cleared it goes like any file.
    EXPECT_EQ(m.fs.setAttributes(m.fs.context, "C:\\Games\\ro.txt", kFsNormal), kFsOk);
    EXPECT_EQ(Remove("C:\\Games\\ro.txt"), kFsOk);
}

TEST_F(ModelFs, CreateDispositions) {
    EXPECT_EQ(TryOpen("C:\\Games\\a.txt", kFsWrite, 0, kFsCreateNew), kFsExists);
    EXPECT_EQ(TryOpen("C:\\Games\\new.txt", kFsRead), kFsNotFound);
    EXPECT_EQ(TryOpen("C:\\Gone\\new.txt", kFsWrite, 0, kFsCreateNew), kFsPathNotFound);
    EXPECT_EQ(TryOpen("C:\\Games\\a.txt", kFsWrite, 0, kFsCreateAlways), kFsOk);
    EXPECT_EQ(Bytes("C:\\Games\\a.txt"), "");
    EXPECT_EQ(TryOpen("C:\\Games\\new.txt", kFsWrite, 0, kFsCreateAlways), kFsOk);
    uint32_t attributes = 0;
    EXPECT_EQ(Attributes("C:\\Games\\new.txt", &attributes), kFsOk);
    EXPECT_EQ(attributes, kFsArchive);
    // An open that fails on sharing does not empty the file.
    FsFile reader = OpenOk("C:\\Games\\b.txt", kFsRead, kFsShareRead, kFsOpenExisting);
    EXPECT_EQ(TryOpen("C:\\Games\\b.txt", kFsWrite, kFsShareAll, kFsCreateAlways), kFsHeld);
    EXPECT_EQ(Bytes("C:\\Games\\b.txt"), "bbb");
    Close(reader);
}

TEST_F(ModelFs, ReadWriteAndTheRightsOfAHandle) {
    FsFile file = OpenOk("C:\\Games\\c.txt", kFsWrite, 0, kFsCreateNew);
    EXPECT_EQ(Write(file, "hello "), kFsOk);
    EXPECT_EQ(Write(file, "world"), kFsOk);
    char buffer[8];
    uint32_t got = 0;
    EXPECT_EQ(m.fs.read(m.fs.context, file, buffer, sizeof buffer, &got), kFsAccessDenied);
    EXPECT_EQ(m.fs.flush(m.fs.context, file), kFsOk);
    Close(file);
    EXPECT_EQ(Bytes("C:\\Games\\c.txt"), "hello world");

    file = OpenOk("C:\\Games\\c.txt", kFsRead, kFsShareRead, kFsOpenExisting);
    std::string read;
    do {
        ASSERT_EQ(m.fs.read(m.fs.context, file, buffer, sizeof buffer, &got), kFsOk);
        read.append(buffer, got);
    } while (got == sizeof buffer);
    EXPECT_EQ(read, "hello world");
    uint64_t size = 0;
    EXPECT_EQ(m.fs.size(m.fs.context, file, &size), kFsOk);
    EXPECT_EQ(size, 11u);
    EXPECT_EQ(Write(file, "x"), kFsAccessDenied);
    EXPECT_EQ(m.fs.flush(m.fs.context, file), kFsAccessDenied);
    FsTimes times = {1, 2, 3};
    EXPECT_EQ(m.fs.setTimes(m.fs.context, file, &times), kFsAccessDenied);
    Close(file);
    // A closed handle is no handle.
    EXPECT_EQ(m.fs.read(m.fs.context, file, buffer, sizeof buffer, &got), kFsOther);
    EXPECT_EQ(Close(file), kFsOther);
}

TEST_F(ModelFs, TimesFollowTheClockUntilSetExplicitly) {
    ModelAdvanceClock(&m, 1000);
    const uint64_t t1000 = kModelEpochFileTime + 1000 * 10000;
    FsFile file = OpenOk("C:\\Games\\t.txt", kFsWrite, 0, kFsCreateNew);
    FsTimes times;
    EXPECT_EQ(m.fs.getTimes(m.fs.context, file, &times), kFsOk);
    EXPECT_EQ(times.created, t1000);
    ModelAdvanceClock(&m, 1000);
    Write(file, "x");
    EXPECT_EQ(m.fs.getTimes(m.fs.context, file, &times), kFsOk);
    EXPECT_EQ(times.written, t1000 + 1000 * 10000);
    EXPECT_EQ(times.created, t1000);
    // Times set by hand stay through later writes of the same handle; a zero time is left.
    FsTimes set = {0, 5, 7};
    EXPECT_EQ(m.fs.setTimes(m.fs.context, file, &set), kFsOk);
    ModelAdvanceClock(&m, 1000);
    Write(file, "y");
    Close(file);
    ASSERT_TRUE(ModelGetTimes(&m, "C:\\Games\\t.txt", &times));
    EXPECT_EQ(times.created, t1000);
    EXPECT_EQ(times.accessed, 5u);
    EXPECT_EQ(times.written, 7u);
    // The right to set the times alone is enough.
    file = OpenOk("C:\\Games\\t.txt", kFsWriteAttributes, kFsShareAll, kFsOpenExisting);
    EXPECT_EQ(m.fs.setTimes(m.fs.context, file, &set), kFsOk);
    Close(file);
}

TEST_F(ModelFs, DeletePendingWhileSharedHandlesStayOpen) {
    ModelAddFile(&m, "C:\\P\\a.txt", "pending");
    FsFile holder = OpenOk("C:\\P\\a.txt", kFsRead, kFsShareAll, kFsOpenExisting);
    ASSERT_EQ(Remove("C:\\P\\a.txt"), kFsOk);
    EXPECT_TRUE(ModelIsDeletePending(&m, "C:\\P\\a.txt"));

    typedef std::function<FsError(ModelFs*)> Op;
    struct Case {
        const char* name;
        Op op;
        FsError expected;
    };
    const Case cases[] = {
        {"open it", [](ModelFs* t) { return t->TryOpen("C:\\P\\a.txt", kFsRead); },
         kFsAccessDenied},
        {"make it anew",
         [](ModelFs* t) { return t->TryOpen("C:\\P\\a.txt", kFsWrite, 0, kFsCreateNew); },
         kFsAccessDenied},
        {"empty it",
         [](ModelFs* t) { return t->TryOpen("C:\\P\\A.TXT", kFsWrite, 0, kFsCreateAlways); },
         kFsAccessDenied},
        {"its attributes",
         [](ModelFs* t) {
             uint32_t a;
             return t->Attributes("C:\\P\\a.txt", &a);
         },
         kFsAccessDenied},
        {"set its attributes",
         [](ModelFs* t) { return t->m.fs.setAttributes(t->m.fs.context, "C:\\P\\a.txt", 0); },
         kFsAccessDenied},
        {"remove it again", [](ModelFs* t) { return t->Remove("C:\\P\\a.txt"); }, kFsAccessDenied},
        {"rename it", [](ModelFs* t) { return t->Rename("C:\\P\\a.txt", "C:\\P\\z.txt", 0); },
         kFsAccessDenied},
        {"replace it",
         [](ModelFs* t) { return t->Rename("C:\\Games\\b.txt", "C:\\P\\a.txt", kFsReplace); },
         kFsAccessDenied},
        {"rename onto it without replace",
         [](ModelFs* t) { return t->Rename("C:\\Games\\b.txt", "C:\\P\\a.txt", 0); }, kFsExists},
        {"a folder of its name",
         [](ModelFs* t) { return t->m.fs.makeFolder(t->m.fs.context, "C:\\P\\a.txt"); }, kFsExists},
        {"its folder is not empty",
         [](ModelFs* t) { return t->m.fs.removeFolder(t->m.fs.context, "C:\\P"); }, kFsOther},
        {"a search finds it",
         [](ModelFs* t) {
             FsError error;
             std::vector<std::string> names = t->Find("C:\\P\\*", &error);
             return names.size() == 1 && names[0] == "a.txt" ? error : kFsOther;
         },
         kFsOk},
    };
    for (const Case& c : cases) EXPECT_EQ(c.op(this), c.expected) << c.name;

    // Its handle still reads it; the name goes with the last handle.
    char buffer[16];
    uint32_t got = 0;
    EXPECT_EQ(m.fs.read(m.fs.context, holder, buffer, sizeof buffer, &got), kFsOk);
    EXPECT_EQ(std::string(buffer, got), "pending");
    EXPECT_EQ(Close(holder), kFsOk);
    EXPECT_FALSE(ModelExists(&m, "C:\\P\\a.txt"));
    EXPECT_EQ(m.fs.removeFolder(m.fs.context, "C:\\P"), kFsOk);
    EXPECT_EQ(Bytes("C:\\Games\\b.txt"), "bbb");
}

TEST_F(ModelFs, RemoveOfAFileHeldWithoutDeleteSharing) {
    FsFile reader =
        OpenOk("C:\\Games\\a.txt", kFsRead, kFsShareRead | kFsShareWrite, kFsOpenExisting);
    EXPECT_EQ(Remove("C:\\Games\\a.txt"), kFsHeld);
    EXPECT_FALSE(ModelIsDeletePending(&m, "C:\\Games\\a.txt"));
    Close(reader);
    EXPECT_EQ(Bytes("C:\\Games\\a.txt"), "aaa");
    EXPECT_EQ(Remove("C:\\Games\\a.txt"), kFsOk);
    EXPECT_EQ(Remove("C:\\Games\\a.txt"), kFsNotFound);
    EXPECT_EQ(Remove("C:\\Gone\\a.txt"), kFsPathNotFound);
    EXPECT_EQ(Remove("C:\\Games"), kFsAccessDenied);
}

TEST_F(ModelFs, Renames) {
    struct Case {
        const char* name;
        const char* held;  // held by another program with `access` and `share`, or null
        uint32_t access, share;
        const char* from;
        const char* to;
        uint32_t flags;
        FsError expected;
    };
    const uint32_t R = kFsRead, sRW = kFsShareRead | kFsShareWrite;
    const Case cases[] = {
        {"over a free file", nullptr, 0, 0, "new.arc", "data.arc", kFsReplace, kFsOk},
        {"over a name without replace", nullptr, 0, 0, "new.arc", "data.arc", 0, kFsExists},
        {"to a new name", nullptr, 0, 0, "new.arc", "fresh.arc", 0, kFsOk},
        {"into a sub-folder", nullptr, 0, 0, "new.arc", "sub\\new.arc", 0, kFsOk},
        {"out of a sub-folder, replacing", nullptr, 0, 0, "sub\\in.txt", "data.arc", kFsReplace,
         kFsOk},
        {"a case change", nullptr, 0, 0, "new.arc", "NEW.ARC", 0, kFsOk},
        {"onto itself with replace", nullptr, 0, 0, "new.arc", "new.arc", kFsReplace, kFsOk},
        {"over a read-only file", nullptr, 0, 0, "new.arc", "ro.arc", kFsReplace, kFsAccessDenied},
        {"a read-only file away", nullptr, 0, 0, "ro.arc", "ro2.arc", 0, kFsOk},
        {"over a folder", nullptr, 0, 0, "new.arc", "sub", kFsReplace, kFsAccessDenied},
        {"over a folder without replace", nullptr, 0, 0, "new.arc", "sub", 0, kFsExists},
        // NTFS will not supersede an open file, whatever its handles share.
        {"over a file open sharing delete", "data.arc", R, kFsShareAll, "new.arc", "data.arc",
         kFsReplace, kFsAccessDenied},
        {"over a file open without delete sharing", "data.arc", R, sRW, "new.arc", "data.arc",
         kFsReplace, kFsAccessDenied},
        {"a file open without delete sharing", "new.arc", R, sRW, "new.arc", "fresh.arc", 0,
         kFsHeld},
        {"a file open sharing delete", "new.arc", R, kFsShareAll, "new.arc", "fresh.arc", 0, kFsOk},
        {"a missing file", nullptr, 0, 0, "gone.arc", "fresh.arc", 0, kFsNotFound},
        {"into a missing folder", nullptr, 0, 0, "new.arc", "gone\\new.arc", 0, kFsPathNotFound},
        {"to another drive", nullptr, 0, 0, "new.arc", "M:\\new.arc", 0, kFsOther},
        {"a folder", nullptr, 0, 0, "sub", "sub2", 0, kFsOk},
        {"a folder with a file open in it", "sub\\in.txt", R, kFsShareAll, "sub", "sub2", 0,
         kFsAccessDenied},
        {"a folder into itself", nullptr, 0, 0, "sub", "sub\\deeper", 0, kFsOther},
    };
    for (const Case& c : cases) {
        ModelInit(&m);
        ModelAddFile(&m, "C:\\Games\\data.arc", "old");
        ModelAddFile(&m, "C:\\Games\\new.arc", "new");
        ModelAddFile(&m, "C:\\Games\\ro.arc", "ro", kFsReadOnly);
        ModelAddFile(&m, "C:\\Games\\sub\\in.txt", "in");
        ModelAddFile(&m, "M:\\x", "");
        ModelSetCurrentFolder(&m, "C:\\Games");
        if (c.held) {
            ASSERT_NE(ModelHold(&m, c.held, c.access, c.share), 0u) << c.name;
        }
        std::map<std::string, std::string> before = ModelSnapshot(&m, "C:\\");
        std::string moved = Bytes(c.from);
        EXPECT_EQ(Rename(c.from, c.to, c.flags), c.expected) << c.name;
        if (c.expected != kFsOk) {
            EXPECT_EQ(ModelSnapshot(&m, "C:\\"), before) << c.name;
        } else {
            EXPECT_TRUE(ModelExists(&m, c.to)) << c.name;
            EXPECT_EQ(Bytes(c.to), moved) << c.name;
            if (AsciiLower(c.from) != AsciiLower(c.to)) {
                EXPECT_FALSE(ModelExists(&m, c.from)) << c.name;
            }
        }
    }
}

TEST_F(ModelFs, AHandleFollowsItsFileThroughARename) {
    FsFile file = OpenOk("C:\\Games\\a.txt", kFsWrite, kFsShareAll, kFsOpenExisting);
    ASSERT_EQ(Rename("C:\\Games\\a.txt", "C:\\Games\\moved.txt", 0), kFsOk);
    EXPECT_EQ(ModelOpenHandles(&m), std::vector<std::string>{"C:\\Games\\moved.txt"});
    Write(file, "!");
    Close(file);
    EXPECT_EQ(Bytes("C:\\Games\\moved.txt"), "!aa");
}

TEST_F(ModelFs, Folders) {
    ModelAddFolder(&m, "C:\\Games\\empty");
    ModelAddFolder(&m, "C:\\Games\\ro");
    ModelAddFolder(&m, "C:\\Games\\held");
    ModelAddFolder(&m, "C:\\Games\\shared");
    m.fs.setAttributes(m.fs.context, "C:\\Games\\ro", kFsReadOnly);
    ModelHold(&m, "C:\\Games\\held", kFsRead, kFsShareRead | kFsShareWrite);
    uint32_t shared = ModelHold(&m, "C:\\Games\\shared", kFsRead, kFsShareAll);
    typedef FsError (*FolderOp)(void*, const char*);
    FolderOp make = m.fs.makeFolder, remove = m.fs.removeFolder;
    struct Case {
        const char* name;
        FolderOp op;
        const char* path;
        FsError expected;
        bool existsAfter;
    };
    const Case cases[] = {
        {"make a new one", make, "C:\\Games\\new", kFsOk, true},
        {"make one that exists", make, "c:\\games\\NEW", kFsExists, true},
        {"make one where a file is", make, "C:\\Games\\a.txt", kFsExists, true},
        {"make one in a missing folder", make, "C:\\Gone\\new", kFsPathNotFound, false},
        {"make a root", make, "C:\\", kFsExists, true},
        {"remove an empty one", remove, "C:\\Games\\new", kFsOk, false},
        {"remove one with files", remove, "C:\\Games", kFsOther, true},
        {"remove a file", remove, "C:\\Games\\a.txt", kFsOther, true},
        {"remove a missing one", remove, "C:\\Games\\gone", kFsNotFound, false},
        {"remove a read-only one", remove, "C:\\Games\\ro", kFsAccessDenied, true},
        {"remove one held without delete sharing", remove, "C:\\Games\\held", kFsHeld, true},
        {"remove a root", remove, "C:\\", kFsAccessDenied, true},
        // Held with delete shared, it goes when the hold ends.
        {"remove one held sharing delete", remove, "C:\\Games\\shared", kFsOk, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.op(m.fs.context, c.path), c.expected) << c.name;
        EXPECT_EQ(ModelExists(&m, c.path), c.existsAfter) << c.name;
    }
    ModelRelease(&m, shared);
    EXPECT_FALSE(ModelExists(&m, "C:\\Games\\shared"));
}

TEST_F(ModelFs, SearchPatterns) {
    const char* names[] = {"a",      "a.txt",  "b.TXT",     "readme",
                           "x.html", "ab.htm", "~vup1.tmp", "\x95\x5C.htm"};
    for (const char* name : names) ModelAddFile(&m, (std::string("C:\\P\\") + name).c_str(), "");
    ModelAddFolder(&m, "C:\\P\\sub");
    typedef std::vector<std::string> Names;
    const Names all = {"a",   "a.txt",  "ab.htm",    "b.TXT",       "readme",
                       "sub", "x.html", "~vup1.tmp", "\x95\x5C.htm"};
    struct Case {
        const char* name;
        const char* pattern;
        FsError expected;
        Names found;
    };
    const Case cases[] = {
        {"star", "C:\\P\\*", kFsOk, all},
        {"star dot star is every name", "C:\\P\\*.*", kFsOk, all},
        {"an extension, either case", "C:\\P\\*.TXT", kFsOk, {"a.txt", "b.TXT"}},
        {"an extension is not a prefix of a longer one",
         "C:\\p\\*.htm",
         kFsOk,
         {"ab.htm", "\x95\x5C.htm"}},
        {"one character", "C:\\P\\?", kFsOk, {"a"}},
        {"question marks match fewer at the end", "C:\\P\\??", kFsOk, {"a"}},
        {"question marks stop at a dot", "C:\\P\\????.htm", kFsOk, {"ab.htm", "\x95\x5C.htm"}},
        {"a double-byte character is one", "C:\\P\\?.htm", kFsOk, {"\x95\x5C.htm"}},
        {"name dot star also finds the bare name", "C:\\P\\a.*", kFsOk, {"a", "a.txt"}},
        {"star dot finds names without a dot", "C:\\P\\*.", kFsOk, {"a", "readme", "sub"}},
        {"a prefix", "C:\\P\\~VUP*", kFsOk, {"~vup1.tmp"}},
        {"an exact name", "C:\\P\\A.TXT", kFsOk, {"a.txt"}},
        {"an exact folder", "C:\\P\\sub", kFsOk, {"sub"}},
        {"a 0x5C trail byte before the star", "C:\\P\\\x95\x5C*", kFsOk, {"\x95\x5C.htm"}},
        {"relative to the current folder", "*.txt", kFsOk, {"a.txt", "b.TXT"}},
        {"nothing matches", "C:\\P\\nothing*", kFsNotFound, {}},
        {"a folder's own path with a backslash", "C:\\P\\", kFsNotFound, {}},
        {"a missing folder", "C:\\Gone\\*", kFsPathNotFound, {}},
    };
    ModelSetCurrentFolder(&m, "C:\\P");
    for (const Case& c : cases) {
        FsError error;
        EXPECT_EQ(Find(c.pattern, &error), c.found) << c.name;
        EXPECT_EQ(error, c.expected) << c.name;
    }
}

TEST_F(ModelFs, SearchReportsSizeAndAttributes) {
    ModelAddFile(&m, "C:\\Games\\sized.bin", std::string(5000, 's'), kFsReadOnly);
    ModelAddFolder(&m, "C:\\Games\\sub");
    FsSearch search = nullptr;
    FsFound found;
    ASSERT_EQ(m.fs.findFirst(m.fs.context, "C:\\Games\\SIZED.BIN", &search, &found), kFsOk);
    EXPECT_STREQ(found.name, "sized.bin");
    EXPECT_EQ(found.size, 5000u);
    EXPECT_EQ(found.attributes, kFsReadOnly);
    EXPECT_EQ(m.fs.findNext(m.fs.context, search, &found), kFsNotFound);
    m.fs.findClose(m.fs.context, search);
    ASSERT_EQ(m.fs.findFirst(m.fs.context, "C:\\Games\\s*b", &search, &found), kFsOk);
    EXPECT_STREQ(found.name, "sub");
    EXPECT_EQ(found.attributes, kFsFolder);
    EXPECT_EQ(found.size, 0u);
    m.fs.findClose(m.fs.context, search);
    EXPECT_EQ(m.fs.findNext(m.fs.context, search, &found), kFsOther);
}

TEST_F(ModelFs, WritesThatDoNotFitWriteNothing) {
    struct Case {
        const char* name;
        uint64_t capacity;
        uint32_t cluster;
        uint64_t otherFile;  // bytes of a file already on the drive
        std::vector<uint32_t> writes;
        FsError last;   // the last write's result; the earlier ones succeed
        uint64_t size;  // the file's size afterwards
    };
    const Case cases[] = {
        {"fits exactly", 8192, 4096, 0, {8192}, kFsOk, 8192},
        {"one byte past the capacity", 8192, 4096, 0, {8193}, kFsDiskFull, 0},
        {"the rest of a cluster needs no room", 4096, 4096, 0, {100, 3996}, kFsOk, 4096},
        {"a failed write leaves the earlier ones", 8192, 4096, 0, {4096, 4097}, kFsDiskFull, 4096},
        {"another file takes a whole cluster", 8192, 4096, 1, {4097}, kFsDiskFull, 0},
        {"cluster size 0 counts bytes", 10, 0, 3, {7}, kFsOk, 7},
        {"cluster size 0, a byte too many", 10, 0, 3, {8}, kFsDiskFull, 0},
    };
    for (const Case& c : cases) {
        ModelInit(&m);
        ModelSetDrive(&m, 'D', c.capacity, c.cluster, false);
        if (c.otherFile) ModelAddFile(&m, "D:\\other", std::string((size_t)c.otherFile, 'o'));
        FsFile file = OpenOk("D:\\f", kFsWrite, 0, kFsCreateNew);
        for (size_t i = 0; i < c.writes.size(); ++i) {
            FsError error = Write(file, std::string(c.writes[i], 'w'));
            EXPECT_EQ(error, i + 1 == c.writes.size() ? c.last : kFsOk) << c.name;
        }
        uint64_t size = 0;
        m.fs.size(m.fs.context, file, &size);
        EXPECT_EQ(size, c.size) << c.name;
        Close(file);
    }
}

TEST_F(ModelFs, FreeSpaceCountsClustersAndFreesOnRemove) {
    ModelSetDrive(&m, 'D', 40960, 4096, false);
    ModelAddFile(&m, "D:\\one", std::string(4097, '1'));
    uint64_t available = 0;
    uint32_t cluster = 0;
    ASSERT_EQ(m.fs.freeSpace(m.fs.context, "D:\\", &available, &cluster), kFsOk);
    EXPECT_EQ(available, 40960u - 8192u);
    EXPECT_EQ(cluster, 4096u);
    // A delete-pending file still takes its room.
    FsFile holder = OpenOk("D:\\one", kFsRead, kFsShareAll, kFsOpenExisting);
    Remove("D:\\one");
    EXPECT_EQ(ModelFreeBytes(&m, 'D'), 40960u - 8192u);
    Close(holder);
    EXPECT_EQ(ModelFreeBytes(&m, 'D'), 40960u);
    EXPECT_EQ(m.fs.freeSpace(m.fs.context, "D:\\gone", &available, &cluster), kFsPathNotFound);
}

TEST_F(ModelFs, AReadOnlyVolumeChangesNothing) {
    ModelAddFile(&m, "M:\\disc.arc", "disc");
    ModelSetDrive(&m, 'M', 1 << 20, 2048, true);
    EXPECT_EQ(TryOpen("disc.arc", kFsRead, kFsShareRead), kFsOk);
    EXPECT_EQ(TryOpen("disc.arc", kFsWrite), kFsAccessDenied);
    EXPECT_EQ(TryOpen("new.arc", kFsWrite, 0, kFsCreateNew), kFsAccessDenied);
    EXPECT_EQ(Remove("disc.arc"), kFsAccessDenied);
    EXPECT_EQ(Rename("disc.arc", "other.arc", 0), kFsAccessDenied);
    EXPECT_EQ(m.fs.makeFolder(m.fs.context, "M:\\dir"), kFsAccessDenied);
    EXPECT_EQ(ModelFreeBytes(&m, 'M'), 0u);
    EXPECT_EQ(Bytes("M:\\disc.arc"), "disc");
}

TEST_F(ModelFs, OtherProgramsHoldFilesForAWhile) {
    typedef std::function<void(ModelFileSystem*)> Setup;
    typedef std::function<FsError(ModelFs*)> Op;
    const Op writeA = [](ModelFs* t) { return t->TryOpen("C:\\Games\\a.txt", kFsWrite); };
    const Op readA = [](ModelFs* t) { return t->TryOpen("C:\\Games\\a.txt", kFsRead); };
    const Op replaceA = [](ModelFs* t) {
        FsError error = t->Rename("C:\\Games\\b.txt", "C:\\Games\\a.txt", kFsReplace);
        if (error == kFsOk) t->Rename("C:\\Games\\a.txt", "C:\\Games\\b.txt", 0);
        return error;
    };
    const uint32_t sR = kFsShareRead;
    struct Case {
        const char* name;
        Setup setup;
        Op op;
        uint32_t waitMs;  // the clock moves on this much after each try
        std::vector<FsError> tries;
    };
    const Case cases[] = {
        {"held until 500 ms",
         [=](ModelFileSystem* m) { ModelHoldUntil(m, "C:\\Games\\a.txt", kFsRead, sR, 500); },
         writeA,
         250,
         {kFsHeld, kFsHeld, kFsOk}},
        {"held for two refusals",
         [=](ModelFileSystem* m) { ModelHoldForTries(m, "C:\\Games\\A.TXT", kFsRead, sR, 2); },
         writeA,
         0,
         {kFsHeld, kFsHeld, kFsOk, kFsOk}},
        {"held until released",
         [=](ModelFileSystem* m) { ModelHold(m, "C:\\Games\\a.txt", kFsRead, sR); },
         writeA,
         100000,
         {kFsHeld, kFsHeld, kFsHeld}},
        {"a reader sharing read leaves readers alone",
         [=](ModelFileSystem* m) { ModelHold(m, "C:\\Games\\a.txt", kFsRead, sR); },
         readA,
         0,
         {kFsOk}},
        {"open elsewhere, it cannot be replaced until 300 ms",
         [=](ModelFileSystem* m) {
             ModelHoldUntil(m, "C:\\Games\\a.txt", kFsRead, kFsShareAll, 300);
         },
         replaceA,
         200,
         {kFsAccessDenied, kFsAccessDenied, kFsOk}},
        {"denied until 100 ms",
         [](ModelFileSystem* m) { ModelDeny(m, "C:\\Games\\a.txt", 100, 0); },
         readA,
         100,
         {kFsAccessDenied, kFsOk}},
        {"denied for one refusal",
         [](ModelFileSystem* m) { ModelDeny(m, "C:\\Games\\a.txt", 0, 1); },
         readA,
         0,
         {kFsAccessDenied, kFsOk}},
        {"a denied name is not renamed onto",
         [](ModelFileSystem* m) { ModelDeny(m, "C:\\Games\\a.txt", 0, 2); },
         replaceA,
         0,
         {kFsAccessDenied, kFsAccessDenied, kFsOk}},
        {"a denial is by name, even of no file",
         [](ModelFileSystem* m) { ModelDeny(m, "C:\\Games\\new.txt", 50, 0); },
         [](ModelFs* t) {
             FsError error = t->TryOpen("C:\\Games\\new.txt", kFsWrite, 0, kFsCreateAlways);
             if (error == kFsOk) t->Remove("C:\\Games\\new.txt");
             return error;
         },
         50,
         {kFsAccessDenied, kFsOk}},
        // Deleted while another program has it open, the name lasts as long as its handle.
        {"a pending delete waited out",
         [](ModelFileSystem* m) {
             ModelHoldUntil(m, "C:\\Games\\a.txt", kFsRead, kFsShareAll, 200);
             m->fs.remove(m->fs.context, "C:\\Games\\a.txt");
         },
         readA,
         100,
         {kFsAccessDenied, kFsAccessDenied, kFsNotFound}},
    };
    for (const Case& c : cases) {
        ModelInit(&m);
        ModelAddFile(&m, "C:\\Games\\a.txt", "aaa");
        ModelAddFile(&m, "C:\\Games\\b.txt", "bbb");
        c.setup(&m);
        std::vector<FsError> tries;
        for (size_t i = 0; i < c.tries.size(); ++i) {
            tries.push_back(c.op(this));
            ModelWait(&m, c.waitMs);
        }
        EXPECT_EQ(tries, c.tries) << c.name;
        EXPECT_TRUE(ModelOpenHandles(&m).empty()) << c.name;
    }
}

TEST_F(ModelFs, AHoldEndsWhenReleased) {
    uint32_t hold = ModelHold(&m, "C:\\Games\\a.txt", kFsRead | kFsWrite, 0);
    EXPECT_EQ(TryOpen("C:\\Games\\a.txt", kFsRead), kFsHeld);
    EXPECT_EQ(Remove("C:\\Games\\a.txt"), kFsHeld);
    ModelRelease(&m, hold);
    ModelRelease(&m, hold);
    EXPECT_EQ(TryOpen("C:\\Games\\a.txt", kFsRead), kFsOk);
    EXPECT_EQ(ModelHold(&m, "C:\\Games\\gone.txt", kFsRead, 0), 0u);
}

TEST_F(ModelFs, EveryCallIsCountedAndPlannedFailuresChangeNothing) {
    m.tracing = true;
    m.failures[2] = kFsDeviceError;   // the first write
    m.failures[4] = kFsHeld;          // the close
    m.failures[5] = kFsAccessDenied;  // markUpdated
    FsFile file = OpenOk("C:\\Games\\a.txt", kFsWrite, 0, kFsOpenExisting);
    EXPECT_EQ(Write(file, "xyz"), kFsDeviceError);
    EXPECT_EQ(Write(file, "!"), kFsOk);
    EXPECT_EQ(Close(file), kFsHeld);
    EXPECT_TRUE(ModelOpenHandles(&m).empty());  // a close releases its handle whatever happens
    EXPECT_EQ(m.fs.markUpdated(m.fs.context), kFsAccessDenied);
    EXPECT_FALSE(m.updated);
    EXPECT_EQ(m.fs.markUpdated(m.fs.context), kFsOk);
    EXPECT_TRUE(m.updated);
    EXPECT_EQ(Bytes("C:\\Games\\a.txt"), "!aa");
    EXPECT_EQ(m.operations, 6u);
    const std::vector<std::string> trace = {"open C:\\Games\\a.txt",
                                            "write C:\\Games\\a.txt",
                                            "write C:\\Games\\a.txt",
                                            "close C:\\Games\\a.txt",
                                            "markUpdated",
                                            "markUpdated"};
    EXPECT_EQ(m.trace, trace);
}

TEST_F(ModelFs, ACrashStopsEveryLaterCall) {
    m.crashAt = 3;
    FsFile file = OpenOk("C:\\Games\\c.txt", kFsWrite, 0, kFsCreateNew);
    EXPECT_EQ(Write(file, "half"), kFsOk);
    EXPECT_EQ(m.fs.flush(m.fs.context, file), kFsDeviceError);
    EXPECT_EQ(Close(file), kFsDeviceError);
    EXPECT_EQ(Rename("C:\\Games\\c.txt", "C:\\Games\\a.txt", kFsReplace), kFsDeviceError);
    EXPECT_EQ(m.fs.markUpdated(m.fs.context), kFsDeviceError);
    EXPECT_FALSE(m.updated);
    EXPECT_EQ(m.operations, 6u);
    // The dead process's handle stays until the process ends; the disk is as it was left.
    EXPECT_EQ(ModelOpenHandles(&m), std::vector<std::string>{"C:\\Games\\c.txt"});
    ModelEndProcess(&m);
    EXPECT_TRUE(ModelOpenHandles(&m).empty());
    EXPECT_EQ(Bytes("C:\\Games\\c.txt"), "half");
    EXPECT_EQ(Bytes("C:\\Games\\a.txt"), "aaa");
    EXPECT_EQ(Remove("C:\\Games\\c.txt"), kFsOk);
}

TEST_F(ModelFs, PowerCutKeepsEachPrefixOfTheJournal) {
    // Five metadata operations, none made durable, the new file's data never flushed.
    auto run = [this]() {
        ASSERT_EQ(m.fs.makeFolder(m.fs.context, "C:\\Games\\x"), kFsOk);
        FsFile file = OpenOk("C:\\Games\\x\\f", kFsWrite, 0, kFsCreateNew);
        Write(file, "unflushed");
        Close(file);
        ASSERT_EQ(Rename("C:\\Games\\x\\f", "C:\\Games\\x\\g", 0), kFsOk);
        ASSERT_EQ(Remove("C:\\Games\\old.txt"), kFsOk);
        ASSERT_EQ(m.fs.setAttributes(m.fs.context, "C:\\Games\\a.txt", kFsReadOnly), kFsOk);
    };
    typedef std::map<std::string, std::string> Tree;
    const Tree start = {{"a.txt", "aaa"}, {"b.txt", "bbb"}, {"old.txt", "old"}};
    Tree folder = start, made = start, renamed = start, removed;
    folder["x\\"] = "";
    made = folder;
    made["x\\f"] = "";
    renamed = folder;
    renamed["x\\g"] = "";
    removed = renamed;
    removed.erase("old.txt");
    struct Case {
        const char* name;
        uint32_t keep;
        Tree tree;
        uint32_t aAttributes;
    };
    const Case cases[] = {
        {"nothing kept", 0, start, kFsArchive},
        {"the folder", 1, folder, kFsArchive},
        {"the new file, without its data", 2, made, kFsArchive},
        {"its rename", 3, renamed, kFsArchive},
        {"the remove", 4, removed, kFsArchive},
        {"everything", 5, removed, kFsReadOnly},
        {"more than there is", 9, removed, kFsReadOnly},
    };
    for (const Case& c : cases) {
        ModelInit(&m);
        ModelAddFile(&m, "C:\\Games\\a.txt", "aaa");
        ModelAddFile(&m, "C:\\Games\\b.txt", "bbb");
        ModelAddFile(&m, "C:\\Games\\old.txt", "old");
        run();
        EXPECT_EQ(ModelPendingMetadataCount(&m), 5u) << c.name;
        ModelPowerCut(&m, c.keep);
        EXPECT_EQ(ModelSnapshot(&m, "C:\\Games"), c.tree) << c.name;
        uint32_t attributes = 0;
        EXPECT_TRUE(ModelGetAttributes(&m, "C:\\Games\\a.txt", &attributes)) << c.name;
        EXPECT_EQ(attributes, c.aAttributes) << c.name;
        EXPECT_EQ(ModelPendingMetadataCount(&m), 0u) << c.name;
    }
}

TEST_F(ModelFs, FlushAndWriteThroughMakeTheJournalDurable) {
    // The update's way: draft, flush, put in place with a write-through rename.
    ASSERT_EQ(m.fs.makeFolder(m.fs.context, "C:\\Games\\new"), kFsOk);
    FsFile draft = OpenOk("C:\\Games\\new\\draft", kFsWrite, 0, kFsCreateNew);
    Write(draft, "new");
    EXPECT_EQ(ModelPendingMetadataCount(&m), 2u);
    EXPECT_EQ(m.fs.flush(m.fs.context, draft), kFsOk);
    EXPECT_EQ(ModelPendingMetadataCount(&m), 0u);  // the folder too: the journal is in order
    Close(draft);
    ASSERT_EQ(Rename("C:\\Games\\new\\draft", "C:\\Games\\a.txt", kFsReplace), kFsOk);
    ASSERT_EQ(Rename("C:\\Games\\b.txt", "C:\\Games\\c.txt", 0), kFsOk);
    EXPECT_EQ(ModelPendingMetadataCount(&m), 2u);
    ASSERT_EQ(Rename("C:\\Games\\c.txt", "C:\\Games\\d.txt", kFsWriteThrough), kFsOk);
    EXPECT_EQ(ModelPendingMetadataCount(&m), 0u);
    ModelPowerCut(&m, 0);
    const std::map<std::string, std::string> tree = {
        {"a.txt", "new"}, {"d.txt", "bbb"}, {"new\\", ""}};
    EXPECT_EQ(ModelSnapshot(&m, "C:\\Games"), tree);
}

TEST_F(ModelFs, PowerCutUndoesAReplacementAndKeepsOnlyFlushedBytes) {
    FsFile draft = OpenOk("C:\\Games\\draft", kFsWrite, 0, kFsCreateNew);
    Write(draft, "flushed");
    m.fs.flush(m.fs.context, draft);
    Write(draft, " and not");
    Close(draft);
    FsFile emptied = OpenOk("C:\\Games\\b.txt", kFsWrite, 0, kFsCreateAlways);
    Write(emptied, "b2");
    FsFile pending = OpenOk("C:\\Games\\a.txt", kFsRead, kFsShareAll, kFsOpenExisting);
    ASSERT_EQ(Remove("C:\\Games\\a.txt"), kFsOk);
    ASSERT_EQ(Rename("C:\\Games\\draft", "C:\\Games\\b.txt", kFsReplace), kFsAccessDenied);
    Close(emptied);
    ASSERT_EQ(Rename("C:\\Games\\draft", "C:\\Games\\b.txt", kFsReplace), kFsOk);
    m.fs.markUpdated(m.fs.context);
    ASSERT_EQ(ModelPendingMetadataCount(&m), 1u);
    ModelPowerCut(&m, 0);
    // The replaced file is back with its durable bytes; the draft keeps what was flushed; the
    // delete never ran, its handle being gone with the power.
    const std::map<std::string, std::string> tree = {
        {"a.txt", "aaa"}, {"b.txt", "bbb"}, {"draft", "flushed"}};
    EXPECT_EQ(ModelSnapshot(&m, "C:\\Games"), tree);
    EXPECT_FALSE(ModelIsDeletePending(&m, "C:\\Games\\a.txt"));
    EXPECT_TRUE(ModelOpenHandles(&m).empty());
    EXPECT_TRUE(m.updated);
    EXPECT_EQ(Close(pending), kFsOther);
}

TEST_F(ModelFs, SnapshotAndOpenHandles) {
    ModelAddFolder(&m, "C:\\Games\\help\\\x95\x5C");
    ModelAddFile(&m, "C:\\Games\\help\\\x95\x5C.htm", "<p>");
    const std::map<std::string, std::string> tree = {
        {"a.txt", "aaa"},         {"b.txt", "bbb"}, {"help\\", ""}, {"help\\\x95\x5C.htm", "<p>"},
        {"help\\\x95\x5C\\", ""},
    };
    EXPECT_EQ(ModelSnapshot(&m, "c:\\games"), tree);
    EXPECT_TRUE(ModelSnapshot(&m, "C:\\Games\\a.txt").empty());
    FsFile one = OpenOk("C:\\Games\\help\\\x95\x5C.htm", kFsRead, kFsShareRead, kFsOpenExisting);
    FsFile two = OpenOk("C:\\games\\B.TXT", kFsRead, kFsShareRead, kFsOpenExisting);
    ModelHold(&m, "C:\\Games\\a.txt", kFsRead, kFsShareAll);
    const std::vector<std::string> open = {"C:\\Games\\help\\\x95\x5C.htm", "C:\\Games\\b.txt"};
    EXPECT_EQ(ModelOpenHandles(&m), open);
    Close(one);
    Close(two);
    EXPECT_TRUE(ModelOpenHandles(&m).empty());
}

}  // namespace
