// draw_resources: draws Lumetra's resource art (button-bar and dialog bitmaps, PNG
// images and the application icon) and the icons installed for desktops with its
// own vector painter.
//
//   draw_resources OUTDIR                 writes every resource into OUTDIR (resources/art)
//   draw_resources --desktop OUTDIR       writes the desktop icons lumetra-<size>.png into
//                                         OUTDIR (resources/desktop), one drawing per size
//   draw_resources --sheet OUT.png [N [X Y W H]]
//                                         writes a contact sheet of everything (or a part), scaled N times
//
// The output depends on nothing but this program, so it is reproducible.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "Art.h"
#include "Canvas.h"

using namespace art;

namespace {

// Seven-segment digits, enough to label the sheet without fonts. They are
// painted into a small label laid over the sheet, as a shape fill visits every
// pixel of the image it fills.
void DrawNumber(Image& img, int value, float x, float y, Color c) {
    static const char* kSegments[10] = {"abcdef", "bc",     "abdeg", "abcdg",   "bcfg",
                                        "acdfg",  "acdefg", "abc",   "abcdefg", "abcdfg"};
    const std::string digits = std::to_string(value);
    const float w = 7, h = 12, t = 1.8f, advance = w + 5, margin = 3;
    const int left = static_cast<int>(std::floor(x - margin)), top = static_cast<int>(std::floor(y - margin));
    Image label(static_cast<int>(digits.size() * advance + 2 * margin) + 1, static_cast<int>(h + 2 * margin) + 1);
    x -= left;
    y -= top;
    for (char ch : digits) {
        const float x0 = x, x1 = x + w, y0 = y, ym = y + h / 2, y1 = y + h;
        // Ends of segments a to g.
        const float ends[7][4] = {{x0, y0, x1, y0}, {x1, y0, x1, ym}, {x1, ym, x1, y1}, {x0, y1, x1, y1},
                                  {x0, ym, x0, y1}, {x0, y0, x0, ym}, {x0, ym, x1, ym}};
        for (const char* s = kSegments[ch - '0']; *s; ++s) {
            const float* e = ends[*s - 'a'];
            label.Fill(Segment(e[0], e[1], e[2], e[3], t), c);
        }
        x += advance;
    }
    img.Draw(label, left, top);
}

void Checker(Image& img, int x0, int y0, int w, int h) {
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            if (x0 + x < 0 || y0 + y < 0 || x0 + x >= img.width() || y0 + y >= img.height()) continue;
            bool dark = ((x / 8) + (y / 8)) % 2;
            float v = dark ? 0.62f : 0.82f;
            float* p = img.At(x0 + x, y0 + y);
            p[0] = p[1] = p[2] = v;
            p[3] = 1;
        }
}

const Resource* Find(const std::vector<Resource>& all, int id) {
    for (const Resource& r : all)
        if (r.id == id) return &r;
    std::fprintf(stderr, "missing resource %d\n", id);
    std::exit(1);
}

// Composes pieces over the key colour the way the program does, then copies all but
// the exact key colour onto the destination.
void KeyedComposite(Image& dst, const Image& surface, int x, int y) {
    for (int j = 0; j < surface.height(); ++j)
        for (int i = 0; i < surface.width(); ++i) {
            uint8_t p[4];
            surface.Get8(i, j, p);
            if (p[0] == 0xFF && p[1] == 0xFA && p[2] == 0xFF) continue;
            std::copy_n(surface.At(i, j), 4, dst.At(x + i, y + j));
        }
}

Image Sheet(const std::vector<Resource>& all) {
    const int W = 1000;
    Image sheet(W, 2400);
    sheet.Clear(Rgb(236, 236, 238));
    auto img = [&](int id) -> const Image& { return Find(all, id)->image; };

    // 1. The button bar in its states, over a photo strip.
    const int place[7] = {0, 68, 136, 204, 273, 342, 411};
    const int rows[][7] = {
        {137, 139, 141, 143, 145, 147, 149},  // all normal (zoom in)
        {151, 139, 141, 143, 145, 147, 149},  // all normal (zoom out)
        {152, 138, 140, 142, 144, 146, 148},  // all pressed
        {172, 167, 164, 169, 166, 168, 170},  // all disabled
        {137, 139, 140, 143, 145, 168, 170},  // typical: add brush selected, compare/reset unavailable
    };
    int y = 10;
    for (const auto& row : rows) {
        sheet.Draw(PhotoBackdrop(480, 24), 10, y);
        for (int k = 0; k < 7; ++k) sheet.Draw(img(row[k]), 10 + place[k], y + 24);
        y += 24 + 80 + 8;
    }

    // 2. The message panel over a photo, with placeholders where the program writes text.
    {
        Image back = PhotoBackdrop(485, 325);
        Image surface(445, 285);
        surface.Clear(Rgb(0xFF, 0xFA, 0xFF));
        surface.Draw(img(181), 0, 0);
        surface.Draw(img(184), 0, 65);
        surface.Draw(img(183), 0, 265);
        surface.Fill(RoundRect(110, 20, 262, 50, 3), Rgb(255, 255, 255));  // "Lumetra", 42 px
        surface.Fill(RoundRect(30, 86, 380, 108, 3), Rgb(255, 255, 255));
        surface.Fill(RoundRect(30, 136, 300, 158, 3), Rgb(255, 255, 255));
        surface.Draw(img(187), 17, 200);
        surface.Draw(img(182), 232, 200);
        surface.Fill(RoundRect(85, 220, 130, 240, 3), Rgb(0, 0, 0));
        surface.Fill(RoundRect(290, 220, 370, 240, 3), Rgb(255, 255, 255));
        KeyedComposite(back, surface, 20, 20);
        sheet.Draw(back, 505, 10);
    }
    // 2b. The one-button panel's lower part, normal and pressed.
    for (int k = 0; k < 2; ++k) {
        Image back = PhotoBackdrop(242, 110);
        Image surface(445, 85);
        surface.Clear(Rgb(0xFF, 0xFA, 0xFF));
        surface.Draw(img(184).Crop(0, 120, 445, 80), 0, 0);
        surface.Draw(img(183), 0, 65);
        surface.Draw(img(k ? 186 : 185), 21, 0);
        Image half = surface.Crop(k ? 223 : 0, 0, 222, 85);
        KeyedComposite(back, half, k ? 0 : 20, 20);
        sheet.Draw(back, 505 + 243 * k, 345);
    }
    // 3. The save pop-up assembled from its nine pieces, "Save As" pressed.
    y = 680;
    {
        Image back = PhotoBackdrop(344, 183);
        Image pop(304, 143);
        pop.Draw(img(193), 0, 0);
        pop.Draw(img(190), 16, 0);
        pop.Draw(img(197), 288, 0);
        pop.Draw(img(192), 0, 16);
        pop.Draw(img(189), 16, 16);
        pop.Draw(img(196), 288, 16);
        pop.Draw(img(191), 0, 127);
        pop.Draw(img(188), 16, 127);
        pop.Draw(img(195), 288, 127);
        pop.Draw(img(198), 1, 4);
        pop.Fill(RoundRect(24, 27, 140, 47, 3), Rgb(0xE6, 0xE6, 0xE6));
        pop.Fill(RoundRect(24, 96, 120, 116, 3), Rgb(0xE6, 0xE6, 0xE6));
        pop.Fill(RoundRect(12, 71, 292, 72, 0), Rgb(0x54, 0x54, 0x54));
        back.Draw(pop, 20, 20);
        sheet.Draw(back, 10, y);
    }
    // 4. Zoom controls over a photo, enabled and disabled.
    {
        Image back = PhotoBackdrop(220, 200);
        back.Draw(img(173), 10, 10);
        back.Draw(img(177), 10, 90);
        back.Draw(img(176), 10, 110);
        back.Draw(img(175), 120, 10);
        back.Draw(img(177), 120, 90);
        back.Draw(img(174), 120, 110);
        sheet.Draw(back, 364, y);
    }
    // 5. The Save As dialog: title over the dialog background, the edit frame with white keyed out.
    {
        Image dlg(480, 200);
        dlg.Clear(DialogBackground());
        dlg.Draw(img(157), 0, 0);
        dlg.Fill(RoundRect(22, 28, 150, 56, 3), Rgb(255, 255, 255));  // "Rename"
        const Image& edit = img(154);
        for (int j = 0; j < edit.height(); ++j)
            for (int i = 0; i < edit.width(); ++i) {
                uint8_t p[4];
                edit.Get8(i, j, p);
                if (p[0] == 255 && p[1] == 255 && p[2] == 255) continue;
                std::copy_n(edit.At(i, j), 4, dlg.At(14 + i, 110 + j));
            }
        dlg.Fill(RoundRect(32, 128, 190, 152, 3), Rgb(255, 255, 255));
        sheet.Draw(dlg, 505, 465);
    }

    // 6. Every resource on its own over a checkerboard, labelled with its id.
    int x = 10;
    y = 680 + 215;
    int rowH = 0;
    for (const Resource& r : all) {
        const Image& im = r.image;
        if (x + im.width() + 10 > W) {
            x = 10;
            y += rowH + 24;
            rowH = 0;
        }
        DrawNumber(sheet, r.id, x, y, Rgb(40, 40, 40));
        Checker(sheet, x, y + 16, im.width(), im.height());
        sheet.Draw(im, x, y + 16);
        x += std::max(im.width(), 40) + 12;
        rowH = std::max(rowH, im.height() + 16);
    }
    return sheet.Crop(0, 0, W, std::min(sheet.height(), y + rowH + 10));
}

Image Upscale(const Image& src, int n) {
    Image out(src.width() * n, src.height() * n);
    for (int y = 0; y < out.height(); ++y)
        for (int x = 0; x < out.width(); ++x) std::copy_n(src.At(x / n, y / n), 4, out.At(x, y));
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::string(argv[1]) == "--sheet") {
        Image sheet = Sheet(DrawAll());
        int n = argc >= 4 ? std::atoi(argv[3]) : 1;
        if (argc >= 8) {  // a part of the sheet: x y w h
            int x = std::atoi(argv[4]), y = std::atoi(argv[5]);
            int w = std::min(std::atoi(argv[6]), sheet.width() - x),
                h = std::min(std::atoi(argv[7]), sheet.height() - y);
            sheet = sheet.Crop(x, y, w, h);
        }
        if (n > 1) sheet = Upscale(sheet, n);
        if (!WritePng(sheet, argv[2])) {
            std::fprintf(stderr, "cannot write %s\n", argv[2]);
            return 1;
        }
        return 0;
    }
    const bool desktop = argc == 3 && std::string(argv[1]) == "--desktop";
    if (!desktop && (argc != 2 || argv[1][0] == '-')) {
        std::fprintf(stderr,
                     "usage: draw_resources OUTDIR | draw_resources --desktop OUTDIR\n"
                     "       draw_resources --sheet OUT.png [scale [x y w h]]\n");
        return 2;
    }
    std::filesystem::path dir = argv[desktop ? 2 : 1];
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    int written = 0;
    if (desktop) {
        // Only the icons: the desktop entry beside them is written by hand.
        for (int size : DesktopIconSizes()) {
            std::string path = (dir / ("lumetra-" + std::to_string(size) + ".png")).string();
            if (!WritePng(DesktopIcon(size), path)) {
                std::fprintf(stderr, "cannot write %s\n", path.c_str());
                return 1;
            }
            ++written;
        }
        std::printf("wrote %d files to %s\n", written, dir.string().c_str());
        return 0;
    }
    for (const Resource& r : DrawAll()) {
        std::string path = (dir / r.FileName()).string();
        bool ok = r.bmp ? WriteBmp(r.image, path) : WritePng(r.image, path);
        if (!ok) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            return 1;
        }
        ++written;
    }
    std::printf("wrote %d files to %s\n", written, dir.string().c_str());
    return 0;
}
