// Closing the holes of the subject mask inside a rectangle.
#pragma once

#include <cstdint>

// `mask` holds `width` x `height` bytes, 0 = background and 1 = subject. Only the
// rectangle left..right, top..bottom (inclusive, clamped to the picture) is read
// and written; nothing is done for an empty rectangle.
//
// Every blob of subject pixels is traced once along its outer contour, clockwise
// from its first pixel in raster order (Moore neighbour tracing; positions outside
// the rectangle count as background). The background positions left, above, right
// of and below each contour pixel that the walk examines are marked, and each row
// of the contour box (the bounds of all contours traced so far) is filled from a
// contour pixel with a marked left neighbour up to the next contour pixel with a
// marked right neighbour. Holes enclosed by a blob become subject; bays open to the
// outside stay background. A walk ends the first time its start pixel comes up as
// a candidate; on some ragged shapes that happens before the whole contour was
// walked, and the row fill may then also cover a bay beside the part left out.
// Each walk stops after 4 x (rectangle pixels) + 8 moves at the latest, so a mask
// in an unexpected state cannot hold it up.
//
// On return every pixel of the rectangle is 0 or 1: whatever was not 0 is 1. If the
// marker map (one byte per picture pixel plus a border) cannot be allocated, no
// hole is filled and only that last rule is applied.
void FillMaskHoles(uint8_t* mask, int width, int height, int left, int right, int top, int bottom);
