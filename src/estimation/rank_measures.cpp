#include "estimation/rank_measures.hpp"

#include <algorithm>
#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "common/types.hpp"
#include "common/workers.hpp"
#include "estimation/rank_count.hpp"

namespace tavrel {
namespace {

inline double capMeasure(double s) { return s >= kDblMax ? kDblMax : s; }

double negLogLikelihood(std::size_t e, std::size_t k, const ResponseView& data, std::span<const double> profile,
                        std::size_t K) {
    const char* x = data.responsesOf(e);
    const char* present = data.presenceOf(e);
    double s = 0.0;
    for (std::size_t j = 0; j < data.nitems; ++j) {
        if (present[j] != '1') continue;
        const double p = profile[j * K + k];
        if (x[j] == '1')
            s = s - logCorrect(p);
        else if (x[j] == '0')
            s = s - logIncorrect(p);
    }
    return s;
}

}  // namespace

double rankDistance(std::size_t e, std::size_t k, const ResponseView& data, std::span<const double> profile,
                    std::size_t nranks) {
    const char* x = data.responsesOf(e);
    const char* present = data.presenceOf(e);
    double s = 0.0;
    for (std::size_t j = 0; j < data.nitems; ++j) {
        if (present[j] != '1') continue;
        const double d = double(x[j] - '0') - profile[j * nranks + k];
        s = s + d * d;
    }
    return s;
}

double rankNegLogLikelihood(std::size_t e, std::size_t k, const ResponseView& data, std::span<const double> profile,
                            std::size_t nranks) {
    return capMeasure(negLogLikelihood(e, k, data, profile, nranks));
}

double rankNegLogPosterior(std::size_t e, std::size_t k, const ResponseView& data, std::span<const double> profile,
                           std::span<const double> prior, std::size_t nranks) {
    const double s = negLogLikelihood(e, k, data, profile, nranks);
    return capMeasure(s - std::log(prior[k]));
}

std::int32_t bestRank(const double* measures, std::size_t K) {
    double best = measures[0];
    std::size_t winner = 0;
    for (std::size_t k = 1; k < K; ++k) {
        if (measures[k] < best) {
            best = measures[k];
            winner = k;
        }
    }
    return static_cast<std::int32_t>(winner);
}

namespace {

template <std::size_t KC>
void sweepDistance(const char* responses, const char* missing, const double* profile, std::size_t Kr,
                   std::size_t J, double* measures) {
    const std::size_t K = rankCount<KC>(Kr);
#if defined(__SSE2__)
    if constexpr (KC >= 2) {
        // Pairs of ranks in registers, each lane summing in item order; an
        // odd last rank runs alone.
        constexpr std::size_t kPairs = KC / 2;
        __m128d sums[kPairs];
        for (std::size_t q = 0; q < kPairs; ++q) sums[q] = _mm_setzero_pd();
        double last = 0.0;
        for (std::size_t j = 0; j < J; ++j) {
            if (missing[j] != '1') continue;
            const double x = double(responses[j] - '0');
            const __m128d response = _mm_set1_pd(x);
            const double* p = profile + j * K;
            for (std::size_t q = 0; q < kPairs; ++q) {
                const __m128d d = _mm_sub_pd(response, _mm_loadu_pd(p + 2 * q));
                sums[q] = _mm_add_pd(sums[q], _mm_mul_pd(d, d));
            }
            if constexpr (KC % 2 == 1) {
                const double d = x - p[KC - 1];
                last = last + d * d;
            }
        }
        for (std::size_t q = 0; q < kPairs; ++q) _mm_storeu_pd(measures + 2 * q, sums[q]);
        if constexpr (KC % 2 == 1) measures[KC - 1] = last;
        return;
    }
#endif
    double local[KC > 0 ? KC : 1];
    double* m = KC > 0 ? local : measures;
    for (std::size_t k = 0; k < K; ++k) m[k] = 0.0;
    for (std::size_t j = 0; j < J; ++j) {
        if (missing[j] != '1') continue;
        const double x = double(responses[j] - '0');
        const double* p = profile + j * K;
        for (std::size_t k = 0; k < K; ++k) {
            const double d = x - p[k];
            m[k] = m[k] + d * d;
        }
    }
    if (KC > 0)
        for (std::size_t k = 0; k < K; ++k) measures[k] = m[k];
}

void sweepNegLogLikelihood(const char* responses, const char* missing, const double* profile, std::size_t K,
                           std::size_t J, double* measures) {
    for (std::size_t k = 0; k < K; ++k) measures[k] = 0.0;
    for (std::size_t j = 0; j < J; ++j) {
        if (missing[j] != '1') continue;
        const double* p = profile + j * K;
        if (responses[j] == '1') {
            for (std::size_t k = 0; k < K; ++k) measures[k] = measures[k] - logCorrect(p[k]);
        } else if (responses[j] == '0') {
            for (std::size_t k = 0; k < K; ++k) measures[k] = measures[k] - logIncorrect(p[k]);
        }
    }
}

}  // namespace

void sweepRankMeasures(const char* responses, const char* missing, const double* profile, const double* logPrior,
                       std::size_t K, std::size_t J, char method, double* measures) {
    if (method == 'L') {
        withRankCount(K, [&](auto KC) { sweepDistance<KC>(responses, missing, profile, K, J, measures); });
        return;
    }
    sweepNegLogLikelihood(responses, missing, profile, K, J, measures);
    if (method == 'B')
        for (std::size_t k = 0; k < K; ++k) measures[k] = measures[k] - logPrior[k];
    for (std::size_t k = 0; k < K; ++k) measures[k] = capMeasure(measures[k]);
}

std::int32_t selectRank(std::size_t e, const ResponseView& data, std::span<const double> profile,
                        std::span<const double> prior, std::size_t nranks, char method) {
    const std::size_t K = nranks;
    std::vector<double> measures(K);
    std::vector<double> logPrior(method == 'B' ? K : 0);
    for (std::size_t k = 0; k < logPrior.size(); ++k) logPrior[k] = std::log(prior[k]);
    sweepRankMeasures(data.responsesOf(e), data.presenceOf(e), profile.data(), logPrior.data(), K, data.nitems,
                      method, measures.data());
    return bestRank(measures.data(), K);
}

void membershipFromMeasures(double* row, std::size_t K, char method) {
    for (std::size_t k = 0; k < K; ++k) {
        const double s = method == 'L' ? row[k] : std::exp(-row[k]);
        row[k] = s <= kDblMin ? kDblMin : s;
    }
    if (method == 'L') return;
    double sum = 0.0;
    for (std::size_t k = 0; k < K; ++k) sum = sum + row[k];
    const double floor = sum * kDblMin;
    for (std::size_t k = 0; k < K; ++k) row[k] = row[k] <= floor ? kDblMin : row[k] / sum;
}

void computeMembership(const ResponseView& data, std::span<const double> profile, std::span<const double> prior,
                       std::size_t nranks, char method, std::span<double> membership) {
    const RankScorer scorer(profile, prior, nranks, data.nitems, method);
    for (std::size_t i = 0; i < data.nexaminees; ++i) scorer.membershipRow(i, data, membership.data() + i * nranks);
}

void orientProfile(std::span<double> profile, std::size_t nranks) {
    const std::size_t K = nranks;
    const std::size_t J = profile.size() / K;
    double first = 0.0;
    double last = 0.0;
    for (std::size_t j = 0; j < J; ++j) {
        first = first + profile[j * K];
        last = last + profile[j * K + K - 1];
    }
    if (!(last < first)) return;
    for (std::size_t j = 0; j < J; ++j)
        for (std::size_t k = 0; k < K / 2; ++k) std::swap(profile[j * K + k], profile[j * K + K - 1 - k]);
}

RankScorer::RankScorer(std::span<const double> profile, std::span<const double> prior, std::size_t nranks,
                       std::size_t nitems, char method)
    : profile_(profile), K_(nranks), J_(nitems), method_(method) {
    if (method_ == 'L') return;
    if (method_ == 'B') {
        logPrior_.resize(K_);
        for (std::size_t k = 0; k < K_; ++k) logPrior_[k] = std::log(prior[k]);
    }
    logs_.assign(3 * K_ * J_, 0.0);
    for (std::size_t j = 0; j < J_; ++j) {
        double* rows = logs_.data() + 3 * j * K_;
        for (std::size_t k = 0; k < K_; ++k) {
            rows[k] = logIncorrect(profile_[j * K_ + k]);
            rows[K_ + k] = logCorrect(profile_[j * K_ + k]);
        }
    }
}

namespace {

template <std::size_t KC>
void sumLogTables(const char* x, const char* present, const double* logs, std::size_t Kr, std::size_t J,
                  double* out) {
    const std::size_t K = rankCount<KC>(Kr);
    double local[KC > 0 ? KC : 1];
    double* m = KC > 0 ? local : out;
    for (std::size_t k = 0; k < K; ++k) m[k] = 0.0;
    for (std::size_t j = 0; j < J; ++j) {
        const double* table = logs + (3 * j + responseCode(x[j], present[j])) * K;
        for (std::size_t k = 0; k < K; ++k) m[k] = m[k] - table[k];
    }
    if (KC > 0)
        for (std::size_t k = 0; k < K; ++k) out[k] = m[k];
}

// K sums over the present items alone, each in item order: add(entry, sums,
// K) adds one present response's terms. A missing item would add a row of
// zeros or leave the sums alone, so skipping it gives the same bits as the
// sweep over every cell.
template <std::size_t KC, class Add>
void sumPresent(std::span<const std::uint32_t> entries, std::size_t Kr, double* out, Add add) {
    const std::size_t K = rankCount<KC>(Kr);
    double local[KC > 0 ? KC : 1];
    double* m = KC > 0 ? local : out;
    for (std::size_t k = 0; k < K; ++k) m[k] = 0.0;
    for (const std::uint32_t entry : entries) add(entry, m, K);
    if (KC > 0)
        for (std::size_t k = 0; k < K; ++k) out[k] = m[k];
}

}  // namespace

void RankScorer::measures(std::size_t e, const ResponseView& data, double* out) const {
    const char* x = data.responsesOf(e);
    const char* present = data.presenceOf(e);
    if (method_ == 'L') {
        if (data.presentItems) {
            // sweepDistance's differences, added in the same item order.
            const double* const profile = profile_.data();
            const auto add = [profile](std::uint32_t entry, double* m, std::size_t K) {
                const double answer = double(entry & 1u);
                const double* p = profile + (entry >> 1) * K;
                for (std::size_t k = 0; k < K; ++k) {
                    const double d = answer - p[k];
                    m[k] = m[k] + d * d;
                }
            };
            withRankCount(K_, [&](auto KC) { sumPresent<KC>(data.entriesOf(e, 0, J_), K_, out, add); });
            return;
        }
        sweepRankMeasures(x, present, profile_.data(), nullptr, K_, J_, method_, out);
        return;
    }
    if (data.presentItems) {
        const double* const logs = logs_.data();
        const auto add = [logs](std::uint32_t entry, double* m, std::size_t K) {
            // Entry 2j + b picks row 3j + b: the entry plus j.
            const double* table = logs + (entry + (entry >> 1)) * K;
            for (std::size_t k = 0; k < K; ++k) m[k] = m[k] - table[k];
        };
        withRankCount(K_, [&](auto KC) { sumPresent<KC>(data.entriesOf(e, 0, J_), K_, out, add); });
    } else {
        withRankCount(K_, [&](auto KC) { sumLogTables<KC>(x, present, logs_.data(), K_, J_, out); });
    }
    if (method_ == 'B')
        for (std::size_t k = 0; k < K_; ++k) out[k] = out[k] - logPrior_[k];
    for (std::size_t k = 0; k < K_; ++k) out[k] = capMeasure(out[k]);
}

std::int32_t RankScorer::selectRank(std::size_t e, const ResponseView& data, double* scratch) const {
    measures(e, data, scratch);
    return bestRank(scratch, K_);
}

void RankScorer::membershipRow(std::size_t e, const ResponseView& data, double* row) const {
    measures(e, data, row);
    membershipFromMeasures(row, K_, method_);
}

void rankExaminees(const RankScorer& scorer, const ResponseView& data, std::span<std::int32_t> ranks,
                   std::span<double> membership, Workers& workers) {
    const std::size_t K = scorer.nranks();
    const std::size_t N = data.nexaminees;
    const auto rankBlock = [&](std::size_t first, std::size_t end) {
        std::vector<double> measures(K);
        for (std::size_t i = first; i < end; ++i) {
            scorer.measures(i, data, measures.data());
            if (!ranks.empty()) ranks[i] = bestRank(measures.data(), K);
            if (membership.empty()) continue;
            double* row = membership.data() + i * K;
            std::copy(measures.begin(), measures.end(), row);
            membershipFromMeasures(row, K, scorer.method());
        }
    };
    forEachRange(workers, N, 4, rankBlock, kPollRows);
}

}  // namespace tavrel
