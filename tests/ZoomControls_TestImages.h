// Helpers for the control toolkit's tests: RGBA PNG files built in memory, a
// headless platform with a window and an IMAGE resource table the test fills,
// and a back buffer whose RGB 565 pixels the test can set and read.
#pragma once

#include <gtest/gtest.h>
#include <png.h>

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "ZoomControls/ImageUtil.h"
#include "platform/Platform.h"
#include "platform/resources.h"
#include "platform/win32.h"
#include "support/TestFiles.h"

namespace zoom_test {

using Bytes = std::vector<unsigned char>;

// Pixels are written as 0xAARRGGBB.
inline uint32_t Argb(uint32_t a, uint32_t r, uint32_t g, uint32_t b) {
    return (a << 24) | (r << 16) | (g << 8) | b;
}

// A w x h RGBA PNG whose pixel (x, y) is pixel(x, y).
inline Bytes EncodePng(int w, int h, const std::function<uint32_t(int, int)>& pixel) {
    Bytes out;
    std::vector<png_byte> row((size_t)w * 4);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        ADD_FAILURE() << "test PNG encoding failed";
        return {};
    }
    auto append = [](png_structp p, png_bytep data, png_size_t n) {
        static_cast<Bytes*>(png_get_io_ptr(p))->insert(static_cast<Bytes*>(png_get_io_ptr(p))->end(), data, data + n);
    };
    png_set_write_fn(png, &out, append, nullptr);
    png_set_IHDR(png, info, w, h, 8, PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < h; y++) {
        for (int x = 0; x < w; x++) {
            uint32_t p = pixel(x, y);
            row[(size_t)x * 4 + 0] = (png_byte)(p >> 16);
            row[(size_t)x * 4 + 1] = (png_byte)(p >> 8);
            row[(size_t)x * 4 + 2] = (png_byte)p;
            row[(size_t)x * 4 + 3] = (png_byte)(p >> 24);
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

inline Bytes SolidPng(int w, int h, uint32_t argb) {
    return EncodePng(w, h, [argb](int, int) { return argb; });
}

// The RGB 565 value the blending writes for 8-bit channels.
inline uint16_t Pack565(uint32_t r, uint32_t g, uint32_t b) {
    return (uint16_t)((b >> 3) | ((g & 0xFC) << 3) | ((r & 0xF8) << 8));
}

// A headless platform with private folders, a window with the given client
// size and an IMAGE resource table made the toolkit's resource module; all
// undone by the destructor.
class Toolkit {
public:
    explicit Toolkit(int clientWidth = 480, int clientHeight = 100) {
        platform::Options o;
        o.headless = true;
        o.configDir = dir_.File("config");
        o.storageRoot = dir_.path();
        EXPECT_TRUE(platform::Initialize(o));
        WNDCLASS wc{};
        wc.lpfnWndProc = DefWindowProc;
        wc.lpszClassName = L"ZoomControlsTest";
        RegisterClass(&wc);
        window_ = CreateWindow(L"ZoomControlsTest", L"", WS_POPUP, 0, 0, clientWidth, clientHeight, nullptr, nullptr,
                               instance(), nullptr);
        EXPECT_NE(nullptr, window_);
        Publish();
        SetResourceInstance(instance());
        SetGlobalAlpha(255);
    }
    ~Toolkit() {
        SetResourceInstance(nullptr);
        SetGlobalAlpha(255);
        if (window_) DestroyWindow(window_);
        platform::RegisterResourceModule(nullptr, nullptr);
        platform::Shutdown();
    }
    Toolkit(const Toolkit&) = delete;
    Toolkit& operator=(const Toolkit&) = delete;

    // Adds IMAGE resource `id`, or replaces its bytes.
    void SetImage(int id, Bytes png) {
        images_[id] = std::move(png);
        Publish();
    }
    HWND window() const { return window_; }
    HINSTANCE instance() const { return reinterpret_cast<HINSTANCE>(const_cast<platform::ResourceModule*>(&module_)); }

private:
    void Publish() {
        binaries_.clear();
        for (const auto& [id, bytes] : images_) binaries_.push_back({L"IMAGE", id, bytes.data(), bytes.size()});
        module_ = platform::ResourceModule{
            nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, binaries_.data(), (int)binaries_.size()};
        platform::RegisterResourceModule(instance(), &module_);
    }

    testing_support::TempDir dir_;
    HWND window_ = nullptr;
    std::map<int, Bytes> images_;
    std::vector<platform::BinaryResource> binaries_;
    platform::ResourceModule module_{};
};

// The back buffer of a window for the length of a test, with its pixels as RGB
// 565 values (client coordinates, y = 0 the top row).
class BackBuffer {
public:
    explicit BackBuffer(HWND window) : window_(window), paintDC_(GetDC(window)) {
        memDC_ = CreateBackBuffer(window_, paintDC_);
        RECT rc{0, 0, 0, 0};
        GetClientRect(window_, &rc);
        width_ = rc.right;
        height_ = rc.bottom;
    }
    ~BackBuffer() {
        if (memDC_) ReleaseBackBuffer(memDC_);
        ReleaseDC(window_, paintDC_);
    }
    BackBuffer(const BackBuffer&) = delete;
    BackBuffer& operator=(const BackBuffer&) = delete;

    HDC dc() const { return memDC_; }
    int width() const { return width_; }
    int height() const { return height_; }

    uint16_t Get(int x, int y) const {
        COLORREF c = GetPixel(memDC_, x, y);
        return Pack565(GetRValue(c), GetGValue(c), GetBValue(c));
    }
    void Fill(uint16_t v) {
        for (int y = 0; y < height_; y++)
            for (int x = 0; x < width_; x++)
                SetPixel(memDC_, x, y, RGB((v >> 11) << 3, ((v >> 5) & 0x3F) << 2, (v & 0x1F) << 3));
    }
    // Every pixel, row by row.
    std::vector<uint16_t> Pixels() const {
        std::vector<uint16_t> out;
        for (int y = 0; y < height_; y++)
            for (int x = 0; x < width_; x++) out.push_back(Get(x, y));
        return out;
    }

private:
    HWND window_;
    HDC paintDC_;
    HDC memDC_ = nullptr;
    int width_ = 0, height_ = 0;
};

// Sets an environment variable for the life of the object.
class EnvVar {
public:
    EnvVar(const char* name, const char* value) : name_(name) {
        if (const char* old = getenv(name)) old_ = old;
        Set(value);
    }
    ~EnvVar() { Set(old_ ? old_->c_str() : nullptr); }

private:
    void Set(const char* value) { value ? setenv(name_.c_str(), value, 1) : unsetenv(name_.c_str()); }
    std::string name_;
    std::optional<std::string> old_;
};

inline std::string Narrow(const wchar_t* text) {
    std::string out;
    for (const wchar_t* p = text; p && *p; p++) out += (char)*p;
    return out;
}

}  // namespace zoom_test
