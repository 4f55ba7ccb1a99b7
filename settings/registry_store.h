// The per-user registry store: single named values under
// HKEY_CURRENT_USER\Software\<first key>\<second key>, all stored as REG_SZ text (integers as
// their decimal text). Reads always leave a usable text: the default on any failure.
#pragma once

// Formats "Software\<first>\<second>" into `path` (512 bytes) and returns it.
char* FormatSettingsKeyPath(char* path, const char* firstKey, const char* secondKey);
// 0 when the value was found (REG_SZ, at most 511 characters) and copied into `buffer`;
// -1 when the default was left there. The buffer's last byte is always 0.
int ReadRegistryString(const char* firstKey, const char* secondKey, const char* valueName,
                       const char* defaultText, char* buffer, int size);
// Creates missing keys; 0 when the value was set, -1 otherwise.
int WriteRegistryString(const char* firstKey, const char* secondKey, const char* valueName,
                        const char* text, int flush);
// Removes the value, flushed; 0 when it is gone (or never was), -1 otherwise.
int DeleteRegistryValue(const char* firstKey, const char* secondKey, const char* valueName);
// Decimal value of the stored text ("12abc" gives 12, "" gives 0), or the default when the value
// cannot be read.
int ReadRegistryInt(const char* firstKey, const char* secondKey, const char* valueName,
                    int defaultValue);
// Stores the integer as decimal text without a flush; 0 on success, -1 on failure.
int WriteRegistryInt(const char* firstKey, const char* secondKey, const char* valueName, int value);
