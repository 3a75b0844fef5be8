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

struct Picture {
    int width = 0, height = 0;
    std::vector<uint8_t> bgr;
    std::vector<uint8_t> mask;

    Picture(int w, int h, uint8_t grey = 128)
        : width(w), height(h), bgr((size_t)w * h * 3, grey), mask((size_t)w * h, 7) {}
    void Set(int x, int y, uint8_t b, uint8_t g, uint8_t r) {
        uint8_t* p = &bgr[((size_t)y * width + x) * 3];
        p[0] = b, p[1] = g, p[2] = r;
    }
    uint8_t Mask(int x, int y) const { return mask[(size_t)y * width + x]; }
    bool MaskEmpty() const {
        return std::all_of(mask.begin(), mask.end(), [](uint8_t v) { return v == 0; });
    }
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
    EXPECT_EQ((std::vector<int32_t>{0, 89, 0, 59}), std::vector<int32_t>(rect, rect + 4));
    EXPECT_EQ((std::vector<int32_t>{0, 89, 0, 59}), std::vector<int32_t>(RegionRect, RegionRect + 4));
    ASSERT_NE(nullptr, RegionLabelMap);
    // One label per block: the root's index within the rectangle.
    std::set<uint16_t> labels;
    for (int y = 0; y < 60; y++)
        for (int x = 0; x < 90; x++) labels.insert(p.Label(x, y));
    EXPECT_EQ(3u, labels.size());
    EXPECT_EQ(p.Label(0, 0), p.Label(29, 59));
    EXPECT_NE(p.Label(29, 0), p.Label(30, 0));
    EXPECT_NE(p.Label(59, 0), p.Label(60, 0));
    for (uint16_t label : labels) EXPECT_LT(label, 90 * 60);
    FreeRegionLabelMap();
    EXPECT_EQ(nullptr, RegionLabelMap);
}

TEST_F(SubjectMaskTest, EyesOnOneColumnGiveATooNarrowSubjectAndNoLabelMap) {
    Picture p(120, 120);
    int32_t rect[4];
    ASSERT_EQ(SUBJECT_NO_FACE, RunWithEyes(p, rect, {}));  // leaves a whole-picture label map
    std::fill(p.mask.begin(), p.mask.end(), 1);
    rect[0] = rect[1] = rect[2] = rect[3] = -5;
    EXPECT_EQ(SUBJECT_TOO_NARROW, RunWithEyes(p, rect, {{EyePoint{60, 40}, EyePoint{60, 40}}}));
    EXPECT_EQ(nullptr, RegionLabelMap);
    EXPECT_TRUE(p.MaskEmpty());
    EXPECT_EQ((std::vector<int32_t>{0, 119, 0, 119}), std::vector<int32_t>(RegionRect, RegionRect + 4))
        << "the region rectangle of the previous search is left as it was";
    EXPECT_EQ(-5, rect[0]) << "no subject rectangle is reported";
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
    EXPECT_EQ((std::vector<int32_t>{340, 660, 120, 299}), std::vector<int32_t>(rect, rect + 4));

    Picture r(400, 300);
    EXPECT_EQ(SUBJECT_NO_FACE, RunWithEyes(r, rect, {Eyes(300, 60, 12), Eyes(100, 60, 20)}))
        << "a large face after a small one is not a subject";
    EXPECT_TRUE(r.MaskEmpty());
    EXPECT_EQ((std::vector<int32_t>{0, 399, 0, 299}), std::vector<int32_t>(rect, rect + 4));
    EXPECT_NE(nullptr, RegionLabelMap);
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
        {-5, 39, 70, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "shift " << c.shift << " at " << c.dx << ", " << c.dy);
        EXPECT_EQ(c.inside, InSilhouette(SubjectFace{100, 100, 10, c.shift}, 100 + c.dx, 100 + c.dy));
    }
}

TEST_F(SubjectMaskTest, FaceIsCentredOnTheSkinBelowItsEyes) {
    Picture p(200, 200, 128);  // grey is not skin
    SubjectFace g{100, 100, 10, 3};
    CentreOnSkin(p.bgr.data(), 200, 200, &g);
    EXPECT_EQ(100, g.cx) << "without any skin pixel the face keeps its centre";
    EXPECT_EQ(0, g.shift);
    for (int y = 100; y < 120; y++)
        for (int x = 70; x < 90; x++) p.Set(x, y, 120, 150, 210);  // skin left of the eyes' midpoint
    SubjectFace f{100, 100, 10, 0};
    CentreOnSkin(p.bgr.data(), 200, 200, &f);
    EXPECT_EQ(79, f.cx);  // mean of columns 70..89, truncated
    EXPECT_EQ(-21, f.shift);
    EXPECT_EQ(100, f.cy);
}

TEST_F(SubjectMaskTest, TheRectanglesLastColumnNeverSeedsARegionButIsSetWhenItsRegionIsChosen) {
    // The face sits at the right edge, so the trunk reaches the rectangle's last column.
    for (int column : {199, 198}) {
        SCOPED_TRACE(column);
        Picture p(200, 300);
        for (int y = 0; y < 300; y++) p.Set(column, y, 0, 0, 230);
        int32_t rect[4];
        ASSERT_EQ(SUBJECT_OK, RunWithEyes(p, rect, {Eyes(190, 20, 10)}));
        ASSERT_EQ(199, rect[1]);
        ASSERT_EQ(299, rect[3]);
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
    const SubjectFace face{cx, cy, d, 0};
    std::set<std::pair<int, int>> touched;  // (column, band)
    for (int y = 0; y < h - 1; y++)
        for (int x = 0; x < w - 1; x++)
            if (InSilhouette(face, x, y)) touched.insert({x, y / bar});
    ASSERT_GT(touched.size(), 5000u);

    int32_t rect[4];
    ASSERT_EQ(SUBJECT_OK, RunWithEyes(p, rect, {Eyes(cx, cy, d)}));
    size_t missing = 0;
    for (auto [x, band] : touched) {
        int last = std::min(h, (band + 1) * bar) - 1;
        if (!p.Mask(x, band * bar) || !p.Mask(x, last)) missing++;
    }
    EXPECT_EQ(0u, missing);
    EXPECT_EQ(0, p.Mask(5, 2800)) << "bars far from the silhouette stay background";
}

// The reduced copy of a sample photo, as the application makes it.
Picture Reduced(const std::string& sample) {
    std::string path = std::string(LUMETRA_SOURCE_DIR) + "/samples/" + sample;
    std::wstring wide(path.begin(), path.end());
    ImageRecord full{};
    EXPECT_EQ(1, LoadPicture(wide.c_str(), L"sample", &full));
    int level = PyramidLevel(std::max(full.width, full.height));
    Picture p(full.width >> level, full.height >> level);
    ResizePicture(full.pixels, full.width, full.height, p.bgr.data(), p.width, p.height, 1);
    ClearImageRecord(&full);
    return p;
}

TEST_F(SubjectMaskTest, ThePortraitsSubjectCoversFaceAndUpperBodyButNotTheSky) {
    Picture p = Reduced("astronaut_single.jpg");  // 256 x 256, eyes at about (101, 50) and (125, 50)
    int32_t rect[4];
    ASSERT_EQ(SUBJECT_OK, FindSubjectMask(p.bgr.data(), p.mask.data(), p.width, p.height, rect));
    EXPECT_EQ(1, p.Mask(113, 60)) << "nose";
    EXPECT_EQ(1, p.Mask(113, 40)) << "forehead";
    EXPECT_EQ(1, p.Mask(113, 150)) << "chest";
    EXPECT_EQ(0, p.Mask(240, 10)) << "background at the top right";
    EXPECT_TRUE(std::all_of(p.mask.begin(), p.mask.end(), [](uint8_t v) { return v <= 1; }));
    EXPECT_NE(nullptr, RegionLabelMap);
    EXPECT_EQ(0, std::memcmp(rect, RegionRect, sizeof RegionRect));
}

TEST_F(SubjectMaskTest, MemoryRunningOutAnywhereGivesTheMemoryCodeAndAnEmptyMask) {
    Picture p = Reduced("astronaut_single.jpg");
    int32_t rect[4];
    int failures = 0;
    bool completed = false;
    for (int allowed = 0; allowed < 200 && !completed; allowed++) {
        SCOPED_TRACE(allowed);
        std::fill(p.mask.begin(), p.mask.end(), 1);
        FailWorkAllocationsAfter(allowed);
        int code = FindSubjectMask(p.bgr.data(), p.mask.data(), p.width, p.height, rect);
        if (code == SUBJECT_NO_MEMORY) {
            failures++;
            EXPECT_TRUE(p.MaskEmpty());
            EXPECT_EQ(nullptr, RegionLabelMap);
        } else {
            // Only the hole filler's marker map may be missing: the subject is
            // still found, with its holes left open.
            ASSERT_EQ(SUBJECT_OK, code);
            completed = true;
        }
    }
    EXPECT_TRUE(completed);
    EXPECT_GE(failures, 8) << "grey copy, detector, face arrays, eye verifier, edges, nodes, thresholds, labels";
}

}  // namespace
