#include "report/report_page.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <vector>

#include "common/messages.hpp"
#include "common/text_file.hpp"
#include "common/types.hpp"
#include "tavrel/version.hpp"
#include "report/markup.hpp"
#include "report/svg_figure.hpp"

namespace tavrel {
namespace {

using report::Anchor;
using report::appendElement;
using report::appendEscaped;
using report::appendInteger;
using report::appendNumber;
using report::Bands;
using report::Box;
using report::Marker;
using report::Point;
using report::Side;
using report::Svg;

// Colours: the Okabe-Ito set (blue, sky blue, vermilion), which colour-blind
// readers tell apart; every series differs by marker or dash as well.
constexpr std::string_view kStyle = R"(
*{box-sizing:border-box}
html{-webkit-text-size-adjust:100%}
body{margin:0;font:15px/1.5 system-ui,-apple-system,"Segoe UI",Roboto,Arial,sans-serif;color:#1b1b1b;background:#fff}
header,main,footer{max-width:1010px;margin:0 auto;padding:0 20px}
header{padding-top:20px}
.kicker{margin:0;color:#555;font-size:.85em;letter-spacing:.06em;text-transform:uppercase}
h1{margin:.15em 0 .5em;font-size:1.7em;line-height:1.25;overflow-wrap:anywhere}
h2{margin:1.6em 0 .5em;padding-bottom:.15em;border-bottom:2px solid #0072b2;font-size:1.3em}
h3{margin:1.1em 0 .3em;font-size:1.05em}
p{margin:.5em 0;max-width:48em}
table{border-collapse:collapse;font-variant-numeric:tabular-nums;margin:.3em 0 .8em}
caption{text-align:left;font-weight:600;padding:0 0 4px}
th,td{padding:3px 10px;border-bottom:1px solid #e2e2e2;text-align:right;vertical-align:top}
th{font-weight:600}
thead th{border-bottom:2px solid #b8b8b8;background:#f3f5f7;vertical-align:bottom}
th:first-child,td:first-child{text-align:left}
.facts th,.facts td{text-align:left}
.facts th{color:#444}
code{font-family:ui-monospace,"DejaVu Sans Mono",Menlo,Consolas,monospace;font-size:.92em;overflow-wrap:anywhere}
.parameters{columns:3 16em;column-gap:32px;list-style:none;padding:0;margin:.3em 0;font-size:.95em}
.parameters li{break-inside:avoid;padding:2px 0;border-bottom:1px solid #eee}
.parameters .value{font-weight:600;white-space:pre-wrap}
.default,.origin{color:#666}
.default .value{font-weight:400}
.summary table{min-width:17em}
.columns{display:flex;flex-wrap:wrap;gap:0 48px;align-items:flex-start}
.warning{margin:16px 0;padding:10px 16px;border:2px solid #d55e00;border-left-width:10px;background:#fff4ec}
.warning p{margin:.3em 0}
.warning strong{color:#a33b00}
.ordinal{padding-left:1.2em;max-width:52em}
.ordinal li{margin:.35em 0}
.note{color:#333;font-style:italic}
figure{margin:10px 0 22px;break-inside:avoid;page-break-inside:avoid}
figcaption{color:#333;font-size:.92em;margin-top:4px;max-width:56em}
svg.figure{display:block;max-width:100%;height:auto;margin:6px 0}
svg text{font-family:inherit;font-size:12px;fill:#1b1b1b}
svg .tick-label{font-size:11px;fill:#333}
svg .axis-title{font-size:12.5px;font-weight:600}
svg .panel-title{font-size:11px;font-weight:600}
svg .flag{font-size:10.5px;font-weight:700;fill:#a33b00}
svg .empty{font-size:13px;fill:#666;font-style:italic}
.frame{fill:none;stroke:#9a9a9a;stroke-width:1}
.grid{stroke:#e6e6e6;stroke-width:1}
.tick{stroke:#777;stroke-width:1}
.mid{stroke:#bdbdbd;stroke-width:1;stroke-dasharray:3 2}
.irp-line,.trace-line{fill:none;stroke:#0072b2;stroke-width:1.6}
.irp-marks,.trace-marks{fill:#0072b2}
.obs-marks{fill:#d55e00;stroke:#fff;stroke-width:.6}
.bar-lrd{fill:#56b4e9;stroke:#1d5b86;stroke-width:1}
.bar-rmd{fill:url(#rmd-hatch);stroke:#d55e00;stroke-width:1}
.trp-line{fill:none;stroke:#1b1b1b;stroke-width:1.8;stroke-dasharray:6 3}
.trp-marks{fill:#1b1b1b}
.sweep-1{fill:none;stroke:#0072b2;stroke-width:1.6}
.sweep-2{fill:none;stroke:#d55e00;stroke-width:1.6;stroke-dasharray:6 3}
.sweep-3{fill:none;stroke:#009e73;stroke-width:1.6;stroke-dasharray:2 2}
.sweep-1-marks{fill:#0072b2}
.sweep-2-marks{fill:#d55e00}
.sweep-3-marks{fill:#009e73}
.main-rank{stroke:#1b1b1b;stroke-width:1;stroke-dasharray:4 3}
svg .main-rank-label{font-size:10.5px;fill:#333}
.sweep td,.sweep th{white-space:nowrap}
.sweep .main td{font-weight:700}
.heat{shape-rendering:crispEdges}
.table-wrap{overflow-x:auto}
.items td:first-child{font-weight:600}
.items .na td{color:#777}
.items .falls td.c{color:#a33b00;font-weight:700}
footer{margin-top:36px;padding-top:12px;padding-bottom:28px;color:#555;border-top:1px solid #ddd;font-size:.9em}
.scroll{overflow-x:auto}
@media (max-width:640px){body{font-size:14px}header,main,footer{padding-left:10px;padding-right:10px}th,td{padding:2px 6px}svg.figure{min-width:600px}}
@media print{
body{font-size:10pt}
header,main,footer{max-width:none;padding:0}
h2{break-after:avoid;page-break-after:avoid}
figure,svg.figure,.warning,.facts,.summary table,tr{break-inside:avoid;page-break-inside:avoid}
thead{display:table-header-group}
.table-wrap,.scroll{overflow:visible}
svg.figure{min-width:0}
*{-webkit-print-color-adjust:exact;print-color-adjust:exact}
}
)";

std::string_view methodDescription(char method) {
    switch (method) {
        case 'L': return "sequential learning, squared distance";
        case 'B': return "sequential learning, posterior with the prior";
        case 'G': return "batch estimation with a smoothing filter";
        default: return "sequential learning, likelihood";
    }
}

std::string integerText(std::int64_t v) {
    std::string s;
    appendInteger(s, v);
    return s;
}

std::string numberText(double v) {
    std::string s;
    appendNumber(s, v);
    return s;
}

// The items in use, in item order.
std::vector<std::size_t> itemsInUse(const ReportInputs& in) {
    std::vector<std::size_t> items;
    for (std::size_t j = 0; j < in.itemUse.size(); ++j)
        if (in.itemUse[j] == '1') items.push_back(j);
    return items;
}

// An item's name, or its number when the data name none.
std::string itemName(const ReportInputs& in, std::size_t j) {
    return in.itemNames.empty() ? integerText(static_cast<std::int64_t>(j) + 1) : in.itemNames[j];
}

// "Item 7", or the item's name.
std::string itemTitle(const ReportInputs& in, std::size_t j) {
    return in.itemNames.empty() ? "Item " + itemName(in, j) : in.itemNames[j];
}

bool falls(const ReportInputs& in, std::size_t j) { return in.statistics.irp[j].c < 0.0; }

// A list of names in running text: "7, 12 and 30".
std::string listed(const std::vector<std::string>& names) {
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0) text += i + 1 == names.size() ? " and " : ", ";
        text += names[i];
    }
    return text;
}

// One row of a two-column table: a heading cell and a value cell, both escaped.
void factRow(std::string& out, std::string_view heading, std::string_view value) {
    out += "<tr>";
    appendElement(out, "th", heading, " scope=\"row\"");
    appendElement(out, "td", value);
    out += "</tr>\n";
}

void head(std::string& out, const ReportInputs& in) {
    out += "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
           "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>";
    out += kProgramName;
    out += " report: ";
    appendEscaped(out, in.dataFile.empty() ? "no data file" : in.dataFile);
    out += "</title>\n<style>";
    out += kStyle;
    out += "</style>\n</head>\n<body>\n<header>\n<p class=\"kicker\">Latent rank analysis</p>\n";
    appendElement(out, "h1", in.dataFile.empty() ? "No data file" : in.dataFile);
    out += "\n</header>\n<main>\n";
}

void warningBox(std::string& out, const ReportInputs& in) {
    if (in.statistics.weaklyOrdinal) return;
    out += "<div class=\"warning\" id=\"warning\" role=\"note\">\n<p><strong>The ranks do not order the "
           "examinees.</strong> The expected score (the test reference profile) does not rise from every rank to "
           "the next, so this result should not be read as ranks.</p>\n<p>Try another number of ranks "
           "(<code>nranks</code>) or another method (<code>method</code>).</p>\n</div>\n";
}

// Every restart: its seed, marginal log-likelihood, whether its ranks are
// ordered, and how many examinees it puts in the kept run's rank (a reversed
// solution shows a low share and no order).
void restartTable(std::string& out, const ReportInputs& in) {
    out += "<table class=\"restarts\" id=\"restarts\">\n";
    appendElement(out, "caption", "Restarts");
    out += "\n<thead><tr><th scope=\"col\">Seed</th><th scope=\"col\">Marginal log-likelihood</th>"
           "<th scope=\"col\">Weakly ordinal</th><th scope=\"col\">Same rank as the kept run</th></tr></thead>\n"
           "<tbody>\n";
    for (const RestartSummary& r : in.restarts) {
        out += r.kept ? "<tr class=\"kept\">" : "<tr>";
        appendElement(out, "td", integerText(r.seed) + (r.kept ? " (kept)" : ""));
        appendElement(out, "td", numberText(r.loglikMarginal));
        appendElement(out, "td", r.weaklyOrdinal ? "yes" : "no");
        appendElement(out, "td", std::isnan(r.sameRankShare) ? std::string("NA")
                                                             : numberText(100.0 * r.sameRankShare) + " %");
        out += "</tr>\n";
    }
    out += "</tbody>\n</table>\n";
}

void runSection(std::string& out, const ReportInputs& in) {
    const RunStatistics& s = in.statistics;
    const bool batch = in.estimation.method == 'G';
    out += "<section id=\"run\">\n<h2>Run</h2>\n<table class=\"facts\">\n<tbody>\n";
    factRow(out, "Data file", in.dataFile.empty() ? "none" : in.dataFile);
    factRow(out, "Examinees", integerText(static_cast<std::int64_t>(s.scores.scored)) + " with responses (N\u2032) of " +
                                  integerText(static_cast<std::int64_t>(in.nexaminees)) + " read (N)");
    factRow(out, "Items in use",
            integerText(static_cast<std::int64_t>(s.itemsInUse)) + " of " + integerText(std::int64_t(in.itemUse.size())));
    factRow(out, "Latent ranks (K)", integerText(static_cast<std::int64_t>(in.nranks)));
    factRow(out, "Method", std::string(methodWord(static_cast<Method>(in.estimation.method))) + ": " +
                               std::string(methodDescription(in.estimation.method)));
    factRow(out, "Passes run", integerText(in.estimation.passes));
    factRow(out, "Converged",
            !batch ? "NA: sequential learning runs every pass, without a convergence criterion"
            : in.estimation.converged ? "yes: the change of the traced value met diffcrit"
                                      : "no: the estimation stopped at maxiter before the change met diffcrit");
    if (in.restarts.size() > 1)
        for (const RestartSummary& r : in.restarts)
            if (r.kept)
                factRow(out, "Restarts",
                        integerText(std::int64_t(in.restarts.size())) + " runs with seeds " +
                            integerText(in.restarts.front().seed) + " to " + integerText(in.restarts.back().seed) +
                            "; kept: seed " + integerText(r.seed) + ", the largest marginal log-likelihood (" +
                            numberText(r.loglikMarginal) + ")");
    out += "</tbody>\n</table>\n";
    if (in.restarts.size() > 1) restartTable(out, in);
    out += "<h3>Run parameters</h3>\n<ul class=\"parameters\">\n";
    for (const ParameterText& p : in.parameters) {
        out += p.byDefault ? "<li class=\"default\"><code>" : "<li><code>";
        appendEscaped(out, p.key);
        out += "</code> = <code class=\"value\">";
        appendEscaped(out, p.value);
        out += "</code>";
        if (p.byDefault) out += " <span class=\"origin\">default</span>";
        if (!p.note.empty()) {
            out += " <span class=\"origin\">(";
            appendEscaped(out, p.note);
            out += ")</span>";
        }
        out += "</li>\n";
    }
    out += "</ul>\n<p class=\"note\">Keys from the settings with their values as given, then the run parameters "
           "left at their defaults.</p>\n</section>\n";
}

// A table of statistic names and values, as the test statistics file has them.
void statisticTable(std::string& out, std::string_view caption,
                    std::span<const std::pair<std::string_view, std::string>> rows) {
    out += "<table>\n";
    appendElement(out, "caption", caption);
    out += "\n<thead><tr><th scope=\"col\">Statistic</th><th scope=\"col\">Value</th></tr></thead>\n<tbody>\n";
    for (const auto& [name, value] : rows) {
        out += "<tr><th scope=\"row\"><code>";
        out += name;
        out += "</code></th>";
        appendElement(out, "td", value);
        out += "</tr>\n";
    }
    out += "</tbody>\n</table>\n";
}

void summarySection(std::string& out, const ReportInputs& in) {
    const RunStatistics& s = in.statistics;
    const ScoreStatistics& score = s.scoreStatistics;
    const auto whole = [](double v) { return std::isnan(v) ? "NA" : integerText(static_cast<std::int64_t>(v)); };
    const std::pair<std::string_view, std::string> scores[] = {
        {"mean", numberText(score.mean)},         {"se_mean", numberText(score.seMean)},
        {"sd", numberText(score.sd)},             {"skewness", numberText(score.skewness)},
        {"kurtosis", numberText(score.kurtosis)}, {"min", whole(score.min)},
        {"max", whole(score.max)}};
    std::vector<std::pair<std::string_view, std::string>> fit;
    for (const auto& [name, field] : kFitFields) fit.emplace_back(name, numberText(s.testFit.*field));

    out += "<section id=\"summary\" class=\"summary\">\n<h2>Test summary</h2>\n<div class=\"columns\">\n";
    statisticTable(out, "Number-right scores", scores);
    statisticTable(out, "Test fit", fit);
    out += "</div>\n<ul class=\"ordinal\">\n<li><strong>Weakly ordinal: ";
    if (s.weaklyOrdinal)
        out += "yes.</strong> The expected score rises from every rank to the next: a higher rank means a higher "
               "expected score.</li>\n";
    else
        out += "no.</strong> The expected score does not rise from every rank to the next, so the ranks do not "
               "order the examinees by expected score.</li>\n";
    out += "<li><strong>Strongly ordinal: ";
    std::vector<std::string> falling;
    for (const std::size_t j : itemsInUse(in))
        if (falls(in, j)) falling.push_back(itemName(in, j));
    if (s.stronglyOrdinal) {
        out += "yes.</strong> Besides, no item's profile falls anywhere: at a higher rank every item is answered "
               "correctly at least as often.</li>\n";
    } else if (falling.empty()) {
        out += "no,</strong> because the ranks are not weakly ordinal.</li>\n";
    } else {
        out += "no.</strong> ";
        appendEscaped(out, falling.size() == 1 ? "Item " + falling.front() + " has a profile"
                                               : "Items " + listed(falling) + " have profiles");
        out += " that fall somewhere (c below 0): at some rank the item is answered correctly less often than at the "
               "rank below.</li>\n";
    }
    out += "</ul>\n</section>\n";
}

// Opens a figure section with its heading. On a narrow screen the figure
// keeps a readable width and scrolls sideways.
void openFigure(std::string& out, std::string_view section, std::string_view heading, std::string_view figureId) {
    out += "<section id=\"";
    out += section;
    out += "\">\n";
    appendElement(out, "h2", heading);
    out += "\n<figure id=\"";
    out += figureId;
    out += "\">\n<div class=\"scroll\">\n";
}

void closeFigure(std::string& out, std::string_view caption) {
    out += "</div>\n";
    appendElement(out, "figcaption", caption);
    out += "\n</figure>\n</section>\n";
}

void ranksFigure(std::string& out, const ReportInputs& in) {
    const RankStatistics& r = in.statistics.ranks;
    const std::size_t K = in.nranks;
    const double items = double(in.statistics.itemsInUse);
    double largest = 0.0;
    for (std::size_t k = 0; k < K; ++k)
        largest = std::max({largest, double(r.latentRankDistribution[k]), r.rankMembershipDistribution[k]});

    std::string description = "Per latent rank, bars of the examinees whose estimated rank it is (latent rank "
                              "distribution) and of their summed memberships (rank membership distribution), and "
                              "the test reference profile, the expected score, as a dashed line on the right axis.";
    for (std::size_t k = 0; k < K; ++k) {
        description += " Rank " + integerText(std::int64_t(k) + 1) + ": " + integerText(r.latentRankDistribution[k]) +
                       " examinees, membership " + numberText(r.rankMembershipDistribution[k]) +
                       ", expected score " + numberText(r.testReferenceProfile[k]) + '.';
    }
    openFigure(out, "ranks", "Ranks", "fig-ranks");
    Svg svg(out, {"ranks-svg", "Ranks: rank distributions and test reference profile", description, 760, 340});
    svg.append("<defs><pattern id=\"rmd-hatch\" width=\"6\" height=\"6\" patternUnits=\"userSpaceOnUse\" "
               "patternTransform=\"rotate(45)\"><rect width=\"6\" height=\"6\" fill=\"#fff\"/>"
               "<path d=\"M1.5 0V6\" stroke=\"#d55e00\" stroke-width=\"2\"/></pattern></defs>\n");
    const Box plot{72, 44, 600, 240};
    const report::Ticks left = report::niceTicks(0.0, std::max(largest, 1.0), 6, true);
    const report::Scale count = report::scaleOf(left, plot.bottom(), plot.y);
    const report::Ticks right = report::niceTicks(0.0, std::max(items, 1.0), 6, false, true);
    const report::Scale score = report::scaleOf(right, plot.bottom(), plot.y);
    const Bands bands{K, plot.x, plot.right()};

    report::numericAxis(svg, plot, Side::left, left, count, true, true);
    report::numericAxis(svg, plot, Side::right, right, score, true, false);
    const std::vector<std::size_t> labelled = report::labelledBands(K, 1, 20);
    report::bandAxis(svg, plot, Side::bottom, bands, labelled, 1, true);
    report::axisTitle(svg, plot, Side::left, 48, "Examinees");
    report::axisTitle(svg, plot, Side::right, 44, "Expected score");
    report::axisTitle(svg, plot, Side::bottom, 38, "Latent rank");

    std::vector<Box> lrd, rmd;
    std::vector<Point> trp;
    const double bar = bands.width() * 0.36;
    for (std::size_t k = 0; k < K; ++k) {
        const double x = bands.centre(k);
        const double lrdTop = count(double(r.latentRankDistribution[k]));
        const double rmdTop = count(r.rankMembershipDistribution[k]);
        lrd.push_back({x - bar - 1.0, lrdTop, bar, plot.bottom() - lrdTop});
        rmd.push_back({x + 1.0, rmdTop, bar, plot.bottom() - rmdTop});
        trp.push_back({x, score(r.testReferenceProfile[k])});
    }
    svg.boxes(lrd, "bar-lrd");
    svg.boxes(rmd, "bar-rmd");
    svg.polyline(trp, "trp-line");
    svg.markers(trp, Marker::diamond, 5, "trp-marks");
    svg.rect(plot, "frame");

    double x = plot.x;
    x = report::legendBar(svg, {x, 18}, "bar-lrd", "Latent rank distribution");
    x = report::legendBar(svg, {x, 18}, "bar-rmd", "Rank membership distribution");
    report::legendLine(svg, {x, 18}, "trp-line", Marker::diamond, 5, "trp-marks", "Test reference profile");
    svg.close();
    closeFigure(out, "Bars (left axis): the latent rank distribution counts the examinees whose estimated rank is "
                     "k; the rank membership distribution sums their memberships in k. Dashed line (right axis, 0 "
                     "to the number of items in use): the test reference profile, the expected number-right score "
                     "at each rank.");
}

// The small multiples: one panel per item in use, in blocks of rows that
// print whole; each block labels its outer panels.
constexpr std::size_t kPanelColumns = 6;
constexpr std::size_t kBlockRows = 6;
constexpr double kPanelWidth = 152;
constexpr double kPanelHeight = 124;
constexpr double kBlockLeft = 54;
constexpr double kBlockTop = 34;
constexpr double kBlockBottom = 30;
constexpr Box kPanelPlot{8, 22, 136, 80};  // inside a panel

void profilePanel(Svg& svg, const ReportInputs& in, std::size_t j, Point at, bool leftLabels, bool bottomLabels) {
    const std::size_t K = in.nranks;
    const Bands bands{K, kPanelPlot.x, kPanelPlot.right()};
    const report::Scale p{0.0, 1.0, kPanelPlot.bottom(), kPanelPlot.y};
    std::vector<Point> profile, observed;
    std::string tooltip = itemTitle(in, j) + ": profile";
    std::string shares = "; observed share correct";
    for (std::size_t k = 0; k < K; ++k) {
        const double value = in.profile[j * K + k];
        const std::int64_t answered = in.counts.answered[j * K + k];
        const double share = answered > 0 ? double(in.counts.correct[j * K + k]) / double(answered) : kNaN;
        profile.push_back({bands.centre(k), p(value)});
        observed.push_back({bands.centre(k), p(share)});
        tooltip += k == 0 ? " " : ", ";
        appendNumber(tooltip, value);
        shares += k == 0 ? " " : ", ";
        answered > 0 ? appendNumber(shares, share) : void(shares += "none");
    }
    const bool flagged = falls(in, j);
    svg.openGroup("panel", at, tooltip + shares + (flagged ? "; not monotone" : ""));
    svg.rect(kPanelPlot, "frame");
    svg.line({kPanelPlot.x, p(0.5)}, {kPanelPlot.right(), p(0.5)}, "mid");
    if (leftLabels) {
        const report::Ticks ticks{0.0, 1.0, {0.0, 0.5, 1.0}, -1, 2};
        report::numericAxis(svg, kPanelPlot, Side::left, ticks, p, true, false);
    }
    if (bottomLabels) {
        const std::vector<std::size_t> labelled = report::labelledBands(K, 1, 8);
        report::bandAxis(svg, kPanelPlot, Side::bottom, bands, labelled, 1, true);
    }
    svg.polyline(profile, "irp-line");
    svg.markers(profile, Marker::dot, 2.7, "irp-marks");
    svg.markers(observed, Marker::square, 2.8, "obs-marks");
    const std::string title = in.itemNames.empty() ? itemTitle(in, j) : report::shortened(in.itemNames[j], flagged ? 10 : 20);
    svg.text({kPanelPlot.x, 14}, title, Anchor::start, "panel-title");
    if (flagged) svg.text({kPanelPlot.right(), 14}, "not monotone", Anchor::end, "flag");
    svg.closeGroup();
}

void profilesFigure(std::string& out, const ReportInputs& in) {
    const std::vector<std::size_t> items = itemsInUse(in);
    openFigure(out, "profiles", "Item reference profiles", "fig-profiles");
    if (items.empty()) out += "<p class=\"note\">No item is in use.</p>\n";
    const std::size_t columns = std::clamp<std::size_t>(items.size(), 1, kPanelColumns);
    const std::size_t perBlock = columns * kBlockRows;
    const std::string ranks = in.nranks == 1 ? "rank 1" : "ranks 1 to " + integerText(std::int64_t(in.nranks));
    for (std::size_t first = 0; first < items.size(); first += perBlock) {
        const std::size_t count = std::min(perBlock, items.size() - first);
        const std::size_t rows = (count + columns - 1) / columns;
        const std::span<const std::size_t> block(items.data() + first, count);
        std::vector<std::string> flagged;
        for (const std::size_t j : block)
            if (falls(in, j)) flagged.push_back(itemName(in, j));
        const std::string range = count == 1 ? "item " + itemName(in, block.front())
                                             : "items " + itemName(in, block.front()) + " to " + itemName(in, block.back());
        std::string description = "Item reference profiles of " + range + ", one panel each in item order: the "
                                  "probability of a correct answer at " + ranks + " as a line with dots on a 0 to 1 "
                                  "scale with a light line at 0.5, and as squares the share of correct answers among "
                                  "the examinees of each estimated rank who answered the item.";
        description += flagged.empty() ? " Every profile is monotone."
                                       : " Not monotone: " + listed(flagged) + ".";
        const std::string id = "profiles-" + integerText(std::int64_t(first / perBlock) + 1);
        const double width = kBlockLeft + double(columns) * kPanelWidth + 8;
        const double height = kBlockTop + double(rows) * kPanelHeight + kBlockBottom;
        Svg svg(out, {id, "Item reference profiles, " + range, description, width, height});
        double x = kBlockLeft + kPanelPlot.x;
        x = report::legendLine(svg, {x, 16}, "irp-line", Marker::dot, 2.7, "irp-marks", "Item reference profile");
        report::legendLine(svg, {x, 16}, "", Marker::square, 2.8, "obs-marks",
                           "Observed share correct in the estimated rank");
        for (std::size_t p = 0; p < count; ++p) {
            const Point at{kBlockLeft + double(p % columns) * kPanelWidth, kBlockTop + double(p / columns) * kPanelHeight};
            profilePanel(svg, in, block[p], at, p % columns == 0, p + columns >= count);
        }
        const Box panels{kBlockLeft, kBlockTop, double(columns) * kPanelWidth, double(rows) * kPanelHeight};
        report::axisTitle(svg, panels, Side::left, 40, "Probability correct");
        report::axisTitle(svg, panels, Side::bottom, 18, "Latent rank");
        svg.close();
    }
    closeFigure(out, "One panel per item in use. Line with dots: the item reference profile, the estimated "
                     "probability of a correct answer at each rank. Squares: among the examinees of each estimated "
                     "rank who answered the item, the share who answered it correctly (no square where none did). "
                     "\u201cnot monotone\u201d marks a profile that falls somewhere (c below 0).");
}

void scoreRankFigure(std::string& out, const ReportInputs& in) {
    const RankCounts& c = in.counts;
    const std::size_t K = in.nranks;
    const std::size_t scores = c.maxScore + 1;
    // Rows are ranks, columns scores, in groups of neighbouring scores when
    // there are too many for cells of a few units each.
    const std::size_t group = report::niceStep(scores, 120);
    const std::size_t columns = (scores + group - 1) / group;
    std::vector<std::int64_t> cells(K * columns, 0);
    std::int64_t most = 0;
    std::size_t mostScore = 0, mostRank = 0;
    for (std::size_t s = 0; s < scores; ++s)
        for (std::size_t k = 0; k < K; ++k) {
            const std::int64_t n = c.scoreRank[s * K + k];
            cells[k * columns + s / group] += n;
            if (n > most) most = n, mostScore = s, mostRank = k;
        }
    const std::string grouping =
        group == 1 ? std::string() : " in groups of " + integerText(std::int64_t(group)) + " neighbouring scores";
    std::string description = "A heat map of the number of examinees at each number-right score (0 to " +
                              integerText(std::int64_t(c.maxScore)) + ", across" + grouping +
                              ") and estimated rank (1 to " + integerText(std::int64_t(K)) +
                              ", upwards); darker is more.";
    description += most > 0 ? " The most at one score and rank, " + integerText(most) + ", have score " +
                                  integerText(std::int64_t(mostScore)) + " and rank " +
                                  integerText(std::int64_t(mostRank) + 1) + "."
                            : " No examinee has a response.";

    openFigure(out, "score-rank", "Score and rank", "fig-score-rank");
    const double plotHeight = std::clamp(double(K) * 28.0, 140.0, 400.0);
    Svg svg(out, {"score-rank-svg", "Examinees by number-right score and estimated rank", description, 760,
                  plotHeight + 90});
    const Box plot{72, 30, 580, plotHeight};
    report::heatMap(svg, plot, cells, columns);
    svg.rect(plot, "frame");
    const Bands across{columns * group, plot.x, plot.right()};
    const Bands upwards{K, plot.bottom(), plot.y};
    std::vector<std::size_t> labelled = report::labelledBands(columns * group, 0, 12);
    std::erase_if(labelled, [&](std::size_t s) { return s > c.maxScore; });
    report::bandAxis(svg, plot, Side::bottom, across, labelled, 0, true);
    report::bandAxis(svg, plot, Side::left, upwards, report::labelledBands(K, 1, std::size_t(plotHeight / 18)), 1,
                     true);
    report::axisTitle(svg, plot, Side::bottom, 38, "Number-right score");
    report::axisTitle(svg, plot, Side::left, 40, "Latent rank");
    const Box legend{plot.right() + 44, plot.y, 14, plot.height};
    report::heatLegend(svg, legend, *std::max_element(cells.begin(), cells.end()));
    svg.text({legend.x + legend.width / 2, plot.y - 10}, "Examinees", Anchor::middle, "axis-title");
    svg.close();
    std::string caption = "Each cell counts the examinees with that number-right score";
    caption += group == 1 ? "" : " (in groups of " + integerText(std::int64_t(group)) + ")";
    caption += " and estimated rank; white cells have none. When the ranks order the examinees, the dark cells "
               "climb from the lower left to the upper right.";
    closeFigure(out, caption);
}

void convergenceSection(std::string& out, const ReportInputs& in) {
    if (in.estimation.method != 'G') {
        out += "<section id=\"convergence\">\n<h2>Convergence</h2>\n<p class=\"note\" id=\"convergence-omitted\">No "
               "convergence figure: the sequential methods run every one of their passes (maxiter) with a learning "
               "rate that shrinks from pass to pass, and trace no value that could converge.</p>\n</section>\n";
        return;
    }
    const std::size_t passes = in.trace.size();
    std::string description = "The traced value, the log-likelihood divided by the number of response cells, after "
                              "each of the " + integerText(std::int64_t(passes)) + " passes";
    description += passes == 0 ? "." : ", from " + numberText(in.trace.front()) + " to " + numberText(in.trace.back()) + ".";
    openFigure(out, "convergence", "Convergence", "fig-convergence");
    Svg svg(out, {"convergence-svg", "Convergence of the batch estimation", description, 760, 300});
    const Box plot{84, 20, 640, 220};
    double lo = std::numeric_limits<double>::infinity(), hi = -lo;
    for (const double v : in.trace)
        if (std::isfinite(v)) lo = std::min(lo, v), hi = std::max(hi, v);
    const report::Ticks y = report::niceTicks(lo, hi, 6, true);
    const report::Ticks x = report::niceTicks(1.0, double(std::max<std::size_t>(passes, 1)), 8, false, true);
    const report::Scale value = report::scaleOf(y, plot.bottom(), plot.y);
    const report::Scale pass = report::scaleOf(x, plot.x, plot.right());
    report::numericAxis(svg, plot, Side::left, y, value, true, true);
    report::numericAxis(svg, plot, Side::bottom, x, pass, true, false);
    report::axisTitle(svg, plot, Side::left, 64, "Log-likelihood / (nN)");
    report::axisTitle(svg, plot, Side::bottom, 38, "Pass");
    std::vector<Point> points;
    for (std::size_t t = 0; t < passes; ++t) points.push_back({pass(double(t) + 1.0), value(in.trace[t])});
    svg.polyline(points, "trace-line");
    if (passes <= 60) svg.markers(points, Marker::dot, 2.5, "trace-marks");
    if (passes == 0)
        svg.text({plot.x + plot.width / 2, plot.y + plot.height / 2}, "No pass ran.", Anchor::middle, "empty");
    svg.rect(plot, "frame");
    svg.close();
    std::string caption = "The log-likelihood divided by the number of response cells (items \u00d7 examinees), "
                          "as the console traces it, after each pass. ";
    caption += in.estimation.converged
                   ? "The estimation converged: the change from one pass to the next met diffcrit after " +
                         integerText(in.estimation.passes) + " passes."
                   : "The estimation did not converge: it stopped at maxiter with the change still above diffcrit.";
    closeFigure(out, caption);
}

// A sweep's value by rank count, for one index of the fit.
struct SweepSeries {
    std::string_view name;
    double (*value)(const SweepRow&);
};

// One figure of up to three indices against the rank count, with the run's
// own count marked.
void sweepFigure(std::string& out, const ReportInputs& in, std::string_view id, std::string_view title,
                 std::string_view axis, std::span<const SweepSeries> series) {
    const std::span<const SweepRow> rows = in.sweep;
    std::string description = std::string(title) + " for K = " + integerText(rows.front().nranks) + " to " +
                              integerText(rows.back().nranks) + "; the run's K = " +
                              integerText(std::int64_t(in.nranks)) + " is marked.";
    out += "<figure id=\"fig-";
    out += id;
    out += "\">\n<div class=\"scroll\">\n";
    Svg svg(out, {id, title, description, 760, 300});
    const Box plot{96, 34, 620, 210};
    double lo = std::numeric_limits<double>::infinity(), hi = -lo;
    for (const SweepRow& row : rows)
        for (const SweepSeries& s : series) {
            const double v = s.value(row);
            if (std::isfinite(v)) lo = std::min(lo, v), hi = std::max(hi, v);
        }
    const double firstK = double(std::min<std::int64_t>(rows.front().nranks, std::int64_t(in.nranks)));
    const double lastK = double(std::max<std::int64_t>(rows.back().nranks, std::int64_t(in.nranks)));
    const report::Ticks y = report::niceTicks(lo, hi, 6, true);
    const report::Ticks x = report::niceTicks(firstK, lastK, 10, false, true);
    const report::Scale value = report::scaleOf(y, plot.bottom(), plot.y);
    const report::Scale rank = report::scaleOf(x, plot.x + 12, plot.right() - 12);
    report::numericAxis(svg, plot, Side::left, y, value, true, true);
    report::numericAxis(svg, plot, Side::bottom, x, rank, true, false);
    report::axisTitle(svg, plot, Side::left, 74, axis);
    report::axisTitle(svg, plot, Side::bottom, 38, "Number of ranks K");
    const double mainX = rank(double(in.nranks));
    svg.line({mainX, plot.y}, {mainX, plot.bottom()}, "main-rank");
    svg.text({mainX + 4, plot.y + 12}, "K = " + integerText(std::int64_t(in.nranks)), Anchor::start, "main-rank-label");
    constexpr Marker kMarkers[] = {Marker::dot, Marker::square, Marker::diamond};
    double legend = plot.x;
    for (std::size_t s = 0; s < series.size(); ++s) {
        std::vector<Point> points;
        for (const SweepRow& row : rows) points.push_back({rank(double(row.nranks)), value(series[s].value(row))});
        const std::string cls = "sweep-" + integerText(std::int64_t(s) + 1);
        svg.polyline(points, cls);
        svg.markers(points, kMarkers[s], 3.2, cls + "-marks");
        legend = report::legendLine(svg, {legend, 16}, cls, kMarkers[s], 3.2, cls + "-marks", series[s].name);
    }
    svg.rect(plot, "frame");
    svg.close();
    out += "</div>\n</figure>\n";
}

// The rank count an index favours: its smallest value, or its largest; the
// lowest K on ties; NA skipped. Zero when every value is NA.
std::int32_t favouredRank(std::span<const SweepRow> rows, double (*value)(const SweepRow&), bool largest) {
    std::int32_t best = 0;
    double bestValue = 0.0;
    for (const SweepRow& row : rows) {
        const double v = value(row);
        if (std::isnan(v)) continue;
        if (best == 0 || (largest ? v > bestValue : v < bestValue)) best = row.nranks, bestValue = v;
    }
    return best;
}

void sweepSection(std::string& out, const ReportInputs& in) {
    if (in.sweep.empty()) return;
    out += "<section id=\"sweep\">\n<h2>Choosing the number of ranks</h2>\n<p>The same analysis at every rank "
           "count of the sweep, all other settings unchanged. No index decides alone: the information criteria "
           "fall as K grows on large data, and RMSEA rises as the degrees of freedom shrink. Look for where they "
           "level off, and for ranks that are ordered and well filled.</p>\n";
    static constexpr SweepSeries kCriteria[] = {{"AIC", [](const SweepRow& r) { return r.fit.AIC; }},
                                                {"CAIC", [](const SweepRow& r) { return r.fit.CAIC; }},
                                                {"BIC", [](const SweepRow& r) { return r.fit.BIC; }}};
    static constexpr SweepSeries kIndices[] = {{"CFI", [](const SweepRow& r) { return r.fit.CFI; }},
                                               {"TLI", [](const SweepRow& r) { return r.fit.TLI; }},
                                               {"RMSEA", [](const SweepRow& r) { return r.fit.RMSEA; }}};
    static constexpr SweepSeries kMarginal[] = {
        {"Marginal log-likelihood", [](const SweepRow& r) { return r.loglikMarginal; }}};
    sweepFigure(out, in, "sweep-criteria", "Information criteria by number of ranks", "Criterion", kCriteria);
    sweepFigure(out, in, "sweep-indices", "Fit indices by number of ranks", "Index", kIndices);
    sweepFigure(out, in, "sweep-marginal", "Marginal log-likelihood by number of ranks", "Log-likelihood",
                kMarginal);

    out += "<ul class=\"favoured\">\n";
    const struct {
        const SweepSeries& series;
        bool largest;
    } favour[] = {{kCriteria[0], false}, {kCriteria[1], false}, {kCriteria[2], false},
                  {kIndices[0], true},   {kIndices[1], true},   {kIndices[2], false}};
    for (const auto& f : favour) {
        const std::int32_t k = favouredRank(in.sweep, f.series.value, f.largest);
        std::string sentence = std::string(f.series.name);
        sentence += k == 0 ? " is NA at every K."
                           : " favours K = " + integerText(k) + (f.largest ? " (its largest value)." : " (its smallest value).");
        appendElement(out, "li", sentence);
        out += "\n";
    }
    out += "</ul>\n<div class=\"table-wrap\">\n<table class=\"sweep\">\n<thead><tr>";
    for (std::string_view heading : {"K", "Seed", "Passes", "Converged", "Marginal log-likelihood", "AIC", "CAIC",
                                     "BIC", "CFI", "TLI", "RMSEA", "Weakly ordinal", "Strongly ordinal",
                                     "Smallest rank share", "Rank-score correlation"}) {
        out += "<th scope=\"col\">";
        out += heading;
        out += "</th>";
    }
    out += "</tr></thead>\n<tbody>\n";
    for (const SweepRow& row : in.sweep) {
        const bool batch = row.method == Method::Batch;
        out += std::size_t(row.nranks) == in.nranks ? "<tr class=\"main\">" : "<tr>";
        appendElement(out, "td", integerText(row.nranks));
        appendElement(out, "td", batch ? std::string("NA") : integerText(row.seed));
        appendElement(out, "td", integerText(row.passes));
        appendElement(out, "td", batch ? (row.converged ? "yes" : "no") : "NA");
        for (const double v : {row.loglikMarginal, row.fit.AIC, row.fit.CAIC, row.fit.BIC, row.fit.CFI, row.fit.TLI,
                               row.fit.RMSEA})
            appendElement(out, "td", numberText(v));
        appendElement(out, "td", row.weaklyOrdinal ? "yes" : "no");
        appendElement(out, "td", row.stronglyOrdinal ? "yes" : "no");
        appendElement(out, "td", numberText(row.smallestRankShare));
        appendElement(out, "td", numberText(row.rankScoreCorrelation));
        out += "</tr>\n";
    }
    out += "</tbody>\n</table>\n</div>\n</section>\n";
}

void itemTable(std::string& out, const ReportInputs& in) {
    const RunStatistics& s = in.statistics;
    out += "<section id=\"items\">\n<h2>Items</h2>\n<div class=\"table-wrap\">\n<table class=\"items\">\n<thead><tr>";
    for (std::string_view heading : {"Item", "Respondents", "Correct rate", "Item-total correlation", "alpha", "a",
                                     "beta", "b", "gamma", "c", "RMSEA", "CFI"}) {
        out += "<th scope=\"col\">";
        out += heading;
        out += "</th>";
    }
    out += "</tr></thead>\n<tbody>\n";
    for (std::size_t j = 0; j < in.itemUse.size(); ++j) {
        const bool used = in.itemUse[j] == '1';
        out += !used ? "<tr class=\"na\">" : falls(in, j) ? "<tr class=\"falls\">" : "<tr>";
        appendElement(out, "td", itemName(in, j));
        if (!used) {
            for (int f = 0; f < 11; ++f) out += "<td>NA</td>";
            out += "</tr>\n";
            continue;
        }
        const ItemStatistics& item = s.items[j];
        const IrpIndices& irp = s.irp[j];
        const auto cell = [&](const std::string& text, std::string_view attributes = {}) {
            appendElement(out, "td", text, attributes);
        };
        cell(integerText(item.respondents));
        cell(numberText(item.correctRate));
        cell(numberText(item.itemTotalCorrelation));
        cell(irp.alpha ? integerText(static_cast<std::int64_t>(*irp.alpha)) : "NA");
        cell(numberText(irp.a));
        cell(integerText(static_cast<std::int64_t>(irp.beta)));
        cell(numberText(irp.b));
        cell(numberText(irp.gamma));
        cell(numberText(irp.c), " class=\"c\"");
        cell(numberText(s.itemFit[j].RMSEA));
        cell(numberText(s.itemFit[j].CFI));
        out += "</tr>\n";
    }
    out += "</tbody>\n</table>\n</div>\n<p>alpha and a: the rank with the largest rise to the next and that rise; "
           "beta and b: the rank whose profile value lies nearest 0.5 and that value; gamma and c: the share of the "
           "steps that fall and the sum of the falls. Items out of use show NA.</p>\n</section>\n";
}

void footer(std::string& out) {
    out += "</main>\n<footer>\n<p>";
    out += kProgramName;
    out += ' ';
    out += kProgramVersion;
    out += " \u00b7 numbers with 4 significant digits; the statistics files hold them with 6. NA: the value does not "
           "exist.</p>\n</footer>\n</body>\n</html>\n";
}

}  // namespace

std::string buildReportPage(const ReportInputs& in) {
    std::string out;
    out.reserve(64 * 1024 + in.itemUse.size() * 1400);
    head(out, in);
    warningBox(out, in);
    runSection(out, in);
    summarySection(out, in);
    ranksFigure(out, in);
    profilesFigure(out, in);
    scoreRankFigure(out, in);
    convergenceSection(out, in);
    sweepSection(out, in);
    itemTable(out, in);
    footer(out);
    return out;
}

void writeReportPage(const std::string& fileName, const ReportInputs& in, Observer& observer) {
    const std::string page = buildReportPage(in);
    OutputFile file(fileName);
    file.put(page);
    file.close();
    note(observer, "Report is written to \"", fileName, "\".");
}

void writeReport(const std::string& fileName, const Result& result, const Labels& labels,
                 const ReportContext& context, Observer& observer) {
    if (!result.statistics || !result.counts)
        throw std::invalid_argument("the report needs a result with statistics and report counts");
    const ReportInputs in{*result.statistics,
                          *result.counts,
                          result.profile,
                          result.itemUse,
                          labels.itemNames,
                          result.trace,
                          context.parameters,
                          context.dataFile,
                          result.nexaminees,
                          result.nranks,
                          {static_cast<char>(result.method), result.passes, result.converged},
                          result.restarts,
                          context.sweep};
    writeReportPage(fileName, in, observer);
}

}  // namespace tavrel
