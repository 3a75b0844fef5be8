// Pixel surfaces: reading and writing single pixels in each format, allocation,
// and saving a surface as a PNG file (screenshots of the headless backend).
#include "platform/raster.h"

#include <png.h>

#include <bit>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace platform {

static_assert(std::endian::native == std::endian::little, "XRGB32 and RGB565 pixels are stored little-endian");

namespace {
constexpr int kMaxSurfaceSide = 16384;
}  // namespace

int BytesPerPixel(PixelFormat f) {
    switch (f) {
        case PixelFormat::XRGB32:
            return 4;
        case PixelFormat::BGR24:
            return 3;
        case PixelFormat::RGB565:
            return 2;
    }
    return 4;
}

uint32_t Surface::Get(int x, int y) const {
    const uint8_t* row = Row(y);
    switch (format) {
        case PixelFormat::XRGB32: {
            uint32_t v;
            memcpy(&v, row + (size_t)x * 4, 4);
            return v & 0xFFFFFF;
        }
        case PixelFormat::BGR24: {
            const uint8_t* p = row + (size_t)x * 3;
            return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16);
        }
        case PixelFormat::RGB565: {
            uint16_t v;
            memcpy(&v, row + (size_t)x * 2, 2);
            return Rgb565ToRgb(v);
        }
    }
    return 0;
}

void Surface::Put(int x, int y, uint32_t rgb) const {
    uint8_t* row = Row(y);
    switch (format) {
        case PixelFormat::XRGB32: {
            uint32_t v = rgb & 0xFFFFFF;
            memcpy(row + (size_t)x * 4, &v, 4);
            break;
        }
        case PixelFormat::BGR24: {
            uint8_t* p = row + (size_t)x * 3;
            p[0] = (uint8_t)rgb;
            p[1] = (uint8_t)(rgb >> 8);
            p[2] = (uint8_t)(rgb >> 16);
            break;
        }
        case PixelFormat::RGB565: {
            uint16_t v = RgbTo565(rgb);
            memcpy(row + (size_t)x * 2, &v, 2);
            break;
        }
    }
}

void Surface::Blend(int x, int y, uint32_t rgb, uint32_t alpha) const {
    if (alpha == 0) return;
    if (alpha >= 255) {
        Put(x, y, rgb);
        return;
    }
    uint32_t d = Get(x, y), out = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        uint32_t cs = (rgb >> shift) & 255, cd = (d >> shift) & 255;
        out |= ((cs * alpha + cd * (255 - alpha) + 127) / 255) << shift;
    }
    Put(x, y, out);
}

bool AllocSurface(Surface& s, int width, int height, PixelFormat format, bool bottomUp) {
    if (width <= 0 || height <= 0 || width > kMaxSurfaceSide || height > kMaxSurfaceSide) return false;
    int stride = (width * BytesPerPixel(format) + 3) & ~3;
    void* bits = calloc((size_t)stride, (size_t)height);
    if (!bits) return false;
    s.bits = static_cast<uint8_t*>(bits);
    s.width = width;
    s.height = height;
    s.stride = stride;
    s.format = format;
    s.bottomUp = bottomUp;
    s.ownsBits = true;
    return true;
}

void FreeSurface(Surface& s) {
    if (s.ownsBits) free(s.bits);
    s = Surface{};
}

namespace {

// State of one PNG write kept outside the function that calls setjmp, so a
// longjmp out of libpng leaves no C++ object of that frame half-updated.
struct PngWriteJob {
    const Surface* surface;
    FILE* file;
    std::vector<uint8_t> row;
};

void PngWriteError(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}
void PngWriteWarning(png_structp, png_const_charp) {}

bool WritePngRows(png_structp png, png_infop info, PngWriteJob* job) {
    if (setjmp(png_jmpbuf(png))) return false;
    const Surface& s = *job->surface;
    png_init_io(png, job->file);
    png_set_IHDR(png, info, (png_uint_32)s.width, (png_uint_32)s.height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < s.height; y++) {
        uint8_t* out = job->row.data();
        for (int x = 0; x < s.width; x++) {
            uint32_t rgb = s.Get(x, y);
            *out++ = (uint8_t)(rgb >> 16);
            *out++ = (uint8_t)(rgb >> 8);
            *out++ = (uint8_t)rgb;
        }
        png_write_row(png, job->row.data());
    }
    png_write_end(png, info);
    return true;
}

}  // namespace

bool WriteSurfacePng(const Surface& s, const char* path) {
    if (!s.bits || s.width <= 0 || s.height <= 0 || !path) return false;
    FILE* f = fopen(path, "wb");
    if (!f) return false;
    PngWriteJob job{&s, f, std::vector<uint8_t>((size_t)s.width * 3)};
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, PngWriteError, PngWriteWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    bool ok = png && info && WritePngRows(png, info, &job);
    png_destroy_write_struct(png ? &png : nullptr, info ? &info : nullptr);
    if (fclose(f) != 0) ok = false;
    if (!ok) remove(path);
    return ok;
}

}  // namespace platform
