// Cutting training windows the way the runtime sees them, and the data split.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <set>

#include "subject/FaceDetector.h"
#include "tools/train_cascade/CascadeFiles.h"
#include "tools/train_cascade/Dataset.h"
#include "tools/train_cascade/EyeTraining.h"
#include "tools/train_cascade/FaceTraining.h"
#include "tools/train_cascade/Validate.h"

using namespace train;

namespace {

Grey Flat(int w, int h, uint8_t value) {
    Grey g;
    g.width = w;
    g.height = h;
    g.pixels.assign(static_cast<size_t>(w) * h, value);
    return g;
}

void FillRect(Grey* g, int x0, int y0, int x1, int y1, uint8_t value) {
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) g->pixels[static_cast<size_t>(y) * g->width + x] = value;
}

// A flat face picture with the eyes level at height y.
FacePicture MakeFace(int w, int h, double leftX, double rightX, double y) {
    FacePicture face;
    face.grey = Flat(w, h, 40);
    face.leftX = leftX;
    face.rightX = rightX;
    face.leftY = face.rightY = y;
    return face;
}

}  // namespace

TEST(PictureTest, MirrorPadReflectsTheBorderAndFlipSwapsColumns) {
    Grey g = Flat(3, 2, 0);
    for (int i = 0; i < 6; ++i) g.pixels[i] = static_cast<uint8_t>(10 * i);
    Grey p = MirrorPad(g, 2);
    ASSERT_EQ(p.width, 7);
    ASSERT_EQ(p.height, 6);
    EXPECT_EQ(p.at(2, 2), g.at(0, 0));
    EXPECT_EQ(p.at(1, 2), g.at(0, 0));  // pixel -1 repeats pixel 0
    EXPECT_EQ(p.at(0, 2), g.at(1, 0));
    EXPECT_EQ(p.at(6, 5), g.at(1, 0));  // (4, 3) -> (1, 0) after two reflections
    EXPECT_EQ(p.at(5, 0), g.at(2, 1));
    // Flipping swaps the columns, and twice restores the picture.
    Grey f = FlipHorizontal(g);
    EXPECT_EQ(f.at(0, 1), g.at(2, 1));
    EXPECT_EQ(FlipHorizontal(f).pixels, g.pixels);
}

TEST(DataSplitTest, KeepsAllPhotosOfOnePersonTogetherAcrossFolders) {
    FaceRecord a{"lfw150/Jane_Q_Doe_0001.jpg", "lfw_deepfunneled_150", 0, 0, 0, 0, ""};
    FaceRecord b{"lfwtight/Jane_Q_Doe_0017.jpg", "lfw_tight_crops", 0, 0, 0, 0, ""};
    EXPECT_EQ(SplitKey(a), SplitKey(b));
    FaceRecord u{"utk/25_0_1_2017.jpg", "utkface_aligned", 0, 0, 0, 0, ""};
    EXPECT_EQ(SplitKey(u), "25_0_1_2017.jpg");
}

TEST(DataSplitTest, NamesTheOriginalPhotoOfEachCrop) {
    // 300-W stores a copy of the photo for each face, numbered after an underscore;
    // anything else (MTFL's own numbers, a non-number, an underscore in a folder) stays.
    const struct {
        const char *source, *path, *photo;
    } cases[] = {
        {"300w_afw", "afw/afw/1648807314_1.jpg", "afw/afw/1648807314.jpg"},
        {"300w_helen", "helen/trainset/100040721_2.jpg", "helen/trainset/100040721.jpg"},
        {"300w_helen", "helen/trainset/100040721_2b.jpg", "helen/trainset/100040721_2b.jpg"},
        {"300w_afw", "afw_x/1648807314.jpg", "afw_x/1648807314.jpg"},
        {"mtfl_cuhk_net", "MTFL/net_7876/_-20_1071_1.jpg", "MTFL/net_7876/_-20_1071_1.jpg"},
        {"mtfl_aflw", "MTFL/AFLW/0001-image20056.jpg", "MTFL/AFLW/0001-image20056.jpg"},
    };
    for (const auto& c : cases) EXPECT_EQ(OriginalPhoto(c.source, c.path), c.photo) << c.path;
}

TEST(DataSplitTest, ReadsTheWildFacesWithTheirPhotos) {
    std::string dir = ::testing::TempDir() + "/wild_split_data";
    std::filesystem::create_directories(dir + "/face_train");
    const std::string header = "file\tleft_eye_x\tleft_eye_y\tright_eye_x\tright_eye_y\tsource\n";
    std::ofstream(dir + "/face_train/faces.tsv")
        << header << "utk/1_0_0_x.jpg\t60.0\t80.0\t140.0\t80.0\tutkface_aligned\n";
    std::ofstream(dir + "/face_train/faces_wild.tsv")
        << header << "w300afw/77_1.jpg\t50.0\t60.0\t110.0\t62.5\t300w_afw\n"
        << "w300afw/77_2.jpg\t150.0\t60.0\t210.0\t61.0\t300w_afw\n"
        << "mtflaflw/0001-image5.jpg\t55.0\t70.0\t95.0\t70.0\tmtfl_aflw\n";
    std::ofstream(dir + "/face_train/faces_wild_manifest.tsv")
        << "file\toriginal_path\tcrop_x,y,w,h_in_original\tscale\tattributes\n"
        << "w300afw/77_1.jpg\tafw/afw/77_1.jpg\t0,0,300,300\t1\t\n"
        << "w300afw/77_2.jpg\tafw/afw/77_2.jpg\t100,0,300,300\t1\t\n"
        << "mtflaflw/0001-image5.jpg\tMTFL/AFLW/0001-image5.jpg\t0,0,150,150\t1\tglasses=no\n";
    std::vector<FaceRecord> faces;
    ASSERT_TRUE(ReadAllFaces(dir, &faces));
    ASSERT_EQ(faces.size(), 4u);
    EXPECT_FALSE(IsWildSource(faces[0].source));
    EXPECT_EQ(SplitKey(faces[0]), "1_0_0_x.jpg");
    EXPECT_TRUE(IsWildSource(faces[1].source));
    EXPECT_DOUBLE_EQ(faces[1].rightY, 62.5);
    EXPECT_EQ(SplitKey(faces[1]), SplitKey(faces[2]));
    EXPECT_NE(SplitKey(faces[1]), SplitKey(faces[3]));
    EXPECT_EQ(faces[3].photo, "MTFL/AFLW/0001-image5.jpg");

    // Without the manifest the photos are unknown: the wild faces are not read.
    std::filesystem::remove(dir + "/face_train/faces_wild_manifest.tsv");
    std::vector<FaceRecord> again;
    EXPECT_FALSE(ReadAllFaces(dir, &again));
}

TEST(DataSplitTest, PadsOnlyTheTightCrops) {
    // mtfl_aflw counts: the face fills most of the 150 x 150 picture.
    for (const char* source : {"lfw_tight_crops", "utkface_aligned", "rmfd_unmasked", "mtfl_aflw"})
        EXPECT_TRUE(IsTightCrop(FaceRecord{"x.jpg", source, 0, 0, 0, 0, ""})) << source;
    for (const char* source : {"lfw_deepfunneled_150", "mtfl_cuhk_net", "300w_afw", "300w_helen"})
        EXPECT_FALSE(IsTightCrop(FaceRecord{"x.jpg", source, 0, 0, 0, 0, ""})) << source;
}

TEST(DataSplitTest, HoldsOutAboutATenthOfFacesAndAFifthOfPhotos) {
    int faces = 0, wild = 0, photos = 0;
    const int n = 4000;
    for (int i = 0; i < n; ++i) {
        std::string k = std::to_string(i), photo = "helen/trainset/" + std::to_string(100000 + 37 * i) + ".jpg";
        faces += FaceHeldOut(FaceRecord{"utk/" + k + "_1_0_x.jpg", "utkface_aligned", 0, 0, 0, 0, ""});
        wild += FaceHeldOut(FaceRecord{"w300helen/x_1.jpg", "300w_helen", 0, 0, 0, 0, photo});
        photos += NonFaceHeldOut("dtd/banded_" + k + ".jpg");
    }
    EXPECT_NEAR(faces / double(n), 0.10, 0.02);
    EXPECT_NEAR(wild / double(n), 0.10, 0.02);
    EXPECT_NEAR(photos / double(n), 0.20, 0.03);
}

TEST(FaceWindowTest, PutsTheEyeMidpointAtTheWindowsAnchor) {
    // Eyes 110 pixels apart reduce to the window's 11 when the picture shrinks ten
    // times; a bright 10 x 10 block just right of and below the eye midpoint becomes
    // copy pixel (11, 8), where the window anchors that midpoint.
    FacePicture face = MakeFace(220, 240, 55, 165, 80);
    FillRect(&face.grey, 110, 80, 120, 90, 200);
    FaceCutOptions exact{1.0, 0.0};
    std::mt19937 rng(3);
    Samples s;
    s.dim = kFacePositions;
    CutFaceWindows(face, 1, exact, rng, &s);
    ASSERT_EQ(s.size(), 1u);
    const int centre = (8 - 1) * kFaceGridWidth + (11 - 1);
    EXPECT_EQ(s.sample(0)[centre], 16);  // only the centre is brighter than the mean
    int marked = 0;
    for (int p = 0; p < kFacePositions; ++p) marked += s.sample(0)[p] != 0 ? 1 : 0;
    EXPECT_EQ(marked, 9);

    // In the mirror image the block lies left of the midpoint.
    Samples m;
    m.dim = kFacePositions;
    CutFaceWindows(MirrorFace(face), 1, exact, rng, &m);
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(m.sample(0)[centre - 1], 16);
}

TEST(FaceWindowTest, JitteredWindowsStayNearTheAnchor) {
    FacePicture face = MakeFace(400, 400, 150, 250, 150);
    FillRect(&face.grey, 193, 143, 207, 157, 220);  // marks the eye midpoint
    std::mt19937 rng(11);
    Samples s;
    s.dim = kFacePositions;
    CutFaceWindows(face, 50, FaceCutOptions{}, rng, &s);
    ASSERT_EQ(s.size(), 50u);
    for (size_t i = 0; i < s.size(); ++i) {
        // Every copy pixel of the mark (its own census bit set) stays within two
        // pixels of the anchor.
        int marked = 0;
        for (int p = 0; p < kFacePositions; ++p) {
            if (!(s.sample(i)[p] & 16)) continue;
            ++marked;
            int x = p % kFaceGridWidth + 1, y = p / kFaceGridWidth + 1;
            EXPECT_LE(std::abs(x - 11), 2) << i;
            EXPECT_LE(std::abs(y - 8), 2) << i;
        }
        EXPECT_GE(marked, 1) << i;
    }
}

TEST(FaceCopyTest, FollowsTheDetectorsCopySizes) {
    // {picture width, height, copy side, copy width, height}: the longer side gets the side.
    for (auto c : {std::array<int, 5>{640, 480, 36, 36, 27}, {480, 640, 220, 165, 220}, {300, 300, 60, 60, 60}}) {
        int w, h;
        FaceCopySize(c[0], c[1], c[2], &w, &h);
        EXPECT_EQ(w, c[3]) << c[0] << "x" << c[1] << " side " << c[2];
        EXPECT_EQ(h, c[4]) << c[0] << "x" << c[1] << " side " << c[2];
    }
    std::vector<int> sides = CopySides(24, 800, 1.08);
    for (int s : FaceScales) EXPECT_NE(std::find(sides.begin(), sides.end(), s), sides.end()) << s;
    for (size_t i = 1; i < sides.size(); ++i) {
        EXPECT_GT(sides[i], sides[i - 1]);
        EXPECT_LE(sides[i], sides[i - 1] * 1.08 + 1);
    }
    EXPECT_EQ(sides.front(), 24);
    EXPECT_LE(sides.back(), 800);
}

TEST(EyeQuarterTest, BoxesSurroundTheEyesLikeDetectorBoxes) {
    std::mt19937 rng(5);
    BoxJitter jitter{1.1, 1.0 / 16, 1.0 / 10};
    for (int i = 0; i < 200; ++i) {
        Box b = JitteredFaceBox(100, 120, 144, 120, jitter, rng);
        double w = b.x1 - b.x0, h = b.y1 - b.y0;
        EXPECT_NEAR(w, 88, 88 * 0.1 + 1);
        EXPECT_NEAR(h / w, 24.0 / 22.0, 0.03);
        // The eye midpoint sits at (1/2, 1/3) of the box, give or take the shifts.
        EXPECT_NEAR((122 - b.x0) / w, 0.5, 1.0 / 16 + 0.02);
        EXPECT_NEAR((120 - b.y0) / h, 1.0 / 3, 1.0 / 10 + 0.02);
    }
    // Without jitter the box is the detector's window scaled to the eye distance.
    Box exact = JitteredFaceBox(100, 120, 144, 120, BoxJitter{1.0, 0.0, 0.0}, rng);
    EXPECT_EQ(exact.x0, 78);
    EXPECT_EQ(exact.y0, 88);
    EXPECT_EQ(exact.x1, 166);
    EXPECT_EQ(exact.y1, 184);
}

TEST(EyeQuarterTest, MirroredRightQuarterMatchesTheLeftOneOfASymmetricFace) {
    Grey g = Flat(200, 200, 60);
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 100; ++x) {
            uint8_t v = static_cast<uint8_t>((x * 7 + y * 3) % 256);
            g.pixels[y * 200 + x] = g.pixels[y * 200 + 199 - x] = v;
        }
    double eyes[4] = {78, 90, 122, 90};  // symmetric about x = 100
    std::vector<EyeQuarter> q;
    ASSERT_TRUE(MakeEyeQuarters(g, Box{56, 58, 144, 154}, eyes, &q));
    ASSERT_EQ(q.size(), 2u);
    ASSERT_EQ(q[0].size(), 5u);  // widths 35, 32, 29, 26, 23
    ASSERT_EQ(q[0].size(), q[1].size());
    for (size_t k = 0; k < q[0].size(); ++k) {
        EXPECT_EQ(q[0][k].width, 35 - 3 * static_cast<int>(k));
        EXPECT_EQ(q[0][k].codes, q[1][k].codes) << k;
        EXPECT_DOUBLE_EQ(q[0][k].eyeX, q[1][k].eyeX);
        EXPECT_DOUBLE_EQ(q[0][k].eyeY, q[1][k].eyeY);
        // The eye is 22 of 44 quarter pixels across and 32 of 48 down.
        EXPECT_NEAR(q[0][k].eyeX / q[0][k].width, 0.5, 0.03);
        EXPECT_NEAR(q[0][k].eyeY / q[0][k].height, 32.0 / 48, 0.03);
    }
}

TEST(EyeQuarterTest, RefusesBoxesReachingPastThePicture) {
    Grey g = Flat(100, 100, 60);
    std::vector<EyeQuarter> q;
    EXPECT_FALSE(MakeEyeQuarters(g, Box{60, 10, 101, 55}, nullptr, &q));
    EXPECT_FALSE(MakeEyeQuarters(g, Box{10, 60, 54, 108}, nullptr, &q));
    EXPECT_TRUE(q.empty());
    EXPECT_TRUE(MakeEyeQuarters(g, Box{56, 52, 100, 100}, nullptr, &q));
    EXPECT_EQ(q.size(), 2u);
    EXPECT_LT(q[0][0].eyeX, 0);
}

// A copy whose code at each pixel tells the pixel, so that a gathered window
// tells where it was cut: its first position is (x + 1, y + 1).
EyeCopy PositionCodedCopy(int width, int height, double eyeX, double eyeY) {
    EyeCopy c;
    c.width = width;
    c.height = height;
    c.eyeX = eyeX;
    c.eyeY = eyeY;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) c.codes.push_back(static_cast<uint16_t>(y * 64 + x));
    return c;
}

TEST(EyeQuarterTest, WindowDistanceIsMeasuredFromTheWindowCentre) {
    EyeCopy c = PositionCodedCopy(35, 38, 17.5, 20.5);
    EXPECT_DOUBLE_EQ(EyeWindowDistance(c, 10, 13), 0.0);
    EXPECT_DOUBLE_EQ(EyeWindowDistance(c, 13, 17), 5.0);
}

TEST(EyeWindowTest, PositivesLieWithinTheShiftOfTheEye) {
    EyeCopy c = PositionCodedCopy(35, 38, 17.3, 20.6);
    for (int shift : {0, 1, 2}) {
        std::mt19937 rng(3);
        std::set<std::pair<int, int>> seen;
        for (int i = 0; i < 300; ++i) {
            int x, y;
            NearEyeWindow(c, shift, rng, &x, &y);
            EXPECT_LE(std::abs(x + 7.5 - c.eyeX), shift + 0.5);
            EXPECT_LE(std::abs(y + 7.5 - c.eyeY), shift + 0.5);
            seen.insert({x, y});
        }
        EXPECT_EQ(seen.size(), static_cast<size_t>((2 * shift + 1) * (2 * shift + 1))) << "every offset is drawn";
    }
    // Near the copy's edge the window stays inside it.
    EyeCopy edge = PositionCodedCopy(23, 25, 3.0, 24.0);
    std::mt19937 rng(4);
    for (int i = 0; i < 50; ++i) {
        int x, y;
        NearEyeWindow(edge, 2, rng, &x, &y);
        EXPECT_TRUE(x >= 0 && y >= 0 && x + 15 <= edge.width && y + 15 <= edge.height);
    }
}

TEST(EyeWindowTest, BrowWindowsLieAboveTheEyeAndAwayFromIt) {
    // Eyes low enough in the copies for the brow windows to fit above them.
    for (const EyeCopy& c : {PositionCodedCopy(35, 50, 17.5, 38.0), PositionCodedCopy(23, 33, 11.5, 25.0)}) {
        for (double sideways : {0.0, 0.3}) {
            std::vector<EyeQuarter> quarters(60, EyeQuarter{c});
            quarters.push_back(EyeQuarter{PositionCodedCopy(35, 50, -1, -1)});     // no eye: nothing cut
            quarters.push_back(EyeQuarter{PositionCodedCopy(35, 38, 17.5, 9.0)});  // no room above the eye
            Samples brows = BrowNegatives(quarters, sideways, 6.0, "brows", 9);
            ASSERT_GT(brows.size(), 30u);
            EXPECT_LE(brows.size(), 60u);
            double spread = 0;
            for (size_t i = 0; i < brows.size(); ++i) {
                const uint16_t first = brows.codes[i * kEyePositions];
                const double up = c.eyeY - (first / 64 - 1 + 7.5), side = first % 64 - 1 + 7.5 - c.eyeX;
                EXPECT_GE(up, 0.25 * c.width - 0.5);
                EXPECT_LE(up, 0.7 * c.width + 0.5);
                EXPECT_LE(std::abs(side), sideways * c.width + 1.5);
                EXPECT_GT(std::hypot(up, side), 6.0);
                spread = std::max(spread, std::abs(side));
            }
            // Beyond a pixel either way, as far as the copy lets them go.
            if (sideways > 0) {
                EXPECT_GE(spread, 3.5) << "the windows spread along the brow";
            }
        }
    }
}

TEST(ValidationRuleTest, BothEyesMustLieWithinTheTolerance) {
    // True eyes 40 apart: the limit is 14 pixels at 0.35.
    EXPECT_TRUE(EyesMatch(110, 100, 150, 100, 100, 100, 140, 100, 0.35));
    EXPECT_FALSE(EyesMatch(115, 100, 140, 100, 100, 100, 140, 100, 0.35));
    EXPECT_FALSE(EyesMatch(100, 100, 140, 115, 100, 100, 140, 100, 0.35));
    EXPECT_TRUE(EyesMatch(100, 100, 140, 115, 100, 100, 140, 100, 0.4));
}

TEST(NegativeWindowTest, WindowsAreRepeatableWhateverTheThreadsAndBootstrapScansEveryWindow) {
    std::vector<Grey> pictures = {Flat(60, 50, 0), Flat(50, 70, 0), Flat(90, 90, 0)};
    std::mt19937 rng(17);
    for (Grey& g : pictures)
        for (uint8_t& p : g.pixels) p = static_cast<uint8_t>(rng() % 256);
    const std::vector<int> sides = CopySides(24, 90, 1.2);
    Samples random = RandomFaceNegatives(pictures, sides, 40, 5, 1);
    EXPECT_EQ(random.size(), 40u);
    EXPECT_EQ(random.codes, RandomFaceNegatives(pictures, sides, 40, 5, 2).codes);
    EXPECT_NE(random.codes, RandomFaceNegatives(pictures, sides, 40, 6, 1).codes);

    // A first stage that every window passes: zero tables, threshold 0.
    const std::vector<IntStage> all = {IntStage{
        {(kFaceFirstY[0] - 1) * kFaceGridWidth + kFaceFirstX[0] - 1}, std::vector<std::array<int, kCodes>>(1), 0}};
    BootstrapResult one = BootstrapFaceNegatives(pictures, all, sides, 100, 3, 1, 4);
    BootstrapResult two = BootstrapFaceNegatives(pictures, all, sides, 100, 3, 2, 4);
    uint64_t expected = 0, oddRows = 0;
    for (const Grey& g : pictures)
        for (int s : sides) {
            if (s > std::max(g.width, g.height)) continue;
            int w, h;
            FaceCopySize(g.width, g.height, s, &w, &h);
            if (w >= 23 && h >= 25) expected += 2 * static_cast<uint64_t>((h - 25) / 2 + 1) * (w - 22);
            if (w >= 23 && h >= 26) oddRows += 2 * static_cast<uint64_t>((h - 26) / 2 + 1) * (w - 22);
        }
    EXPECT_GT(expected, 100u);
    EXPECT_EQ(one.scanned, expected);
    EXPECT_EQ(one.passed, expected);
    // Asked for, the windows with their tops on odd rows come on top.
    BootstrapResult both = BootstrapFaceNegatives(pictures, all, sides, 100, 3, 1, 0, true);
    EXPECT_EQ(both.scanned, expected + oddRows);
    EXPECT_EQ(both.passed, expected + oddRows);
    EXPECT_EQ(one.windows.size(), 100u);
    EXPECT_EQ(one.windows.codes, two.windows.codes);
    ASSERT_EQ(one.boxes.size(), pictures.size());
    for (size_t i = 0; i < pictures.size(); ++i) {
        EXPECT_EQ(one.boxes[i].size(), 4u);
        for (const FaceBoxHit& b : one.boxes[i]) {
            EXPECT_GE(b.x0, 0);
            EXPECT_LE(b.x1, pictures[i].width);
            EXPECT_LE(b.y1, pictures[i].height);
        }
    }
}
