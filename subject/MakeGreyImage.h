// The grey copy of a working image that face finding and the blur renderer read.
#pragma once

#include <cstdint>

// Writes one byte per pixel of the `width` x `height` working image `image`
// (blue, green, red, rows top first, no row padding) into `grey`:
// (B + G + R) / 3, truncated. Does nothing when a pointer is null or a size is
// not positive.
void MakeGreyImage(const uint8_t* image, uint8_t* grey, int width, int height);
