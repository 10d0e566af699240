#include "driver/run.hpp"

#include <array>
#include <cstdlib>
#include <istream>
#include <new>
#include <ostream>
#include <stdexcept>
#include <vector>

#include "common/console.hpp"
#include "common/failures.hpp"
#include "common/large_array.hpp"
#include "common/processors.hpp"
#include "common/types.hpp"
#include "common/workers.hpp"
#include "data/fixed_profile.hpp"
#include "data/item_use.hpp"
#include "data/prior.hpp"
#include "data/response_data.hpp"
#include "driver/run_parameters.hpp"
#include "estimation/batch_estimation.hpp"
#include "estimation/rank_measures.hpp"
#include "estimation/sequential_learning.hpp"
#include "output/result_writers.hpp"
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

const std::string* findSetting(const SettingMap& settings, const char* key) {
    const auto it = settings.find(key);
    return it == settings.end() ? nullptr : &it->second;
}

// The guarded run sequence, from reading the setting file to the result files.
void runSequence(const std::string& settingFile, SettingMap& settings, std::ostream& console) {
    if (!settingFile.empty()) readSettingFile(settingFile, settings, console);

    // The worker threads of the whole run, lent to the stages that split
    // their work.
    const std::size_t processors = availableProcessors();
    Workers workers(resolveThreads(settings, std::getenv("TAVREL_THREADS"), processors), processors);

    std::string responses;
    std::string examineeIds;
    std::int32_t J = 0;
    std::int32_t N = 0;
    std::int32_t idlength = 0;
    readResponseData(settings, responses, examineeIds, J, N, idlength, console);

    const RunParameters params = resolveRunParameters(settings, console);
    const std::int32_t K = params.nranks;

    std::vector<char> missingMask = largeArray<char>(arrayCount(N, J));
    buildMissingMask(std::span<const char>(responses.data(), missingMask.size()), missingMask);

    std::vector<char> fixedMask(arrayCount(J, K), '1');
    std::vector<double> profile(arrayCount(J, K));
    for (std::size_t j = 0; j < static_cast<std::size_t>(J); ++j)
        for (std::size_t k = 0; k < static_cast<std::size_t>(K); ++k)
            profile[j * static_cast<std::size_t>(K) + k] = double(k + 1) / double(std::int64_t{K} + 1);

    const std::string* fixedFile = findSetting(settings, "fixedfile");
    if (fixedFile != nullptr) readFixedProfile(*fixedFile, fixedMask, profile, K, J, params.delimiter, console);

    std::vector<double> prior(arrayCount(K), 1.0 / double(K));
    if (const std::string* value = findSetting(settings, "prior")) readPrior(*value, prior, K, console);

    std::vector<char> itemUse(arrayCount(J), '1');
    if (const std::string* value = findSetting(settings, "itemuse"))
        applyItemUse(*value, missingMask, itemUse, J, N, console);

    const ResponseView data{std::span<const char>(responses.data(), missingMask.size()), missingMask,
                            static_cast<std::size_t>(J), static_cast<std::size_t>(N)};
    const Model model{profile, fixedMask, prior, static_cast<std::size_t>(K)};
    if (params.method == 'G') {
        const std::string* phiValue = findSetting(settings, "phi");
        const double phi = phiValue != nullptr ? interpretFraction(*phiValue) : defaultPhi(K, console);
        std::vector<double> filter(arrayCount(K, K));
        buildSmoothingFilter(filter, K, phi);
        estimateBatch(data, model, filter, {params.schedule.maxiter, params.diffcrit, params.increase}, workers,
                      console);
    } else {
        learnSequential(data, model, {params.schedule, params.seed, params.method, params.increase}, workers, console);
    }
    if (fixedFile != nullptr) orientProfile(profile, model.nranks);

    const ResultInputs results{data,    examineeIds, profile,  prior, itemUse, model.nranks,
                               idlength, params.method, params.delimiter};
    using Writer = void (*)(const std::string&, const ResultInputs&, std::ostream&);
    static constexpr std::array<std::pair<const char*, Writer>, 5> writers{{
        {"outfile", writeItemReferenceProfile},
        {"rankfile", writeLatentRanks},
        {"rmpfile", writeRankMembershipProfiles},
        {"worpfile", writeWeightedObservationRatioProfile},
        {"uorpfile", writeUnweightedObservationRatioProfile},
    }};
    for (const auto& [key, write] : writers)
        if (const std::string* fileName = findSetting(settings, key)) write(*fileName, results, console);
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

}  // namespace

int runProgram(std::span<const std::string> args, std::istream& input, std::ostream& console) {
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
