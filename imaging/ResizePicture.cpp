#include "imaging/ResizePicture.h"

#include <cstddef>

namespace {

// Enlarging position of destination index `i`: Q15 step, 11-bit limit, and the
// clamp to size - 2 that keeps the last source line out (never below 0).
int EnlargedSource(int i, int64_t step, int srcSize) {
    int s = static_cast<int>(((i * step) >> 15) & 2047);
    if (s > srcSize - 2) s = srcSize - 2;
    if (s < 0) s = 0;
    return s;
}

void CopyPixel(const uint8_t* src, int srcW, int sx, int sy, uint8_t* dst, size_t d, int channels) {
    const uint8_t* s = src + (static_cast<size_t>(sy) * srcW + sx) * channels;
    for (int c = 0; c < channels; c++) dst[d + c] = s[c];
}

}  // namespace

void ResizePicture(const uint8_t* src, int srcW, int srcH, uint8_t* dst, int dstW, int dstH, int colour) {
    if (!src || !dst || srcW <= 0 || srcH <= 0 || dstW <= 0 || dstH <= 0) return;
    int channels = colour ? 3 : 1;
    size_t d = 0;

    if (srcW <= dstW) {
        int64_t stepY = (static_cast<int64_t>(srcH) * 32768) / dstH;
        int64_t stepX = (static_cast<int64_t>(srcW) * 32768) / dstW;
        for (int y = 0; y < dstH; y++) {
            int sy = EnlargedSource(y, stepY, srcH);
            for (int x = 0; x < dstW; x++, d += channels) {
                CopyPixel(src, srcW, EnlargedSource(x, stepX, srcW), sy, dst, d, channels);
            }
        }
        return;
    }

    int ratioX = srcW / dstW;
    int ratioY = srcH / dstH;
    for (int y = 0; y < dstH; y++) {
        for (int x = 0; x < dstW; x++, d += channels) {
            CopyPixel(src, srcW, x * ratioX, y * ratioY, dst, d, channels);
        }
    }
}
