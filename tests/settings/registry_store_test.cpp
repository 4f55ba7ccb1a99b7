// The per-user registry store against the real registry of the Wine prefix. Every test works
// under a key of its own and removes it afterwards.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "settings/registry_store.h"

namespace {

class Registry : public ::testing::Test {
protected:
    std::string first, second;

    void SetUp() override {
        first = "VorlinTest" + std::to_string(GetCurrentProcessId());
        second = "Runtime";
        RegDeleteTreeA(HKEY_CURRENT_USER, ("Software\\" + first).c_str());
    }
    void TearDown() override { RegDeleteTreeA(HKEY_CURRENT_USER, ("Software\\" + first).c_str()); }

    std::string Path() const { return "Software\\" + first + "\\" + second; }
    void Store(const char* name, DWORD type, const void* data, DWORD size) {
        HKEY key;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, Path().c_str(), 0, NULL, 0, KEY_ALL_ACCESS,
                                  NULL, &key, NULL),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExA(key, name, 0, type, (const BYTE*)data, size), ERROR_SUCCESS);
        RegCloseKey(key);
    }
    void StoreText(const char* name, const std::string& text) {
        Store(name, REG_SZ, text.c_str(), (DWORD)text.size() + 1);
    }
    int ReadInt(const char* name, int defaultValue) {
        return ReadRegistryInt(first.c_str(), second.c_str(), name, defaultValue);
    }
};

TEST_F(Registry, KeyPath) {
    char path[512];
    EXPECT_STREQ(FormatSettingsKeyPath(path, "VORLIN_SYSTEM", "VORLIN_RUNTIME"),
                 "Software\\VORLIN_SYSTEM\\VORLIN_RUNTIME");
}

TEST_F(Registry, MissingKeyOrValueGivesTheDefault) {
    EXPECT_EQ(ReadInt("IsInst", 0), 0);
    EXPECT_EQ(ReadInt("IsInst", 7), 7);
    char buffer[260];
    EXPECT_EQ(ReadRegistryString(first.c_str(), second.c_str(), "InstTo", "C:\\Default", buffer,
                                 sizeof buffer),
              -1);
    EXPECT_STREQ(buffer, "C:\\Default");
    StoreText("Other", "1");
    EXPECT_EQ(ReadRegistryString(first.c_str(), second.c_str(), "InstTo", "", buffer,
                                 sizeof buffer),
              -1);
    EXPECT_STREQ(buffer, "");
}

TEST_F(Registry, WriteCreatesBothKeyLevelsAndStoresTwoByteText) {
    EXPECT_EQ(WriteRegistryInt(first.c_str(), second.c_str(), "Updated", 1), 0);
    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, Path().c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);
    DWORD type = 0, size = 0;
    char data[16];
    size = sizeof data;
    ASSERT_EQ(RegQueryValueExA(key, "Updated", NULL, &type, (BYTE*)data, &size), ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(type, (DWORD)REG_SZ);
    EXPECT_EQ(size, 2u);
    EXPECT_EQ(std::string(data, 2), std::string("1\0", 2));
    EXPECT_EQ(ReadInt("Updated", 0), 1);
    EXPECT_EQ(WriteRegistryInt(first.c_str(), second.c_str(), "Updated", -42), 0);
    EXPECT_EQ(ReadInt("Updated", 0), -42);
}

TEST_F(Registry, StoredTextsReadAsIntegers) {
    struct Case {
        const char* name;
        const char* text;
        int expected;
    };
    const Case cases[] = {
        {"one", "1", 1},          {"digits then letters", "12abc", 12},
        {"letters", "abc", 0},    {"empty text is 0, not the default", "", 0},
        {"leading blank", " 5", 5}, {"sign", "-3", -3},
    };
    for (const Case& c : cases) {
        StoreText("Value", c.text);
        EXPECT_EQ(ReadInt("Value", 99), c.expected) << c.name;
    }
}

TEST_F(Registry, OnlyTextValuesAreAccepted) {
    DWORD one = 1;
    Store("Updated", REG_DWORD, &one, sizeof one);
    EXPECT_EQ(ReadInt("Updated", 0), 0);
    Store("Expand", REG_EXPAND_SZ, "5", 2);
    EXPECT_EQ(ReadInt("Expand", 0), 0);
    Store("Binary", REG_BINARY, "5", 2);
    EXPECT_EQ(ReadInt("Binary", 0), 0);
}

TEST_F(Registry, TextLengthLimits) {
    struct Case {
        const char* name;
        size_t storedLength;
        int bufferSize;
        int result;
        size_t readLength;  // 0: the default
    };
    const Case cases[] = {
        {"300 characters into 260 bytes", 300, 260, 0, 259},
        {"511 characters fit the transfer", 511, 512, 0, 511},
        {"512 characters do not", 512, 512, -1, 0},
        {"600 characters do not", 600, 260, -1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string text(c.storedLength, 'p');
        StoreText("InstTo", text);
        char buffer[512];
        memset(buffer, 'x', sizeof buffer);
        EXPECT_EQ(ReadRegistryString(first.c_str(), second.c_str(), "InstTo", "dflt", buffer,
                                     c.bufferSize),
                  c.result);
        EXPECT_EQ(std::string(buffer), c.readLength ? text.substr(0, c.readLength) : "dflt");
    }
}

TEST_F(Registry, TextWithoutTerminatorIsReadUpToItsSize) {
    Store("InstTo", REG_SZ, "C:\\Game", 7);  // stored without its terminator
    char buffer[260];
    EXPECT_EQ(ReadRegistryString(first.c_str(), second.c_str(), "InstTo", "", buffer,
                                 sizeof buffer),
              0);
    EXPECT_STREQ(buffer, "C:\\Game");
}

TEST_F(Registry, ShiftJisTextRoundTrips) {
    EXPECT_EQ(WriteRegistryString(first.c_str(), second.c_str(), "InstTo",
                                  "C:\\ゲーム\\星降る丘", 1),
              0);
    char buffer[260];
    EXPECT_EQ(ReadRegistryString(first.c_str(), second.c_str(), "InstTo", "", buffer,
                                 sizeof buffer),
              0);
    EXPECT_STREQ(buffer, "C:\\ゲーム\\星降る丘");
}

}  // namespace
