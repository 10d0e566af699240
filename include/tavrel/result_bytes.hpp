#pragma once
// A finished analysis as bytes and back, for a client that keeps a Result
// (a pickled estimator, a saved R object) and writes its files later.

#include <string>
#include <string_view>

#include "tavrel/analysis.hpp"

namespace tavrel {

// The result as bytes, exactly: the result read back writes the same files
// and report. The bytes name the library version and the layout of its
// records.
std::string saveResult(const Result& result);

// The result of saveResult's bytes. Bytes of another version or build, and
// damaged ones (wrong sizes, truncated, trailing bytes), are refused with
// std::invalid_argument saying which.
Result loadResult(std::string_view bytes);

}  // namespace tavrel
