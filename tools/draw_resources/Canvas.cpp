#include "Canvas.h"

#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace art {

namespace {

float Clamp01(float v) {
    return v < 0 ? 0 : (v > 1 ? 1 : v);
}
uint8_t To8(float v) {
    return (uint8_t)std::lround(Clamp01(v) * 255.0f);
}

Color GradientAt(const std::vector<std::pair<float, Color>>& stops, float t) {
    if (t <= stops.front().first) return stops.front().second;
    if (t >= stops.back().first) return stops.back().second;
    for (size_t i = 1; i < stops.size(); ++i) {
        if (t <= stops[i].first) {
            float span = stops[i].first - stops[i - 1].first;
            float u = span > 0 ? (t - stops[i - 1].first) / span : 1.0f;
            return Mix(stops[i - 1].second, stops[i].second, u);
        }
    }
    return stops.back().second;
}

}  // namespace

Color Mix(const Color& a, const Color& b, float t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t, a.a + (b.a - a.a) * t};
}

float SmoothStep(float e0, float e1, float x) {
    float t = Clamp01((x - e0) / (e1 - e0));
    return t * t * (3 - 2 * t);
}

Shape Circle(float cx, float cy, float r) {
    return [=](float x, float y) { return std::hypot(x - cx, y - cy) - r; };
}

Shape Ellipse(float cx, float cy, float rx, float ry) {
    return [=](float x, float y) {
        float px = (x - cx) / rx, py = (y - cy) / ry;
        float k0 = std::hypot(px, py);
        float k1 = std::hypot(px / rx, py / ry);
        if (k1 < 1e-6f) return -std::min(rx, ry);
        return k0 * (k0 - 1.0f) / k1;
    };
}

Shape RoundRect4(float x0, float y0, float x1, float y1, float tl, float tr, float br, float bl) {
    float cx = (x0 + x1) / 2, cy = (y0 + y1) / 2, hx = (x1 - x0) / 2, hy = (y1 - y0) / 2;
    return [=](float x, float y) {
        float px = x - cx, py = y - cy;
        float r = px < 0 ? (py < 0 ? tl : bl) : (py < 0 ? tr : br);
        float qx = std::fabs(px) - hx + r, qy = std::fabs(py) - hy + r;
        float outside = std::hypot(std::max(qx, 0.0f), std::max(qy, 0.0f));
        return outside + std::min(std::max(qx, qy), 0.0f) - r;
    };
}

Shape RoundRect(float x0, float y0, float x1, float y1, float radius) {
    return RoundRect4(x0, y0, x1, y1, radius, radius, radius, radius);
}

Shape Segment(float ax, float ay, float bx, float by, float width) {
    return [=](float x, float y) {
        float ex = bx - ax, ey = by - ay, wx = x - ax, wy = y - ay;
        float len2 = ex * ex + ey * ey;
        float t = len2 > 0 ? Clamp01((wx * ex + wy * ey) / len2) : 0.0f;
        return std::hypot(wx - ex * t, wy - ey * t) - width / 2;
    };
}

Shape Arc(float cx, float cy, float r, float a0, float a1, float width) {
    float ax = cx + r * std::cos(a0 * kPi / 180), ay = cy + r * std::sin(a0 * kPi / 180);
    float bx = cx + r * std::cos(a1 * kPi / 180), by = cy + r * std::sin(a1 * kPi / 180);
    float sweep = a1 - a0;
    return [=](float x, float y) {
        float dx = x - cx, dy = y - cy;
        float angle = std::atan2(dy, dx) * 180 / kPi;
        float t = std::fmod(angle - a0 + 720.0f, 360.0f);
        float d;
        if (t <= sweep)
            d = std::fabs(std::hypot(dx, dy) - r);
        else
            d = std::min(std::hypot(x - ax, y - ay), std::hypot(x - bx, y - by));
        return d - width / 2;
    };
}

Shape Polygon(std::vector<float> v) {
    return [v = std::move(v)](float x, float y) {
        size_t n = v.size() / 2;
        float d = 1e30f, s = 1.0f;
        for (size_t i = 0, j = n - 1; i < n; j = i, ++i) {
            float vix = v[2 * i], viy = v[2 * i + 1], vjx = v[2 * j], vjy = v[2 * j + 1];
            float ex = vjx - vix, ey = vjy - viy, wx = x - vix, wy = y - viy;
            float len2 = ex * ex + ey * ey;
            float t = len2 > 0 ? Clamp01((wx * ex + wy * ey) / len2) : 0.0f;
            float bx = wx - ex * t, by = wy - ey * t;
            d = std::min(d, bx * bx + by * by);
            bool c1 = y >= viy, c2 = y<vjy, c3 = ex * wy> ey * wx;
            if ((c1 && c2 && c3) || (!c1 && !c2 && !c3)) s = -s;
        }
        return s * std::sqrt(d);
    };
}

Shape HalfPlane(float nx, float ny, float c) {
    return [=](float x, float y) { return nx * x + ny * y - c; };
}

Shape Union(Shape a, Shape b) {
    return [=](float x, float y) { return std::min(a(x, y), b(x, y)); };
}

Shape Union(std::initializer_list<Shape> shapes) {
    std::vector<Shape> list(shapes);
    return [list](float x, float y) {
        float d = 1e30f;
        for (const Shape& s : list) d = std::min(d, s(x, y));
        return d;
    };
}

Shape Intersect(Shape a, Shape b) {
    return [=](float x, float y) { return std::max(a(x, y), b(x, y)); };
}

Shape Subtract(Shape a, Shape b) {
    return [=](float x, float y) { return std::max(a(x, y), -b(x, y)); };
}

Shape Grow(Shape a, float by) {
    return [=](float x, float y) { return a(x, y) - by; };
}

Shape Outline(Shape a, float width) {
    return [=](float x, float y) { return std::fabs(a(x, y)) - width / 2; };
}

Shape InnerBand(Shape a, float width) {
    return [=](float x, float y) {
        float d = a(x, y);
        return std::max(d, -(d + width));
    };
}

Shape Rotate(Shape a, float cx, float cy, float degrees) {
    float c = std::cos(-degrees * kPi / 180), s = std::sin(-degrees * kPi / 180);
    return [=](float x, float y) {
        float dx = x - cx, dy = y - cy;
        return a(cx + dx * c - dy * s, cy + dx * s + dy * c);
    };
}

Paint Solid(Color c) {
    return [=](float, float) { return c; };
}

Paint Linear(float x0, float y0, float x1, float y1, std::vector<std::pair<float, Color>> stops) {
    float ex = x1 - x0, ey = y1 - y0, len2 = ex * ex + ey * ey;
    return [=](float x, float y) { return GradientAt(stops, ((x - x0) * ex + (y - y0) * ey) / len2); };
}

Paint Radial(float cx, float cy, float r, std::vector<std::pair<float, Color>> stops) {
    return [=](float x, float y) { return GradientAt(stops, std::hypot(x - cx, y - cy) / r); };
}

namespace {

void Over(float* d, const Color& c, float alpha) {
    float a = c.a * alpha;
    if (a <= 0) return;
    d[0] = c.r * a + d[0] * (1 - a);
    d[1] = c.g * a + d[1] * (1 - a);
    d[2] = c.b * a + d[2] * (1 - a);
    d[3] = a + d[3] * (1 - a);
}

}  // namespace

void Image::Fill(const Shape& s, const Paint& p, float opacity) {
    for (int y = 0; y < h_; ++y)
        for (int x = 0; x < w_; ++x) {
            float fx = x + 0.5f, fy = y + 0.5f;
            float cov = Clamp01(0.5f - s(fx, fy));
            if (cov > 0) Over(At(x, y), p(fx, fy), cov * opacity);
        }
}

void Image::Shadow(const Shape& s, float dx, float dy, float blur, Color c) {
    for (int y = 0; y < h_; ++y)
        for (int x = 0; x < w_; ++x) {
            float d = s(x + 0.5f - dx, y + 0.5f - dy);
            float cov = 1.0f - SmoothStep(-blur, blur, d);
            if (cov > 0) Over(At(x, y), c, cov);
        }
}

void Image::Clear(const Paint& p) {
    for (int y = 0; y < h_; ++y)
        for (int x = 0; x < w_; ++x) {
            Color c = p(x + 0.5f, y + 0.5f);
            float* d = At(x, y);
            d[0] = c.r * c.a;
            d[1] = c.g * c.a;
            d[2] = c.b * c.a;
            d[3] = c.a;
        }
}

void Image::Draw(const Image& src, int ox, int oy) {
    for (int y = 0; y < src.h_; ++y)
        for (int x = 0; x < src.w_; ++x) {
            int tx = ox + x, ty = oy + y;
            if (tx < 0 || ty < 0 || tx >= w_ || ty >= h_) continue;
            const float* s = src.At(x, y);
            float* d = At(tx, ty);
            for (int k = 0; k < 4; ++k) d[k] = s[k] + d[k] * (1 - s[3]);
        }
}

Image Image::Crop(int x, int y, int w, int h) const {
    Image out(w, h);
    for (int j = 0; j < h; ++j)
        for (int i = 0; i < w; ++i) std::copy_n(At(x + i, y + j), 4, out.At(i, j));
    return out;
}

void Image::Get8(int x, int y, uint8_t out[4]) const {
    const float* p = At(x, y);
    float a = Clamp01(p[3]);
    uint8_t a8 = To8(a);
    if (a8 == 0) {
        out[0] = out[1] = out[2] = out[3] = 0;
        return;
    }
    for (int k = 0; k < 3; ++k) out[k] = To8(p[k] / a);
    out[3] = a8;
}

bool WritePng(const Image& img, const std::string& path) {
    std::vector<uint8_t> rgba((size_t)img.width() * img.height() * 4);
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) img.Get8(x, y, &rgba[((size_t)y * img.width() + x) * 4]);
    png_image pi{};
    pi.version = PNG_IMAGE_VERSION;
    pi.width = img.width();
    pi.height = img.height();
    pi.format = PNG_FORMAT_RGBA;
    bool ok = png_image_write_to_file(&pi, path.c_str(), 0, rgba.data(), 0, nullptr) != 0;
    png_image_free(&pi);
    return ok;
}

namespace {

void Put16(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    b[at] = v & 255;
    b[at + 1] = (v >> 8) & 255;
}
void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int k = 0; k < 4; ++k) b[at + k] = (v >> (8 * k)) & 255;
}

}  // namespace

bool WriteBmp(const Image& img, const std::string& path, Color matte) {
    int w = img.width(), h = img.height();
    uint32_t stride = ((uint32_t)w * 3 + 3) & ~3u;
    uint32_t dataSize = stride * h, fileSize = 14 + 40 + dataSize;
    std::vector<uint8_t> b(fileSize, 0);
    b[0] = 'B';
    b[1] = 'M';
    Put32(b, 2, fileSize);
    Put32(b, 10, 54);
    Put32(b, 14, 40);
    Put32(b, 18, w);
    Put32(b, 22, h);  // positive: bottom-up
    Put16(b, 26, 1);
    Put16(b, 28, 24);
    Put32(b, 30, 0);  // BI_RGB
    Put32(b, 34, dataSize);
    Put32(b, 38, 7559);  // 192 dpi in pixels per metre
    Put32(b, 42, 7559);
    for (int y = 0; y < h; ++y) {
        uint8_t* row = &b[54 + (size_t)(h - 1 - y) * stride];
        for (int x = 0; x < w; ++x) {
            const float* p = img.At(x, y);
            float a = Clamp01(p[3]);
            float r = p[0] + matte.r * (1 - a), g = p[1] + matte.g * (1 - a), bl = p[2] + matte.b * (1 - a);
            row[x * 3 + 0] = To8(bl);
            row[x * 3 + 1] = To8(g);
            row[x * 3 + 2] = To8(r);
        }
    }
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(b.data(), 1, b.size(), f) == b.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace art
