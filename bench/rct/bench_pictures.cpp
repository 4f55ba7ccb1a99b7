#include "bench/rct/bench_pictures.h"

#include <math.h>
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <string>

#ifndef _WIN32
#include <filesystem>
#endif

#include "stb_image.h"

namespace {

struct Rng {
    uint32_t state;
};

uint32_t Next(Rng* r) {
    uint32_t x = r->state;
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    return r->state = x;
}

// Smooth 1-D value noise in [0, 1): random values at integer points, cosine-interpolated.
double ValueNoise(double x, uint32_t seed) {
    auto at = [seed](int64_t i) {
        uint32_t h = (uint32_t)i * 2654435761u ^ seed * 40503u;
        h ^= h >> 15;
        h *= 2246822519u;
        h ^= h >> 13;
        return (h & 0xFFFF) / 65536.0;
    };
    double f = floor(x);
    double t = (1 - cos((x - f) * 3.14159265358979)) / 2;
    return at((int64_t)f) * (1 - t) + at((int64_t)f + 1) * t;
}

double Ridge(double x, uint32_t seed) {
    double sum = 0, amp = 1, total = 0;
    for (int octave = 0; octave < 6; octave++) {
        sum += ValueNoise(x, seed + octave) * amp;
        total += amp;
        x *= 2.1;
        amp *= 0.5;
    }
    return sum / total;
}

struct Colour {
    double b, g, r;
};

Colour Mix(Colour a, Colour c, double t) {
    return {a.b + (c.b - a.b) * t, a.g + (c.g - a.g) * t, a.r + (c.r - a.r) * t};
}

// The scene: a dusk sky with a low sun, four mountain ranges fading into the haze, a lake
// that mirrors the sky. `flat` quantises every region to one shade (illustration style);
// otherwise shading is continuous and noise is added (photograph style).
BenchPicture MakeLandscape(int32_t width, int32_t height, bool flat) {
    BenchPicture p{flat ? "illustration" : "photo", width, height,
                   std::vector<uint8_t>((size_t)width * height * 3)};
    Rng rng{0x9E3779B9u};
    const Colour skyTop{90, 40, 25}, skyLow{120, 170, 250}, sun{200, 245, 255};
    const Colour ranges[4] = {{150, 120, 120}, {120, 90, 95}, {85, 60, 70}, {55, 38, 48}};
    const double horizon = height * 0.72;
    const double sunX = width * 0.68, sunY = height * 0.52, sunR = height * 0.06;
    for (int32_t y = 0; y < height; y++) {
        for (int32_t x = 0; x < width; x++) {
            double sy = y < horizon ? y : 2 * horizon - y;  // the lake mirrors the sky
            double t = sy / horizon;
            if (flat) t = floor(t * 7) / 7;
            Colour c = Mix(skyTop, skyLow, t * t);
            double d = hypot(x - sunX, sy - sunY);
            double glow = d < sunR ? 1 : exp(-(d - sunR) / (height * 0.12)) * 0.6;
            if (flat) glow = d < sunR ? 1 : (glow > 0.3 ? 0.45 : glow > 0.12 ? 0.2 : 0);
            c = Mix(c, sun, glow);
            double coverage = 0;
            for (int k = 0; k < 4; k++) {
                double base = horizon - height * (0.34 - 0.07 * k);
                double ridge = base + Ridge(x / (width * (0.25 - 0.04 * k)), 17 + k * 5) * height *
                                          (0.25 - 0.03 * k);
                double top = ridge;
                double in = y < horizon ? sy - top : (2 * horizon - y) - top;
                double a = std::min(1.0, std::max(0.0, in + 0.5));  // anti-aliased edge
                if (a > 0) {
                    Colour m = ranges[k];
                    if (!flat) m = Mix(m, skyLow, 0.15 * (3 - k) * (1 - (in / height)));
                    c = Mix(c, m, a);
                    coverage = a;
                }
            }
            if (y >= horizon) {
                // Water: darker, with ripples along the rows.
                double ripple =
                    flat ? ((y / 6) % 5 == 0 ? 0.1 : 0) : 0.08 * sin(y * 0.9 + 3 * sin(x * 0.013));
                c = Mix(c, Colour{70, 40, 20}, 0.35 + ripple + 0.1 * coverage);
            }
            uint8_t* out = &p.bgr[((size_t)y * width + x) * 3];
            double noise[3] = {0, 0, 0};
            if (!flat) {
                for (double& n : noise) n = (double)(Next(&rng) % 9) - 4;  // sensor noise
            }
            double v[3] = {c.b + noise[0], c.g + noise[1], c.r + noise[2]};
            for (int i = 0; i < 3; i++) out[i] = (uint8_t)std::min(255.0, std::max(0.0, v[i]));
        }
    }
    return p;
}

bool LoadFile(const std::string& path, BenchPicture* p) {
    std::vector<uint8_t> data;
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return false;
    uint8_t chunk[65536];
    size_t got;
    while ((got = fread(chunk, 1, sizeof(chunk), f)) > 0)
        data.insert(data.end(), chunk, chunk + got);
    fclose(f);
    int w = 0, h = 0, n = 0;
    stbi_uc* rgb = stbi_load_from_memory(data.data(), (int)data.size(), &w, &h, &n, 3);
    if (!rgb) return false;
    std::string base = path.substr(path.find_last_of('/') + 1);
    *p = BenchPicture{base, w, h, std::vector<uint8_t>(rgb, rgb + (size_t)w * h * 3)};
    stbi_image_free(rgb);
    for (size_t i = 0; i + 2 < p->bgr.size(); i += 3) std::swap(p->bgr[i], p->bgr[i + 2]);
    return true;
}

}  // namespace

BenchPicture MakeLandscapePhoto(int32_t width, int32_t height) {
    return MakeLandscape(width, height, false);
}

BenchPicture MakeLandscapeIllustration(int32_t width, int32_t height) {
    return MakeLandscape(width, height, true);
}

std::vector<BenchPicture> LoadBenchPictures(size_t maxFound) {
    std::vector<BenchPicture> all;
    all.push_back(MakeLandscapePhoto(1024, 768));
    all.back().name = "generated-photo-1024x768";
    all.push_back(MakeLandscapeIllustration(1024, 768));
    all.back().name = "generated-illustration-1024x768";
    all.push_back(MakeLandscapeIllustration(268, 268));
    all.back().name = "generated-illustration-268x268";
    std::vector<std::string> paths;
    if (const char* env = getenv("VORLIN_BENCH_PICTURES")) {
        std::string list = env;
        size_t start = 0;
        while (start <= list.size()) {
            size_t end = list.find_first_of(":;", start);
            if (end == std::string::npos) end = list.size();
            if (end > start) paths.push_back(list.substr(start, end - start));
            start = end + 1;
        }
    } else {
#ifndef _WIN32
        std::error_code ec;
        for (auto it = std::filesystem::recursive_directory_iterator("/usr/share/backgrounds", ec);
             !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
            std::string ext = it->path().extension().string();
            if (ext == ".jpg" || ext == ".jpeg" || ext == ".png") paths.push_back(it->path());
        }
        std::sort(paths.begin(), paths.end());
        if (paths.size() > maxFound) paths.resize(maxFound);
#endif
    }
    for (const std::string& path : paths) {
        BenchPicture p;
        if (LoadFile(path, &p)) {
            all.push_back(p);
        } else {
            fprintf(stderr, "bench: cannot read %s as a picture, skipped\n", path.c_str());
        }
    }
    (void)maxFound;
    return all;
}
