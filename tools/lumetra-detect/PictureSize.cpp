#include "tools/lumetra-detect/PictureSize.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<FILE, FileCloser>;

bool ReadBytes(FILE* f, unsigned char* out, size_t n) {
    return std::fread(out, 1, n, f) == n;
}

int BigEndian16(const unsigned char* p) {
    return (p[0] << 8) | p[1];
}

int32_t LittleEndian32(const unsigned char* p) {
    return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                                (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24));
}

// Start-of-frame markers C0 to CF, except DHT (C4), JPG (C8) and DAC (CC).
bool IsFrameMarker(int m) {
    return m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC;
}

// Walks the marker segments up to the first frame header.
bool ReadJpegSize(FILE* f, int* width, int* height) {
    for (;;) {
        int c = std::fgetc(f);
        if (c == EOF) return false;
        if (c != 0xFF) continue;  // tolerate junk between segments
        int marker;
        do marker = std::fgetc(f);
        while (marker == 0xFF);
        if (marker == EOF) return false;
        // Markers without a length field.
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8) || marker == 0x00) continue;
        if (marker == 0xD9 || marker == 0xDA) return false;  // end of image or scan data before any frame
        unsigned char lengthBytes[2];
        if (!ReadBytes(f, lengthBytes, 2)) return false;
        const int length = BigEndian16(lengthBytes);
        if (length < 2) return false;
        if (IsFrameMarker(marker)) {
            unsigned char frame[5];  // precision, height, width
            if (length < 7 || !ReadBytes(f, frame, 5)) return false;
            *height = BigEndian16(frame + 1);
            *width = BigEndian16(frame + 3);
            return *width > 0 && *height > 0;
        }
        if (std::fseek(f, length - 2, SEEK_CUR) != 0) return false;
    }
}

}  // namespace

bool ReadPictureSize(const std::string& path, int* width, int* height) {
    File f(std::fopen(path.c_str(), "rb"));
    if (!f) return false;
    unsigned char head[26];
    if (!ReadBytes(f.get(), head, 2)) return false;
    if (head[0] == 0xFF && head[1] == 0xD8) return ReadJpegSize(f.get(), width, height);
    if (head[0] == 'B' && head[1] == 'M') {
        if (!ReadBytes(f.get(), head + 2, 24)) return false;
        const int32_t w = LittleEndian32(head + 18);
        const int32_t h = LittleEndian32(head + 22);
        if (w <= 0 || h == 0 || h == INT32_MIN) return false;
        *width = w;
        *height = std::abs(h);
        return true;
    }
    return false;
}
