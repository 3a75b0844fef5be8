#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "imaging/LoadPicture.h"
#include "imaging/PyramidLevel.h"
#include "imaging/ResizePicture.h"
#include "subject/SubjectMask.h"
#include "subject/WorkMemory.h"

namespace {

using Ints = std::vector<int32_t>;

Ints Rect(const int32_t* r) {
    return Ints(r, r + 4);
}

struct Picture {
    int width = 0, height = 0;
    std::vector<uint8_t> bgr, mask;

    Picture(int w, int h, uint8_t grey = 128)
        : width(w), height(h), bgr(size_t(w) * h * 3, grey), mask(size_t(w) * h, 7) {}
    void Set(int x, int y, uint8_t b, uint8_t g, uint8_t r) {
        uint8_t* p = &bgr[(size_t(y) * width + x) * 3];
        p[0] = b, p[1] = g, p[2] = r;
    }
    uint8_t Mask(int x, int y) const { return mask[size_t(y) * width + x]; }
    bool MaskEmpty() const { return std::count(mask.begin(), mask.end(), 0) == long(mask.size()); }
    uint16_t Label(int x, int y) const {
        return RegionLabelMap[(y - RegionRect[2]) * (RegionRect[1] - RegionRect[0] + 1) + (x - RegionRect[0])];
    }
};

// Runs the pipeline from the given eye pairs on.
int RunWithEyes(Picture& p, int32_t* rect, std::vector<std::pair<EyePoint, EyePoint>> eyes) {
    std::vector<EyePoint> left, right;
    for (auto& e : eyes) left.push_back(e.first), right.push_back(e.second);
    return FindSubjectMaskForEyes(p.bgr.data(), p.mask.data(), p.width, p.height, rect, left.data(), right.data(),
                                  (int)eyes.size());
}

// Eyes 2d apart, level, around (cx, cy).
std::pair<EyePoint, EyePoint> Eyes(int cx, int cy, int d) {
    return {EyePoint{cx - d, cy}, EyePoint{cx + d, cy}};
}

class SubjectMaskTest : public ::testing::Test {
protected:
    void TearDown() override {
        FailWorkAllocationsAfter(-1);
        FreeRegionLabelMap();
    }
};

TEST_F(SubjectMaskTest, WithoutAFaceThePictureIsCutIntoRegionsForTouchingAndTheMaskStaysEmpty) {
    // Three blocks of clearly different colour, no face in sight.
    Picture p(90, 60);
    for (int y = 0; y < 60; y++)
        for (int x = 30; x < 90; x++) x < 60 ? p.Set(x, y, 20, 200, 20) : p.Set(x, y, 200, 20, 20);
    int32_t rect[4] = {9, 9, 9, 9};
    EXPECT_EQ(SUBJECT_NO_FACE, FindSubjectMask(p.bgr.data(), p.mask.data(), 90, 60, rect));
    EXPECT_TRUE(p.MaskEmpty()) << "the mask is cleared on entry and nothing is marked";
    EXPECT_EQ((Ints{0, 89, 0, 59}), Rect(rect));
    EXPECT_EQ((Ints{0, 89, 0, 59}), Rect(RegionRect));
    ASSERT_NE(nullptr, RegionLabelMap);
    // One label per block: the root's index within the rectangle.
    std::set<uint16_t> labels;
    for (int i = 0; i < 90 * 60; i++) labels.insert(p.Label(i % 90, i / 90));
    EXPECT_EQ(3u, labels.size());
    EXPECT_LT(*labels.rbegin(), 90 * 60);
    EXPECT_EQ(p.Label(0, 0), p.Label(29, 59));
    EXPECT_NE(p.Label(29, 0), p.Label(30, 0));
    EXPECT_NE(p.Label(59, 0), p.Label(60, 0));
    FreeRegionLabelMap();
    EXPECT_EQ(nullptr, RegionLabelMap);
}

TEST_F(SubjectMaskTest, OnlyTheLeadingRunOfLargeFacesShapesTheSubject) {
    // The limit is three quarters of the largest half eye distance: 15 for 20.
    const SubjectFace big{100, 60, 20, 0}, small{300, 60, 12, 0}, fifteen{300, 60, 15, 0};
    const SubjectFace bigThenSmall[] = {big, small}, smallThenBig[] = {small, big}, bigThenLimit[] = {big, fifteen};
    EXPECT_EQ(1, SubjectFaceCount(bigThenSmall, 2, 20));
    EXPECT_EQ(0, SubjectFaceCount(smallThenBig, 2, 20)) << "the run stops at the first small face";
    EXPECT_EQ(2, SubjectFaceCount(bigThenLimit, 2, 20));
    EXPECT_EQ(0, SubjectFaceCount(nullptr, 0, -1));

    // The rectangle is that of the first face alone: cx -/+ 16d, cy - 8d, cy + 32d, clamped.
    int32_t rect[4];
    Picture q(900, 300);
    ASSERT_EQ(SUBJECT_OK, RunWithEyes(q, rect, {Eyes(500, 200, 10), Eyes(100, 60, 6)}));
    EXPECT_EQ((Ints{340, 660, 120, 299}), Rect(rect));

    Picture r(400, 300);
    EXPECT_EQ(SUBJECT_NO_FACE, RunWithEyes(r, rect, {Eyes(300, 60, 12), Eyes(100, 60, 20)}))
        << "a large face after a small one is not a subject";
    EXPECT_TRUE(r.MaskEmpty());
    EXPECT_EQ((Ints{0, 399, 0, 299}), Rect(rect));
    EXPECT_NE(nullptr, RegionLabelMap);

    // Eyes on one column give a too narrow subject, no label map and no rectangle.
    std::fill(r.mask.begin(), r.mask.end(), 1);
    rect[0] = -5;
    EXPECT_EQ(SUBJECT_TOO_NARROW, RunWithEyes(r, rect, {{EyePoint{60, 40}, EyePoint{60, 40}}}));
    EXPECT_EQ(nullptr, RegionLabelMap);
    EXPECT_TRUE(r.MaskEmpty());
    EXPECT_EQ((Ints{0, 399, 0, 299}), Rect(RegionRect)) << "the region rectangle of the previous search is kept";
    EXPECT_EQ(-5, rect[0]);
}

TEST_F(SubjectMaskTest, SilhouetteHangsHeadShouldersAndBodyUnderTheFaceWidenedOnlyToTheSideItTurnsTo) {
    // Offsets from the eye midpoint of a face with half eye distance 10. Head: rows
    // -16 .. 19, columns -14 .. 14; the trunk is the column between the eyes from
    // row -19 to 27d; between the head and the upper body (rows 2d .. 5d) only the
    // trunk; the upper body is three half eye distances to each side, the shoulder
    // line (row 7d) four. A turned face (shift beyond 5) widens only its own side.
    struct Case {
        int shift, dx, dy;
        bool inside;
    };
    const Case cases[] = {
        {0, -14, -16, true},  {0, -14, -17, false}, {0, -15, 0, false},  {0, 0, -19, true},   {0, 0, -20, false},
        {0, 9, 270, true},    {0, 10, 270, false},  {0, 0, 280, false},  {0, -39, 70, true},  {0, 39, 70, true},
        {0, 39, 60, false},   {0, 29, 60, true},    {0, 30, 60, false},  {0, -29, 179, true}, {0, -29, 180, false},
        {0, -12, 30, false},  {0, -9, 30, true},    {-6, -39, 70, true}, {-6, 10, 70, false}, {-6, 9, 70, true},
        {-6, -29, 100, true}, {-6, 10, 100, false}, {6, 39, 70, true},   {6, -10, 70, false}, {6, -10, 100, false},
        {-5, 39, 70, true},   {5, -39, 70, true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.inside, InSilhouette(SubjectFace{100, 100, 10, c.shift}, 100 + c.dx, 100 + c.dy))
            << "shift " << c.shift << " at " << c.dx << ", " << c.dy;
}

TEST_F(SubjectMaskTest, FaceIsCentredOnTheSkinBelowItsEyes) {
    Picture p(200, 200, 128);  // grey is not skin
    SubjectFace g{100, 100, 10, 3};
    CentreOnSkin(p.bgr.data(), 200, 200, &g);
    EXPECT_EQ((Ints{100, 0}), (Ints{g.cx, g.shift})) << "without any skin pixel the face keeps its centre";
    for (int i = 0; i < 400; i++) p.Set(70 + i % 20, 100 + i / 20, 120, 150, 210);  // skin left of the midpoint
    SubjectFace f{100, 100, 10, 0};
    CentreOnSkin(p.bgr.data(), 200, 200, &f);
    EXPECT_EQ((Ints{79, 100, -21}), (Ints{f.cx, f.cy, f.shift}));  // mean of columns 70..89, truncated
}

TEST_F(SubjectMaskTest, TheRectanglesLastColumnNeverSeedsARegionButIsSetWhenItsRegionIsChosen) {
    // The face sits at the right edge, so the trunk reaches the rectangle's last column.
    for (int column : {199, 198}) {
        SCOPED_TRACE(column);
        Picture p(200, 300);
        for (int y = 0; y < 300; y++) p.Set(column, y, 0, 0, 230);
        int32_t rect[4];
        ASSERT_EQ(SUBJECT_OK, RunWithEyes(p, rect, {Eyes(190, 20, 10)}));
        ASSERT_TRUE(rect[1] == 199 && rect[3] == 299);
        EXPECT_EQ(column == 198 ? 1 : 0, p.Mask(column, 150));
        EXPECT_EQ(1, p.Mask(50, 299)) << "the grey region was chosen, so its pixels in the last row are set";
    }
}

TEST_F(SubjectMaskTest, EveryRegionTheSilhouetteTouchesIsChosenHoweverManyThereAre) {
    // Bars 1 x 200 pixels alternating black and white: each is a region too large
    // to merge away, and the silhouette touches more than five thousand.
    const int w = 760, h = 2900, bar = 200, cx = 380, cy = 200, d = 90;
    Picture p(w, h);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) ((x + y / bar) & 1) ? p.Set(x, y, 250, 250, 250) : p.Set(x, y, 10, 10, 10);
    std::set<std::pair<int, int>> touched;  // (column, band)
    for (int y = 0; y < h - 1; y++)
        for (int x = 0; x < w - 1; x++)
            if (InSilhouette(SubjectFace{cx, cy, d, 0}, x, y)) touched.insert({x, y / bar});
    ASSERT_GT(touched.size(), 5000u);

    int32_t rect[4];
    ASSERT_EQ(SUBJECT_OK, RunWithEyes(p, rect, {Eyes(cx, cy, d)}));
    size_t missing = 0;
    for (auto [x, band] : touched) missing += !p.Mask(x, band * bar) || !p.Mask(x, std::min(h, (band + 1) * bar) - 1);
    EXPECT_EQ(0u, missing);
    EXPECT_EQ(0, p.Mask(5, 2800)) << "bars far from the silhouette stay background";
}

TEST_F(SubjectMaskTest, ThePortraitsSubjectCoversFaceAndUpperBodyAndRunningOutOfMemoryAnywhereLeavesAnEmptyMask) {
    // The reduced copy of a sample photo, as the application makes it: 256 x 256,
    // eyes at about (101, 50) and (125, 50).
    std::string path = std::string(LUMETRA_SOURCE_DIR) + "/samples/astronaut_single.jpg";
    std::wstring wide(path.begin(), path.end());
    ImageRecord full{};
    ASSERT_EQ(1, LoadPicture(wide.c_str(), L"sample", &full));
    int level = PyramidLevel(std::max(full.width, full.height));
    Picture p(full.width >> level, full.height >> level);
    ResizePicture(full.pixels, full.width, full.height, p.bgr.data(), p.width, p.height, 1);
    ClearImageRecord(&full);

    int32_t rect[4];
    int failures = 0;
    bool completed = false;
    for (int allowed = 0; allowed < 200 && !completed; allowed++) {
        std::fill(p.mask.begin(), p.mask.end(), 1);
        FailWorkAllocationsAfter(allowed);
        const int code = FindSubjectMask(p.bgr.data(), p.mask.data(), p.width, p.height, rect);
        // Only the hole filler's marker map may be missing: the subject is still
        // found, with its holes left open.
        completed = code == SUBJECT_OK;
        if (!completed) {
            failures++;
            ASSERT_EQ(SUBJECT_NO_MEMORY, code) << allowed;
            EXPECT_TRUE(p.MaskEmpty() && RegionLabelMap == nullptr) << allowed;
        }
    }
    EXPECT_TRUE(completed);
    EXPECT_GE(failures, 8) << "grey copy, detector, face arrays, eye verifier, edges, nodes, thresholds, labels";

    FailWorkAllocationsAfter(-1);
    ASSERT_EQ(SUBJECT_OK, FindSubjectMask(p.bgr.data(), p.mask.data(), p.width, p.height, rect));
    EXPECT_EQ(1, p.Mask(113, 60)) << "nose";
    EXPECT_EQ(1, p.Mask(113, 40)) << "forehead";
    EXPECT_EQ(1, p.Mask(113, 150)) << "chest";
    EXPECT_EQ(0, p.Mask(240, 10)) << "background at the top right";
    EXPECT_TRUE(std::all_of(p.mask.begin(), p.mask.end(), [](uint8_t v) { return v <= 1; }));
    EXPECT_NE(nullptr, RegionLabelMap);
    EXPECT_EQ(Rect(rect), Rect(RegionRect));
}

}  // namespace
