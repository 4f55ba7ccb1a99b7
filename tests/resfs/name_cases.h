// Names with their lower-cased bytes and lookup keys, shared by the native tests of the portable
// code page 932 lower-casing and by the Windows tests that hold it against CharLowerA.
//
// `lower` is the whole name lower-cased as CharLowerA does under ANSI code page 932; `key` is
// ComputeNameHash of the lower-cased final component (after the last backslash or slash and any
// drive prefix). Code page 932 bytes are written as hex escapes; a double-byte character is
// always written as two escapes, so a trail byte that happens to be ASCII is easy to see.
#pragma once

#include <stdint.h>

struct NameCase {
    const char* label;
    const char* name;
    const char* lower;
    uint32_t key;
};

static const NameCase kNameCases[] = {
    {"ascii capitals", "Update.RCT", "update.rct", 0xB56852F7},
    {"already lower", "vorlin.env", "vorlin.env", 0x7C74B7F8},
    {"slash directory", "pics/Update.rct", "pics/update.rct", 0xB56852F7},
    {"backslash directory", "PICS\\UPDATE.RCT", "pics\\update.rct", 0xB56852F7},
    {"drive prefix", "C:Update.rct", "c:update.rct", 0xB56852F7},
    {"full-width ABC", "\x82\x60\x82\x61\x82\x62.RCT", "\x82\x81\x82\x82\x82\x83.rct", 0xD5DD4AD9},
    {"full-width Z", "\x82\x79", "\x82\x9A", 0x58B6926C},
    {"full-width small letters stay", "\x82\x81\x82\x9A", "\x82\x81\x82\x9A", 0x9F8C5088},
    {"Greek Alpha and Omega", "\x83\x9F\x83\xB6", "\x83\xBF\x83\xD6", 0x6FB4C38D},
    {"Cyrillic A Io En O Ya", "\x84\x40\x84\x46\x84\x4E\x84\x4F\x84\x60", "\x84\x70\x84\x76\x84\x7E\x84\x80\x84\x91", 0x3C24A0F8},
    {"Cyrillic small letters stay", "\x84\x7E\x84\x80", "\x84\x7E\x84\x80", 0xAF476545},
    {"katakana with trail bytes A and Z", "\x83\x41\x83\x5A.RCT", "\x83\x41\x83\x5A.rct", 0xBE4D7BF3},
    {"katakana po", "\x83\x7C.RCT", "\x83\x7C.rct", 0x1BE42369},
    {"trail byte 0x5C", "\x95\x5C.RCT", "\x95\x5C.rct", 0x0FAAEDEB},
    {"trail byte 0x5C after a directory", "Dir\\\x95\x5CX.RCT", "dir\\\x95\x5Cx.rct", 0x9C520C15},
    {"trail byte 0x5C at the end of a directory", "\x95\x5C\\Update.rct", "\x95\x5C\\update.rct", 0xB56852F7},
    {"half-width katakana", "\xB1\xB2\xB3.RCT", "\xB1\xB2\xB3.rct", 0x152BB2A2},
    {"lone lead byte at the end", "ABC\x83", "abc\x83", 0xD3ECBACA},
    {"Roman numeral one (NEC)", "\x87\x54.RCT", "\xFA\x40.rct", 0x53182AE7},
    {"Roman numeral ten (IBM)", "\xFA\x53", "\xFA\x49", 0xA08AE2FC},
    {"NEC duplicate of approximately equal", "\x87\x90", "\x81\xE0", 0xC34B598D},
    {"NEC-selected IBM kanji", "\xED\x40\xEE\xEC", "\xFA\x5C\xFC\x4B", 0xF43EC8A2},
    {"unassigned pair", "\x85\x40" "A", "\x81\x45" "a", 0xA80D422B},
};
