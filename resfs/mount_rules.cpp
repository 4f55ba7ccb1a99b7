// The rules of the resource mounts (see mount_rules.h).
#include "resfs/mount_rules.h"

#include <string.h>

#include "resfs/cp932_lower.h"

const char* const kResourceMounts[2] = {"update", "fastdata"};

const char* const kUnindexedExtensions[11] = {".lnk", ".exe", ".com", ".dll", ".log", ".sue",
                                              ".mdb", ".vrs", ".vrh", ".db",  ".txt"};

const char* FindNameExtension(const char* name) {
    const char* dot = nullptr;
    for (const char* p = name; *p; p++) {
        if (IsCp932LeadByte((unsigned char)*p) && p[1] != '\0') {
            p++;
            continue;
        }
        if (*p == '.') dot = p;
    }
    return dot;
}

// Every rule here compares with plain ASCII text, and a case-insensitive comparison of code page
// 932 text folds only A-Z onto ASCII letters (no other character folds onto one), so folding A-Z
// alone gives the same answer for every name.
static bool EqualsAsciiIgnoringCase(const char* text, const char* ascii) {
    for (; *text && *ascii; text++, ascii++) {
        unsigned char c = (unsigned char)*text;
        if (c >= 'A' && c <= 'Z') c = (unsigned char)(c + ('a' - 'A'));
        if (c != (unsigned char)*ascii) return false;
    }
    return *text == '\0' && *ascii == '\0';
}

bool IsIndexedFileName(const char* name) {
    const char* dot = FindNameExtension(name);
    if (!dot) return true;
    for (const char* extension : kUnindexedExtensions) {
        if (EqualsAsciiIgnoringCase(dot, extension)) return false;
    }
    return true;
}

bool IsScannedFolderName(const char* name) {
    size_t length = strlen(name);
    if (length > 0 && name[length - 1] == '.') return false;
    return !EqualsAsciiIgnoringCase(name, "debuginfo");
}
