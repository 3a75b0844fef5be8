// The main window: the loaded picture and its reduced copy, the subject mask,
// the state of the work on them, and the handling of every command, bar button
// and stylus event.
#pragma once

#include <cstdint>
#include <string>

#include "ZoomControls/SpanRect.h"
#include "imaging/ImageRecord.h"
#include "platform/win32.h"

class ButtonBar;
class ZoomController;

// Commands (low word of WM_COMMAND's wParam) besides those the resources send
// (CMD_SAVE, CMD_MENU, CMD_QUIT, CMD_ABOUT in resources/resource_ids.h).
enum {
    CMD_OPEN = 32771,
    CMD_EXIT = 32772,
    CMD_ZOOM_IN = 32773,
    CMD_ZOOM_OUT = 32774,
    CMD_SAVE_AS = 32817,
    CMD_POPUP_SECOND = 32818,
};

// Sent by the Save pop-up when it closes.
constexpr UINT WM_POPUP_CLOSED = 1529;

// Pictures whose pixels take more bytes than this are refused on open, by
// default: two million pixels, as the handset holds. A desktop user may lift
// the limit with --max-pixels or the setting below.
constexpr int kMaxOpenBytes = 6000000;
// Where the setting lives: DWORD "MaxPixels" under this key of the settings file.
constexpr wchar_t kSettingsKey[] = L"Software\\Lumetra";
constexpr wchar_t kMaxPixelsValue[] = L"MaxPixels";

// The open limit in pixels (a picture of more is refused with "  Open image
// under 2M"), from 1 to the readers' own limit; 0 reads the setting, and
// without one keeps the default. Called before the window is made.
void SetMaxOpenPixels(int64_t pixels);
// The open limit in bytes of pixels now in force.
int64_t MaxOpenBytes();

struct AppState {
    ImageRecord reduced;
    ImageRecord full;
    HINSTANCE instance;
    HWND window;
    HANDLE mutex;
    uint8_t* backup;
    uint8_t* mask;
    SpanRect dstSpan;
    POINT focus;
    ZoomController* zoomController;
    HWND menuBar;
    int lastX, lastY;
    int state;
    int subjectFound;
    int showBackup;
    int brushMode;
    HWND popup;
    int tracking;
    ButtonBar* buttonBar;
    int pressedButton;
    int dragArmed;
    int barPress;
};

extern AppState g_app;
extern int g_level;
extern float g_zoom;
extern RECT g_clientRect;
extern SpanRect g_srcSpan;
extern POINT g_pressPoint;
// Subject rectangle of the last Find: left, right, top, bottom.
extern int32_t g_subjectRect[4];

LRESULT MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The window's state as key=value lines, for scripted runs and tests.
std::string DescribeMainWindowState();
