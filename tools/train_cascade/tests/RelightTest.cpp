// Changes of light and glasses laid over training faces.
#include <gtest/gtest.h>

#include <vector>

#include "tools/train_cascade/Relight.h"

using namespace train;

namespace {

struct Picture {
    int w, h;
    std::vector<uint8_t> pixels;
    Picture(int width, int height, uint8_t value) : w(width), h(height), pixels(size_t(width) * height, value) {}
    uint8_t at(int x, int y) const { return pixels[size_t(y) * w + x]; }
};

// An upright face 40 pixels between the eyes in a 120 x 140 picture.
const EyePair kUpright{40, 50, 80, 50};

}  // namespace

TEST(RelightTest, ShareZeroChangesNothingAndDrawsAsMuchAsAChange) {
    std::mt19937 a(4), b(4);
    Relighting none = DrawRelighting(a, 0.0);
    Relighting some = DrawRelighting(b, 1.0);
    EXPECT_EQ(none.kind, Relighting::kNone);
    EXPECT_NE(some.kind, Relighting::kNone);
    EXPECT_EQ(a(), b()) << "what follows must not depend on the change drawn";

    Picture p(120, 140, 90);
    Relight(p.pixels.data(), p.w, p.h, kUpright, none);
    EXPECT_EQ(p.pixels, std::vector<uint8_t>(p.pixels.size(), 90));
}

TEST(RelightTest, DrawsEveryKindAtAboutTheSameRate) {
    std::mt19937 rng(9);
    int counts[5] = {};
    for (int i = 0; i < 4000; ++i) counts[DrawRelighting(rng, 0.5).kind]++;
    EXPECT_NEAR(counts[Relighting::kNone], 2000, 150);
    for (int k = 1; k < 5; ++k) EXPECT_NEAR(counts[k], 500, 90) << k;
}

TEST(RelightTest, UpperShadeDarkensTheEyesButNotTheChin) {
    Relighting shade;
    shade.kind = Relighting::kUpperShade;
    shade.dim = 0.5;
    shade.angle = 0;
    shade.position = 0.5;  // the edge half an eye distance below the eyes
    shade.softness = 0.1;
    Picture p(120, 140, 200);
    Relight(p.pixels.data(), p.w, p.h, kUpright, shade);
    EXPECT_EQ(p.at(40, 50), 100) << "left eye";
    EXPECT_EQ(p.at(80, 50), 100) << "right eye";
    EXPECT_EQ(p.at(60, 10), 100) << "forehead";
    EXPECT_EQ(p.at(60, 110), 200) << "chin";
}

TEST(RelightTest, UpperShadeFollowsARolledFace) {
    // The eye line runs up the picture (the face lies on its side, its top to the
    // left): the shade covers the left part.
    Relighting shade;
    shade.kind = Relighting::kUpperShade;
    shade.dim = 0.5;
    shade.position = 0;
    shade.softness = 0.1;
    Picture p(120, 120, 200);
    Relight(p.pixels.data(), p.w, p.h, EyePair{60, 80, 60, 40}, shade);
    EXPECT_EQ(p.at(20, 60), 100) << "above the face";
    EXPECT_EQ(p.at(100, 60), 200) << "below the face";
}

TEST(RelightTest, SideLightDarkensOneSideOnly) {
    Relighting side;
    side.kind = Relighting::kSideLight;
    side.dim = 0.25;
    side.angle = 0;  // towards the image-right eye
    side.position = 0;
    side.softness = 0.5;
    Picture p(120, 140, 160);
    Relight(p.pixels.data(), p.w, p.h, kUpright, side);
    EXPECT_EQ(p.at(110, 50), 40) << "far right";
    EXPECT_EQ(p.at(10, 50), 160) << "far left";
    EXPECT_LT(p.at(62, 50), 160);
    EXPECT_GT(p.at(62, 50), 40);
}

TEST(RelightTest, GlassesFrameTheEyesAndLeaveThemVisible) {
    Relighting glasses;
    glasses.kind = Relighting::kGlasses;
    glasses.rimX = 0.4;
    glasses.rimY = 0.3;
    glasses.frameWidth = 0.1;
    glasses.frame = 20;
    glasses.lens = 1;
    Picture p(120, 140, 180);
    Relight(p.pixels.data(), p.w, p.h, kUpright, glasses);
    EXPECT_EQ(p.at(40, 50), 180) << "left eye behind a clear lens";
    EXPECT_EQ(p.at(80, 50), 180) << "right eye";
    EXPECT_EQ(p.at(40 - 16, 50), 20) << "outer rim, 0.4 eye distances beside the left eye";
    EXPECT_EQ(p.at(80 + 15, 50), 20) << "outer rim of the right eye";
    EXPECT_EQ(p.at(40, 50 - 12), 20) << "upper rim";
    EXPECT_EQ(p.at(60, 110), 180) << "chin";

    // Dark lenses darken the eyes too.
    glasses.lens = 0.5;
    Picture q(120, 140, 180);
    Relight(q.pixels.data(), q.w, q.h, kUpright, glasses);
    EXPECT_EQ(q.at(40, 50), 90);
    EXPECT_EQ(q.at(60, 110), 180);
}

TEST(RelightTest, ExposureKeepsTheOrderOfGreyLevels) {
    Relighting exposure;
    exposure.kind = Relighting::kExposure;
    exposure.gamma = 0.5;
    exposure.gain = 0.4;
    exposure.offset = 0.1;
    Picture p(256, 1, 0);
    for (int v = 0; v < 256; ++v) p.pixels[v] = static_cast<uint8_t>(v);
    Relight(p.pixels.data(), p.w, p.h, kUpright, exposure);
    EXPECT_EQ(p.at(0, 0), 26);     // the offset lifts black
    EXPECT_EQ(p.at(255, 0), 128);  // the gain dims white
    for (int v = 1; v < 256; ++v) EXPECT_GE(p.at(v, 0), p.at(v - 1, 0)) << v;
}
