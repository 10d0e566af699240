#pragma once
// The setting file scanner: `key = value;` pairs into the SettingMap.

#include <iosfwd>
#include <string>
#include <string_view>

#include "common/types.hpp"

namespace tavrel {

// Reads every line of the file into the map; unknown and retired keys are
// reported on the console and dropped. Raises FileFailure when the file cannot
// be opened.
void readSettingFile(const std::string& fileName, SettingMap& settings, std::ostream& console);

// Scans one line (without its line end) into the map.
void scanSettingLine(std::string_view line, SettingMap& settings, std::ostream& console);

}  // namespace tavrel
