// Finding upright frontal faces in a grey picture: the face cascade evaluated on
// nine downscaled copies, with overlapping hits grouped into clusters.
#pragma once

#include <cstdint>
#include <functional>

#include "subject/Cascades.h"

struct FaceBox {
    int32_t x0, y0, x1, y1;  // x1 = x0 + width, y1 = y0 + height
};

// Longer sides of the downscaled copies, in scan order.
extern const int32_t FaceScales[9];

// Number of face boxes found; FaceBoxes() gives them until the next call. -1 when
// the working copies cannot be allocated (no boxes then).
int DetectFaces(const uint8_t* grey, int width, int height);
const FaceBox* FaceBoxes();

void ResampleNearest(const uint8_t* src, int srcWidth, int srcHeight, uint8_t* dst, int dstWidth, int dstHeight);
// Census codes in face bit order (row by row from the top-left) into w x h entries.
void FaceCensus(const uint8_t* grey, int w, int h, uint16_t* codes);
void ScanFaceWindows(int dstWidth, int dstHeight, int width, int height, const uint16_t* codes);
void AddFaceHit(int x, int y, int boxWidth, int boxHeight, int score);
bool BoxesOverlap(const FaceBox& a, const FaceBox& b);

// The window scan behind ScanFaceWindows, for any cascade and any number of its
// first stages (the trainer scans with the cascade it has so far): calls `hit`
// with the window's left, top (copy pixels) and last stage sum for every window
// that passes.
void ScanFaceWindowsWith(const FaceCascadeData& cascade, int stages, int dstWidth, int dstHeight, const uint16_t* codes,
                         const std::function<void(int x, int y, int score)>& hit);

// DetectFaces with any cascade and number of its first stages; DetectFaces is
// this with FaceCascade and all four stages. Results go to FaceBoxes().
int DetectFacesWith(const FaceCascadeData& cascade, int stages, const uint8_t* grey, int width, int height);

// The size of the copy of a width x height picture whose longer side is
// `longerSide`: the shorter side follows the picture's aspect in Q15.
void FaceCopySize(int width, int height, int longerSide, int* copyWidth, int* copyHeight);

// Sizes of the downscaled copies DetectFaces scans for a width x height picture,
// in scan order; copies with a side below 1 pixel are left out. Returns their
// count.
int FaceCopySizes(int width, int height, int widths[9], int heights[9]);

// One group of overlapping hits: the box of its best (lowest) score, that score,
// the number of hits it gathered and whether it is still in play.
struct HitCluster {
    FaceBox box;
    int32_t best;
    int32_t count;
    bool active;
};

// The clustering rule behind AddFaceHit and AddEyeHit over a caller's table of
// `capacity` clusters of which `*created` exist: join the first active
// overlapping cluster or start a new one, then merge overlapping active clusters
// (the greater best score is absorbed). A full table ignores the hit.
void AddHitToClusters(HitCluster* clusters, int capacity, int* created, const FaceBox& hit, int score);
