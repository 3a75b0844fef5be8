#include "imaging/LoadPicture.h"

#include <cstring>
#include <cwchar>
#include <string>

#include "imaging/BmpReader.h"
#include "imaging/JpegReader.h"
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
    if (w <= 0 || h <= 0 || w > kMaxPictureSide || h > kMaxPictureSide) return false;
    int64_t padded = PaddedWidth(static_cast<int>(w));
    return 3 * padded * h <= kMaxPictureBytes;
}

namespace {

// The reader is chosen by a plain substring search of the upper-cased path, so
// "photo.bmp.jpg" is read as BMP and ".jpeg" matches neither. Only ASCII letters
// matter for the two patterns, so ASCII upper-casing is enough.
bool PathContains(const wchar_t* path, const wchar_t* upperPattern) {
    std::wstring upper(path);
    for (wchar_t& c : upper)
        if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
    return upper.find(upperPattern) != std::wstring::npos;
}

}  // namespace

int LoadPicture(const wchar_t* path, const wchar_t* fileName, ImageRecord* record) {
    if (!record) return 0;
    ClearImageRecord(record);
    if (!path) return 0;

    int width = 0;
    int height = 0;
    int byteSize = 0;
    uint8_t* pixels = nullptr;
    if (PathContains(path, L".BMP")) {
        pixels = LoadBmpPicture(path, &width, &height, &byteSize);
    } else if (PathContains(path, L".JPG")) {
        pixels = LoadJpegPicture(path, &width, &height);
    }
    if (!pixels) {
        ClearImageRecord(record);
        return 0;
    }

    record->width = width;
    record->height = height;
    record->byteSize = 3 * width * height;
    record->pixels = pixels;
    std::memset(record->name, 0, sizeof record->name);
    // As many whole characters of the name as fit before its terminator.
    if (fileName) {
        WideCharToMultiByte(CP_ACP, 0, fileName, (int)wcslen(fileName), record->name, sizeof record->name - 1, nullptr,
                            nullptr);
    }
    return 1;
}
