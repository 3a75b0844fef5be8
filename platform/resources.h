// The shape of a program's resources as the platform reads them: string tables,
// accelerator tables, menus, dialog templates and binary resources (bitmaps as
// BMP files, icons and IMAGE resources as PNG files). A program hands its table
// to the platform once, before WinMain, with RegisterResourceModule.
#pragma once

#include "platform/win32.h"

namespace platform {

struct StringResource {
    int id;
    const wchar_t* text;
};

struct AccelResource {
    int id;
    const ACCEL* entries;
    int count;
};

struct MenuItemResource {
    int command;
    const wchar_t* text;
};

struct MenuResource {
    int id;
    const MenuItemResource* items;
    int count;
};

// Dialog templates are laid out in client pixels of a 480-pixel-wide screen.
struct DialogControlResource {
    const wchar_t* className;  // L"STATIC", L"EDIT"
    const wchar_t* text;       // for an SS_ICON static: the icon id as text, "#101"
    int id;
    DWORD style;
    int x, y, w, h;
};

struct DialogResource {
    int id;
    DWORD style;
    int x, y, w, h;
    const wchar_t* title;
    const wchar_t* fontFace;
    int fontSize;
    const DialogControlResource* controls;
    int count;
};

// Binary resource kinds: RT_BITMAP (a whole .bmp file), RT_ICON (a PNG file) and
// named types such as "IMAGE" (a PNG file).
struct BinaryResource {
    const wchar_t* type;  // MAKEINTRESOURCE(kind) or a name such as L"IMAGE"
    int id;
    const unsigned char* data;
    size_t size;
};

struct ResourceModule {
    const StringResource* strings;
    int stringCount;
    const AccelResource* accels;
    int accelCount;
    const MenuResource* menus;
    int menuCount;
    const DialogResource* dialogs;
    int dialogCount;
    const BinaryResource* binaries;
    int binaryCount;
};

// Makes `module` the resources of `instance`.
void RegisterResourceModule(HINSTANCE instance, const ResourceModule* module);

// Lookups for the platform's own use.
const MenuResource* FindMenuResource(HINSTANCE instance, int id);
const DialogResource* FindDialogResource(HINSTANCE instance, int id);
const BinaryResource* FindBinaryResource(HINSTANCE instance, int id, LPCWSTR type);
const AccelResource* FindAccelResource(HINSTANCE instance, int id);

}  // namespace platform
