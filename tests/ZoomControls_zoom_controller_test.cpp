// The zoom gesture controller and its overlay through a real owner window on
// the virtual clock: the boundaries of the tap, hold and drag gestures, the
// button looks, the fades and the hint. app_zoom_test.cpp checks the gestures
// in the main window.
#include <gtest/gtest.h>

#include <cctype>
#include <functional>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

#include "ZoomControls/ZoomController.h"
#include "ZoomControls/ZoomOverlay.h"
#include "platform/Platform.h"
#include "platform/resources.h"
#include "support/TestFiles.h"

namespace {

using platform::ScriptCommand;
using Rect = std::vector<int>;  // {left, top, right, bottom}

// The photo area of a 480 x 640 client area less the 80-pixel button bar.
constexpr int kRight = 479, kBottom = 559;
// Half the column's height at 192 dpi: half the bar, a button, a gap.
constexpr int kHalfColumn = 10 + 80 + 5;

// The overlay's PNGs (IMAGE 173..177) from the repository's art, as a module of the test's own.
platform::ResourceModule* OverlayModule() {
    static std::vector<std::vector<unsigned char>> files;
    static std::vector<platform::BinaryResource> binaries;
    static platform::ResourceModule module{};
    if (binaries.empty()) {
        for (const char* name : {"173_zoomin_enabled", "174_zoomout_disabled", "175_zoomin_disabled",
                                 "176_zoomout_enabled", "177_zoom_bar"})
            files.push_back(
                testing_support::ReadBytes(std::string(LUMETRA_SOURCE_DIR) + "/resources/art/" + name + ".png"));
        for (int i = 0; i < 5; i++) binaries.push_back({L"IMAGE", 173 + i, files[i].data(), files[i].size()});
        module = {nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, binaries.data(), 5};
    }
    return &module;
}

HINSTANCE OverlayInstance() {
    return reinterpret_cast<HINSTANCE>(OverlayModule());
}

ScriptCommand Do(std::function<void()> f) {
    ScriptCommand c(ScriptCommand::Call);
    c.call = std::move(f);
    return c;
}

ScriptCommand Wait(int ms) {
    return ScriptCommand(ScriptCommand::Wait, ms);
}

Rect V(const RECT& r) {
    return {r.left, r.top, r.right, r.bottom};
}

Rect RectOf(ZelControl* c) {
    RECT r{};
    return V(*c->GetRect(&r));
}

int Shown(ZoomOverlay& o) {
    return o.GetBar()->IsVisible() + o.GetZoomInButton()->IsVisible() + o.GetZoomOutButton()->IsVisible();
}

// What the owner window saw. Its procedure plays the main window: it forwards
// every timer, clamps after each zoom step and draws the overlay into a back
// buffer on every paint.
struct OwnerLog {
    ZoomController* controller = nullptr;
    std::vector<WPARAM> commands;
    std::vector<float> zoomSteps;     // the zoom after each step, clamped
    std::vector<DWORD> overlayTicks;  // when TIMER_OVERLAY arrived
    std::vector<int> fadeOpacities;   // the opacity of each paint drawn while fading
    int tapStateDuringCommand = 0;
} g_owner;

LRESULT OwnerProc(HWND h, UINT m, WPARAM w, LPARAM l) {
    ZoomController* zc = g_owner.controller;
    if (m == WM_COMMAND) {
        g_owner.commands.push_back(w);
        if (zc) g_owner.tapStateDuringCommand = zc->GetTapState();
    } else if (m == WM_TIMER) {
        if (w == TIMER_OVERLAY) g_owner.overlayTicks.push_back(GetTickCount());
        if (zc && zc->OnTimer(w, l)) {
            zc->ClampZoom();
            g_owner.zoomSteps.push_back(zc->GetZoom());
        }
    } else if (m == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(h, &ps);
        if (zc && zc->GetOverlay()->IsFading()) g_owner.fadeOpacities.push_back(zc->GetOverlay()->GetFadeAlpha());
        HDC back = CreateBackBuffer(h, dc);
        if (zc) zc->DrawOverlay(back);
        if (back) ReleaseBackBuffer(back);
        EndPaint(h, &ps);
    } else {
        return DefWindowProc(h, m, w, l);
    }
    return 0;
}

// A child that records the opacity it is drawn at.
struct OpacityProbe : ZelControl {
    explicit OpacityProbe(std::vector<int>* seen) : seen(seen) {}
    int Draw(HDC) override {
        seen->push_back(GetGlobalAlpha());
        return 0;
    }
    std::vector<int>* seen;
};

// A headless platform with the owner window and a controller created on its
// photo area; Play runs a script inside the message loop.
class ZoomOwner : public ::testing::Test {
protected:
    void Start(std::vector<ScriptCommand> script = {}) {
        if (zc) TearDown();
        g_owner = OwnerLog{};
        platform::Options o;
        o.headless = true;
        o.runtimeDir = o.configDir = dir.path();
        o.script = std::move(script);
        ASSERT_TRUE(platform::Initialize(o));
        platform::RegisterResourceModule(OverlayInstance(), OverlayModule());
        WNDCLASS wc{};
        wc.lpfnWndProc = OwnerProc;
        wc.lpszClassName = L"ZoomOwner";
        RegisterClass(&wc);
        window = CreateWindow(L"ZoomOwner", L"Owner", WS_VISIBLE, 0, 52, 480, 640, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(nullptr, window);
        g_owner.controller = zc = new ZoomController;
        zc->Create(window, OverlayInstance(), 0, 0, kRight, kBottom);
        ASSERT_NE(nullptr, overlay = zc->GetOverlay());
        ASSERT_EQ(std::pair(80, 80), std::pair(ScaleX(80), ScaleY(80))) << "the headless screen has the design 192 dpi";
    }
    // Starts with `script`, runs `first` before the loop, then the loop until the script ends.
    void Play(std::vector<ScriptCommand> script, std::function<void()> first = {}) {
        Start(std::move(script));
        if (HasFatalFailure()) return;
        if (first) first();
        MSG msg;
        while (GetMessage(&msg, nullptr, 0, 0)) DispatchMessage(&msg);
    }
    void TearDown() override {
        g_owner.controller = nullptr;
        delete zc;
        zc = nullptr;
        platform::Shutdown();
    }
    void HoldAt(int x, int y) {
        Play({Do(Press(x, y)), Wait(600)});
        ASSERT_EQ(ZOOM_MODE_HOLD, zc->GetMode());
    }
    std::function<void()> Press(int x, int y) {
        return [this, x, y] { zc->OnPress(x, y); };
    }
    std::function<void()> Move(int x, int y) {
        return [this, x, y] { zc->OnMove(x, y); };
    }

    testing_support::TempDir dir;
    HWND window = nullptr;
    ZoomController* zc = nullptr;
    ZoomOverlay* overlay = nullptr;
};

TEST_F(ZoomOwner, ADoubleTapNeedsTwoPressesWithin29PixelsAnd200MsAboveTheFittedZoom) {
    struct Case {
        const char* name;
        float zoom;
        int wait, x, y;  // the second press, after the first at (100, 100)
        WPARAM command;  // 0: none
        int tapState;
    } cases[] = {{"29 px apart", 1.0f, 150, 71, 129, ZoomController::kCommandZoomIn, TAP_DOUBLE_HANDLED},
                 {"30 px apart", 1.0f, 150, 130, 100, 0, TAP_IDLE},
                 {"200 ms apart", 1.0f, 200, 100, 100, 0, TAP_ONE_SEEN},
                 {"above the fit", 1.8f, 150, 100, 100, ZoomController::kCommandZoomOut, TAP_DOUBLE_HANDLED},
                 {"below the fit", 0.9f, 150, 100, 100, 0, TAP_DOUBLE_HANDLED}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        size_t sentInPress = 99;
        Play({Do(Press(100, 100)), Wait(c.wait), Do([&] {
                  zc->OnPress(c.x, c.y);
                  sentInPress = g_owner.commands.size();
              }),
              Wait(20)},
             [&] { zc->SetZoom(c.zoom); });
        EXPECT_EQ(c.command ? 1u : 0u, sentInPress) << "the command is sent synchronously from the press";
        EXPECT_EQ(c.command ? std::vector<WPARAM>{c.command} : std::vector<WPARAM>{}, g_owner.commands);
        EXPECT_EQ(c.command ? TAP_DOUBLE_HANDLED : 0, g_owner.tapStateDuringCommand);
        EXPECT_EQ(c.tapState, zc->GetTapState());
    }
}

TEST_F(ZoomOwner, AMoveOrReleaseFarFromThePressEndsTheTapButANearOneDoesNot) {
    int afterNearRelease = 0, afterFarMove = 0;
    Play({Do(Press(100, 100)), Do([&] {
              zc->OnRelease(130, 70);
              afterNearRelease = zc->GetTapState();
              zc->OnMove(131, 100);
              afterFarMove = zc->GetTapState();
          }),
          Wait(50), Do(Press(100, 100))});
    EXPECT_EQ(TAP_ONE_SEEN, afterNearRelease);
    EXPECT_EQ(TAP_IDLE, afterFarMove);
    EXPECT_TRUE(g_owner.commands.empty());
}

TEST_F(ZoomOwner, HoldZoomStartsAfter600MsUnlessAMoveOfMoreThan30PixelsOnEitherAxisCameFirst) {
    // {dx, dy, rest, holds}: the move (dx, dy) 300 ms after the press, then `rest` ms more.
    const int cases[][4] = {{0, 0, 299, 0}, {0, 0, 300, 1}, {30, 30, 350, 1}, {31, 0, 350, 0}, {0, 31, 350, 0}};
    for (auto [dx, dy, rest, holds] : cases) {
        SCOPED_TRACE(testing::Message() << dx << ", " << dy << " then " << rest << " ms");
        Play({Do(Press(100, 100)), Wait(300), Do(Move(100 + dx, 100 + dy)), Wait(rest)});
        EXPECT_EQ(holds ? ZOOM_MODE_HOLD : ZOOM_MODE_HINT, zc->GetMode());
        EXPECT_EQ(holds, overlay->IsBarVisible());
    }
}

TEST_F(ZoomOwner, TheColumnSitsRightOfAFingerLeftOf180ElseLeftAndInsideThePhotoArea) {
    // Centre x 95 beside the finger, 80 wide; centre y at the finger, at least
    // half a column inside the top and the bottom of the photo area.
    const std::tuple<int, int, Rect> cases[] = {{179, 300, {234, 205, 314, 395}},
                                                {180, 300, {45, 205, 125, 395}},
                                                {300, 555, {165, kBottom - 2 * kHalfColumn, 245, kBottom}},
                                                {300, 10, {165, 0, 245, 2 * kHalfColumn}}};
    for (const auto& [x, y, column] : cases) {
        HoldAt(x, y);
        EXPECT_EQ(column, V(overlay->GetColumnRect())) << x << ", " << y;
    }
}

TEST_F(ZoomOwner, HoldZoomKeepsTickingAtTheLimitUntilAMoveOrTheRelease) {
    Play({Do(Press(300, 300)), Wait(600 + 1000)});
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
    EXPECT_EQ((Rect{165, 415, 245, 495}), RectOf(overlay->GetZoomOutButton()));
    EXPECT_EQ((Rect{165, 205, 245, 285}), RectOf(overlay->GetZoomInButton()));
    EXPECT_EQ((Rect{165, 290, 245, 310}), RectOf(overlay->GetBar()));
    // Up: the zoom-in button moves and the zoom-out button goes back.
    EXPECT_EQ(1, zc->OnMove(300, 200));
    EXPECT_EQ((Rect{165, 105, 245, 185}), RectOf(overlay->GetZoomInButton()));
    EXPECT_EQ((Rect{165, 315, 245, 395}), RectOf(overlay->GetZoomOutButton()));
    EXPECT_EQ(200, overlay->GetPointer().y);
    // Beyond the top the button stops where a column centred at the limit would have it.
    zc->OnMove(300, -50);
    EXPECT_EQ(kHalfColumn - 15, RectOf(overlay->GetZoomInButton())[3]);
}

TEST_F(ZoomOwner, TheColumnsRepaintTimerStopsOnceItHasFadedOutAfterTheRelease) {
    Play({Do(Press(300, 300)), Wait(700), Do([this] { zc->OnRelease(300, 300); }), Wait(500)});
    EXPECT_EQ(0, overlay->IsAnimating());
    ASSERT_FALSE(g_owner.overlayTicks.empty());
    EXPECT_LT(g_owner.overlayTicks.back(), 1000u);
}

TEST_F(ZoomOwner, CreateMakesTheHiddenChildrenInDrawingOrderWithZoomOutGrey) {
    Start();
    EXPECT_EQ(OverlayInstance(), GetResourceInstance());
    // Drawing order: zoom-in button, zoom-out button, bar.
    ASSERT_EQ(3, overlay->GetChildCount());
    ZelImageControl* order[] = {overlay->GetZoomInButton(), overlay->GetZoomOutButton(), overlay->GetBar()};
    const int images[] = {IMAGE_ZOOM_IN_ENABLED, IMAGE_ZOOM_OUT_DISABLED, IMAGE_ZOOM_BAR};
    for (int i = 0; i < 3; i++) {
        EXPECT_EQ(order[i], overlay->GetChildControl(i)) << i;
        EXPECT_EQ(images[i], order[i]->GetImage()->resourceId) << i;
    }
    EXPECT_EQ(0, Shown(*overlay));
}

TEST_F(ZoomOwner, ClampZoomKeepsTheRangeAndGreysTheExhaustedDirection) {
    Start();
    const int inOn = IMAGE_ZOOM_IN_ENABLED, inOff = IMAGE_ZOOM_IN_DISABLED;
    const int outOn = IMAGE_ZOOM_OUT_ENABLED, outOff = IMAGE_ZOOM_OUT_DISABLED;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const std::tuple<float, float, int, int> cases[] = {{10.4f, 10.0f, inOff, outOn}, {0.9f, 1.0f, inOn, outOff},
                                                        {3.0f, 3.0f, inOn, outOn},    {10.0f, 10.0f, inOn, outOn},
                                                        {1.0f, 1.0f, inOn, outOff},   {nan, 1.0f, inOn, outOff}};
    for (auto [zoom, clamped, in, out] : cases) {
        SCOPED_TRACE(zoom);
        zc->SetZoom(zoom);
        zc->ClampZoom();
        EXPECT_EQ(clamped, zc->GetZoom());
        EXPECT_EQ((std::vector<int>{in, out, in, out}),
                  (std::vector<int>{overlay->GetZoomInImageId(), overlay->GetZoomOutImageId(),
                                    overlay->GetZoomInButton()->GetImage()->resourceId,
                                    overlay->GetZoomOutButton()->GetImage()->resourceId}));
    }
    // Only buttons 1 and 2 have looks, and any state but 1 is enabled.
    overlay->SetButtonState(3, 1);
    overlay->SetButtonState(0, 1);
    overlay->SetButtonState(1, 7);
    EXPECT_EQ(inOn, overlay->GetZoomInImageId());
    EXPECT_EQ(outOff, overlay->GetZoomOutImageId());
}

TEST_F(ZoomOwner, ClampZoomLoadsAButtonImageOnlyWhenItsLookChanges) {
    Start();
    overlay->SetAnchor(300, 300);
    overlay->SetChildrenVisible(true);
    zc->DrawOverlay(nullptr);  // decodes each shown image once
    auto decoded = [this] {
        return std::vector<bool>{overlay->GetZoomInButton()->GetImage()->cache.Scan0 != nullptr,
                                 overlay->GetZoomOutButton()->GetImage()->cache.Scan0 != nullptr};
    };
    // The zoom rests at its lower limit while the owner clamps after every step.
    for (int i = 0; i < 5; i++) zc->ClampZoom();
    EXPECT_EQ((std::vector<bool>{true, true}), decoded()) << "no image was loaded afresh";
    zc->SetZoom(2.0f);
    zc->ClampZoom();
    EXPECT_EQ((std::vector<bool>{true, false}), decoded()) << "the orange zoom-out image is new, decoded when drawn";
}

TEST_F(ZoomOwner, TheHintRepaintsEvery100MsUntilItHasFadedOut) {
    size_t ticksAt2500 = 0;
    Play({Wait(2500), Do([&] { ticksAt2500 = g_owner.overlayTicks.size(); }), Wait(500)}, [this] { zc->ShowHint(); });
    EXPECT_EQ(12u, g_owner.fadeOpacities.size()) << "six paints in, six out";
    ASSERT_FALSE(g_owner.overlayTicks.empty());
    EXPECT_EQ(ticksAt2500, g_owner.overlayTicks.size()) << "no ticks after the fade-out";
    EXPECT_EQ(0u, g_owner.overlayTicks.front() % 100);
}

TEST_F(ZoomOwner, StopOverlayOrAPressHidesTheHintAtOnceAndStopsItsTimer) {
    for (bool press : {false, true}) {
        SCOPED_TRACE(press ? "press" : "StopOverlay");
        Play({Wait(250), Do(press ? Press(50, 50) : [this] { zc->StopOverlay(); }), Wait(300)},
             [this] { zc->ShowHint(); });
        EXPECT_EQ(0, overlay->IsBarVisible());
        ASSERT_FALSE(g_owner.overlayTicks.empty());
        EXPECT_LE(g_owner.overlayTicks.back(), 250u);
        EXPECT_EQ(press ? 50 : 0, overlay->GetPointer().x);
        EXPECT_EQ(0, overlay->GetFadeAlpha());
    }
}

TEST_F(ZoomOwner, FadesTakeSixDrawsTurnFromTheOpacityReachedAndAFadeOutHidesTheColumn) {
    // S ShowAt, R Release, I / O Fade(true / false), H Hide, a digit that many draws.
    struct Case {
        const char* ops;
        std::vector<int> seen;
        int alpha, shown, animating;
    } cases[] = {
        {"S", {}, 5, 3, 1},
        {"S7", {5, 55, 105, 155, 205, 255, 255}, 255, 3, 0},
        {"S7R", {5, 55, 105, 155, 205, 255, 255}, 255, 3, 1},
        {"S7R6", {5, 55, 105, 155, 205, 255, 255, 255, 205, 155, 105, 55, 5}, 5, 0, 0},
        {"I3O4", {5, 55, 105, 155, 105, 55, 5}, 5, 0, 0},
        {"OI6I1", {5, 55, 105, 155, 205, 255, 255}, 255, 3, 0},  // fading to what is shown changes nothing
        {"S2H", {5, 55}, 0, 0, 1},                               // hiding is immediate
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ops);
        Start();
        std::vector<int> seen;
        overlay->AddChild(new OpacityProbe(&seen), -1);
        for (const char* op = c.ops; *op; op++) {
            if (*op == 'S') overlay->ShowAt(200, 200);
            if (*op == 'R') overlay->Release(200, 200);
            if (*op == 'I' || *op == 'O') overlay->Fade(*op == 'I');
            if (*op == 'H') overlay->Hide();
            for (int i = 0; isdigit(*op) && i < *op - '0'; i++) {
                overlay->Draw(nullptr);
                EXPECT_EQ(255, GetGlobalAlpha()) << "the opacity is restored after each draw";
            }
        }
        EXPECT_EQ(c.seen, seen);
        EXPECT_EQ(c.alpha, overlay->GetFadeAlpha());
        EXPECT_EQ(c.shown, Shown(*overlay));
        EXPECT_EQ(c.animating, overlay->IsAnimating());
    }
}

TEST_F(ZoomOwner, ASetAnchorLaysOutWithoutShowingInsideTheAreaSetLast) {
    Start();
    overlay->SetAnchor(400, 100);
    EXPECT_EQ((Rect{265, 5, 345, 195}), V(overlay->GetColumnRect()));
    EXPECT_EQ(0, overlay->IsBarVisible());
    overlay->SetArea(0, 0, kRight, 300);
    overlay->SetAnchor(100, 290);
    EXPECT_EQ(300, overlay->GetColumnRect().bottom);
}

TEST_F(ZoomOwner, APaintedColumnShowsOrangeButtonsThatTurnGreyWhenDisabled) {
    Start();
    overlay->SetAnchor(100, 200);  // zoom-in button at (155, 105)-(235, 185)
    overlay->SetChildrenVisible(true);
    HDC screen = GetDC(window), back = CreateBackBuffer(window, screen);
    // Pixel (12, 40) of the button's art over black: orange (241, 136, 41)
    // when enabled, grey (134, 136, 140) when disabled.
    auto paint = [&] {
        RECT all{0, 0, 480, 640};
        FillRect(back, &all, (HBRUSH)GetStockObject(BLACK_BRUSH));
        overlay->Draw(back);
        COLORREF c = GetPixel(back, 155 + 12, 105 + 40);
        return std::vector<int>{GetRValue(c), GetGValue(c), GetBValue(c)};
    };
    std::vector<int> orange = paint();
    EXPECT_GT(orange[0], 200);
    EXPECT_LT(orange[2], 80);
    overlay->SetButtonState(1, 1);
    std::vector<int> grey = paint();
    EXPECT_NEAR(grey[0], grey[2], 16);
    EXPECT_GT(grey[0], 60);
    overlay->Hide();
    EXPECT_EQ((std::vector<int>{0, 0, 0}), paint()) << "a hidden column draws nothing";
    ReleaseBackBuffer(back);
    ReleaseDC(window, screen);
}

TEST(ZoomScale, DesignSizesScaleWithTheScreenResolutionOrStayIfItCouldNotBeRead) {
    // (5 x 96 + 96) / 192 = 3 and 751 / 192 truncates to 3. A failed screen
    // read (cached as -1) must neither collapse the column nor turn it negative.
    const int cases[][3] = {{80, 192, 80},  {80, 96, 40}, {20, 96, 10}, {5, 96, 3},  {5, 131, 3},
                            {80, 288, 120}, {80, -1, 80}, {5, -1, 5},   {20, 0, 20}, {80, -192, 80}};
    for (auto [size, dpi, scaled] : cases) EXPECT_EQ(scaled, ScaleForDpi(size, dpi)) << size << " at " << dpi;
}

TEST(ZoomWithoutOverlay, GesturesStillZoomAndEverythingElseIsSkippedOrIgnored) {
    ZoomController zc;  // never created: no owner window, no overlay
    ASSERT_EQ(nullptr, zc.GetOverlay());
    for (UINT_PTR id : {0u, 1u, 178u, 181u, 184u, 187u, 9999u}) EXPECT_EQ(0, zc.OnTimer(id, 0)) << id;
    EXPECT_EQ(1.0f, zc.GetZoom()) << "timers the controller does not own are ignored";
    EXPECT_EQ(ZOOM_MODE_HINT, zc.GetMode());
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
    // Starting an animation sets its mode and the default step.
    zc.SetZoomStep(0.7f);
    zc.StartZoomAnimation(ZOOM_MODE_OUT_ANIMATION);
    EXPECT_EQ(ZOOM_MODE_OUT_ANIMATION, zc.GetMode());
    EXPECT_EQ(0.1f, zc.GetStep());
}

}  // namespace
