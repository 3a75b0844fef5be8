// Confirming a face box by one eye in each upper quarter: the eye cascade run on
// the left quarter and on the mirrored right quarter at five scales.
#pragma once

#include <cstdint>
#include <functional>

#include "subject/Cascades.h"

struct EyePoint {
    int32_t x, y;
};

// 1 when both eyes are found in the box (x1, y1 exclusive), else 0; -1 when its
// working copies cannot be allocated.
int VerifyEyes(const uint8_t* grey, int width, int height, int x0, int y0, int x1, int y1);
// The two eye centres, in picture pixels, of the last accepted box.
void GetEyeCentres(EyePoint* leftEye, EyePoint* rightEye);

int CropGrey(const uint8_t* grey, int width, int height, uint8_t* dst, int xa, int ya, int xb, int yb);
void MirrorRows(const uint8_t* src, int rowLength, int rows, uint8_t* dst);
void ResampleBilinear(const uint8_t* src, int srcWidth, int srcHeight, uint8_t* dst, int dstWidth, int dstHeight);
// Census codes in eye bit order (clockwise from the top-left, centre last).
void EyeCensus(const uint8_t* img, int w, int h, uint16_t* codes);
void ScanEyeWindows(int dstWidth, int dstHeight, int quarterWidth, const uint16_t* codes, int side);
void AddEyeHit(int side, int x, int y, int size, int score);

// The window scan behind ScanEyeWindows for any cascade and number of stages.
void ScanEyeWindowsWith(const EyeCascadeData& cascade, int stages, int dstWidth, int dstHeight, const uint16_t* codes,
                        const std::function<void(int x, int y, int score)>& hit);
// Widths and heights of the scaled quarter copies for a quarter of the given size
// (35, 32, 29, 26, 23 wide while the height stays above 22); returns their count.
int EyeQuarterScales(int quarterWidth, int quarterHeight, int widths[5], int heights[5]);

// VerifyEyes with any cascade and number of its first stages; VerifyEyes is this
// with EyeCascade and all three stages.
int VerifyEyesWith(const EyeCascadeData& cascade, int stages, const uint8_t* grey, int width, int height, int x0,
                   int y0, int x1, int y1);
// Where VerifyEyes splits the box x0..x1, y0..y1 (exclusive ends) into quarters:
// the first column of the right quarters and the first row below the upper ones.
void EyeQuarterSplit(int x0, int y0, int x1, int y1, int* xm, int* ym);
// The steps of VerifyEyes around the scans, for callers that feed AddEyeHit
// themselves: ClearEyeClusters empties both sides' tables; ChooseEyes picks each
// side's eye for the face box x0..x1, y0..y1 and returns 1 when both have at
// least 3 hits (GetEyeCentres then gives them), else 0.
void ClearEyeClusters();
int ChooseEyes(int x0, int y0, int x1, int y1);
