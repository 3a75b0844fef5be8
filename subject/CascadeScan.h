// The window scan both cascades share: every window of a census copy is run
// through the first `stages` stages of a cascade; a stage adds its features'
// table values at the window and rejects it when the sum exceeds the stage's
// threshold. Windows that pass every stage run are reported with the last sum.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>

template <class Cascade>
void ScanCascadeWindows(const Cascade& cascade, int stages, int windowWidth, int windowHeight, int rowStep,
                        int dstWidth, int dstHeight, const uint16_t* codes,
                        const std::function<void(int x, int y, int score)>& hit) {
    if (!codes || dstWidth < windowWidth + 1 || dstHeight < windowHeight + 1) return;
    // With no stages every window passes with a sum of 0.
    stages = std::clamp(stages, 0, Cascade::kStages);

    // Features are numbered consecutively across the stages.
    int stageEnd[Cascade::kStages];
    int used = 0;
    for (int s = 0; s < stages; s++) {
        used += std::clamp<int>(cascade.stageSize[s], 0, Cascade::kFeatures - used);
        stageEnd[s] = used;
    }

    // Offsets from the window origin, once per copy. Positions are kept inside the
    // window so that a malformed table cannot read outside the copy.
    int32_t offsets[Cascade::kFeatures];
    for (int k = 0; k < used; k++) {
        const int fx = std::min<int>(cascade.x[k], windowWidth - 1);
        const int fy = std::min<int>(cascade.y[k], windowHeight - 1);
        offsets[k] = fx + fy * dstWidth;
    }

    // The last row and column of the copy are never covered by a window.
    for (int y = 0; y <= dstHeight - (windowHeight + 1); y += rowStep) {
        for (int x = 0; x <= dstWidth - (windowWidth + 1); x++) {
            const uint16_t* origin = codes + static_cast<size_t>(y) * dstWidth + x;
            int64_t sum = 0;
            bool passed = true;
            int k = 0;
            for (int s = 0; s < stages; s++) {
                sum = 0;
                for (; k < stageEnd[s]; k++) sum += cascade.table[k][origin[offsets[k]]];
                if (sum > cascade.stageThreshold[s]) {
                    passed = false;
                    break;
                }
            }
            if (passed) hit(x, y, static_cast<int>(sum));
        }
    }
}
