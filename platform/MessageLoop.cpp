// The message queue, timers on the backend's clock, accelerators and the routing
// of stylus and key input to windows. Order of delivery follows the handset:
// posted and input messages first, then WM_PAINT for windows that need it, then
// WM_TIMER for timers that are due; only when none is left does the loop wait.
#include <algorithm>
#include <deque>

#include "platform/Backend.h"
#include "platform/WindowManager.h"
#include "platform/resources.h"

namespace platform {

namespace {

struct Timer {
    HWND hwnd;
    UINT_PTR id;
    UINT interval;
    DWORD due;
    uint64_t order;
};

std::deque<MSG> g_queue;
std::vector<Timer> g_timers;
uint64_t g_timerOrder = 0;
bool g_quitPending = false;
int g_quitCode = 0;
bool g_stylusDown = false;
HWND g_stylusTarget = nullptr;

Window* PaintCandidate(Window* w) {
    if (!w->visible) return nullptr;
    if (w->needsPaint) return w;
    for (Window* c : w->children)
        if (Window* p = PaintCandidate(c)) return p;
    return nullptr;
}

Window* NeedsPaint() {
    for (Window* w : ZOrder())
        if (Window* p = PaintCandidate(w)) return p;
    return nullptr;
}

Timer* DueTimer() {
    DWORD now = Now();
    Timer* best = nullptr;
    for (auto& t : g_timers) {
        if ((int32_t)(t.due - now) > 0) continue;
        if (!best || (int32_t)(t.due - best->due) < 0 || (t.due == best->due && t.order < best->order)) best = &t;
    }
    return best;
}

Window* HitTest(Window* w, int x, int y) {
    // x, y in w's parent's client coordinates (screen for top-level windows).
    if (!w->visible || x < w->rect.left || x >= w->rect.right || y < w->rect.top || y >= w->rect.bottom) return nullptr;
    int cx = x - w->rect.left, cy = y - w->rect.top;
    for (auto it = w->children.rbegin(); it != w->children.rend(); ++it)
        if (Window* hit = HitTest(*it, cx, cy)) return hit;
    return w;
}

void PostInput(HWND target, UINT msg, int sx, int sy) {
    Window* w = FromHandle(target);
    if (!w) return;
    POINT o = ClientOrigin(w);
    int cx = sx - o.x, cy = sy - o.y;
    PostMessage(target, msg, msg == WM_LBUTTONUP ? 0 : MK_LBUTTON, MAKELPARAM(cx, cy));
}

}  // namespace

DWORD Now() {
    return CurrentBackend() ? CurrentBackend()->Now() : 0;
}

int NextTimerDelay() {
    if (g_timers.empty()) return -1;
    DWORD now = Now();
    int best = INT32_MAX;
    for (auto& t : g_timers) best = std::min(best, std::max(0, (int)(int32_t)(t.due - now)));
    return best;
}

void InputStylus(StylusAction action, int x, int y) {
    if (action == StylusAction::Down) {
        g_stylusDown = true;
        if (y < kTaskBarHeight && !GetCapture()) {
            g_stylusTarget = nullptr;
            TaskBarTap(x, y);
            return;
        }
        HWND target = GetCapture();
        if (!target) {
            Window* hit = nullptr;
            const auto& z = ZOrder();
            for (auto it = z.rbegin(); it != z.rend() && !hit; ++it) hit = HitTest(*it, x, y);
            // A window under a modal dialog takes no input.
            if (!hit || !TopLevelOf(hit)->enabled) {
                g_stylusTarget = nullptr;
                return;
            }
            target = hit->handle;
            if (hit->className == L"Edit") SetFocus(target);
        }
        g_stylusTarget = target;
        PostInput(target, WM_LBUTTONDOWN, x, y);
        return;
    }
    if (!g_stylusDown) return;  // a touch screen reports no hovering
    HWND target = GetCapture() ? GetCapture() : g_stylusTarget;
    if (action == StylusAction::Up) g_stylusDown = false;
    if (!target) return;
    PostInput(target, action == StylusAction::Move ? WM_MOUSEMOVE : WM_LBUTTONUP, x, y);
}

// Where keys and characters go: the focused window, unless it sits under a modal
// dialog (or nothing has the focus); then the active window.
static HWND KeyboardTarget() {
    HWND target = GetFocus();
    if (!target || !TopLevelOf(FromHandle(target))->enabled) {
        Window* a = ActiveWindow();
        target = a ? a->handle : nullptr;
    }
    return target;
}

void InputKey(UINT vk, bool down, bool ctrl) {
    if (down && (vk == VK_F1 || vk == VK_F2) && SoftKeyFromKey(vk)) return;
    if (HWND target = KeyboardTarget()) PostMessage(target, down ? WM_KEYDOWN : WM_KEYUP, vk, ctrl ? 1 : 0);
}

void InputChar(wchar_t ch) {
    if (HWND target = KeyboardTarget()) PostMessage(target, WM_CHAR, (WPARAM)ch, 0);
}

void InputQuit() {
    g_quitPending = true;
    g_quitCode = 0;
}

void ResetMessageQueue() {
    g_queue.clear();
    g_timers.clear();
    g_quitPending = false;
    g_quitCode = 0;
    g_stylusDown = false;
    g_stylusTarget = nullptr;
}

}  // namespace platform

using namespace platform;

BOOL PostMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (hwnd && !FromHandle(hwnd)) return FALSE;
    g_queue.push_back(MSG{hwnd, msg, wParam, lParam, Now(), {0, 0}});
    return TRUE;
}

LRESULT SendMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Window* w = FromHandle(hwnd);
    if (!w || !w->proc) return 0;
    return w->proc(hwnd, msg, wParam, lParam);
}

void PostQuitMessage(int code) {
    g_quitPending = true;
    g_quitCode = code;
}

BOOL PeekMessage(MSG* msg, HWND, UINT, UINT, UINT remove) {
    if (!msg) return FALSE;
    if (!g_queue.empty()) {
        *msg = g_queue.front();
        if (remove) g_queue.pop_front();
        return TRUE;
    }
    if (g_quitPending) {
        *msg = MSG{nullptr, WM_QUIT, (WPARAM)g_quitCode, 0, Now(), {0, 0}};
        if (remove) g_quitPending = false;
        return TRUE;
    }
    if (Window* w = NeedsPaint()) {
        *msg = MSG{w->handle, WM_PAINT, 0, 0, Now(), {0, 0}};
        return TRUE;
    }
    if (Timer* t = DueTimer()) {
        *msg = MSG{t->hwnd, WM_TIMER, t->id, 0, Now(), {0, 0}};
        if (remove) {
            t->due = Now() + t->interval;
            t->order = g_timerOrder++;
        }
        return TRUE;
    }
    return FALSE;
}

BOOL GetMessage(MSG* msg, HWND hwnd, UINT first, UINT last) {
    for (;;) {
        if (PeekMessage(msg, hwnd, first, last, PM_REMOVE)) return msg->message != WM_QUIT;
        Backend* backend = CurrentBackend();
        if (!backend) {
            InputQuit();
            continue;
        }
        if (TakeRaiseRequest()) {
            if (Window* w = ActiveWindow()) SetForegroundWindow(w->handle);
            backend->Raise();
        }
        if (ScreenDirty()) {
            backend->Present();
            ClearScreenDirty();
        }
        if (!backend->Wait(NextTimerDelay())) InputQuit();
    }
}

BOOL TranslateMessage(const MSG* msg) {
    if (!msg || msg->message != WM_KEYDOWN) return FALSE;
    if (msg->wParam == VK_BACK || msg->wParam == VK_RETURN) {
        g_queue.push_front(MSG{msg->hwnd, WM_CHAR, msg->wParam == VK_BACK ? (WPARAM)8 : (WPARAM)13, 0, Now(), {0, 0}});
        return TRUE;
    }
    return FALSE;
}

LRESULT DispatchMessage(const MSG* msg) {
    if (!msg || !msg->hwnd) return 0;
    Window* w = FromHandle(msg->hwnd);
    if (!w) return 0;
    LRESULT r = SendMessage(msg->hwnd, msg->message, msg->wParam, msg->lParam);
    if (msg->message == WM_PAINT) {
        // A window that did not validate itself would be asked forever.
        if ((w = FromHandle(msg->hwnd))) ValidateRect(msg->hwnd, nullptr);
    }
    return r;
}

HACCEL LoadAccelerators(HINSTANCE instance, LPCWSTR name) {
    return (HACCEL)FindAccelResource(instance, (int)(uintptr_t)name);
}

int TranslateAccelerator(HWND hwnd, HACCEL accel, MSG* msg) {
    auto* table = (const AccelResource*)accel;
    if (!table || !msg || msg->message != WM_KEYDOWN || !hwnd) return 0;
    bool ctrl = msg->lParam & 1;
    for (int i = 0; i < table->count; i++) {
        const ACCEL& a = table->entries[i];
        if (!(a.fVirt & FVIRTKEY) || a.key != msg->wParam) continue;
        if (((a.fVirt & FCONTROL) != 0) != ctrl) continue;
        SendMessage(hwnd, WM_COMMAND, MAKEWPARAM(a.cmd, 1), 0);
        return 1;
    }
    return 0;
}

UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapseMs, void*) {
    if (!FromHandle(hwnd)) return 0;
    KillTimer(hwnd, id);
    g_timers.push_back(Timer{hwnd, id, std::max(1u, elapseMs), Now() + std::max(1u, elapseMs), g_timerOrder++});
    return id;
}

BOOL KillTimer(HWND hwnd, UINT_PTR id) {
    size_t before = g_timers.size();
    g_timers.erase(std::remove_if(g_timers.begin(), g_timers.end(),
                                  [&](const Timer& t) { return t.hwnd == hwnd && (t.id == id || id == (UINT_PTR)-1); }),
                   g_timers.end());
    return g_timers.size() != before;
}

DWORD GetTickCount() {
    return Now();
}
