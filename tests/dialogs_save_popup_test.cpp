// The Save pop-up: which entry a press chooses, what the owner is told and in
// which order, how it looks over the window under it, and that it gives back
// everything it made.
#include <gtest/gtest.h>

#include <vector>

#include "dialogs/SavePopup.h"
#include "dialogs_TestSupport.h"

namespace {

using namespace dialogs_test;
using platform::ScriptCommand;

// The pop-up lies at screen (88, 552) to (392, 695) over a 480 x 640 owner:
// "Save As" fills its rows 6 to 71, "Cancel" rows 73 to 138, a separator line
// runs along row 72 between them, and the frame is around both.
constexpr int kLeft = 88, kTop = 552, kRight = 392, kBottom = 695;
constexpr POINT kSaveAs{240, kTop + 38};
constexpr POINT kCancel{240, kTop + 105};
constexpr POINT kTopEdge{240, kTop + 2};
constexpr POINT kSeparator{240, kTop + 72};
constexpr POINT kLeftEdge{kLeft + 1, kTop + 50};
constexpr POINT kOnTheOwner{240, 300};
constexpr uint32_t kOwnerGrey = 0x808080;

const OwnerMessage kClosed{WM_SAVE_POPUP_CLOSED, 0};
OwnerMessage Command(int id) {
    return OwnerMessage{WM_COMMAND, id};
}

ScriptCommand Tap(POINT p) {
    return dialogs_test::Tap(p.x, p.y);
}

// The pop-up's part of the screen.
std::vector<uint32_t> PopupPixels() {
    std::vector<uint32_t> screen = platform::ScreenPixels(), out;
    for (int y = kTop; y < kBottom; y++)
        for (int x = kLeft; x < kRight; x++) out.push_back(screen[(size_t)y * platform::kScreenWidth + x]);
    return out;
}

class SavePopupTest : public ::testing::Test {
protected:
    void TearDown() override { platform::Shutdown(); }

    // Opens the pop-up over a recording owner and runs `script` against it.
    void Run(std::vector<ScriptCommand> script, bool withArt = true) {
        Start(std::move(script));
        HINSTANCE instance = UseResources(withArt);
        owner_ = MakeOwner(&told_);
        popup_ = ShowSavePopup(instance, owner_);
        ASSERT_NE(nullptr, popup_);
        RunLoop();
    }

    ScriptCommand ProbeOpen(bool* open) {
        return Call([this, open] { *open = IsWindow(popup_); });
    }

    HWND owner_ = nullptr;
    HWND popup_ = nullptr;
    std::vector<OwnerMessage> told_;
};

TEST_F(SavePopupTest, ChoosingAnEntryTellsTheOwnerItClosedTwiceThenPostsTheEntrysCommand) {
    bool open = true;
    Run({Tap(kSaveAs), ProbeOpen(&open)});
    EXPECT_FALSE(open);
    EXPECT_EQ((std::vector<OwnerMessage>{kClosed, kClosed, Command(POPUP_CMD_SAVE_AS)}), told_);
    platform::Shutdown();

    told_.clear();
    Run({Tap(kCancel), ProbeOpen(&open)});
    EXPECT_FALSE(open);
    EXPECT_EQ((std::vector<OwnerMessage>{kClosed, kClosed, Command(POPUP_CMD_CANCEL)}), told_);
}

TEST_F(SavePopupTest, PressingSaveAsAndSlidingOffLeavesItOpenWithNothingHighlighted) {
    std::vector<uint32_t> before, pressed, after;
    bool open = false;
    Run({Call([&] { before = PopupPixels(); }), Press(kSaveAs.x, kSaveAs.y), Call([&] { pressed = PopupPixels(); }),
         Move(kSaveAs.x, kTop - 60), Release(kSaveAs.x, kTop - 60), Call([&] { after = PopupPixels(); }),
         ProbeOpen(&open)});
    EXPECT_TRUE(open);
    EXPECT_TRUE(told_.empty()) << "no command, and the pop-up did not close";
    EXPECT_NE(before, pressed) << "the pressed entry is highlighted";
    EXPECT_EQ(before, after) << "after sliding off the pop-up looks as it did before the press";
}

TEST_F(SavePopupTest, ReleasingOverTheOtherEntryChoosesNeither) {
    bool open = false;
    Run({Press(kSaveAs.x, kSaveAs.y), Move(kCancel.x, kCancel.y), Release(kCancel.x, kCancel.y), ProbeOpen(&open),
         Tap(kCancel)});
    EXPECT_TRUE(open);
    EXPECT_EQ((std::vector<OwnerMessage>{kClosed, kClosed, Command(POPUP_CMD_CANCEL)}), told_)
        << "only the later tap on Cancel chose";
}

TEST_F(SavePopupTest, ATapOutsideBothEntriesClosesItWithoutACommand) {
    for (POINT p : {kTopEdge, kSeparator, kLeftEdge}) {
        SCOPED_TRACE(testing::Message() << "tap at " << p.x << "," << p.y);
        bool open = true;
        told_.clear();
        Run({Tap(p), ProbeOpen(&open)});
        EXPECT_FALSE(open);
        EXPECT_EQ(std::vector<OwnerMessage>{kClosed}, told_);
        platform::Shutdown();
    }
}

TEST_F(SavePopupTest, ThePlatformsOkCommandClosesItWithoutACommand) {
    bool open = true;
    Run({Call([this] { PostMessage(popup_, WM_COMMAND, IDOK, 0); }), ProbeOpen(&open)});
    EXPECT_FALSE(open);
    EXPECT_EQ(std::vector<OwnerMessage>{kClosed}, told_);
}

TEST_F(SavePopupTest, ItsRoundedCornersShowTheWindowUnderIt) {
    uint32_t corner = 0, inside = 0, under = 0;
    Run({Call([&] {
        corner = platform::ScreenPixel(kLeft, kTop);
        inside = platform::ScreenPixel(kSaveAs.x, kSaveAs.y);
        under = platform::ScreenPixel(kOnTheOwner.x, kOnTheOwner.y);
    })});
    EXPECT_EQ(kOwnerGrey, under);
    EXPECT_EQ(kOwnerGrey, corner) << "the key colour is left out";
    EXPECT_NE(kOwnerGrey, inside);
    EXPECT_NE(0xFFFAFFu, inside);
}

TEST_F(SavePopupTest, WithoutItsImagesItIsDrawnPlainlyAndStillWorks) {
    uint32_t inside = 0, pressed = 0;
    Run({Call([&] { inside = platform::ScreenPixel(kLeft + 10, kTop + 40); }), Press(kCancel.x, kCancel.y),
         Call([&] { pressed = platform::ScreenPixel(kLeft + 10, kTop + 100); }), Release(kCancel.x, kCancel.y)},
        false);
    EXPECT_NE(kOwnerGrey, inside) << "the pop-up can be seen";
    EXPECT_NE(inside, pressed) << "the pressed entry can be seen";
    EXPECT_EQ((std::vector<OwnerMessage>{kClosed, kClosed, Command(POPUP_CMD_CANCEL)}), told_);
}

TEST_F(SavePopupTest, OpeningASecondPopUpClosesTheFirst) {
    HWND first = nullptr, second = nullptr;
    Run({Call([&] {
        first = popup_;
        second = ShowSavePopup(UseResources(), owner_);
    })});
    EXPECT_FALSE(IsWindow(first));
    EXPECT_TRUE(IsWindow(second));
    EXPECT_EQ(std::vector<OwnerMessage>{kClosed}, told_) << "the first one closed";
}

TEST_F(SavePopupTest, GivesBackEveryDrawingObjectAndImageHoweverItCloses) {
    Run({Tap(kCancel)});  // the platform's own lazily made objects
    platform::Shutdown();
    const int gdi = platform::LiveGdiObjects(), imaging = platform::LiveImagingObjects();
    const std::vector<std::vector<ScriptCommand>> ways = {
        {Tap(kSaveAs)},
        {Tap(kTopEdge)},
        {Press(kSaveAs.x, kSaveAs.y), Release(kSaveAs.x, kTop - 60), Tap(kCancel)},
        {Call([this] { PostMessage(popup_, WM_COMMAND, IDOK, 0); })},
        {Call([this] { DestroyWindow(owner_); })},
        {},  // still open when the program ends
    };
    for (size_t i = 0; i < ways.size(); i++) {
        SCOPED_TRACE(testing::Message() << "way " << i);
        int imagingWhileOpen = 0;
        std::vector<ScriptCommand> script = {Call([&] { imagingWhileOpen = platform::LiveImagingObjects(); })};
        script.insert(script.end(), ways[i].begin(), ways[i].end());
        Run(script);
        platform::Shutdown();
        EXPECT_EQ(imaging + 11, imagingWhileOpen) << "the factory and its ten images";
        EXPECT_EQ(gdi, platform::LiveGdiObjects());
        EXPECT_EQ(imaging, platform::LiveImagingObjects());
    }
}

}  // namespace
