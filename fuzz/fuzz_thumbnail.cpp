// Fuzzes the thumbnail reader of the picture chooser. The first input byte
// names the file (even: ".jpg", odd: ".bmp", so JPEG data under a BMP name is
// reached too); the rest is the file. A damaged file must give no thumbnail or
// one that fits the box; it must never end the program or read out of bounds.
// For pictures small enough to load quickly, the thumbnail must exist exactly
// when the file opens.
#include <cstdint>
#include <cstdlib>

#include "fuzz/FuzzInputFile.h"
#include "imaging/ImageRecord.h"
#include "imaging/LoadPicture.h"
#include "imaging/Thumbnail.h"

namespace {

constexpr int kBoxWidth = 140, kBoxHeight = 110;
// Above this many pixels the comparison with a full load is skipped: it would
// make the run slow, and the thumbnail's own memory bound may then differ.
constexpr int64_t kCompareUpTo = 4000000;

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    static FuzzInputFile jpegFile(".jpg"), bmpFile(".bmp");
    FuzzInputFile& file = data[0] % 2 ? bmpFile : jpegFile;
    const wchar_t* path = file.Write(data + 1, size - 1);

    int width = 0, height = 0;
    uint8_t* thumb = ReadPictureThumbnail(path, kBoxWidth, kBoxHeight, &width, &height);
    if (thumb) {
        Check(width >= 1 && width <= kBoxWidth && height >= 1 && height <= kBoxHeight);
        unsigned sum = 0;
        for (size_t i = 0; i < 3 * static_cast<size_t>(width) * static_cast<size_t>(height); i++) sum += thumb[i];
        volatile unsigned sink = sum;
        (void)sink;
    }

    int fileWidth = 0, fileHeight = 0;
    if (ReadPictureSize(path, &fileWidth, &fileHeight) &&
        static_cast<int64_t>(fileWidth) * fileHeight <= kCompareUpTo) {
        ImageRecord record{};
        ClearImageRecord(&record);
        const bool opens = LoadPicture(path, L"input", &record) == LOAD_OK;
        ClearImageRecord(&record);
        Check(opens == (thumb != nullptr));
    }
    free(thumb);
    return 0;
}
