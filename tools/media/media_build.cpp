// `build`: one command from a publisher's source folder to a complete, sealed and checked media.
//
//   SOURCE/vorlin.env     the settings, in UTF-8 (converted) or already code page 932
//   SOURCE/update.png     the menu picture: .png .bmp .jpg .jpeg .gif (encoded), or update.rct
//   SOURCE/update/        optional: more files for update.arc
//   SOURCE/update.exe     the launcher, from the vorlin-update package
//   SOURCE/EXENAME        the game executable under its own name (Hoshi.exe): carried as hoshi.bin
//   SOURCE/fastdata/ data/ slowdata/ voice/ voice2/ voice3/
//                         each packed into NAME.arc with every file in it (pack --all)
//   SOURCE/help/, update.txt and anything else: copied as they are
//
// vorlin.env and update.rct go into update.arc. The media is built in a folder beside OUTPUT,
// sealed and checked with --strict there, and only a media that passes is moved to OUTPUT
// (replacing the one there); otherwise the folder is removed and OUTPUT stays as it was.
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "image/rct_codec.h"
#include "image/rct_encode.h"
#include "resfs/cp932_lower.h"
#include "stb_image.h"
#include "tools/common/archive_pack.h"
#include "tools/common/cp932_names.h"
#include "tools/common/tool_files.h"
#include "tools/common/utf8_text.h"
#include "tools/media/media_listing.h"
#include "tools/media/media_settings.h"
#include "tools/media/media_settings_check.h"
#include "tools/media/media_tool.h"

namespace {

const char* const kPictureExtensions[] = {".png", ".bmp", ".jpg", ".jpeg", ".gif"};
// The archives packed from folders of their name, with every file: the game reads them.
const char* const kGameArchives[] = {"fastdata", "data", "slowdata", "voice", "voice2", "voice3"};
const uint64_t kMaxPictureSourceBytes = 64u << 20;

struct Build {
    std::string source, output, stage;
    std::vector<MediaEntry> entries;  // SOURCE's listing
    std::vector<bool> used;           // entries[i] is placed by a step of its own
    bool verbose;
};

// The index of SOURCE's entry named `name` (any case) of that kind, or -1.
int Find(const Build& b, const std::string& name, PathKind kind) {
    std::string wanted = LowerCp932Copy(name);
    for (size_t i = 0; i < b.entries.size(); i++) {
        const MediaEntry& e = b.entries[i];
        if (e.hasCp932 && e.kind == kind && LowerCp932Copy(e.cp932) == wanted) return (int)i;
    }
    return -1;
}

// The same entry, marked as placed by the caller; null when there is none.
const MediaEntry* Take(Build* b, const std::string& name, PathKind kind) {
    int i = Find(*b, name, kind);
    if (i < 0) return nullptr;
    b->used[(size_t)i] = true;
    return &b->entries[(size_t)i];
}

std::string SourcePath(const Build& b, const MediaEntry& e) {
    return JoinPath(b.source, e.name);
}

bool ReadAll(const std::string& path, uint64_t limit, std::string* bytes, std::string* error) {
    uint64_t size = 0;
    if (GetPathKind(path, &size) != kPathFile) {
        *error = "not a file";
        return false;
    }
    if (size > limit) {
        *error = Format("%llu bytes is far too large", (unsigned long long)size);
        return false;
    }
    FILE* file = OpenFile(path, "rb");
    if (!file) {
        *error = "cannot be opened";
        return false;
    }
    bytes->resize((size_t)size);
    bytes->resize(fread(&(*bytes)[0], 1, bytes->size(), file));
    bool failed = ferror(file) != 0 || bytes->size() != size;
    fclose(file);
    if (failed) *error = "read error";
    return !failed;
}

bool CopyOneFile(const std::string& from, const std::string& to) {
    FILE* in = OpenFile(from, "rb");
    std::string error;
    FILE* out = in ? CreateNewFile(to, &error) : nullptr;
    if (!in || !out) {
        PrintError("cannot copy %s to %s: %s", from.c_str(), to.c_str(),
                   in ? error.c_str() : "cannot be read");
        if (in) fclose(in);
        return false;
    }
    static char buffer[1 << 16];
    size_t n;
    bool good = true;
    while (good && (n = fread(buffer, 1, sizeof buffer, in)) > 0)
        good = fwrite(buffer, 1, n, out) == n;
    good = good && !ferror(in);
    good = fclose(out) == 0 && good;
    fclose(in);
    if (!good) PrintError("cannot copy %s to %s", from.c_str(), to.c_str());
    return good;
}

bool CopyTree(const std::string& from, const std::string& to, int depth) {
    std::string error;
    std::vector<DirEntry> entries;
    if (depth > 64 || !MakeDirectory(to, &error) || !ListDirectory(from, &entries, &error)) {
        PrintError("cannot copy the folder %s to %s: %s", from.c_str(), to.c_str(),
                   depth > 64 ? "folders nested too deep" : error.c_str());
        return false;
    }
    for (const DirEntry& e : entries) {
        std::string a = JoinPath(from, e.name), z = JoinPath(to, e.name);
        bool good = e.kind == kPathDirectory ? CopyTree(a, z, depth + 1)
                    : e.kind == kPathFile    ? CopyOneFile(a, z)
                                             : true;
        if (e.kind == kPathOther) PrintError("skipping %s: not a file or folder", a.c_str());
        if (!good) return false;
    }
    return true;
}

// vorlin.env in code page 932, from UTF-8 or as it is; written into the stage.
bool PlaceSettings(Build* b, std::string* settingsPath) {
    const MediaEntry* env = Take(b, "vorlin.env", kPathFile);
    if (!env) {
        std::string hint;
        for (const MediaEntry& e : b->entries)
            if (e.hasCp932 && LowerCp932Copy(e.cp932).compare(0, 11, "vorlin.env.") == 0)
                hint = "; " + e.name + " is there: rename it to vorlin.env";
        PrintError("%s has no vorlin.env (the settings, in UTF-8 or code page 932)%s",
                   b->source.c_str(), hint.c_str());
        return false;
    }
    std::string path = SourcePath(*b, *env), bytes, error, cp932;
    if (!ReadSettingsSource(path, &bytes, &error)) {
        PrintError("cannot read %s: %s", path.c_str(), error.c_str());
        return false;
    }
    std::string unreadable = UnreadableSettingsEncoding(bytes);
    bool nonAscii = false;
    if (!unreadable.empty()) {
        PrintError("%s is saved as %s: save it as UTF-8", path.c_str(), unreadable.c_str());
        return false;
    }
    if (IsValidUtf8(bytes, &nonAscii) || bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        size_t lines = 0;
        int problems = 0;
        if (!ConvertSettingsToCp932(path, bytes, &cp932, &lines, &problems)) {
            PrintError("cannot convert %s: %d problem%s", path.c_str(), problems,
                       problems == 1 ? "" : "s");
            return false;
        }
        if (b->verbose)
            PrintOut("vorlin.env: %s converted from UTF-8 to code page 932\n", path.c_str());
    } else if (IsCp932Text(bytes)) {
        cp932 = bytes;
    } else {
        PrintError("%s is neither UTF-8 nor code page 932 text: save it as UTF-8", path.c_str());
        return false;
    }
    *settingsPath = JoinPath(b->stage, "vorlin.env");
    if (!ReplaceFileWithBytes(*settingsPath, cp932, &error)) {
        PrintError("cannot write %s: %s", settingsPath->c_str(), error.c_str());
        return false;
    }
    return true;
}

// update.rct as it is, or encoded from a picture.
bool PlacePicture(Build* b, std::string* picturePath) {
    *picturePath = JoinPath(b->stage, "update.rct");
    const MediaEntry* rct = Take(b, "update.rct", kPathFile);
    const MediaEntry* picture = nullptr;
    for (const char* extension : kPictureExtensions) {
        const MediaEntry* found = Take(b, std::string("update") + extension, kPathFile);
        if (found && (picture || rct)) {
            PrintError("%s has more than one menu picture (%s and %s): keep one", b->source.c_str(),
                       found->name.c_str(), picture ? picture->name.c_str() : rct->name.c_str());
            return false;
        }
        if (found) picture = found;
    }
    if (rct) return CopyOneFile(SourcePath(*b, *rct), *picturePath);
    if (!picture) {
        PrintError("%s has no menu picture: update.png (or .bmp, .jpg, .gif), or update.rct",
                   b->source.c_str());
        return false;
    }
    std::string path = SourcePath(*b, *picture), bytes, error;
    if (!ReadAll(path, kMaxPictureSourceBytes, &bytes, &error)) {
        PrintError("cannot read %s: %s", path.c_str(), error.c_str());
        return false;
    }
    int width = 0, height = 0, channels = 0;
    stbi_uc* rgb = stbi_load_from_memory((const stbi_uc*)bytes.data(), (int)bytes.size(), &width,
                                         &height, &channels, 3);
    uint32_t total = 0;
    if (!rgb || RctOutputSize(width, height, &total) != kRctOk) {
        PrintError(
            "%s: %s", path.c_str(),
            rgb ? "the picture is too large for an RCT file"
                : (std::string("not a readable picture (") + stbi_failure_reason() + ")").c_str());
        if (rgb) stbi_image_free(rgb);
        return false;
    }
    std::vector<uint8_t> bgr(rgb, rgb + total);
    stbi_image_free(rgb);
    for (size_t i = 0; i + 2 < bgr.size(); i += 3) std::swap(bgr[i], bgr[i + 2]);
    std::vector<uint8_t> stream, file;
    RctCompress(bgr.data(), width, height, kRctParseOptimal, &stream);
    if (RctBuildFile(kRctTC00, width, height, nullptr, 0, stream, &file) != kRctOk) {
        PrintError("%s: the compressed picture is too large for an RCT file", path.c_str());
        return false;
    }
    if (!ReplaceFileWithBytes(*picturePath, std::string(file.begin(), file.end()), &error)) {
        PrintError("cannot write %s: %s", picturePath->c_str(), error.c_str());
        return false;
    }
    if (b->verbose) PrintOut("update.rct: %s encoded, %dx%d\n", path.c_str(), width, height);
    return true;
}

bool Pack(const Build& b, const std::string& name, const std::vector<std::string>& inputs,
          bool all) {
    std::string out = JoinPath(b.stage, name + ".arc");
    PackResult result;
    if (!PackArchive(out, inputs, {kNamesAuto, all, b.verbose}, &result)) {
        PrintError("cannot pack %s.arc", name.c_str());
        return false;
    }
    if (b.verbose)
        PrintOut("%s.arc: %u files, %u bytes\n", name.c_str(), result.files, result.bytes);
    if (result.filesLeftOut + result.foldersLeftOut > 0)
        PrintOut(
            "%s.arc: left out %u file%s and %u folder%s that the launcher does not read "
            "from a folder%s\n",
            name.c_str(), result.filesLeftOut, result.filesLeftOut == 1 ? "" : "s",
            result.foldersLeftOut, result.foldersLeftOut == 1 ? "" : "s",
            b.verbose ? "" : " (-v names each)");
    return true;
}

// update.arc: the settings, the picture and the update folder's files.
bool PackUpdateArchive(Build* b, const std::string& settings, const std::string& picture) {
    std::vector<std::string> inputs = {settings, picture};
    const MediaEntry* folder = Take(b, "update", kPathDirectory);
    if (folder) inputs.push_back(SourcePath(*b, *folder));
    if (Take(b, "update.arc", kPathFile)) {
        PrintError(
            "%s has update.arc: build makes it from vorlin.env, the picture and the "
            "update folder; remove it",
            b->source.c_str());
        return false;
    }
    bool packed = Pack(*b, "update", inputs, false);
    RemoveFile(settings);
    RemoveFile(picture);
    return packed;
}

bool PackGameArchives(Build* b) {
    for (const char* name : kGameArchives) {
        const MediaEntry* folder = Take(b, name, kPathDirectory);
        if (!folder) continue;
        const MediaEntry* packed = Take(b, std::string(name) + ".arc", kPathFile);
        if (packed) {
            PrintError("%s has both %s and %s: keep one", b->source.c_str(), folder->name.c_str(),
                       packed->name.c_str());
            return false;
        }
        if (!Pack(*b, name, {SourcePath(*b, *folder)}, true)) return false;
    }
    return true;
}

// The executable under its media name, and the launcher.
bool PlacePrograms(Build* b, const MediaSettings& settings) {
    std::string exeName = GetMediaSetting(settings, "EXENAME");
    std::string mediaName = MediaExeName(settings);
    const MediaEntry* exe = Take(b, exeName, kPathFile);
    bool carried = Find(*b, mediaName, kPathFile) >= 0;  // copied as it is, with the other files
    if (exe && carried) {
        PrintError("%s has both %s and %s, the same executable: keep %s", b->source.c_str(),
                   exe->name.c_str(), Cp932ToDisplay(mediaName).c_str(), exe->name.c_str());
        return false;
    }
    if (exe && !CopyOneFile(SourcePath(*b, *exe), JoinPath(b->stage, Cp932ToDisplay(mediaName))))
        return false;
    if (!exe && !carried)
        PrintOut("no %s in %s (EXENAME): the update copies no executable\n",
                 Cp932ToDisplay(exeName).c_str(), b->source.c_str());
    const MediaEntry* launcher = Take(b, "update.exe", kPathFile);
    if (launcher) return CopyOneFile(SourcePath(*b, *launcher), JoinPath(b->stage, launcher->name));
    PrintOut("no update.exe in %s: copy it there from the vorlin-update package\n",
             b->source.c_str());
    return true;
}

// Everything no step above placed: copied as it is (check names what no update copies).
bool CopyTheRest(Build* b) {
    for (size_t i = 0; i < b->entries.size(); i++) {
        const MediaEntry& e = b->entries[i];
        if (b->used[i]) continue;
        if (e.hasCp932 && LowerCp932Copy(e.cp932) == "update.sum") {
            PrintOut("%s: not copied; the media gets a seal of its own\n",
                     SourcePath(*b, e).c_str());
            continue;
        }
        std::string from = SourcePath(*b, e), to = JoinPath(b->stage, e.name);
        bool good = e.kind == kPathDirectory ? CopyTree(from, to, 0)
                    : e.kind == kPathFile    ? CopyOneFile(from, to)
                                             : true;
        if (!good) return false;
    }
    return true;
}

bool BuildStage(Build* b) {
    std::string settingsPath, picturePath, error;
    if (!PlaceSettings(b, &settingsPath) || !PlacePicture(b, &picturePath)) return false;
    MediaSettings settings;
    uint64_t size = 0;
    GetPathKind(settingsPath, &size);
    ResourceLocation env = {true, settingsPath, 0, size, size, "the source"};
    if (!ReadMediaSettings(env, &settings, &error)) {
        PrintError("cannot read %s: %s", settingsPath.c_str(), error.c_str());
        return false;
    }
    return PackUpdateArchive(b, settingsPath, picturePath) && PackGameArchives(b) &&
           PlacePrograms(b, settings) && CopyTheRest(b);
}

// OUTPUT replaced by the stage: the old media moved aside first, removed last.
bool MoveIntoPlace(const Build& b) {
    std::string error, aside;
    if (PathExists(b.output)) {
        aside = b.output + ".old-" + std::to_string(CurrentProcessNumber());
        if (!RenamePath(b.output, aside, &error)) {
            PrintError("cannot move %s aside to replace it: %s", b.output.c_str(), error.c_str());
            return false;
        }
    }
    if (!RenamePath(b.stage, b.output, &error)) {
        PrintError("cannot move %s to %s: %s", b.stage.c_str(), b.output.c_str(), error.c_str());
        if (!aside.empty()) RenamePath(aside, b.output, &error);
        return false;
    }
    if (!aside.empty() && !RemoveTree(aside, &error))
        PrintError("the previous media is left in %s: %s", aside.c_str(), error.c_str());
    return true;
}

}  // namespace

int RunBuild(const std::vector<std::string>& args) {
    Build b;
    b.verbose = false;
    std::vector<std::string> operands;
    for (const std::string& arg : args) {
        if (arg == "-v")
            b.verbose = true;
        else
            operands.push_back(arg);
    }
    if (operands.size() != 2) {
        PrintError("build: give the source folder and the media folder to write");
        return kExitUsage;
    }
    b.source = operands[0];
    b.output = operands[1];
    while (b.output.size() > 1 && (b.output.back() == '/' || b.output.back() == '\\'))
        b.output.pop_back();
    uint64_t size = 0;
    std::string error, source, outputParent;
    if (GetPathKind(b.source, &size) != kPathDirectory || !ResolvePath(b.source, &source, &error) ||
        !ListMediaFolder(b.source, &b.entries, &error)) {
        PrintError("cannot read the source folder %s", b.source.c_str());
        return kExitFailed;
    }
    PathKind outputKind = GetPathKind(b.output, &size);
    if (outputKind == kPathFile || outputKind == kPathOther) {
        PrintError("%s is not a folder: build writes a media folder there", b.output.c_str());
        return kExitFailed;
    }
    std::string output;
    if (outputKind == kPathDirectory && ResolvePath(b.output, &output, &error) &&
        (IsPathWithin(output, source) || IsPathWithin(source, output))) {
        PrintError("%s and %s lie one inside the other: build the media beside its source",
                   b.source.c_str(), b.output.c_str());
        return kExitFailed;
    }
    b.used.assign(b.entries.size(), false);
    b.stage = b.output + ".build-" + std::to_string(CurrentProcessNumber());
    if (PathExists(b.stage) || !MakeDirectory(b.stage, &error)) {
        PrintError("cannot make the folder %s beside %s: %s", b.stage.c_str(), b.output.c_str(),
                   error.empty() ? "something is there" : error.c_str());
        return kExitFailed;
    }
    // Inside the source after all (OUTPUT did not exist yet): refused before anything is read.
    std::string stage;
    if (ResolvePath(b.stage, &stage, &error) && IsPathWithin(source, stage)) {
        PrintError("%s lies inside %s: build the media beside its source", b.output.c_str(),
                   b.source.c_str());
        RemoveTree(b.stage, &error);
        return kExitFailed;
    }
    bool built =
        BuildStage(&b) && RunSeal(b.verbose ? std::vector<std::string>{"-v", b.stage}
                                            : std::vector<std::string>{b.stage}) == kExitOk;
    if (built) {
        PrintOut("checking the media (--strict):\n");
        built = RunCheck({"--strict", b.stage}) == kExitOk;
    }
    if (!built || !MoveIntoPlace(b)) {
        RemoveTree(b.stage, &error);
        PrintError("%s not written: %s", b.output.c_str(),
                   built ? "see above" : "fix what is said above and build again");
        return kExitFailed;
    }
    PrintOut("built %s: sealed, and check --strict passes\n", b.output.c_str());
    return kExitOk;
}
