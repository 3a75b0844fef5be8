// The full-screen chooser of "My Storage", in two kinds: the picture chooser
// behind GetOpenFileNameEx and the folder picker DirselaSingle. Folders (and,
// choosing a picture, the pictures) fill a three-column grid of thumbnails; a
// drag scrolls it, a tap opens a folder or picks a picture. The top row shows
// where the user is, an "Up" control and, for pictures, the file-type filter.
// The bottom strip looks like the soft-key bar: "Cancel", and "Up" choosing a
// picture or "Choose" (the folder shown) choosing a folder.
//
// Thumbnails are read lazily when their cell is first drawn and kept for the
// dialog's lifetime. The program registers the reader (SetThumbnailReader), so
// what shows a thumbnail is exactly what the program can open; a picture it
// cannot read shows a "broken picture" sign.
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cwchar>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "platform/Backend.h"
#include "platform/ChooserParts.h"
#include "platform/WindowManager.h"

namespace platform {

namespace {

namespace fs = std::filesystem;
using namespace chooser;

constexpr wchar_t kChooserClass[] = L"PictureChooser";
constexpr wchar_t kFolderPickerTitle[] = L"Choose Folder";
// Where the folder picker leaves its choice for the program, and the longest
// path (in characters, without the terminator) the program reads back whole.
constexpr wchar_t kFolderPickerKey[] = L"Software\\Korvex\\Filora\\Dirsela";
constexpr wchar_t kFolderPickerValue[] = L"Folder_Path_0";
constexpr size_t kMaxChosenFolderChars = 259;
constexpr wchar_t kStorageLabel[] = L"My Storage";
constexpr wchar_t kCrumbSeparator[] = L" \u203A ";

// Geometry, in the chooser's client pixels. The window covers everything under
// the task bar, the soft-key bar's place included.
constexpr int kWidth = kScreenWidth;
constexpr int kHeight = kScreenHeight - kTaskBarHeight;
constexpr int kHeaderHeight = 60;
constexpr int kFooterHeight = kMenuBarHeight;
constexpr int kGridTop = kHeaderHeight;
constexpr int kGridBottom = kHeight - kFooterHeight;
constexpr int kGridHeight = kGridBottom - kGridTop;
constexpr int kColumns = 3;
constexpr int kCellWidth = kWidth / kColumns;
constexpr int kCellHeight = 160;
constexpr int kThumbTop = 10;  // thumbnail box inside its cell
constexpr int kNameTop = 124;  // name line inside its cell
constexpr int kNameBottom = 152;
constexpr int kGridEndPadding = 8;  // room under the last row
constexpr int kDragThreshold = 10;  // stylus travel that turns a tap into a scroll
constexpr RECT kHeaderUpRect{8, 8, 84, kHeaderHeight - 8};
constexpr RECT kFilterRect{kWidth - 8 - 176, 8, kWidth - 8, kHeaderHeight - 8};  // room for "JPEG Files"

// A bound on memory for folders with thousands of pictures.
constexpr size_t kMaxCachedThumbs = 2000;
// In a real window a paint stops starting new decodes after this long and lets
// the screen show what is done; headless runs decode everything in one paint.
constexpr auto kDecodeBudget = std::chrono::milliseconds(40);
constexpr UINT_PTR kDecodeTimer = 1;

// Targets of a tap other than grid cells (which are their entry's index).
constexpr int kNothing = -1;
constexpr int kHeaderUp = -2;
constexpr int kFilterButton = -3;
constexpr int kCancelButton = -4;
constexpr int kFooterUp = -5;
constexpr int kChooseButton = -6;  // the folder picker's "Choose"

// ---------------------------------------------------------------------------
// The chooser

// What the chooser is asked for.
enum class ChooserMode { Files, Folders };

struct Entry {
    std::string name;    // as stored on disk
    std::wstring label;  // shown, matched and returned
    bool folder = false;
};

class Chooser;
Chooser* g_open = nullptr;  // the chooser whose loop is running, for scripted choices

class Chooser {
public:
    // A picture chooser that fills in `ofn` when the user picks a file.
    explicit Chooser(OPENFILENAMEEX* ofn) : mode_(ChooserMode::Files), ofn_(ofn) {
        filters_ = ParseFilters(ofn->lpstrFilter);
        filter_ = ofn->nFilterIndex >= 1 && ofn->nFilterIndex <= filters_.size() ? ofn->nFilterIndex - 1 : 0;
        root_ = NormalPath(StorageRoot());
        SetStartFolder(ofn->lpstrInitialDir);
        Prepare();
    }

    // A folder picker of "My Storage", opening on `startFolder` when that is
    // a folder inside it (the last choice), else on "My Storage" itself.
    explicit Chooser(const std::wstring& startFolder) : mode_(ChooserMode::Folders), ofn_(nullptr) {
        filters_ = {Filter{L"Folders", {}}};
        root_ = NormalPath(StorageRoot());
        std::vector<std::string> parts;
        std::string start = startFolder.empty() ? std::string() : NormalPath(Narrow(startFolder));
        bool inside = !start.empty() && RelativeParts(root_, start, parts) && IsDirectory(start);
        SetStartFolder(inside ? Widen(start).c_str() : nullptr);
        Prepare();
    }

    void Prepare() {
        fontButton_ = MakeFont(28, FW_BOLD);
        fontHeader_ = MakeFont(22, FW_BOLD);
        fontName_ = MakeFont(19, FW_NORMAL);
        fontSmall_ = MakeFont(17, FW_NORMAL);
        fontMessage_ = MakeFont(26, FW_BOLD);
        List();
    }

    ~Chooser() {
        for (HFONT f : {fontButton_, fontHeader_, fontName_, fontSmall_, fontMessage_})
            if (f) DeleteObject(f);
    }

    Chooser(const Chooser&) = delete;
    Chooser& operator=(const Chooser&) = delete;

    HWND hwnd = nullptr;
    bool done = false;
    BOOL result = FALSE;
    std::wstring chosenFolder;  // the folder picker's choice

    LRESULT Handle(UINT msg, WPARAM wParam, LPARAM lParam) {
        switch (msg) {
            case WM_PAINT:
                Paint();
                return 0;
            case WM_ERASEBKGND:
                return 1;  // the paint covers every pixel
            case WM_LBUTTONDOWN:
                StylusDown((short)LOWORD(lParam), (short)HIWORD(lParam));
                return 0;
            case WM_MOUSEMOVE:
                StylusMove((short)LOWORD(lParam), (short)HIWORD(lParam));
                return 0;
            case WM_LBUTTONUP:
                StylusUp((short)LOWORD(lParam), (short)HIWORD(lParam));
                return 0;
            case WM_MOUSEWHEEL:
                ScrollTo(scroll_ - (short)HIWORD(wParam) * kCellHeight / 240);
                return 0;
            case WM_KEYDOWN:
                Key((UINT)wParam);
                return 0;
            case WM_TIMER:
                if (wParam == kDecodeTimer) {
                    KillTimer(hwnd, kDecodeTimer);
                    Invalidate();
                }
                return 0;
            case WM_COMMAND:
                if (LOWORD(wParam) == IDCANCEL) Finish(FALSE);
                if (LOWORD(wParam) == IDOK) {
                    if (mode_ == ChooserMode::Folders)
                        ChooseHere();
                    else if (selected_ >= 0)
                        Activate(selected_);
                }
                return 0;
            case WM_CLOSE:
                Finish(FALSE);
                return 0;
            default:
                return -1;  // not handled here
        }
    }

    // A tap on the entry called `path` ("name" or "sub/name") of the current
    // folder; false, with the folder unchanged, when an entry is not listed.
    // With `switchFilter`, a file the current filter hides is first shown by
    // stepping the filter button on, as a user would; `why` then says what
    // stood in the way when the choice fails.
    bool ChooseByName(const std::wstring& path, bool switchFilter = false, std::string* why = nullptr) {
        std::vector<std::wstring> parts = PathParts(path);
        if (parts.empty()) return Refuse(why, "no name given");
        const Place saved = Here();
        std::string reason;
        if (!Walk(parts, parts.size() - 1, reason)) return Back(saved, why, reason);
        const std::wstring& name = parts.back();
        if (name == L"..") {
            if (!CanGoUp()) return Back(saved, why, "already at the top of " + Narrow(baseLabel_));
            GoUp();
            return true;
        }
        int index = Find(name);
        if (index < 0 && switchFilter && mode_ == ChooserMode::Files) index = ShowByFilter(name, reason);
        if (index < 0) return Back(saved, why, reason.empty() ? "no " + Narrow(name) + " in " + Folder() : reason);
        Activate(index);
        return true;
    }

    // The folder picker's choice made by name: the folder `path` ("sub",
    // "sub/inner", ".." or "." for the folder shown) is opened as taps would
    // and chosen with "Choose". False, with the place unchanged, when it is
    // not there or cannot be chosen; `why` then says what stood in the way.
    bool ChooseFolderByName(const std::wstring& path, std::string* why = nullptr) {
        if (mode_ != ChooserMode::Folders) return Refuse(why, "the open chooser picks a picture, not a folder");
        std::vector<std::wstring> parts = PathParts(path);
        const Place saved = Here();
        std::string reason;
        if (!Walk(parts, parts.size(), reason)) return Back(saved, why, reason);
        if (!CanChooseHere())
            return Back(saved, why,
                        Folder() + (IsDirectory(Folder()) ? " cannot be chosen: its path is too long" : " is gone"));
        ChooseHere();
        return true;
    }

private:
    static bool Refuse(std::string* why, const std::string& reason) {
        if (why) *why = reason;
        return false;
    }

    // The components of a scripted path, '/' or '\\' between them; "." and
    // empty ones name the folder they are in and drop out.
    static std::vector<std::wstring> PathParts(const std::wstring& path) {
        std::vector<std::wstring> parts;
        size_t start = 0;
        while (start <= path.size()) {
            size_t sep = path.find_first_of(L"/\\", start);
            if (sep == std::wstring::npos) sep = path.size();
            std::wstring part = path.substr(start, sep - start);
            if (!part.empty() && part != L".") parts.push_back(part);
            start = sep + 1;
        }
        return parts;
    }

    // Where the user is, so that a scripted choice that fails leaves it as it was.
    struct Place {
        std::vector<std::string> crumbs;
        size_t filter;
        int scroll, selected;
    };

    Place Here() const { return Place{crumbs_, filter_, scroll_, selected_}; }

    bool Back(const Place& place, std::string* why, const std::string& reason) {
        if (crumbs_ != place.crumbs || filter_ != place.filter) {
            crumbs_ = place.crumbs;
            filter_ = place.filter;
            List();
        }
        scroll_ = place.scroll;
        selected_ = place.selected;
        Invalidate();
        return Refuse(why, reason);
    }

    // Opens the first `count` of `parts` as folders (".." goes up), as taps
    // would; false with `why` at the first that is not a folder listed here.
    bool Walk(const std::vector<std::wstring>& parts, size_t count, std::string& why) {
        for (size_t i = 0; i < count; i++) {
            if (parts[i] == L"..") {
                if (!CanGoUp()) {
                    why = "already at the top of " + Narrow(baseLabel_);
                    return false;
                }
                GoUp();
                continue;
            }
            int index = Find(parts[i]);
            if (index < 0) {
                why = "no " + Narrow(parts[i]) + " in " + Folder();
                return false;
            }
            if (!entries_[index].folder) {
                why = Narrow(parts[i]) + " is not a folder";
                return false;
            }
            Activate(index);
        }
        return true;
    }

    // Steps the filter on until the file `name` of the current folder is
    // listed; its index, or -1 with `why` naming the filter when no filter
    // shows it (or it is not there at all, or is hidden).
    int ShowByFilter(const std::wstring& name, std::string& why) {
        std::error_code ec;
        fs::path file = fs::path(Folder()) / Narrow(name);
        if (name.empty() || name[0] == L'.' || !fs::is_regular_file(file, ec)) return -1;
        const size_t first = filter_;
        for (size_t step = 0; step < filters_.size(); step++) {
            NextFilter();
            int index = Find(name);
            if (index >= 0) return index;
        }
        why = Narrow(name) + " is hidden by the filter \"" + Narrow(filters_[first].name) + "\" and by every other";
        return -1;
    }

    std::string Folder() const {
        std::string path = base_;
        for (const auto& c : crumbs_) path = JoinPath(path, c);
        return path;
    }

    bool CanGoUp() const { return !crumbs_.empty(); }

    // "My Storage" (or empty) means the storage root; other absolute paths are
    // used as given and relative ones are taken under the root. A start folder
    // that does not exist falls back to the root.
    void SetStartFolder(LPCWSTR dir) {
        std::wstring d = dir ? dir : L"";
        std::replace(d.begin(), d.end(), L'\\', L'/');
        std::wstring rest = d;
        while (!rest.empty() && rest.front() == L'/') rest.erase(0, 1);
        size_t labelLen = wcslen(kStorageLabel);
        std::string start;
        if (d.empty()) {
            start = root_;
        } else if (Lower(rest.substr(0, labelLen)) == Lower(kStorageLabel) &&
                   (rest.size() == labelLen || rest[labelLen] == L'/')) {
            start = JoinPath(root_, Narrow(rest.substr(labelLen)));
        } else if (d.front() == L'/') {
            start = Narrow(d);
        } else {
            start = JoinPath(root_, Narrow(d));
        }
        start = NormalPath(start);
        if (start != root_ && !IsDirectory(start)) start = root_;
        if (RelativeParts(root_, start, crumbs_)) {
            base_ = root_;
            baseLabel_ = kStorageLabel;
        } else {
            base_ = start;
            std::string leaf = fs::path(start).filename().string();
            baseLabel_ = Widen(leaf.empty() ? start : leaf);
            crumbs_.clear();
        }
    }

    void List() {
        entries_.clear();
        listed_ = false;
        std::error_code ec;
        fs::directory_iterator it(Folder(), fs::directory_options::skip_permission_denied, ec);
        if (ec) return;
        listed_ = true;
        const Filter& filter = filters_[filter_];
        for (; it != fs::directory_iterator(); it.increment(ec)) {
            if (ec) break;
            Entry e;
            e.name = it->path().filename().string();
            if (e.name.empty() || e.name[0] == '.') continue;  // hidden
            e.label = Widen(e.name);
            std::error_code kindError;
            if (it->is_directory(kindError)) {
                e.folder = true;
            } else if (mode_ == ChooserMode::Folders || !it->is_regular_file(kindError) || !filter.Matches(e.label)) {
                continue;
            }
            entries_.push_back(std::move(e));
        }
        std::sort(entries_.begin(), entries_.end(), [](const Entry& a, const Entry& b) {
            if (a.folder != b.folder) return a.folder;
            std::wstring la = Lower(a.label), lb = Lower(b.label);
            return la != lb ? la < lb : a.label < b.label;
        });
    }

    int Find(const std::wstring& label) const {
        for (size_t i = 0; i < entries_.size(); i++)
            if (entries_[i].label == label) return (int)i;
        std::wstring lower = Lower(label);
        for (size_t i = 0; i < entries_.size(); i++)
            if (Lower(entries_[i].label) == lower) return (int)i;
        return -1;
    }

    // --- Navigation and choices

    void Enter(const std::string& name) {
        crumbs_.push_back(name);
        Relisted(-1);
    }

    void GoUp() {
        if (!CanGoUp()) return;
        std::string left = crumbs_.back();
        crumbs_.pop_back();
        List();
        // Back in the parent, the folder just left is the one to show.
        int from = -1;
        for (size_t i = 0; i < entries_.size(); i++)
            if (entries_[i].folder && entries_[i].name == left) from = (int)i;
        Relisted(from, false);
    }

    void NextFilter() {
        filter_ = (filter_ + 1) % filters_.size();
        Relisted(-1);
    }

    // After the listing changed: back to the top, or to entry `show`.
    void Relisted(int show, bool relist = true) {
        if (relist) List();
        scroll_ = 0;
        selected_ = keyboard_ && !entries_.empty() ? std::max(show, 0) : -1;
        if (show >= 0) EnsureVisible(show);
        pressed_ = kNothing;
        Invalidate();
    }

    void Choose(const Entry& e) {
        std::wstring folder = Widen(Folder());
        std::wstring path = folder + (folder.empty() || folder.back() != L'/' ? L"/" : L"") + e.label;
        if (!ofn_->lpstrFile || path.size() + 1 > ofn_->nMaxFile) {
            Finish(FALSE);  // the program's buffer cannot hold the choice
            return;
        }
        wmemcpy(ofn_->lpstrFile, path.c_str(), path.size() + 1);
        if (ofn_->lpstrFileTitle && ofn_->nMaxFileTitle > 0) {
            size_t n = std::min<size_t>(e.label.size(), ofn_->nMaxFileTitle - 1);
            wmemcpy(ofn_->lpstrFileTitle, e.label.c_str(), n);
            ofn_->lpstrFileTitle[n] = 0;
        }
        size_t nameAt = path.size() - e.label.size();
        size_t dot = e.label.rfind(L'.');
        ofn_->nFileOffset = (WORD)std::min<size_t>(nameAt, 0xFFFF);
        ofn_->nFileExtension =
            (WORD)std::min<size_t>(dot == std::wstring::npos ? path.size() : nameAt + dot + 1, 0xFFFF);
        ofn_->nFilterIndex = (DWORD)filter_ + 1;
        Finish(TRUE);
    }

    // The folder picker hands over the folder shown, while it is there and its
    // path fits what the program reads back.
    bool CanChooseHere() const {
        return mode_ == ChooserMode::Folders && Widen(Folder()).size() <= kMaxChosenFolderChars &&
               IsDirectory(Folder());
    }

    void ChooseHere() {
        if (!CanChooseHere()) return;
        chosenFolder = Widen(Folder());
        Finish(TRUE);
    }

    void Finish(BOOL chosen) {
        if (done) return;
        done = true;
        result = chosen;
        // Wakes the modal loop even when the choice came from a script step.
        PostMessage(hwnd, WM_NULL, 0, 0);
    }

    void Activate(int target) {
        if (target >= 0 && target < (int)entries_.size()) {
            const Entry& e = entries_[target];
            if (e.folder)
                Enter(e.name);
            else
                Choose(e);
        } else if (target == kHeaderUp || target == kFooterUp) {
            GoUp();
        } else if (target == kFilterButton) {
            NextFilter();
        } else if (target == kCancelButton) {
            Finish(FALSE);
        } else if (target == kChooseButton) {
            ChooseHere();
        }
    }

    // --- Scrolling

    int ContentHeight() const {
        int rows = ((int)entries_.size() + kColumns - 1) / kColumns;
        return rows * kCellHeight + kGridEndPadding;
    }

    int MaxScroll() const { return std::max(0, ContentHeight() - kGridHeight); }

    void ScrollTo(int y) {
        int clamped = std::clamp(y, 0, MaxScroll());
        if (clamped != scroll_) {
            scroll_ = clamped;
            Invalidate();
        }
    }

    void EnsureVisible(int index) {
        int top = index / kColumns * kCellHeight;
        if (top < scroll_)
            ScrollTo(top);
        else if (top + kCellHeight > scroll_ + kGridHeight)
            ScrollTo(top + kCellHeight - kGridHeight + kGridEndPadding);
    }

    // --- Input

    int HitTest(int x, int y) const {
        POINT pt{x, y};
        if (y < kGridTop) {
            if (CanGoUp() && PtInRect(&kHeaderUpRect, pt)) return kHeaderUp;
            if (mode_ == ChooserMode::Files && PtInRect(&kFilterRect, pt)) return kFilterButton;
            return kNothing;
        }
        if (y >= kGridBottom) {
            if (y >= kHeight || x < 0 || x >= kWidth) return kNothing;
            if (x < kWidth / 2) return kCancelButton;
            if (mode_ == ChooserMode::Folders) return CanChooseHere() ? kChooseButton : kNothing;
            return CanGoUp() ? kFooterUp : kNothing;
        }
        if (x < 0 || x >= kWidth) return kNothing;
        int column = x / kCellWidth;
        int row = (y - kGridTop + scroll_) / kCellHeight;
        int index = row * kColumns + column;
        return index < (int)entries_.size() ? index : kNothing;
    }

    void StylusDown(int x, int y) {
        SetCapture(hwnd);
        down_ = true;
        dragging_ = false;
        keyboard_ = false;
        pressY_ = y;
        pressScroll_ = scroll_;
        pressed_ = HitTest(x, y);
        pressedHot_ = true;
        Invalidate();
    }

    void StylusMove(int x, int y) {
        if (!down_) return;
        bool inGrid = pressY_ >= kGridTop && pressY_ < kGridBottom;
        if (!dragging_ && inGrid && std::abs(y - pressY_) > kDragThreshold) {
            dragging_ = true;
            pressed_ = kNothing;
            Invalidate();
        }
        if (dragging_) {
            ScrollTo(pressScroll_ - (y - pressY_));
            return;
        }
        bool hot = pressed_ != kNothing && HitTest(x, y) == pressed_;
        if (hot != pressedHot_) {
            pressedHot_ = hot;
            Invalidate();
        }
    }

    void StylusUp(int x, int y) {
        if (GetCapture() == hwnd) ReleaseCapture();
        if (!down_) return;
        down_ = false;
        int target = pressed_;
        pressed_ = kNothing;
        Invalidate();
        if (!dragging_ && target != kNothing && HitTest(x, y) == target) Activate(target);
        dragging_ = false;
    }

    void Key(UINT vk) {
        int count = (int)entries_.size();
        int move = 0;
        bool vertical = false;
        switch (vk) {
            case VK_ESCAPE:
            case VK_F1:
                Finish(FALSE);
                return;
            case VK_F2:
                if (mode_ == ChooserMode::Folders)
                    ChooseHere();
                else
                    GoUp();
                return;
            case VK_BACK:
                GoUp();
                return;
            case VK_RETURN:
                // Return opens the folder the keyboard selected; with none
                // selected, the folder picker chooses the folder shown.
                if (selected_ >= 0 && selected_ < count)
                    Activate(selected_);
                else if (mode_ == ChooserMode::Folders)
                    ChooseHere();
                return;
            case VK_LEFT:
                move = -1;
                break;
            case VK_RIGHT:
                move = 1;
                break;
            case VK_UP:
                move = -kColumns;
                vertical = true;
                break;
            case VK_DOWN:
                move = kColumns;
                vertical = true;
                break;
            case VK_HOME:
                move = -count;
                break;
            case VK_END:
                move = count;
                break;
            default:
                return;
        }
        keyboard_ = true;
        if (count == 0) return;
        int next = selected_ < 0 ? 0 : std::clamp(selected_ + move, 0, count - 1);
        // Up and down keep their column: past the first or last row nothing moves.
        if (vertical && selected_ >= 0 && (selected_ + move < 0 || selected_ + move >= count)) next = selected_;
        selected_ = next;
        EnsureVisible(selected_);
        Invalidate();
    }

    void Invalidate() {
        if (hwnd) InvalidateRect(hwnd, nullptr, FALSE);
    }

    // --- Painting

    const Thumb* ThumbFor(const Entry& e, bool mayDecode) {
        std::string path = JoinPath(Folder(), e.name);
        auto it = thumbs_.find(path);
        if (it != thumbs_.end()) return &it->second;
        if (!mayDecode) return nullptr;
        if (thumbs_.size() >= kMaxCachedThumbs) thumbs_.clear();
        return &thumbs_.emplace(path, LoadThumb(path, e.label)).first->second;
    }

    void Paint() {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        if (!dc) return;
        Fill(dc, 0, kGridTop, kWidth, kGridBottom, kBackground);
        if (!listed_ || entries_.empty())
            PaintEmpty(dc);
        else
            PaintGrid(dc);
        PaintHeader(dc);
        PaintFooter(dc);
        EndPaint(hwnd, &ps);
    }

    void PaintGrid(HDC dc) {
        bool headless = CurrentBackend() && CurrentBackend()->IsHeadless();
        auto started = std::chrono::steady_clock::now();
        int decoded = 0;
        bool pending = false;
        int firstRow = scroll_ / kCellHeight;
        int lastRow = (scroll_ + kGridHeight - 1) / kCellHeight;
        for (int row = firstRow; row <= lastRow; row++) {
            for (int column = 0; column < kColumns; column++) {
                int index = row * kColumns + column;
                if (index >= (int)entries_.size()) break;
                int x = column * kCellWidth, y = kGridTop + row * kCellHeight - scroll_;
                bool mayDecode = headless || decoded == 0 || std::chrono::steady_clock::now() - started < kDecodeBudget;
                bool wasCached = entries_[index].folder || thumbs_.count(JoinPath(Folder(), entries_[index].name));
                if (!PaintCell(dc, index, x, y, mayDecode)) pending = true;
                if (!wasCached && mayDecode) decoded++;
            }
        }
        if (pending) SetTimer(hwnd, kDecodeTimer, 15, nullptr);  // the rest after the screen shows these
        PaintScrollIndicator(dc);
    }

    // Returns false when the cell's thumbnail is still to be decoded.
    bool PaintCell(HDC dc, int index, int x, int y, bool mayDecode) {
        const Entry& e = entries_[index];
        RECT cell{x + 4, y + 2, x + kCellWidth - 4, y + kCellHeight - 2};
        bool pressed = index == pressed_ && pressedHot_ && down_;
        if (pressed) FillRounded(dc, cell, kPressedCell);
        int bx = x + (kCellWidth - kThumbWidth) / 2, by = y + kThumbTop;
        bool ready = true;
        if (e.folder) {
            DrawFolderIcon(dc, bx, by);
        } else if (const Thumb* t = ThumbFor(e, mayDecode)) {
            if (t->kind == ThumbKind::Picture) {
                int tx = bx + (kThumbWidth - t->width) / 2, ty = by + (kThumbHeight - t->height) / 2;
                BITMAPINFO bmi{};
                bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
                bmi.bmiHeader.biWidth = t->width;
                bmi.bmiHeader.biHeight = -t->height;  // top-down
                bmi.bmiHeader.biPlanes = 1;
                bmi.bmiHeader.biBitCount = 24;
                bmi.bmiHeader.biCompression = BI_RGB;
                StretchDIBits(dc, tx, ty, t->width, t->height, 0, 0, t->width, t->height, t->bgr.data(), &bmi,
                              DIB_RGB_COLORS, SRCCOPY);
                Frame(dc, RECT{tx - 1, ty - 1, tx + t->width + 1, ty + t->height + 1}, 1, kDivider);
            } else if (t->kind == ThumbKind::Broken || t->kind == ThumbKind::Unknown) {
                DrawPictureIcon(dc, bx, by, t->kind == ThumbKind::Broken);
            } else {
                DrawDocumentIcon(dc, fontSmall_, bx, by, e.label);
            }
        } else {
            Fill(dc, bx, by + 2, bx + kThumbWidth, by + kThumbHeight - 2, kLoading);  // decoded on a later paint
            ready = false;
        }
        Text(dc, fontName_, e.label, RECT{x + 8, y + kNameTop, x + kCellWidth - 8, y + kNameBottom},
             pressed || index == selected_ ? kText : RGB(0xDC, 0xDE, 0xE2), DT_CENTER | DT_VCENTER | DT_END_ELLIPSIS);
        if (index == selected_) Frame(dc, cell, 3, kAccent);
        if (pressed) Frame(dc, cell, 2, kAccent);
        return ready;
    }

    void PaintScrollIndicator(HDC dc) {
        int content = ContentHeight();
        if (content <= kGridHeight) return;
        int track = kGridHeight - 8;
        int length = std::max(24, track * kGridHeight / content);
        int top = kGridTop + 4 + (track - length) * scroll_ / std::max(1, MaxScroll());
        FillRounded(dc, RECT{kWidth - 6, top, kWidth - 2, top + length}, RGB(0x5A, 0x5D, 0x64));
    }

    void PaintEmpty(HDC dc) {
        std::wstring where = crumbs_.empty() ? baseLabel_ : Widen(crumbs_.back());
        int mid = kGridTop + kGridHeight / 2 - 40;
        const bool folders = mode_ == ChooserMode::Folders;
        if (folders)
            DrawFolderIcon(dc, kWidth / 2 - kThumbWidth / 2, mid - kThumbHeight - 10);
        else
            DrawPictureIcon(dc, kWidth / 2 - kThumbWidth / 2, mid - kThumbHeight - 10, false);
        Text(dc, fontMessage_, (folders ? L"No folders in " : L"No pictures in ") + where,
             RECT{16, mid, kWidth - 16, mid + 36}, kText, DT_CENTER | DT_VCENTER | DT_END_ELLIPSIS);
        Text(dc, fontSmall_, Widen(Folder()), RECT{16, mid + 40, kWidth - 16, mid + 64}, kDimText,
             DT_CENTER | DT_VCENTER | DT_END_ELLIPSIS);
        if (listed_ && !filters_[filter_].patterns.empty())
            Text(dc, fontSmall_, L"Showing " + filters_[filter_].name + L" only",
                 RECT{16, mid + 66, kWidth - 16, mid + 90}, kDimText, DT_CENTER | DT_VCENTER | DT_END_ELLIPSIS);
    }

    void PaintButton(HDC dc, const RECT& rc, bool pressed) { FillRounded(dc, rc, pressed ? kAccent : kButtonColour); }

    // The folders above the current one as "My Storage › sub". When too long
    // the outer ones give way to "…", so the nearest stay readable.
    std::wstring ParentPath(HDC dc, int width) const {
        size_t parents = crumbs_.empty() ? 0 : crumbs_.size() - 1;
        std::wstring text = baseLabel_;
        for (size_t i = 0; i < parents; i++) text += kCrumbSeparator + Widen(crumbs_[i]);
        for (size_t drop = 0; drop < parents && TextWidth(dc, fontSmall_, text) > width; drop++) {
            text = L"\u2026";
            for (size_t i = drop; i < parents; i++) text += kCrumbSeparator + Widen(crumbs_[i]);
        }
        return text + kCrumbSeparator;
    }

    void PaintHeader(HDC dc) {
        Fill(dc, 0, 0, kWidth, kHeaderHeight, kBarColour);
        Fill(dc, 0, kHeaderHeight - 1, kWidth, kHeaderHeight, kDivider);
        bool pressing = down_ && pressedHot_;
        int textLeft = 16;
        if (CanGoUp()) {
            bool pressed = pressing && pressed_ == kHeaderUp;
            COLORREF ink = pressed ? kTextOnAccent : kText;
            PaintButton(dc, kHeaderUpRect, pressed);
            DrawUpChevron(dc, kHeaderUpRect.left + 19, (kHeaderUpRect.top + kHeaderUpRect.bottom) / 2, ink);
            Text(dc, fontHeader_, L"Up",
                 RECT{kHeaderUpRect.left + 30, kHeaderUpRect.top, kHeaderUpRect.right - 6, kHeaderUpRect.bottom}, ink,
                 DT_CENTER | DT_VCENTER);
            textLeft = kHeaderUpRect.right + 12;
        }
        // The location: "My Storage" at the top; inside a folder, the path to
        // it in small print over the folder's own name.
        const bool files = mode_ == ChooserMode::Files;
        int textRight = files ? kFilterRect.left - 10 : kWidth - 16;
        if (crumbs_.empty()) {
            Text(dc, fontHeader_, baseLabel_, RECT{textLeft, 0, textRight, kHeaderHeight}, kText,
                 DT_LEFT | DT_VCENTER | DT_END_ELLIPSIS);
        } else {
            Text(dc, fontSmall_, ParentPath(dc, textRight - textLeft), RECT{textLeft, 5, textRight, 27}, kDimText,
                 DT_LEFT | DT_VCENTER | DT_END_ELLIPSIS);
            Text(dc, fontHeader_, Widen(crumbs_.back()), RECT{textLeft, 25, textRight, kHeaderHeight - 5}, kText,
                 DT_LEFT | DT_VCENTER | DT_END_ELLIPSIS);
        }
        if (!files) return;
        bool pressed = pressing && pressed_ == kFilterButton;
        COLORREF ink = pressed ? kTextOnAccent : kText;
        PaintButton(dc, kFilterRect, pressed);
        // A small "cycle" mark: the button steps through the filters.
        int mx = kFilterRect.right - 18, my = (kFilterRect.top + kFilterRect.bottom) / 2;
        const POINT mark[] = {{mx - 5, my - 3}, {mx, my + 3}, {mx + 5, my - 3}};
        DrawPolyline(dc, mark, 3, 2, pressed ? kTextOnAccent : kAccent);
        Text(dc, fontHeader_, filters_[filter_].name,
             RECT{kFilterRect.left + 10, kFilterRect.top, kFilterRect.right - 30, kFilterRect.bottom}, ink,
             DT_CENTER | DT_VCENTER | DT_END_ELLIPSIS);
    }

    // The shell's soft-key bar with "Cancel" and, choosing a picture below a
    // subfolder, "Up"; choosing a folder, "Choose" while the folder shown can be.
    void PaintFooter(HDC dc) {
        const bool pressing = down_ && pressedHot_;
        const wchar_t* second =
            mode_ == ChooserMode::Folders ? (CanChooseHere() ? L"Choose" : nullptr) : (CanGoUp() ? L"Up" : nullptr);
        const wchar_t* keys[2] = {L"Cancel", second};
        const bool secondPressed = pressed_ == kFooterUp || pressed_ == kChooseButton;
        const int pressed = !pressing ? -1 : pressed_ == kCancelButton ? 0 : secondPressed ? 1 : -1;
        DrawSoftKeyBar(dc, RECT{0, kGridBottom, kWidth, kHeight}, keys, pressed);
    }

    ChooserMode mode_;
    OPENFILENAMEEX* ofn_;  // the picture chooser's record
    std::vector<Filter> filters_;
    size_t filter_ = 0;
    std::string root_;                 // "My Storage" on disk
    std::string base_;                 // "Up" never leaves this folder
    std::wstring baseLabel_;           // how the top row names base_
    std::vector<std::string> crumbs_;  // folders entered below base_
    std::vector<Entry> entries_;
    bool listed_ = false;  // false when the folder could not be read
    int scroll_ = 0;       // grid pixels scrolled off the top
    int selected_ = -1;    // keyboard selection
    bool keyboard_ = false;
    // The stylus
    bool down_ = false;
    bool dragging_ = false;
    bool pressedHot_ = false;  // still over what it pressed
    int pressY_ = 0, pressScroll_ = 0;
    int pressed_ = kNothing;
    std::map<std::string, Thumb> thumbs_;  // by full path
    HFONT fontButton_ = nullptr, fontHeader_ = nullptr, fontName_ = nullptr, fontSmall_ = nullptr,
          fontMessage_ = nullptr;
};

Chooser* ChooserOf(HWND hwnd) {
    return reinterpret_cast<Chooser*>(GetWindowLong(hwnd, GWL_USERDATA));
}

LRESULT ChooserProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_CREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCT*>(lParam);
        auto* chooser = static_cast<Chooser*>(cs->lpCreateParams);
        if (!chooser) return -1;
        chooser->hwnd = hwnd;
        SetWindowLong(hwnd, GWL_USERDATA, reinterpret_cast<intptr_t>(chooser));
        return 0;
    }
    Chooser* chooser = ChooserOf(hwnd);
    if (msg == WM_DESTROY) {
        if (chooser) chooser->hwnd = nullptr;
        SetWindowLong(hwnd, GWL_USERDATA, 0);
        return 0;
    }
    if (chooser) {
        LRESULT r = chooser->Handle(msg, wParam, lParam);
        if (r != -1) return r;
    }
    return DefWindowProc(hwnd, msg, wParam, lParam);
}

// Runs `chooser` modally over `owner` like DialogBoxParam: the owner takes no
// input until the chooser ends, and a WM_QUIT that ends the wait is passed on
// to the program's own loop. True when the user chose.
bool RunChooser(Chooser& chooser, HWND owner, LPCWSTR title, HINSTANCE instance) {
    HWND hwnd = CreateWindowEx(0, kChooserClass, title, WS_POPUP, 0, kTaskBarHeight, kWidth, kHeight, owner, nullptr,
                               instance, &chooser);
    if (!hwnd) return false;
    Chooser* outer = g_open;
    g_open = &chooser;
    bool ownerWasEnabled = owner && !EnableWindow(owner, FALSE);
    if (GetCapture()) ReleaseCapture();
    HWND oldFocus = SetFocus(hwnd);
    RunModal(hwnd, owner, ownerWasEnabled, [&] { return chooser.done; });
    g_open = outer;
    if (oldFocus && IsWindow(oldFocus)) SetFocus(oldFocus);
    return chooser.done && chooser.result;
}

Chooser* OpenChooser(std::string* why) {
    Chooser* chooser = g_open;
    if (!chooser || chooser->done || !chooser->hwnd) {
        if (why) *why = "no chooser is open";
        return nullptr;
    }
    return chooser;
}

}  // namespace

// Safe to call again: a second registration is refused and the first stays.
void RegisterChooserClass() {
    DWORD lastError = GetLastError();
    WNDCLASS wc{};
    wc.lpfnWndProc = ChooserProc;
    wc.lpszClassName = kChooserClass;
    RegisterClass(&wc);
    SetLastError(lastError);
}

bool ChooserChoose(const std::wstring& name, bool switchFilter, std::string* why) {
    Chooser* chooser = OpenChooser(why);
    return chooser && chooser->ChooseByName(name, switchFilter, why);
}

bool ChooserChooseFolder(const std::wstring& path, std::string* why) {
    Chooser* chooser = OpenChooser(why);
    return chooser && chooser->ChooseFolderByName(path, why);
}

}  // namespace platform

using namespace platform;

BOOL GetOpenFileNameEx(OPENFILENAMEEX* ofn) {
    if (!ofn || !ofn->lpstrFile || ofn->nMaxFile == 0) return FALSE;
    RegisterChooserClass();
    HWND owner = ofn->hwndOwner && IsWindow(ofn->hwndOwner) ? ofn->hwndOwner : nullptr;
    Chooser chooser(ofn);
    LPCWSTR title = ofn->lpstrTitle && *ofn->lpstrTitle ? ofn->lpstrTitle : L"Open";
    return RunChooser(chooser, owner, title, ofn->hInstance) ? TRUE : FALSE;
}

// The window in front when it is called is the owner. The last folder chosen,
// when it is still there, is where the picker opens.
int DirselaSingle(void) {
    RegisterChooserClass();
    HWND owner = GetForegroundWindow();
    wchar_t last[kMaxChosenFolderChars + 1] = {0};
    if (FAILED(
            SHRegQueryString(HKEY_CURRENT_USER, kFolderPickerKey, kFolderPickerValue, last, kMaxChosenFolderChars + 1)))
        last[0] = 0;
    Chooser chooser{std::wstring(last)};
    if (!RunChooser(chooser, owner, kFolderPickerTitle, nullptr)) return -1;
    // A choice the program cannot read back would leave it the previous one:
    // that counts as no choice.
    if (FAILED(SHRegSetString(HKEY_CURRENT_USER, kFolderPickerKey, kFolderPickerValue, chooser.chosenFolder.c_str())))
        return -1;
    return 0;
}
