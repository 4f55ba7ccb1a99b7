// The full check of an archive on a media (see media_archive_check.h).
#include "tools/media/media_archive_check.h"

#include <stdio.h>

#include "resfs/archive_format.h"
#include "resfs/archive_verify.h"
#include "tools/common/tool_files.h"

bool VerifyArchivePath(const std::string& path, uint64_t size, std::vector<std::string>* problems) {
    problems->clear();
    FILE* file = OpenFile(path, "rb");
    if (!file) {
        problems->push_back("cannot be read");
        return false;
    }
    uint32_t count = 0;
    bool good = VerifyArchiveFile(file, size, problems, &count);
    fclose(file);
    return good;
}

bool HasArchiveHeader(const std::string& path) {
    uint8_t head[kArchiveHeaderSize];
    FILE* file = OpenFile(path, "rb");
    if (!file) return false;
    size_t n = fread(head, 1, sizeof head, file);
    fclose(file);
    return IsArchiveHeader(head, (uint32_t)n, nullptr) == 1;
}
