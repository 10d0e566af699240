#pragma once
// How well an examinee's responses fit each latent rank: the three measures,
// the winning rank, the rank memberships, and the orientation of a finished
// profile.
//
// Layouts: RankProfile and FixedMask j*K + k; ResponseMatrix and MissingMask
// i*J + j; MembershipMatrix i*K + k. Method 'L' is the squared distance, 'B'
// the negative log posterior, every other code the negative log likelihood.

#include <cmath>
#include <cstdint>
#include <span>
#include <vector>

#include "common/run_views.hpp"
#include "common/types.hpp"

namespace tavrel {

class Workers;

// Sum over present items of (x - p)^2.
double rankDistance(std::size_t e, std::size_t k, const ResponseView& data, std::span<const double> profile,
                    std::size_t nranks);
// Sum over present items of -log(p) for '1' and -log(1 - p) for '0', each
// probability floored at DBL_MIN; capped at DBL_MAX.
double rankNegLogLikelihood(std::size_t e, std::size_t k, const ResponseView& data, std::span<const double> profile,
                            std::size_t nranks);
// The likelihood measure minus log(prior[k]), capped at DBL_MAX.
double rankNegLogPosterior(std::size_t e, std::size_t k, const ResponseView& data, std::span<const double> profile,
                           std::span<const double> prior, std::size_t nranks);

// The rank with the smallest measure; ties go to the lowest rank, and a
// measure that is not a number is never preferred.
std::int32_t selectRank(std::size_t e, const ResponseView& data, std::span<const double> profile,
                        std::span<const double> prior, std::size_t nranks, char method);

// Fills every row of the MembershipMatrix: exp(-measure) floored at DBL_MIN
// and normalised over the ranks ('L': the floored distance itself).
void computeMembership(const ResponseView& data, std::span<const double> profile, std::span<const double> prior,
                       std::size_t nranks, char method, std::span<double> membership);

// Reverses every item's ranks when the last rank's total over the items is
// below the first's.
void orientProfile(std::span<double> profile, std::size_t nranks);

// A probability's logarithm for a correct response, the probability floored
// at DBL_MIN, and for an incorrect one, 1 - p taken as DBL_MIN when p >= 1.
inline double logCorrect(double p) { return std::log(p <= kDblMin ? kDblMin : p); }
inline double logIncorrect(double p) { return std::log(p >= 1.0 ? kDblMin : 1.0 - p); }

// Floor at DBL_MIN, then ceiling at 1; a NaN passes both. Each selection is
// written in the one form whose result equals the processor's max and min
// instructions, NaN included, so it compiles to them instead of branches (at
// v equal to a bound both forms give the same value).
inline double clipProbability(double v) {
    v = kDblMin > v ? kDblMin : v;
    return 1.0 < v ? 1.0 : v;
}

// The row of a cell's log table that a response selects: 0 for '0', 1 for
// '1', 2 (a row of zeros) when the response is missing. Computed without
// branches: the mix of right and wrong answers in real data defeats branch
// prediction, and adding a zero leaves every sum as it was.
inline unsigned responseCode(char response, char present) {
    const unsigned on = present == '1';
    return 2u - on * (unsigned(response == '1') + 2u * unsigned(response == '0'));
}

// Measures of all ranks of one examinee in one sweep over its present items.
// The K values of an item are contiguous, and each rank's sum runs in item
// order, so every measure equals the per-rank operation's to the bit.
// logPrior holds log(prior[k]); only 'B' reads it, so a caller takes the K
// logarithms once rather than once per examinee.
void sweepRankMeasures(const char* responses, const char* missing, const double* profile, const double* logPrior,
                       std::size_t K, std::size_t J, char method, double* measures);

// The winning rank from a row of K measures.
std::int32_t bestRank(const double* measures, std::size_t K);

// Turns a row of K measures into memberships in place.
void membershipFromMeasures(double* row, std::size_t K, char method);

// Scores examinees against a profile that stays fixed for the object's life:
// each cell's logarithms are taken once, not once per examinee. The sums and
// hence every measure equal those of the operations above.
class RankScorer {
public:
    RankScorer(std::span<const double> profile, std::span<const double> prior, std::size_t nranks,
               std::size_t nitems, char method);

    // The K measures of examinee e into `measures`.
    void measures(std::size_t e, const ResponseView& data, double* measures) const;
    std::int32_t selectRank(std::size_t e, const ResponseView& data, double* scratch) const;
    void membershipRow(std::size_t e, const ResponseView& data, double* row) const;

    std::size_t nranks() const { return K_; }
    char method() const { return method_; }

private:
    std::span<const double> profile_;
    std::size_t K_;
    std::size_t J_;
    char method_;
    // Per item three rows of K: log(1 - p) (log(DBL_MIN) when p >= 1),
    // log(max(p, DBL_MIN)), zeros; picked by responseCode.
    std::vector<double> logs_;
    std::vector<double> logPrior_;  // log(prior[k]), for 'B'
};

// Every examinee's latent rank (0-based) and membership row under the
// scorer's method, both from one sweep of its measures; an empty output is
// not filled. The ranks are those of selectRank, the rows those of
// computeMembership. Examinees are scored in blocks on the workers.
void rankExaminees(const RankScorer& scorer, const ResponseView& data, std::span<std::int32_t> ranks,
                   std::span<double> membership, Workers& workers);

}  // namespace tavrel
