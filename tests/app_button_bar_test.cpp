// The button bar: layout, hit testing on the boundaries, and the looks that
// presses and releases give.
#include <gtest/gtest.h>

#include "app/ButtonBar.h"
#include "app/MainWindow.h"
#include "platform/Platform.h"
#include "resources/Resources.h"

namespace {

LRESULT PlainProc(HWND h, UINT m, WPARAM w, LPARAM l) {
    return DefWindowProc(h, m, w, l);
}

class ButtonBarTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::Options o;
        o.headless = true;
        ASSERT_TRUE(platform::Initialize(o));
        instance = reinterpret_cast<HINSTANCE>(const_cast<platform::ResourceModule*>(LumetraResources()));
        platform::RegisterResourceModule(instance, LumetraResources());
        WNDCLASS wc{};
        wc.lpfnWndProc = PlainProc;
        wc.lpszClassName = L"BarTestWindow";
        RegisterClass(&wc);
        window = CreateWindow(L"BarTestWindow", L"", WS_VISIBLE, 0, 52, 480, 640, nullptr, nullptr, nullptr, nullptr);
        bar = new ButtonBar(instance, window);
    }
    void TearDown() override {
        bar->ReleaseBitmaps();
        delete bar;
        platform::Shutdown();
    }
    std::vector<int> Looks() {
        std::vector<int> l;
        for (int i = 0; i < 8; i++) l.push_back(bar->GetLook(i));
        return l;
    }
    HINSTANCE instance;
    HWND window;
    ButtonBar* bar;
};

TEST_F(ButtonBarTest, StartsWithFindAndResetEnabled) {
    EXPECT_EQ((std::vector<int>{0, 4, 1, 4, 4, 4, 4, 1}), Looks());
    EXPECT_EQ(0, bar->GetLook(8));
    bar->SetLook(9, 2);  // ignored
    EXPECT_EQ((std::vector<int>{0, 4, 1, 4, 4, 4, 4, 1}), Looks());
}

TEST_F(ButtonBarTest, BoundaryLinesBetweenButtonsHitNothing) {
    int y = 640 - 40;
    EXPECT_EQ(0, bar->HitTest(68, y));  // find ends at 135, starts at 68: strict edges
    EXPECT_EQ(3, bar->HitTest(69, y));
    EXPECT_EQ(0, bar->HitTest(135, y));
    EXPECT_EQ(4, bar->HitTest(137, y));
    EXPECT_EQ(0, bar->HitTest(100, 640 - 79));  // top edge of the bar
    EXPECT_EQ(3, bar->HitTest(100, 640 - 78));
    EXPECT_EQ(0, bar->HitTest(100, 640));
    EXPECT_EQ(0, bar->HitTest(100, 300));  // the photo area
    // The zoom place: zoom out is hidden, so zoom in answers even though it looks disabled.
    EXPECT_EQ(2, bar->HitTest(30, y));
}

TEST_F(ButtonBarTest, PressingADisabledButtonChangesNoLook) {
    auto before = Looks();
    bar->Press(window, 6);  // effect, disabled
    bar->Release(window, 6);
    EXPECT_EQ(before, Looks());
}

TEST_F(ButtonBarTest, PressShowsPressedAndReleaseEnablesAgain) {
    bar->Press(window, 3);
    EXPECT_EQ(LOOK_PRESSED, bar->GetLook(2));
    bar->Release(window, 3);
    EXPECT_EQ(LOOK_ENABLED, bar->GetLook(2));
}

TEST_F(ButtonBarTest, BrushesBehaveAsARadioPairAfterFind) {
    // Looks the window gives after Find.
    bar->SetLook(2, LOOK_DISABLED);
    bar->SetLook(3, LOOK_PRESSED);
    bar->SetLook(4, LOOK_ENABLED);
    bar->SetLook(5, LOOK_ENABLED);
    auto before = Looks();
    bar->Press(window, 4);  // add is already chosen (look 2, not 1): nothing changes
    bar->Release(window, 4);
    EXPECT_EQ(before, Looks());
    bar->Press(window, 5);
    bar->Release(window, 5);
    EXPECT_EQ(LOOK_SELECTED, bar->GetLook(4));
    EXPECT_EQ(LOOK_ENABLED, bar->GetLook(3));
    bar->Press(window, 4);
    EXPECT_EQ(LOOK_SELECTED, bar->GetLook(3));
    EXPECT_EQ(LOOK_ENABLED, bar->GetLook(4));
}

TEST_F(ButtonBarTest, ZoomButtonsSwapPlacesOnRelease) {
    bar->SetLook(1, LOOK_ENABLED);
    bar->Press(window, 2);
    bar->Release(window, 2);
    EXPECT_EQ(LOOK_HIDDEN, bar->GetLook(1));
    EXPECT_EQ(LOOK_ENABLED, bar->GetLook(0));
    bar->Press(window, 1);
    bar->Release(window, 1);
    EXPECT_EQ(LOOK_HIDDEN, bar->GetLook(0));
    EXPECT_EQ(LOOK_ENABLED, bar->GetLook(1));
}

TEST_F(ButtonBarTest, EachLookDrawsItsOwnBitmap) {
    auto drawn = [&](int look) {
        bar->SetLook(2, look);
        HDC dc = GetDC(window);
        bar->Draw(dc);
        long sum = 0;
        for (int y = 561; y < 640; y += 2)
            for (int x = 69; x < 135; x += 2) {
                COLORREF c = GetPixel(dc, x, y);
                sum += GetRValue(c) + 3 * GetGValue(c) + 7 * GetBValue(c);
            }
        ReleaseDC(window, dc);
        return sum;
    };
    long enabled = drawn(LOOK_ENABLED), pressed = drawn(LOOK_PRESSED), disabled = drawn(LOOK_DISABLED);
    EXPECT_NE(enabled, pressed);
    EXPECT_NE(enabled, disabled);
    EXPECT_NE(pressed, disabled);
    EXPECT_EQ(pressed, drawn(LOOK_SELECTED));
    bar->SetLook(2, LOOK_HIDDEN);
    HDC dc = GetDC(window);
    RECT area{68, 560, 136, 640};
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    FillRect(dc, &area, red);
    DeleteObject(red);
    bar->Draw(dc);
    EXPECT_EQ(RGB(255, 0, 0), GetPixel(dc, 100, 600)) << "a hidden button is not drawn";
    ReleaseDC(window, dc);
}

}  // namespace
