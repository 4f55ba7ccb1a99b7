// Copy speed as the user waits for it: the launcher's durable copy (opening its two-bar dialog,
// the update core drafting under it with the animation playing, closing the dialog: all of it
// timed), unsealed and on a sealed media (each chunk also digested, the digest compared), against
// the platform's CopyFileA followed by FlushFileBuffers on the destination (the same durability),
// against plain CopyFileA, and against the same temporary-file protocol made of bare calls. Every
// contender replaces an existing destination. In each round
// they run in a rotated order, so that none always runs first on a warm or cold cache, and
// what plain CopyFileA leaves unwritten is flushed, untimed, before the next one starts.
// Prints each round, then the median and the maximum of each contender.
//
//   copy_bench [MiB [rounds]]      one file of MiB (default 512), rounds (default 9)
//   copy_bench preflight [files]   the check before an update on a media with `files` help files
//                                  (default 3000), against listing the same files
//   copy_bench table [MiB]         the update's three media in one run (data.arc of MiB, default
//                                  512, alone, with 300 and with 3,000 help files) and a table of
//                                  the figures, each small file's cost beside the baseline's
//   copy_bench update [MiB [files [rounds]]]
//                                  the whole update as the player waits for it (the question and
//                                  boxes answered at once, both copy dialogs, every file drafted,
//                                  checked against the seal where there is one, and put in place,
//                                  the record in the registry) of a media of the executable, a
//                                  data.arc of MiB (default 512) and `files` help files (default
//                                  3000), unsealed and sealed, against CopyFileA + FlushFileBuffers
//                                  of the same files into the same install folder (default 5
//                                  rounds)
//
// Run under Wine with scripts/wine-run from a folder on the disk to measure, with room for four
// copies of the file.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "settings/env_settings.h"
#include "settings/registry_store.h"
#include "ui/message_box.h"
#include "update/core/draft_pump.h"
#include "update/core/preflight.h"
#include "update/core/sum_file.h"
#include "update/core/update_commit.h"
#include "update/core/update_list.h"
#include "update/core/update_plan.h"
#include "update/windows/copy_dialog.h"
#include "update/windows/update_procedure.h"
#include "update/windows/win32_file_system.h"

static double NowSeconds() {
    LARGE_INTEGER frequency, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return (double)now.QuadPart / (double)frequency.QuadPart;
}

static bool WriteFileOfSize(const char* path, int64_t size) {
    HANDLE h = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (h == INVALID_HANDLE_VALUE) return false;
    std::vector<char> chunk(1 << 20);
    for (size_t i = 0; i < chunk.size(); i++) chunk[i] = (char)(i * 131 + 7);
    for (int64_t done = 0; done < size;) {
        DWORD want = (DWORD)std::min<int64_t>((int64_t)chunk.size(), size - done);
        DWORD written = 0;
        WriteFile(h, chunk.data(), want, &written, NULL);
        done += want;
    }
    CloseHandle(h);
    return true;
}

struct Series {
    const char* name;
    std::function<bool()> run;
    std::vector<double> seconds;
    const char* written;  // flushed after the timed run, untimed (null: nothing)
};

static void Report(const std::vector<Series>& all, double bytes) {
    for (const Series& s : all) {
        std::vector<double> v = s.seconds;
        std::sort(v.begin(), v.end());
        double median = v[v.size() / 2], maximum = v.back();
        printf("%-34s median %.3f s", s.name, median);
        if (bytes > 0) printf(" (%5.0f MB/s)", bytes / median / 1e6);
        printf("  max %.3f s", maximum);
        if (&s != &all[0]) {
            std::vector<double> ours = all[0].seconds;
            std::sort(ours.begin(), ours.end());
            printf("  ours/this %.2fx", ours[ours.size() / 2] / median);
        }
        printf("\n");
    }
}

static bool FlushFile(const char* path);

// Runs every series once per round, the order rotated each round.
static bool RunRounds(std::vector<Series>* all, int rounds) {
    for (int round = 0; round < rounds; round++) {
        printf("round %d:", round + 1);
        for (size_t k = 0; k < all->size(); k++) {
            Series& s = (*all)[(round + k) % all->size()];
            double start = NowSeconds();
            if (!s.run()) {
                printf("\n%s failed\n", s.name);
                return false;
            }
            double took = NowSeconds() - start;
            s.seconds.push_back(took);
            // Data a contender left unflushed would be written back during the next one's flush
            // (a journalling file system commits all pending data together) and charged to it.
            if (s.written) FlushFile(s.written);
            printf("  %s %.3f s", s.name, took);
        }
        printf("\n");
    }
    return true;
}

static bool FlushFile(const char* path) {
    HANDLE h = CreateFileA(path, GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    if (h == INVALID_HANDLE_VALUE) return false;
    BOOL flushed = FlushFileBuffers(h);
    CloseHandle(h);
    return flushed != FALSE;
}

static bool CopyThenFlush(const char* source, const char* destination) {
    return CopyFileA(source, destination, FALSE) && FlushFile(destination);
}

// The same protection as the launcher's copy with bare calls and no dialog: a new temporary file,
// flushed, then renamed over the destination. Separates what the protocol costs on this file
// system from what the launcher adds to it.
static bool ReplaceThroughTemporary(const char* source, const char* destination) {
    const char* temporary = "bench-replace.tmp";
    HANDLE in = CreateFileA(source, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    HANDLE out = CreateFileA(temporary, GENERIC_WRITE, 0, NULL, CREATE_NEW, 0, NULL);
    bool ok = in != INVALID_HANDLE_VALUE && out != INVALID_HANDLE_VALUE;
    static std::vector<char> buffer(131072);
    DWORD got = 0, written = 0;
    while (ok && ReadFile(in, buffer.data(), (DWORD)buffer.size(), &got, NULL) && got > 0) {
        ok = WriteFile(out, buffer.data(), got, &written, NULL) && written == got;
    }
    ok = ok && FlushFileBuffers(out);
    if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
    if (in != INVALID_HANDLE_VALUE) CloseHandle(in);
    ok = ok &&
         MoveFileExA(temporary, destination, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!ok) DeleteFileA(temporary);
    return ok;
}

// Seals the media folder (the current directory) for `source`, as vorlin-media does.
static bool SealSource(const char* source) {
    HANDLE h = CreateFileA(source, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (h == INVALID_HANDLE_VALUE) return false;
    SumDigestState* state = BeginSumDigest();
    std::vector<char> chunk(1 << 20);
    SumEntry entry = {};
    DWORD got = 0;
    while (ReadFile(h, chunk.data(), (DWORD)chunk.size(), &got, NULL) && got > 0) {
        UpdateSumDigest(state, chunk.data(), got);
        entry.size += got;
    }
    CloseHandle(h);
    entry.digest = FinishSumDigest(state);
    snprintf(entry.name, sizeof entry.name, "%s", source);
    char* text = nullptr;
    size_t length = 0;
    if (FormatSumFile(&entry, 1, &text, &length) != kSumOk) return false;
    FILE* file = fopen("update.sum", "wb");
    bool written = file && fwrite(text, 1, length, file) == length;
    if (file) fclose(file);
    free(text);
    return written;
}

// The launcher's copy of one file under its two-bar dialog, as an update runs it: a one-file plan
// drafted (and checked against the seal) by the update core, then put in place.
static bool DurableCopy(const char* source, const char* destination, bool sealed) {
    char folder[MAX_PATH];
    GetFullPathNameA(".", sizeof folder, folder, NULL);
    Win32FileSystem fs;
    InitWin32FileSystem(&fs, "", "");
    UpdateRun run;
    CopyDialog dialog;
    InitCopyDialog(&dialog, &run.cancelled);
    BeginUpdateRun(&run, &fs.table, &dialog.progress, folder, "");
    FsError error = kFsOk;
    bool ok = !sealed || LoadSeal(&fs.table, &run.seal, &error) == kSealLoaded;
    PlannedFile* file = (PlannedFile*)calloc(1, sizeof(PlannedFile));
    uint8_t* buffer = (uint8_t*)malloc(kDraftChunk);
    if (ok && file && buffer) {
        snprintf(file->source, sizeof file->source, "%s", source);
        snprintf(file->target, sizeof file->target, "%s", destination);
        file->replaces = true;
        file->stage = kStageList;
        file->sealed = FindSealedFile(&run.seal, source, &file->digest, &file->sealedSize);
        ComposePlannedPaths(&run, file, 0);
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (GetFileAttributesExA(source, GetFileExInfoStandard, &data)) {
            file->size = (uint64_t)data.nFileSizeHigh << 32 | data.nFileSizeLow;
        }
        run.plan.files = file;
        run.plan.count = run.plan.capacity = 1;
        file = nullptr;  // the plan owns it
        OpenCopyDialog(&dialog, kStageList, run.plan.files[0].size);
        ok = DraftPlannedFile(&run, 0, buffer) && PutDraftInPlaceNow(&run, 0);
        CloseCopyDialog(&dialog);
    }
    free(file);
    free(buffer);
    EndUpdateRun(&run);
    return ok;
}

static int CopyBench(int64_t mib, int rounds) {
    const char* source = "bench-source.bin";
    if (!WriteFileOfSize(source, mib << 20) || !SealSource(source)) return 1;
    for (const char* d : {"bench-ours.bin", "bench-sealed.bin", "bench-flushed.bin",
                          "bench-plain.bin", "bench-bare.bin"}) {
        CopyFileA(source, d, FALSE);
    }
    std::vector<Series> all = {
        {"durable copy under its dialog",
         [&] { return DurableCopy(source, "bench-ours.bin", false); },
         {},
         nullptr},
        {"the same, sealed (digest checked)",
         [&] { return DurableCopy(source, "bench-sealed.bin", true); },
         {},
         nullptr},
        {"CopyFileA + FlushFileBuffers",
         [&] { return CopyThenFlush(source, "bench-flushed.bin"); },
         {},
         nullptr},
        {"CopyFileA",
         [&] { return CopyFileA(source, "bench-plain.bin", FALSE) != FALSE; },
         {},
         "bench-plain.bin"},
        {"temporary + flush + rename, bare",
         [&] { return ReplaceThroughTemporary(source, "bench-bare.bin"); },
         {},
         nullptr},
    };
    bool ok = RunRounds(&all, rounds);
    if (ok) {
        printf("%lld MiB, %d rounds:\n", (long long)mib, rounds);
        Report(all, (double)(mib << 20));
    }
    for (const char* f : {source, "bench-ours.bin", "bench-sealed.bin", "bench-flushed.bin",
                          "bench-plain.bin", "bench-bare.bin", "update.sum"}) {
        DeleteFileA(f);
    }
    return ok ? 0 : 1;
}

// The check before an update, on a media of the nine list entries and `files` help files, into an
// install folder that holds an older copy of each; against a bare listing and opening of the same
// files (what any check must at least do).
static int PreflightBench(int files, int rounds) {
    CreateDirectoryA("bench-media", NULL);
    CreateDirectoryA("bench-media\\help", NULL);
    CreateDirectoryA("bench-install", NULL);
    CreateDirectoryA("bench-install\\help", NULL);
    std::vector<const char*> list = {"vorlin.bin"};
    for (const char* entry : kUpdateFileList) {
        if (entry[0] != '|') list.push_back(entry);
    }
    for (const char* name : list) {
        WriteFileOfSize((std::string("bench-media\\") + name).c_str(), 4096);
        std::string installed = strcmp(name, "vorlin.bin") == 0 ? "vorlin.exe" : name;
        WriteFileOfSize(("bench-install\\" + installed).c_str(), 2048);
    }
    for (int i = 0; i < files; i++) {
        char name[64];
        snprintf(name, sizeof name, "help\\page%05d.htm", i);
        WriteFileOfSize((std::string("bench-media\\") + name).c_str(), 1000);
        WriteFileOfSize((std::string("bench-install\\") + name).c_str(), 900);
    }
    char install[MAX_PATH];
    GetFullPathNameA("bench-install", sizeof install, install, NULL);
    SetCurrentDirectoryA("bench-media");
    std::vector<Series> all = {
        {"check before the update",
         [&] {
             Win32FileSystem fs;
             InitWin32FileSystem(&fs, "", "");
             UpdateRun run;
             CopyDialog dialog;
             InitCopyDialog(&dialog, &run.cancelled);
             BeginUpdateRun(&run, &fs.table, &dialog.progress, install, GetExeNameSetting());
             OpenCopyDialog(&dialog, kStageExecutable, 0);
             bool checked = CheckUpdateBeforeCopying(&run);
             CloseCopyDialog(&dialog);
             EndUpdateRun(&run);
             return checked;
         },
         {},
         nullptr},
        {"listing and opening the files",
         [&] {
             WIN32_FIND_DATAA found;
             HANDLE search = FindFirstFileA("help\\*.*", &found);
             if (search == INVALID_HANDLE_VALUE) return false;
             do {
                 std::string path = std::string("help\\") + found.cFileName;
                 HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL,
                                        OPEN_EXISTING, 0, NULL);
                 if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
             } while (FindNextFileA(search, &found));
             FindClose(search);
             return true;
         },
         {},
         nullptr},
    };
    bool ok = RunRounds(&all, rounds);
    SetCurrentDirectoryA("..");
    if (ok) {
        printf("media of %d help files and the nine list entries, %d rounds:\n", files, rounds);
        Report(all, 0);
    }
    return ok ? 0 : 1;
}

// The digest and size of one file, for a seal.
static bool DigestFile(const char* path, SumEntry* entry) {
    HANDLE h = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (h == INVALID_HANDLE_VALUE) return false;
    SumDigestState* state = BeginSumDigest();
    static std::vector<char> chunk(1 << 20);
    entry->size = 0;
    DWORD got = 0;
    while (ReadFile(h, chunk.data(), (DWORD)chunk.size(), &got, NULL) && got > 0) {
        UpdateSumDigest(state, chunk.data(), got);
        entry->size += got;
    }
    CloseHandle(h);
    entry->digest = FinishSumDigest(state);
    return true;
}

static int AnswerAtOnce(UINT flags, const char*) {
    return (flags & MB_YESNO) ? IDYES : IDOK;
}

// One whole update from the media folder `media` into the install folder of the registry.
static bool WholeUpdate(const char* media) {
    SetCurrentDirectoryA(media);
    ForgetRegistryKeyNames();
    bool ok = LoadEnvironmentSettings("vorlin.env") == 0 && RunUpdate() == 0;
    FreeEnvironmentSettings();
    SetCurrentDirectoryA("..");
    return ok;
}

// What the platform's copy needs for the same durability: each file copied over the installed
// one and flushed.
static bool CopyAllThenFlush(const std::vector<std::pair<std::string, std::string>>& files) {
    for (const auto& f : files) {
        if (!CopyThenFlush(f.first.c_str(), f.second.c_str())) return false;
    }
    return true;
}

// The medians and maxima of one UpdateBench run: the whole update unsealed, sealed, and the
// baseline.
struct UpdateFigures {
    double median[3], maximum[3];
};

static double MedianOf(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

static int UpdateBench(int64_t mib, int files, int rounds, UpdateFigures* figures = nullptr) {
    std::string key = "VorlinBench" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA("bench-media", NULL);
    CreateDirectoryA("bench-media\\help", NULL);
    CreateDirectoryA("bench-sealed", NULL);
    CreateDirectoryA("bench-sealed\\help", NULL);
    CreateDirectoryA("bench-install", NULL);
    CreateDirectoryA("bench-install\\help", NULL);
    std::string env = "REG_GLOBAL " + key + "\r\nREG_LOCAL Game\r\n";
    // The media's files by their names on the media and in the install folder.
    std::vector<std::pair<std::string, std::string>> names = {{"vorlin.bin", "vorlin.exe"},
                                                              {"data.arc", "data.arc"}};
    for (int i = 0; i < files; i++) {
        char name[64];
        snprintf(name, sizeof name, "help\\page%05d.htm", i);
        names.push_back({name, name});
    }
    std::vector<SumEntry> seal;
    bool made = true;
    for (const auto& n : names) {
        std::string media = "bench-media\\" + n.first;
        int64_t size = n.first == "data.arc" ? mib << 20 : n.first == "vorlin.bin" ? 8 << 20 : 1000;
        made = made && WriteFileOfSize(media.c_str(), size) &&
               CreateHardLinkA(("bench-sealed\\" + n.first).c_str(), media.c_str(), NULL) &&
               WriteFileOfSize(("bench-install\\" + n.second).c_str(), size / 2);
        SumEntry entry = {};
        snprintf(entry.name, sizeof entry.name, "%s", n.first.c_str());
        made = made && DigestFile(media.c_str(), &entry);
        seal.push_back(entry);
    }
    char* text = nullptr;
    size_t length = 0;
    made = made && FormatSumFile(seal.data(), (uint32_t)seal.size(), &text, &length) == kSumOk;
    FILE* sum = made ? fopen("bench-sealed\\update.sum", "wb") : nullptr;
    made = sum && fwrite(text, 1, length, sum) == length;
    if (sum) fclose(sum);
    free(text);
    for (const char* folder : {"bench-media", "bench-sealed"}) {
        FILE* f = fopen((std::string(folder) + "\\vorlin.env").c_str(), "wb");
        made = made && f && fwrite(env.data(), 1, env.size(), f) == env.size();
        if (f) fclose(f);
    }
    char install[MAX_PATH];
    GetFullPathNameA("bench-install", sizeof install, install, NULL);
    made = made && WriteRegistryString(key.c_str(), "Game", "InstTo", install, 0) == 0;
    if (!made) {
        printf("cannot make the media\n");
        return 1;
    }
    std::vector<std::pair<std::string, std::string>> copies;
    for (const auto& n : names) {
        copies.push_back({"bench-media\\" + n.first, "bench-install\\" + n.second});
    }
    SetMessageBoxAnswerForTests(AnswerAtOnce);
    std::vector<Series> all = {
        {"whole update under its dialogs", [&] { return WholeUpdate("bench-media"); }, {}, nullptr},
        {"the same, sealed (digests checked)",
         [&] { return WholeUpdate("bench-sealed"); },
         {},
         nullptr},
        {"CopyFileA + FlushFileBuffers, each",
         [&] { return CopyAllThenFlush(copies); },
         {},
         nullptr},
    };
    bool ok = RunRounds(&all, rounds);
    SetMessageBoxAnswerForTests(nullptr);
    if (ok) {
        printf(
            "update of the executable (8 MiB), data.arc (%lld MiB) and %d help files, "
            "%d rounds:\n",
            (long long)mib, files, rounds);
        Report(all, (double)((mib << 20) + (8 << 20) + (int64_t)files * 1000));
        for (size_t i = 0; figures && i < 3; i++) {
            figures->median[i] = MedianOf(all[i].seconds);
            figures->maximum[i] = *std::max_element(all[i].seconds.begin(), all[i].seconds.end());
        }
    }
    RegDeleteTreeA(HKEY_CURRENT_USER, ("Software\\" + key).c_str());
    return ok ? 0 : 1;
}

// The three media of the update's table in one run: the executable and data.arc of `mib` MiB
// alone, then with 300 and with 3,000 help files; each against the baseline, and each small file's
// cost beside the baseline's (the time the help files add, divided by their number).
static int UpdateTable(int64_t mib) {
    const int kFiles[] = {0, 300, 3000};
    const int kRounds[] = {7, 5, 3};
    UpdateFigures figures[3];
    for (int m = 0; m < 3; m++) {
        if (UpdateBench(mib, kFiles[m], kRounds[m], &figures[m]) != 0) return 1;
        // The next media starts from a clean folder: the update's files of this one go.
        system("rmdir /s /q bench-media bench-sealed bench-install >nul 2>nul");
    }
    printf(
        "\n| media | unsealed | sealed | CopyFileA + flush | unsealed / baseline | sealed / "
        "baseline | per help file: unsealed, sealed, baseline |\n|---|---|---|---|---|---|---|\n");
    for (int m = 0; m < 3; m++) {
        const UpdateFigures& f = figures[m];
        printf(
            "| exe 8 MiB + data.arc %lld MiB + %d help files (%d rounds) | %.3f s (max %.3f) | "
            "%.3f s (max %.3f) | %.3f s (max %.3f) | %.2fx | %.2fx |",
            (long long)mib, kFiles[m], kRounds[m], f.median[0], f.maximum[0], f.median[1],
            f.maximum[1], f.median[2], f.maximum[2], f.median[0] / f.median[2],
            f.median[1] / f.median[2]);
        if (kFiles[m] > 0) {
            printf(" %.2f ms, %.2f ms, %.2f ms |",
                   1000 * (f.median[0] - figures[0].median[0]) / kFiles[m],
                   1000 * (f.median[1] - figures[0].median[1]) / kFiles[m],
                   1000 * (f.median[2] - figures[0].median[2]) / kFiles[m]);
        } else {
            printf(" |");
        }
        printf("\n");
    }
    return 0;
}

int main(int argc, char** argv) {
    if (argc > 1 && strcmp(argv[1], "table") == 0) {
        return UpdateTable(argc > 2 ? atoi(argv[2]) : 512);
    }
    if (argc > 1 && strcmp(argv[1], "update") == 0) {
        return UpdateBench(argc > 2 ? atoi(argv[2]) : 512, argc > 3 ? atoi(argv[3]) : 3000,
                           argc > 4 ? atoi(argv[4]) : 5);
    }
    if (argc > 1 && strcmp(argv[1], "preflight") == 0) {
        return PreflightBench(argc > 2 ? atoi(argv[2]) : 3000, 9);
    }
    int64_t mib = argc > 1 ? atoi(argv[1]) : 512;
    int rounds = argc > 2 ? atoi(argv[2]) : 9;
    return CopyBench(mib, rounds);
}
