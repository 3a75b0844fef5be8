#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>

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

// A working image of 16-pixel tiles, whose colours survive compression closely.
// `floor` keeps every sample at least that bright.
Bytes TiledPicture(int w, int h, uint8_t floor = 0) {
    Bytes p(static_cast<size_t>(w) * h * 3);
    for (size_t i = 0; i < p.size(); i++) {
        size_t x = i / 3 % w, y = i / 3 / w;
        p[i] = ((x / 16 * 50 + y / 16 * 30 + i % 3 * 80) % 256) | floor;
    }
    return p;
}

// Where the first scan (the compressed rows) of a JPEG file starts.
size_t ScanStart(const Bytes& jpeg) {
    size_t at = 2;
    while (at + 1 < jpeg.size() && !(jpeg[at] == 0xFF && jpeg[at + 1] == 0xDA)) at++;
    return at;
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
    int Save(const std::string& name, const Bytes& pixels, int w, int h) {
        return SaveJpegPicture(Path(name).c_str(), pixels.data(), w, h);
    }
    std::vector<std::string> Listing() {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(dir.path())) names.push_back(e.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }
    testing_support::TempDir dir;
};

TEST_F(JpegTest, OddWidthIsPaddedWithBlackColumns) {
    ASSERT_EQ(Save("wide.jpg", TiledPicture(421, 20, 0x40), 421, 20), 1);
    Decoded d;
    Load("wide.jpg", &d);
    ASSERT_NE(d.pixels, nullptr);
    EXPECT_EQ(d.width, 424);
    EXPECT_EQ(d.height, 20);
    for (int y = 0; y < 20; y++) {
        for (int x = 421; x < 424; x++) EXPECT_EQ(d.At(x, y)[0] | d.At(x, y)[1] | d.At(x, y)[2], 0) << x << "," << y;
        EXPECT_GT(d.At(420, y)[0] + d.At(420, y)[1] + d.At(420, y)[2], 100);
    }
}

TEST_F(JpegTest, GreyscaleFileOpensWithGreyInAllChannels) {
    Bytes grey(32 * 16);
    for (size_t i = 0; i < grey.size(); i++) grey[i] = i % 32 < 16 ? 40 : 200;
    ASSERT_TRUE(WriteRawJpeg(dir.File("grey.jpg"), 32, 16, 1, JCS_GRAYSCALE, JCS_GRAYSCALE, false, grey));
    Decoded d;
    Load("grey.jpg", &d);
    ASSERT_NE(d.pixels, nullptr);
    EXPECT_EQ(d.width, 32);
    for (int i = 0; i < 32 * 16; i++)
        ASSERT_TRUE(d.pixels[3 * i] == d.pixels[3 * i + 1] && d.pixels[3 * i] == d.pixels[3 * i + 2]);
    EXPECT_NEAR(d.At(4, 8)[0], 40, 3);
    EXPECT_NEAR(d.At(28, 8)[0], 200, 3);
}

TEST_F(JpegTest, CmykAndYcckFilesOpenInTheirColours) {
    // Left and right halves with (C, M, Y, K) samples as stored, and the expected
    // blue, green, red. Adobe files store inverted samples (255 = no ink).
    const struct {
        const char* name;
        J_COLOR_SPACE stored;
        bool adobe;
        uint8_t left[4], right[4], wantLeft[3], wantRight[3];
    } cases[] = {
        {"Adobe CMYK", JCS_CMYK, true, {255, 0, 0, 255}, {255, 128, 0, 128}, {0, 0, 255}, {0, 64, 128}},
        {"Adobe YCCK", JCS_YCCK, true, {255, 0, 0, 255}, {255, 128, 0, 128}, {0, 0, 255}, {0, 64, 128}},
        {"plain CMYK", JCS_CMYK, false, {0, 255, 255, 0}, {0, 0, 0, 128}, {0, 0, 255}, {127, 127, 127}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes s(32 * 16 * 4);
        for (size_t i = 0; i < s.size(); i++) {
            const uint8_t* half = i / 4 % 32 < 16 ? c.left : c.right;
            s[i] = half[i % 4];
        }
        ASSERT_TRUE(WriteRawJpeg(dir.File("cmyk.jpg"), 32, 16, 4, JCS_CMYK, c.stored, c.adobe, s));
        Decoded d;
        Load("cmyk.jpg", &d);
        ASSERT_NE(d.pixels, nullptr);
        ExpectNear(d.At(4, 8), c.wantLeft, 6);
        ExpectNear(d.At(28, 8), c.wantRight, 6);
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
    EXPECT_EQ(missing.pixels, nullptr);
    Load("good.jpg", &again);  // the reader still works afterwards
    EXPECT_NE(again.pixels, nullptr);
}

TEST_F(JpegTest, TruncatedBodyStillLoadsItsDecodedTop) {
    Bytes src = TiledPicture(256, 256);
    ASSERT_EQ(Save("full.jpg", src, 256, 256), 1);
    Bytes bytes = ReadBytes(dir.File("full.jpg"));
    size_t scan = ScanStart(bytes);
    // Cut halfway through the compressed rows: the library warns and fills the rest.
    bytes.resize(scan + (bytes.size() - scan) / 2);
    testing_support::WriteBytes(dir.File("cut.jpg"), bytes);
    Decoded d;
    Load("cut.jpg", &d);
    ASSERT_NE(d.pixels, nullptr);
    EXPECT_EQ(d.height, 256);
    ExpectNear(d.At(8, 4), &src[(4 * 256 + 8) * 3], 8);
}

// Damage after the last row (here a second scan where a baseline file may have
// none) is only found when the decoder reads on to the end marker; the picture
// is whole by then and loads.
TEST_F(JpegTest, DamageAfterTheLastRowKeepsThePicture) {
    Bytes src = TiledPicture(64, 48);
    ASSERT_EQ(Save("whole.jpg", src, 64, 48), 1);
    Bytes bytes = ReadBytes(dir.File("whole.jpg"));
    size_t scan = ScanStart(bytes);
    Bytes twice(bytes.begin(), bytes.end() - 2);  // without the end marker
    twice.insert(twice.end(), bytes.begin() + static_cast<long>(scan), bytes.end());
    testing_support::WriteBytes(dir.File("twice.jpg"), twice);
    Decoded d;
    Load("twice.jpg", &d);
    ASSERT_NE(d.pixels, nullptr);
    EXPECT_EQ(d.width, 64);
    ExpectNear(d.At(20, 30), &src[(30 * 64 + 20) * 3], 8);
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
    EXPECT_EQ(Listing(), std::vector<std::string>{"out.jpg"});
}

TEST_F(JpegTest, PaddedPictureIsSavedAtItsPaddedWidthReplacingTheFile) {
    ASSERT_EQ(Save("in.jpg", TiledPicture(421, 16, 0x80), 421, 16), 1);
    Decoded loaded;
    Load("in.jpg", &loaded);
    ASSERT_EQ(loaded.width, 424);
    ASSERT_EQ(SaveJpegPicture(Path("in.jpg").c_str(), loaded.pixels, loaded.width, loaded.height), 1);
    EXPECT_EQ((JpegFileSize(dir.File("in.jpg"))), (std::array<int, 2>{424, 16}));
    Decoded again;
    Load("in.jpg", &again);
    ASSERT_NE(again.pixels, nullptr);
    EXPECT_LT(again.At(423, 8)[0] + again.At(423, 8)[1] + again.At(423, 8)[2], 40);  // padding stays dark
    EXPECT_EQ(Listing(), std::vector<std::string>{"in.jpg"});
}

TEST_F(JpegTest, SaveFailsIntoAMissingFolderOntoAFolderOrWithoutPixels) {
    std::filesystem::create_directory(dir.File("taken.jpg"));
    Bytes src = TiledPicture(16, 16);
    EXPECT_EQ(Save("no/such/folder/x.jpg", src, 16, 16), 0);
    EXPECT_EQ(Save("taken.jpg", src, 16, 16), 0);
    EXPECT_EQ(Save("a.jpg", src, 0, 16), 0);
    EXPECT_EQ(SaveJpegPicture(Path("a.jpg").c_str(), nullptr, 16, 16), 0);
    EXPECT_EQ(Listing(), std::vector<std::string>{"taken.jpg"});  // no partial files left
}

TEST_F(JpegTest, FailedWriteLeavesTheOriginalFileIntact) {
    Bytes noise(256 * 256 * 3);
    uint32_t seed = 12345;
    for (auto& b : noise) b = static_cast<unsigned char>((seed = seed * 1103515245 + 12345) >> 16);
    const Bytes original = {'o', 'r', 'i', 'g', 'i', 'n', 'a', 'l'};
    testing_support::WriteBytes(dir.File("photo.jpg"), original);

    // A file size limit makes writes fail as a full medium would.
    auto oldHandler = signal(SIGXFSZ, SIG_IGN);
    rlimit old, limited;
    getrlimit(RLIMIT_FSIZE, &old);
    limited = old;
    limited.rlim_cur = 1000;
    setrlimit(RLIMIT_FSIZE, &limited);
    int result = Save("photo.jpg", noise, 256, 256);
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(result, 0);
    EXPECT_EQ(ReadBytes(dir.File("photo.jpg")), original);
    EXPECT_EQ(Listing(), std::vector<std::string>{"photo.jpg"});
    EXPECT_EQ(Save("photo.jpg", noise, 256, 256), 1);  // with room again the save succeeds
}

}  // namespace
