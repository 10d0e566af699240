#pragma once
// The response data file, in fixed columns or as delimited records.

#include <cstdint>
#include <iosfwd>
#include <span>
#include <string>
#include <vector>

#include "common/examinee_ids.hpp"
#include "data/data_layout.hpp"

namespace tavrel {

// What the readers give the run.
struct ResponseData {
    std::string responses;               // ResponseMatrix: nexaminees x nitems, examinee-major
    ExamineeIds ids;                     // one per examinee when present
    std::vector<std::string> itemNames;  // one per item from a header record; empty without one
    std::int32_t nitems = 0;
    std::int32_t nexaminees = 0;
};

// Reads the file named by the layout, in fixed columns or delimited as the
// layout says, and prints the reader's warnings and the two count notes.
// Without `infile` nothing is read and nothing printed: the item count is the
// one set, and ids are present as the layout asks for them.
ResponseData readResponseData(const DataLayout& layout, std::ostream& console);

// MissingMask: '1' where the response is '0' or '1', '0' elsewhere.
void buildMissingMask(std::span<const char> responses, std::span<char> missingMask);

}  // namespace tavrel
