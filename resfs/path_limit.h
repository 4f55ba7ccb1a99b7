// The platform's path limit (MAX_PATH, 260): the bytes a path buffer holds, its NUL included, so
// a path has at most kPathBytes - 1 bytes. Portable and header-only: the launcher's fixed buffers
// and the media tools' checks of what will fit where the launcher runs take it from here.
#pragma once

enum { kPathBytes = 260 };
