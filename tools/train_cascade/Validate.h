// Measuring the built-in cascades on the held-out data through the app's own
// pipeline: working image, pyramid level copy, grey copy, DetectFaces, VerifyEyes,
// GetEyeCentres.
#pragma once

#include <string>

namespace train {

struct ValidateOptions {
    std::string dataDir;
    std::string samplesDir;      // empty: skip the sample photos
    int maxFaces = 0;            // 0: every held-out face
    double eyeTolerance = 0.35;  // of the true eye distance
};

// Prints (and logs) the detection rate per source, false positives per 100
// held-out non-face photos and the faces found on the sample photos.
void Validate(const ValidateOptions& options);

// True when both found eye centres lie within `tolerance` x the true eye distance
// of the true centres (all in the same picture's pixels).
bool EyesMatch(double foundLeftX, double foundLeftY, double foundRightX, double foundRightY, double leftX, double leftY,
               double rightX, double rightY, double tolerance);

}  // namespace train
