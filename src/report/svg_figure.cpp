#include "report/svg_figure.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <utility>

#include "common/number_format.hpp"
#include "report/markup.hpp"

namespace tavrel::report {
namespace {

// Values beyond this are taken as this, so that a range always has a finite width.
constexpr double kLargest = 1e300;

void attribute(std::string& out, std::string_view name, double value) {
    out += ' ';
    out += name;
    out += "=\"";
    appendCoordinate(out, value);
    out += '"';
}

void point(std::string& out, char command, Point p) {
    out += command;
    appendCoordinate(out, p.x);
    out += ' ';
    appendCoordinate(out, p.y);
}

bool finite(Point p) { return std::isfinite(p.x) && std::isfinite(p.y); }

// Width of a text in user units at the figures' 12-unit font, generous for
// the wide characters of common sans-serif faces.
double textWidth(std::string_view text) {
    std::size_t characters = 0;
    for (const char c : text) characters += (static_cast<unsigned char>(c) & 0xC0u) != 0x80u;
    return 7.0 * double(characters);
}

}  // namespace

Ticks niceTicks(double lo, double hi, std::size_t target, bool extend, bool integer) {
    if (!std::isfinite(lo) && !std::isfinite(hi)) lo = 0.0, hi = 1.0;
    if (std::isnan(lo)) lo = hi;
    if (std::isnan(hi)) hi = lo;
    lo = std::clamp(lo, -kLargest, kLargest);
    hi = std::clamp(hi, -kLargest, kLargest);
    if (lo > hi) std::swap(lo, hi);
    const double magnitude = std::max(std::fabs(lo), std::fabs(hi));
    // A range without width, or too narrow for doubles to step through,
    // opens up around its middle; its ends are then the outer ticks.
    if (!(hi - lo > magnitude * 1e-9)) {
        const double middle = lo / 2.0 + hi / 2.0;
        const double half = std::max(magnitude > 0.0 ? magnitude * 0.1 : 0.5, integer ? 1.0 : 0.0);
        lo = middle - half;
        hi = middle + half;
        extend = true;
    }
    target = std::max<std::size_t>(target, 2);
    const double raw = (hi - lo) / double(target - 1);
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    const double f = raw / power;
    // The nice number nearest the raw step, so that about `target` ticks result.
    double step = (f < 1.5 ? 1.0 : f < 3.0 ? 2.0 : f < 7.0 ? 5.0 : 10.0) * power;
    if (integer) step = std::max(step, 1.0);

    // Tick indices; the tolerance keeps a tick that rounding put a hair outside.
    constexpr double kSlack = 1e-9;
    const double first = extend ? std::floor(lo / step + kSlack) : std::ceil(lo / step - kSlack);
    const double last = extend ? std::ceil(hi / step - kSlack) : std::floor(hi / step + kSlack);
    Ticks t;
    t.lo = extend ? first * step : lo;
    t.hi = extend ? last * step : hi;
    for (double i = first; i <= last; i += 1.0) {
        // A tick that rounding moved a hair past an end of a kept range sits on it.
        const double v = std::clamp(i * step, t.lo, t.hi);
        t.values.push_back(v == 0.0 ? 0.0 : v);
    }
    const int stepExponent = static_cast<int>(std::floor(std::log10(step) + kSlack));
    const int largestExponent =
        static_cast<int>(std::floor(std::log10(std::max({std::fabs(t.lo), std::fabs(t.hi), step}))));
    if (stepExponent >= -6 && largestExponent < 7) {
        t.decimals = std::max(0, -stepExponent);
    } else {
        t.decimals = -1;
        t.significant = std::clamp(largestExponent - stepExponent + 1, 1, 17);
    }
    return t;
}

void appendTickLabel(std::string& out, double value, const Ticks& ticks) {
    char text[kMaxNumberText];
    if (ticks.decimals >= 0) {
        const double v = std::round(value * std::pow(10.0, ticks.decimals)) / std::pow(10.0, ticks.decimals);
        const auto result = std::to_chars(text, text + sizeof text, v == 0.0 ? 0.0 : v, std::chars_format::fixed,
                                          ticks.decimals);
        out.append(text, static_cast<std::size_t>(result.ptr - text));
    } else {
        out.append(text, formatSignificant(value, ticks.significant, text));
    }
}

std::size_t niceStep(std::size_t count, std::size_t most) {
    most = std::max<std::size_t>(most, 1);
    for (std::size_t power = 1;; power *= 10)
        for (const std::size_t factor : {1, 2, 5})
            if (count <= factor * power * most) return factor * power;
}

std::vector<std::size_t> labelledBands(std::size_t count, std::size_t firstNumber, std::size_t most) {
    const std::size_t step = niceStep(count, most);
    std::vector<std::size_t> labelled;
    for (std::size_t i = 0; i < count; ++i)
        if ((i + firstNumber) % step == 0) labelled.push_back(i);
    if (labelled.empty() && count > 0) labelled.push_back(0);
    return labelled;
}

Svg::Svg(std::string& out, const FigureHeading& heading) : out_(out) {
    out_ += "<svg class=\"figure\" viewBox=\"0 0 ";
    appendCoordinate(out_, heading.width);
    out_ += ' ';
    appendCoordinate(out_, heading.height);
    out_ += '"';
    attribute(out_, "width", heading.width);
    attribute(out_, "height", heading.height);
    out_ += " role=\"img\" aria-labelledby=\"";
    appendEscaped(out_, heading.id);
    out_ += "-title ";
    appendEscaped(out_, heading.id);
    out_ += "-desc\">";
    // The title and the description, with the ids the start tag names.
    for (const auto& [tag, text] : {std::pair{"title", heading.title}, std::pair{"desc", heading.description}}) {
        std::string id = " id=\"";
        appendEscaped(id, heading.id);
        ((id += '-') += tag) += '"';
        appendElement(out_, tag, text, id);
    }
    out_ += '\n';
}

void Svg::close() {
    while (openGroups_ > 0) closeGroup();
    out_ += "</svg>\n";
}

void Svg::startElement(std::string_view name, std::string_view cls) {
    out_ += '<';
    out_ += name;
    if (!cls.empty()) {
        out_ += " class=\"";
        out_ += cls;
        out_ += '"';
    }
}

void Svg::openGroup(std::string_view cls, Point offset, std::string_view tooltip) {
    startElement("g", cls);
    if (offset.x != 0.0 || offset.y != 0.0) {
        out_ += " transform=\"translate(";
        appendCoordinate(out_, offset.x);
        out_ += ' ';
        appendCoordinate(out_, offset.y);
        out_ += ")\"";
    }
    out_ += '>';
    if (!tooltip.empty()) {
        out_ += "<title>";
        appendEscaped(out_, tooltip);
        out_ += "</title>";
    }
    ++openGroups_;
}

void Svg::closeGroup() {
    out_ += "</g>\n";
    --openGroups_;
}

void Svg::append(std::string_view markup) { out_ += markup; }

void Svg::rect(const Box& box, std::string_view cls) {
    startElement("rect", cls);
    attribute(out_, "x", box.x);
    attribute(out_, "y", box.y);
    attribute(out_, "width", box.width);
    attribute(out_, "height", box.height);
    out_ += "/>";
}

void Svg::line(Point a, Point b, std::string_view cls) {
    startElement("path", cls);
    out_ += " d=\"";
    point(out_, 'M', a);
    point(out_, 'L', b);
    out_ += "\"/>";
}

void Svg::text(Point at, std::string_view text, Anchor anchor, std::string_view cls) {
    startElement("text", cls);
    attribute(out_, "x", at.x);
    attribute(out_, "y", at.y);
    if (anchor == Anchor::middle) out_ += " text-anchor=\"middle\"";
    if (anchor == Anchor::end) out_ += " text-anchor=\"end\"";
    out_ += '>';
    appendEscaped(out_, text);
    out_ += "</text>";
}

void Svg::verticalText(Point at, std::string_view text, std::string_view cls) {
    startElement("text", cls);
    out_ += " transform=\"translate(";
    appendCoordinate(out_, at.x);
    out_ += ' ';
    appendCoordinate(out_, at.y);
    out_ += ") rotate(-90)\" text-anchor=\"middle\">";
    appendEscaped(out_, text);
    out_ += "</text>";
}

void Svg::polyline(std::span<const Point> points, std::string_view cls) {
    std::string d;
    bool drawing = false;
    for (const Point p : points) {
        if (!finite(p)) {
            drawing = false;
            continue;
        }
        point(d, drawing ? 'L' : 'M', p);
        drawing = true;
    }
    if (d.empty()) return;
    startElement("path", cls);
    out_ += " d=\"";
    out_ += d;
    out_ += "\"/>";
}

void Svg::markers(std::span<const Point> points, Marker marker, double size, std::string_view cls) {
    std::string d;
    for (const Point p : points) {
        if (!finite(p)) continue;
        switch (marker) {
            case Marker::dot:
                // Two half circles.
                point(d, 'M', {p.x - size, p.y});
                d += 'a';
                appendCoordinate(d, size);
                d += ' ';
                appendCoordinate(d, size);
                d += " 0 1 0 ";
                appendCoordinate(d, 2 * size);
                d += " 0a";
                appendCoordinate(d, size);
                d += ' ';
                appendCoordinate(d, size);
                d += " 0 1 0 ";
                appendCoordinate(d, -2 * size);
                d += " 0";
                break;
            case Marker::square:
                point(d, 'M', {p.x - size, p.y - size});
                d += 'h';
                appendCoordinate(d, 2 * size);
                d += 'v';
                appendCoordinate(d, 2 * size);
                d += 'h';
                appendCoordinate(d, -2 * size);
                d += 'Z';
                break;
            case Marker::diamond:
                point(d, 'M', {p.x, p.y - size});
                point(d, 'L', {p.x + size, p.y});
                point(d, 'L', {p.x, p.y + size});
                point(d, 'L', {p.x - size, p.y});
                d += 'Z';
                break;
        }
    }
    if (d.empty()) return;
    startElement("path", cls);
    out_ += " d=\"";
    out_ += d;
    out_ += "\"/>";
}

void Svg::boxes(std::span<const Box> boxes, std::string_view cls, std::string_view fill) {
    if (boxes.empty()) return;
    startElement("path", cls);
    if (!fill.empty()) {
        out_ += " fill=\"";
        out_ += fill;
        out_ += '"';
    }
    out_ += " d=\"";
    // Absolute edges, each rounded once, so that neighbouring boxes meet.
    for (const Box& b : boxes) {
        point(out_, 'M', {b.x, b.y});
        out_ += 'H';
        appendCoordinate(out_, b.right());
        out_ += 'V';
        appendCoordinate(out_, b.bottom());
        out_ += 'H';
        appendCoordinate(out_, b.x);
        out_ += 'Z';
    }
    out_ += "\"/>";
}

void numericAxis(Svg& svg, const Box& plot, Side side, const Ticks& ticks, const Scale& scale, bool labels,
                 bool grid) {
    std::vector<Point> marks;
    for (const double v : ticks.values) {
        const double at = scale(v);
        std::string label;
        appendTickLabel(label, v, ticks);
        switch (side) {
            case Side::left:
                if (grid) svg.line({plot.x, at}, {plot.right(), at}, "grid");
                svg.line({plot.x - 4.0, at}, {plot.x, at}, "tick");
                if (labels) svg.text({plot.x - 6.0, at + 4.0}, label, Anchor::end, "tick-label");
                break;
            case Side::right:
                svg.line({plot.right(), at}, {plot.right() + 4.0, at}, "tick");
                if (labels) svg.text({plot.right() + 6.0, at + 4.0}, label, Anchor::start, "tick-label");
                break;
            case Side::bottom:
                if (grid) svg.line({at, plot.y}, {at, plot.bottom()}, "grid");
                svg.line({at, plot.bottom()}, {at, plot.bottom() + 4.0}, "tick");
                if (labels) svg.text({at, plot.bottom() + 16.0}, label, Anchor::middle, "tick-label");
                break;
        }
    }
}

void bandAxis(Svg& svg, const Box& plot, Side side, const Bands& bands, std::span<const std::size_t> labelled,
              std::size_t firstNumber, bool labels) {
    for (const std::size_t i : labelled) {
        const double at = bands.centre(i);
        std::string label;
        appendInteger(label, static_cast<std::int64_t>(i + firstNumber));
        if (side == Side::bottom) {
            svg.line({at, plot.bottom()}, {at, plot.bottom() + 4.0}, "tick");
            if (labels) svg.text({at, plot.bottom() + 16.0}, label, Anchor::middle, "tick-label");
        } else {
            svg.line({plot.x - 4.0, at}, {plot.x, at}, "tick");
            if (labels) svg.text({plot.x - 6.0, at + 4.0}, label, Anchor::end, "tick-label");
        }
    }
}

void axisTitle(Svg& svg, const Box& plot, Side side, double distance, std::string_view title) {
    const double middleY = plot.y + plot.height / 2.0;
    switch (side) {
        case Side::left: svg.verticalText({plot.x - distance, middleY}, title, "axis-title"); break;
        case Side::right: svg.verticalText({plot.right() + distance, middleY}, title, "axis-title"); break;
        case Side::bottom:
            svg.text({plot.x + plot.width / 2.0, plot.bottom() + distance}, title, Anchor::middle, "axis-title");
            break;
    }
}

double legendLine(Svg& svg, Point at, std::string_view lineClass, Marker marker, double markerSize,
                  std::string_view markerClass, std::string_view label) {
    if (!lineClass.empty()) svg.line(at, {at.x + 28.0, at.y}, lineClass);
    const Point centre{at.x + 14.0, at.y};
    svg.markers(std::span<const Point>(&centre, 1), marker, markerSize, markerClass);
    svg.text({at.x + 34.0, at.y + 4.0}, label, Anchor::start, "legend");
    return at.x + 34.0 + textWidth(label) + 20.0;
}

double legendBar(Svg& svg, Point at, std::string_view barClass, std::string_view label) {
    svg.rect({at.x, at.y - 6.0, 18.0, 12.0}, barClass);
    svg.text({at.x + 24.0, at.y + 4.0}, label, Anchor::start, "legend");
    return at.x + 24.0 + textWidth(label) + 20.0;
}

std::size_t heatLevel(std::int64_t count, std::int64_t largest) {
    if (count <= 0 || largest <= 0) return 0;
    const auto L = static_cast<std::int64_t>(kHeatLevels);
    return static_cast<std::size_t>(std::clamp<std::int64_t>((count * L + largest - 1) / largest, 1, L));
}

std::string heatColour(std::size_t level) {
    // A sequential scale from light yellow through green and blue to dark
    // purple: lightness falls steadily, and no step relies on telling red
    // from green.
    static constexpr std::array<std::array<int, 3>, 9> stops{{{0xfd, 0xe7, 0x25},
                                                              {0x6e, 0xce, 0x58},
                                                              {0x35, 0xb7, 0x79},
                                                              {0x1f, 0x9e, 0x89},
                                                              {0x26, 0x82, 0x8e},
                                                              {0x31, 0x68, 0x8e},
                                                              {0x3e, 0x49, 0x89},
                                                              {0x48, 0x28, 0x78},
                                                              {0x44, 0x01, 0x54}}};
    const double t = double(std::clamp<std::size_t>(level, 1, kHeatLevels) - 1) / double(kHeatLevels - 1) * 8.0;
    const std::size_t lower = std::min<std::size_t>(static_cast<std::size_t>(t), 7);
    const double f = t - double(lower);
    std::string colour = "#";
    constexpr char kHex[] = "0123456789abcdef";
    for (std::size_t c = 0; c < 3; ++c) {
        const double v = double(stops[lower][c]) + f * double(stops[lower + 1][c] - stops[lower][c]);
        const int byte = static_cast<int>(std::lround(v));
        colour += kHex[byte / 16];
        colour += kHex[byte % 16];
    }
    return colour;
}

void heatMap(Svg& svg, const Box& plot, std::span<const std::int64_t> counts, std::size_t columns) {
    if (columns == 0 || counts.empty()) return;
    const std::size_t rows = counts.size() / columns;
    const std::int64_t largest = *std::max_element(counts.begin(), counts.end());
    const Bands x{columns, plot.x, plot.right()};
    const Bands y{rows, plot.bottom(), plot.y};
    std::vector<std::vector<Box>> levels(kHeatLevels + 1);
    for (std::size_t r = 0; r < rows; ++r)
        for (std::size_t c = 0; c < columns; ++c) {
            const std::size_t level = heatLevel(counts[r * columns + c], largest);
            if (level > 0) levels[level].push_back({x.start(c), y.start(r) + y.width(), x.width(), -y.width()});
        }
    for (std::size_t level = 1; level <= kHeatLevels; ++level)
        svg.boxes(levels[level], "heat", heatColour(level));
}

void heatLegend(Svg& svg, const Box& bar, std::int64_t largest) {
    const Bands steps{kHeatLevels, bar.bottom(), bar.y};
    for (std::size_t level = 1; level <= kHeatLevels; ++level) {
        const Box step{bar.x, steps.start(level - 1) + steps.width(), bar.width, -steps.width()};
        svg.boxes(std::span<const Box>(&step, 1), "heat", heatColour(level));
    }
    svg.rect(bar, "frame");
    const Ticks ticks = niceTicks(0.0, double(std::max<std::int64_t>(largest, 1)), 5, false, true);
    numericAxis(svg, bar, Side::right, ticks, {0.0, double(std::max<std::int64_t>(largest, 1)), bar.bottom(), bar.y},
                true, false);
}

}  // namespace tavrel::report
