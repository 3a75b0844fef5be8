#include "tools/train_cascade/Dataset.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <map>
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

bool ReadWildPhotos(const std::string& manifestPath, std::vector<FaceRecord>* faces) {
    std::ifstream in(manifestPath);
    if (!in) return false;
    std::map<std::string, std::string> originals;  // file -> original path
    std::string line;
    std::getline(in, line);  // header
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        auto f = SplitTabs(line);
        if (f.size() >= 2) originals[f[0]] = f[1];
    }
    int named = 0;
    for (FaceRecord& face : *faces) {
        auto it = originals.find(face.file);
        if (it == originals.end()) continue;
        face.photo = OriginalPhoto(face.source, it->second);
        ++named;
    }
    return named > 0;
}

bool ReadAllFaces(const std::string& dataDir, std::vector<FaceRecord>* faces) {
    std::vector<FaceRecord> wild;
    if (!ReadFaces(dataDir + "/face_train/faces.tsv", faces)) return false;
    if (!ReadFaces(dataDir + "/face_train/faces_wild.tsv", &wild)) return false;
    if (!ReadWildPhotos(dataDir + "/face_train/faces_wild_manifest.tsv", &wild)) return false;
    for (FaceRecord& f : wild) {
        // A face the manifest does not name is split by its own file.
        if (f.photo.empty()) f.photo = f.file;
        faces->push_back(std::move(f));
    }
    return true;
}

std::string OriginalPhoto(const std::string& source, const std::string& originalPath) {
    if (source.rfind("300w", 0) != 0) return originalPath;
    size_t dot = originalPath.find_last_of('.');
    size_t underscore = originalPath.find_last_of('_');
    size_t slash = originalPath.find_last_of('/');
    if (dot == std::string::npos || underscore == std::string::npos || underscore > dot ||
        (slash != std::string::npos && underscore < slash))
        return originalPath;
    for (size_t i = underscore + 1; i < dot; ++i)
        if (!std::isdigit(static_cast<unsigned char>(originalPath[i]))) return originalPath;
    return originalPath.substr(0, underscore) + originalPath.substr(dot);
}

bool IsWildSource(const std::string& source) {
    return source == "mtfl_aflw" || source == "mtfl_cuhk_net" || source == "300w_afw" || source == "300w_helen";
}

std::string SplitKey(const FaceRecord& face) {
    if (!face.photo.empty()) return "photo:" + face.photo;
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
    return face.source == "lfw_tight_crops" || face.source == "utkface_aligned" || face.source == "rmfd_unmasked" ||
           face.source == "mtfl_aflw";
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
    if (source == "mtfl_aflw") return "mtflaflw";
    if (source == "mtfl_cuhk_net") return "mtflnet";
    if (source == "300w_afw") return "w300afw";
    if (source == "300w_helen") return "w300helen";
    return source;
}

}  // namespace train
