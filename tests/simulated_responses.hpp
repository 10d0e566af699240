#pragma once
// Seeded response data for the estimation tests: examinees of K ordered true
// ranks answering items whose probability of a correct answer rises with the
// rank, with a chosen share of missing responses.

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace tavrel::testing {

struct SimulatedResponses {
    std::int32_t N, J, K;
    std::string responses;    // i*J + j: '0', '1' or '.'
    std::string missingMask;  // '1' where the response is present
    std::vector<double> profile;   // (k+1)/(K+1), as a run starts
    std::vector<int> totalScore;   // correct responses per examinee
};

inline SimulatedResponses simulateResponses(std::int32_t N, std::int32_t J, std::int32_t K, double missingShare,
                                            std::uint64_t seed) {
    std::uint64_t state = seed * 0x9E3779B97F4A7C15ull + 1;
    const auto uniform = [&state] {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return double(state >> 11) * (1.0 / 9007199254740992.0);
    };
    std::vector<double> difficulty(J);
    for (double& d : difficulty) d = (uniform() - 0.5) * 3.0;
    SimulatedResponses s{N, J, K, {}, {}, std::vector<double>(std::size_t(J) * K), std::vector<int>(N)};
    for (std::int32_t j = 0; j < J; ++j)
        for (std::int32_t k = 0; k < K; ++k) s.profile[j * K + k] = double(k + 1) / double(K + 1);
    for (std::int32_t i = 0; i < N; ++i) {
        const int rank = int(uniform() * K);
        const double ability = K == 1 ? 0.0 : (double(rank) / double(K - 1) - 0.5) * 5.0;
        for (std::int32_t j = 0; j < J; ++j) {
            const bool correct = uniform() < 1.0 / (1.0 + std::exp(difficulty[j] - ability));
            const bool present = uniform() >= missingShare;
            s.responses += present ? (correct ? '1' : '0') : '.';
            s.missingMask += present ? '1' : '0';
            s.totalScore[i] += present && correct;
        }
    }
    return s;
}

}  // namespace tavrel::testing
