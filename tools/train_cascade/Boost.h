// Boosting one cascade stage of lookup-table features over census codes, and
// turning its real-valued tables into the integer tables the runtime adds up.
//
// A sample is the census codes of one window at the candidate positions (the
// window without its one-pixel border, row by row). A feature is one candidate
// position with a value per code; lower stage sums are more face- (eye-) like.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace train {

constexpr int kCodes = 511;

struct Samples {
    int dim = 0;                  // candidate positions per sample
    std::vector<uint16_t> codes;  // sample after sample
    size_t size() const { return dim ? codes.size() / static_cast<size_t>(dim) : 0; }
    const uint16_t* sample(size_t i) const { return codes.data() + i * static_cast<size_t>(dim); }
    void Add(const uint16_t* c) {
        size_t at = codes.size();
        codes.resize(at + static_cast<size_t>(dim));
        for (int p = 0; p < dim; ++p) codes[at + p] = c[p];
    }
    void Append(const Samples& other) { codes.insert(codes.end(), other.codes.begin(), other.codes.end()); }
};

// Reservoir sampling: keeps a uniform random subset of at most `cap` of the items
// offered one by one.
struct Reservoir {
    explicit Reservoir(size_t capacity) : cap(capacity) {}
    size_t cap;
    uint64_t seen = 0;
    // Where the item offered now goes when `held` items are kept: `held` to
    // append it, a smaller slot to replace that item, or -1 to drop it.
    long Offer(size_t held, std::mt19937& rng);
};

// Keeps `target` of the samples, chosen by a shuffle seeded from `seed` and `key`,
// in their original order.
Samples Subsample(const Samples& all, size_t target, uint64_t seed, const std::string& key);

// One confidence-rated weak learner: h[c] > 0 votes for the object.
struct WeakLearner {
    int position = 0;
    std::array<double, kCodes> h{};
};

// Real AdaBoost over positions: `features` rounds, each picking the unused position
// whose weighted code histograms minimise Z = 2 sum_c sqrt(W+(c) W-(c)); round 0
// takes `forcedFirst`. Positives and negatives start with half the weight each.
// The result does not depend on `threads`.
std::vector<WeakLearner> BoostStage(const Samples& positives, const Samples& negatives, int features, int forcedFirst,
                                    int threads);

// Integer tables of one stage as the runtime stores them.
struct IntStage {
    std::vector<int> positions;
    std::vector<std::array<int, kCodes>> values;
    int threshold = 0;
};

// A table entry that must keep a given value whatever the training says.
struct FixedEntry {
    int feature;  // index within the stage
    int code;
    int value;
};

struct QuantizeResult {
    IntStage stage;
    double alpha = 0;
    double detectionRate = 0;  // positives with sum <= threshold
};

// Values v_k(c) = clamp(round(alpha (-h_k(c) - min_c(-h_k))), 0, maxValue), the fixed
// entries overwritten, with the largest alpha for which at least `targetRate` of
// the positives still have a stage sum <= threshold.
QuantizeResult QuantizeStage(const std::vector<WeakLearner>& learners, int threshold, int maxValue,
                             const std::vector<FixedEntry>& fixed, const Samples& positives, double targetRate);

// Integer tables for one alpha (the step QuantizeStage searches over).
IntStage TablesForAlpha(const std::vector<WeakLearner>& learners, int threshold, int maxValue,
                        const std::vector<FixedEntry>& fixed, double alpha);

int StageSum(const IntStage& stage, const uint16_t* sample);
bool StagePasses(const IntStage& stage, const uint16_t* sample);
// Share of the samples whose sum is within the threshold.
double PassRate(const IntStage& stage, const Samples& samples);
// The samples passing every given stage.
Samples FilterPassing(const std::vector<IntStage>& stages, const Samples& samples);

}  // namespace train
