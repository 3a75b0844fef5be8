#include "tools/train_cascade/FaceTraining.h"

#include <algorithm>
#include <cmath>
#include <set>

#include "subject/FaceDetector.h"
#include "tools/train_cascade/CascadeFiles.h"
#include "tools/train_cascade/Relight.h"

namespace train {

namespace {

constexpr int kW = FaceCascadeData::kWindowWidth;
constexpr int kH = FaceCascadeData::kWindowHeight;

// The windows kept from one picture (or its mirror image) while bootstrapping,
// and with them some of its passing windows as boxes.
struct KeptWindows : Reservoir {
    using Reservoir::Reservoir;
    Samples kept;
    std::vector<FaceBoxHit> boxes;
};

// Runs `body` on the census codes of every copy of `picture` and of its mirror
// image at the longer sides `sides` that hold more than one window, the way the
// detector makes its copies: (mirror, picture width, copy width and height, codes).
void ForEachFaceCopy(const Grey& picture, const std::vector<int>& sides,
                     const std::function<void(int mirror, int width, int w, int h, const uint16_t* codes)>& body) {
    const Grey flipped = FlipHorizontal(picture);
    std::vector<uint8_t> copy;
    std::vector<uint16_t> codes;
    for (int mirror = 0; mirror < 2; ++mirror) {
        const Grey& g = mirror ? flipped : picture;
        for (int s : sides) {
            if (s > std::max(g.width, g.height)) continue;
            int w, h;
            FaceCopySize(g.width, g.height, s, &w, &h);
            if (w < kW + 1 || h < kH + 1) continue;
            copy.resize(static_cast<size_t>(w) * h);
            codes.resize(copy.size());
            ResampleNearest(g.pixels.data(), g.width, g.height, copy.data(), w, h);
            FaceCensus(copy.data(), w, h, codes.data());
            body(mirror, g.width, w, h, codes.data());
        }
    }
}

}  // namespace

bool LoadFacePicture(const std::string& dataDir, const FaceRecord& record, FacePicture* out) {
    Grey grey;
    if (!LoadGreyJpeg(dataDir + "/face_train/" + record.file, &grey)) return false;
    int margin = IsTightCrop(record) ? TightCropMargin(grey.width, grey.height) : 0;
    out->grey = margin ? MirrorPad(grey, margin) : std::move(grey);
    out->leftX = record.leftX + margin;
    out->leftY = record.leftY + margin;
    out->rightX = record.rightX + margin;
    out->rightY = record.rightY + margin;
    return true;
}

FacePicture MirrorFace(const FacePicture& face) {
    FacePicture m;
    m.grey = FlipHorizontal(face.grey);
    double w = face.grey.width;
    m.leftX = w - face.rightX;
    m.leftY = face.rightY;
    m.rightX = w - face.leftX;
    m.rightY = face.leftY;
    return m;
}

void GatherFaceWindow(const uint16_t* codes, int width, int x, int y, uint16_t* sample) {
    for (int gy = 0; gy < kFaceGridHeight; ++gy)
        for (int gx = 0; gx < kFaceGridWidth; ++gx)
            sample[gy * kFaceGridWidth + gx] = codes[static_cast<size_t>(y + gy + 1) * width + (x + gx + 1)];
}

Grey RotateAbout(const Grey& g, double cx, double cy, double degrees) {
    Grey out;
    out.width = g.width;
    out.height = g.height;
    out.pixels.resize(g.pixels.size());
    double a = degrees * 3.14159265358979323846 / 180.0, c = std::cos(a), s = std::sin(a);
    for (int y = 0; y < g.height; ++y)
        for (int x = 0; x < g.width; ++x) {
            // Each output pixel reads the source point turned back by the angle.
            double dx = x + 0.5 - cx, dy = y + 0.5 - cy;
            double u = std::clamp(c * dx + s * dy + cx - 0.5, 0.0, g.width - 1.0);
            double v = std::clamp(-s * dx + c * dy + cy - 0.5, 0.0, g.height - 1.0);
            int u0 = static_cast<int>(u), v0 = static_cast<int>(v);
            int u1 = std::min(u0 + 1, g.width - 1), v1 = std::min(v0 + 1, g.height - 1);
            double fu = u - u0, fv = v - v0;
            double top = g.at(u0, v0) * (1 - fu) + g.at(u1, v0) * fu;
            double bottom = g.at(u0, v1) * (1 - fu) + g.at(u1, v1) * fu;
            out.pixels[static_cast<size_t>(y) * g.width + x] =
                static_cast<uint8_t>(std::lround(top * (1 - fv) + bottom * fv));
        }
    return out;
}

void CutFaceWindows(const FacePicture& face, int count, const FaceCutOptions& options, std::mt19937& rng,
                    Samples* out) {
    Grey turned;
    double eyeDistance = std::hypot(face.rightX - face.leftX, face.rightY - face.leftY);
    double midX = 0.5 * (face.leftX + face.rightX), midY = 0.5 * (face.leftY + face.rightY);
    double logJitter = std::log(options.scaleJitter);
    std::vector<uint8_t> copy, window(kW * kH);
    std::vector<uint16_t> codes(kW * kH), sample(kFacePositions);
    for (int k = 0; k < count; ++k) {
        // Faces in photos lean a little; turning the training face about its eye
        // midpoint keeps the eyes where they were.
        const Grey* source = &face.grey;
        double degrees = 0;
        if (options.rollJitter > 0) {
            degrees = Uniform(rng, -options.rollJitter, options.rollJitter);
            turned = RotateAbout(face.grey, midX, midY, degrees);
            source = &turned;
        }
        Relighting change;
        if (options.relightShare > 0) change = DrawRelighting(rng, options.relightShare);
        const Grey& g = *source;
        double target = kFaceEyeDistance * std::exp(Uniform(rng, -logJitter, logJitter));
        double f = target / eyeDistance;
        int dstW = static_cast<int>(std::lround(g.width * f)), dstH = static_cast<int>(std::lround(g.height * f));
        double shiftX = Uniform(rng, -options.shiftJitter, options.shiftJitter);
        double shiftY = Uniform(rng, -options.shiftJitter, options.shiftJitter);
        if (dstW < kW || dstH < kH) continue;
        copy.resize(static_cast<size_t>(dstW) * dstH);
        ResampleNearest(g.pixels.data(), g.width, g.height, copy.data(), dstW, dstH);
        // Copy pixel c holds source column (c * step) >> 15: source position u lies at
        // u * 32768 / step in the copy.
        double stepX = (g.width * 32768) / dstW, stepY = (g.height * 32768) / dstH;
        double cx = midX * 32768.0 / stepX, cy = midY * 32768.0 / stepY;
        int x = static_cast<int>(std::lround(cx - kFaceMidX + shiftX));
        int y = static_cast<int>(std::lround(cy - kFaceMidY + shiftY));
        if (x < 0 || y < 0 || x + kW > dstW || y + kH > dstH) continue;
        for (int r = 0; r < kH; ++r)
            std::copy_n(copy.data() + static_cast<size_t>(y + r) * dstW + x, kW, window.data() + r * kW);
        if (change.kind != Relighting::kNone) {
            // The eyes in the window: the eye line turned with the picture (a point
            // (du, dv) from the midpoint moves to (c du - s dv, s du + c dv)) and
            // scaled with the copy.
            double a = degrees * 3.14159265358979323846 / 180.0, c = std::cos(a), s = std::sin(a);
            double du = 0.5 * (face.rightX - face.leftX), dv = 0.5 * (face.rightY - face.leftY);
            double hx = (c * du - s * dv) * 32768.0 / stepX, hy = (s * du + c * dv) * 32768.0 / stepY;
            double wx = cx - x, wy = cy - y;
            Relight(window.data(), kW, kH, EyePair{wx - hx, wy - hy, wx + hx, wy + hy}, change);
        }
        FaceCensus(window.data(), kW, kH, codes.data());
        GatherFaceWindow(codes.data(), kW, 0, 0, sample.data());
        out->Add(sample.data());
    }
}

std::vector<int> CopySides(int from, int to, double step) {
    std::set<int> sides(FaceScales, FaceScales + 9);
    for (double s = from; s <= to + 0.5; s *= step) sides.insert(static_cast<int>(std::lround(s)));
    std::vector<int> out;
    for (int s : sides)
        if (s >= from && s <= to) out.push_back(s);
    return out;
}

Samples RandomFaceNegatives(const std::vector<Grey>& pictures, const std::vector<int>& sides, size_t target,
                            uint64_t seed, int threads) {
    size_t copies = 0;
    for (const Grey& g : pictures)
        for (int s : sides) {
            int w, h;
            FaceCopySize(g.width, g.height, s, &w, &h);
            copies += s <= std::max(g.width, g.height) && w > kW && h > kH ? 2 : 0;
        }
    int perCopy = static_cast<int>(std::max<size_t>(1, (target + copies - 1) / std::max<size_t>(1, copies)));
    std::vector<Samples> parts(pictures.size());
    ParallelFor(static_cast<int>(pictures.size()), threads, [&](int i) {
        parts[i].dim = kFacePositions;
        std::mt19937 rng = SeededRng(seed, "random-negatives-" + std::to_string(i));
        std::vector<uint16_t> sample(kFacePositions);
        ForEachFaceCopy(pictures[i], sides, [&](int, int, int w, int h, const uint16_t* codes) {
            for (int k = 0; k < perCopy; ++k) {
                // The scan's window lefts run to w - 23 and its tops over even rows to h - 25.
                int x = static_cast<int>(rng() % (w - kW));
                int y = 2 * static_cast<int>(rng() % ((h - kH - 1) / 2 + 1));
                GatherFaceWindow(codes, w, x, y, sample.data());
                parts[i].Add(sample.data());
            }
        });
    });
    Samples all;
    all.dim = kFacePositions;
    for (const Samples& p : parts) all.Append(p);
    return Subsample(all, target, seed, "subsample");
}

BootstrapResult BootstrapFaceNegatives(const std::vector<Grey>& pictures, const std::vector<IntStage>& stages,
                                       const std::vector<int>& sides, size_t target, uint64_t seed, int threads,
                                       int boxesPerPicture, bool oddRowsToo) {
    std::unique_ptr<FaceCascadeData> cascade = ToFaceData(stages);
    const int stageCount = static_cast<int>(stages.size());
    // Each picture keeps a reservoir a few times its even share, so that pictures
    // with many hits cannot crowd out the others entirely.
    size_t cap = std::max<size_t>(64, 3 * target / std::max<size_t>(1, 2 * pictures.size()));
    std::vector<KeptWindows> windows(2 * pictures.size(), KeptWindows(cap));
    std::vector<KeptWindows> boxes(pictures.size(), KeptWindows(static_cast<size_t>(std::max(boxesPerPicture, 0))));
    std::vector<uint64_t> scanned(pictures.size(), 0);
    ParallelFor(static_cast<int>(pictures.size()), threads, [&](int i) {
        std::mt19937 rngs[2] = {SeededRng(seed, "bootstrap-" + std::to_string(i) + "-0"),
                                SeededRng(seed, "bootstrap-" + std::to_string(i) + "-1")};
        ForEachFaceCopy(pictures[i], sides, [&](int mirror, int width, int w, int h, const uint16_t* codes) {
            KeptWindows& res = windows[2 * i + mirror];
            res.kept.dim = kFacePositions;
            std::mt19937& rng = rngs[mirror];
            scanned[i] += static_cast<uint64_t>((h - kH - 1) / 2 + 1) * (w - kW);
            int scale = static_cast<int>((static_cast<int64_t>(width) * 32768) / w);
            auto keep = [&](const uint16_t* rows, int x, int y) {
                long slot = res.Offer(res.kept.size(), rng);
                if (slot >= 0) {
                    if (static_cast<size_t>(slot) == res.kept.size())
                        res.kept.codes.resize(res.kept.codes.size() + kFacePositions);
                    GatherFaceWindow(rows, w, x, y, res.kept.codes.data() + slot * kFacePositions);
                }
            };
            if (oddRowsToo && h - 1 > kH) {
                // The copy one row down: its census codes are those of the copy.
                scanned[i] += static_cast<uint64_t>((h - 1 - kH - 1) / 2 + 1) * (w - kW);
                ScanFaceWindowsWith(*cascade, stageCount, w, h - 1, codes + w,
                                    [&](int x, int y, int) { keep(codes + w, x, y); });
            }
            ScanFaceWindowsWith(*cascade, stageCount, w, h, codes, [&](int x, int y, int) {
                keep(codes, x, y);
                if (!mirror && boxesPerPicture > 0) {
                    long b = boxes[i].Offer(boxes[i].boxes.size(), rng);
                    FaceBoxHit box{(x * scale) >> 15, (y * scale) >> 15, 0, 0};
                    box.x1 = box.x0 + ((kW * scale) >> 15);
                    box.y1 = box.y0 + ((kH * scale) >> 15);
                    if (b >= 0 && static_cast<size_t>(b) == boxes[i].boxes.size())
                        boxes[i].boxes.push_back(box);
                    else if (b >= 0)
                        boxes[i].boxes[b] = box;
                }
            });
        });
    });
    BootstrapResult result;
    Samples all;
    all.dim = kFacePositions;
    for (size_t i = 0; i < windows.size(); ++i) {
        all.Append(windows[i].kept);
        result.passed += windows[i].seen;
    }
    for (size_t i = 0; i < pictures.size(); ++i) {
        result.scanned += scanned[i];
        result.boxes.push_back(boxes[i].boxes);
    }
    result.windows = Subsample(all, target, seed, "subsample");
    return result;
}

std::vector<IntStage> TrainFaceCascade(const Samples& positives, const std::vector<Grey>& nonFaces,
                                       const FaceTrainingOptions& options) {
    std::vector<IntStage> stages;
    double cumulativeDetection = 1.0;
    for (int s = 0; s < FaceCascadeData::kStages; ++s) {
        double t0 = SecondsSinceStart();
        Samples pos = FilterPassing(stages, positives);
        double ratio = s + 1 == FaceCascadeData::kStages ? options.lastNegativeRatio : options.negativeRatio;
        size_t target = static_cast<size_t>(ratio * static_cast<double>(pos.size()));
        Samples neg;
        if (s == 0) {
            neg = RandomFaceNegatives(nonFaces, CopySides(24, 400, 1.1), target, options.seed + s, options.threads);
            Log("face stage 0: %zu random non-face windows", neg.size());
        } else {
            const bool fine = options.lastStageFine && s + 1 == FaceCascadeData::kStages;
            BootstrapResult boot = BootstrapFaceNegatives(nonFaces, stages, CopySides(24, 800, fine ? 1.04 : 1.08),
                                                          target, options.seed + s, options.threads, 0, fine);
            Log("face stage %d: bootstrap scanned %llu windows, %llu passed stages 0-%d (rate %.3g), kept %zu", s,
                static_cast<unsigned long long>(boot.scanned), static_cast<unsigned long long>(boot.passed), s - 1,
                boot.scanned ? static_cast<double>(boot.passed) / static_cast<double>(boot.scanned) : 0.0,
                boot.windows.size());
            neg = std::move(boot.windows);
        }
        if (neg.size() == 0) {
            neg.dim = kFacePositions;
            Log("face stage %d: no negatives left; the stage is trained on positives alone", s);
        }
        int forced = (kFaceFirstY[s] - 1) * kFaceGridWidth + (kFaceFirstX[s] - 1);
        std::vector<WeakLearner> learners = BoostStage(pos, neg, kFaceStageSize[s], forced, options.threads);
        std::vector<FixedEntry> fixed;
        if (s == 0)
            for (int c = 0; c < 16; ++c) fixed.push_back({0, c, kFaceFeature0[c]});
        QuantizeResult q =
            QuantizeStage(learners, kFaceThreshold[s], kFaceMaxValue, fixed, pos, options.stageTargets[s]);
        double fp = neg.size() ? PassRate(q.stage, neg) : 0.0;
        cumulativeDetection *= q.detectionRate;
        Log("face stage %d: %d features, %zu positives, %zu negatives, alpha %.3f, detection %.4f (cumulative %.4f), "
            "false positives %.4f, %.0f s",
            s, kFaceStageSize[s], pos.size(), neg.size(), q.alpha, q.detectionRate, cumulativeDetection, fp,
            SecondsSinceStart() - t0);
        stages.push_back(q.stage);
    }
    return stages;
}

}  // namespace train
