#include "output/result_file.hpp"

namespace tavrel {

void ResultFile::field(std::string_view s) {
    const char special[] = {delimiter_, '"', '\r', '\n'};
    if (s.find_first_of(std::string_view(special, sizeof special)) == std::string_view::npos) {
        text(s);
        return;
    }
    file_.put('"');
    for (const char c : s) {
        if (c == '"') file_.put('"');
        file_.put(c);
    }
    file_.put('"');
}

void ResultFile::rankHeader(std::string_view first, std::size_t K) {
    text(first);
    for (std::size_t k = 1; k <= K; ++k) {
        delimiter();
        integer(static_cast<std::int64_t>(k));
    }
    endLine();
}

}  // namespace tavrel
