// Decoder output for fuzz targets: a buffer of exactly the size asked for, as far as
// AddressSanitizer can tell, without a fresh allocation per input.
//
// A new multi-megabyte block per input spends most of the input's time in page faults (the
// block's pages and its shadow are mapped afresh each time). Instead one arena of the largest
// size is allocated once; the output is its first `size` bytes and the rest of the arena is
// kept poisoned, so that any access past the output's end is reported as it would be for an
// exact-size heap block (and one before its start falls in the allocation's left redzone).
#pragma once

#include <sanitizer/asan_interface.h>
#include <stdint.h>
#include <stdlib.h>

struct ExactOutput {
    uint8_t* arena;     // null until the first use
    uint32_t capacity;  // largest size ever asked for
    uint32_t open;      // bytes currently addressable at the arena's start
};

// The arena's first `size` bytes (size <= capacity), the rest poisoned. Their contents are
// whatever the previous input left.
static uint8_t* OpenExactOutput(ExactOutput* out, uint32_t size) {
    if (!out->arena) {
        out->arena = (uint8_t*)malloc(out->capacity);
        ASAN_POISON_MEMORY_REGION(out->arena, out->capacity);
        out->open = 0;
    }
    if (size > out->open) {
        ASAN_UNPOISON_MEMORY_REGION(out->arena + out->open, size - out->open);
    } else if (size < out->open) {
        ASAN_POISON_MEMORY_REGION(out->arena + size, out->open - size);
    }
    out->open = size;
    return out->arena;
}
