// The Save As dialog: the name it offers, what "Done" writes where and what it
// stores in the picture's record, the question before a file is replaced, and
// every name and folder it must refuse without writing anything.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
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
using testing_support::WriteBytes;

// Screen points: the soft keys "Done" and "Cancel", the task bar's "ok", and
// the message panel's OK and Cancel.
constexpr POINT kDone{120, 718}, kCancelKey{360, 718}, kTaskBarOk{440, 26};
constexpr POINT kPanelOk{130, 490}, kPanelCancel{350, 490};

// Clears the name field and types `text`, as a user would, then plays `then`.
std::vector<ScriptCommand> Typed(const std::wstring& text, std::vector<ScriptCommand> then) {
    then.insert(then.begin(), {Call([] { SetDlgItemText(GetForegroundWindow(), 2, L""); }), Type(text)});
    return then;
}

// The names of everything in `dir`, subfolders included.
std::vector<std::string> Listing(const std::string& dir) {
    std::vector<std::string> out;
    for (const auto& entry : fs::recursive_directory_iterator(dir))
        out.push_back(fs::relative(entry.path(), dir).string());
    std::sort(out.begin(), out.end());
    return out;
}

class SaveAsTest : public ::testing::Test {
protected:
    void SetUp() override {
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
        snprintf(record_.name, sizeof record_.name, "%s", name);
        snprintf(record_.folder, sizeof record_.folder, "%s", dir_.File("Opened").c_str());
        record_.width = 16;
        record_.height = 8;
        record_.byteSize = 16 * 8 * 3;
        record_.pixels = static_cast<uint8_t*>(malloc(record_.byteSize));
        for (int i = 0; i < record_.byteSize; i++) record_.pixels[i] = (uint8_t)(i * 7);
    }

    // Runs the dialog for saving into `folder` while `script` plays; the probes
    // of the script see it open. Ends with the program when the script does.
    void Run(std::vector<ScriptCommand> script, const std::string& folder) {
        Start(std::move(script));
        HINSTANCE instance = UseResources();
        EXPECT_EQ(1, ShowSaveAsDialog(instance, MakeOwner(&told_), &record_, Wide(folder).c_str()));
    }
    void Run(std::vector<ScriptCommand> script) { Run(std::move(script), folder_); }

    static std::string Repeat(const std::string& s, int times) { return times > 0 ? s + Repeat(s, times - 1) : ""; }
    static std::wstring Wide(const std::string& s) {
        std::wstring w(s.size(), L'\0');
        w.resize(std::max(0, MultiByteToWideChar(CP_ACP, 0, s.data(), (int)s.size(), w.data(), (int)w.size())));
        return w;
    }

    // Checks, while the dialog runs, that it is open, shows `name` and no message.
    static ScriptCommand ExpectOpenWith(const std::wstring& name) {
        return Call([name] {
            HWND dialog = FindWindow(L"Dialog", L"Save As");
            ASSERT_NE(nullptr, dialog) << "the dialog stays open";
            wchar_t typed[1024] = {0};
            GetDlgItemText(dialog, 2, typed, 1024);
            EXPECT_EQ(name, typed);
            EXPECT_EQ(L"", OpenMessagePanelText()) << "no message is shown";
        });
    }
    static ScriptCommand ExpectClosed() {
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

    testing_support::TempDir dir_;
    std::string folder_ = dir_.File("Photos");
    ImageRecord record_{};
    std::vector<OwnerMessage> told_;
};

// The dialog is drawn on its own background colour 0x504F4B: red 0x4B, green
// 0x4F, blue 0x50, each cut by at most 3 to the screen's 16 bits a pixel.
TEST_F(SaveAsTest, OffersTheOpenedNameWithoutItsExtensionOnItsOwnBackground) {
    const struct {
        const char* opened;
        const wchar_t* offered;
    } cases[] = {{"beach.bmp", L"beach"}, {"a.b.jpg", L"a.b"}, {"README", L""}, {"caf\xC3\xA9.jpg", L"caf\u00E9"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.opened);
        SetRecord(c.opened);
        uint32_t background = 0;
        Run({ExpectOpenWith(c.offered), Call([&] { background = platform::ScreenPixel(240, 52 + 400); }),
             Tap(kCancelKey)});
        platform::Shutdown();
        EXPECT_NEAR(0x4B, (int)(background >> 16 & 0xFF), 3);
        EXPECT_NEAR(0x4F, (int)(background >> 8 & 0xFF), 3);
        EXPECT_NEAR(0x50, (int)(background & 0xFF), 3);
    }
}

TEST_F(SaveAsTest, DoneSavesTheNameAsJpegInTheFolderAndMakesItThePicturesFile) {
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
        {"the longest in two-byte characters", Typed(std::wstring(125, L'\u00E9'), {Tap(kDone)}),
         Repeat("\xC3\xA9", 125) + ".jpg", folder_},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        SetRecord("beach.bmp");
        Run(c.steps, c.folder);
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

// Names that would write outside the folder, name no file of their own there or
// that no file name can hold; folders that are not there (never were, or went
// while the dialog was open), are not folders or full paths, are longer than the
// record or the program's buffer holds, or cannot be written. "Done" writes
// nothing anywhere and the dialog stays open with the name as typed.
TEST_F(SaveAsTest, NamesAndFoldersThatCannotBeSavedIntoAreRefused) {
    fs::create_directories(folder_ + "/a");
    WriteBytes(dir_.File("file"), {'x'});
    // 260 characters whose first 259 name a folder too: cut short, the path
    // would name that other folder.
    const std::string prefix = dir_.path() + "/" + std::string(257 - dir_.path().size(), 'p');
    ASSERT_EQ(258u, prefix.size());
    fs::create_directories(prefix + "/s");
    // 147 characters, but more bytes than the record's folder holds.
    const std::string accented = dir_.path() + "/" + Repeat("\xC3\xA9", 60) + "/" + Repeat("\xC3\xA9", 60);
    fs::create_directories(accented);
    // Read-only, or where even the administrator cannot create files.
    std::string locked = dir_.File("Locked");
    fs::create_directories(locked);
    chmod(locked.c_str(), 0555);
    if (access(locked.c_str(), W_OK) == 0) locked = "/proc";
    const std::vector<std::string> before = Listing(dir_.path());
    const std::string gone = dir_.File("Gone");  // made after `before`, gone while the dialog is open
    auto expectRefused = [&](const std::wstring& name, const std::string& folder) {
        fs::create_directories(gone);
        Run(Typed(name, {Call([&] { fs::remove_all(gone); }), Tap(kDone), ExpectOpenWith(name)}), folder);
        platform::Shutdown();
        EXPECT_EQ(before, Listing(dir_.path())) << "nothing written";
        EXPECT_FALSE(fs::exists("/tmp/absolute.jpg") || fs::exists(locked + "/beach.jpg"));
        ExpectRecordUnchanged();
    };
    // Into the parent, a subfolder or anywhere; no name; dots alone; 255 bytes
    // with ".jpg", more than the record holds; 252 bytes of two-byte characters,
    // 256 with ".jpg"; a character with no form in a file name.
    const std::wstring tooLong(251, L'n'), twoByte(126, L'\u00E9'), unmappable(1, (wchar_t)0xD800);
    const std::wstring names[] = {L"../escape", L"a/b", L"/tmp/absolute", L"",     L".",
                                  L"..",        L"...", tooLong,          twoByte, unmappable};
    for (const std::wstring& name : names) {
        SCOPED_TRACE(testing::Message() << name.size() << " characters: " << name.substr(0, 12));
        expectRefused(name, folder_);
    }
    const std::pair<const char*, std::string> folders[] = {
        {"empty", ""},
        {"missing", dir_.File("missing")},
        {"a file", dir_.File("file")},
        {"relative", "Photos"},
        {"more bytes than the record holds", accented},
        {"more characters than the program's buffer holds", prefix + "/s"},
        {"not writable", locked},
        {"gone while the dialog was open", gone},
    };
    for (const auto& [what, folder] : folders) {
        SCOPED_TRACE(what);
        expectRefused(L"beach", folder);
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

}  // namespace
