// The row of eight bitmap buttons along the bottom 80 pixels of the main window.
#pragma once

#include "platform/win32.h"

// Looks of a button.
enum ButtonLook { LOOK_HIDDEN = 0, LOOK_ENABLED = 1, LOOK_PRESSED = 2, LOOK_SELECTED = 3, LOOK_DISABLED = 4 };

class ButtonBar {
public:
    struct Button {
        int look;
        int id;
        int left, top, right, bottom;
        int width;
        HBITMAP normal, pressed, disabled;
    };

    ButtonBar(HINSTANCE instance, HWND owner);
    void Draw(HDC dc);
    int HitTest(int x, int y) const;
    void Press(HWND window, int id);
    void Release(HWND window, int id);
    void SetLook(int slot, int look);
    int GetLook(int slot) const;
    void ReleaseBitmaps();

private:
    int FindActive(int id) const;
    void DrawButton(HDC dc, int slot, HBITMAP bitmap);
    void DrawOnWindow(HWND window, int slot, HBITMAP bitmap);

    HWND owner_;
    Button buttons_[8];
};
