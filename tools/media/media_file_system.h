// A media folder, and an install folder, as the update core sees them through its file system
// (update/core/update_fs.h): the tools run the launcher's own plan and seal check on them, so that
// what `check` and `seal` say an update copies is what the launcher copies.
//
// Media names ("help\index.htm") are code page 932 and resolve in the media folder, each part
// matched case-insensitively as Windows matches it. Install paths begin with kToolInstallRoot
// ("I:\data.arc") and resolve in the install folder given to `check --install`; without one,
// nothing is installed. The tools only look: every operation that would change a file is refused.
//
// A listing leaves out names that have no code page 932 form (the launcher could not open them)
// and records them in `unnamed`, so that the tools can name them.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "tools/common/tool_files.h"
#include "update/core/update_fs.h"
#include "update/core/update_progress.h"

extern const char kToolInstallRoot[];  // "I:", the install folder's name for the core

struct MediaFileSystem {
    UpdateFileSystem table;     // its context is this struct
    std::string mediaFolder;    // platform path
    std::string installFolder;  // platform path; empty: no install folder
    // Media files a listing found without a code page 932 form, relative to the media folder.
    std::vector<std::string> unnamed;
};

void InitMediaFileSystem(MediaFileSystem* fs, const std::string& mediaFolder,
                         const std::string& installFolder);
// The platform path of a core path (media-relative, or under kToolInstallRoot) and what is
// there; false when a part of it is not there.
bool ResolveCorePath(const MediaFileSystem* fs, const char* path, std::string* platform,
                     PathKind* kind, uint64_t* size);

// A display for a run that shows nothing, waits for nothing and declines every question.
extern const UpdateProgress kSilentProgress;
