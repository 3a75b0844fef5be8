// Reading JPEG files.
#pragma once

#include <cstdint>

struct PictureMetadata;

// Decodes the JPEG file at `path` into a working image: blue, green, red bytes,
// top row first, the width padded with PaddedWidth and the padding columns black.
// Colour, greyscale (grey copied to all three bytes) and CMYK/YCCK files are read.
//
// The picture comes out upright: the orientation its EXIF block states (any of
// the eight; a missing, unreadable or other value counts as 1, see
// ExifBlock.h) is applied while decoding, each row going straight to its place,
// so width and height are the upright picture's and the padding columns are at
// its right. Pictures beyond PictureSizeAcceptable (upright) are refused before
// anything is allocated for them.
//
// A damaged file makes the call fail (the library's message goes to stderr); it
// never ends the program. A truncated file whose start decodes loads with the
// library's filler in the missing rows. A damaged EXIF block does not fail the
// load. Returns a malloc'ed buffer (release with free) with width and height
// set, or null.
//
// With `metadata` given, it receives on success what the file carries besides
// the pixels (see JpegMetadata.h), or null when it carries none; release it with
// delete. On failure it is left alone.
uint8_t* LoadJpegPicture(const wchar_t* path, int* width, int* height, PictureMetadata** metadata = nullptr);
