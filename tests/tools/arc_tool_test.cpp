// The archive tool run as a process: packing a tree with the launcher's exclusions, reading the
// result back with the launcher's own loader, listing, verifying good and broken archives,
// refusing name hashes that collide, keying UTF-8 names by their code page 932 text (Windows'
// table), sizing files whatever order their data is in, and extracting without ever writing
// outside the output folder.
//
// Text in these tests is UTF-8 (u8"" literals: plain ones become code page 932 in the Windows
// build) unless it is written as code page 932 bytes. The Windows build hands the tool UTF-16
// command lines and reads its output as UTF-8, as the tools write it to a pipe.
#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "resfs/archive_format.h"
#include "resfs/cp932_lower.h"
#include "tests/tools/archive_bytes.h"
#include "tests/tools/tool_runner.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <sys/wait.h>
#endif

namespace {

// Runs the tool with UTF-8 arguments; the output comes back as UTF-8 too.
RunResult RunTool(const std::vector<std::string>& args) {
    return RunProgram(VORLIN_ARC_TOOL, args);
}

// How a test names a file: by bytes through the C library (the ANSI code page's text on
// Windows, any bytes elsewhere), or in UTF-8 on every platform.
enum NameKind { kByteName, kUtf8Name };

FILE* OpenNamed(const std::string& path, const char* mode, NameKind kind) {
#ifdef _WIN32
    if (kind == kUtf8Name) {
        std::wstring wideMode(mode, mode + strlen(mode));
        return _wfopen(std::filesystem::u8path(path).c_str(), wideMode.c_str());
    }
#else
    (void)kind;
#endif
    return fopen(path.c_str(), mode);
}

void WriteFile(const std::string& path, const std::string& data, NameKind kind = kByteName) {
    FILE* f = OpenNamed(path, "wb", kind);
    ASSERT_NE(f, nullptr) << path;
    fwrite(data.data(), 1, data.size(), f);
    fclose(f);
}

std::string ReadFile(const std::string& path, NameKind kind = kByteName) {
    std::string data;
    FILE* f = OpenNamed(path, "rb", kind);
    if (!f) return data;
    data = ReadToEnd(f);
    fclose(f);
    return data;
}

bool Exists(const std::string& path, NameKind kind = kByteName) {
    FILE* f = OpenNamed(path, "rb", kind);
    if (f) fclose(f);
    return f != nullptr;
}

std::string Hex(uint32_t value) {
    char text[16];
    snprintf(text, sizeof text, "%08x", (unsigned)value);
    return text;
}

// Everything below `dir`, files and folders, as UTF-8 paths relative to it ('/' between parts).
std::vector<std::string> TreeBelow(const std::string& dir) {
    std::vector<std::string> found;
    std::filesystem::path root = std::filesystem::u8path(dir);
    if (!std::filesystem::exists(root)) return found;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root))
        found.push_back(entry.path().lexically_relative(root).generic_u8string());
    std::sort(found.begin(), found.end());
    return found;
}

// Where the launcher's own loader and lookup (what update.exe runs) find a code page 932 name
// in an archive, or -1.
int32_t LauncherOffset(const std::string& archive, const char* cp932Name) {
    ArchiveHeader header;
    ArchiveIndexEntry* index = nullptr;
    if (LoadArchiveIndex(archive.c_str(), &header, &index) != 1) return -1;
    int32_t offset = -1;
    if (!LookupArchiveOffset(index, header.entryCount, ComputeLookupKey(cp932Name), &offset))
        offset = -1;
    ReleaseArchiveIndex(index);
    return offset;
}

class ArcTool : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = TestScratchDir("arc_tool_");
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
        std::filesystem::create_directories(std::filesystem::u8path(Path(relative)));
    }

    std::string dir_;
};

TEST_F(ArcTool, ArgumentsAndHelp) {
    const std::vector<ToolCase> kCases = {
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
        {"help shows extract", {"--help"}, 0, "extract ARC [NAMES...] [-o DIR]"},
        {"help shows --names", {"--help"}, 0, "--names utf-8|cp932"},
        {"extract without archive", {"extract"}, 2, "extract:"},
        {"extract with -o and no folder", {"extract", "a.arc", "-o"}, 2, "-o takes"},
        {"unknown option", {"extract", "a.arc", "--forse"}, 2, "unknown option '--forse'"},
        {"--names with an unknown value", {"hash", "--names", "latin1", "a"}, 2, "--names takes"},
        {"--names without a value", {"list", "a.arc", "--names"}, 2, "--names takes"},
        {"--force is extract's own", {"pack", "--force", "o.arc", "x"}, 2, "unknown option"},
    };
    ExpectToolCases(VORLIN_ARC_TOOL, kCases);
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
    // What the launcher would not read is counted, and named with -v.
#ifdef _WIN32
    const char* leftOut = "left out 11 files and 1 folder that";
#else
    const char* leftOut = "left out 11 files and 2 folders that";
#endif
    EXPECT_NE(r.output.find(leftOut), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("-v names each"), std::string::npos) << r.output;
    RunResult named = RunTool({"pack", Path("named.arc"), "-v", Path("media")});
    ASSERT_EQ(named.status, 0) << named.output;
    for (const File& f : kFiles) {
        if (f.packed) continue;
        std::string path = f.path;
        std::string shown = path.substr(0, path.find('/'));  // a left-out folder, or the file
        std::string line = "left out " + Path("media/" + shown) + ": ";
#ifdef _WIN32
        std::replace(line.begin(), line.end(), '/', '\\');
#endif
        EXPECT_NE(named.output.find(line), std::string::npos) << line << "\n" << named.output;
    }

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

    // --all keeps everything, for an archive the game reads: each file under its own name.
    r = RunTool({"pack", "--all", Path("all.arc"), Path("media")});
    ASSERT_EQ(r.status, 0) << r.output;
    size_t count = sizeof kFiles / sizeof kFiles[0] + 1;  // and the full-width name
    EXPECT_NE(r.output.find("packed " + std::to_string(count) + " files"), std::string::npos)
        << r.output;
    EXPECT_EQ(r.output.find("left out"), std::string::npos) << r.output;
    ASSERT_EQ(LoadArchiveIndex(Path("all.arc").c_str(), &header, &index), 1);
    bytes = ReadFile(Path("all.arc"));
    EXPECT_EQ(header.entryCount, count);
    for (const File& f : kFiles) {
        std::string name = f.path;
        name = name.substr(name.rfind('/') + 1);
        int32_t offset = 0;
        ASSERT_EQ(
            LookupArchiveOffset(index, header.entryCount, ComputeLookupKey(name.c_str()), &offset),
            1)
            << f.path;
        EXPECT_EQ(bytes.substr((size_t)offset, strlen(f.data)), f.data) << f.path;
    }
    ReleaseArchiveIndex(index);
    // Without --all, pack says how to keep what it leaves out.
    EXPECT_NE(named.output.find("--all keeps them"), std::string::npos) << named.output;
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
    std::string wrongMagic = RawArchiveBytes(2, {{0x10, 52}, {0x20, 56}, {0xFFFFFFFFu, 58}}, data);
    wrongMagic[15] = '?';
    const Case kCases[] = {
        {"good", RawArchiveBytes(2, {{0x10, 52}, {0x20, 56}, {0xFFFFFFFFu, 58}}, data), 0,
         "good, 2 files"},
        {"no files", RawArchiveBytes(0, {{0xFFFFFFFFu, 36}}, ""), 0, "good, 0 files"},
        {"high hash after low",
         RawArchiveBytes(2, {{0x7FFFFFFFu, 52}, {0x80000000u, 56}, {0, 58}}, data), 0, "good"},
        {"wrong magic", wrongMagic, 1, "wrong magic"},
        {"short", std::string("VorlinArcV1.000\0\2\0\0", 20), 1, "shorter than the 28-byte header"},
        {"index past the end", RawArchiveBytes(5, {{0x10, 52}, {0x20, 56}, {0xFFFFFFFFu, 58}}, ""),
         1, "runs past the end"},
        {"huge count", RawArchiveBytes(0xFFFFFFFFu, {{0x10, 52}}, data), 1, "runs past the end"},
        {"signed order", RawArchiveBytes(2, {{0x80000000u, 52}, {0x7FFFFFFFu, 56}, {0, 58}}, data),
         1, "out of order"},
        {"duplicate hash", RawArchiveBytes(2, {{0x10, 52}, {0x10, 56}, {0, 58}}, data), 1,
         "hash 00000010 appears more than once"},
        {"offset past the end", RawArchiveBytes(2, {{0x10, 52}, {0x20, 99}, {0, 58}}, data), 1,
         "past the end of the file"},
        {"offset at 2^31", RawArchiveBytes(2, {{0x10, 52}, {0x20, 0x80000000u}, {0, 58}}, data), 1,
         "at or above 2^31"},
        {"offset into the index", RawArchiveBytes(2, {{0x10, 40}, {0x20, 56}, {0, 58}}, data), 1,
         "points into the header or index"},
        // The final entry {0xFFFFFFFF, end of data} that vorlin-arc writes holds the file's end.
        {"cut short by a byte",
         RawArchiveBytes(2, {{0x10, 52}, {0x20, 56}, {0xFFFFFFFFu, 58}}, "aaaab"), 1,
         "the file has only 57 bytes: the archive is cut short"},
        {"cut short inside the first file",
         RawArchiveBytes(2, {{0x10, 52}, {0x20, 56}, {0xFFFFFFFFu, 58}}, "aa"), 1, "cut short"},
        {"longer than its data",
         RawArchiveBytes(2, {{0x10, 52}, {0x20, 56}, {0xFFFFFFFFu, 58}}, "aaaabbzz"), 1,
         "2 bytes follow the end of the data"},
        {"a file after the end of the data",
         RawArchiveBytes(2, {{0x10, 52}, {0x20, 57}, {0xFFFFFFFFu, 56}}, "aaaab"), 1,
         "offset 57 lies after the end of the data"},
        {"the end of the data inside the index",
         RawArchiveBytes(2, {{0x10, 52}, {0x20, 56}, {0xFFFFFFFFu, 30}}, data), 1,
         "inside the header or index"},
        {"another writer's final entry is not read",
         RawArchiveBytes(2, {{0x10, 52}, {0x20, 56}, {0x1234, 9999}}, data), 0, "good, 2 files"},
    };
    for (const Case& c : kCases) {
        WriteFile(Path("test.arc"), c.bytes);
        RunResult r = RunTool({"verify", Path("test.arc")});
        EXPECT_EQ(r.status, c.status) << c.name << "\n" << r.output;
        EXPECT_NE(r.output.find(c.text), std::string::npos) << c.name << "\n" << r.output;
        // Each problem is a finding as a compiler reports one: "ARC: error: ...".
        if (c.status == 1) {
            EXPECT_NE(r.output.find("test.arc: error: "), std::string::npos) << c.name << r.output;
        }
    }
}

// The key of a name is that of its code page 932 text, as Windows' code page 932 converts it
// (MultiByteToWideChar(932) reads each result back as the character given). Where Japanese
// converters disagree (JIS X 0208 against Microsoft's table, NEC against IBM codes), Windows'
// choice is the one here; characters that Windows converts only by a best-fit guess are refused.
TEST_F(ArcTool, HashKeysNamesByTheirCodePage932Text) {
    struct Case {
        const char* name;
        const char* mode;   // --names, or null
        const char* given;  // UTF-8 unless the row says otherwise
        const char* cp932;  // the launcher's name, or null when refused
        const char* text;   // in the refusal
    };
    const Case kCases[] = {
        {"ASCII", nullptr, "Update.RCT", "Update.RCT", nullptr},
        {"kanji", nullptr, u8"背景画像.rct", "\x94\x77\x8c\x69\x89\xe6\x91\x9c.rct", nullptr},
        {"trail byte 0x5C", nullptr, u8"表.rct", "\x95\x5c.rct", nullptr},
        {"trail byte 0x5C in a folder too", nullptr, u8"表/表.rct", "\x95\x5c/\x95\x5c.rct",
         nullptr},
        {"--names utf-8", "utf-8", u8"表.rct", "\x95\x5c.rct", nullptr},
        {"full-width tilde", nullptr, u8"～.rct", "\x81\x60.rct", nullptr},
        {"wave dash: no form (best fit only)", nullptr, u8"〜.rct", nullptr, "U+301C"},
        {"wave dash: the message names the tilde", nullptr, u8"〜.rct", nullptr, "U+FF5E"},
        {"full-width hyphen-minus (trail 0x7C)", nullptr, u8"－.rct", "\x81\x7c.rct", nullptr},
        {"minus sign: no form", nullptr, u8"−.rct", nullptr, "U+2212"},
        {"horizontal bar (trail 0x5C)", nullptr, u8"―.rct", "\x81\x5c.rct", nullptr},
        {"em dash: no form", nullptr, u8"—.rct", nullptr, "U+2014"},
        {"parallel to", nullptr, u8"∥.rct", "\x81\x61.rct", nullptr},
        {"double vertical line: no form", nullptr, u8"‖.rct", nullptr, "U+2016"},
        {"full-width not sign", nullptr, u8"￢.rct", "\x81\xca.rct", nullptr},
        {"not sign: no form", nullptr, u8"¬.rct", nullptr, "U+00AC"},
        {"yen sign: no form, never a backslash", nullptr, u8"¥.rct", nullptr, "U+00A5"},
        {"small Roman numeral: IBM code, not NEC's", nullptr, u8"ⅰ.rct", "\xfa\x40.rct", nullptr},
        {"Roman numeral: NEC code, not IBM's", nullptr, u8"Ⅰ.rct", "\x87\x54.rct", nullptr},
        {"because: JIS code, not NEC's or IBM's", nullptr, u8"∵.rct", "\x81\xe6.rct", nullptr},
        {"IBM kanji: IBM code, not NEC-selected", nullptr, u8"纊.rct", "\xfa\x5c.rct", nullptr},
        {"half-width katakana", nullptr, u8"ｱ.rct", "\xb1.rct", nullptr},
        {"private use: user-defined area", nullptr, u8"\ue000.rct", "\xf0\x40.rct", nullptr},
        {"Hangul: no form", nullptr, u8"한국.rct", nullptr, "U+D55C"},
        {"emoji: no form", nullptr, u8"😀.rct", nullptr, "U+1F600"},
#ifdef _WIN32
        {"Windows names are Unicode whatever --names says", "cp932", u8"表.rct", "\x95\x5c.rct",
         nullptr},
#else
        {"code page 932 bytes as they are", nullptr, "\x95\x5c.rct", "\x95\x5c.rct", nullptr},
        {"bytes that are UTF-8 too are converted", nullptr, "\xe3\x81\xb1.rct", "\x82\xcf.rct",
         nullptr},
        {"--names cp932 keeps them", "cp932", "\xe3\x81\xb1.rct", "\xe3\x81\xb1.rct", nullptr},
        {"--names cp932 keeps UTF-8 bytes", "cp932", u8"表.rct", u8"表.rct", nullptr},
        {"--names utf-8 refuses what is not UTF-8", "utf-8", "\x95\x5c.rct", nullptr, "not UTF-8"},
#endif
    };
    for (const Case& c : kCases) {
        std::vector<std::string> args = {"hash"};
        if (c.mode) args.insert(args.end(), {"--names", c.mode});
        args.push_back(c.given);
        RunResult r = RunTool(args);
        if (c.cp932) {
            EXPECT_EQ(r.status, 0) << c.name << "\n" << r.output;
            EXPECT_EQ(r.output.substr(0, 8), Hex(ComputeLookupKey(c.cp932))) << c.name << "\n"
                                                                             << r.output;
        } else {
            EXPECT_EQ(r.status, 1) << c.name << "\n" << r.output;
            EXPECT_NE(r.output.find(c.text), std::string::npos) << c.name << "\n" << r.output;
        }
    }
}

// Packing keys each file by its code page 932 name, so the launcher finds a file named in UTF-8
// on Linux; a name that cannot be keyed stops the pack before anything is written.
TEST_F(ArcTool, PackKeysNamesAsTheLauncherLooksThemUp) {
    enum Outcome { kKeyed, kSkipped, kRefused };
    struct Case {
        const char* name;
        const char* file;
        NameKind kind;
        const char* mode;  // --names, or null
        Outcome outcome;
        const char* expect;  // kKeyed: the launcher's name; kRefused: text of the refusal
    };
    const Case kCases[] = {
        {"UTF-8 kanji", u8"背景画像.rct", kUtf8Name, nullptr, kKeyed,
         "\x94\x77\x8c\x69\x89\xe6\x91\x9c.rct"},
        {"UTF-8 with a 0x5C trail byte", u8"表.rct", kUtf8Name, nullptr, kKeyed, "\x95\x5c.rct"},
        {"--names utf-8", u8"表.rct", kUtf8Name, "utf-8", kKeyed, "\x95\x5c.rct"},
        {"--names cp932 keeps code page 932 bytes", "\xe3\x81\xb1.rct", kByteName, "cp932", kKeyed,
         "\xe3\x81\xb1.rct"},
        {"Hangul has no code page 932 form", u8"한국.rct", kUtf8Name, nullptr, kRefused, "U+D55C"},
        {"nor has the wave dash", u8"〜.rct", kUtf8Name, nullptr, kRefused, "U+301C"},
        {"a file the launcher skips needs none", u8"한국.txt", kUtf8Name, nullptr, kSkipped,
         nullptr},
#ifdef _WIN32
        {"Windows names are Unicode whatever --names says", u8"表.rct", kUtf8Name, "cp932", kKeyed,
         "\x95\x5c.rct"},
#else
        {"code page 932 bytes by default", "\x95\x5c.rct", kByteName, nullptr, kKeyed,
         "\x95\x5c.rct"},
        {"bytes that are UTF-8 too are converted", "\xe3\x81\xb1.rct", kByteName, nullptr, kKeyed,
         "\x82\xcf.rct"},
        {"--names cp932 keeps UTF-8 bytes", u8"表.rct", kUtf8Name, "cp932", kKeyed, u8"表.rct"},
        {"--names utf-8 refuses what is not UTF-8", "\x95\x5c.rct", kByteName, "utf-8", kRefused,
         "not UTF-8"},
#endif
    };
    int n = 0;
    for (const Case& c : kCases) {
        std::string media = "media" + std::to_string(++n), archive = Path(media + ".arc");
        MakeDir(media);
        WriteFile(Path(media + "/plain.bin"), "plain");
        WriteFile(Path(media + "/") + c.file, "named", c.kind);
        std::vector<std::string> args = {"pack", archive, Path(media)};
        if (c.mode) args.insert(args.begin() + 1, {"--names", c.mode});
        RunResult r = RunTool(args);
        if (c.outcome == kRefused) {
            EXPECT_EQ(r.status, 1) << c.name << "\n" << r.output;
            EXPECT_NE(r.output.find(Path(media)), std::string::npos) << c.name << "\n" << r.output;
            EXPECT_NE(r.output.find(c.expect), std::string::npos) << c.name << "\n" << r.output;
            // The message names the file as it is, whatever characters code page 932 lacks.
            if (c.kind == kUtf8Name) {
                EXPECT_NE(r.output.find(c.file), std::string::npos) << c.name << "\n" << r.output;
            }
            EXPECT_FALSE(Exists(archive)) << c.name;
            continue;
        }
        ASSERT_EQ(r.status, 0) << c.name << "\n" << r.output;
        std::string bytes = ReadFile(archive);
        EXPECT_EQ(bytes.substr(LauncherOffset(archive, "plain.bin"), 5), "plain") << c.name;
        if (c.outcome == kSkipped) {
            EXPECT_NE(r.output.find("packed 1 file,"), std::string::npos) << c.name << r.output;
            EXPECT_NE(r.output.find("left out 1 file and 0 folders"), std::string::npos)
                << c.name << r.output;
            continue;
        }
        int32_t offset = LauncherOffset(archive, c.expect);
        ASSERT_GE(offset, 0) << c.name;
        EXPECT_EQ(bytes.substr((size_t)offset, 5), "named") << c.name;
    }
}

// An archive stores no sizes: a file runs to where the next one in data order begins, whatever
// order the index (sorted by hash) lists them in.
TEST_F(ArcTool, ListSizesFollowTheDataOrder) {
    // Three files; the data starts at 28 + 4 * 8 = 60.
    const uint32_t kEnd = 0xFFFFFFFFu;
    struct Case {
        const char* name;
        std::string bytes;
        const char* sizes[3];  // of hashes 0x10, 0x20, 0x30
    };
    const Case kCases[] = {
        {"data in index order",
         RawArchiveBytes(3, {{0x10, 60}, {0x20, 64}, {0x30, 66}, {kEnd, 67}}, "AAAABBC"),
         {"4", "2", "1"}},
        {"data in another order",
         RawArchiveBytes(3, {{0x10, 60}, {0x20, 66}, {0x30, 64}, {kEnd, 67}}, "AAAABBC"),
         {"4", "1", "2"}},
        {"data in reverse order",
         RawArchiveBytes(3, {{0x10, 63}, {0x20, 61}, {0x30, 60}, {kEnd, 67}}, "CBBAAAA"),
         {"4", "2", "1"}},
        {"the final entry ends the data before the end of the file",
         RawArchiveBytes(3, {{0x10, 60}, {0x20, 66}, {0x30, 64}, {kEnd, 67}}, "AAAABBCzz"),
         {"4", "1", "2"}},
        {"a final entry of 0 leaves the end of the file",
         RawArchiveBytes(3, {{0x10, 66}, {0x20, 60}, {0x30, 64}, {0, 0}}, "AAAABBC"),
         {"1", "4", "2"}},
        {"an empty file, then the next in index order at the same offset",
         RawArchiveBytes(3, {{0x10, 60}, {0x20, 60}, {0x30, 64}, {kEnd, 66}}, "AAAABB"),
         {"0", "4", "2"}},
        {"an offset past the end",
         RawArchiveBytes(3, {{0x10, 60}, {0x20, 99}, {0x30, 64}, {kEnd, 67}}, "AAAABBC"),
         {"4", "past end", "3"}},
        {"cut short: the last file is not sized to what is left",
         RawArchiveBytes(3, {{0x10, 60}, {0x20, 64}, {0x30, 66}, {kEnd, 68}}, "AAAABBC"),
         {"4", "2", "cut short"}},
    };
    for (const Case& c : kCases) {
        WriteFile(Path("test.arc"), c.bytes);
        RunResult r = RunTool({"list", Path("test.arc")});
        EXPECT_EQ(r.status, 0) << c.name << "\n" << r.output;
        for (uint32_t i = 0; i < 3; i++) {
            uint32_t offset = (uint32_t)(uint8_t)c.bytes[32 + 8 * i] |
                              (uint32_t)(uint8_t)c.bytes[33 + 8 * i] << 8;
            char line[96];
            snprintf(line, sizeof line, "%08x  %10u  %10s  \n", (unsigned)(0x10 * (i + 1)),
                     (unsigned)offset, c.sizes[i]);
            EXPECT_NE(r.output.find(line), std::string::npos) << c.name << ": " << line << r.output;
        }
    }
    // extract writes the same sizes.
    WriteFile(Path("test.arc"), kCases[1].bytes);
    ASSERT_EQ(RunTool({"extract", Path("test.arc"), "-o", Path("out")}).status, 0);
    EXPECT_EQ(ReadFile(Path("out/00000010")), "AAAA");
    EXPECT_EQ(ReadFile(Path("out/00000020")), "C");
    EXPECT_EQ(ReadFile(Path("out/00000030")), "BB");
    // extract refuses a file whose data runs past the end of a cut-short archive, and writes no
    // short copy of it.
    WriteFile(Path("test.arc"), kCases[7].bytes);
    RunResult r = RunTool({"extract", Path("test.arc"), "-o", Path("cut")});
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find("entry 2 (hash 00000030): its data runs past the end of"),
              std::string::npos)
        << r.output;
    EXPECT_NE(r.output.find("(the archive is cut short)"), std::string::npos) << r.output;
    EXPECT_FALSE(Exists(Path("cut/00000030"))) << "a short copy of the cut-off file";
}

// A tree packed from UTF-8 names comes back out: by name, each file under its own path (either
// separator), and without names, each file under its hash.
TEST_F(ArcTool, PackAndExtractRoundTrip) {
    struct File {
        const char* path;   // below the packed folder, UTF-8
        const char* cp932;  // its file name as the launcher names it
        const char* asked;  // the NAME given to extract
        const char* data;
    };
    const File kFiles[] = {
        {"vorlin.env", "vorlin.env", "vorlin.env", "TITLEBAR Test\n"},
        {"pics/Update.RCT", "update.rct", "pics\\Update.RCT", "picture data"},
        {u8"背景/背景画像.rct", "\x94\x77\x8c\x69\x89\xe6\x91\x9c.rct", u8"背景\\背景画像.rct",
         "background"},
        {u8"表.rct", "\x95\x5c.rct", u8"表.rct", "table"},
        {u8"深い/フォルダ/～.dat", "\x81\x60.dat", u8"深い/フォルダ/～.dat", "deep"},
        {"empty/empty.bin", "empty.bin", "./empty//empty.bin", ""},
    };
    std::vector<std::string> names = {"extract", Path("a.arc"), "-o", Path("byname")};
    for (const File& f : kFiles) {
        std::string path = "media/" + std::string(f.path);
        MakeDir(path.substr(0, path.rfind('/')));
        WriteFile(Path(path), f.data, kUtf8Name);
        names.push_back(f.asked);
    }
    RunResult r = RunTool({"pack", Path("a.arc"), Path("media")});
    ASSERT_EQ(r.status, 0) << r.output;
    std::string bytes = ReadFile(Path("a.arc"));
    for (const File& f : kFiles) {
        int32_t offset = LauncherOffset(Path("a.arc"), f.cp932);
        ASSERT_GE(offset, 0) << f.path;
        EXPECT_EQ(bytes.substr((size_t)offset, strlen(f.data)), f.data) << f.path;
    }

    r = RunTool(names);
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("extracted 6 files"), std::string::npos) << r.output;
    std::vector<std::string> expected;
    for (const File& f : kFiles) {
        std::string path = f.asked;
        std::replace(path.begin(), path.end(), '\\', '/');
        EXPECT_EQ(ReadFile(Path("byname/" + path), kUtf8Name), f.data) << f.asked;
        expected.push_back(std::filesystem::u8path(path).lexically_normal().generic_u8string());
    }
    std::vector<std::string> written;
    for (const std::string& p : TreeBelow(Path("byname")))
        if (std::filesystem::is_regular_file(std::filesystem::u8path(Path("byname/" + p))))
            written.push_back(p);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(written, expected);
#ifndef _WIN32
    // Code page 932 bytes name the same file, and are written as they are: a trail byte 0x5C
    // is part of its character, not a separator.
    r = RunTool(
        {"extract", Path("a.arc"), "\x95\x5c.rct", "cp\\\x95\x5c.rct", "-o", Path("bytes")});
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(TreeBelow(Path("bytes")),
              (std::vector<std::string>{"cp", "cp/\x95\x5c.rct", "\x95\x5c.rct"}));
    EXPECT_EQ(ReadFile(Path("bytes/cp/\x95\x5c.rct")), "table");
#endif

    r = RunTool({"extract", Path("a.arc"), "-o", Path("byhash")});
    ASSERT_EQ(r.status, 0) << r.output;
    std::vector<std::string> hashes;
    for (const File& f : kFiles) {
        std::string hash = Hex(ComputeLookupKey(f.cp932));
        EXPECT_EQ(ReadFile(Path("byhash/" + hash)), f.data) << f.path;
        hashes.push_back(hash);
    }
    std::sort(hashes.begin(), hashes.end());
    EXPECT_EQ(TreeBelow(Path("byhash")), hashes);
}

// A NAME that could lead out of the output folder, or that is not in the archive, is refused,
// and then nothing at all is written, not even the good names beside it.
TEST_F(ArcTool, ExtractWritesNothingOutsideItsFolder) {
    MakeDir("media");
    MakeDir("out");
    WriteFile(Path("media/x"), "data");
    ASSERT_EQ(RunTool({"pack", Path("a.arc"), Path("media")}).status, 0);
    struct Case {
        const char* name;
        std::vector<std::string> names;
        const char* text;
    };
    const Case kCases[] = {
        {"parent by backslash", {"..\\x"}, "'..'"},
        {"parent by slash", {"../x"}, "'..'"},
        {"parent further down", {"a/../../x"}, "'..'"},
        {"parent that would come back", {"a/../x"}, "'..'"},
        {"drive letter", {"C:\\x"}, "drive letter"},
        {"drive-relative", {"C:x"}, "drive letter"},
        {"absolute", {"/etc/x"}, "absolute"},
        {"root of the drive", {"\\x"}, "absolute"},
        {"stream", {"sub/x:data"}, "':'"},
        {"device", {"sub/nul.x"}, "device"},
        {"dots Windows drops", {"...\\x"}, "dot"},
        {"beside a good name", {"x", "../x"}, "../x: refused"},
        {"unknown name", {"missing.bin"}, "missing.bin (hash "},
        {"unknown name beside a good one", {"x", "missing.bin"}, "missing.bin (hash "},
    };
    const char* kOutside[] = {"/etc/x", "C:\\x", "\\x"};
    for (const Case& c : kCases) {
        std::vector<std::string> args = {"extract", Path("a.arc"), "-o", Path("out")};
        args.insert(args.end(), c.names.begin(), c.names.end());
        RunResult r = RunTool(args);
        EXPECT_EQ(r.status, 1) << c.name << "\n" << r.output;
        EXPECT_NE(r.output.find(c.text), std::string::npos) << c.name << "\n" << r.output;
        EXPECT_EQ(TreeBelow(Path("out")), std::vector<std::string>()) << c.name;
        EXPECT_FALSE(Exists(Path("x"))) << c.name;
        for (const char* outside : kOutside) EXPECT_FALSE(Exists(outside)) << c.name;
    }
#ifndef _WIN32
    // A folder inside that is a link to one outside.
    MakeDir("outside");
    std::filesystem::create_directory_symlink(Path("outside"), Path("out/link"));
    const std::vector<std::string> kThroughLink[] = {
        {"link/x"}, {"link/deeper/x"}, {"x", "link/x"}};
    for (const std::vector<std::string>& names : kThroughLink) {
        std::vector<std::string> args = {"extract", Path("a.arc"), "-o", Path("out")};
        args.insert(args.end(), names.begin(), names.end());
        RunResult r = RunTool(args);
        EXPECT_EQ(r.status, 1) << names.back() << "\n" << r.output;
        EXPECT_NE(r.output.find("leads out of"), std::string::npos) << names.back() << r.output;
        EXPECT_EQ(TreeBelow(Path("outside")), std::vector<std::string>()) << names.back();
        EXPECT_EQ(TreeBelow(Path("out")), std::vector<std::string>{"link"}) << names.back();
    }
#endif
}

// A file already there stays unless --force is given; then it is replaced as a whole (a link
// standing there is replaced, not written through).
TEST_F(ArcTool, ExtractReplacesFilesOnlyWithForce) {
    MakeDir("media/pics");
    WriteFile(Path("media/x"), "new x");
    WriteFile(Path("media/pics/y"), "new y");
    ASSERT_EQ(RunTool({"pack", Path("a.arc"), Path("media")}).status, 0);
    MakeDir("out/pics");
    WriteFile(Path("out/x"), "old x");

    RunResult r = RunTool({"extract", Path("a.arc"), "x", "pics/y", "-o", Path("out")});
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find("is already there (--force replaces it)"), std::string::npos)
        << r.output;
    EXPECT_EQ(ReadFile(Path("out/x")), "old x");
    EXPECT_FALSE(Exists(Path("out/pics/y")));

    r = RunTool({"extract", "--force", Path("a.arc"), "x", "pics/y", "-o", Path("out")});
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(ReadFile(Path("out/x")), "new x");
    EXPECT_EQ(ReadFile(Path("out/pics/y")), "new y");
    EXPECT_EQ(TreeBelow(Path("out")), (std::vector<std::string>{"pics", "pics/y", "x"}));

    MakeDir("folder/x");
    r = RunTool({"extract", "--force", Path("a.arc"), "x", "-o", Path("folder")});
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find("is a folder"), std::string::npos) << r.output;
#ifndef _WIN32
    WriteFile(Path("target"), "outside");
    MakeDir("linked");
    std::filesystem::create_symlink(Path("target"), Path("linked/x"));
    EXPECT_EQ(RunTool({"extract", Path("a.arc"), "x", "-o", Path("linked")}).status, 1);
    EXPECT_EQ(RunTool({"extract", Path("a.arc"), "x", "-o", Path("linked"), "--force"}).status, 0);
    EXPECT_EQ(ReadFile(Path("target")), "outside");
    EXPECT_FALSE(std::filesystem::is_symlink(Path("linked/x")));
    EXPECT_EQ(ReadFile(Path("linked/x")), "new x");
#endif
}

}  // namespace
