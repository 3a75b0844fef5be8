// While a question or notice is open over the main window, the window's soft
// keys, accelerators and bar buttons do nothing, so the user's photo is rewritten
// only when OK answered "Overwrite original file,\Continue ?".
#include <gtest/gtest.h>

#include <random>

#include "app/MainWindow.h"
#include "app_Session.h"
#include "dialogs/MessagePanel.h"

namespace {

using platform::ScriptCommand;
using testing_support::ReadBytes;
using testing_support::TempDir;

constexpr int kSoftKeyY = platform::kScreenHeight - platform::kMenuBarHeight / 2;
constexpr int kSaveKeyX = 120, kMenuKeyX = 360;
const std::wstring kOverwrite = L"Overwrite original file,\\Continue ?";

ScriptCommand Tap(int x, int y) {
    return ScriptCommand(ScriptCommand::Tap, x, y);
}
ScriptCommand Key(const wchar_t* name) {
    return ScriptCommand(ScriptCommand::Key, 0, 0, name);
}
ScriptCommand Call(std::function<void()> f) {
    ScriptCommand c(ScriptCommand::Call);
    c.call = std::move(f);
    return c;
}

TEST(ModalQuestion, ASecondSaveDuringTheQuestionThenCancelLeavesThePhotoAlone) {
    TempDir storage;
    WriteTestJpeg(storage.File("a.jpg"), 200, 150);
    const auto before = ReadBytes(storage.File("a.jpg"));
    std::wstring during;
    int panelsAfterCancel = -1;
    RunSession(storage.path(), "choose a.jpg\n",
               {Tap(kSaveKeyX, kSoftKeyY), Tap(kSaveKeyX, kSoftKeyY), Key(L"f1"),
                Call([&] { during = OpenMessagePanelText(); }), Tap(kPanelCancelX, kPanelButtonsY),
                Call([&] { panelsAfterCancel = OpenMessagePanelText().empty() ? 0 : 1; }), Key(L"ctrl+q")});
    EXPECT_EQ(kOverwrite, during);
    EXPECT_EQ(0, panelsAfterCancel) << "one Cancel closes the one question there was";
    EXPECT_EQ(before, ReadBytes(storage.File("a.jpg"))) << "Cancel never rewrites the photo";
}

TEST(ModalQuestion, AcceleratorsAndBarButtonsDoNothingUnderTheQuestion) {
    TempDir storage;
    WriteTestJpeg(storage.File("a.jpg"), 200, 150);
    std::wstring open;
    SessionResult r = RunSession(
        storage.path(), "choose a.jpg\n",
        {Tap(kSaveKeyX, kSoftKeyY), Key(L"ctrl+a"), Key(L"ctrl+q"),
         Tap(100, kClientTop + 600),  // Find, on the bar under the panel
         Tap(kMenuKeyX, kSoftKeyY), ScriptCommand(ScriptCommand::State), Call([&] { open = OpenMessagePanelText(); }),
         Tap(kPanelCancelX, kPanelButtonsY), ScriptCommand(ScriptCommand::State), Key(L"ctrl+q")});
    ASSERT_EQ(2u, r.states.size()) << "Ctrl+Q under the question did not end the program";
    EXPECT_EQ(kOverwrite, open) << "no About box or pop-up opened over the question";
    EXPECT_EQ("0", r.states[0]["subjectFound"]) << "Find did not run under the question";
    EXPECT_EQ("1", r.states[1]["state"]);
    EXPECT_EQ("", r.states[1]["message"]);
}

TEST(ModalQuestion, ReturnAnswersCancelAndOnlyOkRewritesThePhoto) {
    TempDir storage;
    WriteTestJpeg(storage.File("a.jpg"), 200, 150);
    const auto before = ReadBytes(storage.File("a.jpg"));
    std::vector<unsigned char> afterReturn, afterOk;
    RunSession(
        storage.path(), "choose a.jpg\n",
        {Tap(kSaveKeyX, kSoftKeyY), Key(L"return"), Call([&] { afterReturn = ReadBytes(storage.File("a.jpg")); }),
         Tap(kSaveKeyX, kSoftKeyY), Tap(kPanelTwoOkX, kPanelButtonsY), Tap(kPanelOkX, kPanelOkY),  // "Done"
         Call([&] { afterOk = ReadBytes(storage.File("a.jpg")); }), Key(L"ctrl+q")});
    EXPECT_EQ(before, afterReturn) << "Return on the question is Cancel";
    EXPECT_NE(before, afterOk) << "OK saves";
}

// Random taps and keys over a session: whatever happens, the file changes only
// right after OK was tapped on the overwrite question, and always then.
TEST(ModalQuestion, RandomSessionsRewriteThePhotoOnlyAfterOk) {
    struct Action {
        const char* what;
        ScriptCommand command;
        bool isOk;  // the two-button panel's OK
    };
    const std::vector<Action> actions = {
        {"save key", Tap(kSaveKeyX, kSoftKeyY), false},
        {"menu key", Tap(kMenuKeyX, kSoftKeyY), false},
        {"f1", Key(L"f1"), false},
        {"f2", Key(L"f2"), false},
        {"return", Key(L"return"), false},
        {"escape", Key(L"escape"), false},
        {"ctrl+a", Key(L"ctrl+a"), false},
        {"ok", Tap(kPanelTwoOkX, kPanelButtonsY), true},
        {"cancel", Tap(kPanelCancelX, kPanelButtonsY), false},
        {"notice ok", Tap(kPanelOkX, kPanelOkY), false},
        {"task bar ok", Tap(450, 26), false},
        {"find", Tap(100, kClientTop + 600), false},
        {"reset", Tap(445, kClientTop + 600), false},
        {"photo", Tap(240, 300), false},
    };
    std::mt19937 random(20261206);
    for (int session = 0; session < 30; session++) {
        TempDir storage;
        WriteTestJpeg(storage.File("a.jpg"), 120, 90);
        std::string last = FileVersion(storage.File("a.jpg"));
        std::vector<ScriptCommand> script;
        std::string trail;
        bool questionOpen = false;
        for (int step = 0; step < 30; step++) {
            const Action& a = actions[random() % actions.size()];
            script.push_back(Call([&, what = a.what] {
                questionOpen = OpenMessagePanelText() == kOverwrite;
                trail += std::string(what) + (questionOpen ? "(question) " : " ");
            }));
            script.push_back(a.command);
            script.push_back(Call([&, isOk = a.isOk] {
                std::string now = FileVersion(storage.File("a.jpg"));
                bool rewritten = now != last;
                last = now;
                EXPECT_EQ(isOk && questionOpen, rewritten) << "session " << session << ": " << trail;
            }));
        }
        script.push_back(Key(L"ctrl+q"));
        RunSession(storage.path(), "choose a.jpg\n", script);
        if (HasFailure()) break;
    }
}

}  // namespace
