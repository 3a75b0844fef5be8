// Builders and readers for JPEG files with camera metadata: EXIF blocks
// written with libexif (orientation, camera model, date taken, pixel size, an
// embedded thumbnail), marker segments as a camera writes them, and reading
// them back from a saved file.
#pragma once

#include <gtest/gtest.h>
#include <libexif/exif-data.h>
#include <libexif/exif-mem.h>
#include <libexif/exif-utils.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "imaging_TestImages.h"

namespace imaging_test {

using testing_support::ReadBytes;

using Colour = std::array<uint8_t, 3>;  // blue, green, red: the working order

inline const Colour kRed{30, 30, 230}, kGreen{40, 210, 40}, kBlue{220, 50, 30}, kWhite{235, 235, 235};

struct Marker {
    int code;
    Bytes payload;
};

inline Bytes Payload(const char* id, size_t idBytes, const Bytes& rest) {
    Bytes b(id, id + idBytes);
    b.insert(b.end(), rest.begin(), rest.end());
    return b;
}

// What an EXIF block built by MakeExif holds. Zero or empty fields are left out,
// and a negative orientation.
struct ExifFields {
    ExifByteOrder order = EXIF_BYTE_ORDER_INTEL;
    int orientation = -1;
    ExifFormat orientationFormat = EXIF_FORMAT_SHORT;  // or LONG, or ASCII for the number as text
    std::string model = {}, dateTimeOriginal = {};
    unsigned pixelWidth = 0, pixelHeight = 0;
    bool pixelSizeAsShort = false;  // PixelXDimension and PixelYDimension as SHORT rather than LONG
    Bytes thumbnail = {};           // the embedded thumbnail's data, described by a second directory
};

inline void* ExifAlloc(size_t size) {
    ExifMem* mem = exif_mem_new_default();
    void* p = exif_mem_alloc(mem, static_cast<ExifLong>(size));
    exif_mem_unref(mem);
    return p;
}

inline void AddText(ExifData* data, ExifIfd ifd, ExifTag tag, const std::string& text) {
    ExifEntry* e = exif_entry_new();
    e->tag = tag;
    e->format = EXIF_FORMAT_ASCII;
    e->components = text.size() + 1;
    e->size = static_cast<unsigned>(text.size() + 1);
    e->data = static_cast<unsigned char*>(ExifAlloc(e->size));
    std::memcpy(e->data, text.c_str(), e->size);
    exif_content_add_entry(data->ifd[ifd], e);
    exif_entry_unref(e);
}

inline void AddNumber(ExifData* data, ExifIfd ifd, ExifTag tag, ExifFormat format, unsigned value,
                      ExifByteOrder order) {
    ExifEntry* e = exif_entry_new();
    e->tag = tag;
    e->format = format;
    e->components = 1;
    e->size = format == EXIF_FORMAT_SHORT ? 2 : 4;
    e->data = static_cast<unsigned char*>(ExifAlloc(e->size));
    if (format == EXIF_FORMAT_SHORT)
        exif_set_short(e->data, order, static_cast<ExifShort>(value));
    else
        exif_set_long(e->data, order, value);
    exif_content_add_entry(data->ifd[ifd], e);
    exif_entry_unref(e);
}

// An APP1 EXIF payload ("Exif\0\0" first) written by libexif.
inline Bytes MakeExif(const ExifFields& f) {
    ExifData* data = exif_data_new();
    exif_data_unset_option(data, EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
    exif_data_set_byte_order(data, f.order);
    if (f.orientation >= 0 && f.orientationFormat == EXIF_FORMAT_ASCII)
        AddText(data, EXIF_IFD_0, EXIF_TAG_ORIENTATION, std::to_string(f.orientation));
    else if (f.orientation >= 0)
        AddNumber(data, EXIF_IFD_0, EXIF_TAG_ORIENTATION, f.orientationFormat, f.orientation, f.order);
    if (!f.model.empty()) AddText(data, EXIF_IFD_0, EXIF_TAG_MODEL, f.model);
    if (!f.dateTimeOriginal.empty()) AddText(data, EXIF_IFD_EXIF, EXIF_TAG_DATE_TIME_ORIGINAL, f.dateTimeOriginal);
    const ExifFormat sizeFormat = f.pixelSizeAsShort ? EXIF_FORMAT_SHORT : EXIF_FORMAT_LONG;
    if (f.pixelWidth) AddNumber(data, EXIF_IFD_EXIF, EXIF_TAG_PIXEL_X_DIMENSION, sizeFormat, f.pixelWidth, f.order);
    if (f.pixelHeight) AddNumber(data, EXIF_IFD_EXIF, EXIF_TAG_PIXEL_Y_DIMENSION, sizeFormat, f.pixelHeight, f.order);
    if (!f.thumbnail.empty()) {
        AddNumber(data, EXIF_IFD_1, EXIF_TAG_COMPRESSION, EXIF_FORMAT_SHORT, 6, f.order);
        AddNumber(data, EXIF_IFD_1, EXIF_TAG_ORIENTATION, EXIF_FORMAT_SHORT, 1, f.order);
        data->data = static_cast<unsigned char*>(ExifAlloc(f.thumbnail.size()));
        std::memcpy(data->data, f.thumbnail.data(), f.thumbnail.size());
        data->size = static_cast<unsigned>(f.thumbnail.size());
    }
    unsigned char* saved = nullptr;
    unsigned int size = 0;
    exif_data_save_data(data, &saved, &size);
    Bytes payload(saved, saved + size);
    free(saved);
    exif_data_unref(data);
    return payload;
}

// Red, green, blue samples of a `w` x `h` picture whose quarters are the four
// colours (top-left, top-right, bottom-left, bottom-right).
inline Bytes Quarters(int w, int h, const std::array<Colour, 4>& colours) {
    Bytes rgb;
    for (int y = 0; y < h; y++) {
        for (int x = 0; x < w; x++) {
            const Colour& c = colours[(y < h / 2 ? 0 : 2) + (x < w / 2 ? 0 : 1)];
            rgb.insert(rgb.end(), {c[2], c[1], c[0]});
        }
    }
    return rgb;
}

// A colour JPEG of `rgb` (red first) at full quality without colour subsampling,
// so flat colours come back within a few levels, with `markers` after the JFIF
// header as a camera writes them.
inline void WriteJpeg(const std::string& path, int w, int h, const Bytes& rgb, const std::vector<Marker>& markers) {
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, f);
    cinfo.image_width = w;
    cinfo.image_height = h;
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 100, TRUE);
    cinfo.comp_info[0].h_samp_factor = cinfo.comp_info[0].v_samp_factor = 1;
    jpeg_start_compress(&cinfo, TRUE);
    for (const Marker& m : markers)
        jpeg_write_marker(&cinfo, m.code, m.payload.data(), static_cast<unsigned>(m.payload.size()));
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPLE*>(rgb.data() + cinfo.next_scanline * w * 3);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    fclose(f);
}

// The marker segments of a JPEG file between its start and its first scan.
inline std::vector<Marker> MarkersOf(const std::string& path) {
    const Bytes b = ReadBytes(path);
    std::vector<Marker> markers;
    size_t i = 2;
    while (i + 4 <= b.size() && b[i] == 0xFF && b[i + 1] != 0xDA) {
        const size_t length = b[i + 2] << 8 | b[i + 3];
        if (length < 2 || i + 2 + length > b.size()) break;
        markers.push_back({b[i + 1], Bytes(b.begin() + i + 4, b.begin() + i + 2 + length)});
        i += 2 + length;
    }
    return markers;
}

inline bool StartsWith(const Bytes& b, const char* id, size_t idBytes) {
    return b.size() >= idBytes && std::memcmp(b.data(), id, idBytes) == 0;
}

inline constexpr char kExifId[] = "Exif\0";  // sizeof: "Exif" and two zero bytes
inline constexpr char kXmpId[] = "http://ns.adobe.com/xap/1.0/";
inline constexpr char kExtendedXmpId[] = "http://ns.adobe.com/xmp/extension/";
inline constexpr char kIccId[] = "ICC_PROFILE";

// The APP1 EXIF payloads of a file.
inline std::vector<Bytes> ExifMarkersOf(const std::string& path) {
    std::vector<Bytes> found;
    for (const Marker& m : MarkersOf(path))
        if (m.code == 0xE1 && StartsWith(m.payload, kExifId, sizeof kExifId)) found.push_back(m.payload);
    return found;
}

// A saved EXIF payload as libexif reads it, entries as they are (not brought
// into line with the standard).
inline ExifData* ReadExif(const Bytes& payload) {
    ExifData* data = exif_data_new();
    exif_data_unset_option(data, EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
    exif_data_load_data(data, payload.data(), static_cast<unsigned>(payload.size()));
    return data;
}

inline std::string TextEntry(ExifData* data, ExifIfd ifd, ExifTag tag) {
    ExifEntry* e = exif_content_get_entry(data->ifd[ifd], tag);
    if (!e || !e->data) return "<missing>";
    return std::string(reinterpret_cast<const char*>(e->data),
                       strnlen(reinterpret_cast<const char*>(e->data), e->size));
}

// The entry's value and its format; {-1, 0} when missing.
inline std::pair<long, ExifFormat> NumberEntry(ExifData* data, ExifIfd ifd, ExifTag tag) {
    ExifEntry* e = exif_content_get_entry(data->ifd[ifd], tag);
    if (!e || !e->data) return {-1, static_cast<ExifFormat>(0)};
    const ExifByteOrder order = exif_data_get_byte_order(data);
    long v = e->format == EXIF_FORMAT_SHORT ? exif_get_short(e->data, order) : exif_get_long(e->data, order);
    return {v, e->format};
}

// Where stored pixel (x, y) of a `w` x `h` picture shows in the upright picture.
inline std::pair<int, int> UprightPlace(int orientation, int x, int y, int w, int h) {
    switch (orientation) {
        case 2:
            return {w - 1 - x, y};
        case 3:
            return {w - 1 - x, h - 1 - y};
        case 4:
            return {x, h - 1 - y};
        case 5:
            return {y, x};
        case 6:
            return {h - 1 - y, x};
        case 7:
            return {h - 1 - y, w - 1 - x};
        case 8:
            return {y, w - 1 - x};
        default:
            return {x, y};
    }
}

}  // namespace imaging_test
