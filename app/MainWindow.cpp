#include "app/MainWindow.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <new>

#include "ZoomControls/ZoomController.h"
#include "ZoomControls/ZoomOverlay.h"
#include "app/ButtonBar.h"
#include "app/View.h"
#include "app/WinMain.h"
#include "dialogs/MessagePanel.h"
#include "dialogs/OpenFlow.h"
#include "dialogs/SaveAsDialog.h"
#include "dialogs/SavePopup.h"
#include "imaging/BackgroundBlur.h"
#include "imaging/JpegWriter.h"
#include "imaging/LoadPicture.h"
#include "imaging/PyramidLevel.h"
#include "imaging/ResizePicture.h"
#include "imaging/TouchMaskEditor.h"
#include "resources/resource_ids.h"
#include "subject/SubjectMask.h"
#include "subject/WorkMemory.h"

AppState g_app;
int g_level;
float g_zoom;
RECT g_clientRect;
SpanRect g_srcSpan;
POINT g_pressPoint;
int32_t g_subjectRect[4];

namespace {

SHACTIVATEINFO s_activateInfo;
int64_t s_maxOpenBytes = kMaxOpenBytes;
constexpr wchar_t kCaption[] = L"Lumetra";

void Notice(const wchar_t* text) {
    AppMessageBox(g_app.instance, g_app.window, kCaption, text, PANEL_OK);
}

void SetLook(int slot, int look) {
    if (g_app.buttonBar) g_app.buttonBar->SetLook(slot, look);
}

// Looks after a successful open and after Reset.
void SetEditingLooks() {
    static const int looks[7] = {LOOK_HIDDEN,   LOOK_DISABLED, LOOK_ENABLED, LOOK_DISABLED,
                                 LOOK_DISABLED, LOOK_DISABLED, LOOK_DISABLED};
    for (int i = 0; i < 7; i++) SetLook(i, looks[i]);
}

void Repaint() {
    InvalidateRect(g_app.window, nullptr, TRUE);
}

// Draws `pixels` (a picture of the given size) through the current spans: in
// WM_PAINT, or at once when `insidePaint` is 0.
void PaintPicture(const uint8_t* pixels, int width, int height, int insidePaint) {
    PaintView(g_app.window, pixels, g_app.buttonBar, g_app.zoomController, width, height, g_srcSpan.x0, g_srcSpan.x1,
              g_srcSpan.y0, g_srcSpan.y1, g_app.dstSpan.x0, g_app.dstSpan.x1, g_app.dstSpan.y0, g_app.dstSpan.y1,
              insidePaint);
}

void PaintReducedNow() {
    PaintPicture(g_app.reduced.pixels, g_app.reduced.width, g_app.reduced.height, 0);
}

// The picture the effect view shows: the effect, or the photo as loaded while
// Compare is on.
const uint8_t* EffectViewPixels() {
    return g_app.showBackup == 1 && g_app.backup ? g_app.backup : g_app.full.pixels;
}

// Ends whatever the zoom controller is animating. A zoom or fade started in the
// effect view must not go on after the window has left it: its ticks would lay
// the full picture's zoomed spans over the reduced copy.
void StopZoom() {
    if (!g_app.zoomController) return;
    g_app.zoomController->StopOverlay();
    g_app.zoomController->CancelTap();
    KillTimer(g_app.window, TIMER_ZOOM);
}

// Zoom buttons after a zoom change: zoom out shown once zoomed in, zoom in at 1.0.
void SetZoomButtonLooks() {
    if (g_zoom > ZoomController::kMinZoom) {
        SetLook(0, LOOK_ENABLED);
        SetLook(1, LOOK_HIDDEN);
    } else {
        SetLook(0, LOOK_HIDDEN);
        SetLook(1, LOOK_ENABLED);
    }
}

// The zoom commands: an animation to 2.5 or back to the fitted view.
void StartZoom(bool in) {
    if (g_app.state != 2 || !g_app.zoomController) return;
    g_app.zoomController->StartZoomAnimation(in ? ZOOM_MODE_IN_ANIMATION : ZOOM_MODE_OUT_ANIMATION);
    g_app.zoomController->SetZoomStep(in ? 0.3f : -0.3f);
}

// Wide characters that hold a picture's folder, a separator and its name.
constexpr size_t kPicturePathChars = sizeof(ImageRecord::folder) + sizeof(ImageRecord::name) + 1;

// Full path of the loaded picture: folder, separator, name.
void PicturePath(wchar_t* path, size_t chars) {
    wchar_t folder[260] = {0};
    wchar_t name[255] = {0};
    MultiByteToWideChar(CP_ACP, 0, g_app.full.folder, -1, folder, 259);
    MultiByteToWideChar(CP_ACP, 0, g_app.full.name, (int)strnlen(g_app.full.name, 255), name, 254);
    swprintf(path, chars, L"%ls/%ls", folder, name);
}

// Makes `reduced` from `full` at the current level, with a fresh empty mask.
// The new buffers are allocated before the old ones are given up, so when
// memory is short this returns false and `reduced` and `mask` are as they were.
bool MakeReducedCopy() {
    const int width = g_app.full.width >> g_level, height = g_app.full.height >> g_level;
    const size_t pixels = (size_t)width * (size_t)height;
    uint8_t* reduced = static_cast<uint8_t*>(WorkCalloc(pixels, 3));
    uint8_t* mask = static_cast<uint8_t*>(WorkCalloc(pixels, 1));
    if (!reduced || !mask) {
        WorkFree(reduced);
        WorkFree(mask);
        return false;
    }
    free(g_app.reduced.pixels);
    WorkFree(g_app.mask);
    g_app.reduced.width = width;
    g_app.reduced.height = height;
    g_app.reduced.byteSize = width * height * 3;
    g_app.reduced.pixels = reduced;
    g_app.mask = mask;
    ResizePicture(g_app.full.pixels, g_app.full.width, g_app.full.height, g_app.reduced.pixels, g_app.reduced.width,
                  g_app.reduced.height, 1);
    return true;
}

void ReleasePictures() {
    WorkFree(g_app.backup);
    g_app.backup = nullptr;
    WorkFree(g_app.mask);
    g_app.mask = nullptr;
    ClearImageRecord(&g_app.reduced);
    ClearImageRecord(&g_app.full);
}

// Gives up a picture that cannot be shown (unreadable, or no memory for its
// working copy): the window goes back to no picture and says so.
void DropPicture() {
    ReleasePictures();
    g_app.state = 0;
    Repaint();
    Notice(L"Too Large or incorrect file !");
}

void OnOpen() {
    StopZoom();
    ReleasePictures();
    FreeRegionLabelMap();
    g_app.subjectFound = g_app.showBackup = g_app.state = g_app.brushMode = 0;
    int result = ChoosePicture(g_app.window, &g_app.full, MaxOpenBytes());
    if (result == 1) {
        Repaint();
        SendMessage(g_app.window, WM_CLOSE, 0, 0);
        return;
    }
    if (result == 0) {
        DropPicture();
        return;
    }
    // A picture over the limit was measured from its file's header and never
    // decoded: the record holds its size and no pixels.
    if (!g_app.full.pixels || g_app.full.byteSize > MaxOpenBytes()) {
        ClearImageRecord(&g_app.full);
        g_app.state = 0;
        Repaint();
        Notice(L"  Open image under 2M");
        PostMessage(g_app.window, WM_COMMAND, CMD_OPEN, 0);
        return;
    }
    g_app.state = 1;
    int longer = g_app.full.width > g_app.full.height ? g_app.full.width : g_app.full.height;
    g_level = PyramidLevel(longer);
    if (!MakeReducedCopy()) {
        // Not enough memory for the working copy: nothing is shown half-made.
        DropPicture();
        return;
    }
    g_subjectRect[0] = g_subjectRect[2] = -1;
    SetEditingLooks();
    FitView(g_app.window, g_app.reduced, &g_srcSpan, &g_app.dstSpan);
    Repaint();
}

// Finds the people in the reduced copy and shows them tinted green; without a
// face the user is asked to mark the subject with the brushes, which work on
// the regions the search left behind. Runs once per picture, and only while the
// reduced copy is on screen (in the effect view the window shows the full
// picture, whose spans do not fit the reduced copy).
void OnFind() {
    if (g_app.subjectFound != 0 || g_app.state != 1 || !g_app.mask || !g_app.reduced.pixels) return;
    const int width = g_app.reduced.width, height = g_app.reduced.height;
    int code = FindSubjectMask(g_app.reduced.pixels, g_app.mask, width, height, g_subjectRect);
    if (code == SUBJECT_NO_FACE) Notice(L"No one !\\Touch your target !");
    uint8_t* p = g_app.reduced.pixels;
    const size_t pixels = (size_t)width * (size_t)height;
    for (size_t i = 0; i < pixels; i++, p += 3) {
        if (g_app.mask[i] == 1) p[1] = (uint8_t)((p[1] + 255) / 2);
    }
    g_app.brushMode = 1;
    g_app.subjectFound = 1;
    SetLook(2, LOOK_DISABLED);
    SetLook(3, LOOK_PRESSED);
    SetLook(4, LOOK_ENABLED);
    SetLook(5, LOOK_ENABLED);
    PaintReducedNow();
}

void OnSave() {
    if (g_app.state == 0) return;
    if (AppMessageBox(g_app.instance, g_app.window, kCaption, L"Overwrite original file,\\Continue ?",
                      PANEL_OK_CANCEL) == 1)
        return;
    wchar_t path[kPicturePathChars] = {0};
    PicturePath(path, kPicturePathChars);
    HCURSOR previous = SetCursor(LoadCursor(nullptr, IDC_WAIT));
    int saved = SaveJpegPicture(path, g_app.full.pixels, g_app.full.width, g_app.full.height, g_app.full.metadata);
    SetCursor(previous);
    Notice(saved == 1 ? L"Done" : L"Not enough storage !");
}

// Says that an operation was given up for lack of memory; the picture and the
// state are as they were before it.
void NoMemoryNotice() {
    Notice(L"Not enough memory !");
}

// Saves under a new name: the folder picker chooses the folder and leaves it
// in the registry, and the Save As dialog asks for the name and writes the file.
void OnSaveAs() {
    if (g_app.state == 0) return;
    wchar_t folder[260] = {0};
    if (DirselaSingle() < 0) return;
    if (FAILED(
            SHRegQueryString(HKEY_CURRENT_USER, L"Software\\Korvex\\Filora\\Dirsela", L"Folder_Path_0", folder, 260)))
        folder[0] = 0;
    ShowSaveAsDialog(g_app.instance, g_app.window, &g_app.full, folder);
}

// Returns to marking: the reduced copy is made again from `full` (which drops
// the tint) with an empty mask. In the effect view the picture is first read
// again from its file, so a saved effect stays and an unsaved one is undone.
void OnReset() {
    const int state = g_app.state;
    if (state != 1 && state != 2) {
        SetEditingLooks();
        g_app.subjectFound = g_app.brushMode = g_app.showBackup = 0;
        return;
    }
    if (state == 2) {
        wchar_t path[kPicturePathChars] = {0}, name[255] = {0};
        PicturePath(path, kPicturePathChars);
        MultiByteToWideChar(CP_ACP, 0, g_app.full.name, (int)strnlen(g_app.full.name, 255), name, 254);
        // The file is read into a record of its own first: when it has gone or
        // cannot be read any more, the user is told and chooses another picture
        // instead of working on a cleared one.
        ImageRecord fresh{};
        memcpy(fresh.folder, g_app.full.folder, sizeof fresh.folder);
        if (LoadPicture(path, name, &fresh, MaxOpenBytes()) != LOAD_OK) {
            ClearImageRecord(&fresh);
            DropPicture();
            PostMessage(g_app.window, WM_COMMAND, CMD_OPEN, 0);
            return;
        }
        // The same file gives the same level; a file replaced by one of another
        // size gets its own.
        const int oldLevel = g_level;
        ImageRecord old = g_app.full;
        g_app.full = fresh;
        g_level = PyramidLevel(std::max(fresh.width, fresh.height));
        if (!MakeReducedCopy()) {
            g_app.full = old;
            g_level = oldLevel;
            ClearImageRecord(&fresh);
            NoMemoryNotice();
            return;
        }
        ClearImageRecord(&old);
    } else if (!MakeReducedCopy()) {
        NoMemoryNotice();
        return;
    }
    SetEditingLooks();
    g_app.subjectFound = g_app.brushMode = g_app.showBackup = 0;
    g_app.state = 1;
    StopZoom();
    WorkFree(g_app.backup);
    g_app.backup = nullptr;
    FreeRegionLabelMap();
    g_subjectRect[0] = g_subjectRect[2] = -1;
    FitView(g_app.window, g_app.reduced, &g_srcSpan, &g_app.dstSpan);
    if (state == 2) {
        Repaint();
    } else {
        PaintReducedNow();
    }
}

// Renders the shallow depth of field on the full picture, keeping the picture
// as loaded in `backup` for Compare. Without memory for the copy or for the
// renderer's buffers nothing changes but a notice.
void OnEffect() {
    if (g_app.state != 1 || !g_app.full.pixels || !g_app.mask) return;
    uint8_t* backup = static_cast<uint8_t*>(WorkAlloc((size_t)g_app.full.byteSize));
    if (!backup) {
        NoMemoryNotice();
        return;
    }
    memcpy(backup, g_app.full.pixels, (size_t)g_app.full.byteSize);
    if (!RenderBackgroundBlur(g_app.full.pixels, g_app.mask, g_app.full.pixels, g_app.full.width, g_app.full.height)) {
        WorkFree(backup);
        NoMemoryNotice();
        return;
    }
    FreeRegionLabelMap();
    g_app.brushMode = 0;
    g_app.state = 2;
    WorkFree(g_app.backup);
    g_app.backup = backup;
    g_app.showBackup = 0;
    SetLook(3, LOOK_DISABLED);
    SetLook(4, LOOK_DISABLED);
    SetLook(5, LOOK_DISABLED);
    SetLook(6, LOOK_ENABLED);
    g_zoom = 1.0f;
    if (g_app.zoomController) {
        g_app.zoomController->ShowHint();
        g_app.zoomController->FitImage(g_app.full.width, g_app.full.height, &g_srcSpan, &g_app.dstSpan, &g_zoom);
    } else {
        FitView(g_app.window, g_app.full, &g_srcSpan, &g_app.dstSpan);
    }
    g_app.focus = POINT{g_app.full.width / 2, g_app.full.height / 2};
    PaintPicture(g_app.full.pixels, g_app.full.width, g_app.full.height, 0);
}

// Switches the effect view between the effect and the picture as loaded.
void OnCompare() {
    if (g_app.state != 2 || !g_app.backup) return;
    g_app.showBackup = g_app.showBackup ? 0 : 1;
    PaintPicture(EffectViewPixels(), g_app.full.width, g_app.full.height, 0);
}

// One touch of a brush at client point (x, y): the regions around it join the
// subject (add) or leave it (erase), and the reduced copy is shown again with
// the new tint.
void BrushTouch(int x, int y, int erase) {
    if (g_app.state != 1 || !g_app.tracking || !g_app.mask || !g_app.reduced.pixels || !g_app.full.pixels) return;
    if (!erase) {
        // The add brush reaches the picture's side edges from 20 pixels away, so
        // a finger can mark a subject that touches the border.
        if (x < 20) x = 0;
        if (x > g_app.dstSpan.x1 - 20) x = g_app.dstSpan.x1;
    }
    if (!PointInSpan(x, y, g_app.dstSpan.x0, g_app.dstSpan.x1, g_app.dstSpan.y0, g_app.dstSpan.y1)) return;
    const POINT p = MapPointTrunc(x, y, g_app.dstSpan, g_srcSpan);
    const int width = g_app.reduced.width, height = g_app.reduced.height;
    EditMaskByTouch(g_app.mask, width, height, p.x, p.y, erase);
    // The tinted copy is rebuilt from the full picture by plain sampling.
    const size_t fullStride = (size_t)g_app.full.width * 3;
    for (int r = 0; r < height; r++) {
        const uint8_t* src = g_app.full.pixels + ((size_t)r << g_level) * fullStride;
        uint8_t* dst = g_app.reduced.pixels + (size_t)r * width * 3;
        const uint8_t* marks = g_app.mask + (size_t)r * width;
        for (int c = 0; c < width; c++, dst += 3) {
            const uint8_t* s = src + ((size_t)c << g_level) * 3;
            dst[0] = s[0];
            dst[2] = s[2];
            dst[1] = marks[c] == 1 ? (uint8_t)((s[1] + 255) / 2) : s[1];
        }
    }
    PaintReducedNow();
}

// A finger that wanders off its press point is not holding still.
void CancelHold(int x, int y) {
    if (abs(x - g_pressPoint.x) > 20 || abs(y - g_pressPoint.y) > 20) KillTimer(g_app.window, TIMER_HOLD);
}

// The zoomed picture follows the stylus. Panning starts only once the stylus
// is more than 15 pixels from the press on both axes, and then moves of 3
// pixels or less on either axis wait until they add up.
void Pan(int x, int y) {
    const int dx = g_app.lastX - x, dy = g_app.lastY - y;
    if (g_app.dragArmed == 1) {
        if (abs(y - g_pressPoint.y) <= 15 || abs(x - g_pressPoint.x) <= 15) return;
        g_app.dragArmed = 0;
    }
    if (!PointInSpan(x, y, g_app.dstSpan.x0, g_app.dstSpan.x1, g_app.dstSpan.y0, g_app.dstSpan.y1)) return;
    if (abs(dy) <= 3 || abs(dx) <= 3) return;
    g_srcSpan = PanView(g_app.full, dx, dy, g_srcSpan, g_app.dstSpan);
    StopZoom();
    PaintPicture(EffectViewPixels(), g_app.full.width, g_app.full.height, 0);
    g_app.lastX = x;
    g_app.lastY = y;
}

// After press and hold, a vertical drag zooms by the finger: each move adds
// the distance from the press point, 9 zoom steps for 1.5 client heights.
void DragZoom(int x, int y) {
    ZoomController* zc = g_app.zoomController;
    if (zc->OnMove(x, y) == 0) return;
    if ((g_zoom <= ZoomController::kMinZoom && g_pressPoint.y <= y) ||
        (g_zoom >= ZoomController::kMaxZoom && g_pressPoint.y >= y)) {
        PaintPicture(g_app.full.pixels, g_app.full.width, g_app.full.height, 0);
        return;
    }
    const int divisor = (g_clientRect.bottom - g_clientRect.top) * 3 / 2;
    if (divisor > 0) g_zoom = g_zoom + (float)(g_pressPoint.y - y) * 9.0f / (float)divisor;
    zc->SetZoom(g_zoom);
    zc->ClampZoom();
    g_zoom = zc->GetZoom();
    zc->ComputeZoomedView(g_app.full.width, g_app.full.height, g_app.focus, &g_srcSpan, &g_app.dstSpan);
    SetZoomButtonLooks();
    PaintPicture(g_app.full.pixels, g_app.full.width, g_app.full.height, 0);
}

void OnMove(int x, int y) {
    if (g_app.brushMode == 2) {
        BrushTouch(x, y, 1);
    } else if (g_app.brushMode == 1) {
        BrushTouch(x, y, 0);
    } else if (g_app.tracking && g_app.state == 2) {
        // Outside the photo area the stylus is ignored.
        if (x < g_clientRect.left || x > g_clientRect.right || y < g_clientRect.top ||
            y > g_clientRect.bottom - kButtonBarHeight)
            return;
        const int mode = g_app.zoomController ? g_app.zoomController->GetMode() : -1;
        if (mode == ZOOM_MODE_HOLD || mode == ZOOM_MODE_DRAG) {
            DragZoom(x, y);
        } else if (g_zoom > 1.0f) {
            Pan(x, y);
        } else {
            CancelHold(x, y);
        }
    } else if (g_app.tracking && g_app.state == 1) {
        CancelHold(x, y);
    }
}

void RunButton(int id) {
    switch (id) {
        case 1:
        case 2:
            // The zoom buttons zoom about the middle of what is shown.
            if (g_app.state != 2) break;
            g_app.focus = POINT{(g_srcSpan.x0 + g_srcSpan.x1) / 2, (g_srcSpan.y0 + g_srcSpan.y1) / 2};
            StartZoom(id == 2);
            break;
        case 3:
            OnFind();
            break;
        case 4:
            g_app.brushMode = 1;
            break;
        case 5:
            g_app.brushMode = 2;
            break;
        case 6:
            OnEffect();
            break;
        case 7:
            OnCompare();
            break;
        case 8:
            OnReset();
            break;
        default:
            break;
    }
}

void OnButtonDown(int x, int y) {
    if (g_app.popup) {
        DestroyWindow(g_app.popup);
        g_app.popup = nullptr;
        return;
    }
    g_app.barPress = 1;
    if (g_app.zoomController) g_app.zoomController->StopOverlay();
    int id = 0;
    if ((g_app.state == 1 || g_app.state == 2) && g_app.buttonBar) {
        id = g_app.buttonBar->HitTest(x, y);
        g_app.pressedButton = id;
        g_app.buttonBar->Press(g_app.window, id);
        if (id) {
            RunButton(id);
        } else if (PointInSpan(x, y, g_app.dstSpan.x0, g_app.dstSpan.x1, g_app.dstSpan.y0, g_app.dstSpan.y1)) {
            g_app.tracking = 1;
            g_pressPoint = POINT{x, y};
            g_app.lastX = x;
            g_app.lastY = y;
            if (g_app.state == 2 && g_app.zoomController) {
                // A press in the effect view feeds the double-tap and hold
                // recognition and sets the point zooming keeps in place.
                g_app.zoomController->OnPress(x, y);
                g_app.dragArmed = 1;
                g_app.barPress = 0;
                g_app.focus = MapPointRound(x, y, g_app.dstSpan, g_srcSpan);
                Repaint();
            }
        }
    }
    if (id != 6) SetCapture(g_app.window);
}

void OnButtonUp(int x, int y) {
    if (g_app.pressedButton) {
        if (g_app.buttonBar) g_app.buttonBar->Release(g_app.window, g_app.pressedButton);
        g_app.pressedButton = 0;
    }
    KillTimer(g_app.window, TIMER_HOLD);
    if (g_app.tracking) {
        KillTimer(g_app.window, TIMER_OVERLAY);
        g_app.tracking = 0;
        if (g_app.zoomController) {
            const int mode = g_app.zoomController->GetMode();
            if (mode == ZOOM_MODE_HOLD || mode == ZOOM_MODE_DRAG) g_app.zoomController->OnRelease(x, y);
        }
    }
    ReleaseCapture();
}

// The controller's timers: a zoom step moves the view, the others pace its
// own recognition and fades.
void OnTimer(WPARAM id, LPARAM lParam) {
    ZoomController* zc = g_app.zoomController;
    if (!zc || zc->OnTimer((UINT)id, lParam) == 0) return;
    if (g_app.state != 2 || !g_app.full.pixels) {
        KillTimer(g_app.window, TIMER_ZOOM);
        return;
    }
    zc->ComputeZoomedView(g_app.full.width, g_app.full.height, g_app.focus, &g_srcSpan, &g_app.dstSpan);
    zc->ClampZoom();
    // The window's copy is the clamped zoom, so a hold at 10 reads 10, not the
    // step past it.
    g_zoom = zc->GetZoom();
    // After a press on the bar the bar's own release has set the zoom buttons.
    if (g_app.barPress == 0) SetZoomButtonLooks();
    Repaint();
}

void OnPaint() {
    if (g_app.state == 1) {
        PaintPicture(g_app.reduced.pixels, g_app.reduced.width, g_app.reduced.height, 1);
        return;
    }
    if (g_app.state == 2) {
        const uint8_t* pixels = g_app.showBackup == 1 ? g_app.backup : g_app.full.pixels;
        PaintPicture(pixels, g_app.full.width, g_app.full.height, 1);
        return;
    }
    // No picture: only the button bar, over a cleared photo area.
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(g_app.window, &ps);
    RECT client;
    GetClientRect(g_app.window, &client);
    HDC mem = CreateCompatibleDC(dc);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, client.right, client.bottom + 1);
    if (mem && bitmap) {
        HGDIOBJ old = SelectObject(mem, bitmap);
        HBRUSH background = CreateSolidBrush(kViewBackground);
        FillRect(mem, &client, background);
        DeleteObject(background);
        if (g_app.buttonBar) g_app.buttonBar->Draw(mem);
        BitBlt(dc, 0, 0, client.right, client.bottom, mem, 0, 0, SRCCOPY);
        SelectObject(mem, old);
    }
    if (bitmap) DeleteObject(bitmap);
    if (mem) DeleteDC(mem);
    EndPaint(g_app.window, &ps);
}

void OnSize() {
    RECT client;
    GetClientRect(g_app.window, &client);
    if (RectsEqual(client, g_clientRect)) return;
    // The zoom controller works in the photo area, above the button bar.
    const RECT area{client.left, client.top, client.right, client.bottom - kButtonBarHeight};
    if (g_app.zoomController) {
        g_app.zoomController->SetBounds(area.left, area.top, area.right, area.bottom);
    } else {
        g_app.zoomController = new (std::nothrow) ZoomController;
        if (g_app.zoomController)
            g_app.zoomController->Create(g_app.window, g_app.instance, area.left, area.top, area.right, area.bottom);
    }
    g_clientRect = client;
    if (g_app.state == 2) {
        FitView(g_app.window, g_app.full, &g_srcSpan, &g_app.dstSpan);
    } else {
        FitView(g_app.window, g_app.reduced, &g_srcSpan, &g_app.dstSpan);
    }
}

void OnDestroy() {
    if (g_app.menuBar) DestroyWindow(g_app.menuBar);
    g_app.menuBar = nullptr;
    ReleasePictures();
    FreeRegionLabelMap();
    if (g_app.mutex) CloseHandle(g_app.mutex);
    g_app.mutex = nullptr;
    // The controller goes with the window that owns its timers, so a window
    // made again in the same process starts with a fresh one.
    delete g_app.zoomController;
    g_app.zoomController = nullptr;
    if (g_app.buttonBar) {
        g_app.buttonBar->ReleaseBitmaps();
        delete g_app.buttonBar;
        g_app.buttonBar = nullptr;
    }
    PostQuitMessage(0);
}

LRESULT OnCommand(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    // While a modal panel or dialog is open the window is disabled, and a soft
    // key, accelerator or pop-up entry that was already on its way does nothing:
    // a second question must never start on top of the first. Only the window's
    // own Open request goes through.
    if (LOWORD(wParam) != CMD_OPEN && !IsWindowEnabled(window)) return 0;
    switch (LOWORD(wParam)) {
        case CMD_OPEN:
            OnOpen();
            return 0;
        case CMD_SAVE:
            if (g_app.popup) {
                DestroyWindow(g_app.popup);
                return 0;
            }
            OnSave();
            return 0;
        case CMD_SAVE_AS:
            OnSaveAs();
            return 0;
        case CMD_MENU:
            if (g_app.popup) {
                DestroyWindow(g_app.popup);
                g_app.popup = nullptr;
            } else {
                g_app.popup = ShowSavePopup(g_app.instance, window);
            }
            return 0;
        case IDOK:
        case CMD_POPUP_SECOND:
            if (g_app.state == 2 &&
                AppMessageBox(g_app.instance, window, kCaption, L"Undo all changes?", PANEL_OK_CANCEL) != 0)
                return 0;
            PostMessage(window, WM_COMMAND, CMD_OPEN, 0);
            return 0;
        case CMD_EXIT:
        case CMD_QUIT:
            SendMessage(window, WM_CLOSE, 0, 0);
            return 0;
        case CMD_ABOUT:
            DialogBox(g_app.instance, MAKEINTRESOURCE(IDD_ABOUT), window, AboutDlgProc);
            return 0;
        case CMD_ZOOM_IN:
        case CMD_ZOOM_OUT:
            StartZoom(LOWORD(wParam) == CMD_ZOOM_IN);
            return 0;
        default:
            return DefWindowProc(window, message, wParam, lParam);
    }
}

}  // namespace

void SetMaxOpenPixels(int64_t pixels) {
    if (pixels <= 0) {
        DWORD setting = 0;
        if (FAILED(SHRegQueryDWORD(HKEY_CURRENT_USER, kSettingsKey, kMaxPixelsValue, &setting)) || setting == 0) {
            s_maxOpenBytes = kMaxOpenBytes;
            return;
        }
        pixels = setting;
    }
    s_maxOpenBytes = std::min<int64_t>(pixels, kMaxPicturePixels) * 3;
}

int64_t MaxOpenBytes() {
    return s_maxOpenBytes;
}

LRESULT MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    g_app.window = window;
    switch (message) {
        case WM_CREATE: {
            SHMENUBARINFO info{};
            info.cbSize = sizeof info;
            info.hwndParent = window;
            info.dwFlags = SHCMBF_HMENU | SHCMBF_HIDESIPBUTTON;
            info.nToolBarId = IDM_SOFTKEYS;
            info.hInstRes = g_app.instance;
            g_app.menuBar = SHCreateMenuBar(&info) ? info.hwndMB : nullptr;
            s_activateInfo = SHACTIVATEINFO{};
            SHFullScreenWindow(window, 1);
            PostMessage(window, WM_COMMAND, CMD_OPEN, 0);
            return 0;
        }
        case WM_DESTROY:
            OnDestroy();
            return 0;
        case WM_SIZE:
            OnSize();
            return 0;
        case WM_ACTIVATE:
            SHHandleWMActivate(window, wParam, lParam, &s_activateInfo, 0);
            return 0;
        case WM_SETTINGCHANGE:
            SHHandleWMSettingChange(window, wParam, lParam, &s_activateInfo);
            return 0;
        case WM_PAINT:
            OnPaint();
            return 0;
        case WM_ERASEBKGND:
        case WM_INITMENUPOPUP:
            return 0;
        case WM_COMMAND:
            return OnCommand(window, message, wParam, lParam);
        case WM_TIMER:
            OnTimer(wParam, lParam);
            return 0;
        case WM_LBUTTONDOWN:
            // A press that reaches the window under a modal panel acts on nothing.
            if (IsWindowEnabled(window)) OnButtonDown(LOWORD(lParam), HIWORD(lParam));
            return 0;
        case WM_MOUSEMOVE:
            OnMove(LOWORD(lParam), HIWORD(lParam));
            return 0;
        case WM_LBUTTONUP:
            OnButtonUp(LOWORD(lParam), HIWORD(lParam));
            return 0;
        case WM_POPUP_CLOSED:
            g_app.popup = nullptr;
            return 0;
        default:
            return DefWindowProc(window, message, wParam, lParam);
    }
}

std::string DescribeMainWindowState() {
    char line[512];
    std::string out;
    auto add = [&](const char* fmt, auto... args) {
        snprintf(line, sizeof line, fmt, args...);
        out += line;
        out += '\n';
    };
    add("state=%d", g_app.state);
    add("level=%d", g_level);
    add("full=%dx%d", g_app.full.pixels ? g_app.full.width : 0, g_app.full.pixels ? g_app.full.height : 0);
    add("reduced=%dx%d", g_app.reduced.pixels ? g_app.reduced.width : 0,
        g_app.reduced.pixels ? g_app.reduced.height : 0);
    add("file=%.*s", g_app.full.pixels ? (int)strnlen(g_app.full.name, sizeof g_app.full.name) : 0, g_app.full.name);
    add("folder=%.*s", g_app.full.pixels ? (int)strnlen(g_app.full.folder, sizeof g_app.full.folder) : 0,
        g_app.full.folder);
    add("backup=%s", g_app.backup ? "yes" : "no");
    add("popup=%s", g_app.popup ? "yes" : "no");
    add("brushMode=%d", g_app.brushMode);
    add("subjectFound=%d", g_app.subjectFound);
    add("showBackup=%d", g_app.showBackup);
    add("zoom=%.4f", (double)g_zoom);
    add("srcSpan=%d,%d,%d,%d", g_srcSpan.x0, g_srcSpan.x1, g_srcSpan.y0, g_srcSpan.y1);
    add("dstSpan=%d,%d,%d,%d", g_app.dstSpan.x0, g_app.dstSpan.x1, g_app.dstSpan.y0, g_app.dstSpan.y1);
    add("subjectRect=%d,%d,%d,%d", g_subjectRect[0], g_subjectRect[1], g_subjectRect[2], g_subjectRect[3]);
    // The mask lives exactly as long as the reduced copy it belongs to.
    const size_t pixels = g_app.mask ? (size_t)g_app.reduced.width * (size_t)g_app.reduced.height : 0;
    add("maskPixels=%ld", (long)std::count(g_app.mask, g_app.mask + pixels, 1));
    add("regionMap=%s", RegionLabelMap ? "yes" : "no");
    // The zoom controller and its overlay column.
    ZoomController* zc = g_app.zoomController;
    ZoomOverlay* overlay = zc ? zc->GetOverlay() : nullptr;
    add("zoomMode=%d", zc ? zc->GetMode() : -1);
    add("tapState=%d", zc ? zc->GetTapState() : -1);
    add("overlay=%s", overlay && overlay->IsBarVisible() ? "shown" : "hidden");
    add("overlayAlpha=%d", overlay ? overlay->GetFadeAlpha() : -1);
    add("overlayImages=%d,%d", overlay ? overlay->GetZoomInImageId() : 0, overlay ? overlay->GetZoomOutImageId() : 0);
    const RECT column = overlay ? overlay->GetColumnRect() : RECT{0, 0, 0, 0};
    add("overlayRect=%d,%d,%d,%d", (int)column.left, (int)column.top, (int)column.right, (int)column.bottom);
    std::string looks;
    for (int i = 0; i < 8; i++) {
        if (i) looks += ',';
        looks += std::to_string(g_app.buttonBar ? g_app.buttonBar->GetLook(i) : -1);
    }
    add("buttons=%s", looks.c_str());
    char message[1024] = {0};
    std::wstring text = OpenMessagePanelText();
    WideCharToMultiByte(CP_ACP, 0, text.c_str(), (int)text.size(), message, sizeof message - 1, nullptr, nullptr);
    add("message=%s", message);
    return out;
}
