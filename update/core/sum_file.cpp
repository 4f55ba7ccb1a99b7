// update.sum parser and writer, and the XXH3 digests (see sum_file.h for the layout).
//
// The parser reads the text twice: a first pass checks every line and the END digest and counts
// the entries without allocating anything; only then is the entry array allocated (its size is
// bounded by kSumMaxEntries), and a second pass fills it. Duplicate names are found by sorting
// digests of the lower-cased names; names whose digests are equal are compared byte for byte.
// Malformed wins over damaged: a file with both faults is reported malformed.
//
// The digest is xxHash's XXH3 64-bit (third_party/xxhash), inlined into this one unit. In the
// 32-bit Windows build this unit is compiled with -msse2 (update/CMakeLists.txt), which selects
// xxHash's SSE2 kernel: the compiler's i686 baseline (pentiumpro) would leave only the scalar
// kernel, whose 64-bit multiplies each become several 32-bit ones. Measured under Wine
// (bench/update/digest_bench.cpp, 256 MiB, medians of two runs on a shared machine): scalar
// 1.6-2.2 GB/s, SSE2 4.4-4.9 GB/s, AVX2 6.4-13 GB/s.
// No runtime dispatch: every processor that runs Windows 8 or later has SSE2, so SSE2 needs no
// check; and an AVX2 path (a second compiled copy of xxHash, a CPUID and XGETBV test) would only
// speed up a digest that already runs more than ten times faster than a disc, a USB stick or a
// SATA disk delivers the bytes it digests: the copy waits for the medium, not for the hash.
#include "update/core/sum_file.h"

#include <stdlib.h>
#include <string.h>

#include "resfs/cp932_lower.h"

#define XXH_INLINE_ALL
#include "third_party/xxhash/xxhash.h"

enum : uint32_t {
    kDigestDigits = 16,
    kMaxSizeDigits = 19,  // 2^63 - 1 has 19 digits
};

static const char kHeaderLine[] = "VORLIN-SUM 1 XXH3-64";
static const char kEndPrefix[] = "END ";
static const uint64_t kMaxSumSize = 0x7FFFFFFFFFFFFFFFull;

// ---- reading ----------------------------------------------------------------------------------

// The text split into lines, one at a time. A line's bytes exclude its LF and the CR before it.
struct LineReader {
    const uint8_t* p;
    size_t size, pos;
};

struct Line {
    const uint8_t* bytes;
    size_t length;
};

static bool AtEnd(const LineReader* r) {
    return r->pos == r->size;
}

static Line NextLine(LineReader* r) {
    const uint8_t* start = r->p + r->pos;
    size_t left = r->size - r->pos;
    const uint8_t* lf = (const uint8_t*)memchr(start, '\n', left);
    Line line = {start, left};
    if (!lf) {
        r->pos = r->size;  // the last line's end may be missing; a lone CR stays in the line
        return line;
    }
    line.length = (size_t)(lf - start);
    r->pos += line.length + 1;
    if (line.length > 0 && start[line.length - 1] == '\r') line.length--;
    return line;
}

// The fields of one line, read left to right with a sticky error.
struct FieldReader {
    const uint8_t* p;
    size_t size, pos;
    bool failed;
};

static int HexValue(uint8_t c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

static uint64_t ReadDigest(FieldReader* f) {
    if (f->failed || kDigestDigits > f->size - f->pos) {
        f->failed = true;
        return 0;
    }
    uint64_t value = 0;
    for (uint32_t i = 0; i < kDigestDigits; i++) {
        int digit = HexValue(f->p[f->pos + i]);
        if (digit < 0) {
            f->failed = true;
            return 0;
        }
        value = value << 4 | (uint64_t)digit;
    }
    f->pos += kDigestDigits;
    return value;
}

static void ReadSpace(FieldReader* f) {
    if (f->failed || f->pos == f->size || f->p[f->pos] != ' ') {
        f->failed = true;
        return;
    }
    f->pos++;
}

// A decimal size: digits up to the next space, no sign, no leading zero, at most 2^63 - 1.
static uint64_t ReadSize(FieldReader* f) {
    if (f->failed) return 0;
    size_t start = f->pos, digits = 0;
    uint64_t value = 0;
    while (f->pos < f->size && f->p[f->pos] >= '0' && f->p[f->pos] <= '9') {
        uint64_t digit = (uint64_t)(f->p[f->pos] - '0');
        if (++digits > kMaxSizeDigits || value > (kMaxSumSize - digit) / 10) {
            f->failed = true;
            return 0;
        }
        value = value * 10 + digit;
        f->pos++;
    }
    if (digits == 0 || (digits > 1 && f->p[start] == '0')) f->failed = true;
    return value;
}

// The name rules, shared by the parser and the writer: 1 to 259 bytes, none below 0x20, no "/",
// no space at either end.
static bool IsValidSumName(const uint8_t* name, size_t length) {
    if (length == 0 || length > kSumMaxNameBytes) return false;
    if (name[0] == ' ' || name[length - 1] == ' ') return false;
    for (size_t i = 0; i < length; i++) {
        if (name[i] < 0x20 || name[i] == '/') return false;
    }
    return true;
}

static bool LineEquals(Line line, const char* text) {
    size_t length = strlen(text);
    return line.length == length && memcmp(line.bytes, text, length) == 0;
}

static bool IsEndLine(Line line) {
    return line.length >= 4 && memcmp(line.bytes, kEndPrefix, 4) == 0;
}

// "END <digest>" and nothing more; false when malformed.
static bool ParseEndLine(Line line, uint64_t* digest) {
    FieldReader f = {line.bytes, line.length, 4, false};
    *digest = ReadDigest(&f);
    return !f.failed && f.pos == f.size;
}

// "<digest> <size> <name>"; false when malformed. `entry` may be null (checking pass).
static bool ParseEntryLine(Line line, SumEntry* entry) {
    FieldReader f = {line.bytes, line.length, 0, false};
    uint64_t digest = ReadDigest(&f);
    ReadSpace(&f);
    uint64_t size = ReadSize(&f);
    ReadSpace(&f);
    if (f.failed) return false;
    const uint8_t* name = f.p + f.pos;
    size_t nameLength = f.size - f.pos;
    if (!IsValidSumName(name, nameLength)) return false;
    if (entry) {
        entry->digest = digest;
        entry->size = size;
        memcpy(entry->name, name, nameLength);
        entry->name[nameLength] = '\0';
    }
    return true;
}

static void HashLine(XXH3_state_t* state, Line line) {
    XXH3_64bits_update(state, line.bytes, line.length);
    XXH3_64bits_update(state, "\n", 1);
}

// Checks the whole text. Returns kSumOk with *count set, kSumMalformed, or kSumDamaged when only
// the END digest is wrong (duplicate names are looked for later, by the caller).
static SumStatus CheckSumText(const uint8_t* bytes, size_t size, uint32_t* count,
                              uint64_t* endDigest) {
    LineReader r = {bytes, size, 0};
    *count = 0;
    if (AtEnd(&r)) return kSumMalformed;
    Line header = NextLine(&r);
    if (!LineEquals(header, kHeaderLine)) return kSumMalformed;
    XXH3_state_t state;
    XXH3_INITSTATE(&state);
    XXH3_64bits_reset(&state);
    HashLine(&state, header);
    uint32_t entries = 0;
    for (;;) {
        if (AtEnd(&r)) return kSumMalformed;  // no END line
        Line line = NextLine(&r);
        if (IsEndLine(line)) {
            uint64_t digest;
            if (!ParseEndLine(line, &digest) || !AtEnd(&r)) return kSumMalformed;
            *count = entries;
            if (endDigest) *endDigest = digest;
            return digest == XXH3_64bits_digest(&state) ? kSumOk : kSumDamaged;
        }
        if (entries == kSumMaxEntries || !ParseEntryLine(line, nullptr)) return kSumMalformed;
        entries++;
        HashLine(&state, line);
    }
}

// Second pass over text that CheckSumText accepted: the entries in file order.
static void FillSumEntries(const uint8_t* bytes, size_t size, SumEntry* entries, uint32_t count) {
    LineReader r = {bytes, size, 0};
    NextLine(&r);  // header
    for (uint32_t i = 0; i < count; i++) ParseEntryLine(NextLine(&r), &entries[i]);
}

// ---- duplicate names --------------------------------------------------------------------------

struct NameKey {
    uint64_t digest;  // of the lower-cased name
    uint32_t index;
};

static void LowerName(const char* name, char lower[kSumMaxNameBytes + 1]) {
    strcpy(lower, name);
    LowerCp932(lower);
}

static int CompareNameKeys(const void* a, const void* b) {
    const NameKey* x = (const NameKey*)a;
    const NameKey* y = (const NameKey*)b;
    if (x->digest != y->digest) return x->digest < y->digest ? -1 : 1;
    return x->index < y->index ? -1 : x->index > y->index;
}

// 1 when two names are equal once lower-cased as code page 932 text, 0 when all differ, -1 when
// memory ran out. Names are valid (NUL-terminated, at most 259 bytes).
static int32_t HasDuplicateNames(const SumEntry* entries, uint32_t count) {
    if (count < 2) return 0;
    NameKey* keys = (NameKey*)malloc((size_t)count * sizeof(NameKey));
    if (!keys) return -1;
    char lower[kSumMaxNameBytes + 1], other[kSumMaxNameBytes + 1];
    for (uint32_t i = 0; i < count; i++) {
        LowerName(entries[i].name, lower);
        keys[i].digest = XXH3_64bits(lower, strlen(lower));
        keys[i].index = i;
    }
    qsort(keys, count, sizeof(NameKey), CompareNameKeys);
    int32_t found = 0;
    for (uint32_t i = 1; i < count && !found; i++) {
        // Equal digests of different names are next to each other too; compare every pair in a
        // run of equal digests.
        for (uint32_t j = i; j > 0 && keys[j - 1].digest == keys[i].digest && !found; j--) {
            LowerName(entries[keys[i].index].name, lower);
            LowerName(entries[keys[j - 1].index].name, other);
            found = strcmp(lower, other) == 0;
        }
    }
    free(keys);
    return found;
}

// ---- interface --------------------------------------------------------------------------------

SumStatus ParseSumFile(const uint8_t* bytes, size_t size, SumEntry** entries, uint32_t* count) {
    *entries = nullptr;
    *count = 0;
    uint32_t n;
    SumStatus status = CheckSumText(bytes, size, &n, nullptr);
    if (status == kSumMalformed) return kSumMalformed;
    if (n == 0) return status;
    SumEntry* list = (SumEntry*)malloc((size_t)n * sizeof(SumEntry));
    if (!list)
        return kSumMalformed;  // cannot be read here, which the caller must treat as unsealed
    FillSumEntries(bytes, size, list, n);
    int32_t duplicates = HasDuplicateNames(list, n);
    if (duplicates != 0) status = kSumMalformed;
    if (status != kSumOk) {
        free(list);
        return status;
    }
    *entries = list;
    *count = n;
    return kSumOk;
}

bool ReadSumFingerprint(const uint8_t* bytes, size_t size, uint64_t* digest) {
    uint32_t count;
    return CheckSumText(bytes, size, &count, digest) != kSumMalformed;
}

void ReleaseSumEntries(SumEntry* entries) {
    free(entries);
}

static size_t DecimalLength(uint64_t value) {
    size_t digits = 1;
    while (value >= 10) {
        value /= 10;
        digits++;
    }
    return digits;
}

static char* PutDigest(char* out, uint64_t digest) {
    static const char kHex[] = "0123456789abcdef";
    for (int shift = 60; shift >= 0; shift -= 4) *out++ = kHex[(digest >> shift) & 15];
    return out;
}

static char* PutDecimal(char* out, uint64_t value) {
    size_t digits = DecimalLength(value);
    for (size_t i = digits; i > 0; i--) {
        out[i - 1] = (char)('0' + value % 10);
        value /= 10;
    }
    return out + digits;
}

// The length of a NUL-terminated name within its array, or 0 when it is not terminated there.
static size_t EntryNameLength(const SumEntry* entry) {
    const void* nul = memchr(entry->name, 0, sizeof entry->name);
    return nul ? (size_t)((const char*)nul - entry->name) : 0;
}

SumStatus FormatSumFile(const SumEntry* entries, uint32_t count, char** text, size_t* length) {
    *text = nullptr;
    *length = 0;
    if (count > kSumMaxEntries) return kSumMalformed;
    size_t total = sizeof kHeaderLine;  // the header and its LF
    for (uint32_t i = 0; i < count; i++) {
        size_t nameLength = EntryNameLength(&entries[i]);
        if (!IsValidSumName((const uint8_t*)entries[i].name, nameLength) ||
            entries[i].size > kMaxSumSize)
            return kSumMalformed;
        total += kDigestDigits + 1 + DecimalLength(entries[i].size) + 1 + nameLength + 1;
    }
    if (HasDuplicateNames(entries, count) != 0) return kSumMalformed;
    total += 4 + kDigestDigits + 1;  // "END " digest LF

    char* out = (char*)malloc(total);
    if (!out) return kSumMalformed;  // nothing written: the caller reports it as a failed write
    char* p = out;
    memcpy(p, kHeaderLine, sizeof kHeaderLine - 1);
    p += sizeof kHeaderLine - 1;
    *p++ = '\n';
    for (uint32_t i = 0; i < count; i++) {
        p = PutDigest(p, entries[i].digest);
        *p++ = ' ';
        p = PutDecimal(p, entries[i].size);
        *p++ = ' ';
        size_t nameLength = strlen(entries[i].name);
        memcpy(p, entries[i].name, nameLength);
        p += nameLength;
        *p++ = '\n';
    }
    // Every line so far ends in one LF, so the digest of the text is the END digest.
    uint64_t listDigest = XXH3_64bits(out, (size_t)(p - out));
    memcpy(p, kEndPrefix, 4);
    p = PutDigest(p + 4, listDigest);
    *p++ = '\n';
    *text = out;
    *length = (size_t)(p - out);
    return kSumOk;
}

// ---- digests ----------------------------------------------------------------------------------

uint64_t ComputeSumDigest(const void* data, size_t size) {
    return XXH3_64bits(data, size);
}

struct SumDigestState {
    XXH3_state_t* xxh;
};

SumDigestState* BeginSumDigest() {
    SumDigestState* state = (SumDigestState*)malloc(sizeof(SumDigestState));
    if (!state) return nullptr;
    state->xxh = XXH3_createState();
    if (!state->xxh) {
        free(state);
        return nullptr;
    }
    XXH3_64bits_reset(state->xxh);
    return state;
}

void UpdateSumDigest(SumDigestState* state, const void* data, size_t size) {
    XXH3_64bits_update(state->xxh, data, size);
}

uint64_t FinishSumDigest(SumDigestState* state) {
    uint64_t digest = XXH3_64bits_digest(state->xxh);
    XXH3_freeState(state->xxh);
    free(state);
    return digest;
}
