#include "data/fixed_profile.hpp"

#include <algorithm>
#include <string_view>
#include <vector>

#include "common/messages.hpp"
#include "common/numbers.hpp"
#include "common/text_file.hpp"

namespace tavrel {
namespace {

// Splits a line into fields: a field ends at the delimiter, byte 0xFF or the
// end of the line; one delimiter after it is stepped over. Past the end every
// field is empty.
class FieldSplitter {
public:
    FieldSplitter(std::string_view line, char delimiter) : line_(line), delimiter_(delimiter) {}

    std::string_view next() {
        const std::size_t from = pos_;
        while (pos_ < line_.size() && line_[pos_] != delimiter_ && line_[pos_] != '\xFF') ++pos_;
        const std::string_view field = line_.substr(from, pos_ - from);
        if (pos_ < line_.size() && line_[pos_] == delimiter_) ++pos_;
        return field;
    }

private:
    std::string_view line_;
    char delimiter_;
    std::size_t pos_ = 0;
};

}  // namespace

void readFixedProfile(const std::string& fileName, std::span<char> fixedMask, std::span<double> profile,
                      std::int32_t nranks, std::int32_t nitems, char delimiter, Observer& observer) {
    LineReader reader(fileName);
    std::string_view line;
    if (!reader.next(line)) line = {};

    // Rank index of every column of the header (may lie outside 0..K-1).
    std::vector<std::int64_t> rankOfColumn(static_cast<std::size_t>(std::count(line.begin(), line.end(), delimiter)));
    FieldSplitter header(line, delimiter);
    header.next();
    for (std::size_t c = 0; c < rankOfColumn.size(); ++c) {
        const std::int32_t number = leadingInteger(header.next());
        rankOfColumn[c] = std::int64_t{number} - 1;
        if (rankOfColumn[c] < 0 || rankOfColumn[c] >= nranks)
            warn(observer, "Rank number (", number, ") is out of range. (", fileName, ": 1 , ", c + 2, ")");
    }

    const auto K = static_cast<std::size_t>(nranks);
    for (std::int64_t lineNumber = 2; reader.next(line); ++lineNumber) {
        FieldSplitter fields(line, delimiter);
        const std::int32_t number = leadingInteger(fields.next());
        const std::int64_t item = std::int64_t{number} - 1;
        if (item < 0 || item >= nitems) {
            warn(observer, "Item number (", number, ") is out of range. (", fileName, ", line ", lineNumber, ")");
            continue;
        }
        for (const std::int64_t rank : rankOfColumn) {
            const std::string_view field = fields.next();
            if (rank < 0 || rank >= nranks || field == "*") continue;
            const std::size_t cell = static_cast<std::size_t>(item) * K + static_cast<std::size_t>(rank);
            fixedMask[cell] = '0';
            profile[cell] = leadingNumber(field);
        }
    }
}

}  // namespace tavrel
