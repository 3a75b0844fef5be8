// Fuzzes the JPEG reader: the input is a whole file, loaded as a working image
// with LoadJpegPicture. A damaged file must fail or load; it must never end the
// program, read or write out of bounds, or hand back a buffer smaller than the
// size it reports.
#include <cstdint>
#include <cstdlib>

#include "fuzz/FuzzInputFile.h"
#include "imaging/JpegReader.h"
#include "imaging/LoadPicture.h"

namespace {

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static FuzzInputFile file(".jpg");
    const wchar_t* path = file.Write(data, size);

    int width = 0, height = 0;
    uint8_t* pixels = LoadJpegPicture(path, &width, &height);
    if (!pixels) return 0;
    // The padded width is a multiple of 4 and the whole picture is within the
    // readers' limits (the padding adds at most 63 columns).
    Check(width >= 4 && width % 4 == 0 && height >= 1);
    Check(width <= kMaxPictureSide + 63 && height <= kMaxPictureSide);
    Check(3LL * width * height <= kMaxPictureBytes);
    // Every byte of the reported size must be there.
    const size_t bytes = 3 * static_cast<size_t>(width) * static_cast<size_t>(height);
    unsigned sum = 0;
    for (size_t i = 0; i < bytes; i++) sum += pixels[i];
    volatile unsigned sink = sum;
    (void)sink;
    free(pixels);
    return 0;
}
