// The zoom view geometry: the fit of a picture into the photo area at zoom 1.0
// and the visible source span and its destination at higher zooms, including
// one-pixel pictures, empty photo areas and zooms at and beyond the limits.
#include <gtest/gtest.h>

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

TEST_F(ZoomGeometry, FitCentresThePictureWholeAndResetsTheZoom) {
    struct Case {
        const char* name;
        int left, top, right, w, h;
        Span dst;
    } cases[] = {
        // s = 480 / 1600 = 0.3: 480 x 360, top (559 - 360) / 2 = 99.
        {"wide", 0, 0, kRight, 1600, 1200, {0, 479, 99, 458}},
        // sy = 560 / 1600 = 0.35 < sx = 0.4: 420 x 560, left (479 - 420) / 2 = 29.
        {"tall", 0, 0, kRight, 1200, 1600, {29, 448, 0, 559}},
        // Never enlarged; odd sizes made even: (479 - 100) / 2, (559 - 74) / 2.
        {"small, odd", 0, 0, kRight, 101, 75, {189, 288, 242, 315}},
        {"centred from the client origin", 100, 50, kRight, 101, 75, {189, 288, 242, 315}},
        {"centre left of and above the area snaps to its edge", 300, 400, kRight, 101, 75, {300, 399, 400, 473}},
        // floor(1 x 0.4667) = 0 keeps the picture's own pixel.
        {"one pixel wide", 0, 0, kRight, 1, 1200, {239, 239, 0, 559}},
        {"one pixel high", 0, 0, kRight, 1600, 1, {0, 479, 279, 279}},
        {"widest opened, 2,000,000 x 1", 0, 0, kRight, 2000000, 1, {0, 479, 279, 279}},
        // 2 x 0.28 rounds to 0, but the picture's own width would stick out.
        {"never wider than a one-pixel view", 0, 0, 0, 2, 2000, {0, 0, 0, 559}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        zc.SetBounds(c.left, c.top, c.right, kBottom);
        zc.SetZoom(4.0f);
        Fit(c.w, c.h);
        EXPECT_EQ((Span{0, c.w - 1, 0, c.h - 1}), V(src));
        EXPECT_EQ(c.dst, V(dst));
        RECT fit = zc.GetFit();
        EXPECT_EQ(c.dst, (Span{fit.left, fit.right, fit.top, fit.bottom}));
        EXPECT_EQ(c.w / 2, zc.GetCentre().x) << "half sizes truncated";
        EXPECT_EQ(c.h / 2, zc.GetCentre().y);
        EXPECT_EQ(1.0f, zc.GetZoom());
    }
}

// Each step zooms from a fresh fit (kRefit), from the previous step's span
// (kKeep) or from the span given.
constexpr SpanRect kRefit{-1, -1, -1, -1}, kKeep{-2, -2, -2, -2};

TEST_F(ZoomGeometry, ZoomedSpansFollowTheFocusOrTheScrollFraction) {
    const Span full{0, 479, 0, 559};
    struct Step {
        const char* name;
        int w, h;
        float zoom;
        POINT focus;
        SpanRect from;
        Span src, dst;
    } steps[] = {
        // 480 x 1600 / 960 = 800 wide from (800 - 0) x (1600 - 800) / 1600 = 400;
        // 560 x 1200 / 720 = 933 high from 600 x (1200 - 933) / 1200 = 133.5.
        {"zoom 2 shows the middle half", 1600, 1200, 2.0f, {800, 600}, kRefit, {400, 1199, 133, 1065}, full},
        {"a focus a quarter in stays a quarter in", 1600, 1200, 2.0f, {400, 300}, kRefit, {200, 999, 66, 998}, full},
        // (400 - 200) x (800 - 400) / 800 + 200 = 300; (300 - 66) x (933 - 466) / 933 + 66 = 183.1.
        {"zooming in again", 1600, 1200, 4.0f, {400, 300}, kKeep, {300, 699, 183, 648}, full},
        // Scrolled 600 of 1200: reference 600 x 1600 / 1200 = 800, 800 x 800 / 1600 = 400.
        {"zoom out", 1600, 1200, 2.0f, {0, 0}, {600, 999, 0, 465}, {400, 1199, 0, 932}, full},
        // 1599 x 800 / 1600 = 799.5 and 1199 x 267 / 1200 = 266.8.
        {"a span ends at the last pixel", 1600, 1200, 2.0f, {1599, 1199}, kRefit, {799, 1598, 266, 1198}, full},
        // A focus kept from before a pan: (3000 - 1000) x (600 - 533) / 600 + 1000 = 1223
        // leaves only 377 pixels; 600 x (1200 - 622) / 1200 = 289.
        {"focus right of it", 1600, 1200, 3.0f, {3000, 600}, {1000, 1599, 0, 1199}, {1223, 1599, 289, 910}, full},
        // 480 x 1600 / 4800 = 160 and 560 x 1200 / 3600 = 186.
        {"the highest zoom shows a tenth", 1600, 1200, 10.0f, {800, 600}, kRefit, {720, 879, 507, 692}, full},
        {"zoom 3 before zooming back", 1600, 1200, 3.0f, {100, 100}, kRefit, {66, 598, 48, 669}, full},
        {"below 1.0 refits", 1600, 1200, 0.5f, {100, 100}, kKeep, {0, 1599, 0, 1199}, {0, 479, 99, 458}},
        {"1.0 refits", 1600, 1200, 1.0f, {100, 100}, {66, 598, 48, 669}, {0, 1599, 0, 1199}, {0, 479, 99, 458}},
        // Fitted 420 wide, 462 at 1.1: the whole width stays, nothing to scroll;
        // 560 x 1600 / 616 = 1454 high.
        {"whole width", 1200, 1600, 1.1f, {1100, 1500}, kRefit, {0, 1199, 0, 1453}, {8, 469, 0, 559}},
        // 125 x 92.5 fits the view: the whole picture at 124 x 92, centred.
        {"destination sizes even, source not", 101, 75, 1.25f, {50, 37}, kRefit, {0, 100, 0, 74}, {177, 300, 233, 324}},
        // The visible width (1) never shrinks, so the scroll reference is used,
        // whose range (1 - 1) is empty.
        {"one pixel wide at 2", 1, 1200, 2.0f, {0, 1100}, kRefit, {0, 0, 0, 599}, {238, 239, 0, 559}},
        {"one pixel wide at 10", 1, 1200, 10.0f, {0, 1100}, kKeep, {0, 0, 0, 119}, {234, 243, 0, 559}},
        {"one pixel high", 1600, 1, 2.0f, {800, 0}, kRefit, {400, 1199, 0, 0}, {0, 479, 278, 279}},
        // Positions times widths go beyond 32 bits.
        {"widest picture at 2", 2000000, 1, 2.0f, {1000000, 0}, kRefit, {500000, 1499999, 0, 0}, {0, 479, 278, 279}},
        // Reference 500000 x 2000000 / 1000000 = 1000000; 1333333 wide.
        {"widest picture back out", 2000000, 1, 1.5f, {0, 0}, kKeep, {333333, 1666665, 0, 0}, {0, 479, 279, 279}},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.name);
        if (s.from.x0 == kRefit.x0)
            Fit(s.w, s.h);
        else if (s.from.x0 != kKeep.x0)
            src = s.from;
        Zoom(s.zoom, s.w, s.h, s.focus);
        EXPECT_EQ(s.src, V(src));
        EXPECT_EQ(s.dst, V(dst));
        EXPECT_EQ(s.zoom > 1.0f ? s.zoom : 1.0f, zc.GetZoom()) << "the view follows the zoom without changing it";
    }
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

TEST_F(ZoomGeometry, AnAreaThatShrankAfterTheFitStillShowsAPixel) {
    Fit(100, 100);
    zc.SetBounds(0, 0, 4, kBottom);  // 5 wide; the fit still says 100
    Zoom(10.0f, 100, 100, POINT{50, 50});
    // 5 x 100 / 1000 rounds to no pixel at all; one is kept.
    EXPECT_LE(src.x0, src.x1);
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
                SCOPED_TRACE(testing::Message() << zoom << " at " << f.x << ", " << f.y << " from " << s.x0);
                EXPECT_TRUE(0 <= src.x0 && src.x0 <= src.x1 && src.x1 <= 1599) << src.x0 << ".." << src.x1;
                EXPECT_TRUE(0 <= src.y0 && src.y0 <= src.y1 && src.y1 <= 1199) << src.y0 << ".." << src.y1;
                EXPECT_TRUE(dst.x0 >= 0 && dst.x1 <= kRight && dst.y1 <= kBottom);
            }
}

}  // namespace
