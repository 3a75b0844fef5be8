// Lumetra's stand-in for the handset's window system: a small, Win32-flavoured
// subset of the window manager, GDI, shell, registry and imaging service.
//
// The system's own code includes this header only. Everything here is implemented
// over one software raster (platform/raster.h) and one of two backends: SDL2 for
// a real window, headless for tests and scripted runs (platform/backend.h).
//
// Text is wide (wchar_t). The "system code page" for the narrow conversions is
// UTF-8, so file names round-trip unchanged.
#pragma once

#include <cstddef>
#include <cstdint>

// ---------------------------------------------------------------------------
// Basic types
typedef int BOOL;
typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef unsigned int UINT;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t LRESULT;
typedef intptr_t INT_PTR;
typedef uintptr_t UINT_PTR;
typedef wchar_t WCHAR;
typedef wchar_t TCHAR;
typedef WCHAR* LPWSTR;
typedef const WCHAR* LPCWSTR;
typedef LPWSTR LPTSTR;
typedef LPCWSTR LPCTSTR;
typedef void* LPVOID;
typedef DWORD COLORREF;
typedef LONG HRESULT;
typedef WORD ATOM;

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

#define DECLARE_HANDLE(name) \
    struct name##__;         \
    typedef struct name##__* name
DECLARE_HANDLE(HWND);
DECLARE_HANDLE(HINSTANCE);
DECLARE_HANDLE(HDC);
DECLARE_HANDLE(HGDIOBJ);
DECLARE_HANDLE(HACCEL);
DECLARE_HANDLE(HMENU);
DECLARE_HANDLE(HCURSOR);
DECLARE_HANDLE(HICON);
DECLARE_HANDLE(HRSRC);
DECLARE_HANDLE(HGLOBAL);
DECLARE_HANDLE(HKEY);
typedef HGDIOBJ HBITMAP;
typedef HGDIOBJ HBRUSH;
typedef HGDIOBJ HPEN;
typedef HGDIOBJ HFONT;
typedef void* HANDLE;
typedef HINSTANCE HMODULE;

struct RECT {
    LONG left, top, right, bottom;
};
typedef RECT* LPRECT;
struct POINT {
    LONG x, y;
};
struct SIZE {
    LONG cx, cy;
};

#define LOWORD(l) ((WORD)(((uintptr_t)(l)) & 0xffff))
#define HIWORD(l) ((WORD)((((uintptr_t)(l)) >> 16) & 0xffff))
#define MAKELONG(a, b) ((LONG)(((WORD)(a)) | ((DWORD)((WORD)(b))) << 16))
#define MAKELPARAM(l, h) ((LPARAM)(DWORD)MAKELONG(l, h))
#define MAKEWPARAM(l, h) ((WPARAM)(DWORD)MAKELONG(l, h))
#define RGB(r, g, b) ((COLORREF)(((BYTE)(r) | ((WORD)((BYTE)(g)) << 8)) | (((DWORD)(BYTE)(b)) << 16)))
#define GetRValue(c) ((BYTE)(c))
#define GetGValue(c) ((BYTE)((c) >> 8))
#define GetBValue(c) ((BYTE)((c) >> 16))
#define MAKEINTRESOURCE(i) ((LPCWSTR)(uintptr_t)(WORD)(i))
#define IS_INTRESOURCE(p) ((((uintptr_t)(p)) >> 16) == 0)

#define S_OK ((HRESULT)0)
#define S_FALSE ((HRESULT)1)
#define E_FAIL ((HRESULT)0x80004005L)
#define E_OUTOFMEMORY ((HRESULT)0x8007000EL)
#define E_INVALIDARG ((HRESULT)0x80070057L)
#define E_POINTER ((HRESULT)0x80004003L)
#define E_NOINTERFACE ((HRESULT)0x80004002L)
#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#define FAILED(hr) (((HRESULT)(hr)) < 0)

// ---------------------------------------------------------------------------
// Messages
#define WM_NULL 0x0000
#define WM_CREATE 0x0001
#define WM_DESTROY 0x0002
#define WM_MOVE 0x0003
#define WM_SIZE 0x0005
#define WM_ACTIVATE 0x0006
#define WM_SETFOCUS 0x0007
#define WM_KILLFOCUS 0x0008
#define WM_SETTEXT 0x000C
#define WM_GETTEXT 0x000D
#define WM_GETTEXTLENGTH 0x000E
#define WM_PAINT 0x000F
#define WM_CLOSE 0x0010
#define WM_QUIT 0x0012
#define WM_ERASEBKGND 0x0014
#define WM_SETTINGCHANGE 0x001A
#define WM_SETCURSOR 0x0020
#define WM_SETFONT 0x0030
#define WM_KEYDOWN 0x0100
#define WM_KEYUP 0x0101
#define WM_CHAR 0x0102
#define WM_INITDIALOG 0x0110
#define WM_COMMAND 0x0111
#define WM_TIMER 0x0113
#define WM_INITMENUPOPUP 0x0117
#define WM_CTLCOLORDLG 0x0136
#define WM_CTLCOLOREDIT 0x0133
#define WM_CTLCOLORSTATIC 0x0138
#define WM_MOUSEMOVE 0x0200
#define WM_LBUTTONDOWN 0x0201
#define WM_LBUTTONUP 0x0202
#define WM_MOUSEWHEEL 0x020A
#define WM_USER 0x0400

#define WA_INACTIVE 0
#define WA_ACTIVE 1
#define MK_LBUTTON 0x0001

// Window styles
#define WS_OVERLAPPED 0x00000000L
#define WS_POPUP 0x80000000L
#define WS_CHILD 0x40000000L
#define WS_VISIBLE 0x10000000L
#define WS_DISABLED 0x08000000L
#define WS_CAPTION 0x00C00000L
#define WS_BORDER 0x00800000L
#define WS_SYSMENU 0x00080000L
#define WS_TABSTOP 0x00010000L
#define ES_AUTOHSCROLL 0x0080L
#define SS_LEFT 0x0000L
#define SS_ICON 0x0003L
#define CS_VREDRAW 0x0001
#define CS_HREDRAW 0x0002
#define CW_USEDEFAULT ((int)0x80000000)

#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_SHOW 5

#define SWP_NOSIZE 0x0001
#define SWP_NOMOVE 0x0002
#define SWP_NOZORDER 0x0004
#define SWP_NOREDRAW 0x0008

#define IDOK 1
#define IDCANCEL 2

#define ERROR_SUCCESS 0L
#define ERROR_ALREADY_EXISTS 183L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_OUTOFMEMORY 14L
#define ERROR_INVALID_PARAMETER 87L

#define INFINITE 0xFFFFFFFF
#define WAIT_OBJECT_0 0
#define WAIT_FAILED 0xFFFFFFFF

// Virtual keys
#define VK_BACK 0x08
#define VK_TAB 0x09
#define VK_RETURN 0x0D
#define VK_CONTROL 0x11
#define VK_ESCAPE 0x1B
#define VK_SPACE 0x20
#define VK_LEFT 0x25
#define VK_UP 0x26
#define VK_RIGHT 0x27
#define VK_DOWN 0x28
#define VK_DELETE 0x2E
#define VK_HOME 0x24
#define VK_END 0x23
#define VK_F1 0x70
#define VK_F2 0x71

// Accelerator flags
#define FVIRTKEY 0x01
#define FNOINVERT 0x02
#define FSHIFT 0x04
#define FCONTROL 0x08
#define FALT 0x10

struct MSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
};
typedef MSG* LPMSG;

typedef LRESULT (*WNDPROC)(HWND, UINT, WPARAM, LPARAM);
typedef INT_PTR (*DLGPROC)(HWND, UINT, WPARAM, LPARAM);

struct WNDCLASS {
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;
    LPCWSTR lpszMenuName;
    LPCWSTR lpszClassName;
};

struct PAINTSTRUCT {
    HDC hdc;
    BOOL fErase;
    RECT rcPaint;
};

struct CREATESTRUCT {
    LPVOID lpCreateParams;
    HINSTANCE hInstance;
    HMENU hMenu;
    HWND hwndParent;
    int cy, cx, y, x;
    LONG style;
    LPCWSTR lpszName;
    LPCWSTR lpszClass;
    DWORD dwExStyle;
};

struct ACCEL {
    BYTE fVirt;
    WORD key;
    WORD cmd;
};

// ---------------------------------------------------------------------------
// Window manager
ATOM RegisterClass(const WNDCLASS* wc);
HWND CreateWindowEx(DWORD exStyle, LPCWSTR className, LPCWSTR title, DWORD style, int x, int y, int w, int h,
                    HWND parent, HMENU menu, HINSTANCE instance, LPVOID param);
inline HWND CreateWindow(LPCWSTR className, LPCWSTR title, DWORD style, int x, int y, int w, int h, HWND parent,
                         HMENU menu, HINSTANCE instance, LPVOID param) {
    return CreateWindowEx(0, className, title, style, x, y, w, h, parent, menu, instance, param);
}
BOOL DestroyWindow(HWND hwnd);
BOOL IsWindow(HWND hwnd);
BOOL ShowWindow(HWND hwnd, int cmd);
BOOL UpdateWindow(HWND hwnd);
BOOL IsWindowVisible(HWND hwnd);
HWND FindWindow(LPCWSTR className, LPCWSTR title);
BOOL SetForegroundWindow(HWND hwnd);
HWND GetForegroundWindow();
HWND GetParent(HWND hwnd);
BOOL GetClientRect(HWND hwnd, RECT* rc);
BOOL GetWindowRect(HWND hwnd, RECT* rc);
BOOL MoveWindow(HWND hwnd, int x, int y, int w, int h, BOOL repaint);
BOOL SetWindowPos(HWND hwnd, HWND after, int x, int y, int w, int h, UINT flags);
BOOL ClientToScreen(HWND hwnd, POINT* pt);
BOOL ScreenToClient(HWND hwnd, POINT* pt);
BOOL InvalidateRect(HWND hwnd, const RECT* rc, BOOL erase);
BOOL ValidateRect(HWND hwnd, const RECT* rc);
HDC BeginPaint(HWND hwnd, PAINTSTRUCT* ps);
BOOL EndPaint(HWND hwnd, const PAINTSTRUCT* ps);
HDC GetDC(HWND hwnd);  // null window: the screen
int ReleaseDC(HWND hwnd, HDC hdc);
LRESULT DefWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
BOOL SetWindowText(HWND hwnd, LPCWSTR text);
int GetWindowText(HWND hwnd, LPWSTR buf, int max);
int GetWindowTextLength(HWND hwnd);
HWND SetCapture(HWND hwnd);
BOOL ReleaseCapture();
HWND GetCapture();
HWND SetFocus(HWND hwnd);
HWND GetFocus();
BOOL EnableWindow(HWND hwnd, BOOL enable);
BOOL IsWindowEnabled(HWND hwnd);
#define GWL_USERDATA (-21)
#define GWL_ID (-12)
intptr_t SetWindowLong(HWND hwnd, int index, intptr_t value);
intptr_t GetWindowLong(HWND hwnd, int index);

// Message queue
BOOL GetMessage(MSG* msg, HWND hwnd, UINT first, UINT last);
#define PM_NOREMOVE 0
#define PM_REMOVE 1
BOOL PeekMessage(MSG* msg, HWND hwnd, UINT first, UINT last, UINT remove);
BOOL TranslateMessage(const MSG* msg);
LRESULT DispatchMessage(const MSG* msg);
BOOL PostMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT SendMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
void PostQuitMessage(int code);
HACCEL LoadAccelerators(HINSTANCE instance, LPCWSTR name);
int TranslateAccelerator(HWND hwnd, HACCEL accel, MSG* msg);

// Timers (on the platform clock: real in a window, virtual in tests)
UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapseMs, void* callbackMustBeNull);
BOOL KillTimer(HWND hwnd, UINT_PTR id);
DWORD GetTickCount();

// Dialogs
INT_PTR DialogBoxParam(HINSTANCE instance, LPCWSTR templateName, HWND owner, DLGPROC proc, LPARAM param);
inline INT_PTR DialogBox(HINSTANCE instance, LPCWSTR templateName, HWND owner, DLGPROC proc) {
    return DialogBoxParam(instance, templateName, owner, proc, 0);
}
HWND CreateDialogParam(HINSTANCE instance, LPCWSTR templateName, HWND owner, DLGPROC proc, LPARAM param);
inline HWND CreateDialog(HINSTANCE instance, LPCWSTR templateName, HWND owner, DLGPROC proc) {
    return CreateDialogParam(instance, templateName, owner, proc, 0);
}
BOOL EndDialog(HWND dlg, INT_PTR result);
HWND GetDlgItem(HWND dlg, int id);
BOOL SetDlgItemText(HWND dlg, int id, LPCWSTR text);
UINT GetDlgItemText(HWND dlg, int id, LPWSTR buf, int max);

// Cursors
#define IDC_ARROW MAKEINTRESOURCE(32512)
#define IDC_WAIT MAKEINTRESOURCE(32514)
HCURSOR LoadCursor(HINSTANCE instance, LPCWSTR name);
HCURSOR SetCursor(HCURSOR cursor);

// Resources
#define RT_BITMAP MAKEINTRESOURCE(2)
#define RT_ICON MAKEINTRESOURCE(3)
#define RT_MENU MAKEINTRESOURCE(4)
#define RT_DIALOG MAKEINTRESOURCE(5)
#define RT_STRING MAKEINTRESOURCE(6)
#define RT_ACCELERATOR MAKEINTRESOURCE(9)
int LoadString(HINSTANCE instance, UINT id, LPWSTR buf, int max);
HBITMAP LoadBitmap(HINSTANCE instance, LPCWSTR name);
HICON LoadIcon(HINSTANCE instance, LPCWSTR name);
HRSRC FindResource(HINSTANCE instance, LPCWSTR name, LPCWSTR type);
HGLOBAL LoadResource(HINSTANCE instance, HRSRC res);
DWORD SizeofResource(HINSTANCE instance, HRSRC res);
void* LockResource(HGLOBAL res);

// Kernel pieces
HANDLE CreateMutex(void* security, BOOL initialOwner, LPCWSTR name);
DWORD WaitForSingleObject(HANDLE h, DWORD ms);
BOOL ReleaseMutex(HANDLE h);
BOOL CloseHandle(HANDLE h);
DWORD GetLastError();
void SetLastError(DWORD err);
#define CP_ACP 0
#define CP_UTF8 65001
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR src, int srcLen, char* dst, int dstLen, const char* defChar,
                        BOOL* usedDef);
int MultiByteToWideChar(UINT codePage, DWORD flags, const char* src, int srcLen, LPWSTR dst, int dstLen);
// Dynamic libraries (shared objects) and the executable's own path. Function
// names are wide, as on the handset. GetModuleFileName names the executable for
// a null module and nothing else.
#define ERROR_INSUFFICIENT_BUFFER 122L
#define ERROR_MOD_NOT_FOUND 126L
#define ERROR_PROC_NOT_FOUND 127L
typedef void (*FARPROC)(void);
HMODULE LoadLibrary(LPCWSTR name);
FARPROC GetProcAddress(HMODULE module, LPCWSTR procName);
BOOL FreeLibrary(HMODULE module);
DWORD GetModuleFileName(HMODULE module, LPWSTR buf, DWORD size);
// The system's text for an error code or HRESULT (FORMAT_MESSAGE_FROM_SYSTEM
// only, inserts are never expanded). With FORMAT_MESSAGE_ALLOCATE_BUFFER,
// `buffer` is really an LPWSTR* that receives a string to give to LocalFree.
#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x00000100
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000
typedef void* HLOCAL;
DWORD FormatMessage(DWORD flags, const void* source, DWORD messageId, DWORD languageId, LPWSTR buffer, DWORD size,
                    void* arguments);
HLOCAL LocalFree(HLOCAL mem);
// Converts a wide path to the narrow form the C library opens; false when it
// does not fit into `outSize` bytes. kMaxNativePath bytes hold any path.
constexpr size_t kMaxNativePath = 4096;
bool WidePathToNative(LPCWSTR path, char* out, size_t outSize);

// ---------------------------------------------------------------------------
// GDI
#define BI_RGB 0
#define BI_BITFIELDS 3
#define DIB_RGB_COLORS 0
#define SRCCOPY 0x00CC0020
#define TRANSPARENT 1
#define OPAQUE 2
#define LOGPIXELSX 88
#define LOGPIXELSY 90
#define HORZRES 8
#define VERTRES 10
#define BITSPIXEL 12
#define WHITE_BRUSH 0
#define LTGRAY_BRUSH 1
#define GRAY_BRUSH 2
#define DKGRAY_BRUSH 3
#define BLACK_BRUSH 4
#define NULL_BRUSH 5
#define WHITE_PEN 6
#define BLACK_PEN 7
#define NULL_PEN 8
#define SYSTEM_FONT 13
#define PS_SOLID 0
#define PS_NULL 5
#define FW_NORMAL 400
#define FW_MEDIUM 500
#define FW_BOLD 700
#define LF_FACESIZE 32
#define DT_LEFT 0x0000
#define DT_CENTER 0x0001
#define DT_RIGHT 0x0002
#define DT_VCENTER 0x0004
#define DT_SINGLELINE 0x0020
#define DT_NOCLIP 0x0100
#define DT_END_ELLIPSIS 0x8000
#define NULLREGION 1
#define SIMPLEREGION 2
#define ETO_OPAQUE 0x0002
#define ETO_CLIPPED 0x0004
#define CLR_INVALID 0xFFFFFFFF

struct BITMAPINFOHEADER {
    DWORD biSize;
    LONG biWidth;
    LONG biHeight;
    WORD biPlanes;
    WORD biBitCount;
    DWORD biCompression;
    DWORD biSizeImage;
    LONG biXPelsPerMeter;
    LONG biYPelsPerMeter;
    DWORD biClrUsed;
    DWORD biClrImportant;
};
// The header followed by four colour words; for BI_BITFIELDS the first three are
// the red, green and blue masks.
struct BITMAPINFO {
    BITMAPINFOHEADER bmiHeader;
    DWORD bmiColors[4];
};
struct BITMAP {
    LONG bmType, bmWidth, bmHeight, bmWidthBytes;
    WORD bmPlanes, bmBitsPixel;
    void* bmBits;
};
struct LOGFONT {
    LONG lfHeight, lfWidth, lfEscapement, lfOrientation, lfWeight;
    BYTE lfItalic, lfUnderline, lfStrikeOut, lfCharSet, lfOutPrecision, lfClipPrecision, lfQuality, lfPitchAndFamily;
    WCHAR lfFaceName[LF_FACESIZE];
};

HDC CreateCompatibleDC(HDC hdc);
BOOL DeleteDC(HDC hdc);
HBITMAP CreateCompatibleBitmap(HDC hdc, int w, int h);
HBITMAP CreateDIBSection(HDC hdc, const BITMAPINFO* bmi, UINT usage, void** bits, HANDLE section, DWORD offset);
HGDIOBJ SelectObject(HDC hdc, HGDIOBJ obj);
BOOL DeleteObject(HGDIOBJ obj);
HGDIOBJ GetStockObject(int which);
int GetObject(HGDIOBJ obj, int size, void* out);
int StretchDIBits(HDC hdc, int xDst, int yDst, int wDst, int hDst, int xSrc, int ySrc, int wSrc, int hSrc,
                  const void* bits, const BITMAPINFO* bmi, UINT usage, DWORD rop);
BOOL BitBlt(HDC dst, int x, int y, int w, int h, HDC src, int xSrc, int ySrc, DWORD rop);
BOOL StretchBlt(HDC dst, int x, int y, int w, int h, HDC src, int xSrc, int ySrc, int wSrc, int hSrc, DWORD rop);
// Copies with every source pixel of colour `transparent` left out.
BOOL TransparentImage(HDC dst, int x, int y, int w, int h, HANDLE src, int xSrc, int ySrc, int wSrc, int hSrc,
                      COLORREF transparent);
HBRUSH CreateSolidBrush(COLORREF c);
HPEN CreatePen(int style, int width, COLORREF c);
int FillRect(HDC hdc, const RECT* rc, HBRUSH brush);
BOOL Rectangle(HDC hdc, int l, int t, int r, int b);
BOOL MoveToEx(HDC hdc, int x, int y, POINT* old);
BOOL LineTo(HDC hdc, int x, int y);
COLORREF SetPixel(HDC hdc, int x, int y, COLORREF c);
COLORREF GetPixel(HDC hdc, int x, int y);
HFONT CreateFontIndirect(const LOGFONT* lf);
COLORREF SetTextColor(HDC hdc, COLORREF c);
COLORREF SetBkColor(HDC hdc, COLORREF c);
int SetBkMode(HDC hdc, int mode);
BOOL ExtTextOut(HDC hdc, int x, int y, UINT options, const RECT* rc, LPCWSTR text, UINT len, const int* dx);
int DrawText(HDC hdc, LPCWSTR text, int len, RECT* rc, UINT format);
BOOL GetTextExtentPoint32(HDC hdc, LPCWSTR text, int len, SIZE* size);
int GetDeviceCaps(HDC hdc, int index);
int GetClipBox(HDC hdc, RECT* rc);
COLORREF GetNearestColor(HDC hdc, COLORREF c);
BOOL DrawIcon(HDC hdc, int x, int y, HICON icon);

// Rectangles
BOOL SetRect(RECT* rc, int l, int t, int r, int b);
BOOL PtInRect(const RECT* rc, POINT pt);
BOOL EqualRect(const RECT* a, const RECT* b);
BOOL IntersectRect(RECT* out, const RECT* a, const RECT* b);
BOOL OffsetRect(RECT* rc, int dx, int dy);

// ---------------------------------------------------------------------------
// Shell (the handset's shell library)
#define SHMBOF_NODEFAULT 0x00000001
#define SHCMBF_EMPTYBAR 0x0001
#define SHCMBF_HIDDEN 0x0002
#define SHCMBF_HIDESIPBUTTON 0x0004
#define SHCMBF_COLORBK 0x0008
#define SHCMBF_HMENU 0x0010
struct SHMENUBARINFO {
    DWORD cbSize;
    HWND hwndParent;
    DWORD dwFlags;
    UINT nToolBarId;
    HINSTANCE hInstRes;
    int nBmpId;
    int cBmpImages;
    HWND hwndMB;
    COLORREF clrBk;
};
BOOL SHCreateMenuBar(SHMENUBARINFO* info);

#define SHIDIM_FLAGS 0x0001
#define SHIDIF_DONEBUTTON 0x0001
#define SHIDIF_SIPDOWN 0x0008
#define SHIDIF_SIZEDLG 0x0002
#define SHIDIF_SIZEDLGFULLSCREEN 0x0004
#define SHIDIF_EMPTYMENU 0x0020
struct SHINITDLGINFO {
    DWORD dwMask;
    HWND hDlg;
    DWORD dwFlags;
};
BOOL SHInitDialog(SHINITDLGINFO* info);
BOOL SHInitExtraControls();
// The shell's "full-screen window" call the system makes with (window, 1).
BOOL SHFullScreenWindow(HWND hwnd, DWORD mode);
struct SHACTIVATEINFO {
    DWORD cbSize;
    HWND hwndLastFocus;
    UINT fSipUp;
};
BOOL SHHandleWMActivate(HWND hwnd, WPARAM wParam, LPARAM lParam, SHACTIVATEINFO* info, DWORD flags);
BOOL SHHandleWMSettingChange(HWND hwnd, WPARAM wParam, LPARAM lParam, SHACTIVATEINFO* info);
BOOL SipShowIM(DWORD flags);
#define SIPF_OFF 0
#define SIPF_ON 1

// Registry (current user; a small file in the user's configuration folder)
#define HKEY_CURRENT_USER ((HKEY)(uintptr_t)0x80000001)
HRESULT SHRegQueryString(HKEY root, LPCWSTR key, LPCWSTR valueName, LPWSTR buf, DWORD bufChars);
HRESULT SHRegQueryDWORD(HKEY root, LPCWSTR key, LPCWSTR valueName, DWORD* value);
HRESULT SHRegSetString(HKEY root, LPCWSTR key, LPCWSTR valueName, LPCWSTR value);
HRESULT SHRegSetDWORD(HKEY root, LPCWSTR key, LPCWSTR valueName, DWORD value);

// Extended open-file dialog
#define OFN_EXFLAG_THUMBNAILVIEW 0x00010000
#define OFN_EXFLAG_HIDEDRMPROTECTED 0x00000002
struct OPENFILENAMEEX {
    DWORD lStructSize;
    HWND hwndOwner;
    HINSTANCE hInstance;
    LPCWSTR lpstrFilter;
    LPWSTR lpstrCustomFilter;
    DWORD nMaxCustFilter;
    DWORD nFilterIndex;
    LPWSTR lpstrFile;
    DWORD nMaxFile;
    LPWSTR lpstrFileTitle;
    DWORD nMaxFileTitle;
    LPCWSTR lpstrInitialDir;
    LPCWSTR lpstrTitle;
    DWORD Flags;
    WORD nFileOffset;
    WORD nFileExtension;
    LPCWSTR lpstrDefExt;
    LPARAM lCustData;
    void* lpfnHook;
    LPCWSTR lpTemplateName;
    DWORD dwSortOrder;
    DWORD ExFlags;
};
// Shows the full-screen picture chooser; 1 when the user chose a file.
BOOL GetOpenFileNameEx(OPENFILENAMEEX* ofn);

// The handset's folder picker: a full-screen browser of the folders of "My
// Storage", modal over the window in front. Negative when the user cancelled;
// otherwise 0, with the chosen folder's full path (at most 259 characters) in
// the string "Folder_Path_0" of HKEY_CURRENT_USER\Software\Korvex\Filora\Dirsela.
int DirselaSingle(void);

// ---------------------------------------------------------------------------
// COM and the imaging service (PNG decoding into 32-bit ARGB)
#define COINIT_MULTITHREADED 0
#define CLSCTX_INPROC_SERVER 1
struct GUID {
    DWORD Data1;
    WORD Data2, Data3;
    BYTE Data4[8];
};
typedef GUID CLSID;
typedef GUID IID;
inline bool operator==(const GUID& a, const GUID& b) {
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
    for (int i = 0; i < 8; i++)
        if (a.Data4[i] != b.Data4[i]) return false;
    return true;
}
extern const CLSID CLSID_ImagingFactory;  // {327ABDA8-072B-11D3-9D7B-0000F81EF32E}
extern const IID IID_IImagingFactory;     // {327ABDA7-072B-11D3-9D7B-0000F81EF32E}
HRESULT CoInitializeEx(void* reserved, DWORD flags);
void CoUninitialize();
HRESULT CoCreateInstance(const CLSID& clsid, void* outer, DWORD context, const IID& iid, void** out);

typedef int PixelFormatID;
#define PixelFormat32bppARGB 0x0026200A
#define PixelFormat16bppRGB565 0x00021005
#define PixelFormat24bppRGB 0x00021808
#define ImageLockModeRead 1
#define ImageLockModeWrite 2
#define BufferDisposalFlagNone 0
#define InterpolationHintBilinear 3
struct BitmapData {
    UINT Width;
    UINT Height;
    LONG Stride;
    PixelFormatID PixelFormat;
    void* Scan0;
    UINT_PTR Reserved;
};
struct ImageInfo {
    GUID RawDataFormat;
    PixelFormatID PixelFormat;
    UINT Width, Height;
    UINT TileWidth, TileHeight;
    double Xdpi, Ydpi;
    UINT Flags;
};
typedef uint32_t ULONG;
struct IUnknown {
    virtual HRESULT QueryInterface(const IID& iid, void** out) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    virtual ~IUnknown() = default;
};
struct IBitmapImage : IUnknown {
    virtual HRESULT GetSize(SIZE* size) = 0;
    virtual HRESULT LockBits(const RECT* rect, UINT flags, PixelFormatID format, BitmapData* data) = 0;
    virtual HRESULT UnlockBits(const BitmapData* data) = 0;
};
struct IImage : IUnknown {
    virtual HRESULT GetImageInfo(ImageInfo* info) = 0;
    // Draws the image scaled into dst (the whole image, or srcRect of it), blended by its alpha.
    virtual HRESULT Draw(HDC hdc, const RECT* dst, const RECT* srcRect) = 0;
};
struct IImagingFactory : IUnknown {
    virtual HRESULT CreateImageFromBuffer(const void* buffer, UINT size, int disposalFlag, IImage** image) = 0;
    virtual HRESULT CreateImageFromFile(LPCWSTR path, IImage** image) = 0;
    virtual HRESULT CreateBitmapFromImage(IImage* image, UINT width, UINT height, PixelFormatID format, int hints,
                                          IBitmapImage** bitmap) = 0;
};
