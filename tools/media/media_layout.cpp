// A media folder read as the launcher reads it (see media_layout.h).
#include "tools/media/media_layout.h"

#include <stdio.h>
#include <string.h>

#include "resfs/cp932_lower.h"
#include "resfs/mount_rules.h"
#include "resfs/name_hash.h"
#include "settings/env_line.h"
#include "settings/setting_rules.h"
#include "tools/common/cp932_names.h"
#include "update/core/update_list.h"

enum { kMaxFolderDepth = 64, kMaxPathText = 260 };  // MAX_PATH, its NUL included

// Settings files are read through at most 400 reads of 511 bytes; twice that many raw bytes
// cover any line-end conversion.
extern const size_t kMaxSettingsBytes = 2 * kEnvMaxReads * (kEnvLineBufferSize - 1);

static std::string Lower(const std::string& cp932) {
    std::string lower = cp932;
    if (!lower.empty()) LowerCp932(&lower[0]);
    return lower;
}

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
    std::string wanted = Lower(name);
    for (const MediaEntry& entry : entries) {
        if (entry.hasCp932 && Lower(entry.cp932) == wanted) return &entry;
    }
    return nullptr;
}

// The parts of a code page 932 name between its backslashes (a trail byte 0x5C is no separator).
static std::vector<std::string> SplitName(const std::string& name) {
    std::vector<std::string> parts(1);
    for (size_t i = 0; i < name.size(); i++) {
        uint8_t c = (uint8_t)name[i];
        if (IsCp932LeadByte(c) && i + 1 < name.size()) {
            parts.back() += name.substr(i, 2);
            i++;
        } else if (c == '\\') {
            parts.emplace_back();
        } else {
            parts.back() += name[i];
        }
    }
    return parts;
}

bool FindMediaFile(const MediaLayout& layout, const std::string& name, MediaFile* file) {
    std::vector<std::string> parts = SplitName(name);
    std::string path = layout.folder;
    std::vector<MediaEntry> listing = layout.entries;
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

// ---- mounts ----------------------------------------------------------------------------------

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
            std::string lower = Lower(entry.cp932);
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

// Where an archive member's data ends: at the next offset in data order (the final entry's
// included), or at the end of the archive.
static uint64_t MemberEnd(const MediaMount& mount, uint64_t offset) {
    uint64_t end = mount.archiveSize;
    for (const ArchiveIndexEntry& entry : mount.index) {
        uint64_t other = (uint32_t)entry.offset;
        if (other > offset && other < end) end = other;
    }
    return end;
}

ResourceLocation LocateMountedResource(const MediaLayout& layout, const std::string& name) {
    ResourceLocation location = {false, "", 0, 0, 0, ""};
    uint32_t key = ComputeLookupKey(name.c_str());
    std::string lower = Lower(name);
    for (const MediaMount& mount : layout.mounts) {
        if (mount.archive) {
            int32_t offset;
            // An entry a seek cannot reach, or beyond the archive's end, is passed over.
            if (LookupArchiveOffset(mount.index.data(), mount.entryCount, key, &offset) &&
                (uint64_t)offset <= mount.archiveSize)
                return {true,
                        mount.path,
                        (uint64_t)offset,
                        mount.archiveSize,
                        MemberEnd(mount, (uint64_t)offset) - (uint64_t)offset,
                        mount.name + ".arc"};
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

// ---- settings --------------------------------------------------------------------------------

// The bytes a text-mode stream of the launcher's C library hands over: CR LF becomes LF, and a
// Ctrl-Z byte (0x1A) ends the file.
std::string TextModeBytes(const std::string& raw) {
    std::string text;
    for (size_t i = 0; i < raw.size(); i++) {
        if (raw[i] == '\x1A') break;
        if (raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n') continue;
        text += raw[i];
    }
    return text;
}

// Text read as the launcher reads its settings file: fgets on the text, up to size - 1 bytes,
// through the first LF; false when nothing is left.
struct TextSource {
    const std::string* text;
    size_t pos;
};

static bool ReadTextLine(void* source, char* buffer, int size) {
    TextSource* s = (TextSource*)source;
    if (s->pos >= s->text->size() || size < 2) return false;
    int n = 0;
    while (n < size - 1 && s->pos < s->text->size()) {
        char c = (*s->text)[s->pos++];
        buffer[n++] = c;
        if (c == '\n') break;
    }
    buffer[n] = '\0';
    return true;
}

namespace {

struct ReadWatch {
    TextSource source;
    SettingsReading* reading;
    unsigned line;  // the line the next read starts in
    bool midLine;
};

bool WatchRead(void* p, char* buffer, int size) {
    ReadWatch* w = (ReadWatch*)p;
    size_t start = w->source.pos;
    if (!ReadTextLine(&w->source, buffer, size)) return false;
    const std::string& text = *w->source.text;
    size_t end = w->source.pos;
    bool endsLine = text[end - 1] == '\n';
    bool splits = !endsLine && end < text.size() && text[end] != '\n';
    w->reading->reads.push_back({text.substr(start, end - start), w->line, w->midLine, splits});
    if (endsLine) w->line++;
    w->midLine = !endsLine;
    return true;
}

bool IgnoreSetting(void*, const char*, const char*) {
    return true;
}

}  // namespace

SettingsReading ReadSettingsAsLauncher(const std::string& text) {
    SettingsReading reading = {{}, false, text.size(), 0};
    ReadWatch watch = {{&text, 0}, &reading, 1, false};
    EnvReadEnd end = ReadEnvLines(WatchRead, &watch, IgnoreSetting, nullptr);
    if (end == kEnvReadLimit && watch.source.pos < text.size()) {
        reading.readsRanOut = true;
        reading.unread = watch.source.pos;
        reading.unreadLine = watch.line;
    }
    return reading;
}

// Bars become spaces, stepping over double-byte characters (a trail byte 0x7C is no bar).
static std::string BarsToSpaces(const char* value) {
    std::string text = value;
    for (size_t i = 0; i < text.size(); i++) {
        if (IsCp932LeadByte((uint8_t)text[i]) && i + 1 < text.size())
            i++;
        else if (text[i] == '|')
            text[i] = ' ';
    }
    return text;
}

static bool StoreSetting(void* sink, const char* key, const char* value) {
    (*(MediaSettings*)sink)[key] = BarsToSpaces(value);
    return true;
}

bool ReadMediaSettings(const ResourceLocation& location, MediaSettings* settings,
                       std::string* error) {
    settings->clear();
    FILE* file = OpenFile(location.path, "rb");
    if (!file || fseek(file, (long)location.offset, SEEK_SET) != 0) {
        if (file) fclose(file);
        *error = "cannot be read";
        return false;
    }
    std::string raw(kMaxSettingsBytes, '\0');
    raw.resize(fread(&raw[0], 1, raw.size(), file));
    fclose(file);
    std::string text = TextModeBytes(raw);
    TextSource source = {&text, 0};
    ReadEnvLines(ReadTextLine, &source, StoreSetting, settings);
    return true;
}

std::string GetMediaSetting(const MediaSettings& settings, const char* key) {
    auto found = settings.find(key);
    std::string value = found == settings.end() ? GetSettingDefault(key) : found->second;
    return value.substr(0, kSettingGetterBytes);
}

// ---- names the launcher composes --------------------------------------------------------------

std::string ComposeMediaUpdateTitle(const MediaSettings& settings) {
    char title[kUpdateTitleBytes + 1];
    ComposeUpdateTitle(GetMediaSetting(settings, "TITLEBAR").c_str(),
                       GetMediaSetting(settings, "VERSION").c_str(), title);
    return title;
}

int FindBareBackslash(const std::string& text) {
    for (size_t i = 0; i < text.size(); i++) {
        if (IsCp932LeadByte((uint8_t)text[i]) && i + 1 < text.size())
            i++;
        else if (text[i] == '\\')
            return (int)i;
    }
    return -1;
}

std::string MediaExeName(const MediaSettings& settings) {
    char mediaName[kUpdateNameBytes];
    MakeMediaExeName(GetMediaSetting(settings, "EXENAME").c_str(), mediaName);
    return mediaName;
}

std::string DefaultInstallFolder(const MediaSettings& settings) {
    char folder[kMaxPathText];
    ComposeProposedInstallFolder("C:\\", GetMediaSetting(settings, "INSTFOL").c_str(),
                                 GetMediaSetting(settings, "INSTTO").c_str(), folder,
                                 sizeof folder);
    return folder;
}

std::string SettingsRegistryKey(const MediaSettings& settings) {
    return "HKEY_CURRENT_USER\\Software\\" + GetMediaSetting(settings, "REG_GLOBAL") + "\\" +
           GetMediaSetting(settings, "REG_LOCAL");
}

// ---- the files an update copies ---------------------------------------------------------------

static void AddIfOnMedia(const MediaLayout& layout, CopiedKind kind, const std::string& name,
                         const std::string& destination, std::vector<CopiedFile>* files,
                         std::vector<std::string>* absent) {
    MediaFile file;
    if (!FindMediaFile(layout, name, &file)) {
        absent->push_back(name);
        return;
    }
    files->push_back({kind, name, destination, file.path, Cp932ToDisplay(name), file.size, true});
}

void CollectCopiedFiles(const MediaLayout& layout, const MediaSettings& settings,
                        std::vector<CopiedFile>* files, std::vector<std::string>* absent) {
    files->clear();
    absent->clear();
    AddIfOnMedia(layout, kCopiedExecutable, MediaExeName(settings),
                 GetMediaSetting(settings, "EXENAME"), files, absent);
    for (const char* entry : kUpdateFileList) {
        if (entry[0] != '|') AddIfOnMedia(layout, kCopiedListEntry, entry, entry, files, absent);
    }

    const MediaEntry* help = FindMediaEntry(layout.entries, kUpdateHelpFolder);
    if (!help || help->kind != kPathDirectory) return;
    std::string helpPath = JoinPath(layout.folder, help->name);
    std::vector<MediaEntry> entries;
    std::string error;
    if (!ListMediaFolder(helpPath, &entries, &error)) return;
    for (const MediaEntry& entry : entries) {
        if (entry.kind != kPathFile) continue;
        std::string name = std::string(kUpdateHelpFolder) + "\\" + entry.cp932;
        files->push_back({kCopiedHelp, name, name, JoinPath(helpPath, entry.name),
                          JoinPath(help->name, entry.name), entry.size, entry.hasCp932});
    }
}
