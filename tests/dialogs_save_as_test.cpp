// The Save As dialog: the name it offers, what "Done" writes where and what it
// stores in the picture's record, the question before a file is replaced, and
// every name and folder it must refuse without writing anything.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "dialogs/MessagePanel.h"
#include "dialogs/SaveAsDialog.h"
#include "dialogs_TestSupport.h"
#include "imaging/LoadPicture.h"
#include "support/TestFiles.h"

namespace {

namespace fs = std::filesystem;
using namespace dialogs_test;
using platform::ScriptCommand;
using testing_support::ReadBytes;
using testing_support::TempDir;
using testing_support::WriteBytes;

// Screen points: the soft keys "Done" and "Cancel", the task bar's "ok", and
// the message panel's OK and Cancel.
constexpr POINT kDone{120, 718};
constexpr POINT kCancelKey{360, 718};
constexpr POINT kTaskBarOk{440, 26};
constexpr POINT kPanelOk{130, 490};
constexpr POINT kPanelCancel{350, 490};

ScriptCommand Tap(POINT p) {
    return dialogs_test::Tap(p.x, p.y);
}

HWND Dialog() {
    return GetForegroundWindow();
}

// Replaces the name in the field by typing, as a user would after clearing it.
std::vector<ScriptCommand> Name(const std::wstring& text) {
    return {Call([] { SetDlgItemText(Dialog(), 2, L""); }), Type(text)};
}

// The names of everything in `dir`, subfolders included.
std::vector<std::string> Listing(const std::string& dir) {
    std::vector<std::string> out;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(dir, ec); it != fs::recursive_directory_iterator();
         it.increment(ec))
        out.push_back(fs::relative(it->path(), dir).string());
    std::sort(out.begin(), out.end());
    return out;
}

class SaveAsTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = dir_.File("Photos");
        fs::create_directories(folder_);
        fs::create_directories(dir_.File("Opened"));
        WriteBytes(dir_.File("Opened/beach.bmp"), {'B', 'M'});
        SetRecord("beach.bmp", dir_.File("Opened"));
    }

    void TearDown() override {
        platform::Shutdown();
        ClearImageRecord(&record_);
    }

    // A 16 x 8 picture opened as `name` from `folder`.
    void SetRecord(const char* name, const std::string& folder) {
        ClearImageRecord(&record_);
        memset(record_.folder, 0, sizeof record_.folder);
        strncpy(record_.name, name, sizeof record_.name - 1);
        strncpy(record_.folder, folder.c_str(), sizeof record_.folder - 1);
        record_.width = 16;
        record_.height = 8;
        record_.byteSize = 16 * 8 * 3;
        record_.pixels = static_cast<uint8_t*>(malloc(record_.byteSize));
        for (int i = 0; i < record_.byteSize; i++) record_.pixels[i] = (uint8_t)(i * 7);
    }

    // Runs the dialog for saving into `folder` while `script` plays; the probes
    // of the script see it open. Ends with the program when the script does.
    void Run(std::vector<ScriptCommand> script, const std::wstring& folder) {
        Start(std::move(script));
        HINSTANCE instance = UseResources();
        HWND owner = MakeOwner(&told_);
        EXPECT_EQ(1, ShowSaveAsDialog(instance, owner, &record_, folder.c_str()));
    }
    void Run(std::vector<ScriptCommand> script) { Run(std::move(script), Wide(folder_)); }

    static std::wstring Wide(const std::string& s) {
        std::wstring w(s.size() + 1, L'\0');
        int n = MultiByteToWideChar(CP_ACP, 0, s.c_str(), -1, w.data(), (int)w.size());
        w.resize(n > 0 ? n - 1 : 0);
        return w;
    }

    // Checks, while the dialog runs, that it is open and shows `name`.
    ScriptCommand ExpectOpenWith(const std::wstring& name) {
        return Call([name] {
            HWND dialog = FindWindow(L"Dialog", L"Save As");
            ASSERT_NE(nullptr, dialog) << "the dialog stays open";
            wchar_t typed[1024] = {0};
            GetDlgItemText(dialog, 2, typed, 1024);
            EXPECT_EQ(name, typed);
            EXPECT_EQ(L"", OpenMessagePanelText()) << "no message is shown";
        });
    }

    ScriptCommand ExpectClosed() {
        return Call([] { EXPECT_EQ(nullptr, FindWindow(L"Dialog", L"Save As")); });
    }

    void ExpectRecordUnchanged() {
        EXPECT_STREQ("beach.bmp", record_.name);
        EXPECT_EQ(dir_.File("Opened"), std::string(record_.folder));
    }

    static bool IsJpeg(const std::string& path, int width, int height) {
        std::vector<unsigned char> bytes = ReadBytes(path);
        if (bytes.size() < 4 || bytes[0] != 0xFF || bytes[1] != 0xD8) return false;
        int w = 0, h = 0;
        return ReadPictureSize(Wide(path).c_str(), &w, &h) == 1 && w == width && h == height;
    }

    TempDir dir_;
    std::string folder_;
    ImageRecord record_{};
    std::vector<OwnerMessage> told_;
};

TEST_F(SaveAsTest, OffersTheOpenedNameWithoutItsExtension) {
    const struct {
        const char* opened;
        const wchar_t* offered;
    } cases[] = {{"beach.bmp", L"beach"}, {"a.b.jpg", L"a.b"}, {"README", L""}, {"caf\xC3\xA9.jpg", L"caf\u00E9"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.opened);
        SetRecord(c.opened, dir_.File("Opened"));
        Run({ExpectOpenWith(c.offered), Tap(kCancelKey)});
        platform::Shutdown();
    }
}

TEST_F(SaveAsTest, DoneSavesTheNameAsJpegInTheFolderAndMakesItThePicturesFile) {
    Run({Tap(kDone), ExpectClosed()});
    EXPECT_EQ(std::vector<std::string>{"beach.jpg"}, Listing(folder_)) << "one file, no temporary left";
    EXPECT_TRUE(IsJpeg(folder_ + "/beach.jpg", 16, 8));
    EXPECT_STREQ("beach.jpg", record_.name);
    EXPECT_EQ(folder_, std::string(record_.folder));
    EXPECT_EQ((std::vector<unsigned char>{'B', 'M'}), ReadBytes(dir_.File("Opened/beach.bmp")))
        << "the opened file is left alone";
}

TEST_F(SaveAsTest, TypingReachesTheNameFieldWithoutTappingItFirst) {
    std::vector<ScriptCommand> script;
    for (int i = 0; i < 5; i++) script.push_back(Key(L"backspace"));
    script.push_back(Type(L"sunset 2"));
    script.push_back(Key(L"f1"));  // the "Done" soft key
    Run(script);
    EXPECT_STREQ("sunset 2.jpg", record_.name);
    EXPECT_TRUE(IsJpeg(folder_ + "/sunset 2.jpg", 16, 8));
}

TEST_F(SaveAsTest, ANameThatEndsInJpgGetsASecondJpg) {
    std::vector<ScriptCommand> script = Name(L"holiday.jpg");
    script.push_back(Tap(kDone));
    Run(script);
    EXPECT_EQ(std::vector<std::string>{"holiday.jpg.jpg"}, Listing(folder_));
    EXPECT_STREQ("holiday.jpg.jpg", record_.name);
}

TEST_F(SaveAsTest, AFolderGivenWithATrailingSeparatorIsStoredWithoutIt) {
    Run({Tap(kDone)}, Wide(folder_ + "/"));
    EXPECT_EQ(std::vector<std::string>{"beach.jpg"}, Listing(folder_));
    EXPECT_EQ(folder_, std::string(record_.folder));
}

TEST_F(SaveAsTest, AnExistingFileIsReplacedOnlyAfterOkOnTheQuestion) {
    const std::vector<unsigned char> old = {'o', 'l', 'd'};
    WriteBytes(folder_ + "/beach.jpg", old);
    std::wstring asked;
    Run({Tap(kDone), Call([&] { asked = OpenMessagePanelText(); }), Tap(kPanelCancel), ExpectOpenWith(L"beach")});
    EXPECT_EQ(L"Overwrite original file.\\Continue?", asked);
    EXPECT_EQ(old, ReadBytes(folder_ + "/beach.jpg")) << "Cancel leaves the file as it was";
    ExpectRecordUnchanged();
    platform::Shutdown();

    Run({Tap(kDone), Tap(kPanelOk), ExpectClosed()});
    EXPECT_TRUE(IsJpeg(folder_ + "/beach.jpg", 16, 8)) << "OK replaces it";
    EXPECT_STREQ("beach.jpg", record_.name);
}

// Something with the name that cannot be opened for reading is still there to
// be replaced: a pipe is asked about like a file, and never opened (opening
// one would wait for a writer that never comes).
TEST_F(SaveAsTest, APipeWithTheNameIsAskedAboutAndLeftAloneOnCancel) {
    ASSERT_EQ(0, mkfifo((folder_ + "/beach.jpg").c_str(), 0600));
    std::wstring asked;
    Run({Tap(kDone), Call([&] { asked = OpenMessagePanelText(); }), Tap(kPanelCancel), ExpectOpenWith(L"beach")});
    EXPECT_EQ(L"Overwrite original file.\\Continue?", asked);
    struct stat st {};
    ASSERT_EQ(0, lstat((folder_ + "/beach.jpg").c_str(), &st));
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    ExpectRecordUnchanged();
}

// Names that would write outside the folder, or that name no file of their
// own there, or that no file name can hold: "Done" writes nothing anywhere,
// and the dialog stays open with the name as typed.
TEST_F(SaveAsTest, NamesThatCannotBeSavedInTheFolderAreRefused) {
    fs::create_directories(dir_.File("Photos/a"));
    const std::vector<std::string> before = Listing(dir_.path());
    const std::wstring refused[] = {
        L"../escape",                      // into the parent
        L"a/b",                            // into a subfolder
        L"/tmp/absolute",                  // anywhere
        L"",                               // no name
        L".",                              // dots alone
        L"..",                             //
        L"...",                            //
        std::wstring(251, L'n'),           // 255 bytes with ".jpg": more than the record holds
        std::wstring(300, L'n'),           // more than a file name
        std::wstring(126, L'\u00E9'),      // 252 bytes of two-byte characters, 256 with ".jpg"
        std::wstring(1, (wchar_t)0xD800),  // a character with no form in a file name
    };
    for (const std::wstring& name : refused) {
        SCOPED_TRACE(testing::Message() << "name of " << name.size() << " characters starting "
                                        << std::string(name.begin(), name.begin() + std::min<size_t>(name.size(), 12)));
        std::vector<ScriptCommand> script = Name(name);
        script.push_back(Tap(kDone));
        script.push_back(ExpectOpenWith(name));
        script.push_back(Tap(kCancelKey));
        Run(script);
        platform::Shutdown();
        EXPECT_EQ(before, Listing(dir_.path())) << "nothing written";
        EXPECT_FALSE(fs::exists("/tmp/absolute.jpg"));
        ExpectRecordUnchanged();
    }
}

TEST_F(SaveAsTest, TheLongestNameTheRecordHoldsIsSavedWhole) {
    const std::string ascii(250, 'n');
    std::vector<ScriptCommand> script = Name(std::wstring(ascii.begin(), ascii.end()));
    script.push_back(Tap(kDone));
    Run(script);
    EXPECT_EQ(ascii + ".jpg", std::string(record_.name)) << "254 bytes and the terminator";
    EXPECT_TRUE(fs::exists(folder_ + "/" + ascii + ".jpg"));
    platform::Shutdown();

    std::string accents;
    for (int i = 0; i < 125; i++) accents += "\xC3\xA9";
    script = Name(std::wstring(125, L'\u00E9'));
    script.push_back(Tap(kDone));
    Run(script);
    EXPECT_EQ(accents + ".jpg", std::string(record_.name));
    EXPECT_TRUE(fs::exists(folder_ + "/" + accents + ".jpg"));
}

// A folder that is not there (never was, or went while the dialog was open),
// is not a folder, is not a full path, or is longer than the record or the
// program's buffer holds: nothing is written and the dialog stays open.
TEST_F(SaveAsTest, AFolderThatCannotBeSavedIntoIsRefused) {
    WriteBytes(dir_.File("file"), {'x'});
    // 260 characters whose first 259 are a folder too: cut short, the path
    // would name that other folder.
    const std::string prefix = dir_.path() + "/" + std::string(258 - dir_.path().size(), 'p');
    const std::string overlong = prefix + "/s";
    ASSERT_EQ(259u, prefix.size());
    fs::create_directories(overlong);
    // 147 characters, but more bytes than the record's folder holds.
    std::string accents;
    for (int i = 0; i < 60; i++) accents += "\xC3\xA9";
    const std::string accented = dir_.path() + "/" + accents + "/" + accents;
    fs::create_directories(accented);
    const std::vector<std::string> before = Listing(dir_.path());
    const struct {
        const char* what;
        std::wstring folder;
        bool removeWhileOpen;
    } cases[] = {
        {"empty", L"", false},
        {"missing", Wide(dir_.File("missing")), false},
        {"a file", Wide(dir_.File("file")), false},
        {"relative", L"Photos", false},
        {"more bytes than the record holds", Wide(accented), false},
        {"more characters than the program's buffer holds", Wide(overlong), false},
        {"gone while the dialog was open", Wide(folder_), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<ScriptCommand> script;
        if (c.removeWhileOpen) script.push_back(Call([&] { fs::remove_all(folder_); }));
        script.push_back(Tap(kDone));
        script.push_back(ExpectOpenWith(L"beach"));
        Run(script, c.folder);
        platform::Shutdown();
        std::vector<std::string> expected = before;
        if (c.removeWhileOpen) expected.erase(std::find(expected.begin(), expected.end(), "Photos"));
        EXPECT_EQ(expected, Listing(dir_.path())) << "nothing written";
        ExpectRecordUnchanged();
    }
}

TEST_F(SaveAsTest, AFolderThatCannotBeWrittenKeepsTheDialogOpen) {
    // A folder this process cannot write into: read-only, or where even the
    // administrator cannot create files.
    std::string locked = dir_.File("Locked");
    fs::create_directories(locked);
    chmod(locked.c_str(), 0555);
    if (access(locked.c_str(), W_OK) == 0) locked = "/proc";
    Run({Tap(kDone), ExpectOpenWith(L"beach")}, Wide(locked));
    chmod(dir_.File("Locked").c_str(), 0755);
    EXPECT_FALSE(fs::exists(locked + "/beach.jpg"));
    EXPECT_TRUE(Listing(dir_.File("Locked")).empty());
    ExpectRecordUnchanged();
}

TEST_F(SaveAsTest, LeavingWithoutDoneSavesNothingAndGivesBackEverything) {
    Run({Tap(kCancelKey)});  // the platform's own lazily made objects
    platform::Shutdown();
    const int gdi = platform::LiveGdiObjects(), imaging = platform::LiveImagingObjects();
    const struct {
        const char* way;
        std::vector<ScriptCommand> steps;
    } ways[] = {
        {"Cancel soft key", {Tap(kCancelKey), ExpectClosed()}},
        {"task bar ok", {Tap(kTaskBarOk), ExpectClosed()}},
        {"close request", {Call([] { PostMessage(Dialog(), WM_CLOSE, 0, 0); }), ExpectClosed()}},
        {"program ends with the dialog open", {}},
    };
    for (const auto& w : ways) {
        SCOPED_TRACE(w.way);
        Run(w.steps);
        platform::Shutdown();
        EXPECT_TRUE(Listing(folder_).empty());
        ExpectRecordUnchanged();
        EXPECT_EQ(gdi, platform::LiveGdiObjects());
        EXPECT_EQ(imaging, platform::LiveImagingObjects());
    }
    Run({Tap(kDone)});
    platform::Shutdown();
    EXPECT_STREQ("beach.jpg", record_.name);
    EXPECT_EQ(gdi, platform::LiveGdiObjects()) << "after saving too";
}

TEST_F(SaveAsTest, TheDialogIsDrawnOnItsOwnBackgroundColour) {
    uint32_t background = 0;
    Run({Call([&] { background = platform::ScreenPixel(240, 52 + 400); }), Tap(kCancelKey)});
    // 0x504F4B as the screen shows it: red 0x4B, green 0x4F, blue 0x50.
    EXPECT_NEAR(0x4B, (int)(background >> 16 & 0xFF), 8);
    EXPECT_NEAR(0x4F, (int)(background >> 8 & 0xFF), 8);
    EXPECT_NEAR(0x50, (int)(background & 0xFF), 8);
}

}  // namespace
