#include <gtest/gtest.h>

#include "imaging/PyramidLevel.h"

namespace {

TEST(PyramidLevel, ThresholdsAreStrictlyGreaterThan) {
    EXPECT_EQ(0, PyramidLevel(420));
    EXPECT_EQ(1, PyramidLevel(421));
    EXPECT_EQ(1, PyramidLevel(850));
    EXPECT_EQ(2, PyramidLevel(851));
    EXPECT_EQ(2, PyramidLevel(1650));
    EXPECT_EQ(3, PyramidLevel(1651));
    EXPECT_EQ(3, PyramidLevel(3250));
    EXPECT_EQ(4, PyramidLevel(3251));
}

}  // namespace
