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

// The application icon for desktops that list installed programs
// (resources/desktop/lumetra-<size>.png): the design of the program's own icon,
// drawn at each of these sizes.
std::vector<int> DesktopIconSizes();
Image DesktopIcon(int size);

// Pieces shared with the contact sheet.
Color DialogBackground();  // the Save As dialog's background, RGB(0x50, 0x4F, 0x4B)
// A backdrop that stands in for a photo behind overlays.
Image PhotoBackdrop(int w, int h);

}  // namespace art
