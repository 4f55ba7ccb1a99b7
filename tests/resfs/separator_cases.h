// Code page 932 texts with where their first and last backslash of their own are (-1: none),
// shared by the native tests of the portable separator search and by the Windows tests that hold
// it against the platform's _mbschr and _mbsrchr. A double-byte character is always written as
// two escapes, so a trail byte 0x5C is easy to see.
#pragma once

struct SeparatorCase {
    const char* name;
    const char* text;
    int first;  // byte index of the first backslash that is no trail byte, or -1
    int last;   // of the last one, or -1
};

static const SeparatorCase kSeparatorCases[] = {
    {"empty", "", -1, -1},
    {"no backslash", "update.rct", -1, -1},
    {"one backslash", "help\\index.htm", 4, 4},
    {"two backslashes", "a\\b\\c", 1, 3},
    {"ends in a backslash", "update\\", 6, 6},
    {"only a backslash", "\\", 0, 0},
    {"trail byte 0x5C is none", "\x95\x5C", -1, -1},
    {"trail byte 0x5C, then one", "\x95\x5C\\x", 2, 2},
    {"one, then a trail byte 0x5C", "a\\\x95\x5C", 1, 1},
    {"a trail byte 0x5C at the end after one", "C:\\\x83\x5C", 2, 2},
    {"lead byte 0xE0 and trail 0x5C", "\xE0\x5C\\", 2, 2},
    {"half-width katakana is one byte", "\xB1\\", 1, 1},
    {"a lone lead byte before the end", "a\\\x83", 1, 1},
    {"a lead byte takes a backslash as its second byte", "\x83\\a\\", 3, 3},
};
