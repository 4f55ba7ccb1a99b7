// The portable path limit is the platform's: what the launcher's fixed buffers and the media
// tools' length checks assume is what Windows allows.
#include <windows.h>

#include "resfs/path_limit.h"

#include <gtest/gtest.h>

#include <string>

TEST(PathLimit, IsThePlatformsMaxPath) {
    EXPECT_EQ((int)kPathBytes, MAX_PATH);
}

// The longest full path the platform hands back fits a buffer of kPathBytes; one byte more does
// not.
TEST(PathLimit, FullPathsFitTheBuffer) {
    struct Case {
        const char* name;
        size_t length;  // of the whole path, "C:\" included
        bool fits;
    };
    const Case kCases[] = {
        {"a short path", 10, true},
        {"the longest path", kPathBytes - 1, true},
        {"one byte too long", kPathBytes, false},
    };
    for (const Case& c : kCases) {
        std::string path = "C:\\" + std::string(c.length - 3, 'a');
        char full[kPathBytes];
        DWORD n = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
        EXPECT_EQ(n > 0 && n < sizeof full, c.fits) << c.name << ": " << n;
    }
}
