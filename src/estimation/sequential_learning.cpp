#include "estimation/sequential_learning.hpp"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <memory>
#include <numeric>
#include <ostream>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "common/types.hpp"
#include "estimation/rank_count.hpp"
#include "estimation/rank_measures.hpp"

namespace tavrel {
namespace {

// alpha and sigma of pass t, moving linearly from the first to the last pass.
// With a single pass the schedule stands at its start (T - 1 would be 0).
struct PassSchedule {
    double alpha;
    double sigma;
};

PassSchedule scheduleAt(std::int32_t t, const LearningSchedule& s) {
    const std::int32_t T = s.maxiter;
    if (T == 1) return {s.alpha1, s.sigma1};
    const double later = double(t);
    const double earlier = double(std::int64_t{T} - 1 - t);
    const double span = double(std::int64_t{T} - 1);
    return {(earlier * s.alpha1 + later * s.alphat) / span, (earlier * s.sigma1 + later * s.sigmat) / span};
}

// exp(-d2 / (2 K^2 sigma^2)); at sigma 0 the limit of the Gaussian: 1 at the
// winner, 0 elsewhere.
double neighbourhood(std::int64_t d2, std::int64_t KK, double sigma) {
    const double denominator = ((2.0 * double(KK)) * sigma) * sigma;
    if (denominator == 0.0) return d2 == 0 ? 1.0 : 0.0;
    return std::exp((-double(d2)) / denominator);
}

double rateAt(std::int32_t k, std::int32_t w, const PassSchedule& pass, std::int32_t K, std::int32_t N) {
    const std::int64_t d = std::int64_t{k} - w;
    const std::int64_t KK = std::int64_t{K} * K;
    return ((double(K) * pass.alpha) / double(N)) * neighbourhood(d * d, KK, pass.sigma);
}

}  // namespace

void shuffleExaminees(std::span<std::int32_t> order, Lcg& generator) {
    const std::size_t n = order.size();
    for (std::size_t i = 0; i < n; ++i) {
        const auto m = static_cast<std::size_t>(generator.draw()) % n;
        std::swap(order[i], order[m]);
    }
}

double learningRate(std::int32_t k, std::int32_t w, std::int32_t t, const LearningSchedule& schedule,
                    std::int32_t nranks, std::int32_t nexaminees) {
    return rateAt(k, w, scheduleAt(t, schedule), nranks, nexaminees);
}

void sortProfileIncreasing(std::span<double> profile, std::size_t nranks) {
    const std::size_t K = nranks;
    const std::size_t J = profile.size() / K;
    for (std::size_t j = 0; j < J; ++j) {
        double* first = profile.data() + j * K;
        // Insertion sort for the usual handful of ranks; a merge sort beyond.
        // Both stay within the item's values whatever a NaN does to the order.
        if (K <= 32) {
            for (std::size_t a = 1; a < K; ++a) {
                const double v = first[a];
                std::size_t b = a;
                for (; b > 0 && v < first[b - 1]; --b) first[b] = first[b - 1];
                first[b] = v;
            }
        } else {
            std::stable_sort(first, first + K);
        }
    }
}

namespace {

// Moves the cells of examinee x's answered items toward the responses, each
// rank k at rate[k]. Items whose K cells are all learnable take a loop
// without the per-cell test.
template <std::size_t KC>
void updateExaminee(const char* x, const char* present, const char* fixed, const bool* wholeItemLearnable,
                    const double* rate, double* profile, std::size_t Kr, std::size_t J) {
    const std::size_t K = rankCount<KC>(Kr);
    for (std::size_t j = 0; j < J; ++j) {
        if (present[j] != '1') continue;
        const double xj = double(x[j] - '0');
        double* p = profile + j * K;
        if (wholeItemLearnable[j]) {
            std::size_t k = 0;
#if defined(__SSE2__)
            // Two ranks at a time: the same operations in the same order on
            // each lane, with max and min equal to the selections of
            // clipProbability (NaN included).
            const __m128d floor = _mm_set1_pd(kDblMin), ceiling = _mm_set1_pd(1.0), response = _mm_set1_pd(xj);
            for (; k + 2 <= K; k += 2) {
                const __m128d v = _mm_loadu_pd(p + k);
                const __m128d moved = _mm_add_pd(v, _mm_mul_pd(_mm_loadu_pd(rate + k), _mm_sub_pd(response, v)));
                _mm_storeu_pd(p + k, _mm_min_pd(ceiling, _mm_max_pd(floor, moved)));
            }
#endif
            for (; k < K; ++k) p[k] = clipProbability(p[k] + rate[k] * (xj - p[k]));
        } else {
            const char* learnable = fixed + j * K;
            for (std::size_t k = 0; k < K; ++k)
                if (learnable[k] == '1') p[k] = clipProbability(p[k] + rate[k] * (xj - p[k]));
        }
    }
}

}  // namespace

void learnSequential(const ResponseView& data, const Model& model, const SequentialSettings& settings,
                     std::ostream& console) {
    const std::size_t K = model.nranks;
    const std::size_t J = data.nitems;
    const std::size_t N = data.nexaminees;
    const LearningSchedule& schedule = settings.schedule;
    const std::int32_t T = schedule.maxiter;
    const char method = settings.method;
    // Counts as the rate's formula takes them.
    const auto nranks = static_cast<std::int32_t>(K);
    const auto nexaminees = static_cast<std::int32_t>(N);

    std::vector<std::int32_t> order(N);
    std::iota(order.begin(), order.end(), 0);
    std::int32_t seed = settings.seed;
    if (seed <= 0) seed = static_cast<std::int32_t>(std::time(nullptr));
    Lcg generator(seed);

    console << "Now calculating ";
    std::vector<double> measures(K);
    std::vector<double> rate(K);
    // The rate depends on the winner only through |k - w|: one neighbourhood
    // factor per rank distance and pass, the same values learningRate gives.
    std::vector<double> rateByDistance(K);
    std::vector<double> logPrior(method == 'B' ? K : 0);
    for (std::size_t k = 0; k < logPrior.size(); ++k) logPrior[k] = std::log(model.prior[k]);
    double* profileData = model.profile.data();
    const char* fixed = model.fixedMask.data();
    // std::vector<bool> packs bits; a plain array of flags is read per item.
    const std::unique_ptr<bool[]> wholeItemLearnable(new bool[J]);
    for (std::size_t j = 0; j < J; ++j)
        wholeItemLearnable[j] = std::all_of(fixed + j * K, fixed + (j + 1) * K, [](char c) { return c == '1'; });

    withRankCount(K, [&](auto KC) {
        for (std::int32_t t = 0; t < T; ++t) {
            shuffleExaminees(order, generator);
            const PassSchedule pass = scheduleAt(t, schedule);
            for (std::size_t d = 0; d < K; ++d)
                rateByDistance[d] = rateAt(static_cast<std::int32_t>(d), 0, pass, nranks, nexaminees);

            for (std::size_t s = 0; s < N; ++s) {
                const auto e = static_cast<std::size_t>(order[s]);
                const char* x = data.responsesOf(e);
                const char* present = data.presenceOf(e);
                sweepRankMeasures(x, present, profileData, logPrior.data(), K, J, method, measures.data());
                const auto w = static_cast<std::size_t>(bestRank(measures.data(), K));
                for (std::size_t k = 0; k < K; ++k) rate[k] = rateByDistance[k > w ? k - w : w - k];
                updateExaminee<KC>(x, present, fixed, wholeItemLearnable.get(), rate.data(), profileData, K, J);
            }
            if (settings.increase) sortProfileIncreasing(model.profile, K);
            if ((std::int64_t{t} * 20 + 20) % T == 0) console << '.';
        }
    });
    console << "\n";
}

}  // namespace tavrel
