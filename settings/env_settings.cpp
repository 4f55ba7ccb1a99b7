// Environment settings list and named getters (see env_settings.h).
#include "settings/env_settings.h"

#include <windows.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "resfs/resource_open.h"
#include "settings/env_line.h"
#include "settings/setting_rules.h"

enum { kGetterBufferSize = kSettingGetterBytes + 1 };

static SettingEntry* g_settings;
static bool g_exitHookRegistered;

static char* CopyText(const char* text) {
    size_t size = strlen(text) + 1;
    char* copy = (char*)malloc(size);
    if (copy) memcpy(copy, text, size);
    return copy;
}

// Adds one entry at the front of the list; false when the heap cannot provide it, which ends
// the reading (the entries made so far are kept). The sink argument is unused.
static bool AddSetting(void*, const char* key, const char* value) {
    SettingEntry* entry = (SettingEntry*)malloc(sizeof(SettingEntry));
    char* keyCopy = CopyText(key);
    char* valueCopy = CopyText(value);
    if (!entry || !keyCopy || !valueCopy) {
        free(entry);
        free(keyCopy);
        free(valueCopy);
        return false;
    }
    BarsToSpaces(valueCopy);
    entry->key = keyCopy;
    entry->value = valueCopy;
    entry->next = g_settings;
    g_settings = entry;
    return true;
}

static int NextFileByte(void* file) {
    return getc((FILE*)file);
}

// One read of the file, as ReadEnvLines asks for it.
static bool ReadFileLine(void* file, char* buffer, int size) {
    return ReadEnvLineFrom(NextFileByte, file, buffer, size);
}

int LoadEnvironmentSettings(const char* fileName) {
    if (!g_exitHookRegistered) {
        atexit(FreeEnvironmentSettings);
        g_exitHookRegistered = true;
    }
    FILE* file = OpenResourceFileOrRetry(fileName, "rt");
    ReadEnvLines(ReadFileLine, file, AddSetting, nullptr);
    fclose(file);
    return 0;
}

SettingEntry* FindSettingEntry(const char* key) {
    for (SettingEntry* entry = g_settings; entry; entry = entry->next) {
        if (strcmp(entry->key, key) == 0) return entry;
    }
    return nullptr;
}

char* GetSettingString(const char* key, char* buffer, int size, const char* defaultText) {
    SettingEntry* entry = FindSettingEntry(key);
    const char* text = entry ? entry->value : defaultText;
    size_t length = strnlen(text, (size_t)size - 1);  // cut by bytes, as strncpy would
    memcpy(buffer, text, length);
    buffer[length] = '\0';
    return buffer;
}

int GetSettingInt(const char* key, int defaultValue) {
    SettingEntry* entry = FindSettingEntry(key);
    if (!entry) return defaultValue;
    return (int)strtol(entry->value, nullptr, 10);
}

#define NAMED_GETTER(function, key)                                                   \
    const char* function() {                                                          \
        static char buffer[kGetterBufferSize];                                        \
        return GetSettingString(key, buffer, sizeof buffer, GetSettingDefault(key)); \
    }

NAMED_GETTER(GetTitlebarSetting, "TITLEBAR")
NAMED_GETTER(GetVersionSetting, "VERSION")
NAMED_GETTER(GetExeNameSetting, "EXENAME")
NAMED_GETTER(GetInstToSetting, "INSTTO")
NAMED_GETTER(GetUpdateReadmeSetting, "UPDATEREADME")

const char* GetInstFolSetting() {
    static char buffer[kGetterBufferSize];
    GetSettingString("INSTFOL", buffer, sizeof buffer, "");
    return buffer[0] ? buffer : nullptr;
}

// The registry key names are fixed by their first read for the rest of the process.
static char g_regGlobal[kGetterBufferSize];
static char g_regLocal[kGetterBufferSize];

const char* GetRegGlobalSetting() {
    if (g_regGlobal[0] == '\0') {
        GetSettingString("REG_GLOBAL", g_regGlobal, sizeof g_regGlobal,
                         GetSettingDefault("REG_GLOBAL"));
    }
    return g_regGlobal;
}

const char* GetRegLocalSetting() {
    if (g_regLocal[0] == '\0') {
        GetSettingString("REG_LOCAL", g_regLocal, sizeof g_regLocal, GetSettingDefault("REG_LOCAL"));
    }
    return g_regLocal;
}

void ForgetRegistryKeyNames() {
    g_regGlobal[0] = '\0';
    g_regLocal[0] = '\0';
}

const char* GetUpdateTitle() {
    static char title[kUpdateTitleBytes + 1];
    ComposeUpdateTitle(GetTitlebarSetting(), GetVersionSetting(), title);
    return title;
}

void FreeEnvironmentSettings() {
    SettingEntry* entry = g_settings;
    g_settings = nullptr;
    while (entry) {
        SettingEntry* next = entry->next;
        free(entry->key);
        free(entry->value);
        free(entry);
        entry = next;
    }
}
