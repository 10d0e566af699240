#include "data/item_use.hpp"

#include <ostream>

#include "common/console.hpp"

namespace tavrel {

void applyItemUse(const std::string& value, std::span<char> missingMask, std::span<char> itemUse,
                  std::int32_t nitems, std::int32_t nexaminees, std::ostream& console) {
    const auto J = static_cast<std::size_t>(nitems > 0 ? nitems : 0);
    const auto N = static_cast<std::size_t>(nexaminees > 0 ? nexaminees : 0);
    std::int64_t used = 0;
    for (std::size_t j = 0; j < J; ++j) {
        const bool excluded = j < value.size() && (value[j] == '0' || value[j] == '.');
        if (excluded) {
            itemUse[j] = '0';
            for (std::size_t i = 0; i < N; ++i) missingMask[i * J + j] = '0';
        } else {
            itemUse[j] = '1';
            ++used;
        }
    }
    console << kNote << used << " out of " << nitems << " items are used.\n";
}

}  // namespace tavrel
