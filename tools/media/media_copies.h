// The files an update from a media copies, found by the launcher's own plan (the update core's
// BuildUpdatePlan run on the media through MediaFileSystem): the executable, the update list's
// entries on the media, then the help files, each under the name the launcher gives it.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "tools/media/media_file_system.h"
#include "tools/media/media_settings.h"
#include "update/core/update_run.h"

enum CopiedKind { kCopiedExecutable, kCopiedListEntry, kCopiedHelp };
struct CopiedFile {
    CopiedKind kind;
    std::string name;         // as the launcher names it, code page 932 ("help\index.htm")
    std::string destination;  // name under the install folder (EXENAME for the executable)
    std::string path;         // platform path
    std::string shownName;    // platform text, for messages
    uint64_t size;
    bool hasCp932;  // false: a file whose name has no code page 932 form (the launcher skips it)
    bool replaces;  // with an install folder: a file of that name is there now
    uint64_t oldSize;
};

// One update's run over a media (and an install folder, when given), as the launcher would make
// it. It must not move once begun: the run points to its file system.
struct MediaRun {
    MediaFileSystem fs;
    UpdateRun run;      // its seal is loaded before the plan is made, as the launcher loads it
    SealState seal;     // what update.sum is
    FsError sealError;  // why it cannot be read (kSealUnreadable)
    bool planned;       // false: the plan stopped (run.failure, run.failedFile say why)
};

// Loads the seal and plans the update of the media folder `media` (into the platform folder `install`, or none).
void BeginMediaRun(MediaRun* media, const std::string& mediaFolder, const std::string& install,
                   const MediaSettings& settings);
void EndMediaRun(MediaRun* media);
// The planned files in copying order, then those the launcher cannot name; *absent receives the
// executable's and list entries' names not on the media.
void ListPlannedCopies(const MediaRun* media, std::vector<CopiedFile>* files,
                       std::vector<std::string>* absent);
