// Walking the outer contour of a blob of subject pixels in a mask, clockwise,
// by Moore neighbour tracing. The hole filler and the touch editor's clean-up
// both start from such a walk.
#pragma once

#include <cstddef>
#include <cstdint>

// Marker value of a background position examined beside a contour.
constexpr uint8_t kContourMark = 5;

// The state of the walks over one rectangle of one mask. Fill it with
// OpenContourWalk and release it with CloseContourWalk.
struct ContourWalk {
    uint8_t* mask;  // width x height bytes, row-major
    int width, height;
    int left, right, top, bottom;     // inclusive, inside the picture
    uint8_t subjectLow, subjectHigh;  // mask values in this range (inclusive) count as subject
    // One cell for every position -1 <= x <= width, -1 <= y <= height, so that
    // positions just outside the picture can be marked too.
    uint8_t* marker;
    size_t markerStride;
    int64_t maxMoves;  // moves one walk may make: 4 x (rectangle pixels) + 8
    // Contour box: bounds of every pixel a walk moved to since the walk state was
    // opened (a walk's start pixel does not widen it); (width, -1, height, -1)
    // when no walk has moved yet.
    int minX, maxX, minY, maxY;
};

// Prepares walks over the rectangle left..right, top..bottom of `mask`, which
// must lie inside the width x height picture and not be empty. Allocates the
// zero-filled marker map (one byte per picture pixel plus a one-pixel border)
// from the working memory. Returns false, with nothing allocated, when that
// allocation fails.
bool OpenContourWalk(ContourWalk* walk, uint8_t* mask, int width, int height, int left, int right, int top, int bottom,
                     uint8_t subjectLow, uint8_t subjectHigh);

// Releases the marker map.
void CloseContourWalk(ContourWalk* walk);

// Sets every cell of the marker map back to 0.
void ClearContourMarks(ContourWalk* walk);

// The marker cell of position (x, y), -1 <= x <= width, -1 <= y <= height.
inline uint8_t& ContourMarker(const ContourWalk* walk, int x, int y) {
    return walk->marker[static_cast<size_t>(y + 1) * walk->markerStride + static_cast<size_t>(x + 1)];
}

// Walks the outer contour of the blob that holds (sx, sy), a subject pixel of
// the rectangle; positions outside the rectangle count as background. The start
// is meant to be the blob's first pixel in raster order, so that its up-left,
// up, up-right and left neighbours are not subject. The start and every pixel
// the walk moves to get the mask value `markValue`, which must itself count as
// subject; every edge neighbour (left, up, right, down) examined and found not
// subject gets the marker value kContourMark. Neighbours are tried clockwise
// from the one after the pixel just left, so the walk keeps the background on
// its left and steps on the blob's pixels that have an edge neighbour in the
// background around it.
//
// The walk ends the first time the start comes up as a candidate, or at once
// when the start has no subject neighbour. When the start is the only link
// between two stretches of the contour (the apex of a thin inverted V, say), it
// comes up before the whole contour was walked, and the stretch not reached is
// left as it was. Whatever the start and the mask, a walk stops after maxMoves
// moves at the latest.
void TraceContour(ContourWalk* walk, int sx, int sy, uint8_t markValue);
