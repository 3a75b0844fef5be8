// The GDI calls over the software raster: device contexts, bitmaps, brushes,
// pens and fonts, block transfers, filled shapes, lines, text, icons and the
// rectangle helpers.
//
// Coordinates given to a DC are DC coordinates; adding the DC's origin turns them
// into surface pixels. Every drawing call first works out the "draw area": the
// DC's clip rectangle in surface pixels, cut to the surface. Nothing outside it
// is ever written.
#include <algorithm>
#include <atomic>
#include <bit>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <type_traits>
#include <unordered_set>
#include <utility>
#include <vector>

#include "platform/Platform.h"
#include "platform/raster.h"
#include "platform/resources.h"

namespace platform {
namespace {

// ---------------------------------------------------------------------------
// Pixel formats as compile-time traits. "Raw" values are what a format stores:
// 0x00RRGGBB for XRGB32 and BGR24, the 16-bit word for RGB565. Copies between
// equal formats move raw values untouched.

struct XrgbFmt {
    static constexpr int kBytes = 4;
    static uint32_t Load(const uint8_t* row, int x) {
        uint32_t v;
        memcpy(&v, row + (size_t)x * 4, 4);
        return v & 0xFFFFFF;
    }
    static void Store(uint8_t* row, int x, uint32_t v) { memcpy(row + (size_t)x * 4, &v, 4); }
    static uint32_t ToRgb(uint32_t v) { return v; }
    static uint32_t FromRgb(uint32_t rgb) { return rgb; }
};

struct Bgr24Fmt {
    static constexpr int kBytes = 3;
    static uint32_t Load(const uint8_t* row, int x) {
        const uint8_t* p = row + (size_t)x * 3;
        return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16);
    }
    static void Store(uint8_t* row, int x, uint32_t v) {
        uint8_t* p = row + (size_t)x * 3;
        p[0] = (uint8_t)v;
        p[1] = (uint8_t)(v >> 8);
        p[2] = (uint8_t)(v >> 16);
    }
    static uint32_t ToRgb(uint32_t v) { return v; }
    static uint32_t FromRgb(uint32_t rgb) { return rgb; }
};

struct Rgb565Fmt {
    static constexpr int kBytes = 2;
    static uint32_t Load(const uint8_t* row, int x) {
        uint16_t v;
        memcpy(&v, row + (size_t)x * 2, 2);
        return v;
    }
    static void Store(uint8_t* row, int x, uint32_t v) {
        uint16_t w = (uint16_t)v;
        memcpy(row + (size_t)x * 2, &w, 2);
    }
    static uint32_t ToRgb(uint32_t v) { return Rgb565ToRgb((uint16_t)v); }
    static uint32_t FromRgb(uint32_t rgb) { return RgbTo565(rgb); }
};

template <class S, class D>
inline uint32_t Convert(uint32_t raw) {
    if constexpr (std::is_same_v<S, D>)
        return raw;
    else
        return D::FromRgb(S::ToRgb(raw));
}

uint32_t RawFromRgb(PixelFormat f, uint32_t rgb) {
    return f == PixelFormat::RGB565 ? RgbTo565(rgb) : rgb;
}

int BitsPerPixel(PixelFormat f) {
    return BytesPerPixel(f) * 8;
}

// ---------------------------------------------------------------------------
// Rectangles

RECT Intersect(const RECT& a, const RECT& b) {
    RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
    if (r.left >= r.right || r.top >= r.bottom) r = RECT{0, 0, 0, 0};
    return r;
}
bool IsEmpty(const RECT& r) {
    return r.left >= r.right || r.top >= r.bottom;
}
RECT Offset(RECT r, int dx, int dy) {
    return RECT{r.left + dx, r.top + dy, r.right + dx, r.bottom + dy};
}
RECT Bounds(const Surface& s) {
    return RECT{0, 0, s.width, s.height};
}

// ---------------------------------------------------------------------------
// Objects and DCs

std::atomic<int> g_liveObjects{0};

std::mutex& Lock() {
    static std::mutex m;
    return m;
}

// Every DC alive, so deleting a brush, pen or font still selected somewhere can be refused.
std::unordered_set<DeviceContext*>& LiveDCs() {
    static std::unordered_set<DeviceContext*> dcs;
    return dcs;
}

constexpr int kStockCount = SYSTEM_FONT + 1;

struct StockObjects {
    GdiObject objects[kStockCount];
    bool present[kStockCount] = {};
    GdiObject defaultBitmap;  // what a new memory DC holds
    uint32_t defaultPixel = 0;

    StockObjects() {
        auto brush = [&](int which, COLORREF c, bool null) {
            objects[which].kind = GdiKind::Brush;
            objects[which].color = c;
            objects[which].nullStyle = null;
            present[which] = true;
        };
        auto pen = [&](int which, COLORREF c, bool null) {
            objects[which].kind = GdiKind::Pen;
            objects[which].color = c;
            objects[which].nullStyle = null;
            present[which] = true;
        };
        for (GdiObject& o : objects) {
            o.stock = true;
            o.kind = GdiKind::Brush;
        }
        brush(WHITE_BRUSH, RGB(255, 255, 255), false);
        brush(LTGRAY_BRUSH, RGB(192, 192, 192), false);
        brush(GRAY_BRUSH, RGB(128, 128, 128), false);
        brush(DKGRAY_BRUSH, RGB(64, 64, 64), false);
        brush(BLACK_BRUSH, RGB(0, 0, 0), false);
        brush(NULL_BRUSH, RGB(0, 0, 0), true);
        pen(WHITE_PEN, RGB(255, 255, 255), false);
        pen(BLACK_PEN, RGB(0, 0, 0), false);
        pen(NULL_PEN, RGB(0, 0, 0), true);
        GdiObject& font = objects[SYSTEM_FONT];
        font.kind = GdiKind::Font;
        font.logfont.lfHeight = 0;
        font.logfont.lfWeight = FW_NORMAL;
        wcscpy(font.logfont.lfFaceName, L"System");
        present[SYSTEM_FONT] = true;

        defaultBitmap.kind = GdiKind::Bitmap;
        defaultBitmap.stock = true;
        defaultBitmap.surface.bits = reinterpret_cast<uint8_t*>(&defaultPixel);
        defaultBitmap.surface.width = 1;
        defaultBitmap.surface.height = 1;
        defaultBitmap.surface.stride = 4;
        defaultBitmap.surface.format = PixelFormat::XRGB32;
    }
};

StockObjects& Stock() {
    static StockObjects s;
    return s;
}

DeviceContext* AsDC(HDC h) {
    DeviceContext* d = ToDC(h);
    return d && d->magic == kDCMagic ? d : nullptr;
}

GdiObject* AsObject(HGDIOBJ h) {
    GdiObject* o = ToGdi(h);
    return o && o->magic == kGdiMagic ? o : nullptr;
}

GdiObject* AsKind(HGDIOBJ h, GdiKind kind) {
    GdiObject* o = AsObject(h);
    return o && o->kind == kind ? o : nullptr;
}

void InitDCDefaults(DeviceContext* dc) {
    StockObjects& s = Stock();
    dc->brush = &s.objects[WHITE_BRUSH];
    dc->pen = &s.objects[BLACK_PEN];
    dc->font = &s.objects[SYSTEM_FONT];
}

void RegisterDC(DeviceContext* dc) {
    std::lock_guard<std::mutex> lock(Lock());
    LiveDCs().insert(dc);
}

void DestroyDC(DeviceContext* dc) {
    std::lock_guard<std::mutex> lock(Lock());
    if (dc->bitmap && !dc->bitmap->stock) dc->bitmap->selected = false;
    LiveDCs().erase(dc);
    dc->magic = 0;
    delete dc;
}

// The part of the DC's surface that drawing may touch, in surface pixels.
bool DrawArea(const DeviceContext* dc, RECT& area) {
    if (!dc->surface || !dc->surface->bits) return false;
    area = Intersect(Offset(dc->clip, dc->originX, dc->originY), Bounds(*dc->surface));
    return !IsEmpty(area);
}

RECT ToSurface(const DeviceContext* dc, const RECT& r) {
    return Offset(r, dc->originX, dc->originY);
}

// Window and screen DCs draw on what the backend shows.
void Drew(const DeviceContext* dc) {
    if (!dc->isMemory) MarkScreenDirty();
}

const LOGFONT& FontOf(const DeviceContext* dc) {
    return dc->font ? dc->font->logfont : Stock().objects[SYSTEM_FONT].logfont;
}

// ---------------------------------------------------------------------------
// Filling

template <class D>
void FillRows(const Surface& s, const RECT& r, uint32_t raw) {
    for (int y = r.top; y < r.bottom; y++) {
        uint8_t* row = s.Row(y);
        for (int x = r.left; x < r.right; x++) D::Store(row, x, raw);
    }
}

// Fills `r` (surface pixels, already inside the surface) with one colour.
void FillArea(const Surface& s, const RECT& r, uint32_t rgb) {
    if (IsEmpty(r)) return;
    uint32_t raw = RawFromRgb(s.format, rgb);
    switch (s.format) {
        case PixelFormat::XRGB32:
            FillRows<XrgbFmt>(s, r, raw);
            break;
        case PixelFormat::BGR24:
            FillRows<Bgr24Fmt>(s, r, raw);
            break;
        case PixelFormat::RGB565:
            FillRows<Rgb565Fmt>(s, r, raw);
            break;
    }
}

// ---------------------------------------------------------------------------
// Block transfers. One routine serves StretchDIBits, BitBlt, StretchBlt and
// TransparentImage: nearest-neighbour, destination pixel i of a span maps to
// source pixel start + i * srcSize / dstSize. Destination pixels whose source
// falls outside srcBounds are left alone.

struct Blit {
    const Surface* dst;
    RECT clip;  // draw area, surface pixels
    int dx, dy, dw, dh;
    const Surface* src;
    RECT srcBounds;  // readable part of the source
    int sx, sy, sw, sh;
    bool keyed = false;
    uint32_t keyRgb = 0;
};

inline int MapIndex(int start, int64_t i, int srcSize, int dstSize) {
    return start + (int)((i * srcSize) / dstSize);
}

template <class S, class D>
int BlitRows(const Blit& b, int x0, const std::vector<int>& cols, int y0, int y1) {
    const int n = (int)cols.size();
    const uint32_t keyRaw = S::FromRgb(b.keyRgb);
    int rows = 0;
    int prevSrcRow = -1;
    const uint8_t* prevDstRow = nullptr;
    for (int y = y0; y < y1; y++) {
        int sr = MapIndex(b.sy, y - b.dy, b.sh, b.dh);
        if (sr < b.srcBounds.top || sr >= b.srcBounds.bottom) continue;
        uint8_t* drow = b.dst->Row(y);
        rows++;
        if (!b.keyed && sr == prevSrcRow) {
            // Enlarging: this row repeats the one above.
            memcpy(drow + (size_t)x0 * D::kBytes, prevDstRow + (size_t)x0 * D::kBytes, (size_t)n * D::kBytes);
            continue;
        }
        const uint8_t* srow = b.src->Row(sr);
        if (b.keyed) {
            for (int k = 0; k < n; k++) {
                uint32_t v = S::Load(srow, cols[k]);
                if (v != keyRaw) D::Store(drow, x0 + k, Convert<S, D>(v));
            }
        } else {
            for (int k = 0; k < n; k++) D::Store(drow, x0 + k, Convert<S, D>(S::Load(srow, cols[k])));
        }
        prevSrcRow = sr;
        prevDstRow = drow;
    }
    return rows;
}

template <class S>
int BlitTo(const Blit& b, int x0, const std::vector<int>& cols, int y0, int y1) {
    switch (b.dst->format) {
        case PixelFormat::XRGB32:
            return BlitRows<S, XrgbFmt>(b, x0, cols, y0, y1);
        case PixelFormat::BGR24:
            return BlitRows<S, Bgr24Fmt>(b, x0, cols, y0, y1);
        case PixelFormat::RGB565:
            return BlitRows<S, Rgb565Fmt>(b, x0, cols, y0, y1);
    }
    return 0;
}

// Returns the number of destination rows written.
int RunBlit(const Blit& b) {
    if (b.dw <= 0 || b.dh <= 0 || b.sw <= 0 || b.sh <= 0) return 0;
    if (IsEmpty(b.srcBounds) || !b.src->bits || !b.dst->bits) return 0;

    if (b.src->bits == b.dst->bits) {
        // Source and destination share pixels (scrolling within one surface):
        // copy the readable source part aside first so overlap cannot smear.
        RECT part = Intersect(RECT{b.sx, b.sy, b.sx + b.sw, b.sy + b.sh}, b.srcBounds);
        if (IsEmpty(part)) return 0;
        Surface tmp;
        if (!AllocSurface(tmp, part.right - part.left, part.bottom - part.top, b.src->format, false)) return 0;
        int bpp = BytesPerPixel(b.src->format);
        for (int y = part.top; y < part.bottom; y++)
            memcpy(tmp.Row(y - part.top), b.src->Row(y) + (size_t)part.left * bpp, (size_t)tmp.width * bpp);
        Blit copy = b;
        copy.src = &tmp;
        copy.srcBounds = Bounds(tmp);
        copy.sx = b.sx - part.left;
        copy.sy = b.sy - part.top;
        int rows = RunBlit(copy);
        FreeSurface(tmp);
        return rows;
    }

    RECT target = Intersect(RECT{b.dx, b.dy, b.dx + b.dw, b.dy + b.dh}, b.clip);
    if (IsEmpty(target)) return 0;

    // Source column of every destination column; the mapping only grows, so the
    // columns reading inside the source form one run.
    std::vector<int> cols;
    cols.reserve((size_t)(target.right - target.left));
    int x0 = target.right;
    for (int x = target.left; x < target.right; x++) {
        int c = MapIndex(b.sx, x - b.dx, b.sw, b.dw);
        if (c < b.srcBounds.left) continue;
        if (c >= b.srcBounds.right) break;
        if (cols.empty()) x0 = x;
        cols.push_back(c);
    }
    if (cols.empty()) return 0;

    switch (b.src->format) {
        case PixelFormat::XRGB32:
            return BlitTo<XrgbFmt>(b, x0, cols, target.top, target.bottom);
        case PixelFormat::BGR24:
            return BlitTo<Bgr24Fmt>(b, x0, cols, target.top, target.bottom);
        case PixelFormat::RGB565:
            return BlitTo<Rgb565Fmt>(b, x0, cols, target.top, target.bottom);
    }
    return 0;
}

// The pixel layout a BITMAPINFO describes, or false for one the raster cannot hold:
// 24-bit and 32-bit BI_RGB, 16-bit 5-6-5 and 32-bit 8-8-8 BI_BITFIELDS.
bool DibLayout(const BITMAPINFO* bmi, PixelFormat& format, int& width, int& height, bool& bottomUp) {
    if (!bmi) return false;
    const BITMAPINFOHEADER& h = bmi->bmiHeader;
    if (h.biSize < sizeof(BITMAPINFOHEADER) || h.biWidth <= 0 || h.biHeight == 0) return false;
    if (h.biHeight == INT32_MIN) return false;
    if (h.biBitCount == 24 && h.biCompression == BI_RGB) {
        format = PixelFormat::BGR24;
    } else if (h.biBitCount == 32 && h.biCompression == BI_RGB) {
        format = PixelFormat::XRGB32;
    } else if (h.biBitCount == 32 && h.biCompression == BI_BITFIELDS && bmi->bmiColors[0] == 0xFF0000 &&
               bmi->bmiColors[1] == 0x00FF00 && bmi->bmiColors[2] == 0x0000FF) {
        format = PixelFormat::XRGB32;
    } else if (h.biBitCount == 16 && h.biCompression == BI_BITFIELDS && bmi->bmiColors[0] == 0xF800 &&
               bmi->bmiColors[1] == 0x07E0 && bmi->bmiColors[2] == 0x001F) {
        format = PixelFormat::RGB565;
    } else {
        return false;
    }
    width = h.biWidth;
    height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
    bottomUp = h.biHeight > 0;
    return width <= 16384 && height <= 16384;
}

// A surface over caller-owned DIB bits.
bool WrapDib(const BITMAPINFO* bmi, const void* bits, Surface& s) {
    PixelFormat format;
    int w, h;
    bool bottomUp;
    if (!bits || !DibLayout(bmi, format, w, h, bottomUp)) return false;
    s.bits = static_cast<uint8_t*>(const_cast<void*>(bits));
    s.width = w;
    s.height = h;
    s.stride = (w * BitsPerPixel(format) / 8 + 3) & ~3;
    s.format = format;
    s.bottomUp = bottomUp;
    s.ownsBits = false;
    return true;
}

// ---------------------------------------------------------------------------
// Lines

void Plot(const Surface& s, const RECT& clip, int x, int y, int width, uint32_t rgb) {
    if (width <= 1) {
        if (x >= clip.left && x < clip.right && y >= clip.top && y < clip.bottom) s.Put(x, y, rgb);
        return;
    }
    int l = x - width / 2, t = y - width / 2;
    FillArea(s, Intersect(RECT{l, t, l + width, t + width}, clip), rgb);
}

// Steps along the longer axis; the other coordinate is the exact rounded one,
// which gives the same pixels as Bresenham's walk. Only the steps whose pixels
// can reach the clip are visited, so a line running far off-surface costs little.
void DrawLine(const Surface& s, const RECT& clip, int x0, int y0, int x1, int y1, int width, uint32_t rgb,
              bool includeEnd) {
    int64_t dx = (int64_t)x1 - x0, dy = (int64_t)y1 - y0;
    int64_t adx = dx < 0 ? -dx : dx, ady = dy < 0 ? -dy : dy;
    bool xMajor = adx >= ady;
    int64_t n = xMajor ? adx : ady;
    if (n == 0) {
        if (includeEnd) Plot(s, clip, x0, y0, width, rgb);
        return;
    }
    int64_t last = includeEnd ? n : n - 1;
    int64_t major0 = xMajor ? x0 : y0, minor0 = xMajor ? y0 : x0;
    int majorSign = (xMajor ? dx : dy) < 0 ? -1 : 1;
    int minorSign = (xMajor ? dy : dx) < 0 ? -1 : 1;
    int64_t minorLen = xMajor ? ady : adx;
    int64_t lo = (xMajor ? clip.left : clip.top) - width, hi = (xMajor ? clip.right : clip.bottom) + width;
    int64_t iLo, iHi;
    if (majorSign > 0) {
        iLo = lo - major0;
        iHi = hi - 1 - major0;
    } else {
        iLo = major0 - (hi - 1);
        iHi = major0 - lo;
    }
    iLo = std::max<int64_t>(iLo, 0);
    iHi = std::min<int64_t>(iHi, last);
    for (int64_t i = iLo; i <= iHi; i++) {
        int64_t major = major0 + majorSign * i;
        int64_t minor = minor0 + minorSign * ((2 * i * minorLen + n) / (2 * n));
        int64_t px = xMajor ? major : minor, py = xMajor ? minor : major;
        if (px < INT32_MIN / 2 || px > INT32_MAX / 2 || py < INT32_MIN / 2 || py > INT32_MAX / 2) continue;
        Plot(s, clip, (int)px, (int)py, width, rgb);
    }
}

// ---------------------------------------------------------------------------
// Text

void FillBackground(const DeviceContext* dc, const RECT& box, const RECT& clip) {
    FillArea(*dc->surface, Intersect(box, clip), ColorRefToRgb(dc->bkColor));
}

// ---------------------------------------------------------------------------
// Icons: decoded PNG pixels, shared per (instance, id) like the system's icons.

constexpr uint32_t kIconMagic = 0x49434F4E;  // "ICON"

struct IconObject {
    uint32_t magic = kIconMagic;
    int width = 0, height = 0;
    std::basic_string<uint8_t> argb;
};

IconObject* AsIcon(HICON h) {
    IconObject* icon = reinterpret_cast<IconObject*>(h);
    return icon && icon->magic == kIconMagic ? icon : nullptr;
}

// ---------------------------------------------------------------------------
// BMP files (bitmap resources)

uint32_t ReadU32(const unsigned char* p) {
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}
uint16_t ReadU16(const unsigned char* p) {
    return (uint16_t)(p[0] | (p[1] << 8));
}

// Decodes an uncompressed 24-bit or 32-bit BMP file into a new XRGB32 bitmap.
GdiObject* DecodeBmp(const unsigned char* data, size_t size) {
    const size_t kFileHeader = 14;
    if (!data || size < kFileHeader + 40 || data[0] != 'B' || data[1] != 'M') return nullptr;
    uint32_t offBits = ReadU32(data + 10);
    const unsigned char* ih = data + kFileHeader;
    uint32_t headerSize = ReadU32(ih);
    if (headerSize < 40 || headerSize > size - kFileHeader) return nullptr;
    int32_t width = (int32_t)ReadU32(ih + 4);
    int32_t height = (int32_t)ReadU32(ih + 8);
    uint16_t bpp = ReadU16(ih + 14);
    uint32_t compression = ReadU32(ih + 16);
    if (width <= 0 || width > 16384 || height == 0 || height < -16384 || height > 16384) return nullptr;
    bool bottomUp = height > 0;
    int rows = bottomUp ? height : -height;

    PixelFormat format;
    if (bpp == 24 && compression == BI_RGB) {
        format = PixelFormat::BGR24;
    } else if (bpp == 32 && compression == BI_RGB) {
        format = PixelFormat::XRGB32;
    } else if (bpp == 32 && compression == BI_BITFIELDS) {
        // The masks follow a 40-byte header, or sit inside a longer one at the same place.
        size_t masks = kFileHeader + 40;
        if (size < masks + 12) return nullptr;
        if (ReadU32(data + masks) != 0xFF0000 || ReadU32(data + masks + 4) != 0xFF00 ||
            ReadU32(data + masks + 8) != 0xFF)
            return nullptr;
        format = PixelFormat::XRGB32;
    } else {
        return nullptr;
    }
    uint64_t stride = ((uint64_t)width * bpp / 8 + 3) & ~(uint64_t)3;
    if ((uint64_t)offBits + stride * (uint64_t)rows > size) return nullptr;

    Surface src;
    src.bits = const_cast<uint8_t*>(data + offBits);
    src.width = width;
    src.height = rows;
    src.stride = (int)stride;
    src.format = format;
    src.bottomUp = bottomUp;

    GdiObject* obj = new GdiObject;
    obj->kind = GdiKind::Bitmap;
    if (!AllocSurface(obj->surface, width, rows, PixelFormat::XRGB32, false)) {
        delete obj;
        return nullptr;
    }
    for (int y = 0; y < rows; y++)
        for (int x = 0; x < width; x++) obj->surface.Put(x, y, src.Get(x, y));
    return obj;
}

}  // namespace

// ---------------------------------------------------------------------------
// Internal entry points

HDC MakeSurfaceDC(Surface* surface, int originX, int originY, const RECT& clip) {
    DeviceContext* dc = new DeviceContext;
    dc->surface = surface;
    dc->originX = originX;
    dc->originY = originY;
    dc->clip = clip;
    InitDCDefaults(dc);
    RegisterDC(dc);
    return ToHandle(dc);
}

void FreeSurfaceDC(HDC hdc) {
    if (DeviceContext* dc = AsDC(hdc)) DestroyDC(dc);
}

BOOL DrawArgb(HDC hdc, const RECT& dst, const uint8_t* argb, int sw, int sh, int srcStride) {
    DeviceContext* dc = AsDC(hdc);
    if (!dc || !argb || sw <= 0 || sh <= 0) return FALSE;
    int dw = dst.right - dst.left, dh = dst.bottom - dst.top;
    if (dw <= 0 || dh <= 0) return FALSE;
    RECT area;
    if (!DrawArea(dc, area)) return TRUE;
    RECT target = ToSurface(dc, dst);
    RECT visible = Intersect(target, area);
    if (IsEmpty(visible)) return TRUE;
    int rw = visible.right - visible.left, rh = visible.bottom - visible.top;
    std::vector<uint8_t> block((size_t)rw * rh * 4);
    ScaleArgbRegion(argb, sw, sh, srcStride, dw, dh, visible.left - target.left, visible.top - target.top, rw, rh,
                    block.data());
    const Surface& s = *dc->surface;
    const uint8_t* p = block.data();
    for (int y = visible.top; y < visible.bottom; y++) {
        for (int x = visible.left; x < visible.right; x++, p += 4) {
            s.Blend(x, y, ((uint32_t)p[2] << 16) | ((uint32_t)p[1] << 8) | p[0], p[3]);
        }
    }
    Drew(dc);
    return TRUE;
}

}  // namespace platform

using namespace platform;

// ---------------------------------------------------------------------------
// DCs and objects

HDC CreateCompatibleDC(HDC) {
    DeviceContext* dc = new DeviceContext;
    dc->isMemory = true;
    GdiObject* bm = &Stock().defaultBitmap;
    dc->bitmap = bm;
    dc->surface = &bm->surface;
    dc->clip = Bounds(bm->surface);
    InitDCDefaults(dc);
    RegisterDC(dc);
    return ToHandle(dc);
}

// Only memory DCs are deleted here; window DCs go back through ReleaseDC/EndPaint.
BOOL DeleteDC(HDC hdc) {
    DeviceContext* dc = AsDC(hdc);
    if (!dc || !dc->isMemory) return FALSE;
    DestroyDC(dc);
    return TRUE;
}

HBITMAP CreateCompatibleBitmap(HDC, int w, int h) {
    GdiObject* obj = new GdiObject;
    obj->kind = GdiKind::Bitmap;
    if (!AllocSurface(obj->surface, w, h, PixelFormat::XRGB32, false)) {
        delete obj;
        return nullptr;
    }
    return ToHandle(obj);
}

HBITMAP CreateDIBSection(HDC, const BITMAPINFO* bmi, UINT usage, void** bits, HANDLE section, DWORD) {
    if (bits) *bits = nullptr;
    PixelFormat format;
    int w, h;
    bool bottomUp;
    if (usage != DIB_RGB_COLORS || section || !DibLayout(bmi, format, w, h, bottomUp)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    GdiObject* obj = new GdiObject;
    obj->kind = GdiKind::Bitmap;
    obj->isDib = true;
    if (!AllocSurface(obj->surface, w, h, format, bottomUp)) {
        delete obj;
        SetLastError(ERROR_OUTOFMEMORY);
        return nullptr;
    }
    if (bits) *bits = obj->surface.bits;
    return ToHandle(obj);
}

HGDIOBJ SelectObject(HDC hdc, HGDIOBJ h) {
    DeviceContext* dc = AsDC(hdc);
    GdiObject* obj = AsObject(h);
    if (!dc || !obj) return nullptr;
    std::lock_guard<std::mutex> lock(Lock());
    GdiObject* prev = nullptr;
    switch (obj->kind) {
        case GdiKind::Bitmap:
            // A bitmap lives in one memory DC at a time.
            if (!dc->isMemory) return nullptr;
            if (obj == dc->bitmap) return ToHandle(obj);
            if (obj->selected) return nullptr;
            prev = dc->bitmap;
            if (prev && !prev->stock) prev->selected = false;
            obj->selected = !obj->stock;
            dc->bitmap = obj;
            dc->surface = &obj->surface;
            dc->clip = Bounds(obj->surface);
            break;
        case GdiKind::Brush:
            prev = dc->brush;
            dc->brush = obj;
            break;
        case GdiKind::Pen:
            prev = dc->pen;
            dc->pen = obj;
            break;
        case GdiKind::Font:
            prev = dc->font;
            dc->font = obj;
            break;
    }
    return prev ? ToHandle(prev) : nullptr;
}

// Refuses stock objects and objects still selected into a DC (deleting those
// would leave the DC drawing with freed memory).
BOOL DeleteObject(HGDIOBJ h) {
    GdiObject* obj = AsObject(h);
    if (!obj || obj->stock) return FALSE;
    {
        std::lock_guard<std::mutex> lock(Lock());
        if (obj->selected) return FALSE;
        for (DeviceContext* dc : LiveDCs())
            if (dc->bitmap == obj || dc->brush == obj || dc->pen == obj || dc->font == obj) return FALSE;
        obj->magic = 0;
    }
    if (obj->kind == GdiKind::Bitmap) FreeSurface(obj->surface);
    delete obj;
    return TRUE;
}

void* platform::GdiObject::operator new(size_t size) {
    void* p = ::operator new(size);
    g_liveObjects++;
    return p;
}

void platform::GdiObject::operator delete(void* p) {
    if (!p) return;
    g_liveObjects--;
    ::operator delete(p);
}

int platform::LiveGdiObjects() {
    return g_liveObjects.load();
}

int platform::LiveDeviceContexts() {
    std::lock_guard<std::mutex> lock(Lock());
    return (int)LiveDCs().size();
}

HGDIOBJ GetStockObject(int which) {
    StockObjects& s = Stock();
    if (which < 0 || which >= kStockCount || !s.present[which]) return nullptr;
    return ToHandle(&s.objects[which]);
}

int GetObject(HGDIOBJ h, int size, void* out) {
    GdiObject* obj = AsObject(h);
    if (!obj) return 0;
    if (obj->kind == GdiKind::Bitmap) {
        if (!out) return (int)sizeof(BITMAP);
        if (size < (int)sizeof(BITMAP)) return 0;
        const Surface& s = obj->surface;
        BITMAP bm{};
        bm.bmType = 0;
        bm.bmWidth = s.width;
        bm.bmHeight = s.height;
        bm.bmWidthBytes = s.stride;
        bm.bmPlanes = 1;
        bm.bmBitsPixel = (WORD)BitsPerPixel(s.format);
        bm.bmBits = obj->isDib ? s.bits : nullptr;
        memcpy(out, &bm, sizeof bm);
        return (int)sizeof(BITMAP);
    }
    if (obj->kind == GdiKind::Font) {
        if (!out) return (int)sizeof(LOGFONT);
        if (size < (int)sizeof(LOGFONT)) return 0;
        memcpy(out, &obj->logfont, sizeof(LOGFONT));
        return (int)sizeof(LOGFONT);
    }
    return 0;
}

HBRUSH CreateSolidBrush(COLORREF c) {
    GdiObject* obj = new GdiObject;
    obj->kind = GdiKind::Brush;
    obj->color = c & 0xFFFFFF;
    return ToHandle(obj);
}

HPEN CreatePen(int style, int width, COLORREF c) {
    GdiObject* obj = new GdiObject;
    obj->kind = GdiKind::Pen;
    obj->color = c & 0xFFFFFF;
    obj->nullStyle = style == PS_NULL;
    obj->penWidth = std::clamp(width, 1, 1024);
    return ToHandle(obj);
}

HFONT CreateFontIndirect(const LOGFONT* lf) {
    if (!lf) return nullptr;
    GdiObject* obj = new GdiObject;
    obj->kind = GdiKind::Font;
    obj->logfont = *lf;
    return ToHandle(obj);
}

// ---------------------------------------------------------------------------
// Block transfers

// Bottom-up DIBs count ySrc from the bottom row of the image, as the system's
// own call does: the source rectangle is rows [height - ySrc - hSrc, height - ySrc)
// counted from the top. Top-down DIBs count ySrc from the top row. Mirroring
// (negative sizes) is not supported. Returns the number of destination rows drawn.
int StretchDIBits(HDC hdc, int xDst, int yDst, int wDst, int hDst, int xSrc, int ySrc, int wSrc, int hSrc,
                  const void* bits, const BITMAPINFO* bmi, UINT usage, DWORD rop) {
    DeviceContext* dc = AsDC(hdc);
    Surface src;
    if (!dc || rop != SRCCOPY || usage != DIB_RGB_COLORS || !WrapDib(bmi, bits, src)) return 0;
    RECT area;
    if (!DrawArea(dc, area)) return 0;
    Blit b{dc->surface,
           area,
           xDst + dc->originX,
           yDst + dc->originY,
           wDst,
           hDst,
           &src,
           Bounds(src),
           xSrc,
           src.bottomUp ? src.height - ySrc - hSrc : ySrc,
           wSrc,
           hSrc};
    int rows = RunBlit(b);
    if (rows) Drew(dc);
    return rows;
}

BOOL StretchBlt(HDC hdst, int x, int y, int w, int h, HDC hsrc, int xSrc, int ySrc, int wSrc, int hSrc, DWORD rop) {
    DeviceContext* dst = AsDC(hdst);
    DeviceContext* src = AsDC(hsrc);
    if (!dst || !src || rop != SRCCOPY) return FALSE;
    if (w <= 0 || h <= 0 || wSrc <= 0 || hSrc <= 0) return FALSE;
    RECT area, srcArea;
    if (!DrawArea(dst, area) || !DrawArea(src, srcArea)) return TRUE;
    Blit b{dst->surface, area,    x + dst->originX,    y + dst->originY,    w,    h,
           src->surface, srcArea, xSrc + src->originX, ySrc + src->originY, wSrc, hSrc};
    if (RunBlit(b)) Drew(dst);
    return TRUE;
}

BOOL BitBlt(HDC dst, int x, int y, int w, int h, HDC src, int xSrc, int ySrc, DWORD rop) {
    return StretchBlt(dst, x, y, w, h, src, xSrc, ySrc, w, h, rop);
}

// `src` is a DC or a bitmap; both records start with their magic word. The key
// is compared with source pixels in the source's own format, so for a 16-bit
// source it matches every colour that packs to the same 5-6-5 value.
BOOL TransparentImage(HDC hdst, int x, int y, int w, int h, HANDLE src, int xSrc, int ySrc, int wSrc, int hSrc,
                      COLORREF transparent) {
    DeviceContext* dst = AsDC(hdst);
    if (!dst || !src || w <= 0 || h <= 0 || wSrc <= 0 || hSrc <= 0) return FALSE;
    uint32_t magic;
    memcpy(&magic, src, sizeof magic);
    const Surface* srcSurface = nullptr;
    RECT srcArea{0, 0, 0, 0};
    int ox = 0, oy = 0;
    if (magic == kDCMagic) {
        DeviceContext* sdc = ToDC(static_cast<HDC>(src));
        if (!DrawArea(sdc, srcArea)) return TRUE;
        srcSurface = sdc->surface;
        ox = sdc->originX;
        oy = sdc->originY;
    } else if (magic == kGdiMagic) {
        GdiObject* bm = ToGdi(static_cast<HGDIOBJ>(src));
        if (bm->kind != GdiKind::Bitmap) return FALSE;
        srcSurface = &bm->surface;
        srcArea = Bounds(bm->surface);
    } else {
        return FALSE;
    }
    RECT area;
    if (!DrawArea(dst, area)) return TRUE;
    Blit b{dst->surface, area,    x + dst->originX, y + dst->originY, w,    h,
           srcSurface,   srcArea, xSrc + ox,        ySrc + oy,        wSrc, hSrc};
    b.keyed = true;
    b.keyRgb = ColorRefToRgb(transparent);
    if (RunBlit(b)) Drew(dst);
    return TRUE;
}

// ---------------------------------------------------------------------------
// Shapes and pixels

int FillRect(HDC hdc, const RECT* rc, HBRUSH hbrush) {
    DeviceContext* dc = AsDC(hdc);
    GdiObject* brush = AsKind(hbrush, GdiKind::Brush);
    if (!dc || !rc || !brush) return 0;
    RECT area;
    if (brush->nullStyle || !DrawArea(dc, area)) return 1;
    FillArea(*dc->surface, Intersect(ToSurface(dc, *rc), area), ColorRefToRgb(brush->color));
    Drew(dc);
    return 1;
}

// The outline covers [l, r) x [t, b) with the pen; the brush fills the inside.
// With the null pen the brush covers [l, r - 1) x [t, b - 1), as on the system.
BOOL Rectangle(HDC hdc, int l, int t, int r, int b) {
    DeviceContext* dc = AsDC(hdc);
    if (!dc) return FALSE;
    if (l > r) std::swap(l, r);
    if (t > b) std::swap(t, b);
    RECT area;
    if (!DrawArea(dc, area)) return TRUE;
    const Surface& s = *dc->surface;
    RECT box = ToSurface(dc, RECT{l, t, r, b});
    bool pen = dc->pen && !dc->pen->nullStyle;
    if (dc->brush && !dc->brush->nullStyle) {
        RECT inside = pen ? RECT{box.left + 1, box.top + 1, box.right - 1, box.bottom - 1}
                          : RECT{box.left, box.top, box.right - 1, box.bottom - 1};
        FillArea(s, Intersect(inside, area), ColorRefToRgb(dc->brush->color));
    }
    if (pen && box.right > box.left && box.bottom > box.top) {
        int w = dc->pen->penWidth;
        uint32_t rgb = ColorRefToRgb(dc->pen->color);
        int r1 = box.right - 1, b1 = box.bottom - 1;
        DrawLine(s, area, box.left, box.top, r1, box.top, w, rgb, true);
        DrawLine(s, area, r1, box.top, r1, b1, w, rgb, true);
        DrawLine(s, area, r1, b1, box.left, b1, w, rgb, true);
        DrawLine(s, area, box.left, b1, box.left, box.top, w, rgb, true);
    }
    Drew(dc);
    return TRUE;
}

BOOL MoveToEx(HDC hdc, int x, int y, POINT* old) {
    DeviceContext* dc = AsDC(hdc);
    if (!dc) return FALSE;
    if (old) *old = dc->penPos;
    dc->penPos = POINT{x, y};
    return TRUE;
}

// Draws from the current position up to, not including, (x, y), which becomes
// the current position.
BOOL LineTo(HDC hdc, int x, int y) {
    DeviceContext* dc = AsDC(hdc);
    if (!dc) return FALSE;
    POINT from = dc->penPos;
    dc->penPos = POINT{x, y};
    RECT area;
    if (!dc->pen || dc->pen->nullStyle || !DrawArea(dc, area)) return TRUE;
    DrawLine(*dc->surface, area, from.x + dc->originX, from.y + dc->originY, x + dc->originX, y + dc->originY,
             dc->pen->penWidth, ColorRefToRgb(dc->pen->color), false);
    Drew(dc);
    return TRUE;
}

COLORREF SetPixel(HDC hdc, int x, int y, COLORREF c) {
    DeviceContext* dc = AsDC(hdc);
    RECT area;
    if (!dc || !DrawArea(dc, area)) return CLR_INVALID;
    int sx = x + dc->originX, sy = y + dc->originY;
    if (sx < area.left || sx >= area.right || sy < area.top || sy >= area.bottom) return CLR_INVALID;
    dc->surface->Put(sx, sy, ColorRefToRgb(c));
    Drew(dc);
    return RgbToColorRef(dc->surface->Get(sx, sy));
}

COLORREF GetPixel(HDC hdc, int x, int y) {
    DeviceContext* dc = AsDC(hdc);
    RECT area;
    if (!dc || !DrawArea(dc, area)) return CLR_INVALID;
    int sx = x + dc->originX, sy = y + dc->originY;
    if (sx < area.left || sx >= area.right || sy < area.top || sy >= area.bottom) return CLR_INVALID;
    return RgbToColorRef(dc->surface->Get(sx, sy));
}

// ---------------------------------------------------------------------------
// Text

COLORREF SetTextColor(HDC hdc, COLORREF c) {
    DeviceContext* dc = AsDC(hdc);
    if (!dc) return CLR_INVALID;
    COLORREF old = dc->textColor;
    dc->textColor = c & 0xFFFFFF;
    return old;
}

COLORREF SetBkColor(HDC hdc, COLORREF c) {
    DeviceContext* dc = AsDC(hdc);
    if (!dc) return CLR_INVALID;
    COLORREF old = dc->bkColor;
    dc->bkColor = c & 0xFFFFFF;
    return old;
}

int SetBkMode(HDC hdc, int mode) {
    DeviceContext* dc = AsDC(hdc);
    if (!dc || (mode != TRANSPARENT && mode != OPAQUE)) return 0;
    int old = dc->bkMode;
    dc->bkMode = mode;
    return old;
}

// Text's cell top is at y. ETO_OPAQUE fills `rc` with the background colour,
// ETO_CLIPPED keeps the text inside `rc`; in OPAQUE background mode the text's
// own cells are filled too. `dx`, when given, holds each character's advance.
BOOL ExtTextOut(HDC hdc, int x, int y, UINT options, const RECT* rc, LPCWSTR text, UINT len, const int* dx) {
    DeviceContext* dc = AsDC(hdc);
    if (!dc) return FALSE;
    if (!text) len = 0;
    if (len > 0x100000) return FALSE;
    RECT area;
    if (!DrawArea(dc, area)) return TRUE;
    const Surface& s = *dc->surface;
    const LOGFONT& lf = FontOf(dc);
    RECT textClip = area;
    if (rc && (options & ETO_CLIPPED)) textClip = Intersect(area, ToSurface(dc, *rc));
    if (rc && (options & ETO_OPAQUE)) FillBackground(dc, ToSurface(dc, *rc), area);

    int n = (int)len;
    SIZE extent = MeasureTextRun(lf, text, n);
    if (dx) {
        extent.cx = 0;
        for (int i = 0; i < n; i++) extent.cx += dx[i];
    }
    int sx = x + dc->originX, sy = y + dc->originY;
    if (dc->bkMode == OPAQUE && n > 0) FillBackground(dc, RECT{sx, sy, sx + extent.cx, sy + extent.cy}, textClip);
    uint32_t rgb = ColorRefToRgb(dc->textColor);
    if (!IsEmpty(textClip) && n > 0) {
        if (dx) {
            int pos = sx;
            for (int i = 0; i < n; i++) {
                DrawTextRun(s, textClip, lf, pos, sy, text + i, 1, rgb);
                pos += dx[i];
            }
        } else {
            DrawTextRun(s, textClip, lf, sx, sy, text, n, rgb);
        }
    }
    Drew(dc);
    return TRUE;
}

// Lines split at '\n' unless DT_SINGLELINE; DT_VCENTER centres a single line.
// DT_END_ELLIPSIS shortens a line wider than the rectangle and ends it with "...".
// Returns the height from rc->top to the bottom of the last line.
int DrawText(HDC hdc, LPCWSTR text, int len, RECT* rc, UINT format) {
    DeviceContext* dc = AsDC(hdc);
    if (!dc || !text || !rc) return 0;
    if (len < 0) len = (int)wcslen(text);
    const LOGFONT& lf = FontOf(dc);

    std::vector<std::wstring> lines(1);
    for (int i = 0; i < len; i++) {
        wchar_t c = text[i];
        if (c == L'\r') continue;
        if (c == L'\n') {
            if (!(format & DT_SINGLELINE)) lines.emplace_back();
            continue;
        }
        lines.back().push_back(c);
    }

    int lineHeight = MeasureTextRun(lf, L"", 0).cy;
    int boxW = rc->right - rc->left, boxH = rc->bottom - rc->top;
    int top = rc->top;
    if ((format & DT_SINGLELINE) && (format & DT_VCENTER)) top = rc->top + (boxH - lineHeight) / 2;

    RECT area;
    bool visible = DrawArea(dc, area);
    RECT clip = area;
    if (!(format & DT_NOCLIP)) clip = Intersect(area, ToSurface(dc, *rc));
    uint32_t rgb = ColorRefToRgb(dc->textColor);

    int y = top;
    for (std::wstring& line : lines) {
        int width = MeasureTextRun(lf, line.c_str(), (int)line.size()).cx;
        if ((format & DT_END_ELLIPSIS) && width > boxW) {
            std::wstring cut = line;
            while (!cut.empty()) {
                cut.pop_back();
                std::wstring candidate = cut + L"...";
                int w = MeasureTextRun(lf, candidate.c_str(), (int)candidate.size()).cx;
                if (w <= boxW) break;
            }
            line = cut + L"...";
            width = MeasureTextRun(lf, line.c_str(), (int)line.size()).cx;
        }
        int x = rc->left;
        if (format & DT_CENTER)
            x = rc->left + (boxW - width) / 2;
        else if (format & DT_RIGHT)
            x = rc->right - width;
        if (visible && !IsEmpty(clip)) {
            int sx = x + dc->originX, sy = y + dc->originY;
            if (dc->bkMode == OPAQUE && !line.empty())
                FillBackground(dc, RECT{sx, sy, sx + width, sy + lineHeight}, clip);
            DrawTextRun(*dc->surface, clip, lf, sx, sy, line.c_str(), (int)line.size(), rgb);
        }
        y += lineHeight;
    }
    if (visible) Drew(dc);
    return y - rc->top;
}

BOOL GetTextExtentPoint32(HDC hdc, LPCWSTR text, int len, SIZE* size) {
    DeviceContext* dc = AsDC(hdc);
    if (!dc || !size || len < 0 || (!text && len > 0)) return FALSE;
    *size = MeasureTextRun(FontOf(dc), text ? text : L"", len);
    return TRUE;
}

// ---------------------------------------------------------------------------
// Device facts

int GetDeviceCaps(HDC hdc, int index) {
    if (!AsDC(hdc)) return 0;
    switch (index) {
        case LOGPIXELSX:
        case LOGPIXELSY:
            return 192;
        case BITSPIXEL:
            return 16;
        case HORZRES:
        case VERTRES: {
            int w = 0, h = 0;
            GetScreenSize(&w, &h);
            return index == HORZRES ? w : h;
        }
    }
    return 0;
}

int GetClipBox(HDC hdc, RECT* rc) {
    DeviceContext* dc = AsDC(hdc);
    if (!dc || !rc) return 0;
    RECT area;
    if (!DrawArea(dc, area)) {
        *rc = RECT{0, 0, 0, 0};
        return NULLREGION;
    }
    *rc = Offset(area, -dc->originX, -dc->originY);
    return SIMPLEREGION;
}

// The display is 16-bit: the nearest colour is the one a 5-6-5 pixel gives back.
COLORREF GetNearestColor(HDC hdc, COLORREF c) {
    if (!AsDC(hdc)) return CLR_INVALID;
    return RgbToColorRef(Rgb565ToRgb(RgbTo565(ColorRefToRgb(c))));
}

// ---------------------------------------------------------------------------
// Bitmap and icon resources

HBITMAP LoadBitmap(HINSTANCE instance, LPCWSTR name) {
    if (!name || !IS_INTRESOURCE(name)) return nullptr;
    const BinaryResource* res = FindBinaryResource(instance, (int)(uintptr_t)name, RT_BITMAP);
    if (!res) return nullptr;
    return ToHandle(DecodeBmp(res->data, res->size));
}

HICON LoadIcon(HINSTANCE instance, LPCWSTR name) {
    if (!name || !IS_INTRESOURCE(name)) return nullptr;
    int id = (int)(uintptr_t)name;
    static std::mutex cacheMutex;
    static std::map<std::pair<HINSTANCE, int>, std::unique_ptr<IconObject>> cache;
    std::lock_guard<std::mutex> lock(cacheMutex);
    auto it = cache.find({instance, id});
    if (it != cache.end()) return reinterpret_cast<HICON>(it->second.get());
    const BinaryResource* res = FindBinaryResource(instance, id, RT_ICON);
    if (!res) return nullptr;
    auto icon = std::make_unique<IconObject>();
    if (!DecodePng(res->data, res->size, icon->argb, icon->width, icon->height)) return nullptr;
    HICON handle = reinterpret_cast<HICON>(icon.get());
    cache[{instance, id}] = std::move(icon);
    return handle;
}

BOOL DrawIcon(HDC hdc, int x, int y, HICON h) {
    IconObject* icon = AsIcon(h);
    if (!icon || !AsDC(hdc)) return FALSE;
    return DrawArgb(hdc, RECT{x, y, x + icon->width, y + icon->height}, icon->argb.data(), icon->width, icon->height,
                    icon->width * 4);
}

// ---------------------------------------------------------------------------
// Rectangles

BOOL SetRect(RECT* rc, int l, int t, int r, int b) {
    if (!rc) return FALSE;
    *rc = RECT{l, t, r, b};
    return TRUE;
}

BOOL PtInRect(const RECT* rc, POINT pt) {
    return rc && pt.x >= rc->left && pt.x < rc->right && pt.y >= rc->top && pt.y < rc->bottom;
}

BOOL EqualRect(const RECT* a, const RECT* b) {
    return a && b && a->left == b->left && a->top == b->top && a->right == b->right && a->bottom == b->bottom;
}

BOOL IntersectRect(RECT* out, const RECT* a, const RECT* b) {
    if (!out) return FALSE;
    if (!a || !b) {
        *out = RECT{0, 0, 0, 0};
        return FALSE;
    }
    *out = Intersect(*a, *b);
    return !IsEmpty(*out);
}

BOOL OffsetRect(RECT* rc, int dx, int dy) {
    if (!rc) return FALSE;
    *rc = Offset(*rc, dx, dy);
    return TRUE;
}
