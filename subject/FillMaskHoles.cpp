#include "subject/FillMaskHoles.h"

#include <cstddef>

#include "subject/ContourTrace.h"

namespace {

constexpr uint8_t kTraced = 2;  // mask value of a pixel traced or filled during the call

// Fills every row of the contour box from a traced pixel with a marked left
// neighbour to the next traced pixel with a marked right neighbour.
void FillRows(ContourWalk* walk) {
    for (int y = walk->minY; y <= walk->maxY; y++) {
        uint8_t* row = walk->mask + static_cast<size_t>(y) * walk->width;
        const uint8_t* marks = &ContourMarker(walk, 0, y);  // marks[x] = (x, y)
        bool inside = false;
        for (int x = walk->minX; x <= walk->maxX; x++) {
            const bool traced = row[x] == kTraced;
            if (traced && marks[x - 1] == kContourMark) inside = true;
            if (traced && marks[x + 1] == kContourMark) inside = false;
            if (inside) row[x] = kTraced;
        }
    }
}

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

    ContourWalk walk;
    if (OpenContourWalk(&walk, mask, width, height, left, right, top, bottom, 1, 255)) {
        for (int y = top; y <= bottom; y++) {
            for (int x = left; x <= right; x++) {
                if (mask[static_cast<size_t>(y) * width + x] != 1) continue;
                TraceContour(&walk, x, y, kTraced);
                FillRows(&walk);
            }
        }
        CloseContourWalk(&walk);
    }
    SettleValues(mask, width, left, right, top, bottom);
}
