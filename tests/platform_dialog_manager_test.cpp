// The dialog manager: a dialog's background comes from the brush its
// procedure gives for WM_CTLCOLORDLG, and the font made for its template goes
// with it whatever the procedure does with WM_DESTROY.
#include <gtest/gtest.h>

#include "platform/Platform.h"
#include "platform/resources.h"

namespace {

using platform::ScriptCommand;

const platform::DialogResource kDialogs[] = {{5, WS_POPUP, 0, 0, 0, 0, L"Test", L"MS Shell Dlg", 8, nullptr, 0}};
const platform::ResourceModule kModule = {nullptr, 0, nullptr, 0, nullptr, 0, kDialogs, 1, nullptr, 0};

HBRUSH g_background = nullptr;
bool g_handleDestroy = false;

INT_PTR TestDialog(HWND dialog, UINT msg, WPARAM, LPARAM) {
    switch (msg) {
        case WM_CTLCOLORDLG:
            return (INT_PTR)g_background;
        case WM_COMMAND:
            EndDialog(dialog, 1);
            return TRUE;
        case WM_DESTROY:
            return g_handleDestroy;
        default:
            return FALSE;
    }
}

// Runs the dialog until its first step, returning the colour in its middle.
uint32_t ShowDialog() {
    uint32_t middle = 0;
    ScriptCommand probe(ScriptCommand::Call);
    probe.call = [&] {
        middle = platform::ScreenPixel(240, 300);
        PostMessage(GetForegroundWindow(), WM_COMMAND, IDOK, 0);
    };
    platform::Options o;
    o.headless = true;
    o.script = {probe};
    EXPECT_TRUE(platform::Initialize(o));
    auto instance = reinterpret_cast<HINSTANCE>(const_cast<platform::ResourceModule*>(&kModule));
    platform::RegisterResourceModule(instance, &kModule);
    EXPECT_EQ(1, DialogBox(instance, MAKEINTRESOURCE(5), nullptr, TestDialog));
    platform::Shutdown();
    return middle;
}

TEST(DialogManager, TheBackgroundIsTheBrushGivenForCtlColorDlgAndWhiteWithoutOne) {
    g_handleDestroy = false;
    g_background = CreateSolidBrush(RGB(0x20, 0x40, 0x60));
    EXPECT_EQ(0x204060u, ShowDialog());
    DeleteObject(g_background);
    g_background = nullptr;
    EXPECT_EQ(0xFFFFFFu, ShowDialog());
}

TEST(DialogManager, TheTemplatesFontGoesWithTheDialogEvenWhenItsProcedureHandlesDestroy) {
    g_background = nullptr;
    for (bool handled : {false, true}) {
        SCOPED_TRACE(handled ? "procedure handles WM_DESTROY" : "procedure leaves it");
        g_handleDestroy = handled;
        ShowDialog();  // the platform's own lazily made objects
        const int before = platform::LiveGdiObjects();
        ShowDialog();
        EXPECT_EQ(before, platform::LiveGdiObjects());
    }
}

}  // namespace
