// Text rendering with FreeType. Every face name is drawn with DejaVu Sans (its
// bold cut for weights of 600 and more). Faces are opened once per (file, pixel
// size) and glyph coverage bitmaps are kept per (face, character): text is drawn
// on every paint.
#include <ft2build.h>
#include FT_FREETYPE_H

#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <tuple>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/raster.h"

namespace platform {
namespace {

struct Glyph {
    int left = 0, top = 0;  // bitmap offset from the pen position on the baseline
    int width = 0, rows = 0;
    int advance = 0;  // 26.6 pixels
    std::vector<uint8_t> coverage;
};

struct SizedFace {
    FT_Face face = nullptr;
    int ascent = 0;  // baseline below the cell top, pixels
    int lineHeight = 0;
    std::unordered_map<uint32_t, Glyph> glyphs;
    ~SizedFace() {
        if (face) FT_Done_Face(face);
    }
};

// Design metrics of a font file, read once, for turning a LOGFONT height into a size.
struct FileMetrics {
    bool ok = false;
    int unitsPerEm = 0, ascender = 0, descender = 0;  // descender is negative
};

struct FontState {
    std::mutex mutex;
    FT_Library library = nullptr;
    bool libraryFailed = false;
    std::string dir = "/usr/share/fonts/truetype/dejavu";
    std::map<std::string, FileMetrics> metrics;
    // By file, em size, ascent and line height: cell heights and em heights that
    // round to one em still place their baselines and lines differently.
    std::map<std::tuple<std::string, int, int, int>, std::unique_ptr<SizedFace>> faces;
    std::set<std::string> warned;
};

FontState& State() {
    static FontState s;
    return s;
}

void Warn(FontState& st, const std::string& what) {
    if (st.warned.insert(what).second) fprintf(stderr, "lumetra: %s; text will not be drawn\n", what.c_str());
}

bool EnsureLibrary(FontState& st) {
    if (st.library) return true;
    if (st.libraryFailed) return false;
    if (FT_Init_FreeType(&st.library) != 0) {
        st.library = nullptr;
        st.libraryFailed = true;
        Warn(st, "cannot start FreeType");
        return false;
    }
    return true;
}

const FileMetrics& MetricsOf(FontState& st, const std::string& path) {
    auto it = st.metrics.find(path);
    if (it != st.metrics.end()) return it->second;
    FileMetrics m;
    FT_Face face = nullptr;
    if (FT_New_Face(st.library, path.c_str(), 0, &face) == 0) {
        if (face->units_per_EM > 0 && face->ascender > face->descender) {
            m.ok = true;
            m.unitsPerEm = face->units_per_EM;
            m.ascender = face->ascender;
            m.descender = face->descender;
        }
        FT_Done_Face(face);
    }
    if (!m.ok) Warn(st, "cannot read font " + path);
    return st.metrics.emplace(path, m).first->second;
}

// The face for a LOGFONT, or null when the font cannot be used.
// lfHeight < 0: character (em) height in pixels; > 0: cell height, ascender to
// descender; 0: a 16-pixel character height.
SizedFace* FaceFor(FontState& st, const LOGFONT& lf) {
    if (!EnsureLibrary(st)) return nullptr;
    std::string path = st.dir + (lf.lfWeight >= 600 ? "/DejaVuSans-Bold.ttf" : "/DejaVuSans.ttf");
    const FileMetrics& m = MetricsOf(st, path);
    if (!m.ok) return nullptr;

    int em, ascent, lineHeight;
    double cellUnits = (double)m.ascender - m.descender;
    if (lf.lfHeight > 0) {
        int cell = std::min<int>(lf.lfHeight, 2048);
        em = std::max(1, (int)std::lround(cell * m.unitsPerEm / cellUnits));
        ascent = (int)std::lround(cell * m.ascender / cellUnits);
        lineHeight = cell;
    } else {
        em = lf.lfHeight == 0 ? 16 : (int)std::min<int64_t>(-(int64_t)lf.lfHeight, 2048);
        ascent = (int)std::lround((double)em * m.ascender / m.unitsPerEm);
        lineHeight = ascent + (int)std::lround((double)em * -m.descender / m.unitsPerEm);
    }

    auto key = std::make_tuple(path, em, ascent, lineHeight);
    auto it = st.faces.find(key);
    if (it != st.faces.end()) return it->second.get();
    auto sized = std::make_unique<SizedFace>();
    if (FT_New_Face(st.library, path.c_str(), 0, &sized->face) != 0) {
        sized->face = nullptr;
        Warn(st, "cannot open font " + path);
        return nullptr;
    }
    if (FT_Set_Pixel_Sizes(sized->face, 0, (FT_UInt)em) != 0) {
        Warn(st, "cannot size font " + path);
        return nullptr;
    }
    sized->ascent = ascent;
    sized->lineHeight = lineHeight;
    SizedFace* out = sized.get();
    st.faces.emplace(key, std::move(sized));
    return out;
}

const Glyph& GlyphFor(SizedFace& f, uint32_t ch) {
    auto it = f.glyphs.find(ch);
    if (it != f.glyphs.end()) return it->second;
    Glyph g;
    FT_UInt index = FT_Get_Char_Index(f.face, ch);
    if (FT_Load_Glyph(f.face, index, FT_LOAD_DEFAULT) == 0 &&
        FT_Render_Glyph(f.face->glyph, FT_RENDER_MODE_NORMAL) == 0) {
        FT_GlyphSlot slot = f.face->glyph;
        const FT_Bitmap& bm = slot->bitmap;
        g.left = slot->bitmap_left;
        g.top = slot->bitmap_top;
        g.advance = (int)slot->advance.x;
        g.width = (int)bm.width;
        g.rows = (int)bm.rows;
        g.coverage.resize((size_t)g.width * g.rows);
        for (int y = 0; y < g.rows; y++) {
            const uint8_t* src = bm.buffer + (ptrdiff_t)y * bm.pitch;
            uint8_t* dst = g.coverage.data() + (size_t)y * g.width;
            for (int x = 0; x < g.width; x++) {
                if (bm.pixel_mode == FT_PIXEL_MODE_MONO)
                    dst[x] = (src[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
                else
                    dst[x] = src[x];
            }
        }
    }
    return f.glyphs.emplace(ch, std::move(g)).first->second;
}

void BlendGlyph(const Surface& s, const RECT& clip, const Glyph& g, int gx, int gy, uint32_t rgb) {
    int x0 = std::max<int>(gx, clip.left), x1 = std::min<int>(gx + g.width, clip.right);
    int y0 = std::max<int>(gy, clip.top), y1 = std::min<int>(gy + g.rows, clip.bottom);
    for (int y = y0; y < y1; y++) {
        const uint8_t* cov = g.coverage.data() + (size_t)(y - gy) * g.width;
        for (int x = x0; x < x1; x++) s.Blend(x, y, rgb, cov[x - gx]);
    }
}

}  // namespace

void SetFontDirectory(const char* dir) {
    FontState& st = State();
    std::lock_guard<std::mutex> lock(st.mutex);
    st.faces.clear();
    st.metrics.clear();
    st.dir = dir ? dir : "";
}

void DrawTextRun(const Surface& s, const RECT& clipAbs, const LOGFONT& font, int x, int y, const wchar_t* text, int len,
                 uint32_t rgb) {
    if (!text || len <= 0 || !s.bits) return;
    RECT clip{std::max<LONG>(clipAbs.left, 0), std::max<LONG>(clipAbs.top, 0), std::min<LONG>(clipAbs.right, s.width),
              std::min<LONG>(clipAbs.bottom, s.height)};
    if (clip.left >= clip.right || clip.top >= clip.bottom) return;
    FontState& st = State();
    std::lock_guard<std::mutex> lock(st.mutex);
    SizedFace* face = FaceFor(st, font);
    if (!face) return;
    int64_t pen = (int64_t)x * 64;
    int baseline = y + face->ascent;
    for (int i = 0; i < len; i++) {
        const Glyph& g = GlyphFor(*face, (uint32_t)text[i]);
        int gx = (int)((pen + 32) >> 6) + g.left;
        if (gx >= clip.right) break;
        if (!g.coverage.empty()) BlendGlyph(s, clip, g, gx, baseline - g.top, rgb);
        pen += g.advance;
    }
}

SIZE MeasureTextRun(const LOGFONT& font, const wchar_t* text, int len) {
    FontState& st = State();
    std::lock_guard<std::mutex> lock(st.mutex);
    SizedFace* face = FaceFor(st, font);
    if (!face) return SIZE{0, 0};
    int64_t width = 0;
    for (int i = 0; text && i < len; i++) width += GlyphFor(*face, (uint32_t)text[i]).advance;
    return SIZE{(LONG)((width + 32) >> 6), face->lineHeight};
}

}  // namespace platform
