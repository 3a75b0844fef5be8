#include "imaging/LoadPicture.h"

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>

#include "imaging/BmpReader.h"
#include "imaging/JpegErrors.h"
#include "imaging/JpegMetadata.h"
#include "imaging/JpegReader.h"
#include "imaging/Orientation.h"
#include "platform/win32.h"

int WidthStep(int w) {
    if (w <= 420) return 4;
    if (w <= 850) return 8;
    if (w <= 1650) return 16;
    if (w <= 3250) return 32;
    return 64;
}

int PaddedWidth(int w) {
    int step = WidthStep(w);
    return w + (step - w % step) % step;
}

bool PictureSizeAcceptable(int64_t w, int64_t h) {
    if (w <= 0 || h <= 0 || w > kMaxPictureSide || h > kMaxPictureSide || w * h > kMaxPicturePixels) return false;
    int64_t padded = PaddedWidth(static_cast<int>(w));
    return 3 * padded * h <= kMaxPictureBytes;
}

FILE* OpenPictureFile(const wchar_t* path) {
    char nativePath[kMaxNativePath];
    if (!path || !WidePathToNative(path, nativePath, sizeof nativePath)) return nullptr;
    return fopen(nativePath, "rb");
}

namespace {

// The file name goes into the record in UTF-8: as many whole characters as fit
// before its terminator.
void StoreName(ImageRecord* record, const wchar_t* fileName) {
    std::memset(record->name, 0, sizeof record->name);
    if (fileName) {
        WideCharToMultiByte(CP_ACP, 0, fileName, (int)wcslen(fileName), record->name, sizeof record->name - 1, nullptr,
                            nullptr);
    }
}

// The reader is chosen by a plain substring search of the upper-cased path, so
// "photo.bmp.jpg" is read as BMP and ".jpeg" matches neither. Only ASCII letters
// matter for the two patterns, so ASCII upper-casing is enough.
bool PathContains(const wchar_t* path, const wchar_t* upperPattern) {
    std::wstring upper(path);
    for (wchar_t& c : upper)
        if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
    return upper.find(upperPattern) != std::wstring::npos;
}

// Whether the file starts with a JPEG's start-of-image marker.
bool HoldsJpeg(const wchar_t* path) {
    FILE* file = OpenPictureFile(path);
    if (!file) return false;
    uint8_t head[2] = {0, 0};
    bool jpeg = fread(head, 1, 2, file) == 2 && head[0] == 0xFF && head[1] == 0xD8;
    fclose(file);
    return jpeg;
}

// The upright size of a JPEG picture: its frame header's, read by the library
// itself, turned by the orientation in its EXIF block.
bool ReadJpegSize(FILE* file, int* width, int* height) {
    jpeg_decompress_struct cinfo;
    JpegErrorJump err;
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = JpegErrorExit;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_stdio_src(&cinfo, file);
    KeepJpegMetadataMarkers(&cinfo, false);
    bool ok = jpeg_read_header(&cinfo, TRUE) == JPEG_HEADER_OK;
    if (ok) {
        UprightSize(FindJpegExif(&cinfo).orientation, static_cast<int>(cinfo.image_width),
                    static_cast<int>(cinfo.image_height), width, height);
    }
    jpeg_destroy_decompress(&cinfo);
    return ok;
}

bool ReadSize(PictureFormat format, const wchar_t* path, int* width, int* height, bool limited = true) {
    FILE* file = OpenPictureFile(path);
    if (!file) return false;
    bool ok = false;
    if (format == PictureFormat::Bmp) {
        BmpLayout layout{};
        ok = CheckBmpFile(file, &layout, nullptr, nullptr) == 0;
        *width = layout.width;
        *height = layout.height;
    } else if (format == PictureFormat::Jpeg) {
        ok = ReadJpegSize(file, width, height);
    }
    fclose(file);
    return ok && (!limited || PictureSizeAcceptable(*width, *height));
}

}  // namespace

PictureFormat PictureFormatOf(const wchar_t* path) {
    if (!path) return PictureFormat::None;
    if (PathContains(path, L".BMP")) return HoldsJpeg(path) ? PictureFormat::Jpeg : PictureFormat::Bmp;
    if (PathContains(path, L".JPG")) return PictureFormat::Jpeg;
    return PictureFormat::None;
}

int ReadPictureSize(const wchar_t* path, int* width, int* height) {
    int w = 0, h = 0;
    if (!ReadSize(PictureFormatOf(path), path, &w, &h)) return 0;
    *width = w;
    *height = h;
    return 1;
}

int ReadStatedPictureSize(const wchar_t* path, int* width, int* height) {
    int w = 0, h = 0;
    if (!ReadSize(PictureFormatOf(path), path, &w, &h, false)) return 0;
    *width = w;
    *height = h;
    return 1;
}

int LoadPicture(const wchar_t* path, const wchar_t* fileName, ImageRecord* record, int64_t maxBytes) {
    if (!record) return LOAD_FAILED;
    ClearImageRecord(record);
    if (!path) return LOAD_FAILED;

    // A picture over the caller's limit is refused from its header, before
    // anything is decoded, so a huge or hostile header costs no memory.
    if (maxBytes > 0) {
        int width = 0, height = 0;
        if (!ReadPictureSize(path, &width, &height)) return LOAD_FAILED;
        width = PaddedWidth(width);
        if (3 * static_cast<int64_t>(width) * height > maxBytes) {
            record->width = width;
            record->height = height;
            record->byteSize = 3 * width * height;  // within kMaxPictureBytes by the readers' limits
            StoreName(record, fileName);
            return LOAD_TOO_LARGE;
        }
    }

    int width = 0;
    int height = 0;
    int byteSize = 0;
    uint8_t* pixels = nullptr;
    PictureMetadata* metadata = nullptr;
    PictureFormat format = PictureFormatOf(path);
    if (format == PictureFormat::Bmp) {
        pixels = LoadBmpPicture(path, &width, &height, &byteSize);
    } else if (format == PictureFormat::Jpeg) {
        pixels = LoadJpegPicture(path, &width, &height, &metadata);
    }
    if (!pixels) {
        ClearImageRecord(record);
        return LOAD_FAILED;
    }

    record->width = width;
    record->height = height;
    record->byteSize = 3 * width * height;
    record->pixels = pixels;
    record->metadata = metadata;
    StoreName(record, fileName);
    return LOAD_OK;
}
