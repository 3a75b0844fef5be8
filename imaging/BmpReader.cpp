#include "imaging/BmpReader.h"

#include <sys/types.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "imaging/LoadPicture.h"
#include "platform/win32.h"

namespace {

const size_t kFileHeaderBytes = 14;
const size_t kInfoHeaderBytes = 40;

uint32_t ReadU16(const uint8_t* p) {
    return static_cast<uint32_t>(p[0] | (p[1] << 8));
}

uint32_t ReadU32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

int32_t ReadS32(const uint8_t* p) {
    return static_cast<int32_t>(ReadU32(p));
}

void SetOut(int* out, int value) {
    if (out) *out = value;
}

// Closes the file and reports `reason`; the common exit of every refusal.
uint8_t* Refuse(FILE* file, int reason, int* reasonOut) {
    if (file) fclose(file);
    SetOut(reasonOut, reason);
    return nullptr;
}

}  // namespace

int CheckBmpFile(FILE* file, BmpLayout* layout, int* width, int* height) {
    if (fseeko(file, 0, SEEK_END) != 0) return BMP_SHORT_READ;
    int64_t fileLength = ftello(file);
    if (fileLength < 0 || fseeko(file, 0, SEEK_SET) != 0) return BMP_SHORT_READ;

    uint8_t fileHeader[kFileHeaderBytes];
    if (fread(fileHeader, 1, sizeof fileHeader, file) != sizeof fileHeader) return BMP_SHORT_READ;
    // The size check comes before the signature check.
    if (static_cast<int64_t>(ReadU32(fileHeader + 2)) != fileLength) return BMP_SIZE_MISMATCH;
    if (ReadU16(fileHeader) != 0x4D42) return BMP_UNSUPPORTED;
    uint32_t dataOffset = ReadU32(fileHeader + 10);

    uint8_t info[kInfoHeaderBytes];
    if (fread(info, 1, sizeof info, file) != sizeof info) return BMP_SHORT_READ;
    int32_t w = ReadS32(info + 4);
    int32_t h = ReadS32(info + 8);
    SetOut(width, w);
    SetOut(height, h);

    // Only plain 24-bit uncompressed data without a palette is read. A longer
    // information header is skipped by seeking to the data offset.
    if (ReadU16(info + 12) != 1 || ReadU16(info + 14) != 24 || ReadU32(info + 16) != 0 || ReadU32(info + 32) != 0 ||
        ReadU32(info + 36) != 0) {
        return BMP_UNSUPPORTED;
    }
    // Top-down files (negative height), empty pictures and sizes beyond what the
    // program can hold are refused before anything is allocated.
    if (!PictureSizeAcceptable(w, h)) return BMP_UNSUPPORTED;

    // The image-size field may legally be 0 for uncompressed data, and a damaged
    // one may be too small; the rows the header describes always need this much.
    int64_t stride = (3 * static_cast<int64_t>(w) + 3) / 4 * 4;
    int64_t needed = stride * h;
    int64_t size = ReadU32(info + 20);
    if (size < needed) size = needed;
    if (size > INT_MAX) return BMP_UNSUPPORTED;
    if (static_cast<int64_t>(dataOffset) > fileLength || fileLength - dataOffset < size) return BMP_SHORT_READ;

    layout->width = w;
    layout->height = h;
    layout->dataOffset = dataOffset;
    layout->stride = stride;
    layout->dataSize = size;
    return 0;
}

uint8_t* ReadBmpFile(const wchar_t* path, int* width, int* height, int* dataSize, int* reason) {
    SetOut(dataSize, 0);
    SetOut(reason, 0);

    FILE* file = OpenPictureFile(path);
    if (!file) return Refuse(nullptr, BMP_CANNOT_OPEN, reason);

    BmpLayout layout{};
    if (int refused = CheckBmpFile(file, &layout, width, height)) return Refuse(file, refused, reason);
    if (fseeko(file, static_cast<off_t>(layout.dataOffset), SEEK_SET) != 0) return Refuse(file, BMP_SHORT_READ, reason);
    const size_t size = static_cast<size_t>(layout.dataSize);
    uint8_t* data = static_cast<uint8_t*>(malloc(size));
    if (!data) return Refuse(file, BMP_UNSUPPORTED, reason);
    if (fread(data, 1, size, file) != size) {
        free(data);
        return Refuse(file, BMP_SHORT_READ, reason);
    }
    fclose(file);
    SetOut(dataSize, static_cast<int>(size));
    return data;
}

uint8_t* LoadBmpPicture(const wchar_t* path, int* width, int* height, int* byteSize) {
    int w = 0;
    int h = 0;
    int dataSize = 0;
    int reason = 0;
    uint8_t* data = ReadBmpFile(path, &w, &h, &dataSize, &reason);
    if (!data) return nullptr;

    // ReadBmpFile has checked the dimensions and that the data holds every row.
    int paddedW = PaddedWidth(w);
    size_t srcStride = (3 * static_cast<size_t>(w) + 3) / 4 * 4;
    size_t dstStride = 3 * static_cast<size_t>(paddedW);
    uint8_t* pixels = static_cast<uint8_t*>(malloc(dstStride * static_cast<size_t>(h)));
    if (!pixels) {
        free(data);
        return nullptr;
    }

    // The file stores the bottom row first; the working image starts with the top.
    for (int i = 0; i < h; i++) {
        const uint8_t* src = data + static_cast<size_t>(i) * srcStride;
        uint8_t* dst = pixels + static_cast<size_t>(h - 1 - i) * dstStride;
        memcpy(dst, src, 3 * static_cast<size_t>(w));
        const uint8_t* last = dst + 3 * static_cast<size_t>(w - 1);
        for (int x = w; x < paddedW; x++) memcpy(dst + 3 * static_cast<size_t>(x), last, 3);
    }
    free(data);

    SetOut(width, paddedW);
    SetOut(height, h);
    SetOut(byteSize, 3 * paddedW * h);
    return pixels;
}
