// File and folder access for the media tool on POSIX systems. A file name is taken as UTF-8 text
// when it is valid UTF-8 with at least one non-ASCII character (converted to code page 932 with
// iconv), and as code page 932 bytes otherwise.
#include "tools/media/media_files.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <iconv.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "resfs/cp932_lower.h"

std::vector<std::string> GetMediaArguments(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}

void PrepareMediaConsole() {}

MediaPathKind GetMediaPathKind(const std::string& path, uint64_t* size) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return kMediaMissing;
    if (S_ISDIR(st.st_mode)) return kMediaFolder;
    if (!S_ISREG(st.st_mode)) return kMediaOther;
    *size = (uint64_t)st.st_size;
    return kMediaFile;
}

// Whether the bytes are valid UTF-8 (shortest forms, no surrogates) with a non-ASCII character.
static bool IsNonAsciiUtf8(const std::string& text) {
    bool nonAscii = false;
    const uint8_t* p = (const uint8_t*)text.data();
    size_t n = text.size();
    for (size_t i = 0; i < n;) {
        uint8_t c = p[i];
        if (c < 0x80) {
            i++;
            continue;
        }
        nonAscii = true;
        size_t extra = c >= 0xF0 && c <= 0xF4 ? 3 : c >= 0xE0 ? 2 : c >= 0xC2 && c < 0xE0 ? 1 : 0;
        if (extra == 0 || c > 0xF4 || extra > n - i - 1) return false;
        for (size_t k = 1; k <= extra; k++) {
            if ((p[i + k] & 0xC0) != 0x80) return false;
        }
        uint8_t second = p[i + 1];
        if ((c == 0xE0 && second < 0xA0) || (c == 0xED && second >= 0xA0) ||
            (c == 0xF0 && second < 0x90) || (c == 0xF4 && second >= 0x90))
            return false;
        i += extra + 1;
    }
    return nonAscii;
}

// Converts with iconv; false when some character has no form in the target.
static bool Convert(const char* to, const char* from, const std::string& text, std::string* out) {
    iconv_t cd = iconv_open(to, from);
    if (cd == (iconv_t)-1) return false;
    std::vector<char> buffer(text.size() * 4 + 16);
    char* in = const_cast<char*>(text.data());
    size_t inLeft = text.size();
    char* outp = buffer.data();
    size_t outLeft = buffer.size();
    size_t result = iconv(cd, &in, &inLeft, &outp, &outLeft);
    if (result != (size_t)-1) result = iconv(cd, nullptr, nullptr, &outp, &outLeft);
    iconv_close(cd);
    // Any irreversible conversion (a character replaced rather than converted) also counts as
    // having no form.
    if (result != 0 || inLeft != 0) return false;
    out->assign(buffer.data(), (size_t)(outp - buffer.data()));
    return true;
}

// Whether the bytes are well-formed code page 932 text: single bytes 0x00-0x7F and 0xA1-0xDF,
// or a lead byte with a trail byte 0x40-0x7E, 0x80-0xFC.
static bool IsCp932Text(const std::string& text) {
    for (size_t i = 0; i < text.size(); i++) {
        uint8_t c = (uint8_t)text[i];
        if (IsCp932LeadByte(c)) {
            if (i + 1 == text.size()) return false;
            uint8_t t = (uint8_t)text[++i];
            if (t < 0x40 || t == 0x7F || t > 0xFC) return false;
        } else if (c >= 0x80 && !(c >= 0xA1 && c <= 0xDF)) {
            return false;
        }
    }
    return true;
}

static void SetCp932Name(MediaEntry* entry) {
    if (IsNonAsciiUtf8(entry->name)) {
        entry->hasCp932 = Convert("CP932", "UTF-8", entry->name, &entry->cp932);
    } else {
        entry->cp932 = entry->name;
        entry->hasCp932 = IsCp932Text(entry->name);
    }
}

bool ListMediaFolder(const std::string& dir, std::vector<MediaEntry>* entries, std::string* error) {
    entries->clear();
    DIR* d = opendir(dir.c_str());
    if (!d) {
        *error = strerror(errno);
        return false;
    }
    while (struct dirent* e = readdir(d)) {
        if (strcmp(e->d_name, ".") == 0 || strcmp(e->d_name, "..") == 0) continue;
        MediaEntry entry = {e->d_name, "", false, kMediaMissing, 0};
        entry.kind = GetMediaPathKind(JoinMediaPath(dir, entry.name), &entry.size);
        SetCp932Name(&entry);
        entries->push_back(entry);
    }
    closedir(d);
    std::sort(entries->begin(), entries->end(),
              [](const MediaEntry& a, const MediaEntry& b) { return a.name < b.name; });
    return true;
}

std::string JoinMediaPath(const std::string& dir, const std::string& name) {
    if (dir.empty() || dir.back() == '/') return dir + name;
    return dir + "/" + name;
}

FILE* OpenMediaFile(const std::string& path) {
    return fopen(path.c_str(), "rb");
}

// The whole file is mapped once; each chunk is a window of that mapping whose pages the reading
// thread brings in (MADV_POPULATE_READ) before handing it over, so that the digest finds them
// present and an I/O error is reported here instead of faulting later. The chunk that reaches the
// end of the file carries the mapping: releasing it, after every earlier chunk, unmaps the file.
struct ChunkReader {
    int fd;
    uint8_t* base;
    uint64_t size, offset;
    bool handedOver;  // the mapping belongs to a chunk now
};

ChunkReader* OpenChunkReader(const std::string& path, std::string* error) {
    int fd = open(path.c_str(), O_RDONLY);
    struct stat st;
    if (fd < 0 || fstat(fd, &st) != 0) {
        *error = strerror(errno);
        if (fd >= 0) close(fd);
        return nullptr;
    }
    ChunkReader* reader = new ChunkReader{fd, nullptr, (uint64_t)st.st_size, 0, true};
    if (reader->size == 0) return reader;
    void* base = mmap(nullptr, (size_t)reader->size, PROT_READ, MAP_PRIVATE, fd, 0);
    if (base == MAP_FAILED) {
        *error = strerror(errno);
        CloseChunkReader(reader);
        return nullptr;
    }
    madvise(base, (size_t)reader->size, MADV_SEQUENTIAL);
    reader->base = (uint8_t*)base;
    reader->handedOver = false;
    return reader;
}

bool ReadNextChunk(ChunkReader* reader, size_t size, ChunkView* view, std::string* error) {
    ReleaseChunk(view);
    uint64_t left = reader->size - reader->offset;
    size_t length = left < size ? (size_t)left : size;
    if (length == 0) return true;
    uint8_t* window = reader->base + reader->offset;
    if (madvise(window, length, MADV_POPULATE_READ) != 0 && errno != EINVAL) {
        *error = strerror(errno);  // EINVAL: a kernel without it; the pages come in on first use
        return false;
    }
    view->data = window;
    view->length = length;
    reader->offset += length;
    if (reader->offset == reader->size) {
        view->mapping = reader->base;
        view->mappedLength = (size_t)reader->size;
        reader->handedOver = true;
    }
    return true;
}

void ReleaseChunk(ChunkView* view) {
    if (view->mapping) munmap(view->mapping, view->mappedLength);
    view->mapping = nullptr;
    view->data = nullptr;
    view->length = 0;
}

void CloseChunkReader(ChunkReader* reader) {
    if (!reader->handedOver) munmap(reader->base, (size_t)reader->size);
    close(reader->fd);
    delete reader;
}

bool ReplaceFileWithBytes(const std::string& path, const std::string& bytes, std::string* error) {
    std::string temporary = path + ".tmp" + std::to_string((unsigned)getpid());
    FILE* file = fopen(temporary.c_str(), "wb");
    if (!file) {
        *error = strerror(errno);
        return false;
    }
    bool written = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    written = fflush(file) == 0 && written;
    written = fsync(fileno(file)) == 0 && written;
    int savedErrno = errno;
    written = fclose(file) == 0 && written;
    if (written && rename(temporary.c_str(), path.c_str()) == 0) return true;
    *error = strerror(written ? errno : savedErrno);
    remove(temporary.c_str());
    return false;
}

std::string Cp932ToDisplay(const std::string& cp932) {
    std::string utf8;
    if (Convert("UTF-8", "CP932", cp932, &utf8)) return utf8;
    std::string shown;
    for (char c : cp932) {
        uint8_t b = (uint8_t)c;
        if (b < 0x80 && b >= 0x20) {
            shown += c;
        } else {
            char hex[8];
            snprintf(hex, sizeof hex, "\\x%02X", b);
            shown += hex;
        }
    }
    return shown;
}
