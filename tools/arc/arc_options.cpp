// The options of vorlin-arc's commands (see arc_tool.h). Every command parses its arguments here;
// the commands themselves live in their own files and are dispatched from arc_main.cpp.
#include <string.h>

#include "tools/arc/arc_tool.h"

bool ParseCommandOptions(const char* command, int argc, char** argv, unsigned accepted,
                         CommandOptions* options) {
    options->names = kNamesAuto;
    options->force = false;
    options->outputDir = nullptr;
    options->verbose = false;
    options->all = false;
    options->operands.clear();
    bool optionsEnded = false;
    for (int i = 0; i < argc; i++) {
        const char* arg = argv[i];
        if (optionsEnded || arg[0] != '-' || arg[1] == 0) {
            options->operands.push_back(argv[i]);
        } else if (strcmp(arg, "--") == 0) {
            optionsEnded = true;
        } else if ((accepted & kOptionNames) && strcmp(arg, "--names") == 0) {
            if (i + 1 >= argc || !ParseNameMode(argv[i + 1], &options->names)) {
                PrintError("%s: --names takes utf-8 or cp932", command);
                return false;
            }
            i++;
        } else if ((accepted & kOptionVerbose) && strcmp(arg, "-v") == 0) {
            options->verbose = true;
        } else if ((accepted & kOptionAll) && strcmp(arg, "--all") == 0) {
            options->all = true;
        } else if ((accepted & kOptionForce) && strcmp(arg, "--force") == 0) {
            options->force = true;
        } else if ((accepted & kOptionOutput) && strcmp(arg, "-o") == 0) {
            if (i + 1 >= argc || argv[i + 1][0] == 0) {
                PrintError("%s: -o takes the folder to write into", command);
                return false;
            }
            options->outputDir = argv[++i];
        } else {
            PrintError("%s: unknown option '%s' (try vorlin-arc --help)", command, arg);
            return false;
        }
    }
    return true;
}
