// Per-user registry store (see registry_store.h). Each call opens the key, does its one read or
// write and closes it again; nothing is remembered between calls.
#include "settings/registry_store.h"

#include <windows.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>

enum { kPathSize = 512, kTransferSize = 512 };

char* FormatSettingsKeyPath(char* path, const char* firstKey, const char* secondKey) {
    snprintf(path, kPathSize, "Software\\%s\\%s", firstKey, secondKey);
    return path;
}

// strncpy-style copy of at most `length` bytes of `text` (which need not be terminated within
// them), zero-filled, the buffer's last byte always 0.
static void CopyIntoBuffer(char* buffer, int size, const char* text, size_t length) {
    size_t n = strnlen(text, length);
    if (n > (size_t)size - 1) n = (size_t)size - 1;
    memset(buffer, 0, (size_t)size);
    memcpy(buffer, text, n);
}

int ReadRegistryString(const char* firstKey, const char* secondKey, const char* valueName,
                       const char* defaultText, char* buffer, int size) {
    CopyIntoBuffer(buffer, size, defaultText, strlen(defaultText));
    char path[kPathSize];
    FormatSettingsKeyPath(path, firstKey, secondKey);
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) {
        return -1;
    }
    char data[kTransferSize];
    DWORD type = 0;
    DWORD dataSize = sizeof data;
    LONG status = RegQueryValueExA(key, valueName, NULL, &type, (BYTE*)data, &dataSize);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || type != REG_SZ) return -1;
    CopyIntoBuffer(buffer, size, data, dataSize);
    return 0;
}

int WriteRegistryString(const char* firstKey, const char* secondKey, const char* valueName,
                        const char* text, int flush) {
    char path[kPathSize];
    FormatSettingsKeyPath(path, firstKey, secondKey);
    HKEY key;
    char emptyClass[] = "";
    if (RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, emptyClass, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, NULL, &key, NULL) != ERROR_SUCCESS) {
        return -1;
    }
    bool set = RegSetValueExA(key, valueName, 0, REG_SZ, (const BYTE*)text,
                              (DWORD)strlen(text) + 1) == ERROR_SUCCESS;
    if (set && flush) RegFlushKey(key);
    RegCloseKey(key);
    return set ? 0 : -1;
}

int DeleteRegistryValue(const char* firstKey, const char* secondKey, const char* valueName) {
    char path[kPathSize];
    FormatSettingsKeyPath(path, firstKey, secondKey);
    HKEY key;
    LONG status = RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_ALL_ACCESS, &key);
    if (status == ERROR_FILE_NOT_FOUND) return 0;
    if (status != ERROR_SUCCESS) return -1;
    status = RegDeleteValueA(key, valueName);
    if (status == ERROR_SUCCESS) RegFlushKey(key);
    RegCloseKey(key);
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND ? 0 : -1;
}

int ReadRegistryInt(const char* firstKey, const char* secondKey, const char* valueName,
                    int defaultValue) {
    char defaultText[kTransferSize];
    snprintf(defaultText, sizeof defaultText, "%d", defaultValue);
    char text[kTransferSize];
    ReadRegistryString(firstKey, secondKey, valueName, defaultText, text, sizeof text);
    return (int)strtol(text, NULL, 10);
}

int WriteRegistryInt(const char* firstKey, const char* secondKey, const char* valueName,
                     int value) {
    char text[kTransferSize];
    snprintf(text, sizeof text, "%d", value);
    return WriteRegistryString(firstKey, secondKey, valueName, text, 0);
}
