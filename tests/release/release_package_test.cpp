// Checks of an unpacked release package that need Windows itself (run under Wine by
// tests/release/package_test.sh, which unpacks the package and says where things are):
//   VORLIN_PACKAGED_LAUNCHER      the packaged update.exe (a Linux path)
//   VORLIN_PACKAGED_MEDIA         the packaged demo media, where the demo game counts as installed
//   VORLIN_PACKAGED_PROGRAMS      the packaged Windows programs, separated by ';', update.exe first
//   VORLIN_EXPECTED_VERSION       their version text ("1.0.0+g0123456789ab")
//   VORLIN_EXPECTED_FILE_VERSION  the four numbers of their VERSIONINFO ("1.0.0.42")
// The packaged programs are 32-bit; they are only read here, never run, so these checks hold in a
// 64-bit test process too (where the launcher that opens its menu is the same commit's 64-bit one).
#include <gtest/gtest.h>
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "tests/support/win_support.h"

namespace {

enum { kExitButton = 1000, kReadmeButton = 1001, kUpdateButton = 1002 };

std::string Setting(const char* name) {
    const char* value = getenv(name);
    return value ? value : "";
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(separator, start);
        if (end == std::string::npos) end = text.size();
        if (end > start) parts.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

std::string BaseName(const std::string& path) { return path.substr(path.find_last_of("/\\") + 1); }

// A program's VERSIONINFO as the system's version functions report it.
struct VersionInfo {
    bool found = false;
    VS_FIXEDFILEINFO fixed = {};
    WORD language = 0, codePage = 0;
    std::vector<char> block;

    std::string String(const char* name) const {
        char path[128];
        snprintf(path, sizeof path, "\\StringFileInfo\\%04x%04x\\%s", language, codePage, name);
        char* value = nullptr;
        UINT length = 0;
        if (!VerQueryValueA(block.data(), path, (void**)&value, &length) || !value) return "<none>";
        return std::string(value, length > 0 ? length - 1 : 0);
    }
};

VersionInfo ReadVersionInfo(const std::string& file) {
    VersionInfo info;
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeA(file.c_str(), &handle);
    if (size == 0) return info;
    info.block.resize(size);
    if (!GetFileVersionInfoA(file.c_str(), 0, size, info.block.data())) return info;
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(info.block.data(), "\\", (void**)&fixed, &length) || length < sizeof *fixed) {
        return info;
    }
    info.fixed = *fixed;
    WORD* translation = nullptr;
    if (VerQueryValueA(info.block.data(), "\\VarFileInfo\\Translation", (void**)&translation,
                       &length) && length >= 4) {
        info.language = translation[0];
        info.codePage = translation[1];
    }
    info.found = true;
    return info;
}

TEST(PackagedLauncher, OpensItsMenuOnTheDemoMediaAndCloses) {
    std::string launcher = Setting("VORLIN_PACKAGED_LAUNCHER");
    std::string media = Setting("VORLIN_PACKAGED_MEDIA");
    ASSERT_FALSE(launcher.empty() || media.empty()) << "run by tests/release/package_test.sh";

    Child child = StartChild("\"" + WindowsPath(launcher) + "\"", WindowsPath(media));
    ASSERT_NE(child.process, nullptr);
    WindowSeen seen;
    // The first window of a fresh Wine process on a loaded machine can take a while.
    ASSERT_TRUE(WaitForDialog(child.id, nullptr, &seen, 60000)) << "no window of the launcher";
    EXPECT_NE(seen.caption.find("アップデート"), std::string::npos) << seen.caption;
    // The menu, not a refusal box: its three buttons with their texts.
    ASSERT_TRUE(seen.HasButton(kExitButton) && seen.HasButton(kReadmeButton) &&
                seen.HasButton(kUpdateButton))
        << "not the menu: \"" << seen.caption << "\" " << seen.text;
    std::string update = DialogItemText(seen.window, kUpdateButton);
    EXPECT_TRUE(update == "アップデート" || update == "再アップデート") << update;
    EXPECT_EQ(DialogItemText(seen.window, kReadmeButton), "readme");
    EXPECT_EQ(DialogItemText(seen.window, kExitButton), "終了");

    PostMessageA(seen.window, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitChild(&child, 30000), 0u) << "the launcher did not end with 0 after its menu";
}

TEST(PackagedPrograms, CarryTheVersionInVersionInfo) {
    std::vector<std::string> programs = Split(Setting("VORLIN_PACKAGED_PROGRAMS"), ';');
    std::string expected = Setting("VORLIN_EXPECTED_VERSION");
    std::vector<std::string> numbers = Split(Setting("VORLIN_EXPECTED_FILE_VERSION"), '.');
    ASSERT_FALSE(programs.empty() || expected.empty()) << "run by tests/release/package_test.sh";
    ASSERT_EQ(numbers.size(), 4u);
    DWORD high = (DWORD)atoi(numbers[0].c_str()) << 16 | (DWORD)atoi(numbers[1].c_str());
    DWORD low = (DWORD)atoi(numbers[2].c_str()) << 16 | (DWORD)atoi(numbers[3].c_str());
    std::string fileVersion = Setting("VORLIN_EXPECTED_FILE_VERSION");

    for (const std::string& program : programs) {
        SCOPED_TRACE(program);
        VersionInfo info = ReadVersionInfo(WindowsPath(program));
        ASSERT_TRUE(info.found) << "no VERSIONINFO";
        EXPECT_EQ(info.fixed.dwSignature, 0xFEEF04BDu);
        EXPECT_EQ(info.fixed.dwFileVersionMS, high);
        EXPECT_EQ(info.fixed.dwFileVersionLS, low);
        EXPECT_EQ(info.fixed.dwProductVersionMS, high);
        EXPECT_EQ(info.fixed.dwProductVersionLS, low);
        EXPECT_EQ(info.fixed.dwFileType, (DWORD)VFT_APP);
        EXPECT_EQ(info.language, 0x0411) << "Japanese";
        EXPECT_EQ(info.codePage, 1200) << "Unicode text";
        EXPECT_EQ(info.String("ProductVersion"), expected);
        EXPECT_EQ(info.String("FileVersion"), fileVersion);
        EXPECT_EQ(info.String("CompanyName"), "VORLIN update launcher project");
        EXPECT_EQ(info.String("ProductName"), "VORLIN update launcher");
        EXPECT_EQ(info.String("OriginalFilename"), BaseName(program));
        std::string description = info.String("FileDescription");
        EXPECT_TRUE(description != "<none>" && !description.empty()) << description;
    }
}

// The headers players' Windows reads before running a program: PE32 for i386, the launcher a GUI
// program, the tools console programs.
struct PeHeader {
    bool valid = false;
    WORD machine = 0, magic = 0, subsystem = 0;
};

PeHeader ReadPeHeader(const std::string& file) {
    PeHeader header;
    FILE* f = fopen(file.c_str(), "rb");
    if (!f) return header;
    unsigned char bytes[4096] = {};
    size_t got = fread(bytes, 1, sizeof bytes, f);
    fclose(f);
    auto u16 = [&](size_t at) { return (WORD)(bytes[at] | bytes[at + 1] << 8); };
    auto u32 = [&](size_t at) {
        return (DWORD)bytes[at] | (DWORD)bytes[at + 1] << 8 | (DWORD)bytes[at + 2] << 16 |
               (DWORD)bytes[at + 3] << 24;
    };
    if (got < 64 || bytes[0] != 'M' || bytes[1] != 'Z') return header;
    DWORD pe = u32(0x3C);
    // Signature (4), file header (20), then the optional header's magic and, at 68, its subsystem.
    if (pe > got || got - pe < 24 + 70 || memcmp(bytes + pe, "PE\0\0", 4) != 0) return header;
    header.machine = u16(pe + 4);
    header.magic = u16(pe + 24);
    header.subsystem = u16(pe + 24 + 68);
    header.valid = true;
    return header;
}

TEST(PackagedPrograms, AreThirtyTwoBitProgramsForI386) {
    std::vector<std::string> programs = Split(Setting("VORLIN_PACKAGED_PROGRAMS"), ';');
    ASSERT_FALSE(programs.empty()) << "run by tests/release/package_test.sh";
    for (size_t i = 0; i < programs.size(); ++i) {
        SCOPED_TRACE(programs[i]);
        PeHeader header = ReadPeHeader(WindowsPath(programs[i]));
        ASSERT_TRUE(header.valid) << "not a Windows program";
        EXPECT_EQ(header.machine, IMAGE_FILE_MACHINE_I386);
        EXPECT_EQ(header.magic, IMAGE_NT_OPTIONAL_HDR32_MAGIC) << "PE32";
        EXPECT_EQ(header.subsystem, i == 0 ? IMAGE_SUBSYSTEM_WINDOWS_GUI : IMAGE_SUBSYSTEM_WINDOWS_CUI);
    }
}

TEST(PackagedLauncher, CarriesItsManifestForX86) {
    std::vector<std::string> programs = Split(Setting("VORLIN_PACKAGED_PROGRAMS"), ';');
    ASSERT_FALSE(programs.empty()) << "run by tests/release/package_test.sh";
    HMODULE module = LoadLibraryExA(WindowsPath(programs[0]).c_str(), NULL,
                                    LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(module, nullptr) << GetLastError();
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));  // RT_MANIFEST
    ASSERT_NE(found, nullptr) << "no manifest";
    const char* text = (const char*)LockResource(LoadResource(module, found));
    std::string manifest(text ? text : "", text ? SizeofResource(module, found) : 0);
    FreeLibrary(module);
    EXPECT_NE(manifest.find("Microsoft.Windows.Common-Controls"), std::string::npos) << manifest;
    EXPECT_NE(manifest.find("processorArchitecture=\"x86\""), std::string::npos) << manifest;
    EXPECT_EQ(manifest.find("amd64"), std::string::npos) << manifest;
}

}  // namespace
