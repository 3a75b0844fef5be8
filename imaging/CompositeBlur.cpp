// CompositeBlur: the blurred reduced copy enlarged bilinearly and blended with
// the sharp picture through the weights, in one sweep over the full picture.
//
// The formula interpolates columns first: top = b(x0, y0)(32 - fx) +
// b(x0 + 1, y0) fx, bottom likewise on row y1, v = (top (32 - fy) + bottom fy)
// >> 10. The sum before the shift is the same four products in any order, so
// here each reduced row is enlarged along its columns once (the terms
// b(x0, y)(32 - fx) + b(x0 + 1, y) fx for every output column, kept for the
// output rows that use it) and each output row only mixes two such rows.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "imaging/BackgroundBlur.h"
#include "subject/WorkMemory.h"

namespace {

// Output row of v(X, Y) mixed with the sharp row: (v (255 - m) + P m) >> 8 for
// the `W` pixels, where v = (top (32 - fy) + bottom fy) >> 10 and top, bottom are
// the enlarged reduced rows.
void BlendRow(const uint16_t* top, const uint16_t* bottom, int fy, const uint8_t* m, const uint8_t* p, uint8_t* o,
              int W) {
    int X = 0;
#if defined(__SSE2__)
    // Eight pixels (24 channel values) at a time. top and bottom are at most
    // 255 x 32, so they are valid signed 16-bit values for the multiply-add of
    // pairs; v (255 - m) + P m is at most 255 x 255 and fits 16 bits unsigned.
    const __m128i pairWeights = _mm_set1_epi32(static_cast<int>((static_cast<uint32_t>(fy) << 16) | (32 - fy)));
    const __m128i zero = _mm_setzero_si128();
    const __m128i full = _mm_set1_epi16(255);
    for (; X + 8 <= W; X += 8) {
        const size_t i = static_cast<size_t>(X) * 3;
        __m128i v[3];
        for (int k = 0; k < 3; k++) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(top + i + 8 * k));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bottom + i + 8 * k));
            const __m128i lo = _mm_madd_epi16(_mm_unpacklo_epi16(a, b), pairWeights);
            const __m128i hi = _mm_madd_epi16(_mm_unpackhi_epi16(a, b), pairWeights);
            v[k] = _mm_packs_epi32(_mm_srai_epi32(lo, 10), _mm_srai_epi32(hi, 10));
        }
        // The weights of pixels 0..7, each repeated for its three channels.
        const __m128i m16 = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(m + X)), zero);
        const __m128i m0123 = _mm_shuffle_epi32(m16, _MM_SHUFFLE(1, 0, 1, 0));
        const __m128i m4567 = _mm_shuffle_epi32(m16, _MM_SHUFFLE(3, 2, 3, 2));
        __m128i keep[3];
        keep[0] = _mm_shufflehi_epi16(_mm_shufflelo_epi16(m0123, _MM_SHUFFLE(1, 0, 0, 0)), _MM_SHUFFLE(2, 2, 1, 1));
        keep[1] = _mm_shufflehi_epi16(_mm_shufflelo_epi16(m16, _MM_SHUFFLE(3, 3, 3, 2)), _MM_SHUFFLE(1, 0, 0, 0));
        keep[2] = _mm_shufflehi_epi16(_mm_shufflelo_epi16(m4567, _MM_SHUFFLE(2, 2, 1, 1)), _MM_SHUFFLE(3, 3, 3, 2));
        const __m128i p16 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        const __m128i p8 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p + i + 16));
        const __m128i sharp[3] = {_mm_unpacklo_epi8(p16, zero), _mm_unpackhi_epi8(p16, zero),
                                  _mm_unpacklo_epi8(p8, zero)};
        __m128i out[3];
        for (int k = 0; k < 3; k++) {
            const __m128i mixed =
                _mm_add_epi16(_mm_mullo_epi16(v[k], _mm_sub_epi16(full, keep[k])), _mm_mullo_epi16(sharp[k], keep[k]));
            out[k] = _mm_srli_epi16(mixed, 8);
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(o + i), _mm_packus_epi16(out[0], out[1]));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(o + i + 16), _mm_packus_epi16(out[2], out[2]));
    }
#endif
    for (; X < W; X++) {
        const int keep = m[X], blur = 255 - keep;
        for (int c = 0; c < 3; c++) {
            const size_t i = static_cast<size_t>(X) * 3 + c;
            const int v = (top[i] * (32 - fy) + bottom[i] * fy) >> 10;
            o[i] = static_cast<uint8_t>((v * blur + p[i] * keep) >> 8);
        }
    }
}

}  // namespace

int CompositeBlur(const uint8_t* picture, const uint8_t* blurred, const uint8_t* weights, uint8_t* output, int W, int H,
                  int w, int h) {
    if (!picture || !blurred || !weights || !output || W <= 0 || H <= 0 || w <= 0 || h <= 0) return 0;
    const int64_t stepY = (static_cast<int64_t>(h) * 32768) / H;
    const int64_t stepX = (static_cast<int64_t>(w) * 32768) / W;
    const size_t values = static_cast<size_t>(W) * 3;

    // Column tables (byte offset of x0 in a reduced row, fx) and two enlarged
    // reduced rows.
    int32_t* offsets = static_cast<int32_t*>(WorkAlloc(static_cast<size_t>(W) * sizeof(int32_t)));
    uint8_t* fractions = static_cast<uint8_t*>(WorkAlloc(static_cast<size_t>(W)));
    uint16_t* rows = static_cast<uint16_t*>(WorkAlloc(2 * values * sizeof(uint16_t)));
    if (!offsets || !fractions || !rows) {
        WorkFree(offsets);
        WorkFree(fractions);
        WorkFree(rows);
        return 0;
    }
    for (int X = 0; X < W; X++) {
        const int c = static_cast<int>(((X * stepX) >> 10) & 65535);
        offsets[X] = std::max(0, std::min((c >> 5) & 2047, w - 2)) * 3;
        fractions[X] = static_cast<uint8_t>(c & 31);
    }
    // The second sample is x0 + 1, which exists unless the copy is one column wide.
    const int next = w >= 2 ? 3 : 0;

    uint16_t* enlarged[2] = {rows, rows + values};
    int enlargedRow[2] = {-1, -1};
    auto enlarge = [&](int y, uint16_t* dst) {
        const uint8_t* src = blurred + static_cast<size_t>(y) * w * 3;
        for (int X = 0; X < W; X++, dst += 3) {
            const uint8_t* s = src + offsets[X];
            const int fx = fractions[X];
            for (int c = 0; c < 3; c++) dst[c] = static_cast<uint16_t>(s[c] * (32 - fx) + s[c + next] * fx);
        }
    };

    for (int Y = 0; Y < H; Y++) {
        const int a = static_cast<int>(((Y * stepY) >> 10) & 65535);
        const int y0 = std::max(0, std::min((a >> 5) & 2047, h - 2));
        const int y1 = std::min(y0 + 1, h - 1);
        const int fy = a & 31;
        // Keep the enlarged rows y0 in slot 0 and y1 in slot 1.
        if (enlargedRow[0] != y0) {
            if (enlargedRow[1] == y0) {
                std::swap(enlarged[0], enlarged[1]);
                std::swap(enlargedRow[0], enlargedRow[1]);
            } else {
                enlarge(y0, enlarged[0]);
                enlargedRow[0] = y0;
            }
        }
        if (enlargedRow[1] != y1) {
            enlarge(y1, enlarged[1]);
            enlargedRow[1] = y1;
        }
        const size_t rowStart = static_cast<size_t>(Y) * W;
        BlendRow(enlarged[0], enlarged[1], fy, weights + rowStart, picture + rowStart * 3, output + rowStart * 3, W);
    }

    WorkFree(offsets);
    WorkFree(fractions);
    WorkFree(rows);
    return 1;
}
