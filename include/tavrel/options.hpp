#pragma once
// The typed options of an analysis: every run parameter of the setting keys
// but the file names, with the same defaults, and which results to compute.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace tavrel {

// How the ranks are estimated. The values are the codes the engine uses.
enum class Method : char {
    Likelihood = 'M',  // sequential learning, the likelihood picks each examinee's rank (`ml`)
    Bayes = 'B',       // sequential learning, the posterior with the prior (`bayes`)
    Distance = 'L',    // sequential learning, the squared distance (`ls`)
    Batch = 'G',       // batch estimation with the smoothing filter across ranks (`batch`)
};

// The method a word names (case ignored): `ml`, `likelihood`, `l`; `map`,
// `bayes`, `bayesian`; `ed2`, `euclid`, `euclidean`, `e`, `distance`, `d`,
// `ls`; `gtm`, `batch`, `em`. Nothing for any other word.
std::optional<Method> methodFromWord(std::string_view word);
// The word the result files name a method by: `ml`, `bayes`, `ls`, `batch`.
std::string_view methodWord(Method method);

// Which results analyze() computes beyond the profile and the run summary.
// Each costs time and memory; a client asks for what it shows.
struct Requests {
    bool ranks = false;             // every examinee's latent rank
    bool memberships = false;       // every examinee's memberships (under Distance the likelihood's)
    bool distances = false;         // Distance only: every examinee's distances to the ranks
    bool statistics = false;        // the statistics (with the ranks and memberships they use)
    bool weightedRatios = false;    // the weighted observation ratio profile
    bool unweightedRatios = false;  // the unweighted observation ratio profile
    bool reportCounts = false;      // the report's counts (with the statistics)
    bool marginal = false;          // the marginal log-likelihood

    static Requests everything() { return {true, true, true, true, true, true, true, true}; }
};

// Arrays are borrowed for the call and must stay valid during it.
struct Options {
    std::int32_t nranks = 10;  // K, at least 1
    Method method = Method::Likelihood;
    std::int32_t maxiter = 100;  // passes of sequential learning; iteration limit of batch estimation
    std::int32_t seed = 0;       // of the examinee order; 0 or less takes the clock
    double alpha1 = 1.0;         // learning rate factor at the first pass
    double alphat = 0.1;         // learning rate factor at the last pass
    double sigma1 = 1.0;         // neighbourhood width at the first pass
    double sigmat = 0.12;        // neighbourhood width at the last pass
    double diffcrit = 0.0001;    // convergence criterion of batch estimation
    bool increase = false;       // sort every item's profile into ascending order after each pass
    // Sequential methods: runs with the seeds seed, seed + 1, ...; the one
    // with the largest marginal log-likelihood is kept. Below 1: one.
    std::int32_t restarts = 1;

    std::span<const double> prior;  // K probabilities, used as given; empty: 1/K each
    std::span<const char> itemUse;  // J flags, '0' takes an item out; empty: every item is used
    // A fixed profile: J x K values, item-major (item j, rank k at j*K + k),
    // and its mask, '0' where the cell is kept at its value and '1' where it
    // is learned. An empty mask: no fixed profile. With one, the finished
    // profile is oriented so that the test reference profile rises.
    std::span<const double> fixedValues;
    std::span<const char> fixedMask;
    std::optional<double> phi;  // batch smoothing: the weight a rank keeps; absent: the default for K

    std::size_t threads = 0;  // worker threads; 0: every processor the process may use (at most 256)
    // Where at least this share of the cells is missing (booklet designs),
    // the batch passes, the scoring and the statistics visit each examinee's
    // present responses instead of every cell. Speed alone: the results are
    // the same bits either way. Measured in instructions, 10,000 x 50,
    // K = 10: the list costs more below about 30 % missing and saves 25 % at
    // 50 %. 0: always; above 1: never.
    double listPresentFrom = 0.35;
    Requests requests;
};

}  // namespace tavrel
