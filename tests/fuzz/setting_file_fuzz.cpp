// Fuzz target: the setting file scanner on any bytes, then the run parameters
// resolved from whatever it stored.
#include "console_record.hpp"
#include "tavrel/failures.hpp"
#include "driver/run_parameters.hpp"
#include "fuzz_input.hpp"
#include "settings/setting_file.hpp"
#include "settings/setting_keys.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tavrel;
    SettingMap settings;
    ConsoleRecord console;
    readSettingFile(fuzz::inputFile().write(data, size), settings, console);
    for (const auto& entry : settings) fuzz::require(canonicalKey(entry.first) == std::string_view(entry.first));
    try {
        resolveRunParameters(settings, console);
    } catch (const FatalSetting&) {
    }
    fuzz::requireMessageLines(console.str());
    return 0;
}
