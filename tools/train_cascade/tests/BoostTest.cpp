// Boosting a stage and mapping it to the runtime's integer tables.
#include <gtest/gtest.h>

#include <random>
#include <set>

#include "tools/train_cascade/Boost.h"

using namespace train;

namespace {

constexpr int kDim = 12;
constexpr int kTelling = 7;  // the position that tells the two classes apart

// Positives show code 5 at the telling position, negatives code 9 (with a little
// label noise); every other position is random for both.
void MakeSamples(int count, Samples* pos, Samples* neg, uint32_t seed = 1) {
    std::mt19937 rng(seed);
    pos->dim = neg->dim = kDim;
    uint16_t s[kDim];
    for (int i = 0; i < 2 * count; ++i) {
        bool positive = i % 2 == 0;
        for (int p = 0; p < kDim; ++p) s[p] = static_cast<uint16_t>(rng() % 40);
        bool noisy = rng() % 20 == 0;
        s[kTelling] = (positive != noisy) ? 5 : 9;
        (positive ? pos : neg)->Add(s);
    }
}

}  // namespace

TEST(BoostStageTest, StartsWithTheForcedPositionNeverReusesOneAndIgnoresThreads) {
    Samples pos, neg;
    MakeSamples(400, &pos, &neg);
    auto learners = BoostStage(pos, neg, kDim, 3, 1), two = BoostStage(pos, neg, kDim, 3, 2);
    ASSERT_EQ(learners.size(), static_cast<size_t>(kDim));
    ASSERT_EQ(two.size(), learners.size());
    EXPECT_EQ(learners[0].position, 3);
    std::set<int> seen;
    for (size_t k = 0; k < learners.size(); ++k) {
        EXPECT_TRUE(seen.insert(learners[k].position).second) << learners[k].position;
        EXPECT_EQ(two[k].position, learners[k].position);
        EXPECT_EQ(two[k].h, learners[k].h);
    }
}

TEST(BoostStageTest, PicksTheTellingPositionAndVotesForThePositiveCode) {
    Samples pos, neg;
    MakeSamples(400, &pos, &neg);
    auto learners = BoostStage(pos, neg, 3, 0, 1);
    EXPECT_EQ(learners[1].position, kTelling);
    EXPECT_GT(learners[1].h[5], 1.0);
    EXPECT_LT(learners[1].h[9], -1.0);
    // A code seen in neither class gets no vote.
    EXPECT_NEAR(learners[1].h[300], 0.0, 1e-12);
}

TEST(QuantizeTest, TablesStayInRangeStartAtZeroAndKeepFixedEntries) {
    Samples pos, neg;
    MakeSamples(300, &pos, &neg);
    auto learners = BoostStage(pos, neg, 4, 0, 1);
    std::vector<FixedEntry> fixed = {{0, 0, 77}, {0, 1, 254}};
    IntStage stage = TablesForAlpha(learners, 500, 254, fixed, 40.0);
    ASSERT_EQ(stage.values.size(), 4u);
    for (size_t k = 0; k < stage.values.size(); ++k) {
        int lowest = 1 << 30;
        for (int c = 0; c < kCodes; ++c) {
            EXPECT_GE(stage.values[k][c], 0);
            EXPECT_LE(stage.values[k][c], 254);
            if (k > 0 || c > 1) lowest = std::min(lowest, stage.values[k][c]);
        }
        if (k > 0) {
            EXPECT_EQ(lowest, 0);
        }
        EXPECT_EQ(stage.positions[k], learners[k].position);
    }
    EXPECT_EQ(stage.values[0][0], 77);
    EXPECT_EQ(stage.values[0][1], 254);
    // The positive code of the telling feature costs less than the negative one.
    EXPECT_LT(stage.values[1][5], stage.values[1][9]);
}

TEST(QuantizeTest, MeetsTheDetectionTargetWithTheStrictestScale) {
    Samples pos, neg;
    MakeSamples(1000, &pos, &neg, 4);
    auto learners = BoostStage(pos, neg, 6, 0, 1);
    for (double target : {0.9, 0.97}) {
        QuantizeResult q = QuantizeStage(learners, 300, 254, {}, pos, target);
        EXPECT_GE(q.detectionRate, target);
        EXPECT_DOUBLE_EQ(q.detectionRate, PassRate(q.stage, pos));
        // A clearly stricter scale misses the target, so the search did not stop early.
        EXPECT_LT(PassRate(TablesForAlpha(learners, 300, 254, {}, q.alpha * 1.5), pos), target);
        // And the stage rejects most negatives.
        EXPECT_LT(PassRate(q.stage, neg), 0.5);
    }
}

TEST(StageEvaluationTest, SumsTablesAtTheSamplePositionsAndFiltersByThreshold) {
    IntStage a;
    a.positions = {2, 0};
    a.values.assign(2, {});
    a.values[0][4] = 10;
    a.values[1][7] = 3;
    a.threshold = 12;
    Samples s;
    s.dim = 3;
    uint16_t over[3] = {7, 0, 4}, mid[3] = {0, 0, 4}, low[3] = {7, 4, 0};
    s.Add(over);
    s.Add(mid);
    s.Add(low);
    EXPECT_EQ(StageSum(a, over), 13);
    EXPECT_EQ(StageSum(a, mid), 10);
    EXPECT_EQ(StageSum(a, low), 3);
    EXPECT_FALSE(StagePasses(a, over));
    EXPECT_TRUE(StagePasses(a, mid));
    Samples kept = FilterPassing({a}, s);
    ASSERT_EQ(kept.size(), 2u);
    EXPECT_EQ(kept.sample(0)[2], 4);
    EXPECT_EQ(kept.sample(1)[0], 7);
    EXPECT_DOUBLE_EQ(PassRate(a, s), 2.0 / 3.0);
}
