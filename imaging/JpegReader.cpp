#include "imaging/JpegReader.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "imaging/JpegColour.h"
#include "imaging/JpegErrors.h"
#include "imaging/JpegMetadata.h"
#include "imaging/LoadPicture.h"
#include "imaging/Orientation.h"
#include "imaging/PictureMetadata.h"
#include "platform/win32.h"

namespace {

// Stored rows gathered before a quarter-turned picture's rows are placed: each
// stored column then fills this many neighbouring pixels of an upright row at
// once instead of one, which keeps the scattered writes cache-friendly.
constexpr int kBandRows = 16;

// Copies `rows` converted stored rows (blue, green, red), the first of them
// stored row `top`, to their places in the upright picture.
void PlaceRows(const JSAMPARRAY band, int rows, int top, int width, const UprightSteps& steps, uint8_t* pixels) {
    uint8_t* first = pixels + steps.origin + top * steps.rowStep;
    for (int x = 0; x < width; x++) {
        uint8_t* column = first + x * steps.columnStep;
        const size_t at = 3 * static_cast<size_t>(x);
        for (int r = 0; r < rows; r++) std::memcpy(column + r * steps.rowStep, band[r] + at, 3);
    }
}

// Reads every row of a started decompression into `pixels`, the upright
// picture whose rows are `stride` bytes. False when the decoder is stuck. Holds
// nothing with a destructor: the library may leave it through longjmp.
bool ReadRows(j_decompress_ptr cinfo, bool invertedCmyk, int orientation, uint8_t* pixels, size_t stride) {
    const int components = cinfo->output_components;
    const int w = static_cast<int>(cinfo->output_width);
    const int h = static_cast<int>(cinfo->output_height);
    const UprightSteps steps = StoredToUpright(orientation, w, h, stride);
    JSAMPARRAY row = (*cinfo->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE,
                                                 static_cast<JDIMENSION>(components * w), 1);
    // Orientations 1 and 4 keep rows as rows in their own order: each is
    // converted straight into its place. The others go through a band.
    const bool direct = steps.columnStep == 3;
    const int bandRows = direct ? 0 : OrientationSwapsSides(orientation) ? kBandRows : 1;
    JSAMPARRAY band =
        direct ? nullptr
               : (*cinfo->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE,
                                             static_cast<JDIMENSION>(3 * w), static_cast<JDIMENSION>(bandRows));
    int filled = 0, top = 0;
    while (cinfo->output_scanline < cinfo->output_height) {
        const int y = static_cast<int>(cinfo->output_scanline);
        // A stdio source never suspends; no row read means the decoder is stuck.
        if (jpeg_read_scanlines(cinfo, row, 1) != 1) return false;
        if (direct) {
            JpegRowToBgr(row[0], components, invertedCmyk, w, pixels + steps.origin + y * steps.rowStep);
            continue;
        }
        if (filled == 0) top = y;
        JpegRowToBgr(row[0], components, invertedCmyk, w, band[filled++]);
        if (filled == bandRows || y == h - 1) {
            PlaceRows(band, filled, top, w, steps, pixels);
            filled = 0;
        }
    }
    return true;
}

// Decodes an opened file; the caller owns and closes `file`. Kept apart from
// LoadJpegPicture so that nothing with a destructor lives between setjmp and
// longjmp, and so the only variables changed after setjmp and used after it are
// volatile.
uint8_t* Decode(FILE* file, int* width, int* height, PictureMetadata** metadataOut) {
    jpeg_decompress_struct cinfo;
    JpegErrorJump err;
    uint8_t* volatile pixels = nullptr;
    PictureMetadata* volatile metadata = nullptr;
    // Set once every row is in: damaged data after the picture (a second scan
    // where none may follow, junk before the end marker) then costs nothing.
    volatile bool complete = false;

    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = JpegErrorExit;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        if (complete) {
            if (metadataOut) *metadataOut = metadata;
            return pixels;
        }
        free(pixels);
        delete metadata;
        return nullptr;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_stdio_src(&cinfo, file);
    KeepJpegMetadataMarkers(&cinfo, metadataOut != nullptr);
    if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK) {
        jpeg_destroy_decompress(&cinfo);
        return nullptr;
    }
    // Scaling stays 1/1, so the header's size is the decoded size; an absurd one is
    // refused before the decoder allocates anything for it.
    const JpegExif exif = FindJpegExif(&cinfo);
    int uprightW = 0, uprightH = 0;
    UprightSize(exif.orientation, static_cast<int>(cinfo.image_width), static_cast<int>(cinfo.image_height), &uprightW,
                &uprightH);
    if (!PictureSizeAcceptable(uprightW, uprightH)) {
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
    if (metadataOut) metadata = CopyJpegMetadata(&cinfo, exif);
    jpeg_start_decompress(&cinfo);
    const int paddedW = PaddedWidth(uprightW);
    const size_t dstStride = 3 * static_cast<size_t>(paddedW);
    pixels = static_cast<uint8_t*>(calloc(static_cast<size_t>(uprightH), dstStride));
    if (!pixels || !ReadRows(&cinfo, invertedCmyk, exif.orientation, pixels, dstStride)) {
        jpeg_destroy_decompress(&cinfo);
        free(pixels);
        delete metadata;
        return nullptr;
    }

    *width = paddedW;
    *height = uprightH;
    complete = true;
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    if (metadataOut) *metadataOut = metadata;
    return pixels;
}

}  // namespace

uint8_t* LoadJpegPicture(const wchar_t* path, int* width, int* height, PictureMetadata** metadata) {
    FILE* file = OpenPictureFile(path);
    if (!file) return nullptr;
    int w = 0;
    int h = 0;
    PictureMetadata* kept = nullptr;
    uint8_t* pixels = Decode(file, &w, &h, metadata ? &kept : nullptr);
    fclose(file);
    if (!pixels) return nullptr;
    if (width) *width = w;
    if (height) *height = h;
    if (metadata) *metadata = kept;
    return pixels;
}
