// Raster behaviour seen through the drawing calls: bitmap memory layouts,
// object lifetime, block transfers, clipping, shapes and bitmap resources.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/raster.h"
#include "platform/resources.h"
#include "platform/win32.h"

namespace {

// A negative height makes the DIB top-down; 16 bits are 5-6-5 bitfields.
BITMAPINFO DibInfo(int w, int h, int bpp) {
    DWORD compression = bpp == 16 ? BI_BITFIELDS : BI_RGB;
    return {{sizeof(BITMAPINFOHEADER), w, h, 1, (WORD)bpp, compression, 0, 0, 0, 0, 0}, {0xF800, 0x07E0, 0x001F, 0}};
}

// A memory DC with a DIB section (or a compatible bitmap when bpp is 0) selected.
struct MemDC {
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap;
    HGDIOBJ old;
    uint8_t* bits = nullptr;

    MemDC(int w, int h, int bpp) {
        BITMAPINFO bi = DibInfo(w, h, bpp);
        void* p = nullptr;
        bitmap = bpp ? CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &p, nullptr, 0) : CreateCompatibleBitmap(dc, w, h);
        bits = static_cast<uint8_t*>(p);
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

COLORREF In565(COLORREF c) {
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
        SCOPED_TRACE(&c - cases);
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

TEST(GdiDibSection, GetObjectReportsSizeDepthRowBytesAndOnlyDibBits) {
    MemDC dib(5, -3, 24), compat(7, 2, 0);
    BITMAP info{};
    ASSERT_EQ(GetObject(dib.bitmap, sizeof info, &info), (int)sizeof info);
    EXPECT_EQ((std::array<LONG, 4>{info.bmWidth, info.bmHeight, info.bmWidthBytes, info.bmBitsPixel}),
              (std::array<LONG, 4>{5, 3, 16, 24}));
    EXPECT_EQ(info.bmBits, dib.bits);
    ASSERT_EQ(GetObject(compat.bitmap, sizeof info, &info), (int)sizeof info);
    EXPECT_EQ((std::array<LONG, 4>{info.bmWidth, info.bmHeight, info.bmWidthBytes, info.bmBitsPixel}),
              (std::array<LONG, 4>{7, 2, 28, 32}));
    EXPECT_EQ(info.bmBits, nullptr);
}

// ---------------------------------------------------------------------------
// Object lifetime

TEST(GdiObjects, SelectedObjectsAreBusyAndSelectingReturnsThePreviousOneOfItsKind) {
    HDC a = CreateCompatibleDC(nullptr), b = CreateCompatibleDC(nullptr);
    HBITMAP bm = CreateCompatibleBitmap(a, 2, 2);
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(0, 0, 255));
    HGDIOBJ oldA = SelectObject(a, bm);
    ASSERT_NE(oldA, nullptr);
    EXPECT_EQ(SelectObject(a, red), GetStockObject(WHITE_BRUSH));
    EXPECT_EQ(SelectObject(a, pen), GetStockObject(BLACK_PEN));
    EXPECT_EQ(SelectObject(a, GetStockObject(NULL_BRUSH)), red);
    EXPECT_FALSE(DeleteObject(bm));
    EXPECT_FALSE(DeleteObject(pen));
    EXPECT_EQ(SelectObject(b, bm), nullptr);  // a bitmap lives in one DC at a time
    EXPECT_EQ(SelectObject(a, oldA), bm);
    EXPECT_EQ(SelectObject(a, GetStockObject(BLACK_PEN)), pen);
    EXPECT_NE(SelectObject(b, bm), nullptr);
    DeleteDC(b);  // deleting the DC releases its bitmap
    EXPECT_TRUE(DeleteObject(bm));
    EXPECT_TRUE(DeleteObject(pen));
    EXPECT_TRUE(DeleteObject(red));
    EXPECT_TRUE(DeleteDC(a));
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
    HBRUSH brush = CreateSolidBrush(0), pen = reinterpret_cast<HBRUSH>(GetStockObject(BLACK_PEN));
    EXPECT_FALSE(DeleteDC(nullptr) || DeleteObject(nullptr) || LineTo(nullptr, 1, 1) || DrawIcon(dc, 0, 0, nullptr) ||
                 GetTextExtentPoint32(nullptr, L"a", 1, &size));
    EXPECT_FALSE(BitBlt(nullptr, 0, 0, 1, 1, dc, 0, 0, SRCCOPY) || BitBlt(dc, 0, 0, 1, 1, nullptr, 0, 0, SRCCOPY) ||
                 TransparentImage(dc, 0, 0, 1, 1, nullptr, 0, 0, 1, 1, 0));
    EXPECT_FALSE(FillRect(nullptr, &rc, brush) || FillRect(dc, &rc, nullptr) || FillRect(dc, &rc, pen) ||
                 GetDeviceCaps(nullptr, LOGPIXELSX) || GetClipBox(nullptr, &rc) || DrawText(nullptr, L"a", 1, &rc, 0));
    EXPECT_EQ(SelectObject(nullptr, brush), nullptr);
    EXPECT_EQ(SelectObject(dc, nullptr), nullptr);
    EXPECT_EQ(GetPixel(nullptr, 0, 0), CLR_INVALID);
    DeleteObject(brush);
    DeleteDC(dc);
}

// ---------------------------------------------------------------------------
// StretchDIBits

TEST(GdiStretchDIBits, TopDown24BitEnlargedIntoBottomUp565LandsNearestPixels) {
    auto colour = [](int x, int y) { return RGB(40 * x + 8, 100 * y + 16, 200 - 40 * x); };  // all different
    std::vector<uint8_t> src(12 * 2);                                                        // 4 x 2, rows of 12
    for (int i = 0; i < 8; i++) {
        COLORREF c = colour(i % 4, i / 4);
        uint8_t* p = &src[i / 4 * 12 + i % 4 * 3];
        p[0] = GetBValue(c), p[1] = GetGValue(c), p[2] = GetRValue(c);
    }
    BITMAPINFO bi = DibInfo(4, -2, 24);
    MemDC m(8, 4, 16);
    EXPECT_EQ(StretchDIBits(m.dc, 0, 0, 8, 4, 0, 0, 4, 2, src.data(), &bi, DIB_RGB_COLORS, SRCCOPY), 4);
    for (int y = 0; y < 4; y++)
        for (int x = 0; x < 8; x++) EXPECT_EQ(GetPixel(m.dc, x, y), In565(colour(x / 2, y / 2))) << x << "," << y;
}

TEST(GdiStretchDIBits, SourceRowsColumnsAndFormats) {
    struct Case {
        int bpp, w, h;
        std::vector<uint32_t> src;
        int ySrc, wSrc;
        std::vector<COLORREF> row;  // the destination's one row
    } cases[] = {
        {32, 6, -1, {1, 2, 3, 4, 5, 6}, 0, 6, {RGB(0, 0, 1), RGB(0, 0, 3), RGB(0, 0, 5)}},  // every 2nd column
        // 1 x 4 bottom-up: memory row k holds image row 3 - k; ySrc counts from the bottom row.
        {32, 1, 4, {4, 3, 2, 1}, 0, 1, {RGB(0, 0, 4)}},
        {32, 1, 4, {4, 3, 2, 1}, 3, 1, {RGB(0, 0, 1)}},
        {16, 2, -1, {0x001FF800}, 0, 2, {RGB(248, 0, 0), RGB(0, 0, 248)}},  // 5-6-5 words 0xF800, 0x001F
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(&c - cases);
        BITMAPINFO bi = DibInfo(c.w, c.h, c.bpp);
        int dw = (int)c.row.size();
        MemDC m(dw, 1, 0);
        EXPECT_EQ(StretchDIBits(m.dc, 0, 0, dw, 1, 0, c.ySrc, c.wSrc, 1, c.src.data(), &bi, DIB_RGB_COLORS, SRCCOPY),
                  1);
        for (int x = 0; x < dw; x++) EXPECT_EQ(GetPixel(m.dc, x, 0), c.row[x]) << x;
    }
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
    // Overwrites the pixels, then checks that every other byte still holds the canary.
    bool CanariesIntact() {
        for (int y = 0; y < surface.height; y++) memset(surface.Row(y), kCanary, (size_t)used);
        return std::count(memory.begin(), memory.end(), kCanary) == (std::ptrdiff_t)memory.size();
    }
};

// Every drawing call, each reaching far past the DC's clip on all sides.
void DrawEverywhere(HDC dc) {
    HBRUSH brush = reinterpret_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
    HPEN pen = CreatePen(PS_SOLID, 5, RGB(10, 200, 10));
    RECT huge{-1000, -1000, 1000, 1000}, box{-10, -10, 50, 50};
    FillRect(dc, &huge, brush);
    HGDIOBJ oldPen = SelectObject(dc, pen);
    SelectObject(dc, brush);
    Rectangle(dc, -3, -3, 40, 40);
    MoveToEx(dc, -50, -20, nullptr);
    LineTo(dc, 60, 30);
    LineTo(dc, -100000, 100000);
    SetPixel(dc, -1, 0, RGB(1, 2, 3));
    SetPixel(dc, 5, 0, RGB(1, 2, 3));  // the right edge of a 5-wide surface or clip
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
    DrawText(dc, L"Clipped text", -1, &box, DT_NOCLIP);
    SelectObject(dc, oldPen);
    DeleteObject(pen);
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
    RECT first{0, 0, 1, 1};
    FillRect(dc, &first, reinterpret_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    EXPECT_EQ(g.surface.Get(3, 2), 0xFFFFFFu);
    EXPECT_EQ(g.surface.Get(4, 2) | g.surface.Get(3, 3), 0u);
    DrawEverywhere(dc);
    for (int y = 0; y < 10; y++)
        for (int x = 0; x < 12; x++)
            EXPECT_EQ(g.surface.Get(x, y) != 0, x >= 3 && x < 8 && y >= 2 && y < 6) << x << "," << y;
    RECT box, clip{0, 0, 5, 4}, bitmapRect{0, 0, 9, 4};
    EXPECT_EQ(GetClipBox(dc, &box), SIMPLEREGION);
    EXPECT_TRUE(EqualRect(&box, &clip));
    EXPECT_EQ(GetPixel(dc, 5, 0), CLR_INVALID);
    platform::FreeSurfaceDC(dc);

    MemDC m(9, 4, 0);  // a memory DC's clip box is its bitmap
    EXPECT_EQ(GetClipBox(m.dc, &box), SIMPLEREGION);
    EXPECT_TRUE(EqualRect(&box, &bitmapRect));
}

// ---------------------------------------------------------------------------
// Fills and shapes

TEST(GdiFillRect, FillsTheRectangleClippedWithRightAndBottomExclusive) {
    const COLORREF red = RGB(255, 0, 0);
    MemDC m(4, 4, 0);
    HBRUSH brush = CreateSolidBrush(red);
    RECT rc{-2, 1, 2, 3}, all{0, 0, 4, 4};
    EXPECT_NE(FillRect(m.dc, &rc, brush), 0);
    DeleteObject(brush);
    FillRect(m.dc, &all, GetStockObject(NULL_BRUSH));  // the null brush leaves pixels alone
    for (int y = 0; y < 4; y++)
        for (int x = 0; x < 4; x++)
            EXPECT_EQ(GetPixel(m.dc, x, y), x < 2 && y >= 1 && y < 3 ? red : kBlack) << x << "," << y;
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
        // Shallow: y = x / 4 rounded, one pixel a column (the ties at x = 2 and 6 may go either way).
        {1, 0, 0, 8, 2, {{0, 0}, {1, 0}, {3, 1}, {4, 1}, {5, 1}, {7, 2}}, {{1, 1}, {3, 0}, {4, 2}, {7, 1}, {8, 2}}},
        // A square around each point; the last is around (7, 5).
        {3, 2, 5, 8, 5, {{1, 5}, {8, 5}, {4, 4}, {4, 6}}, {{0, 5}, {9, 5}, {4, 3}, {4, 7}}},
        // Far past both edges; (0, 2) is the pixel after (9, 1) in memory.
        {1, -2000000000, 1, 2000000000, 1, {{0, 1}, {4, 1}, {9, 1}}, {{2, 0}, {0, 2}}},
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
        ExpectPixels(m.dc, c.inked);
        ExpectPixels(m.dc, c.bare);
        SelectObject(m.dc, oldPen);
        DeleteObject(pen);
    }
}

// ---------------------------------------------------------------------------
// Transfers between DCs

TEST(GdiBlit, CopiesStretchesAndSkipsTheKeyColourAcrossFormats) {
    // The destination starts as `bg`, which every format holds exactly; keyed calls skip magenta.
    const COLORREF bg = RGB(8, 8, 8), c1 = RGB(255, 128, 64), c2 = RGB(10, 20, 30), red = RGB(255, 0, 0);
    const COLORREF green = RGB(0, 255, 0), key = RGB(255, 0, 255), grey = RGB(7, 7, 7);
    enum Call { Bit, Stretch, KeyFromDC, KeyFromBitmap };
    struct Bmp {
        int w, h, bpp;
    };
    struct Box {
        int x, y, w, h;
    };
    struct Setup {
        Call call;
        Bmp src;
        Box from;
        Bmp dst;
        Box to;
    };
    struct Case {
        Setup how;
        std::vector<Px> src, expected;
    } cases[] = {
        {{Bit, {4, 4, 0}, {1, 1, 2, 1}, {6, 6, 16}, {3, 2, 2, 1}},
         {{1, 1, c1}, {2, 1, c2}},
         {{3, 2, In565(c1)}, {4, 2, In565(c2)}, {5, 2, bg}, {3, 3, bg}, {2, 2, bg}}},
        {{Bit, {4, 4, 0}, {0, 0, 3, 3}, {3, 3, 24}, {0, 0, 3, 3}}, {{1, 1, c1}}, {{1, 1, c1}, {0, 0, kBlack}}},
        // Destination pixels mapping past the source's right or bottom edge are left alone;
        // past row 0's end a careless read would find the red pixel.
        {{Bit, {2, -2, 32}, {0, 0, 4, 3}, {4, 3, 0}, {0, 0, 4, 3}},
         {{0, 0, grey}, {1, 0, grey}, {0, 1, red}},
         {{1, 0, grey}, {0, 1, red}, {2, 0, bg}, {3, 0, bg}, {0, 2, bg}}},
        {{Stretch, {2, 1, 0}, {0, 0, 2, 1}, {4, 2, 32}, {0, 0, 4, 2}},
         {{0, 0, red}, {1, 0, green}},
         {{1, 1, red}, {2, 0, green}, {3, 1, green}}},
        {{KeyFromDC, {3, 1, 0}, {0, 0, 3, 1}, {3, 1, 0}, {0, 0, 3, 1}},
         {{0, 0, key}, {1, 0, c2}, {2, 0, key}},
         {{0, 0, bg}, {1, 0, c2}, {2, 0, bg}}},
        // From a bitmap handle while stretching onto a 16-bit destination.
        {{KeyFromBitmap, {2, 1, 0}, {0, 0, 2, 1}, {4, 2, 16}, {0, 0, 4, 2}},
         {{0, 0, key}, {1, 0, grey}},
         {{0, 1, bg}, {1, 0, bg}, {2, 1, In565(grey)}}},
        // A 16-bit source matches the key by its packed value, which (250, 3, 250) shares.
        {{KeyFromDC, {2, 1, 16}, {0, 0, 2, 1}, {2, 1, 0}, {0, 0, 2, 1}},
         {{0, 0, RGB(250, 3, 250)}, {1, 0, kWhite}},
         {{0, 0, bg}, {1, 0, In565(kWhite)}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(&c - cases);
        const Setup& k = c.how;
        const Box &t = k.to, &f = k.from;
        MemDC src(k.src.w, k.src.h, k.src.bpp), dst(k.dst.w, k.dst.h, k.dst.bpp);
        for (const Px& p : c.src) SetPixel(src.dc, p.x, p.y, p.c);
        dst.Fill(bg);
        HANDLE from = k.call == KeyFromBitmap ? (HANDLE)src.bitmap : (HANDLE)src.dc;
        EXPECT_TRUE(k.call == Bit       ? BitBlt(dst.dc, t.x, t.y, t.w, t.h, src.dc, f.x, f.y, SRCCOPY)
                    : k.call == Stretch ? StretchBlt(dst.dc, t.x, t.y, t.w, t.h, src.dc, f.x, f.y, f.w, f.h, SRCCOPY)
                                        : TransparentImage(dst.dc, t.x, t.y, t.w, t.h, from, f.x, f.y, f.w, f.h, key));
        ExpectPixels(dst.dc, c.expected);
    }
}

TEST(GdiBlit, ScrollingWithinOneBitmapDoesNotSmear) {
    MemDC m(5, 1, 0);
    for (int x = 0; x < 5; x++) SetPixel(m.dc, x, 0, RGB(x + 1, 0, 0));
    BitBlt(m.dc, 1, 0, 4, 1, m.dc, 0, 0, SRCCOPY);
    for (int x = 1; x < 5; x++) EXPECT_EQ(GetPixel(m.dc, x, 0), RGB(x, 0, 0)) << x;
}

// ---------------------------------------------------------------------------
// Display facts and rectangles

TEST(GdiDevice, ReportsHighDpiSixteenBitScreenWithItsNearestColours) {
    HDC dc = CreateCompatibleDC(nullptr);
    EXPECT_EQ(GetNearestColor(dc, RGB(255, 250, 255)), RGB(248, 248, 248));
    EXPECT_EQ(GetNearestColor(dc, RGB(7, 3, 7)), kBlack);
    EXPECT_EQ(GetNearestColor(dc, RGB(8, 4, 8)), RGB(8, 4, 8));
    EXPECT_EQ(GetNearestColor(nullptr, 0), CLR_INVALID);
    int w = 0, h = 0;
    platform::GetScreenSize(&w, &h);
    EXPECT_EQ((std::array{GetDeviceCaps(dc, LOGPIXELSX), GetDeviceCaps(dc, LOGPIXELSY), GetDeviceCaps(dc, BITSPIXEL),
                          GetDeviceCaps(dc, HORZRES), GetDeviceCaps(dc, VERTRES)}),
              (std::array{192, 192, 16, w, h}));
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

// A BMP file of 24- or 32-bit pixels (given top row first); a negative height makes it top-down.
std::vector<unsigned char> MakeBmp(int w, int h, int bpp, const std::vector<uint32_t>& pixels) {
    int stride = (w * bpp / 8 + 3) & ~3, rows = std::abs(h);
    std::vector<unsigned char> f(54 + (size_t)stride * rows, 0);
    auto put32 = [&](size_t at, uint32_t v) { memcpy(&f[at], &v, 4); };  // little-endian host
    f[0] = 'B', f[1] = 'M', f[26] = 1, f[28] = (unsigned char)bpp;
    put32(2, (uint32_t)f.size()), put32(10, 54), put32(14, 40), put32(18, (uint32_t)w), put32(22, (uint32_t)h);
    for (int i = 0; i < w * rows; i++)
        memcpy(&f[54 + (size_t)(h > 0 ? rows - 1 - i / w : i / w) * stride + (size_t)(i % w) * (bpp / 8)], &pixels[i],
               3);
    return f;
}

TEST(GdiLoadBitmap, DecodesBottomUp24AndTopDown32BitBmpResources) {
    std::vector<uint32_t> px = {0xFF0000, 0x00FF00, 0x0000FF, 0x102030, 0x405060, 0x708090};
    std::vector<unsigned char> bmp24 = MakeBmp(3, 2, 24, px), bmp32 = MakeBmp(3, -2, 32, px);
    platform::BinaryResource binaries[] = {
        {RT_BITMAP, 10, bmp24.data(), bmp24.size()},
        {RT_BITMAP, 11, bmp32.data(), bmp32.size()},
        {RT_BITMAP, 12, bmp24.data(), bmp24.size() - 4},  // truncated
    };
    platform::ResourceModule module{nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, binaries, 3};
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(0x5150);
    platform::RegisterResourceModule(instance, &module);

    for (int id : {10, 11}) {
        SCOPED_TRACE(id);
        HBITMAP bm = LoadBitmap(instance, MAKEINTRESOURCE(id));
        ASSERT_NE(bm, nullptr);
        HDC dc = CreateCompatibleDC(nullptr);
        HGDIOBJ old = SelectObject(dc, bm);
        ExpectPixels(dc, {{0, 0, RGB(255, 0, 0)}, {2, 0, RGB(0, 0, 255)}, {2, 1, RGB(0x70, 0x80, 0x90)}});
        ExpectPixels(dc, {{3, 0, CLR_INVALID}, {0, 2, CLR_INVALID}});  // 3 x 2
        SelectObject(dc, old);
        DeleteDC(dc);
        EXPECT_TRUE(DeleteObject(bm));
    }
    EXPECT_EQ(LoadBitmap(instance, MAKEINTRESOURCE(12)), nullptr);
    EXPECT_EQ(LoadBitmap(instance, MAKEINTRESOURCE(99)), nullptr);
    platform::RegisterResourceModule(instance, nullptr);  // the table dies with this test
}

}  // namespace
