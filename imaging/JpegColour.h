// How a JPEG file's decoded samples become a working image's blue, green and red
// bytes. The picture reader and the thumbnail reader share it, so a file shows
// as a thumbnail exactly when it opens.
#pragma once

#include <cstdint>

#include "imaging/JpegErrors.h"

// Sets the decompressor's output colour space for the file's own, after the
// header was read and any scaling was set: RGB for colour files, one sample
// for greyscale, CMYK for CMYK and YCCK files (`invertedCmyk` then says whether
// the inks are stored inverted, as Adobe applications write them). Computes the
// output size. False for files that would decode to anything else.
bool ChooseJpegOutput(j_decompress_ptr cinfo, bool* invertedCmyk);

// Converts one decoded scanline of `width` pixels of `components` samples each
// (3 RGB, 1 grey or 4 CMYK) into `dst` as blue, green, red bytes.
void JpegRowToBgr(const JSAMPLE* src, int components, bool invertedCmyk, int width, uint8_t* dst);
