// Digest speed of the update seal: MB/s of ComputeSumDigest (the launcher's build of XXH3 64-bit)
// on one 256 MiB buffer, against the same digest fed in 1 MiB chunks (as the seal and the copy
// feed it), against xxHash's scalar kernel and its AVX2 kernel (the two other choices for the
// 32-bit build: no SSE2, or a runtime dispatch to AVX2), and against a plain slicing-by-8
// CRC-32. Each round runs every contender once, in an order rotated from round to round; the
// median and the maximum of the rounds are printed. Every kernel must give the same digest.
//
//   digest_bench [MiB [rounds]]     default 256 MiB, 7 rounds
//
// Built natively and for Windows (run that one with scripts/wine-run). This source is compiled
// three times: once as the program, and twice as an object that only defines one extra kernel
// (DIGEST_BENCH_KERNEL = its function name, with XXH_VECTOR and the machine flags set in
// bench/update/CMakeLists.txt).
#include <stddef.h>
#include <stdint.h>

#ifdef DIGEST_BENCH_KERNEL

#define XXH_INLINE_ALL
#include "third_party/xxhash/xxhash.h"

uint64_t DIGEST_BENCH_KERNEL(const void* data, size_t size) {
    return XXH3_64bits(data, size);
}

#else  // the program

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "update/core/sum_file.h"

uint64_t DigestScalarKernel(const void* data, size_t size);
uint64_t DigestAvx2Kernel(const void* data, size_t size);

namespace {

uint32_t g_crcTables[8][256];

void BuildCrcTables() {
    for (uint32_t i = 0; i < 256; i++) {
        uint32_t c = i;
        for (int k = 0; k < 8; k++) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        g_crcTables[0][i] = c;
    }
    for (uint32_t i = 0; i < 256; i++) {
        for (int t = 1; t < 8; t++)
            g_crcTables[t][i] =
                g_crcTables[t - 1][i] >> 8 ^ g_crcTables[0][g_crcTables[t - 1][i] & 0xFF];
    }
}

// CRC-32 (zlib polynomial), eight bytes per step.
uint32_t SlicingCrc32(const void* data, size_t size) {
    const uint8_t* p = (const uint8_t*)data;
    uint32_t crc = 0xFFFFFFFFu;
    for (; size >= 8; size -= 8, p += 8) {
        uint32_t a = crc ^ ((uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 |
                            (uint32_t)p[3] << 24);
        uint32_t b =
            (uint32_t)p[4] | (uint32_t)p[5] << 8 | (uint32_t)p[6] << 16 | (uint32_t)p[7] << 24;
        crc = g_crcTables[7][a & 0xFF] ^ g_crcTables[6][(a >> 8) & 0xFF] ^
              g_crcTables[5][(a >> 16) & 0xFF] ^ g_crcTables[4][a >> 24] ^
              g_crcTables[3][b & 0xFF] ^ g_crcTables[2][(b >> 8) & 0xFF] ^
              g_crcTables[1][(b >> 16) & 0xFF] ^ g_crcTables[0][b >> 24];
    }
    for (; size > 0; size--, p++) crc = g_crcTables[0][(crc ^ *p) & 0xFF] ^ crc >> 8;
    return ~crc;
}

uint64_t StreamedDigest(const void* data, size_t size) {
    SumDigestState* state = BeginSumDigest();
    if (!state) return 0;
    const uint8_t* p = (const uint8_t*)data;
    const size_t kChunk = 1 << 20;
    for (size_t done = 0; done < size; done += kChunk)
        UpdateSumDigest(state, p + done, std::min(kChunk, size - done));
    return FinishSumDigest(state);
}

bool HasAvx2() {
#if defined(__i386__) || defined(__x86_64__)
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
#else
    return false;
#endif
}

struct Contender {
    const char* name;
    uint64_t (*run)(const void*, size_t);
    std::vector<double> seconds;
    uint64_t result;
};

uint64_t Crc(const void* data, size_t size) {
    return SlicingCrc32(data, size);
}

double Seconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

}  // namespace

int main(int argc, char** argv) {
    size_t mib = argc > 1 ? (size_t)atoi(argv[1]) : 256;
    int rounds = argc > 2 ? atoi(argv[2]) : 7;
    if (mib == 0 || rounds <= 0) {
        fprintf(stderr, "usage: digest_bench [MiB [rounds]]\n");
        return 2;
    }
    size_t size = mib << 20;
    std::vector<uint8_t> buffer(size);
    uint32_t x = 2463534242u;
    for (size_t i = 0; i < size; i++) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        buffer[i] = (uint8_t)x;
    }
    BuildCrcTables();

    std::vector<Contender> all = {
        {"ComputeSumDigest (launcher build)", ComputeSumDigest, {}, 0},
        {"streamed, 1 MiB chunks", StreamedDigest, {}, 0},
        {"XXH3 scalar kernel", DigestScalarKernel, {}, 0},
    };
    if (HasAvx2()) all.push_back({"XXH3 AVX2 kernel", DigestAvx2Kernel, {}, 0});
    all.push_back({"CRC-32 slicing-by-8", Crc, {}, 0});

    printf("%zu MiB, %d rounds, %zu-bit build\n", mib, rounds, sizeof(void*) * 8);
    for (int round = 0; round < rounds; round++) {
        for (size_t k = 0; k < all.size(); k++) {
            Contender& c = all[(round + k) % all.size()];
            auto start = std::chrono::steady_clock::now();
            c.result = c.run(buffer.data(), size);
            c.seconds.push_back(Seconds(std::chrono::steady_clock::now() - start));
        }
    }
    int status = 0;
    for (Contender& c : all) {
        std::sort(c.seconds.begin(), c.seconds.end());
        double median = c.seconds[c.seconds.size() / 2];
        double best = c.seconds.front();
        printf("%-36s median %7.0f MB/s  max %7.0f MB/s  (%016llx)\n", c.name,
               (double)size / median / 1e6, (double)size / best / 1e6,
               (unsigned long long)c.result);
        if (c.run != Crc && c.result != all[0].result) {
            printf("  DIGEST DIFFERS from ComputeSumDigest\n");
            status = 1;
        }
    }
    return status;
}

#endif
