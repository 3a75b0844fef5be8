// What a photo carries besides its pixels, kept from the file it was opened
// from so that saving the edited picture does not lose it.
#pragma once

#include <cstdint>
#include <vector>

struct PictureMetadata {
    // The EXIF orientation (1 to 8) the loader turned the pixels upright from;
    // the loaded pixels are upright whatever it says.
    int orientation = 1;
    // The EXIF block as read: the APP1 payload after "Exif\0\0", starting with
    // its TIFF header. Empty when the file had none or its block was damaged
    // (such a block is not carried over).
    std::vector<uint8_t> exif;
    // The APP2 "ICC_PROFILE\0" marker payloads in file order, verbatim.
    std::vector<std::vector<uint8_t>> icc;
    // The APP1 XMP marker payloads (the main packet and any extended parts) in
    // file order, verbatim, namespace header included.
    std::vector<std::vector<uint8_t>> xmp;
};
