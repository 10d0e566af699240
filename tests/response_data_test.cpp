#include "data/data_layout.hpp"
#include "data/response_data.hpp"

#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <tuple>
#include <vector>

#include "console_record.hpp"
#include "common/text_file.hpp"
#include "data/fixed_profile.hpp"
#include "data/item_use.hpp"
#include "data/prior.hpp"
#include "encoded_text.hpp"
#include "tavrel/failures.hpp"
#include "tavrel_process.hpp"

namespace tavrel {
namespace {

// Expected console texts name the file "@"; the tests read from a temporary path.
const std::regex kFileName("@");
const std::string kShort = "tavrel.exe: Warning: Line length is too short. (@ , ";
std::string illegal(const std::string& ch, int line, int column) {
    return "tavrel.exe: Warning: Illeagal character '" + ch + "' is found at " + std::to_string(line) + " , " +
           std::to_string(column) + " in \"@\"\n";
}

// Every id, one after the other.
std::string joined(const ExamineeIds& ids) {
    std::string text;
    for (std::size_t i = 0; i < ids.size(); ++i) text += ids[i];
    return text;
}

TEST(ResponseData, DetectsColumnsAndReportsLines) {
    struct Case { SettingMap settings; std::string data, responses, ids; std::int32_t J, N, W; std::string warnings; };
    const Case cases[] = {
        {{}, "0101\n1100\n", "01011100", "", 4, 2, 0, ""},
        {{{"idbegin", "1"}}, "A017 0110.1\nB2   1111x0\n", "0110.11111x0", "A017B2  ", 6, 2, 4, illegal("x", 2, 10)},
        // Only a blank ends an identifier; a given width needs none.
        {{{"idbegin", "1"}}, "A017\t0110\nB018\t1111\n", "", "", 0, 0, 0, kShort + "1)\n" + kShort + "2)\n"},
        {{{"idbegin", "1"}, {"idlength", "4"}}, "A017\t0110\n", "0110", "A017", 4, 1, 4, ""},
        {{{"firstobs", "3"}}, "head\nhead\n0101\n1100\n01x1\n", "0101110001x1", "", 4, 3, 0, illegal("x", 5, 3)},
        {{{"firstobs", "-2"}, {"nobs", "2"}}, "01\n10\n11\n00\n", "0110", "", 2, 2, 0, ""},
        {{{"nitems", "10"}}, "0101010101\n0101010\n", "01010101010101010...", "", 10, 2, 0, kShort + "2)\n"},
        {{{"firstobs", "5"}, {"nitems", "3"}}, "a\nb\n", "", "", 3, 0, 0, ""},
        {{}, "", "", "", 0, 0, 0, ""},
        {{{"idbegin", "1"}}, "E1 01.\r\nE2 10\r\n", "01.10.", "E1E2", 3, 2, 2, kShort + "2)\n"},
        // The CR inside the line on which the item count is detected is deleted.
        {{}, "01\r01\n0\r11\n", "01010\r11", "", 4, 2, 0, illegal("\r", 2, 2)},
        // Width 0, and no response after the identifier: the line is skipped
        // and detection repeats on the next line; a response column found on
        // the skipped line stays.
        {{{"idbegin", "1"}}, " E001 0000\nE002 1101\n", "1101", "E002", 4, 1, 4, kShort + "1)\n"},
        {{{"idbegin", "1"}}, "E001 \nE002 0101\nE003  101\n", "0101 101", "E002E003", 4, 2, 4,
         kShort + "1)\n" + illegal(" ", 3, 6)},
    };
    for (const Case& c : cases) {
        const testing::TempDir dir;
        SettingMap settings = c.settings;
        settings["infile"] = dir.write("data.txt", c.data);
        ConsoleRecord console;
        const ResponseData read = readResponses(resolveDataLayout(settings, console), console);
        const auto& [responses, ids, names, J, N] = read;
        const std::int32_t W = ids.present() ? static_cast<std::int32_t>(N > 0 ? ids[0].size() : 0) : 0;
        const std::string notes = "tavrel.exe: Note: Number of examinees is " + std::to_string(c.N) +
                                  ".\ntavrel.exe: Note: Number of items is " + std::to_string(c.J) + ".\n";
        EXPECT_EQ(console.str(), std::regex_replace(c.warnings + notes, kFileName, settings["infile"])) << c.data;
        EXPECT_EQ(std::tuple(responses, joined(ids), J, N, W), std::tuple(c.responses, c.ids, c.J, c.N, c.W)) << c.data;
        EXPECT_TRUE(names.empty());
    }
}

// Columns count the file's bytes; ids are decoded once cut, and written as
// they stand. UTF-16 has no columns of bytes.
TEST(ResponseData, FixedColumnsDecodeIdsOnceCut) {
    const std::string data = testing::encoded("生徒1 0101\nＳＴ1 1100\n", "CP932");  // 5 bytes each
    const std::string cut = "tavrel.exe: Warning: 2 bytes of \"@\" are not valid cp932; they are read as U+FFFD.\n";
    const std::tuple<SettingMap, std::string, std::string, std::string> cases[] = {
        {{{"idbegin", "1"}, {"encoding", "cp932"}}, data, "生徒1|ＳＴ1", ""},
        // A width that cuts a double-byte character.
        {{{"idlength", "3"}, {"databegin", "7"}, {"encoding", "cp932"}}, data, "生\xEF\xBF\xBD|Ｓ\xEF\xBF\xBD", cut},
        {{{"idbegin", "1"}, {"encoding", "latin1"}}, "Zo\xEB 0101\nAl. 1100\n", "Zoë|Al.", ""},
    };
    for (const auto& [layoutSettings, text, ids, warnings] : cases) {
        const testing::TempDir dir;
        SettingMap settings = layoutSettings;
        settings["infile"] = dir.write("data.txt", text);
        ConsoleRecord console;
        const ResponseData read = readResponses(resolveDataLayout(settings, console), console);
        std::string idList;
        for (std::size_t i = 0; i < read.ids.size(); ++i) idList += (i > 0 ? "|" : "") + std::string(read.ids[i]);
        EXPECT_EQ(std::tuple(idList, read.responses, read.ids.quoteOnOutput()), std::tuple(ids, "01011100", false));
        EXPECT_EQ(console.str(), std::regex_replace(warnings, kFileName, settings["infile"]) +
                                     "tavrel.exe: Note: Number of examinees is 2.\n"
                                     "tavrel.exe: Note: Number of items is 4.\n");
    }
    for (const auto& [text, encoding] : {std::pair<std::string, const char*>{"\xFF\xFE" "0\0" "1\0", "cp932"},
                                         {"\xFE\xFF", nullptr},
                                         {"0101\n", "utf-16be"}}) {
        const testing::TempDir dir;
        SettingMap settings{{"infile", dir.write("data.txt", text)}};
        if (encoding != nullptr) settings["encoding"] = encoding;
        ConsoleRecord console;
        EXPECT_THROW(readResponses(resolveDataLayout(settings, console), console), EncodingFailure) << text;
    }
}

// The cells as "value" when fixed and "." when still learned.
std::string fixedCells(const std::string& mask, const std::vector<double>& profile) {
    std::ostringstream cells;
    for (std::size_t c = 0; c < mask.size(); ++c) (mask[c] == '0' ? cells << profile[c] : cells << '.') << ' ';
    return cells.str();
}

// Lines split at LF or CR LF, also where the pair is cut by the end of a
// chunk, and a last line without an end: the same for any chunk size.
TEST(LineReader, ChunkBoundariesChangeNothing) {
    const testing::TempDir dir;
    const auto lines = [](const std::string& file, std::size_t chunk) {
        LineReader reader(file, chunk);
        std::string out;
        for (std::string_view line; reader.next(line);) out.append(line).append("|");
        return out;
    };
    std::uint32_t state = 777;
    for (int n = 0; n < 300; ++n) {
        std::string text;
        for (int length = 0; length < n % 40; ++length) {
            state = state * 1664525u + 1013904223u;
            text += "ab\r\n\r\n"[(state >> 24) % 6];
        }
        const std::string file = dir.write("lines.txt", text);
        const std::string whole = lines(file, kReadChunk);
        for (const std::size_t chunk : {0u, 1u, 2u, 3u, 7u}) ASSERT_EQ(lines(file, chunk), whole) << text;
    }
}

TEST(FixedProfile, FixesTheNamedCells) {
    const std::string rank = "tavrel.exe: Warning: Rank number (", item = "tavrel.exe: Warning: Item number (";
    const std::tuple<std::string, char, std::string, std::string> cases[] = {
        {"", ',', ". . . . ", ""},
        {"item,1,2,\n1,0.1,0.2,0.3\n", ',', "0.1 0.2 . . ", rank + "0) is out of range. (@: 1 , 4)\n"},
        {"item,1,2\n2,0.7\n", ',', ". . 0.7 0 ", ""},
        {"item,1,2\n\n1,*,0.5\n", ',', ". 0.5 . . ", item + "0) is out of range. (@, line 2)\n"},
        {"item,1,2\n3,0.1,0.1\n", ',', ". . . . ", item + "3) is out of range. (@, line 2)\n"},
        {"item,1,2\n1, *,*\n2,*,*\n", ',', "0 . . . ", ""},
        {"item,1,2\n1,0.1,*\n1,0.3,0.4\n1,*,*\n", ',', "0.3 0.4 . . ", ""},
        {"item,2,2\n1,0.1,0.6\n", ',', ". 0.6 . . ", ""},
        {"item,2,1\n1,0.2,0.7\n", ',', "0.7 0.2 . . ", ""},
        {"item,1,2\n1,0.4\xFF" "9,0.5\n", ',', "0.4 0 . . ", ""},
        {"item,1,2\r\n2,1.5,*\r\n", ',', ". . 1.5 . ", ""},
        {"item\t1\t2\n2\t0.1\t0.2\n", '\t', ". . 0.1 0.2 ", ""},
    };
    for (const auto& [file, dlm, cells, warnings] : cases) {
        const testing::TempDir dir;
        const std::string name = dir.write("fixed.csv", file);
        std::string mask(4, '1');
        std::vector<double> profile(4);
        ConsoleRecord console;
        readFixedProfile(name, mask, profile, 2, 2, dlm, console);
        EXPECT_EQ(fixedCells(mask, profile), cells) << file;
        EXPECT_EQ(console.str(), std::regex_replace(warnings, kFileName, name)) << file;
    }
}

TEST(Prior, ElementsSeparatorsAndWarnings) {
    const std::string few = "tavrel.exe: Warning: \"Too few elements of the prior probability (";
    const std::string many =
        "tavrel.exe: Warning: \"Too many elements of the prior probability. Only 2 elements are used.\n";
    const std::tuple<std::string, std::vector<double>, std::string> cases[] = {
        {"", {0, 0}, few + "0 < 2).\n"}, {"0.2", {0.2, 0}, few + "1 < 2).\n"},
        {"1/3, 1/3", {1.0 / 3, 1.0 / 3}, ""}, {"1/3 1/3", {1.0 / 3, 1.0 / 3}, ""},
        {"2/0 3e-1", {2, 0.3}, ""}, {"1 /3", {1, 0}, ""},
        {"0.5,,0.5", {0.5, 0}, many}, {"0.2,0.8,", {0.2, 0.8}, ""},
        {"0.2,0.8, 3", {0.2, 0.8}, ""}, {"0.2,0.8, 33", {0.2, 0.8}, many},
    };
    for (const auto& [value, expected, warnings] : cases) {
        std::vector<double> prior(2, 0.5);
        ConsoleRecord console;
        std::ostringstream note;
        readPrior(value, prior, 2, console);
        EXPECT_EQ(prior, expected) << value;
        note << "tavrel.exe: Note: Prior probabilities are as follows: " << expected[0] << ", " << expected[1] << "\n";
        EXPECT_EQ(console.str(), warnings + note.str()) << value;
    }
}

TEST(ItemUse, ZeroAndDotExcludeAndItemsPastTheEndAreUsed) {
    const std::tuple<std::string, std::string, int> cases[] = {
        {"0.1", "001", 1}, {"1 1x0", "111", 3}, {".", "011", 2}, {"", "111", 3},
    };
    for (const auto& [value, use, used] : cases) {
        ConsoleRecord console;
        const std::vector<char> itemUse = itemUseFlags(value, 3, console);
        EXPECT_EQ(std::string(itemUse.begin(), itemUse.end()), use) << value;
        EXPECT_EQ(console.str(), "tavrel.exe: Note: " + std::to_string(used) + " out of 3 items are used.\n");
    }
}

}  // namespace
}  // namespace tavrel
