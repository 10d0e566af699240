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
    plan.itemReferenceProfile = value("outfile");
    plan.latentRanks = value("rankfile");
    plan.rankMemberships = value("rmpfile");
    plan.weightedRatios = value("worpfile");
    plan.unweightedRatios = value("uorpfile");
    plan.testStatistics = value("testfile");
    plan.itemStatistics = value("itemfile");
    plan.rankStatistics = value("trpfile");
    plan.examineeStatistics = value("examineefile");
    plan.report = value("reportfile");
    return plan;
}

}  // namespace tavrel
