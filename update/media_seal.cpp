// The seal of the update media during one update (see media_seal.h).
//
// Names are looked up through a sorted array of lower-cased copies (lower-cased as the resource
// file system lower-cases names, with the process's code page), so that a media of thousands of help
// files costs a binary search per file instead of a scan of the whole list.
#include "update/media_seal.h"

#include <windows.h>
#include <io.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "resfs/mounts.h"
#include "update/sum_file.h"

enum : uint32_t { kMaxSealBytes = 64u << 20 };  // far beyond any list of kSumMaxEntries names

struct SealedName {
    char lower[kSumMaxNameBytes + 1];
    uint32_t entry;
};

static SumEntry* g_entries;
static uint32_t g_count;
static SealedName* g_sorted;

static int CompareSealedNames(const void* a, const void* b) {
    return strcmp(((const SealedName*)a)->lower, ((const SealedName*)b)->lower);
}

void ReleaseMediaSeal() {
    ReleaseSumEntries(g_entries);
    free(g_sorted);
    g_entries = nullptr;
    g_sorted = nullptr;
    g_count = 0;
}

bool IsMediaSealed() { return g_entries != nullptr || g_sorted != nullptr; }

// The whole file, or null (with *exists false when there is none).
static uint8_t* ReadWholeFile(const char* name, size_t* size, bool* exists) {
    *exists = GetFileAttributesA(name) != INVALID_FILE_ATTRIBUTES;
    FILE* file = fopen(name, "rb");
    if (!file) return nullptr;
    uint8_t* bytes = nullptr;
    long long length = _filelengthi64(_fileno(file));
    if (length >= 0 && length <= kMaxSealBytes) {
        bytes = (uint8_t*)malloc((size_t)length + 1);
        if (bytes && fread(bytes, 1, (size_t)length, file) != (size_t)length) {
            free(bytes);
            bytes = nullptr;
        }
        *size = (size_t)length;
    }
    fclose(file);
    return bytes;
}

MediaSealState LoadMediaSeal() {
    ReleaseMediaSeal();
    size_t size = 0;
    bool exists = false;
    uint8_t* bytes = ReadWholeFile("update.sum", &size, &exists);
    if (!bytes) return exists ? kSealMalformed : kSealAbsent;
    SumEntry* entries = nullptr;
    uint32_t count = 0;
    int32_t status = ParseSumFile(bytes, size, &entries, &count);
    free(bytes);
    if (status == kSumDamaged) return kSealDamaged;
    if (status != kSumOk) return kSealMalformed;
    // A sealed media with nothing listed is still sealed: every file it carries is unlisted.
    SealedName* sorted = (SealedName*)malloc((size_t)(count ? count : 1) * sizeof(SealedName));
    if (!sorted) {
        ReleaseSumEntries(entries);
        return kSealMalformed;
    }
    for (uint32_t i = 0; i < count; i++) {
        strcpy(sorted[i].lower, entries[i].name);
        LowerCaseName(sorted[i].lower);
        sorted[i].entry = i;
    }
    qsort(sorted, count, sizeof(SealedName), CompareSealedNames);
    g_entries = entries;
    g_count = count;
    g_sorted = sorted;
    return kSealLoaded;
}

bool FindSealedFile(const char* mediaName, uint64_t* digest, uint64_t* size) {
    if (!g_sorted || strlen(mediaName) > kSumMaxNameBytes) return false;
    SealedName key;
    strcpy(key.lower, mediaName);
    LowerCaseName(key.lower);
    const SealedName* found =
        (const SealedName*)bsearch(&key, g_sorted, g_count, sizeof(SealedName), CompareSealedNames);
    if (!found) return false;
    *digest = g_entries[found->entry].digest;
    *size = g_entries[found->entry].size;
    return true;
}

uint32_t GetSealedFileCount() { return g_count; }

const char* GetSealedFileName(uint32_t index) { return g_entries[index].name; }
