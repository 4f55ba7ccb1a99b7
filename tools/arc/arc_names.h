// Names as the launcher keys them: code page 932 text, lower-cased and hashed by resfs. A name
// met on the command line or in a folder is turned into that text here, so that a file named in
// UTF-8 on Linux gets the key the launcher computes from its code page 932 name.
//
// On POSIX systems a name is bytes, read by the --names rule: kNamesAuto converts a name that is
// valid UTF-8 with non-ASCII characters and takes any other name as code page 932 bytes;
// kNamesUtf8 converts every name (invalid UTF-8 is an error); kNamesCp932 takes every name as
// its bytes. On Windows names arrive as UTF-16 (UTF-8 inside the tool) and are always
// converted, whatever the rule. Either way a character is converted exactly as Windows' code page
// 932 converts it without best-fit guesses (WideCharToMultiByte with WC_NO_BEST_FIT_CHARS), so
// the result reads back through MultiByteToWideChar(932) as the same character; one it cannot
// carry (U+301C WAVE DASH, U+2212 MINUS SIGN, Hangul, emoji...) makes the name an error.
#pragma once

#include <stdint.h>
#include <string>

enum NameMode { kNamesAuto, kNamesUtf8, kNamesCp932 };

// Parses the value of --names ("utf-8" or "cp932"); false for any other.
bool ParseNameMode(const char* text, NameMode* mode);

// Whether `name` is read as UTF-8 (and converted) under `mode`; otherwise its bytes are taken as
// code page 932 text, where a trail byte may be 0x5C or 0x7C.
bool IsUtf8Name(const std::string& name, NameMode mode);

// The code page 932 text of `name` under `mode`. Returns true with *cp932 set, or false with
// *error saying why (which character has no code page 932 form, or where the UTF-8 breaks);
// the caller puts the name in front of it.
bool ConvertNameToCp932(const std::string& name, NameMode mode, std::string* cp932,
                        std::string* error);

// Platform parts (arc_names_posix.cpp, arc_names_win.cpp).

// Whether the platform's names are Unicode text (Windows), so that --names chooses nothing.
bool PlatformNamesAreUnicode();

// Appends the code page 932 bytes of one Unicode character, as Windows' code page 932 gives
// them without best-fit guesses. Returns false, appending nothing, when it has none.
bool EncodeCp932Char(uint32_t codePoint, std::string* out);
