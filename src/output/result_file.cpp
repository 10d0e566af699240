#include "output/result_file.hpp"

#include <cstring>

namespace tavrel {

void RowBuffer::put(std::string_view s) {
    if (s.empty()) return;  // an empty view may hold no pointer, which memcpy must not get
    std::memcpy(reserve(s.size()), s.data(), s.size());
    used_ += s.size();
}

}  // namespace tavrel
