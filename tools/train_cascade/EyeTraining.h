// Eye windows exactly as the eye verifier presents them: the upper quarters of a
// face box (the right one mirrored), scaled to the verifier's widths, census-coded,
// and the three eye stages trained on them.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "tools/train_cascade/Boost.h"
#include "tools/train_cascade/Common.h"
#include "tools/train_cascade/Relight.h"

namespace train {

// One scaled copy of a quarter, with its census codes and, for face quarters, the
// eye centre in the copy's continuous coordinates (negative when there is no eye).
struct EyeCopy {
    int width = 0, height = 0;
    std::vector<uint16_t> codes;
    double eyeX = -1, eyeY = -1;
};

using EyeQuarter = std::vector<EyeCopy>;  // the copies of one quarter, widest first

struct Box {
    int x0, y0, x1, y1;  // x1, y1 exclusive
};

// Splits the box as the verifier does and appends its left quarter and mirrored
// right quarter. `eyes` (left x, left y, right x, right y in picture pixels) may be
// null for boxes without a face. False when the box does not lie inside the picture.
bool MakeEyeQuarters(const Grey& grey, const Box& box, const double* eyes, std::vector<EyeQuarter>* out);

// A box around the face as the detector reports it (the eyes at (5.5, 8) and
// (16.5, 8) of a 22 x 24 window), scaled by up to `jitter.scale` either way and
// moved by up to the given fractions of its size.
struct BoxJitter {
    double scale = 1.3;
    double shiftX = 1.0 / 12;
    double shiftY = 1.0 / 8;
};
Box JitteredFaceBox(double leftX, double leftY, double rightX, double rightY, const BoxJitter& jitter,
                    std::mt19937& rng);

// MakeEyeQuarters on a copy of the box's pixels with `change` applied to them
// (the eyes give the face's place and size); without a change the same as
// MakeEyeQuarters.
bool MakeRelitEyeQuarters(const Grey& grey, const Box& box, const double* eyes, const Relighting& change,
                          std::vector<EyeQuarter>* out);

// A random box of face proportions (22 x 24) whose width is log-uniform from 24
// up to the most the picture holds; false when it holds none.
bool RandomFaceShapedBox(const Grey& g, std::mt19937& rng, Box* box);

// The codes of the 15 x 15 window at (x, y) of a copy at the 169 positions.
void GatherEyeWindow(const EyeCopy& copy, int x, int y, uint16_t* sample);

// The window nearest the copy's eye, moved by up to `shift` pixels on each axis,
// kept inside the copy.
void NearEyeWindow(const EyeCopy& copy, int shift, std::mt19937& rng, int* x, int* y);

// One window per copy of a face quarter centred above the eye, where the brow
// and the upper lid lie: 0.25 to 0.7 of the copy's width (about an eye distance)
// higher, moved sideways by up to `sideways` of the width (0: a pixel), and
// further than `farFromEye` from the eye; none where the copy has no room.
Samples BrowNegatives(const std::vector<EyeQuarter>& quarters, double sideways, double farFromEye,
                      const std::string& key, uint64_t seed);

// Distance from the window's centre to the copy's eye.
double EyeWindowDistance(const EyeCopy& copy, int x, int y);

struct EyeTrainingOptions {
    int threads = 2;
    uint64_t seed = 20240611;
    double stageTargets[3] = {0.97, 0.97, 0.97};
    double negativeRatio = 1.0;
    double faceShare = 0.5;     // of the negatives, taken from face quarters
    double browShare = 0.0;     // of the negatives, windows just above the eye (taken first)
    double browSideways = 0.0;  // their sideways spread, a share of the copy's width (0: a pixel)
    int browFirstStage = 0;     // the first stage given them
    int positiveShift = 1;      // positives lie within this many pixels of the eye on each axis
    double farFromEye = 3.0;    // negatives of face quarters lie further than this from the eye
};

// Positives: per copy of a face quarter one window whose centre is within
// `positiveShift` pixels of the eye (clamped into the copy). Negatives: windows of
// face quarters more than `farFromEye` pixels from the eye and windows of quarters
// without a face; later stages take
// those that pass the stages so far in the verifier's own scan.
std::vector<IntStage> TrainEyeCascade(const std::vector<EyeQuarter>& faceQuarters,
                                      const std::vector<EyeQuarter>& otherQuarters, const EyeTrainingOptions& options);

}  // namespace train
