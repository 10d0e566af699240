// Fuzz target: the response data reader. The first three bytes choose the
// column settings and the encoding, the rest is the data file.
#include <array>
#include <stdexcept>

#include "console_record.hpp"
#include "common/numbers.hpp"
#include "common/text_encoding.hpp"
#include "data/data_layout.hpp"
#include "data/response_data.hpp"
#include "fuzz_input.hpp"
#include "tavrel/failures.hpp"

namespace {

// Absent, below 1, small columns and counts, and a value with junk after it.
constexpr std::array<const char*, 8> kValues{nullptr, "0", "1", "2", "3", "5", "-1", " 4x"};
constexpr std::array<const char*, 6> kKeys{"idbegin", "idlength", "databegin", "nitems", "firstobs", "nobs"};
constexpr std::array<const char*, 8> kEncodings{nullptr, "cp932", "cp932", "cp1252", "latin1", "utf-16", "x", "utf-8"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tavrel;
    if (size < 3) return 0;
    const std::uint32_t choice = data[0] | std::uint32_t{data[1]} << 8 | std::uint32_t{data[2]} << 16;
    SettingMap settings;
    for (std::size_t k = 0; k < kKeys.size(); ++k)
        if (const char* value = kValues[(choice >> (3 * k)) & 7]) settings[kKeys[k]] = value;
    if (const char* encoding = kEncodings[choice >> 18 & 7]) settings["encoding"] = encoding;
    settings["infile"] = fuzz::inputFile().write(data + 3, size - 3);

    // UTF-16, by its mark or by the key, cannot be read in fixed columns.
    ConsoleRecord console;
    const DataLayout layout = resolveDataLayout(settings, console);
    const std::optional<ByteOrderMark> mark = byteOrderMark({reinterpret_cast<const char*>(data + 3), size - 3});
    const TextEncoding encoding = mark ? mark->encoding : layout.encoding;
    ResponseData read;
    try {
        read = readResponses(layout, console);
    } catch (const std::out_of_range&) {
        return 0;  // the response field set beyond the end of a line
    } catch (const EncodingFailure&) {
        fuzz::require(isUtf16(encoding));
        return 0;
    }
    fuzz::require(!isUtf16(encoding));
    const std::string& responses = read.responses;
    const std::int32_t J = read.nitems;
    const std::int32_t N = read.nexaminees;
    // Every later stage indexes the two strings by these counts.
    const auto count = [&](const char* key) {
        const auto it = settings.find(key);
        return it == settings.end() ? 0 : leadingInteger(it->second);
    };
    const bool idField = count("idbegin") >= 1 || count("idlength") >= 1;
    fuzz::require(N >= 0 && (N == 0 || J >= 1));
    fuzz::require(static_cast<std::int64_t>(responses.size()) == std::int64_t{N} * J);
    fuzz::require(read.ids.present() ? idField && read.ids.size() == static_cast<std::size_t>(N) : read.ids.size() == 0);
    // Ids decoded from another encoding are UTF-8, written as they stand like
    // fixed-width ones.
    fuzz::require(!read.ids.quoteOnOutput());
    if (encoding != TextEncoding::utf8)
        for (std::size_t i = 0; i < read.ids.size(); ++i) fuzz::require(fuzz::isUtf8(read.ids[i]));
    std::string mask(responses.size(), '?');
    buildMissingMask(responses, mask);
    fuzz::require(mask.find('?') == std::string::npos);
    fuzz::requireMessageLines(console.str());
    return 0;
}
