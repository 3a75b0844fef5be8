// The zoom overlay: a column of a zoom-in arrow button, a thin bar and a
// zoom-out arrow button shown beside the finger while the stylus zooms, drawn
// with per-pixel alpha and faded in and out one step per paint.
#pragma once

#include "ZoomControls/ZelControl.h"
#include "platform/win32.h"

// IMAGE resources of the column (80 x 80 buttons, an 80 x 20 bar, in pixels of
// a 192-dpi screen). Enabled buttons are orange, disabled ones grey.
enum ZoomOverlayImage {
    IMAGE_ZOOM_IN_ENABLED = 173,
    IMAGE_ZOOM_OUT_DISABLED = 174,
    IMAGE_ZOOM_IN_DISABLED = 175,
    IMAGE_ZOOM_OUT_ENABLED = 176,
    IMAGE_ZOOM_BAR = 177,
};

// Scales a size n designed for 192 dpi to a screen of `dpi` dots per inch:
// (n x dpi + 96) / 192, truncating. A dpi that could not be read (0 or less)
// keeps the designed size.
int ScaleForDpi(int n, int dpi);
// The same with the screen's horizontal or vertical resolution, read once from
// the screen DC and kept for the life of the process.
int ScaleX(int n);
int ScaleY(int n);

class ZoomOverlay : public ZelControl {
public:
    // How far beside the anchor the column's centre sits, in client pixels.
    static constexpr int kSideOffset = 95;

    ZoomOverlay();
    ~ZoomOverlay() override;
    // Draws the visible children at the fade opacity and advances a running
    // fade by one step. Returns the children's drawing result.
    int Draw(HDC hdc) override;

    // Creates the zoom-in button, the zoom-out button and the bar (in that
    // drawing order), all hidden. A child that cannot be made is left out.
    void CreateChildren();
    // The photo area the column must stay in; only its bottom is used.
    void SetArea(int left, int top, int right, int bottom);
    int SetPointer(int x, int y);
    void SetAnchor(int x, int y);
    // Places the column beside (x, y): right of it when x < 180, else left,
    // with its centre kept inside the area.
    void Layout(int x, int y);
    void ShowAt(int x, int y);
    // Moves the button on the side the finger went towards along with it.
    int Drag(int x, int y);
    int Release(int x, int y);
    void BeginAnimation();
    int IsAnimating() const { return busy_; }
    int IsBarVisible() const;
    void Fade(bool show);
    void Hide();
    void SetChildrenVisible(bool show);
    // button 1 zoom-in, 2 zoom-out; state 1 disabled (grey), other enabled.
    void SetButtonState(int button, int state);
    void StepFade();

    // Read-only views for the owner's state report and for tests.
    int GetFadeAlpha() const { return fadeAlpha_; }
    int GetFadeDir() const { return fadeDir_; }
    int IsFading() const { return fading_; }
    int GetZoomInImageId() const { return zoomInImageId_; }
    int GetZoomOutImageId() const { return zoomOutImageId_; }
    POINT GetAnchor() const { return POINT{anchorX_, anchorY_}; }
    POINT GetPointer() const { return POINT{pointerX_, pointerY_}; }
    int GetMinCentreY() const { return minCentreY_; }
    int GetMaxCentreY() const { return maxCentreY_; }
    ZelImageControl* GetBar() const { return bar_; }
    ZelImageControl* GetZoomInButton() const { return zoomInButton_; }
    ZelImageControl* GetZoomOutButton() const { return zoomOutButton_; }
    // The smallest rectangle holding the three children (all zero without any).
    RECT GetColumnRect() const;

private:
    int ClampCentreY(int y) const;

    ZelImageControl* bar_;
    ZelImageControl* zoomInButton_;
    ZelImageControl* zoomOutButton_;
    int anchorX_, anchorY_;
    int pointerX_, pointerY_;
    int fadeAlpha_;
    int fadeDir_;
    int fading_;
    int zoomInImageId_;
    int zoomOutImageId_;
    int busy_;
    RECT area_;
    int minCentreY_, maxCentreY_;
};
