// Fuzzes the BMP reader: the input is a whole file, read with ReadBmpFile and
// loaded as a working image with LoadBmpPicture.
//
// Besides what the sanitizers catch, a loaded picture is compared with the
// file's own pixel rows: the reader must flip the rows top first and repeat each
// row's last pixel into the padding columns, whatever the headers claim.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "fuzz/FuzzInputFile.h"
#include "imaging/BmpReader.h"
#include "imaging/LoadPicture.h"

namespace {

uint32_t U32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

// A picture the reader accepted, against the file's bytes.
void CheckPicture(const uint8_t* file, size_t fileSize, const uint8_t* pixels, int width, int height, int byteSize) {
    // The reader accepts nothing shorter than both headers.
    Check(fileSize >= 54);
    const int32_t trueWidth = static_cast<int32_t>(U32(file + 18));
    const int32_t trueHeight = static_cast<int32_t>(U32(file + 22));
    Check(PictureSizeAcceptable(trueWidth, trueHeight));
    Check(width == PaddedWidth(trueWidth));
    Check(height == trueHeight);
    Check(static_cast<int64_t>(byteSize) == 3LL * width * height);

    const size_t offset = U32(file + 10);
    const size_t stride = (3 * static_cast<size_t>(trueWidth) + 3) / 4 * 4;
    const size_t rowBytes = 3 * static_cast<size_t>(trueWidth);
    Check(offset <= fileSize && fileSize - offset >= stride * static_cast<size_t>(height));
    for (int y = 0; y < height; y++) {
        const uint8_t* src = file + offset + static_cast<size_t>(height - 1 - y) * stride;
        const uint8_t* row = pixels + static_cast<size_t>(y) * 3 * width;
        Check(std::memcmp(row, src, rowBytes) == 0);
        for (int x = trueWidth; x < width; x++) Check(std::memcmp(row + 3 * x, src + rowBytes - 3, 3) == 0);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static FuzzInputFile file(".bmp");
    const wchar_t* path = file.Write(data, size);

    int width = -1, height = -1, dataSize = -1, reason = -1;
    uint8_t* raw = ReadBmpFile(path, &width, &height, &dataSize, &reason);
    if (raw) {
        Check(reason == 0 && dataSize > 0);
        // Every byte of the returned buffer must be there.
        unsigned sum = 0;
        for (int i = 0; i < dataSize; i++) sum += raw[i];
        volatile unsigned sink = sum;
        (void)sink;
        free(raw);
    } else {
        Check(reason == BMP_CANNOT_OPEN || reason == BMP_SHORT_READ || reason == BMP_SIZE_MISMATCH ||
              reason == BMP_UNSUPPORTED);
        Check(dataSize == 0);
    }

    int loadedWidth = 0, loadedHeight = 0, byteSize = 0;
    uint8_t* pixels = LoadBmpPicture(path, &loadedWidth, &loadedHeight, &byteSize);
    // Memory is plentiful here, so the two calls agree on the same file.
    Check((pixels != nullptr) == (raw != nullptr));
    if (pixels) {
        CheckPicture(data, size, pixels, loadedWidth, loadedHeight, byteSize);
        free(pixels);
    }
    return 0;
}
