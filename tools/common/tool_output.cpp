// The tools' printing (see tool_output.h); the platform's WriteText and PrepareConsole are in
// tool_files_posix.cpp and tool_files_win.cpp.
#include "tools/common/tool_output.h"

std::string FormatText(const char* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    char small[512];
    int n = vsnprintf(small, sizeof small, format, copy);
    va_end(copy);
    if (n < 0) return std::string();
    if ((size_t)n < sizeof small) return std::string(small, (size_t)n);
    std::string text((size_t)n + 1, '\0');
    vsnprintf(&text[0], text.size(), format, args);
    text.pop_back();
    return text;
}

std::string Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = FormatText(format, args);
    va_end(args);
    return text;
}

void PrintError(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = std::string(kToolName) + ": " + FormatText(format, args) + "\n";
    va_end(args);
    fflush(stdout);
    WriteText(stderr, text);
}

void PrintOut(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = FormatText(format, args);
    va_end(args);
    WriteText(stdout, text);
}
