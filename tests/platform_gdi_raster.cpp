// Raster behaviour seen through the drawing calls: bitmap memory layouts,
// object lifetime, block transfers, clipping, shapes and bitmap resources.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/raster.h"
#include "platform/resources.h"
#include "platform/win32.h"

namespace {

BITMAPINFO DibInfo(int w, int h, int bpp) {
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = (WORD)bpp;
    bi.bmiHeader.biCompression = BI_RGB;
    if (bpp == 16) {
        bi.bmiHeader.biCompression = BI_BITFIELDS;
        bi.bmiColors[0] = 0xF800, bi.bmiColors[1] = 0x07E0, bi.bmiColors[2] = 0x001F;
    }
    return bi;
}

// A memory DC with a DIB section (or a compatible bitmap when bpp is 0) selected.
struct MemDC {
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = nullptr;
    HGDIOBJ old = nullptr;
    uint8_t* bits = nullptr;

    MemDC(int w, int h, int bpp) {
        if (bpp == 0) {
            bitmap = CreateCompatibleBitmap(dc, w, h);
        } else {
            BITMAPINFO bi = DibInfo(w, h, bpp);
            void* p = nullptr;
            bitmap = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &p, nullptr, 0);
            bits = static_cast<uint8_t*>(p);
        }
        old = SelectObject(dc, bitmap);
    }
    ~MemDC() {
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    void Fill(COLORREF c) const {
        RECT rc{0, 0, 100000, 100000};
        HBRUSH b = CreateSolidBrush(c);
        FillRect(dc, &rc, b);
        DeleteObject(b);
    }
};

struct Px {
    int x, y;
    COLORREF c = 0;
};

void ExpectPixels(HDC dc, const std::vector<Px>& pixels) {
    for (const Px& p : pixels) EXPECT_EQ(GetPixel(dc, p.x, p.y), p.c) << "at " << p.x << "," << p.y;
}

void SetPixels(HDC dc, const std::vector<Px>& pixels) {
    for (const Px& p : pixels) SetPixel(dc, p.x, p.y, p.c);
}

uint16_t Word16(const uint8_t* p) {
    uint16_t v;
    memcpy(&v, p, 2);
    return v;
}

COLORREF Through565(COLORREF c) {
    return RGB(GetRValue(c) & 0xF8, GetGValue(c) & 0xFC, GetBValue(c) & 0xF8);
}

const COLORREF kBlack = RGB(0, 0, 0), kWhite = RGB(255, 255, 255);

// ---------------------------------------------------------------------------
// DIB sections: the memory the caller sees

TEST(GdiDibSection, PixelsLandAtTheRightBytesForEachLayout) {
    struct Case {
        int w, h, bpp, x, y;
        COLORREF colour;
        size_t at;
        std::vector<uint8_t> bytes;
        COLORREF readBack;
    } cases[] = {
        {3, 2, 24, 1, 0, RGB(10, 20, 30), 15, {30, 20, 10}, RGB(10, 20, 30)},   // bottom-up: top row last
        {3, -2, 24, 0, 1, RGB(1, 2, 3), 12, {3, 2, 1}, RGB(1, 2, 3)},           // top-down: rows padded to 12
        {2, 2, 16, 1, 0, RGB(255, 130, 9), 6, {0x01, 0xFC}, RGB(248, 128, 8)},  // 5-6-5, low bits dropped
        {2, -1, 32, 1, 0, RGB(0x12, 0x34, 0x56), 4, {0x56, 0x34, 0x12, 0}, RGB(0x12, 0x34, 0x56)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bpp * 10 + (c.h < 0));
        MemDC m(c.w, c.h, c.bpp);
        ASSERT_NE(m.bits, nullptr);
        SetPixel(m.dc, c.x, c.y, c.colour);
        std::vector<uint8_t> expected((size_t)(((c.w * c.bpp / 8) + 3) & ~3) * std::abs(c.h), 0);
        std::copy(c.bytes.begin(), c.bytes.end(), expected.begin() + c.at);
        EXPECT_EQ(std::vector<uint8_t>(m.bits, m.bits + expected.size()), expected);
        EXPECT_EQ(GetPixel(m.dc, c.x, c.y), c.readBack);
    }
}

TEST(GdiDibSection, UnsupportedLayoutsAreRefused) {
    BITMAPINFO eight = DibInfo(4, 4, 8), rgb555 = DibInfo(4, 4, 16), plain16 = DibInfo(4, 4, 16);
    rgb555.bmiColors[0] = 0x7C00, rgb555.bmiColors[1] = 0x03E0;
    plain16.bmiHeader.biCompression = BI_RGB;
    BITMAPINFO noWidth = DibInfo(0, 4, 24), huge = DibInfo(20000, 4, 24);
    for (BITMAPINFO* bi : {&eight, &rgb555, &plain16, &noWidth, &huge}) {
        void* bits = reinterpret_cast<void*>(1);
        EXPECT_EQ(CreateDIBSection(nullptr, bi, DIB_RGB_COLORS, &bits, nullptr, 0), nullptr);
        EXPECT_EQ(bits, nullptr);
    }
    EXPECT_EQ(CreateDIBSection(nullptr, nullptr, DIB_RGB_COLORS, nullptr, nullptr, 0), nullptr);
}

TEST(GdiDibSection, GetObjectReportsSizeDepthAndPaddedRowBytes) {
    BITMAPINFO bi = DibInfo(5, -3, 24);
    void* bits = nullptr;
    HBITMAP bm = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    BITMAP info{};
    ASSERT_EQ(GetObject(bm, sizeof info, &info), (int)sizeof info);
    EXPECT_EQ(info.bmWidth, 5);
    EXPECT_EQ(info.bmHeight, 3);
    EXPECT_EQ(info.bmBitsPixel, 24);
    EXPECT_EQ(info.bmWidthBytes, 16);
    EXPECT_EQ(info.bmBits, bits);
    DeleteObject(bm);

    HBITMAP compat = CreateCompatibleBitmap(nullptr, 7, 2);
    ASSERT_EQ(GetObject(compat, sizeof info, &info), (int)sizeof info);
    EXPECT_EQ(info.bmWidth, 7);
    EXPECT_EQ(info.bmBitsPixel, 32);
    DeleteObject(compat);
}

TEST(GdiDibSection, CompatibleBitmapStartsBlack) {
    MemDC m(3, 3, 0);
    ExpectPixels(m.dc, {{2, 2, kBlack}, {3, 0, CLR_INVALID}});
}

// ---------------------------------------------------------------------------
// Object lifetime

TEST(GdiObjects, BitmapIsBusyWhileSelectedIntoADC) {
    HDC a = CreateCompatibleDC(nullptr), b = CreateCompatibleDC(nullptr);
    HBITMAP bm = CreateCompatibleBitmap(a, 2, 2);
    HGDIOBJ oldA = SelectObject(a, bm);
    ASSERT_NE(oldA, nullptr);
    EXPECT_FALSE(DeleteObject(bm));
    EXPECT_EQ(SelectObject(b, bm), nullptr);  // one DC at a time
    EXPECT_EQ(SelectObject(a, oldA), bm);
    EXPECT_NE(SelectObject(b, bm), nullptr);
    DeleteDC(b);  // deleting the DC releases its bitmap
    EXPECT_TRUE(DeleteObject(bm));
    EXPECT_TRUE(DeleteDC(a));
}

TEST(GdiObjects, SelectObjectReturnsThePreviousObjectOfTheSameKind) {
    HDC dc = CreateCompatibleDC(nullptr);
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(0, 0, 255));
    EXPECT_EQ(SelectObject(dc, red), GetStockObject(WHITE_BRUSH));
    EXPECT_EQ(SelectObject(dc, pen), GetStockObject(BLACK_PEN));
    EXPECT_EQ(SelectObject(dc, GetStockObject(NULL_BRUSH)), red);
    EXPECT_FALSE(DeleteObject(pen));  // still selected
    EXPECT_EQ(SelectObject(dc, GetStockObject(BLACK_PEN)), pen);
    EXPECT_TRUE(DeleteObject(pen));
    EXPECT_TRUE(DeleteObject(red));
    DeleteDC(dc);
}

TEST(GdiObjects, StockObjectsSurviveDeleteObject) {
    for (int which : {WHITE_BRUSH, LTGRAY_BRUSH, GRAY_BRUSH, DKGRAY_BRUSH, BLACK_BRUSH, NULL_BRUSH, WHITE_PEN,
                      BLACK_PEN, NULL_PEN, SYSTEM_FONT}) {
        HGDIOBJ obj = GetStockObject(which);
        ASSERT_NE(obj, nullptr) << which;
        EXPECT_FALSE(DeleteObject(obj)) << which;
        EXPECT_EQ(GetStockObject(which), obj);
    }
    EXPECT_EQ(GetStockObject(9), nullptr);
}

TEST(GdiObjects, NullAndWrongHandlesFailQuietly) {
    RECT rc{0, 0, 1, 1};
    SIZE size;
    HDC dc = CreateCompatibleDC(nullptr);
    HBRUSH brush = CreateSolidBrush(0);
    EXPECT_FALSE(DeleteDC(nullptr));
    EXPECT_FALSE(DeleteObject(nullptr));
    EXPECT_EQ(SelectObject(nullptr, brush), nullptr);
    EXPECT_EQ(SelectObject(dc, nullptr), nullptr);
    EXPECT_EQ(FillRect(nullptr, &rc, brush), 0);
    EXPECT_EQ(FillRect(dc, &rc, nullptr), 0);
    EXPECT_EQ(FillRect(dc, &rc, reinterpret_cast<HBRUSH>(GetStockObject(BLACK_PEN))), 0);
    EXPECT_FALSE(BitBlt(nullptr, 0, 0, 1, 1, dc, 0, 0, SRCCOPY));
    EXPECT_FALSE(BitBlt(dc, 0, 0, 1, 1, nullptr, 0, 0, SRCCOPY));
    EXPECT_FALSE(TransparentImage(dc, 0, 0, 1, 1, nullptr, 0, 0, 1, 1, 0));
    EXPECT_EQ(GetPixel(nullptr, 0, 0), CLR_INVALID);
    EXPECT_FALSE(GetTextExtentPoint32(nullptr, L"a", 1, &size));
    EXPECT_EQ(GetDeviceCaps(nullptr, LOGPIXELSX), 0);
    EXPECT_EQ(GetClipBox(nullptr, &rc), 0);
    EXPECT_FALSE(LineTo(nullptr, 1, 1));
    EXPECT_FALSE(DrawIcon(dc, 0, 0, nullptr));
    EXPECT_EQ(DrawText(nullptr, L"a", 1, &rc, 0), 0);
    DeleteObject(brush);
    DeleteDC(dc);
}

// ---------------------------------------------------------------------------
// StretchDIBits

TEST(GdiStretchDIBits, TopDown24BitEnlargedIntoBottomUp565LandsNearestPixels) {
    const int sw = 4, sh = 2, stride = 12;  // every source pixel a different colour
    std::vector<uint8_t> src(stride * sh);
    auto colour = [](int x, int y) { return RGB(40 * x + 8, 100 * y + 16, 200 - 40 * x); };
    for (int y = 0; y < sh; y++)
        for (int x = 0; x < sw; x++) {
            uint8_t* p = &src[y * stride + x * 3];
            p[0] = GetBValue(colour(x, y)), p[1] = GetGValue(colour(x, y)), p[2] = GetRValue(colour(x, y));
        }
    BITMAPINFO bi = DibInfo(sw, -sh, 24);
    MemDC m(8, 4, 16);
    ASSERT_NE(m.bits, nullptr);
    EXPECT_EQ(StretchDIBits(m.dc, 0, 0, 8, 4, 0, 0, sw, sh, src.data(), &bi, DIB_RGB_COLORS, SRCCOPY), 4);
    for (int y = 0; y < 4; y++)
        for (int x = 0; x < 8; x++) EXPECT_EQ(GetPixel(m.dc, x, y), Through565(colour(x / 2, y / 2))) << x << "," << y;
    // The top-left destination pixel sits in the last row of the bottom-up memory.
    EXPECT_EQ(Word16(m.bits + 3 * 16), ((8 >> 3) << 11) | ((16 >> 2) << 5) | (200 >> 3));
}

TEST(GdiStretchDIBits, ShrinkingPicksEveryNthSourceColumn) {
    uint32_t src[6] = {1, 2, 3, 4, 5, 6};
    BITMAPINFO bi = DibInfo(6, -1, 32);
    MemDC m(3, 1, 0);
    StretchDIBits(m.dc, 0, 0, 3, 1, 0, 0, 6, 1, src, &bi, DIB_RGB_COLORS, SRCCOPY);
    ExpectPixels(m.dc, {{0, 0, RGB(0, 0, 1)}, {1, 0, RGB(0, 0, 3)}, {2, 0, RGB(0, 0, 5)}});
}

TEST(GdiStretchDIBits, BottomUpSourceCountsYSrcFromTheBottomRow) {
    uint32_t src[4] = {4, 3, 2, 1};  // 1 x 4 bottom-up: memory row k holds image row 3 - k, colour = row + 1
    BITMAPINFO bi = DibInfo(1, 4, 32);
    MemDC m(1, 1, 0);
    StretchDIBits(m.dc, 0, 0, 1, 1, 0, 0, 1, 1, src, &bi, DIB_RGB_COLORS, SRCCOPY);
    EXPECT_EQ(GetPixel(m.dc, 0, 0), RGB(0, 0, 4));  // the bottom image row
    StretchDIBits(m.dc, 0, 0, 1, 1, 0, 3, 1, 1, src, &bi, DIB_RGB_COLORS, SRCCOPY);
    EXPECT_EQ(GetPixel(m.dc, 0, 0), RGB(0, 0, 1));  // the top image row
}

TEST(GdiStretchDIBits, Rgb565SourceIntoXrgbDestination) {
    uint16_t src[2] = {0xF800, 0x001F};
    BITMAPINFO bi = DibInfo(2, -1, 16);
    MemDC m(2, 1, 0);
    StretchDIBits(m.dc, 0, 0, 2, 1, 0, 0, 2, 1, src, &bi, DIB_RGB_COLORS, SRCCOPY);
    ExpectPixels(m.dc, {{0, 0, RGB(248, 0, 0)}, {1, 0, RGB(0, 0, 248)}});
}

TEST(GdiStretchDIBits, CountsOnlyTheRowsDrawnAndRefusesOtherRops) {
    uint32_t src[4] = {1, 2, 3, 4};
    BITMAPINFO bi = DibInfo(1, -4, 32);
    MemDC m(2, 2, 0);
    EXPECT_EQ(StretchDIBits(m.dc, 0, -1, 1, 4, 0, 0, 1, 4, src, &bi, DIB_RGB_COLORS, SRCCOPY), 2);
    EXPECT_EQ(GetPixel(m.dc, 0, 0), RGB(0, 0, 2));
    EXPECT_EQ(StretchDIBits(m.dc, 0, 0, 1, 1, 0, 0, 1, 1, src, &bi, DIB_RGB_COLORS, 0x00EE0086), 0);
    EXPECT_EQ(StretchDIBits(m.dc, 5, 5, 1, 1, 0, 0, 1, 1, src, &bi, DIB_RGB_COLORS, SRCCOPY), 0);
}

// ---------------------------------------------------------------------------
// Clipping: a window DC over memory the test owns, with guard bytes around it.

struct GuardedSurface {
    static constexpr int kGuard = 64;
    static constexpr uint8_t kCanary = 0xA5;
    std::vector<uint8_t> memory;
    platform::Surface surface;
    int used;  // bytes of pixels in a row; the rest is padding

    GuardedSurface(int w, int h, platform::PixelFormat format, bool bottomUp)
        : used(w * platform::BytesPerPixel(format)) {
        surface.stride = (used + 3) & ~3;
        memory.assign((size_t)(kGuard * 2 + surface.stride * h), kCanary);
        surface.bits = memory.data() + kGuard;
        surface.width = w, surface.height = h, surface.format = format, surface.bottomUp = bottomUp;
        for (int y = 0; y < h; y++) memset(surface.Row(y), 0, (size_t)used);
    }
    bool CanariesIntact() const {
        for (int i = 0; i < kGuard; i++)
            if (memory[i] != kCanary || memory[memory.size() - 1 - i] != kCanary) return false;
        for (int y = 0; y < surface.height; y++)
            for (int b = used; b < surface.stride; b++)
                if (surface.Row(y)[b] != kCanary) return false;
        return true;
    }
};

void DrawEverywhere(HDC dc) {
    HBRUSH brush = CreateSolidBrush(RGB(200, 10, 10));
    HPEN pen = CreatePen(PS_SOLID, 5, RGB(10, 200, 10));
    RECT huge{-1000, -1000, 1000, 1000};
    FillRect(dc, &huge, brush);
    HGDIOBJ oldPen = SelectObject(dc, pen), oldBrush = SelectObject(dc, brush);
    Rectangle(dc, -3, -3, 40, 40);
    MoveToEx(dc, -50, -20, nullptr);
    LineTo(dc, 60, 30);
    LineTo(dc, -100000, 100000);
    SetPixel(dc, -1, 0, RGB(1, 2, 3));
    SetPixel(dc, 1000, 0, RGB(1, 2, 3));
    std::vector<uint32_t> src(16 * 16, 0x3366FF);
    BITMAPINFO bi = DibInfo(16, 16, 32);
    StretchDIBits(dc, -5, -5, 100, 100, 0, 0, 16, 16, src.data(), &bi, DIB_RGB_COLORS, SRCCOPY);
    MemDC big(64, 64, 0);
    big.Fill(RGB(9, 9, 200));
    BitBlt(dc, -7, -7, 64, 64, big.dc, 0, 0, SRCCOPY);
    StretchBlt(dc, -20, -20, 200, 200, big.dc, 0, 0, 64, 64, SRCCOPY);
    TransparentImage(dc, -20, -20, 200, 200, big.bitmap, 0, 0, 64, 64, RGB(1, 1, 1));
    SetBkMode(dc, OPAQUE);
    SetTextColor(dc, RGB(0, 0, 200));
    ExtTextOut(dc, -8, -6, ETO_OPAQUE, &huge, L"WWWWWWWW", 8, nullptr);
    RECT box{-10, -10, 50, 50};
    DrawText(dc, L"Clipped text", -1, &box, DT_NOCLIP);
    SelectObject(dc, oldPen);
    SelectObject(dc, oldBrush);
    DeleteObject(pen);
    DeleteObject(brush);
}

TEST(GdiClipping, DrawingPastTheSurfaceEdgesWritesOnlyInsideIt) {
    // Widths chosen so each row has padding: 7 * 3 = 21 bytes, 5 * 2 = 10 bytes.
    for (auto [w, format] : {std::pair{7, platform::PixelFormat::BGR24}, std::pair{5, platform::PixelFormat::RGB565}})
        for (bool bottomUp : {false, true}) {
            SCOPED_TRACE(testing::Message() << "width " << w << " bottomUp " << bottomUp);
            GuardedSurface g(w, 4, format, bottomUp);
            HDC dc = platform::MakeSurfaceDC(&g.surface, 0, 0, RECT{-100, -100, 100, 100});
            DrawEverywhere(dc);
            EXPECT_TRUE(g.CanariesIntact());
            platform::FreeSurfaceDC(dc);
        }
}

TEST(GdiClipping, WindowDCDrawsOnlyInsideItsClipAtItsOrigin) {
    GuardedSurface g(12, 10, platform::PixelFormat::BGR24, false);
    // The DC's (0, 0) is surface pixel (3, 2); it may draw on DC pixels [0, 5) x [0, 4).
    HDC dc = platform::MakeSurfaceDC(&g.surface, 3, 2, RECT{0, 0, 5, 4});
    DrawEverywhere(dc);
    for (int y = 0; y < 10; y++)
        for (int x = 0; x < 12; x++)
            EXPECT_EQ(g.surface.Get(x, y) != 0, x >= 3 && x < 8 && y >= 2 && y < 6) << x << "," << y;
    RECT box, clip{0, 0, 5, 4};
    EXPECT_EQ(GetClipBox(dc, &box), SIMPLEREGION);
    EXPECT_TRUE(EqualRect(&box, &clip));
    EXPECT_EQ(GetPixel(dc, 5, 0), CLR_INVALID);
    platform::FreeSurfaceDC(dc);

    MemDC m(9, 4, 0);  // a memory DC's clip box is its bitmap
    RECT bitmapRect{0, 0, 9, 4};
    EXPECT_EQ(GetClipBox(m.dc, &box), SIMPLEREGION);
    EXPECT_TRUE(EqualRect(&box, &bitmapRect));
}

// ---------------------------------------------------------------------------
// Fills and shapes

TEST(GdiFillRect, FillsTheRectangleClippedWithRightAndBottomExclusive) {
    MemDC m(4, 4, 0);
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    RECT rc{-2, 1, 2, 3};
    EXPECT_NE(FillRect(m.dc, &rc, red), 0);
    for (int y = 0; y < 4; y++)
        for (int x = 0; x < 4; x++)
            EXPECT_EQ(GetPixel(m.dc, x, y), x < 2 && y >= 1 && y < 3 ? RGB(255, 0, 0) : kBlack) << x << "," << y;
    DeleteObject(red);
    RECT all{0, 0, 4, 4};
    FillRect(m.dc, &all, GetStockObject(NULL_BRUSH));  // the null brush leaves pixels alone
    ExpectPixels(m.dc, {{0, 1, RGB(255, 0, 0)}, {3, 3, kBlack}});
}

TEST(GdiShapes, RectangleOutlinesWithThePenAndFillsWithTheBrush) {
    const COLORREF red = RGB(255, 0, 0), blue = RGB(0, 0, 255);
    MemDC m(6, 6, 0);
    HPEN pen = CreatePen(PS_SOLID, 1, red);
    HBRUSH brush = CreateSolidBrush(blue);
    SelectObject(m.dc, pen);
    HGDIOBJ oldBrush = SelectObject(m.dc, brush);
    Rectangle(m.dc, 1, 1, 5, 5);
    ExpectPixels(m.dc,
                 {{1, 1, red}, {4, 4, red}, {4, 2, red}, {2, 2, blue}, {3, 3, blue}, {5, 5, kBlack}, {0, 0, kBlack}});
    // Without a pen the fill stops one short of the right and bottom edges.
    m.Fill(kBlack);
    SelectObject(m.dc, GetStockObject(NULL_PEN));
    Rectangle(m.dc, 1, 1, 5, 5);
    ExpectPixels(m.dc, {{1, 1, blue}, {3, 3, blue}, {4, 4, kBlack}});
    SelectObject(m.dc, oldBrush);
    DeleteObject(pen);
    DeleteObject(brush);
}

TEST(GdiShapes, LinesLeaveOutTheirEndPointMoveThePenAndClipToTheSurface) {
    struct Case {
        int penWidth, x0, y0, x1, y1;
        std::vector<Px> inked, bare;
    } cases[] = {
        {1, 1, 2, 6, 2, {{1, 2}, {3, 2}, {5, 2}}, {{0, 2}, {6, 2}, {3, 1}, {3, 3}}},
        {1, 0, 0, 5, 5, {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 4}}, {{5, 5}, {1, 0}}},
        {3, 2, 5, 8, 5, {{4, 4}, {4, 6}}, {{4, 3}, {4, 7}}},  // a square around each point
        {1, -2000000000, 1, 2000000000, 1, {{0, 1}, {4, 1}, {9, 1}}, {{2, 0}, {2, 2}}},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.x0 << "," << c.y0 << " to " << c.x1 << "," << c.y1);
        MemDC m(10, 10, 0);
        HPEN pen = CreatePen(PS_SOLID, c.penWidth, kWhite);
        HGDIOBJ oldPen = SelectObject(m.dc, pen);
        MoveToEx(m.dc, c.x0, c.y0, nullptr);
        LineTo(m.dc, c.x1, c.y1);
        POINT at;
        MoveToEx(m.dc, 0, 0, &at);
        EXPECT_EQ(at.x, c.x1);
        EXPECT_EQ(at.y, c.y1);
        for (Px& p : c.inked) p.c = kWhite;
        for (Px& p : c.bare) p.c = kBlack;
        ExpectPixels(m.dc, c.inked);
        ExpectPixels(m.dc, c.bare);
        SelectObject(m.dc, oldPen);
        DeleteObject(pen);
    }
}

TEST(GdiShapes, ShallowLineStepsOneRowAtTheMidpoint) {
    MemDC m(8, 3, 0);
    SelectObject(m.dc, GetStockObject(WHITE_PEN));
    MoveToEx(m.dc, 0, 0, nullptr);
    LineTo(m.dc, 8, 2);
    int perRow[3] = {0, 0, 0};
    for (int y = 0; y < 3; y++)
        for (int x = 0; x < 8; x++) perRow[y] += GetPixel(m.dc, x, y) == kWhite;
    EXPECT_EQ(perRow[0] + perRow[1] + perRow[2], 8);  // one pixel a column, end point left out
    EXPECT_GE(perRow[1], 3);
    ExpectPixels(m.dc, {{0, 0, kWhite}, {4, 1, kWhite}});
}

// ---------------------------------------------------------------------------
// Transfers between DCs

TEST(GdiBitBlt, CopiesABlockBetweenDCsOfDifferentFormats) {
    MemDC src(4, 4, 0);
    SetPixels(src.dc, {{1, 1, RGB(255, 128, 64)}, {2, 1, RGB(10, 20, 30)}});
    MemDC dst(6, 6, 16);
    EXPECT_TRUE(BitBlt(dst.dc, 3, 2, 2, 1, src.dc, 1, 1, SRCCOPY));
    ExpectPixels(
        dst.dc,
        {{3, 2, Through565(RGB(255, 128, 64))}, {4, 2, Through565(RGB(10, 20, 30))}, {5, 2, kBlack}, {3, 3, kBlack}});
    MemDC dst24(3, 3, 24);
    BitBlt(dst24.dc, 0, 0, 3, 3, src.dc, 0, 0, SRCCOPY);
    EXPECT_EQ(GetPixel(dst24.dc, 1, 1), RGB(255, 128, 64));
}

TEST(GdiBitBlt, ScrollingWithinOneBitmapDoesNotSmear) {
    MemDC m(5, 1, 0);
    for (int x = 0; x < 5; x++) SetPixel(m.dc, x, 0, RGB(x + 1, 0, 0));
    BitBlt(m.dc, 1, 0, 4, 1, m.dc, 0, 0, SRCCOPY);
    for (int x = 1; x < 5; x++) EXPECT_EQ(GetPixel(m.dc, x, 0), RGB(x, 0, 0)) << x;
}

TEST(GdiBitBlt, PixelsBeyondTheSourceLeaveTheDestinationAlone) {
    const COLORREF grey = RGB(1, 1, 1), navy = RGB(0, 0, 99);
    MemDC src(2, -2, 32);
    src.Fill(grey);
    SetPixel(src.dc, 0, 1, RGB(200, 0, 0));  // what reading past row 0's end would find
    MemDC dst(4, 3, 0);
    dst.Fill(navy);
    BitBlt(dst.dc, 0, 0, 4, 3, src.dc, 0, 0, SRCCOPY);
    ExpectPixels(dst.dc, {{1, 0, grey}, {2, 0, navy}, {3, 0, navy}, {0, 2, navy}});
}

TEST(GdiBitBlt, StretchBltDoublesPixels) {
    MemDC src(2, 1, 0);
    SetPixels(src.dc, {{0, 0, RGB(255, 0, 0)}, {1, 0, RGB(0, 255, 0)}});
    MemDC dst(4, 2, 32);
    StretchBlt(dst.dc, 0, 0, 4, 2, src.dc, 0, 0, 2, 1, SRCCOPY);
    ExpectPixels(dst.dc, {{1, 1, RGB(255, 0, 0)}, {2, 0, RGB(0, 255, 0)}, {3, 1, RGB(0, 255, 0)}});
}

TEST(GdiTransparentImage, SkipsPixelsOfTheKeyColour) {
    const COLORREF key = RGB(255, 0, 255), bg = RGB(9, 9, 9), grey = RGB(7, 7, 7), near = RGB(255, 250, 255);
    const COLORREF bg565 = Through565(bg), grey565 = Through565(grey);
    struct Case {
        int srcBpp;
        std::vector<COLORREF> src;  // one row
        SIZE dst;
        int dstBpp;
        bool fromBitmap;
        COLORREF key;
        std::vector<Px> expected;
    } cases[] = {
        {0, {key, RGB(1, 2, 3), key}, {3, 1}, 0, false, key, {{0, 0, bg}, {1, 0, RGB(1, 2, 3)}, {2, 0, bg}}},
        // From a bitmap handle while stretching onto a 16-bit destination.
        {0, {key, grey}, {4, 2}, 16, true, key, {{0, 1, bg565}, {1, 0, bg565}, {2, 1, grey565}}},
        // A 16-bit source matches the key by its packed value, which only its first pixel shares.
        {16, {near, kWhite}, {2, 1}, 0, false, near, {{0, 0, bg}, {1, 0, RGB(248, 252, 248)}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(&c - cases);
        const int sw = (int)c.src.size(), dw = c.dst.cx, dh = c.dst.cy;
        MemDC src(sw, 1, c.srcBpp), dst(dw, dh, c.dstBpp);
        for (int x = 0; x < sw; x++) SetPixel(src.dc, x, 0, c.src[x]);
        dst.Fill(bg);
        EXPECT_TRUE(c.fromBitmap ? TransparentImage(dst.dc, 0, 0, dw, dh, src.bitmap, 0, 0, sw, 1, c.key)
                                 : TransparentImage(dst.dc, 0, 0, dw, dh, src.dc, 0, 0, sw, 1, c.key));
        ExpectPixels(dst.dc, c.expected);
    }
}

// ---------------------------------------------------------------------------
// Display facts

TEST(GdiDevice, ReportsHighDpiSixteenBitScreenWithItsNearestColours) {
    HDC dc = CreateCompatibleDC(nullptr);
    EXPECT_EQ(GetNearestColor(dc, RGB(255, 250, 255)), RGB(248, 248, 248));
    EXPECT_EQ(GetNearestColor(dc, RGB(7, 3, 7)), kBlack);
    EXPECT_EQ(GetNearestColor(dc, RGB(8, 4, 8)), RGB(8, 4, 8));
    EXPECT_EQ(GetNearestColor(nullptr, 0), CLR_INVALID);
    int w = 0, h = 0;
    platform::GetScreenSize(&w, &h);
    EXPECT_EQ(GetDeviceCaps(dc, LOGPIXELSX), 192);
    EXPECT_EQ(GetDeviceCaps(dc, LOGPIXELSY), 192);
    EXPECT_EQ(GetDeviceCaps(dc, BITSPIXEL), 16);
    EXPECT_EQ(GetDeviceCaps(dc, HORZRES), w);
    EXPECT_EQ(GetDeviceCaps(dc, VERTRES), h);
    DeleteDC(dc);
}

TEST(GdiRectangles, IntersectionAndHitTesting) {
    RECT a{0, 0, 10, 10}, b{5, 5, 20, 20}, out, expect{5, 5, 10, 10}, far{10, 0, 12, 5};
    EXPECT_TRUE(IntersectRect(&out, &a, &b));
    EXPECT_TRUE(EqualRect(&out, &expect));
    EXPECT_FALSE(IntersectRect(&out, &a, &far));  // touching edges do not overlap
    EXPECT_EQ(out.left | out.top | out.right | out.bottom, 0);
    EXPECT_TRUE(PtInRect(&a, POINT{0, 9}));
    EXPECT_FALSE(PtInRect(&a, POINT{10, 5}));
    OffsetRect(&a, 3, -2);
    EXPECT_EQ(a.left, 3);
    EXPECT_EQ(a.bottom, 8);
}

// ---------------------------------------------------------------------------
// Bitmap resources

// A BMP file of 24- or 32-bit pixels; a negative height makes it top-down.
std::vector<unsigned char> MakeBmp(int w, int h, int bpp, const std::vector<uint32_t>& topDownPixels) {
    int stride = (w * bpp / 8 + 3) & ~3, rows = std::abs(h);
    const uint32_t offBits = 14 + 40;
    std::vector<unsigned char> f(offBits + (size_t)stride * rows, 0);
    auto put32 = [&](size_t at, uint32_t v) { memcpy(&f[at], &v, 4); };  // little-endian host
    f[0] = 'B', f[1] = 'M', f[26] = 1, f[28] = (unsigned char)bpp;
    put32(2, (uint32_t)f.size());
    put32(10, offBits);
    put32(14, 40);
    put32(18, (uint32_t)w);
    put32(22, (uint32_t)h);
    for (int y = 0; y < rows; y++)
        for (int x = 0; x < w; x++)
            memcpy(&f[offBits + (size_t)(h > 0 ? rows - 1 - y : y) * stride + (size_t)x * (bpp / 8)],
                   &topDownPixels[(size_t)y * w + x], 3);
    return f;
}

TEST(GdiLoadBitmap, DecodesBottomUp24And32BitBmpResources) {
    std::vector<uint32_t> px = {0xFF0000, 0x00FF00, 0x0000FF, 0x102030, 0x405060, 0x708090};
    std::vector<unsigned char> bmp24 = MakeBmp(3, 2, 24, px), bmp32 = MakeBmp(3, -2, 32, px);
    std::vector<unsigned char> truncated(bmp24.begin(), bmp24.end() - 4);
    platform::BinaryResource binaries[] = {
        {RT_BITMAP, 10, bmp24.data(), bmp24.size()},
        {RT_BITMAP, 11, bmp32.data(), bmp32.size()},
        {RT_BITMAP, 12, truncated.data(), truncated.size()},
    };
    platform::ResourceModule module{};
    module.binaries = binaries;
    module.binaryCount = 3;
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(0x5150);
    platform::RegisterResourceModule(instance, &module);

    for (int id : {10, 11}) {
        SCOPED_TRACE(id);
        HBITMAP bm = LoadBitmap(instance, MAKEINTRESOURCE(id));
        ASSERT_NE(bm, nullptr);
        BITMAP info{};
        GetObject(bm, sizeof info, &info);
        EXPECT_EQ(info.bmWidth, 3);
        EXPECT_EQ(info.bmHeight, 2);
        HDC dc = CreateCompatibleDC(nullptr);
        HGDIOBJ old = SelectObject(dc, bm);
        ExpectPixels(dc, {{0, 0, RGB(255, 0, 0)}, {2, 0, RGB(0, 0, 255)}, {2, 1, RGB(0x70, 0x80, 0x90)}});
        SelectObject(dc, old);
        DeleteDC(dc);
        EXPECT_TRUE(DeleteObject(bm));
    }
    EXPECT_EQ(LoadBitmap(instance, MAKEINTRESOURCE(12)), nullptr);
    EXPECT_EQ(LoadBitmap(instance, MAKEINTRESOURCE(99)), nullptr);
}

}  // namespace
