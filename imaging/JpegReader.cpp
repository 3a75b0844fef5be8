#include "imaging/JpegReader.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "imaging/JpegErrors.h"
#include "imaging/LoadPicture.h"
#include "platform/win32.h"

namespace {

// Adobe applications write CMYK with every sample inverted (255 = no ink) and mark
// such files with their APP14 marker; files without it hold plain ink amounts.
uint8_t CmykToChannel(unsigned ink, unsigned black, bool inverted) {
    if (!inverted) {
        ink = 255 - ink;
        black = 255 - black;
    }
    return static_cast<uint8_t>((ink * black + 127) / 255);
}

// Converts one decoded scanline of `components` samples per pixel into `dst`
// (blue, green, red).
void StoreRow(const JSAMPLE* src, int components, bool invertedCmyk, int width, uint8_t* dst) {
    for (int x = 0; x < width; x++, dst += 3) {
        const JSAMPLE* s = src + static_cast<size_t>(x) * components;
        if (components == 3) {
            dst[0] = s[2];
            dst[1] = s[1];
            dst[2] = s[0];
        } else if (components == 1) {
            dst[0] = dst[1] = dst[2] = s[0];
        } else {
            dst[0] = CmykToChannel(s[2], s[3], invertedCmyk);
            dst[1] = CmykToChannel(s[1], s[3], invertedCmyk);
            dst[2] = CmykToChannel(s[0], s[3], invertedCmyk);
        }
    }
}

// Decodes an opened file; the caller owns and closes `file`. Kept apart from
// LoadJpegPicture so that nothing with a destructor lives between setjmp and
// longjmp, and so the only variable changed after setjmp is the volatile buffer.
uint8_t* Decode(FILE* file, int* width, int* height) {
    jpeg_decompress_struct cinfo;
    JpegErrorJump err;
    uint8_t* volatile pixels = nullptr;

    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = JpegErrorExit;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        free(pixels);
        return nullptr;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_stdio_src(&cinfo, file);
    // Scaling stays 1/1, so the header's size is the decoded size; an absurd one is
    // refused before the decoder allocates anything for it.
    if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK ||
        !PictureSizeAcceptable(cinfo.image_width, cinfo.image_height)) {
        jpeg_destroy_decompress(&cinfo);
        return nullptr;
    }

    // The library's defaults decode colour to RGB and greyscale to one sample;
    // CMYK and YCCK files come out as CMYK, converted here.
    bool invertedCmyk = false;
    if (cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK) {
        cinfo.out_color_space = JCS_CMYK;
        invertedCmyk = cinfo.saw_Adobe_marker;
    }

    jpeg_start_decompress(&cinfo);
    int components = cinfo.output_components;
    bool known = (components == 3 && cinfo.out_color_space == JCS_RGB) ||
                 (components == 1 && cinfo.out_color_space == JCS_GRAYSCALE) ||
                 (components == 4 && cinfo.out_color_space == JCS_CMYK);
    if (!known) {
        jpeg_destroy_decompress(&cinfo);
        return nullptr;
    }
    int w = static_cast<int>(cinfo.output_width);
    int h = static_cast<int>(cinfo.output_height);
    int paddedW = PaddedWidth(w);
    size_t dstStride = 3 * static_cast<size_t>(paddedW);

    JSAMPARRAY row = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                                static_cast<JDIMENSION>(components * paddedW), 1);
    pixels = static_cast<uint8_t*>(calloc(static_cast<size_t>(h), dstStride));
    if (!pixels) {
        jpeg_destroy_decompress(&cinfo);
        return nullptr;
    }

    while (cinfo.output_scanline < cinfo.output_height) {
        JDIMENSION y = cinfo.output_scanline;
        // A stdio source never suspends; no row read means the decoder is stuck.
        if (jpeg_read_scanlines(&cinfo, row, 1) != 1) {
            jpeg_destroy_decompress(&cinfo);
            free(pixels);
            return nullptr;
        }
        StoreRow(row[0], components, invertedCmyk, w, pixels + y * dstStride);
    }

    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    *width = paddedW;
    *height = h;
    return pixels;
}

}  // namespace

uint8_t* LoadJpegPicture(const wchar_t* path, int* width, int* height) {
    char nativePath[kMaxNativePath];
    if (!path || !WidePathToNative(path, nativePath, sizeof nativePath)) return nullptr;
    FILE* file = fopen(nativePath, "rb");
    if (!file) return nullptr;
    int w = 0;
    int h = 0;
    uint8_t* pixels = Decode(file, &w, &h);
    fclose(file);
    if (!pixels) return nullptr;
    if (width) *width = w;
    if (height) *height = h;
    return pixels;
}
