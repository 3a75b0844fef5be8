#include "imaging/JpegReader.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "imaging/JpegColour.h"
#include "imaging/JpegErrors.h"
#include "imaging/LoadPicture.h"
#include "platform/win32.h"

namespace {

// Decodes an opened file; the caller owns and closes `file`. Kept apart from
// LoadJpegPicture so that nothing with a destructor lives between setjmp and
// longjmp, and so the only variables changed after setjmp are volatile.
uint8_t* Decode(FILE* file, int* width, int* height) {
    jpeg_decompress_struct cinfo;
    JpegErrorJump err;
    uint8_t* volatile pixels = nullptr;
    // Set once every row is in: damaged data after the picture (a second scan
    // where none may follow, junk before the end marker) then costs nothing.
    volatile bool complete = false;

    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = JpegErrorExit;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        if (complete) return pixels;
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

    // Files that would decode to something other than colour, grey or CMYK are
    // refused before the decoder sets up anything for them.
    bool invertedCmyk = false;
    if (!ChooseJpegOutput(&cinfo, &invertedCmyk)) {
        jpeg_destroy_decompress(&cinfo);
        return nullptr;
    }
    jpeg_start_decompress(&cinfo);
    int components = cinfo.output_components;
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
        JpegRowToBgr(row[0], components, invertedCmyk, w, pixels + y * dstStride);
    }

    *width = paddedW;
    *height = h;
    complete = true;
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return pixels;
}

}  // namespace

uint8_t* LoadJpegPicture(const wchar_t* path, int* width, int* height) {
    FILE* file = OpenPictureFile(path);
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
