// Conversions between wide text and the system code page, which is UTF-8 here,
// so that file names reach the C library unchanged.
#include <algorithm>
#include <cstring>
#include <cwchar>

#include "platform/WindowManager.h"
#include "platform/win32.h"

namespace {

// Encodes one code point; returns the byte count (0 for an invalid point).
int EncodeUtf8(uint32_t cp, char out[4]) {
    if (cp < 0x80) {
        out[0] = (char)cp;
        return 1;
    }
    if (cp < 0x800) {
        out[0] = (char)(0xC0 | (cp >> 6));
        out[1] = (char)(0x80 | (cp & 0x3F));
        return 2;
    }
    if (cp >= 0xD800 && cp <= 0xDFFF) return 0;
    if (cp < 0x10000) {
        out[0] = (char)(0xE0 | (cp >> 12));
        out[1] = (char)(0x80 | ((cp >> 6) & 0x3F));
        out[2] = (char)(0x80 | (cp & 0x3F));
        return 3;
    }
    if (cp <= 0x10FFFF) {
        out[0] = (char)(0xF0 | (cp >> 18));
        out[1] = (char)(0x80 | ((cp >> 12) & 0x3F));
        out[2] = (char)(0x80 | ((cp >> 6) & 0x3F));
        out[3] = (char)(0x80 | (cp & 0x3F));
        return 4;
    }
    return 0;
}

}  // namespace

int WideCharToMultiByte(UINT, DWORD, LPCWSTR src, int srcLen, char* dst, int dstLen, const char*, BOOL* usedDef) {
    if (!src) return 0;
    if (usedDef) *usedDef = FALSE;
    bool withNul = srcLen < 0;
    if (srcLen < 0) srcLen = (int)wcslen(src);
    int total = 0;
    for (int i = 0; i <= srcLen; i++) {
        if (i == srcLen && !withNul) break;
        char buf[4];
        int n = i == srcLen ? (buf[0] = 0, 1) : EncodeUtf8((uint32_t)src[i], buf);
        if (n == 0) {
            buf[0] = '?';
            n = 1;
            if (usedDef) *usedDef = TRUE;
        }
        if (dstLen > 0) {
            // A character that does not fit whole is not written at all.
            if (total + n > dstLen) return total;
            memcpy(dst + total, buf, n);
        }
        total += n;
    }
    return total;
}

int MultiByteToWideChar(UINT, DWORD, const char* src, int srcLen, LPWSTR dst, int dstLen) {
    if (!src) return 0;
    bool withNul = srcLen < 0;
    if (srcLen < 0) srcLen = (int)strlen(src);
    int total = 0;
    int i = 0;
    auto emit = [&](wchar_t c) {
        if (dstLen > 0) {
            if (total >= dstLen) return false;
            dst[total] = c;
        }
        total++;
        return true;
    };
    while (i < srcLen) {
        unsigned char c = (unsigned char)src[i];
        uint32_t cp;
        int len;
        if (c < 0x80) {
            cp = c;
            len = 1;
        } else if ((c & 0xE0) == 0xC0) {
            cp = c & 0x1F;
            len = 2;
        } else if ((c & 0xF0) == 0xE0) {
            cp = c & 0x0F;
            len = 3;
        } else if ((c & 0xF8) == 0xF0) {
            cp = c & 0x07;
            len = 4;
        } else {
            cp = 0xFFFD;
            len = 1;
        }
        if (i + len > srcLen) {
            cp = 0xFFFD;
            len = srcLen - i;
        } else {
            for (int k = 1; k < len; k++) {
                unsigned char cc = (unsigned char)src[i + k];
                if ((cc & 0xC0) != 0x80) {
                    cp = 0xFFFD;
                    len = k;
                    break;
                }
                cp = (cp << 6) | (cc & 0x3F);
            }
        }
        if (!emit((wchar_t)cp)) return total;
        i += len;
    }
    if (withNul) emit(0);
    return total;
}

bool WidePathToNative(LPCWSTR path, char* out, size_t outSize) {
    if (!path || !out || outSize == 0) return false;
    int need = WideCharToMultiByte(CP_ACP, 0, path, -1, nullptr, 0, nullptr, nullptr);
    if (need <= 0 || (size_t)need > outSize) return false;
    WideCharToMultiByte(CP_ACP, 0, path, -1, out, (int)outSize, nullptr, nullptr);
    return true;
}

std::wstring platform::Widen(const std::string& s) {
    if (s.empty()) return {};
    int n = MultiByteToWideChar(CP_ACP, 0, s.data(), (int)s.size(), nullptr, 0);
    std::wstring out((size_t)std::max(n, 0), L'\0');
    if (n > 0) MultiByteToWideChar(CP_ACP, 0, s.data(), (int)s.size(), out.data(), n);
    return out;
}

std::string platform::Narrow(const std::wstring& s) {
    if (s.empty()) return {};
    int n = WideCharToMultiByte(CP_ACP, 0, s.data(), (int)s.size(), nullptr, 0, nullptr, nullptr);
    std::string out((size_t)std::max(n, 0), '\0');
    if (n > 0) WideCharToMultiByte(CP_ACP, 0, s.data(), (int)s.size(), out.data(), n, nullptr, nullptr);
    return out;
}
