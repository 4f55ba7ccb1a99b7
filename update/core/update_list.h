// What an update copies from its media, as fixed names: the game executable's name on the media,
// and the update list, in copying order. The launcher's plan and the media tools both read them.
// Names are code page 932.
#pragma once

enum { kUpdateNameBytes = 128 };  // a media name of the executable, its NUL included

// The update list: plain entries, then one pattern, marked by a leading '|' ("|help\*.*": every
// file in the media's help folder, installed under the same folder name).
extern const char* const kUpdateFileList[9];
enum { kUpdateFileListSize = 9 };

// The help folder that the list's pattern copies.
extern const char kUpdateHelpFolder[];  // "help"

// The media's name of the executable: EXENAME lower-cased, its first ".exe" made ".bin" and the
// name cut there; a name without ".exe" stays as it is, lower-cased. `mediaName` has
// kUpdateNameBytes bytes; a longer EXENAME is cut on a character boundary.
void MakeMediaExeName(const char* exeName, char mediaName[kUpdateNameBytes]);
