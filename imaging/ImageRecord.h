// One loaded picture: its file name and folder, its size and the owned pixel buffer
// of a working image (3 bytes per pixel in blue, green, red order, rows top row
// first, each row exactly 3 x width bytes), and what the file said about the photo.
#pragma once

#include <cstdint>

struct PictureMetadata;

struct ImageRecord {
    char name[255];    // file name with extension, UTF-8, zero-terminated
    char folder[260];  // folder of the file without a trailing separator
    int32_t width;
    int32_t height;
    int32_t byteSize;  // width * height * 3
    uint8_t* pixels;   // owned
    // Owned (allocated with new); null when the file carried no metadata worth
    // keeping, and always for BMP files. A zero-filled record holds none.
    PictureMetadata* metadata;
};

// Zeroes the name, sets width, height and byteSize to -1, releases the pixels and
// the metadata. The record must hold valid pointers or null in both (a
// zero-filled record does).
void ClearImageRecord(ImageRecord* record);
