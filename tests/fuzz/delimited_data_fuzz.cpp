// Fuzz target: the delimited response data reader. The first three bytes
// choose the format, the layout keys and the encoding, the rest is the data
// file.
#include <array>

#include "console_record.hpp"
#include "common/console.hpp"
#include "common/text_encoding.hpp"
#include "../split_records.hpp"
#include "data/data_layout.hpp"
#include "data/response_data.hpp"
#include "fuzz_input.hpp"

namespace {

// Absent, below 1, small columns and counts, and a value with junk after it.
constexpr std::array<const char*, 8> kValues{nullptr, "0", "1", "2", "3", "5", "-1", " 2x"};
constexpr std::array<const char*, 5> kKeys{"idbegin", "databegin", "nitems", "firstobs", "nobs"};
constexpr std::array<const char*, 4> kFormats{"csv", "tsv", "semicolon", "CSV"};
constexpr std::array<const char*, 4> kNa{nullptr, "-99", " 1 ", "x\"y"};
constexpr std::array<const char*, 8> kEncodings{nullptr, "cp932", "utf-16", "utf-16be", "cp1252", "latin1", "x", "UTF8"};

std::size_t countLines(const std::string& text, std::string_view part) {
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tavrel;
    if (size < 3) return 0;
    const std::uint32_t choice = data[0] | std::uint32_t{data[1]} << 8 | std::uint32_t{data[2]} << 16;
    SettingMap settings{{"dataformat", kFormats[choice & 3]}, {"header", (choice >> 2 & 1) != 0 ? "yes" : "no"}};
    for (std::size_t k = 0; k < kKeys.size(); ++k)
        if (const char* value = kValues[(choice >> (3 + 3 * k)) & 7]) settings[kKeys[k]] = value;
    if (const char* na = kNa[choice >> 18 & 3]) settings["na"] = na;
    if (const char* encoding = kEncodings[choice >> 20 & 7]) settings["encoding"] = encoding;
    settings["infile"] = fuzz::inputFile().write(data + 3, size - 3);

    ConsoleRecord console;
    const DataLayout layout = resolveDataLayout(settings, console);
    const ResponseData read = readResponses(layout, console);
    const std::int64_t N = read.nexaminees;
    const std::int64_t J = read.nitems;
    fuzz::require(N >= 0 && (N == 0 || J >= 1));
    fuzz::require(static_cast<std::int64_t>(read.responses.size()) == N * J);
    fuzz::require(read.responses.find_first_not_of("01.") == std::string::npos);
    // Ids: one per examinee exactly when there is an id column, trimmed; a
    // header whose first name is empty makes that column the ids.
    const std::string text = console.str();
    const bool unnamed = text.find("The first column has no name") != std::string::npos;
    fuzz::require(read.ids.present() == (layout.idbegin >= 1 || unnamed));
    fuzz::require(read.ids.size() == (read.ids.present() ? static_cast<std::size_t>(N) : 0));
    for (std::size_t i = 0; i < read.ids.size(); ++i)
        fuzz::require(read.ids[i].empty() || (!isBlank(read.ids[i].front()) && !isBlank(read.ids[i].back())));
    // Names: one per item, none empty, and only from a header.
    fuzz::require(read.itemNames.empty() || (layout.header && static_cast<std::int64_t>(read.itemNames.size()) == J));
    for (const std::string& name : read.itemNames) fuzz::require(!name.empty());
    // Ids and names of a file read in another encoding than UTF-8 are UTF-8.
    const std::optional<ByteOrderMark> mark = byteOrderMark({reinterpret_cast<const char*>(data + 3), size - 3});
    if ((mark ? mark->encoding : layout.encoding) != TextEncoding::utf8) {
        for (std::size_t i = 0; i < read.ids.size(); ++i) fuzz::require(fuzz::isUtf8(read.ids[i]));
        for (const std::string& name : read.itemNames) fuzz::require(fuzz::isUtf8(name));
    }
    fuzz::requireMessageLines(text);
    fuzz::require(countLines(text, "Illeagal value") <= 20 && countLines(text, "Line length is too short") <= 20);
    // Reading in chunks of a few bytes splits the same records as in one.
    if (size <= 4096) {
        const std::size_t chunk = 1 + data[0] % 7;
        fuzz::require(testing::splitRecords(settings["infile"], layout.delimiter, chunk, layout.encoding) ==
                      testing::splitRecords(settings["infile"], layout.delimiter, kReadChunk, layout.encoding));
    }
    return 0;
}
