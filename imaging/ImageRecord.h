// One loaded picture: its file name and folder, its size and the owned pixel buffer
// of a working image (3 bytes per pixel in blue, green, red order, rows top row
// first, each row exactly 3 x width bytes).
#pragma once

#include <cstdint>

struct ImageRecord {
    char name[255];    // file name with extension, UTF-8, zero-terminated
    char folder[260];  // folder of the file without a trailing separator
    int32_t width;
    int32_t height;
    int32_t byteSize;  // width * height * 3
    uint8_t* pixels;   // owned
};

// Zeroes the name, sets width, height and byteSize to -1, releases the pixels.
void ClearImageRecord(ImageRecord* record);
