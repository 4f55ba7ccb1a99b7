// LoadRctImage on real files read through the resource open, decoded into real bitmap sections.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "image/rct_encode.h"
#include "image/rct_load.h"
#include "tests/image/rct_test_util.h"
#include "tests/support/win_support.h"

namespace {

class RctLoad : public ::testing::Test {
protected:
    ScratchDir dir;
    InFolder inDir{dir.path};
    void TearDown() override { EXPECT_EQ(GetLiveSurfaces(), nullptr) << "a surface was left behind"; }
    void Write(const Bytes& bytes) {
        WriteBytes(dir.File("update.rct"), std::string(bytes.begin(), bytes.end()));
    }
};

Bytes Header(const char* signature, int32_t width, int32_t height, uint32_t dataSize) {
    Bytes b = {0x98, 0x5A, 0x92, 0x9A, 'T', 'C', '0', (uint8_t)signature[0]};
    for (uint32_t v : {(uint32_t)width, (uint32_t)height, dataSize}) {
        for (int i = 0; i < 4; i++) b.push_back((uint8_t)(v >> (8 * i)));
    }
    return b;
}

Bytes Join(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Row r of a surface, without its fill bytes.
Bytes Row(const BitmapSurface* s, int r) {
    const uint8_t* p = (const uint8_t*)s->bits + (size_t)r * s->stride;
    return Bytes(p, p + (size_t)s->width * 3);
}

TEST_F(RctLoad, TwoByTwoExampleSpreadsToStrideEight) {
    Write(Join(Header("0", 2, 2, 4), {0x10, 0x20, 0x30, 0x82}));
    BitmapSurface* s = LoadRctImage("update.rct");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->width, 2);
    EXPECT_EQ(s->height, 2);
    EXPECT_EQ(s->stride, 8);
    EXPECT_EQ(s->info->biHeight, -2);
    EXPECT_EQ(s->keep, 0);
    const Bytes row = {0x10, 0x20, 0x30, 0x10, 0x20, 0x30};
    EXPECT_EQ(Row(s, 0), row);
    EXPECT_EQ(Row(s, 1), row);
    EXPECT_EQ(GetLiveSurfaces(), s);
    ReleaseSurface(s, 0);
}

TEST_F(RctLoad, BothSignaturesAndLeftoverBytesDecodeAlike) {
    const Bytes stream = {1, 2, 3, 0x00, 4, 5, 6, 0xA5};  // P, Q, then one row up: P Q / P Q
    const Bytes rowPQ = {1, 2, 3, 4, 5, 6};
    struct Case {
        const char* name;
        Bytes file;
    };
    const Case cases[] = {
        {"TC00", Join(Header("0", 2, 2, 8), stream)},
        {"TC01 with a name", Join(Join(Header("1", 2, 2, 8), {5, 0, 'h', 'o', 's', 'h', 'i'}),
                                  stream)},
        {"TC01 with an empty name", Join(Join(Header("1", 2, 2, 8), {0, 0}), stream)},
        {"bytes after the stream", Join(Join(Header("0", 2, 2, 8), stream), {9, 9, 9})},
        {"stream bytes after the picture", Join(Header("0", 2, 2, 10), Join(stream, {0x80, 0x80}))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Write(c.file);
        BitmapSurface* s = LoadRctImage("update.rct");
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(Row(s, 0), rowPQ);
        EXPECT_EQ(Row(s, 1), rowPQ);
        ReleaseSurface(s, 0);
    }
}

TEST_F(RctLoad, BadFilesGiveNullAndLeaveNothingBehind) {
    struct Case {
        const char* name;
        Bytes file;
    };
    const Case cases[] = {
        {"foreign signature", Join({'B', 'M', 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0, 4, 0, 0, 0},
                                   {1, 2, 3, 0x82})},
        {"copy before the first byte", Join(Header("0", 2, 2, 4), {1, 2, 3, 0xA4})},
        {"stream ends inside a literal", Join(Header("0", 2, 2, 6), {1, 2, 3, 0x00, 4, 5})},
        {"zero width", Join(Header("0", 0, 2, 3), {1, 2, 3})},
        {"negative height", Join(Header("0", 2, -2, 4), {1, 2, 3, 0x82})},
        {"size overflows", Join(Header("0", 50000, 50000, 3), {1, 2, 3})},
        {"header cut short", Bytes{0x98, 0x5A, 0x92, 0x9A, 'T', 'C', '0', '0', 2, 0}},
        {"stream shorter than its size", Join(Header("0", 2, 2, 40), {1, 2, 3, 0x82})},
        {"TC01 ending inside its name", Join(Header("1", 2, 2, 4), {200, 0, 'x'})},
        // A damaged size field must not be taken for a request the heap cannot meet.
        {"size claims nearly 4 GiB", Join(Header("0", 2, 2, 0xFFFFFFF0u), {1, 2, 3, 0x82})},
        {"size claims 2 GiB", Join(Header("0", 2, 2, 0x80000000u), {1, 2, 3, 0x82})},
        {"TC01 size one past the file", Join(Join(Header("1", 2, 2, 5), {1, 0, 'n'}),
                                             {1, 2, 3, 0x82})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Write(c.file);
        BitmapSurface* s = (BitmapSurface*)1;
        // Quietly: no box of any kind, the "malloc" warning included.
        EXPECT_EQ(BoxesDuring([&] { s = LoadRctImage("update.rct"); }),
                  std::vector<std::string>{});
        EXPECT_EQ(s, nullptr);
        EXPECT_EQ(GetLiveSurfaces(), nullptr);
    }
}

TEST_F(RctLoad, EncodedPicturesRoundTripAtEveryStride) {
    for (int32_t width : {1, 2, 3, 4, 5, 7, 8, 13, 64, 301}) {
        SCOPED_TRACE(width);
        Picture picture = MakePicture("shapes", width, 9, (uint32_t)width);
        std::vector<uint8_t> stream, file;
        ASSERT_EQ(RctCompress(picture.bgr.data(), width, 9, kRctParseOptimal, &stream), kRctOk);
        ASSERT_EQ(RctBuildFile(kRctTC00, width, 9, nullptr, 0, stream, &file), kRctOk);
        Write(file);
        BitmapSurface* s = LoadRctImage("update.rct");
        ASSERT_NE(s, nullptr);
        for (int r = 0; r < 9; r++) {
            const uint8_t* expected = picture.bgr.data() + (size_t)r * width * 3;
            EXPECT_EQ(Row(s, r), Bytes(expected, expected + width * 3)) << "row " << r;
        }
        ReleaseSurface(s, 0);
    }
}

TEST_F(RctLoad, MissingFileAsksAndRetryLoadsIt) {
    Bytes file = Join(Header("0", 1, 1, 3), {9, 8, 7});
    std::string path = dir.File("update.rct");
    BitmapSurface* s = nullptr;
    WindowSeen seen;
    DriveDialogWith([&] { s = LoadRctImage("update.rct"); },
                    [&](const WindowSeen& box) {
                        WriteBytes(path, std::string(file.begin(), file.end()));
                        PressButton(box.window, IDRETRY);
                    },
                    &seen);
    EXPECT_EQ(seen.text, "Ffopen : ファイル[update.rct]の読み込みで失敗しました");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(Row(s, 0), (Bytes{9, 8, 7}));
    ReleaseSurface(s, 0);
}

}  // namespace
