// The Find button in whole headless sessions: the people of a portrait turn
// green, a picture without anyone asks for a touch, and Find works once.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/MainWindow.h"
#include "app_Session.h"
#include "platform/Platform.h"

namespace {

using testing_support::TempDir;

std::string Tap(int x, int y) {
    return "tap " + std::to_string(x) + " " + std::to_string(y) + "\n";
}
// The Find button's centre on the screen.
const std::string kFind = Tap(100, kClientTop + 600);

platform::ScriptCommand Call(std::function<void()> f) {
    platform::ScriptCommand c(platform::ScriptCommand::Call);
    c.call = std::move(f);
    return c;
}

// What a reduced-copy pixel looks like in memory, in the mask and on the screen.
struct Probe {
    int blue = -1, green = -1, red = -1;
    int mask = -1;
    uint32_t screen = 0;
};

Probe Look(int x, int y) {
    Probe p;
    const uint8_t* px = g_app.reduced.pixels + ((size_t)y * g_app.reduced.width + x) * 3;
    p.blue = px[0];
    p.green = px[1];
    p.red = px[2];
    p.mask = g_app.mask[(size_t)y * g_app.reduced.width + x];
    // Centre of the pixel's place in the view.
    const SpanRect& d = g_app.dstSpan;
    int sx = d.x0 + (2 * (x - g_srcSpan.x0) + 1) * (d.x1 - d.x0 + 1) / (2 * (g_srcSpan.x1 - g_srcSpan.x0 + 1));
    int sy = d.y0 + (2 * (y - g_srcSpan.y0) + 1) * (d.y1 - d.y0 + 1) / (2 * (g_srcSpan.y1 - g_srcSpan.y0 + 1));
    p.screen = platform::ScreenPixel(sx, sy + kClientTop);
    return p;
}

int Green(uint32_t rgb) {
    return (rgb >> 8) & 0xFF;
}

TEST(Find, ThePeopleOfAPortraitTurnGreenOnScreenAndTheBrushesTakeOver) {
    TempDir storage;
    std::filesystem::copy_file(std::string(LUMETRA_SOURCE_DIR) + "/samples/astronaut_single.jpg",
                               storage.File("astronaut.jpg"));
    // Reduced copy 256 x 256: (113, 60) is the nose, (240, 10) the wall behind.
    Probe noseBefore, noseAfter, wallBefore, wallAfter;
    SessionResult r = RunSession(storage.path(), "choose astronaut.jpg\n",
                                 {Call([&] {
                                      noseBefore = Look(113, 60);
                                      wallBefore = Look(240, 10);
                                  }),
                                  platform::ScriptCommand(platform::ScriptCommand::Tap, 100, kClientTop + 600),
                                  platform::ScriptCommand(platform::ScriptCommand::State), Call([&] {
                                      noseAfter = Look(113, 60);
                                      wallAfter = Look(240, 10);
                                  }),
                                  platform::ScriptCommand(platform::ScriptCommand::Key, 0, 0, L"ctrl+q")});
    ASSERT_EQ(1u, r.states.size());
    auto& s = r.states[0];
    EXPECT_EQ("", s["message"]) << "a face was found, so nothing is asked";
    EXPECT_EQ("1", s["subjectFound"]);
    EXPECT_EQ("1", s["brushMode"]);
    EXPECT_EQ("0,4,4,2,1,1,4,1", s["buttons"]) << "Find off, add brush chosen, erase and Effect on";
    EXPECT_EQ("yes", s["regionMap"]);
    EXPECT_GT(std::stoi(s["maskPixels"]), 5000);

    EXPECT_EQ(0, noseBefore.mask);
    EXPECT_EQ(1, noseAfter.mask);
    EXPECT_EQ((noseBefore.green + 255) / 2, noseAfter.green) << "green is halfway to full";
    EXPECT_EQ(noseBefore.red, noseAfter.red);
    EXPECT_EQ(noseBefore.blue, noseAfter.blue);
    EXPECT_NE(noseBefore.screen, noseAfter.screen) << "the tint is drawn at once";
    EXPECT_NEAR((Green(noseBefore.screen) + 255) / 2, Green(noseAfter.screen), 4);
    EXPECT_EQ(0, wallAfter.mask);
    EXPECT_EQ(wallBefore.green, wallAfter.green);
    EXPECT_EQ(wallBefore.screen, wallAfter.screen);
}

TEST(Find, WithNoOneInThePictureTheUserIsAskedToTouchAndASecondFindDoesNothing) {
    TempDir storage;
    WriteTestJpeg(storage.File("gradient.jpg"), 640, 480);
    SessionResult r =
        RunSession(storage.path(), "choose gradient.jpg\n" + kFind + "state\n" + Tap(kPanelOkX, kPanelOkY) + "state\n" +
                                       kFind + "state\nkey ctrl+q\n");
    ASSERT_EQ(3u, r.states.size());
    EXPECT_EQ("No one !\\Touch your target !", r.states[0]["message"]);
    auto& after = r.states[1];
    EXPECT_EQ("", after["message"]);
    EXPECT_EQ("1", after["brushMode"]);
    EXPECT_EQ("1", after["subjectFound"]);
    EXPECT_EQ("0,4,4,2,1,1,4,1", after["buttons"]) << "the brushes and Effect are enabled";
    EXPECT_EQ("0", after["maskPixels"]);
    EXPECT_EQ("yes", after["regionMap"]) << "the regions wait for touches";
    EXPECT_EQ("0,319,0,239", after["subjectRect"]);
    EXPECT_EQ("", r.states[2]["message"]) << "the second Find asks nothing";
    EXPECT_EQ(after["buttons"], r.states[2]["buttons"]);
    EXPECT_EQ(0, r.exitCode);
}

TEST(Find, ResetAndANewPictureDropTheRegionsAndTheTint) {
    TempDir storage;
    WriteTestJpeg(storage.File("a.jpg"), 640, 480);
    const std::string reset = Tap(445, kClientTop + 600);
    SessionResult r = RunSession(storage.path(), "choose a.jpg\n" + kFind + Tap(kPanelOkX, kPanelOkY) + reset +
                                                     "state\n" + kFind + "state\nkey ctrl+q\n");
    ASSERT_EQ(2u, r.states.size());
    EXPECT_EQ("no", r.states[0]["regionMap"]);
    EXPECT_EQ("0", r.states[0]["subjectFound"]);
    EXPECT_EQ("0,4,1,4,4,4,4,1", r.states[0]["buttons"]);
    EXPECT_EQ("No one !\\Touch your target !", r.states[1]["message"]) << "after Reset, Find runs again";
}

}  // namespace
