// Names to code page 932 text: the --names rule and the messages for names that
// cannot be converted. The per-character table is the platform's (cp932_char_posix.cpp,
// cp932_char_win.cpp).
#include "tools/common/cp932_names.h"

#include <stdio.h>
#include <string.h>

#include "resfs/cp932_lower.h"
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

std::string CodePointText(uint32_t c) {
    char text[16];
    snprintf(text, sizeof text, "U+%04X", (unsigned)c);
    std::string s = text;
    if (c >= 0xA0) {
        s += " ";
        AppendUtf8(c, &s);
    }
    return s;
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
            *error = NoCp932FormMessage(c);
            return false;
        }
    }
    return true;
}

}  // namespace

std::string NoCp932FormMessage(uint32_t c) {
    std::string message = CodePointText(c) + " has no code page 932 form";
    for (const Neighbour& n : kNeighbours)
        if (n.other == c) message += " (code page 932 has " + CodePointText(n.cp932) + ")";
    return message;
}

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

bool IsCp932Text(const std::string& text) {
    for (size_t i = 0; i < text.size(); i++) {
        uint8_t c = (uint8_t)text[i];
        if (IsCp932LeadByte(c)) {
            if (i + 1 == text.size()) return false;
            uint8_t t = (uint8_t)text[++i];
            if (t < 0x40 || t == 0x7F || t > 0xFC) return false;
        } else if (c >= 0x80 && !(c >= 0xA1 && c <= 0xDF)) {
            return false;
        }
    }
    return true;
}

bool ListedNameToCp932(const std::string& name, std::string* cp932) {
    std::string error;
    return ConvertNameToCp932(name, kNamesAuto, cp932, &error) && IsCp932Text(*cp932);
}

std::string WhyNoCp932Form(const std::string& name) {
    std::string cp932, error;
    if (!ConvertNameToCp932(name, kNamesAuto, &cp932, &error) && !error.empty()) return error;
    return "its bytes are neither UTF-8 nor code page 932 text";
}

std::string Cp932ToDisplay(const std::string& cp932) {
    std::string utf8;
    if (DecodeCp932Text(cp932, &utf8)) return utf8;
    std::string shown;
    for (char c : cp932) {
        uint8_t b = (uint8_t)c;
        if (b < 0x80 && b >= 0x20) {
            shown += c;
        } else {
            char hex[8];
            snprintf(hex, sizeof hex, "\\x%02X", b);
            shown += hex;
        }
    }
    return shown;
}
