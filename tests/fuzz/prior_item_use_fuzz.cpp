// Fuzz target: the prior list and the item use string. The first three bytes
// choose K, J and N, the rest is the value given to both.
#include <vector>

#include "data/item_use.hpp"
#include "data/prior.hpp"
#include "fuzz_input.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tavrel;
    if (size < 3) return 0;
    const std::int32_t K = 1 + data[0] % 12;
    const std::int32_t J = data[1] % 12;
    const std::int32_t N = data[2] % 4;
    const std::string value(reinterpret_cast<const char*>(data + 3), size - 3);
    std::ostringstream console;

    std::vector<double> prior(static_cast<std::size_t>(K), 1.0 / K);
    readPrior(value, prior, K, console);

    const auto cells = static_cast<std::size_t>(J * N);
    std::vector<char> mask(cells, '1');
    std::vector<char> itemUse(static_cast<std::size_t>(J), '?');
    applyItemUse(value, mask, itemUse, J, N, console);
    // An item out of use has an all-'0' mask column; every other column stays.
    for (std::size_t cell = 0; cell < cells; ++cell) {
        const char use = itemUse[cell % static_cast<std::size_t>(J)];
        fuzz::require((use == '1' || use == '0') && mask[cell] == use);
    }
    fuzz::requireMessageLines(console.str());
    return 0;
}
