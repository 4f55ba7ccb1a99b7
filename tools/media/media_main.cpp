// vorlin-media: command line front end.
#include <stdarg.h>
#include <stdio.h>

#include "tools/common/tool_files.h"
#include "tools/common/tool_output.h"
#include "tools/media/media_tool.h"
#include "vorlin_version.h"

static const char kVersion[] = "vorlin-media " VORLIN_VERSION_TEXT "\n";

static const char kUsage[] =
    "usage: vorlin-media seal MEDIA | check MEDIA | convert-env SOURCE TARGET\n"
    "\n"
    "Seals an update media and checks it as the launcher (update.exe) will read it; converts\n"
    "its settings file (vorlin.env) from UTF-8 to the code page 932 the launcher reads.\n"
    "\n"
    "commands:\n"
    "  seal MEDIA    write MEDIA/update.sum: the XXH3 digest and size of every file an update\n"
    "                from MEDIA copies: the executable's .bin (EXENAME from vorlin.env, default\n"
    "                vorlin.exe, lower-cased with its .exe made .bin), update.arc, fastdata.arc,\n"
    "                data.arc, slowdata.arc, voice.arc, voice2.arc, voice3.arc, update.txt (those\n"
    "                present) and every file directly inside MEDIA/help. The file is written\n"
    "                under a temporary name and renamed, so it is never seen half-written.\n"
    "  check [--strict] [--install DIR] MEDIA\n"
    "                read MEDIA as the launcher will, report what is wrong as a compiler does\n"
    "                (\"FILE:LINE: error: ...\"), and end with a summary: the update title (the\n"
    "                window's title), the registry key of the install state (IsInst, InstTo,\n"
    "                Updated: HKEY_CURRENT_USER\\Software\\REG_GLOBAL\\REG_LOCAL), every file an\n"
    "                update copies and where to, and the seal's fingerprint (the END digest of\n"
    "                update.sum). --strict: warnings are errors. --install DIR: also what an\n"
    "                update into the install folder DIR would replace and add there, and the\n"
    "                room it needs all at once and one file at a time against the room free.\n"
    "  convert-env SOURCE TARGET\n"
    "                write TARGET, a vorlin.env in code page 932, from SOURCE, the same settings\n"
    "                in UTF-8 (with or without a byte order mark, LF or CR LF line ends): the\n"
    "                byte order mark dropped, every line ended with CR LF, every character\n"
    "                converted as Windows converts it to code page 932 (no best-fit guesses).\n"
    "                Refused, TARGET left as it was, for any character code page 932 lacks\n"
    "                (U+301C WAVE DASH, U+2212 MINUS SIGN, Hangul, emoji...) and any bytes that\n"
    "                are not UTF-8 (a file already in code page 932, for one), each reported as\n"
    "                SOURCE:LINE:COLUMN: LINE counts from 1, COLUMN counts characters (not\n"
    "                bytes) from 1; a line that is not UTF-8 is reported once, at its first\n"
    "                such byte. TARGET may be SOURCE: the file is converted in place. Warns\n"
    "                (SOURCE:LINE) about a line the launcher would split (over 511 bytes in\n"
    "                code page 932) or never read (after its 400 reads).\n"
    "  --version     the tool's version\n"
    "  --help        this text\n"
    "\n"
    "check reports ERRORS (the launcher would refuse, stop or fail):\n"
    "  - no vorlin.env where the launcher looks: MEDIA itself, then update.arc or, when that is\n"
    "    not an archive, the update folder, then fastdata.arc or the fastdata folder;\n"
    "  - an update title (TITLEBAR + \" "
    "\xE3\x82\xA2\xE3\x83\x83\xE3\x83\x97\xE3\x83\x87\xE3\x83\xBC\xE3\x83\x88"  // アップデート,
                                                                                // UTF-8
    " \" + VERSION) with a backslash that is not\n"
    "    the second byte of a double-byte character (the launcher ends without a word);\n"
    "  - a vorlin.env saved as UTF-8 instead of code page 932, or beginning with a UTF-8 byte\n"
    "    order mark;\n"
    "  - no update.rct (looked for as vorlin.env is), or one that does not decode;\n"
    "  - a mounted archive (update.arc, fastdata.arc) that is cut short;\n"
    "  - a mounted archive (update.arc, fastdata.arc) that fails vorlin-arc verify;\n"
    "  - a help file whose name has no code page 932 form, or a file whose destination would\n"
    "    be longer than 259 bytes under the default install folder, which check takes to be\n"
    "    C:\\Program Files\\[INSTFOL\\]INSTTO (INSTTO default VORLIN_APP), the folder the\n"
    "    launcher proposes (a folder chosen at install time may be longer or shorter);\n"
    "  - with update.sum: a malformed or damaged update.sum, and every file that is damaged\n"
    "    (digest differs), resized, missing (listed, not on the media) or unlisted (copied by\n"
    "    an update, not listed);\n"
    "  - names anywhere on the media that differ only in case (one name where the launcher\n"
    "    runs: one of the files is lost).\n"
    "and WARNINGS (allowed, but likely a mistake): no executable (.bin) on the media; a\n"
    "copied .arc that is not in the archive format (or fails verify); a picture wider or\n"
    "taller than 268 pixels, the side of the menu's picture square (the MAINDIALOG client\n"
    "height at 96 DPI with the dialog's font), which cuts it; in vorlin.env, each with its\n"
    "line: a key the launcher does not know (with the nearest it knows), a key without a\n"
    "value, a value not of its key's form (UPDATENEEDINSTALL a number; EXENAME, INSTTO and\n"
    "INSTFOL names), words after a value (the launcher keeps one: write spaces as |), a value\n"
    "over 127 bytes, a line over 511 bytes, lines past the 400th read; an UPDATEREADME that\n"
    "is not on the media; a loose vorlin.env in MEDIA beside a packed one (the loose one is\n"
    "read); and NOTES (usual, said so that nothing passes in silence): list entries not on\n"
    "the media, a key set twice.\n"
    "\n"
    "Names on the media are matched case-insensitively, as the launcher's platform matches them.\n"
    "Names become code page 932 text as the launcher sees them: on Windows from the folder\n"
    "listing (any system code page); elsewhere a name that is valid UTF-8 with non-ASCII\n"
    "characters is converted from UTF-8, any other name is taken as code page 932 bytes.\n"
    "\n"
    "Exit status: 0 success (check: no errors; warnings alone give 0 unless --strict),\n"
    "1 failure, errors found or a refused conversion, 2 bad arguments.\n";

const char kToolName[] = "vorlin-media";

int main(int argc, char** argv) {
    PrepareConsole();
    std::vector<std::string> args = GetCommandArguments(argc, argv);
    if (args.empty()) {
        WriteText(stderr, kUsage);
        return kExitUsage;
    }
    const std::string& command = args[0];
    for (size_t i = 0; i < args.size(); i++) {
        if (args[i] == "--help" || args[i] == "-h" || (i == 0 && args[i] == "help")) {
            WriteText(stdout, kUsage);
            return kExitOk;
        }
        if (args[i] == "--version") {
            WriteText(stdout, kVersion);
            return kExitOk;
        }
    }
    std::vector<std::string> rest(args.begin() + 1, args.end());
    if (command == "seal") return RunSeal(rest);
    if (command == "check") return RunCheck(rest);
    if (command == "convert-env") return RunConvertEnv(rest);
    PrintError("unknown command '%s' (try vorlin-media --help)", command.c_str());
    return kExitUsage;
}
