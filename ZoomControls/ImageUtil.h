// The toolkit's imaging: a 16-bit (RGB 565) back buffer for the owner window,
// reference-counted PNG images decoded through the platform's imaging service
// and cached at the size they were last drawn at, and table-driven alpha
// blending into the back buffer with a module-wide opacity.
#pragma once

#include <cstdint>

#include "platform/win32.h"

// One image: where its pixels come from (an IMAGE resource) and a private copy
// of them decoded at the size it was last drawn at. Deletes itself when the last
// reference is dropped; every live image is listed in a registry guarded by the
// named mutex "ImageDBWrite".
class CachedImage {
public:
    CachedImage();
    virtual ~CachedImage();

    void AddRef();
    void Release();

    int refCount;
    int width, height;  // as last decoded, or as the imaging service reported
    int resourceId;
    PixelFormatID cacheFormat;
    BitmapData cache;  // Scan0 owned by the image

    CachedImage(const CachedImage&) = delete;
    CachedImage& operator=(const CachedImage&) = delete;
};

// An owning handle holding one reference to a CachedImage. Default
// construction creates a new image; copies share it.
class ImageRef {
public:
    ImageRef();
    ImageRef(const ImageRef& other);
    ImageRef& operator=(const ImageRef& other);
    ~ImageRef();

    CachedImage* get() const { return image_; }
    CachedImage* operator->() const { return image_; }

private:
    CachedImage* image_;
};

// Reads the IMAGE resource `id` of `hInst`. With `out`, the decoded image goes to
// the caller (who releases it); without, the image's own width and height are
// recorded. Records `id` in every case. Failures are written to the diagnostic
// buffer.
HRESULT LoadResourceImage(ImageRef& ref, HINSTANCE hInst, int id, IImage** out = nullptr);

// Decodes `image` into the reference's cache at w x h (its recorded size when
// either is not positive) in `format`.
HRESULT DecodeToCache(ImageRef& ref, IImage* image, int w, int h, PixelFormatID format);

// Draws the image into `dst` of the back buffer selected in `hdc` (the part
// `src` of it when given). With `alphaBlend` the image is decoded (again) as
// 32-bit ARGB at the destination's size unless its cache already holds that,
// and blended with AlphaBlendImage. The two variant flags select drawing modes
// this program does not use. Draws nothing for an image without a resource.
HRESULT DrawImage(ImageRef& ref, HDC hdc, const RECT* dst, const RECT* src, int alphaBlend, int variantA = 0,
                  int variantB = 0);

// Blends the cached 32-bit ARGB pixels into the back buffer at dst.left,
// dst.top, clipped to the clip box of `hdc`, at the global opacity.
void AlphaBlendImage(ImageRef& ref, HDC hdc, const RECT* dst, const RECT* src);

// Makes the back buffer for `hwnd`'s client area, a bottom-up RGB 565 DIB
// section selected into a new memory DC compatible with `hdc`, and returns that
// DC (null when nothing could be made). ReleaseBackBuffer undoes it.
HDC CreateBackBuffer(HWND hwnd, HDC hdc);
void ReleaseBackBuffer(HDC memDC);

// The opacity applied to everything drawn here, 0..255 (clamped).
void SetGlobalAlpha(int alpha);
int GetGlobalAlpha();

// The module whose IMAGE resources the toolkit loads.
void SetResourceInstance(HINSTANCE instance);
HINSTANCE GetResourceInstance();

// For tests: entry T[a][v] = floor(a x v / 255) of the blending table, and the
// number of live CachedImage objects.
uint32_t AlphaTableEntry(int a, int v);
int LiveImageCount();
