// Paths as code page 932 text: where the folder part of a relative name ends. A double-byte
// character's trail byte may be 0x5C, the backslash, and is never taken for a separator.
#pragma once
#include <stddef.h>

// The length of the folder part of `name`, its last separator included ("help\a.htm": 5); 0 when
// it has none.
size_t FindFolderPartLength(const char* name);
