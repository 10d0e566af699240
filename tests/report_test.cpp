// The report: the figure builder's ticks, escaping and geometry, and pages
// built from runs where values do not exist.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "analysis/rank_counts.hpp"
#include "common/workers.hpp"
#include "analysis/run_statistics.hpp"
#include "report/markup.hpp"
#include "report/report_page.hpp"
#include "report/svg_figure.hpp"

namespace tavrel {
namespace {

using namespace report;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

std::vector<std::string> labels(const Ticks& t) {
    std::vector<std::string> out;
    for (const double v : t.values) {
        std::string label;
        appendTickLabel(label, v, t);
        out.push_back(label);
    }
    return out;
}

TEST(Ticks, CoverOddRangesWithDistinctReadableLabels) {
    const struct {
        double lo, hi;
        bool extend, integer;
    } ranges[] = {
        {0, 1, true, false},          {0, 37, false, true},        {0, 0, true, true},
        {5, 5, true, false},          {10, 0, true, false},        {-0.6123, -0.6101, true, false},
        {1e10, 1e10 + 1e-3, true, false}, {1e-12, 3e-12, true, false}, {-1e300, 1e300, true, false},
        {0, 2147483647, true, true},  {kNaN, kNaN, true, false},   {-kInf, 3, true, false},
        {0.1, 0.3, false, false},     {-kInf, kInf, true, false},  {1, 1, false, true},
    };
    for (const auto& r : ranges) {
        const Ticks t = niceTicks(r.lo, r.hi, 6, r.extend, r.integer);
        SCOPED_TRACE(std::to_string(r.lo) + " .. " + std::to_string(r.hi));
        ASSERT_TRUE(std::isfinite(t.lo) && std::isfinite(t.hi));
        EXPECT_LT(t.lo, t.hi);
        ASSERT_GE(t.values.size(), 2u);
        EXPECT_LE(t.values.size(), 13u);
        EXPECT_TRUE(std::is_sorted(t.values.begin(), t.values.end()));
        EXPECT_GE(t.values.front(), t.lo);
        EXPECT_LE(t.values.back(), t.hi);
        if (std::isfinite(r.lo) && std::isfinite(r.hi) && r.lo != r.hi) {
            // The range asked for lies within the axis.
            EXPECT_LE(t.lo, std::min(r.lo, r.hi));
            EXPECT_GE(t.hi, std::max(r.lo, r.hi));
        }
        const std::vector<std::string> text = labels(t);
        EXPECT_EQ(std::set<std::string>(text.begin(), text.end()).size(), text.size()) << ::testing::PrintToString(text);
        for (const std::string& label : text) {
            EXPECT_NE(label, "-0");
            EXPECT_LE(label.size(), 12u) << label;
        }
        if (r.integer) {
            for (const double v : t.values) EXPECT_EQ(v, std::round(v));
        }
    }
    // Ticks at round values, and the range kept as given without extending.
    EXPECT_EQ(labels(niceTicks(0, 1, 6, true)), (std::vector<std::string>{"0.0", "0.2", "0.4", "0.6", "0.8", "1.0"}));
    const Ticks scores = niceTicks(0, 37, 6, false, true);
    EXPECT_EQ(scores.hi, 37.0);
    EXPECT_EQ(labels(scores), (std::vector<std::string>{"0", "10", "20", "30"}));
    EXPECT_EQ(labels(niceTicks(0.1, 0.3, 3, false)), (std::vector<std::string>{"0.1", "0.2", "0.3"}));
}

TEST(Ticks, BandLabelsThinOutByRoundSteps) {
    EXPECT_EQ(labelledBands(1, 1, 8), (std::vector<std::size_t>{0}));
    EXPECT_EQ(labelledBands(5, 1, 8), (std::vector<std::size_t>{0, 1, 2, 3, 4}));
    EXPECT_EQ(labelledBands(10, 1, 8), (std::vector<std::size_t>{1, 3, 5, 7, 9}));  // ranks 2, 4, ..., 10
    EXPECT_EQ(labelledBands(1001, 0, 12).size(), 11u);                           // scores 0, 100, ..., 1000
    EXPECT_EQ(labelledBands(3, 1, 1), (std::vector<std::size_t>{0}));            // no multiple of 5 among 1..3
    EXPECT_EQ(niceStep(31, 120), 1u);
    EXPECT_EQ(niceStep(1001, 120), 10u);
}

TEST(Markup, EscapesMarkupAndRepairsWhatIsNotText) {
    const auto escaped = [](std::string_view text) {
        std::string out;
        appendEscaped(out, text);
        return out;
    };
    EXPECT_EQ(escaped("<img src=x onerror=alert(1)>.txt"), "&lt;img src=x onerror=alert(1)&gt;.txt");
    EXPECT_EQ(escaped("a&b \"c\" 'd'"), "a&amp;b &quot;c&quot; &#39;d&#39;");
    EXPECT_EQ(escaped("tab\tline\n"), "tab\tline\n");
    EXPECT_EQ(escaped("\xC3\xA9 \xE6\xBC\xA2 \xF0\x9F\x98\x80"), "\xC3\xA9 \xE6\xBC\xA2 \xF0\x9F\x98\x80");
    const std::string bad = "\xEF\xBF\xBD";
    // A stray byte, an overlong form, a surrogate, a cut sequence, a control
    // character and a noncharacter each become one replacement character.
    EXPECT_EQ(escaped("a\xFF" "b"), "a" + bad + "b");
    EXPECT_EQ(escaped("\xC0\xAF"), bad + bad);
    EXPECT_EQ(escaped("\xED\xA0\x80"), bad + bad + bad);
    EXPECT_EQ(escaped("x\xE2\x82"), "x" + bad + bad);
    EXPECT_EQ(escaped(std::string("\x01\0", 2)), bad + bad);
    EXPECT_EQ(escaped("\xEF\xBF\xBE"), bad + bad + bad);

    EXPECT_EQ(shortened("Item 12", 20), "Item 12");
    EXPECT_EQ(shortened("abcdef", 4), "abc\xE2\x80\xA6");
    EXPECT_EQ(shortened("\xC3\xA9\xC3\xA9\xC3\xA9", 2), "\xC3\xA9\xE2\x80\xA6");  // cut between characters
    EXPECT_EQ(shortened("abc", 3), "abc");

    std::string coordinates;
    for (double v : {-0.04, 2.0, 1.26, -3.0, 1234.56}) appendCoordinate(coordinates += ' ', v);
    EXPECT_EQ(coordinates, " 0 2 1.3 -3 1234.6");
    std::string numbers;
    for (double v : {kNaN, kInf, -kInf, 0.123456, 12345.0, 0.5}) appendNumber(numbers += ' ', v);
    EXPECT_EQ(numbers, " NA Inf -Inf 0.1235 1.234e+04 0.5");
}

TEST(SvgFigure, LinesBreakAtMissingPointsAndHeatColoursDarkenWithCount) {
    std::string out;
    Svg svg(out, {"f", "A <title>", "A \"description\"", 100, 50});
    const std::vector<Point> points{{0, 0}, {1, kNaN}, {2, 2}, {3, 3}, {kInf, 1}};
    svg.polyline(points, "line");
    svg.markers(points, Marker::square, 1, "squares");
    const std::vector<Point> nothing{{kNaN, 0}};
    svg.polyline(nothing, "none");
    svg.markers(nothing, Marker::diamond, 3, "none");
    svg.close();
    EXPECT_NE(out.find("<path class=\"line\" d=\"M0 0M2 2L3 3\"/>"), std::string::npos) << out;
    EXPECT_NE(out.find("<path class=\"squares\" d=\"M-1 -1h2v2h-2ZM1 1h2v2h-2ZM2 2h2v2h-2Z\"/>"), std::string::npos)
        << out;
    EXPECT_EQ(out.find("class=\"none\""), std::string::npos);
    EXPECT_NE(out.find("<title id=\"f-title\">A &lt;title&gt;</title><desc id=\"f-desc\">A &quot;description&quot;"),
              std::string::npos);
    EXPECT_TRUE(out.ends_with("</svg>\n"));

    EXPECT_EQ(heatLevel(0, 10), 0u);
    EXPECT_EQ(heatLevel(1, 1000000), 1u);
    EXPECT_EQ(heatLevel(10, 10), kHeatLevels);
    double previous = 256.0;
    for (std::size_t level = 1; level <= kHeatLevels; ++level) {
        const std::string c = heatColour(level);
        ASSERT_TRUE(std::regex_match(c, std::regex("#[0-9a-f]{6}"))) << c;
        const auto channel = [&](std::size_t i) { return double(std::stoi(c.substr(1 + 2 * i, 2), nullptr, 16)); };
        const double luma = 0.299 * channel(0) + 0.587 * channel(1) + 0.114 * channel(2);
        EXPECT_LT(luma, previous) << level;  // prints in shades of grey
        previous = luma;
    }
}

// A finished run of a few examinees, as the driver hands it to the report.
struct SmallRun {
    std::string responses, mask, itemUse;
    std::size_t J, N, K;
    std::vector<double> profile;
    std::vector<std::int32_t> ranks;
    std::vector<std::string> names = {};
    std::vector<double> trace = {};
    char method = 'M';
    std::string dataFile = "data.txt";

    std::string page() const {
        std::vector<double> membership(N * K, 0.0);
        for (std::size_t i = 0; i < N; ++i) membership[i * K + std::size_t(ranks[i])] = 1.0;
        const std::string fixed(J * K, '1');
        const ResponseView data{responses, mask, J, N};
        Workers workers(1);
        const RunStatistics s = computeStatistics({data, profile, fixed, itemUse, membership, ranks, {}, K}, workers);
        const RankCounts counts =
            countByRank(countResponsesByRank(data, ranks, K, workers), ranks, s.scores, s.itemsInUse, K);
        const std::vector<ParameterText> parameters{{"infile", dataFile, false, ""},
                                                    {"outfile", "o<b>&\"'.csv", false, ""}};
        return buildReportPage({s, counts, profile, itemUse, names, trace, parameters, dataFile, N, K,
                                {method, std::int32_t(trace.size()), !trace.empty()}});
    }
};

std::size_t occurrences(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// Coordinates or numbers gone wrong show as nan or inf in the markup.
void expectFiniteMarkup(const std::string& page) {
    EXPECT_FALSE(std::regex_search(page, std::regex("[\"( ,-](nan|inf)", std::regex::icase))) << page;
}

TEST(ReportPage, ASingleRankAndItemsWithoutValues) {
    // Item 1 answered by nobody, item 2 right by everybody, item 3 out of use.
    SmallRun run{".1..1..1.", "010010010", "110", 3, 3, 1, {0.5, 0.9, 0.2}, {0, 0, 0}};
    const std::string page = run.page();
    expectFiniteMarkup(page);
    EXPECT_EQ(occurrences(page, "<g class=\"panel\""), 2u);
    EXPECT_NE(page.find("<title>Item 1: profile 0.5; observed share correct none</title>"), std::string::npos);
    std::string outOfUse = "<tr class=\"na\"><td>3</td>";
    for (int f = 0; f < 11; ++f) outOfUse += "<td>NA</td>";
    EXPECT_NE(page.find(outOfUse + "</tr>"), std::string::npos);
    EXPECT_NE(page.find("<tr><td>1</td><td>0</td><td>NA</td><td>NA</td><td>NA</td><td>NA</td><td>1</td><td>0.5</td>"),
              std::string::npos);
    EXPECT_NE(page.find("Weakly ordinal: yes"), std::string::npos);
    EXPECT_EQ(page.find("id=\"warning\""), std::string::npos);
    EXPECT_NE(page.find("id=\"convergence-omitted\""), std::string::npos);
}

TEST(ReportPage, NoExamineeAndABatchRunWithoutPasses) {
    SmallRun run{"....", "0000", "11", 2, 2, 3, {0.2, 0.5, 0.8, 0.9, 0.5, 0.1}, {0, 2}};
    run.method = 'G';
    const std::string page = run.page();
    expectFiniteMarkup(page);
    EXPECT_NE(page.find("No examinee has a response."), std::string::npos);
    EXPECT_NE(page.find("No pass ran."), std::string::npos);
    EXPECT_NE(page.find("id=\"fig-convergence\""), std::string::npos);
    // Item 2 falls: the ranks are not weakly ordinal, and its panel says so.
    EXPECT_NE(page.find("id=\"warning\""), std::string::npos);
    EXPECT_EQ(occurrences(page, ">not monotone</text>"), 1u);
    EXPECT_NE(page.find("<tr class=\"falls\"><td>2</td>"), std::string::npos);
}

TEST(ReportPage, InputsAreEscapedAndPanelsComeInPrintableBlocks) {
    // 40 items: a block of six rows of six, then one of four panels.
    SmallRun run{std::string(40, '1') + std::string(40, '0'), std::string(80, '1'), std::string(40, '1'), 40, 2, 2,
                 std::vector<double>(80, 0.5), {1, 0}};
    for (std::size_t j = 0; j < 40; ++j) run.names.push_back("<script>q" + std::to_string(j + 1) + "</script>");
    run.dataFile = "<img src=x onerror=alert(1)>.txt";
    run.trace = {-0.7, -0.65, kNaN, -0.64};
    run.method = 'G';
    const std::string page = run.page();
    expectFiniteMarkup(page);
    EXPECT_EQ(page.find("<img"), std::string::npos);
    EXPECT_EQ(page.find("<script"), std::string::npos);
    EXPECT_NE(page.find("<h1>&lt;img src=x onerror=alert(1)&gt;.txt</h1>"), std::string::npos);
    EXPECT_NE(page.find("<code class=\"value\">o&lt;b&gt;&amp;&quot;&#39;.csv</code>"), std::string::npos);
    EXPECT_NE(page.find("&lt;script&gt;q40&lt;/script&gt;"), std::string::npos);
    EXPECT_EQ(occurrences(page, "<g class=\"panel\""), 40u);
    EXPECT_NE(page.find("id=\"profiles-1-title\">Item reference profiles, items &lt;script&gt;q1&lt;/script&gt; to "
                        "&lt;script&gt;q36&lt;/script&gt;<"),
              std::string::npos);
    EXPECT_NE(page.find("id=\"profiles-2-title\""), std::string::npos);
    EXPECT_EQ(page.find("id=\"profiles-3-title\""), std::string::npos);
    // The traced line skips the pass without a value.
    EXPECT_TRUE(std::regex_search(page, std::regex("class=\"trace-line\" d=\"M[^M\"]+M[^M\"]+\"")));
    EXPECT_NE(page.find("from -0.7 to -0.64."), std::string::npos);
}

TEST(RankCounts, CountTheExamineesWhoTakePartByRank) {
    // Six examinees, two items; examinee 5 has no response and counts nowhere.
    const std::string responses = "1110" "0.00" "..01", mask = "1111" "1011" "0011";
    const ResponseView data{responses, mask, 2, 6};
    const std::vector<std::int32_t> ranks{1, 1, 0, 0, 0, 1};
    for (const std::size_t threads : {1, 2}) {  // two workers count an item each
        Workers workers(threads);
        const RankCounts c =
            countByRank(countResponsesByRank(data, ranks, 2, workers), ranks, scoreExaminees(data, workers), 2, 2);
        EXPECT_EQ(c.answered, (std::vector<std::int64_t>{2, 3, 1, 3}));
        EXPECT_EQ(c.correct, (std::vector<std::int64_t>{0, 2, 0, 2}));
        EXPECT_EQ(c.maxScore, 2u);
        EXPECT_EQ(c.scoreRank, (std::vector<std::int64_t>{2, 0, 0, 2, 0, 1}));
    }
}

}  // namespace
}  // namespace tavrel
