// EXPERIMENT ONLY: a copy of the launcher's recursive directory scan (resfs/mounts.cpp), kept in
// the benchmark so that cheaper variants of its per-file and per-folder work can be timed against
// the real index on the same tree. Nothing in the launcher uses it. Every variant must build the
// same index as the launcher: `ExperimentMatchesMount` checks that entry by entry.
#pragma once
#include <stdint.h>

struct ResourceMount;

struct ExperimentOptions {
    // Names whose bytes are all below 0x80 are lower-cased A-Z in place; any other name still
    // goes through the platform's CharLowerA (its only effect on ASCII text is A-Z -> a-z).
    bool asciiLower;
    // The excluded-extension test still finds the last dot with _mbsrchr, but compares the
    // suffix once instead of calling _mbsicmp for each of the 11 extensions: only a suffix of 3
    // or 4 bytes, all ASCII, can equal one of them (_mbsicmp folds no other character onto an
    // ASCII letter), and for ASCII text _mbsicmp is an A-Z-folding comparison.
    bool suffixExclusion;
    // A sub-folder is entered by the path made of the folder's own directory string (which is
    // the current directory while it is listed) and the entry's name, restored to that string,
    // instead of asking the platform for the current directory three times and for the full path.
    bool directoryFromString;
};

struct ExperimentEntry {
    uint32_t nameHash;
    char* directory;
};

struct ExperimentIndex {
    ExperimentEntry* entries;
    int32_t count;
    int32_t capacity;
};

// The excluded-extension test of the launcher (false) or the suggested one (true).
bool ExperimentIsExcluded(const char* name, bool bySuffix);

// Scans the folder `name` (relative to the current directory) as MountResourceSource would scan
// a directory mount. Returns 0 with the index filled, -1 when the folder could not be entered.
int32_t ExperimentScan(const char* name, const ExperimentOptions& options, ExperimentIndex* index);

// Releases the index and its directory strings.
void ExperimentFree(ExperimentIndex* index);

// True when `index` holds exactly the entries of the directory mount `mount`, in the same order
// with equal directory strings.
bool ExperimentMatchesMount(const ExperimentIndex& index, const ResourceMount* mount);
