// A second start of the application while one runs: the running one is asked to
// come to the front and the new one says so and ends at once with status 0. A
// headless run keeps to a namespace of its own unless told to share one.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "app_Session.h"

namespace {

using testing_support::ReadText;
using testing_support::TempDir;

// The window file the program publishes in `runtime`; empty until there is one.
std::string WaitForWindowFile(const std::string& runtime) {
    for (int i = 0; i < 200; i++) {
        std::string file = WindowFileIn(runtime);
        if (!file.empty()) return file;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return "";
}

TEST(SecondInstance, ExitsWithZeroAndBringsTheRunningOneForward) {
    TempDir dir;
    std::string storage = dir.path() + "/storage", runtime = dir.path() + "/runtime";
    std::filesystem::create_directories(storage);
    WriteTestJpeg(storage + "/a.jpg", 64, 48);
    {
        std::ofstream(dir.File("first.script")) << "choose a.jpg\nsleep 3000\nstate\nkey ctrl+q\n";
        std::ofstream(dir.File("second.script")) << "state\n";
    }
    std::string common =
        " --headless --storage '" + storage + "' --runtime '" + runtime + "' --config '" + dir.path() + "'";
    FILE* first = popen((LumetraProgram() + common + " --script '" + dir.File("first.script") + "'").c_str(), "r");
    ASSERT_NE(nullptr, first);
    // Wait until the first one has published its window (its window file appears).
    WaitForWindowFile(runtime);
    auto started = std::chrono::steady_clock::now();
    int second = system((LumetraProgram() + common + " --script '" + dir.File("second.script") + "' > '" +
                         dir.File("second.out") + "' 2> '" + dir.File("second.err") + "'")
                            .c_str());
    auto took = std::chrono::steady_clock::now() - started;
    std::string out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, first)) > 0) out.append(buf, n);
    int firstStatus = pclose(first);

    ASSERT_TRUE(WIFEXITED(second));
    EXPECT_EQ(0, WEXITSTATUS(second));
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(took).count(), 2000)
        << "the second start ends without waiting for the first";
    EXPECT_EQ("", ReadText(dir.File("second.out"))) << "the second start never ran its script: it opened no window";
    EXPECT_NE(std::string::npos,
              ReadText(dir.File("second.err")).find("lumetra: already running; its window was brought to the front\n"))
        << "the second start says why it ended: " << ReadText(dir.File("second.err"));
    EXPECT_NE(std::string::npos, out.find("raised")) << out;
    EXPECT_NE(std::string::npos, out.find("state=1")) << "the first one carried on";
    EXPECT_TRUE(WIFEXITED(firstStatus) && WEXITSTATUS(firstStatus) == 0);
}

TEST(HeadlessRun, RunsItsScriptWhileAnotherInstanceHoldsTheDefaultFolder) {
    // The first run stands in for the user's window: told to use the default
    // runtime folder of XDG_RUNTIME_DIR, it holds the lock and publishes its window
    // there. A headless run without --runtime must not hand over to it.
    TempDir dir;
    std::string storage = dir.path() + "/storage", xdg = dir.path() + "/xdg", tmp = dir.path() + "/tmp";
    std::filesystem::create_directories(storage);
    std::filesystem::create_directories(tmp);
    WriteTestJpeg(storage + "/a.jpg", 64, 48);
    {
        std::ofstream(dir.File("holder.script")) << "choose a.jpg\nsleep 15000\nkey ctrl+q\n";
        std::ofstream(dir.File("run.script")) << "state\n";
    }
    std::string env = "exec env XDG_RUNTIME_DIR='" + xdg + "' TMPDIR='" + tmp + "' ";
    std::string common = " --headless --storage '" + storage + "' --config '" + dir.path() + "'";
    FILE* holder = popen((env + LumetraProgram() + common + " --runtime '" + xdg + "/lumetra' --script '" +
                          dir.File("holder.script") + "'")
                             .c_str(),
                         "r");
    ASSERT_NE(nullptr, holder);
    std::string windowFile = WaitForWindowFile(xdg + "/lumetra");
    long holderPid = 0;
    std::ifstream(windowFile) >> holderPid;

    int run = system((env + LumetraProgram() + common + " --script '" + dir.File("run.script") + "' > '" +
                      dir.File("run.out") + "' 2> '" + dir.File("run.err") + "'")
                         .c_str());

    if (holderPid > 0) kill((pid_t)holderPid, SIGTERM);  // the holder has done its part
    std::string holderOut;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, holder)) > 0) holderOut.append(buf, n);
    pclose(holder);

    ASSERT_FALSE(windowFile.empty()) << "the holder never published its window";
    ASSERT_TRUE(WIFEXITED(run));
    EXPECT_EQ(0, WEXITSTATUS(run));
    EXPECT_NE(std::string::npos, ReadText(dir.File("run.out")).find("state=0\n"))
        << "the headless run ran its script: " << ReadText(dir.File("run.out")) << ReadText(dir.File("run.err"));
    EXPECT_EQ("", ReadText(dir.File("run.err")));
    EXPECT_EQ(std::string::npos, holderOut.find("raised")) << "the holder was left alone";
    std::error_code ec;
    EXPECT_TRUE(std::filesystem::is_empty(tmp, ec)) << "the headless run's private folder is removed at its end";
}

}  // namespace
