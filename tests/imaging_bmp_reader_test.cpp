#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

#include "imaging/BmpReader.h"
#include "imaging_TestImages.h"

namespace {

using namespace imaging_test;

class BmpReaderTest : public ::testing::Test {
protected:
    std::wstring Store(const Bytes& bytes) {
        testing_support::WriteBytes(dir.File("picture.bmp"), bytes);
        return Wide(dir.File("picture.bmp"));
    }
    testing_support::TempDir dir;
};

// Every real pixel matches the pattern, top row first; padding columns repeat the
// row's last pixel.
void ExpectPatternPicture(const uint8_t* pixels, int trueW, int paddedW, int h) {
    for (int y = 0; y < h; y++)
        for (int x = 0; x < paddedW; x++) {
            auto want = PatternPixel(x < trueW ? x : trueW - 1, y);
            ASSERT_EQ(0, memcmp(pixels + (static_cast<size_t>(y) * paddedW + x) * 3, want.data(), 3)) << x << "," << y;
        }
}

// Also the largest accepted width, and a longer information header skipped by the data offset.
TEST_F(BmpReaderTest, WidthIsPaddedToItsStepAndRowsKeepTheirPixelsTopFirst) {
    const int cases[][3] = {{1, 4, 0},     {2, 4, 0},     {3, 4, 0},     {4, 4, 0},  {5, 8, 0},        {420, 420, 0},
                            {421, 424, 0}, {850, 856, 0}, {851, 864, 0}, {6, 8, 68}, {30000, 30016, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c[0]);
        int w = 0, h = 0, bytes = 0;
        uint8_t* pixels = LoadBmpPicture(Store(MakeBmp(c[0], 3, c[2])).c_str(), &w, &h, &bytes);
        ASSERT_NE(pixels, nullptr);
        EXPECT_EQ(w, c[1]);
        EXPECT_EQ(h, 3);
        EXPECT_EQ(bytes, 3 * c[1] * 3);
        ExpectPatternPicture(pixels, c[0], c[1], 3);
        free(pixels);
    }
}

TEST_F(BmpReaderTest, DamagedOrUnsupportedFilesAreRefusedWithTheirReason) {
    auto dims = [](int w, int h) { return [=](Bytes& b) { PutU32(b, kWidth, w), PutU32(b, kHeight, h); }; };
    const struct {
        const char* name;
        std::function<void(Bytes&)> change;
        int reason;
    } variants[] = {
        {"size field +1", [](Bytes& b) { PutU32(b, kFileSize, b.size() + 1); }, BMP_SIZE_MISMATCH},
        {"size field -1", [](Bytes& b) { PutU32(b, kFileSize, b.size() - 1); }, BMP_SIZE_MISMATCH},
        {"bad signature", [](Bytes& b) { b[1] = 'A'; }, BMP_UNSUPPORTED},
        {"size checked first", [](Bytes& b) { b[1] = 'A', PutU32(b, kFileSize, 7); }, BMP_SIZE_MISMATCH},
        {"32-bit", [](Bytes& b) { PutU16(b, kBitCount, 32); }, BMP_UNSUPPORTED},
        {"8-bit palette", [](Bytes& b) { PutU16(b, kBitCount, 8); }, BMP_UNSUPPORTED},
        {"RLE", [](Bytes& b) { PutU32(b, kCompression, 1); }, BMP_UNSUPPORTED},
        {"two planes", [](Bytes& b) { PutU16(b, kPlanes, 2); }, BMP_UNSUPPORTED},
        {"colours used", [](Bytes& b) { PutU32(b, kColoursUsed, 1); }, BMP_UNSUPPORTED},
        {"important colours", [](Bytes& b) { PutU32(b, kColoursImportant, 1); }, BMP_UNSUPPORTED},
        {"no file header", [](Bytes& b) { b.resize(10); }, BMP_SHORT_READ},
        {"cut info header", [](Bytes& b) { b.resize(30), FixFileSize(b); }, BMP_SHORT_READ},
        {"last row cut", [](Bytes& b) { b.pop_back(), FixFileSize(b), PutU32(b, kImageSize, 0); }, BMP_SHORT_READ},
        {"data offset past end", [](Bytes& b) { PutU32(b, kDataOffset, b.size() + 100); }, BMP_SHORT_READ},
        {"zero width", dims(0, 4), BMP_UNSUPPORTED},
        {"zero height", dims(4, 0), BMP_UNSUPPORTED},
        {"top-down", dims(4, -4), BMP_UNSUPPORTED},
        {"negative width", dims(-4, 4), BMP_UNSUPPORTED},
        {"too wide", dims(30001, 1), BMP_UNSUPPORTED},
        {"too high", dims(1, 30001), BMP_UNSUPPORTED},
        {"too many bytes", dims(20000, 20000), BMP_UNSUPPORTED},
    };
    for (const auto& v : variants) {
        SCOPED_TRACE(v.name);
        Bytes b = MakeBmp(5, 4);
        v.change(b);
        int w = 0, h = 0, size = 0, reason = 0;
        uint8_t* data = ReadBmpFile(Store(b).c_str(), &w, &h, &size, &reason);
        EXPECT_EQ(data, nullptr);
        EXPECT_EQ(reason, v.reason);
        free(data);
    }
    int w = 0, h = 0, size = 0, reason = 0;
    EXPECT_EQ(ReadBmpFile(Wide(dir.File("absent.bmp")).c_str(), &w, &h, &size, &reason), nullptr);
    EXPECT_EQ(reason, BMP_CANNOT_OPEN);
    Bytes topDown = MakeBmp(5, 4);  // dimensions are reported even when refused
    PutU32(topDown, kHeight, static_cast<uint32_t>(-4));
    EXPECT_EQ(ReadBmpFile(Store(topDown).c_str(), &w, &h, &size, &reason), nullptr);
    EXPECT_EQ(w, 5);
    EXPECT_EQ(h, -4);
}

TEST_F(BmpReaderTest, MissingOrTooSmallImageSizeIsComputedFromTheRows) {
    // 5 pixels: rows of 15 bytes padded to 16.
    for (uint32_t field : {0u, 1u, 16u * 4 - 1}) {
        SCOPED_TRACE(field);
        Bytes b = MakeBmp(5, 4);
        PutU32(b, kImageSize, field);
        int w = 0, h = 0, size = 0, reason = -1;
        free(ReadBmpFile(Store(b).c_str(), &w, &h, &size, &reason));
        EXPECT_EQ(reason, 0);
        EXPECT_EQ(size, 16 * 4);
        uint8_t* pixels = LoadBmpPicture(Store(b).c_str(), &w, &h, &size);
        ASSERT_NE(pixels, nullptr);
        ExpectPatternPicture(pixels, 5, 8, 4);
        free(pixels);
    }
}

}  // namespace
