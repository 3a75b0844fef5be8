// The toolkit's window-less controls: a rectangle with a visibility flag, a
// name, a tag and an owned, ordered list of children, drawn into the back
// buffer by calling Draw on the root; and the image control, a leaf that draws
// a PNG resource. The virtual operations keep their fixed order.
#pragma once

#include <cstdint>
#include <vector>

#include "ZoomControls/ImageUtil.h"
#include "platform/win32.h"

class ZelControl {
public:
    ZelControl();
    virtual ~ZelControl();                                                          // 0
    virtual void DeleteSelf();                                                      // 1
    virtual void DestroyChildren();                                                 // 2
    virtual uint32_t GetTag();                                                      // 3
    virtual const wchar_t* GetName();                                               // 4
    virtual RECT* GetRect(RECT* out);                                               // 5
    virtual RECT* GetDrawRect(RECT* out);                                           // 6
    virtual ZelControl* GetChildControl(int index);                                 // 7
    virtual int GetChildCount();                                                    // 8
    virtual ZelControl* GetParent();                                                // 9
    virtual void SetTag(uint32_t tag);                                              // 10
    virtual void SetName(const wchar_t* name);                                      // 11
    virtual void SetRect(int left, int top, int right, int bottom, int recursive);  // 12
    virtual void SetVisible(int show, int recursive);                               // 13
    virtual void SetParent(ZelControl* parent);                                     // 14
    virtual int IsVisible();                                                        // 15
    virtual int Draw(HDC hdc);                                                      // 16
    virtual HRESULT AddChild(ZelControl* child, int index);                         // 17
    virtual void Offset(int dx, int dy, int recursive);                             // 18
    virtual void AdjustEdges(int dl, int dt, int dr, int db, int recursive);        // 19

    ZelControl(const ZelControl&) = delete;
    ZelControl& operator=(const ZelControl&) = delete;

protected:
    uint32_t tag_;
    wchar_t* name_;
    uint32_t flags_;  // 0x10 = hidden
    RECT rect_;
    RECT drawRect_;
    std::vector<ZelControl*> children_;
    ZelControl* parent_;
};

class ZelImageControl : public ZelControl {
public:
    // Loads the size of IMAGE resource `resourceId` of the toolkit's resource
    // module; with `rect`, places the control there.
    explicit ZelImageControl(int resourceId, const RECT* rect = nullptr);
    ~ZelImageControl() override;
    int Draw(HDC hdc) override;

    virtual void EnableAlphaBlend();                        // 20
    virtual void SetFillColor(COLORREF colour);             // 21
    virtual int SetImage(const ImageRef& image);            // 22
    virtual ImageRef GetImage();                            // 23
    virtual void SetStripDraw(bool on);                     // 24
    virtual void SetScaleMode(bool scaled, bool bilinear);  // 25
    virtual void SetAlpha(int alpha);                       // 26

protected:
    ImageRef image_;
    COLORREF fillColour_;
    uint32_t imageFlags_;  // bit 0 alpha blend, 1 fill, 2 strip, 3 scaled, 4 bilinear
    int alpha_;            // -1: the current global opacity
};
