// A monkey in front of the application: seeded random sessions of taps, drags,
// keys, soft keys, waits and choices over a folder of sample photos and damaged
// files. Whatever it does, the program does not crash or hang, and no file in
// the folder changes unless OK answered "Overwrite original file,\Continue ?"
// for the picture that is open, or the Save As dialog's own overwrite question
// for the JPEG it writes; a new file appears only from the Save As dialog.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <thread>

#include "app/MainWindow.h"
#include "app_Session.h"
#include "dialogs/MessagePanel.h"
#include "imaging_TestImages.h"

namespace {

using platform::ScriptCommand;
using testing_support::TempDir;
namespace fs = std::filesystem;

constexpr int kSessions = 300;
constexpr int kActionsPerSession = 60;
const std::wstring kOverwrite = L"Overwrite original file,\\Continue ?";
const std::wstring kOverwriteSaveAs = L"Overwrite original file.\\Continue?";

// The folder the monkey plays in: a few sample photos and every kind of
// damaged or unusual file the readers have met.
void FillStorage(const std::string& folder) {
    for (const char* sample : {"astronaut_single.jpg", "grace_hopper_single.jpg", "coco_349860_skater_distant.jpg"})
        fs::copy_file(std::string(LUMETRA_SOURCE_DIR) + "/samples/" + sample, folder + "/" + sample);
    using imaging_test::Bytes;
    Bytes photo = testing_support::ReadBytes(folder + "/astronaut_single.jpg");
    testing_support::WriteBytes(folder + "/truncated.jpg", Bytes(photo.begin(), photo.begin() + 20000));
    testing_support::WriteBytes(folder + "/saved-over.bmp", photo);
    testing_support::WriteBytes(folder + "/huge.jpg", imaging_test::JpegHeaderOnly(8128, 8128, 3, true));
    testing_support::WriteBytes(folder + "/small.bmp", imaging_test::MakeBmp(37, 23));
    Bytes topDown = imaging_test::MakeBmp(20, 10);
    imaging_test::PutU32(topDown, imaging_test::kHeight, static_cast<uint32_t>(-10));
    testing_support::WriteBytes(folder + "/top-down.bmp", topDown);
    testing_support::WriteBytes(folder + "/empty.jpg", {});
    Bytes garbage{0xFF, 0xD8, 0xFF, 0xE0};
    for (int i = 0; i < 2000; i++) garbage.push_back(static_cast<unsigned char>(i * 131 + 7));
    testing_support::WriteBytes(folder + "/garbage.jpg", garbage);
    testing_support::WriteBytes(folder + "/notes.txt", {'h', 'i'});
    fs::create_directories(folder + "/Trips");
    fs::copy_file(std::string(LUMETRA_SOURCE_DIR) + "/samples/grace_hopper_single.jpg", folder + "/Trips/g.jpg");
}

// Every file under the folder with what changes when it is written anew.
std::map<std::string, std::string> Versions(const std::string& folder) {
    std::map<std::string, std::string> out;
    for (auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file()) out[fs::relative(entry.path(), folder).string()] = FileVersion(entry.path());
    return out;
}

// One random action, as script commands, with what it may answer on a panel.
struct Action {
    std::string what;
    std::vector<ScriptCommand> commands;
    bool mayAnswerOk = false;  // starts on the question's OK, or is Return/Space
};

bool OnQuestionOk(int x, int y) {
    return x >= 33 && x < 229 && y >= 460 && y < 522;  // the two-button panel's OK
}

Action RandomAction(std::mt19937& random, const std::vector<std::wstring>& names) {
    // Places worth hitting more often than chance would: the bar, the soft
    // keys and the panel's buttons (those twice: a question answered wrongly
    // is how a photo gets lost), the task bar's ok, the chooser's filter.
    static const int kHot[][2] = {{34, 652},  {102, 652}, {170, 652}, {238, 652}, {307, 652}, {376, 652}, {445, 652},
                                  {120, 718}, {120, 718}, {120, 718}, {360, 718}, {360, 718}, {130, 490}, {130, 490},
                                  {350, 490}, {350, 490}, {350, 490}, {240, 490}, {240, 490}, {440, 26},  {397, 82},
                                  {46, 82},   {240, 300}, {80, 200},  {400, 500}};
    auto point = [&](int& x, int& y) {
        if (random() % 3) {
            const int* p = kHot[random() % (sizeof kHot / sizeof kHot[0])];
            x = p[0] + static_cast<int>(random() % 11) - 5;
            y = p[1] + static_cast<int>(random() % 11) - 5;
        } else {
            x = static_cast<int>(random() % 480);
            y = static_cast<int>(random() % 744);
        }
    };
    static const wchar_t* const kKeys[] = {L"f1",     L"f2",        L"return", L"escape", L"tab",   L"space",
                                           L"ctrl+a", L"ctrl+q",    L"up",     L"down",   L"left",  L"right",
                                           L"a",      L"backspace", L"home",   L"end",    L"delete"};
    Action a;
    int x = 0, y = 0;
    const unsigned kind = random() % 10;
    if (kind < 4) {
        point(x, y);
        a.what = "tap " + std::to_string(x) + "," + std::to_string(y);
        a.commands.push_back(ScriptCommand(ScriptCommand::Tap, x, y));
        a.mayAnswerOk = OnQuestionOk(x, y);
    } else if (kind == 4) {
        int x2 = 0, y2 = 0;
        point(x, y);
        point(x2, y2);
        a.what =
            "drag " + std::to_string(x) + "," + std::to_string(y) + "-" + std::to_string(x2) + "," + std::to_string(y2);
        a.commands.push_back(ScriptCommand(ScriptCommand::Press, x, y));
        a.commands.push_back(ScriptCommand(ScriptCommand::Move, (x + x2) / 2, (y + y2) / 2));
        if (random() % 2) a.commands.push_back(ScriptCommand(ScriptCommand::Wait, static_cast<int>(random() % 900)));
        a.commands.push_back(ScriptCommand(ScriptCommand::Move, x2, y2));
        a.commands.push_back(ScriptCommand(ScriptCommand::Release, x2, y2));
        a.mayAnswerOk = OnQuestionOk(x, y);
    } else if (kind < 7) {
        std::wstring key = kKeys[random() % (sizeof kKeys / sizeof kKeys[0])];
        if (key == L"ctrl+q" && random() % 4) key = L"f1";  // keep sessions going
        a.what = "key " + std::string(key.begin(), key.end());
        a.commands.push_back(ScriptCommand(ScriptCommand::Key, 0, 0, key));
        a.mayAnswerOk = key == L"return" || key == L"space";
    } else if (kind == 7) {
        int ms = static_cast<int>(random() % 1500);
        a.what = "wait " + std::to_string(ms);
        a.commands.push_back(ScriptCommand(ScriptCommand::Wait, ms));
    } else {
        const std::wstring& name = names[random() % names.size()];
        a.what = "choose " + std::string(name.begin(), name.end());
        a.commands.push_back(ScriptCommand(ScriptCommand::Choose, 0, 0, name));
    }
    return a;
}

// What the sessions got up to, so that the rule is known to have been tried.
struct Tally {
    int opened = 0;  // sessions in which a picture was open at some point
    int saved = 0;   // files rewritten after OK on the question
};

// Runs one session in this process; returns an empty string when the rule held,
// else what broke it and the actions that led there.
std::string RunMonkeySession(unsigned seed, const std::string& master, Tally* tally) {
    TempDir dir;
    std::string storage = dir.path() + "/storage";
    fs::copy(master, storage, fs::copy_options::recursive);
    std::vector<std::wstring> names;
    for (auto& entry : fs::directory_iterator(storage)) names.push_back(entry.path().filename().wstring());
    names.push_back(L"Trips/g.jpg");

    std::mt19937 random(seed);
    std::string trail, broken;
    std::map<std::string, std::string> last = Versions(storage);
    bool questionOpen = false, saveAsQuestionOpen = false, saveAsOpen = false, opened = false;
    std::string openFile;
    Steps s;
    for (int step = 0; step < kActionsPerSession; step++) {
        Action a = RandomAction(random, names);
        s.Call([&, what = a.what] {
            questionOpen = OpenMessagePanelText() == kOverwrite;
            saveAsQuestionOpen = OpenMessagePanelText() == kOverwriteSaveAs;
            const auto titles = platform::OpenWindowTitles();
            saveAsOpen = std::find(titles.begin(), titles.end(), L"Save As") != titles.end();
            openFile = g_app.full.pixels ? std::string(g_app.full.folder) + "/" + g_app.full.name : "";
            if (!openFile.empty()) opened = true;
            trail += what + (questionOpen ? " (question)" : saveAsQuestionOpen ? " (Save As question)" : "") + "\n";
        });
        s.list.insert(s.list.end(), a.commands.begin(), a.commands.end());
        s.Call([&, mayAnswerOk = a.mayAnswerOk] {
            std::map<std::string, std::string> now = Versions(storage);
            for (auto& [name, version] : now) {
                auto it = last.find(name);
                if (it != last.end() && it->second == version) continue;
                std::error_code ec1, ec2;
                bool isOpenFile = !openFile.empty() && fs::weakly_canonical(openFile, ec1) ==
                                                           fs::weakly_canonical(fs::path(storage) / name, ec2);
                const bool isJpeg = name.size() > 4 && name.compare(name.size() - 4, 4, ".jpg") == 0;
                bool allowed = it == last.end()
                                   ? saveAsOpen && isJpeg
                                   : mayAnswerOk && ((questionOpen && isOpenFile) || (saveAsQuestionOpen && isJpeg));
                if (!allowed && broken.empty())
                    broken = name + (it == last.end() ? " appeared outside Save As"
                                                      : " changed without OK on an overwrite question");
                tally->saved += allowed;
            }
            if (now.size() < last.size() && broken.empty()) broken = "a file disappeared";
            last = std::move(now);
        });
    }
    RunSession(storage, "", s.list);
    tally->opened += opened;
    return broken.empty() ? "" : broken + " (seed " + std::to_string(seed) + ")\n" + trail;
}

// Runs a session in a child process, so that a crash or a hang is reported
// with its seed instead of taking the test program down.
std::string RunGuarded(unsigned seed, const std::string& master, const std::string& reportPath, Tally* tally) {
    pid_t pid = fork();
    if (pid == 0) {
        Tally mine;
        std::string result = RunMonkeySession(seed, master, &mine);
        std::ofstream(reportPath) << mine.opened << " " << mine.saved << "\n" << result;
        _exit(result.empty() ? 0 : 3);
    }
    const std::string session = "session with seed " + std::to_string(seed);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return session + " hung";
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    if (WIFSIGNALED(status)) return session + " crashed with signal " + std::to_string(WTERMSIG(status));
    std::ifstream in(reportPath);
    Tally mine;
    in >> mine.opened >> mine.saved >> std::ws;
    tally->opened += mine.opened;
    tally->saved += mine.saved;
    std::string report((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return WEXITSTATUS(status) != 0 && report.empty() ? session + " failed" : report;
}

TEST(Monkey, RandomSessionsNeverCrashHangOrChangeAFileWithoutOk) {
    TempDir master, reports;
    FillStorage(master.path());
    Tally tally;
    for (unsigned seed = 1; seed <= kSessions; seed++) {
        std::string failure = RunGuarded(seed, master.path(), reports.File("report.txt"), &tally);
        ASSERT_EQ("", failure);
    }
    // The monkey opened pictures and saved some with OK, so the rule was tried
    // both ways.
    EXPECT_GT(tally.opened, kSessions / 4);
    EXPECT_GT(tally.saved, 0);
    printf("%d of %d sessions opened a picture; %d saves after OK\n", tally.opened, kSessions, tally.saved);
}

}  // namespace
