#include "data/item_use.hpp"

#include "common/messages.hpp"

namespace tavrel {

std::vector<char> itemUseFlags(const std::string& value, std::int32_t nitems, Observer& observer) {
    std::vector<char> itemUse(static_cast<std::size_t>(nitems > 0 ? nitems : 0), '1');
    std::int64_t used = 0;
    for (std::size_t j = 0; j < itemUse.size(); ++j) {
        if (j < value.size() && (value[j] == '0' || value[j] == '.'))
            itemUse[j] = '0';
        else
            ++used;
    }
    note(observer, used, " out of ", nitems, " items are used.");
    return itemUse;
}

}  // namespace tavrel
