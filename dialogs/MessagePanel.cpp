#include "dialogs/MessagePanel.h"

#include <cwchar>

#include "resources/resource_ids.h"

namespace {

constexpr COLORREF kKeyColour = 0xFFFAFF;  // left transparent when copied to the screen
constexpr COLORREF kFocusColour = RGB(0xF0, 0x8C, 0x1E);
constexpr int kPanelX = 18, kPanelY = 260, kPanelW = 445, kPanelH = 285;
// Message lines start 20 pixels in and keep the same margin on the right.
constexpr int kTextLeft = 20;
constexpr int kTextWidth = kPanelW - 2 * kTextLeft;
constexpr int kFontHeight = 42;
constexpr int kSmallestFontHeight = 16;

// One panel at a time.
struct PanelState {
    wchar_t text[260];
    wchar_t caption[64];
    HINSTANCE instance;
    HWND owner;
    HWND window;
    int style;
    RECT okRect, cancelRect;
    int result;
    int pressed;  // 0 none, 1 OK, 2 Cancel
    int focused;  // button with a visible keyboard focus: 0 none, 1 OK, 2 Cancel
    HFONT font;
    IImagingFactory* factory;
    IImage* top;
    IImage* middle;
    IImage* bottom;
    IImage* button;
    IImage* buttonPressed;
    bool comStarted;
};

PanelState s_panel;

HFONT MakeFont(int height) {
    LOGFONT lf{};
    lf.lfHeight = height;
    lf.lfWeight = FW_NORMAL;
    wcscpy(lf.lfFaceName, L"Helvesegoe");
    return CreateFontIndirect(&lf);
}

IImage* DecodeImage(int id) {
    if (!s_panel.factory) return nullptr;
    HRSRC res = FindResource(s_panel.instance, MAKEINTRESOURCE(id), L"IMAGE");
    if (!res) return nullptr;
    HGLOBAL data = LoadResource(s_panel.instance, res);
    IImage* image = nullptr;
    if (FAILED(s_panel.factory->CreateImageFromBuffer(LockResource(data), SizeofResource(s_panel.instance, res),
                                                      BufferDisposalFlagNone, &image)))
        return nullptr;
    return image;
}

void DrawImageAt(HDC dc, IImage* image, int l, int t, int r, int b) {
    if (!image) return;
    RECT rc{l, t, r, b};
    image->Draw(dc, &rc, nullptr);
}

SIZE ImageSize(IImage* image) {
    ImageInfo info{};
    if (!image || FAILED(image->GetImageInfo(&info))) return SIZE{kPanelW, 0};
    return SIZE{(LONG)info.Width, (LONG)info.Height};
}

void ReleaseImages() {
    IImage** images[] = {&s_panel.top, &s_panel.middle, &s_panel.bottom, &s_panel.button, &s_panel.buttonPressed};
    for (IImage** image : images) {
        if (*image) (*image)->Release();
        *image = nullptr;
    }
    if (s_panel.factory) s_panel.factory->Release();
    s_panel.factory = nullptr;
    if (s_panel.comStarted) CoUninitialize();
    s_panel.comStarted = false;
}

void DrawLabel(HDC dc, const RECT& button, bool ok, COLORREF colour) {
    HGDIOBJ old = SelectObject(dc, s_panel.font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, colour);
    if (s_panel.style == PANEL_OK_CANCEL) {
        if (ok)
            ExtTextOut(dc, button.left + 70, button.top + 10, 0, nullptr, L"OK", 2, nullptr);
        else
            ExtTextOut(dc, button.left + 50, button.top + 10, 0, nullptr, L"Cancel", 6, nullptr);
    } else {
        ExtTextOut(dc, button.left + 180, button.top + 10, 0, nullptr, L"OK", 2, nullptr);
    }
    SelectObject(dc, old);
}

// A keyboard user sees which button Return would choose.
void DrawFocus(HDC dc, const RECT& button) {
    constexpr int kWidth = 3;
    HBRUSH brush = CreateSolidBrush(kFocusColour);
    const RECT edges[] = {{button.left, button.top, button.right, button.top + kWidth},
                          {button.left, button.bottom - kWidth, button.right, button.bottom},
                          {button.left, button.top, button.left + kWidth, button.bottom},
                          {button.right - kWidth, button.top, button.right, button.bottom}};
    for (const RECT& edge : edges) FillRect(dc, &edge, brush);
    DeleteObject(brush);
}

// Draws one button straight onto the window, pressed or released.
void DrawButtonNow(int which, bool pressed) {
    const RECT& rc = which == 1 ? s_panel.okRect : s_panel.cancelRect;
    HDC dc = GetDC(s_panel.window);
    if (!dc) return;
    DrawImageAt(dc, pressed ? s_panel.buttonPressed : s_panel.button, rc.left, rc.top, rc.right, rc.bottom);
    DrawLabel(dc, rc, which == 1, pressed ? RGB(255, 255, 255) : RGB(0, 0, 0));
    if (!pressed && s_panel.focused == which) DrawFocus(dc, rc);
    ReleaseDC(s_panel.window, dc);
}

// Draws a message line at (x, y) in the panel's font, or in a smaller size of it
// when the line would run past the panel's right margin.
void DrawMessageLine(HDC dc, int x, int y, const std::wstring& line) {
    HFONT smaller = nullptr;
    HGDIOBJ old = SelectObject(dc, s_panel.font);
    for (int height = kFontHeight; height > kSmallestFontHeight; height -= 2) {
        SIZE size{};
        if (!GetTextExtentPoint32(dc, line.c_str(), (int)line.size(), &size) || size.cx <= kTextWidth) break;
        HFONT next = MakeFont(height - 2);
        if (!next) break;
        SelectObject(dc, next);
        if (smaller) DeleteObject(smaller);
        smaller = next;
    }
    ExtTextOut(dc, x, y, 0, nullptr, line.c_str(), (UINT)line.size(), nullptr);
    SelectObject(dc, old);
    if (smaller) DeleteObject(smaller);
}

void Paint(HWND hwnd) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    RECT client;
    GetClientRect(hwnd, &client);
    HDC mem = CreateCompatibleDC(dc);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, client.right, client.bottom);
    if (mem && bitmap) {
        HGDIOBJ oldBitmap = SelectObject(mem, bitmap);
        HBRUSH key = CreateSolidBrush(kKeyColour);
        FillRect(mem, &client, key);
        DeleteObject(key);

        SIZE top = ImageSize(s_panel.top), bottom = ImageSize(s_panel.bottom), middle = ImageSize(s_panel.middle);
        DrawImageAt(mem, s_panel.top, 0, 0, top.cx, top.cy);
        DrawImageAt(mem, s_panel.middle, 0, 65, middle.cx, 265);
        DrawImageAt(mem, s_panel.bottom, 0, 265, bottom.cx, bottom.cy + 265);
        DrawImageAt(mem, s_panel.button, s_panel.okRect.left, s_panel.okRect.top, s_panel.okRect.right,
                    s_panel.okRect.bottom);
        if (s_panel.style == PANEL_OK_CANCEL)
            DrawImageAt(mem, s_panel.button, s_panel.cancelRect.left, s_panel.cancelRect.top, s_panel.cancelRect.right,
                        s_panel.cancelRect.bottom);

        HGDIOBJ oldFont = SelectObject(mem, s_panel.font);
        SetBkMode(mem, TRANSPARENT);
        SetTextColor(mem, RGB(255, 255, 255));
        ExtTextOut(mem, 110, 12, 0, nullptr, s_panel.caption, (UINT)wcslen(s_panel.caption), nullptr);
        SelectObject(mem, oldFont);
        std::wstring line1, line2;
        SplitMessageLines(s_panel.text, line1, line2);
        if (!line1.empty()) DrawMessageLine(mem, kTextLeft, 80, line1);
        DrawMessageLine(mem, kTextLeft, line1.empty() ? 80 : 130, line2);

        DrawLabel(mem, s_panel.okRect, true, RGB(0, 0, 0));
        if (s_panel.style == PANEL_OK_CANCEL) DrawLabel(mem, s_panel.cancelRect, false, RGB(0, 0, 0));
        if (s_panel.focused) DrawFocus(mem, s_panel.focused == 1 ? s_panel.okRect : s_panel.cancelRect);

        TransparentImage(dc, 0, 0, client.right, client.bottom, mem, 0, 0, client.right, client.bottom, kKeyColour);
        SelectObject(mem, oldBitmap);
    }
    if (bitmap) DeleteObject(bitmap);
    if (mem) DeleteDC(mem);
    EndPaint(hwnd, &ps);
}

bool Inside(const RECT& rc, int x, int y) {
    return x >= rc.left && x < rc.right && y >= rc.top && y < rc.bottom;
}

void Answer(HWND hwnd, int result) {
    s_panel.result = result;
    PostMessage(hwnd, WM_CLOSE, 0, 0);
}

// The keyboard: Tab and the arrow keys show a focus on a button and move it;
// Return or Space then choose that button. Return with no focus shown is the
// platform's OK command, which leaves the panel as Cancel does, so a stray
// Return never answers a question with OK. Escape is Cancel (OK on a notice).
void OnKey(HWND hwnd, UINT vk) {
    switch (vk) {
        case VK_TAB:
        case VK_LEFT:
        case VK_RIGHT:
        case VK_UP:
        case VK_DOWN: {
            int was = s_panel.focused;
            bool two = s_panel.style == PANEL_OK_CANCEL;
            if (!was)
                s_panel.focused = 1;
            else if (two)
                s_panel.focused = was == 1 ? 2 : 1;
            if (was) DrawButtonNow(was, false);
            DrawButtonNow(s_panel.focused, false);
            break;
        }
        case VK_SPACE:
        case VK_RETURN:
            if (s_panel.focused)
                Answer(hwnd, s_panel.focused == 1 ? 0 : 1);
            else if (vk == VK_RETURN)
                SendMessage(hwnd, WM_COMMAND, IDOK, 0);
            break;
        case VK_ESCAPE:
            Answer(hwnd, s_panel.style == PANEL_OK ? 0 : 1);
            break;
        default:
            break;
    }
}

INT_PTR MessageBoxPanel(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_INITDIALOG: {
            s_panel.window = hwnd;
            if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) return TRUE;
            s_panel.comStarted = true;
            if (FAILED(CoCreateInstance(CLSID_ImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IImagingFactory,
                                        (void**)&s_panel.factory)))
                return TRUE;
            s_panel.top = DecodeImage(IDP_PANEL_TOP);
            s_panel.middle = DecodeImage(IDP_PANEL_MIDDLE);
            s_panel.bottom = DecodeImage(IDP_PANEL_BOTTOM);
            s_panel.font = MakeFont(kFontHeight);
            SHFullScreenWindow(hwnd, 1);
            MoveWindow(hwnd, kPanelX, kPanelY, kPanelW, kPanelH, FALSE);
            if (s_panel.style == PANEL_OK_CANCEL) {
                s_panel.okRect = RECT{15, 200, 211, 262};
                s_panel.cancelRect = RECT{231, 200, 427, 262};
                s_panel.button = DecodeImage(IDP_PANEL_BUTTON);
                s_panel.buttonPressed = DecodeImage(IDP_PANEL_OK_PRESSED);
            } else {
                s_panel.okRect = RECT{20, 200, 423, 262};
                s_panel.cancelRect = RECT{0, 0, 0, 0};
                s_panel.button = DecodeImage(IDP_PANEL_WIDE_BUTTON);
                s_panel.buttonPressed = DecodeImage(IDP_PANEL_WIDE_PRESSED);
            }
            return TRUE;
        }
        case WM_PAINT:
            Paint(hwnd);
            return TRUE;
        case WM_ERASEBKGND:
            return TRUE;
        case WM_LBUTTONDOWN: {
            int x = (short)LOWORD(lParam), y = (short)HIWORD(lParam);
            s_panel.pressed = 0;
            if (Inside(s_panel.okRect, x, y)) {
                s_panel.pressed = 1;
                DrawButtonNow(1, true);
            } else if (s_panel.style == PANEL_OK_CANCEL && Inside(s_panel.cancelRect, x, y)) {
                s_panel.pressed = 2;
                DrawButtonNow(2, true);
            }
            SetCapture(hwnd);
            return TRUE;
        }
        case WM_LBUTTONUP:
            // Lifting anywhere chooses the pressed button.
            if (s_panel.pressed) {
                DrawButtonNow(s_panel.pressed, false);
                Answer(hwnd, s_panel.pressed == 1 ? 0 : 1);
                s_panel.pressed = 0;
            }
            ReleaseCapture();
            return TRUE;
        case WM_KEYDOWN:
            OnKey(hwnd, (UINT)wParam);
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK) {
                Answer(hwnd, 1);
                return TRUE;
            }
            return FALSE;
        case WM_CLOSE:
            ReleaseImages();
            if (s_panel.font) DeleteObject(s_panel.font);
            s_panel.font = nullptr;
            EndDialog(hwnd, s_panel.result);
            return TRUE;
        case WM_CTLCOLORSTATIC:
            SetBkMode((HDC)wParam, TRANSPARENT);
            SetTextColor((HDC)wParam, RGB(255, 255, 255));
            return (INT_PTR)GetStockObject(NULL_BRUSH);
        default:
            return FALSE;
    }
}

}  // namespace

void SplitMessageLines(const std::wstring& text, std::wstring& line1, std::wstring& line2) {
    size_t cut = text.rfind(L'\\');
    if (cut == std::wstring::npos) {
        line1.clear();
        line2 = text;
    } else {
        line1 = text.substr(0, cut);
        line2 = text.substr(cut + 1);
    }
}

int AppMessageBox(HINSTANCE instance, HWND owner, const wchar_t* caption, const wchar_t* text, int style) {
    // The panel state is one at a time. Should a panel ever be opened from inside
    // another's loop, the outer one's state is kept aside and given back, so its
    // answer and the font and images it holds stay its own.
    const PanelState outer = s_panel;
    s_panel = PanelState{};
    swprintf(s_panel.text, 260, L"%ls", text ? text : L"");
    swprintf(s_panel.caption, 64, L"%ls", caption ? caption : L"");
    s_panel.instance = instance;
    s_panel.owner = owner;
    s_panel.style = style;
    s_panel.result = 1;  // a panel closed any other way counts as Cancel
    DialogBox(instance, MAKEINTRESOURCE(IDD_MESSAGE_PANEL), owner, MessageBoxPanel);
    // Should the loop have ended early (the program is quitting), release what the panel held.
    ReleaseImages();
    if (s_panel.font) DeleteObject(s_panel.font);
    int result = s_panel.result;
    s_panel = outer;
    return result;
}

std::wstring OpenMessagePanelText() {
    return s_panel.window && IsWindow(s_panel.window) ? s_panel.text : L"";
}
