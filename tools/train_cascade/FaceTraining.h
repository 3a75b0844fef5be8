// Cutting face windows and non-face windows exactly as the detector sees them, and
// training the four face stages with negatives bootstrapped by the detector's own
// window scan.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/train_cascade/Boost.h"
#include "tools/train_cascade/Common.h"
#include "tools/train_cascade/Dataset.h"

namespace train {

// A face picture ready for cutting: tight crops already have their mirrored
// border, and the eye centres are in the padded picture's pixels.
struct FacePicture {
    Grey grey;
    double leftX, leftY, rightX, rightY;
};

bool LoadFacePicture(const std::string& dataDir, const FaceRecord& record, FacePicture* out);
// The same face mirrored left to right (the eyes swap sides).
FacePicture MirrorFace(const FacePicture& face);

// Where the detector's window puts a face: the eye midpoint at (11, 8) and the eyes
// 11 pixels apart in the 22 x 24 window.
constexpr double kFaceEyeDistance = 11.0;
constexpr double kFaceMidX = 11.0;
constexpr double kFaceMidY = 8.0;

struct FaceCutOptions {
    double scaleJitter = 1.4;   // eye distance 11 x [1/j, j], log-uniform
    double shiftJitter = 1.0;   // window offset, pixels of the copy, each axis
    double rollJitter = 0.0;    // in-plane rotation about the eye midpoint, degrees either way
    double relightShare = 0.0;  // share of windows given a change of light or glasses (see Relight.h)
};

// The picture turned by `degrees` (clockwise on screen) about (cx, cy), bilinear,
// edge pixels repeated outside.
Grey RotateAbout(const Grey& g, double cx, double cy, double degrees);

// Adds up to `count` jittered windows of the face: the whole picture reduced with
// ResampleNearest, the window's pixels relit (a share of them), FaceCensus over the
// window, codes at the 440 positions.
void CutFaceWindows(const FacePicture& face, int count, const FaceCutOptions& options, std::mt19937& rng, Samples* out);

// The codes of the window at (x, y) of a census array `width` pixels wide.
void GatherFaceWindow(const uint16_t* codes, int width, int x, int y, uint16_t* sample);

// Random windows (tops on even rows, like the scan) from copies of the pictures
// and their mirror images at the given longer sides; about `target` in all.
Samples RandomFaceNegatives(const std::vector<Grey>& pictures, const std::vector<int>& sides, size_t target,
                            uint64_t seed, int threads);

struct FaceBoxHit {
    int x0, y0, x1, y1;  // picture pixels
};

struct BootstrapResult {
    Samples windows;
    uint64_t scanned = 0;                        // windows looked at
    uint64_t passed = 0;                         // windows that passed the stages
    std::vector<std::vector<FaceBoxHit>> boxes;  // per picture (not mirrored), when asked for
};

// Scans the pictures and their mirror images at the given longer sides with the
// stages trained so far (the detector's own scan) and keeps a deterministic
// sample of about `target` of the windows that pass. With `boxesPerPicture` > 0 it
// also keeps up to that many passing windows per picture as boxes in picture pixels.
// With `oddRowsToo` it also looks at the windows whose tops lie on odd rows, which
// the detector's scan meets at other scales; that doubles the pool.
BootstrapResult BootstrapFaceNegatives(const std::vector<Grey>& pictures, const std::vector<IntStage>& stages,
                                       const std::vector<int>& sides, size_t target, uint64_t seed, int threads,
                                       int boxesPerPicture = 0, bool oddRowsToo = false);

// Longer sides from `from` to `to`, each `step` times the previous (rounded,
// without repeats), merged with the detector's own scales.
std::vector<int> CopySides(int from, int to, double step);

struct FaceTrainingOptions {
    int threads = 2;
    uint64_t seed = 20240607;
    double stageTargets[4] = {0.997, 0.997, 0.997, 0.99};
    double negativeRatio = 1.0;      // negatives per positive
    double lastNegativeRatio = 1.0;  // the same for the last stage, whose negatives are the rarest
    // The last stage's negatives also from copies at 4 % steps and from windows on
    // odd rows: about four times the pool of the hardest windows.
    bool lastStageFine = false;
};

// Trains the four stages. Returns them in order.
std::vector<IntStage> TrainFaceCascade(const Samples& positives, const std::vector<Grey>& nonFaces,
                                       const FaceTrainingOptions& options);

}  // namespace train
