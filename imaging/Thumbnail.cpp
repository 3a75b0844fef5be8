#include "imaging/Thumbnail.h"

#include <sys/types.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "imaging/BmpReader.h"
#include "imaging/JpegColour.h"
#include "imaging/JpegMetadata.h"
#include "imaging/LoadPicture.h"
#include "imaging/Orientation.h"
#include "platform/win32.h"

namespace {

// What the JPEG library may allocate for one thumbnail beyond its small fixed
// buffers. Progressive and multi-scan files keep every coefficient of the
// picture (two bytes a sample) whatever the output scale; beyond this such a
// file shows no thumbnail rather than take hundreds of megabytes.
constexpr long kJpegMemory = 96L << 20;

// Averages every source pixel into the output pixel it falls on.
class Shrinker {
public:
    static void FitSize(int srcW, int srcH, int maxW, int maxH, int& w, int& h) {
        if (static_cast<int64_t>(srcW) * maxH >= static_cast<int64_t>(srcH) * maxW) {
            w = std::min(srcW, maxW);
            h = static_cast<int>(std::max<int64_t>(1, (static_cast<int64_t>(srcH) * w + srcW / 2) / srcW));
        } else {
            h = std::min(srcH, maxH);
            w = static_cast<int>(std::max<int64_t>(1, (static_cast<int64_t>(srcW) * h + srcH / 2) / srcH));
        }
    }

    void Start(int srcW, int srcH, int maxW, int maxH) {
        srcW_ = srcW;
        srcH_ = srcH;
        FitSize(srcW, srcH, maxW, maxH, w_, h_);
        sums_.assign(static_cast<size_t>(w_) * h_ * 3, 0);
        counts_.assign(static_cast<size_t>(w_) * h_, 0);
        columns_.resize(static_cast<size_t>(srcW));
        for (int x = 0; x < srcW; x++) columns_[x] = static_cast<int>(static_cast<int64_t>(x) * w_ / srcW);
        row_.resize(static_cast<size_t>(srcW) * 3);
    }

    // A scratch row of 3 x source width bytes for the caller to convert into.
    uint8_t* Row() { return row_.data(); }

    // Adds source row `sy` (blue, green, red bytes) to the output.
    void AddRow(int sy, const uint8_t* bgr) {
        if (sy < 0 || sy >= srcH_) return;
        int oy = static_cast<int>(static_cast<int64_t>(sy) * h_ / srcH_);
        uint32_t* sums = &sums_[static_cast<size_t>(oy) * w_ * 3];
        uint32_t* counts = &counts_[static_cast<size_t>(oy) * w_];
        for (int x = 0; x < srcW_; x++, bgr += 3) {
            int ox = columns_[x];
            sums[ox * 3] += bgr[0];
            sums[ox * 3 + 1] += bgr[1];
            sums[ox * 3 + 2] += bgr[2];
            counts[ox]++;
        }
    }

    // The output, malloc'ed; output pixels no source row reached stay black.
    uint8_t* Finish(int* width, int* height) const {
        uint8_t* out = static_cast<uint8_t*>(calloc(static_cast<size_t>(w_) * h_, 3));
        if (!out) return nullptr;
        for (size_t i = 0; i < static_cast<size_t>(w_) * h_; i++) {
            uint32_t n = counts_[i];
            if (!n) continue;
            for (int c = 0; c < 3; c++) out[i * 3 + c] = static_cast<uint8_t>((sums_[i * 3 + c] + n / 2) / n);
        }
        *width = w_;
        *height = h_;
        return out;
    }

private:
    int srcW_ = 0, srcH_ = 0, w_ = 0, h_ = 0;
    std::vector<uint32_t> sums_;
    std::vector<uint32_t> counts_;
    std::vector<int> columns_;
    std::vector<uint8_t> row_;
};

// The BMP reader's checks, then every row (or, for tall pictures, enough rows
// to fill each output row) read straight from the file.
bool BmpThumbnail(FILE* file, int maxW, int maxH, Shrinker* shrink) {
    BmpLayout layout{};
    if (CheckBmpFile(file, &layout, nullptr, nullptr) != 0) return false;
    shrink->Start(layout.width, layout.height, maxW, maxH);
    const int step = std::max(1, layout.height / (4 * maxH));
    std::vector<uint8_t> stored(static_cast<size_t>(layout.stride));
    for (int i = 0; i < layout.height; i += step) {
        if (fseeko(file, static_cast<off_t>(layout.dataOffset + i * layout.stride), SEEK_SET) != 0 ||
            fread(stored.data(), 1, stored.size(), file) != stored.size())
            return false;
        shrink->AddRow(layout.height - 1 - i, stored.data());  // stored bottom row first
    }
    return true;
}

void JumpQuietly(j_common_ptr cinfo) {
    longjmp(reinterpret_cast<JpegErrorJump*>(cinfo->err)->jump, 1);
}

void Ignore(j_common_ptr, int) {}

// libjpeg leaves through longjmp on errors, so nothing in this frame that
// changes after setjmp is used afterwards; results go through `shrink` and
// `orientation`, which live in the caller. The picture is shrunk as stored, into
// the box turned with it, and turned upright afterwards (see Upright).
bool JpegThumbnail(FILE* file, int maxW, int maxH, Shrinker* shrink, int* orientation) {
    jpeg_decompress_struct cinfo;
    JpegErrorJump err;
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = JumpQuietly;
    err.pub.emit_message = Ignore;  // a damaged file is shown, not reported
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    cinfo.mem->max_memory_to_use = kJpegMemory;
    jpeg_stdio_src(&cinfo, file);
    KeepJpegMetadataMarkers(&cinfo, false);
    if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    *orientation = FindJpegExif(&cinfo).orientation;
    int uprightW = 0, uprightH = 0;
    UprightSize(*orientation, static_cast<int>(cinfo.image_width), static_cast<int>(cinfo.image_height), &uprightW,
                &uprightH);
    if (!PictureSizeAcceptable(uprightW, uprightH)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    // The box as the stored picture lies.
    const bool turned = OrientationSwapsSides(*orientation);
    const int boxW = turned ? maxH : maxW, boxH = turned ? maxW : maxH;
    // The coarsest of the library's scales whose output still covers the box.
    int fitW, fitH;
    Shrinker::FitSize(static_cast<int>(cinfo.image_width), static_cast<int>(cinfo.image_height), boxW, boxH, fitW,
                      fitH);
    unsigned denom = 8;
    while (denom > 1 && ((cinfo.image_width + denom - 1) / denom < static_cast<unsigned>(fitW) ||
                         (cinfo.image_height + denom - 1) / denom < static_cast<unsigned>(fitH)))
        denom /= 2;
    cinfo.scale_num = 1;
    cinfo.scale_denom = denom;
    bool invertedCmyk = false;
    if (!ChooseJpegOutput(&cinfo, &invertedCmyk)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_start_decompress(&cinfo);
    const int width = static_cast<int>(cinfo.output_width), components = cinfo.output_components;
    shrink->Start(width, static_cast<int>(cinfo.output_height), boxW, boxH);
    JSAMPARRAY row = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                                static_cast<JDIMENSION>(width * components), 1);
    while (cinfo.output_scanline < cinfo.output_height) {
        int y = static_cast<int>(cinfo.output_scanline);
        if (jpeg_read_scanlines(&cinfo, row, 1) != 1) break;
        JpegRowToBgr(row[0], components, invertedCmyk, width, shrink->Row());
        shrink->AddRow(y, shrink->Row());
    }
    // The rest of the file is not needed: no jpeg_finish_decompress.
    jpeg_destroy_decompress(&cinfo);
    return true;
}

// The thumbnail of a picture stored in `orientation`, turned upright into a new
// buffer; the stored one is released.
uint8_t* Upright(uint8_t* stored, int orientation, int* width, int* height) {
    if (!stored || NormalOrientation(orientation) == 1) return stored;
    int w = 0, h = 0;
    UprightSize(orientation, *width, *height, &w, &h);
    uint8_t* upright = static_cast<uint8_t*>(malloc(3 * static_cast<size_t>(w) * h));
    if (upright) {
        const UprightSteps steps = StoredToUpright(orientation, *width, *height, 3 * static_cast<size_t>(w));
        const uint8_t* src = stored;
        for (int y = 0; y < *height; y++) {
            for (int x = 0; x < *width; x++, src += 3)
                memcpy(upright + steps.origin + y * steps.rowStep + x * steps.columnStep, src, 3);
        }
        *width = w;
        *height = h;
    }
    free(stored);
    return upright;
}

}  // namespace

uint8_t* ReadPictureThumbnail(const wchar_t* path, int maxWidth, int maxHeight, int* width, int* height) {
    if (!path || maxWidth <= 0 || maxHeight <= 0 || !width || !height) return nullptr;
    PictureFormat format = PictureFormatOf(path);
    if (format == PictureFormat::None) return nullptr;
    FILE* file = OpenPictureFile(path);
    if (!file) return nullptr;
    Shrinker shrink;
    int orientation = 1;
    bool ok = format == PictureFormat::Bmp ? BmpThumbnail(file, maxWidth, maxHeight, &shrink)
                                           : JpegThumbnail(file, maxWidth, maxHeight, &shrink, &orientation);
    fclose(file);
    if (!ok) return nullptr;
    int w = 0, h = 0;
    uint8_t* thumbnail = Upright(shrink.Finish(&w, &h), orientation, &w, &h);
    if (!thumbnail) return nullptr;
    *width = w;
    *height = h;
    return thumbnail;
}
