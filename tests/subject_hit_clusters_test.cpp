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

TEST(BoxesOverlap, BoxesMeetWhenTheirShrunkenEdgesTouch) {
    // Shrunk by 2: x 2..20 and 20..38 share column 20; 21..39 does not.
    EXPECT_TRUE(BoxesOverlap(WindowAt(0), WindowAt(18)));
    EXPECT_TRUE(BoxesOverlap(WindowAt(18), WindowAt(0)));
    EXPECT_FALSE(BoxesOverlap(WindowAt(0), WindowAt(19)));
    EXPECT_FALSE(BoxesOverlap(WindowAt(0, 0), WindowAt(0, 21)));
    EXPECT_TRUE(BoxesOverlap(WindowAt(0, 0), WindowAt(0, 20)));
}

TEST(BoxesOverlap, VerticalMarginComesFromTheWidth) {
    // 8 wide and 100 high: the margin is 1 on all sides, not 100 / 8 vertically.
    const FaceBox upper{0, 0, 8, 100};
    const FaceBox lower{0, 98, 8, 200};
    EXPECT_TRUE(BoxesOverlap(upper, lower));
    EXPECT_FALSE(BoxesOverlap(upper, FaceBox{0, 99, 8, 200}));
}

TEST(BoxesOverlap, EachBoxShrinksByItsOwnWidth) {
    const FaceBox big{0, 0, 80, 80};      // margin 10: 10..70
    const FaceBox small{70, 10, 78, 18};  // margin 1: 71..77
    EXPECT_FALSE(BoxesOverlap(big, small));
    EXPECT_TRUE(BoxesOverlap(big, FaceBox{69, 10, 77, 18}));
    EXPECT_TRUE(BoxesOverlap(big, FaceBox{30, 30, 40, 40}));  // inside
}

TEST(HitClusters, OverlappingHitsGatherInOneCluster) {
    Table t;
    t.Add(WindowAt(0), 50);
    t.Add(WindowAt(2), 60);
    t.Add(WindowAt(4), 55);
    ASSERT_EQ(1, t.created);
    EXPECT_EQ(3, t.clusters[0].count);
    EXPECT_EQ(50, t.clusters[0].best);
    EXPECT_EQ(0, t.clusters[0].box.x0);  // no better hit came
}

TEST(HitClusters, ABetterHitMovesTheClusterBox) {
    Table t;
    t.Add(WindowAt(0), 50);
    t.Add(WindowAt(3), 20);
    EXPECT_EQ(20, t.clusters[0].best);
    EXPECT_EQ(3, t.clusters[0].box.x0);
    t.Add(WindowAt(6), 20);  // equal score: the box stays
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

// Clusters 0 at 0 and 1 at 36 do not overlap; a better hit at 18 moves cluster
// 0's box onto 18, which overlaps cluster 1: the merge pass of the same hit
// keeps the lower best score.
TEST(HitClusters, ClustersBroughtTogetherByABoxMoveMergeIntoTheBetterOne) {
    Table t;
    t.Add(WindowAt(0), 10);
    t.Add(WindowAt(36), 5);
    t.Add(WindowAt(18), 1);
    EXPECT_TRUE(t.clusters[0].active);
    EXPECT_FALSE(t.clusters[1].active);
    EXPECT_EQ(3, t.clusters[0].count);
}

TEST(HitClusters, MergeKeepsTheLaterClusterWhenItScoresBetter) {
    Table t;
    t.Add(WindowAt(0), 10);
    t.Add(WindowAt(36), 5);
    t.Add(WindowAt(18), 7);
    EXPECT_FALSE(t.clusters[0].active);
    EXPECT_TRUE(t.clusters[1].active);
    EXPECT_EQ(3, t.clusters[1].count);
}

TEST(HitClusters, MergeOnEqualScoresKeepsTheClusterCreatedFirst) {
    Table t;
    t.Add(WindowAt(0), 10);
    t.Add(WindowAt(36), 5);
    t.Add(WindowAt(18), 5);
    EXPECT_TRUE(t.clusters[0].active);
    EXPECT_FALSE(t.clusters[1].active);
    EXPECT_EQ(3, t.clusters[0].count);
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
