// Byte-length limits for code page 932 text. Fixed buffers hold multibyte text; when a text must
// be cut to fit one, the cut never leaves half of a double-byte character behind.
//
// The one test of a code page 932 lead byte lives here, at the bottom of the program: every layer
// above (the resource file system's names, the settings, the update's paths) asks it. Portable.
#pragma once
#include <stddef.h>
#include <stdint.h>

// True for the bytes that open a double-byte character (0x81-0x9F, 0xE0-0xFC).
bool IsCp932LeadByte(uint8_t byte);

// The character after the one `text` points at: two bytes on for a lead byte followed by its
// trail byte, one otherwise; `text` itself at its terminator.
const char* NextCp932Char(const char* text);

// Cuts `text` in place so that it holds at most `maxBytes` bytes before its terminator, moving the
// cut back by one byte where it would fall between a lead byte and its trail byte. The lead bytes
// are code page 932's (IsCp932LeadByte), the launcher's ANSI code page.
void CutMultibyteText(char* text, size_t maxBytes);

// Copies `src` into `dst` (capacity `dstSize` bytes, terminator included), cut as above.
// `dstSize` must be at least 1.
void CopyMultibyteText(char* dst, size_t dstSize, const char* src);
