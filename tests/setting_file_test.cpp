#include "settings/setting_file.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

#include "common/failures.hpp"
#include "driver/run_parameters.hpp"
#include "settings/value_interpreters.hpp"
#include "tavrel_process.hpp"

namespace tavrel {
namespace {

const std::string kUnknown = "tavrel.exe: Warning: Parameter \"";
const std::string kRetired = "tavrel.exe: Warning: Sorry, parameter \"";

TEST(SettingScanner, SplitsLinesIntoPairsAndWarnsAboutOtherKeys) {
    struct Case {
        std::string line;
        SettingMap settings;
        std::string console;
    };
    const Case cases[] = {
        {"", {}, ""},
        {"# nranks = 5", {}, ""},
        {"*nranks = 5", {}, ""},
        {"%nranks = 5", {}, ""},
        {" \t", {}, kUnknown + "\" is unknown.\n"},
        {"  # old value", {}, kUnknown + "#\" is unknown.\n" + kUnknown + "value\" is unknown.\n"},
        {"nranks = 5 # five ranks", {{"nranks", "5"}}, ""},
        {"nranks = 5#five", {{"nranks", "5#five"}}, ""},
        {"nranks = 5; # five", {{"nranks", "5"}}, ""},
        {"NRanks=5;Method=ML;", {{"nranks", "5"}, {"method", "ML"}}, ""},
        {"nrank = 3; nranks = 4", {{"nranks", "4"}}, ""},
        {"maxiter = 80; iter = 50", {{"maxiter", "50"}}, ""},
        {"nitem 4 datalength 6 nranks", {{"nitems", "6"}, {"nranks", ""}}, ""},
        {"infile = \"my data.txt\";", {{"infile", "my data.txt"}}, ""},
        {"infile = my data.txt;", {{"infile", "my"}}, kUnknown + "data.txt;\" is unknown.\n"},
        {"prior = {0.2, 0.3; 0.5} dlm = \" \"", {{"prior", "0.2, 0.3; 0.5"}, {"dlm", " "}}, ""},
        {"outfile = \"irp.txt", {{"outfile", "irp.txt"}}, ""},
        {"phi = {1/2", {{"phi", "1/2"}}, ""},
        {"nranks =", {{"nranks", ""}}, ""},
        {"= 5", {}, kUnknown + "\" is unknown.\n"},
        {"Sigma0 = 1; crit 2; Foo=1", {}, kRetired + "sigma0\" is not supported now.\n" + kRetired +
                                              "crit\" is not supported now.\n" + kUnknown + "foo\" is unknown.\n"},
        {"nranks=5\xFF nitems=3", {{"nranks", "5"}}, ""},
        {"infile = \"a b\xFF c\" nranks=2", {{"infile", "a b"}}, ""},
        {"seed\xFF=4", {{"seed", ""}}, ""},
    };
    for (const Case& c : cases) {
        SettingMap settings;
        std::ostringstream console;
        scanSettingLine(c.line, settings, console);
        EXPECT_EQ(settings, c.settings) << c.line;
        EXPECT_EQ(console.str(), c.console) << c.line;
    }
}

TEST(SettingScanner, ReadsEveryLineOfTheFile) {
    const testing::TempDir dir;
    const std::string file = dir.write("s.txt", "nranks = 3;\r\n# note\r\nmethod = em;\r\r\nseed = 7");
    SettingMap settings{{"nranks", "9"}, {"phi", "1"}};
    std::ostringstream console;
    readSettingFile(file, settings, console);
    EXPECT_EQ(settings, (SettingMap{{"nranks", "3"}, {"phi", "1"}, {"method", "em"}, {"seed", "7"}}));
    EXPECT_EQ(console.str(), "");

    // A missing file and a folder cannot be opened; the map stays untouched.
    for (const std::string& name : {dir.path().string() + "/none.txt", dir.path().string()}) {
        try {
            readSettingFile(name, settings, console);
            ADD_FAILURE() << name;
        } catch (const FileFailure& failure) {
            EXPECT_EQ(failure.fileName(), name);
        }
    }
    EXPECT_EQ(settings.size(), 4u);
}

TEST(ValueInterpreters, WordTablesAndFallbacks) {
    const std::pair<const char*, char> methods[] = {
        {"ED2", 'L'}, {"euclid", 'L'}, {"Euclidean", 'L'}, {"e", 'L'}, {"distance", 'L'}, {"D", 'L'}, {"LS", 'L'},
        {"ML", 'M'}, {"Likelihood", 'M'}, {"l", 'M'}, {"L", 'M'}, {"map", 'B'}, {"Bayes", 'B'}, {"BAYESIAN", 'B'},
        {"gtm", 'G'}, {"Batch", 'G'}, {"EM", 'G'}, {"M", 'M'}, {"B", 'M'}, {"G", 'M'}, {"euclidian", 'M'},
        {"", 'M'}, {" em", 'M'}};
    for (const auto& [word, code] : methods) EXPECT_EQ(interpretMethod(word), code) << word;

    for (const char* word : {"TRUE", "t", "Yes", "T", "1"}) EXPECT_TRUE(interpretBoolean(word)) << word;
    for (const char* word : {"on", "y", "2", "", "false", "no", "0", "true "}) EXPECT_FALSE(interpretBoolean(word)) << word;

    const std::pair<const char*, char> delimiters[] = {
        {",", ','}, {"Comma", ','}, {"c", ','}, {"\t", '\t'}, {"Tab", '\t'}, {"T", '\t'}, {" ", ' '},
        {"SPACE", ' '}, {"S", ' '}, {";", ','}, {"|", ','}, {"", ','}, {"  ", ','}, {" tab", ','}};
    for (const auto& [word, dlm] : delimiters) EXPECT_EQ(interpretDelimiter(word), dlm) << word;
}

TEST(ValueInterpreters, FractionsAndNumbers) {
    const std::pair<const char*, double> cases[] = {
        {"1/3", 1.0 / 3.0}, {"4/5", 0.8}, {"0.8", 0.8}, {"2/0", 2.0}, {"2/-0", 2.0}, {"-1/2", -0.5},
        {"3/4/5", 0.75}, {"1e-1/2", 0.05}, {"/2", 0.0}, {"abc", 0.0}, {"", 0.0}, {"1 / 3", 1.0},
        {" \t1/4 x", 0.25}, {"0x10", 0.0}, {"1/4\xFF" "2", 0.25}, {"3\xFF/4", 3.0}};
    for (const auto& [text, value] : cases) EXPECT_EQ(interpretFraction(text), value) << text;
}

TEST(RunParameters, DefaultsWithoutKeys) {
    std::ostringstream console;
    const RunParameters p = resolveRunParameters({}, console);
    EXPECT_EQ(console.str(), "tavrel.exe: Note: Number of latent ranks is 10.\n");
    EXPECT_EQ(p.nranks, 10);
    EXPECT_EQ(p.schedule.maxiter, 100);
    EXPECT_EQ(p.schedule.alpha1, 1.0);
    EXPECT_EQ(p.schedule.alphat, 0.1);
    EXPECT_EQ(p.schedule.sigma1, 1.0);
    EXPECT_EQ(p.schedule.sigmat, 0.12);
    EXPECT_EQ(p.seed, 0);
    EXPECT_EQ(p.diffcrit, 0.0001);
    EXPECT_EQ(p.method, 'M');
    EXPECT_FALSE(p.increase);
    EXPECT_EQ(p.delimiter, ',');
}

TEST(RunParameters, EachKeyConvertedByItsRule) {
    const SettingMap settings{{"nranks", " 7th"}, {"maxiter", "2.9"},  {"alpha1", "1/2"},   {"alphat", "-3e-1x"},
                              {"sigma1", ".5"},   {"sigmat", ""},      {"seed", "99999999999"}, {"diffcrit", "inf"},
                              {"method", "Batch"}, {"increase", "T"}, {"dlm", "space"},    {"phi", "abc"}};
    std::ostringstream console;
    const RunParameters p = resolveRunParameters(settings, console);
    EXPECT_EQ(console.str(), "tavrel.exe: Note: Number of latent ranks is 7.\n");
    EXPECT_EQ(p.nranks, 7);
    EXPECT_EQ(p.schedule.maxiter, 2);
    EXPECT_EQ(p.schedule.alpha1, 1.0);
    EXPECT_EQ(p.schedule.alphat, -0.3);
    EXPECT_EQ(p.schedule.sigma1, 0.5);
    EXPECT_EQ(p.schedule.sigmat, 0.0);
    EXPECT_EQ(p.seed, 2147483647);
    EXPECT_EQ(p.diffcrit, 0.0);
    EXPECT_EQ(p.method, 'G');
    EXPECT_TRUE(p.increase);
    EXPECT_EQ(p.delimiter, ' ');
}

TEST(RunParameters, FewerThanOneRankIsFatalRightAfterTheNote) {
    for (const char* value : {"abc", "", "0", "-3"}) {
        std::ostringstream console;
        try {
            resolveRunParameters({{"nranks", value}}, console);
            ADD_FAILURE() << value;
        } catch (const FatalSetting& failure) {
            EXPECT_STREQ(failure.what(), "Number of latent ranks must be 1 or more.");
        }
        EXPECT_EQ(console.str(), "tavrel.exe: Note: Number of latent ranks is " +
                                     std::to_string(std::atoi(value)) + ".\n") << value;
    }
}

}  // namespace
}  // namespace tavrel
