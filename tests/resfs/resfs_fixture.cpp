// Shared fixture of the resource file system tests (see resfs_fixture.h).
#include "tests/resfs/resfs_fixture.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <thread>

#include "resfs/cp932_lower.h"
#include "resfs/mounts.h"
#include "resfs/name_hash.h"

static void PutU32(std::string* out, uint32_t v) {
    for (int i = 0; i < 4; i++) out->push_back((char)(v >> (8 * i)));
}

std::string BuildArchive(const std::vector<ArchiveFile>& files, const char* overrideName,
                         uint32_t offsetOverride) {
    struct Entry {
        uint32_t hash;
        uint32_t offset;
    };
    std::vector<Entry> entries;
    uint32_t offset = 28 + 8 * (uint32_t)(files.size() + 1);
    std::string data;
    for (const ArchiveFile& f : files) {
        uint32_t entryOffset = offset + (uint32_t)data.size();
        if (overrideName && f.name == overrideName) entryOffset = offsetOverride;
        entries.push_back({ComputeLookupKey(f.name.c_str()), entryOffset});
        data += f.data;
    }
    std::sort(entries.begin(), entries.end(),
              [](const Entry& a, const Entry& b) { return a.hash < b.hash; });
    std::string out("VorlinArcV1.000\0", 16);
    PutU32(&out, (uint32_t)files.size());
    PutU32(&out, 0);
    PutU32(&out, 0);
    for (const Entry& e : entries) {
        PutU32(&out, e.hash);
        PutU32(&out, e.offset);
    }
    PutU32(&out, 0xFFFFFFFFu);
    PutU32(&out, offset + (uint32_t)data.size());
    return out + data;
}

void MediaFolder::SetUp() { ForgetAllMounts(); }

void MediaFolder::TearDown() { ForgetAllMounts(); }

void MediaFolder::Put(const std::string& relative, const std::string& data) {
    std::string path = media.path;
    size_t start = 0;
    for (;;) {
        size_t slash = relative.find('\\', start);
        if (slash == std::string::npos) break;
        CreateDirectoryA((media.path + "\\" + relative.substr(0, slash)).c_str(), NULL);
        start = slash + 1;
    }
    WriteBytes(media.path + "\\" + relative, data);
}

std::string MediaFolder::CurrentDirectory() {
    char current[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof current, current);
    return current;
}

std::vector<std::string> RetryEveryBox(const std::function<void()>& action) {
    std::vector<std::string> texts;
    std::atomic<bool> done(false);
    std::thread driver([&] {
        while (!done) {
            WindowSeen box;
            if (WaitForDialog(GetCurrentProcessId(), nullptr, &box, 100)) {
                texts.push_back(box.text);
                PressButton(box.window, IDRETRY);
                WaitForWindowGone(box.window);
            }
        }
    });
    action();
    done = true;
    driver.join();
    return texts;
}

std::string ReadStream(FILE* file, size_t limit) {
    std::string text;
    if (!file) return "<null>";
    int c;
    while (text.size() < limit && (c = fgetc(file)) != EOF) text.push_back((char)c);
    fclose(file);
    return text;
}
