// The settings file read line by line as the launcher reads it, with every finding tied to its
// line: the text's encoding (UTF-8 instead of code page 932, a byte order mark), keys the launcher
// does not know (with the nearest one it knows), keys without a value, values not of their key's
// form or longer than the launcher keeps, words after a value that the launcher drops, keys set
// twice, lines longer than one read, and lines past the last read.
#pragma once

#include <string>

#include "tools/media/media_report.h"

// `bytes` are the file's own bytes; `file` names it in findings ("vorlin.env", or
// "update.arc:vorlin.env" for an archive member).
void CheckSettingsLines(const std::string& bytes, const std::string& file, Report* report);

// The known key nearest to an unknown one, or "" when none is near: "TITLEBAR" for "titlebar",
// "TITLE_BAR" or "TITLEBR".
std::string NearestSettingKey(const std::string& key);
