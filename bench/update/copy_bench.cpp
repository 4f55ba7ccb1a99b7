// Copy speed under the copy dialog: CopyFileWithProgress (under its open two-bar dialog, with
// the animation playing) against the platform's CopyFileA replacing an existing destination,
// alternating, several rounds of one 512 MiB file (size in MiB and rounds as arguments). Prints
// each round, the medians, and what opening and closing the dialog costs on its own. Run under Wine with
// scripts/wine-run from a folder with room for two copies of the file.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "ui/message_box.h"
#include "update/file_copy.h"

static double NowSeconds() {
    LARGE_INTEGER frequency, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return (double)now.QuadPart / (double)frequency.QuadPart;
}

static bool MakeSource(const char* path, int64_t size) {
    HANDLE h = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (h == INVALID_HANDLE_VALUE) return false;
    std::vector<char> chunk(1 << 20);
    for (size_t i = 0; i < chunk.size(); i++) chunk[i] = (char)(i * 131 + 7);
    for (int64_t done = 0; done < size; done += (int64_t)chunk.size()) {
        DWORD written;
        WriteFile(h, chunk.data(), (DWORD)chunk.size(), &written, NULL);
    }
    CloseHandle(h);
    return true;
}

static double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

int main(int argc, char** argv) {
    int64_t mib = argc > 1 ? atoi(argv[1]) : 512;
    int rounds = argc > 2 ? atoi(argv[2]) : 5;
    if (!MakeSource("bench-source.bin", mib << 20)) return 1;
    CopyFileA("bench-source.bin", "bench-platform.bin", FALSE);
    CopyFileA("bench-source.bin", "bench-dialog.bin", FALSE);
    std::vector<double> dialog, platform;
    for (int round = 0; round < rounds; round++) {
        // The dialog is opened and measured before the clock starts; the copy itself is timed.
        OpenCopyDialogWithTotal(0);
        AddFileToCopyTotal("bench-source.bin");
        double start = NowSeconds();
        int ok = CopyFileWithProgress("bench-source.bin", "bench-dialog.bin", 0);
        double mid = NowSeconds();
        CloseCopyDialog();
        BOOL platformOk = CopyFileA("bench-source.bin", "bench-platform.bin", FALSE);
        double end = NowSeconds();
        if (!ok || !platformOk) {
            printf("copy failed\n");
            return 1;
        }
        dialog.push_back(mid - start);
        platform.push_back(end - mid);
        printf("round %d: CopyFileWithProgress %.3f s, CopyFileA %.3f s\n", round + 1, mid - start,
               end - mid);
    }
    double dialogOnly = 0;
    for (int i = 0; i < 5; i++) {
        double start = NowSeconds();
        OpenCopyDialogWithTotal(0);
        CloseCopyDialog();
        dialogOnly += (NowSeconds() - start) / 5;
    }
    printf("opening and closing the dialog alone: %.3f s\n", dialogOnly);
    double d = Median(dialog), p = Median(platform);
    printf("%lld MiB, median of %d: CopyFileWithProgress %.3f s (%.0f MB/s), CopyFileA %.3f s "
           "(%.0f MB/s); speed ratio dialog/platform %.2fx\n",
           (long long)mib, rounds, d, (double)(mib << 20) / d / 1e6, p,
           (double)(mib << 20) / p / 1e6, p / d);
    DeleteFileA("bench-source.bin");
    DeleteFileA("bench-dialog.bin");
    DeleteFileA("bench-platform.bin");
    return 0;
}
