// The update's own side files in a snapshot of an install folder (relative path -> bytes), for the
// failure loops on the model file system and under Wine alike.
#pragma once
#include <map>
#include <string>

// Whether the snapshot path names one of the update's own files ("~vup..."), a folder's included.
inline bool IsSideFile(const std::string& relative) {
    size_t slash = relative.rfind('\\', relative.size() - 2);
    std::string name = relative.substr(slash == std::string::npos ? 0 : slash + 1);
    return name.compare(0, 4, "~vup") == 0;
}

// The snapshot without the update's own files: the game as the player has it.
inline std::map<std::string, std::string> WithoutSideFiles(
    const std::map<std::string, std::string>& all) {
    std::map<std::string, std::string> kept;
    for (const auto& e : all) {
        if (!IsSideFile(e.first)) kept.insert(e);
    }
    return kept;
}
