// Opening the launcher's data files by name: the current folder (the update media) first, then
// the registered mounts. The result is an ordinary stdio stream positioned at the file's data.
#pragma once
#include <cstdio>

// The open stream, or null when the file is found nowhere. No message is shown.
FILE* OpenResourceFile(const char* name, const char* mode);
// Never returns null: a missing file shows the retrying fatal box
// "Ffopen : ファイル[name]の読み込みで失敗しました" until it opens or the user cancels
// (which ends the process with status -1).
FILE* OpenResourceFileOrRetry(const char* name, const char* mode);
