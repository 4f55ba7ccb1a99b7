// The platform part of the archive tool: its arguments and output, what it needs to know about
// files and folders, and the final replace of a file. POSIX and Win32 implementations share
// this interface; the rest of the tool is the same on both.
//
// Paths are the platform's text: bytes on POSIX systems, UTF-8 on Windows, where every call
// goes through the UTF-16 ("...W") functions so that any name works under any system locale.
#pragma once

#include <stdint.h>
#include <stdio.h>
#include <string>
#include <vector>

enum PathKind { kPathMissing, kPathFile, kPathDirectory, kPathOther };

// The command line's arguments after the program name, as paths are written here.
std::vector<std::string> GetCommandArguments(int argc, char** argv);

// Writes text to stdout or stderr: as it is on POSIX systems; on Windows to a console as
// Unicode, otherwise in the ANSI code page (characters it lacks become '?').
void WriteText(FILE* stream, const std::string& text);

// What `path` is (symbolic links followed); *size gets a file's length.
PathKind GetPathKind(const std::string& path, uint64_t* size);

// Whether anything is at `path`: a file, a folder, or a link even if it leads nowhere.
bool PathExists(const std::string& path);

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

// The absolute path of an existing folder with every link in it resolved. False with *error
// set when it cannot be resolved.
bool ResolvePath(const std::string& path, std::string* resolved, std::string* error);

// Whether the resolved path `path` is `root` or lies below it (both from ResolvePath).
bool IsPathWithin(const std::string& root, const std::string& path);

// Creates one folder. True when it is there afterwards as a folder (made now or before).
bool MakeDirectory(const std::string& path, std::string* error);

// fopen with a platform path.
FILE* OpenFile(const std::string& path, const char* mode);

// Creates a new file for writing ("wb"), failing when anything, a link included, is already
// there. Null with *error set on failure.
FILE* CreateNewFile(const std::string& path, std::string* error);

// Deletes a file; false when it could not.
bool RemoveFile(const std::string& path);

// Moves `from` over `to`, replacing `to` if it exists (a link at `to` is replaced, not
// followed). False with *error set on failure.
bool ReplaceFileWith(const std::string& from, const std::string& to, std::string* error);

// A number that differs between processes running at the same time (for temporary names).
uint32_t CurrentProcessNumber();
