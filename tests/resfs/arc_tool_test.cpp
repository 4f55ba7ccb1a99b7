// The archive tool run as a process: packing a tree with the launcher's exclusions, reading the
// result back with the launcher's own loader, listing, verifying good and broken archives, and
// refusing name hashes that collide.
#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>

#include <filesystem>
#include <string>
#include <vector>

#include "resfs/archive_format.h"
#include "resfs/cp932_lower.h"

#ifdef _WIN32
#define popen _popen
#define pclose _pclose
#else
#include <sys/wait.h>
#endif

namespace {

struct RunResult {
    int status;
    std::string output;  // stdout and stderr together
};

std::string ToolPath() {
    std::string path = VORLIN_ARC_TOOL;
#ifdef _WIN32
    // The build tree's path as Wine sees it: the root of the host's file system is drive Z.
    if (!path.empty() && path[0] == '/') path = "Z:" + path;
    for (char& c : path)
        if (c == '/') c = '\\';
#endif
    return path;
}

RunResult RunTool(const std::vector<std::string>& args) {
    std::string command = "\"" + ToolPath() + "\"";
    for (const std::string& a : args) command += " \"" + a + "\"";
    command += " 2>&1";
#ifdef _WIN32
    command = "\"" + command + "\"";  // cmd /c strips one pair of outer quotes
#endif
    RunResult result = {-1, ""};
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return result;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) result.output.append(buffer, n);
    int status = pclose(pipe);
#ifdef _WIN32
    result.status = status;
#else
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
    return result;
}

void WriteFile(const std::string& path, const std::string& data) {
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr) << path;
    fwrite(data.data(), 1, data.size(), f);
    fclose(f);
}

std::string ReadFile(const std::string& path) {
    std::string data;
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return data;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) data.append(buffer, n);
    fclose(f);
    return data;
}

bool Exists(const std::string& path) {
    FILE* f = fopen(path.c_str(), "rb");
    if (f) fclose(f);
    return f != nullptr;
}

void PutU32(std::string* out, uint32_t v) {
    for (int i = 0; i < 4; i++) out->push_back((char)(v >> (8 * i)));
}

std::string ArchiveBytes(uint32_t count, const std::vector<ArchiveIndexEntry>& entries,
                         const std::string& data) {
    std::string out((const char*)kArchiveMagic, kArchiveMagicSize);
    PutU32(&out, count);
    PutU32(&out, 0);
    PutU32(&out, 0);
    for (const ArchiveIndexEntry& e : entries) {
        PutU32(&out, e.nameHash);
        PutU32(&out, e.offset);
    }
    return out + data;
}

class ArcTool : public ::testing::Test {
protected:
    void SetUp() override {
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = ::testing::TempDir() + "arc_tool_" + info->name();
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::string Path(const std::string& relative) const {
        std::string p = dir_ + "/" + relative;
#ifdef _WIN32
        for (char& c : p)
            if (c == '/') c = '\\';
#endif
        return p;
    }
    void MakeDir(const std::string& relative) {
        std::filesystem::create_directories(Path(relative));
    }

    std::string dir_;
};

TEST_F(ArcTool, ArgumentsAndHelp) {
    struct Case {
        const char* name;
        std::vector<std::string> args;
        int status;
        const char* text;
    };
    const Case kCases[] = {
        {"help", {"--help"}, 0, "usage: vorlin-arc"},
        {"help after a command", {"pack", "--help"}, 0, "usage: vorlin-arc"},
        {"no command", {}, 2, "usage: vorlin-arc"},
        {"unknown command", {"unpack", "x.arc"}, 2, "unknown command 'unpack'"},
        {"pack without inputs", {"pack", "out.arc"}, 2, "pack:"},
        {"list without archive", {"list"}, 2, "list:"},
        {"verify without archive", {"verify"}, 2, "verify:"},
        {"verify with two archives", {"verify", "a.arc", "b.arc"}, 2, "verify:"},
        {"hash without names", {"hash"}, 2, "hash:"},
        {"hash", {"hash", "Update.RCT"}, 0, "b56852f7  Update.RCT"},
        {"hash of a path", {"hash", "pics/Update.rct"}, 0, "b56852f7  pics/Update.rct"},
    };
    for (const Case& c : kCases) {
        RunResult r = RunTool(c.args);
        EXPECT_EQ(r.status, c.status) << c.name << "\n" << r.output;
        EXPECT_NE(r.output.find(c.text), std::string::npos) << c.name << "\n" << r.output;
    }
}

TEST_F(ArcTool, UnreadableInputs) {
    WriteFile(Path("old.arc"), "previous contents");
    struct Case {
        const char* name;
        std::vector<std::string> args;
    };
    const Case kCases[] = {
        {"pack from a missing input", {"pack", Path("old.arc"), Path("missing")}},
        {"list a missing archive", {"list", Path("missing.arc")}},
        {"verify a missing archive", {"verify", Path("missing.arc")}},
        {"list a file that is no archive", {"list", Path("old.arc")}},
    };
    for (const Case& c : kCases) {
        RunResult r = RunTool(c.args);
        EXPECT_EQ(r.status, 1) << c.name << "\n" << r.output;
        EXPECT_NE(r.output.find("vorlin-arc: "), std::string::npos) << c.name << "\n" << r.output;
    }
    EXPECT_EQ(ReadFile(Path("old.arc")), "previous contents");
}

TEST_F(ArcTool, PackTreeWithExclusions) {
    struct File {
        const char* path;
        const char* data;
        bool packed;
    };
    const char* kFullWidthA = "\x82\x60.dat";  // full-width A: keyed as full-width a
    const File kFiles[] = {
        {"vorlin.env", "TITLEBAR Test\n[EOF]\n", true},
        {"pics/Update.RCT", "picture data", true},
        {"pics/deeper/empty.bin", "", true},
        {"notes.txt.bak", "kept: .bak is the extension", true},
        {"LICENSE", "no dot", true},
        {"debuginfo2/kept.bin", "scanned", true},
        {"README.TXT", "excluded", false},
        {"tool.Exe", "excluded", false},
        {"a.lnk", "x", false},
        {"b.com", "x", false},
        {"c.dll", "x", false},
        {"d.log", "x", false},
        {"e.sue", "x", false},
        {"f.mdb", "x", false},
        {"g.vrs", "x", false},
        {"h.vrh", "x", false},
        {"i.DB", "x", false},
        {"DebugInfo/hidden.bin", "not scanned", false},
#ifndef _WIN32
        // Windows drops a trailing dot when it creates a folder; there only "." and ".." have one.
        {"trailing./hidden2.bin", "not scanned", false},
#endif
    };
    MakeDir("media/pics/deeper");
    MakeDir("media/debuginfo2");
    MakeDir("media/DebugInfo");
#ifndef _WIN32
    MakeDir("media/trailing.");
#endif
    for (const File& f : kFiles) WriteFile(Path("media/" + std::string(f.path)), f.data);
    WriteFile(Path("media/") + kFullWidthA, "full width");
    WriteFile(Path("single.bin"), "given by name");

    RunResult r = RunTool({"pack", Path("out.arc"), Path("media"), Path("single.bin")});
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("packed 8 files"), std::string::npos) << r.output;

    // Read back as the launcher reads it.
    ArchiveHeader header;
    ArchiveIndexEntry* index = nullptr;
    ASSERT_EQ(LoadArchiveIndex(Path("out.arc").c_str(), &header, &index), 1);
    std::string bytes = ReadFile(Path("out.arc"));
    EXPECT_EQ(header.entryCount, 8u);
    for (uint32_t i = 1; i < header.entryCount; i++)
        EXPECT_LT(index[i - 1].nameHash, index[i].nameHash);
    EXPECT_EQ(index[header.entryCount].offset, bytes.size());
    struct Expect {
        const char* name;
        std::string data;
    };
    std::vector<Expect> expected = {{"\x82\x81.dat", "full width"},
                                    {"single.bin", "given by name"}};
    for (const File& f : kFiles) {
        if (f.packed) {
            expected.push_back({f.path, f.data});
        } else {
            EXPECT_EQ(FindArchiveEntry(index, header.entryCount, ComputeLookupKey(f.path)), nullptr)
                << f.path;
        }
    }
    for (const Expect& e : expected) {
        int32_t offset = 0;
        ASSERT_EQ(LookupArchiveOffset(index, header.entryCount, ComputeLookupKey(e.name), &offset),
                  1)
            << e.name;
        EXPECT_EQ(bytes.substr((size_t)offset, e.data.size()), e.data) << e.name;
    }
    ReleaseArchiveIndex(index);

    r = RunTool({"list", Path("out.arc"), "UPDATE.rct", "pics\\update.rct", "Vorlin.env"});
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("b56852f7"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("12  UPDATE.rct, pics\\update.rct"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("20  Vorlin.env"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("         0  \n"), std::string::npos) << "empty file\n" << r.output;
    EXPECT_NE(r.output.find("8 files; final entry: hash ffffffff"), std::string::npos) << r.output;

    r = RunTool({"list", Path("out.arc"), "README.TXT"});
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find("README.TXT (hash "), std::string::npos) << r.output;

    r = RunTool({"verify", Path("out.arc")});
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("good, 8 files"), std::string::npos) << r.output;
}

TEST_F(ArcTool, PackReplacesAnArchiveOnlyWhenComplete) {
    MakeDir("media");
    WriteFile(Path("media/one.bin"), "1");
    ASSERT_EQ(RunTool({"pack", Path("media/out.arc"), Path("media")}).status, 0);
    // Packing the folder again does not take in its own archive.
    WriteFile(Path("media/two.bin"), "22");
    RunResult r = RunTool({"pack", Path("media/out.arc"), Path("media")});
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("packed 2 files"), std::string::npos) << r.output;
    std::string good = ReadFile(Path("media/out.arc"));

    // A refused pack leaves the archive as it was and no temporary file beside it.
    WriteFile(Path("media/Two.BIN.bak"), "x");
    MakeDir("media/sub");
    WriteFile(Path("media/sub/TWO.bin"), "collides");
    r = RunTool({"pack", Path("media/out.arc"), Path("media")});
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_EQ(ReadFile(Path("media/out.arc")), good);
    int others = 0;
    for (const auto& entry : std::filesystem::directory_iterator(Path("media")))
        if (entry.path().filename().string().find(".tmp") != std::string::npos) others++;
    EXPECT_EQ(others, 0);
}

TEST_F(ArcTool, CollisionsNameBothPaths) {
    MakeDir("a");
    MakeDir("b");
    WriteFile(Path("a/Data.bin"), "first");
    WriteFile(Path("b/data.BIN"), "second");
    RunResult r = RunTool({"pack", Path("out.arc"), Path("a"), Path("b")});
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find(Path("a/Data.bin")), std::string::npos) << r.output;
    EXPECT_NE(r.output.find(Path("b/data.BIN")), std::string::npos) << r.output;
    EXPECT_FALSE(Exists(Path("out.arc")));

    // Two different names whose CRC-32 is the same ("plumless" and "buckeroo" are a known pair).
    WriteFile(Path("plumless"), "x");
    WriteFile(Path("buckeroo"), "y");
    ASSERT_EQ(ComputeLookupKey("plumless"), ComputeLookupKey("buckeroo"));
    r = RunTool({"pack", Path("out.arc"), Path("plumless"), Path("buckeroo")});
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find("plumless"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("buckeroo"), std::string::npos) << r.output;
    EXPECT_FALSE(Exists(Path("out.arc")));
}

TEST_F(ArcTool, VerifyFindsEachProblem) {
    // A good archive of two files, data "aaaa" at 52 and "bb" at 56, end at 58.
    const std::string data = "aaaabb";
    struct Case {
        const char* name;
        std::string bytes;
        int status;
        const char* text;
    };
    std::string wrongMagic = ArchiveBytes(2, {{0x10, 52}, {0x20, 56}, {0xFFFFFFFFu, 58}}, data);
    wrongMagic[15] = '?';
    const Case kCases[] = {
        {"good", ArchiveBytes(2, {{0x10, 52}, {0x20, 56}, {0xFFFFFFFFu, 58}}, data), 0,
         "good, 2 files"},
        {"no files", ArchiveBytes(0, {{0xFFFFFFFFu, 36}}, ""), 0, "good, 0 files"},
        {"high hash after low",
         ArchiveBytes(2, {{0x7FFFFFFFu, 52}, {0x80000000u, 56}, {0, 58}}, data), 0, "good"},
        {"wrong magic", wrongMagic, 1, "wrong magic"},
        {"short", std::string("VorlinArcV1.000\0\2\0\0", 20), 1, "shorter than the 28-byte header"},
        {"index past the end", ArchiveBytes(5, {{0x10, 52}, {0x20, 56}, {0xFFFFFFFFu, 58}}, ""), 1,
         "runs past the end"},
        {"huge count", ArchiveBytes(0xFFFFFFFFu, {{0x10, 52}}, data), 1, "runs past the end"},
        {"signed order", ArchiveBytes(2, {{0x80000000u, 52}, {0x7FFFFFFFu, 56}, {0, 58}}, data), 1,
         "out of order"},
        {"duplicate hash", ArchiveBytes(2, {{0x10, 52}, {0x10, 56}, {0, 58}}, data), 1,
         "hash 00000010 appears more than once"},
        {"offset past the end", ArchiveBytes(2, {{0x10, 52}, {0x20, 99}, {0, 58}}, data), 1,
         "past the end of the file"},
        {"offset at 2^31", ArchiveBytes(2, {{0x10, 52}, {0x20, 0x80000000u}, {0, 58}}, data), 1,
         "at or above 2^31"},
        {"offset into the index", ArchiveBytes(2, {{0x10, 40}, {0x20, 56}, {0, 58}}, data), 1,
         "points into the header or index"},
    };
    for (const Case& c : kCases) {
        WriteFile(Path("test.arc"), c.bytes);
        RunResult r = RunTool({"verify", Path("test.arc")});
        EXPECT_EQ(r.status, c.status) << c.name << "\n" << r.output;
        EXPECT_NE(r.output.find(c.text), std::string::npos) << c.name << "\n" << r.output;
    }
}

}  // namespace
