// Packing a resource archive ("VorlinArcV1.000", resfs/archive_format.h) from files and folders,
// as `vorlin-arc pack` and `vorlin-media build` do it. A file given by name is always packed under
// its final name; a folder is walked recursively with the launcher's folder rules (resfs/
// mount_rules.h: no .txt, .exe, .dll, .db files and the like, no debuginfo folders), which an
// archive of the launcher's mounts needs, or, with `all`, with every file and folder, which an
// archive that the game itself reads (data.arc, voice.arc...) may need. The archive is written
// under a temporary name and renamed when complete; a failed pack leaves what was there.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "tools/common/cp932_names.h"

struct PackOptions {
    NameMode names;  // how names become code page 932 (cp932_names.h)
    bool all;        // keep what the launcher's folder rules leave out
    bool verbose;    // name each file and folder left out
};

struct PackResult {
    unsigned files;
    uint32_t bytes;  // the archive's size
    unsigned filesLeftOut, foldersLeftOut;
};

// Packs `inputs` into `outPath`. Each problem is printed (PrintError) as it is found; false when
// nothing was written.
bool PackArchive(const std::string& outPath, const std::vector<std::string>& inputs,
                 const PackOptions& options, PackResult* result);
