// Heap allocation that tells the user when memory is exhausted.
#pragma once
#include <cstddef>

// malloc(size); on failure shows the "malloc" box (no owner window, no clipboard) and returns null.
void* AllocOrWarn(size_t size);

// Tests only: while set, a request for which `fails` returns true is treated as if the heap were
// exhausted (the box is shown, null returned). Null restores ordinary allocation.
typedef bool (*AllocFailureTest)(size_t size);
void SetAllocFailureForTests(AllocFailureTest fails);
