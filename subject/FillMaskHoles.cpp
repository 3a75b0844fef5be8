#include "subject/FillMaskHoles.h"

#include <cstddef>
#include <cstdlib>

#include "subject/WorkMemory.h"

namespace {

constexpr uint8_t kTraced = 2;  // mask value of a pixel traced or filled during the call
constexpr uint8_t kMarked = 5;  // marker value of a background position beside a contour

// Neighbour positions 0 to 8 in the raster order of the 3 x 3 block; 4 is the
// centre and 8 - p is the opposite of p.
constexpr int kDx[9] = {-1, 0, 1, -1, 0, 1, -1, 0, 1};
constexpr int kDy[9] = {-1, -1, -1, 0, 0, 0, 1, 1, 1};
// Clockwise search order from up-left: order index -> position. Odd indices are the
// four edge neighbours.
constexpr int kOrderPosition[8] = {0, 1, 2, 5, 8, 7, 6, 3};
// Position -> order index (the centre has none).
constexpr int kPositionOrder[9] = {0, 1, 2, 7, -1, 3, 6, 5, 4};

struct HoleFiller {
    uint8_t* mask;
    int width;
    int left, right, top, bottom;
    uint8_t* marker;  // (width + 2) x (height + 2); position (x, y) at (y + 1) x stride + x + 1
    size_t markerStride;
    int64_t maxMoves;
    // Contour box: bounds of every pixel a walk has moved to during the call.
    int minX, maxX, minY, maxY;

    uint8_t& Mask(int x, int y) { return mask[static_cast<size_t>(y) * width + x]; }
    uint8_t& Marker(int x, int y) { return marker[static_cast<size_t>(y + 1) * markerStride + (x + 1)]; }
    bool InRect(int x, int y) const { return x >= left && x <= right && y >= top && y <= bottom; }

    // Walks the outer contour of the blob whose first pixel is (sx, sy): turn back
    // towards the pixel just left, then try the neighbours clockwise until one is
    // subject. Ends when the start comes round again as a candidate, when the start
    // has no subject neighbour, or at the move limit.
    void Trace(int sx, int sy) {
        Mask(sx, sy) = kTraced;
        int x = sx, y = sy;
        int position = 3;  // left
        int order = 7;
        int tries = 0;
        int64_t moves = 0;
        for (;;) {
            const int cx = x + kDx[position], cy = y + kDy[position];
            if (cx == sx && cy == sy) return;
            if (InRect(cx, cy) && Mask(cx, cy) != 0) {
                if (++moves > maxMoves) return;
                Mask(cx, cy) = kTraced;
                x = cx, y = cy;
                if (x < minX) minX = x;
                if (x > maxX) maxX = x;
                if (y < minY) minY = y;
                if (y > maxY) maxY = y;
                order = (kPositionOrder[8 - position] + 1) & 7;
                position = kOrderPosition[order];
                tries = 0;
                continue;
            }
            if (order & 1) Marker(cx, cy) = kMarked;
            order = (order + 1) & 7;
            position = kOrderPosition[order];
            if (++tries == 8) return;
        }
    }

    // Fills every row of the contour box from a traced pixel with a marked left
    // neighbour to the next traced pixel with a marked right neighbour.
    void FillRows() {
        for (int y = minY; y <= maxY; y++) {
            uint8_t* row = mask + static_cast<size_t>(y) * width;
            const uint8_t* marks = marker + static_cast<size_t>(y + 1) * markerStride + 1;  // marks[x] = (x, y)
            bool inside = false;
            for (int x = minX; x <= maxX; x++) {
                const bool traced = row[x] == kTraced;
                if (traced && marks[x - 1] == kMarked) inside = true;
                if (traced && marks[x + 1] == kMarked) inside = false;
                if (inside) row[x] = kTraced;
            }
        }
    }
};

// Leaves every pixel of the rectangle 0 or 1.
void SettleValues(uint8_t* mask, int width, int left, int right, int top, int bottom) {
    for (int y = top; y <= bottom; y++) {
        uint8_t* row = mask + static_cast<size_t>(y) * width;
        for (int x = left; x <= right; x++) row[x] = row[x] != 0;
    }
}

}  // namespace

void FillMaskHoles(uint8_t* mask, int width, int height, int left, int right, int top, int bottom) {
    if (!mask || width <= 0 || height <= 0) return;
    if (left < 0) left = 0;
    if (top < 0) top = 0;
    if (right > width - 1) right = width - 1;
    if (bottom > height - 1) bottom = height - 1;
    if (right < left || bottom < top) return;

    const size_t markerStride = static_cast<size_t>(width) + 2;
    uint8_t* marker = static_cast<uint8_t*>(WorkCalloc(markerStride * (static_cast<size_t>(height) + 2), 1));
    if (marker) {
        const int64_t rectPixels = static_cast<int64_t>(right - left + 1) * (bottom - top + 1);
        HoleFiller filler{mask,  width, left,   right, top, bottom, marker, markerStride, 4 * rectPixels + 8,
                          width, -1,    height, -1};
        for (int y = top; y <= bottom; y++) {
            for (int x = left; x <= right; x++) {
                if (filler.Mask(x, y) != 1) continue;
                filler.Trace(x, y);
                filler.FillRows();
            }
        }
        WorkFree(marker);
    }
    SettleValues(mask, width, left, right, top, bottom);
}
