// vorlin-arc: command line front end, its options and output, and the `hash` command.
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "resfs/cp932_lower.h"
#include "tools/common/tool_files.h"
#include "tools/common/tool_output.h"
#include "tools/arc/arc_tool.h"
#include "vorlin_version.h"

static const char kUsage[] =
    "usage: vorlin-arc COMMAND ARGUMENTS\n"
    "\n"
    "Writes and inspects the launcher's resource archives (\"VorlinArcV1.000\").\n"
    "\n"
    "commands:\n"
    "  pack OUT.arc INPUTS... [-v] [--all]\n"
    "                           pack files and folders (folders recursively) into OUT.arc;\n"
    "                           in folders, subfolders ending in a dot or named debuginfo and\n"
    "                           files ending in .lnk .exe .com .dll .log .sue .mdb .vrs .vrh\n"
    "                           .db .txt are left out, as the launcher leaves them out, and\n"
    "                           counted (-v names each); --all keeps them, for an archive the\n"
    "                           game itself reads (data.arc, voice.arc...), whose files the\n"
    "                           game may ask for; a name hash that two inputs share is refused\n"
    "  list ARC [NAMES...]      hash, offset and size of each file; NAMES are shown beside\n"
    "                           the hashes they have (exit status 1 if one is not there)\n"
    "  extract ARC [NAMES...] [-o DIR]\n"
    "                           write each NAME's file under its path below DIR (default: the\n"
    "                           current folder), creating folders; \\ and / both separate\n"
    "                           folders. Without NAMES, every file is written as its hash\n"
    "                           (eight hex digits). A name that is absolute, has a drive\n"
    "                           letter or a .. part, or would lead out of DIR is refused;\n"
    "                           nothing is written unless every NAME is in ARC and no file\n"
    "                           is there already (--force replaces files)\n"
    "  verify ARC               check magic, index order, offsets, duplicate hashes, and that\n"
    "                           the file ends where its data ends (a cut-short archive fails)\n"
    "  hash NAME...             the lookup key of each name: the CRC-32 of its final\n"
    "                           component, lower-cased as code page 932 text\n"
    "  --help                   this text\n"
    "  --version                the tool's version\n"
    "\n"
    "options:\n"
    "  --names utf-8|cp932      (pack, list, extract, hash) how names are read. The launcher\n"
    "                           keys files by their code page 932 names. By default a name\n"
    "                           that is valid UTF-8 with non-ASCII characters is converted to\n"
    "                           code page 932 and any other is taken as code page 932 bytes;\n"
    "                           utf-8 converts every name, cp932 takes every name's bytes as\n"
    "                           they are. On Windows names are Unicode and always converted.\n"
    "                           A name with a character that code page 932 lacks (Windows'\n"
    "                           table: U+FF5E, not U+301C; U+FF0D, not U+2212) is refused\n"
    "  --all                    (pack) keep the files and folders that the launcher's folder\n"
    "                           rules leave out\n"
    "  --force                  (extract) replace files that are already there\n"
    "  -o DIR                   (extract) the folder to write into\n"
    "\n"
    "Exit status: 0 success, 1 failure or problems found, 2 bad arguments.\n";

const char kToolName[] = "vorlin-arc";

static int RunHash(int argc, char** argv) {
    CommandOptions options;
    if (!ParseCommandOptions("hash", argc, argv, kOptionNames, &options)) return kExitUsage;
    if (options.operands.empty()) {
        PrintError("hash: give at least one name");
        return kExitUsage;
    }
    int status = kExitOk;
    for (const char* name : options.operands) {
        std::string cp932, error;
        if (!ConvertNameToCp932(name, options.names, &cp932, &error)) {
            PrintError("%s: %s", name, error.c_str());
            status = kExitFailed;
            continue;
        }
        PrintOut("%08x  %s\n", (unsigned)ComputeLookupKey(cp932.c_str()), name);
    }
    return status;
}

int main(int argc, char** argv) {
    PrepareConsole();
    std::vector<std::string> args = GetCommandArguments(argc, argv);
    if (args.empty()) {
        WriteText(stderr, kUsage);
        return kExitUsage;
    }
    const std::string& command = args[0];
    bool help = command == "--help" || command == "-h" || command == "help";
    for (size_t i = 1; i < args.size(); i++) help = help || args[i] == "--help";
    if (help) {
        WriteText(stdout, kUsage);
        return kExitOk;
    }
    if (command == "--version") {
        WriteText(stdout, "vorlin-arc " VORLIN_VERSION_TEXT "\n");
        return kExitOk;
    }
    // The commands take C strings, as main's own arguments were.
    std::vector<char*> rest;
    for (size_t i = 1; i < args.size(); i++) rest.push_back(&args[i][0]);
    rest.push_back(nullptr);
    int restCount = (int)args.size() - 1;
    if (command == "pack") return RunPack(restCount, rest.data());
    if (command == "list") return RunList(restCount, rest.data());
    if (command == "verify") return RunVerify(restCount, rest.data());
    if (command == "extract") return RunExtract(restCount, rest.data());
    if (command == "hash") return RunHash(restCount, rest.data());
    PrintError("unknown command '%s' (try vorlin-arc --help)", command.c_str());
    return kExitUsage;
}
