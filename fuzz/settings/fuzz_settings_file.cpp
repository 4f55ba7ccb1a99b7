// Fuzz target: a whole settings file of arbitrary bytes, read by the launcher's own line loop
// (ReadEnvLines) from memory under fgets's contract. Properties: every read gets a zeroed
// 512-byte buffer; at most 400 reads are made, and none after the read that ended the reading
// (so nothing after an "[EOF]" line); a setting handed over has a non-empty key at the start of
// the latest read's buffer and a value starting 1..99 bytes after the key's end, both inside the
// buffer and free of separator bytes; the settings, the number of reads and why the reading ended
// equal those of a simple model that cuts the bytes into lines by itself; and when the sink
// refuses a setting, the reading stops right there, again as the model says.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "settings/env_line.h"

static void Check(bool condition, const char* what) {
    if (!condition) {
        fprintf(stderr, "property violated: %s\n", what);
        abort();
    }
}

// The harness's own byte loops are not instrumented for coverage: they would only mirror the
// launcher's branches, and instrumented they took most of the time of each input.
#define NO_COVERAGE __attribute__((noinline, no_sanitize("coverage")))

static bool IsSeparator(unsigned char c) {
    return c <= 0x20;
}

// The file's bytes, handed out the way fgets hands out a file.
struct MemorySource {
    const uint8_t* bytes;
    size_t size;
    size_t pos;
    int reads;
    bool ended;          // a read has returned false or ended the reading
    const char* buffer;  // where the latest read put its line
};

NO_COVERAGE static bool ReadMemoryLine(void* source, char* buffer, int size) {
    static const char kZero[kEnvLineBufferSize] = {};
    MemorySource* s = (MemorySource*)source;
    Check(!s->ended, "no read after the end");
    Check(size == kEnvLineBufferSize, "512-byte buffer");
    Check(memcmp(buffer, kZero, kEnvLineBufferSize) == 0, "buffer zeroed before the read");
    Check(++s->reads <= kEnvMaxReads, "at most 400 reads");
    s->buffer = buffer;
    if (s->pos == s->size) {
        s->ended = true;
        return false;
    }
    int n = 0;
    while (n < size - 1 && s->pos < s->size) {
        char c = (char)s->bytes[s->pos++];
        buffer[n++] = c;
        if (c == '\n') break;
    }
    buffer[n] = '\0';
    return true;
}

// Settings as "key\0value\0" pairs; the setting numbered `refuseAt` (from 1) is refused.
struct Sink {
    const MemorySource* source;
    std::string settings;
    int offered;
    int refuseAt;
};

NO_COVERAGE static bool Collect(void* sink, const char* key, const char* value) {
    Sink* k = (Sink*)sink;
    const char* buffer = k->source->buffer;
    size_t keyLength = strnlen(key, kEnvLineBufferSize);
    Check(key == buffer && keyLength > 0, "the key starts the line");
    Check(value > key + keyLength && value - (key + keyLength) <= 99, "value within 99 bytes");
    size_t valueLength = strnlen(value, (size_t)(buffer + kEnvLineBufferSize - value));
    Check(valueLength > 0 && value + valueLength < buffer + kEnvLineBufferSize, "value in buffer");
    for (size_t i = 0; i < keyLength; i++) Check(!IsSeparator((unsigned char)key[i]), "key");
    for (size_t i = 0; i < valueLength; i++) Check(!IsSeparator((unsigned char)value[i]), "value");
    if (++k->offered == k->refuseAt) return false;
    k->settings.append(key, keyLength + 1);
    k->settings.append(value, valueLength + 1);
    return true;
}

struct Outcome {
    EnvReadEnd end;
    int reads;
    std::string settings;
};

// The reading restated: each read takes up to 511 bytes through the first line feed; a line is
// those bytes padded with zeros to 511; a token ends at the first byte of 0x20 or less.
NO_COVERAGE static Outcome Model(const uint8_t* bytes, size_t size, int refuseAt) {
    Outcome out = {kEnvReadLimit, 0, ""};
    size_t pos = 0;
    int offered = 0;
    while (out.reads < kEnvMaxReads) {
        out.reads++;
        if (pos == size) {
            out.end = kEnvReadEndOfFile;
            return out;
        }
        size_t n = size - pos < 511 ? size - pos : 511;
        const void* feed = memchr(bytes + pos, '\n', n);
        if (feed) n = (size_t)((const uint8_t*)feed - (bytes + pos)) + 1;
        char line[511] = {};
        memcpy(line, bytes + pos, n);
        pos += n;
        if (memcmp(line, "[EOF]", 5) == 0) {
            out.end = kEnvReadEndMarker;
            return out;
        }
        if (IsSeparator((unsigned char)line[0]) || line[0] == '/') continue;
        size_t keyEnd = 0;
        while (keyEnd < 511 && !IsSeparator((unsigned char)line[keyEnd])) keyEnd++;
        size_t valueStart = keyEnd + 1;
        while (valueStart < 511 && valueStart <= keyEnd + 99 &&
               IsSeparator((unsigned char)line[valueStart])) {
            valueStart++;
        }
        if (valueStart >= 511 || valueStart > keyEnd + 99) continue;
        size_t valueEnd = valueStart;
        while (valueEnd < 511 && !IsSeparator((unsigned char)line[valueEnd])) valueEnd++;
        if (++offered == refuseAt) {
            out.end = kEnvReadRefused;
            return out;
        }
        out.settings.append(line, keyEnd).push_back('\0');
        out.settings.append(line + valueStart, valueEnd - valueStart).push_back('\0');
    }
    return out;
}

static int ReadAll(const uint8_t* data, size_t size, int refuseAt) {
    MemorySource source = {data, size, 0, 0, false, nullptr};
    Sink sink = {&source, "", 0, refuseAt};
    EnvReadEnd end = ReadEnvLines(ReadMemoryLine, &source, Collect, &sink);
    Outcome model = Model(data, size, refuseAt);
    Check(end == model.end, "same end as the model");
    Check(source.reads == model.reads, "same reads as the model");
    Check(sink.settings == model.settings, "same settings as the model");
    return sink.offered;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    int settings = ReadAll(data, size, 0);
    // Refuse one setting (the middle one) and read again.
    if (settings > 0) ReadAll(data, size, (settings + 1) / 2);
    return 0;
}
