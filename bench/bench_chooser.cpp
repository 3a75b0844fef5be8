// Listing a folder of phone-sized photos in the picture chooser: forty
// 12-megapixel JPEGs (4000 x 3000, quality 90, about the size a phone writes).
//
//   BM_ThumbnailsOfTheWholeFolder  every thumbnail read, as scrolling through the
//                                  whole folder reads them (the upper bound);
//   BM_ChooserFirstScreen          the chooser opened on the folder until its
//                                  first screen (twelve thumbnails) is painted.
// /0 baseline files (what cameras and phones write), /1 progressive ones.
//
// file_MB is the size of one photo of the folder.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "imaging/ImageRecord.h"
#include "imaging/LoadPicture.h"
#include "imaging/ResizePicture.h"
#include "imaging/Thumbnail.h"
#include "platform/Platform.h"
#include "tests/support/JpegBytes.h"
#include "tests/support/TestFiles.h"

namespace {

constexpr int kPhotos = 40;
constexpr int kWidth = 4000, kHeight = 3000;

// A folder of forty photos: the sample portrait enlarged to 12 megapixels with
// sensor-like noise, so the files compress like real photos.
const std::string& Folder(bool progressive) {
    static std::string folders[2];
    std::string& folder = folders[progressive];
    if (!folder.empty()) return folder;
    folder =
        (std::filesystem::temp_directory_path() / ("lumetra-bench-chooser-" + std::to_string(progressive))).string();
    std::filesystem::create_directories(folder);
    if (std::filesystem::exists(folder + "/photo39.jpg")) return folder;
    ImageRecord sample{};
    const std::string path = std::string(LUMETRA_SOURCE_DIR) + "/samples/grace_hopper_single.jpg";
    if (!LoadPicture(std::wstring(path.begin(), path.end()).c_str(), L"sample", &sample)) {
        fprintf(stderr, "bench_chooser: cannot load %s\n", path.c_str());
        exit(1);
    }
    std::vector<uint8_t> bgr((size_t)kWidth * kHeight * 3);
    ResizePicture(sample.pixels, sample.width, sample.height, bgr.data(), kWidth, kHeight, 1);
    ClearImageRecord(&sample);
    std::mt19937 random(7);
    std::vector<uint8_t> rgb(bgr.size());
    for (size_t i = 0; i < bgr.size(); i += 3)
        for (int c = 0; c < 3; c++) {
            int v = bgr[i + 2 - c] + (int)(random() % 13) - 6;
            rgb[i + c] = (uint8_t)std::clamp(v, 0, 255);
        }
    const std::string first = folder + "/photo00.jpg";
    testing_support::WriteBytes(first, EncodeJpeg(rgb, kWidth, kHeight, 90, progressive));
    for (int i = 1; i < kPhotos; i++) {
        char name[32];
        snprintf(name, sizeof name, "/photo%02d.jpg", i);
        std::filesystem::copy_file(first, folder + name, std::filesystem::copy_options::overwrite_existing);
    }
    return folder;
}

void ReportFileSize(benchmark::State& state) {
    state.counters["file_MB"] =
        (double)std::filesystem::file_size(Folder(state.range(0) != 0) + "/photo00.jpg") / (1024.0 * 1024.0);
}

void BM_ThumbnailsOfTheWholeFolder(benchmark::State& state) {
    const std::string& folder = Folder(state.range(0) != 0);
    for (auto _ : state) {
        for (int i = 0; i < kPhotos; i++) {
            char name[32];
            snprintf(name, sizeof name, "/photo%02d.jpg", i);
            std::string path = folder + name;
            int w = 0, h = 0;
            uint8_t* thumb = ReadPictureThumbnail(std::wstring(path.begin(), path.end()).c_str(), 140, 110, &w, &h);
            if (!thumb) state.SkipWithError("a photo gave no thumbnail");
            free(thumb);
        }
    }
    ReportFileSize(state);
}
BENCHMARK(BM_ThumbnailsOfTheWholeFolder)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ChooserFirstScreen(benchmark::State& state) {
    const std::string& folder = Folder(state.range(0) != 0);
    platform::SetThumbnailReader(ReadPictureThumbnail);
    for (auto _ : state) {
        platform::Options options;
        options.headless = true;
        options.storageRoot = folder;
        options.echo = [](std::string&) {};
        // The script's first step runs once the first screen is painted.
        options.script.push_back(platform::ScriptCommand(platform::ScriptCommand::Key, 0, 0, L"escape"));
        platform::Initialize(options);
        wchar_t file[260] = {0};
        OPENFILENAMEEX ofn{};
        ofn.lStructSize = sizeof ofn;
        ofn.lpstrFilter = L"All\0*.*\0";
        ofn.nFilterIndex = 1;
        ofn.lpstrFile = file;
        ofn.nMaxFile = 260;
        ofn.lpstrInitialDir = L"My Storage";
        GetOpenFileNameEx(&ofn);
        platform::Shutdown();
    }
    ReportFileSize(state);
}
BENCHMARK(BM_ChooserFirstScreen)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
