#include "analysis/scores.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "common/types.hpp"
#include "common/workers.hpp"

namespace tavrel {
namespace {

// Sample standard deviation from the sum of squared deviations of n values;
// exactly 0 when the values are all equal, NaN for fewer than two values.
double sampleSd(double squares, std::size_t n, bool allEqual) {
    if (n < 2) return kNaN;
    return allEqual ? 0.0 : std::sqrt(squares / double(n - 1));
}

}  // namespace

ExamineeScores scoreExaminees(const ResponseView& data, Workers& workers) {
    const std::size_t J = data.nitems;
    const std::size_t N = data.nexaminees;
    ExamineeScores scores;
    scores.responses.resize(N);
    scores.score.resize(N);
    forEachRange(workers, N, 4, [&](std::size_t first, std::size_t end) {
        if (data.presentItems) {
            for (std::size_t i = first; i < end; ++i) {
                const std::span<const std::uint32_t> answers = data.entriesOf(i, 0, J);
                std::int32_t s = 0;
                for (const std::uint32_t entry : answers) s += static_cast<std::int32_t>(entry & 1u);
                scores.responses[i] = static_cast<std::int32_t>(answers.size());
                scores.score[i] = s;
            }
            return;
        }
        for (std::size_t i = first; i < end; ++i) {
            const char* x = data.responsesOf(i);
            const char* present = data.presenceOf(i);
            std::int32_t r = 0;
            std::int32_t s = 0;
            for (std::size_t j = 0; j < J; ++j) {
                const bool takesPart = present[j] == '1';
                r += takesPart;
                s += takesPart & (x[j] == '1');
            }
            scores.responses[i] = r;
            scores.score[i] = s;
        }
    });
    for (std::size_t i = 0; i < N; ++i) scores.scored += scores.takesPart(i);
    return scores;
}

ScoreStatistics describeScores(const ExamineeScores& scores) {
    ScoreStatistics st{kNaN, kNaN, kNaN, kNaN, kNaN, kNaN, kNaN, kNaN, kNaN};
    const std::size_t n = scores.scored;
    if (n == 0) return st;
    const std::size_t N = scores.responses.size();

    double sum = 0.0;
    double rateSum = 0.0;
    std::int32_t lowest = std::numeric_limits<std::int32_t>::max();
    std::int32_t highest = std::numeric_limits<std::int32_t>::min();
    double rateLowest = std::numeric_limits<double>::infinity();
    double rateHighest = -rateLowest;
    for (std::size_t i = 0; i < N; ++i) {
        if (!scores.takesPart(i)) continue;
        const std::int32_t s = scores.score[i];
        const double q = scores.passageRate(i);
        sum = sum + double(s);
        rateSum = rateSum + q;
        lowest = std::min(lowest, s);
        highest = std::max(highest, s);
        rateLowest = std::min(rateLowest, q);
        rateHighest = std::max(rateHighest, q);
    }
    const double count = double(n);
    st.mean = sum / count;
    st.rateMean = rateSum / count;
    st.min = double(lowest);
    st.max = double(highest);

    double m2 = 0.0, m3 = 0.0, m4 = 0.0, rate2 = 0.0;
    for (std::size_t i = 0; i < N; ++i) {
        if (!scores.takesPart(i)) continue;
        const double d = double(scores.score[i]) - st.mean;
        const double d2 = d * d;
        m2 = m2 + d2;
        m3 = m3 + d2 * d;
        m4 = m4 + d2 * d2;
        const double dq = scores.passageRate(i) - st.rateMean;
        rate2 = rate2 + dq * dq;
    }
    const bool constant = lowest == highest;
    st.sd = sampleSd(m2, n, constant);
    st.seMean = st.sd / std::sqrt(count);
    if (!constant) {
        const double c2 = m2 / count;
        st.skewness = (m3 / count) / std::pow(c2, 1.5);
        st.kurtosis = (m4 / count) / (c2 * c2) - 3.0;
    }
    st.rateSd = sampleSd(rate2, n, rateLowest == rateHighest);
    return st;
}

}  // namespace tavrel
