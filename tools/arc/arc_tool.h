// vorlin-arc: writes and inspects resource archives ("VorlinArcV1.000"). Each command returns
// the process exit status: 0 success, 1 failure (or problems found), 2 bad arguments.
//
// Text inside the tool (paths, names, messages) is the platform's own: bytes as given on POSIX
// systems, UTF-8 on Windows, where arguments and folder listings arrive as UTF-16. Names become
// the launcher's code page 932 text only for keying (tools/common/cp932_names.h).
#pragma once

#include <stdint.h>
#include <string>
#include <vector>

#include "tools/common/cp932_names.h"
#include "tools/common/tool_output.h"

enum { kExitOk = 0, kExitFailed = 1, kExitUsage = 2 };

int RunPack(int argc, char** argv);     // pack [--names M] [--all] [-v] OUT.arc INPUTS...
int RunList(int argc, char** argv);     // list [--names M] ARC [NAMES...]
int RunVerify(int argc, char** argv);   // verify ARC
int RunExtract(int argc, char** argv);  // extract [--names M] [--force] ARC [NAMES...] [-o DIR]

// The options of the commands, wherever they stand among the operands ("--" ends them)
// (arc_options.cpp).
enum : unsigned {
    kOptionNames = 1,
    kOptionForce = 2,
    kOptionOutput = 4,
    kOptionVerbose = 8,
    kOptionAll = 16,
};

struct CommandOptions {
    NameMode names;               // --names utf-8|cp932 (kNamesAuto when not given)
    bool force;                   // --force
    const char* outputDir;        // -o DIR (null when not given)
    bool verbose;                 // -v
    bool all;                     // --all
    std::vector<char*> operands;  // everything else, in order
};

// Splits a command's arguments into the options it accepts (`accepted`, kOption... bits) and
// its operands. Returns false after printing a message when an option is unknown or lacks its
// value.
bool ParseCommandOptions(const char* command, int argc, char** argv, unsigned accepted,
                         CommandOptions* options);
