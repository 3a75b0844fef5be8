#include "app/View.h"

#include <cstdlib>
#include <cstring>

#include "ZoomControls/ImageUtil.h"
#include "ZoomControls/ZoomController.h"
#include "app/ButtonBar.h"

void FitView(HWND window, ImageRecord picture, SpanRect* src, SpanRect* dst) {
    RECT rc;
    GetClientRect(window, &rc);
    int r = rc.right, b = rc.bottom;
    if (picture.height == 0 || b == kButtonBarHeight) {
        *src = SpanRect{0, 0, 0, 0};
        *dst = SpanRect{0, 0, 0, 0};
        return;
    }
    double aw = r, ah = b - kButtonBarHeight;
    double areaAspect = aw / ah;
    double pictureAspect = (double)picture.width / (double)picture.height;
    if (pictureAspect == areaAspect) {
        *dst = SpanRect{0, r - 1, 0, b - 81};
    } else if (pictureAspect > areaAspect) {
        double h = aw / pictureAspect;
        int y0 = (int)((ah - h) * 0.5);
        *dst = SpanRect{0, r - 1, y0, (int)(y0 + h - 1.0)};
    } else {
        double w = ah * pictureAspect;
        int x0 = (int)((aw - w) * 0.5);
        *dst = SpanRect{x0, (int)(x0 + w - 1.0), 0, b - 81};
    }
    *src = SpanRect{0, picture.width - 1, 0, picture.height - 1};
}

// The picture as a device-independent bitmap: rows top to bottom, 24 bits.
// DIB rows start on 4-byte boundaries; a reduced copy of a tall photo can have
// rows of another length, so it is drawn from a copy with its rows spaced that
// way (null when memory is short), or every row would start askew.
static const uint8_t* DibRows(const uint8_t* pixels, int width, int height, uint8_t** spaced, BITMAPINFO* bmi) {
    const size_t rowBytes = (size_t)width * 3, stride = (rowBytes + 3) & ~(size_t)3;
    const uint8_t* bits = pixels;
    *spaced = nullptr;
    if (stride != rowBytes) {
        *spaced = static_cast<uint8_t*>(calloc(stride * (size_t)height, 1));
        if (*spaced) {
            for (int y = 0; y < height; y++) memcpy(*spaced + stride * y, pixels + rowBytes * y, rowBytes);
        }
        bits = *spaced;
    }
    *bmi = BITMAPINFO{};
    bmi->bmiHeader.biSize = 40;
    bmi->bmiHeader.biWidth = width;
    bmi->bmiHeader.biHeight = -height;
    bmi->bmiHeader.biPlanes = 1;
    bmi->bmiHeader.biBitCount = 24;
    bmi->bmiHeader.biCompression = BI_RGB;
    bmi->bmiHeader.biSizeImage = (DWORD)(stride * (size_t)height);
    return bits;
}

void PaintView(HWND window, const uint8_t* pixels, ButtonBar* bar, ZoomController* zoom, int width, int height, int sx0,
               int sx1, int sy0, int sy1, int dx0, int dx1, int dy0, int dy1, int insidePaint) {
    if (!window || !pixels) return;
    RECT client;
    GetClientRect(window, &client);
    PAINTSTRUCT ps{};
    HDC dc = insidePaint ? BeginPaint(window, &ps) : GetDC(window);
    if (!dc) return;
    // With the zoom controller the frame is composed in the toolkit's 16-bit
    // back buffer, where its overlay blends; otherwise in a plain bitmap.
    HDC mem = zoom ? CreateBackBuffer(window, dc) : CreateCompatibleDC(dc);
    HBITMAP bitmap = nullptr;
    HGDIOBJ old = nullptr;
    if (mem && !zoom) {
        bitmap = CreateCompatibleBitmap(dc, client.right, client.bottom);
        if (bitmap) old = SelectObject(mem, bitmap);
    }
    if (mem && (zoom || bitmap)) {
        // The picture covers only part of the photo area; the rest is cleared so
        // nothing of an earlier picture or zoom stays behind.
        HBRUSH background = CreateSolidBrush(kViewBackground);
        FillRect(mem, &client, background);
        DeleteObject(background);
        uint8_t* spaced = nullptr;
        BITMAPINFO bmi;
        const uint8_t* bits = DibRows(pixels, width, height, &spaced, &bmi);
        if (bits) {
            StretchDIBits(mem, dx0, dy0, dx1 - dx0 + 1, dy1 - dy0 + 1, sx0, sy0, sx1 - sx0 + 1, sy1 - sy0 + 1, bits,
                          &bmi, DIB_RGB_COLORS, SRCCOPY);
        }
        free(spaced);
        if (zoom) zoom->DrawOverlay(mem);
        if (bar) bar->Draw(mem);
        BitBlt(dc, 0, 0, client.right, client.bottom, mem, 0, 0, SRCCOPY);
    }
    if (zoom) {
        if (mem) ReleaseBackBuffer(mem);
    } else {
        if (old) SelectObject(mem, old);
        if (bitmap) DeleteObject(bitmap);
        if (mem) DeleteDC(mem);
    }
    if (insidePaint) {
        EndPaint(window, &ps);
    } else {
        ReleaseDC(window, dc);
    }
}

SpanRect PanView(ImageRecord picture, int dx, int dy, SpanRect src, SpanRect dst) {
    SpanRect out;
    int vw = src.x1 - src.x0 + 1;
    int shift = (int)(((float)vw / (float)(dst.x1 - dst.x0 + 1)) * (float)dx);
    int x0 = src.x0 + shift;
    if (x0 < 0) {
        x0 = 0;
    } else if (x0 + vw > picture.width) {
        x0 = picture.width - vw;
    }
    out.x0 = x0;
    out.x1 = x0 + vw - 1;

    int vh = src.y1 - src.y0 + 1;
    shift = (int)(((float)vh / (float)(dst.y1 - dst.y0 + 1)) * (float)dy);
    int y0 = src.y0 + shift;
    if (y0 < 0) {
        y0 = 0;
    } else if (y0 + vh > picture.height) {
        y0 = picture.height - vh;
    }
    out.y0 = y0;
    out.y1 = y0 + vh - 1;
    return out;
}

POINT MapPointTrunc(int x, int y, SpanRect dst, SpanRect src) {
    POINT p;
    p.x = src.x0 + ((x - dst.x0) * (src.x1 - src.x0 + 1)) / (dst.x1 - dst.x0 + 1);
    p.y = src.y0 + ((y - dst.y0) * (src.y1 - src.y0 + 1)) / (dst.y1 - dst.y0 + 1);
    return p;
}

POINT MapPointRound(int x, int y, SpanRect dst, SpanRect src) {
    POINT p;
    int qx = ((src.x1 - src.x0 + 1) * 65536) / (dst.x1 - dst.x0 + 1);
    p.x = src.x0 + ((qx * (x - dst.x0) + 32768) >> 16);  // arithmetic shift
    if (p.x <= src.x0) p.x = src.x0;
    int qy = ((src.y1 - src.y0 + 1) * 65536) / (dst.y1 - dst.y0 + 1);
    p.y = src.y0 + ((qy * (y - dst.y0) + 32768) >> 16);
    if (p.y <= src.y0) p.y = src.y0;
    return p;
}

bool PointInSpan(int x, int y, int x0, int x1, int y0, int y1) {
    return x0 <= x && x <= x1 && y0 <= y && y <= y1;
}

bool RectsEqual(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
