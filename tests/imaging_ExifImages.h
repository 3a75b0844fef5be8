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

// A copy of `value` in memory libexif frees.
inline unsigned char* ExifCopy(const Bytes& value) {
    ExifMem* mem = exif_mem_new_default();
    void* p = exif_mem_alloc(mem, static_cast<ExifLong>(value.size()));
    exif_mem_unref(mem);
    return static_cast<unsigned char*>(std::memcpy(p, value.data(), value.size()));
}

// Adds an entry of `format`: `text` for ASCII, else `number` as one SHORT or
// LONG in the block's byte order.
inline void Add(ExifData* data, ExifIfd ifd, ExifTag tag, ExifFormat format, unsigned number, const std::string& text) {
    Bytes value(text.c_str(), text.c_str() + text.size() + 1);
    if (format != EXIF_FORMAT_ASCII) value.assign(format == EXIF_FORMAT_SHORT ? 2 : 4, 0);
    if (format == EXIF_FORMAT_SHORT) exif_set_short(value.data(), exif_data_get_byte_order(data), number);
    if (format == EXIF_FORMAT_LONG) exif_set_long(value.data(), exif_data_get_byte_order(data), number);
    ExifEntry* e = exif_entry_new();
    e->tag = tag, e->format = format, e->components = format == EXIF_FORMAT_ASCII ? value.size() : 1;
    e->size = static_cast<unsigned>(value.size()), e->data = ExifCopy(value);
    exif_content_add_entry(data->ifd[ifd], e);
    exif_entry_unref(e);
}

// An APP1 EXIF payload ("Exif\0\0" first) written by libexif.
inline Bytes MakeExif(const ExifFields& f) {
    ExifData* data = exif_data_new();
    exif_data_unset_option(data, EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
    exif_data_set_byte_order(data, f.order);
    if (f.orientation >= 0)
        Add(data, EXIF_IFD_0, EXIF_TAG_ORIENTATION, f.orientationFormat, f.orientation, std::to_string(f.orientation));
    if (!f.model.empty()) Add(data, EXIF_IFD_0, EXIF_TAG_MODEL, EXIF_FORMAT_ASCII, 0, f.model);
    if (!f.dateTimeOriginal.empty())
        Add(data, EXIF_IFD_EXIF, EXIF_TAG_DATE_TIME_ORIGINAL, EXIF_FORMAT_ASCII, 0, f.dateTimeOriginal);
    const ExifFormat sizeFormat = f.pixelSizeAsShort ? EXIF_FORMAT_SHORT : EXIF_FORMAT_LONG;
    if (f.pixelWidth) Add(data, EXIF_IFD_EXIF, EXIF_TAG_PIXEL_X_DIMENSION, sizeFormat, f.pixelWidth, {});
    if (f.pixelHeight) Add(data, EXIF_IFD_EXIF, EXIF_TAG_PIXEL_Y_DIMENSION, sizeFormat, f.pixelHeight, {});
    if (!f.thumbnail.empty()) {
        Add(data, EXIF_IFD_1, EXIF_TAG_COMPRESSION, EXIF_FORMAT_SHORT, 6, {});
        Add(data, EXIF_IFD_1, EXIF_TAG_ORIENTATION, EXIF_FORMAT_SHORT, 1, {});
        data->data = ExifCopy(f.thumbnail), data->size = static_cast<unsigned>(f.thumbnail.size());
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
    for (int i = 0; i < w * h; i++) {
        const Colour& c = colours[(i / w < h / 2 ? 0 : 2) + (i % w < w / 2 ? 0 : 1)];
        rgb.insert(rgb.end(), {c[2], c[1], c[0]});
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
    cinfo.image_width = w, cinfo.image_height = h, cinfo.input_components = 3, cinfo.in_color_space = JCS_RGB;
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

// Where stored pixel (x, y) of a `w` x `h` picture shows in the upright picture
// (an orientation other than 1 to 8 leaves it in place).
inline std::pair<int, int> UprightPlace(int orientation, int x, int y, int w, int h) {
    const int mx = w - 1 - x, my = h - 1 - y;  // mirrored
    const std::pair<int, int> places[9] = {{x, y}, {x, y},  {mx, y},  {mx, my}, {x, my},
                                           {y, x}, {my, x}, {my, mx}, {y, mx}};
    return places[orientation >= 1 && orientation <= 8 ? orientation : 1];
}

}  // namespace imaging_test
