// JPEG coding straight through the JPEG library, for the inputs and checks of
// the tests and benchmarks: RGB bytes (red first, top row first) to JPEG bytes
// and back, in memory.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

// jpeglib.h needs size_t and FILE declared before it.
#include <jpeglib.h>

inline std::vector<unsigned char> EncodeJpeg(const std::vector<uint8_t>& rgb, int width, int height, int quality,
                                             bool progressive = false) {
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &out, &size);
    c.image_width = width;
    c.image_height = height;
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, quality, TRUE);
    if (progressive) jpeg_simple_progression(&c);
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = const_cast<JSAMPLE*>(&rgb[static_cast<size_t>(c.next_scanline) * width * 3]);
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::vector<unsigned char> bytes(out, out + size);
    free(out);
    return bytes;
}

// Decodes JPEG bytes to rows of the file's own samples (three for colour).
inline void DecodeJpeg(const std::vector<unsigned char>& jpeg, std::vector<uint8_t>& rgb, int* width = nullptr,
                       int* height = nullptr) {
    jpeg_decompress_struct d;
    jpeg_error_mgr err;
    d.err = jpeg_std_error(&err);
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, jpeg.data(), jpeg.size());
    jpeg_read_header(&d, TRUE);
    jpeg_start_decompress(&d);
    rgb.resize(static_cast<size_t>(d.output_width) * d.output_height * d.output_components);
    while (d.output_scanline < d.output_height) {
        JSAMPROW row = &rgb[static_cast<size_t>(d.output_scanline) * d.output_width * d.output_components];
        jpeg_read_scanlines(&d, &row, 1);
    }
    if (width) *width = static_cast<int>(d.output_width);
    if (height) *height = static_cast<int>(d.output_height);
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
}
