// Names that differ only in case (see media_name_cases.h).
#include "tools/media/media_name_cases.h"

#include <map>

#include "resfs/cp932_lower.h"
#include "tools/media/media_listing.h"

namespace {

const int kMaxDepth = 64;  // deeper than any media tree; stops loops through links

void FindIn(const std::string& dir, const std::string& shownDir, int depth,
            std::vector<NameClash>* clashes) {
    std::vector<MediaEntry> entries;
    std::string error;
    if (depth > kMaxDepth || !ListMediaFolder(dir, &entries, &error)) return;
    std::map<std::string, const MediaEntry*> seen;
    for (const MediaEntry& entry : entries) {
        std::string shown = shownDir.empty() ? entry.name : JoinPath(shownDir, entry.name);
        if (entry.hasCp932) {
            auto inserted = seen.insert({LowerCp932Copy(entry.cp932), &entry});
            if (!inserted.second) {
                const std::string& otherName = inserted.first->second->name;
                clashes->push_back(
                    {shown, shownDir.empty() ? otherName : JoinPath(shownDir, otherName)});
            }
        }
        if (entry.kind == kPathDirectory)
            FindIn(JoinPath(dir, entry.name), shown, depth + 1, clashes);
    }
}

}  // namespace

void FindNameClashes(const std::string& folder, std::vector<NameClash>* clashes) {
    clashes->clear();
    FindIn(folder, "", 0, clashes);
}
