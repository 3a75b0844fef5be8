// The picture chooser, driven headless by scripted taps, keys and named choices
// over a temporary "My Storage".
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "platform/WindowManager.h"
#include "platform/win32.h"
#include "support/TestFiles.h"

namespace {

using platform::ScriptCommand;
using testing_support::TempDir;
using testing_support::WriteBytes;
using Bytes = std::vector<unsigned char>;

// The 480 x 744 screen: the chooser starts under the 52-px task bar with a 60-px
// top row, then 160 x 160 cells in three columns; the bottom strip is 52 px.
constexpr int kWindowTop = 52;
constexpr int kGridTop = kWindowTop + 60;
constexpr POINT kFilterButton{397, kWindowTop + 30};
constexpr POINT kHeaderUp{46, kWindowTop + 30};
constexpr POINT kCancel{120, 744 - 26};
constexpr POINT kBottomUp{360, 744 - 26};

POINT CellCentre(int index) {
    return {index % 3 * 160 + 80, kGridTop + index / 3 * 160 + 65};
}
// Centre of a cell's thumbnail box, in the chooser window's own pixels.
POINT ThumbCentre(int index) {
    return {index % 3 * 160 + 80, 60 + index / 3 * 160 + 65};
}

constexpr wchar_t kFilters[] = L"All\0*.*\0BMP Files\0*.bmp\0JPEG Files\0*.jpg\0";

ScriptCommand Stylus(ScriptCommand::Kind kind, POINT p) {
    return ScriptCommand(kind, p.x, p.y);
}
ScriptCommand Tap(POINT p) {
    return Stylus(ScriptCommand::Tap, p);
}
ScriptCommand Key(const wchar_t* name) {
    return ScriptCommand(ScriptCommand::Key, 0, 0, name);
}
ScriptCommand Choose(const std::wstring& name) {
    return ScriptCommand(ScriptCommand::Choose, 0, 0, name);
}
ScriptCommand Call(std::function<void()> fn) {
    ScriptCommand c(ScriptCommand::Call);
    c.call = std::move(fn);
    return c;
}

class ChooserTest : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = dir_.path() + "/My Storage";
        std::filesystem::create_directories(root_);
    }
    void TearDown() override { platform::Shutdown(); }

    void Put(const std::string& relative, const Bytes& bytes = Bytes{'x'}) {
        std::string path = root_ + "/" + relative;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        WriteBytes(path, bytes);
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
        ofn_.ExFlags = OFN_EXFLAG_THUMBNAILVIEW;
        return GetOpenFileNameEx(&ofn_);
    }

    std::wstring Wide(const std::string& s) const { return std::wstring(s.begin(), s.end()); }
    std::wstring InRoot(const std::string& relative) const { return Wide(root_ + "/" + relative); }

    // The colour the open chooser shows at `p` of its window.
    static COLORREF ChooserPixel(POINT p) {
        HWND chooser = GetForegroundWindow();
        HDC dc = GetDC(chooser);
        COLORREF c = GetPixel(dc, p.x, p.y);
        ReleaseDC(chooser, dc);
        return c;
    }

    TempDir dir_;
    std::string root_;
    std::string echoed_;
    const wchar_t* filters_ = kFilters;
    wchar_t file_[260];
    wchar_t title_[64];
    DWORD maxFile_ = 260;
    OPENFILENAMEEX ofn_{};
};

void ExpectColourNear(COLORREF got, int r, int g, int b, int tolerance = 14) {
    EXPECT_NEAR(GetRValue(got), r, tolerance);
    EXPECT_NEAR(GetGValue(got), g, tolerance);
    EXPECT_NEAR(GetBValue(got), b, tolerance);
}

HWND MakeOwner() {
    WNDCLASS wc{};
    wc.lpfnWndProc = DefWindowProc;
    wc.lpszClassName = L"ChooserTestOwner";
    RegisterClass(&wc);
    return CreateWindow(L"ChooserTestOwner", L"Owner", WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                        CW_USEDEFAULT, nullptr, nullptr, nullptr, nullptr);
}

using ChooserChoosing = ChooserTest;

TEST_F(ChooserChoosing, CellsListFoldersFirstThenNamesIgnoringCase) {
    for (const char* name : {"c.jpg", "B.jpg", "a.jpg", "Zoo/z.jpg", "cats/c.jpg"}) Put(name);
    Start({Tap(CellCentre(2))});  // cats, Zoo, a, B, c
    ASSERT_TRUE(Open());
    EXPECT_EQ(std::wstring(file_), InRoot("a.jpg"));
    EXPECT_EQ(std::wstring(title_), L"a.jpg");
    EXPECT_EQ(std::wstring(file_ + ofn_.nFileOffset), L"a.jpg");
    EXPECT_EQ(std::wstring(file_ + ofn_.nFileExtension), L"jpg");
}

TEST_F(ChooserChoosing, PathIsChosenOnlyIfItFitsTheBufferWithItsTerminator) {
    Put("picture.jpg");
    std::wstring expected = InRoot("picture.jpg");
    for (bool fits : {false, true}) {
        SCOPED_TRACE(fits);
        maxFile_ = (DWORD)expected.size() + (fits ? 1 : 0);
        Start({Choose(L"picture.jpg")});
        EXPECT_EQ(Open(), fits);
        EXPECT_EQ(std::wstring(file_), fits ? expected : L"untouched");
        platform::Shutdown();
    }
}

using ChooserCancelling = ChooserTest;

TEST_F(ChooserCancelling, EscapeCancelAndLeftSoftKeyCancel) {
    Put("a.jpg");
    for (const ScriptCommand& cancel : {Key(L"escape"), Tap(kCancel), Key(L"f1")}) {
        SCOPED_TRACE(cancel.kind == ScriptCommand::Tap ? L"cancel tap" : cancel.text.c_str());
        Start({cancel, Choose(L"a.jpg")});
        EXPECT_FALSE(Open());
        EXPECT_EQ(std::wstring(file_), L"untouched");
        platform::Shutdown();
    }
}

TEST_F(ChooserCancelling, EndOfInputIsNoChoiceAndReachesTheProgramLoop) {
    Put("a.jpg");
    Start({});
    EXPECT_FALSE(Open());
    bool quit = false;
    MSG msg;
    while (!quit && PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE)) quit = msg.message == WM_QUIT;
    EXPECT_TRUE(quit);
}

TEST_F(ChooserCancelling, OwnerTakesNoInputWhileOpenAndDoesAfterwards) {
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
    ASSERT_FALSE(titles.empty());
    EXPECT_EQ(titles.back(), L"Open");
    EXPECT_TRUE(platform::FromHandle(owner)->enabled);
}

TEST_F(ChooserCancelling, DestroyingTheOwnerEndsTheChooser) {
    Put("a.jpg");
    HWND owner = nullptr;
    Start({Call([&] { DestroyWindow(owner); }), Choose(L"a.jpg")});
    owner = MakeOwner();
    EXPECT_FALSE(Open(1, L"My Storage", owner));
    EXPECT_FALSE(IsWindow(owner));
    EXPECT_TRUE(platform::OpenWindowTitles().empty());
}

using ChooserFilters = ChooserTest;

// Patterns ignore case: PHOTO.JPG passes the JPEG filter.
TEST_F(ChooserFilters, FilterButtonStepsThroughEveryFilterAndWrapsAround) {
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
// reached by stepping the filter on; a file that is not there is reported.
TEST_F(ChooserFilters, ScriptedChoiceOfAHiddenFileStepsTheFilterOn) {
    Put("pic.bmp");
    Put("photo.jpg");
    Start({Choose(L"pic.bmp")});
    ASSERT_TRUE(Open(3));
    EXPECT_EQ(std::wstring(file_), InRoot("pic.bmp"));
    EXPECT_EQ(ofn_.nFilterIndex, 1u);
    platform::Shutdown();
    Start({Choose(L"missing.jpg"), Choose(L".hidden.jpg"), Key(L"escape")});
    Put(".hidden.jpg");
    EXPECT_FALSE(Open(3));
    EXPECT_NE(echoed_.find("cannot choose missing.jpg: no missing.jpg in"), std::string::npos) << echoed_;
    EXPECT_NE(echoed_.find("cannot choose .hidden.jpg"), std::string::npos) << echoed_;
}

TEST_F(ChooserFilters, ScriptedChoiceNamesTheFilterThatHidesAFileForGood) {
    Put("notes.txt");
    Start({Choose(L"notes.txt"), Key(L"escape")});
    filters_ = L"BMP Files\0*.bmp\0JPEG Files\0*.jpg\0";
    EXPECT_FALSE(Open(2));
    EXPECT_NE(echoed_.find("cannot choose notes.txt: notes.txt is hidden by the filter \"JPEG Files\""),
              std::string::npos)
        << echoed_;
}

using ChooserFolders = ChooserTest;

TEST_F(ChooserFolders, FoldersOpenAndCloseWithoutLeavingMyStorage) {
    WriteBytes(dir_.path() + "/outside.jpg", Bytes{'x'});
    for (const char* name : {"Trips/2023/hill.jpg", "Trips/sea.jpg", "top.jpg"}) Put(name);
    std::wstring trips = Wide(root_ + "/Trips");
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

TEST_F(ChooserFolders, MissingStorageShowsNothingToChoose) {
    root_ = dir_.path() + "/not there";
    bool chose = true;
    std::vector<std::wstring> titles;
    Start({Call([&] { chose = platform::ChooserChoose(L"anything.jpg"); }),
           Call([&] { titles = platform::OpenWindowTitles(); })});
    EXPECT_FALSE(Open());
    EXPECT_FALSE(chose);
    EXPECT_EQ(titles, std::vector<std::wstring>{L"Open"});
}

using ChooserInput = ChooserTest;

TEST_F(ChooserInput, DragsScrollWithinBoundsTapsAndArrowsChoose) {
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
        for (int i = 0; i < c.files; i++) {
            char name[16];
            snprintf(name, sizeof name, "f%02d.txt", i);
            Put(name);
        }
        Start(c.script);
        EXPECT_EQ(Open(), c.chosen != nullptr);
        EXPECT_EQ(std::wstring(c.chosen ? c.chosen : L""), title_);
        platform::Shutdown();
    }
}

// Stands in for the program's thumbnail reader: files named "two*" are a
// picture red above and blue below, everything else is refused.
int g_readerCalls = 0, g_readerMaxW = 0, g_readerMaxH = 0;

uint8_t* TwoToneReader(const wchar_t* path, int maxW, int maxH, int* w, int* h) {
    g_readerCalls++;
    g_readerMaxW = maxW;
    g_readerMaxH = maxH;
    std::wstring name = path;
    if (name.compare(name.rfind(L'/') + 1, 3, L"two") != 0) return nullptr;
    *w = 100;
    *h = 60;
    auto* bgr = static_cast<uint8_t*>(calloc(100 * 60, 3));
    for (int i = 0; i < 100 * 60; i++) bgr[i * 3 + (i < 100 * 30 ? 2 : 0)] = 255;  // red rows, then blue
    return bgr;
}

class ChooserThumbnails : public ChooserTest {
protected:
    void SetUp() override {
        ChooserTest::SetUp();
        g_readerCalls = 0;
        platform::SetThumbnailReader(TwoToneReader);
    }
    void TearDown() override {
        platform::SetThumbnailReader(nullptr);
        ChooserTest::TearDown();
    }
};

TEST_F(ChooserThumbnails, PicturesFillTheirBoxUprightRefusedFilesShowASignAndCanBeChosen) {
    Put("a-broken.jpg", Bytes{0xFF, 0xD8, 0x00});
    Put("b-notes.txt", Bytes{'h', 'i'});
    Put("c-empty.bmp", Bytes{});
    Put("two.jpg");
    COLORREF broken = 0, page = 0, upper = 0, lower = 0;
    // A point inside both signs: the picture sign is dark there, the page light.
    auto inSign = [](int index) {
        POINT c = ThumbCentre(index);
        return POINT{c.x - 28, c.y - 25};
    };
    Start({Call([&] {
               broken = ChooserPixel(inSign(0));
               page = ChooserPixel(inSign(1));
               POINT c = ThumbCentre(3);
               upper = ChooserPixel({c.x, c.y - 8});
               lower = ChooserPixel({c.x, c.y + 8});
           }),
           Choose(L"a-broken.jpg")});
    ASSERT_TRUE(Open());
    EXPECT_EQ(std::wstring(title_), L"a-broken.jpg");
    EXPECT_LT(GetRValue(broken), 0x60) << "a picture the program cannot read shows the picture sign";
    EXPECT_GT(GetRValue(page), 0xC0) << "other files show a page";
    ExpectColourNear(upper, 255, 0, 0, 2);
    ExpectColourNear(lower, 0, 0, 255, 2);
    EXPECT_EQ(140, g_readerMaxW) << "the reader is asked for the thumbnail box";
    EXPECT_EQ(110, g_readerMaxH);
    for (const wchar_t* name : {L"b-notes.txt", L"c-empty.bmp"}) {
        platform::Shutdown();
        Start({Choose(name)});
        ASSERT_TRUE(Open()) << "not listed: " << name;
        EXPECT_EQ(std::wstring(title_), name);
    }
}

TEST_F(ChooserThumbnails, EachFileIsReadOnceWhileTheChooserIsOpen) {
    for (const char* name : {"two-a.jpg", "two-b.jpg", "x.jpg"}) Put(name);
    Start({Call([] {}), Tap(kFilterButton), Tap(kFilterButton), Tap(kFilterButton), Key(L"escape")});
    EXPECT_FALSE(Open());
    EXPECT_EQ(3, g_readerCalls);
}

}  // namespace
