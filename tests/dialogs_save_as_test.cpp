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

// Clears the name field and types `text`, as a user would, then plays `then`.
std::vector<ScriptCommand> Typed(const std::wstring& text, std::vector<ScriptCommand> then) {
    then.insert(then.begin(), {Call([] { SetDlgItemText(GetForegroundWindow(), 2, L""); }), Type(text)});
    return then;
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
        SetRecord("beach.bmp");
    }

    void TearDown() override {
        platform::Shutdown();
        ClearImageRecord(&record_);
    }

    // A 16 x 8 picture opened as `name` from the folder "Opened".
    void SetRecord(const char* name) {
        ClearImageRecord(&record_);
        memset(record_.folder, 0, sizeof record_.folder);
        strncpy(record_.name, name, sizeof record_.name - 1);
        strncpy(record_.folder, dir_.File("Opened").c_str(), sizeof record_.folder - 1);
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
        EXPECT_EQ(1, ShowSaveAsDialog(instance, MakeOwner(&told_), &record_, folder.c_str()));
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

    static bool IsJpeg(const std::string& path) {
        std::vector<unsigned char> bytes = ReadBytes(path);
        int w = 0, h = 0;
        return bytes.size() > 2 && bytes[0] == 0xFF && bytes[1] == 0xD8 &&
               ReadPictureSize(Wide(path).c_str(), &w, &h) == 1 && w == 16 && h == 8;
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
        SetRecord(c.opened);
        Run({ExpectOpenWith(c.offered), Tap(kCancelKey)});
        platform::Shutdown();
    }
}

TEST_F(SaveAsTest, DoneSavesTheNameAsJpegInTheFolderAndMakesItThePicturesFile) {
    std::string accents;
    for (int i = 0; i < 125; i++) accents += "\xC3\xA9";
    std::vector<ScriptCommand> typing(5, Key(L"backspace"));  // no tap on the field first
    typing.insert(typing.end(), {Type(L"sunset 2"), Key(L"f1")});
    const struct {
        const char* what;
        std::vector<ScriptCommand> steps;
        std::string saved;
        std::string folder;
    } cases[] = {
        {"the offered name", {Tap(kDone), ExpectClosed()}, "beach.jpg", folder_},
        {"a folder given with a trailing separator", {Tap(kDone)}, "beach.jpg", folder_ + "/"},
        {"typed, and the Done key", typing, "sunset 2.jpg", folder_},
        {"a name ending in .jpg", Typed(L"holiday.jpg", {Tap(kDone)}), "holiday.jpg.jpg", folder_},
        // 254 bytes and the terminator: the longest name the record holds.
        {"the longest", Typed(std::wstring(250, L'n'), {Tap(kDone)}), std::string(250, 'n') + ".jpg", folder_},
        {"the longest in two-byte characters", Typed(std::wstring(125, L'\u00E9'), {Tap(kDone)}), accents + ".jpg",
         folder_},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        SetRecord("beach.bmp");
        Run(c.steps, Wide(c.folder));
        platform::Shutdown();
        EXPECT_EQ(std::vector<std::string>{c.saved}, Listing(folder_)) << "one file, no temporary left";
        EXPECT_TRUE(IsJpeg(folder_ + "/" + c.saved));
        EXPECT_EQ(c.saved, std::string(record_.name));
        EXPECT_EQ(folder_, std::string(record_.folder)) << "stored without a trailing separator";
    }
}

// A pipe with the name is asked about like a file, and never opened (opening
// one would wait for a writer that never comes).
TEST_F(SaveAsTest, AnExistingFileIsReplacedOnlyAfterOkOnTheQuestion) {
    const std::string target = folder_ + "/beach.jpg";
    const std::vector<unsigned char> old = {'o', 'l', 'd'};
    for (bool pipe : {true, false}) {
        SCOPED_TRACE(pipe ? "a pipe" : "a file");
        fs::remove(target);
        pipe ? (void)mkfifo(target.c_str(), 0600) : WriteBytes(target, old);
        std::wstring asked;
        Run({Tap(kDone), Call([&] { asked = OpenMessagePanelText(); }), Tap(kPanelCancel), ExpectOpenWith(L"beach")});
        platform::Shutdown();
        EXPECT_EQ(L"Overwrite original file.\\Continue?", asked);
        EXPECT_EQ(pipe, fs::is_fifo(fs::symlink_status(target))) << "still there, as it was";
        EXPECT_TRUE(pipe || old == ReadBytes(target)) << "Cancel leaves the file as it was";
        ExpectRecordUnchanged();
    }
    Run({Tap(kDone), Tap(kPanelOk), ExpectClosed()});
    EXPECT_TRUE(IsJpeg(target)) << "OK replaces it";
    EXPECT_STREQ("beach.jpg", record_.name);
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
        SCOPED_TRACE(testing::Message() << name.size() << " characters: " << name.substr(0, 12));
        Run(Typed(name, {Tap(kDone), ExpectOpenWith(name), Tap(kCancelKey)}));
        platform::Shutdown();
        EXPECT_EQ(before, Listing(dir_.path())) << "nothing written";
        EXPECT_FALSE(fs::exists("/tmp/absolute.jpg"));
        ExpectRecordUnchanged();
    }
}

// A folder that is not there (never was, or went while the dialog was open),
// is not a folder, is not a full path, is longer than the record or the
// program's buffer holds, or cannot be written: nothing is written and the
// dialog stays open.
TEST_F(SaveAsTest, AFolderThatCannotBeSavedIntoIsRefused) {
    WriteBytes(dir_.File("file"), {'x'});
    // 260 characters whose first 259 are a folder too: cut short, the path
    // would name that other folder.
    const std::string prefix = dir_.path() + "/" + std::string(258 - dir_.path().size(), 'p');
    ASSERT_EQ(259u, prefix.size());
    fs::create_directories(prefix + "/s");
    // 147 characters, but more bytes than the record's folder holds.
    std::string accents;
    for (int i = 0; i < 60; i++) accents += "\xC3\xA9";
    const std::string accented = dir_.path() + "/" + accents + "/" + accents;
    fs::create_directories(accented);
    // Read-only, or where even the administrator cannot create files.
    std::string locked = dir_.File("Locked");
    fs::create_directories(locked);
    chmod(locked.c_str(), 0555);
    if (access(locked.c_str(), W_OK) == 0) locked = "/proc";
    const std::vector<std::string> before = Listing(dir_.path());
    const std::string gone = dir_.File("Gone");  // made after `before`, gone while the dialog is open
    const std::pair<const char*, std::string> cases[] = {
        {"empty", ""},
        {"missing", dir_.File("missing")},
        {"a file", dir_.File("file")},
        {"relative", "Photos"},
        {"more bytes than the record holds", accented},
        {"more characters than the program's buffer holds", prefix + "/s"},
        {"not writable", locked},
        {"gone while the dialog was open", gone},
    };
    for (const auto& [what, folder] : cases) {
        SCOPED_TRACE(what);
        fs::create_directories(gone);
        Run({Call([&] { fs::remove_all(gone); }), Tap(kDone), ExpectOpenWith(L"beach")}, Wide(folder));
        platform::Shutdown();
        EXPECT_EQ(before, Listing(dir_.path())) << "nothing written";
        EXPECT_FALSE(fs::exists(locked + "/beach.jpg"));
        ExpectRecordUnchanged();
    }
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
        {"close request", {Call([] { PostMessage(GetForegroundWindow(), WM_CLOSE, 0, 0); }), ExpectClosed()}},
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
