// One line of the environment settings file (vorlin.env), split into key and value.
//
// A line is what one read of at most 511 bytes returns, held in a 512-byte buffer whose unused
// bytes are zero. Lines starting with "[EOF]" end the file. Lines whose first byte is 0x20 or less
// (blank, control, empty) or "/" (comments) are skipped. Otherwise every byte of 0x20 or less is a
// separator; the key is the first token, the value the next one, which must start within the 99
// bytes after the key. Bytes of 0x80 and above are ordinary characters (Shift-JIS text).
#pragma once

enum { kEnvLineBufferSize = 512 };

enum EnvLineKind {
    kEnvLineSetting,  // *key and *value point into the buffer
    kEnvLineSkip,     // comment, blank line, or a key without a value
    kEnvLineEnd,      // "[EOF]": nothing after this line is read
};

// Splits `line` in place (separators become NUL bytes).
EnvLineKind ParseEnvLine(char line[kEnvLineBufferSize], const char** key, const char** value);
