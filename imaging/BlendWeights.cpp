// BuildBlendWeights: the per-pixel share of the sharp picture, from the subject
// mask enlarged to full size, the ramp of the lower half and the subject grown
// along edges of similar colour.
//
// Edge growing is a sequential process: each test reads the map as the tests
// before it left it. Its cost lies in one effect of the rules: a walk
// marks its own first pixel, so once the top row of a subject column is marked
// (128, no longer subject), the pixel below it meets the top-edge test, marks
// itself, and so on down the column. Every such pixel needs the mean of its
// nine-pixel column window and a walk of up to e pixels up. Both are kept cheap
// without changing a single result: the window sums slide from row to row, a
// walk is skipped when every pixel it could reach is already 128 (a mark is never
// undone, and marking a 128 pixel again changes nothing), and inside the subject,
// where only top-edge tests fire and none depends on another, eight columns are
// tested at once (SSE2).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "imaging/BackgroundBlur.h"
#include "imaging/Sse24.h"
#include "subject/WorkMemory.h"

namespace {

constexpr uint8_t kKeep = 255;
constexpr uint8_t kGrown = 128;  // temporary mark of edge growing

// After the first step every byte is 255 (subject), a ramp value of at most 96,
// or, during edge growing, 128: "more than 250" is "equal to 255", which the
// scan's quick skips rely on.
inline bool Subject(uint8_t m) {
    return m > 250;
}

// floor(s / n) for 0 <= s <= 9 x 255 and 1 <= n <= 9, by a multiply and shift.
constexpr uint32_t kReciprocal[10] = {0, 65536, 32768, 21846, 16384, 13108, 10923, 9363, 8192, 7282};
inline int Divide(int s, int n) {
    return static_cast<int>((static_cast<uint32_t>(s) * kReciprocal[n]) >> 16);
}
constexpr bool ReciprocalsExact() {
    for (int n = 1; n <= 9; n++)
        for (int s = 0; s <= 9 * 255; s++)
            if (((static_cast<uint32_t>(s) * kReciprocal[n]) >> 16) != static_cast<uint32_t>(s / n)) return false;
    return true;
}
static_assert(ReciprocalsExact(), "the mean's reciprocals must divide exactly");

// The mean colour's terms of the match test.
struct Mean {
    int gb = 0, gr = 0, g = 0;  // G - B, G - R and G of the mean
};

Mean MakeMean(int sb, int sg, int sr, int n) {
    Mean m;
    if (n > 0) {
        const int b = Divide(sb, n), g = Divide(sg, n), r = Divide(sr, n);
        m.gb = g - b;
        m.gr = g - r;
        m.g = g;
    }
    return m;
}

// Mean of the subject pixels among `count` pixels from map index `start`,
// `step` apart; zero when none.
Mean SubjectMean(const uint8_t* picture, const uint8_t* weights, ptrdiff_t start, ptrdiff_t step, int count) {
    int sb = 0, sg = 0, sr = 0, n = 0;
    for (int i = 0; i < count; i++) {
        const ptrdiff_t at = start + i * step;
        if (!Subject(weights[at])) continue;
        const uint8_t* p = picture + at * 3;
        sb += p[0];
        sg += p[1];
        sr += p[2];
        n++;
    }
    return MakeMean(sb, sg, sr, n);
}

inline bool Matches(const uint8_t* p, const Mean& mean) {
    const int b = p[0], g = p[1], r = p[2];
    return std::abs(g - b - mean.gb) + std::abs(g - r - mean.gr) < 40 && std::abs(mean.g - g) < 60;
}

// Marks 128 from map index `start`, `step` apart, while the pixels match, at
// most `count` of them. Returns how many were marked.
int Walk(const uint8_t* picture, uint8_t* weights, ptrdiff_t start, ptrdiff_t step, int count, const Mean& mean) {
    for (int i = 0; i < count; i++) {
        const ptrdiff_t at = start + i * step;
        if (!Matches(picture + at * 3, mean)) return i;
        weights[at] = kGrown;
    }
    return count;
}

inline uint64_t Load8(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

// What edge growing keeps about each column, for its top-edge tests.
struct Columns {
    // Sums of B, G, R (interleaved, 3 per column) and the count of the subject
    // pixels of rows sumRow + 1 .. sumRow + 8 (within the picture), as they were
    // after the top-edge test of (x, sumRow); sumRow -1 when unknown.
    int16_t* sums;
    int16_t* counts;
    int32_t* sumRow;
    // Rows from..to of the column are known to be 128 (none when to < from).
    int32_t* from;
    int32_t* to;
};

// The rest of a top-edge test's walk once (x, y) is marked: nothing to do when
// rows y - e .. y - 1 are all known to be 128 (marking them again changes
// nothing, and the walk has no other effect), else walk them.
inline void WalkUp(const uint8_t* picture, uint8_t* weights, ptrdiff_t at, ptrdiff_t stride, int x, int y, int e,
                   const Mean& mean, Columns& columns) {
    int32_t& from = columns.from[x];
    int32_t& to = columns.to[x];
    if (to == y - 1 && from <= y - e) {
        to = y;
        return;
    }
    const int marked = Walk(picture, weights, at - stride, -stride, e, mean);
    from = to == y - 1 ? std::min(from, y - marked) : y - marked;
    to = y;
}

#if defined(__SSE2__)
// Lane i of the result holds lane i + 1 of the 24 lanes v[0], v[1], v[2] (the
// last lane 0).
inline void NextLane(const __m128i v[3], __m128i out[3]) {
    for (int k = 0; k < 3; k++) {
        out[k] = _mm_srli_si128(v[k], 2);
        if (k < 2) out[k] = _mm_or_si128(out[k], _mm_slli_si128(v[k + 1], 14));
    }
}

inline __m128i Abs16(__m128i v) {
    return _mm_max_epi16(v, _mm_sub_epi16(_mm_setzero_si128(), v));
}

// The top-edge tests of pixels x .. x + 7 of row y, for the common case inside a
// subject: each of them is subject with a subject right and lower neighbour
// (so no other test fires at them and none changes another's outcome), each
// meets the test (the pixel above is not subject), the column sums were taken
// at row y - 1 and every window is full (rows y .. y + 8 all subject, so the
// mean is of nine pixels). Channels stay interleaved: lane 3j + c is channel c
// of pixel j.
void TopTests8(const uint8_t* picture, uint8_t* weights, ptrdiff_t stride, int x, int y, int e, Columns& columns) {
    const ptrdiff_t at = y * stride + x;
    __m128i pixel[3], entering[3], sums[3];
    Load24(picture + at * 3, pixel);
    Load24(picture + (at + 8 * stride) * 3, entering);
    int16_t* sumsAt = columns.sums + 3 * static_cast<ptrdiff_t>(x);
    __m128i mean[3], diff[3];
    for (int k = 0; k < 3; k++) {
        sums[k] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(sumsAt + 8 * k));
        // Rows y .. y + 8: the old sums (rows y .. y + 7) and the entering row;
        // floor(s / 9) for s <= 9 x 255 is the high half of s x 7282.
        const __m128i nine = _mm_add_epi16(sums[k], entering[k]);
        mean[k] = _mm_mulhi_epu16(nine, _mm_set1_epi16(7282));
        diff[k] = _mm_sub_epi16(pixel[k], mean[k]);  // d = pixel - mean, per channel
        // The window slides to rows y + 1 .. y + 8.
        _mm_storeu_si128(reinterpret_cast<__m128i*>(sumsAt + 8 * k),
                         _mm_sub_epi16(_mm_add_epi16(sums[k], entering[k]), pixel[k]));
    }
    // At lane 3j: |dg - db| + |dg - dr| < 40; at lane 3j + 1: |dg| < 60.
    __m128i next[3], spread[3], nextSpread[3], match[3];
    NextLane(diff, next);
    for (int k = 0; k < 3; k++) spread[k] = Abs16(_mm_sub_epi16(next[k], diff[k]));
    NextLane(spread, nextSpread);
    __m128i green[3], nextGreen[3];
    for (int k = 0; k < 3; k++) green[k] = _mm_cmplt_epi16(Abs16(diff[k]), _mm_set1_epi16(60));
    NextLane(green, nextGreen);
    for (int k = 0; k < 3; k++)
        match[k] =
            _mm_and_si128(_mm_cmplt_epi16(_mm_add_epi16(spread[k], nextSpread[k]), _mm_set1_epi16(40)), nextGreen[k]);
    // Bit L of `lanes` is lane L; pixel j is lane 3j.
    int lanes = _mm_movemask_epi8(_mm_packs_epi16(match[0], match[1])) |
                (_mm_movemask_epi8(_mm_packs_epi16(match[2], match[2])) & 0xFF) << 16;
    lanes &= 0x249249;                             // bits 0, 3, 6, .. 21
    lanes = (lanes | lanes >> 2) & 0x0C30C3;       // pairs at 0, 6, 12, 18
    lanes = (lanes | lanes >> 4) & 0x00F00F;       // nibbles at 0, 12
    const int bits = (lanes | lanes >> 8) & 0xFF;  // bit j: pixel j matches
    const __m128i row = _mm_set1_epi32(y);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(columns.sumRow + x), row);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(columns.sumRow + x + 4), row);
    if (!bits) return;
    // Usually every matched column's walk would only meet 128s (WalkUp's quick
    // case): mark the matched pixels and extend the known runs at once.
    const __m128i previous = _mm_set1_epi32(y - 1), reach = _mm_set1_epi32(y - e + 1);
    int32_t* to = columns.to + x;
    const int32_t* from = columns.from + x;
    const __m128i quick0 =
        _mm_and_si128(_mm_cmpeq_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(to)), previous),
                      _mm_cmplt_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(from)), reach));
    const __m128i quick1 =
        _mm_and_si128(_mm_cmpeq_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(to + 4)), previous),
                      _mm_cmplt_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 4)), reach));
    const int quick = _mm_movemask_ps(_mm_castsi128_ps(quick0)) | _mm_movemask_ps(_mm_castsi128_ps(quick1)) << 4;
    if ((bits & quick) == bits) {
        const __m128i bitValues = _mm_setr_epi8(1, 2, 4, 8, 16, 32, 64, -128, 0, 0, 0, 0, 0, 0, 0, 0);
        const __m128i selected =
            _mm_cmpeq_epi8(_mm_and_si128(_mm_set1_epi8(static_cast<char>(bits)), bitValues), bitValues);
        uint8_t* marks = weights + at;
        const __m128i old = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(marks));
        const __m128i marked = _mm_or_si128(_mm_andnot_si128(selected, old),
                                            _mm_and_si128(selected, _mm_set1_epi8(static_cast<char>(kGrown))));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(marks), marked);
        for (int j = 0; j < 8; j++)
            if (bits >> j & 1) to[j] = y;
        return;
    }
    int16_t means[24];
    for (int k = 0; k < 3; k++) _mm_storeu_si128(reinterpret_cast<__m128i*>(means + 8 * k), mean[k]);
    for (int j = 0; j < 8; j++) {
        if (!(bits >> j & 1)) continue;
        weights[at + j] = kGrown;
        const int16_t* m = means + 3 * j;
        Mean mj;
        mj.gb = m[1] - m[0];
        mj.gr = m[1] - m[2];
        mj.g = m[1];
        WalkUp(picture, weights, at + j, stride, x + j, y, e, mj, columns);
    }
}

// True when pixels x .. x + 7 of row y qualify for TopTests8 (given that
// x .. x + 8 and the row below are subject).
inline bool TopTests8Apply(const uint8_t* weights, ptrdiff_t stride, int x, int y, const uint8_t* above,
                           const Columns& columns) {
    const __m128i keep = _mm_set1_epi8(static_cast<char>(kKeep));
    const __m128i aboveKept = _mm_cmpeq_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(above + x)), keep);
    if (_mm_movemask_epi8(aboveKept) & 0xFF) return false;  // some pixel has a subject pixel above
    const __m128i entering =
        _mm_cmpeq_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(weights + (y + 8) * stride + x)), keep);
    if ((_mm_movemask_epi8(entering) & 0xFF) != 0xFF) return false;
    const __m128i eight =
        _mm_cmpeq_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(columns.counts + x)), _mm_set1_epi16(8));
    if (_mm_movemask_epi8(eight) != 0xFFFF) return false;
    const __m128i previous = _mm_set1_epi32(y - 1);
    const __m128i valid = _mm_and_si128(
        _mm_cmpeq_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(columns.sumRow + x)), previous),
        _mm_cmpeq_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(columns.sumRow + x + 4)), previous));
    return _mm_movemask_epi8(valid) == 0xFFFF;
}
#endif

// Visits every pixel at least e = 8 x level from the borders and applies the
// four tests, then turns the 128 marks into 255.
// `weights` holds only 255 and ramp values. Returns 0 when the column state
// cannot be allocated (the map is then unchanged).
int GrowSubjectEdges(const uint8_t* picture, uint8_t* weights, int W, int H, int level) {
    const int e = 8 * level;
    const int yEnd = H - e - 1, xEnd = W - e - 1;  // inclusive
    if (yEnd < e || xEnd < e) return 1;            // no pixel to visit
    // One block: sums (3 x int16), count (int16), sumRow, from, to (int32) per column.
    const size_t n = static_cast<size_t>(W);
    uint8_t* block = static_cast<uint8_t*>(WorkCalloc(n, 3 * sizeof(int16_t) + sizeof(int16_t) + 3 * sizeof(int32_t)));
    if (!block) return 0;
    Columns columns;
    columns.sumRow = reinterpret_cast<int32_t*>(block);
    columns.from = columns.sumRow + n;
    columns.to = columns.from + n;
    columns.sums = reinterpret_cast<int16_t*>(columns.to + n);
    columns.counts = columns.sums + 3 * n;
    for (size_t x = 0; x < n; x++) columns.sumRow[x] = -1, columns.from[x] = 0, columns.to[x] = -1;

    const ptrdiff_t stride = W;
    int firstMarked = H, lastMarked = -1;
    for (int y = e; y <= yEnd; y++) {
        uint8_t* row = weights + y * stride;
        const bool hasAbove = y >= 1, hasBelow = y + 1 < H;
        const uint8_t* above = hasAbove ? row - stride : nullptr;
        const uint8_t* below = hasBelow ? row + stride : nullptr;
        const int windowEnd = std::min(H - 1, y + 8);  // last row of the column windows
        bool rowTouched = false;
        int x = e;
        while (x <= xEnd) {
            // Quick skips over pixels where no test can fire.
            if (!Subject(row[x])) {
                // Only the left-edge test can fire, at the pixel before the next
                // subject pixel.
                const void* next = std::memchr(row + x + 1, kKeep, static_cast<size_t>(W - x - 1));
                if (!next) break;
                x = static_cast<int>(static_cast<const uint8_t*>(next) - row) - 1;
                if (x > xEnd) break;
            } else if (x + 8 < W && hasAbove && hasBelow && Load8(row + x + 1) == ~uint64_t{0} &&
                       Load8(below + x) == ~uint64_t{0}) {
                // Eight subject pixels whose right and lower neighbours are
                // subject: only top-edge tests can fire.
                if (Load8(above + x) == ~uint64_t{0}) {
                    x += 8;  // none does
                    continue;
                }
#if defined(__SSE2__)
                if (x + 7 <= xEnd && y + 8 < H && TopTests8Apply(weights, stride, x, y, above, columns)) {
                    TopTests8(picture, weights, stride, x, y, e, columns);
                    rowTouched = true;
                    x += 8;
                    continue;
                }
#endif
            }

            rowTouched = true;
            const ptrdiff_t at = y * stride + x;
            const bool hasRight = x + 1 < W;
            if (Subject(weights[at]) && hasRight && !Subject(weights[at + 1])) {  // right edge
                const int first = std::max(0, x - 8);
                const Mean mean = SubjectMean(picture, weights, y * stride + first, 1, x - first + 1);
                Walk(picture, weights, at, 1, e + 1, mean);
            }
            if (!Subject(weights[at]) && hasRight && Subject(weights[at + 1])) {  // left edge
                const int last = std::min(W - 1, x + 8);
                const Mean mean = SubjectMean(picture, weights, at, 1, last - x + 1);
                Walk(picture, weights, at, -1, e + 1, mean);
            }
            if (Subject(weights[at]) && hasBelow && !Subject(weights[at + stride])) {  // bottom edge
                const int first = std::max(0, y - 8);
                const Mean mean = SubjectMean(picture, weights, first * stride + x, stride, y - first + 1);
                Walk(picture, weights, at, stride, e + 1, mean);
                columns.sumRow[x] = -1;  // the walk may have changed the column below
            }
            if (Subject(weights[at]) && hasAbove && !Subject(weights[at - stride])) {  // top edge
                // Mean of (x, y) (subject) and the subject pixels of rows y + 1 ..
                // windowEnd. The window sums slide when they were taken at the
                // row above: (x, y) then was what it is now, subject (255 is
                // never made again), and rows y + 1 .. y + 7 are unchanged (only
                // a bottom-edge walk of this column changes them, and it clears
                // sumRow).
                int16_t* sums = columns.sums + 3 * static_cast<ptrdiff_t>(x);
                int16_t& count = columns.counts[x];
                const uint8_t* p = picture + at * 3;
                if (columns.sumRow[x] == y - 1) {
                    for (int c = 0; c < 3; c++) sums[c] = static_cast<int16_t>(sums[c] - p[c]);
                    count--;
                    if (y + 8 < H && Subject(weights[at + 8 * stride])) {
                        const uint8_t* q = p + 8 * 3 * stride;
                        for (int c = 0; c < 3; c++) sums[c] = static_cast<int16_t>(sums[c] + q[c]);
                        count++;
                    }
                } else {
                    int sb = 0, sg = 0, sr = 0, sn = 0;
                    for (int yy = y + 1; yy <= windowEnd; yy++) {
                        const ptrdiff_t i = yy * stride + x;
                        if (!Subject(weights[i])) continue;
                        sb += picture[i * 3], sg += picture[i * 3 + 1], sr += picture[i * 3 + 2], sn++;
                    }
                    sums[0] = static_cast<int16_t>(sb), sums[1] = static_cast<int16_t>(sg);
                    sums[2] = static_cast<int16_t>(sr), count = static_cast<int16_t>(sn);
                }
                columns.sumRow[x] = y;
                const Mean mean = MakeMean(sums[0] + p[0], sums[1] + p[1], sums[2] + p[2], count + 1);
                if (Matches(p, mean)) {
                    weights[at] = kGrown;
                    WalkUp(picture, weights, at, stride, x, y, e, mean, columns);
                }
            }
            x++;
        }
        if (rowTouched) {
            // Rows the walks from this row may have marked.
            firstMarked = std::min(firstMarked, y - e);
            lastMarked = std::max(lastMarked, y + e);
        }
    }
    WorkFree(block);

    // Step 3: the grown pixels are kept.
    for (int y = std::max(0, firstMarked); y <= std::min(H - 1, lastMarked); y++) {
        uint8_t* row = weights + y * stride;
        int x = 0;
#if defined(__SSE2__)
        const __m128i grown = _mm_set1_epi8(static_cast<char>(kGrown));
        for (; x + 16 <= W; x += 16) {
            __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + x));
            v = _mm_or_si128(v, _mm_cmpeq_epi8(v, grown));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(row + x), v);
        }
#endif
        for (; x < W; x++)
            if (row[x] == kGrown) row[x] = kKeep;
    }
    return 1;
}

// Ramp value of row y: 0 down to the middle row, then growing to about 96.
inline uint8_t Ramp(int y, int H) {
    if (y <= H / 2) return 0;
    const int64_t q = 1048576 / H;
    const int64_t acc = -100663296 + static_cast<int64_t>(y) * 192 * q;
    return static_cast<uint8_t>(std::max<int64_t>(0, acc >> 20));
}

// dst[i] = 255 where src[i] is 255, else `ramp`, for a row holding only 255 and
// ramp values.
void RampRow(const uint8_t* src, uint8_t* dst, int n, uint8_t ramp) {
    int i = 0;
#if defined(__SSE2__)
    const __m128i r = _mm_set1_epi8(static_cast<char>(ramp));
    const __m128i keep = _mm_set1_epi8(static_cast<char>(kKeep));
    for (; i + 16 <= n; i += 16) {
        const __m128i s = _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i)), keep);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), _mm_or_si128(s, _mm_andnot_si128(s, r)));
    }
#endif
    for (; i < n; i++) dst[i] = src[i] == kKeep ? kKeep : ramp;
}

// ResizePicture's source index for destination index i when enlarging.
inline int EnlargedSource(int i, int64_t step, int srcSize) {
    int s = static_cast<int>(((i * step) >> 15) & 2047);
    if (s > srcSize - 2) s = srcSize - 2;
    return s < 0 ? 0 : s;
}

}  // namespace

int BuildBlendWeights(const uint8_t* picture, uint8_t* weights, int W, int H, int level) {
    if (!picture || !weights || W <= 0 || H <= 0) return 0;
    level = std::clamp(level, 0, 4);
    for (int y = 0; y < H; y++) {
        uint8_t* row = weights + static_cast<ptrdiff_t>(y) * W;
        const uint8_t ramp = Ramp(y, H);
        for (int x = 0; x < W; x++) row[x] = row[x] == 1 ? kKeep : ramp;
    }
    return GrowSubjectEdges(picture, weights, W, H, level);
}

int BuildBlendWeightsFromMask(const uint8_t* picture, const uint8_t* mask, uint8_t* weights, int W, int H, int w, int h,
                              int level) {
    if (!picture || !mask || !weights || W <= 0 || H <= 0 || w <= 0 || h <= 0 || w > W) return 0;
    level = std::clamp(level, 0, 4);
    // ResizePicture's enlarging branch and step 1 in one sweep: the first row of
    // each source row is gathered, the next ones copy it with their own ramp.
    const int64_t stepY = (static_cast<int64_t>(h) * 32768) / H;
    const int64_t stepX = (static_cast<int64_t>(w) * 32768) / W;
    int previousSource = -1;
    for (int y = 0; y < H; y++) {
        uint8_t* row = weights + static_cast<ptrdiff_t>(y) * W;
        const int sy = EnlargedSource(y, stepY, h);
        const uint8_t ramp = Ramp(y, H);
        if (sy == previousSource) {
            const uint8_t* prev = row - W;
            if (ramp == Ramp(y - 1, H))
                std::memcpy(row, prev, static_cast<size_t>(W));
            else
                RampRow(prev, row, W, ramp);
            continue;
        }
        previousSource = sy;
        const uint8_t* source = mask + static_cast<ptrdiff_t>(sy) * w;
        for (int x = 0; x < W; x++) row[x] = source[EnlargedSource(x, stepX, w)] == 1 ? kKeep : ramp;
    }
    return GrowSubjectEdges(picture, weights, W, H, level);
}
