#include "ZoomControls/ZoomController.h"

#include <cstdlib>
#include <new>

#include "ZoomControls/ImageUtil.h"
#include "ZoomControls/ZoomOverlay.h"

namespace {

constexpr UINT kTapPeriodMs = 200;
constexpr UINT kHoldPeriodMs = 600;
constexpr UINT kOverlayPeriodMs = 20;
constexpr UINT kHintPeriodMs = 100;
constexpr UINT kZoomPeriodMs = 10;

// Two presses closer than this on both axes make a double tap; a move or a
// release farther than this from the press ends the tap and the hold.
constexpr int kTapSlop = 30;
// Vertical travel after the hold has fired that turns it into drag zoom.
constexpr int kDragTravel = 20;

constexpr float kDoubleTapZoom = 2.5f;
constexpr float kDefaultStep = 0.1f;

constexpr int kButtonZoomIn = 1;
constexpr int kButtonZoomOut = 2;
constexpr int kStateDisabled = 1;
constexpr int kStateEnabled = 2;

}  // namespace

ZoomController::ZoomController()
    : overlay_(nullptr),
      view_{0, 0, 0, 0},
      mode_(ZOOM_MODE_HINT),
      tapState_(TAP_IDLE),
      hwnd_(nullptr),
      zoom_(kMinZoom),
      pressX_(0),
      pressY_(0),
      lastX_(0),
      lastY_(0),
      hInstance_(nullptr),
      fit_{0, 0, 0, 0},
      step_(kDefaultStep),
      centreX_(0),
      centreY_(0) {}

ZoomController::~ZoomController() {
    delete overlay_;
}

void ZoomController::RestartTimer(UINT_PTR id, UINT periodMs) {
    KillTimer(hwnd_, id);
    SetTimer(hwnd_, id, periodMs, nullptr);
}

void ZoomController::StopTimer(UINT_PTR id) {
    KillTimer(hwnd_, id);
}

bool ZoomController::BeyondSlop(int x, int y) const {
    return std::abs(x - pressX_) > kTapSlop || std::abs(y - pressY_) > kTapSlop;
}

void ZoomController::Create(HWND hwnd, HINSTANCE hInstance, int left, int top, int right, int bottom) {
    delete overlay_;
    overlay_ = nullptr;
    hwnd_ = hwnd;
    hInstance_ = hInstance;
    SetResourceInstance(hInstance);
    overlay_ = new (std::nothrow) ZoomOverlay;
    view_ = RECT{left, top, right, bottom};
    if (overlay_) {
        overlay_->CreateChildren();
        overlay_->SetArea(view_.left, view_.top, view_.right, view_.bottom);
        overlay_->SetButtonState(kButtonZoomOut, kStateDisabled);
    }
    zoom_ = kMinZoom;
    mode_ = ZOOM_MODE_HINT;
    tapState_ = TAP_IDLE;
}

void ZoomController::SetBounds(int left, int top, int right, int bottom) {
    view_ = RECT{left, top, right, bottom};
    if (overlay_) overlay_->SetArea(left, top, right, bottom);
}

int ZoomController::OnPress(int x, int y) {
    if (tapState_ == TAP_IDLE) {
        tapState_ = TAP_ONE_SEEN;
    } else if (tapState_ == TAP_ONE_SEEN) {
        StopTimer(TIMER_TAP);
        // pressX/pressY still hold the first tap.
        if (std::abs(pressX_ - x) < kTapSlop && std::abs(pressY_ - y) < kTapSlop) {
            tapState_ = TAP_DOUBLE_HANDLED;
            // The owner's command handler re-enters this object to start the
            // animation before the press goes on below.
            if (zoom_ > kMinZoom)
                SendMessage(hwnd_, WM_COMMAND, kCommandZoomOut, 0);
            else if (zoom_ == kMinZoom)
                SendMessage(hwnd_, WM_COMMAND, kCommandZoomIn, 0);
        } else {
            tapState_ = TAP_IDLE;
        }
    }
    pressX_ = lastX_ = x;
    pressY_ = lastY_ = y;
    RestartTimer(TIMER_HOLD, kHoldPeriodMs);
    StopTimer(TIMER_OVERLAY);
    RestartTimer(TIMER_TAP, kTapPeriodMs);
    if (overlay_) {
        overlay_->Hide();
        overlay_->SetPointer(x, y);
    }
    return 0;
}

int ZoomController::OnMove(int x, int y) {
    int result = 0;
    if (BeyondSlop(x, y)) {
        StopTimer(TIMER_HOLD);
        StopTimer(TIMER_ZOOM);
        CancelTap();
    }
    if (mode_ == ZOOM_MODE_HOLD && std::abs(y - pressY_) > kDragTravel) {
        mode_ = ZOOM_MODE_DRAG;
        StopTimer(TIMER_ZOOM);
    } else if (mode_ == ZOOM_MODE_DRAG) {
        if (overlay_) overlay_->Drag(x, y);
        result = 1;
    }
    lastX_ = x;
    lastY_ = y;
    return result;
}

void ZoomController::OnRelease(int x, int y) {
    StopTimer(TIMER_HOLD);
    StopTimer(TIMER_OVERLAY);
    StopTimer(TIMER_ZOOM);
    if (BeyondSlop(x, y)) CancelTap();
    mode_ = ZOOM_MODE_IN_ANIMATION;
    if (overlay_) overlay_->Release(x, y);
    RestartTimer(TIMER_OVERLAY, kOverlayPeriodMs);
}

int ZoomController::OnTimer(UINT_PTR id, LPARAM) {
    switch (id) {
        case TIMER_TAP:
            CancelTap();
            return 0;
        case TIMER_HOLD:
            StopTimer(TIMER_HOLD);
            HoldZoom(pressX_, pressY_);
            return 0;
        case TIMER_OVERLAY:
            OverlayTick();
            // Without an owner there is nothing to repaint (a null window would
            // mean every window).
            if (hwnd_) InvalidateRect(hwnd_, &view_, TRUE);
            return 0;
        case TIMER_ZOOM: {
            zoom_ = zoom_ + step_;
            bool ended = false;
            if (zoom_ > kDoubleTapZoom && mode_ == ZOOM_MODE_IN_ANIMATION) {
                zoom_ = kDoubleTapZoom;
                ended = true;
            } else if (zoom_ <= kMinZoom && mode_ == ZOOM_MODE_OUT_ANIMATION) {
                zoom_ = kMinZoom;
                ended = true;
            }
            if (ended) StopTimer(TIMER_ZOOM);
            return 1;
        }
        default:
            return 0;
    }
}

// The fade itself advances once per paint in the overlay's Draw; this tick only
// paces the repaints, starts the hint's fade-out once its fade-in has finished,
// and stops when nothing is left to animate.
void ZoomController::OverlayTick() {
    if (overlay_ && overlay_->IsAnimating()) return;
    if (overlay_ && mode_ == ZOOM_MODE_HINT && overlay_->IsBarVisible())
        overlay_->Fade(false);
    else
        StopTimer(TIMER_OVERLAY);
}

void ZoomController::HoldZoom(int x, int y) {
    mode_ = ZOOM_MODE_HOLD;
    if (overlay_) overlay_->ShowAt(x, y);
    RestartTimer(TIMER_OVERLAY, kOverlayPeriodMs);
    StartZoomAnimation(ZOOM_MODE_HOLD);
}

void ZoomController::CancelTap() {
    StopTimer(TIMER_TAP);
    tapState_ = TAP_IDLE;
}

void ZoomController::StartZoomAnimation(int mode) {
    mode_ = mode;
    RestartTimer(TIMER_ZOOM, kZoomPeriodMs);
    step_ = kDefaultStep;
}

void ZoomController::SetZoomStep(float step) {
    step_ = step;
}

void ZoomController::StopOverlay() {
    StopTimer(TIMER_HOLD);
    StopTimer(TIMER_OVERLAY);
    if (overlay_) overlay_->Hide();
}

void ZoomController::ShowHint() {
    mode_ = ZOOM_MODE_HINT;
    if (overlay_) {
        overlay_->SetAnchor((view_.left + view_.right) / 2 + ZoomOverlay::kSideOffset, (view_.top + view_.bottom) / 2);
        overlay_->BeginAnimation();
        overlay_->Fade(true);
    }
    RestartTimer(TIMER_OVERLAY, kHintPeriodMs);
}

void ZoomController::ClampZoom() {
    int zoomIn = kStateEnabled, zoomOut = kStateEnabled;
    if (zoom_ > kMaxZoom) {
        zoom_ = kMaxZoom;
        zoomIn = kStateDisabled;
    }
    // Also catches a zoom that is not a number (an owner's drag arithmetic over
    // an empty client area), which would otherwise stick.
    if (!(zoom_ > kMinZoom)) {
        zoom_ = kMinZoom;
        zoomOut = kStateDisabled;
    }
    // Each button is set once to its final look, so a zoom resting at a clamp
    // does not reload its grey image after every step.
    if (overlay_) {
        overlay_->SetButtonState(kButtonZoomIn, zoomIn);
        overlay_->SetButtonState(kButtonZoomOut, zoomOut);
    }
}

int ZoomController::DrawOverlay(HDC hdc) {
    return overlay_ ? overlay_->Draw(hdc) : 0;
}
