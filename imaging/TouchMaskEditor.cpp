#include "imaging/TouchMaskEditor.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "subject/ContourTrace.h"
#include "subject/FillMaskHoles.h"
#include "subject/SubjectMask.h"
#include "subject/WorkMemory.h"

namespace {

constexpr int kProbeReach = 2;  // the probe square is 5 x 5
constexpr int kEditReach = 20;  // the edit square is 41 x 41

constexpr uint8_t kCounted = 2;  // mask value of a pixel of a piece already walked and counted
// Marker value of a subject pixel the piece fill has reached. The walks mark
// only positions that are not subject, so it never meets kContourMark.
constexpr uint8_t kReached = 3;

// The last row or column of a square reaching `reach` beyond `at`, cut at `limit`
// (without overflowing near the largest int).
int Reach(int at, int reach, int limit) {
    return static_cast<int>(std::min<int64_t>(static_cast<int64_t>(at) + reach, limit));
}

// Leaves every pixel of the rectangle 0 or 1.
void SettleValues(uint8_t* mask, int w, int left, int right, int top, int bottom) {
    for (int y = top; y <= bottom; y++) {
        uint8_t* row = mask + static_cast<size_t>(y) * w;
        for (int x = left; x <= right; x++) row[x] = row[x] != 0;
    }
}

// Sets every pixel of the rectangle whose value is `from` to `to`.
void Replace(uint8_t* mask, int w, int left, int right, int top, int bottom, uint8_t from, uint8_t to) {
    for (int y = top; y <= bottom; y++) {
        uint8_t* row = mask + static_cast<size_t>(y) * w;
        for (int x = left; x <= right; x++)
            if (row[x] == from) row[x] = to;
    }
}

// Goes over the piece that holds (sx, sy): every subject pixel of the rectangle
// 8-connected to it. Each of its pixels whose value is `from` becomes `to`; the
// result is how many did. Only this piece's own pixels are reached, whatever
// lies within its outline, so the count and the restoring of one piece never
// take in another piece nested in its hole. Reached pixels are flagged in the
// marker map, which must not hold kReached on this piece yet. `stack` has room
// for one entry per rectangle pixel: each pixel is pushed at most once.
int64_t FillPiece(ContourWalk* walk, uint32_t* stack, int sx, int sy, uint8_t from, uint8_t to) {
    const int rectWidth = walk->right - walk->left + 1;
    const size_t w = static_cast<size_t>(walk->width);
    int64_t changed = 0;
    size_t depth = 0;
    ContourMarker(walk, sx, sy) = kReached;
    stack[depth++] = static_cast<uint32_t>(static_cast<int64_t>(sy - walk->top) * rectWidth + (sx - walk->left));
    while (depth > 0) {
        const uint32_t at = stack[--depth];
        const int x = walk->left + static_cast<int>(at % rectWidth), y = walk->top + static_cast<int>(at / rectWidth);
        uint8_t& value = walk->mask[static_cast<size_t>(y) * w + x];
        if (value == from) value = to, changed++;
        const int x0 = std::max(x - 1, walk->left), x1 = std::min(x + 1, walk->right);
        const int y0 = std::max(y - 1, walk->top), y1 = std::min(y + 1, walk->bottom);
        for (int ny = y0; ny <= y1; ny++) {
            for (int nx = x0; nx <= x1; nx++) {
                const uint8_t v = walk->mask[static_cast<size_t>(ny) * w + nx];
                if (v < walk->subjectLow || v > walk->subjectHigh) continue;
                uint8_t& reached = ContourMarker(walk, nx, ny);
                if (reached == kReached) continue;
                reached = kReached;
                stack[depth++] =
                    static_cast<uint32_t>(static_cast<int64_t>(ny - walk->top) * rectWidth + (nx - walk->left));
            }
        }
    }
    return changed;
}

}  // namespace

void KeepLargestBlob(uint8_t* mask, int w, int h, int left, int right, int top, int bottom) {
    if (!mask || w <= 0 || h <= 0) return;
    left = std::max(left, 0);
    top = std::max(top, 0);
    right = std::min(right, w - 1);
    bottom = std::min(bottom, h - 1);
    if (right < left || bottom < top) return;
    SettleValues(mask, w, left, right, top, bottom);

    const int64_t rectPixels = static_cast<int64_t>(right - left + 1) * (bottom - top + 1);
    if (rectPixels > static_cast<int64_t>(UINT32_MAX)) return;  // beyond what the fill's stack can index
    ContourWalk walk;
    if (!OpenContourWalk(&walk, mask, w, h, left, right, top, bottom, 1, kCounted)) return;
    uint32_t* stack = static_cast<uint32_t*>(WorkAlloc(static_cast<size_t>(rectPixels) * sizeof(uint32_t)));
    if (!stack) {
        CloseContourWalk(&walk);
        return;
    }

    // Walk and count every piece; all of its pixels are kCounted afterwards, so
    // the scan meets each piece once, at its first pixel.
    int64_t bestCount = 0;
    int bestX = -1, bestY = -1;
    int pieces = 0;
    for (int y = top; y <= bottom; y++) {
        for (int x = left; x <= right; x++) {
            if (mask[static_cast<size_t>(y) * w + x] != 1) continue;
            TraceContour(&walk, x, y, kCounted);
            const int64_t count = FillPiece(&walk, stack, x, y, 1, kCounted);
            if (count >= bestCount) bestCount = count, bestX = x, bestY = y;
            if (pieces < 2) pieces++;
        }
    }

    if (pieces < 2) {
        Replace(mask, w, left, right, top, bottom, kCounted, 1);
    } else {
        // Walk the kept piece again, marking its outline with 1, then bring the
        // rest of it back to 1; whatever is still kCounted belongs to the others.
        ClearContourMarks(&walk);
        TraceContour(&walk, bestX, bestY, 1);
        FillPiece(&walk, stack, bestX, bestY, kCounted, 1);
        Replace(mask, w, left, right, top, bottom, kCounted, 0);
    }
    WorkFree(stack);
    CloseContourWalk(&walk);
}

void EditMaskByTouch(uint8_t* mask, int w, int h, int x, int y, int erase) {
    if (!mask || w <= 0 || h <= 0 || !RegionLabelMap) return;
    const int64_t mapLeft = RegionRect[0], mapRight = RegionRect[1], mapTop = RegionRect[2], mapBottom = RegionRect[3];
    if (mapLeft > mapRight || mapTop > mapBottom) return;
    // The part of the label map's rectangle that lies in the mask; an empty one
    // holds no touch.
    const int left = static_cast<int>(std::max<int64_t>(mapLeft, 0));
    const int right = static_cast<int>(std::min<int64_t>(mapRight, w - 1));
    const int top = static_cast<int>(std::max<int64_t>(mapTop, 0));
    const int bottom = static_cast<int>(std::min<int64_t>(mapBottom, h - 1));
    if (x < left || x > right || y < top || y > bottom) return;

    const int64_t mapWidth = mapRight - mapLeft + 1;
    auto label = [&](int px, int py) { return RegionLabelMap[(py - mapTop) * mapWidth + (px - mapLeft)]; };

    // The distinct labels of the probe square.
    uint16_t probe[(2 * kProbeReach + 1) * (2 * kProbeReach + 1)];
    int probeCount = 0;
    for (int py = std::max(y - kProbeReach, top); py <= Reach(y, kProbeReach, bottom); py++) {
        for (int px = std::max(x - kProbeReach, left); px <= Reach(x, kProbeReach, right); px++) {
            const uint16_t l = label(px, py);
            if (std::find(probe, probe + probeCount, l) == probe + probeCount) probe[probeCount++] = l;
        }
    }

    const uint8_t value = erase ? 0 : 1;
    for (int py = std::max(y - kEditReach, top); py <= Reach(y, kEditReach, bottom); py++) {
        uint8_t* row = mask + static_cast<size_t>(py) * w;
        for (int px = std::max(x - kEditReach, left); px <= Reach(x, kEditReach, right); px++) {
            if (std::find(probe, probe + probeCount, label(px, py)) != probe + probeCount) row[px] = value;
        }
    }

    if (erase) {
        KeepLargestBlob(mask, w, h, left, right, top, bottom);
    } else {
        FillMaskHoles(mask, w, h, left, right, top, bottom);
    }
}
