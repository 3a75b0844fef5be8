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

uint16_t PositionPixel565(int x, int y) {
    uint32_t p = PositionPixel(x, y);
    return Pack565((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
}

constexpr uint16_t kBackground = 0x1234;

// Draws image kImageId into `dst` (the part `src` of it) over the background
// colour and checks the whole buffer: pixel (x, y) of the client area must hold
// PositionPixel(x - ox, y - oy) inside `drawn`, the background elsewhere.
void ExpectDrawn(BackBuffer& buffer, ImageRef& ref, RECT dst, const RECT* src, RECT drawn, int ox, int oy) {
    buffer.Fill(kBackground);
    DrawImage(ref, buffer.dc(), &dst, src, 1);
    int wrong = 0;
    for (int y = 0; y < buffer.height(); y++) {
        for (int x = 0; x < buffer.width(); x++) {
            bool inside = x >= drawn.left && x < drawn.right && y >= drawn.top && y < drawn.bottom;
            uint16_t want = inside ? PositionPixel565(x - ox, y - oy) : kBackground;
            if (buffer.Get(x, y) != want && wrong++ < 5)
                ADD_FAILURE() << "pixel (" << x << ", " << y << ") is " << std::hex << buffer.Get(x, y) << ", not "
                              << want;
        }
    }
    EXPECT_EQ(0, wrong);
}

// The value a one-pixel image of colour `source` leaves on a buffer pixel of
// value `dest` at global opacity `alpha`.
uint16_t BlendOnePixel(uint32_t source, uint16_t dest, int alpha) {
    Toolkit kit(8, 8);
    kit.SetImage(kImageId, SolidPng(1, 1, source));
    BackBuffer buffer(kit.window());
    buffer.Fill(dest);
    ImageRef ref;
    LoadResourceImage(ref, kit.instance(), kImageId);
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
    SetGlobalAlpha(300);
    EXPECT_EQ(255, GetGlobalAlpha());
    SetGlobalAlpha(-4);
    EXPECT_EQ(0, GetGlobalAlpha());
    SetGlobalAlpha(17);
    EXPECT_EQ(17, GetGlobalAlpha());
    SetGlobalAlpha(255);
}

TEST(AlphaBlend, TransparentPixelsLeaveTheBufferAndOpaqueOnesReplaceIt) {
    EXPECT_EQ(0x1234, BlendOnePixel(Argb(0, 255, 255, 255), 0x1234, 255));
    EXPECT_EQ(0x1234, BlendOnePixel(Argb(0, 255, 255, 255), 0x1234, 128));
    // B 0x37 -> 6, G 0x5D & 0xFC = 0x5C -> 0x2E0, R 0x9B & 0xF8 = 0x98 -> 0x9800.
    EXPECT_EQ(0x9AE6, BlendOnePixel(Argb(255, 0x9B, 0x5D, 0x37), 0xFFFF, 255));
}

TEST(AlphaBlend, HalfAlphaMixesSourceAndBuffer) {
    // White at 128 over black: each channel 0 - 0 + T[128][255] = 128.
    EXPECT_EQ(0x8410, BlendOnePixel(Argb(128, 255, 255, 255), 0x0000, 255));
    // Black at 128 over white (248, 252, 248 expanded): 248 - 124 = 124 and
    // 252 - 126 = 126, packed 124 >> 3 = 15, (126 & 0xFC) << 3, (124 & 0xF8) << 8.
    EXPECT_EQ(0x7BEF, BlendOnePixel(Argb(128, 0, 0, 0), 0xFFFF, 255));
}

TEST(AlphaBlend, GlobalOpacityWeighsAlphaAndColourBoth) {
    // Opaque white at opacity 5 over black: T[5][T[5][255]] = T[5][5] = 0.
    EXPECT_EQ(0x0000, BlendOnePixel(Argb(255, 255, 255, 255), 0x0000, 5));
    // Opaque white at opacity 128 over black: A' = 128, colour 128, T[128][128] = 64.
    EXPECT_EQ(0x4208, BlendOnePixel(Argb(255, 255, 255, 255), 0x0000, 128));
    // Opacity 0 changes nothing, even for opaque pixels.
    EXPECT_EQ(0xFFFF, BlendOnePixel(Argb(255, 0, 0, 0), 0xFFFF, 0));
}

TEST(DrawImage, DecodesOncePerDrawnSize) {
    Toolkit kit(100, 100);
    BackBuffer buffer(kit.window());
    kit.SetImage(kImageId, SolidPng(20, 20, Argb(255, 255, 0, 0)));
    const uint16_t red = Pack565(255, 0, 0), blue = Pack565(0, 0, 255), green = Pack565(0, 255, 0);
    ImageRef ref;
    LoadResourceImage(ref, kit.instance(), kImageId);
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
    kit.SetImage(kImageId, SolidPng(10, 10, Argb(255, 1, 2, 3)));
    ImageRef ref;
    LoadResourceImage(ref, kit.instance(), kImageId);
    int before = platform::LiveImagingObjects();
    RECT dst{0, 0, 30, 30};
    DrawImage(ref, buffer.dc(), &dst, nullptr, 1);
    EXPECT_EQ(before, platform::LiveImagingObjects());
    ASSERT_NE(nullptr, ref->cache.Scan0);
    EXPECT_EQ(30u, ref->cache.Width);
    EXPECT_EQ(PixelFormat32bppARGB, ref->cacheFormat);
}

TEST(DrawImage, AnImageWithoutResourceDrawsNothing) {
    Toolkit kit(20, 20);
    BackBuffer buffer(kit.window());
    buffer.Fill(kBackground);
    ImageRef ref;
    RECT dst{0, 0, 10, 10};
    EXPECT_EQ(S_OK, DrawImage(ref, buffer.dc(), &dst, nullptr, 1));
    EXPECT_EQ(nullptr, ref->cache.Scan0);
    EXPECT_EQ(std::vector<uint16_t>(400, kBackground), buffer.Pixels());
}

TEST(DrawImage, AMissingResourceLeavesTheBufferAndIsReported) {
    Toolkit kit(20, 20);
    BackBuffer buffer(kit.window());
    buffer.Fill(kBackground);
    ImageRef ref;
    ref->resourceId = 999;
    RECT dst{0, 0, 10, 10};
    EXPECT_TRUE(FAILED(DrawImage(ref, buffer.dc(), &dst, nullptr, 1)));
    EXPECT_EQ("Error CPR(value->m_bitmapData.Scan0):.\\ZoomControls\\ImageUtil line 621\n", Text());
    EXPECT_EQ(std::vector<uint16_t>(400, kBackground), buffer.Pixels());
}

TEST(AlphaBlendClipping, DestinationsOutsideTheClipBoxDrawNothing) {
    Toolkit kit(40, 30);
    BackBuffer buffer(kit.window());
    kit.SetImage(kImageId, EncodePng(8, 8, PositionPixel));
    ImageRef ref;
    LoadResourceImage(ref, kit.instance(), kImageId);
    const RECT none{0, 0, 0, 0};
    ExpectDrawn(buffer, ref, RECT{-8, 5, 0, 13}, nullptr, none, 0, 0);   // left
    ExpectDrawn(buffer, ref, RECT{5, -8, 13, 0}, nullptr, none, 0, 0);   // above
    ExpectDrawn(buffer, ref, RECT{40, 5, 48, 13}, nullptr, none, 0, 0);  // right
    ExpectDrawn(buffer, ref, RECT{5, 30, 13, 38}, nullptr, none, 0, 0);  // below
    ExpectDrawn(buffer, ref, RECT{-108, -108, -100, -100}, nullptr, none, 0, 0);
    // Rectangles at the ends of the coordinate range.
    RECT farLeft{INT_MIN, INT_MIN, INT_MIN + 8, INT_MIN + 8}, farRight{INT_MAX - 8, INT_MAX - 8, INT_MAX, INT_MAX};
    buffer.Fill(kBackground);
    AlphaBlendImage(ref, buffer.dc(), &farLeft, nullptr);
    AlphaBlendImage(ref, buffer.dc(), &farRight, nullptr);
    EXPECT_EQ(std::vector<uint16_t>(40 * 30, kBackground), buffer.Pixels());
}

TEST(AlphaBlendClipping, PartlyOutsideDrawsOnlyTheInside) {
    Toolkit kit(40, 30);
    BackBuffer buffer(kit.window());
    kit.SetImage(kImageId, EncodePng(8, 8, PositionPixel));
    ImageRef ref;
    LoadResourceImage(ref, kit.instance(), kImageId);
    ExpectDrawn(buffer, ref, RECT{-3, -2, 5, 6}, nullptr, RECT{0, 0, 5, 6}, -3, -2);
    ExpectDrawn(buffer, ref, RECT{35, 25, 43, 33}, nullptr, RECT{35, 25, 40, 30}, 35, 25);
    ExpectDrawn(buffer, ref, RECT{-4, 26, 4, 34}, nullptr, RECT{0, 26, 4, 30}, -4, 26);
    ExpectDrawn(buffer, ref, RECT{10, 10, 18, 18}, nullptr, RECT{10, 10, 18, 18}, 10, 10);
}

TEST(AlphaBlendClipping, SourceRectanglesAreCutToTheImage) {
    Toolkit kit(40, 30);
    BackBuffer buffer(kit.window());
    kit.SetImage(kImageId, EncodePng(8, 8, PositionPixel));
    ImageRef ref;
    LoadResourceImage(ref, kit.instance(), kImageId);
    RECT whole{0, 0, 8, 8};
    DrawImage(ref, buffer.dc(), &whole, nullptr, 1);  // decodes at 8 x 8

    // A part of the image: pixel (2, 3) of the image lands on dst's corner.
    RECT part{2, 3, 5, 6};
    ExpectDrawn(buffer, ref, RECT{10, 10, 18, 18}, &part, RECT{10, 10, 13, 13}, 8, 7);
    // A source reaching beyond the image on every side: the image keeps its
    // place relative to the source's corner and nothing is read beside it.
    RECT beyond{-2, -3, 20, 20};
    ExpectDrawn(buffer, ref, RECT{10, 10, 18, 18}, &beyond, RECT{12, 13, 20, 21}, 12, 13);
    // Empty and inverted sources draw nothing.
    RECT empty{3, 3, 3, 8}, inverted{6, 6, 2, 2};
    ExpectDrawn(buffer, ref, RECT{10, 10, 18, 18}, &empty, RECT{0, 0, 0, 0}, 0, 0);
    ExpectDrawn(buffer, ref, RECT{10, 10, 18, 18}, &inverted, RECT{0, 0, 0, 0}, 0, 0);
}

TEST(AlphaBlendClipping, ADestinationLargerThanTheBufferFillsItExactly) {
    Toolkit kit(30, 20);
    BackBuffer buffer(kit.window());
    kit.SetImage(kImageId, SolidPng(4, 4, Argb(255, 0, 255, 0)));
    ImageRef ref;
    LoadResourceImage(ref, kit.instance(), kImageId);
    buffer.Fill(kBackground);
    RECT huge{-50, -40, 80, 60};
    DrawImage(ref, buffer.dc(), &huge, nullptr, 1);
    EXPECT_EQ(std::vector<uint16_t>(30 * 20, Pack565(0, 255, 0)), buffer.Pixels());
}

TEST(AlphaBlendClipping, TheClipBoxOfTheGivenDcLimitsTheDrawing) {
    Toolkit kit(40, 30);
    BackBuffer buffer(kit.window());
    kit.SetImage(kImageId, SolidPng(4, 4, Argb(255, 0, 0, 255)));
    ImageRef ref;
    LoadResourceImage(ref, kit.instance(), kImageId);
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

TEST(AlphaBlendClipping, OddClientWidthsBlendIntoTheirOwnRows) {
    // 16-bit rows of an odd width are padded to 4 bytes: 481 pixels take 964
    // bytes, not 962, and a row addressed without the padding drifts.
    Toolkit kit(481, 20);
    BackBuffer buffer(kit.window());
    kit.SetImage(kImageId, EncodePng(8, 8, PositionPixel));
    ImageRef ref;
    LoadResourceImage(ref, kit.instance(), kImageId);
    ExpectDrawn(buffer, ref, RECT{470, 5, 478, 13}, nullptr, RECT{470, 5, 478, 13}, 470, 5);
    ExpectDrawn(buffer, ref, RECT{476, 14, 484, 22}, nullptr, RECT{476, 14, 481, 20}, 476, 14);
    ExpectDrawn(buffer, ref, RECT{0, 0, 8, 8}, nullptr, RECT{0, 0, 8, 8}, 0, 0);
}

TEST(AlphaBlend, NeedsPixelsAndABackBuffer) {
    Toolkit kit(20, 20);
    kit.SetImage(kImageId, SolidPng(4, 4, Argb(255, 9, 9, 9)));
    ImageRef ref;
    RECT dst{0, 0, 4, 4};
    {
        BackBuffer buffer(kit.window());
        AlphaBlendImage(ref, buffer.dc(), &dst, nullptr);
        EXPECT_EQ("Error CPR(value->m_bitmapData.Scan0):.\\ZoomControls\\ImageUtil line 621\n", Text());
        LoadResourceImage(ref, kit.instance(), kImageId);
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
    testing::internal::CaptureStderr();
    EXPECT_EQ(E_FAIL, LoadResourceImage(ref, kit.instance(), 999));
    std::string missing = testing::internal::GetCapturedStderr();
    testing::internal::CaptureStderr();
    EXPECT_EQ(E_FAIL, LoadResourceImage(ref, nullptr, kImageId));
    std::string noModule = testing::internal::GetCapturedStderr();
    testing::internal::CaptureStderr();
    EXPECT_EQ(E_FAIL, LoadResourceImage(ref, kit.instance(), kImageId));
    std::string damaged = testing::internal::GetCapturedStderr();
    testing::internal::CaptureStderr();
    EXPECT_EQ(E_FAIL, LoadResourceImage(ref, kit.instance(), 0x10000 + kImageId));
    std::string tooWide = testing::internal::GetCapturedStderr();

    const std::string report = "Unspecified error.\nERROR:-2147467259 CurrentMemUsage:";
    EXPECT_EQ(0u, missing.find("Error CPR(hRsrc):.\\ZoomControls\\ImageUtil line 168\nResourceID(999): " + report))
        << missing;
    EXPECT_EQ(0u, noModule.find("Error CPR(hInst):.\\ZoomControls\\ImageUtil line 164\nResourceID(301): " + report))
        << noModule;
    EXPECT_EQ(0u, damaged.find("Error CHR(hr):.\\ZoomControls\\ImageUtil line 186, hr = -2147467259\n"
                               "ResourceID(301): " +
                               report))
        << damaged;
    EXPECT_EQ(0u, tooWide.find("Error CPR(hRsrc):.\\ZoomControls\\ImageUtil line 168\n")) << tooWide;
    EXPECT_EQ(0u, Text().find("ERROR:-2147467259 CurrentMemUsage:"));
    EXPECT_EQ(123, ref->width) << "a failed load keeps the recorded size";
}

TEST(DecodeToCache, DecodesAtTheGivenOrRecordedSizeAndEmptiesOnFailure) {
    Toolkit kit;
    kit.SetImage(kImageId, SolidPng(6, 6, Argb(255, 0, 0, 0)));
    ImageRef ref;
    LoadResourceImage(ref, kit.instance(), kImageId);
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
