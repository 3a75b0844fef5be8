#include <gtest/gtest.h>

#include <vector>

#include "subject/EyeVerifier.h"
#include "subject/FaceDetector.h"
#include "subject/MakeGreyImage.h"

namespace {

// The census code at the centre of a 3 x 3 block of grey 100 in which the
// pixels listed (row-major positions 0..8) are `value` instead.
struct Codes {
    int face;
    int eye;
};

Codes CodesOfBlock(std::vector<int> positions, int value = 200) {
    std::vector<uint8_t> block(9, 100);
    for (int p : positions) block[p] = static_cast<uint8_t>(value);
    std::vector<uint16_t> codes(9, 0xFFFF);
    Codes out{};
    FaceCensus(block.data(), 3, 3, codes.data());
    out.face = codes[4];
    EyeCensus(block.data(), 3, 3, codes.data());
    out.eye = codes[4];
    return out;
}

TEST(Census, FlatBlockHasCodeZero) {
    EXPECT_EQ(0, CodesOfBlock({}).face);
    EXPECT_EQ(0, CodesOfBlock({}).eye);
}

TEST(Census, BrighterCentreAlone) {
    EXPECT_EQ(16, CodesOfBlock({4}).face);
    EXPECT_EQ(256, CodesOfBlock({4}).eye);
}

TEST(Census, BrighterRightMiddleAlone) {
    EXPECT_EQ(32, CodesOfBlock({5}).face);
    EXPECT_EQ(8, CodesOfBlock({5}).eye);
}

TEST(Census, EyeBitsRunClockwiseFromTheTopLeft) {
    // Positions row by row: 0 1 2 / 3 4 5 / 6 7 8.
    const int eyeBitOfPosition[9] = {0, 1, 2, 7, 8, 3, 6, 5, 4};
    for (int pos = 0; pos < 9; pos++) {
        Codes c = CodesOfBlock({pos});
        EXPECT_EQ(1 << pos, c.face) << pos;
        EXPECT_EQ(1 << eyeBitOfPosition[pos], c.eye) << pos;
    }
}

TEST(Census, DarkerCentreSetsEveryOtherBit) {
    Codes c = CodesOfBlock({0, 1, 2, 3, 5, 6, 7, 8});
    EXPECT_EQ(511 - 16, c.face);
    EXPECT_EQ(511 - 256, c.eye);
}

TEST(Census, PixelEqualToTheMeanIsNotBrighter) {
    // 0, 100 and 200 around a mean of exactly 100: only the 200 counts.
    std::vector<uint8_t> block = {0, 100, 200, 0, 100, 200, 0, 100, 200};
    std::vector<uint16_t> codes(9);
    FaceCensus(block.data(), 3, 3, codes.data());
    EXPECT_EQ(4 + 32 + 256, codes[4]);
}

TEST(Census, BorderEntriesAreZeroAndCodesStayBelow511) {
    const int w = 9, h = 7;
    std::vector<uint8_t> grey(w * h);
    for (int i = 0; i < w * h; i++) grey[i] = static_cast<uint8_t>((i * 97 + 13) % 256);
    std::vector<uint16_t> codes(w * h, 0xFFFF);
    FaceCensus(grey.data(), w, h, codes.data());
    for (int y = 0; y < h; y++) {
        for (int x = 0; x < w; x++) {
            const int code = codes[y * w + x];
            if (x == 0 || y == 0 || x == w - 1 || y == h - 1) {
                EXPECT_EQ(0, code) << x << "," << y;
            } else {
                EXPECT_LT(code, 511) << x << "," << y;
            }
        }
    }
}

TEST(MakeGreyImage, AveragesTheThreeBytesRoundingDown) {
    const std::vector<uint8_t> image = {1, 1, 0, 255, 255, 254, 30, 60, 90, 0, 0, 2};
    std::vector<uint8_t> grey(4, 77);
    MakeGreyImage(image.data(), grey.data(), 2, 2);
    EXPECT_EQ((std::vector<uint8_t>{0, 254, 60, 0}), grey);
}

}  // namespace
