#include "estimation/batch_estimation.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "common/types.hpp"

namespace tavrel {
namespace {

std::vector<double> filterOf(std::int32_t K, double phi) {
    std::vector<double> filter(std::size_t(K) * K, -1.0);
    buildSmoothingFilter(filter, K, phi);
    return filter;
}

TEST(SmoothingFilter, FormChosenByPhiAndColumnsSumToOne) {
    const double side = (1.0 - 0.6) / 2.0, third = 1.0 / 3.0;
    EXPECT_EQ(filterOf(4, 0.6),
              (std::vector<double>{0.5, side, 0, 0, 0.5, 0.6, side, 0, 0, side, 0.6, 0.5, 0, 0, side, 0.5}));
    struct Row {
        std::int32_t K;
        double phi, centre, corner;  // entries (K/2, K/2) and (0, K-1)
    };
    for (Row row : {Row{1, 0.5, 1.0, 1.0}, Row{2, 0.9, 0.5, 0.5}, Row{5, 1.0, 1.0, 0.0}, Row{5, third, third, 0.0},
                    Row{5, std::nextafter(third, 0.0), 0.2, 0.2}, Row{6, 0.7, 0.7, 0.0},
                    Row{5, std::numeric_limits<double>::quiet_NaN(), 0.2, 0.2}}) {
        const std::vector<double> f = filterOf(row.K, row.phi);
        const auto K = std::size_t(row.K);
        EXPECT_EQ(f[K / 2 * K + K / 2], row.centre) << K << ' ' << row.phi;
        EXPECT_EQ(f[K - 1], row.corner) << K << ' ' << row.phi;
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
}

TEST(BatchEstimation, OnePassSetsEachItemFromItsAnswers) {
    // Item 1 answered only correctly, item 2 only wrongly, item 3 by nobody; rank 2 of item 5 fixed.
    const std::string data = "10.1010.0110.111..00", mask = "11011110111101111001";
    std::vector<double> start(15);
    for (std::size_t c = 0; c < 15; ++c) start[c] = c == 13 ? 0.9 : double(c % 3 + 1) / 4.0;
    for (double phi : {0.0, 0.6, 1.0}) {
        std::vector<double> p = start;
        std::ostringstream console;
        estimateBatch(data, mask, "111111111111101", p, std::vector<double>(3, 1.0 / 3), filterOf(3, phi), 1, 1e-4,
                      3, 5, 4, false, console);
        for (std::size_t k = 0; k < 3; ++k) {
            EXPECT_EQ(p[k], 1.0);
            EXPECT_EQ(p[3 + k], kDblMin);
            EXPECT_EQ(p[6 + k], start[6 + k]);
        }
        EXPECT_EQ(p[13], 0.9);
        if (phi == 0.0) {  // uniform filter: every learnable cell of an item alike
            EXPECT_TRUE(p[9] == p[10] && p[10] == p[11] && p[12] == p[14]);
            EXPECT_TRUE(p[9] > 0.0 && p[9] < 1.0);
        }
    }
}

}  // namespace
}  // namespace tavrel
