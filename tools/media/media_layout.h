// A media folder read as the launcher reads it: the mounts "update" and "fastdata", where a
// resource file such as vorlin.env or update.rct is found, the settings that file gives, and the
// files an update from the media copies, each under the name the launcher gives it.
//
// Names the launcher uses are code page 932 text; on the media they are matched as the platform
// the launcher runs on matches them, case-insensitively (lower-cased as code page 932 text).
#pragma once

#include <stdint.h>

#include <map>
#include <string>
#include <vector>

#include "resfs/archive_format.h"
#include "tools/common/cp932_names.h"
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

// A file of the media found under a code page 932 name.
struct MediaFile {
    std::string path;  // platform path
    uint64_t size;
};

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

// The entry of `entries` whose code page 932 name equals `name` case-insensitively, or null.
const MediaEntry* FindMediaEntry(const std::vector<MediaEntry>& entries, const std::string& name);

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

// The bytes a text-mode stream of the launcher's C library hands over: CR LF becomes LF, and a
// Ctrl-Z byte (0x1A) ends the file.
std::string TextModeBytes(const std::string& raw);

// The reads the launcher's settings reading makes of text-mode bytes (ReadEnvLines over
// ReadTextLine): each read's bytes and the line it starts in, up to the text's end, an [EOF] line
// or the last read the launcher makes.
struct SettingsRead {
    std::string bytes;
    unsigned line;    // from 1
    bool midLine;     // it goes on with a line that an earlier read began
    bool splitsLine;  // the line's text goes on in the next read (more than its LF)
};
struct SettingsReading {
    std::vector<SettingsRead> reads;
    bool readsRanOut;     // text is left that no read reaches
    size_t unread;        // where that text begins
    unsigned unreadLine;  // and its line
};
SettingsReading ReadSettingsAsLauncher(const std::string& text);

// The settings of a vorlin.env read from `location` as the launcher reads it (text mode, line by
// line, later lines winning; bars in values are spaces).
typedef std::map<std::string, std::string> MediaSettings;
// The most bytes of a settings file that the launcher's reading can reach.
extern const size_t kMaxSettingsBytes;
bool ReadMediaSettings(const ResourceLocation& location, MediaSettings* settings,
                       std::string* error);
// The value as the launcher's getters hand it out (cut to 127 bytes), or the key's default.
std::string GetMediaSetting(const MediaSettings& settings, const char* key);

// The update title as the launcher composes it from TITLEBAR and VERSION.
std::string ComposeMediaUpdateTitle(const MediaSettings& settings);
// The first backslash of `text` that is not the trail byte of a double-byte character, or -1.
int FindBareBackslash(const std::string& text);
// The executable's name on the media, from EXENAME (see update/update_list.h).
std::string MediaExeName(const MediaSettings& settings);
// "C:\Program Files\" + [INSTFOL "\"] + INSTTO: the folder the launcher proposes.
std::string DefaultInstallFolder(const MediaSettings& settings);
// "HKEY_CURRENT_USER\Software\" + REG_GLOBAL + "\" + REG_LOCAL: the key under which the launcher
// reads the install state (IsInst, InstTo) and records Updated.
std::string SettingsRegistryKey(const MediaSettings& settings);

// The files an update copies, in copying order.
enum CopiedKind { kCopiedExecutable, kCopiedListEntry, kCopiedHelp };
struct CopiedFile {
    CopiedKind kind;
    std::string name;         // as the launcher names it, code page 932 ("help\index.htm")
    std::string destination;  // name under the install folder (EXENAME for the executable)
    std::string path;         // platform path
    std::string shownName;    // platform text, for messages
    uint64_t size;
    bool hasCp932;  // help files: false when the name has no code page 932 form
};
// The executable (if on the media), the list entries on the media, then the help files.
// *absent receives the executable's and list entries' names not on the media.
void CollectCopiedFiles(const MediaLayout& layout, const MediaSettings& settings,
                        std::vector<CopiedFile>* files, std::vector<std::string>* absent);
