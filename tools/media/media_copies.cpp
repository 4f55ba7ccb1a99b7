// The files an update from a media copies (see media_copies.h).
#include "tools/media/media_copies.h"

#include "tools/common/cp932_names.h"
#include "update/core/update_list.h"

static void AddIfOnMedia(const MediaLayout& layout, CopiedKind kind, const std::string& name,
                         const std::string& destination, std::vector<CopiedFile>* files,
                         std::vector<std::string>* absent) {
    MediaFile file;
    if (!FindMediaFile(layout, name, &file)) {
        absent->push_back(name);
        return;
    }
    files->push_back({kind, name, destination, file.path, Cp932ToDisplay(name), file.size, true});
}

void CollectCopiedFiles(const MediaLayout& layout, const MediaSettings& settings,
                        std::vector<CopiedFile>* files, std::vector<std::string>* absent) {
    files->clear();
    absent->clear();
    AddIfOnMedia(layout, kCopiedExecutable, MediaExeName(settings),
                 GetMediaSetting(settings, "EXENAME"), files, absent);
    for (const char* entry : kUpdateFileList) {
        if (entry[0] != '|') AddIfOnMedia(layout, kCopiedListEntry, entry, entry, files, absent);
    }

    const MediaEntry* help = FindMediaEntry(layout.entries, kUpdateHelpFolder);
    if (!help || help->kind != kPathDirectory) return;
    std::string helpPath = JoinPath(layout.folder, help->name);
    std::vector<MediaEntry> entries;
    std::string error;
    if (!ListMediaFolder(helpPath, &entries, &error)) return;
    for (const MediaEntry& entry : entries) {
        if (entry.kind != kPathFile) continue;
        std::string name = std::string(kUpdateHelpFolder) + "\\" + entry.cp932;
        files->push_back({kCopiedHelp, name, name, JoinPath(helpPath, entry.name),
                          JoinPath(help->name, entry.name), entry.size, entry.hasCp932});
    }
}
