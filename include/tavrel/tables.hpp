#pragma once
// The statistics of a Result as the statistics files lay them out: the test
// file's named values, and the item, rank and examinee files' columns, under
// the files' own names. The packages build their data frames from these.

#include <cstddef>
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "tavrel/analysis.hpp"

namespace tavrel {

// A value of the test file: NA (std::monostate), a count, a number (NaN for
// a value that does not exist), a word, or yes/no.
using TestValue = std::variant<std::monostate, std::int64_t, double, std::string, bool>;

struct TestEntry {
    std::string name;
    TestValue value;
};

// The test file's rows, in order (needs a Result with statistics).
std::vector<TestEntry> testStatisticsTable(const Result& result);

// One column of a table. Counts and numbers are held as doubles, NaN where
// the file writes NA.
struct Column {
    enum class Kind { Count, Number };
    std::string name;
    Kind kind;
    std::vector<double> values;
};

// The item file without its first column (the item: number or name), one row
// per item; items out of use are NA throughout.
std::vector<Column> itemStatisticsTable(const Result& result);
// The rank file without its first column (the rank, 1..K).
std::vector<Column> rankStatisticsTable(const Result& result);
// The examinee file without the id column, one row per examinee.
std::vector<Column> examineeStatisticsTable(const Result& result);

}  // namespace tavrel
