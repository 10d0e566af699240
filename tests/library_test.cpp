// The library's interface as a client uses it: analyze() with an observer,
// several analyses at once, stopping, scoring other examinees, and the
// statistics tables against the files.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <sstream>
#include <thread>
#include <vector>

#include "../examples/simulation.hpp"
#include "common/number_format.hpp"
#include "tavrel/tavrel.hpp"
#include "tavrel_process.hpp"

namespace tavrel {
namespace {

// Seeded responses in memory: rows of '1', '0' and '.', with ids.
ResponseData simulated(std::size_t N, std::size_t J, double missing, std::uint64_t seed) {
    const testing::TempDir dir;
    const std::string path = dir.path / "data.txt";
    simulation::writeDataFile({N, J, 4, missing, seed, true}, path);
    DataLayout layout;
    layout.infile = path;
    layout.idbegin = 1;
    Observer quiet;
    return readResponses(layout, quiet);
}

Options optionsFor(Method method, std::size_t threads) {
    Options options;
    options.nranks = 4;
    options.method = method;
    options.maxiter = 12;
    options.seed = 7;
    options.threads = threads;
    options.requests = Requests::everything();
    return options;
}

bool sameBits(const std::vector<double>& a, const std::vector<double>& b) {
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0);
}

constexpr Method kMethods[] = {Method::Likelihood, Method::Bayes, Method::Distance, Method::Batch};

// Records what reaches it, and on which threads it is called.
class RecordingObserver : public Observer {
public:
    explicit RecordingObserver(int stopAtAsk = 0) : stopAtAsk_(stopAtAsk) {}
    void message(MessageKind kind, std::string_view text) override {
        note(), lines << (kind == MessageKind::Note ? "N: " : "W: ") << text << '\n';
    }
    void progress(std::string_view text) override { note(), lines << text; }
    bool stopRequested() override {
        note();
        return ++asks == stopAtAsk_;
    }
    std::ostringstream lines;
    int asks = 0;
    bool otherThread = false;

private:
    void note() { otherThread = otherThread || std::this_thread::get_id() != caller_; }
    int stopAtAsk_;
    std::thread::id caller_ = std::this_thread::get_id();
};

TEST(Library, AnalysesRunSideBySideWithTheBitsOfOneAtATime) {
    const ResponseData data = simulated(300, 12, 0.1, 3);
    const ResponseTable table = ResponseTable::of(data);
    std::vector<Result> alone;
    for (const Method method : kMethods) {
        RecordingObserver observer;
        alone.push_back(analyze(table, optionsFor(method, 1), observer));
        EXPECT_FALSE(observer.otherThread);
    }
    // Four analyses at once, each on two workers of its own.
    std::vector<Result> together(4);
    std::vector<std::thread> threads;
    for (std::size_t m = 0; m < 4; ++m)
        threads.emplace_back([&, m] {
            Observer quiet;
            together[m] = analyze(table, optionsFor(kMethods[m], 2), quiet);
        });
    for (std::thread& thread : threads) thread.join();
    for (std::size_t m = 0; m < 4; ++m) {
        EXPECT_TRUE(sameBits(alone[m].profile, together[m].profile)) << m;
        EXPECT_TRUE(sameBits(alone[m].memberships, together[m].memberships)) << m;
        EXPECT_TRUE(sameBits(alone[m].distances, together[m].distances)) << m;
        EXPECT_EQ(alone[m].ranks, together[m].ranks) << m;
        EXPECT_EQ(alone[m].statistics->testFit.BIC, together[m].statistics->testFit.BIC) << m;
    }
    EXPECT_EQ(alone[3].seed, 0);
    EXPECT_EQ(alone[0].seed, 7);
    EXPECT_TRUE(alone[2].distances.size() == 300 * 4 && alone[0].distances.empty());
}

TEST(Library, ObserverStopsARunOnTheCallingThread) {
    const ResponseData data = simulated(200, 10, 0.0, 5);
    for (const Method method : kMethods) {
        for (const std::size_t threads : {1, 3}) {
            RecordingObserver observer(3);
            EXPECT_THROW(analyze(ResponseTable::of(data), optionsFor(method, threads), observer), Cancelled);
            EXPECT_EQ(observer.asks, 3);
            EXPECT_FALSE(observer.otherThread);
        }
        // Asked at least once per pass when it does not stop.
        RecordingObserver patient;
        const Result result = analyze(ResponseTable::of(data), optionsFor(method, 2), patient);
        EXPECT_GE(patient.asks, result.passes) << static_cast<char>(method);
    }
}

TEST(Library, ProgressAndNotesReachTheObserver) {
    const ResponseData data = simulated(50, 6, 0.0, 9);
    RecordingObserver sequential, batch;
    Options options = optionsFor(Method::Likelihood, 1);
    options.maxiter = 3;
    analyze(ResponseTable::of(data), options, sequential);
    EXPECT_EQ(sequential.lines.str(), "Now calculating .\n");  // a dot when 20 (t + 1) is a multiple of 3
    options.method = Method::Batch;
    options.diffcrit = -1.0;
    analyze(ResponseTable::of(data), options, batch);
    const std::string text = batch.lines.str();
    EXPECT_EQ(text.rfind("N: phi = 0.85.\niter\tLog-likelihood/(nN)\n1\t", 0), 0u) << text;
    EXPECT_NE(text.find("N: Convergence has not been reached to criterion = -1.\n"), std::string::npos) << text;
}

TEST(Library, BadSizesAreRefusedBeforeAnyWork) {
    const ResponseData data = simulated(20, 5, 0.0, 1);
    const ResponseTable table = ResponseTable::of(data);
    Observer quiet;
    const std::vector<double> prior(3, 0.25);
    const std::vector<char> itemUse(4, '1');
    Options options = optionsFor(Method::Bayes, 1);
    options.prior = prior;
    EXPECT_THROW(analyze(table, options, quiet), std::invalid_argument);
    options = optionsFor(Method::Bayes, 1);
    options.itemUse = itemUse;
    EXPECT_THROW(analyze(table, options, quiet), std::invalid_argument);
    options = optionsFor(Method::Bayes, 1);
    options.nranks = 0;
    EXPECT_THROW(analyze(table, options, quiet), FatalSetting);
    ResponseTable shortTable = table;
    shortTable.responses = shortTable.responses.first(10);
    EXPECT_THROW(analyze(shortTable, optionsFor(Method::Batch, 1), quiet), std::invalid_argument);
}

TEST(Library, ClassifyingTheTrainingDataGivesTheFitsRanksAndMemberships) {
    const ResponseData data = simulated(150, 8, 0.15, 11);
    const ResponseTable table = ResponseTable::of(data);
    // Item 3 out of use; two cells of item 1 kept at given values.
    const std::vector<char> itemUse{'1', '1', '0', '1', '1', '1', '1', '1'};
    std::vector<double> fixedValues(8 * 4, 0.0);
    std::vector<char> fixedMask(8 * 4, '1');
    fixedValues[0] = 0.1, fixedMask[0] = '0';
    fixedValues[3] = 0.9, fixedMask[3] = '0';
    for (const Method method : kMethods) {
        for (const bool fixed : {false, true}) {
            Options options = optionsFor(method, 2);
            options.itemUse = itemUse;
            if (fixed) options.fixedValues = fixedValues, options.fixedMask = fixedMask;
            Observer quiet;
            const Result fit = analyze(table, options, quiet);
            const Ranking again = classifyExaminees(fit, table, true, true, 1, quiet);
            EXPECT_EQ(again.ranks, fit.ranks) << static_cast<char>(method) << fixed;
            EXPECT_TRUE(sameBits(again.memberships, fit.memberships)) << static_cast<char>(method) << fixed;
            if (fixed) {  // kept, the order of the ranks perhaps reversed
                const std::vector<double> item(fit.profile.begin(), fit.profile.begin() + 4);
                EXPECT_TRUE((item[0] == 0.1 && item[3] == 0.9) || (item[3] == 0.1 && item[0] == 0.9));
            }
        }
    }
}

// Each table value written with the file's own formatter equals the file's
// field: the tables and the files hold the same numbers under the same names.
std::vector<std::vector<std::string>> csvRows(const std::string& text) {
    std::vector<std::vector<std::string>> rows;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        rows.emplace_back();
        std::istringstream fields(line);
        for (std::string field; std::getline(fields, field, ',');) rows.back().push_back(field);
        if (!line.empty() && line.back() == ',') rows.back().emplace_back();
    }
    return rows;
}

std::string shown(const Column& column, std::size_t row) {
    char text[kMaxNumberText];
    const double v = column.values[row];
    if (column.kind == Column::Kind::Count && !std::isnan(v))
        return std::string(text, formatInteger(static_cast<std::int64_t>(v), text));
    return std::string(text, formatStatistic(v, 6, text));
}

TEST(Library, StatisticsTablesHoldWhatTheFilesWrite) {
    const ResponseData data = simulated(120, 7, 0.2, 13);
    const std::vector<char> itemUse{'1', '0', '1', '1', '1', '1', '1'};
    for (const Method method : {Method::Distance, Method::Batch}) {
        Options options = optionsFor(method, 1);
        options.itemUse = itemUse;
        Observer quiet;
        const Result fit = analyze(ResponseTable::of(data), options, quiet);
        const testing::TempDir dir;
        ResultFileNames files;
        files.testfile = (dir.path / "test.csv").string();
        files.itemfile = (dir.path / "item.csv").string();
        files.trpfile = (dir.path / "trp.csv").string();
        files.examineefile = (dir.path / "examinee.csv").string();
        writeResultFiles(files, fit, {data.ids, {}}, ',', 2, quiet);

        const auto compare = [&](const std::vector<Column>& table, const std::string& file, std::size_t skip) {
            const auto rows = csvRows(dir.read(file));
            ASSERT_EQ(rows.size(), table.front().values.size() + 1) << file;
            for (std::size_t c = 0; c < table.size(); ++c) {
                EXPECT_EQ(rows[0][c + skip], table[c].name) << file;
                for (std::size_t r = 0; r < table[c].values.size(); ++r)
                    EXPECT_EQ(rows[r + 1][c + skip], shown(table[c], r)) << file << ' ' << table[c].name << ' ' << r;
            }
        };
        compare(itemStatisticsTable(fit), "item.csv", 1);
        compare(rankStatisticsTable(fit), "trp.csv", 1);
        compare(examineeStatisticsTable(fit), "examinee.csv", 1);
        const auto testRows = csvRows(dir.read("test.csv"));
        const std::vector<TestEntry> entries = testStatisticsTable(fit);
        ASSERT_EQ(testRows.size(), entries.size() + 1);
        for (std::size_t r = 0; r < entries.size(); ++r) EXPECT_EQ(testRows[r + 1][0], entries[r].name);
        EXPECT_EQ(std::get<std::string>(entries[3].value), std::string(methodWord(method)));
    }
}

TEST(Library, MethodWordsAndOptionTexts) {
    EXPECT_EQ(methodFromWord("EM"), Method::Batch);
    EXPECT_EQ(methodFromWord("Euclid"), Method::Distance);
    EXPECT_EQ(methodFromWord("probit"), std::nullopt);
    EXPECT_EQ(methodWord(Method::Bayes), "bayes");

    const ResponseData data = simulated(40, 5, 0.0, 2);
    Options options = optionsFor(Method::Batch, 1);
    options.maxiter = 2;
    options.phi = 0.5;
    Observer quiet;
    const Result fit = analyze(ResponseTable::of(data), options, quiet);
    std::string listed;
    for (const ParameterText& p : describeOptions(options, fit))
        listed += p.key + "=" + p.value + (p.byDefault ? "*" : "") + ";";
    EXPECT_EQ(listed, "nranks=4;method=batch;maxiter=2;increase=false*;diffcrit=0.0001*;phi=0.5;");
}

}  // namespace
}  // namespace tavrel
