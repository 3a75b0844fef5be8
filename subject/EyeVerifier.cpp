// Eye verification of a face box: the upper left quarter and the mirrored upper
// right quarter are each enlarged to five widths and scanned with one left-eye
// cascade; a side has found its eye when its strongest cluster gathered at
// least three hits.
#include "subject/EyeVerifier.h"

#include <algorithm>
#include <array>
#include <cstdlib>

#include "subject/CascadeScan.h"
#include "subject/FaceDetector.h"
#include "subject/WorkMemory.h"

namespace {

constexpr int kMaxEyeClusters = 15;
constexpr int kLeft = 0;
constexpr int kRight = 1;
// Stage sums are brought to a 0..256 score relative to the last stage's
// threshold of the trained cascade.
constexpr double kScoreSumLimit = 17510.0;
// The widest copy of a quarter, with room for the right quarter's ratio, which
// can differ slightly from the left's when the box width is odd.
constexpr int kScaledBufferWidth = 38;

HitCluster g_eyeClusters[2][kMaxEyeClusters];
int g_eyeClustersCreated[2] = {0, 0};
// The chosen eye boxes (quarter pixels) and the face box of the last accepted
// call, for GetEyeCentres.
FaceBox g_leftEye{};
FaceBox g_rightEye{};
FaceBox g_faceBox{};

// Round half up, as the quarter heights are rounded.
int RoundHalfUp(double v) {
    return static_cast<int>(v + 0.5);
}

// Face census codes carry bit i for neighbourhood position i, row by row from the
// top-left; eye codes number the same positions clockwise from the top-left with
// the centre last. This table maps one to the other.
constexpr std::array<uint16_t, 512> MakeFaceToEyeCodes() {
    constexpr int kEyeBitOfPosition[9] = {0, 1, 2, 7, 8, 3, 6, 5, 4};
    std::array<uint16_t, 512> table{};
    for (int face = 0; face < 512; face++) {
        int eye = 0;
        for (int pos = 0; pos < 9; pos++) {
            if (face & (1 << pos)) eye |= 1 << kEyeBitOfPosition[pos];
        }
        table[face] = static_cast<uint16_t>(eye);
    }
    return table;
}
constexpr std::array<uint16_t, 512> kFaceToEyeCodes = MakeFaceToEyeCodes();

// Scans one scaled quarter and clusters its hits in quarter pixels.
void ScanEyeCopy(const EyeCascadeData& cascade, int stages, int dstWidth, int dstHeight, int quarterWidth,
                 const uint16_t* codes, int side) {
    if (dstWidth <= 0) return;
    const int64_t scale = (static_cast<int64_t>(quarterWidth) * 32768) / dstWidth;
    const int size = static_cast<int>((EyeCascadeData::kWindowSize * scale) >> 15);
    ScanEyeWindowsWith(cascade, stages, dstWidth, dstHeight, codes, [&](int x, int y, int score) {
        AddEyeHit(side, static_cast<int>((x * scale) >> 15), static_cast<int>((y * scale) >> 15), size, score);
    });
}

// The most-hit active cluster of one side (the first of equals), or -1.
int StrongestCluster(int side) {
    int strongest = -1;
    for (int i = 0; i < g_eyeClustersCreated[side]; i++) {
        const HitCluster& c = g_eyeClusters[side][i];
        if (c.active && (strongest < 0 || c.count > g_eyeClusters[side][strongest].count)) strongest = i;
    }
    return strongest;
}

}  // namespace

void EyeQuarterSplit(int x0, int y0, int x1, int y1, int* xm, int* ym) {
    // The half is rounded up, so an odd side gives the extra line to the left or
    // upper part. Computed as x0 - trunc((x1 - x0 + 1) * -0.5).
    if (xm) *xm = x0 - static_cast<int>((static_cast<double>(x1) - x0 + 1) * -0.5);
    if (ym) *ym = y0 - static_cast<int>((static_cast<double>(y1) - y0 + 1) * -0.5);
}

int EyeQuarterScales(int quarterWidth, int quarterHeight, int widths[5], int heights[5]) {
    if (quarterWidth <= 0 || quarterHeight <= 0) return 0;
    const double ratio = static_cast<double>(quarterHeight) / quarterWidth;
    int count = 0;
    int w = 35;
    int h = RoundHalfUp(35 * ratio);
    do {
        // Heights only shrink from here on, so a copy too low ends the list.
        if (h <= 22) break;
        widths[count] = w;
        heights[count] = h;
        count++;
        w -= 3;
        h = RoundHalfUp(w * ratio);
    } while (w > 22);
    return count;
}

int VerifyEyes(const uint8_t* grey, int width, int height, int x0, int y0, int x1, int y1) {
    return VerifyEyesWith(EyeCascade, EyeCascadeData::kStages, grey, width, height, x0, y0, x1, y1);
}

int VerifyEyesWith(const EyeCascadeData& cascade, int stages, const uint8_t* grey, int width, int height, int x0,
                   int y0, int x1, int y1) {
    ClearEyeClusters();
    if (!grey || width <= 0 || height <= 0) return 0;
    // A box reaching past the picture cannot be cropped; refuse it before
    // allocating anything for it.
    if (x0 < 0 || y0 < 0 || x1 > width || y1 > height || x1 <= x0 || y1 <= y0) return 0;

    int xm = 0;
    int ym = 0;
    EyeQuarterSplit(x0, y0, x1, y1, &xm, &ym);
    const int wl = xm - x0;
    const int wr = x1 - xm;
    const int hq = ym - y0;
    if (wl < 1 || wr < 1 || hq < 1) return 0;

    int widths[2][5];
    int heights[2][5];
    const int counts[2] = {EyeQuarterScales(wl, hq, widths[kLeft], heights[kLeft]),
                           EyeQuarterScales(wr, hq, widths[kRight], heights[kRight])};
    // One scaled buffer and census array serve every copy of both sides. The
    // usual size is 38 columns at the left quarter's ratio; a narrow right quarter
    // of a very small box can need more, so the largest copy is checked as well.
    size_t scaledSize =
        static_cast<size_t>(kScaledBufferWidth) * RoundHalfUp(kScaledBufferWidth * static_cast<double>(hq) / wl);
    for (int side = 0; side < 2; side++) {
        for (int i = 0; i < counts[side]; i++) {
            scaledSize = std::max(scaledSize, static_cast<size_t>(widths[side][i]) * heights[side][i]);
        }
    }

    const size_t leftSize = static_cast<size_t>(wl) * hq;
    const size_t rightSize = static_cast<size_t>(wr) * hq;
    uint8_t* left = static_cast<uint8_t*>(WorkAlloc(leftSize));
    uint8_t* right = static_cast<uint8_t*>(WorkAlloc(rightSize));
    uint8_t* mirrored = static_cast<uint8_t*>(WorkAlloc(rightSize));
    uint8_t* scaled = static_cast<uint8_t*>(WorkAlloc(scaledSize));
    uint16_t* codes = static_cast<uint16_t*>(WorkAlloc(scaledSize * sizeof(uint16_t)));
    auto release = [&] {
        WorkFree(left);
        WorkFree(right);
        WorkFree(mirrored);
        WorkFree(scaled);
        WorkFree(codes);
    };
    if (!left || !right || !mirrored || !scaled || !codes) {
        release();
        return -1;
    }
    if (!CropGrey(grey, width, height, left, x0, y0, xm, ym) || !CropGrey(grey, width, height, right, xm, y0, x1, ym)) {
        release();
        return 0;
    }
    // Mirrored, the right eye looks like a left eye to the cascade.
    MirrorRows(right, wr, hq, mirrored);

    const uint8_t* quarters[2] = {left, mirrored};
    const int quarterWidths[2] = {wl, wr};
    for (int side = 0; side < 2; side++) {
        for (int i = 0; i < counts[side]; i++) {
            ResampleBilinear(quarters[side], quarterWidths[side], hq, scaled, widths[side][i], heights[side][i]);
            EyeCensus(scaled, widths[side][i], heights[side][i], codes);
            ScanEyeCopy(cascade, stages, widths[side][i], heights[side][i], quarterWidths[side], codes, side);
        }
    }
    release();
    return ChooseEyes(x0, y0, x1, y1);
}

void ClearEyeClusters() {
    g_eyeClustersCreated[kLeft] = 0;
    g_eyeClustersCreated[kRight] = 0;
}

int ChooseEyes(int x0, int y0, int x1, int y1) {
    if (g_eyeClustersCreated[kLeft] == 0 || g_eyeClustersCreated[kRight] == 0) return 0;
    const int left = StrongestCluster(kLeft);
    if (left < 0 || g_eyeClusters[kLeft][left].count < 3) return 0;
    const int right = StrongestCluster(kRight);
    if (right < 0 || g_eyeClusters[kRight][right].count < 3) return 0;
    g_leftEye = g_eyeClusters[kLeft][left].box;
    g_rightEye = g_eyeClusters[kRight][right].box;
    g_faceBox = FaceBox{x0, y0, x1, y1};
    return 1;
}

void GetEyeCentres(EyePoint* leftEye, EyePoint* rightEye) {
    const FaceBox& l = g_leftEye;
    const FaceBox& r = g_rightEye;
    if (leftEye) {
        leftEye->x = l.x0 + ((l.x1 - l.x0) >> 1) + g_faceBox.x0;
        leftEye->y = l.y0 + ((l.y1 - l.y0) >> 1) + g_faceBox.y0;
    }
    if (rightEye) {
        // The right quarter was scanned mirrored: its x counts back from the face
        // box's right edge.
        rightEye->x = g_faceBox.x1 - ((r.x1 - r.x0) >> 1) - r.x0;
        rightEye->y = r.y0 + ((r.y1 - r.y0) >> 1) + g_faceBox.y0;
    }
}

int CropGrey(const uint8_t* grey, int width, int height, uint8_t* dst, int xa, int ya, int xb, int yb) {
    if (!grey || !dst || xa < 0 || ya < 0 || xb > width || yb > height || xb <= xa || yb <= ya) return 0;
    const size_t rowLength = static_cast<size_t>(xb - xa);
    for (int y = ya; y < yb; y++) {
        std::copy_n(grey + static_cast<size_t>(y) * width + xa, rowLength, dst);
        dst += rowLength;
    }
    return 1;
}

void MirrorRows(const uint8_t* src, int rowLength, int rows, uint8_t* dst) {
    if (!src || !dst || rowLength <= 0 || rows <= 0) return;
    for (int r = 0; r < rows; r++) {
        const uint8_t* in = src + static_cast<size_t>(r) * rowLength;
        std::reverse_copy(in, in + rowLength, dst + static_cast<size_t>(r) * rowLength);
    }
}

void ResampleBilinear(const uint8_t* src, int srcWidth, int srcHeight, uint8_t* dst, int dstWidth, int dstHeight) {
    if (!src || !dst || srcWidth <= 0 || srcHeight <= 0 || dstWidth <= 0 || dstHeight <= 0) return;
    const int stepX = static_cast<int>((static_cast<int64_t>(srcWidth) * 1024) / dstWidth);
    const int stepY = static_cast<int>((static_cast<int64_t>(srcHeight) * 1024) / dstHeight);
    for (int r = 0; r < dstHeight; r++) {
        const int fy = r * stepY;
        const int iy = fy >> 10;
        int dy = fy - iy * 1024;
        int iyBelow = iy + 1;
        if (r == dstHeight - 1) {
            // The last row takes its own source row whole.
            dy = 1024;
            iyBelow = iy;
        } else if (iyBelow >= srcHeight) {
            // Enlarging more than twice can land the lower neighbour past the last
            // source row; that row stands in for it.
            iyBelow = srcHeight - 1;
        }
        const uint8_t* upper = src + static_cast<size_t>(iy) * srcWidth;
        const uint8_t* lower = src + static_cast<size_t>(iyBelow) * srcWidth;
        uint8_t* out = dst + static_cast<size_t>(r) * dstWidth;
        for (int c = 0; c < dstWidth; c++) {
            const int fx = c * stepX;
            const int ix = fx >> 10;
            int dx = fx - ix * 1024;
            int ixRight = ix + 1;
            if (c == dstWidth - 1) {
                dx = 1024;
                ixRight = ix;
            } else if (ixRight >= srcWidth) {
                ixRight = srcWidth - 1;
            }
            const int p00 = upper[ix];
            const int p01 = upper[ixRight];
            const int p10 = lower[ix];
            const int p11 = lower[ixRight];
            // 10-bit fractions; every partial sum stays well inside 32 bits.
            out[c] = static_cast<uint8_t>(
                ((p00 - p10 - p01 + p11) * dy * dx + (p10 - p00) * dy * 1024 + (p01 - p00) * dx * 1024 + (p00 << 20)) >>
                20);
        }
    }
}

void EyeCensus(const uint8_t* img, int w, int h, uint16_t* codes) {
    if (!img || !codes || w <= 0 || h <= 0) return;
    FaceCensus(img, w, h, codes);
    const size_t n = static_cast<size_t>(w) * h;
    for (size_t i = 0; i < n; i++) codes[i] = kFaceToEyeCodes[codes[i]];
}

void ScanEyeWindows(int dstWidth, int dstHeight, int quarterWidth, const uint16_t* codes, int side) {
    ScanEyeCopy(EyeCascade, EyeCascadeData::kStages, dstWidth, dstHeight, quarterWidth, codes, side);
}

void ScanEyeWindowsWith(const EyeCascadeData& cascade, int stages, int dstWidth, int dstHeight, const uint16_t* codes,
                        const std::function<void(int x, int y, int score)>& hit) {
    // Every top and left.
    ScanCascadeWindows(cascade, stages, EyeCascadeData::kWindowSize, EyeCascadeData::kWindowSize, 1, dstWidth,
                       dstHeight, codes, hit);
}

void AddEyeHit(int side, int x, int y, int size, int score) {
    if (side != kLeft && side != kRight) return;
    const int scaledScore = static_cast<int>(score * 256.0 / kScoreSumLimit);
    AddHitToClusters(g_eyeClusters[side], kMaxEyeClusters, &g_eyeClustersCreated[side],
                     FaceBox{x, y, x + size, y + size}, scaledScore);
}
