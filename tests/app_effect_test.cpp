// The road of one picture through the real window, headless: Find, the two
// brushes, Effect, Compare, Reset in both states, Save, the Save pop-up and
// Save As, and what happens when memory or storage runs out on the way.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <cstdio>
#include <filesystem>
#include <functional>

#include "app/MainWindow.h"
#include "app_Session.h"
#include "platform/Platform.h"
#include "subject/WorkMemory.h"

namespace {

using platform::ScriptCommand;
using testing_support::ReadBytes;
using testing_support::TempDir;

uint32_t Screen(int x, int y) {
    return platform::ScreenPixel(x, y);
}

std::vector<uint8_t> FullPixels() {
    return std::vector<uint8_t>(g_app.full.pixels, g_app.full.pixels + g_app.full.byteSize);
}

// The portrait sample: its 512 x 600 picture is reduced to 256 x 300 and shown
// at (1..477, 52..611) on the screen. Her jacket fills the lower middle, the
// sky the upper right.
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
        skyEffect = Screen(60, 150);
        faceEffect = Screen(240, 300);
    });
    s.Tap(kCompareX, kBarY).State().Call([&] {
        skyCompare = Screen(60, 150);
        faceCompare = Screen(240, 300);
    });
    s.Tap(kCompareX, kBarY).State().Call([&] { skyBack = Screen(60, 150); });
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
    EXPECT_EQ("2", r.states[1]["brushMode"]);
    EXPECT_EQ("1", r.states[2]["brushMode"]);

    auto& effect = r.states[3];
    EXPECT_EQ("2", effect["state"]);
    EXPECT_EQ("yes", effect["backup"]);
    EXPECT_EQ("no", effect["regionMap"]);
    EXPECT_EQ("0", effect["brushMode"]);
    EXPECT_EQ("0,1,4,4,4,4,1,1", effect["buttons"]) << "zoom in and compare on, the brushes and Effect off";
    EXPECT_EQ(loaded, backup) << "the picture as loaded is kept for Compare";
    EXPECT_NE(loaded, rendered);

    EXPECT_EQ("1", r.states[4]["showBackup"]);
    EXPECT_NE(skyCompare, skyEffect) << "Compare shows the flags behind her sharp, the effect blurred";
    // Her face stays sharp: the kept pixels only lose 1/256 (one step of the
    // 16-bit screen at most).
    for (int shift : {0, 8, 16}) EXPECT_NEAR((faceCompare >> shift) & 255, (faceEffect >> shift) & 255, 8);
    EXPECT_EQ("0", r.states[5]["showBackup"]);
    EXPECT_EQ(skyEffect, skyBack) << "and again the effect";

    EXPECT_EQ("Overwrite original file,\\Continue ?", r.states[6]["message"]);
    EXPECT_EQ("Done", r.states[7]["message"]);
    int w = 0, h = 0;
    std::vector<uint8_t> saved = ReadJpegPixels(photo, &w, &h);
    ASSERT_EQ(512, w);
    ASSERT_EQ(600, h);
    // The saved file holds the effect (as JPEG at quality 75), not the original.
    long nearEffect = 0, nearOriginal = 0;
    for (size_t i = 0; i < saved.size(); i += 3) {
        const size_t j = i;  // both are 512 wide
        nearEffect += std::abs(saved[i] - rendered[j + 2]) + std::abs(saved[i + 2] - rendered[j]);
        nearOriginal += std::abs(saved[i] - loaded[j + 2]) + std::abs(saved[i + 2] - loaded[j]);
    }
    EXPECT_LT(nearEffect * 2, nearOriginal);

    auto& reset = r.states[8];
    EXPECT_EQ("1", reset["state"]);
    EXPECT_EQ("no", reset["backup"]);
    EXPECT_EQ("0", reset["maskPixels"]);
    EXPECT_EQ("0,4,1,4,4,4,4,1", reset["buttons"]);
    EXPECT_NE(original, ReadBytes(photo));
}

TEST(EffectRoad, ResetWhileMarkingDropsTheMarksAndKeepsThePicture) {
    TempDir storage;
    CopySample(storage, "grace_hopper_single.jpg");
    std::vector<uint8_t> reducedBefore, reducedAfter;
    Steps s;
    s.Do("choose grace_hopper_single.jpg\n").Call([&] {
        reducedBefore.assign(g_app.reduced.pixels, g_app.reduced.pixels + g_app.reduced.byteSize);
    });
    s.Tap(kFindX, kBarY).Tap(kResetX, kBarY).State().Call([&] {
        reducedAfter.assign(g_app.reduced.pixels, g_app.reduced.pixels + g_app.reduced.byteSize);
    });
    s.Do("key ctrl+q\n");
    SessionResult r = RunSession(storage.path(), "", s.list);
    ASSERT_EQ(1u, r.states.size());
    EXPECT_EQ("1", r.states[0]["state"]);
    EXPECT_EQ("0", r.states[0]["maskPixels"]);
    EXPECT_EQ("0", r.states[0]["subjectFound"]);
    EXPECT_EQ(reducedBefore, reducedAfter) << "the green tint is gone";
}

// A picture without a face: a red block on blue. After the "No one" notice the
// add brush marks the block, and Effect blurs only around it.
TEST(EffectRoad, WithNoOneFoundTheAddBrushMarksTheSubjectForTheEffect) {
    TempDir storage;
    // 400 x 300, so the reduced copy is the picture itself (level 0).
    std::vector<uint8_t> picture(400 * 300 * 3);
    for (int y = 0; y < 300; y++) {
        for (int x = 0; x < 400; x++) {
            const bool block = x >= 150 && x < 250 && y >= 100 && y < 200;
            // Stripes in the background give the blur something to soften.
            const int stripe = (x / 4) % 2 ? 0 : 90;
            uint8_t* p = &picture[((size_t)y * 400 + x) * 3];
            p[0] = block ? 220 : 20 + stripe;
            p[1] = block ? 40 : 60 + stripe;
            p[2] = block ? 30 : 110 + stripe;
        }
    }
    WriteJpegPixels(storage.File("block.jpg"), picture, 400, 300, 95);
    std::vector<uint8_t> mask, loaded, rendered;
    Steps s;
    // The picture is shown at (0..479, 52+50..52+409): 1.2 screen pixels a pixel.
    s.Do("choose block.jpg\n").Tap(kFindX, kBarY).State().Dismiss();
    s.Stroke(240, 52 + 230, 240, 52 + 240).State().Call([&] {
        mask.assign(g_app.mask, g_app.mask + 400 * 300);
        loaded = FullPixels();
    });
    s.Tap(kEffectX, kBarY).State().Call([&] { rendered = FullPixels(); });
    s.Do("key ctrl+q\n");
    SessionResult r = RunSession(storage.path(), "", s.list);
    ASSERT_EQ(3u, r.states.size());
    EXPECT_EQ("No one !\\Touch your target !", r.states[0]["message"]);
    const int marked = std::stoi(r.states[1]["maskPixels"]);
    EXPECT_GT(marked, 1000) << "the touch marks the block's region";
    ASSERT_EQ(400u * 300u, mask.size());
    for (int y = 0; y < 300; y++) {
        for (int x = 0; x < 400; x++) {
            const bool block = x >= 150 && x < 250 && y >= 100 && y < 200;
            if (!block && mask[y * 400 + x]) {
                ADD_FAILURE() << "background marked at " << x << "," << y;
                return;
            }
        }
    }
    EXPECT_EQ("2", r.states[2]["state"]);
    ASSERT_EQ(loaded.size(), rendered.size());
    // In the block the sharp picture is kept; in the striped background (upper
    // half, away from the block) the stripes are smoothed away.
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

TEST(Brushes, StrokesBeforeFindOrFromTheBarMarkNothingAndTheAddBrushSnapsToTheEdge) {
    TempDir storage;
    // The square astronaut photo is shown across the whole width (x 0 to 479).
    CopySample(storage, "astronaut_single.jpg");
    std::vector<uint8_t> snapped, atEdge;
    Steps s;
    s.Do("choose astronaut_single.jpg\n");
    // The add button is still disabled, but its action runs: the brush is chosen,
    // and without regions to switch a stroke changes nothing.
    s.Tap(kAddX, kBarY).Stroke(400, 140, 400, 150).State();
    s.Tap(kFindX, kBarY).State();
    // A stroke that starts on the bar never marks, even when it moves into the picture.
    s.Do("press 102 652\nmove 400 150\nrelease 400 150\n").State();
    // The add brush at x 10 touches as if at the picture's left edge.
    s.Stroke(10, 300, 10, 310).Call([&] { snapped.assign(g_app.mask, g_app.mask + 256 * 256); });
    s.Tap(kResetX, kBarY).Tap(kFindX, kBarY).Stroke(0, 300, 0, 310).Call([&] {
        atEdge.assign(g_app.mask, g_app.mask + 256 * 256);
    });
    s.Do("key ctrl+q\n");
    SessionResult r = RunSession(storage.path(), "", s.list);
    ASSERT_EQ(3u, r.states.size());
    EXPECT_EQ("1", r.states[0]["brushMode"]);
    EXPECT_EQ("0", r.states[0]["maskPixels"]);
    EXPECT_EQ(r.states[1]["maskPixels"], r.states[2]["maskPixels"]);
    ASSERT_EQ(256u * 256u, snapped.size());
    EXPECT_EQ(atEdge, snapped);
    EXPECT_GT(std::count(snapped.begin(), snapped.end(), 1), std::stol(r.states[1]["maskPixels"]))
        << "the touch at the edge marked the regions there";
}

TEST(SavePopup, MenuOpensItAndMenuSaveOrATapOnlyCloseIt) {
    TempDir storage;
    const std::string photo = CopySample(storage, "grace_hopper_single.jpg");
    const std::string before = FileVersion(photo);
    Steps s;
    s.Do("choose grace_hopper_single.jpg\n");
    s.Tap(kMenuKeyX, kSoftKeyY).State().Tap(kMenuKeyX, kSoftKeyY).State();
    s.Tap(kMenuKeyX, kSoftKeyY).Tap(kSaveKeyX, kSoftKeyY).State();
    s.Tap(kMenuKeyX, kSoftKeyY).Tap(kFindX, kBarY).State();
    s.Do("key ctrl+q\n");
    SessionResult r = RunSession(storage.path(), "", s.list);
    ASSERT_EQ(4u, r.states.size());
    EXPECT_EQ("yes", r.states[0]["popup"]);
    EXPECT_EQ("no", r.states[1]["popup"]);
    EXPECT_EQ("no", r.states[2]["popup"]);
    EXPECT_EQ("", r.states[2]["message"]) << "Save only closed the pop-up";
    EXPECT_EQ("no", r.states[3]["popup"]);
    EXPECT_EQ("0", r.states[3]["subjectFound"]) << "the tap only closed the pop-up";
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
    EXPECT_EQ("grace_hopper_single.jpg", r.states[0]["file"]);
    EXPECT_EQ(storage.File("Out"), r.states[0]["folder"]);
    EXPECT_EQ("2", r.states[0]["state"]);
    EXPECT_NE("missing", copyAfterSaveAs);
    EXPECT_EQ("Done", r.states[1]["message"]);
    EXPECT_NE(copyAfterSaveAs, FileVersion(copy)) << "Save wrote the new file";
    EXPECT_EQ(original, ReadBytes(photo)) << "the opened photo was never touched";
}

// A full medium is stood in for by a file size limit: the JPEG library's write
// fails half-way, as on a medium that fills up.
TEST(SaveFailure, AFullMediumSaysNotEnoughStorageAndLeavesThePhotoAsItWas) {
    TempDir storage;
    const std::string photo = CopySample(storage, "grace_hopper_single.jpg");
    const auto original = ReadBytes(photo);
    struct rlimit saved {};
    getrlimit(RLIMIT_FSIZE, &saved);
    void (*oldHandler)(int) = signal(SIGXFSZ, SIG_IGN);
    Steps s;
    s.Do("choose grace_hopper_single.jpg\n").Tap(kFindX, kBarY).Tap(kEffectX, kBarY);
    s.Call([&] {
        struct rlimit small = saved;
        small.rlim_cur = 4096;
        setrlimit(RLIMIT_FSIZE, &small);
    });
    s.Tap(kSaveKeyX, kSoftKeyY).AnswerOk().State().Call([&] { setrlimit(RLIMIT_FSIZE, &saved); });
    s.Dismiss().State().Do("key ctrl+q\n");
    SessionResult r = RunSession(storage.path(), "", s.list);
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, oldHandler);
    ASSERT_EQ(2u, r.states.size());
    EXPECT_EQ("Not enough storage !", r.states[0]["message"]);
    EXPECT_EQ("2", r.states[1]["state"]) << "the effect is still there to save elsewhere";
    EXPECT_EQ(original, ReadBytes(photo));
    int files = 0;
    for (auto& e : std::filesystem::directory_iterator(storage.path())) {
        (void)e;
        files++;
    }
    EXPECT_EQ(1, files) << "no partial file is left behind";
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
    EXPECT_EQ("Too Large or incorrect file !", r.states[0]["message"]);
    EXPECT_EQ("0", r.states[0]["state"]);
    EXPECT_EQ("no", r.states[0]["backup"]);
    EXPECT_EQ("1", r.states[1]["state"]) << "the chooser came back and opened another picture";
    EXPECT_EQ("astronaut_single.jpg", r.states[1]["file"]);
}

// Every working buffer of Effect in turn runs out: each time the user is told,
// and the picture and the state stay as they were.
TEST(MemoryFailure, EffectWithoutMemoryChangesNothing) {
    TempDir storage;
    CopySample(storage, "grace_hopper_single.jpg");
    bool succeeded = false;
    for (int allowed = 0; allowed < 40 && !succeeded; allowed++) {
        std::vector<uint8_t> before, after;
        Steps s;
        s.Do("choose grace_hopper_single.jpg\n").Tap(kFindX, kBarY).Call([&] {
            before = FullPixels();
            FailWorkAllocationsAfter(allowed);
        });
        s.Tap(kEffectX, kBarY).Call([&] { FailWorkAllocationsAfter(-1); }).State().Call([&] { after = FullPixels(); });
        s.Do("key ctrl+q\n");
        SessionResult r = RunSession(storage.path(), "", s.list);
        FailWorkAllocationsAfter(-1);
        ASSERT_EQ(1u, r.states.size());
        if (r.states[0]["state"] == "2") {
            succeeded = true;
            EXPECT_GT(allowed, 1) << "the copy and the renderer need memory";
            break;
        }
        EXPECT_EQ("Not enough memory !", r.states[0]["message"]) << allowed;
        EXPECT_EQ("1", r.states[0]["state"]);
        EXPECT_EQ("no", r.states[0]["backup"]);
        EXPECT_EQ(before, after) << "allocation " << allowed;
    }
    EXPECT_TRUE(succeeded);
}

}  // namespace

// Reset needs a new reduced copy and mask; without memory for them the user is
// told and keeps what is on screen, in both states.
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
    EXPECT_EQ("Not enough memory !", r.states[0]["message"]);
    EXPECT_EQ("1", r.states[0]["state"]);
    EXPECT_EQ("1", r.states[0]["subjectFound"]) << "the marks stay";
    EXPECT_NE("0", r.states[0]["maskPixels"]);
    EXPECT_EQ("Not enough memory !", r.states[1]["message"]);
    EXPECT_EQ("2", r.states[1]["state"]);
    EXPECT_EQ("yes", r.states[1]["backup"]);
    EXPECT_EQ(effect, afterReset) << "the effect is still the picture";
    EXPECT_EQ("1", r.states[2]["state"]) << "with memory back, Reset works";
}
