// The portable code page 932 lower-casing held against the platform's own CharLowerA, which the
// launcher uses for the names it finds in directory scans and the names it is asked to open.
// Both must agree, or an archive written by the tool keys a name differently from the launcher.
#include <windows.h>

#include "resfs/cp932_lower.h"
#include "tests/resfs/name_cases.h"

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
