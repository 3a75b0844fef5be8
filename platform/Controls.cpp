// Built-in child controls: a static text or icon, and a single-line edit field
// with a caret, keyboard input and horizontal scrolling.
#include <algorithm>
#include <cwchar>

#include "platform/WindowManager.h"

namespace platform {

namespace {

bool g_registered = false;

HFONT ControlFont(Window* w) {
    static HFONT fallback = nullptr;
    if (w->font) return w->font;
    if (!fallback) {
        LOGFONT lf{};
        lf.lfHeight = -26;
        lf.lfWeight = FW_NORMAL;
        fallback = CreateFontIndirect(&lf);
    }
    return fallback;
}

// Asks the parent for the control's colours; returns the background brush.
HBRUSH ParentColours(Window* w, HDC dc, UINT msg) {
    SetTextColor(dc, RGB(0, 0, 0));
    SetBkColor(dc, RGB(255, 255, 255));
    SetBkMode(dc, OPAQUE);
    HBRUSH brush = nullptr;
    if (w->parent) brush = (HBRUSH)SendMessage(w->parent->handle, msg, (WPARAM)dc, (LPARAM)w->handle);
    return brush ? brush : GetStockObject(WHITE_BRUSH);
}

LRESULT StaticProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Window* w = FromHandle(hwnd);
    if (!w) return 0;
    if (msg == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        RECT rc;
        GetClientRect(hwnd, &rc);
        HBRUSH brush = ParentColours(w, dc, WM_CTLCOLORSTATIC);
        FillRect(dc, &rc, brush);
        if ((w->style & 0x1F) == SS_ICON) {
            int id = w->text.size() > 1 && w->text[0] == L'#' ? (int)wcstol(w->text.c_str() + 1, nullptr, 10) : 0;
            if (HICON icon = LoadIcon(w->instance, MAKEINTRESOURCE(id))) DrawIcon(dc, 0, 0, icon);
        } else {
            HGDIOBJ old = SelectObject(dc, ControlFont(w));
            SetBkMode(dc, TRANSPARENT);
            DrawText(dc, w->text.c_str(), (int)w->text.size(), &rc, DT_LEFT | DT_SINGLELINE | DT_VCENTER);
            SelectObject(dc, old);
        }
        EndPaint(hwnd, &ps);
        return 0;
    }
    if (msg == WM_ERASEBKGND) return 1;
    return DefWindowProc(hwnd, msg, wParam, lParam);
}

LRESULT EditProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Window* w = FromHandle(hwnd);
    if (!w) return 0;
    switch (msg) {
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hwnd, &ps);
            RECT rc;
            GetClientRect(hwnd, &rc);
            HBRUSH brush = ParentColours(w, dc, WM_CTLCOLOREDIT);
            if (brush != GetStockObject(NULL_BRUSH)) FillRect(dc, &rc, brush);
            HGDIOBJ old = SelectObject(dc, ControlFont(w));
            SIZE before{0, 0};
            GetTextExtentPoint32(dc, w->text.c_str(), (int)w->caret, &before);
            SIZE line{0, 0};
            GetTextExtentPoint32(dc, L"Ag", 2, &line);
            int pad = 6;
            int visible = std::max<int>(1, rc.right - 2 * pad);
            // Scroll just enough to keep the caret in view.
            if (before.cx - w->scrollX > visible) w->scrollX = before.cx - visible;
            if (before.cx < w->scrollX) w->scrollX = before.cx;
            int ty = (rc.bottom - line.cy) / 2;
            SetBkMode(dc, TRANSPARENT);
            ExtTextOut(dc, pad - w->scrollX, ty, 0, &rc, w->text.c_str(), (UINT)w->text.size(), nullptr);
            if (GetFocus() == hwnd) {
                RECT caret{pad + before.cx - w->scrollX, ty, pad + before.cx - w->scrollX + 2, ty + line.cy};
                COLORREF tc = SetTextColor(dc, 0);
                SetTextColor(dc, tc);
                HBRUSH cb = CreateSolidBrush(tc);
                FillRect(dc, &caret, cb);
                DeleteObject(cb);
            }
            SelectObject(dc, old);
            EndPaint(hwnd, &ps);
            return 0;
        }
        case WM_ERASEBKGND:
            return 1;
        case WM_SETTEXT:
            DefWindowProc(hwnd, msg, wParam, lParam);
            w->caret = w->text.size();
            w->scrollX = 0;
            return TRUE;
        case WM_CHAR: {
            wchar_t ch = (wchar_t)wParam;
            if (ch == 8) {
                if (w->caret > 0) w->text.erase(--w->caret, 1);
            } else if (ch >= 32 && ch != 127) {
                w->text.insert(w->caret++, 1, ch);
            } else {
                return 0;
            }
            InvalidateWindow(w, true);
            return 0;
        }
        case WM_KEYDOWN:
            switch (wParam) {
                case VK_LEFT:
                    if (w->caret > 0) w->caret--;
                    break;
                case VK_RIGHT:
                    if (w->caret < w->text.size()) w->caret++;
                    break;
                case VK_HOME:
                    w->caret = 0;
                    break;
                case VK_END:
                    w->caret = w->text.size();
                    break;
                case VK_DELETE:
                    if (w->caret < w->text.size()) w->text.erase(w->caret, 1);
                    break;
                default:
                    return 0;
            }
            InvalidateWindow(w, true);
            return 0;
        case WM_LBUTTONDOWN:
            SetFocus(hwnd);
            w->caret = w->text.size();
            InvalidateWindow(w, true);
            return 0;
        case WM_SETFOCUS:
        case WM_KILLFOCUS:
            InvalidateWindow(w, true);
            return 0;
        default:
            return DefWindowProc(hwnd, msg, wParam, lParam);
    }
}

}  // namespace

void RegisterBuiltinClasses() {
    if (g_registered) return;
    g_registered = true;
    WNDCLASS wc{};
    wc.lpfnWndProc = DialogWndProc;
    wc.lpszClassName = L"Dialog";
    RegisterClass(&wc);
    wc.lpfnWndProc = StaticProc;
    wc.lpszClassName = L"Static";
    RegisterClass(&wc);
    wc.lpfnWndProc = EditProc;
    wc.lpszClassName = L"Edit";
    RegisterClass(&wc);
    RegisterShellClasses();
}

void ResetBuiltinClasses() {
    g_registered = false;
}

}  // namespace platform
