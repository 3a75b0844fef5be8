// Without a display the program says so and ends; with its window open on an X
// server it ends when the server goes away, on SIGTERM or SIGINT, and on a second
// SIGTERM when its display no longer answers.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app_Session.h"

extern char** environ;

namespace {

using testing_support::ReadText;
using testing_support::TempDir;
using Clock = std::chrono::steady_clock;

const char kNoDisplayLine[] = "lumetra: no display found; use --headless --script FILE to run without one\n";

// Starts `args` with this process's environment less DISPLAY and WAYLAND_DISPLAY,
// plus `env` ("NAME=value" entries), its output going to the given files.
pid_t Spawn(const std::vector<std::string>& args, const std::vector<std::string>& env, const std::string& out,
            const std::string& err) {
    std::vector<std::string> vars(env);
    for (char** e = environ; *e; e++)
        if (strncmp(*e, "DISPLAY=", 8) != 0 && strncmp(*e, "WAYLAND_DISPLAY=", 16) != 0) vars.push_back(*e);
    std::vector<char*> argv, envp;
    for (auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    for (auto& v : vars) envp.push_back(const_cast<char*>(v.c_str()));
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        // A signal ignored here (a test runner's background job) would stay ignored.
        signal(SIGINT, SIG_DFL);
        signal(SIGTERM, SIG_DFL);
        int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (o < 0 || e < 0 || dup2(o, 1) < 0 || dup2(e, 2) < 0) _exit(126);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    return pid;
}

// The process's wait status once it has ended; nothing when it is still running
// after `limit`, and then it is killed.
std::optional<int> EndsWithin(pid_t pid, std::chrono::seconds limit) {
    for (auto deadline = Clock::now() + limit;; std::this_thread::sleep_for(std::chrono::milliseconds(20))) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) return status;
        if (Clock::now() > deadline) break;
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return std::nullopt;
}

std::string Describe(int status) {
    if (WIFEXITED(status)) return "exit status " + std::to_string(WEXITSTATUS(status));
    return WIFSIGNALED(status) ? std::string("signal ") + strsignal(WTERMSIG(status)) : std::to_string(status);
}

// An X display number nobody serves on this machine.
int UnservedDisplay() {
    for (int n = 4000;; n++) {
        struct stat st;
        std::string lock = "/tmp/.X" + std::to_string(n) + "-lock", socket = "/tmp/.X11-unix/X" + std::to_string(n);
        if (stat(lock.c_str(), &st) != 0 && stat(socket.c_str(), &st) != 0) return n;
    }
}

TEST(NoDisplay, WithoutAVisibleDisplayTheProgramSaysSoAndEndsWithStatus1) {
    // With DISPLAY naming no server the library falls back to a driver that draws
    // into memory; forcing each such driver makes the fall-back certain.
    TempDir dir;
    std::string display = "DISPLAY=:" + std::to_string(UnservedDisplay());
    for (std::vector<std::string> env :
         {std::vector<std::string>{}, {display, "SDL_VIDEODRIVER=offscreen"}, {display, "SDL_VIDEODRIVER=dummy"}}) {
        SCOPED_TRACE(env.empty() ? "no display variables" : env[1]);
        pid_t pid =
            Spawn({LumetraProgram(), "--storage", dir.path(), "--config", dir.path(), "--runtime", dir.File("runtime")},
                  env, dir.File("out"), dir.File("err"));
        ASSERT_GT(pid, 0);
        std::optional<int> status = EndsWithin(pid, std::chrono::seconds(10));
        ASSERT_TRUE(status) << "still running after 10 s with no display to show its window on";
        EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 1) << Describe(*status);
        const std::string err = ReadText(dir.File("err"));  // only the line, unless a driver adds its own
        EXPECT_TRUE(env.empty() ? err == kNoDisplayLine : err.find(kNoDisplayLine) != std::string::npos) << err;
        EXPECT_EQ("", ReadText(dir.File("out")));
    }
}

// An Xvfb server on a display number it picks itself.
class XServer {
public:
    ~XServer() { Stop(); }

    // Empty once the server runs, else why it could not be started.
    std::string Start(const std::string& log) {
        std::string xvfb;
        std::istringstream dirs(getenv("PATH") ? getenv("PATH") : "/usr/bin:/bin");
        for (std::string d; xvfb.empty() && std::getline(dirs, d, ':');)
            if (access((d + "/Xvfb").c_str(), X_OK) == 0) xvfb = d + "/Xvfb";
        if (xvfb.empty()) return "Xvfb is not installed (scripts/deps.sh installs it)";
        int fds[2];
        if (pipe(fds) != 0) return "no pipe";
        fcntl(fds[0], F_SETFD, FD_CLOEXEC);
        // The server writes its display number to the pipe once it accepts connections.
        pid_ = Spawn({xvfb, "-displayfd", std::to_string(fds[1]), "-nolisten", "tcp", "-screen", "0", "800x800x24"}, {},
                     "/dev/null", log);
        close(fds[1]);
        std::string number;
        auto deadline = Clock::now() + std::chrono::seconds(15);
        while (number.find('\n') == std::string::npos && Clock::now() < deadline) {
            pollfd p{fds[0], POLLIN, 0};
            if (poll(&p, 1, 100) <= 0) continue;
            char c[16];
            ssize_t n = read(fds[0], c, sizeof c);
            if (n <= 0) break;  // the server ended before it was ready
            number.append(c, (size_t)n);
        }
        close(fds[0]);
        if (number.find('\n') == std::string::npos) return "Xvfb did not start: " + ReadText(log);
        display_ = ":" + number.substr(0, number.find('\n'));
        return "";
    }

    const std::string& display() const { return display_; }

    // A stopped server keeps its connections open and answers nothing.
    void Pause() { kill(pid_, SIGSTOP); }

    void Stop() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        kill(pid_, SIGCONT);  // a paused server acts on the signal once it runs again
        if (!EndsWithin(pid_, std::chrono::seconds(10))) ADD_FAILURE() << "Xvfb did not end on SIGTERM";
        pid_ = -1;
    }

private:
    pid_t pid_ = -1;
    std::string display_;
};

class WindowedRun : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why = server.Start(dir.File("xvfb.log"));
        if (!why.empty()) GTEST_SKIP() << why;
        std::filesystem::create_directories(dir.File("storage"));
        WriteTestJpeg(dir.File("storage") + "/a.jpg", 64, 48);
    }

    // Starts the program on the server and waits until its window is up (its
    // window file appears); with the one picture in storage the chooser is open.
    pid_t StartWithWindow() {
        std::filesystem::remove_all(runtime());
        pid_t pid =
            Spawn({LumetraProgram(), "--storage", dir.File("storage"), "--config", dir.path(), "--runtime", runtime()},
                  {"DISPLAY=" + server.display()}, dir.File("out"), dir.File("err"));
        if (pid <= 0) return -1;
        for (auto end = Clock::now() + std::chrono::seconds(15); Clock::now() < end;) {
            if (!WindowFileIn(runtime()).empty()) return pid;
            int status = 0;
            if (waitpid(pid, &status, WNOHANG) == pid) {
                ADD_FAILURE() << "ended before its window was up: " << Describe(status) << "\n"
                              << ReadText(dir.File("err"));
                return -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        ADD_FAILURE() << "no window after 15 s\n" << ReadText(dir.File("err"));
        EndsWithin(pid, std::chrono::seconds(0));
        return -1;
    }

    std::string runtime() const { return dir.File("runtime"); }

    TempDir dir;
    XServer server;
};

TEST_F(WindowedRun, EndsWhenTheXServerGoesAway) {
    pid_t pid = StartWithWindow();
    ASSERT_GT(pid, 0);
    server.Stop();
    ASSERT_TRUE(EndsWithin(pid, std::chrono::seconds(15))) << "still running 15 s after its X server ended";
}

TEST_F(WindowedRun, EndsOnSigtermOrSigintWithTheChooserOpen) {
    for (int sig : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(strsignal(sig));
        pid_t pid = StartWithWindow();
        ASSERT_GT(pid, 0);
        kill(pid, sig);
        std::optional<int> status = EndsWithin(pid, std::chrono::seconds(10));
        ASSERT_TRUE(status) << "still running 10 s after the signal";
        EXPECT_TRUE(WIFEXITED(*status)) << "ends through its own quit, not the signal's default action: "
                                        << Describe(*status);
        EXPECT_EQ("", WindowFileIn(runtime())) << "the window was closed in order and withdrawn";
    }
}

// The first SIGTERM asks for an orderly quit, which waits on the paused display to
// close the window; the second is the user insisting.
TEST_F(WindowedRun, ASecondSigtermEndsItWhenItsDisplayNoLongerAnswers) {
    pid_t pid = StartWithWindow();
    ASSERT_GT(pid, 0);
    server.Pause();
    kill(pid, SIGTERM);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    kill(pid, SIGTERM);
    ASSERT_TRUE(EndsWithin(pid, std::chrono::seconds(10))) << "still running 10 s after a second SIGTERM";
}

}  // namespace
