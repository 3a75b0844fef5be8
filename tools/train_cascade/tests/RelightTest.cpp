// Changes of light and glasses laid over training faces.
#include <gtest/gtest.h>

#include <vector>

#include "tools/train_cascade/Relight.h"

using namespace train;

namespace {

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

    std::vector<uint8_t> p(120 * 140, 90);
    Relight(p.data(), 120, 140, kUpright, none);
    EXPECT_EQ(p, std::vector<uint8_t>(p.size(), 90));
}

TEST(RelightTest, DrawsEveryKindAtAboutTheSameRate) {
    std::mt19937 rng(9);
    int counts[5] = {};
    for (int i = 0; i < 4000; ++i) counts[DrawRelighting(rng, 0.5).kind]++;
    EXPECT_NEAR(counts[Relighting::kNone], 2000, 150);
    for (int k = 1; k < 5; ++k) EXPECT_NEAR(counts[k], 500, 90) << k;
}

// Each change laid over an even grey face of 200: the grey at (x, y) must lie
// in [lo, hi].
TEST(RelightTest, ShadesSideLightAndGlassesChangeOnlyTheirPartOfTheFace) {
    using enum Relighting::Kind;
    // The edge half an eye distance below the eyes, or through them.
    const Relighting shade{.kind = kUpperShade, .dim = 0.5, .position = 0.5, .softness = 0.1};
    const Relighting rolledShade{.kind = kUpperShade, .dim = 0.5, .softness = 0.1};
    const Relighting side{.kind = kSideLight, .dim = 0.25, .softness = 0.5};  // towards the image-right eye
    // Rims 0.4 eye distances beside the eyes and 0.3 above them.
    const Relighting glasses{.kind = kGlasses, .rimX = 0.4, .rimY = 0.3, .frameWidth = 0.1, .frame = 20};
    Relighting dark = glasses;
    dark.lens = 0.5;
    struct Probe {
        int x, y, lo, hi;
    };
    const struct {
        const char* what;
        Relighting change;
        std::vector<Probe> probes;
        EyePair eyes = kUpright;
    } cases[] = {
        {"shade: eyes and forehead", shade, {{40, 50, 100, 100}, {80, 50, 100, 100}, {60, 10, 100, 100}}},
        {"shade: not the chin", shade, {{60, 110, 200, 200}}},
        // The face on its side, its top to the left.
        {"shade on a rolled face", rolledShade, {{20, 60, 100, 100}, {100, 60, 200, 200}}, EyePair{60, 80, 60, 40}},
        {"side light: one side, a soft edge", side, {{110, 50, 50, 50}, {10, 50, 200, 200}, {62, 50, 51, 199}}},
        {"glasses: clear lenses, not the chin", glasses, {{40, 50, 200, 200}, {80, 50, 200, 200}, {60, 110, 200, 200}}},
        {"glasses: outer and upper rims", glasses, {{24, 50, 20, 20}, {95, 50, 20, 20}, {40, 38, 20, 20}}},
        {"dark glasses", dark, {{40, 50, 100, 100}, {60, 110, 200, 200}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> p(120 * 140, 200);
        Relight(p.data(), 120, 140, c.eyes, c.change);
        for (const Probe& at : c.probes) {
            SCOPED_TRACE(testing::Message() << "at " << at.x << "," << at.y);
            EXPECT_GE(p[at.y * 120 + at.x], at.lo);
            EXPECT_LE(p[at.y * 120 + at.x], at.hi);
        }
    }
}

TEST(RelightTest, ExposureKeepsTheOrderOfGreyLevels) {
    std::vector<uint8_t> p(256);
    for (int v = 0; v < 256; ++v) p[v] = static_cast<uint8_t>(v);
    Relight(p.data(), 256, 1, kUpright, {.kind = Relighting::kExposure, .gamma = 0.5, .gain = 0.4, .offset = 0.1});
    EXPECT_EQ(p[0], 26);     // the offset lifts black
    EXPECT_EQ(p[255], 128);  // the gain dims white
    for (int v = 1; v < 256; ++v) EXPECT_GE(p[v], p[v - 1]) << v;
}
