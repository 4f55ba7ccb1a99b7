// File and folder access for the media tools on POSIX systems, and their output.
#include "tools/common/tool_files.h"
#include "tools/common/tool_output.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <ftw.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>

std::vector<std::string> GetCommandArguments(int argc, char** argv) {
    return std::vector<std::string>(argv + 1, argv + argc);
}

void PrepareConsole() {}

void WriteText(FILE* stream, const std::string& text) {
    fwrite(text.data(), 1, text.size(), stream);
}

PathKind GetPathKind(const std::string& path, uint64_t* size) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return kPathMissing;
    if (S_ISDIR(st.st_mode)) return kPathDirectory;
    if (!S_ISREG(st.st_mode)) return kPathOther;
    *size = (uint64_t)st.st_size;
    return kPathFile;
}

bool GetVolumeRoom(const std::string& path, uint64_t* available, uint32_t* clusterSize) {
    struct statvfs volume;
    if (statvfs(path.c_str(), &volume) != 0) return false;
    *available = (uint64_t)volume.f_bavail * volume.f_frsize;
    *clusterSize =
        volume.f_bsize > 0 && volume.f_bsize <= 0x7FFFFFFF ? (uint32_t)volume.f_bsize : 4096;
    return true;
}

bool PathExists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

bool ListDirectory(const std::string& dir, std::vector<DirEntry>* entries, std::string* error) {
    entries->clear();
    DIR* d = opendir(dir.c_str());
    if (!d) {
        *error = strerror(errno);
        return false;
    }
    while (struct dirent* e = readdir(d)) {
        if (strcmp(e->d_name, ".") == 0 || strcmp(e->d_name, "..") == 0) continue;
        DirEntry entry = {e->d_name, kPathMissing, 0};
        entry.kind = GetPathKind(JoinPath(dir, entry.name), &entry.size);
        entries->push_back(entry);
    }
    closedir(d);
    std::sort(entries->begin(), entries->end(),
              [](const DirEntry& a, const DirEntry& b) { return a.name < b.name; });
    return true;
}

std::string JoinPath(const std::string& dir, const std::string& name) {
    if (dir.empty() || dir.back() == '/') return dir + name;
    return dir + "/" + name;
}

std::string PathFinalName(const std::string& path) {
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
    size_t slash = trimmed.rfind('/');
    return slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
}

bool IsSameFile(const std::string& a, const std::string& b) {
    struct stat sa, sb;
    if (stat(a.c_str(), &sa) != 0 || stat(b.c_str(), &sb) != 0) return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool ResolvePath(const std::string& path, std::string* resolved, std::string* error) {
    char* full = realpath(path.c_str(), nullptr);
    if (!full) {
        *error = strerror(errno);
        return false;
    }
    *resolved = full;
    free(full);
    return true;
}

bool IsPathWithin(const std::string& root, const std::string& path) {
    if (root.empty() || path.compare(0, root.size(), root) != 0) return false;
    return path.size() == root.size() || root.back() == '/' || path[root.size()] == '/';
}

bool MakeDirectory(const std::string& path, std::string* error) {
    if (mkdir(path.c_str(), 0777) == 0) return true;
    int code = errno;
    struct stat st;
    if (code == EEXIST && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return true;
    *error = code == EEXIST ? "something other than a folder is there" : strerror(code);
    return false;
}

FILE* OpenFile(const std::string& path, const char* mode) {
    return fopen(path.c_str(), mode);
}

FILE* CreateNewFile(const std::string& path, std::string* error) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0666);
    FILE* file = fd >= 0 ? fdopen(fd, "wb") : nullptr;
    if (!file) {
        *error = strerror(errno);
        if (fd >= 0) close(fd);
    }
    return file;
}

bool RemoveFile(const std::string& path) {
    return unlink(path.c_str()) == 0;
}

bool ReplaceFileWith(const std::string& from, const std::string& to, std::string* error) {
    if (rename(from.c_str(), to.c_str()) == 0) return true;
    *error = strerror(errno);
    return false;
}

bool RenamePath(const std::string& from, const std::string& to, std::string* error) {
    struct stat st;
    if (lstat(to.c_str(), &st) == 0) {
        *error = "something is there already";
        return false;
    }
    if (rename(from.c_str(), to.c_str()) == 0) return true;
    *error = strerror(errno);
    return false;
}

static int RemoveOne(const char* path, const struct stat*, int kind, struct FTW*) {
    int result = kind == FTW_DP ? rmdir(path) : unlink(path);
    return result == 0 ? 0 : errno;
}

bool RemoveTree(const std::string& path, std::string* error) {
    int code = nftw(path.c_str(), RemoveOne, 16, FTW_DEPTH | FTW_PHYS);
    if (code == 0) return true;
    *error = strerror(code > 0 ? code : errno);
    return false;
}

uint32_t CurrentProcessNumber() {
    return (uint32_t)getpid();
}

// Each chunk is a mapping of its own window of the file, whose pages the reading thread brings in
// (MADV_POPULATE_READ) before handing it over, so that the digest finds them present and an I/O
// error is reported here instead of faulting later. Releasing a chunk unmaps its window, so the
// memory a reading holds is its chunks in flight, whatever the file's size.
struct ChunkReader {
    int fd;
    uint64_t size, offset;
};

ChunkReader* OpenChunkReader(const std::string& path, std::string* error) {
    int fd = open(path.c_str(), O_RDONLY);
    struct stat st;
    if (fd < 0 || fstat(fd, &st) != 0) {
        *error = strerror(errno);
        if (fd >= 0) close(fd);
        return nullptr;
    }
    return new ChunkReader{fd, (uint64_t)st.st_size, 0};
}

bool ReadNextChunk(ChunkReader* reader, size_t size, ChunkView* view, std::string* error) {
    ReleaseChunk(view);
    uint64_t left = reader->size - reader->offset;
    size_t length = left < size ? (size_t)left : size;
    if (length == 0) return true;
    // A mapping starts on a page; the window begins that many bytes before the chunk.
    uint64_t page = (uint64_t)sysconf(_SC_PAGESIZE);
    size_t lead = (size_t)(reader->offset % page);
    void* window = mmap(nullptr, lead + length, PROT_READ, MAP_PRIVATE, reader->fd,
                        (off_t)(reader->offset - lead));
    if (window == MAP_FAILED) {
        *error = strerror(errno);
        return false;
    }
    madvise(window, lead + length, MADV_SEQUENTIAL);
    view->mapping = window;
    view->mappedLength = lead + length;
    uint8_t* data = (uint8_t*)window + lead;
    if (madvise(window, lead + length, MADV_POPULATE_READ) != 0 && errno != EINVAL) {
        *error = strerror(errno);  // EINVAL: a kernel without it; the pages come in on first use
        ReleaseChunk(view);
        return false;
    }
    view->data = data;
    view->length = length;
    reader->offset += length;
    return true;
}

void ReleaseChunk(ChunkView* view) {
    if (view->mapping) munmap(view->mapping, view->mappedLength);
    view->mapping = nullptr;
    view->mappedLength = 0;
    view->data = nullptr;
    view->length = 0;
}

void CloseChunkReader(ChunkReader* reader) {
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
