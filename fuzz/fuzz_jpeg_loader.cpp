// Fuzzes the JPEG reader: the input is a whole file, loaded as a working image
// with LoadJpegPicture together with its metadata (EXIF orientation, EXIF
// block, ICC profile, XMP). A damaged file must fail or load; it must never end
// the program, read or write out of bounds, or hand back a buffer smaller than
// the size it reports. A picture that loads is saved with its metadata and
// read again: the copy must load upright at the same size, no longer turned.
#include <cstdint>
#include <cstdlib>

#include "fuzz/FuzzInputFile.h"
#include "imaging/JpegReader.h"
#include "imaging/JpegWriter.h"
#include "imaging/LoadPicture.h"
#include "imaging/PictureMetadata.h"

namespace {

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static FuzzInputFile file(".jpg");
    const wchar_t* path = file.Write(data, size);

    int width = 0, height = 0;
    PictureMetadata* metadata = nullptr;
    uint8_t* pixels = LoadJpegPicture(path, &width, &height, &metadata);
    if (!pixels) {
        Check(metadata == nullptr);
        return 0;
    }
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

    // Small pictures only: the round trip costs an encode and a decode.
    if (metadata && static_cast<int64_t>(width) * height <= 256 * 256) {
        static FuzzInputFile copy(".jpg");
        const wchar_t* copyPath = copy.Write(nullptr, 0);
        Check(SaveJpegPicture(copyPath, pixels, width, height, metadata) == 1);
        int copyWidth = 0, copyHeight = 0;
        PictureMetadata* copyMetadata = nullptr;
        uint8_t* again = LoadJpegPicture(copyPath, &copyWidth, &copyHeight, &copyMetadata);
        Check(again != nullptr && copyWidth == width && copyHeight == height);
        Check(!copyMetadata || copyMetadata->orientation == 1);
        free(again);
        delete copyMetadata;
    }
    delete metadata;
    free(pixels);
    return 0;
}
