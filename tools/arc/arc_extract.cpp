// `extract`: writes files out of an archive. A NAME is found as the launcher finds it (the key of
// its final component's code page 932 text) and written under its own path below the output
// folder; with no NAME every file is written under its hash. Sizes are those `list` shows
// (arc_read.h).
//
// Nothing is written outside the output folder: a name that is absolute, has a drive letter, a
// ".." part or any ':' is refused, as is one whose folders already lead elsewhere through a link
// (each existing folder on the way is resolved and must lie within the output folder). Every
// name is checked, and every file that is already there, before the first byte is written, so a
// refused request writes nothing. A file appears only once it is complete.
#include <stdio.h>
#include <string.h>

#include <set>
#include <string>
#include <vector>

#include "resfs/archive_format.h"
#include "resfs/cp932_lower.h"
#include "tools/common/tool_files.h"
#include "tools/common/tool_output.h"
#include "tools/arc/arc_read.h"
#include "tools/arc/arc_tool.h"

namespace {

struct ExtractJob {
    std::string shown;                 // the NAME as given, or the hash, for messages
    std::vector<std::string> folders;  // below the output folder
    std::string fileName;
    uint32_t offset;
    uint64_t size;
};

// Names Windows gives to devices in every folder: writing "nul" or "con.rct" reaches the device.
bool IsDeviceName(const std::string& part) {
    static const char* const kDevices[] = {"con", "prn", "aux", "nul"};
    std::string base = part.substr(0, part.find('.'));
    while (!base.empty() && base.back() == ' ') base.pop_back();
    for (char& c : base)
        if (c >= 'A' && c <= 'Z') c = (char)(c + ('a' - 'A'));
    for (const char* device : kDevices)
        if (base == device) return true;
    return base.size() == 4 && (base.compare(0, 3, "com") == 0 || base.compare(0, 3, "lpt") == 0) &&
           base[3] >= '1' && base[3] <= '9';
}

// Why one part of a path cannot be written as it is named, or null when it can.
const char* RefusedComponent(const std::string& part) {
    if (part == "..") return "it has a '..' part";
    if (part.back() == '.' || part.back() == ' ')
        return "it has a part ending in a dot or a space, which Windows drops";
    if (IsDeviceName(part)) return "it names a Windows device";
    return nullptr;
}

// Splits a NAME into folders and file name, backslashes and slashes both separating, and refuses
// what could lead out of the output folder or be written under another name. In code page 932
// text (utf8 false) a double-byte character is one unit, so its trail byte is never taken for a
// separator. Returns null, or why the name is refused.
const char* SplitExtractName(const std::string& name, bool utf8, std::vector<std::string>* parts) {
    parts->clear();
    if (name.empty()) return "it is empty";
    if (name[0] == '\\' || name[0] == '/') return "it is an absolute path";
    if (name.size() >= 2 && name[1] == ':') return "it has a drive letter";
    std::string part;
    for (size_t i = 0; i < name.size(); i++) {
        uint8_t c = (uint8_t)name[i];
        if (!utf8 && IsCp932LeadByte(c) && i + 1 < name.size()) {
            part += name.substr(i, 2);
            i++;
        } else if (c == '\\' || c == '/') {
            if (!part.empty() && part != ".") parts->push_back(part);
            part.clear();
        } else if (c == ':') {
            return "it has a ':' (a drive or a stream on Windows)";
        } else if (c < 0x20 || strchr("<>\"|?*", c)) {
            return "it has a character that Windows does not allow in names";
        } else {
            part += (char)c;
        }
    }
    if (part.empty()) return "it names a folder, not a file";
    parts->push_back(part);
    for (const std::string& p : *parts)
        if (const char* why = RefusedComponent(p)) return why;
    return nullptr;
}

struct ExtractState {
    const char* archivePath;
    LoadedArchive archive;
    std::vector<uint64_t> sizes;
    std::vector<ExtractJob> jobs;
    bool failed;
};

void AddNamedJob(ExtractState* state, const char* name, NameMode mode) {
    std::string cp932, error;
    if (!ConvertNameToCp932(name, mode, &cp932, &error)) {
        PrintError("%s: %s", name, error.c_str());
        state->failed = true;
        return;
    }
    std::vector<std::string> parts;
    if (const char* why = SplitExtractName(name, IsUtf8Name(name, mode), &parts)) {
        PrintError("%s: refused: %s", name, why);
        state->failed = true;
        return;
    }
    uint32_t key = ComputeLookupKey(cp932.c_str());
    const LoadedArchive& archive = state->archive;
    const ArchiveIndexEntry* found =
        FindArchiveEntry(archive.index, archive.header.entryCount, key);
    if (!found || !IsArchiveOffsetReadable(found->offset)) {
        PrintError("%s (hash %08x) is not found in %s", name, (unsigned)key, state->archivePath);
        state->failed = true;
        return;
    }
    uint64_t size = state->sizes[(size_t)(found - archive.index)];
    if (size == kSizePastEnd) {
        PrintError("%s (hash %08x): its offset %u is past the end of %s", name, (unsigned)key,
                   (unsigned)found->offset, state->archivePath);
        state->failed = true;
        return;
    }
    if (size == kSizeCutShort) {
        PrintError("%s (hash %08x): its data runs past the end of %s (the archive is cut short)",
                   name, (unsigned)key, state->archivePath);
        state->failed = true;
        return;
    }
    ExtractJob job = {name, parts, "", found->offset, size};
    job.fileName = job.folders.back();
    job.folders.pop_back();
    state->jobs.push_back(job);
}

// Every file, named by its hash. A hash the index repeats is written once, from its first entry.
void AddAllJobs(ExtractState* state) {
    const LoadedArchive& archive = state->archive;
    std::set<uint32_t> seen;
    for (uint32_t i = 0; i < archive.header.entryCount; i++) {
        const ArchiveIndexEntry& e = archive.index[i];
        char hash[16];
        snprintf(hash, sizeof hash, "%08x", (unsigned)e.nameHash);
        if (!seen.insert(e.nameHash).second) {
            PrintError("entry %u: hash %s appears more than once; writing the first only",
                       (unsigned)i, hash);
            continue;
        }
        if (!IsArchiveOffsetReadable(e.offset) || state->sizes[i] == kSizePastEnd) {
            PrintError("entry %u (hash %s): offset %u is past the end of %s", (unsigned)i, hash,
                       (unsigned)e.offset, state->archivePath);
            state->failed = true;
            continue;
        }
        if (state->sizes[i] == kSizeCutShort) {
            PrintError(
                "entry %u (hash %s): its data runs past the end of %s (the archive is cut "
                "short)",
                (unsigned)i, hash, state->archivePath);
            state->failed = true;
            continue;
        }
        state->jobs.push_back({hash, {}, hash, e.offset, state->sizes[i]});
    }
}

// Follows a job's folders below `dir` as far as they exist: each must be a folder that resolves
// within `root` (empty when `dir` itself does not exist yet, so that nothing below it does).
// Then the file itself: not a folder, and not there at all unless `force`. False after a message.
bool CheckJobPath(const std::string& dir, const std::string& root, const ExtractJob& job,
                  bool force) {
    std::string path = dir;
    for (const std::string& folder : job.folders) {
        path = JoinPath(path, folder);
        if (!PathExists(path)) return true;
        uint64_t size;
        std::string resolved, error;
        if (GetPathKind(path, &size) != kPathDirectory) {
            PrintError("%s: %s is there and is not a folder", job.shown.c_str(), path.c_str());
            return false;
        }
        if (!ResolvePath(path, &resolved, &error)) {
            PrintError("%s: cannot resolve %s: %s", job.shown.c_str(), path.c_str(), error.c_str());
            return false;
        }
        if (root.empty() || !IsPathWithin(root, resolved)) {
            PrintError("%s: refused: %s leads out of %s (to %s)", job.shown.c_str(), path.c_str(),
                       dir.c_str(), resolved.c_str());
            return false;
        }
    }
    std::string target = JoinPath(path, job.fileName);
    if (!PathExists(target)) return true;
    uint64_t size;
    if (GetPathKind(target, &size) == kPathDirectory) {
        PrintError("%s: %s is a folder", job.shown.c_str(), target.c_str());
        return false;
    }
    if (!force) {
        PrintError("%s: %s is already there (--force replaces it)", job.shown.c_str(),
                   target.c_str());
        return false;
    }
    return true;
}

// Copies `size` bytes from the archive's `offset` on into `out`.
bool CopyOut(FILE* archive, const ExtractJob& job, FILE* out, const char* archivePath,
             const std::string& target) {
    if (fseek(archive, (long)job.offset, SEEK_SET) != 0) {
        PrintError("cannot read %s", archivePath);
        return false;
    }
    static char buffer[1 << 16];
    uint64_t left = job.size;
    while (left > 0) {
        size_t want = left < sizeof buffer ? (size_t)left : sizeof buffer;
        size_t got = fread(buffer, 1, want, archive);
        if (got != want) {
            PrintError("%s: %s ends inside the file", job.shown.c_str(), archivePath);
            return false;
        }
        if (fwrite(buffer, 1, got, out) != got) {
            PrintError("cannot write %s", target.c_str());
            return false;
        }
        left -= got;
    }
    return true;
}

// Makes the job's folders (checking each again as it goes) and writes its file: straight under
// its name when nothing may be replaced (creation fails if something appeared meanwhile), or
// through a temporary file moved over the old one with --force, so that a link standing there is
// replaced rather than followed.
bool WriteJob(FILE* archive, const char* archivePath, const std::string& dir,
              const std::string& root, const ExtractJob& job, bool force) {
    std::string path = dir, error;
    for (const std::string& folder : job.folders) {
        path = JoinPath(path, folder);
        std::string resolved;
        if (!MakeDirectory(path, &error)) {
            PrintError("cannot create folder %s: %s", path.c_str(), error.c_str());
            return false;
        }
        if (!ResolvePath(path, &resolved, &error) || !IsPathWithin(root, resolved)) {
            PrintError("%s: refused: %s leads out of %s", job.shown.c_str(), path.c_str(),
                       dir.c_str());
            return false;
        }
    }
    std::string target = JoinPath(path, job.fileName);
    std::string written =
        force ? target + "." + std::to_string(CurrentProcessNumber()) + ".tmp" : target;
    FILE* out = CreateNewFile(written, &error);
    if (!out) {
        PrintError("cannot create %s: %s", written.c_str(), error.c_str());
        return false;
    }
    bool ok = CopyOut(archive, job, out, archivePath, written);
    if (fclose(out) != 0 && ok) {
        PrintError("cannot write %s", written.c_str());
        ok = false;
    }
    if (ok && force && !ReplaceFileWith(written, target, &error)) {
        PrintError("cannot rename %s to %s: %s", written.c_str(), target.c_str(), error.c_str());
        ok = false;
    }
    if (!ok) {
        RemoveFile(written);
        return false;
    }
    PrintOut("%s  %llu bytes\n", target.c_str(), (unsigned long long)job.size);
    return true;
}

// The output folder, created when missing (its parent must exist), and its resolved path.
bool PrepareOutputFolder(const std::string& dir, std::string* root) {
    std::string error;
    if (!MakeDirectory(dir, &error)) {
        PrintError("cannot create folder %s: %s", dir.c_str(), error.c_str());
        return false;
    }
    if (!ResolvePath(dir, root, &error)) {
        PrintError("cannot resolve %s: %s", dir.c_str(), error.c_str());
        return false;
    }
    return true;
}

int WriteJobs(ExtractState* state, const std::string& dir, bool force) {
    std::string root, error;
    uint64_t size;
    PathKind dirKind = GetPathKind(dir, &size);
    if (dirKind != kPathMissing && dirKind != kPathDirectory) {
        PrintError("%s is not a folder", dir.c_str());
        return kExitFailed;
    }
    if (dirKind == kPathDirectory && !ResolvePath(dir, &root, &error)) {
        PrintError("cannot resolve %s: %s", dir.c_str(), error.c_str());
        return kExitFailed;
    }
    bool ok = true;
    for (const ExtractJob& job : state->jobs) ok = CheckJobPath(dir, root, job, force) && ok;
    if (!ok) return kExitFailed;
    if (!PrepareOutputFolder(dir, &root)) return kExitFailed;

    FILE* archive = OpenFile(state->archivePath, "rb");
    if (!archive) {
        PrintError("cannot read %s", state->archivePath);
        return kExitFailed;
    }
    uint64_t total = 0;
    size_t written = 0;
    for (const ExtractJob& job : state->jobs) {
        if (!WriteJob(archive, state->archivePath, dir, root, job, force)) {
            ok = false;
            continue;
        }
        written++;
        total += job.size;
    }
    fclose(archive);
    PrintOut("extracted %u file%s, %llu bytes, into %s\n", (unsigned)written,
             written == 1 ? "" : "s", (unsigned long long)total, dir.c_str());
    return ok ? kExitOk : kExitFailed;
}

}  // namespace

int RunExtract(int argc, char** argv) {
    CommandOptions options;
    if (!ParseCommandOptions("extract", argc, argv, kOptionNames | kOptionForce | kOptionOutput,
                             &options))
        return kExitUsage;
    if (options.operands.empty()) {
        PrintError("extract: give the archive to extract from");
        return kExitUsage;
    }
    ExtractState state = {options.operands[0], {}, {}, {}, false};
    if (!OpenArchive(state.archivePath, &state.archive)) return kExitFailed;
    state.sizes = ComputeEntrySizes(state.archive);
    if (options.operands.size() == 1) {
        AddAllJobs(&state);
    } else {
        std::set<std::string> targets;
        for (size_t i = 1; i < options.operands.size(); i++) {
            size_t before = state.jobs.size();
            AddNamedJob(&state, options.operands[i], options.names);
            if (state.jobs.size() == before) continue;
            // The same path asked twice is written once.
            std::string target;
            for (const std::string& folder : state.jobs.back().folders) target += folder + "/";
            if (!targets.insert(target + state.jobs.back().fileName).second) state.jobs.pop_back();
        }
    }
    ReleaseArchiveIndex(state.archive.index);
    if (state.failed) return kExitFailed;
    return WriteJobs(&state, options.outputDir ? options.outputDir : ".", options.force);
}
