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

TEST_F(LoadPictureTest, BmpFillsTheRecord) {
    ASSERT_EQ(LoadBmp("photo.bmp"), 1);
    EXPECT_EQ(record.width, 8);
    EXPECT_EQ(record.height, 3);
    EXPECT_EQ(record.byteSize, 8 * 3 * 3);
    ASSERT_NE(record.pixels, nullptr);
    EXPECT_EQ(0, std::memcmp(record.pixels, PatternPixel(0, 0).data(), 3));
    EXPECT_STREQ(record.name, "photo.bmp");
}

TEST_F(LoadPictureTest, ReaderIsChosenByExtensionAnywhereInThePath) {
    EXPECT_EQ(LoadBmp("PHOTO.BMP"), 1);
    EXPECT_EQ(LoadJpeg("Photo.Jpg"), 1);
    EXPECT_EQ(LoadBmp("other.bmp.jpg"), 1);
    EXPECT_EQ(LoadJpeg("photo.bmp.jpg"), 0);  // read as BMP
    ExpectCleared();
    EXPECT_EQ(LoadJpeg("photo.jpeg"), 0);
    ExpectCleared();
    std::filesystem::create_directory(dir.File("x.bmp"));
    EXPECT_EQ(LoadBmp("x.bmp/no extension"), 1);  // the folder's name counts too
}

TEST_F(LoadPictureTest, FailedLoadClearsAPreviouslyLoadedRecord) {
    ASSERT_EQ(LoadBmp("photo.bmp"), 1);
    testing_support::WriteBytes(dir.File("broken.bmp"), Bytes(20, 0));
    EXPECT_EQ(Load("broken.bmp"), 0);
    ExpectCleared();
    ClearImageRecord(&record);  // clearing twice is harmless
    ExpectCleared();
}

TEST_F(LoadPictureTest, NonAsciiPathsOpenAndNamesStayUtf8) {
    testing_support::WriteBytes(dir.File("f\xC3\xB6to \xE2\x82\xAC.bmp"), MakeBmp(4, 4));
    std::wstring path = Wide(dir.path()) + L"/f\u00F6to \u20AC.bmp";
    ASSERT_EQ(LoadPicture(path.c_str(), L"f\u00F6to \u20AC.bmp", &record), 1);
    EXPECT_STREQ(record.name, "f\xC3\xB6to \xE2\x82\xAC.bmp");
}

TEST_F(LoadPictureTest, LongNamesAreCutOnACharacterBoundaryAndStayTerminated) {
    testing_support::WriteBytes(dir.File("p.bmp"), MakeBmp(4, 4));
    std::wstring path = Wide(dir.File("p.bmp"));
    // 300 one-byte characters: 254 fit before the terminator.
    ASSERT_EQ(LoadPicture(path.c_str(), std::wstring(300, L'a').c_str(), &record), 1);
    EXPECT_EQ(std::string(record.name), std::string(254, 'a'));
    // 128 two-byte characters: 127 fit (254 bytes).
    ASSERT_EQ(LoadPicture(path.c_str(), std::wstring(128, L'\u00E9').c_str(), &record), 1);
    EXPECT_EQ(std::strlen(record.name), 254u);
    // 100 three-byte characters: 84 fit (252 bytes); the 85th would reach the terminator.
    ASSERT_EQ(LoadPicture(path.c_str(), std::wstring(100, L'\u20AC').c_str(), &record), 1);
    EXPECT_EQ(std::strlen(record.name), 252u);
    EXPECT_EQ(static_cast<unsigned char>(record.name[249]), 0xE2);
}

}  // namespace
