#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <numeric>
#include <random>
#include <utility>
#include <vector>

#include "subject/Segmentation.h"

namespace {

using Edges = std::vector<PixelEdge>;
using Ints = std::vector<int32_t>;
constexpr int32_t kOne = 65536;

// Edges numbered by `a` in build order, with the given weights.
Edges Numbered(const Ints& weights) {
    Edges edges;
    for (size_t i = 0; i < weights.size(); i++) edges.push_back({weights[i], static_cast<int32_t>(i), 0});
    return edges;
}

// The plain recursive quicksort the bounded sort must agree with, edge for edge.
void ReferenceSort(PixelEdge* e, int lo, int hi) {
    if (lo >= hi) return;
    const PixelEdge pivot = e[lo];
    int i = lo, j = hi + 1;
    for (;;) {
        while (++i <= hi && e[i].weight < pivot.weight) continue;
        while (--j >= lo && e[j].weight > pivot.weight) continue;
        if (i >= j) break;
        std::swap(e[i], e[j]);
    }
    std::swap(e[lo], e[j]);
    ReferenceSort(e, lo, j - 1);
    ReferenceSort(e, j + 1, hi);
}

Ints Sorted(Edges edges, bool reference = false) {
    (reference ? ReferenceSort : SortEdges)(edges.data(), 0, static_cast<int>(edges.size()) - 1);
    Ints order;
    for (const PixelEdge& e : edges) order.push_back(e.a);
    return order;
}

// A forest of regions built directly: each region is a run of nodes under its first
// node, holding the region's size and colour sums (sums = mean x size).
struct Forest {
    std::vector<RegionNode> nodes;
    Edges edges;
    int32_t count = 0;
    int Add(int size, int r = 0, int g = 0, int b = 0) {
        const int root = static_cast<int>(nodes.size());
        nodes.resize(root + size, RegionNode{0, 0, 0, root, 0});
        nodes[root] = {r * size, g * size, b * size, root, size};
        count++;
        return root;
    }
    void Connect(int a, int b, int32_t weight = 0) { edges.push_back({weight, a, b}); }
    bool Joined(int a, int b) { return FindRoot(nodes.data(), a) == FindRoot(nodes.data(), b); }
};

// A w x h working image of one grey level, segmented whole up to SegmentGraph.
struct Segmented : Forest {
    int width, n = 0;
    std::vector<uint8_t> image;
    Segmented(int w, int h, uint8_t grey = 0) : width(w), image(3 * w * h, grey) {}
    void Set(int x, int y, uint8_t b, uint8_t g, uint8_t r) {
        uint8_t* p = &image[3 * (y * width + x)];
        p[0] = b, p[1] = g, p[2] = r;
    }
    void Run(int k = 50) {
        const int pixels = static_cast<int>(image.size() / 3);
        const int32_t rect[4] = {0, width - 1, 0, pixels / width - 1};
        edges.resize(2 * pixels);
        nodes.resize(pixels);
        n = BuildEdgeGraph(image.data(), width, rect, edges.data());
        SortEdges(edges.data(), 0, n - 1);
        InitRegionNodes(image.data(), width, rect, nodes.data());
        count = pixels;
        ASSERT_EQ(SegmentGraph(nodes.data(), &count, edges.data(), n, k), 1);
    }
};

TEST(SortEdgesTest, BoundedSortGivesTheSameOrderAsThePlainRecursiveQuicksort) {
    // Equal weights come out in the partition order, not build order: e5 e4 e1 e2 e3; c d a b.
    for (auto [weights, order] :
         {std::pair<Ints, Ints>{{0, 0, 0, 0, 0}, {4, 3, 0, 1, 2}}, {{2, 2, 1, 2}, {2, 3, 0, 1}}}) {
        EXPECT_EQ(Sorted(Numbered(weights)), order);
        EXPECT_EQ(Sorted(Numbered(weights), true), order);
    }
    std::mt19937 rng(7);
    for (int round = 0; round < 300; round++) {
        Ints weights(1 + rng() % 3000);
        const unsigned levels = 1 + rng() % (round % 3 == 0 ? 3 : 40);  // many equal weights
        for (int32_t& w : weights) w = static_cast<int32_t>(rng() % levels) * kOne;
        if (round % 5 == 1) std::sort(weights.begin(), weights.end());
        if (round % 5 == 2) std::sort(weights.rbegin(), weights.rend());
        ASSERT_EQ(Sorted(Numbered(weights)), Sorted(Numbered(weights), true)) << "round " << round;
    }
}

TEST(SortEdgesTest, MillionEqualOrAscendingWeightsSortWithoutExhaustingTheStack) {
    const int size = 1000000;
    Ints order = Sorted(Numbered(Ints(size, 7 * kOne)));
    std::sort(order.begin(), order.end());
    for (int i = 0; i < size; i++) ASSERT_EQ(order[i], i);  // a permutation of all edges

    Ints ascending(size);  // over the 256 weights edges can take
    for (int i = 0; i < size; i++) ascending[i] = static_cast<int32_t>(int64_t{i} * 256 / size) * kOne;
    order = Sorted(Numbered(ascending));
    for (int i = 1; i < size; i++) ASSERT_LE(ascending[order[i - 1]], ascending[order[i]]);

    std::iota(ascending.begin(), ascending.end(), 0);  // strictly ascending: nothing moves
    EXPECT_EQ(Sorted(Numbered(ascending)), ascending);
}

TEST(BuildEdgeGraphTest, EachPixelGivesItsRightThenLowerEdgeWeighedByTheLargestChannelStep) {
    std::vector<uint8_t> image(9 * 7 * 3);
    std::mt19937 rng(3);
    for (uint8_t& v : image) v = static_cast<uint8_t>(rng());
    const int32_t rect[4] = {2, 6, 1, 4};  // 5 x 4 pixels inside the 9 x 7 picture
    const int w = 5, h = 4;
    Edges edges(2 * w * h, PixelEdge{-1, -1, -1});
    const int n = BuildEdgeGraph(image.data(), 9, rect, edges.data());
    ASSERT_EQ(n, 2 * w * h - w - h);
    auto px = [&](int i, int c) { return image[3 * ((1 + i / w) * 9 + 2 + i % w) + c]; };
    int e = 0;
    for (int i = 0; i < w * h; i++)
        for (int j : {i % w < w - 1 ? i + 1 : -1, i / w < h - 1 ? i + w : -1}) {
            if (j < 0) continue;
            int step = 0;
            for (int c = 0; c < 3; c++) step = std::max(step, std::abs(px(i, c) - px(j, c)));
            EXPECT_TRUE(edges[e].a == i && edges[e].b == j) << i << "-" << j;
            EXPECT_EQ(edges[e++].weight, step * kOne);
        }
    EXPECT_EQ(edges[n].weight, -1);  // nothing written past the last edge
}

TEST(RegionForestTest, NodesStartAsPixelsFindRootShortensOneLinkAndTheSmallerRegionJoinsTheLarger) {
    Segmented s(3, 2);
    s.Set(2, 1, 10, 20, 30);  // blue, green, red
    const int32_t rect[4] = {1, 2, 0, 1};
    s.Add(4);
    InitRegionNodes(s.image.data(), 3, rect, s.nodes.data());
    EXPECT_EQ((Ints{30, 20, 10}), (Ints{s.nodes[3].sumR, s.nodes[3].sumG, s.nodes[3].sumB}));
    for (int i = 0; i < 4; i++) EXPECT_TRUE(s.nodes[i].parent == i && s.nodes[i].size == 1);

    std::vector<RegionNode> chain = {{0, 0, 0, 0, 4}, {0, 0, 0, 0, 1}, {0, 0, 0, 1, 1}, {0, 0, 0, 2, 1}};
    EXPECT_EQ(FindRoot(chain.data(), 3), 0);  // 3 -> 2 -> 1 -> 0
    EXPECT_EQ(chain[3].parent, 0);
    EXPECT_EQ(chain[2].parent, 1);

    Forest f;  // equal sizes go to the second root
    const int big = f.Add(3, 10, 20, 30), small = f.Add(1, 1, 2, 3), second = f.Add(4);
    JoinRegions(f.nodes.data(), &f.count, big, small);
    EXPECT_EQ(f.nodes[small].parent, big);
    EXPECT_EQ((Ints{4, 31, 62, 93}),
              (Ints{f.nodes[big].size, f.nodes[big].sumR, f.nodes[big].sumG, f.nodes[big].sumB}));
    JoinRegions(f.nodes.data(), &f.count, big, second);
    EXPECT_EQ(f.nodes[big].parent, second);
    EXPECT_EQ(f.nodes[second].size, 8);
    EXPECT_EQ(f.count, 1);
}

TEST(SegmentGraphTest, UniformRectangleBecomesOneRegionAndAStrongStepSplitsIt) {
    Segmented s(30, 20, 90);
    s.Run();
    EXPECT_EQ(s.count, 1);
    EXPECT_EQ(s.nodes[FindRoot(s.nodes.data(), 599)].size, 600);

    Segmented halves(20, 10);
    for (int i = 0; i < 200; i++)
        if (i % 20 >= 10) halves.Set(i % 20, i / 20, 255, 255, 255);
    halves.Run();
    EXPECT_EQ(halves.count, 2);
    for (int i = 0; i < 200; i++) ASSERT_TRUE(halves.Joined(i, i % 20 < 10 ? 0 : 19));
}

TEST(SegmentGraphTest, EdgeEqualToTheRegionThresholdJoinsAndOneAboveDoesNot) {
    // Three pixels in a row, the first two equal: with k = 2, once those are joined
    // their threshold is 2 x 65536 / 2, a step of 1.
    for (int step : {1, 2}) {
        Segmented s(3, 1, 50);
        s.Set(2, 0, 50, 50 + step, 50);
        s.Run(2);
        EXPECT_EQ(s.count, step == 1 ? 1 : 2) << "step " << step;
    }
    // A chain of 100 nodes joined at weight 3 has threshold 3 x 65536 + 50 x 65536 / 100.
    for (int32_t last : {229376, 229377}) {
        Forest f;
        for (int i = 0; i < 101; i++) f.Add(1);
        for (int i = 0; i < 99; i++) f.Connect(i, i + 1, 3 * kOne);
        f.Connect(99, 100, last);
        ASSERT_EQ(SegmentGraph(f.nodes.data(), &f.count, f.edges.data(), 100, 50), 1);
        EXPECT_TRUE(f.Joined(0, 99));
        EXPECT_EQ(f.Joined(0, 100), last == 229376) << last;
    }
}

TEST(MergeSmallRegionsTest, RegionsBelowTheMinimumJoinANeighbourAsTheJoinsHappen) {
    for (int minRegion : {4, 5}) {
        Segmented s(10, 10);
        for (int i : {44, 45, 54, 55}) s.Set(i % 10, i / 10, 0, 0, 255);  // a 4-pixel red spot
        s.Run();
        ASSERT_EQ(s.count, 2);
        MergeSmallRegions(s.nodes.data(), &s.count, s.edges.data(), s.n, minRegion);
        EXPECT_EQ(s.Joined(44, 0), minRegion == 5) << "minRegion " << minRegion;
    }
    // 3 + 3 join first; the 6 they make is no longer small next to the 10.
    Forest f;
    const int a = f.Add(3), b = f.Add(3), c = f.Add(10);
    f.Connect(a, b);
    f.Connect(b, c);
    MergeSmallRegions(f.nodes.data(), &f.count, f.edges.data(), 2, 5);
    EXPECT_TRUE(f.Joined(a, b) && !f.Joined(b, c));
}

// Two regions a above b, joined by one edge; `bodyOrChin` makes both body for the size
// merge and, for the colour merge, puts the chin at b so that a lies in the head.
struct MergeCase {
    bool colour;
    int sizeA, sizeB, red, green, blue;
    bool bodyOrChin, joined;
};

TEST(MergeHeadBodyAndColourTest, BodyAndHeadPairsUseTheirOwnSizeMinimumsAndColourLimits) {
    // Size: body pairs need 150 pixels, any head region 70. Colour: body pairs join
    // below a difference of 60 while together under 8000 pixels, head pairs below 10
    // of the truncated means.
    const MergeCase cases[] = {
        {false, 100, 160, 0, 0, 0, true, true},         {false, 150, 160, 0, 0, 0, true, false},
        {false, 100, 160, 0, 0, 0, false, false},       {false, 69, 500, 0, 0, 0, false, true},
        {false, 70, 500, 0, 0, 0, false, false},        {true, 5000, 3500, 101, 100, 100, false, false},
        {true, 4500, 3499, 159, 100, 100, false, true}, {true, 4500, 3499, 160, 100, 100, false, false},
        {true, 20, 30, 100, 105, 96, true, true},       {true, 20, 30, 100, 106, 96, true, false},
    };
    for (const MergeCase& c : cases) {
        SCOPED_TRACE(testing::Message() << (c.colour ? "colour " : "size ") << c.sizeA << "+" << c.sizeB << " " << c.red
                                        << " " << c.green << (c.bodyOrChin ? " body/chin" : ""));
        Forest f;
        const int a = f.Add(c.sizeA, 100, 100, 100), b = f.Add(c.sizeB, c.red, c.green, c.blue);
        f.Connect(a, b);
        if (!c.colour) {
            MergeHeadBody(f.nodes.data(), &f.count, f.edges.data(), 1, c.bodyOrChin ? a : b, 70, 150);
        } else {
            if (c.bodyOrChin) f.nodes[b].sumB += 29;  // mean blue 96.97 counts as 96
            MergeByColour(f.nodes.data(), &f.count, f.edges.data(), 1, c.bodyOrChin ? b : 0);
        }
        EXPECT_EQ(f.Joined(a, b), c.joined);
    }
}

}  // namespace
