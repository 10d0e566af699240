#include "driver/run.hpp"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <istream>
#include <new>
#include <ostream>
#include <stdexcept>
#include <string_view>
#include <utility>
#include <vector>

#include "common/console.hpp"
#include "common/processors.hpp"
#include "common/types.hpp"
#include "data/data_layout.hpp"
#include "data/fixed_profile.hpp"
#include "data/item_use.hpp"
#include "data/prior.hpp"
#include "driver/console_observer.hpp"
#include "driver/interrupt_signals.hpp"
#include "driver/run_parameters.hpp"
#include "driver/run_plan.hpp"
#include "common/messages.hpp"
#include "settings/rank_count_list.hpp"
#include "settings/setting_file.hpp"
#include "settings/value_interpreters.hpp"
#include "tavrel/tavrel.hpp"

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

// The rank counts of a sweep, when the settings ask for one it can show and
// use; the warnings on what stands in its way.
std::optional<std::vector<std::int32_t>> rankSweep(const RunPlan& plan, Observer& observer) {
    if (!plan.rankSweep) {
        if (plan.sweepFile) warn(observer, "Parameter \"sweepfile\" needs ranksweep; it is ignored.");
        return std::nullopt;
    }
    std::vector<std::int32_t> counts = rankCountList(*plan.rankSweep, observer);
    if (plan.fixedFile || plan.prior) {
        warn(observer, "Parameter \"ranksweep\" cannot be used with fixedfile or prior; it is ignored.");
        return std::nullopt;
    }
    if (!plan.sweepFile && !plan.report) {
        warn(observer, "Parameter \"ranksweep\" has no sweepfile or reportfile to show it; it is ignored.");
        return std::nullopt;
    }
    return counts;
}

// The guarded run sequence: settings to options and layout, read, analyze,
// write.
void runSequence(const std::string& settingFile, SettingMap& settings, std::ostream& console) {
    ConsoleObserver observer(console, [] { return InterruptSignals::received() != 0; });
    if (observer.stopRequested()) throw Cancelled();
    if (!settingFile.empty()) readSettingFile(settingFile, settings, observer);
    const RunPlan plan = planRun(settings);
    const std::size_t threads = resolveThreads(settings, std::getenv("TAVREL_THREADS"), availableProcessors());

    const DataLayout layout = resolveDataLayout(settings, observer);
    const ResponseData read = readResponses(layout, observer);
    const std::int32_t J = read.nitems;
    const RunParameters params = resolveRunParameters(settings, observer);
    const std::int32_t K = params.nranks;
    const std::optional<std::vector<std::int32_t>> sweep = rankSweep(plan, observer);

    // The profile's cells are allocated before the prior is read, so that a
    // rank count beyond memory fails before anything is read for it.
    std::vector<char> fixedMask(arrayCount(J, K), '1');
    std::vector<double> fixedValues(arrayCount(J, K));
    if (plan.fixedFile) readFixedProfile(*plan.fixedFile, fixedMask, fixedValues, K, J, params.delimiter, observer);
    std::vector<double> prior;
    if (plan.prior) {
        prior.resize(arrayCount(K));
        readPrior(*plan.prior, prior, K, observer);
    }
    std::vector<char> itemUse;
    if (plan.itemUse) itemUse = itemUseFlags(*plan.itemUse, J, observer);

    Options options;
    options.nranks = K;
    options.method = params.method;
    options.maxiter = params.schedule.maxiter;
    // The clock is read once: the sweep uses the same seed as the run.
    options.seed = params.seed > 0 || params.method == Method::Batch ? params.seed
                                                                     : static_cast<std::int32_t>(std::time(nullptr));
    options.restarts = params.restarts;
    options.alpha1 = params.schedule.alpha1;
    options.alphat = params.schedule.alphat;
    options.sigma1 = params.schedule.sigma1;
    options.sigmat = params.schedule.sigmat;
    options.diffcrit = params.diffcrit;
    options.increase = params.increase;
    options.prior = prior;
    options.itemUse = itemUse;
    if (plan.fixedFile) {
        options.fixedValues = fixedValues;
        options.fixedMask = fixedMask;
    }
    if (plan.phi) options.phi = interpretFraction(*plan.phi);
    options.threads = threads;
    options.requests = requestsFor(plan.files, plan.report.has_value(), params.method);
    // A sweep takes the run's own rank count from the run.
    if (sweep) options.requests.statistics = options.requests.marginal = true;
    const ResponseTable table = ResponseTable::of(read);
    const Result result = analyze(table, options, observer);

    const Labels labels{read.ids, read.itemNames};
    writeResultFiles(plan.files, result, labels, params.delimiter, threads, observer);
    std::vector<SweepRow> rows;
    if (sweep) {
        if (observer.stopRequested()) throw Cancelled();
        rows = sweepRanks(table, options, *sweep, &result, observer);
        if (plan.sweepFile && observer.stopRequested()) throw Cancelled();
        if (plan.sweepFile) writeSweepFile(*plan.sweepFile, rows, params.delimiter, observer);
    }
    if (!plan.report) return;
    if (observer.stopRequested()) throw Cancelled();
    const std::vector<ParameterText> parameters = reportParameters(settings, params, result.phi, result.seed);
    const std::string_view dataFile = layout.infile ? std::string_view(*layout.infile) : std::string_view();
    writeReport(*plan.report, result, labels, {dataFile, parameters, rows}, observer);
}

// The exit status of a run stopped by a signal: 128 + the signal's number.
constexpr int kInterruptedStatus = 128;

// Runs the sequence and reports a failure; returns the exit status.
int guardedRun(const std::string& settingFile, SettingMap& settings, std::ostream& console) {
    try {
        runSequence(settingFile, settings, console);
        return 0;
    } catch (const Cancelled&) {
        console << kError << "The run is interrupted.\n";
        return kInterruptedStatus + InterruptSignals::received();
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
    } catch (const EncodingFailure& failure) {
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
    const InterruptSignals signals;
    const bool withArgument = !args.empty();
    SettingsSource source;
    if (withArgument)
        source.settingFile = args[0];
    else
        source = askForSettings(input, console);

    const int status = guardedRun(source.settingFile, source.settings, console);

    // An interrupted run does not wait for a key.
    if (!withArgument && status < kInterruptedStatus) {
        console << "Push any key and return key. ";
        readWord(input);
    }
    return status;
}

}  // namespace tavrel
