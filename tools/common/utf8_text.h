// UTF-8 text as the media tools meet it: names on the command line and in folders, and settings
// files written in an editor's default encoding. One reading of UTF-8 for every tool.
#pragma once

#include <stdint.h>

#include <string>

// Decodes the character at text[*pos], advancing *pos. Returns false (leaving *pos) when the
// bytes there are not well-formed UTF-8: a stray or missing continuation byte, an overlong form,
// a surrogate or a code point above U+10FFFF.
bool DecodeUtf8(const std::string& text, size_t* pos, uint32_t* codePoint);

// Whether all of `text` is well-formed UTF-8. *nonAscii (may be null) tells whether any byte is
// above 0x7F.
bool IsValidUtf8(const std::string& text, bool* nonAscii);

// Appends the UTF-8 form of a code point (at most U+10FFFF).
void AppendUtf8(uint32_t codePoint, std::string* out);
