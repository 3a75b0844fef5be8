// The chooser's pieces: paths, filters, thumbnails and drawing (ChooserParts.h).
#include "platform/ChooserParts.h"

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <filesystem>

#include "platform/WindowManager.h"

namespace platform {
namespace chooser {

namespace fs = std::filesystem;

// ---------------------------------------------------------------------------
// Text and paths

std::wstring Lower(std::wstring s) {
    for (wchar_t& c : s) c = (wchar_t)towlower(c);
    return s;
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

std::string NormalPath(const std::string& path) {
    std::error_code ec;
    fs::path p = fs::path(path);
    if (p.is_relative()) {
        fs::path abs = fs::absolute(p, ec);
        if (!ec) p = abs;
    }
    std::string s = p.lexically_normal().string();
    while (s.size() > 1 && s.back() == '/') s.pop_back();
    return s;
}

bool IsDirectory(const std::string& path) {
    std::error_code ec;
    return fs::is_directory(path, ec);
}

bool RelativeParts(const std::string& base, const std::string& path, std::vector<std::string>& parts) {
    parts.clear();
    if (path == base) return true;
    std::string prefix = base == "/" ? base : base + "/";
    if (path.compare(0, prefix.size(), prefix) != 0) return false;
    std::string rest = path.substr(prefix.size());
    size_t start = 0;
    while (start <= rest.size()) {
        size_t slash = rest.find('/', start);
        if (slash == std::string::npos) slash = rest.size();
        if (slash > start) parts.push_back(rest.substr(start, slash - start));
        start = slash + 1;
    }
    return true;
}

namespace {

// Wildcard match of a file name ('*' any run, '?' one character), ignoring case.
bool WildcardMatch(const wchar_t* pattern, const wchar_t* name) {
    const wchar_t* star = nullptr;
    const wchar_t* resume = nullptr;
    while (*name) {
        if (*pattern == L'*') {
            star = pattern++;
            resume = name;
        } else if (*pattern == L'?' || (*pattern && towlower(*pattern) == towlower(*name))) {
            pattern++;
            name++;
        } else if (star) {
            pattern = star + 1;
            name = ++resume;
        } else {
            return false;
        }
    }
    while (*pattern == L'*') pattern++;
    return *pattern == 0;
}

}  // namespace

bool Filter::Matches(const std::wstring& file) const {
    if (patterns.empty()) return true;
    for (const auto& p : patterns)
        if (WildcardMatch(p.c_str(), file.c_str())) return true;
    return false;
}

std::vector<Filter> ParseFilters(LPCWSTR filterText) {
    std::vector<Filter> out;
    for (const wchar_t* p = filterText; p && *p;) {
        Filter f;
        f.name = p;
        p += wcslen(p) + 1;
        std::wstring patterns = p;
        p += *p ? wcslen(p) + 1 : 0;
        bool every = false;
        size_t start = 0;
        while (start <= patterns.size()) {
            size_t semi = patterns.find(L';', start);
            if (semi == std::wstring::npos) semi = patterns.size();
            std::wstring one = patterns.substr(start, semi - start);
            while (!one.empty() && one.front() == L' ') one.erase(0, 1);
            while (!one.empty() && one.back() == L' ') one.pop_back();
            if (one == L"*.*" || one == L"*") every = true;
            if (!one.empty()) f.patterns.push_back(one);
            start = semi + 1;
        }
        if (every || f.patterns.empty()) f.patterns.clear();
        out.push_back(std::move(f));
        if (!*p) break;
    }
    if (out.empty()) out.push_back(Filter{L"All", {}});
    return out;
}

// ---------------------------------------------------------------------------
// Thumbnails

namespace {

bool HasPictureExtension(const std::wstring& name) {
    static const wchar_t* const kPictures[] = {L".jpg", L".jpeg", L".jpe", L".bmp", L".png", L".gif", L".dib"};
    std::wstring lower = Lower(name);
    for (const wchar_t* ext : kPictures) {
        size_t len = wcslen(ext);
        if (lower.size() > len && lower.compare(lower.size() - len, len, ext) == 0) return true;
    }
    return false;
}

ThumbnailReader g_thumbnailReader = nullptr;

}  // namespace

Thumb LoadThumb(const std::string& path, const std::wstring& name) {
    Thumb thumb;
    const bool picture = HasPictureExtension(name);
    if (!g_thumbnailReader) {
        thumb.kind = picture ? ThumbKind::Unknown : ThumbKind::Document;
        return thumb;
    }
    int w = 0, h = 0;
    uint8_t* bgr = g_thumbnailReader(Widen(path).c_str(), kThumbWidth, kThumbHeight, &w, &h);
    if (!bgr || w <= 0 || h <= 0 || w > kThumbWidth || h > kThumbHeight) {
        free(bgr);
        thumb.kind = picture ? ThumbKind::Broken : ThumbKind::Document;
        return thumb;
    }
    thumb.kind = ThumbKind::Picture;
    thumb.width = w;
    thumb.height = h;
    thumb.bgr.assign((size_t)thumb.Stride() * h, 0);
    for (int y = 0; y < h; y++) memcpy(&thumb.bgr[(size_t)y * thumb.Stride()], bgr + (size_t)y * w * 3, (size_t)w * 3);
    free(bgr);
    return thumb;
}

// ---------------------------------------------------------------------------
// Drawing helpers

void Fill(HDC dc, int l, int t, int r, int b, COLORREF colour) {
    RECT rc{l, t, r, b};
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(dc, &rc, brush);
    DeleteObject(brush);
}

// A filled rectangle with softly cut corners.
void FillRounded(HDC dc, const RECT& rc, COLORREF colour) {
    static const int kInset[] = {3, 2, 1, 1};
    int h = rc.bottom - rc.top;
    HBRUSH brush = CreateSolidBrush(colour);
    for (int i = 0; i < 4 && i < h / 2; i++) {
        RECT top{rc.left + kInset[i], rc.top + i, rc.right - kInset[i], rc.top + i + 1};
        RECT bottom{rc.left + kInset[i], rc.bottom - 1 - i, rc.right - kInset[i], rc.bottom - i};
        FillRect(dc, &top, brush);
        FillRect(dc, &bottom, brush);
    }
    RECT middle{rc.left, rc.top + 4, rc.right, rc.bottom - 4};
    if (middle.bottom > middle.top) FillRect(dc, &middle, brush);
    DeleteObject(brush);
}

void Frame(HDC dc, const RECT& rc, int thickness, COLORREF colour) {
    Fill(dc, rc.left, rc.top, rc.right, rc.top + thickness, colour);
    Fill(dc, rc.left, rc.bottom - thickness, rc.right, rc.bottom, colour);
    Fill(dc, rc.left, rc.top + thickness, rc.left + thickness, rc.bottom - thickness, colour);
    Fill(dc, rc.right - thickness, rc.top + thickness, rc.right, rc.bottom - thickness, colour);
}

void DrawPolyline(HDC dc, const POINT* pts, int count, int width, COLORREF colour) {
    HPEN pen = CreatePen(PS_SOLID, width, colour);
    HGDIOBJ old = SelectObject(dc, pen);
    MoveToEx(dc, pts[0].x, pts[0].y, nullptr);
    for (int i = 1; i < count; i++) LineTo(dc, pts[i].x, pts[i].y);
    SelectObject(dc, old);
    DeleteObject(pen);
}

void Text(HDC dc, HFONT font, const std::wstring& text, RECT rc, COLORREF colour, UINT format) {
    HGDIOBJ old = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, colour);
    DrawText(dc, text.c_str(), (int)text.size(), &rc, format | DT_SINGLELINE);
    SelectObject(dc, old);
}

int TextWidth(HDC dc, HFONT font, const std::wstring& text) {
    HGDIOBJ old = SelectObject(dc, font);
    SIZE size{0, 0};
    GetTextExtentPoint32(dc, text.c_str(), (int)text.size(), &size);
    SelectObject(dc, old);
    return size.cx;
}

HFONT MakeFont(int height, int weight) {
    LOGFONT lf{};
    lf.lfHeight = -height;
    lf.lfWeight = weight;
    wcscpy(lf.lfFaceName, L"Tahoma");
    return CreateFontIndirect(&lf);
}

// A folder drawn into the thumbnail box: the back with its tab, the front flap.
void DrawFolderIcon(HDC dc, int bx, int by) {
    int x = bx + (kThumbWidth - 112) / 2, y = by + (kThumbHeight - 84) / 2;
    FillRounded(dc, RECT{x, y, x + 46, y + 20}, RGB(0xC2, 0x74, 0x1C));
    FillRounded(dc, RECT{x, y + 8, x + 112, y + 84}, RGB(0xC2, 0x74, 0x1C));
    FillRounded(dc, RECT{x, y + 22, x + 112, y + 84}, RGB(0xF2, 0xA6, 0x3A));
    Fill(dc, x + 3, y + 22, x + 109, y + 24, RGB(0xF8, 0xC4, 0x6C));
}

// A picture frame with hills and a sun. With a crack through it, it marks a
// file that should be a picture but could not be read.
void DrawPictureIcon(HDC dc, int bx, int by, bool cracked) {
    int x = bx + (kThumbWidth - 88) / 2, y = by + (kThumbHeight - 70) / 2;
    FillRounded(dc, RECT{x, y, x + 88, y + 70}, RGB(0x6A, 0x6D, 0x74));
    Fill(dc, x + 3, y + 3, x + 85, y + 67, RGB(0x30, 0x32, 0x37));
    Fill(dc, x + 60, y + 12, x + 70, y + 22, RGB(0x8C, 0x90, 0x98));  // the sun
    const POINT hills[] = {{x + 8, y + 58}, {x + 28, y + 32}, {x + 42, y + 48}, {x + 54, y + 38}, {x + 80, y + 58}};
    DrawPolyline(dc, hills, 5, 2, RGB(0x8C, 0x90, 0x98));
    if (!cracked) return;
    const POINT crack[] = {{x + 50, y - 2}, {x + 42, y + 20}, {x + 52, y + 34}, {x + 40, y + 52}, {x + 46, y + 72}};
    DrawPolyline(dc, crack, 5, 3, RGB(0xE0, 0x5A, 0x48));
}

// A page with a folded corner and the file's extension: a file that is not a
// picture (the "all files" filter shows those too).
void DrawDocumentIcon(HDC dc, HFONT font, int bx, int by, const std::wstring& name) {
    int x = bx + (kThumbWidth - 68) / 2, y = by + (kThumbHeight - 88) / 2;
    Fill(dc, x, y, x + 68, y + 88, RGB(0xD8, 0xDA, 0xDE));
    Fill(dc, x + 50, y, x + 68, y + 18, kBackground);
    Fill(dc, x + 50, y, x + 52, y + 18, RGB(0xA8, 0xAB, 0xB2));
    Fill(dc, x + 50, y + 16, x + 68, y + 18, RGB(0xA8, 0xAB, 0xB2));
    size_t dot = name.rfind(L'.');
    if (dot != std::wstring::npos && dot + 1 < name.size() && name.size() - dot <= 6) {
        std::wstring ext = name.substr(dot + 1);
        for (wchar_t& c : ext) c = (wchar_t)towupper(c);
        Text(dc, font, ext, RECT{x, y + 40, x + 68, y + 70}, RGB(0x40, 0x43, 0x4A), DT_CENTER | DT_VCENTER);
    }
}

// An upward chevron for the "Up" controls.
void DrawUpChevron(HDC dc, int cx, int cy, COLORREF colour) {
    const POINT pts[] = {{cx - 7, cy + 4}, {cx, cy - 3}, {cx + 7, cy + 4}};
    DrawPolyline(dc, pts, 3, 3, colour);
}

}  // namespace chooser

void SetThumbnailReader(ThumbnailReader reader) {
    chooser::g_thumbnailReader = reader;
}

}  // namespace platform
