#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

#include "subject/EyeVerifier.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Every window passes every stage with a sum of 0.
std::unique_ptr<EyeCascadeData> OpenEyeCascade() {
    auto cascade = std::make_unique<EyeCascadeData>();
    for (int s = 0; s < EyeCascadeData::kStages; s++) cascade->stageSize[s] = 1, cascade->stageThreshold[s] = 0;
    return cascade;
}

// Adds `hits` identical hits of a square eye box to one side.
void Hits(int side, int x, int y, int size, int hits, int sum = 0) {
    for (int i = 0; i < hits; i++) AddEyeHit(side, x, y, size, sum);
}

int LeftEyeX() {
    EyePoint left{};
    GetEyeCentres(&left, nullptr);
    return left.x;
}

TEST(EyeQuarters, BoxSplitsWithTheExtraColumnOnTheLeftAndQuartersScaleToFiveWidthsWhileTallerThan22Rows) {
    int xm = 0, ym = 0;
    EyeQuarterSplit(10, 20, 54, 68, &xm, &ym);  // 44 x 48
    EXPECT_EQ((std::pair<int, int>{32, 44}), std::make_pair(xm, ym));
    EyeQuarterSplit(10, 20, 55, 67, &xm, &ym);  // 45 x 47
    EXPECT_EQ((std::pair<int, int>{33, 44}), std::make_pair(xm, ym));

    int w[5], h[5];
    ASSERT_EQ(5, EyeQuarterScales(22, 24, w, h));
    EXPECT_EQ((std::vector<int>{35, 32, 29, 26, 23}), std::vector<int>(w, w + 5));
    EXPECT_EQ((std::vector<int>{38, 35, 32, 28, 25}), std::vector<int>(h, h + 5));
    EXPECT_EQ(3, EyeQuarterScales(40, 32, w, h));  // heights 28, 26, 23, then 21
    EXPECT_EQ(23, h[2]);
    EXPECT_EQ(0, EyeQuarterScales(40, 20, w, h));  // 35 x 18 is already too low
}

TEST(EyeScan, EveryTopAndLeftIsTriedUpToSixteenFromTheFarEdge) {
    auto open = OpenEyeCascade();
    auto windows = [&](int w, int h) {
        std::vector<uint16_t> codes(size_t(w) * h, 0);
        std::vector<int> seen{0, -1, -1};  // count, last x, last y
        ScanEyeWindowsWith(*open, 3, w, h, codes.data(), [&](int x, int y, int) { seen = {seen[0] + 1, x, y}; });
        return seen;
    };
    EXPECT_EQ((std::vector<int>{20 * 23, 19, 22}), windows(35, 38));
    EXPECT_EQ((std::vector<int>{1, 0, 0}), windows(16, 16));
    EXPECT_EQ(0, windows(15, 40)[0]);
    EXPECT_EQ(0, windows(40, 15)[0]);
}

TEST(VerifyEyes, BoxInsideThePictureIsScannedAndBoxPastItsEdgeOrTooFlatIsRejected) {
    auto open = OpenEyeCascade();
    Bytes grey(100 * 80, 120);
    EXPECT_EQ(1, VerifyEyesWith(*open, 3, grey.data(), 100, 80, 56, 32, 100, 80));
    EXPECT_EQ(0, VerifyEyesWith(*open, 3, grey.data(), 100, 80, 57, 32, 101, 80));
    EXPECT_EQ(0, VerifyEyesWith(*open, 3, grey.data(), 100, 80, 56, 33, 100, 81));
    EXPECT_EQ(0, VerifyEyesWith(*open, 3, grey.data(), 100, 80, -1, 0, 43, 48));
    EXPECT_EQ(0, VerifyEyesWith(*open, 3, nullptr, 100, 80, 0, 0, 44, 48));
    EXPECT_EQ(0, VerifyEyesWith(*open, 3, grey.data(), 100, 80, 0, 0, 80, 30));  // quarters 40 x 15
    open->table[2][0] = 1;  // the third stage rejects the flat picture: hits only from passed stages
    EXPECT_EQ(1, VerifyEyesWith(*open, 2, grey.data(), 100, 80, 0, 0, 44, 48));
    EXPECT_EQ(0, VerifyEyesWith(*open, 3, grey.data(), 100, 80, 0, 0, 44, 48));
}

TEST(VerifyEyes, EyesAreFoundAtDarkSpotsMirroredAboutTheBoxCentreAndOneEyeIsNotAFace) {
    // A one-feature cascade that takes a window whose pixel (7, 7) is darker than its
    // neighbourhood mean with at least five brighter neighbours: a small dark spot.
    auto cascade = std::make_unique<EyeCascadeData>();
    cascade->x[0] = cascade->y[0] = 7;
    cascade->stageSize[0] = 1;
    cascade->stageThreshold[0] = 0;
    for (int code = 0; code < EyeCascadeData::kCodes; code++)
        cascade->table[0][code] = (code & 256) == 0 && __builtin_popcount(code & 255) >= 5 ? 0 : 1;
    const int w = 120, h = 100, x0 = 30, y0 = 20, x1 = 74, y1 = 68;
    auto spots = [&](std::vector<EyePoint> centres) {  // 3 x 3 dark spots on a light picture
        Bytes grey(w * h, 180);
        for (EyePoint p : centres)
            for (int i = 0; i < 9; i++) grey[size_t(p.y + i / 3 - 1) * w + p.x + i % 3 - 1] = 40;
        return grey;
    };
    for (int inset : {8, 12}) {
        SCOPED_TRACE(inset);
        const EyePoint leftSpot{x0 + inset, y0 + 12}, rightSpot{x1 - 1 - inset, y0 + 12};
        Bytes grey = spots({leftSpot, rightSpot});
        ASSERT_EQ(1, VerifyEyesWith(*cascade, 1, grey.data(), w, h, x0, y0, x1, y1));
        EyePoint left{}, right{};
        GetEyeCentres(&left, &right);
        EXPECT_EQ(left.x - x0, x1 - right.x);
        EXPECT_EQ(left.y, right.y);
        EXPECT_NEAR(leftSpot.x, left.x, 3);
        EXPECT_NEAR(leftSpot.y, left.y, 3);
        EXPECT_NEAR(rightSpot.x, right.x, 3);
    }
    Bytes grey = spots({{38, 32}});
    EXPECT_EQ(0, VerifyEyesWith(*cascade, 1, grey.data(), w, h, x0, y0, x1, y1));
}

TEST(ChooseEyes, EyeCentresAreBoxCentresTheRightOneMirroredBackAndKeptWhenTheNextBoxIsRejected) {
    ClearEyeClusters();
    Hits(0, 3, 5, 10, 3);  // left eye box 3..13 x 5..15
    Hits(1, 2, 4, 9, 3);   // mirrored right eye box 2..11 x 4..13
    ASSERT_EQ(1, ChooseEyes(100, 200, 144, 248));
    EyePoint left{}, right{};
    GetEyeCentres(&left, &right);
    // The right eye is counted back from the box's right edge.
    EXPECT_EQ((std::vector<int>{100 + 3 + 5, 200 + 5 + 5, 144 - 2 - 4, 200 + 4 + 4}),
              (std::vector<int>{left.x, left.y, right.x, right.y}));
    ClearEyeClusters();  // a rejected box leaves the last accepted eyes
    Hits(0, 3, 5, 10, 1);
    EXPECT_EQ(0, ChooseEyes(500, 500, 544, 548));
    EXPECT_EQ(108, LeftEyeX());
}

TEST(ChooseEyes, SideWithOnlyTwoHitsRejectsTheFace) {
    for (auto [leftHits, rightHits] : std::vector<std::pair<int, int>>{{2, 9}, {9, 2}, {3, 0}}) {
        SCOPED_TRACE(testing::Message() << leftHits << " " << rightHits);
        ClearEyeClusters();
        Hits(0, 0, 0, 10, leftHits);
        Hits(1, 0, 0, 10, rightHits);
        EXPECT_EQ(0, ChooseEyes(0, 0, 44, 48));
    }
}

TEST(ChooseEyes, MostHitClusterWinsTiesGoToTheFirstAndEachSideStopsTakingHitsAtFifteenClusters) {
    ClearEyeClusters();
    Hits(0, 0, 0, 10, 3);
    Hits(0, 20, 0, 10, 4);
    Hits(0, 40, 0, 10, 4);
    Hits(1, 0, 0, 10, 3);
    ASSERT_EQ(1, ChooseEyes(0, 0, 44, 48));
    EXPECT_EQ(20 + 5, LeftEyeX());
    // After 13 single hits, cluster 14 gathers three more; after 14, the 15th
    // cluster fills the table and its next two hits are ignored.
    for (int singles : {13, 14}) {
        ClearEyeClusters();
        for (int i = 0; i < singles; i++) Hits(0, 20 * i, 0, 10, 1);
        Hits(0, 20 * singles, 0, 10, 3);
        Hits(1, 0, 0, 10, 3);
        EXPECT_EQ(singles == 13 ? 1 : 0, ChooseEyes(0, 0, 44, 48)) << singles << " singles";
    }
}

TEST(ChooseEyes, SumsAreComparedAsScoresOutOf256) {
    // Sums 100 and 90 both score 1 (x 256 / 17510): the later hit does not move
    // the box; a sum of 60 scores 0 and does.
    ClearEyeClusters();
    Hits(0, 0, 0, 10, 1, 100);
    Hits(0, 2, 0, 10, 2, 90);
    Hits(1, 0, 0, 10, 3);
    ASSERT_EQ(1, ChooseEyes(0, 0, 44, 48));
    EXPECT_EQ(5, LeftEyeX());
    Hits(0, 2, 0, 10, 1, 60);
    ASSERT_EQ(1, ChooseEyes(0, 0, 44, 48));
    EXPECT_EQ(7, LeftEyeX());
}

TEST(CropGrey, CopiesTheRectangleAndRefusesOnePastTheEdge) {
    Bytes grey(5 * 4), dst(6, 0);
    for (int i = 0; i < 20; i++) grey[i] = static_cast<uint8_t>(i);
    ASSERT_EQ(1, CropGrey(grey.data(), 5, 4, dst.data(), 3, 1, 5, 4));
    EXPECT_EQ((Bytes{8, 9, 13, 14, 18, 19}), dst);
    EXPECT_EQ(0, CropGrey(grey.data(), 5, 4, dst.data(), 3, 1, 6, 4));
    EXPECT_EQ(0, CropGrey(grey.data(), 5, 4, dst.data(), 3, 2, 5, 5));
    MirrorRows(grey.data(), 3, 2, dst.data());  // mirroring reverses each row
    EXPECT_EQ((Bytes{2, 1, 0, 5, 4, 3}), dst);
}

TEST(ResampleBilinear, BlendsNeighboursTheLastLineRepeatsTheSourceLineItLandsOnAndNothingLeaks) {
    // Step 0.5 across 0, 100; and reducing 4 to 3 puts the last column at 2.67,
    // which takes source column 2 whole, not two thirds of column 3.
    for (bool vertical : {false, true}) {
        auto resample = [&](Bytes src, int to) {
            const int from = static_cast<int>(src.size());
            Bytes dst(to, 7);
            ResampleBilinear(src.data(), vertical ? 1 : from, vertical ? from : 1, dst.data(), vertical ? 1 : to,
                             vertical ? to : 1);
            return dst;
        };
        EXPECT_EQ((Bytes{0, 50, 100, 100}), resample({0, 100}, 4)) << "vertical " << vertical;
        EXPECT_EQ((Bytes{0, 0, 0}), resample({0, 0, 0, 255}, 3)) << "vertical " << vertical;
    }
    const Bytes square = {10, 20, 30, 40, 50, 60, 70, 80, 90};
    Bytes out(4);
    ResampleBilinear(square.data(), 3, 3, out.data(), 2, 2);
    EXPECT_EQ(50, out[3]);  // step 1.5: the bottom-right pixel is source (1, 1)

    // Enlarging a 2 x 2 picture of zeros inside a buffer of 255s many times: nothing
    // outside it may leak into the copy.
    Bytes buffer(16, 255), big(35 * 38, 1);
    std::fill(buffer.begin() + 4, buffer.begin() + 8, 0);
    ResampleBilinear(buffer.data() + 4, 2, 2, big.data(), 35, 38);
    EXPECT_EQ(Bytes(35 * 38, 0), big);
}

}  // namespace
