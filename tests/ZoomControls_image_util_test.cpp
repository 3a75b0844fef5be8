// ImageUtil: the blending table and rules, decoding per drawn size, clipping
// of every destination against the clip box, the back buffer and the image, the
// image registry and the back buffer's GDI objects.
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

#include "ZoomControls/Diagnostics.h"
#include "ZoomControls/ImageUtil.h"
#include "ZoomControls_TestImages.h"
#include "platform/Platform.h"

using namespace zoom_test;

namespace {

constexpr int kImageId = 301;

// Pixel (x, y) of the position pattern: opaque, red from x and green from y,
// so a pixel that lands in the wrong place shows it.
uint32_t PositionPixel(int x, int y) {
    return Argb(255, (uint32_t)(x * 16 + 8) & 0xFF, (uint32_t)(y * 16 + 8) & 0xFF, 0x40);
}

constexpr uint16_t kBackground = 0x1234;

// Draws image kImageId into `dst` (the part `src` of it) over the background
// colour and checks the whole buffer: inside `drawn` pixel (x, y) must hold the
// image's pixel (x, y) less the place of the source's corner, the background elsewhere.
void ExpectDrawn(BackBuffer& buffer, ImageRef& ref, RECT dst, const RECT* src, RECT drawn) {
    const int ox = dst.left - (src ? src->left : 0), oy = dst.top - (src ? src->top : 0);
    buffer.Fill(kBackground);
    DrawImage(ref, buffer.dc(), &dst, src, 1);
    int wrong = 0;
    for (int y = 0; y < buffer.height(); y++) {
        for (int x = 0; x < buffer.width(); x++) {
            bool inside = x >= drawn.left && x < drawn.right && y >= drawn.top && y < drawn.bottom;
            uint32_t p = PositionPixel(x - ox, y - oy);
            uint16_t want = inside ? Pack565((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF) : kBackground;
            if (buffer.Get(x, y) != want && wrong++ < 5)
                ADD_FAILURE() << "pixel (" << x << ", " << y << ") is " << std::hex << buffer.Get(x, y) << ", not "
                              << want;
        }
    }
    EXPECT_EQ(0, wrong);
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

}  // namespace

TEST(AlphaTable, HoldsTheTruncatedProductOverFullScale) {
    Toolkit kit;
    ImageRef ref;  // the table is built with the imaging service
    for (int v = 0; v < 256; v++) EXPECT_EQ((uint32_t)v, AlphaTableEntry(255, v)) << v;
    for (int a = 0; a < 256; a++) EXPECT_EQ(0u, AlphaTableEntry(a, 0)) << a;
    EXPECT_EQ(128u, AlphaTableEntry(128, 255));
    EXPECT_EQ(0u, AlphaTableEntry(1, 254));
    EXPECT_EQ(1u, AlphaTableEntry(1, 255));
    EXPECT_EQ(63u, AlphaTableEntry(128, 126));  // 16128 / 255 = 63.2
    EXPECT_EQ(64u, AlphaTableEntry(128, 128));  // 16384 / 255 = 64.25
}

TEST(GlobalAlpha, IsClampedToTheByteRange) {
    for (auto [set, got] : {std::pair{300, 255}, {-4, 0}, {17, 17}}) {
        SetGlobalAlpha(set);
        EXPECT_EQ(got, GetGlobalAlpha()) << set;
    }
    SetGlobalAlpha(255);
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

TEST(DrawImage, DecodesOncePerDrawnSize) {
    Toolkit kit(100, 100);
    BackBuffer buffer(kit.window());
    const uint16_t red = Pack565(255, 0, 0), blue = Pack565(0, 0, 255), green = Pack565(0, 255, 0);
    ImageRef ref;
    Load(kit, ref, SolidPng(20, 20, Argb(255, 255, 0, 0)));
    RECT big{0, 0, 80, 80}, small{0, 0, 40, 40};

    // The resource's bytes change between draws: a draw shows the new colour
    // only when it decoded the resource again.
    DrawImage(ref, buffer.dc(), &big, nullptr, 1);
    EXPECT_EQ(red, buffer.Get(79, 79));
    EXPECT_EQ(80, ref->width);
    kit.SetImage(kImageId, SolidPng(20, 20, Argb(255, 0, 0, 255)));
    DrawImage(ref, buffer.dc(), &big, nullptr, 1);
    EXPECT_EQ(red, buffer.Get(79, 79)) << "drawn again at 80 x 80 without decoding";

    DrawImage(ref, buffer.dc(), &small, nullptr, 1);
    EXPECT_EQ(blue, buffer.Get(39, 39)) << "a new size is decoded";
    EXPECT_EQ(red, buffer.Get(40, 40)) << "the 40 x 40 image covers no more than that";
    EXPECT_EQ(40, ref->width);
    EXPECT_EQ(40, ref->height);

    kit.SetImage(kImageId, SolidPng(20, 20, Argb(255, 0, 255, 0)));
    DrawImage(ref, buffer.dc(), &small, nullptr, 1);
    EXPECT_EQ(blue, buffer.Get(0, 0));
    DrawImage(ref, buffer.dc(), &big, nullptr, 1);
    EXPECT_EQ(green, buffer.Get(79, 79)) << "back at 80 x 80 the image is decoded again";
}

TEST(DrawImage, GivesBackTheServicesImageAndBitmap) {
    Toolkit kit(50, 50);
    BackBuffer buffer(kit.window());
    ImageRef ref;
    Load(kit, ref, SolidPng(10, 10, Argb(255, 1, 2, 3)));
    int before = platform::LiveImagingObjects();
    RECT dst{0, 0, 30, 30};
    DrawImage(ref, buffer.dc(), &dst, nullptr, 1);
    EXPECT_EQ(before, platform::LiveImagingObjects());
    ASSERT_NE(nullptr, ref->cache.Scan0);
    EXPECT_EQ(30u, ref->cache.Width);
    EXPECT_EQ(PixelFormat32bppARGB, ref->cacheFormat);
}

TEST(DrawImage, AnImageWithoutOrWithAMissingResourceLeavesTheBuffer) {
    Toolkit kit(20, 20);
    BackBuffer buffer(kit.window());
    buffer.Fill(kBackground);
    ImageRef ref;
    RECT dst{0, 0, 10, 10};
    EXPECT_EQ(S_OK, DrawImage(ref, buffer.dc(), &dst, nullptr, 1));
    EXPECT_EQ(nullptr, ref->cache.Scan0);
    ref->resourceId = 999;
    EXPECT_TRUE(FAILED(DrawImage(ref, buffer.dc(), &dst, nullptr, 1)));
    EXPECT_EQ("Error CPR(value->m_bitmapData.Scan0):.\\ZoomControls\\ImageUtil line 621\n", Text());
    EXPECT_EQ(std::vector<uint16_t>(400, kBackground), buffer.Pixels());
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
        ExpectDrawn(buffer, ref, c.dst, c.src, c.drawn);
    }
}

TEST(AlphaBlendClipping, AHugeDestinationFillsTheBufferAndOnesAtTheEndsOfTheRangeDrawNothing) {
    Toolkit kit(30, 20);
    BackBuffer buffer(kit.window());
    ImageRef ref;
    Load(kit, ref, SolidPng(4, 4, Argb(255, 0, 255, 0)));
    buffer.Fill(kBackground);
    RECT huge{-50, -40, 80, 60};
    DrawImage(ref, buffer.dc(), &huge, nullptr, 1);
    EXPECT_EQ(std::vector<uint16_t>(30 * 20, Pack565(0, 255, 0)), buffer.Pixels());
    RECT farLeft{INT_MIN, INT_MIN, INT_MIN + 8, INT_MIN + 8}, farRight{INT_MAX - 8, INT_MAX - 8, INT_MAX, INT_MAX};
    buffer.Fill(kBackground);
    AlphaBlendImage(ref, buffer.dc(), &farLeft, nullptr);
    AlphaBlendImage(ref, buffer.dc(), &farRight, nullptr);
    EXPECT_EQ(std::vector<uint16_t>(30 * 20, kBackground), buffer.Pixels());
}

TEST(AlphaBlendClipping, TheClipBoxOfTheGivenDcLimitsTheDrawing) {
    Toolkit kit(40, 30);
    BackBuffer buffer(kit.window());
    ImageRef ref;
    Load(kit, ref, SolidPng(4, 4, Argb(255, 0, 0, 255)));
    RECT dst{0, 0, 40, 30};
    DrawImage(ref, buffer.dc(), &dst, nullptr, 1);  // decodes at the buffer's size
    buffer.Fill(kBackground);

    // A DC whose clip box is 12 x 9: the blend writes the back buffer there only.
    HDC small = CreateCompatibleDC(buffer.dc());
    HBITMAP bitmap = CreateCompatibleBitmap(buffer.dc(), 12, 9);
    HGDIOBJ old = SelectObject(small, bitmap);
    AlphaBlendImage(ref, small, &dst, nullptr);
    SelectObject(small, old);
    DeleteObject(bitmap);
    DeleteDC(small);
    for (int y = 0; y < 30; y++)
        for (int x = 0; x < 40; x++)
            ASSERT_EQ(x < 12 && y < 9 ? Pack565(0, 0, 255) : kBackground, buffer.Get(x, y)) << x << ", " << y;
}

TEST(AlphaBlend, NeedsABackBuffer) {
    Toolkit kit(20, 20);
    ImageRef ref;
    RECT dst{0, 0, 4, 4};
    {
        BackBuffer buffer(kit.window());
        Load(kit, ref, SolidPng(4, 4, Argb(255, 9, 9, 9)));
        DrawImage(ref, buffer.dc(), &dst, nullptr, 1);
    }
    HDC dc = GetDC(kit.window());
    AlphaBlendImage(ref, dc, &dst, nullptr);
    EXPECT_EQ("Error CPR(s_pRowBack):.\\ZoomControls\\ImageUtil line 622\n", Text());
    ReleaseDC(kit.window(), dc);
}

TEST(LoadResourceImage, RecordsTheIdAndThePngsOwnSize) {
    Toolkit kit;
    kit.SetImage(kImageId, SolidPng(7, 5, Argb(255, 0, 0, 0)));
    ImageRef ref;
    EXPECT_EQ(123, ref->width);
    EXPECT_EQ(123, ref->height);
    EXPECT_EQ(S_OK, LoadResourceImage(ref, kit.instance(), kImageId));
    EXPECT_EQ(kImageId, ref->resourceId);
    EXPECT_EQ(7, ref->width);
    EXPECT_EQ(5, ref->height);
    EXPECT_EQ(nullptr, ref->cache.Scan0);

    IImage* image = nullptr;
    EXPECT_EQ(S_OK, LoadResourceImage(ref, kit.instance(), kImageId, &image));
    ASSERT_NE(nullptr, image);
    ImageInfo info{};
    image->GetImageInfo(&info);
    EXPECT_EQ(7u, info.Width);
    image->Release();
}

TEST(LoadResourceImage, FailuresAreWrittenWithTheResourceIdAndTheErrorReport) {
    Toolkit kit;
    kit.SetImage(kImageId, Bytes{'n', 'o', 't', ' ', 'p', 'n', 'g'});
    ImageRef ref;
    EnvVar diag("LUMETRA_DIAG", "1");
    const std::string report = "Unspecified error.\nERROR:-2147467259 CurrentMemUsage:";
    struct Case {
        const char* what;
        HINSTANCE instance;
        int id;
        std::string text;
    } cases[] = {
        {"missing", kit.instance(), 999,
         "Error CPR(hRsrc):.\\ZoomControls\\ImageUtil line 168\nResourceID(999): " + report},
        {"no module", nullptr, kImageId,
         "Error CPR(hInst):.\\ZoomControls\\ImageUtil line 164\nResourceID(301): " + report},
        {"damaged", kit.instance(), kImageId,
         "Error CHR(hr):.\\ZoomControls\\ImageUtil line 186, hr = -2147467259\nResourceID(301): " + report},
        {"id too wide", kit.instance(), 0x10000 + kImageId, "Error CPR(hRsrc):.\\ZoomControls\\ImageUtil line 168\n"},
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

TEST(DecodeToCache, DecodesAtTheGivenOrRecordedSizeAndEmptiesOnFailure) {
    Toolkit kit;
    ImageRef ref;
    Load(kit, ref, SolidPng(6, 6, Argb(255, 0, 0, 0)));
    IImage* image = nullptr;
    LoadResourceImage(ref, kit.instance(), kImageId, &image);
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
        ImageRef a;
        EXPECT_EQ(start + 1, LiveImageCount());
        ImageRef b = a;
        EXPECT_EQ(start + 1, LiveImageCount()) << "a copy shares the image";
        EXPECT_EQ(a.get(), b.get());
        EXPECT_EQ(2, a->refCount);
        ImageRef c;
        EXPECT_EQ(start + 2, LiveImageCount());
        c = a;
        EXPECT_EQ(start + 1, LiveImageCount()) << "c's own image went with its last reference";
        c = c;
        EXPECT_EQ(3, a->refCount);
    }
    EXPECT_EQ(start, LiveImageCount());
}

TEST(BackBuffer, IsA565BottomUpDibThatGivesBackEveryObject) {
    Toolkit kit(31, 7);
    HDC paint = GetDC(kit.window());
    int objects = platform::LiveGdiObjects(), dcs = platform::LiveDeviceContexts();
    HDC mem = CreateBackBuffer(kit.window(), paint);
    ASSERT_NE(nullptr, mem);
    EXPECT_EQ(objects + 1, platform::LiveGdiObjects());
    EXPECT_EQ(dcs + 1, platform::LiveDeviceContexts());
    RECT clip{};
    GetClipBox(mem, &clip);
    EXPECT_EQ(31, clip.right);
    EXPECT_EQ(7, clip.bottom);
    SetPixel(mem, 30, 6, RGB(0xF8, 0xFC, 0xF8));
    EXPECT_EQ(RGB(0xF8, 0xFC, 0xF8), GetPixel(mem, 30, 6)) << "16-bit white reads back unchanged";
    SetPixel(mem, 0, 0, RGB(0xFF, 0xFF, 0xFF));
    EXPECT_EQ(RGB(0xF8, 0xFC, 0xF8), GetPixel(mem, 0, 0)) << "white loses its low bits in 5-6-5";
    ReleaseBackBuffer(mem);
    EXPECT_EQ(objects, platform::LiveGdiObjects());
    EXPECT_EQ(dcs, platform::LiveDeviceContexts());
    ReleaseDC(kit.window(), paint);
}

TEST(BackBuffer, RefusesMissingArgumentsAndEmptyWindows) {
    Toolkit kit(20, 20);
    HDC paint = GetDC(kit.window());
    int objects = platform::LiveGdiObjects(), dcs = platform::LiveDeviceContexts();
    EXPECT_EQ(nullptr, CreateBackBuffer(nullptr, paint));
    EXPECT_EQ("Error CPR(hWnd):.\\ZoomControls\\ImageUtil line 2125\n", Text());
    EXPECT_EQ(nullptr, CreateBackBuffer(kit.window(), nullptr));
    EXPECT_EQ("Error CPR(hdc):.\\ZoomControls\\ImageUtil line 2126\n", Text());
    ReleaseBackBuffer(nullptr);
    EXPECT_EQ("Error CPR(hMemDC):.\\ZoomControls\\ImageUtil line 2186\n", Text());
    EXPECT_EQ(objects, platform::LiveGdiObjects());
    EXPECT_EQ(dcs, platform::LiveDeviceContexts());

    // A window without a client area gets a DC without a buffer; the failure
    // ends with the system's report of why the DIB could not be made.
    HWND empty =
        CreateWindow(L"ZoomControlsTest", L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, kit.instance(), nullptr);
    ASSERT_NE(nullptr, empty);
    std::string text;
    HDC mem;
    {
        EnvVar diag("LUMETRA_DIAG", "1");
        testing::internal::CaptureStderr();
        mem = CreateBackBuffer(empty, paint);
        text = testing::internal::GetCapturedStderr();
    }
    EXPECT_NE(nullptr, mem);
    EXPECT_EQ(0u, text.find("Error CPR(s_hBackBitmap):.\\ZoomControls\\ImageUtil line 2168\n"
                            "The parameter is incorrect.\nERROR:87 CurrentMemUsage:"))
        << text;
    ReleaseBackBuffer(mem);
    EXPECT_EQ(objects, platform::LiveGdiObjects());
    EXPECT_EQ(dcs, platform::LiveDeviceContexts());
    DestroyWindow(empty);
    ReleaseDC(kit.window(), paint);
}
