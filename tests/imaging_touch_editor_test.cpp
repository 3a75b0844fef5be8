// Touch editing of a subject mask: a touch switches the regions of the label
// map under it on or off near the touch, then an addition fills the holes it
// closes and an erase keeps only the largest piece.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "imaging/TouchMaskEditor.h"
#include "subject/SubjectMask.h"
#include "subject/WorkMemory.h"

namespace {

using Picture = std::vector<std::string>;

// A mask; drawn as text '#' is subject (1), '.' background (0), a digit that value.
struct Mask {
    int w, h;
    std::vector<uint8_t> v;

    template <typename F>  // value(x, y) at every pixel
    Mask(int width, int height, F value) : w(width), h(height), v(static_cast<size_t>(width) * height) {
        for (int i = 0; i < w * h; i++) v[i] = static_cast<uint8_t>(value(i % w, i / w));
    }
    explicit Mask(const Picture& p)
        : Mask(static_cast<int>(p[0].size()), static_cast<int>(p.size()), [&](int x, int y) {
              return p[y][x] == '#' ? 1 : p[y][x] == '.' ? 0 : p[y][x] - '0';
          }) {}
    uint8_t& at(int x, int y) { return v[static_cast<size_t>(y) * w + x]; }
    Picture Drawn() const {
        Picture rows(h);
        for (int i = 0; i < w * h; i++)
            rows[i / w] += v[i] == 1 ? '#' : v[i] == 0 ? '.' : static_cast<char>('0' + v[i]);
        return rows;
    }
    void Touch(int x, int y, bool erase) { EditMaskByTouch(v.data(), w, h, x, y, erase ? 1 : 0); }
};

// A w x h picture of background with the blocks {x0, y0, x1, y1, c} (inclusive) drawn in turn in c.
Picture Draw(int w, int h, std::initializer_list<std::array<int, 5>> blocks) {
    Picture p(h, std::string(w, '.'));
    for (const auto& [x0, y0, x1, y1, c] : blocks)
        for (int y = y0; y <= y1; y++) p[y].replace(x0, x1 - x0 + 1, x1 - x0 + 1, static_cast<char>(c));
    return p;
}

// Every test starts and ends without a label map and with working memory available.
class TouchEditorTest : public ::testing::Test {
protected:
    void SetUp() override {
        FreeRegionLabelMap();
        FailWorkAllocationsAfter(-1);
    }
    void TearDown() override { SetUp(); }

    // Installs a label map over r = {left, right, top, bottom} as the subject
    // search leaves one (released with FreeRegionLabelMap).
    static void SetLabels(std::array<int, 4> r, const std::function<uint16_t(int, int)>& label) {
        FreeRegionLabelMap();
        const int rw = r[1] - r[0] + 1, rh = r[3] - r[2] + 1;
        RegionLabelMap = static_cast<uint16_t*>(std::malloc(sizeof(uint16_t) * rw * rh));
        ASSERT_NE(RegionLabelMap, nullptr);
        for (int i = 0; i < rw * rh; i++) RegionLabelMap[i] = label(r[0] + i % rw, r[2] + i / rw);
        std::copy(r.begin(), r.end(), RegionRect);
    }
};

TEST_F(TouchEditorTest, TouchesOutsideTheMapOrWithoutOneChangeNothing) {
    // Two pieces and a ring with an open hole: any clean-up would change them.
    const Picture scene =
        Draw(30, 8, {{1, 1, 4, 3, '#'}, {12, 2, 18, 6, '#'}, {13, 3, 17, 5, '.'}, {24, 4, 25, 5, '#'}});
    Mask m(scene);
    m.Touch(5, 3, true);  // no label map yet
    m.Touch(5, 3, false);
    EXPECT_EQ(m.Drawn(), scene);
    // The part of a map beyond the mask; just outside a map on each side (that
    // map stays for the calls without a mask, whose touch lies inside it).
    const std::pair<std::array<int, 4>, std::array<int, 2>> touches[] = {
        {{20, 39, 2, 11}, {29, 9}}, {{20, 39, 2, 11}, {35, 5}}, {{2, 27, 1, 6}, {1, 3}}, {{2, 27, 1, 6}, {28, 3}},
        {{2, 27, 1, 6}, {10, 0}},   {{2, 27, 1, 6}, {10, 7}},   {{2, 27, 1, 6}, {-1, 3}}};
    for (const auto& [map, at] : touches) {
        SetLabels(map, [](int, int) { return 0; });
        for (bool erase : {false, true}) {
            m.Touch(at[0], at[1], erase);
            EXPECT_EQ(m.Drawn(), scene) << at[0] << "," << at[1] << " erase " << erase;
        }
    }
    EditMaskByTouch(m.v.data(), 0, 8, 5, 3, 0);    // no width
    EditMaskByTouch(m.v.data(), 30, -1, 5, 3, 1);  // no height
    EditMaskByTouch(nullptr, 30, 8, 5, 3, 1);
    EXPECT_EQ(m.Drawn(), scene);
}

// A label map over `map` (left, right, top, bottom), one character a region,
// and the regions that are subject before the touch.
struct Scene {
    std::array<int, 4> map;
    Picture labels;
    const char* subject = "";
};
// Past the mask: columns 0..4 and the rest. Three: left and right above row 30,
// and below it. Ring: a square 6 thick (x and y 0..29) around its inside 'i', a
// 6 x 9 stretch of its right side a gap 'g' of its own. Bridge: squares 10 and 7
// wide joined by a bridge 'b' 8 long.
const Scene kPast = {{20, 39, 2, 11}, Draw(20, 10, {{0, 0, 4, 9, '1'}})};
const Scene kOneRegion = {{10, 109, 5, 84}, Picture(80, std::string(100, '.'))};
const Scene kThree = {{0, 59, 0, 39}, Draw(60, 40, {{30, 0, 59, 29, '2'}, {0, 30, 59, 39, '3'}})};
const Scene kRing = {
    {0, 39, 0, 34}, Draw(40, 35, {{0, 0, 29, 29, 'r'}, {6, 6, 23, 23, 'i'}, {24, 10, 29, 18, 'g'}}), "r"};
const Scene kBridge = {
    {0, 34, 0, 17}, Draw(35, 18, {{2, 4, 11, 13, 'L'}, {20, 4, 26, 10, 'R'}, {12, 6, 19, 9, 'b'}}), "LRb"};

// Erasing is checked at random below too, the larger piece met first or later.
TEST_F(TouchEditorTest, ATouchSwitchesTheRegionsNearItThenTidiesThePieces) {
    // Touched at x, y, a mask the size of `after` set up by the scene becomes `after`.
    const struct {
        const char* what;
        const Scene& scene;
        int x, y;
        bool erase;
        Picture after;
        int allowed = -1;  // work allocations that succeed
    } cases[] = {
        // Read with the row length of the part inside the mask, every other row would seem the other region.
        {"map past the mask", kPast, 22, 4, false, Draw(30, 8, {{20, 2, 24, 7, '#'}})},
        {"20 pixels around", kOneRegion, 60, 40, false, Draw(120, 90, {{40, 20, 80, 60, '#'}})},
        {"near the corner", kOneRegion, 12, 7, false, Draw(120, 90, {{10, 5, 32, 27, '#'}})},
        {"probe 2 columns", kThree, 28, 15, false, Draw(60, 40, {{8, 0, 48, 29, '#'}})},
        {"not 3 columns", kThree, 27, 15, false, Draw(60, 40, {{7, 0, 29, 29, '#'}})},
        {"probe 2 rows", kThree, 10, 28, false, Draw(60, 40, {{0, 8, 29, 29, '#'}, {0, 30, 30, 39, '#'}})},
        {"hole filled", kRing, 26, 14, false, Draw(40, 35, {{0, 0, 29, 29, '#'}})},
        {"larger half kept", kBridge, 16, 7, true, Draw(35, 18, {{2, 4, 11, 13, '#'}})},
        // Without working memory the regions switch, but no piece goes and no hole fills.
        {"no memory", kBridge, 16, 7, true, Draw(35, 18, {{2, 4, 11, 13, '#'}, {20, 4, 26, 10, '#'}}), 0},
        {"no memory (2)", kBridge, 16, 7, true, Draw(35, 18, {{2, 4, 11, 13, '#'}, {20, 4, 26, 10, '#'}}), 1},
        {"no memory", kRing, 26, 14, false, Draw(40, 35, {{0, 0, 29, 29, '#'}, {6, 6, 23, 23, '.'}}), 0},
    };
    for (const auto& c : cases) {
        const auto& [map, labels, subject] = c.scene;
        auto label = [&](int x, int y) { return labels[y - map[2]][x - map[0]]; };
        SetLabels(map, label);
        FailWorkAllocationsAfter(c.allowed);
        Mask m(static_cast<int>(c.after[0].size()), static_cast<int>(c.after.size()), [&](int x, int y) {
            return x >= map[0] && x <= map[1] && y >= map[2] && y <= map[3] && std::strchr(subject, label(x, y));
        });
        m.Touch(c.x, c.y, c.erase);
        EXPECT_EQ(m.Drawn(), c.after) << c.what;
    }
}

TEST_F(TouchEditorTest, KeepLargestBlobKeepsThePieceWithTheMostInnerPixelsWithinTheRectangle) {
    const std::array<int, 4> kWhole = {0, 99, 0, 99};  // left, right, top, bottom: cut to the mask
    const Picture rimRing = {"...........", ".#####.....", ".#####.####", ".##.##.####",
                             ".#####.####", ".#####.####", "...........", "........###"};
    Picture rimRingKept = rimRing;
    for (std::string& row : rimRingKept) row.replace(6, 5, 5, '.');
    const Picture two = {"##.....", "##..###", "....###", "....###"};
    // One piece with two holes and a bay open downwards.
    const Picture one = {"...........", ".#########.", ".#.....#.#.", ".#.....#.#.",
                         ".#######.#.", ".#######.#.", "..........."};
    const Picture stray = {".......", ".##..7.", ".##....", "....2..", "3......"};
    const Picture settled = {".......", ".##..#.", ".##....", "....#..", "3......"};
    const struct {
        const char* what;
        Picture in;
        std::array<int, 4> rect;
        Picture out;
        int allowed = -1;  // work allocations that succeed
    } cases[] = {
        // Of equal pieces the one the scan meets later stays: the right square starts higher, then lower.
        {"tie, left", Draw(14, 7, {{2, 3, 5, 6, '#'}, {10, 1, 13, 4, '#'}}), kWhole, Draw(14, 7, {{2, 3, 5, 6, '#'}})},
        {"tie, right", Draw(14, 6, {{2, 1, 5, 4, '#'}, {10, 2, 13, 5, '#'}}), kWhole,
         Draw(14, 6, {{10, 2, 13, 5, '#'}})},
        // A 12-pixel line has no inner pixel, the 3 x 3 square one, the 5 x 5 nine;
        // the small square's box reaches into the larger one's.
        {"inner pixels", Draw(24, 16, {{1, 1, 1, 12, '#'}, {6, 1, 8, 3, '#'}, {8, 5, 12, 9, '#'}}), kWhole,
         Draw(24, 16, {{8, 5, 12, 9, '#'}})},
        {"thin bar, fat block", Draw(19, 8, {{1, 1, 17, 2, '#'}, {3, 4, 6, 7, '#'}}), kWhole,
         Draw(19, 8, {{3, 4, 6, 7, '#'}})},
        // A ring 3 thick (88 inner pixels) beats its island, whose hole stays open; one 1 thin (none) does not.
        {"thick ring", Draw(17, 17, {{1, 1, 15, 15, '#'}, {4, 4, 12, 12, '.'}, {7, 7, 9, 9, '#'}}), kWhole,
         Draw(17, 17, {{1, 1, 15, 15, '#'}, {4, 4, 12, 12, '.'}})},
        {"thin ring", Draw(13, 13, {{1, 1, 11, 11, '#'}, {2, 2, 10, 10, '.'}, {5, 5, 7, 7, '#'}}), kWhole,
         Draw(13, 13, {{5, 5, 7, 7, '#'}})},
        // A hole's rim counts: the ring (8) beats the 4 x 4 block (4) met later.
        {"rim", rimRing, kWhole, rimRingKept},
        // Of the left block only columns 3 and 4 lie inside: no inner pixel.
        {"only the rectangle",
         Draw(17, 11, {{0, 0, 16, 10, '#'}, {1, 1, 15, 9, '.'}, {0, 2, 4, 8, '#'}, {10, 3, 13, 6, '#'}}),
         {3, 14, 2, 8},
         Draw(17, 11, {{0, 0, 16, 10, '#'}, {1, 1, 15, 9, '.'}, {0, 2, 2, 8, '#'}, {10, 3, 13, 6, '#'}})},
        {"cut to the mask", two, {-4, 20, -1, 9}, {".......", "....###", "....###", "....###"}},
        {"left past right", two, {5, 1, 0, 3}, two},
        {"one piece", one, kWhole, one},
        {"no piece", Picture(3, "....."), kWhole, Picture(3, ".....")},
        // Without working memory stray values inside the rectangle end as subject, and no piece goes.
        {"no memory", stray, {0, 6, 0, 3}, settled, 0},
        {"no memory, second buffer", stray, {0, 6, 0, 3}, settled, 1},
    };
    for (const auto& c : cases) {
        FailWorkAllocationsAfter(c.allowed);
        Mask m(c.in);
        KeepLargestBlob(m.v.data(), m.w, m.h, c.rect[0], c.rect[1], c.rect[2], c.rect[3]);
        EXPECT_EQ(m.Drawn(), c.out) << c.what;
    }
}

using Steps = std::vector<std::pair<int, int>>;
const Steps kFour = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}};
const Steps kEight = {{-1, -1}, {0, -1}, {1, -1}, {1, 0}, {1, 1}, {0, 1}, {-1, 1}, {-1, 0}};  // clockwise

// Numbers the sets of cells of a w x h grid where in(x, y) holds, joined by
// `steps`, in raster order of their first cells; -1 elsewhere.
template <typename In>
std::vector<int> Components(int w, int h, const Steps& steps, In in) {
    std::vector<int> id(static_cast<size_t>(w) * h, -1);
    int n = 0;
    std::function<void(int, int)> fill = [&](int x, int y) {
        if (x < 0 || x >= w || y < 0 || y >= h || id[y * w + x] >= 0 || !in(x, y)) return;
        id[y * w + x] = n;
        for (const auto& [dx, dy] : steps) fill(x + dx, y + dy);
    };
    for (int i = 0; i < w * h; i++)
        if (id[i] < 0 && in(i % w, i / w)) fill(i % w, i / w), n++;
    return id;
}

// The pieces of a mask's rectangle as the test sees them: 8-connected subject
// pixels in raster order of their first pixels, on a grid of the rectangle and
// a one-pixel frame. A piece's inner pixels have no edge neighbour in the
// background around it (the 4-connected background holding the cell left of
// its first pixel). That is what a contour walk steps on, unless the walk meets
// its start early: when the start's subject neighbours are not one run around
// it, the count may be too low, and `exact` is false.
struct Pieces {
    int left, top, gridW;
    std::vector<int> id;  // per grid cell: its piece, or -1
    std::vector<int64_t> inner;
    bool exact = true;
    int At(int x, int y) const { return id[static_cast<size_t>(y - top + 1) * gridW + x - left + 1]; }
};
Pieces FindPieces(const Mask& m, int left, int right, int top, int bottom) {
    const int gw = right - left + 3, gh = bottom - top + 3;
    auto subject = [&](int x, int y) {
        return x > 0 && x < gw - 1 && y > 0 && y < gh - 1 && m.v[static_cast<size_t>(y + top - 1) * m.w + x + left - 1];
    };
    Pieces p{left, top, gw, Components(gw, gh, kEight, subject), {}};
    std::vector<int> starts;  // each piece's first cell
    for (int i = 0; i < gw * gh; i++)
        if (p.id[i] == static_cast<int>(starts.size())) starts.push_back(i);
    const std::vector<int> background = Components(gw, gh, kFour, [&](int x, int y) { return !subject(x, y); });
    p.inner.assign(starts.size(), 0);
    for (int i = 0; i < gw * gh; i++) {
        if (p.id[i] < 0) continue;
        const int around = background[starts[p.id[i]] - 1];
        p.inner[p.id[i]] += background[i - 1] != around && background[i + 1] != around &&
                            background[i - gw] != around && background[i + gw] != around;
    }
    for (int s : starts) {
        int changes = 0;
        for (int k = 0; k < 8; k++)
            changes += subject(s % gw + kEight[k].first, s / gw + kEight[k].second) !=
                       subject(s % gw + kEight[(k + 1) % 8].first, s / gw + kEight[(k + 1) % 8].second);
        p.exact = p.exact && changes <= 2;
    }
    return p;
}

TEST_F(TouchEditorTest, RandomErasesKeepExactlyOneWholePieceAndItIsTheLargest) {
    std::mt19937 rng(29);
    const int rounds = 3000;
    int weighed = 0;  // rounds with several pieces whose inner counts are exact
    for (int round = 0; round < rounds; round++) {
        SCOPED_TRACE(testing::Message() << "round " << round);
        const int w = 8 + rng() % 40, h = 8 + rng() % 40;
        const int left = rng() % 4, right = w - 1 - rng() % 4, top = rng() % 4, bottom = h - 1 - rng() % 4;
        auto inRect = [&](int x, int y) { return x >= left && x <= right && y >= top && y <= bottom; };
        // Regions: square cells of 1 to 5 pixels with a few labels, so that
        // erasing leaves ragged pieces as well as blocky ones.
        const int cell = 1 + rng() % 5, labels = 2 + rng() % 5;
        std::vector<uint16_t> cellLabel(static_cast<size_t>(w / cell + 1) * (h / cell + 1));
        for (uint16_t& l : cellLabel) l = static_cast<uint16_t>(rng() % labels);
        auto label = [&](int x, int y) { return cellLabel[static_cast<size_t>(y / cell) * (w / cell + 1) + x / cell]; };
        SetLabels({left, right, top, bottom}, label);

        const unsigned subjectLabels = rng();
        Mask m(w, h, [&](int x, int y) {
            return inRect(x, y) ? (subjectLabels >> label(x, y) & 1) != (rng() % 25 == 0) : rng() % 3 * 4;
        });
        const int tx = left + rng() % (right - left + 1), ty = top + rng() % (bottom - top + 1);

        // The mask once the regions of the 5 x 5 probe are switched off 20 pixels around.
        auto probed = [&](int l) {
            for (int i = 0; i < 25; i++)
                if (inRect(tx - 2 + i % 5, ty - 2 + i / 5) && label(tx - 2 + i % 5, ty - 2 + i / 5) == l) return true;
            return false;
        };
        Mask switched(w, h, [&](int x, int y) {
            return inRect(x, y) && std::abs(x - tx) <= 20 && std::abs(y - ty) <= 20 && probed(label(x, y)) ? 0
                                                                                                           : m.at(x, y);
        });
        const Pieces pieces = FindPieces(switched, left, right, top, bottom);

        m.Touch(tx, ty, true);

        int kept = -1, keptPixels = 0;
        for (int y = 0; y < h; y++) {
            for (int x = 0; x < w; x++) {
                if (!inRect(x, y)) {
                    ASSERT_EQ(m.at(x, y), switched.at(x, y)) << "outside at " << x << "," << y;
                } else if (m.at(x, y) != 0) {
                    ASSERT_EQ(m.at(x, y), 1);
                    const int piece = pieces.At(x, y);
                    ASSERT_GE(piece, 0) << "subject added at " << x << "," << y;
                    if (kept < 0) kept = piece;
                    ASSERT_EQ(piece, kept) << "two pieces kept";
                    keptPixels++;
                }
            }
        }
        if (pieces.inner.empty()) continue;
        ASSERT_GE(kept, 0) << "every piece erased";
        ASSERT_EQ(keptPixels, std::count(pieces.id.begin(), pieces.id.end(), kept)) << "piece kept in part";
        if (pieces.inner.size() < 2 || !pieces.exact) continue;
        weighed++;
        int largest = 0;
        for (size_t i = 1; i < pieces.inner.size(); i++)
            if (pieces.inner[i] >= pieces.inner[largest]) largest = static_cast<int>(i);
        ASSERT_EQ(kept, largest) << "kept " << pieces.inner[kept] << " inner pixels, piece " << largest << " has "
                                 << pieces.inner[largest];
    }
    EXPECT_GT(weighed, rounds / 4);
}

}  // namespace
