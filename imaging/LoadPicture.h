// Opening a picture file (24-bit BMP or JPEG) as a working image, and the width
// padding rule both readers share.
#pragma once

#include <cstdint>

#include "imaging/ImageRecord.h"

// Largest side and largest working-image byte size a reader accepts. Anything
// larger is refused before allocating, so a damaged or hostile header cannot ask
// for gigabytes.
constexpr int kMaxPictureSide = 30000;
constexpr int64_t kMaxPictureBytes = 200 * 1000 * 1000;

// The multiple a picture's width is rounded up to: 4 up to 420 pixels, 8 up to 850,
// 16 up to 1650, 32 up to 3250, 64 above. Reduced copies made later then divide
// cleanly.
int WidthStep(int w);

// The width a reader reports for a picture `w` pixels wide: w rounded up to
// WidthStep(w). `w` must be between 1 and kMaxPictureSide.
int PaddedWidth(int w);

// True when a picture of `w` x `h` pixels (true width) is within the limits above,
// counting its padded width.
bool PictureSizeAcceptable(int64_t w, int64_t h);

// Loads the file at `path` into `record`: ".BMP" anywhere in the upper-cased path
// selects the BMP reader, otherwise ".JPG" anywhere selects the JPEG reader;
// anything else is refused. The record is cleared first (it must hold a valid
// pixel pointer or null). On success it receives the padded width, the height,
// the byte size 3 x width x height, the pixels (malloc'ed; ClearImageRecord frees
// them) and `fileName` in UTF-8, cut at 255 bytes on a character boundary.
// Returns 1 on success, 0 on failure with the record cleared.
int LoadPicture(const wchar_t* path, const wchar_t* fileName, ImageRecord* record);
