#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <functional>

#include "imaging/LoadPicture.h"
#include "imaging/Thumbnail.h"
#include "imaging_TestImages.h"

namespace {

using namespace imaging_test;

struct Thumbnail {
    uint8_t* pixels = nullptr;
    int width = 0, height = 0;
    ~Thumbnail() { free(pixels); }
    const uint8_t* At(int x, int y) const { return pixels + (static_cast<size_t>(y) * width + x) * 3; }
};

class ThumbnailTest : public ::testing::Test {
protected:
    std::wstring Put(const std::string& name, const Bytes& bytes) {
        testing_support::WriteBytes(dir.File(name), bytes);
        return Wide(dir.File(name));
    }
    void Read(const std::wstring& path, Thumbnail* t, int maxW = 140, int maxH = 110) {
        t->pixels = ReadPictureThumbnail(path.c_str(), maxW, maxH, &t->width, &t->height);
    }

    testing_support::TempDir dir;
};

// Peak resident memory in megabytes of a child process that runs `work`.
long ChildPeakMegabytes(const std::function<void()>& work) {
    pid_t pid = fork();
    if (pid == 0) {
        work();
        _exit(0);
    }
    int status = 0;
    struct rusage usage {};
    wait4(pid, &status, 0, &usage);
    return usage.ru_maxrss / 1024;
}

TEST_F(ThumbnailTest, ASmallBitmapComesBackUprightAndLargeOnesShrinkKeepingTheirAspect) {
    Thumbnail t;
    Read(Put("p.bmp", MakeBmp(5, 3)), &t);
    ASSERT_NE(nullptr, t.pixels);
    ASSERT_EQ(5, t.width) << "smaller than the box: never enlarged";
    ASSERT_EQ(3, t.height);
    for (int y = 0; y < 3; y++)
        for (int x = 0; x < 5; x++) EXPECT_EQ(0, memcmp(t.At(x, y), PatternPixel(x, y).data(), 3)) << x << "," << y;
    const int cases[][4] = {{400, 100, 140, 35}, {90, 330, 30, 110}};
    for (const auto& c : cases) {
        Thumbnail big;
        Read(Put("big.bmp", MakeBmp(c[0], c[1])), &big);
        ASSERT_NE(nullptr, big.pixels);
        EXPECT_EQ(c[2], big.width);
        EXPECT_EQ(c[3], big.height);
    }
}

TEST_F(ThumbnailTest, GreyAndCmykJpegsShowTheColoursTheyOpenIn) {
    struct Case {
        const char* name;
        int components;
        J_COLOR_SPACE in, stored;
        bool adobe;
        unsigned char sample;
    };
    const Case cases[] = {{"grey.jpg", 1, JCS_GRAYSCALE, JCS_GRAYSCALE, false, 90},
                          {"cmyk.jpg", 4, JCS_CMYK, JCS_CMYK, true, 200},
                          {"ycck.jpg", 4, JCS_CMYK, JCS_YCCK, false, 60}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes samples(static_cast<size_t>(48) * 40 * c.components, c.sample);
        ASSERT_TRUE(WriteRawJpeg(dir.File(c.name), 48, 40, c.components, c.in, c.stored, c.adobe, samples));
        ImageRecord record{};
        ASSERT_EQ(LOAD_OK, LoadPicture(Wide(dir.File(c.name)).c_str(), L"x", &record));
        Thumbnail t;
        Read(Wide(dir.File(c.name)), &t);
        ASSERT_NE(nullptr, t.pixels);
        for (int ch = 0; ch < 3; ch++) EXPECT_NEAR(record.pixels[ch], t.At(20, 20)[ch], 2);
        ClearImageRecord(&record);
    }
}

TEST_F(ThumbnailTest, AFileShowsAThumbnailExactlyWhenItOpens) {
    Bytes topDown = MakeBmp(8, 6), bits32 = topDown, sizeOff = topDown, palette = topDown, rowsMissing = topDown;
    PutU32(topDown, kHeight, static_cast<uint32_t>(-6));
    PutU16(bits32, kBitCount, 32);
    PutU32(sizeOff, kFileSize, static_cast<uint32_t>(sizeOff.size() + 1));
    PutU32(palette, kColoursUsed, 2);
    rowsMissing.erase(rowsMissing.end() - 30, rowsMissing.end());
    FixFileSize(rowsMissing);
    Bytes pixels(320 * 240 * 3);
    for (size_t i = 0; i < pixels.size(); i++) pixels[i] = static_cast<unsigned char>(i * 7 % 251);
    ASSERT_TRUE(WriteRawJpeg(dir.File("good.jpg"), 320, 240, 3, JCS_RGB, JCS_YCbCr, false, pixels));
    Bytes jpeg = testing_support::ReadBytes(dir.File("good.jpg"));
    Bytes truncated(jpeg.begin(), jpeg.begin() + static_cast<long>(jpeg.size() / 2));
    Bytes garbage{0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0x00};
    for (int i = 0; i < 300; i++) garbage.push_back(static_cast<unsigned char>(i * 37 + 11));

    const std::pair<std::string, Bytes> files[] = {
        {"good.bmp", MakeBmp(8, 6)}, {"top-down.bmp", topDown},      {"32-bit.bmp", bits32},
        {"size-off.bmp", sizeOff},   {"palette.bmp", palette},       {"rows-missing.bmp", rowsMissing},
        {"good.jpg", jpeg},          {"saved-over.bmp", jpeg},       {"photo.jpeg", jpeg},
        {"photo.png", jpeg},         {"truncated.jpg", truncated},   {"garbage.jpg", garbage},
        {"empty.jpg", {}},           {"bmp-data.jpg", MakeBmp(8, 6)}};
    int opened = 0;
    for (const auto& [name, bytes] : files) {
        std::wstring path = Put(name, bytes);
        ImageRecord record{};
        bool opens = LoadPicture(path.c_str(), Wide(name).c_str(), &record) == LOAD_OK;
        ClearImageRecord(&record);
        Thumbnail t;
        Read(path, &t);
        EXPECT_EQ(opens, t.pixels != nullptr) << name;
        opened += opens;
    }
    EXPECT_EQ(4, opened) << "good.bmp, good.jpg, saved-over.bmp and truncated.jpg open";
}

TEST_F(ThumbnailTest, AbsurdHeadersCostNeitherMemoryNorAPicture) {
    const std::wstring huge = Put("huge.jpg", JpegHeaderOnly(8128, 8128, 3, true));
    const long base = ChildPeakMegabytes([] {});
    for (const std::wstring& path : {huge, Put("too-huge.jpg", JpegHeaderOnly(11585, 11585, 3, true)),
                                     Put("cmyk.jpg", JpegHeaderOnly(8128, 8128, 4, true))}) {
        long peak = ChildPeakMegabytes([&] {
            Thumbnail t;
            Read(path, &t);
        });
        EXPECT_LT(peak - base, 100) << "megabytes for a header of a few bytes";
    }
    Thumbnail t;
    Read(huge, &t);
    EXPECT_EQ(nullptr, t.pixels) << "a progressive picture too large to hold shows no thumbnail";
}

}  // namespace
