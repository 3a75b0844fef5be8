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
constexpr uint32_t kOwnerGrey = 0x808080;

const OwnerMessage kClosed{WM_SAVE_POPUP_CLOSED, 0}, kSaveAsCommand{WM_COMMAND, POPUP_CMD_SAVE_AS},
    kCancelCommand{WM_COMMAND, POPUP_CMD_CANCEL};

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

    // Opens the pop-up over a recording owner and runs `script` against it;
    // `open_` tells whether the pop-up was still open at the end of it.
    void Run(std::vector<ScriptCommand> script, bool withArt = true) {
        script.push_back(Call([this] { open_ = IsWindow(popup_); }));
        Start(std::move(script));
        HINSTANCE instance = UseResources(withArt);
        owner_ = MakeOwner(&told_);
        popup_ = ShowSavePopup(instance, owner_);
        ASSERT_NE(nullptr, popup_);
        RunLoop();
    }

    HWND owner_ = nullptr;
    HWND popup_ = nullptr;
    bool open_ = false;
    std::vector<OwnerMessage> told_;
};

// An entry chosen tells the owner twice that the pop-up closed, then posts the
// entry's command; closing otherwise tells it once, with no command.
TEST_F(SavePopupTest, ClosingTellsTheOwnerWhichEntryWasChosenIfAny) {
    const std::vector<OwnerMessage> savedAs = {kClosed, kClosed, kSaveAsCommand};
    const struct {
        const char* what;
        std::vector<ScriptCommand> steps;
        std::vector<OwnerMessage> told;
    } cases[] = {
        {"tap on Save As", {Tap(kSaveAs)}, savedAs},
        {"tap on Cancel", {Tap(kCancel)}, {kClosed, kClosed, kCancelCommand}},
        {"pressed on Save As, released on Cancel: neither; then Save As",
         {Press(kSaveAs), Move(kCancel), Release(kCancel), Tap(kSaveAs)},
         savedAs},
        {"tap on the top edge", {Tap(kTopEdge)}, {kClosed}},
        {"tap on the separator", {Tap(kSeparator)}, {kClosed}},
        {"tap on the left edge", {Tap(kLeftEdge)}, {kClosed}},
        {"the platform's ok", {Call([this] { PostMessage(popup_, WM_COMMAND, IDOK, 0); })}, {kClosed}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        told_.clear();
        Run(c.steps);
        platform::Shutdown();
        EXPECT_FALSE(open_);
        EXPECT_EQ(c.told, told_);
    }
}

TEST_F(SavePopupTest, PressingSaveAsAndSlidingOffLeavesItOpenWithNothingHighlighted) {
    std::vector<uint32_t> before, pressed, after;
    const POINT off{kSaveAs.x, kTop - 60};
    Run({Call([&] { before = PopupPixels(); }), Press(kSaveAs), Call([&] { pressed = PopupPixels(); }), Move(off),
         Release(off), Call([&] { after = PopupPixels(); })});
    EXPECT_TRUE(open_);
    EXPECT_TRUE(told_.empty()) << "no command, and the pop-up did not close";
    EXPECT_NE(before, pressed) << "the pressed entry is highlighted";
    EXPECT_EQ(before, after) << "after sliding off the pop-up looks as it did before the press";
}

TEST_F(SavePopupTest, ItsRoundedCornersShowTheWindowUnderIt) {
    uint32_t corner = 0, inside = 0, under = 0;
    Run({Call([&] {
        corner = platform::ScreenPixel(kLeft, kTop);
        inside = platform::ScreenPixel(kSaveAs.x, kSaveAs.y);
        under = platform::ScreenPixel(240, 300);
    })});
    EXPECT_EQ(kOwnerGrey, under);
    EXPECT_EQ(kOwnerGrey, corner) << "the key colour is left out";
    EXPECT_NE(kOwnerGrey, inside);
    EXPECT_NE(0xFFFAFFu, inside);
}

TEST_F(SavePopupTest, WithoutItsImagesItIsDrawnPlainlyAndStillWorks) {
    uint32_t inside = 0, pressed = 0;
    Run({Call([&] { inside = platform::ScreenPixel(kLeft + 10, kTop + 40); }), Press(kCancel),
         Call([&] { pressed = platform::ScreenPixel(kLeft + 10, kTop + 100); }), Release(kCancel)},
        false);
    EXPECT_NE(kOwnerGrey, inside) << "the pop-up can be seen";
    EXPECT_NE(inside, pressed) << "the pressed entry can be seen";
    EXPECT_EQ((std::vector<OwnerMessage>{kClosed, kClosed, kCancelCommand}), told_);
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
        {Press(kSaveAs), Release({kSaveAs.x, kTop - 60}), Tap(kCancel)},
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
