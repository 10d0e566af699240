#include "common/text_encoding.hpp"

#include <array>
#include <cerrno>
#include <cstring>

namespace tavrel {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

struct EncodingName {
    TextEncoding encoding;
    std::string_view word;  // lower case
};
// The canonical word of each encoding comes first.
constexpr std::array<EncodingName, 13> kEncodingWords{{
    {TextEncoding::utf8, "utf-8"},
    {TextEncoding::utf8, "utf8"},
    {TextEncoding::cp932, "cp932"},
    {TextEncoding::cp932, "shift_jis"},
    {TextEncoding::cp932, "sjis"},
    {TextEncoding::cp932, "windows-31j"},
    {TextEncoding::cp1252, "cp1252"},
    {TextEncoding::cp1252, "windows-1252"},
    {TextEncoding::latin1, "latin1"},
    {TextEncoding::latin1, "iso-8859-1"},
    {TextEncoding::utf16le, "utf-16"},
    {TextEncoding::utf16le, "utf-16le"},
    {TextEncoding::utf16be, "utf-16be"},
}};

// The names glibc's iconv knows them by. Shift-JIS files are written by
// Windows in its code page 932, which maps 0x5C and 0x7E to ASCII.
const char* iconvName(TextEncoding encoding) {
    switch (encoding) {
        case TextEncoding::utf8: return "UTF-8";
        case TextEncoding::cp932: return "CP932";
        case TextEncoding::cp1252: return "CP1252";
        case TextEncoding::latin1: return "ISO-8859-1";
        case TextEncoding::utf16le: return "UTF-16LE";
        case TextEncoding::utf16be: return "UTF-16BE";
    }
    return "UTF-8";
}

const iconv_t kNoConversion = reinterpret_cast<iconv_t>(-1);

}  // namespace

std::optional<TextEncoding> encodingNamed(std::string_view word) {
    for (const EncodingName& name : kEncodingWords) {
        if (name.word.size() != word.size()) continue;
        bool same = true;
        for (std::size_t i = 0; i < word.size() && same; ++i) {
            const char c = word[i] >= 'A' && word[i] <= 'Z' ? static_cast<char>(word[i] - 'A' + 'a') : word[i];
            same = c == name.word[i];
        }
        if (same) return name.encoding;
    }
    return std::nullopt;
}

std::string_view encodingWord(TextEncoding encoding) {
    for (const EncodingName& name : kEncodingWords)
        if (name.encoding == encoding) return name.word;
    return "utf-8";
}

bool isUtf16(TextEncoding encoding) { return encoding == TextEncoding::utf16le || encoding == TextEncoding::utf16be; }

std::optional<ByteOrderMark> byteOrderMark(std::string_view start) {
    if (start.starts_with("\xFF\xFE")) return ByteOrderMark{TextEncoding::utf16le, 2};
    if (start.starts_with("\xFE\xFF")) return ByteOrderMark{TextEncoding::utf16be, 2};
    if (start.starts_with("\xEF\xBB\xBF")) return ByteOrderMark{TextEncoding::utf8, 3};
    return std::nullopt;
}

// A system without the conversion (glibc without its gconv modules) reads
// every byte that is not ASCII as not valid, which the warning then reports.
Iconv::Iconv(TextEncoding from) : cd_(iconv_open("UTF-8", iconvName(from))) {}

Iconv::~Iconv() {
    if (cd_ != kNoConversion) iconv_close(cd_);
}

std::size_t Iconv::convert(const char* text, std::size_t size, char*& to, std::size_t unit, bool last,
                           std::int64_t& invalid) {
    // 3 bytes of UTF-8 for every byte are enough: a single byte gives at most
    // U+FFFF, and so does a replaced byte; 2 and 4 bytes give less.
    std::size_t room = 3 * size;
    std::size_t at = 0;
    while (at < size) {
        char* from = const_cast<char*>(text + at);
        std::size_t left = size - at;
        const std::size_t converted =
            cd_ == kNoConversion ? static_cast<std::size_t>(-1) : iconv(cd_, &from, &left, &to, &room);
        at = size - left;
        if (converted != static_cast<std::size_t>(-1)) break;
        if (cd_ != kNoConversion && errno == EINVAL && !last) break;
        // EILSEQ, or a character cut off at the end of the text.
        const std::size_t bad = std::min(unit, size - at);
        std::memcpy(to, kReplacement.data(), kReplacement.size());
        to += kReplacement.size();
        room -= kReplacement.size();
        at += bad;
        invalid += static_cast<std::int64_t>(bad);
        if (cd_ != kNoConversion) iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    }
    return at;
}

void TextDecoder::append(std::string_view text, std::string& out) {
    bool ascii = true;
    for (const char c : text) ascii &= static_cast<unsigned char>(c) < 0x80;
    if (ascii) {
        out.append(text);
        return;
    }
    const std::size_t used = out.size();
    out.resize(used + 3 * text.size());
    char* to = out.data() + used;
    iconv_.convert(text.data(), text.size(), to, 1, true, invalid_);
    out.resize(static_cast<std::size_t>(to - out.data()));
}

Utf16Reader::Utf16Reader(std::FILE* file, bool bigEndian, std::string_view start, std::size_t chunk)
    : file_(file),
      iconv_(bigEndian ? TextEncoding::utf16be : TextEncoding::utf16le),
      low_(bigEndian ? 1 : 0),
      chunk_(chunk > 0 ? chunk : 1) {
    // Room for a chunk behind the at most 3 bytes a conversion leaves over.
    raw_.resize(std::max(start.size(), chunk_ + 3));
    std::memcpy(raw_.data(), start.data(), start.size());
    rawEnd_ = start.size();
}

std::size_t Utf16Reader::read(char* out, std::size_t capacity) {
    while (handed_ == textEnd_) {
        if (eof_ && rawEnd_ == 0) return 0;
        if (!eof_) {
            if (raw_.size() - rawEnd_ < chunk_) raw_.resize(rawEnd_ + chunk_);
            const std::size_t got = std::fread(raw_.data() + rawEnd_, 1, chunk_, file_);
            // A read error ends the input like the end of the file does.
            if (got == 0) eof_ = true;
            rawEnd_ += got;
        }
        convert();
    }
    const std::size_t n = std::min(capacity, textEnd_ - handed_);
    std::memcpy(out, text_.data() + handed_, n);
    handed_ += n;
    return n;
}

// Converts the raw bytes into text_: ASCII units four at a time where they
// come in fours, the rest through iconv. What a unit or a surrogate pair cut
// by the end of the bytes read leaves over moves to the front of raw_.
void Utf16Reader::convert() {
    const char* const raw = raw_.data();
    const std::size_t end = rawEnd_;
    // At most 3 bytes of UTF-8 for every byte (see Iconv::convert).
    if (text_.size() < 3 * end) text_.resize(3 * end);
    char* to = text_.data();

    // A unit is ASCII when its high byte is 0 and its low byte below 0x80.
    static constexpr unsigned char kMaskBytes[2][8] = {{0x80, 0xFF, 0x80, 0xFF, 0x80, 0xFF, 0x80, 0xFF},
                                                       {0xFF, 0x80, 0xFF, 0x80, 0xFF, 0x80, 0xFF, 0x80}};
    std::uint64_t mask;
    std::memcpy(&mask, kMaskBytes[low_], sizeof mask);
    const std::size_t low = low_, high = 1 - low_;
    const auto asciiUnit = [&](std::size_t at) {
        return raw[at + high] == 0 && static_cast<unsigned char>(raw[at + low]) < 0x80;
    };

    std::size_t at = 0;
    while (at + 1 < end) {
        for (std::uint64_t word; at + 8 <= end; at += 8, to += 4) {
            std::memcpy(&word, raw + at, sizeof word);
            if ((word & mask) != 0) break;
            to[0] = raw[at + low];
            to[1] = raw[at + 2 + low];
            to[2] = raw[at + 4 + low];
            to[3] = raw[at + 6 + low];
        }
        for (; at + 1 < end && asciiUnit(at); at += 2) *to++ = raw[at + low];
        // The run of other units, up to the next ASCII one or the end of the
        // bytes read; a high surrogate that ends it before an ASCII unit or
        // at the end of the file is not valid.
        std::size_t other = at;
        while (other + 1 < end && !asciiUnit(other)) other += 2;
        if (other == at) continue;
        const bool last = other + 1 < end || eof_;
        at += iconv_.convert(raw + at, other - at, to, 2, last, invalid_);
        if (at < other) break;  // a surrogate pair cut by the end of the bytes read
    }
    if (eof_ && at < end) {
        // An odd byte at the end of the file.
        std::memcpy(to, kReplacement.data(), kReplacement.size());
        to += kReplacement.size();
        invalid_ += static_cast<std::int64_t>(end - at);
        at = end;
    }
    textEnd_ = static_cast<std::size_t>(to - text_.data());
    handed_ = 0;
    converted_ += static_cast<std::int64_t>(at);
    produced_ += static_cast<std::int64_t>(textEnd_);
    std::memmove(raw_.data(), raw + at, end - at);
    rawEnd_ = end - at;
}

}  // namespace tavrel
