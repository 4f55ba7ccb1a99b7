// The seal of the update media (update.sum) as one update holds it: loaded through the run's file
// system by the check before the first byte, asked by each draft for the digest and size its
// source must have. A media without update.sum is not sealed, and updates exactly as before.
//
// Names are looked up through a sorted array of copies lower-cased as code page 932 text (as
// Windows matches names), so a media of thousands of help files costs a binary search per file.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include "update/core/sum_file.h"
#include "update/core/update_fs.h"

enum SealState : uint8_t {
    kSealAbsent,      // no update.sum on the media
    kSealLoaded,      // update.sum read; FindSealedFile answers
    kSealMalformed,   // update.sum exists but is not a seal of the known format (or is too large)
    kSealUnreadable,  // update.sum exists but cannot be opened or read now
    kSealDamaged,     // update.sum is well-formed, but its closing digest does not match
};

struct SealedName;
struct SealIndex {
    SumEntry* entries;  // in file order
    SealedName* sorted;
    uint32_t count;
    bool sealed;
    uint64_t fingerprint;  // the END line's digest
};

// The media's seal file, and the most bytes it is read to (far beyond any list of kSumMaxEntries
// names).
extern const char kSealFileName[];  // "update.sum"
enum : uint32_t { kMaxSealBytes = 64u << 20 };

// Reads kSealFileName from the media through `fs`, replacing what `seal` held; *error tells why
// it is kSealUnreadable.
SealState LoadSeal(const UpdateFileSystem* fs, SealIndex* seal, FsError* error);
// The same from its bytes.
SealState ParseSeal(const uint8_t* bytes, size_t size, SealIndex* seal);
void ReleaseSeal(SealIndex* seal);

// The sealed digest and size of a media file named as the update names it ("data.arc",
// "help\index.htm"), case-insensitively. False when the seal does not list it (or none is loaded).
bool FindSealedFile(const SealIndex* seal, const char* mediaName, uint64_t* digest, uint64_t* size);
// The same, with the entry's index in seal->entries.
bool FindSealedEntry(const SealIndex* seal, const char* mediaName, uint32_t* index);
