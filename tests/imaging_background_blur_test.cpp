// The background blur renderer. Besides its edge cases, every step is compared
// with a slow reference written here from the plain formulas, on random data of
// odd sizes and on a sample photo: the fast code must give exactly the same bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "imaging/BackgroundBlur.h"
#include "imaging/LoadPicture.h"
#include "imaging/PyramidLevel.h"
#include "imaging/ResizePicture.h"
#include "subject/MakeGreyImage.h"
#include "subject/WorkMemory.h"

namespace {

using Bytes = std::vector<uint8_t>;

size_t Index(int x, int y, int w) {
    return static_cast<size_t>(y) * w + x;
}

// Calls f(x, y) for x0..x1, y0..y1 clipped to a w x h map, rows top first.
template <typename F>
void Each(int x0, int y0, int x1, int y1, int w, int h, F f) {
    for (int y = std::max(0, y0); y <= std::min(h - 1, y1); y++)
        for (int x = std::max(0, x0); x <= std::min(w - 1, x1); x++) f(x, y);
}

// The ramp of row y of H: 0 down to the middle row, then growing to about 96.
int RampOf(int y, int H) {
    const int32_t acc = -100663296 + y * 192 * (1048576 / H);
    return y > H / 2 ? std::max(0, acc >> 20) : 0;
}

// The responses and the spots.
std::pair<Bytes, Bytes> RefFindHighlights(const Bytes& g, int w, int h) {
    Bytes r(g.size()), s(g.size(), 0);
    Each(0, 0, w - 1, h - 1, w, h, [&](int x, int y) {
        int sum = 0;
        Each(x - 3, y - 3, x + 3, y + 3, w, h,
             [&](int xx, int yy) { sum += (kHighlightKernel[yy - y + 3][xx - x + 3] * g[Index(xx, yy, w)]) >> 15; });
        r[Index(x, y, w)] = static_cast<uint8_t>(std::abs(sum));
    });
    Each(0, 0, w - 1, h - 1, w, h, [&](int x, int y) {
        int m = 0;
        Each(x - 2, y - 2, x + 2, y + 2, w, h, [&](int xx, int yy) { m = std::max<int>(m, r[Index(xx, yy, w)]); });
        if (r[Index(x, y, w)] >= 78 && r[Index(x, y, w)] == m) s[Index(x, y, w)] = 255;
    });
    return {r, s};
}

void RefStampHighlights(Bytes& p, const Bytes& s, int w, int h) {
    Each(4, 4, w - 4, h - 4, w, h, [&](int x, int y) {
        if (s[Index(x, y, w)] != 255) return;
        Each(x - 4, y - 4, x + 2, y + 2, w, h, [&](int xx, int yy) {
            for (int c = 0; c < 3 && kStampPattern[(yy - y + 4) / 2][(xx - x + 4) / 2]; c++) {
                uint8_t& v = p[Index(xx, yy, w) * 3 + c];
                v = static_cast<uint8_t>((15 * (v + 289)) >> 5);
            }
        });
    });
}

void RefBlurBackground(Bytes& p, const Bytes& k, int w, int h) {
    for (int pass = 0; pass < 2; pass++) {  // along rows, then along columns
        const Bytes from = p;
        Each(0, 0, w - 1, h - 1, w, h, [&](int x, int y) {
            for (int c = 0; c < 3; c++) {
                int sum = 0;
                for (int d = -3; d <= 3; d++) {  // a tap outside the picture or on the subject takes the centre
                    int xx = x + d * (pass == 0), yy = y + d * (pass == 1);
                    if (xx < 0 || xx >= w || yy < 0 || yy >= h || k[Index(xx, yy, w)] == 1) xx = x, yy = y;
                    sum += kBlurTaps[std::abs(d)] * from[Index(xx, yy, w) * 3 + c];
                }
                p[Index(x, y, w) * 3 + c] = static_cast<uint8_t>(std::min((sum * 21) >> 10, 255));
            }
        });
    }
}

// BuildBlendWeights written plainly, with this implementation's choice at level 0:
// windows clipped to the picture, tests whose neighbour lies outside skipped.
void RefBuildBlendWeights(const Bytes& P, Bytes& M, int W, int H, int level) {
    for (size_t i = 0; i < M.size(); i++) M[i] = M[i] == 1 ? 255 : RampOf(static_cast<int>(i / W), H);
    const int e = 8 * level;
    auto S = [&](int x, int y) { return M[Index(x, y, W)] > 250; };
    auto px = [&](int x, int y, int c) -> int { return P[Index(x, y, W) * 3 + c]; };
    // The walk of up to e + 1 pixels from (x, y) along (sx, sy) while their colour
    // matches the mean of the subject pixels among the nine behind it.
    auto grow = [&](int x, int y, int sx, int sy) {
        int m[4] = {0, 0, 0, 0};  // B, G, R, count
        for (int i = 0, xx = x, yy = y; i < 9; i++, xx -= sx, yy -= sy)
            if (xx >= 0 && xx < W && yy >= 0 && yy < H && S(xx, yy))
                for (int c = 0; c < 4; c++) m[c] += c < 3 ? px(xx, yy, c) : 1;
        for (int c = 0; c < 3; c++) m[c] = m[3] ? m[c] / m[3] : 0;
        for (int i = 0; i <= e; i++, x += sx, y += sy) {
            const int B = px(x, y, 0), G = px(x, y, 1), R = px(x, y, 2);
            if (std::abs(G - B - m[1] + m[0]) + std::abs(G - R - m[1] + m[2]) >= 40 || std::abs(m[1] - G) >= 60) return;
            M[Index(x, y, W)] = 128;
        }
    };
    Each(e, e, W - e - 1, H - e - 1, W, H, [&](int x, int y) {
        if (x + 1 < W && S(x, y) != S(x + 1, y)) grow(x, y, S(x, y) ? 1 : -1, 0);  // right or left edge
        if (y + 1 < H && S(x, y) && !S(x, y + 1)) grow(x, y, 0, 1);                // bottom edge
        if (y >= 1 && S(x, y) && !S(x, y - 1)) grow(x, y, 0, -1);                  // top edge
    });
    for (uint8_t& v : M)
        if (v == 128) v = 255;
}

void RefCompositeBlur(const Bytes& P, const Bytes& b, const Bytes& M, Bytes& O, int W, int H, int w, int h) {
    // The first of the two samples of output index i along a side of n enlarged to N, and the 5-bit fraction.
    auto sample = [](int i, int N, int n, int& i0, int& f) {
        const int a = ((i * ((n * 32768) / N)) >> 10) & 65535;
        i0 = std::max(0, std::min((a >> 5) & 2047, n - 2)), f = a & 31;
    };
    Each(0, 0, W - 1, H - 1, W, H, [&](int X, int Y) {
        int x0, fx, y0, fy;
        sample(X, W, w, x0, fx), sample(Y, H, h, y0, fy);
        const int x1 = std::min(x0 + 1, w - 1), y1 = std::min(y0 + 1, h - 1), m = M[Index(X, Y, W)];
        for (int c = 0; c < 3; c++) {
            auto B = [&](int x, int y) { return b[Index(x, y, w) * 3 + c]; };
            const int top = B(x0, y0) * (32 - fx) + B(x1, y0) * fx, bottom = B(x0, y1) * (32 - fx) + B(x1, y1) * fx;
            const int v = (top * (32 - fy) + bottom * fy) >> 10;
            O[Index(X, Y, W) * 3 + c] = static_cast<uint8_t>((v * (255 - m) + P[Index(X, Y, W) * 3 + c] * m) >> 8);
        }
    });
}

Bytes RefRender(const Bytes& picture, const Bytes& mask, int W, int H, int level) {
    const int w = W >> level, h = H >> level;
    Bytes reduced(static_cast<size_t>(w) * h * 3, 0), grey(static_cast<size_t>(w) * h, 0);
    ResizePicture(picture.data(), W, H, reduced.data(), w, h, 1);
    MakeGreyImage(reduced.data(), grey.data(), w, h);
    RefStampHighlights(reduced, RefFindHighlights(grey, w, h).second, w, h);
    RefBlurBackground(reduced, mask, w, h);
    Bytes M(static_cast<size_t>(W) * H, 0), out(picture.size());
    ResizePicture(mask.data(), w, h, M.data(), W, H, 0);
    RefBuildBlendWeights(picture, M, W, H, level);
    RefCompositeBlur(picture, reduced, M, out, W, H, w, h);
    return out;
}

// A w x h map of value(x, y) and a w x h picture of value(x, y, c), in raster order.
template <typename F>
Bytes Map(int w, int h, F value) {
    Bytes m(static_cast<size_t>(w) * h);
    for (size_t i = 0; i < m.size(); i++) m[i] = static_cast<uint8_t>(value(i % w, i / w));
    return m;
}
template <typename F>
Bytes Picture(int w, int h, F value) {
    return Map(w * 3, h, [&](int x, int y) { return value(x / 3, y, x % 3); });
}

Bytes Random(size_t n, std::mt19937& random) {
    return Map(static_cast<int>(n), 1, [&](int, int) { return random(); });
}

// Flat colour patches with a little noise: edges of matching and other colours.
Bytes Patches(int W, int H, std::mt19937& random) {
    const Bytes colours = Random(18, random);
    const int cell = 3 + random() % 20, noise = 1 + random() % 40;
    return Picture(W, H, [&](int x, int y, int c) {
        const int k = ((x / cell) * 7 + (y / cell) * 3 + (x * y / (cell * cell + 1)) % 2) % 6;
        return std::clamp(colours[k * 3 + c] + static_cast<int>(random() % noise) - noise / 2, 0, 255);
    });
}

// A mask of a few rectangles and discs of 1, and some bytes of 2 and 255 (background).
Bytes Blobs(int w, int h, std::mt19937& random) {
    Bytes m(static_cast<size_t>(w) * h, 0);
    for (int n = 1 + random() % 5; n > 0; n--) {
        const int cx = random() % w, cy = random() % h, rx = 1 + random() % (w / 2 + 1),
                  ry = 1 + random() % (h / 2 + 1);
        const bool disc = random() % 2;
        Each(cx - rx, cy - ry, cx + rx - 1, cy + ry - 1, w, h, [&](int x, int y) {
            const double dx = double(x - cx) / rx, dy = double(y - cy) / ry;
            if (!disc || dx * dx + dy * dy <= 1) m[Index(x, y, w)] = 1;
        });
    }
    for (int i = 0; i < w * h / 50; i++) m[random() % m.size()] = random() % 2 ? 2 : 255;
    return m;
}

TEST(BackgroundBlurTest, ConstantTables) {
    const auto& k = kHighlightKernel;
    int sum = 0;
    Each(0, 0, 6, 6, 7, 7, [&](int x, int y) {
        sum += k[y][x];
        EXPECT_TRUE(k[y][x] == k[6 - y][x] && k[y][x] == k[y][6 - x] && k[y][x] == k[x][y]) << x << "," << y;
    });
    EXPECT_EQ(sum, 0);
    const int known[][3] = {{3, 3, -5220}, {0, 0, 324}, {1, 1, 839}, {1, 3, 118}, {2, 3, -3002}, {2, 2, -1501}};
    for (auto [y, x, v] : known) EXPECT_EQ(k[y][x], v) << y << "," << x;
    EXPECT_EQ(kBlurTaps[0] + 2 * (kBlurTaps[1] + kBlurTaps[2] + kBlurTaps[3]), 49);
    EXPECT_TRUE(kBlurTaps[0] == 9 && kBlurTaps[3] == 5);
    const char* rows[4] = {"0110", "1111", "1111", "0110"};
    Each(0, 0, 3, 3, 4, 4, [&](int x, int y) { EXPECT_EQ(kStampPattern[y][x], rows[y][x] - '0') << x << "," << y; });
}

// Each product (kernel x 255) is floored on its own: the centre cell gives -41, the four
// beside it -24 each, the four diagonal ones -12 each; the 40 outer cells give 160 together.
TEST(FindHighlightsTest, ResponsesAndSpotsOfSmallBlocks) {
    struct Case {
        const char* name;
        int w, h, fill, x0, y0, x1, y1;            // the map, and the block of 255 - fill
        int px, py, response, maxResponse, spots;  // at (px, py), and over the map
    } cases[] = {
        {"one pixel", 30, 30, 0, 15, 15, 15, 15, 15, 15, 41, 41, 0},
        {"two pixels, below 78", 20, 20, 0, 10, 10, 11, 10, 10, 10, 41 + 24, 41 + 24, 0},
        {"2 x 2, a plateau of four spots", 30, 30, 0, 14, 14, 15, 15, 15, 15, 41 + 48 + 12, 101, 4},
        {"3 x 3, one spot at the centre", 31, 29, 0, 10, 13, 12, 15, 11, 14, 41 + 96 + 48, 185, 1},
        {"dark 3 x 3 on white", 30, 30, 255, 13, 13, 15, 15, 14, 14, 160, 160, 1},
        {"corner: cells outside count nothing", 10, 10, 0, 0, 0, 0, 0, 1, 0, 24, 41, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes grey = Map(c.w, c.h, [&](int x, int y) {
            return x >= c.x0 && x <= c.x1 && y >= c.y0 && y <= c.y1 ? 255 - c.fill : c.fill;
        });
        Bytes responses(grey.size()), spots(grey.size());
        FindHighlights(grey.data(), responses.data(), spots.data(), c.w, c.h);
        EXPECT_EQ(responses[Index(c.px, c.py, c.w)], c.response);
        EXPECT_EQ(spots[Index(c.px, c.py, c.w)], c.spots ? 255 : 0);
        // On a white map the missing kernel cells give the borders responses of their own.
        const int m = c.fill ? 7 : 0;
        int most = 0, n = 0;
        Each(m, m, c.w - 1 - m, c.h - 1 - m, c.w, c.h, [&](int x, int y) {
            most = std::max<int>(most, responses[Index(x, y, c.w)]);
            n += spots[Index(x, y, c.w)] == 255;
        });
        EXPECT_EQ(most, c.maxResponse);
        EXPECT_EQ(n, c.spots);
    }
}

TEST(StampHighlightsTest, BrightensADiscAroundSpotsAwayFromTheBordersAndAgainWhereDiscsOverlap) {
    const int w = 30, h = 30;
    // The disc about a spot S: the pattern's cells of 2 x 2 pixels, cut at the window's last line.
    const char* disc[7] = {"..XXXX.", "..XXXX.", "XXXXXXX", "XXXXXXX", "XXXXSXX", "XXXXXXX", "..XXXX."};
    auto in = [&](int dx, int dy) { return dx >= -4 && dx <= 2 && dy >= -4 && dy <= 2 && disc[dy + 4][dx + 4] != '.'; };
    // Spots 3 and 4 from the left and top borders, 2 and 3 from the others (stamped: 1), two side by side.
    const int spots[][3] = {{3, 15, 0}, {4, 15, 1},  {27, 15, 0}, {26, 15, 1}, {15, 3, 0},
                            {15, 4, 1}, {15, 27, 0}, {15, 26, 1}, {14, 15, 1}, {15, 15, 1}};
    // Channel values 255, 0 and 100 brightened 0, 1 and 2 times: (15 x (v + 289)) >> 5.
    const int want[3][3] = {{255, 255, 255}, {0, 135, 198}, {100, 182, 220}};
    Bytes p = Picture(w, h, [&](int, int, int c) { return want[c][0]; }), s(w * h, 0);
    for (auto [x, y, stamped] : spots) s[Index(x, y, w)] = 255;
    StampHighlights(p.data(), s.data(), w, h);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            int times = 0;
            for (auto [sx, sy, stamped] : spots) times += stamped && in(x - sx, y - sy);
            for (int c = 0; c < 3; c++) ASSERT_EQ(p[Index(x, y, w) * 3 + c], want[c][times]) << x << "," << y;
        }
}

TEST(BlurBackgroundTest, BackgroundNeverTakesTheSubjectsColourAndResultsStopAt255) {
    // A red subject on a blue background of 200 (200 x 49 x 21 >> 10 is 200 again).
    // Where every tap falls on the subject, 255 x 49 x 21 >> 10 is 256, limited to 255.
    const int w = 40, h = 30;
    auto subject = [](int x, int y) { return x >= 15 && x < 25 && y >= 10 && y < 20; };
    Bytes p = Picture(w, h, [&](int x, int y, int c) { return subject(x, y) ? (c == 2) * 255 : (c == 0) * 200; });
    Bytes k = Map(w, h, subject), temp(w * h * 3, 0xAA);
    BlurBackground(p.data(), k.data(), temp.data(), w, h);
    // Subject pixels less than 3 from the subject's edge take some background: not checked.
    const Bytes want = Picture(w, h, [&](int x, int y, int c) {
        const bool inner = x >= 18 && x < 22 && y >= 13 && y < 17;
        return inner ? (c == 2) * 255 : subject(x, y) ? p[Index(x, y, w) * 3 + c] : (c == 0) * 200;
    });
    EXPECT_EQ(p, want);
}

// Every step against its reference on random data of many sizes; the weights of a full-size mask and
// from a reduced one, and the composite of a copy reduced at each level, also in place.
TEST(BackgroundBlurTest, EveryStepMatchesTheFormulasOnRandomDataOfAnySize) {
    std::mt19937 random(1);
    const int sizes[][2] = {{1, 1},     {1, 7},    {1, 9},     {7, 1},     {8, 1},    {9, 1},    {2, 2},     {3, 3},
                            {3, 5},     {5, 4},    {7, 5},     {7, 7},     {8, 8},    {9, 13},   {13, 7},    {13, 11},
                            {17, 17},   {17, 23},  {18, 40},   {31, 17},   {33, 9},   {33, 35},  {40, 18},   {50, 40},
                            {61, 47},   {64, 3},   {64, 48},   {97, 61},   {101, 67}, {127, 97}, {150, 131}, {203, 150},
                            {300, 211}, {420, 37}, {421, 100}, {1601, 13}, {2100, 4}};
    for (auto [W, H] : sizes)
        for (int level = 0; level <= 4; level++) {
            SCOPED_TRACE(testing::Message() << W << "x" << H << " level " << level);
            const size_t n = static_cast<size_t>(W) * H;
            const int w = W >> level, h = H >> level;
            const bool noise = level % 2 == 0;
            // Highlights, into buffers of 77: noise, or sparse bright and dark dots over a smooth ground.
            const Bytes grey = Map(W, H, [&](int, int) {
                return noise ? random() : random() % 12 ? 128 : random() % 2 * 255;
            });
            Bytes responses(n, 77), spots(n, 77), temp(n * 3);
            FindHighlights(grey.data(), responses.data(), spots.data(), W, H);
            ASSERT_EQ(std::make_pair(responses, spots), RefFindHighlights(grey, W, H)) << "highlights";
            // Stamp: spots of 255 among bytes of 254 (no spot) and 0.
            Bytes p = Random(n * 3, random), want = p;
            const Bytes s = Map(W, H, [&](int, int) { return random() % 9 == 0 ? 255 : random() % 9 == 0 ? 254 : 0; });
            StampHighlights(p.data(), s.data(), W, H);
            RefStampHighlights(want, s, W, H);
            ASSERT_EQ(p, want) << "stamp";
            // Blur: without subject, or with a few blobs.
            const Bytes k = noise ? Bytes(n, 0) : Blobs(W, H, random);
            p = want = Random(n * 3, random);
            BlurBackground(p.data(), k.data(), temp.data(), W, H);
            RefBlurBackground(want, k, W, H);
            ASSERT_EQ(p, want) << "blur";
            // Weights of patches.
            const Bytes P = Patches(W, H, random);
            Bytes M = Blobs(W, H, random), ref = M;
            ASSERT_EQ(BuildBlendWeights(P.data(), M.data(), W, H, level), 1);
            RefBuildBlendWeights(P, ref, W, H, level);
            ASSERT_EQ(M, ref) << "weights";
            if (w < 1 || h < 1) continue;
            const Bytes mask = Blobs(w, h, random);
            Bytes fromMask(n);
            ResizePicture(mask.data(), w, h, M.data(), W, H, 0);
            ref = M;
            ASSERT_EQ(BuildBlendWeightsFromMask(P.data(), mask.data(), fromMask.data(), W, H, w, h, level), 1);
            RefBuildBlendWeights(P, ref, W, H, level);
            ASSERT_EQ(fromMask, ref) << "weights from the reduced mask";
            // Composite of a random w x h copy through random weights.
            const Bytes b = Random(static_cast<size_t>(w) * h * 3, random);
            p = Random(n * 3, random), M = Random(n, random);
            Bytes O(n * 3);
            RefCompositeBlur(p, b, M, want, W, H, w, h);
            ASSERT_EQ(CompositeBlur(p.data(), b.data(), M.data(), O.data(), W, H, w, h), 1);
            ASSERT_EQ(O, want) << "composite";
            ASSERT_EQ(CompositeBlur(p.data(), b.data(), M.data(), p.data(), W, H, w, h), 1);
            ASSERT_EQ(p, want) << "composite in place";
        }
}

// The weights of the picture value(x, y, c) with subject where subject(x, y), checked against the reference.
template <typename F, typename G>
Bytes Weights(int W, int H, int level, F value, G subject) {
    const Bytes P = Picture(W, H, value);
    Bytes M = Map(W, H, subject), ref = M;
    EXPECT_EQ(BuildBlendWeights(P.data(), M.data(), W, H, level), 1);
    RefBuildBlendWeights(P, ref, W, H, level);
    EXPECT_EQ(M, ref);
    return M;
}

TEST(BuildBlendWeightsTest, WithoutSubjectTheUpperHalfIsBlurredAndTheBottomKeepsAbout96) {
    const int W = 50, H = 301;
    std::mt19937 random(4);
    const Bytes M = Weights(
        W, H, 2, [&](int, int, int) { return random(); }, [](int, int) { return 0; });
    for (int y = 0; y < H; y++)
        for (int x = 0; x < W; x++) ASSERT_EQ(M[Index(x, y, W)], RampOf(y, H)) << x << "," << y;
    for (int y = H / 2 + 1; y < H; y++) EXPECT_GE(RampOf(y, H), RampOf(y - 1, H)) << y;
    EXPECT_EQ(RampOf(H - 1, H), 95);
}

TEST(BuildBlendWeightsTest, TheSubjectGrowsIntoMatchingColoursUpTo8TimesLevelPixels) {
    const int W = 120, H = 90;
    for (int level = 0; level <= 3; level++)
        for (int side = 0; side < 4; side++) {
            // Grey; subject left of column 60, right of it, above row 30 or below it. Lines less than e
            // from a border are not visited. The walks grow e pixels, but the left one starts at the
            // background pixel next to the subject and grows e + 1.
            const int e = 8 * level, split = side < 2 ? 60 : 30, n = side < 2 ? H : W;
            const bool first = side % 2 == 0, vertical = side >= 2;
            const int from = first ? split : split - e - (side == 1), to = first ? split + e - 1 : split - 1;
            auto along = [&](int x, int y) { return vertical ? y : x; };
            const Bytes M = Weights(
                W, H, level, [](int, int, int) { return 100; },
                [&](int x, int y) { return (along(x, y) < split) == first; });
            for (int y = 0; y < H; y++)
                for (int x = 0; x < W; x++) {
                    const int a = along(x, y), across = along(y, x);
                    const bool keep = (a < split) == first || (across >= e && across < n - e && a >= from && a <= to);
                    ASSERT_EQ(M[Index(x, y, W)], keep ? 255 : RampOf(y, H))
                        << "level " << level << " side " << side << " at " << x << "," << y;
                }
        }
}

TEST(BuildBlendWeightsTest, TheSubjectGrowsOnlyIntoColoursNearTheMeanOfItsOwnPixels) {
    // Green left of column 36, subject columns 36 .. 39 of grey 130 and 70 (mean 100) and a colour B, G, R
    // from column 40 on, at level 1. Counted among the nine averaged pixels 31 .. 39, the green would pull
    // the mean far off. The right walk from 39 reaches 47; the left walk stops at once on green.
    const int cases[][4] = {
        // B, G, R, joins
        {100, 100, 100, 1}, {159, 159, 159, 1},  // |G - G'| 59
        {160, 160, 160, 0},                      // 60
        {100, 119, 100, 1},                      // (G - B) and (G - R) each 19 off: 38
        {100, 120, 100, 0},                      // 40
        {80, 100, 119, 1},                       // 20 + 19
        {100, 200, 100, 0}, {0, 0, 255, 0},
    };
    for (const auto& c : cases) {
        auto colour = [&](int x, int, int k) { return x < 36 ? (k == 1) * 250 : x < 40 ? 130 - x % 2 * 60 : c[k]; };
        const Bytes M = Weights(80, 60, 1, colour, [](int x, int) { return x >= 36 && x < 40; });
        const uint8_t* row = &M[Index(0, 30, 80)];
        const uint8_t joins = c[3] ? 255 : 0;
        EXPECT_EQ(Bytes({row[35], row[40], row[47], row[48]}), Bytes({0, joins, joins, 0}))
            << c[0] << "," << c[1] << "," << c[2];
    }
}

TEST(BuildBlendWeightsTest, TopEdgeTestsRunDownTheSubjectAndALowerMatchingOneReachesTheRowsAbove) {
    // Grey runs from the given rows on, subject from row 20, level 1. A walk marks its own first pixel,
    // so each subject row meets the top-edge test in turn until one misses its mean.
    // 1: rows 20 .. 26 match their means (187 down to 151), whose walks stop at the 90 above (60 or more
    // off); the mean at row 27 (145) is 55 from 90: its walk reaches row 19, the eighth pixel up.
    // 2: row 20 matches its mean (139, 62 from the 77 above); row 21 misses its mean (133) by exactly
    // 60, so the chain stops: had it matched, its walk would have taken rows 20 .. 13 (44 and 56 off).
    const int W = 40;
    const struct {
        int runs[4][2], row19;
    } cases[] = {{{{0, 90}, {20, 200}, {21, 200}, {27, 145}}, 255}, {{{0, 77}, {20, 177}, {21, 193}, {22, 126}}, 0}};
    for (const auto& c : cases) {
        auto grey = [&](int, int y, int) {
            int v = 0;
            for (auto [from, value] : c.runs) v = y >= from ? value : v;
            return v;
        };
        const Bytes M = Weights(W, 60, 1, grey, [](int, int y) { return y >= 20; });
        for (int x = 8; x < W - 8; x++)
            EXPECT_TRUE(M[Index(x, 19, W)] == c.row19 && M[Index(x, 18, W)] == 0) << c.runs[0][1] << " " << x;
    }
}

TEST(BuildBlendWeightsTest, AtLevel0WindowsAreClippedAndTestsLookingOutsideAreSkipped) {
    // Dark grey, subject in column 0 and in column W - 1 of the upper rows. The left-edge test before
    // column W - 1 averages only W - 2 .. W - 1 and takes W - 2 in. Column W - 1 below has no right
    // neighbour: no left-edge test there, although the next row's first pixel is subject.
    const int W = 20, H = 10;
    const Bytes M = Weights(
        W, H, 0, [](int, int, int) { return 10; }, [&](int x, int y) { return x == 0 || (x == W - 1 && y < 4); });
    for (int y = 0; y < H; y++)
        for (int x = 0; x < W; x++)
            ASSERT_EQ(M[Index(x, y, W)], x == 0 || (x >= W - 2 && y < 4) ? 255 : RampOf(y, H)) << x << "," << y;
}

TEST(CompositeBlurTest, InterpolatesAKnownRampWithTheClampAtTheEnd) {
    // Columns 0, 32, 64, 96 enlarged four times, all weights 0: X maps to x0 = X / 4 and
    // fx = 8 (X % 4), except that x0 stops at w - 2 = 2 while fx goes on.
    const int w = 4, h = 2, W = 16, H = 8;
    Bytes b = Picture(w, h, [](int x, int, int) { return 32 * x; }), P(W * H * 3, 200), M(W * H, 0), O(W * H * 3, 1);
    ASSERT_EQ(CompositeBlur(P.data(), b.data(), M.data(), O.data(), W, H, w, h), 1);
    for (int Y = 0; Y < H; Y++)
        for (int X = 0; X < W; X++)
            for (int c = 0; c < 3; c++)
                ASSERT_EQ(O[Index(X, Y, W) * 3 + c], ((X < 12 ? 8 * X : 64 + 8 * (X - 12)) * 255) >> 8)
                    << X << "," << Y;
    // Rows 0 and 128: y0 stops at h - 2 = 0 while fy goes on, so rows 4 .. 7 repeat rows 0 .. 3.
    b = Picture(w, h, [](int, int y, int) { return 128 * y; });
    ASSERT_EQ(CompositeBlur(P.data(), b.data(), M.data(), O.data(), W, H, w, h), 1);
    for (int Y = 0; Y < H; Y++) EXPECT_EQ(O[Index(5, Y, W) * 3], (32 * (Y % 4) * 255) >> 8) << Y;
}

// At the level of the longer side (420 is level 0, 421 level 1), into another buffer and in place.
// Tiny pictures, single rows and columns and the smallest pictures of each level (one reduced
// pixel on a side) take random pictures and masks of 0 and 1 as well as patches and blobs.
TEST(RenderBackgroundBlurTest, MatchesTheFormulasAtTheLevelOfTheLongerSideAndInPlace) {
    std::mt19937 random(12);
    const int sizes[][4] = {// W, H, level, random rather than patches
                            {1, 1, 0, 1},     {1, 2, 0, 1},     {2, 1, 0, 1},     {2, 2, 0, 1},     {1, 300, 0, 1},
                            {300, 1, 0, 1},   {3, 3, 0, 1},     {2, 421, 1, 1},   {421, 2, 1, 1},   {4, 851, 2, 1},
                            {8, 1651, 3, 1},  {16, 3251, 4, 1}, {3251, 16, 4, 1}, {1, 1, 0, 0},     {1, 5, 0, 0},
                            {5, 1, 0, 0},     {2, 2, 0, 0},     {3, 3, 0, 0},     {8, 9, 0, 0},     {57, 33, 0, 0},
                            {200, 151, 0, 0}, {420, 37, 0, 0},  {421, 37, 1, 0},  {37, 420, 0, 0},  {38, 421, 1, 0},
                            {430, 20, 1, 0},  {16, 851, 2, 0},  {700, 523, 1, 0}, {1651, 40, 3, 0}, {64, 3251, 4, 0}};
    for (auto [W, H, level, noise] : sizes) {
        SCOPED_TRACE(testing::Message() << W << "x" << H << (noise ? " random" : " patches"));
        ASSERT_EQ(PyramidLevel(std::max(W, H)), level);
        const int w = W >> level, h = H >> level;
        Bytes P = noise ? Random(static_cast<size_t>(W) * H * 3, random) : Patches(W, H, random);
        const Bytes mask = noise ? Map(w, h, [&](int, int) { return random() % 2; }) : Blobs(w, h, random);
        Bytes O(P.size(), 7);
        ASSERT_EQ(RenderBackgroundBlur(P.data(), mask.data(), O.data(), W, H), 1);
        ASSERT_EQ(O, RefRender(P, mask, W, H, level));
        ASSERT_EQ(RenderBackgroundBlur(P.data(), mask.data(), P.data(), W, H), 1);
        ASSERT_EQ(P, O) << "in place";
    }
}

// Without subject, a fine checkerboard blurs to a flat grey in the upper half, and the bottom row
// keeps a share of 94/256 of its 0 / 250 steps. With only subject, every byte is kept, times 255 / 256.
TEST(RenderBackgroundBlurTest, WithoutSubjectTheUpperHalfIsAllBlurAndWithOnlySubjectAllIsSharp) {
    std::mt19937 random(11);
    for (auto [W, H] : {std::pair{200, 160}, std::pair{900, 500}}) {
        const int level = PyramidLevel(std::max(W, H));
        Bytes P = Picture(W, H, [](int x, int y, int) { return (x + y) % 2 * 250; }), O(P.size());
        Bytes mask(static_cast<size_t>(W >> level) * (H >> level), 0);
        ASSERT_EQ(RenderBackgroundBlur(P.data(), mask.data(), O.data(), W, H), 1);
        auto contrast = [&](int y) { return std::abs(O[Index(W / 2, y, W) * 3] - O[Index(W / 2 + 1, y, W) * 3]); };
        for (int y = 10; y <= H / 2; y++) EXPECT_LE(contrast(y), 2) << y;
        EXPECT_NEAR(contrast(H - 1), 250 * 94 / 256, 12);
        EXPECT_GT(contrast(H - 1), contrast(H * 3 / 4));
        P = O = Random(P.size(), random);
        mask.assign(mask.size(), 1);
        ASSERT_EQ(RenderBackgroundBlur(P.data(), mask.data(), P.data(), W, H), 1);  // in place
        for (size_t i = 0; i < P.size(); i++) ASSERT_EQ(P[i], (O[i] * 255) >> 8) << i;
    }
}

TEST(RenderBackgroundBlurTest, MatchesTheFormulasOnASamplePhotoWithAHeadAndShoulders) {
    ImageRecord record{};
    const std::string path = std::string(LUMETRA_SOURCE_DIR) + "/samples/grace_hopper_single.jpg";
    ASSERT_EQ(LoadPicture(std::wstring(path.begin(), path.end()).c_str(), L"sample", &record), LOAD_OK);
    const int W = record.width, H = record.height, level = PyramidLevel(std::max(W, H)), w = W >> level, h = H >> level;
    const Bytes P(record.pixels, record.pixels + static_cast<size_t>(W) * H * 3);
    ClearImageRecord(&record);
    const Bytes mask = Map(w, h, [&](int x, int y) {
        const int dx = x - w / 2, dy = y - h * 2 / 5;
        return dx * dx + dy * dy < (w / 5) * (w / 5) || (y > h * 3 / 5 && std::abs(dx) < w / 3);
    });
    Bytes O(P.size());
    ASSERT_EQ(RenderBackgroundBlur(P.data(), mask.data(), O.data(), W, H), 1);
    EXPECT_EQ(O, RefRender(P, mask, W, H, level));
}

TEST(RenderBackgroundBlurTest, AFailedAllocationLeavesThePictureUntouched) {
    std::mt19937 random(13);
    for (auto [W, H] : {std::pair{120, 90}, std::pair{1, 1}, std::pair{700, 400}}) {
        const int level = PyramidLevel(std::max(W, H));
        const Bytes original = Patches(W, H, random), mask = Blobs(W >> level, H >> level, random);
        // Three buffers, the edge growing's column state and the composite's three: seven.
        for (int allowed = 0; allowed <= 7; allowed++) {
            SCOPED_TRACE(testing::Message() << W << "x" << H << " with " << allowed << " allocations allowed");
            Bytes picture = original;
            FailWorkAllocationsAfter(allowed);
            const int result = RenderBackgroundBlur(picture.data(), mask.data(), picture.data(), W, H);
            FailWorkAllocationsAfter(-1);
            ASSERT_EQ(result, allowed == 7 ? 1 : 0);
            ASSERT_EQ(picture, result ? RefRender(original, mask, W, H, level) : original);
        }
    }
}

TEST(RenderBackgroundBlurTest, SizesWithoutAReducedPixelAndBadArgumentsAreRefused) {
    Bytes P(4 * 3000 * 3, 90), mask(1, 1);
    const Bytes keep = P;
    EXPECT_EQ(RenderBackgroundBlur(P.data(), mask.data(), P.data(), 4, 3000), 0);  // level 3: w = 0
    EXPECT_EQ(RenderBackgroundBlur(P.data(), mask.data(), P.data(), 0, 10), 0);
    EXPECT_EQ(RenderBackgroundBlur(P.data(), mask.data(), P.data(), 10, -1), 0);
    EXPECT_EQ(RenderBackgroundBlur(nullptr, mask.data(), P.data(), 1, 1), 0);
    EXPECT_EQ(RenderBackgroundBlur(P.data(), nullptr, P.data(), 1, 1), 0);
    EXPECT_EQ(RenderBackgroundBlur(P.data(), mask.data(), nullptr, 1, 1), 0);
    EXPECT_EQ(P, keep);
}

}  // namespace
