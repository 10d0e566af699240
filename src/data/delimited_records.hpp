#pragma once
// Delimited records (RFC 4180): fields separated by one delimiter, quoted with
// '"' where they hold the delimiter, a quote (doubled) or a line break.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/text_encoding.hpp"
#include "common/text_file.hpp"

namespace tavrel {

// Reads a file record by record. A record ends at LF, CR LF or a lone CR
// outside quotes, or at the end of the file. A byte order mark at the start of
// the file is skipped and decides the encoding; a UTF-16 file is converted to
// UTF-8 as it is read, other encodings are split as they are. Malformed text is read as far as it goes: a
// quote inside an unquoted field is a character of the field, text after a
// closing quote belongs to the field, and a quote left open runs to the end of
// the file. The file is read in chunks; only a record longer than a chunk
// makes the buffer grow.
class RecordReader {
public:
    // Opens the file; a missing file or a directory raises FileFailure.
    // `encoding` is the file's without a byte order mark; `chunk` (at least
    // 1) is the number of bytes read at a time.
    RecordReader(const std::string& fileName, char delimiter, TextEncoding encoding = TextEncoding::utf8,
                 std::size_t chunk = kReadChunk);

    // Moves to the next record; false at the end of the file.
    bool next();

    // The fields of the record, unquoted; valid until the next call.
    std::span<const std::string_view> fields() const { return fields_; }
    // Whether the record has no byte at all before its end (an empty line).
    bool empty() const { return empty_; }
    // The physical line on which the record starts, from 1.
    std::int64_t line() const { return line_; }
    // Bytes of the record in the file, its end included.
    std::size_t bytes() const { return bytes_; }
    // Size of the file in bytes, as far as the system knows it (0 if not);
    // of a UTF-16 file, the size of its text in UTF-8 as the part converted
    // so far has it.
    long long fileSize() const;
    // The encoding the file is read in: the byte order mark's, else the one given.
    TextEncoding encoding() const { return encoding_; }
    // Bytes of a UTF-16 file read as U+FFFD so far.
    std::int64_t invalidBytes() const { return utf16_ ? utf16_->invalidBytes() : 0; }

private:
    enum class Parse { record, more, end };
    Parse parse();
    void fill();
    static std::size_t unquote(char* start, std::size_t size, std::int64_t& breaks);

    InputFile input_;
    std::optional<Utf16Reader> utf16_;  // converts a UTF-16 file
    TextEncoding encoding_;
    char delimiter_;
    std::array<bool, 256> endsField_{};  // the delimiter, LF and CR
    std::vector<char> buffer_;           // one byte past the data holds an LF that stops every scan
    std::size_t begin_ = 0;              // first byte of the next record
    std::size_t end_ = 0;                // one past the last byte read
    bool eof_ = false;

    std::vector<std::string_view> fields_;
    std::vector<std::size_t> quoted_;  // indexes of the fields that begin with a quote
    bool empty_ = false;
    std::int64_t line_ = 0;
    std::int64_t nextLine_ = 1;
    std::size_t bytes_ = 0;
};

}  // namespace tavrel
