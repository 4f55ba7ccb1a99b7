// The portable code page 932 lower-casing held against the platform's own CharLowerA, which the
// launcher uses for the names it finds in directory scans and the names it is asked to open.
// Both must agree, or an archive written by the tool keys a name differently from the launcher.
// The lead-byte test and the separator search are held against the platform's too.
#include <windows.h>
#include <mbstring.h>

#include "resfs/cp932_lower.h"
#include "tests/resfs/name_cases.h"
#include "tests/resfs/separator_cases.h"

#include <gtest/gtest.h>

#include <string>

static std::string PlatformLowered(const char* text) {
    std::string copy = text;
    CharLowerA(&copy[0]);
    return copy;
}

static std::string PortableLowered(const char* text) {
    std::string copy = text;
    LowerCp932(&copy[0]);
    return copy;
}

TEST(LowerCp932Platform, RunsUnderCodePage932) {
    ASSERT_EQ(GetACP(), 932u);
}

TEST(LowerCp932Platform, NameTable) {
    for (const NameCase& c : kNameCases) EXPECT_EQ(PlatformLowered(c.name), c.lower) << c.label;
}

TEST(LowerCp932Platform, EverySingleByte) {
    for (int b = 1; b < 256; b++) {
        char text[2] = {(char)b, 0};
        EXPECT_EQ(PlatformLowered(text), PortableLowered(text)) << "byte " << b;
    }
}

TEST(LowerCp932Platform, EveryDoubleByteCode) {
    for (int lead = 0x81; lead <= 0xFC; lead++) {
        if (!IsCp932LeadByte((uint8_t)lead)) continue;
        for (int trail = 0x40; trail <= 0xFC; trail++) {
            if (trail == 0x7F) continue;
            char text[3] = {(char)lead, (char)trail, 0};
            EXPECT_EQ(PlatformLowered(text), PortableLowered(text))
                << "code " << std::hex << (lead << 8 | trail);
        }
    }
}

// The lead-byte test every portable reader of code page 932 text steps by is the platform's own.
TEST(Cp932LeadBytePlatform, EveryByte) {
    for (int byte = 0; byte < 256; byte++)
        EXPECT_EQ(IsCp932LeadByte((uint8_t)byte), IsDBCSLeadByte((BYTE)byte) != 0) << byte;
}

// The portable separator search finds what the C library's multibyte searches find, which the
// launcher used before it had its own.
TEST(FindCp932SeparatorPlatform, SeparatorTable) {
    for (const SeparatorCase& c : kSeparatorCases) {
        const unsigned char* text = (const unsigned char*)c.text;
        EXPECT_EQ((const unsigned char*)FindCp932Separator(c.text, "\\"), _mbschr(text, '\\'))
            << c.name;
        EXPECT_EQ((const unsigned char*)FindLastCp932Separator(c.text, "\\"), _mbsrchr(text, '\\'))
            << c.name;
    }
}
