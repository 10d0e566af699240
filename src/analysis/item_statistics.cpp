#include "analysis/item_statistics.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "analysis/normal_quantile.hpp"

namespace tavrel {
namespace {

// Calls f(j, correct, q) for every response that takes part, examinee by
// examinee in data order, with the examinee's passage rate q.
template <class F>
void forEachResponse(const ResponseView& data, const ExamineeScores& scores, F&& f) {
    for (std::size_t i = 0; i < data.nexaminees; ++i) {
        if (!scores.takesPart(i)) continue;
        const char* x = data.responsesOf(i);
        const char* present = data.presenceOf(i);
        const double q = scores.passageRate(i);
        for (std::size_t j = 0; j < data.nitems; ++j)
            if (present[j] == '1') f(j, x[j] == '1', q);
    }
}

}  // namespace

std::vector<ItemStatistics> describeItems(const ResponseView& data, const ExamineeScores& scores) {
    const std::size_t J = data.nitems;
    constexpr double kInf = std::numeric_limits<double>::infinity();
    std::vector<ItemStatistics> items(J);

    // First pass: counts, and per item the sum, least and greatest passage
    // rate of its respondents. Every per-item sum runs in examinee order.
    std::vector<double> rateSum(J, 0.0), rateLowest(J, kInf), rateHighest(J, -kInf);
    forEachResponse(data, scores, [&](std::size_t j, bool correct, double q) {
        ++items[j].respondents;
        items[j].correct += correct;
        rateSum[j] = rateSum[j] + q;
        rateLowest[j] = std::min(rateLowest[j], q);
        rateHighest[j] = std::max(rateHighest[j], q);
    });
    std::vector<double> meanU(J), meanQ(J);
    for (std::size_t j = 0; j < J; ++j) {
        ItemStatistics& item = items[j];
        const double n = double(item.respondents);
        item.correctRate = double(item.correct) / n;
        item.threshold = normalQuantile(1.0 - item.correctRate);
        meanU[j] = item.correctRate;
        meanQ[j] = rateSum[j] / n;
    }

    // Second pass: sums of products of deviations from the means.
    std::vector<double> uu(J, 0.0), qq(J, 0.0), uq(J, 0.0);
    forEachResponse(data, scores, [&](std::size_t j, bool correct, double q) {
        const double du = double(correct) - meanU[j];
        const double dq = q - meanQ[j];
        uu[j] = uu[j] + du * du;
        qq[j] = qq[j] + dq * dq;
        uq[j] = uq[j] + du * dq;
    });
    for (std::size_t j = 0; j < J; ++j) {
        ItemStatistics& item = items[j];
        const bool constantU = item.correct == 0 || item.correct == item.respondents;
        const bool constantQ = !(rateLowest[j] < rateHighest[j]);
        item.itemTotalCorrelation = constantU || constantQ ? std::numeric_limits<double>::quiet_NaN()
                                                           : uq[j] / std::sqrt(uu[j] * qq[j]);
    }
    return items;
}

}  // namespace tavrel
