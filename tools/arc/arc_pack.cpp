// `pack`: builds an archive from files and folders (tools/common/archive_pack.h) and says what
// it packed and what it left out.
#include "tools/arc/arc_tool.h"
#include "tools/common/archive_pack.h"

int RunPack(int argc, char** argv) {
    CommandOptions options;
    if (!ParseCommandOptions("pack", argc, argv, kOptionNames | kOptionVerbose | kOptionAll,
                             &options))
        return kExitUsage;
    if (options.operands.size() < 2) {
        PrintError("pack: give the archive to write and at least one file or folder");
        return kExitUsage;
    }
    std::string outPath = options.operands[0];
    std::vector<std::string> inputs(options.operands.begin() + 1, options.operands.end());
    PackResult result;
    if (!PackArchive(outPath, inputs, {options.names, options.all, options.verbose}, &result))
        return kExitFailed;
    PrintOut("packed %u file%s, %u bytes, into %s\n", result.files, result.files == 1 ? "" : "s",
             (unsigned)result.bytes, outPath.c_str());
    if (result.filesLeftOut + result.foldersLeftOut > 0) {
        PrintOut(
            "left out %u file%s and %u folder%s that the launcher does not read from a "
            "folder (.txt, .exe, .dll, .lnk and the like; folders named debuginfo or "
            "ending in a dot)%s; --all keeps them, for an archive the game reads\n",
            result.filesLeftOut, result.filesLeftOut == 1 ? "" : "s", result.foldersLeftOut,
            result.foldersLeftOut == 1 ? "" : "s", options.verbose ? "" : "; -v names each");
    }
    return kExitOk;
}
