// Reading uncompressed 24-bit bottom-up BMP files.
#pragma once

#include <cstdint>
#include <cstdio>

// Why ReadBmpFile refused a file (0 on success).
enum BmpReadReason {
    BMP_CANNOT_OPEN = 241,    // the file could not be opened
    BMP_SHORT_READ = 242,     // the file ends before its headers or pixel data
    BMP_SIZE_MISMATCH = 243,  // the header's file size differs from the file's length
    BMP_UNSUPPORTED = 244,    // not "BM", not 24-bit uncompressed, or unusable dimensions
};

// Where the rows of an accepted BMP file lie.
struct BmpLayout {
    int width, height;   // the file's own size, both positive
    int64_t dataOffset;  // the first stored row (the bottom one)
    int64_t stride;      // bytes per stored row: 3 x width rounded up to 4
    int64_t dataSize;    // bytes of pixel data ReadBmpFile reads
};

// Checks the headers of an opened BMP file by the rules ReadBmpFile applies and
// in its order. Returns 0 with `layout` filled when the file's rows can be read
// (the file then holds all of them), else the reason for refusing it. The width
// and height outputs are set once the information header was read; any of them
// may be null. The file position is left anywhere.
int CheckBmpFile(FILE* file, BmpLayout* layout, int* width, int* height);

// Reads the pixel data of the BMP file at `path` exactly as stored (bottom row
// first, rows padded to 4 bytes). The width and height outputs are set as soon as
// the information header was read, even when a later check fails. The data size is
// the header's image-size field, or height x row stride when that field is 0 or too
// small. Returns a malloc'ed buffer of `*dataSize` bytes (release with free), or
// null with `*reason` set. Any output pointer may be null.
uint8_t* ReadBmpFile(const wchar_t* path, int* width, int* height, int* dataSize, int* reason);

// Loads a BMP file as a working image: blue, green, red bytes, top row first, the
// width padded with PaddedWidth. The padding columns repeat the last real pixel of
// their row so they do not show as a stripe. Returns a malloc'ed buffer (release
// with free) with width, height and byte size 3 x width x height, or null.
uint8_t* LoadBmpPicture(const wchar_t* path, int* width, int* height, int* byteSize);
