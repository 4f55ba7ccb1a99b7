// Resource archive ("VorlinArcV1.000"): reading its header and index, and finding a file in it.
// All integers little-endian:
//
//   offset 0   ArchiveHeader, 28 bytes
//              magic[16]   "VorlinArcV1.000" and a NUL; all 16 bytes must match
//              entryCount  N, the number of searchable index entries (uint32)
//              words[2]    two uint32 kept with the header, not interpreted
//   offset 28  index: N + 1 ArchiveIndexEntry of 8 bytes {nameHash, offset}
//              entries 0..N-1 sorted by nameHash as unsigned numbers, binary-searched;
//              entry N is carried but never searched or interpreted (the archive tool puts the
//              end of the data there)
//   elsewhere  file data, stored as is; a file runs from its offset on and has no length
//
// An offset is a signed 32-bit seek position, so an entry at or above 2^31 cannot be read and
// counts as not found. Everything here is portable; only LoadArchiveIndex touches a file, and only
// through stdio.
#pragma once

#include <stdint.h>
#include <stdio.h>

enum : uint32_t {
    kArchiveMagicSize = 16,
    kArchiveHeaderSize = 28,
    kArchiveEntrySize = 8,
    kArchiveMaxOffset = 0x7FFFFFFFu,  // largest offset a seek can reach
};

extern const uint8_t kArchiveMagic[kArchiveMagicSize];  // "VorlinArcV1.000\0"

// The final entry as the archive tool writes it, {0xFFFFFFFF, end of data}: only then is its
// offset taken for where the data must end (another writer's final entry may hold anything).
const uint32_t kEndOfDataHash = 0xFFFFFFFFu;

struct ArchiveHeader {
    uint8_t magic[kArchiveMagicSize];
    uint32_t entryCount;
    uint32_t words[2];
};
static_assert(sizeof(ArchiveHeader) == kArchiveHeaderSize, "header is 28 bytes in memory too");

struct ArchiveIndexEntry {
    uint32_t nameHash;
    uint32_t offset;
};
static_assert(sizeof(ArchiveIndexEntry) == kArchiveEntrySize, "index entries are 8 bytes");

// Decodes the 28 header bytes. Returns 1 when `size` covers a header and its magic matches
// (then *header holds it), 0 otherwise (then *header is all zeros).
int32_t ParseArchiveHeader(const uint8_t* bytes, uint32_t size, ArchiveHeader* header);

// Whether `bytes` begin with an archive header; on 1 *entryCount is N (it may be null).
int32_t IsArchiveHeader(const uint8_t* bytes, uint32_t size, uint32_t* entryCount);

// The size in bytes of an index of entryCount + 1 entries. Returns 1 and sets *byteCount when
// it fits a 32-bit size, 0 when it does not (such a count is not an archive).
int32_t ComputeArchiveIndexSize(uint32_t entryCount, uint32_t* byteCount);

// Decodes `count` little-endian entries from `bytes` (count * 8 bytes of them must be there).
// Returns 1, or 0 when `size` is too short (then nothing useful is in `entries`).
int32_t DecodeArchiveIndex(const uint8_t* bytes, uint32_t size, ArchiveIndexEntry* entries,
                           uint32_t count);

// The allocation of an index of entryCount + 1 entries, and its release. These are the only
// places that allocate or free an index, so the launcher can route them through its own
// allocator. Allocation returns null when the size does not fit or memory is exhausted.
ArchiveIndexEntry* AllocArchiveIndex(uint32_t entryCount);
void ReleaseArchiveIndex(ArchiveIndexEntry* index);

// Reads header and index from an in-memory archive image (the whole file, or at least its
// header and index). Returns 1 with *header filled and *index a new array of N + 1 entries that
// the caller releases with ReleaseArchiveIndex; returns 0 for "not an archive" with *header
// zeroed and *index null.
int32_t ParseArchiveIndex(const uint8_t* bytes, uint32_t size, ArchiveHeader* header,
                          ArchiveIndexEntry** index);

// The same from an open stream positioned at the start of the archive. When the stream can tell
// its length, a count whose index would not fit in it is refused before anything is allocated.
int32_t ReadArchiveIndex(FILE* file, ArchiveHeader* header, ArchiveIndexEntry** index);

// Opens `fileName` with mode "rb" (relative names against the current directory), reads its
// header and index, and closes it. Returns 1 when it is an archive, 0 when it is missing, short
// or foreign; results as ParseArchiveIndex.
int32_t LoadArchiveIndex(const char* fileName, ArchiveHeader* header, ArchiveIndexEntry** index);

// Binary search of the first entryCount entries, comparing nameHash as unsigned numbers. Returns
// an entry whose nameHash equals `nameHash` (any one of several equal ones), or null. Entry N is
// never looked at.
const ArchiveIndexEntry* FindArchiveEntry(const ArchiveIndexEntry* index, uint32_t entryCount,
                                          uint32_t nameHash);

// Whether an entry's offset can be reached by a seek (below 2^31).
bool IsArchiveOffsetReadable(uint32_t offset);

// FindArchiveEntry, and the found entry's offset when a seek can reach it: returns 1 and sets
// *offset, or 0 when the name is not there or its offset is at or above 2^31.
int32_t LookupArchiveOffset(const ArchiveIndexEntry* index, uint32_t entryCount, uint32_t nameHash,
                            int32_t* offset);
