// A media's settings file read as the launcher reads it (see media_settings.h).
#include "tools/media/media_settings.h"

#include <stdio.h>

#include "resfs/path_limit.h"
#include "settings/env_line.h"
#include "settings/setting_rules.h"
#include "update/core/update_list.h"

// Settings files are read through at most 400 reads of 511 bytes; twice that many raw bytes
// cover any line-end conversion.
extern const size_t kMaxSettingsBytes = 2 * kEnvMaxReads * (kEnvLineBufferSize - 1);

std::string TextModeBytes(const std::string& raw) {
    std::string text;
    for (size_t i = 0; i < raw.size(); i++) {
        if (raw[i] == '\x1A') break;
        if (raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n') continue;
        text += raw[i];
    }
    return text;
}

namespace {

// The launcher's reading of the text, watched read by read.
struct ReadWatch {
    EnvText source;
    SettingsReading* reading;
    unsigned line;  // the line the next read starts in
    bool midLine;
};

bool WatchRead(void* p, char* buffer, int size) {
    ReadWatch* w = (ReadWatch*)p;
    size_t start = w->source.pos;
    if (!ReadEnvTextLine(&w->source, buffer, size)) return false;
    const char* text = w->source.bytes;
    size_t end = w->source.pos;
    bool endsLine = text[end - 1] == '\n';
    bool splits = !endsLine && end < w->source.size && text[end] != '\n';
    w->reading->reads.push_back(
        {std::string(text + start, end - start), w->line, w->midLine, splits});
    if (endsLine) w->line++;
    w->midLine = !endsLine;
    return true;
}

bool IgnoreSetting(void*, const char*, const char*) {
    return true;
}

bool StoreSetting(void* sink, const char* key, const char* value) {
    std::string text = value;
    BarsToSpaces(&text[0]);
    (*(MediaSettings*)sink)[key] = text;
    return true;
}

}  // namespace

SettingsReading ReadSettingsAsLauncher(const std::string& text) {
    SettingsReading reading = {{}, false, text.size(), 0};
    ReadWatch watch = {{text.data(), text.size(), 0}, &reading, 1, false};
    EnvReadEnd end = ReadEnvLines(WatchRead, &watch, IgnoreSetting, nullptr);
    if (end == kEnvReadLimit && watch.source.pos < text.size()) {
        reading.readsRanOut = true;
        reading.unread = watch.source.pos;
        reading.unreadLine = watch.line;
    }
    return reading;
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
    EnvText source = {text.data(), text.size(), 0};
    ReadEnvLines(ReadEnvTextLine, &source, StoreSetting, settings);
    return true;
}

std::string GetMediaSetting(const MediaSettings& settings, const char* key) {
    auto found = settings.find(key);
    std::string value = found == settings.end() ? GetSettingDefault(key) : found->second;
    return value.substr(0, kSettingGetterBytes);
}

std::string ComposeMediaUpdateTitle(const MediaSettings& settings) {
    char title[kUpdateTitleBytes + 1];
    ComposeUpdateTitle(GetMediaSetting(settings, "TITLEBAR").c_str(),
                       GetMediaSetting(settings, "VERSION").c_str(), title);
    return title;
}

std::string MediaExeName(const MediaSettings& settings) {
    char mediaName[kUpdateNameBytes];
    MakeMediaExeName(GetMediaSetting(settings, "EXENAME").c_str(), mediaName);
    return mediaName;
}

std::string DefaultInstallFolder(const MediaSettings& settings) {
    char folder[kPathBytes];
    ComposeProposedInstallFolder("C:\\", GetMediaSetting(settings, "INSTFOL").c_str(),
                                 GetMediaSetting(settings, "INSTTO").c_str(), folder,
                                 sizeof folder);
    return folder;
}

std::string SettingsRegistryKey(const MediaSettings& settings) {
    return "HKEY_CURRENT_USER\\Software\\" + GetMediaSetting(settings, "REG_GLOBAL") + "\\" +
           GetMediaSetting(settings, "REG_LOCAL");
}
