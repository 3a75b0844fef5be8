// Cutting the subject rectangle of a working image into colour regions: graph-based
// segmentation after Felzenszwalb and Huttenlocher over 4-neighbour pixel edges on
// a disjoint-set forest, followed by three merge passes (regions that are too
// small, regions small for a head or a body, neighbouring regions of similar mean
// colour).
//
// Pixel indices are taken inside the rectangle, row by row from its top-left
// corner: i = (y - top) x rectWidth + (x - left). A rectangle is passed as four
// int32 values in the order left, right, top, bottom, all inclusive. Weights and
// thresholds are 16.16 fixed point; no floating point is used.
//
// The subject pipeline calls, in this order: BuildEdgeGraph, SortEdges(0, n - 1),
// InitRegionNodes, SegmentGraph, MergeSmallRegions, then (after writing the region
// label map) MergeHeadBody and MergeByColour. Every pass walks the same sorted edge
// array from the first edge to the last, and looks the roots up afresh for every
// edge, so it sees the joins it made itself earlier on.
#pragma once

#include <cstdint>

// An edge between two neighbouring pixels; weight = the largest difference of the
// two pixels' blue, green and red bytes x 65536.
struct PixelEdge {
    int32_t weight;
    int32_t a;
    int32_t b;
};

// One node of the region forest per rectangle pixel. A node whose parent is itself
// is a root; its index names the region, and its sums and size cover the region.
// The sums stay within int32 for regions of up to 8.4 million pixels, far more than
// any reduced picture holds.
struct RegionNode {
    int32_t sumR;
    int32_t sumG;
    int32_t sumB;
    int32_t parent;
    int32_t size;
};

// The rule of SegmentGraph for the threshold of a region of `size` pixels whose
// last join was made by an edge of `weight`: weight + (k x 65536) / size.
inline int32_t RegionThreshold(int32_t weight, int32_t size, int32_t k) {
    return weight + (k * 65536) / size;
}

// Writes the edges of the rectangle `rect` of `image` (a working image `width`
// pixels wide) into `edges`, which needs room for 2 x rectWidth x rectHeight
// entries. Pixels are visited row by row; each gives the edge to its right
// neighbour (when it has one) and then the edge to the neighbour below (when it has
// one). Returns their number, 2 x w x h - w - h (0 for an empty rectangle).
int BuildEdgeGraph(const uint8_t* image, int width, const int32_t* rect, PixelEdge* edges);

// Sorts edges lo to hi (inclusive) ascending by weight with a quicksort that takes
// the first edge of a range as pivot (Hoare partitioning, both scans stopping on
// equal weights). Equal weights do not keep their order, and the order in which
// they come out decides the regions, so this exact partitioning is part of the
// result. The stack depth stays logarithmic whatever the input.
void SortEdges(PixelEdge* edges, int lo, int hi);

// One node per rectangle pixel: its red, green and blue bytes as sums, parent =
// itself, size 1.
void InitRegionNodes(const uint8_t* image, int width, const int32_t* rect, RegionNode* nodes);

// The root of node i. The parent link of i itself (only of i) is set to the root.
int FindRoot(RegionNode* nodes, int i);

// Joins the regions of roots a and b: the smaller joins the larger, and on equal
// sizes a joins b. The size and colour sums are added into the remaining root;
// `*count` (the number of regions) goes down by one.
void JoinRegions(RegionNode* nodes, int32_t* count, int a, int b);

// The Felzenszwalb-Huttenlocher pass over the sorted edges: every region starts
// with the threshold k x 65536; an edge joins its two regions when its weight is at
// most the threshold of both, and the joined region's threshold becomes
// RegionThreshold(weight, size, k). Returns 1, or 0 (with nothing joined) when the
// threshold array cannot be allocated.
int SegmentGraph(RegionNode* nodes, int32_t* count, const PixelEdge* edges, int n, int k);

// Joins the two regions of every edge when either has fewer than `minRegion` pixels.
void MergeSmallRegions(RegionNode* nodes, int32_t* count, const PixelEdge* edges, int n, int minRegion);

// Regions whose root index is at least `chinIndex` lie in the body part of the
// rectangle, the others in the head part. The two regions of an edge are joined
// when either is smaller than `bodyMin` if both are body regions, or smaller than
// `headMin` otherwise.
void MergeHeadBody(RegionNode* nodes, int32_t* count, const PixelEdge* edges, int n, int chinIndex, int headMin,
                   int bodyMin);

// Joins neighbouring regions of similar mean colour. The difference is the sum over
// red, green and blue of |mean(a) - mean(b)|, means truncated. Two body regions
// (see MergeHeadBody) join when together they have fewer than 8000 pixels and the
// difference is below 60; any other pair joins when the difference is below 10.
void MergeByColour(RegionNode* nodes, int32_t* count, const PixelEdge* edges, int n, int chinIndex);
