// The rules of the resource mounts that hold for every reader of a media: which mounts the
// launcher registers, in which order, and which files and folders a folder mount indexes. The
// launcher's directory index and the media tools (packing a folder, checking a media) ask here.
// Names are code page 932 text.
#pragma once

#include <stddef.h>

// The mounts the launcher registers at start, in order; each is NAME.arc when that loads as an
// archive, otherwise the folder NAME.
extern const char* const kResourceMounts[2];  // "update", "fastdata"
enum { kResourceMountCount = 2 };

// The last dot of a name, found character by character so that no trail byte is taken for one;
// null when there is none.
const char* FindNameExtension(const char* name);

// Whether a folder mount indexes a file of this name: not one ending in .lnk .exe .com .dll .log
// .sue .mdb .vrs .vrh .db or .txt (in any case).
bool IsIndexedFileName(const char* name);

// Whether a folder mount scans a sub-folder of this name: not one ending in a dot (".", ".." and
// "name.") nor one named debuginfo (in any case).
bool IsScannedFolderName(const char* name);

// The extensions a folder mount leaves out, for messages ("lnk exe com ...").
extern const char* const kUnindexedExtensions[11];
