#include "data/delimited_data.hpp"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>
#include <string_view>
#include <vector>

#include "common/large_array.hpp"
#include "common/messages.hpp"
#include "common/text_encoding.hpp"
#include "data/data_layout.hpp"
#include "data/delimited_records.hpp"

namespace tavrel {
namespace {

constexpr std::size_t kNoColumn = std::numeric_limits<std::size_t>::max();
constexpr std::int64_t kWarningsShown = 20;
constexpr std::size_t kValueShown = 40;

// A value as the warning shows it: its first 40 bytes, decoded where the file
// is not UTF-8, control bytes as \xNN.
std::string shownValue(std::string_view value, TextDecoder* decoder) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    value = value.substr(0, kValueShown);
    std::string decoded;
    if (decoder != nullptr) value = decoded = decoder->decoded(value);
    std::string shown;
    for (const char c : value) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            shown += "\\x";
            shown += kHex[byte >> 4];
            shown += kHex[byte & 15];
        } else {
            shown += c;
        }
    }
    return shown;
}

// The warnings of one file: the first 20 of each kind are printed, the rest
// counted and reported in one line at the end.
class ReaderWarnings {
public:
    ReaderWarnings(const std::string& fileName, Observer& observer, TextDecoder* decoder)
        : fileName_(fileName), observer_(observer), decoder_(decoder) {}

    void shortRecord(std::int64_t line) {
        if (++shortRecords_ <= kWarningsShown)
            warn(observer_, "Line length is too short. (", fileName_, " , ", line, ")");
    }
    void illegalValue(std::string_view value, std::int64_t line, std::size_t field) {
        if (++illegalValues_ <= kWarningsShown)
            warn(observer_, "Illeagal value \"", shownValue(value, decoder_), "\" is found at ", line, " , ", field,
                 " in \"", fileName_, "\"");
    }
    void reportTheRest() {
        if (illegalValues_ > kWarningsShown)
            warn(observer_, illegalValues_ - kWarningsShown, " more illeagal values are found in \"", fileName_,
                 "\".");
        if (shortRecords_ > kWarningsShown)
            warn(observer_, shortRecords_ - kWarningsShown, " more short lines are found in \"", fileName_, "\".");
    }

private:
    const std::string& fileName_;
    Observer& observer_;
    TextDecoder* decoder_;  // shows values of a file in a legacy encoding; its count is not reported
    std::int64_t shortRecords_ = 0;
    std::int64_t illegalValues_ = 0;
};

// Where the items stand in a record: nitems fields from `first` on, stepping
// over the id column when it lies among them.
struct ItemColumns {
    std::size_t first = 0;
    std::size_t idColumn = kNoColumn;

    // Response columns among the first `count` fields of a record.
    std::size_t countIn(std::size_t count) const {
        if (count <= first) return 0;
        return count - first - (idColumn >= first && idColumn < count ? 1 : 0);
    }
    // Items before the id column; the later ones stand one field further on.
    std::size_t beforeId(std::size_t nitems) const {
        return idColumn >= first ? std::min(nitems, idColumn - first) : nitems;
    }
    std::size_t fieldOf(std::size_t item, std::size_t nitems) const {
        return first + item + (item >= beforeId(nitems) ? 1 : 0);
    }
};

// Turns response fields into '1', '0' and '.'.
class ValueReader {
public:
    ValueReader(const std::string& na, ReaderWarnings& warnings) : na_(na), warnings_(warnings) {}

    // Codes `count` fields from fields[from] on into out; fields past the end
    // of the record are missing.
    void read(std::span<const std::string_view> fields, std::size_t from, std::size_t count, char* out,
              std::int64_t line) {
        const std::size_t present = fields.size() > from ? std::min(count, fields.size() - from) : 0;
        for (std::size_t j = 0; j < present; ++j) {
            const std::string_view field = fields[from + j];
            const char c = field.empty() ? '\0' : field[0];
            out[j] = field.size() == 1 && (c == '0' || c == '1' || c == '.') ? c : code(field, line, from + j + 1);
        }
        std::fill(out + present, out + count, '.');
    }

private:
    char code(std::string_view field, std::int64_t line, std::size_t number) {
        if (field.empty() || field == "NA") return '.';
        const std::string_view value = trimBlanks(field);
        if (const char answer = answerWord(value)) return answer;
        if (!(value.empty() || value == "NA" || value == "." || (!na_.empty() && value == na_)))
            warnings_.illegalValue(value, line, number);
        return '.';
    }

    const std::string& na_;
    ReaderWarnings& warnings_;
};

}  // namespace

ResponseData readDelimitedData(const DataLayout& layout, const std::string& fileName, Observer& observer) {
    RecordReader records(fileName, layout.delimiter, layout.encoding);
    // A file in a single- or multi-byte encoding is split as it is; its ids
    // and item names are decoded to UTF-8 once, when read. A UTF-16 file
    // reaches the records as UTF-8 already.
    const TextEncoding encoding = records.encoding();
    const bool decode = encoding != TextEncoding::utf8 && !isUtf16(encoding);
    std::optional<TextDecoder> decoder, shownDecoder;
    if (decode) {
        decoder.emplace(encoding);
        shownDecoder.emplace(encoding);
    }
    std::string decoded;
    ReaderWarnings warnings(fileName, observer, decode ? &*shownDecoder : nullptr);
    ValueReader values(layout.na, warnings);

    ResponseData data;
    bool withIds = false;
    ItemColumns columns;
    const auto idsIn = [&](std::int64_t idbegin) {
        withIds = idbegin >= 1;
        if (withIds) data.ids = ExamineeIds::ownLength();
        if (withIds) columns.idColumn = static_cast<std::size_t>(idbegin - 1);
        // Without a first response column the responses follow the id field.
        columns.first = static_cast<std::size_t>((layout.databegin >= 1 ? layout.databegin : idbegin + 1) - 1);
    };
    idsIn(layout.idbegin);

    std::int64_t nitems = layout.nitems;  // below 1: not known yet
    const auto detect = [&](std::size_t fieldCount) {
        const std::size_t found = columns.countIn(fieldCount);
        if (found > 0) nitems = static_cast<std::int64_t>(std::min<std::size_t>(found, INT32_MAX));
    };
    // An empty record is skipped, except where a record holds a single field
    // (one item, or a header of one name while the count is not known yet):
    // there it is one missing answer.
    std::vector<std::string> header;
    bool haveHeader = false;
    const auto singleField = [&] {
        return !withIds && columns.first == 0 && (nitems == 1 || (nitems < 1 && haveHeader && header.size() == 1));
    };

    bool firstExaminee = true;
    bool reserved = false;
    std::int64_t record = 0;  // records counted, empty ones skipped
    std::string row;
    for (std::int64_t read = 1; records.next(); ++read) {
        if (read % kLinesBetweenStops == 0 && observer.stopRequested()) throw Cancelled();
        const std::span<const std::string_view> fields = records.fields();
        if (records.empty() && !(record + 1 >= layout.firstobs && singleField())) continue;
        ++record;
        if (record < layout.firstobs) {
            if (layout.header && record == layout.firstobs - 1) {
                header.assign(fields.begin(), fields.end());
                haveHeader = true;
                // Data frames write their row labels as a first column
                // without a name: those are the ids, unless idbegin says
                // otherwise.
                if (!layout.idbeginGiven && !withIds && !header.empty() && trimBlanks(header[0]).empty()) {
                    note(observer, "The first column has no name; it is read as the examinee ids.");
                    idsIn(1);
                }
            }
            continue;
        }
        if (firstExaminee) {
            firstExaminee = false;
            // One name fewer than fields: the names begin at the second column.
            if (haveHeader && header.size() + 1 == fields.size()) header.insert(header.begin(), std::string());
            if (nitems < 1 && haveHeader) detect(header.size());
        }
        if (withIds && fields.size() <= columns.idColumn) {
            warnings.shortRecord(records.line());
            continue;
        }
        if (nitems < 1) {
            detect(fields.size());
            if (nitems < 1) {
                warnings.shortRecord(records.line());
                continue;
            }
        }
        const auto J = static_cast<std::size_t>(nitems);
        if (!reserved && records.fileSize() > 0) {
            reserved = true;
            // Room for the whole matrix at once, estimated from this record
            // and at most the file's size: every response but those missing
            // from short records takes at least its delimiter in the file.
            const auto fileSize = static_cast<std::size_t>(records.fileSize());
            reserveLarge(data.responses, std::min((fileSize / records.bytes() + 1) * J, fileSize));
        }

        if (withIds) {
            const std::string_view id = trimBlanks(fields[columns.idColumn]);
            if (decode) {
                decoded.clear();
                decoder->append(id, decoded);
                data.ids.append(decoded);
            } else {
                data.ids.append(id);
            }
        }
        if (fields.size() <= columns.fieldOf(J - 1, J)) warnings.shortRecord(records.line());
        const std::size_t before = columns.beforeId(J);
        row.resize(J);
        values.read(fields, columns.first, before, row.data(), records.line());
        values.read(fields, columns.first + before + 1, J - before, row.data() + before, records.line());
        data.responses.append(row);
        ++data.nexaminees;
        if (layout.nobs > 0 && data.nexaminees >= layout.nobs) break;
    }
    if (nitems < 1 && haveHeader) detect(header.size());
    data.nitems = static_cast<std::int32_t>(nitems);

    if (haveHeader && nitems > 0) {
        const auto J = static_cast<std::size_t>(nitems);
        data.itemNames.reserve(J);
        for (std::size_t j = 0; j < J; ++j) {
            const std::size_t f = columns.fieldOf(j, J);
            const std::string_view name = f < header.size() ? trimBlanks(header[f]) : std::string_view();
            if (name.empty())
                data.itemNames.push_back(std::to_string(j + 1));
            else
                data.itemNames.push_back(decode ? decoder->decoded(name) : std::string(name));
        }
    }

    warnings.reportTheRest();
    const std::int64_t invalid = records.invalidBytes() + (decode ? decoder->invalidBytes() : 0);
    if (invalid > 0)
        warn(observer, invalid, " bytes of \"", fileName, "\" are not valid ", encodingWord(encoding),
             "; they are read as U+FFFD.");
    note(observer, "Number of examinees is ", data.nexaminees, ".");
    note(observer, "Number of items is ", data.nitems, ".");
    return data;
}

}  // namespace tavrel
