// The findings of `check` (see media_report.h).
#include "tools/media/media_report.h"

#include <stdarg.h>

#include "tools/common/tool_output.h"

void Say(Report* report, FindingKind kind, const std::string& where, const char* format, ...) {
    if (kind == kFindingWarning && report->strict) kind = kFindingError;
    static const char* const kNames[] = {"error", "warning", "note"};
    va_list args;
    va_start(args, format);
    std::string text = where + ": " + kNames[kind] + ": " + FormatText(format, args) + "\n";
    va_end(args);
    WriteText(stdout, text);
    if (kind == kFindingError)
        report->errors++;
    else if (kind == kFindingWarning)
        report->warnings++;
    else
        report->notes++;
}

std::string AtLine(const std::string& file, unsigned line) {
    return file + ":" + std::to_string(line);
}
