// SDL2 backend: the handset's screen in a real window.
//
// Supports:
//  [X] Mouse as stylus (left button: press, drag, release); no hovering.
//  [X] Keyboard: Ctrl accelerators, F1/F2 for the soft keys, text input for edits.
//  [X] Real-time clock for timers; the wait cursor as the system's busy pointer.
//  [X] Integer magnification (--scale N) for large monitors.
//  [X] Coming to the front when a second start asks for it.
//  [X] No window without a display: refuses to start rather than draw unseen.
//  [X] SIGINT and SIGTERM end the program like a quit; a second one ends it at once.
#include <SDL.h>
#include <signal.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/Backend.h"
#include "platform/WindowManager.h"

namespace platform {

namespace {

constexpr char kNoDisplay[] = "no display found; use --headless --script FILE to run without one";

volatile sig_atomic_t g_quitSignal = 0;

void OnQuitSignal(int sig) {
    g_quitSignal = sig;
}

// SDL's own handlers only queue a quit event, so a program that stopped reading
// events would never end on a signal. Ours asks for the same orderly quit and,
// installed with SA_RESETHAND, leaves the second signal its default action. A
// signal the program was started ignoring (nohup, a background job) stays ignored.
void CatchQuitSignals() {
    g_quitSignal = 0;
    for (int sig : {SIGINT, SIGTERM}) {
        struct sigaction old {};
        if (sigaction(sig, nullptr, &old) != 0 || old.sa_handler != SIG_DFL) continue;
        struct sigaction sa {};
        sa.sa_handler = OnQuitSignal;
        sa.sa_flags = SA_RESETHAND;
        sigemptyset(&sa.sa_mask);
        sigaction(sig, &sa, nullptr);
    }
}

void ReleaseQuitSignals() {
    for (int sig : {SIGINT, SIGTERM}) {
        struct sigaction old {};
        if (sigaction(sig, nullptr, &old) == 0 && old.sa_handler == OnQuitSignal) signal(sig, SIG_DFL);
    }
    g_quitSignal = 0;
}

// True when the environment names a display server SDL can show a window on.
bool DisplayNamed() {
    const char* x11 = getenv("DISPLAY");
    const char* wayland = getenv("WAYLAND_DISPLAY");
    return (x11 && *x11) || (wayland && *wayland);
}

UINT MapKey(SDL_Keycode key) {
    if (key >= SDLK_a && key <= SDLK_z) return (UINT)('A' + (key - SDLK_a));
    if (key >= SDLK_0 && key <= SDLK_9) return (UINT)('0' + (key - SDLK_0));
    switch (key) {
        case SDLK_F1:
            return VK_F1;
        case SDLK_F2:
            return VK_F2;
        case SDLK_RETURN:
        case SDLK_KP_ENTER:
            return VK_RETURN;
        case SDLK_ESCAPE:
            return VK_ESCAPE;
        case SDLK_TAB:
            return VK_TAB;
        case SDLK_SPACE:
            return VK_SPACE;
        case SDLK_BACKSPACE:
            return VK_BACK;
        case SDLK_LEFT:
            return VK_LEFT;
        case SDLK_RIGHT:
            return VK_RIGHT;
        case SDLK_UP:
            return VK_UP;
        case SDLK_DOWN:
            return VK_DOWN;
        case SDLK_DELETE:
            return VK_DELETE;
        case SDLK_HOME:
            return VK_HOME;
        case SDLK_END:
            return VK_END;
        default:
            return 0;
    }
}

class SdlBackend : public Backend {
public:
    ~SdlBackend() override {
        if (busy_) SDL_FreeCursor(busy_);
        if (arrow_) SDL_FreeCursor(arrow_);
        if (texture_) SDL_DestroyTexture(texture_);
        if (renderer_) SDL_DestroyRenderer(renderer_);
        if (window_) SDL_DestroyWindow(window_);
        FreeSurface(screen_);
        SDL_Quit();
        ReleaseQuitSignals();
    }

    // On failure `error` is the whole message for the user.
    bool Open(const Options& options, std::string& error) {
        scale_ = std::clamp(options.scale, 1, 4);
        if (!DisplayNamed()) {
            error = kNoDisplay;
            return false;
        }
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        CatchQuitSignals();
        if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_TIMER) != 0) {
            error = std::string("cannot open a window: ") + SDL_GetError();
            return false;
        }
        // When the named display cannot be reached SDL falls back to drivers that
        // draw into memory: the program would run with nothing to see or touch.
        const char* driver = SDL_GetCurrentVideoDriver();
        if (!driver || strcmp(driver, "offscreen") == 0 || strcmp(driver, "dummy") == 0) {
            error = kNoDisplay;
            return false;
        }
        window_ = SDL_CreateWindow("Lumetra", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, kScreenWidth * scale_,
                                   kScreenHeight * scale_, 0);
        if (!window_) {
            error = std::string("cannot open a window: ") + SDL_GetError();
            return false;
        }
        renderer_ = SDL_CreateRenderer(window_, -1, 0);
        if (!renderer_) renderer_ = SDL_CreateRenderer(window_, -1, SDL_RENDERER_SOFTWARE);
        if (!renderer_) {
            error = std::string("cannot open a window: ") + SDL_GetError();
            return false;
        }
        texture_ = SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_STREAMING, kScreenWidth,
                                     kScreenHeight);
        if (!texture_ || !AllocSurface(screen_, kScreenWidth, kScreenHeight, PixelFormat::XRGB32, false)) {
            error = std::string("cannot open a window: ") + (texture_ ? "out of memory" : SDL_GetError());
            return false;
        }
        busy_ = SDL_CreateSystemCursor(SDL_SYSTEM_CURSOR_WAIT);
        arrow_ = SDL_CreateSystemCursor(SDL_SYSTEM_CURSOR_ARROW);
        SDL_StartTextInput();
        start_ = SDL_GetTicks();
        return true;
    }

    DWORD Now() override { return SDL_GetTicks() - start_; }

    bool Wait(int timeoutMs) override {
        // Bounded so that a request from a second start is seen promptly.
        // The same bound lets a quit signal that arrived during the wait end it.
        int slice = timeoutMs < 0 ? 200 : std::min(timeoutMs, 200);
        if (g_quitSignal) return false;
        SDL_Event e;
        if (!SDL_WaitEventTimeout(&e, slice)) return !g_quitSignal;
        do {
            if (!Handle(e)) return false;
        } while (SDL_PollEvent(&e));
        return true;
    }

    void Present() override {
        ComposeScreen(screen_);
        SDL_UpdateTexture(texture_, nullptr, screen_.bits, screen_.stride);
        SDL_RenderClear(renderer_);
        SDL_RenderCopy(renderer_, texture_, nullptr, nullptr);
        SDL_RenderPresent(renderer_);
    }

    void SetBusyCursor(bool busy) override {
        SDL_SetCursor(busy ? busy_ : arrow_);
        if (busy) Present();  // show the pointer change before the long work starts
    }

    void Raise() override {
        SDL_RestoreWindow(window_);
        SDL_RaiseWindow(window_);
    }

    bool IsHeadless() const override { return false; }

private:
    bool Handle(const SDL_Event& e) {
        switch (e.type) {
            case SDL_QUIT:
                return false;
            case SDL_MOUSEBUTTONDOWN:
                if (e.button.button == SDL_BUTTON_LEFT)
                    InputStylus(StylusAction::Down, e.button.x / scale_, e.button.y / scale_);
                break;
            case SDL_MOUSEBUTTONUP:
                if (e.button.button == SDL_BUTTON_LEFT)
                    InputStylus(StylusAction::Up, e.button.x / scale_, e.button.y / scale_);
                break;
            case SDL_MOUSEMOTION:
                if (e.motion.state & SDL_BUTTON_LMASK)
                    InputStylus(StylusAction::Move, e.motion.x / scale_, e.motion.y / scale_);
                break;
            case SDL_KEYDOWN:
            case SDL_KEYUP:
                if (UINT vk = MapKey(e.key.keysym.sym))
                    InputKey(vk, e.type == SDL_KEYDOWN, (e.key.keysym.mod & KMOD_CTRL) != 0);
                break;
            case SDL_TEXTINPUT: {
                wchar_t text[32];
                int n = MultiByteToWideChar(CP_ACP, 0, e.text.text, -1, text, 32);
                for (int i = 0; i < n && text[i]; i++) InputChar(text[i]);
                break;
            }
            case SDL_WINDOWEVENT:
                if (e.window.event == SDL_WINDOWEVENT_EXPOSED) MarkScreenDirty();
                break;
            default:
                break;
        }
        return true;
    }

    SDL_Window* window_ = nullptr;
    SDL_Renderer* renderer_ = nullptr;
    SDL_Texture* texture_ = nullptr;
    SDL_Cursor* busy_ = nullptr;
    SDL_Cursor* arrow_ = nullptr;
    Surface screen_;
    int scale_ = 1;
    Uint32 start_ = 0;
};

}  // namespace

std::unique_ptr<Backend> CreateSdlBackend(const Options& options, std::string& error) {
    auto backend = std::make_unique<SdlBackend>();
    if (!backend->Open(options, error)) return nullptr;
    return backend;
}

}  // namespace platform
