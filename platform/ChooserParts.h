// The pieces the full-screen chooser is built from: paths below "My Storage",
// the file-type filters, thumbnails read through the program's reader, and the
// drawing of its icons, buttons and text. Only platform/ includes it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "platform/win32.h"

namespace platform {
namespace chooser {

// The thumbnail box of a grid cell, which the icons are drawn into.
constexpr int kThumbWidth = 140;
constexpr int kThumbHeight = 110;

// The chooser's look.
constexpr COLORREF kBackground = RGB(0x1E, 0x1F, 0x22);
constexpr COLORREF kBarColour = RGB(0x2A, 0x2C, 0x30);
constexpr COLORREF kButtonColour = RGB(0x34, 0x37, 0x3D);
constexpr COLORREF kAccent = RGB(0xF0, 0x8C, 0x1E);
constexpr COLORREF kPressedCell = RGB(0x6A, 0x44, 0x1A);
constexpr COLORREF kText = RGB(0xF2, 0xF2, 0xF2);
constexpr COLORREF kDimText = RGB(0x9C, 0xA0, 0xA8);
constexpr COLORREF kTextOnAccent = RGB(0x20, 0x20, 0x20);
constexpr COLORREF kDivider = RGB(0x3A, 0x3D, 0x44);
constexpr COLORREF kLoading = RGB(0x2A, 0x2C, 0x30);

// --- Text and paths

std::wstring Lower(std::wstring s);
std::string JoinPath(const std::string& folder, const std::string& name);
// An absolute, lexically normal form without a trailing separator.
std::string NormalPath(const std::string& path);
bool IsDirectory(const std::string& path);
// Components of `path` below `base`, when `path` is `base` or lies inside it.
bool RelativeParts(const std::string& base, const std::string& path, std::vector<std::string>& parts);

struct Filter {
    std::wstring name;
    std::vector<std::wstring> patterns;  // empty: every file

    bool Matches(const std::wstring& file) const;
};

// Reads the program's pairs of "name\0pattern\0" ended by an empty string.
// Patterns may list several globs separated by ';'; "*.*" and "*" take every
// file, those without an extension too.
std::vector<Filter> ParseFilters(LPCWSTR filterText);

// --- Thumbnails

enum class ThumbKind { Picture, Broken, Document, Unknown };

struct Thumb {
    ThumbKind kind = ThumbKind::Broken;
    int width = 0, height = 0;
    std::vector<uint8_t> bgr;  // top-down rows of width * 3 bytes, padded to 4
    int Stride() const { return (width * 3 + 3) & ~3; }
};

// A picture the program reads shows its thumbnail; one it does not read shows
// the broken-picture sign when its name says picture, a page otherwise. With no
// reader registered, pictures show the plain picture sign.
Thumb LoadThumb(const std::string& path, const std::wstring& name);

// --- Drawing

void Fill(HDC dc, int l, int t, int r, int b, COLORREF colour);
// A filled rectangle with softly cut corners.
void FillRounded(HDC dc, const RECT& rc, COLORREF colour);
void Frame(HDC dc, const RECT& rc, int thickness, COLORREF colour);
void DrawPolyline(HDC dc, const POINT* pts, int count, int width, COLORREF colour);
void Text(HDC dc, HFONT font, const std::wstring& text, RECT rc, COLORREF colour, UINT format);
int TextWidth(HDC dc, HFONT font, const std::wstring& text);
HFONT MakeFont(int height, int weight);
// Icons drawn into the thumbnail box whose top-left corner is (bx, by): a
// folder; a picture frame, cracked for a picture that could not be read; a page
// with the file's extension for a file that is not a picture.
void DrawFolderIcon(HDC dc, int bx, int by);
void DrawPictureIcon(HDC dc, int bx, int by, bool cracked);
void DrawDocumentIcon(HDC dc, HFONT font, int bx, int by, const std::wstring& name);
// An upward chevron centred on (cx, cy) for the "Up" controls.
void DrawUpChevron(HDC dc, int cx, int cy, COLORREF colour);

}  // namespace chooser
}  // namespace platform
