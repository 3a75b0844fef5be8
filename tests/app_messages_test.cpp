// Every message the application shows fits its panel, and a panel gives back the
// font, imaging factory and images it took, however it ends.
#include <gtest/gtest.h>

#include "dialogs/MessagePanel.h"
#include "platform/Platform.h"
#include "resources/Resources.h"

namespace {

using platform::ScriptCommand;

// Every text the application passes to its message panel.
const wchar_t* const kMessages[] = {
    L"Overwrite original file,\\Continue ?",
    L"Undo all changes?",
    L"Done",
    L"Not enough storage !",
    L"Too Large or incorrect file !",
    L"  Open image under 2M",
    L"No one !\\Touch your target !",
    L"Overwrite original file.\\Continue?",
};

// The panel on screen: its top-left corner and size.
constexpr int kLeft = 18, kTop = 260, kWidth = 445;
// The two message lines start 80 and 130 pixels down the panel.
constexpr int kLinesTop = kTop + 75, kLinesBottom = kTop + 185;

HINSTANCE Instance() {
    return reinterpret_cast<HINSTANCE>(const_cast<platform::ResourceModule*>(LumetraResources()));
}

// Shows `text` as a notice while `script` runs.
int Show(const wchar_t* text, int style, std::vector<ScriptCommand> script) {
    platform::Options o;
    o.headless = true;
    o.script = std::move(script);
    EXPECT_TRUE(platform::Initialize(o));
    platform::RegisterResourceModule(Instance(), LumetraResources());
    int answer = AppMessageBox(Instance(), nullptr, L"Lumetra", text, style);
    platform::Shutdown();
    return answer;
}

bool IsText(uint32_t rgb) {
    return ((rgb >> 16) & 0xFF) > 200 && ((rgb >> 8) & 0xFF) > 200 && (rgb & 0xFF) > 200;
}

// True where the screen shows message text (white on the panel's dark middle).
struct Screen {
    std::vector<uint32_t> pixels = platform::ScreenPixels();
    bool Text(int x, int y) const { return IsText(pixels[(size_t)y * platform::kScreenWidth + x]); }
};

TEST(Messages, EveryMessageFitsInsideThePanel) {
    for (const wchar_t* text : kMessages) {
        int inMargin = 0, drawn = 0;
        ScriptCommand look(ScriptCommand::Call);
        look.call = [&] {
            Screen screen;
            for (int y = kLinesTop; y < kLinesBottom; y++) {
                for (int x = kLeft + 20; x < kLeft + kWidth - 20; x++) drawn += screen.Text(x, y);
                // The right margin, where a clipped line would run into the border.
                for (int x = kLeft + kWidth - 18; x < kLeft + kWidth - 2; x++) inMargin += screen.Text(x, y);
            }
        };
        Show(text, PANEL_OK, {look, ScriptCommand(ScriptCommand::Tap, 240, 490)});
        std::wstring shown = text;
        EXPECT_GT(drawn, 100) << "the message is drawn: " << std::string(shown.begin(), shown.end());
        EXPECT_EQ(0, inMargin) << "the message runs into the right margin: " << std::string(shown.begin(), shown.end());
    }
}

// Height of the text rows of the first letter of the message (the leftmost
// 20 columns of text), as shown on screen.
int FirstLetterHeight(const wchar_t* text) {
    int top = 1 << 30, bottom = -1;
    ScriptCommand look(ScriptCommand::Call);
    look.call = [&] {
        Screen screen;
        for (int y = kLinesTop; y < kLinesBottom; y++)
            for (int x = kLeft + 20; x < kLeft + 40; x++)
                if (screen.Text(x, y)) {
                    top = std::min(top, y);
                    bottom = std::max(bottom, y);
                }
    };
    Show(text, PANEL_OK, {look, ScriptCommand(ScriptCommand::Tap, 240, 490)});
    return bottom - top;
}

TEST(Messages, OnlyALineTooWideForThePanelIsDrawnSmaller) {
    int fits = FirstLetterHeight(L"Done");
    int shrunk = FirstLetterHeight(L"Done, and then a line far too wide for the panel");
    EXPECT_GT(fits, 20);
    EXPECT_LT(shrunk, fits);
}

TEST(Messages, APanelGivesBackEverythingItTookOnEveryPath) {
    const ScriptCommand ok(ScriptCommand::Tap, 130, 490), cancel(ScriptCommand::Tap, 350, 490);
    Show(L"Done", PANEL_OK, {ScriptCommand(ScriptCommand::Tap, 240, 490)});  // the platform's own lazy objects
    const int gdi = platform::LiveGdiObjects(), imaging = platform::LiveImagingObjects();

    EXPECT_EQ(0, Show(kMessages[0], PANEL_OK_CANCEL, {ok}));
    EXPECT_EQ(1, Show(kMessages[0], PANEL_OK_CANCEL, {cancel}));
    EXPECT_EQ(1, Show(kMessages[0], PANEL_OK_CANCEL, {}));  // the program ends under the panel
    int inner = -1;
    ScriptCommand nested(ScriptCommand::Call);
    nested.call = [&] { inner = AppMessageBox(Instance(), nullptr, L"Lumetra", L"Done", PANEL_OK); };
    EXPECT_EQ(1, Show(kMessages[0], PANEL_OK_CANCEL, {nested, ScriptCommand(ScriptCommand::Tap, 240, 490), cancel}));
    EXPECT_EQ(0, inner);
    EXPECT_EQ(gdi, platform::LiveGdiObjects()) << "fonts and bitmaps";
    EXPECT_EQ(imaging, platform::LiveImagingObjects()) << "imaging factory and images";
}

}  // namespace
