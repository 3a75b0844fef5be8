// The background blur renderer: the shallow-depth-of-field picture.
//
// RenderBackgroundBlur works on a reduced copy of the picture (the pyramid level
// of the longer side, as for the main window's copy): it finds small bright or
// dark spots and brightens a small disc around each (FindHighlights,
// StampHighlights), blurs the copy without letting subject colours run into the
// background (BlurBackground), enlarges the subject mask to full size and turns
// it into per-pixel blend weights, growing the subject along edges of similar
// colour (BuildBlendWeights), and blends the enlarged blurred copy with the sharp
// picture through those weights (CompositeBlur).
//
// Pictures are working images: 3 bytes per pixel (blue, green, red), rows top
// first, each row exactly 3 x width bytes. Maps are one byte per pixel. Every
// buffer comes first, then the sizes. All arithmetic is integer and every step
// gives exactly the values of the plain formulas written out below; the sub-steps
// are exposed for the tests.
#pragma once

#include <cstdint>

// Highlight kernel, 7 x 7 signed Q15 values, row dy = -3..3 then column
// dx = -3..3; the sum is 0.
extern const int16_t kHighlightKernel[7][7];
// Blur taps by distance 0, 1, 2, 3 (seven taps, total 49), normalised by
// (sum x 21) >> 10.
extern const int kBlurTaps[4];
// Highlight stamp pattern, 4 x 4, 1 = brighten: rows 0110, 1111, 1111, 0110.
extern const uint8_t kStampPattern[4][4];

// Renders the effect of the `W` x `H` working image `picture` into `output`
// (W x H x 3 bytes; it may be the same buffer as `picture`: every output pixel
// depends only on the same picture pixel and on buffers made here). `mask` is
// the subject mask of the reduced copy, (W >> level) x (H >> level) bytes with
// level = PyramidLevel(max(W, H)); a byte of 1 is subject, any other value
// background. It is only read.
//
// Returns 1 on success. Returns 0, with `output` untouched (not one byte
// written), when a pointer is null, a size is not positive, the reduced copy
// would have no pixel (a side shorter than 1 << level, e.g. 4 x 3000: the mask
// then has no byte either), or working memory cannot be allocated. All working
// memory comes from WorkAlloc/WorkCalloc, and `output` is written only by the
// last step, CompositeBlur, once its own buffers are allocated; so a caller
// rendering in place keeps its picture whenever 0 comes back.
int RenderBackgroundBlur(const uint8_t* picture, const uint8_t* mask, uint8_t* output, int W, int H);

// The highlight response and the spots of the grey map `grey` (w x h). Writes
// every byte of `responses` (w x h): |r(x, y)|, where r is the sum over the
// kernel cells inside the map of (kernel x grey) >> 15, each product shifted
// separately (towards minus infinity); cells outside the map count nothing. It
// never exceeds 185. Writes every byte of `spots` (w x h): 255 where the
// response is at least 78 and equals the largest response of the 5 x 5 block
// around it (cells outside the map skipped; plateaus give several spots), else
// 0. The caller need not clear either buffer.
void FindHighlights(const uint8_t* grey, uint8_t* responses, uint8_t* spots, int w, int h);

// Brightens a disc around every spot (spots byte 255) of the w x h working image
// `picture`, scanning rows top to bottom and columns left to right; spots with
// x < 4, x + 3 >= w, y < 4 or y + 3 >= h are skipped. The disc lies in the 7 x 7
// window from (x - 4, y - 4) to (x + 2, y + 2): each cell of the 4 x 4 pattern
// covers a 2 x 2 block of pixels starting at the window's top-left corner, and
// the pattern's last row and column are cut to their first pixel line by the
// window, i.e. window pixel (x + dx, y + dy), dx, dy = -4..2, is brightened when
// kStampPattern[(dy + 4) / 2][(dx + 4) / 2] is 1. Relative to the spot:
//
//        dx: -4 -3 -2 -1  0 +1 +2
//   dy -4:         X  X  X  X
//   dy -3:         X  X  X  X
//   dy -2:   X  X  X  X  X  X  X
//   dy -1:   X  X  X  X  X  X  X
//   dy  0:   X  X  X  X  S  X  X
//   dy +1:   X  X  X  X  X  X  X
//   dy +2:         X  X  X  X
//
// a round disc of 40 pixels about the spot. Each of the three bytes v of a
// brightened pixel becomes (15 x (v + 289)) >> 5 (0 -> 135, 255 -> 255);
// overlapping discs brighten again.
void StampHighlights(uint8_t* picture, const uint8_t* spots, int w, int h);

// Blurs the w x h working image `picture` in place with the seven taps, first
// along rows into `temp` (w x h x 3 bytes, need not be cleared) and then along
// columns back into `picture`. A tap that falls outside the picture or on a
// subject pixel (mask byte 1) takes the centre pixel instead, so a background
// pixel never takes a colour from the subject. Results are limited to 255.
void BlurBackground(uint8_t* picture, const uint8_t* mask, uint8_t* temp, int w, int h);

// Turns the subject mask enlarged to full size (`weights`, W x H bytes, 1 =
// subject, any other value background) into blend weights of the W x H working
// image `picture`, at pyramid level `level` (limited to 0..4): 255 keeps the
// sharp pixel, 0 to 96 is the share of the sharp pixel in 256ths of a
// background pixel (0 down to the middle row H / 2, growing to about 96 at the
// bottom row).
//
// Edge growing then visits the pixels at least e = 8 x level from every border,
// rows top to bottom, and lets the subject grow across its right, left, bottom
// and top edges into pixels whose colour matches the mean colour of the subject
// pixels among nine on the subject side, walking at most e pixels from the edge
// pixel. (A walk starts at the visited pixel: the right,
// bottom and top walks at the subject pixel, so they grow up to e pixels; the
// left walk at the background pixel left of the subject, so it grows up to
// e + 1.) At level 0 (e = 0) the pixels next to the borders are visited too: a
// test whose neighbour (x + 1 or y +/- 1) lies outside the picture is skipped,
// and the nine averaged pixels are clipped to those inside the picture (the mean
// is over the subject pixels among them).
//
// Returns 1, or 0 when its working memory (20 bytes per column, from
// WorkCalloc) cannot be allocated or an argument is invalid; the map is then
// unfinished.
int BuildBlendWeights(const uint8_t* picture, uint8_t* weights, int W, int H, int level);

// The mask enlargement and BuildBlendWeights in one: writes into `weights` (W x H)
// exactly what ResizePicture(mask, w, h, weights, W, H, 0) followed by
// BuildBlendWeights(picture, weights, W, H, level) gives, for a w x h `mask`
// with w <= W (ResizePicture's enlarging branch), but enlarging and setting the
// ramp in one sweep. Returns as BuildBlendWeights.
int BuildBlendWeightsFromMask(const uint8_t* picture, const uint8_t* mask, uint8_t* weights, int W, int H, int w, int h,
                              int level);

// Writes into `output` (W x H x 3, may be `picture`) the blend of the sharp W x H
// `picture` and the blurred w x h copy `blurred`, enlarged bilinearly with 5-bit
// fractions, through `weights` (W x H): (blurred x (255 - m) + sharp x m) >> 8.
// A reduced side of 1 pixel repeats its one row or column (the second sample is
// clamped into the copy). Returns 1, or 0 without writing anything when an
// argument is invalid or its working memory (17 bytes per output column, from
// WorkAlloc) cannot be allocated.
int CompositeBlur(const uint8_t* picture, const uint8_t* blurred, const uint8_t* weights, uint8_t* output, int W, int H,
                  int w, int h);
