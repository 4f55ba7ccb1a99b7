// `convert-env`: a settings file written in UTF-8 (an editor's default) made into the code page 932
// text the launcher reads. Every character is converted as Windows converts it without best-fit
// guesses, so the launcher reads back exactly what was written; a character code page 932 lacks,
// or bytes that are not UTF-8, refuse the whole file, each reported where it stands. The result has
// no byte order mark and CR LF line ends, and is written whole or not at all.
#include <stdio.h>

#include <string>
#include <vector>

#include "settings/env_line.h"
#include "tools/common/cp932_names.h"
#include "tools/common/tool_files.h"
#include "tools/common/utf8_text.h"
#include "tools/media/media_settings.h"
#include "tools/media/media_tool.h"

namespace {

// Far more than any settings file (the launcher reads at most 400 lines of 511 bytes): a larger
// SOURCE is a wrong argument, not settings.
const uint64_t kMaxSourceBytes = 4u << 20;

const char kUtf8Bom[] = "\xEF\xBB\xBF";

struct Conversion {
    std::string source;             // SOURCE as given, for messages
    std::string cp932;              // the converted text
    std::vector<size_t> lineBytes;  // code page 932 bytes of each line, its line end left out
    bool cp932Hint;  // SOURCE is well-formed code page 932 text: say so at its first non-UTF-8
    int problems;
};

void Problem(Conversion* c, size_t line, size_t column, const std::string& text) {
    WriteText(stderr, Format("%s:%u:%u: error: %s\n", c->source.c_str(), (unsigned)line,
                             (unsigned)column, text.c_str()));
    c->problems++;
}

// Converts one line (without its line end) and appends it with CR LF. A line that is not UTF-8
// is reported once, at its first such byte: where its characters stand after that is unknown.
void ConvertLine(const std::string& line, size_t lineNumber, Conversion* c) {
    size_t before = c->cp932.size();
    size_t pos = 0;
    for (size_t column = 1; pos < line.size(); column++) {
        uint32_t codePoint;
        if (!DecodeUtf8(line, &pos, &codePoint)) {
            std::string text = Format("not UTF-8 (byte 0x%02X)", (unsigned)(uint8_t)line[pos]);
            if (c->cp932Hint) {
                text += "; if the file is already code page 932, it needs no conversion";
                c->cp932Hint = false;
            }
            Problem(c, lineNumber, column, text);
            break;
        }
        if (!EncodeCp932Char(codePoint, &c->cp932))
            Problem(c, lineNumber, column, NoCp932FormMessage(codePoint));
    }
    c->lineBytes.push_back(c->cp932.size() - before);
    c->cp932 += "\r\n";
}

void Warn(const Conversion& c, size_t line, const std::string& text) {
    WriteText(stderr,
              Format("%s:%u: warning: %s\n", c.source.c_str(), (unsigned)line, text.c_str()));
}

void WarnAboutLauncherLimits(const Conversion& c) {
    std::string text = TextModeBytes(c.cp932);
    SettingsReading reading = ReadSettingsAsLauncher(text);
    for (const SettingsRead& r : reading.reads) {
        if (!r.splitsLine || r.midLine) continue;
        size_t line = r.line;
        Warn(c, line,
             Format("%u bytes in code page 932, more than the %d the launcher reads at once: it "
                    "takes the bytes after the first %d as a line of their own",
                    (unsigned)c.lineBytes[line - 1], kEnvLineBufferSize - 1,
                    kEnvLineBufferSize - 1));
    }
    if (reading.readsRanOut && text.compare(reading.unread, 5, "[EOF]") != 0)
        Warn(c, reading.unreadLine,
             Format("the launcher reads nothing from here on: it stops after %d reads (one a "
                    "line, more for a line over %d bytes)",
                    kEnvMaxReads, kEnvLineBufferSize - 1));
}

}  // namespace

bool ReadSettingsSource(const std::string& path, std::string* bytes, std::string* error) {
    uint64_t size = 0;
    PathKind kind = GetPathKind(path, &size);
    if (kind != kPathFile) {
        *error = kind == kPathMissing ? "no such file" : "not a file";
        return false;
    }
    if (size > kMaxSourceBytes) {
        *error =
            Format("%llu bytes is far too large for a settings file", (unsigned long long)size);
        return false;
    }
    FILE* file = OpenFile(path, "rb");
    if (!file) {
        *error = "cannot be opened";
        return false;
    }
    bytes->resize((size_t)size + 1);
    bytes->resize(fread(&(*bytes)[0], 1, bytes->size(), file));
    bool failed = ferror(file) != 0;
    fclose(file);
    if (failed) *error = "read error";
    return !failed;
}

bool ConvertSettingsToCp932(const std::string& source, const std::string& utf8, std::string* cp932,
                            size_t* lines, int* problems) {
    Conversion c = {source, "", {}, false, 0};
    std::string bytes = utf8;
    if (bytes.compare(0, 2, "\xFF\xFE") == 0 || bytes.compare(0, 2, "\xFE\xFF") == 0) {
        Problem(&c, 1, 1,
                "UTF-16, not UTF-8 (it begins with a UTF-16 byte order mark): save it as UTF-8");
    } else {
        if (bytes.compare(0, 3, kUtf8Bom) == 0) bytes.erase(0, 3);
        c.cp932Hint = IsCp932Text(bytes);
        size_t start = 0, lineNumber = 1;
        while (start < bytes.size()) {
            size_t end = bytes.find('\n', start);
            if (end == std::string::npos) end = bytes.size();
            std::string line = bytes.substr(start, end - start);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            ConvertLine(line, lineNumber++, &c);
            start = end + 1;
        }
    }
    *problems = c.problems;
    if (c.problems > 0) return false;
    WarnAboutLauncherLimits(c);
    *cp932 = c.cp932;
    *lines = c.lineBytes.size();
    return true;
}

int RunConvertEnv(const std::vector<std::string>& args) {
    if (args.size() != 2) {
        PrintError("convert-env: give a UTF-8 source file and the vorlin.env to write");
        return kExitUsage;
    }
    const std::string& source = args[0];
    const std::string& target = args[1];
    std::string bytes, error, cp932;
    size_t lines = 0;
    int problems = 0;
    if (!ReadSettingsSource(source, &bytes, &error)) {
        PrintError("cannot read %s: %s", source.c_str(), error.c_str());
        return kExitFailed;
    }
    if (!ConvertSettingsToCp932(source, bytes, &cp932, &lines, &problems)) {
        PrintError("cannot convert %s: %d problem%s; %s not written", source.c_str(), problems,
                   problems == 1 ? "" : "s", target.c_str());
        return kExitFailed;
    }
    if (!ReplaceFileWithBytes(target, cp932, &error)) {
        PrintError("cannot write %s: %s", target.c_str(), error.c_str());
        return kExitFailed;
    }
    PrintOut("wrote %s: %u line%s, code page 932\n", target.c_str(), (unsigned)lines,
             lines == 1 ? "" : "s");
    return kExitOk;
}
