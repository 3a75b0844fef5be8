// EXIF blocks, read and rewritten with libexif: the orientation a photo is
// stored in, and the block a saved copy of the photo carries. A block is the
// APP1 payload after "Exif\0\0", starting with its TIFF header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The most payload bytes one JPEG marker holds.
constexpr size_t kMaxMarkerPayload = 65533;

// What an APP1 payload holding an EXIF block starts with.
constexpr uint8_t kExifHeader[6] = {'E', 'x', 'i', 'f', 0, 0};

// The orientation (1 to 8) the block gives its picture: the Orientation entry of
// its first image directory, 1 when there is none or it holds anything else.
// `intact` (may be null) says whether libexif read the block without finding its
// structure damaged; damage in a maker note does not count, and a block libexif
// finds nothing in is damaged. The orientation of a damaged block is still used
// when libexif could read it. Never fails otherwise; a null or empty block is
// damaged and gives 1.
int ReadExifOrientation(const uint8_t* block, size_t size, bool* intact);

// The APP1 payload ("Exif\0\0" and the block) for a saved copy of the photo whose
// upright pixels are `width` x `height`: the block rewritten by libexif with
// Orientation 1, without the thumbnail (its directory and its data), with
// PixelXDimension and PixelYDimension set to the saved size where the block has
// them, and everything else libexif reads kept. Tags libexif does not know are
// left out (their values may point into the old block), and nothing is added.
// Returns false with `app1` empty when the block is damaged (as above), holds
// nothing but the thumbnail, or would not fit one marker once rewritten.
bool ExifForSavedPicture(const uint8_t* block, size_t size, int width, int height, std::vector<uint8_t>* app1);
