// Opening a picture file (24-bit BMP or JPEG) as a working image, and the width
// padding rule both readers share.
#pragma once

#include <cstdint>
#include <cstdio>

#include "imaging/ImageRecord.h"

// What the readers accept. A picture of up to 100 million pixels (a 100-megapixel
// photo) opens if neither side is over 30000 pixels, which allows any aspect up
// to 9:1 at that size. The byte cap is the working image of such a picture with
// its widest padding. Anything larger is refused from its header before
// anything is allocated, so a damaged or hostile header cannot ask for more.
constexpr int kMaxPictureSide = 30000;
constexpr int64_t kMaxPicturePixels = 100'000'000;
constexpr int64_t kMaxPictureBytes = 3 * (kMaxPicturePixels + 63 * static_cast<int64_t>(kMaxPictureSide));

// The multiple a picture's width is rounded up to: 4 up to 420 pixels, 8 up to 850,
// 16 up to 1650, 32 up to 3250, 64 above. Reduced copies made later then divide
// cleanly.
int WidthStep(int w);

// The width a reader reports for a picture `w` pixels wide: w rounded up to
// WidthStep(w). `w` must be between 1 and kMaxPictureSide.
int PaddedWidth(int w);

// True when a picture of `w` x `h` pixels (its true upright size, before
// padding) is within the limits above: both sides from 1 to kMaxPictureSide, at
// most kMaxPicturePixels pixels, and a working image (padded width) of at most
// kMaxPictureBytes.
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
// choice of reader as LoadPicture: the width (before padding) and height of the
// picture as it opens, that is upright for a JPEG file whose EXIF block states
// an orientation (the header and the EXIF block are read, nothing is decoded).
// Returns 1, or 0 when the file is not one the readers accept by its header.
int ReadPictureSize(const wchar_t* path, int* width, int* height);
// The same without the readers' size limits: the size a header states however
// large it is, so that a tool can say a picture is too large rather than
// unreadable. (A BMP header beyond the limits is still not read.)
int ReadStatedPictureSize(const wchar_t* path, int* width, int* height);

enum { LOAD_FAILED = 0, LOAD_OK = 1, LOAD_TOO_LARGE = 2 };

// Loads the file at `path` into `record` with the reader PictureFormatOf
// selects. The record is cleared first (it must hold valid pixel and metadata
// pointers or null). On success it receives the padded width, the height, the
// byte size 3 x width x height, the pixels (malloc'ed, upright; ClearImageRecord
// frees them), the metadata of a JPEG file (see JpegReader.h; null for BMP files
// and JPEG files without any) and `fileName` in UTF-8, cut at 255 bytes on a
// character boundary, and the result is LOAD_OK.
//
// With `maxBytes` above 0, a picture whose byte size, read from its header (and
// EXIF orientation) by ReadPictureSize, is larger is not decoded at all: the
// record then holds the name, the upright padded width, height and byte size but
// no pixels and no metadata, and the result is LOAD_TOO_LARGE.
//
// LOAD_FAILED leaves the record cleared.
int LoadPicture(const wchar_t* path, const wchar_t* fileName, ImageRecord* record, int64_t maxBytes = 0);
