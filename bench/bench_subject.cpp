// Subject finding on the reduced copies of the sample photos, as Find runs it:
//   BM_FindSubjectMask  the whole pipeline;
//   BM_Detection        grey copy, face scan and the eye check of every box;
//   BM_Segmentation     edges, sort, forest, the graph pass and the small-region
//                       merge over the rectangle the pipeline segments;
// the rest (skin centring, label map, face-aware merges, silhouette, mask and
// hole filling) is the whole less the other two.
// The argument is the sample's index in kSamples.
//
// `bench_subject --dump-reduced DIR` writes the reduced copies as binary PPM
// files into DIR instead, for timing other segmenters on exactly these pixels
// (bench/reference_segmentation.py).
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
#include "subject/Segmentation.h"
#include "subject/SubjectMask.h"

namespace {

const char* const kSamples[] = {
    "astronaut_single.jpg",
    "grace_hopper_single.jpg",
    "coco_000790_dinner_group.jpg",
    "coco_229358_mirror_single_small.jpg",
    "coco_256353_frames_single_repeated.jpg",
    "coco_349860_skater_distant.jpg",
    "coco_442450_forest_distant.jpg",
};
constexpr int kSampleCount = sizeof kSamples / sizeof kSamples[0];

struct Reduced {
    int width = 0, height = 0;
    std::vector<uint8_t> bgr;
    int32_t rect[4] = {0, 0, 0, 0};  // the rectangle the pipeline segments
    int code = -1;
};

Reduced LoadReduced(const char* name) {
    const std::string path = std::string(LUMETRA_SOURCE_DIR) + "/samples/" + name;
    const std::wstring widePath(path.begin(), path.end());
    ImageRecord record{};
    if (!LoadPicture(widePath.c_str(), L"sample.jpg", &record)) {
        std::fprintf(stderr, "bench_subject: cannot load %s\n", path.c_str());
        std::exit(1);
    }
    const int level = PyramidLevel(std::max(record.width, record.height));
    Reduced r;
    r.width = record.width >> level;
    r.height = record.height >> level;
    r.bgr.resize(static_cast<size_t>(r.width) * r.height * 3);
    ResizePicture(record.pixels, record.width, record.height, r.bgr.data(), r.width, r.height, 1);
    ClearImageRecord(&record);
    std::vector<uint8_t> mask(static_cast<size_t>(r.width) * r.height);
    r.code = FindSubjectMask(r.bgr.data(), mask.data(), r.width, r.height, r.rect);
    FreeRegionLabelMap();
    return r;
}

const Reduced& Sample(int index) {
    static std::vector<Reduced> samples;
    if (samples.empty()) {
        for (const char* name : kSamples) samples.push_back(LoadReduced(name));
    }
    return samples[static_cast<size_t>(index)];
}

void Describe(benchmark::State& state, const Reduced& r) {
    const int rw = r.rect[1] - r.rect[0] + 1, rh = r.rect[3] - r.rect[2] + 1;
    state.SetLabel(std::string(kSamples[state.range(0)]) + " " + std::to_string(r.width) + "x" +
                   std::to_string(r.height) + " rect " + std::to_string(rw) + "x" + std::to_string(rh) + " code " +
                   std::to_string(r.code));
}

void BM_FindSubjectMask(benchmark::State& state) {
    const Reduced& r = Sample(static_cast<int>(state.range(0)));
    std::vector<uint8_t> mask(static_cast<size_t>(r.width) * r.height);
    int32_t rect[4];
    for (auto _ : state) {
        benchmark::DoNotOptimize(FindSubjectMask(r.bgr.data(), mask.data(), r.width, r.height, rect));
        FreeRegionLabelMap();
    }
    Describe(state, r);
}

void BM_Detection(benchmark::State& state) {
    const Reduced& r = Sample(static_cast<int>(state.range(0)));
    std::vector<uint8_t> grey(static_cast<size_t>(r.width) * r.height);
    for (auto _ : state) {
        MakeGreyImage(r.bgr.data(), grey.data(), r.width, r.height);
        const int n = DetectFaces(grey.data(), r.width, r.height);
        const std::vector<FaceBox> boxes(FaceBoxes(), FaceBoxes() + std::max(n, 0));
        int verified = 0;
        for (const FaceBox& b : boxes)
            verified += VerifyEyes(grey.data(), r.width, r.height, b.x0, b.y0, b.x1, b.y1) == 1;
        benchmark::DoNotOptimize(verified);
    }
    Describe(state, r);
}

void BM_Segmentation(benchmark::State& state) {
    const Reduced& r = Sample(static_cast<int>(state.range(0)));
    const int rw = r.rect[1] - r.rect[0] + 1, rh = r.rect[3] - r.rect[2] + 1;
    const int minRegion = SubjectMinRegion(r.width, r.height);
    std::vector<PixelEdge> edges(static_cast<size_t>(2) * rw * rh);
    std::vector<RegionNode> nodes(static_cast<size_t>(rw) * rh);
    int32_t regions = 0;
    for (auto _ : state) {
        const int n = BuildEdgeGraph(r.bgr.data(), r.width, r.rect, edges.data());
        SortEdges(edges.data(), 0, n - 1);
        InitRegionNodes(r.bgr.data(), r.width, r.rect, nodes.data());
        regions = rw * rh;
        SegmentGraph(nodes.data(), &regions, edges.data(), n, kSubjectSegmentationK);
        MergeSmallRegions(nodes.data(), &regions, edges.data(), n, minRegion);
        benchmark::DoNotOptimize(regions);
    }
    state.counters["regions"] = regions;
    Describe(state, r);
}

void AllSamples(benchmark::internal::Benchmark* b) {
    for (int i = 0; i < kSampleCount; i++) b->Arg(i);
}

BENCHMARK(BM_FindSubjectMask)->Apply(AllSamples)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Detection)->Apply(AllSamples)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Segmentation)->Apply(AllSamples)->Unit(benchmark::kMillisecond);

// Writes every sample's reduced copy to DIR/<sample>.ppm (red, green, blue).
int DumpReduced(const std::string& dir) {
    for (int i = 0; i < kSampleCount; i++) {
        const Reduced& r = Sample(i);
        const std::string path = dir + "/" + kSamples[i] + ".ppm";
        FILE* f = std::fopen(path.c_str(), "wb");
        if (!f) {
            std::fprintf(stderr, "bench_subject: cannot write %s\n", path.c_str());
            return 1;
        }
        std::fprintf(f, "P6\n%d %d\n255\n", r.width, r.height);
        for (size_t p = 0; p < r.bgr.size(); p += 3) {
            const unsigned char rgb[3] = {r.bgr[p + 2], r.bgr[p + 1], r.bgr[p]};
            std::fwrite(rgb, 1, 3, f);
        }
        std::fclose(f);
        std::printf("%s %dx%d minRegion %d\n", path.c_str(), r.width, r.height, SubjectMinRegion(r.width, r.height));
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--dump-reduced") return DumpReduced(argv[2]);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
