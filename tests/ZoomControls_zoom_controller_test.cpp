// The zoom gesture controller and its overlay through a real owner window on
// the virtual clock: the boundaries of the tap, hold and drag gestures, the
// button looks, the fades and the hint. The gestures themselves are also
// checked in the main window by app_zoom_test.cpp.
#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "ZoomControls/ImageUtil.h"
#include "ZoomControls/ZelControl.h"
#include "ZoomControls/ZoomController.h"
#include "ZoomControls/ZoomOverlay.h"
#include "platform/Platform.h"
#include "platform/resources.h"
#include "support/TestFiles.h"

namespace {

using platform::ScriptCommand;

// The photo area of a 480 x 640 client area less the 80-pixel button bar.
constexpr int kRight = 479;
constexpr int kBottom = 559;
// Half the column's height at 192 dpi: half the bar, a button, a gap.
constexpr int kHalfColumn = 10 + 80 + 5;

// The overlay's PNGs, read from the repository's art and registered as the
// IMAGE resources of a module of the test's own.
const platform::ResourceModule* OverlayModule() {
    static std::vector<std::vector<unsigned char>> files;
    static std::vector<platform::BinaryResource> binaries;
    static platform::ResourceModule module{};
    if (binaries.empty()) {
        const char* art[] = {"173_zoomin_enabled", "174_zoomout_disabled", "175_zoomin_disabled", "176_zoomout_enabled",
                             "177_zoom_bar"};
        files.reserve(std::size(art));
        for (const char* name : art) {
            files.push_back(
                testing_support::ReadBytes(std::string(LUMETRA_SOURCE_DIR) + "/resources/art/" + name + ".png"));
            binaries.push_back({L"IMAGE", atoi(name), files.back().data(), files.back().size()});
        }
        module = {nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, binaries.data(), (int)binaries.size()};
    }
    return &module;
}

HINSTANCE OverlayInstance() {
    return reinterpret_cast<HINSTANCE>(const_cast<platform::ResourceModule*>(OverlayModule()));
}

ScriptCommand Do(std::function<void()> f) {
    ScriptCommand c(ScriptCommand::Call);
    c.call = std::move(f);
    return c;
}

ScriptCommand Wait(int ms) {
    return ScriptCommand(ScriptCommand::Wait, ms);
}

// What the owner window saw. Its procedure plays the main window: it forwards
// every timer and clamps after each zoom step, and lets the controller draw its
// overlay into a back buffer on every paint.
struct OwnerLog {
    ZoomController* controller = nullptr;
    std::vector<WPARAM> commands;
    std::vector<float> zoomSteps;     // the zoom after each step, clamped
    std::vector<DWORD> overlayTicks;  // when TIMER_OVERLAY arrived
    std::vector<int> fadeOpacities;   // the opacity of each paint drawn while fading
    int tapStateDuringCommand = 0;
};
OwnerLog g_owner;

LRESULT OwnerProc(HWND h, UINT m, WPARAM w, LPARAM l) {
    ZoomController* zc = g_owner.controller;
    switch (m) {
        case WM_COMMAND:
            g_owner.commands.push_back(w);
            if (zc) g_owner.tapStateDuringCommand = zc->GetTapState();
            return 0;
        case WM_TIMER:
            if (w == TIMER_OVERLAY) g_owner.overlayTicks.push_back(GetTickCount());
            if (zc && zc->OnTimer(w, l)) {
                zc->ClampZoom();
                g_owner.zoomSteps.push_back(zc->GetZoom());
            }
            return 0;
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(h, &ps);
            if (zc) {
                ZoomOverlay* overlay = zc->GetOverlay();
                if (overlay && overlay->IsFading()) g_owner.fadeOpacities.push_back(overlay->GetFadeAlpha());
                HDC back = CreateBackBuffer(h, dc);
                zc->DrawOverlay(back);
                if (back) ReleaseBackBuffer(back);
            }
            EndPaint(h, &ps);
            return 0;
        }
        default:
            return DefWindowProc(h, m, w, l);
    }
}

// A rectangle as {left, top, right, bottom}, for comparisons.
std::vector<int> V(const RECT& r) {
    return {r.left, r.top, r.right, r.bottom};
}

std::vector<int> RectOf(ZelControl* c) {
    RECT r{};
    if (c) c->GetRect(&r);
    return V(r);
}

// A headless platform with the owner window and a controller created on its
// photo area; the script runs inside the message loop that Run() turns.
class ZoomOwner : public ::testing::Test {
protected:
    // Starts afresh, after the previous start's platform if there was one.
    void Start(std::vector<ScriptCommand> script = {}) {
        if (zc) TearDown();
        g_owner = OwnerLog{};
        platform::Options o;
        o.headless = true;
        o.runtimeDir = dir.path();
        o.configDir = dir.path();
        o.script = std::move(script);
        ASSERT_TRUE(platform::Initialize(o));
        platform::RegisterResourceModule(OverlayInstance(), OverlayModule());
        WNDCLASS wc{};
        wc.lpfnWndProc = OwnerProc;
        wc.lpszClassName = L"ZoomOwner";
        RegisterClass(&wc);
        window = CreateWindow(L"ZoomOwner", L"Owner", WS_VISIBLE, 0, 52, 480, 640, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(nullptr, window);
        zc = new ZoomController;
        zc->Create(window, OverlayInstance(), 0, 0, kRight, kBottom);
        g_owner.controller = zc;
        overlay = zc->GetOverlay();
        ASSERT_NE(nullptr, overlay);
        ASSERT_EQ(80, ScaleX(80)) << "the headless screen reports 192 dpi, the design resolution";
        ASSERT_EQ(80, ScaleY(80));
    }
    void Run() {
        MSG msg;
        while (GetMessage(&msg, nullptr, 0, 0)) {
            TranslateMessage(&msg);
            DispatchMessage(&msg);
        }
    }
    void TearDown() override {
        g_owner.controller = nullptr;
        delete zc;
        zc = nullptr;
        platform::Shutdown();
    }
    // Runs a press-and-hold at (x, y) until the hold has fired.
    void HoldAt(int x, int y) {
        Start({Do([this, x, y] { zc->OnPress(x, y); }), Wait(600)});
        Run();
        ASSERT_EQ(ZOOM_MODE_HOLD, zc->GetMode());
    }
    std::function<void()> Press(int x, int y) {
        return [this, x, y] { zc->OnPress(x, y); };
    }

    testing_support::TempDir dir;
    HWND window = nullptr;
    ZoomController* zc = nullptr;
    ZoomOverlay* overlay = nullptr;
};

// ---------------------------------------------------------------------------
// Double tap

TEST_F(ZoomOwner, ADoubleTapNeedsTwoPressesWithin29PixelsAnd200MsAboveTheFittedZoom) {
    struct Case {
        const char* name;
        float zoom;
        int wait, x, y;  // the second press, after the first at (100, 100)
        bool zoomsIn;
        int tapState;
    } cases[] = {{"29 px apart", 1.0f, 150, 71, 129, true, TAP_DOUBLE_HANDLED},
                 {"30 px apart", 1.0f, 150, 130, 100, false, TAP_IDLE},
                 {"200 ms apart", 1.0f, 200, 100, 100, false, TAP_ONE_SEEN},
                 {"below the fit", 0.9f, 150, 100, 100, false, TAP_DOUBLE_HANDLED}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        size_t sentInPress = 99;
        Start({Do(Press(100, 100)), Wait(c.wait), Do([&] {
                   zc->OnPress(c.x, c.y);
                   sentInPress = g_owner.commands.size();
               }),
               Wait(20)});
        zc->SetZoom(c.zoom);
        Run();
        EXPECT_EQ(c.zoomsIn ? 1u : 0u, sentInPress) << "the command is sent synchronously from the press";
        EXPECT_EQ(c.zoomsIn ? std::vector<WPARAM>{ZoomController::kCommandZoomIn} : std::vector<WPARAM>{},
                  g_owner.commands);
        EXPECT_EQ(c.zoomsIn ? TAP_DOUBLE_HANDLED : 0, g_owner.tapStateDuringCommand);
        EXPECT_EQ(c.tapState, zc->GetTapState());
    }
}

TEST_F(ZoomOwner, AMoveOrReleaseFarFromThePressEndsTheTapButANearOneDoesNot) {
    int afterNearRelease = 0, afterFarMove = 0;
    Start({Do(Press(100, 100)), Do([&] {
               zc->OnRelease(130, 70);
               afterNearRelease = zc->GetTapState();
               zc->OnMove(131, 100);
               afterFarMove = zc->GetTapState();
           }),
           Wait(50), Do(Press(100, 100))});
    Run();
    EXPECT_EQ(TAP_ONE_SEEN, afterNearRelease);
    EXPECT_EQ(TAP_IDLE, afterFarMove);
    EXPECT_TRUE(g_owner.commands.empty());
}

// ---------------------------------------------------------------------------
// Press and hold

TEST_F(ZoomOwner, HoldingStillForSixHundredMillisecondsStartsHoldZoom) {
    int modeJustBefore = -1, barJustBefore = -1;
    Start({Do(Press(100, 300)), Wait(599), Do([&] {
               modeJustBefore = zc->GetMode();
               barJustBefore = overlay->IsBarVisible();
           }),
           Wait(1)});
    Run();
    EXPECT_EQ(ZOOM_MODE_HINT, modeJustBefore);
    EXPECT_EQ(0, barJustBefore);
    EXPECT_EQ(ZOOM_MODE_HOLD, zc->GetMode());
    EXPECT_EQ(1, overlay->IsBarVisible());
}

TEST_F(ZoomOwner, AMoveOfMoreThanThirtyPixelsOnEitherAxisBeforeTheHoldCancelsIt) {
    struct Case {
        int dx, dy;
        bool holds;
    } cases[] = {{30, 30, true}, {31, 0, false}, {0, 31, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.dx << ", " << c.dy);
        Start({Do(Press(100, 100)), Wait(300), Do([&] { zc->OnMove(100 + c.dx, 100 + c.dy); }), Wait(350)});
        Run();
        EXPECT_EQ(c.holds ? ZOOM_MODE_HOLD : ZOOM_MODE_HINT, zc->GetMode());
        EXPECT_EQ((int)c.holds, overlay->IsBarVisible());
        EXPECT_EQ(c.holds, !g_owner.zoomSteps.empty());
    }
}

TEST_F(ZoomOwner, TheColumnAppearsRightOfAFingerLeftOf180AndLeftOfItOtherwise) {
    HoldAt(179, 300);
    // Centre 179 + 95 = 274, 80 wide, from half a column above the finger to half below.
    EXPECT_EQ((std::vector<int>{234, 205, 314, 395}), V(overlay->GetColumnRect()));
    EXPECT_EQ(179, overlay->GetAnchor().x);
    HoldAt(180, 300);
    EXPECT_EQ((std::vector<int>{45, 205, 125, 395}), V(overlay->GetColumnRect())) << "centre 180 - 95 = 85";
}

TEST_F(ZoomOwner, AHoldAtTheBottomKeepsTheColumnInsideThePhotoArea) {
    HoldAt(300, 555);
    std::vector<int> bar = RectOf(overlay->GetBar());
    EXPECT_EQ(kBottom - kHalfColumn, (bar[1] + bar[3]) / 2);
    EXPECT_EQ(kBottom, overlay->GetColumnRect().bottom);
}

TEST_F(ZoomOwner, HoldZoomKeepsTickingAtTheLimitUntilAMoveOrTheRelease) {
    Start({Do(Press(300, 300)), Wait(600 + 1000)});
    Run();
    EXPECT_EQ(10.0f, zc->GetZoom());
    EXPECT_EQ(ZOOM_MODE_HOLD, zc->GetMode());
    EXPECT_EQ(100u, g_owner.zoomSteps.size());
}

TEST_F(ZoomOwner, AVerticalMoveOfMoreThan20PixelsDragsAndTheButtonsFollowTheFinger) {
    HoldAt(300, 300);
    EXPECT_EQ(0, zc->OnMove(300, 320));
    EXPECT_EQ(ZOOM_MODE_HOLD, zc->GetMode()) << "20 pixels are not yet a drag";
    EXPECT_EQ(0, zc->OnMove(300, 321)) << "the switching move itself drags nothing";
    EXPECT_EQ(ZOOM_MODE_DRAG, zc->GetMode());
    // Down: the zoom-out button follows the finger, the rest stays.
    EXPECT_EQ(1, zc->OnMove(300, 400));
    EXPECT_EQ((std::vector<int>{165, 415, 245, 495}), RectOf(overlay->GetZoomOutButton()));
    EXPECT_EQ((std::vector<int>{165, 205, 245, 285}), RectOf(overlay->GetZoomInButton()));
    EXPECT_EQ((std::vector<int>{165, 290, 245, 310}), RectOf(overlay->GetBar()));
    // Up: the zoom-in button moves and the zoom-out button goes back.
    EXPECT_EQ(1, zc->OnMove(300, 200));
    EXPECT_EQ((std::vector<int>{165, 105, 245, 185}), RectOf(overlay->GetZoomInButton()));
    EXPECT_EQ((std::vector<int>{165, 315, 245, 395}), RectOf(overlay->GetZoomOutButton()));
    EXPECT_EQ(200, overlay->GetPointer().y);
    // Beyond the top the button stops where a column centred at the limit would have it.
    zc->OnMove(300, -50);
    EXPECT_EQ(kHalfColumn - 15, RectOf(overlay->GetZoomInButton())[3]);
}

TEST_F(ZoomOwner, TheColumnsRepaintTimerStopsOnceItHasFadedOutAfterTheRelease) {
    Start({Do(Press(300, 300)), Wait(700), Do([this] { zc->OnRelease(300, 300); }), Wait(500)});
    Run();
    EXPECT_EQ(0, overlay->IsAnimating());
    ASSERT_FALSE(g_owner.overlayTicks.empty());
    EXPECT_LT(g_owner.overlayTicks.back(), 1000u);
}

TEST_F(ZoomOwner, StartingAnAnimationSetsItsModeAndTheDefaultStep) {
    Start();
    zc->SetZoomStep(0.7f);
    zc->StartZoomAnimation(ZOOM_MODE_IN_ANIMATION);
    EXPECT_EQ(ZOOM_MODE_IN_ANIMATION, zc->GetMode());
    EXPECT_EQ(0.1f, zc->GetStep());
}

// ---------------------------------------------------------------------------
// Button looks

TEST_F(ZoomOwner, CreateStartsInHintModeAtTheFittedZoomWithZoomOutGrey) {
    Start();
    EXPECT_EQ(ZOOM_MODE_HINT, zc->GetMode());
    EXPECT_EQ(1.0f, zc->GetZoom());
    EXPECT_EQ(TAP_IDLE, zc->GetTapState());
    EXPECT_EQ(OverlayInstance(), GetResourceInstance());
    EXPECT_EQ(IMAGE_ZOOM_IN_ENABLED, overlay->GetZoomInImageId());
    EXPECT_EQ(IMAGE_ZOOM_OUT_DISABLED, overlay->GetZoomOutButton()->GetImage()->resourceId);
    // Drawing order: zoom-in button, zoom-out button, bar; all hidden.
    ASSERT_EQ(3, overlay->GetChildCount());
    EXPECT_EQ(overlay->GetZoomInButton(), overlay->GetChildControl(0));
    EXPECT_EQ(overlay->GetZoomOutButton(), overlay->GetChildControl(1));
    EXPECT_EQ(overlay->GetBar(), overlay->GetChildControl(2));
    EXPECT_EQ(IMAGE_ZOOM_BAR, overlay->GetBar()->GetImage()->resourceId);
    for (int i = 0; i < 3; i++) EXPECT_EQ(0, overlay->GetChildControl(i)->IsVisible()) << i;
}

TEST_F(ZoomOwner, ClampZoomKeepsTheRangeAndGreysTheExhaustedDirection) {
    Start();
    struct Case {
        float zoom, clamped;
        int in, out;
    } cases[] = {{10.4f, 10.0f, IMAGE_ZOOM_IN_DISABLED, IMAGE_ZOOM_OUT_ENABLED},
                 {0.9f, 1.0f, IMAGE_ZOOM_IN_ENABLED, IMAGE_ZOOM_OUT_DISABLED},
                 {3.0f, 3.0f, IMAGE_ZOOM_IN_ENABLED, IMAGE_ZOOM_OUT_ENABLED},
                 {10.0f, 10.0f, IMAGE_ZOOM_IN_ENABLED, IMAGE_ZOOM_OUT_ENABLED},
                 {1.0f, 1.0f, IMAGE_ZOOM_IN_ENABLED, IMAGE_ZOOM_OUT_DISABLED},
                 {std::numeric_limits<float>::quiet_NaN(), 1.0f, IMAGE_ZOOM_IN_ENABLED, IMAGE_ZOOM_OUT_DISABLED}};
    for (const Case& c : cases) {
        zc->SetZoom(c.zoom);
        zc->ClampZoom();
        EXPECT_EQ(c.clamped, zc->GetZoom()) << c.zoom;
        EXPECT_EQ(c.in, overlay->GetZoomInImageId()) << c.zoom;
        EXPECT_EQ(c.out, overlay->GetZoomOutImageId()) << c.zoom;
        EXPECT_EQ(c.in, overlay->GetZoomInButton()->GetImage()->resourceId) << c.zoom;
        EXPECT_EQ(c.out, overlay->GetZoomOutButton()->GetImage()->resourceId) << c.zoom;
    }
}

TEST_F(ZoomOwner, ClampZoomLoadsAButtonImageOnlyWhenItsLookChanges) {
    Start();
    overlay->SetAnchor(300, 300);
    overlay->SetChildrenVisible(true);
    zc->SetZoom(1.0f);
    zc->ClampZoom();
    zc->DrawOverlay(nullptr);  // decodes each shown image once
    auto decoded = [](ZelImageControl* button) { return button->GetImage()->cache.Scan0 != nullptr; };
    ASSERT_TRUE(decoded(overlay->GetZoomOutButton()));
    ASSERT_TRUE(decoded(overlay->GetZoomInButton()));
    // The zoom rests at its lower limit while the owner clamps after every step.
    for (int i = 0; i < 5; i++) zc->ClampZoom();
    EXPECT_TRUE(decoded(overlay->GetZoomOutButton())) << "the grey image was not loaded afresh";
    EXPECT_TRUE(decoded(overlay->GetZoomInButton()));
    zc->SetZoom(2.0f);
    zc->ClampZoom();
    EXPECT_FALSE(decoded(overlay->GetZoomOutButton())) << "the orange image is a new one, decoded on its first draw";
    EXPECT_EQ(IMAGE_ZOOM_OUT_ENABLED, overlay->GetZoomOutButton()->GetImage()->resourceId);
    EXPECT_TRUE(decoded(overlay->GetZoomInButton()));
}

TEST_F(ZoomOwner, OnlyButtonsOneAndTwoHaveLooks) {
    Start();
    overlay->SetButtonState(3, 1);
    overlay->SetButtonState(0, 1);
    EXPECT_EQ(IMAGE_ZOOM_IN_ENABLED, overlay->GetZoomInImageId());
    EXPECT_EQ(IMAGE_ZOOM_OUT_DISABLED, overlay->GetZoomOutImageId());
    overlay->SetButtonState(1, 7);
    EXPECT_EQ(IMAGE_ZOOM_IN_ENABLED, overlay->GetZoomInImageId()) << "any state but 1 is enabled";
}

// ---------------------------------------------------------------------------
// The hint and stopping the overlay

TEST_F(ZoomOwner, TheHintRepaintsEvery100MsUntilItHasFadedOut) {
    size_t ticksAt2500 = 0;
    Start({Wait(2500), Do([&] { ticksAt2500 = g_owner.overlayTicks.size(); }), Wait(500)});
    zc->ShowHint();
    Run();
    EXPECT_EQ(12u, g_owner.fadeOpacities.size()) << "six paints in, six out";
    ASSERT_FALSE(g_owner.overlayTicks.empty());
    EXPECT_EQ(ticksAt2500, g_owner.overlayTicks.size()) << "no ticks after the fade-out";
    EXPECT_EQ(0u, g_owner.overlayTicks.front() % 100);
}

TEST_F(ZoomOwner, StopOverlayHidesTheColumnAtOnceAndStopsItsTimer) {
    Start({Wait(250), Do([this] { zc->StopOverlay(); }), Wait(500)});
    zc->ShowHint();
    Run();
    EXPECT_EQ(0, overlay->IsBarVisible());
    EXPECT_EQ(0, overlay->GetFadeAlpha());
    ASSERT_FALSE(g_owner.overlayTicks.empty());
    EXPECT_LE(g_owner.overlayTicks.back(), 250u);
}

TEST_F(ZoomOwner, APressHidesTheHint) {
    Start({Wait(250), Do(Press(50, 50)), Wait(100)});
    zc->ShowHint();
    Run();
    EXPECT_EQ(0, overlay->IsBarVisible());
    EXPECT_EQ(50, overlay->GetPointer().x);
}

// ---------------------------------------------------------------------------
// The overlay on its own

// A child that records the opacity it is drawn at.
class OpacityProbe : public ZelControl {
public:
    explicit OpacityProbe(std::vector<int>* seen) : seen_(seen) {}
    int Draw(HDC) override {
        seen_->push_back(GetGlobalAlpha());
        return 0;
    }

private:
    std::vector<int>* seen_;
};

class ZoomOverlayColumn : public ZoomOwner {
protected:
    void SetUp() override {
        Start();
        column.SetArea(0, 0, kRight, kBottom);
        column.CreateChildren();
        column.AddChild(new OpacityProbe(&seen), -1);
    }
    void TearDown() override {
        owned.reset();
        ZoomOwner::TearDown();
    }
    void DrawTimes(int n) {
        for (int i = 0; i < n; i++) {
            column.Draw(nullptr);
            EXPECT_EQ(255, GetGlobalAlpha()) << "the opacity is restored after each draw";
        }
    }
    // Released before the platform shuts down, with the images it holds.
    std::unique_ptr<ZoomOverlay> owned = std::make_unique<ZoomOverlay>();
    ZoomOverlay& column = *owned;
    std::vector<int> seen;
};

TEST_F(ZoomOverlayColumn, AFadeInOrOutTakesSixDrawsAndAFadeOutThenHidesTheColumn) {
    column.ShowAt(200, 200);
    EXPECT_EQ(1, column.IsAnimating());
    DrawTimes(7);
    EXPECT_EQ((std::vector<int>{5, 55, 105, 155, 205, 255, 255}), seen);
    EXPECT_EQ(0, column.IsAnimating());
    EXPECT_EQ(1, column.IsBarVisible());
    seen.clear();
    column.Release(200, 200);
    EXPECT_EQ(1, column.IsAnimating());
    DrawTimes(6);
    EXPECT_EQ((std::vector<int>{255, 205, 155, 105, 55, 5}), seen);
    for (ZelImageControl* c : {column.GetBar(), column.GetZoomInButton(), column.GetZoomOutButton()})
        EXPECT_EQ(0, c->IsVisible());
    EXPECT_EQ(0, column.IsAnimating());
}

TEST_F(ZoomOverlayColumn, AFadeTurnedMidwayGoesBackFromTheOpacityReached) {
    column.Fade(true);
    DrawTimes(3);
    column.Fade(false);
    DrawTimes(4);
    EXPECT_EQ((std::vector<int>{5, 55, 105, 155, 105, 55, 5}), seen);
    EXPECT_EQ(0, column.IsBarVisible());
}

TEST_F(ZoomOverlayColumn, FadingToWhatIsShownChangesNothingAndHideIsImmediate) {
    column.Fade(false);
    EXPECT_EQ(0, column.IsFading()) << "already hidden";
    column.Fade(true);
    DrawTimes(6);
    column.Fade(true);
    EXPECT_EQ(0, column.IsFading()) << "already shown";
    EXPECT_EQ(255, column.GetFadeAlpha());
    column.ShowAt(200, 200);
    DrawTimes(2);
    column.Hide();
    EXPECT_EQ(0, column.GetFadeAlpha());
    for (ZelImageControl* c : {column.GetBar(), column.GetZoomInButton(), column.GetZoomOutButton()})
        EXPECT_EQ(0, c->IsVisible());
}

TEST_F(ZoomOverlayColumn, ASetAnchorLaysOutWithoutShowingInsideTheAreaSetLast) {
    column.SetAnchor(400, 100);
    EXPECT_EQ((std::vector<int>{265, 5, 345, 195}), V(column.GetColumnRect()));
    EXPECT_EQ(0, column.IsBarVisible());
    EXPECT_EQ(kHalfColumn, column.GetMinCentreY());
    EXPECT_EQ(kBottom - kHalfColumn, column.GetMaxCentreY());
    column.SetArea(0, 0, kRight, 300);
    column.SetAnchor(100, 290);
    EXPECT_EQ(300, column.GetColumnRect().bottom);
}

TEST_F(ZoomOverlayColumn, APaintedColumnShowsOrangeButtonsThatTurnGreyWhenDisabled) {
    column.ShowAt(100, 200);  // zoom-in button at (155, 105)-(235, 185)
    DrawTimes(6);             // faded in
    HDC screen = GetDC(window);
    HDC back = CreateBackBuffer(window, screen);
    ASSERT_NE(nullptr, back);
    // Pixel (12, 40) of the button's art, drawn over black: orange (241, 136,
    // 41) when enabled, grey (134, 136, 140) when disabled.
    auto paint = [&] {
        RECT all{0, 0, 480, 640};
        FillRect(back, &all, (HBRUSH)GetStockObject(BLACK_BRUSH));
        column.Draw(back);
        COLORREF c = GetPixel(back, 155 + 12, 105 + 40);
        return std::vector<int>{(int)(c & 0xFF), (int)((c >> 8) & 0xFF), (int)((c >> 16) & 0xFF)};
    };
    std::vector<int> orange = paint();
    EXPECT_GT(orange[0], 200);
    EXPECT_LT(orange[2], 80);
    column.SetButtonState(1, 1);
    std::vector<int> grey = paint();
    EXPECT_NEAR(grey[0], grey[2], 16);
    EXPECT_GT(grey[0], 60);
    column.Hide();
    EXPECT_EQ((std::vector<int>{0, 0, 0}), paint()) << "a hidden column draws nothing";
    ReleaseBackBuffer(back);
    ReleaseDC(window, screen);
}

TEST(ZoomScale, DesignSizesScaleWithTheScreenResolutionOrStayIfItCouldNotBeRead) {
    struct Case {
        int size, dpi, scaled;
    } cases[] = {{80, 192, 80},
                 {80, 96, 40},
                 {20, 96, 10},
                 {5, 96, 3},   // (480 + 96) / 192
                 {5, 131, 3},  // 751 / 192 truncates
                 {80, 288, 120},
                 // A failed screen read is cached as -1; that must not collapse
                 // the column to nothing or turn its sizes negative.
                 {80, -1, 80},
                 {5, -1, 5},
                 {20, 0, 20},
                 {80, -192, 80}};
    for (const Case& c : cases) EXPECT_EQ(c.scaled, ScaleForDpi(c.size, c.dpi)) << c.size << " at " << c.dpi;
}

// ---------------------------------------------------------------------------
// A controller whose overlay could not be made

TEST(ZoomWithoutOverlay, GesturesStillZoomAndEverythingElseIsSkipped) {
    ZoomController zc;  // never created: no owner window, no overlay
    ASSERT_EQ(nullptr, zc.GetOverlay());
    EXPECT_EQ(0, zc.OnPress(10, 10));
    EXPECT_EQ(0, zc.OnTimer(TIMER_HOLD, 0));
    EXPECT_EQ(ZOOM_MODE_HOLD, zc.GetMode()) << "the hold still zooms";
    EXPECT_EQ(1, zc.OnTimer(TIMER_ZOOM, 0));
    EXPECT_NEAR(1.1f, zc.GetZoom(), 1e-6f);
    EXPECT_EQ(0, zc.OnMove(10, 40));
    EXPECT_EQ(ZOOM_MODE_DRAG, zc.GetMode());
    EXPECT_EQ(1, zc.OnMove(10, 60)) << "a drag with nothing to move still reports the drag zoom";
    zc.OnRelease(10, 60);
    EXPECT_EQ(ZOOM_MODE_IN_ANIMATION, zc.GetMode());
    EXPECT_EQ(0, zc.OnTimer(TIMER_OVERLAY, 0));
    zc.ShowHint();
    EXPECT_EQ(ZOOM_MODE_HINT, zc.GetMode());
    zc.StopOverlay();
    zc.SetZoom(12.0f);
    zc.ClampZoom();
    EXPECT_EQ(10.0f, zc.GetZoom());
    EXPECT_EQ(0, zc.DrawOverlay(nullptr));
}

TEST(ZoomTimers, IdsTheControllerDoesNotOwnAreIgnored) {
    ZoomController zc;
    zc.SetZoom(2.0f);
    for (UINT_PTR id : {0u, 1u, 178u, 181u, 184u, 187u, 9999u}) EXPECT_EQ(0, zc.OnTimer(id, 0)) << id;
    EXPECT_EQ(2.0f, zc.GetZoom());
    EXPECT_EQ(ZOOM_MODE_HINT, zc.GetMode());
}

}  // namespace
