// One picture's road through the real window, headless, including running out of memory or storage.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <algorithm>
#include <filesystem>

#include "app/MainWindow.h"
#include "app_Session.h"
#include "subject/WorkMemory.h"

namespace {

using platform::ScreenPixel;
using testing_support::ReadBytes;
using testing_support::TempDir;
using Fields = std::map<std::string, std::string>;

std::vector<uint8_t> FullPixels() {
    return std::vector<uint8_t>(g_app.full.pixels, g_app.full.pixels + g_app.full.byteSize);
}

// Checks the named fields of one state report.
void ExpectFields(const Fields& got, const Fields& want) {
    for (auto& [key, value] : want) {
        auto it = got.find(key);
        EXPECT_EQ(value, it == got.end() ? "(missing)" : it->second) << key;
    }
}

// The 512 x 600 portrait is shown at (1..477, 52..611): jacket lower middle, sky upper right.
constexpr int kJacketX = 240, kJacketY = 500;
constexpr int kSkyX = 440, kSkyY = 200;

TEST(EffectRoad, FindBrushesEffectCompareSaveAndResetOnAPortrait) {
    TempDir storage;
    const std::string photo = CopySample(storage, "grace_hopper_single.jpg");
    const auto original = ReadBytes(photo);
    uint32_t skyEffect = 0, skyCompare = 0, skyBack = 0, faceCompare = 0, faceEffect = 0;
    std::vector<uint8_t> loaded, rendered, backup;
    Steps s;
    s.Do("choose grace_hopper_single.jpg\n").Tap(kFindX, kBarY).State();
    s.Tap(kEraseX, kBarY).Stroke(kJacketX, kJacketY - 10, kJacketX, kJacketY).State();
    s.Tap(kAddX, kBarY).Stroke(kSkyX, kSkyY - 10, kSkyX, kSkyY).State();
    s.Call([&] { loaded = FullPixels(); });
    s.Tap(kEffectX, kBarY).State().Call([&] {
        rendered = FullPixels();
        backup.assign(g_app.backup, g_app.backup + g_app.full.byteSize);
        skyEffect = ScreenPixel(60, 150);
        faceEffect = ScreenPixel(240, 300);
    });
    s.Tap(kCompareX, kBarY).State().Call([&] {
        skyCompare = ScreenPixel(60, 150);
        faceCompare = ScreenPixel(240, 300);
    });
    s.Tap(kCompareX, kBarY).State().Call([&] { skyBack = ScreenPixel(60, 150); });
    // Save over the opened file, then Reset reads it again.
    s.Tap(kSaveKeyX, kSoftKeyY).State().AnswerOk().State().Dismiss();
    s.Tap(kResetX, kBarY).State().Do("key ctrl+q\n");
    SessionResult r = RunSession(storage.path(), "", s.list);
    ASSERT_EQ(9u, r.states.size()) << r.output;

    const int found = std::stoi(r.states[0]["maskPixels"]);
    const int erased = std::stoi(r.states[1]["maskPixels"]);
    const int added = std::stoi(r.states[2]["maskPixels"]);
    EXPECT_GT(found, 10000) << "Find marks her";
    EXPECT_LT(erased, found) << "the erase stroke takes a piece of the jacket away";
    EXPECT_GT(erased, found / 2) << "but keeps the person";
    EXPECT_GT(added, erased) << "the add stroke marks a piece of sky";
    // Zoom in and Compare on, the brushes and Effect off.
    ExpectFields(
        r.states[3],
        {{"state", "2"}, {"backup", "yes"}, {"regionMap", "no"}, {"brushMode", "0"}, {"buttons", "0,1,4,4,4,4,1,1"}});
    EXPECT_EQ(loaded, backup) << "the picture as loaded is kept for Compare";
    EXPECT_NE(loaded, rendered);

    EXPECT_EQ("1", r.states[4]["showBackup"]);
    EXPECT_NE(skyCompare, skyEffect) << "Compare shows the flags behind her sharp, the effect blurred";
    // Her face stays sharp: at most one step of the 16-bit screen.
    for (int shift : {0, 8, 16}) EXPECT_NEAR((faceCompare >> shift) & 255, (faceEffect >> shift) & 255, 8);
    EXPECT_EQ("0", r.states[5]["showBackup"]);
    EXPECT_EQ(skyEffect, skyBack) << "and again the effect";

    EXPECT_EQ("Overwrite original file,\\Continue ?", r.states[6]["message"]);
    EXPECT_EQ("Done", r.states[7]["message"]);
    int w = 0, h = 0;
    std::vector<uint8_t> saved = ReadJpegPixels(photo, &w, &h);
    ASSERT_TRUE(w == 512 && h == 600) << w << "x" << h;
    // The saved file holds the effect (as JPEG at quality 75), not the original.
    long nearEffect = 0, nearOriginal = 0;
    for (size_t i = 0; i < saved.size(); i += 3) {  // both are 512 wide
        nearEffect += std::abs(saved[i] - rendered[i + 2]) + std::abs(saved[i + 2] - rendered[i]);
        nearOriginal += std::abs(saved[i] - loaded[i + 2]) + std::abs(saved[i + 2] - loaded[i]);
    }
    EXPECT_LT(nearEffect * 2, nearOriginal);
    ExpectFields(r.states[8], {{"state", "1"}, {"backup", "no"}, {"maskPixels", "0"}, {"buttons", "0,4,1,4,4,4,4,1"}});
    EXPECT_NE(original, ReadBytes(photo));
}

// Without a face, the add brush marks a red block and Effect blurs only around it.
TEST(EffectRoad, WithNoOneFoundTheAddBrushMarksTheSubjectForTheEffect) {
    TempDir storage;
    // 400 x 300: the reduced copy is the picture itself. Stripes give the blur work.
    auto inBlock = [](int i) { return i % 400 >= 150 && i % 400 < 250 && i / 400 >= 100 && i / 400 < 200; };
    const uint8_t block[3] = {220, 40, 30}, ground[3] = {20, 60, 110};
    std::vector<uint8_t> picture(400 * 300 * 3), mask, loaded, rendered;
    for (int i = 0; i < 400 * 300; i++)
        for (int c = 0; c < 3; c++)
            picture[i * 3 + c] = inBlock(i) ? block[c] : ground[c] + ((i % 400 / 4) % 2 ? 0 : 90);
    WriteJpegPixels(storage.File("block.jpg"), picture, 400, 300, 95);
    Steps s;
    // The picture is shown at (0..479, 52+50..52+409): 1.2 screen pixels a pixel.
    s.Do("choose block.jpg\n").Tap(kFindX, kBarY).State().Dismiss();
    s.Stroke(240, 52 + 230, 240, 52 + 240).State().Call([&] {
        mask.assign(g_app.mask, g_app.mask + 400 * 300);
        loaded = FullPixels();
    });
    s.Tap(kEffectX, kBarY).State().Call([&] { rendered = FullPixels(); });
    SessionResult r = RunSession(storage.path(), "", s.Do("key ctrl+q\n").list);
    ASSERT_EQ(3u, r.states.size());
    EXPECT_EQ("No one !\\Touch your target !", r.states[0]["message"]);
    EXPECT_GT(std::stoi(r.states[1]["maskPixels"]), 1000) << "the touch marks the block's region";
    int backgroundMarked = 0;
    for (int i = 0; i < 400 * 300; i++) backgroundMarked += !inBlock(i) && mask[i];
    EXPECT_EQ(0, backgroundMarked);
    EXPECT_EQ("2", r.states[2]["state"]);
    ASSERT_EQ(loaded.size(), rendered.size());
    // The block stays sharp; the stripes above it are smoothed away.
    auto at = [](const std::vector<uint8_t>& p, int x, int y) { return p[((size_t)y * 400 + x) * 3]; };
    EXPECT_NEAR(at(loaded, 200, 150), at(rendered, 200, 150), 1);
    int sharpSpread = 0, blurredSpread = 0;
    for (int x = 40; x < 48; x++) {
        sharpSpread = std::max(sharpSpread, std::abs(at(loaded, x, 50) - at(loaded, x + 1, 50)));
        blurredSpread = std::max(blurredSpread, std::abs(at(rendered, x, 50) - at(rendered, x + 1, 50)));
    }
    EXPECT_GT(sharpSpread, 40);
    EXPECT_LT(blurredSpread, sharpSpread / 3);
}

TEST(Brushes, StrokesBeforeFindOrFromTheBarMarkNothingTheAddBrushSnapsToTheEdgeAndResetDropsTheMarks) {
    TempDir storage;
    // The square astronaut photo is shown across the whole width (x 0 to 479).
    CopySample(storage, "astronaut_single.jpg");
    std::vector<uint8_t> snapped, atEdge, reducedBefore, reducedAfter;
    auto reduced = [] {
        return std::vector<uint8_t>(g_app.reduced.pixels, g_app.reduced.pixels + g_app.reduced.byteSize);
    };
    Steps s;
    s.Do("choose astronaut_single.jpg\n").Call([&] { reducedBefore = reduced(); });
    // The disabled add button still chooses the brush; without regions a stroke changes nothing.
    s.Tap(kAddX, kBarY).Stroke(400, 140, 400, 150).State();
    s.Tap(kFindX, kBarY).State();
    // A stroke that starts on the bar never marks, even when it moves into the picture.
    s.Do("press 102 652\nmove 400 150\nrelease 400 150\n").State();
    // The add brush at x 10 touches as if at the picture's left edge.
    s.Stroke(10, 300, 10, 310).Call([&] { snapped.assign(g_app.mask, g_app.mask + 256 * 256); });
    s.Tap(kResetX, kBarY).State().Call([&] { reducedAfter = reduced(); });
    s.Tap(kFindX, kBarY).Stroke(0, 300, 0, 310).Call([&] { atEdge.assign(g_app.mask, g_app.mask + 256 * 256); });
    SessionResult r = RunSession(storage.path(), "", s.Do("key ctrl+q\n").list);
    ASSERT_EQ(4u, r.states.size());
    ExpectFields(r.states[0], {{"brushMode", "1"}, {"maskPixels", "0"}});
    EXPECT_EQ(r.states[1]["maskPixels"], r.states[2]["maskPixels"]);
    EXPECT_EQ(atEdge, snapped);
    EXPECT_GT(std::count(snapped.begin(), snapped.end(), 1), std::stol(r.states[1]["maskPixels"]))
        << "the touch at the edge marked the regions there";
    ExpectFields(r.states[3], {{"state", "1"}, {"maskPixels", "0"}, {"subjectFound", "0"}});
    EXPECT_EQ(reducedBefore, reducedAfter) << "Reset while marking removes the green tint";
}

TEST(SavePopup, MenuOpensItAndMenuSaveOrATapOnlyCloseIt) {
    TempDir storage;
    const std::string photo = CopySample(storage, "grace_hopper_single.jpg");
    const std::string before = FileVersion(photo);
    Steps s;
    s.Do("choose grace_hopper_single.jpg\n");
    s.Tap(kMenuKeyX, kSoftKeyY).State().Tap(kMenuKeyX, kSoftKeyY).State();
    s.Tap(kMenuKeyX, kSoftKeyY).Tap(kSaveKeyX, kSoftKeyY).State();
    // Reset lies outside the pop-up (Find is under it); the tap must not clear the marks.
    s.Tap(kFindX, kBarY).Tap(kMenuKeyX, kSoftKeyY).Tap(kResetX, kBarY).State();
    SessionResult r = RunSession(storage.path(), "", s.Do("key ctrl+q\n").list);
    ASSERT_EQ(4u, r.states.size());
    EXPECT_EQ("yes", r.states[0]["popup"]);
    EXPECT_EQ("no", r.states[1]["popup"]);
    ExpectFields(r.states[2], {{"popup", "no"}, {"message", ""}});                        // Save only closed the pop-up
    ExpectFields(r.states[3], {{"popup", "no"}, {"state", "1"}, {"subjectFound", "1"}});  // and so did the tap
    EXPECT_EQ(before, FileVersion(photo));
}

TEST(SavePopup, ItsCancelEntryAsksBeforeUndoingTheEffect) {
    TempDir storage;
    CopySample(storage, "grace_hopper_single.jpg");
    Steps s;
    s.Do("choose grace_hopper_single.jpg\n").Tap(kFindX, kBarY).Tap(kEffectX, kBarY);
    s.Tap(kMenuKeyX, kSoftKeyY).Tap(240, kPopupCancelY).State().AnswerCancel().State();
    s.Tap(kMenuKeyX, kSoftKeyY).Tap(240, kPopupCancelY).AnswerOk().State();
    s.Do("choose grace_hopper_single.jpg\nstate\nkey ctrl+q\n");
    SessionResult r = RunSession(storage.path(), "", s.list);
    ASSERT_EQ(4u, r.states.size());
    EXPECT_EQ("Undo all changes?", r.states[0]["message"]);
    EXPECT_EQ("2", r.states[1]["state"]) << "no keeps the effect";
    EXPECT_EQ("0", r.states[2]["state"]) << "yes discards it and brings back the chooser";
    EXPECT_EQ("1", r.states[3]["state"]);
}

TEST(SaveAs, IntoAnotherFolderAndALaterSaveWritesTheNewFile) {
    TempDir storage;
    const std::string photo = CopySample(storage, "grace_hopper_single.jpg");
    std::filesystem::create_directory(storage.File("Out"));
    const std::string copy = storage.File("Out/grace_hopper_single.jpg");
    const auto original = ReadBytes(photo);
    std::string copyAfterSaveAs;
    Steps s;
    s.Do("choose grace_hopper_single.jpg\n").Tap(kFindX, kBarY).Tap(kEffectX, kBarY);
    s.Tap(kMenuKeyX, kSoftKeyY).Tap(240, kPopupSaveAsY).Do("choosefolder Out\n");
    s.Tap(kSaveKeyX, kSoftKeyY).State().Call([&] { copyAfterSaveAs = FileVersion(copy); });
    s.Tap(kSaveKeyX, kSoftKeyY).AnswerOk().State().Dismiss().Do("key ctrl+q\n");
    SessionResult r = RunSession(storage.path(), "", s.list);
    ASSERT_EQ(2u, r.states.size()) << r.output;
    ExpectFields(r.states[0], {{"file", "grace_hopper_single.jpg"}, {"folder", storage.File("Out")}, {"state", "2"}});
    EXPECT_NE("missing", copyAfterSaveAs);
    EXPECT_EQ("Done", r.states[1]["message"]);
    EXPECT_NE(copyAfterSaveAs, FileVersion(copy)) << "Save wrote the new file";
    EXPECT_EQ(original, ReadBytes(photo)) << "the opened photo was never touched";
}

// A file size limit stands in for a medium that fills up half-way through the write.
TEST(SaveFailure, AFullMediumSaysNotEnoughStorageAndLeavesThePhotoAsItWas) {
    TempDir storage;
    const std::string photo = CopySample(storage, "grace_hopper_single.jpg");
    const auto original = ReadBytes(photo);
    struct rlimit saved {};
    getrlimit(RLIMIT_FSIZE, &saved);
    const rlimit small{4096, saved.rlim_max};
    void (*oldHandler)(int) = signal(SIGXFSZ, SIG_IGN);
    Steps s;
    s.Do("choose grace_hopper_single.jpg\n").Tap(kFindX, kBarY).Tap(kEffectX, kBarY);
    s.Call([&] { setrlimit(RLIMIT_FSIZE, &small); }).Tap(kSaveKeyX, kSoftKeyY).AnswerOk().State();
    s.Call([&] { setrlimit(RLIMIT_FSIZE, &saved); }).Dismiss().State().Do("key ctrl+q\n");
    SessionResult r = RunSession(storage.path(), "", s.list);
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, oldHandler);
    ASSERT_EQ(2u, r.states.size());
    EXPECT_EQ("Not enough storage !", r.states[0]["message"]);
    EXPECT_EQ("2", r.states[1]["state"]) << "the effect is still there to save elsewhere";
    EXPECT_EQ(original, ReadBytes(photo));
    EXPECT_EQ(1, std::distance(std::filesystem::directory_iterator(storage.path()), {})) << "no partial file is left";
}

TEST(ResetFailure, AFileGoneSinceOpeningIsReportedAndTheChooserReturns) {
    TempDir storage;
    const std::string photo = CopySample(storage, "grace_hopper_single.jpg");
    CopySample(storage, "astronaut_single.jpg");
    Steps s;
    s.Do("choose grace_hopper_single.jpg\n").Tap(kFindX, kBarY).Tap(kEffectX, kBarY);
    s.Call([&] { std::filesystem::remove(photo); });
    s.Tap(kResetX, kBarY).State().Dismiss().Do("choose astronaut_single.jpg\n").State().Do("key ctrl+q\n");
    SessionResult r = RunSession(storage.path(), "", s.list);
    ASSERT_EQ(2u, r.states.size()) << r.output;
    ExpectFields(r.states[0], {{"message", "Too Large or incorrect file !"}, {"state", "0"}, {"backup", "no"}});
    // The chooser came back and opened another picture.
    ExpectFields(r.states[1], {{"state", "1"}, {"file", "astronaut_single.jpg"}});
}

// Each working buffer of Effect in turn runs out: the user is told, nothing changes.
TEST(MemoryFailure, EffectWithoutMemoryChangesNothing) {
    TempDir storage;
    CopySample(storage, "grace_hopper_single.jpg");
    for (int allowed = 0;; allowed++) {
        ASSERT_LT(allowed, 40) << "Effect never succeeded";
        std::vector<uint8_t> before, after;
        Steps s;
        s.Do("choose grace_hopper_single.jpg\n").Tap(kFindX, kBarY).Call([&] {
            before = FullPixels();
            FailWorkAllocationsAfter(allowed);
        });
        s.Tap(kEffectX, kBarY).Call([&] { FailWorkAllocationsAfter(-1); }).State().Call([&] { after = FullPixels(); });
        SessionResult r = RunSession(storage.path(), "", s.Do("key ctrl+q\n").list);
        FailWorkAllocationsAfter(-1);
        ASSERT_EQ(1u, r.states.size());
        if (r.states[0]["state"] == "2") {
            EXPECT_GT(allowed, 1) << "the copy and the renderer need memory";
            break;
        }
        SCOPED_TRACE("allocation " + std::to_string(allowed));
        ExpectFields(r.states[0], {{"message", "Not enough memory !"}, {"state", "1"}, {"backup", "no"}});
        EXPECT_EQ(before, after);
    }
}

// Without memory for a new reduced copy and mask, Reset keeps what is on screen in both states.
TEST(MemoryFailure, ResetWithoutMemoryKeepsTheMarksOrTheEffect) {
    TempDir storage;
    CopySample(storage, "grace_hopper_single.jpg");
    std::vector<uint8_t> effect, afterReset;
    Steps s;
    s.Do("choose grace_hopper_single.jpg\n").Tap(kFindX, kBarY).Call([] { FailWorkAllocationsAfter(0); });
    s.Tap(kResetX, kBarY).Call([] { FailWorkAllocationsAfter(-1); }).State().Dismiss();
    s.Tap(kEffectX, kBarY).Call([&] {
        effect = FullPixels();
        FailWorkAllocationsAfter(0);
    });
    s.Tap(kResetX, kBarY).Call([] { FailWorkAllocationsAfter(-1); }).State().Call([&] { afterReset = FullPixels(); });
    s.Dismiss().Tap(kResetX, kBarY).State().Do("key ctrl+q\n");
    SessionResult r = RunSession(storage.path(), "", s.list);
    FailWorkAllocationsAfter(-1);
    ASSERT_EQ(3u, r.states.size());
    // The marks stay.
    ExpectFields(r.states[0], {{"message", "Not enough memory !"}, {"state", "1"}, {"subjectFound", "1"}});
    EXPECT_NE("0", r.states[0]["maskPixels"]);
    ExpectFields(r.states[1], {{"message", "Not enough memory !"}, {"state", "2"}, {"backup", "yes"}});
    EXPECT_EQ(effect, afterReset) << "the effect is still the picture";
    EXPECT_EQ("1", r.states[2]["state"]) << "with memory back, Reset works";
}

}  // namespace
