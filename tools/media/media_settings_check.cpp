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

}  // namespace

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
// the nearest known key.
std::string UnknownKeyText(const std::string& key) {
    for (size_t i = 0; i < kSettingRuleCount; i++) {
        std::string known = kSettingRules[i].key;
        if (key.size() > known.size() && key.compare(0, known.size(), known) == 0)
            return "unknown key " + Shown(key) + ": a space or tab must separate " + known +
                   " from its value ('" + known + " " + Cp932ToDisplay(key.substr(known.size())) +
                   "')";
    }
    std::string near = NearestSettingKey(key);
    if (!near.empty())
        return "unknown key " + Shown(key) + ", which the launcher ignores; did you mean " + near +
               "? (keys are compared exactly)";
    return "unknown key " + Shown(key) + ", which the launcher ignores";
}

}  // namespace

void CheckSettingsLines(const std::string& bytes, const std::string& file, Report* report) {
    std::string raw = bytes;
    if (raw.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        Say(report, kFindingError, AtLine(file, 1),
            "begins with a UTF-8 byte order mark, which the launcher reads as part of the first "
            "line's key (that setting is lost): convert the file with vorlin-media convert-env, "
            "which drops it");
        raw.erase(0, 3);
    }
    std::string text = TextModeBytes(raw);
    std::map<std::string, unsigned> setAt;
    bool encodingTold = false;
    SettingsReading reading = ReadSettingsAsLauncher(text);
    bool stopped = false;  // at binary data or the [EOF] line
    for (const SettingsRead& r : reading.reads) {
        const std::string& read = r.bytes;
        unsigned readLine = r.line;
        if (read.find('\0') != std::string::npos) {  // binary data: not text any more
            stopped = true;
            break;
        }
        if (r.splitsLine && !r.midLine) {
            Say(report, kFindingWarning, AtLine(file, readLine),
                "longer than %d bytes: the launcher reads the rest of the line as a line of its "
                "own",
                (int)kEnvLineBufferSize - 1);
        }
        bool nonAscii = false;
        if (!encodingTold && IsValidUtf8(read, &nonAscii) && nonAscii) {
            Say(report, kFindingError, AtLine(file, readLine),
                "the text is UTF-8, not code page 932: the launcher would show it garbled; "
                "convert it with vorlin-media convert-env SOURCE TARGET");
            encodingTold = true;
        }
        if (nonAscii) encodingTold = true;  // the first line with such characters tells
        if (r.midLine) continue;

        char buffer[kEnvLineBufferSize];
        memset(buffer, 0, sizeof buffer);
        memcpy(buffer, read.data(), read.size());
        const char* key = nullptr;
        const char* value = nullptr;
        EnvLineKind kind = ParseEnvLine(buffer, &key, &value);
        if (kind == kEnvLineEnd) {
            stopped = true;
            break;
        }
        std::string token;
        for (size_t i = 0; i < read.size() && !IsSeparatorByte(read[i]); i++) token += read[i];
        if (kind == kEnvLineSkip) {
            if (token.empty() || read[0] == '/') continue;  // blank line or comment
            const SettingRule* rule = FindSettingRule(token.c_str());
            if (rule)
                Say(report, kFindingWarning, AtLine(file, readLine),
                    "%s has no value: the launcher skips the line (%s stays %s)", token.c_str(),
                    token.c_str(), Shown(rule->defaultText).c_str());
            else
                Say(report, kFindingWarning, AtLine(file, readLine), "%s",
                    UnknownKeyText(token).c_str());
            continue;
        }
        std::string k = key, v = value;
        const SettingRule* rule = FindSettingRule(key);
        if (!rule) {
            Say(report, kFindingWarning, AtLine(file, readLine), "%s", UnknownKeyText(k).c_str());
            continue;
        }
        auto earlier = setAt.find(k);
        if (earlier != setAt.end())
            Say(report, kFindingNote, AtLine(file, readLine),
                "%s is set again (first at line %u): this later value counts", key,
                earlier->second);
        setAt[k] = readLine;

        // What follows the value on its line: the launcher drops it.
        size_t valueEnd = (size_t)(value - buffer) + v.size();
        size_t restStart = valueEnd;
        while (restStart < read.size() && IsSeparatorByte(read[restStart])) restStart++;
        if (restStart < read.size()) {
            size_t restEnd = read.size();
            while (restEnd > restStart && IsSeparatorByte(read[restEnd - 1])) restEnd--;
            Say(report, kFindingWarning, AtLine(file, readLine),
                "%s takes one word, %s; the launcher drops the rest (%s): write a space in a "
                "value as |",
                key, Shown(v).c_str(), Shown(read.substr(restStart, restEnd - restStart)).c_str());
        }
        std::string problem = ValueProblem(*rule, v);
        if (!problem.empty())
            Say(report, kFindingWarning, AtLine(file, readLine), "%s %s %s", key, Shown(v).c_str(),
                problem.c_str());
        if (v.size() > kSettingGetterBytes)
            Say(report, kFindingWarning, AtLine(file, readLine),
                "%s is %u bytes long: the launcher keeps only the first %d", key,
                (unsigned)v.size(), (int)kSettingGetterBytes);
    }
    if (!stopped && reading.readsRanOut) {
        Say(report, kFindingWarning, AtLine(file, reading.unreadLine),
            "past the launcher's last read (it reads %d lines of up to %d bytes): this line and "
            "every line after it are ignored",
            (int)kEnvMaxReads, (int)kEnvLineBufferSize - 1);
    }
}
