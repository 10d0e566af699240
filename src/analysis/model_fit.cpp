#include "analysis/model_fit.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "common/types.hpp"
#include "common/workers.hpp"
#include "estimation/rank_measures.hpp"

namespace tavrel {
namespace {

// c log(c / n), 0 for a count of 0.
double countTerm(std::int64_t c, std::int64_t n) { return c == 0 ? 0.0 : double(c) * std::log(double(c) / double(n)); }

// min(max(x, 0), 1); a NaN stays NaN.
double clip(double x) { return std::isnan(x) ? x : std::min(std::max(x, 0.0), 1.0); }

// The analysis model's log-likelihood of the items j0..j1-1. Its weighted
// counts, for item j and rank k: the sum of m(i, k) over the examinees who
// answered j correctly and over those who answered it wrongly, each in
// examinee order. While counting, row 2(j - j0) + 1 holds the correct and
// row 2(j - j0) the wrong answers' sums, and a last row takes the additions
// of responses that do not take part, so that the loop picks a row instead of
// branching on each response.
void modelLogLikelihoods(const FitInputs& in, const ExamineeScores& scores, std::size_t j0, std::size_t j1,
                         std::span<LogLikelihoods> out) {
    const std::size_t K = in.nranks;
    const std::size_t J = j1 - j0;
    std::vector<double> sums((2 * J + 1) * K, 0.0);
    double* const discard = sums.data() + 2 * J * K;
    if (in.data.presentItems) {
        // Entry 2j + b adds to row 2(j - j0) + b.
        for (std::size_t i = 0; i < in.data.nexaminees; ++i) {
            const double* m = in.membership.data() + i * K;
            for (const std::uint32_t entry : in.data.entriesOf(i, j0, j1)) {
                double* row = sums.data() + (entry - 2 * j0) * K;
                for (std::size_t k = 0; k < K; ++k) row[k] = row[k] + m[k];
            }
        }
    } else {
        for (std::size_t i = 0; i < in.data.nexaminees; ++i) {
            if (!scores.takesPart(i)) continue;
            const char* x = in.data.responsesOf(i);
            const char* present = in.data.presenceOf(i);
            const double* m = in.membership.data() + i * K;
            for (std::size_t j = j0; j < j1; ++j) {
                double* row = present[j] == '1' ? sums.data() + (2 * (j - j0) + (x[j] == '1' ? 1 : 0)) * K : discard;
                for (std::size_t k = 0; k < K; ++k) row[k] = row[k] + m[k];
            }
        }
    }
    for (std::size_t j = j0; j < j1; ++j) {
        const double* wrong = sums.data() + 2 * (j - j0) * K;
        const double* right = wrong + K;
        double l = 0.0;
        for (std::size_t k = 0; k < K; ++k) {
            const double p = in.profile[j * K + k];
            if (right[k] != 0.0) l = l + right[k] * logCorrect(p);
            if (wrong[k] != 0.0) l = l + wrong[k] * logIncorrect(p);
        }
        out[j].model = l;
    }
}

// The examinees who take part, ordered by score (stable: data order within a
// group); group s holds order[first[s]] .. order[first[s + 1] - 1]. Scores lie
// in 0..J.
struct ScoreGroups {
    std::vector<std::size_t> first;
    std::vector<std::size_t> order;
    std::size_t groups = 0;  // G, the groups that hold examinees
};

ScoreGroups groupByScore(const ExamineeScores& scores, std::size_t J) {
    const std::size_t N = scores.responses.size();
    ScoreGroups g;
    g.first.assign(J + 2, 0);
    for (std::size_t i = 0; i < N; ++i)
        if (scores.takesPart(i)) ++g.first[static_cast<std::size_t>(scores.score[i]) + 1];
    for (std::size_t s = 1; s < g.first.size(); ++s) g.first[s] += g.first[s - 1];
    g.order.resize(scores.scored);
    std::vector<std::size_t> next(g.first.begin(), g.first.end() - 1);
    for (std::size_t i = 0; i < N; ++i)
        if (scores.takesPart(i)) g.order[next[static_cast<std::size_t>(scores.score[i])]++] = i;
    for (std::size_t s = 0; s <= J; ++s) g.groups += g.first[s] != g.first[s + 1];
    return g;
}

// The benchmark and null log-likelihoods of the items j0..j1-1: the groups in
// ascending order of the score.
void referenceLogLikelihoods(const FitInputs& in, const ScoreGroups& g, std::size_t j0, std::size_t j1,
                             std::span<LogLikelihoods> out) {
    const std::size_t J = j1 - j0;
    std::vector<std::int64_t> n(J), c1(J), respondents(J, 0), correct(J, 0);
    for (std::size_t s = 0; s + 1 < g.first.size(); ++s) {
        if (g.first[s] == g.first[s + 1]) continue;
        std::fill(n.begin(), n.end(), 0);
        std::fill(c1.begin(), c1.end(), 0);
        for (std::size_t at = g.first[s]; at < g.first[s + 1]; ++at) {
            if (in.data.presentItems) {
                for (const std::uint32_t entry : in.data.entriesOf(g.order[at], j0, j1)) {
                    ++n[(entry >> 1) - j0];
                    c1[(entry >> 1) - j0] += entry & 1u;
                }
                continue;
            }
            const char* x = in.data.responsesOf(g.order[at]);
            const char* present = in.data.presenceOf(g.order[at]);
            for (std::size_t j = j0; j < j1; ++j) {
                const bool answered = present[j] == '1';
                n[j - j0] += answered;
                c1[j - j0] += answered & (x[j] == '1');
            }
        }
        for (std::size_t j = 0; j < J; ++j) {
            out[j0 + j].benchmark = out[j0 + j].benchmark + (countTerm(c1[j], n[j]) + countTerm(n[j] - c1[j], n[j]));
            respondents[j] += n[j];
            correct[j] += c1[j];
        }
    }
    for (std::size_t j = 0; j < J; ++j)
        out[j0 + j].null = countTerm(correct[j], respondents[j]) + countTerm(respondents[j] - correct[j], respondents[j]);
}

}  // namespace

std::vector<LogLikelihoods> itemLogLikelihoods(const FitInputs& in, const ExamineeScores& scores, Workers& workers) {
    const std::size_t J = in.data.nitems;
    const std::size_t K = in.nranks;
    std::vector<LogLikelihoods> items(J);
    const ScoreGroups groups = groupByScore(scores, J);
    forEachRange(workers, J, 2, [&](std::size_t j0, std::size_t j1) {
        modelLogLikelihoods(in, scores, j0, j1, items);
        referenceLogLikelihoods(in, groups, j0, j1, items);
    });
    for (std::size_t j = 0; j < J; ++j) {
        // Parameters: the learned cells, each weighted under the batch method
        // by the share of its own membership that the filter keeps.
        double parameters = 0.0;
        for (std::size_t k = 0; k < K; ++k) {
            if (in.fixedMask[j * K + k] != '1') continue;
            parameters = parameters + (in.filter.empty() ? 1.0 : in.filter[k * K + k]);
        }
        items[j].dfModel = double(groups.groups) - parameters;
        items[j].dfNull = double(groups.groups) - 1.0;
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
