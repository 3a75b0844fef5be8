// The folder picker (DirselaSingle): the chooser's look listing the folders of
// "My Storage" only, what it leaves in the registry when a folder is chosen or
// not, the script's `choosefolder`, and how it runs over the window in front.
#include <gtest/gtest.h>

#include <filesystem>
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
// cells of 160 x 160 in three columns (the first row's centres at y 177), and
// the soft keys "Cancel" (tap 120 718) and "Choose" (tap 360 718) along the bottom.
constexpr wchar_t kKey[] = L"Software\\Korvex\\Filora\\Dirsela";
constexpr wchar_t kValue[] = L"Folder_Path_0";

class FolderPickerTest : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = dir_.path() + "/My Storage";
        std::filesystem::create_directories(root_);
    }
    void TearDown() override { platform::Shutdown(); }

    void Folder(const std::string& relative) { std::filesystem::create_directories(root_ + "/" + relative); }
    void File(const std::string& relative) { testing_support::WriteBytes(root_ + "/" + relative, {'x'}); }

    // Starts the platform, its script `first` followed by those of `text`.
    void Start(const std::string& text, std::vector<ScriptCommand> first = {}) {
        std::string error;
        ASSERT_TRUE(platform::ParseScript(text, first, error)) << error;
        auto echo = [this](std::string& line) { echoed_ += line; };
        ASSERT_TRUE(platform::Initialize({true, 1, root_, dir_.File("config"), "", std::move(first), echo}));
    }

    // Runs the picker with `script`, the registry holding `before` alone (nothing
    // when empty); returns its result and leaves the value after in `after_`.
    int Pick(const std::string& script, const std::wstring& before = L"") {
        echoed_.clear();
        std::filesystem::remove_all(dir_.File("config"));
        Start(script);
        EXPECT_TRUE(before.empty() || SHRegSetString(HKEY_CURRENT_USER, kKey, kValue, before.c_str()) == S_OK);
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

// My Storage holds Music, Photos (2024, Old, a.jpg), a.jpg and b.bmp. Each case
// runs the picker with the registry holding `last` (nothing when empty).
TEST_F(FolderPickerTest, LeavesTheChosenFolderInTheRegistryAndNothingNewWhenNoneIsChosen) {
    for (auto folder : {"Music", "Photos/2024", "Photos/Old"}) Folder(folder);
    for (auto file : {"Photos/a.jpg", "a.jpg", "b.bmp"}) File(file);
    const std::wstring photos = InRoot("Photos"), y2024 = InRoot("Photos/2024");
    const struct {
        const char* what;
        std::wstring last;
        std::string script;
        std::wstring after;  // L"(none)": no value; empty: nothing chosen and `last` kept
        const char* says = "";
    } cases[] = {
        {"Cancel with nothing stored", L"", "tap 120 718\n", L"(none)"},
        {"Cancel soft key", photos, "tap 120 718\n", L""},
        {"left soft key", photos, "key f1\n", L""},
        {"escape", photos, "key escape\n", L""},
        {"Cancel inside a folder", photos, "tap 240 177\ntap 120 718\n", L""},
        {"the program ending", photos, "", L""},
        {"taps into a subfolder, Choose", L"", "tap 240 177\ntap 80 177\ntap 360 718\n", y2024},
        {"the right soft key on the last folder chosen", y2024, "key f2\n", y2024},
        {"Choose at the top: My Storage itself", L"", "tap 360 718\n", InRoot()},
        // Were the files listed, a.jpg would be in the third cell.
        {"no files", L"", "tap 400 177\nchoose a.jpg\nchoosefolder .\n", InRoot(), "cannot choose a.jpg: no a.jpg in"},
        {"opens on the last folder", InRoot("Photos/Old"), "choosefolder .\n", InRoot("Photos/Old")},
        {"not on one outside", std::wstring(dir_.path().begin(), dir_.path().end()), "choosefolder .\n", InRoot()},
        {"not on one that is gone", InRoot("Photos/Gone"), "choosefolder .\n", InRoot()},
        {"choosefolder by name", L"", "choosefolder Photos/2024\n", y2024},
        {"choosefolder .. from where it opened", y2024, "choosefolder ..\n", photos},
        {"choose opens a folder as a tap would", L"", "choose Photos\nchoosefolder .\n", photos},
        {"choosefolder of a missing folder", L"", "choosefolder Photos/missing\nchoosefolder Photos\n", photos,
         "cannot choose folder Photos/missing: no missing in"},
        {"choosefolder .. at the top", L"", "choosefolder ..\nchoosefolder Photos\n", photos,
         "cannot choose folder ..: already at the top of My Storage"},
        {"choosefolder of a file", L"", "choosefolder Photos/a.jpg\nchoosefolder Photos\n", photos,
         "cannot choose folder Photos/a.jpg: no a.jpg in"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const int result = Pick(c.script, c.last);
        EXPECT_EQ(c.after.empty() ? c.last : c.after, after_);
        EXPECT_EQ(!c.after.empty() && c.after != L"(none)", result >= 0);
        EXPECT_NE(echoed_.find(c.says), std::string::npos) << echoed_;
    }
}

TEST_F(FolderPickerTest, ChoosefolderNeedsAnOpenFolderPicker) {
    Folder("Photos");
    Start("choosefolder Photos\nkey escape\n");
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
    const std::string fits(room, 'f'), tooLong = std::string(room - 1, 't') + "/x";
    Folder(fits);
    Folder(tooLong);
    EXPECT_GE(Pick("choosefolder " + fits + "\n"), 0);
    EXPECT_EQ(259u, after_.size());
    EXPECT_EQ(InRoot(fits), after_);

    // Opened as taps would; there "Choose", its key and Return do nothing.
    EXPECT_LT(Pick("choose " + tooLong + "\nchoosefolder .\nkey f2\ntap 360 718\nkey return\nkey escape\n", InRoot()),
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
    if (msg != WM_COMMAND) return DefWindowProc(hwnd, msg, wParam, lParam);
    g_ownerCommands.push_back(LOWORD(wParam));
    return 0;
}

TEST_F(FolderPickerTest, RunsModallyOverTheWindowInFront) {
    Folder("Photos");
    g_ownerCommands.clear();
    HWND owner = nullptr;
    bool enabledWhileOpen = true;
    std::wstring front;
    ScriptCommand probe(ScriptCommand::Call);
    probe.call = [&] {
        enabledWhileOpen = IsWindowEnabled(owner);
        front = platform::OpenWindowTitles().back();
    };
    Start("key f2\n", {probe});
    auto instance = reinterpret_cast<HINSTANCE>(const_cast<platform::ResourceModule*>(&kOwnerModule));
    platform::RegisterResourceModule(instance, &kOwnerModule);
    WNDCLASS wc{0, OwnerProc, 0, 0, nullptr, nullptr, nullptr, nullptr, nullptr, L"PickerTestOwner"};
    RegisterClass(&wc);
    owner =
        CreateWindow(L"PickerTestOwner", L"Owner", WS_VISIBLE, 0, 52, 480, 640, nullptr, nullptr, instance, nullptr);
    SHMENUBARINFO bar{sizeof bar, owner, SHCMBF_HMENU, 1, instance, 0, 0, nullptr, 0};
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
