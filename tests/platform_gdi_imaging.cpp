// The imaging service and icons: PNG decoding of every colour type into 32-bit
// ARGB, refusal of damaged data, scaled bitmaps, drawing blended by alpha, and
// surface screenshots written as PNG.
#include <gtest/gtest.h>
#include <png.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/raster.h"
#include "platform/resources.h"
#include "platform/win32.h"
#include "support/TestFiles.h"

namespace {

using Rows = std::vector<std::vector<uint8_t>>;  // packed as libpng expects

// An encoding error aborts (libpng's default), which fails the test run.
std::vector<uint8_t> EncodePng(int width, int colorType, const Rows& rows, int bitDepth = 8,
                               std::vector<png_color> palette = {}, std::vector<uint8_t> paletteAlpha = {}) {
    std::vector<uint8_t> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    auto append = [](png_structp p, png_bytep data, png_size_t n) {
        auto* o = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(p));
        o->insert(o->end(), data, data + n);
    };
    png_set_write_fn(png, &out, append, nullptr);
    png_set_IHDR(png, info, width, (png_uint_32)rows.size(), bitDepth, colorType, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!palette.empty()) png_set_PLTE(png, info, palette.data(), (int)palette.size());
    if (!paletteAlpha.empty()) png_set_tRNS(png, info, paletteAlpha.data(), (int)paletteAlpha.size(), nullptr);
    png_write_info(png, info);
    for (const auto& row : rows) png_write_row(png, row.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

// 2 x 1 RGBA: a translucent blue-grey pixel and an opaque red one.
std::vector<uint8_t> RgbaPng() {
    return EncodePng(2, PNG_COLOR_TYPE_RGBA, {{10, 20, 30, 40, 255, 0, 0, 255}});
}

struct Imaging {
    IImagingFactory* factory = nullptr;
    UINT w = 0, h = 0;  // the size of the last bitmap Pixels made

    Imaging() {
        void* out = nullptr;
        EXPECT_EQ(CoCreateInstance(CLSID_ImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IImagingFactory, &out),
                  S_OK);
        factory = static_cast<IImagingFactory*>(out);
    }
    ~Imaging() { factory->Release(); }
    IImage* Image(const std::vector<uint8_t>& png) {
        IImage* image = nullptr;
        EXPECT_EQ(factory->CreateImageFromBuffer(png.data(), (UINT)png.size(), 0, &image), S_OK);
        return image;
    }
    // Releases `image` and returns a 32-bit ARGB bitmap of it (a side given as 0 keeps its own
    // size) as B, G, R, A bytes.
    std::vector<uint8_t> Pixels(IImage* image, UINT scaleW = 0, UINT scaleH = 0) {
        if (!image) return {};
        IBitmapImage* bitmap = nullptr;
        factory->CreateBitmapFromImage(image, scaleW, scaleH, PixelFormat32bppARGB, InterpolationHintBilinear, &bitmap);
        image->Release();
        if (!bitmap) return {};
        BitmapData data{};
        std::vector<uint8_t> out;
        if (bitmap->LockBits(nullptr, ImageLockModeRead, PixelFormat32bppARGB, &data) == S_OK) {
            const uint8_t* p = static_cast<const uint8_t*>(data.Scan0);
            out.assign(p, p + (size_t)data.Stride * data.Height);
            w = data.Width, h = data.Height;
            bitmap->UnlockBits(&data);
        }
        bitmap->Release();
        return out;
    }
};

// ---------------------------------------------------------------------------
// Decoding

TEST(ImagingDecode, EveryColourTypeBecomesBgraBytes) {
    const int grey = PNG_COLOR_TYPE_GRAY;
    struct Case {
        UINT width;
        std::vector<uint8_t> png, bgra;
    } cases[] = {
        {2, RgbaPng(), {30, 20, 10, 40, 0, 0, 255, 255}},
        // The palette's third entry has no alpha entry: opaque.
        {3,
         EncodePng(3, PNG_COLOR_TYPE_PALETTE, {{0, 1, 2}}, 8, {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}}, {0, 128}),
         {0, 0, 255, 0, 0, 255, 0, 128, 255, 0, 0, 255}},
        {2, EncodePng(2, grey, {{77, 200}}), {77, 77, 77, 255, 200, 200, 200, 255}},
        {2, EncodePng(2, grey, {{0xF0}}, 4), {255, 255, 255, 255, 0, 0, 0, 255}},  // 15 then 0
        {2, EncodePng(2, grey, {{0x12, 0x34, 0xFF, 0xFF}}, 16), {0x12, 0x12, 0x12, 255, 255, 255, 255, 255}},
    };
    Imaging im;
    for (const Case& c : cases) {
        SCOPED_TRACE(&c - cases);
        EXPECT_EQ(im.Pixels(im.Image(c.png)), c.bgra);
        EXPECT_EQ(im.w, c.width);
        EXPECT_EQ(im.h, 1u);
    }
}

TEST(ImagingDecode, DamagedOrForeignBytesAreRefused) {
    std::vector<uint8_t> good = RgbaPng();
    std::vector<uint8_t> truncated(good.begin(), good.begin() + good.size() / 2);
    std::vector<uint8_t> flipped = good;
    flipped[40] ^= 0x55;  // inside IDAT: its checksum no longer matches
    std::vector<uint8_t> headerOnly(good.begin(), good.begin() + 8);
    std::vector<uint8_t> text(64, 'x');
    std::vector<uint8_t> oversized = EncodePng(20000, PNG_COLOR_TYPE_GRAY, {std::vector<uint8_t>(20000, 0)});
    Imaging im;
    for (const auto* bytes : {&truncated, &flipped, &headerOnly, &text, &oversized}) {
        IImage* image = reinterpret_cast<IImage*>(1);
        EXPECT_EQ(im.factory->CreateImageFromBuffer(bytes->data(), (UINT)bytes->size(), 0, &image), E_FAIL);
        EXPECT_EQ(image, nullptr);
    }
    IImage* image = nullptr;
    EXPECT_NE(im.factory->CreateImageFromBuffer(nullptr, 10, 0, &image), S_OK);
}

// ---------------------------------------------------------------------------
// The service's objects

TEST(ImagingService, CoCreateInstanceServesOnlyTheImagingFactory) {
    void* out = reinterpret_cast<void*>(1);
    IID other = IID_IImagingFactory;
    other.Data1 ^= 1;
    EXPECT_EQ(CoCreateInstance(CLSID_ImagingFactory, nullptr, CLSCTX_INPROC_SERVER, other, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(CoCreateInstance(other, nullptr, CLSCTX_INPROC_SERVER, IID_IImagingFactory, &out), E_NOINTERFACE);

    Imaging im;
    void* again = nullptr;
    EXPECT_EQ(im.factory->QueryInterface(IID_IImagingFactory, &again), S_OK);
    EXPECT_EQ(again, im.factory);
    EXPECT_EQ(im.factory->Release(), 1u);  // the reference QueryInterface added
}

TEST(ImagingService, LockBitsGivesOneLockOfArgbRowsAtATime) {
    Imaging im;
    IImage* image = im.Image(RgbaPng());
    ASSERT_NE(image, nullptr);
    IBitmapImage* bitmap = nullptr;
    ASSERT_EQ(im.factory->CreateBitmapFromImage(image, 0, 0, PixelFormat32bppARGB, 0, &bitmap), S_OK);
    image->Release();

    BitmapData data{}, again{};
    RECT second{1, 0, 2, 1}, outside{1, 0, 3, 1};
    EXPECT_EQ(bitmap->LockBits(&second, ImageLockModeRead, PixelFormat16bppRGB565, &data), E_INVALIDARG);
    EXPECT_EQ(bitmap->LockBits(&outside, ImageLockModeRead, PixelFormat32bppARGB, &data), E_INVALIDARG);
    ASSERT_EQ(bitmap->LockBits(&second, ImageLockModeRead, PixelFormat32bppARGB, &data), S_OK);
    EXPECT_EQ(data.Width, 1u);
    EXPECT_EQ(data.Stride, 8);
    EXPECT_EQ(static_cast<uint8_t*>(data.Scan0)[2], 255);  // the red pixel
    EXPECT_NE(bitmap->LockBits(nullptr, ImageLockModeRead, PixelFormat32bppARGB, &again), S_OK);
    EXPECT_EQ(bitmap->UnlockBits(&data), S_OK);
    EXPECT_NE(bitmap->UnlockBits(&data), S_OK);
    bitmap->Release();
}

TEST(ImagingScale, OpaqueGradientsInterpolateAndTransparentNeighboursDoNotDarkenEdges) {
    Imaging im;
    std::vector<uint8_t> px = im.Pixels(im.Image(EncodePng(2, PNG_COLOR_TYPE_GRAY, {{0, 200}})), 4, 3);
    ASSERT_EQ(px.size(), 4u * 3 * 4);
    EXPECT_EQ(im.w, 4u);
    EXPECT_EQ(im.h, 3u);
    for (int y = 0; y < 3; y++) {
        const uint8_t* row = &px[y * 16];
        EXPECT_EQ(row[0], 0) << y;
        EXPECT_NEAR(row[4], 50, 1) << y;
        EXPECT_NEAR(row[8], 150, 1) << y;
        EXPECT_EQ(row[12], 200) << y;
    }

    // Opaque white beside fully transparent black, widened; height 0 keeps its one row.
    px = im.Pixels(im.Image(EncodePng(2, PNG_COLOR_TYPE_RGBA, {{255, 255, 255, 255, 0, 0, 0, 0}})), 8, 0);
    ASSERT_EQ(px.size(), 32u);
    EXPECT_EQ(im.h, 1u);
    int partlyCovered = 0;
    for (int x = 0; x < 8; x++) {
        const uint8_t* p = &px[x * 4];
        if (p[3] == 0) continue;
        EXPECT_EQ(p[0] & p[1] & p[2], 255) << x;
        partlyCovered += p[3] < 255;
    }
    EXPECT_GT(partlyCovered, 0);  // the edge is blended in alpha, not in colour
    EXPECT_EQ(px[3], 255);
    EXPECT_EQ(px[31], 0);
}

// ---------------------------------------------------------------------------
// Drawing onto DCs

TEST(ImagingDraw, IconsAndImagesOrPartsOfThemAreScaledIntoTheRectangleAndBlendedByAlpha) {
    const COLORREF pink = RGB(255, 127, 127), white = RGB(255, 255, 255), red = RGB(255, 0, 0);
    std::vector<uint8_t> png = EncodePng(2, PNG_COLOR_TYPE_RGBA, {{0, 255, 0, 255, 0, 0, 255, 0}});  // green, nothing
    platform::BinaryResource binaries[] = {{RT_ICON, 101, png.data(), png.size()}};
    platform::ResourceModule module{nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, binaries, 1};
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(0x1C0);
    platform::RegisterResourceModule(instance, &module);
    HICON icon = LoadIcon(instance, MAKEINTRESOURCE(101));
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(LoadIcon(instance, MAKEINTRESOURCE(101)), icon);
    EXPECT_EQ(LoadIcon(instance, MAKEINTRESOURCE(102)), nullptr);
    platform::RegisterResourceModule(instance, nullptr);  // the table dies with this test

    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, 4, 4);
    HGDIOBJ old = SelectObject(dc, bitmap);
    RECT whole{0, 0, 4, 4}, dst{1, 1, 3, 3}, src{1, 0, 2, 1};
    FillRect(dc, &whole, GetStockObject(WHITE_BRUSH));
    EXPECT_TRUE(DrawIcon(dc, 1, 0, icon));
    EXPECT_TRUE(DrawIcon(dc, -1, 1, icon));  // only its transparent pixel lands, on (0, 1)
    Imaging im;
    IImage* image = im.Image(EncodePng(1, PNG_COLOR_TYPE_RGBA, {{255, 0, 0, 128}}));
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->Draw(dc, &dst, nullptr), S_OK);
    EXPECT_NE(image->Draw(nullptr, &dst, nullptr), S_OK);
    image->Release();
    // The icon's transparent pixel leaves the white; red at alpha 128 over white gives
    // (255 * 127 + 127) / 255 = 127 in green and blue.
    for (auto [x, y, colour] : {std::tuple{0, 0, white}, {1, 0, RGB(0, 255, 0)}, {2, 0, white}, {0, 1, white}})
        EXPECT_EQ(GetPixel(dc, x, y), colour) << x << "," << y;
    for (auto [x, y, colour] : {std::tuple{1, 1, pink}, {2, 2, pink}, {3, 3, white}})
        EXPECT_EQ(GetPixel(dc, x, y), colour) << x << "," << y;

    image = im.Image(RgbaPng());  // a source rectangle draws part of the image: its red pixel
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->Draw(dc, &whole, &src), S_OK);
    image->Release();
    EXPECT_EQ(GetPixel(dc, 0, 0), red);
    EXPECT_EQ(GetPixel(dc, 3, 3), red);
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
}

// ---------------------------------------------------------------------------
// Screenshots

TEST(ImagingFiles, ScreenshotWrittenAsPngLoadsBackWithItsSizeAndColours) {
    platform::Surface s;
    ASSERT_TRUE(platform::AllocSurface(s, 3, 2, platform::PixelFormat::RGB565, true));
    s.Put(0, 0, 0xF80000);
    s.Put(2, 1, 0x0000F8);
    testing_support::TempDir dir;
    std::string file = dir.File("shot.png");
    ASSERT_TRUE(platform::WriteSurfacePng(s, file.c_str()));
    platform::FreeSurface(s);

    std::wstring path(file.begin(), file.end()), missing = path + L".absent";
    Imaging im;
    IImage* image = nullptr;
    ASSERT_EQ(im.factory->CreateImageFromFile(path.c_str(), &image), S_OK);
    ImageInfo info{};
    EXPECT_EQ(image->GetImageInfo(&info), S_OK);
    EXPECT_EQ(info.Width, 3u);
    EXPECT_EQ(info.Height, 2u);
    EXPECT_EQ(info.PixelFormat, PixelFormat32bppARGB);
    std::vector<uint8_t> px = im.Pixels(image);
    ASSERT_EQ(px.size(), 24u);
    EXPECT_EQ(px[2], 0xF8);   // top-left red
    EXPECT_EQ(px[20], 0xF8);  // bottom-right blue, opaque
    EXPECT_EQ(px[23], 255);
    EXPECT_TRUE(FAILED(im.factory->CreateImageFromFile(missing.c_str(), &image)));
    EXPECT_EQ(image, nullptr);
    EXPECT_FALSE(platform::WriteSurfacePng(s, file.c_str()));  // freed: nothing to write
}

TEST(ImagingSurface, AbsurdSizesAreRefused) {
    platform::Surface s;
    EXPECT_FALSE(platform::AllocSurface(s, 0, 10, platform::PixelFormat::XRGB32, false));
    EXPECT_FALSE(platform::AllocSurface(s, 10, 0, platform::PixelFormat::XRGB32, false));
    EXPECT_FALSE(platform::AllocSurface(s, 16385, 1, platform::PixelFormat::XRGB32, false));
    ASSERT_TRUE(platform::AllocSurface(s, 3, 1, platform::PixelFormat::BGR24, false));
    EXPECT_EQ(s.stride, 12);
    platform::FreeSurface(s);
}

}  // namespace
