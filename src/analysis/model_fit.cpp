#include "analysis/model_fit.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "estimation/rank_measures.hpp"

namespace tavrel {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// c log(c / n), 0 for a count of 0.
double countTerm(std::int64_t c, std::int64_t n) { return c == 0 ? 0.0 : double(c) * std::log(double(c) / double(n)); }

// min(max(x, 0), 1); a NaN stays NaN.
double clip(double x) { return std::isnan(x) ? x : std::min(std::max(x, 0.0), 1.0); }

// Weighted counts of the analysis model: for item j and rank k, row 2j holds
// the sum of m(i, k) over the examinees who answered j correctly and row
// 2j + 1 over those who answered it wrongly, each in examinee order. Row 2J
// takes the additions of responses that do not take part, so that the loop
// picks a row instead of branching on each response.
std::vector<double> weightedCounts(const FitInputs& in, const ExamineeScores& scores) {
    const std::size_t J = in.data.nitems;
    const std::size_t K = in.nranks;
    std::vector<double> sums((2 * J + 1) * K, 0.0);
    double* const discard = sums.data() + 2 * J * K;
    for (std::size_t i = 0; i < in.data.nexaminees; ++i) {
        if (!scores.takesPart(i)) continue;
        const char* x = in.data.responsesOf(i);
        const char* present = in.data.presenceOf(i);
        const double* m = in.membership.data() + i * K;
        for (std::size_t j = 0; j < J; ++j) {
            double* row = present[j] == '1' ? sums.data() + (2 * j + (x[j] == '1' ? 0 : 1)) * K : discard;
            for (std::size_t k = 0; k < K; ++k) row[k] = row[k] + m[k];
        }
    }
    return sums;
}

// The benchmark log-likelihood of every item: the examinees grouped by
// score, groups in ascending order of the score; returns G, the number of
// groups. Also the item totals for the null model.
std::size_t benchmarkLogLikelihoods(const FitInputs& in, const ExamineeScores& scores, std::vector<LogLikelihoods>& out,
                                    std::vector<std::int64_t>& respondents, std::vector<std::int64_t>& correct) {
    const std::size_t J = in.data.nitems;
    const std::size_t N = in.data.nexaminees;
    // The examinees who take part, ordered by score (stable: data order
    // within a group). Scores lie in 0..J.
    std::vector<std::size_t> first(J + 2, 0);
    for (std::size_t i = 0; i < N; ++i)
        if (scores.takesPart(i)) ++first[static_cast<std::size_t>(scores.score[i]) + 1];
    for (std::size_t s = 1; s < first.size(); ++s) first[s] += first[s - 1];
    std::vector<std::size_t> order(scores.scored);
    std::vector<std::size_t> next(first.begin(), first.end() - 1);
    for (std::size_t i = 0; i < N; ++i)
        if (scores.takesPart(i)) order[next[static_cast<std::size_t>(scores.score[i])]++] = i;

    std::size_t groups = 0;
    std::vector<std::int64_t> n(J), c1(J);
    for (std::size_t s = 0; s <= J; ++s) {
        if (first[s] == first[s + 1]) continue;
        ++groups;
        std::fill(n.begin(), n.end(), 0);
        std::fill(c1.begin(), c1.end(), 0);
        for (std::size_t at = first[s]; at < first[s + 1]; ++at) {
            const char* x = in.data.responsesOf(order[at]);
            const char* present = in.data.presenceOf(order[at]);
            for (std::size_t j = 0; j < J; ++j) {
                const bool answered = present[j] == '1';
                n[j] += answered;
                c1[j] += answered & (x[j] == '1');
            }
        }
        for (std::size_t j = 0; j < J; ++j) {
            out[j].benchmark = out[j].benchmark + (countTerm(c1[j], n[j]) + countTerm(n[j] - c1[j], n[j]));
            respondents[j] += n[j];
            correct[j] += c1[j];
        }
    }
    return groups;
}

}  // namespace

std::vector<LogLikelihoods> itemLogLikelihoods(const FitInputs& in, const ExamineeScores& scores) {
    const std::size_t J = in.data.nitems;
    const std::size_t K = in.nranks;
    std::vector<LogLikelihoods> items(J);

    const std::vector<double> counts = weightedCounts(in, scores);
    for (std::size_t j = 0; j < J; ++j) {
        double l = 0.0;
        for (std::size_t k = 0; k < K; ++k) {
            const double p = in.profile[j * K + k];
            const double right = counts[2 * j * K + k];
            const double wrong = counts[(2 * j + 1) * K + k];
            if (right != 0.0) l = l + right * logCorrect(p);
            if (wrong != 0.0) l = l + wrong * logIncorrect(p);
        }
        items[j].model = l;
    }

    std::vector<std::int64_t> respondents(J, 0), correct(J, 0);
    const double groups = double(benchmarkLogLikelihoods(in, scores, items, respondents, correct));
    for (std::size_t j = 0; j < J; ++j) {
        items[j].null = countTerm(correct[j], respondents[j]) + countTerm(respondents[j] - correct[j], respondents[j]);
        // Parameters: the learned cells, each weighted under the batch method
        // by the share of its own membership that the filter keeps.
        double parameters = 0.0;
        for (std::size_t k = 0; k < K; ++k) {
            if (in.fixedMask[j * K + k] != '1') continue;
            parameters = parameters + (in.filter.empty() ? 1.0 : in.filter[k * K + k]);
        }
        items[j].dfModel = groups - parameters;
        items[j].dfNull = groups - 1.0;
    }
    return items;
}

FitIndices fitIndices(const LogLikelihoods& l, std::size_t examinees) {
    if (examinees < 2) return missingFit();
    const double chiA = 2.0 * (l.benchmark - l.model);
    const double chiB = 2.0 * (l.benchmark - l.null);
    const double dfA = l.dfModel;
    const double dfB = l.dfNull;
    const double n = double(examinees);
    const bool positive = dfA > 0.0;
    FitIndices f;
    f.loglikModel = l.model;
    f.loglikBenchmark = l.benchmark;
    f.loglikNull = l.null;
    f.chisqModel = chiA;
    f.chisqNull = chiB;
    f.dfModel = dfA;
    f.dfNull = dfB;
    f.NFI = 1.0 - clip(chiA / chiB);
    f.RFI = positive ? 1.0 - clip((chiA / dfA) / (chiB / dfB)) : kNaN;
    f.IFI = 1.0 - clip((chiA - dfA) / (chiB - dfA));
    f.TLI = positive ? 1.0 - clip((chiA / dfA - 1.0) / (chiB / dfB - 1.0)) : kNaN;
    f.CFI = 1.0 - clip((chiA - dfA) / (chiB - dfB));
    f.RMSEA = positive ? std::sqrt(std::max(chiA - dfA, 0.0) / (dfA * (n - 1.0))) : kNaN;
    f.AIC = chiA - 2.0 * dfA;
    f.CAIC = chiA - dfA * (std::log(n) + 1.0);
    f.BIC = chiA - dfA * std::log(n);
    return f;
}

FitIndices missingFit() {
    return {kNaN, kNaN, kNaN, kNaN, kNaN, kNaN, kNaN, kNaN, kNaN, kNaN, kNaN, kNaN, kNaN, kNaN, kNaN, kNaN};
}

}  // namespace tavrel
