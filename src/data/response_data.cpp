#include "data/response_data.hpp"

#include <algorithm>
#include <optional>
#include <stdexcept>
#include <string_view>

#include "common/large_array.hpp"
#include "common/messages.hpp"
#include "common/text_encoding.hpp"
#include "common/text_file.hpp"
#include "data/delimited_data.hpp"
#include "tavrel/failures.hpp"

namespace tavrel {
namespace {

constexpr bool isResponse(char c) { return c == '0' || c == '1' || c == '.'; }

// Whether every character of the field is a response, in a loop without
// early exit that the compiler turns into byte-vector compares.
bool allResponses(std::string_view field) {
    unsigned char other = 0;
    for (const char c : field) other |= static_cast<unsigned char>((c != '0') & (c != '1') & (c != '.'));
    return other == 0;
}

// Columns are counted from 1 and held in 64 bits: settings may put them
// anywhere in the 32-bit range.
struct Columns {
    std::int64_t idbegin;
    std::int64_t databegin;
};

// The fixed-column file: detects the identifier width, the first response
// column and the number of items where the layout leaves them open.
ResponseData readFixedColumns(const DataLayout& layout, const std::string& fileName, Observer& observer) {
    Columns col{layout.idbegin, layout.databegin};
    std::int32_t idlength = layout.idlength;
    std::int32_t nitems = layout.nitems;
    const std::int64_t firstobs = layout.firstobs;
    const std::int64_t nobs = layout.nobs;

    LineReader reader(fileName);
    // Columns count bytes: UTF-16 text cannot be read in them. Ids in a
    // legacy encoding are decoded to UTF-8 as they are cut, and so take
    // lengths of their own.
    const std::optional<ByteOrderMark> mark = byteOrderMark(reader.peek(3));
    const TextEncoding encoding = mark ? mark->encoding : layout.encoding;
    if (isUtf16(encoding)) throw EncodingFailure(fileName);
    std::optional<TextDecoder> decoder;
    if (encoding != TextEncoding::utf8) decoder.emplace(encoding);
    ExamineeIds decodedIds = ExamineeIds::ownLength(false);
    std::string decoded;

    std::string responses;
    std::string examineeIds;
    std::int32_t nexaminees = 0;
    bool reserved = false;

    const auto tooShort = [&](std::int64_t lineNumber) {
        warn(observer, "Line length is too short. (", fileName, " , ", lineNumber, ")");
    };

    std::string edited;  // the line on which the item count is detected, CR deleted
    std::string_view line;
    for (std::int64_t lineNumber = 1; reader.next(line); ++lineNumber) {
        if (lineNumber % kLinesBetweenStops == 0 && observer.stopRequested()) throw Cancelled();
        if (lineNumber < firstobs) continue;
        const std::int64_t length = static_cast<std::int64_t>(line.size());
        bool accepted = true;

        if (col.idbegin >= 1) {
            bool widthKnown = idlength >= 1;
            if (!widthKnown) {
                // The identifier runs from idbegin up to the first blank. A
                // width of 0 (the field starts with a blank) rejects the line
                // like a missing blank does; detection repeats on the next.
                const std::size_t blank =
                    col.idbegin - 1 <= length ? line.find(' ', static_cast<std::size_t>(col.idbegin - 1))
                                              : std::string_view::npos;
                if (blank != std::string_view::npos && static_cast<std::int64_t>(blank) > col.idbegin - 1) {
                    idlength = static_cast<std::int32_t>(static_cast<std::int64_t>(blank) - (col.idbegin - 1));
                    widthKnown = true;
                }
            }
            if (!widthKnown || length <= col.idbegin + idlength - 1) {
                tooShort(lineNumber);
                accepted = false;
            }
        }

        if (accepted) {
            if (col.databegin < 1) {
                std::int64_t c = col.idbegin + idlength;
                while (c <= length && !isResponse(line[static_cast<std::size_t>(c - 1)])) ++c;
                col.databegin = c;
            }
            if (nitems < 1) {
                const std::size_t cr = line.find('\r');
                if (cr != std::string_view::npos) {
                    edited.assign(line.substr(0, cr));
                    edited.append(line.substr(cr + 1));
                    line = edited;
                }
                const std::int64_t detected = static_cast<std::int64_t>(line.size()) - col.databegin + 1;
                if (detected < 0) throw std::out_of_range("response field beyond the end of the line");
                if (detected == 0) {
                    // No response after the identifier: rejected; detection
                    // repeats on the next line.
                    tooShort(lineNumber);
                    accepted = false;
                } else {
                    nitems = static_cast<std::int32_t>(std::min<std::int64_t>(detected, INT32_MAX));
                }
            }
        }

        if (accepted) {
            if (idlength >= 1 && col.idbegin >= 1) {
                const std::string_view id =
                    line.substr(static_cast<std::size_t>(col.idbegin - 1), static_cast<std::size_t>(idlength));
                if (decoder) {
                    decoded.clear();
                    decoder->append(id, decoded);
                    decodedIds.append(decoded);
                } else {
                    examineeIds.append(id);
                }
            }

            const std::int64_t lineLength = static_cast<std::int64_t>(line.size());
            const std::int64_t last = col.databegin + nitems - 1;
            if (lineLength < last) tooShort(lineNumber);
            // The part of the response field inside the line; the rest is
            // filled with '.' (missing).
            const std::int64_t present = std::clamp<std::int64_t>(lineLength - (col.databegin - 1), 0, nitems);
            const std::string_view field =
                present > 0 ? line.substr(static_cast<std::size_t>(col.databegin - 1), static_cast<std::size_t>(present))
                            : std::string_view{};
            if (!allResponses(field)) {
                for (std::size_t c = 0; c < field.size(); ++c) {
                    const char ch = field[c];
                    if (!isResponse(ch))
                        warn(observer, "Illeagal character '", ch, "' is found at ", lineNumber, " , ",
                             col.databegin + static_cast<std::int64_t>(c), " in \"", fileName, "\"");
                }
            }
            if (!reserved) {
                // Room for the whole matrix at once, estimated from the first
                // accepted line's length, whether the item count was given or
                // detected on it: growing by reallocation costs several
                // copies. Not where that line is cut short of the field: its
                // length says nothing of the rows.
                reserved = true;
                if (reader.fileSize() > 0 && present == nitems) {
                    auto lines = static_cast<std::size_t>(reader.fileSize() / (length + 1) + 1);
                    if (nobs > 0) lines = std::min(lines, static_cast<std::size_t>(nobs));
                    reserveLarge(responses, lines * static_cast<std::size_t>(nitems));
                }
            }
            responses.append(field);
            if (present < nitems) responses.append(static_cast<std::size_t>(nitems - present), '.');
            ++nexaminees;
        }

        if (nobs > 0 && nexaminees >= nobs) break;
    }

    if (decoder && decoder->invalidBytes() > 0)
        warn(observer, decoder->invalidBytes(), " bytes of \"", fileName, "\" are not valid ", encodingWord(encoding),
             "; they are read as U+FFFD.");
    note(observer, "Number of examinees is ", nexaminees, ".");
    note(observer, "Number of items is ", nitems, ".");
    ExamineeIds ids = decoder && idlength >= 1 ? std::move(decodedIds)
                                               : ExamineeIds::fixedWidth(std::move(examineeIds), idlength);
    return {std::move(responses), std::move(ids), {}, nitems, nexaminees};
}

}  // namespace

ResponseData readResponses(const DataLayout& layout, Observer& observer) {
    if (layout.infile) {
        if (layout.delimiter == 0) return readFixedColumns(layout, *layout.infile, observer);
        return readDelimitedData(layout, *layout.infile, observer);
    }
    ResponseData data;
    data.nitems = layout.nitems;
    data.ids = layout.delimiter == 0 ? ExamineeIds::fixedWidth({}, layout.idlength)
                                     : layout.idbegin >= 1 ? ExamineeIds::ownLength() : ExamineeIds();
    return data;
}

void buildMissingMask(std::span<const char> responses, std::span<char> missingMask) {
    for (std::size_t i = 0; i < responses.size(); ++i)
        missingMask[i] = (responses[i] == '0' || responses[i] == '1') ? '1' : '0';
}

bool worthListingPresent(const ResponseView& data, double share) {
    const std::size_t cells = data.missingMask.size();
    if (cells == 0 || !(share <= 1.0)) return false;
    const auto present = static_cast<std::size_t>(std::count(data.missingMask.begin(), data.missingMask.end(), '1'));
    return double(cells - present) >= share * double(cells);
}

PresentItems listPresentItems(const ResponseView& data) {
    const std::size_t J = data.nitems;
    const std::size_t N = data.nexaminees;
    PresentItems list;
    list.start.resize(N + 1);
    std::size_t count = 0;
    for (std::size_t i = 0; i < N; ++i) {
        const char* present = data.presenceOf(i);
        for (std::size_t j = 0; j < J; ++j) count += present[j] == '1';
    }
    list.entries.resize(count);
    std::uint32_t* out = list.entries.data();
    std::size_t at = 0;
    for (std::size_t i = 0; i < N; ++i) {
        list.start[i] = at;
        const char* x = data.responsesOf(i);
        const char* present = data.presenceOf(i);
        for (std::size_t j = 0; j < J; ++j) {
            if (present[j] != '1') continue;
            out[at++] = static_cast<std::uint32_t>(2 * j + (x[j] == '1'));
        }
    }
    list.start[N] = at;
    return list;
}

}  // namespace tavrel
