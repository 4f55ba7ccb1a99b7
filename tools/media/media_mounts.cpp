// A media folder's layout and where resources are found in it (see media_mounts.h).
#include "tools/media/media_mounts.h"

#include <stdio.h>

#include "resfs/archive_members.h"
#include "resfs/cp932_lower.h"
#include "resfs/mount_rules.h"
#include "resfs/name_hash.h"

enum { kMaxFolderDepth = 64 };

bool FindMediaFile(const MediaLayout& layout, const std::string& name, MediaFile* file) {
    return FindMediaFileIn(layout.folder, layout.entries, name, file);
}

static void ScanMountFolder(const std::string& dir, int depth, MediaMount* mount) {
    std::vector<MediaEntry> entries;
    std::string error;
    if (depth > kMaxFolderDepth || !ListMediaFolder(dir, &entries, &error)) return;
    for (const MediaEntry& entry : entries) {
        if (!entry.hasCp932) continue;  // the launcher's listing cannot name it
        std::string path = JoinPath(dir, entry.name);
        if (entry.kind == kPathDirectory) {
            if (IsScannedFolderName(entry.cp932.c_str())) ScanMountFolder(path, depth + 1, mount);
        } else if (entry.kind == kPathFile && IsIndexedFileName(entry.cp932.c_str())) {
            std::string lower = LowerCp932Copy(entry.cp932);
            mount->files.push_back({ComputeNameHash(lower.c_str()), lower, path});
        }
    }
}

// NAME.arc when it loads as an archive (header and whole index), else the folder NAME.
static bool ResolveMount(const MediaLayout& layout, const char* name, MediaMount* mount) {
    mount->name = name;
    mount->archive = false;
    mount->archiveSize = 0;
    mount->entryCount = 0;
    const MediaEntry* arc = FindMediaEntry(layout.entries, std::string(name) + ".arc");
    if (arc && arc->kind == kPathFile) {
        std::string path = JoinPath(layout.folder, arc->name);
        FILE* file = OpenFile(path, "rb");
        ArchiveHeader header;
        ArchiveIndexEntry* index = nullptr;
        if (file && ReadArchiveIndex(file, &header, &index) == 1) {
            mount->archive = true;
            mount->path = path;
            mount->archiveSize = arc->size;
            mount->entryCount = header.entryCount;
            mount->index.assign(index, index + header.entryCount + 1);
            mount->memberEnds = ComputeArchiveMemberEnds(index, header.entryCount, arc->size);
            ReleaseArchiveIndex(index);
        }
        if (file) fclose(file);
        if (mount->archive) return true;
    }
    const MediaEntry* folder = FindMediaEntry(layout.entries, name);
    if (!folder || folder->kind != kPathDirectory) return false;
    mount->path = JoinPath(layout.folder, folder->name);
    ScanMountFolder(mount->path, 0, mount);
    return true;
}

bool LoadMediaLayout(const std::string& folder, MediaLayout* layout, std::string* error) {
    layout->folder = folder;
    layout->mounts.clear();
    if (!ListMediaFolder(folder, &layout->entries, error)) return false;
    for (const char* name : kResourceMounts) {
        MediaMount mount;
        if (ResolveMount(*layout, name, &mount)) layout->mounts.push_back(mount);
    }
    return true;
}

ResourceLocation LocateResource(const MediaLayout& layout, const std::string& name) {
    const MediaEntry* direct = FindMediaEntry(layout.entries, name);
    if (direct && direct->kind == kPathFile) {
        return {true,
                JoinPath(layout.folder, direct->name),
                0,
                direct->size,
                direct->size,
                "the media folder"};
    }
    return LocateMountedResource(layout, name);
}

ResourceLocation LocateMountedResource(const MediaLayout& layout, const std::string& name) {
    ResourceLocation location = {false, "", 0, 0, 0, ""};
    uint32_t key = ComputeLookupKey(name.c_str());
    std::string lower = LowerCp932Copy(name);
    for (const MediaMount& mount : layout.mounts) {
        if (mount.archive) {
            // The launcher's lookup (LookupArchiveOffset): an entry a seek cannot reach counts as
            // absent; so is one beyond the archive's end.
            const ArchiveIndexEntry* entry =
                FindArchiveEntry(mount.index.data(), mount.entryCount, key);
            if (entry && IsArchiveOffsetReadable(entry->offset) &&
                (uint64_t)entry->offset <= mount.archiveSize) {
                uint64_t offset = entry->offset;
                uint64_t end = mount.memberEnds[(size_t)(entry - mount.index.data())];
                return {true,         mount.path,         offset, mount.archiveSize,
                        end - offset, mount.name + ".arc"};
            }
            continue;
        }
        for (const IndexedFile& file : mount.files) {
            uint64_t size = 0;
            if (file.nameHash == key && file.lowerName == lower &&
                GetPathKind(file.path, &size) == kPathFile)
                return {true, file.path, 0,
                        size, size,      "the " + mount.name + " folder (" + file.path + ")"};
        }
    }
    return location;
}
