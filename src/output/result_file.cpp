#include "output/result_file.hpp"

#include <cstring>

namespace tavrel {

void RowBuffer::put(std::string_view s) {
    std::memcpy(reserve(s.size()), s.data(), s.size());
    used_ += s.size();
}

}  // namespace tavrel
