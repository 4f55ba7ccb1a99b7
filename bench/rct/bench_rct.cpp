// RCT decoding against its peers, per picture: our decoder (and the byte-at-a-time reference
// it must equal), libpng and stb_image decoding the same picture as a level-9 PNG, QOI
// decoding it as QOI, and memcpy of the decoded size as the ceiling. Prints the file sizes
// first (RCT optimal and greedy, PNG level 9, QOI, raw) and the speed ratios last.
//
// Pictures: generated ones, plus photographs from VORLIN_BENCH_PICTURES or
// /usr/share/backgrounds (see bench_pictures.h).
#include <benchmark/benchmark.h>
#include <png.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <chrono>
#include <map>
#include <string>
#include <vector>

#include "bench/rct/bench_pictures.h"
#include "image/rct_codec.h"
#include "image/rct_encode.h"
#include "image/rct_reference.h"
#include "qoi.h"
#include "stb_image.h"

namespace {

typedef std::vector<uint8_t> Bytes;

struct Prepared {
    BenchPicture picture;
    Bytes rctOptimal, rctGreedy;  // streams, without the file header
    Bytes png9, qoi;
    double optimalSeconds, greedySeconds;
};

void PngWrite(png_structp png, png_bytep data, png_size_t length) {
    Bytes* out = (Bytes*)png_get_io_ptr(png);
    out->insert(out->end(), data, data + length);
}

void PngFlush(png_structp) {}

Bytes EncodePng9(const BenchPicture& p) {
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return Bytes();
    }
    png_set_write_fn(png, &out, PngWrite, PngFlush);
    png_set_compression_level(png, 9);
    png_set_IHDR(png, info, p.width, p.height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_set_bgr(png);
    for (int32_t y = 0; y < p.height; y++) {
        png_write_row(png, (png_const_bytep)&p.bgr[(size_t)y * p.width * 3]);
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

Bytes EncodeQoi(const BenchPicture& p) {
    Bytes rgb = p.bgr;
    for (size_t i = 0; i + 2 < rgb.size(); i += 3) std::swap(rgb[i], rgb[i + 2]);
    qoi_desc desc = {(unsigned)p.width, (unsigned)p.height, 3, QOI_SRGB};
    int size = 0;
    void* data = qoi_encode(rgb.data(), &desc, &size);
    Bytes out((uint8_t*)data, (uint8_t*)data + size);
    free(data);
    return out;
}

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void BenchRct(benchmark::State& state, const Prepared* p) {
    Bytes out(p->picture.bgr.size());
    for (auto _ : state) {
        int32_t status = RctDecompress(p->rctOptimal.data(), (uint32_t)p->rctOptimal.size(),
                                       p->picture.width, p->picture.height, out.data(), nullptr);
        benchmark::DoNotOptimize(status);
        benchmark::ClobberMemory();
    }
    if (out != p->picture.bgr) state.SkipWithError("decoded picture differs");
}

void BenchRctGreedy(benchmark::State& state, const Prepared* p) {
    Bytes out(p->picture.bgr.size());
    for (auto _ : state) {
        int32_t status = RctDecompress(p->rctGreedy.data(), (uint32_t)p->rctGreedy.size(),
                                       p->picture.width, p->picture.height, out.data(), nullptr);
        benchmark::DoNotOptimize(status);
        benchmark::ClobberMemory();
    }
    if (out != p->picture.bgr) state.SkipWithError("decoded picture differs");
}

void BenchReference(benchmark::State& state, const Prepared* p) {
    Bytes out(p->picture.bgr.size());
    for (auto _ : state) {
        int32_t status =
            RctDecompressReference(p->rctOptimal.data(), (uint32_t)p->rctOptimal.size(),
                                   p->picture.width, p->picture.height, out.data(), nullptr);
        benchmark::DoNotOptimize(status);
        benchmark::ClobberMemory();
    }
}

void BenchLibpng(benchmark::State& state, const Prepared* p) {
    Bytes out(p->picture.bgr.size());
    for (auto _ : state) {
        png_image image;
        memset(&image, 0, sizeof(image));
        image.version = PNG_IMAGE_VERSION;
        png_image_begin_read_from_memory(&image, p->png9.data(), p->png9.size());
        image.format = PNG_FORMAT_BGR;
        png_image_finish_read(&image, nullptr, out.data(), 0, nullptr);
        benchmark::ClobberMemory();
    }
    if (out != p->picture.bgr) state.SkipWithError("libpng picture differs");
}

void BenchStbPng(benchmark::State& state, const Prepared* p) {
    for (auto _ : state) {
        int w, h, n;
        stbi_uc* rgb = stbi_load_from_memory(p->png9.data(), (int)p->png9.size(), &w, &h, &n, 3);
        benchmark::DoNotOptimize(rgb);
        stbi_image_free(rgb);
    }
}

void BenchQoi(benchmark::State& state, const Prepared* p) {
    for (auto _ : state) {
        qoi_desc desc;
        void* rgb = qoi_decode(p->qoi.data(), (int)p->qoi.size(), &desc, 3);
        benchmark::DoNotOptimize(rgb);
        free(rgb);
    }
}

void BenchMemcpy(benchmark::State& state, const Prepared* p) {
    Bytes out(p->picture.bgr.size());
    for (auto _ : state) {
        memcpy(out.data(), p->picture.bgr.data(), out.size());
        benchmark::ClobberMemory();
    }
}

// Remembers every run's time so that the ratios can be printed at the end.
class Collector : public benchmark::ConsoleReporter {
public:
    Collector() : ConsoleReporter(OO_Tabular) {}
    std::map<std::string, double> seconds;
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
            double perIteration = run.GetAdjustedRealTime();
            seconds[run.benchmark_name()] =
                perIteration / benchmark::GetTimeUnitMultiplier(run.time_unit);
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

void PrintSizes(const std::vector<Prepared>& all) {
    printf("%-34s %9s %11s %11s %11s %11s %11s %8s\n", "picture", "size", "raw", "RCT optimal",
           "RCT greedy", "PNG -9", "QOI", "opt/grd");
    for (const Prepared& p : all) {
        char size[32];
        snprintf(size, sizeof(size), "%dx%d", p.picture.width, p.picture.height);
        printf("%-34s %9s %11zu %11zu %11zu %11zu %11zu %7.1f%%\n", p.picture.name.c_str(), size,
               p.picture.bgr.size(), p.rctOptimal.size() + kRctFixedHeaderSize,
               p.rctGreedy.size() + kRctFixedHeaderSize, p.png9.size(), p.qoi.size(),
               100.0 * (double)p.rctOptimal.size() / (double)p.rctGreedy.size());
    }
    printf("(RCT sizes include the 20-byte header; compression time optimal/greedy:");
    for (const Prepared& p : all) printf(" %.2fs/%.2fs", p.optimalSeconds, p.greedySeconds);
    printf(")\n\n");
}

void PrintRatios(const std::vector<Prepared>& all, const Collector& c) {
    printf("\n%-34s %10s %10s %10s %10s %9s %9s %9s\n", "picture", "RCT MP/s", "RCT MB/s",
           "libpng MP/s", "QOI MP/s", "RCT/png", "RCT/QOI", "RCT/mcpy");
    for (const Prepared& p : all) {
        auto time = [&](const char* kind) {
            auto it = c.seconds.find(std::string(kind) + "/" + p.picture.name);
            return it == c.seconds.end() ? 0.0 : it->second;
        };
        double rct = time("decode_rct"), png = time("decode_libpng"), qoi = time("decode_qoi");
        double mem = time("memcpy");
        if (rct <= 0) continue;
        double pixels = (double)p.picture.width * p.picture.height;
        printf("%-34s %10.0f %10.0f %10.0f %10.0f %8.1fx %8.1fx %8.2fx\n", p.picture.name.c_str(),
               pixels / rct / 1e6, pixels * 3 / rct / 1e6, png > 0 ? pixels / png / 1e6 : 0,
               qoi > 0 ? pixels / qoi / 1e6 : 0, png / rct, qoi / rct, mem / rct);
    }
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    std::vector<Prepared> all;
    for (BenchPicture& picture : LoadBenchPictures(4)) {
        Prepared p;
        p.picture = std::move(picture);
        const BenchPicture& pic = p.picture;
        auto start = std::chrono::steady_clock::now();
        RctCompress(pic.bgr.data(), pic.width, pic.height, kRctParseOptimal, &p.rctOptimal);
        p.optimalSeconds = Seconds(start);
        start = std::chrono::steady_clock::now();
        RctCompress(pic.bgr.data(), pic.width, pic.height, kRctParseGreedy, &p.rctGreedy);
        p.greedySeconds = Seconds(start);
        p.png9 = EncodePng9(pic);
        p.qoi = EncodeQoi(pic);
        all.push_back(std::move(p));
    }
    PrintSizes(all);

    for (const Prepared& p : all) {
        const std::string& n = p.picture.name;
        int64_t bytes = (int64_t)p.picture.bgr.size();
        struct Entry {
            const char* kind;
            void (*fn)(benchmark::State&, const Prepared*);
        };
        const Entry entries[] = {{"decode_rct", BenchRct},
                                 {"decode_rct_greedy", BenchRctGreedy},
                                 {"decode_rct_reference", BenchReference},
                                 {"decode_libpng", BenchLibpng},
                                 {"decode_stb_png", BenchStbPng},
                                 {"decode_qoi", BenchQoi},
                                 {"memcpy", BenchMemcpy}};
        for (const Entry& e : entries) {
            benchmark::RegisterBenchmark((std::string(e.kind) + "/" + n).c_str(),
                                         [e, &p, bytes](benchmark::State& state) {
                                             e.fn(state, &p);
                                             state.SetBytesProcessed(state.iterations() * bytes);
                                             state.counters["MP/s"] = benchmark::Counter(
                                                 (double)state.iterations() * (double)bytes / 3e6,
                                                 benchmark::Counter::kIsRate);
                                         })
                ->Unit(benchmark::kMicrosecond);
        }
    }
    Collector collector;
    benchmark::RunSpecifiedBenchmarks(&collector);
    PrintRatios(all, collector);
    benchmark::Shutdown();
    return 0;
}
