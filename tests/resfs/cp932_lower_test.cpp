// Code page 932 lower-casing, the separator search, final components and lookup keys.
#include "resfs/cp932_lower.h"

#include "resfs/name_hash.h"
#include "ui/mbcs_text.h"
#include "tests/resfs/name_cases.h"
#include "tests/resfs/separator_cases.h"

#include <gtest/gtest.h>

#include <string.h>
#include <string>

static std::string Lowered(const char* text) {
    std::string copy = text;
    LowerCp932(&copy[0]);
    return copy;
}

static bool IsTrail(uint32_t byte) {
    return byte >= 0x40 && byte <= 0xFC && byte != 0x7F;
}

TEST(LowerCp932, NameTable) {
    for (const NameCase& c : kNameCases) {
        EXPECT_EQ(Lowered(c.name), c.lower) << c.label;
        EXPECT_EQ(ComputeLookupKey(c.name), c.key) << c.label;
        EXPECT_EQ(ComputeNameHash(FindFinalComponent(c.lower)), c.key) << c.label;
        EXPECT_EQ(ComputeLowerNameHash(c.name), ComputeNameHash(c.lower)) << c.label;
    }
}

TEST(LowerCp932, OnlyAsciiCapitalsChangeAmongSingleBytes) {
    for (uint32_t b = 1; b < 256; b++) {
        if (IsCp932LeadByte((uint8_t)b)) continue;
        char text[2] = {(char)b, 0};
        LowerCp932(text);
        uint32_t expected = (b >= 'A' && b <= 'Z') ? b + 0x20 : b;
        EXPECT_EQ((uint8_t)text[0], expected) << "byte " << b;
    }
}

TEST(LowerCp932, PairWithoutCharacterBecomesMiddleDot) {
    struct Case {
        const char* name;
        const char* text;
        const char* lower;
    };
    static const Case kCases[] = {
        {"second byte below 0x40",
         "\x83\x30"
         "A",
         "\x81\x45"
         "a"},
        {"second byte 0x7F", "\x83\x7F", "\x81\x45"},
        {"second byte above 0xFC", "\x83\xFD", "\x81\x45"},
        {"unassigned code", "\x88\x40", "\x81\x45"},
        {"user-defined area stays", "\xF0\x40\xF9\xFC", "\xF0\x40\xF9\xFC"},
    };
    for (const Case& c : kCases) EXPECT_EQ(Lowered(c.text), c.lower) << c.name;
}

// Across all valid pairs: a result is a valid pair again, lower-casing twice changes nothing
// more, and the counts are those of the platform's round trip through Unicode.
TEST(LowerCp932, AllDoubleByteCodes) {
    int changed = 0, substituted = 0;
    for (uint32_t lead = 0x81; lead <= 0xFC; lead++) {
        if (!IsCp932LeadByte((uint8_t)lead)) continue;
        for (uint32_t trail = 0x40; trail <= 0xFC; trail++) {
            if (!IsTrail(trail)) continue;
            uint16_t code = (uint16_t)(lead << 8 | trail);
            uint16_t lower = LowerCp932DoubleByte(code);
            ASSERT_TRUE(IsCp932LeadByte((uint8_t)(lower >> 8)) && IsTrail(lower & 0xFF)) << code;
            ASSERT_EQ(LowerCp932DoubleByte(lower), lower) << code;
            if (lower == 0x8145 && code != 0x8145)
                substituted++;
            else if (lower != code)
                changed++;
        }
    }
    EXPECT_EQ(changed, 491);
    EXPECT_EQ(substituted, 1676);
}

TEST(LowerCp932Copy, Cases) {
    struct Case {
        const char* name;
        std::string text;
        std::string lower;
    };
    const Case kCases[] = {
        {"empty", "", ""},
        {"ascii capitals", "Update.RCT", "update.rct"},
        {"full-width capital", "\x82\x60.ARC", "\x82\x81.arc"},
        {"a trail byte 0x5A is no capital", "\x83\x5A", "\x83\x5A"},
        {"bytes after a NUL stay", std::string("AB\0CD", 5), std::string("ab\0CD", 5)},
    };
    for (const Case& c : kCases) EXPECT_EQ(LowerCp932Copy(c.text), c.lower) << c.name;
}

// Names the same but for case, as Windows matches them, on any system code page.
TEST(EqualCp932IgnoringCase, Cases) {
    struct Case {
        const char* name;
        const char* a;
        const char* b;
        bool equal;
    };
    const Case kCases[] = {
        {"ascii case", "C:\\Games\\Hoshi", "c:\\games\\HOSHI", true},
        {"full-width capital and small", "\x82\x60.arc", "\x82\x81.ARC", true},
        {"a trail byte that reads as a capital", "\x83\x41", "\x83\x61", false},
        {"one longer", "data.arc", "data.arc2", false},
        {"empty", "", "", true},
        {"empty and not", "", "a", false},
        {"a lone lead byte at the end", "a\x83", "A\x83", true},
    };
    for (const Case& c : kCases) {
        EXPECT_EQ(EqualCp932IgnoringCase(c.a, c.b), c.equal) << c.name;
        EXPECT_EQ(EqualCp932IgnoringCase(c.b, c.a), c.equal) << c.name;
    }
}

// One character on: a double-byte character is one, a lone lead byte at the end is one, the
// terminator is never passed.
TEST(NextCp932Char, Steps) {
    const char text[] = "a\x95\x5c\\\x83";
    const char* p = text;
    EXPECT_EQ(p = NextCp932Char(p), text + 1);
    EXPECT_EQ(p = NextCp932Char(p), text + 3);
    EXPECT_EQ(p = NextCp932Char(p), text + 4);
    EXPECT_EQ(p = NextCp932Char(p), text + 5);
    EXPECT_EQ(NextCp932Char(p), p) << "at the terminator";
}

static int IndexOf(const char* found, const char* text) {
    return found ? (int)(found - text) : -1;
}

TEST(FindCp932Separator, Backslashes) {
    for (const SeparatorCase& c : kSeparatorCases) {
        EXPECT_EQ(IndexOf(FindCp932Separator(c.text, "\\"), c.text), c.first) << c.name;
        EXPECT_EQ(IndexOf(FindLastCp932Separator(c.text, "\\"), c.text), c.last) << c.name;
    }
}

TEST(FindCp932Separator, EitherOfTwo) {
    struct Case {
        const char* name;
        const char* text;
        int first;
        int last;
    };
    static const Case kCases[] = {
        {"slash then backslash", "a/b\\c", 1, 3},
        {"backslash then slash", "a\\b/c", 1, 3},
        {"trail byte 0x2F is none", "\x83\x2F/", 2, 2},
        {"neither", "abc", -1, -1},
    };
    for (const Case& c : kCases) {
        EXPECT_EQ(IndexOf(FindCp932Separator(c.text, "\\/"), c.text), c.first) << c.name;
        EXPECT_EQ(IndexOf(FindLastCp932Separator(c.text, "\\/"), c.text), c.last) << c.name;
    }
}

TEST(FindFinalComponent, Cases) {
    struct Case {
        const char* name;
        const char* path;
        const char* final;
    };
    static const Case kCases[] = {
        {"bare name", "update.rct", "update.rct"},
        {"slash", "pics/update.rct", "update.rct"},
        {"backslash", "a\\b\\update.rct", "update.rct"},
        {"mixed separators", "a/b\\c/update.rct", "update.rct"},
        {"absolute with drive", "C:\\data\\update.rct", "update.rct"},
        {"drive-relative", "c:update.rct", "update.rct"},
        {"colon later is no drive", "ab:c", "ab:c"},
        {"ends in a separator", "pics\\", ""},
        {"empty", "", ""},
        {"trail byte 0x5C is no separator", "\x95\x5C.rct", "\x95\x5C.rct"},
        {"trail byte 0x5C then a separator", "\x95\x5C\\x.rct", "x.rct"},
        {"trail byte 0x2F is no separator",
         "\x83\x2F"
         "a",
         "\x83\x2F"
         "a"},
        {"lone lead byte at the end", "a\\\x83", "\x83"},
    };
    for (const Case& c : kCases) EXPECT_STREQ(FindFinalComponent(c.path), c.final) << c.name;
}

TEST(ComputeLookupKey, CaseAndDirectoryDoNotMatter) {
    static const char* const kNames[] = {"update.rct", "UPDATE.RCT", "Update.RCT",
                                         "pics/Update.rct", "C:\\media\\UPDATE.rct"};
    for (const char* name : kNames) EXPECT_EQ(ComputeLookupKey(name), 0xB56852F7u) << name;
}
