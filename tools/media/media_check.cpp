// `check`: reads a media folder as the launcher will (settings, title, picture, mounted archives,
// the files an update copies, the seal) and reports errors and warnings, each naming its file.
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>

#include <map>

#include "image/rct_codec.h"
#include "resfs/archive_format.h"
#include "resfs/cp932_lower.h"
#include "resfs/archive_verify.h"
#include "tools/common/utf8_text.h"
#include "tools/media/media_digest.h"
#include "tools/media/media_layout.h"
#include "tools/media/media_tool.h"
#include "update/sum_file.h"

namespace {

const uint32_t kMaxPathBytes = 259;
const uint32_t kMaxPictureBytes = 256u << 20;  // decoded; far beyond any menu picture
const uint64_t kMaxSealBytes = 64u << 20;      // as the launcher reads update.sum

struct Report {
    int errors;
    int warnings;
    int notes;  // what is allowed and usual, said so that nothing is passed over in silence
};

void Say(Report* report, const char* kind, const std::string& name, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 4, 5)))
#endif
    ;

// Prints "error: NAME: message", "warning: ..." or "note: ..." and counts it.
void Say(Report* report, const char* kind, const std::string& name, const char* format, ...) {
    va_list args;
    va_start(args, format);
    printf("%s: %s: ", kind, name.c_str());
    vprintf(format, args);
    putchar('\n');
    va_end(args);
    if (kind[0] == 'e')
        report->errors++;
    else if (kind[0] == 'w')
        report->warnings++;
    else
        report->notes++;
}

std::string Lower(const std::string& cp932) {
    std::string lower = cp932;
    if (!lower.empty()) LowerCp932(&lower[0]);
    return lower;
}

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

// The encoding of vorlin.env: the launcher reads its bytes as code page 932 text. A file saved
// as UTF-8 (an editor's default) is read garbled, and a UTF-8 byte order mark becomes part of the
// first line's key, so that setting is lost.
void CheckSettingsEncoding(const ResourceLocation& env, Report* report) {
    uint64_t left = env.fileSize - env.offset;
    std::string bytes = ReadBytes(env.path, env.offset,
                                  left < kMaxSettingsBytes ? (size_t)left : kMaxSettingsBytes);
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        Say(report, "error", "vorlin.env:1",
            "begins with a UTF-8 byte order mark, which the launcher reads as part of the first "
            "line's key (that setting is lost): convert the file with vorlin-media convert-env, "
            "which drops it");
        bytes.erase(0, 3);
    }
    // Line by line, up to the [EOF] line or binary data (the next file of an archive): the first
    // line with characters above ASCII tells, as code page 932 text is almost never UTF-8 too.
    size_t start = 0;
    unsigned line = 1;
    while (start < bytes.size()) {
        size_t end = bytes.find('\n', start);
        if (end == std::string::npos) end = bytes.size();
        std::string text = bytes.substr(start, end - start);
        if (text.compare(0, 5, "[EOF]") == 0 || text.find('\0') != std::string::npos) break;
        bool nonAscii = false;
        bool utf8 = IsValidUtf8(text, &nonAscii);
        if (nonAscii) {
            if (utf8) {
                Say(report, "error", "vorlin.env:" + std::to_string(line),
                    "the text is UTF-8, not code page 932: the launcher would show it garbled; "
                    "convert it with vorlin-media convert-env SOURCE TARGET");
            }
            break;
        }
        start = end + 1;
        line++;
    }
}

void CheckSettings(const MediaLayout& layout, MediaSettings* settings, Report* report) {
    ResourceLocation env = LocateResource(layout, "vorlin.env");
    std::string error;
    if (!env.found) {
        Say(report, "error", "vorlin.env",
            "not found in the media folder, update.arc, fastdata.arc or the update and fastdata "
            "folders: the launcher stops at its start (Ffopen box)");
    } else if (!ReadMediaSettings(env, settings, &error)) {
        Say(report, "error", "vorlin.env", "in %s %s", env.where.c_str(), error.c_str());
    } else {
        printf("settings: vorlin.env in %s, %u settings\n", env.where.c_str(),
               (unsigned)settings->size());
        CheckSettingsEncoding(env, report);
    }
    std::string title = ComposeMediaUpdateTitle(*settings);
    printf("update title: %s\n", Cp932ToDisplay(title).c_str());
    int backslash = FindBareBackslash(title);
    if (backslash >= 0)
        Say(report, "error", "vorlin.env",
            "the update title (TITLEBAR, VERSION) has a backslash at byte %d that is not part of "
            "a double-byte character: the launcher cannot name its mutex and ends silently",
            backslash);
}

void CheckPicture(const MediaLayout& layout, Report* report) {
    ResourceLocation rct = LocateResource(layout, "update.rct");
    if (!rct.found) {
        Say(report, "error", "update.rct",
            "not found in the media folder, update.arc, fastdata.arc or the update and fastdata "
            "folders: the launcher stops when it opens the menu (Ffopen box)");
        return;
    }
    uint64_t left = rct.fileSize - rct.offset;
    std::string head = ReadBytes(rct.path, rct.offset, 22);
    RctHeader header;
    if (head.size() < kRctFixedHeaderSize) {
        Say(report, "error", "update.rct", "in %s: %s", rct.where.c_str(),
            RctStatusText(kRctShortHeader));
        return;
    }
    int32_t status = RctParseFixedHeader((const uint8_t*)head.data(), &header);
    if (status == kRctOk && header.signature == kRctTC01 && head.size() == 22)
        RctSetNameLength(&header, (const uint8_t*)head.data() + 20);
    uint64_t fileBytes = (uint64_t)header.streamOffset + header.dataSize;
    if (status == kRctOk && fileBytes > left) status = kRctShortStream;
    std::string file;
    const uint8_t* name = nullptr;
    const uint8_t* stream = nullptr;
    if (status == kRctOk) {
        file = ReadBytes(rct.path, rct.offset, fileBytes);
        status = RctParseFile((const uint8_t*)file.data(), (uint32_t)file.size(), &header, &name,
                              &stream);
    }
    uint32_t outputSize = 0;
    if (status == kRctOk) status = RctOutputSize(header.width, header.height, &outputSize);
    if (status != kRctOk) {
        Say(report, "error", "update.rct", "in %s does not decode: %s", rct.where.c_str(),
            RctStatusText(status));
        return;
    }
    if (outputSize > kMaxPictureBytes) {
        Say(report, "error", "update.rct", "in %s: a picture of %dx%d pixels is far too large",
            rct.where.c_str(), (int)header.width, (int)header.height);
        return;
    }
    uint8_t* pixels = (uint8_t*)malloc(outputSize);
    status = pixels ? RctDecompress(stream, header.dataSize, header.width, header.height, pixels,
                                    nullptr)
                    : kRctBadSize;
    free(pixels);
    if (status != kRctOk) {
        Say(report, "error", "update.rct", "in %s does not decode: %s", rct.where.c_str(),
            RctStatusText(status));
        return;
    }
    printf("picture: update.rct in %s, %dx%d pixels\n", rct.where.c_str(), (int)header.width,
           (int)header.height);
    if (header.width > kMenuPictureSide || header.height > kMenuPictureSide)
        Say(report, "warning", "update.rct",
            "%dx%d pixels is larger than the menu's %dx%d picture square: its edges are cut",
            (int)header.width, (int)header.height, (int)kMenuPictureSide, (int)kMenuPictureSide);
}

// Every copied .arc: not an archive is a warning; a failed verify is an error for the mounted
// ones (update.arc, fastdata.arc), a warning for the others.
void CheckArchives(const std::vector<CopiedFile>& files, Report* report) {
    for (const CopiedFile& f : files) {
        if (f.kind != kCopiedListEntry || f.name.size() < 4 ||
            f.name.compare(f.name.size() - 4, 4, ".arc") != 0)
            continue;
        std::string head = ReadBytes(f.path, 0, kArchiveHeaderSize);
        if (!IsArchiveHeader((const uint8_t*)head.data(), (uint32_t)head.size(), nullptr)) {
            Say(report, "warning", f.shownName,
                "not in the archive format (no \"VorlinArcV1.000\" header): copied as it is");
            continue;
        }
        bool mounted = f.name == "update.arc" || f.name == "fastdata.arc";
        FILE* file = OpenFile(f.path, "rb");
        std::vector<std::string> problems;
        uint32_t count = 0;
        if (!file) problems.push_back("cannot be read");
        if (file) {
            VerifyArchiveFile(file, f.size, &problems, &count);
            fclose(file);
        }
        for (const std::string& problem : problems)
            Say(report, mounted ? "error" : "warning", f.shownName, "fails verify: %s",
                problem.c_str());
    }
}

void CheckCopiedFiles(const std::vector<CopiedFile>& files, const std::vector<std::string>& absent,
                      const MediaSettings& settings, Report* report) {
    std::string exeName = MediaExeName(settings);
    for (const std::string& name : absent) {
        if (name == exeName)
            Say(report, "warning", Cp932ToDisplay(name),
                "not on the media (EXENAME %s): the update copies no executable",
                Cp932ToDisplay(GetMediaSetting(settings, "EXENAME")).c_str());
        else
            Say(report, "note", name,
                "not on the media: the update skips it (each file of the update list is "
                "optional)");
    }
    std::string folder = DefaultInstallFolder(settings);
    for (const CopiedFile& f : files) {
        if (!f.hasCp932) {
            Say(report, "error", f.shownName,
                "the name has no code page 932 form: the launcher cannot copy it");
            continue;
        }
        std::string destination = folder + "\\" + f.destination;
        if (destination.size() > kMaxPathBytes)
            Say(report, "error", f.shownName,
                "its destination %s is %u bytes long, over the %u a path can have",
                Cp932ToDisplay(destination).c_str(), (unsigned)destination.size(),
                (unsigned)kMaxPathBytes);
    }
    printf("copied by an update: %u files\n", (unsigned)files.size());
}

// The seal: intact, and every copied file listed with its size and digest, every listed file on
// the media.
void CheckSeal(const MediaLayout& layout, const std::vector<CopiedFile>& files, Report* report) {
    const MediaEntry* sum = FindMediaEntry(layout.entries, "update.sum");
    if (!sum || sum->kind != kPathFile) {
        printf("seal: no update.sum (the media is not sealed)\n");
        return;
    }
    std::string path = JoinPath(layout.folder, sum->name);
    std::string bytes = sum->size <= kMaxSealBytes ? ReadBytes(path, 0, sum->size) : "";
    SumEntry* entries = nullptr;
    uint32_t count = 0;
    int32_t status = bytes.size() == sum->size ? ParseSumFile((const uint8_t*)bytes.data(),
                                                              bytes.size(), &entries, &count)
                                               : kSumMalformed;
    if (status == kSumMalformed) {
        Say(report, "error", "update.sum",
            "malformed: not a seal of the VORLIN-SUM 1 format (the launcher refuses the update)");
        return;
    }
    if (status == kSumDamaged) {
        Say(report, "error", "update.sum",
            "damaged: its END digest does not match its lines (the launcher refuses the update)");
        return;
    }
    std::map<std::string, const SumEntry*> sealed;
    for (uint32_t i = 0; i < count; i++) sealed[Lower(entries[i].name)] = &entries[i];

    std::vector<DigestJob> jobs;
    std::vector<const CopiedFile*> hashed;
    std::vector<const SumEntry*> expected;
    for (const CopiedFile& f : files) {
        if (!f.hasCp932) continue;
        auto found = sealed.find(Lower(f.name));
        if (found == sealed.end()) {
            Say(report, "error", f.shownName,
                "unlisted: an update copies it, update.sum does not list it");
        } else if (found->second->size != f.size) {
            Say(report, "error", f.shownName,
                "resized: %llu bytes on the media, %llu in update.sum", (unsigned long long)f.size,
                (unsigned long long)found->second->size);
        } else {
            jobs.push_back({f.path, false, 0, 0, ""});
            hashed.push_back(&f);
            expected.push_back(found->second);
        }
    }
    for (uint32_t i = 0; i < count; i++) {
        MediaFile file;
        if (!FindMediaFile(layout, entries[i].name, &file))
            Say(report, "error", Cp932ToDisplay(entries[i].name),
                "missing: update.sum lists it, the media does not have it");
    }
    DigestFiles(&jobs);
    for (size_t i = 0; i < jobs.size(); i++) {
        if (!jobs[i].ok)
            Say(report, "error", hashed[i]->shownName, "cannot be read: %s", jobs[i].error.c_str());
        else if (jobs[i].size != expected[i]->size)
            Say(report, "error", hashed[i]->shownName, "resized while it was read");
        else if (jobs[i].digest != expected[i]->digest)
            Say(report, "error", hashed[i]->shownName,
                "damaged: its digest %016llx differs from %016llx in update.sum",
                (unsigned long long)jobs[i].digest, (unsigned long long)expected[i]->digest);
    }
    printf("seal: update.sum lists %u files\n", (unsigned)count);
    ReleaseSumEntries(entries);
}

}  // namespace

int RunCheck(const std::vector<std::string>& args) {
    if (args.size() != 1) {
        PrintError("check: give exactly one media folder");
        return kExitUsage;
    }
    const std::string& media = args[0];
    uint64_t size = 0;
    MediaLayout layout;
    std::string error;
    if (GetPathKind(media, &size) != kPathDirectory ||
        !LoadMediaLayout(media, &layout, &error)) {
        PrintError("cannot read the media folder %s", media.c_str());
        return kExitFailed;
    }
    printf("media: %s\n", media.c_str());
    for (const MediaMount& mount : layout.mounts)
        printf("mount %s: %s %s\n", mount.name.c_str(), mount.archive ? "archive" : "folder",
               mount.path.c_str());
    Report report = {0, 0, 0};
    MediaSettings settings;
    CheckSettings(layout, &settings, &report);
    CheckPicture(layout, &report);
    std::vector<CopiedFile> files;
    std::vector<std::string> absent;
    CollectCopiedFiles(layout, settings, &files, &absent);
    CheckArchives(files, &report);
    CheckCopiedFiles(files, absent, settings, &report);
    CheckSeal(layout, files, &report);
    printf("%d error%s, %d warning%s, %d note%s\n", report.errors, report.errors == 1 ? "" : "s",
           report.warnings, report.warnings == 1 ? "" : "s", report.notes,
           report.notes == 1 ? "" : "s");
    return report.errors > 0 ? kExitFailed : kExitOk;
}
