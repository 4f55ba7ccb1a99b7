// The settings line splitter: which lines set a key, and what key and value they give.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "settings/env_line.h"

namespace {

struct Case {
    const char* name;
    std::string line;
    EnvLineKind kind;
    const char* key;
    const char* value;
};

std::string Spaces(int n) { return std::string((size_t)n, ' '); }

TEST(EnvLine, SplitsKeysAndValues) {
    const Case cases[] = {
        {"bars stay for the loader", "TITLEBAR My|Own|Title\n", kEnvLineSetting, "TITLEBAR",
         "My|Own|Title"},
        {"spaces end the value", "TITLEBAR My Own Title\n", kEnvLineSetting, "TITLEBAR", "My"},
        {"tab separates", "VERSION\t1.02\n", kEnvLineSetting, "VERSION", "1.02"},
        {"control bytes separate", "VERSION\x01\x1f" "1.02\x7f", kEnvLineSetting, "VERSION",
         "1.02\x7f"},
        {"carriage return is a separator", "EXENAME game.exe\r\n", kEnvLineSetting, "EXENAME",
         "game.exe"},
        {"no line end at end of file", "A B", kEnvLineSetting, "A", "B"},
        {"shift-jis kept byte for byte", "\x83\x5e\x83\x43 \x83\x7c|\x81\x40x\n",
         kEnvLineSetting, "\x83\x5e\x83\x43", "\x83\x7c|\x81\x40x"},
        {"99 separators are accepted", "KEY" + Spaces(99) + "V\n", kEnvLineSetting, "KEY", "V"},
        {"100 separators are too many", "KEY" + Spaces(100) + "V\n", kEnvLineSkip, nullptr,
         nullptr},
        {"120 separators are too many", "KEY" + Spaces(120) + "V\n", kEnvLineSkip, nullptr,
         nullptr},
        {"leading blank skips the line", " TITLEBAR X\n", kEnvLineSkip, nullptr, nullptr},
        {"leading tab skips the line", "\tTITLEBAR X\n", kEnvLineSkip, nullptr, nullptr},
        {"empty line", "\n", kEnvLineSkip, nullptr, nullptr},
        {"empty buffer", "", kEnvLineSkip, nullptr, nullptr},
        {"key alone", "TITLEBAR\n", kEnvLineSkip, nullptr, nullptr},
        {"key and trailing blanks", "TITLEBAR   \n", kEnvLineSkip, nullptr, nullptr},
        {"one slash comments", "/TITLEBAR X\n", kEnvLineSkip, nullptr, nullptr},
        {"two slashes comment", "//TITLEBAR X\n", kEnvLineSkip, nullptr, nullptr},
        {"end marker", "[EOF]\n", kEnvLineEnd, nullptr, nullptr},
        {"end marker with more text", "[EOF] TITLEBAR X\n", kEnvLineEnd, nullptr, nullptr},
        {"end marker is case-sensitive", "[eof] X\n", kEnvLineSetting, "[eof]", "X"},
        {"incomplete marker", "[EOF\n", kEnvLineSkip, nullptr, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        char buffer[kEnvLineBufferSize];
        memset(buffer, 0, sizeof buffer);
        ASSERT_LT(c.line.size(), sizeof buffer);
        memcpy(buffer, c.line.data(), c.line.size());
        const char* key = "unset";
        const char* value = "unset";
        EXPECT_EQ(ParseEnvLine(buffer, &key, &value), c.kind);
        if (c.key) {
            EXPECT_STREQ(key, c.key);
            EXPECT_STREQ(value, c.value);
        } else {
            EXPECT_EQ(key, nullptr);
            EXPECT_EQ(value, nullptr);
        }
    }
}

// Lines that fill the whole 511-byte read: the value search stops at the end of the buffer.
TEST(EnvLine, FullBufferLines) {
    struct Full {
        const char* name;
        int keyLength;
        int gap;
        EnvLineKind kind;
        int valueLength;
    };
    const Full cases[] = {
        {"value ends at the last byte", 500, 1, kEnvLineSetting, 10},
        {"key fills the buffer", 511, 0, kEnvLineSkip, 0},
        {"key and gap fill the buffer", 505, 6, kEnvLineSkip, 0},
        {"value starts at the last byte", 509, 1, kEnvLineSetting, 1},
    };
    for (const Full& c : cases) {
        SCOPED_TRACE(c.name);
        char buffer[kEnvLineBufferSize];
        memset(buffer, 0, sizeof buffer);
        memset(buffer, 'K', (size_t)c.keyLength);
        memset(buffer + c.keyLength, ' ', (size_t)c.gap);
        memset(buffer + c.keyLength + c.gap, 'V', (size_t)c.valueLength);
        const char* key;
        const char* value;
        EXPECT_EQ(ParseEnvLine(buffer, &key, &value), c.kind);
        if (c.kind == kEnvLineSetting) {
            EXPECT_EQ(strlen(key), (size_t)c.keyLength);
            EXPECT_EQ(strlen(value), (size_t)c.valueLength);
        }
    }
}

}  // namespace
