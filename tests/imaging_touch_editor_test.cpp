#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "imaging/TouchMaskEditor.h"
#include "subject/SubjectMask.h"
#include "subject/WorkMemory.h"

namespace {

using Picture = std::vector<std::string>;

// A mask drawn as text: '#' = subject (1), '.' = background (0), a digit = that value.
struct Mask {
    int w = 0, h = 0;
    std::vector<uint8_t> v;

    Mask(int width, int height) : w(width), h(height), v(static_cast<size_t>(width) * height) {}
    explicit Mask(const Picture& rows) : w(static_cast<int>(rows[0].size())), h(static_cast<int>(rows.size())) {
        for (const std::string& row : rows)
            for (char c : row) v.push_back(c == '#' ? 1 : c == '.' ? 0 : c - '0');
    }
    // The mask of value(x, y).
    template <typename F>
    Mask(int width, int height, F value) : Mask(width, height) {
        for (int i = 0; i < w * h; i++) v[i] = static_cast<uint8_t>(value(i % w, i / w));
    }
    uint8_t& at(int x, int y) { return v[static_cast<size_t>(y) * w + x]; }
    // Success when every pixel is want(x, y); else the first that is not is named.
    template <typename F>
    testing::AssertionResult Is(F want) const {
        for (int i = 0; i < w * h; i++)
            if (v[i] != static_cast<uint8_t>(want(i % w, i / w)))
                return testing::AssertionFailure() << "pixel " << i % w << "," << i / w << " is " << int(v[i]);
        return testing::AssertionSuccess();
    }
    Picture Drawn() const {
        Picture rows(h);
        for (int i = 0; i < w * h; i++)
            rows[i / w] += v[i] == 1 ? '#' : v[i] == 0 ? '.' : static_cast<char>('0' + v[i]);
        return rows;
    }
    Picture KeptLargest(int left, int right, int top, int bottom) {
        KeepLargestBlob(v.data(), w, h, left, right, top, bottom);
        return Drawn();
    }
    Picture KeptLargest() { return KeptLargest(0, w - 1, 0, h - 1); }
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

    // Installs a label map over left..right, top..bottom, as the subject search
    // leaves one (it is released with FreeRegionLabelMap).
    static void SetLabels(int left, int right, int top, int bottom, const std::function<uint16_t(int, int)>& label) {
        FreeRegionLabelMap();
        const int rw = right - left + 1, rh = bottom - top + 1;
        RegionLabelMap = static_cast<uint16_t*>(std::malloc(sizeof(uint16_t) * rw * rh));
        ASSERT_NE(RegionLabelMap, nullptr);
        for (int i = 0; i < rw * rh; i++) RegionLabelMap[i] = label(left + i % rw, top + i / rw);
        RegionRect[0] = left, RegionRect[1] = right, RegionRect[2] = top, RegionRect[3] = bottom;
    }
};

// The same scene for the hole and failure tests: a square ring 6 pixels thick
// (x and y 0..29) around an inner region, with a 6 x 9 stretch of its right
// side being a region of its own. Only the rest of the ring is subject.
constexpr uint16_t kRing = 1, kGap = 2, kInner = 3, kOutside = 4;
uint16_t RingLabel(int x, int y) {
    if (x > 29 || y > 29) return kOutside;
    if (x >= 6 && x <= 23 && y >= 6 && y <= 23) return kInner;
    if (x >= 24 && y >= 10 && y <= 18) return kGap;
    return kRing;
}
bool OnRing(int x, int y) {
    return RingLabel(x, y) == kRing;
}

TEST_F(TouchEditorTest, TouchOutsideTheRectangleOrBeforeAnySearchChangesNothing) {
    // Two pieces and a ring with an open hole: any clean-up would change them.
    const Picture scene =
        Draw(30, 8, {{1, 1, 4, 3, '#'}, {12, 2, 18, 6, '#'}, {13, 3, 17, 5, '.'}, {24, 4, 25, 5, '#'}});
    Mask m(scene);
    m.Touch(5, 3, true);  // no label map yet
    m.Touch(5, 3, false);
    EXPECT_EQ(m.Drawn(), scene);

    SetLabels(2, 27, 1, 6, [](int, int) { return 0; });
    for (bool erase : {false, true}) {
        for (const auto& [x, y] : std::vector<std::pair<int, int>>{{1, 3}, {28, 3}, {10, 0}, {10, 7}, {-1, 3}}) {
            m.Touch(x, y, erase);
            EXPECT_EQ(m.Drawn(), scene) << x << "," << y << " erase " << erase;
        }
    }
    EditMaskByTouch(m.v.data(), 0, 8, 5, 3, 0);    // no width
    EditMaskByTouch(m.v.data(), 30, -1, 5, 3, 1);  // no height
    EditMaskByTouch(nullptr, 30, 8, 5, 3, 1);
    EXPECT_EQ(m.Drawn(), scene);

    // The part of a label map's rectangle beyond the mask holds no touch either.
    SetLabels(20, 39, 2, 11, [](int, int) { return 0; });
    m.Touch(29, 9, false);
    m.Touch(35, 5, true);
    EXPECT_EQ(m.Drawn(), scene);
}

TEST_F(TouchEditorTest, ALabelMapReachingPastTheMaskIsReadWithItsOwnRowLength) {
    // The map covers columns 20..39 and rows 2..11 of a 30 x 8 mask: region 1 is
    // its columns 20..24, region 2 the rest. Read with the row length of the part
    // inside the mask, every other row would seem to be region 2.
    SetLabels(20, 39, 2, 11, [](int x, int) { return x < 25 ? 1 : 2; });
    Mask m(30, 8);
    m.Touch(22, 4, false);
    EXPECT_TRUE(m.Is([](int x, int y) { return x >= 20 && x < 25 && y >= 2; }));
}

TEST_F(TouchEditorTest, AddingSwitchesALargeRegionOnlyWithinTwentyPixelsOfTheTouch) {
    auto square = [](int x, int y) { return x >= 40 && x <= 80 && y >= 20 && y <= 60; };
    SetLabels(10, 109, 5, 84, [](int, int) { return 7; });
    Mask m(120, 90), corner(120, 90), full(120, 90, [](int, int) { return 1; });
    m.Touch(60, 40, false);
    EXPECT_TRUE(m.Is(square));
    // Near the rectangle's corner the square is cut there: nothing outside it is set.
    corner.Touch(12, 7, false);
    EXPECT_TRUE(corner.Is([](int x, int y) { return x >= 10 && x <= 32 && y >= 5 && y <= 27; }));
    // Erasing takes away the same square and nothing more.
    full.Touch(60, 40, true);
    EXPECT_TRUE(full.Is([&](int x, int y) { return !square(x, y); }));
}

TEST_F(TouchEditorTest, ProbePicksUpRegionsTwoPixelsAwayButNotThree) {
    // Region 1 left of column 30, region 2 from there on; region 3 below row 30.
    SetLabels(0, 59, 0, 39, [](int x, int y) { return y >= 30 ? 3 : x < 30 ? 1 : 2; });
    Mask near(60, 40), far(60, 40), below(60, 40);
    near.Touch(28, 15, false);
    far.Touch(27, 15, false);
    EXPECT_TRUE(near.Is([](int x, int y) { return x >= 8 && x <= 48 && y < 30; }));
    EXPECT_TRUE(far.Is([](int x, int y) { return x >= 7 && x < 30 && y < 30; }));
    // Rows count the same way: two rows above region 3 it is taken too.
    below.Touch(10, 28, false);
    EXPECT_TRUE(below.Is([](int x, int y) { return y >= 8 && (y >= 30 ? x <= 30 : x < 30); }));
}

TEST_F(TouchEditorTest, AddingTheMissingSideOfARingFillsTheHoleItCloses) {
    SetLabels(0, 39, 0, 34, RingLabel);
    Mask m(40, 35, OnRing);
    m.Touch(26, 14, false);  // the probe square lies inside the gap
    EXPECT_TRUE(m.Is([](int x, int y) { return x <= 29 && y <= 29; }));
}

// Two squares joined by a bridge; each square is a region, and so is the bridge.
constexpr uint16_t kLeftSquare = 1, kBridge = 2, kRightSquare = 3, kAround = 4;
uint16_t BridgeLabel(int x, int y, int leftSize, int rightSize) {
    if (x >= 2 && x < 2 + leftSize && y >= 4 && y < 4 + leftSize) return kLeftSquare;
    const int rightStart = 2 + leftSize + 8;
    if (x >= rightStart && x < rightStart + rightSize && y >= 4 && y < 4 + rightSize) return kRightSquare;
    if (x >= 2 + leftSize && x < rightStart && y >= 6 && y <= 9) return kBridge;
    return kAround;
}

TEST_F(TouchEditorTest, ErasingABridgeKeepsTheLargerHalf) {
    for (const auto& [leftSize, rightSize] : std::vector<std::pair<int, int>>{{10, 7}, {7, 10}}) {
        auto label = [&](int x, int y) { return BridgeLabel(x, y, leftSize, rightSize); };
        SetLabels(0, 34, 0, 17, label);
        Mask m(35, 18, [&](int x, int y) { return label(x, y) != kAround; });
        m.Touch(2 + leftSize + 4, 7, true);  // the bridge's middle
        const uint16_t larger = leftSize > rightSize ? kLeftSquare : kRightSquare;
        EXPECT_TRUE(m.Is([&](int x, int y) { return label(x, y) == larger; })) << leftSize << "/" << rightSize;
    }
}

TEST_F(TouchEditorTest, ErasingWithOnePieceLeftLeavesItAsItIs) {
    // One region with two holes and a bay open downwards, and a second region at
    // its right edge.
    const Picture shape = {"................", ".#########aaaaa.", ".#.....#.#aaaaa.", ".#.....#.#aaaaa.",
                           ".#######.#aaaaa.", ".#######.#aaaaa.", "................"};
    SetLabels(0, 15, 0, 6, [&](int x, int y) { return shape[y][x] == 'a' ? 1 : shape[y][x] == '#' ? 2 : 0; });
    Mask m(16, 7, [&](int x, int y) { return shape[y][x] != '.'; });
    m.Touch(12, 3, true);
    EXPECT_EQ(m.Drawn(), (Picture{"................", ".#########......", ".#.....#.#......", ".#.....#.#......",
                                  ".#######.#......", ".#######.#......", "................"}));
    // Erasing the last piece leaves nothing, and erasing nothing changes nothing.
    m.Touch(1, 1, true);
    EXPECT_EQ(m.v, std::vector<uint8_t>(16 * 7, 0));
    m.Touch(1, 1, true);
    EXPECT_EQ(m.v, std::vector<uint8_t>(16 * 7, 0));
}

TEST(KeepLargestBlobTest, TwoPiecesOfEqualSizeKeepTheOneTheScanMeetsLater) {
    // The right square starts two rows higher, so the scan meets it first.
    EXPECT_EQ(Mask(Draw(14, 7, {{2, 3, 5, 6, '#'}, {10, 1, 13, 4, '#'}})).KeptLargest(),
              Draw(14, 7, {{2, 3, 5, 6, '#'}}));
    // With the rows swapped the right square is met later and stays.
    EXPECT_EQ(Mask(Draw(14, 6, {{2, 1, 5, 4, '#'}, {10, 2, 13, 5, '#'}})).KeptLargest(),
              Draw(14, 6, {{10, 2, 13, 5, '#'}}));
}

TEST(KeepLargestBlobTest, PiecesAreWeighedByTheirInnerPixelsNotByLengthOrBox) {
    // A 12-pixel line has no inner pixel, the 3 x 3 square one, the 5 x 5 square
    // nine: only the 5 x 5 square stays, although the line and the small square
    // are met first and the small square's box reaches into the larger one's.
    EXPECT_EQ(Mask(Draw(24, 16, {{1, 1, 1, 12, '#'}, {6, 1, 8, 3, '#'}, {8, 5, 12, 9, '#'}})).KeptLargest(),
              Draw(24, 16, {{8, 5, 12, 9, '#'}}));
    // A long thin bar loses to a short fat block with more inner pixels.
    EXPECT_EQ(Mask(Draw(19, 8, {{1, 1, 17, 2, '#'}, {3, 4, 6, 7, '#'}})).KeptLargest(),
              Draw(19, 8, {{3, 4, 6, 7, '#'}}));
}

TEST(KeepLargestBlobTest, APieceInsideAnotherPiecesHoleIsWeighedOnItsOwn) {
    // A ring three pixels thick (88 inner pixels) around an island (one): the
    // island goes and the hole stays open.
    EXPECT_EQ(Mask(Draw(17, 17, {{1, 1, 15, 15, '#'}, {4, 4, 12, 12, '.'}, {7, 7, 9, 9, '#'}})).KeptLargest(),
              Draw(17, 17, {{1, 1, 15, 15, '#'}, {4, 4, 12, 12, '.'}}));
    // A ring one pixel thin has no inner pixel, so the island inside it wins.
    EXPECT_EQ(Mask(Draw(13, 13, {{1, 1, 11, 11, '#'}, {2, 2, 10, 10, '.'}, {5, 5, 7, 7, '#'}})).KeptLargest(),
              Draw(13, 13, {{5, 5, 7, 7, '#'}}));
    // The rim around a hole counts as inner pixels: the ring (rim of 8) beats the
    // 4 x 4 block (4) met after it.
    EXPECT_EQ(Mask({"...........", ".#####.....", ".#####.####", ".##.##.####", ".#####.####", ".#####.####",
                    "...........", "........###"})
                  .KeptLargest(),
              (Picture{"...........", ".#####.....", ".#####.....", ".##.##.....", ".#####.....", ".#####.....",
                       "...........", "..........."}));
}

TEST(KeepLargestBlobTest, OnlyTheRectangleIsWeighedAndChanged) {
    // Rectangle: columns 3..14, rows 2..8. Of the block at the left only two
    // columns lie inside it (no inner pixel); the 4 x 4 block (four) stays. The
    // frame outside the rectangle never changes.
    const Picture scene =
        Draw(17, 11, {{0, 0, 16, 10, '#'}, {1, 1, 15, 9, '.'}, {0, 2, 4, 8, '#'}, {10, 3, 13, 6, '#'}});
    Picture expected = scene;
    for (int y = 2; y <= 8; y++) expected[y][3] = expected[y][4] = '.';
    EXPECT_EQ(Mask(scene).KeptLargest(3, 14, 2, 8), expected);

    // A rectangle reaching past the mask is cut to it; a left > right one does nothing.
    const Picture two = {"##.....", "##..###", "....###", "....###"};
    EXPECT_EQ(Mask(two).KeptLargest(-4, 20, -1, 9), (Picture{".......", "....###", "....###", "....###"}));
    EXPECT_EQ(Mask(two).KeptLargest(5, 1, 0, 3), two);
}

TEST_F(TouchEditorTest, WithoutWorkingMemoryOnlyTheSwitchedRegionsChangeAndTheMaskStaysZeroOrOne) {
    // Stray values in the rectangle end as subject; no piece is removed, whichever
    // of the two buffers fails.
    const Picture stray = {".......", ".##..7.", ".##....", "....2..", "3......"};
    for (int allowed : {0, 1}) {
        FailWorkAllocationsAfter(allowed);
        EXPECT_EQ(Mask(stray).KeptLargest(0, 6, 0, 3), (Picture{".......", ".##..#.", ".##....", "....#..", "3......"}))
            << allowed;
    }

    // Erasing the bridge switches it off but keeps both halves.
    auto label = [](int x, int y) { return BridgeLabel(x, y, 10, 7); };
    SetLabels(0, 34, 0, 17, label);
    for (int allowed : {0, 1}) {
        FailWorkAllocationsAfter(allowed);
        Mask m(35, 18, [&](int x, int y) { return label(x, y) != kAround; });
        m.Touch(16, 7, true);
        EXPECT_TRUE(m.Is([&](int x, int y) { return label(x, y) == kLeftSquare || label(x, y) == kRightSquare; }))
            << allowed;
    }

    // Adding the ring's missing side closes it but cannot fill its hole.
    FailWorkAllocationsAfter(0);
    SetLabels(0, 39, 0, 34, RingLabel);
    Mask ring(40, 35, OnRing);
    ring.Touch(26, 14, false);
    EXPECT_TRUE(ring.Is([](int x, int y) { return OnRing(x, y) || RingLabel(x, y) == kGap; }));
}

// Pieces of a mask as the test sees them: 8-connected subject pixels of the
// rectangle, in the order of their first pixels in raster order.
struct Pieces {
    std::vector<int> piece;  // per mask pixel: its piece, or -1
    std::vector<int64_t> inner;
    std::vector<bool> startJoinsArms;
    int count = 0;
};

using Steps = std::vector<std::pair<int, int>>;
const Steps kFour = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}};
const Steps kEight = {{-1, -1}, {0, -1}, {1, -1}, {1, 0}, {1, 1}, {0, 1}, {-1, 1}, {-1, 0}};  // clockwise

// Marks (x, y) and every position reached from it by `steps` over positions
// that open(x, y) accepts; open must refuse marked positions.
template <typename Open, typename Mark>
void Flood(int x, int y, const Steps& steps, Open open, Mark mark) {
    std::vector<std::pair<int, int>> stack = {{x, y}};
    mark(x, y);
    while (!stack.empty()) {
        const auto [cx, cy] = stack.back();
        stack.pop_back();
        for (const auto& [dx, dy] : steps)
            if (open(cx + dx, cy + dy)) mark(cx + dx, cy + dy), stack.push_back({cx + dx, cy + dy});
    }
}

// Each piece's inner pixels: those with no edge neighbour in the background around
// the piece (the 4-connected background holding the position left of its first
// pixel; everything outside the rectangle is background). That is what a contour
// walk steps on, unless the walk meets its start early: when the start's subject
// neighbours do not form one run around it, startJoinsArms is set and the inner
// count may be too low.
Pieces FindPieces(const Mask& m, int left, int right, int top, int bottom) {
    Pieces p;
    p.piece.assign(m.v.size(), -1);
    auto inRect = [&](int x, int y) { return x >= left && x <= right && y >= top && y <= bottom; };
    auto subject = [&](int x, int y) { return inRect(x, y) && m.v[static_cast<size_t>(y) * m.w + x] != 0; };
    auto piece = [&](int x, int y) -> int& { return p.piece[static_cast<size_t>(y) * m.w + x]; };

    // Background regions over the rectangle and a one-pixel frame around it.
    const int fw = right - left + 3, fh = bottom - top + 3;
    std::vector<int> background(static_cast<size_t>(fw) * fh, -1);
    auto bg = [&](int x, int y) -> int& { return background[static_cast<size_t>(y - top + 1) * fw + (x - left + 1)]; };
    auto openBackground = [&](int x, int y) {
        return x >= left - 1 && x <= right + 1 && y >= top - 1 && y <= bottom + 1 && !subject(x, y) && bg(x, y) < 0;
    };
    int regions = 0;
    for (int y = top - 1; y <= bottom + 1; y++)
        for (int x = left - 1; x <= right + 1; x++)
            if (openBackground(x, y)) {
                Flood(x, y, kFour, openBackground, [&](int x, int y) { bg(x, y) = regions; });
                regions++;
            }

    for (int y = top; y <= bottom; y++) {
        for (int x = left; x <= right; x++) {
            if (!subject(x, y) || piece(x, y) >= 0) continue;
            const int id = p.count++, around = bg(x - 1, y);
            int64_t inner = 0;
            auto open = [&](int x, int y) { return subject(x, y) && piece(x, y) < 0; };
            Flood(x, y, kEight, open, [&](int x, int y) {
                piece(x, y) = id;
                bool edge = false;
                for (const auto& [dx, dy] : kFour)
                    edge = edge || (!subject(x + dx, y + dy) && bg(x + dx, y + dy) == around);
                inner += !edge;
            });
            p.inner.push_back(inner);
            // The start's eight neighbours clockwise: count the changes between
            // subject and background.
            int changes = 0;
            for (int k = 0; k < 8; k++)
                changes += subject(x + kEight[k].first, y + kEight[k].second) !=
                           subject(x + kEight[(k + 1) % 8].first, y + kEight[(k + 1) % 8].second);
            p.startJoinsArms.push_back(changes > 2);
        }
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
        SetLabels(left, right, top, bottom, label);

        const unsigned subjectLabels = rng();
        Mask m(w, h, [&](int x, int y) {
            return inRect(x, y) ? (subjectLabels >> label(x, y) & 1) != (rng() % 25 == 0) : rng() % 3 * 4;
        });
        const int tx = left + rng() % (right - left + 1), ty = top + rng() % (bottom - top + 1);

        // The mask once the touched regions are switched off.
        Mask switched = m;
        std::vector<uint16_t> probed;
        for (int y = ty - 2; y <= ty + 2; y++)
            for (int x = tx - 2; x <= tx + 2; x++)
                if (inRect(x, y)) probed.push_back(label(x, y));
        for (int y = std::max(ty - 20, top); y <= std::min(ty + 20, bottom); y++)
            for (int x = std::max(tx - 20, left); x <= std::min(tx + 20, right); x++)
                if (std::count(probed.begin(), probed.end(), label(x, y))) switched.at(x, y) = 0;
        const Pieces pieces = FindPieces(switched, left, right, top, bottom);

        m.Touch(tx, ty, true);

        int kept = -1;
        for (int y = 0; y < h; y++) {
            for (int x = 0; x < w; x++) {
                if (!inRect(x, y)) {
                    ASSERT_EQ(m.at(x, y), switched.at(x, y)) << "outside at " << x << "," << y;
                    continue;
                }
                ASSERT_LE(m.at(x, y), 1);
                const int piece = pieces.piece[static_cast<size_t>(y) * w + x];
                if (m.at(x, y) == 1) {
                    ASSERT_GE(piece, 0) << "subject added at " << x << "," << y;
                    if (kept < 0) kept = piece;
                    ASSERT_EQ(piece, kept) << "two pieces kept";
                }
            }
        }
        if (pieces.count == 0) continue;
        ASSERT_GE(kept, 0) << "every piece erased";
        for (int i = 0; i < w * h; i++) ASSERT_FALSE(pieces.piece[i] == kept && m.v[i] != 1) << "piece kept in part";
        if (pieces.count < 2 || std::count(pieces.startJoinsArms.begin(), pieces.startJoinsArms.end(), true)) continue;
        weighed++;
        int largest = 0;
        for (int i = 1; i < pieces.count; i++)
            if (pieces.inner[i] >= pieces.inner[largest]) largest = i;
        ASSERT_EQ(kept, largest) << "kept " << pieces.inner[kept] << " inner pixels, piece " << largest << " has "
                                 << pieces.inner[largest];
    }
    EXPECT_GT(weighed, rounds / 4);
}

}  // namespace
