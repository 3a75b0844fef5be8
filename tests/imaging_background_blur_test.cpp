// The background blur renderer. Besides its edge cases, every step is compared
// with a slow reference written here straight from the plain formulas, on random data of odd sizes and on a sample
// photo, so the fast implementations must give exactly the same bytes.
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

// The ramp of row y of H: 0 down to the middle row, then growing to about 96.
int RampOf(int y, int H) {
    const int32_t acc = -100663296 + y * 192 * (1048576 / H);
    return y > H / 2 ? std::max(0, acc >> 20) : 0;
}

// ---------------------------------------------------------------------------
// References, one formula at a time.

struct Highlights {
    Bytes responses, spots;
};

Highlights RefFindHighlights(const Bytes& g, int w, int h) {
    Highlights out{Bytes(g.size()), Bytes(g.size(), 0)};
    auto inside = [&](int x, int y) { return x >= 0 && x < w && y >= 0 && y < h; };
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            int r = 0;
            for (int dy = -3; dy <= 3; dy++)
                for (int dx = -3; dx <= 3; dx++)
                    if (inside(x + dx, y + dy))
                        r += (kHighlightKernel[dy + 3][dx + 3] * g[Index(x + dx, y + dy, w)]) >> 15;
            out.responses[Index(x, y, w)] = static_cast<uint8_t>(std::abs(r));
        }
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            int m = 0;
            for (int dy = -2; dy <= 2; dy++)
                for (int dx = -2; dx <= 2; dx++)
                    if (inside(x + dx, y + dy)) m = std::max<int>(m, out.responses[Index(x + dx, y + dy, w)]);
            const int r = out.responses[Index(x, y, w)];
            if (r >= 78 && r == m) out.spots[Index(x, y, w)] = 255;
        }
    return out;
}

void RefStampHighlights(Bytes& p, const Bytes& s, int w, int h) {
    for (int y = 4; y + 3 < h; y++)
        for (int x = 4; x + 3 < w; x++) {
            if (s[Index(x, y, w)] != 255) continue;
            for (int wy = 0; wy < 7; wy++)
                for (int wx = 0; wx < 7; wx++)
                    for (int c = 0; c < 3 && kStampPattern[wy / 2][wx / 2]; c++) {
                        uint8_t& v = p[Index(x - 4 + wx, y - 4 + wy, w) * 3 + c];
                        v = static_cast<uint8_t>((15 * (v + 289)) >> 5);
                    }
        }
}

void RefBlurBackground(Bytes& p, const Bytes& k, int w, int h) {
    // One pass along (dx, dy): a tap outside the picture or on the subject takes the centre.
    auto pass = [&](const Bytes& from, Bytes& to, int dx, int dy) {
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++)
                for (int c = 0; c < 3; c++) {
                    int sum = 0;
                    for (int d = -3; d <= 3; d++) {
                        int xx = x + d * dx, yy = y + d * dy;
                        if (xx < 0 || xx >= w || yy < 0 || yy >= h || k[Index(xx, yy, w)] == 1) xx = x, yy = y;
                        sum += kBlurTaps[std::abs(d)] * from[Index(xx, yy, w) * 3 + c];
                    }
                    to[Index(x, y, w) * 3 + c] = static_cast<uint8_t>(std::min((sum * 21) >> 10, 255));
                }
    };
    Bytes t(p.size(), 0);
    pass(p, t, 1, 0);
    pass(t, p, 0, 1);
}

// BuildBlendWeights written plainly, with this implementation's choice at level 0:
// windows clipped to the picture, tests whose neighbour lies outside skipped.
void RefBuildBlendWeights(const Bytes& P, Bytes& M, int W, int H, int level) {
    for (int y = 0; y < H; y++)
        for (int x = 0; x < W; x++) M[Index(x, y, W)] = M[Index(x, y, W)] == 1 ? 255 : RampOf(y, H);
    const int e = 8 * level;
    auto S = [&](int x, int y) { return M[y * W + x] > 250; };
    auto mean = [&](int x0, int y0, int dx, int dy, int n, int out[3]) {
        int sum[3] = {0, 0, 0}, count = 0;
        for (int i = 0; i < n; i++) {
            const int x = x0 + i * dx, y = y0 + i * dy;
            if (x < 0 || x >= W || y < 0 || y >= H || !S(x, y)) continue;
            for (int c = 0; c < 3; c++) sum[c] += P[(y * W + x) * 3 + c];
            count++;
        }
        for (int c = 0; c < 3; c++) out[c] = count ? sum[c] / count : 0;
    };
    auto matches = [&](int x, int y, const int m[3]) {
        const int B = P[(y * W + x) * 3], G = P[(y * W + x) * 3 + 1], R = P[(y * W + x) * 3 + 2];
        return std::abs((G - B) - (m[1] - m[0])) + std::abs((G - R) - (m[1] - m[2])) < 40 && std::abs(m[1] - G) < 60;
    };
    auto walk = [&](int x, int y, int dx, int dy, const int m[3]) {
        for (int i = 0; i <= e; i++) {
            if (!matches(x + i * dx, y + i * dy, m)) return;
            M[(y + i * dy) * W + x + i * dx] = 128;
        }
    };
    for (int y = e; y <= H - e - 1; y++)
        for (int x = e; x <= W - e - 1; x++) {
            int m[3];
            if (x + 1 < W && S(x, y) && !S(x + 1, y)) mean(x - 8, y, 1, 0, 9, m), walk(x, y, 1, 0, m);
            if (x + 1 < W && !S(x, y) && S(x + 1, y)) mean(x, y, 1, 0, 9, m), walk(x, y, -1, 0, m);
            if (y + 1 < H && S(x, y) && !S(x, y + 1)) mean(x, y - 8, 0, 1, 9, m), walk(x, y, 0, 1, m);
            if (y >= 1 && S(x, y) && !S(x, y - 1)) mean(x, y, 0, 1, 9, m), walk(x, y, 0, -1, m);
        }
    for (uint8_t& v : M)
        if (v == 128) v = 255;
}

void RefCompositeBlur(const Bytes& P, const Bytes& b, const Bytes& M, Bytes& O, int W, int H, int w, int h) {
    // The first of the two samples of output index i along a side of n enlarged to N, and the 5-bit fraction.
    auto sample = [](int i, int N, int n, int& i0, int& f) {
        const int a = ((i * ((n * 32768) / N)) >> 10) & 65535;
        i0 = std::max(0, std::min((a >> 5) & 2047, n - 2)), f = a & 31;
    };
    for (int Y = 0; Y < H; Y++)
        for (int X = 0; X < W; X++) {
            int x0, fx, y0, fy;
            sample(X, W, w, x0, fx), sample(Y, H, h, y0, fy);
            const int x1 = std::min(x0 + 1, w - 1), y1 = std::min(y0 + 1, h - 1), m = M[Index(X, Y, W)];
            for (int c = 0; c < 3; c++) {
                auto B = [&](int x, int y) { return b[Index(x, y, w) * 3 + c]; };
                const int top = B(x0, y0) * (32 - fx) + B(x1, y0) * fx, bottom = B(x0, y1) * (32 - fx) + B(x1, y1) * fx;
                const int v = (top * (32 - fy) + bottom * fy) >> 10;
                O[Index(X, Y, W) * 3 + c] = static_cast<uint8_t>((v * (255 - m) + P[Index(X, Y, W) * 3 + c] * m) >> 8);
            }
        }
}

Bytes RefRender(const Bytes& picture, const Bytes& mask, int W, int H, int level) {
    const int w = W >> level, h = H >> level;
    Bytes reduced(static_cast<size_t>(w) * h * 3, 0), grey(static_cast<size_t>(w) * h, 0);
    ResizePicture(picture.data(), W, H, reduced.data(), w, h, 1);
    MakeGreyImage(reduced.data(), grey.data(), w, h);
    RefStampHighlights(reduced, RefFindHighlights(grey, w, h).spots, w, h);
    RefBlurBackground(reduced, mask, w, h);
    Bytes M(static_cast<size_t>(W) * H, 0), out(picture.size());
    ResizePicture(mask.data(), w, h, M.data(), W, H, 0);
    RefBuildBlendWeights(picture, M, W, H, level);
    RefCompositeBlur(picture, reduced, M, out, W, H, w, h);
    return out;
}

// ---------------------------------------------------------------------------
// Test data.

// A w x h picture of value(x, y, c) and a w x h map of value(x, y), in raster order.
template <typename F>
Bytes Picture(int w, int h, F value) {
    Bytes p(static_cast<size_t>(w) * h * 3);
    for (size_t i = 0; i < p.size(); i++) p[i] = static_cast<uint8_t>(value(i / 3 % w, i / 3 / w, i % 3));
    return p;
}
template <typename F>
Bytes Map(int w, int h, F value) {
    Bytes m(static_cast<size_t>(w) * h);
    for (size_t i = 0; i < m.size(); i++) m[i] = static_cast<uint8_t>(value(i % w, i / w));
    return m;
}

Bytes Random(size_t n, std::mt19937& random) {
    Bytes b(n);
    for (uint8_t& v : b) v = static_cast<uint8_t>(random());
    return b;
}

// A picture of a few flat colour patches with a little noise, so that edge
// growing finds matching and non-matching neighbours.
Bytes Patches(int W, int H, std::mt19937& random) {
    uint8_t colours[6][3];
    for (auto& c : colours)
        for (uint8_t& v : c) v = static_cast<uint8_t>(random());
    const int cell = 3 + static_cast<int>(random() % 20), noise = static_cast<int>(random() % 40) + 1;
    return Picture(W, H, [&](int x, int y, int c) {
        const int k = ((x / cell) * 7 + (y / cell) * 3 + (x * y / (cell * cell + 1)) % 2) % 6;
        return std::clamp(colours[k][c] + static_cast<int>(random() % noise) - noise / 2, 0, 255);
    });
}

// A mask of a few rectangles and discs of 1 (and some bytes that are neither 0
// nor 1, which count as background).
Bytes Blobs(int w, int h, std::mt19937& random) {
    Bytes m(static_cast<size_t>(w) * h, 0);
    const int n = 1 + static_cast<int>(random() % 5);
    for (int i = 0; i < n; i++) {
        const int cx = static_cast<int>(random() % w), cy = static_cast<int>(random() % h);
        const int rx = 1 + static_cast<int>(random() % (w / 2 + 1)), ry = 1 + static_cast<int>(random() % (h / 2 + 1));
        const bool disc = random() % 2;
        for (int y = std::max(0, cy - ry); y < std::min(h, cy + ry); y++)
            for (int x = std::max(0, cx - rx); x < std::min(w, cx + rx); x++) {
                const double dx = double(x - cx) / rx, dy = double(y - cy) / ry;
                if (!disc || dx * dx + dy * dy <= 1) m[Index(x, y, w)] = 1;
            }
    }
    for (int i = 0; i < w * h / 50; i++) m[random() % m.size()] = static_cast<uint8_t>(random() % 2 ? 2 : 255);
    return m;
}

// ---------------------------------------------------------------------------
// Constants.

TEST(BackgroundBlurTest, ConstantTablesAreThePartsTables) {
    int sum = 0;
    for (int y = 0; y < 7; y++)
        for (int x = 0; x < 7; x++) {
            sum += kHighlightKernel[y][x];
            EXPECT_EQ(kHighlightKernel[y][x], kHighlightKernel[6 - y][x]);
            EXPECT_EQ(kHighlightKernel[y][x], kHighlightKernel[y][6 - x]);
            EXPECT_EQ(kHighlightKernel[y][x], kHighlightKernel[x][y]);
        }
    EXPECT_EQ(sum, 0);
    const int known[][3] = {{3, 3, -5220}, {0, 0, 324}, {1, 1, 839}, {1, 3, 118}, {2, 3, -3002}, {2, 2, -1501}};
    for (auto [y, x, v] : known) EXPECT_EQ(kHighlightKernel[y][x], v) << y << "," << x;
    EXPECT_EQ(kBlurTaps[0] + 2 * (kBlurTaps[1] + kBlurTaps[2] + kBlurTaps[3]), 49);
    EXPECT_EQ(kBlurTaps[0], 9);
    EXPECT_EQ(kBlurTaps[3], 5);
    const char* rows[4] = {"0110", "1111", "1111", "0110"};
    for (int y = 0; y < 4; y++)
        for (int x = 0; x < 4; x++) EXPECT_EQ(kStampPattern[y][x], rows[y][x] - '0');
}

// ---------------------------------------------------------------------------
// FindHighlights.

struct HighlightCase {
    Bytes grey, responses, spots;
    int w, h;
    explicit HighlightCase(int w_, int h_, uint8_t fill = 0)
        : grey(static_cast<size_t>(w_) * h_, fill), responses(grey.size(), 77), spots(grey.size(), 77), w(w_), h(h_) {}
    // Sets the block x0..x1, y0..y1 of the map to `v`, then finds the highlights.
    void Run(int x0 = 0, int y0 = 0, int x1 = -1, int y1 = -1, uint8_t v = 255) {
        for (int y = y0; y <= y1; y++)
            for (int x = x0; x <= x1; x++) grey[Index(x, y, w)] = v;
        FindHighlights(grey.data(), responses.data(), spots.data(), w, h);
    }
    int Response(int x, int y) const { return responses[Index(x, y, w)]; }
    bool Spot(int x, int y) const { return spots[Index(x, y, w)] == 255; }
    int MaxResponse() const { return *std::max_element(responses.begin(), responses.end()); }
    int SpotCount() const { return static_cast<int>(std::count(spots.begin(), spots.end(), 255)); }
};

TEST(FindHighlightsTest, BrightBlocksOfOneFourAndNinePixelsGive41And101And185) {
    HighlightCase one(30, 30);
    one.Run(15, 15, 15, 15);
    EXPECT_EQ(one.Response(15, 15), 41);
    EXPECT_EQ(one.MaxResponse(), 41);
    EXPECT_EQ(std::count(one.spots.begin(), one.spots.end(), 0), 30 * 30) << "every byte written: 0 or 255 only";

    HighlightCase four(30, 30);
    four.Run(14, 14, 15, 15);
    for (int y = 14; y <= 15; y++)
        for (int x = 14; x <= 15; x++) {
            EXPECT_EQ(four.Response(x, y), 101);
            EXPECT_TRUE(four.Spot(x, y));
        }
    EXPECT_EQ(four.SpotCount(), 4);

    HighlightCase nine(31, 29);
    nine.Run(10, 13, 12, 15);
    EXPECT_EQ(nine.Response(11, 14), 185);
    EXPECT_EQ(nine.MaxResponse(), 185);
    EXPECT_EQ(nine.SpotCount(), 1);
    EXPECT_TRUE(nine.Spot(11, 14)) << "one spot at the block's centre";
}

TEST(FindHighlightsTest, DarkSpotsCountAsWellAsBrightOnes) {
    HighlightCase c(30, 30, 255);
    c.Run(13, 13, 15, 15, 0);
    EXPECT_GE(c.Response(14, 14), 78);
    // Away from the borders (where the missing kernel cells of a white map give
    // responses of their own) the dark block's centre is the one spot.
    int spots = 0;
    for (int y = 7; y < 23; y++)
        for (int x = 7; x < 23; x++) spots += c.Spot(x, y);
    EXPECT_EQ(spots, 1);
    EXPECT_TRUE(c.Spot(14, 14));
}

TEST(FindHighlightsTest, KernelCellsOutsideTheMapCountNothingAndResponsesBelow78AreNoSpots) {
    // A bright corner pixel sees only the kernel's lower right quarter; at (1, 0)
    // cells dx = -1 .. 3 and dy = 0 .. 3 are inside and only (0, 0) is bright.
    HighlightCase corner(10, 10);
    corner.Run(0, 0, 0, 0);
    EXPECT_EQ(corner.responses[0], 41);
    EXPECT_EQ(corner.responses[1], std::abs((kHighlightKernel[3][2] * 255) >> 15));
    // Two bright pixels side by side: the largest response is below 78, no spot.
    HighlightCase two(20, 20);
    two.Run(10, 10, 11, 10);
    EXPECT_LT(two.MaxResponse(), 78);
    EXPECT_EQ(two.SpotCount(), 0);
}

// ---------------------------------------------------------------------------
// StampHighlights.

TEST(StampHighlightsTest, BrightensADiscOf40PixelsAroundTheSpot) {
    const int w = 20, h = 20;
    Bytes p(w * h * 3, 0), s(w * h, 0);
    s[Index(10, 10, w)] = 255;
    StampHighlights(p.data(), s.data(), w, h);
    // The 2 x 2 enlarged pattern over (6, 6) .. (12, 12), cut at its last line.
    const char* expected[7] = {"..XXXX.", "..XXXX.", "XXXXXXX", "XXXXXXX", "XXXXXXX", "XXXXXXX", "..XXXX."};
    int lit = 0;
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            const bool want = x >= 6 && x <= 12 && y >= 6 && y <= 12 && expected[y - 6][x - 6] == 'X';
            for (int c = 0; c < 3; c++) ASSERT_EQ(p[Index(x, y, w) * 3 + c], want ? 135 : 0) << x << "," << y;
            lit += want;
        }
    EXPECT_EQ(lit, 40);
}

TEST(StampHighlightsTest, MapsZeroTo135And255To255AndBrightensAgainWhereDiscsOverlap) {
    const int w = 20, h = 20;
    Bytes p(w * h * 3), s(w * h, 0);
    for (size_t i = 0; i < p.size(); i++) p[i] = i % 3 == 0 ? 255 : (i % 3 == 1 ? 0 : 100);
    s[Index(8, 8, w)] = s[Index(9, 8, w)] = 255;
    StampHighlights(p.data(), s.data(), w, h);
    const uint8_t* once = &p[Index(4, 7, w) * 3];  // only the first disc (its column -4)
    EXPECT_EQ(once[0], 255);
    EXPECT_EQ(once[1], 135);
    EXPECT_EQ(once[2], (15 * (100 + 289)) >> 5);
    const uint8_t* twice = &p[Index(8, 8, w) * 3];
    EXPECT_EQ(twice[0], 255);
    EXPECT_EQ(twice[1], (15 * (135 + 289)) >> 5);
    EXPECT_EQ(p[Index(11, 8, w) * 3 + 1], 135);  // column +3 of the first disc, +2 of the second: only the second
}

TEST(StampHighlightsTest, SpotsNearTheBordersAreNotStamped) {
    const int w = 24, h = 22;
    for (int edge = 0; edge < 4; edge++)
        for (int d = 0; d < 5; d++) {
            Bytes p(w * h * 3, 0), s(w * h, 0);
            // edge 0: column d, 1: column w - 1 - d, 2: row d, 3: row h - 1 - d
            const int x = edge == 0 ? d : edge == 1 ? w - 1 - d : w / 2;
            const int y = edge == 2 ? d : edge == 3 ? h - 1 - d : h / 2;
            s[Index(x, y, w)] = 255;
            StampHighlights(p.data(), s.data(), w, h);
            const bool stamped = std::count(p.begin(), p.end(), 0) != static_cast<long>(p.size());
            EXPECT_EQ(stamped, (edge == 0 || edge == 2) ? d >= 4 : d >= 3) << "edge " << edge << " distance " << d;
        }
}

// ---------------------------------------------------------------------------
// BlurBackground.

TEST(BlurBackgroundTest, BackgroundNeverTakesTheSubjectsColour) {
    // A red subject on a blue background.
    const int w = 40, h = 30;
    auto subject = [](int x, int y) { return x >= 15 && x < 25 && y >= 10 && y < 20; };
    Bytes p = Picture(w, h, [&](int x, int y, int c) { return subject(x, y) ? (c == 2) * 255 : (c == 0) * 200; });
    Bytes k = Map(w, h, subject), temp(w * h * 3, 0xAA);
    BlurBackground(p.data(), k.data(), temp.data(), w, h);
    for (int i = 0; i < w * h; i++) {
        if (k[i]) continue;
        ASSERT_EQ(p[i * 3], (((200 * 49 * 21) >> 10) * 49 * 21) >> 10) << i % w << "," << i / w;
        ASSERT_EQ(p[i * 3 + 1], 0);
        ASSERT_EQ(p[i * 3 + 2], 0) << i % w << "," << i / w;
    }
    // Inside the subject every tap falls on the subject and takes the centre:
    // the middle of the red block stays red.
    EXPECT_EQ(p[Index(20, 15, w) * 3], 0);
    EXPECT_EQ(p[Index(20, 15, w) * 3 + 2], 255);
}

TEST(BlurBackgroundTest, Uniform255Stays255AndUniform0Stays0) {
    for (uint8_t value : {0, 255}) {
        const int w = 23, h = 17;
        Bytes p(w * h * 3, value), k(w * h, 0), temp(w * h * 3);
        for (int i = 0; i < w * h; i += 7) k[i] = 1;
        BlurBackground(p.data(), k.data(), temp.data(), w, h);
        EXPECT_EQ(std::count(p.begin(), p.end(), value), w * h * 3);
    }
}

// ---------------------------------------------------------------------------
// The three steps on the reduced copy against their references, together.

TEST(BackgroundBlurTest, HighlightsStampAndBlurMatchTheFormulasOnRandomDataOfAnySize) {
    std::mt19937 random(1);
    const int sizes[][2] = {{1, 1}, {1, 8},  {1, 9},   {8, 1},   {9, 1},   {2, 2},   {3, 3},  {3, 5},   {5, 4},  {7, 7},
                            {8, 8}, {9, 13}, {13, 11}, {31, 17}, {33, 19}, {50, 40}, {64, 3}, {64, 48}, {97, 61}};
    for (auto [w, h] : sizes)
        for (int round = 0; round < 3; round++) {
            SCOPED_TRACE(testing::Message() << w << "x" << h << " round " << round);
            // Highlights: noise, or sparse bright and dark dots over a smooth ground (real spots).
            HighlightCase c(w, h);
            for (uint8_t& g : c.grey)
                g = static_cast<uint8_t>(round == 0 ? random() : (random() % 12 == 0 ? (random() % 2) * 255 : 128));
            c.Run();
            const Highlights ref = RefFindHighlights(c.grey, w, h);
            ASSERT_EQ(c.responses, ref.responses);
            ASSERT_EQ(c.spots, ref.spots);
            // Stamp: spots of 255 among bytes of 254 (no spot) and 0.
            Bytes p = Random(static_cast<size_t>(w) * h * 3, random), s(static_cast<size_t>(w) * h, 0), want = p;
            for (uint8_t& v : s) v = random() % 9 == 0 ? 255 : (random() % 9 == 0 ? 254 : 0);
            StampHighlights(p.data(), s.data(), w, h);
            RefStampHighlights(want, s, w, h);
            ASSERT_EQ(p, want) << "stamp";
            // Blur: without subject, then with a few blobs.
            p = want = Random(p.size(), random);
            const Bytes k = round == 0 ? Bytes(s.size(), 0) : Blobs(w, h, random);
            Bytes temp(p.size());
            BlurBackground(p.data(), k.data(), temp.data(), w, h);
            RefBlurBackground(want, k, w, h);
            ASSERT_EQ(p, want) << "blur";
        }
}

// ---------------------------------------------------------------------------
// BuildBlendWeights.

TEST(BuildBlendWeightsTest, WithoutSubjectTheUpperHalfIsBlurredAndTheBottomKeepsAbout96) {
    const int W = 50, H = 301;
    std::mt19937 random(4);
    Bytes P = Random(W * H * 3, random), M(W * H, 0);
    ASSERT_EQ(BuildBlendWeights(P.data(), M.data(), W, H, 2), 1);
    for (int y = 0; y < H; y++)
        for (int x = 0; x < W; x++) ASSERT_EQ(M[Index(x, y, W)], RampOf(y, H));
    for (int y = 0; y <= H / 2; y++) EXPECT_EQ(M[Index(0, y, W)], 0);
    EXPECT_EQ(M[Index(0, H - 1, W)], 95);
    for (int y = H / 2 + 1; y < H; y++) EXPECT_GE(M[Index(0, y, W)], M[Index(0, y - 1, W)]);
    // An all-subject mask keeps every pixel.
    M.assign(W * H, 1);
    ASSERT_EQ(BuildBlendWeights(P.data(), M.data(), W, H, 1), 1);
    EXPECT_EQ(std::count(M.begin(), M.end(), 255), W * H);
}

// A picture of one colour before column (or row) `split` and another from it
// on, and a mask of subject on one side. Returns the weights.
Bytes SplitWeights(int W, int H, int level, bool subjectFirst, const uint8_t first[3], const uint8_t second[3],
                   int split, bool vertical = false) {
    auto isFirst = [&](int x, int y) { return vertical ? y < split : x < split; };
    const Bytes P = Picture(W, H, [&](int x, int y, int c) { return isFirst(x, y) ? first[c] : second[c]; });
    Bytes M = Map(W, H, [&](int x, int y) { return isFirst(x, y) == subjectFirst; });
    EXPECT_EQ(BuildBlendWeights(P.data(), M.data(), W, H, level), 1);
    return M;
}

TEST(BuildBlendWeightsTest, TheSubjectGrowsIntoMatchingColoursUpTo8TimesLevelPixels) {
    const uint8_t grey[3] = {100, 100, 100};
    const int W = 120, H = 90;
    for (int level = 0; level <= 3; level++) {
        const int e = 8 * level;
        SCOPED_TRACE(testing::Message() << "level " << level);
        // Right edge: subject x < 60, all one colour: columns 60 .. 59 + e join.
        Bytes M = SplitWeights(W, H, level, true, grey, grey, 60);
        for (int y = e; y <= H - e - 1; y++)
            for (int x = 60; x < W; x++) ASSERT_EQ(M[Index(x, y, W)], x < 60 + e ? 255 : RampOf(y, H)) << x << "," << y;
        for (int y = 0; y < e; y++) EXPECT_EQ(M[Index(60, y, W)], 0) << "outside the visited rows nothing grows";
        // Left edge: subject x >= 60: the walk starts at the background pixel x = 59,
        // so columns 59 - e .. 59 join (e + 1 of them).
        M = SplitWeights(W, H, level, false, grey, grey, 60);
        for (int y = e; y <= H - e - 1; y++)
            for (int x = 0; x < 60; x++)
                ASSERT_EQ(M[Index(x, y, W)], x >= 59 - e ? 255 : RampOf(y, H)) << x << "," << y;
        // Bottom edge: subject y < 30 (the upper half: ramp 0 below it down to
        // row 45); top edge: subject y >= 30: rows 30 - e .. 29 join.
        const Bytes bottom = SplitWeights(W, H, level, true, grey, grey, 30, true);
        const Bytes top = SplitWeights(W, H, level, false, grey, grey, 30, true);
        for (int x = e; x <= W - e - 1; x++)
            for (int y = 0; y < 45; y++)
                ASSERT_EQ(y < 30 ? top[Index(x, y, W)] : bottom[Index(x, y, W)],
                          (y < 30 ? y >= 30 - e : y < 30 + e) ? 255 : 0)
                    << x << "," << y;
    }
}

TEST(BuildBlendWeightsTest, TheSubjectGrowsOnlyIntoColoursWithinTheThresholds) {
    const uint8_t subject[3] = {100, 100, 100};
    struct Case {
        uint8_t colour[3];
        bool grows;
    } cases[] = {
        {{159, 159, 159}, true},   // |G - G'| 59
        {{160, 160, 160}, false},  // 60
        {{100, 119, 100}, true},   // (G - B) and (G - R) each 19 off: 38
        {{100, 120, 100}, false},  // 40
        {{80, 100, 119}, true},    // 20 + 19
        {{100, 200, 100}, false}, {{0, 0, 255}, false},
    };
    for (const Case& c : cases) {
        Bytes M = SplitWeights(80, 60, 1, true, subject, c.colour, 40);
        EXPECT_EQ(M[Index(40, 30, 80)], c.grows ? 255 : 0)
            << int(c.colour[0]) << "," << int(c.colour[1]) << "," << int(c.colour[2]);
        EXPECT_EQ(M[Index(48, 30, 80)], 0);
    }
}

TEST(BuildBlendWeightsTest, TheMeanIsOfTheSubjectPixelsOnly) {
    // Four subject columns 26 .. 29 alternate grey 130 and 70 (mean 100); left of
    // them a green background that, counted in the nine averaged pixels 21 .. 29,
    // would pull the mean's green up by 80; right of them grey 100 that matches
    // the subject's mean only.
    const int W = 60, H = 40;
    Bytes P = Picture(W, H, [](int x, int, int c) {
        return x < 26 ? (c == 1) * 250 : x < 30 ? (x % 2 ? 70 : 130) : 100;
    });
    Bytes M = Map(W, H, [](int x, int) { return x >= 26 && x < 30; });
    ASSERT_EQ(BuildBlendWeights(P.data(), M.data(), W, H, 1), 1);
    // The right walk from 29 covers 29 .. 37; the left walk stops at once on green.
    EXPECT_EQ(M[Index(30, 20, W)], 255);
    EXPECT_EQ(M[Index(37, 20, W)], 255);
    EXPECT_EQ(M[Index(38, 20, W)], 0);
    EXPECT_EQ(M[Index(25, 20, W)], 0);
}

TEST(BuildBlendWeightsTest, ALowerTopEdgeTestWhoseMeanMatchesReachesTheRowsAbove) {
    // Grey rows: background 90 above row 20, subject 200 on rows 20 .. 26 and
    // 145 from row 27 on. A walk marks its own first pixel, so each subject row
    // meets the top-edge test in turn. The means of rows 20 .. 26 (187 down to
    // 151) are 60 or more from the background's 90; the mean at row 27 (145) is
    // not, and its walk passes rows 26 .. 20 (55 off) and reaches row 19, the
    // eighth pixel up. Row 18 is out of its reach.
    const int W = 40, H = 60;
    const Bytes P = Picture(W, H, [](int, int y, int) { return y < 20 ? 90 : y < 27 ? 200 : 145; });
    Bytes M = Map(W, H, [](int, int y) { return y >= 20; }), ref = M;
    ASSERT_EQ(BuildBlendWeights(P.data(), M.data(), W, H, 1), 1);
    RefBuildBlendWeights(P, ref, W, H, 1);
    for (int x = 8; x < W - 8; x++) {
        EXPECT_EQ(M[Index(x, 19, W)], 255) << x;
        EXPECT_EQ(M[Index(x, 18, W)], 0) << x;
    }
    EXPECT_EQ(M, ref);
}

TEST(BuildBlendWeightsTest, AtLevel0WindowsAreClippedAndTestsLookingOutsideAreSkipped) {
    // Level 0 visits the border pixels. A dark grey picture, subject in column
    // 0 and in column W - 1 of the upper rows only.
    const int W = 20, H = 10;
    Bytes P(W * H * 3, 10), M(W * H, 0);
    for (int y = 0; y < H; y++) M[Index(0, y, W)] = 1, M[Index(W - 1, y, W)] = y < 4;
    ASSERT_EQ(BuildBlendWeights(P.data(), M.data(), W, H, 0), 1);
    for (int y = 0; y < H; y++) {
        EXPECT_EQ(M[Index(0, y, W)], 255) << y;
        // Left edge before column W - 1: its nine averaged pixels are cut to
        // W - 2 .. W - 1, and the walk of one pixel takes W - 2 in.
        EXPECT_EQ(M[Index(W - 2, y, W)], y < 4 ? 255 : RampOf(y, H)) << y;
        // Column W - 1 below the subject has no right neighbour: no left-edge
        // test there, although the next row's first pixel is subject.
        if (y >= 4) {
            EXPECT_EQ(M[Index(W - 1, y, W)], RampOf(y, H)) << y;
        }
        for (int x = 1; x < W - 2; x++) ASSERT_EQ(M[Index(x, y, W)], RampOf(y, H)) << x << "," << y;
    }
}

// Both entry points against the reference at every level: BuildBlendWeights on
// a full-size mask of its own, and on the reduced mask enlarged, which
// BuildBlendWeightsFromMask must match in one sweep.
TEST(BuildBlendWeightsTest, MatchesTheFormulasOnRandomPicturesAndMasksAndFromTheReducedMask) {
    std::mt19937 random(6);
    const int sizes[][2] = {{1, 1},   {1, 7},    {7, 1},    {2, 2},     {3, 3},     {5, 3},
                            {9, 9},   {17, 17},  {18, 40},  {33, 35},   {40, 18},   {61, 47},
                            {64, 48}, {100, 77}, {127, 97}, {150, 131}, {300, 211}, {421, 100}};
    for (auto [W, H] : sizes)
        for (int level = 0; level <= 4; level++)
            for (int round = 0; round < 3; round++) {
                SCOPED_TRACE(testing::Message() << W << "x" << H << " level " << level << " round " << round);
                const Bytes P = Patches(W, H, random);
                Bytes M = Blobs(W, H, random), ref = M;
                ASSERT_EQ(BuildBlendWeights(P.data(), M.data(), W, H, level), 1);
                RefBuildBlendWeights(P, ref, W, H, level);
                ASSERT_EQ(M, ref);
                const int w = W >> level, h = H >> level;
                if (w < 1 || h < 1 || round > 0) continue;
                const Bytes mask = Blobs(w, h, random);
                Bytes enlarged(M.size(), 0), fromMask(M.size(), 0);
                ResizePicture(mask.data(), w, h, enlarged.data(), W, H, 0);
                M = ref = enlarged;
                ASSERT_EQ(BuildBlendWeightsFromMask(P.data(), mask.data(), fromMask.data(), W, H, w, h, level), 1);
                ASSERT_EQ(BuildBlendWeights(P.data(), M.data(), W, H, level), 1);
                RefBuildBlendWeights(P, ref, W, H, level);
                ASSERT_EQ(fromMask, ref) << "from the reduced mask";
                ASSERT_EQ(M, ref) << "the reduced mask enlarged";
            }
}

// ---------------------------------------------------------------------------
// CompositeBlur.

TEST(CompositeBlurTest, InterpolatesAKnownRampWithThePartsClampAtTheEnd) {
    // A reduced copy 4 x 2 whose columns hold 0, 32, 64, 96, enlarged four
    // times: stepX = 8192, so X maps to x0 = X / 4 and fx = 8 (X % 4), except
    // that x0 stops at w - 2 = 2 while fx goes on.
    const int w = 4, h = 2, W = 16, H = 8;
    Bytes b(w * h * 3), P(W * H * 3, 200), M(W * H, 0), O(W * H * 3, 1);
    for (size_t i = 0; i < b.size(); i++) b[i] = static_cast<uint8_t>(32 * (i / 3 % w));
    ASSERT_EQ(CompositeBlur(P.data(), b.data(), M.data(), O.data(), W, H, w, h), 1);
    for (int Y = 0; Y < H; Y++)
        for (int X = 0; X < W; X++) {
            const int v = X < 12 ? 8 * X : 64 + 8 * (X - 12);
            for (int c = 0; c < 3; c++) ASSERT_EQ(O[Index(X, Y, W) * 3 + c], (v * 255) >> 8) << X << "," << Y;
        }
    // Rows: a vertical ramp 0 / 128 gives the same steps down the picture; y0
    // stops at h - 2 = 0 while fy goes on: rows 4 .. 7 repeat rows 0 .. 3.
    for (size_t i = 0; i < b.size(); i++) b[i] = i < w * 3 ? 0 : 128;
    ASSERT_EQ(CompositeBlur(P.data(), b.data(), M.data(), O.data(), W, H, w, h), 1);
    for (int Y = 0; Y < H; Y++) EXPECT_EQ(O[Index(5, Y, W) * 3], (32 * (Y % 4) * 255) >> 8) << Y;
}

TEST(CompositeBlurTest, MatchesTheFormulasOnRandomDataInPlaceToo) {
    std::mt19937 random(9);
    const int sizes[][4] = {{1, 1, 1, 1},       {1, 9, 1, 9},       {9, 1, 9, 1},      {7, 5, 1, 1},
                            {2, 2, 2, 2},       {2, 2, 1, 1},       {13, 7, 3, 1},     {8, 8, 8, 8},
                            {17, 23, 4, 5},     {33, 9, 16, 4},     {101, 67, 25, 16}, {203, 150, 12, 9},
                            {420, 37, 420, 37}, {1601, 13, 100, 3}, {2100, 4, 2100, 4}};
    for (auto [W, H, w, h] : sizes) {
        Bytes P = Random(static_cast<size_t>(W) * H * 3, random), b = Random(static_cast<size_t>(w) * h * 3, random);
        Bytes M = Random(static_cast<size_t>(W) * H, random), O(P.size()), ref(P.size());
        ASSERT_EQ(CompositeBlur(P.data(), b.data(), M.data(), O.data(), W, H, w, h), 1);
        RefCompositeBlur(P, b, M, ref, W, H, w, h);
        ASSERT_EQ(O, ref) << W << "x" << H << " from " << w << "x" << h;
        ASSERT_EQ(CompositeBlur(P.data(), b.data(), M.data(), P.data(), W, H, w, h), 1);
        ASSERT_EQ(P, ref) << "in place " << W << "x" << H;
    }
}

// ---------------------------------------------------------------------------
// RenderBackgroundBlur.

// The whole renderer against the references, at the level each size must have:
// the longer side decides, 420 is level 0 and 421 level 1. Tiny pictures, single
// rows and columns and the smallest pictures of each level (one reduced pixel on
// a side) take a random picture and a mask of 0 and 1 as well as patches and
// blobs; each is rendered into another buffer and in place.
TEST(RenderBackgroundBlurTest, MatchesTheFormulasAtTheLevelOfTheLongerSideAndInPlace) {
    EXPECT_EQ(PyramidLevel(420), 0);
    EXPECT_EQ(PyramidLevel(421), 1);
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
        Bytes mask = noise ? Random(static_cast<size_t>(w) * h, random) : Blobs(w, h, random);
        if (noise)
            for (uint8_t& m : mask) m %= 2;
        Bytes O(P.size(), 7);
        ASSERT_EQ(RenderBackgroundBlur(P.data(), mask.data(), O.data(), W, H), 1);
        ASSERT_EQ(O, RefRender(P, mask, W, H, level));
        ASSERT_EQ(RenderBackgroundBlur(P.data(), mask.data(), P.data(), W, H), 1);
        ASSERT_EQ(P, O) << "in place";
    }
}

TEST(RenderBackgroundBlurTest, WithoutSubjectTheUpperHalfIsAllBlurAndTheBottomKeepsSomeSharpness) {
    // A fine checkerboard: blurred it is a flat mid grey, sharp it is 0 / 250.
    const int W = 200, H = 160;
    Bytes P(W * H * 3), mask(W * H, 0), O(P.size());
    for (size_t i = 0; i < P.size(); i++) P[i] = (i / 3 % W + i / 3 / W) % 2 ? 250 : 0;
    ASSERT_EQ(RenderBackgroundBlur(P.data(), mask.data(), O.data(), W, H), 1);
    auto contrast = [&](int y) { return std::abs(O[Index(100, y, W) * 3] - O[Index(101, y, W) * 3]); };
    for (int y = 10; y <= H / 2; y++) EXPECT_LE(contrast(y), 2) << y;
    // Bottom row: a share of 94/256 of the sharp 0 / 250 step is left.
    EXPECT_NEAR(contrast(H - 1), 250 * 94 / 256, 12);
    EXPECT_GT(contrast(H - 1), contrast(H * 3 / 4));
    EXPECT_EQ(O, RefRender(P, mask, W, H, 0));
}

// Every weight is 255: the composite keeps each sharp byte, times 255 / 256.
TEST(RenderBackgroundBlurTest, AnAllSubjectMaskScalesEveryByteBy255Over256) {
    for (auto [W, H] : {std::pair{300, 200}, std::pair{900, 500}}) {
        std::mt19937 random(11);
        const Bytes original = Random(static_cast<size_t>(W) * H * 3, random);
        Bytes P = original;
        P[0] = 255;
        const int level = PyramidLevel(std::max(W, H));
        Bytes mask(static_cast<size_t>(W >> level) * (H >> level), 1);
        ASSERT_EQ(RenderBackgroundBlur(P.data(), mask.data(), P.data(), W, H), 1);  // in place
        for (size_t i = 1; i < P.size(); i++) ASSERT_EQ(P[i], (original[i] * 255) >> 8) << i;
        EXPECT_EQ(P[0], 254);
    }
}

TEST(RenderBackgroundBlurTest, MatchesTheFormulasOnASamplePhotoWithASilhouette) {
    ImageRecord record{};
    const std::string path = std::string(LUMETRA_SOURCE_DIR) + "/samples/grace_hopper_single.jpg";
    ASSERT_EQ(LoadPicture(std::wstring(path.begin(), path.end()).c_str(), L"sample", &record), LOAD_OK);
    const int W = record.width, H = record.height, level = PyramidLevel(std::max(W, H));
    const int w = W >> level, h = H >> level;
    const Bytes P(record.pixels, record.pixels + static_cast<size_t>(W) * H * 3);
    ClearImageRecord(&record);
    // A head and shoulders roughly where the portrait has them.
    const Bytes mask = Map(w, h, [&](int x, int y) {
        const int dx = x - w / 2, dy = y - h * 2 / 5;
        return dx * dx + dy * dy < (w / 5) * (w / 5) || (y > h * 3 / 5 && std::abs(dx) < w / 3);
    });
    Bytes O(P.size());
    ASSERT_EQ(RenderBackgroundBlur(P.data(), mask.data(), O.data(), W, H), 1);
    EXPECT_EQ(O, RefRender(P, mask, W, H, level));
}

TEST(RenderBackgroundBlurTest, AFailedAllocationLeavesThePictureUntouched) {
    for (auto [W, H] : {std::pair{120, 90}, std::pair{1, 1}, std::pair{700, 400}}) {
        std::mt19937 random(13);
        const int level = PyramidLevel(std::max(W, H));
        const Bytes original = Patches(W, H, random), mask = Blobs(W >> level, H >> level, random);
        int allowed = 0;
        for (;; allowed++) {
            ASSERT_LT(allowed, 50);
            Bytes picture = original;
            FailWorkAllocationsAfter(allowed);
            const int result = RenderBackgroundBlur(picture.data(), mask.data(), picture.data(), W, H);
            FailWorkAllocationsAfter(-1);
            if (result == 1) {
                EXPECT_EQ(picture, RefRender(original, mask, W, H, level));
                break;
            }
            ASSERT_EQ(result, 0);
            ASSERT_EQ(picture, original) << W << "x" << H << " with " << allowed << " allocations allowed";
        }
        // Three buffers of its own, the edge growing's column state and the
        // composite's three.
        EXPECT_EQ(allowed, 7) << W << "x" << H;
    }
}

TEST(RenderBackgroundBlurTest, SizesWithoutAReducedPixelAndBadArgumentsAreRefused) {
    Bytes P(4 * 3000 * 3, 90), mask(1, 1), keep = P;
    EXPECT_EQ(RenderBackgroundBlur(P.data(), mask.data(), P.data(), 4, 3000), 0);  // level 3: w = 0
    EXPECT_EQ(P, keep);
    EXPECT_EQ(RenderBackgroundBlur(P.data(), mask.data(), P.data(), 0, 10), 0);
    EXPECT_EQ(RenderBackgroundBlur(P.data(), mask.data(), P.data(), 10, -1), 0);
    EXPECT_EQ(RenderBackgroundBlur(nullptr, mask.data(), P.data(), 1, 1), 0);
    EXPECT_EQ(RenderBackgroundBlur(P.data(), nullptr, P.data(), 1, 1), 0);
    EXPECT_EQ(RenderBackgroundBlur(P.data(), mask.data(), nullptr, 1, 1), 0);
    EXPECT_EQ(P, keep);
}

}  // namespace
