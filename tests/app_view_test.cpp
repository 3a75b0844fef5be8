// View geometry, point mapping and painting of the main window.
#include <gtest/gtest.h>

#include "app/View.h"
#include "platform/Platform.h"

namespace {

ImageRecord Picture(int w, int h) {
    ImageRecord r{};
    r.width = w;
    r.height = h;
    return r;
}

LRESULT PlainProc(HWND h, UINT m, WPARAM w, LPARAM l) {
    return DefWindowProc(h, m, w, l);
}

// A headless top-level window with the given client size.
class ViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::Options o;
        o.headless = true;
        ASSERT_TRUE(platform::Initialize(o));
        WNDCLASS wc{};
        wc.lpfnWndProc = PlainProc;
        wc.lpszClassName = L"ViewTestWindow";
        RegisterClass(&wc);
    }
    void TearDown() override { platform::Shutdown(); }
    HWND Window(int w, int h) {
        return CreateWindow(L"ViewTestWindow", L"", WS_VISIBLE, 0, 52, w, h, nullptr, nullptr, nullptr, nullptr);
    }
};

TEST_F(ViewTest, PicturesAreCentredInThePhotoAreaWithTheirAspectKept) {
    HWND win = Window(480, 640);
    SpanRect src, dst;
    FitView(win, Picture(400, 300), &src, &dst);
    EXPECT_EQ(0, dst.x0);
    EXPECT_EQ(479, dst.x1);
    EXPECT_EQ(100, dst.y0);
    EXPECT_EQ(459, dst.y1);
    EXPECT_EQ(399, src.x1);
    EXPECT_EQ(299, src.y1);

    FitView(win, Picture(300, 400), &src, &dst);
    EXPECT_EQ(30, dst.x0);
    EXPECT_EQ(449, dst.x1);
    EXPECT_EQ(0, dst.y0);
    EXPECT_EQ(559, dst.y1);
    EXPECT_EQ(299, src.x1);
    EXPECT_EQ(399, src.y1);

    // Same aspect as the 480 x 560 photo area: the whole area.
    FitView(win, Picture(240, 280), &src, &dst);
    EXPECT_EQ(0, dst.x0);
    EXPECT_EQ(479, dst.x1);
    EXPECT_EQ(0, dst.y0);
    EXPECT_EQ(559, dst.y1);
}

TEST_F(ViewTest, NoPhotoAreaOrNoPictureGivesEmptySpans) {
    SpanRect src{1, 2, 3, 4}, dst{5, 6, 7, 8};
    FitView(Window(480, 80), Picture(400, 300), &src, &dst);
    EXPECT_EQ(0, dst.x1);
    EXPECT_EQ(0, dst.y1);
    EXPECT_EQ(0, src.x1);
    SpanRect src2{1, 2, 3, 4}, dst2{5, 6, 7, 8};
    FitView(Window(480, 640), Picture(400, 0), &src2, &dst2);
    EXPECT_EQ(0, dst2.x0 + dst2.x1 + dst2.y0 + dst2.y1);
    EXPECT_EQ(0, src2.x0 + src2.x1 + src2.y0 + src2.y1);
}

TEST_F(ViewTest, PaintingClearsWhatThePictureDoesNotCover) {
    HWND win = Window(480, 640);
    // A stale bright frame first.
    HDC dc = GetDC(win);
    RECT all{0, 0, 480, 640};
    HBRUSH white = CreateSolidBrush(RGB(255, 255, 255));
    FillRect(dc, &all, white);
    DeleteObject(white);
    ReleaseDC(win, dc);

    std::vector<uint8_t> pixels(400 * 300 * 3);
    for (size_t i = 0; i < pixels.size(); i += 3) {
        pixels[i] = 200;  // blue
        pixels[i + 1] = 10;
        pixels[i + 2] = 20;
    }
    SpanRect src, dst;
    FitView(win, Picture(400, 300), &src, &dst);
    PaintView(win, pixels.data(), nullptr, nullptr, 400, 300, src.x0, src.x1, src.y0, src.y1, dst.x0, dst.x1, dst.y0,
              dst.y1, 0);
    dc = GetDC(win);
    EXPECT_EQ(RGB(20, 10, 200), GetPixel(dc, 240, 280));
    COLORREF above = GetPixel(dc, 240, 50);
    EXPECT_LT(GetRValue(above) + GetGValue(above) + GetBValue(above), 3 * 64) << "stale pixels above the picture";
    COLORREF below = GetPixel(dc, 240, 500);
    EXPECT_LT(GetRValue(below) + GetGValue(below) + GetBValue(below), 3 * 64) << "stale pixels below the picture";
    ReleaseDC(win, dc);
}

TEST(PanView, TheSpanNeverLeavesThePicture) {
    ImageRecord pic = Picture(1000, 800);
    SpanRect dst{0, 479, 0, 559};
    SpanRect src{0, 499, 0, 399};
    SpanRect left = PanView(pic, -100, 0, src, dst);
    EXPECT_EQ(0, left.x0);
    EXPECT_EQ(499, left.x1);
    SpanRect far = PanView(pic, 5000, 5000, src, dst);
    EXPECT_EQ(500, far.x0);
    EXPECT_EQ(999, far.x1);
    EXPECT_EQ(400, far.y0);
    EXPECT_EQ(799, far.y1);
    // 48 client pixels of a 480-wide span showing 500 picture pixels move it by 50.
    SpanRect moved = PanView(pic, 48, 0, SpanRect{100, 599, 0, 399}, dst);
    EXPECT_EQ(150, moved.x0);
    EXPECT_EQ(649, moved.x1);
}

TEST(MapPoint, CornersMapToCornersAndTheLastColumnStaysInside) {
    SpanRect dst{0, 479, 100, 459}, src{0, 399, 0, 299};
    POINT tl = MapPointTrunc(0, 100, dst, src);
    EXPECT_EQ(0, tl.x);
    EXPECT_EQ(0, tl.y);
    POINT br = MapPointTrunc(479, 459, dst, src);
    EXPECT_LE(br.x, 399);
    EXPECT_GE(br.x, 398);
    EXPECT_LE(br.y, 299);
    POINT r = MapPointRound(479, 459, dst, src);
    EXPECT_LE(r.x, 400);
    EXPECT_EQ(0, MapPointRound(0, 100, dst, src).x);
    // A point left of the span is held at the span's first column by the rounded mapping only.
    EXPECT_EQ(0, MapPointRound(-10, 100, dst, src).x);
    EXPECT_LT(MapPointTrunc(-10, 100, dst, src).x, 0);
}

TEST(PointInSpan, EdgesAreInside) {
    EXPECT_TRUE(PointInSpan(0, 0, 0, 10, 0, 10));
    EXPECT_TRUE(PointInSpan(10, 10, 0, 10, 0, 10));
    EXPECT_FALSE(PointInSpan(11, 5, 0, 10, 0, 10));
    EXPECT_FALSE(PointInSpan(5, -1, 0, 10, 0, 10));
}

}  // namespace
