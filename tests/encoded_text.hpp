#pragma once
// UTF-8 test text written in another encoding with the C library's iconv, as
// a spreadsheet would save it.

#include <iconv.h>

#include <stdexcept>
#include <string>

namespace tavrel::testing {

// `to` is iconv's name: "CP932", "CP1252", "UTF-16LE", ...; the text must be
// representable in it.
inline std::string encoded(const std::string& utf8, const char* to) {
    const iconv_t cd = iconv_open(to, "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error(std::string("no conversion to ") + to);
    std::string out(4 * utf8.size(), '\0');
    char* in = const_cast<char*>(utf8.data());
    char* at = out.data();
    std::size_t left = utf8.size(), room = out.size();
    const std::size_t done = iconv(cd, &in, &left, &at, &room);
    iconv_close(cd);
    if (done == static_cast<std::size_t>(-1)) throw std::runtime_error(std::string("not representable in ") + to);
    out.resize(out.size() - room);
    return out;
}

}  // namespace tavrel::testing
