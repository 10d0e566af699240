// Writes a simulated response data file: examinees drawn from K ordered ranks,
// every item's probability of a correct answer rising with the rank, and a
// chosen share of missing responses. Seeded, so every run writes the same file.
//
//   tavrel_simulate --examinees N --items J --ranks K [--missing SHARE]
//                   [--seed S] [--ids] --out FILE
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

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

struct Options {
    long long examinees = 1000;
    long long items = 30;
    long long ranks = 5;
    double missing = 0.0;
    std::uint64_t seed = 1;
    bool ids = false;
    std::string out;
};

int usage() {
    std::fprintf(stderr,
                 "usage: tavrel_simulate --examinees N --items J --ranks K [--missing SHARE] [--seed S] [--ids] "
                 "--out FILE\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    for (int a = 1; a < argc; ++a) {
        const std::string arg = argv[a];
        const bool hasValue = a + 1 < argc;
        if (arg == "--ids") {
            o.ids = true;
        } else if (arg == "--examinees" && hasValue) {
            o.examinees = std::atoll(argv[++a]);
        } else if (arg == "--items" && hasValue) {
            o.items = std::atoll(argv[++a]);
        } else if (arg == "--ranks" && hasValue) {
            o.ranks = std::atoll(argv[++a]);
        } else if (arg == "--missing" && hasValue) {
            o.missing = std::atof(argv[++a]);
        } else if (arg == "--seed" && hasValue) {
            o.seed = std::strtoull(argv[++a], nullptr, 10);
        } else if (arg == "--out" && hasValue) {
            o.out = argv[++a];
        } else {
            return usage();
        }
    }
    if (o.out.empty() || o.examinees < 0 || o.items < 1 || o.ranks < 1) return usage();

    Random random(o.seed);
    // Item j: a logistic curve over the ranks with its own difficulty and
    // slope, so that every item rises from the lowest rank to the highest.
    const auto J = static_cast<std::size_t>(o.items);
    const auto K = static_cast<std::size_t>(o.ranks);
    std::vector<double> probability(J * K);
    for (std::size_t j = 0; j < J; ++j) {
        const double difficulty = (random.uniform() - 0.5) * 3.0;
        const double slope = 0.8 + 1.6 * random.uniform();
        for (std::size_t k = 0; k < K; ++k) {
            const double ability = K == 1 ? 0.0 : (double(k) / double(K - 1) - 0.5) * 5.0;
            probability[j * K + k] = 1.0 / (1.0 + std::exp(-slope * (ability - difficulty)));
        }
    }

    std::FILE* file = std::fopen(o.out.c_str(), "wb");
    if (file == nullptr) {
        std::fprintf(stderr, "tavrel_simulate: cannot write %s\n", o.out.c_str());
        return 1;
    }
    std::vector<char> line;
    for (long long i = 0; i < o.examinees; ++i) {
        line.clear();
        if (o.ids) {
            char id[32];
            const int n = std::snprintf(id, sizeof id, "S%07lld ", i + 1);
            line.insert(line.end(), id, id + n);
        }
        const auto rank = static_cast<std::size_t>(random.uniform() * double(K)) % K;
        for (std::size_t j = 0; j < J; ++j) {
            const double u = random.uniform();
            const double v = random.uniform();
            line.push_back(v < o.missing ? '.' : (u < probability[j * K + rank] ? '1' : '0'));
        }
        line.push_back('\n');
        std::fwrite(line.data(), 1, line.size(), file);
    }
    if (std::fclose(file) != 0) {
        std::fprintf(stderr, "tavrel_simulate: cannot write %s\n", o.out.c_str());
        return 1;
    }
    return 0;
}
