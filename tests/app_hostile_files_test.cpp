// Damaged or hostile picture files cost the application neither a crash nor
// its memory: a header of a hundred bytes can claim a picture of hundreds of
// megabytes, and listing or choosing it must not set anything up for it.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "app_Session.h"
#include "imaging_TestImages.h"

namespace {

using imaging_test::JpegHeaderOnly;
using testing_support::TempDir;
using testing_support::WriteBytes;

// Runs the program headless over `storage` with `script`; returns its peak
// resident memory in megabytes, or -1 when it did not end normally.
long RunProgramPeakMegabytes(const TempDir& dir, const std::string& storage, const std::string& script,
                             std::string* output) {
    std::string scriptPath = dir.File("run.script"), outPath = dir.File("run.out");
    std::ofstream(scriptPath) << script;
    pid_t pid = fork();
    if (pid == 0) {
        FILE* out = freopen(outPath.c_str(), "w", stdout);
        (void)out;
        std::string program = LumetraProgram();
        execl(program.c_str(), program.c_str(), "--headless", "--storage", storage.c_str(), "--config",
              dir.path().c_str(), "--runtime", dir.path().c_str(), "--script", scriptPath.c_str(), (char*)nullptr);
        _exit(127);
    }
    int status = 0;
    struct rusage usage {};
    wait4(pid, &status, 0, &usage);
    *output = testing_support::ReadText(outPath);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
    return usage.ru_maxrss / 1024;
}

TEST(HostileFiles, ListingAndChoosingHugeHeadersStaysUnder150Megabytes) {
    TempDir dir;
    std::string storage = dir.path() + "/storage";
    std::filesystem::create_directories(storage);
    WriteBytes(storage + "/a-progressive.jpg", JpegHeaderOnly(8128, 8128, 3, true));
    WriteBytes(storage + "/b-cmyk.jpg", JpegHeaderOnly(8128, 8128, 4, true));
    WriteBytes(storage + "/c-baseline.jpg", JpegHeaderOnly(8128, 8128, 3, false));
    WriteBytes(storage + "/d-photo.jpg", JpegHeaderOnly(6000, 4000, 3, true));
    WriteBytes(storage + "/e-saved-over.bmp", JpegHeaderOnly(8128, 8128, 3, true));
    WriteBytes(storage + "/z-too-huge.jpg", JpegHeaderOnly(11585, 11585, 3, true));
    const std::string ok = "tap " + std::to_string(kPanelOkX) + " " + std::to_string(kPanelOkY) + "\n";
    std::string script = "tap 400 82\n";  // the chooser's filter button: all files
    for (const char* name : {"a-progressive.jpg", "b-cmyk.jpg", "c-baseline.jpg", "d-photo.jpg", "e-saved-over.bmp"})
        script += std::string("choose ") + name + "\nstate\n" + ok;
    script += "choose z-too-huge.jpg\nstate\n" + ok + "key ctrl+q\n";
    std::string output;
    long peak = RunProgramPeakMegabytes(dir, storage, script, &output);
    ASSERT_GT(peak, 0) << output;
    EXPECT_LT(peak, 150) << "megabytes";
    // Every picture was refused for its size, read from its header; the last
    // one is beyond what any reader accepts.
    size_t refusals = 0, at = 0;
    while ((at = output.find("message=  Open image under 2M", at)) != std::string::npos) refusals++, at++;
    EXPECT_EQ(5u, refusals) << output;
    EXPECT_NE(std::string::npos, output.find("message=Too Large or incorrect file !")) << output;
}

}  // namespace
