// The platform part of the media tools: their arguments, files and folders, large sequential
// reads, and the replace of a file. POSIX and Win32 implementations share this interface; the
// rest of every tool is the same on both.
//
// Paths are the platform's text: bytes on POSIX systems, UTF-8 on Windows, where the arguments
// and folder listings arrive as UTF-16 and every call goes through the UTF-16 ("...W") functions,
// so that any name works under any system locale.
#pragma once

#include <stdint.h>
#include <stdio.h>
#include <string>
#include <vector>

enum PathKind { kPathMissing, kPathFile, kPathDirectory, kPathOther };

// The command line's arguments after the program name, as paths are written here.
std::vector<std::string> GetCommandArguments(int argc, char** argv);

// What `path` is (symbolic links followed); *size gets a file's length.
PathKind GetPathKind(const std::string& path, uint64_t* size);

// Whether anything is at `path`: a file, a folder, or a link even if it leads nowhere.
bool PathExists(const std::string& path);

struct DirEntry {
    std::string name;
    PathKind kind;  // as the listing reports it (links followed)
    uint64_t size;  // for files
};

// The entries of a folder without "." and "..", in byte order of their names; a kind comes from
// the listing itself (a name such as "old." cannot be opened again by name on Windows, which
// drops trailing dots from paths). Returns false with *error set when the folder cannot be listed.
bool ListDirectory(const std::string& dir, std::vector<DirEntry>* entries, std::string* error);

// `dir` and `name` joined with the platform's separator (none added after one already there).
std::string JoinPath(const std::string& dir, const std::string& name);

// The name of the file or folder a path names: the text after its last separator.
std::string PathFinalName(const std::string& path);

// The bytes this user may still write on the volume that holds the folder `path`, and its
// allocation unit (4096 when it cannot be told). False when it cannot be told at all.
bool GetVolumeRoom(const std::string& path, uint64_t* available, uint32_t* clusterSize);

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

// Renames a file or folder to `to`, where nothing may be yet. False with *error set.
bool RenamePath(const std::string& from, const std::string& to, std::string* error);

// Removes a folder and everything in it; a link inside is removed itself, never followed. False
// with *error set when something could not be removed (what could, is gone).
bool RemoveTree(const std::string& path, std::string* error);

// A number that differs between processes running at the same time (for temporary names).
uint32_t CurrentProcessNumber();

// Writes `bytes` under a temporary name beside `path`, flushes them to the disk, then renames
// them over `path`, so that `path` is never seen half-written. False with *error set (and no
// temporary file left).
bool ReplaceFileWithBytes(const std::string& path, const std::string& bytes, std::string* error);

// A file read from start to end in large chunks. POSIX systems map each chunk of the file (its
// pages are brought in, from the page cache or the disk, before the chunk is handed over), so that
// no byte is copied; Windows reads each chunk into a buffer, with the sequential-read hint.
struct ChunkReader;
ChunkReader* OpenChunkReader(const std::string& path, std::string* error);

struct ChunkView {
    const uint8_t* data;
    size_t length;  // 0 at the end of the file
    void* mapping;  // POSIX: the mapped window, unmapped by ReleaseChunk
    size_t mappedLength;
    std::vector<uint8_t> buffer;  // Windows: holds the bytes read; kept for the next chunk
};
// The next chunk of at most `size` bytes into *view (released first if it holds one); fewer
// bytes only at the end of the file. False on a read error (*error set).
bool ReadNextChunk(ChunkReader* reader, size_t size, ChunkView* view, std::string* error);
void ReleaseChunk(ChunkView* view);
void CloseChunkReader(ChunkReader* reader);
