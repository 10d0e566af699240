#include "estimation/batch_estimation.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "console_record.hpp"
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
    // K, phi and the expected entries (K/2, K/2) and (0, K-1): identity, band or uniform.
    const double rows[][4] = {{1, 0.5, 1, 1},   {2, 0.9, 0.5, 0.5},   {5, 1, 1, 0},           {5, third, third, 0},
                              {6, 0.7, 0.7, 0}, {5, std::nan(""), 0.2, 0.2}, {5, std::nextafter(third, 0.0), 0.2, 0.2}};
    for (const auto& row : rows) {
        const auto K = std::size_t(row[0]);
        const std::vector<double> f = filterOf(std::int32_t(K), row[1]);
        EXPECT_EQ(f[K / 2 * K + K / 2], row[2]) << K << ' ' << row[1];
        EXPECT_EQ(f[K - 1], row[3]) << K << ' ' << row[1];
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
        ConsoleRecord console;
        // K = 1 exactly 1: the identity filter.
        EXPECT_NEAR(defaultPhi(K, console), std::stod(printed[K - 1]), K == 1 ? 0.0 : 1e-15);
        EXPECT_EQ(console.str(), std::string("tavrel.exe: Note: phi = ") + printed[K - 1] + ".\n");
    }
}

TEST(BatchEstimation, OnePassSetsEachItemFromItsAnswers) {
    // Item 1 answered only correctly, item 2 only wrongly, items 3 and 4 both ways.
    const std::string data = "101010011011", mask(12, '1');
    for (double phi : {0.0, 0.6, 1.0}) {
        std::vector<double> p{0.25, 0.5, 0.75, 0.25, 0.5, 0.75, 0.25, 0.5, 0.75, 0.25, 0.5, 0.75};
        ConsoleRecord console;
        const std::string fixed(12, '1');
        const std::vector<double> prior(3, 1.0 / 3);
        Workers one;
        estimateBatch({data, mask, 4, 3}, {p, fixed, prior, 3}, filterOf(3, phi), {1, 0.0, false}, one, console);
        EXPECT_EQ(std::vector<double>(p.begin(), p.begin() + 6),
                  (std::vector<double>{1, 1, 1, kDblMin, kDblMin, kDblMin}));
        // The uniform filter leaves every cell of an item alike.
        EXPECT_EQ(phi == 0.0, p[6] == p[7] && p[7] == p[8] && p[9] == p[10] && p[10] == p[11]) << phi;
    }
}

}  // namespace
}  // namespace tavrel
