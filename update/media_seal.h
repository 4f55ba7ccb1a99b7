// The seal of the update media (update.sum) during one update: loaded by the check before the
// first byte, asked by each copy for the digest and size its source must have.
//
// A media without update.sum is not sealed, and updates exactly as before.
#pragma once
#include <stdint.h>

enum MediaSealState {
    kSealAbsent,     // no update.sum on the media
    kSealLoaded,     // update.sum read; FindSealedFile answers
    kSealMalformed,  // update.sum exists but is not a seal of the known format (or unreadable)
    kSealDamaged,    // update.sum is well-formed, but its closing digest does not match
};

// Reads "update.sum" from the media folder (the current directory), replacing any seal loaded
// before.
MediaSealState LoadMediaSeal();
// Forgets the loaded seal (the media then counts as unsealed).
void ReleaseMediaSeal();
bool IsMediaSealed();

// The sealed digest and size of a media file named as the update names it ("data.arc",
// "help\index.htm"), matched as the launcher matches names: case-insensitively as code page 932
// text. False when the seal does not list it (or no seal is loaded).
bool FindSealedFile(const char* mediaName, uint64_t* digest, uint64_t* size);

// Listed files, for the check that every one of them is on the media: the name of entry `index`
// (0 <= index < GetSealedFileCount()).
uint32_t GetSealedFileCount();
const char* GetSealedFileName(uint32_t index);
