// The full check of an archive on a media (resfs/archive_verify.h), as `check` and `seal` make
// it: an archive that fails it is never installed, mounted or not. Reads only the header and the
// index, so its memory does not grow with the archive.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

// Verifies the archive at the platform path `path` of `size` bytes. True when it passes; false
// with *problems (each one line of text without the file's name) when it fails or cannot be read.
bool VerifyArchivePath(const std::string& path, uint64_t size, std::vector<std::string>* problems);

// Whether the file begins with the archive header (it is meant to be an archive).
bool HasArchiveHeader(const std::string& path);
