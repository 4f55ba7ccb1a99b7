// Code page 932 (Shift-JIS) name text for the name hash: lower-casing exactly as the launcher's
// platform does it (CharLowerA under ANSI code page 932), the search for folder separators, the
// final component of a requested name, and the two hashes built from them. Portable: the archive
// tool and the fuzz targets use it on any system, so an archive written anywhere is keyed as the
// launcher looks names up.
//
// A double-byte character is a lead byte (0x81-0x9F, 0xE0-0xFC) and the byte after it, whatever
// that byte is; a lead byte directly before the terminating NUL stands alone. Its second byte is
// never read as a separator or a letter on its own.
#pragma once

#include "ui/mbcs_text.h"

#include <stdint.h>

#include <string>

// True for the bytes that open a double-byte character.
// (IsCp932LeadByte, the test of a lead byte, is the text helpers' own: ui/mbcs_text.h.)

// Lower-cases NUL-terminated text in place; its length never changes. Single bytes A-Z become
// a-z, other single bytes (half-width katakana included) stay. A double-byte character changes as
// a whole, as the platform's conversion through Unicode changes it:
//  - full-width Latin, Greek and Cyrillic capitals become their small letters;
//  - the Roman numerals I-X (0x8754.., 0xFA4A..) become the small numerals at 0xFA40..;
//  - a character the code page carries twice (NEC and IBM extension duplicates) comes back as
//    the one code that the conversion back to code page 932 chooses;
//  - a pair that stands for no character (unassigned code, or a second byte outside 0x40-0x7E,
//    0x80-0xFC) becomes 0x81 0x45, the katakana middle dot that the platform substitutes.
void LowerCp932(char* text);

// Whether two texts are the same but for case, as LowerCp932 lower-cases them (names of files
// and folders, as Windows matches them).
bool EqualCp932IgnoringCase(const char* a, const char* b);

// Lower-cases one double-byte character given as lead << 8 | trail.
uint16_t LowerCp932DoubleByte(uint16_t code);

// A lower-cased copy of `text` (LowerCp932 of its bytes up to the first NUL, if any), for the
// tools. Inline, so that the launcher, which never calls it, carries no string code for it.
inline std::string LowerCp932Copy(std::string text) {
    if (!text.empty()) LowerCp932(&text[0]);
    return text;
}

// The first byte of NUL-terminated `text` that is one of `separators` (single-byte characters
// such as "\\" or "\\/"), found character by character: the second byte of a double-byte
// character (0x5C in 0x95 0x5C) is never one. Null when there is none.
const char* FindCp932Separator(const char* text, const char* separators);
// The last such byte, or null.
const char* FindLastCp932Separator(const char* text, const char* separators);

// The final component of a requested name: what follows its last backslash or slash, after a
// drive prefix "X:" is stripped. Returns a pointer into `name` (to its NUL if it ends in a
// separator).
const char* FindFinalComponent(const char* name);

// ComputeNameHash of `name` lower-cased, without a copy: the key of a name as a directory listing
// reports it (no directory part to strip).
uint32_t ComputeLowerNameHash(const char* name);

// The lookup key of a requested name: ComputeLowerNameHash of its final component.
// "pics/Update.rct" and "update.rct" have the same key.
uint32_t ComputeLookupKey(const char* name);
