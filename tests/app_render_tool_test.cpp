// lumetra-render: the application's road without a window writes the same file
// the window saves, renders every good file of a batch whatever the bad ones
// do, and never writes over a picture unless told to.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "app_Session.h"
#include "imaging_TestImages.h"

namespace {

using testing_support::ReadBytes;
using testing_support::ReadText;
using testing_support::TempDir;
using testing_support::WriteBytes;

std::string RenderProgram() {
    return std::string(LUMETRA_BINARY_DIR) + "/tools/lumetra-render/lumetra-render";
}

struct ToolRun {
    int status = -1;
    std::string out, err;
};

// Runs lumetra-render with `args` (already quoted as the shell needs).
ToolRun Render(const TempDir& dir, const std::string& args) {
    ToolRun run;
    const std::string out = dir.File("stdout.txt"), err = dir.File("stderr.txt");
    const std::string command = "'" + RenderProgram() + "' " + args + " >'" + out + "' 2>'" + err + "'";
    const int raw = std::system(command.c_str());
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.out = ReadText(out);
    run.err = ReadText(err);
    return run;
}

std::string Sample(const std::string& name) {
    return std::string(LUMETRA_SOURCE_DIR) + "/samples/" + name;
}

std::vector<int> Numbers(const std::string& text) {
    std::vector<int> values;
    std::stringstream in(text);
    std::string item;
    while (std::getline(in, item, ',')) values.push_back(std::stoi(item));
    return values;
}

TEST(RenderTool, WritesExactlyTheFileTheWindowSavesForTheSameTouches) {
    TempDir storage, work;
    const std::string photo = storage.File("portrait.jpg");
    std::filesystem::copy_file(Sample("grace_hopper_single.jpg"), photo);
    // In the window: Find, one erase touch on the jacket, one add touch in the
    // sky, Effect, Save over the file.
    const std::string script =
        "choose portrait.jpg\ntap 102 652\nstate\n"
        "tap 238 652\npress 240 490\nmove 240 500\nrelease 240 500\n"
        "tap 170 652\npress 440 190\nmove 440 200\nrelease 440 200\n"
        "tap 307 652\ntap 120 718\ntap 130 490\nstate\ntap 240 490\nkey ctrl+q\n";
    SessionResult r = RunSession(storage.path(), script);
    ASSERT_EQ(2u, r.states.size()) << r.output;
    ASSERT_EQ("Done", r.states[1]["message"]);
    // The window's touches in pixels of the reduced copy, mapped as it maps them.
    const std::vector<int> src = Numbers(r.states[0]["srcSpan"]), dst = Numbers(r.states[0]["dstSpan"]);
    auto mapX = [&](int x) { return src[0] + ((x - dst[0]) * (src[1] - src[0] + 1)) / (dst[1] - dst[0] + 1); };
    auto mapY = [&](int y) {
        return src[2] + ((y - kClientTop - dst[2]) * (src[3] - src[2] + 1)) / (dst[3] - dst[2] + 1);
    };
    const std::string touches = "--erase " + std::to_string(mapX(240)) + "," + std::to_string(mapY(500)) + " --add " +
                                std::to_string(mapX(440)) + "," + std::to_string(mapY(200));

    const std::string pristine = work.File("portrait.jpg");
    std::filesystem::copy_file(Sample("grace_hopper_single.jpg"), pristine);
    ToolRun run = Render(work, touches + " -o '" + work.File("out.jpg") + "' '" + pristine + "'");
    ASSERT_EQ(0, run.status) << run.err;
    EXPECT_EQ(ReadBytes(photo), ReadBytes(work.File("out.jpg")));
    EXPECT_NE(std::string::npos, run.out.find("1 of 1 picture rendered")) << run.out;

    // The touches matter: without them the file differs.
    run = Render(work, "-o '" + work.File("plain.jpg") + "' '" + pristine + "'");
    ASSERT_EQ(0, run.status) << run.err;
    EXPECT_NE(ReadBytes(photo), ReadBytes(work.File("plain.jpg")));
}

TEST(RenderTool, ABadFileAmongGoodOnesIsNamedAndTheOthersAreStillRendered) {
    TempDir in, out;
    std::filesystem::copy_file(Sample("grace_hopper_single.jpg"), in.File("good.jpg"));
    std::filesystem::copy_file(Sample("astronaut_single.jpg"), in.File("also.jpg"));
    WriteBytes(in.File("broken.jpg"), {0xFF, 0xD8, 0xFF, 0x00, 1, 2, 3});
    // A header claiming 12000 x 9000 pixels (108 megapixels): refused before
    // anything is decoded.
    WriteBytes(in.File("huge.jpg"), imaging_test::JpegHeaderOnly(12000, 9000, 3, false));
    WriteTestJpeg(in.File("noone.jpg"), 320, 240);
    ToolRun run =
        Render(out, "--out-dir '" + out.path() + "' '" + in.File("good.jpg") + "' '" + in.File("broken.jpg") + "' '" +
                        in.File("huge.jpg") + "' '" + in.File("noone.jpg") + "' '" + in.File("also.jpg") + "'");
    EXPECT_EQ(1, run.status);
    EXPECT_NE(std::string::npos, run.err.find("broken.jpg: not a readable")) << run.err;
    EXPECT_NE(std::string::npos, run.err.find("huge.jpg: too large: 12000 x 9000")) << run.err;
    EXPECT_NE(std::string::npos, run.err.find("noone.jpg: no one found")) << run.err;
    EXPECT_NE(std::string::npos, run.out.find("2 of 5 pictures rendered, 3 failed")) << run.out;
    EXPECT_TRUE(std::filesystem::exists(out.File("good.jpg")));
    EXPECT_TRUE(std::filesystem::exists(out.File("also.jpg")));
    EXPECT_FALSE(std::filesystem::exists(out.File("broken.jpg")));
    EXPECT_FALSE(std::filesystem::exists(out.File("noone.jpg")));

    // Touches mark a subject in a picture without anyone, and the mask is written.
    run = Render(out, "--add 160,120 --mask '" + out.File("m.png") + "' -o '" + out.File("noone.jpg") + "' '" +
                          in.File("noone.jpg") + "'");
    EXPECT_EQ(0, run.status) << run.err;
    EXPECT_TRUE(std::filesystem::exists(out.File("noone.jpg")));
    const auto png = ReadBytes(out.File("m.png"));
    ASSERT_GT(png.size(), 24u);
    EXPECT_EQ(320u, (png[16] << 24 | png[17] << 16 | png[18] << 8 | png[19])) << "the reduced copy is the picture";
}

TEST(RenderTool, NeverWritesOverItsInputUnlessOutNamesIt) {
    TempDir dir;
    const std::string photo = dir.File("portrait.jpg");
    std::filesystem::copy_file(Sample("grace_hopper_single.jpg"), photo);
    const auto original = ReadBytes(photo);
    ToolRun run = Render(dir, "--out-dir '" + dir.path() + "' '" + photo + "'");
    EXPECT_EQ(1, run.status);
    EXPECT_NE(std::string::npos, run.err.find("would replace the picture itself")) << run.err;
    EXPECT_EQ(original, ReadBytes(photo));

    run = Render(dir, "-o '" + photo + "' '" + photo + "'");
    EXPECT_EQ(0, run.status) << run.err;
    EXPECT_NE(original, ReadBytes(photo));

    // Usage errors: no output named, -o with several files, a missing folder.
    EXPECT_EQ(2, Render(dir, "'" + photo + "'").status);
    EXPECT_EQ(2, Render(dir, "-o x.jpg '" + photo + "' '" + photo + "'").status);
    EXPECT_EQ(2, Render(dir, "--out-dir '" + dir.File("nowhere") + "' '" + photo + "'").status);
    EXPECT_EQ(2, Render(dir, "--add 1 -o x.jpg '" + photo + "'").status);
}

}  // namespace
