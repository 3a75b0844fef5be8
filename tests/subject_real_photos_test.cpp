// The trained detector on real photos, run the way the application runs it: the
// picture's reduced working copy, its grey copy, the face scan and the eyes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "imaging/LoadPicture.h"
#include "imaging/PyramidLevel.h"
#include "imaging/ResizePicture.h"
#include "subject/EyeVerifier.h"
#include "subject/FaceDetector.h"
#include "subject/MakeGreyImage.h"
#include "support/TestFiles.h"

namespace {

struct Grey {
    int width = 0, height = 0;
    std::vector<uint8_t> pixels;
};

struct VerifiedFace {
    FaceBox box;
    EyePoint left, right;
};

// The grey reduced copy the application scans, optionally only a part of it.
Grey ReducedGrey(const std::string& sample, int cropX0 = 0, int cropY0 = 0, int cropX1 = -1, int cropY1 = -1) {
    std::string path = std::string(LUMETRA_SOURCE_DIR) + "/samples/" + sample;
    std::wstring wide(path.begin(), path.end());
    ImageRecord full{};
    EXPECT_EQ(1, LoadPicture(wide.c_str(), L"sample", &full)) << path;
    int level = PyramidLevel(std::max(full.width, full.height));
    int w = full.width >> level, h = full.height >> level;
    std::vector<uint8_t> reduced((size_t)w * h * 3);
    ResizePicture(full.pixels, full.width, full.height, reduced.data(), w, h, 1);
    ClearImageRecord(&full);
    std::vector<uint8_t> grey((size_t)w * h);
    MakeGreyImage(reduced.data(), grey.data(), w, h);
    if (cropX1 < 0) cropX1 = w;
    if (cropY1 < 0) cropY1 = h;
    Grey out;
    out.width = cropX1 - cropX0;
    out.height = cropY1 - cropY0;
    for (int y = cropY0; y < cropY1; y++)
        out.pixels.insert(out.pixels.end(), grey.begin() + (size_t)y * w + cropX0,
                          grey.begin() + (size_t)y * w + cropX1);
    return out;
}

std::vector<VerifiedFace> Find(const Grey& g) {
    std::vector<VerifiedFace> out;
    int n = std::max(0, DetectFaces(g.pixels.data(), g.width, g.height));
    std::vector<FaceBox> boxes(FaceBoxes(), FaceBoxes() + n);
    for (const FaceBox& b : boxes) {
        if (VerifyEyes(g.pixels.data(), g.width, g.height, b.x0, b.y0, b.x1, b.y1) != 1) continue;
        VerifiedFace f{b, {}, {}};
        GetEyeCentres(&f.left, &f.right);
        out.push_back(f);
    }
    return out;
}

TEST(RealPhotos, ThePortraitsGiveOneVerifiedFaceWithItsEyesInTheUpperQuarters) {
    for (const char* sample : {"astronaut_single.jpg", "grace_hopper_single.jpg"}) {
        SCOPED_TRACE(sample);
        auto faces = Find(ReducedGrey(sample));
        ASSERT_EQ(1u, faces.size());
        const VerifiedFace& f = faces[0];
        int midX = (f.box.x0 + f.box.x1) / 2, midY = (f.box.y0 + f.box.y1) / 2;
        EXPECT_TRUE(f.left.x >= f.box.x0 && f.left.x < midX && f.left.y >= f.box.y0 && f.left.y < midY);
        EXPECT_TRUE(f.right.x >= midX && f.right.x < f.box.x1 && f.right.y >= f.box.y0 && f.right.y < midY);
        // Upright portraits: the eyes lie level, a plausible distance apart.
        int distance = f.right.x - f.left.x;
        EXPECT_GT(distance, (f.box.x1 - f.box.x0) / 4);
        EXPECT_LT(std::abs(f.right.y - f.left.y), distance / 4 + 1);
    }
}

// Turns the part of a grey picture around (cx, cy) by `degrees` clockwise into a
// size x size picture centred on that point; what lies outside the picture is
// plain wall grey.
Grey Turned(const Grey& g, double cx, double cy, double degrees, int size) {
    Grey out{size, size, std::vector<uint8_t>((size_t)size * size, 190)};
    double c = std::cos(degrees * M_PI / 180), s = std::sin(degrees * M_PI / 180);
    for (int y = 0; y < size; y++)
        for (int x = 0; x < size; x++) {
            double dx = x - size / 2.0, dy = y - size / 2.0;
            // Clockwise on screen (y down) is the inverse of this mapping.
            double sx = cx + c * dx + s * dy, sy = cy - s * dx + c * dy;
            int x0 = (int)std::floor(sx), y0 = (int)std::floor(sy);
            if (x0 < 0 || y0 < 0 || x0 + 1 >= g.width || y0 + 1 >= g.height) continue;
            double fx = sx - x0, fy = sy - y0;
            const uint8_t* p = &g.pixels[(size_t)y0 * g.width + x0];
            double v = (p[0] * (1 - fx) + p[1] * fx) * (1 - fy) + (p[g.width] * (1 - fx) + p[g.width + 1] * fx) * fy;
            out.pixels[(size_t)y * size + x] = (uint8_t)(v + 0.5);
        }
    return out;
}

TEST(RealPhotos, TheRolledFaceOfTheFramesPhotoIsFoundOnceTurnedUpright) {
    // The large face at the top left of this photo leans about 50 degrees (its
    // eyes lie at about (31, 44) and (47, 26) in the 320-row reduced copy).
    // The scan looks for upright faces only, as it was trained on faces within
    // 20 degrees of level; turned upright, the same face must be found.
    Grey reduced = ReducedGrey("coco_256353_frames_single_repeated.jpg");
    ASSERT_EQ(320, reduced.height);
    for (double degrees : {45.0, 50.0, 55.0}) {
        SCOPED_TRACE(degrees);
        auto faces = Find(Turned(reduced, 39, 35, degrees, 128));
        ASSERT_EQ(1u, faces.size());
        const VerifiedFace& f = faces[0];
        EXPECT_NEAR(64, (f.left.x + f.right.x) / 2, 8) << "between the eyes is where the picture was turned";
        EXPECT_NEAR(64, (f.left.y + f.right.y) / 2, 8);
        EXPECT_GT(f.right.x - f.left.x, 14);
        EXPECT_LT(std::abs(f.right.y - f.left.y), 6) << "upright: the eyes lie level";
    }
}

TEST(RealPhotos, PartsOfPhotosWithoutAFaceGiveNone) {
    // Reduced copies are 256 x 256 (astronaut), 320 x 213 (skater), 320 x 211 (dinner).
    EXPECT_TRUE(Find(ReducedGrey("astronaut_single.jpg", 0, 150, 256, 256)).empty()) << "suit, helmet, flag";
    EXPECT_TRUE(Find(ReducedGrey("coco_349860_skater_distant.jpg", 0, 0, 140, 213)).empty()) << "sky and ramp";
    EXPECT_TRUE(Find(ReducedGrey("coco_000790_dinner_group.jpg", 0, 140, 320, 211)).empty()) << "table top";
    EXPECT_TRUE(Find(ReducedGrey("grace_hopper_single.jpg", 0, 200, 256, 300)).empty()) << "uniform and medals";
}

TEST(RealPhotos, PatternsAndNoiseGiveNoFace) {
    std::mt19937 rng(7);
    const int w = 320, h = 240;
    std::vector<std::vector<uint8_t>> pictures(4, std::vector<uint8_t>(w * h));
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            pictures[0][y * w + x] = (uint8_t)(x * 255 / w);                                        // gradient
            pictures[1][y * w + x] = ((x / 8 + y / 8) & 1) ? 230 : 20;                              // checkerboard
            pictures[2][y * w + x] = (uint8_t)(rng() & 255);                                        // noise
            pictures[3][y * w + x] = (uint8_t)(128 + 100 * std::sin(x * 0.3) * std::cos(y * 0.2));  // waves
        }
    for (size_t i = 0; i < pictures.size(); i++) {
        Grey g{w, h, pictures[i]};
        EXPECT_TRUE(Find(g).empty()) << "pattern " << i;
    }
}

TEST(DetectTool, PrintsOneJsonLinePerFileAndFailsOnUnreadableOnes) {
    testing_support::TempDir dir;
    testing_support::WriteBytes(dir.File("bad.jpg"), {'x'});
    std::string tool = std::string(LUMETRA_BINARY_DIR) + "/tools/lumetra-detect/lumetra-detect";
    std::string cmd = tool + " '" + std::string(LUMETRA_SOURCE_DIR) + "/samples/astronaut_single.jpg' '" +
                      dir.File("bad.jpg") + "' > '" + dir.File("out.json") + "' 2> '" + dir.File("err.txt") + "'";
    int status = system(cmd.c_str());
    EXPECT_NE(0, status) << "an unreadable file makes the run fail";
    auto out = testing_support::ReadBytes(dir.File("out.json"));
    std::string json(out.begin(), out.end());
    EXPECT_NE(std::string::npos, json.find("\"width\": 512, \"height\": 512")) << json;
    EXPECT_NE(std::string::npos, json.find("\"verified\": true, \"eyes\": [[")) << json;
    EXPECT_EQ(1, std::count(json.begin(), json.end(), '\n')) << "one line for the readable file";
    auto err = testing_support::ReadBytes(dir.File("err.txt"));
    EXPECT_NE(std::string::npos, std::string(err.begin(), err.end()).find("bad.jpg"));
}

// Saving over a BMP writes JPEG data under the BMP name; the tool reads it as
// the program does, with the JPEG's own width.
TEST(DetectTool, ReadsJpegDataSavedUnderABmpName) {
    testing_support::TempDir dir;
    auto photo = testing_support::ReadBytes(std::string(LUMETRA_SOURCE_DIR) + "/samples/astronaut_single.jpg");
    testing_support::WriteBytes(dir.File("saved.bmp"), photo);
    std::string tool = std::string(LUMETRA_BINARY_DIR) + "/tools/lumetra-detect/lumetra-detect";
    int status = system((tool + " '" + dir.File("saved.bmp") + "' > '" + dir.File("out.json") + "'").c_str());
    EXPECT_EQ(0, status);
    auto out = testing_support::ReadBytes(dir.File("out.json"));
    std::string json(out.begin(), out.end());
    EXPECT_NE(std::string::npos, json.find("\"width\": 512, \"height\": 512, \"orientation\": 1, \"faces\": [{"))
        << json;
}

// Width and height from a PNG file's header.
std::pair<int, int> PngSize(const std::vector<unsigned char>& png) {
    if (png.size() < 24 || png[1] != 'P' || png[2] != 'N' || png[3] != 'G') return {-1, -1};
    auto word = [&](int at) { return (png[at] << 24) | (png[at + 1] << 16) | (png[at + 2] << 8) | png[at + 3]; };
    return {word(16), word(20)};
}

TEST(DetectTool, WritesTheSubjectMaskOfTheReducedCopyPerFile) {
    testing_support::TempDir dir;
    std::string tool = std::string(LUMETRA_BINARY_DIR) + "/tools/lumetra-detect/lumetra-detect";
    std::string samples = std::string(LUMETRA_SOURCE_DIR) + "/samples/";
    std::string cmd = tool + " --mask '" + dir.File("m.png") + "' '" + samples + "astronaut_single.jpg' '" + samples +
                      "coco_349860_skater_distant.jpg' > '" + dir.File("out.json") + "'";
    ASSERT_EQ(0, system(cmd.c_str()));
    auto out = testing_support::ReadBytes(dir.File("out.json"));
    std::string json(out.begin(), out.end());
    EXPECT_NE(std::string::npos, json.find("m-astronaut_single.png\", \"subject\": 0}")) << json;
    EXPECT_NE(std::string::npos, json.find("m-coco_349860_skater_distant.png\", \"subject\": 168}")) << json;
    EXPECT_EQ(std::make_pair(256, 256), PngSize(testing_support::ReadBytes(dir.File("m-astronaut_single.png"))));
    EXPECT_EQ(std::make_pair(320, 213),
              PngSize(testing_support::ReadBytes(dir.File("m-coco_349860_skater_distant.png"))));

    // Two pictures of one name in different folders would share a mask file.
    std::filesystem::create_directory(dir.File("other"));
    std::filesystem::copy_file(samples + "astronaut_single.jpg", dir.File("other/astronaut_single.jpg"));
    cmd = tool + " --mask '" + dir.File("x.png") + "' '" + samples + "astronaut_single.jpg' '" +
          dir.File("other/astronaut_single.jpg") + "' > /dev/null 2> '" + dir.File("clash.txt") + "'";
    EXPECT_NE(0, system(cmd.c_str()));
    auto clash = testing_support::ReadBytes(dir.File("clash.txt"));
    EXPECT_NE(std::string::npos, std::string(clash.begin(), clash.end()).find("would both write")) << "named";
    EXPECT_FALSE(std::filesystem::exists(dir.File("x-astronaut_single.png"))) << "refused before any work";

    // One picture: the name is used as given.
    cmd = tool + " --mask '" + dir.File("one.png") + "' '" + samples + "grace_hopper_single.jpg' > /dev/null";
    ASSERT_EQ(0, system(cmd.c_str()));
    EXPECT_EQ(std::make_pair(256, 300), PngSize(testing_support::ReadBytes(dir.File("one.png"))));
}

}  // namespace
