#include "output/field_quoting.hpp"

namespace tavrel {

bool needsQuoting(std::string_view field, char delimiter) {
    for (const char c : field)
        if (c == delimiter || c == '"' || c == '\r' || c == '\n') return true;
    return false;
}

void writeField(OutputFile& out, std::string_view field, char delimiter) {
    if (!needsQuoting(field, delimiter)) {
        out.put(field);
        return;
    }
    out.put('"');
    for (std::size_t quote = field.find('"'); quote != std::string_view::npos; quote = field.find('"')) {
        out.put(field.substr(0, quote + 1));
        out.put('"');
        field.remove_prefix(quote + 1);
    }
    out.put(field);
    out.put('"');
}

}  // namespace tavrel
