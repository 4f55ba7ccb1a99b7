// The settings file line by line (see media_settings_check.h).
#include "tools/media/media_settings_check.h"

#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <map>
#include <vector>

#include "resfs/cp932_lower.h"
#include "settings/env_line.h"
#include "settings/setting_rules.h"
#include "tools/common/cp932_names.h"
#include "tools/common/utf8_text.h"
#include "tools/media/media_settings.h"

namespace {

std::string Shown(const std::string& cp932) {
    return "'" + Cp932ToDisplay(cp932) + "'";
}

// The key as a loose spelling: upper case, without underscores.
std::string Loose(const std::string& key) {
    std::string loose;
    for (char c : key) {
        if (c == '_') continue;
        loose += (char)(c >= 'a' && c <= 'z' ? c - ('a' - 'A') : c);
    }
    return loose;
}

size_t EditDistance(const std::string& a, const std::string& b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); j++) row[j] = j;
    for (size_t i = 1; i <= a.size(); i++) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); j++) {
            size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
            diagonal = above;
        }
    }
    return row[b.size()];
}

bool IsSeparatorByte(char c) {
    return (unsigned char)c <= 0x20;
}

// What is wrong with a value for its key's form, or "".
std::string ValueProblem(const SettingRule& rule, const std::string& value) {
    switch (rule.form) {
        case kSettingFlag: {
            char* end = nullptr;
            long number = strtol(value.c_str(), &end, 10);
            if (end != value.c_str() && *end == '\0') return "";
            return "is not a number: the launcher reads it as " + std::to_string(number) +
                   (number == 0 ? " (off)" : " (on)") + "; write 0 or 1";
        }
        case kSettingName: {
            static const char kNotInNames[] = "<>:\"/?*";
            bool backslash = FindCp932Separator(value.c_str(), "\\") != nullptr;
            bool folders = strcmp(rule.key, "INSTFOL") == 0;  // may name folder within folder
            if (backslash && !folders) return "has a backslash: it must be a name, not a path";
            for (size_t i = 0; i < value.size(); i++) {
                unsigned char c = (unsigned char)value[i];
                if (c >= 0x81 && i + 1 < value.size() && IsCp932Text(value.substr(i, 2))) {
                    i++;
                } else if (strchr(kNotInNames, c) && c != '\0') {
                    return std::string("has '") + (char)c + "', which no file or folder name " +
                           "may have";
                }
            }
            return "";
        }
        case kSettingText:
        case kSettingKeyName:
            return "";
    }
    return "";
}

// Keys whose value decides what an update copies and where the launcher finds the game: a line
// meant for one of them that does not take effect is an error, not a slip.
bool IsVitalKey(const std::string& key) {
    return key == "EXENAME" || key == "REG_GLOBAL" || key == "REG_LOCAL";
}

// What the launcher does with `settings` where `key` matters, for a message.
std::string VitalConsequence(const std::string& key, const MediaSettings& settings) {
    if (key == "EXENAME")
        return "the launcher looks for the executable as " +
               Cp932ToDisplay(MediaExeName(settings)) + " on the media and installs it as " +
               Cp932ToDisplay(GetMediaSetting(settings, "EXENAME"));
    if (key == "REG_GLOBAL" || key == "REG_LOCAL")
        return "the launcher reads the install state (IsInst, InstTo) under " +
               Cp932ToDisplay(SettingsRegistryKey(settings)) +
               ", where the game's installer did not record it: players are told to install the "
               "game first";
    if (key == "TITLEBAR")
        return "the window's title and the mutex by which the launcher tells that the game runs "
               "are " +
               Shown(GetMediaSetting(settings, "TITLEBAR"));
    return "";
}

// The same, had `key` been set to `value` as the line meant.
std::string IntendedConsequence(const std::string& key, const std::string& value,
                                const MediaSettings& settings) {
    MediaSettings meant = settings;
    std::string text = value;
    BarsToSpaces(&text[0]);
    meant[key] = text;
    if (key == "REG_GLOBAL" || key == "REG_LOCAL")
        return "the launcher reads the install state under " +
               Cp932ToDisplay(SettingsRegistryKey(settings)) + ", not under " +
               Cp932ToDisplay(SettingsRegistryKey(meant)) +
               " where the game's installer records it: players are told to install the game "
               "first";
    return VitalConsequence(key, settings) + ", not " +
           Cp932ToDisplay(GetMediaSetting(meant, key.c_str()));
}

}  // namespace

std::string UnreadableSettingsEncoding(const std::string& raw) {
    if (raw.compare(0, 4, std::string("\xFF\xFE\0\0", 4)) == 0)
        return "UTF-32 (little-endian, with a byte order mark)";
    if (raw.compare(0, 4, std::string("\0\0\xFE\xFF", 4)) == 0)
        return "UTF-32 (big-endian, with a byte order mark)";
    if (raw.compare(0, 2, "\xFF\xFE") == 0)
        return "UTF-16 (little-endian, with a byte order mark: Notepad's \"Unicode\", "
               "PowerShell 5's Out-File)";
    if (raw.compare(0, 2, "\xFE\xFF") == 0)
        return "UTF-16 (big-endian, with a byte order mark: Notepad's \"Unicode big endian\")";
    if (raw.size() >= 2 && raw[0] != '\0' && raw[1] == '\0') return "UTF-16 (little-endian)";
    if (raw.size() >= 2 && raw[0] == '\0' && raw[1] != '\0') return "UTF-16 (big-endian)";
    return "";
}

std::string NearestSettingKey(const std::string& key) {
    std::string loose = Loose(key);
    std::string best;
    size_t bestDistance = 3;  // at most two edits away
    for (size_t i = 0; i < kSettingRuleCount; i++) {
        const char* known = kSettingRules[i].key;
        size_t distance = EditDistance(loose, Loose(known));
        if (distance < bestDistance) {
            bestDistance = distance;
            best = known;
        }
    }
    return best;
}

namespace {

// What to tell of a key the launcher does not know: a known key run together with its value, or
// the nearest known key. *meant gets the known key the line was likely meant for and *value the
// value it meant ("" when none is near).
std::string UnknownKeyText(const std::string& key, const std::string& lineValue, std::string* meant,
                           std::string* value) {
    meant->clear();
    value->clear();
    for (size_t i = 0; i < kSettingRuleCount; i++) {
        std::string known = kSettingRules[i].key;
        if (key.size() > known.size() && key.compare(0, known.size(), known) == 0) {
            *meant = known;
            *value = key.substr(known.size());
            return "unknown key " + Shown(key) + ": a space or tab must separate " + known +
                   " from its value ('" + known + " " + Cp932ToDisplay(key.substr(known.size())) +
                   "')";
        }
    }
    std::string near = NearestSettingKey(key);
    if (!near.empty()) {
        *meant = near;
        *value = lineValue;
        return "unknown key " + Shown(key) + ", which the launcher ignores; did you mean " + near +
               "? (keys are compared exactly)";
    }
    return "unknown key " + Shown(key) + ", which the launcher ignores";
}

}  // namespace

namespace {

// One read of the settings, split as the launcher splits it.
struct ParsedRead {
    const SettingsRead* read;
    EnvLineKind kind;
    std::string key, value;  // kEnvLineSetting
    std::string token;       // the first word of the read
    size_t valueEnd;         // where the value ends in the read
};

ParsedRead ParseRead(const SettingsRead& r) {
    ParsedRead p = {&r, kEnvLineSkip, "", "", "", 0};
    const std::string& read = r.bytes;
    char buffer[kEnvLineBufferSize];
    memset(buffer, 0, sizeof buffer);
    memcpy(buffer, read.data(), read.size());
    const char* key = nullptr;
    const char* value = nullptr;
    p.kind = ParseEnvLine(buffer, &key, &value);
    if (p.kind == kEnvLineSetting) {
        p.key = key;
        p.value = value;
        p.valueEnd = (size_t)(value - buffer) + p.value.size();
    }
    for (size_t i = 0; i < read.size() && !IsSeparatorByte(read[i]); i++) p.token += read[i];
    return p;
}

// The word after the first one on a line that the launcher skips ("" when none), for what a
// misspelled key meant to set.
std::string SecondWord(const std::string& read) {
    size_t start = 0;
    while (start < read.size() && !IsSeparatorByte(read[start])) start++;
    while (start < read.size() && IsSeparatorByte(read[start])) start++;
    size_t end = start;
    while (end < read.size() && !IsSeparatorByte(read[end])) end++;
    return read.substr(start, end - start);
}

// An unknown key, a key without a value: an error when it was meant for a vital key that no other
// line sets, for the launcher then runs with that key's default.
void SayLostLine(Report* report, const std::string& where, const std::string& text,
                 const std::string& meant, const std::string& value,
                 const MediaSettings& settings) {
    if (IsVitalKey(meant) && !settings.count(meant)) {
        std::string consequence = value.empty() ? VitalConsequence(meant, settings)
                                                : IntendedConsequence(meant, value, settings);
        Say(report, kFindingError, where, "%s: %s", text.c_str(), consequence.c_str());
    } else {
        Say(report, kFindingWarning, where, "%s", text.c_str());
    }
}

}  // namespace

bool CheckSettingsEncoding(const std::string& bytes, const std::string& file, const char* where,
                           Report* report) {
    std::string encoding = UnreadableSettingsEncoding(bytes);
    if (encoding.empty()) return true;
    Say(report, kFindingError, file,
        "in %s: saved as %s, which the launcher cannot read: it finds no settings and runs with "
        "the defaults (title %s, registry key %s), so players are told to install the game "
        "first; save the file as UTF-8 and convert it with vorlin-media convert-env SOURCE "
        "vorlin.env, or save it as Shift-JIS (code page 932, Notepad's \"ANSI\" on a Japanese "
        "Windows)",
        where, encoding.c_str(), Shown(GetSettingDefault("TITLEBAR")).c_str(),
        Cp932ToDisplay(SettingsRegistryKey(MediaSettings())).c_str());
    return false;
}

void CheckSettingsLines(const std::string& bytes, const std::string& file,
                        const MediaSettings& settings, Report* report,
                        std::map<std::string, unsigned>* countingLines) {
    std::string raw = bytes;
    if (raw.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        Say(report, kFindingError, AtLine(file, 1),
            "begins with a UTF-8 byte order mark, which the launcher reads as part of the first "
            "line's key (that setting is lost): convert the file with vorlin-media convert-env, "
            "which drops it");
        raw.erase(0, 3);
    }
    std::string text = TextModeBytes(raw);
    SettingsReading reading = ReadSettingsAsLauncher(text);
    std::vector<ParsedRead> parsed;
    for (const SettingsRead& r : reading.reads) parsed.push_back(ParseRead(r));
    // The line whose value counts for each key: the last that sets it, before the reading stops.
    std::map<std::string, unsigned>& lastAt = *countingLines;
    lastAt.clear();
    for (const ParsedRead& p : parsed) {
        if (p.read->bytes.find('\0') != std::string::npos || p.kind == kEnvLineEnd) break;
        if (!p.read->midLine && p.kind == kEnvLineSetting) lastAt[p.key] = p.read->line;
    }

    std::map<std::string, unsigned> setAt;
    bool encodingTold = false;
    bool stopped = false;  // at binary data or the [EOF] line
    for (const ParsedRead& p : parsed) {
        const std::string& read = p.read->bytes;
        unsigned readLine = p.read->line;
        std::string where = AtLine(file, readLine);
        if (read.find('\0') != std::string::npos) {
            Say(report, kFindingError, where,
                "holds a NUL byte, which is no text: the launcher misreads this line and may "
                "read none after it; was the file saved in another encoding? Save it as UTF-8 "
                "and convert it with vorlin-media convert-env");
            stopped = true;
            break;
        }
        if (p.read->splitsLine && !p.read->midLine) {
            Say(report, kFindingWarning, where,
                "longer than %d bytes: the launcher reads the rest of the line as a line of its "
                "own",
                (int)kEnvLineBufferSize - 1);
        }
        bool nonAscii = false;
        if (!encodingTold && IsValidUtf8(read, &nonAscii) && nonAscii) {
            Say(report, kFindingError, where,
                "the text is UTF-8, not code page 932: the launcher would show it garbled; "
                "convert it with vorlin-media convert-env SOURCE TARGET");
            encodingTold = true;
        }
        if (nonAscii) encodingTold = true;  // the first line with such characters tells
        if (p.read->midLine) continue;
        if (p.kind == kEnvLineEnd) {
            stopped = true;
            break;
        }
        if (p.kind == kEnvLineSkip) {
            const std::string& token = p.token;
            if (token.empty() || read[0] == '/') continue;  // blank line or comment
            const SettingRule* rule = FindSettingRule(token.c_str());
            std::string meant, value;
            std::string said;
            if (rule) {
                meant = token;
                said = token + " has no value: the launcher skips the line (" + token + " stays " +
                       Shown(rule->defaultText) + ")";
            } else {
                said = UnknownKeyText(token, SecondWord(read), &meant, &value);
            }
            SayLostLine(report, where, said, meant, value, settings);
            continue;
        }
        const std::string& k = p.key;
        const std::string& v = p.value;
        const SettingRule* rule = FindSettingRule(k.c_str());
        if (!rule) {
            std::string meant, value;
            std::string said = UnknownKeyText(k, v, &meant, &value);
            SayLostLine(report, where, said, meant, value, settings);
            continue;
        }
        auto earlier = setAt.find(k);
        if (earlier != setAt.end())
            Say(report, kFindingNote, where,
                "%s is set again (first at line %u): this later value counts", k.c_str(),
                earlier->second);
        setAt[k] = readLine;
        // A value that breaks the update is an error on the line that counts; an earlier line
        // that a later one overrides does no harm.
        bool counts = lastAt.count(k) && lastAt[k] == readLine;
        bool vital = counts && (IsVitalKey(k) || k == "TITLEBAR");

        // What follows the value on its line: the launcher drops it.
        size_t restStart = p.valueEnd;
        while (restStart < read.size() && IsSeparatorByte(read[restStart])) restStart++;
        if (restStart < read.size()) {
            size_t restEnd = read.size();
            while (restEnd > restStart && IsSeparatorByte(read[restEnd - 1])) restEnd--;
            std::string said = k + " takes one word, " + Shown(v) +
                               "; the launcher drops the rest (" +
                               Shown(read.substr(restStart, restEnd - restStart)) +
                               "): write a space in a value as |";
            if (vital)
                Say(report, kFindingError, where, "%s; %s", said.c_str(),
                    VitalConsequence(k, settings).c_str());
            else
                Say(report, kFindingWarning, where, "%s", said.c_str());
        }
        std::string problem = ValueProblem(*rule, v);
        if (!problem.empty()) {
            if (vital && k == "EXENAME")
                Say(report, kFindingError, where, "%s %s %s: %s; write the file's name alone",
                    k.c_str(), Shown(v).c_str(), problem.c_str(),
                    VitalConsequence(k, settings).c_str());
            else
                Say(report, kFindingWarning, where, "%s %s %s", k.c_str(), Shown(v).c_str(),
                    problem.c_str());
        }
        if (v.size() > kSettingGetterBytes)
            Say(report, kFindingWarning, where,
                "%s is %u bytes long: the launcher keeps only the first %d", k.c_str(),
                (unsigned)v.size(), (int)kSettingGetterBytes);
    }
    if (!stopped && reading.readsRanOut) {
        Say(report, kFindingWarning, AtLine(file, reading.unreadLine),
            "past the launcher's last read (it reads %d lines of up to %d bytes): this line and "
            "every line after it are ignored",
            (int)kEnvMaxReads, (int)kEnvLineBufferSize - 1);
    }
}
