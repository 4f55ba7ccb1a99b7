// Drafting: each file of the plan is written in full to a draft beside its destination, with the
// source's times, checked against the seal when the media has one, and flushed to the disk before
// any name can point to it. Nothing half-written ever replaces a good file: the commit
// (update_commit.h) puts the drafts in place only once every one is complete.
//
// The bytes go through a buffer of kDraftChunk bytes; after every chunk the display is told the
// progress, and Cancel is answered before the next.
#pragma once
#include "update/core/update_run.h"

enum : uint32_t { kDraftChunk = 131072 };  // the display's bars count in these units too

// Drafts file `index` of the run's plan into its draft beside its destination (`buffer`:
// kDraftChunk bytes). True when the draft is complete; false with the failure recorded
// in the run (Cancel included) and no draft left.
bool DraftPlannedFile(UpdateRun* run, uint32_t index, uint8_t* buffer);
