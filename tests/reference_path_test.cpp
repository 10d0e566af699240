// The estimation on simulated data: the engine must give, to the bit, the
// results of a plain rendering (rank by rank with the per-rank measures, direct
// loops), and on realistic sizes its latent ranks must follow the total scores.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "console_record.hpp"
#include "common/types.hpp"
#include "common/workers.hpp"
#include "estimation/batch_estimation.hpp"
#include "estimation/rank_measures.hpp"
#include "estimation/sequential_learning.hpp"

namespace tavrel {
namespace {

struct Problem {
    std::size_t N, J, K;
    std::string x, mask, fixed;
    std::vector<double> profile, prior;

    ResponseView data() const { return {x, mask, J, N}; }
    double measure(const std::vector<double>& p, char method, std::size_t e, std::size_t k) const {
        if (method == 'L') return rankDistance(e, k, data(), p, K);
        return method == 'B' ? rankNegLogPosterior(e, k, data(), p, prior, K) : rankNegLogLikelihood(e, k, data(), p, K);
    }
    std::int32_t select(const std::vector<double>& p, char method, std::size_t e) const {
        std::size_t winner = 0;
        for (std::size_t k = 1; k < K; ++k)
            if (measure(p, method, e, k) < measure(p, method, e, winner)) winner = k;
        return std::int32_t(winner);
    }
    std::vector<double> membership(const std::vector<double>& p, char method) const {
        std::vector<double> m(N * K);
        for (std::size_t i = 0; i < N; ++i) {
            double S = 0.0;
            for (std::size_t k = 0; k < K; ++k) {
                const double s = method == 'L' ? measure(p, method, i, k) : std::exp(-measure(p, method, i, k));
                S = S + (m[i * K + k] = s <= kDblMin ? kDblMin : s);
            }
            for (std::size_t k = 0; k < K && method != 'L'; ++k)
                m[i * K + k] = m[i * K + k] <= S * kDblMin ? kDblMin : m[i * K + k] / S;
        }
        return m;
    }
    void store(std::vector<double>& p, std::size_t cell, double v) const {
        if (fixed[cell] == '1') p[cell] = v <= kDblMin ? kDblMin : (v >= 1.0 ? 1.0 : v);
    }
    void sortItems(std::vector<double>& p) const {
        for (std::size_t j = 0; j < J; ++j) std::sort(p.begin() + j * K, p.begin() + (j + 1) * K);
    }
};

// Examinees of K ordered true ranks; each item's chance of a correct answer
// rises with the rank. Prior rising with the rank; the profile as a run starts.
Problem simulate(std::size_t N, std::size_t J, std::size_t K, double missingShare, std::uint64_t seed) {
    Problem p{N, J, K, "", "", std::string(J * K, '1'), {}, {}};
    auto uniform = [state = seed * 0x9E3779B97F4A7C15ull]() mutable {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return double(state >> 11) * 0x1p-53;
    };
    for (std::size_t c = 0; c < J * K; ++c) p.profile.push_back(double(c % K + 1) / double(K + 1));
    for (std::size_t k = 0; k < K; ++k) p.prior.push_back(2.0 * double(k + 1) / double(K * (K + 1)));
    for (std::size_t i = 0; i < N; ++i) {
        const double ability = K == 1 ? 0.0 : (double(std::size_t(uniform() * K)) / double(K - 1) - 0.5) * 5.0;
        for (std::size_t j = 0; j < J; ++j) {
            const bool correct = uniform() < 1.0 / (1.0 + std::exp(double(j % 7) / 2.0 - 1.5 - ability));
            const bool present = uniform() >= missingShare;
            p.x += present ? (correct ? '1' : '0') : '.';
            p.mask += present ? '1' : '0';
        }
    }
    return p;
}

void learnPlainly(const Problem& p, std::vector<double>& profile, const LearningSchedule& s, std::int32_t seed,
                  char method, bool increase) {
    const auto K = std::int32_t(p.K), N = std::int32_t(p.N);
    std::vector<std::int32_t> order(p.N);
    for (std::int32_t i = 0; i < N; ++i) order[i] = i;
    Lcg generator(seed);
    for (std::int32_t t = 0; t < s.maxiter; ++t) {
        for (std::int32_t i = 0; i < N; ++i) std::swap(order[i], order[generator.draw() % N]);
        for (const std::int32_t e : order) {
            const std::int32_t w = p.select(profile, method, std::size_t(e));
            for (std::size_t cell = 0; cell < p.J * p.K; ++cell) {
                const std::size_t i = std::size_t(e) * p.J + cell / p.K;
                const double r = learningRate(std::int32_t(cell % p.K), w, t, s, K, N), q = profile[cell];
                if (p.mask[i] == '1') p.store(profile, cell, q + r * (double(p.x[i] - '0') - q));
            }
        }
        if (increase) p.sortItems(profile);
    }
}

std::string estimatePlainly(const Problem& p, std::vector<double>& profile, const std::vector<double>& filter,
                            std::int32_t T, double diffcrit, bool increase) {
    const std::size_t N = p.N, J = p.J, K = p.K;
    std::ostringstream out;
    out << "iter\tLog-likelihood/(nN)\n";
    double previous = 0.0;
    for (std::int32_t t = 0; t < T; ++t) {
        const std::vector<double> m = p.membership(profile, 'B');
        std::vector<double> w(N * K);
        for (std::size_t i = 0; i < N; ++i)
            for (std::size_t c = 0; c < K; ++c)
                for (std::size_t l = 0; l < K; ++l) w[i * K + c] = w[i * K + c] + m[i * K + l] * filter[l * K + c];
        for (std::size_t cell = 0; cell < J * K; ++cell) {
            double num = 0.0, den = 0.0;
            for (std::size_t i = 0, j = cell / K; i < N; ++i) {
                if (p.mask[i * J + j] == '1') den = den + w[i * K + cell % K];
                if (p.mask[i * J + j] == '1' && p.x[i * J + j] == '1') num = num + w[i * K + cell % K];
            }
            if (den != 0.0) p.store(profile, cell, num / den);
        }
        if (increase) p.sortItems(profile);
        double L = 0.0;
        for (std::size_t i = 0; i < N; ++i)
            for (std::size_t c = 0; c < K; ++c)
                for (std::size_t j = 0; j < J; ++j) {
                    const double q = profile[j * K + c], weight = w[i * K + c];
                    if (p.mask[i * J + j] != '1' || !(weight > kDblMin)) continue;
                    L = L + weight * std::log(p.x[i * J + j] == '1' ? (q <= kDblMin ? kDblMin : q)
                                                                    : (q >= 1.0 ? kDblMin : 1.0 - q));
                }
        const double v = L / double(std::int64_t(J) * std::int64_t(N)), d = std::fabs(v - previous);
        previous = v;
        out << t + 1 << '\t' << v;
        if (t == 0) out << "\tchange\n";
        else out << '\t' << d << '\n';
        if (t > 0 && d <= diffcrit) break;
        if (t == T - 1)
            out << "tavrel.exe: Note: Convergence has not been reached to criterion = " << diffcrit << ".\n";
    }
    return out.str();
}

// Every configuration runs on 1, 2, 3 and 8 workers (teams as large as the
// workers, whatever the machine), with the ranks split from the first cell.
TEST(ReferencePath, EngineMatchesThePlainEstimationToTheBitOnAnyNumberOfWorkers) {
    struct Config {
        char method;
        std::int32_t N, J, K, maxiter;
        double missing, phi, diffcrit;
        bool fixedCells, increase;  // fixedCells also takes the last item out of use
    };
    const Config configs[] = {
        {'M', 60, 12, 5, 10, 0.0, 0, 0, false, false},     {'M', 60, 12, 5, 10, 0.2, 0, 0, true, false},
        {'B', 60, 12, 4, 10, 0.2, 0, 0, false, true},      {'L', 60, 12, 5, 10, 0.1, 0, 0, true, false},
        {'L', 60, 12, 3, 1, 0.0, 0, 0, false, true},       {'M', 60, 12, 1, 5, 0.1, 0, 0, false, false},
        {'B', 60, 12, 40, 4, 0.3, 0, 0, true, true},       {'G', 60, 12, 5, 15, 0.0, 0.8, 1e-6, false, false},
        {'G', 60, 12, 6, 15, 0.2, 0.6, 1e-6, true, false}, {'G', 60, 12, 4, 15, 0.1, 0.6, 1e-6, true, true},
        {'G', 60, 12, 1, 5, 0.1, 1.0, 0.0, false, false},  {'G', 60, 12, 3, 40, 0.1, 1.0, 1e-6, true, false},
        {'G', 60, 12, 3, 1, 0.1, 0.2, 1e-6, false, false}, {'G', 60, 12, 3, 0, 0.1, 0.5, 1e-6, false, false},
        // More ranks than the compile-time rank counts cover.
        {'M', 60, 12, 17, 4, 0.1, 0, 0, true, false},      {'L', 60, 12, 20, 4, 0.1, 0, 0, false, true},
        {'G', 60, 12, 18, 10, 0.1, 0.5, 1e-6, true, true}, {'B', 7, 12, 9, 6, 0.1, 0, 0, false, false},
        // Steps beyond 1: updates clipped at DBL_MIN and 1, items answered one way only.
        {'M', 4, 12, 5, 1, 0.0, 0, 0, true, false},        {'G', 4, 12, 3, 5, 0.0, 0.0, 1e-6, false, false},
        // Realistic sizes: the latent ranks must follow the total scores.
        {'L', 400, 30, 5, 30, 0.05, 0, 0, false, false},   {'M', 400, 30, 5, 30, 0.05, 0, 0, false, false},
        {'B', 400, 30, 5, 30, 0.05, 0, 0, false, false},   {'G', 400, 30, 5, 100, 0.05, 0.8, 1e-4, false, false},
    };
    Workers one(1), two(2, 2), three(3, 3), eight(8, 8);
    Workers* const pools[] = {&one, &two, &three, &eight};
    std::int32_t seed = 0;
    for (const Config& c : configs) {
        SCOPED_TRACE(::testing::Message() << c.method << " K " << c.K << " seed " << ++seed);
        Problem p = simulate(std::size_t(c.N), std::size_t(c.J), std::size_t(c.K), c.missing, std::uint64_t(seed));
        const std::int32_t N = c.N, J = c.J, K = c.K;
        if (c.missing > 0) std::fill_n(p.mask.begin(), J, '0');  // an examinee with nothing present
        for (std::size_t cell = 3; c.fixedCells && cell < p.fixed.size(); cell += 7)
            p.fixed[cell] = '0', p.profile[cell] = 0.9;
        for (std::size_t i = 0; c.fixedCells && i < p.N; ++i) p.mask[i * p.J + p.J - 1] = '0';
        std::vector<double> plain = p.profile, fast;
        std::vector<double> filter(p.K * p.K);
        buildSmoothingFilter(filter, K, c.phi);
        const LearningSchedule schedule{c.maxiter, 1.0, 0.1, 1.0, 0.12};
        std::string plainConsole;
        if (c.method == 'G')
            plainConsole = estimatePlainly(p, plain, filter, c.maxiter, c.diffcrit, c.increase);
        else
            learnPlainly(p, plain, schedule, seed, c.method, c.increase);
        for (Workers* workers : pools) {
            SCOPED_TRACE(::testing::Message() << workers->count() << " workers");
            fast = p.profile;
            ConsoleRecord console;
            if (c.method == 'G') {
                estimateBatch(p.data(), {fast, p.fixed, p.prior, p.K}, filter, {c.maxiter, c.diffcrit, c.increase},
                              *workers, console);
            } else {
                learnSequential(p.data(), {fast, p.fixed, p.prior, p.K}, {schedule, seed, c.method, c.increase, 0},
                                *workers, console);
                if (workers == &one) plainConsole = console.str();
            }
            EXPECT_EQ(console.str(), plainConsole);
            EXPECT_EQ(fast, plain);  // == on doubles: equal to the bit, as no value is a NaN or -0
        }
        std::vector<double> membership(p.N * p.K);
        for (char method : {'L', 'M', 'B'}) {
            computeMembership(p.data(), fast, p.prior, p.K, method, membership);
            EXPECT_EQ(membership, p.membership(fast, method)) << method;
            for (std::size_t i = 0; i < p.N; ++i)
                EXPECT_EQ(selectRank(i, p.data(), fast, p.prior, p.K, method), p.select(fast, method, i));
        }
        if (N < 400) continue;
        EXPECT_EQ(plainConsole.find("Convergence"), std::string::npos);
        double sx = 0, sy = 0, sxx = 0, syy = 0, sxy = 0;
        for (std::size_t i = 0; i < p.N; ++i) {
            const double x = double(std::count(p.x.begin() + i * p.J, p.x.begin() + (i + 1) * p.J, '1'));
            const double y = selectRank(i, p.data(), fast, p.prior, p.K, c.method);
            sx += x, sy += y, sxx += x * x, syy += y * y, sxy += x * y;
        }
        EXPECT_GT((N * sxy - sx * sy) / std::sqrt((N * sxx - sx * sx) * (N * syy - sy * sy)), 0.8);
    }
}

}  // namespace
}  // namespace tavrel
