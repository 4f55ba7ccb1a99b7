// Name hash of the resource file system: the CRC-32 (zlib/PNG polynomial) of a file name's
// lower-cased final component. It keys every archive index and every directory index, so the
// launcher and the archive tool must compute it byte for byte alike.
//
// The CRC table is process-wide state built on first use; callers in the launcher hold the
// resource lock when they hash, so the build needs no lock of its own.
#pragma once

#include <stdint.h>

// Feeds `length` bytes into a CRC-32 register and returns the new register value. The register
// is neither preset nor complemented here. A length of 0 or less returns `crc` unchanged.
uint32_t UpdateCrc32(uint32_t crc, const void* bytes, int32_t length);

// The complemented CRC-32 of the NUL-terminated `name` (without its NUL), preset 0xFFFFFFFF.
// It neither lower-cases nor strips directories: callers pass the lower-cased final component.
uint32_t ComputeNameHash(const char* name);
