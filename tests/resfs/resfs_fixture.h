// Shared fixture of the launcher's resource file system tests: a scratch media folder made the
// current directory, helpers to lay out trees and archives in it, and a driver that answers every
// fatal box with Retry while recording its text.
#pragma once
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/win_support.h"

struct ArchiveFile {
    std::string name;  // hashed by its lower-cased final component
    std::string data;
};

// Archive bytes: header, index sorted by unsigned hash with the closing entry, then the data.
// `offsetOverride` replaces the offset of the entry named so (for unreachable offsets).
std::string BuildArchive(const std::vector<ArchiveFile>& files, const char* overrideName = nullptr,
                         uint32_t offsetOverride = 0);

// Every test starts and ends with no mounts registered.
class MediaFolder : public ::testing::Test {
protected:
    ScratchDir media;
    InFolder inMedia{media.path};
    void SetUp() override;
    void TearDown() override;
    // Writes a file below the media folder, creating its folders ("a\\b\\c.txt").
    void Put(const std::string& relative, const std::string& data = "x");
    std::string CurrentDirectory();
};

// Runs `action` while answering each fatal box with Retry; returns the boxes' texts in order.
std::vector<std::string> RetryEveryBox(const std::function<void()>& action);

// Reads a whole stream (up to `limit` bytes) and closes it.
std::string ReadStream(FILE* file, size_t limit = 1 << 20);
