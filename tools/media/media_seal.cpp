// `seal`: writes MEDIA/update.sum for the files an update from the media copies, named as the
// launcher names them, with their sizes and XXH3 digests read in one pass. A media that no seal
// can make whole is refused, nothing written: a copied archive that fails verify (cut short,
// damaged), names that differ only in case, a name without a code page 932 form.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "resfs/cp932_lower.h"
#include "tools/common/cp932_names.h"
#include "tools/media/media_archive_check.h"
#include "tools/media/media_copies.h"
#include "tools/media/media_digest.h"
#include "tools/media/media_name_cases.h"
#include "tools/media/media_tool.h"
#include "update/core/sum_file.h"

namespace {

// Why FormatSumFile refused the entries, for the message: names equal once lower-cased (two
// files a case-sensitive file system keeps apart), or a name the format cannot hold.
std::string DescribeRefusal(const std::vector<CopiedFile>& files) {
    std::vector<std::string> lower;
    for (const CopiedFile& f : files) {
        std::string l = f.name;
        LowerCp932(&l[0]);
        for (size_t i = 0; i < lower.size(); i++) {
            if (lower[i] == l)
                return files[i].shownName + " and " + f.shownName +
                       " have the same name for the launcher, which ignores case";
        }
        lower.push_back(l);
        if (f.name.size() > kSumMaxNameBytes)
            return f.shownName + ": the name is longer than " +
                   std::to_string((unsigned)kSumMaxNameBytes) + " bytes";
        for (char c : f.name) {
            if ((uint8_t)c < 0x20 || c == '/')
                return f.shownName + ": the name holds a control byte or a slash";
        }
        if (f.name.back() == ' ') return f.shownName + ": the name ends with a space";
    }
    return "the list cannot be written";
}

// What no seal makes whole; false after saying each.
bool RefuseBrokenMedia(const MediaLayout& layout, const std::vector<CopiedFile>& files) {
    bool good = true;
    for (const CopiedFile& f : files) {
        if (!f.hasCp932) {
            PrintError(
                "%s: the name has no code page 932 form, so the launcher cannot copy it: "
                "%s; rename the file",
                f.shownName.c_str(), WhyNoCp932Form(PathFinalName(f.shownName)).c_str());
            good = false;
            continue;
        }
        std::vector<std::string> problems;
        bool archive = f.name.size() > 4 && f.name.compare(f.name.size() - 4, 4, ".arc") == 0 &&
                       HasArchiveHeader(f.path);
        if (archive && !VerifyArchivePath(f.path, f.size, &problems)) {
            for (const std::string& problem : problems)
                PrintError("%s fails verify: %s; pack it again", f.shownName.c_str(),
                           problem.c_str());
            good = false;
        }
    }
    std::vector<NameClash> clashes;
    FindNameClashes(layout.folder, &clashes);
    for (const NameClash& c : clashes) {
        PrintError(
            "%s differs from %s only in case: where the launcher runs they are one name, "
            "and one of them is lost; rename or remove one",
            c.shown.c_str(), c.other.c_str());
        good = false;
    }
    return good;
}

}  // namespace

int RunSeal(const std::vector<std::string>& args) {
    std::vector<std::string> operands;
    bool verbose = false;
    for (const std::string& arg : args) {
        if (arg == "-v")
            verbose = true;
        else
            operands.push_back(arg);
    }
    if (operands.size() != 1) {
        PrintError("seal: give exactly one media folder");
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
    MediaSettings settings;
    ResourceLocation env = LocateResource(layout, "vorlin.env");
    if (!env.found || !ReadMediaSettings(env, &settings, &error))
        PrintError("no vorlin.env on the media: EXENAME is taken as vorlin.exe");

    MediaRun run;
    BeginMediaRun(&run, media, "", settings);
    std::vector<CopiedFile> files;
    std::vector<std::string> absent;
    ListPlannedCopies(&run, &files, &absent);
    bool planned = run.planned;
    std::string stoppedAt = Cp932ToDisplay(run.run.failedFile);
    EndMediaRun(&run);
    if (!planned) {
        PrintError("cannot read %s: the launcher would stop there", stoppedAt.c_str());
        return kExitFailed;
    }
    if (!RefuseBrokenMedia(layout, files)) {
        PrintError("%s not sealed: nothing written", media.c_str());
        return kExitFailed;
    }
    bool failed = false;
    std::vector<DigestJob> jobs;
    for (const CopiedFile& f : files) jobs.push_back({f.path, false, 0, 0, ""});
    DigestFiles(&jobs);

    std::vector<SumEntry> entries(files.size());
    uint64_t total = 0;
    for (size_t i = 0; i < files.size(); i++) {
        if (!jobs[i].ok) {
            PrintError("cannot read %s: %s", files[i].shownName.c_str(), jobs[i].error.c_str());
            failed = true;
            continue;
        }
        SumEntry& e = entries[i];
        memset(&e, 0, sizeof e);
        e.digest = jobs[i].digest;
        e.size = jobs[i].size;
        total += e.size;
        if (files[i].name.size() <= kSumMaxNameBytes)
            memcpy(e.name, files[i].name.data(), files[i].name.size());
    }
    if (failed) return kExitFailed;

    char* text = nullptr;
    size_t length = 0;
    if (FormatSumFile(entries.data(), (uint32_t)entries.size(), &text, &length) != kSumOk) {
        PrintError("cannot seal %s: %s", media.c_str(), DescribeRefusal(files).c_str());
        return kExitFailed;
    }
    std::string bytes(text, length);
    free(text);
    const MediaEntry* existing = FindMediaEntry(layout.entries, "update.sum");
    std::string target = JoinPath(media, existing ? existing->name : "update.sum");
    if (!ReplaceFileWithBytes(target, bytes, &error)) {
        PrintError("cannot write %s: %s", target.c_str(), error.c_str());
        return kExitFailed;
    }
    if (verbose) {
        for (const std::string& name : absent)
            PrintOut("not on the media (not sealed): %s\n", Cp932ToDisplay(name).c_str());
    } else if (!absent.empty()) {
        PrintOut("not on the media (not sealed): %u file%s of the update list (-v names them)\n",
                 (unsigned)absent.size(), absent.size() == 1 ? "" : "s");
    }
    PrintOut("sealed %u files, %llu bytes: %s (fingerprint %s)\n", (unsigned)files.size(),
             (unsigned long long)total, target.c_str(), SealFingerprint(bytes).c_str());
    return kExitOk;
}

std::string SealFingerprint(const std::string& sumBytes) {
    uint64_t digest = 0;
    if (!ReadSumFingerprint((const uint8_t*)sumBytes.data(), sumBytes.size(), &digest)) return "";
    return FormatSealFingerprint(digest);
}

std::string FormatSealFingerprint(uint64_t digest) {
    char text[17];
    snprintf(text, sizeof text, "%016llx", (unsigned long long)digest);
    return text;
}
