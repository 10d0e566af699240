#include "estimation/batch_estimation.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "common/types.hpp"
#include "estimation/rank_measures.hpp"
#include "estimation/sequential_learning.hpp"
#include "simulated_responses.hpp"

namespace tavrel {
namespace {

std::vector<double> filterOf(std::int32_t K, double phi) {
    std::vector<double> filter(std::size_t(K) * K, -1.0);
    buildSmoothingFilter(filter, K, phi);
    return filter;
}

struct Estimated {
    std::vector<double> profile;
    std::string console;
};

Estimated estimate(const std::string& responses, std::vector<double> profile, std::int32_t K, std::int32_t J,
                   double phi, std::int32_t maxiter, double diffcrit, std::string fixed = "", bool increase = false) {
    std::string mask;
    for (char c : responses) mask += (c == '0' || c == '1') ? '1' : '0';
    if (fixed.empty()) fixed.assign(profile.size(), '1');
    std::ostringstream console;
    estimateBatch(responses, mask, fixed, profile, std::vector<double>(K, 1.0 / K), filterOf(K, phi), maxiter,
                  diffcrit, K, J, std::int32_t(responses.size()) / J, increase, console);
    return {profile, console.str()};
}

TEST(SmoothingFilter, FormChosenByPhiAndColumnsSumToOne) {
    const double side = (1.0 - 0.6) / 2.0;
    EXPECT_EQ(filterOf(4, 0.6),
              (std::vector<double>{0.5, side, 0, 0, 0.5, 0.6, side, 0, 0, side, 0.6, 0.5, 0, 0, side, 0.5}));
    struct Row {
        std::int32_t K;
        double phi, centre, corner;  // entries (K/2, K/2) and (0, K-1)
    };
    const double third = 1.0 / 3.0;
    for (const Row& row : {Row{1, 0.5, 1.0, 1.0}, Row{2, 0.9, 0.5, 0.5}, Row{5, 1.0, 1.0, 0.0},
                           Row{5, third, third, 0.0}, Row{5, std::nextafter(third, 0.0), 0.2, 0.2},
                           Row{5, std::numeric_limits<double>::quiet_NaN(), 0.2, 0.2}, Row{6, 0.7, 0.7, 0.0}}) {
        SCOPED_TRACE(::testing::Message() << "K " << row.K << " phi " << row.phi);
        const std::vector<double> f = filterOf(row.K, row.phi);
        const auto K = std::size_t(row.K);
        EXPECT_EQ(f[K / 2 * K + K / 2], row.centre);
        EXPECT_EQ(f[K - 1], row.corner);
        for (std::size_t c = 0; c < K; ++c) {
            double sum = 0.0;
            for (std::size_t l = 0; l < K; ++l) sum += f[l * K + c];
            EXPECT_NEAR(sum, 1.0, 1e-15);
        }
    }
}

TEST(DefaultPhi, TableForOneToTwentyOneRanks) {
    const char* printed[] = {"1",    "0.95", "0.9",  "0.85", "0.8",  "0.76", "0.72", "0.68", "0.64", "0.6", "0.58",
                             "0.56", "0.54", "0.52", "0.5",  "0.48", "0.46", "0.44", "0.42", "0.4",  "0"};
    for (std::int32_t K = 1; K <= 21; ++K) {
        std::ostringstream console;
        EXPECT_NEAR(defaultPhi(K, console), std::stod(printed[K - 1]), 1e-15);
        EXPECT_EQ(console.str(), std::string("tavrel.exe: Note: phi = ") + printed[K - 1] + ".\n");
    }
    std::ostringstream console;
    EXPECT_EQ(defaultPhi(1, console), 1.0);  // exactly: the identity filter
    EXPECT_EQ(defaultPhi(0, console), 1.0);
    EXPECT_EQ(defaultPhi(40, console), 0.0);
}

TEST(BatchEstimation, TraceLinesAndConvergenceNote) {
    const std::string header = "iter\tLog-likelihood/(nN)\n";
    const std::string headerPattern = "iter\tLog-likelihood/\\(nN\\)\n";
    const std::string data = "110100.1010011";
    const std::vector<double> start{0.25, 0.5, 0.75, 0.25, 0.5, 0.75};
    for (std::int32_t maxiter : {0, -3}) {
        const Estimated none = estimate(data, start, 3, 2, 0.6, maxiter, 1e-4);
        EXPECT_EQ(none.console, header);
        EXPECT_EQ(none.profile, start);
    }
    EXPECT_TRUE(std::regex_match(estimate(data, start, 3, 2, 0.6, 1, 1e-4).console,
                                 std::regex(headerPattern + "1\t-0\\.[0-9]+\tchange\ntavrel\\.exe: Note: Convergence has "
                                                     "not been reached to criterion = 0\\.0001\\.\n")));
    // One rank: the second pass repeats the first, a change of exactly 0 meets a criterion of 0,
    // and no note follows even when that pass is the last.
    for (std::int32_t maxiter : {2, 5})
        EXPECT_TRUE(std::regex_match(estimate(data, {0.5, 0.5}, 1, 2, 0.6, maxiter, 0.0).console,
                                     std::regex(headerPattern + "1\t(-[0-9.]+)\tchange\n2\t\\1\t0\n")));
}

TEST(BatchEstimation, OnePassSetsEachItemFromItsAnswers) {
    // Item 1 answered only correctly, item 2 only wrongly, item 3 by nobody;
    // rank 2 of item 5 is fixed.
    const std::string data = "10.10" "10.01" "10.11" "1..00";
    std::vector<double> start(15);
    for (std::size_t c = 0; c < 15; ++c) start[c] = double(c % 3 + 1) / 4.0;
    start[13] = 0.9;
    for (double phi : {0.0, 0.6, 1.0}) {
        SCOPED_TRACE(phi);
        const std::vector<double> p = estimate(data, start, 3, 5, phi, 1, 1e-4, "111111111111101").profile;
        for (std::size_t k = 0; k < 3; ++k) {
            EXPECT_EQ(p[k], 1.0);
            EXPECT_EQ(p[3 + k], kDblMin);
            EXPECT_EQ(p[6 + k], start[6 + k]);
            EXPECT_TRUE(p[9 + k] > 0.0 && p[9 + k] < 1.0);
        }
        EXPECT_EQ(p[13], 0.9);
        if (phi == 0.0) {  // uniform filter: every learnable cell of an item alike
            EXPECT_TRUE(p[9] == p[10] && p[10] == p[11]);
            EXPECT_EQ(p[12], p[14]);
        }
    }
}

TEST(BatchEstimation, IncreaseLeavesEveryItemAscending) {
    const testing::SimulatedResponses data = testing::simulateResponses(80, 6, 4, 0.1, 4);
    const std::vector<double> descending(data.profile.rbegin(), data.profile.rend());
    const Estimated run = estimate(data.responses, descending, 4, 6, 0.5, 3, 0.0, "", true);
    for (std::size_t j = 0; j < 6; ++j)
        EXPECT_TRUE(std::is_sorted(run.profile.begin() + j * 4, run.profile.begin() + j * 4 + 4));
}

TEST(Estimation, LatentRanksRiseWithTotalScores) {
    const std::int32_t N = 400, J = 30, K = 5;
    const testing::SimulatedResponses data = testing::simulateResponses(N, J, K, 0.05, 11);
    const std::string fixed(std::size_t(J) * K, '1');
    const std::vector<double> prior(K, 1.0 / K);
    for (char method : {'L', 'M', 'B', 'G'}) {
        SCOPED_TRACE(method);
        std::vector<double> profile = data.profile;
        std::ostringstream console;
        if (method == 'G') {
            estimateBatch(data.responses, data.missingMask, fixed, profile, prior, filterOf(K, 0.8), 100, 1e-4, K,
                          J, N, false, console);
            EXPECT_EQ(console.str().find("Convergence"), std::string::npos) << console.str();
        } else {
            learnSequential(data.responses, data.missingMask, fixed, profile, prior, {50, 1.0, 0.1, 1.0, 0.12}, 3,
                            K, J, N, method, false, console);
        }
        double sx = 0, sy = 0, sxx = 0, syy = 0, sxy = 0;
        for (std::int32_t i = 0; i < N; ++i) {
            const double x = data.totalScore[i];
            const double y = selectRank(i, data.responses, data.missingMask, profile, prior, K, J, method);
            sx += x, sy += y, sxx += x * x, syy += y * y, sxy += x * y;
        }
        const double correlation = (N * sxy - sx * sy) / std::sqrt((N * sxx - sx * sx) * (N * syy - sy * sy));
        EXPECT_GT(correlation, 0.8);
    }
}

}  // namespace
}  // namespace tavrel
