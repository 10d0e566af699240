// The C++ side of the R package's speed figure: times the library's
// analyze() on a response table read from a file of N x J codes
// (examinee-major bytes '1', '0', '.'), asking for every result lra()
// returns, and prints the seconds, the passes run and the processor seconds
// of all threads. The table is in memory before the clock
// starts, as lra()'s is after its conversion.
//
//   analyze_time CODES N J K METHOD MAXITER THREADS

#include <chrono>
#include <cstdio>
#include <ctime>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "tavrel/tavrel.hpp"

int main(int argc, char** argv) {
    if (argc != 8) {
        std::fprintf(stderr, "usage: analyze_time CODES N J K METHOD MAXITER THREADS\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    const std::string codes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::size_t N = std::strtoull(argv[2], nullptr, 10), J = std::strtoull(argv[3], nullptr, 10);
    if (codes.size() != N * J) {
        std::fprintf(stderr, "%s holds %zu bytes, not N x J\n", argv[1], codes.size());
        return 1;
    }
    tavrel::Options options;
    options.nranks = std::atoi(argv[4]);
    options.method = tavrel::methodFromWord(argv[5]).value_or(tavrel::Method::Batch);
    options.maxiter = std::atoi(argv[6]);
    options.threads = std::strtoull(argv[7], nullptr, 10);
    options.diffcrit = 0.0;  // every pass runs, as in lra(diffcrit = 0)
    options.requests = tavrel::Requests::everything();
    tavrel::Observer quiet;
    const tavrel::ResponseTable table{{codes.data(), codes.size()}, J, N};
    const auto start = std::chrono::steady_clock::now();
    const std::clock_t cpuStart = std::clock();
    const tavrel::Result result = tavrel::analyze(table, options, quiet);
    const double cpu = double(std::clock() - cpuStart) / CLOCKS_PER_SEC;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%.4f %d %.4f\n", seconds, result.passes, cpu);
    return 0;
}
