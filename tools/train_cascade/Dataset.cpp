#include "tools/train_cascade/Dataset.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>

#include "tools/train_cascade/Common.h"

namespace train {

namespace {

std::vector<std::string> SplitTabs(const std::string& line) {
    std::vector<std::string> fields;
    std::stringstream stream(line);
    std::string field;
    while (std::getline(stream, field, '\t')) fields.push_back(field);
    return fields;
}

bool IsLfw(const FaceRecord& face) {
    return face.source.rfind("lfw", 0) == 0;
}

}  // namespace

bool ReadFaces(const std::string& tsvPath, std::vector<FaceRecord>* faces) {
    std::ifstream in(tsvPath);
    if (!in) return false;
    std::string line;
    std::getline(in, line);  // header
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        auto f = SplitTabs(line);
        if (f.size() < 6) continue;
        FaceRecord r;
        r.file = f[0];
        r.leftX = std::stod(f[1]);
        r.leftY = std::stod(f[2]);
        r.rightX = std::stod(f[3]);
        r.rightY = std::stod(f[4]);
        r.source = f[5];
        faces->push_back(r);
    }
    return true;
}

std::string SplitKey(const FaceRecord& face) {
    std::string name = BaseName(face.file);
    if (!IsLfw(face)) return name;
    size_t underscore = name.find_last_of('_');
    if (underscore == std::string::npos) return name;
    return "lfw:" + name.substr(0, underscore);
}

bool FaceHeldOut(const FaceRecord& face) {
    return Fnv1a(SplitKey(face)) % 100 < 10;
}

bool NonFaceHeldOut(const std::string& relativePath) {
    // Every folder keeps its own numbering so each folder gives about a fifth.
    return Fnv1a(BaseName(relativePath)) % 5 == 0;
}

bool IsTightCrop(const FaceRecord& face) {
    return face.source != "lfw_deepfunneled_150";
}

int TightCropMargin(int width, int height) {
    return (std::max(width, height) * 3 + 5) / 10;
}

bool ReadNonFaces(const std::string& manifestPath, std::vector<std::string>* files) {
    std::ifstream in(manifestPath);
    if (!in) return false;
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        auto f = SplitTabs(line);
        if (!f.empty() && !f[0].empty()) files->push_back(f[0]);
    }
    return true;
}

std::string SourceName(const std::string& source) {
    if (source == "lfw_deepfunneled_150") return "lfw150";
    if (source == "lfw_tight_crops") return "lfwtight";
    if (source == "utkface_aligned") return "utk";
    if (source == "rmfd_unmasked") return "rmfd";
    return source;
}

}  // namespace train
