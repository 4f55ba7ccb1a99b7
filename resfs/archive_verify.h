// The full check of an archive, as `vorlin-arc verify` and `vorlin-media check` make it: its
// header and index read field by field, so that each problem can be named (magic, index length,
// order, duplicate hashes, offsets a seek cannot reach or that point outside the data, an archive
// cut short or with bytes after its data).
#pragma once

#include <stdint.h>
#include <stdio.h>

#include <string>
#include <vector>

// Reads the archive from `file` (positioned at its start, `fileSize` bytes long) and checks it.
// Each problem found is appended to *problems as one line of text without the file's name.
// Returns true when there is none; *entryCount gets the header's N when the header could be
// read (0 otherwise).
bool VerifyArchiveFile(FILE* file, uint64_t fileSize, std::vector<std::string>* problems,
                       uint32_t* entryCount);
