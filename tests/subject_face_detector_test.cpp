#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <utility>
#include <vector>

#include "subject/FaceDetector.h"

namespace {

// A one-stage cascade of one feature at (fx, fy) that passes a window exactly
// when the census code there is `code`. Run with one stage.
std::unique_ptr<FaceCascadeData> SpotCascade(int fx, int fy, int code) {
    auto cascade = std::make_unique<FaceCascadeData>();
    cascade->x[0] = static_cast<uint8_t>(fx);
    cascade->y[0] = static_cast<uint8_t>(fy);
    for (int c = 0; c < FaceCascadeData::kCodes; c++) cascade->table[0][c] = c == code ? 0 : 100;
    cascade->stageSize[0] = 1;
    cascade->stageThreshold[0] = 0;
    return cascade;
}

// Every window passes.
std::unique_ptr<FaceCascadeData> OpenCascade() {
    auto cascade = std::make_unique<FaceCascadeData>();
    for (int s = 0; s < FaceCascadeData::kStages; s++) {
        cascade->stageSize[s] = 1;
        cascade->stageThreshold[s] = 0;
    }
    return cascade;
}

// A flat grey picture with single bright pixels, whose face census code is 16.
std::vector<uint8_t> PictureWithSpots(int w, int h, const std::vector<std::pair<int, int>>& spots) {
    std::vector<uint8_t> grey(static_cast<size_t>(w) * h, 100);
    for (auto [x, y] : spots) grey[static_cast<size_t>(y) * w + x] = 200;
    return grey;
}

constexpr int kCentreBrighter = 16;

TEST(FaceCopies, CopiesKeepThePictureAspectUpToItsLongerSideAndNeverHaveAnEmptySide) {
    int w[9], h[9];
    ASSERT_EQ(9, FaceCopySizes(640, 480, w, h));
    const int expectedHeights[9] = {18, 27, 45, 60, 75, 90, 120, 142, 165};
    for (int i = 0; i < 9; i++) {
        EXPECT_EQ(FaceScales[i], w[i]) << i;
        EXPECT_EQ(expectedHeights[i], h[i]) << i;
    }
    ASSERT_EQ(8, FaceCopySizes(200, 150, w, h));
    EXPECT_EQ(190, w[7]);
    ASSERT_EQ(8, FaceCopySizes(150, 200, w, h));  // a portrait picture scales its height
    EXPECT_EQ(142, w[7]);
    EXPECT_EQ(190, h[7]);
    EXPECT_EQ(0, FaceCopySizes(5000, 3, w, h));
    EXPECT_EQ(0, FaceCopySizes(3, 5000, w, h));
    ASSERT_EQ(8, FaceCopySizes(1000, 40, w, h));  // the 24 copy would be 0 rows high
    EXPECT_EQ(36, w[0]);
    EXPECT_EQ(1, h[0]);
}

TEST(FaceScan, WindowTopsStepByTwoAndLeftsByOneWhereA23x25WindowFits) {
    auto open = OpenCascade();
    auto scan = [&](int w, int h) {
        std::vector<uint16_t> codes(w * h);
        std::vector<std::pair<int, int>> hits;
        ScanFaceWindowsWith(*open, 4, w, h, codes.data(), [&](int x, int y, int) { hits.emplace_back(x, y); });
        return hits;
    };
    EXPECT_TRUE(scan(24, 18).empty());
    EXPECT_TRUE(scan(22, 40).empty());
    EXPECT_TRUE(scan(40, 24).empty());
    EXPECT_EQ(1u, scan(23, 25).size());
    std::set<std::pair<int, int>> expected;
    for (int y : {0, 2})
        for (int x = 0; x < 14; x++) expected.insert({y, x});
    std::set<std::pair<int, int>> found;
    for (auto [x, y] : scan(36, 27)) found.insert({y, x});
    EXPECT_EQ(expected, found);
    EXPECT_EQ(71u * 198u, scan(220, 165).size());  // tops 0, 2, ..., 140; lefts 0 to 197
}

TEST(FaceScan, StagePassesUpToItsThresholdOnlyRequestedStagesRunAndTheLastSumIsReported) {
    const int w = 23, h = 25;
    std::vector<uint16_t> codes(w * h, 0);
    auto cascade = OpenCascade();
    cascade->table[0][0] = 3;
    cascade->stageThreshold[0] = 3;  // equal to the sum: passes
    cascade->table[1][0] = 5;
    cascade->stageThreshold[1] = 5;
    cascade->table[2][0] = 9;  // stage 2 rejects
    std::vector<int> scores;
    auto record = [&](int, int, int score) { scores.push_back(score); };
    ScanFaceWindowsWith(*cascade, 2, w, h, codes.data(), record);
    EXPECT_EQ(std::vector<int>{5}, scores);
    scores.clear();
    ScanFaceWindowsWith(*cascade, 3, w, h, codes.data(), record);
    EXPECT_TRUE(scores.empty());
}

TEST(FaceDetection, ThreeNeighbouringHitsMakeOneFaceAndTwoDoNot) {
    // A 36 x 27 picture: its 36-wide copy is the picture itself, the 24-wide one
    // is too low to scan. Spots two columns apart keep their code 16.
    auto cascade = SpotCascade(11, 12, kCentreBrighter);
    auto grey = PictureWithSpots(36, 27, {{15, 12}, {17, 12}, {19, 12}});
    ASSERT_EQ(1, DetectFacesWith(*cascade, 1, grey.data(), 36, 27));
    const FaceBox& box = FaceBoxes()[0];
    // The cluster keeps the first hit's box: window left 15 - 11, top 12 - 12.
    EXPECT_EQ((std::vector<int>{4, 0, 26, 24}), (std::vector<int>{box.x0, box.y0, box.x1, box.y1}));
    grey = PictureWithSpots(36, 27, {{15, 12}, {17, 12}});
    EXPECT_EQ(0, DetectFacesWith(*cascade, 1, grey.data(), 36, 27)) << "each call starts afresh";
}

TEST(FaceDetection, SeparateFacesAreReportedInTheOrderFound) {
    auto cascade = SpotCascade(1, 12, kCentreBrighter);
    // Lefts 0, 2, 4 and 28, 30, 32 (the second group far enough to be apart).
    auto grey = PictureWithSpots(60, 27, {{29, 12}, {31, 12}, {33, 12}, {1, 12}, {3, 12}, {5, 12}});
    // 60 x 27 is scanned through its 60 x 26 copy only (24 x 10 and 36 x 16 are
    // too low); copy row 12 is picture row 12.
    ASSERT_EQ(2, DetectFacesWith(*cascade, 1, grey.data(), 60, 27));
    EXPECT_EQ(0, FaceBoxes()[0].x0);
    EXPECT_EQ(28, FaceBoxes()[1].x0);
}

TEST(FaceDetection, BoxesFromAReducedCopyAreInPicturePixels) {
    // 54 x 40: scanned only through its 36 x 26 copy (factor 1.5 across, source
    // row = copy row * 40 / 26 rounded down).
    auto cascade = SpotCascade(11, 12, kCentreBrighter);
    // Copy columns 15, 17, 19 come from picture columns 22, 25, 28; copy row 12
    // from picture row 18.
    auto grey = PictureWithSpots(54, 40, {{22, 18}, {25, 18}, {28, 18}});
    ASSERT_EQ(1, DetectFacesWith(*cascade, 1, grey.data(), 54, 40));
    const FaceBox& box = FaceBoxes()[0];
    // Copy left 4, width 22 and height 24, each x 1.5.
    EXPECT_EQ((std::vector<int>{6, 0, 39, 36}), (std::vector<int>{box.x0, box.y0, box.x1, box.y1}));
}

TEST(FaceDetection, ElongatedOrEmptyPicturesGiveNoFacesWithoutFailing) {
    auto open = OpenCascade();  // would report any window it saw
    std::vector<uint8_t> grey(5000 * 3, 90);
    EXPECT_EQ(0, DetectFacesWith(*open, 4, grey.data(), 5000, 3));
    EXPECT_EQ(0, DetectFacesWith(*open, 4, grey.data(), 3, 5000));
    EXPECT_EQ(0, DetectFacesWith(*open, 4, nullptr, 640, 480));
    EXPECT_EQ(0, DetectFacesWith(*open, 4, grey.data(), 0, 3));
}

TEST(ResampleNearest, PicksTheSourcePixelAtEachQ15Step) {
    // Step 10/4 = 2.5: columns 0, 2, 5, 7; step 3/2 = 1.5: rows 0, 1.
    std::vector<uint8_t> src(10 * 3);
    for (int i = 0; i < 30; i++) src[i] = static_cast<uint8_t>(i);
    std::vector<uint8_t> dst(4 * 2);
    ResampleNearest(src.data(), 10, 3, dst.data(), 4, 2);
    EXPECT_EQ((std::vector<uint8_t>{0, 2, 5, 7, 10, 12, 15, 17}), dst);
}

}  // namespace
