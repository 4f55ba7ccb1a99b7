// The settings the launcher reads from vorlin.env: each key, the text it stands for when the file
// does not set it, and the form of value it takes; and the texts the launcher composes from them.
// The launcher's getters and the media tools both read these, so that a check of a media tells
// what the launcher will do with it. Texts are code page 932.
#pragma once

#include <stddef.h>

// How the launcher reads a value.
enum SettingForm {
    kSettingText,     // any text; the getters hand out its first 127 bytes
    kSettingFlag,     // a decimal number; 0 is off, any other is on ("12abc" reads as 12)
    kSettingName,     // a file or folder name: text without a path separator
    kSettingKeyName,  // a registry key name under HKEY_CURRENT_USER\Software
};

struct SettingRule {
    const char* key;
    const char* defaultText;  // as the getters give it when the file does not set the key
    SettingForm form;
};

// Every key the launcher reads.
extern const SettingRule kSettingRules[];
extern const size_t kSettingRuleCount;

// The rule of `key` (compared exactly, as the launcher compares), or null.
const SettingRule* FindSettingRule(const char* key);

// The default text of a key of kSettingRules ("" for an unknown key).
const char* GetSettingDefault(const char* key);

enum {
    kSettingGetterBytes = 127,  // the most of a value the launcher's getters hand out
    kUpdateTitleBytes = 255,    // the most of the update title
};

// The update title: TITLEBAR + " アップデート " + VERSION, cut to kUpdateTitleBytes bytes on a
// character boundary, into `title` (kUpdateTitleBytes + 1 bytes).
void ComposeUpdateTitle(const char* titlebar, const char* version,
                        char title[kUpdateTitleBytes + 1]);

// The install folder the launcher proposes: `driveRoot` (the Windows folder's drive, "C:\"), then
// "Program Files\", then INSTFOL and a backslash when INSTFOL is set (null or ""), then INSTTO.
// Each part is cut on a character boundary so that the whole fits `size` bytes with its NUL.
void ComposeProposedInstallFolder(const char* driveRoot, const char* instFol, const char* instTo,
                                  char* text, size_t size);

// `text` cut to at most `maxBytes` bytes without splitting a double-byte character: its length.
size_t FitCp932Text(const char* text, size_t maxBytes);

// A bar stands for a space in a value (a value ends at the first space): turns every "|" of the
// NUL-terminated `value` into a space in place, stepping over double-byte characters so that a
// trail byte 0x7C (as in the katakana "ポ", 0x83 0x7C) is never taken for a bar.
void BarsToSpaces(char* value);
