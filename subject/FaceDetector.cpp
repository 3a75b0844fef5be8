// The face cascade over nine downscaled copies of the grey picture. Every hit
// is clustered as it arrives; clusters that gathered at least three hits are the
// faces.
#include "subject/FaceDetector.h"

#include <algorithm>
#include <cstdlib>

#include "subject/CascadeScan.h"
#include "subject/WorkMemory.h"

const int32_t FaceScales[9] = {24, 36, 60, 80, 100, 120, 160, 190, 220};

namespace {

constexpr int kMaxFaceClusters = 200;

// Rebuilt by every DetectFaces: the clusters of the current call and the boxes
// that came out of them.
HitCluster g_clusters[kMaxFaceClusters];
int g_clustersCreated = 0;
FaceBox g_faces[kMaxFaceClusters];
int g_faceCount = 0;

// Scans one copy with the first `stages` stages of `cascade` and clusters its
// hits in picture pixels. One Q15 factor, taken from the widths, maps both axes:
// the copy keeps the picture's aspect up to rounding.
void ScanCopy(const FaceCascadeData& cascade, int stages, int dstWidth, int dstHeight, int width,
              const uint16_t* codes) {
    if (dstWidth <= 0) return;
    const int64_t scale = (static_cast<int64_t>(width) * 32768) / dstWidth;
    const int boxWidth = static_cast<int>((FaceCascadeData::kWindowWidth * scale) >> 15);
    const int boxHeight = static_cast<int>((FaceCascadeData::kWindowHeight * scale) >> 15);
    ScanFaceWindowsWith(cascade, stages, dstWidth, dstHeight, codes, [&](int x, int y, int score) {
        AddFaceHit(static_cast<int>((x * scale) >> 15), static_cast<int>((y * scale) >> 15), boxWidth, boxHeight,
                   score);
    });
}

}  // namespace

const FaceBox* FaceBoxes() {
    return g_faces;
}

void FaceCopySize(int width, int height, int longerSide, int* copyWidth, int* copyHeight) {
    const int longer = std::max(width, height);
    const int shorter = std::min(width, height);
    // Q15 aspect ratio of the shorter to the longer side; 32768 for a square.
    const int64_t ratio = (static_cast<int64_t>(shorter) * 32768) / longer;
    const int across = static_cast<int>((longerSide * ratio) >> 15);
    *copyWidth = width < height ? across : longerSide;
    *copyHeight = width > height ? across : longerSide;
}

int FaceCopySizes(int width, int height, int widths[9], int heights[9]) {
    if (width <= 0 || height <= 0) return 0;
    const int longer = std::max(width, height);
    int count = 0;
    for (int32_t s : FaceScales) {
        if (s > longer) break;
        int w = 0, h = 0;
        FaceCopySize(width, height, s, &w, &h);
        // A picture so elongated that the copy's shorter side rounds to nothing
        // has no copy at this scale (a larger scale may still give one).
        if (w < 1 || h < 1) continue;
        widths[count] = w;
        heights[count] = h;
        count++;
    }
    return count;
}

int DetectFaces(const uint8_t* grey, int width, int height) {
    return DetectFacesWith(FaceCascade, FaceCascadeData::kStages, grey, width, height);
}

int DetectFacesWith(const FaceCascadeData& cascade, int stages, const uint8_t* grey, int width, int height) {
    g_clustersCreated = 0;
    g_faceCount = 0;
    if (!grey || width <= 0 || height <= 0) return 0;

    int copyWidths[9];
    int copyHeights[9];
    const int copies = FaceCopySizes(width, height, copyWidths, copyHeights);
    if (copies == 0) return 0;

    // Both buffers are sized for the picture itself and reused by every copy,
    // each of which is no larger than the picture.
    const size_t pixels = static_cast<size_t>(width) * static_cast<size_t>(height);
    uint8_t* copy = static_cast<uint8_t*>(WorkAlloc(pixels));
    uint16_t* codes = static_cast<uint16_t*>(WorkAlloc(pixels * sizeof(uint16_t)));
    if (!copy || !codes) {
        WorkFree(copy);
        WorkFree(codes);
        return -1;
    }

    for (int i = 0; i < copies; i++) {
        ResampleNearest(grey, width, height, copy, copyWidths[i], copyHeights[i]);
        FaceCensus(copy, copyWidths[i], copyHeights[i], codes);
        ScanCopy(cascade, stages, copyWidths[i], copyHeights[i], width, codes);
    }
    WorkFree(copy);
    WorkFree(codes);

    // Faces are reported in the order their clusters were created.
    for (int i = 0; i < g_clustersCreated; i++) {
        if (g_clusters[i].active && g_clusters[i].count >= 3) g_faces[g_faceCount++] = g_clusters[i].box;
    }
    return g_faceCount;
}

void ResampleNearest(const uint8_t* src, int srcWidth, int srcHeight, uint8_t* dst, int dstWidth, int dstHeight) {
    if (!src || !dst || srcWidth <= 0 || srcHeight <= 0 || dstWidth <= 0 || dstHeight <= 0) return;
    const int64_t stepX = (static_cast<int64_t>(srcWidth) * 32768) / dstWidth;
    const int64_t stepY = (static_cast<int64_t>(srcHeight) * 32768) / dstHeight;
    // (c * stepX) >> 15 stays below srcWidth for every c < dstWidth, and likewise
    // for the rows, because the steps are rounded down.
    for (int r = 0; r < dstHeight; r++) {
        const uint8_t* row = src + ((r * stepY) >> 15) * srcWidth;
        uint8_t* out = dst + static_cast<size_t>(r) * dstWidth;
        for (int c = 0; c < dstWidth; c++) out[c] = row[(c * stepX) >> 15];
    }
}

void FaceCensus(const uint8_t* grey, int w, int h, uint16_t* codes) {
    if (!grey || !codes || w <= 0 || h <= 0) return;
    // The border has no full neighbourhood; its entries are set to 0 so that the
    // whole array is defined even though the scan never reads them.
    std::fill(codes, codes + static_cast<size_t>(w) * h, uint16_t{0});
    for (int y = 1; y + 1 < h; y++) {
        const uint8_t* above = grey + static_cast<size_t>(y - 1) * w;
        const uint8_t* here = above + w;
        const uint8_t* below = here + w;
        uint16_t* out = codes + static_cast<size_t>(y) * w;
        for (int x = 1; x + 1 < w; x++) {
            // Row by row from the top-left: bit i belongs to p[i].
            const int p[9] = {above[x - 1], above[x],     above[x + 1], here[x - 1], here[x],
                              here[x + 1],  below[x - 1], below[x],     below[x + 1]};
            const int sum = p[0] + p[1] + p[2] + p[3] + p[4] + p[5] + p[6] + p[7] + p[8];
            int code = 0;
            for (int i = 0; i < 9; i++) code |= (9 * p[i] > sum) << i;
            out[x] = static_cast<uint16_t>(code);
        }
    }
}

void ScanFaceWindows(int dstWidth, int dstHeight, int width, int height, const uint16_t* codes) {
    (void)height;  // the copy keeps the aspect; the width alone gives the factor
    ScanCopy(FaceCascade, FaceCascadeData::kStages, dstWidth, dstHeight, width, codes);
}

void ScanFaceWindowsWith(const FaceCascadeData& cascade, int stages, int dstWidth, int dstHeight, const uint16_t* codes,
                         const std::function<void(int x, int y, int score)>& hit) {
    // Rows in steps of 2, every column.
    ScanCascadeWindows(cascade, stages, FaceCascadeData::kWindowWidth, FaceCascadeData::kWindowHeight, 2, dstWidth,
                       dstHeight, codes, hit);
}

void AddFaceHit(int x, int y, int boxWidth, int boxHeight, int score) {
    const FaceBox box{x, y, x + boxWidth, y + boxHeight};
    AddHitToClusters(g_clusters, kMaxFaceClusters, &g_clustersCreated, box, score);
}

void AddHitToClusters(HitCluster* clusters, int capacity, int* created, const FaceBox& hit, int score) {
    if (!clusters || !created || *created >= capacity) return;
    const int n0 = *created;

    int joined = -1;
    for (int i = 0; i < n0; i++) {
        if (clusters[i].active && BoxesOverlap(clusters[i].box, hit)) {
            joined = i;
            break;
        }
    }
    if (joined >= 0) {
        HitCluster& c = clusters[joined];
        c.count++;
        if (c.best > score) {
            c.best = score;
            c.box = hit;
        }
    } else {
        clusters[n0] = HitCluster{hit, score, 1, true};
        ++*created;
    }

    // A box replacement or a new cluster can make two clusters overlap. The one
    // with the greater best score is absorbed (on a tie the earlier one stays).
    // Cluster i keeps being compared with the later ones after it was absorbed, so
    // its hits go to every later cluster it overlaps.
    const int n = *created;
    for (int i = 0; i < n; i++) {
        if (!clusters[i].active) continue;
        for (int j = i + 1; j < n; j++) {
            if (!clusters[j].active || !BoxesOverlap(clusters[i].box, clusters[j].box)) continue;
            if (clusters[i].best > clusters[j].best) {
                clusters[i].active = false;
                clusters[j].count += clusters[i].count;
            } else {
                clusters[j].active = false;
                clusters[i].count += clusters[j].count;
            }
        }
    }
}

bool BoxesOverlap(const FaceBox& a, const FaceBox& b) {
    // Each box shrinks by an eighth of its width on every side, vertically too.
    const int ma = (a.x1 - a.x0) >> 3;
    const int mb = (b.x1 - b.x0) >> 3;
    return std::max(a.x0 + ma, b.x0 + mb) <= std::min(a.x1 - ma, b.x1 - mb) &&
           std::max(a.y0 + ma, b.y0 + mb) <= std::min(a.y1 - ma, b.y1 - mb);
}
