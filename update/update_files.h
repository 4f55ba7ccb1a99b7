// The two copy stages of an update: the game executable (carried on the media under a ".bin"
// name, copied under EXENAME with the one-bar dialog), then the fixed update file list, measured
// and copied with the two-bar dialog. Sources are relative to the media folder (the current
// directory); entries missing from the media are skipped without a message.
#pragma once

// 0 when copied or not on the media; 1 when the copy failed (its error box has been shown).
int CopyGameExecutable(const char* installFolder);
// 0 when every entry was copied or skipped; 1 when one failed (its box shown; the rest skipped).
int CopyUpdateFiles(const char* installFolder);
// One entry of the list: a plain file, or "|pattern" for the files of one sub-folder.
int CopyUpdateEntry(const char* installFolder, const char* entry);
void MeasureUpdateEntry(const char* entry);
// 1 when every match was copied (also when nothing matches), 0 at the first failure.
int CopyMatchingFiles(const char* pattern, const char* destinationFolder, int failIfExists);
void MeasureMatchingFiles(const char* pattern);
// 0 when the search has started, 1 when nothing matches.
int FindFirstMatch(const char* pattern);
// The next match that is not a folder, as the pattern's drive and folder followed by the found
// name ("help\*.*" and readme.txt give help\readme.txt); null when there is none.
const char* FindNextMatch();
// The fixed update list, in copying order: plain entries, then "|help\*.*".
int GetUpdateFileListSize();
const char* GetUpdateFileListEntry(int index);
// The media's name of the executable: EXENAME lower-cased, its first ".exe" made ".bin".
void MakeMediaExeName(const char* exeName, char* mediaName);
