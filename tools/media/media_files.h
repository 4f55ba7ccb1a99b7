// The platform part of the media tool: folders, files, large sequential reads, the replace of
// update.sum, and the text of names. POSIX and Win32 implementations share this interface.
//
// Paths inside the tool are the platform's own text: bytes as given on POSIX systems, UTF-8 on
// Windows, where the arguments and folder listings arrive as UTF-16 and every file call is made
// with the wide-character functions, so that the tool works whatever the system's code page.
// Names become the launcher's code page 932 text through the listing (MediaEntry::cp932).
#pragma once

#include <stdint.h>
#include <stdio.h>

#include <string>
#include <vector>

enum MediaPathKind { kMediaMissing, kMediaFile, kMediaFolder, kMediaOther };

struct MediaEntry {
    std::string name;   // platform text, for paths and messages
    std::string cp932;  // the name as the launcher sees it (valid only when hasCp932)
    bool hasCp932;      // false: no code page 932 form (the launcher cannot open the file)
    MediaPathKind kind;
    uint64_t size;  // for files
};

// The command line as platform text (argv itself on POSIX systems).
std::vector<std::string> GetMediaArguments(int argc, char** argv);
// Console output set up for UTF-8 text (Windows); nothing elsewhere.
void PrepareMediaConsole();

// What `path` is (links followed); *size gets a file's length.
MediaPathKind GetMediaPathKind(const std::string& path, uint64_t* size);

// The entries of a folder without "." and "..", in byte order of their platform names. False
// with *error set when the folder cannot be listed.
bool ListMediaFolder(const std::string& dir, std::vector<MediaEntry>* entries, std::string* error);

// `dir` and `name` joined with the platform's separator.
std::string JoinMediaPath(const std::string& dir, const std::string& name);

// fopen(path, "rb").
FILE* OpenMediaFile(const std::string& path);

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

// Writes `bytes` under a temporary name beside `path`, then renames it over `path`, so that
// `path` is never seen half-written. False with *error set (and no temporary file left).
bool ReplaceFileWithBytes(const std::string& path, const std::string& bytes, std::string* error);

// Code page 932 text shown as platform text (UTF-8 for the POSIX build when it converts, the
// bytes as they are otherwise).
std::string Cp932ToDisplay(const std::string& cp932);
