// Cost of the resource file system's directory index and of opens through it, on a generated
// tree of 50,000 files in 2,000 folders: a plain Windows console program, timed with
// QueryPerformanceCounter, meant to run under Wine as well as on Windows (see README.md).
//
//   resfs_index_bench [folder] [--rounds N] [--opens N]
//
// `folder` (default: %TEMP%\vorlin-resfs-bench) receives the tree "tree" and the marker file
// "tree.complete"; a complete tree is reused, an incomplete one is completed in place.
// Each of the N rounds (default 5) measures in fresh child processes (this program again, with
// "--child"): the index, MountResourceSource("tree", 0) with `folder` as the current directory,
// and the bare walk, the same recursion with SetCurrentDirectoryA into each folder and "*.*"
// listings that only counts files. The order alternates from round to round; medians are
// reported with their ratio. Then, in this process, `--opens` (default 10,000) OpenResourceFile
// calls on indexed names that the current folder does not hold, against fopen of the same files
// by full path.
#include <windows.h>
#include <mbstring.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <unordered_set>
#include <vector>

#include "resfs/mounts.h"
#include "resfs/name_hash.h"
#include "resfs/resource_open.h"

namespace {

const char kMarkerText[] = "vorlin resfs bench tree 1: 50000 files, 2000 folders\n";
const double kTargetRatio = 1.15;

double Now() {
    static LARGE_INTEGER frequency;
    if (!frequency.QuadPart) QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return (double)t.QuadPart / (double)frequency.QuadPart;
}

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// --- The tree ------------------------------------------------------------------------------

struct PlannedFile {
    int32_t folder;  // index into TreePlan::folders
    std::string name;
    bool excluded;  // an extension the index leaves out
};

struct TreePlan {
    std::vector<std::string> folders;  // relative to "tree", parents before children
    std::vector<PlannedFile> files;
};

struct Category {
    const char* folder;
    const char* prefix;
    const char* extensions[2];
};

const Category kCategories[20] = {
    {"bg", "bg", {".rct", ".png"}},      {"chara", "ch", {".rct", ".png"}},
    {"face", "fc", {".rct", ".rct"}},    {"event", "ev", {".rct", ".dat"}},
    {"bgm", "bgm", {".ogg", ".ogg"}},    {"se", "se", {".ogg", ".wav"}},
    {"voice", "vo", {".ogg", ".ogg"}},   {"movie", "mv", {".dat", ".dat"}},
    {"map", "map", {".dat", ".png"}},    {"scenario", "sc", {".dat", ".dat"}},
    {"system", "sys", {".dat", ".png"}}, {"ui", "ui", {".png", ".rct"}},
    {"font", "font", {".dat", ".dat"}},  {"effect", "ef", {".png", ".dat"}},
    {"item", "it", {".png", ".rct"}},    {"monster", "mon", {".rct", ".png"}},
    {"battle", "bt", {".dat", ".ogg"}},  {"title", "tt", {".rct", ".png"}},
    {"config", "cfg", {".dat", ".dat"}}, {"extra", "ex", {".png", ".ogg"}},
};
const char* const kSeasons[9] = {"common", "day",    "night", "spring", "summer",
                                 "autumn", "winter", "old",   "special"};
const char* const kWords[16] = {"forest", "castle", "town",  "river", "door",  "step",
                                "sword",  "smile",  "angry", "sky",   "field", "gate",
                                "rain",   "wind",   "fire",  "snow"};
// A few names are Japanese, as on real media (code page 932 in the program).
const char* const kJapaneseWords[6] = {"背景", "効果音", "立ち絵", "音声", "森", "城"};
const char* const kExcluded[6] = {".txt", ".exe", ".log", ".db", ".lnk", ".DLL"};

const int kFoldersPerCategory = 100;  // the category, 9 seasons, 10 scenes in each
const int kFilesPerFolder = 25;       // 2,000 folders x 25 = 50,000 files

uint32_t LowerHash(const std::string& name) {
    std::vector<char> lower(name.begin(), name.end());
    lower.push_back('\0');
    LowerCaseName(lower.data());
    return ComputeNameHash(lower.data());
}

// Every name distinct, and so is every name hash: two equal hashes would stop the scan with the
// duplicate box.
TreePlan MakePlan() {
    TreePlan plan;
    for (const Category& c : kCategories) {
        plan.folders.push_back(c.folder);
        for (const char* season : kSeasons) {
            std::string second = std::string(c.folder) + "\\" + season;
            plan.folders.push_back(second);
            for (int scene = 0; scene < 10; scene++) {
                char third[16];
                snprintf(third, sizeof third, "\\scene%02d", scene);
                plan.folders.push_back(second + third);
            }
        }
    }
    std::unordered_set<uint32_t> hashes;
    int32_t serial = 0;
    for (int32_t folder = 0; folder < (int32_t)plan.folders.size(); folder++) {
        const Category& c = kCategories[folder / kFoldersPerCategory];
        for (int i = 0; i < kFilesPerFolder; i++, serial++) {
            bool excluded = serial % 500 == 250;
            const char* extension =
                excluded ? kExcluded[(serial / 500) % 6] : c.extensions[serial % 2];
            const char* word = kWords[(serial / 3) % 16];
            char stem[64];
            if (serial % 50 == 7) {
                snprintf(stem, sizeof stem, "%s_%05d", kJapaneseWords[(serial / 50) % 6], serial);
            } else if (serial % 13 == 5) {
                snprintf(stem, sizeof stem, "%s_%s_%05d", c.prefix, word, serial);
                CharUpperA(stem);
            } else if (serial % 7 == 3) {
                snprintf(stem, sizeof stem, "%s_%c%s_%05d", c.prefix, word[0] - 32, word + 1,
                         serial);
            } else {
                snprintf(stem, sizeof stem, "%s_%s_%05d", c.prefix, word, serial);
            }
            std::string name = std::string(stem) + extension;
            while (!hashes.insert(LowerHash(name)).second) {
                name = name.substr(0, name.size() - strlen(extension)) + "x" + extension;
            }
            plan.files.push_back({folder, name, excluded});
        }
    }
    return plan;
}

bool ReadWholeFile(const std::string& path, std::string* text) {
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return false;
    char buffer[256];
    size_t n;
    text->clear();
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) text->append(buffer, n);
    fclose(f);
    return true;
}

// Creates what is missing of the tree (files are rewritten) and then the marker. Returns false
// on the first failure, with a message.
bool GenerateTree(const std::string& root, const TreePlan& plan) {
    std::string tree = root + "\\tree";
    CreateDirectoryA(tree.c_str(), NULL);
    for (const std::string& folder : plan.folders) {
        std::string path = tree + "\\" + folder;
        if (!CreateDirectoryA(path.c_str(), NULL) && GetLastError() != ERROR_ALREADY_EXISTS) {
            printf("cannot create folder %s\n", path.c_str());
            return false;
        }
    }
    for (const PlannedFile& file : plan.files) {
        std::string path = tree + "\\" + plan.folders[file.folder] + "\\" + file.name;
        HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, NULL);
        if (h == INVALID_HANDLE_VALUE) {
            printf("cannot create file %s\n", path.c_str());
            return false;
        }
        DWORD written = 0;
        WriteFile(h, file.name.data(), (DWORD)file.name.size(), &written, NULL);
        CloseHandle(h);
    }
    FILE* marker = fopen((root + "\\tree.complete").c_str(), "wb");
    if (!marker) return false;
    fputs(kMarkerText, marker);
    fclose(marker);
    return true;
}

bool EnsureTree(const std::string& root, const TreePlan& plan) {
    std::string marker;
    if (ReadWholeFile(root + "\\tree.complete", &marker) && marker == kMarkerText) {
        printf("tree: reusing %s\\tree\n", root.c_str());
        return true;
    }
    printf("tree: generating %zu files in %zu folders under %s\\tree ...\n", plan.files.size(),
           plan.folders.size(), root.c_str());
    fflush(stdout);
    double start = Now();
    if (!GenerateTree(root, plan)) return false;
    printf("tree: generated in %.1f s\n", Now() - start);
    return true;
}

// --- Measurements --------------------------------------------------------------------------

// Wall-clock time, and the CPU time of this process (user and kernel). Under Wine the CPU time
// leaves out the wineserver and every wait for it or for other programs on the machine, so it
// moves much less than the wall clock when the machine is busy; the work per folder in the
// wineserver is the same for the walk and the index.
struct Cost {
    double wall;
    double cpu;
};

double ProcessCpuSeconds() {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
    auto seconds = [](const FILETIME& t) {
        return (double)((uint64_t)t.dwHighDateTime << 32 | t.dwLowDateTime) / 1e7;
    };
    return seconds(kernel) + seconds(user);
}

Cost CostSince(const Cost& start) {
    return {Now() - start.wall, ProcessCpuSeconds() - start.cpu};
}

Cost CostNow() {
    return {Now(), ProcessCpuSeconds()};
}

// The bare walk: enter each folder, list "*.*", count the files.
int32_t WalkCurrentDirectory() {
    int32_t files = 0;
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA("*.*", &entry);
    if (find == INVALID_HANDLE_VALUE) return 0;
    do {
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            files++;
            continue;
        }
        size_t length = strlen(entry.cFileName);
        if (length > 0 && entry.cFileName[length - 1] == '.') continue;
        if (SetCurrentDirectoryA(entry.cFileName)) {
            files += WalkCurrentDirectory();
            SetCurrentDirectoryA("..");
        }
    } while (FindNextFileA(find, &entry));
    FindClose(find);
    return files;
}

// The two kinds of measurement.
enum { kWalk = 0, kIndex = 1 };

const char* KindLabel(int kind) { return kind == kWalk ? "bare walk" : "index (MountResourceSource)"; }

// One measurement with the bench folder current: the count of files (walks) or index entries,
// -1 on failure. Each index registration adds a mount: a bare name never matches a mount's
// stored path, so registering "tree" again scans the tree again into a mount of its own.
int32_t MeasureOnce(int kind, Cost* cost) {
    int32_t count = -1;
    Cost start = CostNow();
    if (kind == kWalk) {
        if (SetCurrentDirectoryA("tree")) {
            count = WalkCurrentDirectory();
            SetCurrentDirectoryA("..");
        }
        *cost = CostSince(start);
    } else {
        if (MountResourceSource("tree", 0) == Directory) {
            *cost = CostSince(start);
            const ResourceMount* last = GetFirstMount();
            while (last->next) last = last->next;
            count = last->dirCount;
        }
    }
    return count;
}

// A child process's work, after one untimed walk (so that each measurement meets the host's
// file system caches equally warm; the host may drop them between two processes):
//   "walk", "index"  one measurement: prints "RESULT wall cpu count"
// Returns the process status: 0 when everything ran and the current folder is unchanged.
int RunChild(const char* what, const char* root) {
    if (!SetCurrentDirectoryA(root)) {
        printf("cannot enter %s\n", root);
        return 2;
    }
    Cost warmUp;
    MeasureOnce(kWalk, &warmUp);
    char before[MAX_PATH], after[MAX_PATH];
    GetCurrentDirectoryA(sizeof before, before);
    if (strcmp(what, "walk") == 0 || strcmp(what, "index") == 0) {
        Cost cost;
        int32_t count = MeasureOnce(what[0] == 'w' ? kWalk : kIndex, &cost);
        if (count < 0) return 3;
        printf("RESULT %.6f %.6f %d\n", cost.wall, cost.cpu, (int)count);
    } else {
        return 2;
    }
    GetCurrentDirectoryA(sizeof after, after);
    if (strcmp(before, after) != 0) {
        printf("current directory changed: %s -> %s\n", before, after);
        return 4;
    }
    fflush(stdout);
    return 0;
}

// Runs this program with "--child what root"; its standard output and error in `output`. False
// (with a message) when it cannot start or ends with a status other than 0.
bool RunChildProcess(const char* what, const std::string& root, std::string* output) {
    char self[MAX_PATH];
    if (!GetModuleFileNameA(NULL, self, sizeof self)) return false;
    std::string command = std::string("\"") + self + "\" --child " + what + " \"" + root + "\"";
    std::vector<char> line(command.begin(), command.end());
    line.push_back('\0');

    SECURITY_ATTRIBUTES inherit = {sizeof inherit, NULL, TRUE};
    HANDLE readEnd, writeEnd;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) {
        printf("CreatePipe failed (%lu)\n", (unsigned long)GetLastError());
        return false;
    }
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    PROCESS_INFORMATION process = {};
    BOOL started =
        CreateProcessA(NULL, line.data(), NULL, NULL, TRUE, 0, NULL, NULL, &startup, &process);
    CloseHandle(writeEnd);
    if (!started) {
        CloseHandle(readEnd);
        printf("cannot start %s (%lu)\n", command.c_str(), (unsigned long)GetLastError());
        return false;
    }
    output->clear();
    char buffer[512];
    DWORD got;
    while (ReadFile(readEnd, buffer, sizeof buffer, &got, NULL) && got > 0) {
        output->append(buffer, got);
    }
    CloseHandle(readEnd);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = 1;
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    if (status != 0) {
        printf("child %s failed (status %lu): %s\n", what, (unsigned long)status, output->c_str());
        return false;
    }
    return true;
}

// One measurement in a fresh child process.
bool MeasureInChild(const char* what, const std::string& root, Cost* cost, int32_t* count) {
    std::string output;
    if (!RunChildProcess(what, root, &output)) return false;
    size_t at = output.find("RESULT ");
    int parsed = 0;
    if (at == std::string::npos ||
        sscanf(output.c_str() + at, "RESULT %lf %lf %d", &cost->wall, &cost->cpu, &parsed) != 3) {
        printf("child %s gave no result: %s\n", what, output.c_str());
        return false;
    }
    *count = parsed;
    return true;
}

// --- Reporting -----------------------------------------------------------------------------

struct Series {
    int kind;
    std::vector<Cost> costs;  // one per round
    int32_t count = -1;
};

double MedianOf(const std::vector<Cost>& costs, bool cpu) {
    std::vector<double> v;
    for (const Cost& c : costs) v.push_back(cpu ? c.cpu : c.wall);
    return Median(v);
}

double MinimumWall(const std::vector<Cost>& costs) {
    double m = costs.empty() ? 0 : costs[0].wall;
    for (const Cost& c : costs) m = std::min(m, c.wall);
    return m;
}

// Median over the rounds of (this series' time / the walk's time of the same round).
double MedianRoundRatio(const Series& s, const Series& walk, bool cpu) {
    std::vector<double> ratios;
    for (size_t r = 0; r < s.costs.size() && r < walk.costs.size(); r++) {
        const Cost& a = s.costs[r];
        const Cost& b = walk.costs[r];
        double denominator = cpu ? b.cpu : b.wall;
        if (denominator > 0) ratios.push_back((cpu ? a.cpu : a.wall) / denominator);
    }
    return Median(ratios);
}

// The table of series; the first one must be the bare walk. Returns the index's ratio of wall
// medians to the walk (0 when the index is not in the table).
double PrintTable(const std::vector<Series>& series, int32_t files) {
    printf("  %-30s %9s %9s %8s %9s %9s %9s %9s %9s\n", "", "wall med", "wall min", "us/file",
           "med/walk", "round", "min/walk", "cpu med", "cpu/walk");
    const Series& walk = series[0];
    double walkWall = MedianOf(walk.costs, false), walkCpu = MedianOf(walk.costs, true);
    double walkMin = MinimumWall(walk.costs);
    double indexRatio = 0;
    for (const Series& s : series) {
        double wall = MedianOf(s.costs, false), cpu = MedianOf(s.costs, true);
        if (s.kind == kIndex) indexRatio = wall / walkWall;
        printf("  %-30s %8.3fs %8.3fs %8.2f %8.3fx %8.3fx %8.3fx %8.3fs %8.3fx\n",
               KindLabel(s.kind), wall, MinimumWall(s.costs), wall / files * 1e6, wall / walkWall,
               MedianRoundRatio(s, walk, false), MinimumWall(s.costs) / walkMin, cpu,
               walkCpu > 0 ? cpu / walkCpu : 0.0);
    }
    printf(
        "  (round: median of each round's ratio to the walk of the same round; min/walk: the\n"
        "   fastest against the fastest walk; cpu: this process's CPU time, without the\n"
        "   wineserver, in ticks of 10-20 ms under Wine)\n");
    return indexRatio;
}

// --- Opens ---------------------------------------------------------------------------------

struct OpenTarget {
    std::string name;      // as the tree holds it
    std::string fullPath;  // absolute
};

std::vector<OpenTarget> PickOpenTargets(const std::string& root, const TreePlan& plan, int count) {
    std::vector<const PlannedFile*> indexed;
    for (const PlannedFile& f : plan.files) {
        if (!f.excluded) indexed.push_back(&f);
    }
    std::vector<OpenTarget> targets;
    if (indexed.empty() || count <= 0) return targets;
    for (int i = 0; i < count; i++) {
        const PlannedFile* f = indexed[(size_t)((double)i * indexed.size() / count)];
        targets.push_back({f->name, root + "\\tree\\" + plan.folders[f->folder] + "\\" + f->name});
    }
    return targets;
}

// Seconds for one pass of opens; false when an open failed.
bool TimeOpens(const std::vector<OpenTarget>& targets, bool throughMounts, double* seconds) {
    double start = Now();
    for (const OpenTarget& t : targets) {
        FILE* f = throughMounts ? OpenResourceFile(t.name.c_str(), "rb")
                                : fopen(t.fullPath.c_str(), "rb");
        if (!f) {
            printf("cannot open %s\n", t.name.c_str());
            return false;
        }
        fclose(f);
    }
    *seconds = Now() - start;
    return true;
}

// Seconds for the two steps that an open through the mounts adds to the open itself: the
// direct open in the current folder, which fails, and the key with the walk of the index.
void TimeOpenSteps(const std::vector<OpenTarget>& targets, double* missing, double* lookup) {
    double start = Now();
    for (const OpenTarget& t : targets) {
        FILE* f = fopen(t.name.c_str(), "rb");
        if (f) fclose(f);
    }
    *missing = Now() - start;
    const ResourceMount* mount = GetFirstMount();
    uint32_t matches = 0;
    start = Now();
    for (const OpenTarget& t : targets) {
        char lower[MAX_PATH];
        strcpy(lower, t.name.c_str());
        LowerCaseName(lower);
        uint32_t key = ComputeNameHash(lower);
        for (int32_t i = 0; i < mount->dirCount; i++) matches += mount->dirIndex[i].nameHash == key;
    }
    *lookup = Now() - start;
    if (matches != targets.size())
        printf("index lookups found %u of %zu\n", matches, targets.size());
}

bool RunOpens(const std::string& root, const TreePlan& plan, int opens) {
    // The tree mounted once in this process; the bench folder, current, holds none of the names.
    if (!SetCurrentDirectoryA(root.c_str()) || MountResourceSource("tree", 0) != Directory) {
        printf("cannot mount %s\\tree\n", root.c_str());
        return false;
    }
    std::vector<OpenTarget> targets = PickOpenTargets(root, plan, opens);
    if (targets.empty()) return true;
    std::vector<double> viaMounts, direct, missing, lookup;
    const int kPasses = 5;
    for (int pass = 0; pass < kPasses; pass++) {
        double a = 0, b = 0, c, d;
        bool ok = pass % 2 ? TimeOpens(targets, false, &b) && TimeOpens(targets, true, &a)
                           : TimeOpens(targets, true, &a) && TimeOpens(targets, false, &b);
        if (!ok) return false;
        TimeOpenSteps(targets, &c, &d);
        viaMounts.push_back(a);
        direct.push_back(b);
        missing.push_back(c);
        lookup.push_back(d);
    }
    double n = (double)targets.size();
    printf("\nopens of %d indexed names, medians of %d passes (per call):\n", (int)targets.size(),
           kPasses);
    printf("  OpenResourceFile + fclose                 %8.1f us\n", Median(viaMounts) / n * 1e6);
    printf("  fopen by full path + fclose, same files   %8.1f us  (OpenResourceFile %.2fx)\n",
           Median(direct) / n * 1e6, Median(viaMounts) / Median(direct));
    printf(
        "  steps added by the mounts: direct fopen in the current folder (fails) %6.1f us,\n"
        "    key and walk of the %d index entries %6.1f us\n",
        Median(missing) / n * 1e6, (int)GetFirstMount()->dirCount, Median(lookup) / n * 1e6);
    return true;
}

// --- Driver --------------------------------------------------------------------------------

int RunBenchmark(const std::string& root, int rounds, int opens) {
    TreePlan plan = MakePlan();
    int32_t allFiles = (int32_t)plan.files.size(), excludedFiles = 0;
    for (const PlannedFile& f : plan.files) excludedFiles += f.excluded;
    if (GetFileAttributesA((root + "\\tree.arc").c_str()) != INVALID_FILE_ATTRIBUTES) {
        printf("%s\\tree.arc exists: the mount would be that archive\n", root.c_str());
        return 1;
    }
    if (!EnsureTree(root, plan)) return 1;

    std::vector<Series> series = {{kWalk, {}}, {kIndex, {}}};
    printf("measuring %d rounds, each measurement in a fresh process, order alternating ...\n",
           rounds);
    fflush(stdout);
    for (int round = 0; round < rounds; round++) {
        for (int k = 0; k < 2; k++) {
            Series& s = series[(k + round) % 2];
            Cost cost;
            if (!MeasureInChild(s.kind == kWalk ? "walk" : "index", root, &cost, &s.count)) {
                return 1;
            }
            s.costs.push_back(cost);
        }
        printf("  round %d: walk %.3f s, index %.3f s\n", round + 1, series[0].costs.back().wall,
               series[1].costs.back().wall);
        fflush(stdout);
    }
    if (series[0].count != allFiles || series[1].count != allFiles - excludedFiles) {
        printf("counts differ: walk %d (expected %d), index %d (expected %d)\n",
               (int)series[0].count, (int)allFiles, (int)series[1].count,
               (int)(allFiles - excludedFiles));
        return 1;
    }
    printf("\n%zu folders, %d files (%d with excluded extensions), %d rounds:\n",
           plan.folders.size(), (int)allFiles, (int)excludedFiles, rounds);
    double ratio = PrintTable(series, allFiles);
    printf("index / walk, wall-clock medians: %.3f; target <= %.2f: %s\n", ratio, kTargetRatio,
           ratio <= kTargetRatio ? "met" : "MISSED");
    fflush(stdout);
    return RunOpens(root, plan, opens) ? 0 : 1;
}

std::string DefaultRoot() {
    char temp[MAX_PATH];
    DWORD n = GetTempPathA(sizeof temp, temp);
    if (n == 0 || n >= sizeof temp) return ".\\vorlin-resfs-bench";
    return std::string(temp) + "vorlin-resfs-bench";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && strcmp(argv[1], "--child") == 0) return RunChild(argv[2], argv[3]);
    std::string root;
    int rounds = 5, opens = 10000;
    for (int i = 1; i < argc; i++) {
        if (strcmp(argv[i], "--rounds") == 0 && i + 1 < argc) {
            rounds = atoi(argv[++i]);
        } else if (strcmp(argv[i], "--opens") == 0 && i + 1 < argc) {
            opens = atoi(argv[++i]);
        } else if (argv[i][0] != '-' && root.empty()) {
            root = argv[i];
        } else {
            fprintf(stderr,
                    "usage: resfs_index_bench [folder] [--rounds N] [--opens N]\n");
            return 2;
        }
    }
    if (rounds < 1) rounds = 1;
    if (root.empty()) root = DefaultRoot();
    CreateDirectoryA(root.c_str(), NULL);
    char full[MAX_PATH];
    char* filePart;
    DWORD n = GetFullPathNameA(root.c_str(), sizeof full, full, &filePart);
    if (n == 0 || n >= sizeof full) return 2;
    root = full;
    while (root.size() > 3 && root.back() == '\\') root.pop_back();
    return RunBenchmark(root, rounds, opens);
}
