// Writing a working image as a JPEG file.
#pragma once

#include <cstdint>

struct PictureMetadata;

// Writes `pixels` (blue, green, red bytes, top row first, rows of 3 x width bytes)
// to `path` as a baseline JPEG with the library's default settings (quality 75).
// The picture is first written to a temporary file in the same folder, which
// replaces `path` only once it is complete, so a failed save (no such folder, a
// full medium, a write error) leaves an existing file at `path` untouched and
// leaves no partial file behind. Returns 1 on success, 0 on any failure.
//
// With `metadata`, the photo keeps what it carried when opened. After the JFIF
// header come, each in markers of its own: the EXIF block rewritten for the
// upright saved pixels (see ExifForSavedPicture in ExifBlock.h: Orientation 1,
// no thumbnail, the saved size), then the XMP payloads, then the ICC chunks,
// both verbatim and in order. An EXIF block that is damaged or would not fit one
// marker once rewritten is left out, as is any XMP or ICC payload too long for
// one marker; the save goes on without them. Nothing is written that the
// metadata does not hold: without metadata (or with empty metadata) the file is
// byte for byte what it would be without this parameter.
int SaveJpegPicture(const wchar_t* path, const uint8_t* pixels, int width, int height,
                    const PictureMetadata* metadata = nullptr);
