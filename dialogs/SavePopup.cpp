#include "dialogs/SavePopup.h"

#include <cwchar>

#include "resources/resource_ids.h"

namespace {

constexpr COLORREF kKeyColour = 0xFFFAFF;  // left transparent when copied to the screen
constexpr COLORREF kLabelColour = 0xE6E6E6;
constexpr COLORREF kSeparatorColour = 0x545454;
// Without its images the pop-up is drawn plainly in these, so that it can still
// be seen and used.
constexpr COLORREF kPlainFace = RGB(40, 41, 45);
constexpr COLORREF kPlainPressed = RGB(220, 108, 18);
constexpr int kWidth = 304, kHeight = 143;
constexpr int kLabelX = 30, kLabelDrop = 10;  // a label sits 10 pixels under its entry's top
constexpr int kFontHeight = 42;

// The frame: nine images, each stretched into its rectangle.
struct FramePiece {
    int image;
    RECT rect;
};
constexpr FramePiece kFrame[] = {
    {IDP_POPUP_TOPLEFT, {0, 0, 16, 16}},           {IDP_POPUP_TOP, {16, 0, 288, 16}},
    {IDP_POPUP_TOPRIGHT, {288, 0, 304, 16}},       {IDP_POPUP_LEFT, {0, 16, 16, 127}},
    {IDP_POPUP_CENTRE, {16, 16, 288, 127}},        {IDP_POPUP_RIGHT, {288, 16, 304, 127}},
    {IDP_POPUP_BOTTOMLEFT, {0, 127, 16, 143}},     {IDP_POPUP_BOTTOM, {16, 127, 288, 143}},
    {IDP_POPUP_BOTTOMRIGHT, {288, 127, 304, 143}},
};
constexpr int kFramePieces = sizeof kFrame / sizeof kFrame[0];
constexpr int kPressedImage = kFramePieces;  // the highlight follows the frame's images
constexpr int kImageCount = kFramePieces + 1;

enum { ENTRY_NONE = 0, ENTRY_SAVE_AS = 1, ENTRY_CANCEL = 2 };

// One pop-up at a time.
struct PopupState {
    HINSTANCE instance;
    HWND owner;
    HWND window;
    HFONT font;
    HPEN separator;
    IImagingFactory* factory;
    IImage* images[kImageCount];  // the frame in kFrame's order, then the pressed-entry highlight
    bool comStarted;
    RECT saveAsRect;  // entries in client pixels, right and bottom inclusive
    RECT cancelRect;
    int pressed;  // ENTRY_NONE, ENTRY_SAVE_AS or ENTRY_CANCEL
};

PopupState s_popup;

bool PointInRect(int x, int y, int left, int top, int right, int bottom) {
    return left <= x && x <= right && top <= y && y <= bottom;
}

bool InEntry(const RECT& entry, int x, int y) {
    return PointInRect(x, y, entry.left, entry.top, entry.right, entry.bottom);
}

const RECT& EntryRect(int entry) {
    return entry == ENTRY_SAVE_AS ? s_popup.saveAsRect : s_popup.cancelRect;
}

IImage* DecodeImage(int id) {
    HRSRC res = FindResource(s_popup.instance, MAKEINTRESOURCE(id), L"IMAGE");
    if (!res) return nullptr;
    HGLOBAL data = LoadResource(s_popup.instance, res);
    IImage* image = nullptr;
    if (FAILED(s_popup.factory->CreateImageFromBuffer(LockResource(data), SizeofResource(s_popup.instance, res),
                                                      BufferDisposalFlagNone, &image)))
        return nullptr;
    return image;
}

void ReleaseAll() {
    if (s_popup.separator) DeleteObject(s_popup.separator);
    s_popup.separator = nullptr;
    if (s_popup.font) DeleteObject(s_popup.font);
    s_popup.font = nullptr;
    for (IImage*& image : s_popup.images) {
        if (image) image->Release();
        image = nullptr;
    }
    if (s_popup.factory) s_popup.factory->Release();
    s_popup.factory = nullptr;
    if (s_popup.comStarted) CoUninitialize();
    s_popup.comStarted = false;
}

void DrawLabel(HDC dc, int entry) {
    const wchar_t* label = entry == ENTRY_SAVE_AS ? L"Save As" : L"Cancel";
    HGDIOBJ old = SelectObject(dc, s_popup.font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, kLabelColour);
    ExtTextOut(dc, kLabelX, EntryRect(entry).top + kLabelDrop, 0, nullptr, label, (UINT)wcslen(label), nullptr);
    SelectObject(dc, old);
}

void FillPlain(HDC dc, const RECT& rc, COLORREF colour) {
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(dc, &rc, brush);
    DeleteObject(brush);
}

// The highlight covers the entry's inclusive rectangle, right and bottom edges included.
void DrawPressed(HDC dc, int entry) {
    const RECT& e = EntryRect(entry);
    RECT rc{e.left, e.top, e.right + 1, e.bottom + 1};
    if (IImage* highlight = s_popup.images[kPressedImage])
        highlight->Draw(dc, &rc, nullptr);
    else
        FillPlain(dc, rc, kPlainPressed);
    DrawLabel(dc, entry);
}

// Draws an entry pressed straight onto the window.
void DrawPressedNow(int entry) {
    HDC dc = GetDC(s_popup.window);
    if (!dc) return;
    DrawPressed(dc, entry);
    ReleaseDC(s_popup.window, dc);
}

// Composed off screen on the key colour, then copied with that colour left
// out, so the rounded frame floats over whatever lies under the pop-up.
void Paint(HWND hwnd) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    RECT client;
    GetClientRect(hwnd, &client);
    HDC mem = CreateCompatibleDC(dc);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, client.right, client.bottom);
    if (mem && bitmap) {
        HGDIOBJ oldBitmap = SelectObject(mem, bitmap);
        FillPlain(mem, client, kKeyColour);
        bool whole = true;
        for (int i = 0; i < kFramePieces; i++) whole = whole && s_popup.images[i];
        if (!whole) FillPlain(mem, client, kPlainFace);
        for (int i = 0; i < kFramePieces; i++)
            if (s_popup.images[i]) s_popup.images[i]->Draw(mem, &kFrame[i].rect, nullptr);
        DrawLabel(mem, ENTRY_SAVE_AS);
        DrawLabel(mem, ENTRY_CANCEL);
        HGDIOBJ oldPen = SelectObject(mem, s_popup.separator ? s_popup.separator : GetStockObject(NULL_PEN));
        MoveToEx(mem, 2, 72, nullptr);
        LineTo(mem, 302, 72);
        SelectObject(mem, oldPen);
        TransparentImage(dc, 0, 0, client.right, client.bottom, mem, 0, 0, client.right, client.bottom, kKeyColour);
        SelectObject(mem, oldBitmap);
    }
    if (bitmap) DeleteObject(bitmap);
    if (mem) DeleteDC(mem);
    EndPaint(hwnd, &ps);
}

void OnStylusUp(HWND hwnd, int x, int y) {
    const int pressed = s_popup.pressed;
    s_popup.pressed = ENTRY_NONE;
    if (pressed != ENTRY_NONE && InEntry(EntryRect(pressed), x, y)) {
        const HWND owner = s_popup.owner;
        DestroyWindow(hwnd);
        SendMessage(owner, WM_SAVE_POPUP_CLOSED, 0, 0);
        PostMessage(owner, WM_COMMAND, pressed == ENTRY_SAVE_AS ? POPUP_CMD_SAVE_AS : POPUP_CMD_CANCEL, 0);
    } else if (pressed != ENTRY_NONE) {
        InvalidateRect(hwnd, nullptr, FALSE);  // slid off: the pop-up stays, nothing pressed
    } else {
        DestroyWindow(hwnd);
    }
    ReleaseCapture();
}

INT_PTR SavePopup(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_INITDIALOG: {
            s_popup.window = hwnd;
            // Without the imaging service or an image the entries are drawn
            // plainly, so the pop-up can always be used.
            if (SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {
                s_popup.comStarted = true;
                if (SUCCEEDED(CoCreateInstance(CLSID_ImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IImagingFactory,
                                               (void**)&s_popup.factory))) {
                    for (int i = 0; i < kFramePieces; i++) s_popup.images[i] = DecodeImage(kFrame[i].image);
                    s_popup.images[kPressedImage] = DecodeImage(IDP_POPUP_PRESSED);
                }
            }
            LOGFONT lf{};
            lf.lfHeight = kFontHeight;
            lf.lfWeight = FW_NORMAL;
            wcscpy(lf.lfFaceName, L"DejaVu Sans");
            s_popup.font = CreateFontIndirect(&lf);
            s_popup.separator = CreatePen(PS_SOLID, 1, kSeparatorColour);
            SHFullScreenWindow(hwnd, 1);
            s_popup.saveAsRect = RECT{2, 6, 302, 71};
            s_popup.cancelRect = RECT{2, 73, 302, 138};
            return TRUE;
        }
        case WM_PAINT:
            Paint(hwnd);
            return TRUE;
        case WM_ERASEBKGND:
            return TRUE;  // what lies under the pop-up shows through its corners
        case WM_LBUTTONDOWN: {
            const int x = (short)LOWORD(lParam), y = (short)HIWORD(lParam);
            s_popup.pressed = InEntry(s_popup.saveAsRect, x, y)   ? ENTRY_SAVE_AS
                              : InEntry(s_popup.cancelRect, x, y) ? ENTRY_CANCEL
                                                                  : ENTRY_NONE;
            if (s_popup.pressed != ENTRY_NONE) DrawPressedNow(s_popup.pressed);
            SetCapture(hwnd);
            return TRUE;
        }
        case WM_LBUTTONUP:
            OnStylusUp(hwnd, (short)LOWORD(lParam), (short)HIWORD(lParam));
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK) {
                DestroyWindow(hwnd);
                return TRUE;
            }
            return FALSE;
        case WM_CTLCOLORSTATIC:
            SetBkMode((HDC)wParam, TRANSPARENT);
            SetTextColor((HDC)wParam, RGB(255, 255, 255));
            return (INT_PTR)GetStockObject(NULL_BRUSH);
        case WM_DESTROY: {
            ReleaseAll();
            s_popup.window = nullptr;
            s_popup.pressed = ENTRY_NONE;
            SendMessage(s_popup.owner, WM_SAVE_POPUP_CLOSED, 0, 0);
            return FALSE;
        }
        default:
            return FALSE;
    }
}

}  // namespace

HWND ShowSavePopup(HINSTANCE instance, HWND owner) {
    RECT client;
    if (!IsWindow(owner) || !GetClientRect(owner, &client)) return nullptr;
    if (s_popup.window && IsWindow(s_popup.window)) DestroyWindow(s_popup.window);
    s_popup = PopupState{};
    s_popup.instance = instance;
    s_popup.owner = owner;
    HWND popup = CreateDialog(instance, MAKEINTRESOURCE(IDD_SAVE_POPUP), owner, SavePopup);
    if (!popup) {
        ReleaseAll();
        return nullptr;
    }
    // Placed from the owner's client size, the numbers taken as screen pixels as
    // the handset takes them for a pop-up: centred, over the button bar, with
    // the soft keys under it still in reach.
    MoveWindow(popup, (client.right - kWidth) / 2, client.bottom - 88, kWidth, kHeight, FALSE);
    ShowWindow(popup, SW_SHOW);
    return popup;
}
