// The metadata markers of JPEG files as the decompressor keeps them: the EXIF
// orientation in them, and the copy a loaded picture carries. Shared by the
// picture reader, the size reader and the thumbnail reader, so all three see a
// file the same way up.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/JpegErrors.h"

struct PictureMetadata;

// Asks the decompressor to keep the file's APP1 markers (EXIF and XMP) and, with
// `withIcc`, its APP2 markers (ICC profile chunks). Call before jpeg_read_header.
// The library may then fail through its error manager for lack of memory.
void KeepJpegMetadataMarkers(j_decompress_ptr cinfo, bool withIcc);

// The file's EXIF block: the first kept APP1 marker that starts with "Exif\0\0".
struct JpegExif {
    const uint8_t* block = nullptr;  // inside the kept marker, after "Exif\0\0"
    size_t size = 0;
    int orientation = 1;  // 1 to 8; 1 without a block or a readable Orientation
    bool intact = false;  // read by libexif without damage (see ExifBlock.h)
};

// Finds and reads the EXIF block among the kept markers, after jpeg_read_header.
// Does not call into the JPEG library.
JpegExif FindJpegExif(j_decompress_ptr cinfo);

// A copy of the kept metadata for a loaded picture turned upright from
// `exif.orientation`: the EXIF block when intact, the XMP markers and the ICC
// chunks. Null when the file has none of these, or when there is no memory for
// the copy (the picture then loads without it). Never throws, never calls into
// the JPEG library; the result is allocated with new.
PictureMetadata* CopyJpegMetadata(j_decompress_ptr cinfo, const JpegExif& exif);
