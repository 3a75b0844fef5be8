#include "tools/train_cascade/Validate.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <vector>

#include "imaging/ImageRecord.h"
#include "imaging/LoadPicture.h"
#include "imaging/PyramidLevel.h"
#include "imaging/ResizePicture.h"
#include "platform/win32.h"
#include "subject/EyeVerifier.h"
#include "subject/FaceDetector.h"
#include "subject/MakeGreyImage.h"
#include "tools/train_cascade/Common.h"
#include "tools/train_cascade/Dataset.h"
#include "tools/train_cascade/EyeTraining.h"

namespace train {

namespace {

struct Found {
    EyePoint left, right;
    FaceBox box;
};

struct Outcome {
    std::vector<FaceBox> boxList;
    std::vector<Found> faces;
    int level = 0;
};

// What the app does after opening a picture: the reduced copy at the picture's
// pyramid level, its grey copy, face boxes, and the boxes whose eyes are found.
Outcome RunPipeline(const uint8_t* bgr, int width, int height) {
    Outcome out;
    out.level = PyramidLevel(std::max(width, height));
    int w = width >> out.level, h = height >> out.level;
    std::vector<uint8_t> reduced(static_cast<size_t>(w) * h * 3), grey(static_cast<size_t>(w) * h);
    ResizePicture(bgr, width, height, reduced.data(), w, h, 1);
    MakeGreyImage(reduced.data(), grey.data(), w, h);
    const int found = std::max(0, DetectFaces(grey.data(), w, h));
    out.boxList.assign(FaceBoxes(), FaceBoxes() + found);
    for (const FaceBox& b : out.boxList) {
        if (VerifyEyes(grey.data(), w, h, b.x0, b.y0, b.x1, b.y1) != 1) continue;
        Found f;
        f.box = b;
        GetEyeCentres(&f.left, &f.right);
        out.faces.push_back(f);
    }
    return out;
}

bool LoadRecord(const std::string& path, ImageRecord* record) {
    std::vector<wchar_t> wide(path.size() + 1);
    int n = MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide.data(), static_cast<int>(wide.size()));
    if (n <= 0) return false;
    std::string name = BaseName(path);
    std::vector<wchar_t> wideName(name.size() + 1);
    MultiByteToWideChar(CP_ACP, 0, name.c_str(), -1, wideName.data(), static_cast<int>(wideName.size()));
    memset(record, 0, sizeof *record);
    return LoadPicture(wide.data(), wideName.data(), record) == 1;
}

Outcome RunFile(const std::string& path, bool* ok) {
    ImageRecord record;
    *ok = LoadRecord(path, &record);
    if (!*ok) return Outcome{};
    Outcome out = RunPipeline(record.pixels, record.width, record.height);
    ClearImageRecord(&record);
    return out;
}

}  // namespace

bool EyesMatch(double foundLeftX, double foundLeftY, double foundRightX, double foundRightY, double leftX, double leftY,
               double rightX, double rightY, double tolerance) {
    double limit = tolerance * std::hypot(rightX - leftX, rightY - leftY);
    return std::hypot(foundLeftX - leftX, foundLeftY - leftY) <= limit &&
           std::hypot(foundRightX - rightX, foundRightY - rightY) <= limit;
}

void Validate(const ValidateOptions& options) {
    std::vector<FaceRecord> faces;
    if (!ReadAllFaces(options.dataDir, &faces)) {
        Log("cannot read the face list");
        return;
    }
    std::vector<FaceRecord> held;
    for (const FaceRecord& f : faces)
        if (FaceHeldOut(f)) held.push_back(f);
    if (options.maxFaces > 0 && static_cast<int>(held.size()) > options.maxFaces) {
        std::vector<FaceRecord> fewer;
        for (size_t i = 0; i < held.size(); i += held.size() / options.maxFaces + 1) fewer.push_back(held[i]);
        held = fewer;
    }
    struct Tally {
        int faces = 0, found = 0, boxes = 0, verified = 0;
        int boxed = 0;      // a face box holds the true eye midpoint
        int confirmed = 0;  // a verified box holds it (its eyes may still be off)
    };
    std::map<std::string, Tally> bySource;
    Tally total, earlier, wild;
    for (const FaceRecord& f : held) {
        Outcome out;
        double shift = 0;
        if (IsTightCrop(f)) {
            // Tight crops get the same mirrored border as in training, then go through
            // the app's steps as a working image of equal B, G and R.
            Grey grey;
            if (!LoadGreyJpeg(options.dataDir + "/face_train/" + f.file, &grey)) continue;
            int margin = TightCropMargin(grey.width, grey.height);
            Grey padded = MirrorPad(grey, margin);
            std::vector<uint8_t> bgr(padded.pixels.size() * 3);
            for (size_t i = 0; i < padded.pixels.size(); ++i)
                bgr[3 * i] = bgr[3 * i + 1] = bgr[3 * i + 2] = padded.pixels[i];
            out = RunPipeline(bgr.data(), padded.width, padded.height);
            shift = margin;
        } else {
            bool ok;
            out = RunFile(options.dataDir + "/face_train/" + f.file, &ok);
            if (!ok) continue;
        }
        // Annotations in the reduced copy's continuous pixels; found centres are
        // integer pixels, taken at the pixel's middle.
        double k = 1.0 / (1 << out.level);
        bool hit = false;
        for (const Found& found : out.faces)
            hit = hit || EyesMatch(found.left.x + 0.5, found.left.y + 0.5, found.right.x + 0.5, found.right.y + 0.5,
                                   (f.leftX + shift) * k, (f.leftY + shift) * k, (f.rightX + shift) * k,
                                   (f.rightY + shift) * k, options.eyeTolerance);
        double midX = 0.5 * (f.leftX + f.rightX + 2 * shift) * k, midY = 0.5 * (f.leftY + f.rightY + 2 * shift) * k;
        bool boxed = false;
        auto holds = [&](const FaceBox& b) { return midX >= b.x0 && midX < b.x1 && midY >= b.y0 && midY < b.y1; };
        for (const FaceBox& b : out.boxList) boxed = boxed || holds(b);
        bool confirmed = false;
        for (const Found& found : out.faces) confirmed = confirmed || holds(found.box);
        for (Tally* t : {&bySource[SourceName(f.source)], IsWildSource(f.source) ? &wild : &earlier, &total}) {
            t->faces += 1;
            t->boxed += boxed ? 1 : 0;
            t->confirmed += confirmed ? 1 : 0;
            t->found += hit ? 1 : 0;
            t->boxes += static_cast<int>(out.boxList.size());
            t->verified += static_cast<int>(out.faces.size());
        }
    }
    for (const auto& [source, t] : bySource)
        Log("validate %-9s %5d faces, detected %5d (%.1f %%); a box on the face %.1f %%, verified %.1f %%; %.2f "
            "boxes and %.2f verified per picture",
            source.c_str(), t.faces, t.found, 100.0 * t.found / std::max(1, t.faces),
            100.0 * t.boxed / std::max(1, t.faces), 100.0 * t.confirmed / std::max(1, t.faces),
            double(t.boxes) / std::max(1, t.faces), double(t.verified) / std::max(1, t.faces));
    for (const auto& [name, t] :
         {std::pair<const char*, const Tally&>{"earlier", earlier}, {"wild", wild}, {"all", total}})
        Log("validate %-9s %5d faces, detected %5d (%.1f %%); a box on the face %.1f %%, verified %.1f %%", name,
            t.faces, t.found, 100.0 * t.found / std::max(1, t.faces), 100.0 * t.boxed / std::max(1, t.faces),
            100.0 * t.confirmed / std::max(1, t.faces));

    std::vector<std::string> nonFaces;
    ReadNonFaces(options.dataDir + "/nonface/manifest.tsv", &nonFaces);
    int photos = 0, boxes = 0, verified = 0;
    std::map<std::string, std::pair<int, int>> byFolder;  // photos, verified boxes
    for (const std::string& file : nonFaces) {
        if (!NonFaceHeldOut(file)) continue;
        bool ok;
        Outcome out = RunFile(options.dataDir + "/nonface/" + file, &ok);
        if (!ok) continue;
        ++photos;
        boxes += static_cast<int>(out.boxList.size());
        verified += static_cast<int>(out.faces.size());
        auto& folder = byFolder[file.substr(0, file.find('/'))];
        folder.first += 1;
        folder.second += static_cast<int>(out.faces.size());
        if (!out.faces.empty()) Log("validate false positive: %s (%zu)", file.c_str(), out.faces.size());
    }
    // The eye verifier on its own: random boxes of face proportions on the same photos.
    int randomBoxes = 0, randomVerified = 0;
    for (const std::string& file : nonFaces) {
        if (!NonFaceHeldOut(file)) continue;
        Grey g;
        if (!LoadGreyJpeg(options.dataDir + "/nonface/" + file, &g)) continue;
        std::mt19937 rng = SeededRng(4242, file);
        Box b;
        for (int k = 0; k < 20 && RandomFaceShapedBox(g, rng, &b); ++k) {
            ++randomBoxes;
            randomVerified += VerifyEyes(g.pixels.data(), g.width, g.height, b.x0, b.y0, b.x1, b.y1) == 1;
        }
    }
    Log("validate eye verifier alone: %d of %d random boxes on the held-out non-face photos accepted (%.1f %%)",
        randomVerified, randomBoxes, 100.0 * randomVerified / std::max(1, randomBoxes));
    for (const auto& [folder, counts] : byFolder)
        Log("validate non-face %-9s %4d photos, %3d verified boxes", folder.c_str(), counts.first, counts.second);
    Log("validate non-face: %d photos, %d face boxes, %d verified (%.2f per 100 photos; %.1f unverified boxes per 100)",
        photos, boxes, verified, 100.0 * verified / std::max(1, photos), 100.0 * boxes / std::max(1, photos));

    if (options.samplesDir.empty()) return;
    std::vector<std::string> samples;
    for (const auto& entry : std::filesystem::directory_iterator(options.samplesDir))
        if (entry.path().extension() == ".jpg") samples.push_back(entry.path().string());
    std::sort(samples.begin(), samples.end());
    for (const std::string& path : samples) {
        bool ok;
        Outcome out = RunFile(path, &ok);
        std::string eyes;
        for (const Found& f : out.faces)
            eyes += " (" + std::to_string(f.left.x) + "," + std::to_string(f.left.y) + ")-(" +
                    std::to_string(f.right.x) + "," + std::to_string(f.right.y) + ")";
        Log("sample %-40s level %d: %zu boxes, %zu verified%s", BaseName(path).c_str(), out.level, out.boxList.size(),
            out.faces.size(), eyes.c_str());
    }
}

}  // namespace train
