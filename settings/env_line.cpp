// Settings line splitter (see env_line.h). No platform dependency; fuzzed natively.
#include "settings/env_line.h"

#include <cstring>

// The value must begin within this many bytes counted from the key's terminator.
enum { kValueSearchBytes = 100 };

static bool IsSeparator(unsigned char c) { return c <= 0x20; }

EnvLineKind ParseEnvLine(char line[kEnvLineBufferSize], const char** key, const char** value) {
    *key = nullptr;
    *value = nullptr;
    if (memcmp(line, "[EOF]", 5) == 0) return kEnvLineEnd;
    if (IsSeparator((unsigned char)line[0]) || line[0] == '/') return kEnvLineSkip;

    for (int i = 0; i < kEnvLineBufferSize; i++) {
        if (IsSeparator((unsigned char)line[i])) line[i] = '\0';
    }
    // The buffer's last byte is always a terminator, so the key ends inside the buffer.
    line[kEnvLineBufferSize - 1] = '\0';
    int keyEnd = (int)strlen(line);
    int limit = keyEnd + kValueSearchBytes;
    if (limit > kEnvLineBufferSize) limit = kEnvLineBufferSize;
    for (int i = keyEnd; i < limit; i++) {
        if (line[i] != '\0') {
            *key = line;
            *value = line + i;
            return kEnvLineSetting;
        }
    }
    return kEnvLineSkip;
}
