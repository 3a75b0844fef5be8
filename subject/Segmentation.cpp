#include "subject/Segmentation.h"

#include <cstddef>
#include <cstdlib>
#include <utility>

#include "subject/WorkMemory.h"

namespace {

constexpr int32_t kWeightOne = 65536;  // 1.0 in 16.16 fixed point

// Below this combined size two body regions may merge by colour.
constexpr int32_t kBodyColourCap = 8000;
constexpr int kBodyColourLimit = 60;
constexpr int kHeadColourLimit = 10;

inline int AbsDiff(int a, int b) {
    return a > b ? a - b : b - a;
}

// Largest difference of the blue, green and red bytes of two pixels, 16.16.
inline int32_t EdgeWeight(const uint8_t* p, const uint8_t* q) {
    int d = AbsDiff(p[0], q[0]);
    int g = AbsDiff(p[1], q[1]);
    int r = AbsDiff(p[2], q[2]);
    if (g > d) d = g;
    if (r > d) d = r;
    return d * kWeightOne;
}

// One Hoare partition of edges lo to hi around a copy of edge lo. The left scan
// stops at weights >= the pivot's, the right scan at weights <= it, so runs of
// equal weights are swapped pairwise from both ends; this is what fixes the order
// of equal edges. Returns the pivot's final position j: edges lo to j - 1 weigh at
// most the pivot, edges j + 1 to hi at least.
int PartitionEdges(PixelEdge* edges, int lo, int hi) {
    const PixelEdge pivot = edges[lo];
    const int32_t w = pivot.weight;
    int i = lo;
    int j = hi + 1;
    for (;;) {
        do {
            i++;
        } while (i <= hi && edges[i].weight < w);
        do {
            j--;
        } while (j >= lo && edges[j].weight > w);
        if (i >= j) break;
        std::swap(edges[i], edges[j]);
    }
    edges[lo] = edges[j];
    edges[j] = pivot;
    return j;
}

// True when the weights of edges lo to hi strictly increase. Partitioning such a
// range moves nothing (every pivot is the unique smallest weight and stays where it
// is), so it can be left as it is instead of being taken apart one edge per level.
bool StrictlyAscending(const PixelEdge* edges, int lo, int hi) {
    for (int i = lo; i < hi; i++) {
        if (edges[i].weight >= edges[i + 1].weight) return false;
    }
    return true;
}

inline int MeanDiff(const RegionNode& p, const RegionNode& q) {
    return AbsDiff(p.sumR / p.size, q.sumR / q.size) + AbsDiff(p.sumG / p.size, q.sumG / q.size) +
           AbsDiff(p.sumB / p.size, q.sumB / q.size);
}

}  // namespace

int BuildEdgeGraph(const uint8_t* image, int width, const int32_t* rect, PixelEdge* edges) {
    const int left = rect[0], right = rect[1], top = rect[2], bottom = rect[3];
    if (right < left || bottom < top) return 0;
    const int rectWidth = right - left + 1;
    const size_t stride = static_cast<size_t>(width) * 3;
    int n = 0;
    int i = 0;
    for (int y = top; y <= bottom; y++) {
        const uint8_t* p = image + static_cast<size_t>(y) * stride + static_cast<size_t>(left) * 3;
        for (int x = left; x <= right; x++, i++, p += 3) {
            if (x < right) edges[n++] = PixelEdge{EdgeWeight(p, p + 3), i, i + 1};
            if (y < bottom) edges[n++] = PixelEdge{EdgeWeight(p, p + stride), i, i + rectWidth};
        }
    }
    return n;
}

// The quicksort recurses into the smaller part and loops on the larger one. The two
// parts are disjoint and the partitioning of one never touches the other, so the
// order in which they are sorted does not change the result, while the depth of
// the recursion stays below log2 of the number of edges.
void SortEdges(PixelEdge* edges, int lo, int hi) {
    while (lo < hi) {
        if (StrictlyAscending(edges, lo, hi)) return;
        const int j = PartitionEdges(edges, lo, hi);
        if (j - lo < hi - j) {
            SortEdges(edges, lo, j - 1);
            lo = j + 1;
        } else {
            SortEdges(edges, j + 1, hi);
            hi = j - 1;
        }
    }
}

void InitRegionNodes(const uint8_t* image, int width, const int32_t* rect, RegionNode* nodes) {
    const int left = rect[0], right = rect[1], top = rect[2], bottom = rect[3];
    if (right < left || bottom < top) return;
    int i = 0;
    for (int y = top; y <= bottom; y++) {
        const uint8_t* p = image + (static_cast<size_t>(y) * width + left) * 3;
        for (int x = left; x <= right; x++, i++, p += 3) nodes[i] = RegionNode{p[2], p[1], p[0], i, 1};
    }
}

int FindRoot(RegionNode* nodes, int i) {
    int r = i;
    while (nodes[r].parent != r) r = nodes[r].parent;
    nodes[i].parent = r;
    return r;
}

void JoinRegions(RegionNode* nodes, int32_t* count, int a, int b) {
    if (nodes[a].size > nodes[b].size) std::swap(a, b);
    RegionNode& from = nodes[a];
    RegionNode& into = nodes[b];
    from.parent = b;
    into.size += from.size;
    into.sumR += from.sumR;
    into.sumG += from.sumG;
    into.sumB += from.sumB;
    *count -= 1;
}

int SegmentGraph(RegionNode* nodes, int32_t* count, const PixelEdge* edges, int n, int k) {
    if (n <= 0) return 1;
    // One threshold for every node an edge reaches.
    int32_t nodeCount = 0;
    for (int e = 0; e < n; e++) {
        if (edges[e].a >= nodeCount) nodeCount = edges[e].a + 1;
        if (edges[e].b >= nodeCount) nodeCount = edges[e].b + 1;
    }
    int32_t* threshold = static_cast<int32_t*>(WorkAlloc(static_cast<size_t>(nodeCount) * sizeof(int32_t)));
    if (!threshold) return 0;
    const int32_t initial = k * kWeightOne;
    for (int32_t i = 0; i < nodeCount; i++) threshold[i] = initial;

    for (int e = 0; e < n; e++) {
        const int32_t w = edges[e].weight;
        const int ra = FindRoot(nodes, edges[e].a);
        const int rb = FindRoot(nodes, edges[e].b);
        if (ra == rb || w > threshold[ra] || w > threshold[rb]) continue;
        JoinRegions(nodes, count, ra, rb);
        const int r = FindRoot(nodes, ra);
        threshold[r] = RegionThreshold(w, nodes[r].size, k);
    }
    WorkFree(threshold);
    return 1;
}

void MergeSmallRegions(RegionNode* nodes, int32_t* count, const PixelEdge* edges, int n, int minRegion) {
    for (int e = 0; e < n; e++) {
        const int ra = FindRoot(nodes, edges[e].a);
        const int rb = FindRoot(nodes, edges[e].b);
        if (ra == rb) continue;
        if (nodes[ra].size < minRegion || nodes[rb].size < minRegion) JoinRegions(nodes, count, ra, rb);
    }
}

void MergeHeadBody(RegionNode* nodes, int32_t* count, const PixelEdge* edges, int n, int chinIndex, int headMin,
                   int bodyMin) {
    for (int e = 0; e < n; e++) {
        const int ra = FindRoot(nodes, edges[e].a);
        const int rb = FindRoot(nodes, edges[e].b);
        if (ra == rb) continue;
        const int limit = (ra >= chinIndex && rb >= chinIndex) ? bodyMin : headMin;
        if (nodes[ra].size < limit || nodes[rb].size < limit) JoinRegions(nodes, count, ra, rb);
    }
}

void MergeByColour(RegionNode* nodes, int32_t* count, const PixelEdge* edges, int n, int chinIndex) {
    for (int e = 0; e < n; e++) {
        const int ra = FindRoot(nodes, edges[e].a);
        const int rb = FindRoot(nodes, edges[e].b);
        if (ra == rb) continue;
        int limit = kHeadColourLimit;
        if (ra >= chinIndex && rb >= chinIndex) {
            if (nodes[ra].size + nodes[rb].size >= kBodyColourCap) continue;
            limit = kBodyColourLimit;
        }
        if (MeanDiff(nodes[ra], nodes[rb]) < limit) JoinRegions(nodes, count, ra, rb);
    }
}
