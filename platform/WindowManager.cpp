// Windows: classes, creation and destruction, geometry, visibility, invalidation,
// painting DCs, capture and focus. Every top-level window owns a surface of its
// own size; the screen is composed from them in z-order, so a window drawn while
// another covers it never paints over the one in front.
#include "platform/WindowManager.h"

#include <algorithm>
#include <cstring>

#include "platform/Backend.h"

namespace platform {

namespace {

std::map<std::wstring, WindowClass> g_classes;
std::map<uintptr_t, std::unique_ptr<Window>> g_windows;
std::vector<Window*> g_zorder;  // top-level, bottom first
uintptr_t g_nextHandle = 0x1000;
HWND g_capture = nullptr;
HWND g_focus = nullptr;
bool g_screenDirty = true;

std::wstring Upper(LPCWSTR s) {
    std::wstring out = s ? s : L"";
    for (auto& c : out) c = (wchar_t)towupper(c);
    return out;
}

void RemoveFromZOrder(Window* w) {
    g_zorder.erase(std::remove(g_zorder.begin(), g_zorder.end(), w), g_zorder.end());
}

// Copies the part of a top-level window's surface that lies on the screen (both
// XRGB32) from the window to the screen, or back when `toScreen` is false.
void CopyWindowRows(Window* w, Surface& screen, bool toScreen) {
    int x0 = std::max<int>(0, -w->rect.left);
    int x1 = std::min<int>(w->surface.width, screen.width - w->rect.left);
    if (x1 <= x0) return;
    for (int y = 0; y < w->surface.height; y++) {
        int sy = w->rect.top + y;
        if (sy < 0 || sy >= screen.height) continue;
        uint8_t* onScreen = screen.Row(sy) + (size_t)(w->rect.left + x0) * 4;
        uint8_t* inWindow = w->surface.Row(y) + (size_t)x0 * 4;
        memcpy(toScreen ? onScreen : inWindow, toScreen ? inWindow : onScreen, (size_t)(x1 - x0) * 4);
    }
}

// Fills a newly shown top-level window with what lies under it, as a screen
// without a compositor would: a window that draws only part of itself (a
// colour-keyed pop-up) shows the windows behind it elsewhere.
void CopyScreenUnder(Window* w) {
    Surface screen;
    if (!AllocSurface(screen, kScreenWidth, kScreenHeight, PixelFormat::XRGB32, false)) return;
    ComposeScreen(screen, w);
    CopyWindowRows(w, screen, false);
    FreeSurface(screen);
}

bool ResizeSurface(Window* w) {
    if (w->parent) return true;
    int width = std::max<LONG>(1, w->rect.right - w->rect.left);
    int height = std::max<LONG>(1, w->rect.bottom - w->rect.top);
    if (w->surface.bits && w->surface.width == width && w->surface.height == height) return true;
    Surface fresh;
    if (!AllocSurface(fresh, width, height, PixelFormat::XRGB32, false)) return false;
    if (w->surface.bits) {
        for (int y = 0; y < std::min(height, w->surface.height); y++)
            memcpy(fresh.Row(y), w->surface.Row(y), (size_t)std::min(width, w->surface.width) * 4);
        FreeSurface(w->surface);
    }
    w->surface = fresh;
    return true;
}

}  // namespace

Window* FromHandle(HWND hwnd) {
    auto it = g_windows.find((uintptr_t)hwnd);
    return it == g_windows.end() ? nullptr : it->second.get();
}

Window* TopLevelOf(Window* w) {
    while (w && w->parent) w = w->parent;
    return w;
}

const std::vector<Window*>& ZOrder() {
    return g_zorder;
}

Window* ActiveWindow() {
    for (auto it = g_zorder.rbegin(); it != g_zorder.rend(); ++it)
        if ((*it)->visible && (*it)->enabled && !(*it)->isMenuBar) return *it;
    return nullptr;
}

POINT ClientOrigin(Window* w) {
    POINT p{0, 0};
    for (; w; w = w->parent) {
        p.x += w->rect.left;
        p.y += w->rect.top;
    }
    return p;
}

void InvalidateWindow(Window* w, bool erase) {
    w->needsPaint = true;
    if (erase) w->eraseOnPaint = true;
    for (Window* c : w->children) InvalidateWindow(c, erase);
}

bool ScreenDirty() {
    return g_screenDirty;
}
void ClearScreenDirty() {
    g_screenDirty = false;
}
void MarkScreenDirty() {
    g_screenDirty = true;
}

void GetScreenSize(int* width, int* height) {
    if (width) *width = kScreenWidth;
    if (height) *height = kScreenHeight;
}

void ComposeScreen(Surface& screen, const Window* below) {
    for (int y = 0; y < screen.height; y++) memset(screen.Row(y), 0, (size_t)screen.width * 4);
    for (Window* w : g_zorder) {
        if (w == below) break;
        if (!w->visible || !w->surface.bits) continue;
        CopyWindowRows(w, screen, true);
    }
    DrawTaskBar(screen);
}

std::vector<std::wstring> OpenWindowTitles() {
    std::vector<std::wstring> out;
    for (Window* w : g_zorder)
        if (w->visible) out.push_back(w->text);
    return out;
}

void ResetWindowManager() {
    std::vector<HWND> handles;
    for (Window* w : g_zorder) handles.push_back(w->handle);
    for (HWND h : handles) DestroyWindow(h);
    g_windows.clear();
    g_zorder.clear();
    g_classes.clear();
    g_capture = g_focus = nullptr;
    g_screenDirty = true;
}

}  // namespace platform

using namespace platform;

ATOM RegisterClass(const WNDCLASS* wc) {
    if (!wc || !wc->lpszClassName || !wc->lpfnWndProc) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::wstring key = Upper(wc->lpszClassName);
    if (g_classes.count(key)) {
        SetLastError(1410);  // class already exists
        return 0;
    }
    WindowClass cls;
    cls.name = wc->lpszClassName;
    cls.wc = *wc;
    g_classes[key] = cls;
    return (ATOM)(g_classes.size() + 0xC000);
}

HWND CreateWindowEx(DWORD exStyle, LPCWSTR className, LPCWSTR title, DWORD style, int x, int y, int w, int h,
                    HWND parent, HMENU menu, HINSTANCE instance, LPVOID param) {
    auto cls = g_classes.find(Upper(className));
    if (cls == g_classes.end()) {
        RegisterBuiltinClasses();
        cls = g_classes.find(Upper(className));
        if (cls == g_classes.end()) {
            SetLastError(1407);  // class not found
            return nullptr;
        }
    }
    Window* parentWin = FromHandle(parent);
    auto win = std::make_unique<Window>();
    Window* wnd = win.get();
    wnd->handle = (HWND)g_nextHandle;
    g_nextHandle += 4;
    wnd->className = cls->second.name;
    wnd->proc = cls->second.wc.lpfnWndProc;
    wnd->background = cls->second.wc.hbrBackground;
    wnd->instance = instance;
    wnd->text = title ? title : L"";
    wnd->style = style;
    wnd->enabled = !(style & WS_DISABLED);
    if ((style & WS_CHILD) && parentWin) {
        wnd->parent = parentWin;
        wnd->id = (int)(uintptr_t)menu;
        wnd->rect = RECT{x, y, x + w, y + h};
        parentWin->children.push_back(wnd);
    } else {
        wnd->owner = parent;
        if (x == CW_USEDEFAULT || w == CW_USEDEFAULT) {
            // Top-level windows of the handset fill the area under the task bar.
            wnd->rect = RECT{0, kTaskBarHeight, kScreenWidth, kScreenHeight};
        } else {
            wnd->rect = RECT{x, y, x + w, y + h};
        }
    }
    g_windows[(uintptr_t)wnd->handle] = std::move(win);
    if (!wnd->parent) g_zorder.push_back(wnd);
    if (!ResizeSurface(wnd)) {
        DestroyWindow(wnd->handle);
        SetLastError(ERROR_OUTOFMEMORY);
        return nullptr;
    }
    CREATESTRUCT cs{param, instance, menu, parent, h, w, y, x, (LONG)style, title, className, exStyle};
    HWND handle = wnd->handle;
    if (SendMessage(handle, WM_CREATE, 0, (LPARAM)&cs) == -1) {
        DestroyWindow(handle);
        return nullptr;
    }
    if (!FromHandle(handle)) return nullptr;
    if (!wnd->parent && !wnd->owner && !wnd->text.empty()) PublishWindow(wnd, true);
    if (style & WS_VISIBLE) {
        wnd->style &= ~WS_VISIBLE;
        ShowWindow(handle, SW_SHOW);
    }
    RECT rc{0, 0, 0, 0};
    GetClientRect(handle, &rc);
    SendMessage(handle, WM_SIZE, 0, MAKELPARAM(rc.right, rc.bottom));
    return handle;
}

BOOL DestroyWindow(HWND hwnd) {
    Window* w = FromHandle(hwnd);
    if (!w || w->destroying) return FALSE;
    w->destroying = true;
    // Owned top-level windows go first, as on the handset.
    std::vector<HWND> owned;
    for (Window* o : g_zorder)
        if (o->owner == hwnd) owned.push_back(o->handle);
    for (HWND o : owned) DestroyWindow(o);
    bool wasVisible = w->visible;
    SendMessage(hwnd, WM_DESTROY, 0, 0);
    std::vector<Window*> kids = w->children;
    for (Window* c : kids) DestroyWindow(c->handle);
    if (g_capture == hwnd) g_capture = nullptr;
    if (g_focus == hwnd) g_focus = nullptr;
    KillTimer(hwnd, (UINT_PTR)-1);  // every timer of the window
    if (w->parent) {
        auto& sib = w->parent->children;
        sib.erase(std::remove(sib.begin(), sib.end(), w), sib.end());
        InvalidateWindow(w->parent, true);
    } else {
        RemoveFromZOrder(w);
        if (wasVisible) {
            // What lay under the window must be drawn again.
            for (Window* o : g_zorder)
                if (o->visible) InvalidateWindow(o, false);
        }
    }
    if (!w->parent && !w->owner && !w->text.empty()) PublishWindow(w, false);
    FreeSurface(w->surface);
    g_windows.erase((uintptr_t)hwnd);
    MarkScreenDirty();
    return TRUE;
}

BOOL IsWindow(HWND hwnd) {
    return FromHandle(hwnd) != nullptr;
}

BOOL ShowWindow(HWND hwnd, int cmd) {
    Window* w = FromHandle(hwnd);
    if (!w) return FALSE;
    bool was = w->visible;
    bool show = cmd != SW_HIDE;
    if (was == show) return was;
    w->visible = show;
    if (show) {
        w->style |= WS_VISIBLE;
        if (!w->parent) {
            // Brought to the front of its peers; soft-key bars stay under the pop-ups they serve.
            RemoveFromZOrder(w);
            g_zorder.push_back(w);
            CopyScreenUnder(w);
        }
        InvalidateWindow(w, true);
    } else {
        w->style &= ~WS_VISIBLE;
        if (w->parent) {
            InvalidateWindow(w->parent, true);
        } else {
            for (Window* o : g_zorder)
                if (o->visible) InvalidateWindow(o, false);
        }
    }
    MarkScreenDirty();
    return was;
}

BOOL UpdateWindow(HWND hwnd) {
    Window* w = FromHandle(hwnd);
    if (!w) return FALSE;
    if (w->needsPaint && w->visible) SendMessage(hwnd, WM_PAINT, 0, 0);
    return TRUE;
}

BOOL IsWindowVisible(HWND hwnd) {
    Window* w = FromHandle(hwnd);
    for (; w; w = w->parent)
        if (!w->visible) return FALSE;
    return FromHandle(hwnd) ? TRUE : FALSE;
}

HWND FindWindow(LPCWSTR className, LPCWSTR title) {
    std::wstring cls = Upper(className);
    for (Window* w : g_zorder) {
        if (className && Upper(w->className.c_str()) != cls) continue;
        if (title && w->text != title) continue;
        return w->handle;
    }
    return FindWindowOfOtherInstance(className, title);
}

BOOL SetForegroundWindow(HWND hwnd) {
    if (RaiseOtherInstance(hwnd)) return TRUE;
    Window* w = TopLevelOf(FromHandle((HWND)((uintptr_t)hwnd & ~(uintptr_t)3)));
    if (!w) return FALSE;
    RemoveFromZOrder(w);
    g_zorder.push_back(w);
    // Keep the window's soft-key bar and owned pop-ups in front of it.
    std::vector<Window*> owned;
    for (Window* o : g_zorder)
        if (o->owner == w->handle) owned.push_back(o);
    for (Window* o : owned) {
        RemoveFromZOrder(o);
        g_zorder.push_back(o);
    }
    MarkScreenDirty();
    return TRUE;
}

HWND GetForegroundWindow() {
    Window* w = ActiveWindow();
    return w ? w->handle : nullptr;
}

HWND GetParent(HWND hwnd) {
    Window* w = FromHandle(hwnd);
    if (!w) return nullptr;
    return w->parent ? w->parent->handle : w->owner;
}

BOOL GetClientRect(HWND hwnd, RECT* rc) {
    Window* w = FromHandle(hwnd);
    if (!w || !rc) return FALSE;
    *rc = RECT{0, 0, w->rect.right - w->rect.left, w->rect.bottom - w->rect.top};
    return TRUE;
}

BOOL GetWindowRect(HWND hwnd, RECT* rc) {
    Window* w = FromHandle(hwnd);
    if (!w || !rc) return FALSE;
    POINT o = ClientOrigin(w);
    *rc = RECT{o.x, o.y, o.x + (w->rect.right - w->rect.left), o.y + (w->rect.bottom - w->rect.top)};
    return TRUE;
}

BOOL SetWindowPos(HWND hwnd, HWND, int x, int y, int w, int h, UINT flags) {
    Window* win = FromHandle(hwnd);
    if (!win) return FALSE;
    RECT old = win->rect;
    int nx = (flags & SWP_NOMOVE) ? old.left : x;
    int ny = (flags & SWP_NOMOVE) ? old.top : y;
    int nw = (flags & SWP_NOSIZE) ? old.right - old.left : w;
    int nh = (flags & SWP_NOSIZE) ? old.bottom - old.top : h;
    win->rect = RECT{nx, ny, nx + nw, ny + nh};
    if (!ResizeSurface(win)) {
        win->rect = old;
        return FALSE;
    }
    if (win->visible) {
        if (!win->parent && (old.left != nx || old.top != ny)) CopyScreenUnder(win);
        if (!(flags & SWP_NOREDRAW)) InvalidateWindow(win, true);
        if (!win->parent)
            for (Window* o : g_zorder)
                if (o != win && o->visible) InvalidateWindow(o, false);
        MarkScreenDirty();
    }
    if (old.right - old.left != nw || old.bottom - old.top != nh) SendMessage(hwnd, WM_SIZE, 0, MAKELPARAM(nw, nh));
    return TRUE;
}

BOOL MoveWindow(HWND hwnd, int x, int y, int w, int h, BOOL repaint) {
    return SetWindowPos(hwnd, nullptr, x, y, w, h, SWP_NOZORDER | (repaint ? 0 : SWP_NOREDRAW));
}

BOOL ClientToScreen(HWND hwnd, POINT* pt) {
    Window* w = FromHandle(hwnd);
    if (!w || !pt) return FALSE;
    POINT o = ClientOrigin(w);
    pt->x += o.x;
    pt->y += o.y;
    return TRUE;
}

BOOL ScreenToClient(HWND hwnd, POINT* pt) {
    Window* w = FromHandle(hwnd);
    if (!w || !pt) return FALSE;
    POINT o = ClientOrigin(w);
    pt->x -= o.x;
    pt->y -= o.y;
    return TRUE;
}

BOOL InvalidateRect(HWND hwnd, const RECT*, BOOL erase) {
    if (!hwnd) {
        for (Window* w : g_zorder) InvalidateWindow(w, erase);
        return TRUE;
    }
    Window* w = FromHandle(hwnd);
    if (!w) return FALSE;
    InvalidateWindow(w, erase);
    return TRUE;
}

BOOL ValidateRect(HWND hwnd, const RECT*) {
    Window* w = FromHandle(hwnd);
    if (!w) return FALSE;
    w->needsPaint = false;
    w->eraseOnPaint = false;
    return TRUE;
}

namespace {

HDC WindowDC(Window* w) {
    Window* top = TopLevelOf(w);
    POINT o = ClientOrigin(w);
    POINT t = ClientOrigin(top);
    int ox = o.x - t.x, oy = o.y - t.y;
    // Clip to the window and to each parent's client area.
    RECT clip{0, 0, w->rect.right - w->rect.left, w->rect.bottom - w->rect.top};
    for (Window* p = w->parent; p; p = p->parent) {
        POINT po = ClientOrigin(p);
        RECT pr{po.x - o.x, po.y - o.y, po.x - o.x + (p->rect.right - p->rect.left),
                po.y - o.y + (p->rect.bottom - p->rect.top)};
        IntersectRect(&clip, &clip, &pr);
    }
    return MakeSurfaceDC(&top->surface, ox, oy, clip);
}

}  // namespace

HDC BeginPaint(HWND hwnd, PAINTSTRUCT* ps) {
    Window* w = FromHandle(hwnd);
    if (!w || !ps) return nullptr;
    bool erase = w->eraseOnPaint;
    w->needsPaint = false;
    w->eraseOnPaint = false;
    HDC dc = WindowDC(w);
    ps->hdc = dc;
    ps->fErase = FALSE;
    GetClientRect(hwnd, &ps->rcPaint);
    if (erase) ps->fErase = SendMessage(hwnd, WM_ERASEBKGND, (WPARAM)dc, 0) ? FALSE : TRUE;
    return dc;
}

BOOL EndPaint(HWND, const PAINTSTRUCT* ps) {
    if (ps && ps->hdc) FreeSurfaceDC(ps->hdc);
    MarkScreenDirty();
    return TRUE;
}

HDC GetDC(HWND hwnd) {
    if (!hwnd) {
        // The screen itself: a DC that measures (device caps) and draws nowhere lasting.
        static Surface screen;
        if (!screen.bits) AllocSurface(screen, kScreenWidth, kScreenHeight, PixelFormat::XRGB32, false);
        if (!screen.bits) return nullptr;
        return MakeSurfaceDC(&screen, 0, 0, RECT{0, 0, kScreenWidth, kScreenHeight});
    }
    Window* w = FromHandle(hwnd);
    return w ? WindowDC(w) : nullptr;
}

int ReleaseDC(HWND hwnd, HDC hdc) {
    if (!hdc) return 0;
    FreeSurfaceDC(hdc);
    if (hwnd) MarkScreenDirty();
    return 1;
}

LRESULT DefWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Window* w = FromHandle(hwnd);
    if (!w) return 0;
    switch (msg) {
        case WM_CLOSE:
            DestroyWindow(hwnd);
            return 0;
        case WM_PAINT: {
            PAINTSTRUCT ps;
            BeginPaint(hwnd, &ps);
            EndPaint(hwnd, &ps);
            return 0;
        }
        case WM_ERASEBKGND: {
            if (!w->background) return 0;
            RECT rc;
            GetClientRect(hwnd, &rc);
            FillRect((HDC)wParam, &rc, w->background);
            return 1;
        }
        case WM_SETTEXT:
            w->text = lParam ? (LPCWSTR)lParam : L"";
            InvalidateWindow(w, true);
            MarkScreenDirty();  // the task bar shows the title
            return TRUE;
        case WM_GETTEXT: {
            int max = (int)wParam;
            LPWSTR buf = (LPWSTR)lParam;
            if (!buf || max <= 0) return 0;
            int n = std::min<int>((int)w->text.size(), max - 1);
            wmemcpy(buf, w->text.data(), n);
            buf[n] = 0;
            return n;
        }
        case WM_GETTEXTLENGTH:
            return (LRESULT)w->text.size();
        case WM_SETFONT:
            w->font = (HFONT)wParam;
            if (lParam) InvalidateWindow(w, true);
            return 0;
        default:
            return 0;
    }
}

BOOL SetWindowText(HWND hwnd, LPCWSTR text) {
    return (BOOL)SendMessage(hwnd, WM_SETTEXT, 0, (LPARAM)text);
}
int GetWindowText(HWND hwnd, LPWSTR buf, int max) {
    return (int)SendMessage(hwnd, WM_GETTEXT, max, (LPARAM)buf);
}
int GetWindowTextLength(HWND hwnd) {
    return (int)SendMessage(hwnd, WM_GETTEXTLENGTH, 0, 0);
}

HWND SetCapture(HWND hwnd) {
    HWND old = g_capture;
    g_capture = FromHandle(hwnd) ? hwnd : nullptr;
    return old;
}
BOOL ReleaseCapture() {
    g_capture = nullptr;
    return TRUE;
}
HWND GetCapture() {
    return g_capture;
}

HWND SetFocus(HWND hwnd) {
    HWND old = g_focus;
    if (old == hwnd) return old;
    g_focus = FromHandle(hwnd) ? hwnd : nullptr;
    if (old && FromHandle(old)) SendMessage(old, WM_KILLFOCUS, (WPARAM)hwnd, 0);
    if (g_focus) SendMessage(g_focus, WM_SETFOCUS, (WPARAM)old, 0);
    return old;
}
HWND GetFocus() {
    return g_focus;
}

BOOL EnableWindow(HWND hwnd, BOOL enable) {
    Window* w = FromHandle(hwnd);
    if (!w) return FALSE;
    bool wasDisabled = !w->enabled;
    w->enabled = enable != 0;
    return wasDisabled;
}

BOOL IsWindowEnabled(HWND hwnd) {
    Window* w = FromHandle(hwnd);
    return w && w->enabled;
}

intptr_t SetWindowLong(HWND hwnd, int index, intptr_t value) {
    Window* w = FromHandle(hwnd);
    if (!w) return 0;
    intptr_t old = 0;
    if (index == GWL_USERDATA) {
        old = w->userData;
        w->userData = value;
    } else if (index == GWL_ID) {
        old = w->id;
        w->id = (int)value;
    }
    return old;
}

intptr_t GetWindowLong(HWND hwnd, int index) {
    Window* w = FromHandle(hwnd);
    if (!w) return 0;
    if (index == GWL_USERDATA) return w->userData;
    if (index == GWL_ID) return w->id;
    return 0;
}
