#include "resources/Resources.h"

#include "resources/resource_ids.h"

extern const platform::BinaryResource kEmbeddedResources[];
extern const int kEmbeddedResourceCount;

namespace {

using namespace platform;

const StringResource kStrings[] = {
    {IDS_APP_TITLE, L"Lumetra"},
    {IDS_APP_CLASS, L"Lumetrix"},
};

const ACCEL kAccelerators[] = {
    {FVIRTKEY | FNOINVERT | FCONTROL, 'A', CMD_ABOUT},
    {FVIRTKEY | FNOINVERT | FCONTROL, 'Q', CMD_QUIT},
};
const AccelResource kAccels[] = {{IDR_ACCELERATORS, kAccelerators, 2}};

const MenuItemResource kMainMenu[] = {{0, L"File"}, {0, L"Run"}, {0, L"Opt"}};
const MenuItemResource kSoftKeys[] = {{CMD_SAVE, L"Save"}, {CMD_MENU, L"Menu"}};
const MenuItemResource kSaveAsKeys[] = {{CMD_SAVEAS_DONE, L"Done"}, {CMD_SAVEAS_CANCEL, L"Cancel"}};
const MenuResource kMenus[] = {
    {IDM_UNUSED_MAIN, kMainMenu, 3},
    {IDM_SOFTKEYS, kSoftKeys, 2},
    {IDM_SAVEAS_SOFTKEYS, kSaveAsKeys, 2},
};

const DialogControlResource kAboutControls[] = {
    {L"Static", L"#101", -1, WS_VISIBLE | SS_ICON, 24, 32, 96, 96},
    {L"Static", L"Velmor Effect Version 1.0", -1, WS_VISIBLE | SS_LEFT, 24, 150, 432, 40},
    {L"Static", L"Shallow depth of field for your photos.", -1, WS_VISIBLE | SS_LEFT, 24, 196, 432, 40},
};
const DialogControlResource kSaveAsControls[] = {
    {L"Edit", L"", IDC_SAVEAS_EDIT, WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL, 20, 145, 445, 55},
};
// Templates without a size fill the work area; the program moves the others itself.
const DialogResource kDialogs[] = {
    {IDD_ABOUT, WS_POPUP | WS_CAPTION, 0, 0, 0, 0, L"About Lumetra", L"MS Shell Dlg", 8, kAboutControls, 3},
    {IDD_SAVEAS, WS_POPUP | WS_CAPTION, 0, 0, 0, 0, L"Save As", L"MS Shell Dlg", 8, kSaveAsControls, 1},
    {IDD_MESSAGE_PANEL, WS_POPUP, 0, 0, 0, 0, L"", L"MS Shell Dlg", 8, nullptr, 0},
    {IDD_SAVE_POPUP, WS_POPUP, 0, 0, 0, 0, L"", L"MS Shell Dlg", 8, nullptr, 0},
};

const ResourceModule kModule = {
    kStrings, 2, kAccels, 1, kMenus, 3, kDialogs, 4, nullptr, 0,
};

}  // namespace

const platform::ResourceModule* LumetraResources() {
    static ResourceModule module = [] {
        ResourceModule m = kModule;
        m.binaries = kEmbeddedResources;
        m.binaryCount = kEmbeddedResourceCount;
        return m;
    }();
    return &module;
}
