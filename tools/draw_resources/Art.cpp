#include "Art.h"

#include <algorithm>
#include <cmath>

#include "resources/resource_ids.h"

namespace art {

namespace {

// Palette.
const Color kAccent = Rgb(255, 140, 30);
const Color kAccentLight = Rgb(255, 182, 96);
const Color kAccentDeep = Rgb(206, 92, 10);
const Color kBlack = Rgb(0, 0, 0);
const Color kWhite = Rgb(255, 255, 255);

float Rad(float degrees) {
    return degrees * kPi / 180;
}

Shape Rect(float x0, float y0, float x1, float y1) {
    return RoundRect(x0, y0, x1, y1, 0);
}

// ---------------------------------------------------------------------------
// Shared motifs

// Aperture blades: a disc of radius r with a hexagonal opening of radius hole,
// cut by six straight gaps that continue the opening's edges.
Shape ApertureBlades(float cx, float cy, float r, float hole, float gap, float rotation) {
    std::vector<float> hex;
    float vx[6], vy[6];
    for (int i = 0; i < 6; ++i) {
        float a = Rad(rotation + 60.0f * i);
        vx[i] = cx + hole * std::cos(a);
        vy[i] = cy + hole * std::sin(a);
        hex.push_back(vx[i]);
        hex.push_back(vy[i]);
    }
    Shape blades = Subtract(Circle(cx, cy, r), Polygon(hex));
    for (int i = 0; i < 6; ++i) {
        int j = (i + 1) % 6;
        float dx = vx[j] - vx[i], dy = vy[j] - vy[i], len = std::hypot(dx, dy);
        dx /= len;
        dy /= len;
        blades = Subtract(blades, Segment(vx[j] - dx * gap * 0.3f, vy[j] - dy * gap * 0.3f, vx[j] + dx * r * 2,
                                          vy[j] + dy * r * 2, gap));
    }
    return blades;
}

// Brightness varying with the angle around a centre, like light on metal blades.
Paint ConicSheen(float cx, float cy, Color a, Color b, float phase) {
    return [=](float x, float y) {
        float t = 0.5f + 0.5f * std::cos(2.0f * (std::atan2(y - cy, x - cx) - Rad(phase)));
        return Mix(a, b, t);
    };
}

// The Lumetra emblem: an orange aperture in a dark lens ring, radius r.
void DrawEmblem(Image& img, float cx, float cy, float r, bool shadow) {
    if (shadow) img.Shadow(Circle(cx, cy, r), 0, r * 0.05f, r * 0.08f, WithAlpha(kBlack, 0.55f));
    // Lens barrel: metallic ring.
    img.Fill(Circle(cx, cy, r), Linear(cx, cy - r, cx, cy + r, {{0, Rgb(196, 199, 205)}, {1, Rgb(72, 74, 80)}}));
    img.Fill(Circle(cx, cy, r * 0.9f), Linear(cx, cy - r, cx, cy + r, {{0, Rgb(24, 25, 28)}, {1, Rgb(52, 54, 58)}}));
    // Blades.
    float br = r * 0.84f;
    img.Fill(ApertureBlades(cx, cy, br, r * 0.30f, std::max(1.0f, r * 0.05f), -15),
             ConicSheen(cx, cy, Rgb(255, 176, 80), Rgb(222, 100, 12), -60));
    // The opening: deep glass with a glint.
    img.Fill(Circle(cx + r * 0.08f, cy - r * 0.08f, r * 0.07f), WithAlpha(kWhite, 0.85f));
    // Glass reflection over the whole lens.
    img.Fill(Intersect(Circle(cx, cy, br), Ellipse(cx - r * 0.25f, cy - r * 0.45f, r * 0.75f, r * 0.42f)),
             Linear(cx, cy - r, cx, cy, {{0, WithAlpha(kWhite, 0.30f)}, {1, WithAlpha(kWhite, 0.0f)}}));
}

// ---------------------------------------------------------------------------
// Button bar

enum class Look { Normal, Pressed, Disabled };
constexpr int kBarHeight = 80;

// Icon outlines, centred on (cx, cy), about 44 px across.
Shape MagnifierIcon(float cx, float cy, bool plus) {
    float lx = cx - 3, ly = cy - 3, r = 13.5f;
    Shape s = Union({Outline(Circle(lx, ly, r), 4.0f),
                     Segment(lx + (r + 2) * 0.7071f, ly + (r + 2) * 0.7071f, cx + 16, cy + 16, 7.0f),
                     Segment(lx - 6.5f, ly, lx + 6.5f, ly, 4.0f)});
    if (plus) s = Union(s, Segment(lx, ly - 6.5f, lx, ly + 6.5f, 4.0f));
    return s;
}

Shape FindIcon(float cx, float cy) {
    float h = 20, len = 10;
    Shape frame = Outline(RoundRect(cx - h, cy - h, cx + h, cy + h, 7), 3.5f);
    Shape corners = Union({Rect(cx - h - 3, cy - h - 3, cx - h + len, cy - h + len),
                           Rect(cx + h - len, cy - h - 3, cx + h + 3, cy - h + len),
                           Rect(cx - h - 3, cy + h - len, cx - h + len, cy + h + 3),
                           Rect(cx + h - len, cy + h - len, cx + h + 3, cy + h + 3)});
    Shape head = Circle(cx, cy - 6, 6.5f);
    Shape body = Intersect(Ellipse(cx, cy + 15.5f, 12.5f, 11.5f), HalfPlane(0, 1, cy + 14));
    body = Subtract(body, Circle(cx, cy - 6, 9.0f));
    return Union({Intersect(frame, corners), head, body});
}

Shape BrushShape(float cx, float cy) {
    // Drawn upright with the tip at the bottom, then leaned 45 degrees.
    Shape handle = Union(Polygon({cx - 2.2f, cy - 24, cx + 2.2f, cy - 24, cx + 3.6f, cy - 7, cx - 3.6f, cy - 7}),
                         Circle(cx, cy - 24, 2.2f));
    Shape ferrule = RoundRect(cx - 5, cy - 5.5f, cx + 5, cy + 2.5f, 1.5f);
    Shape bristles = Intersect(Ellipse(cx, cy + 3.5f, 5.6f, 18.5f), HalfPlane(0, -1, -(cy + 4.5f)));
    return Rotate(Union({handle, ferrule, bristles}), cx, cy, 45);
}

Shape AddIcon(float cx, float cy) {
    float px = cx - 11, py = cy - 11;
    return Union(
        {BrushShape(cx + 4, cy + 2), Segment(px - 7, py, px + 7, py, 4.0f), Segment(px, py - 7, px, py + 7, 4.0f)});
}

Shape EraseIcon(float cx, float cy) {
    float ex = cx + 2, ey = cy - 3;
    Shape body = RoundRect(ex - 18, ey - 9.5f, ex + 18, ey + 9.5f, 4);
    Shape eraser = Union(InnerBand(body, 3.5f), Intersect(body, HalfPlane(-1, 0, -(ex - 3))));
    // A gap between the sleeve and the rubber tip.
    eraser = Subtract(eraser, Intersect(Rect(ex - 4.5f, ey - 20, ex - 2.5f, ey + 20), Grow(body, -3.4f)));
    eraser = Rotate(eraser, ex, ey, -40);
    return Union(eraser, Segment(cx - 3, cy + 19, cx + 19, cy + 19, 3.5f));
}

Shape EffectIcon(float cx, float cy) {
    return Union(Outline(Circle(cx, cy, 20.5f), 3.2f), ApertureBlades(cx, cy, 16.2f, 6.5f, 2.4f, -15));
}

Shape CompareIcon(float cx, float cy) {
    Shape box = RoundRect(cx - 18, cy - 15, cx + 18, cy + 15, 4.5f);
    Shape left = Intersect(box, HalfPlane(1, 0, cx));
    Shape right = InnerBand(box, 3.5f);
    return Union({left, right, Segment(cx, cy - 21, cx, cy + 21, 3.5f)});
}

Shape ResetIcon(float cx, float cy) {
    float r = 14.5f, a0 = -88, a1 = 205;
    Shape arc = Arc(cx, cy, r, a0, a1, 4.2f);
    float px = cx + r * std::cos(Rad(a0)), py = cy + r * std::sin(Rad(a0));
    // Tangent pointing anticlockwise (the way the arrow travels) and the outward normal.
    float tx = std::sin(Rad(a0)), ty = -std::cos(Rad(a0));
    float nx = std::cos(Rad(a0)), ny = std::sin(Rad(a0));
    float hw = 8.0f;
    Shape head = Grow(Polygon({px + tx * 8.5f, py + ty * 8.5f, px - tx * 2 + nx * hw, py - ty * 2 + ny * hw,
                               px - tx * 2 - nx * hw, py - ty * 2 - ny * hw}),
                      0.6f);
    return Union(arc, head);
}

using IconFn = Shape (*)(float cx, float cy);

Image BarButton(int w, IconFn icon, Look look) {
    Image img(w, kBarHeight);
    float cx = w / 2.0f, cy = 40;
    // Base: a vertical charcoal gradient shared by every button so the bar reads as one.
    if (look == Look::Pressed) {
        img.Clear(Linear(0, 0, 0, kBarHeight, {{0, Rgb(30, 29, 29)}, {1, Rgb(44, 36, 30)}}));
        img.Fill(Rect(0, 0, w, kBarHeight), Radial(cx, cy + 6, 52,
                                                   {{0, WithAlpha(kAccent, 0.42f)},
                                                    {0.55f, WithAlpha(kAccent, 0.14f)},
                                                    {1, WithAlpha(kAccent, 0.0f)}}));
        // Inner shadow along the top: pushed in.
        img.Fill(Rect(0, 0, w, 10), Linear(0, 0, 0, 10, {{0, WithAlpha(kBlack, 0.45f)}, {1, WithAlpha(kBlack, 0)}}));
    } else {
        img.Clear(Linear(0, 0, 0, kBarHeight, {{0, Rgb(64, 66, 71)}, {0.5f, Rgb(47, 48, 52)}, {1, Rgb(33, 34, 37)}}));
    }
    // Top edge: a dark line against the photo, then a highlight (not on a pressed button).
    img.Fill(Rect(0, 0, w, 1), Rgb(12, 12, 13));
    if (look != Look::Pressed) img.Fill(Rect(0, 1, w, 2), WithAlpha(Rgb(110, 112, 118), 0.8f));
    // Separators: a groove made of this button's dark right edge and the next one's light left edge.
    Paint fade = [](float, float y) {
        float a = SmoothStep(6, 22, y) * (1 - SmoothStep(58, 74, y));
        return Color{0, 0, 0, a};
    };
    Paint darkLine = [&](float x, float y) { return WithAlpha(Rgb(16, 16, 18), 0.9f * fade(x, y).a); };
    Paint lightLine = [&](float x, float y) { return WithAlpha(Rgb(92, 94, 100), 0.7f * fade(x, y).a); };
    img.Fill(Rect(w - 1, 0, w, kBarHeight), darkLine);
    img.Fill(Rect(0, 0, 1, kBarHeight), lightLine);

    Shape s = icon(cx, cy);
    switch (look) {
        case Look::Normal:
            img.Shadow(s, 0, 1.5f, 1.5f, WithAlpha(kBlack, 0.55f));
            img.Fill(s, Linear(0, cy - 22, 0, cy + 22, {{0, Rgb(246, 247, 249)}, {1, Rgb(206, 209, 214)}}));
            break;
        case Look::Pressed:
            img.Shadow(Grow(s, 1), 0, 0, 5, WithAlpha(kAccent, 0.55f));
            img.Fill(s, Linear(0, cy - 22, 0, cy + 22, {{0, Rgb(255, 214, 160)}, {1, kAccentLight}}));
            // The lit indicator along the top edge.
            img.Shadow(RoundRect4(6, -2, w - 6, 4, 0, 0, 2, 2), 0, 0, 3, WithAlpha(kAccent, 0.6f));
            img.Fill(RoundRect4(6, -2, w - 6, 4, 0, 0, 2, 2),
                     Linear(0, 0, 0, 4, {{0, Rgb(255, 196, 120)}, {1, kAccent}}));
            break;
        case Look::Disabled:
            img.Shadow(s, 0, 1, 1, WithAlpha(kBlack, 0.3f));
            img.Fill(s, Rgb(92, 94, 99));
            break;
    }
    return img;
}

// ---------------------------------------------------------------------------
// Message panel (445 x 285, cut into top 65, middle 200, bottom 20)

constexpr int kPanelW = 445, kPanelH = 285, kPanelTop = 65, kPanelMid = 200;

Image MessagePanel() {
    Image img(kPanelW, kPanelH);
    Shape outer = RoundRect(0, 0, kPanelW, kPanelH, 18);
    // Light outer rim so the edge stays crisp on dark photos and on the key colour.
    img.Fill(outer, Rgb(120, 122, 128));
    Shape inner = Grow(outer, -1.5f);
    img.Fill(inner, Rgb(20, 20, 22));
    Shape face = Grow(outer, -2.5f);
    // The body is flat so the middle piece can be stretched.
    img.Fill(face, Rgb(44, 45, 49));
    // Header.
    Shape header = Intersect(face, HalfPlane(0, 1, kPanelTop - 4));
    img.Fill(header, Linear(0, 0, 0, kPanelTop, {{0, Rgb(74, 76, 82)}, {1, Rgb(46, 47, 51)}}));
    img.Fill(Intersect(face, Rect(0, 2.5f, kPanelW, 3.5f)), WithAlpha(kWhite, 0.18f));
    // Accent line under the header.
    Shape accent = Intersect(face, Rect(0, kPanelTop - 4, kPanelW, kPanelTop - 1));
    img.Fill(accent, Linear(0, 0, kPanelW, 0, {{0, kAccentDeep}, {0.3f, kAccent}, {0.7f, kAccent}, {1, kAccentDeep}}));
    DrawEmblem(img, 57.5f, 31, 25, true);
    return img;
}

Image PanelButton(int w, bool pressed) {
    const int h = 62;
    Image img(w, h);
    Shape body = RoundRect(3, 2, w - 3, h - 4, 13);
    img.Shadow(body, 0, 2, 2.5f, WithAlpha(kBlack, 0.6f));
    if (pressed) {
        img.Fill(body, Rgb(120, 52, 4));
        Shape face = Grow(body, -1);
        img.Fill(face, Linear(0, 2, 0, h - 4, {{0, Rgb(214, 100, 14)}, {1, Rgb(244, 134, 34)}}));
        // Pressed in: shade along the top inside.
        img.Fill(Intersect(face, Rect(0, 0, w, 12)),
                 Linear(0, 3, 0, 12, {{0, WithAlpha(kBlack, 0.28f)}, {1, WithAlpha(kBlack, 0)}}));
    } else {
        img.Fill(body, Rgb(128, 130, 136));
        Shape face = Grow(body, -1);
        img.Fill(face, Linear(0, 2, 0, h - 4,
                              {{0, Rgb(250, 250, 251)}, {0.5f, Rgb(232, 233, 236)}, {1, Rgb(204, 206, 211)}}));
        img.Fill(Intersect(InnerBand(face, 1.2f), HalfPlane(0, 1, 14)), WithAlpha(kWhite, 0.9f));
    }
    return img;
}

// ---------------------------------------------------------------------------
// Save pop-up (304 x 143 nine-patch)

constexpr int kPopW = 304, kPopH = 143, kPopEdge = 16;

Image SavePopup() {
    Image img(kPopW, kPopH);
    Shape outer = RoundRect(0, 0, kPopW, kPopH, 14);
    img.Fill(outer, Rgb(112, 114, 120));
    img.Fill(Grow(outer, -1.2f), Rgb(16, 16, 18));
    Shape face = Grow(outer, -2.2f);
    img.Fill(face, Linear(0, 0, 0, kPopH, {{0, Rgb(52, 53, 57)}, {0.15f, Rgb(40, 41, 45)}, {1, Rgb(30, 31, 34)}}));
    // Glassy sheen along the top.
    img.Fill(Intersect(InnerBand(face, 1.0f), HalfPlane(0, 1, 20)), WithAlpha(kWhite, 0.16f));
    return img;
}

Image PopupPressed() {
    const int w = 301, h = 66;
    Image img(w, h);
    Shape body = RoundRect(8, 4, w - 8, h - 4, 10);
    img.Shadow(body, 0, 0, 3, WithAlpha(kAccent, 0.35f));
    img.Fill(body, Linear(0, 4, 0, h - 4, {{0, Rgb(240, 128, 28)}, {1, Rgb(200, 88, 8)}}));
    img.Fill(Intersect(InnerBand(body, 1.0f), HalfPlane(0, 1, 18)), WithAlpha(Rgb(255, 210, 150), 0.7f));
    return img;
}

// ---------------------------------------------------------------------------
// Zoom overlay buttons (80 x 80) and their connector (80 x 20)

Image ZoomButton(bool in, bool enabled) {
    Image img(80, 80);
    float cx = 40, cy = 39.5f, r = 35;
    Shape disc = Circle(cx, cy, r);
    img.Shadow(disc, 0, 1.5f, 2.5f, WithAlpha(kBlack, 0.5f));
    Color top = enabled ? Rgb(255, 170, 74) : Rgb(166, 168, 172);
    Color bottom = enabled ? Rgb(228, 104, 10) : Rgb(104, 106, 110);
    Color rim = enabled ? Rgb(150, 66, 4) : Rgb(70, 72, 76);
    img.Fill(disc, rim);
    img.Fill(Grow(disc, -1.2f), Linear(0, cy - r, 0, cy + r, {{0, top}, {1, bottom}}));
    // Gloss on the upper half.
    img.Fill(Intersect(Grow(disc, -2.5f), Ellipse(cx, cy - r * 0.5f, r * 0.78f, r * 0.5f)),
             Linear(0, cy - r, 0, cy, {{0, WithAlpha(kWhite, 0.30f)}, {1, WithAlpha(kWhite, 0.02f)}}));
    // Glyph: an arrow head with a plus (in) or a minus (out).
    Shape glyph;
    if (in) {
        Shape head = Grow(Polygon({cx, cy - 22, cx + 14, cy - 5, cx - 14, cy - 5}), 1.5f);
        glyph =
            Union({head, Segment(cx - 10, cy + 12, cx + 10, cy + 12, 5.5f), Segment(cx, cy + 2, cx, cy + 22, 5.5f)});
    } else {
        Shape head = Grow(Polygon({cx, cy + 22, cx - 14, cy + 5, cx + 14, cy + 5}), 1.5f);
        glyph = Union(head, Segment(cx - 10, cy - 12, cx + 10, cy - 12, 5.5f));
    }
    img.Shadow(glyph, 0, 1.2f, 1.8f, WithAlpha(enabled ? Rgb(110, 44, 0) : kBlack, 0.65f));
    img.Fill(glyph, enabled ? kWhite : Rgb(226, 227, 230));
    if (!enabled) {
        // Dim the whole button: it is unavailable.
        for (int y = 0; y < 80; ++y)
            for (int x = 0; x < 80; ++x)
                for (int k = 0; k < 4; ++k) img.At(x, y)[k] *= 0.85f;
    }
    return img;
}

Image ZoomBar() {
    Image img(80, 20);
    // A light rod in a dark translucent sleeve, running from edge to edge.
    img.Fill(Rect(35, -1, 45, 21), WithAlpha(Rgb(16, 16, 18), 0.5f));
    img.Fill(
        Rect(37.5f, -1, 42.5f, 21),
        Linear(37.5f, 0, 42.5f, 0, {{0, Rgb(190, 192, 196)}, {0.4f, Rgb(250, 250, 250)}, {1, Rgb(170, 172, 176)}}));
    return img;
}

// ---------------------------------------------------------------------------
// Save As dialog bitmaps

Image SaveAsTitle() {
    const int w = 480, h = 75;
    Image img(w, h);
    img.Clear(Linear(0, 0, 0, h, {{0, Rgb(70, 72, 78)}, {1, Rgb(42, 43, 47)}}));
    img.Fill(Rect(0, 0, w, 1), WithAlpha(kWhite, 0.16f));
    // A faint aperture watermark at the right, away from the title text.
    img.Fill(Intersect(Union(Outline(Circle(430, 34, 44), 5), ApertureBlades(430, 34, 36, 13, 3, -15)),
                       Rect(0, 0, w, h - 3)),
             WithAlpha(kWhite, 0.06f));
    img.Fill(Rect(0, h - 3, w, h), Linear(0, 0, w, 0, {{0, kAccent}, {0.8f, kAccent}, {1, kAccentDeep}}));
    img.Fill(Rect(0, h - 4, w, h - 3), WithAlpha(Rgb(255, 200, 140), 0.5f));
    return img;
}

Image SaveAsEditFrame() {
    const int w = 452, h = 62;
    Image field(w, h);
    Shape outer = RoundRect(1, 1, w - 1, h - 1, 11);
    field.Fill(outer, kAccent);
    Shape face = Grow(outer, -2.2f);
    field.Fill(face, Rgb(27, 28, 31));
    // Inner shadow at the top: the field is sunk in.
    field.Fill(Intersect(face, Rect(0, 0, w, 12)),
               Linear(0, 3, 0, 12, {{0, WithAlpha(kBlack, 0.5f)}, {1, WithAlpha(kBlack, 0)}}));
    // Anti-alias the edge against the dialog background; everything outside the frame is
    // pure white, which the program treats as transparent.
    Color bg = DialogBackground();
    Image out(w, h);
    out.Clear(bg);
    out.Draw(field, 0, 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t p[4];
            field.Get8(x, y, p);
            if (p[3] == 0) {
                float* d = out.At(x, y);
                d[0] = d[1] = d[2] = d[3] = 1;
            }
        }
    return out;
}

// ---------------------------------------------------------------------------
// Application icon: designed on a 96-pixel grid and drawn at any size by scaling
// every coordinate, so each size gets its own anti-aliased edges rather than a
// resampled copy. The tile's edges land on whole pixels at every size.

Image AppIcon(int size) {
    const float s = size / 96.0f;
    Image img(size, size);
    const float x0 = std::round(4 * s), y0 = std::round(3 * s), x1 = std::round(92 * s), y1 = std::round(91 * s);
    Shape tile = RoundRect(x0, y0, x1, y1, 21 * s);
    img.Shadow(tile, 0, 1.5f * s, 2.5f * s, WithAlpha(kBlack, 0.5f));
    img.Fill(tile, Linear(0, y0, 0, y1, {{0, Rgb(74, 76, 82)}, {1, Rgb(28, 29, 32)}}));
    // The rim highlight stays at least a pixel wide so it still shows on small icons.
    img.Fill(Intersect(InnerBand(tile, std::max(1.0f, 1.2f * s)), HalfPlane(0, 1, 30 * s)), WithAlpha(kWhite, 0.25f));
    // A warm bokeh glow behind the lens.
    img.Fill(tile, Radial(48 * s, 47 * s, 46 * s, {{0.6f, WithAlpha(kAccent, 0.35f)}, {1, WithAlpha(kAccent, 0)}}));
    DrawEmblem(img, 48 * s, 47 * s, 35 * s, true);
    return img;
}

}  // namespace

Color DialogBackground() {
    return Rgb(0x50, 0x4F, 0x4B);
}

Image PhotoBackdrop(int w, int h) {
    Image img(w, h);
    img.Clear(Linear(0, 0, w * 0.3f, h, {{0, Rgb(96, 128, 156)}, {0.55f, Rgb(168, 150, 118)}, {1, Rgb(58, 62, 40)}}));
    // Soft bokeh discs.
    const float spots[][4] = {{0.15f, 0.2f, 0.09f, 0}, {0.7f, 0.15f, 0.12f, 1}, {0.45f, 0.55f, 0.07f, 0},
                              {0.85f, 0.7f, 0.1f, 1},  {0.25f, 0.8f, 0.14f, 1}, {0.55f, 0.3f, 0.05f, 0}};
    for (const auto& s : spots) {
        float r = s[2] * std::max(w, h);
        Color c = s[3] > 0 ? Rgb(255, 226, 170, 0.35f) : Rgb(220, 240, 255, 0.3f);
        img.Shadow(Circle(s[0] * w, s[1] * h, r), 0, 0, r * 0.15f, c);
    }
    return img;
}

std::vector<int> DesktopIconSizes() {
    return {48, 64, 128, 256};
}

Image DesktopIcon(int size) {
    return AppIcon(size);
}

std::vector<Resource> DrawAll() {
    std::vector<Resource> out;
    auto add = [&](int id, const char* name, bool bmp, Image img) { out.push_back({id, name, bmp, std::move(img)}); };

    struct Button {
        const char* name;
        int w;
        IconFn icon;
        int normal, pressed, disabled;
    };
    const Button buttons[] = {
        {"zoomout", 68, [](float x, float y) { return MagnifierIcon(x, y, false); }, IDB_ZOOMOUT_NORMAL,
         IDB_ZOOMOUT_PRESSED, IDB_ZOOMOUT_DISABLED},
        {"zoomin", 68, [](float x, float y) { return MagnifierIcon(x, y, true); }, IDB_ZOOMIN_NORMAL,
         IDB_ZOOMIN_PRESSED, IDB_ZOOMIN_DISABLED},
        {"find", 68, FindIcon, IDB_FIND_NORMAL, IDB_FIND_PRESSED, IDB_FIND_DISABLED},
        {"add", 68, AddIcon, IDB_ADD_NORMAL, IDB_ADD_PRESSED, IDB_ADD_DISABLED},
        {"erase", 69, EraseIcon, IDB_ERASE_NORMAL, IDB_ERASE_PRESSED, IDB_ERASE_DISABLED},
        {"effect", 69, EffectIcon, IDB_EFFECT_NORMAL, IDB_EFFECT_PRESSED, IDB_EFFECT_DISABLED},
        {"compare", 69, CompareIcon, IDB_COMPARE_NORMAL, IDB_COMPARE_PRESSED, IDB_COMPARE_DISABLED},
        {"reset", 69, ResetIcon, IDB_RESET_NORMAL, IDB_RESET_PRESSED, IDB_RESET_DISABLED},
    };
    for (const Button& b : buttons) {
        std::string n = b.name;
        add(b.normal, (n + "_normal").c_str(), true, BarButton(b.w, b.icon, Look::Normal));
        add(b.pressed, (n + "_pressed").c_str(), true, BarButton(b.w, b.icon, Look::Pressed));
        add(b.disabled, (n + "_disabled").c_str(), true, BarButton(b.w, b.icon, Look::Disabled));
    }

    add(IDB_SAVEAS_TITLE, "saveas_title", true, SaveAsTitle());
    add(IDB_SAVEAS_EDITFRAME, "saveas_editframe", true, SaveAsEditFrame());

    Image panel = MessagePanel();
    add(IDP_PANEL_TOP, "panel_top", false, panel.Crop(0, 0, kPanelW, kPanelTop));
    add(IDP_PANEL_MIDDLE, "panel_middle", false, panel.Crop(0, kPanelTop, kPanelW, kPanelMid));
    add(IDP_PANEL_BOTTOM, "panel_bottom", false,
        panel.Crop(0, kPanelTop + kPanelMid, kPanelW, kPanelH - kPanelTop - kPanelMid));
    add(IDP_PANEL_BUTTON, "panel_button", false, PanelButton(196, false));
    add(IDP_PANEL_OK_PRESSED, "panel_button_pressed", false, PanelButton(196, true));
    add(IDP_PANEL_WIDE_BUTTON, "panel_wide_button", false, PanelButton(403, false));
    add(IDP_PANEL_WIDE_PRESSED, "panel_wide_pressed", false, PanelButton(403, true));

    Image popup = SavePopup();
    const int e = kPopEdge, cw = kPopW - 2 * e, ch = kPopH - 2 * e;
    add(IDP_POPUP_TOPLEFT, "popup_topleft", false, popup.Crop(0, 0, e, e));
    add(IDP_POPUP_TOP, "popup_top", false, popup.Crop(e, 0, cw, e));
    add(IDP_POPUP_TOPRIGHT, "popup_topright", false, popup.Crop(e + cw, 0, e, e));
    add(IDP_POPUP_LEFT, "popup_left", false, popup.Crop(0, e, e, ch));
    add(IDP_POPUP_CENTRE, "popup_centre", false, popup.Crop(e, e, cw, ch));
    add(IDP_POPUP_RIGHT, "popup_right", false, popup.Crop(e + cw, e, e, ch));
    add(IDP_POPUP_BOTTOMLEFT, "popup_bottomleft", false, popup.Crop(0, e + ch, e, e));
    add(IDP_POPUP_BOTTOM, "popup_bottom", false, popup.Crop(e, e + ch, cw, e));
    add(IDP_POPUP_BOTTOMRIGHT, "popup_bottomright", false, popup.Crop(e + cw, e + ch, e, e));
    add(IDP_POPUP_PRESSED, "popup_pressed", false, PopupPressed());

    add(IDP_ZOOMIN_ENABLED, "zoomin_enabled", false, ZoomButton(true, true));
    add(IDP_ZOOMIN_DISABLED, "zoomin_disabled", false, ZoomButton(true, false));
    add(IDP_ZOOMOUT_ENABLED, "zoomout_enabled", false, ZoomButton(false, true));
    add(IDP_ZOOMOUT_DISABLED, "zoomout_disabled", false, ZoomButton(false, false));
    add(IDP_ZOOM_BAR, "zoom_bar", false, ZoomBar());

    add(IDI_APP, "icon", false, AppIcon(96));
    return out;
}

}  // namespace art
