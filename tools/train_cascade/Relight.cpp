#include "tools/train_cascade/Relight.h"

#include <algorithm>
#include <cmath>

#include "tools/train_cascade/Common.h"

namespace train {

namespace {

constexpr double kPi = 3.14159265358979323846;

double Smooth(double t) {
    t = std::clamp(t, 0.0, 1.0);
    return t * t * (3 - 2 * t);
}

uint8_t ToByte(double v) {
    return static_cast<uint8_t>(std::clamp(std::lround(v), 0L, 255L));
}

// How much of a ring of half-axes (a, b) and width `width` covers the point
// (dx, dy) from its centre, 0 to 1 (soft over a pixel), and whether it lies inside.
double RingCover(double dx, double dy, double a, double b, double width, bool* inside) {
    double r = std::hypot(dx / a, dy / b);
    *inside = r < 1;
    // Distance from the ellipse, roughly, in the picture's pixels.
    double scale = std::min(a, b) + (std::max(a, b) - std::min(a, b)) * std::abs(dx / a) / std::max(r, 1e-9);
    double d = std::abs(r - 1) * scale;
    return std::clamp(width / 2 + 0.5 - d, 0.0, 1.0);
}

}  // namespace

Relighting DrawRelighting(std::mt19937& rng, double share) {
    // A fixed number of draws whatever the kind, so that the draws that follow
    // do not depend on it.
    double u[8];
    for (double& v : u) v = Uniform(rng, 0, 1);
    Relighting r;
    if (u[0] >= share) return r;
    int kind = std::min(3, static_cast<int>(u[1] * 4));
    switch (kind) {
        case 0:  // flat, dark, bright or harsh exposure, clipped
            r.kind = Relighting::kExposure;
            r.gamma = std::exp(std::log(2.2) * (2 * u[2] - 1));
            r.gain = 0.3 + 1.2 * u[3];
            r.offset = -0.15 + 0.45 * u[4] * (1.3 - r.gain) / 1.3;
            break;
        case 1:  // light from one side: the other side of the face darkens
            r.kind = Relighting::kSideLight;
            r.dim = 0.15 + 0.45 * u[2];
            r.angle = 2 * kPi * u[3];
            r.position = -0.5 + 1.0 * u[4];
            r.softness = 0.4 + 1.2 * u[5];
            break;
        case 2:  // shade over the upper face, from the forehead down to below the eyes
            r.kind = Relighting::kUpperShade;
            r.dim = 0.2 + 0.45 * u[2];
            r.angle = (u[3] - 0.5) * 40 * kPi / 180;
            r.position = -0.7 + 1.3 * u[4];
            r.softness = 0.05 + 0.35 * u[5];
            break;
        default:  // glasses: thin or heavy frames, clear or dark lenses
            r.kind = Relighting::kGlasses;
            r.rimX = 0.36 + 0.14 * u[2];
            r.rimY = 0.24 + 0.12 * u[3];
            r.frameWidth = 0.03 + 0.09 * u[4];
            r.frame = u[5] < 0.75 ? 10 + 60 * u[6] : 190 + 60 * u[6];
            r.lens = u[7] < 0.7 ? 1.0 : 0.15 + 0.5 * u[7];
            break;
    }
    return r;
}

void Relight(uint8_t* pixels, int w, int h, const EyePair& eyes, const Relighting& change) {
    if (change.kind == Relighting::kNone) return;
    const double ed = std::max(1.0, std::hypot(eyes.rightX - eyes.leftX, eyes.rightY - eyes.leftY));
    const double midX = 0.5 * (eyes.leftX + eyes.rightX), midY = 0.5 * (eyes.leftY + eyes.rightY);
    // The face's own axes: along the eye line and down the face.
    const double ax = (eyes.rightX - eyes.leftX) / ed, ay = (eyes.rightY - eyes.leftY) / ed;
    if (change.kind == Relighting::kExposure) {
        uint8_t table[256];
        for (int v = 0; v < 256; ++v)
            table[v] = ToByte(255 * (change.gain * std::pow(v / 255.0, change.gamma) + change.offset));
        for (int i = 0; i < w * h; ++i) pixels[i] = table[pixels[i]];
        return;
    }
    if (change.kind == Relighting::kSideLight || change.kind == Relighting::kUpperShade) {
        // Normal of the edge in face axes: for side light any direction, for the
        // shade pointing up the face (turned by the tilt).
        double nx, ny;
        if (change.kind == Relighting::kSideLight) {
            nx = std::cos(change.angle);
            ny = std::sin(change.angle);
        } else {
            nx = std::sin(change.angle);
            ny = -std::cos(change.angle);
        }
        // Into picture axes.
        const double px = nx * ax - ny * ay, py = nx * ay + ny * ax;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                double t = ((x + 0.5 - midX) * px + (y + 0.5 - midY) * py) / ed + change.position;
                double shade = Smooth(t / change.softness + 0.5);
                double gain = 1 - (1 - change.dim) * shade;
                uint8_t& p = pixels[static_cast<size_t>(y) * w + x];
                p = ToByte(p * gain);
            }
        return;
    }
    // Glasses.
    const double a = change.rimX * ed, b = change.rimY * ed, width = std::max(0.6, change.frameWidth * ed);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            double fx = x + 0.5, fy = y + 0.5;
            double cover = 0;
            bool inLens = false;
            for (int e = 0; e < 2; ++e) {
                double ex = e ? eyes.rightX : eyes.leftX, ey = e ? eyes.rightY : eyes.leftY;
                double dx = (fx - ex) * ax + (fy - ey) * ay, dy = -(fx - ex) * ay + (fy - ey) * ax;
                bool inside;
                cover = std::max(cover, RingCover(dx, dy, a, b, width, &inside));
                inLens = inLens || inside;
            }
            // The bridge: a bar between the rims at the height of the eyes' upper part.
            double along = (fx - midX) * ax + (fy - midY) * ay, across = -(fx - midX) * ay + (fy - midY) * ax;
            if (std::abs(along) < ed / 2 - a + width && std::abs(across + 0.1 * ed) < width / 2 + 0.5)
                cover = std::max(cover, std::clamp(width / 2 + 0.5 - std::abs(across + 0.1 * ed), 0.0, 1.0));
            uint8_t& p = pixels[static_cast<size_t>(y) * w + x];
            double v = inLens ? p * change.lens : p;
            p = ToByte(v * (1 - cover) + change.frame * cover);
        }
}

}  // namespace train
