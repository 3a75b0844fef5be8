// Text drawing: where ink lands, in which colour, how fonts size, how DrawText
// aligns and shortens, and what happens without a font file.
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/raster.h"
#include "platform/win32.h"

namespace {

const COLORREF kWhite = RGB(255, 255, 255);

// A white memory DC of the given size with a 32-bit bitmap, drawing text in `mode`.
struct Canvas {
    int w, h;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, w, h);
    HGDIOBJ old = SelectObject(dc, bitmap);
    Canvas(int width, int height, int mode = TRANSPARENT) : w(width), h(height) {
        RECT all{0, 0, w, h};
        FillRect(dc, &all, GetStockObject(WHITE_BRUSH));
        SetBkMode(dc, mode);
    }
    ~Canvas() {
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
};

struct Ink {
    int count = 0;
    RECT box{1 << 30, 1 << 30, -(1 << 30), -(1 << 30)};
};

// Pixels that differ from `background`: how many, and their bounding box.
Ink FindInk(const Canvas& c, COLORREF background = kWhite) {
    Ink ink;
    RECT& b = ink.box;
    for (int y = 0; y < c.h; y++)
        for (int x = 0; x < c.w; x++)
            if (GetPixel(c.dc, x, y) != background) {
                ink.count++;
                b = {std::min<LONG>(b.left, x), std::min<LONG>(b.top, y), std::max<LONG>(b.right, x + 1),
                     std::max<LONG>(b.bottom, y + 1)};
            }
    return ink;
}

// The extent of "Sample" in a new font of the given LOGFONT height and weight.
SIZE SampleExtent(HDC dc, int height, int weight = FW_NORMAL) {
    LOGFONT lf{};
    lf.lfHeight = height;
    lf.lfWeight = weight;
    HFONT font = CreateFontIndirect(&lf);
    HGDIOBJ old = SelectObject(dc, font);
    SIZE size{};
    GetTextExtentPoint32(dc, L"Sample", 6, &size);
    SelectObject(dc, old);
    EXPECT_TRUE(DeleteObject(font));
    return size;
}

TEST(GdiText, TransparentTextInksOnlyInsideItsExtentInTheTextColour) {
    Canvas c(200, 40);
    SetTextColor(c.dc, RGB(255, 0, 0));
    ASSERT_TRUE(ExtTextOut(c.dc, 10, 5, 0, nullptr, L"Hello", 5, nullptr));
    SIZE size{};
    ASSERT_TRUE(GetTextExtentPoint32(c.dc, L"Hello", 5, &size) && size.cx > 10 && size.cy > 10);
    Ink ink = FindInk(c);
    ASSERT_GT(ink.count, 20);
    EXPECT_GE(ink.box.left, 10);
    EXPECT_GE(ink.box.top, 5);
    EXPECT_LE(ink.box.right, 10 + size.cx);
    EXPECT_LE(ink.box.bottom, 5 + size.cy);
    int solid = 0;  // every inked pixel is red blended over white, and some are solid red
    for (int y = 0; y < c.h; y++)
        for (int x = 0; x < c.w; x++) {
            COLORREF p = GetPixel(c.dc, x, y);
            EXPECT_TRUE(GetRValue(p) == 255 && GetGValue(p) == GetBValue(p)) << x << "," << y;
            solid += p == RGB(255, 0, 0);
        }
    EXPECT_GT(solid, 5);
}

TEST(GdiText, OpaqueModeFillsTheTextExtentWithTheBackgroundColour) {
    Canvas c(200, 40, OPAQUE);
    SetBkColor(c.dc, RGB(0, 0, 255));
    ExtTextOut(c.dc, 20, 10, 0, nullptr, L"Ab", 2, nullptr);
    SIZE size;
    GetTextExtentPoint32(c.dc, L"Ab", 2, &size);
    EXPECT_EQ(GetPixel(c.dc, 20, 10), RGB(0, 0, 255));
    EXPECT_EQ(GetPixel(c.dc, 20 + size.cx - 1, 10 + size.cy - 1), RGB(0, 0, 255));
    EXPECT_EQ(GetPixel(c.dc, 19, 10), kWhite);
    EXPECT_EQ(GetPixel(c.dc, 20 + size.cx, 10), kWhite);
    EXPECT_EQ(GetPixel(c.dc, 20, 10 + size.cy), kWhite);
}

TEST(GdiText, EtoOpaqueFillsTheRectangleAndEtoClippedKeepsInkInsideIt) {
    Canvas c(200, 40);
    SetBkColor(c.dc, RGB(0, 255, 0));
    RECT rc{30, 0, 45, 40};
    ExtTextOut(c.dc, 10, 5, ETO_OPAQUE | ETO_CLIPPED, &rc, L"MMMMMMMM", 8, nullptr);
    EXPECT_EQ(GetPixel(c.dc, 30, 0), RGB(0, 255, 0));
    EXPECT_EQ(GetPixel(c.dc, 44, 39), RGB(0, 255, 0));
    Ink ink = FindInk(c);
    EXPECT_GE(ink.box.left, 30);
    EXPECT_LE(ink.box.right, 45);
    // The text itself did reach into the rectangle.
    Ink nonGreen = FindInk(c, RGB(0, 255, 0));
    EXPECT_GT(nonGreen.count, (200 * 40) - (15 * 40));
}

TEST(GdiText, PerCharacterAdvancesPlaceEachCharacter) {
    Canvas c(200, 40);
    int dx[2] = {100, 10};
    ExtTextOut(c.dc, 0, 5, 0, nullptr, L"ii", 2, dx);
    Ink ink = FindInk(c);
    EXPECT_LT(ink.box.left, 10);
    EXPECT_GE(ink.box.right, 100);
    EXPECT_LT(ink.box.right, 115);
}

TEST(GdiText, FontHeightsFollowTheLogfontConventions) {
    HDC dc = CreateCompatibleDC(nullptr);
    SIZE small = SampleExtent(dc, -10);
    EXPECT_NEAR(SampleExtent(dc, -20).cx, 2 * small.cx, 4);
    EXPECT_GT(small.cy, 10);                 // the cell is taller than the character height
    EXPECT_EQ(SampleExtent(dc, 30).cy, 30);  // a positive height is the cell height
    EXPECT_GT(SampleExtent(dc, -16, FW_BOLD).cx, SampleExtent(dc, -16).cx);
    // Neighbouring cell heights may round to one em size; each keeps its own line.
    for (int first : {10, 11})
        for (int height : {first, 21 - first}) EXPECT_EQ(SampleExtent(dc, height).cy, height) << "after " << first;
    DeleteDC(dc);
}

TEST(GdiDrawText, VerticalCentreCentresASingleLine) {
    Canvas c(100, 100, OPAQUE);
    SetBkColor(c.dc, RGB(0, 0, 0));
    RECT rc{0, 0, 100, 100};
    int height = DrawText(c.dc, L"Mid", -1, &rc, DT_SINGLELINE | DT_VCENTER | DT_CENTER);
    Ink ink = FindInk(c);  // the opaque background marks the line's cell
    EXPECT_NEAR((ink.box.top + ink.box.bottom) / 2, 50, 1);
    EXPECT_EQ(height, ink.box.bottom);
}

TEST(GdiDrawText, NewlinesStartNewLines) {
    Canvas c(100, 100);
    SIZE line{-1, -1};
    EXPECT_TRUE(GetTextExtentPoint32(c.dc, L"", 0, &line));  // empty text: zero wide, one line tall
    EXPECT_EQ(line.cx, 0);
    ASSERT_GT(line.cy, 0);
    RECT rc{0, 0, 100, 100};
    EXPECT_EQ(DrawText(c.dc, L"one\r\ntwo", -1, &rc, DT_LEFT), 2 * line.cy);
    Ink ink = FindInk(c);
    EXPECT_GT(ink.box.bottom, line.cy);
    EXPECT_LE(ink.box.bottom, 2 * line.cy);
}

// Where one line's ink lands when drawn into a rectangle from x 10 to `right`: its
// left edge, middle or right edge (`edge` 0, 1, 2) lies within [min, max].
TEST(GdiDrawText, AlignsClipsAndShortensTextInTheRectangle) {
    const wchar_t* kLong = L"A rather long caption that cannot fit";
    const struct {
        const char* what;
        const wchar_t* text;
        LONG right;
        UINT flags;
        int edge, min, max;
    } cases[] = {
        {"left", L"xox", 190, DT_LEFT, 0, 10, 13},
        {"centre", L"xox", 190, DT_CENTER, 1, 97, 103},
        {"right", L"xox", 190, DT_RIGHT, 2, 187, 190},
        {"overflows", kLong, 90, DT_NOCLIP, 2, 91, 300},
        {"clipped", kLong, 90, 0, 2, 11, 90},
        {"shortened to fit", kLong, 90, DT_NOCLIP | DT_END_ELLIPSIS, 2, 71, 90},
    };
    for (const auto& k : cases) {
        Canvas c(300, 40);
        RECT rc{10, 0, k.right, 40};
        DrawText(c.dc, k.text, -1, &rc, DT_SINGLELINE | k.flags);
        const RECT b = FindInk(c).box;  // with no ink, every edge is far out of range
        const LONG at[] = {b.left, (b.left + b.right) / 2, b.right};
        EXPECT_GE(at[k.edge], k.min) << k.what;
        EXPECT_LE(at[k.edge], k.max) << k.what;
    }
}

TEST(GdiText, TextOnASixteenBitSurfaceUsesTheNearestColour) {
    BITMAPINFO bi{{sizeof(BITMAPINFOHEADER), 60, 30, 1, 16, BI_BITFIELDS, 0, 0, 0, 0, 0}, {0xF800, 0x07E0, 0x001F, 0}};
    Canvas c(60, 30);  // its bitmap swapped for the 16-bit one, which it then deletes
    void* bits;
    DeleteObject(SelectObject(c.dc, c.bitmap = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0)));
    SetTextColor(c.dc, kWhite);
    ExtTextOut(c.dc, 2, 2, 0, nullptr, L"IIII", 4, nullptr);
    EXPECT_GT(c.w * c.h - FindInk(c, GetNearestColor(c.dc, kWhite)).count, 10) << "pixels in the nearest white";
}

TEST(GdiText, MissingFontFilesDrawNothingAndMeasureZero) {
    platform::SetFontDirectory("/nonexistent-font-folder");
    Canvas c(100, 30);
    EXPECT_TRUE(ExtTextOut(c.dc, 0, 0, 0, nullptr, L"Hello", 5, nullptr));
    RECT rc{0, 0, 100, 30};
    DrawText(c.dc, L"Hello", -1, &rc, DT_CENTER);
    SIZE size{-1, -1};
    GetTextExtentPoint32(c.dc, L"Hello", 5, &size);
    platform::SetFontDirectory("/usr/share/fonts/truetype/dejavu");
    EXPECT_EQ(FindInk(c).count, 0);
    EXPECT_EQ(size.cx, 0);

    // Back on the real folder, text draws again.
    ExtTextOut(c.dc, 0, 0, 0, nullptr, L"Hello", 5, nullptr);
    EXPECT_GT(FindInk(c).count, 0);
}

}  // namespace
