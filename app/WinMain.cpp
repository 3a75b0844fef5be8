#include "app/WinMain.h"

#include <new>

#include "app/ButtonBar.h"
#include "app/MainWindow.h"
#include "resources/resource_ids.h"

int WinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int showCommand) {
    wchar_t title[100], className[100];
    LoadString(instance, IDS_APP_TITLE, title, 100);
    LoadString(instance, IDS_APP_CLASS, className, 100);
    g_app.mutex = CreateMutex(nullptr, TRUE, title);
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        if (HWND running = FindWindow(className, title)) SetForegroundWindow(running);
        CloseHandle(g_app.mutex);
        g_app.mutex = nullptr;
        return 0;
    }
    if (!InitInstance(instance, showCommand)) return 0;
    HACCEL accelerators = LoadAccelerators(instance, MAKEINTRESOURCE(IDR_ACCELERATORS));
    MSG msg{};
    while (GetMessage(&msg, nullptr, 0, 0)) {
        if (!TranslateAccelerator(msg.hwnd, accelerators, &msg)) {
            TranslateMessage(&msg);
            DispatchMessage(&msg);
        }
    }
    return (int)msg.wParam;
}

BOOL InitInstance(HINSTANCE instance, int showCommand) {
    g_app.instance = instance;
    SHInitExtraControls();
    wchar_t title[100], className[100];
    LoadString(instance, IDS_APP_TITLE, title, 100);
    LoadString(instance, IDS_APP_CLASS, className, 100);
    if (HWND running = FindWindow(className, title)) {
        SetForegroundWindow((HWND)((uintptr_t)running | 1));
        return FALSE;
    }
    if (!RegisterMainClass(instance, className)) return FALSE;
    HWND window = CreateWindowEx(0, className, L"Lumetra", WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                 CW_USEDEFAULT, nullptr, nullptr, instance, nullptr);
    if (!window) return FALSE;
    if (g_app.menuBar) {
        RECT win, bar;
        GetWindowRect(window, &win);
        GetWindowRect(g_app.menuBar, &bar);
        int barHeight = bar.bottom - bar.top;
        MoveWindow(window, win.left, win.top, win.right - win.left, (win.bottom - barHeight) - win.top, FALSE);
    }
    g_app.buttonBar = new (std::nothrow) ButtonBar(instance, window);
    ShowWindow(window, showCommand);
    UpdateWindow(window);
    return TRUE;
}

ATOM RegisterMainClass(HINSTANCE instance, LPCWSTR className) {
    WNDCLASS wc{};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = MainWndProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIcon(instance, MAKEINTRESOURCE(IDI_APP));
    wc.hbrBackground = GetStockObject(WHITE_BRUSH);
    wc.lpszClassName = className;
    return RegisterClass(&wc);
}

INT_PTR AboutDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG: {
            SHINITDLGINFO info{SHIDIM_FLAGS, dialog, 0x2D};
            SHInitDialog(&info);
            return TRUE;
        }
        case WM_COMMAND:
            if (LOWORD(wParam) == 1) {
                EndDialog(dialog, 1);
                return TRUE;
            }
            return FALSE;
        case WM_CLOSE:
            EndDialog(dialog, 16);
            return TRUE;
        default:
            return FALSE;
    }
}
