// A media folder's layout as the launcher reads it: its listing, the mounts "update" and
// "fastdata" (an archive NAME.arc or a folder tree NAME, by the launcher's mount rules), and where
// a resource file such as vorlin.env or update.rct is found, with the bytes that are its own.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "resfs/archive_format.h"
#include "tools/media/media_listing.h"

struct IndexedFile {
    uint32_t nameHash;
    std::string lowerName;  // code page 932, lower-cased
    std::string path;       // platform path
};

struct MediaMount {
    std::string name;  // "update" or "fastdata"
    bool archive;      // NAME.arc loaded as an archive; otherwise a folder tree
    std::string path;  // the archive, or the folder
    uint64_t archiveSize;
    uint32_t entryCount;
    std::vector<ArchiveIndexEntry> index;  // entryCount + 1 entries
    std::vector<uint64_t> memberEnds;      // where each entry's data ends (archive_members.h)
    std::vector<IndexedFile> files;        // folder mounts, in scan order
};

struct MediaLayout {
    std::string folder;               // the media folder, platform path
    std::vector<MediaEntry> entries;  // its listing
    std::vector<MediaMount> mounts;   // in registration order; absent ones are left out
};

// Lists the media folder and resolves its mounts. False with *error set when the folder cannot
// be listed.
bool LoadMediaLayout(const std::string& folder, MediaLayout* layout, std::string* error);

// Resolves a media-relative code page 932 name with backslashes ("help\index.htm") to a file.
bool FindMediaFile(const MediaLayout& layout, const std::string& name, MediaFile* file);

// Where a resource name without a folder is opened: the media folder, then the mounts.
struct ResourceLocation {
    bool found;
    std::string path;  // the file (for an archive entry: the archive)
    uint64_t offset;   // where the data starts; the launcher reads on to the end of the file
    uint64_t fileSize;
    uint64_t size;      // the resource's own bytes (an archive member ends where the next begins)
    std::string where;  // "the media folder", "update.arc", "the update folder (update/x)"
};
ResourceLocation LocateResource(const MediaLayout& layout, const std::string& name);
// The same, in the mounts only.
ResourceLocation LocateMountedResource(const MediaLayout& layout, const std::string& name);
