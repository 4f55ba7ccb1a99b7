// A media's settings file read as the launcher reads it: the bytes its C library's text mode
// hands over, the reads of its line loop (ReadEnvLines over ReadEnvTextLine, the launcher's own
// reader), the settings they give, and the texts the launcher composes from them (the update
// title, the executable's name on the media, the proposed install folder, the registry key).
#pragma once

#include <stddef.h>

#include <map>
#include <string>
#include <vector>

#include "tools/media/media_mounts.h"

// The bytes a text-mode stream of the launcher's C library hands over: CR LF becomes LF, and a
// Ctrl-Z byte (0x1A) ends the file.
std::string TextModeBytes(const std::string& raw);

// The reads the launcher's settings reading makes of text-mode bytes: each read's bytes and the
// line it starts in, up to the text's end, an [EOF] line or the last read the launcher makes.
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
// The executable's name on the media, from EXENAME (see update/update_list.h).
std::string MediaExeName(const MediaSettings& settings);
// "C:\Program Files\" + [INSTFOL "\"] + INSTTO: the folder the launcher proposes.
std::string DefaultInstallFolder(const MediaSettings& settings);
// "HKEY_CURRENT_USER\Software\" + REG_GLOBAL + "\" + REG_LOCAL: the key under which the launcher
// reads the install state (IsInst, InstTo) and records Updated.
std::string SettingsRegistryKey(const MediaSettings& settings);
