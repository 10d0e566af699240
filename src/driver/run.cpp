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
#include "tavrel/version.hpp"
#include "common/workers.hpp"
#include "data/data_layout.hpp"
#include "data/fixed_profile.hpp"
#include "data/item_use.hpp"
#include "data/prior.hpp"
#include "data/response_data.hpp"
#include "driver/output_stage.hpp"
#include "driver/run_parameters.hpp"
#include "driver/run_plan.hpp"
#include "estimation/batch_estimation.hpp"
#include "estimation/rank_measures.hpp"
#include "estimation/sequential_learning.hpp"
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
