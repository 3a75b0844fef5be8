// Changes of light and glasses laid over a face picture before its training
// windows are cut, so that the cascades see the faces of everyday photos: side
// light, a shade over the upper face (a hat brim, a branch, a lamp from below),
// flat or harsh exposure, and glasses frames.
#pragma once

#include <cstdint>
#include <random>

namespace train {

// The eye centres of the face in the pixels being changed (image-left eye first,
// continuous coordinates: pixel i covers [i, i + 1)).
struct EyePair {
    double leftX, leftY, rightX, rightY;
};

struct Relighting {
    enum Kind { kNone, kExposure, kSideLight, kUpperShade, kGlasses };
    Kind kind = kNone;
    // Exposure: v' = 255 (gain (v / 255)^gamma + offset), clamped.
    double gamma = 1, gain = 1, offset = 0;
    // Side light and upper shade: pixels on the far side of a soft edge are
    // multiplied by `dim`; the edge runs at `angle` (radians) through the point
    // `position` eye distances from the eye midpoint along its normal, and is
    // `softness` eye distances wide.
    double dim = 1, angle = 0, position = 0, softness = 0.3;
    // Glasses: a ring of `frameWidth` (eye distances) around each eye with
    // half-axes `rimX`, `rimY` in the colour `frame`, joined by a bridge; the
    // lenses multiply what they cover by `lens` (below about 0.5: sunglasses).
    double rimX = 0.42, rimY = 0.3, frameWidth = 0.06, frame = 30, lens = 1;
};

// Draws a change: with probability `share` one of the four kinds, each as likely,
// else none. Always takes the same number of values from `rng`.
Relighting DrawRelighting(std::mt19937& rng, double share);

// Applies `change` in place to the w x h pixels holding the face with the eyes at
// `eyes`.
void Relight(uint8_t* pixels, int w, int h, const EyePair& eyes, const Relighting& change);

}  // namespace train
