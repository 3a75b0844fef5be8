// The handset shell's pieces: the task bar with the active window's title and
// its "ok" button, soft-key bars built from menus, dialog initialisation, the
// wait cursor and the input panel switch.
#include <cwchar>

#include "platform/Backend.h"
#include "platform/WindowManager.h"
#include "platform/resources.h"

namespace platform {

namespace {

constexpr wchar_t kMenuBarClass[] = L"menu_worker";
constexpr COLORREF kBarColour = RGB(0x2A, 0x2C, 0x30);
constexpr COLORREF kBarPressed = RGB(0xF0, 0x8C, 0x1E);
constexpr COLORREF kBarText = RGB(0xF2, 0xF2, 0xF2);
constexpr int kOkLeft = kScreenWidth - 84;

HCURSOR g_cursor = nullptr;

struct MenuBarState {
    const MenuResource* menu = nullptr;
    int pressed = -1;  // soft key under the stylus, -1 none
};

MenuBarState* BarState(Window* w) {
    return reinterpret_cast<MenuBarState*>(w->userData);
}

HFONT ShellFont() {
    static HFONT font = nullptr;
    if (!font) {
        LOGFONT lf{};
        lf.lfHeight = -28;
        lf.lfWeight = FW_BOLD;
        wcscpy(lf.lfFaceName, L"Tahoma");
        font = CreateFontIndirect(&lf);
    }
    return font;
}

int SoftKeyAt(int x) {
    return x < kScreenWidth / 2 ? 0 : 1;
}

// A soft-key bar speaks for its owner, so while the owner is disabled (a modal
// panel or dialog is open over it) its keys do nothing.
bool OwnerTakesInput(Window* bar) {
    Window* owner = FromHandle(bar->owner);
    return owner && TopLevelOf(owner)->enabled;
}

void PostSoftKey(Window* bar, int index) {
    MenuBarState* st = BarState(bar);
    if (!st || !st->menu || index >= st->menu->count || !OwnerTakesInput(bar)) return;
    PostMessage(bar->owner, WM_COMMAND, MAKEWPARAM(st->menu->items[index].command, 0), 0);
}

LRESULT MenuBarProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Window* w = FromHandle(hwnd);
    if (!w) return 0;
    MenuBarState* st = BarState(w);
    switch (msg) {
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hwnd, &ps);
            RECT rc;
            GetClientRect(hwnd, &rc);
            const wchar_t* keys[2] = {nullptr, nullptr};
            for (int i = 0; st && st->menu && i < st->menu->count && i < 2; i++) keys[i] = st->menu->items[i].text;
            DrawSoftKeyBar(dc, rc, keys, st ? st->pressed : -1);
            EndPaint(hwnd, &ps);
            return 0;
        }
        case WM_ERASEBKGND:
            return 1;
        case WM_LBUTTONDOWN:
            if (!OwnerTakesInput(w)) return 0;
            if (st) st->pressed = SoftKeyAt((short)LOWORD(lParam));
            SetCapture(hwnd);
            InvalidateWindow(w, false);
            return 0;
        case WM_LBUTTONUP: {
            ReleaseCapture();
            if (!st || st->pressed < 0) return 0;
            int x = (short)LOWORD(lParam), y = (short)HIWORD(lParam);
            int key = st->pressed;
            st->pressed = -1;
            InvalidateWindow(w, false);
            RECT rc;
            GetClientRect(hwnd, &rc);
            if (y >= 0 && y < rc.bottom && x >= 0 && x < rc.right && SoftKeyAt(x) == key) PostSoftKey(w, key);
            return 0;
        }
        case WM_DESTROY:
            if (Window* owner = FromHandle(w->owner))
                if (owner->menuBar == hwnd) owner->menuBar = nullptr;
            delete st;
            w->userData = 0;
            return 0;
        default:
            return DefWindowProc(hwnd, msg, wParam, lParam);
    }
}

Window* TopMenuBar() {
    const auto& z = ZOrder();
    for (auto it = z.rbegin(); it != z.rend(); ++it)
        if ((*it)->isMenuBar && (*it)->visible) return *it;
    return nullptr;
}

}  // namespace

void DrawSoftKeyBar(HDC dc, const RECT& bar, const wchar_t* const keys[2], int pressed) {
    HBRUSH bg = CreateSolidBrush(kBarColour);
    FillRect(dc, &bar, bg);
    DeleteObject(bg);
    if (!keys[0] && !keys[1]) return;
    const int half = (bar.right - bar.left) / 2;
    HGDIOBJ old = SelectObject(dc, ShellFont());
    SetBkMode(dc, TRANSPARENT);
    for (int i = 0; i < 2; i++) {
        if (!keys[i]) continue;
        RECT key{bar.left + i * half, bar.top, bar.left + (i + 1) * half, bar.bottom};
        if (pressed == i) {
            HBRUSH hb = CreateSolidBrush(kBarPressed);
            FillRect(dc, &key, hb);
            DeleteObject(hb);
        }
        SetTextColor(dc, pressed == i ? RGB(0x20, 0x20, 0x20) : kBarText);
        DrawText(dc, keys[i], (int)wcslen(keys[i]), &key, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    }
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(0x55, 0x58, 0x5E));
    HGDIOBJ oldPen = SelectObject(dc, pen);
    MoveToEx(dc, bar.left + half, bar.top + 10, nullptr);
    LineTo(dc, bar.left + half, bar.bottom - 10);
    SelectObject(dc, oldPen);
    DeleteObject(pen);
    SelectObject(dc, old);
}

void RegisterShellClasses() {
    WNDCLASS wc{};
    wc.lpfnWndProc = MenuBarProc;
    wc.lpszClassName = kMenuBarClass;
    RegisterClass(&wc);
    RegisterChooserClass();
}

bool SoftKeyFromKey(UINT vk) {
    Window* bar = TopMenuBar();
    if (!bar || !OwnerTakesInput(bar)) return false;
    PostSoftKey(bar, vk == VK_F1 ? 0 : 1);
    return true;
}

// The window the task bar speaks for: the topmost one with a title (untitled
// pop-ups such as message panels leave it to the window under them), else the
// active one.
static Window* TaskBarWindow() {
    const auto& z = ZOrder();
    for (auto it = z.rbegin(); it != z.rend(); ++it)
        if ((*it)->visible && !(*it)->isMenuBar && !(*it)->text.empty()) return *it;
    return ActiveWindow();
}

void DrawTaskBar(Surface& screen) {
    HDC dc = MakeSurfaceDC(&screen, 0, 0, RECT{0, 0, kScreenWidth, kTaskBarHeight});
    if (!dc) return;
    RECT bar{0, 0, kScreenWidth, kTaskBarHeight};
    HBRUSH bg = CreateSolidBrush(RGB(0x16, 0x17, 0x1A));
    FillRect(dc, &bar, bg);
    DeleteObject(bg);
    Window* active = TaskBarWindow();
    HGDIOBJ old = SelectObject(dc, ShellFont());
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, kBarText);
    if (active) {
        RECT title{16, 0, kOkLeft - 8, kTaskBarHeight};
        DrawText(dc, active->text.c_str(), (int)active->text.size(), &title,
                 DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
        if (active->shellDialogFlags & SHIDIF_DONEBUTTON) {
            RECT ok{kOkLeft + 8, 8, kScreenWidth - 8, kTaskBarHeight - 8};
            HBRUSH hb = CreateSolidBrush(RGB(0x3A, 0x3D, 0x44));
            FillRect(dc, &ok, hb);
            DeleteObject(hb);
            DrawText(dc, L"ok", 2, &ok, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        }
    }
    SelectObject(dc, old);
    FreeSurfaceDC(dc);
}

bool TaskBarTap(int x, int) {
    // The "ok" drawn for a window answers only while that window takes input.
    Window* active = TaskBarWindow();
    if (!active || !active->enabled || !(active->shellDialogFlags & SHIDIF_DONEBUTTON) || x < kOkLeft) return false;
    PostMessage(active->handle, WM_COMMAND, MAKEWPARAM(IDOK, 0), 0);
    return true;
}

void ResetShell() {
    g_cursor = nullptr;
}

}  // namespace platform

using namespace platform;

BOOL SHCreateMenuBar(SHMENUBARINFO* info) {
    if (!info || info->cbSize < sizeof(DWORD) * 5) return FALSE;
    Window* owner = FromHandle(info->hwndParent);
    if (!owner) return FALSE;
    RegisterBuiltinClasses();
    const MenuResource* menu = nullptr;
    if (!(info->dwFlags & SHCMBF_EMPTYBAR)) {
        menu = FindMenuResource(info->hInstRes, (int)info->nToolBarId);
        if (!menu) return FALSE;
    }
    if (owner->menuBar) DestroyWindow(owner->menuBar);
    HWND bar = CreateWindowEx(0, kMenuBarClass, L"", 0, 0, kScreenHeight - kMenuBarHeight, kScreenWidth, kMenuBarHeight,
                              info->hwndParent, nullptr, info->hInstRes, nullptr);
    Window* w = FromHandle(bar);
    if (!w) return FALSE;
    w->isMenuBar = true;
    auto* st = new MenuBarState;
    st->menu = menu;
    w->userData = reinterpret_cast<intptr_t>(st);
    owner->menuBar = bar;
    if (!(info->dwFlags & SHCMBF_HIDDEN)) ShowWindow(bar, SW_SHOW);
    info->hwndMB = bar;
    return TRUE;
}

BOOL SHInitDialog(SHINITDLGINFO* info) {
    if (!info || !(info->dwMask & SHIDIM_FLAGS)) return FALSE;
    Window* w = FromHandle(info->hDlg);
    if (!w) return FALSE;
    w->shellDialogFlags = info->dwFlags;
    if (info->dwFlags & SHIDIF_SIZEDLGFULLSCREEN)
        MoveWindow(info->hDlg, 0, kTaskBarHeight, kScreenWidth, kScreenHeight - kTaskBarHeight - kMenuBarHeight, FALSE);
    if (info->dwFlags & SHIDIF_EMPTYMENU) {
        SHMENUBARINFO mb{};
        mb.cbSize = sizeof mb;
        mb.hwndParent = info->hDlg;
        mb.dwFlags = SHCMBF_EMPTYBAR;
        mb.hInstRes = w->instance;
        SHCreateMenuBar(&mb);
    }
    MarkScreenDirty();
    return TRUE;
}

BOOL SHInitExtraControls() {
    RegisterBuiltinClasses();
    return TRUE;
}

// On the handset this hides or shows the shell's own bars around a window. Our
// windows are already laid out between them, so there is nothing to change.
BOOL SHFullScreenWindow(HWND hwnd, DWORD) {
    return IsWindow(hwnd);
}

// The handset's shell keeps the input panel in step with activation; a desktop
// keyboard needs no such care.
BOOL SHHandleWMActivate(HWND hwnd, WPARAM, LPARAM, SHACTIVATEINFO*, DWORD) {
    return IsWindow(hwnd);
}
BOOL SHHandleWMSettingChange(HWND hwnd, WPARAM, LPARAM, SHACTIVATEINFO*) {
    return IsWindow(hwnd);
}

BOOL SipShowIM(DWORD) {
    return TRUE;  // there is no input panel to show or hide
}

HCURSOR LoadCursor(HINSTANCE, LPCWSTR name) {
    static int arrow, wait;
    return (HCURSOR)(name == IDC_WAIT ? &wait : &arrow);
}

HCURSOR SetCursor(HCURSOR cursor) {
    HCURSOR old = g_cursor ? g_cursor : LoadCursor(nullptr, IDC_ARROW);
    g_cursor = cursor;
    if (CurrentBackend()) CurrentBackend()->SetBusyCursor(cursor == LoadCursor(nullptr, IDC_WAIT));
    return old;
}
