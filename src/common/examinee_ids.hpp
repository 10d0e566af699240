#pragma once
// ExamineeIds: every examinee's identifier, in data order. Fixed-column data
// give ids of one width, stored back to back; delimited data give ids of their
// own length, stored back to back with the end of each.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tavrel {

class ExamineeIds {
public:
    // No ids.
    ExamineeIds() = default;

    // Ids of `width` characters each, back to back in `text`; present when
    // the width is above 0.
    static ExamineeIds fixedWidth(std::string text, std::int32_t width);
    // Ids of their own length, appended one by one; present even while empty.
    static ExamineeIds ownLength();

    void append(std::string_view id) {
        text_.append(id);
        ends_.push_back(text_.size());
    }

    bool present() const { return present_; }
    // Number of ids held.
    std::size_t size() const { return ownLength_ ? ends_.size() : width_ == 0 ? 0 : text_.size() / width_; }
    // Ids from delimited data go back out as delimited fields, quoted where
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

inline ExamineeIds ExamineeIds::fixedWidth(std::string text, std::int32_t width) {
    ExamineeIds ids;
    ids.text_ = std::move(text);
    ids.present_ = width > 0;
    ids.width_ = ids.present_ ? static_cast<std::size_t>(width) : 0;
    return ids;
}

inline ExamineeIds ExamineeIds::ownLength() {
    ExamineeIds ids;
    ids.present_ = true;
    ids.ownLength_ = true;
    return ids;
}

}  // namespace tavrel
