#include "driver/run_parameters.hpp"

#include <algorithm>
#include <array>
#include <string_view>
#include <type_traits>

#include "common/messages.hpp"
#include "tavrel/failures.hpp"
#include "common/numbers.hpp"
#include "common/workers.hpp"
#include "common/number_format.hpp"
#include "settings/setting_keys.hpp"
#include "settings/value_interpreters.hpp"

namespace tavrel {

namespace {

// A number as the report shows a default: 6 significant digits, or whole.
template <class Value>
std::string text(Value value) {
    char buffer[kMaxNumberText];
    if constexpr (std::is_integral_v<Value>)
        return std::string(buffer, formatInteger(value, buffer));
    else
        return std::string(buffer, formatGeneral(value, buffer));
}

}  // namespace

RunParameters resolveRunParameters(const SettingMap& settings, Observer& observer) {
    RunParameters p;
    // Each parameter keeps its default unless its key is present, an empty
    // value included.
    const auto resolve = [&](const char* key, auto& parameter, auto convert) {
        if (const std::string* value = findSetting(settings, key)) parameter = convert(*value);
    };

    resolve("nranks", p.nranks, leadingInteger);
    note(observer, "Number of latent ranks is ", p.nranks, ".");
    if (p.nranks < 1) throw FatalSetting("Number of latent ranks must be 1 or more.");

    resolve("maxiter", p.schedule.maxiter, leadingInteger);
    resolve("alpha1", p.schedule.alpha1, leadingNumber);
    resolve("alphat", p.schedule.alphat, leadingNumber);
    resolve("sigma1", p.schedule.sigma1, leadingNumber);
    resolve("sigmat", p.schedule.sigmat, leadingNumber);
    resolve("seed", p.seed, leadingInteger);
    resolve("restarts", p.restarts, leadingInteger);
    resolve("diffcrit", p.diffcrit, leadingNumber);
    resolve("method", p.method, [](const std::string& word) { return methodFromWord(word).value_or(Method::Likelihood); });
    resolve("increase", p.increase, interpretBoolean);
    resolve("dlm", p.delimiter, interpretDelimiter);
    return p;
}

std::vector<ParameterText> reportParameters(const SettingMap& settings, const RunParameters& params, double phi,
                                            std::int32_t seedUsed) {
    // Settings that leave the results as they are (the number of worker
    // threads) stay off the page, so that its bytes are the same whatever
    // they are set to.
    constexpr std::array<std::string_view, 1> kNotReported{"threads"};
    const bool sequential = params.method != Method::Batch;
    // A sequential run shows the seed it used, so that it can be repeated.
    const auto seedText = [&](const std::string& given) {
        return sequential ? text(seedUsed) : given;
    };
    const auto seedNote = [&] {
        if (!sequential) return std::string();
        if (params.seed <= 0) return std::string("0 or less was given: the examinee order was seeded from the clock");
        if (seedUsed != params.seed) return std::string("the seed of the restart kept");
        return std::string();
    };
    std::vector<ParameterText> rows;
    for (const SettingKey& key : kSettingKeys) {
        const auto it = settings.find(std::string(key.name));
        if (it == settings.end()) continue;
        if (std::find(kNotReported.begin(), kNotReported.end(), key.name) != kNotReported.end()) continue;
        if (key.name == "seed")
            rows.push_back({it->first, seedText(it->second), false, seedNote()});
        else
            rows.push_back({it->first, it->second, false, std::string()});
    }

    const RunParameters defaults;
    const auto byDefault = [&](const char* key, std::string value, std::string note = {}) {
        if (!settings.contains(key)) rows.push_back({key, std::move(value), true, std::move(note)});
    };
    byDefault("nranks", text(defaults.nranks));
    byDefault("method", std::string(methodWord(defaults.method)));
    byDefault("maxiter", text(defaults.schedule.maxiter));
    byDefault("increase", defaults.increase ? "true" : "false");
    byDefault("seed", seedText(text(defaults.seed)), seedNote());
    byDefault("alpha1", text(defaults.schedule.alpha1));
    byDefault("sigma1", text(defaults.schedule.sigma1));
    byDefault("alphat", text(defaults.schedule.alphat));
    byDefault("sigmat", text(defaults.schedule.sigmat));
    byDefault("diffcrit", text(defaults.diffcrit));
    byDefault("dlm", std::string(1, defaults.delimiter));
    if (params.method == Method::Batch) byDefault("phi", text(phi), "for K = " + text(params.nranks));
    return rows;
}

std::size_t resolveThreads(const SettingMap& settings, const char* environment, std::size_t processors) {
    constexpr auto kMostThreads = static_cast<std::int32_t>(kMostWorkers);
    std::int32_t threads = 0;
    if (const std::string* setting = findSetting(settings, "threads")) {
        threads = leadingInteger(*setting);
    } else if (environment != nullptr) {
        // Text that is not a number converts to 0, as if the variable were unset.
        threads = leadingInteger(environment);
    }
    if (threads <= 0) return processors;
    return static_cast<std::size_t>(threads < kMostThreads ? threads : kMostThreads);
}

}  // namespace tavrel
