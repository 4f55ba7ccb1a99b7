// Fuzz target: update.sum text of arbitrary bytes through ParseSumFile. Properties:
//  - the parser never reads outside the input (AddressSanitizer: libFuzzer's buffer is exact);
//  - the status is one of the three, and only kSumOk hands out entries;
//  - on kSumOk every entry keeps the format's rules (name 1..259 bytes, NUL-terminated, no byte
//    below 0x20, no "/", no space at either end; size below 2^63; no two names equal once
//    lower-cased as code page 932 text), and the entries are exactly the file's lines;
//  - FormatSumFile of the parsed entries succeeds and parses back to the same entries;
//  - a damaged file whose END digest is rewritten by this harness parses as kSumOk (damaged
//    means well-formed), and the properties above then hold for it;
//  - changing any single byte of a valid file (every position of small files, a sample of large
//  ones) never gives
//    kSumOk with different entries.
// Random inputs almost never carry the right END digest, so the seeds are valid seals and the
// harness mends the digest of mutated ones itself.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <set>
#include <string>
#include <vector>

#include "resfs/cp932_lower.h"
#include "update/core/sum_file.h"

static void Check(bool condition, const char* what) {
    if (!condition) {
        fprintf(stderr, "property violated: %s\n", what);
        abort();
    }
}

struct Parsed {
    int32_t status;
    std::vector<SumEntry> entries;
};

// Parses from an allocation of exactly the text's size.
static Parsed ParseCopy(const std::string& text) {
    uint8_t* bytes = (uint8_t*)malloc(text.size() ? text.size() : 1);
    memcpy(bytes, text.data(), text.size());
    SumEntry* entries = (SumEntry*)&bytes;  // must be replaced
    uint32_t count = 12345;
    Parsed p = {ParseSumFile(bytes, text.size(), &entries, &count), {}};
    free(bytes);
    Check(p.status == kSumOk || p.status == kSumMalformed || p.status == kSumDamaged,
          "status is one of the three");
    if (p.status != kSumOk) Check(entries == nullptr && count == 0, "failure hands out nothing");
    if (p.status == kSumOk) Check((count == 0) == (entries == nullptr), "null exactly when empty");
    if (count) p.entries.assign(entries, entries + count);
    ReleaseSumEntries(entries);
    return p;
}

static bool SameEntries(const std::vector<SumEntry>& a, const std::vector<SumEntry>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); i++) {
        if (a[i].digest != b[i].digest || a[i].size != b[i].size ||
            strcmp(a[i].name, b[i].name) != 0)
            return false;
    }
    return true;
}

static void CheckRules(const std::vector<SumEntry>& entries) {
    Check(entries.size() <= kSumMaxEntries, "entry count");
    std::set<std::string> lowered;
    for (const SumEntry& e : entries) {
        const void* nul = memchr(e.name, 0, sizeof e.name);
        Check(nul != nullptr, "name is terminated");
        size_t n = (size_t)((const char*)nul - e.name);
        Check(n >= 1 && n <= kSumMaxNameBytes, "name length");
        Check(e.name[0] != ' ' && e.name[n - 1] != ' ', "no space at either end");
        for (size_t i = 0; i < n; i++) {
            uint8_t c = (uint8_t)e.name[i];
            Check(c >= 0x20 && c != '/', "name bytes");
        }
        Check(e.size <= 0x7FFFFFFFFFFFFFFFull, "size below 2^63");
        std::string lower = e.name;
        LowerCp932(&lower[0]);
        Check(lowered.insert(lower).second, "no names equal once lower-cased");
    }
}

// The entry lines of the text, rebuilt from the entries: digest in either case, so compared by
// value; the file's own lines must say exactly what the entries say.
static void CheckLinesMatch(const std::string& text, const std::vector<SumEntry>& entries) {
    size_t pos = text.find('\n') + 1;  // after the header
    for (const SumEntry& e : entries) {
        size_t lf = text.find('\n', pos);
        std::string line = text.substr(pos, lf == std::string::npos ? std::string::npos : lf - pos);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        char head[64];
        snprintf(head, sizeof head, "%016llx %llu ", (unsigned long long)e.digest,
                 (unsigned long long)e.size);
        std::string expected = std::string(head) + e.name;
        Check(line.size() == expected.size(), "entry line length");
        for (size_t i = 0; i < line.size(); i++) {
            char a = line[i], b = expected[i];
            if (i < 16 && a >= 'A' && a <= 'F') a = (char)(a - 'A' + 'a');
            Check(a == b, "entry line says what the entry says");
        }
        pos = lf + 1;
    }
}

static std::string Format(const std::vector<SumEntry>& entries) {
    char* text = nullptr;
    size_t length = 0;
    int32_t status = FormatSumFile(entries.data(), (uint32_t)entries.size(), &text, &length);
    Check(status == kSumOk && text != nullptr, "parsed entries can be written");
    std::string out(text, length);
    free(text);
    return out;
}

// Rewrites the END digest of a well-formed text to the digest of the lines before it.
static std::string MendEndDigest(const std::string& text) {
    size_t end = text.rfind("END ");
    Check(end != std::string::npos, "damaged text has an END line");
    std::string canonical;
    for (size_t pos = 0; pos < end;) {
        size_t lf = text.find('\n', pos);
        std::string line = text.substr(pos, lf - pos);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        canonical += line + "\n";
        pos = lf + 1;
    }
    char digits[17];
    snprintf(digits, sizeof digits, "%016llx",
             (unsigned long long)ComputeSumDigest(canonical.data(), canonical.size()));
    std::string mended = text;
    mended.replace(end + 4, 16, digits);
    return mended;
}

static void CheckSingleByteChanges(const std::string& text, const std::vector<SumEntry>& entries) {
    // A few positions per input, drawn from the text's own digest: over a run the fuzzer's many
    // valid inputs cover every kind of position, while each input stays quick to check (every
    // position of every input made the target too slow to search).
    static const uint8_t kChanges[] = {0x01, 0x20, 0x80};
    const size_t kSamples = 8;
    size_t positions = text.size() < kSamples ? text.size() : kSamples;
    uint32_t x = (uint32_t)ComputeSumDigest(text.data(), text.size()) | 1;
    for (size_t k = 0; k < positions; k++) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        size_t at = text.size() <= kSamples ? k : x % text.size();
        for (uint8_t change : kChanges) {
            std::string changed = text;
            changed[at] = (char)(changed[at] ^ change);
            Parsed p = ParseCopy(changed);
            if (p.status == kSumOk)
                Check(SameEntries(p.entries, entries), "a changed byte never gives other entries");
        }
    }
}

static void CheckValid(const std::string& text, const std::vector<SumEntry>& entries) {
    CheckRules(entries);
    CheckLinesMatch(text, entries);
    std::string written = Format(entries);
    Parsed again = ParseCopy(written);
    Check(again.status == kSumOk && SameEntries(again.entries, entries), "round trip");
    CheckSingleByteChanges(text, entries);
    if (written != text) CheckSingleByteChanges(written, entries);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text((const char*)data, size);
    Parsed p = ParseCopy(text);
    if (p.status == kSumDamaged) {
        text = MendEndDigest(text);
        p = ParseCopy(text);
        Check(p.status == kSumOk, "a damaged file with its END digest mended is valid");
    }
    if (p.status == kSumOk) CheckValid(text, p.entries);
    return 0;
}
