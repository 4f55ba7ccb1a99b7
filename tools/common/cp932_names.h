// Names as the launcher sees them: code page 932 text (lower-cased and hashed by resfs for keys). A
// name met on the command line or in a folder is turned into that text here, so that a file named
// in UTF-8 on Linux gets the key the launcher computes from its code page 932 name.
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

// Why a character cannot be converted, for a message: "U+301C 〜 has no code page 932 form (code
// page 932 has U+FF5E ～)", naming the code page 932 neighbour that text from other systems often
// means. The character itself is shown from U+00A0 on.
std::string NoCp932FormMessage(uint32_t codePoint);

// The code page 932 name of a file as a folder listing gives it (POSIX: by the default rule of
// --names; Windows: always converted). False when it has none, or when its bytes are not
// well-formed code page 932 text: the launcher could never open such a file by name.
bool ListedNameToCp932(const std::string& name, std::string* cp932);

// Whether the bytes are well-formed code page 932 text: single bytes 0x00-0x7F and 0xA1-0xDF,
// or a lead byte with a trail byte 0x40-0x7E or 0x80-0xFC.
bool IsCp932Text(const std::string& text);

// Why a name from a folder listing has no code page 932 form (ListedNameToCp932 is false), for a
// message: the character code page 932 lacks, as NoCp932FormMessage says it, or that its bytes
// are neither UTF-8 nor code page 932 text.
std::string WhyNoCp932Form(const std::string& name);

// Code page 932 text shown as the tools' text (UTF-8 on Windows and for UTF-8 names elsewhere);
// bytes that do not decode are shown as \xNN.
std::string Cp932ToDisplay(const std::string& cp932);

// Platform parts (cp932_char_posix.cpp, cp932_char_win.cpp).

// Whether the platform's names are Unicode text (Windows), so that --names chooses nothing.
bool PlatformNamesAreUnicode();

// Appends the code page 932 bytes of one Unicode character, as Windows' code page 932 gives
// them without best-fit guesses. Returns false, appending nothing, when it has none.
bool EncodeCp932Char(uint32_t codePoint, std::string* out);

// The UTF-8 text of well-formed code page 932 text, as Windows' table reads it; false when a
// byte or pair stands for no character.
bool DecodeCp932Text(const std::string& cp932, std::string* utf8);
