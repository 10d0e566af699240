#pragma once
// The setting file scanner: `key = value;` pairs into the SettingMap.

#include <string>
#include <string_view>

#include "common/types.hpp"

namespace tavrel {

class Observer;

// Reads every line of the file into the map; unknown and retired keys are
// told to the observer and dropped. Raises FileFailure when the file cannot
// be opened.
void readSettingFile(const std::string& fileName, SettingMap& settings, Observer& observer);

// Scans one line (without its line end) into the map.
void scanSettingLine(std::string_view line, SettingMap& settings, Observer& observer);

}  // namespace tavrel
