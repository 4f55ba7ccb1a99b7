// Byte-length limits for code page 932 text (see mbcs_text.h).
#include "ui/mbcs_text.h"

#include <cstring>

bool IsCp932LeadByte(uint8_t byte) {
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

// Length of the longest prefix of `text` of at most `maxBytes` bytes that ends on a character
// boundary. A lead byte directly before the terminator counts as a character of its own.
static size_t FittingLength(const char* text, size_t maxBytes) {
    size_t i = 0;
    while (text[i] != '\0' && i < maxBytes) {
        size_t width = IsCp932LeadByte((uint8_t)text[i]) && text[i + 1] != '\0' ? 2 : 1;
        if (width > maxBytes - i) break;
        i += width;
    }
    return i;
}

void CutMultibyteText(char* text, size_t maxBytes) {
    text[FittingLength(text, maxBytes)] = '\0';
}

void CopyMultibyteText(char* dst, size_t dstSize, const char* src) {
    size_t n = FittingLength(src, dstSize - 1);
    memmove(dst, src, n);
    dst[n] = '\0';
}

const char* NextCp932Char(const char* text) {
    if (*text == '\0') return text;
    return IsCp932LeadByte((uint8_t)text[0]) && text[1] != '\0' ? text + 2 : text + 1;
}
