// A small anti-aliased vector painter for the resource art: shapes are signed
// distance functions (negative inside, in pixels), painted onto a premultiplied
// float RGBA image with coverage clamp(0.5 - d, 0, 1) per pixel centre.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace art {

struct Color {
    float r = 0, g = 0, b = 0, a = 1;  // straight (not premultiplied), 0..1
};

// 0..255 components.
inline Color Rgb(int r, int g, int b, float a = 1.0f) {
    return {r / 255.0f, g / 255.0f, b / 255.0f, a};
}
Color Mix(const Color& a, const Color& b, float t);
inline Color WithAlpha(Color c, float a) {
    c.a = a;
    return c;
}

constexpr float kPi = 3.14159265358979f;

// Signed distance (in pixels) of a point from a shape's outline: < 0 inside.
using Shape = std::function<float(float x, float y)>;
// The colour at a point: gradients.
using Paint = std::function<Color(float x, float y)>;

// Primitive shapes.
Shape Circle(float cx, float cy, float r);
Shape Ellipse(float cx, float cy, float rx, float ry);
Shape RoundRect(float x0, float y0, float x1, float y1, float radius);
// Rounded rectangle with separate radii: top-left, top-right, bottom-right, bottom-left.
Shape RoundRect4(float x0, float y0, float x1, float y1, float tl, float tr, float br, float bl);
// A thick line with round caps.
Shape Segment(float ax, float ay, float bx, float by, float width);
// A thick circular arc with round caps, angles in degrees (screen: y down, clockwise
// from +x), from a0 to a1 going clockwise (a1 > a0).
Shape Arc(float cx, float cy, float r, float a0, float a1, float width);
Shape Polygon(std::vector<float> xy);  // x0, y0, x1, y1, ...
// Points with n.x * x + n.y * y < c (n normalised).
Shape HalfPlane(float nx, float ny, float c);

// Combinations and transforms.
Shape Union(Shape a, Shape b);
Shape Union(std::initializer_list<Shape> shapes);
Shape Intersect(Shape a, Shape b);
Shape Subtract(Shape a, Shape b);
Shape Grow(Shape a, float by);          // > 0 grows, < 0 shrinks
Shape Outline(Shape a, float width);    // a band of `width` centred on the outline
Shape InnerBand(Shape a, float width);  // a band of `width` just inside the outline
Shape Rotate(Shape a, float cx, float cy, float degrees);

// Paints.
Paint Solid(Color c);
// Linear gradient from (x0, y0) to (x1, y1) through evenly spaced or given stops.
Paint Linear(float x0, float y0, float x1, float y1, std::vector<std::pair<float, Color>> stops);
Paint Radial(float cx, float cy, float r, std::vector<std::pair<float, Color>> stops);

float SmoothStep(float e0, float e1, float x);

class Image {
public:
    Image() = default;
    Image(int w, int h) : w_(w), h_(h), px_((size_t)w * h * 4, 0.0f) {}
    int width() const { return w_; }
    int height() const { return h_; }

    // Composites the shape over the image.
    void Fill(const Shape& s, const Paint& p, float opacity = 1.0f);
    void Fill(const Shape& s, Color c, float opacity = 1.0f) { Fill(s, Solid(c), opacity); }
    // A blurred copy of the shape (soft shadow or glow): coverage falls off over `blur`
    // pixels either side of the outline.
    void Shadow(const Shape& s, float dx, float dy, float blur, Color c);
    // Fills every pixel with the paint (opaque background).
    void Clear(const Paint& p);
    void Clear(Color c) { Clear(Solid(c)); }
    // Composites another image over this one at (x, y).
    void Draw(const Image& src, int x, int y);
    // Copy of a rectangle.
    Image Crop(int x, int y, int w, int h) const;

    // Straight 8-bit RGBA of a pixel.
    void Get8(int x, int y, uint8_t out[4]) const;
    // Premultiplied float pixel.
    float* At(int x, int y) { return &px_[((size_t)y * w_ + x) * 4]; }
    const float* At(int x, int y) const { return &px_[((size_t)y * w_ + x) * 4]; }

private:
    int w_ = 0, h_ = 0;
    std::vector<float> px_;
};

// File output. WritePng writes 8-bit RGBA; WriteBmp writes a 24-bit bottom-up BMP
// of the image composed over `matte` (the image is normally opaque already).
bool WritePng(const Image& img, const std::string& path);
bool WriteBmp(const Image& img, const std::string& path, Color matte = Rgb(0, 0, 0));

}  // namespace art
