#include "imaging/PathText.h"

#include <cstdint>

namespace {

const uint32_t kReplacement = 0xFFFD;

// Reads one code point from `text` at `*pos` and advances past it. A wchar_t that
// holds a UTF-16 surrogate pair half is joined with its partner when one follows;
// lone halves and values beyond U+10FFFF are replaced.
uint32_t NextCodePoint(const wchar_t* text, size_t* pos) {
    uint32_t c = static_cast<uint32_t>(text[*pos]);
    (*pos)++;
    if (c >= 0xD800 && c <= 0xDBFF) {
        uint32_t low = static_cast<uint32_t>(text[*pos]);
        if (low >= 0xDC00 && low <= 0xDFFF) {
            (*pos)++;
            return 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        }
        return kReplacement;
    }
    if ((c >= 0xDC00 && c <= 0xDFFF) || c > 0x10FFFF) return kReplacement;
    return c;
}

// Encodes `c` into `bytes` (at least 4), returning the byte count.
size_t EncodeUtf8(uint32_t c, unsigned char* bytes) {
    if (c < 0x80) {
        bytes[0] = static_cast<unsigned char>(c);
        return 1;
    }
    if (c < 0x800) {
        bytes[0] = static_cast<unsigned char>(0xC0 | (c >> 6));
        bytes[1] = static_cast<unsigned char>(0x80 | (c & 0x3F));
        return 2;
    }
    if (c < 0x10000) {
        bytes[0] = static_cast<unsigned char>(0xE0 | (c >> 12));
        bytes[1] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
        bytes[2] = static_cast<unsigned char>(0x80 | (c & 0x3F));
        return 3;
    }
    bytes[0] = static_cast<unsigned char>(0xF0 | (c >> 18));
    bytes[1] = static_cast<unsigned char>(0x80 | ((c >> 12) & 0x3F));
    bytes[2] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
    bytes[3] = static_cast<unsigned char>(0x80 | (c & 0x3F));
    return 4;
}

// Converts characters while they fit into `capacity` bytes; sets *complete when
// the whole text was converted.
size_t Convert(const wchar_t* text, char* out, size_t capacity, bool* complete) {
    size_t written = 0;
    size_t pos = 0;
    *complete = true;
    if (!text) return 0;
    while (text[pos] != 0) {
        unsigned char bytes[4];
        size_t n = EncodeUtf8(NextCodePoint(text, &pos), bytes);
        if (n > capacity - written) {
            *complete = false;
            break;
        }
        for (size_t i = 0; i < n; i++) out[written++] = static_cast<char>(bytes[i]);
    }
    return written;
}

}  // namespace

bool WideToUtf8Path(const wchar_t* text, char* out, size_t outSize) {
    if (!out || outSize == 0) return false;
    bool complete = false;
    size_t n = Convert(text, out, outSize - 1, &complete);
    if (!complete) {
        out[0] = 0;
        return false;
    }
    out[n] = 0;
    return true;
}

size_t WideToUtf8Prefix(const wchar_t* text, char* out, size_t capacity) {
    if (!out) return 0;
    bool complete = false;
    return Convert(text, out, capacity, &complete);
}
