// Eight working-image pixels (24 bytes) as SSE2 vectors, for the blur
// renderer's full-size and reduced-copy passes.
#pragma once

#if defined(__SSE2__)
#include <emmintrin.h>

#include <cstdint>

// The 24 bytes (8 pixels) at p widened to three vectors of 16-bit values.
inline void Load24(const uint8_t* p, __m128i v[3]) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i b = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p + 16));
    v[0] = _mm_unpacklo_epi8(a, zero);
    v[1] = _mm_unpackhi_epi8(a, zero);
    v[2] = _mm_unpacklo_epi8(b, zero);
}
#endif
