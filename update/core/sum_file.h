// update.sum: the seal of an update media, and its portable parser and writer.
//
// A release engineer seals a media once (vorlin-media seal); the launcher then refuses to install
// bytes that are not the sealed ones. The file lists every file an update from the media can copy,
// with its digest and size, and ends with a digest of the list itself, so that a damaged
// update.sum is recognised as damaged instead of blaming an intact file.
//
// Layout: text lines, each ended by LF or CR LF (both are accepted, also mixed; the last line's
// end may be missing):
//
//   VORLIN-SUM 1 XXH3-64
//   <digest> <size> <name>          one line per file, in any order
//   ...
//   END <digest>
//
//   digest  16 hexadecimal digits (written lower case, read in either case): the XXH3 64-bit
//           digest (seed 0) of the file's bytes, most significant digit first
//   size    the file's length in bytes, decimal, no sign, no leading zeros (0 itself is "0"),
//           at most 2^63 - 1
//   name    the file's path relative to the media folder, code page 932 bytes, folders separated
//           by backslashes, as the launcher names the file ("vorlin.bin", "update.arc",
//           "help\index.htm"): the rest of the line after the single space that follows the size,
//           1 to 259 bytes, no byte below 0x20, not starting or ending with a space, no "/"
//   END     the XXH3 64-bit digest of every line before it, each taken as its bytes without its
//           line end followed by one LF byte; so a copy whose line ends were converted still
//           verifies, while any changed, lost or added byte of the list does not
//
// Exactly one space separates the fields; nothing may follow the END line but its line end. Two
// entries whose names are equal when lower-cased as code page 932 text (the launcher matches
// names case-insensitively: discs may upper-case them) make the file malformed. At most
// kSumMaxEntries entries.
#pragma once
#include <stddef.h>
#include <stdint.h>

enum : uint32_t {
    kSumMaxEntries = 100000,
    kSumMaxNameBytes = 259,
};

struct SumEntry {
    uint64_t digest;
    uint64_t size;
    char name[kSumMaxNameBytes + 1];  // NUL-terminated, code page 932, as written in the file
};

enum SumStatus : int32_t {
    kSumOk = 0,
    kSumMalformed = 1,  // not a seal of this format: bad header, field, line or a duplicate name
    kSumDamaged = 2,    // well-formed, but the END digest does not match the lines before it
};

// Parses a whole update.sum. On kSumOk, *entries is a new array of *count entries in file order
// (release it with ReleaseSumEntries; null when there are none); otherwise *entries is null and
// *count 0. Never reads outside bytes[0..size).
SumStatus ParseSumFile(const uint8_t* bytes, size_t size, SumEntry** entries, uint32_t* count);
// The digest on the END line of a seal that parses (kSumOk or kSumDamaged): the seal's fingerprint,
// which tells two seals apart at a glance. False when the text is malformed.
bool ReadSumFingerprint(const uint8_t* bytes, size_t size, uint64_t* digest);
void ReleaseSumEntries(SumEntry* entries);

// Writes the text of an update.sum for `entries` (in the order given, LF line ends) into a new
// heap block (*text, *length; release with free). Returns kSumOk, or kSumMalformed when an entry
// could not be parsed back (a bad name, a size too large, duplicate names, too many entries).
SumStatus FormatSumFile(const SumEntry* entries, uint32_t count, char** text, size_t* length);

// XXH3 64-bit digest (seed 0) of a block, and the streaming form the copy uses chunk by chunk.
uint64_t ComputeSumDigest(const void* data, size_t size);
struct SumDigestState;             // opaque
SumDigestState* BeginSumDigest();  // null when memory is exhausted
void UpdateSumDigest(SumDigestState* state, const void* data, size_t size);
uint64_t FinishSumDigest(SumDigestState* state);  // also releases the state
