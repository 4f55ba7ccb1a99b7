// The files an update from a media copies, each under the name the launcher gives it: the
// executable, the update list's entries on the media, then the help files.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "tools/media/media_mounts.h"
#include "tools/media/media_settings.h"

// The files an update copies, in copying order.
enum CopiedKind { kCopiedExecutable, kCopiedListEntry, kCopiedHelp };
struct CopiedFile {
    CopiedKind kind;
    std::string name;         // as the launcher names it, code page 932 ("help\index.htm")
    std::string destination;  // name under the install folder (EXENAME for the executable)
    std::string path;         // platform path
    std::string shownName;    // platform text, for messages
    uint64_t size;
    bool hasCp932;  // help files: false when the name has no code page 932 form
};
// The executable (if on the media), the list entries on the media, then the help files.
// *absent receives the executable's and list entries' names not on the media.
void CollectCopiedFiles(const MediaLayout& layout, const MediaSettings& settings,
                        std::vector<CopiedFile>* files, std::vector<std::string>* absent);
