// A media folder listed as the launcher sees it (see media_listing.h).
#include "tools/media/media_listing.h"

#include "resfs/cp932_lower.h"
#include "tools/common/cp932_names.h"

bool ListMediaFolder(const std::string& dir, std::vector<MediaEntry>* entries, std::string* error) {
    std::vector<DirEntry> listing;
    entries->clear();
    if (!ListDirectory(dir, &listing, error)) return false;
    for (const DirEntry& e : listing) {
        MediaEntry entry = {e.name, "", false, e.kind, e.size};
        entry.hasCp932 = ListedNameToCp932(e.name, &entry.cp932);
        entries->push_back(entry);
    }
    return true;
}

const MediaEntry* FindMediaEntry(const std::vector<MediaEntry>& entries, const std::string& name) {
    std::string wanted = LowerCp932Copy(name);
    for (const MediaEntry& entry : entries) {
        if (entry.hasCp932 && LowerCp932Copy(entry.cp932) == wanted) return &entry;
    }
    return nullptr;
}

// The parts of a code page 932 name between its backslashes (a trail byte 0x5C is no separator).
static std::vector<std::string> SplitName(const std::string& name) {
    std::vector<std::string> parts;
    const char* start = name.c_str();
    for (const char* separator; (separator = FindCp932Separator(start, "\\")) != nullptr;
         start = separator + 1)
        parts.emplace_back(start, separator);
    parts.emplace_back(start);
    return parts;
}

bool FindMediaFileIn(const std::string& folder, const std::vector<MediaEntry>& entries,
                     const std::string& name, MediaFile* file) {
    std::vector<std::string> parts = SplitName(name);
    std::string path = folder;
    std::vector<MediaEntry> listing = entries;
    for (size_t i = 0; i < parts.size(); i++) {
        const MediaEntry* entry = FindMediaEntry(listing, parts[i]);
        if (!entry) return false;
        path = JoinPath(path, entry->name);
        bool last = i + 1 == parts.size();
        if (last) {
            if (entry->kind != kPathFile) return false;
            *file = {path, entry->size};
            return true;
        }
        std::string error;
        if (entry->kind != kPathDirectory || !ListMediaFolder(path, &listing, &error)) return false;
    }
    return false;
}
