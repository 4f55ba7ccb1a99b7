// update.sum: parsing valid, malformed and damaged seals, the writer and its round trip, and the
// XXH3 digests by their check values. The END digest of each test file is computed here from the
// lines as the format defines it, independently of the writer.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "update/core/sum_file.h"

namespace {

// XXH3 64-bit check values (seed 0), as the vendored xxHash computes them.
const uint64_t kXxh3OfEmpty = 0x2D06800538D394C2ull;
const uint64_t kXxh3OfAbc = 0x78AF5F94892F3950ull;
const uint64_t kXxh3Of123456789 = 0x72DCB18B67A17DFFull;

const char kHeader[] = "VORLIN-SUM 1 XXH3-64";
const char kHyou[] = "\x95\x5C";  // 表: its trail byte is a backslash

std::string Hex16(uint64_t v) {
    char text[17];
    snprintf(text, sizeof text, "%016llx", (unsigned long long)v);
    return text;
}

// The END line for these lines (header included): the digest of each line plus one LF.
std::string EndLine(const std::vector<std::string>& lines) {
    std::string joined;
    for (const std::string& line : lines) joined += line + "\n";
    return "END " + Hex16(ComputeSumDigest(joined.data(), joined.size()));
}

// A sealed text: the header, the entry lines and the right END line, each line ended by the
// matching item of `ends` (the last one used again for the rest).
std::string Sealed(const std::vector<std::string>& entryLines,
                   const std::vector<std::string>& ends = {"\n"}) {
    std::vector<std::string> lines = {kHeader};
    lines.insert(lines.end(), entryLines.begin(), entryLines.end());
    std::vector<std::string> all = lines;
    all.push_back(EndLine(lines));
    std::string text;
    for (size_t i = 0; i < all.size(); i++) text += all[i] + ends[std::min(i, ends.size() - 1)];
    return text;
}

struct Expected {
    uint64_t digest;
    uint64_t size;
    std::string name;
};

struct ParseResult {
    int32_t status;
    std::vector<Expected> entries;
    bool nullWhenEmpty;
};

ParseResult Parse(const std::string& text) {
    // A copy of exactly the text's length, so that AddressSanitizer sees any read past it.
    uint8_t* bytes = (uint8_t*)malloc(text.size() ? text.size() : 1);
    memcpy(bytes, text.data(), text.size());
    SumEntry* entries = (SumEntry*)1;
    uint32_t count = 77;
    ParseResult r = {ParseSumFile(bytes, text.size(), &entries, &count), {}, true};
    free(bytes);
    for (uint32_t i = 0; i < count; i++)
        r.entries.push_back({entries[i].digest, entries[i].size, entries[i].name});
    r.nullWhenEmpty = count > 0 || entries == nullptr;
    ReleaseSumEntries(entries);
    return r;
}

std::string Entry(uint64_t digest, const char* size, const std::string& name) {
    return Hex16(digest) + " " + size + " " + name;
}

// The text with the first digit of its END digest changed to another hexadecimal digit.
std::string WithEndDigitChanged(std::string text) {
    size_t digit = text.rfind("END ") + 4;
    text[digit] = text[digit] == '0' ? '1' : '0';
    return text;
}

std::string LongName(size_t bytes) {
    std::string name = "help\\";
    while (name.size() < bytes) name += "a";
    return name;
}

TEST(SumFile, ValidFiles) {
    struct Case {
        const char* name;
        std::string text;
        std::vector<Expected> entries;
    };
    const std::string japanese = std::string("help\\") + kHyou + "\x8E\xA6.htm";  // 表示.htm
    const std::string lf = Sealed({Entry(0x0123456789ABCDEFull, "10", "vorlin.bin"),
                                   Entry(0xFEDCBA9876543210ull, "0", "update.arc")});
    std::string noFinalEnd = lf.substr(0, lf.size() - 1);
    std::string upperHex = Sealed({"0123456789ABCDEF 10 vorlin.bin"});
    const Case kCases[] = {
        {"LF",
         lf,
         {{0x0123456789ABCDEFull, 10, "vorlin.bin"}, {0xFEDCBA9876543210ull, 0, "update.arc"}}},
        {"CR LF",
         Sealed({Entry(0x0123456789ABCDEFull, "10", "vorlin.bin"),
                 Entry(0xFEDCBA9876543210ull, "0", "update.arc")},
                {"\r\n"}),
         {{0x0123456789ABCDEFull, 10, "vorlin.bin"}, {0xFEDCBA9876543210ull, 0, "update.arc"}}},
        {"mixed line ends",
         Sealed({Entry(1, "10", "vorlin.bin"), Entry(2, "0", "update.arc")},
                {"\r\n", "\n", "\r\n", "\n"}),
         {{1, 10, "vorlin.bin"}, {2, 0, "update.arc"}}},
        {"no final line end",
         noFinalEnd,
         {{0x0123456789ABCDEFull, 10, "vorlin.bin"}, {0xFEDCBA9876543210ull, 0, "update.arc"}}},
        {"no final line end after CR LF ends",
         Sealed({Entry(3, "1", "a")}, {"\r\n", "\r\n", ""}),
         {{3, 1, "a"}}},
        {"zero entries", Sealed({}), {}},
        {"zero entries, no final line end", Sealed({}, {"\n", ""}), {}},
        {"upper-case digest digits", upperHex, {{0x0123456789ABCDEFull, 10, "vorlin.bin"}}},
        {"names with spaces",
         Sealed({Entry(4, "5", "help\\read me first.txt")}),
         {{4, 5, "help\\read me first.txt"}}},
        {"code page 932 name with a 0x5C trail byte",
         Sealed({Entry(5, "6", japanese)}),
         {{5, 6, japanese}}},
        {"largest size",
         Sealed({Entry(6, "9223372036854775807", "big.arc")}),
         {{6, 9223372036854775807ull, "big.arc"}}},
        {"name of 259 bytes", Sealed({Entry(7, "1", LongName(259))}), {{7, 1, LongName(259)}}},
        {"name with DEL and high bytes",
         Sealed({Entry(8, "1", "a\x7F\xFF")}),
         {{8, 1, "a\x7F\xFF"}}},
        {"name that looks like an END line",
         Sealed({Entry(9, "1", "END 0000000000000000")}),
         {{9, 1, "END 0000000000000000"}}},
    };
    for (const Case& c : kCases) {
        ParseResult r = Parse(c.text);
        ASSERT_EQ(r.status, kSumOk) << c.name;
        ASSERT_EQ(r.entries.size(), c.entries.size()) << c.name;
        EXPECT_TRUE(r.nullWhenEmpty) << c.name;
        for (size_t i = 0; i < c.entries.size(); i++) {
            EXPECT_EQ(r.entries[i].digest, c.entries[i].digest) << c.name << " entry " << i;
            EXPECT_EQ(r.entries[i].size, c.entries[i].size) << c.name << " entry " << i;
            EXPECT_EQ(r.entries[i].name, c.entries[i].name) << c.name << " entry " << i;
        }
    }
}

TEST(SumFile, MalformedFiles) {
    struct Case {
        const char* name;
        std::string text;
    };
    std::string good = Sealed({Entry(1, "10", "vorlin.bin")});
    std::string afterEnd = good + "x";
    std::string blankAfterEnd = good + "\n";
    std::string loneCr = good.substr(0, good.size() - 1) + "\r";
    std::string tooMany;
    {
        std::vector<std::string> lines;
        for (uint32_t i = 0; i <= kSumMaxEntries; i++)
            lines.push_back(Entry(i, "1", "f" + std::to_string(i)));
        tooMany = Sealed(lines);
    }
    const Case kCases[] = {
        {"empty file", ""},
        {"header only", std::string(kHeader) + "\n"},
        {"wrong version", "VORLIN-SUM 2 XXH3-64\n" + EndLine({"VORLIN-SUM 2 XXH3-64"}) + "\n"},
        {"lower-case header", "vorlin-sum 1 xxh3-64\n" + EndLine({"vorlin-sum 1 xxh3-64"}) + "\n"},
        {"space after the header",
         "VORLIN-SUM 1 XXH3-64 \n" + EndLine({"VORLIN-SUM 1 XXH3-64 "}) + "\n"},
        {"blank line before the header", "\n" + good},
        {"digest of 15 digits", Sealed({"123456789abcdef 10 a"})},
        {"digest of 17 digits", Sealed({"0123456789abcdef0 10 a"})},
        {"digest with a non-hex digit", Sealed({"0123456789abcdeg 10 a"})},
        {"digest with a sign", Sealed({"+123456789abcdef 10 a"})},
        {"size missing", Sealed({"0123456789abcdef  a"})},
        {"size with a sign", Sealed({"0123456789abcdef +1 a"})},
        {"negative size", Sealed({"0123456789abcdef -1 a"})},
        {"size with a leading zero", Sealed({"0123456789abcdef 01 a"})},
        {"size of two zeros", Sealed({"0123456789abcdef 00 a"})},
        {"size of 2^63", Sealed({"0123456789abcdef 9223372036854775808 a"})},
        {"size of 2^64", Sealed({"0123456789abcdef 18446744073709551616 a"})},
        {"size of 20 digits", Sealed({"0123456789abcdef 10000000000000000000 a"})},
        {"size in hexadecimal", Sealed({"0123456789abcdef 0x10 a"})},
        {"two spaces after the digest", Sealed({"0123456789abcdef  10 a"})},
        {"space before the digest", Sealed({" 0123456789abcdef 10 a"})},
        {"tab between fields", Sealed({"0123456789abcdef\t10 a"})},
        {"name missing", Sealed({"0123456789abcdef 10"})},
        {"name empty", Sealed({"0123456789abcdef 10 "})},
        {"name starting with a space", Sealed({"0123456789abcdef 10  a"})},
        {"name ending with a space", Sealed({"0123456789abcdef 10 a "})},
        {"name of 260 bytes", Sealed({Entry(1, "1", LongName(260))})},
        {"name with a tab", Sealed({Entry(1, "1", "a\tb")})},
        {"name with a CR inside", Sealed({Entry(1, "1", "a\rb")})},
        {"name with a NUL", Sealed({Entry(1, "1", std::string("a\0b", 3))})},
        {"name with a slash", Sealed({Entry(1, "1", "help/index.htm")})},
        {"line ended by CR CR LF", Sealed({Entry(1, "1", "a")}, {"\n", "\r\r\n", "\n"})},
        {"duplicate names", Sealed({Entry(1, "1", "update.arc"), Entry(2, "2", "update.arc")})},
        {"names differing only by case",
         Sealed({Entry(1, "1", "Help\\Index.HTM"), Entry(2, "2", "help\\index.htm")})},
        {"names differing only by full-width case",
         Sealed({Entry(1, "1", "help\\\x82\x60.htm"), Entry(2, "2", "help\\\x82\x81.htm")})},
        {"names differing only by Greek case",
         Sealed({Entry(1, "1", "\x83\x9F"), Entry(2, "2", "\x83\xBF")})},
        {"duplicate far apart",
         Sealed({Entry(1, "1", "a"), Entry(2, "1", "b"), Entry(3, "1", "c"), Entry(4, "1", "A")})},
        {"duplicate names and a wrong END digest",
         WithEndDigitChanged(Sealed({Entry(1, "1", "a"), Entry(2, "2", "A")}))},
        {"missing END", std::string(kHeader) + "\n" + Entry(1, "1", "a") + "\n"},
        {"missing END, no final line end", std::string(kHeader) + "\n" + Entry(1, "1", "a")},
        {"END without digest", std::string(kHeader) + "\nEND\n"},
        {"END with a short digest", std::string(kHeader) + "\nEND 464faca28de2f27\n"},
        {"END with a space after it",
         std::string(kHeader) + "\nEND " + Hex16(0x464FACA28DE2F279ull) + " \n"},
        {"lower-case end", std::string(kHeader) + "\nend " + Hex16(0x464FACA28DE2F279ull) + "\n"},
        {"a byte after END", afterEnd},
        {"a blank line after END", blankAfterEnd},
        {"END ended by a lone CR", loneCr},
        {"blank line between entries",
         std::string(kHeader) + "\n\n" + EndLine({kHeader, ""}) + "\n"},
        {"too many entries", tooMany},
    };
    for (const Case& c : kCases) {
        ParseResult r = Parse(c.text);
        EXPECT_EQ(r.status, kSumMalformed) << c.name;
        EXPECT_TRUE(r.entries.empty()) << c.name;
        EXPECT_TRUE(r.nullWhenEmpty) << c.name;
    }
}

TEST(SumFile, DamagedFiles) {
    const std::string good =
        Sealed({Entry(0x1111, "10", "vorlin.bin"), Entry(0x2222, "20", "update.arc"),
                Entry(0x3333, "30", std::string("help\\") + kHyou + ".htm")});
    ASSERT_EQ(Parse(good).status, kSumOk);
    auto changed = [&](const char* find, const char* replacement) {
        std::string text = good;
        size_t at = text.find(find);
        EXPECT_NE(at, std::string::npos) << find;
        return text.replace(at, strlen(find), replacement);
    };
    std::string removed = good;
    size_t line = removed.find("0000000000002222");
    removed.erase(line, removed.find('\n', line) + 1 - line);
    std::string added = good;
    added.insert(good.rfind("END "), Entry(0x4444, "40", "voice.arc") + "\n");
    std::string swapped =
        Sealed({Entry(0x2222, "20", "update.arc"), Entry(0x1111, "10", "vorlin.bin"),
                Entry(0x3333, "30", std::string("help\\") + kHyou + ".htm")});
    swapped.replace(swapped.rfind("END "), std::string::npos, good.substr(good.rfind("END ")));
    struct Case {
        const char* name;
        std::string text;
    };
    const Case kCases[] = {
        {"digest digit changed", changed("0000000000001111", "0000000000001112")},
        {"digest digit changed in case",
         changed("0000000000002222 20 update.arc", "000000000000222A 20 update.arc")},
        {"size changed", changed(" 20 ", " 21 ")},
        {"name changed", changed("update.arc", "updatf.arc")},
        {"name changed in case only", changed("update.arc", "Update.arc")},
        {"double-byte character changed", changed(kHyou, "\x95\x5D")},
        {"an entry removed", removed},
        {"an entry added", added},
        {"entries swapped", swapped},
        {"END digest changed", WithEndDigitChanged(good)},
    };
    for (const Case& c : kCases) {
        ParseResult r = Parse(c.text);
        EXPECT_EQ(r.status, kSumDamaged) << c.name;
        EXPECT_TRUE(r.entries.empty()) << c.name;
    }
}

SumEntry MakeEntry(uint64_t digest, uint64_t size, const std::string& name) {
    SumEntry e;
    memset(&e, 0, sizeof e);
    e.digest = digest;
    e.size = size;
    memcpy(e.name, name.data(), std::min(name.size(), sizeof e.name));
    return e;
}

TEST(SumFile, FormatWritesTheLayout) {
    std::vector<SumEntry> entries = {MakeEntry(0x0123456789ABCDEFull, 1234, "vorlin.bin"),
                                     MakeEntry(0, 0, "help\\index.htm")};
    char* text = nullptr;
    size_t length = 99;
    ASSERT_EQ(FormatSumFile(entries.data(), (uint32_t)entries.size(), &text, &length), kSumOk);
    std::string expected =
        Sealed({"0123456789abcdef 1234 vorlin.bin", "0000000000000000 0 help\\index.htm"});
    EXPECT_EQ(std::string(text, length), expected);
    free(text);

    ASSERT_EQ(FormatSumFile(nullptr, 0, &text, &length), kSumOk);
    EXPECT_EQ(std::string(text, length), Sealed({}));
    EXPECT_EQ(std::string(text, length), "VORLIN-SUM 1 XXH3-64\nEND 464faca28de2f279\n");
    free(text);
}

TEST(SumFile, RoundTrip) {
    struct Case {
        const char* name;
        std::vector<SumEntry> entries;
    };
    const Case kCases[] = {
        {"none", {}},
        {"one", {MakeEntry(kXxh3OfEmpty, 0, "update.txt")}},
        {"media",
         {MakeEntry(0xFFFFFFFFFFFFFFFFull, 9223372036854775807ull, "vorlin.bin"),
          MakeEntry(1, 1, "update.arc"), MakeEntry(2, 10, "help\\a b.htm"),
          MakeEntry(3, 100, std::string("help\\") + kHyou + "\x8E\xA6.htm"),
          MakeEntry(4, 1000, LongName(259))}},
    };
    for (const Case& c : kCases) {
        char* text = nullptr;
        size_t length = 0;
        ASSERT_EQ(FormatSumFile(c.entries.data(), (uint32_t)c.entries.size(), &text, &length),
                  kSumOk)
            << c.name;
        ParseResult r = Parse(std::string(text, length));
        free(text);
        ASSERT_EQ(r.status, kSumOk) << c.name;
        ASSERT_EQ(r.entries.size(), c.entries.size()) << c.name;
        for (size_t i = 0; i < c.entries.size(); i++) {
            EXPECT_EQ(r.entries[i].digest, c.entries[i].digest) << c.name;
            EXPECT_EQ(r.entries[i].size, c.entries[i].size) << c.name;
            EXPECT_EQ(r.entries[i].name, c.entries[i].name) << c.name;
        }
    }
}

TEST(SumFile, FormatRefusesWhatCannotBeParsedBack) {
    SumEntry unterminated = MakeEntry(1, 1, "");
    memset(unterminated.name, 'a', sizeof unterminated.name);
    struct Case {
        const char* name;
        std::vector<SumEntry> entries;
    };
    const Case kCases[] = {
        {"empty name", {MakeEntry(1, 1, "")}},
        {"name of 260 bytes without its NUL", {unterminated}},
        {"control byte", {MakeEntry(1, 1, "a\nb")}},
        {"slash", {MakeEntry(1, 1, "help/a.htm")}},
        {"leading space", {MakeEntry(1, 1, " a")}},
        {"trailing space", {MakeEntry(1, 1, "a ")}},
        {"size of 2^63", {MakeEntry(1, 9223372036854775808ull, "a")}},
        {"names equal but for case",
         {MakeEntry(1, 1, "UPDATE.ARC"), MakeEntry(2, 2, "update.arc")}},
        {"names equal but for full-width case",
         {MakeEntry(1, 1, "\x82\x60"), MakeEntry(2, 2, "\x82\x81")}},
    };
    for (const Case& c : kCases) {
        char* text = (char*)1;
        size_t length = 5;
        EXPECT_EQ(FormatSumFile(c.entries.data(), (uint32_t)c.entries.size(), &text, &length),
                  kSumMalformed)
            << c.name;
        EXPECT_EQ(text, nullptr) << c.name;
        EXPECT_EQ(length, 0u) << c.name;
    }
    std::vector<SumEntry> many(kSumMaxEntries + 1);
    for (uint32_t i = 0; i < many.size(); i++) many[i] = MakeEntry(i, i, "f" + std::to_string(i));
    char* text = nullptr;
    size_t length = 0;
    EXPECT_EQ(FormatSumFile(many.data(), kSumMaxEntries + 1, &text, &length), kSumMalformed);
    EXPECT_EQ(FormatSumFile(many.data(), kSumMaxEntries, &text, &length), kSumOk);
    free(text);
}

TEST(SumFile, DigestCheckValues) {
    struct Case {
        const char* text;
        uint64_t digest;
    };
    const Case kCases[] = {
        {"", kXxh3OfEmpty},
        {"abc", kXxh3OfAbc},
        {"123456789", kXxh3Of123456789},
    };
    for (const Case& c : kCases) {
        EXPECT_EQ(ComputeSumDigest(c.text, strlen(c.text)), c.digest) << c.text;
        SumDigestState* state = BeginSumDigest();
        ASSERT_NE(state, nullptr);
        for (const char* p = c.text; *p; p++) UpdateSumDigest(state, p, 1);
        EXPECT_EQ(FinishSumDigest(state), c.digest) << c.text;
    }
}

TEST(SumFile, StreamedDigestEqualsOneBlock) {
    // Past every internal block size of XXH3 (240-byte short path, 1 KiB stripes, 64-byte
    // lanes), fed in chunks that fall across those boundaries.
    std::vector<uint8_t> data(200000);
    uint32_t x = 1;
    for (uint8_t& b : data) {
        x = x * 1103515245u + 12345u;
        b = (uint8_t)(x >> 16);
    }
    const size_t kLengths[] = {0, 1, 16, 17, 128, 129, 240, 241, 1024, 1025, 4096, 65536, 200000};
    const size_t kChunks[] = {1, 7, 64, 255, 1024, 65536};
    for (size_t length : kLengths) {
        uint64_t whole = ComputeSumDigest(data.data(), length);
        for (size_t chunk : kChunks) {
            if (length > 5000 && chunk < 64) continue;
            SumDigestState* state = BeginSumDigest();
            ASSERT_NE(state, nullptr);
            for (size_t done = 0; done < length; done += chunk)
                UpdateSumDigest(state, data.data() + done, std::min(chunk, length - done));
            EXPECT_EQ(FinishSumDigest(state), whole) << length << " in chunks of " << chunk;
        }
    }
}

}  // namespace
