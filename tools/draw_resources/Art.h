// The Lumetra resource art: every bitmap, PNG image and the icon, drawn in code.
#pragma once

#include <string>
#include <vector>

#include "Canvas.h"

namespace art {

struct Resource {
    int id;
    std::string name;  // file name: "<id>_<name>.bmp" or ".png"
    bool bmp;          // 24-bit BMP (opaque) rather than RGBA PNG
    Image image;
    std::string FileName() const { return std::to_string(id) + "_" + name + (bmp ? ".bmp" : ".png"); }
};

// Draws all resources in a fixed order.
std::vector<Resource> DrawAll();

// Pieces shared with the contact sheet.
Color DialogBackground();  // the Save As dialog's background, RGB(0x50, 0x4F, 0x4B)
// A backdrop that stands in for a photo behind overlays.
Image PhotoBackdrop(int w, int h);

}  // namespace art
