// The trained stages as the runtime's constant tables, and the generated source
// files that hold them.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "subject/Cascades.h"
#include "tools/train_cascade/Boost.h"

namespace train {

// Candidate positions are numbered row by row over the window without its border:
// face index (y - 1) * 20 + (x - 1), eye index (y - 1) * 13 + (x - 1).
constexpr int kFaceGridWidth = FaceCascadeData::kWindowWidth - 2;
constexpr int kFaceGridHeight = FaceCascadeData::kWindowHeight - 2;
constexpr int kFacePositions = kFaceGridWidth * kFaceGridHeight;  // 440
constexpr int kEyeGrid = EyeCascadeData::kWindowSize - 2;
constexpr int kEyePositions = kEyeGrid * kEyeGrid;  // 169

// Fixed shape of the two cascades.
extern const int kFaceStageSize[FaceCascadeData::kStages];
extern const int kFaceThreshold[FaceCascadeData::kStages];
extern const int kFaceFirstX[FaceCascadeData::kStages];
extern const int kFaceFirstY[FaceCascadeData::kStages];
extern const int kFaceFeature0[16];
constexpr int kFaceMaxValue = 254;
extern const int kEyeStageSize[EyeCascadeData::kStages];
extern const int kEyeThreshold[EyeCascadeData::kStages];
extern const int kEyeFirstX[EyeCascadeData::kStages];
extern const int kEyeFirstY[EyeCascadeData::kStages];
extern const int kEyeFeature0[16];
constexpr int kEyeMaxValue = 980;

// The runtime tables for the stages trained so far; features of later stages are
// left at position (1, 1) with zero tables and must not be scanned.
std::unique_ptr<FaceCascadeData> ToFaceData(const std::vector<IntStage>& stages);
std::unique_ptr<EyeCascadeData> ToEyeData(const std::vector<IntStage>& stages);

// Checks a complete cascade against the fixed shape; returns an empty string when
// it conforms, else what is wrong.
std::string CheckFace(const FaceCascadeData& c);
std::string CheckEye(const EyeCascadeData& c);

// Writes the generated source file; false when it cannot be written.
bool WriteFaceSource(const std::string& path, const FaceCascadeData& c, const std::string& commandLine);
bool WriteEyeSource(const std::string& path, const EyeCascadeData& c, const std::string& commandLine);

}  // namespace train
