#include "data/delimited_data.hpp"

#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <tuple>
#include <vector>

#include "console_record.hpp"
#include "data/data_layout.hpp"
#include "encoded_text.hpp"
#include "output/field_quoting.hpp"
#include "output/result_file.hpp"
#include "split_records.hpp"
#include "tavrel_process.hpp"

namespace tavrel {
namespace {

// Expected console texts name the file "@"; the tests read from a temporary path.
const std::string kUnnamed = "tavrel.exe: Note: The first column has no name; it is read as the examinee ids.\n";
const std::string kShort = "tavrel.exe: Warning: Line length is too short. (@ , ";
std::string illegal(const std::string& value, int line, int field) {
    return "tavrel.exe: Warning: Illeagal value \"" + value + "\" is found at " + std::to_string(line) + " , " +
           std::to_string(field) + " in \"@\"\n";
}

std::string joined(const ExamineeIds& ids) {
    std::string text;
    for (std::size_t i = 0; i < ids.size(); ++i) {
        if (i > 0) text += '|';
        text += ids[i];
    }
    return text;
}
std::string joined(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) {
        if (&name != names.data()) text += '|';
        text += name;
    }
    return text;
}

struct Read {
    std::string console, responses, ids, names;
    std::int32_t J, N;
};
Read readCsv(SettingMap settings, const std::string& data) {
    const testing::TempDir dir;
    const std::string name = dir.write("data.csv", data);
    settings["infile"] = name;
    settings.try_emplace("dataformat", "csv");
    ConsoleRecord console;
    const ResponseData read = readResponses(resolveDataLayout(settings, console), console);
    return {std::regex_replace(console.str(), std::regex(name), "@"), read.responses, joined(read.ids),
            joined(read.itemNames), read.nitems, read.nexaminees};
}
std::string notes(int N, int J) {
    return "tavrel.exe: Note: Number of examinees is " + std::to_string(N) +
           ".\ntavrel.exe: Note: Number of items is " + std::to_string(J) + ".\n";
}

TEST(DelimitedData, RecordsLayoutsAndValues) {
    const SettingMap ids{{"idbegin", "1"}};
    struct Case { SettingMap settings; std::string data, responses, ids, names; std::int32_t J, N; std::string warnings; };
    const Case cases[] = {
        // A data frame export: quoted names and ids, NA, words, blanks.
        {ids, "\"id\",\"q1\",\"q2\",\"q3\"\n\"S1\",1,0,NA\n\"S2\",TRUE,false, 1.0 \n\"S3\",\" 0.0\",.,\n", "10.1010..",
         "S1|S2|S3", "q1|q2|q3", 3, 3, ""},
        // Quotes hold delimiters, doubled quotes and line breaks; lines count
        // from where each record starts.
        {ids, "id,\"q,1\",\"q\"\"2\"\n\"S,1\",\"1\",0\n\"S\r\n2\",1,\"0\"\nS3,x,1\n", "1010.1", "S,1|S\r\n2|S3",
         "q,1|q\"2", 2, 3, illegal("x", 5, 2)},
        // Byte order mark, LF, CR LF and lone CR; empty lines skipped.
        {{{"header", "no"}}, "\xEF\xBB\xBF" "1,0\r\n\r\n0,1\r1,1\n\n0,0", "10011100", "", "", 2, 4, ""},
        {{{"header", "no"}, {"firstobs", "2"}, {"nobs", "1"}}, "1,0\n0,1\n1,1\n", "01", "", "", 2, 1, ""},
        // One response column: an empty line is a missing answer.
        {{{"header", "f"}}, "1\n\n0\n", "1.0", "", "", 1, 3, ""},
        // With a header of one name, also the first examinee's line.
        {{}, "q\n\n1\n\n0\n", ".1.0", "", "q", 1, 4, ""},
        // Records before the header are skipped; empty lines do not count.
        {{{"firstobs", "4"}}, "title\n\nnotes\nq1,q2\n1,0\n", "10", "", "q1|q2", 2, 1, ""},
        // One name fewer than fields: row names, named from the second column.
        {ids, "q1,q2\nr1,1,0\nr2,0,1\n", "1001", "r1|r2", "q1|q2", 2, 2, ""},
        // The id column among the responses is stepped over; a text column
        // is skipped by databegin; an empty name is the item number.
        {{{"idbegin", "2"}, {"databegin", "1"}}, "q1,id,q2\n1,S1,0\n", "10", "S1", "q1|q2", 2, 1, ""},
        {{{"idbegin", "1"}, {"databegin", "3"}}, "id,name,,q2\nS1,Ann,1,0\n", "10", "S1", "1|q2", 2, 1, ""},
        // Too short for the id: skipped; too short for the items: missing.
        {{{"idbegin", "2"}, {"databegin", "1"}}, "q1,id,q2\n1\n1,S2\n", "1.", "S2", "q1|q2", 2, 1,
         kShort + "2)\n" + kShort + "3)\n"},
        {{{"nitems", "3"}}, "q1,q2\n1,0,1,1\n0,1\n", "10101.", "", "q1|q2|3", 3, 2, kShort + "3)\n"},
        {{{"nitems", "1"}, {"dataformat", "TSV"}, {"na", " -99 "}}, "q1\tq2\n-99\t1\n 1\tx\n", ".1", "", "q1", 1, 2, ""},
        {{{"dataformat", "semicolon"}, {"na", "-99"}}, "q1;q2\n-99; -99 \n1;0,0\n", "..1.", "", "q1|q2", 2, 2,
         illegal("0,0", 3, 2)},
        // Malformed: a quote inside an unquoted field, text after a closing
        // quote, a quote left open to the end of the file.
        {{}, "q1,q2\n1,0\"\n\"1\"x,1\n1,\"0\n1,1\n", "1..11.", "", "q1|q2", 2, 3,
         illegal("0\"", 2, 2) + illegal("1x", 3, 1) + illegal("0\\x0A1,1", 4, 2)},
        // Values shown cut to 40 bytes, control bytes escaped.
        {{{"header", "no"}}, std::string(50, 'a') + ",\"\x01\t\x7F\"\n", "..", "", "", 2, 1,
         illegal(std::string(40, 'a'), 1, 1) + illegal("\\x01\\x09\\x7F", 1, 2)},
        {ids, "id,q1,q2\n", "", "", "q1|q2", 2, 0, ""},
        {ids, "", "", "", "", 0, 0, ""},
        // Data frames' row labels under an empty name are the ids, unless
        // idbegin is set; True and False are answers.
        {{}, "\"\",\"q1\",\"q2\"\n\"1\",1,0\n\"2\",TRUE,NA\n", "101.", "1|2", "q1|q2", 2, 2, kUnnamed},
        {{}, " ,q1,q2\nS1,True,False\nS2,0,1\n", "1001", "S1|S2", "q1|q2", 2, 2, kUnnamed},
        {{{"databegin", "3"}}, ",x,q2\nS1,a,1\n", "1", "S1", "q2", 1, 1, kUnnamed},
        {{{"idbegin", "0"}}, ",q1\nr1,1\n", ".1", "", "1|q1", 2, 1, illegal("r1", 2, 1)},
        {{{"idbegin", "2"}}, ",id,q1\nx,S1,1\n", "1", "S1", "q1", 1, 1, ""},
    };
    for (const Case& c : cases) {
        const Read read = readCsv(c.settings, c.data);
        EXPECT_EQ(read.console, c.warnings + notes(c.N, c.J)) << c.data;
        EXPECT_EQ(std::tuple(read.responses, read.ids, read.names, read.J, read.N),
                  std::tuple(c.responses, c.ids, c.names, c.J, c.N))
            << c.data;
    }
}

// Ids and item names reach the table in UTF-8 from every encoding; values are
// read as in UTF-8; bytes not valid in the encoding are counted once per file.
TEST(DelimitedData, EncodingsGiveUtf8IdsAndNames) {
    using testing::encoded;
    using namespace std::string_literals;
    const std::string japanese = "受験者,問1, 問2 \n生徒1,1,0\n\"生徒,2\",NA,正\n";
    const std::string european = "id;café;Ångström\nJosé;1;0\nZoë;0;1\n";
    const std::string fffd = "\xEF\xBF\xBD";
    const auto invalid = [](int n, const std::string& encoding) {
        return "tavrel.exe: Warning: " + std::to_string(n) + " bytes of \"@\" are not valid " + encoding +
               "; they are read as U+FFFD.\n";
    };
    // With ids, and the encoding as given; the default without one.
    const auto in = [](const char* encoding, SettingMap settings = {}) {
        settings["idbegin"] = "1";
        if (encoding != nullptr) settings["encoding"] = encoding;
        return settings;
    };
    const SettingMap semicolon{{"dataformat", "semicolon"}};
    struct Case { SettingMap settings; std::string data, ids, names, responses, warnings; int N = 2, J = 2; };
    const std::string sjisIds = "生徒1|生徒,2", sjisNames = "問1|問2", sjisWarnings = illegal("正", 3, 3);
    const Case cases[] = {
        {in("Shift_JIS"), encoded(japanese, "CP932"), sjisIds, sjisNames, "10..", sjisWarnings},
        // A mark decides whatever the key says; UTF-16 without one only under its word.
        {in(nullptr), "\xFF\xFE" + encoded(japanese, "UTF-16LE"), sjisIds, sjisNames, "10..", sjisWarnings},
        {in("cp932"), "\xFE\xFF" + encoded(japanese, "UTF-16BE"), sjisIds, sjisNames, "10..", sjisWarnings},
        {in("utf-16"), encoded(japanese, "UTF-16LE"), sjisIds, sjisNames, "10..", sjisWarnings},
        {in("UTF-16BE"), encoded(japanese, "UTF-16BE"), sjisIds, sjisNames, "10..", sjisWarnings},
        {in("sjis"), "\xEF\xBB\xBF" + japanese, sjisIds, sjisNames, "10..", sjisWarnings},
        {in("windows-1252", semicolon), encoded(european, "CP1252"), "José|Zoë", "café|Ångström", "1001", ""},
        {in("iso-8859-1", semicolon), encoded(european, "ISO-8859-1"), "José|Zoë", "café|Ångström", "1001", ""},
        // Bytes Windows-1252 leaves undefined in an id and a name, and in a
        // value, which its warning shows but the count leaves out; a
        // Shift-JIS lead byte without its second byte; a lone low surrogate
        // and an odd last byte of UTF-16.
        {in("cp1252"), "id,q\x81,q2\nA\x8d\x90,1,\x9d\n", "A" + fffd + fffd, "q" + fffd + "|q2", "1.",
         illegal(fffd, 2, 3) + invalid(3, "cp1252"), 1},
        {in("cp932"), "id,q1\nS\x82,1\n", "S" + fffd, "q1", "1", invalid(1, "cp932"), 1, 1},
        {in(nullptr), "\xFF\xFE" + encoded("id,q1\nS", "UTF-16LE") + "\x00\xDC"s + encoded(",1\n", "UTF-16LE") + "x",
         "S" + fffd + "|" + fffd, "q1", "1.", kShort + "3)\n" + invalid(3, "utf-16"), 2, 1},
        // An unknown word reads UTF-8, and so does the default: bytes pass as
        // they are, and nothing is counted.
        {in("ebcdic"), encoded(japanese, "CP932"), "\x90\xB6\x93\x6B" "1|\x90\xB6\x93\x6B,2",
         "\x96\xE2" "1|\x96\xE2" "2", "10..",
         "tavrel.exe: Warning: Encoding \"ebcdic\" is unknown; UTF-8 is read.\n" + illegal("\x90\xB3", 3, 3)},
        {in(nullptr), "id,q\x81\nA\x8d,1\n", "A\x8d", "q\x81", "1", "", 1, 1},
    };
    for (const Case& c : cases) {
        const Read read = readCsv(c.settings, c.data);
        EXPECT_EQ(read.console, c.warnings + notes(c.N, c.J)) << c.data;
        EXPECT_EQ(std::tuple(read.ids, read.names, read.responses), std::tuple(c.ids, c.names, c.responses)) << c.data;
    }
}

// A record or a quoted field that runs past the bytes read so far, a CR LF
// pair or a byte order mark cut by the end of a chunk: the records are the
// same whatever the chunk size.
TEST(RecordReader, ChunkBoundariesChangeNothing) {
    const testing::TempDir dir;
    std::vector<std::string> inputs{
        "\xEF\xBB\xBF" "id,q1\r\n\"S,1\",\"a\"\"b\"\r\n\r\n\"x\ny\",1\rlast,\"open\n,\n",
        "\xEF\xBB", "\"\"\"\"", ",,\r\r\n\n\"", std::string(100, ',') + "\n" + std::string(70, 'a'),
    };
    std::uint32_t state = 12345;  // a small seeded generator: the same inputs every run
    const std::string alphabet[] = {"a", ",", "\"", "\r", "\n", "\xEF\xBB\xBF", "bc"};
    for (int n = 0; n < 300; ++n) {
        std::string text;
        for (int length = 0; length < n % 40; ++length) {
            state = state * 1664525u + 1013904223u;
            text += alphabet[(state >> 24) % 7];
        }
        inputs.push_back(text);
    }
    for (const std::string& text : inputs) {
        const std::string file = dir.write("records.csv", text);
        const std::string whole = testing::splitRecords(file, ',', kReadChunk);
        for (const std::size_t chunk : {0u, 1u, 2u, 3u, 5u, 8u})
            ASSERT_EQ(testing::splitRecords(file, ',', chunk), whole) << "chunk " << chunk << ", input: " << text;
    }
}

TEST(DelimitedData, TwentyWarningsOfEachKindThenACount) {
    std::string data = "q1,q2\n";
    for (int i = 0; i < 25; ++i) data += "x,y\n";
    for (int i = 0; i < 21; ++i) data += "1\n";
    std::string warnings;
    for (int i = 0; i < 20; ++i) warnings += illegal(i % 2 == 0 ? "x" : "y", i / 2 + 2, 1 + i % 2);
    for (int i = 0; i < 20; ++i) warnings += kShort + std::to_string(27 + i) + ")\n";
    warnings += "tavrel.exe: Warning: 30 more illeagal values are found in \"@\".\n"
                "tavrel.exe: Warning: 1 more short lines are found in \"@\".\n";
    EXPECT_EQ(readCsv({}, data).console, warnings + notes(46, 2));
}

TEST(DataLayout, FormatWordsDefaultsAndWarnings) {
    const std::string unknown = "tavrel.exe: Warning: Data format \"xls\" is unknown; fixed columns are read.\n";
    const std::tuple<SettingMap, char, std::int64_t, std::int64_t, std::string, std::string> cases[] = {
        // settings, delimiter, firstobs, databegin (delimited: 0 is the field after the ids), na, warnings
        {{}, 0, 1, 1, "", ""},
        {{{"idlength", "3"}, {"header", "yes"}, {"na", "1"}}, 0, 1, 0, "", ""},
        {{{"dataformat", "CSV"}}, ',', 2, 0, "", ""},
        {{{"dataformat", "tsv"}, {"header", "no"}, {"idbegin", "3"}}, '\t', 1, 0, "", ""},
        {{{"dataformat", "semicolon"}, {"firstobs", "1"}, {"databegin", "2"}}, ';', 2, 2, "", ""},
        {{{"dataformat", "csv"}, {"firstobs", "5"}, {"na", " -99 "}}, ',', 5, 0, "-99", ""},
        {{{"dataformat", "xls"}, {"na", "x"}}, 0, 1, 1, "", unknown},
        {{{"dataformat", "csv"}, {"na", " TRUE"}}, ',', 2, 0, "",
         "tavrel.exe: Warning: Value \"TRUE\" of na is an answer; it is ignored.\n"},
    };
    for (const auto& [settings, delimiter, firstobs, databegin, na, warnings] : cases) {
        ConsoleRecord console;
        const DataLayout layout = resolveDataLayout(settings, console);
        EXPECT_EQ(std::tuple(layout.delimiter, layout.firstobs, layout.databegin, layout.na, console.str()),
                  std::tuple(delimiter, firstobs, databegin, na, warnings));
    }
}

TEST(FieldQuoting, QuotesFieldsThatHoldTheDelimiterAQuoteOrALineBreak) {
    const std::tuple<std::string, char, std::string> cases[] = {
        {"S1", ',', "S1"},           {"S,1", ',', "\"S,1\""},   {"S,1", '\t', "S,1"},
        {"a b", ' ', "\"a b\""},     {"x\"y\"", ',', "\"x\"\"y\"\"\""},
        {"a\rb", ',', "\"a\rb\""},   {"a\nb", '\t', "\"a\nb\""}, {"", ',', ""},
    };
    for (const auto& [field, delimiter, written] : cases) {
        RowBuffer out;
        writeField(out, field, delimiter);
        EXPECT_EQ(out.view(), written);
    }
}

}  // namespace
}  // namespace tavrel
