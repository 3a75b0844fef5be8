// Reading JPEG files.
#pragma once

#include <cstdint>

// Decodes the JPEG file at `path` into a working image: blue, green, red bytes,
// top row first, the width padded with PaddedWidth and the padding columns black.
// Colour, greyscale (grey copied to all three bytes) and CMYK/YCCK files are read.
// A damaged file makes the call fail (the library's message goes to stderr); it
// never ends the program. A truncated file whose start decodes loads with the
// library's filler in the missing rows. Returns a malloc'ed buffer (release with
// free) with width and height set, or null.
uint8_t* LoadJpegPicture(const wchar_t* path, int* width, int* height);
