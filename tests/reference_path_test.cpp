// The estimation written the plain way, rank by rank with the per-rank
// measures and direct loops, must give the optimised engine's results to the
// bit: profiles, traces, memberships and winners.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>
#include <sstream>
#include <string>
#include <vector>

#include "common/types.hpp"
#include "estimation/batch_estimation.hpp"
#include "estimation/rank_measures.hpp"
#include "estimation/sequential_learning.hpp"
#include "simulated_responses.hpp"

namespace tavrel {
namespace {

struct Config {
    char method;
    std::int32_t N, J, K;
    double missing;
    bool fixedCells;  // also takes the last item out of use
    bool increase;
    std::int32_t seed, maxiter;
    double phi;
};

struct Problem {
    std::int32_t N, J, K;
    std::string responses, mask, fixed;
    std::vector<double> profile, prior;
};

Problem makeProblem(const Config& c) {
    testing::SimulatedResponses d = testing::simulateResponses(c.N, c.J, c.K, c.missing, std::uint64_t(c.seed));
    Problem p{c.N, c.J, c.K, d.responses, d.missingMask, std::string(d.profile.size(), '1'), d.profile, {}};
    for (std::int32_t k = 0; k < c.K; ++k) p.prior.push_back(2.0 * (k + 1) / (c.K * (c.K + 1.0)));
    if (c.missing > 0) std::fill_n(p.mask.begin(), c.J, '0');  // an examinee with nothing present
    if (!c.fixedCells) return p;
    for (std::size_t cell = 3; cell < p.fixed.size(); cell += 7) p.fixed[cell] = '0', p.profile[cell] = 0.9;
    for (std::int32_t i = 0; i < c.N; ++i) p.mask[std::size_t(i) * c.J + c.J - 1] = '0';
    return p;
}

double measure(const Problem& p, const std::vector<double>& profile, char method, std::size_t e, std::size_t k) {
    if (method == 'L') return rankDistance(e, k, p.responses, p.mask, profile, p.K, p.J);
    if (method == 'B') return rankNegLogPosterior(e, k, p.responses, p.mask, profile, p.prior, p.K, p.J);
    return rankNegLogLikelihood(e, k, p.responses, p.mask, profile, p.K, p.J);
}

std::int32_t referenceSelect(const Problem& p, const std::vector<double>& profile, char method, std::size_t e) {
    std::int32_t winner = 0;
    double best = measure(p, profile, method, e, 0);
    for (std::int32_t k = 1; k < p.K; ++k) {
        const double m = measure(p, profile, method, e, std::size_t(k));
        if (m < best) best = m, winner = k;
    }
    return winner;
}

std::vector<double> referenceMembership(const Problem& p, const std::vector<double>& profile, char method) {
    std::vector<double> m(std::size_t(p.N) * p.K);
    for (std::size_t i = 0; i < std::size_t(p.N); ++i) {
        double* row = m.data() + i * p.K;
        double S = 0.0;
        for (std::size_t k = 0; k < std::size_t(p.K); ++k) {
            const double s = method == 'L' ? measure(p, profile, method, i, k) : std::exp(-measure(p, profile, method, i, k));
            row[k] = s <= kDblMin ? kDblMin : s;
            S = S + row[k];
        }
        for (std::size_t k = 0; k < std::size_t(p.K) && method != 'L'; ++k)
            row[k] = row[k] <= S * kDblMin ? kDblMin : row[k] / S;
    }
    return m;
}

double clip(double v) { return v <= kDblMin ? kDblMin : (v >= 1.0 ? 1.0 : v); }

void sortItems(const Problem& p, std::vector<double>& profile) {
    for (std::size_t j = 0; j < std::size_t(p.J); ++j) std::sort(profile.begin() + j * p.K, profile.begin() + (j + 1) * p.K);
}

void referenceLearn(const Problem& p, std::vector<double>& profile, const LearningSchedule& s, std::int32_t seed,
                    char method, bool increase) {
    const std::int32_t T = s.maxiter, K = p.K, J = p.J, N = p.N;
    std::vector<std::int32_t> order(N);
    std::iota(order.begin(), order.end(), 0);
    Lcg generator(seed);
    for (std::int32_t t = 0; t < T; ++t) {
        for (std::int32_t i = 0; i < N; ++i) std::swap(order[i], order[generator.draw() % N]);
        double alpha = s.alpha1, sigma = s.sigma1;
        if (T > 1) {
            alpha = (double(T - 1 - t) * s.alpha1 + double(t) * s.alphat) / double(T - 1);
            sigma = (double(T - 1 - t) * s.sigma1 + double(t) * s.sigmat) / double(T - 1);
        }
        for (const std::int32_t e : order) {
            const std::int32_t w = referenceSelect(p, profile, method, std::size_t(e));
            for (std::int32_t k = 0; k < K; ++k) {
                const std::int64_t d2 = std::int64_t(k - w) * (k - w), KK = std::int64_t(K) * K;
                const double r = ((double(K) * alpha) / double(N)) * std::exp((-double(d2)) / (((2.0 * double(KK)) * sigma) * sigma));
                for (std::int32_t j = 0; j < J; ++j) {
                    if (p.fixed[j * K + k] != '1' || p.mask[e * J + j] != '1') continue;
                    const double x = double(p.responses[e * J + j] - '0'), q = profile[j * K + k];
                    profile[j * K + k] = clip(q + r * (x - q));
                }
            }
        }
        if (increase) sortItems(p, profile);
    }
}

std::string referenceBatch(const Problem& p, std::vector<double>& profile, const std::vector<double>& f,
                           std::int32_t T, double diffcrit, bool increase) {
    const std::size_t K = p.K, J = p.J, N = p.N;
    std::ostringstream out;
    out << "iter\tLog-likelihood/(nN)\n";
    double previous = 0.0;
    for (std::int32_t t = 0; t < T; ++t) {
        const std::vector<double> m = referenceMembership(p, profile, 'B');
        std::vector<double> w(N * K);
        for (std::size_t i = 0; i < N; ++i)
            for (std::size_t c = 0; c < K; ++c)
                for (std::size_t l = 0; l < K; ++l) w[i * K + c] = w[i * K + c] + m[i * K + l] * f[l * K + c];
        for (std::size_t j = 0; j < J; ++j) {
            for (std::size_t c = 0; c < K; ++c) {
                double num = 0.0, den = 0.0;
                for (std::size_t i = 0; i < N; ++i) {
                    if (p.mask[i * J + j] != '1') continue;
                    den = den + w[i * K + c];
                    if (p.responses[i * J + j] == '1') num = num + w[i * K + c];
                }
                if (p.fixed[j * K + c] == '1' && den != 0.0) profile[j * K + c] = clip(num / den);
            }
        }
        if (increase) sortItems(p, profile);
        double L = 0.0;
        for (std::size_t i = 0; i < N; ++i)
            for (std::size_t c = 0; c < K; ++c)
                for (std::size_t j = 0; j < J; ++j) {
                    const double q = profile[j * K + c], weight = w[i * K + c];
                    if (p.mask[i * J + j] != '1' || !(weight > kDblMin)) continue;
                    const bool correct = p.responses[i * J + j] == '1';
                    L = L + weight * std::log(correct ? (q <= kDblMin ? kDblMin : q) : (q >= 1.0 ? kDblMin : 1.0 - q));
                }
        const double v = L / double(std::int64_t(J) * std::int64_t(N));
        out << t + 1 << '\t' << v;
        if (t == 0) {
            out << "\tchange\n";
        } else {
            out << '\t' << std::fabs(v - previous) << '\n';
            if (std::fabs(v - previous) <= diffcrit) break;
        }
        previous = v;
        if (t >= T - 1) out << "tavrel.exe: Note: Convergence has not been reached to criterion = " << diffcrit << ".\n";
    }
    return out.str();
}

bool sameBits(const std::vector<double>& a, const std::vector<double>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

TEST(ReferencePath, OptimisedEstimationMatchesToTheBit) {
    const Config configs[] = {
        {'M', 60, 12, 5, 0.0, false, false, 1, 10, 0}, {'M', 60, 12, 5, 0.2, true, false, 2, 10, 0},
        {'B', 50, 10, 4, 0.2, false, true, 3, 10, 0},  {'L', 60, 12, 5, 0.1, true, false, 4, 10, 0},
        {'L', 40, 8, 3, 0.0, false, true, 5, 1, 0},    {'M', 30, 9, 1, 0.1, false, false, 6, 5, 0},
        {'B', 70, 15, 12, 0.3, true, true, 7, 6, 0},   {'G', 80, 12, 5, 0.0, false, false, 8, 15, 0.8},
        {'G', 80, 12, 6, 0.2, true, false, 9, 15, 0.6}, {'G', 60, 10, 4, 0.1, false, true, 10, 15, 0.0},
        {'G', 50, 8, 1, 0.1, false, false, 11, 5, 1.0}, {'G', 60, 10, 3, 0.1, true, false, 12, 40, 1.0},
    };
    for (const Config& c : configs) {
        SCOPED_TRACE(::testing::Message() << c.method << " K " << c.K << " seed " << c.seed);
        const Problem p = makeProblem(c);
        std::vector<double> fast = p.profile, slow = p.profile;
        std::ostringstream console;
        if (c.method == 'G') {
            std::vector<double> filter(std::size_t(c.K) * c.K);
            buildSmoothingFilter(filter, c.K, c.phi);
            estimateBatch(p.responses, p.mask, p.fixed, fast, p.prior, filter, c.maxiter, 1e-6, c.K, c.J, c.N,
                          c.increase, console);
            EXPECT_EQ(console.str(), referenceBatch(p, slow, filter, c.maxiter, 1e-6, c.increase));
        } else {
            const LearningSchedule schedule{c.maxiter, 1.0, 0.1, 1.0, 0.12};
            learnSequential(p.responses, p.mask, p.fixed, fast, p.prior, schedule, c.seed, c.K, c.J, c.N, c.method,
                            c.increase, console);
            referenceLearn(p, slow, schedule, c.seed, c.method, c.increase);
        }
        EXPECT_TRUE(sameBits(fast, slow));
        EXPECT_FALSE(sameBits(fast, p.profile));
        std::vector<double> membership(std::size_t(c.N) * c.K), scratch(c.K);
        for (char method : {'L', 'M', 'B'}) {
            computeMembership(p.responses, p.mask, fast, membership, p.prior, c.K, c.J, c.N, method);
            EXPECT_TRUE(sameBits(membership, referenceMembership(p, fast, method))) << method;
            const RankScorer scorer(fast, p.prior, c.K, c.J, method);
            for (std::int32_t i = 0; i < c.N; ++i) {
                const std::int32_t winner = referenceSelect(p, fast, method, std::size_t(i));
                EXPECT_EQ(selectRank(std::size_t(i), p.responses, p.mask, fast, p.prior, c.K, c.J, method), winner);
                EXPECT_EQ(scorer.selectRank(std::size_t(i), p.responses, p.mask, scratch.data()), winner);
            }
        }
    }
}

}  // namespace
}  // namespace tavrel
