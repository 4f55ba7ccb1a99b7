// The commit journal's text (see journal_format.h).
#include "update/core/journal_format.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "resfs/cp932_lower.h"
#include "update/core/sum_file.h"

const char kJournalName[] = "~vup-journal.txt";

static const char kHeader[] = "VORLIN-JOURNAL 1";
static const char kHeader2[] = "VORLIN-JOURNAL 2";

// An install folder as a journal records it: 1 to 259 bytes, no byte below 0x20.
static bool IsValidFolderText(const char* folder) {
    size_t n = strlen(folder);
    if (n == 0 || n > kJournalMaxNameBytes) return false;
    for (size_t i = 0; i < n; i++) {
        if ((uint8_t)folder[i] < 0x20) return false;
    }
    return true;
}

bool IsValidJournalName(const char* name) {
    size_t n = strlen(name);
    if (n == 0 || n > kJournalMaxNameBytes) return false;
    size_t partStart = 0;
    for (size_t i = 0; i <= n; i++) {
        unsigned char b = (unsigned char)name[i];
        if (i < n && IsCp932LeadByte(b)) {
            if (i + 1 >= n) return false;  // a lead byte without its trail byte
            i++;
            continue;
        }
        if (i < n && (b < 0x20 || b == '/' || b == ':')) return false;
        if (i == n || b == '\\') {
            size_t partLength = i - partStart;
            if (partLength == 0) return false;
            if (partLength == 1 && name[partStart] == '.') return false;
            if (partLength == 2 && name[partStart] == '.' && name[partStart + 1] == '.')
                return false;
            partStart = i + 1;
        }
    }
    return true;
}

bool JournalSideName(const char* name, uint32_t index, const char* extension, char* out) {
    return JournalSideNameOfRun(name, 0, index, extension, out);
}

bool JournalSideNameOfRun(const char* name, uint32_t runId, uint32_t index, const char* extension,
                          char* out) {
    const char* separator = FindLastCp932Separator(name, "\\");
    size_t folder = separator ? (size_t)(separator - name) + 1 : 0;
    char side[40];
    if (runId == 0) {
        snprintf(side, sizeof side, "~vup%08x%s", (unsigned)index, extension);
    } else {
        snprintf(side, sizeof side, "~vup%08x%08x%s", (unsigned)runId, (unsigned)index, extension);
    }
    if (folder + strlen(side) > kJournalMaxNameBytes) return false;
    memcpy(out, name, folder);
    strcpy(out + folder, side);
    return true;
}

static bool IsHexRun(const char* text, size_t count) {
    for (size_t i = 0; i < count; i++) {
        char c = text[i];
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'))) {
            return false;
        }
    }
    return true;
}

static bool SameLetters(const char* a, const char* b, size_t count) {
    for (size_t i = 0; i < count; i++) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = (char)(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = (char)(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

bool IsUpdateSideFileName(const char* name) {
    size_t n = strlen(name);
    if (n < 4 || !SameLetters(name, "~vup", 4)) return false;
    if (n == 12) return IsHexRun(name + 4, 4) && SameLetters(name + 8, ".tmp", 4);
    if (n == 16 || n == 24) {
        return IsHexRun(name + 4, n - 8) &&
               (SameLetters(name + n - 4, ".new", 4) || SameLetters(name + n - 4, ".old", 4));
    }
    return false;
}

char* WriteJournal(const JournalEntry* entries, uint32_t count, size_t* length) {
    return WriteJournalOfRun(entries, count, 0, nullptr, length);
}

char* WriteJournalOfRun(const JournalEntry* entries, uint32_t count, uint32_t runId,
                        const char* folder, size_t* length) {
    if (count > kJournalMaxEntries) return nullptr;
    if (runId != 0 && (!folder || !IsValidFolderText(folder))) return nullptr;
    size_t capacity = sizeof kHeader + 32 + (runId != 0 ? 24 + strlen(folder) : 0);
    for (uint32_t i = 0; i < count; i++) {
        if (!IsValidJournalName(entries[i].name) ||
            (entries[i].kind != 'D' && entries[i].kind != 'R' && entries[i].kind != 'A')) {
            return nullptr;
        }
        capacity += strlen(entries[i].name) + 3;
    }
    char* text = (char*)malloc(capacity);
    if (!text) return nullptr;
    size_t used = (size_t)snprintf(text, capacity, "%s\n", runId != 0 ? kHeader2 : kHeader);
    if (runId != 0) {
        used += (size_t)snprintf(text + used, capacity - used, "RUN %08x\nFOLDER %s\n",
                                 (unsigned)runId, folder);
    }
    // Folders first: they must exist before the files in them are put in place.
    for (int pass = 0; pass < 2; pass++) {
        for (uint32_t i = 0; i < count; i++) {
            if ((entries[i].kind == 'D') != (pass == 0)) continue;
            used += (size_t)snprintf(text + used, capacity - used, "%c %s\n", entries[i].kind,
                                     entries[i].name);
        }
    }
    uint64_t digest = ComputeSumDigest(text, used);
    used +=
        (size_t)snprintf(text + used, capacity - used, "END %016llx\n", (unsigned long long)digest);
    *length = used;
    return text;
}

// One line of `bytes` from `*pos`: its start and length without the line end; false at the end of
// the text or for a line without its LF.
static bool NextLine(const uint8_t* bytes, size_t size, size_t* pos, const char** line,
                     size_t* lineLength) {
    if (*pos >= size) return false;
    const uint8_t* start = bytes + *pos;
    const uint8_t* end = (const uint8_t*)memchr(start, '\n', size - *pos);
    if (!end) return false;
    size_t n = (size_t)(end - start);
    *pos += n + 1;
    if (n > 0 && start[n - 1] == '\r') n--;
    *line = (const char*)start;
    *lineLength = n;
    return true;
}

bool ParseJournal(const uint8_t* bytes, size_t size, JournalEntry** entries, uint32_t* count) {
    JournalRun run;
    return ParseJournalOfRun(bytes, size, entries, count, &run);
}

// `line` (`n` bytes) is `prefix` followed by at least one more byte.
static bool StartsWith(const char* line, size_t n, const char* prefix) {
    size_t p = strlen(prefix);
    return n > p && memcmp(line, prefix, p) == 0;
}

bool ParseJournalOfRun(const uint8_t* bytes, size_t size, JournalEntry** entries, uint32_t* count,
                       JournalRun* run) {
    *entries = nullptr;
    *count = 0;
    run->runId = 0;
    run->folder[0] = '\0';
    size_t pos = 0;
    const char* line;
    size_t n;
    if (!NextLine(bytes, size, &pos, &line, &n)) return false;
    bool second = n == strlen(kHeader2) && memcmp(line, kHeader2, n) == 0;
    if (!second && (n != strlen(kHeader) || memcmp(line, kHeader, n) != 0)) return false;
    SumDigestState* digest = BeginSumDigest();
    if (!digest) return false;
    UpdateSumDigest(digest, line, n);
    UpdateSumDigest(digest, "\n", 1);
    if (second) {
        // The run whose side files the journal names, and the install folder it belongs to.
        const char* folder;
        size_t folderLength;
        bool ok = NextLine(bytes, size, &pos, &line, &n) && n == 12 &&
                  StartsWith(line, n, "RUN ") && IsHexRun(line + 4, 8);
        if (ok) {
            char hex[9];
            memcpy(hex, line + 4, 8);
            hex[8] = '\0';
            run->runId = (uint32_t)strtoul(hex, nullptr, 16);
            UpdateSumDigest(digest, line, n);
            UpdateSumDigest(digest, "\n", 1);
            ok = run->runId != 0 && NextLine(bytes, size, &pos, &line, &n) &&
                 StartsWith(line, n, "FOLDER ") && n - 7 <= kJournalMaxNameBytes;
        }
        if (ok) {
            folder = line + 7;
            folderLength = n - 7;
            memcpy(run->folder, folder, folderLength);
            run->folder[folderLength] = '\0';
            ok = strlen(run->folder) == folderLength && IsValidFolderText(run->folder);
            UpdateSumDigest(digest, line, n);
            UpdateSumDigest(digest, "\n", 1);
        }
        if (!ok) {
            FinishSumDigest(digest);
            return false;
        }
    }
    JournalEntry* list = nullptr;
    uint32_t used = 0, capacity = 0;
    bool filesBegun = false;
    for (;;) {
        if (!NextLine(bytes, size, &pos, &line, &n)) break;
        if (n == 20 && memcmp(line, "END ", 4) == 0 && IsHexRun(line + 4, 16)) {
            uint64_t expected = FinishSumDigest(digest);
            digest = nullptr;
            char hex[17];
            memcpy(hex, line + 4, 16);
            hex[16] = '\0';
            if (pos != size || strtoull(hex, nullptr, 16) != expected) break;
            *entries = list;
            *count = used;
            return true;
        }
        if (n < 3 || line[1] != ' ' || (line[0] != 'D' && line[0] != 'R' && line[0] != 'A') ||
            n - 2 > kJournalMaxNameBytes || used == kJournalMaxEntries) {
            break;
        }
        if (line[0] == 'D' && filesBegun) break;  // folders come first
        if (line[0] != 'D') filesBegun = true;
        if (used == capacity) {
            uint32_t grown = capacity ? capacity * 2 : 16;
            if (grown > kJournalMaxEntries) grown = kJournalMaxEntries;
            JournalEntry* bigger = (JournalEntry*)realloc(list, (size_t)grown * sizeof *list);
            if (!bigger) break;
            list = bigger;
            capacity = grown;
        }
        JournalEntry* entry = &list[used];
        entry->kind = line[0];
        memcpy(entry->name, line + 2, n - 2);
        entry->name[n - 2] = '\0';
        if (strlen(entry->name) != n - 2 || !IsValidJournalName(entry->name)) break;
        used++;
        UpdateSumDigest(digest, line, n);
        UpdateSumDigest(digest, "\n", 1);
    }
    if (digest) FinishSumDigest(digest);
    free(list);
    return false;
}
