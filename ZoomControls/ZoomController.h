// The zoom gesture controller of the effect view: turns the owner window's
// stylus events and timer ticks into zoom actions (double tap, press and hold,
// vertical drag), shows the zoom overlay beside the finger, and works out which
// part of the picture is visible at the current zoom and where it is drawn.
#pragma once

#include "ZoomControls/SpanRect.h"
#include "platform/win32.h"

class ZoomOverlay;

// Window timers of the owner that the controller runs; the owner hands every
// WM_TIMER to OnTimer.
enum ZoomTimer {
    TIMER_TAP = 179,      // 200 ms: the double-tap window
    TIMER_HOLD = 180,     // 600 ms: press and hold
    TIMER_OVERLAY = 185,  // 20 ms (100 ms for the hint): repaints while the overlay fades
    TIMER_ZOOM = 186,     // 10 ms: one zoom step
};

// What the stylus and the zoom timer are doing.
enum ZoomMode {
    ZOOM_MODE_OUT_ANIMATION = 0,  // TIMER_ZOOM runs until zoom <= 1.0
    ZOOM_MODE_HOLD = 1,           // stylus held: TIMER_ZOOM runs until a move or the release
    ZOOM_MODE_DRAG = 2,           // the held finger moved vertically: the overlay follows it
    ZOOM_MODE_IN_ANIMATION = 3,   // TIMER_ZOOM runs until zoom > 2.5; also the mode after a release
    ZOOM_MODE_HINT = 4,           // the overlay is shown once and faded out
};

// The double-tap recogniser.
enum TapState { TAP_IDLE = 1, TAP_ONE_SEEN = 2, TAP_DOUBLE_HANDLED = 3 };

class ZoomController {
public:
    // WM_COMMAND identifiers sent to the owner on a double tap.
    static constexpr WPARAM kCommandZoomIn = 32773;
    static constexpr WPARAM kCommandZoomOut = 32774;
    // The zoom range: 1.0 is the fit.
    static constexpr float kMinZoom = 1.0f;
    static constexpr float kMaxZoom = 10.0f;

    ZoomController();
    ~ZoomController();
    ZoomController(const ZoomController&) = delete;
    ZoomController& operator=(const ZoomController&) = delete;

    // Binds the controller to its owner window and photo area (client pixels,
    // edges inclusive) and builds the overlay; zoom 1.0, hint mode.
    void Create(HWND hwnd, HINSTANCE hInstance, int left, int top, int right, int bottom);
    void SetBounds(int left, int top, int right, int bottom);

    // Stylus events in client pixels.
    int OnPress(int x, int y);
    int OnMove(int x, int y);  // 1 when the overlay was dragged
    void OnRelease(int x, int y);
    // 1 after a zoom step (the owner then recomputes the view and repaints).
    int OnTimer(UINT_PTR id, LPARAM lParam);

    void CancelTap();
    void StartZoomAnimation(int mode);
    void SetZoomStep(float step);
    void StopOverlay();
    // Fades the overlay in at the centre of the photo area and out again.
    void ShowHint();

    int GetMode() const { return mode_; }
    float GetZoom() const { return zoom_; }
    void SetZoom(float zoom) { zoom_ = zoom; }
    // Keeps zoom within 1.0..10.0 and greys the button of the exhausted direction.
    void ClampZoom();
    int DrawOverlay(HDC hdc);

    // Fits the whole picture into the photo area at zoom 1.0: the source span is
    // the whole picture, the destination is centred; zoomOut receives 1.0.
    void FitImage(int w, int h, SpanRect* src, SpanRect* dst, float* zoomOut);
    // The visible source span (in: the one shown so far) and its destination at
    // the current zoom, keeping `focus` (picture pixels) steady when zooming in.
    void ComputeZoomedView(int w, int h, POINT focus, SpanRect* src, SpanRect* dst);

    // Read-only views for the owner's state report and for tests. The overlay
    // is null when it could not be made.
    ZoomOverlay* GetOverlay() const { return overlay_; }
    int GetTapState() const { return tapState_; }
    float GetStep() const { return step_; }
    RECT GetView() const { return view_; }
    RECT GetFit() const { return fit_; }
    POINT GetCentre() const { return POINT{centreX_, centreY_}; }

private:
    void FitSize(int l, int t, int r, int b, int w, int h, int* fitW, int* fitH) const;
    void ZoomedSize(int l, int t, int r, int b, int w, int h, int* srcW, int* srcH, int* dstW, int* dstH) const;
    bool ViewIsEmpty() const;
    void HoldZoom(int x, int y);
    void OverlayTick();
    void RestartTimer(UINT_PTR id, UINT periodMs);
    void StopTimer(UINT_PTR id);
    // A move or release farther than the tap slop from the press on either axis.
    bool BeyondSlop(int x, int y) const;

    ZoomOverlay* overlay_;
    RECT view_;
    int mode_;
    int tapState_;
    HWND hwnd_;
    float zoom_;
    int pressX_, pressY_;
    int lastX_, lastY_;
    HINSTANCE hInstance_;
    RECT fit_;
    float step_;
    int centreX_, centreY_;
};
