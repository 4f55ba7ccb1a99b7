// What a media carries that no update copies and no mount reads: files and folders beside the
// launcher's own (update.exe, vorlin.env, update.rct, update.sum, the readme the menu opens),
// archives outside the update list, sub-folders of help, a mount folder that an archive of its name
// hides, and the files a mount folder's index leaves out. `check` names each, so that nothing
// passes in silence, and its summary lists them as left behind.
#pragma once

#include <string>
#include <vector>

#include "tools/media/media_copies.h"
#include "tools/media/media_mounts.h"
#include "tools/media/media_settings.h"

struct LeftBehind {
    std::string shown;  // media-relative, with the platform's separator; a folder ends with one
    unsigned files;     // for a folder: the files in it, at any depth
    std::string why;    // what the launcher does instead, for the message
};

void FindLeftBehind(const MediaLayout& layout, const MediaSettings& settings,
                    const std::vector<CopiedFile>& copied, std::vector<LeftBehind>* left);
