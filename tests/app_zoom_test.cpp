// Zoom in the effect view, through the real window on the virtual clock:
// double taps, press and hold with the overlay column, drag zoom, panning, the
// zoom buttons of the bar and the hint that fades in and out after Effect.
#include <gtest/gtest.h>

#include "ZoomControls/ZoomController.h"
#include "ZoomControls/ZoomOverlay.h"
#include "app/MainWindow.h"
#include "app_Session.h"

namespace {

using testing_support::TempDir;

// The portrait sample after Find and Effect, with the hint faded away.
Steps EffectView() {
    Steps s;
    s.Do("choose grace_hopper_single.jpg\n").Tap(kFindX, kBarY).Tap(kEffectX, kBarY).Do("wait 2000\n");
    return s;
}

// Sets the view's zoom as a zoom tick would leave it.
void ZoomTo(float zoom) {
    g_app.zoomController->SetZoom(zoom);
    g_zoom = zoom;
    g_app.zoomController->ComputeZoomedView(g_app.full.width, g_app.full.height, g_app.focus, &g_srcSpan,
                                            &g_app.dstSpan);
}

SessionResult RunOnPortrait(Steps& s) {
    TempDir storage;
    CopySample(storage, "grace_hopper_single.jpg");
    s.Do("key ctrl+q\n");
    return RunSession(storage.path(), "", s.list);
}

TEST(ZoomGestures, ADoubleTapZoomsTo2Point5InSixTicksAndBackToTheFit) {
    std::vector<float> zooms;
    auto record = [&] { zooms.push_back(g_app.zoomController->GetZoom()); };
    Steps s = EffectView();
    s.State().Do("tap 240 300\nwait 150\ntap 245 305\n").Call(record);
    for (int tick = 0; tick < 7; tick++) s.Do("wait 10\n").Call(record);
    s.State();
    // A third tap 100 ms after the double tap does nothing for the recogniser.
    s.Do("wait 90\ntap 245 305\nwait 100\n").State();
    // Back: wait out the double-tap window, then double tap at 2.5.
    s.Do("wait 300\ntap 240 300\nwait 150\ntap 240 300\nwait 100\n").State();
    SessionResult r = RunOnPortrait(s);
    ASSERT_EQ(4u, r.states.size()) << r.output;
    EXPECT_EQ("1.0000", r.states[0]["zoom"]);
    EXPECT_EQ("0,1,4,4,4,4,1,1", r.states[0]["buttons"]);
    ASSERT_EQ(8u, zooms.size());
    EXPECT_EQ(1.0f, zooms[0]) << "the command only starts the animation";
    EXPECT_LT(zooms[5], 2.5f) << "five ticks stay just below 2.5";
    EXPECT_EQ(2.5f, zooms[6]) << "the sixth ends exactly at 2.5";
    EXPECT_EQ(2.5f, zooms[7]);
    auto& zoomed = r.states[1];
    EXPECT_EQ("2.5000", zoomed["zoom"]);
    EXPECT_EQ("1,0,4,4,4,4,1,1", zoomed["buttons"]) << "the zoom-out button takes the zoom-in button's place";
    EXPECT_EQ("173,176", zoomed["overlayImages"]);
    EXPECT_EQ(zoomed["srcSpan"], r.states[2]["srcSpan"]) << "the third tap changed nothing";
    EXPECT_EQ("2.5000", r.states[2]["zoom"]);
    EXPECT_EQ("1.0000", r.states[3]["zoom"]);
    EXPECT_EQ("0,511,0,599", r.states[3]["srcSpan"]) << "the whole picture again";
    EXPECT_EQ("0,1,4,4,4,4,1,1", r.states[3]["buttons"]);
    EXPECT_EQ("173,174", r.states[3]["overlayImages"]) << "zoom out greyed at the fit";
}

TEST(ZoomGestures, ADoubleTapAt1Point8ZoomsOutAndTapsFarApartDoNothing) {
    Steps s = EffectView();
    s.Call([] { ZoomTo(1.8f); }).Do("tap 240 300\nwait 150\ntap 240 300\nwait 100\n").State();
    s.Do("wait 300\ntap 100 300\nwait 150\ntap 130 300\nwait 100\n").State();
    SessionResult r = RunOnPortrait(s);
    ASSERT_EQ(2u, r.states.size());
    EXPECT_EQ("1.0000", r.states[0]["zoom"]);
    EXPECT_EQ("1.0000", r.states[1]["zoom"]) << "30 pixels apart is not a double tap";
    EXPECT_EQ("0,511,0,599", r.states[1]["srcSpan"]);
}

TEST(ZoomGestures, HoldingZoomsInBesideTheOverlayAndADragZoomsByTheFinger) {
    std::vector<float> perTick;
    Steps s = EffectView();
    s.Do("press 100 300\nwait 600\n").State();
    for (int tick = 0; tick < 3; tick++)
        s.Do("wait 10\n").Call([&] { perTick.push_back(g_app.zoomController->GetZoom()); });
    // 21 pixels up: drag zoom; the zoom timer stops and the finger sets the zoom.
    s.Do("move 100 279\n").State().Do("wait 100\n").State();
    s.Do("move 100 240\n").State();
    s.Do("release 100 240\nwait 200\n").State();
    SessionResult r = RunOnPortrait(s);
    ASSERT_EQ(5u, r.states.size()) << r.output;
    auto& held = r.states[0];
    EXPECT_EQ("1", held["zoomMode"]);
    EXPECT_EQ("shown", held["overlay"]);
    // Right of the finger (x < 180): the column is centred 95 pixels to the right,
    // on the finger's height (client pixels).
    EXPECT_EQ("155,153,235,343", held["overlayRect"]);
    ASSERT_EQ(3u, perTick.size());
    EXPECT_NEAR(0.1f, perTick[1] - perTick[0], 1e-5);
    EXPECT_NEAR(0.1f, perTick[2] - perTick[1], 1e-5);
    auto& drag = r.states[1];
    EXPECT_EQ("2", drag["zoomMode"]);
    EXPECT_EQ(drag["zoom"], r.states[2]["zoom"]) << "no zoom ticks during the drag";
    // Each move adds (press y - y) x 9 / 960.
    const float before = std::stof(drag["zoom"]);
    EXPECT_NEAR(before + 60.0f * 9.0f / 960.0f, std::stof(r.states[3]["zoom"]), 1e-3);
    EXPECT_EQ("1,0,4,4,4,4,1,1", r.states[3]["buttons"]);
    EXPECT_EQ("3", r.states[4]["zoomMode"]);
    EXPECT_EQ("hidden", r.states[4]["overlay"]) << "the column fades out after the release";
    EXPECT_EQ(r.states[3]["zoom"], r.states[4]["zoom"]);
}

TEST(ZoomGestures, HoldingAtTheTopZoomsToTenWithTheZoomInButtonGrey) {
    Steps s = EffectView();
    s.Do("press 300 52\nwait 600\nwait 1000\n").State().Do("release 300 52\n");
    SessionResult r = RunOnPortrait(s);
    ASSERT_EQ(1u, r.states.size());
    EXPECT_EQ("10.0000", r.states[0]["zoom"]);
    EXPECT_EQ("175,176", r.states[0]["overlayImages"]);
    // Left of the finger (x >= 180), the centre held below the top.
    EXPECT_EQ("165,0,245,190", r.states[0]["overlayRect"]);
}

TEST(ZoomGestures, PanningWaitsFor16PixelsOnBothAxesAndFollowsTheStylus) {
    Steps s = EffectView();
    s.Call([] { ZoomTo(2.0f); }).State();
    s.Do("press 240 300\nmove 256 310\n").State();  // 16 right, 10 down: not yet
    s.Do("move 260 320\n").State();                 // 20 and 20: pans
    s.Do("move 262 321\n").State();                 // 2 and 1 more: held back
    s.Do("move 266 326\n").State().Do("release 266 326\n");
    SessionResult r = RunOnPortrait(s);
    ASSERT_EQ(5u, r.states.size());
    EXPECT_EQ(r.states[0]["srcSpan"], r.states[1]["srcSpan"]);
    EXPECT_NE(r.states[1]["srcSpan"], r.states[2]["srcSpan"]);
    EXPECT_EQ(r.states[2]["srcSpan"], r.states[3]["srcSpan"]);
    EXPECT_NE(r.states[3]["srcSpan"], r.states[4]["srcSpan"]) << "small moves add up";
    // The picture follows the stylus: moving right and down shows more of the left and top.
    auto x0 = [](std::map<std::string, std::string>& st) { return std::stoi(st["srcSpan"]); };
    EXPECT_LT(x0(r.states[2]), x0(r.states[1]));
}

TEST(ZoomGestures, AtTheFitDraggingNeverPansAndMovingAwayCancelsTheHold) {
    Steps s = EffectView();
    s.State().Do("press 240 300\nmove 280 340\nwait 700\n").State().Do("release 280 340\n");
    SessionResult r = RunOnPortrait(s);
    ASSERT_EQ(2u, r.states.size());
    EXPECT_EQ(r.states[0]["srcSpan"], r.states[1]["srcSpan"]);
    EXPECT_EQ("1.0000", r.states[1]["zoom"]) << "the hold was cancelled";
    EXPECT_EQ("hidden", r.states[1]["overlay"]);
}

TEST(ZoomGestures, TheZoomButtonsZoomAboutTheMiddle) {
    Steps s = EffectView();
    s.Tap(kZoomX, kBarY).Do("wait 100\n").State().Tap(kZoomX, kBarY).Do("wait 100\n").State();
    SessionResult r = RunOnPortrait(s);
    ASSERT_EQ(2u, r.states.size());
    EXPECT_EQ("2.5000", r.states[0]["zoom"]);
    EXPECT_EQ("1,0,4,4,4,4,1,1", r.states[0]["buttons"]) << "the bar's release shows zoom out";
    EXPECT_EQ("1.0000", r.states[1]["zoom"]);
    EXPECT_EQ("0,1,4,4,4,4,1,1", r.states[1]["buttons"]);
}

// The hint after Effect: the column fades in at the middle of the photo area in
// six paints and out again in six, then hides.
TEST(ZoomHint, FadesInAndOutInTheMiddleAfterEffect) {
    std::vector<int> alphas;
    std::vector<bool> shown;
    Steps s;
    s.Do("choose grace_hopper_single.jpg\n").Tap(kFindX, kBarY).Tap(kEffectX, kBarY).State();
    for (int i = 0; i < 30; i++) {
        s.Do("wait 100\n").Call([&] {
            ZoomOverlay* o = g_app.zoomController->GetOverlay();
            alphas.push_back(o->GetFadeAlpha());
            shown.push_back(o->IsBarVisible());
        });
    }
    SessionResult r = RunOnPortrait(s);
    ASSERT_EQ(1u, r.states.size());
    EXPECT_EQ("4", r.states[0]["zoomMode"]);
    EXPECT_EQ("shown", r.states[0]["overlay"]);
    EXPECT_EQ("200,185,280,375", r.states[0]["overlayRect"]) << "centred on the 480 x 560 photo area";
    // The opacities the paints went through, without repeats.
    std::vector<int> steps;
    for (int a : alphas)
        if (steps.empty() || steps.back() != a) steps.push_back(a);
    const std::vector<int> expected{105, 155, 205, 255, 205, 155, 105, 55, 5};
    ASSERT_GE(steps.size(), expected.size());
    EXPECT_EQ(expected, std::vector<int>(steps.end() - expected.size(), steps.end()));
    EXPECT_FALSE(shown.back()) << "hidden at the end";
}

// Reset while a zoom animation runs: the remaining ticks must not lay the full
// picture's spans over the marking view.
TEST(ZoomFaults, ResetDuringAZoomAnimationKeepsTheMarkingView) {
    Steps s = EffectView();
    s.Do("tap 240 300\nwait 150\ntap 240 300\nwait 20\n").Tap(kResetX, kBarY).Do("wait 200\n").State();
    SessionResult r = RunOnPortrait(s);
    ASSERT_EQ(1u, r.states.size());
    EXPECT_EQ("1", r.states[0]["state"]);
    EXPECT_EQ("0,255,0,299", r.states[0]["srcSpan"]) << "the reduced copy, whole";
    EXPECT_EQ("1,477,0,559", r.states[0]["dstSpan"]);
}

}  // namespace
