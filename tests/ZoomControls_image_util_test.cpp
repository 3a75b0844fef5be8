// ImageUtil: the blending table and rules, decoding per drawn size, clipping
// of every destination against the clip box, the back buffer and the image, the
// image registry and the back buffer's GDI objects.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <tuple>
#include <vector>

#include "ZoomControls/Diagnostics.h"
#include "ZoomControls/ImageUtil.h"
#include "ZoomControls_TestImages.h"

using namespace zoom_test;

namespace {

constexpr int kImageId = 301;
constexpr uint16_t kBackground = 0x1234;

// Pixel (x, y) of the position pattern, opaque with red from x and green from
// y, so a pixel that lands in the wrong place shows it; as ARGB or as 565.
uint32_t PositionPixel(int x, int y) {
    return Argb(255, (x * 16 + 8) & 0xFF, (y * 16 + 8) & 0xFF, 0x40);
}

uint16_t Position565(int x, int y) {
    return Pack565((x * 16 + 8) & 0xFF, (y * 16 + 8) & 0xFF, 0x40);
}

// Makes `png` image kImageId and loads it into `ref`.
void Load(Toolkit& kit, ImageRef& ref, Bytes png) {
    kit.SetImage(kImageId, std::move(png));
    LoadResourceImage(ref, kit.instance(), kImageId);
}

// The value a one-pixel image of colour `source` leaves on a buffer pixel of
// value `dest` at global opacity `alpha`.
uint16_t BlendOnePixel(uint32_t source, uint16_t dest, int alpha) {
    Toolkit kit(8, 8);
    BackBuffer buffer(kit.window());
    buffer.Fill(dest);
    ImageRef ref;
    Load(kit, ref, SolidPng(1, 1, source));
    SetGlobalAlpha(alpha);
    RECT dst{3, 3, 4, 4};
    DrawImage(ref, buffer.dc(), &dst, nullptr, 1);
    EXPECT_EQ(dest, buffer.Get(2, 3)) << "the pixel beside the image changed";
    return buffer.Get(3, 3);
}

std::string Text() {
    return Narrow(DiagnosticText());
}

// Counts the GDI objects and device contexts alive now, to compare later.
struct GdiCount {
    int objects = platform::LiveGdiObjects(), dcs = platform::LiveDeviceContexts();
    void ExpectSame(int more = 0) const {
        EXPECT_EQ(objects + more, platform::LiveGdiObjects());
        EXPECT_EQ(dcs + more, platform::LiveDeviceContexts());
    }
};

}  // namespace

TEST(AlphaTable, HoldsTheTruncatedProductOverFullScaleAndTheOpacityIsClamped) {
    Toolkit kit;
    ImageRef ref;  // the table is built with the imaging service
    for (int v = 0; v < 256; v++) EXPECT_EQ((uint32_t)v, AlphaTableEntry(255, v)) << v;
    for (int a = 0; a < 256; a++) EXPECT_EQ(0u, AlphaTableEntry(a, 0)) << a;
    // 128 x 126 / 255 = 63.2 and 128 x 128 / 255 = 64.25.
    for (auto [a, v, want] : {std::tuple{128, 255, 128u}, {1, 254, 0u}, {1, 255, 1u}, {128, 126, 63u}, {128, 128, 64u}})
        EXPECT_EQ(want, AlphaTableEntry(a, v)) << a << " x " << v;
    for (auto [set, got] : {std::pair{300, 255}, {-4, 0}, {17, 17}}) {
        SetGlobalAlpha(set);
        EXPECT_EQ(got, GetGlobalAlpha()) << set;
    }
}

TEST(AlphaBlend, MixesSourceAndBufferByPixelAlphaAndGlobalOpacity) {
    struct Case {
        const char* what;
        uint32_t source;
        uint16_t dest;
        int alpha;
        uint16_t want;
    } cases[] = {
        {"transparent", Argb(0, 255, 255, 255), 0x1234, 255, 0x1234},
        {"transparent at half opacity", Argb(0, 255, 255, 255), 0x1234, 128, 0x1234},
        // B 0x37 -> 6, G 0x5D & 0xFC = 0x5C -> 0x2E0, R 0x9B & 0xF8 = 0x98 -> 0x9800.
        {"opaque replaces", Argb(255, 0x9B, 0x5D, 0x37), 0xFFFF, 255, 0x9AE6},
        // Each channel 0 - 0 + T[128][255] = 128.
        {"white at alpha 128 over black", Argb(128, 255, 255, 255), 0x0000, 255, 0x8410},
        // 248 - 124 = 124 and 252 - 126 = 126 packed back into 5-6-5.
        {"black at alpha 128 over white", Argb(128, 0, 0, 0), 0xFFFF, 255, 0x7BEF},
        // T[5][T[5][255]] = T[5][5] = 0.
        {"opaque white at opacity 5", Argb(255, 255, 255, 255), 0x0000, 5, 0x0000},
        // A' = 128, colour 128, T[128][128] = 64.
        {"opaque white at opacity 128", Argb(255, 255, 255, 255), 0x0000, 128, 0x4208},
        {"opacity 0", Argb(255, 0, 0, 0), 0xFFFF, 0, 0xFFFF},
    };
    for (const Case& c : cases) EXPECT_EQ(c.want, BlendOnePixel(c.source, c.dest, c.alpha)) << c.what;
}

TEST(DrawImage, DecodesOncePerDrawnSizeAndGivesBackTheServicesObjects) {
    Toolkit kit(100, 100);
    BackBuffer buffer(kit.window());
    const uint16_t red = Pack565(255, 0, 0), blue = Pack565(0, 0, 255), green = Pack565(0, 255, 0);
    ImageRef ref;
    Load(kit, ref, SolidPng(20, 20, Argb(255, 255, 0, 0)));
    const int imagingObjects = platform::LiveImagingObjects();
    // The resource's colour changes between draws: a draw shows the new colour
    // only when it decoded the resource again. Returns the last pixel drawn.
    auto draw = [&](int w, int h) {
        RECT dst{0, 0, w, h};
        DrawImage(ref, buffer.dc(), &dst, nullptr, 1);
        return buffer.Get(w - 1, h - 1);
    };
    auto recolour = [&](uint32_t argb) { kit.SetImage(kImageId, SolidPng(20, 20, argb)); };
    EXPECT_EQ(red, draw(80, 80));
    EXPECT_EQ(imagingObjects, platform::LiveImagingObjects()) << "the decoded image and bitmap are given back";
    recolour(Argb(255, 0, 0, 255));
    EXPECT_EQ(red, draw(80, 80)) << "drawn again at 80 x 80 without decoding";
    EXPECT_EQ(blue, draw(80, 40)) << "a new height is decoded";
    EXPECT_EQ(red, buffer.Get(79, 40)) << "the 80 x 40 image covers no more than that";
    recolour(Argb(255, 0, 255, 0));
    EXPECT_EQ(blue, draw(80, 40));
    EXPECT_EQ(green, draw(40, 40)) << "so is a new width";
}

TEST(DrawImage, AnImageWithoutOrWithAMissingResourceOrBackBufferDrawsNothing) {
    Toolkit kit(20, 20);
    ImageRef ref;
    RECT dst{0, 0, 10, 10};
    {
        BackBuffer buffer(kit.window());
        buffer.Fill(kBackground);
        EXPECT_EQ(S_OK, DrawImage(ref, buffer.dc(), &dst, nullptr, 1));
        EXPECT_EQ(nullptr, ref->cache.Scan0);
        ref->resourceId = 999;
        EXPECT_TRUE(FAILED(DrawImage(ref, buffer.dc(), &dst, nullptr, 1)));
        EXPECT_EQ("Error CPR(value->m_bitmapData.Scan0):.\\ZoomControls\\ImageUtil line 621\n", Text());
        EXPECT_EQ(std::vector<uint16_t>(400, kBackground), buffer.Pixels());
        Load(kit, ref, SolidPng(4, 4, Argb(255, 9, 9, 9)));
        DrawImage(ref, buffer.dc(), &dst, nullptr, 1);
    }
    HDC dc = GetDC(kit.window());
    AlphaBlendImage(ref, dc, &dst, nullptr);
    EXPECT_EQ("Error CPR(s_pRowBack):.\\ZoomControls\\ImageUtil line 622\n", Text()) << "the buffer is gone";
    ReleaseDC(kit.window(), dc);
}

TEST(AlphaBlendClipping, EveryPixelLandsInPlaceAndNothingOutsideTheBufferOrImageIsTouched) {
    const RECT none{0, 0, 0, 0}, part{2, 3, 5, 6}, beyond{-2, -3, 20, 20}, empty{3, 3, 3, 8}, inverted{6, 6, 2, 2};
    struct Case {
        const char* what;
        int width, height;  // the client area
        RECT dst;
        const RECT* src;
        RECT drawn;
    } cases[] = {
        {"left", 40, 30, {-8, 5, 0, 13}, nullptr, none},
        {"above", 40, 30, {5, -8, 13, 0}, nullptr, none},
        {"right", 40, 30, {40, 5, 48, 13}, nullptr, none},
        {"below", 40, 30, {5, 30, 13, 38}, nullptr, none},
        {"far off", 40, 30, {-108, -108, -100, -100}, nullptr, none},
        {"far left end of the range", 40, 30, {INT_MIN, INT_MIN, INT_MIN + 8, INT_MIN + 8}, nullptr, none},
        {"far right end of the range", 40, 30, {INT_MAX - 8, INT_MAX - 8, INT_MAX, INT_MAX}, nullptr, none},
        {"top left corner", 40, 30, {-3, -2, 5, 6}, nullptr, {0, 0, 5, 6}},
        {"bottom right corner", 40, 30, {35, 25, 43, 33}, nullptr, {35, 25, 40, 30}},
        {"bottom left corner", 40, 30, {-4, 26, 4, 34}, nullptr, {0, 26, 4, 30}},
        {"inside", 40, 30, {10, 10, 18, 18}, nullptr, {10, 10, 18, 18}},
        // Image pixel (2, 3) lands on dst's corner.
        {"part of the image", 40, 30, {10, 10, 18, 18}, &part, {10, 10, 13, 13}},
        // The image keeps its place relative to the source's corner and nothing
        // is read beside it.
        {"source beyond the image", 40, 30, {10, 10, 18, 18}, &beyond, {12, 13, 20, 21}},
        {"empty source", 40, 30, {10, 10, 18, 18}, &empty, none},
        {"inverted source", 40, 30, {10, 10, 18, 18}, &inverted, none},
        // 16-bit rows of an odd width are padded to 4 bytes: 481 pixels take 964
        // bytes, not 962, and a row addressed without the padding drifts.
        {"odd width, near the end", 481, 20, {470, 5, 478, 13}, nullptr, {470, 5, 478, 13}},
        {"odd width, past the end", 481, 20, {476, 14, 484, 22}, nullptr, {476, 14, 481, 20}},
        {"odd width, first rows", 481, 20, {0, 0, 8, 8}, nullptr, {0, 0, 8, 8}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Toolkit kit(c.width, c.height);
        BackBuffer buffer(kit.window());
        ImageRef ref;
        Load(kit, ref, EncodePng(8, 8, PositionPixel));
        buffer.Fill(kBackground);
        DrawImage(ref, buffer.dc(), &c.dst, c.src, 1);
        // Inside `drawn` the image pixel less the place of the source's corner,
        // the background elsewhere.
        const int ox = c.dst.left - (c.src ? c.src->left : 0), oy = c.dst.top - (c.src ? c.src->top : 0);
        int wrong = 0;
        for (int y = 0; y < c.height; y++)
            for (int x = 0; x < c.width; x++) {
                bool inside = x >= c.drawn.left && x < c.drawn.right && y >= c.drawn.top && y < c.drawn.bottom;
                uint16_t want = inside ? Position565(x - ox, y - oy) : kBackground;
                if (buffer.Get(x, y) != want && wrong++ == 0) ADD_FAILURE() << "pixel " << x << ", " << y;
            }
        EXPECT_EQ(0, wrong);
    }
}

TEST(AlphaBlendClipping, AHugeDestinationFillsTheBufferAndTheClipBoxOfTheGivenDcLimitsTheDrawingWithinIt) {
    Toolkit kit(40, 30);
    BackBuffer buffer(kit.window());
    const uint16_t blue = Pack565(0, 0, 255);
    ImageRef ref;
    Load(kit, ref, SolidPng(4, 4, Argb(255, 0, 0, 255)));
    // Blends through a DC whose clip box is w x h: the back buffer is written
    // where both reach.
    auto blend = [&](RECT dst, int w, int h) {
        buffer.Fill(kBackground);
        HDC dc = CreateCompatibleDC(buffer.dc());
        HBITMAP bitmap = CreateCompatibleBitmap(buffer.dc(), w, h);
        HGDIOBJ old = SelectObject(dc, bitmap);
        AlphaBlendImage(ref, dc, &dst, nullptr);
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
        std::vector<uint16_t> want;
        for (int y = 0; y < 30; y++)
            for (int x = 0; x < 40; x++) want.push_back(x < w && y < h ? blue : kBackground);
        EXPECT_EQ(want, buffer.Pixels()) << w << " x " << h;
    };
    RECT huge{-50, -40, 90, 70}, whole{0, 0, 40, 30};
    DrawImage(ref, buffer.dc(), &huge, nullptr, 1);  // decodes at 140 x 110
    EXPECT_EQ(std::vector<uint16_t>(40 * 30, blue), buffer.Pixels());
    blend(huge, 60, 50);
    DrawImage(ref, buffer.dc(), &whole, nullptr, 1);  // decodes at the buffer's size
    blend(whole, 12, 9);
}

TEST(LoadResourceImage, FailuresAreWrittenWithTheResourceIdAndTheErrorReport) {
    Toolkit kit;
    kit.SetImage(kImageId, Bytes{'n', 'o', 't', ' ', 'p', 'n', 'g'});
    ImageRef ref;
    EnvVar diag("LUMETRA_DIAG", "1");
    const std::string at = ".\\ZoomControls\\ImageUtil line ",
                      report = "Unspecified error.\nERROR:-2147467259 CurrentMemUsage:";
    struct Case {
        const char* what;
        HINSTANCE instance;
        int id;
        std::string text;
    } cases[] = {
        {"missing", kit.instance(), 999, "Error CPR(hRsrc):" + at + "168\nResourceID(999): " + report},
        {"no module", nullptr, kImageId, "Error CPR(hInst):" + at + "164\nResourceID(301): " + report},
        {"damaged", kit.instance(), kImageId,
         "Error CHR(hr):" + at + "186, hr = -2147467259\nResourceID(301): " + report},
        {"id too wide", kit.instance(), 0x10000 + kImageId, "Error CPR(hRsrc):" + at + "168\n"},
    };
    for (const Case& c : cases) {
        testing::internal::CaptureStderr();
        EXPECT_EQ(E_FAIL, LoadResourceImage(ref, c.instance, c.id)) << c.what;
        std::string text = testing::internal::GetCapturedStderr();
        EXPECT_EQ(0u, text.find(c.text)) << c.what << ": " << text;
        EXPECT_EQ(0u, Text().find("ERROR:-2147467259 CurrentMemUsage:")) << c.what;
    }
    EXPECT_EQ(123, ref->width) << "a failed load keeps the recorded size";
}

TEST(DecodeToCache, DecodesAtTheGivenOrTheSizeTheLoadRecordedAndEmptiesOnFailure) {
    Toolkit kit;
    ImageRef ref;
    Load(kit, ref, SolidPng(6, 5, Argb(255, 0, 0, 0)));
    EXPECT_EQ((std::vector<int>{kImageId, 6, 5}), (std::vector<int>{ref->resourceId, ref->width, ref->height}));
    EXPECT_EQ(nullptr, ref->cache.Scan0) << "loading decodes nothing";
    IImage* image = nullptr;
    ASSERT_EQ(S_OK, LoadResourceImage(ref, kit.instance(), kImageId, &image));
    ASSERT_EQ(S_OK, DecodeToCache(ref, image, 0, 0, PixelFormat32bppARGB));
    EXPECT_EQ(6u, ref->cache.Width) << "no size given: the recorded one";
    EXPECT_EQ(24, ref->cache.Stride);
    ASSERT_EQ(S_OK, DecodeToCache(ref, image, 3, 2, PixelFormat32bppARGB));
    EXPECT_EQ(3u, ref->cache.Width);
    EXPECT_EQ(2u, ref->cache.Height);
    image->Release();
    EnvVar diag("LUMETRA_DIAG", "1");
    testing::internal::CaptureStderr();
    EXPECT_EQ(E_FAIL, DecodeToCache(ref, nullptr, 3, 2, PixelFormat32bppARGB));
    std::string text = testing::internal::GetCapturedStderr();
    EXPECT_EQ(0u, text.find("Error CPR(pImg):.\\ZoomControls\\ImageUtil line 460\nResourceID(301): ")) << text;
    EXPECT_EQ(nullptr, ref->cache.Scan0);
}

TEST(ImageRegistry, CountsEveryLiveImageUntilItsLastReferenceGoes) {
    Toolkit kit;
    int start = LiveImageCount();
    {
        ImageRef a, b = a, c;
        EXPECT_EQ(a.get(), b.get()) << "a copy shares the image";
        EXPECT_EQ(start + 2, LiveImageCount());
        c = a;
        EXPECT_EQ(start + 1, LiveImageCount()) << "c's own image went with its last reference";
        c = c;
        EXPECT_EQ(3, a->refCount);
    }
    EXPECT_EQ(start, LiveImageCount());
}

TEST(BackBuffer, IsA565DibOfTheClientAreaThatGivesBackEveryObjectAndRefusesMissingArguments) {
    Toolkit kit(31, 7);
    HDC paint = GetDC(kit.window());
    GdiCount before;
    EXPECT_EQ(nullptr, CreateBackBuffer(nullptr, paint));
    EXPECT_EQ("Error CPR(hWnd):.\\ZoomControls\\ImageUtil line 2125\n", Text());
    EXPECT_EQ(nullptr, CreateBackBuffer(kit.window(), nullptr));
    EXPECT_EQ("Error CPR(hdc):.\\ZoomControls\\ImageUtil line 2126\n", Text());
    ReleaseBackBuffer(nullptr);
    EXPECT_EQ("Error CPR(hMemDC):.\\ZoomControls\\ImageUtil line 2186\n", Text());
    before.ExpectSame();
    HDC mem = CreateBackBuffer(kit.window(), paint);
    ASSERT_NE(nullptr, mem);
    before.ExpectSame(1);
    RECT clip{};
    GetClipBox(mem, &clip);
    EXPECT_EQ(std::pair(31, 7), std::pair(clip.right, clip.bottom));
    SetPixel(mem, 30, 6, RGB(0xF8, 0xFC, 0xF8));
    EXPECT_EQ(RGB(0xF8, 0xFC, 0xF8), GetPixel(mem, 30, 6)) << "16-bit white reads back unchanged";
    SetPixel(mem, 0, 0, RGB(0xFF, 0xFF, 0xFF));
    EXPECT_EQ(RGB(0xF8, 0xFC, 0xF8), GetPixel(mem, 0, 0)) << "white loses its low bits in 5-6-5";
    ReleaseBackBuffer(mem);
    before.ExpectSame();
    // A window without a client area gets a DC without a buffer; the failure
    // ends with the system's report of why the DIB could not be made.
    HWND empty =
        CreateWindow(L"ZoomControlsTest", L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, kit.instance(), nullptr);
    ASSERT_NE(nullptr, empty);
    EnvVar diag("LUMETRA_DIAG", "1");
    testing::internal::CaptureStderr();
    mem = CreateBackBuffer(empty, paint);
    std::string text = testing::internal::GetCapturedStderr();
    EXPECT_NE(nullptr, mem);
    EXPECT_EQ(0u, text.find("Error CPR(s_hBackBitmap):.\\ZoomControls\\ImageUtil line 2168\n"
                            "The parameter is incorrect.\nERROR:87 CurrentMemUsage:"))
        << text;
    ReleaseBackBuffer(mem);
    before.ExpectSame();
    DestroyWindow(empty);
    ReleaseDC(kit.window(), paint);
}
