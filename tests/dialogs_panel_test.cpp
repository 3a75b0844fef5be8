// The message panel: how a message is split into its two lines, and which answer
// each way of leaving the panel gives.
#include <gtest/gtest.h>

#include "dialogs/MessagePanel.h"
#include "platform/Platform.h"
#include "platform/resources.h"
#include "resources/resource_ids.h"

namespace {

using platform::ScriptCommand;

TEST(MessageLines, TheLastBackslashSplitsTheTwoLines) {
    std::wstring a, b;
    SplitMessageLines(L"Overwrite original file,\\Continue ?", a, b);
    EXPECT_EQ(L"Overwrite original file,", a);
    EXPECT_EQ(L"Continue ?", b);
    SplitMessageLines(L"Done", a, b);
    EXPECT_EQ(L"", a) << "a single line is drawn as the first line's place by being all line 2";
    EXPECT_EQ(L"Done", b);
    SplitMessageLines(L"a\\b\\c", a, b);
    EXPECT_EQ(L"a\\b", a);
    EXPECT_EQ(L"c", b);
    SplitMessageLines(L"No one !\\", a, b);
    EXPECT_EQ(L"No one !", a);
    EXPECT_EQ(L"", b);
}

// The panel needs only its template; its images are optional.
const platform::DialogResource kDialogs[] = {{IDD_MESSAGE_PANEL, WS_POPUP, 0, 0, 0, 0, L"", nullptr, 0, nullptr, 0}};
const platform::ResourceModule kModule = {nullptr, 0, nullptr, 0, nullptr, 0, kDialogs, 1, nullptr, 0};

// Shows a panel while the script runs; returns its answer and whether a panel
// was open when `probe` ran.
int Answer(int style, std::vector<ScriptCommand> script, std::wstring* openText = nullptr) {
    platform::Options o;
    o.headless = true;
    o.script = std::move(script);
    if (openText) {
        ScriptCommand probe(ScriptCommand::Call);
        probe.call = [openText] { *openText = OpenMessagePanelText(); };
        o.script.insert(o.script.begin(), probe);
    }
    EXPECT_TRUE(platform::Initialize(o));
    auto instance = reinterpret_cast<HINSTANCE>(const_cast<platform::ResourceModule*>(&kModule));
    platform::RegisterResourceModule(instance, &kModule);
    int answer = AppMessageBox(instance, nullptr, L"Lumetra", L"Undo all changes?", style);
    platform::Shutdown();
    return answer;
}

// Screen points: the panel's top-left corner is at (18, 260).
constexpr int kY = 490;

TEST(MessagePanel, OkGivesZeroAndCancelGivesOne) {
    std::wstring shown;
    EXPECT_EQ(0, Answer(PANEL_OK_CANCEL, {ScriptCommand(ScriptCommand::Tap, 130, kY)}, &shown));
    EXPECT_EQ(L"Undo all changes?", shown);
    EXPECT_EQ(1, Answer(PANEL_OK_CANCEL, {ScriptCommand(ScriptCommand::Tap, 350, kY)}));
    EXPECT_EQ(0, Answer(PANEL_OK, {ScriptCommand(ScriptCommand::Tap, 240, kY)}));
}

TEST(MessagePanel, PressingOkAndSlidingOffStillChoosesOk) {
    EXPECT_EQ(0, Answer(PANEL_OK_CANCEL,
                        {ScriptCommand(ScriptCommand::Press, 130, kY), ScriptCommand(ScriptCommand::Move, 300, 100),
                         ScriptCommand(ScriptCommand::Release, 300, 100)}));
}

TEST(MessagePanel, ATapBesideTheButtonsLeavesThePanelOpen) {
    std::wstring stillOpen;
    ScriptCommand probe(ScriptCommand::Call);
    probe.call = [&] { stillOpen = OpenMessagePanelText(); };
    // The one-button panel has no Cancel: a tap where Cancel would be is beside the button.
    int answer =
        Answer(PANEL_OK, {ScriptCommand(ScriptCommand::Tap, 240, 340), probe,
                          ScriptCommand(ScriptCommand::Tap, 460, kY), ScriptCommand(ScriptCommand::Tap, 240, kY)});
    EXPECT_EQ(L"Undo all changes?", stillOpen);
    EXPECT_EQ(0, answer);
}

TEST(MessagePanel, ThePlatformsOkCommandCountsAsCancel) {
    ScriptCommand ok(ScriptCommand::Call);
    ok.call = [] {
        HWND panel = GetForegroundWindow();
        PostMessage(panel, WM_COMMAND, IDOK, 0);
    };
    EXPECT_EQ(1, Answer(PANEL_OK_CANCEL, {ok}));
}

TEST(MessagePanel, AProgramEndingUnderThePanelGetsCancel) {
    EXPECT_EQ(1, Answer(PANEL_OK_CANCEL, {}));
}

TEST(MessagePanel, ReturnIsCancelUnlessTheKeyboardFocusShowsOk) {
    ScriptCommand ret(ScriptCommand::Key, 0, 0, L"return"), tab(ScriptCommand::Key, 0, 0, L"tab");
    EXPECT_EQ(1, Answer(PANEL_OK_CANCEL, {ret})) << "a stray Return never answers OK";
    EXPECT_EQ(0, Answer(PANEL_OK_CANCEL, {tab, ret})) << "Tab shows the focus on OK";
    EXPECT_EQ(1, Answer(PANEL_OK_CANCEL, {tab, tab, ret})) << "a second Tab moves it to Cancel";
    EXPECT_EQ(1, Answer(PANEL_OK_CANCEL, {ScriptCommand(ScriptCommand::Key, 0, 0, L"escape")}));
}

// A panel that some path opens from inside another's loop has a state of its
// own: it neither answers for the outer one nor takes the outer one's font and
// images with it.
TEST(MessagePanel, APanelOpenedOverAnotherLeavesTheOuterAnswerAndItsResourcesAlone) {
    Answer(PANEL_OK, {ScriptCommand(ScriptCommand::Tap, 240, kY)});  // the platform's own lazy objects
    const int gdi = platform::LiveGdiObjects(), imaging = platform::LiveImagingObjects();
    int inner = -1;
    ScriptCommand nested(ScriptCommand::Call);
    nested.call = [&] {
        auto instance = reinterpret_cast<HINSTANCE>(const_cast<platform::ResourceModule*>(&kModule));
        inner = AppMessageBox(instance, nullptr, L"Lumetra", L"Done", PANEL_OK);
    };
    std::wstring outerText;
    ScriptCommand probe(ScriptCommand::Call);
    probe.call = [&] { outerText = OpenMessagePanelText(); };
    int outer = Answer(PANEL_OK_CANCEL, {nested, ScriptCommand(ScriptCommand::Tap, 240, kY), probe,
                                         ScriptCommand(ScriptCommand::Tap, 350, kY)});
    EXPECT_EQ(0, inner);
    EXPECT_EQ(L"Undo all changes?", outerText) << "the outer panel is still the one shown";
    EXPECT_EQ(1, outer) << "the inner OK is not the outer answer";
    EXPECT_EQ(gdi, platform::LiveGdiObjects()) << "fonts and bitmaps given back";
    EXPECT_EQ(imaging, platform::LiveImagingObjects()) << "imaging factory and images given back";
}

}  // namespace
