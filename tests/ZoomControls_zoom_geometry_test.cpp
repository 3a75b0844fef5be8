// The zoom view geometry: the fit of a picture into the photo area at zoom 1.0
// and the visible source span and its destination at higher zooms, including
// one-pixel pictures, empty photo areas and zooms at and beyond the limits.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "ZoomControls/SpanRect.h"
#include "ZoomControls/ZoomController.h"

namespace {

// The photo area of a 480 x 640 client area less the 80-pixel button bar.
constexpr int kRight = 479;
constexpr int kBottom = 559;

// A span as {x0, x1, y0, y1}, for comparisons.
using Span = std::vector<int>;
Span V(const SpanRect& s) {
    return {s.x0, s.x1, s.y0, s.y1};
}

int Width(const SpanRect& s) {
    return s.x1 - s.x0 + 1;
}
int Height(const SpanRect& s) {
    return s.y1 - s.y0 + 1;
}

// A controller without an owner window: the geometry needs none.
class ZoomGeometry : public ::testing::Test {
protected:
    void SetUp() override { zc.SetBounds(0, 0, kRight, kBottom); }
    void Fit(int w, int h) {
        float z = 0.0f;
        zc.FitImage(w, h, &src, &dst, &z);
        EXPECT_EQ(1.0f, z);
    }
    void Zoom(float zoom, int w, int h, POINT focus) {
        zc.SetZoom(zoom);
        zc.ComputeZoomedView(w, h, focus, &src, &dst);
    }
    ZoomController zc;
    SpanRect src{-7, -7, -7, -7};
    SpanRect dst{-7, -7, -7, -7};
};

TEST_F(ZoomGeometry, FitCentresThePictureBoundByTheTighterSideAndResetsTheZoom) {
    zc.SetZoom(4.0f);
    Fit(1600, 1200);
    // s = 480 / 1600 = 0.3: 480 x 360, top (559 - 360) / 2 = 99.
    EXPECT_EQ((Span{0, 1599, 0, 1199}), V(src));
    EXPECT_EQ((Span{0, 479, 99, 458}), V(dst));
    RECT fit = zc.GetFit();
    EXPECT_EQ((Span{0, 99, 479, 458}), (Span{fit.left, fit.top, fit.right, fit.bottom}));
    EXPECT_EQ(800, zc.GetCentre().x);
    EXPECT_EQ(600, zc.GetCentre().y);
    EXPECT_EQ(1.0f, zc.GetZoom());
    Fit(1200, 1600);
    // sy = 560 / 1600 = 0.35 < sx = 0.4: 420 x 560, left (479 - 420) / 2 = 29.
    EXPECT_EQ((Span{29, 448, 0, 559}), V(dst));
}

TEST_F(ZoomGeometry, FitNeverEnlargesASmallPictureAndKeepsItsSizesEven) {
    Fit(101, 75);
    EXPECT_EQ((Span{(kRight - 100) / 2, (kRight - 100) / 2 + 99, (kBottom - 74) / 2, (kBottom - 74) / 2 + 73}), V(dst));
    EXPECT_EQ((Span{0, 100, 0, 74}), V(src)) << "the source is the whole picture, odd or not";
    EXPECT_EQ(50, zc.GetCentre().x) << "half sizes truncated";
    EXPECT_EQ(37, zc.GetCentre().y);
}

TEST_F(ZoomGeometry, FitMeasuresTheCentringFromTheClientOrigin) {
    zc.SetBounds(100, 50, kRight, kBottom);
    Fit(101, 75);
    // (479 - 100) / 2 = 189 lies right of the area's left edge; (559 - 74) / 2 = 242 below its top.
    EXPECT_EQ((Span{189, 288, 242, 315}), V(dst));
    zc.SetBounds(300, 400, kRight, kBottom);
    Fit(101, 75);
    EXPECT_EQ((Span{300, 399, 400, 473}), V(dst)) << "a centre left of or above the area snaps to its edge";
}

TEST_F(ZoomGeometry, ZoomTwoShowsTheMiddleHalfOfThePictureFillingTheView) {
    Fit(1600, 1200);
    Zoom(2.0f, 1600, 1200, POINT{800, 600});
    // Widths: zw = 960 >= 480, so 480 x 1600 / 960 = 800 picture pixels on 480,
    // from (800 - 0) x (1600 - 800) / 1600 = 400. Heights: zh = 720 >= 560, so
    // 560 x 1200 / 720 = 933 on 560, from (600 - 0) x (1200 - 933) / 1200 = 133.5.
    EXPECT_EQ((Span{400, 1199, 133, 1065}), V(src));
    EXPECT_EQ((Span{0, 479, 0, 559}), V(dst));
    EXPECT_EQ(2.0f, zc.GetZoom()) << "the view follows the zoom without changing it";
}

TEST_F(ZoomGeometry, ZoomingInKeepsTheFocusAtItsFractionOfTheSpan) {
    Fit(1600, 1200);
    Zoom(2.0f, 1600, 1200, POINT{400, 300});
    // A focus a quarter of the way in stays a quarter of the way in.
    EXPECT_EQ(200, src.x0);
    Zoom(4.0f, 1600, 1200, POINT{400, 300});
    // From (200, 999): (400 - 200) x (800 - 400) / 800 + 200 = 300, 400 wide;
    // from (66, 998): (300 - 66) x (933 - 466) / 933 + 66 = 183.1, 466 high.
    EXPECT_EQ((Span{300, 699, 183, 648}), V(src));
}

TEST_F(ZoomGeometry, ZoomingOutKeepsTheOriginAtItsFractionOfTheScrollRange) {
    Fit(1600, 1200);
    Zoom(4.0f, 1600, 1200, POINT{800, 600});
    ASSERT_EQ(400, Width(src));
    // Scrolled half way: 600 of the 1200 the 400-wide span can move.
    src = SpanRect{600, 999, 0, 465};
    Zoom(2.0f, 1600, 1200, POINT{0, 0});
    // Reference 600 x 1600 / 1200 = 800; 800 x (1600 - 800) / 1600 = 400, half of 800.
    EXPECT_EQ(400, src.x0);
    EXPECT_EQ(1199, src.x1);
    EXPECT_EQ(0, src.y0) << "a span at the top stays at the top";
}

TEST_F(ZoomGeometry, ZoomingOutFromASpanCoveringTheWholeWidthStartsAtZero) {
    // A tall picture: fitted 420 wide in 480, so at zoom 1.1 (462 wide) the
    // whole width stays visible and nothing is left to scroll across.
    Fit(1200, 1600);
    Zoom(1.1f, 1200, 1600, POINT{1100, 1500});
    EXPECT_EQ(0, src.x0);
    EXPECT_EQ(1199, src.x1);
    EXPECT_EQ(462, Width(dst));
}

TEST_F(ZoomGeometry, TheEndOfASpanStopsAtTheLastPixelWithoutMovingTheOrigin) {
    Fit(1600, 1200);
    Zoom(2.0f, 1600, 1200, POINT{1599, 1199});
    // 1599 x 800 / 1600 = 799.5 and 1199 x 267 / 1200 = 266.8.
    EXPECT_EQ((Span{799, 1598, 266, 1198}), V(src));
    // A focus right of the picture, kept from before a pan: the origin
    // (3000 - 1000) x (600 - 533) / 600 + 1000 = 1223 leaves only 377 pixels.
    src = SpanRect{1000, 1599, 0, 1199};
    Zoom(3.0f, 1600, 1200, POINT{3000, 600});
    EXPECT_EQ(1223, src.x0);
    EXPECT_EQ(1599, src.x1);
}

TEST_F(ZoomGeometry, DestinationSizesAreEvenAndSourceSizesAreNot) {
    Fit(101, 75);  // fitted 100 x 74
    Zoom(1.25f, 101, 75, POINT{50, 37});
    // 125 x 92.5 < 480 x 560: the whole picture at 124 x 92.
    EXPECT_EQ((Span{0, 100, 0, 74}), V(src));
    EXPECT_EQ(124, Width(dst));
    EXPECT_EQ(92, Height(dst));
    EXPECT_EQ((kRight - 124) / 2, dst.x0) << "centred while smaller than the view";
    EXPECT_EQ((kBottom - 92) / 2, dst.y0);
}

TEST_F(ZoomGeometry, AZoomAtOrBelowOneRefitsAndResetsTheZoom) {
    Fit(1600, 1200);
    Zoom(3.0f, 1600, 1200, POINT{100, 100});
    Zoom(0.5f, 1600, 1200, POINT{100, 100});
    EXPECT_EQ((Span{0, 1599, 0, 1199}), V(src));
    EXPECT_EQ((Span{0, 479, 99, 458}), V(dst));
    EXPECT_EQ(1.0f, zc.GetZoom());
    Zoom(3.0f, 1600, 1200, POINT{100, 100});
    Zoom(1.0f, 1600, 1200, POINT{100, 100});
    EXPECT_EQ((Span{0, 1599, 0, 1199}), V(src)) << "exactly 1.0 is the fitted view too";
}

TEST_F(ZoomGeometry, AZoomOutsideTheRangeLeavesTheSpansUntouched) {
    Fit(1600, 1200);
    const SpanRect keepSrc{11, 22, 33, 44}, keepDst{55, 66, 77, 88};
    for (float zoom :
         {10.5f, 0.0f, -1.0f, std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity()}) {
        src = keepSrc;
        dst = keepDst;
        Zoom(zoom, 1600, 1200, POINT{800, 600});
        EXPECT_EQ(V(keepSrc), V(src)) << zoom;
        EXPECT_EQ(V(keepDst), V(dst)) << zoom;
    }
    EXPECT_EQ(99, zc.GetFit().top) << "and the fit";
}

TEST_F(ZoomGeometry, TheHighestZoomShowsATenthOfTheFittedPicture) {
    Fit(1600, 1200);
    Zoom(10.0f, 1600, 1200, POINT{800, 600});
    // 480 x 1600 / 4800 = 160 and 560 x 1200 / 3600 = 186.
    EXPECT_EQ(160, Width(src));
    EXPECT_EQ(186, Height(src));
    EXPECT_EQ((Span{0, 479, 0, 559}), V(dst));
}

TEST_F(ZoomGeometry, AOnePixelWidePictureZoomsWithoutDividingByItsWidth) {
    Fit(1, 1200);
    // floor(1 x 0.4667) = 0 keeps the picture's own pixel.
    EXPECT_EQ((Span{239, 239, 0, 559}), V(dst));
    EXPECT_EQ((Span{0, 0, 0, 1199}), V(src));
    // The visible width (1) never shrinks, so the scroll reference is used,
    // whose range (1 - 1) is empty on both axes.
    Zoom(2.0f, 1, 1200, POINT{0, 1100});
    EXPECT_EQ((Span{0, 0, 0, 599}), V(src));
    EXPECT_EQ((Span{238, 239, 0, 559}), V(dst)) << "2 pixels wide, made even";
    Zoom(10.0f, 1, 1200, POINT{0, 1100});
    EXPECT_EQ(0, src.x0);
    EXPECT_EQ(0, src.x1);
    EXPECT_EQ(120, Height(src));
}

TEST_F(ZoomGeometry, AOnePixelHighPictureZoomsAroundItsFocus) {
    Fit(1600, 1);
    EXPECT_EQ((Span{0, 479, 279, 279}), V(dst));
    Zoom(2.0f, 1600, 1, POINT{800, 0});
    EXPECT_EQ((Span{400, 1199, 0, 0}), V(src));
    EXPECT_EQ((Span{0, 479, 278, 279}), V(dst));
}

TEST_F(ZoomGeometry, TheWidestPictureTheAppOpensZoomsWithoutOverflow) {
    // 2,000,000 x 1 pixels is 6,000,000 bytes, the largest picture opened;
    // the focus arithmetic multiplies positions by widths beyond 32 bits.
    const int w = 2000000;
    Fit(w, 1);
    EXPECT_EQ(480, Width(dst));
    Zoom(2.0f, w, 1, POINT{w / 2, 0});
    EXPECT_EQ(1000000, Width(src));
    EXPECT_EQ(500000, src.x0);
    EXPECT_EQ(1499999, src.x1);
    // And back out: reference 500000 x 2000000 / 1000000 = 1000000.
    Zoom(1.5f, w, 1, POINT{0, 0});
    EXPECT_EQ(1333333, Width(src));
    EXPECT_EQ(333333, src.x0);
}

TEST_F(ZoomGeometry, AnEmptyPhotoAreaOrPictureGivesEmptySpans) {
    // Client areas of 80, 60 and 0 pixels leave no photo area above the bar.
    const int cases[][4] = {{kRight, 0, 1600, 1200},    {kRight, -20, 1600, 1200},  {kRight, -80, 1600, 1200},
                            {-1, kBottom, 1600, 1200},  // no width
                            {kRight, kBottom, 1600, 0}, {kRight, kBottom, 0, 1200}, {kRight, kBottom, 0, 0}};
    for (auto [right, bottom, w, h] : cases) {
        SCOPED_TRACE(testing::Message() << "area to " << right << ", " << bottom << "; picture " << w << " x " << h);
        zc.SetBounds(0, 0, right, bottom);
        src = dst = SpanRect{-7, -7, -7, -7};
        Fit(w, h);
        EXPECT_EQ((Span{0, 0, 0, 0}), V(src));
        EXPECT_EQ((Span{0, 0, 0, 0}), V(dst));
        src = SpanRect{0, 99, 0, 99};
        dst = SpanRect{-7, -7, -7, -7};
        Zoom(2.0f, w, h, POINT{w / 2, h / 2});
        EXPECT_EQ((Span{0, 0, 0, 0}), V(src));
        EXPECT_EQ((Span{0, 0, 0, 0}), V(dst));
    }
}

TEST_F(ZoomGeometry, AFittedSideNeverComesOutWiderThanTheView) {
    // A one-pixel-wide area and a 2 x 2000 picture: 2 x 0.28 rounds down to 0,
    // and the picture's own width would stick out of the area.
    zc.SetBounds(0, 0, 0, kBottom);
    Fit(2, 2000);
    EXPECT_EQ(0, dst.x0);
    EXPECT_EQ(0, dst.x1);
    EXPECT_EQ(560, Height(dst));
}

TEST_F(ZoomGeometry, AnAreaThatShrankAfterTheFitStillShowsAPixel) {
    Fit(100, 100);
    zc.SetBounds(0, 0, 4, kBottom);  // 5 wide; the fit still says 100
    Zoom(10.0f, 100, 100, POINT{50, 50});
    // 5 x 100 / 1000 rounds to no pixel at all; one is kept.
    EXPECT_GE(Width(src), 1);
    EXPECT_GE(src.x0, 0);
    EXPECT_LE(src.x1, 99);
    EXPECT_LE(dst.x1, 4);
}

TEST_F(ZoomGeometry, SpansStayInsideThePictureWhateverTheFocusAndPreviousSpan) {
    Fit(1600, 1200);
    const POINT foci[] = {{-500, -500}, {0, 0}, {1599, 1199}, {1600, 1200}, {100000, 100000}};
    const SpanRect spans[] = {{0, 1599, 0, 1199}, {1500, 1599, 1100, 1199}, {0, 3199, 0, 2399}, {900, 100, 900, 100}};
    for (float zoom : {1.01f, 2.0f, 5.5f, 10.0f})
        for (const POINT& f : foci)
            for (const SpanRect& s : spans) {
                src = s;
                Zoom(zoom, 1600, 1200, f);
                EXPECT_GE(src.x0, 0);
                EXPECT_LE(src.x0, src.x1);
                EXPECT_LE(src.x1, 1599);
                EXPECT_GE(src.y0, 0);
                EXPECT_LE(src.y0, src.y1);
                EXPECT_LE(src.y1, 1199);
                EXPECT_GE(dst.x0, 0);
                EXPECT_LE(dst.x1, kRight);
                EXPECT_LE(dst.y1, kBottom);
            }
}

}  // namespace
