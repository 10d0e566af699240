// The list of present items and the passes over it: every number must equal,
// to the bit, that of the dense sweeps over every cell.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "../examples/simulation.hpp"
#include "common/types.hpp"
#include "common/workers.hpp"
#include "console_record.hpp"
#include "tavrel_process.hpp"
#include "data/response_data.hpp"
#include "estimation/batch_estimation.hpp"
#include "estimation/rank_measures.hpp"
#include "tavrel/tavrel.hpp"

namespace tavrel {
namespace {

std::vector<std::uint64_t> bitsOf(const std::vector<double>& values) {
    std::vector<std::uint64_t> bits;
    for (const double v : values) bits.push_back(std::bit_cast<std::uint64_t>(v));
    return bits;
}

// N x J responses, a share of them missing by booklet-like runs and at random.
struct Sparse {
    std::size_t N, J;
    std::string x, mask;
    PresentItems list;

    Sparse(std::size_t n, std::size_t j, std::uint64_t seed) : N(n), J(j), x(n * j, '.'), mask(n * j, '0') {
        simulation::Random random(seed);
        for (std::size_t i = 0; i < N; ++i) {
            for (std::size_t c = 0; c < J; ++c) {
                const double u = random.uniform();
                if ((c + i) % 3 == 0 || u < 0.2) continue;
                x[i * J + c] = u < 0.6 ? '1' : '0';
                mask[i * J + c] = '1';
            }
        }
        // An examinee without any answer, and one item answered by nobody.
        for (std::size_t c = 0; c < J; ++c) x[c] = '.', mask[c] = '0';
        for (std::size_t i = 0; i < N; ++i) x[i * J + J - 1] = '.', mask[i * J + J - 1] = '0';
        list = listPresentItems(dense());
    }
    ResponseView dense() const { return {x, mask, J, N}; }
    ResponseView listed() const {
        ResponseView view = dense();
        view.presentItems = &list;
        return view;
    }
};

TEST(PresentItems, ListHoldsEachAnswerInItemOrder) {
    const std::string x = "1.0.1" "....." "0011.", mask = "10101" "00000" "11110";
    const PresentItems list = listPresentItems({x, mask, 5, 3});
    EXPECT_EQ(list.start, (std::vector<std::size_t>{0, 3, 3, 7}));
    EXPECT_EQ(list.entries, (std::vector<std::uint32_t>{1, 4, 9, 0, 2, 5, 7}));
}

TEST(PresentItems, ChosenFromTheMissingShare) {
    const std::string x(100, '1');
    std::string mask(100, '1');
    EXPECT_FALSE(worthListingPresent({x, mask, 10, 10}, Options{}.listPresentFrom));  // complete data stay dense
    EXPECT_TRUE(worthListingPresent({x, mask, 10, 10}, 0.0));
    mask.replace(0, 24, 24, '0');
    EXPECT_FALSE(worthListingPresent({x, mask, 10, 10}, 0.25));
    mask[24] = '0';
    EXPECT_TRUE(worthListingPresent({x, mask, 10, 10}, 0.25));
    EXPECT_FALSE(worthListingPresent({x, mask, 10, 10}, 2.0));
}

// The scorer's measures: the present items' terms include exact zeros
// (p = 1 answered correctly, p = 0 wrongly), whose subtraction adds -0.0, as
// the missing cells' rows of zeros do in the dense sweep.
TEST(PresentItems, MeasuresEqualTheDenseSweepsToTheBit) {
    const Sparse s(40, 23, 7);
    for (const std::size_t K : {1u, 2u, 3u, 5u, 10u, 23u}) {
        std::vector<double> profile(s.J * K), prior(K, 1.0 / double(K));
        simulation::Random random(K);
        for (double& p : profile) {
            const double u = random.uniform();
            p = u < 0.1 ? 0.0 : u < 0.2 ? 1.0 : u;
        }
        for (const char method : {'M', 'B', 'G', 'L'}) {
            const RankScorer scorer(profile, prior, K, s.J, method);
            for (std::size_t i = 0; i < s.N; ++i) {
                std::vector<double> dense(K), listed(K);
                scorer.measures(i, s.dense(), dense.data());
                scorer.measures(i, s.listed(), listed.data());
                ASSERT_EQ(bitsOf(dense), bitsOf(listed)) << "K " << K << " method " << method << " examinee " << i;
            }
        }
    }
}

// Whole batch runs, with fixed cells at 0 and 1 so that terms of zero enter
// the log-likelihood and the sums; at one worker and at three (the profile's
// sums split into blocks of items, each finding its run in every list).
TEST(PresentItems, BatchPassesEqualTheDensePassesToTheBit) {
    const Sparse s(300, 17, 11);
    for (const std::size_t K : {1u, 3u, 10u, 12u}) {
        for (const std::size_t threads : {1u, 3u}) {
            std::vector<double> start(s.J * K);
            std::string fixed(s.J * K, '1');
            for (std::size_t j = 0; j < s.J; ++j)
                for (std::size_t k = 0; k < K; ++k) start[j * K + k] = double(k + 1) / double(K + 1);
            fixed[0] = fixed[K] = '0';
            start[0] = 1.0;
            start[K] = 0.0;
            const std::vector<double> prior(K, 1.0 / double(K));
            std::vector<double> filter(K * K);
            buildSmoothingFilter(filter, std::int32_t(K), 0.6);
            std::vector<double> profiles[2] = {start, start};
            std::vector<double> traces[2];
            for (int listed = 0; listed < 2; ++listed) {
                Workers workers(threads);
                ConsoleRecord console;
                const BatchOutcome outcome =
                    estimateBatch(listed ? s.listed() : s.dense(), {profiles[listed], fixed, prior, K}, filter,
                                  {6, -1.0, false}, workers, console);
                traces[listed] = outcome.trace;
                std::vector<std::int32_t> ranks(s.N);
                std::vector<double> rows(s.N * K);
                rankExaminees(RankScorer(profiles[listed], prior, K, s.J, 'G'), listed ? s.listed() : s.dense(),
                              ranks, rows, workers);
                profiles[listed].insert(profiles[listed].end(), rows.begin(), rows.end());
                for (const std::int32_t r : ranks) profiles[listed].push_back(double(r));
            }
            EXPECT_EQ(bitsOf(profiles[0]), bitsOf(profiles[1])) << "K " << K << " threads " << threads;
            EXPECT_EQ(bitsOf(traces[0]), bitsOf(traces[1])) << "K " << K << " threads " << threads;
        }
    }
}

// Booklet data analysed with the present items listed and with the dense
// sweeps forced, under every method, at one worker and at three: every result
// file, the marginal log-likelihood and the messages must be the same bytes.
TEST(PresentItems, BookletRunsWriteTheSameFilesEitherWay) {
    const testing::TempDir dir;
    simulation::Design design{500, 40, 5, 0.1, 21, true};
    design.booklets = 4;
    design.anchors = 8;  // 60 % of the cells missing
    ASSERT_TRUE(simulation::writeDataFile(design, (dir.path / "data.txt").string()));
    DataLayout layout;
    layout.infile = (dir.path / "data.txt").string();
    layout.idbegin = 1;
    Observer quiet;
    const ResponseData data = readResponses(layout, quiet);
    // An item out of use, so that the list leaves its answers out too.
    std::vector<char> itemUse(40, '1');
    itemUse[9] = '0';
    for (const Method method : {Method::Batch, Method::Likelihood, Method::Bayes, Method::Distance}) {
        for (const std::size_t threads : {1u, 3u}) {
            std::string texts[2];
            double marginal[2];
            for (int listed = 0; listed < 2; ++listed) {
                Options options;
                options.nranks = 6;
                options.method = method;
                options.maxiter = 8;
                options.seed = 5;
                options.threads = threads;
                options.itemUse = itemUse;
                options.listPresentFrom = listed ? 0.0 : 2.0;
                options.requests = Requests::everything();
                ConsoleRecord console;
                const Result fit = analyze(ResponseTable::of(data), options, console);
                const std::string out = (dir.path / (std::to_string(listed) + "-")).string();
                ResultFileNames files;
                for (auto [file, name] : {std::pair{&files.outfile, "irp"}, {&files.rankfile, "rank"},
                                          {&files.rmpfile, "rmp"}, {&files.worpfile, "worp"},
                                          {&files.uorpfile, "uorp"}, {&files.testfile, "test"},
                                          {&files.itemfile, "item"}, {&files.trpfile, "trp"},
                                          {&files.examineefile, "examinee"}})
                    *file = out + name + ".csv";
                writeResultFiles(files, fit, {data.ids, {}}, ',', threads, console);
                texts[listed] = std::regex_replace(console.str(), std::regex("/[01]-"), "/");
                marginal[listed] = fit.loglikMarginal;
            }
            const std::string where = std::string(methodWord(method)) + " at threads = " + std::to_string(threads);
            EXPECT_EQ(texts[0], texts[1]) << where;
            EXPECT_EQ(std::bit_cast<std::uint64_t>(marginal[0]), std::bit_cast<std::uint64_t>(marginal[1])) << where;
            for (const char* name : {"irp", "rank", "rmp", "worp", "uorp", "test", "item", "trp", "examinee"}) {
                const std::string file = std::string(name) + ".csv";
                const std::string dense = dir.read("0-" + file);
                EXPECT_FALSE(dense.empty()) << file;
                EXPECT_EQ(dense, dir.read("1-" + file)) << file << ", " << where;
            }
        }
    }
}

}  // namespace
}  // namespace tavrel
