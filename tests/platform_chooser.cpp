// The picture chooser (GetOpenFileNameEx), driven headless by scripted taps,
// keys and named choices over a temporary "My Storage".
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

// Where the chooser puts things on the 480 x 744 screen: its window starts
// under the 52-px task bar with a 60-px top row, then cells of 160 x 160 in
// three columns; the bottom strip is the screen's last 52 px.
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
    return {index % 3 * 160 + 80, 60 + index / 3 * 160 + 10 + 55};
}

constexpr wchar_t kFilters[] = L"All\0*.*\0BMP Files\0*.bmp\0JPEG Files\0*.jpg\0";

ScriptCommand Command(ScriptCommand::Kind kind) {
    ScriptCommand c;
    c.kind = kind;
    return c;
}
ScriptCommand Stylus(ScriptCommand::Kind kind, POINT p) {
    ScriptCommand c = Command(kind);
    c.x = p.x;
    c.y = p.y;
    return c;
}
ScriptCommand Tap(POINT p) {
    return Stylus(ScriptCommand::Tap, p);
}
ScriptCommand Key(const wchar_t* name) {
    ScriptCommand c = Command(ScriptCommand::Key);
    c.text = name;
    return c;
}
ScriptCommand Choose(const std::wstring& name) {
    ScriptCommand c = Command(ScriptCommand::Choose);
    c.text = name;
    c.path = std::string(name.begin(), name.end());
    return c;
}
ScriptCommand Call(std::function<void()> fn) {
    ScriptCommand c = Command(ScriptCommand::Call);
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
    void Folder(const std::string& relative) { std::filesystem::create_directories(root_ + "/" + relative); }

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
        ofn_.lpstrFilter = kFilters;
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

// ---------------------------------------------------------------------------

using ChooserChoosing = ChooserTest;

TEST_F(ChooserChoosing, ChoosingByNameGivesFullPathAndTitle) {
    Put("a.jpg");
    Put("b.jpg");
    Start({Choose(L"b.jpg")});
    ASSERT_TRUE(Open());
    EXPECT_EQ(std::wstring(file_), InRoot("b.jpg"));
    EXPECT_EQ(std::wstring(title_), L"b.jpg");
    EXPECT_EQ(std::wstring(file_ + ofn_.nFileOffset), L"b.jpg");
    EXPECT_EQ(std::wstring(file_ + ofn_.nFileExtension), L"jpg");
}

TEST_F(ChooserChoosing, TappingACellChoosesThatPicture) {
    Put("c.jpg");
    Put("b.jpg");
    Put("A.jpg");
    Start({Tap(CellCentre(1))});
    ASSERT_TRUE(Open());
    EXPECT_EQ(std::wstring(file_), InRoot("b.jpg"));  // A, b, c: case does not change the order
}

TEST_F(ChooserChoosing, FoldersComeBeforeFiles) {
    Put("a.jpg");
    Put("Zoo/in-zoo.jpg");
    Put("cats/in-cats.jpg");
    Start({Tap(CellCentre(2))});
    ASSERT_TRUE(Open());
    EXPECT_EQ(std::wstring(file_), InRoot("a.jpg"));
}

TEST_F(ChooserChoosing, PathThatDoesNotFitTheBufferIsNoChoice) {
    Put("picture.jpg");
    std::wstring expected = InRoot("picture.jpg");
    maxFile_ = (DWORD)expected.size();  // no room for the terminator
    Start({Choose(L"picture.jpg")});
    EXPECT_FALSE(Open());
    EXPECT_EQ(std::wstring(file_), L"untouched");
}

TEST_F(ChooserChoosing, PathThatJustFitsTheBufferIsChosen) {
    Put("picture.jpg");
    std::wstring expected = InRoot("picture.jpg");
    maxFile_ = (DWORD)expected.size() + 1;
    Start({Choose(L"picture.jpg")});
    ASSERT_TRUE(Open());
    EXPECT_EQ(std::wstring(file_), expected);
}

// ---------------------------------------------------------------------------

using ChooserCancelling = ChooserTest;

TEST_F(ChooserCancelling, EscapeCancels) {
    Put("a.jpg");
    Start({Key(L"escape"), Choose(L"a.jpg")});
    EXPECT_FALSE(Open());
    EXPECT_EQ(std::wstring(file_), L"untouched");
}

TEST_F(ChooserCancelling, CancelInTheBottomStripCancels) {
    Put("a.jpg");
    Start({Tap(kCancel), Choose(L"a.jpg")});
    EXPECT_FALSE(Open());
}

TEST_F(ChooserCancelling, LeftSoftKeyCancels) {
    Put("a.jpg");
    Start({Key(L"f1"), Choose(L"a.jpg")});
    EXPECT_FALSE(Open());
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

LRESULT OwnerProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return DefWindowProc(hwnd, msg, wParam, lParam);
}

HWND MakeOwner() {
    WNDCLASS wc{};
    wc.lpfnWndProc = OwnerProc;
    wc.lpszClassName = L"ChooserTestOwner";
    RegisterClass(&wc);
    return CreateWindow(L"ChooserTestOwner", L"Owner", WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                        CW_USEDEFAULT, nullptr, nullptr, nullptr, nullptr);
}

TEST_F(ChooserCancelling, OwnerTakesNoInputWhileOpenAndDoesAfterwards) {
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

// ---------------------------------------------------------------------------

using ChooserFilters = ChooserTest;

TEST_F(ChooserFilters, JpegFilterHidesBitmapsUntilTheFilterButtonMovesOn) {
    Put("pic.bmp");
    Put("photo.jpg");
    bool bmpListedAtFirst = true, bmpListedAfterTap = false;
    Start({Call([&] { bmpListedAtFirst = platform::ChooserChoose(L"pic.bmp"); }), Tap(kFilterButton),
           Call([&] { bmpListedAfterTap = platform::ChooserChoose(L"pic.bmp"); })});
    ASSERT_TRUE(Open(3));
    EXPECT_FALSE(bmpListedAtFirst);
    EXPECT_TRUE(bmpListedAfterTap);
    EXPECT_EQ(std::wstring(file_), InRoot("pic.bmp"));
    EXPECT_EQ(ofn_.nFilterIndex, 1u);  // JPEG Files -> All
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
    static const wchar_t kPictureFilters[] = L"BMP Files\0*.bmp\0JPEG Files\0*.jpg\0";
    wcscpy(file_, L"untouched");
    ofn_ = OPENFILENAMEEX{};
    ofn_.lStructSize = sizeof ofn_;
    ofn_.lpstrFilter = kPictureFilters;
    ofn_.nFilterIndex = 2;
    ofn_.lpstrFile = file_;
    ofn_.nMaxFile = maxFile_;
    ofn_.lpstrInitialDir = L"My Storage";
    EXPECT_FALSE(GetOpenFileNameEx(&ofn_));
    EXPECT_NE(echoed_.find("cannot choose notes.txt: notes.txt is hidden by the filter \"JPEG Files\""),
              std::string::npos)
        << echoed_;
}

TEST_F(ChooserFilters, FilterButtonStepsThroughEveryFilterAndWrapsAround) {
    Put("pic.bmp");
    Put("photo.jpg");
    Put("notes.txt");
    struct Step {
        int taps;
        const wchar_t* hidden;
        const wchar_t* shown;
        DWORD index;
    } steps[] = {{1, L"photo.jpg", L"pic.bmp", 2}, {2, L"pic.bmp", L"photo.jpg", 3}, {3, nullptr, L"notes.txt", 1}};
    for (const Step& step : steps) {
        bool hiddenListed = false;
        std::vector<ScriptCommand> script;
        for (int i = 0; i < step.taps; i++) script.push_back(Tap(kFilterButton));
        if (step.hidden) script.push_back(Call([&] { hiddenListed = platform::ChooserChoose(step.hidden); }));
        script.push_back(Choose(step.shown));
        Start(script);
        ASSERT_TRUE(Open(1)) << step.taps << " taps";
        EXPECT_FALSE(hiddenListed) << step.taps << " taps";
        EXPECT_EQ(std::wstring(title_), step.shown);
        EXPECT_EQ(ofn_.nFilterIndex, step.index);
        platform::Shutdown();
    }
}

TEST_F(ChooserFilters, PatternsIgnoreCase) {
    Put("HOLIDAY.JPG");
    Start({Choose(L"HOLIDAY.JPG")});
    ASSERT_TRUE(Open(3));
    EXPECT_EQ(std::wstring(title_), L"HOLIDAY.JPG");
}

TEST_F(ChooserFilters, HiddenFilesAreNotListed) {
    Put(".secret.jpg");
    Put("shown.jpg");
    bool hiddenListed = true;
    Start({Call([&] { hiddenListed = platform::ChooserChoose(L".secret.jpg"); }), Key(L"escape")});
    EXPECT_FALSE(Open());
    EXPECT_FALSE(hiddenListed);
}

// ---------------------------------------------------------------------------

using ChooserFolders = ChooserTest;

TEST_F(ChooserFolders, TappingAFolderOpensItAndChoicesComeFromThere) {
    Put("Trips/beach.jpg");
    Put("top.jpg");
    Start({Tap(CellCentre(0)), Choose(L"beach.jpg")});
    ASSERT_TRUE(Open());
    EXPECT_EQ(std::wstring(file_), InRoot("Trips/beach.jpg"));
}

TEST_F(ChooserFolders, RelativeNameWalksThroughFolders) {
    Put("Trips/2023/hill.jpg");
    Start({Choose(L"Trips/2023/hill.jpg")});
    ASSERT_TRUE(Open());
    EXPECT_EQ(std::wstring(file_), InRoot("Trips/2023/hill.jpg"));
}

TEST_F(ChooserFolders, MissingEntryInARelativeNameLeavesTheFolderAlone) {
    Put("Trips/hill.jpg");
    Put("top.jpg");
    bool walked = true;
    Start({Call([&] { walked = platform::ChooserChoose(L"Trips/missing.jpg"); }), Choose(L"top.jpg")});
    ASSERT_TRUE(Open());
    EXPECT_FALSE(walked);
    EXPECT_EQ(std::wstring(file_), InRoot("top.jpg"));
}

TEST_F(ChooserFolders, UpNeverLeavesMyStorage) {
    WriteBytes(dir_.path() + "/outside.jpg", Bytes{'x'});
    Put("Trips/beach.jpg");
    Put("top.jpg");
    bool aboveRoot = true, outsideListed = true;
    Start({Tap(kBottomUp), Tap(kBottomUp), Tap(kHeaderUp), Key(L"backspace"), Call([&] {
               aboveRoot = platform::ChooserChoose(L"..");
               outsideListed = platform::ChooserChoose(L"outside.jpg");
           }),
           Choose(L"top.jpg")});
    ASSERT_TRUE(Open(1, Wide(root_ + "/Trips").c_str()));
    EXPECT_FALSE(aboveRoot);
    EXPECT_FALSE(outsideListed);
    EXPECT_EQ(std::wstring(file_), InRoot("top.jpg"));
}

TEST_F(ChooserFolders, HeaderUpReturnsToTheParent) {
    Put("Trips/2023/hill.jpg");
    Put("Trips/sea.jpg");
    Start({Tap(kHeaderUp), Choose(L"sea.jpg")});
    ASSERT_TRUE(Open(1, L"My Storage/Trips/2023"));
    EXPECT_EQ(std::wstring(file_), InRoot("Trips/sea.jpg"));
}

TEST_F(ChooserFolders, NoInitialFolderMeansMyStorage) {
    Put("top.jpg");
    Start({Choose(L"top.jpg")});
    ASSERT_TRUE(Open(1, nullptr));
    EXPECT_EQ(std::wstring(file_), InRoot("top.jpg"));
}

TEST_F(ChooserFolders, MissingStorageShowsNothingToChoose) {
    root_ = dir_.path() + "/not there";
    bool chose = true;
    std::vector<std::wstring> titles;
    Start({Call([&] {
        chose = platform::ChooserChoose(L"anything.jpg");
        titles = platform::OpenWindowTitles();
    })});
    EXPECT_FALSE(Open());
    EXPECT_FALSE(chose);
    ASSERT_EQ(titles.size(), 1u);
    EXPECT_EQ(titles[0], L"Open");
}

// ---------------------------------------------------------------------------

using ChooserStylus = ChooserTest;

TEST_F(ChooserStylus, DraggingScrollsInsteadOfChoosing) {
    for (int i = 0; i < 15; i++) {
        char name[16];
        snprintf(name, sizeof name, "f%02d.txt", i);
        Put(name);
    }
    // Dragging up by 200 px scrolls the grid by as much; the tap below the top
    // row then lands on the second row (entries 3, 4, 5).
    Start({Stylus(ScriptCommand::Press, {80, 600}), Stylus(ScriptCommand::Move, {80, 500}),
           Stylus(ScriptCommand::Move, {80, 400}), Stylus(ScriptCommand::Release, {80, 400}), Tap({80, kGridTop + 5})});
    ASSERT_TRUE(Open());
    EXPECT_EQ(std::wstring(title_), L"f03.txt");
}

TEST_F(ChooserStylus, SmallWobbleIsStillATap) {
    Put("a.jpg");
    Put("b.jpg");
    POINT c = CellCentre(1);
    Start({Stylus(ScriptCommand::Press, c), Stylus(ScriptCommand::Move, {c.x + 4, c.y + 6}),
           Stylus(ScriptCommand::Release, {c.x + 4, c.y + 6})});
    ASSERT_TRUE(Open());
    EXPECT_EQ(std::wstring(title_), L"b.jpg");
}

TEST_F(ChooserStylus, ReleasingOnAnotherCellChoosesNothing) {
    Put("a.jpg");
    Put("b.jpg");
    Start({Stylus(ScriptCommand::Press, CellCentre(0)), Stylus(ScriptCommand::Move, CellCentre(1)),
           Stylus(ScriptCommand::Release, CellCentre(1)), Key(L"escape")});
    EXPECT_FALSE(Open());
    EXPECT_EQ(std::wstring(file_), L"untouched");
}

TEST_F(ChooserStylus, ScrollingStopsAtTheEnd) {
    for (int i = 0; i < 6; i++) Put("p" + std::to_string(i) + ".txt");
    // Two rows fit without scrolling: a long drag must leave the first row in place.
    Start({Stylus(ScriptCommand::Press, {80, 600}), Stylus(ScriptCommand::Move, {80, 150}),
           Stylus(ScriptCommand::Release, {80, 150}), Tap(CellCentre(0))});
    ASSERT_TRUE(Open());
    EXPECT_EQ(std::wstring(title_), L"p0.txt");
}

// ---------------------------------------------------------------------------

using ChooserKeys = ChooserTest;

TEST_F(ChooserKeys, ArrowsMoveTheSelectionAndReturnOpensIt) {
    for (int i = 0; i < 7; i++) Put("a" + std::to_string(i) + ".jpg");
    // The first arrow selects the first entry; then right, then down a row.
    Start({Key(L"right"), Key(L"right"), Key(L"down"), Key(L"return")});
    ASSERT_TRUE(Open());
    EXPECT_EQ(std::wstring(title_), L"a4.jpg");
}

TEST_F(ChooserKeys, ReturnOnAFolderOpensIt) {
    Put("Trips/beach.jpg");
    Put("top.jpg");
    Start({Key(L"down"), Key(L"return"), Key(L"down"), Key(L"return")});
    ASSERT_TRUE(Open());
    EXPECT_EQ(std::wstring(file_), InRoot("Trips/beach.jpg"));
}

// ---------------------------------------------------------------------------

// The chooser draws what the program's thumbnail reader gives; this reader
// stands in for it: files named "two*" are a picture red above and blue below,
// everything else is refused.
int g_readerCalls = 0;
int g_readerMaxW = 0, g_readerMaxH = 0;

uint8_t* TwoToneReader(const wchar_t* path, int maxW, int maxH, int* w, int* h) {
    g_readerCalls++;
    g_readerMaxW = maxW;
    g_readerMaxH = maxH;
    std::wstring name = path;
    name = name.substr(name.rfind(L'/') + 1);
    if (name.rfind(L"two", 0) != 0) return nullptr;
    *w = 100;
    *h = 60;
    auto* bgr = static_cast<uint8_t*>(malloc(100 * 60 * 3));
    for (int y = 0; y < 60; y++)
        for (int x = 0; x < 100; x++) {
            uint8_t* px = bgr + (y * 100 + x) * 3;
            px[0] = y < 30 ? 0 : 255;  // blue
            px[1] = 0;
            px[2] = y < 30 ? 255 : 0;  // red
        }
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

TEST_F(ChooserThumbnails, TheReadersPictureFillsTheBoxTheRightWayUp) {
    Put("two.jpg");
    COLORREF upper = 0, lower = 0;
    POINT c = ThumbCentre(0);
    Start({Call([&] {
               upper = ChooserPixel({c.x, c.y - 8});
               lower = ChooserPixel({c.x, c.y + 8});
           }),
           Key(L"escape")});
    EXPECT_FALSE(Open());
    ExpectColourNear(upper, 255, 0, 0, 2);
    ExpectColourNear(lower, 0, 0, 255, 2);
    EXPECT_EQ(140, g_readerMaxW) << "the reader is asked for the thumbnail box";
    EXPECT_EQ(110, g_readerMaxH);
}

TEST_F(ChooserThumbnails, RefusedFilesShowASignAndCanStillBeChosen) {
    Put("a-broken.jpg", Bytes{0xFF, 0xD8, 0x00});
    Put("b-notes.txt", Bytes{'h', 'i'});
    Put("c-empty.bmp", Bytes{});
    Put("two.jpg");
    COLORREF broken = 0, page = 0, good = 0;
    // A point inside both signs: the picture sign is dark there, the page light.
    auto inSign = [](int index) {
        POINT c = ThumbCentre(index);
        return POINT{c.x - 28, c.y - 25};
    };
    Start({Call([&] {
               broken = ChooserPixel(inSign(0));
               page = ChooserPixel(inSign(1));
               POINT c = ThumbCentre(3);
               good = ChooserPixel({c.x, c.y - 8});
           }),
           Choose(L"a-broken.jpg")});
    ASSERT_TRUE(Open());
    EXPECT_EQ(std::wstring(title_), L"a-broken.jpg");
    EXPECT_LT(GetRValue(broken), 0x60) << "a picture the program cannot read shows the picture sign";
    EXPECT_GT(GetRValue(page), 0xC0) << "other files show a page";
    ExpectColourNear(good, 255, 0, 0, 2);
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
