// Runs of the built binary at 1, 2, 3 and 8 threads: the console text and
// every result file must be the same to the byte.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "tavrel_process.hpp"

namespace tavrel {
namespace {

using testing::TavrelRun;

const char* const kResultFiles[] = {"irp.csv",  "rank.csv", "rmp.csv", "worp.csv",     "uorp.csv",
                                    "test.csv", "item.csv", "trp.csv", "examinee.csv", "report.html"};

// 300 examinees with identifiers and 30 items, a few responses missing or
// not 0 and 1; abilities spread so that every rank is held.
std::string simulatedData() {
    std::uint64_t state = 12345;
    const auto draw = [&state] {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return double(state >> 11) * 0x1p-53;
    };
    std::string text;
    for (int i = 0; i < 300; ++i) {
        text += 'P';
        text += std::to_string(1000 + i);
        text += ' ';
        const double ability = draw() * 6.0 - 3.0;
        for (int j = 0; j < 30; ++j) {
            const double chance = 1.0 / (1.0 + std::exp(double(j % 9) / 3.0 - 1.5 - ability));
            const double u = draw();
            text += u < 0.03 ? '.' : (u < 0.035 ? 'x' : (draw() < chance ? '1' : '0'));
        }
        text += '\n';
    }
    return text;
}

// A fixed profile for K ranks: items 2 and 5 fixed in every rank, item 7 in
// the lowest and highest, the rest learned.
std::string fixedProfile(int K) {
    std::string text = "item";
    for (int k = 1; k <= K; ++k) text.append(",").append(std::to_string(k));
    text += '\n';
    for (int j = 1; j <= 30; ++j) {
        text += std::to_string(j);
        for (int k = 1; k <= K; ++k) {
            const bool fixed = j == 2 || j == 5 || (j == 7 && (k == 1 || k == K));
            text += ',';
            text += fixed ? std::to_string(0.1 + 0.8 * double(k - 1) / double(K - 1)).substr(0, 5) : "*";
        }
        text += '\n';
    }
    return text;
}

TEST(ThreadsEndToEnd, ConsoleAndResultFilesAreTheSameAtAnyNumberOfThreads) {
    const std::string data = simulatedData();
    const std::string files =
        "outfile = irp.csv; rankfile = rank.csv; rmpfile = rmp.csv; worpfile = worp.csv; uorpfile = uorp.csv;\n"
        "testfile = test.csv; itemfile = item.csv; trpfile = trp.csv; examineefile = examinee.csv;\n"
        "reportfile = report.html;\n";
    const std::string itemUse = "itemuse = 111111111011111111111111111.11;\n";
    std::string rising = "prior = {";
    for (int k = 1; k <= 18; ++k) rising += (k > 1 ? ", " : "") + std::to_string(k) + "/171";
    rising += "};\n";
    // Every method; K odd, even and above 16; fixed cells, prior, item use,
    // increase. J * K of 270 and more splits the sequential steps by ranks.
    const std::vector<std::string> settings{
        "method = ml; nranks = 10; seed = 3; maxiter = 30;",
        "method = bayes; nranks = 18; seed = 4; maxiter = 20; increase = yes;" + rising,
        "method = ls; nranks = 5; seed = 5; maxiter = 30;" + itemUse,
        "method = ml; nranks = 9; seed = 6; maxiter = 25; fixedfile = fixed9.csv; prior = 1 2 3 4 5 6 7 8 9;",
        "method = bayes; nranks = 4; seed = 7; maxiter = 30;",
        "method = gtm; nranks = 7; increase = yes; fixedfile = fixed7.csv;" + itemUse,
        "method = gtm; nranks = 20; maxiter = 40;",
        "method = gtm; nranks = 6; phi = 0.7; diffcrit = 0.00001; prior = 1/6 1/6 1/6 1/4 1/8 1/8;",
    };
    for (const std::string& variant : settings) {
        SCOPED_TRACE(variant);
        const std::map<std::string, std::string> inputs{
            {"set.txt", "infile = data.txt; idbegin = 1;\n" + files + variant},
            {"data.txt", data},
            {"fixed7.csv", fixedProfile(7)},
            {"fixed9.csv", fixedProfile(9)},
        };
        const TavrelRun one(inputs, {"set.txt"}, "", "TAVREL_THREADS=1");
        ASSERT_EQ(one.status, 0) << one.err;
        for (const char* threads : {"2", "3", "8"}) {
            const TavrelRun many(inputs, {"set.txt"}, "", std::string("TAVREL_THREADS=") + threads);
            EXPECT_EQ(many.status, 0) << threads;
            EXPECT_EQ(many.err, one.err) << threads;
            for (const char* name : kResultFiles) EXPECT_EQ(many.file(name), one.file(name)) << threads << ' ' << name;
        }
    }
    // The key is accepted without a word and changes nothing but the threads,
    // the report's list of settings included.
    std::map<std::string, std::string> inputs{{"set.txt", "infile = data.txt; idbegin = 1; threads = 3;\n" + files +
                                                              settings[0]},
                                              {"data.txt", data}};
    const TavrelRun keyed(inputs, {"set.txt"}, "", "TAVREL_THREADS=1");
    inputs["set.txt"] = "infile = data.txt; idbegin = 1;\n" + files + settings[0];
    const TavrelRun plain(inputs, {"set.txt"}, "", "TAVREL_THREADS=1");
    EXPECT_EQ(keyed.err, plain.err);
    for (const char* name : kResultFiles) EXPECT_EQ(keyed.file(name), plain.file(name)) << name;
}

}  // namespace
}  // namespace tavrel
