// Opening a picture file (24-bit BMP or JPEG) as a working image, and the width
// padding rule both readers share.
#pragma once

#include <cstdint>
#include <cstdio>

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

// Opens a picture file for reading (null when it cannot be opened).
FILE* OpenPictureFile(const wchar_t* path);

// The reader for the file at `path`: ".BMP" anywhere in the upper-cased path
// selects the BMP reader, otherwise ".JPG" anywhere the JPEG reader; anything
// else none. A file chosen as BMP that starts with a JPEG's start-of-image
// marker (which the BMP reader always refuses) is read as JPEG: saving over a
// picture opened from a BMP file writes JPEG data under the BMP name.
enum class PictureFormat { None, Bmp, Jpeg };
PictureFormat PictureFormatOf(const wchar_t* path);

// Reads the size of the picture at `path` from its header alone, by the same
// choice of reader as LoadPicture: the file's own width (before padding) and
// height. Returns 1, or 0 when the file is not one the readers accept by its
// header.
int ReadPictureSize(const wchar_t* path, int* width, int* height);

enum { LOAD_FAILED = 0, LOAD_OK = 1, LOAD_TOO_LARGE = 2 };

// Loads the file at `path` into `record` with the reader PictureFormatOf
// selects. The record is cleared first (it must hold a
// valid pixel pointer or null). On success it receives the padded width, the
// height, the byte size 3 x width x height, the pixels (malloc'ed;
// ClearImageRecord frees them) and `fileName` in UTF-8, cut at 255 bytes on a
// character boundary, and the result is LOAD_OK.
//
// With `maxBytes` above 0, a picture whose byte size, read from its header, is
// larger is not decoded at all: the record then holds the name, width, height
// and byte size but no pixels, and the result is LOAD_TOO_LARGE.
//
// LOAD_FAILED leaves the record cleared.
int LoadPicture(const wchar_t* path, const wchar_t* fileName, ImageRecord* record, int64_t maxBytes = 0);
