// `check`: reads a media folder as the launcher will (settings, title, picture, mounted archives,
// the files an update copies, the seal, what is left behind) and reports errors, warnings and
// notes, each naming its file and, where a line is meant, its line.
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>

#include <map>
#include <memory>

#include "image/rct_codec.h"
#include "resfs/cp932_lower.h"
#include "resfs/path_limit.h"
#include "tools/common/cp932_names.h"
#include "tools/common/utf8_text.h"
#include "tools/media/media_archive_check.h"
#include "tools/media/media_copies.h"
#include "tools/media/media_digest.h"
#include "tools/media/media_left_behind.h"
#include "tools/media/media_name_cases.h"
#include "tools/media/media_report.h"
#include "tools/media/media_settings_check.h"
#include "tools/media/media_tool.h"
#include "update/core/preflight.h"
#include "update/core/space_plan.h"
#include "update/core/sum_file.h"

namespace {

const uint32_t kMaxPathBytes = kPathBytes - 1;  // a path's bytes without its NUL
const uint32_t kMaxPictureBytes = 256u << 20;   // decoded; far beyond any menu picture

// Up to `size` bytes of a file from `offset` on.
std::string ReadBytes(const std::string& path, uint64_t offset, uint64_t size) {
    std::string bytes;
    FILE* file = OpenFile(path, "rb");
    if (!file) return bytes;
    if (fseek(file, (long)offset, SEEK_SET) == 0) {
        bytes.resize((size_t)size);
        bytes.resize(fread(&bytes[0], 1, bytes.size(), file));
    }
    fclose(file);
    return bytes;
}

// Where a resource that is not found may be after all: a file of its name with an extension an
// editor or Explorer added ("vorlin.env.txt"), or a picture not yet encoded ("update.png").
std::string NearMissHint(const MediaLayout& layout, const std::string& name) {
    static const char* const kPictures[] = {".png", ".bmp", ".jpg", ".jpeg", ".gif"};
    std::string stem = name.substr(0, name.find('.'));
    for (const MediaEntry& entry : layout.entries) {
        if (!entry.hasCp932 || entry.kind != kPathFile) continue;
        std::string lower = LowerCp932Copy(entry.cp932);
        if (lower.compare(0, name.size() + 1, name + ".") == 0)
            return "; the media folder has " + entry.name + ": rename it to " + name +
                   " (an editor added ." + lower.substr(name.size() + 1) +
                   ", which Explorer hides)";
        if (name == "update.rct") {
            for (const char* extension : kPictures) {
                if (lower == stem + extension)
                    return "; the media folder has " + entry.name +
                           ", a picture the launcher cannot show: encode it with vorlin-rct "
                           "encode " +
                           entry.name + " update.rct";
            }
        }
        if (name == "vorlin.env" && (lower == "vorlin.txt" || lower == "vorlin.utf8"))
            return "; the media folder has " + entry.name +
                   ": if it holds the settings, convert it with vorlin-media convert-env " +
                   entry.name + " vorlin.env";
    }
    return "";
}

void CheckSettings(const MediaLayout& layout, MediaSettings* settings, Report* report,
                   std::map<std::string, unsigned>* lines) {
    ResourceLocation env = LocateResource(layout, "vorlin.env");
    std::string error;
    if (!env.found) {
        Say(report, kFindingError, "vorlin.env",
            "not found in the media folder, update.arc, fastdata.arc or the update and fastdata "
            "folders: the launcher stops at its start (Ffopen box)%s",
            NearMissHint(layout, "vorlin.env").c_str());
    } else if (!ReadMediaSettings(env, settings, &error)) {
        Say(report, kFindingError, "vorlin.env", "in %s %s", env.where.c_str(), error.c_str());
    } else {
        uint64_t own = env.size < kMaxSettingsBytes ? env.size : kMaxSettingsBytes;
        std::string bytes = ReadBytes(env.path, env.offset, own);
        if (CheckSettingsEncoding(bytes, "vorlin.env", env.where.c_str(), report)) {
            PrintOut("settings: vorlin.env in %s, %u settings\n", env.where.c_str(),
                     (unsigned)settings->size());
            CheckSettingsLines(bytes, "vorlin.env", *settings, report, lines);
        } else {
            settings->clear();  // no key the launcher knows: every getter gives its default
        }
    }
    std::string title = ComposeMediaUpdateTitle(*settings);
    const char* backslash = FindCp932Separator(title.c_str(), "\\");
    if (backslash) {
        const char* key = FindCp932Separator(GetMediaSetting(*settings, "TITLEBAR").c_str(), "\\")
                              ? "TITLEBAR"
                              : "VERSION";
        std::string where = lines->count(key) ? AtLine("vorlin.env", (*lines)[key]) : "vorlin.env";
        Say(report, kFindingError, where,
            "%s has a backslash (byte %d of the update title) that is not part of a double-byte "
            "character: the launcher cannot name its mutex and ends silently; remove it",
            key, (int)(backslash - title.c_str()));
    }
}

// The resources the launcher opens by name: a loose one in the media folder hides a packed one.
void CheckLooseOverrides(const MediaLayout& layout, Report* report) {
    for (const char* name : {"vorlin.env", "update.rct"}) {
        ResourceLocation found = LocateResource(layout, name);
        ResourceLocation packed = LocateMountedResource(layout, name);
        if (found.found && found.where == "the media folder" && packed.found)
            Say(report, kFindingWarning, name,
                "a loose %s in the media folder, which the launcher reads instead of the one in "
                "%s: remove one of them",
                name, packed.where.c_str());
    }
}

// The picture formats a publisher may have renamed to .rct, by their first bytes.
const char* ForeignPictureFormat(const std::string& head) {
    if (head.compare(0, 4, "\x89PNG") == 0) return "PNG";
    if (head.compare(0, 3, "\xFF\xD8\xFF") == 0) return "JPEG";
    if (head.compare(0, 2, "BM") == 0) return "BMP";
    if (head.compare(0, 4, "GIF8") == 0) return "GIF";
    return nullptr;
}

void CheckPicture(const MediaLayout& layout, Report* report) {
    ResourceLocation rct = LocateResource(layout, "update.rct");
    if (!rct.found) {
        Say(report, kFindingError, "update.rct",
            "not found in the media folder, update.arc, fastdata.arc or the update and fastdata "
            "folders: the launcher stops when it opens the menu (Ffopen box)%s",
            NearMissHint(layout, "update.rct").c_str());
        return;
    }
    // The picture is read as the launcher reads it: its head, which says how many bytes it takes,
    // then those bytes, read by the one reading of a picture (RctReadPicture).
    uint64_t left = rct.fileSize - rct.offset;
    std::string head = ReadBytes(rct.path, rct.offset, kRctHeadSize);
    if (head.size() < kRctFixedHeaderSize) {
        Say(report, kFindingError, "update.rct", "in %s: %s", rct.where.c_str(),
            RctStatusText(kRctShortHeader));
        return;
    }
    const char* foreign = ForeignPictureFormat(head);
    if (foreign) {
        Say(report, kFindingError, "update.rct",
            "in %s is a %s picture, not an RCT one: the launcher cannot show it; encode the "
            "picture with vorlin-rct encode PICTURE update.rct",
            rct.where.c_str(), foreign);
        return;
    }
    RctHeader header;
    int32_t status = RctParseHead((const uint8_t*)head.data(), (uint32_t)head.size(), &header);
    uint64_t pictureBytes = (uint64_t)header.streamOffset + header.dataSize;
    if (status == kRctOk && pictureBytes > left) status = kRctShortStream;
    std::string file;
    RctPicture picture = {};
    if (status == kRctOk) {
        file = ReadBytes(rct.path, rct.offset, pictureBytes);
        status = RctReadPicture((const uint8_t*)file.data(), (uint32_t)file.size(), &picture);
    }
    if (status != kRctOk) {
        Say(report, kFindingError, "update.rct", "in %s does not decode: %s", rct.where.c_str(),
            RctStatusText(status));
        return;
    }
    const RctHeader& h = picture.header;
    if (picture.outputSize > kMaxPictureBytes) {
        Say(report, kFindingError, "update.rct",
            "in %s: a picture of %dx%d pixels is far too large", rct.where.c_str(), (int)h.width,
            (int)h.height);
        return;
    }
    uint8_t* pixels = (uint8_t*)malloc(picture.outputSize);
    status = pixels ? RctDecodePicture(&picture, pixels, nullptr) : kRctBadSize;
    free(pixels);
    if (status != kRctOk) {
        Say(report, kFindingError, "update.rct", "in %s does not decode: %s", rct.where.c_str(),
            RctStatusText(status));
        return;
    }
    PrintOut("picture: update.rct in %s, %dx%d pixels\n", rct.where.c_str(), (int)h.width,
             (int)h.height);
    if (h.width > kMenuPictureSide || h.height > kMenuPictureSide)
        Say(report, kFindingWarning, "update.rct",
            "%dx%d pixels is larger than the menu's %dx%d picture square: its edges are cut",
            (int)h.width, (int)h.height, (int)kMenuPictureSide, (int)kMenuPictureSide);
}

// Every copied .arc: not an archive is a warning (copied as it is); an archive that fails verify
// (damaged, cut short) is an error, mounted or not, sealed or not: the game would get it so.
void CheckArchives(const std::vector<CopiedFile>& files, Report* report) {
    for (const CopiedFile& f : files) {
        if (f.kind != kCopiedListEntry || f.name.size() < 4 ||
            f.name.compare(f.name.size() - 4, 4, ".arc") != 0)
            continue;
        if (!HasArchiveHeader(f.path)) {
            Say(report, kFindingWarning, f.shownName,
                "not in the archive format (no \"VorlinArcV1.000\" header): copied as it is");
            continue;
        }
        std::vector<std::string> problems;
        if (!VerifyArchivePath(f.path, f.size, &problems)) {
            for (const std::string& problem : problems)
                Say(report, kFindingError, f.shownName,
                    "fails verify: %s; the update would install it so: pack it again",
                    problem.c_str());
        }
    }
}

// The absent executable and list entries: the executable is a warning; the optional entries are
// one line, or a note each with -v.
void CheckAbsentFiles(const std::vector<std::string>& absent, const MediaSettings& settings,
                      bool verbose, Report* report) {
    std::string exeName = MediaExeName(settings);
    std::string optional;
    unsigned optionalCount = 0;
    for (const std::string& name : absent) {
        if (name == exeName) {
            Say(report, kFindingWarning, Cp932ToDisplay(name),
                "not on the media (EXENAME %s): the update copies no executable",
                Cp932ToDisplay(GetMediaSetting(settings, "EXENAME")).c_str());
        } else if (verbose) {
            Say(report, kFindingNote, name,
                "not on the media: the update skips it (each file of the update list is "
                "optional)");
        } else {
            optional += (optional.empty() ? "" : ", ") + name;
            optionalCount++;
        }
    }
    if (optionalCount > 0)
        PrintOut(
            "optional: %u file%s of the update list not on the media, which the update "
            "skips: %s (-v: a note each)\n",
            optionalCount, optionalCount == 1 ? "" : "s", optional.c_str());
}

void CheckCopiedFiles(const std::vector<CopiedFile>& files, const MediaSettings& settings,
                      Report* report) {
    std::string folder = DefaultInstallFolder(settings);
    for (const CopiedFile& f : files) {
        if (!f.hasCp932) {
            Say(report, kFindingError, f.shownName,
                "the name has no code page 932 form, so the launcher cannot copy it: %s; rename "
                "the file",
                WhyNoCp932Form(PathFinalName(f.shownName)).c_str());
            continue;
        }
        std::string destination = folder + "\\" + f.destination;
        if (destination.size() > kMaxPathBytes)
            Say(report, kFindingError, f.shownName,
                "its destination %s is %u bytes long, over the %u a path can have",
                Cp932ToDisplay(destination).c_str(), (unsigned)destination.size(),
                (unsigned)kMaxPathBytes);
    }
}

// The launcher itself: players run update.exe from the media.
void CheckLauncher(const MediaLayout& layout, Report* report) {
    const MediaEntry* launcher = FindMediaEntry(layout.entries, "update.exe");
    if (!launcher || launcher->kind != kPathFile) {
        Say(report, kFindingWarning, "update.exe",
            "not on the media: players have no launcher to run; copy update.exe from the "
            "vorlin-update package into the media folder (vorlin-media build does)");
        return;
    }
    std::string head = ReadBytes(JoinPath(layout.folder, launcher->name), 0, 2);
    if (head != "MZ")
        Say(report, kFindingWarning, "update.exe",
            "not a Windows program (it does not begin with \"MZ\"): copy update.exe again from "
            "the vorlin-update package");
}

// The readme button opens UPDATEREADME once an update has been applied, from the folder the
// launcher was started in: the media folder. A relative name must lead to a file there.
void CheckReadme(const MediaLayout& layout, const MediaSettings& settings,
                 const std::map<std::string, unsigned>& lines, Report* report) {
    std::string readme = GetMediaSetting(settings, "UPDATEREADME");
    bool absolute = (readme.size() >= 2 && readme[1] == ':') || readme.compare(0, 1, "\\") == 0;
    MediaFile file;
    if (absolute || FindMediaFile(layout, readme, &file)) return;
    auto line = lines.find("UPDATEREADME");
    Say(report, kFindingWarning,
        line == lines.end() ? std::string("vorlin.env") : AtLine("vorlin.env", line->second),
        "UPDATEREADME names %s, which is not on the media: after an update the readme button "
        "opens nothing; put the file on the media or name one that is there",
        Cp932ToDisplay(readme).c_str());
}

// Names that differ only in case name one file where the launcher runs: a media written on a
// system that tells them apart loses one of them on the player's.
void CheckNameCases(const std::string& folder, Report* report) {
    std::vector<NameClash> clashes;
    FindNameClashes(folder, &clashes);
    for (const NameClash& c : clashes)
        Say(report, kFindingError, c.shown,
            "differs from %s only in case: where the launcher runs they are one name, and one "
            "of them is lost; rename or remove one",
            c.other.c_str());
}

void CheckLeftBehind(const std::vector<LeftBehind>& left, Report* report) {
    for (const LeftBehind& l : left) {
        if (l.shown.back() == '/' || l.shown.back() == '\\')
            Say(report, kFindingNote, l.shown, "%u file%s, left behind: %s", l.files,
                l.files == 1 ? "" : "s", l.why.c_str());
        else
            Say(report, kFindingNote, l.shown, "left behind: %s", l.why.c_str());
    }
}

std::string Bytes(uint64_t bytes) {
    return std::to_string((unsigned long long)bytes) + (bytes == 1 ? " byte" : " bytes");
}

// What a publisher checks before the media ships: the title, where the game's state is kept and
// where an update goes, every file an update copies with its size and where to, what is left
// behind, and the seal's fingerprint.
void PrintSummary(const MediaSettings& settings, const std::vector<CopiedFile>& files,
                  const std::vector<LeftBehind>& left, const std::string& fingerprint) {
    PrintOut("summary:\n");
    PrintOut("  update title: %s\n", Cp932ToDisplay(ComposeMediaUpdateTitle(settings)).c_str());
    PrintOut("  registry key: %s\n", Cp932ToDisplay(SettingsRegistryKey(settings)).c_str());
    bool needInstall = atoi(GetMediaSetting(settings, "UPDATENEEDINSTALL").c_str()) != 0;
    PrintOut(
        "  destination: the folder the registry value InstTo under that key names (the "
        "game's installer records it)%s%s\n",
        needInstall ? "; without it the launcher refuses the update (UPDATENEEDINSTALL 1)"
                    : "; without it the player chooses a folder, proposed: ",
        needInstall ? "" : Cp932ToDisplay(DefaultInstallFolder(settings)).c_str());
    uint64_t total = 0;
    for (const CopiedFile& f : files) total += f.size;
    PrintOut("  an update copies %u file%s there, %s in all:\n", (unsigned)files.size(),
             files.size() == 1 ? "" : "s", Bytes(total).c_str());
    for (const CopiedFile& f : files)
        PrintOut("    %s -> %s (%s)\n", f.shownName.c_str(),
                 f.hasCp932 ? Cp932ToDisplay(f.destination).c_str() : "(cannot be copied)",
                 Bytes(f.size).c_str());
    if (left.empty()) {
        PrintOut("  left behind: nothing\n");
    } else {
        std::string names;
        for (const LeftBehind& l : left) names += (names.empty() ? "" : ", ") + l.shown;
        PrintOut("  left behind (not copied, not read): %s\n", names.c_str());
    }
    if (fingerprint.empty())
        PrintOut("  seal: none (the media is not sealed)\n");
    else
        PrintOut("  seal: update.sum, fingerprint %s\n", fingerprint.c_str());
}

// The seal, by the launcher's own rules (update/core/preflight.h): intact, every planned file
// listed with its size, every listed file on the media; and every digest, which the launcher
// checks while it copies. Each problem is named, where the launcher stops at the first.
void CheckSeal(const MediaRun& media, const std::vector<CopiedFile>& files, Report* report,
               std::string* fingerprint) {
    const UpdateRun& run = media.run;
    switch (media.seal) {
        case kSealAbsent:
            PrintOut("seal: no update.sum (the media is not sealed)\n");
            return;
        case kSealUnreadable:
            Say(report, kFindingError, "update.sum",
                "cannot be read (the launcher stops the update)");
            return;
        case kSealMalformed:
            Say(report, kFindingError, "update.sum",
                "malformed: not a seal of the VORLIN-SUM 1 format (the launcher refuses the "
                "update)");
            return;
        case kSealDamaged:
            Say(report, kFindingError, "update.sum",
                "damaged: its END digest does not match its lines (the launcher refuses the "
                "update)");
            return;
        case kSealLoaded:
            break;
    }
    *fingerprint = FormatSealFingerprint(run.seal.fingerprint);
    std::vector<DigestJob> jobs;
    std::vector<const CopiedFile*> hashed;
    std::vector<const PlannedFile*> expected;
    for (uint32_t i = 0; i < run.plan.count && i < files.size(); i++) {
        const PlannedFile* planned = &run.plan.files[i];
        const CopiedFile& f = files[i];
        switch (CheckFileAgainstSeal(&run, planned)) {
            case kRefusedNotSealed:
                Say(report, kFindingError, f.shownName,
                    "unlisted: an update copies it, update.sum does not list it");
                break;
            case kRefusedSealedSizeDiffers:
                Say(report, kFindingError, f.shownName,
                    "resized: %llu bytes on the media, %llu in update.sum",
                    (unsigned long long)planned->size, (unsigned long long)planned->sealedSize);
                break;
            default:
                jobs.push_back({f.path, false, 0, 0, ""});
                hashed.push_back(&f);
                expected.push_back(planned);
        }
    }
    std::unique_ptr<bool[]> copied(new bool[run.seal.count + 1]);
    MarkSealedEntriesCopied(&run, copied.get());
    for (uint32_t i = 0; i < run.seal.count; i++) {
        if (!SealedFileOnMedia(&run, i))
            Say(report, kFindingError, Cp932ToDisplay(run.seal.entries[i].name),
                "missing: update.sum lists it, the media does not have it");
        else if (!copied[i])
            Say(report, kFindingError, Cp932ToDisplay(run.seal.entries[i].name),
                "not copied: update.sum lists it, an update does not copy it (the launcher "
                "refuses the update)");
    }
    DigestFiles(&jobs);
    for (size_t i = 0; i < jobs.size(); i++) {
        if (!jobs[i].ok)
            Say(report, kFindingError, hashed[i]->shownName, "cannot be read: %s",
                jobs[i].error.c_str());
        else if (jobs[i].size != expected[i]->sealedSize)
            Say(report, kFindingError, hashed[i]->shownName, "resized while it was read");
        else if (jobs[i].digest != expected[i]->digest)
            Say(report, kFindingError, hashed[i]->shownName,
                "damaged: its digest %016llx differs from %016llx in update.sum",
                (unsigned long long)jobs[i].digest, (unsigned long long)expected[i]->digest);
    }
    PrintOut("seal: update.sum lists %u files\n", (unsigned)run.seal.count);
}

std::string Mebibytes(uint64_t bytes) {
    char text[48];
    snprintf(text, sizeof text, "%llu MB", (unsigned long long)MebibytesRoundedUp(bytes));
    return text;
}

// An update into `install`, as the launcher's plan and room rules see it: what it replaces and
// adds there, and the room it needs all at once and one file at a time against the room free.
void CheckInstallFolder(const MediaRun& media, const std::vector<CopiedFile>& files,
                        const std::string& install, Report* report) {
    uint64_t size = 0;
    if (GetPathKind(install, &size) != kPathDirectory) {
        Say(report, kFindingError, install, "not a folder: the launcher refuses the update");
        return;
    }
    PrintOut("install folder: %s\n", install.c_str());
    for (const CopiedFile& f : files) {
        if (!f.hasCp932) continue;
        if (f.replaces)
            PrintOut("  replaces %s (%llu bytes, now %llu)\n",
                     Cp932ToDisplay(f.destination).c_str(), (unsigned long long)f.size,
                     (unsigned long long)f.oldSize);
        else
            PrintOut("  adds %s (%llu bytes)\n", Cp932ToDisplay(f.destination).c_str(),
                     (unsigned long long)f.size);
    }
    uint64_t available = 0;
    uint32_t clusterSize = 0;
    uint64_t allAtOnce = 0, oneAtATime = 0;
    if (!GetVolumeRoom(install, &available, &clusterSize) ||
        !ComputePlanRoom(&media.run.plan, clusterSize, &allAtOnce, &oneAtATime)) {
        Say(report, kFindingWarning, install, "its free room cannot be told");
        return;
    }
    PrintOut("  room: %s all at once, %s one file at a time; %s free\n",
             Mebibytes(allAtOnce).c_str(), Mebibytes(oneAtATime).c_str(),
             Mebibytes(available).c_str());
    if (oneAtATime > available)
        Say(report, kFindingError, install,
            "too little room even for one file at a time: the launcher refuses the update");
    else if (allAtOnce > available)
        Say(report, kFindingWarning, install,
            "too little room to update every file at once: the launcher offers the one-at-a-time "
            "order, which can leave the game partly updated");
}

}  // namespace

int RunCheck(const std::vector<std::string>& args) {
    Report report = {false, 0, 0, 0};
    std::vector<std::string> operands;
    std::string install;
    bool verbose = false;
    for (size_t i = 0; i < args.size(); i++) {
        if (args[i] == "--strict") {
            report.strict = true;
        } else if (args[i] == "-v") {
            verbose = true;
        } else if (args[i] == "--install" && i + 1 < args.size()) {
            install = args[++i];
        } else if (args[i] == "--install") {
            PrintError("check: --install needs the install folder");
            return kExitUsage;
        } else {
            operands.push_back(args[i]);
        }
    }
    if (operands.size() != 1) {
        PrintError("check: give exactly one media folder (and --strict, if warnings are to fail)");
        return kExitUsage;
    }
    const std::string& media = operands[0];
    uint64_t size = 0;
    MediaLayout layout;
    std::string error;
    if (GetPathKind(media, &size) != kPathDirectory || !LoadMediaLayout(media, &layout, &error)) {
        PrintError("cannot read the media folder %s", media.c_str());
        return kExitFailed;
    }
    PrintOut("media: %s\n", media.c_str());
    for (const MediaMount& mount : layout.mounts)
        PrintOut("mount %s: %s %s\n", mount.name.c_str(), mount.archive ? "archive" : "folder",
                 mount.path.c_str());
    MediaSettings settings;
    std::map<std::string, unsigned> lines;
    CheckSettings(layout, &settings, &report, &lines);
    CheckPicture(layout, &report);
    CheckLooseOverrides(layout, &report);
    CheckLauncher(layout, &report);
    MediaRun run;
    BeginMediaRun(&run, media, install, settings);
    if (!run.planned)
        Say(&report, kFindingError, Cp932ToDisplay(run.run.failedFile),
            "cannot be read: the launcher stops the update here");
    std::vector<CopiedFile> files;
    std::vector<std::string> absent;
    ListPlannedCopies(&run, &files, &absent);
    CheckArchives(files, &report);
    CheckAbsentFiles(absent, settings, verbose, &report);
    CheckCopiedFiles(files, settings, &report);
    CheckReadme(layout, settings, lines, &report);
    CheckNameCases(layout.folder, &report);
    std::vector<LeftBehind> left;
    FindLeftBehind(layout, settings, files, &left);
    CheckLeftBehind(left, &report);
    std::string fingerprint;
    CheckSeal(run, files, &report, &fingerprint);
    if (!install.empty()) CheckInstallFolder(run, files, install, &report);
    EndMediaRun(&run);
    PrintSummary(settings, files, left, fingerprint);
    PrintOut("%d error%s, %d warning%s, %d note%s%s\n", report.errors,
             report.errors == 1 ? "" : "s", report.warnings, report.warnings == 1 ? "" : "s",
             report.notes, report.notes == 1 ? "" : "s",
             report.strict ? " (--strict: warnings count as errors)" : "");
    return report.errors > 0 ? kExitFailed : kExitOk;
}
