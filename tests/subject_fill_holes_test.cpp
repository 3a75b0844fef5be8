#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "subject/FillMaskHoles.h"

namespace {

using Picture = std::vector<std::string>;

// A mask drawn as text: '#' = subject (1), '.' = background (0), a digit = that value.
struct Mask {
    int width = 0, height = 0;
    std::vector<uint8_t> v;

    Mask(int w, int h) : width(w), height(h), v(w * h) {}
    explicit Mask(const Picture& rows)
        : width(static_cast<int>(rows[0].size())), height(static_cast<int>(rows.size())) {
        for (const std::string& row : rows)
            for (char c : row) v.push_back(c == '#' ? 1 : c == '.' ? 0 : c - '0');
    }
    uint8_t& at(int x, int y) { return v[y * width + x]; }
    Picture Filled() { return Filled(0, width - 1, 0, height - 1); }
    Picture Filled(int left, int right, int top, int bottom) {
        FillMaskHoles(v.data(), width, height, left, right, top, bottom);
        Picture rows(height);
        for (int i = 0; i < width * height; i++)
            rows[i / width] += v[i] == 1 ? '#' : v[i] == 0 ? '.' : static_cast<char>('0' + v[i]);
        return rows;
    }
};

TEST(FillMaskHolesTest, RingBecomesAFilledDisc) {
    Mask m(31, 27);
    auto d2 = [](int x, int y) { return (x - 15) * (x - 15) + (y - 13) * (y - 13); };
    for (int i = 0; i < 31 * 27; i++) m.v[i] = d2(i % 31, i / 31) >= 36 && d2(i % 31, i / 31) <= 100;
    m.Filled();
    for (int i = 0; i < 31 * 27; i++) ASSERT_EQ(m.v[i], d2(i % 31, i / 31) <= 100) << i % 31 << "," << i / 31;
}

TEST(FillMaskHolesTest, IsolatedPixelAndBayOpenToOneSideStayAsTheyAre) {
    for (const Picture& shape : {Picture{".....", "..#..", "....."},
                                 Picture{".........", ".######..", ".#.......", ".#.......", ".######..", "........."},
                                 Picture{"..........", ".########.", ".#......#.", ".###..###.", ".........."}}) {
        EXPECT_EQ(Mask(shape).Filled(), shape);
    }
}

TEST(FillMaskHolesTest, TwoBlobsInTheSameRowsAreFilledSeparately) {
    Mask m({"................", ".#####....#####.", ".#...#....#...#.", ".#####....#####.", "................"});
    EXPECT_EQ(m.Filled(), (Picture{"................", ".#####....#####.", ".#####....#####.", ".#####....#####.",
                                   "................"}));
}

TEST(FillMaskHolesTest, BlobAlongTheRectangleEdgeIsTracedThereAndNothingOutsideChanges) {
    // Columns 2..8, rows 1..5: the rectangle's border is a closed ring; the subject
    // pixels and odd values outside it are left exactly as they are.
    Mask m({"7#.......#.", "#.#######..", "..#.....#.#", "..#.....#..", "..#.....#.3", "..#######..", "#.........#"});
    EXPECT_EQ(m.Filled(2, 8, 1, 5), (Picture{"7#.......#.", "#.#######..", "..#######.#", "..#######..", "..#######.3",
                                             "..#######..", "#.........#"}));
    // Cut at column 5 the same kind of ring is a bay open to the right.
    const Picture cut = {"..........", ".########.", ".#......#.", ".########.", ".........."};
    EXPECT_EQ(Mask(cut).Filled(0, 5, 0, 4), cut);
}

TEST(FillMaskHolesTest, RandomMasksKeepEverySubjectPixelAndChangeNothingOutsideTheRectangle) {
    std::mt19937 rng(11);
    for (int round = 0; round < 400; round++) {
        const int w = 6 + rng() % 40, h = 6 + rng() % 40;
        const int left = rng() % 3, right = w - 1 - rng() % 3, top = rng() % 3, bottom = h - 1 - rng() % 3;
        Mask m(w, h);
        const unsigned density = 30 + rng() % 40;
        for (int i = 0; i < w * h; i++) {
            const int x = i % w, y = i / w;
            const bool inside = x >= left && x <= right && y >= top && y <= bottom;
            m.v[i] = rng() % 100 < density ? 1 : !inside && rng() % 20 == 0 ? 9 : 0;
        }
        const Mask before = m;
        m.Filled(left, right, top, bottom);
        for (int i = 0; i < w * h; i++) {
            const int x = i % w, y = i / w;
            if (x < left || x > right || y < top || y > bottom) {
                ASSERT_EQ(m.v[i], before.v[i]) << "outside the rectangle at " << x << "," << y;
            } else {
                ASSERT_LE(m.v[i], 1) << x << "," << y;
                ASSERT_GE(m.v[i], before.v[i]) << "subject lost at " << x << "," << y;
            }
        }
    }
}

TEST(FillMaskHolesTest, ValuesOtherThanZeroAndOneEndAsSubject) {
    // The start pixel lies among pixels already marked as traced: the walk leaves
    // it to the left and must still come back and end.
    Mask m({"........", ".222222.", ".22#222.", ".222222.", "....3..."});
    EXPECT_EQ(m.Filled(), (Picture{"........", ".######.", ".######.", ".######.", "....#..."}));
}

TEST(FillMaskHolesTest, EmptyRectangleDoesNothingAndOneReachingPastThePictureIsCut) {
    Mask m({"#2#", "2.2", "#2#"});
    const std::vector<uint8_t> before = m.v;
    m.Filled(2, 1, 0, 2);
    m.Filled(0, 2, 2, 1);
    EXPECT_EQ(m.v, before);
    EXPECT_EQ(Mask({"#####", "#...#", "#####"}).Filled(-3, 9, -1, 4), (Picture{"#####", "#####", "#####"}));
}

}  // namespace
