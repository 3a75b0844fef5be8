// Pixel buffers of a loaded picture are allocated by the readers with malloc
// (calloc for the zero-filled JPEG buffer), so the record releases them with free.
// C-style callers that take a buffer out of a record release it the same way.
#include "imaging/ImageRecord.h"

#include <cstdlib>
#include <cstring>

#include "imaging/PictureMetadata.h"

void ClearImageRecord(ImageRecord* record) {
    if (!record) return;
    std::memset(record->name, 0, sizeof record->name);
    record->width = -1;
    record->height = -1;
    record->byteSize = -1;
    std::free(record->pixels);
    record->pixels = nullptr;
    delete record->metadata;
    record->metadata = nullptr;
}
