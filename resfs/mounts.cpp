// Mount registration and the recursive directory index (see mounts.h).
#include "resfs/mounts.h"

#include <windows.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "resfs/cp932_lower.h"
#include "resfs/mount_rules.h"
#include "resfs/name_hash.h"
#include "ui/alloc.h"
#include "ui/message_box.h"

enum { kIndexGrowth = 1000 };
static_assert(kPathBytes == MAX_PATH, "the portable path limit is the platform's");

static CRITICAL_SECTION g_resourceLock;
static bool g_lockCreated;
static ResourceMount* g_firstMount;
static ResourceMount* g_lastMount;
static int g_scanDepth;

// A small open-addressing set of the hashes a mount's index holds, so that the duplicate check of
// each new file does not walk the whole index (a tree of 50,000 files would otherwise cost over a
// billion comparisons). Only a hash already in the set leads to the walk that names every copy.
struct HashSet {
    uint32_t* slots;  // 0 marks an empty slot; hash 0 is kept in `hasZero`
    uint32_t capacity;
    uint32_t count;
    bool hasZero;
};

static bool HashSetGrow(HashSet* set);

static uint32_t* HashSetSlot(HashSet* set, uint32_t hash) {
    uint32_t i = (hash * 2654435761u) & (set->capacity - 1);
    while (set->slots[i] != 0 && set->slots[i] != hash) i = (i + 1) & (set->capacity - 1);
    return &set->slots[i];
}

// True when the hash was already there; a set that cannot grow still answers (it just stops
// remembering new hashes, and the caller then checks the index itself).
static bool HashSetAdd(HashSet* set, uint32_t hash, bool* remembered) {
    *remembered = true;
    if (hash == 0) {
        bool seen = set->hasZero;
        set->hasZero = true;
        return seen;
    }
    if ((set->count + 1) * 2 > set->capacity && !HashSetGrow(set)) {
        *remembered = false;
        return set->slots && *HashSetSlot(set, hash) == hash;
    }
    uint32_t* slot = HashSetSlot(set, hash);
    if (*slot == hash) return true;
    *slot = hash;
    set->count++;
    return false;
}

static bool HashSetGrow(HashSet* set) {
    uint32_t capacity = set->capacity ? set->capacity * 2 : 4096;
    uint32_t* slots = (uint32_t*)calloc(capacity, sizeof(uint32_t));
    if (!slots) return false;
    HashSet bigger = {slots, capacity, 0, set->hasZero};
    for (uint32_t i = 0; i < set->capacity; i++) {
        if (set->slots[i]) {
            *HashSetSlot(&bigger, set->slots[i]) = set->slots[i];
            bigger.count++;
        }
    }
    free(set->slots);
    *set = bigger;
    return true;
}

static void DeleteResourceLock() {
    DeleteCriticalSection(&g_resourceLock);
}

void EnsureResourceLock() {
    if (g_lockCreated) return;
    InitializeCriticalSection(&g_resourceLock);
    g_lockCreated = true;
    atexit(DeleteResourceLock);
}

void EnterResourceLock() {
    EnterCriticalSection(&g_resourceLock);
}
void LeaveResourceLock() {
    LeaveCriticalSection(&g_resourceLock);
}
ResourceMount* GetFirstMount() {
    return g_firstMount;
}

// Code page 932's own rules, whatever the system's code page: the names and their hashes are the
// ones the archive tool wrote.
void LowerCaseName(char* name) {
    LowerCp932(name);
}

static bool HasExtensionAt(const char* dot, const char* extension) {
    return dot && EqualCp932IgnoringCase(dot, extension);
}

bool HasExtension(const char* name, const char* extension) {
    return HasExtensionAt(FindNameExtension(name), extension);
}

// Whether the last byte of `path` (`length` bytes) is a backslash of its own, not the second byte
// of a double-byte character.
static bool EndsInSeparator(const char* path, size_t length) {
    return FindLastCp932Separator(path, "\\") == path + length - 1;
}

// Makes `target` (a path ending in a backslash) the current directory after saving the current
// one into `save`. Returns 0 on success.
static int EnterDirectory(char* save, const char* target) {
    if (GetCurrentDirectoryA(kPathBytes, save) - 1 >= kPathBytes - 1) return 1;
    char full[kPathBytes - 1];
    char* filePart = nullptr;
    DWORD n = GetFullPathNameA(target, sizeof full, full, &filePart);
    if (n == 0 || n >= sizeof full) return 1;
    if (filePart) *filePart = '\0';  // keep the drive and directory parts only
    size_t length = strlen(full);
    // One trailing backslash goes, except after a drive root ("C:\" stays a root).
    if (length > 3 && EndsInSeparator(full, length)) full[length - 1] = '\0';
    return SetCurrentDirectoryA(full) ? 0 : 1;
}

static void RestoreDirectory(const char* saved) {
    SetCurrentDirectoryA(saved);
}

static int ComparePointers(const void* a, const void* b) {
    uintptr_t x = (uintptr_t) * (char*const*)a, y = (uintptr_t) * (char*const*)b;
    return x < y ? -1 : x > y;
}

// Frees each distinct directory string of an index once (a folder's string is shared by all its
// entries, which a sub-folder's entries may interrupt).
static void FreeDirectoryStrings(DirIndexEntry* index, int32_t count) {
    char** strings = (char**)malloc((size_t)count * sizeof(char*) + 1);
    if (!strings) return;  // leaks the strings rather than risking a double free
    for (int32_t i = 0; i < count; i++) strings[i] = index[i].directory;
    qsort(strings, (size_t)count, sizeof(char*), ComparePointers);
    for (int32_t i = 0; i < count; i++) {
        if (i == 0 || strings[i] != strings[i - 1]) free(strings[i]);
    }
    free(strings);
}

// Releases what a mount record owns and clears every field but the list links.
static void EmptyMount(ResourceMount* mount) {
    if (mount->dirIndex) {
        FreeDirectoryStrings(mount->dirIndex, mount->dirCount);
        free(mount->dirIndex);
    }
    ReleaseArchiveIndex(mount->archiveIndex);
    if (mount->seenHashes) {
        free(mount->seenHashes->slots);
        free(mount->seenHashes);
    }
    ResourceMount* next = mount->next;
    ResourceMount* prev = mount->prev;
    memset(mount, 0, sizeof *mount);
    mount->next = next;
    mount->prev = prev;
}

static ResourceMount* FindAndResetMount(const char* name) {
    for (ResourceMount* mount = g_firstMount; mount; mount = mount->next) {
        if (EqualCp932IgnoringCase(mount->path, name)) {
            EmptyMount(mount);
            return mount;
        }
    }
    return nullptr;
}

// Set when the index of the mount being scanned could not be allocated at all.
static bool g_scanOutOfMemory;

// Whether the scan of the mount has ended early: its index could not be allocated (the user was
// told once) or could not grow. Entries made so far are kept; no later file could be indexed.
static bool ScanIsOver(const ResourceMount* mount) {
    return g_scanOutOfMemory || (mount->dirIndex && mount->dirCount >= mount->dirCapacity);
}

// Appends one file to the mount's index; true when it was indexed.
static bool AddIndexedFile(ResourceMount* mount, const char* name, char* directory) {
    if (ScanIsOver(mount) || !IsIndexedFileName(name)) return false;
    char lower[kPathBytes];
    if (strlen(name) >= sizeof lower) return false;  // no listing reports such a name
    if (!mount->dirIndex) {
        mount->dirIndex = (DirIndexEntry*)AllocOrWarn(kIndexGrowth * sizeof(DirIndexEntry));
        if (!mount->dirIndex) {
            g_scanOutOfMemory = true;
            return false;
        }
        mount->dirCount = 0;
        mount->dirCapacity = kIndexGrowth;
    }

    strcpy(lower, name);
    LowerCaseName(lower);
    uint32_t hash = ComputeNameHash(lower);

    if (!mount->seenHashes) mount->seenHashes = (HashSet*)calloc(1, sizeof(HashSet));
    bool remembered = false;
    bool maybeSeen =
        !mount->seenHashes || HashSetAdd(mount->seenHashes, hash, &remembered) || !remembered;
    if (maybeSeen) {
        for (int32_t i = 0; i < mount->dirCount; i++) {
            if (mount->dirIndex[i].nameHash == hash) {
                ShowFatalMessage("ファイル[ %s ]が[ %s ]と[ %s ]に存在します", name,
                                 mount->dirIndex[i].directory, directory);
            }
        }
    }

    mount->dirIndex[mount->dirCount].nameHash = hash;
    mount->dirIndex[mount->dirCount].directory = directory;
    mount->dirCount++;
    if (mount->dirCount >= mount->dirCapacity) {
        // Keep the entries made so far if the index cannot grow.
        DirIndexEntry* grown = (DirIndexEntry*)realloc(
            mount->dirIndex, (size_t)(mount->dirCapacity + kIndexGrowth) * sizeof(DirIndexEntry));
        if (grown) {
            mount->dirIndex = grown;
            mount->dirCapacity += kIndexGrowth;
        }
    }
    return true;
}

static int32_t ResolveMount(const char* name, ResourceMount* mount);

// One listing entry: a sub-folder is scanned with a string of its own, a file is indexed with
// `directory`. True when a file was indexed with `directory`.
static bool IndexDirectoryEntry(ResourceMount* mount, const WIN32_FIND_DATAA* entry,
                                char* directory) {
    const char* name = entry->cFileName;
    if (!(entry->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return AddIndexedFile(mount, name, directory);
    }
    if (!IsScannedFolderName(name)) return false;
    char current[kPathBytes];
    char path[kPathBytes];
    char saved[kPathBytes];
    DWORD n = GetCurrentDirectoryA(sizeof current, current);
    if (n == 0 || n >= sizeof current) return false;
    if (snprintf(path, sizeof path, "%s\\%s\\", current, name) >= (int)sizeof path) return false;
    if (EnterDirectory(saved, path) != 0) return false;  // skipped without a message
    ResolveMount(path, mount);
    RestoreDirectory(saved);
    return false;
}

// Lists the current directory into the mount's index, depth-first in listing order.
static void ScanCurrentDirectory(ResourceMount* mount) {
    char current[kPathBytes];
    DWORD n = GetCurrentDirectoryA(sizeof current, current);
    if (n == 0 || n >= sizeof current) return;
    char* directory = _strdup(current);
    if (!directory) return;  // this folder contributes nothing
    bool used = false;
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA("*.*", &entry);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if (IndexDirectoryEntry(mount, &entry, directory)) used = true;
        } while (!ScanIsOver(mount) && FindNextFileA(find, &entry));
        FindClose(find);
    }
    // A folder that contributed no file keeps no string.
    if (!used) free(directory);
}

static int32_t ResolveMount(const char* name, ResourceMount* mount) {
    char saved[kPathBytes];
    bool entered = false;
    if (g_scanDepth == 0) {
        char archiveName[kPathBytes];
        if (snprintf(archiveName, sizeof archiveName, "%s.arc", name) < (int)sizeof archiveName &&
            LoadArchiveIndex(archiveName, &mount->archiveHeader, &mount->archiveIndex) == 1) {
            strcpy(mount->path, archiveName);
            mount->kind = Archive;
            return Archive;
        }
        DWORD attributes = GetFileAttributesA(name);
        if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            return -1;
        }
        size_t length = strlen(name);
        bool endsInBackslash = length > 0 && EndsInSeparator(name, length);
        if (length + (endsInBackslash ? 0 : 1) >= sizeof mount->path) return -1;
        strcpy(mount->path, name);
        if (!endsInBackslash) strcat(mount->path, "\\");
        mount->kind = Directory;
        // A mount folder that cannot be made current is not scanned at all: the scan must never
        // index the media folder by mistake.
        if (EnterDirectory(saved, mount->path) != 0) {
            mount->path[0] = '\0';
            return -1;
        }
        entered = true;
        g_scanOutOfMemory = false;
    }
    g_scanDepth++;
    if (mount->kind == Directory) ScanCurrentDirectory(mount);
    g_scanDepth--;
    if (!entered) return mount->kind;
    RestoreDirectory(saved);
    if (g_scanOutOfMemory) {
        // No index could be had: the mount would silently hold nothing.
        EmptyMount(mount);
        return -1;
    }
    return mount->kind;
}

void ForgetAllMounts() {
    EnsureResourceLock();
    EnterResourceLock();
    ResourceMount* mount = g_firstMount;
    g_firstMount = g_lastMount = nullptr;
    while (mount) {
        ResourceMount* next = mount->next;
        EmptyMount(mount);
        free(mount);
        mount = next;
    }
    LeaveResourceLock();
}

int32_t MountResourceSource(const char* name, int32_t unindexedAudioOnly) {
    EnsureResourceLock();
    EnterResourceLock();
    int32_t result;
    ResourceMount* reused = FindAndResetMount(name);
    if (reused) {
        result = ResolveMount(name, reused);
    } else {
        ResourceMount* mount = (ResourceMount*)AllocOrWarn(sizeof(ResourceMount));
        if (!mount) {
            LeaveResourceLock();
            return -1;
        }
        memset(mount, 0, sizeof *mount);
        mount->unindexedAudioOnly = unindexedAudioOnly;
        result = ResolveMount(name, mount);
        if (result == -1) {
            EmptyMount(mount);
            free(mount);
        } else {
            mount->prev = g_lastMount;
            if (g_lastMount) g_lastMount->next = mount;
            g_lastMount = mount;
            if (!g_firstMount) g_firstMount = mount;
        }
    }
    LeaveResourceLock();
    return result;
}
