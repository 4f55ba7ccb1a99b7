// The settings file read line by line as the launcher reads it, with every finding tied to its
// line: the text's encoding (UTF-16 or UTF-32, which the launcher cannot read at all; UTF-8
// instead of code page 932; a byte order mark; a NUL byte), keys the launcher does not know (with
// the nearest one it knows), keys without a value, values not of their key's form or longer than
// the launcher keeps, words after a value that the launcher drops, keys set twice, lines longer
// than one read, and lines past the last read.
//
// A line that leaves a vital setting other than meant is an error that says what the launcher
// then does: EXENAME (which executable an update copies), REG_GLOBAL and REG_LOCAL (the registry
// key where the launcher finds the game), misspelled or without a value while no line sets them,
// or on the line that counts a value with words the launcher drops (TITLEBAR too: the mutex by
// which the launcher tells that the game runs) or an EXENAME that is a path.
#pragma once

#include <map>
#include <string>

#include "tools/media/media_report.h"
#include "tools/media/media_settings.h"

// The encoding of a settings file that the launcher cannot read as text at all ("UTF-16
// (little-endian, with a byte order mark...)", UTF-32), or "".
std::string UnreadableSettingsEncoding(const std::string& bytes);

// Whether the launcher can read the file's bytes as text at all; an error naming `file` (found
// in `where`) with the fix when it cannot (UTF-16, UTF-32).
bool CheckSettingsEncoding(const std::string& bytes, const std::string& file, const char* where,
                           Report* report);

// `bytes` are the file's own bytes; `file` names it in findings ("vorlin.env"); `settings` are
// those the launcher ends with. *countingLines gets, for each key set, the line whose value
// counts (the last that sets it).
void CheckSettingsLines(const std::string& bytes, const std::string& file,
                        const MediaSettings& settings, Report* report,
                        std::map<std::string, unsigned>* countingLines);

// The known key nearest to an unknown one, or "" when none is near: "TITLEBAR" for "titlebar",
// "TITLE_BAR" or "TITLEBR".
std::string NearestSettingKey(const std::string& key);
