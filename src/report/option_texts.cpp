// The options of a client's analysis as the report's header lists them.

#include <algorithm>
#include <string>

#include "common/number_format.hpp"
#include "settings/setting_keys.hpp"
#include "tavrel/writers.hpp"

namespace tavrel {
namespace {

std::string numberText(double value) {
    char buffer[kMaxNumberText];
    return std::string(buffer, formatGeneral(value, buffer));
}

std::string integerText(std::int64_t value) {
    char buffer[kMaxNumberText];
    return std::string(buffer, formatInteger(value, buffer));
}

}  // namespace

std::vector<ParameterText> describeOptions(const Options& options, const Result& result) {
    const Options defaults;
    const bool batch = options.method == Method::Batch;
    std::vector<ParameterText> rows;
    const auto add = [&](const char* key, std::string value, bool byDefault, std::string note = {}) {
        rows.push_back({key, std::move(value), byDefault, std::move(note)});
    };
    const auto number = [&](const char* key, double value, double fallback) {
        add(key, numberText(value), value == fallback);
    };
    for (const SettingKey& key : kSettingKeys) {
        const std::string_view name = key.name;
        if (name == "nranks") add("nranks", integerText(options.nranks), options.nranks == defaults.nranks);
        if (name == "method")
            add("method", std::string(methodWord(options.method)), options.method == defaults.method);
        if (name == "maxiter") add("maxiter", integerText(options.maxiter), options.maxiter == defaults.maxiter);
        if (name == "increase") add("increase", options.increase ? "true" : "false", !options.increase);
        if (name == "seed" && !batch)
            add("seed", integerText(result.seed), false,
                options.seed <= 0 ? "the examinee order was seeded from the clock" : "");
        if (name == "restarts" && !batch && options.restarts > 1)
            add("restarts", integerText(std::int64_t(std::max<std::size_t>(result.restarts.size(), 1))), false);
        if (name == "alpha1" && !batch) number("alpha1", options.alpha1, defaults.alpha1);
        if (name == "sigma1" && !batch) number("sigma1", options.sigma1, defaults.sigma1);
        if (name == "alphat" && !batch) number("alphat", options.alphat, defaults.alphat);
        if (name == "sigmat" && !batch) number("sigmat", options.sigmat, defaults.sigmat);
        if (name == "diffcrit" && batch) number("diffcrit", options.diffcrit, defaults.diffcrit);
        if (name == "prior" && !options.prior.empty()) {
            std::string list;
            for (const double p : options.prior) list += (list.empty() ? "" : ", ") + numberText(p);
            add("prior", list, false);
        }
        if (name == "itemuse" && !options.itemUse.empty())
            add("itemuse", std::string(options.itemUse.begin(), options.itemUse.end()), false);
        if (name == "fixedfile" && !options.fixedMask.empty())
            add("fixedfile", "(fixed profile)", false,
                integerText(std::count(options.fixedMask.begin(), options.fixedMask.end(), '0')) + " cells kept");
        if (name == "phi" && batch)
            add("phi", numberText(result.phi), !options.phi.has_value(),
                options.phi ? "" : "for K = " + integerText(options.nranks));
    }
    return rows;
}

}  // namespace tavrel
