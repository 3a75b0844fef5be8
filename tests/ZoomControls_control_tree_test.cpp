// The window-less control tree: child order and lookup, ownership, recursion of
// geometry and visibility into subtrees, names, the null-child diagnostic, and
// the image control drawing its PNG at its own or the inherited opacity.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "ZoomControls/Diagnostics.h"
#include "ZoomControls/ZelControl.h"
#include "ZoomControls_TestImages.h"

using namespace zoom_test;

namespace {

using Log = std::vector<std::string>;
using Box = std::vector<int>;  // left, top, right, bottom

// A control that notes its draws and its deletion in a shared log; with a
// `hole`, GetChildControl(hole) gives null.
struct Probe : ZelControl {
    Probe(Log* log, std::string label, int hole = -1) : log_(log), label_(std::move(label)), hole_(hole) {}
    ~Probe() override { log_->push_back("~" + label_); }
    int Draw(HDC hdc) override {
        log_->push_back(label_);
        return ZelControl::Draw(hdc);
    }
    ZelControl* GetChildControl(int index) override {
        return index == hole_ ? nullptr : ZelControl::GetChildControl(index);
    }
    Log* log_;
    std::string label_;
    int hole_;
};

std::vector<ZelControl*> Children(ZelControl& c) {
    std::vector<ZelControl*> out;
    for (int i = 0; i < c.GetChildCount(); i++) out.push_back(c.GetChildControl(i));
    return out;
}

Box RectOf(ZelControl* c, bool draw = false) {
    RECT r{};
    draw ? c->GetDrawRect(&r) : c->GetRect(&r);
    return {r.left, r.top, r.right, r.bottom};
}

// root [a [a1], b]
struct Tree {
    Log log;
    Probe *root = new Probe(&log, "root"), *a = new Probe(&log, "a"), *b = new Probe(&log, "b");
    Probe* a1 = new Probe(&log, "a1");
    std::vector<ZelControl*> all{root, a, a1, b};
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

TEST(ZelControl, AddChildInsertsBeforeTheIndexOrAppendsAndLookupOutsideGivesNull) {
    Tree t;
    EXPECT_EQ(nullptr, t.root->GetChildControl(-1));
    EXPECT_EQ(nullptr, t.root->GetChildControl(2));
    EXPECT_EQ(t.root, t.a->GetParent());
    ZelControl *c = new ZelControl, *d = new ZelControl, *e = new ZelControl, *f = new ZelControl;
    EXPECT_EQ(S_OK, t.root->AddChild(c, 0));
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
    for (ZelControl* c : {(ZelControl*)t.b, (ZelControl*)t.a1, (ZelControl*)&loose}) EXPECT_EQ(0, c->GetChildCount());
    EXPECT_EQ(nullptr, loose.GetParent()) << "a refused control stays unattached";

    EXPECT_EQ(E_FAIL, t.root->AddChild(nullptr, -1));
    EXPECT_EQ("Error CPR(pControl):.\\ZoomControls\\ZelControl line 81\n", Narrow(DiagnosticText()));
    EXPECT_EQ(2, t.root->GetChildCount());
}

TEST(ZelControl, DeletingTheRootDeletesTheSubtreeDepthFirstInOrder) {
    Tree t;
    t.root->DeleteSelf();
    t.root = nullptr;
    EXPECT_EQ((Log{"~root", "~a", "~a1", "~b"}), t.log);

    Tree u;
    u.root->SetName(L"kept until the children go");
    u.root->DestroyChildren();
    EXPECT_EQ(0, u.root->GetChildCount());
    EXPECT_EQ(nullptr, u.root->GetName());
    EXPECT_EQ((Log{"~a", "~a1", "~b"}), u.log);
}

TEST(ZelControl, DrawVisitsVisibleChildrenInOrderAndSetVisibleRecursesOnlyWhenAsked) {
    Tree t;
    EXPECT_EQ(0, t.root->Draw(nullptr));
    EXPECT_EQ((Log{"root", "a", "a1", "b"}), t.log);
    t.log.clear();
    t.a->SetVisible(0, 0);
    t.root->Draw(nullptr);
    EXPECT_EQ((Log{"root", "b"}), t.log) << "a hidden child hides its subtree";
    EXPECT_EQ(1, t.a1->IsVisible()) << "not recursive";
    t.root->SetVisible(0, 1);
    for (ZelControl* c : t.all) EXPECT_EQ(0, c->IsVisible());
    t.root->SetVisible(1, 0);
    EXPECT_EQ(1, t.root->IsVisible());
    EXPECT_EQ(0, t.b->IsVisible());
    t.root->SetVisible(1, 1);
    EXPECT_EQ(1, t.a1->IsVisible());
}

TEST(ZelControl, GeometryChangesReachTheSubtreeOnlyWhenRecursive) {
    Tree t;
    t.root->SetRect(10, 20, 110, 220, 1);
    for (ZelControl* c : t.all) {
        EXPECT_EQ((Box{10, 20, 110, 220}), RectOf(c));
        EXPECT_EQ((Box{10, 20, 110, 220}), RectOf(c, true));
    }
    t.a1->SetRect(0, 0, 8, 8, 0);
    t.root->Offset(5, -3, 1);
    EXPECT_EQ((Box{15, 17, 115, 217}), RectOf(t.root));
    EXPECT_EQ((Box{15, 17, 115, 217}), RectOf(t.b, true));
    EXPECT_EQ((Box{5, -3, 13, 5}), RectOf(t.a1));
    t.root->AdjustEdges(1, 2, -3, -4, 1);
    EXPECT_EQ((Box{16, 19, 112, 213}), RectOf(t.root));
    EXPECT_EQ((Box{6, -1, 10, 1}), RectOf(t.a1, true));
    t.root->Offset(100, 100, 0);
    t.root->AdjustEdges(-1, -1, 1, 1, 0);
    t.root->SetRect(0, 0, 1, 1, 0);
    EXPECT_EQ((Box{0, 0, 1, 1}), RectOf(t.root));
    EXPECT_EQ((Box{16, 19, 112, 213}), RectOf(t.a));
    EXPECT_EQ((Box{6, -1, 10, 1}), RectOf(t.a1));
}

TEST(ZelControl, StartsVisibleAndEmptyAndSetNameStoresItsOwnCopy) {
    ZelControl c;
    EXPECT_EQ(1, c.IsVisible());
    EXPECT_EQ(0, c.GetChildCount());
    EXPECT_EQ(nullptr, c.GetName());
    EXPECT_EQ(nullptr, c.GetParent());
    EXPECT_EQ(0u, c.GetTag());
    EXPECT_EQ((Box{0, 0, 0, 0}), RectOf(&c));
    EXPECT_EQ(nullptr, c.GetRect(nullptr));
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
    EXPECT_EQ("Error CPR(pwszName):.\\ZoomControls\\ZelControl line 60\n", Narrow(DiagnosticText()));
}

TEST(ZelControl, ANullChildEndsTheWalkWithTheLookupDiagnostic) {
    const struct {
        const char* operation;
        int line;
        void (*run)(ZelControl*);
    } cases[] = {
        {"Draw", 110, [](ZelControl* c) { c->Draw(nullptr); }},
        {"SetRect", 193, [](ZelControl* c) { c->SetRect(1, 2, 3, 4, 1); }},
        {"Offset", 225, [](ZelControl* c) { c->Offset(1, 2, 1); }},
        {"AdjustEdges", 257, [](ZelControl* c) { c->AdjustEdges(1, 2, 3, 4, 1); }},
        {"SetVisible", 296, [](ZelControl* c) { c->SetVisible(0, 1); }},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.operation);
        Log log;
        Probe *root = new Probe(&log, "holey", 1), *first = new Probe(&log, "first"), *last = new Probe(&log, "last");
        for (ZelControl* child : {first, new Probe(&log, "behind the hole"), last}) root->AddChild(child, -1);
        k.run(root);
        EXPECT_EQ("Error pControl = this->GetChildControl(1) : .\\ZoomControls\\ZelControl, line " +
                      std::to_string(k.line) + "\n",
                  Narrow(DiagnosticText()));
        // The first child was reached, the one after the hole was not.
        EXPECT_EQ(RectOf(root), RectOf(first));
        EXPECT_EQ(root->IsVisible(), first->IsVisible());
        EXPECT_EQ((Box{0, 0, 0, 0}), RectOf(last));
        EXPECT_EQ(1, last->IsVisible());
        EXPECT_EQ((k.line == 110 ? Log{"holey", "first"} : Log{}), log);
        root->DeleteSelf();
    }
}

// ---------------------------------------------------------------------------
// ZelImageControl

namespace {
constexpr int kArrowId = 311, kWhiteId = 312;
}  // namespace

// A control takes its resource's size and its rectangle and gives back its own
// image when it takes another; a tree draws only its visible images; a control
// draws at its own opacity or the inherited one.
TEST(ZelImageControl, TakesItsResourceAndRectangleDrawsWhenVisibleAtItsOpacityAndGivesItBack) {
    Toolkit kit(40, 40);
    kit.SetImage(kArrowId, SolidPng(7, 5, Argb(255, 255, 128, 0)));
    kit.SetImage(kWhiteId, SolidPng(8, 8, Argb(255, 255, 255, 255)));
    BackBuffer buffer(kit.window());
    buffer.Fill(0);
    const int images = LiveImageCount();
    ZelControl* column = new ZelControl;
    RECT place{4, 6, 8, 8};
    auto* shown = new ZelImageControl(kWhiteId, &place);
    auto* hidden = new ZelImageControl(kArrowId);
    EXPECT_EQ(images + 2, LiveImageCount());
    const CachedImage* arrow = hidden->GetImage().get();  // the control keeps it
    EXPECT_EQ((Box{kArrowId, 7, 5}), (Box{arrow->resourceId, arrow->width, arrow->height}));
    EXPECT_EQ((Box{4, 6, 8, 8}), RectOf(shown));
    EXPECT_EQ((Box{4, 6, 8, 8}), RectOf(shown, true));
    EXPECT_EQ((Box{0, 0, 0, 0}), RectOf(hidden));
    hidden->SetImage(shown->GetImage());
    EXPECT_EQ(shown->GetImage().get(), hidden->GetImage().get());
    EXPECT_EQ(images + 1, LiveImageCount()) << "the control's own image went when it took another";
    shown->EnableAlphaBlend();
    hidden->SetRect(20, 0, 30, 10, 0);
    column->AddChild(shown, -1);
    column->AddChild(hidden, -1);
    hidden->SetVisible(0, 0);
    EXPECT_EQ(1, hidden->Draw(buffer.dc()));
    EXPECT_EQ(0, column->Draw(buffer.dc()));
    for (int y = 0; y < 40; y++)
        for (int x = 0; x < 40; x++)
            ASSERT_EQ(x >= 4 && x < 8 && y >= 6 && y < 8 ? 0xFFFF : 0, buffer.Get(x, y)) << x << ", " << y;
    // Inherited, opacity 5 leaves opaque white over black black; its own 128
    // gives T[128][T[128][255]] = 64 per channel whatever the module's opacity,
    // which is put back each time.
    SetGlobalAlpha(5);
    const std::pair<int, int> cases[] = {{-1, 0}, {128, 0x4208}, {255, 0xFFFF}};  // alpha, pixel
    for (auto [alpha, expected] : cases) {
        SCOPED_TRACE(alpha);
        buffer.Fill(0);
        shown->SetAlpha(alpha);
        shown->Draw(buffer.dc());
        EXPECT_EQ(expected, buffer.Get(5, 7));
        EXPECT_EQ(5, GetGlobalAlpha());
    }
    column->DeleteSelf();
    EXPECT_EQ(images, LiveImageCount()) << "deleting the tree gives back its images";
}
