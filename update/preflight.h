// The check an update makes before its first byte: everything that would make it fail half-way
// and can be known in advance is found while nothing has been copied yet, so that a refused
// update leaves the game exactly as it was.
#pragma once

// Lists every file the update will copy (the executable's ".bin", each list entry on the media,
// the help files), opens each for reading, and refuses the update with one error box when a media
// file exists but cannot be read, the install folder does not exist, a destination cannot be
// replaced now (the game running, a folder in the way), or the install volume cannot hold the
// sequence of replacements. Removes the temporary files of earlier interrupted updates from the
// folders the update writes before it measures the free space.
//
// Runs under the one-bar copy dialog ("ファイルの検査中..."), which it opens; Cancel works from
// then on. Returns 0 when the update may go on (the dialog stays open for the executable's
// copy); 1 when it was refused or cancelled (its box has been shown, the dialog closed).
int CheckUpdateBeforeCopying(const char* installFolder);
