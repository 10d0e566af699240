// Choosing K and trusting a run: the marginal log-likelihood, restarts and
// the rank sweep, through the library and the binary.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <regex>
#include <sstream>

#include "../examples/simulation.hpp"
#include "tavrel/tavrel.hpp"
#include "tavrel_process.hpp"

namespace tavrel {
namespace {

using testing::TavrelRun;

// Two items, two ranks; the profile and prior are set by hand.
Result handFit(std::vector<double> prior) {
    Result fit;
    fit.nitems = 2;
    fit.nranks = 2;
    fit.method = Method::Likelihood;
    fit.profile = {0.2, 0.8, 0.5, 1.0};  // item 1: 0.2, 0.8; item 2: 0.5, 1.0
    fit.itemUse = {'1', '1'};
    fit.prior = std::move(prior);
    return fit;
}

TEST(MarginalLikelihood, WorkedByHandWithAZeroPrior) {
    // Examinee 1 answers 1 and 0, examinee 2 nothing, examinee 3 only item 2, right.
    const std::string responses = "10..x1";
    const ResponseTable table{responses, 2, 3};
    Observer quiet;
    // At rank 2 item 2 has p = 1: a wrong answer takes log(DBL_MIN), as the engine floors it.
    const double l1k1 = std::log(0.2) + std::log(0.5), l1k2 = std::log(0.8) + std::log(std::numeric_limits<double>::min());
    const std::vector<double> even = marginalLogLikelihoods(handFit({0.5, 0.5}), table, 1, quiet);
    const double m = std::max(std::log(0.5) + l1k1, std::log(0.5) + l1k2);
    EXPECT_DOUBLE_EQ(even[0], m + std::log(std::exp(std::log(0.5) + l1k1 - m) + std::exp(std::log(0.5) + l1k2 - m)));
    EXPECT_TRUE(std::isnan(even[1]));
    EXPECT_DOUBLE_EQ(even[2], std::log(0.5 * 0.5 + 0.5 * 1.0));
    // A prior of 0 leaves its rank out: only rank 2 counts, at full weight.
    const std::vector<double> zero = marginalLogLikelihoods(handFit({0.0, 1.0}), table, 1, quiet);
    EXPECT_DOUBLE_EQ(zero[0], l1k2);
    EXPECT_DOUBLE_EQ(zero[2], 0.0);
    // No rank left: NaN.
    const std::vector<double> none = marginalLogLikelihoods(handFit({0.0, -1.0}), table, 1, quiet);
    EXPECT_TRUE(std::isnan(none[0]) && std::isnan(none[2]));
}

std::map<std::string, std::string> demoRun(const std::string& settings) {
    static const std::string data = [] {
        const testing::TempDir dir;
        simulation::writeDataFile({400, 15, 4, 0.05, 21, true}, (dir.path / "d.txt").string());
        return dir.read("d.txt");
    }();
    return {{"set.txt", "infile = d.txt; idbegin = 1; nranks = 4; maxiter = 15;\n" + settings}, {"d.txt", data}};
}

const std::string kFiles = "outfile = irp.csv; rankfile = rank.csv; rmpfile = rmp.csv; worpfile = worp.csv; "
                           "uorpfile = uorp.csv; testfile = test.csv; itemfile = item.csv; trpfile = trp.csv; "
                           "examineefile = examinee.csv;\n";
const char* kFileNames[] = {"irp.csv",  "rank.csv", "rmp.csv", "worp.csv",    "uorp.csv",
                            "test.csv", "item.csv", "trp.csv", "examinee.csv"};

TEST(Restarts, TheKeptRunIsTheSingleRunWithItsSeed) {
    for (const char* method : {"ml", "bayes", "ls"}) {
        const std::string common = std::string("method = ") + method + "; seed = 40; " + kFiles;
        const TavrelRun many(demoRun(common + "restarts = 4;"), {"set.txt"});
        ASSERT_EQ(many.status, 0) << many.err;
        std::smatch kept;
        ASSERT_TRUE(std::regex_search(many.err, kept,
                                      std::regex("Note: Restart (\\d) of 4 \\(seed (\\d+)\\) has the largest "
                                                 "log-likelihood, (-?[\\d.e+]+)\\.\n")))
            << many.err;
        EXPECT_NE(many.err.find("Now calculating ....................\n"), std::string::npos);
        const TavrelRun single(demoRun(std::regex_replace(common, std::regex("seed = 40"), "seed = " + kept[2].str())),
                               {"set.txt"});
        for (const char* name : kFileNames) EXPECT_EQ(many.file(name), single.file(name)) << method << ' ' << name;
        // The same at any number of threads.
        const TavrelRun three(demoRun(common + "restarts = 4; threads = 3;"), {"set.txt"});
        const TavrelRun one(demoRun(common + "restarts = 4; threads = 1;"), {"set.txt"});
        EXPECT_EQ(three.err, many.err);
        EXPECT_EQ(one.err, many.err);
        for (const char* name : kFileNames) EXPECT_EQ(three.file(name), many.file(name)) << name;
    }
}

TEST(Restarts, WarningsAndARunWithoutThemUnchanged) {
    const TavrelRun batch(demoRun("method = batch; restarts = 3; outfile = irp.csv;"), {"set.txt"});
    EXPECT_NE(batch.err.find("tavrel.exe: Warning: Parameter \"restarts\" has no effect on the batch method.\n"),
              std::string::npos);
    EXPECT_EQ(batch.err.find("Restart"), std::string::npos);
    const TavrelRun once(demoRun("method = batch; outfile = irp.csv;"), {"set.txt"});
    EXPECT_EQ(batch.file("irp.csv"), once.file("irp.csv"));

    const TavrelRun top(demoRun("seed = 2147483646; restarts = 5; maxiter = 2; outfile = irp.csv;"), {"set.txt"});
    EXPECT_NE(top.err.find("tavrel.exe: Warning: Parameter \"restarts\" is reduced to 2.\n"), std::string::npos);
    EXPECT_NE(top.err.find(" of 2 (seed 214748364"), std::string::npos) << top.err;
}

// The sweep's row of K holds what the test file of a single run with K holds.
TEST(RankSweep, RowsAreTheTestFilesOfSingleRunsAtAnyThreadCount) {
    const std::string settings = "method = batch; maxiter = 30; nranks = 3; ranksweep = {4, 2 - 3}; sweepfile = "
                                 "sweep.csv; testfile = test.csv;";
    const TavrelRun sweep(demoRun(settings), {"set.txt"});
    ASSERT_EQ(sweep.status, 0) << sweep.err;
    EXPECT_NE(sweep.err.find("Test statistics are written to \"test.csv\".\n"
                             "tavrel.exe: Note: Rank sweep: K = 2 is estimated.\n"
                             "tavrel.exe: Note: Rank sweep: K = 3 is estimated.\n"
                             "tavrel.exe: Note: Rank sweep: K = 4 is estimated.\n"
                             "tavrel.exe: Note: Rank sweep is written to \"sweep.csv\".\n"),
              std::string::npos)
        << sweep.err;
    std::istringstream lines(sweep.file("sweep.csv"));
    std::string header, line;
    std::getline(lines, header);
    EXPECT_EQ(header, "ranks,method,seed,passes,converged,loglik_marginal,loglik_model,loglik_benchmark,loglik_null,"
                      "chisq_model,chisq_null,df_model,df_null,NFI,RFI,IFI,TLI,CFI,RMSEA,AIC,CAIC,BIC,"
                      "weakly_ordinal,strongly_ordinal,smallest_rank_share,rank_score_correlation");
    for (const int K : {2, 3, 4}) {
        ASSERT_TRUE(std::getline(lines, line));
        const TavrelRun single(
            demoRun("method = batch; maxiter = 30; testfile = test.csv; nranks = " + std::to_string(K) + ";"),
            {"set.txt"});
        // Each of the test file's shared values, as the test file writes it.
        std::map<std::string, std::string> test;
        std::istringstream testLines(single.file("test.csv"));
        for (std::string row; std::getline(testLines, row);)
            test[row.substr(0, row.find(','))] = row.substr(row.find(',') + 1);
        std::vector<std::string> names, fields;
        std::istringstream h(header), f(line);
        for (std::string x; std::getline(h, x, ',');) names.push_back(x);
        for (std::string x; std::getline(f, x, ',');) fields.push_back(x);
        ASSERT_EQ(fields.size(), names.size());
        for (std::size_t c = 0; c < names.size(); ++c) {
            if (!test.contains(names[c])) continue;
            EXPECT_EQ(fields[c], test[names[c]]) << K << ' ' << names[c];
        }
        EXPECT_EQ(fields[2], "NA");
    }
    for (const char* threads : {"1", "2", "3"}) {
        const TavrelRun again(demoRun(settings + "threads = " + threads + ";"), {"set.txt"});
        EXPECT_EQ(again.err, sweep.err);
        EXPECT_EQ(again.file("sweep.csv"), sweep.file("sweep.csv"));
    }
}

TEST(RankSweep, WarningsOnTheListAndOnWhatStandsInItsWay) {
    const std::string w = "tavrel.exe: Warning: ";
    const struct {
        std::string settings, warning;
    } cases[] = {
        {"ranksweep = {2, x, 5-3, 0, 2.5}; sweepfile = s.csv;",
         w + "Value \"x\" of ranksweep is not a rank count; it is ignored.\n" + w +
             "Value \"5-3\" of ranksweep is not a rank count; it is ignored.\n" + w +
             "Value \"0\" of ranksweep is not a rank count; it is ignored.\n" + w +
             "Value \"2.5\" of ranksweep is not a rank count; it is ignored.\n"},
        {"ranksweep = 1-150; sweepfile = s.csv;",
         w + "Parameter \"ranksweep\" holds more than 100 rank counts; the first 100 are used.\n"},
        {"ranksweep = 2-3; sweepfile = s.csv; prior = 0.5 0.5;",
         w + "Parameter \"ranksweep\" cannot be used with fixedfile or prior; it is ignored.\n"},
        {"ranksweep = 2-3; outfile = irp.csv;",
         w + "Parameter \"ranksweep\" has no sweepfile or reportfile to show it; it is ignored.\n"},
        {"sweepfile = s.csv;", w + "Parameter \"sweepfile\" needs ranksweep; it is ignored.\n"},
    };
    for (const auto& c : cases) {
        // maxiter 0: the warnings without the work.
        const TavrelRun run(demoRun("maxiter = 0; seed = 1; " + c.settings), {"set.txt"});
        EXPECT_EQ(run.status, 0) << run.err;
        std::string warnings;
        std::istringstream lines(run.err);
        for (std::string line; std::getline(lines, line);)
            if (line.starts_with(w) && line.find("sweep") != std::string::npos) warnings += line + "\n";
        EXPECT_EQ(warnings, c.warning) << c.settings;
    }
    // Without a sweep file or report the rank counts are not run.
    const TavrelRun unseen(demoRun("ranksweep = 2-3; outfile = irp.csv;"), {"set.txt"});
    EXPECT_EQ(unseen.err.find("Rank sweep:"), std::string::npos);
}

}  // namespace
}  // namespace tavrel
