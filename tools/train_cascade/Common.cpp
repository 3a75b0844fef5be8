#include "tools/train_cascade/Common.h"

#include <jpeglib.h>

#include <csetjmp>
#include <cstdio>
#include <thread>

#include "subject/EyeVerifier.h"

namespace train {

namespace {

struct ErrorJump {
    jpeg_error_mgr base;
    jmp_buf jump;
};

void OnJpegError(j_common_ptr info) {
    auto* err = reinterpret_cast<ErrorJump*>(info->err);
    longjmp(err->jump, 1);
}

int Mirror(int i, int n) {
    while (i < 0 || i >= n) {
        if (i < 0) i = -1 - i;
        if (i >= n) i = 2 * n - 1 - i;
    }
    return i;
}

}  // namespace

bool LoadGreyJpeg(const std::string& path, Grey* out) {
    FILE* file = fopen(path.c_str(), "rb");
    if (!file) return false;
    jpeg_decompress_struct info;
    ErrorJump err;
    info.err = jpeg_std_error(&err.base);
    err.base.error_exit = OnJpegError;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&info);
        fclose(file);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_stdio_src(&info, file);
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_RGB;  // grey files are replicated into three equal channels
    jpeg_start_decompress(&info);
    out->width = static_cast<int>(info.output_width);
    out->height = static_cast<int>(info.output_height);
    out->pixels.assign(static_cast<size_t>(out->width) * out->height, 0);
    std::vector<uint8_t> row(static_cast<size_t>(out->width) * 3);
    while (info.output_scanline < info.output_height) {
        JSAMPROW rows[1] = {row.data()};
        int y = static_cast<int>(info.output_scanline);
        jpeg_read_scanlines(&info, rows, 1);
        uint8_t* dst = out->pixels.data() + static_cast<size_t>(y) * out->width;
        for (int x = 0; x < out->width; ++x)
            dst[x] = static_cast<uint8_t>((row[3 * x] + row[3 * x + 1] + row[3 * x + 2]) / 3);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    fclose(file);
    return true;
}

Grey MirrorPad(const Grey& src, int margin) {
    Grey out;
    out.width = src.width + 2 * margin;
    out.height = src.height + 2 * margin;
    out.pixels.resize(static_cast<size_t>(out.width) * out.height);
    for (int y = 0; y < out.height; ++y) {
        int sy = Mirror(y - margin, src.height);
        for (int x = 0; x < out.width; ++x)
            out.pixels[static_cast<size_t>(y) * out.width + x] = src.at(Mirror(x - margin, src.width), sy);
    }
    return out;
}

Grey FlipHorizontal(const Grey& src) {
    Grey out = src;
    MirrorRows(src.pixels.data(), src.width, src.height, out.pixels.data());
    return out;
}

uint32_t Fnv1a(const std::string& text) {
    uint32_t h = 2166136261u;
    for (unsigned char c : text) {
        h ^= c;
        h *= 16777619u;
    }
    return h;
}

std::mt19937 SeededRng(uint64_t base, const std::string& key) {
    std::seed_seq seq{static_cast<uint32_t>(base), static_cast<uint32_t>(base >> 32), Fnv1a(key),
                      static_cast<uint32_t>(key.size())};
    return std::mt19937(seq);
}

double Uniform(std::mt19937& rng, double lo, double hi) {
    // Built from the raw 32-bit output so that the sequence is the same with every
    // standard library.
    double u = static_cast<double>(rng()) / 4294967296.0;
    return lo + (hi - lo) * u;
}

void ParallelFor(int count, int threads, const std::function<void(int)>& body) {
    if (threads <= 1 || count < 2) {
        for (int i = 0; i < count; ++i) body(i);
        return;
    }
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t)
        pool.emplace_back([&, t] {
            for (int i = t; i < count; i += threads) body(i);
        });
    for (auto& th : pool) th.join();
}

std::string BaseName(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace train

#include <chrono>
#include <cstdarg>

namespace train {

namespace {
FILE* g_log = nullptr;
const auto g_start = std::chrono::steady_clock::now();
}  // namespace

void OpenLog(const std::string& path) {
    g_log = fopen(path.c_str(), "w");
}

void Log(const char* format, ...) {
    char line[2048];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof line, format, args);
    va_end(args);
    fputs(line, stdout);
    fputc('\n', stdout);
    fflush(stdout);
    if (g_log) {
        fputs(line, g_log);
        fputc('\n', g_log);
        fflush(g_log);
    }
}

double SecondsSinceStart() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - g_start).count();
}

}  // namespace train
