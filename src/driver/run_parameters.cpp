#include "driver/run_parameters.hpp"

#include <ostream>

#include "common/console.hpp"
#include "common/failures.hpp"
#include "common/numbers.hpp"
#include "settings/value_interpreters.hpp"

namespace tavrel {

RunParameters resolveRunParameters(const SettingMap& settings, std::ostream& console) {
    RunParameters p;
    // Each parameter keeps its default unless its key is present, an empty
    // value included.
    const auto resolve = [&](const char* key, auto& parameter, auto convert) {
        const auto it = settings.find(key);
        if (it != settings.end()) parameter = convert(it->second);
    };

    resolve("nranks", p.nranks, leadingInteger);
    console << kNote << "Number of latent ranks is " << p.nranks << ".\n";
    if (p.nranks < 1) throw FatalSetting("Number of latent ranks must be 1 or more.");

    resolve("maxiter", p.schedule.maxiter, leadingInteger);
    resolve("alpha1", p.schedule.alpha1, leadingNumber);
    resolve("alphat", p.schedule.alphat, leadingNumber);
    resolve("sigma1", p.schedule.sigma1, leadingNumber);
    resolve("sigmat", p.schedule.sigmat, leadingNumber);
    resolve("seed", p.seed, leadingInteger);
    resolve("diffcrit", p.diffcrit, leadingNumber);
    resolve("method", p.method, interpretMethod);
    resolve("increase", p.increase, interpretBoolean);
    resolve("dlm", p.delimiter, interpretDelimiter);
    return p;
}

std::size_t resolveThreads(const SettingMap& settings, const char* environment, std::size_t processors) {
    constexpr std::int32_t kMostThreads = 256;
    std::int32_t threads = 0;
    const auto setting = settings.find("threads");
    if (setting != settings.end()) {
        threads = leadingInteger(setting->second);
    } else if (environment != nullptr) {
        // Text that is not a number converts to 0, as if the variable were unset.
        threads = leadingInteger(environment);
    }
    if (threads <= 0) return processors;
    return static_cast<std::size_t>(threads < kMostThreads ? threads : kMostThreads);
}

}  // namespace tavrel
