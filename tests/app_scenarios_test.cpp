// Whole sessions of the application, replayed headless through its real message
// loop: opening pictures, refusals, the message panel, quitting.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/MainWindow.h"
#include "app_Session.h"
#include "imaging_TestImages.h"
#include "platform/Platform.h"

namespace {

using testing_support::TempDir;

std::string Tap(int x, int y) {
    return "tap " + std::to_string(x) + " " + std::to_string(y) + "\n";
}
const std::string kPanelOk = Tap(kPanelOkX, kPanelOkY);

platform::ScriptCommand Call(std::function<void()> f) {
    platform::ScriptCommand c(platform::ScriptCommand::Call);
    c.call = std::move(f);
    return c;
}

TEST(Session, StartShowsTheChooserAndLeavingItEndsTheApplication) {
    TempDir storage;
    WriteTestJpeg(storage.File("a.jpg"), 64, 48);
    std::vector<std::wstring> titles;
    SessionResult r = RunSession(storage.path(), "state\n",
                                 {Call([&] { titles = platform::OpenWindowTitles(); }),
                                  platform::ScriptCommand(platform::ScriptCommand::Key, 0, 0, L"escape"),
                                  platform::ScriptCommand(platform::ScriptCommand::State)});
    EXPECT_EQ(0, r.exitCode);
    ASSERT_GE(r.states.size(), 1u);
    EXPECT_EQ("0", r.states[0]["state"]);
    EXPECT_NE(std::find(titles.begin(), titles.end(), L"Open"), titles.end()) << "the chooser is on screen";
    // The state after Escape is never reported: the application has ended.
    EXPECT_EQ(1u, r.states.size());
}

TEST(Session, ChoosingAPhotoShowsItFittedWithTheEditingButtons) {
    TempDir storage;
    WriteTestJpeg(storage.File("wide.jpg"), 1600, 1200);
    SessionResult r = RunSession(storage.path(), "choose wide.jpg\nstate\nkey ctrl+q\n");
    ASSERT_EQ(1u, r.states.size());
    auto& s = r.states[0];
    EXPECT_EQ("1", s["state"]);
    EXPECT_EQ("2", s["level"]);
    EXPECT_EQ("1600x1200", s["full"]);
    EXPECT_EQ("400x300", s["reduced"]);
    EXPECT_EQ("0,479,100,459", s["dstSpan"]);
    EXPECT_EQ("0,399,0,299", s["srcSpan"]);
    EXPECT_EQ("0,4,1,4,4,4,4,1", s["buttons"]);
    EXPECT_EQ("wide.jpg", s["file"]);
    EXPECT_EQ("", s["message"]);
    EXPECT_EQ(0, r.exitCode);
}

TEST(Session, AnUnreadableFileIsReportedAndTheWindowStaysEmpty) {
    TempDir storage;
    testing_support::WriteBytes(storage.File("broken.jpg"), {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F'});
    SessionResult r = RunSession(storage.path(), "choose broken.jpg\nstate\n" + kPanelOk + "state\nkey ctrl+q\n");
    ASSERT_EQ(2u, r.states.size());
    EXPECT_EQ("Too Large or incorrect file !", r.states[0]["message"]);
    EXPECT_EQ("0", r.states[0]["state"]);
    EXPECT_EQ("", r.states[1]["message"]) << "OK closes the panel";
    EXPECT_EQ("0", r.states[1]["state"]);
    EXPECT_EQ(0, r.exitCode);
}

TEST(Session, PicturesOverSixMillionBytesAreRefusedAndTheChooserReturns) {
    TempDir storage;
    WriteTestJpeg(storage.File("exact.jpg"), 1600, 1250);  // 6,000,000 bytes: accepted
    WriteTestJpeg(storage.File("over.jpg"), 1600, 1251);   // one row more: refused
    std::vector<std::wstring> titles;
    SessionResult r = RunSession(storage.path(), "choose over.jpg\nstate\n" + kPanelOk,
                                 {Call([&] { titles = platform::OpenWindowTitles(); }),
                                  platform::ScriptCommand(platform::ScriptCommand::Choose, 0, 0, L"exact.jpg"),
                                  platform::ScriptCommand(platform::ScriptCommand::State),
                                  platform::ScriptCommand(platform::ScriptCommand::Key, 0, 0, L"ctrl+q")});
    ASSERT_EQ(2u, r.states.size());
    EXPECT_EQ("  Open image under 2M", r.states[0]["message"]);
    EXPECT_EQ("0", r.states[0]["state"]);
    EXPECT_NE(std::find(titles.begin(), titles.end(), L"Open"), titles.end()) << "the chooser came back";
    EXPECT_EQ("1", r.states[1]["state"]);
    EXPECT_EQ("1600x1250", r.states[1]["full"]);
}

TEST(Session, CtrlQQuitsAtOnce) {
    TempDir storage;
    WriteTestJpeg(storage.File("a.jpg"), 300, 200);
    SessionResult r = RunSession(storage.path(), "choose a.jpg\nkey ctrl+q\nstate\n");
    EXPECT_EQ(0, r.exitCode);
    EXPECT_TRUE(r.states.empty()) << "nothing runs after the window is gone";
}

TEST(Session, BrushButtonsWorkBeforeFindAndResetKeepsThePicture) {
    TempDir storage;
    WriteTestJpeg(storage.File("a.jpg"), 640, 480);
    // Button centres on the screen: the bar is the last 80 rows of the client area.
    int barY = kClientTop + 600;
    SessionResult r = RunSession(storage.path(), "choose a.jpg\n" + Tap(170, barY) + "state\n" + Tap(238, barY) +
                                                     "state\n" + Tap(445, barY) + "state\nkey ctrl+q\n");
    ASSERT_EQ(3u, r.states.size());
    EXPECT_EQ("1", r.states[0]["brushMode"]) << "add brush before Find";
    EXPECT_EQ("2", r.states[1]["brushMode"]) << "erase brush before Find";
    EXPECT_EQ("0", r.states[2]["brushMode"]) << "Reset";
    EXPECT_EQ("1", r.states[2]["state"]);
    EXPECT_EQ("320x240", r.states[2]["reduced"]);
    EXPECT_EQ("0,4,1,4,4,4,4,1", r.states[2]["buttons"]);
}

TEST(Session, SaveRewritesTheOpenedFileAsJpegEvenUnderABmpName) {
    TempDir storage;
    // A 2 x 2 24-bit BMP.
    std::vector<unsigned char> bmp = {'B', 'M', 70, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0,  0,
                                      2,   0,   0,  0, 2, 0, 0, 0, 1, 0, 24, 0, 0, 0, 0,  0, 16, 0,
                                      0,   0,   0,  0, 0, 0, 0, 0, 0, 0, 0,  0, 0, 0, 0,  0, 0,  0};
    for (int i = 0; i < 16; i++) bmp.push_back((unsigned char)(i * 15));
    testing_support::WriteBytes(storage.File("beach.bmp"), bmp);
    // The chooser starts on JPEG files; its filter button (top right) moves on to all files.
    const std::string cancel = Tap(kPanelCancelX, kPanelButtonsY), ok = Tap(kPanelTwoOkX, kPanelButtonsY);
    SessionResult r = RunSession(storage.path(), "tap 400 82\nchoose beach.bmp\nkey f1\nstate\n" + cancel + "key f1\n" +
                                                     ok + "state\n" + kPanelOk + "key ctrl+q\n");
    ASSERT_EQ(2u, r.states.size());
    EXPECT_EQ("Overwrite original file,\\Continue ?", r.states[0]["message"]);
    EXPECT_EQ("Done", r.states[1]["message"]);
    auto bytes = testing_support::ReadBytes(storage.File("beach.bmp"));
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(0xFF, bytes[0]);
    EXPECT_EQ(0xD8, bytes[1]) << "the file now holds a JPEG";

    // The program opens what it wrote, under the same name.
    SessionResult again = RunSession(storage.path(), "choose beach.bmp\nstate\nkey ctrl+q\n");
    ASSERT_EQ(1u, again.states.size());
    EXPECT_EQ("1", again.states[0]["state"]);
    EXPECT_EQ("4x2", again.states[0]["full"]);
    EXPECT_EQ("", again.states[0]["message"]);
}

TEST(Session, AboutBoxOpensWithCtrlAAndClosesWithOk) {
    TempDir storage;
    WriteTestJpeg(storage.File("a.jpg"), 64, 48);
    std::vector<std::wstring> during, after;
    SessionResult r = RunSession(storage.path(), "choose a.jpg\nkey ctrl+a\n",
                                 {Call([&] { during = platform::OpenWindowTitles(); }),
                                  platform::ScriptCommand(platform::ScriptCommand::Tap, 440, 26),
                                  Call([&] { after = platform::OpenWindowTitles(); }),
                                  platform::ScriptCommand(platform::ScriptCommand::Key, 0, 0, L"ctrl+q")});
    EXPECT_NE(std::find(during.begin(), during.end(), L"About Lumetra"), during.end());
    EXPECT_EQ(std::find(after.begin(), after.end(), L"About Lumetra"), after.end());
    EXPECT_EQ(0, r.exitCode);
}

TEST(Session, ATallPhotoWhoseReducedRowsAreOddIsDrawnUpright) {
    // 404 x 900 becomes a 101 x 225 reduced copy: rows of 303 bytes. A dark band
    // down the middle must stay one straight band on the screen.
    TempDir storage;
    const int w = 404, h = 900;
    imaging_test::Bytes rgb((size_t)w * h * 3, 255);
    for (int y = 0; y < h; y++)
        for (int x = 200; x < 208; x++)
            for (int c = 0; c < 3; c++) rgb[((size_t)y * w + x) * 3 + c] = 0;
    ASSERT_TRUE(imaging_test::WriteRawJpeg(storage.File("tall.jpg"), w, h, 3, JCS_RGB, JCS_YCbCr, false, rgb));
    std::vector<uint32_t> band, beside;
    SessionResult r = RunSession(storage.path(), "choose tall.jpg\n", {Call([&] {
                                     const SpanRect& d = g_app.dstSpan;
                                     const SpanRect& src = g_srcSpan;
                                     auto screenX = [&](double x) {
                                         return d.x0 + (int)((x - src.x0) * (d.x1 - d.x0 + 1) / (src.x1 - src.x0 + 1));
                                     };
                                     for (int y : {d.y0 + 2, (d.y0 + d.y1) / 2, d.y1 - 2}) {
                                         band.push_back(platform::ScreenPixel(screenX(51), y + kClientTop));
                                         beside.push_back(platform::ScreenPixel(screenX(60), y + kClientTop));
                                     }
                                 })});
    ASSERT_EQ(3u, band.size());
    for (size_t i = 0; i < band.size(); i++) {
        EXPECT_LT(band[i] & 0xFF, 80u) << "the band at height " << i;
        EXPECT_GT(beside[i] & 0xFF, 200u) << "white beside it at height " << i;
    }
}

TEST(Session, ALongFileNameIsSavedUnderItsOwnNameAndOneTooLongToKeepIsRefused) {
    TempDir storage;
    const std::string longName = std::string(240, 'p') + ".jpg";  // 244 bytes: fits the record
    const std::string tooLong = std::string(251, 'q') + ".jpg";   // 255 bytes: no room for the terminator
    WriteTestJpeg(storage.File(longName), 64, 48);
    WriteTestJpeg(storage.File(tooLong), 64, 48);
    // Bytes after the end of the picture mark the file as it was before saving.
    auto before = testing_support::ReadBytes(storage.File(longName));
    before.insert(before.end(), {'o', 'l', 'd'});
    testing_support::WriteBytes(storage.File(longName), before);
    const std::string ok = Tap(kPanelTwoOkX, kPanelButtonsY);
    SessionResult r = RunSession(
        storage.path(), "choose " + longName + "\nstate\nkey f1\n" + ok + "state\n" + kPanelOk + "key ctrl+q\n");
    ASSERT_EQ(2u, r.states.size());
    EXPECT_EQ(longName, r.states[0]["file"]);
    EXPECT_EQ("Done", r.states[1]["message"]);
    EXPECT_NE(before, testing_support::ReadBytes(storage.File(longName))) << "the opened file was rewritten";
    EXPECT_EQ(2, std::distance(std::filesystem::directory_iterator(storage.path()), {})) << "and no other file made";

    r = RunSession(storage.path(), "choose " + tooLong + "\nstate\n" + kPanelOk + "key ctrl+q\n");
    ASSERT_EQ(1u, r.states.size());
    EXPECT_EQ("Too Large or incorrect file !", r.states[0]["message"]);
    EXPECT_EQ("0", r.states[0]["state"]);
}

}  // namespace
