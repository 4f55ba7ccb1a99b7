// What the media tools print, in one style: results on stdout, messages on stderr as
// "vorlin-TOOL: message" (findings of a check as "FILE:LINE: error: ..."). Text inside the tools is
// the platform's own (bytes on POSIX systems, UTF-8 on Windows). On Windows a console gets it as
// Unicode and a file or pipe as UTF-8, so that no character is lost whatever the system's code
// page.
#pragma once

#include <stdarg.h>
#include <stdio.h>

#include <string>

// The program's name ("vorlin-arc"), defined by each tool's main file.
extern const char kToolName[];

// Sets the console up for the text written here (Windows); nothing elsewhere. Called first.
void PrepareConsole();

// Writes text to stdout or stderr as described above.
void WriteText(FILE* stream, const std::string& text);

// printf-style formatting into a string.
std::string FormatText(const char* format, va_list args);
std::string Format(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// Prints kToolName, ": " and the formatted message, and a line end, to stderr.
void PrintError(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// Prints the formatted text to stdout.
void PrintOut(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
