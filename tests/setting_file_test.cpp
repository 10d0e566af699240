#include "settings/setting_file.hpp"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <tuple>

#include "console_record.hpp"
#include "driver/run_parameters.hpp"
#include "settings/value_interpreters.hpp"

namespace tavrel {
namespace {

std::string unknown(const std::string& key) { return "tavrel.exe: Warning: Parameter \"" + key + "\" is unknown.\n"; }

TEST(SettingScanner, SplitsLinesIntoPairsAndWarnsAboutOtherKeys) {
    const std::tuple<std::string, SettingMap, std::string> cases[] = {
        {"", {}, ""}, {"# nranks = 5", {}, ""}, {"*nranks = 5", {}, ""}, {"%nranks = 5", {}, ""},
        {" \t", {}, unknown("")}, {"  # old value", {}, unknown("#") + unknown("value")},
        {"nranks = 5 # five ranks", {{"nranks", "5"}}, ""}, {"nranks = 5 ; # five", {{"nranks", "5"}}, ""},
        {"nranks = 5#five", {{"nranks", "5#five"}}, ""},
        {"NRanks=5;Method=ML;", {{"nranks", "5"}, {"method", "ML"}}, ""},
        {"nrank = 3; nranks = 4; nitem 4 datalength 6 iter", {{"nranks", "4"}, {"nitems", "6"}, {"maxiter", ""}}, ""},
        {"infile = \"my data.txt\";", {{"infile", "my data.txt"}}, ""},
        {"infile = my data.txt;", {{"infile", "my"}}, unknown("data.txt;")},
        {"prior = {0.2, 0.3; 0.5} dlm = \" \"", {{"prior", "0.2, 0.3; 0.5"}, {"dlm", " "}}, ""},
        {"Sigma0 = 1; Foo=1", {},
         "tavrel.exe: Warning: Sorry, parameter \"sigma0\" is not supported now.\n" + unknown("foo")},
        {"nranks=5\xFF nitems=3", {{"nranks", "5"}}, ""},
    };
    for (const auto& [line, expected, warnings] : cases) {
        SettingMap settings;
        ConsoleRecord console;
        scanSettingLine(line, settings, console);
        EXPECT_EQ(settings, expected) << line;
        EXPECT_EQ(console.str(), warnings) << line;
    }
}

// Every word of each table, in mixed case, and the near misses that fall back.
TEST(ValueInterpreters, WordTablesAndFallbacks) {
    std::string methods;
    for (const char* word : {"ED2", "euclid", "Euclidean", "e", "distance", "D", "LS", "ML", "Likelihood", "l", "L",
                             "map", "Bayes", "BAYESIAN", "gtm", "Batch", "EM", "M", "B", "G", "euclidian", "", " em"})
        methods += static_cast<char>(methodFromWord(word).value_or(Method::Likelihood));
    EXPECT_EQ(methods, "LLLLLLLMMMMBBBGGGMMMMMM");
    std::string booleans;
    for (const char* word : {"TRUE", "t", "Yes", "1", "on", "y", "2", "", "false", "no", "0", "true "})
        booleans += interpretBoolean(word) ? 'T' : 'F';
    EXPECT_EQ(booleans, "TTTTFFFFFFFF");
    std::string delimiters;
    for (const char* word : {",", "Comma", "c", "\t", "Tab", "T", " ", "SPACE", "S", ";", "|", "", "  ", " tab"})
        delimiters += interpretDelimiter(word);
    EXPECT_EQ(delimiters, ",,,\t\t\t   ,,,,,");
    std::string formats;  // '?' for a word that names no data format
    for (const char* word : {"fixed", "CSV", "Tsv", "SEMICOLON", "", "csv ", "comma", "tab"})
        formats += interpretDataFormat(word).value_or('?');
    EXPECT_EQ(formats, std::string("\0,\t;????", 8));
}

TEST(RunParameters, DefaultsAndConversions) {
    const auto fields = [](const RunParameters& p) {
        const LearningSchedule& s = p.schedule;
        return std::tuple(p.nranks, s.maxiter, s.alpha1, s.alphat, s.sigma1, s.sigmat, p.seed, p.diffcrit, p.method,
                          p.increase, p.delimiter);
    };
    ConsoleRecord console;
    EXPECT_EQ(fields(resolveRunParameters({}, console)),
              std::tuple(10, 100, 1.0, 0.1, 1.0, 0.12, 0, 0.0001, Method::Likelihood, false, ','));
    const SettingMap settings{{"nranks", " 7th"}, {"maxiter", "2.9"}, {"alpha1", "1/2"}, {"alphat", "-3e-1x"},
                              {"sigma1", ".5"}, {"sigmat", ""}, {"seed", "99999999999"}, {"diffcrit", "inf"},
                              {"method", "Batch"}, {"increase", "T"}, {"dlm", "space"}, {"phi", "abc"}};
    EXPECT_EQ(fields(resolveRunParameters(settings, console)),
              std::tuple(7, 2, 1.0, -0.3, 0.5, 0.0, 2147483647, 0.0, Method::Batch, true, ' '));
    EXPECT_EQ(console.str(), "tavrel.exe: Note: Number of latent ranks is 10.\n"
                             "tavrel.exe: Note: Number of latent ranks is 7.\n");
}

}  // namespace
}  // namespace tavrel
