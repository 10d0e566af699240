#include "data/response_data.hpp"

#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>
#include <vector>

#include "common/failures.hpp"
#include "data/fixed_profile.hpp"
#include "data/item_use.hpp"
#include "data/prior.hpp"
#include "tavrel_process.hpp"

namespace tavrel {
namespace {

// Expected console texts name the file "@"; the tests read from a temporary path.
std::string withFileName(std::string text, const std::string& fileName) {
    for (std::size_t at = text.find('@'); at != std::string::npos; at = text.find('@', at + fileName.size()))
        text.replace(at, 1, fileName);
    return text;
}

const std::string kShort = "tavrel.exe: Warning: Line length is too short. (@ , ";
std::string illegal(const std::string& ch, int line, int column) {
    return "tavrel.exe: Warning: Illeagal character '" + ch + "' is found at " + std::to_string(line) + " , " +
           std::to_string(column) + " in \"@\"\n";
}

TEST(ResponseData, DetectsColumnsAndReportsLines) {
    struct Case {
        SettingMap settings;
        std::string data, responses, ids;
        std::int32_t J, N, W;
        std::string warnings;
    };
    const Case cases[] = {
        {{}, "0101\n1100\n", "01011100", "", 4, 2, 0, ""},
        {{{"databegin", "3"}}, "ab01\ncd1\n", "011.", "", 2, 2, 0, kShort + "2)\n"},
        {{{"idbegin", "1"}}, "A017 0110.1\nB2   1111x0\n", "0110.11111x0", "A017B2  ", 6, 2, 4, illegal("x", 2, 10)},
        {{{"idlength", "3"}}, "E01 ,01\n", "01", "E01", 2, 1, 3, ""},
        {{{"idbegin", "3"}, {"idlength", "2"}, {"nitems", "2"}}, "xxAB0111\n", "01", "AB", 2, 1, 2, ""},
        // Only a blank ends an identifier; a given width needs none.
        {{{"idbegin", "1"}}, "A017\t0110\nB018\t1111\n", "", "", 0, 0, 0, kShort + "1)\n" + kShort + "2)\n"},
        {{{"idbegin", "1"}, {"idlength", "4"}}, "A017\t0110\n", "0110", "A017", 4, 1, 4, ""},
        {{{"idbegin", "1"}, {"idlength", "4"}}, "ABCD\nWXYZ1\n", "1", "WXYZ", 1, 1, 4, kShort + "1)\n"},
        {{{"firstobs", "3"}}, "head\nhead\n0101\n1100\n01x1\n", "010111000" "1x1", "", 4, 3, 0, illegal("x", 5, 3)},
        {{{"firstobs", "-2"}, {"nobs", "2"}}, "01\n10\n11\n00\n", "0110", "", 2, 2, 0, ""},
        {{{"nitems", "10"}}, "0101010101\n0101010\n", "01010101010101010...", "", 10, 2, 0, kShort + "2)\n"},
        {{}, "0101  \n0101\n", "0101  0101..", "", 6, 2, 0, illegal(" ", 1, 5) + illegal(" ", 1, 6) + kShort + "2)\n"},
        {{{"firstobs", "5"}, {"nitems", "3"}}, "a\nb\n", "", "", 3, 0, 0, ""},
        {{}, "", "", "", 0, 0, 0, ""},
        {{{"idbegin", "1"}}, "E1 01.\r\nE2 10x\r\n", "01.10x", "E1E2", 3, 2, 2, illegal("x", 2, 6)},
        // The CR inside the line on which the item count is detected is deleted.
        {{}, "01\r01\n0\r11\n", "01010\r11", "", 4, 2, 0, illegal("\r", 2, 2)},
        // Width 0, and no response after the identifier: the line is skipped
        // and detection repeats on the next line.
        {{{"idbegin", "1"}}, " E001 0000\nE002 1101\n", "1101", "E002", 4, 1, 4, kShort + "1)\n"},
        {{{"idbegin", "1"}}, "E001 \nE002 0101\nE003  101\n", "0101 101", "E002E003", 4, 2, 4,
         kShort + "1)\n" + illegal(" ", 3, 6)},
    };
    for (const Case& c : cases) {
        const testing::TempDir dir;
        SettingMap settings = c.settings;
        settings["infile"] = dir.write("data.txt", c.data);
        std::string responses, ids;
        std::int32_t J = 0, N = 0, W = 0;
        std::ostringstream console;
        readResponseData(settings, responses, ids, J, N, W, console);
        const std::string notes = "tavrel.exe: Note: Number of examinees is " + std::to_string(c.N) +
                                  ".\ntavrel.exe: Note: Number of items is " + std::to_string(c.J) + ".\n";
        EXPECT_EQ(console.str(), withFileName(c.warnings + notes, settings["infile"])) << c.data;
        EXPECT_EQ(responses, c.responses) << c.data;
        EXPECT_EQ(ids, c.ids) << c.data;
        EXPECT_EQ((std::vector{J, N, W}), (std::vector{c.J, c.N, c.W})) << c.data;
    }
}

TEST(ResponseData, FailuresAndAbsentFile) {
    const testing::TempDir dir;
    std::string responses, ids;
    std::int32_t J = 0, N = 0, W = 0;
    std::ostringstream console;
    // Without infile nothing is read or printed; the count keys still apply.
    readResponseData({{"nitems", "5"}, {"idlength", "2"}}, responses, ids, J, N, W, console);
    EXPECT_EQ((std::vector{J, N, W}), (std::vector{5, 0, 2}));
    EXPECT_EQ(console.str(), "");

    const SettingMap beyondLine{{"infile", dir.write("d.txt", "0101\n")}, {"databegin", "10"}};
    J = 0;
    EXPECT_THROW(readResponseData(beyondLine, responses, ids, J, N, W, console), std::out_of_range);
    for (const std::string& name : {dir.path().string() + "/none.txt", dir.path().string()}) {
        try {
            readResponseData({{"infile", name}}, responses, ids, J, N, W, console);
            ADD_FAILURE() << name;
        } catch (const FileFailure& failure) {
            EXPECT_EQ(failure.fileName(), name);
        }
    }

    std::vector<char> mask(6);
    buildMissingMask(std::string_view("01.x 1"), mask);
    EXPECT_EQ(std::string(mask.begin(), mask.end()), "110001");
}

TEST(FixedProfile, FixesTheNamedCells) {
    struct Case {
        std::string file;
        char dlm;
        std::string mask;
        std::vector<double> profile;
        std::string console;
    };
    const std::string rank = "tavrel.exe: Warning: Rank number (";
    const std::string item = "tavrel.exe: Warning: Item number (";
    const Case cases[] = {
        {"", ',', "1111", {-1, -1, -1, -1}, ""},
        {"item,1,2,\n1,0.1,0.2,0.3\n", ',', "0011", {0.1, 0.2, -1, -1}, rank + "0) is out of range. (@: 1 , 4)\n"},
        {"item,1,3\n1,0.1,0.9\n", ',', "0111", {0.1, -1, -1, -1}, rank + "3) is out of range. (@: 1 , 3)\n"},
        {"item,1,2\n2,0.7\n", ',', "1100", {-1, -1, 0.7, 0}, ""},
        {"item,1,2\n\n1,*,0.5\n", ',', "1011", {-1, 0.5, -1, -1}, item + "0) is out of range. (@, line 2)\n"},
        {"item,1,2\n3,0.1,0.1\n-1,0,0\n", ',', "1111", {-1, -1, -1, -1},
         item + "3) is out of range. (@, line 2)\n" + item + "-1) is out of range. (@, line 3)\n"},
        {"item,1,2\n1, *,*\n2,*,*\n", ',', "0111", {0, -1, -1, -1}, ""},
        {"item,1,2\n1,0.1,*\n1,0.3,0.4\n1,*,*\n", ',', "0011", {0.3, 0.4, -1, -1}, ""},
        {"item,2,2\n1,0.1,0.6\n", ',', "1011", {-1, 0.6, -1, -1}, ""},
        {"item,2,1\n1,0.2,0.7\n", ',', "0011", {0.7, 0.2, -1, -1}, ""},
        {"item,1,2\n1,0.4\xFF" "9,0.5\n", ',', "0011", {0.4, 0, -1, -1}, ""},
        {"item,1,2\r\n2,1.5,abc\r\n", ',', "1100", {-1, -1, 1.5, 0}, ""},
        {"item\t1\t2\n2\t0.1\t0.2\n", '\t', "1100", {-1, -1, 0.1, 0.2}, ""},
        {"item\t1\t2\n2\t0.1\t0.2\n", ',', "1111", {-1, -1, -1, -1}, ""},
    };
    for (const Case& c : cases) {
        const testing::TempDir dir;
        const std::string name = dir.write("fixed.csv", c.file);
        std::string mask(4, '1');
        std::vector<double> profile(4, -1.0);
        std::ostringstream console;
        readFixedProfile(name, mask, profile, 2, 2, c.dlm, console);
        EXPECT_EQ(mask, c.mask) << c.file;
        EXPECT_EQ(profile, c.profile) << c.file;
        EXPECT_EQ(console.str(), withFileName(c.console, name)) << c.file;
    }
    std::string mask(4, '1');
    std::vector<double> profile(4);
    std::ostringstream console;
    EXPECT_THROW(readFixedProfile("/nonexistent/f.csv", mask, profile, 2, 2, ',', console), FileFailure);
    EXPECT_THROW(readFixedProfile("/tmp", mask, profile, 2, 2, ',', console), FileFailure);
}

TEST(Prior, ElementsSeparatorsAndWarnings) {
    struct Case {
        std::string value;
        std::vector<double> prior;
        std::string console;
    };
    const std::string few = "tavrel.exe: Warning: \"Too few elements of the prior probability (";
    const std::string many = "tavrel.exe: Warning: \"Too many elements of the prior probability. Only ";
    const Case cases[] = {
        {"", {0, 0}, few + "0 < 2).\n"},
        {"1/3, 1/3", {1.0 / 3, 1.0 / 3}, ""},
        {"1/3 1/3", {1.0 / 3, 1.0 / 3}, ""},
        {"2/0 3e-1", {2, 0.3}, ""},
        {"0.5,,0.5", {0.5, 0}, many + "2 elements are used.\n"},
        {"1 /3", {1, 0}, ""},
        {"0.2", {0.2, 0}, few + "1 < 2).\n"},
        {"0.2,0.8,", {0.2, 0.8}, ""},
        {"0.2,0.8, 3", {0.2, 0.8}, ""},
        {"0.2,0.8, 33", {0.2, 0.8}, many + "2 elements are used.\n"},
    };
    for (const Case& c : cases) {
        std::vector<double> prior(2, 0.5);
        std::ostringstream console, note;
        readPrior(c.value, prior, 2, console);
        EXPECT_EQ(prior, c.prior) << c.value;
        note << "tavrel.exe: Note: Prior probabilities are as follows: " << c.prior[0] << ", " << c.prior[1] << "\n";
        EXPECT_EQ(console.str(), c.console + note.str()) << c.value;
    }
    std::vector<double> prior(3);
    std::ostringstream console;
    readPrior("1/3, 1/3 1/3", prior, 3, console);
    EXPECT_EQ(console.str(), "tavrel.exe: Note: Prior probabilities are as follows: 0.333333, 0.333333, 0.333333\n");
}

TEST(ItemUse, ZeroAndDotExcludeAndItemsPastTheEndAreUsed) {
    const std::tuple<std::string, std::string, std::string, int> cases[] = {
        {"0.1", "001", "001001", 1},
        {"1 1x0", "111", "101101", 3},
        {".", "011", "001001", 2},
        {"", "111", "101101", 3},
    };
    for (const auto& [value, use, mask, used] : cases) {
        std::string itemUse(3, '?'), missing = "101101";
        std::ostringstream console;
        applyItemUse(value, missing, itemUse, 3, 2, console);
        EXPECT_EQ(itemUse, use) << value;
        EXPECT_EQ(missing, mask) << value;
        EXPECT_EQ(console.str(), "tavrel.exe: Note: " + std::to_string(used) + " out of 3 items are used.\n");
    }
}

}  // namespace
}  // namespace tavrel
