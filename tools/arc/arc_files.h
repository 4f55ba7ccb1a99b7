// The platform part of the archive tool: what it needs to know about files and folders, and the
// final replace of an archive. POSIX and Win32 implementations share this interface; the rest
// of the tool is the same on both.
#pragma once

#include <stdint.h>
#include <string>
#include <vector>

enum PathKind { kPathMissing, kPathFile, kPathDirectory, kPathOther };

// What `path` is (symbolic links followed); *size gets a file's length.
PathKind GetPathKind(const std::string& path, uint64_t* size);

struct DirEntry {
    std::string name;
    PathKind kind;  // as the listing reports it (links followed)
    uint64_t size;  // for files
};

// The entries of a folder, "." and ".." included when the platform lists them, in byte order of
// their names. Returns false with *error set when the folder cannot be listed.
bool ListDirectory(const std::string& dir, std::vector<DirEntry>* entries, std::string* error);

// `dir` and `name` joined with the platform's separator (none added after one already there).
std::string JoinPath(const std::string& dir, const std::string& name);

// The name of the file or folder a path names: the text after its last separator.
std::string PathFinalName(const std::string& path);

// Whether two existing paths name the same file.
bool IsSameFile(const std::string& a, const std::string& b);

// Moves `from` over `to`, replacing `to` if it exists. False with *error set on failure.
bool ReplaceFileWith(const std::string& from, const std::string& to, std::string* error);

// A number that differs between processes running at the same time (for temporary names).
uint32_t CurrentProcessNumber();
