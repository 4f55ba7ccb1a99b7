// A media folder and an install folder behind the update core's file system (see
// media_file_system.h).
#include "tools/media/media_file_system.h"

#include <stdio.h>
#include <string.h>

#include "resfs/cp932_lower.h"
#include "tools/common/cp932_names.h"
#include "tools/media/media_listing.h"

const char kToolInstallRoot[] = "I:";

static MediaFileSystem* Of(void* context) {
    return (MediaFileSystem*)context;
}

// The parts of a code page 932 path between its backslashes (a trail byte 0x5C is no separator).
static std::vector<std::string> SplitParts(const char* path) {
    std::vector<std::string> parts;
    const char* start = path;
    for (const char* separator; (separator = FindCp932Separator(start, "\\")) != nullptr;
         start = separator + 1) {
        parts.emplace_back(start, separator);
    }
    parts.emplace_back(start);
    return parts;
}

// The folder a core path starts from, and the rest of it; false for an install path without an
// install folder.
static bool RootOf(const MediaFileSystem* fs, const char* path, std::string* root,
                   const char** rest) {
    size_t n = strlen(kToolInstallRoot);
    if (strncmp(path, kToolInstallRoot, n) == 0 && (path[n] == '\\' || path[n] == '\0')) {
        if (fs->installFolder.empty()) return false;
        *root = fs->installFolder;
        *rest = path[n] ? path + n + 1 : path + n;
        return true;
    }
    *root = fs->mediaFolder;
    *rest = path;
    return true;
}

// Resolves every part but the last of `path`: the platform folder it names, and the last part.
static FsError ResolveFolder(const MediaFileSystem* fs, const char* path, std::string* folder,
                             std::string* last) {
    const char* rest = nullptr;
    if (!RootOf(fs, path, folder, &rest)) return kFsPathNotFound;
    std::vector<std::string> parts = SplitParts(rest);
    *last = parts.back();
    for (size_t i = 0; i + 1 < parts.size(); i++) {
        std::vector<MediaEntry> entries;
        std::string error;
        if (!ListMediaFolder(*folder, &entries, &error)) return kFsPathNotFound;
        const MediaEntry* entry = FindMediaEntry(entries, parts[i]);
        if (!entry || entry->kind != kPathDirectory) return kFsPathNotFound;
        *folder = JoinPath(*folder, entry->name);
    }
    return kFsOk;
}

bool ResolveCorePath(const MediaFileSystem* fs, const char* path, std::string* platform,
                     PathKind* kind, uint64_t* size) {
    std::string folder, last;
    if (ResolveFolder(fs, path, &folder, &last) != kFsOk) return false;
    if (last.empty()) {  // the root itself
        *platform = folder;
        *kind = kPathDirectory;
        *size = 0;
        return true;
    }
    std::vector<MediaEntry> entries;
    std::string error;
    if (!ListMediaFolder(folder, &entries, &error)) return false;
    const MediaEntry* entry = FindMediaEntry(entries, last);
    if (!entry) return false;
    *platform = JoinPath(folder, entry->name);
    *kind = entry->kind;
    *size = entry->size;
    return true;
}

// ---- the table --------------------------------------------------------------------------------

// An open media file, with the size its folder's listing gave.
struct ToolFile {
    FILE* stream;
    uint64_t size;
};

static FsError ToolOpen(void* context, const char* path, uint32_t access, uint32_t, FsCreate create,
                        FsFile* file) {
    if ((access & ~(uint32_t)kFsRead) != 0 || create != kFsOpenExisting) return kFsAccessDenied;
    std::string platform;
    PathKind kind;
    uint64_t size;
    if (!ResolveCorePath(Of(context), path, &platform, &kind, &size)) return kFsNotFound;
    if (kind != kPathFile) return kFsAccessDenied;
    FILE* opened = OpenFile(platform, "rb");
    if (!opened) return kFsDeviceError;
    *file = (FsFile) new ToolFile{opened, size};
    return kFsOk;
}

static FsError ToolRead(void*, FsFile file, void* buffer, uint32_t size, uint32_t* got) {
    FILE* stream = ((ToolFile*)file)->stream;
    size_t read = fread(buffer, 1, size, stream);
    if (read < size && ferror(stream)) return kFsDeviceError;
    *got = (uint32_t)read;
    return kFsOk;
}

static FsError ToolClose(void*, FsFile file) {
    ToolFile* open = (ToolFile*)file;
    bool closed = fclose(open->stream) == 0;
    delete open;
    return closed ? kFsOk : kFsDeviceError;
}

static FsError ToolSize(void*, FsFile file, uint64_t* size) {
    *size = ((ToolFile*)file)->size;
    return kFsOk;
}

static FsError ToolGetAttributes(void* context, const char* path, uint32_t* attributes) {
    std::string platform;
    PathKind kind;
    uint64_t size;
    if (!ResolveCorePath(Of(context), path, &platform, &kind, &size)) return kFsNotFound;
    *attributes = kind == kPathDirectory ? (uint32_t)kFsFolder : (uint32_t)kFsArchive;
    return kFsOk;
}

// What a pattern's last part ("*.*", "~vup*", "data.arc") matches, as Windows matches it: "*" is
// any run of characters, "?" one, "*.*" everything; letters case-insensitively.
static bool Matches(const char* pattern, const char* name) {
    if (strcmp(pattern, "*.*") == 0) return true;
    for (;;) {
        if (*pattern == '\0') return *name == '\0';
        if (*pattern == '*') {
            for (const char* from = name;; from++) {
                if (Matches(pattern + 1, from)) return true;
                if (*from == '\0') return false;
            }
        }
        if (*name == '\0') return false;
        bool lead = IsCp932LeadByte((uint8_t)*name) && name[1] != '\0';
        if (*pattern != '?' && *pattern != *name) return false;
        if (lead && *pattern != '?' && pattern[1] != name[1]) return false;
        pattern += *pattern == '?' ? 1 : (lead ? 2 : 1);
        name += lead ? 2 : 1;
    }
}

struct ToolSearch {
    std::vector<FsFound> found;
    size_t next;
};

static FsError ToolFindNext(void*, FsSearch search, FsFound* found) {
    ToolSearch* s = (ToolSearch*)search;
    if (s->next >= s->found.size()) return kFsNotFound;
    *found = s->found[s->next++];
    return kFsOk;
}

static FsError ToolFindFirst(void* context, const char* pattern, FsSearch* search, FsFound* found) {
    MediaFileSystem* fs = Of(context);
    std::string folder, last;
    if (ResolveFolder(fs, pattern, &folder, &last) != kFsOk) return kFsPathNotFound;
    std::vector<MediaEntry> entries;
    std::string error;
    if (!ListMediaFolder(folder, &entries, &error)) return kFsPathNotFound;
    std::string wanted = LowerCp932Copy(last);
    ToolSearch* s = new ToolSearch();
    s->next = 0;
    for (const MediaEntry& entry : entries) {
        if (!entry.hasCp932) {
            if (entry.kind == kPathFile && wanted.find('*') != std::string::npos) {
                // Named relative to the media folder, as the tools show media files.
                std::string relative = folder.substr(fs->mediaFolder.size());
                while (!relative.empty() && (relative[0] == '/' || relative[0] == '\\')) {
                    relative.erase(0, 1);
                }
                fs->unnamed.push_back(relative.empty() ? entry.name
                                                       : JoinPath(relative, entry.name));
            }
            continue;
        }
        if (entry.cp932.size() >= kUpdatePathBytes ||
            !Matches(wanted.c_str(), LowerCp932Copy(entry.cp932).c_str())) {
            continue;
        }
        FsFound one = {};
        memcpy(one.name, entry.cp932.data(), entry.cp932.size());
        one.attributes = entry.kind == kPathDirectory ? (uint32_t)kFsFolder : (uint32_t)kFsArchive;
        one.size = entry.size;
        s->found.push_back(one);
    }
    *search = (FsSearch)s;
    if (ToolFindNext(context, *search, found) != kFsOk) {
        delete s;
        return kFsNotFound;
    }
    return kFsOk;
}

static void ToolFindClose(void*, FsSearch search) {
    delete (ToolSearch*)search;
}

static FsError ToolFreeSpace(void* context, const char*, uint64_t* available,
                             uint32_t* clusterSize) {
    MediaFileSystem* fs = Of(context);
    if (fs->installFolder.empty()) return kFsPathNotFound;
    return GetVolumeRoom(fs->installFolder, available, clusterSize) ? kFsOk : kFsOther;
}

// Everything that would change a file: a tool that only looks refuses it.
static FsError Refused(void*, FsFile, const void*, uint32_t) {
    return kFsAccessDenied;
}
static FsError RefusedOnFile(void*, FsFile) {
    return kFsAccessDenied;
}
static FsError RefusedTimes(void*, FsFile, FsTimes*) {
    return kFsAccessDenied;
}
static FsError RefusedSetTimes(void*, FsFile, const FsTimes*) {
    return kFsAccessDenied;
}
static FsError RefusedOnPath(void*, const char*) {
    return kFsAccessDenied;
}
static FsError RefusedSetAttributes(void*, const char*, uint32_t) {
    return kFsAccessDenied;
}
static FsError RefusedRename(void*, const char*, const char*, uint32_t) {
    return kFsAccessDenied;
}
static FsError RefusedMark(void*) {
    return kFsAccessDenied;
}
static FsError RefusedNote(void*, const char*) {
    return kFsAccessDenied;
}
// The tool reads no registry: no commit is noted anywhere.
static FsError NoNotedCommit(void*, char* folder) {
    folder[0] = 0;
    return kFsOk;
}

void InitMediaFileSystem(MediaFileSystem* fs, const std::string& mediaFolder,
                         const std::string& installFolder) {
    fs->table = {fs,
                 ToolOpen,
                 ToolRead,
                 Refused,
                 RefusedOnFile,
                 ToolClose,
                 ToolSize,
                 RefusedTimes,
                 RefusedSetTimes,
                 ToolGetAttributes,
                 RefusedSetAttributes,
                 RefusedRename,
                 RefusedOnPath,
                 RefusedOnPath,
                 RefusedOnPath,
                 ToolFreeSpace,
                 ToolFindFirst,
                 ToolFindNext,
                 ToolFindClose,
                 RefusedMark,
                 RefusedNote,
                 NoNotedCommit};
    fs->mediaFolder = mediaFolder;
    fs->installFolder = installFolder;
    fs->unnamed.clear();
}

// ---- a display that shows nothing --------------------------------------------------------------

static void SilentOpen(void*, UpdateStage, uint64_t) {}
static void SilentClose(void*) {}
static void SilentStep(void*, UpdateStep) {}
static void SilentBeginFile(void*, const char*, uint64_t) {}
static void SilentAdvance(void*, uint64_t, uint64_t) {}
static void SilentWait(void*, uint32_t, const bool*) {}
static void SilentTell(void*, UpdateNotice, const char*) {}
static bool SilentAsk(void*, uint64_t, uint64_t) {
    return false;
}

const UpdateProgress kSilentProgress = {nullptr,    SilentOpen,      SilentClose,
                                        SilentStep, SilentBeginFile, SilentAdvance,
                                        SilentWait, SilentTell,      SilentAsk};
