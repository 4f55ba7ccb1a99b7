// CRC-32 with the reflected polynomial 0xEDB88320, table-driven, the table built lazily.
#include "resfs/name_hash.h"

#include <string.h>

static uint32_t g_crcTable[256];
static bool g_crcTableBuilt;

static void BuildCrcTable() {
    for (uint32_t i = 0; i < 256; i++) {
        uint32_t c = i;
        for (int bit = 0; bit < 8; bit++) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
        g_crcTable[i] = c;
    }
    g_crcTableBuilt = true;
}

uint32_t UpdateCrc32(uint32_t crc, const void* bytes, int32_t length) {
    if (length <= 0) return crc;
    if (!g_crcTableBuilt) BuildCrcTable();
    const uint8_t* p = (const uint8_t*)bytes;
    for (int32_t i = 0; i < length; i++) crc = (crc >> 8) ^ g_crcTable[(crc ^ p[i]) & 0xFF];
    return crc;
}

uint32_t ComputeNameHash(const char* name) {
    // Names are path text (at most 259 bytes in the launcher); anything past INT32_MAX bytes
    // could not be passed in one call, so longer text is fed in pieces.
    uint32_t crc = 0xFFFFFFFFu;
    size_t left = strlen(name);
    const char* p = name;
    while (left > 0) {
        int32_t piece = left > (size_t)INT32_MAX ? INT32_MAX : (int32_t)left;
        crc = UpdateCrc32(crc, p, piece);
        p += piece;
        left -= (size_t)piece;
    }
    return ~crc;
}
