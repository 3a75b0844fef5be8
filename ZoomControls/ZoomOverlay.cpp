#include "ZoomControls/ZoomOverlay.h"

#include <new>

#include "ZoomControls/ImageUtil.h"

namespace {

// Sizes of the column in design pixels, and the horizontal offset and side
// threshold in plain client pixels.
constexpr int kButtonSize = 80;
constexpr int kBarHeight = 20;
constexpr int kGap = 5;
constexpr int kRightSideBelow = 180;

constexpr int kDesignDpi = 192;
constexpr int kFadeStep = 50;
constexpr int kFadeLowest = 5;
constexpr int kOpaque = 255;

// One device-caps value of the screen DC; -1 when there is no screen DC.
int ReadScreenDpi(int index) {
    HDC screen = GetDC(nullptr);
    if (!screen) return -1;
    int dpi = GetDeviceCaps(screen, index);
    ReleaseDC(nullptr, screen);
    return dpi;
}

}  // namespace

int ScaleForDpi(int n, int dpi) {
    // A failed read would make every size of the column 0 (or negative for a
    // garbage value); the designed size is the better guess.
    if (dpi <= 0) dpi = kDesignDpi;
    return (n * dpi + kDesignDpi / 2) / kDesignDpi;
}

int ScaleX(int n) {
    static const int dpiX = ReadScreenDpi(LOGPIXELSX);
    return ScaleForDpi(n, dpiX);
}

int ScaleY(int n) {
    static const int dpiY = ReadScreenDpi(LOGPIXELSY);
    return ScaleForDpi(n, dpiY);
}

ZoomOverlay::ZoomOverlay()
    : bar_(nullptr),
      zoomInButton_(nullptr),
      zoomOutButton_(nullptr),
      anchorX_(0),
      anchorY_(0),
      pointerX_(0),
      pointerY_(0),
      fadeAlpha_(kOpaque),
      fadeDir_(1),
      fading_(0),
      zoomInImageId_(0),
      zoomOutImageId_(0),
      busy_(0),
      area_{0, 0, 0, 0},
      minCentreY_(0),
      maxCentreY_(0) {}

// The children are owned through the child list and go with ZelControl's part.
ZoomOverlay::~ZoomOverlay() {
    bar_ = nullptr;
    zoomInButton_ = nullptr;
    zoomOutButton_ = nullptr;
}

void ZoomOverlay::CreateChildren() {
    auto make = [this](int id) -> ZelImageControl* {
        ZelImageControl* child = new (std::nothrow) ZelImageControl(id);
        if (!child) return nullptr;
        child->EnableAlphaBlend();
        AddChild(child, -1);
        return child;
    };
    zoomInButton_ = make(IMAGE_ZOOM_IN_ENABLED);
    zoomInImageId_ = IMAGE_ZOOM_IN_ENABLED;
    zoomOutButton_ = make(IMAGE_ZOOM_OUT_ENABLED);
    zoomOutImageId_ = IMAGE_ZOOM_OUT_ENABLED;
    bar_ = make(IMAGE_ZOOM_BAR);
    SetChildrenVisible(false);
}

void ZoomOverlay::SetArea(int left, int top, int right, int bottom) {
    area_ = RECT{left, top, right, bottom};
}

int ZoomOverlay::SetPointer(int x, int y) {
    pointerX_ = x;
    pointerY_ = y;
    return 0;
}

void ZoomOverlay::SetAnchor(int x, int y) {
    anchorX_ = x;
    anchorY_ = y;
    Layout(x, y);
}

int ZoomOverlay::ClampCentreY(int y) const {
    if (y < minCentreY_) return minCentreY_;
    if (y > maxCentreY_) return maxCentreY_;
    return y;
}

void ZoomOverlay::Layout(int x, int y) {
    const int halfBar = ScaleY(kBarHeight) / 2;
    const int half = halfBar + ScaleY(kButtonSize) + ScaleY(kGap);
    minCentreY_ = half;
    maxCentreY_ = area_.bottom - half;
    const int cy = ClampCentreY(y);
    const int cx = x < kRightSideBelow ? x + kSideOffset : x - kSideOffset;

    const int left = cx - ScaleX(kButtonSize) / 2;
    const int right = left + ScaleX(kButtonSize);
    const int barTop = cy - halfBar;
    const int barBottom = barTop + ScaleY(kBarHeight);
    const int inBottom = barTop - ScaleY(kGap);
    const int outTop = barBottom + ScaleY(kGap);
    if (bar_) bar_->SetRect(left, barTop, right, barBottom, 1);
    if (zoomInButton_) zoomInButton_->SetRect(left, inBottom - ScaleY(kButtonSize), right, inBottom, 1);
    if (zoomOutButton_) zoomOutButton_->SetRect(left, outTop, right, outTop + ScaleY(kButtonSize), 1);
}

void ZoomOverlay::ShowAt(int x, int y) {
    SetAnchor(x, y);
    Fade(true);
    busy_ = 1;
}

int ZoomOverlay::Drag(int x, int y) {
    pointerX_ = x;
    pointerY_ = y;
    const int yc = ClampCentreY(y);
    const int reach = ScaleY(kBarHeight) / 2 + ScaleY(kGap);
    int inBottom, outTop;
    if (yc < anchorY_) {
        inBottom = yc - reach;
        outTop = anchorY_ + reach;
    } else {
        inBottom = anchorY_ - reach;
        outTop = yc + reach;
    }
    RECT r;
    if (zoomInButton_) {
        zoomInButton_->GetRect(&r);
        zoomInButton_->SetRect(r.left, inBottom - ScaleY(kButtonSize), r.right, inBottom, 1);
    }
    if (zoomOutButton_) {
        zoomOutButton_->GetRect(&r);
        zoomOutButton_->SetRect(r.left, outTop, r.right, outTop + ScaleY(kButtonSize), 1);
    }
    return 0;
}

int ZoomOverlay::Release(int x, int y) {
    pointerX_ = x;
    pointerY_ = y;
    Fade(false);
    busy_ = 1;
    return 0;
}

void ZoomOverlay::BeginAnimation() {
    busy_ = 1;
}

int ZoomOverlay::IsBarVisible() const {
    return bar_ ? bar_->IsVisible() : 0;
}

void ZoomOverlay::Fade(bool show) {
    if ((show ? 1 : 0) == IsBarVisible()) return;
    // A fade that turns round keeps the opacity it has reached.
    if (show) {
        if (!fading_) fadeAlpha_ = kFadeLowest;
        fadeDir_ = 1;
        SetChildrenVisible(true);
    } else {
        if (!fading_) fadeAlpha_ = kOpaque;
        fadeDir_ = -1;
    }
    fading_ = 1;
}

void ZoomOverlay::Hide() {
    fadeAlpha_ = 0;
    SetChildrenVisible(false);
}

void ZoomOverlay::SetChildrenVisible(bool show) {
    for (ZelImageControl* child : {zoomInButton_, zoomOutButton_, bar_})
        if (child) child->SetVisible(show ? 1 : 0, 1);
}

void ZoomOverlay::SetButtonState(int button, int state) {
    ZelImageControl* target;
    int* shown;
    int wanted;
    if (button == 1) {
        target = zoomInButton_;
        shown = &zoomInImageId_;
        wanted = state == 1 ? IMAGE_ZOOM_IN_DISABLED : IMAGE_ZOOM_IN_ENABLED;
    } else if (button == 2) {
        target = zoomOutButton_;
        shown = &zoomOutImageId_;
        wanted = state == 1 ? IMAGE_ZOOM_OUT_DISABLED : IMAGE_ZOOM_OUT_ENABLED;
    } else {
        return;
    }
    // Loading decodes a PNG; it happens only when the look really changes.
    if (wanted == *shown || !target) return;
    *shown = wanted;
    ImageRef image;
    LoadResourceImage(image, GetResourceInstance(), wanted);
    target->SetImage(image);
}

int ZoomOverlay::Draw(HDC hdc) {
    if (!fading_) return ZelControl::Draw(hdc);
    SetGlobalAlpha(fadeAlpha_);
    int result = ZelControl::Draw(hdc);
    StepFade();
    SetGlobalAlpha(kOpaque);
    return result;
}

void ZoomOverlay::StepFade() {
    fadeAlpha_ += fadeDir_ * kFadeStep;
    if (fadeAlpha_ < kFadeLowest) {
        fadeAlpha_ = kFadeLowest;
        SetChildrenVisible(false);
        fading_ = 0;
        busy_ = 0;
    } else if (fadeAlpha_ > kOpaque) {
        fadeAlpha_ = kOpaque;
        fading_ = 0;
        busy_ = 0;
    }
}

RECT ZoomOverlay::GetColumnRect() const {
    RECT out{0, 0, 0, 0};
    bool any = false;
    for (ZelImageControl* child : {zoomInButton_, zoomOutButton_, bar_}) {
        if (!child) continue;
        RECT r;
        child->GetRect(&r);
        if (!any) {
            out = r;
            any = true;
            continue;
        }
        if (r.left < out.left) out.left = r.left;
        if (r.top < out.top) out.top = r.top;
        if (r.right > out.right) out.right = r.right;
        if (r.bottom > out.bottom) out.bottom = r.bottom;
    }
    return out;
}
