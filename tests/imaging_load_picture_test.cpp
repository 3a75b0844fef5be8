#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "imaging/JpegWriter.h"
#include "imaging/LoadPicture.h"
#include "imaging_TestImages.h"

namespace {

using namespace imaging_test;

class LoadPictureTest : public ::testing::Test {
protected:
    LoadPictureTest() { std::memset(&record, 0, sizeof record); }
    ~LoadPictureTest() override { ClearImageRecord(&record); }

    // Stores a 5 x 3 BMP or an 8 x 8 JPEG under `name` and loads it by that name.
    int LoadBmp(const std::string& name) {
        testing_support::WriteBytes(dir.File(name), MakeBmp(5, 3));
        return Load(name);
    }
    int LoadJpeg(const std::string& name) {
        Bytes pixels(8 * 8 * 3, 128);
        EXPECT_EQ(SaveJpegPicture(Wide(dir.File(name)).c_str(), pixels.data(), 8, 8), 1);
        return Load(name);
    }
    int Load(const std::string& name) { return LoadPicture(Wide(dir.File(name)).c_str(), Wide(name).c_str(), &record); }
    void ExpectCleared() {
        EXPECT_EQ(record.width, -1);
        EXPECT_EQ(record.height, -1);
        EXPECT_EQ(record.byteSize, -1);
        EXPECT_EQ(record.pixels, nullptr);
        EXPECT_EQ(record.name[0], 0);
    }

    testing_support::TempDir dir;
    ImageRecord record;
};

TEST(WidthStepTest, StepGrowsWithTheWidth) {
    const int cases[][2] = {{420, 420},   {421, 424},   {850, 856},   {851, 864},   {1650, 1664},
                            {1651, 1664}, {3250, 3264}, {3251, 3264}, {3300, 3328}, {3328, 3328}};
    for (const auto& c : cases) EXPECT_EQ(PaddedWidth(c[0]), c[1]) << c[0];
}

TEST_F(LoadPictureTest, BmpFillsTheRecordAndAFailedLoadClearsIt) {
    ASSERT_EQ(LoadBmp("photo.bmp"), 1);
    EXPECT_EQ(record.width, 8);
    EXPECT_EQ(record.height, 3);
    EXPECT_EQ(record.byteSize, 8 * 3 * 3);
    ASSERT_NE(record.pixels, nullptr);
    EXPECT_EQ(0, std::memcmp(record.pixels, PatternPixel(0, 0).data(), 3));
    EXPECT_STREQ(record.name, "photo.bmp");
    testing_support::WriteBytes(dir.File("broken.bmp"), Bytes(20, 0));
    EXPECT_EQ(Load("broken.bmp"), 0);
    ExpectCleared();
    ClearImageRecord(&record);  // clearing twice is harmless
    ExpectCleared();
}

TEST_F(LoadPictureTest, ReaderIsChosenByExtensionAnywhereInThePath) {
    EXPECT_EQ(LoadBmp("PHOTO.BMP"), 1);
    EXPECT_EQ(LoadJpeg("Photo.Jpg"), 1);
    EXPECT_EQ(LoadBmp("other.bmp.jpg"), 1);  // read as BMP
    EXPECT_EQ(LoadJpeg("photo.jpeg"), 0);
    ExpectCleared();
    std::filesystem::create_directory(dir.File("x.bmp"));
    EXPECT_EQ(LoadBmp("x.bmp/no extension"), 1);  // the folder's name counts too
}

// Saving over a picture opened from a BMP file writes JPEG data under its BMP
// name; the program must open what it wrote.
TEST_F(LoadPictureTest, JpegDataUnderABmpNameIsReadAsJpeg) {
    ASSERT_EQ(LoadJpeg("saved.bmp"), 1);
    EXPECT_EQ(record.width, 8);
    EXPECT_EQ(record.height, 8);
    EXPECT_EQ(record.pixels[0], 128);
    EXPECT_EQ(LoadJpeg("photo.bmp.jpg"), 1);
    int width = 0, height = 0;
    EXPECT_EQ(ReadPictureSize(Wide(dir.File("saved.bmp")).c_str(), &width, &height), 1);
    EXPECT_EQ(width, 8);
    // Other data under a BMP name stays refused.
    testing_support::WriteBytes(dir.File("text.bmp"), Bytes{'h', 'e', 'l', 'l', 'o', 0xFF, 0xD8});
    EXPECT_EQ(Load("text.bmp"), 0);
    ExpectCleared();
}

TEST_F(LoadPictureTest, APictureOverTheLimitIsMeasuredNotDecoded) {
    auto load = [this](const std::string& name, const Bytes& bytes, long limit) {
        testing_support::WriteBytes(dir.File(name), bytes);
        return LoadPicture(Wide(dir.File(name)).c_str(), Wide(name).c_str(), &record, limit);
    };
    // 2001 pixels pad to 2016: 2016 x 1000 x 3 bytes.
    ASSERT_EQ(load("big.jpg", JpegHeaderOnly(2001, 1000, 3, true), 6000000), LOAD_TOO_LARGE);
    EXPECT_EQ(record.width, 2016);
    EXPECT_EQ(record.height, 1000);
    EXPECT_EQ(record.byteSize, 6048000);
    EXPECT_EQ(record.pixels, nullptr);
    EXPECT_STREQ(record.name, "big.jpg");
    EXPECT_EQ(load("big.bmp", MakeBmp(1000, 700), 2116799), LOAD_TOO_LARGE);  // pads to 1008
    EXPECT_EQ(record.byteSize, 2116800);
    EXPECT_EQ(load("big.bmp", MakeBmp(1000, 700), 2116800), LOAD_OK) << "exactly at the limit is accepted";
    // A file whose header cannot be read fails as before, limit or not.
    EXPECT_EQ(load("broken.jpg", Bytes{0xFF, 0xD8, 0x00}, 6000000), LOAD_FAILED);
    ExpectCleared();
}

TEST_F(LoadPictureTest, NonAsciiPathsOpenAndLongNamesAreCutOnACharacterBoundary) {
    testing_support::WriteBytes(dir.File("f\xC3\xB6to \xE2\x82\xAC.bmp"), MakeBmp(4, 4));
    const std::wstring path = Wide(dir.path()) + L"/f\u00F6to \u20AC.bmp";
    ASSERT_EQ(LoadPicture(path.c_str(), L"f\u00F6to \u20AC.bmp", &record), 1);
    EXPECT_STREQ(record.name, "f\xC3\xB6to \xE2\x82\xAC.bmp");
    // 254 bytes fit before the terminator: 254 one-byte, 127 two-byte or 84 three-byte characters.
    const struct {
        wchar_t ch;
        size_t charBytes, fit;
    } cases[] = {{L'a', 1, 254}, {L'\u00E9', 2, 254}, {L'\u20AC', 3, 252}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.charBytes);
        ASSERT_EQ(LoadPicture(path.c_str(), std::wstring(300, c.ch).c_str(), &record), 1);
        EXPECT_EQ(std::strlen(record.name), c.fit);
        EXPECT_EQ(record.name[c.fit - c.charBytes], record.name[0]) << "the last character is whole";
    }
}

}  // namespace
