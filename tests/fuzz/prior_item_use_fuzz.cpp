// Fuzz target: the prior list and the item use string. The first three bytes
// choose K and J, the rest is the value given to both.
#include <vector>

#include "console_record.hpp"
#include "data/item_use.hpp"
#include "data/prior.hpp"
#include "fuzz_input.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tavrel;
    if (size < 3) return 0;
    const std::int32_t K = 1 + data[0] % 12;
    const std::int32_t J = data[1] % 12;
    const std::string value(reinterpret_cast<const char*>(data + 3), size - 3);
    ConsoleRecord console;

    std::vector<double> prior(static_cast<std::size_t>(K), 1.0 / K);
    readPrior(value, prior, K, console);

    // One flag per item, whatever the string's length.
    const std::vector<char> itemUse = itemUseFlags(value, J, console);
    fuzz::require(itemUse.size() == static_cast<std::size_t>(J));
    for (const char use : itemUse) fuzz::require(use == '1' || use == '0');
    fuzz::requireMessageLines(console.str());
    return 0;
}
