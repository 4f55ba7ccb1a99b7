// The seal of the update media during one update (see seal_index.h).
#include "update/core/seal_index.h"

#include <stdlib.h>
#include <string.h>

#include "resfs/cp932_lower.h"

const char kSealFileName[] = "update.sum";

struct SealedName {
    char lower[kSumMaxNameBytes + 1];
    uint32_t entry;
};

static int CompareSealedNames(const void* a, const void* b) {
    return strcmp(((const SealedName*)a)->lower, ((const SealedName*)b)->lower);
}

void ReleaseSeal(SealIndex* seal) {
    ReleaseSumEntries(seal->entries);
    free(seal->sorted);
    memset(seal, 0, sizeof *seal);
}

SealState ParseSeal(const uint8_t* bytes, size_t size, SealIndex* seal) {
    ReleaseSeal(seal);
    SumEntry* entries = nullptr;
    uint32_t count = 0;
    SumStatus status = ParseSumFile(bytes, size, &entries, &count);
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
        LowerCp932(sorted[i].lower);
        sorted[i].entry = i;
    }
    qsort(sorted, count, sizeof(SealedName), CompareSealedNames);
    seal->entries = entries;
    seal->sorted = sorted;
    seal->count = count;
    seal->sealed = true;
    ReadSumFingerprint(bytes, size, &seal->fingerprint);
    return kSealLoaded;
}

SealState LoadSeal(const UpdateFileSystem* fs, SealIndex* seal, FsError* error) {
    ReleaseSeal(seal);
    FsFile file = nullptr;
    *error = fs->open(fs->context, kSealFileName, kFsRead, kFsShareRead, kFsOpenExisting, &file);
    if (*error == kFsNotFound || *error == kFsPathNotFound) {
        *error = kFsOk;
        return kSealAbsent;
    }
    if (*error != kFsOk) return kSealUnreadable;
    uint64_t length = 0;
    uint8_t* bytes = nullptr;
    *error = fs->size(fs->context, file, &length);
    bool tooLarge = *error == kFsOk && length > kMaxSealBytes;
    if (*error == kFsOk && !tooLarge) {
        bytes = (uint8_t*)malloc((size_t)length + 1);
        if (!bytes) *error = kFsNoMemory;
    }
    uint64_t done = 0;
    while (bytes && *error == kFsOk && done < length) {
        uint32_t got = 0;
        uint64_t want = length - done < (1u << 20) ? length - done : (1u << 20);
        *error = fs->read(fs->context, file, bytes + done, (uint32_t)want, &got);
        if (*error == kFsOk && got == 0) *error = kFsDeviceError;  // shorter than its size
        done += got;
    }
    fs->close(fs->context, file);
    SealState state = tooLarge          ? kSealMalformed
                      : *error != kFsOk ? kSealUnreadable
                                        : ParseSeal(bytes, (size_t)length, seal);
    free(bytes);
    return state;
}

bool FindSealedEntry(const SealIndex* seal, const char* mediaName, uint32_t* index) {
    if (!seal->sorted || strlen(mediaName) > kSumMaxNameBytes) return false;
    SealedName key;
    strcpy(key.lower, mediaName);
    LowerCp932(key.lower);
    const SealedName* found = (const SealedName*)bsearch(&key, seal->sorted, seal->count,
                                                         sizeof(SealedName), CompareSealedNames);
    if (!found) return false;
    *index = found->entry;
    return true;
}

bool FindSealedFile(const SealIndex* seal, const char* mediaName, uint64_t* digest,
                    uint64_t* size) {
    uint32_t index;
    if (!FindSealedEntry(seal, mediaName, &index)) return false;
    *digest = seal->entries[index].digest;
    *size = seal->entries[index].size;
    return true;
}
