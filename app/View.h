// The main window's view geometry and painting: fitting a picture into the photo
// area, drawing a span of it through an off-screen buffer together with the zoom
// overlay and the button bar, panning, and mapping stylus points to pixels.
#pragma once

#include <cstdint>

#include "ZoomControls/SpanRect.h"
#include "imaging/ImageRecord.h"
#include "platform/win32.h"

class ButtonBar;
class ZoomController;

// Height of the button bar along the bottom of the client area.
constexpr int kButtonBarHeight = 80;
// Colour of the photo area where no picture is drawn.
constexpr COLORREF kViewBackground = RGB(0x1E, 0x1F, 0x22);

void FitView(HWND window, ImageRecord picture, SpanRect* src, SpanRect* dst);
void PaintView(HWND window, const uint8_t* pixels, ButtonBar* bar, ZoomController* zoom, int width, int height, int sx0,
               int sx1, int sy0, int sy1, int dx0, int dx1, int dy0, int dy1, int insidePaint);
SpanRect PanView(ImageRecord picture, int dx, int dy, SpanRect src, SpanRect dst);
POINT MapPointTrunc(int x, int y, SpanRect dst, SpanRect src);
POINT MapPointRound(int x, int y, SpanRect dst, SpanRect src);
bool PointInSpan(int x, int y, int x0, int x1, int y0, int y1);
bool RectsEqual(const RECT& a, const RECT& b);
