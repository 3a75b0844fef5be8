// Nearest-sample resizing of working images and masks.
#pragma once

#include <cstdint>

// Copies `src` (srcW x srcH) into the caller's `dst` (dstW x dstH) by picking one
// source pixel per destination pixel, without filtering. Pixels are 3 bytes when
// `colour` is non-zero (a working image), else 1 byte (a mask).
//
// When srcW <= dstW both axes are enlarged with Q15 steps: source position
// (x * ((srcW << 15) / dstW)) >> 15, limited to 11 bits (& 2047) and then to at
// most size - 2, so the last source row and column are not sampled (0 for sources
// narrower or lower than 2 pixels). Otherwise both axes are reduced by the integer
// ratios srcW / dstW and srcH / dstH. Nothing is written when a size is not
// positive.
void ResizePicture(const uint8_t* src, int srcW, int srcH, uint8_t* dst, int dstW, int dstH, int colour);
