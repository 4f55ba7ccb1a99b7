// Paths as code page 932 text (see path_text.h).
#include "update/core/path_text.h"

#include <stdint.h>

#include "resfs/cp932_lower.h"

size_t FindFolderPartLength(const char* name) {
    size_t folder = 0;
    for (size_t i = 0; name[i]; i++) {
        if (IsCp932LeadByte((uint8_t)name[i]) && name[i + 1]) {
            i++;
        } else if (name[i] == '\\') {
            folder = i + 1;
        }
    }
    return folder;
}
