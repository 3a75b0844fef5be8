// The background blur renderer against JPEG decoding of the same picture.
//
// Two photo-like pictures: a sample photo enlarged bilinearly to 1600 x 1200
// (landscape, level 2) and 2000 x 3000 (portrait, level 3) with sensor-like noise,
// encoded here at quality 90 and loaded back with the program's JPEG reader (so
// the 2000-pixel width is padded to 2016, as the application has it). The
// subject mask is a head-and-torso silhouette in the middle of the reduced copy.
//
//   BM_DecodeJpeg            libjpeg decoding the file from memory, one row at
//                            a time (the least a load costs);
//   BM_LoadJpegPicture       the program's reader on the file (what Open costs);
//   BM_RenderBackgroundBlur  the whole effect;
//   BM_BlurPerDecode         one decode and one render (in place) per iteration;
//                            its counter `decodes` is the render's median time
//                            over the decode's (the aim: at most 2);
//   BM_Step*                 the steps alone, to see where the time goes
//                            (BM_StepEnlargeMaskAndRamp: BuildBlendWeightsFromMask
//                            with an empty mask, i.e. without edge growing).
// Argument: 0 = 1600 x 1200, 1 = 2000 x 3000, 2 = 2000 x 3000 with a close-up
// subject (the worst case for edge growing).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "imaging/BackgroundBlur.h"
#include "imaging/ImageRecord.h"
#include "imaging/JpegReader.h"
#include "imaging/LoadPicture.h"
#include "imaging/PyramidLevel.h"
#include "imaging/ResizePicture.h"
#include "subject/MakeGreyImage.h"
#include "tests/support/JpegBytes.h"

namespace {

struct Case {
    int width, height;
    const char* sample;
    bool closeUp;  // the subject's shoulders span the whole width
};
constexpr Case kCases[] = {{1600, 1200, "coco_442450_forest_distant.jpg", false},
                           {2000, 3000, "grace_hopper_single.jpg", false},
                           {2000, 3000, "grace_hopper_single.jpg", true}};

struct Picture {
    std::string path;                 // the JPEG file
    std::vector<unsigned char> jpeg;  // its bytes
    int W = 0, H = 0;                 // working image as loaded (padded width)
    std::vector<uint8_t> pixels;
    int w = 0, h = 0, level = 0;
    std::vector<uint8_t> mask;
};

// Bilinear enlargement (rgb out) with noise: a photo-like source for the encoder.
std::vector<uint8_t> PhotoLike(const ImageRecord& src, int width, int height) {
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
    std::mt19937 random(11);
    for (int y = 0; y < height; y++) {
        const double sy = std::max(0.0, (y + 0.5) * src.height / height - 0.5);
        const int y0 = std::min(static_cast<int>(sy), src.height - 2);
        const double fy = std::min(1.0, sy - y0);
        for (int x = 0; x < width; x++) {
            const double sx = std::max(0.0, (x + 0.5) * src.width / width - 0.5);
            const int x0 = std::min(static_cast<int>(sx), src.width - 2);
            const double fx = std::min(1.0, sx - x0);
            for (int c = 0; c < 3; c++) {
                auto at = [&](int xx, int yy) {
                    return src.pixels[(static_cast<size_t>(yy) * src.width + xx) * 3 + 2 - c];
                };
                const double v = (at(x0, y0) * (1 - fx) + at(x0 + 1, y0) * fx) * (1 - fy) +
                                 (at(x0, y0 + 1) * (1 - fx) + at(x0 + 1, y0 + 1) * fx) * fy;
                const int noisy = static_cast<int>(v + 0.5) + static_cast<int>(random() % 9) - 4;
                rgb[(static_cast<size_t>(y) * width + x) * 3 + c] = static_cast<uint8_t>(std::clamp(noisy, 0, 255));
            }
        }
    }
    return rgb;
}

// A head (disc) over a torso (trapezoid) in the middle of the reduced copy; for
// a close-up a larger head over shoulders that fill the width below it (the
// most work for edge growing: every column of the subject meets the top-edge
// test from its top row down).
std::vector<uint8_t> SilhouetteMask(int w, int h, bool closeUp) {
    std::vector<uint8_t> mask(static_cast<size_t>(w) * h, 0);
    const int cx = w / 2, headY = h * 3 / 10, radius = std::min(w, h) / (closeUp ? 4 : 8);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            const int dx = x - cx, dy = y - headY;
            const bool head = dx * dx + dy * dy <= radius * radius;
            const int half = closeUp ? w : radius + (y - headY) * 2 / 3;
            const bool torso = y > headY + radius - 2 && std::abs(dx) <= half;
            mask[static_cast<size_t>(y) * w + x] = head || torso;
        }
    return mask;
}

const Picture& Get(int which) {
    static Picture pictures[3];
    Picture& p = pictures[which];
    if (!p.pixels.empty()) return p;
    const Case& c = kCases[which];
    ImageRecord sample{};
    const std::string samplePath = std::string(LUMETRA_SOURCE_DIR) + "/samples/" + c.sample;
    if (!LoadPicture(std::wstring(samplePath.begin(), samplePath.end()).c_str(), L"sample", &sample)) {
        std::fprintf(stderr, "bench_blur: cannot load %s\n", samplePath.c_str());
        std::exit(1);
    }
    p.jpeg = EncodeJpeg(PhotoLike(sample, c.width, c.height), c.width, c.height, 90);
    ClearImageRecord(&sample);
    p.path = (std::filesystem::temp_directory_path() /
              ("lumetra-bench-blur-" + std::to_string(c.width) + "x" + std::to_string(c.height) + ".jpg"))
                 .string();
    FILE* f = std::fopen(p.path.c_str(), "wb");
    if (!f || std::fwrite(p.jpeg.data(), 1, p.jpeg.size(), f) != p.jpeg.size() || std::fclose(f) != 0) {
        std::fprintf(stderr, "bench_blur: cannot write %s\n", p.path.c_str());
        std::exit(1);
    }
    uint8_t* pixels = LoadJpegPicture(std::wstring(p.path.begin(), p.path.end()).c_str(), &p.W, &p.H);
    if (!pixels) {
        std::fprintf(stderr, "bench_blur: cannot read %s back\n", p.path.c_str());
        std::exit(1);
    }
    p.pixels.assign(pixels, pixels + static_cast<size_t>(p.W) * p.H * 3);
    free(pixels);
    p.level = PyramidLevel(std::max(p.W, p.H));
    p.w = p.W >> p.level;
    p.h = p.H >> p.level;
    p.mask = SilhouetteMask(p.w, p.h, c.closeUp);
    return p;
}

void Describe(benchmark::State& state, const Picture& p) {
    size_t subject = 0;
    for (uint8_t m : p.mask) subject += m;
    state.SetLabel(std::to_string(p.W) + "x" + std::to_string(p.H) + " level " + std::to_string(p.level) + ", " +
                   std::to_string(p.jpeg.size() / 1024) + " KB, subject " +
                   std::to_string(subject * 100 / p.mask.size()) + "%");
}

void BM_DecodeJpeg(benchmark::State& state) {
    const Picture& p = Get(static_cast<int>(state.range(0)));
    std::vector<uint8_t> rgb;
    for (auto _ : state) {
        DecodeJpeg(p.jpeg, rgb);
        benchmark::DoNotOptimize(rgb.data());
    }
    Describe(state, p);
}
BENCHMARK(BM_DecodeJpeg)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_LoadJpegPicture(benchmark::State& state) {
    const Picture& p = Get(static_cast<int>(state.range(0)));
    const std::wstring path(p.path.begin(), p.path.end());
    for (auto _ : state) {
        int w = 0, h = 0;
        uint8_t* pixels = LoadJpegPicture(path.c_str(), &w, &h);
        if (!pixels) state.SkipWithError("the reader failed");
        benchmark::DoNotOptimize(pixels);
        free(pixels);
    }
    Describe(state, p);
}
BENCHMARK(BM_LoadJpegPicture)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_RenderBackgroundBlur(benchmark::State& state) {
    const Picture& p = Get(static_cast<int>(state.range(0)));
    std::vector<uint8_t> output(p.pixels.size());
    for (auto _ : state) {
        if (!RenderBackgroundBlur(p.pixels.data(), p.mask.data(), output.data(), p.W, p.H))
            state.SkipWithError("the renderer failed");
        benchmark::DoNotOptimize(output.data());
    }
    Describe(state, p);
}
BENCHMARK(BM_RenderBackgroundBlur)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

// Each iteration decodes the picture once and renders the effect once, in place
// on a copy as the application does, timing both; the counters are the medians
// (less disturbed by other work on the machine than means) and `decodes`, the
// render's median over the decode's. The time shown is that of the pair.
void BM_BlurPerDecode(benchmark::State& state) {
    const Picture& p = Get(static_cast<int>(state.range(0)));
    std::vector<uint8_t> rgb, picture(p.pixels.size());
    std::vector<double> decode, blur;
    auto seconds = [](auto start) {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        DecodeJpeg(p.jpeg, rgb);
        decode.push_back(seconds(start));
        benchmark::DoNotOptimize(rgb.data());
        picture = p.pixels;
        start = std::chrono::steady_clock::now();
        if (!RenderBackgroundBlur(picture.data(), p.mask.data(), picture.data(), p.W, p.H))
            state.SkipWithError("the renderer failed");
        blur.push_back(seconds(start));
        benchmark::DoNotOptimize(picture.data());
    }
    auto median = [](std::vector<double> v) {
        std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
        return v[v.size() / 2];
    };
    state.counters["decode_ms"] = median(decode) * 1000;
    state.counters["blur_ms"] = median(blur) * 1000;
    state.counters["decodes"] = median(blur) / median(decode);
    Describe(state, p);
}
BENCHMARK(BM_BlurPerDecode)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The steps, on the buffers RenderBackgroundBlur would hand them.
struct Steps {
    std::vector<uint8_t> reduced, grey, responses, spots, temp, weights, output;
};

Steps Prepare(const Picture& p) {
    Steps s;
    const size_t n = static_cast<size_t>(p.w) * p.h;
    s.reduced.resize(n * 3);
    s.grey.resize(n);
    s.responses.resize(n);
    s.spots.resize(n);
    s.temp.resize(n * 3);
    s.weights.resize(static_cast<size_t>(p.W) * p.H);
    s.output.resize(p.pixels.size());
    ResizePicture(p.pixels.data(), p.W, p.H, s.reduced.data(), p.w, p.h, 1);
    MakeGreyImage(s.reduced.data(), s.grey.data(), p.w, p.h);
    return s;
}

void BM_StepFindHighlights(benchmark::State& state) {
    const Picture& p = Get(static_cast<int>(state.range(0)));
    Steps s = Prepare(p);
    for (auto _ : state) FindHighlights(s.grey.data(), s.responses.data(), s.spots.data(), p.w, p.h);
    Describe(state, p);
}
BENCHMARK(BM_StepFindHighlights)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_StepBlurBackground(benchmark::State& state) {
    const Picture& p = Get(static_cast<int>(state.range(0)));
    Steps s = Prepare(p);
    for (auto _ : state) BlurBackground(s.reduced.data(), p.mask.data(), s.temp.data(), p.w, p.h);
    Describe(state, p);
}
BENCHMARK(BM_StepBlurBackground)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_StepBuildBlendWeightsFromMask(benchmark::State& state) {
    const Picture& p = Get(static_cast<int>(state.range(0)));
    Steps s = Prepare(p);
    for (auto _ : state)
        BuildBlendWeightsFromMask(p.pixels.data(), p.mask.data(), s.weights.data(), p.W, p.H, p.w, p.h, p.level);
    Describe(state, p);
}
BENCHMARK(BM_StepBuildBlendWeightsFromMask)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

// The mask enlargement and the ramp alone: with an empty mask edge growing
// only scans the map.
void BM_StepEnlargeMaskAndRamp(benchmark::State& state) {
    const Picture& p = Get(static_cast<int>(state.range(0)));
    Steps s = Prepare(p);
    const std::vector<uint8_t> empty(p.mask.size(), 0);
    for (auto _ : state)
        BuildBlendWeightsFromMask(p.pixels.data(), empty.data(), s.weights.data(), p.W, p.H, p.w, p.h, p.level);
    Describe(state, p);
}
BENCHMARK(BM_StepEnlargeMaskAndRamp)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_StepCompositeBlur(benchmark::State& state) {
    const Picture& p = Get(static_cast<int>(state.range(0)));
    Steps s = Prepare(p);
    BuildBlendWeightsFromMask(p.pixels.data(), p.mask.data(), s.weights.data(), p.W, p.H, p.w, p.h, p.level);
    for (auto _ : state) {
        CompositeBlur(p.pixels.data(), s.reduced.data(), s.weights.data(), s.output.data(), p.W, p.H, p.w, p.h);
        benchmark::DoNotOptimize(s.output.data());
    }
    Describe(state, p);
}
BENCHMARK(BM_StepCompositeBlur)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
