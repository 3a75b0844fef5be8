// PNG decoding, ARGB scaling and the COM-style imaging service built on them:
// a factory that makes images from PNG bytes or files, 32-bit ARGB bitmaps of
// them at any size, and drawing of images onto a DC blended by their alpha.
#include <png.h>

#include <algorithm>
#include <atomic>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "platform/raster.h"

const CLSID CLSID_ImagingFactory = {0x327ABDA8, 0x072B, 0x11D3, {0x9D, 0x7B, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
const IID IID_IImagingFactory = {0x327ABDA7, 0x072B, 0x11D3, {0x9D, 0x7B, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};

namespace platform {
namespace {

constexpr png_uint_32 kMaxPngSide = 16384;

// State of one PNG read kept outside the function that calls setjmp, so a
// longjmp out of libpng leaves no C++ object of that frame half-updated.
struct PngReadJob {
    const uint8_t* data;
    size_t size;
    size_t pos;
    std::basic_string<uint8_t>* out;
    std::vector<png_bytep> rows;
    int width = 0, height = 0;
};

void PngReadError(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}
void PngReadWarning(png_structp, png_const_charp) {}

void ReadFromMemory(png_structp png, png_bytep out, png_size_t n) {
    PngReadJob* job = static_cast<PngReadJob*>(png_get_io_ptr(png));
    if (n > job->size - job->pos) png_error(png, "truncated");
    memcpy(out, job->data + job->pos, n);
    job->pos += n;
}

bool ReadPng(png_structp png, png_infop info, PngReadJob* job) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_read_fn(png, job, ReadFromMemory);
    png_set_user_limits(png, kMaxPngSide, kMaxPngSide);
    png_read_info(png, info);
    png_uint_32 w = 0, h = 0;
    int depth = 0, colorType = 0;
    png_get_IHDR(png, info, &w, &h, &depth, &colorType, nullptr, nullptr, nullptr);
    if (w == 0 || h == 0 || w > kMaxPngSide || h > kMaxPngSide) return false;

    // Whatever the stored layout, ask libpng for 8-bit B, G, R, A.
    bool hasTrns = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    if (colorType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    if (colorType == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(png);
    if (hasTrns) png_set_tRNS_to_alpha(png);
    if (depth == 16) png_set_strip_16(png);
    if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
    if (!(colorType & PNG_COLOR_MASK_ALPHA) && !hasTrns) png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    png_set_bgr(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != (size_t)w * 4) return false;

    job->out->resize((size_t)w * h * 4);
    job->rows.resize(h);
    for (png_uint_32 y = 0; y < h; y++) job->rows[y] = job->out->data() + (size_t)y * w * 4;
    png_read_image(png, job->rows.data());
    job->width = (int)w;
    job->height = (int)h;
    return true;
}

}  // namespace

bool DecodePng(const void* data, size_t size, std::basic_string<uint8_t>& argb, int& width, int& height) {
    if (!data || size < 8 || png_sig_cmp(static_cast<png_const_bytep>(data), 0, 8) != 0) return false;
    std::basic_string<uint8_t> out;
    PngReadJob job{static_cast<const uint8_t*>(data), size, 0, &out, {}};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, PngReadError, PngReadWarning);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    bool ok = info && ReadPng(png, info, &job);
    png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
    if (!ok) return false;
    argb.swap(out);
    width = job.width;
    height = job.height;
    return true;
}

// Bilinear sampling with pixel centres aligned: result pixel x samples the source
// at (x + 0.5) * sw / dw - 0.5. Colours are averaged weighted by weight * alpha
// (premultiplied), so fully transparent neighbours, whatever colour they carry,
// do not darken an opaque edge.
void ScaleArgbRegion(const uint8_t* src, int sw, int sh, int srcStride, int dw, int dh, int rx, int ry, int rw, int rh,
                     uint8_t* out) {
    if (!src || !out || sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0 || rw <= 0 || rh <= 0) return;
    if (sw == dw && sh == dh) {
        for (int y = 0; y < rh; y++)
            memcpy(out + (size_t)y * rw * 4, src + (size_t)(ry + y) * srcStride + (size_t)rx * 4, (size_t)rw * 4);
        return;
    }
    struct Tap {
        int i0, i1;
        uint32_t frac;  // weight of i1, 0..255 of 256
    };
    auto taps = [](int from, int count, int srcSize, int dstSize) {
        std::vector<Tap> t((size_t)count);
        for (int k = 0; k < count; k++) {
            int64_t pos = ((int64_t)(2 * (int64_t)(from + k) + 1) * srcSize * 65536) / (2 * (int64_t)dstSize) - 32768;
            if (pos < 0) pos = 0;
            int i0 = (int)(pos >> 16);
            uint32_t frac = (uint32_t)(pos >> 8) & 255;
            if (i0 >= srcSize - 1) {
                i0 = srcSize - 1;
                frac = 0;
            }
            t[(size_t)k] = Tap{i0, std::min(i0 + 1, srcSize - 1), frac};
        }
        return t;
    };
    std::vector<Tap> xt = taps(rx, rw, sw, dw), yt = taps(ry, rh, sh, dh);
    for (int y = 0; y < rh; y++) {
        const Tap& ty = yt[(size_t)y];
        const uint8_t* r0 = src + (size_t)ty.i0 * srcStride;
        const uint8_t* r1 = src + (size_t)ty.i1 * srcStride;
        uint8_t* o = out + (size_t)y * rw * 4;
        for (int x = 0; x < rw; x++, o += 4) {
            const Tap& tx = xt[(size_t)x];
            const uint8_t* p[4] = {r0 + tx.i0 * 4, r0 + tx.i1 * 4, r1 + tx.i0 * 4, r1 + tx.i1 * 4};
            uint64_t w[4] = {(uint64_t)(256 - tx.frac) * (256 - ty.frac), (uint64_t)tx.frac * (256 - ty.frac),
                             (uint64_t)(256 - tx.frac) * ty.frac, (uint64_t)tx.frac * ty.frac};
            uint64_t sumA = 0, sumC[3] = {0, 0, 0};
            for (int k = 0; k < 4; k++) {
                uint64_t wa = w[k] * p[k][3];
                sumA += wa;
                for (int c = 0; c < 3; c++) sumC[c] += wa * p[k][c];
            }
            for (int c = 0; c < 3; c++) o[c] = sumA ? (uint8_t)((sumC[c] + sumA / 2) / sumA) : 0;
            o[3] = (uint8_t)((sumA + 32768) >> 16);
        }
    }
}

void ScaleArgb(const uint8_t* src, int sw, int sh, uint8_t* dst, int dw, int dh) {
    ScaleArgbRegion(src, sw, sh, sw * 4, dw, dh, 0, 0, dw, dh, dst);
}

namespace {

// {B96B3CAF-0728-11D3-9D7B-0000F81EF32E}: the PNG raw data format.
constexpr GUID kPngFormat = {0xB96B3CAF, 0x0728, 0x11D3, {0x9D, 0x7B, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};

std::atomic<int> g_liveObjects{0};

template <class Interface>
class RefCounted : public Interface {
public:
    RefCounted() { g_liveObjects++; }
    RefCounted(const RefCounted&) = delete;
    RefCounted& operator=(const RefCounted&) = delete;
    virtual ~RefCounted() { g_liveObjects--; }
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override {
        ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }

private:
    std::atomic<ULONG> refs_{1};
};

// A decoded picture: straight-alpha ARGB, 4 bytes per pixel, rows packed.
class Image final : public RefCounted<IImage> {
public:
    Image(std::basic_string<uint8_t>&& pixels, int w, int h) : pixels_(std::move(pixels)), width_(w), height_(h) {}

    HRESULT QueryInterface(const IID&, void** out) override {
        if (out) *out = nullptr;
        return E_NOINTERFACE;
    }

    HRESULT GetImageInfo(ImageInfo* info) override {
        if (!info) return E_POINTER;
        *info = ImageInfo{};
        info->RawDataFormat = kPngFormat;
        info->PixelFormat = PixelFormat32bppARGB;
        info->Width = (UINT)width_;
        info->Height = (UINT)height_;
        info->TileWidth = (UINT)width_;
        info->TileHeight = (UINT)height_;
        info->Xdpi = info->Ydpi = 96.0;
        return S_OK;
    }

    // srcRect, when given, is in image pixels.
    HRESULT Draw(HDC hdc, const RECT* dst, const RECT* srcRect) override {
        if (!dst) return E_INVALIDARG;
        RECT part{0, 0, width_, height_};
        if (srcRect) {
            part = RECT{std::max<LONG>(srcRect->left, 0), std::max<LONG>(srcRect->top, 0),
                        std::min<LONG>(srcRect->right, width_), std::min<LONG>(srcRect->bottom, height_)};
            if (part.left >= part.right || part.top >= part.bottom) return E_INVALIDARG;
        }
        const uint8_t* origin = pixels_.data() + ((size_t)part.top * width_ + part.left) * 4;
        if (!DrawArgb(hdc, *dst, origin, part.right - part.left, part.bottom - part.top, width_ * 4)) return E_FAIL;
        return S_OK;
    }

    const uint8_t* pixels() const { return pixels_.data(); }
    int width() const { return width_; }
    int height() const { return height_; }

private:
    std::basic_string<uint8_t> pixels_;
    int width_, height_;
};

class Bitmap final : public RefCounted<IBitmapImage> {
public:
    Bitmap(std::basic_string<uint8_t>&& pixels, int w, int h) : pixels_(std::move(pixels)), width_(w), height_(h) {}

    HRESULT QueryInterface(const IID&, void** out) override {
        if (out) *out = nullptr;
        return E_NOINTERFACE;
    }

    HRESULT GetSize(SIZE* size) override {
        if (!size) return E_POINTER;
        *size = SIZE{width_, height_};
        return S_OK;
    }

    // Gives direct access to the pixels, 32-bit ARGB only; one lock at a time.
    HRESULT LockBits(const RECT* rect, UINT flags, PixelFormatID format, BitmapData* data) override {
        if (!data) return E_POINTER;
        if (format != PixelFormat32bppARGB || !(flags & (ImageLockModeRead | ImageLockModeWrite))) return E_INVALIDARG;
        RECT r{0, 0, width_, height_};
        if (rect) {
            r = *rect;
            if (r.left < 0 || r.top < 0 || r.right > width_ || r.bottom > height_ || r.left >= r.right ||
                r.top >= r.bottom)
                return E_INVALIDARG;
        }
        if (locked_) return E_FAIL;
        locked_ = true;
        data->Width = (UINT)(r.right - r.left);
        data->Height = (UINT)(r.bottom - r.top);
        data->Stride = width_ * 4;
        data->PixelFormat = PixelFormat32bppARGB;
        data->Scan0 = pixels_.data() + ((size_t)r.top * width_ + r.left) * 4;
        data->Reserved = 0;
        return S_OK;
    }

    HRESULT UnlockBits(const BitmapData* data) override {
        if (!data) return E_POINTER;
        if (!locked_) return E_FAIL;
        locked_ = false;
        return S_OK;
    }

private:
    std::basic_string<uint8_t> pixels_;
    int width_, height_;
    bool locked_ = false;
};

HRESULT ImageFromPng(const void* data, size_t size, IImage** image) {
    std::basic_string<uint8_t> pixels;
    int w = 0, h = 0;
    if (!DecodePng(data, size, pixels, w, h)) return E_FAIL;
    *image = new Image(std::move(pixels), w, h);
    return S_OK;
}

class Factory final : public RefCounted<IImagingFactory> {
public:
    HRESULT QueryInterface(const IID& iid, void** out) override {
        if (!out) return E_POINTER;
        if (iid == IID_IImagingFactory) {
            AddRef();
            *out = static_cast<IImagingFactory*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }

    // The bytes are decoded at once, so the caller's buffer need not outlive the call.
    HRESULT CreateImageFromBuffer(const void* buffer, UINT size, int, IImage** image) override {
        if (!image) return E_POINTER;
        *image = nullptr;
        if (!buffer) return E_INVALIDARG;
        return ImageFromPng(buffer, size, image);
    }

    HRESULT CreateImageFromFile(LPCWSTR path, IImage** image) override {
        if (!image) return E_POINTER;
        *image = nullptr;
        char native[4096];
        if (!path || !WidePathToNative(path, native, sizeof native)) return E_INVALIDARG;
        FILE* f = fopen(native, "rb");
        if (!f) return E_FAIL;
        std::vector<uint8_t> bytes;
        uint8_t chunk[65536];
        size_t n;
        while ((n = fread(chunk, 1, sizeof chunk, f)) > 0) {
            if (bytes.size() + n > kMaxFileBytes) {
                fclose(f);
                return E_FAIL;
            }
            bytes.insert(bytes.end(), chunk, chunk + n);
        }
        bool readError = ferror(f) != 0;
        fclose(f);
        if (readError) return E_FAIL;
        return ImageFromPng(bytes.data(), bytes.size(), image);
    }

    // width or height 0 keeps the image's own size on that side.
    HRESULT CreateBitmapFromImage(IImage* image, UINT width, UINT height, PixelFormatID format, int,
                                  IBitmapImage** bitmap) override {
        if (!bitmap) return E_POINTER;
        *bitmap = nullptr;
        Image* img = dynamic_cast<Image*>(image);
        if (!img || format != PixelFormat32bppARGB) return E_INVALIDARG;
        int w = width ? (int)width : img->width();
        int h = height ? (int)height : img->height();
        if (width > kMaxPngSide || height > kMaxPngSide) return E_INVALIDARG;
        std::basic_string<uint8_t> pixels((size_t)w * h * 4, 0);
        ScaleArgb(img->pixels(), img->width(), img->height(), pixels.data(), w, h);
        *bitmap = new Bitmap(std::move(pixels), w, h);
        return S_OK;
    }

private:
    static constexpr size_t kMaxFileBytes = (size_t)512 << 20;
};

std::atomic<int> gComInits{0};

}  // namespace

int LiveImagingObjects() {
    return g_liveObjects.load();
}
}  // namespace platform

using namespace platform;

HRESULT CoInitializeEx(void*, DWORD) {
    gComInits++;
    return S_OK;
}

void CoUninitialize() {
    int n = gComInits.load();
    while (n > 0 && !gComInits.compare_exchange_weak(n, n - 1)) {
    }
}

// The imaging factory is the only class served.
HRESULT CoCreateInstance(const CLSID& clsid, void*, DWORD, const IID& iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!(clsid == CLSID_ImagingFactory) || !(iid == IID_IImagingFactory)) return E_NOINTERFACE;
    *out = static_cast<IImagingFactory*>(new Factory);
    return S_OK;
}
