// vorlin-rct run as a process: exit statuses for good and bad command lines and inputs, and
// round trips PNG/BMP -> RCT -> PNG/BMP that must return the exact pixels.
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include "image/rct_codec.h"
#include "image/rct_encode.h"
#include "stb_image.h"
#include "stb_image_write.h"
#include "tests/image/rct_test_util.h"
#include "tests/tools/tool_runner.h"

namespace {

// Each test works in a folder of its own, so that tests may run in parallel.
std::string gDir;

std::string Dir() {
    return gDir;
}

std::string InDir(const char* name) {
#ifdef _WIN32
    return Dir() + "\\" + name;
#else
    return Dir() + "/" + name;
#endif
}

bool Exists(const std::string& path) {
    FILE* f = fopen(path.c_str(), "rb");
    if (f) fclose(f);
    return f != nullptr;
}

Bytes ReadAll(const std::string& path) {
    Bytes data;
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return data;
    int c;
    while ((c = fgetc(f)) != EOF) data.push_back((uint8_t)c);
    fclose(f);
    return data;
}

void WriteAll(const std::string& path, const Bytes& data) {
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_NE(nullptr, f) << path;
    if (!data.empty()) fwrite(data.data(), 1, data.size(), f);
    fclose(f);
}

void Append(void* context, void* data, int size) {
    Bytes* out = (Bytes*)context;
    out->insert(out->end(), (uint8_t*)data, (uint8_t*)data + size);
}

Bytes SwapRedBlue(Bytes px) {
    for (size_t i = 0; i + 2 < px.size(); i += 3) std::swap(px[i], px[i + 2]);
    return px;
}

// Runs the tool with `args` (words separated by spaces, paths without spaces); its output
// goes to *output. Returns the exit status.
int RunTool(const std::string& args, std::string* output = nullptr) {
    std::vector<std::string> words;
    size_t start = 0;
    while (start < args.size()) {
        size_t end = args.find(' ', start);
        if (end == std::string::npos) end = args.size();
        if (end > start) words.push_back(args.substr(start, end - start));
        start = end + 1;
    }
    RunResult result = RunProgram(VORLIN_RCT_TOOL, words);
    if (output) *output = result.output;
    return result.status;
}

class RctTool : public testing::Test {
protected:
    void SetUp() override {
        gDir = HostPath(std::string(VORLIN_BINARY_DIR) + "/tests/tools/rct_tool_tmp/" +
                        testing::UnitTest::GetInstance()->current_test_info()->name());
#ifdef _WIN32
        system(("mkdir \"" + Dir() + "\" 2>nul").c_str());
#else
        system(("mkdir -p '" + Dir() + "'").c_str());
#endif
        picture = MakePicture("shapes", 37, 23, 9);
        Bytes rgb = SwapRedBlue(picture.bgr);
        Bytes png, bmp;
        stbi_write_png_to_func(Append, &png, 37, 23, 3, rgb.data(), 37 * 3);
        stbi_write_bmp_to_func(Append, &bmp, 37, 23, 3, rgb.data());
        WriteAll(InDir("in.png"), png);
        WriteAll(InDir("in.bmp"), bmp);
        WriteAll(InDir("notapicture.txt"), Bytes{'h', 'e', 'l', 'l', 'o'});

        Bytes stream = {1, 2, 3};  // 4x4 picture whose stream ends after the first pixel
        Bytes file;
        RctBuildFile(kRctTC00, 4, 4, nullptr, 0, stream, &file);
        WriteAll(InDir("malformed.rct"), file);
        Bytes foreign = file;
        foreign[4] = 'X';
        WriteAll(InDir("foreign.rct"), foreign);
        WriteAll(InDir("short.rct"), Bytes(file.begin(), file.begin() + 12));
    }

    Picture picture;
};

// The pixels of an RCT file, or a failure.
Bytes DecodeFile(const std::string& path, RctHeader* h, std::string* name) {
    Bytes file = ReadAll(path);
    const uint8_t* namePtr = nullptr;
    const uint8_t* stream = nullptr;
    EXPECT_EQ(kRctOk, RctParseFile(file.data(), (uint32_t)file.size(), h, &namePtr, &stream));
    if (!stream) return Bytes();
    if (name) name->assign(namePtr ? (const char*)namePtr : "", h->nameLength);
    Bytes px((size_t)h->width * h->height * 3);
    EXPECT_EQ(kRctOk, RctDecompress(stream, h->dataSize, h->width, h->height, px.data(), nullptr));
    return px;
}

// A picture named in Japanese, as a publisher names one: read and written under its own name on
// every system, whatever the system's code page.
TEST_F(RctTool, JapaneseFileNamesWork) {
    namespace fs = std::filesystem;
    fs::path in = fs::u8path(InDir(u8"背景〜画像.png"));
    fs::path out = fs::u8path(InDir(u8"背景〜画像.rct"));
    fs::path copied = fs::u8path(InDir("copied.rct"));
    // The folder is kept between runs; copy_file cannot be asked to overwrite everywhere.
    for (const fs::path& p : {in, out, copied}) fs::remove(p);
    fs::copy_file(fs::u8path(InDir("in.png")), in);
    std::string output;
    ASSERT_EQ(0, RunTool("encode " + in.u8string() + " " + out.u8string(), &output)) << output;
    ASSERT_TRUE(fs::exists(out)) << output;
    fs::copy_file(out, copied);
    RctHeader h;
    EXPECT_TRUE(picture.bgr == DecodeFile(InDir("copied.rct"), &h, nullptr));
    EXPECT_NE(output.find(u8"背景〜画像.rct"), std::string::npos) << output;
}

TEST_F(RctTool, EncodeDecodeRoundTrips) {
    std::string output;
    ASSERT_EQ(0, RunTool("encode " + InDir("in.png") + " " + InDir("plain.rct"), &output))
        << output;
    RctHeader h;
    std::string name;
    EXPECT_TRUE(picture.bgr == DecodeFile(InDir("plain.rct"), &h, &name));
    EXPECT_EQ(kRctTC00, h.signature);
    EXPECT_EQ(37, h.width);
    EXPECT_EQ(23, h.height);

    ASSERT_EQ(
        0, RunTool("encode " + InDir("in.bmp") + " " + InDir("named.rct") + " --name menu-picture",
                   &output))
        << output;
    EXPECT_TRUE(picture.bgr == DecodeFile(InDir("named.rct"), &h, &name));
    EXPECT_EQ(kRctTC01, h.signature);
    EXPECT_EQ("menu-picture", name);

    ASSERT_EQ(0, RunTool("encode --greedy " + InDir("in.png") + " " + InDir("greedy.rct")));
    EXPECT_TRUE(picture.bgr == DecodeFile(InDir("greedy.rct"), &h, &name));
    EXPECT_GE(ReadAll(InDir("greedy.rct")).size(), ReadAll(InDir("plain.rct")).size());

    for (const char* out : {"out.png", "out.bmp", "OUT2.PNG"}) {
        SCOPED_TRACE(out);
        ASSERT_EQ(0, RunTool("decode " + InDir("named.rct") + " " + InDir(out), &output)) << output;
        Bytes encoded = ReadAll(InDir(out));
        int w = 0, hgt = 0, n = 0;
        stbi_uc* rgb = stbi_load_from_memory(encoded.data(), (int)encoded.size(), &w, &hgt, &n, 3);
        ASSERT_NE(nullptr, rgb);
        Bytes got(rgb, rgb + (size_t)w * hgt * 3);
        stbi_image_free(rgb);
        EXPECT_EQ(37, w);
        EXPECT_EQ(23, hgt);
        EXPECT_TRUE(picture.bgr == SwapRedBlue(got));
        EXPECT_FALSE(Exists(InDir(out) + ".tmp"));
    }

    // An existing output is replaced.
    ASSERT_EQ(0, RunTool("encode " + InDir("in.png") + " " + InDir("named.rct")));
    DecodeFile(InDir("named.rct"), &h, &name);
    EXPECT_EQ(kRctTC00, h.signature);
}

TEST_F(RctTool, InfoDescribesTheFile) {
    ASSERT_EQ(0, RunTool("encode " + InDir("in.png") + " " + InDir("info.rct") + " --name Menu_1"));
    std::string output;
    EXPECT_EQ(0, RunTool("info " + InDir("info.rct"), &output)) << output;
    EXPECT_NE(std::string::npos, output.find("TC01")) << output;
    EXPECT_NE(std::string::npos, output.find("37 x 23")) << output;
    EXPECT_NE(std::string::npos, output.find("\"Menu_1\" (6 bytes)")) << output;
    EXPECT_NE(std::string::npos, output.find("well-formed")) << output;

    EXPECT_EQ(1, RunTool("info " + InDir("malformed.rct"), &output));
    EXPECT_NE(std::string::npos, output.find("malformed")) << output;
    EXPECT_NE(std::string::npos, output.find(RctStatusText(kRctMissingCommand))) << output;
}

struct StatusCase {
    const char* name;
    std::string args;
    int status;
    const char* mustNotExist;  // an output the run must not leave behind, or null
};

TEST_F(RctTool, ExitStatuses) {
    const StatusCase cases[] = {
        {"help", "--help", 0, nullptr},
        {"no command", "", 2, nullptr},
        {"unknown command", "squash a b", 2, nullptr},
        {"encode without output", "encode " + InDir("in.png"), 2, nullptr},
        {"encode with an unknown option",
         "encode " + InDir("in.png") + " " + InDir("x.rct") + " --fast", 2, "x.rct"},
        {"--name without its text", "encode " + InDir("in.png") + " " + InDir("x.rct") + " --name",
         2, "x.rct"},
        {"--greedy is for encode only",
         "decode " + InDir("in.png") + " " + InDir("x.png") + " --greedy", 2, "x.png"},
        {"decode to an unknown format", "decode " + InDir("malformed.rct") + " " + InDir("x.jpg"),
         2, "x.jpg"},
        {"encode a missing input", "encode " + InDir("missing.png") + " " + InDir("x.rct"), 1,
         "x.rct"},
        {"encode a non-picture", "encode " + InDir("notapicture.txt") + " " + InDir("x.rct"), 1,
         "x.rct"},
        {"encode into a missing folder",
         "encode " + InDir("in.png") + " " + InDir("no-such-folder/x.rct"), 1, nullptr},
        {"decode a malformed stream", "decode " + InDir("malformed.rct") + " " + InDir("x.png"), 1,
         "x.png"},
        {"decode a foreign file", "decode " + InDir("foreign.rct") + " " + InDir("x.png"), 1,
         "x.png"},
        {"decode a cut header", "decode " + InDir("short.rct") + " " + InDir("x.bmp"), 1, "x.bmp"},
        {"decode a missing file", "decode " + InDir("missing.rct") + " " + InDir("x.png"), 1,
         "x.png"},
        {"info of a foreign file", "info " + InDir("foreign.rct"), 1, nullptr},
        {"info of a cut header", "info " + InDir("short.rct"), 1, nullptr},
        {"info of a missing file", "info " + InDir("missing.rct"), 1, nullptr},
        {"info with two files", "info " + InDir("short.rct") + " " + InDir("short.rct"), 2,
         nullptr},
    };
    for (const StatusCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::string output;
        EXPECT_EQ(c.status, RunTool(c.args, &output)) << output;
        if (c.status == 2) {
            EXPECT_NE(std::string::npos, output.find("usage:")) << output;
        } else if (c.status == 1) {
            EXPECT_FALSE(output.empty());
        }
        if (c.mustNotExist) {
            EXPECT_FALSE(Exists(InDir(c.mustNotExist)));
            EXPECT_FALSE(Exists(InDir(c.mustNotExist) + ".tmp"));
        }
    }
}

}  // namespace
