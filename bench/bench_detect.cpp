// Face finding on a sample photo: DetectFaces alone, DetectFaces with the eye
// check of every box, and for comparison one scan of the same copies with every
// stage evaluated at every window (no early rejection). The gap between the last
// two is what the cascade's stage thresholds save.
//
// Two working copies of grace_hopper_single.jpg (512 x 600):
//   /0    the reduced copy the application makes (level 1: 256 x 300);
//   /420  a copy whose longer side is 420, the largest the application works on.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "imaging/ImageRecord.h"
#include "imaging/LoadPicture.h"
#include "imaging/PyramidLevel.h"
#include "imaging/ResizePicture.h"
#include "subject/EyeVerifier.h"
#include "subject/FaceDetector.h"
#include "subject/MakeGreyImage.h"

namespace {

struct GreyPicture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;
};

// The sample photo as the application loads it.
const ImageRecord& Sample() {
    static ImageRecord record{};
    if (!record.pixels) {
        const std::string path = std::string(LUMETRA_SOURCE_DIR) + "/samples/grace_hopper_single.jpg";
        const std::wstring widePath(path.begin(), path.end());
        if (!LoadPicture(widePath.c_str(), L"grace_hopper_single.jpg", &record)) {
            std::fprintf(stderr, "bench_detect: cannot load %s\n", path.c_str());
            std::exit(1);
        }
    }
    return record;
}

// The sample reduced as the application does, as grey.
GreyPicture LoadAppCopy() {
    const ImageRecord& record = Sample();
    const int level = PyramidLevel(std::max(record.width, record.height));
    GreyPicture grey;
    grey.width = record.width >> level;
    grey.height = record.height >> level;
    std::vector<uint8_t> reduced(static_cast<size_t>(grey.width) * grey.height * 3);
    ResizePicture(record.pixels, record.width, record.height, reduced.data(), grey.width, grey.height, 1);
    grey.pixels.resize(static_cast<size_t>(grey.width) * grey.height);
    MakeGreyImage(reduced.data(), grey.pixels.data(), grey.width, grey.height);
    return grey;
}

// The picture at its full size scaled so that its longer side is `longer`.
GreyPicture LoadCopyWithLongerSide(int longer) {
    const ImageRecord& record = Sample();
    std::vector<uint8_t> full(static_cast<size_t>(record.width) * record.height);
    MakeGreyImage(record.pixels, full.data(), record.width, record.height);
    GreyPicture grey;
    if (record.width >= record.height) {
        grey.width = longer;
        grey.height = record.height * longer / record.width;
    } else {
        grey.height = longer;
        grey.width = record.width * longer / record.height;
    }
    grey.pixels.resize(static_cast<size_t>(grey.width) * grey.height);
    ResampleNearest(full.data(), record.width, record.height, grey.pixels.data(), grey.width, grey.height);
    return grey;
}

const GreyPicture& Picture(int longer) {
    static const GreyPicture appCopy = LoadAppCopy();
    static const GreyPicture copy420 = LoadCopyWithLongerSide(420);
    return longer == 420 ? copy420 : appCopy;
}

void Describe(benchmark::State& state, const GreyPicture& grey) {
    state.SetLabel(std::to_string(grey.width) + "x" + std::to_string(grey.height));
}

void BM_DetectFaces(benchmark::State& state) {
    const GreyPicture& grey = Picture(static_cast<int>(state.range(0)));
    int faces = 0;
    for (auto _ : state) {
        faces = DetectFaces(grey.pixels.data(), grey.width, grey.height);
        benchmark::DoNotOptimize(faces);
    }
    state.counters["faces"] = faces;
    Describe(state, grey);
}
BENCHMARK(BM_DetectFaces)->Arg(0)->Arg(420)->Unit(benchmark::kMicrosecond);

void BM_DetectFacesAndVerifyEyes(benchmark::State& state) {
    const GreyPicture& grey = Picture(static_cast<int>(state.range(0)));
    int verified = 0;
    for (auto _ : state) {
        const int n = DetectFaces(grey.pixels.data(), grey.width, grey.height);
        std::vector<FaceBox> boxes(FaceBoxes(), FaceBoxes() + n);
        verified = 0;
        for (const FaceBox& b : boxes) {
            verified += VerifyEyes(grey.pixels.data(), grey.width, grey.height, b.x0, b.y0, b.x1, b.y1) == 1;
        }
        benchmark::DoNotOptimize(verified);
    }
    state.counters["verified"] = verified;
    Describe(state, grey);
}
BENCHMARK(BM_DetectFacesAndVerifyEyes)->Arg(0)->Arg(420)->Unit(benchmark::kMicrosecond);

// Offsets of all features in a copy `dstWidth` wide, as the detector's scan
// computes them.
std::vector<int32_t> FeatureOffsets(int dstWidth) {
    std::vector<int32_t> offsets(FaceCascadeData::kFeatures);
    for (int k = 0; k < FaceCascadeData::kFeatures; k++) offsets[k] = FaceCascade.x[k] + FaceCascade.y[k] * dstWidth;
    return offsets;
}

// The same copies, census codes and windows as DetectFaces, but every stage of
// every window is summed in full. Returns the number of windows.
int64_t FullScan(const GreyPicture& grey, std::vector<uint8_t>& copy, std::vector<uint16_t>& codes, int64_t* checksum) {
    int widths[9], heights[9];
    const int copies = FaceCopySizes(grey.width, grey.height, widths, heights);
    int64_t windows = 0;
    for (int i = 0; i < copies; i++) {
        const int w = widths[i], h = heights[i];
        ResampleNearest(grey.pixels.data(), grey.width, grey.height, copy.data(), w, h);
        FaceCensus(copy.data(), w, h, codes.data());
        const std::vector<int32_t> offsets = FeatureOffsets(w);
        for (int y = 0; y <= h - 25; y += 2) {
            for (int x = 0; x <= w - 23; x++) {
                const uint16_t* origin = codes.data() + static_cast<size_t>(y) * w + x;
                int k = 0;
                int passed = 1;
                for (int s = 0; s < FaceCascadeData::kStages; s++) {
                    int sum = 0;
                    for (const int end = k + FaceCascade.stageSize[s]; k < end; k++) {
                        sum += FaceCascade.table[k][origin[offsets[k]]];
                    }
                    passed &= sum <= FaceCascade.stageThreshold[s];
                    *checksum += sum;
                }
                *checksum += passed;
                windows++;
            }
        }
    }
    return windows;
}

// Feature lookups per window when stages reject early, over the same windows.
double LookupsPerWindowWithRejection(const GreyPicture& grey) {
    std::vector<uint8_t> copy(grey.pixels.size());
    std::vector<uint16_t> codes(grey.pixels.size());
    int widths[9], heights[9];
    const int copies = FaceCopySizes(grey.width, grey.height, widths, heights);
    int64_t lookups = 0, windows = 0;
    for (int i = 0; i < copies; i++) {
        ResampleNearest(grey.pixels.data(), grey.width, grey.height, copy.data(), widths[i], heights[i]);
        FaceCensus(copy.data(), widths[i], heights[i], codes.data());
        for (int stages = 0; stages < FaceCascadeData::kStages; stages++) {
            // Windows that pass the first `stages` stages go on to evaluate the next.
            int64_t reached = 0;
            ScanFaceWindowsWith(FaceCascade, stages, widths[i], heights[i], codes.data(),
                                [&](int, int, int) { reached++; });
            lookups += reached * FaceCascade.stageSize[stages];
            if (stages == 0) windows += reached;
        }
    }
    return windows ? static_cast<double>(lookups) / windows : 0.0;
}

void BM_FullScanWithoutRejection(benchmark::State& state) {
    const GreyPicture& grey = Picture(static_cast<int>(state.range(0)));
    std::vector<uint8_t> copy(grey.pixels.size());
    std::vector<uint16_t> codes(grey.pixels.size());
    int64_t windows = 0;
    for (auto _ : state) {
        int64_t checksum = 0;
        windows = FullScan(grey, copy, codes, &checksum);
        benchmark::DoNotOptimize(checksum);
    }
    state.counters["windows"] = static_cast<double>(windows);
    state.counters["lookups/window"] = FaceCascadeData::kFeatures;
    state.counters["lookups/window_cascade"] = LookupsPerWindowWithRejection(grey);
    Describe(state, grey);
}
BENCHMARK(BM_FullScanWithoutRejection)->Arg(0)->Arg(420)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
