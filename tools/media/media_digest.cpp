// One-pass digests of many files (see media_digest.h).
//
// Chunks of 8 MiB travel through a ring of slots from the reader to the digest; the reader is
// never more than the ring ahead. On POSIX systems a chunk is a mapped window whose pages the
// reader has brought in, so no byte is copied: a warm cache is digested at the digest's own speed
// and a cold one at the disk's, both faster than reading the bytes into a buffer (cat). On Windows
// a chunk is read into the slot's buffer.
#include "tools/media/media_digest.h"

#include <condition_variable>
#include <mutex>
#include <thread>

#include "tools/common/tool_files.h"
#include "update/core/sum_file.h"

namespace {

const size_t kChunkBytes = 8 << 20;
const int kSlots = 4;

struct Slot {
    ChunkView view;
    size_t job;
    bool last;    // the job's final chunk (also when it failed)
    bool failed;  // the job could not be read; `error` says why
    std::string error;
    bool full;
};

struct Ring {
    Slot slots[kSlots];
    std::mutex lock;
    std::condition_variable changed;
};

Slot* WaitForSlot(Ring* ring, int k, bool full) {
    std::unique_lock<std::mutex> hold(ring->lock);
    ring->changed.wait(hold, [&] { return ring->slots[k].full == full; });
    return &ring->slots[k];
}

void SetFull(Ring* ring, int k, bool full) {
    {
        std::lock_guard<std::mutex> hold(ring->lock);
        ring->slots[k].full = full;
    }
    ring->changed.notify_all();
}

void ReadAll(Ring* ring, const std::vector<DigestJob>* jobs) {
    int k = 0;
    for (size_t j = 0; j < jobs->size(); j++) {
        std::string error;
        ChunkReader* reader = OpenChunkReader((*jobs)[j].path, &error);
        for (bool last = false; !last;) {
            Slot* slot = WaitForSlot(ring, k, false);
            bool read = reader && ReadNextChunk(reader, kChunkBytes, &slot->view, &error);
            slot->job = j;
            slot->failed = !read;
            slot->error = error;
            if (!read) slot->view.length = 0;
            slot->last = !read || slot->view.length < kChunkBytes;
            last = slot->last;
            SetFull(ring, k, true);
            k = (k + 1) % kSlots;
        }
        if (reader) CloseChunkReader(reader);
    }
}

}  // namespace

void DigestFiles(std::vector<DigestJob>* jobs) {
    Ring ring;
    for (Slot& slot : ring.slots) {
        slot.view.data = nullptr;
        slot.view.length = 0;
        slot.view.mapping = nullptr;
        slot.view.mappedLength = 0;
        slot.full = false;
    }
    std::thread reader(ReadAll, &ring, jobs);
    int k = 0;
    for (size_t j = 0; j < jobs->size(); j++) {
        DigestJob& job = (*jobs)[j];
        SumDigestState* state = BeginSumDigest();
        job.size = 0;
        for (bool last = false; !last;) {
            Slot* slot = WaitForSlot(&ring, k, true);
            if (slot->failed) job.error = slot->error;
            if (state) UpdateSumDigest(state, slot->view.data, slot->view.length);
            job.size += slot->view.length;
            job.ok = !slot->failed && state != nullptr;
            last = slot->last;
            SetFull(&ring, k, false);
            k = (k + 1) % kSlots;
        }
        job.digest = state ? FinishSumDigest(state) : 0;
        if (!state) job.error = "out of memory";
    }
    reader.join();
    for (Slot& slot : ring.slots) ReleaseChunk(&slot.view);
}
