// Finding the subject of a working image: the people whose frontal faces are
// found and confirmed by their eyes, as whole colour regions under a
// head-and-torso silhouette hung below each face. Without a face the picture is
// still cut into regions, so that the user can pick the subject by touch.
#pragma once

#include <cstdint>

#include "subject/EyeVerifier.h"

// Result codes of FindSubjectMask.
enum {
    SUBJECT_OK = 0,            // mask written; label map valid; rect = subject rectangle
    SUBJECT_NO_MEMORY = 160,   // mask all 0; label map empty
    SUBJECT_TOO_NARROW = 167,  // mask all 0; label map empty; RegionRect unchanged
    SUBJECT_NO_FACE = 168,     // mask all 0; label map over the whole picture; rect = whole picture
};

// The region label of every pixel of RegionRect, row by row: the low 16 bits of
// the index (within the rectangle) of its region's root, taken before the
// head-and-body merges. Null when there is none. Owned here; valid until the next
// FindSubjectMask or FreeRegionLabelMap.
extern uint16_t* RegionLabelMap;
// The rectangle the label map covers: left, right, top, bottom, inclusive.
extern int32_t RegionRect[4];

// Writes the subject mask (`width` x `height` bytes, 1 = subject) of the working
// image `image` (blue, green, red, no row padding) and the subject rectangle into
// `rect` (left, right, top, bottom, inclusive). Returns one of the codes above.
int FindSubjectMask(const uint8_t* image, uint8_t* mask, int width, int height, int32_t* rect);

// Releases the region label map; it is empty afterwards.
void FreeRegionLabelMap();

// The segmentation's scale k, and the smallest region it leaves in a picture of
// width x height pixels (whatever part of it is segmented).
constexpr int kSubjectSegmentationK = 50;
int SubjectMinRegion(int width, int height);

// One verified face: the midpoint between the eyes (`cx`, `cy`), half the eye
// distance `d`, and how far the centre was moved onto the skin (`shift`).
struct SubjectFace {
    int32_t cx, cy, d, shift;
};

// FindSubjectMask from the eye pairs of the `m` verified faces on, in the order
// the faces were verified: everything after the face search.
int FindSubjectMaskForEyes(const uint8_t* image, uint8_t* mask, int width, int height, int32_t* rect,
                           const EyePoint* leftEyes, const EyePoint* rightEyes, int m);

// The leading run of faces whose `d` is at least three quarters of `maxD`: only
// these shape the subject.
int SubjectFaceCount(const SubjectFace* faces, int m, int32_t maxD);

// Moves the face's centre to the mean column of the skin pixels below its eyes
// and records the move in `shift`. Without a skin pixel the face stays as it is
// (shift 0).
void CentreOnSkin(const uint8_t* image, int width, int height, SubjectFace* face);

// True when (x, y) lies in the head-and-torso silhouette of `face`.
bool InSilhouette(const SubjectFace& face, int x, int y);
