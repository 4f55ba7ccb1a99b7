// RCT compression: match finding, greedy and optimal parsing, command emission.
//
// Pixels are compared as 24-bit values. For every position i the longest copy each of the 32
// entries allows is ml_k(i) = (pixel i equals the pixel the entry points at) ? 1 + ml_k(i+1)
// : 0, found in one backward pass; since all copies of one length cost the same, only the
// longest of them, M(i), and an entry achieving it matter.
//
// The optimal parse is a shortest path from position 1 to the end (pixel 0 is stored raw).
// cost(i) = bytes needed for pixels i..N-1, computed backwards over four kinds of step:
//   short literal  1 + 3L bytes, L in 1..127      long literal  3 + 3L bytes, L in 128..65663
//   short copy     1 byte,       L in 1..min(3,M) long copy     3 bytes,      L in 4..min(M,65539)
// Literal cost is linear in L, so the best literal ending is the minimum of cost(j) + 3j over
// a window of ends j; the copy's best ending is the minimum of cost(j) over [i+4, i+M(i)].
// Every window's ends only move towards lower j as i falls (M(i) <= M(i+1) + 1), so each is a
// sliding-window minimum kept in a monotonic queue, and the whole parse is linear in N.
#include "image/rct_encode.h"

#include <string.h>

namespace {

const uint32_t kShortLiteralMax = 127;
const uint32_t kLongLiteralMin = 128;
const uint32_t kLongLiteralMax = 65535 + 128;
const uint32_t kShortCopyMax = 3;
const uint32_t kLongCopyMin = 4;
const uint32_t kLongCopyMax = 65535 + 4;
const uint8_t kLiteral = 0xFF;  // in the choice array: the step from i is a literal run

struct Matches {
    std::vector<uint32_t> longest;  // M(i), at most kLongCopyMax
    std::vector<uint8_t> entry;     // an entry achieving M(i)
};

void LoadPixels(const uint8_t* bgr, uint32_t count, std::vector<uint32_t>* pixels) {
    pixels->resize(count);
    for (uint32_t i = 0; i < count; i++) {
        const uint8_t* p = bgr + (size_t)i * 3;
        (*pixels)[i] = (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16;
    }
}

void FindMatches(const std::vector<uint32_t>& px, int32_t width, Matches* m) {
    uint32_t n = (uint32_t)px.size();
    int32_t offsets[32];
    RctComputeOffsets(width, offsets);
    uint32_t back[32];  // pixel distance; 0 for entries that do not point backwards
    for (int k = 0; k < 32; k++) back[k] = offsets[k] < 0 ? (0u - (uint32_t)offsets[k]) / 3 : 0;
    m->longest.assign(n, 0);
    m->entry.assign(n, 0);
    uint32_t run[32] = {0};
    for (uint32_t i = n; i-- > 1;) {
        uint32_t best = 0;
        uint8_t bestEntry = 0;
        for (int k = 0; k < 32; k++) {
            uint32_t d = back[k];
            if (d != 0 && d <= i && px[i] == px[i - d]) {
                run[k] = run[k] < kLongCopyMax ? run[k] + 1 : kLongCopyMax;
            } else {
                run[k] = 0;
            }
            if (run[k] > best) {
                best = run[k];
                bestEntry = (uint8_t)k;
            }
        }
        m->longest[i] = best;
        m->entry[i] = bestEntry;
    }
}

void PutLe16(std::vector<uint8_t>* out, uint32_t v) {
    out->push_back((uint8_t)(v & 0xFF));
    out->push_back((uint8_t)(v >> 8));
}

void EmitLiteral(const uint8_t* bgr, uint32_t from, uint32_t count, std::vector<uint8_t>* out) {
    while (count > 0) {
        uint32_t n = count;
        if (n >= kLongLiteralMin) {
            if (n > kLongLiteralMax) n = kLongLiteralMax;
            out->push_back(0x7F);
            PutLe16(out, n - kLongLiteralMin);
        } else {
            out->push_back((uint8_t)(n - 1));
        }
        const uint8_t* p = bgr + (size_t)from * 3;
        out->insert(out->end(), p, p + (size_t)n * 3);
        from += n;
        count -= n;
    }
}

void EmitCopy(uint32_t entry, uint32_t count, std::vector<uint8_t>* out) {
    if (count <= kShortCopyMax) {
        out->push_back((uint8_t)(0x80 | entry << 2 | (count - 1)));
    } else {
        out->push_back((uint8_t)(0x80 | entry << 2 | 3));
        PutLe16(out, count - kLongCopyMin);
    }
}

void ParseGreedy(const uint8_t* bgr, uint32_t n, const Matches& m, std::vector<uint8_t>* out) {
    uint32_t literalFrom = 1;
    uint32_t i = 1;
    while (i < n) {
        if (m.longest[i] == 0) {
            i++;
            continue;
        }
        EmitLiteral(bgr, literalFrom, i - literalFrom, out);
        EmitCopy(m.entry[i], m.longest[i], out);
        i += m.longest[i];
        literalFrom = i;
    }
    EmitLiteral(bgr, literalFrom, n - literalFrom, out);
}

// Sliding-window minimum over positions j pushed in falling order. Positions beyond the
// window's upper end leave from the front; among equal values the front keeps the highest j
// (the longest step, so fewer commands for the same size).
struct MinQueue {
    std::vector<uint32_t> at;
    size_t head = 0, tail = 0;
};

template <typename Value>
void Push(MinQueue* q, uint32_t j, Value value) {
    while (q->tail > q->head && value(q->at[q->tail - 1]) > value(j)) q->tail--;
    q->at[q->tail++] = j;
}

void ExpireAbove(MinQueue* q, uint64_t upper) {
    while (q->head < q->tail && q->at[q->head] > upper) q->head++;
}

void ParseOptimal(const uint8_t* bgr, uint32_t n, Matches* m, std::vector<uint8_t>* out) {
    std::vector<uint32_t> cost(n + 1, 0);
    std::vector<uint32_t> next(n + 1, n);
    auto plain = [&](uint32_t j) { return (uint64_t)cost[j]; };
    auto literal = [&](uint32_t j) { return (uint64_t)cost[j] + 3 * (uint64_t)j; };
    MinQueue shortLit, longLit, longCopy;
    shortLit.at.resize(n + 1);
    longLit.at.resize(n + 1);
    longCopy.at.resize(n + 1);

    for (uint32_t i = n; i-- > 1;) {
        uint64_t best = UINT64_MAX;
        uint32_t bestEnd = 0;
        bool bestIsCopy = false;
        auto consider = [&](uint64_t c, uint32_t end, bool isCopy) {
            if (c < best || (c == best && end > bestEnd)) {
                best = c;
                bestEnd = end;
                bestIsCopy = isCopy;
            }
        };

        Push(&shortLit, i + 1, literal);
        ExpireAbove(&shortLit, (uint64_t)i + kShortLiteralMax);
        uint32_t j = shortLit.at[shortLit.head];
        consider(literal(j) + 1 - 3 * (uint64_t)i, j, false);

        if ((uint64_t)i + kLongLiteralMin <= n) {
            Push(&longLit, i + kLongLiteralMin, literal);
            ExpireAbove(&longLit, (uint64_t)i + kLongLiteralMax);
            j = longLit.at[longLit.head];
            consider(literal(j) + 3 - 3 * (uint64_t)i, j, false);
        }

        uint32_t reach = m->longest[i];  // never past the end: matches stop at pixel n-1
        for (uint32_t len = 1; len <= reach && len <= kShortCopyMax; len++) {
            consider(plain(i + len) + 1, i + len, true);
        }
        if ((uint64_t)i + kLongCopyMin <= n) Push(&longCopy, i + kLongCopyMin, plain);
        ExpireAbove(&longCopy, (uint64_t)i + reach);
        if (reach >= kLongCopyMin && longCopy.head < longCopy.tail) {
            j = longCopy.at[longCopy.head];
            consider(plain(j) + 3, j, true);
        }

        cost[i] = (uint32_t)best;
        next[i] = bestEnd;
        if (!bestIsCopy) m->entry[i] = kLiteral;
    }

    // Each step is one command: the windows only offer literal lengths of a legal form.
    for (uint32_t i = 1; i < n; i = next[i]) {
        if (m->entry[i] == kLiteral) {
            EmitLiteral(bgr, i, next[i] - i, out);
        } else {
            EmitCopy(m->entry[i], next[i] - i, out);
        }
    }
}

}  // namespace

int32_t RctCompress(const uint8_t* bgr, int32_t width, int32_t height, int32_t parse,
                    std::vector<uint8_t>* stream) {
    stream->clear();
    uint32_t total;
    int32_t status = RctOutputSize(width, height, &total);
    if (status != kRctOk) return status;
    uint32_t n = total / 3;
    stream->reserve(total + total / 64 + 16);
    stream->insert(stream->end(), bgr, bgr + 3);
    if (n == 1) return kRctOk;

    std::vector<uint32_t> pixels;
    LoadPixels(bgr, n, &pixels);
    Matches matches;
    FindMatches(pixels, width, &matches);
    pixels = std::vector<uint32_t>();
    if (parse == kRctParseGreedy) {
        ParseGreedy(bgr, n, matches, stream);
    } else {
        ParseOptimal(bgr, n, &matches, stream);
    }
    return kRctOk;
}

static bool FitsU32(uint64_t v) {
    return v <= UINT32_MAX;
}

static void PutLe32(std::vector<uint8_t>* out, uint32_t v) {
    for (int i = 0; i < 4; i++) out->push_back((uint8_t)(v >> (8 * i)));
}

int32_t RctBuildFile(int32_t signature, int32_t width, int32_t height, const uint8_t* name,
                     uint32_t nameLength, const std::vector<uint8_t>& stream,
                     std::vector<uint8_t>* file) {
    file->clear();
    if (nameLength > 0xFFFF || !FitsU32(stream.size())) return kRctBadSize;
    const uint8_t* sig = signature == kRctTC01 ? kRctSignatureTC01 : kRctSignatureTC00;
    file->reserve(kRctFixedHeaderSize + 2 + nameLength + stream.size());
    file->insert(file->end(), sig, sig + 8);
    PutLe32(file, (uint32_t)width);
    PutLe32(file, (uint32_t)height);
    PutLe32(file, (uint32_t)stream.size());
    if (signature == kRctTC01) {
        PutLe16(file, nameLength);
        if (nameLength > 0) file->insert(file->end(), name, name + nameLength);
    }
    file->insert(file->end(), stream.begin(), stream.end());
    return kRctOk;
}
