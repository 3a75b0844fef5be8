#include "tools/common/ToolSupport.h"

#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <vector>

#include "imaging/LoadPicture.h"
#include "platform/win32.h"

const char* BaseName(const char* path) {
    const char* slash = std::strrchr(path, '/');
    return slash ? slash + 1 : path;
}

std::string Stem(const char* path) {
    std::string stem = BaseName(path);
    const size_t dot = stem.rfind('.');
    if (dot != std::string::npos && dot > 0) stem.resize(dot);
    return stem;
}

namespace {

std::wstring Widen(const char* text) {
    const int n = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (n <= 0) return std::wstring();
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), n);
    wide.resize(std::wcslen(wide.c_str()));
    return wide;
}

std::string Narrow(const std::wstring& wide) {
    const int n = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return std::string();
    std::string text(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, text.data(), n, nullptr, nullptr);
    text.resize(std::strlen(text.c_str()));
    return text;
}

}  // namespace

bool WidePath(const char* path, std::wstring* wide, std::string* error) {
    *wide = Widen(path);
    if (Narrow(*wide) != path) {
        *error = "the file name is not valid UTF-8, so the picture readers cannot open it";
        return false;
    }
    return true;
}

bool CheckPictureArgument(const char* path, PictureArgument* picture, std::string* error) {
    if (FILE* f = std::fopen(path, "rb")) {
        std::fclose(f);
    } else {
        *error = std::string("cannot open: ") + std::strerror(errno);
        return false;
    }
    if (!WidePath(path, &picture->path, error) || !WidePath(BaseName(path), &picture->name, error)) return false;
    if (!ReadStatedPictureSize(picture->path.c_str(), &picture->width, &picture->height)) {
        *error = kUnreadablePicture;
        return false;
    }
    if (!PictureSizeAcceptable(picture->width, picture->height)) {
        *error = "too large: " + std::to_string(picture->width) + " x " + std::to_string(picture->height) +
                 " pixels (at most 100 megapixels)";
        return false;
    }
    return true;
}

bool WriteMaskPng(const std::string& path, const uint8_t* mask, int width, int height, std::string* error) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        *error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    std::vector<uint8_t> row(static_cast<size_t>(width));
    bool ok = png && info;
    if (ok && setjmp(png_jmpbuf(png))) ok = false;
    if (ok) {
        png_init_io(png, file);
        png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                     PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        for (int y = 0; y < height; y++) {
            for (int x = 0; x < width; x++)
                row[static_cast<size_t>(x)] = mask[static_cast<size_t>(y) * width + x] ? 255 : 0;
            png_write_row(png, row.data());
        }
        png_write_end(png, nullptr);
    }
    png_destroy_write_struct(png ? &png : nullptr, info ? &info : nullptr);
    if (std::fclose(file) != 0) ok = false;
    if (!ok) {
        std::remove(path.c_str());
        *error = "cannot write " + path;
    }
    return ok;
}

std::string MaskPath(const std::string& out, const char* picture, bool several) {
    if (!several) return out;
    const std::string stem = Stem(picture);
    const size_t slash = out.rfind('/');
    const size_t extension = out.rfind('.');
    if (extension != std::string::npos && (slash == std::string::npos || extension > slash + 1)) {
        return out.substr(0, extension) + "-" + stem + out.substr(extension);
    }
    return out + "-" + stem + ".png";
}
