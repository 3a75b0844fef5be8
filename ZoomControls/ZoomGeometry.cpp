// Which part of the picture the effect view shows at the controller's zoom and
// where it is drawn: the fit at zoom 1.0 and the zoomed spans.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "ZoomControls/ZoomController.h"

namespace {

// Sizes of the spans are kept even; 0 and 1 stay.
int MakeEven(int v) {
    return (v != 1 && (v & 1)) ? v - 1 : v;
}

// One axis of the zoomed size: how many picture pixels are visible and how wide
// they are drawn, for a fitted size `fitted`, a view of `viewSize` pixels and a
// picture of `size` pixels.
void ZoomedSide(int fitted, float zoom, int viewSize, int size, int* src, int* dst) {
    const float product = (float)fitted * zoom;
    const int zoomed = (int)std::floor((double)product);
    if (zoomed == 0) {
        *src = size;
        *dst = size;
    } else if (zoomed >= viewSize) {
        // 64-bit: a one-pixel-high picture can be two million pixels wide.
        *src = (int)std::min<int64_t>((int64_t)viewSize * size / zoomed, size);
        *dst = viewSize;
    } else {
        *src = size;
        *dst = zoomed;
    }
    // A view that shrank after the fit can make the quotient 0; an empty source
    // span would leave nothing to map stylus points through.
    if (*src < 1) *src = 1;
    *dst = MakeEven(*dst);
}

// The reference point that keeps the span's origin at the same fraction of the
// scrollable range when zooming out: (x0 x size) / (size - visible). A span that
// already covers the whole side (nothing to scroll) gives 0.
int64_t ScrollReference(int x0, int size, int visible) {
    const int64_t range = (int64_t)size - visible;
    if (range == 0) return 0;
    const float ref = (float)((int64_t)x0 * size) / (float)range;
    return (int64_t)ref;
}

// The new origin: ((f - base) x (span - newSize)) / span + base in single
// precision, at least 0 and at most the last pixel.
int SpanStart(int64_t f, int64_t base, int64_t span, int newSize, int size) {
    float start = (float)base;
    if (span > 0) {
        const double moved = (double)(f - base) * (double)(span - newSize);
        start = (float)moved / (float)span + (float)base;
    }
    if (start < 0.0f) start = 0.0f;
    // A reference outside the picture (a focus kept from before a pan, a
    // caller's span wider than the picture) must not start the span past its end.
    if (start > (float)(size - 1)) return size - 1;
    return (int)start;
}

}  // namespace

// The photo area is empty when it has no pixel on an axis; a bottom of 0 is what
// the owner passes when its client area is no taller than the button bar.
bool ZoomController::ViewIsEmpty() const {
    return view_.bottom == 0 || view_.right < view_.left || view_.bottom < view_.top;
}

void ZoomController::FitSize(int l, int t, int r, int b, int w, int h, int* fitW, int* fitH) const {
    const int viewW = r - l + 1;
    const int viewH = b - t + 1;
    if (w <= 0 || h <= 0 || viewW <= 0 || viewH <= 0) {
        *fitW = 0;
        *fitH = 0;
        return;
    }
    double sx = 1.0, sy = 1.0;
    if (w > viewW) sx = (double)viewW / w;
    if (h > viewH) sy = (double)viewH / h;
    const double s = sx < sy ? sx : sy;
    int fw = (int)std::floor(w * s);
    int fh = (int)std::floor(h * s);
    // A side scaled below one pixel keeps its own size, but never more than the
    // view holds.
    if (fw == 0) fw = std::min(w, viewW);
    if (fh == 0) fh = std::min(h, viewH);
    *fitW = MakeEven(fw);
    *fitH = MakeEven(fh);
}

void ZoomController::ZoomedSize(int l, int t, int r, int b, int w, int h, int* srcW, int* srcH, int* dstW,
                                int* dstH) const {
    ZoomedSide(fit_.right - fit_.left + 1, zoom_, r - l + 1, w, srcW, dstW);
    ZoomedSide(fit_.bottom - fit_.top + 1, zoom_, b - t + 1, h, srcH, dstH);
}

void ZoomController::FitImage(int w, int h, SpanRect* src, SpanRect* dst, float* zoomOut) {
    int fitW, fitH;
    FitSize(view_.left, view_.top, view_.right, view_.bottom, w, h, &fitW, &fitH);
    SpanRect s{0, 0, 0, 0};
    SpanRect d{0, 0, 0, 0};
    if (w > 0 && h > 0 && !ViewIsEmpty()) {
        // Centred measuring from 0, which centres it when the area starts at
        // the client origin.
        int left = (view_.right - fitW) / 2;
        if (left <= view_.left) left = view_.left;
        int top = (view_.bottom - fitH) / 2;
        if (top <= view_.top) top = view_.top;
        d = SpanRect{left, left + fitW - 1, top, top + fitH - 1};
        s = SpanRect{0, w - 1, 0, h - 1};
    }
    if (src) *src = s;
    if (dst) *dst = d;
    fit_ = RECT{d.x0, d.y0, d.x1, d.y1};
    zoom_ = 1.0f;
    centreX_ = w / 2;
    centreY_ = h / 2;
    ClampZoom();
    if (zoomOut) *zoomOut = zoom_;
}

void ZoomController::ComputeZoomedView(int w, int h, POINT focus, SpanRect* src, SpanRect* dst) {
    if (!src || !dst) return;
    const int x0 = src->x0, x1 = src->x1, y0 = src->y0, y1 = src->y1;
    const int curW = x1 - x0 + 1;
    const int curH = y1 - y0 + 1;
    // Written so that a zoom that is not a number is refused as well.
    if (!(zoom_ > 0.0f && zoom_ <= kMaxZoom)) return;
    if (zoom_ <= 1.0f) {
        FitImage(w, h, src, dst, &zoom_);
        return;
    }
    if (w <= 0 || h <= 0 || ViewIsEmpty()) {
        *src = SpanRect{0, 0, 0, 0};
        *dst = SpanRect{0, 0, 0, 0};
        return;
    }

    int newW, newH, dstW, dstH;
    ZoomedSize(view_.left, view_.top, view_.right, view_.bottom, w, h, &newW, &newH, &dstW, &dstH);

    // Zooming in keeps the focus at its fraction of the visible span; zooming
    // out keeps the span's origin at its fraction of the scrollable range.
    int64_t fx, fy, bx, by, spanW, spanH;
    if (curW > newW) {
        fx = focus.x;
        fy = focus.y;
        bx = x0;
        by = y0;
        spanW = curW;
        spanH = curH;
    } else {
        fx = ScrollReference(x0, w, curW);
        fy = ScrollReference(y0, h, curH);
        bx = 0;
        by = 0;
        spanW = w;
        spanH = h;
    }
    const int newX0 = SpanStart(fx, bx, spanW, newW, w);
    const int newY0 = SpanStart(fy, by, spanH, newH, h);
    const int newX1 = std::min(newX0 + newW - 1, w - 1);
    const int newY1 = std::min(newY0 + newH - 1, h - 1);

    const int dl = std::max((int)((view_.right - dstW) / 2), (int)view_.left);
    const int dt = std::max((int)((view_.bottom - dstH) / 2), (int)view_.top);
    const int dr = std::min(dl + dstW - 1, (int)view_.right);
    const int db = std::min(dt + dstH - 1, (int)view_.bottom);

    *src = SpanRect{newX0, newX1, newY0, newY1};
    *dst = SpanRect{dl, dr, dt, db};
}
