#pragma once
// A delimited result file with the number formats of the program.

#include <cstdint>
#include <string>
#include <string_view>

#include "common/text_file.hpp"
#include "output/field_quoting.hpp"
#include "output/number_format.hpp"

namespace tavrel {

class ResultFile {
public:
    // Creates or truncates the file; FileFailure when it cannot be opened.
    ResultFile(const std::string& fileName, char delimiter) : file_(fileName), delimiter_(delimiter) {}

    void delimiter() { file_.put(delimiter_); }
    void text(std::string_view s) { file_.put(s); }
    void endLine() { file_.put('\n'); }
    void integer(std::int64_t v) { file_.commit(formatInteger(v, file_.reserve(kMaxNumberText))); }
    // General notation with 6 significant digits, as a default-state stream.
    void number(double v) { file_.commit(formatGeneral(v, file_.reserve(kMaxNumberText))); }
    // A statistic: NA for a value that does not exist (NaN), Inf or -Inf for
    // an infinite one, as R and pandas read them; otherwise as number().
    void statistic(double v) { file_.commit(formatStatistic(v, 6, file_.reserve(kMaxNumberText))); }
    // A text field, in double quotes (each quote doubled) when it holds the
    // delimiter, a double quote, CR or LF.
    void field(std::string_view s) { writeField(file_, s, delimiter_); }
    // Raises FileFailure when a write failed.
    void close() { file_.close(); }

    // The first header field, then the rank numbers 1..K.
    void rankHeader(std::string_view first, std::size_t K);

private:
    OutputFile file_;
    char delimiter_;
};

}  // namespace tavrel
