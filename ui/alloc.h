// Heap allocation that tells the user when memory is exhausted.
#pragma once
#include <cstddef>

// malloc(size); on failure shows the "malloc" box (no owner window, no clipboard) and returns null.
void* AllocOrWarn(size_t size);
