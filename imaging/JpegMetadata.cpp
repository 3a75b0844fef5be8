#include "imaging/JpegMetadata.h"

#include <cstring>
#include <memory>
#include <new>

#include "imaging/ExifBlock.h"
#include "imaging/PictureMetadata.h"

namespace {

// A marker payload starts with the identifier of what it holds.
bool Starts(const jpeg_saved_marker_ptr marker, const void* id, size_t idLength) {
    return marker->data_length >= idLength && std::memcmp(marker->data, id, idLength) == 0;
}

const char kXmpId[] = "http://ns.adobe.com/xap/1.0/";
const char kExtendedXmpId[] = "http://ns.adobe.com/xmp/extension/";
const char kIccId[] = "ICC_PROFILE";

// The text identifiers end with a zero byte, which the sizes include.
bool IsExif(const jpeg_saved_marker_ptr m) {
    return m->marker == JPEG_APP0 + 1 && Starts(m, kExifHeader, sizeof kExifHeader);
}
bool IsXmp(const jpeg_saved_marker_ptr m) {
    return m->marker == JPEG_APP0 + 1 &&
           (Starts(m, kXmpId, sizeof kXmpId) || Starts(m, kExtendedXmpId, sizeof kExtendedXmpId));
}
bool IsIcc(const jpeg_saved_marker_ptr m) {
    return m->marker == JPEG_APP0 + 2 && Starts(m, kIccId, sizeof kIccId);
}

}  // namespace

void KeepJpegMetadataMarkers(j_decompress_ptr cinfo, bool withIcc) {
    jpeg_save_markers(cinfo, JPEG_APP0 + 1, 0xFFFF);
    if (withIcc) jpeg_save_markers(cinfo, JPEG_APP0 + 2, 0xFFFF);
}

JpegExif FindJpegExif(j_decompress_ptr cinfo) {
    JpegExif exif;
    for (jpeg_saved_marker_ptr m = cinfo->marker_list; m; m = m->next) {
        if (!IsExif(m)) continue;
        exif.block = m->data + sizeof kExifHeader;
        exif.size = m->data_length - sizeof kExifHeader;
        exif.orientation = ReadExifOrientation(exif.block, exif.size, &exif.intact);
        break;
    }
    return exif;
}

PictureMetadata* CopyJpegMetadata(j_decompress_ptr cinfo, const JpegExif& exif) {
    try {
        // Owned here until it is handed over, so a copy that runs out of memory
        // half-way is given back.
        auto metadata = std::make_unique<PictureMetadata>();
        metadata->orientation = exif.orientation;
        if (exif.block && exif.intact) metadata->exif.assign(exif.block, exif.block + exif.size);
        for (jpeg_saved_marker_ptr m = cinfo->marker_list; m; m = m->next) {
            if (m->data_length != m->original_length) continue;  // never part of a marker
            if (IsXmp(m)) metadata->xmp.emplace_back(m->data, m->data + m->data_length);
            if (IsIcc(m)) metadata->icc.emplace_back(m->data, m->data + m->data_length);
        }
        if (metadata->exif.empty() && metadata->xmp.empty() && metadata->icc.empty()) return nullptr;
        return metadata.release();
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
