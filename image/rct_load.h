// Loading an RCT picture by name through the resource file system into a new 24-bit surface.
#pragma once
#include "image/surface.h"

// A new top-down 24-bit surface (keep 0) holding the decoded picture; the caller releases it
// with ReleaseSurface. Null for a file that is not an RCT picture or is malformed, or when
// memory runs out; a missing file blocks in the retrying fatal box of the resource open.
BitmapSurface* LoadRctImage(const char* name);
// Moves the tightly packed decoded rows at the start of the pixel memory to the surface's stride.
void SpreadRowsToStride(BitmapSurface* surface);
