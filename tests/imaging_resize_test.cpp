#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "imaging/ResizePicture.h"

namespace {

using Buffer = std::vector<uint8_t>;

TEST(ResizePictureTest, ReducingTakesEveryNthRowAndColumnFromTheCorner) {
    // Each pixel holds its column (low, high byte) and its row's low byte.
    const int sw = 1000, sh = 750, dw = 250, dh = 187;
    Buffer src(static_cast<size_t>(sw) * sh * 3);
    for (size_t i = 0; i < src.size() / 3; i++)
        src[3 * i] = i % sw & 0xFF, src[3 * i + 1] = i % sw >> 8, src[3 * i + 2] = i / sw;
    Buffer dst(dw * dh * 3);
    ResizePicture(src.data(), sw, sh, dst.data(), dw, dh, 1);
    for (int i = 0; i < dw * dh; i++) {
        ASSERT_EQ(dst[3 * i] | dst[3 * i + 1] << 8, 4 * (i % dw));
        ASSERT_EQ(dst[3 * i + 2], 4 * (i / dw) & 0xFF);
    }
}

TEST(ResizePictureTest, NarrowTallPictureReducesByEachAxisOwnRatio) {
    Buffer src(7 * 900);
    for (size_t i = 0; i < src.size(); i++) src[i] = i % 7 == 0 ? i / 7 % 200 : 255;
    Buffer dst(225);
    ResizePicture(src.data(), 7, 900, dst.data(), 1, 225, 0);
    for (int y = 0; y < 225; y++) ASSERT_EQ(dst[y], 4 * y % 200);  // rows 0, 4, 8, ... of column 0
}

TEST(ResizePictureTest, SameSizeCopyRepeatsTheSecondToLastColumnAndRow) {
    Buffer src = {0, 1, 2, 10, 11, 12, 20, 21, 22};
    Buffer dst(9);
    ResizePicture(src.data(), 3, 3, dst.data(), 3, 3, 0);
    EXPECT_EQ(dst, (Buffer{0, 1, 1, 10, 11, 11, 10, 11, 11}));
}

TEST(ResizePictureTest, EnlargingAMaskFourTimesMakesBlocksExceptAtTheEdges) {
    const int sw = 100, sh = 80;
    Buffer src(sw * sh);
    for (size_t i = 0; i < src.size(); i++) src[i] = (i % sw * 7 + i / sw * 3) % 251;
    Buffer dst(400 * 320);
    ResizePicture(src.data(), sw, sh, dst.data(), 400, 320, 0);
    for (int y = 0; y < 320; y++)
        for (int x = 0; x < 400; x++) {
            int sx = std::min(x / 4, sw - 2), sy = std::min(y / 4, sh - 2);
            ASSERT_EQ(dst[y * 400 + x], src[sy * sw + sx]) << x << "," << y;
        }
}

TEST(ResizePictureTest, EnlargingWrapsSourceColumnsPast2047) {
    const int w = 2100;
    Buffer src(w * 2);
    for (size_t i = 0; i < src.size(); i++) src[i] = i % w == 0 ? 200 : i % w % 100;
    Buffer dst(w * 2);
    ResizePicture(src.data(), w, 2, dst.data(), w, 2, 0);
    EXPECT_EQ(dst[2047], 47);
    EXPECT_EQ(dst[2048], 200);
    EXPECT_EQ(dst[2049], 1);
}

TEST(ResizePictureTest, SingleLineSourcesEnlargeWithoutLeavingTheBuffer) {
    Buffer pixel = {10, 20, 30};
    Buffer dst(4 * 3 * 3);
    ResizePicture(pixel.data(), 1, 1, dst.data(), 4, 3, 1);
    for (size_t i = 0; i < dst.size(); i++) EXPECT_EQ(dst[i], pixel[i % 3]);

    Buffer row = {5, 6, 7};  // 3 x 1 mask; its last column is never sampled
    Buffer tall(6 * 2);
    ResizePicture(row.data(), 3, 1, tall.data(), 6, 2, 0);
    EXPECT_EQ(tall, (Buffer{5, 5, 6, 6, 6, 6, 5, 5, 6, 6, 6, 6}));
}

TEST(ResizePictureTest, EmptySizesLeaveTheDestinationAlone) {
    Buffer src(16, 1), dst(16, 77);
    ResizePicture(src.data(), 4, 4, dst.data(), 0, 4, 0);
    ResizePicture(src.data(), 4, 4, dst.data(), 4, 0, 0);
    ResizePicture(src.data(), 0, 4, dst.data(), 4, 4, 0);
    EXPECT_EQ(dst, Buffer(16, 77));
}

}  // namespace
