// The settings file reading: which lines set a key, what key and value they give, which reads the
// file's lines take, and the one line reader (fgets's contract) held to the C library's fgets.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "settings/env_line.h"

namespace {

struct Case {
    const char* name;
    std::string line;
    EnvLineKind kind;
    const char* key;
    const char* value;
};

std::string Spaces(int n) {
    return std::string((size_t)n, ' ');
}

TEST(EnvLine, SplitsKeysAndValues) {
    const Case cases[] = {
        {"bars stay for the loader", "TITLEBAR My|Own|Title\n", kEnvLineSetting, "TITLEBAR",
         "My|Own|Title"},
        {"spaces end the value", "TITLEBAR My Own Title\n", kEnvLineSetting, "TITLEBAR", "My"},
        {"tab separates", "VERSION\t1.02\n", kEnvLineSetting, "VERSION", "1.02"},
        {"control bytes separate",
         "VERSION\x01\x1f"
         "1.02\x7f",
         kEnvLineSetting, "VERSION", "1.02\x7f"},
        {"carriage return is a separator", "EXENAME game.exe\r\n", kEnvLineSetting, "EXENAME",
         "game.exe"},
        {"no line end at end of file", "A B", kEnvLineSetting, "A", "B"},
        {"shift-jis kept byte for byte", "\x83\x5e\x83\x43 \x83\x7c|\x81\x40x\n", kEnvLineSetting,
         "\x83\x5e\x83\x43", "\x83\x7c|\x81\x40x"},
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

// The whole reading through the C library's own fgets, on a temporary file holding the bytes.
struct FileSource {
    FILE* file;
    int reads;
};

bool ReadWithFgets(void* source, char* buffer, int size) {
    FileSource* s = (FileSource*)source;
    s->reads++;
    return fgets(buffer, size, s->file) != nullptr;
}

// The same reads through the system's own line reader over the bytes in memory.
struct TextSource {
    EnvText text;
    int reads;
};

bool ReadWithTextReader(void* source, char* buffer, int size) {
    TextSource* s = (TextSource*)source;
    s->reads++;
    return ReadEnvTextLine(&s->text, buffer, size);
}

// Collects "key=value;" for each setting; refuses the setting numbered `refuseAt` (from 1).
struct Collected {
    std::string settings;
    int offered;
    int refuseAt;
};

bool Collect(void* sink, const char* key, const char* value) {
    Collected* c = (Collected*)sink;
    if (++c->offered == c->refuseAt) return false;
    c->settings += std::string(key) + "=" + value + ";";
    return true;
}

std::string Lines(int n, const std::string& line) {
    std::string text;
    for (int i = 0; i < n; i++) text += line;
    return text;
}

TEST(EnvLine, ReadsTheFileLineByLine) {
    struct FileCase {
        const char* name;
        std::string bytes;
        int refuseAt;
        EnvReadEnd end;
        int reads;
        std::string settings;
    };
    std::string k511 = "K " + std::string(509, 'v');
    const FileCase cases[] = {
        {"empty file", "", 0, kEnvReadEndOfFile, 1, ""},
        {"settings in file order", "A 1\nB 2\r\n", 0, kEnvReadEndOfFile, 3, "A=1;B=2;"},
        {"no line feed at the end", "A 1", 0, kEnvReadEndOfFile, 2, "A=1;"},
        {"skipped lines still take reads", "// c\n\n A 1\nB 2\n", 0, kEnvReadEndOfFile, 5, "B=2;"},
        {"a NUL byte separates", std::string("A\0B 1\n", 6), 0, kEnvReadEndOfFile, 2, "A=B;"},
        {"each read starts from a zeroed buffer", "LONGKEY value\nK\n", 0, kEnvReadEndOfFile, 3,
         "LONGKEY=value;"},
        {"nothing is read after [EOF]", "A 1\n[EOF]\nB 2\n", 0, kEnvReadEndMarker, 2, "A=1;"},
        {"511 bytes fill one read", k511 + "\nB 2\n", 0, kEnvReadEndOfFile, 4,
         "K=" + std::string(509, 'v') + ";B=2;"},
        {"a long line's rest is a line of its own", std::string(511, 'X') + "B 2\n", 0,
         kEnvReadEndOfFile, 3, "B=2;"},
        {"[EOF] at the start of a long line's rest", std::string(511, 'X') + "[EOF]\nB 2\n", 0,
         kEnvReadEndMarker, 2, ""},
        {"399 lines end before the limit", Lines(398, "\n") + "A 1\n", 0, kEnvReadEndOfFile, 400,
         "A=1;"},
        {"400 lines reach the limit", Lines(399, "\n") + "A 1\n", 0, kEnvReadLimit, 400, "A=1;"},
        {"line 401 is not read", Lines(399, "\n") + "A 1\nB 2\n", 0, kEnvReadLimit, 400, "A=1;"},
        {"a refused setting stops the reading", "A 1\nB 2\nC 3\n", 2, kEnvReadRefused, 2, "A=1;"},
    };
    for (const FileCase& c : cases) {
        SCOPED_TRACE(c.name);
        FILE* file = tmpfile();
        ASSERT_NE(file, nullptr);
        ASSERT_EQ(fwrite(c.bytes.data(), 1, c.bytes.size(), file), c.bytes.size());
        rewind(file);
        FileSource source = {file, 0};
        Collected collected = {"", 0, c.refuseAt};
        EXPECT_EQ(ReadEnvLines(ReadWithFgets, &source, Collect, &collected), c.end);
        EXPECT_EQ(source.reads, c.reads);
        EXPECT_EQ(collected.settings, c.settings);
        fclose(file);

        TextSource text = {{c.bytes.data(), c.bytes.size(), 0}, 0};
        Collected fromText = {"", 0, c.refuseAt};
        EXPECT_EQ(ReadEnvLines(ReadWithTextReader, &text, Collect, &fromText), c.end);
        EXPECT_EQ(text.reads, c.reads);
        EXPECT_EQ(fromText.settings, c.settings);
    }
}

// Every read of the line reader, as the C library's fgets makes it on the same bytes: the bytes
// handed over, what is left for the next read, and false once nothing is left.
TEST(EnvLine, LineReaderReadsAsFgets) {
    struct ReadCase {
        const char* name;
        std::string bytes;
        int size;                        // of the buffer
        std::vector<std::string> reads;  // what each read hands over, until one returns false
    };
    const ReadCase cases[] = {
        {"empty", "", 512, {}},
        {"one line", "A 1\n", 512, {"A 1\n"}},
        {"no line feed at the end", "A 1", 512, {"A 1"}},
        {"lines one by one", "A\nB\n\nC", 512, {"A\n", "B\n", "\n", "C"}},
        {"a CR stays (text mode is the stream's)", "A\r\nB", 512, {"A\r\n", "B"}},
        {"NUL bytes are read", std::string("A\0B\n", 4), 512, {std::string("A\0B\n", 4)}},
        {"size - 1 bytes fill a read", "ABCDEF\n", 4, {"ABC", "DEF", "\n"}},
        {"a line feed that just fits", "ABC\nD", 5, {"ABC\n", "D"}},
        {"a line feed one byte too late", "ABCD\nE", 5, {"ABCD", "\n", "E"}},
        {"a buffer of 2 holds one byte", "AB\n", 2, {"A", "B", "\n"}},
        {"a 0x1A byte is an ordinary byte", "A\x1A\n", 512, {"A\x1A\n"}},
    };
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.name);
        FILE* file = tmpfile();
        ASSERT_NE(file, nullptr);
        ASSERT_EQ(fwrite(c.bytes.data(), 1, c.bytes.size(), file), c.bytes.size());
        rewind(file);
        EnvText text = {c.bytes.data(), c.bytes.size(), 0};
        for (size_t i = 0; i <= c.reads.size(); i++) {
            std::vector<char> ours((size_t)c.size + 8, 'x'), theirs((size_t)c.size + 8, 'x');
            bool read = ReadEnvTextLine(&text, ours.data(), c.size);
            bool fgetsRead = fgets(theirs.data(), c.size, file) != nullptr;
            ASSERT_EQ(read, i < c.reads.size()) << "read " << i;
            ASSERT_EQ(fgetsRead, read) << "read " << i;
            if (!read) break;
            std::string got(ours.data(), c.reads[i].size());
            EXPECT_EQ(got, c.reads[i]) << "read " << i;
            EXPECT_EQ(ours[c.reads[i].size()], '\0') << "read " << i;
            EXPECT_EQ(ours, theirs) << "read " << i;  // the same bytes, the NUL and what is past it
            EXPECT_EQ(ftell(file), (long)text.pos) << "read " << i;
        }
        fclose(file);
    }
    // A buffer of fewer than 2 bytes takes no read.
    EnvText text = {"A\n", 2, 0};
    char buffer[1] = {'x'};
    EXPECT_FALSE(ReadEnvTextLine(&text, buffer, 1));
    EXPECT_EQ(text.pos, 0u);
}

}  // namespace
