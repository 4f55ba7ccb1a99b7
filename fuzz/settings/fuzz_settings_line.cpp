// Fuzz target: one settings line of arbitrary bytes. The splitter must stay inside its 512-byte
// buffer, and a line it accepts yields a non-empty key and value free of separator bytes, with the
// value starting within 99 bytes after the key.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "settings/env_line.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // An exact-size heap buffer, so that AddressSanitizer sees any access past its end.
    char* line = (char*)calloc(1, kEnvLineBufferSize);
    memcpy(line, data, size < kEnvLineBufferSize - 1 ? size : kEnvLineBufferSize - 1);
    const char* key;
    const char* value;
    if (ParseEnvLine(line, &key, &value) == kEnvLineSetting) {
        size_t keyLength = strlen(key);
        size_t valueLength = strlen(value);
        if (key != line || keyLength == 0 || valueLength == 0) abort();
        if (value - (key + keyLength) < 1 || value - (key + keyLength) > 99) abort();
        for (size_t i = 0; i < keyLength; i++) {
            if ((unsigned char)key[i] <= 0x20) abort();
        }
        for (size_t i = 0; i < valueLength; i++) {
            if ((unsigned char)value[i] <= 0x20) abort();
        }
    }
    free(line);
    return 0;
}
