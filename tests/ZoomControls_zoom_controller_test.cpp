// The zoom gesture controller and its overlay, driven through a real owner
// window on the headless platform's virtual clock: double taps, press and hold,
// drag zoom, the zoom animations, the button looks, the fades and the hint.
#include <gtest/gtest.h>

#include <cmath>
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
        const std::pair<int, const char*> art[] = {{173, "173_zoomin_enabled.png"},
                                                   {174, "174_zoomout_disabled.png"},
                                                   {175, "175_zoomin_disabled.png"},
                                                   {176, "176_zoomout_enabled.png"},
                                                   {177, "177_zoom_bar.png"}};
        files.reserve(std::size(art));
        for (const auto& [id, name] : art) {
            files.push_back(testing_support::ReadBytes(std::string(LUMETRA_SOURCE_DIR) + "/resources/art/" + name));
            binaries.push_back({L"IMAGE", id, files.back().data(), files.back().size()});
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

// What the owner window saw. Its procedure plays the main window: it runs the
// zoom commands, forwards every timer and clamps after each zoom step, and lets
// the controller draw its overlay into a back buffer on every paint.
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
            if (!zc) return 0;
            g_owner.tapStateDuringCommand = zc->GetTapState();
            if (w == ZoomController::kCommandZoomIn) {
                zc->StartZoomAnimation(ZOOM_MODE_IN_ANIMATION);
                zc->SetZoomStep(0.3f);
            } else if (w == ZoomController::kCommandZoomOut) {
                zc->StartZoomAnimation(ZOOM_MODE_OUT_ANIMATION);
                zc->SetZoomStep(-0.3f);
            }
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

RECT RectOf(ZelControl* c) {
    RECT r{};
    if (c) c->GetRect(&r);
    return r;
}

::testing::AssertionResult SameRect(const RECT& want, const RECT& got) {
    if (want.left == got.left && want.top == got.top && want.right == got.right && want.bottom == got.bottom)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "want (" << want.left << ", " << want.top << ", " << want.right << ", "
                                         << want.bottom << ") got (" << got.left << ", " << got.top << ", " << got.right
                                         << ", " << got.bottom << ")";
}

// A headless platform with the owner window and a controller created on its
// photo area; the script runs inside the message loop that Run() turns.
class ZoomOwner : public ::testing::Test {
protected:
    void Start(std::vector<ScriptCommand> script = {}) {
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

TEST_F(ZoomOwner, TwoNearPressesAtTheFittedZoomSendZoomInOnceAndAThirdSendsNothing) {
    size_t sentBeforeReturn = 0;
    Start({Do(Press(100, 100)), Wait(150), Do([&] {
               zc->OnPress(110, 95);
               sentBeforeReturn = g_owner.commands.size();
           }),
           Wait(100), Do(Press(105, 100)), Wait(20)});
    Run();
    EXPECT_EQ(1u, sentBeforeReturn) << "the command is sent synchronously from the press";
    EXPECT_EQ(std::vector<WPARAM>{ZoomController::kCommandZoomIn}, g_owner.commands);
    EXPECT_EQ(TAP_DOUBLE_HANDLED, g_owner.tapStateDuringCommand);
    EXPECT_EQ(TAP_DOUBLE_HANDLED, zc->GetTapState());
}

TEST_F(ZoomOwner, ADoubleTapWhileZoomedSendsZoomOut) {
    Start({Do(Press(100, 100)), Wait(150), Do(Press(100, 110))});
    zc->SetZoom(1.8f);
    Run();
    EXPECT_EQ(std::vector<WPARAM>{ZoomController::kCommandZoomOut}, g_owner.commands);
}

TEST_F(ZoomOwner, ADoubleTapBelowTheFittedZoomSendsNothing) {
    Start({Do(Press(100, 100)), Wait(150), Do(Press(100, 100))});
    zc->SetZoom(0.9f);
    Run();
    EXPECT_TRUE(g_owner.commands.empty());
    EXPECT_EQ(TAP_DOUBLE_HANDLED, zc->GetTapState());
}

TEST_F(ZoomOwner, PressesThirtyPixelsApartLeaveTheRecogniserIdleForTheNextFirstTap) {
    int stateAfterFarPress = 0;
    Start({Do(Press(100, 100)), Wait(150), Do([&] {
               zc->OnPress(130, 100);
               stateAfterFarPress = zc->GetTapState();
           }),
           Wait(50), Do(Press(135, 100))});
    Run();
    EXPECT_EQ(TAP_IDLE, stateAfterFarPress);
    EXPECT_TRUE(g_owner.commands.empty()) << "the third press is only a first tap";
    EXPECT_EQ(TAP_ONE_SEEN, zc->GetTapState());
}

TEST_F(ZoomOwner, PressesTwentyNinePixelsApartStillMakeADoubleTap) {
    Start({Do(Press(100, 100)), Wait(150), Do(Press(71, 129))});
    Run();
    EXPECT_EQ(std::vector<WPARAM>{ZoomController::kCommandZoomIn}, g_owner.commands);
}

TEST_F(ZoomOwner, TheDoubleTapWindowClosesAfterTwoHundredMilliseconds) {
    int stateAfterWindow = 0;
    Start({Do(Press(100, 100)), Wait(200), Do([&] { stateAfterWindow = zc->GetTapState(); }), Do(Press(100, 100))});
    Run();
    EXPECT_EQ(TAP_IDLE, stateAfterWindow);
    EXPECT_TRUE(g_owner.commands.empty());
    EXPECT_EQ(TAP_ONE_SEEN, zc->GetTapState());
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
           Wait(1), Do([&] { EXPECT_EQ(ZOOM_MODE_HOLD, zc->GetMode()); }), Wait(50)});
    Run();
    EXPECT_EQ(ZOOM_MODE_HINT, modeJustBefore);
    EXPECT_EQ(0, barJustBefore);
    EXPECT_EQ(ZOOM_MODE_HOLD, zc->GetMode());
    EXPECT_EQ(1, overlay->IsBarVisible());
    // Steps at 610, 620, ... 650: 0.1 each.
    ASSERT_EQ(5u, g_owner.zoomSteps.size());
    float previous = 1.0f;
    for (float z : g_owner.zoomSteps) {
        EXPECT_NEAR(0.1f, z - previous, 1e-5f);
        previous = z;
    }
}

TEST_F(ZoomOwner, TheColumnAppearsRightOfAFingerLeftOf180AndLeftOfItOtherwise) {
    HoldAt(179, 300);
    // Centre x 179 + 95 = 274, 80 wide; bar 290..310; buttons 80 high 5 away.
    EXPECT_TRUE(SameRect({234, 290, 314, 310}, RectOf(overlay->GetBar())));
    EXPECT_TRUE(SameRect({234, 205, 314, 285}, RectOf(overlay->GetZoomInButton())));
    EXPECT_TRUE(SameRect({234, 315, 314, 395}, RectOf(overlay->GetZoomOutButton())));
    EXPECT_TRUE(SameRect({234, 205, 314, 395}, overlay->GetColumnRect()));
    EXPECT_EQ(179, overlay->GetAnchor().x);
    TearDown();

    HoldAt(180, 300);
    EXPECT_TRUE(SameRect({45, 205, 125, 395}, overlay->GetColumnRect())) << "centre 180 - 95 = 85";
}

TEST_F(ZoomOwner, AHoldAtTheTopOrBottomKeepsTheColumnInsideThePhotoArea) {
    HoldAt(300, 0);
    RECT bar = RectOf(overlay->GetBar());
    EXPECT_EQ(kHalfColumn, (bar.top + bar.bottom) / 2);
    EXPECT_EQ(0, overlay->GetColumnRect().top);
    TearDown();

    HoldAt(300, 555);
    bar = RectOf(overlay->GetBar());
    EXPECT_EQ(kBottom - kHalfColumn, (bar.top + bar.bottom) / 2);
    EXPECT_EQ(kBottom, overlay->GetColumnRect().bottom);
}

TEST_F(ZoomOwner, HoldZoomGrowsUntilTheOwnerClampsItAtTen) {
    Start({Do(Press(300, 300)), Wait(600 + 1000)});
    Run();
    EXPECT_EQ(10.0f, zc->GetZoom());
    EXPECT_EQ(ZOOM_MODE_HOLD, zc->GetMode());
    EXPECT_EQ(IMAGE_ZOOM_IN_DISABLED, overlay->GetZoomInImageId());
    EXPECT_EQ(IMAGE_ZOOM_OUT_ENABLED, overlay->GetZoomOutImageId());
    EXPECT_EQ(100u, g_owner.zoomSteps.size()) << "the timer runs on at the limit until a move or the release";
}

TEST_F(ZoomOwner, AVerticalMoveAfterTheHoldSwitchesToDragZoomAndStopsZooming) {
    int twentyMove = -1, switchingMove = -1, dragDown = -1;
    int modeAfterTwenty = -1;
    size_t stepsAtSwitch = 0;
    Start({Do(Press(300, 300)), Wait(620), Do([&] {
               twentyMove = zc->OnMove(300, 320);
               modeAfterTwenty = zc->GetMode();
           }),
           Wait(10), Do([&] {
               switchingMove = zc->OnMove(300, 321);
               stepsAtSwitch = g_owner.zoomSteps.size();
           }),
           Wait(100), Do([&] { dragDown = zc->OnMove(300, 360); })});
    Run();
    EXPECT_EQ(0, twentyMove);
    EXPECT_EQ(ZOOM_MODE_HOLD, modeAfterTwenty) << "20 pixels are not yet a drag";
    EXPECT_EQ(0, switchingMove) << "the switching move itself drags nothing";
    EXPECT_EQ(ZOOM_MODE_DRAG, zc->GetMode());
    EXPECT_EQ(3u, stepsAtSwitch);
    EXPECT_EQ(stepsAtSwitch, g_owner.zoomSteps.size()) << "TIMER_ZOOM stopped";
    EXPECT_EQ(1, dragDown);
    // The finger went down: the zoom-out button follows it, the rest stays.
    EXPECT_TRUE(SameRect({165, 375, 245, 455}, RectOf(overlay->GetZoomOutButton())));
    EXPECT_TRUE(SameRect({165, 205, 245, 285}, RectOf(overlay->GetZoomInButton())));
    EXPECT_TRUE(SameRect({165, 290, 245, 310}, RectOf(overlay->GetBar())));
}

TEST_F(ZoomOwner, DraggingUpMovesTheZoomInButtonAndPutsTheZoomOutButtonBack) {
    HoldAt(300, 300);
    zc->OnMove(300, 360);  // switches to drag zoom
    zc->OnMove(300, 400);
    ASSERT_EQ(415, RectOf(overlay->GetZoomOutButton()).top);
    EXPECT_EQ(1, zc->OnMove(300, 200));
    EXPECT_TRUE(SameRect({165, 105, 245, 185}, RectOf(overlay->GetZoomInButton())));
    EXPECT_TRUE(SameRect({165, 315, 245, 395}, RectOf(overlay->GetZoomOutButton())));
    EXPECT_EQ(200, overlay->GetPointer().y);
    // Beyond the top the button stops where a column centred at the limit would have it.
    zc->OnMove(300, -50);
    EXPECT_EQ(kHalfColumn - 15, RectOf(overlay->GetZoomInButton()).bottom);
}

TEST_F(ZoomOwner, AMoveOfMoreThanThirtyPixelsBeforeTheHoldCancelsIt) {
    Start({Do(Press(100, 100)), Wait(300), Do([this] { zc->OnMove(131, 100); }), Wait(600)});
    Run();
    EXPECT_EQ(ZOOM_MODE_HINT, zc->GetMode());
    EXPECT_TRUE(g_owner.zoomSteps.empty());
    EXPECT_EQ(0, overlay->IsBarVisible());
}

TEST_F(ZoomOwner, AMoveOfThirtyPixelsBeforeTheHoldKeepsIt) {
    Start({Do(Press(100, 100)), Wait(300), Do([this] { zc->OnMove(100, 130); }), Wait(350)});
    Run();
    EXPECT_EQ(ZOOM_MODE_HOLD, zc->GetMode());
}

TEST_F(ZoomOwner, ReleasingAfterTheHoldStopsTheZoomAndFadesTheColumnOut) {
    size_t stepsAtRelease = 0;
    int modeAfterRelease = -1;
    Start({Do(Press(300, 300)), Wait(700), Do([&] {
               zc->OnRelease(300, 300);
               stepsAtRelease = g_owner.zoomSteps.size();
               modeAfterRelease = zc->GetMode();
           }),
           Wait(500)});
    Run();
    EXPECT_EQ(ZOOM_MODE_IN_ANIMATION, modeAfterRelease);
    EXPECT_EQ(stepsAtRelease, g_owner.zoomSteps.size());
    EXPECT_EQ(0, overlay->IsBarVisible());
    EXPECT_EQ(0, overlay->IsAnimating());
    ASSERT_GE(g_owner.fadeOpacities.size(), 6u);
    EXPECT_EQ((std::vector<int>{255, 205, 155, 105, 55, 5}),
              std::vector<int>(g_owner.fadeOpacities.end() - 6, g_owner.fadeOpacities.end()));
    ASSERT_FALSE(g_owner.overlayTicks.empty());
    EXPECT_LT(g_owner.overlayTicks.back(), 1000u) << "the repaint timer stops once the column is gone";
}

// ---------------------------------------------------------------------------
// Zoom animations

TEST_F(ZoomOwner, TheDoubleTapZoomInAnimationEndsAtExactlyTwoAndAHalfAfterSixTicks) {
    Start({Do(Press(100, 100)), Wait(150), Do(Press(100, 100)), Wait(200)});
    Run();
    ASSERT_EQ(6u, g_owner.zoomSteps.size());
    EXPECT_LT(g_owner.zoomSteps[4], 2.5f) << "single precision falls just short on the fifth tick";
    EXPECT_EQ(2.5f, g_owner.zoomSteps[5]);
    EXPECT_EQ(2.5f, zc->GetZoom());
    EXPECT_EQ(ZOOM_MODE_IN_ANIMATION, zc->GetMode());
}

TEST_F(ZoomOwner, TheDoubleTapZoomOutAnimationEndsAtExactlyOneAfterSixTicks) {
    Start({Do(Press(100, 100)), Wait(150), Do(Press(100, 100)), Wait(200)});
    zc->SetZoom(2.5f);
    Run();
    ASSERT_EQ(6u, g_owner.zoomSteps.size());
    EXPECT_GT(g_owner.zoomSteps[4], 1.0f);
    EXPECT_EQ(1.0f, g_owner.zoomSteps[5]);
    EXPECT_EQ(ZOOM_MODE_OUT_ANIMATION, zc->GetMode());
    EXPECT_EQ(IMAGE_ZOOM_OUT_DISABLED, overlay->GetZoomOutImageId());
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
    EXPECT_EQ(IMAGE_ZOOM_OUT_DISABLED, overlay->GetZoomOutImageId());
    EXPECT_EQ(IMAGE_ZOOM_OUT_DISABLED, overlay->GetZoomOutButton()->GetImage()->resourceId);
    EXPECT_EQ(0, overlay->IsBarVisible());
    // Drawing order: zoom-in button, zoom-out button, bar.
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

TEST_F(ZoomOwner, TheHintFadesInAtTheCentreThenOutAndItsTimerStops) {
    size_t ticksAt2500 = 0;
    Start({Wait(2500), Do([&] { ticksAt2500 = g_owner.overlayTicks.size(); }), Wait(500)});
    zc->ShowHint();
    Run();
    EXPECT_EQ((std::vector<int>{5, 55, 105, 155, 205, 255, 255, 205, 155, 105, 55, 5}), g_owner.fadeOpacities);
    EXPECT_EQ(0, overlay->IsBarVisible());
    EXPECT_EQ(ZOOM_MODE_HINT, zc->GetMode());
    // Anchor (239 + 95, 279): the column is centred on the photo area.
    EXPECT_TRUE(SameRect({199, 279 - kHalfColumn, 279, 279 + kHalfColumn}, overlay->GetColumnRect()));
    ASSERT_FALSE(g_owner.overlayTicks.empty());
    EXPECT_EQ(ticksAt2500, g_owner.overlayTicks.size()) << "no ticks after the fade-out";
    EXPECT_EQ(0u, g_owner.overlayTicks.front() % 100) << "the hint repaints every 100 ms";
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

TEST_F(ZoomOverlayColumn, AFadeInDrawsSixTimesFromFiveToOpaque) {
    column.ShowAt(200, 200);
    EXPECT_EQ(1, column.IsAnimating());
    DrawTimes(7);
    EXPECT_EQ((std::vector<int>{5, 55, 105, 155, 205, 255, 255}), seen);
    EXPECT_EQ(0, column.IsFading());
    EXPECT_EQ(0, column.IsAnimating());
    EXPECT_EQ(1, column.IsBarVisible());
}

TEST_F(ZoomOverlayColumn, AFadeOutDrawsSixTimesAndThenHidesTheColumn) {
    column.ShowAt(200, 200);
    DrawTimes(6);
    seen.clear();
    column.Release(200, 200);
    EXPECT_EQ(1, column.IsAnimating());
    DrawTimes(6);
    EXPECT_EQ((std::vector<int>{255, 205, 155, 105, 55, 5}), seen);
    EXPECT_EQ(0, column.IsBarVisible());
    EXPECT_EQ(0, column.GetZoomInButton()->IsVisible());
    EXPECT_EQ(0, column.GetZoomOutButton()->IsVisible());
    EXPECT_EQ(0, column.IsAnimating());
    EXPECT_EQ(5, column.GetFadeAlpha());
}

TEST_F(ZoomOverlayColumn, AFadeTurnedMidwayGoesBackFromTheOpacityReached) {
    column.Fade(true);
    DrawTimes(3);
    column.Fade(false);
    DrawTimes(4);
    EXPECT_EQ((std::vector<int>{5, 55, 105, 155, 105, 55, 5}), seen);
    EXPECT_EQ(0, column.IsBarVisible());
}

TEST_F(ZoomOverlayColumn, FadingToWhatIsAlreadyShownChangesNothing) {
    column.Fade(false);
    EXPECT_EQ(0, column.IsFading()) << "already hidden";
    column.Fade(true);
    DrawTimes(6);
    column.Fade(true);
    EXPECT_EQ(0, column.IsFading()) << "already shown";
    EXPECT_EQ(255, column.GetFadeAlpha());
}

TEST_F(ZoomOverlayColumn, HideTakesTheColumnAwayAtOnce) {
    column.ShowAt(200, 200);
    DrawTimes(2);
    column.Hide();
    EXPECT_EQ(0, column.GetFadeAlpha());
    for (ZelImageControl* c : {column.GetBar(), column.GetZoomInButton(), column.GetZoomOutButton()})
        EXPECT_EQ(0, c->IsVisible());
}

TEST_F(ZoomOverlayColumn, ASetAnchorLaysOutWithoutShowing) {
    column.SetAnchor(400, 100);
    EXPECT_TRUE(SameRect({265, 5, 345, 195}, column.GetColumnRect()));
    EXPECT_EQ(0, column.IsBarVisible());
    EXPECT_EQ(kHalfColumn, column.GetMinCentreY());
    EXPECT_EQ(kBottom - kHalfColumn, column.GetMaxCentreY());
}

TEST_F(ZoomOverlayColumn, TheColumnFollowsTheAreaSetLast) {
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
    RECT all{0, 0, 480, 640};
    FillRect(back, &all, (HBRUSH)GetStockObject(BLACK_BRUSH));
    // Pixel (12, 40) of the button's art: orange (241, 136, 41) when enabled,
    // grey (134, 136, 140) when disabled.
    auto probe = [&] {
        COLORREF c = GetPixel(back, 155 + 12, 105 + 40);
        return std::vector<int>{(int)(c & 0xFF), (int)((c >> 8) & 0xFF), (int)((c >> 16) & 0xFF)};
    };
    column.Draw(back);
    std::vector<int> orange = probe();
    EXPECT_GT(orange[0], 200);
    EXPECT_LT(orange[2], 80);
    column.SetButtonState(1, 1);
    FillRect(back, &all, (HBRUSH)GetStockObject(BLACK_BRUSH));
    column.Draw(back);
    std::vector<int> grey = probe();
    EXPECT_NEAR(grey[0], grey[2], 16);
    EXPECT_GT(grey[0], 60);

    FillRect(back, &all, (HBRUSH)GetStockObject(BLACK_BRUSH));
    column.Hide();
    column.Draw(back);
    EXPECT_EQ((std::vector<int>{0, 0, 0}), probe()) << "a hidden column draws nothing";
    ReleaseBackBuffer(back);
    ReleaseDC(window, screen);
}

TEST(ZoomScale, DesignSizesScaleWithTheScreenResolution) {
    EXPECT_EQ(80, ScaleForDpi(80, 192));
    EXPECT_EQ(40, ScaleForDpi(80, 96));
    EXPECT_EQ(10, ScaleForDpi(20, 96));
    EXPECT_EQ(3, ScaleForDpi(5, 96)) << "(480 + 96) / 192";
    EXPECT_EQ(3, ScaleForDpi(5, 131)) << "751 / 192 truncates";
    EXPECT_EQ(120, ScaleForDpi(80, 288));
}

TEST(ZoomScale, AResolutionThatCouldNotBeReadKeepsTheDesignSize) {
    // A failed screen read is cached as -1; that must not collapse the column
    // to nothing or turn its sizes negative.
    for (int dpi : {-1, 0, -192}) {
        EXPECT_EQ(80, ScaleForDpi(80, dpi)) << dpi;
        EXPECT_EQ(20, ScaleForDpi(20, dpi)) << dpi;
        EXPECT_EQ(5, ScaleForDpi(5, dpi)) << dpi;
    }
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
