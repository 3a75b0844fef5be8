// Correcting the subject mask by touch: whole colour regions of the subject
// search's label map are added to or erased from the mask around a touched point.
#pragma once

#include <cstdint>

// `mask` holds w x h bytes of the reduced picture, 0 = background, 1 = subject.
// (x, y) is the touched pixel; erase = 0 adds, any other value erases.
//
// Works on the part of RegionRect that lies in the mask, with the labels of
// RegionLabelMap (which must cover RegionRect, as FindSubjectMask leaves it).
// Nothing at all happens without a label map, for a null mask or a size of 0,
// or when (x, y) lies outside that part of the rectangle.
//
// Every region with a pixel in the 5 x 5 probe square centred on (x, y) is set
// to subject (adding) or background (erasing) where it lies inside the 41 x 41
// edit square centred on (x, y): a large region changes only within 20 pixels
// of the touch. Both squares are cut to the rectangle. Pixels outside the
// rectangle never change.
//
// Afterwards the rectangle is cleaned up: after adding, holes enclosed by the
// subject are filled (FillMaskHoles); after erasing, only the largest piece of
// subject is kept (KeepLargestBlob). Every pixel of the rectangle is 0 or 1 on
// return. When the working memory of the clean-up cannot be allocated, the
// regions were still switched but nothing more happened: no hole was filled and
// no piece was removed.
void EditMaskByTouch(uint8_t* mask, int w, int h, int x, int y, int erase);

// Keeps only the largest piece of subject inside the rectangle left..right,
// top..bottom (inclusive, cut to the mask; nothing is done for an empty one).
// A piece is an 8-connected set of subject pixels of the rectangle, found when
// the raster scan of the rectangle meets its first pixel. Pixels outside the
// rectangle count as background and never change.
//
// Each piece's outer contour is walked clockwise from its first pixel as
// FillMaskHoles walks it, and the piece's size is the number of its pixels the
// walk did not step on. The walk normally steps on exactly the pixels with an
// edge neighbour in the background around the piece, so the size is the count of
// the piece's inner pixels: a one-pixel-wide line counts 0, a filled n x n
// square (n - 2)^2; the pixels bordering a hole of the piece count, the hole
// itself does not, and another piece lying inside that hole counts for itself
// alone. (When the first pixel is the only link between two stretches of the
// outline, as the apex of a thin inverted V, the walk ends on coming back to it
// and the stretch it did not reach counts as inner too.) The size is taken by
// going over the piece's own 8-connected pixels from its first pixel, never over
// a box or row spans, so no pixel of another piece is ever counted for it,
// however the pieces lie within each other's outlines.
//
// The piece with the largest size is kept whole and every other piece of the
// rectangle becomes background; of pieces with equal sizes the one met last in
// the scan is kept. Holes are not filled. With no piece or a single piece the
// mask is left as it was. On return every pixel of the rectangle is 0 or 1:
// any value other than 0 found there counts as subject and ends as 1. When the
// working memory (a marker map of one byte per mask pixel plus a border, and
// four bytes per rectangle pixel for the fill of a piece) cannot be allocated,
// no piece is removed and only that last rule is applied.
void KeepLargestBlob(uint8_t* mask, int w, int h, int left, int right, int top, int bottom);
