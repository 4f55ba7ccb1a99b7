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

#ifdef _WIN32
#include <windows.h>
#endif

#include "image/rct_codec.h"
#include "image/rct_encode.h"
#include "stb_image.h"
#include "stb_image_write.h"
#include "vorlin_version.h"

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
    fprintf(stderr, "vorlin-rct: %s\n\n%s", problem, kUsage);
    return kExitUsage;
}

int Fail(const std::string& message) {
    fprintf(stderr, "vorlin-rct: %s\n", message.c_str());
    return kExitFailed;
}

bool ReadWholeFile(const std::string& path, Bytes* data, std::string* error) {
    data->clear();
    FILE* f = fopen(path.c_str(), "rb");
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

bool ReplaceFile(const std::string& from, const std::string& to) {
#ifdef _WIN32
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
#else
    return rename(from.c_str(), to.c_str()) == 0;
#endif
}

bool WriteWholeFile(const std::string& path, const Bytes& data, std::string* error) {
    std::string temp = path + ".tmp";
    FILE* f = fopen(temp.c_str(), "wb");
    if (!f) {
        *error = "cannot create " + temp + ": " + strerror(errno);
        return false;
    }
    bool ok = data.empty() || fwrite(data.data(), 1, data.size(), f) == data.size();
    ok = (fclose(f) == 0) && ok;
    if (ok && ReplaceFile(temp, path)) return true;
    remove(temp.c_str());
    *error = "cannot write " + path;
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
std::string ParseArguments(int argc, char** argv, const char* command, Arguments* a) {
    bool isEncode = strcmp(command, "encode") == 0;
    for (int i = 2; i < argc; i++) {
        std::string arg = argv[i];
        if (isEncode && arg == "--greedy") {
            a->greedy = true;
        } else if (isEncode && arg == "--name") {
            if (i + 1 >= argc) return "--name needs a value";
            a->hasName = true;
            a->name = argv[++i];
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
    printf("%s: %dx%d, %u bytes (stream %u bytes, %s parse, %.1f%% of raw)\n", out.c_str(), width,
           height, (unsigned)file.size(), (unsigned)stream.size(), a.greedy ? "greedy" : "optimal",
           100.0 * (double)stream.size() / total);
    return kExitOk;
}

struct Loaded {
    RctHeader header;
    const uint8_t* name;
    const uint8_t* stream;
    int32_t status;  // of the header, then of the stream
    RctDecodeInfo info;
    Bytes pixels;
};

// Reads and decodes an RCT file; returns false with *error when the file cannot be read.
bool LoadRct(const std::string& path, Bytes* file, Loaded* l, std::string* error) {
    if (!ReadWholeFile(path, file, error)) return false;
    l->info = RctDecodeInfo{0, 0};
    l->status =
        RctParseFile(file->data(), (uint32_t)file->size(), &l->header, &l->name, &l->stream);
    if (l->status != kRctOk) return true;
    uint32_t total = 0;
    l->status = RctOutputSize(l->header.width, l->header.height, &total);
    if (l->status != kRctOk) return true;
    l->pixels.resize(total);
    l->status = RctDecompress(l->stream, l->header.dataSize, l->header.width, l->header.height,
                              l->pixels.data(), &l->info);
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
    int w = l.header.width, h = l.header.height;
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
    const RctHeader& h = l.header;
    printf("file:       %s (%u bytes)\n", in.c_str(), (unsigned)file.size());
    printf("signature:  %s\n", h.signature == kRctTC01 ? "TC01" : "TC00");
    if (file.size() >= kRctFixedHeaderSize) {
        printf("size:       %d x %d\n", h.width, h.height);
        printf("data size:  %u\n", h.dataSize);
    }
    if (h.signature == kRctTC01 && l.name) {
        printf("name:       \"%s\" (%u bytes)\n", Escape(l.name, h.nameLength).c_str(),
               h.nameLength);
    }
    if (l.stream) printf("stream at:  %u\n", h.streamOffset);
    if (l.status == kRctOk) {
        printf("stream:     well-formed, %u of %u bytes used", l.info.streamUsed, h.dataSize);
        if (l.info.streamUsed < h.dataSize) {
            printf(" (%u left over, ignored)", h.dataSize - l.info.streamUsed);
        }
        printf("\n");
        return kExitOk;
    }
    printf("stream:     malformed: %s", RctStatusText(l.status));
    if (l.stream && l.status != kRctBadSize) {
        printf(" (at stream byte %u, output byte %u)", l.info.streamUsed, l.info.outputDone);
    }
    printf("\n");
    return kExitFailed;
}

int Run(int argc, char** argv) {
    if (argc < 2) return Usage("no command given");
    const char* command = argv[1];
    if (strcmp(command, "--help") == 0 || strcmp(command, "-h") == 0 ||
        strcmp(command, "help") == 0) {
        fputs(kUsage, stdout);
        return kExitOk;
    }
    if (strcmp(command, "--version") == 0) {
        printf("vorlin-rct %s\n", VORLIN_VERSION_TEXT);
        return kExitOk;
    }
    if (strcmp(command, "encode") != 0 && strcmp(command, "decode") != 0 &&
        strcmp(command, "info") != 0) {
        return Usage((std::string("unknown command ") + command).c_str());
    }
    Arguments a;
    std::string problem = ParseArguments(argc, argv, command, &a);
    if (!problem.empty()) return Usage(problem.c_str());
    if (strcmp(command, "encode") == 0) return Encode(a);
    if (strcmp(command, "decode") == 0) return Decode(a);
    return Info(a);
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return Run(argc, argv);
    } catch (const std::bad_alloc&) {
        return Fail("out of memory");
    }
}
