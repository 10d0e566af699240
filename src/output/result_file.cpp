#include "output/result_file.hpp"

namespace tavrel {

void ResultFile::rankHeader(std::string_view first, std::size_t K) {
    text(first);
    for (std::size_t k = 1; k <= K; ++k) {
        delimiter();
        integer(static_cast<std::int64_t>(k));
    }
    endLine();
}

}  // namespace tavrel
