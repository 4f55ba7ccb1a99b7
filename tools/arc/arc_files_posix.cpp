// File and folder access for the archive tool on POSIX systems.
#include "tools/arc/arc_files.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

std::vector<std::string> GetCommandArguments(int argc, char** argv) {
    return std::vector<std::string>(argv + 1, argv + argc);
}

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

uint32_t CurrentProcessNumber() {
    return (uint32_t)getpid();
}
