// BlurBackground: the seven-tap blur of the reduced copy that keeps subject
// colours out of the background.
#include <cstddef>
#include <cstring>

#include "imaging/BackgroundBlur.h"
#include "imaging/Sse24.h"

namespace {

inline uint8_t Normalise(int sum) {
    const int v = (sum * 21) >> 10;
    return static_cast<uint8_t>(v > 255 ? 255 : v);
}

// One pixel of either pass: taps[t + 3] points at the pixel standing in for tap
// t (the centre pixel where the tap falls outside or on the subject).
inline void BlurPixel(const uint8_t* const taps[7], uint8_t* out) {
    int b = 0, g = 0, r = 0;
    for (int t = 0; t < 7; t++) {
        const int tap = kBlurTaps[t < 3 ? 3 - t : t - 3];
        b += tap * taps[t][0];
        g += tap * taps[t][1];
        r += tap * taps[t][2];
    }
    out[0] = Normalise(b);
    out[1] = Normalise(g);
    out[2] = Normalise(r);
}

#if defined(__SSE2__)
// Eight pixels whose taps all lie on their own pixels (taps[t + 3]: the 24
// bytes of tap t), or, with `centreOnly`, all stand in by the centre. Sums are
// at most 49 x 255, and (sum x 21) >> 10 is the high half of sum x 1344; the
// saturating pack limits 256 to 255.
inline void Blur8(const uint8_t* const taps[7], bool centreOnly, uint8_t* out) {
    __m128i sum[3];
    Load24(taps[3], sum);
    if (centreOnly) {
        for (__m128i& s : sum) s = _mm_mullo_epi16(s, _mm_set1_epi16(49));
    } else {
        for (__m128i& s : sum) s = _mm_mullo_epi16(s, _mm_set1_epi16(static_cast<short>(kBlurTaps[0])));
        for (int d = 1; d <= 3; d++) {
            __m128i before[3], after[3];
            Load24(taps[3 - d], before);
            Load24(taps[3 + d], after);
            const __m128i tap = _mm_set1_epi16(static_cast<short>(kBlurTaps[d]));
            for (int k = 0; k < 3; k++)
                sum[k] = _mm_add_epi16(sum[k], _mm_mullo_epi16(_mm_add_epi16(before[k], after[k]), tap));
        }
    }
    const __m128i scale = _mm_set1_epi16(1344);
    for (__m128i& s : sum) s = _mm_mulhi_epu16(s, scale);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(sum[0], sum[1]));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 16), _mm_packus_epi16(sum[2], sum[2]));
}

// Bit i set when mask byte k[i] is subject (1), for 8 bytes.
inline int SubjectBits8(const uint8_t* k) {
    const __m128i v = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(k));
    return _mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8(1))) & 0xFF;
}

// 1 when all of the 8-byte groups' mask bytes are subject, 0 when none is, -1
// otherwise.
inline int Uniform(const int* bits, int groups) {
    int all = 0xFF, any = 0;
    for (int i = 0; i < groups; i++) all &= bits[i], any |= bits[i];
    return all == 0xFF ? 1 : any ? -1 : 0;
}
#endif

}  // namespace

void BlurBackground(uint8_t* picture, const uint8_t* mask, uint8_t* temp, int w, int h) {
    if (!picture || !mask || !temp || w <= 0 || h <= 0) return;
    const size_t stride = static_cast<size_t>(w) * 3;

    // Along rows, picture -> temp.
    for (int y = 0; y < h; y++) {
        const uint8_t* src = picture + y * stride;
        const uint8_t* k = mask + static_cast<size_t>(y) * w;
        uint8_t* dst = temp + y * stride;
        const uint8_t* taps[7];
        int x = 0;
        while (x < w) {
#if defined(__SSE2__)
            // Eight pixels at once when the 14 mask bytes their taps read are
            // alike: all background (every tap on its own pixel) or all
            // subject (every tap on the centre).
            if (x >= 3 && x + 10 < w) {
                const int bits[2] = {SubjectBits8(k + x - 3), SubjectBits8(k + x + 3)};
                const int uniform = Uniform(bits, 2);
                if (uniform >= 0) {
                    for (int t = -3; t <= 3; t++) taps[t + 3] = src + (x + t) * 3;
                    Blur8(taps, uniform == 1, dst + x * 3);
                    x += 8;
                    continue;
                }
            }
#endif
            for (int t = -3; t <= 3; t++) {
                const int xt = x + t;
                taps[t + 3] = (xt < 0 || xt >= w || k[xt] == 1) ? src + x * 3 : src + xt * 3;
            }
            BlurPixel(taps, dst + x * 3);
            x++;
        }
    }

    // Along columns, temp -> picture.
    for (int y = 0; y < h; y++) {
        uint8_t* dst = picture + y * stride;
        const uint8_t* taps[7];
        int x = 0;
        while (x < w) {
#if defined(__SSE2__)
            if (y >= 3 && y + 3 < h && x + 8 <= w) {
                int bits[7];
                for (int t = -3; t <= 3; t++) bits[t + 3] = SubjectBits8(mask + static_cast<size_t>(y + t) * w + x);
                const int uniform = Uniform(bits, 7);
                if (uniform >= 0) {
                    for (int t = -3; t <= 3; t++) taps[t + 3] = temp + (y + t) * stride + x * 3;
                    Blur8(taps, uniform == 1, dst + x * 3);
                    x += 8;
                    continue;
                }
            }
#endif
            for (int t = -3; t <= 3; t++) {
                const int yt = y + t;
                const bool centre = yt < 0 || yt >= h || mask[static_cast<size_t>(yt) * w + x] == 1;
                taps[t + 3] = temp + (centre ? y : yt) * stride + x * 3;
            }
            BlurPixel(taps, dst + x * 3);
            x++;
        }
    }
}
