// The software raster under every device context: pixel surfaces of three
// formats and the internal records behind GDI handles. Only platform/ includes it.
#pragma once

#include <cstdint>
#include <string>

#include "platform/win32.h"

namespace platform {

enum class PixelFormat { XRGB32, BGR24, RGB565 };

// A rectangle of pixels. Row y starts at bits + rowOffset(y); bottom-up surfaces
// (DIBs with a positive height) keep their last row first in memory.
struct Surface {
    uint8_t* bits = nullptr;
    int width = 0;
    int height = 0;
    int stride = 0;  // bytes per row, rows 4-byte aligned for DIBs
    PixelFormat format = PixelFormat::XRGB32;
    bool bottomUp = false;
    bool ownsBits = false;

    uint8_t* Row(int y) const { return bits + (size_t)(bottomUp ? height - 1 - y : y) * (size_t)stride; }
    // 0x00RRGGBB of the pixel at (x, y), which must lie inside.
    uint32_t Get(int x, int y) const;
    void Put(int x, int y, uint32_t rgb) const;
    // Lays `rgb` over the pixel with coverage `alpha` (0 leaves it, 255 replaces it).
    void Blend(int x, int y, uint32_t rgb, uint32_t alpha) const;
};

int BytesPerPixel(PixelFormat f);

// Allocates a zeroed surface; false when the size is absurd or memory is short.
bool AllocSurface(Surface& s, int width, int height, PixelFormat format, bool bottomUp);
void FreeSurface(Surface& s);

inline uint32_t ColorRefToRgb(COLORREF c) {
    return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
}
inline COLORREF RgbToColorRef(uint32_t rgb) {
    return RGB((rgb >> 16) & 255, (rgb >> 8) & 255, rgb & 255);
}

enum class GdiKind { Bitmap, Brush, Pen, Font };

constexpr uint32_t kGdiMagic = 0x47444930;  // "GDI0"
constexpr uint32_t kDCMagic = 0x44433030;   // "DC00"

struct GdiObject {
    uint32_t magic = kGdiMagic;
    GdiKind kind;
    bool stock = false;
    // Bitmap
    Surface surface;
    bool isDib = false;
    bool selected = false;
    // Brush, pen
    COLORREF color = 0;
    bool nullStyle = false;
    int penWidth = 1;
    // Font
    LOGFONT logfont{};

    // Objects made by the program live on the heap and are counted (the stock
    // objects are static), so tests can check that code gives back what it made.
    static void* operator new(size_t size);
    static void operator delete(void* p);
};

inline GdiObject* ToGdi(HGDIOBJ h) {
    return reinterpret_cast<GdiObject*>(h);
}
inline HGDIOBJ ToHandle(GdiObject* o) {
    return reinterpret_cast<HGDIOBJ>(o);
}

// A device context draws onto one surface: a window's (through its client
// origin and clip) or a memory DC's selected bitmap.
struct DeviceContext {
    uint32_t magic = kDCMagic;
    Surface* surface = nullptr;  // null for a memory DC with no bitmap
    int originX = 0, originY = 0;
    RECT clip{0, 0, 0, 0};  // in DC coordinates
    bool isMemory = false;
    GdiObject* bitmap = nullptr;  // memory DC: the selected bitmap (the stock 1x1 at first)
    GdiObject* brush = nullptr;
    GdiObject* pen = nullptr;
    GdiObject* font = nullptr;
    COLORREF textColor = RGB(0, 0, 0);
    COLORREF bkColor = RGB(255, 255, 255);
    int bkMode = OPAQUE;
    POINT penPos{0, 0};
};

inline DeviceContext* ToDC(HDC h) {
    return reinterpret_cast<DeviceContext*>(h);
}
inline HDC ToHandle(DeviceContext* d) {
    return reinterpret_cast<HDC>(d);
}

// Window DCs: made by the window manager, released by ReleaseDC/EndPaint.
HDC MakeSurfaceDC(Surface* surface, int originX, int originY, const RECT& clip);
void FreeSurfaceDC(HDC hdc);
// Called whenever a window surface was drawn on, so the backend presents it.
void MarkScreenDirty();
// Size of the whole screen in pixels (the window manager knows it).
void GetScreenSize(int* width, int* height);

// Fonts: draws `text` with its top-left at (x, y) in surface pixels, clipped.
void DrawTextRun(const Surface& s, const RECT& clipAbs, const LOGFONT& font, int x, int y, const wchar_t* text, int len,
                 uint32_t rgb);
// Width and height (line height) of a run.
SIZE MeasureTextRun(const LOGFONT& font, const wchar_t* text, int len);

// Decodes PNG bytes to 32-bit ARGB (B, G, R, A in memory), width*4 stride.
bool DecodePng(const void* data, size_t size, std::basic_string<uint8_t>& argb, int& width, int& height);
// Scales ARGB bilinearly (premultiplied internally) to the new size.
void ScaleArgb(const uint8_t* src, int sw, int sh, uint8_t* dst, int dw, int dh);
// Writes a surface to a PNG file; false on failure.
bool WriteSurfacePng(const Surface& s, const char* path);

}  // namespace platform

namespace platform {

// 16-bit 5-6-5 packing. Expansion shifts left without replicating the high bits,
// so 0x1F becomes 0xF8: the values a 16-bit display shows.
inline uint16_t RgbTo565(uint32_t rgb) {
    return (uint16_t)(((rgb & 0xF8) >> 3) | ((rgb >> 5) & 0x07E0) | ((rgb >> 8) & 0xF800));
}
inline uint32_t Rgb565ToRgb(uint16_t d) {
    return ((uint32_t)(d >> 11) << 19) | ((uint32_t)((d >> 5) & 0x3F) << 10) | ((uint32_t)(d & 0x1F) << 3);
}

// Scales an ARGB picture (sw x sh, srcStride bytes per row) bilinearly to dw x dh,
// but produces only the block [rx, rx + rw) x [ry, ry + rh) of that result, rw * 4
// bytes per row: drawing a large picture into a small visible area stays cheap.
void ScaleArgbRegion(const uint8_t* src, int sw, int sh, int srcStride, int dw, int dh, int rx, int ry, int rw, int rh,
                     uint8_t* out);
// Blends an ARGB picture (straight alpha) scaled to `dst` (DC coordinates) onto the DC.
BOOL DrawArgb(HDC hdc, const RECT& dst, const uint8_t* argb, int sw, int sh, int srcStride);

// Folder the DejaVu font files are read from; drops the cached faces.
void SetFontDirectory(const char* dir);

}  // namespace platform
