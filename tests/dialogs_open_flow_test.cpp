// The open flow: the chooser's three outcomes and what they leave in the record.
#include <gtest/gtest.h>

#include <filesystem>

#include "dialogs/OpenFlow.h"
#include "platform/Platform.h"
#include "support/TestFiles.h"

namespace {

using platform::ScriptCommand;
using testing_support::TempDir;

// A 4 x 2 BMP, bottom-up, 24-bit.
std::vector<unsigned char> SmallBmp() {
    std::vector<unsigned char> b = {'B', 'M', 78, 0, 0, 0, 0, 0, 0, 0,  54, 0, 0, 0, 40, 0,  0, 0, 4,
                                    0,   0,   0,  2, 0, 0, 0, 1, 0, 24, 0,  0, 0, 0, 0,  24, 0, 0, 0};
    b.resize(54, 0);
    for (int i = 0; i < 24; i++) b.push_back((unsigned char)(10 * i));
    return b;
}

int Choose(const std::string& storage, std::vector<ScriptCommand> script, ImageRecord* record) {
    platform::Options o;
    o.headless = true;
    o.storageRoot = storage;
    o.script = std::move(script);
    EXPECT_TRUE(platform::Initialize(o));
    int result = ChoosePicture(nullptr, record);
    platform::Shutdown();
    return result;
}

TEST(OpenFlow, AChosenPictureIsLoadedWithItsNameAndFolder) {
    TempDir dir;
    std::filesystem::create_directories(dir.File("Photos"));
    testing_support::WriteBytes(dir.File("Photos/a.bmp"), SmallBmp());
    ImageRecord record{};
    // The chooser opens on JPEG files; its filter button moves on to all files.
    int result =
        Choose(dir.path(),
               {ScriptCommand(ScriptCommand::Choose, 0, 0, L"Photos"), ScriptCommand(ScriptCommand::Tap, 400, 82),
                ScriptCommand(ScriptCommand::Choose, 0, 0, L"a.bmp")},
               &record);
    ASSERT_EQ(2, result);
    EXPECT_STREQ("a.bmp", record.name);
    EXPECT_EQ(dir.File("Photos"), std::string(record.folder)) << "no trailing separator";
    EXPECT_EQ(4, record.width);
    EXPECT_EQ(2, record.height);
    EXPECT_EQ(24, record.byteSize);
    ClearImageRecord(&record);
}

TEST(OpenFlow, CancellingGivesOneAndLeavesTheRecordAlone) {
    TempDir dir;
    ImageRecord record{};
    strcpy(record.name, "kept.jpg");
    EXPECT_EQ(1, Choose(dir.path(), {ScriptCommand(ScriptCommand::Key, 0, 0, L"escape")}, &record));
    EXPECT_STREQ("kept.jpg", record.name);
}

TEST(OpenFlow, AFileThatCannotBeLoadedGivesZeroAndAClearedRecord) {
    TempDir dir;
    testing_support::WriteBytes(dir.File("bad.jpg"), {'n', 'o', 't', ' ', 'a', ' ', 'j', 'p', 'e', 'g'});
    ImageRecord record{};
    EXPECT_EQ(0, Choose(dir.path(), {ScriptCommand(ScriptCommand::Choose, 0, 0, L"bad.jpg")}, &record));
    EXPECT_EQ(nullptr, record.pixels);
    EXPECT_EQ(-1, record.width);
}

}  // namespace
