#pragma once
// Fields of delimited output, quoted by RFC 4180 rules where needed.

#include <string_view>

namespace tavrel {

// Whether the field holds the delimiter, a double quote, CR or LF, and so must
// be quoted.
bool needsQuoting(std::string_view field, char delimiter);

// Writes the field as it is, or, where it needs quoting, within double quotes
// with each quote inside doubled. Sink: put(char) and put(std::string_view).
template <class Sink>
void writeField(Sink& out, std::string_view field, char delimiter) {
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
