#pragma once
// The layout of the response data file, resolved from the data keys once,
// before reading: the one input of both readers.

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>

#include "common/types.hpp"

namespace tavrel {

struct DataLayout {
    std::optional<std::string> infile;  // absent: no data are read
    char delimiter = 0;                 // 0: fixed columns; ',', '\t' or ';': delimited records
    // Fixed columns count bytes, delimited records count fields; both from 1.
    std::int64_t idbegin = 0;    // below 1: no ids
    std::int32_t idlength = 0;   // fixed columns; below 1: detected
    std::int64_t databegin = 0;  // below 1: detected (fixed columns)
    std::int32_t nitems = 0;     // below 1: detected
    std::int64_t firstobs = 1;   // the first examinee line or record
    std::int64_t nobs = 0;       // below 1: no limit
    bool header = false;         // delimited: the record before firstobs names the columns
    std::string na;              // delimited: one more text of a missing answer; empty: none
};

// Reads `infile`, `dataformat`, `idbegin`, `idlength`, `databegin`, `nitems`,
// `firstobs`, `nobs`, `header` and `na`, applies the defaults of the format
// and prints the warnings on an unknown format and on an `na` that is an
// answer.
DataLayout resolveDataLayout(const SettingMap& settings, std::ostream& console);

// The text without the blanks around it.
std::string_view trimBlanks(std::string_view text);

// '1' for a word of a correct answer (1, 1.0, TRUE, true), '0' for one of an
// incorrect answer (0, 0.0, FALSE, false), 0 for anything else. The text is
// taken as it is: trim it first.
char answerWord(std::string_view text);

}  // namespace tavrel
