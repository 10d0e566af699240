#pragma once
// Every record of a delimited file as the reader splits it, in one text:
// each field followed by a NUL, then E (empty line) or R, the record's line
// and its bytes, and at the end the count of bytes read as U+FFFD. Tests and
// the fuzz target compare the texts of one file read in different chunk sizes.

#include <cstddef>
#include <string>
#include <string_view>

#include "data/delimited_records.hpp"

namespace tavrel::testing {

inline std::string splitRecords(const std::string& file, char delimiter, std::size_t chunk,
                                TextEncoding encoding = TextEncoding::utf8) {
    RecordReader records(file, delimiter, encoding, chunk);
    std::string out;
    while (records.next()) {
        for (const std::string_view field : records.fields()) out.append(field).push_back('\0');
        out += records.empty() ? "E" : "R";
        out += std::to_string(records.line()) + ":" + std::to_string(records.bytes()) + "\n";
    }
    return out + "invalid " + std::to_string(records.invalidBytes()) + "\n";
}

}  // namespace tavrel::testing
