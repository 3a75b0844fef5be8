// Small copies of picture files for the picture chooser's thumbnails.
#pragma once

#include <cstdint>

// Reads the picture file at `path` by the same rules as LoadPicture (the same
// choice of reader, the same checks, the same colour conversions), so a file
// shows a thumbnail exactly when it would open. The picture comes back the way
// up it opens (turned by the EXIF orientation of a JPEG file, see JpegReader.h)
// and shrunk to fit `maxWidth` x `maxHeight` with its aspect kept (never
// enlarged): blue, green, red bytes, top row first, rows of 3 x width bytes,
// malloc'ed (release with free). JPEG files are decoded at the coarsest of the
// library's scales that still covers the box, and no file costs more than about
// a hundred megabytes to read. Returns null when the file is not a picture the
// program reads or does not fit in that memory.
uint8_t* ReadPictureThumbnail(const wchar_t* path, int maxWidth, int maxHeight, int* width, int* height);
