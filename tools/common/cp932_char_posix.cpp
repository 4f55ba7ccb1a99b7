// Code page 932 characters on POSIX systems, through iconv's "CP932" (Microsoft's table), held to
// what Windows' code page 932 gives:
//  - a character is taken only when iconv's code page 932 bytes read back as that character.
//    glibc's converter also accepts, one way, characters that Windows refuses without best fit
//    (U+301C, U+2212, U+2016, U+2014, U+00A2, U+00A3, U+00A5, U+00AC, U+203E, which read back as
//    their code page 932 neighbours); the read-back check refuses them as Windows does;
//  - Windows maps five single bytes that glibc leaves out: 0x80 to U+0080 and 0xA0, 0xFD-0xFF to
//    the private-use characters U+F8F0-U+F8F3. They are added here.
// Checked against Windows' own table (Wine's) for every character of the Basic Multilingual
// Plane: the results are identical, duplicates (NEC and IBM extensions) included.
#include <iconv.h>
#include <string.h>

#include "tools/common/cp932_names.h"
#include "resfs/cp932_lower.h"
#include "tools/common/tool_output.h"
#include "tools/common/utf8_text.h"

namespace {

struct ExtraByte {
    uint32_t codePoint;
    uint8_t byte;
};
const ExtraByte kWindowsOnlyBytes[] = {
    {0x0080, 0x80}, {0xF8F0, 0xA0}, {0xF8F1, 0xFD}, {0xF8F2, 0xFE}, {0xF8F3, 0xFF},
};

iconv_t g_toCp932 = (iconv_t)-1;
iconv_t g_fromCp932 = (iconv_t)-1;
bool g_opened;

bool OpenConverters() {
    if (!g_opened) {
        g_opened = true;
        g_toCp932 = iconv_open("CP932", "UTF-32LE");
        g_fromCp932 = iconv_open("UTF-32LE", "CP932");
        if (g_toCp932 == (iconv_t)-1 || g_fromCp932 == (iconv_t)-1)
            PrintError("this system's iconv has no CP932 converter: names cannot be converted");
    }
    return g_toCp932 != (iconv_t)-1 && g_fromCp932 != (iconv_t)-1;
}

// Runs one conversion of a whole, short input; false unless all of it converts.
bool Convert(iconv_t cd, const char* in, size_t inSize, char* out, size_t* outSize) {
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char* inPtr = (char*)in;
    char* outPtr = out;
    size_t inLeft = inSize, outLeft = *outSize;
    if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == (size_t)-1 || inLeft != 0) return false;
    if (iconv(cd, nullptr, nullptr, &outPtr, &outLeft) == (size_t)-1) return false;
    *outSize = (size_t)(outPtr - out);
    return true;
}

}  // namespace

bool PlatformNamesAreUnicode() {
    return false;
}

bool EncodeCp932Char(uint32_t codePoint, std::string* out) {
    if (codePoint < 0x80) {
        out->push_back((char)codePoint);
        return true;
    }
    for (const ExtraByte& e : kWindowsOnlyBytes) {
        if (e.codePoint == codePoint) {
            out->push_back((char)e.byte);
            return true;
        }
    }
    if (!OpenConverters()) return false;
    const char unit[4] = {(char)codePoint, (char)(codePoint >> 8), (char)(codePoint >> 16), 0};
    char bytes[8], back[16];
    size_t byteCount = sizeof bytes, backCount = sizeof back;
    if (!Convert(g_toCp932, unit, sizeof unit, bytes, &byteCount)) return false;
    if (!Convert(g_fromCp932, bytes, byteCount, back, &backCount)) return false;
    if (backCount != sizeof unit || memcmp(back, unit, sizeof unit) != 0) return false;
    out->append(bytes, byteCount);
    return true;
}

bool DecodeCp932Text(const std::string& cp932, std::string* utf8) {
    utf8->clear();
    for (size_t i = 0; i < cp932.size(); i++) {
        uint8_t c = (uint8_t)cp932[i];
        uint32_t codePoint = c;
        if (c >= 0x80) {
            bool found = false;
            for (const ExtraByte& e : kWindowsOnlyBytes) {
                if (e.byte == c) {
                    codePoint = e.codePoint;
                    found = true;
                }
            }
            if (!found) {
                size_t length = IsCp932LeadByte(c) && i + 1 < cp932.size() ? 2 : 1;
                char unit[4] = {0, 0, 0, 0};
                size_t unitSize = sizeof unit;
                if (!OpenConverters() ||
                    !Convert(g_fromCp932, cp932.data() + i, length, unit, &unitSize) ||
                    unitSize != sizeof unit)
                    return false;
                codePoint = (uint32_t)(uint8_t)unit[0] | (uint32_t)(uint8_t)unit[1] << 8 |
                            (uint32_t)(uint8_t)unit[2] << 16;
                i += length - 1;
            }
        }
        AppendUtf8(codePoint, utf8);
    }
    return true;
}
