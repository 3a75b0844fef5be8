// The training data: annotated faces and non-face photos, and the fixed rule that
// splits both into a training part and a held-out part.
#pragma once

#include <string>
#include <vector>

namespace train {

struct FaceRecord {
    std::string file;                     // relative to face_train/
    std::string source;                   // lfw_deepfunneled_150, lfw_tight_crops, utkface_aligned, rmfd_unmasked
    double leftX, leftY, rightX, rightY;  // eye centres, image-left eye first
};

// Reads face_train/faces.tsv; false when the file cannot be read.
bool ReadFaces(const std::string& tsvPath, std::vector<FaceRecord>* faces);

// The key a face is split by: the person's name for the LFW folders (the file name
// without its _NNNN number, shared by both LFW folders), else the file name.
std::string SplitKey(const FaceRecord& face);

// True for the held-out faces: about 10 % of the people (LFW) or files.
bool FaceHeldOut(const FaceRecord& face);

// True for the held-out non-face photos: about 20 % of each folder, by file name.
bool NonFaceHeldOut(const std::string& relativePath);

// Tight crops get a mirrored border before any copy is cut from them.
bool IsTightCrop(const FaceRecord& face);
int TightCropMargin(int width, int height);

// Reads nonface/manifest.tsv: the photo paths relative to nonface/.
bool ReadNonFaces(const std::string& manifestPath, std::vector<std::string>* files);

// Short name of a face source for reports.
std::string SourceName(const std::string& source);

}  // namespace train
