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

DataLayout completeDataLayout(const DataKeys& keys, Observer& observer) {
    DataLayout layout;
    layout.infile = keys.infile;
    layout.delimiter = keys.delimiter;
    layout.encoding = keys.encoding;
    layout.idbegin = keys.idbegin.value_or(0);
    layout.idlength = keys.idlength.value_or(0);
    layout.databegin = keys.databegin.value_or(0);
    layout.nitems = keys.nitems.value_or(0);
    layout.nobs = keys.nobs.value_or(0);

    if (layout.delimiter == 0) {
        // An identifier width alone puts the identifier in column 1; without
        // an identifier the responses start in column 1 unless set.
        layout.firstobs = keys.firstobs.value_or(1);
        if (layout.idbegin < 1 && layout.idlength > 0) layout.idbegin = 1;
        if (layout.idbegin < 1 && layout.idlength < 1 && layout.databegin < 1) layout.databegin = 1;
        return layout;
    }

    layout.header = keys.header.value_or(true);
    layout.firstobs = keys.firstobs.value_or(layout.header ? 2 : 1);
    if (layout.header) layout.firstobs = std::max<std::int64_t>(layout.firstobs, 2);
    layout.idbeginGiven = keys.idbegin.has_value();
    layout.idbegin = std::max<std::int64_t>(layout.idbegin, 0);
    layout.idlength = 0;
    if (keys.na) {
        const std::string_view text = trimBlanks(*keys.na);
        if (answerWord(text) != 0)
            warn(observer, "Value \"", text, "\" of na is an answer; it is ignored.");
        else
            layout.na = text;
    }
    return layout;
}

DataLayout resolveDataLayout(const SettingMap& settings, Observer& observer) {
    const auto find = [&](const char* key) { return findSetting(settings, key); };
    const auto integer = [&](const char* key) -> std::optional<std::int32_t> {
        const std::string* value = find(key);
        if (value == nullptr) return std::nullopt;
        return leadingInteger(*value);
    };

    DataKeys keys;
    if (const std::string* infile = find("infile")) keys.infile = *infile;
    if (const std::string* format = find("dataformat")) keys.delimiter = dataDelimiter(*format, observer);
    if (const std::string* encoding = find("encoding")) keys.encoding = dataEncoding(*encoding, observer);
    keys.idbegin = integer("idbegin");
    keys.idlength = integer("idlength");
    keys.databegin = integer("databegin");
    keys.nitems = integer("nitems");
    keys.firstobs = integer("firstobs");
    keys.nobs = integer("nobs");
    if (const std::string* header = find("header")) keys.header = interpretBoolean(*header);
    if (const std::string* na = find("na")) keys.na = *na;
    return completeDataLayout(keys, observer);
}

}  // namespace tavrel
