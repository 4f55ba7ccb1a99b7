// The digests of many files in one pass: a reader thread reads each file from start to end in
// large chunks while the calling thread digests the chunks already read, so that the digest
// costs no time beyond the reads themselves.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

struct DigestJob {
    std::string path;   // in: platform path
    bool ok;            // out: read to its end
    uint64_t size;      // out: bytes read
    uint64_t digest;    // out: ComputeSumDigest of the bytes
    std::string error;  // out: why it could not be read
};

void DigestFiles(std::vector<DigestJob>* jobs);
