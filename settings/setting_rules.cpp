// The settings the launcher reads (see setting_rules.h).
#include "settings/setting_rules.h"

#include <stdio.h>
#include <string.h>

#include "resfs/cp932_lower.h"

// Texts outside ASCII are written as their code page 932 bytes: this file is also built by
// compilers that keep literals in UTF-8.
const SettingRule kSettingRules[] = {
    {"TITLEBAR",  // "ＶＯＲＬＩＮ アプリケーション"
     "\x82\x75\x82\x6E\x82\x71\x82\x6B\x82\x68\x82\x6D \x83\x41\x83\x76\x83\x8A\x83\x50\x81\x5B"
     "\x83\x56\x83\x87\x83\x93",
     kSettingText},
    {"VERSION", "Version 1.01", kSettingText},
    {"EXENAME", "vorlin.exe", kSettingName},
    {"INSTTO", "VORLIN_APP", kSettingName},
    {"INSTFOL", "", kSettingName},
    {"REG_GLOBAL", "VORLIN_SYSTEM", kSettingKeyName},
    {"REG_LOCAL", "VORLIN_RUNTIME", kSettingKeyName},
    {"UPDATEREADME", "update.txt", kSettingText},
    {"UPDATENEEDINSTALL", "1", kSettingFlag},
};
const size_t kSettingRuleCount = sizeof kSettingRules / sizeof kSettingRules[0];

const SettingRule* FindSettingRule(const char* key) {
    for (const SettingRule& rule : kSettingRules) {
        if (strcmp(rule.key, key) == 0) return &rule;
    }
    return nullptr;
}

const char* GetSettingDefault(const char* key) {
    const SettingRule* rule = FindSettingRule(key);
    return rule ? rule->defaultText : "";
}

size_t FitCp932Text(const char* text, size_t maxBytes) {
    size_t end = 0;
    while (text[end] != '\0') {
        size_t step = IsCp932LeadByte((unsigned char)text[end]) && text[end + 1] != '\0' ? 2 : 1;
        if (end + step > maxBytes) break;
        end += step;
    }
    return end;
}

void BarsToSpaces(char* value) {
    for (unsigned char* p = (unsigned char*)value; *p; p++) {
        if (IsCp932LeadByte(*p) && p[1] != '\0')
            p++;
        else if (*p == '|')
            *p = ' ';
    }
}

void ComposeUpdateTitle(const char* titlebar, const char* version,
                        char title[kUpdateTitleBytes + 1]) {
    char full[2 * (kSettingGetterBytes + 1) + 32];
    // "%s アップデート %s"
    snprintf(full, sizeof full, "%s \x83\x41\x83\x62\x83\x76\x83\x66\x81\x5B\x83\x67 %s", titlebar,
             version);
    size_t n = FitCp932Text(full, kUpdateTitleBytes);
    memcpy(title, full, n);
    title[n] = '\0';
}

// Appends as much of `part` as fits on a character boundary.
static void AppendFitting(char* text, size_t size, const char* part) {
    size_t length = strlen(text);
    size_t n = FitCp932Text(part, size - 1 - length);
    memcpy(text + length, part, n);
    text[length + n] = '\0';
}

void ComposeProposedInstallFolder(const char* driveRoot, const char* instFol, const char* instTo,
                                  char* text, size_t size) {
    text[0] = '\0';
    AppendFitting(text, size, driveRoot);
    AppendFitting(text, size, "Program Files\\");
    if (instFol && instFol[0]) {
        AppendFitting(text, size, instFol);
        AppendFitting(text, size, "\\");
    }
    AppendFitting(text, size, instTo);
}
