// Text through the GDI calls: where ink lands, in which colour, how fonts size,
// how DrawText aligns and shortens, and what happens without a font file.
#include <gtest/gtest.h>

#include <cwchar>

#include "platform/raster.h"
#include "platform/win32.h"

namespace {

const COLORREF kWhite = RGB(255, 255, 255);

// A white memory DC of the given size with a 32-bit bitmap.
struct Canvas {
    HDC dc;
    HBITMAP bitmap;
    HGDIOBJ old;
    int w, h;
    Canvas(int width, int height) : w(width), h(height) {
        dc = CreateCompatibleDC(nullptr);
        bitmap = CreateCompatibleBitmap(dc, w, h);
        old = SelectObject(dc, bitmap);
        RECT all{0, 0, w, h};
        FillRect(dc, &all, GetStockObject(WHITE_BRUSH));
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

// Pixels that differ from `background`.
Ink FindInk(const Canvas& c, COLORREF background = kWhite) {
    Ink ink;
    for (int y = 0; y < c.h; y++)
        for (int x = 0; x < c.w; x++) {
            if (GetPixel(c.dc, x, y) == background) continue;
            ink.count++;
            ink.box.left = std::min<LONG>(ink.box.left, x);
            ink.box.top = std::min<LONG>(ink.box.top, y);
            ink.box.right = std::max<LONG>(ink.box.right, x + 1);
            ink.box.bottom = std::max<LONG>(ink.box.bottom, y + 1);
        }
    return ink;
}

HFONT MakeFont(int height, int weight = FW_NORMAL) {
    LOGFONT lf{};
    lf.lfHeight = height;
    lf.lfWeight = weight;
    wcscpy(lf.lfFaceName, L"Tahoma");
    return CreateFontIndirect(&lf);
}

TEST(GdiText, TransparentTextInksOnlyInsideItsExtentInTheTextColour) {
    Canvas c(200, 40);
    SetBkMode(c.dc, TRANSPARENT);
    SetTextColor(c.dc, RGB(255, 0, 0));
    ASSERT_TRUE(ExtTextOut(c.dc, 10, 5, 0, nullptr, L"Hello", 5, nullptr));
    SIZE size{};
    ASSERT_TRUE(GetTextExtentPoint32(c.dc, L"Hello", 5, &size));
    ASSERT_GT(size.cx, 10);
    ASSERT_GT(size.cy, 10);

    Ink ink = FindInk(c);
    ASSERT_GT(ink.count, 20);
    EXPECT_GE(ink.box.left, 10);
    EXPECT_GE(ink.box.top, 5);
    EXPECT_LE(ink.box.right, 10 + size.cx);
    EXPECT_LE(ink.box.bottom, 5 + size.cy);
    // Every inked pixel is red blended over white, and some are solid red.
    int solid = 0;
    for (int y = 0; y < c.h; y++)
        for (int x = 0; x < c.w; x++) {
            COLORREF p = GetPixel(c.dc, x, y);
            EXPECT_EQ(GetRValue(p), 255);
            EXPECT_EQ(GetGValue(p), GetBValue(p));
            solid += p == RGB(255, 0, 0);
        }
    EXPECT_GT(solid, 5);
}

TEST(GdiText, OpaqueModeFillsTheTextExtentWithTheBackgroundColour) {
    Canvas c(200, 40);
    SetBkMode(c.dc, OPAQUE);
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
    SetBkMode(c.dc, TRANSPARENT);
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
    SetBkMode(c.dc, TRANSPARENT);
    int dx[2] = {100, 10};
    ExtTextOut(c.dc, 0, 5, 0, nullptr, L"ii", 2, dx);
    Ink ink = FindInk(c);
    EXPECT_LT(ink.box.left, 10);
    EXPECT_GE(ink.box.right, 100);
    EXPECT_LT(ink.box.right, 115);
}

TEST(GdiText, FontHeightsFollowTheLogfontConventions) {
    HDC dc = CreateCompatibleDC(nullptr);
    SIZE small, big, cell, normal, bold;
    HFONT f10 = MakeFont(-10), f20 = MakeFont(-20), f30cell = MakeFont(30);
    HFONT regular = MakeFont(-16), heavy = MakeFont(-16, FW_BOLD);
    HGDIOBJ old = SelectObject(dc, f10);
    GetTextExtentPoint32(dc, L"Sample", 6, &small);
    SelectObject(dc, f20);
    GetTextExtentPoint32(dc, L"Sample", 6, &big);
    SelectObject(dc, f30cell);
    GetTextExtentPoint32(dc, L"Sample", 6, &cell);
    SelectObject(dc, regular);
    GetTextExtentPoint32(dc, L"Sample", 6, &normal);
    SelectObject(dc, heavy);
    GetTextExtentPoint32(dc, L"Sample", 6, &bold);
    SelectObject(dc, old);

    EXPECT_NEAR(big.cx, 2 * small.cx, 4);
    EXPECT_GT(small.cy, 10);  // the cell is taller than the character height
    EXPECT_EQ(cell.cy, 30);   // a positive height is the cell height
    EXPECT_GT(bold.cx, normal.cx);
    for (HFONT f : {f10, f20, f30cell, regular, heavy}) EXPECT_TRUE(DeleteObject(f));

    // Neighbouring cell heights may round to one em size; each keeps its own line.
    for (int first : {10, 11}) {
        for (int height : {first, 21 - first}) {
            HFONT f = MakeFont(height);
            SIZE line;
            old = SelectObject(dc, f);
            GetTextExtentPoint32(dc, L"Sample", 6, &line);
            SelectObject(dc, old);
            DeleteObject(f);
            EXPECT_EQ(height, line.cy) << "cell " << height << " after " << first;
        }
    }
    DeleteDC(dc);
}

TEST(GdiText, EmptyTextMeasuresZeroWideOneLineTall) {
    HDC dc = CreateCompatibleDC(nullptr);
    SIZE size{-1, -1};
    EXPECT_TRUE(GetTextExtentPoint32(dc, L"", 0, &size));
    EXPECT_EQ(size.cx, 0);
    EXPECT_GT(size.cy, 0);
    DeleteDC(dc);
}

TEST(GdiDrawText, AlignsLeftCentreAndRightWithinTheRectangle) {
    RECT rc{10, 0, 190, 40};
    Ink left, centre, right;
    for (UINT align : {DT_LEFT, DT_CENTER, DT_RIGHT}) {
        Canvas c(200, 40);
        SetBkMode(c.dc, TRANSPARENT);
        DrawText(c.dc, L"xox", -1, &rc, align | DT_SINGLELINE);
        Ink ink = FindInk(c);
        ASSERT_GT(ink.count, 0);
        (align == DT_LEFT ? left : align == DT_CENTER ? centre : right) = ink;
    }
    EXPECT_LT(left.box.left, 14);
    EXPECT_NEAR((centre.box.left + centre.box.right) / 2, 100, 3);
    EXPECT_GT(right.box.right, 186);
    EXPECT_LE(right.box.right, 190);
}

TEST(GdiDrawText, VerticalCentreCentresASingleLine) {
    Canvas c(100, 100);
    SetBkMode(c.dc, OPAQUE);
    SetBkColor(c.dc, RGB(0, 0, 0));
    RECT rc{0, 0, 100, 100};
    int height = DrawText(c.dc, L"Mid", -1, &rc, DT_SINGLELINE | DT_VCENTER | DT_CENTER);
    Ink ink = FindInk(c);  // the opaque background marks the line's cell
    EXPECT_NEAR((ink.box.top + ink.box.bottom) / 2, 50, 1);
    EXPECT_EQ(height, ink.box.bottom);
}

TEST(GdiDrawText, NewlinesStartNewLines) {
    Canvas c(100, 100);
    SetBkMode(c.dc, TRANSPARENT);
    SIZE line;
    GetTextExtentPoint32(c.dc, L"", 0, &line);
    RECT rc{0, 0, 100, 100};
    EXPECT_EQ(DrawText(c.dc, L"one\r\ntwo", -1, &rc, DT_LEFT), 2 * line.cy);
    Ink ink = FindInk(c);
    EXPECT_GT(ink.box.bottom, line.cy);
    EXPECT_LE(ink.box.bottom, 2 * line.cy);
}

TEST(GdiDrawText, EndEllipsisShortensTextToFit) {
    const wchar_t* text = L"A rather long caption that cannot fit";
    RECT rc{0, 0, 80, 30};
    {
        Canvas c(300, 30);
        SetBkMode(c.dc, TRANSPARENT);
        DrawText(c.dc, text, -1, &rc, DT_SINGLELINE | DT_NOCLIP);
        EXPECT_GT(FindInk(c).box.right, 80);  // unshortened it would overflow
    }
    Canvas c(300, 30);
    SetBkMode(c.dc, TRANSPARENT);
    DrawText(c.dc, text, -1, &rc, DT_SINGLELINE | DT_NOCLIP | DT_END_ELLIPSIS);
    Ink ink = FindInk(c);
    EXPECT_GT(ink.count, 0);
    EXPECT_LE(ink.box.right, 80);
    EXPECT_GT(ink.box.right, 60);
}

TEST(GdiDrawText, ClipsToTheRectangleUnlessToldNotTo) {
    Canvas c(200, 30);
    SetBkMode(c.dc, TRANSPARENT);
    RECT rc{0, 0, 20, 30};
    DrawText(c.dc, L"WWWWWWWW", -1, &rc, DT_SINGLELINE);
    Ink ink = FindInk(c);
    EXPECT_GT(ink.count, 0);
    EXPECT_LE(ink.box.right, 20);
}

TEST(GdiText, TextOnASixteenBitSurfaceUsesTheNearestColour) {
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = 60;
    bi.bmiHeader.biHeight = 30;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 16;
    bi.bmiHeader.biCompression = BI_BITFIELDS;
    bi.bmiColors[0] = 0xF800, bi.bmiColors[1] = 0x07E0, bi.bmiColors[2] = 0x001F;
    void* bits;
    HBITMAP bm = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, bm);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(255, 255, 255));
    ExtTextOut(dc, 2, 2, 0, nullptr, L"IIII", 4, nullptr);
    int solid = 0;
    for (int y = 0; y < 30; y++)
        for (int x = 0; x < 60; x++) solid += GetPixel(dc, x, y) == GetNearestColor(dc, RGB(255, 255, 255));
    EXPECT_GT(solid, 10);
    SelectObject(dc, old);
    DeleteObject(bm);
    DeleteDC(dc);
}

TEST(GdiText, MissingFontFilesDrawNothingAndMeasureZero) {
    platform::SetFontDirectory("/nonexistent-font-folder");
    Canvas c(100, 30);
    SetBkMode(c.dc, TRANSPARENT);
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
