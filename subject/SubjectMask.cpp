#include "subject/SubjectMask.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "subject/FaceDetector.h"
#include "subject/FillMaskHoles.h"
#include "subject/MakeGreyImage.h"
#include "subject/Segmentation.h"
#include "subject/WorkMemory.h"

uint16_t* RegionLabelMap = nullptr;
int32_t RegionRect[4] = {0, 0, 0, 0};

namespace {

// Everything one call allocates for the segmentation; released together.
struct Work {
    PixelEdge* edges = nullptr;
    RegionNode* nodes = nullptr;
    uint8_t* selected = nullptr;  // one flag per region root: part of the subject

    ~Work() {
        WorkFree(edges);
        WorkFree(nodes);
        WorkFree(selected);
    }
};

// Skin in the two colour differences used to centre a face on its skin.
bool IsSkin(int b, int g, int r) {
    const int c1 = (161 * r - 22 * g - 149 * b) >> 8;
    const int c2 = (85 * r - 192 * g + 107 * b) >> 8;
    return (c1 > 5 || c1 < -5 || c2 > 5 || c2 < -5) && c1 >= 2 && c1 <= 80 && c2 >= -7 && c2 <= 28;
}

// Column extent of the shoulders (reach 4) or the upper body (reach 3): a face
// whose skin lies well to one side widens the silhouette to that side only.
bool InWidening(const SubjectFace& f, int x, int reach) {
    if (f.shift > 5) return f.cx - f.d < x && x < f.cx + reach * f.d;
    if (f.shift < -5) return f.cx - reach * f.d < x && x < f.cx + f.d;
    return f.cx - reach * f.d < x && x < f.cx + reach * f.d;
}

// What every search does first: the previous labels go and the mask is
// cleared. False for arguments no search can work with.
bool BeginSearch(const uint8_t* image, uint8_t* mask, int width, int height, const int32_t* rect) {
    FreeRegionLabelMap();
    if (!image || !mask || !rect || width <= 0 || height <= 0) return false;
    std::memset(mask, 0, static_cast<size_t>(width) * static_cast<size_t>(height));
    return true;
}

int SubjectFromEyes(const uint8_t* image, uint8_t* mask, int width, int height, int32_t* rect, const EyePoint* leftEyes,
                    const EyePoint* rightEyes, int m);

}  // namespace

int SubjectMinRegion(int width, int height) {
    return static_cast<int>(std::max<int64_t>(static_cast<int64_t>(width) * height / 12000, 10));
}

void FreeRegionLabelMap() {
    WorkFree(RegionLabelMap);
    RegionLabelMap = nullptr;
}

int SubjectFaceCount(const SubjectFace* faces, int m, int32_t maxD) {
    const int32_t limit = (3 * maxD) >> 2;
    int count = 0;
    while (count < m && faces[count].d >= limit) count++;
    return count;
}

void CentreOnSkin(const uint8_t* image, int width, int height, SubjectFace* face) {
    const int32_t d = face->d;
    const int yEnd = std::min(height - 1, face->cy + 2 * d);
    const int xBegin = std::max(face->cx - 3 * d, 1);
    const int xEnd = std::min(width - 1, face->cx + 3 * d);
    int64_t sumX = 0;
    int64_t count = 0;
    for (int y = std::max(face->cy, 1); y < yEnd; y++) {
        const uint8_t* p = image + (static_cast<size_t>(y) * width + xBegin) * 3;
        for (int x = xBegin; x < xEnd; x++, p += 3) {
            if (!IsSkin(p[0], p[1], p[2])) continue;
            sumX += x;
            count++;
        }
    }
    // No skin below the eyes: keep the centre between them.
    if (count == 0) {
        face->shift = 0;
        return;
    }
    const int32_t centre = static_cast<int32_t>(sumX / count);
    face->shift = centre - face->cx;
    face->cx = centre;
}

bool InSilhouette(const SubjectFace& f, int x, int y) {
    const int32_t cx = f.cx, cy = f.cy, d = f.d;
    // Trunk: a column as wide as the eyes, from the brow far down.
    if (cy - 2 * d < y && y < cy + 28 * d && cx - d < x && x < cx + d) return true;
    // Shoulder line, upper body and head: whichever row band holds y decides.
    if (cy + 6 * d < y && y < cy + 8 * d) return InWidening(f, x, 4);
    if (cy + 5 * d <= y && y < cy + 18 * d) return InWidening(f, x, 3);
    if (cy - ((7 * d) >> 2) < y && y < cy + 2 * d) return cx - ((3 * d) >> 1) < x && x < cx + ((3 * d) >> 1);
    return false;
}

int FindSubjectMask(const uint8_t* image, uint8_t* mask, int width, int height, int32_t* rect) {
    if (!BeginSearch(image, mask, width, height, rect)) return SUBJECT_NO_MEMORY;
    const size_t pixels = static_cast<size_t>(width) * static_cast<size_t>(height);

    uint8_t* grey = static_cast<uint8_t*>(WorkAlloc(pixels));
    if (!grey) return SUBJECT_NO_MEMORY;
    MakeGreyImage(image, grey, width, height);

    // The detector's list lives until its next call; the eye verifier does not
    // touch it, but it is copied out as the pipeline owns its face arrays.
    const int n = DetectFaces(grey, width, height);
    if (n < 0) {
        WorkFree(grey);
        return SUBJECT_NO_MEMORY;
    }
    FaceBox* boxes = nullptr;
    EyePoint* leftEyes = nullptr;
    EyePoint* rightEyes = nullptr;
    auto release = [&] {
        WorkFree(grey);
        WorkFree(boxes);
        WorkFree(leftEyes);
        WorkFree(rightEyes);
    };
    int m = 0;
    if (n > 0) {
        boxes = static_cast<FaceBox*>(WorkCalloc(static_cast<size_t>(n), sizeof(FaceBox)));
        leftEyes = static_cast<EyePoint*>(WorkCalloc(static_cast<size_t>(n), sizeof(EyePoint)));
        rightEyes = static_cast<EyePoint*>(WorkCalloc(static_cast<size_t>(n), sizeof(EyePoint)));
        if (!boxes || !leftEyes || !rightEyes) {
            release();
            return SUBJECT_NO_MEMORY;
        }
        std::memcpy(boxes, FaceBoxes(), static_cast<size_t>(n) * sizeof(FaceBox));
        for (int i = 0; i < n; i++) {
            const FaceBox& b = boxes[i];
            const int verified = VerifyEyes(grey, width, height, b.x0, b.y0, b.x1, b.y1);
            if (verified < 0) {
                release();
                return SUBJECT_NO_MEMORY;
            }
            if (verified != 1) continue;
            GetEyeCentres(&leftEyes[m], &rightEyes[m]);
            m++;
        }
    }
    WorkFree(grey);
    grey = nullptr;
    const int result = SubjectFromEyes(image, mask, width, height, rect, leftEyes, rightEyes, m);
    release();
    return result;
}

int FindSubjectMaskForEyes(const uint8_t* image, uint8_t* mask, int width, int height, int32_t* rect,
                           const EyePoint* leftEyes, const EyePoint* rightEyes, int m) {
    if (m < 0 || !BeginSearch(image, mask, width, height, rect)) return SUBJECT_NO_MEMORY;
    return SubjectFromEyes(image, mask, width, height, rect, leftEyes, rightEyes, m);
}

namespace {

int SubjectFromEyes(const uint8_t* image, uint8_t* mask, int width, int height, int32_t* rect, const EyePoint* leftEyes,
                    const EyePoint* rightEyes, int m) {
    const int minRegion = SubjectMinRegion(width, height);

    SubjectFace* faces = nullptr;
    int32_t maxD = -1;
    if (m > 0) {
        faces = static_cast<SubjectFace*>(WorkCalloc(static_cast<size_t>(m), sizeof(SubjectFace)));
        if (!faces) return SUBJECT_NO_MEMORY;
        for (int i = 0; i < m; i++) {
            faces[i].cx = (leftEyes[i].x + rightEyes[i].x) >> 1;
            faces[i].cy = (leftEyes[i].y + rightEyes[i].y) >> 1;
            faces[i].d = (rightEyes[i].x - leftEyes[i].x) >> 1;
            faces[i].shift = 0;
            maxD = std::max(maxD, faces[i].d);
        }
    }
    const int subjectCount = SubjectFaceCount(faces, m, maxD);

    // Pictures whose largest face is small for their width hold people further
    // away; their head and body regions are merged up to smaller sizes.
    const bool smallFaces = maxD < ((3 * width) >> 6);
    const int headMin = smallFaces ? 70 : 100;
    const int bodyMin = smallFaces ? 150 : 170;

    for (int i = 0; i < subjectCount; i++) CentreOnSkin(image, width, height, &faces[i]);

    int32_t left = 0, right = width - 1, top = 0, bottom = height - 1;
    if (subjectCount > 0) {
        left = width - 1;
        right = 0;
        top = height - 1;
        bottom = 0;
        for (int i = 0; i < subjectCount; i++) {
            const SubjectFace& f = faces[i];
            left = std::min(left, f.cx - 16 * f.d);
            right = std::max(right, f.cx + 16 * f.d);
            top = std::min(top, f.cy - 8 * f.d);
            bottom = std::max(bottom, f.cy + 32 * f.d);
        }
        left = std::max(left, 0);
        top = std::max(top, 0);
        right = std::min(right, width - 1);
        bottom = std::min(bottom, height - 1);
        if (left > right) std::swap(left, right);
        if (top > bottom) std::swap(top, bottom);
        if (right - left < 5) {
            WorkFree(faces);
            return SUBJECT_TOO_NARROW;
        }
    }
    rect[0] = left;
    rect[1] = right;
    rect[2] = top;
    rect[3] = bottom;
    std::memcpy(RegionRect, rect, sizeof RegionRect);
    const int rectWidth = right - left + 1;
    const int rectHeight = bottom - top + 1;
    const int64_t rectPixels = static_cast<int64_t>(rectWidth) * rectHeight;

    // Roots at or beyond this index lie on or below the chin row of the face
    // whose chin is lowest: body regions. Any value past the rectangle means
    // that there is no body part.
    int64_t chin = 0;
    for (int i = 0; i < subjectCount; i++) {
        chin = std::max(chin, static_cast<int64_t>(faces[i].cy + 4 * faces[i].d - top) * rectWidth);
    }
    const int chinIndex = static_cast<int>(std::min(chin, rectPixels));

    Work work;
    // Every failure comes before the label map is made.
    auto fail = [&] {
        WorkFree(faces);
        return SUBJECT_NO_MEMORY;
    };
    work.edges = static_cast<PixelEdge*>(WorkCalloc(static_cast<size_t>(2 * rectPixels), sizeof(PixelEdge)));
    work.nodes = static_cast<RegionNode*>(WorkAlloc(static_cast<size_t>(rectPixels) * sizeof(RegionNode)));
    if (subjectCount > 0) work.selected = static_cast<uint8_t*>(WorkCalloc(static_cast<size_t>(rectPixels), 1));
    if (!work.edges || !work.nodes || (subjectCount > 0 && !work.selected)) return fail();

    const int n = BuildEdgeGraph(image, width, rect, work.edges);
    SortEdges(work.edges, 0, n - 1);
    InitRegionNodes(image, width, rect, work.nodes);
    int32_t regions = static_cast<int32_t>(rectPixels);
    if (!SegmentGraph(work.nodes, &regions, work.edges, n, kSubjectSegmentationK)) return fail();
    MergeSmallRegions(work.nodes, &regions, work.edges, n, minRegion);

    RegionLabelMap = static_cast<uint16_t*>(WorkAlloc(static_cast<size_t>(rectPixels) * sizeof(uint16_t)));
    if (!RegionLabelMap) return fail();
    for (int i = 0; i < rectPixels; i++) RegionLabelMap[i] = static_cast<uint16_t>(FindRoot(work.nodes, i));

    if (subjectCount == 0) {
        WorkFree(faces);
        return SUBJECT_NO_FACE;
    }

    MergeHeadBody(work.nodes, &regions, work.edges, n, chinIndex, headMin, bodyMin);
    MergeByColour(work.nodes, &regions, work.edges, n, chinIndex);

    // Every region that the silhouette of a subject face touches becomes subject.
    // The last row and column of the rectangle are not looked at.
    for (int y = top; y < bottom; y++) {
        for (int x = left; x < right; x++) {
            bool inside = false;
            for (int i = 0; i < subjectCount && !inside; i++) inside = InSilhouette(faces[i], x, y);
            if (inside) work.selected[FindRoot(work.nodes, (y - top) * rectWidth + (x - left))] = 1;
        }
    }
    for (int y = top; y <= bottom; y++) {
        uint8_t* row = mask + static_cast<size_t>(y) * width;
        for (int x = left; x <= right; x++) {
            if (work.selected[FindRoot(work.nodes, (y - top) * rectWidth + (x - left))]) row[x] = 1;
        }
    }
    FillMaskHoles(mask, width, height, left, right, top, bottom);
    WorkFree(faces);
    return SUBJECT_OK;
}

}  // namespace
