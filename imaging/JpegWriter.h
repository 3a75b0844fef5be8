// Writing a working image as a JPEG file.
#pragma once

#include <cstdint>

// Writes `pixels` (blue, green, red bytes, top row first, rows of 3 x width bytes)
// to `path` as a baseline JPEG with the library's default settings (quality 75).
// The picture is first written to a temporary file in the same folder, which
// replaces `path` only once it is complete, so a failed save (no such folder, a
// full medium, a write error) leaves an existing file at `path` untouched and
// leaves no partial file behind. Returns 1 on success, 0 on any failure.
int SaveJpegPicture(const wchar_t* path, const uint8_t* pixels, int width, int height);
