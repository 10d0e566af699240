#include "driver/run.hpp"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <istream>
#include <new>
#include <ostream>
#include <stdexcept>
#include <string_view>
#include <utility>
#include <vector>

#include "common/console.hpp"
#include "common/failures.hpp"
#include "common/large_array.hpp"
#include "common/processors.hpp"
#include "common/types.hpp"
#include "common/version.hpp"
#include "common/workers.hpp"
#include "data/data_layout.hpp"
#include "common/workers.hpp"
#include "data/fixed_profile.hpp"
#include "data/item_use.hpp"
#include "data/prior.hpp"
#include "data/response_data.hpp"
#include "analysis/rank_counts.hpp"
#include "analysis/run_statistics.hpp"
#include "driver/run_parameters.hpp"
#include "driver/run_plan.hpp"
#include "estimation/batch_estimation.hpp"
#include "estimation/rank_measures.hpp"
#include "estimation/sequential_learning.hpp"
#include "output/result_writers.hpp"
#include "output/statistics_writers.hpp"
#include "report/report_page.hpp"
#include "settings/setting_file.hpp"
#include "settings/value_interpreters.hpp"

namespace tavrel {
namespace {

struct SettingsSource {
    std::string settingFile;  // empty: no setting file to read
    SettingMap settings;      // filled by the interactive mode
};

// Without an argument: asks for a setting file or, failing that, asks the
// five interactive questions.
SettingsSource askForSettings(std::istream& input, std::ostream& console) {
    SettingsSource source;
    console << "Usage> tavrel.exe setting_file\n";
    console << "Is there a setting file? [y/n]: ";
    const std::string answer = readWord(input);
    if (!answer.empty() && (answer[0] == 'Y' || answer[0] == 'y')) {
        console << "Input name of the setting file: ";
        source.settingFile = readWord(input);
        return source;
    }
    console << "----------- interactive mode -----------\n";
    console << "Answer the following 5 questions.\n";
    static constexpr std::array<std::pair<const char*, const char*>, 5> questions{{
        {"data file name: ", "infile"},
        {"start column of response: ", "databegin"},
        {"number of items: ", "nitems"},
        {"number of latent ranks: ", "nranks"},
        {"file name of item reference profile: ", "outfile"},
    }};
    for (const auto& [prompt, key] : questions) {
        console << prompt;
        source.settings[key] = readWord(input);
    }
    return source;
}

// A finished estimate with everything the result files are written from.
struct FinishedRun {
    ResponseView data;
    const ExamineeIds& ids;
    std::span<const std::string> itemNames;  // empty: items are numbered
    Model model;
    std::span<const char> itemUse;
    std::span<const double> filter;  // the batch method's smoothing filter, empty for the others
    std::span<const double> trace;   // the batch method's traced value of every pass
    EstimationSummary estimation;
    char delimiter;
    std::string_view dataFile;                  // the infile value; empty without one
    std::span<const ParameterText> parameters;  // the report's run parameters
};

// The result files the plan names, in their fixed order. Every examinee's
// rank and memberships are computed once, after the item reference profile,
// for all the writers that need them; the statistics once for their four files.
void writeResults(const RunPlan& plan, const FinishedRun& run, Workers& workers, std::ostream& console) {
    const std::size_t K = run.model.nranks;
    const std::size_t N = run.data.nexaminees;
    const char method = run.estimation.method;
    const std::span<const double> profile = run.model.profile;
    ResultInputs results{run.data, run.ids, profile, run.itemUse, {}, {}, K, run.delimiter};
    if (plan.itemReferenceProfile) writeItemReferenceProfile(*plan.itemReferenceProfile, results, console);

    const bool statistics = plan.wantsStatistics();
    // Under 'L' the membership rows are distances; the statistics use the
    // likelihood's memberships instead.
    const bool methodRows = plan.rankMemberships || plan.weightedRatios || (statistics && method != 'L');
    std::vector<std::int32_t> ranks(plan.wantsRanks() ? N : 0);
    std::vector<double> membership = largeArray<double>(methodRows ? N * K : 0);
    if (!ranks.empty() || !membership.empty())
        rankExaminees(RankScorer(profile, run.model.prior, K, run.data.nitems, method), run.data, ranks, membership,
                      workers);
    results.ranks = ranks;
    results.membership = membership;
    if (plan.latentRanks) writeLatentRanks(*plan.latentRanks, results, workers, console);
    if (plan.rankMemberships) writeRankMembershipProfiles(*plan.rankMemberships, results, workers, console);
    if (plan.weightedRatios) writeWeightedObservationRatioProfile(*plan.weightedRatios, results, workers, console);
    if (plan.unweightedRatios)
        writeUnweightedObservationRatioProfile(*plan.unweightedRatios, results, workers, console);
    if (!statistics) return;

    std::vector<double> likelihoodMembership;
    if (method == 'L') {
        likelihoodMembership = largeArray<double>(N * K);
        rankExaminees(RankScorer(profile, run.model.prior, K, run.data.nitems, 'M'), run.data, {},
                      likelihoodMembership, workers);
    }
    const std::span<const double> memberships = method == 'L' ? likelihoodMembership : membership;
    const RunStatistics stats = computeStatistics(
        {run.data, profile, run.model.fixedMask, run.itemUse, memberships, ranks, run.filter, K}, workers);
    const StatisticsFileInputs files{stats, run.itemUse, run.itemNames, memberships, ranks,
                                     run.ids, run.estimation, K, run.delimiter};
    if (plan.testStatistics) writeTestStatistics(*plan.testStatistics, files, console);
    if (plan.itemStatistics) writeItemStatistics(*plan.itemStatistics, files, console);
    if (plan.rankStatistics) writeRankStatistics(*plan.rankStatistics, files, console);
    if (plan.examineeStatistics) writeExamineeStatistics(*plan.examineeStatistics, files, workers, console);
    if (!plan.report) return;

    const RankCounts counts = countByRank(run.data, ranks, stats.scores, stats.itemsInUse, K, workers);
    const ReportInputs report{stats,           counts,         profile, run.itemUse, run.itemNames, run.trace,
                              run.parameters,  run.dataFile,   N,       K,           run.estimation};
    writeReport(*plan.report, report, console);
}

// The guarded run sequence, from reading the setting file to the result files.
void runSequence(const std::string& settingFile, SettingMap& settings, std::ostream& console) {
    if (!settingFile.empty()) readSettingFile(settingFile, settings, console);
    const RunPlan plan = planRun(settings);

    // The worker threads of the whole run, lent to the stages that split
    // their work.
    const std::size_t processors = availableProcessors();
    Workers workers(resolveThreads(settings, std::getenv("TAVREL_THREADS"), processors), processors);

    const DataLayout layout = resolveDataLayout(settings, console);
    const ResponseData read = readResponseData(layout, console);
    const std::int32_t J = read.nitems;
    const std::int32_t N = read.nexaminees;

    const RunParameters params = resolveRunParameters(settings, console);
    const std::int32_t K = params.nranks;

    std::vector<char> missingMask = largeArray<char>(arrayCount(N, J));
    buildMissingMask(std::span<const char>(read.responses.data(), missingMask.size()), missingMask);

    std::vector<char> fixedMask(arrayCount(J, K), '1');
    std::vector<double> profile(arrayCount(J, K));
    for (std::size_t j = 0; j < static_cast<std::size_t>(J); ++j)
        for (std::size_t k = 0; k < static_cast<std::size_t>(K); ++k)
            profile[j * static_cast<std::size_t>(K) + k] = double(k + 1) / double(std::int64_t{K} + 1);
    if (plan.fixedFile) readFixedProfile(*plan.fixedFile, fixedMask, profile, K, J, params.delimiter, console);

    std::vector<double> prior(arrayCount(K), 1.0 / double(K));
    if (plan.prior) readPrior(*plan.prior, prior, K, console);

    std::vector<char> itemUse(arrayCount(J), '1');
    if (plan.itemUse) applyItemUse(*plan.itemUse, missingMask, itemUse, J, N, console);

    const ResponseView data{std::span<const char>(read.responses.data(), missingMask.size()), missingMask,
                            static_cast<std::size_t>(J), static_cast<std::size_t>(N)};
    const Model model{profile, fixedMask, prior, static_cast<std::size_t>(K)};
    EstimationSummary estimation{params.method, std::max(params.schedule.maxiter, 0), false};
    std::vector<double> filter;
    std::vector<double> trace;
    double phi = 0.0;
    if (params.method == 'G') {
        phi = plan.phi ? interpretFraction(*plan.phi) : defaultPhi(K, console);
        filter.resize(arrayCount(K, K));
        buildSmoothingFilter(filter, K, phi);
        BatchOutcome outcome =
            estimateBatch(data, model, filter, {params.schedule.maxiter, params.diffcrit, params.increase}, workers,
                          console);
        estimation.passes = outcome.passes;
        estimation.converged = outcome.converged;
        trace = std::move(outcome.trace);
    } else {
        learnSequential(data, model, {params.schedule, params.seed, params.method, params.increase}, workers, console);
    }
    if (plan.fixedFile) orientProfile(profile, model.nranks);

    const std::vector<ParameterText> parameters =
        plan.report ? reportParameters(settings, params, phi) : std::vector<ParameterText>();
    const std::string_view dataFile = layout.infile ? std::string_view(*layout.infile) : std::string_view();
    writeResults(plan,
                 {data, read.ids, read.itemNames, model, itemUse, filter, trace, estimation, params.delimiter, dataFile,
                  parameters},
                 workers, console);
}

// Runs the sequence and reports a failure; returns the exit status.
int guardedRun(const std::string& settingFile, SettingMap& settings, std::ostream& console) {
    try {
        runSequence(settingFile, settings, console);
        return 0;
    } catch (const std::bad_alloc&) {
        console << kError << "Memory allocation has been failed.\n";
    } catch (const std::length_error&) {
        console << kError << "Memory allocation has been failed.\n";
    } catch (const FileFailure& failure) {
        console << kError << "File \"" << failure.fileName() << "\" cannot be found.\n";
    } catch (const std::out_of_range&) {
        console << kError << "Index number is out of range.\n";
    } catch (const FatalSetting& failure) {
        console << kError << failure.what() << "\n";
    }
    return 1;
}

constexpr const char* kHelp =
    "Usage: tavrel SETTING_FILE\n"
    "       tavrel --help | --version\n"
    "\n"
    "Estimates a latent rank model from test data and writes the item reference\n"
    "profile and the examinees' latent ranks. The setting file holds key = value;\n"
    "pairs: the response data file (infile; fixed columns, or dataformat = csv,\n"
    "tsv or semicolon), the number of latent ranks (nranks), the method and the\n"
    "result files (outfile, rankfile, ...). Without an argument tavrel asks for\n"
    "the setting file or for the five essential settings.\n"
    "\n"
    "Messages go to standard error; the exit status is 0, or 1 after an error.\n"
    "The key reference and the file formats are in the README (README.md in the\n"
    "source tree, share/doc/tavrel/README.md where tavrel is installed).\n"
    "A setting file named --help is given as ./--help; likewise for --version.\n";

}  // namespace

int runProgram(std::span<const std::string> args, std::istream& input, std::ostream& output, std::ostream& console) {
    if (!args.empty() && (args[0] == "--help" || args[0] == "--version")) {
        if (args[0] == "--help")
            output << kHelp;
        else
            output << kProgramName << ' ' << kProgramVersion << "\n";
        output.flush();
        return output ? 0 : 1;
    }
    const bool withArgument = !args.empty();
    SettingsSource source;
    if (withArgument)
        source.settingFile = args[0];
    else
        source = askForSettings(input, console);

    const int status = guardedRun(source.settingFile, source.settings, console);

    if (!withArgument) {
        console << "Push any key and return key. ";
        readWord(input);
    }
    return status;
}

}  // namespace tavrel
