// Decode throughput of the RCT core without any benchmark library, so that it also runs as a
// 32-bit Windows program (under Wine in the cross build): the launcher's own build of the
// decoder, decoding generated pictures into a buffer the size of the picture, timed with the
// steady clock (QueryPerformanceCounter on Windows). Prints MB/s of decoded output.
//
//   rct_throughput [seconds per picture, default 1]
// Photographs to add: VORLIN_BENCH_PICTURES=a.jpg:b.png (see bench_pictures.h).
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <chrono>
#include <vector>

#include "bench/rct/bench_pictures.h"
#include "image/rct_codec.h"
#include "image/rct_encode.h"

int main(int argc, char** argv) {
    double budget = argc > 1 ? atof(argv[1]) : 1.0;
    if (budget <= 0) budget = 1.0;
    printf("%-34s %10s %10s %10s %10s\n", "picture", "stream", "MB/s", "MP/s", "memcpy MB/s");
    std::vector<BenchPicture> pictures = LoadBenchPictures(4);
    double worst = 1e30;
    for (const BenchPicture& p : pictures) {
        std::vector<uint8_t> stream;
        RctCompress(p.bgr.data(), p.width, p.height, kRctParseOptimal, &stream);
        std::vector<uint8_t> out(p.bgr.size());
        auto time = [&](bool decode) {
            long runs = 0;
            auto start = std::chrono::steady_clock::now();
            double elapsed = 0;
            do {
                for (int i = 0; i < 8; i++, runs++) {
                    if (decode) {
                        RctDecompress(stream.data(), (uint32_t)stream.size(), p.width, p.height,
                                      out.data(), nullptr);
                    } else {
                        memcpy(out.data(), p.bgr.data(), out.size());
                    }
                }
                elapsed =
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            } while (elapsed < budget);
            return (double)out.size() * runs / elapsed / 1e6;
        };
        double mbs = time(true);
        if (out != p.bgr) {
            printf("%s: decoded picture differs\n", p.name.c_str());
            return 1;
        }
        double copy = time(false);
        printf("%-34s %10zu %10.0f %10.0f %10.0f\n", p.name.c_str(), stream.size(), mbs, mbs / 3,
               copy);
        if (mbs < worst) worst = mbs;
    }
    printf("slowest: %.0f MB/s\n", worst);
    return 0;
}
