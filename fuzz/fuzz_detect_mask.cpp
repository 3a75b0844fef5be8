// Fuzzes the subject search that Find and `lumetra-detect --mask` run: face
// detection, eye verification, segmentation, the face-aware merges, the
// silhouette and the hole filling, on a small working image built from the
// input.
//
// Input layout:
//   byte 0   width  = 8 + byte % 153 (8 to 160 pixels, so a run stays fast)
//   byte 1   height = 8 + byte % 153
//   byte 2   below kFailureChoices: the working allocations fail after that many
//            have succeeded, so the out-of-memory paths are searched too;
//            anything else: no failure
//   the rest the pixels, blue, green, red, row by row, repeated as often as needed
//            (all 0 when there are none)
//
// The result must keep what SubjectMask.h promises whatever the pixels are; a
// broken promise stops the program so the fuzzer keeps the input.
#include <cstdint>
#include <cstring>
#include <vector>

#include "subject/SubjectMask.h"
#include "subject/WorkMemory.h"

namespace {

constexpr int kMinSide = 8;
constexpr int kSideChoices = 153;  // sides 8 to 160
constexpr int kFailureChoices = 40;

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

bool AllZero(const std::vector<uint8_t>& mask) {
    for (uint8_t m : mask)
        if (m != 0) return false;
    return true;
}

// The label map over RegionRect: every pixel's label is the index of a pixel of
// the rectangle (labels are exact while the rectangle has at most 65536 pixels,
// always the case here), and that pixel, its region's root, carries its own
// index as label.
void CheckLabelMap(int width, int height) {
    Check(RegionLabelMap != nullptr);
    const int32_t left = RegionRect[0], right = RegionRect[1], top = RegionRect[2], bottom = RegionRect[3];
    Check(0 <= left && left <= right && right < width && 0 <= top && top <= bottom && bottom < height);
    const int64_t pixels = static_cast<int64_t>(right - left + 1) * (bottom - top + 1);
    Check(pixels <= 65536);
    for (int64_t i = 0; i < pixels; i++) {
        const uint16_t label = RegionLabelMap[i];
        Check(label < pixels);
        Check(RegionLabelMap[label] == label);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    const int width = kMinSide + data[0] % kSideChoices;
    const int height = kMinSide + data[1] % kSideChoices;
    const int failAfter = data[2] < kFailureChoices ? data[2] : -1;
    const uint8_t* bytes = data + 3;
    const size_t count = size - 3;

    const size_t pixels = static_cast<size_t>(width) * static_cast<size_t>(height);
    std::vector<uint8_t> image(3 * pixels, 0);
    if (count > 0) {
        for (size_t i = 0; i < image.size(); i++) image[i] = bytes[i % count];
    }
    // Stale values the search must clear or overwrite.
    std::vector<uint8_t> mask(pixels, 0xAA);
    int32_t rect[4] = {-7, -7, -7, -7};
    int32_t previousRegionRect[4];
    std::memcpy(previousRegionRect, RegionRect, sizeof RegionRect);

    FailWorkAllocationsAfter(failAfter);
    const int code = FindSubjectMask(image.data(), mask.data(), width, height, rect);
    FailWorkAllocationsAfter(-1);

    for (uint8_t m : mask) Check(m == 0 || m == 1);
    switch (code) {
        case SUBJECT_OK: {
            // The subject lies within its rectangle, which lies within the
            // picture, is wider than the narrowest segmentable strip and is what
            // the label map covers.
            Check(0 <= rect[0] && rect[0] + 5 <= rect[1] && rect[1] < width);
            Check(0 <= rect[2] && rect[2] <= rect[3] && rect[3] < height);
            Check(std::memcmp(rect, RegionRect, sizeof rect) == 0);
            for (int y = 0; y < height; y++)
                for (int x = 0; x < width; x++) {
                    const bool inside = rect[0] <= x && x <= rect[1] && rect[2] <= y && y <= rect[3];
                    if (!inside) Check(mask[static_cast<size_t>(y) * width + x] == 0);
                }
            CheckLabelMap(width, height);
            break;
        }
        case SUBJECT_NO_MEMORY:
            Check(failAfter >= 0);  // nothing else runs out of memory at these sizes
            Check(AllZero(mask));
            Check(RegionLabelMap == nullptr);
            break;
        case SUBJECT_TOO_NARROW:
            Check(AllZero(mask));
            Check(RegionLabelMap == nullptr);
            Check(std::memcmp(RegionRect, previousRegionRect, sizeof RegionRect) == 0);
            break;
        case SUBJECT_NO_FACE: {
            Check(AllZero(mask));
            const int32_t whole[4] = {0, width - 1, 0, height - 1};
            Check(std::memcmp(rect, whole, sizeof rect) == 0);
            Check(std::memcmp(RegionRect, whole, sizeof RegionRect) == 0);
            CheckLabelMap(width, height);
            break;
        }
        default:
            Check(false);  // not a documented result
    }

    FreeRegionLabelMap();
    Check(RegionLabelMap == nullptr);
    return 0;
}
