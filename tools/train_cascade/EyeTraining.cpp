#include "tools/train_cascade/EyeTraining.h"

#include <algorithm>
#include <cmath>

#include "subject/EyeVerifier.h"
#include "tools/train_cascade/CascadeFiles.h"

namespace train {

namespace {

constexpr int kS = EyeCascadeData::kWindowSize;

// Continuous coordinate u of a source axis `srcSize` long in a copy `dstSize` long
// made by ResampleBilinear: copy pixel c samples the source at c * step / 1024
// (pixel centres), so u maps to (u - 0.5) * 1024 / step + 0.5.
double ToCopy(double u, int srcSize, int dstSize) {
    double step = (srcSize * 1024) / dstSize;
    return (u - 0.5) * 1024.0 / step + 0.5;
}

void ScaleQuarter(const std::vector<uint8_t>& quarter, int qw, int qh, double eyeX, double eyeY, EyeQuarter* out) {
    int widths[5], heights[5];
    int n = EyeQuarterScales(qw, qh, widths, heights);
    std::vector<uint8_t> scaled;
    for (int i = 0; i < n; ++i) {
        EyeCopy copy;
        copy.width = widths[i];
        copy.height = heights[i];
        scaled.resize(static_cast<size_t>(copy.width) * copy.height);
        copy.codes.assign(scaled.size(), 0);
        ResampleBilinear(quarter.data(), qw, qh, scaled.data(), copy.width, copy.height);
        EyeCensus(scaled.data(), copy.width, copy.height, copy.codes.data());
        if (eyeX >= 0) {
            copy.eyeX = ToCopy(eyeX, qw, copy.width);
            copy.eyeY = ToCopy(eyeY, qh, copy.height);
        }
        out->push_back(std::move(copy));
    }
}

Samples Positives(const std::vector<EyeQuarter>& faces, int shift, uint64_t seed) {
    Samples out;
    out.dim = kEyePositions;
    std::vector<uint16_t> sample(kEyePositions);
    std::mt19937 rng = SeededRng(seed, "eye-positives");
    for (const EyeQuarter& q : faces)
        for (const EyeCopy& c : q) {
            int x, y;
            NearEyeWindow(c, shift, rng, &x, &y);
            GatherEyeWindow(c, x, y, sample.data());
            out.Add(sample.data());
        }
    return out;
}

// One random window per copy (away from the eye where there is one).
Samples RandomNegatives(const std::vector<EyeQuarter>& quarters, double farFromEye, const char* key, uint64_t seed) {
    Samples out;
    out.dim = kEyePositions;
    std::vector<uint16_t> sample(kEyePositions);
    std::mt19937 rng = SeededRng(seed, key);
    for (const EyeQuarter& q : quarters)
        for (const EyeCopy& c : q)
            for (int attempt = 0; attempt < 10; ++attempt) {
                int x = static_cast<int>(rng() % (c.width - kS + 1)), y = static_cast<int>(rng() % (c.height - kS + 1));
                if (c.eyeX >= 0 && EyeWindowDistance(c, x, y) <= farFromEye) continue;
                GatherEyeWindow(c, x, y, sample.data());
                out.Add(sample.data());
                break;
            }
    return out;
}

struct ScanCount {
    uint64_t scanned = 0, passed = 0;
};

// Windows passing the stages in the verifier's scan (away from the eye on face
// quarters), at most `perQuarter` kept per quarter by reservoir sampling.
Samples Bootstrap(const std::vector<EyeQuarter>& quarters, const EyeCascadeData& cascade, int stages, size_t perQuarter,
                  double farFromEye, const std::string& key, uint64_t seed, int threads, ScanCount* count) {
    std::vector<Samples> parts(quarters.size());
    std::vector<ScanCount> counts(quarters.size());
    ParallelFor(static_cast<int>(quarters.size()), threads, [&](int i) {
        Samples& kept = parts[i];
        kept.dim = kEyePositions;
        std::mt19937 rng = SeededRng(seed, key + std::to_string(i));
        Reservoir reservoir(perQuarter);
        for (const EyeCopy& c : quarters[i]) {
            counts[i].scanned += static_cast<uint64_t>(c.width - kS) * (c.height - kS);
            ScanEyeWindowsWith(cascade, stages, c.width, c.height, c.codes.data(), [&](int x, int y, int) {
                if (c.eyeX >= 0 && EyeWindowDistance(c, x, y) <= farFromEye) return;
                const long slot = reservoir.Offer(kept.size(), rng);
                if (slot < 0) return;
                if (static_cast<size_t>(slot) == kept.size()) kept.codes.resize(kept.codes.size() + kEyePositions);
                GatherEyeWindow(c, x, y, kept.codes.data() + slot * kEyePositions);
            });
        }
        counts[i].passed = reservoir.seen;
    });
    Samples all;
    all.dim = kEyePositions;
    for (size_t i = 0; i < parts.size(); ++i) {
        all.Append(parts[i]);
        count->scanned += counts[i].scanned;
        count->passed += counts[i].passed;
    }
    return all;
}

}  // namespace

void NearEyeWindow(const EyeCopy& copy, int shift, std::mt19937& rng, int* x, int* y) {
    const unsigned span = static_cast<unsigned>(2 * shift + 1);
    int dx = static_cast<int>(rng() % span) - shift, dy = static_cast<int>(rng() % span) - shift;
    *x = std::clamp(static_cast<int>(std::lround(copy.eyeX - kS / 2.0)) + dx, 0, copy.width - kS);
    *y = std::clamp(static_cast<int>(std::lround(copy.eyeY - kS / 2.0)) + dy, 0, copy.height - kS);
}

Samples BrowNegatives(const std::vector<EyeQuarter>& quarters, double sideways, double farFromEye,
                      const std::string& key, uint64_t seed) {
    Samples out;
    out.dim = kEyePositions;
    std::vector<uint16_t> sample(kEyePositions);
    std::mt19937 rng = SeededRng(seed, key);
    for (const EyeQuarter& q : quarters)
        for (const EyeCopy& c : q) {
            if (c.eyeX < 0) continue;
            double up = Uniform(rng, 0.25, 0.7) * c.width;
            int dx = static_cast<int>(rng() % 3) - 1;
            if (sideways > 0) dx = static_cast<int>(std::lround(Uniform(rng, -sideways, sideways) * c.width));
            int x = std::clamp(static_cast<int>(std::lround(c.eyeX - kS / 2.0)) + dx, 0, c.width - kS);
            int y = static_cast<int>(std::lround(c.eyeY - up - kS / 2.0));
            if (y < 0 || y > c.height - kS || EyeWindowDistance(c, x, y) <= farFromEye) continue;
            GatherEyeWindow(c, x, y, sample.data());
            out.Add(sample.data());
        }
    return out;
}

bool MakeEyeQuarters(const Grey& grey, const Box& box, const double* eyes, std::vector<EyeQuarter>* out) {
    if (box.x0 < 0 || box.y0 < 0 || box.x1 > grey.width || box.y1 > grey.height) return false;
    int xm = 0, ym = 0;
    EyeQuarterSplit(box.x0, box.y0, box.x1, box.y1, &xm, &ym);
    int wl = xm - box.x0, wr = box.x1 - xm, hq = ym - box.y0;
    if (wl < 2 || wr < 2 || hq < 2) return false;
    std::vector<uint8_t> left(static_cast<size_t>(wl) * hq), right(static_cast<size_t>(wr) * hq),
        mirrored(right.size());
    if (!CropGrey(grey.pixels.data(), grey.width, grey.height, left.data(), box.x0, box.y0, xm, ym)) return false;
    if (!CropGrey(grey.pixels.data(), grey.width, grey.height, right.data(), xm, box.y0, box.x1, ym)) return false;
    MirrorRows(right.data(), wr, hq, mirrored.data());
    EyeQuarter l, r;
    if (eyes) {
        ScaleQuarter(left, wl, hq, eyes[0] - box.x0, eyes[1] - box.y0, &l);
        // Mirroring maps the continuous coordinate u of the right quarter to wr - u.
        ScaleQuarter(mirrored, wr, hq, box.x1 - eyes[2], eyes[3] - box.y0, &r);
    } else {
        ScaleQuarter(left, wl, hq, -1, -1, &l);
        ScaleQuarter(mirrored, wr, hq, -1, -1, &r);
    }
    if (l.empty() || r.empty()) return false;
    out->push_back(std::move(l));
    out->push_back(std::move(r));
    return true;
}

bool MakeRelitEyeQuarters(const Grey& grey, const Box& box, const double* eyes, const Relighting& change,
                          std::vector<EyeQuarter>* out) {
    if (change.kind == Relighting::kNone) return MakeEyeQuarters(grey, box, eyes, out);
    if (box.x0 < 0 || box.y0 < 0 || box.x1 > grey.width || box.y1 > grey.height) return false;
    Grey part;
    part.width = box.x1 - box.x0;
    part.height = box.y1 - box.y0;
    part.pixels.resize(static_cast<size_t>(part.width) * part.height);
    for (int y = 0; y < part.height; ++y)
        std::copy_n(grey.pixels.data() + static_cast<size_t>(box.y0 + y) * grey.width + box.x0, part.width,
                    part.pixels.data() + static_cast<size_t>(y) * part.width);
    double moved[4] = {eyes[0] - box.x0, eyes[1] - box.y0, eyes[2] - box.x0, eyes[3] - box.y0};
    Relight(part.pixels.data(), part.width, part.height, EyePair{moved[0], moved[1], moved[2], moved[3]}, change);
    return MakeEyeQuarters(part, Box{0, 0, part.width, part.height}, moved, out);
}

Box JitteredFaceBox(double leftX, double leftY, double rightX, double rightY, const BoxJitter& jitter,
                    std::mt19937& rng) {
    double distance = std::hypot(rightX - leftX, rightY - leftY);
    double s = distance / 11.0 * std::exp(Uniform(rng, -std::log(jitter.scale), std::log(jitter.scale)));
    int w = static_cast<int>(std::lround(22 * s)), h = static_cast<int>(std::lround(24 * s));
    double midX = 0.5 * (leftX + rightX), midY = 0.5 * (leftY + rightY);
    double shiftX = Uniform(rng, -1, 1) * jitter.shiftX * w, shiftY = Uniform(rng, -1, 1) * jitter.shiftY * h;
    int x0 = static_cast<int>(std::lround(midX - 11 * s + shiftX));
    int y0 = static_cast<int>(std::lround(midY - 8 * s + shiftY));
    return Box{x0, y0, x0 + w, y0 + h};
}

bool RandomFaceShapedBox(const Grey& g, std::mt19937& rng, Box* box) {
    double most = std::min(g.width, g.height * 22 / 24);
    if (most < 24) return false;
    int w = static_cast<int>(std::exp(Uniform(rng, std::log(24.0), std::log(most))));
    int h = w * 24 / 22;
    int x0 = static_cast<int>(rng() % (g.width - w + 1)), y0 = static_cast<int>(rng() % (g.height - h + 1));
    *box = Box{x0, y0, x0 + w, y0 + h};
    return true;
}

void GatherEyeWindow(const EyeCopy& copy, int x, int y, uint16_t* sample) {
    for (int gy = 0; gy < kEyeGrid; ++gy)
        for (int gx = 0; gx < kEyeGrid; ++gx)
            sample[gy * kEyeGrid + gx] = copy.codes[static_cast<size_t>(y + gy + 1) * copy.width + (x + gx + 1)];
}

double EyeWindowDistance(const EyeCopy& copy, int x, int y) {
    return std::hypot(x + kS / 2.0 - copy.eyeX, y + kS / 2.0 - copy.eyeY);
}

std::vector<IntStage> TrainEyeCascade(const std::vector<EyeQuarter>& faceQuarters,
                                      const std::vector<EyeQuarter>& otherQuarters, const EyeTrainingOptions& options) {
    Samples positives = Positives(faceQuarters, options.positiveShift, options.seed);
    Log("eye: %zu positive windows from %zu face quarters, %zu quarters without a face", positives.size(),
        faceQuarters.size(), otherQuarters.size());
    std::vector<IntStage> stages;
    double cumulative = 1.0;
    for (int s = 0; s < EyeCascadeData::kStages; ++s) {
        double t0 = SecondsSinceStart();
        Samples pos = FilterPassing(stages, positives);
        size_t target = static_cast<size_t>(options.negativeRatio * static_cast<double>(pos.size()));
        Samples fromFaces, fromOthers;
        if (s == 0) {
            fromFaces = RandomNegatives(faceQuarters, options.farFromEye, "eye-negatives-faces", options.seed);
            fromOthers = RandomNegatives(otherQuarters, options.farFromEye, "eye-negatives-other", options.seed);
        } else {
            auto cascade = ToEyeData(stages);
            ScanCount faceCount, otherCount;
            fromFaces = Bootstrap(faceQuarters, *cascade, s, 4, options.farFromEye,
                                  "eye-boot-faces-" + std::to_string(s), options.seed, options.threads, &faceCount);
            fromOthers = Bootstrap(otherQuarters, *cascade, s, 16, options.farFromEye,
                                   "eye-boot-other-" + std::to_string(s), options.seed, options.threads, &otherCount);
            Log("eye stage %d: bootstrap, face quarters %llu of %llu windows pass away from the eye, other quarters "
                "%llu of %llu",
                s, static_cast<unsigned long long>(faceCount.passed),
                static_cast<unsigned long long>(faceCount.scanned), static_cast<unsigned long long>(otherCount.passed),
                static_cast<unsigned long long>(otherCount.scanned));
        }
        // Windows just above the eye that pass the stages so far: what the
        // verifier otherwise mistakes for the eye most often.
        Samples brows;
        brows.dim = kEyePositions;
        if (options.browShare > 0 && s >= options.browFirstStage) {
            brows = FilterPassing(stages, BrowNegatives(faceQuarters, options.browSideways, options.farFromEye,
                                                        "eye-brows-" + std::to_string(s), options.seed));
            brows = Subsample(brows, static_cast<size_t>(options.browShare * static_cast<double>(target)),
                              options.seed + 2 * s, "eye-brows");
            target -= std::min(target, brows.size());
        }
        // A share of the negatives from faces (brows, lids, nose), the rest from
        // elsewhere, topped up from either side when one runs short.
        size_t share = static_cast<size_t>(options.faceShare * static_cast<double>(target));
        size_t takeFaces =
            std::min(fromFaces.size(), std::max(share, target - std::min(fromOthers.size(), target - share)));
        size_t takeOthers = std::min(fromOthers.size(), target - takeFaces);
        Samples neg = Subsample(fromFaces, takeFaces, options.seed + 2 * s, "eye-subsample");
        neg.Append(Subsample(fromOthers, takeOthers, options.seed + 2 * s + 1, "eye-subsample"));
        neg.Append(brows);
        neg.dim = kEyePositions;
        int forced = (kEyeFirstY[s] - 1) * kEyeGrid + (kEyeFirstX[s] - 1);
        std::vector<WeakLearner> learners = BoostStage(pos, neg, kEyeStageSize[s], forced, options.threads);
        std::vector<FixedEntry> fixed;
        if (s == 0)
            for (int c = 0; c < 16; ++c) fixed.push_back({0, c, kEyeFeature0[c]});
        QuantizeResult q = QuantizeStage(learners, kEyeThreshold[s], kEyeMaxValue, fixed, pos, options.stageTargets[s]);
        double fp = neg.size() ? PassRate(q.stage, neg) : 0.0;
        cumulative *= q.detectionRate;
        Log("eye stage %d: %d features, %zu positives, %zu negatives (%zu from face quarters, %zu above the eye), "
            "alpha %.3f, detection %.4f (cumulative %.4f), false positives %.4f, %.0f s",
            s, kEyeStageSize[s], pos.size(), neg.size(), takeFaces, brows.size(), q.alpha, q.detectionRate, cumulative,
            fp, SecondsSinceStart() - t0);
        stages.push_back(q.stage);
    }
    return stages;
}

}  // namespace train
