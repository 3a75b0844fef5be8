// The training data: annotated faces and non-face photos, and the fixed rule that
// splits both into a training part and a held-out part.
#pragma once

#include <string>
#include <vector>

namespace train {

struct FaceRecord {
    std::string file;                     // relative to face_train/
    std::string source;                   // lfw_deepfunneled_150, lfw_tight_crops, utkface_aligned, rmfd_unmasked,
                                          // mtfl_aflw, mtfl_cuhk_net, 300w_afw, 300w_helen
    double leftX, leftY, rightX, rightY;  // eye centres, image-left eye first
    std::string photo;                    // in-the-wild faces: the original photo the crop was cut from
};

// Reads face_train/faces.tsv (or faces_wild.tsv, same columns); false when the file
// cannot be read.
bool ReadFaces(const std::string& tsvPath, std::vector<FaceRecord>* faces);

// Sets the original photo of every in-the-wild face from faces_wild_manifest.tsv;
// false when the manifest cannot be read or names none of these faces' files.
bool ReadWildPhotos(const std::string& manifestPath, std::vector<FaceRecord>* faces);

// Both face lists of the data folder: faces.tsv, then faces_wild.tsv with the
// original photos from its manifest. False when any of the three cannot be read.
bool ReadAllFaces(const std::string& dataDir, std::vector<FaceRecord>* faces);

// The photo a crop was cut from, given the crop's original path: 300-W stores a
// copy of the photo for each face, named <photo>_<face>.jpg, so the face number
// is dropped; MTFL stores one picture per face, kept as it is.
std::string OriginalPhoto(const std::string& source, const std::string& originalPath);

// True for the sources added from everyday photos (faces_wild.tsv).
bool IsWildSource(const std::string& source);

// The key a face is split by: the person's name for the LFW folders (the file name
// without its _NNNN number, shared by both LFW folders), the original photo for the
// in-the-wild faces (so that all crops of one photo fall on the same side), else
// the file name.
std::string SplitKey(const FaceRecord& face);

// True for the held-out faces: about 10 % of the people (LFW), photos (in-the-wild
// faces) or files.
bool FaceHeldOut(const FaceRecord& face);

// True for the held-out non-face photos: about 20 % of each folder, by file name.
bool NonFaceHeldOut(const std::string& relativePath);

// Tight crops (lfwtight, utk, rmfd and mtflaflw, whose faces fill most of the
// picture) get a mirrored border before any copy is cut from them.
bool IsTightCrop(const FaceRecord& face);
int TightCropMargin(int width, int height);

// Reads nonface/manifest.tsv: the photo paths relative to nonface/.
bool ReadNonFaces(const std::string& manifestPath, std::vector<std::string>* files);

// Short name of a face source for reports.
std::string SourceName(const std::string& source);

}  // namespace train
