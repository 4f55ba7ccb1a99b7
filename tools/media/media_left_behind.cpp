// What a media carries that no update copies and no mount reads (see media_left_behind.h).
#include "tools/media/media_left_behind.h"

#include <string.h>

#include <set>

#include "resfs/cp932_lower.h"
#include "resfs/mount_rules.h"
#include "tools/common/cp932_names.h"
#include "update/core/update_list.h"

namespace {

const int kMaxDepth = 64;

#ifdef _WIN32
const char kSeparator[] = "\\";
#else
const char kSeparator[] = "/";
#endif

unsigned CountFiles(const std::string& dir, int depth) {
    std::vector<MediaEntry> entries;
    std::string error;
    if (depth > kMaxDepth || !ListMediaFolder(dir, &entries, &error)) return 0;
    unsigned count = 0;
    for (const MediaEntry& entry : entries) {
        if (entry.kind == kPathDirectory)
            count += CountFiles(JoinPath(dir, entry.name), depth + 1);
        else
            count++;
    }
    return count;
}

bool EndsWith(const std::string& text, const char* suffix) {
    size_t n = strlen(suffix);
    return text.size() >= n && text.compare(text.size() - n, n, suffix) == 0;
}

std::string ListedArchives() {
    std::string names;
    for (const char* entry : kUpdateFileList) {
        if (entry[0] == '|' || !EndsWith(entry, ".arc")) continue;
        if (!names.empty()) names += ", ";
        names += entry;
    }
    return names;
}

// The files a mount folder's index leaves out, at any depth.
void FindUnindexed(const std::string& dir, const std::string& shownDir, const std::string& mount,
                   int depth, std::vector<LeftBehind>* left) {
    std::vector<MediaEntry> entries;
    std::string error;
    if (depth > kMaxDepth || !ListMediaFolder(dir, &entries, &error)) return;
    for (const MediaEntry& entry : entries) {
        std::string path = JoinPath(dir, entry.name);
        std::string shown = shownDir + kSeparator + entry.name;
        if (!entry.hasCp932) {
            left->push_back({shown, 0,
                             "its name has no code page 932 form, so the " + mount +
                                 " folder's index cannot hold it"});
        } else if (entry.kind == kPathDirectory) {
            if (IsScannedFolderName(entry.cp932.c_str()))
                FindUnindexed(path, shown, mount, depth + 1, left);
            else
                left->push_back({shown + kSeparator, CountFiles(path, 0),
                                 "the launcher does not index folders named debuginfo or ending "
                                 "in a dot"});
        } else if (!IsIndexedFileName(entry.cp932.c_str())) {
            const char* dot = FindNameExtension(entry.cp932.c_str());
            left->push_back({shown, 0,
                             "the " + mount + " folder's index leaves out " +
                                 (dot ? LowerCp932Copy(dot) : std::string("such")) +
                                 " files (as it leaves out .txt, .exe, .dll, .lnk and the like)"});
        }
    }
}

}  // namespace

void FindLeftBehind(const MediaLayout& layout, const MediaSettings& settings,
                    const std::vector<CopiedFile>& copied, std::vector<LeftBehind>* left) {
    left->clear();
    // Names the launcher reads or copies from the media folder itself, lower-cased.
    std::set<std::string> used = {"update.exe", "vorlin.env", "update.rct", "update.sum"};
    used.insert(LowerCp932Copy(GetMediaSetting(settings, "UPDATEREADME")));
    for (const CopiedFile& f : copied)
        if (f.hasCp932) used.insert(LowerCp932Copy(f.name));
    std::string exeMediaName = MediaExeName(settings);
    for (const MediaEntry& entry : layout.entries) {
        std::string path = JoinPath(layout.folder, entry.name);
        if (!entry.hasCp932) {
            left->push_back(
                {entry.name, 0, "its name has no code page 932 form: the launcher cannot open it"});
            continue;
        }
        std::string lower = LowerCp932Copy(entry.cp932);
        if (entry.kind == kPathDirectory) {
            const MediaMount* mount = nullptr;
            for (const MediaMount& m : layout.mounts)
                if (m.name == lower) mount = &m;
            if (lower == kUpdateHelpFolder) {
                std::vector<MediaEntry> inside;
                std::string error;
                ListMediaFolder(path, &inside, &error);
                for (const MediaEntry& sub : inside) {
                    if (sub.kind != kPathDirectory) continue;
                    left->push_back(
                        {entry.name + kSeparator + sub.name + kSeparator,
                         CountFiles(JoinPath(path, sub.name), 0),
                         "an update copies only the files directly in help, not its sub-folders"});
                }
            } else if (mount && !mount->archive) {
                FindUnindexed(path, entry.name, lower, 0, left);
            } else if (mount) {
                left->push_back({entry.name + kSeparator, CountFiles(path, 0),
                                 lower + ".arc is the " + lower +
                                     " mount, so the launcher reads nothing from this folder"});
            } else {
                left->push_back({entry.name + kSeparator, CountFiles(path, 0),
                                 "no update copies it and the launcher does not read it"});
            }
            continue;
        }
        if (used.count(lower)) continue;
        if (EndsWith(lower, ".arc"))
            left->push_back({entry.name, 0,
                             "an update copies only the archives of its fixed list (" +
                                 ListedArchives() + ")"});
        else if (EndsWith(lower, ".bin"))
            left->push_back({entry.name, 0,
                             "an update copies the executable only as " +
                                 Cp932ToDisplay(exeMediaName) + " (EXENAME " +
                                 Cp932ToDisplay(GetMediaSetting(settings, "EXENAME")) + ")"});
        else
            left->push_back(
                {entry.name, 0, "no update copies it and the launcher does not read it"});
    }
}
