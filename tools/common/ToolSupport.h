// What the command-line programs share: file names from the command line, the
// wide paths the picture readers and the JPEG writer take, and the subject mask
// written as a PNG.
#pragma once

#include <cstdint>
#include <string>

// The part of `path` after its last '/'.
const char* BaseName(const char* path);
// The file name of `path` without its folder and without its last extension.
std::string Stem(const char* path);

// `path` as the wide text the picture readers and the JPEG writer take. False,
// with `error` set, when the name is not valid UTF-8 (such a name cannot be
// opened through them).
bool WidePath(const char* path, std::wstring* wide, std::string* error);

// The reason given for a file the picture readers cannot read.
constexpr const char kUnreadablePicture[] =
    "not a readable JPEG or 24-bit BMP picture (the name must contain .jpg or .bmp)";

// A picture file named on the command line, checked before it is loaded.
struct PictureArgument {
    std::wstring path, name;    // as the picture readers take them
    int width = 0, height = 0;  // the upright size its header states
};

// Checks that `path` can be opened, that its name converts for the readers and
// that its header states a size within the readers' limits (100 megapixels),
// so a picture too large is refused before anything is decoded. False with
// `error` set to the reason otherwise.
bool CheckPictureArgument(const char* path, PictureArgument* picture, std::string* error);

// Writes `mask` (one byte a pixel, 1 = subject) as an 8-bit grey PNG with 255
// for the subject and 0 elsewhere. False with `error` set when the file cannot
// be written; no partial file is left then.
bool WriteMaskPng(const std::string& path, const uint8_t* mask, int width, int height, std::string* error);

// The mask file for `picture`: `out` itself for a single picture, else `out`
// with "-<picture name without extension>" before its extension.
std::string MaskPath(const std::string& out, const char* picture, bool several);
