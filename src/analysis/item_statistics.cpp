#include "analysis/item_statistics.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "analysis/normal_quantile.hpp"
#include "common/types.hpp"
#include "common/workers.hpp"

namespace tavrel {
namespace {

// Calls f(j, correct, q) for every response to the items j0..j1-1 that takes
// part, examinee by examinee in data order, with the examinee's passage rate q.
template <class F>
void forEachResponse(const ResponseView& data, const ExamineeScores& scores, std::size_t j0, std::size_t j1, F&& f) {
    if (data.presentItems) {
        for (std::size_t i = 0; i < data.nexaminees; ++i) {
            if (!scores.takesPart(i)) continue;
            const double q = scores.passageRate(i);
            for (const std::uint32_t entry : data.entriesOf(i, j0, j1)) f(entry >> 1, (entry & 1u) != 0, q);
        }
        return;
    }
    for (std::size_t i = 0; i < data.nexaminees; ++i) {
        if (!scores.takesPart(i)) continue;
        const char* x = data.responsesOf(i);
        const char* present = data.presenceOf(i);
        const double q = scores.passageRate(i);
        for (std::size_t j = j0; j < j1; ++j)
            if (present[j] == '1') f(j, x[j] == '1', q);
    }
}

// The statistics of the items j0..j1-1.
void describeItemRange(const ResponseView& data, const ExamineeScores& scores, std::size_t j0, std::size_t j1,
                       std::span<ItemStatistics> items) {
    constexpr double kInf = std::numeric_limits<double>::infinity();
    const std::size_t J = j1 - j0;

    // First pass: counts, and per item the sum, least and greatest passage
    // rate of its respondents. Every per-item sum runs in examinee order.
    // Counted apart from `items`, which other workers write beside.
    std::vector<std::int64_t> respondents(J, 0), correctCount(J, 0);
    std::vector<double> rateSum(J, 0.0), rateLowest(J, kInf), rateHighest(J, -kInf);
    forEachResponse(data, scores, j0, j1, [&](std::size_t j, bool correct, double q) {
        ++respondents[j - j0];
        correctCount[j - j0] += correct;
        rateSum[j - j0] = rateSum[j - j0] + q;
        rateLowest[j - j0] = std::min(rateLowest[j - j0], q);
        rateHighest[j - j0] = std::max(rateHighest[j - j0], q);
    });
    std::vector<double> meanQ(J);
    for (std::size_t j = j0; j < j1; ++j) {
        ItemStatistics& item = items[j];
        item.respondents = respondents[j - j0];
        item.correct = correctCount[j - j0];
        const double n = double(item.respondents);
        item.correctRate = double(item.correct) / n;
        item.threshold = normalQuantile(1.0 - item.correctRate);
        meanQ[j - j0] = rateSum[j - j0] / n;
    }

    // Second pass: sums of products of deviations from the means.
    std::vector<double> uu(J, 0.0), qq(J, 0.0), uq(J, 0.0);
    forEachResponse(data, scores, j0, j1, [&](std::size_t j, bool correct, double q) {
        const double du = double(correct) - items[j].correctRate;
        const double dq = q - meanQ[j - j0];
        uu[j - j0] = uu[j - j0] + du * du;
        qq[j - j0] = qq[j - j0] + dq * dq;
        uq[j - j0] = uq[j - j0] + du * dq;
    });
    for (std::size_t j = j0; j < j1; ++j) {
        ItemStatistics& item = items[j];
        const bool constantU = item.correct == 0 || item.correct == item.respondents;
        const bool constantQ = !(rateLowest[j - j0] < rateHighest[j - j0]);
        item.itemTotalCorrelation = constantU || constantQ ? kNaN : uq[j - j0] / std::sqrt(uu[j - j0] * qq[j - j0]);
    }
}

}  // namespace

std::vector<ItemStatistics> describeItems(const ResponseView& data, const ExamineeScores& scores, Workers& workers) {
    std::vector<ItemStatistics> items(data.nitems);
    forEachRange(workers, data.nitems, 2,
                 [&](std::size_t j0, std::size_t j1) { describeItemRange(data, scores, j0, j1, items); });
    return items;
}

}  // namespace tavrel
