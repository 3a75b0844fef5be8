// Builders for the image files the imaging tests read: 24-bit BMP files with a
// known pixel pattern, and JPEG files written straight through the JPEG library
// in colour spaces the program itself never writes.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "support/TestFiles.h"

// jpeglib.h needs size_t and FILE declared before it, so it comes last.
// clang-format off
#include <jpeglib.h>
// clang-format on

namespace imaging_test {

using Bytes = std::vector<unsigned char>;

inline std::wstring Wide(const std::string& ascii) {
    return std::wstring(ascii.begin(), ascii.end());
}

// Blue, green, red of pixel (x, y) of the test pattern, y = 0 the top row.
inline std::array<uint8_t, 3> PatternPixel(int x, int y) {
    return {static_cast<uint8_t>(x * 7 + y), static_cast<uint8_t>(y * 13 + 1), static_cast<uint8_t>(250 - x * 3)};
}

inline void PutU16(Bytes& b, size_t at, uint32_t v) {
    b[at] = v & 0xFF;
    b[at + 1] = (v >> 8) & 0xFF;
}

inline void PutU32(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; i++) b[at + i] = (v >> (8 * i)) & 0xFF;
}

// Byte offsets of the BMP header fields the tests change.
enum BmpField : size_t {
    kFileSize = 2,
    kDataOffset = 10,
    kWidth = 18,
    kHeight = 22,
    kPlanes = 26,
    kBitCount = 28,
    kCompression = 30,
    kImageSize = 34,
    kColoursUsed = 46,
    kColoursImportant = 50
};

// A valid 24-bit bottom-up BMP of the pattern. Row padding bytes are 0xEE so a
// reader that copies them into the picture is caught.
inline Bytes MakeBmp(int w, int h, size_t extraHeaderBytes = 0) {
    size_t stride = (3 * static_cast<size_t>(w) + 3) / 4 * 4;
    size_t offset = 54 + extraHeaderBytes;
    Bytes b(offset + stride * h, 0xEE);
    b[0] = 'B';
    b[1] = 'M';
    PutU32(b, kFileSize, static_cast<uint32_t>(b.size()));
    PutU32(b, 6, 0);
    PutU32(b, kDataOffset, static_cast<uint32_t>(offset));
    PutU32(b, 14, static_cast<uint32_t>(40 + extraHeaderBytes));
    PutU32(b, kWidth, w);
    PutU32(b, kHeight, h);
    PutU16(b, kPlanes, 1);
    PutU16(b, kBitCount, 24);
    PutU32(b, kCompression, 0);
    PutU32(b, kImageSize, static_cast<uint32_t>(stride * h));
    for (size_t i = 38; i < offset; i++) b[i] = 0;
    for (int row = 0; row < h; row++) {
        int y = h - 1 - row;  // the file starts with the bottom row
        for (int x = 0; x < w; x++) {
            auto p = PatternPixel(x, y);
            for (int c = 0; c < 3; c++) b[offset + row * stride + 3 * x + c] = p[c];
        }
    }
    return b;
}

// Keeps the file-size field equal to the length after a test changed the length.
inline void FixFileSize(Bytes& b) {
    PutU32(b, kFileSize, static_cast<uint32_t>(b.size()));
}

// Writes `samples` (components per pixel, top row first) as a JPEG in
// `jpegSpace`. `adobeMarker` controls the APP14 marker that tells a reader CMYK
// data is stored inverted.
inline bool WriteRawJpeg(const std::string& path, int w, int h, int components, J_COLOR_SPACE inSpace,
                         J_COLOR_SPACE jpegSpace, bool adobeMarker, const Bytes& samples) {
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) return false;
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, f);
    cinfo.image_width = w;
    cinfo.image_height = h;
    cinfo.input_components = components;
    cinfo.in_color_space = inSpace;
    jpeg_set_defaults(&cinfo);
    jpeg_set_colorspace(&cinfo, jpegSpace);
    cinfo.write_Adobe_marker = adobeMarker ? TRUE : FALSE;
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPLE*>(samples.data() + cinfo.next_scanline * w * components);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    fclose(f);
    return true;
}

// Width and height stored in a JPEG file's frame header, found by walking the
// marker segments; {0, 0} when there is none.
inline std::array<int, 2> JpegFileSize(const std::string& path) {
    Bytes b = testing_support::ReadBytes(path);
    size_t i = 2;
    while (i + 9 < b.size() && b[i] == 0xFF) {
        unsigned marker = b[i + 1];
        if (marker >= 0xC0 && marker <= 0xC2) return {b[i + 7] << 8 | b[i + 8], b[i + 5] << 8 | b[i + 6]};
        i += 2 + (b[i + 2] << 8 | b[i + 3]);
    }
    return {0, 0};
}

// The first bytes of a JPEG file that claims `width` x `height` pixels of
// `components` components and holds no picture data: a quantisation table, the
// frame header (progressive or baseline), one-code Huffman tables and the start
// of one scan. A decoder fills the missing data in and delivers the whole
// picture, so a hostile or damaged file of a hundred bytes can make a reader
// set up for, and fill, a huge picture.
inline Bytes JpegHeaderOnly(int width, int height, int components, bool progressive) {
    Bytes b{0xFF, 0xD8, 0xFF, 0xDB, 0x00, 0x43, 0x00};
    for (int i = 0; i < 64; i++) b.push_back(1);
    const int frameLength = 8 + 3 * components;
    b.insert(b.end(), {0xFF, static_cast<unsigned char>(progressive ? 0xC2 : 0xC0), 0x00,
                       static_cast<unsigned char>(frameLength), 8, static_cast<unsigned char>(height >> 8),
                       static_cast<unsigned char>(height & 0xFF), static_cast<unsigned char>(width >> 8),
                       static_cast<unsigned char>(width & 0xFF), static_cast<unsigned char>(components)});
    for (int c = 0; c < components; c++) b.insert(b.end(), {static_cast<unsigned char>(c + 1), 0x11, 0x00});
    // DC and AC table 0, each with a single one-bit code for symbol 0.
    for (unsigned char tableClass : {0x00, 0x10}) {
        b.insert(b.end(), {0xFF, 0xC4, 0x00, 20, tableClass, 1});
        b.insert(b.end(), 15, 0);
        b.push_back(0);
    }
    const int scanLength = 6 + 2 * components;
    b.insert(b.end(),
             {0xFF, 0xDA, 0x00, static_cast<unsigned char>(scanLength), static_cast<unsigned char>(components)});
    for (int c = 0; c < components; c++) b.insert(b.end(), {static_cast<unsigned char>(c + 1), 0x00});
    b.insert(b.end(), {0x00, static_cast<unsigned char>(progressive ? 0 : 63), 0x00});
    b.insert(b.end(), {0xFF, 0xD9});
    return b;
}

}  // namespace imaging_test
