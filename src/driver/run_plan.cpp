#include "driver/run_plan.hpp"

namespace tavrel {

RunPlan planRun(const SettingMap& settings) {
    const auto value = [&](const char* key) -> std::optional<std::string> {
        if (const std::string* text = findSetting(settings, key)) return *text;
        return std::nullopt;
    };
    RunPlan plan;
    plan.fixedFile = value("fixedfile");
    plan.prior = value("prior");
    plan.itemUse = value("itemuse");
    plan.phi = value("phi");
    plan.files = {value("outfile"),  value("rankfile"), value("rmpfile"), value("worpfile"),    value("uorpfile"),
                  value("testfile"), value("itemfile"), value("trpfile"), value("examineefile")};
    plan.report = value("reportfile");
    plan.rankSweep = value("ranksweep");
    plan.sweepFile = value("sweepfile");
    return plan;
}

}  // namespace tavrel
