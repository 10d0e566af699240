#include "data/delimited_records.hpp"

#include <cstring>

namespace tavrel {

RecordReader::RecordReader(const std::string& fileName, char delimiter, TextEncoding encoding, std::size_t chunk)
    : input_(openForReading(fileName)), encoding_(encoding), delimiter_(delimiter) {
    endsField_[static_cast<unsigned char>(delimiter)] = true;
    endsField_['\n'] = true;
    endsField_['\r'] = true;
    buffer_.resize((chunk > 0 ? chunk : 1) + 1);
    fill();
    while (end_ < 3 && !eof_) fill();
    const std::optional<ByteOrderMark> mark = byteOrderMark(std::string_view(buffer_.data(), end_));
    if (mark) {
        encoding_ = mark->encoding;
        begin_ = mark->size;
    }
    if (isUtf16(encoding_)) {
        // The bytes read so far go to the converter, which reads the rest.
        utf16_.emplace(input_.file.get(), encoding_ == TextEncoding::utf16be,
                       std::string_view(buffer_.data() + begin_, end_ - begin_), chunk);
        begin_ = end_ = 0;
        eof_ = false;
        buffer_[0] = '\n';
    }
}

long long RecordReader::fileSize() const {
    if (!utf16_ || utf16_->converted() == 0) return input_.size;
    return static_cast<long long>(static_cast<double>(input_.size) * static_cast<double>(utf16_->produced()) /
                                  static_cast<double>(utf16_->converted()));
}

// Keeps the unread bytes, moved to the front, and reads more behind them; a
// full buffer doubles first.
void RecordReader::fill() {
    if (eof_) return;
    if (begin_ > 0) {
        std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
        end_ -= begin_;
        begin_ = 0;
    }
    if (end_ + 1 == buffer_.size()) buffer_.resize(2 * buffer_.size() - 1);
    const std::size_t room = buffer_.size() - 1 - end_;
    char* const to = buffer_.data() + end_;
    const std::size_t got = utf16_ ? utf16_->read(to, room) : std::fread(to, 1, room, input_.file.get());
    // A read error ends the input like the end of the file does.
    if (got == 0) eof_ = true;
    end_ += got;
    buffer_[end_] = '\n';
}

bool RecordReader::next() {
    for (;;) {
        switch (parse()) {
            case Parse::record: return true;
            case Parse::end: return false;
            case Parse::more: fill(); break;
        }
    }
}

// Splits the record at begin_ into fields. A record that runs past the bytes
// read is left as it is (Parse::more) and split again once more are read, so
// nothing in the buffer changes until the whole record is there.
RecordReader::Parse RecordReader::parse() {
    if (begin_ == end_) return eof_ ? Parse::end : Parse::more;
    char* const base = buffer_.data();
    char* const e = base + end_;
    char* p = base + begin_;
    fields_.clear();
    quoted_.clear();
    for (;;) {
        char* const start = p;
        // Most fields of response data are one byte and end at the delimiter.
        if (p + 1 < e && p[1] == delimiter_ && !endsField_[static_cast<unsigned char>(*p)] && *p != '"') {
            fields_.emplace_back(start, 1);
            p += 2;
            continue;
        }
        if (p < e && *p == '"') {
            ++p;
            for (;;) {
                p = static_cast<char*>(std::memchr(p, '"', static_cast<std::size_t>(e - p)));
                if (p == nullptr) {
                    if (!eof_) return Parse::more;
                    p = e;  // a quote left open: the field runs to the end of the file
                    break;
                }
                if (p + 1 == e && !eof_) return Parse::more;
                if (p + 1 < e && p[1] == '"') {
                    p += 2;
                    continue;
                }
                ++p;
                break;
            }
            quoted_.push_back(fields_.size());
        }
        // The field, or what follows its closing quote, up to the delimiter
        // or the line end; the LF behind the data stops the scan at e.
        while (!endsField_[static_cast<unsigned char>(*p)]) ++p;
        if (p == e && !eof_) return Parse::more;
        fields_.emplace_back(start, static_cast<std::size_t>(p - start));
        if (p < e && *p == delimiter_) {
            ++p;
            continue;
        }
        if (p < e && *p == '\r') {
            if (p + 1 == e && !eof_) return Parse::more;
            if (p + 1 < e && p[1] == '\n') ++p;
        }
        if (p < e) ++p;
        break;
    }
    bytes_ = static_cast<std::size_t>(p - (base + begin_));
    begin_ = static_cast<std::size_t>(p - base);
    empty_ = fields_.size() == 1 && fields_[0].empty();
    std::int64_t breaks = 0;
    for (const std::size_t f : quoted_) {
        std::string_view& field = fields_[f];
        char* const start = base + (field.data() - base);
        field = std::string_view(start, unquote(start, field.size(), breaks));
    }
    line_ = nextLine_;
    nextLine_ = line_ + 1 + breaks;
    return Parse::record;
}

// Rewrites a field that begins with a quote in place: the opening and the
// closing quote go, a doubled quote becomes one, and the text after the
// closing quote stays as it is. Returns the new size; adds the line breaks
// inside the quotes to `breaks`.
std::size_t RecordReader::unquote(char* start, std::size_t size, std::int64_t& breaks) {
    const char* in = start + 1;
    const char* const end = start + size;
    char* out = start;
    bool inQuotes = true;
    while (in < end) {
        const char c = *in++;
        if (inQuotes && c == '"') {
            if (in < end && *in == '"') {
                *out++ = '"';
                ++in;
            } else {
                inQuotes = false;
            }
            continue;
        }
        if (c == '\n' || (c == '\r' && (in == end || *in != '\n'))) ++breaks;
        *out++ = c;
    }
    return static_cast<std::size_t>(out - start);
}

}  // namespace tavrel
