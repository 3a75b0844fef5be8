// lumetra-detect: runs the subject finder's face detector and eye verifier on
// picture files the way the application does, and prints one JSON line per file;
// on request it also writes the subject mask that Find would make.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <map>
#include <new>
#include <string>
#include <vector>

#include "imaging/ImageRecord.h"
#include "imaging/LoadPicture.h"
#include "imaging/PictureMetadata.h"
#include "imaging/PyramidLevel.h"
#include "imaging/ResizePicture.h"
#include "platform/win32.h"
#include "subject/EyeVerifier.h"
#include "subject/FaceDetector.h"
#include "subject/MakeGreyImage.h"
#include "subject/SubjectMask.h"
#include "tools/common/ToolSupport.h"

namespace {

const char kUsage[] =
    "Usage: lumetra-detect [--level N] [--mask OUT.png] FILE...\n"
    "\n"
    "Finds faces and confirms them by their eyes as Lumetra's Find does, and prints\n"
    "one JSON line per picture:\n"
    "  {\"file\": \"a.jpg\", \"width\": 640, \"height\": 480, \"orientation\": 1,\n"
    "   \"faces\": [{\"box\": [x0, y0, x1, y1],\n"
    "   \"verified\": true, \"eyes\": [[lx, ly], [rx, ry]]}]}\n"
    "\n"
    "Files are read as the application reads them: JPEG when the name contains\n"
    "\".jpg\", 24-bit BMP when it contains \".bmp\" (any case). A JPEG is turned\n"
    "upright by its EXIF orientation first, as the application does;\n"
    "\"orientation\" is the EXIF value that was applied (1 = stored upright).\n"
    "Pictures up to 100 megapixels are read; larger ones are refused from their\n"
    "header.\n"
    "\n"
    "\"width\" and \"height\" are the upright picture's own size. The\n"
    "loaded picture is padded on the right to a multiple of 4 to 64 columns, and\n"
    "faces are searched in that padded picture, so a box may reach into the\n"
    "padding past \"width\". Boxes (x1, y1 exclusive) and eye centres are in the\n"
    "upright picture's pixels: positions found in the reduced working copy times\n"
    "2^level.\n"
    "\"eyes\" is null for a face whose eyes were not both found.\n"
    "\n"
    "Options:\n"
    "  --level N   search a copy reduced 2^N times (0 to 4) instead of the level\n"
    "              the application picks from the longer side\n"
    "  --mask OUT.png\n"
    "              also find the subject as Find does and write its mask, the size\n"
    "              of the reduced working copy, as a grey PNG (255 = subject,\n"
    "              0 = background); with several files each gets its own file,\n"
    "              OUT-<file name without extension>.png. The JSON line then also\n"
    "              gives \"mask\" (the PNG written) and \"subject\", the result code\n"
    "              (0 found, 167 too narrow, 168 no one found, 160 no memory)\n"
    "  --help      show this text\n"
    "\n"
    "Exit status: 0 when every file was read, 1 when one could not be read (the\n"
    "others are still processed), 2 for a usage error.\n";

// JSON string text, with invalid UTF-8 bytes replaced by U+FFFD so the line
// stays valid JSON whatever the file name holds.
std::string JsonString(const std::string& text) {
    std::string out = "\"";
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const size_t n = text.size();
    for (size_t i = 0; i < n;) {
        const unsigned char c = s[i];
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
            i++;
        } else if (c < 0x20 || c == 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
            i++;
        } else if (c < 0x80) {
            out += static_cast<char>(c);
            i++;
        } else {
            // Length of a well-formed sequence starting here, or 0.
            size_t len = 0;
            uint32_t cp = 0;
            if (c >= 0xC2 && c <= 0xDF) {
                len = 2;
                cp = c & 0x1F;
            } else if (c >= 0xE0 && c <= 0xEF) {
                len = 3;
                cp = c & 0x0F;
            } else if (c >= 0xF0 && c <= 0xF4) {
                len = 4;
                cp = c & 0x07;
            }
            if (len && i + len <= n) {
                for (size_t k = 1; k < len; k++) {
                    if ((s[i + k] & 0xC0) != 0x80) {
                        len = 0;
                        break;
                    }
                    cp = (cp << 6) | (s[i + k] & 0x3F);
                }
            } else {
                len = 0;
            }
            // Overlong forms, surrogates and code points past U+10FFFF are not UTF-8.
            const uint32_t least[5] = {0, 0, 0x80, 0x800, 0x10000};
            if (len && (cp < least[len] || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF)) len = 0;
            if (len) {
                out.append(text, i, len);
                i += len;
            } else {
                out += "\\ufffd";
                i++;
            }
        }
    }
    return out + "\"";
}

// The reduced working copy the faces were searched in, and the eye pairs of
// its verified faces in its own pixels, in the order they were verified.
struct Reduced {
    int width = 0, height = 0;
    std::vector<uint8_t> pixels;
    std::vector<EyePoint> leftEyes, rightEyes;
};

struct FoundFace {
    FaceBox box;
    bool verified;
    EyePoint leftEye;
    EyePoint rightEye;
};

// Loads one file and finds its faces. Returns false with `error` set when the
// file cannot be read or there is no memory for the working copies.
bool FindFaces(const char* path, int levelOverride, int* width, int* height, int* orientation,
               std::vector<FoundFace>* faces, Reduced* reducedOut, std::string* error) {
    PictureArgument picture;
    if (!CheckPictureArgument(path, &picture, error)) return false;
    ImageRecord record{};
    if (LoadPicture(picture.path.c_str(), picture.name.c_str(), &record) != LOAD_OK) {
        *error = kUnreadablePicture;
        return false;
    }

    // The header's size when it matches what was loaded, else the loaded size.
    *width = record.width;
    *height = record.height;
    *orientation = record.metadata ? record.metadata->orientation : 1;
    if (picture.height == record.height && PaddedWidth(picture.width) == record.width) *width = picture.width;

    const int level = levelOverride >= 0 ? levelOverride : PyramidLevel(std::max(record.width, record.height));
    const int rw = record.width >> level;
    const int rh = record.height >> level;
    if (rw < 1 || rh < 1) {
        ClearImageRecord(&record);
        return true;  // nothing left to search at this level
    }
    const size_t pixels = static_cast<size_t>(rw) * rh;
    std::vector<uint8_t> reduced;
    std::vector<uint8_t> grey;
    try {
        reduced.resize(pixels * 3);
        grey.resize(pixels);
    } catch (const std::bad_alloc&) {
        ClearImageRecord(&record);
        *error = "not enough memory for the working copy";
        return false;
    }
    ResizePicture(record.pixels, record.width, record.height, reduced.data(), rw, rh, 1);
    ClearImageRecord(&record);
    MakeGreyImage(reduced.data(), grey.data(), rw, rh);

    const int count = DetectFaces(grey.data(), rw, rh);
    if (count < 0) {
        *error = "not enough memory for the face scan";
        return false;
    }
    // VerifyEyes does not touch the face list, but copy it out first as the
    // application does.
    const std::vector<FaceBox> boxes(FaceBoxes(), FaceBoxes() + count);
    for (const FaceBox& b : boxes) {
        FoundFace face{};
        face.box = FaceBox{b.x0 << level, b.y0 << level, b.x1 << level, b.y1 << level};
        const int verified = VerifyEyes(grey.data(), rw, rh, b.x0, b.y0, b.x1, b.y1);
        if (verified < 0) {
            *error = "not enough memory for the eye check";
            return false;
        }
        face.verified = verified == 1;
        if (face.verified) {
            GetEyeCentres(&face.leftEye, &face.rightEye);
            reducedOut->leftEyes.push_back(face.leftEye);
            reducedOut->rightEyes.push_back(face.rightEye);
            face.leftEye = EyePoint{face.leftEye.x << level, face.leftEye.y << level};
            face.rightEye = EyePoint{face.rightEye.x << level, face.rightEye.y << level};
        }
        faces->push_back(face);
    }
    reducedOut->width = rw;
    reducedOut->height = rh;
    reducedOut->pixels = std::move(reduced);
    return true;
}

std::string JsonLine(const char* path, int width, int height, int orientation, const std::vector<FoundFace>& faces,
                     const std::string& maskPath, int subjectCode) {
    std::string line = "{\"file\": " + JsonString(path) + ", \"width\": " + std::to_string(width) +
                       ", \"height\": " + std::to_string(height) + ", \"orientation\": " + std::to_string(orientation) +
                       ", \"faces\": [";
    for (size_t i = 0; i < faces.size(); i++) {
        const FoundFace& f = faces[i];
        if (i) line += ", ";
        line += "{\"box\": [" + std::to_string(f.box.x0) + ", " + std::to_string(f.box.y0) + ", " +
                std::to_string(f.box.x1) + ", " + std::to_string(f.box.y1) + "], \"verified\": ";
        if (f.verified) {
            line += "true, \"eyes\": [[" + std::to_string(f.leftEye.x) + ", " + std::to_string(f.leftEye.y) + "], [" +
                    std::to_string(f.rightEye.x) + ", " + std::to_string(f.rightEye.y) + "]]}";
        } else {
            line += "false, \"eyes\": null}";
        }
    }
    line += "]";
    if (!maskPath.empty())
        line += ", \"mask\": " + JsonString(maskPath) + ", \"subject\": " + std::to_string(subjectCode);
    return line + "}";
}

bool ParseLevel(const char* text, int* level) {
    if (!text || text[0] < '0' || text[0] > '4' || text[1] != '\0') return false;
    *level = text[0] - '0';
    return true;
}

int UsageError(const std::string& message) {
    std::fprintf(stderr, "lumetra-detect: %s\nTry 'lumetra-detect --help'.\n", message.c_str());
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    int levelOverride = -1;
    std::string maskOut;
    std::vector<const char*> files;
    bool optionsEnded = false;
    for (int i = 1; i < argc; i++) {
        const char* arg = argv[i];
        if (optionsEnded || arg[0] != '-' || arg[1] == '\0') {
            files.push_back(arg);
        } else if (std::strcmp(arg, "--") == 0) {
            optionsEnded = true;
        } else if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (std::strcmp(arg, "--level") == 0) {
            if (i + 1 >= argc || !ParseLevel(argv[i + 1], &levelOverride)) {
                return UsageError("--level needs a number from 0 to 4");
            }
            i++;
        } else if (std::strcmp(arg, "--mask") == 0) {
            if (i + 1 >= argc || argv[i + 1][0] == '\0') return UsageError("--mask needs an output file name");
            maskOut = argv[++i];
        } else if (std::strncmp(arg, "--mask=", 7) == 0) {
            maskOut = arg + 7;
            if (maskOut.empty()) return UsageError("--mask needs an output file name");
        } else if (std::strncmp(arg, "--level=", 8) == 0) {
            if (!ParseLevel(arg + 8, &levelOverride)) return UsageError("--level needs a number from 0 to 4");
        } else {
            return UsageError(std::string("unknown option '") + arg + "'");
        }
    }
    if (files.empty()) return UsageError("no picture files given");
    if (!maskOut.empty()) {
        // Pictures of the same name in other folders or types would write one mask.
        std::map<std::string, const char*> written;
        for (const char* path : files) {
            auto [at, added] = written.emplace(MaskPath(maskOut, path, files.size() > 1), path);
            if (!added) {
                return UsageError(std::string("'") + at->second + "' and '" + path + "' would both write the mask " +
                                  at->first + "; run them separately");
            }
        }
    }

    int status = 0;
    for (const char* path : files) {
        int width = 0, height = 0, orientation = 1;
        std::vector<FoundFace> faces;
        Reduced reduced;
        std::string error;
        if (!FindFaces(path, levelOverride, &width, &height, &orientation, &faces, &reduced, &error)) {
            std::fprintf(stderr, "lumetra-detect: %s: %s\n", path, error.c_str());
            status = 1;
            continue;
        }
        std::string maskPath;
        int subjectCode = 0;
        if (!maskOut.empty()) {
            if (reduced.width < 1 || reduced.height < 1) {
                std::fprintf(stderr, "lumetra-detect: %s: no pixels left at this level for a mask\n", path);
                status = 1;
                continue;
            }
            maskPath = MaskPath(maskOut, path, files.size() > 1);
            std::vector<uint8_t> mask(static_cast<size_t>(reduced.width) * reduced.height);
            int32_t rect[4];
            // The faces are those found above: the search goes on from their eyes.
            subjectCode = FindSubjectMaskForEyes(reduced.pixels.data(), mask.data(), reduced.width, reduced.height,
                                                 rect, reduced.leftEyes.data(), reduced.rightEyes.data(),
                                                 static_cast<int>(reduced.leftEyes.size()));
            FreeRegionLabelMap();
            if (!WriteMaskPng(maskPath, mask.data(), reduced.width, reduced.height, &error)) {
                std::fprintf(stderr, "lumetra-detect: %s: %s\n", path, error.c_str());
                status = 1;
                continue;
            }
        }
        std::printf("%s\n", JsonLine(path, width, height, orientation, faces, maskPath, subjectCode).c_str());
        std::fflush(stdout);
    }
    return status;
}
