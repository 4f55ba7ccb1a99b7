// UTF-8 decoding for the media tools (see utf8_text.h).
#include "tools/common/utf8_text.h"

bool DecodeUtf8(const std::string& text, size_t* pos, uint32_t* codePoint) {
    const uint8_t* p = (const uint8_t*)text.data() + *pos;
    size_t left = text.size() - *pos;
    uint8_t b = p[0];
    if (b < 0x80) {
        *codePoint = b;
        *pos += 1;
        return true;
    }
    size_t length;
    uint32_t c, min;
    if (b >= 0xC2 && b <= 0xDF) {
        length = 2, c = b & 0x1F, min = 0x80;
    } else if (b >= 0xE0 && b <= 0xEF) {
        length = 3, c = b & 0x0F, min = 0x800;
    } else if (b >= 0xF0 && b <= 0xF4) {
        length = 4, c = b & 0x07, min = 0x10000;
    } else {
        return false;
    }
    if (length > left) return false;
    for (size_t i = 1; i < length; i++) {
        if ((p[i] & 0xC0) != 0x80) return false;
        c = c << 6 | (p[i] & 0x3F);
    }
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
    *codePoint = c;
    *pos += length;
    return true;
}

bool IsValidUtf8(const std::string& text, bool* nonAscii) {
    bool high = false;
    size_t pos = 0;
    while (pos < text.size()) {
        uint32_t c;
        if (!DecodeUtf8(text, &pos, &c)) return false;
        if (c >= 0x80) high = true;
    }
    if (nonAscii) *nonAscii = high;
    return true;
}

void AppendUtf8(uint32_t c, std::string* s) {
    if (c < 0x80) {
        *s += (char)c;
    } else if (c < 0x800) {
        *s += (char)(0xC0 | c >> 6);
        *s += (char)(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        *s += (char)(0xE0 | c >> 12);
        *s += (char)(0x80 | (c >> 6 & 0x3F));
        *s += (char)(0x80 | (c & 0x3F));
    } else {
        *s += (char)(0xF0 | c >> 18);
        *s += (char)(0x80 | (c >> 12 & 0x3F));
        *s += (char)(0x80 | (c >> 6 & 0x3F));
        *s += (char)(0x80 | (c & 0x3F));
    }
}
