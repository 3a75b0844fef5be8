// RenderBackgroundBlur: the order of the steps and the buffers between them.
// The steps themselves live in BlurHighlights.cpp, BlurBackground.cpp,
// BlendWeights.cpp and CompositeBlur.cpp.
#include "imaging/BackgroundBlur.h"

#include <algorithm>
#include <cstddef>

#include "imaging/PyramidLevel.h"
#include "imaging/ResizePicture.h"
#include "subject/MakeGreyImage.h"
#include "subject/WorkMemory.h"

const int16_t kHighlightKernel[7][7] = {
    {324, 583, 773, 819, 773, 583, 324},       {583, 839, 498, 118, 498, 839, 583},
    {773, 498, -1501, -3002, -1501, 498, 773}, {819, 118, -3002, -5220, -3002, 118, 819},
    {773, 498, -1501, -3002, -1501, 498, 773}, {583, 839, 498, 118, 498, 839, 583},
    {324, 583, 773, 819, 773, 583, 324},
};

const int kBlurTaps[4] = {9, 8, 7, 5};

const uint8_t kStampPattern[4][4] = {
    {0, 1, 1, 0},
    {1, 1, 1, 1},
    {1, 1, 1, 1},
    {0, 1, 1, 0},
};

int RenderBackgroundBlur(const uint8_t* picture, const uint8_t* mask, uint8_t* output, int W, int H) {
    if (!picture || !mask || !output || W <= 0 || H <= 0) return 0;
    const int level = PyramidLevel(std::max(W, H));
    const int w = W >> level, h = H >> level;
    if (w <= 0 || h <= 0) return 0;

    // `output` is written by CompositeBlur alone, after every other buffer
    // (these three, the edge growing's column state and the composite's
    // tables and rows) has been allocated, so a failure leaves it as it was.
    // The scratch buffer holds the grey map, the responses and the spot map
    // (one third each) until the spots are stamped, then the blur's row pass.
    const size_t reducedPixels = static_cast<size_t>(w) * static_cast<size_t>(h);
    const size_t fullPixels = static_cast<size_t>(W) * static_cast<size_t>(H);
    uint8_t* reduced = static_cast<uint8_t*>(WorkCalloc(reducedPixels, 3));
    uint8_t* scratch = static_cast<uint8_t*>(WorkAlloc(reducedPixels * 3));
    uint8_t* weights = static_cast<uint8_t*>(WorkAlloc(fullPixels));
    if (!reduced || !scratch || !weights) {
        WorkFree(reduced);
        WorkFree(scratch);
        WorkFree(weights);
        return 0;
    }

    ResizePicture(picture, W, H, reduced, w, h, 1);
    uint8_t* grey = scratch;
    uint8_t* responses = scratch + reducedPixels;
    uint8_t* spots = scratch + 2 * reducedPixels;
    MakeGreyImage(reduced, grey, w, h);
    FindHighlights(grey, responses, spots, w, h);
    StampHighlights(reduced, spots, w, h);
    BlurBackground(reduced, mask, scratch, w, h);

    // The mask enlargement (ResizePicture) and BuildBlendWeights, in one.
    int done = BuildBlendWeightsFromMask(picture, mask, weights, W, H, w, h, level);
    // Writes nothing into `output` unless it can finish.
    if (done) done = CompositeBlur(picture, reduced, weights, output, W, H, w, h);

    WorkFree(reduced);
    WorkFree(scratch);
    WorkFree(weights);
    return done;
}
