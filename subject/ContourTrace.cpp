#include "subject/ContourTrace.h"

#include <cstring>

#include "subject/WorkMemory.h"

namespace {

// Neighbour positions 0 to 8 in the raster order of the 3 x 3 block; 4 is the
// centre and 8 - p is the opposite of p.
constexpr int kDx[9] = {-1, 0, 1, -1, 0, 1, -1, 0, 1};
constexpr int kDy[9] = {-1, -1, -1, 0, 0, 0, 1, 1, 1};
// Clockwise search order from up-left: order index -> position. Odd indices are the
// four edge neighbours.
constexpr int kOrderPosition[8] = {0, 1, 2, 5, 8, 7, 6, 3};
// Position -> order index (the centre has none).
constexpr int kPositionOrder[9] = {0, 1, 2, 7, -1, 3, 6, 5, 4};

size_t MarkerBytes(const ContourWalk* walk) {
    return walk->markerStride * (static_cast<size_t>(walk->height) + 2);
}

}  // namespace

bool OpenContourWalk(ContourWalk* walk, uint8_t* mask, int width, int height, int left, int right, int top, int bottom,
                     uint8_t subjectLow, uint8_t subjectHigh) {
    const size_t markerStride = static_cast<size_t>(width) + 2;
    uint8_t* marker = static_cast<uint8_t*>(WorkCalloc(markerStride * (static_cast<size_t>(height) + 2), 1));
    if (!marker) return false;
    const int64_t rectPixels = static_cast<int64_t>(right - left + 1) * (bottom - top + 1);
    *walk = ContourWalk{mask,   width,      height,      left,   right,        top,
                        bottom, subjectLow, subjectHigh, marker, markerStride, 4 * rectPixels + 8,
                        width,  -1,         height,      -1};
    return true;
}

void CloseContourWalk(ContourWalk* walk) {
    WorkFree(walk->marker);
    walk->marker = nullptr;
}

void ClearContourMarks(ContourWalk* walk) {
    std::memset(walk->marker, 0, MarkerBytes(walk));
}

void TraceContour(ContourWalk* walk, int sx, int sy, uint8_t markValue) {
    uint8_t* const mask = walk->mask;
    const size_t width = static_cast<size_t>(walk->width);
    auto isSubject = [&](int x, int y) {
        if (x < walk->left || x > walk->right || y < walk->top || y > walk->bottom) return false;
        const uint8_t v = mask[static_cast<size_t>(y) * width + static_cast<size_t>(x)];
        return v >= walk->subjectLow && v <= walk->subjectHigh;
    };

    mask[static_cast<size_t>(sy) * width + static_cast<size_t>(sx)] = markValue;
    int x = sx, y = sy;
    int position = 3;  // left
    int order = 7;
    int tries = 0;
    int64_t moves = 0;
    for (;;) {
        const int cx = x + kDx[position], cy = y + kDy[position];
        if (cx == sx && cy == sy) return;
        if (isSubject(cx, cy)) {
            if (++moves > walk->maxMoves) return;
            mask[static_cast<size_t>(cy) * width + static_cast<size_t>(cx)] = markValue;
            x = cx, y = cy;
            if (x < walk->minX) walk->minX = x;
            if (x > walk->maxX) walk->maxX = x;
            if (y < walk->minY) walk->minY = y;
            if (y > walk->maxY) walk->maxY = y;
            // Turn back towards the pixel just left and go on clockwise after it.
            order = (kPositionOrder[8 - position] + 1) & 7;
            position = kOrderPosition[order];
            tries = 0;
            continue;
        }
        if (order & 1) ContourMarker(walk, cx, cy) = kContourMark;
        order = (order + 1) & 7;
        position = kOrderPosition[order];
        if (++tries == 8) return;
    }
}
