// The two trained cascades of the subject finder: boosted lookup-table
// classifiers over census codes. A feature is one position in the window with a
// table of 511 values, one per census code; a stage adds the values of its
// features at a window and rejects the window when the sum exceeds the stage's
// threshold. The tables are written by tools/train_cascade.
#pragma once

#include <cstdint>

struct FaceCascadeData {
    static constexpr int kWindowWidth = 22;
    static constexpr int kWindowHeight = 24;
    static constexpr int kFeatures = 684;
    static constexpr int kStages = 4;
    static constexpr int kCodes = 511;
    uint8_t x[kFeatures];              // 1..20
    uint8_t y[kFeatures];              // 1..22
    uint8_t table[kFeatures][kCodes];  // 0..254
    int32_t stageSize[kStages];        // 24, 50, 170, 440
    int32_t stageThreshold[kStages];   // 1609, 1942, 2904, 7122
};

struct EyeCascadeData {
    static constexpr int kWindowSize = 15;
    static constexpr int kFeatures = 158;
    static constexpr int kStages = 3;
    static constexpr int kCodes = 511;
    uint16_t x[kFeatures];              // 1..13
    uint16_t y[kFeatures];              // 1..13
    uint32_t table[kFeatures][kCodes];  // 0..980
    int32_t stageSize[kStages];         // 22, 36, 100
    int32_t stageThreshold[kStages];    // 7270, 10956, 17510
};

extern const FaceCascadeData FaceCascade;
extern const EyeCascadeData EyeCascade;
