// The check an update makes before its first byte: everything that would make it fail half-way
// and can be known in advance is found while nothing has been copied yet, so that a refused
// update leaves the game exactly as it was. The rules show nothing: a refusal is recorded in the
// run with its kind, the file it names and its figures, and the player's side tells it.
//
// In order: the install folder must exist; the commit of an interrupted earlier update is undone
// (the display tells the player); a sealed media's seal must be intact and every file it lists on
// the media; the plan is made; each planned file must be sealed with its size (on a sealed media)
// and its destination replaceable now (no program holding it, no folder in the way); the side
// files of earlier interrupted updates are removed; the install volume must hold the drafts, or
// the player may choose the one-at-a-time order (run->fileByFile).
#pragma once
#include "update/core/update_run.h"

// True when the update may go on; false when it was refused, declined, cancelled or stopped (the
// run says which, and the game's state).
bool CheckUpdateBeforeCopying(UpdateRun* run);

// The seal's rules one by one, which the check applies and the media tools apply to name every
// problem: a planned file against the loaded seal (kRefusedNone, kRefusedNotSealed or
// kRefusedSealedSizeDiffers); whether the media carries listed file `index` as a file; and the
// seal's entries the plan copies (copied[i] for entry i; seal->count values).
UpdateRefusal CheckFileAgainstSeal(const UpdateRun* run, const PlannedFile* file);
bool SealedFileOnMedia(const UpdateRun* run, uint32_t index);
void MarkSealedEntriesCopied(const UpdateRun* run, bool* copied);

// The room an update needs on the install volume, in both orders (space_plan.h), for the plan.
// False when memory is exhausted.
bool ComputePlanRoom(const UpdatePlan* plan, uint32_t clusterSize, uint64_t* allAtOnce,
                     uint64_t* oneAtATime);
