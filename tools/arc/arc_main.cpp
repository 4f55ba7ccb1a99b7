// vorlin-arc: command line front end, and the `hash` command.
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "resfs/cp932_lower.h"
#include "tools/arc/arc_tool.h"

static const char kUsage[] =
    "usage: vorlin-arc COMMAND ARGUMENTS\n"
    "\n"
    "Writes and inspects the launcher's resource archives (\"VorlinArcV1.000\").\n"
    "\n"
    "commands:\n"
    "  pack OUT.arc INPUTS...   pack files and folders (folders recursively) into OUT.arc;\n"
    "                           in folders, subfolders ending in a dot or named debuginfo and\n"
    "                           files ending in .lnk .exe .com .dll .log .sue .mdb .vrs .vrh\n"
    "                           .db .txt are skipped, as the launcher skips them; a name hash\n"
    "                           that two inputs share is refused\n"
    "  list ARC [NAMES...]      hash, offset and size of each file; NAMES are shown beside\n"
    "                           the hashes they have (exit status 1 if one is not there)\n"
    "  verify ARC               check magic, index order, offsets and duplicate hashes\n"
    "  hash NAME...             the lookup key of each name: the CRC-32 of its final\n"
    "                           component, lower-cased as code page 932 text\n"
    "  --help                   this text\n"
    "\n"
    "Names are code page 932 text. Exit status: 0 success, 1 failure or problems found,\n"
    "2 bad arguments.\n";

void PrintError(const char* format, ...) {
    va_list args;
    va_start(args, format);
    fputs("vorlin-arc: ", stderr);
    vfprintf(stderr, format, args);
    fputc('\n', stderr);
    va_end(args);
}

static int RunHash(int argc, char** argv) {
    if (argc < 1) {
        PrintError("hash: give at least one name");
        return kExitUsage;
    }
    for (int i = 0; i < argc; i++)
        printf("%08x  %s\n", (unsigned)ComputeLookupKey(argv[i]), argv[i]);
    return kExitOk;
}

int main(int argc, char** argv) {
    if (argc < 2) {
        fputs(kUsage, stderr);
        return kExitUsage;
    }
    const char* command = argv[1];
    if (strcmp(command, "--help") == 0 || strcmp(command, "-h") == 0 ||
        strcmp(command, "help") == 0) {
        fputs(kUsage, stdout);
        return kExitOk;
    }
    for (int i = 2; i < argc; i++) {
        if (strcmp(argv[i], "--help") == 0) {
            fputs(kUsage, stdout);
            return kExitOk;
        }
    }
    int rest = argc - 2;
    char** args = argv + 2;
    if (strcmp(command, "pack") == 0) return RunPack(rest, args);
    if (strcmp(command, "list") == 0) return RunList(rest, args);
    if (strcmp(command, "verify") == 0) return RunVerify(rest, args);
    if (strcmp(command, "hash") == 0) return RunHash(rest, args);
    PrintError("unknown command '%s' (try vorlin-arc --help)", command);
    return kExitUsage;
}
