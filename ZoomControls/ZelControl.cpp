// Window-less controls: the tree operations of ZelControl, applied to a whole
// subtree on request, and the image control that draws a PNG resource through
// ImageUtil.
#include "ZoomControls/ZelControl.h"

#include <cwchar>

#include "ZoomControls/Diagnostics.h"

namespace {

constexpr const char* kSource = ".\\ZoomControls\\ZelControl";
constexpr uint32_t kHidden = 0x10;

// Calls fn on each child in list order. A null child ends the walk after the
// child-lookup diagnostic naming `line`.
template <class Fn>
void ForEachChild(ZelControl* self, int line, Fn fn) {
    for (int i = 0; i < self->GetChildCount(); i++) {
        ZelControl* pControl = self->GetChildControl(i);
        if (!pControl) {
            LogChildLookup("pControl", "this", i, kSource, line);
            return;
        }
        fn(pControl);
    }
}

}  // namespace

ZelControl::ZelControl() : tag_(0), name_(nullptr), flags_(1), rect_{}, drawRect_{}, parent_(nullptr) {}

ZelControl::~ZelControl() {
    DestroyChildren();
}

void ZelControl::DeleteSelf() {
    delete this;
}

// The list is taken over first, so a child's destructor never sees a
// half-emptied list of its parent.
void ZelControl::DestroyChildren() {
    delete[] name_;
    name_ = nullptr;
    std::vector<ZelControl*> children;
    children.swap(children_);
    for (ZelControl* child : children) delete child;
}

uint32_t ZelControl::GetTag() {
    return tag_;
}

const wchar_t* ZelControl::GetName() {
    return name_;
}

RECT* ZelControl::GetRect(RECT* out) {
    if (out) *out = rect_;
    return out;
}

RECT* ZelControl::GetDrawRect(RECT* out) {
    if (out) *out = drawRect_;
    return out;
}

ZelControl* ZelControl::GetChildControl(int index) {
    if (index < 0 || index >= (int)children_.size()) return nullptr;
    return children_[(size_t)index];
}

int ZelControl::GetChildCount() {
    return (int)children_.size();
}

ZelControl* ZelControl::GetParent() {
    return parent_;
}

void ZelControl::SetTag(uint32_t tag) {
    tag_ = tag;
}

void ZelControl::SetName(const wchar_t* name) {
    if (!name) {
        LogCPR("pwszName", kSource, 60);
        return;
    }
    size_t length = wcslen(name);
    wchar_t* copy = new wchar_t[length + 1]();
    wmemcpy(copy, name, length);
    delete[] name_;  // after copying: `name` may be the current name itself
    name_ = copy;
}

void ZelControl::SetRect(int left, int top, int right, int bottom, int recursive) {
    rect_ = RECT{left, top, right, bottom};
    drawRect_ = rect_;
    if (recursive) ForEachChild(this, 193, [&](ZelControl* child) { child->SetRect(left, top, right, bottom, 1); });
}

void ZelControl::SetVisible(int show, int recursive) {
    if (show)
        flags_ &= ~kHidden;
    else
        flags_ |= kHidden;
    if (recursive) ForEachChild(this, 296, [&](ZelControl* child) { child->SetVisible(show, recursive); });
}

// The link is set by the parent's AddChild and lets AddChild refuse a control
// that already has a parent or would become its own ancestor.
void ZelControl::SetParent(ZelControl* parent) {
    parent_ = parent;
}

int ZelControl::IsVisible() {
    return (flags_ & kHidden) == 0;
}

int ZelControl::Draw(HDC hdc) {
    ForEachChild(this, 110, [&](ZelControl* child) {
        if (child->IsVisible()) child->Draw(hdc);
    });
    return 0;
}

// Index -1 appends; 0..count inserts before that child. A control that cannot
// be taken without breaking the tree (an index out of range, a control that
// already has a parent, this control or one of its ancestors) is refused with
// E_INVALIDARG and stays the caller's.
HRESULT ZelControl::AddChild(ZelControl* child, int index) {
    if (!child) {
        LogCPR("pControl", kSource, 81);
        return E_FAIL;
    }
    if (index < -1 || index > (int)children_.size()) return E_INVALIDARG;
    if (child->GetParent()) return E_INVALIDARG;
    for (ZelControl* up = this; up; up = up->GetParent())
        if (up == child) return E_INVALIDARG;
    child->SetParent(this);
    if (index == -1)
        children_.push_back(child);
    else
        children_.insert(children_.begin() + index, child);
    return S_OK;
}

void ZelControl::Offset(int dx, int dy, int recursive) {
    rect_ = RECT{rect_.left + dx, rect_.top + dy, rect_.right + dx, rect_.bottom + dy};
    drawRect_ = RECT{drawRect_.left + dx, drawRect_.top + dy, drawRect_.right + dx, drawRect_.bottom + dy};
    if (recursive) ForEachChild(this, 225, [&](ZelControl* child) { child->Offset(dx, dy, 1); });
}

void ZelControl::AdjustEdges(int dl, int dt, int dr, int db, int recursive) {
    rect_ = RECT{rect_.left + dl, rect_.top + dt, rect_.right + dr, rect_.bottom + db};
    drawRect_ = RECT{drawRect_.left + dl, drawRect_.top + dt, drawRect_.right + dr, drawRect_.bottom + db};
    if (recursive) ForEachChild(this, 257, [&](ZelControl* child) { child->AdjustEdges(dl, dt, dr, db, recursive); });
}

// ---------------------------------------------------------------------------
// ZelImageControl

ZelImageControl::ZelImageControl(int resourceId, const RECT* rect) : fillColour_(0), imageFlags_(0), alpha_(-1) {
    LoadResourceImage(image_, GetResourceInstance(), resourceId);
    if (rect) SetRect(rect->left, rect->top, rect->right, rect->bottom, 1);
}

ZelImageControl::~ZelImageControl() = default;

// A control with its own opacity draws at it and puts the module's opacity
// back; with alpha -1 it draws at whatever opacity its parent has set.
int ZelImageControl::Draw(HDC hdc) {
    if (!IsVisible()) return 1;
    const int saved = GetGlobalAlpha();
    const bool own = alpha_ > 0;
    if (own) SetGlobalAlpha(alpha_);
    RECT rc;
    GetDrawRect(&rc);
    DrawImage(image_, hdc, &rc, nullptr, imageFlags_ & 1, (imageFlags_ >> 3) & 1, (imageFlags_ >> 4) & 1);
    if (own) SetGlobalAlpha(saved);
    return 0;
}

void ZelImageControl::EnableAlphaBlend() {
    imageFlags_ |= 1;
}

void ZelImageControl::SetFillColor(COLORREF colour) {
    fillColour_ = colour;
    imageFlags_ |= 2;
}

int ZelImageControl::SetImage(const ImageRef& image) {
    image_ = image;
    return 0;
}

ImageRef ZelImageControl::GetImage() {
    return image_;
}

void ZelImageControl::SetStripDraw(bool on) {
    if (on)
        imageFlags_ |= 4;
    else
        imageFlags_ &= ~4u;
}

void ZelImageControl::SetScaleMode(bool scaled, bool bilinear) {
    imageFlags_ = (imageFlags_ & ~(8u | 16u)) | (scaled ? 8u : 0u) | (bilinear ? 16u : 0u);
}

void ZelImageControl::SetAlpha(int alpha) {
    alpha_ = alpha;
}
