#include "tools/train_cascade/Boost.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <thread>

#include "tools/train_cascade/Common.h"

namespace train {

long Reservoir::Offer(size_t held, std::mt19937& rng) {
    ++seen;
    if (held < cap) return static_cast<long>(held);
    const uint64_t high = rng();
    const uint64_t low = rng();
    const uint64_t j = (high << 32 | low) % seen;
    return j < cap ? static_cast<long>(j) : -1;
}

Samples Subsample(const Samples& all, size_t target, uint64_t seed, const std::string& key) {
    if (all.size() <= target) return all;
    std::vector<size_t> index(all.size());
    for (size_t i = 0; i < index.size(); ++i) index[i] = i;
    std::mt19937 rng = SeededRng(seed, key);
    for (size_t i = 0; i < target; ++i) std::swap(index[i], index[i + rng() % (index.size() - i)]);
    index.resize(target);
    std::sort(index.begin(), index.end());
    Samples out;
    out.dim = all.dim;
    for (size_t i : index) out.Add(all.sample(i));
    return out;
}

namespace {

// Codes position-major (all samples of position 0, then position 1, ...) so that
// one histogram pass reads memory in order.
std::vector<uint16_t> PositionMajor(const Samples& pos, const Samples& neg) {
    size_t n = pos.size() + neg.size();
    std::vector<uint16_t> m(static_cast<size_t>(pos.dim) * n);
    for (int p = 0; p < pos.dim; ++p) {
        uint16_t* row = m.data() + static_cast<size_t>(p) * n;
        for (size_t i = 0; i < pos.size(); ++i) row[i] = pos.sample(i)[p];
        for (size_t i = 0; i < neg.size(); ++i) row[pos.size() + i] = neg.sample(i)[p];
    }
    return m;
}

// Weighted histograms of one position: hist[2c] positives, hist[2c + 1] negatives.
void Histogram(const uint16_t* row, const double* weight, size_t positives, size_t n, double* hist) {
    std::fill(hist, hist + 2 * kCodes, 0.0);
    for (size_t i = 0; i < positives; ++i) hist[2 * row[i]] += weight[i];
    for (size_t i = positives; i < n; ++i) hist[2 * row[i] + 1] += weight[i];
}

double ZOf(const double* hist) {
    double z = 0;
    for (int c = 0; c < kCodes; ++c) z += std::sqrt(hist[2 * c] * hist[2 * c + 1]);
    return 2 * z;
}

}  // namespace

std::vector<WeakLearner> BoostStage(const Samples& positives, const Samples& negatives, int features, int forcedFirst,
                                    int threads) {
    const int dim = positives.dim;
    const size_t np = positives.size(), n = positives.size() + negatives.size();
    std::vector<uint16_t> matrix = PositionMajor(positives, negatives);
    std::vector<double> weight(n);
    for (size_t i = 0; i < n; ++i) weight[i] = i < np ? 0.5 / np : 0.5 / (n - np);
    const double eps = 0.5 / static_cast<double>(n);
    std::vector<char> used(dim, 0);
    std::vector<WeakLearner> learners;
    threads = std::max(1, threads);

    for (int round = 0; round < features; ++round) {
        std::vector<int> candidates;
        if (round == 0 && forcedFirst >= 0) {
            candidates.push_back(forcedFirst);
        } else {
            for (int p = 0; p < dim; ++p)
                if (!used[p]) candidates.push_back(p);
        }
        // Each position's histogram is summed by one thread in sample order, so the
        // outcome is the same for any thread count.
        std::vector<double> z(candidates.size());
        auto work = [&](int t) {
            std::vector<double> hist(2 * kCodes);
            for (size_t k = t; k < candidates.size(); k += threads) {
                Histogram(matrix.data() + static_cast<size_t>(candidates[k]) * n, weight.data(), np, n, hist.data());
                z[k] = ZOf(hist.data());
            }
        };
        if (threads == 1 || candidates.size() == 1) {
            work(0);
        } else {
            std::vector<std::thread> pool;
            for (int t = 0; t < threads; ++t) pool.emplace_back(work, t);
            for (auto& th : pool) th.join();
        }
        size_t best = 0;
        for (size_t k = 1; k < candidates.size(); ++k)
            if (z[k] < z[best]) best = k;

        WeakLearner learner;
        learner.position = candidates[best];
        const uint16_t* row = matrix.data() + static_cast<size_t>(learner.position) * n;
        std::vector<double> hist(2 * kCodes);
        Histogram(row, weight.data(), np, n, hist.data());
        for (int c = 0; c < kCodes; ++c) learner.h[c] = 0.5 * std::log((hist[2 * c] + eps) / (hist[2 * c + 1] + eps));
        used[learner.position] = 1;

        double total = 0;
        for (size_t i = 0; i < n; ++i) {
            double margin = i < np ? learner.h[row[i]] : -learner.h[row[i]];
            weight[i] *= std::exp(-margin);
            total += weight[i];
        }
        for (double& w : weight) w /= total;
        learners.push_back(learner);
    }
    return learners;
}

IntStage TablesForAlpha(const std::vector<WeakLearner>& learners, int threshold, int maxValue,
                        const std::vector<FixedEntry>& fixed, double alpha) {
    IntStage stage;
    stage.threshold = threshold;
    for (const WeakLearner& l : learners) {
        double lowest = std::numeric_limits<double>::infinity();
        for (double h : l.h) lowest = std::min(lowest, -h);
        std::array<int, kCodes> v{};
        for (int c = 0; c < kCodes; ++c) {
            double scaled = std::round(alpha * (-l.h[c] - lowest));
            v[c] = static_cast<int>(std::clamp(scaled, 0.0, static_cast<double>(maxValue)));
        }
        stage.positions.push_back(l.position);
        stage.values.push_back(v);
    }
    for (const FixedEntry& f : fixed) stage.values[f.feature][f.code] = f.value;
    return stage;
}

QuantizeResult QuantizeStage(const std::vector<WeakLearner>& learners, int threshold, int maxValue,
                             const std::vector<FixedEntry>& fixed, const Samples& positives, double targetRate) {
    // The pass rate falls as alpha grows (the threshold, seen in real units, is
    // threshold / alpha above the stage's lowest possible sum): search log alpha.
    double lo = std::log(1e-6), hi = std::log(1e6);
    for (int i = 0; i < 60; ++i) {
        double mid = 0.5 * (lo + hi);
        if (PassRate(TablesForAlpha(learners, threshold, maxValue, fixed, std::exp(mid)), positives) >= targetRate)
            lo = mid;
        else
            hi = mid;
    }
    QuantizeResult r;
    r.alpha = std::exp(lo);
    r.stage = TablesForAlpha(learners, threshold, maxValue, fixed, r.alpha);
    r.detectionRate = PassRate(r.stage, positives);
    return r;
}

int StageSum(const IntStage& stage, const uint16_t* sample) {
    int sum = 0;
    for (size_t k = 0; k < stage.positions.size(); ++k) sum += stage.values[k][sample[stage.positions[k]]];
    return sum;
}

bool StagePasses(const IntStage& stage, const uint16_t* sample) {
    return StageSum(stage, sample) <= stage.threshold;
}

double PassRate(const IntStage& stage, const Samples& samples) {
    if (samples.size() == 0) return 0;
    size_t pass = 0;
    for (size_t i = 0; i < samples.size(); ++i) pass += StagePasses(stage, samples.sample(i)) ? 1 : 0;
    return static_cast<double>(pass) / static_cast<double>(samples.size());
}

Samples FilterPassing(const std::vector<IntStage>& stages, const Samples& samples) {
    Samples out;
    out.dim = samples.dim;
    for (size_t i = 0; i < samples.size(); ++i) {
        bool pass = true;
        for (const IntStage& s : stages) pass = pass && StagePasses(s, samples.sample(i));
        if (pass) out.Add(samples.sample(i));
    }
    return out;
}

}  // namespace train
