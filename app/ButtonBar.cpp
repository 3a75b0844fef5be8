#include "app/ButtonBar.h"

#include "app/View.h"
#include "resources/resource_ids.h"

namespace {

struct SlotLayout {
    int id, left, right, width, look, normal, pressed, disabled;
};

constexpr SlotLayout kLayout[8] = {
    {1, 0, 67, 68, LOOK_HIDDEN, IDB_ZOOMOUT_NORMAL, IDB_ZOOMOUT_PRESSED, IDB_ZOOMOUT_DISABLED},
    // Zoom in shares its place with zoom out; one of the two is hidden.
    {2, 0, 67, 68, LOOK_DISABLED, IDB_ZOOMIN_NORMAL, IDB_ZOOMIN_PRESSED, IDB_ZOOMIN_DISABLED},
    {3, 68, 135, 68, LOOK_ENABLED, IDB_FIND_NORMAL, IDB_FIND_PRESSED, IDB_FIND_DISABLED},
    {4, 136, 203, 68, LOOK_DISABLED, IDB_ADD_NORMAL, IDB_ADD_PRESSED, IDB_ADD_DISABLED},
    {5, 204, 272, 69, LOOK_DISABLED, IDB_ERASE_NORMAL, IDB_ERASE_PRESSED, IDB_ERASE_DISABLED},
    {6, 273, 341, 69, LOOK_DISABLED, IDB_EFFECT_NORMAL, IDB_EFFECT_PRESSED, IDB_EFFECT_DISABLED},
    {7, 342, 410, 69, LOOK_DISABLED, IDB_COMPARE_NORMAL, IDB_COMPARE_PRESSED, IDB_COMPARE_DISABLED},
    {8, 411, 479, 69, LOOK_ENABLED, IDB_RESET_NORMAL, IDB_RESET_PRESSED, IDB_RESET_DISABLED},
};

}  // namespace

ButtonBar::ButtonBar(HINSTANCE instance, HWND owner) : owner_(owner) {
    RECT rc{0, 0, 0, 0};
    GetClientRect(owner, &rc);
    for (int i = 0; i < 8; i++) {
        const SlotLayout& l = kLayout[i];
        buttons_[i] = Button{l.look,
                             l.id,
                             l.left,
                             rc.bottom - (kButtonBarHeight - 1),
                             l.right,
                             rc.bottom,
                             l.width,
                             LoadBitmap(instance, MAKEINTRESOURCE(l.normal)),
                             LoadBitmap(instance, MAKEINTRESOURCE(l.pressed)),
                             LoadBitmap(instance, MAKEINTRESOURCE(l.disabled))};
    }
}

void ButtonBar::DrawButton(HDC dc, int slot, HBITMAP bitmap) {
    if (!bitmap) return;
    HDC mem = CreateCompatibleDC(dc);
    if (!mem) return;
    HGDIOBJ old = SelectObject(mem, bitmap);
    const Button& b = buttons_[slot];
    BitBlt(dc, b.left, b.top, b.width, kButtonBarHeight, mem, 0, 0, SRCCOPY);
    SelectObject(mem, old);
    DeleteDC(mem);
}

void ButtonBar::DrawOnWindow(HWND window, int slot, HBITMAP bitmap) {
    HDC dc = GetDC(window);
    if (!dc) return;
    DrawButton(dc, slot, bitmap);
    ReleaseDC(window, dc);
}

void ButtonBar::Draw(HDC dc) {
    for (int i = 0; i < 8; i++) {
        const Button& b = buttons_[i];
        if (b.look == LOOK_HIDDEN) continue;
        HBITMAP bitmap = b.look == LOOK_PRESSED || b.look == LOOK_SELECTED ? b.pressed
                         : b.look == LOOK_DISABLED                         ? b.disabled
                                                                           : b.normal;
        DrawButton(dc, i, bitmap);
    }
}

int ButtonBar::HitTest(int x, int y) const {
    for (const Button& b : buttons_) {
        if (b.look == LOOK_HIDDEN) continue;
        if (b.left < x && x < b.right && b.top < y && y < b.bottom) return b.id;
    }
    return 0;
}

int ButtonBar::FindActive(int id) const {
    for (int i = 0; i < 8; i++)
        if (buttons_[i].id == id && buttons_[i].look != LOOK_DISABLED) return i;
    return -1;
}

void ButtonBar::Press(HWND window, int id) {
    int slot = FindActive(id);
    if (slot < 0) return;
    if (id == 4 || id == 5) {
        // The two brushes are a radio pair: an enabled one becomes the selected
        // one, and the other goes back to enabled.
        const int other = slot == 3 ? 4 : 3;
        if (buttons_[slot].look == LOOK_ENABLED) {
            buttons_[slot].look = LOOK_SELECTED;
            DrawOnWindow(window, slot, buttons_[slot].pressed);
            buttons_[other].look = LOOK_ENABLED;
            DrawOnWindow(window, other, buttons_[other].normal);
        }
        return;
    }
    if (id == 6) buttons_[1].look = LOOK_ENABLED;  // shown by the next full paint
    buttons_[slot].look = LOOK_PRESSED;
    DrawOnWindow(window, slot, buttons_[slot].pressed);
}

void ButtonBar::Release(HWND window, int id) {
    int slot = FindActive(id);
    if (slot < 0 || id == 4 || id == 5) return;  // the brush selection stays
    if (id == 1) {
        buttons_[0].look = LOOK_HIDDEN;
        buttons_[1].look = LOOK_ENABLED;
        DrawOnWindow(window, 1, buttons_[1].normal);
    } else if (id == 2) {
        buttons_[1].look = LOOK_HIDDEN;
        buttons_[0].look = LOOK_ENABLED;
        DrawOnWindow(window, 0, buttons_[0].normal);
    } else {
        buttons_[slot].look = LOOK_ENABLED;
        DrawOnWindow(window, slot, buttons_[slot].normal);
    }
}

void ButtonBar::SetLook(int slot, int look) {
    if (slot < 0 || slot > 7) return;
    buttons_[slot].look = look;
}

int ButtonBar::GetLook(int slot) const {
    return slot < 0 || slot > 7 ? 0 : buttons_[slot].look;
}

void ButtonBar::ReleaseBitmaps() {
    for (Button& b : buttons_) {
        DeleteObject(b.normal);
        DeleteObject(b.pressed);
        DeleteObject(b.disabled);
        b.normal = b.pressed = b.disabled = nullptr;
    }
}
