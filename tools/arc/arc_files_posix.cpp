// File and folder access for the archive tool on POSIX systems.
#include "tools/arc/arc_files.h"

#include <dirent.h>
#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

PathKind GetPathKind(const std::string& path, uint64_t* size) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return kPathMissing;
    if (S_ISDIR(st.st_mode)) return kPathDirectory;
    if (!S_ISREG(st.st_mode)) return kPathOther;
    *size = (uint64_t)st.st_size;
    return kPathFile;
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

bool ReplaceFileWith(const std::string& from, const std::string& to, std::string* error) {
    if (rename(from.c_str(), to.c_str()) == 0) return true;
    *error = strerror(errno);
    return false;
}

uint32_t CurrentProcessNumber() {
    return (uint32_t)getpid();
}
