// The folder picker (DirselaSingle): the chooser's look listing the folders of
// "My Storage" only, what it leaves in the registry when a folder is chosen or
// not, the script's `choosefolder`, and how it runs over the window in front.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "platform/resources.h"
#include "platform/win32.h"
#include "support/TestFiles.h"

namespace {

using platform::ScriptCommand;
using testing_support::TempDir;

// The picker covers the screen under the 52-px task bar: a 60-px top row,
// cells of 160 x 160 in three columns, and the soft keys "Cancel" and "Choose"
// along the bottom.
constexpr POINT kCancel{120, 744 - 26};
constexpr POINT kChoose{360, 744 - 26};
constexpr wchar_t kKey[] = L"Software\\Korvex\\Filora\\Dirsela";
constexpr wchar_t kValue[] = L"Folder_Path_0";

POINT Cell(int index) {
    return {index % 3 * 160 + 80, 52 + 60 + index / 3 * 160 + 65};
}

ScriptCommand Tap(POINT p) {
    return ScriptCommand(ScriptCommand::Tap, p.x, p.y);
}
ScriptCommand Key(const wchar_t* name) {
    return ScriptCommand(ScriptCommand::Key, 0, 0, name);
}
ScriptCommand Call(std::function<void()> fn) {
    ScriptCommand c(ScriptCommand::Call);
    c.call = std::move(fn);
    return c;
}
std::vector<ScriptCommand> Script(const std::string& text) {
    std::vector<ScriptCommand> out;
    std::string error;
    EXPECT_TRUE(platform::ParseScript(text, out, error)) << error;
    return out;
}

class FolderPickerTest : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = dir_.path() + "/My Storage";
        std::filesystem::create_directories(root_);
    }
    void TearDown() override { platform::Shutdown(); }

    void Folder(const std::string& relative) { std::filesystem::create_directories(root_ + "/" + relative); }
    void File(const std::string& relative) { testing_support::WriteBytes(root_ + "/" + relative, {'x'}); }

    void Start(std::vector<ScriptCommand> script) {
        platform::Options o;
        o.headless = true;
        o.storageRoot = root_;
        o.configDir = dir_.File("config");
        o.script = std::move(script);
        o.echo = [this](std::string& line) { echoed_ += line; };
        ASSERT_TRUE(platform::Initialize(o));
    }

    // Runs the picker with `script`, the registry holding `before` (nothing
    // when empty); returns its result and leaves the value after in `after_`.
    int Pick(std::vector<ScriptCommand> script, const std::wstring& before = L"") {
        Start(std::move(script));
        if (!before.empty()) {
            EXPECT_EQ(S_OK, SHRegSetString(HKEY_CURRENT_USER, kKey, kValue, before.c_str()));
        }
        int result = DirselaSingle();
        after_ = Registry();
        platform::Shutdown();
        return result;
    }

    static std::wstring Registry() {
        wchar_t value[260] = {0};
        if (FAILED(SHRegQueryString(HKEY_CURRENT_USER, kKey, kValue, value, 260))) return L"(none)";
        return value;
    }

    std::wstring InRoot(const std::string& relative = "") const {
        std::string path = relative.empty() ? root_ : root_ + "/" + relative;
        return std::wstring(path.begin(), path.end());
    }

    TempDir dir_;
    std::string root_;
    std::string echoed_;
    std::wstring after_;
};

TEST_F(FolderPickerTest, CancellingGivesANegativeResultAndLeavesTheRegistryAlone) {
    Folder("Photos");
    EXPECT_LT(Pick({Tap(kCancel)}), 0);
    EXPECT_EQ(L"(none)", after_) << "nothing is written when there was nothing";
    const struct {
        const char* way;
        std::vector<ScriptCommand> script;
    } ways[] = {
        {"Cancel soft key", {Tap(kCancel)}}, {"left soft key", {Key(L"f1")}},
        {"escape", {Key(L"escape")}},        {"inside a folder", {Tap(Cell(0)), Tap(kCancel)}},
        {"the program ending", {}},
    };
    for (const auto& w : ways) {
        SCOPED_TRACE(w.way);
        EXPECT_LT(Pick(w.script, InRoot("Photos")), 0);
        EXPECT_EQ(InRoot("Photos"), after_);
    }
}

TEST_F(FolderPickerTest, ChoosingASubfolderLeavesItsFullPathInTheRegistry) {
    Folder("Photos/2024");
    Folder("Music");
    // Music, Photos; inside Photos: 2024.
    EXPECT_GE(Pick({Tap(Cell(1)), Tap(Cell(0)), Tap(kChoose)}), 0);
    EXPECT_EQ(InRoot("Photos/2024"), after_);
    EXPECT_GE(Pick({Key(L"f2")}), 0) << "the right soft key chooses the folder shown";
    EXPECT_EQ(InRoot("Photos/2024"), after_) << "it opened on the last folder chosen";
}

TEST_F(FolderPickerTest, AtTheTopItChoosesMyStorageItself) {
    Folder("Photos");
    EXPECT_GE(Pick({Tap(kChoose)}), 0);
    EXPECT_EQ(InRoot(), after_);
}

TEST_F(FolderPickerTest, ListsFoldersAndNoFiles) {
    File("a.jpg");
    File("b.bmp");
    Folder("Photos");
    // Were the pictures listed, Photos would come first and a.jpg would be in
    // the second cell; the tap there hits nothing.
    EXPECT_GE(Pick(Script("tap 240 177\nchoose a.jpg\nchoosefolder .\n")), 0);
    EXPECT_NE(echoed_.find("cannot choose a.jpg: no a.jpg in"), std::string::npos) << echoed_;
    EXPECT_EQ(InRoot(), after_);
}

TEST_F(FolderPickerTest, OpensOnTheLastChosenFolderOnlyWhenItIsStillInMyStorage) {
    Folder("Photos/Old");
    const struct {
        const char* what;
        std::wstring last;
        std::wstring opens;
    } cases[] = {
        {"a folder inside", InRoot("Photos/Old"), InRoot("Photos/Old")},
        {"a folder outside", std::wstring(dir_.path().begin(), dir_.path().end()), InRoot()},
        {"a folder that is gone", InRoot("Photos/Gone"), InRoot()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_GE(Pick(Script("choosefolder .\n"), c.last), 0);
        EXPECT_EQ(c.opens, after_);
    }
}

TEST_F(FolderPickerTest, TheScriptsChoosefolderOpensAndChoosesByName) {
    Folder("Photos/2024");
    EXPECT_GE(Pick(Script("choosefolder Photos/2024\n")), 0);
    EXPECT_EQ(InRoot("Photos/2024"), after_);
    EXPECT_GE(Pick(Script("choosefolder ..\n"), InRoot("Photos/2024")), 0) << "up from where it opened";
    EXPECT_EQ(InRoot("Photos"), after_);
    EXPECT_GE(Pick(Script("choose Photos\nchoosefolder .\n")), 0) << "choose opens a folder as a tap would";
    EXPECT_EQ(InRoot("Photos"), after_);
}

TEST_F(FolderPickerTest, ChoosefolderSaysWhyItCannotAndLeavesThePickerWhereItWas) {
    Folder("Photos/2024");
    File("Photos/a.jpg");
    EXPECT_GE(Pick(Script("choosefolder Photos/missing\nchoosefolder ..\nchoosefolder Photos/a.jpg\n"
                          "choosefolder Photos\n")),
              0);
    EXPECT_NE(echoed_.find("cannot choose folder Photos/missing: no missing in"), std::string::npos) << echoed_;
    EXPECT_NE(echoed_.find("cannot choose folder ..: already at the top of My Storage"), std::string::npos) << echoed_;
    EXPECT_NE(echoed_.find("cannot choose folder Photos/a.jpg: no a.jpg in"), std::string::npos) << echoed_;
    EXPECT_EQ(InRoot("Photos"), after_) << "the failed choices left it at the top";
}

TEST_F(FolderPickerTest, ChoosefolderNeedsAnOpenFolderPicker) {
    Folder("Photos");
    Start(Script("choosefolder Photos\nkey escape\n"));
    wchar_t file[260] = {0};
    OPENFILENAMEEX ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.lpstrFilter = L"All\0*.*\0";
    ofn.lpstrFile = file;
    ofn.nMaxFile = 260;
    EXPECT_FALSE(GetOpenFileNameEx(&ofn));
    EXPECT_NE(echoed_.find("cannot choose folder Photos: the open chooser picks a picture, not a folder"),
              std::string::npos)
        << echoed_;
    EXPECT_EQ(L"(none)", Registry());
}

// The program reads the choice back into 260 characters: a longer path
// cannot be chosen, so it never reads a cut path naming another folder.
TEST_F(FolderPickerTest, AFolderWhosePathTheProgramCannotReadBackCannotBeChosen) {
    const size_t room = 259 - root_.size() - 1;  // characters left for one folder name
    ASSERT_LT(room, 255u);
    const std::string fits(room, 'f'), tooLong = std::string(room - 1, 't') + "/xy";
    Folder(fits);
    Folder(tooLong);
    EXPECT_GE(Pick(Script("choosefolder " + fits + "\n")), 0);
    EXPECT_EQ(259u, after_.size());
    EXPECT_EQ(InRoot(fits), after_);

    // Opened as taps would; there "Choose", its key and Return do nothing.
    EXPECT_LT(
        Pick(Script("choose " + tooLong + "\nchoosefolder .\nkey f2\ntap 360 718\nkey return\nkey escape\n"), InRoot()),
        0);
    EXPECT_NE(echoed_.find("its path is too long"), std::string::npos) << echoed_;
    EXPECT_EQ(InRoot(), after_) << "the registry keeps what it held";
}

// The owner's own soft keys and taps do nothing while the picker is open.
const platform::MenuItemResource kOwnerKeys[] = {{7001, L"Left"}, {7002, L"Right"}};
const platform::MenuResource kOwnerMenus[] = {{1, kOwnerKeys, 2}};
const platform::ResourceModule kOwnerModule = {nullptr, 0, nullptr, 0, kOwnerMenus, 1, nullptr, 0, nullptr, 0};
std::vector<UINT> g_ownerCommands;

LRESULT OwnerProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_COMMAND) {
        g_ownerCommands.push_back(LOWORD(wParam));
        return 0;
    }
    return DefWindowProc(hwnd, msg, wParam, lParam);
}

TEST_F(FolderPickerTest, RunsModallyOverTheWindowInFront) {
    Folder("Photos");
    g_ownerCommands.clear();
    HWND owner = nullptr;
    bool enabledWhileOpen = true;
    std::wstring front;
    Start({Call([&] {
               enabledWhileOpen = IsWindowEnabled(owner);
               front = platform::OpenWindowTitles().back();
           }),
           Key(L"f2")});
    auto instance = reinterpret_cast<HINSTANCE>(const_cast<platform::ResourceModule*>(&kOwnerModule));
    platform::RegisterResourceModule(instance, &kOwnerModule);
    WNDCLASS wc{};
    wc.lpfnWndProc = OwnerProc;
    wc.lpszClassName = L"PickerTestOwner";
    RegisterClass(&wc);
    owner =
        CreateWindow(L"PickerTestOwner", L"Owner", WS_VISIBLE, 0, 52, 480, 640, nullptr, nullptr, instance, nullptr);
    SHMENUBARINFO bar{};
    bar.cbSize = sizeof bar;
    bar.hwndParent = owner;
    bar.dwFlags = SHCMBF_HMENU;
    bar.nToolBarId = 1;
    bar.hInstRes = instance;
    ASSERT_TRUE(SHCreateMenuBar(&bar));

    EXPECT_GE(DirselaSingle(), 0) << "F2 went to the picker, as its Choose";
    EXPECT_EQ(InRoot(), Registry());
    EXPECT_FALSE(enabledWhileOpen);
    EXPECT_EQ(L"Choose Folder", front);
    EXPECT_TRUE(IsWindowEnabled(owner));
    MSG msg;
    while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE) && msg.message != WM_QUIT) DispatchMessage(&msg);
    EXPECT_TRUE(g_ownerCommands.empty()) << "the owner's soft keys took nothing while the picker was open";
}

}  // namespace
