// lumetra-render on portrait JPEGs (quality 90) of 6, 12 and 48 megapixels
// (2000 x 3000, and the phone sizes 3000 x 4000 and 6000 x 8000) beside the
// floor of any tool that must read and write the photo: one libjpeg decode and
// one encode (quality 75, as Lumetra writes) of the same file.
//
//   BM_DecodeEncode/N   libjpeg alone: decode the file, encode it again
//   BM_LumetraRender/N  the whole program run: load, reduce, find the subject,
//                       render the blur, write the JPEG; peak_MB is the
//                       program's peak resident memory and bytes_per_pixel
//                       that peak over the photo's pixels
// N is the photo's size in megapixels.
//
// The portrait is the grace_hopper sample enlarged smoothly, so the road finds
// her face and renders a real subject.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tests/support/JpegBytes.h"
#include "tests/support/TestFiles.h"

namespace {

struct Size {
    int width, height;
};

Size SizeFor(int megapixels) {
    if (megapixels >= 48) return {6000, 8000};
    if (megapixels >= 12) return {3000, 4000};
    return {2000, 3000};
}

std::string TempFolder() {
    static std::string folder = [] {
        std::string path = std::filesystem::temp_directory_path().string() + "/lumetra-bench-render";
        std::filesystem::create_directories(path);
        return path;
    }();
    return folder;
}

// The portrait sample enlarged bilinearly to the given size.
std::string Portrait(int megapixels) {
    static std::map<int, std::string> made;
    auto found = made.find(megapixels);
    if (found != made.end()) return found->second;
    const int kWidth = SizeFor(megapixels).width, kHeight = SizeFor(megapixels).height;
    std::string path = [&] {
        int w = 0, h = 0;
        std::vector<uint8_t> small;
        DecodeJpeg(testing_support::ReadBytes(std::string(LUMETRA_SOURCE_DIR) + "/samples/grace_hopper_single.jpg"),
                   small, &w, &h);
        if (small.empty()) {
            fprintf(stderr, "bench_render: cannot read the sample photo\n");
            exit(1);
        }
        std::vector<uint8_t> big((size_t)kWidth * kHeight * 3);
        for (int y = 0; y < kHeight; y++) {
            const double sy = (y + 0.5) * h / kHeight - 0.5;
            const int y0 = std::max(0, std::min(h - 2, (int)sy));
            const double fy = std::max(0.0, std::min(1.0, sy - y0));
            for (int x = 0; x < kWidth; x++) {
                const double sx = (x + 0.5) * w / kWidth - 0.5;
                const int x0 = std::max(0, std::min(w - 2, (int)sx));
                const double fx = std::max(0.0, std::min(1.0, sx - x0));
                for (int c = 0; c < 3; c++) {
                    auto at = [&](int xx, int yy) { return small[((size_t)yy * w + xx) * 3 + c]; };
                    const double top = at(x0, y0) * (1 - fx) + at(x0 + 1, y0) * fx;
                    const double bottom = at(x0, y0 + 1) * (1 - fx) + at(x0 + 1, y0 + 1) * fx;
                    big[((size_t)y * kWidth + x) * 3 + c] = (uint8_t)(top * (1 - fy) + bottom * fy + 0.5);
                }
            }
        }
        std::string file =
            TempFolder() + "/portrait-" + std::to_string(kWidth) + "x" + std::to_string(kHeight) + ".jpg";
        testing_support::WriteBytes(file, EncodeJpeg(big, kWidth, kHeight, 90));
        return file;
    }();
    made[megapixels] = path;
    return path;
}

void BM_DecodeEncode(benchmark::State& state) {
    const std::string in = Portrait((int)state.range(0));
    const std::string out = TempFolder() + "/floor.jpg";
    for (auto _ : state) {
        int w = 0, h = 0;
        std::vector<uint8_t> rgb;
        DecodeJpeg(testing_support::ReadBytes(in), rgb, &w, &h);
        testing_support::WriteBytes(out, EncodeJpeg(rgb, w, h, 75));
    }
}
BENCHMARK(BM_DecodeEncode)->Arg(6)->Arg(12)->Arg(48)->Unit(benchmark::kMillisecond)->UseRealTime();

// Runs the program once; its peak resident memory in kilobytes, or -1.
long RunRender(const std::string& in, const std::string& out) {
    const std::string program = std::string(LUMETRA_BINARY_DIR) + "/tools/lumetra-render/lumetra-render";
    pid_t pid = fork();
    if (pid == 0) {
        freopen("/dev/null", "w", stdout);
        execl(program.c_str(), program.c_str(), "--quiet", "-o", out.c_str(), in.c_str(), (char*)nullptr);
        _exit(127);
    }
    int status = 0;
    struct rusage usage {};
    if (pid < 0 || wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
    return usage.ru_maxrss;
}

void BM_LumetraRender(benchmark::State& state) {
    const int megapixels = (int)state.range(0);
    const std::string in = Portrait(megapixels);
    const std::string out = TempFolder() + "/rendered.jpg";
    long peakKb = 0;
    for (auto _ : state) {
        const long kb = RunRender(in, out);
        if (kb < 0) {
            state.SkipWithError("lumetra-render failed");
            break;
        }
        peakKb = std::max(peakKb, kb);
    }
    const double pixels = (double)SizeFor(megapixels).width * SizeFor(megapixels).height;
    state.counters["peak_MB"] = (double)peakKb / 1024.0;
    state.counters["bytes_per_pixel"] = (double)peakKb * 1024.0 / pixels;
}
BENCHMARK(BM_LumetraRender)->Arg(6)->Arg(12)->Arg(48)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
