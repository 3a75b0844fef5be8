// The background blur renderer. Besides its edge cases, every step is compared
// with a slow reference written here straight from the plain formulas, on random data of odd sizes and on a sample
// photo, so the fast implementations must give exactly the same bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <tuple>
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

// ---------------------------------------------------------------------------
// References, one formula at a time.

struct Highlights {
    Bytes responses, spots;
};

Highlights RefFindHighlights(const Bytes& g, int w, int h) {
    Highlights out{Bytes(g.size()), Bytes(g.size(), 0)};
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            int r = 0;
            for (int dy = -3; dy <= 3; dy++)
                for (int dx = -3; dx <= 3; dx++) {
                    const int xx = x + dx, yy = y + dy;
                    if (xx < 0 || xx >= w || yy < 0 || yy >= h) continue;
                    r += (kHighlightKernel[dy + 3][dx + 3] * g[yy * w + xx]) >> 15;
                }
            out.responses[y * w + x] = static_cast<uint8_t>(std::abs(r));
        }
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            int m = 0;
            for (int yy = y - 2; yy <= y + 2; yy++)
                for (int xx = x - 2; xx <= x + 2; xx++)
                    if (xx >= 0 && xx < w && yy >= 0 && yy < h) m = std::max<int>(m, out.responses[yy * w + xx]);
            const int r = out.responses[y * w + x];
            if (r >= 78 && r == m) out.spots[y * w + x] = 255;
        }
    return out;
}

void RefStampHighlights(Bytes& p, const Bytes& s, int w, int h) {
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            if (s[y * w + x] != 255 || x < 4 || x + 3 >= w || y < 4 || y + 3 >= h) continue;
            for (int wy = 0; wy < 7; wy++)
                for (int wx = 0; wx < 7; wx++) {
                    if (!kStampPattern[wy / 2][wx / 2]) continue;
                    for (int c = 0; c < 3; c++) {
                        uint8_t& v = p[((y - 4 + wy) * w + (x - 4 + wx)) * 3 + c];
                        v = static_cast<uint8_t>((15 * (v + 289)) >> 5);
                    }
                }
        }
}

void RefBlurBackground(Bytes& p, const Bytes& k, int w, int h) {
    Bytes t(p.size(), 0);
    auto tap = [](int t) { return kBlurTaps[std::abs(t)]; };
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            for (int c = 0; c < 3; c++) {
                int sum = 0;
                for (int d = -3; d <= 3; d++) {
                    const int xx = x + d;
                    const int src = (xx < 0 || xx >= w || k[y * w + xx] == 1) ? x : xx;
                    sum += tap(d) * p[(y * w + src) * 3 + c];
                }
                t[(y * w + x) * 3 + c] = static_cast<uint8_t>(std::min((sum * 21) >> 10, 255));
            }
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            for (int c = 0; c < 3; c++) {
                int sum = 0;
                for (int d = -3; d <= 3; d++) {
                    const int yy = y + d;
                    const int src = (yy < 0 || yy >= h || k[yy * w + x] == 1) ? y : yy;
                    sum += tap(d) * t[(src * w + x) * 3 + c];
                }
                p[(y * w + x) * 3 + c] = static_cast<uint8_t>(std::min((sum * 21) >> 10, 255));
            }
}

// BuildBlendWeights written plainly, with this implementation's choice at level 0:
// windows clipped to the picture, tests whose neighbour lies outside skipped.
void RefBuildBlendWeights(const Bytes& P, Bytes& M, int W, int H, int level) {
    const int32_t q = 1048576 / H;
    for (int y = 0; y < H; y++) {
        const int32_t acc = -100663296 + y * 192 * q;
        const int ramp = y > H / 2 ? std::max(0, acc >> 20) : 0;
        for (int x = 0; x < W; x++) M[y * W + x] = M[y * W + x] == 1 ? 255 : static_cast<uint8_t>(ramp);
    }
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
    const int stepY = (h * 32768) / H, stepX = (w * 32768) / W;
    for (int Y = 0; Y < H; Y++) {
        const int a = ((Y * stepY) >> 10) & 65535;
        const int y0 = std::max(0, std::min((a >> 5) & 2047, h - 2)), y1 = std::min(y0 + 1, h - 1);
        const int fy = a & 31;
        for (int X = 0; X < W; X++) {
            const int c = ((X * stepX) >> 10) & 65535;
            const int x0 = std::max(0, std::min((c >> 5) & 2047, w - 2)), x1 = std::min(x0 + 1, w - 1);
            const int fx = c & 31;
            const int m = M[Y * W + X];
            for (int ch = 0; ch < 3; ch++) {
                auto B = [&](int x, int y) { return b[(y * w + x) * 3 + ch]; };
                const int top = B(x0, y0) * (32 - fx) + B(x1, y0) * fx;
                const int bottom = B(x0, y1) * (32 - fx) + B(x1, y1) * fx;
                const int v = (top * (32 - fy) + bottom * fy) >> 10;
                O[(Y * W + X) * 3 + ch] = static_cast<uint8_t>((v * (255 - m) + P[(Y * W + X) * 3 + ch] * m) >> 8);
            }
        }
    }
}

Bytes RefRender(const Bytes& picture, const Bytes& mask, int W, int H, int level) {
    const int w = W >> level, h = H >> level;
    Bytes reduced(static_cast<size_t>(w) * h * 3, 0);
    ResizePicture(picture.data(), W, H, reduced.data(), w, h, 1);
    Bytes grey(static_cast<size_t>(w) * h, 0);
    MakeGreyImage(reduced.data(), grey.data(), w, h);
    RefStampHighlights(reduced, RefFindHighlights(grey, w, h).spots, w, h);
    RefBlurBackground(reduced, mask, w, h);
    Bytes M(static_cast<size_t>(W) * H, 0);
    ResizePicture(mask.data(), w, h, M.data(), W, H, 0);
    RefBuildBlendWeights(picture, M, W, H, level);
    Bytes out(picture.size());
    RefCompositeBlur(picture, reduced, M, out, W, H, w, h);
    return out;
}

// ---------------------------------------------------------------------------
// Test data.

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
    const int cell = 3 + static_cast<int>(random() % 20);
    const int noise = static_cast<int>(random() % 40) + 1;
    Bytes p(static_cast<size_t>(W) * H * 3);
    for (int y = 0; y < H; y++)
        for (int x = 0; x < W; x++) {
            const int k = ((x / cell) * 7 + (y / cell) * 3 + (x * y / (cell * cell + 1)) % 2) % 6;
            for (int c = 0; c < 3; c++) {
                const int v = colours[k][c] + static_cast<int>(random() % noise) - noise / 2;
                p[(static_cast<size_t>(y) * W + x) * 3 + c] = static_cast<uint8_t>(std::clamp(v, 0, 255));
            }
        }
    return p;
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
                if (!disc || dx * dx + dy * dy <= 1) m[static_cast<size_t>(y) * w + x] = 1;
            }
    }
    for (int i = 0; i < w * h / 50; i++) m[random() % m.size()] = static_cast<uint8_t>(random() % 2 ? 2 : 255);
    return m;
}

size_t Index(int x, int y, int w) {
    return static_cast<size_t>(y) * w + x;
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
    EXPECT_EQ(kHighlightKernel[3][3], -5220);
    EXPECT_EQ(kHighlightKernel[0][0], 324);
    EXPECT_EQ(kHighlightKernel[1][1], 839);
    EXPECT_EQ(kHighlightKernel[1][3], 118);
    EXPECT_EQ(kHighlightKernel[2][3], -3002);
    EXPECT_EQ(kHighlightKernel[2][2], -1501);
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
    void Run() { FindHighlights(grey.data(), responses.data(), spots.data(), w, h); }
    int SpotCount() const { return static_cast<int>(std::count(spots.begin(), spots.end(), 255)); }
};

TEST(FindHighlightsTest, ASinglePixelGivesResponse41AndNoSpot) {
    HighlightCase c(30, 30);
    c.grey[Index(15, 15, 30)] = 255;
    c.Run();
    EXPECT_EQ(c.responses[Index(15, 15, 30)], 41);
    EXPECT_EQ(*std::max_element(c.responses.begin(), c.responses.end()), 41);
    EXPECT_EQ(c.SpotCount(), 0);
    // Every byte was written: 0 or 255 only.
    EXPECT_EQ(std::count(c.spots.begin(), c.spots.end(), 0), 30 * 30);
}

TEST(FindHighlightsTest, AThreeByThreeBlockGives185AndOneSpotAtItsCentre) {
    HighlightCase c(31, 29);
    for (int y = 13; y <= 15; y++)
        for (int x = 10; x <= 12; x++) c.grey[Index(x, y, 31)] = 255;
    c.Run();
    EXPECT_EQ(c.responses[Index(11, 14, 31)], 185);
    EXPECT_EQ(*std::max_element(c.responses.begin(), c.responses.end()), 185);
    EXPECT_EQ(c.SpotCount(), 1);
    EXPECT_EQ(c.spots[Index(11, 14, 31)], 255);
}

TEST(FindHighlightsTest, ATwoByTwoBlockGivesFourResponsesOf101AndFourSpots) {
    HighlightCase c(30, 30);
    for (int y = 14; y <= 15; y++)
        for (int x = 14; x <= 15; x++) c.grey[Index(x, y, 30)] = 255;
    c.Run();
    for (int y = 14; y <= 15; y++)
        for (int x = 14; x <= 15; x++) {
            EXPECT_EQ(c.responses[Index(x, y, 30)], 101);
            EXPECT_EQ(c.spots[Index(x, y, 30)], 255);
        }
    EXPECT_EQ(c.SpotCount(), 4);
}

TEST(FindHighlightsTest, DarkSpotsCountAsWellAsBrightOnes) {
    HighlightCase c(30, 30, 255);
    for (int y = 13; y <= 15; y++)
        for (int x = 13; x <= 15; x++) c.grey[Index(x, y, 30)] = 0;
    c.Run();
    EXPECT_GE(c.responses[Index(14, 14, 30)], 78);
    // Away from the borders (where the missing kernel cells of a white map give
    // responses of their own) the dark block's centre is the one spot.
    int spots = 0;
    for (int y = 7; y < 23; y++)
        for (int x = 7; x < 23; x++) spots += c.spots[Index(x, y, 30)] == 255;
    EXPECT_EQ(spots, 1);
    EXPECT_EQ(c.spots[Index(14, 14, 30)], 255);
}

TEST(FindHighlightsTest, KernelCellsOutsideTheMapCountNothing) {
    // A bright corner pixel sees only the kernel's lower right quarter.
    HighlightCase c(10, 10);
    c.grey[0] = 255;
    c.Run();
    EXPECT_EQ(c.responses[0], 41);
    int r = 0;  // at (1, 0): cells dx = -1 .. 3 and dy = 0 .. 3 inside; only (0, 0) is bright
    r += (kHighlightKernel[3][2] * 255) >> 15;
    EXPECT_EQ(c.responses[1], std::abs(r));
}

TEST(FindHighlightsTest, AResponseBelow78IsNoSpotEvenWhenItIsTheLargest) {
    HighlightCase c(20, 20);
    c.grey[Index(10, 10, 20)] = 255;  // 41
    c.grey[Index(11, 10, 20)] = 255;  // two pixels: below 78
    c.Run();
    EXPECT_LT(*std::max_element(c.responses.begin(), c.responses.end()), 78);
    EXPECT_EQ(c.SpotCount(), 0);
}

TEST(FindHighlightsTest, MatchesTheFormulasOnRandomMapsOfAnySize) {
    std::mt19937 random(1);
    const int sizes[][2] = {{1, 1}, {1, 9}, {9, 1}, {2, 2}, {3, 3}, {5, 4}, {7, 7}, {13, 11}, {64, 3}, {97, 61}};
    for (auto [w, h] : sizes)
        for (int round = 0; round < 3; round++) {
            HighlightCase c(w, h);
            // Sparse bright and dark dots over a smooth ground give real spots.
            for (size_t i = 0; i < c.grey.size(); i++)
                c.grey[i] =
                    static_cast<uint8_t>(round == 0 ? random() : (random() % 12 == 0 ? (random() % 2) * 255 : 128));
            c.Run();
            const Highlights ref = RefFindHighlights(c.grey, w, h);
            ASSERT_EQ(c.responses, ref.responses) << w << "x" << h;
            ASSERT_EQ(c.spots, ref.spots) << w << "x" << h;
        }
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
            const bool inside = x >= 6 && x <= 12 && y >= 6 && y <= 12;
            const bool want = inside && expected[y - 6][x - 6] == 'X';
            for (int c = 0; c < 3; c++) ASSERT_EQ(p[Index(x, y, w) * 3 + c], want ? 135 : 0) << x << "," << y;
            lit += want;
        }
    EXPECT_EQ(lit, 40);
}

TEST(StampHighlightsTest, MapsZeroTo135And255To255AndBrightensAgainWhereDiscsOverlap) {
    const int w = 20, h = 20;
    Bytes p(w * h * 3), s(w * h, 0);
    for (size_t i = 0; i < p.size(); i++) p[i] = i % 3 == 0 ? 255 : (i % 3 == 1 ? 0 : 100);
    s[Index(8, 8, w)] = 255;
    s[Index(9, 8, w)] = 255;
    StampHighlights(p.data(), s.data(), w, h);
    const uint8_t* once = &p[Index(4, 7, w) * 3];  // only the first disc (its column -4)
    EXPECT_EQ(once[0], 255);
    EXPECT_EQ(once[1], 135);
    EXPECT_EQ(once[2], (15 * (100 + 289)) >> 5);
    const uint8_t* twice = &p[Index(8, 8, w) * 3];
    EXPECT_EQ(twice[0], 255);
    EXPECT_EQ(twice[1], (15 * (135 + 289)) >> 5);
    const uint8_t* secondOnly = &p[Index(11, 8, w) * 3];  // column +3 of the first, +2 of the second
    EXPECT_EQ(secondOnly[1], 135);
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
            const bool allowed = (edge == 0 || edge == 2) ? d >= 4 : d >= 3;
            EXPECT_EQ(stamped, allowed) << "edge " << edge << " distance " << d;
        }
}

TEST(StampHighlightsTest, MatchesTheFormulasOnRandomPictures) {
    std::mt19937 random(2);
    const int sizes[][2] = {{1, 1}, {7, 7}, {8, 8}, {9, 13}, {31, 17}, {50, 40}};
    for (auto [w, h] : sizes) {
        Bytes p = Random(static_cast<size_t>(w) * h * 3, random), s(static_cast<size_t>(w) * h, 0);
        for (uint8_t& v : s) v = random() % 9 == 0 ? 255 : (random() % 9 == 0 ? 254 : 0);
        Bytes ref = p;
        StampHighlights(p.data(), s.data(), w, h);
        RefStampHighlights(ref, s, w, h);
        ASSERT_EQ(p, ref) << w << "x" << h;
    }
}

// ---------------------------------------------------------------------------
// BlurBackground.

TEST(BlurBackgroundTest, BackgroundNeverTakesTheSubjectsColour) {
    const int w = 40, h = 30;
    Bytes p(w * h * 3), k(w * h, 0), temp(w * h * 3, 0xAA);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            const bool subject = x >= 15 && x < 25 && y >= 10 && y < 20;
            k[Index(x, y, w)] = subject;
            uint8_t* px = &p[Index(x, y, w) * 3];
            px[0] = subject ? 0 : 200;  // blue background
            px[1] = 0;
            px[2] = subject ? 255 : 0;  // red subject
        }
    BlurBackground(p.data(), k.data(), temp.data(), w, h);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            if (k[Index(x, y, w)]) continue;
            const uint8_t* px = &p[Index(x, y, w) * 3];
            ASSERT_EQ(px[0], (((200 * 49 * 21) >> 10) * 49 * 21) >> 10) << x << "," << y;
            ASSERT_EQ(px[1], 0);
            ASSERT_EQ(px[2], 0) << x << "," << y;
        }
    // Inside the subject every tap falls on the subject and takes the centre:
    // the middle of the red block stays red.
    const uint8_t* middle = &p[Index(20, 15, w) * 3];
    EXPECT_EQ(middle[0], 0);
    EXPECT_EQ(middle[2], 255);
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

TEST(BlurBackgroundTest, MatchesTheFormulasOnRandomPictures) {
    std::mt19937 random(3);
    const int sizes[][2] = {{1, 1}, {1, 8}, {8, 1}, {2, 2}, {3, 5}, {7, 7}, {33, 19}, {64, 48}};
    for (auto [w, h] : sizes)
        for (int round = 0; round < 3; round++) {
            Bytes p = Random(static_cast<size_t>(w) * h * 3, random);
            Bytes k = round == 0 ? Bytes(static_cast<size_t>(w) * h, 0) : Blobs(w, h, random);
            Bytes temp(p.size());
            Bytes ref = p;
            BlurBackground(p.data(), k.data(), temp.data(), w, h);
            RefBlurBackground(ref, k, w, h);
            ASSERT_EQ(p, ref) << w << "x" << h;
        }
}

// ---------------------------------------------------------------------------
// BuildBlendWeights.

int RampOf(int y, int H) {
    const int32_t acc = -100663296 + y * 192 * (1048576 / H);
    return y > H / 2 ? std::max(0, acc >> 20) : 0;
}

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
}

TEST(BuildBlendWeightsTest, AnAllSubjectMaskKeepsEveryPixel) {
    const int W = 40, H = 30;
    std::mt19937 random(5);
    Bytes P = Random(W * H * 3, random), M(W * H, 1);
    ASSERT_EQ(BuildBlendWeights(P.data(), M.data(), W, H, 1), 1);
    EXPECT_EQ(std::count(M.begin(), M.end(), 255), W * H);
}

// A picture of one colour left of column `split` and another from it on, and a
// mask of subject on one side. Returns the weights.
Bytes SplitWeights(int W, int H, int level, bool subjectLeft, const uint8_t left[3], const uint8_t right[3], int split,
                   bool vertical = false) {
    Bytes P(static_cast<size_t>(W) * H * 3), M(static_cast<size_t>(W) * H);
    for (int y = 0; y < H; y++)
        for (int x = 0; x < W; x++) {
            const bool first = vertical ? y < split : x < split;
            for (int c = 0; c < 3; c++) P[Index(x, y, W) * 3 + c] = first ? left[c] : right[c];
            M[Index(x, y, W)] = first == subjectLeft;
        }
    EXPECT_EQ(BuildBlendWeights(P.data(), M.data(), W, H, level), 1);
    return M;
}

TEST(BuildBlendWeightsTest, TheSubjectGrowsIntoMatchingColoursUpTo8TimesLevelPixels) {
    const uint8_t grey[3] = {100, 100, 100};
    for (int level = 0; level <= 3; level++) {
        const int e = 8 * level, W = 120, H = 90;
        // Right edge: subject x < 60, all one colour: columns 60 .. 59 + e join.
        Bytes M = SplitWeights(W, H, level, true, grey, grey, 60);
        for (int y = e; y <= H - e - 1; y++)
            for (int x = 60; x < W; x++)
                ASSERT_EQ(M[Index(x, y, W)], x < 60 + e ? 255 : RampOf(y, H))
                    << "level " << level << " right " << x << "," << y;
        // Outside the visited rows nothing grows.
        for (int y = 0; y < e; y++) EXPECT_EQ(M[Index(60, y, W)], 0);
        // Left edge: subject x >= 60: the walk starts at the background pixel x = 59,
        // so columns 59 - e .. 59 join (e + 1 of them).
        M = SplitWeights(W, H, level, false, grey, grey, 60);
        for (int y = e; y <= H - e - 1; y++)
            for (int x = 0; x < 60; x++)
                ASSERT_EQ(M[Index(x, y, W)], x >= 59 - e ? 255 : RampOf(y, H))
                    << "level " << level << " left " << x << "," << y;
        // Bottom edge: subject y < 30 (the upper half: ramp 0 below it down to row 45).
        M = SplitWeights(W, H, level, true, grey, grey, 30, true);
        for (int x = e; x <= W - e - 1; x++)
            for (int y = 30; y < 45; y++)
                ASSERT_EQ(M[Index(x, y, W)], y < 30 + e ? 255 : 0) << "level " << level << " bottom " << x << "," << y;
        // Top edge: subject y >= 30: rows 30 - e .. 29 join.
        M = SplitWeights(W, H, level, false, grey, grey, 30, true);
        for (int x = e; x <= W - e - 1; x++)
            for (int y = 0; y < 30; y++)
                ASSERT_EQ(M[Index(x, y, W)], y >= 30 - e ? 255 : 0) << "level " << level << " top " << x << "," << y;
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
    Bytes P(W * H * 3), M(W * H, 0);
    for (int y = 0; y < H; y++)
        for (int x = 0; x < W; x++) {
            uint8_t* p = &P[Index(x, y, W) * 3];
            const int grey = x < 26 ? -1 : x < 30 ? (x % 2 ? 70 : 130) : 100;
            p[0] = p[2] = static_cast<uint8_t>(grey < 0 ? 0 : grey);
            p[1] = static_cast<uint8_t>(grey < 0 ? 250 : grey);
            M[Index(x, y, W)] = x >= 26 && x < 30;
        }
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
    Bytes P(W * H * 3), M(W * H);
    for (int y = 0; y < H; y++)
        for (int x = 0; x < W; x++) {
            const int grey = y < 20 ? 90 : y < 27 ? 200 : 145;
            for (int c = 0; c < 3; c++) P[Index(x, y, W) * 3 + c] = static_cast<uint8_t>(grey);
            M[Index(x, y, W)] = y >= 20;
        }
    Bytes ref = M;
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
    for (int y = 0; y < H; y++) M[Index(0, y, W)] = 1;
    for (int y = 0; y < 4; y++) M[Index(W - 1, y, W)] = 1;
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

TEST(BuildBlendWeightsTest, MatchesTheFormulasOnRandomPicturesAndMasks) {
    std::mt19937 random(6);
    const int sizes[][2] = {{1, 1},   {1, 7},   {7, 1},   {2, 2},   {3, 3},    {9, 9},    {17, 17},
                            {18, 40}, {33, 35}, {40, 18}, {61, 47}, {100, 77}, {150, 131}};
    for (auto [W, H] : sizes)
        for (int level = 0; level <= 4; level++)
            for (int round = 0; round < 3; round++) {
                Bytes P = Patches(W, H, random);
                Bytes M = Blobs(W, H, random);
                Bytes ref = M;
                ASSERT_EQ(BuildBlendWeights(P.data(), M.data(), W, H, level), 1);
                RefBuildBlendWeights(P, ref, W, H, level);
                ASSERT_EQ(M, ref) << W << "x" << H << " level " << level << " round " << round;
            }
}

TEST(BuildBlendWeightsTest, FromTheReducedMaskEqualsResizeThenBuild) {
    std::mt19937 random(7);
    const int sizes[][2] = {{1, 1}, {5, 3}, {64, 48}, {127, 97}, {300, 211}, {421, 100}};
    for (auto [W, H] : sizes)
        for (int level = 0; level <= 3; level++) {
            const int w = W >> level, h = H >> level;
            if (w < 1 || h < 1) continue;
            Bytes P = Patches(W, H, random);
            Bytes mask = Blobs(w, h, random);
            Bytes M(static_cast<size_t>(W) * H, 0), ref(M.size(), 0);
            ASSERT_EQ(BuildBlendWeightsFromMask(P.data(), mask.data(), M.data(), W, H, w, h, level), 1);
            ResizePicture(mask.data(), w, h, ref.data(), W, H, 0);
            RefBuildBlendWeights(P, ref, W, H, level);
            ASSERT_EQ(M, ref) << W << "x" << H << " level " << level;
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
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            for (int c = 0; c < 3; c++) b[Index(x, y, w) * 3 + c] = static_cast<uint8_t>(32 * x);
    ASSERT_EQ(CompositeBlur(P.data(), b.data(), M.data(), O.data(), W, H, w, h), 1);
    for (int Y = 0; Y < H; Y++)
        for (int X = 0; X < W; X++) {
            const int v = X < 12 ? 8 * X : 64 + 8 * (X - 12);
            for (int c = 0; c < 3; c++) ASSERT_EQ(O[Index(X, Y, W) * 3 + c], (v * 255) >> 8) << X << "," << Y;
        }
    // Rows: a vertical ramp 0 / 128 gives the same steps down the picture.
    for (int x = 0; x < w; x++)
        for (int c = 0; c < 3; c++) b[Index(x, 0, w) * 3 + c] = 0, b[Index(x, 1, w) * 3 + c] = 128;
    ASSERT_EQ(CompositeBlur(P.data(), b.data(), M.data(), O.data(), W, H, w, h), 1);
    // y0 stops at h - 2 = 0 while fy goes on: rows 4 .. 7 repeat rows 0 .. 3.
    for (int Y = 0; Y < H; Y++) EXPECT_EQ(O[Index(5, Y, W) * 3], (32 * (Y % 4) * 255) >> 8) << Y;
}

TEST(CompositeBlurTest, AKeptPixelIsTheSharpPixelTimes255Over256) {
    const int W = 19, H = 11, w = 4, h = 3;
    std::mt19937 random(8);
    Bytes P = Random(W * H * 3, random), b = Random(w * h * 3, random), M(W * H, 255), O(P.size());
    P[0] = 255;
    ASSERT_EQ(CompositeBlur(P.data(), b.data(), M.data(), O.data(), W, H, w, h), 1);
    for (size_t i = 0; i < P.size(); i++) ASSERT_EQ(O[i], (P[i] * 255) >> 8);
    EXPECT_EQ(O[0], 254);
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

TEST(RenderBackgroundBlurTest, TheLevelComesFromTheLongerSide420IsLevel0And421Level1) {
    EXPECT_EQ(PyramidLevel(420), 0);
    EXPECT_EQ(PyramidLevel(421), 1);
    std::mt19937 random(10);
    for (auto [W, H, level] :
         {std::tuple{420, 37, 0}, std::tuple{421, 37, 1}, std::tuple{37, 420, 0}, std::tuple{38, 421, 1}}) {
        Bytes P = Patches(W, H, random);
        Bytes mask = Blobs(W >> level, H >> level, random);
        Bytes O(P.size());
        ASSERT_EQ(RenderBackgroundBlur(P.data(), mask.data(), O.data(), W, H), 1);
        ASSERT_EQ(O, RefRender(P, mask, W, H, level)) << W << "x" << H;
    }
}

TEST(RenderBackgroundBlurTest, WithoutSubjectTheUpperHalfIsAllBlurAndTheBottomKeepsSomeSharpness) {
    // A fine checkerboard: blurred it is a flat mid grey, sharp it is 0 / 250.
    const int W = 200, H = 160;
    Bytes P(W * H * 3), mask((W >> 0) * (H >> 0), 0), O(P.size());
    for (int y = 0; y < H; y++)
        for (int x = 0; x < W; x++)
            for (int c = 0; c < 3; c++) P[Index(x, y, W) * 3 + c] = (x + y) % 2 ? 250 : 0;
    ASSERT_EQ(RenderBackgroundBlur(P.data(), mask.data(), O.data(), W, H), 1);
    auto contrast = [&](int y) { return std::abs(O[Index(100, y, W) * 3] - O[Index(101, y, W) * 3]); };
    for (int y = 10; y <= H / 2; y++) EXPECT_LE(contrast(y), 2) << y;
    // Bottom row: a share of 94/256 of the sharp 0 / 250 step is left.
    EXPECT_NEAR(contrast(H - 1), 250 * 94 / 256, 12);
    EXPECT_GT(contrast(H - 1), contrast(H * 3 / 4));
    EXPECT_EQ(O, RefRender(P, mask, W, H, 0));
}

TEST(RenderBackgroundBlurTest, AnAllSubjectMaskScalesEveryByteBy255Over256) {
    for (auto [W, H] : {std::pair{300, 200}, std::pair{900, 500}}) {
        std::mt19937 random(11);
        Bytes P = Random(static_cast<size_t>(W) * H * 3, random);
        P[0] = 255;
        const int level = PyramidLevel(std::max(W, H));
        Bytes mask(static_cast<size_t>(W >> level) * (H >> level), 1);
        ASSERT_EQ(RenderBackgroundBlur(P.data(), mask.data(), P.data(), W, H), 1);  // in place
        std::mt19937 again(11);
        Bytes original = Random(static_cast<size_t>(W) * H * 3, again);
        original[0] = 255;
        for (size_t i = 0; i < P.size(); i++) ASSERT_EQ(P[i], (original[i] * 255) >> 8) << i;
        EXPECT_EQ(P[0], 254);
    }
}

TEST(RenderBackgroundBlurTest, MatchesTheFormulasOnRandomPicturesAtEveryLevel) {
    std::mt19937 random(12);
    const int sizes[][2] = {{1, 1},     {1, 5},    {5, 1},    {2, 2},     {3, 3},     {8, 9},    {57, 33},
                            {200, 151}, {430, 20}, {16, 851}, {700, 523}, {1651, 40}, {64, 3251}};
    for (auto [W, H] : sizes) {
        const int level = PyramidLevel(std::max(W, H));
        Bytes P = Patches(W, H, random);
        Bytes mask = Blobs(W >> level, H >> level, random);
        Bytes O(P.size(), 7);
        ASSERT_EQ(RenderBackgroundBlur(P.data(), mask.data(), O.data(), W, H), 1) << W << "x" << H;
        ASSERT_EQ(O, RefRender(P, mask, W, H, level)) << W << "x" << H;
        // In place gives the same.
        Bytes inPlace = P;
        ASSERT_EQ(RenderBackgroundBlur(inPlace.data(), mask.data(), inPlace.data(), W, H), 1);
        ASSERT_EQ(inPlace, O) << W << "x" << H;
    }
}

TEST(RenderBackgroundBlurTest, MatchesTheFormulasOnASamplePhotoWithASilhouette) {
    ImageRecord record{};
    const std::string path = std::string(LUMETRA_SOURCE_DIR) + "/samples/grace_hopper_single.jpg";
    ASSERT_EQ(LoadPicture(std::wstring(path.begin(), path.end()).c_str(), L"sample", &record), LOAD_OK);
    const int W = record.width, H = record.height, level = PyramidLevel(std::max(W, H));
    const int w = W >> level, h = H >> level;
    Bytes P(record.pixels, record.pixels + static_cast<size_t>(W) * H * 3);
    ClearImageRecord(&record);
    // A head and shoulders roughly where the portrait has them.
    Bytes mask(static_cast<size_t>(w) * h, 0);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            const int dx = x - w / 2, dy = y - h * 2 / 5;
            mask[Index(x, y, w)] = dx * dx + dy * dy < (w / 5) * (w / 5) || (y > h * 3 / 5 && std::abs(dx) < w / 3);
        }
    Bytes O(P.size());
    ASSERT_EQ(RenderBackgroundBlur(P.data(), mask.data(), O.data(), W, H), 1);
    EXPECT_EQ(O, RefRender(P, mask, W, H, level));
}

TEST(RenderBackgroundBlurTest, AFailedAllocationLeavesThePictureUntouched) {
    for (auto [W, H] : {std::pair{120, 90}, std::pair{1, 1}, std::pair{700, 400}}) {
        std::mt19937 random(13);
        const int level = PyramidLevel(std::max(W, H));
        const Bytes original = Patches(W, H, random);
        const Bytes mask = Blobs(W >> level, H >> level, random);
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

TEST(RenderBackgroundBlurTest, TinyPicturesRender) {
    // 1 x 1 .. 3 x 3, single rows and columns, and the smallest pictures of each
    // level (one reduced pixel on a side).
    std::mt19937 random(14);
    const int sizes[][2] = {{1, 1},   {1, 2},   {2, 1},   {2, 2},    {1, 300},   {300, 1},  {3, 3},
                            {2, 421}, {421, 2}, {4, 851}, {8, 1651}, {16, 3251}, {3251, 16}};
    for (auto [W, H] : sizes) {
        const int level = PyramidLevel(std::max(W, H));
        Bytes P = Random(static_cast<size_t>(W) * H * 3, random);
        Bytes mask = Random(static_cast<size_t>(W >> level) * (H >> level), random);
        for (uint8_t& m : mask) m %= 2;
        Bytes O(P.size());
        ASSERT_EQ(RenderBackgroundBlur(P.data(), mask.data(), O.data(), W, H), 1) << W << "x" << H;
        ASSERT_EQ(O, RefRender(P, mask, W, H, level)) << W << "x" << H;
    }
}

}  // namespace
