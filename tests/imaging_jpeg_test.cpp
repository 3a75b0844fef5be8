#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "imaging/JpegReader.h"
#include "imaging/JpegWriter.h"
#include "imaging_TestImages.h"

namespace {

using namespace imaging_test;
using testing_support::ReadBytes;

struct Decoded {
    uint8_t* pixels = nullptr;
    int width = 0, height = 0;
    ~Decoded() { free(pixels); }
    const uint8_t* At(int x, int y) const { return pixels + (static_cast<size_t>(y) * width + x) * 3; }
};

// 16-pixel tiles survive compression closely; `floor` sets a minimum brightness.
Bytes TiledPicture(int w, int h, uint8_t floor = 0) {
    Bytes p(static_cast<size_t>(w) * h * 3);
    for (size_t i = 0; i < p.size(); i++) {
        size_t x = i / 3 % w, y = i / 3 / w;
        p[i] = ((x / 16 * 50 + y / 16 * 30 + i % 3 * 80) % 256) | floor;
    }
    return p;
}

void ExpectNear(const uint8_t* got, const uint8_t* want, int tolerance) {
    for (int c = 0; c < 3; c++) EXPECT_NEAR(got[c], want[c], tolerance) << "channel " << c;
}

class JpegTest : public ::testing::Test {
protected:
    std::wstring Path(const std::string& name) { return Wide(dir.File(name)); }
    void Load(const std::string& name, Decoded* d) {
        d->pixels = LoadJpegPicture(Path(name).c_str(), &d->width, &d->height);
    }
    int Save(const std::string& name, const Bytes& p, int w, int h) {
        return SaveJpegPicture(Path(name).c_str(), p.data(), w, h);
    }
    long FileCount() { return std::distance(std::filesystem::directory_iterator(dir.path()), {}); }
    testing_support::TempDir dir;
};

TEST_F(JpegTest, GreyCmykAndYcckFilesOpenInTheirColours) {
    // Left and right halves with samples as stored, and the expected blue, green,
    // red. Adobe files store inverted CMYK samples (255 = no ink).
    const struct {
        const char* name;
        int components;
        J_COLOR_SPACE in, stored;
        bool adobe;
        uint8_t left[4], right[4], wantLeft[3], wantRight[3];
    } cases[] = {
        {"grey", 1, JCS_GRAYSCALE, JCS_GRAYSCALE, false, {40}, {200}, {40, 40, 40}, {200, 200, 200}},
        {"Adobe CMYK", 4, JCS_CMYK, JCS_CMYK, true, {255, 0, 0, 255}, {255, 128, 0, 128}, {0, 0, 255}, {0, 64, 128}},
        {"Adobe YCCK", 4, JCS_CMYK, JCS_YCCK, true, {255, 0, 0, 255}, {255, 128, 0, 128}, {0, 0, 255}, {0, 64, 128}},
        {"plain CMYK", 4, JCS_CMYK, JCS_CMYK, false, {0, 255, 255, 0}, {0, 0, 0, 128}, {0, 0, 255}, {127, 127, 127}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const size_t n = c.components;
        Bytes s(32 * 16 * n);
        for (size_t i = 0; i < s.size(); i++) {
            // Picked into a pointer first: g++ 12 with the undefined-behaviour
            // checker drops the index from `(a ? x : y)[i]` on arrays.
            const uint8_t* half = i / n % 32 < 16 ? c.left : c.right;
            s[i] = half[i % n];
        }
        ASSERT_TRUE(WriteRawJpeg(dir.File("in.jpg"), 32, 16, c.components, c.in, c.stored, c.adobe, s));
        Decoded d;
        Load("in.jpg", &d);
        ASSERT_NE(d.pixels, nullptr);
        ExpectNear(d.At(4, 8), c.wantLeft, 6);
        ExpectNear(d.At(28, 8), c.wantRight, 6);
        for (int i = 0; n == 1 && i < 32 * 16; i++)  // grey in all channels
            ASSERT_TRUE(d.pixels[3 * i] == d.pixels[3 * i + 1] && d.pixels[3 * i] == d.pixels[3 * i + 2]);
    }
}

TEST_F(JpegTest, DamagedFilesFailWithoutEndingTheProgram) {
    ASSERT_EQ(Save("good.jpg", TiledPicture(32, 32), 32, 32), 1);
    Bytes good = ReadBytes(dir.File("good.jpg"));
    Bytes garbage(500, 0x5A);
    auto withFrameSize = [&good](int w, int h) {
        Bytes b = good;
        size_t sof = 2;
        while (!(b[sof] == 0xFF && b[sof + 1] == 0xC0)) sof++;
        b[sof + 5] = h >> 8, b[sof + 6] = h & 0xFF, b[sof + 7] = w >> 8, b[sof + 8] = w & 0xFF;
        return b;
    };
    const std::pair<const char*, Bytes> cases[] = {{"empty", {}},
                                                   {"garbage", garbage},
                                                   {"cut in the header", Bytes(good.begin(), good.begin() + 40)},
                                                   {"zero height", withFrameSize(32, 0)},
                                                   {"absurd size", withFrameSize(40000, 40000)}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        std::ofstream(dir.File("bad.jpg"), std::ios::binary)
            .write(reinterpret_cast<const char*>(c.second.data()), c.second.size());
        Decoded d;
        Load("bad.jpg", &d);
        EXPECT_EQ(d.pixels, nullptr);
    }
    Decoded missing, again;
    Load("absent.jpg", &missing);
    Load("good.jpg", &again);  // the reader still works afterwards
    EXPECT_EQ(missing.pixels, nullptr);
    EXPECT_NE(again.pixels, nullptr);
}

// A body cut halfway loads its decoded top (the rest is filled); damage after the
// last row (a second scan) is only met at the end marker, when the picture is whole.
TEST_F(JpegTest, DamagedBodyOrTailStillLoadsTheDecodedRows) {
    Bytes src = TiledPicture(256, 256);
    ASSERT_EQ(Save("full.jpg", src, 256, 256), 1);
    const Bytes bytes = ReadBytes(dir.File("full.jpg"));
    size_t scan = 2;  // where the first scan (the compressed rows) starts
    while (scan + 1 < bytes.size() && !(bytes[scan] == 0xFF && bytes[scan + 1] == 0xDA)) scan++;
    Bytes cut(bytes.begin(), bytes.begin() + static_cast<long>(scan + (bytes.size() - scan) / 2));
    Bytes twice(bytes.begin(), bytes.end() - 2);  // without the end marker
    twice.insert(twice.end(), bytes.begin() + static_cast<long>(scan), bytes.end());
    for (const Bytes* b : {&cut, &twice}) {
        testing_support::WriteBytes(dir.File("bad.jpg"), *b);
        Decoded d;
        Load("bad.jpg", &d);
        ASSERT_NE(d.pixels, nullptr);
        EXPECT_EQ(d.height, 256);
        ExpectNear(d.At(8, 4), &src[(4 * 256 + 8) * 3], 8);
        if (b == &twice) ExpectNear(d.At(200, 250), &src[(250 * 256 + 200) * 3], 8);
    }
}

TEST_F(JpegTest, SavedPictureKeepsColoursAndOrientation) {
    // Top half red with a green left quarter, bottom half blue.
    const int w = 64, h = 48;
    Bytes src(w * h * 3);
    for (int i = 0; i < w * h; i++) {
        int x = i % w, y = i / w;
        src[3 * i + (y >= h / 2 ? 0 : x < w / 4 ? 1 : 2)] = 220;
    }
    ASSERT_EQ(Save("out.jpg", src, w, h), 1);
    EXPECT_EQ((JpegFileSize(dir.File("out.jpg"))), (std::array<int, 2>{w, h}));
    Decoded d;
    Load("out.jpg", &d);
    ASSERT_NE(d.pixels, nullptr);
    for (auto [x, y] : {std::pair{4, 4}, std::pair{40, 8}, std::pair{30, 40}, std::pair{60, 44}}) {
        SCOPED_TRACE(testing::Message() << x << "," << y);
        ExpectNear(d.At(x, y), &src[(y * w + x) * 3], 12);
    }
    EXPECT_EQ(FileCount(), 1);
}

TEST_F(JpegTest, OddWidthIsPaddedWithBlackColumnsAndSavedOverAtThatWidth) {
    ASSERT_EQ(Save("in.jpg", TiledPicture(421, 16, 0x40), 421, 16), 1);
    Decoded d;
    Load("in.jpg", &d);
    ASSERT_NE(d.pixels, nullptr);
    ASSERT_EQ(d.width, 424);
    EXPECT_EQ(d.height, 16);
    for (int y = 0; y < 16; y++) {
        for (int x = 421; x < 424; x++) EXPECT_EQ(d.At(x, y)[0] | d.At(x, y)[1] | d.At(x, y)[2], 0) << x << "," << y;
        EXPECT_GT(d.At(420, y)[0] + d.At(420, y)[1] + d.At(420, y)[2], 100);
    }
    ASSERT_EQ(SaveJpegPicture(Path("in.jpg").c_str(), d.pixels, d.width, d.height), 1);
    EXPECT_EQ((JpegFileSize(dir.File("in.jpg"))), (std::array<int, 2>{424, 16}));
    Decoded again;
    Load("in.jpg", &again);
    ASSERT_NE(again.pixels, nullptr);
    EXPECT_LT(again.At(423, 8)[0] + again.At(423, 8)[1] + again.At(423, 8)[2], 40);  // padding stays dark
    EXPECT_EQ(FileCount(), 1);
}

TEST_F(JpegTest, SaveFailsIntoAMissingFolderOntoAFolderOrWithoutPixels) {
    std::filesystem::create_directory(dir.File("taken.jpg"));
    Bytes src = TiledPicture(16, 16);
    EXPECT_EQ(Save("no/such/folder/x.jpg", src, 16, 16), 0);
    EXPECT_EQ(Save("taken.jpg", src, 16, 16), 0);
    EXPECT_EQ(Save("a.jpg", src, 0, 16), 0);
    EXPECT_EQ(SaveJpegPicture(Path("a.jpg").c_str(), nullptr, 16, 16), 0);
    EXPECT_EQ(FileCount(), 1);  // no partial files left
}

TEST_F(JpegTest, FailedWriteLeavesTheOriginalFileIntact) {
    Bytes noise(256 * 256 * 3);
    uint32_t seed = 12345;
    for (auto& b : noise) b = static_cast<unsigned char>((seed = seed * 1103515245 + 12345) >> 16);
    const Bytes original = {'o', 'r', 'i', 'g'};
    testing_support::WriteBytes(dir.File("photo.jpg"), original);
    // A file size limit makes writes fail as a full medium would.
    auto oldHandler = signal(SIGXFSZ, SIG_IGN);
    rlimit old;
    getrlimit(RLIMIT_FSIZE, &old);
    const rlimit limited{1000, old.rlim_max};
    setrlimit(RLIMIT_FSIZE, &limited);
    int result = Save("photo.jpg", noise, 256, 256);
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(result, 0);
    EXPECT_EQ(ReadBytes(dir.File("photo.jpg")), original);
    EXPECT_EQ(FileCount(), 1);
    EXPECT_EQ(Save("photo.jpg", noise, 256, 256), 1);  // with room again the save succeeds
}

}  // namespace
