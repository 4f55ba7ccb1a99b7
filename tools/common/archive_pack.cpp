// Packing an archive from files and folders (see archive_pack.h). The index is keyed exactly as
// the launcher keys a directory mount (lower-cased code page 932 name, CRC-32; names in UTF-8 are
// converted first, see cp932_names.h), folders are walked with the launcher's exclusions unless
// every file is asked for, and the archive appears under its name only once it is complete. A name
// that cannot be keyed stops the pack before anything is written.
//
// Layout written: header (N, and two words of 0), N searchable entries sorted by unsigned hash,
// one final entry {0xFFFFFFFF, end of data}, then the files' data in index order, each file
// starting where the previous one ends.
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tools/common/archive_pack.h"

#include "resfs/archive_format.h"
#include "resfs/cp932_lower.h"
#include "resfs/mount_rules.h"
#include "tools/common/tool_files.h"
#include "tools/common/tool_output.h"

namespace {

struct PackItem {
    std::string path;  // as given or found, for reading and for messages
    uint32_t nameHash;
    uint64_t size;
    uint32_t offset;
};

struct PackState {
    std::string outPath;
    NameMode names;
    std::vector<PackItem> items;
    bool failed;
    bool all;               // --all: keep what the launcher's folder rules leave out
    bool verbose;           // -v: name each file and folder left out
    unsigned filesLeftOut;  // by the launcher's rules for a folder mount
    unsigned foldersLeftOut;
};

const int kMaxFolderDepth = 64;  // deeper than any media tree; stops loops through links

std::string LowerCopy(const char* text) {
    std::string copy = text;
    LowerCp932(&copy[0]);
    return copy;
}

// Adds a file whose code page 932 name is `cp932`.
void AddFile(PackState* state, const std::string& path, const std::string& cp932, uint64_t size) {
    if (IsSameFile(path, state->outPath)) {
        PrintError("skipping %s: it is the archive being written", path.c_str());
        return;
    }
    state->items.push_back({path, ComputeLowerNameHash(cp932.c_str()), size, 0});
}

// A file met in a folder: keyed, left out as the launcher leaves it out, or refused when its
// name cannot be keyed. A name without a code page 932 form is no trouble when its extension
// would leave it out anyway (the launcher's folder scan would not take it either).
void AddFolderFile(PackState* state, const std::string& path, const std::string& name,
                   uint64_t size) {
    std::string cp932, error;
    bool keyed = ConvertNameToCp932(name, state->names, &cp932, &error);
    // A name without a code page 932 form is judged by its platform text's extension.
    const char* dot = keyed ? FindNameExtension(cp932.c_str()) : strrchr(name.c_str(), '.');
    if (keyed && (state->all || IsIndexedFileName(cp932.c_str()))) {
        AddFile(state, path, cp932, size);
    } else if (!keyed && (state->all || !dot || IsIndexedFileName(dot))) {
        PrintError("%s: %s", path.c_str(), error.c_str());
        state->failed = true;
    } else {
        state->filesLeftOut++;
        if (state->verbose)
            PrintOut("left out %s: the launcher does not read %s files from a folder\n",
                     path.c_str(), dot ? LowerCopy(dot).c_str() : "such");
    }
}

// A file given by name: always packed, under the name's final component.
void AddGivenFile(PackState* state, const std::string& path, uint64_t size) {
    std::string cp932, error;
    if (ConvertNameToCp932(PathFinalName(path), state->names, &cp932, &error)) {
        AddFile(state, path, cp932, size);
    } else {
        PrintError("%s: %s", path.c_str(), error.c_str());
        state->failed = true;
    }
}

void AddFolder(PackState* state, const std::string& dir, int depth) {
    if (depth > kMaxFolderDepth) {
        PrintError("%s: folders nested more than %d deep (a link loop?)", dir.c_str(),
                   kMaxFolderDepth);
        state->failed = true;
        return;
    }
    std::vector<DirEntry> entries;
    std::string error;
    if (!ListDirectory(dir, &entries, &error)) {
        PrintError("cannot list folder %s: %s", dir.c_str(), error.c_str());
        state->failed = true;
        return;
    }
    for (const DirEntry& entry : entries) {
        const std::string& name = entry.name;
        std::string path = JoinPath(dir, name);
        if (entry.kind == kPathDirectory) {
            if (state->all || IsScannedFolderName(name.c_str())) {
                AddFolder(state, path, depth + 1);
            } else {
                state->foldersLeftOut++;
                if (state->verbose)
                    PrintOut("left out %s: the launcher does not read folders named so\n",
                             path.c_str());
            }
        } else if (entry.kind == kPathFile) {
            AddFolderFile(state, path, name, entry.size);
        } else if (entry.kind == kPathOther) {
            PrintError("skipping %s: not a file or folder", path.c_str());
        } else {
            PrintError("cannot read %s", path.c_str());
            state->failed = true;
        }
    }
}

// Sorts by hash (equal hashes in the order found) and reports every pair that shares one.
bool CheckCollisions(std::vector<PackItem>* items) {
    std::stable_sort(items->begin(), items->end(),
                     [](const PackItem& a, const PackItem& b) { return a.nameHash < b.nameHash; });
    bool ok = true;
    for (size_t i = 0; i < items->size(); i++) {
        const PackItem& a = (*items)[i];
        for (size_t j = i + 1; j < items->size() && (*items)[j].nameHash == a.nameHash; j++) {
            const PackItem& b = (*items)[j];
            if (a.path == b.path)
                PrintError("%s is given twice", a.path.c_str());
            else
                PrintError(
                    "%s and %s have the same name hash %08x; the launcher could find "
                    "only one",
                    a.path.c_str(), b.path.c_str(), (unsigned)a.nameHash);
            ok = false;
        }
    }
    return ok;
}

// Gives each item its offset; false when the archive would reach past what a seek can reach.
bool AssignOffsets(std::vector<PackItem>* items, uint32_t* endOfData) {
    uint32_t indexBytes;
    if (items->size() > UINT32_MAX ||
        !ComputeArchiveIndexSize((uint32_t)items->size(), &indexBytes)) {
        PrintError("too many files");
        return false;
    }
    uint64_t pos = (uint64_t)kArchiveHeaderSize + indexBytes;
    for (PackItem& item : *items) {
        if (pos > kArchiveMaxOffset) break;
        item.offset = (uint32_t)pos;
        pos += item.size;
    }
    if (pos > kArchiveMaxOffset) {
        PrintError(
            "the archive would be larger than %u bytes; the launcher seeks to signed "
            "32-bit offsets",
            (unsigned)kArchiveMaxOffset);
        return false;
    }
    *endOfData = (uint32_t)pos;
    return true;
}

void PutU32(uint8_t* out, uint32_t v) {
    out[0] = (uint8_t)v;
    out[1] = (uint8_t)(v >> 8);
    out[2] = (uint8_t)(v >> 16);
    out[3] = (uint8_t)(v >> 24);
}

bool WriteHeaderAndIndex(FILE* out, const std::vector<PackItem>& items, uint32_t endOfData) {
    uint8_t header[kArchiveHeaderSize] = {};
    memcpy(header, kArchiveMagic, kArchiveMagicSize);
    PutU32(header + 16, (uint32_t)items.size());
    if (fwrite(header, 1, sizeof header, out) != sizeof header) return false;
    std::vector<uint8_t> index((items.size() + 1) * kArchiveEntrySize);
    for (size_t i = 0; i < items.size(); i++) {
        PutU32(&index[i * 8], items[i].nameHash);
        PutU32(&index[i * 8 + 4], items[i].offset);
    }
    PutU32(&index[items.size() * 8], kEndOfDataHash);
    PutU32(&index[items.size() * 8 + 4], endOfData);
    return fwrite(index.data(), 1, index.size(), out) == index.size();
}

// Copies one file's data; it must still have the size it had when the inputs were listed.
bool CopyData(FILE* out, const PackItem& item) {
    FILE* in = OpenFile(item.path, "rb");
    if (!in) {
        PrintError("cannot open %s", item.path.c_str());
        return false;
    }
    static char buffer[1 << 16];
    uint64_t copied = 0;
    size_t n;
    bool ok = true;
    while ((n = fread(buffer, 1, sizeof buffer, in)) > 0) {
        copied += n;
        if (copied > item.size) break;
        if (fwrite(buffer, 1, n, out) != n) {
            PrintError("cannot write the archive");
            ok = false;
            break;
        }
    }
    if (ok && ferror(in)) {
        PrintError("cannot read %s", item.path.c_str());
        ok = false;
    } else if (ok && copied != item.size) {
        PrintError("%s changed its size while being packed", item.path.c_str());
        ok = false;
    }
    fclose(in);
    return ok;
}

bool WriteArchive(const std::string& tempPath, const std::vector<PackItem>& items,
                  uint32_t endOfData) {
    FILE* out = OpenFile(tempPath, "wb");
    if (!out) {
        PrintError("cannot create %s", tempPath.c_str());
        return false;
    }
    bool ok = WriteHeaderAndIndex(out, items, endOfData);
    if (!ok) PrintError("cannot write %s", tempPath.c_str());
    for (size_t i = 0; ok && i < items.size(); i++) ok = CopyData(out, items[i]);
    if (fflush(out) != 0 || ferror(out)) {
        if (ok) PrintError("cannot write %s", tempPath.c_str());
        ok = false;
    }
    if (fclose(out) != 0 && ok) {
        PrintError("cannot write %s", tempPath.c_str());
        ok = false;
    }
    return ok;
}

}  // namespace

bool PackArchive(const std::string& outPath, const std::vector<std::string>& inputs,
                 const PackOptions& options, PackResult* result) {
    *result = {0, 0, 0, 0};
    PackState state = {outPath, options.names, {}, false, options.all, options.verbose, 0, 0};
    for (const std::string& input : inputs) {
        uint64_t size = 0;
        switch (GetPathKind(input, &size)) {
            case kPathFile:
                AddGivenFile(&state, input, size);
                break;
            case kPathDirectory:
                AddFolder(&state, input, 0);
                break;
            case kPathOther:
                PrintError("%s is not a file or folder", input.c_str());
                state.failed = true;
                break;
            case kPathMissing:
                PrintError("cannot read %s", input.c_str());
                state.failed = true;
                break;
        }
    }
    if (state.failed) return false;
    uint32_t endOfData = 0;
    if (!CheckCollisions(&state.items) || !AssignOffsets(&state.items, &endOfData)) return false;

    std::string tempPath = state.outPath + "." + std::to_string(CurrentProcessNumber()) + ".tmp";
    std::string error;
    if (!WriteArchive(tempPath, state.items, endOfData)) {
        RemoveFile(tempPath);
        return false;
    }
    if (!ReplaceFileWith(tempPath, state.outPath, &error)) {
        PrintError("cannot rename %s to %s: %s", tempPath.c_str(), state.outPath.c_str(),
                   error.c_str());
        RemoveFile(tempPath);
        return false;
    }
    *result = {(unsigned)state.items.size(), endOfData, state.filesLeftOut, state.foldersLeftOut};
    return true;
}
