// EXPERIMENT ONLY (see index_experiments.h): the launcher's directory scan, copied with the same
// calls in the same order, and three switches that replace one part of its work each.
#include "bench/resfs/index_experiments.h"

#include <windows.h>
#include <mbstring.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <vector>

#include "resfs/mounts.h"
#include "resfs/name_hash.h"
#include "ui/message_box.h"

enum { kPathSize = 260, kIndexGrowth = 1000 };

static const char* const kExcludedExtensions[] = {
    ".lnk", ".exe", ".com", ".dll", ".log", ".sue", ".mdb", ".vrs", ".vrh", ".db", ".txt",
};

// The duplicate check's hash set, as in the launcher.
struct SeenSet {
    uint32_t* slots;
    uint32_t capacity;
    uint32_t count;
    bool hasZero;
};

static uint32_t* SeenSlot(SeenSet* set, uint32_t hash) {
    uint32_t i = (hash * 2654435761u) & (set->capacity - 1);
    while (set->slots[i] != 0 && set->slots[i] != hash) i = (i + 1) & (set->capacity - 1);
    return &set->slots[i];
}

static bool SeenGrow(SeenSet* set) {
    uint32_t capacity = set->capacity ? set->capacity * 2 : 4096;
    uint32_t* slots = (uint32_t*)calloc(capacity, sizeof(uint32_t));
    if (!slots) return false;
    SeenSet bigger = {slots, capacity, 0, set->hasZero};
    for (uint32_t i = 0; i < set->capacity; i++) {
        if (set->slots[i]) {
            *SeenSlot(&bigger, set->slots[i]) = set->slots[i];
            bigger.count++;
        }
    }
    free(set->slots);
    *set = bigger;
    return true;
}

// True when the hash may already be in the index (then the index is walked).
static bool SeenAdd(SeenSet* set, uint32_t hash) {
    if (hash == 0) {
        bool seen = set->hasZero;
        set->hasZero = true;
        return seen;
    }
    if ((set->count + 1) * 2 > set->capacity && !SeenGrow(set)) return true;
    uint32_t* slot = SeenSlot(set, hash);
    if (*slot == hash) return true;
    *slot = hash;
    set->count++;
    return false;
}

struct Scan {
    ExperimentOptions options;
    ExperimentIndex* index;
    SeenSet seen;
};

// --- Per-file work -------------------------------------------------------------------------

static bool IsAsciiName(const char* name) {
    for (const unsigned char* p = (const unsigned char*)name; *p; p++) {
        if (*p >= 0x80) return false;
    }
    return true;
}

static bool IsExcludedMultibyte(const char* name) {
    const unsigned char* dot = _mbsrchr((const unsigned char*)name, '.');
    for (const char* extension : kExcludedExtensions) {
        if (dot && _mbsicmp(dot, (const unsigned char*)extension) == 0) return true;
    }
    return false;
}

static char AsciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? (char)(c + ('a' - 'A')) : c;
}

// The suggested test (see ExperimentOptions::suffixExclusion).
static bool IsExcludedBySuffix(const char* name) {
    const char* dot = (const char*)_mbsrchr((const unsigned char*)name, '.');
    if (!dot) return false;
    size_t length = strlen(dot);
    if (length < 3 || length > 4) return false;
    char folded[4];
    for (size_t i = 1; i < length; i++) {
        if ((unsigned char)dot[i] >= 0x80) return false;
        folded[i] = AsciiLower(dot[i]);
    }
    for (const char* extension : kExcludedExtensions) {
        if (strlen(extension) == length && memcmp(extension + 1, folded + 1, length - 1) == 0) {
            return true;
        }
    }
    return false;
}

bool ExperimentIsExcluded(const char* name, bool bySuffix) {
    return bySuffix ? IsExcludedBySuffix(name) : IsExcludedMultibyte(name);
}

// True when the file was indexed with `directory`.
static bool AddFile(Scan* scan, const char* name, char* directory) {
    bool excluded =
        scan->options.suffixExclusion ? IsExcludedBySuffix(name) : IsExcludedMultibyte(name);
    if (excluded) return false;
    char lower[kPathSize];
    if (strlen(name) >= sizeof lower) return false;
    ExperimentIndex* index = scan->index;
    if (!index->entries) {
        index->entries = (ExperimentEntry*)malloc(kIndexGrowth * sizeof(ExperimentEntry));
        if (!index->entries) return false;
        index->count = 0;
        index->capacity = kIndexGrowth;
    }
    if (index->count >= index->capacity) return false;
    strcpy(lower, name);
    if (scan->options.asciiLower && IsAsciiName(name)) {
        for (char* p = lower; *p; p++) *p = AsciiLower(*p);
    } else {
        CharLowerA(lower);
    }
    uint32_t hash = ComputeNameHash(lower);
    if (SeenAdd(&scan->seen, hash)) {
        for (int32_t i = 0; i < index->count; i++) {
            if (index->entries[i].nameHash == hash) {
                ShowFatalMessage("ファイル[ %s ]が[ %s ]と[ %s ]に存在します", name,
                                 index->entries[i].directory, directory);
            }
        }
    }
    index->entries[index->count].nameHash = hash;
    index->entries[index->count].directory = directory;
    index->count++;
    if (index->count >= index->capacity) {
        ExperimentEntry* grown = (ExperimentEntry*)realloc(
            index->entries, (size_t)(index->capacity + kIndexGrowth) * sizeof(ExperimentEntry));
        if (grown) {
            index->entries = grown;
            index->capacity += kIndexGrowth;
        }
    }
    return true;
}

// --- Per-folder work -----------------------------------------------------------------------

static int EnterDirectory(char* save, const char* target) {
    if (GetCurrentDirectoryA(kPathSize, save) - 1 >= kPathSize - 1) return 1;
    char full[kPathSize - 1];
    char* filePart = nullptr;
    DWORD n = GetFullPathNameA(target, sizeof full, full, &filePart);
    if (n == 0 || n >= sizeof full) return 1;
    if (filePart) *filePart = '\0';
    size_t length = strlen(full);
    if (length > 3 && full[length - 1] == '\\' &&
        !_ismbstrail((const unsigned char*)full, (const unsigned char*)full + length - 1)) {
        full[length - 1] = '\0';
    }
    return SetCurrentDirectoryA(full) ? 0 : 1;
}

static void ScanCurrentDirectory(Scan* scan, const char* knownCurrent);

static void ScanSubdirectory(Scan* scan, const char* name, const char* directory) {
    size_t length = strlen(name);
    bool endsInDot = length > 0 && name[length - 1] == '.';
    if (endsInDot || _mbsicmp((const unsigned char*)name, (const unsigned char*)"debuginfo") == 0) {
        return;
    }
    char path[kPathSize];
    if (scan->options.directoryFromString) {
        // `directory` has no trailing backslash except at a drive root.
        size_t d = strlen(directory);
        bool root = d > 0 && directory[d - 1] == '\\';
        int n = snprintf(path, sizeof path, root ? "%s%s" : "%s\\%s", directory, name);
        // The launcher's full path holds this and a final backslash in 259 bytes.
        if (n < 0 || n >= (int)sizeof path - 2) return;
        if (!SetCurrentDirectoryA(path)) return;
        ScanCurrentDirectory(scan, path);
        SetCurrentDirectoryA(directory);
        return;
    }
    char current[kPathSize];
    char saved[kPathSize];
    DWORD n = GetCurrentDirectoryA(sizeof current, current);
    if (n == 0 || n >= sizeof current) return;
    if (snprintf(path, sizeof path, "%s\\%s\\", current, name) >= (int)sizeof path) return;
    if (EnterDirectory(saved, path) != 0) return;
    ScanCurrentDirectory(scan, nullptr);
    SetCurrentDirectoryA(saved);
}

static void ScanCurrentDirectory(Scan* scan, const char* knownCurrent) {
    char current[kPathSize];
    if (knownCurrent) {
        strcpy(current, knownCurrent);
    } else {
        DWORD n = GetCurrentDirectoryA(sizeof current, current);
        if (n == 0 || n >= sizeof current) return;
    }
    char* directory = _strdup(current);
    if (!directory) return;
    bool used = false;
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA("*.*", &entry);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                ScanSubdirectory(scan, entry.cFileName, directory);
            } else {
                if (AddFile(scan, entry.cFileName, directory)) used = true;
            }
        } while (FindNextFileA(find, &entry));
        FindClose(find);
    }
    if (!used) free(directory);
}

int32_t ExperimentScan(const char* name, const ExperimentOptions& options, ExperimentIndex* index) {
    *index = ExperimentIndex{};
    Scan scan = {options, index, {}};
    char path[kPathSize];
    char saved[kPathSize];
    if (snprintf(path, sizeof path, "%s\\", name) >= (int)sizeof path) return -1;
    if (EnterDirectory(saved, path) != 0) return -1;
    ScanCurrentDirectory(&scan, nullptr);
    SetCurrentDirectoryA(saved);
    free(scan.seen.slots);
    return 0;
}

void ExperimentFree(ExperimentIndex* index) {
    // A folder's string is shared by its entries, which its sub-folders' entries may interrupt.
    char* last = nullptr;
    std::vector<char*> strings;
    for (int32_t i = 0; i < index->count; i++) {
        if (index->entries[i].directory != last)
            strings.push_back(last = index->entries[i].directory);
    }
    std::sort(strings.begin(), strings.end());
    strings.erase(std::unique(strings.begin(), strings.end()), strings.end());
    for (char* s : strings) free(s);
    free(index->entries);
    *index = ExperimentIndex{};
}

bool ExperimentMatchesMount(const ExperimentIndex& index, const ResourceMount* mount) {
    if (!mount || mount->kind != Directory || mount->dirCount != index.count) return false;
    for (int32_t i = 0; i < index.count; i++) {
        if (mount->dirIndex[i].nameHash != index.entries[i].nameHash ||
            strcmp(mount->dirIndex[i].directory, index.entries[i].directory) != 0) {
            return false;
        }
    }
    return true;
}
