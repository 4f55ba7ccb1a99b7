// Resource open (see resource_open.h).
//
// Search order, the mounts always in registration order:
//   ordinary name without a backslash: directly, then the mounts;
//   ordinary name with a backslash:    directly only;
//   audio name (.ogg, .wav):           the mounts, then directly (with a backslash: directly only).
// A mount is searched by the name hash of the requested name's final component, lower-cased.
// Archive entries are opened as the archive file itself, positioned at the entry's data.
#include "resfs/resource_open.h"

#include <windows.h>
#include <io.h>
#include <cstring>

#include "resfs/cp932_lower.h"
#include "resfs/mounts.h"
#include "resfs/name_hash.h"
#include "resfs/path_limit.h"
#include "ui/message_box.h"

static bool HasBackslash(const char* name) {
    return FindCp932Separator(name, "\\") != nullptr;
}

static bool IsAudioName(const char* name) {
    const char* final = FindFinalComponent(name);
    return HasExtension(final, ".ogg") || HasExtension(final, ".wav");
}

// fopen of `directory` followed by `name`, unless the path would not fit the platform's limit.
static FILE* OpenJoined(const char* directory, const char* separator, const char* name,
                        const char* mode) {
    char path[kPathBytes];
    size_t length = strlen(directory) + strlen(separator) + strlen(name);
    if (length >= sizeof path) return nullptr;
    strcpy(path, directory);
    strcat(path, separator);
    strcat(path, name);
    return fopen(path, mode);
}

static FILE* OpenFromArchive(const ResourceMount* mount, uint32_t key, const char* mode) {
    int32_t offset;
    // An entry whose offset a seek cannot reach counts as absent.
    if (!LookupArchiveOffset(mount->archiveIndex, mount->archiveHeader.entryCount, key, &offset)) {
        return nullptr;
    }
    FILE* file = fopen(mount->path, mode);
    if (!file) return nullptr;
    // So does one beyond the archive's end (a cut-short archive, a damaged index): the seek
    // would succeed and the reader would take the missing file for an empty one. An offset equal
    // to the length is an empty last file.
    long long length = _filelengthi64(_fileno(file));
    if (length < 0 || offset > length || fseek(file, offset, SEEK_SET) != 0) {
        fclose(file);
        return nullptr;
    }
    return file;
}

static FILE* OpenFromMount(const ResourceMount* mount, const char* name, bool audio, uint32_t key,
                           const char* mode) {
    if (mount->kind == Archive) return OpenFromArchive(mount, key, mode);
    if (mount->dirIndex) {
        for (int32_t i = 0; i < mount->dirCount; i++) {
            if (mount->dirIndex[i].nameHash != key) continue;
            FILE* file = OpenJoined(mount->dirIndex[i].directory, "\\", name, mode);
            if (file) return file;
        }
        return nullptr;
    }
    if (!audio && mount->unindexedAudioOnly) return nullptr;
    return OpenJoined(mount->path, "", name, mode);
}

// The lookup key, or false when the final component would not fit a path buffer.
static bool ComputeLookupKeyOf(const char* name, uint32_t* key) {
    char lower[kPathBytes];
    const char* final = FindFinalComponent(name);
    if (strlen(final) >= sizeof lower) return false;
    strcpy(lower, final);
    LowerCaseName(lower);
    *key = ComputeNameHash(lower);
    return true;
}

static FILE* SearchMounts(const char* name, bool audio, const char* mode) {
    uint32_t key = 0;
    bool haveKey = false;
    for (ResourceMount* mount = GetFirstMount(); mount; mount = mount->next) {
        if (!haveKey) {
            if (!ComputeLookupKeyOf(name, &key)) return nullptr;
            haveKey = true;
        }
        FILE* file = OpenFromMount(mount, name, audio, key, mode);
        if (file) return file;
    }
    return nullptr;
}

static FILE* OpenDirect(const char* name, const char* mode) {
    if (strlen(name) >= kPathBytes) return nullptr;
    return fopen(name, mode);
}

FILE* OpenResourceFile(const char* name, const char* mode) {
    EnsureResourceLock();
    EnterResourceLock();
    bool audio = IsAudioName(name);
    bool backslash = HasBackslash(name);
    FILE* file = nullptr;
    if (audio && !backslash) {
        file = SearchMounts(name, true, mode);
        if (!file) file = OpenDirect(name, mode);
    } else {
        // Ordinary names, and audio names with a backslash, which go straight to the disk.
        file = OpenDirect(name, mode);
        if (!file && !backslash) file = SearchMounts(name, audio, mode);
    }
    LeaveResourceLock();
    return file;
}

FILE* OpenResourceFileOrRetry(const char* name, const char* mode) {
    EnsureResourceLock();
    for (;;) {
        FILE* file = OpenResourceFile(name, mode);
        if (file) return file;
        ShowFatalMessage("Ffopen : ファイル[%s]の読み込みで失敗しました", name);
    }
}
