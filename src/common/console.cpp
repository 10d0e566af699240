#include "common/console.hpp"

#include <istream>

namespace tavrel {

std::string readWord(std::istream& in) {
    std::string word;
    std::streambuf* buf = in.rdbuf();
    if (buf == nullptr) return word;
    using Traits = std::char_traits<char>;
    int c = buf->sgetc();
    while (c != Traits::eof() && isBlank(Traits::to_char_type(c))) c = buf->snextc();
    while (c != Traits::eof() && !isBlank(Traits::to_char_type(c))) {
        word.push_back(Traits::to_char_type(c));
        c = buf->snextc();
    }
    return word;
}

}  // namespace tavrel
