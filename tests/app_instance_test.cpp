// A second start of the application while one runs: the running one is asked to
// come to the front and the new one ends at once with status 0.
#include <gtest/gtest.h>
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

using testing_support::TempDir;

std::string Lumetra() {
    return std::string(LUMETRA_BINARY_DIR) + "/lumetra";
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
    FILE* first = popen((Lumetra() + common + " --script '" + dir.File("first.script") + "'").c_str(), "r");
    ASSERT_NE(nullptr, first);
    // Wait until the first one has published its window (its window file appears).
    for (int i = 0; i < 200; i++) {
        bool published = false;
        std::error_code ec;
        if (std::filesystem::exists(runtime, ec))
            for (auto& entry : std::filesystem::directory_iterator(runtime, ec))
                published |= entry.path().filename().string().rfind("window-", 0) == 0;
        if (published) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    auto started = std::chrono::steady_clock::now();
    int second =
        system((Lumetra() + common + " --script '" + dir.File("second.script") + "' > '" + dir.File("second.out") + "'")
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
    std::ifstream secondOut(dir.File("second.out"));
    std::string secondText((std::istreambuf_iterator<char>(secondOut)), std::istreambuf_iterator<char>());
    EXPECT_EQ("", secondText) << "the second start never ran its script: it opened no window";
    EXPECT_NE(std::string::npos, out.find("raised")) << out;
    EXPECT_NE(std::string::npos, out.find("state=1")) << "the first one carried on";
    EXPECT_TRUE(WIFEXITED(firstStatus) && WEXITSTATUS(firstStatus) == 0);
}

}  // namespace
