// Code page 932 lower-casing, reproducing CharLowerA under ACP 932, which converts the text to
// Unicode, lower-cases it and converts it back. The mapping below is the complete list of
// double-byte codes that this round trip changes.
#include "resfs/cp932_lower.h"

#include <string.h>

#include "resfs/name_hash.h"

static const uint16_t kSubstituteChar = 0x8145;  // U+30FB, the platform's stand-in character

static bool IsCp932TrailByte(uint8_t byte) {
    return byte >= 0x40 && byte <= 0xFC && byte != 0x7F;
}

// Position of a double-byte code in the code page's character order: 188 cells per lead byte,
// second bytes 0x40-0x7E then 0x80-0xFC. Only for valid pairs.
static uint32_t CellIndex(uint16_t code) {
    uint32_t lead = code >> 8, trail = code & 0xFF;
    uint32_t row = lead <= 0x9F ? lead - 0x81 : lead - 0xE0 + 31;
    return row * 188 + (trail < 0x7F ? trail - 0x40 : trail - 0x41);
}

static uint16_t CodeFromCellIndex(uint32_t index) {
    uint32_t row = index / 188, cell = index % 188;
    uint32_t lead = row < 31 ? 0x81 + row : 0xE0 + row - 31;
    uint32_t trail = cell < 63 ? 0x40 + cell : 0x41 + cell;
    return (uint16_t)(lead << 8 | trail);
}

// Valid pairs without a character (inclusive ranges; numeric order equals character order for
// valid pairs). The user-defined area 0xF040-0xF9FC maps to private-use characters and stays.
struct CodeRange {
    uint16_t first, last;
};
static const CodeRange kUnassigned[] = {
    {0x81AD, 0x81B7}, {0x81C0, 0x81C7}, {0x81CF, 0x81D9}, {0x81E9, 0x81EF}, {0x81F8, 0x81FB},
    {0x8240, 0x824E}, {0x8259, 0x825F}, {0x827A, 0x8280}, {0x829B, 0x829E}, {0x82F2, 0x82FC},
    {0x8397, 0x839E}, {0x83B7, 0x83BE}, {0x83D7, 0x83FC}, {0x8461, 0x846F}, {0x8492, 0x849E},
    {0x84BF, 0x86FC}, {0x875E, 0x875E}, {0x8776, 0x877D}, {0x879D, 0x889E}, {0x9873, 0x989E},
    {0xEAA5, 0xECFC}, {0xEEED, 0xEEEE}, {0xEF40, 0xEFFC}, {0xFC4C, 0xFCFC},
};

// Duplicates that come back as a different code (NEC row 13 symbols that JIS also has, IBM
// extension symbols that NEC row 13 or JIS has first).
struct CodePair {
    uint16_t from, to;
};
static const CodePair kDuplicates[] = {
    {0x8790, 0x81E0}, {0x8791, 0x81DF}, {0x8792, 0x81E7}, {0x8795, 0x81E3}, {0x8796, 0x81DB},
    {0x8797, 0x81DA}, {0x879A, 0x81E6}, {0x879B, 0x81BF}, {0x879C, 0x81BE}, {0xEEF9, 0x81CA},
    {0xFA54, 0x81CA}, {0xFA58, 0x878A}, {0xFA59, 0x8782}, {0xFA5A, 0x8784}, {0xFA5B, 0x81E6},
};

uint16_t LowerCp932DoubleByte(uint16_t code) {
    if (!IsCp932LeadByte((uint8_t)(code >> 8)) || !IsCp932TrailByte((uint8_t)code))
        return kSubstituteChar;
    for (const CodeRange& r : kUnassigned)
        if (code >= r.first && code <= r.last) return kSubstituteChar;
    if (code >= 0x8260 && code <= 0x8279) return code + 0x21;  // full-width A-Z
    if (code >= 0x839F && code <= 0x83B6) return code + 0x20;  // Greek
    if (code >= 0x8440 && code <= 0x8460)                      // Cyrillic; 0x847F is no character
        return code <= 0x844E ? code + 0x30 : code + 0x31;
    if (code >= 0x8754 && code <= 0x875D) return 0xFA40 + (code - 0x8754);  // Roman I-X (NEC)
    if (code >= 0xFA4A && code <= 0xFA53) return code - 0x0A;               // Roman I-X (IBM)
    if (code >= 0xEEEF && code <= 0xEEF8) return 0xFA40 + (code - 0xEEEF);  // small i-x (NEC)
    if (code >= 0xEEFA && code <= 0xEEFC) return 0xFA55 + (code - 0xEEFA);
    if (code >= 0xED40 && code <= 0xEEEC)  // NEC-selected IBM kanji: same order as IBM's own
        return CodeFromCellIndex(CellIndex(code) - CellIndex(0xED40) + CellIndex(0xFA5C));
    for (const CodePair& d : kDuplicates)
        if (code == d.from) return d.to;
    return code;
}

// Lower-cases the character at `p` into out[0..1]; returns its length in bytes (1 or 2).
static int32_t LowerOneChar(const uint8_t* p, uint8_t out[2]) {
    if (IsCp932LeadByte(p[0]) && p[1] != 0) {
        uint16_t lower = LowerCp932DoubleByte((uint16_t)(p[0] << 8 | p[1]));
        out[0] = (uint8_t)(lower >> 8);
        out[1] = (uint8_t)lower;
        return 2;
    }
    out[0] = (p[0] >= 'A' && p[0] <= 'Z') ? (uint8_t)(p[0] + ('a' - 'A')) : p[0];
    return 1;
}

void LowerCp932(char* text) {
    uint8_t* p = (uint8_t*)text;
    while (*p) {
        uint8_t lower[2];
        int32_t n = LowerOneChar(p, lower);
        for (int32_t i = 0; i < n; i++) p[i] = lower[i];
        p += n;
    }
}

bool EqualCp932IgnoringCase(const char* a, const char* b) {
    const uint8_t* p = (const uint8_t*)a;
    const uint8_t* q = (const uint8_t*)b;
    while (*p && *q) {
        uint8_t x[2], y[2];
        int32_t n = LowerOneChar(p, x), m = LowerOneChar(q, y);
        if (n != m || memcmp(x, y, (size_t)n) != 0) return false;
        p += n;
        q += m;
    }
    return *p == *q;
}

const char* FindCp932Separator(const char* text, const char* separators) {
    for (const uint8_t* p = (const uint8_t*)text; *p; p++) {
        if (IsCp932LeadByte(*p) && p[1] != 0) {
            p++;
            continue;
        }
        if (strchr(separators, *p)) return (const char*)p;
    }
    return nullptr;
}

// A separator is a character of its own, so the search goes on from the byte after it.
const char* FindLastCp932Separator(const char* text, const char* separators) {
    const char* last = nullptr;
    for (const char* p = FindCp932Separator(text, separators); p;
         p = FindCp932Separator(p + 1, separators))
        last = p;
    return last;
}

const char* FindFinalComponent(const char* name) {
    const uint8_t* p = (const uint8_t*)name;
    if (((p[0] | 0x20) >= 'a' && (p[0] | 0x20) <= 'z') && p[1] == ':') name += 2;
    const char* last = FindLastCp932Separator(name, "\\/");
    return last ? last + 1 : name;
}

uint32_t ComputeLowerNameHash(const char* name) {
    uint32_t crc = 0xFFFFFFFFu;
    const uint8_t* p = (const uint8_t*)name;
    while (*p) {
        uint8_t lower[2];
        int32_t n = LowerOneChar(p, lower);
        crc = UpdateCrc32(crc, lower, n);
        p += n;
    }
    return ~crc;
}

uint32_t ComputeLookupKey(const char* name) {
    return ComputeLowerNameHash(FindFinalComponent(name));
}
