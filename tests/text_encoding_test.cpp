#include "common/text_encoding.hpp"

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "split_records.hpp"
#include "tavrel_process.hpp"

namespace tavrel {
namespace {

using namespace std::string_literals;

const std::string kFffd = "\xEF\xBF\xBD";

// Text as UTF-16 code units, written in either byte order.
std::string utf16(const std::vector<unsigned>& units, bool bigEndian) {
    std::string bytes;
    for (const unsigned unit : units) {
        const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
        bytes += bigEndian ? high : low;
        bytes += bigEndian ? low : high;
    }
    return bytes;
}

// Every word of the README's table, in any case; canonical words round trip.
TEST(TextEncoding, Words) {
    const std::tuple<TextEncoding, std::vector<std::string>> words[] = {
        {TextEncoding::utf8, {"utf-8", "UTF8"}},
        {TextEncoding::cp932, {"cp932", "Shift_JIS", "sjis", "Windows-31J"}},
        {TextEncoding::cp1252, {"cp1252", "windows-1252"}},
        {TextEncoding::latin1, {"Latin1", "iso-8859-1"}},
        {TextEncoding::utf16le, {"utf-16", "utf-16le"}},
        {TextEncoding::utf16be, {"UTF-16BE"}},
    };
    for (const auto& [encoding, names] : words) {
        for (const std::string& name : names) EXPECT_EQ(encodingNamed(name), encoding) << name;
        EXPECT_EQ(encodingNamed(encodingWord(encoding)), encoding);
    }
    for (const char* word : {"", "utf", "utf-32", "shift-jis ", "euc-jp"}) EXPECT_FALSE(encodingNamed(word)) << word;
}

TEST(TextEncoding, DecodesLegacyTextAndCountsInvalidBytes) {
    struct Case { TextEncoding encoding; std::string bytes, utf8; std::int64_t invalid; };
    const Case cases[] = {
        // 問1 and 生徒 in Shift-JIS; 0x5C is a backslash in Windows' code page.
        {TextEncoding::cp932, "\x96\xe2" "1", "問1", 0},
        {TextEncoding::cp932, "\x90\xb6\x93\x6b\\", "生徒\\", 0},
        // Half-width katakana are single bytes.
        {TextEncoding::cp932, "\xb1\xb2", "ｱｲ", 0},
        // A lead byte cut off at the end, and a lead byte before ASCII.
        {TextEncoding::cp932, "S\x82", "S" + kFffd, 1},
        {TextEncoding::cp932, "\x82" "A\xff", kFffd + "A" + kFffd, 2},
        {TextEncoding::cp1252, "caf\xe9 \x80 \x9c", "café € œ", 0},
        // Bytes Windows-1252 leaves undefined.
        {TextEncoding::cp1252, "\x81\x8d\x8f\x90\x9d", kFffd + kFffd + kFffd + kFffd + kFffd, 5},
        {TextEncoding::latin1, "\x80\xc5\xff", "\xC2\x80" "Åÿ", 0},
        {TextEncoding::cp932, "", "", 0},
    };
    for (const Case& c : cases) {
        TextDecoder decoder(c.encoding);
        std::string out = "x";
        decoder.append(c.bytes, out);
        EXPECT_EQ(out, "x" + c.utf8) << c.bytes;
        EXPECT_EQ(decoder.invalidBytes(), c.invalid) << c.bytes;
    }
}

// UTF-16 files through the record reader: pairs, lone surrogates and an odd
// last byte, whatever the chunk size and the byte order.
TEST(TextEncoding, ConvertsUtf16InChunks) {
    const testing::TempDir dir;
    struct Case { std::vector<unsigned> units; std::string tail, records; std::int64_t invalid; };
    const Case cases[] = {
        {{'i', 'd', ',', 0x554F, '1', '\n', 0x53D7, ',', '1', '\n'}, "", "id\0問1\0R1:8\n受\0" "1\0R2:6\n"s, 0},
        // Runs of ASCII long enough to be narrowed four units at a time, and
        // four units whose low byte is 0.
        {{'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i', ',', 0xE9, '\n'}, "", "abcdefghi\0é\0R1:13\n"s, 0},
        {{0x4E00, 0x5000, 0x3000, 0x0100, ',', '\n'}, "", "一倀　Ā\0\0R1:13\n"s, 0},
        // A surrogate pair (U+1F600) and a CR LF.
        {{0xD83D, 0xDE00, ',', 'x', '\r', '\n'}, "", "\xF0\x9F\x98\x80\0x\0R1:8\n"s, 0},
        // A lone high surrogate before ASCII, a lone low one, a high one at
        // the end of the file.
        {{0xD800, 'a', ',', 0xDC00, 0xE9, ',', 0xD800}, "",
         kFffd + "a\0"s + kFffd + "é\0"s + kFffd + "\0R1:14\n"s, 6},
        // An odd last byte.
        {{'a', ','}, "b", "a\0"s + kFffd + "\0R1:5\n"s, 1},
        {{}, "", "", 0},
    };
    for (const bool bigEndian : {false, true}) {
        const TextEncoding encoding = bigEndian ? TextEncoding::utf16be : TextEncoding::utf16le;
        const std::string mark = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
        for (const Case& c : cases) {
            const std::string expected = c.records + "invalid " + std::to_string(c.invalid) + "\n";
            const std::string text = utf16(c.units, bigEndian) + c.tail;
            // With the mark whatever the encoding given, and without it under the encoding.
            const std::string marked = dir.write("marked.csv", mark + text);
            const std::string bare = dir.write("bare.csv", text);
            for (const std::size_t chunk : {1u, 2u, 3u, 5u, 8u, 1u << 20}) {
                EXPECT_EQ(testing::splitRecords(marked, ',', chunk, TextEncoding::cp932), expected)
                    << bigEndian << " chunk " << chunk;
                EXPECT_EQ(testing::splitRecords(bare, ',', chunk, encoding), expected)
                    << bigEndian << " chunk " << chunk;
            }
        }
    }
}

}  // namespace
}  // namespace tavrel
