// vorlin-arc: writes and inspects resource archives ("VorlinArcV1.000"). Each command returns
// the process exit status: 0 success, 1 failure (or problems found), 2 bad arguments.
#pragma once

#include <stdint.h>
#include <string>

enum { kExitOk = 0, kExitFailed = 1, kExitUsage = 2 };

int RunPack(int argc, char** argv);    // pack OUT.arc INPUTS...
int RunList(int argc, char** argv);    // list ARC [NAMES...]
int RunVerify(int argc, char** argv);  // verify ARC

// Prints "vorlin-arc: " and the formatted message to stderr.
void PrintError(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// Whether a folder met while packing is skipped, and whether a file in one is left out, by the
// launcher's own rules for directory mounts.
bool IsSkippedDirectory(const char* name);
bool IsExcludedFile(const char* name);
