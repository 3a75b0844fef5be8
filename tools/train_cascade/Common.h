// Small pieces shared by the cascade trainer: grey pictures, file names, hashing,
// seeded random numbers and a two-way parallel loop with a fixed split.
#pragma once

#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace train {

struct Grey {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;  // row-major, top row first
    uint8_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

// Decodes a JPEG file into grey = (B + G + R) / 3, truncated, the rule the app uses
// for its grey copy. Returns false when the file cannot be read.
bool LoadGreyJpeg(const std::string& path, Grey* out);

// The picture enlarged by `margin` pixels on every side, the border mirrored
// (pixel -1 repeats pixel 0, -2 repeats 1, ...).
Grey MirrorPad(const Grey& src, int margin);

// Left-right mirror image.
Grey FlipHorizontal(const Grey& src);

// 32-bit FNV-1a of a string: the hash that splits files into training and held-out sets.
uint32_t Fnv1a(const std::string& text);

// Random generator seeded from a fixed base and a key (file name, index...), so that
// what a worker draws never depends on which thread runs it.
std::mt19937 SeededRng(uint64_t base, const std::string& key);
double Uniform(std::mt19937& rng, double lo, double hi);

// Runs body(i) for i in [0, count) on `threads` threads; thread t takes the indices
// i with i % threads == t. Bodies must only write to slots of their own index.
void ParallelFor(int count, int threads, const std::function<void(int)>& body);

// The file name without folders.
std::string BaseName(const std::string& path);

}  // namespace train

namespace train {

// Progress lines go to stdout and, once OpenLog was called, to the log file too.
void OpenLog(const std::string& path);
void Log(const char* format, ...) __attribute__((format(printf, 1, 2)));
double SecondsSinceStart();

}  // namespace train
