// The smallest well-formed menu picture: a 1 x 1 RCT file, for media that need one.
#pragma once
#include <string>

inline std::string TinyPicture() {
    static const char kBytes[] = "\x98\x5A\x92\x9ATC00\x01\0\0\0\x01\0\0\0\x03\0\0\0\x10\x20\x30";
    return std::string(kBytes, sizeof kBytes - 1);
}
