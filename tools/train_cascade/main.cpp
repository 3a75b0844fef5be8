// train_cascade: trains the face cascade and the eye cascade of the subject finder
// from the photos in the training data folder and writes them as the generated
// sources subject/FaceCascadeData.cpp and subject/EyeCascadeData.cpp.
// With --validate it measures the cascades built into this program instead.
// See tools/train_cascade/README.md.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tools/train_cascade/CascadeFiles.h"
#include "tools/train_cascade/Common.h"
#include "tools/train_cascade/Dataset.h"
#include "tools/train_cascade/EyeTraining.h"
#include "tools/train_cascade/FaceTraining.h"
#include "tools/train_cascade/Validate.h"

using namespace train;

namespace {

struct Options {
    std::string dataDir = "../shared/data";  // the shared folder beside the repository
    std::string outDir = ".";                // the repository root
    std::string logName = "cascade_training.log";
    std::string samplesDir;
    int maxFaces = 0;        // training faces used, 0 = all
    int maxNonFaces = 0;     // training non-face photos used, 0 = all
    int windowsPerFace = 3;  // per face and per mirror image
    int eyeBoxesPerFace = 3;
    int threads = 2;
    bool validate = false;
    bool eyeOnly = false;  // keeps the face tables as they are (for trying eye settings)
    bool wild = false;     // also trains on the in-the-wild faces (faces_wild.tsv)
    int wildWeight = 1;    // face windows and eye boxes of an in-the-wild face, times the others'
    double faceTargets[4] = {0.999, 0.999, 0.998, 0.995};
    double eyeTargets[3] = {0.97, 0.97, 0.97};
    double eyeFaceShare = 0.5;
    double eyeBrowShare = 0.0;
    double eyeBrowSideways = 0.0;
    int eyeBrowFirstStage = 0;
    int eyePositiveShift = 1;
    double eyeFarFromEye = 3.0;
    BoxJitter eyeBoxJitter;
    double faceScaleJitter = 1.4;
    double faceRollJitter = 0.0;
    double faceRelight = 0.0;  // share of the face windows relit (see Relight.h)
    double eyeRelight = 0.0;   // share of the eye boxes relit
    double faceLastNegatives = 1.0;
    bool faceLastFine = false;  // the last face stage's negatives from a finer scan
};

// "a,b,c" into `count` numbers.
bool ParseRates(const char* text, double* rates, int count) {
    for (int i = 0; i < count; ++i) {
        char* end;
        rates[i] = strtod(text, &end);
        if (end == text || rates[i] <= 0 || rates[i] > 1) return false;
        if (i + 1 < count && *end != ',') return false;
        text = end + 1;
    }
    return true;
}

void Usage() {
    fprintf(stderr,
            "usage: train_cascade [--data DIR] [--out REPO] [--log NAME] [--faces N] [--nonfaces N]\n"
            "                     [--windows-per-face N] [--eye-boxes-per-face N] [--threads N]\n"
            "                     [--face-targets R0,R1,R2,R3] [--eye-targets R0,R1,R2]\n"
            "                     [--eye-face-share S] [--eye-box-jitter SCALE,DX,DY] [--eye-only]\n"
            "                     [--face-scale-jitter J] [--face-roll-jitter DEGREES]\n"
            "                     [--wild] [--face-relight SHARE] [--eye-relight SHARE] [--face-last-negatives R]\n"
            "                     [--eye-brow-share S] [--eye-brow-sideways S] [--eye-positive-shift N]\n"
            "                     [--eye-far-from-eye D] [--wild-weight K]\n"
            "                     [--eye-brow-first-stage N] [--face-last-fine]\n"
            "       train_cascade --validate [--data DIR] [--samples DIR] [--faces N] [--log NAME]\n");
}

bool Parse(int argc, char** argv, Options* o) {
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&](std::string* s) {
            if (i + 1 >= argc) return false;
            *s = argv[++i];
            return true;
        };
        auto number = [&](int* n) {
            if (i + 1 >= argc) return false;
            *n = atoi(argv[++i]);
            return true;
        };
        bool ok = true;
        if (a == "--data")
            ok = value(&o->dataDir);
        else if (a == "--out")
            ok = value(&o->outDir);
        else if (a == "--log")
            ok = value(&o->logName);
        else if (a == "--samples")
            ok = value(&o->samplesDir);
        else if (a == "--faces")
            ok = number(&o->maxFaces);
        else if (a == "--nonfaces")
            ok = number(&o->maxNonFaces);
        else if (a == "--windows-per-face")
            ok = number(&o->windowsPerFace);
        else if (a == "--eye-boxes-per-face")
            ok = number(&o->eyeBoxesPerFace);
        else if (a == "--threads")
            ok = number(&o->threads);
        else if (a == "--validate")
            o->validate = true;
        else if (a == "--eye-only")
            o->eyeOnly = true;
        else if (a == "--wild")
            o->wild = true;
        else if (a == "--face-last-fine")
            o->faceLastFine = true;
        else if (a == "--wild-weight")
            ok = i + 1 < argc && (o->wildWeight = atoi(argv[++i])) >= 1 && o->wildWeight <= 4;
        else if (a == "--eye-box-jitter")
            ok = i + 1 < argc &&
                 sscanf(argv[++i], "%lf,%lf,%lf", &o->eyeBoxJitter.scale, &o->eyeBoxJitter.shiftX,
                        &o->eyeBoxJitter.shiftY) == 3 &&
                 o->eyeBoxJitter.scale >= 1;
        else if (a == "--face-roll-jitter")
            ok = i + 1 < argc && (o->faceRollJitter = atof(argv[++i])) >= 0;
        else if (a == "--face-relight")
            ok = i + 1 < argc && (o->faceRelight = atof(argv[++i])) >= 0 && o->faceRelight <= 1;
        else if (a == "--face-last-negatives")
            ok = i + 1 < argc && (o->faceLastNegatives = atof(argv[++i])) > 0;
        else if (a == "--eye-relight")
            ok = i + 1 < argc && (o->eyeRelight = atof(argv[++i])) >= 0 && o->eyeRelight <= 1;
        else if (a == "--face-scale-jitter")
            ok = i + 1 < argc && (o->faceScaleJitter = atof(argv[++i])) >= 1;
        else if (a == "--eye-brow-share")
            ok = i + 1 < argc && (o->eyeBrowShare = atof(argv[++i])) >= 0 && o->eyeBrowShare < 1;
        else if (a == "--eye-brow-sideways")
            ok = i + 1 < argc && (o->eyeBrowSideways = atof(argv[++i])) >= 0 && o->eyeBrowSideways <= 0.5;
        else if (a == "--eye-brow-first-stage")
            ok = i + 1 < argc && (o->eyeBrowFirstStage = atoi(argv[++i])) >= 0 && o->eyeBrowFirstStage <= 2;
        else if (a == "--eye-positive-shift")
            ok = i + 1 < argc && (o->eyePositiveShift = atoi(argv[++i])) >= 0 && o->eyePositiveShift <= 4;
        else if (a == "--eye-far-from-eye")
            ok = i + 1 < argc && (o->eyeFarFromEye = atof(argv[++i])) >= 1 && o->eyeFarFromEye <= 12;
        else if (a == "--eye-face-share")
            ok = i + 1 < argc && ParseRates(argv[++i], &o->eyeFaceShare, 1);
        else if (a == "--face-targets")
            ok = i + 1 < argc && ParseRates(argv[++i], o->faceTargets, 4);
        else if (a == "--eye-targets")
            ok = i + 1 < argc && ParseRates(argv[++i], o->eyeTargets, 3);
        else
            ok = false;
        if (!ok) return false;
    }
    return true;
}

// Every n-th item, so that a reduced run still spreads over all sources.
template <typename T>
std::vector<T> Thin(const std::vector<T>& all, int limit) {
    if (limit <= 0 || static_cast<int>(all.size()) <= limit) return all;
    std::vector<T> out;
    double step = static_cast<double>(all.size()) / limit;
    for (int i = 0; i < limit; ++i) out.push_back(all[static_cast<size_t>(i * step)]);
    return out;
}

int Train(const Options& o, const std::string& commandLine) {
    std::vector<FaceRecord> all, faces;
    if (!ReadAllFaces(o.dataDir, &all)) {
        Log("cannot read the face lists (faces.tsv, faces_wild.tsv and its manifest) in %s/face_train",
            o.dataDir.c_str());
        return 1;
    }
    size_t wild = 0, wildTraining = 0;
    for (const FaceRecord& f : all) {
        wild += IsWildSource(f.source) ? 1 : 0;
        if (FaceHeldOut(f) || (IsWildSource(f.source) && !o.wild)) continue;
        faces.push_back(f);
        wildTraining += IsWildSource(f.source) ? 1 : 0;
    }
    Log("faces: %zu annotated, %zu for training, %zu held out or left out (in the wild: %zu, %zu for training)",
        all.size(), faces.size(), all.size() - faces.size(), wild, wildTraining);
    faces = Thin(faces, o.maxFaces);

    std::vector<std::string> nonFaceFiles, trainFiles;
    ReadNonFaces(o.dataDir + "/nonface/manifest.tsv", &nonFaceFiles);
    for (const std::string& f : nonFaceFiles)
        if (!NonFaceHeldOut(f)) trainFiles.push_back(f);
    Log("non-face photos: %zu, %zu for training", nonFaceFiles.size(), trainFiles.size());
    trainFiles = Thin(trainFiles, o.maxNonFaces);
    std::vector<Grey> nonFaces(trainFiles.size());
    ParallelFor(static_cast<int>(trainFiles.size()), o.threads,
                [&](int i) { LoadGreyJpeg(o.dataDir + "/nonface/" + trainFiles[i], &nonFaces[i]); });
    Log("using %zu faces and %zu non-face photos (%.0f s)", faces.size(), nonFaces.size(), SecondsSinceStart());

    // One pass over the face pictures cuts the face windows and the eye quarters.
    FaceCutOptions cut;
    cut.scaleJitter = o.faceScaleJitter;
    cut.rollJitter = o.faceRollJitter;
    cut.relightShare = o.faceRelight;
    std::vector<Samples> faceParts(faces.size());
    std::vector<std::vector<EyeQuarter>> eyeParts(faces.size());
    ParallelFor(static_cast<int>(faces.size()), o.threads, [&](int i) {
        faceParts[i].dim = kFacePositions;
        FacePicture pic;
        if (!LoadFacePicture(o.dataDir, faces[i], &pic)) return;
        std::mt19937 rng = SeededRng(7001, faces[i].file);
        // Everyday photos are the harder and smaller part of the set; they can be
        // given more windows and boxes each.
        const int weight = IsWildSource(faces[i].source) ? o.wildWeight : 1;
        CutFaceWindows(pic, o.windowsPerFace * weight, cut, rng, &faceParts[i]);
        CutFaceWindows(MirrorFace(pic), o.windowsPerFace * weight, cut, rng, &faceParts[i]);
        for (int b = 0; b < o.eyeBoxesPerFace * weight; ++b) {
            Box box = JitteredFaceBox(pic.leftX, pic.leftY, pic.rightX, pic.rightY, o.eyeBoxJitter, rng);
            double eyes[4] = {pic.leftX, pic.leftY, pic.rightX, pic.rightY};
            // Nothing is drawn for the lighting when it is off, so that the boxes stay
            // those of a run without it.
            Relighting change;
            if (o.eyeRelight > 0) change = DrawRelighting(rng, o.eyeRelight);
            MakeRelitEyeQuarters(pic.grey, box, eyes, change, &eyeParts[i]);
        }
    });
    Samples positives;
    positives.dim = kFacePositions;
    std::vector<EyeQuarter> faceQuarters;
    for (size_t i = 0; i < faces.size(); ++i) {
        positives.codes.insert(positives.codes.end(), faceParts[i].codes.begin(), faceParts[i].codes.end());
        faceParts[i] = Samples{};
        for (EyeQuarter& q : eyeParts[i]) faceQuarters.push_back(std::move(q));
        eyeParts[i].clear();
    }
    Log("face windows: %zu; eye quarters: %zu (%.0f s)", positives.size(), faceQuarters.size(), SecondsSinceStart());

    std::vector<IntStage> faceStages;
    if (!o.eyeOnly) {
        FaceTrainingOptions faceOptions;
        faceOptions.threads = o.threads;
        std::copy(o.faceTargets, o.faceTargets + 4, faceOptions.stageTargets);
        faceOptions.lastNegativeRatio = o.faceLastNegatives;
        faceOptions.lastStageFine = o.faceLastFine;
        faceStages = TrainFaceCascade(positives, nonFaces, faceOptions);
        std::unique_ptr<FaceCascadeData> face = ToFaceData(faceStages);
        std::string problem = CheckFace(*face);
        if (!problem.empty()) {
            Log("face cascade does not conform: %s", problem.c_str());
            return 1;
        }
        std::string facePath = o.outDir + "/subject/FaceCascadeData.cpp";
        if (!WriteFaceSource(facePath, *face, commandLine)) {
            Log("cannot write %s", facePath.c_str());
            return 1;
        }
        Log("wrote %s (%.0f s)", facePath.c_str(), SecondsSinceStart());
    }

    // Quarters without a face: random boxes on the non-face photos and the boxes
    // the finished face cascade passes there (what the verifier will be shown).
    BootstrapResult hits;
    if (!o.eyeOnly)
        hits = BootstrapFaceNegatives(nonFaces, faceStages, CopySides(24, 800, 1.08), 0, 9001, o.threads, 24);
    hits.boxes.resize(nonFaces.size());
    std::vector<std::vector<EyeQuarter>> otherParts(nonFaces.size());
    ParallelFor(static_cast<int>(nonFaces.size()), o.threads, [&](int i) {
        const Grey& g = nonFaces[i];
        std::mt19937 rng = SeededRng(9002, trainFiles[i]);
        Box box;
        for (int k = 0; k < 16 && RandomFaceShapedBox(g, rng, &box); ++k)
            MakeEyeQuarters(g, box, nullptr, &otherParts[i]);
        for (const FaceBoxHit& b : hits.boxes[i])
            MakeEyeQuarters(g, Box{b.x0, b.y0, b.x1, b.y1}, nullptr, &otherParts[i]);
    });
    size_t hitBoxes = 0;
    for (const auto& b : hits.boxes) hitBoxes += b.size();
    std::vector<EyeQuarter> otherQuarters;
    for (auto& part : otherParts)
        for (EyeQuarter& q : part) otherQuarters.push_back(std::move(q));
    Log("face cascade on the training non-face photos: %llu of %llu windows pass (%.3g); %zu of those boxes kept for "
        "the eye negatives",
        static_cast<unsigned long long>(hits.passed), static_cast<unsigned long long>(hits.scanned),
        hits.scanned ? static_cast<double>(hits.passed) / static_cast<double>(hits.scanned) : 0.0, hitBoxes);

    EyeTrainingOptions eyeOptions;
    eyeOptions.threads = o.threads;
    std::copy(o.eyeTargets, o.eyeTargets + 3, eyeOptions.stageTargets);
    eyeOptions.faceShare = o.eyeFaceShare;
    eyeOptions.browShare = o.eyeBrowShare;
    eyeOptions.browSideways = o.eyeBrowSideways;
    eyeOptions.browFirstStage = o.eyeBrowFirstStage;
    eyeOptions.positiveShift = o.eyePositiveShift;
    eyeOptions.farFromEye = o.eyeFarFromEye;
    std::vector<IntStage> eyeStages = TrainEyeCascade(faceQuarters, otherQuarters, eyeOptions);
    std::unique_ptr<EyeCascadeData> eye = ToEyeData(eyeStages);
    std::string problem = CheckEye(*eye);
    if (!problem.empty()) {
        Log("eye cascade does not conform: %s", problem.c_str());
        return 1;
    }
    std::string eyePath = o.outDir + "/subject/EyeCascadeData.cpp";
    if (!WriteEyeSource(eyePath, *eye, commandLine)) {
        Log("cannot write %s", eyePath.c_str());
        return 1;
    }
    Log("wrote %s; total run time %.0f s", eyePath.c_str(), SecondsSinceStart());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (!Parse(argc, argv, &o)) {
        Usage();
        return 2;
    }
    std::string commandLine = "train_cascade";
    for (int i = 1; i < argc; ++i) commandLine += std::string(" ") + argv[i];
    OpenLog(o.logName[0] == '/' ? o.logName : o.outDir + "/subject/" + o.logName);
    Log("%s", commandLine.c_str());
    if (o.validate) {
        ValidateOptions v;
        v.dataDir = o.dataDir;
        v.samplesDir = o.samplesDir;
        v.maxFaces = o.maxFaces;
        Validate(v);
        Log("validation time %.0f s", SecondsSinceStart());
        return 0;
    }
    return Train(o, commandLine);
}
