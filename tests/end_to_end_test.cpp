// Runs of the built binary, started as a user starts it.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "driver/run.hpp"
#include "tavrel_process.hpp"

namespace tavrel {
namespace {

using testing::linesOf;
using testing::TavrelRun;

const std::string kIdData = "E01 0000\nE02 0001\nE03 0011\nE04 0111\nE05 1111\nE06 1110\nE07 0.10\nE08 1101\n";
const std::string kData = "0000\n0001\n0011\n0111\n1111\n1110\n0.10\n1101\n";
const std::string kAllFiles =
    "outfile = irp.csv; rankfile = rank.csv; rmpfile = rmp.csv; worpfile = worp.csv; uorpfile = uorp.csv;\n";
const std::string kAllNotes =
    "tavrel.exe: Note: Item reference profile is written to \"irp.csv\".\n"
    "tavrel.exe: Note: 8 examinees' latetn ranks are written to \"rank.csv\".\n"
    "tavrel.exe: Note: 8 examinees' rank membership profiles are written to \"rmp.csv\".\n"
    "tavrel.exe: Note: Weighted observation ratio profile is written to \"worp.csv\".\n"
    "tavrel.exe: Note: Unweighted observation ratio profile is written to \"uorp.csv\".\n";
const std::string kUsage = "Usage> tavrel.exe setting_file\nIs there a setting file? [y/n]: ";
const std::string kPause = "Push any key and return key. ";

std::map<std::string, std::string> withData(const std::string& settings, bool ids = true) {
    return {{"set.txt", "infile = data.txt; nranks = 3; seed = 5; maxiter = 5;\n" + std::string(ids ? "idbegin = 1;\n" : "") +
                            settings},
            {"data.txt", ids ? kIdData : kData}};
}

// The whole text must match; "[...]" stands for any text in between.
void expectText(const std::string& text, const std::string& pattern) {
    const std::size_t gap = pattern.find("[...]");
    if (gap == std::string::npos) {
        EXPECT_EQ(text, pattern);
        return;
    }
    const std::string head = pattern.substr(0, gap), tail = pattern.substr(gap + 5);
    EXPECT_TRUE(text.size() >= head.size() + tail.size() && text.starts_with(head) && text.ends_with(tail))
        << text << "\ndoes not match\n" << pattern;
}

TEST(EndToEnd, StartModesMessagesAndExitStatus) {
    struct Case {
        std::vector<std::string> args;
        std::string input;
        std::map<std::string, std::string> files;
        int status;
        std::string err;
    };
    const std::string noData = "tavrel.exe: Error: File \"nodata.txt\" cannot be found.\n";
    const std::string noRanks =
        "tavrel.exe: Note: Number of latent ranks is 0.\ntavrel.exe: Error: Number of latent ranks must be 1 or more.\n";
    const std::string counts = "tavrel.exe: Note: Number of examinees is 8.\ntavrel.exe: Note: Number of items is "
                               "4.\ntavrel.exe: Note: Number of latent ranks is 3.\nNow calculating [...]";
    const std::string interactive = kUsage + "----------- interactive mode -----------\nAnswer the following 5 questions.\n"
        "data file name: start column of response: number of items: number of latent ranks: "
        "file name of item reference profile: ";
    const Case cases[] = {
        {{"set.txt", "ignored"}, "y x", {{"set.txt", "infile = nodata.txt;"}}, 1, noData},
        {{}, "y set.txt\n", {{"set.txt", "infile = nodata.txt;"}}, 1, kUsage + "Input name of the setting file: " + noData + kPause},
        {{"missing.txt"}, "", {}, 1, "tavrel.exe: Error: File \"missing.txt\" cannot be found.\n"},
        {{"sub"}, "", {{"sub/x", ""}}, 1, "tavrel.exe: Error: File \"sub\" cannot be found.\n"},
        {{"k0.txt"}, "", {{"k0.txt", "nranks = abc;"}}, 1, noRanks},
        {{}, "Yes k0.txt x", {{"k0.txt", "nranks = abc;"}}, 1, kUsage + "Input name of the setting file: " + noRanks + kPause},
        {{}, "", {}, 1, interactive + "tavrel.exe: Error: File \"\" cannot be found.\n" + kPause},
        {{"set.txt"}, "", withData(""), 0, counts + "\n"},
        {{}, "y\nset.txt\nx\n", withData(""), 0, kUsage + "Input name of the setting file: " + counts + "\n" + kPause},
        {{}, "no\ndata.txt\n5 4 3\nirp.csv\nx\n", withData(""), 0, interactive + counts +
             "\ntavrel.exe: Note: Item reference profile is written to \"irp.csv\".\n" + kPause},
    };
    for (const Case& c : cases) {
        const TavrelRun run(c.files, c.args, c.input);
        EXPECT_EQ(run.status, c.status) << run.err;
        EXPECT_EQ(run.out, "");
        expectText(run.err, c.err);
    }
}

TEST(EndToEnd, PauseWaitsForAWordAfterBlankLines) {
    std::istringstream input("y\nno-such-settings.txt\n\n \n\t\nx rest");
    std::ostringstream console;
    EXPECT_EQ(runProgram({}, input, console), 1);
    expectText(console.str(), "[...]\"no-such-settings.txt\" cannot be found.\n" + kPause);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(input), {}), " rest");
}

TEST(ResultFiles, LayoutsFollowTheDelimiterAndTheIdentifiers) {
    const std::tuple<bool, std::string, char> cases[] = {
        {true, "", ','}, {false, "dlm = tab;", '\t'}, {true, "dlm = \" \";", ' '}, {false, "dlm = s;", ' '}};
    for (const auto& [ids, dlm, d] : cases) {
        const std::string D(1, d), ranks = "1" + D + "2" + D + "3";
        const TavrelRun run(withData(dlm + kAllFiles, ids), {"set.txt"});
        EXPECT_EQ(run.status, 0);
        expectText(run.err, "[...]" + kAllNotes);
        for (const char* name : {"irp.csv", "worp.csv", "uorp.csv"}) {
            const auto lines = linesOf(run.file(name));
            ASSERT_EQ(lines.size(), 5u) << name;
            EXPECT_EQ(lines[0], "item" + D + ranks);
            for (std::size_t j = 1; j < 5; ++j) {
                EXPECT_TRUE(lines[j].starts_with(std::to_string(j) + D)) << lines[j];
                EXPECT_EQ(std::count(lines[j].begin(), lines[j].end(), d), 3) << lines[j];
            }
        }
        const auto latent = linesOf(run.file("rank.csv")), membership = linesOf(run.file("rmp.csv"));
        ASSERT_EQ(latent.size(), ids ? 9u : 8u);
        ASSERT_EQ(membership.size(), ids ? 9u : 8u);
        if (ids) {
            EXPECT_EQ(latent[0], "id" + D + "rank");
            EXPECT_EQ(membership[0], "id" + D + ranks);
        }
        for (std::size_t i = 0; i < 8; ++i) {
            const std::string id = ids ? "E0" + std::to_string(i + 1) + D : "";
            const std::string& rank = latent[i + ids];
            EXPECT_TRUE(rank == id + "1" || rank == id + "2" || rank == id + "3") << rank;
            const std::string& row = membership[i + ids];
            EXPECT_TRUE(row.starts_with(id) && row.find_first_of("0123456789", id.size()) == id.size()) << row;
            EXPECT_EQ(std::count(row.begin(), row.end(), d), ids ? 3 : 2) << row;
        }
    }
}

TEST(ResultFiles, ItemsNotInUseAndASingleRank) {
    const TavrelRun excluded(withData("itemuse = .1; outfile = irp.csv; worpfile = worp.csv;"), {"set.txt"});
    EXPECT_NE(excluded.err.find("tavrel.exe: Note: 3 out of 4 items are used.\n"), std::string::npos);
    const auto profile = linesOf(excluded.file("irp.csv"));
    ASSERT_EQ(profile.size(), 5u);
    EXPECT_EQ(profile[1], "1,*,*,*");
    for (std::size_t j = 2; j < 5; ++j) EXPECT_EQ(profile[j].find('*'), std::string::npos) << profile[j];
    EXPECT_EQ(linesOf(excluded.file("worp.csv"))[1], "1,0,0,0");

    const TavrelRun single(withData("nranks = 1;" + kAllFiles), {"set.txt"});
    EXPECT_EQ(single.status, 0);
    EXPECT_EQ(linesOf(single.file("irp.csv"))[0], "item,1");
    EXPECT_EQ(single.file("rank.csv"), "id,rank\nE01,1\nE02,1\nE03,1\nE04,1\nE05,1\nE06,1\nE07,1\nE08,1\n");
    EXPECT_EQ(single.file("rmp.csv"), "id,1\nE01,1\nE02,1\nE03,1\nE04,1\nE05,1\nE06,1\nE07,1\nE08,1\n");
}

// A falling profile fixed in every cell: estimation keeps it, orientation
// reverses it, and no examinee holds the middle rank.
TEST(ResultFiles, FixedFallingProfileIsOrientedAndAnEmptyRankGivesNaN) {
    const std::string fixed = "item,1,2,3\n1,0.9,0.5,0.1\n2,0.9,0.5,0.1\n3,0.9,0.5,0.1\n4,0.9,0.5,0.1\n";
    for (const char* method : {"ML", "GTM"}) {
        const TavrelRun run({{"set.txt", "infile = d.txt; nranks = 3; maxiter = 3; seed = 2; fixedfile = f.csv; method = " +
                                             std::string(method) + ";" + kAllFiles},
                             {"d.txt", "0000\n1111\n0000\n1111\n1111\n"},
                             {"f.csv", fixed}},
                            {"set.txt"});
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.file("irp.csv"), "item,1,2,3\n1,0.1,0.5,0.9\n2,0.1,0.5,0.9\n3,0.1,0.5,0.9\n4,0.1,0.5,0.9\n");
        EXPECT_EQ(run.file("rank.csv"), "1\n3\n1\n3\n3\n");
        EXPECT_EQ(run.file("worp.csv"), "item,1,2,3\n1,1,1,1\n2,1,1,1\n3,1,1,1\n4,1,1,1\n");
        std::string ratios = run.file("uorp.csv");
        for (std::size_t at; (at = ratios.find("-nan")) != std::string::npos;) ratios.erase(at, 1);
        EXPECT_EQ(ratios, "item,1,2,3\n1,1,nan,1\n2,1,nan,1\n3,1,nan,1\n4,1,nan,1\n");
    }
}

TEST(ResultFiles, ProfileReadsBackAsFixedProfile) {
    const std::string settings = "dlm = tab; increase = yes;";
    const TavrelRun first(withData(settings + "itemuse = 1.11; outfile = irp.txt;"), {"set.txt"});
    auto files = withData(settings + "fixedfile = irp.txt; outfile = again.txt;");
    files["irp.txt"] = first.file("irp.txt");
    const TavrelRun second(files, {"set.txt"});
    EXPECT_EQ(second.status, 0);
    EXPECT_EQ(second.err.find("Warning"), std::string::npos) << second.err;
    const auto written = linesOf(first.file("irp.txt")), readBack = linesOf(second.file("again.txt"));
    ASSERT_EQ(written.size(), 5u);
    ASSERT_EQ(readBack.size(), 5u);
    EXPECT_EQ(written[2], "2\t*\t*\t*");
    EXPECT_EQ(readBack[2].find('*'), std::string::npos);
    for (std::size_t j : {0, 1, 3, 4}) EXPECT_EQ(readBack[j], written[j]);
}

TEST(ResultFiles, AFileThatCannotBeCreatedStopsTheLaterWriters) {
    for (const std::string name : {"nodir/rank.csv", ""}) {
        const TavrelRun run(withData("outfile = irp.csv; rankfile = \"" + name + "\"; rmpfile = rmp.csv;"), {"set.txt"});
        EXPECT_EQ(run.status, 1);
        expectText(run.err, "[...]\ntavrel.exe: Note: Item reference profile is written to \"irp.csv\".\n"
                            "tavrel.exe: Error: File \"" + name + "\" cannot be found.\n");
        EXPECT_EQ(linesOf(run.file("irp.csv")).size(), 5u);
        EXPECT_FALSE(run.dir.exists("rmp.csv"));
    }
    const TavrelRun same(withData("rankfile = same.csv; outfile = same.csv;"), {"set.txt"});
    EXPECT_EQ(same.status, 0);
    EXPECT_TRUE(same.file("same.csv").starts_with("id,rank\nE01,"));
}

}  // namespace
}  // namespace tavrel
