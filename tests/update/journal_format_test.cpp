// The commit journal's text: what is written parses back; what is cut short, changed or unsafe
// does not; the side files' names.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "update/core/journal_format.h"

namespace {

JournalEntry Entry(char kind, const char* name) {
    JournalEntry e = {};
    e.kind = kind;
    strcpy(e.name, name);
    return e;
}

std::string Write(const std::vector<JournalEntry>& entries) {
    size_t length = 0;
    char* text = WriteJournal(entries.data(), (uint32_t)entries.size(), &length);
    if (!text) return "";
    std::string s(text, length);
    free(text);
    return s;
}

bool Parse(const std::string& text, std::vector<JournalEntry>* out) {
    JournalEntry* entries = nullptr;
    uint32_t count = 0;
    bool ok = ParseJournal((const uint8_t*)text.data(), text.size(), &entries, &count);
    if (out) out->assign(entries, entries + count);
    free(entries);
    return ok;
}

TEST(Journal, RoundTripWithFoldersFirst) {
    std::vector<JournalEntry> in = {Entry('R', "VORLIN.EXE"), Entry('D', "help"),
                                    Entry('A', "help\\表.htm"), Entry('R', "data.arc")};
    std::string text = Write(in);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.compare(0, 17, "VORLIN-JOURNAL 1\n"), 0) << text;
    std::vector<JournalEntry> out;
    ASSERT_TRUE(Parse(text, &out));
    ASSERT_EQ(out.size(), 4u);
    const char* kinds = "DRAR";
    const char* names[] = {"help", "VORLIN.EXE", "help\\表.htm", "data.arc"};
    for (size_t i = 0; i < out.size(); i++) {
        EXPECT_EQ(out[i].kind, kinds[i]) << i;
        EXPECT_STREQ(out[i].name, names[i]) << i;
    }
    // Line ends converted to CR LF still read.
    std::string crlf;
    for (char c : text) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    EXPECT_TRUE(Parse(crlf, nullptr));
    EXPECT_TRUE(Parse(Write({}), nullptr)) << "an empty journal is complete";
}

TEST(Journal, WhatIsNotACompleteJournal) {
    std::string good = Write({Entry('R', "a.arc"), Entry('A', "b.arc")});
    ASSERT_FALSE(good.empty());
    struct Case {
        const char* name;
        std::string text;
    };
    std::string flipped = good;
    flipped[good.find("a.arc")] = 'x';
    const Case cases[] = {
        {"empty", ""},
        {"cut before END", good.substr(0, good.find("END"))},
        {"cut inside END", good.substr(0, good.size() - 5)},
        {"END without its line end", good.substr(0, good.size() - 1)},
        {"a name changed", flipped},
        {"text after END", good + "R c.arc\n"},
        {"another header", "VORLIN-JOURNAL 2" + good.substr(16)},
        {"a folder after a file", "VORLIN-JOURNAL 1\nR a\nD b\nEND 0000000000000000\n"},
    };
    for (const Case& c : cases) EXPECT_FALSE(Parse(c.text, nullptr)) << c.name;
}

TEST(Journal, NamesThatCannotStandInAJournal) {
    struct Case {
        const char* name;
        bool valid;
    };
    const Case cases[] = {
        {"data.arc", true},
        {"help\\index.htm", true},
        {"help\\表.htm", true},
        {"ソ", true},
        {"", false},
        {"..\\x", false},
        {"help\\..\\x", false},
        {".\\x", false},
        {"\\x", false},
        {"x\\", false},
        {"C:\\x", false},
        {"a/b", false},
        {"a\\\\b", false},
        {"a\tb", false},
        {"\x82", false},
    };
    for (const Case& c : cases) EXPECT_EQ(IsValidJournalName(c.name), c.valid) << c.name;
    EXPECT_EQ(Write({Entry('R', "..\\escape")}), "") << "the writer refuses them too";
}

TEST(Journal, SideFileNames) {
    char out[kJournalMaxNameBytes + 1];
    ASSERT_TRUE(JournalSideName("data.arc", 3, ".new", out));
    EXPECT_STREQ(out, "~vup00000003.new");
    ASSERT_TRUE(JournalSideName("help\\表.htm", 0x1a, ".old", out));
    EXPECT_STREQ(out, "help\\~vup0000001a.old");
    // The 0x5C trail byte of 表 is not a separator.
    ASSERT_TRUE(JournalSideName("表.htm", 1, ".new", out));
    EXPECT_STREQ(out, "~vup00000001.new");
    struct Case {
        const char* name;
        bool side;
    };
    const Case cases[] = {
        {"~vup00000003.new", true},  {"~VUP0000ABCD.OLD", true},  {"~vup1a2b.tmp", true},
        {"~vup-journal.txt", false}, {"~vup0000000g.new", false}, {"~vup00000003.bak", false},
        {"~vup1a2b.new", false},     {"vup00000003.new", false},  {"data.arc", false},
    };
    for (const Case& c : cases) EXPECT_EQ(IsUpdateSideFileName(c.name), c.side) << c.name;
}

}  // namespace

// The second format names the run whose side files the journal stands for and the install folder
// it belongs to; both are covered by the END digest. The first format still reads, as run 0.
TEST(Journal, RunAndFolderOfTheSecondFormat) {
    std::vector<JournalEntry> in = {Entry('R', "VORLIN.EXE"), Entry('A', "help\\index.htm")};
    size_t length = 0;
    char* text =
        WriteJournalOfRun(in.data(), (uint32_t)in.size(), 0x1234abcd, "C:\\Games\\Hoshi", &length);
    ASSERT_NE(text, nullptr);
    std::string written(text, length);
    free(text);
    EXPECT_EQ(written.rfind("VORLIN-JOURNAL 2\nRUN 1234abcd\nFOLDER C:\\Games\\Hoshi\n"
                            "R VORLIN.EXE\n",
                            0),
              0u)
        << written;
    struct Case {
        const char* name;
        std::string text;
        bool ok;
        uint32_t runId;
    };
    std::string renamed = written;
    renamed.replace(renamed.find("1234abcd"), 8, "1234abce");
    std::string zero = written;
    zero.replace(zero.find("1234abcd"), 8, "00000000");
    const Case cases[] = {
        {"as written", written, true, 0x1234abcd},
        {"another run, the digest unchanged", renamed, false, 0},
        {"run 0", zero, false, 0},
        {"no FOLDER line", "VORLIN-JOURNAL 2\nRUN 1234abcd\nEND 0000000000000000\n", false, 0},
        {"the first format", Write(in), true, 0},
    };
    for (const Case& c : cases) {
        JournalEntry* entries = nullptr;
        uint32_t count = 0;
        JournalRun run;
        bool ok =
            ParseJournalOfRun((const uint8_t*)c.text.data(), c.text.size(), &entries, &count, &run);
        free(entries);
        EXPECT_EQ(ok, c.ok) << c.name;
        if (ok) {
            EXPECT_EQ(run.runId, c.runId) << c.name;
            EXPECT_EQ(count, 2u) << c.name;
            EXPECT_STREQ(run.folder, c.runId ? "C:\\Games\\Hoshi" : "") << c.name;
        }
    }
    char out[kJournalMaxNameBytes + 1];
    ASSERT_TRUE(JournalSideNameOfRun("help\\index.htm", 0x1234abcd, 5, ".old", out));
    EXPECT_STREQ(out, "help\\~vup1234abcd00000005.old");
    EXPECT_TRUE(IsUpdateSideFileName("~vup1234abcd00000005.old"));
    EXPECT_TRUE(IsUpdateSideFileName("~VUP1234ABCD00000005.NEW"));
    EXPECT_FALSE(IsUpdateSideFileName("~vup1234abcd0000005.old"));
    EXPECT_FALSE(IsUpdateSideFileName("~vup1234abcd00000005.tmp"));
}
