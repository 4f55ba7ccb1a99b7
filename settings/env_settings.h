// The environment settings: key/value pairs loaded once from vorlin.env, and the named getters
// that fix the product's texts (title, version, executable name, install folder and registry key
// names), each with its default for a key the file does not set.
#pragma once

struct SettingEntry {
    char* key;    // exact-size heap copy
    char* value;  // exact-size heap copy; "|" already turned into spaces
    SettingEntry* next;
};

// Reads the file through the resource file system (current folder, then the mounts; a missing
// file blocks in the retrying fatal box). Entries go to the front, so a later line wins.
// Returns 0.
int LoadEnvironmentSettings(const char* fileName);
// The newest entry whose key equals `key` byte for byte, or null.
SettingEntry* FindSettingEntry(const char* key);
// strncpy-style copy of the value (or `defaultText`) into `buffer`, whose last byte is always 0.
char* GetSettingString(const char* key, char* buffer, int size, const char* defaultText);
// Decimal value of the setting ("12abc" gives 12, "abc" gives 0), or `defaultValue` when unset.
int GetSettingInt(const char* key, int defaultValue);

// Each returns its own 128-byte buffer, valid until the same getter runs again.
const char* GetTitlebarSetting();
const char* GetVersionSetting();
const char* GetExeNameSetting();
const char* GetInstToSetting();
const char* GetInstFolSetting();  // null when empty
const char* GetRegGlobalSetting();  // fixed by its first call
const char* GetRegLocalSetting();   // fixed by its first call
const char* GetUpdateReadmeSetting();
// "TITLEBAR アップデート VERSION" in a 256-byte buffer, cut at 255 bytes on a character boundary.
const char* GetUpdateTitle();

// Exit handler: frees the whole list. The registry key names stay fixed.
void FreeEnvironmentSettings();
// Lets the next reads of REG_GLOBAL and REG_LOCAL fix the key names again from the settings loaded
// then. The launcher never calls it (its key names stay those of its first read); tests that load
// several settings files in one process do.
void ForgetRegistryKeyNames();
