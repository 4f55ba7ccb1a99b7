// Names that differ only in case: one name where the launcher runs, so a media written on a system
// that tells them apart loses one of the files on the player's. `check` reports each as an error
// and `seal` refuses such a media.
#pragma once

#include <string>
#include <vector>

struct NameClash {
    std::string shown;  // media-relative, with the platform's separator
    std::string other;  // the name it clashes with, the same way
};

// Every name anywhere under `folder` that equals an earlier name of its folder (in byte order)
// once both are lower-cased as code page 932 text.
void FindNameClashes(const std::string& folder, std::vector<NameClash>* clashes);
