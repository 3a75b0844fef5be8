// One frame of the effect view, as the zoom tick (every 10 ms) paints it: the
// visible span of a 2000 x 3000 picture stretched into the 480 x 560 photo area
// of the toolkit's 16-bit back buffer, the zoom overlay blended over it, and
// the frame copied to the window.
//
//   BM_PaintView/10, /25, /100   PaintView at zoom 1.0, 2.5 and 10 (argument / 10)
//   BM_DrawOverlay               the overlay column alone, fully shown, into a
//                                back buffer
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "ZoomControls/ImageUtil.h"
#include "ZoomControls/ZoomController.h"
#include "app/View.h"
#include "platform/Platform.h"
#include "resources/Resources.h"

namespace {

constexpr int kWidth = 2000, kHeight = 3000;

LRESULT Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return DefWindowProc(hwnd, msg, wParam, lParam);
}

// A headless screen with a window of the main window's client size, and a
// zoom controller over its photo area.
struct Scene {
    HWND window = nullptr;
    ZoomController controller;
    std::vector<uint8_t> picture;

    Scene() {
        platform::Options options;
        options.headless = true;
        platform::Initialize(options);
        HINSTANCE instance = reinterpret_cast<HINSTANCE>(const_cast<platform::ResourceModule*>(LumetraResources()));
        platform::RegisterResourceModule(instance, LumetraResources());
        WNDCLASS wc{};
        wc.lpfnWndProc = Proc;
        wc.lpszClassName = L"BenchView";
        RegisterClass(&wc);
        window = CreateWindowEx(0, L"BenchView", L"bench", WS_POPUP | WS_VISIBLE, 0, platform::kTaskBarHeight, 480, 640,
                                nullptr, nullptr, instance, nullptr);
        controller.Create(window, instance, 0, 0, 480, 560);
        // A photo-like picture: smooth gradients with some texture.
        picture.resize((size_t)kWidth * kHeight * 3);
        for (int y = 0; y < kHeight; y++) {
            for (int x = 0; x < kWidth; x++) {
                uint8_t* p = &picture[((size_t)y * kWidth + x) * 3];
                p[0] = (uint8_t)(x * 255 / kWidth);
                p[1] = (uint8_t)(y * 255 / kHeight);
                p[2] = (uint8_t)((x ^ y) & 255);
            }
        }
    }
};

Scene& TheScene() {
    static Scene scene;
    return scene;
}

void BM_PaintView(benchmark::State& state) {
    Scene& s = TheScene();
    SpanRect src, dst;
    float zoom = 1.0f;
    s.controller.FitImage(kWidth, kHeight, &src, &dst, &zoom);
    s.controller.SetZoom((float)state.range(0) / 10.0f);
    s.controller.ComputeZoomedView(kWidth, kHeight, POINT{kWidth / 2, kHeight / 2}, &src, &dst);
    for (auto _ : state) {
        PaintView(s.window, s.picture.data(), nullptr, &s.controller, kWidth, kHeight, src.x0, src.x1, src.y0, src.y1,
                  dst.x0, dst.x1, dst.y0, dst.y1, 0);
    }
    state.SetLabel("source span " + std::to_string(src.x1 - src.x0 + 1) + " x " + std::to_string(src.y1 - src.y0 + 1));
}
BENCHMARK(BM_PaintView)->Arg(10)->Arg(25)->Arg(100)->Unit(benchmark::kMicrosecond);

void BM_DrawOverlay(benchmark::State& state) {
    Scene& s = TheScene();
    HDC dc = GetDC(s.window);
    HDC back = CreateBackBuffer(s.window, dc);
    s.controller.ShowHint();
    for (int i = 0; i < 8; i++) s.controller.DrawOverlay(back);  // the fade-in ends fully shown
    for (auto _ : state) s.controller.DrawOverlay(back);
    ReleaseBackBuffer(back);
    ReleaseDC(s.window, dc);
}
BENCHMARK(BM_DrawOverlay)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
