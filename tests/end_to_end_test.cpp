// Runs of the built binary, started as a user starts it.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <tuple>

#include "driver/run.hpp"
#include "encoded_text.hpp"
#include "tavrel_process.hpp"

namespace tavrel {
namespace {

using testing::TavrelRun;

const std::string kIdData = "E01 0000\nE02 0001\nE03 0011\nE04 0111\nE05 1111\nE06 1110\nE07 0.10\nE08 1101\n";
const std::string kAllFiles =
    "outfile = irp.csv; rankfile = rank.csv; rmpfile = rmp.csv; worpfile = worp.csv; uorpfile = uorp.csv;\n";
const std::string kStatisticsFiles = "testfile = test.csv; itemfile = item.csv; trpfile = trp.csv; "
                                     "examineefile = examinee.csv;\n";
const std::string kUsage = "Usage> tavrel.exe setting_file\nIs there a setting file? [y/n]: ";
const std::string kAskName = kUsage + "Input name of the setting file: ";
const std::string kPause = "Push any key and return key. ";
const std::string kIrpNote = "tavrel.exe: Note: Item reference profile is written to \"irp.csv\".\n";

// A setting file and 8 examinees x 4 items, with or without identifiers.
std::map<std::string, std::string> withData(const std::string& settings, bool ids = true) {
    return {{"set.txt", "infile = data.txt; nranks = 3; seed = 5; maxiter = 5;" +
                            std::string(ids ? "idbegin = 1;\n" : "\n") + settings},
            {"data.txt", ids ? kIdData : std::regex_replace(kIdData, std::regex("E0. "), "")}};
}

// The whole text must match; "[...]" stands for any text in between.
void expectText(const std::string& text, const std::string& pattern) {
    const std::size_t gap = pattern.find("[...]");
    if (gap == std::string::npos) {
        EXPECT_EQ(text, pattern);
        return;
    }
    const std::string head = pattern.substr(0, gap), tail = pattern.substr(gap + 5);
    EXPECT_TRUE(text.size() >= gap + tail.size() && text.starts_with(head) && text.ends_with(tail)) << text;
}

// The text with every number written as '#'.
std::string shape(const std::string& text) { return std::regex_replace(text, std::regex("-?nan|\\d[\\d.e+-]*"), "#"); }

std::string times(int n, const std::string& text) { return n == 0 ? "" : text + times(n - 1, text); }

TEST(EndToEnd, StartModesMessagesAndExitStatus) {
    const std::string noData = "tavrel.exe: Error: File \"nodata.txt\" cannot be found.\n";
    const std::string noRanks = "tavrel.exe: Note: Number of latent ranks is 0.\n"
                                "tavrel.exe: Error: Number of latent ranks must be 1 or more.\n";
    const std::string counts = "tavrel.exe: Note: Number of examinees is 8.\ntavrel.exe: Note: Number of items is "
                               "4.\ntavrel.exe: Note: Number of latent ranks is 3.\nNow calculating [...]\n";
    const std::string interactive = kUsage + "----------- interactive mode -----------\nAnswer the following 5 "
        "questions.\ndata file name: start column of response: number of items: number of latent ranks: "
        "file name of item reference profile: ";
    const std::map<std::string, std::string> missingData{{"set.txt", "infile = nodata.txt;"}},
        noRank{{"k0.txt", "nranks = abc;"}};
    const std::tuple<std::vector<std::string>, std::string, std::map<std::string, std::string>, int, std::string>
        cases[] = {
            {{"set.txt", "ignored"}, "y x", missingData, 1, noData},
            {{}, "y set.txt\n", missingData, 1, kAskName + noData + kPause},
            {{"missing.txt"}, "", {}, 1, "tavrel.exe: Error: File \"missing.txt\" cannot be found.\n"},
            {{"sub"}, "", {{"sub/x", ""}}, 1, "tavrel.exe: Error: File \"sub\" cannot be found.\n"},
            {{"s"}, "", {{"s", "infile = d; fixedfile = sub;"}, {"d", "01\n"}, {"sub/x", ""}}, 1,
             "[...]\ntavrel.exe: Error: File \"sub\" cannot be found.\n"},
            {{"s"}, "", {{"s", "infile = d; databegin = 10;"}, {"d", "0101\n"}}, 1,
             "tavrel.exe: Error: Index number is out of range.\n"},
            {{"s"}, "", {{"s", "nitems = -5;"}}, 1, "[...]\ntavrel.exe: Error: Memory allocation has been failed.\n"},
            {{}, "y", {}, 0, kAskName + "tavrel.exe: Note: Number of latent ranks is 10.\n[...]\n" + kPause},
            {{"k0.txt"}, "", noRank, 1, noRanks},
            {{}, "Yes k0.txt x", noRank, 1, kAskName + noRanks + kPause},
            {{}, "", {}, 1, interactive + "tavrel.exe: Error: File \"\" cannot be found.\n" + kPause},
            {{"set.txt"}, "", withData(""), 0, counts},
            {{}, "y\nset.txt\nx\n", withData(""), 0, kAskName + counts + kPause},
            {{}, "no\ndata.txt\n5 4 3\nirp.csv\nx\n", withData(""), 0, interactive + counts + kIrpNote + kPause},
        };
    for (const auto& [args, input, files, status, err] : cases) {
        const TavrelRun run(files, args, input);
        EXPECT_EQ(run.status, status) << run.err;
        EXPECT_EQ(run.out, "");
        expectText(run.err, err);
    }
}

// Exactly "--help" and "--version" as the first argument print to standard
// output; every other word is the setting file's name.
TEST(EndToEnd, HelpAndVersionAreTheOnlyCommandWords) {
    const std::string notFound = "tavrel.exe: Error: File \"[...]\" cannot be found.\n";
    const std::map<std::string, std::string> namedHelp{{"--help", "nranks = 0;"}};
    const std::tuple<std::vector<std::string>, std::string, int, std::string> cases[] = {
        {{"--version"}, "tavrel 1.0.0\n", 0, ""},
        {{"--version", "set.txt"}, "tavrel 1.0.0\n", 0, ""},
        {{"--help"}, "Usage: tavrel SETTING_FILE\n[...]\n", 0, ""},
        {{"--HELP"}, "", 1, notFound},
        {{"--verbose"}, "", 1, notFound},
        {{"-h"}, "", 1, notFound},
        {{"./--help"}, "", 1, "[...]\ntavrel.exe: Error: Number of latent ranks must be 1 or more.\n"},
    };
    for (const auto& [args, out, status, err] : cases) {
        const TavrelRun run(namedHelp, args);
        EXPECT_EQ(run.status, status) << args[0];
        expectText(run.out, out);
        expectText(run.err, err);
    }
}

TEST(EndToEnd, PauseWaitsForAWordAfterBlankLines) {
    std::istringstream input("y\nno-such-settings.txt\n\n \n\t\nx rest");
    std::ostringstream output, console;
    EXPECT_EQ(runProgram({}, input, output, console), 1);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(input), {}), " rest");
}

TEST(ResultFiles, LayoutsFollowTheDelimiterAndTheIdentifiers) {
    const std::tuple<bool, std::string, std::string> cases[] = {
        {true, "", ","}, {false, "dlm = tab;", "\t"}, {true, "dlm = \" \";", " "}, {false, "dlm = s;", " "}};
    for (const auto& [ids, dlm, D] : cases) {
        const TavrelRun run(withData(dlm + kAllFiles, ids), {"set.txt"});
        expectText(run.err, "[...]" + kIrpNote + "tavrel.exe: Note: 8 examinees' latetn ranks are written to "
                   "\"rank.csv\".\ntavrel.exe: Note: 8 examinees' rank membership profiles are written to \"rmp.csv\"."
                   "\ntavrel.exe: Note: Weighted observation ratio profile is written to \"worp.csv\".\ntavrel.exe: "
                   "Note: Unweighted observation ratio profile is written to \"uorp.csv\".\n");
        const std::string ranks = "#" + D + "#" + D + "#\n", id = ids ? "E#" + D : "";
        for (const char* name : {"irp.csv", "worp.csv", "uorp.csv"})
            EXPECT_EQ(shape(run.file(name)), "item" + D + ranks + times(4, "#" + D + ranks)) << name;
        EXPECT_EQ(shape(run.file("rank.csv")), (ids ? "id" + D + "rank\n" : "") + times(8, id + "#\n"));
        EXPECT_EQ(shape(run.file("rmp.csv")), (ids ? "id" + D + ranks : "") + times(8, id + ranks));
    }
}

TEST(ResultFiles, ItemsNotInUseAndASingleRank) {
    const TavrelRun excluded(withData("itemuse = .1; outfile = irp.csv; worpfile = worp.csv;"), {"set.txt"});
    EXPECT_EQ(shape(excluded.file("irp.csv")), "item,#,#,#\n#,*,*,*\n" + times(3, "#,#,#,#\n"));
    EXPECT_TRUE(excluded.file("worp.csv").starts_with("item,1,2,3\n1,0,0,0\n"));

    const TavrelRun single(withData("nranks = 1;" + kAllFiles), {"set.txt"});
    EXPECT_TRUE(single.file("irp.csv").starts_with("item,1\n1,"));
    EXPECT_EQ(single.file("rank.csv"), "id,rank\nE01,1\nE02,1\nE03,1\nE04,1\nE05,1\nE06,1\nE07,1\nE08,1\n");
}

// A falling profile fixed in every cell: estimation keeps it, orientation
// reverses it, and no examinee holds the middle rank.
TEST(ResultFiles, FixedFallingProfileIsOrientedAndAnEmptyRankGivesNaN) {
    for (const std::string method : {"ML", "GTM"}) {
        const TavrelRun run({{"set.txt", "infile = d.txt; nranks = 3; maxiter = 3; seed = 2; fixedfile = f.csv; "
                                         "method = " + method + ";" + kAllFiles},
                             {"d.txt", "0000\n1111\n0000\n1111\n1111\n"},
                             {"f.csv", "item,1,2,3\n1,0.9,0.5,0.1\n2,0.9,0.5,0.1\n3,0.9,0.5,0.1\n4,0.9,0.5,0.1\n"}},
                            {"set.txt"});
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.file("irp.csv"), "item,1,2,3\n1,0.1,0.5,0.9\n2,0.1,0.5,0.9\n3,0.1,0.5,0.9\n4,0.1,0.5,0.9\n");
        EXPECT_EQ(run.file("rank.csv"), "1\n3\n1\n3\n3\n");
        EXPECT_EQ(run.file("worp.csv"), "item,1,2,3\n1,1,1,1\n2,1,1,1\n3,1,1,1\n4,1,1,1\n");
        EXPECT_EQ(std::regex_replace(run.file("uorp.csv"), std::regex("-nan"), "nan"),
                  "item,1,2,3\n1,1,nan,1\n2,1,nan,1\n3,1,nan,1\n4,1,nan,1\n");
    }
}

TEST(ResultFiles, ProfileReadsBackAsFixedProfile) {
    const std::string settings = "dlm = tab; increase = yes;";
    const TavrelRun first(withData(settings + "itemuse = 1.11; outfile = irp.txt;"), {"set.txt"});
    auto files = withData(settings + "fixedfile = irp.txt; outfile = again.txt;");
    files["irp.txt"] = first.file("irp.txt");
    const TavrelRun second(files, {"set.txt"});
    EXPECT_EQ(second.err.find("Warning"), std::string::npos) << second.err;
    // Every cell is fixed but those of the item not in use in the first run.
    const std::string written = first.file("irp.txt"), readBack = second.file("again.txt");
    EXPECT_EQ(shape(written), "item\t#\t#\t#\n#\t#\t#\t#\n#\t*\t*\t*\n" + times(2, "#\t#\t#\t#\n"));
    EXPECT_EQ(shape(readBack), "item\t#\t#\t#\n" + times(4, "#\t#\t#\t#\n"));
    EXPECT_EQ(std::regex_replace(readBack, std::regex("\n2\t[^\n]*"), "\n2\t*\t*\t*"), written);
}

TEST(ResultFiles, AFileThatCannotBeCreatedStopsTheLaterWriters) {
    for (const std::string name : {"nodir/rank.csv", ""}) {
        const TavrelRun run(withData("outfile = irp.csv; rankfile = \"" + name + "\"; rmpfile = r.csv;"), {"set.txt"});
        EXPECT_EQ(run.status, 1);
        expectText(run.err, "[...]\n" + kIrpNote + "tavrel.exe: Error: File \"" + name + "\" cannot be found.\n");
        EXPECT_EQ(shape(run.file("irp.csv")), "item,#,#,#\n" + times(4, "#,#,#,#\n"));
        EXPECT_FALSE(testing::fs::exists(run.dir.path / "r.csv"));
    }
    const TavrelRun same(withData("rankfile = same.csv; outfile = same.csv;"), {"set.txt"});
    EXPECT_EQ(shape(same.file("same.csv")), "id,rank\n" + times(8, "E#,#\n"));
}

// Column j of every line of a delimited file, header first ("" past the end of a line).
std::vector<std::string> column(const std::string& text, std::size_t j, char D) {
    std::vector<std::string> values;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::string field;
        for (std::size_t f = 0; f <= j; ++f)
            if (!std::getline(fields, field, D)) field.clear();
        values.push_back(field);
    }
    return values;
}

TEST(StatisticsFiles, WrittenAfterTheFiveInOrderWithTheDelimiter) {
    const TavrelRun run(withData("dlm = tab;" + kAllFiles + kStatisticsFiles + "itemuse = 1.11;"), {"set.txt"});
    EXPECT_EQ(run.status, 0) << run.err;
    expectText(run.err, "[...]Unweighted observation ratio profile is written to \"uorp.csv\".\n"
                        "tavrel.exe: Note: Test statistics are written to \"test.csv\".\n"
                        "tavrel.exe: Note: Item statistics are written to \"item.csv\".\n"
                        "tavrel.exe: Note: Rank statistics are written to \"trp.csv\".\n"
                        "tavrel.exe: Note: Examinee statistics are written to \"examinee.csv\".\n");
    EXPECT_EQ(column(run.file("test.csv"), 0, '\t').size(), 32u);
    EXPECT_TRUE(run.file("test.csv").starts_with("statistic\tvalue\nitems\t3\nexaminees\t8\nranks\t3\nmethod\tml\n"
                                                 "passes\t5\nconverged\tNA\n"));
    EXPECT_EQ(shape(run.file("trp.csv")), "rank\ttest_reference_profile\tlatent_rank_distribution\t"
                                          "rank_membership_distribution\n" + times(3, "#\t#\t#\t#\n"));
    // The item out of use: NA after its number, in all 26 columns.
    const std::string item = run.file("item.csv");
    EXPECT_NE(item.find("\n2" + times(26, "\tNA") + "\n"), std::string::npos) << item;
    EXPECT_EQ(column(item, 0, '\t'), (std::vector<std::string>{"item", "1", "2", "3", "4"}));
    // Examinee E07 ("0.10") has 3 responses to the items in use; every line has K + 8 fields.
    const std::string examinee = run.file("examinee.csv");
    EXPECT_EQ(column(examinee, 0, '\t')[7], "E07");
    EXPECT_EQ(column(examinee, 1, '\t')[7], "3");
    EXPECT_EQ(column(examinee, 10, '\t')[0], "rank_down_odds");
    EXPECT_EQ(column(examinee, 11, '\t'), std::vector<std::string>(9, ""));
}

TEST(StatisticsFiles, TheDistanceMethodUsesTheLikelihoodsMemberships) {
    // Every cell fixed and no pass: the same profile under 'ls' and 'ml'.
    auto files = withData("maxiter = 0; fixedfile = f.csv; rankfile = rank.csv; rmpfile = rmp.csv;" +
                          kStatisticsFiles);
    files["f.csv"] = "item,1,2,3\n1,0.1,0.5,0.9\n2,0.2,0.4,0.8\n3,0.3,0.5,0.6\n4,0.1,0.3,0.9\n";
    const TavrelRun likelihood(files, {"set.txt"});
    files["set.txt"] += "method = ls;";
    const TavrelRun distance(files, {"set.txt"});
    ASSERT_EQ(distance.status, 0) << distance.err;
    const std::string examinee = distance.file("examinee.csv"), rmp = likelihood.file("rmp.csv");
    for (std::size_t k = 1; k <= 3; ++k) {
        std::vector<std::string> rows = column(examinee, 4 + k, ',');
        rows.front() = std::to_string(k);
        EXPECT_EQ(rows, column(rmp, k, ',')) << k;
    }
    // Rank and odds around the distance's rank, which the rank file holds.
    EXPECT_EQ(column(distance.file("examinee.csv"), 8, ','), column(distance.file("rank.csv"), 1, ','));
    EXPECT_NE(distance.file("rmp.csv"), rmp);
}

TEST(StatisticsFiles, IdentifiersHoldingTheDelimiterAreQuoted) {
    const TavrelRun run({{"set.txt", "infile = d.txt; idbegin = 1; idlength = 4; databegin = 6; nranks = 2; seed = 3;"
                                     "maxiter = 2; dlm = space; rankfile = rank.txt; examineefile = e.txt;"},
                         {"d.txt", "A 01 0110\nA\"02 1101\nA03  1111\n"}},
                        {"set.txt"});
    EXPECT_EQ(shape(run.file("rank.txt")), "id rank\nA # #\nA\"# #\nA#  #\n");  // as stored, unquoted
    const std::vector<std::string> lines = column(run.file("e.txt"), 0, '\n');
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_TRUE(lines[1].starts_with("\"A 01\" 4 2 "));
    EXPECT_TRUE(lines[2].starts_with("\"A\"\"02\" 4 3 "));
    EXPECT_TRUE(lines[3].starts_with("\"A03 \" 4 4 "));
}

TEST(StatisticsFiles, AFileThatCannotBeWrittenStopsTheLaterWriters) {
    const TavrelRun run(withData("outfile = irp.csv; testfile = test.csv; itemfile = \"\"; trpfile = trp.csv;"),
                        {"set.txt"});
    EXPECT_EQ(run.status, 1);
    expectText(run.err, "[...]\n" + kIrpNote + "tavrel.exe: Note: Test statistics are written to \"test.csv\".\n"
                        "tavrel.exe: Error: File \"\" cannot be found.\n");
    EXPECT_TRUE(run.file("test.csv").ends_with("weakly_ordinal,yes\n"));
    EXPECT_FALSE(testing::fs::exists(run.dir.path / "trp.csv"));
}

TEST(Report, WrittenLastWithTheRunParametersAndTheSameBytesEveryRun) {
    const TavrelRun run(withData(kStatisticsFiles + "reportfile = report.html; threads = 4;"), {"set.txt"});
    EXPECT_EQ(run.status, 0) << run.err;
    expectText(run.err, "[...]tavrel.exe: Note: Examinee statistics are written to \"examinee.csv\".\n"
                        "tavrel.exe: Note: Report is written to \"report.html\".\n");
    const std::string page = run.file("report.html");
    EXPECT_TRUE(page.starts_with("<!DOCTYPE html>") && page.ends_with("</html>\n"));
    // Keys as given in key-table order, then the defaults; phi only for the batch method.
    const std::size_t given = page.find("<li><code>infile</code> = <code class=\"value\">data.txt</code></li>"),
                      ranks = page.find("<li><code>nranks</code> = <code class=\"value\">3</code></li>"),
                      byDefault = page.find("<li class=\"default\"><code>alpha1</code> = <code class=\"value\">1</code> "
                                            "<span class=\"origin\">default</span></li>");
    EXPECT_TRUE(given < ranks && ranks < byDefault && byDefault != std::string::npos) << page;
    EXPECT_EQ(page.find("<code>phi</code>"), std::string::npos);
    EXPECT_EQ(page.find("threads"), std::string::npos);
    EXPECT_NE(page.find("<footer>\n<p>tavrel 1.0.0 "), std::string::npos);

    // The batch method uses no clock: two runs write the same page.
    const auto batch = withData("method = batch; reportfile = r.html;");
    const TavrelRun first(batch, {"set.txt"}), second(batch, {"set.txt"});
    EXPECT_EQ(first.file("r.html"), second.file("r.html"));
    EXPECT_NE(first.file("r.html").find("<li class=\"default\"><code>phi</code> = <code class=\"value\">0.9</code> "
                                        "<span class=\"origin\">default</span> <span class=\"origin\">(for K = 3)"),
              std::string::npos);
    auto clock = withData("reportfile = r.html;");
    clock["set.txt"] = std::regex_replace(clock["set.txt"], std::regex("seed = 5;"), "seed = -2;");
    // A clock-seeded sequential run shows the seed the clock gave, so that it can be repeated.
    EXPECT_TRUE(std::regex_search(TavrelRun(clock, {"set.txt"}).file("r.html"),
                                  std::regex("<code>seed</code> = <code class=\"value\">[1-9][0-9]*</code> <span "
                                             "class=\"origin\">\\(0 or less was given: the examinee order was seeded "
                                             "from the clock\\)")));
}

TEST(Report, TheDataFileNameAndSettingValuesShowAsText) {
    const std::string hostile = "<img src=x onerror=alert(1)>.txt";
    const TavrelRun run({{"set.txt", "infile = \"" + hostile + "\"; nranks = 2; seed = 1; maxiter = 2;"
                                     "outfile = {o<b>&\"'.csv}; reportfile = report.html;"},
                         {hostile, "0101\n1100\n1111\n0000\n"}},
                        {"set.txt"});
    EXPECT_EQ(run.status, 0) << run.err;
    const std::string page = run.file("report.html");
    EXPECT_EQ(page.find("<img"), std::string::npos);
    EXPECT_NE(page.find("<h1>&lt;img src=x onerror=alert(1)&gt;.txt</h1>"), std::string::npos);
    EXPECT_NE(page.find("<code class=\"value\">o&lt;b&gt;&amp;&quot;&#39;.csv</code>"), std::string::npos);
}

TEST(Report, AFileThatCannotBeWrittenIsTheFileFailure) {
    const TavrelRun run(withData("testfile = test.csv; reportfile = nodir/report.html;"), {"set.txt"});
    EXPECT_EQ(run.status, 1);
    expectText(run.err, "[...]tavrel.exe: Note: Test statistics are written to \"test.csv\".\n"
                        "tavrel.exe: Error: File \"nodir/report.html\" cannot be found.\n");
}

// The demo data as a data frame export: a header of item names, quoted ids,
// answers as numbers or words, missing ones as NA or empty. Line 5 holds an
// illegal character and line 7 ends early in both forms.
std::pair<std::string, std::string> demoAsFixedAndCsv() {
    std::ifstream demo(std::string(TAVREL_SOURCE_DIR) + "/examples/demo_data.txt");
    std::string fixed, csv = "id";
    for (int j = 1; j <= 30; ++j) csv.append(",q").append(std::to_string(j));
    csv += "\r\n";
    std::string line;
    for (int n = 1; n <= 300 && std::getline(demo, line); ++n) {
        if (n == 5) line[12] = 'x';
        if (n == 7) line.resize(30);
        fixed += line + "\n";
        csv.append(1, '"').append(line, 0, 8).append(1, '"');
        for (std::size_t c = 9; c < line.size(); ++c) {
            static const char* const words[2][3] = {{"0", "1", "NA"}, {"false", "TRUE", ""}};
            const char r = line[c];
            csv += ",";
            csv += r == 'x' ? "x" : words[c % 2][r == '0' ? 0 : r == '1' ? 1 : 2];
        }
        csv += "\r\n";
    }
    return {fixed, csv};
}

std::string withoutWarnings(const std::string& console) {
    return std::regex_replace(console, std::regex("tavrel.exe: Warning: [^\n]*\n"), "");
}

TEST(DelimitedData, SameResultsAsTheSameDataInFixedColumns) {
    const auto [fixed, csv] = demoAsFixedAndCsv();
    for (const std::string method : {"ml", "gtm"}) {
        const std::string run = "nranks = 4; seed = 9; maxiter = 20; method = " + method + ";\n" + kAllFiles;
        const TavrelRun fromFixed({{"set.txt", "infile = d.txt; idbegin = 1;" + run}, {"d.txt", fixed}}, {"set.txt"});
        const TavrelRun fromCsv({{"set.txt", "infile = d.csv; dataformat = csv; idbegin = 1;" + run}, {"d.csv", csv}},
                                {"set.txt"});
        EXPECT_EQ(fromCsv.status, 0) << fromCsv.err;
        EXPECT_NE(fromCsv.err.find("Illeagal value \"x\" is found at 6 , 5 in \"d.csv\""), std::string::npos);
        EXPECT_NE(fromCsv.err.find("Line length is too short. (d.csv , 8)"), std::string::npos);
        EXPECT_EQ(withoutWarnings(fromCsv.err), withoutWarnings(fromFixed.err));
        for (const char* name : {"irp.csv", "rank.csv", "rmp.csv", "worp.csv", "uorp.csv"})
            EXPECT_EQ(fromCsv.file(name), fromFixed.file(name)) << method << " " << name;
    }
}

// Data in another encoding give the console text and every file of their
// UTF-8 twin, byte for byte: ids and names in UTF-8.
TEST(DelimitedData, EncodedDataGiveTheFilesOfTheirUtf8Twin) {
    using testing::encoded;
    const auto [fixed, csv] = demoAsFixedAndCsv();
    const auto renamed = [&](const std::string& text, const char* id, const char* item) {
        return std::regex_replace(std::regex_replace(text, std::regex("S0"), id), std::regex(",q"), item);
    };
    const std::string japanese = renamed(csv, "生徒", ",問"), european = renamed(csv, "Élève ", ",Frage ä");
    const std::string run = "nranks = 4; seed = 9; maxiter = 20; reportfile = r.html;\n" + kAllFiles + kStatisticsFiles;
    const std::string csvRun = "infile = d.csv; dataformat = csv; idbegin = 1;" + run;
    const std::tuple<std::string, std::string, std::string> cases[] = {
        // settings, the data, their UTF-8 twin
        {csvRun + "encoding = cp932;", encoded(japanese, "CP932"), japanese},
        {csvRun, "\xFF\xFE" + encoded(japanese, "UTF-16LE"), japanese},
        {csvRun, "\xFE\xFF" + encoded(japanese, "UTF-16BE"), japanese},
        {csvRun + "encoding = cp1252;", encoded(european, "CP1252"), european},
        // Fixed columns count bytes: the ids take 10 bytes in Shift-JIS, 12 in UTF-8.
        {"infile = d.csv; idbegin = 1;" + run + "encoding = cp932;", encoded(renamed(fixed, "生徒", ""), "CP932"),
         renamed(fixed, "生徒", "")},
    };
    // The twin's settings and report page lack the encoding; warnings name
    // columns of bytes.
    const std::regex key("encoding = [^;]*;"), parameter("<li><code>encoding</code>[^\n]*\n"), at(" , \\d+ in");
    for (const auto& [settings, data, twin] : cases) {
        const TavrelRun read({{"set.txt", settings}, {"d.csv", data}}, {"set.txt"});
        const TavrelRun utf8({{"set.txt", std::regex_replace(settings, key, "")}, {"d.csv", twin}}, {"set.txt"});
        EXPECT_EQ(read.status, 0) << read.err;
        EXPECT_EQ(std::regex_replace(read.err, at, " in"), std::regex_replace(utf8.err, at, " in"));
        for (const char* name : {"irp.csv", "rank.csv", "rmp.csv", "worp.csv", "uorp.csv", "test.csv", "item.csv",
                                 "trp.csv", "examinee.csv"})
            EXPECT_EQ(read.file(name), utf8.file(name)) << settings << name;
        EXPECT_EQ(std::regex_replace(read.file("r.html"), parameter, ""), utf8.file("r.html")) << settings;
    }
}

TEST(DelimitedData, IdsAreQuotedWhereTheResultDelimiterNeedsIt) {
    const std::string data = "id,q1,q2\n\"A,1\",1,0\n\"B\"\"2\",0,1\nC 3,1,1\n";
    const std::tuple<std::string, std::string, std::string> cases[] = {
        {"", "id,rank\n\"A,#\",#\n\"B\"\"#\",#\nC #,#\n", "id,#,#\n\"A,#\",#,#\n\"B\"\"#\",#,#\nC #,#,#\n"},
        {"dlm = space;", "id rank\nA,# #\n\"B\"\"#\" #\n\"C #\" #\n", "id # #\nA,# # #\n\"B\"\"#\" # #\n\"C #\" # #\n"},
    };
    for (const auto& [dlm, ranks, memberships] : cases) {
        const TavrelRun run({{"set.txt", "infile = d.csv; dataformat = csv; idbegin = 1; nranks = 2; seed = 1;" + dlm +
                                             "rankfile = rank.csv; rmpfile = rmp.csv;"},
                             {"d.csv", data}},
                            {"set.txt"});
        EXPECT_EQ(shape(run.file("rank.csv")), ranks);
        EXPECT_EQ(shape(run.file("rmp.csv")), memberships);
    }
}

TEST(DelimitedData, ItemNamesNameTheItemsOfTheStatisticsAndTheReport) {
    const TavrelRun run({{"set.txt", "infile = d.csv; dataformat = csv; idbegin = 1; nranks = 2; seed = 1;"
                                     "outfile = irp.csv; itemfile = item.csv; reportfile = r.html;"},
                         {"d.csv", "id,first,\"a,b\",<b>\nE1,1,0,1\nE2,0,1,1\nE3,1,1,0\n"}},
                        {"set.txt"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(column(run.file("irp.csv"), 0, ','), (std::vector<std::string>{"item", "1", "2", "3"}));
    const std::string item = run.file("item.csv");
    EXPECT_TRUE(item.find("\nfirst,3,") != std::string::npos && item.find("\n\"a,b\",3,") != std::string::npos &&
                item.find("\n<b>,3,") != std::string::npos)
        << item;
    const std::string page = run.file("r.html");
    EXPECT_EQ(page.find("<b>"), std::string::npos);
    EXPECT_NE(page.find("&lt;b&gt;"), std::string::npos);
}

}  // namespace
}  // namespace tavrel
