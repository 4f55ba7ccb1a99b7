// Settings file reading and line splitter (see env_line.h). No platform dependency; fuzzed
// natively.
#include "settings/env_line.h"

#include <cstring>

// The value must begin within this many bytes counted from the key's terminator.
enum { kValueSearchBytes = 100 };

static bool IsSeparator(unsigned char c) {
    return c <= 0x20;
}

// Index of the first separator at or after `from`; the buffer's last byte is one.
static int TokenEnd(const char* line, int from) {
    while (!IsSeparator((unsigned char)line[from])) from++;
    return from;
}

EnvLineKind ParseEnvLine(char line[kEnvLineBufferSize], const char** key, const char** value) {
    *key = nullptr;
    *value = nullptr;
    if (memcmp(line, "[EOF]", 5) == 0) return kEnvLineEnd;
    if (IsSeparator((unsigned char)line[0]) || line[0] == '/') return kEnvLineSkip;

    // Only the bytes up to the value's end are looked at: what follows it changes nothing.
    line[kEnvLineBufferSize - 1] = '\0';
    int keyEnd = TokenEnd(line, 0);
    int limit = keyEnd + kValueSearchBytes;
    if (limit > kEnvLineBufferSize) limit = kEnvLineBufferSize;
    int start = keyEnd + 1;
    while (start < limit && IsSeparator((unsigned char)line[start])) start++;
    if (start >= limit) return kEnvLineSkip;
    line[keyEnd] = '\0';
    line[TokenEnd(line, start)] = '\0';
    *key = line;
    *value = line + start;
    return kEnvLineSetting;
}

bool ReadEnvLineFrom(EnvNextByte nextByte, void* source, char* buffer, int size) {
    if (size < 2) return false;
    int c = nextByte(source);
    if (c < 0) return false;
    int n = 0;
    buffer[n++] = (char)c;
    while (c != '\n' && n < size - 1 && (c = nextByte(source)) >= 0) buffer[n++] = (char)c;
    buffer[n] = '\0';
    return true;
}

static int NextTextByte(void* source) {
    EnvText* text = (EnvText*)source;
    if (text->pos >= text->size) return -1;
    return (unsigned char)text->bytes[text->pos++];
}

bool ReadEnvTextLine(void* text, char* buffer, int size) {
    return ReadEnvLineFrom(NextTextByte, text, buffer, size);
}

EnvReadEnd ReadEnvLines(EnvReadLine readLine, void* source, EnvAddSetting addSetting, void* sink) {
    for (int i = 0; i < kEnvMaxReads; i++) {
        char line[kEnvLineBufferSize];
        memset(line, 0, sizeof line);
        if (!readLine(source, line, sizeof line)) return kEnvReadEndOfFile;
        const char* key;
        const char* value;
        EnvLineKind kind = ParseEnvLine(line, &key, &value);
        if (kind == kEnvLineEnd) return kEnvReadEndMarker;
        if (kind == kEnvLineSetting && !addSetting(sink, key, value)) return kEnvReadRefused;
    }
    return kEnvReadLimit;
}
