// A media folder read as the launcher reads it (see media_layout.h).
#include "tools/media/media_layout.h"

#include <stdio.h>
#include <string.h>

#include "resfs/cp932_lower.h"
#include "resfs/name_hash.h"
#include "settings/env_line.h"

const char kDefaultTitlebar[] =
    "\x82\x75\x82\x6E\x82\x71\x82\x6B\x82\x68\x82\x6D \x83\x41\x83\x76\x83\x8A\x83\x50\x81\x5B"
    "\x83\x56\x83\x87\x83\x93";
const char kDefaultVersion[] = "Version 1.01";
static const char kUpdateWord[] =
    "\x83\x41\x83\x62\x83\x76\x83\x66\x81\x5B\x83\x67";  // アップデート

const char* const kUpdateListEntries[8] = {
    "update.arc", "fastdata.arc", "data.arc",   "slowdata.arc",
    "voice.arc",  "voice2.arc",   "voice3.arc", "update.txt",
};

enum { kGetterBytes = 127, kTitleBytes = 255, kMaxFolderDepth = 64 };

// Settings files are read through at most 400 reads of 511 bytes; twice that many raw bytes
// cover any line-end conversion.
extern const size_t kMaxSettingsBytes = 2 * kEnvMaxReads * (kEnvLineBufferSize - 1);

static std::string Lower(const std::string& cp932) {
    std::string lower = cp932;
    if (!lower.empty()) LowerCp932(&lower[0]);
    return lower;
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
        path = JoinMediaPath(path, entry->name);
        bool last = i + 1 == parts.size();
        if (last) {
            if (entry->kind != kMediaFile) return false;
            *file = {path, entry->size};
            return true;
        }
        std::string error;
        if (entry->kind != kMediaFolder || !ListMediaFolder(path, &listing, &error)) return false;
    }
    return false;
}

// ---- mounts ----------------------------------------------------------------------------------

static bool EndsInDot(const std::string& name) {
    return !name.empty() && name.back() == '.';
}

// Files the directory index leaves out, by the part of the name from its last dot.
static bool IsExcludedFile(const std::string& cp932) {
    static const char* const kExcluded[] = {".lnk", ".exe", ".com", ".dll", ".log", ".sue",
                                            ".mdb", ".vrs", ".vrh", ".db",  ".txt"};
    size_t dot = std::string::npos;
    for (size_t i = 0; i < cp932.size(); i++) {
        if (IsCp932LeadByte((uint8_t)cp932[i]) && i + 1 < cp932.size())
            i++;
        else if (cp932[i] == '.')
            dot = i;
    }
    if (dot == std::string::npos) return false;
    std::string suffix = Lower(cp932.substr(dot));
    for (const char* excluded : kExcluded) {
        if (suffix == excluded) return true;
    }
    return false;
}

static void ScanMountFolder(const std::string& dir, int depth, MediaMount* mount) {
    std::vector<MediaEntry> entries;
    std::string error;
    if (depth > kMaxFolderDepth || !ListMediaFolder(dir, &entries, &error)) return;
    for (const MediaEntry& entry : entries) {
        if (!entry.hasCp932) continue;  // the launcher's listing cannot name it
        std::string path = JoinMediaPath(dir, entry.name);
        if (entry.kind == kMediaFolder) {
            if (!EndsInDot(entry.cp932) && Lower(entry.cp932) != "debuginfo")
                ScanMountFolder(path, depth + 1, mount);
        } else if (entry.kind == kMediaFile && !IsExcludedFile(entry.cp932)) {
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
    if (arc && arc->kind == kMediaFile) {
        std::string path = JoinMediaPath(layout.folder, arc->name);
        FILE* file = OpenMediaFile(path);
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
    if (!folder || folder->kind != kMediaFolder) return false;
    mount->path = JoinMediaPath(layout.folder, folder->name);
    ScanMountFolder(mount->path, 0, mount);
    return true;
}

bool LoadMediaLayout(const std::string& folder, MediaLayout* layout, std::string* error) {
    layout->folder = folder;
    layout->mounts.clear();
    if (!ListMediaFolder(folder, &layout->entries, error)) return false;
    for (const char* name : {"update", "fastdata"}) {
        MediaMount mount;
        if (ResolveMount(*layout, name, &mount)) layout->mounts.push_back(mount);
    }
    return true;
}

ResourceLocation LocateResource(const MediaLayout& layout, const std::string& name) {
    ResourceLocation location = {false, "", 0, 0, ""};
    const MediaEntry* direct = FindMediaEntry(layout.entries, name);
    if (direct && direct->kind == kMediaFile) {
        return {true, JoinMediaPath(layout.folder, direct->name), 0, direct->size,
                "the media folder"};
    }
    uint32_t key = ComputeLookupKey(name.c_str());
    std::string lower = Lower(name);
    for (const MediaMount& mount : layout.mounts) {
        if (mount.archive) {
            int32_t offset;
            // An entry a seek cannot reach, or beyond the archive's end, is passed over.
            if (LookupArchiveOffset(mount.index.data(), mount.entryCount, key, &offset) &&
                (uint64_t)offset <= mount.archiveSize)
                return {true, mount.path, (uint64_t)offset, mount.archiveSize, mount.name + ".arc"};
            continue;
        }
        for (const IndexedFile& file : mount.files) {
            uint64_t size = 0;
            if (file.nameHash == key && file.lowerName == lower &&
                GetMediaPathKind(file.path, &size) == kMediaFile)
                return {true, file.path, 0, size,
                        "the " + mount.name + " folder (" + file.path + ")"};
        }
    }
    return location;
}

// ---- settings --------------------------------------------------------------------------------

// The bytes a text-mode stream of the launcher's C library hands over: CR LF becomes LF, and a
// Ctrl-Z byte (0x1A) ends the file.
static std::string TextModeBytes(const std::string& raw) {
    std::string text;
    for (size_t i = 0; i < raw.size(); i++) {
        if (raw[i] == '\x1A') break;
        if (raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n') continue;
        text += raw[i];
    }
    return text;
}

struct TextSource {
    const std::string* text;
    size_t pos;
};

// fgets on the text: up to size - 1 bytes, through the first LF; false when nothing is left.
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
    FILE* file = OpenMediaFile(location.path);
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

std::string GetMediaSetting(const MediaSettings& settings, const char* key,
                            const char* defaultText) {
    auto found = settings.find(key);
    std::string value = found == settings.end() ? defaultText : found->second;
    return value.substr(0, kGetterBytes);
}

// ---- names the launcher composes --------------------------------------------------------------

std::string ComposeUpdateTitle(const MediaSettings& settings) {
    std::string full = GetMediaSetting(settings, "TITLEBAR", kDefaultTitlebar) + " " + kUpdateWord +
                       " " + GetMediaSetting(settings, "VERSION", kDefaultVersion);
    size_t end = 0;
    while (end < full.size()) {
        size_t step = IsCp932LeadByte((uint8_t)full[end]) && end + 1 < full.size() ? 2 : 1;
        if (end + step > kTitleBytes) break;
        end += step;
    }
    return full.substr(0, end);
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

std::string MakeMediaExeName(const std::string& exeName) {
    std::string name = Lower(exeName.substr(0, kGetterBytes));
    for (size_t i = 0; i < name.size(); i++) {
        if (name.compare(i, 4, ".exe") == 0) return name.substr(0, i) + ".bin";
        if (IsCp932LeadByte((uint8_t)name[i]) && i + 1 < name.size()) i++;
    }
    return name;
}

std::string DefaultInstallFolder(const MediaSettings& settings) {
    std::string folder = "C:\\Program Files\\";
    std::string instFol = GetMediaSetting(settings, "INSTFOL", "");
    if (!instFol.empty()) folder += instFol + "\\";
    return folder + GetMediaSetting(settings, "INSTTO", "VORLIN_APP");
}

std::string SettingsRegistryKey(const MediaSettings& settings) {
    return "HKEY_CURRENT_USER\\Software\\" +
           GetMediaSetting(settings, "REG_GLOBAL", "VORLIN_SYSTEM") + "\\" +
           GetMediaSetting(settings, "REG_LOCAL", "VORLIN_RUNTIME");
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
    std::string exeName = GetMediaSetting(settings, "EXENAME", "vorlin.exe");
    AddIfOnMedia(layout, kCopiedExecutable, MakeMediaExeName(exeName), exeName, files, absent);
    for (const char* entry : kUpdateListEntries)
        AddIfOnMedia(layout, kCopiedListEntry, entry, entry, files, absent);

    const MediaEntry* help = FindMediaEntry(layout.entries, "help");
    if (!help || help->kind != kMediaFolder) return;
    std::string helpPath = JoinMediaPath(layout.folder, help->name);
    std::vector<MediaEntry> entries;
    std::string error;
    if (!ListMediaFolder(helpPath, &entries, &error)) return;
    for (const MediaEntry& entry : entries) {
        if (entry.kind != kMediaFile) continue;
        std::string name = "help\\" + entry.cp932;
        files->push_back({kCopiedHelp, name, name, JoinMediaPath(helpPath, entry.name),
                          JoinMediaPath(help->name, entry.name), entry.size, entry.hasCp932});
    }
}
