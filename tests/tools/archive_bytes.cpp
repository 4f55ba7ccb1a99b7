// Archives written byte by byte (see archive_bytes.h).
#include "tests/tools/archive_bytes.h"

static void PutU32(std::string* out, uint32_t value) {
    for (int i = 0; i < 4; i++) out->push_back((char)(value >> (8 * i)));
}

std::string RawArchiveBytes(uint32_t count, const std::vector<ArchiveIndexEntry>& entries,
                            const std::string& data) {
    std::string out((const char*)kArchiveMagic, kArchiveMagicSize);
    PutU32(&out, count);
    PutU32(&out, 0);
    PutU32(&out, 0);
    for (const ArchiveIndexEntry& e : entries) {
        PutU32(&out, e.nameHash);
        PutU32(&out, e.offset);
    }
    return out + data;
}
