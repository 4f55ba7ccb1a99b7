// The one translation unit that compiles stb_image and stb_image_write for the RCT tool and
// its tests. Only the in-memory interfaces are built: files are read and written by the tool
// itself, so that output goes through its write-then-rename path.
#define STB_IMAGE_IMPLEMENTATION
#define STBI_NO_STDIO
#define STBI_FAILURE_USERMSG
#include "stb_image.h"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO
#include "stb_image_write.h"
