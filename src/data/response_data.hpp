#pragma once
// The fixed-column response data file.

#include <cstdint>
#include <iosfwd>
#include <span>
#include <string>

#include "common/types.hpp"

namespace tavrel {

// Reads the file named by `infile` into the ResponseMatrix (N x nitems
// characters, examinee-major) and ExamineeIds (N x idlength characters),
// detecting the identifier width, the first response column and the number of
// items where the settings leave them open. Prints its warnings and the two
// count notes. Without `infile` nothing is read.
void readResponseData(const SettingMap& settings, std::string& responses, std::string& examineeIds,
                      std::int32_t& nitems, std::int32_t& nexaminees, std::int32_t& idlength,
                      std::ostream& console);

// MissingMask: '1' where the response is '0' or '1', '0' elsewhere.
void buildMissingMask(std::span<const char> responses, std::span<char> missingMask);

}  // namespace tavrel
