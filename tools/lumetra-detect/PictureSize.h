// The stored size of a JPEG or BMP file, read from its header without decoding
// the pixels.
#pragma once

#include <string>

// Sets `width` and `height` to the picture's own size (before any padding by the
// readers) and returns true when the file starts like a JPEG with a frame header
// or a BMP with an information header; returns false otherwise.
bool ReadPictureSize(const std::string& path, int* width, int* height);
