#pragma once
// Text of the encodings a response data file may use, converted to UTF-8 with
// the C library's iconv. ASCII stands for itself in every one of them, so runs
// of ASCII are copied as they are and only the rest goes through iconv. A byte
// (a UTF-16 unit) that is not valid becomes U+FFFD and is counted.

#include <iconv.h>

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tavrel/responses.hpp"

namespace tavrel {

bool isUtf16(TextEncoding encoding);

// The encoding a byte order mark at the start of a file names (FF FE, FE FF,
// EF BB BF) and the mark's length; nothing without a mark.
struct ByteOrderMark {
    TextEncoding encoding;
    std::size_t size;
};
std::optional<ByteOrderMark> byteOrderMark(std::string_view start);

// One iconv conversion from an encoding to UTF-8.
class Iconv {
public:
    explicit Iconv(TextEncoding from);
    ~Iconv();
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;

    // Writes the UTF-8 of text[0, size) at `to`, which has room for 3 * size
    // bytes, and moves `to` past it; returns the bytes consumed. A byte
    // sequence not valid in the encoding becomes U+FFFD, `unit` bytes at a
    // time, counted in `invalid`. A character cut off at the end is invalid
    // when `last`, else left unconsumed for the next call.
    std::size_t convert(const char* text, std::size_t size, char*& to, std::size_t unit, bool last,
                        std::int64_t& invalid);

private:
    iconv_t cd_;
};

// Decodes texts of a single- or multi-byte encoding (ids, names) one by one.
class TextDecoder {
public:
    explicit TextDecoder(TextEncoding encoding) : iconv_(encoding) {}

    // Appends the UTF-8 of the whole text to `out`.
    void append(std::string_view text, std::string& out);
    std::string decoded(std::string_view text) {
        std::string out;
        append(text, out);
        return out;
    }
    // Bytes read as U+FFFD so far.
    std::int64_t invalidBytes() const { return invalid_; }

private:
    Iconv iconv_;
    std::int64_t invalid_ = 0;
};

// Converts a UTF-16 file to UTF-8 while it is read, one chunk at a time; a
// character cut by the end of a chunk waits for the next.
class Utf16Reader {
public:
    // Reads `file` from where it stands; `start` holds the bytes already read
    // from it, the byte order mark left out. `chunk` (at least 1) is the
    // number of bytes read at a time.
    Utf16Reader(std::FILE* file, bool bigEndian, std::string_view start, std::size_t chunk);

    // Up to `capacity` bytes of UTF-8 into `out`; 0 only at the end of the file.
    std::size_t read(char* out, std::size_t capacity);
    // Bytes read as U+FFFD so far.
    std::int64_t invalidBytes() const { return invalid_; }
    // Bytes of UTF-16 converted so far, and the bytes of UTF-8 they gave.
    std::int64_t converted() const { return converted_; }
    std::int64_t produced() const { return produced_; }

private:
    void convert();

    std::FILE* file_;
    Iconv iconv_;
    std::size_t low_;         // offset of a unit's low byte: 0 little endian, 1 big endian
    std::size_t chunk_;
    std::vector<char> raw_;   // UTF-16 read, not yet converted
    std::size_t rawEnd_ = 0;
    std::vector<char> text_;  // converted: [handed_, textEnd_) not yet handed out
    std::size_t textEnd_ = 0;
    std::size_t handed_ = 0;
    bool eof_ = false;
    std::int64_t invalid_ = 0;
    std::int64_t converted_ = 0;
    std::int64_t produced_ = 0;
};

}  // namespace tavrel
