// Names to code page 932 text: the --names rule and the messages for names that
// cannot be converted. The per-character table is the platform's (arc_names_posix.cpp,
// arc_names_win.cpp).
#include "tools/arc/arc_names.h"

#include <stdio.h>
#include <string.h>

#include "tools/common/utf8_text.h"

namespace {

// Characters that Japanese text from other systems often carries where code page 932 has a
// neighbour: the JIS X 0208 mapping (EUC-JP, ISO-2022-JP, many Linux and Mac converters) and
// Windows' differ for these.
struct Neighbour {
    uint32_t other, cp932;
};
const Neighbour kNeighbours[] = {
    {0x301C, 0xFF5E},  // wave dash: code page 932 has the full-width tilde
    {0x2212, 0xFF0D},  // minus sign: full-width hyphen-minus
    {0x2016, 0x2225},  // double vertical line: parallel to
    {0x2014, 0x2015},  // em dash: horizontal bar
    {0x00A2, 0xFFE0},  // cent sign
    {0x00A3, 0xFFE1},  // pound sign
    {0x00AC, 0xFFE2},  // not sign
    {0x00A5, 0xFFE5},  // yen sign: 0x5C is the backslash, a path separator
    {0x203E, 0xFFE3},  // overline
};

std::string Utf8Of(uint32_t c) {
    std::string s;
    if (c < 0x80) {
        s += (char)c;
    } else if (c < 0x800) {
        s += (char)(0xC0 | c >> 6);
        s += (char)(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        s += (char)(0xE0 | c >> 12);
        s += (char)(0x80 | (c >> 6 & 0x3F));
        s += (char)(0x80 | (c & 0x3F));
    } else {
        s += (char)(0xF0 | c >> 18);
        s += (char)(0x80 | (c >> 12 & 0x3F));
        s += (char)(0x80 | (c >> 6 & 0x3F));
        s += (char)(0x80 | (c & 0x3F));
    }
    return s;
}

std::string CodePointText(uint32_t c) {
    char text[16];
    snprintf(text, sizeof text, "U+%04X", (unsigned)c);
    std::string s = text;
    if (c >= 0xA0) s += " " + Utf8Of(c);
    return s;
}

std::string UnmappableMessage(uint32_t c) {
    std::string message = CodePointText(c) + " has no code page 932 form";
    for (const Neighbour& n : kNeighbours)
        if (n.other == c) message += " (code page 932 has " + CodePointText(n.cp932) + ")";
    return message;
}

bool ConvertUtf8(const std::string& name, std::string* cp932, std::string* error) {
    cp932->clear();
    size_t pos = 0;
    while (pos < name.size()) {
        uint32_t c;
        if (!DecodeUtf8(name, &pos, &c)) {
            char text[96];
            snprintf(text, sizeof text, "not UTF-8 (byte %u is 0x%02X)", (unsigned)pos + 1,
                     (unsigned)(uint8_t)name[pos]);
            *error = text;
            if (!PlatformNamesAreUnicode())
                *error += "; --names cp932 takes a name as code page 932 bytes";
            return false;
        }
        if (c == 0 || !EncodeCp932Char(c, cp932)) {
            *error = UnmappableMessage(c);
            return false;
        }
    }
    return true;
}

}  // namespace

bool ParseNameMode(const char* text, NameMode* mode) {
    if (strcmp(text, "utf-8") == 0 || strcmp(text, "utf8") == 0) {
        *mode = kNamesUtf8;
        return true;
    }
    if (strcmp(text, "cp932") == 0) {
        *mode = kNamesCp932;
        return true;
    }
    return false;
}

bool IsUtf8Name(const std::string& name, NameMode mode) {
    if (PlatformNamesAreUnicode() || mode == kNamesUtf8) return true;
    if (mode == kNamesCp932) return false;
    bool nonAscii = false;
    return IsValidUtf8(name, &nonAscii) && nonAscii;
}

bool ConvertNameToCp932(const std::string& name, NameMode mode, std::string* cp932,
                        std::string* error) {
    if (IsUtf8Name(name, mode)) return ConvertUtf8(name, cp932, error);
    *cp932 = name;
    return true;
}
