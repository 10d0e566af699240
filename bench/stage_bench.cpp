// Stage benchmarks: times every stage of a run at realistic sizes beside the
// floor of its unavoidable work measured in the same process, reports each
// case's peak resident memory, and writes the table to a Markdown file.
//
//   tavrel_bench_stages [--quick] [--repeats N] [--work DIR] [--results FILE] [--tavrel PATH] [--only CASE]
//                       [--write-data]
//
// Every case runs in a fresh child (this program re-executed with --case), so
// the peak memory of one case is not inflated by another; each case runs
// --repeats times (3 by default) and the table shows the medians. --only runs
// one case (read, csv, utf16, L, M, B, G, irp, rank, rmp, worp, uorp, statistics,
// test, item, trp, examinee, report, analyze, sweep: the rank sweep and
// restarts, or booklets: the booklet designs against complete data) and prints
// its row without writing the results file; --write-data writes the data sets
// and settings files into the work folder and runs nothing; --case NAME
// runs one case in this process and
// prints "seconds cells floor bytes" (the packages' benchmarks call it).
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

#include "../examples/simulation.hpp"
#include "common/large_array.hpp"
#include "common/processors.hpp"
#include "common/workers.hpp"
#include "data/data_layout.hpp"
#include "data/response_data.hpp"
#include "estimation/batch_estimation.hpp"
#include "estimation/rank_count.hpp"
#include "estimation/rank_measures.hpp"
#include "estimation/sequential_learning.hpp"
#include "analysis/analyze_results.hpp"
#include "analysis/observation_ratios.hpp"
#include "analysis/rank_counts.hpp"
#include "analysis/run_statistics.hpp"
#include "output/result_writers.hpp"
#include "output/statistics_writers.hpp"
#include "report/report_page.hpp"
#include "tavrel/tavrel.hpp"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Defeats dead-code elimination of the floor loops.
volatile double gSink = 0.0;

// What a case reports to the parent.
struct Measured {
    double seconds = 0.0;       // the real stage
    double cells = 0.0;         // units the time is divided by
    double floorSeconds = 0.0;  // the bare loop of its unavoidable work; 0: none
    double bytes = 0.0;         // bytes read or written; 0: not a byte stage
};

struct Scale {
    std::size_t readN, readJ;          // reading
    std::size_t csvN, csvJ;            // reading CSV
    std::size_t seqN, seqJ, seqK, seqT;  // sequential learning
    std::size_t batchN, batchJ, batchK, batchT;  // batch passes, writers
    std::size_t wholeN, wholeJ, wholeK, wholeT;  // whole run through the binary
    std::size_t reportN, reportJ, reportK;       // the report page
};

constexpr Scale kFull{100000, 100, 1000000, 100, 10000, 50, 10, 100, 100000, 50, 10, 20, 1000000, 100, 10, 10,
                      10000, 1000, 10};
constexpr Scale kQuick{10000, 100, 100000, 100, 10000, 50, 10, 10, 10000, 50, 10, 5, 20000, 100, 10, 3, 2000, 1000, 10};

// Data loaded and prepared as the run driver does it.
struct Loaded {
    std::string responses;
    tavrel::ExamineeIds ids;
    std::vector<char> missing;
    std::int32_t J = 0, N = 0, K = 0;
    std::vector<char> fixed;
    std::vector<double> profile;
    std::vector<double> prior;
    double present = 0.0;  // number of present responses
};

Loaded load(const std::string& path, std::size_t items, std::size_t ranks, bool ids, tavrel::Observer& quiet) {
    Loaded d;
    // items 0: the reader detects the count from the first line.
    tavrel::SettingMap settings{{"infile", path}};
    if (items > 0) settings["nitems"] = std::to_string(items);
    if (ids) settings["idbegin"] = "1";
    tavrel::ResponseData data = tavrel::readResponses(tavrel::resolveDataLayout(settings, quiet), quiet);
    d.responses = std::move(data.responses);
    d.ids = std::move(data.ids);
    d.J = data.nitems;
    d.N = data.nexaminees;
    d.K = static_cast<std::int32_t>(ranks);
    const auto K = ranks;
    const auto J = static_cast<std::size_t>(d.J);
    d.missing = tavrel::largeArray<char>(static_cast<std::size_t>(d.N) * J);
    tavrel::buildMissingMask(std::span<const char>(d.responses.data(), d.missing.size()), d.missing);
    d.present = double(std::count(d.missing.begin(), d.missing.end(), '1'));
    d.fixed.assign(J * K, '1');
    d.profile.resize(J * K);
    for (std::size_t j = 0; j < J; ++j)
        for (std::size_t k = 0; k < K; ++k) d.profile[j * K + k] = double(k + 1) / double(K + 1);
    d.prior.assign(K, 1.0 / double(K));
    return d;
}

tavrel::ResponseView responseView(const Loaded& d) {
    return {{d.responses.data(), d.missing.size()}, d.missing, static_cast<std::size_t>(d.J),
            static_cast<std::size_t>(d.N)};
}
tavrel::Model modelOf(Loaded& d) { return {d.profile, d.fixed, d.prior, static_cast<std::size_t>(d.K)}; }

double fileBytes(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? double(st.st_size) : 0.0;
}

// ---- the cases --------------------------------------------------------------

// J 0: the reader detects the item count.
Measured caseRead(const std::string& path, std::size_t J, tavrel::Observer& quiet) {
    Measured m;
    auto start = Clock::now();
    Loaded d = load(path, J, 1, true, quiet);
    m.seconds = secondsSince(start);
    J = static_cast<std::size_t>(d.J);
    m.cells = double(d.N) * double(d.J);
    m.bytes = fileBytes(path);

    // Floor: one buffered pass over the same bytes, copying each line's
    // responses into a matrix and classifying them.
    start = Clock::now();
    std::FILE* file = std::fopen(path.c_str(), "rb");
    std::vector<char> buffer(1 << 20);
    std::vector<char> matrix(d.missing.size()), mask(d.missing.size());
    std::size_t row = 0, carry = 0;
    const std::size_t skip = (d.N > 0 ? d.ids[0].size() : 0) + 1;
    for (;;) {
        const std::size_t got = std::fread(buffer.data() + carry, 1, buffer.size() - carry, file);
        const std::size_t end = carry + got;
        std::size_t at = 0;
        while (at < end) {
            const auto* nl = static_cast<const char*>(std::memchr(buffer.data() + at, '\n', end - at));
            if (nl == nullptr && got != 0) break;
            const std::size_t stop = nl ? static_cast<std::size_t>(nl - buffer.data()) : end;
            if (stop - at >= skip + J && row < static_cast<std::size_t>(d.N)) {
                const char* src = buffer.data() + at + skip;
                char* out = matrix.data() + row * J;
                char* present = mask.data() + row * J;
                for (std::size_t j = 0; j < J; ++j) {
                    out[j] = src[j];
                    present[j] = ((src[j] == '0') | (src[j] == '1')) ? '1' : '0';
                }
                ++row;
            }
            at = stop + 1;
        }
        carry = at < end ? end - at : 0;
        std::memmove(buffer.data(), buffer.data() + (end - carry), carry);
        if (got == 0) break;
    }
    std::fclose(file);
    m.floorSeconds = secondsSince(start);
    gSink = double(row) + double(mask[mask.size() / 2]);
    return m;
}

// The delimited reader alone on a CSV file with ids and a header, timed.
Measured timeDelimitedRead(const std::string& path, tavrel::Observer& quiet, std::size_t& responses) {
    const tavrel::SettingMap settings{{"infile", path}, {"dataformat", "csv"}, {"idbegin", "1"}};
    Measured m;
    const auto start = Clock::now();
    const tavrel::ResponseData d = tavrel::readResponses(tavrel::resolveDataLayout(settings, quiet), quiet);
    m.seconds = secondsSince(start);
    m.cells = double(d.nexaminees) * double(d.nitems);
    m.bytes = fileBytes(path);
    responses = d.responses.size();
    return m;
}

// The delimited reader alone on a CSV file with ids, a header and NA.
Measured caseReadCsv(const std::string& path, tavrel::Observer& quiet) {
    std::size_t responses = 0;
    Measured m = timeDelimitedRead(path, quiet, responses);

    // Floor: one buffered pass over the same bytes that counts the field and
    // record ends, the least a reader of delimited text must do.
    const auto start = Clock::now();
    std::FILE* file = std::fopen(path.c_str(), "rb");
    std::vector<char> buffer(1 << 20);
    std::size_t ends = 0;
    for (std::size_t got; (got = std::fread(buffer.data(), 1, buffer.size(), file)) > 0;)
        for (std::size_t b = 0; b < got; ++b)
            ends += static_cast<std::size_t>(buffer[b] == ',') + static_cast<std::size_t>(buffer[b] == '\n');
    std::fclose(file);
    m.floorSeconds = secondsSince(start);
    gSink = double(ends) + double(responses);
    return m;
}

// The CSV as Excel's "Unicode Text" holds it: UTF-16 little endian after a
// byte order mark, with Japanese ids and item names ('S' and 'q' become
// U+53D7 and U+554F), so every record has text for iconv.
void writeUtf16(const std::string& csv, const std::string& path) {
    std::FILE* in = std::fopen(csv.c_str(), "rb");
    std::FILE* out = std::fopen(path.c_str(), "wb");
    std::fwrite("\xFF\xFE", 1, 2, out);
    std::vector<char> bytes(1 << 20), units(2 << 20);
    for (std::size_t got; (got = std::fread(bytes.data(), 1, bytes.size(), in)) > 0;) {
        for (std::size_t b = 0; b < got; ++b) {
            const unsigned unit = bytes[b] == 'S' ? 0x53D7 : bytes[b] == 'q' ? 0x554F : unsigned(bytes[b]);
            units[2 * b] = char(unit & 0xFF);
            units[2 * b + 1] = char(unit >> 8);
        }
        std::fwrite(units.data(), 1, 2 * got, out);
    }
    std::fclose(in);
    std::fclose(out);
}

// The delimited reader on the same CSV in UTF-16, converted while it is read.
Measured caseReadUtf16(const std::string& path, tavrel::Observer& quiet) {
    std::size_t responses = 0;
    Measured m = timeDelimitedRead(path, quiet, responses);

    // Floor: one buffered pass over the same bytes that counts the field and
    // record ends among the UTF-16 units.
    const auto start = Clock::now();
    std::FILE* file = std::fopen(path.c_str(), "rb");
    std::vector<char> buffer(1 << 20);
    std::size_t ends = 0;
    for (std::size_t got; (got = std::fread(buffer.data(), 1, buffer.size(), file)) > 0;)
        for (std::size_t b = 0; b + 1 < got; b += 2)
            ends += static_cast<std::size_t>(buffer[b + 1] == 0 && (buffer[b] == ',' || buffer[b] == '\n'));
    std::fclose(file);
    m.floorSeconds = secondsSince(start);
    gSink = double(ends) + double(responses);
    return m;
}

template <std::size_t KC>
void sequentialFloor(const Loaded& d, std::size_t Kr, std::size_t T, char method) {
    const std::size_t K = tavrel::rankCount<KC>(Kr), J = static_cast<std::size_t>(d.J);
    const auto N = static_cast<std::size_t>(d.N);
    std::vector<double> sums(K), out(d.profile.size());
    const double* p = d.profile.data();
    for (std::size_t t = 0; t < T; ++t) {
        for (std::size_t i = 0; i < N; ++i) {
            const char* present = d.missing.data() + i * J;
            const char* x = d.responses.data() + i * J;
            double local[KC > 0 ? KC : 1] = {};
            double* acc = KC > 0 ? local : sums.data();
            for (std::size_t j = 0; j < J; ++j) {
                if (present[j] != '1') continue;
                const double xj = double(x[j] - '0');
                if (method == 'L')
                    for (std::size_t k = 0; k < K; ++k) acc[k] = acc[k] + (xj - p[j * K + k]) * (xj - p[j * K + k]);
                else
                    for (std::size_t k = 0; k < K; ++k) acc[k] = acc[k] - std::log(p[j * K + k]);
            }
            for (std::size_t j = 0; j < J; ++j) {
                if (present[j] != '1') continue;
                const double xj = double(x[j] - '0');
                for (std::size_t k = 0; k < K; ++k) out[j * K + k] = p[j * K + k] + 0.001 * (xj - p[j * K + k]);
            }
            gSink = gSink + acc[0];
        }
    }
    gSink = gSink + out[0];
}

Measured caseSequential(const std::string& path, const Scale& s, char method, tavrel::Observer& quiet) {
    Loaded d = load(path, s.seqJ, s.seqK, false, quiet);
    const tavrel::LearningSchedule schedule{static_cast<std::int32_t>(s.seqT), 1.0, 0.01, 1.0, 0.12};
    Measured m;
    auto start = Clock::now();
    tavrel::Workers one;
    tavrel::learnSequential(responseView(d), modelOf(d), {schedule, 1, method, false}, one, quiet);
    m.seconds = secondsSince(start);
    m.cells = d.present * double(s.seqK) * double(s.seqT);

    // Floor, on the finished profile: per pass, for every present cell the
    // measure's unavoidable arithmetic ('L': one squared difference; 'M', 'B':
    // one logarithm) summed per rank, then one update store per cell. The
    // rank count is a compile-time constant here too, as in the engine.
    start = Clock::now();
    tavrel::withRankCount(s.seqK, [&](auto KC) { sequentialFloor<KC>(d, s.seqK, s.seqT, method); });
    m.floorSeconds = secondsSince(start);
    return m;
}

Measured caseBatch(const std::string& path, const Scale& s, tavrel::Observer& quiet) {
    Loaded d = load(path, s.batchJ, s.batchK, false, quiet);
    const std::size_t K = s.batchK, J = s.batchJ, N = static_cast<std::size_t>(d.N);
    std::vector<double> filter(K * K);
    tavrel::buildSmoothingFilter(filter, d.K, 0.6);
    Measured m;
    auto start = Clock::now();
    tavrel::Workers one;
    tavrel::estimateBatch(responseView(d), modelOf(d), filter, {static_cast<std::int32_t>(s.batchT), -1.0, false}, one,
                          quiet);
    m.seconds = secondsSince(start);
    m.cells = d.present * double(K) * double(s.batchT);

    // Floor per pass: the log-likelihood as one running sum over examinee,
    // rank and item with log tables (selected without branches), and the
    // N*K*K products of the smoothing.
    std::vector<double> table(K * J * 3, 0.0);
    for (std::size_t k = 0; k < K; ++k)
        for (std::size_t j = 0; j < J; ++j) {
            table[(k * J + j) * 3 + 0] = std::log(1.0 - d.profile[j * K + k] + DBL_MIN);
            table[(k * J + j) * 3 + 1] = std::log(d.profile[j * K + k]);
        }
    std::vector<unsigned char> code(N * J);
    for (std::size_t c = 0; c < code.size(); ++c)
        code[c] = d.missing[c] == '1' ? static_cast<unsigned char>(d.responses[c] - '0') : 2;
    std::vector<double> membership(N * K, 1.0 / double(K)), row(K);
    start = Clock::now();
    double L = 0.0;
    for (std::size_t t = 0; t < s.batchT; ++t) {
        for (std::size_t i = 0; i < N; ++i) {
            double* w = membership.data() + i * K;
            for (std::size_t c = 0; c < K; ++c) {
                double v = 0.0;
                for (std::size_t l = 0; l < K; ++l) v = v + w[l] * filter[l * K + c];
                row[c] = v;
            }
            std::copy(row.begin(), row.end(), w);
            const unsigned char* x = code.data() + i * J;
            for (std::size_t c = 0; c < K; ++c) {
                const double* tc = table.data() + c * J * 3;
                for (std::size_t j = 0; j < J; ++j) L = L + w[c] * tc[j * 3 + x[j]];
            }
        }
    }
    m.floorSeconds = secondsSince(start);
    gSink = L;
    return m;
}

// Formats `count` numbers produced by `value(n)` with the exact general
// formatter into a buffered file: the floor of a writer.
double formattingFloor(const std::string& path, std::size_t count, const std::function<double(std::size_t)>& value,
                       std::size_t perLine) {
    const auto start = Clock::now();
    std::FILE* file = std::fopen(path.c_str(), "wb");
    std::vector<char> buffer(1 << 20);
    std::size_t used = 0;
    for (std::size_t n = 0; n < count; ++n) {
        if (buffer.size() - used < 64) {
            std::fwrite(buffer.data(), 1, used, file);
            used = 0;
        }
        char* at = buffer.data() + used;
        at = std::to_chars(at, buffer.data() + buffer.size(), value(n), std::chars_format::general, 6).ptr;
        *at++ = (n + 1) % perLine == 0 ? '\n' : ',';
        used = static_cast<std::size_t>(at - buffer.data());
    }
    std::fwrite(buffer.data(), 1, used, file);
    std::fclose(file);
    return secondsSince(start);
}

// The writers of the five result files and of the four statistics files.
// The five are timed with the scoring the driver does once before them (each
// examinee's rank and membership row); the statistics files are timed on
// their own after computeStatistics, which is a case of its own.
Measured caseWriter(const std::string& path, const std::string& work, const Scale& s, const std::string& which,
                    tavrel::Observer& quiet) {
    Loaded d = load(path, s.batchJ, s.batchK, true, quiet);
    const std::size_t K = s.batchK, J = s.batchJ, N = static_cast<std::size_t>(d.N);
    std::vector<double> filter(K * K);
    tavrel::buildSmoothingFilter(filter, d.K, 0.6);
    tavrel::Workers one;
    tavrel::estimateBatch(responseView(d), modelOf(d), filter, {3, -1.0, false}, one, quiet);
    const std::vector<char> itemUse(J, '1');
    std::vector<std::int32_t> ranks(N);
    std::vector<double> membership(N * K);
    tavrel::Workers workers(1);
    const tavrel::RankScorer scorer(d.profile, d.prior, K, J, 'G');
    const bool statisticsFile = which == "test" || which == "item" || which == "trp" || which == "examinee";
    if (statisticsFile || which == "statistics") tavrel::rankExaminees(scorer, responseView(d), ranks, membership, workers);
    const tavrel::StatisticsInputs statisticsInputs{responseView(d), d.profile, d.fixed, itemUse, membership,
                                                    ranks,           filter,    K};
    const tavrel::RunStatistics statistics =
        statisticsFile ? tavrel::computeStatistics(statisticsInputs, workers) : tavrel::RunStatistics{};
    const tavrel::StatisticsFileInputs files{statistics, itemUse, {}, membership, ranks, d.ids, {'G', 3, false}, K, ','};
    const std::string out = work + "/writer_" + which + ".csv";
    Measured m;
    auto start = Clock::now();
    if (which == "rank" || which == "uorp") tavrel::rankExaminees(scorer, responseView(d), ranks, {}, workers);
    if (which == "rmp" || which == "worp") tavrel::rankExaminees(scorer, responseView(d), {}, membership, workers);
    if (which == "irp") tavrel::writeItemReferenceProfile(out, d.profile, itemUse, K, ',', quiet);
    if (which == "rank") tavrel::writeLatentRanks(out, d.ids, ranks, ',', workers, quiet);
    if (which == "rmp") tavrel::writeRankMembershipProfiles(out, d.ids, membership, K, ',', workers, quiet);
    if (which == "worp")
        tavrel::writeWeightedObservationRatioProfile(
            out, tavrel::weightedObservationRatios(responseView(d), membership, K, workers), K, ',', quiet);
    if (which == "uorp")
        tavrel::writeUnweightedObservationRatioProfile(
            out,
            tavrel::unweightedObservationRatios(tavrel::countResponsesByRank(responseView(d), ranks, K, workers).answered,
                                                ranks, J, K),
            K, ',', quiet);
    if (which == "statistics") gSink = tavrel::computeStatistics(statisticsInputs, workers).testFit.BIC;
    if (which == "test") tavrel::writeTestStatistics(out, files, quiet);
    if (which == "item") tavrel::writeItemStatistics(out, files, quiet);
    if (which == "trp") tavrel::writeRankStatistics(out, files, quiet);
    if (which == "examinee") tavrel::writeExamineeStatistics(out, files, workers, quiet);
    m.seconds = secondsSince(start);
    m.cells = double(N) * double(J);
    m.bytes = which == "statistics" ? 0.0 : fileBytes(out);

    // Floor: the same count of numbers through the exact formatter.
    const std::string floorFile = out + ".floor";
    if (which == "rmp") {
        m.floorSeconds = formattingFloor(floorFile, N * K, [&](std::size_t n) { return membership[n]; }, K);
    } else if (which == "examinee") {
        // Per examinee K memberships and six more fields.
        m.floorSeconds = formattingFloor(floorFile, N * (K + 6), [&](std::size_t n) { return 1.0 / double(n + 3); },
                                         K + 6);
    } else if (which == "rank") {
        m.floorSeconds = formattingFloor(floorFile, N, [&](std::size_t n) { return double(n % K + 1); }, 1);
    } else if (which != "statistics") {
        m.floorSeconds = formattingFloor(floorFile, J * K, [&](std::size_t n) { return d.profile[n]; }, K);
    }
    return m;
}

// The report page: the counts it draws and the page itself, written, after
// the statistics it shows (not timed). Its size grows with J and K only.
Measured caseReport(const std::string& path, const std::string& work, const Scale& s, tavrel::Observer& quiet) {
    Loaded d = load(path, s.reportJ, s.reportK, true, quiet);
    const std::size_t K = s.reportK, J = s.reportJ, N = static_cast<std::size_t>(d.N);
    std::vector<double> filter(K * K);
    tavrel::buildSmoothingFilter(filter, d.K, 0.6);
    tavrel::Workers one;
    const tavrel::BatchOutcome outcome =
        tavrel::estimateBatch(responseView(d), modelOf(d), filter, {3, -1.0, false}, one, quiet);
    const std::vector<char> itemUse(J, '1');
    std::vector<std::int32_t> ranks(N);
    std::vector<double> membership(N * K);
    tavrel::Workers workers(1);
    tavrel::rankExaminees(tavrel::RankScorer(d.profile, d.prior, K, J, 'G'), responseView(d), ranks, membership, workers);
    const tavrel::RunStatistics statistics =
        tavrel::computeStatistics({responseView(d), d.profile, d.fixed, itemUse, membership, ranks, filter, K}, workers);
    const std::string out = work + "/report.html";
    Measured m;
    const auto start = Clock::now();
    const tavrel::RankCounts counts =
        tavrel::countByRank(tavrel::countResponsesByRank(responseView(d), ranks, K, workers), ranks,
                            statistics.scores, statistics.itemsInUse, K);
    tavrel::writeReportPage(out,
                            {statistics, counts, d.profile, itemUse, {}, outcome.trace, {}, path, N, K,
                             {'G', outcome.passes, outcome.converged}},
                            quiet);
    m.seconds = secondsSince(start);
    m.cells = double(N) * double(J);
    m.bytes = fileBytes(out);
    return m;
}

// One stage at one thread and at every processor on the same data and the
// same starting profile, in the order 1, all, all, 1 so that a drift of the
// machine's speed during the case cancels: "seconds at 1, seconds at all,
// units", each the mean of its two runs (units: passes for 'G', where the
// table shows a pass).
void caseThreads(const std::string& path, const Scale& s, char method, tavrel::Observer& quiet) {
    const bool batch = method == 'G';
    Loaded d = batch ? load(path, s.batchJ, s.batchK, false, quiet) : load(path, s.seqJ, s.seqK, false, quiet);
    const std::vector<double> start = d.profile;
    const std::size_t processors = tavrel::availableProcessors();
    std::vector<double> filter(static_cast<std::size_t>(d.K) * static_cast<std::size_t>(d.K));
    tavrel::buildSmoothingFilter(filter, d.K, 0.6);
    tavrel::Workers one(1), all(processors, processors);
    double seconds[2] = {0.0, 0.0};
    for (const bool many : {false, true, true, false}) {
        d.profile = start;
        const auto begin = Clock::now();
        if (batch) {
            tavrel::estimateBatch(responseView(d), modelOf(d), filter, {static_cast<std::int32_t>(s.batchT), -1.0, false},
                                  many ? all : one, quiet);
        } else {
            const tavrel::LearningSchedule schedule{static_cast<std::int32_t>(s.seqT), 1.0, 0.01, 1.0, 0.12};
            tavrel::learnSequential(responseView(d), modelOf(d), {schedule, 1, method, false}, many ? all : one, quiet);
        }
        seconds[many] += secondsSince(begin) / 2.0;
    }
    std::printf("%.9g %.9g %.9g\n", seconds[0], seconds[1], batch ? double(s.batchT) : 1.0);
}

// Every result file (the five, the four statistics files and the report) of
// the batch data after three passes, written at one thread and at every
// processor, in the order 1, all, all, 1: "seconds at 1, seconds at all, 1".
void caseThreadsFiles(const std::string& path, const std::string& work, const Scale& s, tavrel::Observer& quiet) {
    Loaded d = load(path, s.batchJ, s.batchK, true, quiet);
    const std::size_t K = s.batchK, J = s.batchJ;
    std::vector<double> filter(K * K);
    tavrel::buildSmoothingFilter(filter, d.K, 0.6);
    const std::size_t processors = tavrel::availableProcessors();
    tavrel::Workers one(1), all(processors, processors);
    const tavrel::BatchOutcome outcome =
        tavrel::estimateBatch(responseView(d), modelOf(d), filter, {3, -1.0, false}, one, quiet);
    tavrel::Result result;
    result.nitems = J;
    result.nexaminees = static_cast<std::size_t>(d.N);
    result.nranks = K;
    result.method = tavrel::Method::Batch;
    result.profile = d.profile;
    result.fixedMask = d.fixed;
    result.itemUse.assign(J, '1');
    result.prior = d.prior;
    result.filter = filter;
    result.phi = 0.6;
    result.passes = outcome.passes;
    result.converged = outcome.converged;
    result.trace = outcome.trace;
    tavrel::ResultFileNames files;
    for (auto [file, name] : {std::pair{&files.outfile, "irp"}, {&files.rankfile, "rank"}, {&files.rmpfile, "rmp"},
                              {&files.worpfile, "worp"}, {&files.uorpfile, "uorp"}, {&files.testfile, "test"},
                              {&files.itemfile, "item"}, {&files.trpfile, "trp"}, {&files.examineefile, "examinee"}})
        *file = work + "/files_" + name + ".out";
    const tavrel::Requests requests = tavrel::requestsFor(files, true, tavrel::Method::Batch);
    double seconds[2] = {0.0, 0.0};
    for (const bool many : {false, true, true, false}) {
        const auto begin = Clock::now();
        tavrel::Result finished = result;
        tavrel::computeRequested(responseView(d), requests, finished, many ? all : one);
        const tavrel::Labels labels{d.ids, {}};
        tavrel::writeResultFiles(files, finished, labels, ',', many ? processors : 1, quiet);
        tavrel::writeReport(work + "/files_report.out", finished, labels, {path, {}}, quiet);
        seconds[many] += secondsSince(begin) / 2.0;
    }
    std::printf("%.9g %.9g %.9g\n", seconds[0], seconds[1], 1.0);
}

// The library's analyze() as a package calls it, on the whole run's data
// already in memory (read first, not timed): batch, every result a package
// keeps, at every processor. The packages' rows compare against it.
Measured caseAnalyze(const std::string& path, const Scale& s, tavrel::Observer& quiet) {
    tavrel::DataLayout layout;
    layout.infile = path;
    layout.idbegin = 1;
    layout.nitems = static_cast<std::int32_t>(s.wholeJ);
    layout.databegin = 0;
    const tavrel::ResponseData data = tavrel::readResponses(layout, quiet);
    tavrel::Options options;
    options.nranks = static_cast<std::int32_t>(s.wholeK);
    options.method = tavrel::Method::Batch;
    options.maxiter = static_cast<std::int32_t>(s.wholeT);
    options.diffcrit = -1.0;
    options.requests = tavrel::Requests::everything();
    Measured m;
    const auto start = Clock::now();
    const tavrel::Result result = tavrel::analyze(tavrel::ResponseTable::of(data), options, quiet);
    m.seconds = secondsSince(start);
    gSink = result.statistics->testFit.BIC;
    m.cells = double(s.wholeN) * double(s.wholeJ);
    return m;
}

// ---- the parent -------------------------------------------------------------

struct Child {
    Measured measured;
    double peakMb = 0.0;
    bool ok = false;
};

// Runs argv as a child; its standard output is returned in `out`.
Child spawn(const std::vector<std::string>& args, std::string& out) {
    Child result;
    int fds[2];
    if (pipe(fds) != 0) return result;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (rc != 0) {
        close(fds[0]);
        return result;
    }
    char chunk[4096];
    for (ssize_t n; (n = read(fds[0], chunk, sizeof chunk)) > 0;) out.append(chunk, static_cast<std::size_t>(n));
    close(fds[0]);
    int status = 0;
    rusage usage {};
    wait4(pid, &status, 0, &usage);
    result.peakMb = double(usage.ru_maxrss) / 1024.0;
    result.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return result;
}

std::string cpuModel() {
    std::ifstream info("/proc/cpuinfo");
    for (std::string line; std::getline(info, line);)
        if (line.rfind("model name", 0) == 0) return line.substr(line.find(':') + 2);
    return "unknown CPU";
}

std::string compiler() {
#if defined(__clang__)
    return "clang " __clang_version__;
#elif defined(__GNUC__)
    return "g++ " __VERSION__;
#else
    return "unknown compiler";
#endif
}

std::string format(const char* f, double v) {
    char text[64];
    std::snprintf(text, sizeof text, f, v);
    return text;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

struct Row {
    std::string name, size, target;
};

// A booklet design of N examinees answering `pool / booklets` of `pool`
// items, run against complete data of N x pool / booklets: batch, 20
// passes, K = 10, the nine result files, at one thread.
struct BookletCase {
    std::string name;
    std::size_t N, pool, booklets;
    std::uint64_t seed;
    double target;  // the largest ratio of the booklet run's time to the complete run's
};

std::vector<BookletCase> bookletCasesOf(bool quick) {
    if (quick) return {{"a", 10000, 50, 2, 31, 1.15}, {"b", 20000, 300, 5, 33, 1.3}};
    return {{"a", 100000, 50, 2, 31, 1.15}, {"b", 200000, 300, 5, 33, 1.3}};
}

}  // namespace

int main(int argc, char** argv) {
    std::string work = "bench/work";
    std::string results = "bench/results.md";
    std::string tavrelPath = "build/tavrel";
    std::string caseName;
    std::string only;
    bool quick = false;
    bool threadsOnly = false;
    bool writeDataOnly = false;  // write the data sets and settings, run nothing
    int repeats = 5;
    for (int a = 1; a < argc; ++a) {
        const std::string arg = argv[a];
        if (arg == "--quick") quick = true;
        else if (arg == "--work" && a + 1 < argc) work = argv[++a];
        else if (arg == "--results" && a + 1 < argc) results = argv[++a];
        else if (arg == "--tavrel" && a + 1 < argc) tavrelPath = argv[++a];
        else if (arg == "--case" && a + 1 < argc) caseName = argv[++a];
        else if (arg == "--only" && a + 1 < argc) only = argv[++a];
        else if (arg == "--threads-only") threadsOnly = true;
        else if (arg == "--write-data") writeDataOnly = true;
        else if (arg == "--repeats" && a + 1 < argc) repeats = std::max(1, std::atoi(argv[++a]));
        else {
            std::fprintf(stderr, "usage: %s [--quick] [--repeats N] [--work DIR] [--results FILE] [--tavrel PATH] [--only CASE] [--threads-only] [--write-data]\n", argv[0]);
            return 2;
        }
    }
    const Scale& s = quick ? kQuick : kFull;
    const std::string readData = work + "/read.txt", csvData = work + "/read.csv", utf16Data = work + "/read16.csv",
                      seqData = work + "/sequential.txt",
                      batchData = work + "/batch.txt", wholeData = work + "/whole.txt",
                      reportData = work + "/report.txt";

    if (!caseName.empty()) {
        tavrel::Observer quiet;  // the stages' messages, discarded
        Measured m;
        if (caseName == "read") m = caseRead(readData, s.readJ, quiet);
        else if (caseName == "read-detect") m = caseRead(readData, 0, quiet);
        else if (caseName == "csv") m = caseReadCsv(csvData, quiet);
        else if (caseName == "utf16") m = caseReadUtf16(utf16Data, quiet);
        else if (caseName == "threads-files") {
            caseThreadsFiles(batchData, work, s, quiet);
            return 0;
        } else if (caseName.rfind("threads-", 0) == 0) {
            const char method = caseName.back();
            caseThreads(method == 'G' ? batchData : seqData, s, method, quiet);
            return 0;
        }
        else if (caseName == "L" || caseName == "M" || caseName == "B")
            m = caseSequential(seqData, s, caseName[0], quiet);
        else if (caseName == "G") m = caseBatch(batchData, s, quiet);
        else if (caseName == "report") m = caseReport(reportData, work, s, quiet);
        else if (caseName == "analyze") m = caseAnalyze(wholeData, s, quiet);
        else m = caseWriter(batchData, work, s, caseName, quiet);
        std::printf("%.9g %.9g %.9g %.9g\n", m.seconds, m.cells, m.floorSeconds, m.bytes);
        return 0;
    }

    mkdir(work.c_str(), 0755);
    std::fprintf(stderr, "Writing the simulated data sets into %s ...\n", work.c_str());
    using tavrel::simulation::Design;
    const auto needs = [&](std::initializer_list<const char*> cases) {
        return only.empty() || std::any_of(cases.begin(), cases.end(), [&](const char* c) { return only == c; });
    };
    if (needs({"read", "read-detect"})) tavrel::simulation::writeDataFile(Design{s.readN, s.readJ, 10, 0.05, 11, true}, readData);
    if (needs({"csv", "utf16"}))
        tavrel::simulation::writeDataFile(Design{s.csvN, s.csvJ, 10, 0.05, 15, true, ','}, csvData);
    if (needs({"utf16"})) writeUtf16(csvData, utf16Data);
    if (needs({"L", "M", "B", "sweep"}))
        tavrel::simulation::writeDataFile(Design{s.seqN, s.seqJ, s.seqK, 0.05, 12, false}, seqData);
    if (needs({"G", "irp", "rank", "rmp", "worp", "uorp", "statistics", "test", "item", "trp", "examinee", "sweep"}))
        tavrel::simulation::writeDataFile(Design{s.batchN, s.batchJ, s.batchK, 0.05, 13, true}, batchData);
    if (needs({"report"}))
        tavrel::simulation::writeDataFile(Design{s.reportN, s.reportJ, s.reportK, 0.05, 16, true}, reportData);
    if ((only.empty() && !threadsOnly) || only == "analyze")
        tavrel::simulation::writeDataFile(Design{s.wholeN, s.wholeJ, s.wholeK, 0.05, 14, true}, wholeData);
    // Booklet designs beside complete data of as many answers per examinee.
    const bool bookletCases = (only.empty() && !threadsOnly && !writeDataOnly) || only == "booklets";
    if (bookletCases) {
        for (const BookletCase& c : bookletCasesOf(quick)) {
            Design booklets{c.N, c.pool, 10, 0.0, c.seed, true};
            booklets.booklets = c.booklets;
            tavrel::simulation::writeDataFile(booklets, work + "/" + c.name + "_booklets.txt");
            tavrel::simulation::writeDataFile(Design{c.N, c.pool / c.booklets, 10, 0.0, c.seed + 1, true},
                                              work + "/" + c.name + "_complete.txt");
            for (const char* design : {"booklets", "complete"}) {
                const std::string stem = c.name + "_" + design;
                std::ofstream(work + "/" + stem + ".settings")
                    << "infile = " << stem << ".txt; idbegin = 1; nitems = "
                    << (design[0] == 'b' ? c.pool : c.pool / c.booklets)
                    << "; nranks = 10; method = batch; maxiter = 20; diffcrit = -1;\n"
                    << "outfile = " << stem << "_irp.csv; rankfile = " << stem << "_rank.csv; rmpfile = " << stem
                    << "_rmp.csv;\nworpfile = " << stem << "_worp.csv; uorpfile = " << stem
                    << "_uorp.csv; testfile = " << stem << "_test.csv;\nitemfile = " << stem
                    << "_item.csv; trpfile = " << stem << "_trp.csv; examineefile = " << stem << "_examinee.csv;\n";
            }
        }
    }
    {
        std::ofstream settings(work + "/whole.settings");
        settings << "infile = whole.txt; idbegin = 1; nitems = " << s.wholeJ << "; nranks = " << s.wholeK
                 << "; method = gtm; maxiter = " << s.wholeT << "; diffcrit = -1;\n"
                 << "outfile = whole_irp.csv; rankfile = whole_rank.csv; rmpfile = whole_rmp.csv;\n"
                 << "worpfile = whole_worp.csv; uorpfile = whole_uorp.csv;\n";
        std::ofstream nine(work + "/whole9.settings");
        nine << "infile = whole.txt; idbegin = 1; nitems = " << s.wholeJ << "; nranks = " << s.wholeK
             << "; method = gtm; maxiter = " << s.wholeT << "; diffcrit = -1;\n"
             << "outfile = whole_irp.csv; rankfile = whole_rank.csv; rmpfile = whole_rmp.csv;\n"
             << "worpfile = whole_worp.csv; uorpfile = whole_uorp.csv;\n"
             << "testfile = whole_test.csv; itemfile = whole_item.csv; trpfile = whole_trp.csv;\n"
             << "examineefile = whole_examinee.csv;\n";
        std::ofstream all(work + "/whole10.settings");
        all << "infile = whole.txt; idbegin = 1; nitems = " << s.wholeJ << "; nranks = " << s.wholeK
            << "; method = gtm; maxiter = " << s.wholeT << "; diffcrit = -1;\n"
            << "outfile = whole_irp.csv; rankfile = whole_rank.csv; rmpfile = whole_rmp.csv;\n"
            << "worpfile = whole_worp.csv; uorpfile = whole_uorp.csv;\n"
            << "testfile = whole_test.csv; itemfile = whole_item.csv; trpfile = whole_trp.csv;\n"
            << "examineefile = whole_examinee.csv; reportfile = whole_report.html;\n";
    }

    if (writeDataOnly) return 0;

    auto dims = [](std::size_t N, std::size_t J, std::size_t K, std::size_t T) {
        std::string d = std::to_string(N) + " x " + std::to_string(J);
        if (K) d += " x " + std::to_string(K);
        if (T) d += " x " + std::to_string(T);
        return d;
    };
    const std::vector<Row> rows{
        {"read", dims(s.readN, s.readJ, 0, 0), ">= 500 MB/s"},
        {"read-detect", dims(s.readN, s.readJ, 0, 0), ">= 500 MB/s"},
        {"csv", dims(s.csvN, s.csvJ, 0, 0), ">= 300 MB/s"},
        {"utf16", dims(s.csvN, s.csvJ, 0, 0), ">= 150 MB/s"},
        {"L", dims(s.seqN, s.seqJ, s.seqK, s.seqT), "ratio <= 1.5"},
        {"M", dims(s.seqN, s.seqJ, s.seqK, s.seqT), "ratio <= 1.2"},
        {"B", dims(s.seqN, s.seqJ, s.seqK, s.seqT), "ratio <= 1.2"},
        {"G", dims(s.batchN, s.batchJ, s.batchK, s.batchT), "ratio <= 2"},
        {"irp", dims(s.batchN, s.batchJ, s.batchK, 0), ">= 200 MB/s"},
        {"rank", dims(s.batchN, s.batchJ, s.batchK, 0), ">= 200 MB/s"},
        {"rmp", dims(s.batchN, s.batchJ, s.batchK, 0), ">= 200 MB/s"},
        {"worp", dims(s.batchN, s.batchJ, s.batchK, 0), ">= 200 MB/s"},
        {"uorp", dims(s.batchN, s.batchJ, s.batchK, 0), ">= 200 MB/s"},
        {"statistics", dims(s.batchN, s.batchJ, s.batchK, 0), ""},
        {"test", dims(s.batchN, s.batchJ, s.batchK, 0), ""},
        {"item", dims(s.batchN, s.batchJ, s.batchK, 0), ""},
        {"trp", dims(s.batchN, s.batchJ, s.batchK, 0), ""},
        {"examinee", dims(s.batchN, s.batchJ, s.batchK, 0), ""},
        {"report", dims(s.reportN, s.reportJ, s.reportK, 0), "<= 1 s, page <= 3 MB"},
        {"analyze", dims(s.wholeN, s.wholeJ, s.wholeK, s.wholeT), "packages' reference"},
    };
    const char* names[] = {"reading, nitems given", "reading, nitems detected", "reading CSV", "reading UTF-16 CSV", "sequential 'L'", "sequential 'M'",
                           "sequential 'B'", "batch 'G'",
                           "item reference profile", "latent ranks", "rank membership profiles",
                           "weighted observation ratios", "unweighted observation ratios", "statistics (computed)",
                           "test statistics", "item statistics", "rank statistics", "examinee statistics",
                           "report page", "analyze(), every result, all processors"};

    std::ostringstream table;
    table << "| Case | Size | Wall s | ns per cell | Floor s | Ratio | MB/s | Peak MB | Target |\n"
          << "|---|---|---:|---:|---:|---:|---:|---:|---|\n";
    for (std::size_t r = 0; r < rows.size() && !threadsOnly; ++r) {
        if (!needs({rows[r].name.c_str()})) continue;
        std::fprintf(stderr, "Running %s ...\n", names[r]);
        std::vector<std::string> args{argv[0], "--case", rows[r].name, "--work", work};
        if (quick) args.push_back("--quick");
        // Medians over repeated runs: a shared machine's noise hits single runs.
        std::vector<double> seconds, floors;
        Measured m;
        double peakMb = 0.0;
        bool ok = true;
        for (int repeat = 0; repeat < repeats && ok; ++repeat) {
            std::string out;
            const Child c = spawn(args, out);
            ok = c.ok && std::sscanf(out.c_str(), "%lf %lf %lf %lf", &m.seconds, &m.cells, &m.floorSeconds,
                                     &m.bytes) == 4;
            seconds.push_back(m.seconds);
            floors.push_back(m.floorSeconds);
            peakMb = std::max(peakMb, c.peakMb);
        }
        if (!ok) {
            table << "| " << names[r] << " | failed | | | | | | | |\n";
            continue;
        }
        m.seconds = median(seconds);
        m.floorSeconds = median(floors);
        const Child c{m, peakMb, true};
        // The report's row names the page's size, which the target bounds.
        const std::string size =
            rows[r].name == std::string("report") ? rows[r].size + ", page " + format("%.2f", m.bytes / 1e6) + " MB"
                                                  : rows[r].size;
        table << "| " << names[r] << " | " << size << " | " << format("%.3f", m.seconds) << " | "
              << format("%.2f", m.seconds / m.cells * 1e9) << " | " << format("%.3f", m.floorSeconds) << " | "
              << (m.floorSeconds > 0 ? format("%.2f", m.seconds / m.floorSeconds) : std::string("")) << " | "
              << (m.bytes > 0 ? format("%.0f", m.bytes / m.seconds / 1e6) : std::string("")) << " | "
              << format("%.1f", c.peakMb) << " | " << rows[r].target << " |\n";
    }

    if (!only.empty() && only != "sweep" && only != "booklets") {
        std::printf("%s", table.str().c_str());
        return 0;
    }

    // The stages that split their work, at one thread and at every processor
    // in the same child, medians of the repeats; the ratio is the median of
    // the repeats' ratios.
    const std::size_t processors = tavrel::availableProcessors();
    const std::string all = std::to_string(processors);
    std::ostringstream threads;
    threads << "| Case | Size | threads = 1, s | threads = " << all << ", s | Ratio | Target |\n"
            << "|---|---|---:|---:|---:|---|\n";
    const struct {
        const char *name, *label, *target;
        std::string size;
    } threadRows[] = {
        {"threads-G", "batch 'G', one pass", "<= 0.6", dims(s.batchN, s.batchJ, s.batchK, 0)},
        {"threads-M", "sequential 'M'", "<= 0.7", dims(s.seqN, s.seqJ, s.seqK, s.seqT)},
        {"threads-B", "sequential 'B'", "<= 0.7", dims(s.seqN, s.seqJ, s.seqK, s.seqT)},
        {"threads-L", "sequential 'L'", "", dims(s.seqN, s.seqJ, s.seqK, s.seqT)},
        {"threads-files", "all result files", "<= 0.6", dims(s.batchN, s.batchJ, s.batchK, 0)},
    };
    for (const auto& row : threadRows) {
        if (!only.empty()) break;
        std::fprintf(stderr, "Running %s at 1 and %s threads ...\n", row.label, all.c_str());
        std::vector<std::string> args{argv[0], "--case", row.name, "--work", work};
        if (quick) args.push_back("--quick");
        std::vector<double> one, many, ratios;
        bool ok = true;
        for (int repeat = 0; repeat < repeats && ok; ++repeat) {
            std::string out;
            double a = 0.0, b = 0.0, units = 1.0;
            ok = spawn(args, out).ok && std::sscanf(out.c_str(), "%lf %lf %lf", &a, &b, &units) == 3;
            one.push_back(a / units);
            many.push_back(b / units);
            ratios.push_back(b / a);
        }
        if (!ok) {
            threads << "| " << row.label << " | failed | | | | |\n";
            continue;
        }
        threads << "| " << row.label << " | " << row.size << " | " << format("%.3f", median(one)) << " | "
                << format("%.3f", median(many)) << " | " << format("%.2f", median(ratios)) << " | " << row.target
                << " |\n";
    }

    // The whole run through the real program: with the five result files and
    // with the nine at one thread, and with every file, the report included,
    // at one thread and at every processor; medians of the repeats.
    char cwd[4096];
    const std::string absoluteTavrel =
        tavrelPath[0] == '/' ? tavrelPath : std::string(getcwd(cwd, sizeof cwd)) + "/" + tavrelPath;
    const std::string here = getcwd(cwd, sizeof cwd);
    if (chdir(work.c_str()) != 0) return 1;
    const double budgetMb = (2.0 * double(s.wholeN * s.wholeJ) + 8.0 * double(s.wholeN * s.wholeK)) * 1.2 / 1048576.0;
    // The second buffer of memberships that the batch passes use with several threads.
    const double threadsBudgetMb = budgetMb + 8.0 * double(s.wholeN * s.wholeK) * 1.2 / 1048576.0;
    const struct {
        const char *settings, *label;
        std::string threads;
    } wholeRuns[] = {
        {"whole.settings", "five files", "1"},
        {"whole9.settings", "nine files", "1"},
        {"whole10.settings", "all files", "1"},
        {"whole10.settings", "all files", all},
    };
    double wholeSeconds[4] = {0.0, 0.0, 0.0, 0.0};
    for (std::size_t w = 0; w < 4 && !threadsOnly && only.empty(); ++w) {
        const auto& run = wholeRuns[w];
        std::fprintf(stderr, "Running the whole program, %s, at %s threads ...\n", run.label, run.threads.c_str());
        setenv("TAVREL_THREADS", run.threads.c_str(), 1);
        std::vector<double> seconds;
        double peakMb = 0.0;
        bool ok = true;
        for (int repeat = 0; repeat < std::min(repeats, 3); ++repeat) {
            std::string ignored;
            const auto start = Clock::now();
            const Child whole = spawn({absoluteTavrel, run.settings}, ignored);
            seconds.push_back(secondsSince(start));
            peakMb = std::max(peakMb, whole.peakMb);
            ok = ok && whole.ok;
        }
        unsetenv("TAVREL_THREADS");
        wholeSeconds[w] = median(seconds);
        const std::string target = w == 0   ? "<= " + format("%.0f", budgetMb) + " MB"
                                   : w == 1 ? "<= 350 MB, <= 1.25 of five"
                                   : w == 2 ? "<= 350 MB"
                                            : "<= " + format("%.0f", threadsBudgetMb) + " MB";
        table << "| whole run 'G', " << run.label << ", threads = " << run.threads << " | "
              << dims(s.wholeN, s.wholeJ, s.wholeK, s.wholeT) << " | " << format("%.2f", wholeSeconds[w]) << " | "
              << format("%.2f", wholeSeconds[w] / double(s.wholeN * s.wholeJ) * 1e9) << " | | "
              << (w == 1 ? format("%.2f", wholeSeconds[1] / wholeSeconds[0]) + " of five" : std::string()) << " | | "
              << format("%.1f", peakMb) << (ok ? "" : " (failed)") << " | " << target << " |\n";
    }
    if (!threadsOnly && only.empty())
        threads << "| whole run 'G', all files | " << dims(s.wholeN, s.wholeJ, s.wholeK, s.wholeT) << " | "
                << format("%.2f", wholeSeconds[2]) << " | " << format("%.2f", wholeSeconds[3]) << " | "
                << format("%.2f", wholeSeconds[3] / wholeSeconds[2]) << " | <= 0.7 |\n";

    // Choosing K through the binary: the rank sweep against its nine single
    // runs, and eight restarts against eight single runs; medians of the
    // repeats, the configurations interleaved in each repeat.
    std::ostringstream choosing;
    const bool sweepCases = (only.empty() && !threadsOnly) || only == "sweep";
    if (sweepCases) {
        const std::string batchLayout = "infile = batch.txt; idbegin = 1; nitems = " + std::to_string(s.batchJ) +
                                        "; method = batch; maxiter = 20; diffcrit = -1;";
        for (int K = 2; K <= 10; ++K)
            std::ofstream("single" + std::to_string(K) + ".settings")
                << batchLayout << " nranks = " << K << "; testfile = single_test.csv;\n";
        std::ofstream("sweep.settings") << batchLayout
                                        << " nranks = 10; ranksweep = 2-10; testfile = sweep_test.csv; "
                                           "sweepfile = sweep.csv;\n";
        const std::string seqLayout = "infile = sequential.txt; nitems = " + std::to_string(s.seqJ) +
                                      "; nranks = " + std::to_string(s.seqK) + "; method = ml; maxiter = " +
                                      std::to_string(s.seqT) + "; testfile = restart_test.csv;";
        for (int r = 0; r < 8; ++r)
            std::ofstream("restart" + std::to_string(r) + ".settings") << seqLayout << " seed = " << 100 + r << ";\n";
        std::ofstream("restarts.settings") << seqLayout << " seed = 100; restarts = 8;\n";

        // Seconds and peak memory of runs one after another at `threads`.
        const auto runs = [&](const std::vector<std::string>& settings, const std::string& threads, double& peakMb) {
            setenv("TAVREL_THREADS", threads.c_str(), 1);
            double seconds = 0.0;
            for (const std::string& file : settings) {
                std::string ignored;
                const auto start = Clock::now();
                const Child child = spawn({absoluteTavrel, file}, ignored);
                seconds += secondsSince(start);
                peakMb = std::max(peakMb, child.peakMb);
            }
            unsetenv("TAVREL_THREADS");
            return seconds;
        };
        std::vector<std::string> nine, eight;
        for (int K = 2; K <= 10; ++K) nine.push_back("single" + std::to_string(K) + ".settings");
        for (int r = 0; r < 8; ++r) eight.push_back("restart" + std::to_string(r) + ".settings");
        std::vector<double> nineOne, nineAll, sweep, eightOne, restarts;
        double singlePeak = 0.0, sweepPeak = 0.0, ignoredPeak = 0.0;
        for (int repeat = 0; repeat < repeats; ++repeat) {
            std::fprintf(stderr, "Running the rank sweep and the restarts, repeat %d of %d ...\n", repeat + 1, repeats);
            nineOne.push_back(runs(nine, "1", ignoredPeak));
            nineAll.push_back(runs(nine, all, ignoredPeak));
            double tenPeak = 0.0;
            runs({"single10.settings"}, "1", tenPeak);
            singlePeak = std::max(singlePeak, tenPeak);
            sweep.push_back(runs({"sweep.settings"}, all, sweepPeak));
            eightOne.push_back(runs(eight, "1", ignoredPeak));
            restarts.push_back(runs({"restarts.settings"}, all, ignoredPeak));
        }
        const double budgetSweepMb = singlePeak + (2.0 * 8.0 * double(s.batchN) * 10.0 +
                                                   double(processors) * double(s.batchJ) * 10.0 * 8.0) *
                                                      1.2 / 1048576.0;
        choosing << "| Case | Size | Seconds | Against | Ratio | Peak MB | Target |\n|---|---|---:|---|---:|---:|---|\n"
                 << "| rank sweep 2-10, 'G', threads = " << all << " | "
                 << dims(s.batchN, s.batchJ, 10, 20) << " | " << format("%.2f", median(sweep))
                 << " | nine single runs, threads = 1: " << format("%.2f", median(nineOne)) << " s | "
                 << format("%.2f", median(sweep) / median(nineOne)) << " | " << format("%.1f", sweepPeak)
                 << " | <= 0.6; peak <= " << format("%.0f", budgetSweepMb) << " MB (single K = 10: "
                 << format("%.1f", singlePeak) << " MB) |\n"
                 << "| rank sweep 2-10, 'G', threads = " << all << " | " << dims(s.batchN, s.batchJ, 10, 20) << " | "
                 << format("%.2f", median(sweep)) << " | nine single runs, threads = " << all << ": "
                 << format("%.2f", median(nineAll)) << " s | " << format("%.2f", median(sweep) / median(nineAll))
                 << " | | <= 0.95 |\n"
                 << "| restarts = 8, 'M', threads = " << all << " | " << dims(s.seqN, s.seqJ, s.seqK, s.seqT) << " | "
                 << format("%.2f", median(restarts)) << " | eight single runs, threads = 1: "
                 << format("%.2f", median(eightOne)) << " s | " << format("%.2f", median(restarts) / median(eightOne))
                 << " | | <= 0.6 |\n";
    }
    // Booklet designs against complete data of as many answers per examinee,
    // through the binary at one thread; the runs interleaved in each repeat.
    std::ostringstream booklets;
    if (bookletCases) {
        booklets << "| Case | Size | Seconds | Complete data | Seconds | Ratio | Peak MB | Target |\n"
                 << "|---|---|---:|---|---:|---:|---:|---|\n";
        setenv("TAVREL_THREADS", "1", 1);
        for (const BookletCase& c : bookletCasesOf(quick)) {
            std::fprintf(stderr, "Running booklet case (%s) ...\n", c.name.c_str());
            std::vector<double> listed, complete, ratios;
            double peakMb = 0.0;
            for (int repeat = 0; repeat < repeats; ++repeat) {
                double seconds[2];
                for (int design = 0; design < 2; ++design) {
                    std::string ignored;
                    const auto start = Clock::now();
                    const Child child =
                        spawn({absoluteTavrel, c.name + (design == 0 ? "_booklets" : "_complete") + ".settings"},
                              ignored);
                    seconds[design] = secondsSince(start);
                    if (design == 0) peakMb = std::max(peakMb, child.peakMb);
                }
                listed.push_back(seconds[0]);
                complete.push_back(seconds[1]);
                ratios.push_back(seconds[0] / seconds[1]);
            }
            const double J = double(c.pool / c.booklets);
            const double present = double(c.N) * J;
            // The responses and their mask, the list of present answers and
            // the memberships, plus 20 %.
            const double budgetMb =
                (2.0 * double(c.N * c.pool) + 8.0 * present + 8.0 * double(c.N) * 10.0) * 1.2 / 1048576.0;
            booklets << "| (" << c.name << ") " << c.booklets << " booklets of " << c.pool / c.booklets << " | "
                     << dims(c.N, c.pool, 10, 20) << " | " << format("%.2f", median(listed)) << " | "
                     << dims(c.N, c.pool / c.booklets, 10, 20) << " | " << format("%.2f", median(complete)) << " | "
                     << format("%.2f", median(ratios)) << " | " << format("%.1f", peakMb) << " | <= "
                     << format("%.2f", c.target) << (c.name == "b" ? "; peak <= " + format("%.0f", budgetMb) + " MB"
                                                                     : std::string())
                     << " |\n";
        }
        unsetenv("TAVREL_THREADS");
    }
    if (chdir(here.c_str()) != 0) return 1;
    if (only == "booklets") {
        std::printf("%s", booklets.str().c_str());
        return 0;
    }
    if (only == "sweep") {
        std::printf("%s", choosing.str().c_str());
        return 0;
    }

    char date[32];
    const std::time_t now = std::time(nullptr);
    std::strftime(date, sizeof date, "%Y-%m-%d %H:%M UTC", std::gmtime(&now));
    std::ostringstream report;
    report << "# Benchmark results\n\n"
           << "Date: " << date << "  \nCPU: " << cpuModel() << "  \nCompiler: " << compiler()
           << "  \nBuild: Release, -O3 -ffp-contract=off" << (quick ? "  \nScale: quick (reduced sizes)" : "") << "  \nMedians of " << repeats << " runs per case"
           << "\n\n"
           << (threadsOnly ? std::string() : table.str() + "\n")
           << "Threads (ratio: the time at every processor over the time at one thread, in the same process):\n\n"
           << threads.str() << "\n"
           << (choosing.str().empty() ? std::string()
                                      : "Choosing K (the whole program; medians of the repeats):\n\n" + choosing.str() + "\n")
           << (booklets.str().empty()
                   ? std::string()
                   : "Booklet designs (the whole program, batch, the nine result files, threads = 1; the ratio is the "
                     "median of the repeats' ratios):\n\n" +
                         booklets.str() + "\n")
           << "A cell is one present response x rank x pass for the estimation, one response for reading and\n"
           << "writing (ns per response). Floors are bare loops measured in the same process: reading, one\n"
           << "buffered pass copying and classifying the same bytes; reading CSV (UTF-16: the same data with\n"
           << "Japanese ids and names), one pass counting the field and record ends; 'M' and 'B', one logarithm\n"
           << "per present cell and rank summed per rank, plus the update stores; 'L', one squared difference\n"
           << "per cell plus the update stores; 'G', per pass the log-likelihood as one running sum over\n"
           << "examinee, rank and item with log tables plus the N*K*K smoothing products; writers, the same\n"
           << "count of numbers through the exact 6-digit formatter (the ratio files compute N examinees'\n"
           << "measures and write only J*K numbers, so their MB/s is not a measure of output speed). Peak MB is\n"
           << "the peak resident memory of the case's own process. The report page is timed from its counts to\n"
           << "the written file, after the statistics it shows; its size depends on J and K, not on N.\n"
           << "The memory budget of the whole run is the\n"
           << "ResponseMatrix and MissingMask (2 bytes per response) plus 8*N*K bytes, plus 20 %; with several\n"
           << "threads the batch passes hold a second matrix of memberships, 8*N*K bytes more.\n";
    std::printf("%s", report.str().c_str());
    std::ofstream(results) << report.str();
    return 0;
}
