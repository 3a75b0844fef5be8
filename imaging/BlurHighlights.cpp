// FindHighlights and StampHighlights: the spots of strong contrast of the
// reduced copy and the bright discs stamped around them.
#include <algorithm>
#include <cstddef>
#include <cstdlib>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "imaging/BackgroundBlur.h"

namespace {

constexpr int kSpotThreshold = 78;

// |r(x, y)| for a pixel whose kernel cells dy = dyLo..dyHi, dx = dxLo..dxHi lie
// inside the map (the others count nothing).
int Response(const uint8_t* grey, size_t w, int x, int y, int dyLo, int dyHi, int dxLo, int dxHi) {
    int r = 0;
    for (int dy = dyLo; dy <= dyHi; dy++) {
        const uint8_t* row = grey + (y + dy) * w + x;
        const int16_t* k = kHighlightKernel[dy + 3] + 3;
        for (int dx = dxLo; dx <= dxHi; dx++) r += (k[dx] * row[dx]) >> 15;
    }
    return std::abs(r);
}

#if defined(__SSE2__)
// Responses of pixels x .. x + 7 of row y, all at least 3 columns from the
// left and right borders. (k g) >> 15 = (k (2 g)) >> 16, the signed high half
// of a 16-bit product (2 g <= 510), with the same rounding towards minus
// infinity; sums stay within 16 bits (at most 49 x 41).
void Responses8(const uint8_t* grey, size_t w, int x, int y, int dyLo, int dyHi, uint8_t* out) {
    const __m128i zero = _mm_setzero_si128();
    __m128i acc = zero;
    for (int dy = dyLo; dy <= dyHi; dy++) {
        const uint8_t* row = grey + (y + dy) * w + x - 3;
        const int16_t* k = kHighlightKernel[dy + 3];
        for (int c = 0; c < 7; c++) {
            __m128i g = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(row + c)), zero);
            g = _mm_add_epi16(g, g);
            acc = _mm_add_epi16(acc, _mm_mulhi_epi16(g, _mm_set1_epi16(k[c])));
        }
    }
    const __m128i magnitude = _mm_max_epi16(acc, _mm_sub_epi16(zero, acc));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + x), _mm_packus_epi16(magnitude, magnitude));
}
#endif

}  // namespace

void FindHighlights(const uint8_t* grey, uint8_t* responses, uint8_t* spots, int w, int h) {
    if (!grey || !responses || !spots || w <= 0 || h <= 0) return;
    const size_t stride = static_cast<size_t>(w);
    for (int y = 0; y < h; y++) {
        const int dyLo = std::max(-3, -y), dyHi = std::min(3, h - 1 - y);
        uint8_t* out = responses + y * stride;
        int x = 0;
        auto scalarUpTo = [&](int end) {
            for (; x < end; x++) {
                const int dxLo = std::max(-3, -x), dxHi = std::min(3, w - 1 - x);
                out[x] = static_cast<uint8_t>(Response(grey, stride, x, y, dyLo, dyHi, dxLo, dxHi));
            }
        };
#if defined(__SSE2__)
        scalarUpTo(std::min(3, w));
        for (; x + 7 + 3 < w; x += 8) Responses8(grey, stride, x, y, dyLo, dyHi, out);
#endif
        scalarUpTo(w);
    }
    // Spots: a response of at least 78 that no response of its 5 x 5 block exceeds.
    for (int y = 0; y < h; y++) {
        const int yLo = std::max(0, y - 2), yHi = std::min(h - 1, y + 2);
        const uint8_t* row = responses + y * stride;
        uint8_t* out = spots + y * stride;
        for (int x = 0; x < w; x++) {
            const int r = row[x];
            uint8_t spot = 0;
            if (r >= kSpotThreshold) {
                const int xLo = std::max(0, x - 2), xHi = std::min(w - 1, x + 2);
                int m = 0;
                for (int yy = yLo; yy <= yHi; yy++)
                    for (int xx = xLo; xx <= xHi; xx++) m = std::max<int>(m, responses[yy * stride + xx]);
                if (r == m) spot = 255;
            }
            out[x] = spot;
        }
    }
}

void StampHighlights(uint8_t* picture, const uint8_t* spots, int w, int h) {
    if (!picture || !spots || w <= 0 || h <= 0) return;
    const size_t stride = static_cast<size_t>(w) * 3;
    for (int y = 4; y + 3 < h; y++) {
        const uint8_t* spotRow = spots + static_cast<size_t>(y) * w;
        for (int x = 4; x + 3 < w; x++) {
            if (spotRow[x] != 255) continue;
            for (int dy = -4; dy <= 2; dy++) {
                uint8_t* row = picture + (y + dy) * stride;
                const uint8_t* pattern = kStampPattern[(dy + 4) / 2];
                for (int dx = -4; dx <= 2; dx++) {
                    if (!pattern[(dx + 4) / 2]) continue;
                    uint8_t* p = row + (x + dx) * 3;
                    for (int c = 0; c < 3; c++) p[c] = static_cast<uint8_t>((15 * (p[c] + 289)) >> 5);
                }
            }
        }
    }
}
