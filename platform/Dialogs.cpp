// The dialog manager: dialogs built from templates, run modally with their own
// message loop or modeless through the program's loop.
#include <cwchar>

#include "platform/WindowManager.h"
#include "platform/resources.h"

namespace platform {

namespace {

constexpr wchar_t kDialogClass[] = L"Dialog";

HWND CreateFromTemplate(HINSTANCE instance, LPCWSTR templateName, HWND owner, DLGPROC proc) {
    RegisterBuiltinClasses();
    const DialogResource* t = FindDialogResource(instance, (int)(uintptr_t)templateName);
    if (!t) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    int x = t->x, y = t->y, w = t->w, h = t->h;
    if (w <= 0 || h <= 0) {
        // A template without a size fills the work area above the soft-key bar.
        x = 0;
        y = kTaskBarHeight;
        w = kScreenWidth;
        h = kScreenHeight - kTaskBarHeight - kMenuBarHeight;
    }
    HWND dlg = CreateWindowEx(0, kDialogClass, t->title, t->style & ~WS_VISIBLE, x, y, w, h, owner, nullptr, instance,
                              nullptr);
    Window* win = FromHandle(dlg);
    if (!win) return nullptr;
    win->isDialog = true;
    win->dlgProc = proc;
    HFONT font = nullptr;
    if (t->fontFace && t->fontSize > 0) {
        LOGFONT lf{};
        lf.lfHeight = -(t->fontSize * 192 + 36) / 72;  // points at 192 dots per inch
        lf.lfWeight = FW_NORMAL;
        wcsncpy(lf.lfFaceName, t->fontFace, LF_FACESIZE - 1);
        font = CreateFontIndirect(&lf);
        win->font = font;
    }
    for (int i = 0; i < t->count; i++) {
        const DialogControlResource& c = t->controls[i];
        HWND ctl = CreateWindowEx(0, c.className, c.text, c.style | WS_CHILD, c.x, c.y, c.w, c.h, dlg,
                                  (HMENU)(uintptr_t)c.id, instance, nullptr);
        if (ctl && font) SendMessage(ctl, WM_SETFONT, (WPARAM)font, 0);
    }
    return dlg;
}

}  // namespace

LRESULT DialogWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Window* w = FromHandle(hwnd);
    if (!w) return 0;
    // The program's procedure comes first, and what it handles is done; only
    // WM_DESTROY always goes on below, so the template's font goes with the
    // window whatever the procedure did.
    if (w->dlgProc) {
        INT_PTR r = w->dlgProc(hwnd, msg, wParam, lParam);
        if (msg == WM_CTLCOLORSTATIC || msg == WM_CTLCOLOREDIT || msg == WM_CTLCOLORDLG) {
            if (r) return r;
        } else if (r && msg != WM_DESTROY) {
            return 0;
        }
    }
    if (!(w = FromHandle(hwnd))) return 0;
    switch (msg) {
        case WM_ERASEBKGND: {
            // The background is the brush the procedure gives for WM_CTLCOLORDLG, white without one.
            HBRUSH brush = nullptr;
            if (w->dlgProc) brush = (HBRUSH)w->dlgProc(hwnd, WM_CTLCOLORDLG, wParam, (LPARAM)hwnd);
            RECT rc;
            GetClientRect(hwnd, &rc);
            FillRect((HDC)wParam, &rc, brush ? brush : GetStockObject(WHITE_BRUSH));
            return 1;
        }
        case WM_CLOSE:
            return 0;  // a dialog closes only through its own procedure
        case WM_DESTROY:
            if (w->font) {
                DeleteObject(w->font);
                w->font = nullptr;
            }
            return 0;
        default:
            return DefWindowProc(hwnd, msg, wParam, lParam);
    }
}

void RunModal(HWND window, HWND owner, bool enableOwner, const std::function<bool()>& done) {
    if (IsWindow(window)) ShowWindow(window, SW_SHOW);
    MSG msg;
    while (IsWindow(window) && !done()) {
        if (!GetMessage(&msg, nullptr, 0, 0)) {
            PostQuitMessage((int)msg.wParam);  // the outer loop ends too
            break;
        }
        TranslateMessage(&msg);
        DispatchMessage(&msg);
    }
    if (owner && IsWindow(owner) && enableOwner) EnableWindow(owner, TRUE);
    if (IsWindow(window)) DestroyWindow(window);
}

}  // namespace platform

using namespace platform;

INT_PTR DialogBoxParam(HINSTANCE instance, LPCWSTR templateName, HWND owner, DLGPROC proc, LPARAM param) {
    HWND dlg = CreateFromTemplate(instance, templateName, owner, proc);
    if (!dlg) return -1;
    bool ownerWasEnabled = owner && IsWindow(owner) && !EnableWindow(owner, FALSE);
    HWND oldCapture = GetCapture();
    if (oldCapture) ReleaseCapture();
    SendMessage(dlg, WM_INITDIALOG, 0, param);
    INT_PTR result = -1;
    RunModal(dlg, owner, ownerWasEnabled, [&] {
        Window* w = FromHandle(dlg);
        if (w && w->modalEnded) result = w->modalResult;
        return w && w->modalEnded;
    });
    return result;
}

HWND CreateDialogParam(HINSTANCE instance, LPCWSTR templateName, HWND owner, DLGPROC proc, LPARAM param) {
    HWND dlg = CreateFromTemplate(instance, templateName, owner, proc);
    if (!dlg) return nullptr;
    SendMessage(dlg, WM_INITDIALOG, 0, param);
    Window* w = FromHandle(dlg);
    if (w && (FindDialogResource(instance, (int)(uintptr_t)templateName)->style & WS_VISIBLE)) ShowWindow(dlg, SW_SHOW);
    return IsWindow(dlg) ? dlg : nullptr;
}

BOOL EndDialog(HWND dlg, INT_PTR result) {
    Window* w = FromHandle(dlg);
    if (!w || !w->isDialog) return FALSE;
    w->modalEnded = true;
    w->modalResult = result;
    return TRUE;
}

HWND GetDlgItem(HWND dlg, int id) {
    Window* w = FromHandle(dlg);
    if (!w) return nullptr;
    for (Window* c : w->children)
        if (c->id == id) return c->handle;
    return nullptr;
}

BOOL SetDlgItemText(HWND dlg, int id, LPCWSTR text) {
    HWND item = GetDlgItem(dlg, id);
    return item ? SetWindowText(item, text) : FALSE;
}

UINT GetDlgItemText(HWND dlg, int id, LPWSTR buf, int max) {
    HWND item = GetDlgItem(dlg, id);
    if (!item) {
        if (buf && max > 0) buf[0] = 0;
        return 0;
    }
    return (UINT)GetWindowText(item, buf, max);
}
