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

// jpeglib.h needs size_t and FILE declared before it.
#include <jpeglib.h>

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

Bytes EncodeJpeg(int w, int h, J_COLOR_SPACE space, int components,
                 const std::function<void(int x, int y, unsigned char* px)>& colour) {
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &out, &size);
    c.image_width = w;
    c.image_height = h;
    c.input_components = components;
    c.in_color_space = space;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 95, TRUE);
    jpeg_start_compress(&c, TRUE);
    Bytes row((size_t)w * components);
    while (c.next_scanline < (JDIMENSION)h) {
        for (int x = 0; x < w; x++) colour(x, (int)c.next_scanline, &row[(size_t)x * components]);
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    Bytes bytes(out, out + size);
    free(out);
    return bytes;
}

Bytes SolidJpeg(int w, int h, unsigned char r, unsigned char g, unsigned char b) {
    return EncodeJpeg(w, h, JCS_RGB, 3, [&](int, int, unsigned char* px) {
        px[0] = r;
        px[1] = g;
        px[2] = b;
    });
}

// A bottom-up 24-bit BMP whose upper half (as seen) is `top` and lower half `bottom`, 0xRRGGBB.
Bytes TwoToneBmp(int w, int h, uint32_t top, uint32_t bottom) {
    int stride = (w * 3 + 3) & ~3;
    Bytes b(54 + (size_t)stride * h, 0);
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; i++) b[at + i] = (unsigned char)(v >> (8 * i));
    };
    b[0] = 'B';
    b[1] = 'M';
    put32(2, (uint32_t)b.size());
    put32(10, 54);
    put32(14, 40);
    put32(18, (uint32_t)w);
    put32(22, (uint32_t)h);
    b[26] = 1;
    b[28] = 24;
    for (int row = 0; row < h; row++) {
        uint32_t c = row < h / 2 ? bottom : top;  // the first stored row is the lowest
        for (int x = 0; x < w; x++) {
            unsigned char* px = &b[54 + (size_t)row * stride + x * 3];
            px[0] = c & 0xFF;
            px[1] = (c >> 8) & 0xFF;
            px[2] = (c >> 16) & 0xFF;
        }
    }
    return b;
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
    bool bmpListedAtFirst = true;
    Start({Call([&] { bmpListedAtFirst = platform::ChooserChoose(L"pic.bmp"); }), Choose(L"pic.bmp"),
           Tap(kFilterButton), Choose(L"pic.bmp")});
    ASSERT_TRUE(Open(3));
    EXPECT_FALSE(bmpListedAtFirst);
    EXPECT_NE(echoed_.find("cannot choose pic.bmp"), std::string::npos);  // the script's own report
    EXPECT_EQ(std::wstring(file_), InRoot("pic.bmp"));
    EXPECT_EQ(ofn_.nFilterIndex, 1u);  // JPEG Files -> All
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

using ChooserThumbnails = ChooserTest;

TEST_F(ChooserThumbnails, JpegThumbnailShowsThePicture) {
    Put("red.jpg", SolidJpeg(400, 300, 220, 30, 30));
    Put("grey.jpg", EncodeJpeg(64, 48, JCS_GRAYSCALE, 1, [](int, int, unsigned char* px) { *px = 128; }));
    COLORREF red = 0, grey = 0;
    Start({Call([&] {
               grey = ChooserPixel(ThumbCentre(0));
               red = ChooserPixel(ThumbCentre(1));
           }),
           Key(L"escape")});
    EXPECT_FALSE(Open());
    ExpectColourNear(red, 220, 30, 30);
    ExpectColourNear(grey, 128, 128, 128);
}

TEST_F(ChooserThumbnails, BitmapThumbnailIsTheRightWayUp) {
    Put("two.bmp", TwoToneBmp(40, 30, 0xFF0000, 0x0000FF));
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
}

TEST_F(ChooserThumbnails, DamagedPicturesAreListedAndDoNotStopTheChooser) {
    Bytes good = SolidJpeg(320, 240, 20, 200, 40);
    Bytes truncated(good.begin(), good.begin() + good.size() / 3);
    Bytes garbage{0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0x00};
    for (int i = 0; i < 500; i++) garbage.push_back((unsigned char)(i * 37 + 11));
    Bytes hugeBmp = TwoToneBmp(4, 4, 0, 0);
    hugeBmp[18] = 0xFF;  // claims a width far beyond its data
    hugeBmp[20] = 0x7F;
    Bytes cmyk =
        EncodeJpeg(32, 32, JCS_CMYK, 4, [](int, int, unsigned char* px) { px[0] = px[1] = px[2] = px[3] = 90; });
    Put("a-garbage.jpg", garbage);
    Put("b-truncated.jpg", truncated);
    Put("c-huge.bmp", hugeBmp);
    Put("d-cmyk.jpg", cmyk);
    Put("e-empty.jpg", Bytes{});
    Put("f-good.jpg", good);
    COLORREF goodPixel = 0;
    std::vector<ScriptCommand> script{Call([&] { goodPixel = ChooserPixel(ThumbCentre(5)); })};
    // Every damaged file is still there to choose; choosing one ends the run.
    script.push_back(Choose(L"b-truncated.jpg"));
    Start(script);
    ASSERT_TRUE(Open());
    EXPECT_EQ(std::wstring(title_), L"b-truncated.jpg");
    ExpectColourNear(goodPixel, 20, 200, 40);
    for (const wchar_t* name : {L"a-garbage.jpg", L"c-huge.bmp", L"d-cmyk.jpg", L"e-empty.jpg"}) {
        platform::Shutdown();
        Start({Choose(name)});
        ASSERT_TRUE(Open()) << "not listed: " << name;
        EXPECT_EQ(std::wstring(title_), name);
    }
}

}  // namespace
