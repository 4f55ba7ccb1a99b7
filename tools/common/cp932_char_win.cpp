// Code page 932 characters on Windows: the platform's own conversion, asked for code page 932
// whatever the system's ANSI code page is, and without best-fit guesses (which would turn
// U+00A5 YEN SIGN into 0x5C, a path separator, and U+301C WAVE DASH into 0x8160).
#include <windows.h>

#include "tools/common/cp932_names.h"

bool PlatformNamesAreUnicode() {
    return true;
}

bool EncodeCp932Char(uint32_t codePoint, std::string* out) {
    WCHAR units[2];
    int unitCount = 1;
    if (codePoint >= 0x10000) {
        uint32_t v = codePoint - 0x10000;
        units[0] = (WCHAR)(0xD800 + (v >> 10));
        units[1] = (WCHAR)(0xDC00 + (v & 0x3FF));
        unitCount = 2;
    } else {
        units[0] = (WCHAR)codePoint;
    }
    char bytes[8];
    BOOL usedDefault = FALSE;
    int n = WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, units, unitCount, bytes, sizeof bytes,
                                nullptr, &usedDefault);
    if (n <= 0 || usedDefault) return false;
    out->append(bytes, (size_t)n);
    return true;
}

bool DecodeCp932Text(const std::string& cp932, std::string* utf8) {
    utf8->clear();
    if (cp932.empty()) return true;
    int n =
        MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, cp932.data(), (int)cp932.size(), nullptr, 0);
    if (n <= 0) return false;
    std::wstring wide((size_t)n, L'\0');
    MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, cp932.data(), (int)cp932.size(), &wide[0], n);
    int m = WideCharToMultiByte(CP_UTF8, 0, wide.data(), n, nullptr, 0, nullptr, nullptr);
    utf8->assign((size_t)(m > 0 ? m : 0), '\0');
    if (m > 0) WideCharToMultiByte(CP_UTF8, 0, wide.data(), n, &(*utf8)[0], m, nullptr, nullptr);
    return true;
}
