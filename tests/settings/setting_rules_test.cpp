// The keys of the settings file, their defaults, and the update title composed from them. Code
// page 932 texts are written as bytes, since this test is also built where literals stay UTF-8.
#include "settings/setting_rules.h"

#include <gtest/gtest.h>

#include <string.h>

#include <string>

TEST(SettingRules, KeysAndDefaults) {
    struct Case {
        const char* key;
        const char* defaultText;
    };
    const Case cases[] = {
        // ＶＯＲＬＩＮ アプリケーション
        {"TITLEBAR",
         "\x82\x75\x82\x6E\x82\x71\x82\x6B\x82\x68\x82\x6D \x83\x41\x83\x76\x83\x8A"
         "\x83\x50\x81\x5B\x83\x56\x83\x87\x83\x93"},
        {"VERSION", "Version 1.01"},
        {"EXENAME", "vorlin.exe"},
        {"INSTTO", "VORLIN_APP"},
        {"INSTFOL", ""},
        {"REG_GLOBAL", "VORLIN_SYSTEM"},
        {"REG_LOCAL", "VORLIN_RUNTIME"},
        {"UPDATEREADME", "update.txt"},
        {"UPDATENEEDINSTALL", "1"},
    };
    EXPECT_EQ(kSettingRuleCount, sizeof cases / sizeof cases[0]);
    for (const Case& c : cases) {
        ASSERT_NE(FindSettingRule(c.key), nullptr) << c.key;
        EXPECT_STREQ(GetSettingDefault(c.key), c.defaultText) << c.key;
    }
    // Keys are compared exactly, as the launcher compares them.
    EXPECT_EQ(FindSettingRule("titlebar"), nullptr);
    EXPECT_EQ(FindSettingRule("TITLEBAR "), nullptr);
    EXPECT_STREQ(GetSettingDefault("TITLE_BAR"), "");
}

TEST(SettingRules, UpdateTitle) {
    char title[kUpdateTitleBytes + 1];
    ComposeUpdateTitle("Demo", "Ver.2", title);
    EXPECT_STREQ(title, "Demo \x83\x41\x83\x62\x83\x76\x83\x66\x81\x5B\x83\x67 Ver.2");

    // 127-byte values: the title is cut at 255 bytes, or at 254 where 255 would split a character.
    std::string titlebar = "a";
    for (int i = 0; i < 63; i++) titlebar += "\x82\xA0";
    std::string even, odd = "b";
    for (int i = 0; i < 63; i++) even += "\x82\xA0";
    even += "b";
    for (int i = 0; i < 63; i++) odd += "\x82\xA0";
    ComposeUpdateTitle(titlebar.c_str(), even.c_str(), title);
    EXPECT_EQ(strlen(title), 255u);
    ComposeUpdateTitle(titlebar.c_str(), odd.c_str(), title);
    EXPECT_EQ(strlen(title), 254u);
}
