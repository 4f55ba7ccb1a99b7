// vorlin-media: command line front end.
#include <stdarg.h>
#include <stdio.h>

#include "tools/common/tool_files.h"
#include "tools/common/tool_output.h"
#include "tools/media/media_tool.h"
#include "vorlin_version.h"

static const char kVersion[] = "vorlin-media " VORLIN_VERSION_TEXT "\n";

static const char kUsage[] =
    "usage: vorlin-media build SOURCE OUTPUT | seal MEDIA | check MEDIA |\n"
    "       convert-env SOURCE TARGET\n"
    "\n"
    "Builds an update media from a publisher's source folder, seals it and checks it as the\n"
    "launcher (update.exe) will read it; converts its settings file (vorlin.env) from UTF-8 to\n"
    "the code page 932 the launcher reads.\n"
    "\n"
    "commands:\n"
    "  build [-v] SOURCE OUTPUT\n"
    "                make the media OUTPUT from the folder SOURCE: SOURCE/vorlin.env (UTF-8,\n"
    "                converted, or code page 932) and the menu picture SOURCE/update.png (.bmp,\n"
    "                .jpg, .gif: encoded; or update.rct) go into update.arc with the files of\n"
    "                SOURCE/update; each folder fastdata, data, slowdata, voice, voice2, voice3\n"
    "                becomes NAME.arc with every file in it (as pack --all); the executable\n"
    "                SOURCE/EXENAME is carried under its .bin name; update.exe (from the\n"
    "                vorlin-update package), update.txt, help and everything else are copied as\n"
    "                they are. Then the media is sealed and checked with --strict. It is built\n"
    "                in a folder beside OUTPUT and replaces OUTPUT only when the check passes;\n"
    "                otherwise OUTPUT stays as it was and nothing is left beside it.\n"
    "  seal [-v] MEDIA\n"
    "                write MEDIA/update.sum: the XXH3 digest and size of every file an update\n"
    "                from MEDIA copies: the executable's .bin (EXENAME from vorlin.env, default\n"
    "                vorlin.exe, lower-cased with its .exe made .bin), update.arc, fastdata.arc,\n"
    "                data.arc, slowdata.arc, voice.arc, voice2.arc, voice3.arc, update.txt (those\n"
    "                present) and every file directly inside MEDIA/help. The file is written\n"
    "                under a temporary name and renamed, so it is never seen half-written.\n"
    "                Refused, nothing written, when a copied archive fails vorlin-arc verify\n"
    "                (cut short, damaged), when names on the media differ only in case, and\n"
    "                for a file whose name has no code page 932 form. -v names each absent\n"
    "                file of the update list.\n"
    "  check [--strict] [-v] [--install DIR] MEDIA\n"
    "                read MEDIA as the launcher will, report what is wrong as a compiler does\n"
    "                (\"FILE:LINE: error: ...\"), and end with a summary: the update title (the\n"
    "                window's title), the registry key of the install state (IsInst, InstTo,\n"
    "                Updated: HKEY_CURRENT_USER\\Software\\REG_GLOBAL\\REG_LOCAL), every file an\n"
    "                update copies and where to, and the seal's fingerprint (the END digest of\n"
    "                update.sum). --strict: warnings are errors. -v: a note for each absent\n"
    "                file of the update list (one line for all without it). --install DIR:\n"
    "                also what an update into the install folder DIR would replace and add\n"
    "                there, and the room it needs all at once and one file at a time against\n"
    "                the room free. The summary says where an update goes (the registry value\n"
    "                InstTo; the proposed folder only where a player may choose one), each\n"
    "                copied file with its size, the total, and what is left behind.\n"
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
    "check reports ERRORS (the launcher would refuse, stop, fail, or install what was not\n"
    "meant), each with its fix:\n"
    "  - no vorlin.env where the launcher looks: MEDIA itself, then update.arc or, when that is\n"
    "    not an archive, the update folder, then fastdata.arc or the fastdata folder (a\n"
    "    vorlin.env.txt beside it is named);\n"
    "  - a vorlin.env the launcher cannot read: UTF-16 or UTF-32 (with or without a byte order\n"
    "    mark), a NUL byte; saved as UTF-8 instead of code page 932; a UTF-8 byte order mark;\n"
    "  - an update title (TITLEBAR + \" "
    "\xE3\x82\xA2\xE3\x83\x83\xE3\x83\x97\xE3\x83\x87\xE3\x83\xBC\xE3\x83\x88"  // アップデート,
                                                                                // UTF-8
    " \" + VERSION) with a backslash that is not\n"
    "    the second byte of a double-byte character (the launcher ends without a word);\n"
    "  - settings that make the update copy another executable or look in another registry\n"
    "    key than meant: EXENAME, REG_GLOBAL or REG_LOCAL misspelled or without a value while\n"
    "    no line sets them, or with words the launcher drops; an EXENAME that is a path; a\n"
    "    TITLEBAR with words the launcher drops (the mutex the game holds is another);\n"
    "  - no update.rct (looked for as vorlin.env is), or one that does not decode (a PNG, BMP,\n"
    "    JPEG or GIF renamed .rct is named as such);\n"
    "  - any copied archive (.arc with the archive header) that fails vorlin-arc verify: cut\n"
    "    short, damaged;\n"
    "  - a file whose name has no code page 932 form (the character is named, with the one\n"
    "    code page 932 has), or a file whose destination would be longer than 259 bytes under\n"
    "    the default install folder, which check takes to be C:\\Program Files\\[INSTFOL\\]INSTTO\n"
    "    (INSTTO default VORLIN_APP), the folder the launcher proposes;\n"
    "  - with update.sum: a malformed or damaged update.sum, and every file that is damaged\n"
    "    (digest differs), resized, missing (listed, not on the media) or unlisted (copied by\n"
    "    an update, not listed);\n"
    "  - names anywhere on the media that differ only in case (one name where the launcher\n"
    "    runs: one of the files is lost).\n"
    "WARNINGS (allowed, but likely a mistake): no update.exe on the media, or one that is no\n"
    "Windows program; no executable (.bin); a copied .arc that is not in the archive format;\n"
    "a picture wider or taller than 268 pixels, the side of the menu's picture square (the\n"
    "MAINDIALOG client height at 96 DPI with the dialog's font), which cuts it; in vorlin.env,\n"
    "each with its line: a key the launcher does not know (with the nearest it knows), a key\n"
    "without a value, a value not of its key's form (UPDATENEEDINSTALL a number; EXENAME,\n"
    "INSTTO and INSTFOL names), words after a value (the launcher keeps one: write spaces as\n"
    "|), a value over 127 bytes, a line over 511 bytes, lines past the 400th read; an\n"
    "UPDATEREADME that is not on the media; a loose vorlin.env or update.rct in MEDIA beside a\n"
    "packed one (the loose one is read). NOTES (usual, said so that nothing passes in\n"
    "silence): every file or folder on the media that no update copies and no mount reads\n"
    "(archives outside the update list, sub-folders of help, other .bin files, files a mount\n"
    "folder's index leaves out...), a key set twice, and with -v each absent list entry.\n"
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
    if (command == "build") return RunBuild(rest);
    PrintError("unknown command '%s' (try vorlin-media --help)", command.c_str());
    return kExitUsage;
}
