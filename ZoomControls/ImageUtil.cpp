// The toolkit's imaging module: the RGB 565 back buffer of the owner window,
// reference-counted PNG images decoded through the imaging service and cached
// at the size they were last drawn at, and table-driven alpha compositing of
// those images into the back buffer at the module-wide opacity.
#include "ZoomControls/ImageUtil.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "ZoomControls/Diagnostics.h"

namespace {

constexpr const char* kSource = ".\\ZoomControls\\ImageUtil";

IImagingFactory* s_pImgFactory = nullptr;
uint16_t* s_pRowBack = nullptr;  // the DIB section's bits, bottom row first
RECT s_rcBack = {0, 0, 0, 0};    // the owner's client rectangle when the buffer was made
HWND s_hBackWnd = nullptr;
HBITMAP s_hBackBitmap = nullptr;
HBITMAP s_hPrevBitmap = nullptr;
int s_liveImages = 0;
std::vector<CachedImage*>* s_pImageList = nullptr;  // every live image, in creation order
int s_globalAlpha = 255;
uint32_t s_alphaTable[256][256];  // [a][v] = floor(a * v / 255)
HINSTANCE s_hResInst = nullptr;

// Holds the system-wide mutex "ImageDBWrite" that guards the image registry
// and the live count.
class RegistryLock {
public:
    RegistryLock() : mutex_(CreateMutex(nullptr, FALSE, L"ImageDBWrite")) {
        if (mutex_) WaitForSingleObject(mutex_, INFINITE);
    }
    ~RegistryLock() {
        if (!mutex_) return;
        ReleaseMutex(mutex_);
        CloseHandle(mutex_);
    }
    RegistryLock(const RegistryLock&) = delete;
    RegistryLock& operator=(const RegistryLock&) = delete;

private:
    HANDLE mutex_;
};

// The factory stays up for the life of the process once made; it is given back
// when the process ends.
struct ImagingServiceEnd {
    ~ImagingServiceEnd() {
        if (!s_pImgFactory) return;
        s_pImgFactory->Release();
        s_pImgFactory = nullptr;
        CoUninitialize();
    }
} s_imagingServiceEnd;

void StartImagingService() {
    if (s_pImgFactory) return;
    HRESULT hr = CoInitializeEx(nullptr, 0);
    if (FAILED(hr)) {
        LogCHR("hr", kSource, 74, hr);
        ReportError(hr);
        return;
    }
    hr = CoCreateInstance(CLSID_ImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IImagingFactory,
                          reinterpret_cast<void**>(&s_pImgFactory));
    if (FAILED(hr)) {
        s_pImgFactory = nullptr;
        LogCHR("hr", kSource, 77, hr);
        ReportError(hr);
        return;
    }
    for (uint32_t a = 0; a < 256; a++)
        for (uint32_t v = 0; v < 256; v++) s_alphaTable[a][v] = a * v / 255;
}

void FreeCache(CachedImage* image) {
    delete[] static_cast<uint8_t*>(image->cache.Scan0);
    image->cache = BitmapData{};
}

// Rows of a 16-bit DIB are padded to a multiple of 4 bytes.
inline size_t BackStride(int width) {
    return ((size_t)width * 2 + 3) & ~(size_t)3;
}

inline uint32_t Pack565(uint32_t b, uint32_t g, uint32_t r) {
    return ((b >> 3) | ((g & 0xFC) << 3) | ((r & 0xF8) << 8)) & 0xFFFF;
}

// One row at full opacity: opaque pixels are copied, transparent ones skipped,
// the rest mixed as d - T[A][d] + T[A][s] per channel.
void BlendRowOpaque(const uint8_t* s, uint16_t* d, int count) {
    for (int i = 0; i < count; i++, s += 4, d++) {
        uint32_t a = s[3];
        if (a == 0) continue;
        if (a == 255) {
            *d = (uint16_t)Pack565(s[0], s[1], s[2]);
            continue;
        }
        const uint32_t* t = s_alphaTable[a];
        uint32_t v = *d;
        uint32_t db = (v & 0x1F) << 3, dg = ((v >> 5) & 0x3F) << 2, dr = (v >> 11) << 3;
        *d = (uint16_t)Pack565(db - t[db] + t[s[0]], dg - t[dg] + t[s[1]], dr - t[dr] + t[s[2]]);
    }
}

// One row at opacity g below 255: the pixel's alpha and its colour are both
// weighted by g first (tg), so a fading image also darkens.
void BlendRowFaded(const uint8_t* s, uint16_t* d, int count, const uint32_t* tg) {
    for (int i = 0; i < count; i++, s += 4, d++) {
        uint32_t a = tg[s[3]];
        if (a == 0) continue;
        const uint32_t* t = s_alphaTable[a];
        uint32_t v = *d;
        uint32_t db = (v & 0x1F) << 3, dg = ((v >> 5) & 0x3F) << 2, dr = (v >> 11) << 3;
        *d = (uint16_t)Pack565(db - t[db] + t[tg[s[0]]], dg - t[dg] + t[tg[s[1]]], dr - t[dr] + t[tg[s[2]]]);
    }
}

}  // namespace

// ---------------------------------------------------------------------------
// Images and references

CachedImage::CachedImage() : refCount(0), width(123), height(123), resourceId(0), cacheFormat(0), cache{} {
    RegistryLock lock;
    StartImagingService();
    s_liveImages++;
    if (!s_pImageList) s_pImageList = new std::vector<CachedImage*>;
    s_pImageList->push_back(this);
}

CachedImage::~CachedImage() {
    RegistryLock lock;
    FreeCache(this);
    if (s_pImageList) {
        auto it = std::find(s_pImageList->begin(), s_pImageList->end(), this);
        if (it != s_pImageList->end()) s_pImageList->erase(it);
        if (s_pImageList->empty()) {
            delete s_pImageList;
            s_pImageList = nullptr;
        }
    }
    s_liveImages--;
}

void CachedImage::AddRef() {
    refCount++;
}

void CachedImage::Release() {
    if (--refCount <= 0) delete this;
}

ImageRef::ImageRef() : image_(new CachedImage) {
    image_->AddRef();
}

ImageRef::ImageRef(const ImageRef& other) : image_(other.image_) {
    image_->AddRef();
}

ImageRef& ImageRef::operator=(const ImageRef& other) {
    if (other.image_ != image_) {
        other.image_->AddRef();
        image_->Release();
        image_ = other.image_;
    }
    return *this;
}

ImageRef::~ImageRef() {
    image_->Release();
}

// ---------------------------------------------------------------------------
// Loading and decoding

HRESULT LoadResourceImage(ImageRef& ref, HINSTANCE hInst, int id, IImage** out) {
    CachedImage* value = ref.get();
    HRESULT hr = E_FAIL;
    IImage* pImage = nullptr;
    value->resourceId = id;
    if (out) *out = nullptr;
    do {
        if (!hInst) {
            LogCPR("hInst", kSource, 164);
            break;
        }
        if (!s_pImgFactory) {
            LogCPR("s_pImgFactory", kSource, 165);
            break;
        }
        // Integer resource names are 16-bit: a wider id names no resource rather
        // than whichever one its low word happens to match.
        HRSRC hRsrc = id > 0 && id <= 0xFFFF ? FindResource(hInst, MAKEINTRESOURCE(id), L"IMAGE") : nullptr;
        if (!hRsrc) {
            LogCPR("hRsrc", kSource, 168);
            break;
        }
        HGLOBAL hRes = LoadResource(hInst, hRsrc);
        if (!hRes) {
            LogCPR("hRes", kSource, 171);
            break;
        }
        DWORD size = SizeofResource(hInst, hRsrc);
        const void* bytes = LockResource(hRes);
        if (out) {
            hr = s_pImgFactory->CreateImageFromBuffer(bytes, size, BufferDisposalFlagNone, out);
            if (FAILED(hr)) LogCHR("hr", kSource, 181, hr);
            break;
        }
        hr = s_pImgFactory->CreateImageFromBuffer(bytes, size, BufferDisposalFlagNone, &pImage);
        if (FAILED(hr)) {
            LogCHR("hr", kSource, 186, hr);
            break;
        }
        ImageInfo info{};
        hr = pImage->GetImageInfo(&info);
        if (FAILED(hr)) {
            LogCHR("hr", kSource, 189, hr);
            break;
        }
        value->width = (int)info.Width;
        value->height = (int)info.Height;
    } while (false);
    ReleaseObject(pImage, "pImage", kSource, 197);
    if (FAILED(hr)) {
        LogResourceId(id);
        ReportError(hr);
    }
    return hr;
}

HRESULT DecodeToCache(ImageRef& ref, IImage* image, int w, int h, PixelFormatID format) {
    CachedImage* value = ref.get();
    HRESULT hr = E_FAIL;
    IBitmapImage* pBitmap = nullptr;
    FreeCache(value);
    if (w > 0 && h > 0) {
        value->width = w;
        value->height = h;
    }
    do {
        if (!s_pImgFactory) {
            LogCPR("s_pImgFactory", kSource, 453);
            break;
        }
        value->cacheFormat = format;
        if (!image) {
            LogCPR("pImg", kSource, 460);
            break;
        }
        hr = s_pImgFactory->CreateBitmapFromImage(image, (UINT)value->width, (UINT)value->height, format,
                                                  InterpolationHintBilinear, &pBitmap);
        if (FAILED(hr)) {
            LogCHR("hr", kSource, 463, hr);
            break;
        }
        RECT whole = {0, 0, value->width, value->height};
        BitmapData data{};
        hr = pBitmap->LockBits(&whole, ImageLockModeRead, format, &data);
        if (FAILED(hr)) {
            LogCHR("hr", kSource, 473, hr);
            break;
        }
        // The cache is a private copy: the service's bitmap lives only during
        // this call. Rows must run top to bottom with room for every pixel.
        size_t bytes = data.Scan0 && data.Stride > 0 ? (size_t)data.Stride * data.Height : 0;
        uint8_t* copy = bytes ? new (std::nothrow) uint8_t[bytes] : nullptr;
        if (copy) {
            memcpy(copy, data.Scan0, bytes);
            value->cache = data;
            value->cache.Scan0 = copy;
            value->cache.Reserved = 0;
        } else {
            hr = bytes ? E_OUTOFMEMORY : E_FAIL;
        }
        HRESULT unlocked = pBitmap->UnlockBits(&data);
        if (FAILED(unlocked)) {
            hr = unlocked;
            LogCHR("hr", kSource, 483, hr);
        }
    } while (false);
    ReleaseObject(pBitmap, "pBitmap", kSource, 486);
    if (FAILED(hr)) {
        // A failed decode leaves the image empty, so the next draw tries again.
        FreeCache(value);
        LogResourceId(value->resourceId);
        ReportError(hr);
    }
    return hr;
}

// ---------------------------------------------------------------------------
// Drawing

// Every image of the toolkit carries alpha, so every draw composites through
// AlphaBlendImage; the alpha-blend and variant flags select nothing else here.
HRESULT DrawImage(ImageRef& ref, HDC hdc, const RECT* dst, const RECT* src, int, int, int) {
    CachedImage* value = ref.get();
    if (value->resourceId == 0) return S_OK;
    if (!dst) return E_POINTER;
    // The size to decode at: the destination's, or the image's own when the
    // destination is empty. Sizes beyond the int range are refused by the
    // imaging service like any other oversized request.
    int64_t w64 = (int64_t)dst->right - dst->left, h64 = (int64_t)dst->bottom - dst->top;
    int w = (int)std::clamp<int64_t>(w64, 0, INT32_MAX), h = (int)std::clamp<int64_t>(h64, 0, INT32_MAX);
    bool ownSize = w <= 0 || h <= 0;
    HRESULT hr = S_OK;
    bool cached = value->cache.Scan0 && value->cacheFormat == PixelFormat32bppARGB &&
                  (ownSize || (value->width == w && value->height == h));
    if (!cached) {
        IImage* pImg = nullptr;
        hr = LoadResourceImage(ref, s_hResInst, value->resourceId, &pImg);
        HRESULT decoded = DecodeToCache(ref, pImg, w, h, PixelFormat32bppARGB);
        if (SUCCEEDED(hr)) hr = decoded;
        ReleaseObject(pImg, "pImg", kSource, 582);
    }
    AlphaBlendImage(ref, hdc, dst, src);
    return hr;
}

void AlphaBlendImage(ImageRef& ref, HDC hdc, const RECT* dst, const RECT* src) {
    const CachedImage* value = ref.get();
    const BitmapData& bits = value->cache;
    if (!bits.Scan0) {
        LogCPR("value->m_bitmapData.Scan0", kSource, 621);
        return;
    }
    if (!s_pRowBack) {
        LogCPR("s_pRowBack", kSource, 622);
        return;
    }
    if (!dst || bits.PixelFormat != PixelFormat32bppARGB || bits.Stride < (LONG)bits.Width * 4) return;
    if (s_globalAlpha <= 0) return;  // at opacity 0 every pixel stays as it was

    // The part of the image to draw, in image pixels, cut to what the cache
    // holds; a part reaching left of or above the image moves the destination
    // by as much, so every pixel still lands where the whole part would put it.
    // 64-bit arithmetic keeps extreme rectangles from overflowing.
    int64_t imageW = std::min<int64_t>(value->width, bits.Width);
    int64_t imageH = std::min<int64_t>(value->height, bits.Height);
    int64_t sl = 0, st = 0, sr = imageW, sb = imageH;
    if (src) {
        sl = src->left;
        st = src->top;
        sr = src->right;
        sb = src->bottom;
    }
    int64_t x = dst->left, y = dst->top;
    if (sl < 0) {
        x -= sl;
        sl = 0;
    }
    if (st < 0) {
        y -= st;
        st = 0;
    }
    sr = std::min(sr, imageW);
    sb = std::min(sb, imageH);
    int64_t w = sr - sl, h = sb - st;
    if (w <= 0 || h <= 0) return;

    // The clip box, kept inside the back buffer whatever DC it comes from.
    RECT clipBox;
    if (GetClipBox(hdc, &clipBox) == 0) return;
    int64_t bufW = (int64_t)s_rcBack.right - s_rcBack.left, bufH = (int64_t)s_rcBack.bottom - s_rcBack.top;
    int64_t l = std::max<int64_t>(clipBox.left, 0), t = std::max<int64_t>(clipBox.top, 0);
    int64_t r = std::min<int64_t>(clipBox.right, bufW), b = std::min<int64_t>(clipBox.bottom, bufH);
    if (r <= l || b <= t) return;

    // An image starting on the clip's last column or row is left out.
    if (x >= r - 1 || y >= b - 1 || x + w <= l || y + h <= t) return;
    int64_t x0 = std::max(x, l), y0 = std::max(y, t);
    int columns = (int)(std::min(x + w - 1, r - 1) - x0 + 1);
    int rows = (int)(std::min(y + h - 1, b - 1) - y0 + 1);
    if (columns <= 0 || rows <= 0) return;

    const uint8_t* srcStart = static_cast<const uint8_t*>(bits.Scan0) + (size_t)(sl + x0 - x) * 4;
    size_t srcTop = (size_t)(st + y0 - y);
    // Bottom-up DIB: client row y0 is buffer row bufH - 1 - y0, and each
    // following image row lies one buffer row up.
    size_t stride = BackStride((int)bufW);
    size_t dstTop = (size_t)(bufH - 1 - y0);
    uint8_t* dstStart = reinterpret_cast<uint8_t*>(s_pRowBack) + (size_t)x0 * 2;
    const uint32_t* tg = s_alphaTable[s_globalAlpha];
    for (int row = 0; row < rows; row++) {
        const uint8_t* s = srcStart + (srcTop + row) * (size_t)bits.Stride;
        uint16_t* d = reinterpret_cast<uint16_t*>(dstStart + (dstTop - row) * stride);
        if (s_globalAlpha >= 255)
            BlendRowOpaque(s, d, columns);
        else
            BlendRowFaded(s, d, columns, tg);
    }
}

// ---------------------------------------------------------------------------
// The back buffer

HDC CreateBackBuffer(HWND hwnd, HDC hdc) {
    if (!hwnd) {
        LogCPR("hWnd", kSource, 2125);
        return nullptr;
    }
    if (!hdc) {
        LogCPR("hdc", kSource, 2126);
        return nullptr;
    }
    s_hBackWnd = hwnd;
    HDC memDC = CreateCompatibleDC(hdc);
    if (!memDC) {
        ReportError((HRESULT)GetLastError());
        return nullptr;
    }
    s_rcBack = RECT{0, 0, 0, 0};
    GetClientRect(hwnd, &s_rcBack);

    BITMAPINFO bmi{};
    bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bmi.bmiHeader.biWidth = s_rcBack.right;
    bmi.bmiHeader.biHeight = s_rcBack.bottom;  // positive: bottom-up
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = 16;
    bmi.bmiHeader.biCompression = BI_BITFIELDS;
    bmi.bmiHeader.biSizeImage =
        s_rcBack.right > 0 && s_rcBack.bottom > 0 ? (DWORD)(BackStride(s_rcBack.right) * (size_t)s_rcBack.bottom) : 0;
    bmi.bmiColors[0] = 0xF800;
    bmi.bmiColors[1] = 0x07E0;
    bmi.bmiColors[2] = 0x001F;
    void* bits = nullptr;
    s_hBackBitmap = CreateDIBSection(memDC, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
    s_pRowBack = static_cast<uint16_t*>(bits);
    if (!s_hBackBitmap) {
        LogCPR("s_hBackBitmap", kSource, 2168);
    } else if (!s_pRowBack) {
        LogCPR("s_pRowBack", kSource, 2169);
    } else {
        s_hPrevBitmap = SelectObject(memDC, s_hBackBitmap);
    }
    if (!s_hBackBitmap) ReportError((HRESULT)GetLastError());
    return memDC;
}

void ReleaseBackBuffer(HDC memDC) {
    if (!memDC) {
        LogCPR("hMemDC", kSource, 2186);
        return;
    }
    if (s_hPrevBitmap) SelectObject(memDC, s_hPrevBitmap);
    DeleteDC(memDC);
    if (s_hBackBitmap) DeleteObject(s_hBackBitmap);
    s_hPrevBitmap = nullptr;
    s_hBackBitmap = nullptr;
    s_pRowBack = nullptr;
}

// ---------------------------------------------------------------------------
// Module settings

void SetGlobalAlpha(int alpha) {
    s_globalAlpha = alpha < 0 ? 0 : alpha > 255 ? 255 : alpha;
}

int GetGlobalAlpha() {
    return s_globalAlpha;
}

void SetResourceInstance(HINSTANCE instance) {
    s_hResInst = instance;
}

HINSTANCE GetResourceInstance() {
    return s_hResInst;
}

uint32_t AlphaTableEntry(int a, int v) {
    if (a < 0 || a > 255 || v < 0 || v > 255) return 0;
    return s_alphaTable[a][v];
}

int LiveImageCount() {
    return s_liveImages;
}
