// Archives written byte by byte for the tool tests: a header with `count` files, the index
// entries as given (the final entry included, or left out to make a broken archive), then the
// data.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "resfs/archive_format.h"

std::string RawArchiveBytes(uint32_t count, const std::vector<ArchiveIndexEntry>& entries,
                            const std::string& data);
