#pragma once
// Seeded simulation of response data: examinees drawn from K ordered ranks,
// every item's probability of a correct answer rising with the rank, a chosen
// share of missing responses and, on request, booklets that leave the items
// outside an examinee's booklet missing. The same seed writes the same data on
// every machine. Shared by the simulator and the benchmarks.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace tavrel::simulation {

// splitmix64: small, fast and the same everywhere.
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    double uniform() { return double(next() >> 11) * (1.0 / 9007199254740992.0); }

private:
    std::uint64_t state_;
};

struct Design {
    std::size_t examinees = 1000;
    std::size_t items = 30;
    std::size_t ranks = 5;
    double missing = 0.0;  // share of responses written as '.'
    std::uint64_t seed = 1;
    bool ids = false;      // "S0000001 " before the responses
    char delimiter = 0;    // 0: fixed columns; else delimited records with a
                           // header, answers 1 and 0, missing answers NA
    // A booklet design: the items after the first `anchors` are split into
    // `booklets` contiguous booklets; examinee i answers booklet i mod
    // booklets and the anchor items, every other item is missing. 0: every
    // examinee answers every item.
    std::size_t booklets = 0;
    std::size_t anchors = 0;
};

// Whether examinee i was given item j under the design's booklets.
inline bool answers(const Design& d, std::size_t i, std::size_t j) {
    if (d.booklets == 0 || j < d.anchors) return true;
    const std::size_t pool = d.items - d.anchors;
    return (j - d.anchors) * d.booklets / pool == i % d.booklets;
}

// Writes the data file; false when it cannot be written.
inline bool writeDataFile(const Design& d, const std::string& path) {
    Random random(d.seed);
    // Item j: a logistic curve over the ranks with its own difficulty and
    // slope, so that every item rises from the lowest rank to the highest.
    const std::size_t J = d.items;
    const std::size_t K = d.ranks;
    std::vector<double> probability(J * K);
    for (std::size_t j = 0; j < J; ++j) {
        const double difficulty = (random.uniform() - 0.5) * 3.0;
        const double slope = 0.8 + 1.6 * random.uniform();
        for (std::size_t k = 0; k < K; ++k) {
            const double ability = K == 1 ? 0.0 : (double(k) / double(K - 1) - 0.5) * 5.0;
            probability[j * K + k] = 1.0 / (1.0 + std::exp(-slope * (ability - difficulty)));
        }
    }
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    std::vector<char> line;
    const char D = d.delimiter;
    if (D != 0) {
        std::string header = d.ids ? "id" : "";
        for (std::size_t j = 0; j < J; ++j) {
            if (d.ids || j > 0) header += D;
            header.append("q").append(std::to_string(j + 1));
        }
        header += '\n';
        std::fwrite(header.data(), 1, header.size(), file);
    }
    for (std::size_t i = 0; i < d.examinees; ++i) {
        line.clear();
        if (d.ids) {
            char id[32];
            const int n = std::snprintf(id, sizeof id, "S%07zu%c", i + 1, D != 0 ? D : ' ');
            line.insert(line.end(), id, id + n);
        }
        const auto rank = static_cast<std::size_t>(random.uniform() * double(K)) % K;
        for (std::size_t j = 0; j < J; ++j) {
            const double u = random.uniform();
            const double v = random.uniform();
            // Every cell draws both numbers, booklet or not: the answers
            // given are those of the same data without booklets.
            const char response = !answers(d, i, j) || v < d.missing ? '.'
                                  : (u < probability[j * K + rank] ? '1' : '0');
            if (D == 0) {
                line.push_back(response);
                continue;
            }
            if (j > 0) line.push_back(D);
            if (response == '.')
                line.insert(line.end(), {'N', 'A'});
            else
                line.push_back(response);
        }
        line.push_back('\n');
        std::fwrite(line.data(), 1, line.size(), file);
    }
    return std::fclose(file) == 0;
}

}  // namespace tavrel::simulation
