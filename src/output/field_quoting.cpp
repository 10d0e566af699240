#include "output/field_quoting.hpp"

namespace tavrel {

bool needsQuoting(std::string_view field, char delimiter) {
    for (const char c : field)
        if (c == delimiter || c == '"' || c == '\r' || c == '\n') return true;
    return false;
}

}  // namespace tavrel
