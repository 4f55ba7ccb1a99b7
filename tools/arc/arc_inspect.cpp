// `list` and `verify`: reading an archive's header and index back. `list` reads through the same
// loader the launcher uses (arc_read.h); `verify` reads the fields itself so that it can say what
// is wrong (arc_verify.h, shared with vorlin-media).
#include <stdio.h>

#include <string>
#include <vector>

#include "resfs/archive_format.h"
#include "resfs/cp932_lower.h"
#include "tools/common/tool_files.h"
#include "tools/common/tool_output.h"
#include "tools/arc/arc_read.h"
#include "tools/arc/arc_tool.h"
#include "resfs/archive_verify.h"

int RunList(int argc, char** argv) {
    CommandOptions options;
    if (!ParseCommandOptions("list", argc, argv, kOptionNames, &options)) return kExitUsage;
    if (options.operands.empty()) {
        PrintError("list: give the archive to list");
        return kExitUsage;
    }
    const char* path = options.operands[0];
    LoadedArchive archive;
    if (!OpenArchive(path, &archive)) return kExitFailed;
    uint32_t count = archive.header.entryCount;
    std::vector<uint64_t> sizes = ComputeEntrySizes(archive);

    // The names given, beside the hashes they have.
    int status = kExitOk;
    std::vector<const char*> shownNames;
    std::vector<uint32_t> shownKeys;
    for (size_t n = 1; n < options.operands.size(); n++) {
        const char* name = options.operands[n];
        std::string cp932, error;
        if (!ConvertNameToCp932(name, options.names, &cp932, &error)) {
            PrintError("%s: %s", name, error.c_str());
            status = kExitFailed;
            continue;
        }
        uint32_t key = ComputeLookupKey(cp932.c_str());
        int32_t offset;
        if (!LookupArchiveOffset(archive.index, count, key, &offset)) {
            PrintError("%s (hash %08x) is not found in %s", name, (unsigned)key, path);
            status = kExitFailed;
            continue;
        }
        shownNames.push_back(name);
        shownKeys.push_back(key);
    }
    PrintOut("%-8s  %10s  %10s  %s\n", "hash", "offset", "size", "name");
    for (uint32_t i = 0; i < count; i++) {
        const ArchiveIndexEntry& e = archive.index[i];
        std::string shown;
        for (size_t n = 0; n < shownKeys.size(); n++) {
            if (shownKeys[n] != e.nameHash) continue;
            if (!shown.empty()) shown += ", ";
            shown += shownNames[n];
        }
        if (sizes[i] == kSizePastEnd || sizes[i] == kSizeCutShort)
            PrintOut("%08x  %10u  %10s  %s\n", (unsigned)e.nameHash, (unsigned)e.offset,
                     sizes[i] == kSizePastEnd ? "past end" : "cut short", shown.c_str());
        else
            PrintOut("%08x  %10u  %10llu  %s\n", (unsigned)e.nameHash, (unsigned)e.offset,
                     (unsigned long long)sizes[i], shown.c_str());
    }
    PrintOut("%u files; final entry: hash %08x, offset %u\n", (unsigned)count,
             (unsigned)archive.index[count].nameHash, (unsigned)archive.index[count].offset);
    ReleaseArchiveIndex(archive.index);
    return status;
}

int RunVerify(int argc, char** argv) {
    if (argc != 1) {
        PrintError("verify: give exactly one archive");
        return kExitUsage;
    }
    const char* path = argv[0];
    uint64_t fileSize = 0;
    FILE* file = GetPathKind(path, &fileSize) == kPathFile ? OpenFile(path, "rb") : nullptr;
    if (!file) {
        PrintError("cannot read %s", path);
        return kExitFailed;
    }
    std::vector<std::string> problems;
    uint32_t entryCount;
    VerifyArchiveFile(file, fileSize, &problems, &entryCount);
    fclose(file);
    std::string name = path;
    for (const std::string& problem : problems)
        WriteText(stderr, name + ": error: " + problem + "\n");
    if (!problems.empty()) {
        WriteText(stderr, name + ": " + std::to_string(problems.size()) +
                              (problems.size() == 1 ? " problem\n" : " problems\n"));
        return kExitFailed;
    }
    PrintOut("%s: good, %u files\n", path, (unsigned)entryCount);
    return kExitOk;
}
