// The window-less control tree: child order and lookup, ownership, recursion of
// geometry and visibility into subtrees, names, the null-child diagnostic, and
// the image control drawing its PNG at its own or the inherited opacity.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ZoomControls/Diagnostics.h"
#include "ZoomControls/ZelControl.h"
#include "ZoomControls_TestImages.h"

using namespace zoom_test;

namespace {

// A control that notes its draws and its deletion in a shared log.
class Probe : public ZelControl {
public:
    Probe(std::vector<std::string>* log, std::string label) : log_(log), label_(std::move(label)) {}
    ~Probe() override { log_->push_back("~" + label_); }
    int Draw(HDC hdc) override {
        log_->push_back(label_);
        return ZelControl::Draw(hdc);
    }

private:
    std::vector<std::string>* log_;
    std::string label_;
};

// A control whose child list has a hole: GetChildControl(hole) gives null.
class Holey : public Probe {
public:
    Holey(std::vector<std::string>* log, int hole) : Probe(log, "holey"), hole_(hole) {}
    ZelControl* GetChildControl(int index) override {
        return index == hole_ ? nullptr : ZelControl::GetChildControl(index);
    }

private:
    int hole_;
};

std::vector<ZelControl*> Children(ZelControl& c) {
    std::vector<ZelControl*> out;
    for (int i = 0; i < c.GetChildCount(); i++) out.push_back(c.GetChildControl(i));
    return out;
}

using Box = std::vector<int>;  // left, top, right, bottom

Box V(const RECT& r) {
    return {r.left, r.top, r.right, r.bottom};
}
Box RectOf(ZelControl* c) {
    RECT r{};
    c->GetRect(&r);
    return V(r);
}
Box DrawRectOf(ZelControl* c) {
    RECT r{};
    c->GetDrawRect(&r);
    return V(r);
}

std::string Text() {
    return Narrow(DiagnosticText());
}

// root [a [a1], b]
struct Tree {
    std::vector<std::string> log;
    Probe* root = new Probe(&log, "root");
    Probe* a = new Probe(&log, "a");
    Probe* b = new Probe(&log, "b");
    Probe* a1 = new Probe(&log, "a1");
    Tree() {
        a->AddChild(a1, -1);
        root->AddChild(a, -1);
        root->AddChild(b, -1);
    }
    ~Tree() {
        if (root) root->DeleteSelf();
    }
};

}  // namespace

TEST(ZelControl, StartsVisibleAndEmpty) {
    ZelControl c;
    EXPECT_EQ(1, c.IsVisible());
    EXPECT_EQ(0, c.GetChildCount());
    EXPECT_EQ(nullptr, c.GetName());
    EXPECT_EQ(nullptr, c.GetParent());
    EXPECT_EQ(0u, c.GetTag());
    EXPECT_EQ((Box{0, 0, 0, 0}), RectOf(&c));
    EXPECT_EQ(nullptr, c.GetRect(nullptr));
}

TEST(ZelControl, AddChildInsertsBeforeTheIndexOrAppendsAndLookupOutsideGivesNull) {
    Tree t;
    EXPECT_EQ(nullptr, t.root->GetChildControl(-1));
    EXPECT_EQ(nullptr, t.root->GetChildControl(2));
    EXPECT_EQ(t.root, t.a->GetParent());
    Probe* c = new Probe(&t.log, "c");
    Probe* d = new Probe(&t.log, "d");
    Probe* e = new Probe(&t.log, "e");
    Probe* f = new Probe(&t.log, "f");
    EXPECT_EQ(S_OK, t.root->AddChild(c, 0));
    EXPECT_EQ((std::vector<ZelControl*>{c, t.a, t.b}), Children(*t.root));
    EXPECT_EQ(S_OK, t.root->AddChild(d, -1));
    EXPECT_EQ(S_OK, t.root->AddChild(e, 1));
    EXPECT_EQ(S_OK, t.root->AddChild(f, 5)) << "the count itself appends";
    EXPECT_EQ((std::vector<ZelControl*>{c, e, t.a, t.b, d, f}), Children(*t.root));
}

TEST(ZelControl, AddChildRefusesWhatWouldBreakTheTree) {
    Tree t;
    Probe loose(&t.log, "loose");
    EXPECT_EQ(E_INVALIDARG, t.root->AddChild(&loose, 3));
    EXPECT_EQ(E_INVALIDARG, t.root->AddChild(&loose, -2));
    EXPECT_EQ(E_INVALIDARG, t.b->AddChild(t.a1, -1)) << "a1 already belongs to a";
    EXPECT_EQ(E_INVALIDARG, t.a->AddChild(t.a, -1)) << "a control in its own list";
    EXPECT_EQ(E_INVALIDARG, t.a1->AddChild(t.root, -1)) << "an ancestor as a child";
    EXPECT_EQ(E_INVALIDARG, loose.AddChild(&loose, -1)) << "a control as its own child";
    EXPECT_EQ((std::vector<ZelControl*>{t.a, t.b}), Children(*t.root));
    EXPECT_EQ(0, t.b->GetChildCount());
    EXPECT_EQ(0, t.a1->GetChildCount());
    EXPECT_EQ(nullptr, loose.GetParent()) << "a refused control stays unattached";

    EXPECT_EQ(E_FAIL, t.root->AddChild(nullptr, -1));
    EXPECT_EQ("Error CPR(pControl):.\\ZoomControls\\ZelControl line 81\n", Text());
    EXPECT_EQ(2, t.root->GetChildCount());
}

TEST(ZelControl, DeletingTheRootDeletesTheSubtreeDepthFirstInOrder) {
    Tree t;
    t.root->DeleteSelf();
    t.root = nullptr;
    EXPECT_EQ((std::vector<std::string>{"~root", "~a", "~a1", "~b"}), t.log);

    Tree u;
    u.root->SetName(L"kept until the children go");
    u.root->DestroyChildren();
    EXPECT_EQ(0, u.root->GetChildCount());
    EXPECT_EQ(nullptr, u.root->GetName());
    EXPECT_EQ((std::vector<std::string>{"~a", "~a1", "~b"}), u.log);
}

TEST(ZelControl, DrawVisitsVisibleChildrenInOrderAndSetVisibleRecursesOnlyWhenAsked) {
    Tree t;
    EXPECT_EQ(0, t.root->Draw(nullptr));
    EXPECT_EQ((std::vector<std::string>{"root", "a", "a1", "b"}), t.log);
    t.log.clear();
    t.a->SetVisible(0, 0);
    t.root->Draw(nullptr);
    EXPECT_EQ((std::vector<std::string>{"root", "b"}), t.log) << "a hidden child hides its subtree";
    EXPECT_EQ(1, t.a1->IsVisible()) << "not recursive";
    t.root->SetVisible(0, 1);
    for (ZelControl* c : {(ZelControl*)t.root, (ZelControl*)t.a, (ZelControl*)t.a1, (ZelControl*)t.b})
        EXPECT_EQ(0, c->IsVisible());
    t.root->SetVisible(1, 0);
    EXPECT_EQ(1, t.root->IsVisible());
    EXPECT_EQ(0, t.b->IsVisible());
    t.root->SetVisible(1, 1);
    EXPECT_EQ(1, t.a1->IsVisible());
}

TEST(ZelControl, GeometryChangesReachTheSubtreeOnlyWhenRecursive) {
    Tree t;
    t.root->SetRect(10, 20, 110, 220, 1);
    for (ZelControl* c : {(ZelControl*)t.root, (ZelControl*)t.a, (ZelControl*)t.a1, (ZelControl*)t.b}) {
        EXPECT_EQ((Box{10, 20, 110, 220}), RectOf(c));
        EXPECT_EQ((Box{10, 20, 110, 220}), DrawRectOf(c));
    }
    t.a1->SetRect(0, 0, 8, 8, 0);
    t.root->Offset(5, -3, 1);
    EXPECT_EQ((Box{15, 17, 115, 217}), RectOf(t.root));
    EXPECT_EQ((Box{15, 17, 115, 217}), DrawRectOf(t.b));
    EXPECT_EQ((Box{5, -3, 13, 5}), RectOf(t.a1));
    EXPECT_EQ((Box{5, -3, 13, 5}), DrawRectOf(t.a1));
    t.root->AdjustEdges(1, 2, -3, -4, 1);
    EXPECT_EQ((Box{16, 19, 112, 213}), RectOf(t.root));
    EXPECT_EQ((Box{6, -1, 10, 1}), DrawRectOf(t.a1));
    t.root->Offset(100, 100, 0);
    t.root->AdjustEdges(-1, -1, 1, 1, 0);
    t.root->SetRect(0, 0, 1, 1, 0);
    EXPECT_EQ((Box{0, 0, 1, 1}), RectOf(t.root));
    EXPECT_EQ((Box{16, 19, 112, 213}), RectOf(t.a));
    EXPECT_EQ((Box{6, -1, 10, 1}), RectOf(t.a1));
}

TEST(ZelControl, SetNameStoresItsOwnCopy) {
    ZelControl c;
    c.SetName(L"");
    ASSERT_NE(nullptr, c.GetName());
    EXPECT_EQ(std::wstring(L""), c.GetName());

    wchar_t name[] = L"zoom bar";
    c.SetName(name);
    name[0] = L'Z';
    EXPECT_EQ(std::wstring(L"zoom bar"), c.GetName());
    c.SetName(c.GetName());
    EXPECT_EQ(std::wstring(L"zoom bar"), c.GetName());

    c.SetName(nullptr);
    EXPECT_EQ(std::wstring(L"zoom bar"), c.GetName());
    EXPECT_EQ("Error CPR(pwszName):.\\ZoomControls\\ZelControl line 60\n", Text());
}

TEST(ZelControl, ANullChildEndsTheWalkWithTheLookupDiagnostic) {
    struct Case {
        const char* operation;
        int line;
        void (*run)(ZelControl*);
    };
    const Case cases[] = {
        {"Draw", 110, [](ZelControl* c) { c->Draw(nullptr); }},
        {"SetRect", 193, [](ZelControl* c) { c->SetRect(1, 2, 3, 4, 1); }},
        {"Offset", 225, [](ZelControl* c) { c->Offset(1, 2, 1); }},
        {"AdjustEdges", 257, [](ZelControl* c) { c->AdjustEdges(1, 2, 3, 4, 1); }},
        {"SetVisible", 296, [](ZelControl* c) { c->SetVisible(0, 1); }},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.operation);
        std::vector<std::string> log;
        Holey* root = new Holey(&log, 1);
        Probe* first = new Probe(&log, "first");
        Probe* hidden = new Probe(&log, "behind the hole");
        Probe* last = new Probe(&log, "last");
        root->AddChild(first, -1);
        root->AddChild(hidden, -1);
        root->AddChild(last, -1);
        k.run(root);
        EXPECT_EQ("Error pControl = this->GetChildControl(1) : .\\ZoomControls\\ZelControl, line " +
                      std::to_string(k.line) + "\n",
                  Text());
        // The first child was reached, the one after the hole was not.
        EXPECT_EQ(RectOf(root), RectOf(first));
        EXPECT_EQ(root->IsVisible(), first->IsVisible());
        EXPECT_EQ((Box{0, 0, 0, 0}), RectOf(last));
        EXPECT_EQ(1, last->IsVisible());
        if (k.line == 110) {
            EXPECT_EQ((std::vector<std::string>{"holey", "first"}), log);
        }
        root->DeleteSelf();
    }
}

// ---------------------------------------------------------------------------
// ZelImageControl

namespace {

constexpr int kArrowId = 311;
constexpr int kWhiteId = 312;

}  // namespace

TEST(ZelImageControl, TakesTheResourcesSizeAndItsRectangle) {
    Toolkit kit;
    kit.SetImage(kArrowId, SolidPng(7, 5, Argb(255, 255, 128, 0)));
    int images = LiveImageCount();
    {
        RECT place{10, 20, 90, 100};
        ZelImageControl control(kArrowId, &place);
        EXPECT_EQ(images + 1, LiveImageCount());
        ImageRef image = control.GetImage();
        EXPECT_EQ(kArrowId, image->resourceId);
        EXPECT_EQ(7, image->width);
        EXPECT_EQ(5, image->height);
        EXPECT_EQ(V(place), RectOf(&control));
        EXPECT_EQ(V(place), DrawRectOf(&control));
        ZelImageControl unplaced(kArrowId);
        EXPECT_EQ((Box{0, 0, 0, 0}), RectOf(&unplaced));
        unplaced.SetImage(image);
        EXPECT_EQ(image.get(), unplaced.GetImage().get());
        EXPECT_EQ(images + 1, LiveImageCount()) << "the control's own image went when it took another";
    }
    EXPECT_EQ(images, LiveImageCount());
}

TEST(ZelImageControl, ATreeDrawsItsVisibleImagesIntoTheirRectanglesAndGivesThemBack) {
    Toolkit kit(40, 40);
    kit.SetImage(kWhiteId, SolidPng(8, 8, Argb(255, 255, 255, 255)));
    BackBuffer buffer(kit.window());
    buffer.Fill(0);
    int images = LiveImageCount();
    ZelControl* column = new ZelControl;
    RECT place{4, 6, 8, 8}, other{20, 0, 30, 10};
    auto* shown = new ZelImageControl(kWhiteId, &place);
    auto* hidden = new ZelImageControl(kWhiteId, &other);
    shown->EnableAlphaBlend();
    column->AddChild(shown, -1);
    column->AddChild(hidden, -1);
    hidden->SetVisible(0, 0);
    EXPECT_EQ(1, hidden->Draw(buffer.dc()));
    EXPECT_EQ(0, column->Draw(buffer.dc()));
    for (int y = 0; y < 40; y++)
        for (int x = 0; x < 40; x++)
            ASSERT_EQ(x >= 4 && x < 8 && y >= 6 && y < 8 ? 0xFFFF : 0, buffer.Get(x, y)) << x << ", " << y;
    column->DeleteSelf();
    EXPECT_EQ(images, LiveImageCount()) << "deleting the tree gives back its images";
}

TEST(ZelImageControl, DrawsAtItsOwnOpacityAndPutsTheGlobalOneBack) {
    Toolkit kit(10, 10);
    kit.SetImage(kWhiteId, SolidPng(2, 2, Argb(255, 255, 255, 255)));
    BackBuffer buffer(kit.window());
    RECT place{0, 0, 2, 2};
    ZelImageControl control(kWhiteId, &place);
    control.EnableAlphaBlend();

    // Inherited: at opacity 5 opaque white over black stays black.
    buffer.Fill(0);
    SetGlobalAlpha(5);
    control.Draw(buffer.dc());
    EXPECT_EQ(0, buffer.Get(0, 0));
    EXPECT_EQ(5, GetGlobalAlpha());

    // Its own: 128 gives T[128][T[128][255]] = 64 per channel, whatever the
    // module's opacity, which is restored afterwards.
    control.SetAlpha(128);
    control.Draw(buffer.dc());
    EXPECT_EQ(0x4208, buffer.Get(1, 1));
    EXPECT_EQ(5, GetGlobalAlpha());

    control.SetAlpha(255);
    buffer.Fill(0);
    control.Draw(buffer.dc());
    EXPECT_EQ(0xFFFF, buffer.Get(1, 1));
    EXPECT_EQ(5, GetGlobalAlpha());
}
