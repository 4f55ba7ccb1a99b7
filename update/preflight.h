// The check an update makes before its first byte: everything that would make it fail half-way
// and can be known in advance is found while nothing has been copied yet, so that a refused
// update leaves the game exactly as it was.
#pragma once
#include "update/update_run.h"

// Under the one-bar copy dialog ("ファイルの検査中..."), which it opens (Cancel works from then
// on): undoes the commit of an interrupted earlier update (telling the user), makes the run's plan
// and refuses the update with one box when the install folder does not exist, the media's seal is
// broken or disagrees with the media, a media file cannot be read, a destination cannot be
// replaced now (a program holding it, a folder in the way), or the install volume cannot hold
// the drafts. When only the one-at-a-time order fits, asks whether to update file by file
// (run->fileByFile). Removes the side files of earlier interrupted updates before it measures
// the free space.
//
// Returns 0 when the update may go on (the dialog stays open for the executable); 1 when it was
// refused, declined or cancelled (its box has been shown, the dialog closed).
int CheckUpdateBeforeCopying(UpdateRun* run);
