// The environment settings file (vorlin.env) read line by line: how the lines come out of the
// file, and how each line splits into key and value.
//
// A line is what one read of at most 511 bytes returns (fgets's contract: up to and including a
// line feed), held in a 512-byte buffer zeroed before the read, so that its unused bytes are zero.
// At most 400 reads are made; a line longer than 511 bytes takes several of them. Lines starting
// with "[EOF]" end the file. Lines whose first byte is 0x20 or less (blank, control, empty) or "/"
// (comments) are skipped. Otherwise every byte of 0x20 or less is a separator; the key is the first
// token, the value the next one, which must start within the 99 bytes after the key. Bytes of 0x80
// and above are ordinary characters (Shift-JIS text).
#pragma once

#include <stddef.h>

enum { kEnvLineBufferSize = 512, kEnvMaxReads = 400 };

enum EnvLineKind {
    kEnvLineSetting,  // *key and *value point into the buffer
    kEnvLineSkip,     // comment, blank line, or a key without a value
    kEnvLineEnd,      // "[EOF]": nothing after this line is read
};

// Splits `line` in place: the bytes ending the key and the value become NUL bytes.
EnvLineKind ParseEnvLine(char line[kEnvLineBufferSize], const char** key, const char** value);

// One read from the file into `buffer` of `size` bytes, as fgets does it: false when nothing is
// left (or the read fails), else at most size - 1 bytes, up to and including a line feed, then a
// NUL. Bytes are as the C library hands them over (the launcher opens the file in text mode).
typedef bool (*EnvReadLine)(void* source, char* buffer, int size);
// Receives one setting; key and value are NUL-terminated inside the line buffer and valid only
// during the call. False stops the reading (the launcher's heap is exhausted).
typedef bool (*EnvAddSetting)(void* sink, const char* key, const char* value);

// The next byte of a source (0-255), or -1 when none is left (as getc hands out a file's bytes).
typedef int (*EnvNextByte)(void* source);
// One read as fgets makes it, from a source of bytes: false when the source has no byte left (or
// `size` is below 2), else at most size - 1 bytes, up to and including a line feed, then a NUL. No
// byte after the line feed or the size - 1st byte is taken from the source. The launcher reads
// its file through it, and the media tools read a file's text as the launcher does.
bool ReadEnvLineFrom(EnvNextByte nextByte, void* source, char* buffer, int size);

// Text held in memory, read from `pos` on.
struct EnvText {
    const char* bytes;
    size_t size;
    size_t pos;
};
// An EnvReadLine over an EnvText: ReadEnvLineFrom its bytes.
bool ReadEnvTextLine(void* text, char* buffer, int size);

enum EnvReadEnd {
    kEnvReadEndOfFile,  // a read found nothing left
    kEnvReadEndMarker,  // an "[EOF]" line
    kEnvReadLimit,      // 400 reads made
    kEnvReadRefused,    // the sink returned false
};

// Reads the file's lines from `source` and hands every line that sets a key to `addSetting`, in
// file order. Returns why the reading ended; no read follows the one that ended it.
EnvReadEnd ReadEnvLines(EnvReadLine readLine, void* source, EnvAddSetting addSetting, void* sink);
