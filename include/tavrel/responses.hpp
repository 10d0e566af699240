#pragma once
// Response data in memory: N examinees x J items, each answer correct ('1'),
// incorrect ('0') or missing (any other byte), with optional examinee ids and
// item names; and the readers that fill it from a file.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tavrel {

class Observer;

// Every examinee's identifier, in data order. Fixed-column data give ids of
// one width, stored back to back; delimited data (and data frames) give ids
// of their own length, stored back to back with the end of each.
class ExamineeIds {
public:
    // No ids.
    ExamineeIds() = default;

    // Ids of `width` characters each, back to back in `text`; present when
    // the width is above 0.
    static ExamineeIds fixedWidth(std::string text, std::int32_t width) {
        ExamineeIds ids;
        ids.text_ = std::move(text);
        ids.present_ = width > 0;
        ids.width_ = ids.present_ ? static_cast<std::size_t>(width) : 0;
        return ids;
    }
    // Ids of their own length, appended one by one; present even while empty.
    // Ids cut from fixed columns and decoded to UTF-8 have their own length
    // too, but are written as they stand (quoted false).
    static ExamineeIds ownLength(bool quoted = true) {
        ExamineeIds ids;
        ids.present_ = true;
        ids.ownLength_ = true;
        ids.quoted_ = quoted;
        return ids;
    }

    void append(std::string_view id) {
        text_.append(id);
        ends_.push_back(text_.size());
    }

    bool present() const { return present_; }
    // Number of ids held.
    std::size_t size() const { return ownLength_ ? ends_.size() : width_ == 0 ? 0 : text_.size() / width_; }
    // Ids of their own length go back out as delimited fields, quoted where
    // they hold the delimiter, a quote or a line break; fixed-width ids are
    // written byte for byte.
    bool quoteOnOutput() const { return ownLength_ && quoted_; }

    std::string_view operator[](std::size_t i) const {
        if (!ownLength_) return std::string_view(text_).substr(i * width_, width_);
        const std::size_t begin = i == 0 ? 0 : ends_[i - 1];
        return std::string_view(text_).substr(begin, ends_[i] - begin);
    }

private:
    std::string text_;
    std::vector<std::size_t> ends_;  // own-length ids: one past each id's last character
    std::size_t width_ = 0;
    bool present_ = false;
    bool ownLength_ = false;
    bool quoted_ = false;
};

// A response table that owns its data, as the readers give it.
struct ResponseData {
    std::string responses;               // N x J, examinee-major (examinee i, item j at i*J + j)
    ExamineeIds ids;                     // one per examinee when present
    std::vector<std::string> itemNames;  // one per item from a header record; empty without one
    std::int32_t nitems = 0;             // J
    std::int32_t nexaminees = 0;         // N
};

// A response table lent to an operation for one call.
struct ResponseTable {
    std::span<const char> responses;  // N x J, examinee-major; '1', '0', anything else missing
    std::size_t nitems = 0;           // J
    std::size_t nexaminees = 0;       // N

    static ResponseTable of(const ResponseData& data) {
        return {std::span<const char>(data.responses.data(),
                                      std::size_t(data.nitems) * std::size_t(data.nexaminees)),
                std::size_t(data.nitems), std::size_t(data.nexaminees)};
    }
};

// The text encoding of a response data file. Ids and item names are held in
// UTF-8 whatever the file's encoding.
enum class TextEncoding : std::uint8_t { utf8, cp932, cp1252, latin1, utf16le, utf16be };

// The encoding a word names, case ignored: utf-8 (utf8), cp932 (shift_jis,
// sjis, windows-31j), cp1252 (windows-1252), latin1 (iso-8859-1), utf-16
// (utf-16le), utf-16be; nothing for any other word.
std::optional<TextEncoding> encodingNamed(std::string_view word);
// The canonical word of an encoding: utf-8, cp932, cp1252, latin1, utf-16 or
// utf-16be.
std::string_view encodingWord(TextEncoding encoding);

// The layout of a response data file: what the data keys say.
struct DataLayout {
    std::optional<std::string> infile;  // absent: no data are read
    char delimiter = 0;                 // 0: fixed columns; ',', '\t' or ';': delimited records
    // Fixed columns count bytes, delimited records count fields; both from 1.
    std::int64_t idbegin = 0;    // below 1: no ids
    std::int32_t idlength = 0;   // fixed columns; below 1: detected
    std::int64_t databegin = 0;  // below 1: detected (fixed columns); the field after the ids (delimited)
    std::int32_t nitems = 0;     // below 1: detected
    std::int64_t firstobs = 1;   // the first examinee line or record
    std::int64_t nobs = 0;       // below 1: no limit
    bool header = false;         // delimited: the record before firstobs names the columns
    bool idbeginGiven = false;   // delimited: idbegin was set, so an unnamed first column is not taken for ids
    std::string na;              // delimited: one more text of a missing answer; empty: none
    // The file's text encoding; a byte order mark at its start overrides it.
    TextEncoding encoding = TextEncoding::utf8;
};

// The data keys as a client gives them; absent: not given.
struct DataKeys {
    std::optional<std::string> infile;
    char delimiter = 0;  // 0: fixed columns; ',', '\t' or ';': delimited records
    std::optional<std::int64_t> idbegin;
    std::optional<std::int32_t> idlength;
    std::optional<std::int64_t> databegin;
    std::optional<std::int32_t> nitems;
    std::optional<std::int64_t> firstobs;
    std::optional<std::int64_t> nobs;
    std::optional<bool> header;     // delimited only
    std::optional<std::string> na;  // delimited only
    TextEncoding encoding = TextEncoding::utf8;
};

// The layout the keys describe, with the defaults of the format, as a
// setting file's data keys are read. Fixed columns: from line 1; an id width
// alone puts the ids in column 1; without ids the responses start in column
// 1 unless set; header and na are not used. Delimited records: a header
// unless told not, and then the first examinee is record 2 or later; ids
// where idbegin says (below 0: none), or, not given, where the reader finds
// an unnamed first column; no id width; na without the blanks around it,
// and ignored with a warning to the observer when it is an answer.
DataLayout completeDataLayout(const DataKeys& keys, Observer& observer);

// Reads the file named by the layout, in fixed columns or delimited as the
// layout says; the reader's warnings and the two count notes go to the
// observer, which is asked now and then whether to stop (Cancelled). Without
// `infile` nothing is read and nothing said: the item
// count is the one set, and ids are present as the layout asks for them.
// FileFailure when the file cannot be opened; EncodingFailure for a UTF-16
// file in fixed columns.
ResponseData readResponses(const DataLayout& layout, Observer& observer);

}  // namespace tavrel
