#pragma once
// Response data as delimited records: comma, tab or semicolon separated, with
// an optional header record of column names and an optional id column.

#include <string>

#include "data/response_data.hpp"

namespace tavrel {

class Observer;

// Reads the file with the layout's delimiter. Fields are counted from 1; the
// id column is never an item; a header record names the items. Without
// idbegin, a header whose first name is empty makes column 1 the ids. Values: '1'
// for 1, 1.0, TRUE, True, true; '0' for 0, 0.0, FALSE, False, false; '.' (missing) for an
// empty field, NA, '.', the layout's `na` and, with a warning, anything else.
// Records too short get the short-line warning; at most 20 warnings of each
// kind are told, the rest counted in one line. Ends with the two count
// notes. Nothing in the content is fatal; FileFailure when the file cannot be
// opened.
ResponseData readDelimitedData(const DataLayout& layout, const std::string& fileName, Observer& observer);

}  // namespace tavrel
