#include <gtest/gtest.h>

#include "subject/FaceDetector.h"

namespace {

// A face-sized box (22 x 24, margin 2) with its left edge at x.
FaceBox WindowAt(int x, int y = 0) {
    return FaceBox{x, y, x + 22, y + 24};
}

struct Table {
    HitCluster clusters[8];
    int created = 0;
    void Add(const FaceBox& box, int score) { AddHitToClusters(clusters, 8, &created, box, score); }
};

TEST(BoxesOverlap, BoxesMeetWhenTheirEdgesShrunkByAnEighthOfTheirOwnWidthTouch) {
    struct Case {
        FaceBox a, b;
        bool overlap;
    };
    const Case cases[] = {
        {WindowAt(0), WindowAt(18), true},  // shrunk by 2: x 2..20 and 20..38 share column 20
        {WindowAt(18), WindowAt(0), true},
        {WindowAt(0), WindowAt(19), false},
        {WindowAt(0), WindowAt(0, 21), false},
        {WindowAt(0), WindowAt(0, 20), true},
        {{0, 0, 8, 100}, {0, 98, 8, 200}, true},  // the vertical margin is 1 too, not 100 / 8
        {{0, 0, 8, 100}, {0, 99, 8, 200}, false},
        {{0, 0, 80, 80}, {70, 10, 78, 18}, false},  // margins 10 and 1: 10..70 against 71..77
        {{0, 0, 80, 80}, {69, 10, 77, 18}, true},
        {{0, 0, 80, 80}, {30, 30, 40, 40}, true},  // inside
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.a.x0 << "," << c.a.y0 << " / " << c.b.x0 << "," << c.b.y0);
        EXPECT_EQ(c.overlap, BoxesOverlap(c.a, c.b));
    }
}

TEST(HitClusters, OverlappingHitsGatherAndOnlyAStrictlyBetterHitMovesTheBox) {
    Table t;
    t.Add(WindowAt(0), 50);
    t.Add(WindowAt(2), 60);
    EXPECT_EQ(0, t.clusters[0].box.x0);
    t.Add(WindowAt(3), 20);
    EXPECT_EQ(3, t.clusters[0].box.x0);
    t.Add(WindowAt(6), 20);  // equal score: the box stays
    ASSERT_EQ(1, t.created);
    EXPECT_EQ(4, t.clusters[0].count);
    EXPECT_EQ(20, t.clusters[0].best);
    EXPECT_EQ(3, t.clusters[0].box.x0);
}

TEST(HitClusters, AHitJoinsTheFirstOverlappingClusterOnly) {
    Table t;
    t.Add(WindowAt(0), 5);
    t.Add(WindowAt(36), 5);
    ASSERT_EQ(2, t.created);
    t.Add(WindowAt(18), 9);  // touches both; stays with cluster 0, no box change
    EXPECT_EQ(2, t.clusters[0].count);
    EXPECT_EQ(1, t.clusters[1].count);
    EXPECT_TRUE(t.clusters[1].active);
}

TEST(HitClusters, ClustersBroughtTogetherByABoxMoveMergeIntoTheBetterOrOnTiesTheFirst) {
    // Clusters at 0 (best 10) and 36 (best 5) do not overlap; a better hit at 18
    // moves cluster 0's box onto 18, and the same hit's merge pass keeps the lower best.
    for (int score : {1, 7, 5}) {
        SCOPED_TRACE(score);
        Table t;
        t.Add(WindowAt(0), 10);
        t.Add(WindowAt(36), 5);
        t.Add(WindowAt(18), score);
        const int kept = score == 7 ? 1 : 0;
        EXPECT_TRUE(t.clusters[kept].active);
        EXPECT_FALSE(t.clusters[1 - kept].active);
        EXPECT_EQ(3, t.clusters[kept].count);
    }
}

TEST(HitClusters, AnAbsorbedClusterHandsItsHitsToEveryLaterClusterItOverlaps) {
    Table t;
    t.Add(FaceBox{20, 0, 36, 24}, 9);  // 0: narrow, between the other two
    t.Add(WindowAt(0), 4);             // 1
    t.Add(WindowAt(36), 6);            // 2
    ASSERT_EQ(3, t.created);
    t.Add(WindowAt(18), 8);  // moves cluster 0 onto both neighbours
    EXPECT_FALSE(t.clusters[0].active);
    EXPECT_EQ(3, t.clusters[1].count);
    EXPECT_EQ(3, t.clusters[2].count);
}

TEST(HitClusters, AFullTableIgnoresFurtherHits) {
    HitCluster clusters[2];
    int created = 0;
    AddHitToClusters(clusters, 2, &created, WindowAt(0), 5);
    AddHitToClusters(clusters, 2, &created, WindowAt(100), 5);
    AddHitToClusters(clusters, 2, &created, WindowAt(2), 1);  // would join cluster 0
    EXPECT_EQ(2, created);
    EXPECT_EQ(1, clusters[0].count);
    EXPECT_EQ(5, clusters[0].best);
}

}  // namespace
