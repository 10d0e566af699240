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
    static ExamineeIds ownLength() {
        ExamineeIds ids;
        ids.present_ = true;
        ids.ownLength_ = true;
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
    bool quoteOnOutput() const { return ownLength_; }

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
};

// Reads the file named by the layout, in fixed columns or delimited as the
// layout says; the reader's warnings and the two count notes go to the
// observer, which is asked now and then whether to stop (Cancelled). Without
// `infile` nothing is read and nothing said: the item
// count is the one set, and ids are present as the layout asks for them.
// FileFailure when the file cannot be opened.
ResponseData readResponses(const DataLayout& layout, Observer& observer);

}  // namespace tavrel
