// Pictures for the RCT benchmarks: generated ones (always there, identical on every machine)
// and real photographs or illustrations from files when any are found.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

struct BenchPicture {
    std::string name;
    int32_t width;
    int32_t height;
    std::vector<uint8_t> bgr;  // tightly packed rows, blue-green-red
};

// A photograph-like landscape: smooth gradients under sensor-like noise, so that exact
// repeats are rare (as in a real photograph).
BenchPicture MakeLandscapePhoto(int32_t width, int32_t height);

// The same landscape as a flat-shaded illustration: few colours, anti-aliased edges.
BenchPicture MakeLandscapeIllustration(int32_t width, int32_t height);

// The generated pictures, then pictures read from files: those named in the environment
// variable VORLIN_BENCH_PICTURES (separated by ':' or ';'), or else (not on Windows) up to
// `maxFound` JPEG/PNG files under /usr/share/backgrounds (desktop background packages).
std::vector<BenchPicture> LoadBenchPictures(size_t maxFound);
