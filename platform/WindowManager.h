// Internal records of the window manager, shared by the message loop, dialogs,
// controls, shell pieces and backends. Only platform/ includes it.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "platform/raster.h"
#include "platform/win32.h"

namespace platform {

class Backend;

struct WindowClass {
    std::wstring name;
    WNDCLASS wc{};
};

struct Window {
    HWND handle = nullptr;
    std::wstring className;
    WNDPROC proc = nullptr;
    DLGPROC dlgProc = nullptr;  // dialogs: the program's procedure behind the dialog manager
    HINSTANCE instance = nullptr;
    std::wstring text;
    DWORD style = 0;
    RECT rect{};               // top-level: screen pixels; child: parent's client pixels
    Window* parent = nullptr;  // children only
    HWND owner = nullptr;      // top-level windows owned by another (dialogs, bars)
    std::vector<Window*> children;
    Surface surface;  // top-level windows only: the window's pixels
    HBRUSH background = nullptr;
    bool visible = false;
    bool enabled = true;
    bool needsPaint = false;
    bool eraseOnPaint = false;
    bool destroying = false;
    int id = 0;
    intptr_t userData = 0;
    HFONT font = nullptr;
    // Dialogs
    bool isDialog = false;
    bool modalEnded = false;
    INT_PTR modalResult = 0;
    DWORD shellDialogFlags = 0;  // SHInitDialog flags: done button in the task bar
    // Shell
    bool isMenuBar = false;
    HWND menuBar = nullptr;  // the soft-key bar this window created
    // Edit control state
    size_t caret = 0;
    int scrollX = 0;
};

Window* FromHandle(HWND hwnd);
Window* TopLevelOf(Window* w);
// Top-level windows, bottom first.
const std::vector<Window*>& ZOrder();
// The topmost visible enabled top-level window that is not a soft-key bar.
Window* ActiveWindow();
// Screen position of a window's client origin.
POINT ClientOrigin(Window* w);
void InvalidateWindow(Window* w, bool erase);

// Composes every visible top-level window and the task bar into `screen`
// (XRGB32, screen-sized); with `below`, only the windows under that one.
void ComposeScreen(Surface& screen, const Window* below = nullptr);
bool ScreenDirty();
void ClearScreenDirty();

// Input from a backend, in screen pixels.
enum class StylusAction { Down, Move, Up };
void InputStylus(StylusAction action, int x, int y);
void InputKey(UINT vk, bool down, bool ctrl);
void InputChar(wchar_t ch);
// Called when the backend wants the program to end (window closed, script done).
void InputQuit();

// Timers
DWORD Now();
// Milliseconds until the next timer is due; -1 when none runs.
int NextTimerDelay();

// The shell's task bar (drawn while composing) and its "ok" button.
void DrawTaskBar(Surface& screen);
bool TaskBarTap(int x, int y);
// Soft-key bars answer F1 and F2 for the active window.
bool SoftKeyFromKey(UINT vk);

// Dialog manager: the procedure behind every dialog window.
LRESULT DialogWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
// Built-in control classes.
void RegisterBuiltinClasses();
void ResetBuiltinClasses();
// Text in the system code page (UTF-8) and back; characters that cannot be
// converted become '?'.
std::wstring Widen(const std::string& text);
std::string Narrow(const std::wstring& text);

// The modal part of a dialog or the chooser: shows `window`, runs messages until
// `done` says so, the window is gone or WM_QUIT comes (which is posted again for
// the program's own loop), then gives the owner its input back when
// `enableOwner` and destroys the window.
void RunModal(HWND window, HWND owner, bool enableOwner, const std::function<bool()>& done);

// Draws a soft-key bar into `bar`: two halves with their texts (a null text
// leaves its half empty), the `pressed` one (0 or 1, -1 none) in the accent.
void DrawSoftKeyBar(HDC dc, const RECT& bar, const wchar_t* const keys[2], int pressed);

// The shell's own classes: the soft-key bar and the picture chooser.
void RegisterShellClasses();
void RegisterChooserClass();
// Picks a file in an open chooser as a tap on it would (scripted runs); false when
// no chooser is open or the file is not listed. With `switchFilter`, a file the
// current filter hides is shown first by stepping the filter on, as a user
// would. `why`, when given, receives what stood in the way of a failed choice.
bool ChooserChoose(const std::wstring& name, bool switchFilter = false, std::string* why = nullptr);
// In an open folder picker, opens the folder `path` ("sub", "sub/inner", "..",
// or "." for the folder shown) as taps would and chooses it; false, with the
// picker where it was, when no folder picker is open or the folder cannot be
// chosen, `why` then saying what stood in the way.
bool ChooserChooseFolder(const std::wstring& path, std::string* why = nullptr);
// Handles keys for dialog controls (edit focus); true when consumed.
bool RouteKeyToFocus(const MSG& msg);

// Another running instance's window, seen through its window file; a proxy
// handle that SetForegroundWindow turns into a request to come to the front.
HWND FindWindowOfOtherInstance(LPCWSTR className, LPCWSTR title);
bool RaiseOtherInstance(HWND proxy);
// Publishes or withdraws this process's main window for other instances.
void PublishWindow(Window* w, bool present);
// True once when another instance asked this one to come to the front.
bool TakeRaiseRequest();

// The backend in use.
Backend* CurrentBackend();
const Options& CurrentOptions();
void SetStateReporterCalled(std::string& out);
// Resets the window manager's module state (Shutdown).
void ResetWindowManager();
void ResetMessageQueue();
void ResetShell();

}  // namespace platform
