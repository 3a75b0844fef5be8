// The picture chooser, driven headless by scripted taps, keys and named choices
// over a temporary "My Storage".
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/Platform.h"
#include "platform/WindowManager.h"
#include "platform/win32.h"
#include "support/TestFiles.h"

namespace {

using platform::ScriptCommand;
using Bytes = std::vector<unsigned char>;

// The 480 x 744 screen: the chooser starts under the 52-px task bar with a 60-px
// top row, then 160 x 160 cells in three columns; the bottom strip is 52 px.
constexpr int kWindowTop = 52, kGridTop = kWindowTop + 60;
constexpr POINT kFilterButton{397, kWindowTop + 30}, kHeaderUp{46, kWindowTop + 30};
constexpr POINT kCancel{120, 744 - 26}, kBottomUp{360, 744 - 26};
constexpr wchar_t kFilters[] = L"All\0*.*\0BMP Files\0*.bmp\0JPEG Files\0*.jpg\0";

class ChooserTest : public ::testing::Test {
protected:
    void SetUp() override { std::filesystem::create_directories(root_); }
    void TearDown() override {
        platform::SetThumbnailReader(nullptr);
        platform::Shutdown();
    }

    static POINT CellCentre(int index) { return {index % 3 * 160 + 80, kGridTop + index / 3 * 160 + 65}; }
    static ScriptCommand Stylus(ScriptCommand::Kind kind, POINT p) { return ScriptCommand(kind, p.x, p.y); }
    static ScriptCommand Tap(POINT p) { return Stylus(ScriptCommand::Tap, p); }
    static ScriptCommand Key(const wchar_t* name) { return ScriptCommand(ScriptCommand::Key, 0, 0, name); }
    static ScriptCommand Choose(const std::wstring& name) { return ScriptCommand(ScriptCommand::Choose, 0, 0, name); }
    static ScriptCommand Call(std::function<void()> fn) {
        ScriptCommand c(ScriptCommand::Call);
        c.call = std::move(fn);
        return c;
    }

    void Put(const std::string& relative, const Bytes& bytes = Bytes{'x'}) {
        std::filesystem::path path = root_ + "/" + relative;
        std::filesystem::create_directories(path.parent_path());
        testing_support::WriteBytes(path.string(), bytes);
    }

    void Start(std::vector<ScriptCommand> script) {
        platform::Options o;
        o.headless = true;
        o.storageRoot = root_;
        o.script = std::move(script);
        o.echo = [this](std::string& line) { echoed_ += line; };
        ASSERT_TRUE(platform::Initialize(o));
    }

    BOOL Open(DWORD filterIndex = 1, LPCWSTR initialDir = L"My Storage", HWND owner = nullptr) {
        wcscpy(file_, L"untouched");
        title_[0] = 0;
        ofn_ = OPENFILENAMEEX{};
        ofn_.lStructSize = sizeof ofn_;
        ofn_.hwndOwner = owner;
        ofn_.lpstrFilter = filters_;
        ofn_.nFilterIndex = filterIndex;
        ofn_.lpstrFile = file_;
        ofn_.nMaxFile = maxFile_;
        ofn_.lpstrFileTitle = title_;
        ofn_.nMaxFileTitle = 64;
        ofn_.lpstrInitialDir = initialDir;
        return GetOpenFileNameEx(&ofn_);
    }

    std::wstring Wide(const std::string& s) const { return std::wstring(s.begin(), s.end()); }
    std::wstring InRoot(const std::string& relative) const { return Wide(root_ + "/" + relative); }

    static HWND MakeOwner() {
        return CreateWindow(L"Static", L"Owner", WS_VISIBLE, 0, 0, 480, 640, nullptr, nullptr, nullptr, nullptr);
    }

    testing_support::TempDir dir_;
    std::string root_ = dir_.path() + "/My Storage";
    std::string echoed_;
    const wchar_t* filters_ = kFilters;
    wchar_t file_[260];
    wchar_t title_[64];
    DWORD maxFile_ = 260;
    OPENFILENAMEEX ofn_{};
};

// Folders come first, then names ignoring case; a path is chosen only when the
// program's buffer holds it with its terminator.
TEST_F(ChooserTest, CellsListFoldersFirstThenNamesIgnoringCaseAndThePathMustFit) {
    for (const char* name : {"c.jpg", "B.jpg", "a.jpg", "Zoo/z.jpg", "cats/c.jpg"}) Put(name);
    const std::wstring expected = InRoot("a.jpg");
    for (bool fits : {false, true}) {
        SCOPED_TRACE(fits);
        maxFile_ = (DWORD)expected.size() + fits;
        Start({Tap(CellCentre(2))});  // cats, Zoo, a, B, c
        ASSERT_EQ(Open(), fits);
        EXPECT_EQ(std::wstring(file_), fits ? expected : L"untouched");
        platform::Shutdown();
    }
    EXPECT_EQ(std::wstring(title_), L"a.jpg");
    EXPECT_EQ(std::wstring(file_ + ofn_.nFileOffset), L"a.jpg");
    EXPECT_EQ(std::wstring(file_ + ofn_.nFileExtension), L"jpg");
}

// The end of the script is no choice, and its quit reaches the program's loop.
TEST_F(ChooserTest, EscapeCancelLeftSoftKeyAndEndOfInputChooseNothing) {
    Put("a.jpg");
    const std::vector<ScriptCommand> scripts[] = {
        {Key(L"escape"), Choose(L"a.jpg")}, {Tap(kCancel), Choose(L"a.jpg")}, {Key(L"f1"), Choose(L"a.jpg")}, {}};
    for (const auto& script : scripts) {
        SCOPED_TRACE(script.empty() ? L"end of input" : script[0].kind == ScriptCommand::Tap ? L"tap" : script[0].text);
        Start(script);
        EXPECT_FALSE(Open());
        EXPECT_EQ(std::wstring(file_), L"untouched");
        bool quit = false;
        MSG msg;
        while (!quit && PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE)) quit = msg.message == WM_QUIT;
        EXPECT_EQ(quit, script.empty());
        platform::Shutdown();
    }
}

TEST_F(ChooserTest, OwnerTakesNoInputWhileOpenAndDestroyingItEndsTheChooser) {
    Put("a.jpg");
    HWND owner = nullptr;
    bool ownerEnabledWhileOpen = true;
    std::vector<std::wstring> titles;
    Start({Call([&] {
               ownerEnabledWhileOpen = platform::FromHandle(owner)->enabled;
               titles = platform::OpenWindowTitles();
           }),
           Key(L"escape")});
    owner = MakeOwner();
    ASSERT_NE(owner, nullptr);
    EXPECT_FALSE(Open(1, L"My Storage", owner));
    EXPECT_FALSE(ownerEnabledWhileOpen);
    EXPECT_EQ(titles, (std::vector<std::wstring>{L"Owner", L"Open"}));
    EXPECT_TRUE(platform::FromHandle(owner)->enabled);
    platform::Shutdown();

    Start({Call([&] { DestroyWindow(owner); }), Choose(L"a.jpg")});
    owner = MakeOwner();
    EXPECT_FALSE(Open(1, L"My Storage", owner));
    EXPECT_FALSE(IsWindow(owner));
    EXPECT_TRUE(platform::OpenWindowTitles().empty());
}

// Patterns ignore case: PHOTO.JPG passes the JPEG filter.
TEST_F(ChooserTest, FilterButtonStepsThroughEveryFilterAndWrapsAround) {
    for (const char* name : {"pic.bmp", "PHOTO.JPG", "notes.txt"}) Put(name);
    struct Step {
        DWORD start;
        int taps;
        const wchar_t* hidden;
        const wchar_t* shown;
        DWORD index;
    } steps[] = {{3, 0, L"pic.bmp", L"PHOTO.JPG", 3},
                 {1, 1, L"PHOTO.JPG", L"pic.bmp", 2},
                 {1, 2, L"pic.bmp", L"PHOTO.JPG", 3},
                 {3, 1, nullptr, L"notes.txt", 1}};
    for (const Step& step : steps) {
        SCOPED_TRACE(testing::Message() << "filter " << step.start << ", " << step.taps << " taps");
        bool hiddenListed = false;
        std::vector<ScriptCommand> script(step.taps, Tap(kFilterButton));
        if (step.hidden) script.push_back(Call([&] { hiddenListed = platform::ChooserChoose(step.hidden); }));
        script.push_back(Choose(step.shown));
        Start(script);
        ASSERT_TRUE(Open(step.start));
        EXPECT_FALSE(hiddenListed);
        EXPECT_EQ(std::wstring(title_), step.shown);
        EXPECT_EQ(ofn_.nFilterIndex, step.index);
        platform::Shutdown();
    }
}

// The script's `choose` does what a user would: a file the filter hides is
// reached by stepping the filter on (wrapping around); a file that is not
// there, is hidden or that no filter shows is reported, and the filter is left.
TEST_F(ChooserTest, ScriptedChoiceStepsTheFilterOnOrSaysWhatStandsInTheWay) {
    for (const char* name : {"pic.bmp", "photo.jpg", "notes.txt", ".hidden.jpg"}) Put(name);
    filters_ = L"BMP Files\0*.bmp\0JPEG Files\0*.jpg\0";
    Start({Choose(L"missing.jpg"), Choose(L".hidden.jpg"), Choose(L"notes.txt"), Choose(L"pic.bmp")});
    ASSERT_TRUE(Open(2));
    EXPECT_EQ(std::wstring(file_), InRoot("pic.bmp"));
    EXPECT_EQ(ofn_.nFilterIndex, 1u);
    for (const char* said : {"cannot choose missing.jpg: no missing.jpg in", "cannot choose .hidden.jpg",
                             "cannot choose notes.txt: notes.txt is hidden by the filter \"JPEG Files\""})
        EXPECT_NE(echoed_.find(said), std::string::npos) << echoed_;
}

TEST_F(ChooserTest, FoldersOpenAndCloseWithoutLeavingMyStorage) {
    testing_support::WriteBytes(dir_.path() + "/outside.jpg", Bytes{'x'});
    for (const char* name : {"Trips/2023/hill.jpg", "Trips/sea.jpg", "top.jpg"}) Put(name);
    std::wstring trips = InRoot("Trips");
    bool listed = false;  // set when a name that must not be reachable is
    auto unreachable = [&](const wchar_t* name) {
        return Call([&, name] { listed |= platform::ChooserChoose(name); });
    };
    const ScriptCommand down = Key(L"down"), enter = Key(L"return");
    struct Case {
        const char* what;
        const wchar_t* initial;
        std::vector<ScriptCommand> script;
        const char* chosen;
    } cases[] = {
        {"tapping a folder", L"My Storage", {Tap(CellCentre(0)), Choose(L"sea.jpg")}, "Trips/sea.jpg"},
        {"return on folders", L"My Storage", {down, enter, down, enter, down, enter}, "Trips/2023/hill.jpg"},
        {"relative name", L"My Storage", {Choose(L"Trips/2023/hill.jpg")}, "Trips/2023/hill.jpg"},
        {"missing entry", L"My Storage", {unreachable(L"Trips/missing.jpg"), Choose(L"top.jpg")}, "top.jpg"},
        {"header up", L"My Storage/Trips/2023", {Tap(kHeaderUp), Choose(L"sea.jpg")}, "Trips/sea.jpg"},
        {"no initial folder", nullptr, {Choose(L"top.jpg")}, "top.jpg"},
        {"up at the top",
         trips.c_str(),
         {Tap(kBottomUp), Tap(kBottomUp), Tap(kHeaderUp), Key(L"backspace"), unreachable(L".."),
          unreachable(L"outside.jpg"), Choose(L"top.jpg")},
         "top.jpg"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        listed = false;
        Start(c.script);
        ASSERT_TRUE(Open(1, c.initial));
        EXPECT_FALSE(listed);
        EXPECT_EQ(std::wstring(file_), InRoot(c.chosen));
        platform::Shutdown();
    }
}

TEST_F(ChooserTest, MissingStorageShowsNothingToChoose) {
    root_ = dir_.path() + "/not there";
    bool chose = true;
    std::vector<std::wstring> titles;
    Start({Call([&] { chose = platform::ChooserChoose(L"anything.jpg"); }),
           Call([&] { titles = platform::OpenWindowTitles(); })});
    EXPECT_FALSE(Open());
    EXPECT_FALSE(chose);
    EXPECT_EQ(titles, std::vector<std::wstring>{L"Open"});
}

TEST_F(ChooserTest, DragsScrollWithinBoundsTapsAndArrowsChoose) {
    auto press = [](POINT p) { return Stylus(ScriptCommand::Press, p); };
    auto move = [](POINT p) { return Stylus(ScriptCommand::Move, p); };
    auto release = [](POINT p) { return Stylus(ScriptCommand::Release, p); };
    POINT c0 = CellCentre(0), c1 = CellCentre(1), wobble{c1.x + 4, c1.y + 6};
    struct Case {
        const char* what;
        int files;
        std::vector<ScriptCommand> script;
        const wchar_t* chosen;  // null: nothing
    } cases[] = {
        // Dragging up by 200 px scrolls as much: a tap under the top row lands on the second row.
        {"drag scrolls",
         15,
         {press({80, 600}), move({80, 500}), move({80, 400}), release({80, 400}), Tap({80, kGridTop + 5})},
         L"f03.txt"},
        {"two rows do not scroll", 6, {press({80, 600}), move({80, 150}), release({80, 150}), Tap(c0)}, L"f00.txt"},
        {"small wobble is a tap", 2, {press(c1), move(wobble), release(wobble)}, L"f01.txt"},
        {"release on another cell", 2, {press(c0), move(c1), release(c1), Key(L"escape")}, nullptr},
        // The first arrow selects the first entry; then right, then down a row.
        {"arrows", 7, {Key(L"right"), Key(L"right"), Key(L"down"), Key(L"return")}, L"f04.txt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(root_);
        for (int i = 0; i < c.files; i++) Put((i < 10 ? "f0" : "f") + std::to_string(i) + ".txt");
        Start(c.script);
        EXPECT_EQ(Open(), c.chosen != nullptr);
        EXPECT_EQ(std::wstring(c.chosen ? c.chosen : L""), title_);
        platform::Shutdown();
    }
}

// Stands in for the program's thumbnail reader: files named "two*" are a
// picture red above and blue below, everything else is refused.
int g_readerCalls = 0;
std::pair<int, int> g_readerBox;

uint8_t* TwoToneReader(const wchar_t* path, int maxW, int maxH, int* w, int* h) {
    g_readerCalls++;
    g_readerBox = {maxW, maxH};
    std::wstring name = path;
    if (name.compare(name.rfind(L'/') + 1, 3, L"two") != 0) return nullptr;
    *w = 100;
    *h = 60;
    auto* bgr = static_cast<uint8_t*>(calloc(100 * 60, 3));
    for (int i = 0; i < 100 * 60; i++) bgr[i * 3 + (i < 100 * 30 ? 2 : 0)] = 255;  // red rows, then blue
    return bgr;
}

// Each file is read once while the chooser is open, however often the filter
// relists it; refused files stay listed with a sign.
TEST_F(ChooserTest, ThumbnailsAreReadOnceFillTheirBoxUprightAndRefusedFilesShowASign) {
    platform::SetThumbnailReader(TwoToneReader);
    g_readerCalls = 0;
    Put("a-broken.jpg", Bytes{0xFF, 0xD8, 0x00});
    Put("b-notes.txt", Bytes{'h', 'i'});
    Put("c-empty.bmp", Bytes{});
    Put("two.jpg");
    uint32_t broken = 0, page = 0, upper = 0, lower = 0;
    // The screen's pixel offset from the centre of cell `index`, which is its thumbnail box's too.
    auto pixel = [](int index, int dx, int dy) {
        POINT c = CellCentre(index);
        return platform::ScreenPixel(c.x + dx, c.y + dy);
    };
    Start({Call([&] {
               broken = pixel(0, -28, -25);  // inside both signs: the picture sign is dark there, the page light
               page = pixel(1, -28, -25);
               upper = pixel(3, 0, -8);
               lower = pixel(3, 0, 8);
           }),
           Tap(kFilterButton), Tap(kFilterButton), Tap(kFilterButton), Choose(L"a-broken.jpg")});
    ASSERT_TRUE(Open());
    EXPECT_EQ(std::wstring(title_), L"a-broken.jpg");
    EXPECT_LT(broken >> 16, 0x60u) << "a picture the program cannot read shows the picture sign";
    EXPECT_GT(page >> 16, 0xC0u) << "other files show a page";
    EXPECT_EQ(0xFF0000u, upper);
    EXPECT_EQ(0x0000FFu, lower);
    EXPECT_EQ(4, g_readerCalls);
    EXPECT_EQ((std::pair{140, 110}), g_readerBox) << "the reader is asked for the thumbnail box";
}

}  // namespace
