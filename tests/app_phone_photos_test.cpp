// Photos straight from a phone: stored sideways with an orientation tag, full
// of metadata, and larger than the window opens by default. They open, are
// found and are rendered upright, keep their metadata when saved, and the open
// limit can be lifted.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>

#include "app/MainWindow.h"
#include "app_Session.h"
#include "imaging_ExifImages.h"

namespace {

using imaging_test::Bytes;
using testing_support::ReadText;
using testing_support::TempDir;

// The portrait sample stored as a phone stores a portrait shot: the pixels
// turned a quarter to the left, with EXIF orientation 6 (turn right to view),
// a camera model and the date taken.
void WriteSidewaysPortrait(const std::string& path) {
    int w = 0, h = 0;
    const std::vector<uint8_t> upright =
        ReadJpegPixels(std::string(LUMETRA_SOURCE_DIR) + "/samples/grace_hopper_single.jpg", &w, &h);
    ASSERT_FALSE(upright.empty());
    const int storedW = h, storedH = w;
    Bytes stored((size_t)storedW * storedH * 3);
    for (int y = 0; y < storedH; y++) {
        for (int x = 0; x < storedW; x++) {
            const auto [ux, uy] = imaging_test::UprightPlace(6, x, y, storedW, storedH);
            memcpy(&stored[((size_t)y * storedW + x) * 3], &upright[((size_t)uy * w + ux) * 3], 3);
        }
    }
    imaging_test::ExifFields fields;
    fields.orientation = 6;
    fields.model = "Pocket Camera 7";
    fields.dateTimeOriginal = "2026:05:04 10:11:12";
    imaging_test::WriteJpeg(path, storedW, storedH, stored, {{0xE1, imaging_test::MakeExif(fields)}});
}

struct SavedExif {
    long orientation = -2;
    std::string model, date;
};

SavedExif ExifOf(const std::string& path) {
    SavedExif out;
    const std::vector<Bytes> blocks = imaging_test::ExifMarkersOf(path);
    if (blocks.size() != 1) return out;
    ExifData* data = imaging_test::ReadExif(blocks[0]);
    out.orientation = imaging_test::NumberEntry(data, EXIF_IFD_0, EXIF_TAG_ORIENTATION).first;
    out.model = imaging_test::TextEntry(data, EXIF_IFD_0, EXIF_TAG_MODEL);
    out.date = imaging_test::TextEntry(data, EXIF_IFD_EXIF, EXIF_TAG_DATE_TIME_ORIGINAL);
    exif_data_unref(data);
    return out;
}

TEST(PhonePhotos, ASidewaysPortraitOpensUprightIsFoundAndSavesWithItsMetadata) {
    TempDir storage;
    WriteSidewaysPortrait(storage.File("phone.jpg"));
    Steps s;
    s.Do("choose phone.jpg\n").State().Tap(kFindX, kBarY).State().Tap(kEffectX, kBarY);
    s.Tap(kSaveKeyX, kSoftKeyY).AnswerOk().State().Dismiss().Do("key ctrl+q\n");
    SessionResult r = RunSession(storage.path(), "", s.list);
    ASSERT_EQ(3u, r.states.size()) << r.output;
    EXPECT_EQ("512x600", r.states[0]["full"]) << "stored 600 x 512, shown standing up";
    EXPECT_EQ("", r.states[1]["message"]) << "her face is found upright";
    EXPECT_GT(std::stoi(r.states[1]["maskPixels"]), 10000);
    EXPECT_EQ("Done", r.states[2]["message"]);
    int w = 0, h = 0;
    ReadJpegPixels(storage.File("phone.jpg"), &w, &h);
    EXPECT_EQ(512, w);
    EXPECT_EQ(600, h);
    const SavedExif exif = ExifOf(storage.File("phone.jpg"));
    EXPECT_EQ(1, exif.orientation) << "the pixels are upright now";
    EXPECT_EQ("Pocket Camera 7", exif.model);
    EXPECT_EQ("2026:05:04 10:11:12", exif.date);
}

struct ToolRun {
    int status = -1;
    std::string out, err;
};

ToolRun RunTool(const TempDir& dir, const std::string& tool, const std::string& args) {
    ToolRun run;
    const std::string command = "'" + std::string(LUMETRA_BINARY_DIR) + "/tools/" + tool + "/" + tool + "' " + args +
                                " >'" + dir.File("out.txt") + "' 2>'" + dir.File("err.txt") + "'";
    const int raw = std::system(command.c_str());
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.out = ReadText(dir.File("out.txt"));
    run.err = ReadText(dir.File("err.txt"));
    return run;
}

TEST(PhonePhotos, TheToolsFindAndRenderASidewaysPortraitUpright) {
    TempDir dir;
    WriteSidewaysPortrait(dir.File("phone.jpg"));
    ToolRun detect = RunTool(dir, "lumetra-detect", "'" + dir.File("phone.jpg") + "'");
    ASSERT_EQ(0, detect.status) << detect.err;
    EXPECT_NE(std::string::npos, detect.out.find("\"width\": 512, \"height\": 600, \"orientation\": 6")) << detect.out;
    EXPECT_NE(std::string::npos, detect.out.find("\"verified\": true")) << detect.out;

    ToolRun render =
        RunTool(dir, "lumetra-render", "-o '" + dir.File("effect.jpg") + "' '" + dir.File("phone.jpg") + "'");
    ASSERT_EQ(0, render.status) << render.err;
    int w = 0, h = 0;
    ReadJpegPixels(dir.File("effect.jpg"), &w, &h);
    EXPECT_EQ(512, w);
    EXPECT_EQ(600, h);
    const SavedExif exif = ExifOf(dir.File("effect.jpg"));
    EXPECT_EQ(1, exif.orientation);
    EXPECT_EQ("Pocket Camera 7", exif.model);
}

// 1800 x 1200 is 2.16 million pixels (6.6 MB of pixels with the padded width):
// over the default limit.
TEST(OpenLimit, MaxPixelsFromTheOptionOrTheSettingsFileLiftsTheLimitButNotItsMessage) {
    TempDir storage;
    WriteTestJpeg(storage.File("big.jpg"), 1800, 1200);
    Steps s;
    // Each limit is set before the chooser opens again, as an option or the
    // setting would be.
    s.Do("choose big.jpg\n").State().Call([] { SetMaxOpenPixels(2'500'000); }).Dismiss();
    s.Do("choose big.jpg\n").State();
    s.Call([] { SetMaxOpenPixels(2'100'000); }).Tap(kMenuKeyX, kSoftKeyY).Tap(240, kPopupCancelY);
    s.Do("choose big.jpg\n").State().Call([] {
        SHRegSetDWORD(HKEY_CURRENT_USER, kSettingsKey, kMaxPixelsValue, 3'000'000);
        SetMaxOpenPixels(0);
    });
    s.Dismiss().Do("choose big.jpg\n").State();
    // The settings file outlives the session: leave it as found.
    s.Call([] {
         SHRegSetDWORD(HKEY_CURRENT_USER, kSettingsKey, kMaxPixelsValue, 0);
         SetMaxOpenPixels(0);
     }).Do("key ctrl+q\n");
    SessionResult r = RunSession(storage.path(), "", s.list);
    SetMaxOpenPixels(0);
    ASSERT_EQ(4u, r.states.size()) << r.output;
    EXPECT_EQ("  Open image under 2M", r.states[0]["message"]);
    EXPECT_EQ("0", r.states[0]["state"]);
    EXPECT_EQ("1", r.states[1]["state"]);
    EXPECT_EQ("1824x1200", r.states[1]["full"]) << r.output;
    EXPECT_EQ("  Open image under 2M", r.states[2]["message"]) << "the padded width counts, message unchanged";
    EXPECT_EQ("1", r.states[3]["state"]) << "the setting opens it";
    EXPECT_EQ(kMaxOpenBytes, MaxOpenBytes()) << "without a setting the default is back";
}

}  // namespace

// A picture the chooser measured as too large comes without pixels; it must
// never be taken for an opened picture, even when the limit was raised while
// the chooser was showing.
TEST(OpenLimit, APictureMeasuredTooLargeIsNeverOpenedWithoutItsPixels) {
    TempDir storage;
    WriteTestJpeg(storage.File("big.jpg"), 1800, 1200);
    Steps s;
    s.Call([] { SetMaxOpenPixels(2'500'000); }).Do("choose big.jpg\n").State().Do("key ctrl+q\n");
    SessionResult r = RunSession(storage.path(), "", s.list);
    SetMaxOpenPixels(0);
    ASSERT_EQ(1u, r.states.size());
    EXPECT_EQ("  Open image under 2M", r.states[0]["message"]);
    EXPECT_EQ("0", r.states[0]["state"]);
}
