// vorlin-rct: makes, unpacks and inspects the RCT pictures that the launcher shows.
//
//   vorlin-rct encode IN OUT.rct [--name TEXT] [--greedy]
//   vorlin-rct decode IN.rct OUT.png|OUT.bmp
//   vorlin-rct info IN.rct
//
// Exit status: 0 success; 1 an input could not be read or is not a well-formed picture, or an
// output could not be written; 2 the command line is wrong. Output files are written under a
// temporary name beside the target and renamed when complete, so a failed run never leaves a
// partial file under the requested name.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <new>
#include <string>
#include <vector>

#include "image/rct_codec.h"
#include "image/rct_encode.h"
#include "stb_image.h"
#include "stb_image_write.h"
#include "tools/common/cp932_names.h"
#include "tools/common/tool_files.h"
#include "tools/common/tool_output.h"
#include "vorlin_version.h"

const char kToolName[] = "vorlin-rct";

namespace {

typedef std::vector<uint8_t> Bytes;

const int kExitOk = 0;
const int kExitFailed = 1;
const int kExitUsage = 2;

const char kUsage[] =
    "usage: vorlin-rct encode IN OUT.rct [--name TEXT] [--greedy]\n"
    "       vorlin-rct decode IN.rct OUT.png|OUT.bmp\n"
    "       vorlin-rct info IN.rct\n"
    "       vorlin-rct --version\n"
    "\n"
    "encode  compresses a PNG, BMP, JPEG, TGA, GIF, PSD, HDR or PNM picture into an RCT file.\n"
    "        --name TEXT  writes the TC01 signature with TEXT (bytes as given, at most 65535)\n"
    "                     in the name field; without it the file is TC00.\n"
    "        --greedy     uses the fast greedy parse instead of the smallest (optimal) one.\n"
    "decode  writes the picture of a well-formed RCT file as PNG or BMP (by OUT's extension).\n"
    "info    shows the header of an RCT file and whether its stream is well-formed.\n"
    "\n"
    "exit status: 0 success, 1 unreadable or malformed input or failed output, 2 bad usage.\n";

int Usage(const char* problem) {
    PrintError("%s\n", problem);
    WriteText(stderr, kUsage);
    return kExitUsage;
}

int Fail(const std::string& message) {
    PrintError("%s", message.c_str());
    return kExitFailed;
}

bool ReadWholeFile(const std::string& path, Bytes* data, std::string* error) {
    data->clear();
    FILE* f = OpenFile(path, "rb");
    if (!f) {
        *error = "cannot open " + path + ": " + strerror(errno);
        return false;
    }
    uint8_t chunk[65536];
    size_t got;
    while ((got = fread(chunk, 1, sizeof(chunk), f)) > 0) {
        if (data->size() + got > 0xFFFFFFFFu - 1) {
            fclose(f);
            *error = path + " is too large";
            return false;
        }
        data->insert(data->end(), chunk, chunk + got);
    }
    bool failed = ferror(f) != 0;
    fclose(f);
    if (failed) *error = "cannot read " + path;
    return !failed;
}

bool WriteWholeFile(const std::string& path, const Bytes& data, std::string* error) {
    std::string why;
    if (ReplaceFileWithBytes(path, std::string(data.begin(), data.end()), &why)) return true;
    *error = "cannot write " + path + ": " + why;
    return false;
}

bool EndsWithNoCase(const std::string& s, const char* suffix) {
    size_t n = strlen(suffix);
    if (s.size() < n) return false;
    for (size_t i = 0; i < n; i++) {
        char c = s[s.size() - n + i];
        if (c >= 'A' && c <= 'Z') c = (char)(c - 'A' + 'a');
        if (c != suffix[i]) return false;
    }
    return true;
}

// Name bytes for a terminal: printable ASCII as it stands, everything else as \xNN.
std::string Escape(const uint8_t* bytes, uint32_t length) {
    std::string s;
    for (uint32_t i = 0; i < length; i++) {
        uint8_t b = bytes[i];
        if (b >= 0x20 && b < 0x7F && b != '\\' && b != '"') {
            s += (char)b;
        } else {
            char hex[8];
            snprintf(hex, sizeof(hex), "\\x%02X", b);
            s += hex;
        }
    }
    return s;
}

void SwapRedBlue(Bytes* pixels) {
    for (size_t i = 0; i + 2 < pixels->size(); i += 3) {
        uint8_t t = (*pixels)[i];
        (*pixels)[i] = (*pixels)[i + 2];
        (*pixels)[i + 2] = t;
    }
}

void AppendToBytes(void* context, void* data, int size) {
    Bytes* out = (Bytes*)context;
    const uint8_t* p = (const uint8_t*)data;
    out->insert(out->end(), p, p + size);
}

struct Arguments {
    std::vector<std::string> positional;
    bool greedy = false;
    bool hasName = false;
    std::string name;
};

// Splits options from positional arguments; returns an error text or "".
std::string ParseArguments(const std::vector<std::string>& args, const std::string& command,
                           Arguments* a) {
    bool isEncode = command == "encode";
    size_t argc = args.size();
    for (size_t i = 1; i < argc; i++) {
        const std::string& arg = args[i];
        if (isEncode && arg == "--greedy") {
            a->greedy = true;
        } else if (isEncode && arg == "--name") {
            if (i + 1 >= argc) return "--name needs a value";
            a->hasName = true;
            a->name = args[++i];
            // Windows hands the name over as Unicode: it is stored as code page 932 text, as
            // a Japanese system's command line gives it; elsewhere its bytes are stored.
            std::string cp932, why;
            if (PlatformNamesAreUnicode()) {
                if (!ConvertNameToCp932(a->name, kNamesUtf8, &cp932, &why))
                    return "--name text: " + why;
                a->name = cp932;
            }
            if (a->name.size() > 0xFFFF) return "--name text is longer than 65535 bytes";
        } else if (arg.size() > 1 && arg[0] == '-') {
            return "unknown option " + arg;
        } else {
            a->positional.push_back(arg);
        }
    }
    return "";
}

int Encode(const Arguments& a) {
    if (a.positional.size() != 2) return Usage("encode needs IN and OUT.rct");
    const std::string& in = a.positional[0];
    const std::string& out = a.positional[1];
    Bytes source;
    std::string error;
    if (!ReadWholeFile(in, &source, &error)) return Fail(error);
    int width = 0, height = 0, channels = 0;
    stbi_uc* rgb =
        stbi_load_from_memory(source.data(), (int)source.size(), &width, &height, &channels, 3);
    if (!rgb) return Fail(in + ": not a readable picture (" + stbi_failure_reason() + ")");
    uint32_t total = 0;
    if (RctOutputSize(width, height, &total) != kRctOk) {
        stbi_image_free(rgb);
        return Fail(in + ": picture too large for an RCT file");
    }
    Bytes bgr(rgb, rgb + total);
    stbi_image_free(rgb);
    SwapRedBlue(&bgr);

    Bytes stream, file;
    int32_t parse = a.greedy ? kRctParseGreedy : kRctParseOptimal;
    RctCompress(bgr.data(), width, height, parse, &stream);
    if (RctBuildFile(a.hasName ? kRctTC01 : kRctTC00, width, height, (const uint8_t*)a.name.data(),
                     (uint32_t)a.name.size(), stream, &file) != kRctOk) {
        return Fail("compressed stream too large for an RCT file");
    }
    if (!WriteWholeFile(out, file, &error)) return Fail(error);
    PrintOut("%s: %dx%d, %u bytes (stream %u bytes, %s parse, %.1f%% of raw)\n", out.c_str(), width,
           height, (unsigned)file.size(), (unsigned)stream.size(), a.greedy ? "greedy" : "optimal",
           100.0 * (double)stream.size() / total);
    return kExitOk;
}

struct Loaded {
    RctPicture picture;
    int32_t status;  // of the reading, then of the decoding
    RctDecodeInfo info;
    Bytes pixels;
};

// Reads and decodes an RCT file; returns false with *error when the file cannot be read.
bool LoadRct(const std::string& path, Bytes* file, Loaded* l, std::string* error) {
    if (!ReadWholeFile(path, file, error)) return false;
    l->info = RctDecodeInfo{0, 0};
    l->status = RctReadPicture(file->data(), (uint32_t)file->size(), &l->picture);
    if (l->status != kRctOk) return true;
    l->pixels.resize(l->picture.outputSize);
    l->status = RctDecodePicture(&l->picture, l->pixels.data(), &l->info);
    return true;
}

int Decode(const Arguments& a) {
    if (a.positional.size() != 2) return Usage("decode needs IN.rct and OUT.png or OUT.bmp");
    const std::string& in = a.positional[0];
    const std::string& out = a.positional[1];
    bool png = EndsWithNoCase(out, ".png");
    if (!png && !EndsWithNoCase(out, ".bmp")) return Usage("decode writes .png or .bmp files");
    Bytes file;
    Loaded l;
    std::string error;
    if (!LoadRct(in, &file, &l, &error)) return Fail(error);
    if (l.status != kRctOk) return Fail(in + ": " + RctStatusText(l.status));
    SwapRedBlue(&l.pixels);
    Bytes encoded;
    int w = l.picture.header.width, h = l.picture.header.height;
    int ok = png ? stbi_write_png_to_func(AppendToBytes, &encoded, w, h, 3, l.pixels.data(), w * 3)
                 : stbi_write_bmp_to_func(AppendToBytes, &encoded, w, h, 3, l.pixels.data());
    if (!ok) return Fail("cannot encode " + out);
    if (!WriteWholeFile(out, encoded, &error)) return Fail(error);
    return kExitOk;
}

int Info(const Arguments& a) {
    if (a.positional.size() != 1) return Usage("info needs IN.rct");
    const std::string& in = a.positional[0];
    Bytes file;
    Loaded l;
    std::string error;
    if (!LoadRct(in, &file, &l, &error)) return Fail(error);
    if (l.status == kRctBadSignature) return Fail(in + ": " + RctStatusText(l.status));
    const RctHeader& h = l.picture.header;
    PrintOut("file:       %s (%u bytes)\n", in.c_str(), (unsigned)file.size());
    PrintOut("signature:  %s\n", h.signature == kRctTC01 ? "TC01" : "TC00");
    if (file.size() >= kRctFixedHeaderSize) {
        PrintOut("size:       %d x %d\n", h.width, h.height);
        PrintOut("data size:  %u\n", h.dataSize);
    }
    if (h.signature == kRctTC01 && l.picture.name) {
        PrintOut("name:       \"%s\" (%u bytes)\n", Escape(l.picture.name, h.nameLength).c_str(),
               h.nameLength);
    }
    if (l.picture.stream) PrintOut("stream at:  %u\n", h.streamOffset);
    if (l.status == kRctOk) {
        PrintOut("stream:     well-formed, %u of %u bytes used", l.info.streamUsed, h.dataSize);
        if (l.info.streamUsed < h.dataSize) {
            PrintOut(" (%u left over, ignored)", h.dataSize - l.info.streamUsed);
        }
        PrintOut("\n");
        return kExitOk;
    }
    PrintOut("stream:     malformed: %s", RctStatusText(l.status));
    if (l.picture.stream && l.status != kRctBadSize) {
        PrintOut(" (at stream byte %u, output byte %u)", l.info.streamUsed, l.info.outputDone);
    }
    PrintOut("\n");
    return kExitFailed;
}

int Run(int argc, char** argv) {
    std::vector<std::string> args = GetCommandArguments(argc, argv);
    if (args.empty()) return Usage("no command given");
    const std::string& command = args[0];
    if (command == "--help" || command == "-h" || command == "help") {
        WriteText(stdout, kUsage);
        return kExitOk;
    }
    if (command == "--version") {
        PrintOut("vorlin-rct %s\n", VORLIN_VERSION_TEXT);
        return kExitOk;
    }
    if (command != "encode" && command != "decode" && command != "info") {
        return Usage(("unknown command " + command).c_str());
    }
    Arguments a;
    std::string problem = ParseArguments(args, command, &a);
    if (!problem.empty()) return Usage(problem.c_str());
    if (command == "encode") return Encode(a);
    if (command == "decode") return Decode(a);
    return Info(a);
}

}  // namespace

int main(int argc, char** argv) {
    PrepareConsole();
    try {
        return Run(argc, argv);
    } catch (const std::bad_alloc&) {
        return Fail("out of memory");
    }
}
