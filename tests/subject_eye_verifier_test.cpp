#include <gtest/gtest.h>

#include <memory>
#include <utility>
#include <vector>

#include "subject/EyeVerifier.h"

namespace {

// Every window passes every stage with a sum of 0.
std::unique_ptr<EyeCascadeData> OpenEyeCascade() {
    auto cascade = std::make_unique<EyeCascadeData>();
    for (int s = 0; s < EyeCascadeData::kStages; s++) {
        cascade->stageSize[s] = 1;
        cascade->stageThreshold[s] = 0;
    }
    return cascade;
}

std::vector<uint8_t> Flat(int w, int h, uint8_t value = 120) {
    return std::vector<uint8_t>(size_t(w) * h, value);
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

TEST(EyeQuarters, FaceBoxSplitsIntoQuartersWithTheExtraColumnOnTheLeft) {
    int xm = 0, ym = 0;
    EyeQuarterSplit(10, 20, 54, 68, &xm, &ym);  // 44 x 48
    EXPECT_EQ((std::pair<int, int>{32, 44}), std::make_pair(xm, ym));
    EyeQuarterSplit(10, 20, 55, 67, &xm, &ym);  // 45 x 47
    EXPECT_EQ((std::pair<int, int>{33, 44}), std::make_pair(xm, ym));
}

TEST(EyeQuarters, QuarterIsScannedAtUpToFiveWidthsKeepingItsShapeWhileTallerThan22Rows) {
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
        int count = 0, lastX = -1, lastY = -1;
        ScanEyeWindowsWith(*open, 3, w, h, codes.data(), [&](int x, int y, int) {
            count++;
            lastX = x;
            lastY = y;
        });
        return std::vector<int>{count, lastX, lastY};
    };
    EXPECT_EQ((std::vector<int>{20 * 23, 19, 22}), windows(35, 38));
    EXPECT_EQ((std::vector<int>{1, 0, 0}), windows(16, 16));
    EXPECT_EQ(0, windows(15, 40)[0]);
    EXPECT_EQ(0, windows(40, 15)[0]);
}

TEST(VerifyEyes, BoxInsideThePictureIsScannedAndBoxPastItsEdgeOrTooFlatIsRejected) {
    auto open = OpenEyeCascade();
    auto grey = Flat(100, 80);
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

// A one-feature cascade that takes a window whose centre-ish pixel (7, 7) is
// darker than its neighbourhood mean with at least five brighter neighbours:
// the middle of a small dark spot.
std::unique_ptr<EyeCascadeData> DarkSpotCascade() {
    auto cascade = std::make_unique<EyeCascadeData>();
    cascade->x[0] = 7;
    cascade->y[0] = 7;
    cascade->stageSize[0] = 1;
    cascade->stageThreshold[0] = 0;
    for (int code = 0; code < EyeCascadeData::kCodes; code++) {
        int brighterNeighbours = 0;
        for (int bit = 0; bit < 8; bit++) brighterNeighbours += (code >> bit) & 1;
        const bool centreDark = (code & 256) == 0;
        cascade->table[0][code] = centreDark && brighterNeighbours >= 5 ? 0 : 1;
    }
    return cascade;
}

// A light picture with 3 x 3 dark spots centred on the given points.
std::vector<uint8_t> PictureWithDarkSpots(int w, int h, std::vector<EyePoint> spots) {
    auto grey = Flat(w, h, 180);
    for (EyePoint p : spots) {
        for (int dy = -1; dy <= 1; dy++) {
            for (int dx = -1; dx <= 1; dx++) grey[size_t(p.y + dy) * w + p.x + dx] = 40;
        }
    }
    return grey;
}

TEST(VerifyEyes, EyesAreFoundAtDarkSpotsMirroredAboutTheBoxCentreAndOneEyeIsNotAFace) {
    auto cascade = DarkSpotCascade();
    const int w = 120, h = 100, x0 = 30, y0 = 20, x1 = 74, y1 = 68;
    for (int inset : {8, 12}) {
        SCOPED_TRACE(inset);
        const EyePoint leftSpot{x0 + inset, y0 + 12}, rightSpot{x1 - 1 - inset, y0 + 12};
        auto grey = PictureWithDarkSpots(w, h, {leftSpot, rightSpot});
        ASSERT_EQ(1, VerifyEyesWith(*cascade, 1, grey.data(), w, h, x0, y0, x1, y1));
        EyePoint left{}, right{};
        GetEyeCentres(&left, &right);
        EXPECT_EQ(left.x - x0, x1 - right.x);
        EXPECT_EQ(left.y, right.y);
        EXPECT_NEAR(leftSpot.x, left.x, 3);
        EXPECT_NEAR(leftSpot.y, left.y, 3);
        EXPECT_NEAR(rightSpot.x, right.x, 3);
    }
    auto grey = PictureWithDarkSpots(w, h, {{38, 32}});
    EXPECT_EQ(0, VerifyEyesWith(*cascade, 1, grey.data(), w, h, x0, y0, x1, y1));
}

TEST(ChooseEyes, EyeCentresAreBoxCentresTheRightOneMirroredBackAndKeptWhenTheNextBoxIsRejected) {
    ClearEyeClusters();
    Hits(0, 3, 5, 10, 3);  // left eye box 3..13 x 5..15
    Hits(1, 2, 4, 9, 3);   // mirrored right eye box 2..11 x 4..13
    ASSERT_EQ(1, ChooseEyes(100, 200, 144, 248));
    EyePoint left{}, right{};
    GetEyeCentres(&left, &right);
    EXPECT_EQ(100 + 3 + 5, left.x);
    EXPECT_EQ(200 + 5 + 5, left.y);
    EXPECT_EQ(144 - 2 - 4, right.x);  // counted back from the box's right edge
    EXPECT_EQ(200 + 4 + 4, right.y);
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

TEST(ChooseEyes, MostHitClusterWinsAndTiesGoToTheFirst) {
    ClearEyeClusters();
    Hits(0, 0, 0, 10, 3);
    Hits(0, 20, 0, 10, 4);
    Hits(0, 40, 0, 10, 4);
    Hits(1, 0, 0, 10, 3);
    ASSERT_EQ(1, ChooseEyes(0, 0, 44, 48));
    EXPECT_EQ(20 + 5, LeftEyeX());
}

TEST(ChooseEyes, EachSideStopsTakingHitsAtFifteenClusters) {
    // After 13 single hits, cluster 14 gathers three more; after 14, the 15th
    // cluster fills the table and its next two hits are ignored.
    for (int singles : {13, 14}) {
        SCOPED_TRACE(singles);
        ClearEyeClusters();
        for (int i = 0; i < singles; i++) Hits(0, 20 * i, 0, 10, 1);
        Hits(0, 20 * singles, 0, 10, 3);
        Hits(1, 0, 0, 10, 3);
        EXPECT_EQ(singles == 13 ? 1 : 0, ChooseEyes(0, 0, 44, 48));
    }
}

TEST(ChooseEyes, SumsAreComparedAsScoresOutOf256) {
    // Sums 100 and 90 both score 1 (x 256 / 17510): the later hit does not move
    // the box; a sum of 60 scores 0 and does.
    ClearEyeClusters();
    AddEyeHit(0, 0, 0, 10, 100);
    AddEyeHit(0, 2, 0, 10, 90);
    AddEyeHit(0, 2, 0, 10, 90);
    Hits(1, 0, 0, 10, 3);
    ASSERT_EQ(1, ChooseEyes(0, 0, 44, 48));
    EXPECT_EQ(5, LeftEyeX());
    AddEyeHit(0, 2, 0, 10, 60);
    ASSERT_EQ(1, ChooseEyes(0, 0, 44, 48));
    EXPECT_EQ(7, LeftEyeX());
}

TEST(CropGrey, CopiesTheRectangleAndRefusesOnePastTheEdge) {
    std::vector<uint8_t> grey(5 * 4);
    for (int i = 0; i < 20; i++) grey[i] = static_cast<uint8_t>(i);
    std::vector<uint8_t> dst(6, 0);
    ASSERT_EQ(1, CropGrey(grey.data(), 5, 4, dst.data(), 3, 1, 5, 4));
    EXPECT_EQ((std::vector<uint8_t>{8, 9, 13, 14, 18, 19}), dst);
    EXPECT_EQ(0, CropGrey(grey.data(), 5, 4, dst.data(), 3, 1, 6, 4));
    EXPECT_EQ(0, CropGrey(grey.data(), 5, 4, dst.data(), 3, 2, 5, 5));
    MirrorRows(grey.data(), 3, 2, dst.data());  // mirroring reverses each row
    EXPECT_EQ((std::vector<uint8_t>{2, 1, 0, 5, 4, 3}), dst);
}

TEST(ResampleBilinear, BlendsNeighboursAndTheLastLineRepeatsTheSourceLineItLandsOn) {
    // Step 0.5 across 0, 100; and reducing 4 to 3 puts the last column at 2.67,
    // which takes source column 2 whole, not two thirds of column 3.
    const std::vector<uint8_t> pair = {0, 100}, row = {0, 0, 0, 255};
    for (bool vertical : {false, true}) {
        SCOPED_TRACE(vertical);
        std::vector<uint8_t> dst(4), dst3(3, 7);
        ResampleBilinear(pair.data(), vertical ? 1 : 2, vertical ? 2 : 1, dst.data(), vertical ? 1 : 4,
                         vertical ? 4 : 1);
        EXPECT_EQ((std::vector<uint8_t>{0, 50, 100, 100}), dst);
        ResampleBilinear(row.data(), vertical ? 1 : 4, vertical ? 4 : 1, dst3.data(), vertical ? 1 : 3,
                         vertical ? 3 : 1);
        EXPECT_EQ((std::vector<uint8_t>{0, 0, 0}), dst3);
    }
    const std::vector<uint8_t> square = {10, 20, 30, 40, 50, 60, 70, 80, 90};
    std::vector<uint8_t> out(4);
    ResampleBilinear(square.data(), 3, 3, out.data(), 2, 2);
    EXPECT_EQ(50, out[3]);  // step 1.5: the bottom-right pixel is source (1, 1)
}

TEST(ResampleBilinear, EnlargingManyTimesStaysWithinThePicture) {
    // A 2 x 2 picture of zeros inside a buffer of 255s: nothing outside it may
    // leak into the enlarged copy.
    std::vector<uint8_t> buffer(16, 255);
    uint8_t* src = buffer.data() + 4;
    src[0] = src[1] = src[2] = src[3] = 0;  // rows of length 2 back to back
    std::vector<uint8_t> dst(35 * 38, 1);
    ResampleBilinear(src, 2, 2, dst.data(), 35, 38);
    for (size_t i = 0; i < dst.size(); i++) ASSERT_EQ(0, dst[i]) << i;
}

}  // namespace
