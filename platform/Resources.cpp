// Resource lookup: strings, accelerators, menus, dialog templates and binary
// resources of the program's registered resource table.
#include "platform/resources.h"

#include <cstring>
#include <cwchar>

namespace platform {

namespace {

const ResourceModule* g_module = nullptr;

bool SameType(LPCWSTR a, LPCWSTR b) {
    if (IS_INTRESOURCE(a) || IS_INTRESOURCE(b)) return a == b;
    return wcscmp(a, b) == 0;
}

}  // namespace

void RegisterResourceModule(HINSTANCE, const ResourceModule* module) {
    g_module = module;
}

const MenuResource* FindMenuResource(HINSTANCE, int id) {
    if (!g_module) return nullptr;
    for (int i = 0; i < g_module->menuCount; i++)
        if (g_module->menus[i].id == id) return &g_module->menus[i];
    return nullptr;
}

const DialogResource* FindDialogResource(HINSTANCE, int id) {
    if (!g_module) return nullptr;
    for (int i = 0; i < g_module->dialogCount; i++)
        if (g_module->dialogs[i].id == id) return &g_module->dialogs[i];
    return nullptr;
}

const BinaryResource* FindBinaryResource(HINSTANCE, int id, LPCWSTR type) {
    if (!g_module) return nullptr;
    for (int i = 0; i < g_module->binaryCount; i++) {
        const BinaryResource& r = g_module->binaries[i];
        if (r.id == id && r.type && SameType(r.type, type)) return &r;
    }
    return nullptr;
}

const AccelResource* FindAccelResource(HINSTANCE, int id) {
    if (!g_module) return nullptr;
    for (int i = 0; i < g_module->accelCount; i++)
        if (g_module->accels[i].id == id) return &g_module->accels[i];
    return nullptr;
}

}  // namespace platform

using namespace platform;

int LoadString(HINSTANCE, UINT id, LPWSTR buf, int max) {
    if (!buf || max <= 0 || !g_module) return 0;
    for (int i = 0; i < g_module->stringCount; i++) {
        if (g_module->strings[i].id != (int)id) continue;
        const wchar_t* text = g_module->strings[i].text;
        int n = (int)wcslen(text);
        if (n > max - 1) n = max - 1;
        wmemcpy(buf, text, n);
        buf[n] = 0;
        return n;
    }
    buf[0] = 0;
    return 0;
}

HRSRC FindResource(HINSTANCE instance, LPCWSTR name, LPCWSTR type) {
    if (!IS_INTRESOURCE(name)) return nullptr;
    return (HRSRC)FindBinaryResource(instance, (int)(uintptr_t)name, type);
}

HGLOBAL LoadResource(HINSTANCE, HRSRC res) {
    return (HGLOBAL)res;
}

DWORD SizeofResource(HINSTANCE, HRSRC res) {
    return res ? (DWORD)((const BinaryResource*)res)->size : 0;
}

void* LockResource(HGLOBAL res) {
    return res ? (void*)((const BinaryResource*)res)->data : nullptr;
}
