// The media tool run as a process: sealing a media and reading the seal back with the launcher's
// parser, a help file with a Japanese name, finding vorlin.env where the launcher finds it, and
// checking good media, media with warnings only, and one media per kind of error; converting a
// settings file from UTF-8 to code page 932.
#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "image/rct_encode.h"
#include "resfs/archive_format.h"
#include "resfs/cp932_lower.h"
#include "tests/tools/archive_bytes.h"
#include "tests/tools/tool_runner.h"
#include "update/core/sum_file.h"
#include "vorlin_version.h"

namespace fs = std::filesystem;

namespace {

RunResult RunTool(const std::vector<std::string>& args) {
    return RunProgram(VORLIN_MEDIA_TOOL, args);
}

void WriteFile(const fs::path& path, const std::string& data) {
    fs::create_directories(path.parent_path());
#ifdef _WIN32
    FILE* f = _wfopen(path.c_str(), L"wb");
#else
    FILE* f = fopen(path.c_str(), "wb");
#endif
    ASSERT_NE(f, nullptr) << path.u8string();
    fwrite(data.data(), 1, data.size(), f);
    fclose(f);
}

std::string ReadFile(const fs::path& path) {
    std::string data;
#ifdef _WIN32
    FILE* f = _wfopen(path.c_str(), L"rb");
#else
    FILE* f = fopen(path.c_str(), "rb");
#endif
    if (!f) return data;
    data = ReadToEnd(f);
    fclose(f);
    return data;
}

struct ArcFile {
    std::string name;  // code page 932
    std::string data;
};

// An archive as vorlin-arc packs it: entries sorted by lookup key, data in index order, the
// final entry holding the end of the data. `extra` adds raw index entries (for broken ones).
std::string ArchiveBytes(std::vector<ArcFile> files, std::vector<ArchiveIndexEntry> extra = {}) {
    std::sort(files.begin(), files.end(), [](const ArcFile& a, const ArcFile& b) {
        return ComputeLookupKey(a.name.c_str()) < ComputeLookupKey(b.name.c_str());
    });
    uint32_t count = (uint32_t)(files.size() + extra.size());
    uint32_t offset = kArchiveHeaderSize + (count + 1) * kArchiveEntrySize;
    std::vector<ArchiveIndexEntry> index;
    std::string data;
    for (const ArcFile& f : files) {
        index.push_back({ComputeLookupKey(f.name.c_str()), offset + (uint32_t)data.size()});
        data += f.data;
    }
    index.insert(index.end(), extra.begin(), extra.end());
    std::sort(index.begin(), index.end(),
              [](const ArchiveIndexEntry& a, const ArchiveIndexEntry& b) {
                  return a.nameHash < b.nameHash;
              });
    index.push_back({kEndOfDataHash, offset + (uint32_t)data.size()});
    return RawArchiveBytes(count, index, data);
}

std::string Picture(int32_t width, int32_t height) {
    std::vector<uint8_t> bgr((size_t)width * height * 3);
    for (size_t i = 0; i < bgr.size(); i++) bgr[i] = (uint8_t)(i * 7 / 5);
    std::vector<uint8_t> stream, file;
    EXPECT_EQ(RctCompress(bgr.data(), width, height, kRctParseGreedy, &stream), kRctOk);
    EXPECT_EQ(RctBuildFile(kRctTC00, width, height, nullptr, 0, stream, &file), kRctOk);
    return std::string(file.begin(), file.end());
}

const char kEnv[] = "TITLEBAR Test|Game\r\nVERSION Ver|2.00\r\nEXENAME Game.exe\r\n[EOF]\r\n";

// A stand-in for the launcher: a Windows program begins with "MZ".
const char kLauncher[] = "MZ stands in for update.exe";

// The names an update from the good media copies, and what each holds.
std::vector<ArcFile> GoodCopiedFiles() {
    return {
        {"game.bin", "the game's executable"},
        {"update.arc", ArchiveBytes({{"vorlin.env", kEnv}, {"update.rct", Picture(64, 48)}})},
        {"data.arc", ArchiveBytes({{"stage1.dat", std::string(70000, 's')}})},
        {"update.txt", "Read me\r\n"},
        {"help\\a b.htm", "<p>spaces</p>"},
        {"help\\index.htm", "<p>help</p>"},
    };
}

class MediaTool : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::u8path(TestScratchDir("media_tool_"));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    fs::path Media() const { return dir_ / "media"; }
    // A media-relative name with backslashes ("help\index.htm") as a path.
    fs::path At(const std::string& name) const {
        std::string relative = name;
        std::replace(relative.begin(), relative.end(), '\\', '/');
        return Media() / fs::u8path(relative);
    }
    std::string MediaArg() const { return HostPath(Media().u8string()); }

    // The good media: the launcher, the settings and picture in update.arc, the executable, a
    // data archive, the readme and two help files. It has no findings but the notes of absent
    // list entries (with -v).
    void MakeGoodMedia() {
        fs::remove_all(Media());
        fs::create_directories(Media());
        WriteFile(At("update.exe"), kLauncher);
        for (const ArcFile& f : GoodCopiedFiles()) WriteFile(At(f.name), f.data);
    }
    void Seal() {
        RunResult r = RunTool({"seal", MediaArg()});
        ASSERT_EQ(r.status, 0) << r.output;
    }

    fs::path dir_;
};

TEST_F(MediaTool, ArgumentsAndHelp) {
    const std::vector<ToolCase> kCases = {
        {"help", {"--help"}, 0, "usage: vorlin-media"},
        {"help after a command", {"check", "--help"}, 0, "usage: vorlin-media"},
        {"help names the assumed install folder", {"--help"}, 0, "C:\\Program Files\\"},
        {"help names the picture square", {"--help"}, 0, "268"},
        {"help names the registry key", {"--help"}, 0, "HKEY_CURRENT_USER\\Software\\REG_GLOBAL"},
        {"version", {"--version"}, 0, "vorlin-media " VORLIN_VERSION_TEXT},
        {"no command", {}, 2, "usage: vorlin-media"},
        {"unknown command", {"stamp", "media"}, 2, "unknown command 'stamp'"},
        {"seal without media", {"seal"}, 2, "seal:"},
        {"seal with two folders", {"seal", "a", "b"}, 2, "seal:"},
        {"check without media", {"check"}, 2, "check:"},
        {"check with two folders", {"check", "a", "b"}, 2, "check:"},
        {"convert-env with one file", {"convert-env", "a"}, 2, "convert-env:"},
        {"convert-env with three files", {"convert-env", "a", "b", "c"}, 2, "convert-env:"},
        {"help says what a column counts", {"--help"}, 0, "COLUMN counts characters"},
        {"seal of a missing folder",
         {"seal", HostPath((dir_ / "nothing").u8string())},
         1,
         "cannot read the media folder"},
        {"check of a missing folder",
         {"check", HostPath((dir_ / "nothing").u8string())},
         1,
         "cannot read the media folder"},
        {"convert-env of a missing file",
         {"convert-env", HostPath((dir_ / "nothing").u8string()),
          HostPath((dir_ / "vorlin.env").u8string())},
         1,
         "no such file"},
    };
    ExpectToolCases(VORLIN_MEDIA_TOOL, kCases);
    EXPECT_FALSE(fs::exists(dir_ / "vorlin.env"));
}

TEST_F(MediaTool, SealListsWhatAnUpdateCopies) {
    MakeGoodMedia();
    // Not copied by an update, so not sealed: a sub-folder of help, other files of the media.
    WriteFile(At("help\\sub\\deep.htm"), "not copied");
    WriteFile(At("readme.doc"), "not copied");
    WriteFile(At("update.sum"), "an old seal, replaced");
    // Sizes at the edges of the tool's 8 MiB read chunks: empty, exactly two, one byte past one.
    std::vector<ArcFile> expected = GoodCopiedFiles();
    std::string big(16 << 20, '\0');
    for (size_t i = 0; i < big.size(); i++) big[i] = (char)(i * 2654435761u >> 24);
    expected.push_back({"help\\empty.htm", ""});
    expected.push_back({"slowdata.arc", big});
    expected.push_back({"voice2.arc", big.substr(0, (8 << 20) + 1)});
    for (size_t i = expected.size() - 3; i < expected.size(); i++)
        WriteFile(At(expected[i].name), expected[i].data);
    Seal();
    std::string sum = ReadFile(At("update.sum"));
    SumEntry* entries = nullptr;
    uint32_t count = 0;
    ASSERT_EQ(ParseSumFile((const uint8_t*)sum.data(), sum.size(), &entries, &count), kSumOk)
        << sum;
    ASSERT_EQ(count, expected.size()) << sum;
    for (const ArcFile& f : expected) {
        const SumEntry* found = nullptr;
        for (uint32_t i = 0; i < count; i++)
            if (f.name == entries[i].name) found = &entries[i];
        ASSERT_NE(found, nullptr) << f.name << "\n" << sum;
        EXPECT_EQ(found->size, f.data.size()) << f.name;
        EXPECT_EQ(found->digest, ComputeSumDigest(f.data.data(), f.data.size())) << f.name;
    }
    ReleaseSumEntries(entries);
    int others = 0;
    for (const auto& entry : fs::directory_iterator(Media()))
        if (entry.path().filename().u8string().find(".tmp") != std::string::npos) others++;
    EXPECT_EQ(others, 0);

    RunResult r = RunTool({"check", MediaArg()});
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("0 errors"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("update.sum lists 9 files"), std::string::npos) << r.output;
}

// A help file whose name Windows' code page 932 cannot carry is refused by the seal, as the
// launcher could not copy it; nothing is written.
TEST_F(MediaTool, SealRefusesNamesWithoutCodePage932Form) {
    for (const char* name : {u8"\u301C.htm", u8"\u2212.htm", u8"\uD55C.htm"}) {
        MakeGoodMedia();
        WriteFile(Media() / "help" / fs::u8path(name), "x");
        RunResult r = RunTool({"seal", MediaArg()});
        EXPECT_EQ(r.status, 1) << name << "\n" << r.output;
        EXPECT_NE(r.output.find("no code page 932 form"), std::string::npos) << r.output;
        EXPECT_NE(r.output.find(name), std::string::npos) << r.output;
        EXPECT_FALSE(fs::exists(At("update.sum"))) << name;
    }
}

TEST_F(MediaTool, SealNamesJapaneseHelpFilesInCodePage932) {
    MakeGoodMedia();
    // 表示.htm: 表 is 0x95 0x5C in code page 932, its trail byte a backslash.
    WriteFile(Media() / "help" / fs::u8path(u8"\u8868\u793a.htm"), "japanese");
    WriteFile(Media() / fs::u8path(u8"\u8868.bin"), "not copied");
    Seal();
    std::string sum = ReadFile(At("update.sum"));
    char digest[17];
    snprintf(digest, sizeof digest, "%016llx", (unsigned long long)ComputeSumDigest("japanese", 8));
    EXPECT_NE(sum.find(std::string(digest) + " 8 help\\\x95\x5C\x8E\xA6.htm\n"), std::string::npos)
        << sum;
    RunResult r = RunTool({"check", MediaArg()});
    EXPECT_EQ(r.status, 0) << r.output;
}

// Whether the output has a finding "WHERE...: KIND: ...TEXT..." whose WHERE begins with `where`.
bool HasFinding(const std::string& output, const std::string& where, const std::string& kind,
                const std::string& text) {
    size_t start = 0;
    while (start < output.size()) {
        size_t end = output.find('\n', start);
        if (end == std::string::npos) end = output.size();
        std::string line = output.substr(start, end - start);
        size_t at = line.find(": " + kind + ": ");
        if (line.compare(0, where.size(), where) == 0 && at != std::string::npos &&
            line.find(text, at) != std::string::npos)
            return true;
        start = end + 1;
    }
    return false;
}

TEST_F(MediaTool, SettingsAreFoundWhereTheLauncherLooks) {
    const std::string picture = Picture(8, 8);
    struct Case {
        const char* name;
        std::vector<ArcFile> files;
        const char* where;
    };
    const Case kCases[] = {
        {"media folder", {{"VORLIN.ENV", kEnv}, {"update.rct", picture}}, "in the media folder"},
        {"update.arc",
         {{"update.arc", ArchiveBytes({{"vorlin.env", kEnv}, {"update.rct", picture}})}},
         "in update.arc"},
        {"fastdata.arc after an update.arc without it",
         {{"update.arc", ArchiveBytes({{"update.rct", picture}})},
          {"fastdata.arc", ArchiveBytes({{"Vorlin.Env", kEnv}})}},
         "in fastdata.arc"},
        {"update folder, deep",
         {{"update\\conf\\vorlin.env", kEnv}, {"update\\update.rct", picture}},
         "in the update folder"},
        {"update folder when update.arc is no archive",
         {{"update.arc", "not an archive"},
          {"update\\vorlin.env", kEnv},
          {"update\\update.rct", picture}},
         "in the update folder"},
        {"fastdata folder",
         {{"fastdata\\vorlin.env", kEnv}, {"update.rct", picture}},
         "in the fastdata folder"},
    };
    for (const Case& c : kCases) {
        fs::remove_all(Media());
        for (const ArcFile& f : c.files) WriteFile(At(f.name), f.data);
        RunResult r = RunTool({"check", MediaArg()});
        EXPECT_EQ(r.status, 0) << c.name << "\n" << r.output;
        EXPECT_NE(r.output.find(std::string("settings: vorlin.env ") + c.where), std::string::npos)
            << c.name << "\n"
            << r.output;
        // Read from there: EXENAME Game.exe makes the missing executable game.bin.
        EXPECT_NE(r.output.find("game.bin: warning:"), std::string::npos) << c.name << "\n"
                                                                          << r.output;
    }
}

TEST_F(MediaTool, CheckNamesTheRegistryKey) {
    struct Case {
        const char* name;
        std::string env;  // code page 932
        std::string key;  // as printed (UTF-8)
    };
    const Case kCases[] = {
        {"defaults", kEnv, "HKEY_CURRENT_USER\\Software\\VORLIN_SYSTEM\\VORLIN_RUNTIME"},
        {"later lines win, bars are spaces, Japanese names",
         "REG_GLOBAL Old\r\nREG_LOCAL \x90\xAF\x8D\x7E\x82\xE9\r\nREG_GLOBAL Hoshi|Studio\r\n",
         "HKEY_CURRENT_USER\\Software\\Hoshi Studio\\" + std::string(u8"星降る")},
        {"cut as the launcher's getters cut", "REG_LOCAL " + std::string(200, 'k') + "\r\n",
         "HKEY_CURRENT_USER\\Software\\VORLIN_SYSTEM\\" + std::string(127, 'k')},
    };
    for (const Case& c : kCases) {
        fs::remove_all(Media());
        WriteFile(At("vorlin.env"), c.env);
        WriteFile(At("update.rct"), Picture(8, 8));
        RunResult r = RunTool({"check", MediaArg()});
        size_t at = r.output.find("registry key: " + c.key);
        ASSERT_NE(at, std::string::npos) << c.name << "\n" << r.output;
        // The line ends with the key.
        size_t end = at + strlen("registry key: ") + c.key.size();
        EXPECT_TRUE(end < r.output.size() && (r.output[end] == '\n' || r.output[end] == '\r'))
            << c.name << "\n"
            << r.output;
    }
}

TEST_F(MediaTool, WarningsAloneExitZero) {
    MakeGoodMedia();
    fs::remove(At("game.bin"));
    fs::remove(At("update.exe"));
    WriteFile(At("data.arc"), "not an archive");
    WriteFile(At("update.arc"),
              ArchiveBytes({{"vorlin.env", kEnv}, {"update.rct", Picture(300, 20)}}));
    RunResult r = RunTool({"check", "-v", MediaArg()});
    EXPECT_EQ(r.status, 0) << r.output;
    const char* const kWarnings[] = {
        "game.bin: warning: not on the media",
        "data.arc: warning: not in the archive format",
        "update.rct: warning: 300x20 pixels is larger than the menu's 268x268",
        "update.exe: warning: not on the media: players have no launcher to run",
    };
    EXPECT_TRUE(HasFinding(r.output, "update.exe", "warning",
                           "copy update.exe from the vorlin-update package into the media folder"))
        << r.output;
    // A list entry the media does not carry is usual: a note (with -v), not counted as a warning.
    EXPECT_NE(r.output.find("slowdata.arc: note: not on the media: the update skips it"),
              std::string::npos)
        << r.output;
    EXPECT_EQ(r.output.find("slowdata.arc: warning"), std::string::npos) << r.output;
    for (const char* w : kWarnings)
        EXPECT_NE(r.output.find(w), std::string::npos) << w << "\n" << r.output;
    EXPECT_NE(r.output.find("0 errors"), std::string::npos) << r.output;
}

TEST_F(MediaTool, CheckNamesEachError) {
    // Installed as C:\Program Files\<INSTTO of 120 bytes>\help\<124 bytes>: 267 bytes.
    std::string longEnv = "INSTTO " + std::string(120, 'i') + "\n";
    std::string longName = "help\\" + std::string(120, 'l') + ".htm";
    std::string brokenPicture = Picture(16, 16);
    brokenPicture.resize(brokenPicture.size() - 5);
    std::string picture = Picture(64, 48);
    struct Case {
        const char* name;
        bool sealed;  // sealed before the change
        std::function<void()> change;
        const char* file;
        const char* text;
    };
    const Case kCases[] = {
        {"no settings", false,
         [&] {
             WriteFile(At("update.arc"), ArchiveBytes({{"update.rct", picture}}));
         },
         "vorlin.env", "not found"},
        {"backslash in the title", false,
         [&] {
             WriteFile(At("update.arc"),
                       ArchiveBytes({{"vorlin.env", "VERSION v\\2\n"}, {"update.rct", picture}}));
         },
         "vorlin.env", "backslash"},
        {"no picture", false,
         [&] {
             WriteFile(At("update.arc"), ArchiveBytes({{"vorlin.env", kEnv}}));
         },
         "update.rct", "not found"},
        {"picture cut short", false,
         [&] {
             WriteFile(At("update.arc"), ArchiveBytes({{"vorlin.env", kEnv}}));
             WriteFile(At("update.rct"), brokenPicture);
         },
         "update.rct", "does not decode"},
        {"settings saved as UTF-8", false,
         [&] {
             WriteFile(At("update.arc"),
                       ArchiveBytes({{"vorlin.env", std::string("VERSION 2\r\nTITLEBAR ") +
                                                        u8"星降る丘" + "\r\n"},
                                     {"update.rct", picture}}));
         },
         "vorlin.env:2",
         "the text is UTF-8, not code page 932: the launcher would show it garbled; convert it "
         "with vorlin-media convert-env"},
        {"settings with a byte order mark", false,
         [&] {
             WriteFile(At("update.arc"),
                       ArchiveBytes({{"vorlin.env", "\xEF\xBB\xBF" + std::string(kEnv)},
                                     {"update.rct", picture}}));
         },
         "vorlin.env:1",
         "byte order mark, which the launcher reads as part of the first line's "
         "key (that setting is lost): convert the file with vorlin-media convert-env"},
        {"mounted archive fails verify", false,
         [&] {
             WriteFile(At("update.arc"),
                       ArchiveBytes({{"vorlin.env", kEnv}, {"update.rct", picture}},
                                    {{0xFFFFFFF0u, 0x7FFFFF00u}}));
         },
         "update.arc", "fails verify: entry 2"},
        {"mounted archive cut short", false,
         [&] {
             std::string arc = ArchiveBytes({{"vorlin.env", kEnv}, {"update.rct", picture}});
             arc.resize(arc.size() - 100);
             WriteFile(At("update.arc"), arc);
         },
         "update.arc", "the archive is cut short"},
        // Any copied archive, mounted or not, sealed or not: the game would get it so.
        {"copied archive fails verify", false,
         [&] {
             WriteFile(At("voice.arc"),
                       ArchiveBytes({{"v.ogg", "x"}}, {{0xFFFFFFF0u, 0x7FFFFF00u}}));
         },
         "voice.arc", "fails verify: entry"},
        {"copied archive cut short", false,
         [&] {
             std::string arc = ReadFile(At("data.arc"));
             arc.resize(arc.size() - 100);
             WriteFile(At("data.arc"), arc);
         },
         "data.arc", "the archive is cut short"},
        {"copied archive cut short after sealing", true,
         [&] {
             std::string arc = ReadFile(At("data.arc"));
             arc.resize(arc.size() - 100);
             WriteFile(At("data.arc"), arc);
         },
         "data.arc", "fails verify"},
        {"picture that is a renamed PNG", false,
         [&] {
             WriteFile(At("update.arc"), ArchiveBytes({{"vorlin.env", kEnv}}));
             WriteFile(At("update.rct"),
                       std::string("\x89PNG\r\n\x1A\n", 8) + std::string(40, 'p'));
         },
         "update.rct",
         "is a PNG picture, not an RCT one: the launcher cannot show it; encode the picture with "
         "vorlin-rct encode"},
        {"settings saved with Notepad's extension", false,
         [&] {
             WriteFile(At("update.arc"), ArchiveBytes({{"update.rct", picture}}));
             WriteFile(At("vorlin.env.txt"), kEnv);
         },
         "vorlin.env", "the media folder has vorlin.env.txt: rename it to vorlin.env"},
        {"picture not yet encoded", false,
         [&] {
             WriteFile(At("update.arc"), ArchiveBytes({{"vorlin.env", kEnv}}));
             WriteFile(At("update.png"), "a picture");
         },
         "update.rct",
         "the media folder has update.png, a picture the launcher cannot show: "
         "encode it with vorlin-rct encode update.png update.rct"},
        {"destination too long", false,
         [&] {
             WriteFile(At("update.arc"),
                       ArchiveBytes({{"vorlin.env", longEnv}, {"update.rct", picture}}));
             WriteFile(At(longName), "x");
         },
         "help/lll", "267 bytes long, over the 259"},
        {"help name without code page 932 form", false,
         [&] { WriteFile(Media() / "help" / fs::u8path(u8"\U0001F600.htm"), "x"); }, "help/",
         "no code page 932 form"},
        // Windows' code page 932 has U+FF5E and U+FF0D where other tables put these two.
        {"help name with a wave dash", false,
         [&] { WriteFile(Media() / "help" / fs::u8path(u8"\u301C.htm"), "x"); }, "help/",
         "no code page 932 form"},
        {"help name with a minus sign", false,
         [&] { WriteFile(Media() / "help" / fs::u8path(u8"\u2212.htm"), "x"); }, "help/",
         "no code page 932 form"},
        // The message names the character and the one code page 932 has.
        {"help name with a wave dash names the fix", false,
         [&] { WriteFile(Media() / "help" / fs::u8path(u8"\u301C.htm"), "x"); }, "help/",
         u8"U+301C \u301C has no code page 932 form (code page 932 has U+FF5E \uFF5E); rename "
         u8"the file"},
        {"damaged file", true,
         [&] {
             std::string data = ReadFile(At("data.arc"));
             data[40000] ^= 1;
             WriteFile(At("data.arc"), data);
         },
         "data.arc", "damaged"},
        {"resized file", true, [&] { WriteFile(At("update.txt"), "Read me, longer\r\n"); },
         "update.txt", "resized"},
        {"missing file", true, [&] { fs::remove(At("help\\a b.htm")); }, "help\\a b.htm",
         "missing"},
        {"unlisted file", true, [&] { WriteFile(At("help\\new.htm"), "new"); }, "help/new.htm",
         "unlisted"},
        {"unlisted list entry", true, [&] { WriteFile(At("voice3.arc"), "new"); }, "voice3.arc",
         "unlisted"},
        // The launcher copies only the files directly in help: a seal that lists one below it
        // does not describe the update, and the launcher refuses it.
        {"sealed file an update does not copy", true,
         [&] {
             WriteFile(At("help\\sub\\x.htm"), "deep");
             std::string sum = ReadFile(At("update.sum"));
             SumEntry* entries = nullptr;
             uint32_t count = 0;
             ASSERT_EQ(ParseSumFile((const uint8_t*)sum.data(), sum.size(), &entries, &count),
                       kSumOk);
             std::vector<SumEntry> all(entries, entries + count);
             ReleaseSumEntries(entries);
             SumEntry deep = {};
             deep.digest = ComputeSumDigest("deep", 4);
             deep.size = 4;
             strcpy(deep.name, "help\\sub\\x.htm");
             all.push_back(deep);
             char* text = nullptr;
             size_t length = 0;
             ASSERT_EQ(FormatSumFile(all.data(), (uint32_t)all.size(), &text, &length), kSumOk);
             WriteFile(At("update.sum"), std::string(text, length));
             free(text);
         },
         "help\\sub\\x.htm", "not copied"},
        {"malformed seal", true,
         [&] { WriteFile(At("update.sum"), "VORLIN-SUM 1 XXH3-64\nnot an entry\n"); }, "update.sum",
         "malformed"},
        {"damaged seal", true,
         [&] {
             std::string sum = ReadFile(At("update.sum"));
             size_t end = sum.rfind("END ") + 4;
             sum[end] = sum[end] == '0' ? '1' : '0';
             WriteFile(At("update.sum"), sum);
         },
         "update.sum", "damaged"},
    };
    for (const Case& c : kCases) {
        MakeGoodMedia();
        if (c.sealed) Seal();
        c.change();
        RunResult r = RunTool({"check", MediaArg()});
        EXPECT_EQ(r.status, 1) << c.name << "\n" << r.output;
#ifdef _WIN32
        std::string file = c.file;  // messages name files with the platform's separator
        std::replace(file.begin(), file.end(), '/', '\\');
#else
        std::string file = c.file;
#endif
        EXPECT_TRUE(HasFinding(r.output, file, "error", c.text)) << c.name << ": " << file << "\n"
                                                                 << r.output;
    }
}

// Lines of settings, for the launcher's read limits.
std::string SettingLines(int count) {
    std::string text;
    for (int i = 0; i < count; i++) text += "K" + std::to_string(i) + " v\n";
    return text;
}

// The text with every LF made CR LF, as convert-env ends lines.
std::string TextWithCrLf(const std::string& text) {
    std::string out;
    for (char c : text) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return out;
}

std::string Repeat(const std::string& text, int count) {
    std::string out;
    for (int i = 0; i < count; i++) out += text;
    return out;
}

TEST_F(MediaTool, ConvertEnvWritesCodePage932) {
    const std::string kOld = "OLD target\r\n";
    const std::string kStar = u8"\u661F";  // 星: 3 bytes in UTF-8, 2 (0x90 0xAF) in code page 932
    struct Case {
        const char* name;
        std::string source;
        bool inPlace;  // TARGET is SOURCE
        int status;
        std::string target;  // TARGET afterwards; a refusal leaves it as it was
        // In the output ("SRC" stands for SOURCE as given, "DST" for TARGET), and not in it.
        std::vector<std::string> said, unsaid;
    };
    const Case kCases[] = {
        {"LF, no byte order mark",
         "A 1\nB 2\n",
         false,
         0,
         "A 1\r\nB 2\r\n",
         {"wrote DST: 2 lines, code page 932"},
         {"warning"}},
        {"CR LF with a byte order mark",
         "\xEF\xBB\xBF"
         "A 1\r\nB 2\r\n",
         false,
         0,
         "A 1\r\nB 2\r\n",
         {"2 lines"},
         {}},
        {"mixed line ends, the last line unended, a lone CR kept",
         "A 1\r\nB 2\nC 3\r4",
         false,
         0,
         "A 1\r\nB 2\r\nC 3\r4\r\n",
         {"3 lines"},
         {}},
        {"empty", "", false, 0, "", {"wrote DST: 0 lines"}, {}},
        {"Japanese: kanji, trail bytes 0x5C and 0x7C, half-width katakana, full-width tilde",
         u8"TITLEBAR 表示|ポスター\nVERSION ﾊﾞｰｼﾞｮﾝ1～2\n",
         false,
         0,
         "TITLEBAR \x95\x5C\x8E\xA6|\x83\x7C\x83\x58\x83\x5E\x81\x5B\r\n"
         "VERSION \xCA\xDE\xB0\xBC\xDE\xAE\xDD"
         "1\x81\x60"
         "2\r\n",
         {"2 lines"},
         {}},
        {"in place",
         u8"\uFEFFTITLEBAR 星\n",
         true,
         0,
         "TITLEBAR \x90\xAF\r\n",
         {"wrote SRC: 1 line"},
         {}},
        {"wave dash and minus sign refused where they stand, counted in characters",
         u8"TITLEBAR A\nVERSION 星1〜2\nX −1\n",
         false,
         1,
         kOld,
         {u8"SRC:2:11: error: U+301C 〜 has no code page 932 form (code page 932 has U+FF5E ～)",
          u8"SRC:3:3: error: U+2212 − has no code page 932 form (code page 932 has U+FF0D －)",
          "cannot convert SRC: 2 problems; DST not written"},
         {"wrote"}},
        {"Hangul and emoji refused, each of them",
         u8"A 한국\nB 😀\n",
         false,
         1,
         kOld,
         {u8"SRC:1:3: error: U+D55C 한 has no code page 932 form",
          u8"SRC:1:4: error: U+AD6D 국 has no code page 932 form",
          u8"SRC:2:3: error: U+1F600 😀 has no code page 932 form", "3 problems"},
         {}},
        {"refused in place: the file stays",
         u8"A 1\nB 〜\n",
         true,
         1,
         u8"A 1\nB 〜\n",
         {"SRC:2:3: error: U+301C"},
         {}},
        {"not UTF-8, once a line, and no code page 932 either",
         "A \xFF"
         "1\xFF\nB 2\nC \xE3\x81\n",
         false,
         1,
         kOld,
         {"SRC:1:3: error: not UTF-8 (byte 0xFF)\n", "SRC:3:3: error: not UTF-8 (byte 0xE3)\n",
          "2 problems"},
         {"SRC:1:5", "code page 932, it needs"}},
        {"already code page 932",
         "A 1\r\nTITLEBAR \x90\xAF\x8D\x7E\r\nB \x95\x5C\r\n",
         false,
         1,
         kOld,
         {"SRC:2:10: error: not UTF-8 (byte 0x90); if the file is already code page 932, it "
          "needs no conversion",
          "SRC:3:3: error: not UTF-8 (byte 0x95)\n"},
         {}},
        {"UTF-16",
         std::string("\xFF\xFE"
                     "A\0 \0"
                     "1\0",
                     8),
         false,
         1,
         kOld,
         {"SRC:1:1: error: UTF-16, not UTF-8", "1 problem;"},
         {}},
        {"far too large for settings",
         std::string((4 << 20) + 1, 'a'),
         false,
         1,
         kOld,
         {"cannot read SRC: 4194305 bytes is far too large for a settings file"},
         {}},
        {"lines the launcher reads in parts: more than 511 bytes in code page 932",
         "A " + Repeat(kStar, 200) + "\nB " + Repeat(kStar, 254) + "x\nC " + Repeat(kStar, 255) +
             "\n",
         false,
         0,
         "A " + Repeat("\x90\xAF", 200) + "\r\nB " + Repeat("\x90\xAF", 254) + "x\r\nC " +
             Repeat("\x90\xAF", 255) + "\r\n",
         {"SRC:3: warning: 512 bytes in code page 932, more than the 511 the launcher reads",
          "3 lines"},
         {"SRC:1:", "SRC:2:"}},
        {"more lines than the launcher reads",
         SettingLines(401),
         false,
         0,
         TextWithCrLf(SettingLines(401)),
         {"SRC:401: warning: the launcher reads nothing from here on: it stops after 400 reads"},
         {}},
        {"a long line counts its reads",
         "L " + std::string(600, 'v') + "\n" + SettingLines(399),
         false,
         0,
         TextWithCrLf("L " + std::string(600, 'v') + "\n" + SettingLines(399)),
         {"SRC:1: warning: 602 bytes", "SRC:400: warning: the launcher reads nothing"},
         {}},
        {"more lines after [EOF]",
         SettingLines(400) + "[EOF]\n" + SettingLines(5),
         false,
         0,
         TextWithCrLf(SettingLines(400) + "[EOF]\n" + SettingLines(5)),
         {"406 lines"},
         {"warning"}},
    };
    const fs::path source = dir_ / "settings.txt";
    for (const Case& c : kCases) {
        fs::remove_all(dir_);
        WriteFile(source, c.source);
        const fs::path target = c.inPlace ? source : dir_ / "vorlin.env";
        if (!c.inPlace) WriteFile(target, kOld);
        RunResult r =
            RunTool({"convert-env", HostPath(source.u8string()), HostPath(target.u8string())});
        EXPECT_EQ(r.status, c.status) << c.name << "\n" << r.output;
        EXPECT_EQ(ReadFile(target), c.target) << c.name << "\n" << r.output;
        auto expand = [&](const std::string& text) {
            std::string out;
            for (size_t i = 0; i < text.size(); i++) {
                if (text.compare(i, 3, "SRC") == 0 || text.compare(i, 3, "DST") == 0) {
                    out += HostPath((text[i] == 'S' ? source : target).u8string());
                    i += 2;
                } else {
                    out += text[i];
                }
            }
            return out;
        };
        for (const std::string& text : c.said)
            EXPECT_NE(r.output.find(expand(text)), std::string::npos)
                << c.name << ": " << expand(text) << "\n"
                << r.output;
        for (const std::string& text : c.unsaid)
            EXPECT_EQ(r.output.find(expand(text)), std::string::npos)
                << c.name << ": " << expand(text) << "\n"
                << r.output;
        // Written whole under a temporary name: nothing else is left beside TARGET.
        for (const auto& entry : fs::directory_iterator(dir_))
            EXPECT_TRUE(entry.path() == source || entry.path() == target)
                << c.name << ": " << entry.path().u8string();
    }
}

}  // namespace

namespace {

// The settings file read as the launcher reads it: each finding names its line.
TEST_F(MediaTool, SettingsFindingsNameTheirLine) {
    std::string manyLines;
    for (int i = 0; i < 400; i++) manyLines += "// comment\r\n";
    struct Case {
        const char* name;
        std::string env;
        const char* where;
        const char* kind;
        const char* text;
    };
    const Case kCases[] = {
        {"key in lower case", "VERSION 2\r\ntitlebar Game\r\n", "vorlin.env:2", "warning",
         "unknown key 'titlebar', which the launcher ignores; did you mean TITLEBAR?"},
        {"key with an underscore too many", "TITLE_BAR Game\n", "vorlin.env:1", "warning",
         "did you mean TITLEBAR?"},
        {"key without its separator", "VERSION1.02\n", "vorlin.env:1", "warning",
         "a space or tab must separate VERSION from its value ('VERSION 1.02')"},
        {"key far from any known", "COLOUR red\n", "vorlin.env:1", "warning",
         "unknown key 'COLOUR', which the launcher ignores"},
        {"known key without a value", "TITLEBAR Game\nVERSION\n", "vorlin.env:2", "warning",
         "VERSION has no value: the launcher skips the line (VERSION stays 'Version 1.01')"},
        {"flag that is not a number", "UPDATENEEDINSTALL yes\n", "vorlin.env:1", "warning",
         "UPDATENEEDINSTALL 'yes' is not a number: the launcher reads it as 0 (off)"},
        // A title cut at its space names another mutex than the game holds.
        {"words after the title", "TITLEBAR My Game\n", "vorlin.env:1", "error",
         "TITLEBAR takes one word, 'My'; the launcher drops the rest ('Game'): write a space in "
         "a value as |; the window's title and the mutex by which the launcher tells that the "
         "game runs are 'My'"},
        {"words after a version", "VERSION Ver 2\n", "vorlin.env:1", "warning",
         "VERSION takes one word, 'Ver'; the launcher drops the rest ('2')"},
        // Lines that leave the registry key or the executable other than meant: errors that say
        // what the launcher then does.
        {"registry key name misspelled", "REG_GLOBL Hoshi\nREG_LOCAL Furu\n", "vorlin.env:1",
         "error",
         "did you mean REG_GLOBAL? (keys are compared exactly): the launcher reads the install "
         "state under HKEY_CURRENT_USER\\Software\\VORLIN_SYSTEM\\Furu, not under "
         "HKEY_CURRENT_USER\\Software\\Hoshi\\Furu"},
        {"registry key name in lower case", "reg_local Furu\n", "vorlin.env:1", "error",
         "did you mean REG_LOCAL?"},
        {"registry key name run together with its value", "REG_LOCALFuru\n", "vorlin.env:1",
         "error",
         "the launcher reads the install state under "
         "HKEY_CURRENT_USER\\Software\\VORLIN_SYSTEM\\VORLIN_RUNTIME, not under "
         "HKEY_CURRENT_USER\\Software\\VORLIN_SYSTEM\\Furu"},
        {"registry key name without a value", "REG_GLOBAL\n", "vorlin.env:1", "error",
         "REG_GLOBAL has no value: the launcher skips the line (REG_GLOBAL stays "
         "'VORLIN_SYSTEM'): the launcher reads the install state (IsInst, InstTo) under "
         "HKEY_CURRENT_USER\\Software\\VORLIN_SYSTEM\\VORLIN_RUNTIME"},
        {"registry key name misspelled, set right on another line",
         "REG_GLOBL Hoshi\nREG_GLOBAL Hoshi\n", "vorlin.env:1", "warning",
         "did you mean REG_GLOBAL?"},
        {"registry key name with a space", "REG_GLOBAL Hoshi Studio\n", "vorlin.env:1", "error",
         "the launcher reads the install state (IsInst, InstTo) under "
         "HKEY_CURRENT_USER\\Software\\Hoshi\\VORLIN_RUNTIME"},
        {"executable name with a path", "EXENAME bin\\game.exe\n", "vorlin.env:1", "warning",
         "EXENAME 'bin\\game.exe' has a backslash"},
        {"folder name with a colon", "INSTTO C:Game\n", "vorlin.env:1", "warning",
         "INSTTO 'C:Game' has ':'"},
        {"value longer than the launcher keeps", "TITLEBAR " + std::string(130, 't') + "\n",
         "vorlin.env:1", "warning",
         "TITLEBAR is 130 bytes long: the launcher keeps only the first 127"},
        {"line longer than one read", "VERSION 2\n" + std::string(600, '/') + "\n", "vorlin.env:2",
         "warning", "longer than 511 bytes"},
        {"settings past the last read", manyLines + "VERSION 3\r\n", "vorlin.env:401", "warning",
         "past the launcher's last read"},
        {"key set twice", "VERSION 2\nVERSION 3\n", "vorlin.env:2", "note",
         "VERSION is set again (first at line 1): this later value counts"},
        {"readme the media lacks", "UPDATEREADME help\\missing.htm\n", "vorlin.env", "warning",
         "UPDATEREADME names help\\missing.htm, which is not on the media"},
    };
    for (const Case& c : kCases) {
        MakeGoodMedia();
        // The executable's name follows, so that the rest of the media stays without findings.
        std::string env = c.env + "EXENAME Game.exe\r\n";
        WriteFile(At("update.arc"),
                  ArchiveBytes({{"vorlin.env", env}, {"update.rct", Picture(64, 48)}}));
        RunResult r = RunTool({"check", MediaArg()});
        EXPECT_TRUE(HasFinding(r.output, c.where, c.kind, c.text)) << c.name << "\n" << r.output;
        bool error = std::string(c.kind) == "error";
        EXPECT_EQ(r.status, error ? 1 : 0) << c.name << "\n" << r.output;  // warnings alone pass
        // --strict makes every warning an error.
        r = RunTool({"check", "--strict", MediaArg()});
        if (error || std::string(c.kind) == "warning") {
            EXPECT_EQ(r.status, 1) << c.name << "\n" << r.output;
            EXPECT_TRUE(HasFinding(r.output, c.where, "error", c.text)) << c.name << r.output;
        } else {
            EXPECT_EQ(r.status, 0) << c.name << "\n" << r.output;
        }
    }
    // A good settings file gives none of these findings, nor does a line of exactly one read's
    // 511 bytes (its line end comes in a read of its own, which the launcher skips).
    MakeGoodMedia();
    RunResult r = RunTool({"check", "--strict", MediaArg()});
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.output.find("\nvorlin.env"), std::string::npos) << r.output;
    WriteFile(At("update.arc"), ArchiveBytes({{"vorlin.env", std::string(kEnv, strlen(kEnv) - 7) +
                                                                 std::string(511, '/') + "\n"},
                                              {"update.rct", Picture(64, 48)}}));
    r = RunTool({"check", "--strict", MediaArg()});
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.output.find("\nvorlin.env"), std::string::npos) << r.output;
}

TEST_F(MediaTool, LooseSettingsBesideAPackedOneAreNamed) {
    // Every resource the launcher opens by name: the loose one hides the packed one.
    struct Case {
        const char* name;
        std::string data;
    };
    const Case kCases[] = {{"vorlin.env", kEnv}, {"update.rct", Picture(8, 8)}};
    for (const Case& c : kCases) {
        MakeGoodMedia();
        WriteFile(At(c.name), c.data);
        RunResult r = RunTool({"check", MediaArg()});
        EXPECT_TRUE(HasFinding(r.output, c.name, "warning",
                               std::string("a loose ") + c.name +
                                   " in the media folder, which the launcher reads instead of "
                                   "the one in update.arc: remove one of them"))
            << c.name << "\n"
            << r.output;
    }
}

#ifndef _WIN32
// Two names that only the case tells apart are one name where the launcher runs.
TEST_F(MediaTool, NamesEqualButForCaseAreErrorsAnywhere) {
    struct Case {
        const char* name;
        const char* first;
        const char* second;
    };
    const Case kCases[] = {
        {"media root", "data.arc", "DATA.arc"},
        {"help folder", "help/index.htm", "help/INDEX.htm"},
        {"mounted folder", "update/pics/a.rct", "update/pics/A.RCT"},
    };
    for (const Case& c : kCases) {
        MakeGoodMedia();
        WriteFile(Media() / c.first, "one");
        WriteFile(Media() / c.second, "two");
        RunResult r = RunTool({"check", MediaArg()});
        EXPECT_EQ(r.status, 1) << c.name << "\n" << r.output;
        // Listed in byte order, the upper-case name comes first; the other is named.
        EXPECT_TRUE(HasFinding(r.output, c.first, "error",
                               std::string("differs from ") + c.second + " only in case"))
            << c.name << "\n"
            << r.output;
    }
}
#endif

TEST_F(MediaTool, SummaryNamesTitleKeyCopiesAndFingerprint) {
    MakeGoodMedia();
    WriteFile(At("update.arc"),
              ArchiveBytes({{"vorlin.env", std::string(kEnv, strlen(kEnv) - 7) +
                                               "REG_GLOBAL Studio\r\nREG_LOCAL Game2\r\n"},
                            {"update.rct", Picture(64, 48)}}));
    Seal();
    std::string sum = ReadFile(At("update.sum"));
    std::string fingerprint = sum.substr(sum.rfind("END ") + 4, 16);
    uintmax_t total = 0;
    for (const ArcFile& f : GoodCopiedFiles()) total += fs::file_size(At(f.name));
    RunResult r = RunTool({"check", MediaArg()});
    EXPECT_EQ(r.status, 0) << r.output;
    const std::string kLines[] = {
        "  update title: Test Game \xE3\x82\xA2\xE3\x83\x83\xE3\x83\x97\xE3\x83\x87\xE3\x83\xBC"
        "\xE3\x83\x88 Ver 2.00\n",
        "  registry key: HKEY_CURRENT_USER\\Software\\Studio\\Game2\n",
        "  destination: the folder the registry value InstTo under that key names (the "
        "game's installer records it); without it the launcher refuses the update "
        "(UPDATENEEDINSTALL 1)\n",
        "  an update copies 6 files there, " + std::to_string(total) + " bytes in all:\n",
        "    game.bin -> Game.exe (21 bytes)\n",
        "    update.txt -> update.txt (9 bytes)\n",
        "  left behind: nothing\n",
        "  seal: update.sum, fingerprint " + fingerprint + "\n",
    };
    for (const std::string& line : kLines)
        EXPECT_NE(r.output.find(line), std::string::npos) << line << "\n" << r.output;
}

}  // namespace

namespace {

// check --install DIR runs the launcher's own plan and room rules against an install folder: what
// an update would replace and add there, and the room it needs in both orders.
TEST_F(MediaTool, CheckSaysWhatAnUpdateWouldDoInAnInstallFolder) {
    MakeGoodMedia();
    fs::path install = dir_ / "install";
    fs::create_directories(install / "help");
    WriteFile(install / "Game.exe", "old game");
    WriteFile(install / "DATA.ARC", "old data");  // found as the launcher finds it: any case
    WriteFile(install / "help" / "index.htm", "old help");
    struct Case {
        const char* name;
        std::vector<std::string> args;
        int status;
        std::vector<std::string> lines;
    };
    const std::string installArg = HostPath(install.u8string());
    const Case cases[] = {
        {"an install folder",
         {"check", "--install", installArg, MediaArg()},
         0,
         {"install folder: " + installArg + "\n", "  replaces Game.exe (21 bytes, now 8)\n",
          "  replaces data.arc (", "  adds update.arc (", "  adds help\\a b.htm (13 bytes)\n",
          "  replaces help\\index.htm (11 bytes, now 8)\n", "  room: "}},
        {"a folder that is not there",
         {"check", "--install", HostPath((dir_ / "absent").u8string()), MediaArg()},
         1,
         {"not a folder: the launcher refuses the update"}},
        {"no folder after --install", {"check", MediaArg(), "--install"}, 2, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RunResult r = RunTool(c.args);
        EXPECT_EQ(r.status, c.status) << r.output;
        for (const std::string& line : c.lines)
            EXPECT_NE(r.output.find(line), std::string::npos) << line << "\n" << r.output;
    }
    // Without --install, nothing is said of an install folder.
    RunResult r = RunTool({"check", MediaArg()});
    EXPECT_EQ(r.output.find("install folder:"), std::string::npos) << r.output;
}

// A settings file the launcher cannot read as text gives it no settings at all: it runs with the
// defaults and tells every player to install the game first. An error, wherever the file lies.
TEST_F(MediaTool, SettingsTheLauncherCannotReadAreErrors) {
    // "TITLEBAR X\r\n" in UTF-16 and UTF-32.
    auto wide = [](const std::string& text, int width, bool bigEndian, bool mark) {
        std::string out;
        for (size_t i = 0; i < text.size() + (mark ? 1 : 0); i++) {
            uint32_t c = mark && i == 0 ? 0xFEFF : (uint8_t)text[i - (mark ? 1 : 0)];
            for (int b = 0; b < width; b++) {
                int shift = bigEndian ? 8 * (width - 1 - b) : 8 * b;
                out += (char)((c >> shift) & 0xFF);
            }
        }
        return out;
    };
    const std::string settings = "TITLEBAR X\r\nREG_GLOBAL Studio\r\n[EOF]\r\n";
    struct Case {
        const char* name;
        std::string env;
        bool packed;  // in update.arc, else loose
        const char* where;
        const char* text;
    };
    const Case kCases[] = {
        {"UTF-16 with a byte order mark (Notepad's Unicode)", wide(settings, 2, false, true), false,
         "vorlin.env",
         "in the media folder: saved as UTF-16 (little-endian, with a byte order "
         "mark: Notepad's \"Unicode\", PowerShell 5's Out-File), which the launcher "
         "cannot read: it finds no settings and runs with the defaults"},
        {"UTF-16 packed in update.arc", wide(settings, 2, false, true), true, "vorlin.env",
         "in update.arc: saved as UTF-16"},
        {"UTF-16 big-endian", wide(settings, 2, true, true), false, "vorlin.env",
         "saved as UTF-16 (big-endian, with a byte order mark"},
        {"UTF-16 without a byte order mark", wide(settings, 2, false, false), false, "vorlin.env",
         "saved as UTF-16 (little-endian)"},
        {"UTF-32", wide(settings, 4, false, true), false, "vorlin.env",
         "saved as UTF-32 (little-endian, with a byte order mark)"},
        {"a NUL byte in a line", std::string("TITLEBAR X\r\nVERSION 1\0002\r\n", 23), false,
         "vorlin.env:2", "holds a NUL byte, which is no text"},
    };
    for (const Case& c : kCases) {
        MakeGoodMedia();
        if (c.packed) {
            WriteFile(At("update.arc"),
                      ArchiveBytes({{"vorlin.env", c.env}, {"update.rct", Picture(64, 48)}}));
        } else {
            WriteFile(At("update.arc"), ArchiveBytes({{"update.rct", Picture(64, 48)}}));
            WriteFile(At("vorlin.env"), c.env);
        }
        RunResult r = RunTool({"check", MediaArg()});
        EXPECT_EQ(r.status, 1) << c.name << "\n" << r.output;
        EXPECT_TRUE(HasFinding(r.output, c.where, "error", c.text)) << c.name << "\n" << r.output;
        if (std::string(c.where) == "vorlin.env") {
            EXPECT_TRUE(HasFinding(r.output, "vorlin.env", "error",
                                   "convert it with vorlin-media convert-env"))
                << c.name << "\n"
                << r.output;
        }
    }
}

// EXENAME decides which executable an update copies: a line that makes it another than meant is
// an error that says what the launcher then copies.
TEST_F(MediaTool, ExecutableSettingsThatMissTheGameAreErrors) {
    struct Case {
        const char* name;
        const char* line;
        const char* where;
        const char* kind;
        const char* text;
    };
    const Case kCases[] = {
        {"a path", "EXENAME bin\\Hoshi.exe", "vorlin.env:2", "error",
         "EXENAME 'bin\\Hoshi.exe' has a backslash: it must be a name, not a path: the launcher "
         "looks for the executable as bin\\hoshi.bin on the media and installs it as "
         "bin\\Hoshi.exe; write the file's name alone"},
        {"misspelled", "EXENAM Hoshi.exe", "vorlin.env:2", "error",
         "did you mean EXENAME? (keys are compared exactly): the launcher looks for the "
         "executable as vorlin.bin on the media and installs it as vorlin.exe, not Hoshi.exe"},
        {"without a value", "EXENAME", "vorlin.env:2", "error",
         "EXENAME has no value: the launcher skips the line (EXENAME stays 'vorlin.exe'): the "
         "launcher looks for the executable as vorlin.bin"},
        {"with a space", "EXENAME Hoshi Game.exe", "vorlin.env:2", "error",
         "the launcher looks for the executable as hoshi on the media and installs it as Hoshi"},
        {"right", "EXENAME Hoshi.exe", nullptr, nullptr, nullptr},
    };
    for (const Case& c : kCases) {
        MakeGoodMedia();
        fs::remove(At("game.bin"));
        WriteFile(At("hoshi.bin"), "the game");
        WriteFile(At("update.arc"),
                  ArchiveBytes({{"vorlin.env", std::string("TITLEBAR Hoshi\r\n") + c.line + "\r\n"},
                                {"update.rct", Picture(64, 48)}}));
        RunResult r = RunTool({"check", MediaArg()});
        if (!c.where) {
            EXPECT_EQ(r.status, 0) << c.name << "\n" << r.output;
            EXPECT_EQ(r.output.find("vorlin.env:"), std::string::npos) << c.name << r.output;
            continue;
        }
        EXPECT_EQ(r.status, 1) << c.name << "\n" << r.output;
        EXPECT_TRUE(HasFinding(r.output, c.where, c.kind, c.text)) << c.name << "\n" << r.output;
        // The executable the media does carry is named as left behind.
        EXPECT_TRUE(HasFinding(r.output, "hoshi.bin", "note",
                               "left behind: an update copies the executable only as"))
            << c.name << "\n"
            << r.output;
    }
}

// Every file on the media that no update copies and no mount reads is a note naming it, and the
// summary lists it as left behind; the files the launcher uses are none of them.
TEST_F(MediaTool, FilesLeftBehindAreNamed) {
    MakeGoodMedia();
    WriteFile(At("update.sum"), "");  // not a seal, but the launcher's own file
    WriteFile(At("help\\images\\a.png"), "a");
    WriteFile(At("help\\images\\b.png"), "b");
    WriteFile(At("bgm.arc"), ArchiveBytes({{"a.ogg", "a"}}));
    WriteFile(At("data2.arc"), ArchiveBytes({{"b.ogg", "b"}}));
    WriteFile(At("hoshi.bin"), "another executable");
    WriteFile(At("notes.doc"), "notes");
    WriteFile(At("update\\hidden.dat"), "update.arc hides the folder");
    WriteFile(At("extras\\x.dat"), "x");
    RunResult r = RunTool({"check", MediaArg()});
    EXPECT_EQ(r.status, 1) << r.output;  // the empty update.sum is malformed
#ifdef _WIN32
    const char kSep[] = "\\";
#else
    const char kSep[] = "/";
#endif
    const std::string help = std::string("help") + kSep + "images" + kSep;
    const std::string update = std::string("update") + kSep;
    const std::string extras = std::string("extras") + kSep;
    struct Case {
        std::string where, text;
    };
    const Case kNotes[] = {
        {help, "2 files, left behind: an update copies only the files directly in help"},
        {"bgm.arc",
         "left behind: an update copies only the archives of its fixed list (update.arc, "
         "fastdata.arc, data.arc, slowdata.arc, voice.arc, voice2.arc, voice3.arc)"},
        {"data2.arc", "left behind: an update copies only the archives of its fixed list"},
        {"hoshi.bin", "an update copies the executable only as game.bin (EXENAME Game.exe)"},
        {"notes.doc", "left behind: no update copies it and the launcher does not read it"},
        {update,
         "1 file, left behind: update.arc is the update mount, so the launcher reads "
         "nothing from this folder"},
        {extras, "1 file, left behind"},
    };
    for (const Case& c : kNotes)
        EXPECT_TRUE(HasFinding(r.output, c.where, "note", c.text)) << c.where << "\n" << r.output;
    for (const char* used : {"update.exe", "update.sum:", "update.txt", "game.bin", "data.arc"})
        EXPECT_FALSE(HasFinding(r.output, used, "note", "left behind")) << used << r.output;
    EXPECT_NE(r.output.find("  left behind (not copied, not read): bgm.arc, data2.arc, " + extras +
                            ", " + help + ", hoshi.bin, notes.doc, " + update + "\n"),
              std::string::npos)
        << r.output;

    // A folder mount: what its index leaves out.
    MakeGoodMedia();
    fs::remove(At("update.arc"));
    WriteFile(At("update\\vorlin.env"), kEnv);
    WriteFile(At("update\\update.rct"), Picture(8, 8));
    WriteFile(At("update\\readme.txt"), "left out of the index");
    r = RunTool({"check", MediaArg()});
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(HasFinding(r.output, update + "readme.txt", "note",
                           "left behind: the update folder's index leaves out .txt files"))
        << r.output;
}

// Absent optional files are one line; -v gives a note for each. The same for seal.
TEST_F(MediaTool, AbsentOptionalFilesAreOneLineUnlessVerbose) {
    MakeGoodMedia();
    RunResult r = RunTool({"check", "--strict", MediaArg()});
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("optional: 5 files of the update list not on the media, which the "
                            "update skips: fastdata.arc, slowdata.arc, voice.arc, voice2.arc, "
                            "voice3.arc"),
              std::string::npos)
        << r.output;
    EXPECT_EQ(r.output.find(": note: "), std::string::npos) << r.output;
    r = RunTool({"check", "-v", MediaArg()});
    for (const char* name :
         {"fastdata.arc", "slowdata.arc", "voice.arc", "voice2.arc", "voice3.arc"})
        EXPECT_TRUE(HasFinding(r.output, name, "note", "not on the media")) << name << r.output;

    r = RunTool({"seal", MediaArg()});
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("not on the media (not sealed): 5 files of the update list (-v names "
                            "them)\n"),
              std::string::npos)
        << r.output;
    r = RunTool({"seal", "-v", MediaArg()});
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("not on the media (not sealed): voice3.arc\n"), std::string::npos)
        << r.output;
}

// A media that no seal makes whole is refused, and nothing is written.
TEST_F(MediaTool, SealRefusesWhatNoSealMakesWhole) {
    struct Case {
        const char* name;
        std::function<void()> change;
        const char* text;
    };
    const Case kCases[] = {
        {"an archive cut short before sealing",
         [&] {
             std::string arc = ReadFile(At("data.arc"));
             arc.resize(100000 < arc.size() ? 100000 : arc.size() - 1000);
             WriteFile(At("data.arc"), arc);
         },
         "data.arc fails verify: the data ends at byte"},
        {"an archive with a broken index",
         [&] {
             WriteFile(At("voice.arc"),
                       ArchiveBytes({{"v.ogg", "x"}}, {{0xFFFFFFF0u, 0x7FFFFF00u}}));
         },
         "voice.arc fails verify: entry"},
#ifndef _WIN32
        {
            "names equal but for case",
            [&] { WriteFile(At("DATA.ARC"), ReadFile(At("data.arc"))); },
            "differs from",
        },
#endif
    };
    for (const Case& c : kCases) {
        MakeGoodMedia();
        c.change();
        RunResult r = RunTool({"seal", MediaArg()});
        EXPECT_EQ(r.status, 1) << c.name << "\n" << r.output;
        EXPECT_NE(r.output.find(c.text), std::string::npos) << c.name << "\n" << r.output;
        EXPECT_NE(r.output.find("not sealed: nothing written"), std::string::npos) << r.output;
        EXPECT_FALSE(fs::exists(At("update.sum"))) << c.name;
    }
}

// Where an update goes: the registry's InstTo; the proposal only where a player may choose.
TEST_F(MediaTool, SummarySaysWhereAnUpdateGoes) {
    MakeGoodMedia();
    WriteFile(At("update.arc"),
              ArchiveBytes({{"vorlin.env", std::string(kEnv, strlen(kEnv) - 7) +
                                               "UPDATENEEDINSTALL 0\r\nINSTTO Hoshi\r\n"},
                            {"update.rct", Picture(64, 48)}}));
    RunResult r = RunTool({"check", MediaArg()});
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("  destination: the folder the registry value InstTo under that key "
                            "names (the game's installer records it); without it the player "
                            "chooses a folder, proposed: C:\\Program Files\\Hoshi\n"),
              std::string::npos)
        << r.output;
}

// A 24-bit BMP of a little gradient, as a publisher's picture.
std::string BmpPicture(int width, int height) {
    int row = (width * 3 + 3) / 4 * 4;
    uint32_t size = 54 + (uint32_t)(row * height);
    std::string b(size, '\0');
    auto put = [&](size_t at, uint32_t v, int bytes) {
        for (int i = 0; i < bytes; i++) b[at + i] = (char)(v >> (8 * i));
    };
    b[0] = 'B';
    b[1] = 'M';
    put(2, size, 4);
    put(10, 54, 4);
    put(14, 40, 4);
    put(18, (uint32_t)width, 4);
    put(22, (uint32_t)height, 4);
    put(26, 1, 2);
    put(28, 24, 2);
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width * 3; x++) b[54 + (size_t)(y * row + x)] = (char)(x * 9 + y * 5);
    return b;
}

// A publisher's source folder, as the guide lays it out.
void MakeSource(const fs::path& source) {
    fs::remove_all(source);
    WriteFile(source / "vorlin.env",
              u8"\uFEFFTITLEBAR 星降る丘の物語\nVERSION Ver|1.02\nEXENAME Hoshi.exe\n"
              u8"REG_GLOBAL HoshiStudio\nREG_LOCAL HoshiFuru\n[EOF]\n");
    WriteFile(source / "update.bmp", BmpPicture(20, 12));
    WriteFile(source / "update.exe", kLauncher);
    WriteFile(source / "Hoshi.exe", "the game");
    WriteFile(source / "update.txt", "Read me\r\n");
    WriteFile(source / "help" / "index.htm", "<p>help</p>");
    WriteFile(source / "update" / "extra.dat", "for the launcher's mount");
    WriteFile(source / "data" / "stage1.dat", "stage one");
    WriteFile(source / "data" / "scenario" / "script.txt", "the game reads it");  // kept
    WriteFile(source / "voice" / "v1.ogg", "voice one");
}

// The data of `name` in the archive `bytes`, or "(absent)".
std::string ArchiveMember(const std::string& bytes, const char* name) {
    ArchiveHeader header;
    ArchiveIndexEntry* index = nullptr;
    if (ParseArchiveIndex((const uint8_t*)bytes.data(), (uint32_t)bytes.size(), &header, &index) !=
        1)
        return "(not an archive)";
    std::string data = "(absent)";
    const ArchiveIndexEntry* e = FindArchiveEntry(index, header.entryCount, ComputeLookupKey(name));
    if (e) {
        uint32_t end = (uint32_t)bytes.size();
        for (uint32_t i = 0; i <= header.entryCount; i++)
            if (index[i].offset > e->offset && index[i].offset < end) end = index[i].offset;
        data = bytes.substr(e->offset, end - e->offset);
    }
    ReleaseArchiveIndex(index);
    return data;
}

// build: one command from the source folder to a sealed media that passes check --strict.
TEST_F(MediaTool, BuildMakesAReleaseReadyMedia) {
    const fs::path source = dir_ / "source";
    MakeSource(source);
    WriteFile(Media() / "old.txt", "the previous build, replaced");
    RunResult r = RunTool({"build", HostPath(source.u8string()), MediaArg()});
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("built " + MediaArg() + ": sealed, and check --strict passes"),
              std::string::npos)
        << r.output;
    EXPECT_FALSE(fs::exists(At("old.txt")));
    // The settings converted to code page 932 and the picture encoded, both in update.arc with
    // the update folder's files; the game's archives with every file.
    std::string update = ReadFile(At("update.arc"));
    EXPECT_EQ(ArchiveMember(update, "vorlin.env").substr(0, 25),
              "TITLEBAR \x90\xAF\x8D\x7E\x82\xE9\x8B\x75\x82\xCC\x95\xA8\x8C\xEA\r\n");
    EXPECT_EQ(ArchiveMember(update, "update.rct").substr(0, 4), "\x98\x5A\x92\x9A");  // 六丁
    EXPECT_EQ(ArchiveMember(update, "extra.dat"), "for the launcher's mount");
    EXPECT_EQ(ArchiveMember(ReadFile(At("data.arc")), "script.txt"), "the game reads it");
    EXPECT_EQ(ArchiveMember(ReadFile(At("voice.arc")), "v1.ogg"), "voice one");
    EXPECT_EQ(ReadFile(At("hoshi.bin")), "the game");
    EXPECT_EQ(ReadFile(At("update.exe")), kLauncher);
    EXPECT_EQ(ReadFile(At("help\\index.htm")), "<p>help</p>");
    EXPECT_FALSE(fs::exists(At("vorlin.env")));
    EXPECT_FALSE(fs::exists(At("update.rct")));
    // Only the media beside the source: no folder of the build left.
    for (const auto& entry : fs::directory_iterator(dir_))
        EXPECT_TRUE(entry.path() == source || entry.path() == Media()) << entry.path().u8string();
    r = RunTool({"check", "--strict", MediaArg()});
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("seal: update.sum lists 6 files"), std::string::npos) << r.output;

    // The picture may be RCT already, and the settings code page 932.
    MakeSource(source);
    fs::remove(source / "update.bmp");
    WriteFile(source / "update.rct", Picture(32, 32));
    WriteFile(source / "vorlin.env", "TITLEBAR \x90\xAF\r\nEXENAME Hoshi.exe\r\n");
    r = RunTool({"build", HostPath(source.u8string()), MediaArg()});
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(ArchiveMember(ReadFile(At("update.arc")), "vorlin.env"),
              "TITLEBAR \x90\xAF\r\nEXENAME Hoshi.exe\r\n");
}

// A build that fails leaves OUTPUT as it was and nothing beside it.
TEST_F(MediaTool, BuildWritesNothingUnlessTheMediaPasses) {
    const fs::path source = dir_ / "source";
    struct Case {
        const char* name;
        std::function<void()> change;
        const char* text;
    };
    const Case kCases[] = {
        {"no settings", [&] { fs::remove(source / "vorlin.env"); }, "has no vorlin.env"},
        {"settings with Notepad's extension",
         [&] { fs::rename(source / "vorlin.env", source / "vorlin.env.txt"); },
         "vorlin.env.txt is there: rename it to vorlin.env"},
        {"settings in UTF-16",
         [&] { WriteFile(source / "vorlin.env", std::string("\xFF\xFET\0I\0", 6)); },
         "is saved as UTF-16"},
        {"settings with a wave dash", [&] { WriteFile(source / "vorlin.env", u8"VERSION 1〜2\n"); },
         u8"U+301C 〜 has no code page 932 form (code page 932 has U+FF5E ～)"},
        {"no picture", [&] { fs::remove(source / "update.bmp"); }, "has no menu picture"},
        {"two pictures", [&] { WriteFile(source / "update.rct", Picture(8, 8)); },
         "more than one menu picture"},
        {"not a picture", [&] { WriteFile(source / "update.bmp", "BM but no picture"); },
         "not a readable picture"},
        {"a folder and an archive of one name",
         [&] {
             WriteFile(source / "data.arc", ArchiveBytes({{"x", "x"}}));
         },
         "keep one"},
        {"an archive cut short, copied as it is",
         [&] {
             fs::remove_all(source / "voice");
             std::string arc = ArchiveBytes({{"v.ogg", std::string(500, 'v')}});
             arc.resize(arc.size() - 100);
             WriteFile(source / "voice.arc", arc);
         },
         "voice.arc fails verify"},
        {"no launcher", [&] { fs::remove(source / "update.exe"); },
         "update.exe: error: not on the media"},
        {"the media folder inside the source", [&] { fs::create_directories(source / "media"); },
         "lie one inside the other"},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        MakeSource(source);
        fs::remove_all(Media());
        WriteFile(Media() / "old.txt", "the previous build");
        c.change();
        fs::path output = std::string(c.name) == "the media folder inside the source"
                              ? source / "media"
                              : Media();
        RunResult r = RunTool({"build", HostPath(source.u8string()), HostPath(output.u8string())});
        EXPECT_EQ(r.status, 1) << r.output;
        EXPECT_NE(r.output.find(c.text), std::string::npos) << r.output;
        EXPECT_EQ(ReadFile(Media() / "old.txt"), "the previous build");
        for (const auto& entry : fs::directory_iterator(dir_))
            EXPECT_TRUE(entry.path() == source || entry.path() == Media())
                << entry.path().u8string();
    }
    RunResult r = RunTool({"build", HostPath(source.u8string())});
    EXPECT_EQ(r.status, 2) << r.output;
}

}  // namespace
