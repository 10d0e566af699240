// Micro-benchmarks of the hot kernels, so that a change can be judged in
// seconds: the all-ranks measure sweep of one examinee, one sequential pass,
// one batch pass (these two at one thread, argument 1, and at every
// processor, argument 0), membership filling and reading the data file.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "../examples/simulation.hpp"
#include "common/processors.hpp"
#include "common/workers.hpp"
#include "data/data_layout.hpp"
#include "data/response_data.hpp"
#include "tavrel/observer.hpp"
#include "estimation/batch_estimation.hpp"
#include "estimation/rank_measures.hpp"
#include "estimation/sequential_learning.hpp"

namespace {

constexpr std::size_t kN = 2000, kJ = 50, kK = 10;

// A simulated data set with the run driver's working arrays.
struct Fixture {
    std::string path = "/tmp/tavrel_kernel_bench.txt";
    std::string responses;
    std::vector<char> missing, fixed;
    std::vector<double> profile, prior, membership, filter;
    std::int32_t J = 0, N = 0, K = static_cast<std::int32_t>(kK);
    tavrel::Observer quiet;
    tavrel::Workers one;
    tavrel::Workers all{tavrel::availableProcessors()};

    Fixture() {
        tavrel::simulation::writeDataFile({kN, kJ, kK, 0.05, 5, false}, path);
        tavrel::SettingMap settings{{"infile", path}, {"nitems", std::to_string(kJ)}};
        tavrel::ResponseData read = tavrel::readResponses(tavrel::resolveDataLayout(settings, quiet), quiet);
        responses = std::move(read.responses);
        J = read.nitems;
        N = read.nexaminees;
        missing.resize(kN * kJ);
        tavrel::buildMissingMask(std::span<const char>(responses.data(), missing.size()), missing);
        fixed.assign(kJ * kK, '1');
        profile.resize(kJ * kK);
        for (std::size_t j = 0; j < kJ; ++j)
            for (std::size_t k = 0; k < kK; ++k) profile[j * kK + k] = 0.05 + 0.9 * double(k) / double(kK);
        prior.assign(kK, 1.0 / double(kK));
        membership.resize(kN * kK);
        filter.resize(kK * kK);
        tavrel::buildSmoothingFilter(filter, K, 0.6);
    }
    tavrel::ResponseView data() const { return {{responses.data(), missing.size()}, missing, kJ, kN}; }
    // Argument 1: one thread; 0: every processor.
    tavrel::Workers& workers(std::int64_t threads) { return threads == 1 ? one : all; }
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

void sweep(benchmark::State& state, char method) {
    Fixture& f = fixture();
    std::vector<double> measures(kK);
    std::size_t e = 0;
    for (auto _ : state) {
        tavrel::sweepRankMeasures(f.responses.data() + e * kJ, f.missing.data() + e * kJ, f.profile.data(),
                                  nullptr, kK, kJ, method, measures.data());
        benchmark::DoNotOptimize(measures.data());
        e = (e + 1) % kN;
    }
    state.SetItemsProcessed(state.iterations() * std::int64_t(kJ * kK));
}
void BM_SweepLikelihood(benchmark::State& state) { sweep(state, 'M'); }
void BM_SweepDistance(benchmark::State& state) { sweep(state, 'L'); }
BENCHMARK(BM_SweepLikelihood);
BENCHMARK(BM_SweepDistance);

void sequentialPass(benchmark::State& state, char method) {
    Fixture& f = fixture();
    const tavrel::LearningSchedule schedule{1, 1.0, 0.01, 1.0, 0.12};
    for (auto _ : state) {
        std::vector<double> profile = f.profile;
        tavrel::learnSequential(f.data(), {profile, f.fixed, f.prior, kK}, {schedule, 1, method, false},
                                f.workers(state.range(0)), f.quiet);
        benchmark::DoNotOptimize(profile.data());
    }
    state.SetItemsProcessed(state.iterations() * std::int64_t(kN * kJ * kK));
}
void BM_SequentialPassLikelihood(benchmark::State& state) { sequentialPass(state, 'M'); }
void BM_SequentialPassDistance(benchmark::State& state) { sequentialPass(state, 'L'); }
BENCHMARK(BM_SequentialPassLikelihood)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SequentialPassDistance)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

void BM_BatchPass(benchmark::State& state) {
    Fixture& f = fixture();
    for (auto _ : state) {
        std::vector<double> profile = f.profile;
        tavrel::estimateBatch(f.data(), {profile, f.fixed, f.prior, kK}, f.filter, {1, -1.0, false},
                              f.workers(state.range(0)), f.quiet);
        benchmark::DoNotOptimize(profile.data());
    }
    state.SetItemsProcessed(state.iterations() * std::int64_t(kN * kJ * kK));
}
BENCHMARK(BM_BatchPass)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

void BM_MembershipFill(benchmark::State& state) {
    Fixture& f = fixture();
    for (auto _ : state) {
        tavrel::computeMembership(f.data(), f.profile, f.prior, kK, 'G', f.membership);
        benchmark::DoNotOptimize(f.membership.data());
    }
    state.SetItemsProcessed(state.iterations() * std::int64_t(kN * kJ * kK));
}
BENCHMARK(BM_MembershipFill)->Unit(benchmark::kMillisecond);

void BM_ReadLines(benchmark::State& state) {
    Fixture& f = fixture();
    tavrel::SettingMap settings{{"infile", f.path}, {"nitems", std::to_string(kJ)}};
    const tavrel::DataLayout layout = tavrel::resolveDataLayout(settings, f.quiet);
    for (auto _ : state) {
        const tavrel::ResponseData read = tavrel::readResponses(layout, f.quiet);
        benchmark::DoNotOptimize(read.responses.data());
    }
    state.SetBytesProcessed(state.iterations() * std::int64_t(kN * (kJ + 1)));
}
BENCHMARK(BM_ReadLines)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
