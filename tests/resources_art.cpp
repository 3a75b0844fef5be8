// The committed art of resources/art (drawn by tools/draw_resources): every file is
// there with the size and format the program expects, the looks of a button differ,
// and the PNG pieces are transparent where they must be.
#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

#include "resources/resource_ids.h"
#include "support/TestFiles.h"

namespace {

const std::string kArt = std::string(LUMETRA_SOURCE_DIR) + "/resources/art/";

struct Expected {
    int id;
    const char* name;
    int w, h;
};

const Expected kBitmaps[] = {
    {IDB_ZOOMOUT_NORMAL, "zoomout_normal", 68, 80},
    {IDB_ZOOMOUT_PRESSED, "zoomout_pressed", 68, 80},
    {IDB_ZOOMOUT_DISABLED, "zoomout_disabled", 68, 80},
    {IDB_ZOOMIN_NORMAL, "zoomin_normal", 68, 80},
    {IDB_ZOOMIN_PRESSED, "zoomin_pressed", 68, 80},
    {IDB_ZOOMIN_DISABLED, "zoomin_disabled", 68, 80},
    {IDB_FIND_NORMAL, "find_normal", 68, 80},
    {IDB_FIND_PRESSED, "find_pressed", 68, 80},
    {IDB_FIND_DISABLED, "find_disabled", 68, 80},
    {IDB_ADD_NORMAL, "add_normal", 68, 80},
    {IDB_ADD_PRESSED, "add_pressed", 68, 80},
    {IDB_ADD_DISABLED, "add_disabled", 68, 80},
    {IDB_ERASE_NORMAL, "erase_normal", 69, 80},
    {IDB_ERASE_PRESSED, "erase_pressed", 69, 80},
    {IDB_ERASE_DISABLED, "erase_disabled", 69, 80},
    {IDB_EFFECT_NORMAL, "effect_normal", 69, 80},
    {IDB_EFFECT_PRESSED, "effect_pressed", 69, 80},
    {IDB_EFFECT_DISABLED, "effect_disabled", 69, 80},
    {IDB_COMPARE_NORMAL, "compare_normal", 69, 80},
    {IDB_COMPARE_PRESSED, "compare_pressed", 69, 80},
    {IDB_COMPARE_DISABLED, "compare_disabled", 69, 80},
    {IDB_RESET_NORMAL, "reset_normal", 69, 80},
    {IDB_RESET_PRESSED, "reset_pressed", 69, 80},
    {IDB_RESET_DISABLED, "reset_disabled", 69, 80},
    {IDB_SAVEAS_EDITFRAME, "saveas_editframe", 452, 62},
    {IDB_SAVEAS_TITLE, "saveas_title", 480, 75},
};

const Expected kImages[] = {
    {IDI_APP, "icon", 96, 96},
    {IDP_ZOOMIN_ENABLED, "zoomin_enabled", 80, 80},
    {IDP_ZOOMIN_DISABLED, "zoomin_disabled", 80, 80},
    {IDP_ZOOMOUT_ENABLED, "zoomout_enabled", 80, 80},
    {IDP_ZOOMOUT_DISABLED, "zoomout_disabled", 80, 80},
    {IDP_ZOOM_BAR, "zoom_bar", 80, 20},
    {IDP_PANEL_TOP, "panel_top", 445, 65},
    {IDP_PANEL_MIDDLE, "panel_middle", 445, 200},
    {IDP_PANEL_BOTTOM, "panel_bottom", 445, 20},
    {IDP_PANEL_BUTTON, "panel_button", 196, 62},
    {IDP_PANEL_OK_PRESSED, "panel_button_pressed", 196, 62},
    {IDP_PANEL_WIDE_BUTTON, "panel_wide_button", 403, 62},
    {IDP_PANEL_WIDE_PRESSED, "panel_wide_pressed", 403, 62},
    {IDP_POPUP_TOPLEFT, "popup_topleft", 16, 16},
    {IDP_POPUP_TOP, "popup_top", 272, 16},
    {IDP_POPUP_TOPRIGHT, "popup_topright", 16, 16},
    {IDP_POPUP_LEFT, "popup_left", 16, 111},
    {IDP_POPUP_CENTRE, "popup_centre", 272, 111},
    {IDP_POPUP_RIGHT, "popup_right", 16, 111},
    {IDP_POPUP_BOTTOMLEFT, "popup_bottomleft", 16, 16},
    {IDP_POPUP_BOTTOM, "popup_bottom", 272, 16},
    {IDP_POPUP_BOTTOMRIGHT, "popup_bottomright", 16, 16},
    {IDP_POPUP_PRESSED, "popup_pressed", 301, 66},
};

std::string Path(const Expected& e, const char* ext) {
    return kArt + std::to_string(e.id) + "_" + e.name + ext;
}

uint32_t Le(const std::vector<unsigned char>& b, size_t at, int n) {
    uint32_t v = 0;
    for (int k = n - 1; k >= 0; --k) v = (v << 8) | b[at + k];
    return v;
}
uint32_t Be32(const std::vector<unsigned char>& b, size_t at) {
    return (uint32_t)b[at] << 24 | b[at + 1] << 16 | b[at + 2] << 8 | b[at + 3];
}

std::vector<unsigned char> Bytes(const Expected& e, bool bmp) {
    return testing_support::ReadBytes(Path(e, bmp ? ".bmp" : ".png"));
}

// RGBA pixels of a PNG file (empty on failure).
std::vector<unsigned char> Rgba(const Expected& e, int& w, int& h) {
    std::vector<unsigned char> file = Bytes(e, false), px;
    png_image img{};
    img.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&img, file.data(), file.size())) return px;
    img.format = PNG_FORMAT_RGBA;
    px.resize(PNG_IMAGE_SIZE(img));
    if (!png_image_finish_read(&img, nullptr, px.data(), 0, nullptr)) px.clear();
    w = img.width;
    h = img.height;
    return px;
}

const Expected& Img(int id) {
    for (const Expected& e : kImages)
        if (e.id == id) return e;
    return kImages[0];
}

TEST(ResourcesArt, BitmapsAre24BitBottomUpBmpsOfTheRightSize) {
    for (const Expected& e : kBitmaps) {
        SCOPED_TRACE(Path(e, ".bmp"));
        std::vector<unsigned char> b = Bytes(e, true);
        ASSERT_GE(b.size(), 54u);
        uint32_t stride = (e.w * 3 + 3) & ~3u;
        EXPECT_EQ(b[0], 'B');
        EXPECT_EQ(b[1], 'M');
        EXPECT_EQ(Le(b, 2, 4), b.size());
        EXPECT_EQ(Le(b, 10, 4), 54u);
        EXPECT_EQ(Le(b, 14, 4), 40u);
        EXPECT_EQ((int32_t)Le(b, 18, 4), e.w);
        EXPECT_EQ((int32_t)Le(b, 22, 4), e.h);  // positive: bottom-up
        EXPECT_EQ(Le(b, 26, 2), 1u);
        EXPECT_EQ(Le(b, 28, 2), 24u);
        EXPECT_EQ(Le(b, 30, 4), 0u);
        EXPECT_EQ(b.size(), 54u + stride * e.h);
    }
}

TEST(ResourcesArt, ImagesAreRgbaPngsOfTheRightSize) {
    const unsigned char sig[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    for (const Expected& e : kImages) {
        SCOPED_TRACE(Path(e, ".png"));
        std::vector<unsigned char> b = Bytes(e, false);
        ASSERT_GE(b.size(), 33u);
        EXPECT_TRUE(std::equal(sig, sig + 8, b.begin()));
        EXPECT_EQ(std::string(b.begin() + 12, b.begin() + 16), "IHDR");
        EXPECT_EQ(Be32(b, 16), (uint32_t)e.w);
        EXPECT_EQ(Be32(b, 20), (uint32_t)e.h);
        EXPECT_EQ(b[24], 8);  // bit depth
        EXPECT_EQ(b[25], 6);  // RGBA
    }
}

TEST(ResourcesArt, EveryFileIsNamedByItsResourceId) {
    std::regex name("^[0-9]+_[a-z0-9_]+\\.(bmp|png)$");
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(kArt)) {
        std::string f = entry.path().filename().string();
        if (f == "README.md") continue;
        EXPECT_TRUE(std::regex_match(f, name)) << f;
        ++count;
    }
    EXPECT_EQ(count, (int)(std::size(kBitmaps) + std::size(kImages)));
}

TEST(ResourcesArt, PressedAndDisabledLooksDifferFromNormal) {
    for (size_t i = 0; i + 2 < 24; i += 3) {
        auto normal = Bytes(kBitmaps[i], true), pressed = Bytes(kBitmaps[i + 1], true),
             disabled = Bytes(kBitmaps[i + 2], true);
        EXPECT_NE(normal, pressed) << kBitmaps[i].name;
        EXPECT_NE(normal, disabled) << kBitmaps[i].name;
        EXPECT_NE(pressed, disabled) << kBitmaps[i].name;
    }
    const int pairs[][2] = {{IDP_ZOOMIN_ENABLED, IDP_ZOOMIN_DISABLED},
                            {IDP_ZOOMOUT_ENABLED, IDP_ZOOMOUT_DISABLED},
                            {IDP_PANEL_BUTTON, IDP_PANEL_OK_PRESSED},
                            {IDP_PANEL_WIDE_BUTTON, IDP_PANEL_WIDE_PRESSED}};
    for (const auto& p : pairs) EXPECT_NE(Bytes(Img(p[0]), false), Bytes(Img(p[1]), false)) << p[0];
}

TEST(ResourcesArt, RoundedPiecesAreTransparentOutsideAndOpaqueInside) {
    // Which corners must be clear: 1 top-left, 2 top-right, 4 bottom-right, 8 bottom-left.
    const int corners[][2] = {{IDP_PANEL_TOP, 1 | 2},
                              {IDP_PANEL_BOTTOM, 4 | 8},
                              {IDP_POPUP_TOPLEFT, 1},
                              {IDP_POPUP_TOPRIGHT, 2},
                              {IDP_POPUP_BOTTOMRIGHT, 4},
                              {IDP_POPUP_BOTTOMLEFT, 8},
                              {IDP_PANEL_BUTTON, 15},
                              {IDP_PANEL_OK_PRESSED, 15},
                              {IDP_PANEL_WIDE_BUTTON, 15},
                              {IDP_PANEL_WIDE_PRESSED, 15},
                              {IDP_POPUP_PRESSED, 15},
                              {IDP_ZOOMIN_ENABLED, 15},
                              {IDP_ZOOMIN_DISABLED, 15},
                              {IDP_ZOOMOUT_ENABLED, 15},
                              {IDP_ZOOMOUT_DISABLED, 15},
                              {IDP_ZOOM_BAR, 15},
                              {IDI_APP, 15}};
    for (const auto& c : corners) {
        SCOPED_TRACE(c[0]);
        int w = 0, h = 0;
        std::vector<unsigned char> px = Rgba(Img(c[0]), w, h);
        ASSERT_FALSE(px.empty());
        auto alpha = [&](int x, int y) { return px[((size_t)y * w + x) * 4 + 3]; };
        if (c[1] & 1) {
            EXPECT_EQ(alpha(0, 0), 0);
        }
        if (c[1] & 2) {
            EXPECT_EQ(alpha(w - 1, 0), 0);
        }
        if (c[1] & 4) {
            EXPECT_EQ(alpha(w - 1, h - 1), 0);
        }
        if (c[1] & 8) {
            EXPECT_EQ(alpha(0, h - 1), 0);
        }
        EXPECT_GT(alpha(w / 2, h / 2), 200);  // disabled zoom buttons are a little translucent
    }
    // The stretched pieces are opaque inside the frame's edges.
    for (int id : {IDP_PANEL_MIDDLE, IDP_POPUP_CENTRE, IDP_POPUP_TOP, IDP_POPUP_LEFT}) {
        int w = 0, h = 0;
        std::vector<unsigned char> px = Rgba(Img(id), w, h);
        ASSERT_FALSE(px.empty());
        for (int y = 0; y < h; ++y)
            for (int x = 2; x < w - 2; ++x) ASSERT_EQ(px[((size_t)y * w + x) * 4 + 3], 255) << id;
    }
}

TEST(ResourcesArt, EditFrameIsWhiteOutsideAndDarkInside) {
    std::vector<unsigned char> b = Bytes(kBitmaps[24], true);
    ASSERT_EQ(b.size(), 54u + 1356u * 62);
    auto rgb = [&](int x, int y) {  // bottom-up rows of 1356 bytes, B G R
        size_t at = 54 + (size_t)(61 - y) * 1356 + x * 3;
        return (uint32_t)b[at + 2] << 16 | b[at + 1] << 8 | b[at];
    };
    EXPECT_EQ(rgb(0, 0), 0xFFFFFFu);
    EXPECT_EQ(rgb(451, 61), 0xFFFFFFu);
    EXPECT_LT(rgb(226, 31) & 0xFF, 0x60u);
}

}  // namespace
