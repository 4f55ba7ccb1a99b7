// The files an update from a media copies (see media_copies.h).
#include "tools/media/media_copies.h"

#include <string.h>

#include "resfs/cp932_lower.h"
#include "tools/common/cp932_names.h"
#include "update/core/update_list.h"
#include "update/core/update_plan.h"

void BeginMediaRun(MediaRun* media, const std::string& mediaFolder, const std::string& install,
                   const MediaSettings& settings) {
    InitMediaFileSystem(&media->fs, mediaFolder, install);
    std::string exeName = GetMediaSetting(settings, "EXENAME");
    BeginUpdateRun(&media->run, &media->fs.table, &kSilentProgress, kToolInstallRoot,
                   exeName.c_str());
    media->sealError = kFsOk;
    media->seal = LoadSeal(&media->fs.table, &media->run.seal, &media->sealError);
    media->planned = BuildUpdatePlan(&media->run);
}

void EndMediaRun(MediaRun* media) {
    EndUpdateRun(&media->run);
}

static bool IsPlanned(const UpdatePlan* plan, const std::string& source) {
    std::string wanted = LowerCp932Copy(source);
    for (uint32_t i = 0; i < plan->count; i++) {
        if (LowerCp932Copy(plan->files[i].source) == wanted) return true;
    }
    return false;
}

void ListPlannedCopies(const MediaRun* media, std::vector<CopiedFile>* files,
                       std::vector<std::string>* absent) {
    files->clear();
    absent->clear();
    const UpdatePlan* plan = &media->run.plan;
    size_t helpPrefix = strlen(kUpdateHelpFolder);
    for (uint32_t i = 0; i < plan->count; i++) {
        const PlannedFile& p = plan->files[i];
        CopiedKind kind = p.stage == kStageExecutable ? kCopiedExecutable : kCopiedListEntry;
        if (kind == kCopiedListEntry && strncmp(p.source, kUpdateHelpFolder, helpPrefix) == 0 &&
            p.source[helpPrefix] == '\\') {
            kind = kCopiedHelp;
        }
        std::string platform;
        PathKind found;
        uint64_t size;
        // Shown as the media folder holds it (a help file with the platform's separator).
        std::string shown = Cp932ToDisplay(p.source);
        if (ResolveCorePath(&media->fs, p.source, &platform, &found, &size)) {
            shown = platform.substr(media->fs.mediaFolder.size());
            while (!shown.empty() && (shown[0] == '/' || shown[0] == '\\')) shown.erase(0, 1);
        }
        files->push_back(
            {kind, p.source, p.target, platform, shown, p.size, true, p.replaces, p.oldSize});
    }
    for (const std::string& unnamed : media->fs.unnamed) {
        std::string platform = JoinPath(media->fs.mediaFolder, unnamed);
        uint64_t size = 0;
        GetPathKind(platform, &size);
        files->push_back({kCopiedHelp, "", "", platform, unnamed, size, false, false, 0});
    }
    char exeMediaName[kUpdateNameBytes];
    MakeMediaExeName(media->run.exeName, exeMediaName);
    if (!IsPlanned(plan, exeMediaName)) absent->push_back(exeMediaName);
    for (const char* entry : kUpdateFileList) {
        if (entry[0] != '|' && !IsPlanned(plan, entry)) absent->push_back(entry);
    }
}
