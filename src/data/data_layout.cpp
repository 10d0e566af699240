#include "data/data_layout.hpp"

#include <algorithm>
#include <optional>

#include "common/console.hpp"
#include "common/messages.hpp"
#include "common/numbers.hpp"
#include "settings/value_interpreters.hpp"

namespace tavrel {
namespace {

// The delimiter the value names, 0 for fixed columns; an unknown word is
// reported and reads fixed columns.
char dataDelimiter(const std::string& value, Observer& observer) {
    if (const std::optional<char> delimiter = interpretDataFormat(value)) return *delimiter;
    warn(observer, "Data format \"", value, "\" is unknown; fixed columns are read.");
    return 0;
}

// The encoding the value names; an unknown word is reported and reads UTF-8.
TextEncoding dataEncoding(const std::string& value, Observer& observer) {
    if (const std::optional<TextEncoding> encoding = encodingNamed(value)) return *encoding;
    warn(observer, "Encoding \"", value, "\" is unknown; UTF-8 is read.");
    return TextEncoding::utf8;
}

}  // namespace

std::string_view trimBlanks(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    return text;
}

char answerWord(std::string_view text) {
    if (text == "1" || text == "1.0" || text == "TRUE" || text == "True" || text == "true") return '1';
    if (text == "0" || text == "0.0" || text == "FALSE" || text == "False" || text == "false") return '0';
    return 0;
}

DataLayout resolveDataLayout(const SettingMap& settings, Observer& observer) {
    const auto find = [&](const char* key) { return findSetting(settings, key); };
    const auto integer = [&](const char* key, std::int32_t fallback) {
        const std::string* value = find(key);
        return value == nullptr ? fallback : leadingInteger(*value);
    };

    DataLayout layout;
    if (const std::string* infile = find("infile")) layout.infile = *infile;
    if (const std::string* format = find("dataformat")) layout.delimiter = dataDelimiter(*format, observer);
    if (const std::string* encoding = find("encoding")) layout.encoding = dataEncoding(*encoding, observer);
    layout.idbegin = integer("idbegin", 0);
    layout.idlength = integer("idlength", 0);
    layout.databegin = integer("databegin", 0);
    layout.nitems = integer("nitems", 0);
    layout.nobs = integer("nobs", 0);

    if (layout.delimiter == 0) {
        // An identifier width alone puts the identifier in column 1; without
        // an identifier the responses start in column 1 unless set.
        layout.firstobs = integer("firstobs", 1);
        if (layout.idbegin < 1 && layout.idlength > 0) layout.idbegin = 1;
        if (layout.idbegin < 1 && layout.idlength < 1 && layout.databegin < 1) layout.databegin = 1;
        return layout;
    }

    const std::string* header = find("header");
    layout.header = header == nullptr || interpretBoolean(*header);
    layout.firstobs = integer("firstobs", layout.header ? 2 : 1);
    if (layout.header) layout.firstobs = std::max<std::int64_t>(layout.firstobs, 2);
    layout.idbeginGiven = find("idbegin") != nullptr;
    layout.idbegin = std::max<std::int64_t>(layout.idbegin, 0);
    layout.idlength = 0;
    if (const std::string* na = find("na")) {
        const std::string_view text = trimBlanks(*na);
        if (answerWord(text) != 0)
            warn(observer, "Value \"", text, "\" of na is an answer; it is ignored.");
        else
            layout.na = text;
    }
    return layout;
}

}  // namespace tavrel
