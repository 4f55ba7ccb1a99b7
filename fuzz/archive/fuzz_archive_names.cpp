// Fuzzes the code page 932 lower-casing and the final component of a name. Properties: the text
// is lower-cased in place without a write past its terminator (the buffer is exactly the text
// and its NUL) and keeps its length; character boundaries stay where they were; single bytes
// change only from A-Z to a-z; lower-casing twice changes nothing more; the hashes computed
// without a copy equal the hashes of the lowered copy; the final component starts right after a
// separator or a drive prefix, and no separator follows it.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "resfs/cp932_lower.h"
#include "resfs/name_hash.h"

static void Check(bool condition, const char* what) {
    if (!condition) {
        fprintf(stderr, "property failed: %s\n", what);
        abort();
    }
}

// Whether position i of `text` begins a character.
static bool* CharacterStarts(const char* text, size_t length) {
    bool* starts = (bool*)calloc(length + 1, 1);
    for (size_t i = 0; i < length;) {
        starts[i] = true;
        i += IsCp932LeadByte((uint8_t)text[i]) && text[i + 1] != 0 ? 2 : 1;
    }
    starts[length] = true;
    return starts;
}

static char* Copy(const char* text, size_t length) {
    char* copy = (char*)malloc(length + 1);
    memcpy(copy, text, length + 1);
    return copy;
}

static void CheckFinalComponent(const char* name, size_t length, const bool* starts) {
    const char* final = FindFinalComponent(name);
    size_t at = (size_t)(final - name);
    Check(final >= name && at <= length && starts[at], "final component starts a character");
    if (at > 0) {
        char before = name[at - 1];
        bool afterSeparator = (before == '\\' || before == '/') && starts[at - 1];
        bool afterDrive = at == 2 && before == ':';
        Check(afterSeparator || afterDrive, "final component follows a separator or drive");
    }
    for (size_t i = at; i < length; i++)
        Check(!(starts[i] && (name[i] == '\\' || name[i] == '/')), "no separator after it");
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    size_t length = strnlen((const char*)data, size);
    char* original = (char*)malloc(length + 1);
    memcpy(original, data, length);
    original[length] = 0;
    bool* starts = CharacterStarts(original, length);

    char* lowered = Copy(original, length);
    LowerCp932(lowered);
    Check(strlen(lowered) == length, "length kept");
    bool* lowerStarts = CharacterStarts(lowered, length);
    Check(memcmp(starts, lowerStarts, length + 1) == 0, "character boundaries kept");
    for (size_t i = 0; i < length; i++) {
        if (!starts[i] || IsCp932LeadByte((uint8_t)original[i])) continue;
        uint8_t a = (uint8_t)original[i], b = (uint8_t)lowered[i];
        Check(b == ((a >= 'A' && a <= 'Z') ? a + 32 : a), "single bytes: only A-Z change");
    }
    char* twice = Copy(lowered, length);
    LowerCp932(twice);
    Check(memcmp(twice, lowered, length + 1) == 0, "lower-casing twice changes nothing more");

    Check(ComputeLowerNameHash(original) == ComputeNameHash(lowered), "hash without a copy");
    CheckFinalComponent(original, length, starts);
    Check(FindFinalComponent(lowered) - lowered == FindFinalComponent(original) - original,
          "same final component after lower-casing");
    Check(ComputeLookupKey(original) == ComputeNameHash(FindFinalComponent(lowered)), "lookup key");

    free(twice);
    free(lowerStarts);
    free(lowered);
    free(starts);
    free(original);
    return 0;
}
