// A media folder listed as the launcher sees it: each entry with its code page 932 name, found by
// a name compared as the platform the launcher runs on compares names (case-insensitively,
// lower-cased as code page 932 text), and media-relative names with backslashes resolved to files.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "tools/common/tool_files.h"

// One entry of a media folder's listing.
struct MediaEntry {
    std::string name;   // platform text, for paths and messages
    std::string cp932;  // the name as the launcher sees it (valid only when hasCp932)
    bool hasCp932;      // false: no code page 932 form (the launcher cannot open the file)
    PathKind kind;
    uint64_t size;  // for files
};

// The entries of a folder without "." and "..", in byte order of their platform names, each with
// its code page 932 name. False with *error set when the folder cannot be listed.
bool ListMediaFolder(const std::string& dir, std::vector<MediaEntry>* entries, std::string* error);

// The entry of `entries` whose code page 932 name equals `name` case-insensitively, or null.
const MediaEntry* FindMediaEntry(const std::vector<MediaEntry>& entries, const std::string& name);

// A file of the media found under a code page 932 name.
struct MediaFile {
    std::string path;  // platform path
    uint64_t size;
};

// Resolves a code page 932 name with backslashes ("help\index.htm") relative to `folder`, whose
// listing is `entries`, to a file.
bool FindMediaFileIn(const std::string& folder, const std::vector<MediaEntry>& entries,
                     const std::string& name, MediaFile* file);
