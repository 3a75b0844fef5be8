#include "imaging/JpegColour.h"

#include <cstddef>

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

}  // namespace

bool ChooseJpegOutput(j_decompress_ptr cinfo, bool* invertedCmyk) {
    *invertedCmyk = false;
    // The library's defaults decode colour to RGB and greyscale to one sample;
    // CMYK and YCCK files come out as CMYK.
    if (cinfo->jpeg_color_space == JCS_CMYK || cinfo->jpeg_color_space == JCS_YCCK) {
        cinfo->out_color_space = JCS_CMYK;
        *invertedCmyk = cinfo->saw_Adobe_marker;
    }
    jpeg_calc_output_dimensions(cinfo);
    const int components = cinfo->out_color_components;
    return (components == 3 && cinfo->out_color_space == JCS_RGB) ||
           (components == 1 && cinfo->out_color_space == JCS_GRAYSCALE) ||
           (components == 4 && cinfo->out_color_space == JCS_CMYK);
}

// One loop per layout: this runs for every row of every photo opened, and a
// branch per pixel costs more than the copy itself.
void JpegRowToBgr(const JSAMPLE* src, int components, bool invertedCmyk, int width, uint8_t* dst) {
    if (components == 3) {
        for (int x = 0; x < width; x++, src += 3, dst += 3) {
            dst[0] = src[2];
            dst[1] = src[1];
            dst[2] = src[0];
        }
    } else if (components == 1) {
        for (int x = 0; x < width; x++, dst += 3) dst[0] = dst[1] = dst[2] = src[x];
    } else {
        for (int x = 0; x < width; x++, src += 4, dst += 3) {
            dst[0] = CmykToChannel(src[2], src[3], invertedCmyk);
            dst[1] = CmykToChannel(src[1], src[3], invertedCmyk);
            dst[2] = CmykToChannel(src[0], src[3], invertedCmyk);
        }
    }
}
