// Fuzz target: the fixed profile reader. The first three bytes choose K, J
// and the delimiter, the rest is the file.
#include <vector>

#include "console_record.hpp"
#include "data/fixed_profile.hpp"
#include "fuzz_input.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tavrel;
    if (size < 3) return 0;
    const std::int32_t K = 1 + data[0] % 8;
    const std::int32_t J = 1 + data[1] % 8;
    const char delimiter = ",\t "[data[2] % 3];
    const auto cells = static_cast<std::size_t>(J * K);
    std::vector<char> fixedMask(cells, '1');
    std::vector<double> profile(cells, 0.5);
    ConsoleRecord console;
    readFixedProfile(fuzz::inputFile().write(data + 3, size - 3), fixedMask, profile, K, J, delimiter, console);
    // Only fixed cells change, and only to '0'.
    for (std::size_t cell = 0; cell < cells; ++cell)
        fuzz::require(fixedMask[cell] == '0' || (fixedMask[cell] == '1' && profile[cell] == 0.5));
    fuzz::requireMessageLines(console.str());
    return 0;
}
