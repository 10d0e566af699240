// Fuzz target: the response data reader. The first three bytes choose the
// column settings, the rest is the data file.
#include <array>
#include <stdexcept>

#include "console_record.hpp"
#include "common/numbers.hpp"
#include "data/data_layout.hpp"
#include "data/response_data.hpp"
#include "fuzz_input.hpp"

namespace {

// Absent, below 1, small columns and counts, and a value with junk after it.
constexpr std::array<const char*, 8> kValues{nullptr, "0", "1", "2", "3", "5", "-1", " 4x"};
constexpr std::array<const char*, 6> kKeys{"idbegin", "idlength", "databegin", "nitems", "firstobs", "nobs"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tavrel;
    if (size < 3) return 0;
    const std::uint32_t choice = data[0] | std::uint32_t{data[1]} << 8 | std::uint32_t{data[2]} << 16;
    SettingMap settings;
    for (std::size_t k = 0; k < kKeys.size(); ++k)
        if (const char* value = kValues[(choice >> (3 * k)) & 7]) settings[kKeys[k]] = value;
    settings["infile"] = fuzz::inputFile().write(data + 3, size - 3);

    ConsoleRecord console;
    ResponseData read;
    try {
        read = readResponses(resolveDataLayout(settings, console), console);
    } catch (const std::out_of_range&) {
        return 0;  // the response field set beyond the end of a line
    }
    const std::string& responses = read.responses;
    const std::int32_t J = read.nitems;
    const std::int32_t N = read.nexaminees;
    // Every later stage indexes the two strings by these counts.
    const auto count = [&](const char* key) {
        const auto it = settings.find(key);
        return it == settings.end() ? 0 : leadingInteger(it->second);
    };
    const bool idField = count("idbegin") >= 1 || count("idlength") >= 1;
    fuzz::require(N >= 0 && (N == 0 || J >= 1));
    fuzz::require(static_cast<std::int64_t>(responses.size()) == std::int64_t{N} * J);
    fuzz::require(read.ids.present() ? idField && read.ids.size() == static_cast<std::size_t>(N) : read.ids.size() == 0);
    std::string mask(responses.size(), '?');
    buildMissingMask(responses, mask);
    fuzz::require(mask.find('?') == std::string::npos);
    fuzz::requireMessageLines(console.str());
    return 0;
}
